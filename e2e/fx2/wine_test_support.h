// What the effect tests under Wine share: the device (without one the whole
// program reports itself skipped, once, with exit status 77), shader
// assembly and effect writing that fail the calling test with the message.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "e2e/fx2/wine_device.h"
#include "fx2/constant_table.h"
#include "fx2/effect_builder.h"
#include "fx2/fx2_writer.h"

namespace fx2_wine {

TestDevice& Device();

// Assembled bytecode, or a failure of the calling test (and an empty vector).
std::vector<uint32_t> Assemble(const std::string& text);
// Assembled bytecode with a constant table naming each parameter at its
// register: {"s0", "Source"}, {"c2", "Kernel"} (the whole parameter).
std::vector<uint32_t> AssembleBound(const std::string& text, const fx2::EffectBuilder& effect,
                                    const std::vector<std::pair<std::string, std::string>>& bind);

// Writes and loads; a failure of either fails the calling test.
ComPtr<ID3DXEffect> Load(const fx2::EffectBuilder& effect);

std::string HrText(HRESULT hr);

}  // namespace fx2_wine
