// The process handler: the per-frame order of host calls and engine stages.
#include "engine/engine.h"
#include "host/module_state.h"
#include "plugin/plugin_handlers.h"

namespace {

bool ProcessFrame(FilterTable* table, FrameRequest* request) {
  if (!engine || !table || !request || !table->services) return false;
  HostServices& host = *table->services;
  if (!host.reserve_frames || !host.fetch_frame) return false;

  const int source_count = static_cast<int>(engine->source_offsets.size());
  if (!host.reserve_frames(table, request->max_width, request->max_height, source_count + 1, 0)) {
    return false;
  }
  // The host writes the frame's real size into the request.
  if (!host.fetch_frame(table, request->edit_handle, request->frame, &request->width,
                        &request->height)) {
    return false;
  }
  if (request->width != engine->frame_width || request->height != engine->frame_height) {
    size_changed = 1;
  }
  if (!engine->CheckDevice()) return false;

  // Frame-size resources, uploads, drawing and read-back are the frame
  // pipeline's; until it exists no frame can be delivered.
  return false;
}

}  // namespace

HOST_ENTRY BOOL __cdecl ProcessHandler(FilterTable* table, FrameRequest* request) {
  try {
    return ProcessFrame(table, request) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}
