// The run-job step and the read-back: the render job is handed to the
// worker (or run inline), and its result is converted into the host's
// output image once it has finished.
#include "engine/engine.h"
#include "pipeline/pass_decisions.h"
#include "pipeline/pass_execution.h"
#include "pipeline/pipeline_messages.h"
#include "pipeline/render_job.h"
#include "pipeline/source_upload.h"

bool StartPassRun(Engine& engine, int32_t* predicted_frame) {
  *predicted_frame = -1;
  if (!engine.effect || !engine.device) return false;
  // Whatever the staging texture holds now is no result of this frame.
  engine.result_in_staging = false;
  if (engine.worker.thread) {
    *predicted_frame = PredictNextFrame(engine.last_uploaded_frame, engine.previous_uploaded_frame);
    return PostJob(engine.worker) == 0;
  }
  return SUCCEEDED(RenderJob(engine));
}

bool ReadBackResult(Engine& engine, HostPixel* output, ParallelRun service) {
  WaitForJob(engine.worker);
  // A job that drew nothing (a failed scene, a failure before drawing)
  // leaves the previous frame's image there: the frame fails silently
  // rather than deliver it as this one.
  if (!engine.result_in_staging) return false;
  const RoutinePair readback = engine.conversion_routines
                                   ? ReadbackRoutines(*engine.conversion_routines)
                                   : RoutinePair{nullptr, nullptr};
  HRESULT status = RunConversion(engine, engine.staging_texture.get(),
                                 D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK, readback, output, service);
  if (FAILED(status)) {
    engine.ShowError(kMsgReadBackFailed);
    return false;
  }
  return true;
}
