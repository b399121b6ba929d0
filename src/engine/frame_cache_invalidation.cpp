// Forgetting which frames the source textures hold, while keeping the
// textures for reuse.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/engine.h"

namespace {

// Keys at or below this mark textures that hold no frame.
constexpr int32_t kFirstPlaceholderKey = -1024;

}  // namespace

bool Engine::InvalidateFrameCache() {
  FrameCache forgotten;
  std::vector<IDirect3DTexture9*> unkeyed;
  for (const auto& entry : frame_cache) {
    // A texture that held frame k is filed under -1024 - k, so a request for
    // k no longer finds it.
    int64_t moved = static_cast<int64_t>(kFirstPlaceholderKey) - entry.first;
    if (entry.first <= kFirstPlaceholderKey || moved < INT32_MIN) {
      unkeyed.push_back(entry.second);
    } else {
      forgotten[static_cast<int32_t>(moved)] = entry.second;
    }
  }
  // A placeholder re-keyed the same way would become a real frame number its
  // texture does not hold; such textures get fresh placeholders below all.
  int64_t next = forgotten.empty() ? kFirstPlaceholderKey
                                   : std::min<int64_t>(kFirstPlaceholderKey,
                                                       forgotten.begin()->first - int64_t{1});
  for (IDirect3DTexture9* texture : unkeyed) {
    forgotten[static_cast<int32_t>(std::max<int64_t>(next--, INT32_MIN))] = texture;
  }
  frame_cache.swap(forgotten);
  last_uploaded_frame = -1;
  previous_uploaded_frame = -1;
  return true;
}
