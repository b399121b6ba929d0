// Release of the resources that depend on the frame size: the default-pool
// part (which a device reset requires gone) and the whole set.
#include "engine/engine.h"

HRESULT Engine::ReleaseDefaultPoolResources() {
  quad_vertices.reset();
  // The slot lists keep their length: the plan sized them.
  for (ComPtr<IDirect3DTexture9>& slot : source_texture_slots) slot.reset();
  for (ComPtr<IDirect3DTexture9>& slot : render_target_slots) slot.reset();
  // frame_cache keeps naming released textures; nothing reads it before the
  // next frame-size setup empties it.
  return 0;
}

bool Engine::ReleaseFrameSizeResources() {
  ReleaseDefaultPoolResources();
  staging_texture.reset();
  vertex_declaration.reset();
  return true;
}
