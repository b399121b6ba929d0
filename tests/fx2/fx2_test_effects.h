// Effects shared by the writer's tests: the reference file's effect and its
// shader, and a small valid effect that refusal tests break one item at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "fx2/effect_builder.h"

namespace fx2_test {

// ps_2_0: dcl t0.xy; dcl_2d s0; texld r0, t0, s0; mul r0, r0, c0.x; mov oC0, r0
// with no constant table, as the reference file's shader is before its CTAB.
std::vector<uint32_t> ReferenceShaderWithoutTable();
// The same with the reference's table: s0 = "SamplerTmp", c0 = "Track0".
std::vector<uint32_t> ReferenceShader();

fx2::EffectBuilder ReferenceEffect();

// Parameters of every kind, two techniques, every pass-state kind.
fx2::EffectBuilder RichEffect();

}  // namespace fx2_test
