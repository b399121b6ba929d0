// One whole-frame conversion between a locked texture and a host image.
#include "engine/engine.h"
#include "host/module_state.h"
#include "pipeline/source_upload.h"

RoutinePair UploadRoutines(const ConversionRoutines& routines) {
  return {routines.upload_parallel, routines.upload_serial};
}

RoutinePair ReadbackRoutines(const ConversionRoutines& routines) {
  return {routines.readback_parallel, routines.readback_serial};
}

HRESULT RunConversion(Engine& engine, IDirect3DTexture9* texture, DWORD lock_flags,
                      RoutinePair routines, const HostPixel* image, ParallelRun service) {
  if (!texture || !engine.conversion_routines) return D3DERR_INVALIDCALL;
  D3DLOCKED_RECT locked = {};
  HRESULT status = texture->LockRect(0, &locked, nullptr, lock_flags);
  if (status != S_OK) return status;

  ConversionJob job = {locked.pBits,
                       const_cast<HostPixel*>(image),
                       static_cast<uint32_t>(engine.frame_height),
                       static_cast<uint32_t>(engine.frame_width),
                       locked.Pitch,
                       engine.row_stride};
  if (service) {
    InterlockedExchange(&row_counter, 0);
    // The routine has the shape of the service's callback: two integers it
    // ignores, then the job and an unused argument. The service returns only
    // when every invocation has finished, so the texture may be unlocked.
    // A service that reports failure may not have run every row; the rows
    // are converted again here, which gives the same texels.
    if (!service(reinterpret_cast<ParallelRoutine>(routines.parallel), &job, nullptr)) {
      routines.serial(&job);
    }
  } else {
    routines.serial(&job);
  }
  status = texture->UnlockRect(0);
  // A texture that stays locked can take no further frame: the frame-size
  // resources are built anew before the next one.
  if (FAILED(status)) size_changed = 1;
  return status;
}
