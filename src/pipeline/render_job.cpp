#include "pipeline/render_job.h"

#include "engine/engine.h"

// Drawing lands with the frame pipeline; until then the job refuses to run.
HRESULT RenderJob(Engine&) { return E_NOTIMPL; }
