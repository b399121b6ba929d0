// Module-wide state shared by the handlers, the discovery and the engine.
#pragma once

#include "platform/win32_api.h"

// Handle of this module, stored when the process attaches it.
extern HMODULE module_handle;
// The control values must be pushed into the effect before the next frame.
extern BYTE parameters_changed;
// The frame-size resources must be rebuilt before the next frame.
extern BYTE size_changed;
