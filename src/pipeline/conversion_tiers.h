// The instruction-set tiers of the conversion routines, reachable one by one
// so that every tier can be exercised on any machine that runs it.
#pragma once

#include <cstdint>

#include "pipeline/conversion.h"

enum class ConversionTier { mmx, sse, sse2, avx2 };

// The tier the module-wide table uses for the given feature bits: AVX2 when
// bit 8 is set, else SSE2 when bit 4 is set, else SSE when bit 2 is set,
// else MMX (also for no bits).
ConversionTier TierForFeatures(int32_t features);

// The routine row of one tier and family; null for a family above 3.
const ConversionRoutines* ConversionRoutinesForTier(ConversionTier tier, uint32_t family);

// Bytes per texel of a family's texture layout.
constexpr uint32_t TexelBytes(uint32_t family) { return family == float32 ? 16u : 8u; }
