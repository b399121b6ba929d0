// Forgetting the frames on the GPU keeps every texture but no frame number.
#include <gtest/gtest.h>

#include <set>

#include "engine/engine.h"

namespace {

IDirect3DTexture9* Texture(int n) {
  return reinterpret_cast<IDirect3DTexture9*>(static_cast<uintptr_t>(0x1000 + n * 16));
}

class FrameCacheInvalidationTest : public ::testing::Test {
 protected:
  void TearDown() override { engine_.DestroyEngine(); }
  Engine engine_;
};

TEST_F(FrameCacheInvalidationTest, FramesMoveToKeysNoFrameRequestFinds) {
  engine_.frame_cache = {{10, Texture(1)}, {11, Texture(2)}};
  engine_.last_uploaded_frame = 11;
  engine_.previous_uploaded_frame = 10;
  EXPECT_TRUE(engine_.InvalidateFrameCache());
  EXPECT_EQ((FrameCache{{-1034, Texture(1)}, {-1035, Texture(2)}}), engine_.frame_cache);
  EXPECT_EQ(-1, engine_.last_uploaded_frame);
  EXPECT_EQ(-1, engine_.previous_uploaded_frame);
}

TEST_F(FrameCacheInvalidationTest, PlaceholdersNeverBecomeFrameNumbers) {
  // Slots 0 and 1 hold nothing yet; slot 2 holds frame 1.
  engine_.frame_cache = {{-1024, Texture(0)}, {-1025, Texture(1)}, {1, Texture(2)}};
  engine_.InvalidateFrameCache();
  ASSERT_EQ(3u, engine_.frame_cache.size());
  EXPECT_EQ(Texture(2), engine_.frame_cache.at(-1025));
  for (const auto& entry : engine_.frame_cache) {
    SCOPED_TRACE(entry.first);
    EXPECT_LE(entry.first, -1024);
  }
  // Every texture is still there exactly once.
  std::set<IDirect3DTexture9*> textures;
  for (const auto& entry : engine_.frame_cache) textures.insert(entry.second);
  EXPECT_EQ((std::set<IDirect3DTexture9*>{Texture(0), Texture(1), Texture(2)}), textures);
}

TEST_F(FrameCacheInvalidationTest, InvalidatingTwiceStillNamesNoFrame) {
  engine_.frame_cache = {{0, Texture(0)}, {5, Texture(1)}};
  engine_.InvalidateFrameCache();
  engine_.InvalidateFrameCache();
  ASSERT_EQ(2u, engine_.frame_cache.size());
  for (const auto& entry : engine_.frame_cache) EXPECT_LE(entry.first, -1024);
}

}  // namespace
