// Everything on the GPU that has the frame's size: the staging texture, the
// source and render-target textures, the quad and its declaration.
#include <algorithm>
#include <cstring>

#include "engine/engine.h"
#include "engine/engine_messages.h"
#include "engine/frame_size_rules.h"
#include "engine/quad.h"
#include "plan/parameter_binding.h"

HRESULT Engine::CreateFrameTexture(ComPtr<IDirect3DTexture9>& slot, DWORD usage, D3DPOOL pool) {
  D3DFORMAT format = TextureFormatFor(image_format);
  if (!device) return D3DERR_INVALIDCALL;
  slot.reset();
  return device->CreateTexture(static_cast<UINT>(frame_width), static_cast<UINT>(frame_height), 1,
                               usage, format, pool, slot.put(), nullptr);
}

bool Engine::PrepareFrameSize(int32_t width, int32_t height, int32_t stride) {
  if (!effect ||
      !FrameSizeFits(width, height, stride, caps.MaxTextureWidth, caps.MaxTextureHeight)) {
    return false;
  }
  frame_width = width;
  frame_height = height;
  row_stride = stride;

  if (!SelectConversionRoutines(&conversion_routines, KernelFamilyFor(image_format))) {
    ShowError(kMsgMmxRequired);
    return false;
  }
  ReleaseFrameSizeResources();
  if (FAILED(CreateDeclarationAndStaging())) return false;
  if (FAILED(CreateQuadAndTextures())) return false;
  return SUCCEEDED(ApplySizeParameters(*this));
}

HRESULT Engine::CreateDeclarationAndStaging() {
  if (!device || !effect) return D3DERR_INVALIDCALL;
  HRESULT status = device->CreateVertexDeclaration(kQuadDeclaration, vertex_declaration.put());
  if (FAILED(status)) {
    ShowError(kMsgVertexDeclarationFailed);
    return status;
  }
  status = CreateFrameTexture(staging_texture, 0, D3DPOOL_SYSTEMMEM);
  if (FAILED(status)) ShowError(kMsgSystemTextureFailed);
  return status;
}

HRESULT Engine::CreateQuad() {
  if (!device) return D3DERR_INVALIDCALL;
  quad_vertices.reset();
  ComPtr<IDirect3DVertexBuffer9> created;
  HRESULT status = device->CreateVertexBuffer(kQuadBytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT,
                                              created.put(), nullptr);
  if (FAILED(status)) return status;
  void* bits = nullptr;
  // A quad whose vertices never arrived would draw garbage: a failed lock
  // fails the setup like a failed creation.
  status = created->Lock(0, 0, &bits, D3DLOCK_NOSYSLOCK);
  if (FAILED(status)) return status;
  const auto vertices = QuadVertices(frame_width, frame_height);
  std::memcpy(bits, vertices.data(), kQuadBytes);
  status = created->Unlock();
  if (FAILED(status)) return status;
  quad_vertices = std::move(created);
  return D3D_OK;
}

HRESULT Engine::CreateQuadAndTextures() {
  HRESULT status = CreateQuad();
  if (FAILED(status)) {
    ShowError(kMsgQuadFailed);
    return status;
  }
  frame_cache.clear();
  frame_cache_next.clear();
  for (size_t i = 0; i < source_texture_slots.size(); ++i) {
    status = CreateFrameTexture(source_texture_slots[i], D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT);
    if (FAILED(status)) {
      ShowError(kMsgTextureFailed);
      return status;
    }
    // A fresh slot holds no frame yet.
    frame_cache.emplace(PlaceholderKey(i), source_texture_slots[i].get());
  }
  for (ComPtr<IDirect3DTexture9>& slot : render_target_slots) {
    status = CreateFrameTexture(slot, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT);
    if (FAILED(status)) {
      ShowError(kMsgRenderTargetFailed);
      return status;
    }
  }
  return status;
}
