// The process handler: the per-frame order of host calls and engine stages.
#include "engine/engine.h"
#include "host/module_state.h"
#include "pipeline/frame_cache_assignment.h"
#include "pipeline/pass_execution.h"
#include "pipeline/pipeline_messages.h"
#include "pipeline/source_upload.h"
#include "plan/parameter_binding.h"
#include "plugin/plugin_handlers.h"

namespace {

bool PrepareFrame(Engine& engine, FilterTable& table, const FrameRequest& request) {
  if (size_changed) {
    engine.ReleaseFrameSizeResources();
    // A failed setup keeps size_changed, so the next frame tries again.
    if (!engine.PrepareFrameSize(request.width, request.height, request.max_width)) return false;
    engine.row_count = request.max_height;
    ApplyControlValues(engine, table.track_values, table.check_values);
    size_changed = 0;
    parameters_changed = 0;
  } else if (parameters_changed) {
    ApplyControlValues(engine, table.track_values, table.check_values);
    parameters_changed = 0;
  }
  return true;
}

bool UploadMissingFrames(Engine& engine, FilterTable& table, const FrameRequest& request) {
  HostServices& host = *table.services;
  for (int32_t offset : engine.source_offsets) {
    const int32_t frame = SourceFrame(engine.current_frame, offset);
    if (IsFrameResident(engine, frame)) continue;
    // The size is asked too: the conversion reads the current frame's size
    // from every image, which a frame of another size does not have.
    int width = -1, height = -1;
    const HostPixel* image = host.fetch_frame(&table, request.edit_handle, frame, &width, &height);
    if (!image) return false;
    if (width != request.width || height != request.height) {
      // Said once: scrubbing over such a frame would raise a box per frame.
      if (!engine.source_size_reported) engine.ShowError(kMsgSourceSizeDiffers);
      engine.source_size_reported = true;
      return false;
    }
    if (!UploadSourceFrame(engine, image, frame, host.parallel_run)) return false;
  }
  return true;
}

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
  // max_width is the row stride of every host image of this call, and the
  // host may change it (with max_height) while the frame size stays.
  if (request->width != engine->frame_width || request->height != engine->frame_height ||
      request->max_width != engine->row_stride || request->max_height != engine->row_count) {
    size_changed = 1;
  }
  if (!engine->CheckDevice()) return false;
  if (!PrepareFrame(*engine, *table, *request)) return false;
  if (!PrepareFrameSources(*engine, request->frame_count, request->frame)) return false;
  if (!UploadMissingFrames(*engine, *table, *request)) return false;

  int32_t predicted = -1;
  if (!StartPassRun(*engine, &predicted)) return false;
  // While the worker draws, the host gets the frame that comes next ready; a
  // prediction past the clip's end is no frame to ask for.
  if (predicted >= 0 && predicted < request->frame_count &&
      !host.fetch_frame(table, request->edit_handle, predicted, nullptr, nullptr)) {
    // The posted job must end before the handler returns.
    WaitForJob(engine->worker);
    return false;
  }
  return ReadBackResult(*engine, request->output, host.parallel_run);
}

}  // namespace

HOST_ENTRY BOOL __cdecl ProcessHandler(FilterTable* table, FrameRequest* request) {
  // A frame asked for from inside a host call of this one would post a
  // second job onto the worker.
  if (deferred_work.frame_in_progress) return 0;
  deferred_work.frame_in_progress = true;
  BOOL result = 0;
  try {
    result = ProcessFrame(table, request) ? 1 : 0;
    // A failure after the post has waited already; this wait returns at once
    // unless an exception left a job outstanding.
    if (engine) WaitForJob(engine->worker);
  } catch (...) {
    result = 0;
  }
  deferred_work.frame_in_progress = false;
  try {
    // The host exited the filter during the frame: whatever it drew is not
    // delivered.
    if (FinishDeferredHandlerWork()) result = 0;
  } catch (...) {
    result = 0;
  }
  return result;
}
