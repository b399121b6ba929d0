// Routine rows defined by the instruction-set files, for the dispatch only.
#pragma once

#include "pipeline/conversion.h"

// Indexed by kernel family.
extern const ConversionRoutines kMmxRoutines[4];
extern const ConversionRoutines kSse2Routines[4];
extern const ConversionRoutines kAvx2Routines[4];

// The SSE tier has its own routines only for the floating-point layouts; its
// raw16 and biased16 rows are the MMX tier's.
extern const ConversionRoutines kSseFloat32Routines;
extern const ConversionRoutines kSseFloat16Routines;
