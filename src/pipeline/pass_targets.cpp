// The render targets a pass writes, and the copy of the final one into the
// system-memory staging texture.
#include "engine/engine.h"
#include "pipeline/pass_execution.h"

namespace {

HRESULT BindSlot(Engine& engine, DWORD output, IDirect3DTexture9* texture) {
  ComPtr<IDirect3DSurface9> surface;
  HRESULT status = texture->GetSurfaceLevel(0, surface.put());
  if (FAILED(status)) return status;
  return engine.device->SetRenderTarget(output, surface.get());
}

}  // namespace

HRESULT BindSingleTarget(Engine& engine, IDirect3DTexture9* texture) {
  if (!engine.device || !texture) return D3DERR_INVALIDCALL;
  return BindSlot(engine, 0, texture);
}

HRESULT BindPassTargets(Engine& engine, const PassTargets& targets) {
  if (!engine.device || targets.target[0] < 0) return D3DERR_INVALIDCALL;
  HRESULT status = D3D_OK;
  for (DWORD m = 0; m < 4; ++m) {
    const int32_t slot = targets.target[m];
    if (slot < 0) {
      // On a device with fewer outputs this fails and ends the loop; the
      // outputs bound so far stay bound.
      status = engine.device->SetRenderTarget(m, nullptr);
    } else if (static_cast<size_t>(slot) >= engine.render_target_slots.size() ||
               !engine.render_target_slots[slot]) {
      return D3DERR_INVALIDCALL;
    } else {
      status = BindSlot(engine, m, engine.render_target_slots[slot].get());
    }
    if (FAILED(status)) return status;
  }
  return status;
}

HRESULT CopyTargetToStaging(Engine& engine) {
  if (!engine.device || !engine.staging_texture) return D3DERR_INVALIDCALL;
  ComPtr<IDirect3DSurface9> target;
  HRESULT status = engine.device->GetRenderTarget(0, target.put());
  if (FAILED(status)) return status;
  ComPtr<IDirect3DSurface9> staging;
  status = engine.staging_texture->GetSurfaceLevel(0, staging.put());
  if (FAILED(status)) return status;
  return engine.device->GetRenderTargetData(target.get(), staging.get());
}
