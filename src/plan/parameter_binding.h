// Writes into the effect: the host's control values through the plan's
// bindings, and the values that depend on the frame size.
#pragma once

#include <cstdint>

#include "plan/pass_plan.h"
#include "platform/win32_api.h"

struct Engine;

// Element i of each array belongs to binding i. False, writing nothing,
// without an effect instance.
bool ApplyControlValues(Engine& engine, const int32_t* track_values, const int32_t* check_values);
HRESULT ApplyTrackBinding(const TrackBinding* binding, Engine& engine, int32_t value);
HRESULT ApplyCheckBinding(const CheckBinding* binding, Engine& engine, int32_t value);

// TexelKernel arrays, "SrcSize", "PixScale" and the TxRT textures for the
// engine's frame size and format.
HRESULT ApplySizeParameters(Engine& engine);
