// The frame cache through whole frames: what is fetched and converted per
// step, jumps, shared offsets, message 519, and failures part-way through a
// frame never leaving a frame looking resident.
#include "pipeline/pipeline_fixture.h"

namespace pipeline_test {
namespace {

// The average of the frames before, at and after the current one.
EffectDescription TemporalEffect() {
  EffectDescription effect;
  DeclareFilter(effect);
  effect.Texture("TxSrc0").Annotate("frame_offset", -1);
  effect.Texture("TxSrc1");
  effect.Texture("TxSrc2").Annotate("frame_offset", 1);
  effect.Technique("ProcessImage0").Pass().Program(Program([](PassContext& c, int x, int y) {
    Float4 a = c.Sample("TxSrc0", x, y), b = c.Sample("TxSrc1", x, y), d = c.Sample("TxSrc2", x, y);
    return Float4{a.x + b.x + d.x, a.y + b.y + d.y, a.z + b.z + d.z, 0};
  }));
  return effect;
}

class FrameCacheTest : public PipelineTest {
 protected:
  void SetUp() override {
    PipelineTest::SetUp();
    host.SetParallelThreads(2);
    // Small values, so that the sum of three frames stays in range.
    host.content = [](int frame, int x, int y) {
      return HostPixel{static_cast<int16_t>(frame), static_cast<int16_t>(x - frame),
                       static_cast<int16_t>(y * 3 + frame)};
    };
  }

  ::testing::AssertionResult ShowsSumAround(int frame) {
    return OutputIs([&](int x, int y) {
      HostPixel a = host.PixelOf(frame - 1, x, y), b = host.PixelOf(frame, x, y),
                c = host.PixelOf(frame + 1, x, y);
      return HostPixel{static_cast<int16_t>(a.c0 + b.c0 + c.c0),
                       static_cast<int16_t>(a.c1 + b.c1 + c.c1),
                       static_cast<int16_t>(a.c2 + b.c2 + c.c2)};
    });
  }
};

TEST_F(FrameCacheTest, SteppingForwardUploadsOneNewFramePerStep) {
  ASSERT_TRUE(Start(TemporalEffect(), /*use_worker=*/false));
  ASSERT_EQ(1, Run(10));
  EXPECT_EQ((std::vector<int>{9, 10, 11}), SourceFetches(0));
  EXPECT_EQ(3u + 1u, Conversions());  // three uploads, one read-back
  EXPECT_TRUE(ShowsSumAround(10));
  for (int frame = 11; frame < 20; ++frame) {
    SCOPED_TRACE(frame);
    const size_t fetches = host.fetches.size(), conversions = Conversions();
    ASSERT_EQ(1, Run(frame));
    EXPECT_EQ(std::vector<int>{frame + 1}, SourceFetches(fetches));
    EXPECT_EQ(2u, Conversions() - conversions);
    EXPECT_TRUE(ShowsSumAround(frame));
  }
  // Each frame was fetched for its upload once in all.
  const std::vector<int> uploads = SourceFetches(0);
  for (int frame = 9; frame <= 20; ++frame) {
    EXPECT_EQ(1, std::count(uploads.begin(), uploads.end(), frame)) << frame;
  }
}

TEST_F(FrameCacheTest, AJumpReassignsEverySlot) {
  ASSERT_TRUE(Start(TemporalEffect(), false));
  ASSERT_EQ(1, Run(10));
  const size_t fetches = host.fetches.size();
  ASSERT_EQ(1, Run(50));
  EXPECT_EQ((std::vector<int>{49, 50, 51}), SourceFetches(fetches));
  EXPECT_TRUE(ShowsSumAround(50));
  // Back by one keeps two frames again.
  const size_t back = host.fetches.size();
  ASSERT_EQ(1, Run(49));
  EXPECT_EQ(std::vector<int>{48}, SourceFetches(back));
  EXPECT_TRUE(ShowsSumAround(49));
}

TEST_F(FrameCacheTest, TheFirstFrameAsksForFrameMinusOne) {
  ASSERT_TRUE(Start(TemporalEffect(), false));
  host.failing_frames.clear();
  // The clip has no frame -1, and the host says so: nothing clamps it.
  EXPECT_EQ(0, Run(0));
  EXPECT_EQ(1, host.FetchCount(-1));
}

TEST_F(FrameCacheTest, SourcesWithOneOffsetShareOneUpload) {
  EffectDescription effect;
  DeclareFilter(effect);
  effect.Texture("TxSrc0").Annotate("frame_offset", 1);
  effect.Texture("TxSrc1").Annotate("frame_offset", 1);
  effect.Technique("ProcessImage0").Pass().Program(Program([](PassContext& c, int x, int y) {
    Float4 a = c.Sample("TxSrc0", x, y), b = c.Sample("TxSrc1", x, y);
    return Float4{a.x - b.x, a.y + b.y, 0, 0};
  }));
  ASSERT_TRUE(Start(effect, false));
  ASSERT_EQ(1, Run(3));
  EXPECT_EQ(std::vector<int>{4}, SourceFetches(0));
  EXPECT_EQ(engine->source_texture_slots[0].get(), Effect()->TextureValue("TxSrc0"));
  EXPECT_EQ(Effect()->TextureValue("TxSrc0"), Effect()->TextureValue("TxSrc1"));
  EXPECT_TRUE(OutputIs([&](int x, int y) {
    HostPixel next = host.PixelOf(4, x, y);
    return HostPixel{0, static_cast<int16_t>(2 * next.c1), 0};
  }));
}

TEST_F(FrameCacheTest, MiddleClickUploadsEveryFrameAgain) {
  ASSERT_TRUE(Start(TemporalEffect(), false));
  ASSERT_EQ(1, Run(10));
  // The host's frames changed (a filter before this one was edited).
  host.content = [](int frame, int x, int y) {
    return HostPixel{static_cast<int16_t>(-frame), static_cast<int16_t>(x),
                     static_cast<int16_t>(y)};
  };
  EXPECT_EQ(1, WindowMessageHandler(nullptr, 519, 0, 0, nullptr, &filter_table));
  const size_t fetches = host.fetches.size();
  ASSERT_EQ(1, Run(10));
  EXPECT_EQ((std::vector<int>{9, 10, 11}), SourceFetches(fetches));
  EXPECT_TRUE(ShowsSumAround(10));
}

TEST_F(FrameCacheTest, MiddleClickTwiceAtTheStartOfTheClip) {
  EffectDescription effect;
  DeclareFilter(effect);
  effect.Texture("TxSrc0");
  effect.Texture("TxSrc1").Annotate("frame_offset", 1);
  effect.Technique("ProcessImage0").Pass().Program(CopyOf("TxSrc1"));
  ASSERT_TRUE(Start(effect, false));
  ASSERT_EQ(1, Run(0));
  // Two clicks in a row: no texture may come back under a frame number.
  WindowMessageHandler(nullptr, 519, 0, 0, nullptr, &filter_table);
  WindowMessageHandler(nullptr, 519, 0, 0, nullptr, &filter_table);
  for (const auto& entry : engine->frame_cache) EXPECT_TRUE(IsPlaceholderKey(entry.first));
  const size_t fetches = host.fetches.size();
  ASSERT_EQ(1, Run(0));
  EXPECT_EQ((std::vector<int>{0, 1}), SourceFetches(fetches));
  EXPECT_TRUE(OutputIs([&](int x, int y) { return host.PixelOf(1, x, y); }));
}

TEST_F(FrameCacheTest, AFailedUploadNeverLeavesItsFrameLookingResident) {
  ASSERT_TRUE(Start(TemporalEffect(), false));
  ASSERT_EQ(1, Run(10));
  // Frame 11 steps in; the upload of frame 12 fails at its lock.
  const struct {
    const char* label;
    std::function<void()> spoil;
    const wchar_t* message;  // null: the frame fails silently
  } cases[] = {
      {"lock fails", [] { fakes::FailCall("IDirect3DTexture9::LockRect", 1, E_FAIL); },
       user_text::kFrameCopyFailed},
      {"the host has no such frame", [this] { host.failing_frames = {12}; }, nullptr},
      {"binding fails", [] { fakes::FailCall("ID3DXEffect::SetTexture", 3, E_FAIL); },
       user_text::kTextureSetFailed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    native_platform::ClearMessageBoxes();
    ASSERT_EQ(1, Run(10));
    c.spoil();
    EXPECT_EQ(0, Run(11));
    host.failing_frames.clear();
    if (c.message) {
      ASSERT_EQ(1u, native_platform::MessageBoxes().size());
      EXPECT_EQ(std::wstring(c.message), native_platform::MessageBoxes()[0].text);
    } else {
      EXPECT_TRUE(native_platform::MessageBoxes().empty());
    }
    EXPECT_FALSE(engine->frame_cache.count(12));
    // The next frame uploads what is missing and shows the right pixels, and
    // the slots do not run out.
    ASSERT_EQ(1, Run(11));
    EXPECT_TRUE(ShowsSumAround(11));
    EXPECT_EQ(3u, engine->frame_cache.size());
    EXPECT_TRUE(engine->frame_cache_next.empty());
  }
}

}  // namespace
}  // namespace pipeline_test
