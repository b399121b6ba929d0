// Drawing the selected technique over the frame and returning the result:
// the run-job step, the render job itself and the read-back.
#pragma once

#include <cstdint>

#include "host/host_interface.h"
#include "plan/pass_plan.h"

struct Engine;

// Predicts the next frame (-1 for none, always -1 without the worker) and
// posts the render job to the worker, or runs it inline.
bool StartPassRun(Engine& engine, int32_t* predicted_frame);
// Waits for the job and converts its result into the host's output image.
bool ReadBackResult(Engine& engine, HostPixel* output, ParallelRun service);

// Parts of the render job (declared with RenderJob in render_job.h).
HRESULT BindSingleTarget(Engine& engine, IDirect3DTexture9* texture);
HRESULT BindPassTargets(Engine& engine, const PassTargets& targets);
HRESULT CopyTargetToStaging(Engine& engine);
