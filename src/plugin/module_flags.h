// Module-wide flags shared by the handlers and the engine.
#pragma once

#include "platform/win32_api.h"

// The control values must be pushed into the effect before the next frame.
extern BYTE parameters_changed;
// The frame-size resources must be rebuilt before the next frame.
extern BYTE size_changed;
