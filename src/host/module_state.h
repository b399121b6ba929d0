// Module-wide state shared by the handlers, the discovery and the engine.
#pragma once

#include "platform/win32_api.h"

// Handle of this module, stored when the process attaches it.
extern HMODULE module_handle;
// The control values must be pushed into the effect before the next frame.
extern BYTE parameters_changed;
// The frame-size resources must be rebuilt before the next frame.
extern BYTE size_changed;

// The host may run its own message loop inside a service the process
// handler calls (a frame fetch decodes video, and the prefetch runs while
// the render worker draws), and so enter the other handlers before the
// process handler has returned. What they would take from under the frame
// is recorded here and carried out once the frame has ended.
struct DeferredHandlerWork {
  bool frame_in_progress = false;
  bool invalidate_frames = false;  // message 519
  bool release_resources = false;  // messages 1125 and 1133
  bool destroy_engine = false;     // the exit handler
};
extern DeferredHandlerWork deferred_work;
