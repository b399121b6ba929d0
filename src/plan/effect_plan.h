// Creation of the engine's effect instance and of the pass plan derived from
// it, and the plan's validation against the device.
#pragma once

#include "platform/win32_api.h"

struct Engine;

HRESULT CreateEffectAndPlan(Engine& engine);
HRESULT BuildPassPlan(Engine& engine);
HRESULT ValidatePlan(Engine& engine);
