// Forgetting which frames the source textures hold, while keeping the
// textures for reuse.
#include "engine/engine.h"

bool Engine::InvalidateFrameCache() {
  // Every texture, whether it held a frame or not, gets a placeholder of its
  // own: no later request finds a frame, and no two textures share a key.
  FrameCache forgotten;
  size_t placeholder = 0;
  for (const auto& entry : frame_cache)
    forgotten.emplace(PlaceholderKey(placeholder++), entry.second);
  frame_cache.swap(forgotten);
  last_uploaded_frame = -1;
  previous_uploaded_frame = -1;
  return true;
}
