// Release of the resources that depend on the frame size: the default-pool
// part (which a device reset requires gone) and the whole set.
#include "engine/engine.h"

namespace {

// D3DX's SetTexture keeps a reference on the texture, and OnLostDevice does
// not drop it: a texture still set on the effect would outlive its slot and
// make the device refuse every reset.
void UnbindEffectTextures(Engine& engine) {
  ID3DXEffect* effect = engine.effect.get();
  if (!effect) return;
  if (engine.tx_tmp_param) effect->SetTexture(engine.tx_tmp_param, nullptr);
  for (D3DXHANDLE parameter : engine.render_target_params) effect->SetTexture(parameter, nullptr);
  for (const SourceBinding& binding : engine.source_bindings) {
    effect->SetTexture(binding.parameter, nullptr);
  }
}

}  // namespace

HRESULT Engine::ReleaseDefaultPoolResources() {
  UnbindEffectTextures(*this);
  quad_vertices.reset();
  // The slot lists keep their length: the plan sized them.
  for (ComPtr<IDirect3DTexture9>& slot : source_texture_slots) slot.reset();
  for (ComPtr<IDirect3DTexture9>& slot : render_target_slots) slot.reset();
  // The cache named the released textures: forget them, so that no step
  // before the next frame-size setup refills it can reach one.
  frame_cache.clear();
  frame_cache_next.clear();
  return 0;
}

bool Engine::ReleaseFrameSizeResources() {
  ReleaseDefaultPoolResources();
  staging_texture.reset();
  vertex_declaration.reset();
  return true;
}
