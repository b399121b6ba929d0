// The render job: draws the selected technique's passes over the frame and
// copies the result into the staging texture.
#pragma once

#include "platform/win32_api.h"

struct Engine;

HRESULT RenderJob(Engine& engine);
