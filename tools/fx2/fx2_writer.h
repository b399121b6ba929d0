// Writes an fx2::Effect as a compiled fx_2_0 effect file (.fxo), the format
// D3DXCreateEffect reads. Models that Wine's loader would crash on or reject
// are refused with a message instead (effect_validation.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fx2/effect_model.h"

namespace fx2 {

constexpr uint32_t kFx2Tag = 0xFEFF0901u;

struct WriteOutput {
  std::vector<uint8_t> bytes;
  std::string error;
  explicit operator bool() const { return error.empty(); }
};

WriteOutput WriteFx2(const Effect& effect);

// The third DWORD of the structure section, which D3DX ignores; written as
// fxc does: shader and sampler parameters, plus passes, plus pass states
// typed as shaders.
uint32_t ShaderCountField(const Effect& effect);

}  // namespace fx2
