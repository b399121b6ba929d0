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

  // Every key names no frame, and every texture is there exactly once.
  void ExpectOnlyPlaceholdersOf(std::set<IDirect3DTexture9*> textures) {
    std::set<IDirect3DTexture9*> seen;
    for (const auto& entry : engine_.frame_cache) {
      SCOPED_TRACE(entry.first);
      EXPECT_TRUE(IsPlaceholderKey(entry.first));
      EXPECT_TRUE(seen.insert(entry.second).second) << "texture twice";
    }
    EXPECT_EQ(textures, seen);
  }

  Engine engine_;
};

TEST_F(FrameCacheInvalidationTest, FramesMoveToKeysNoFrameRequestFinds) {
  engine_.frame_cache = {{10, Texture(1)}, {11, Texture(2)}};
  engine_.last_uploaded_frame = 11;
  engine_.previous_uploaded_frame = 10;
  EXPECT_TRUE(engine_.InvalidateFrameCache());
  ExpectOnlyPlaceholdersOf({Texture(1), Texture(2)});
  EXPECT_EQ(-1, engine_.last_uploaded_frame);
  EXPECT_EQ(-1, engine_.previous_uploaded_frame);
}

TEST_F(FrameCacheInvalidationTest, PlaceholdersNeverBecomeFrameNumbers) {
  // Slots 0 and 1 hold nothing yet; slot 2 holds frame 1.
  engine_.frame_cache = {
      {PlaceholderKey(0), Texture(0)}, {PlaceholderKey(1), Texture(1)}, {1, Texture(2)}};
  engine_.InvalidateFrameCache();
  ExpectOnlyPlaceholdersOf({Texture(0), Texture(1), Texture(2)});
}

TEST_F(FrameCacheInvalidationTest, RepeatedInvalidationAtTheStartOfTheClipNamesNoFrame) {
  // Frame 0 with offsets -1 and 0, then two middle clicks in a row: neither
  // key -1 nor any other frame number may come back.
  engine_.frame_cache = {{-1, Texture(0)}, {0, Texture(1)}};
  engine_.InvalidateFrameCache();
  ExpectOnlyPlaceholdersOf({Texture(0), Texture(1)});
  engine_.InvalidateFrameCache();
  ExpectOnlyPlaceholdersOf({Texture(0), Texture(1)});
  EXPECT_EQ(0u, engine_.frame_cache.count(-1));
  EXPECT_EQ(0u, engine_.frame_cache.count(0));
}

TEST_F(FrameCacheInvalidationTest, ExtremeFrameNumbersAndManyRoundsKeepKeysApart) {
  engine_.frame_cache = {
      {INT32_MIN, Texture(0)}, {INT32_MAX, Texture(1)}, {-1024, Texture(2)}, {-1023, Texture(3)}};
  for (int round = 0; round < 100; ++round) {
    SCOPED_TRACE(round);
    engine_.InvalidateFrameCache();
    ExpectOnlyPlaceholdersOf({Texture(0), Texture(1), Texture(2), Texture(3)});
  }
}

}  // namespace
