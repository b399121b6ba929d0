// Events in the middle of a clip — size changes, the resource messages, a
// lost and reset device — and the hand-off with the render worker: what is
// predicted and prefetched while the job runs, and that only this frame's
// result is ever delivered.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "pipeline/pipeline_fixture.h"

namespace pipeline_test {
namespace {

EffectDescription AddingEffect(int units) {
  EffectDescription effect;
  DeclareFilter(effect);
  effect.Texture("TxSrc0");
  effect.Texture("TxSrc1").Annotate("frame_offset", 1);
  effect.Texture("TxTmp");
  effect.Int("Track0").Annotate("def", units);
  effect.Technique("ProcessImage0").Pass().Program(Program([](PassContext& c, int x, int y) {
    Float4 v = c.Sample("TxTmp", x, y);
    const float add = c.Int("Track0") * kUnit;
    return Float4{v.x + add, v.y + add, v.z + add, 0};
  }));
  return effect;
}

class FrameEventsTest : public PipelineTest {
 protected:
  ::testing::AssertionResult ShowsFramePlus(int frame, long units) {
    return OutputIs(
        [&](int x, int y) { return InputWith(frame, x, y, [&](int16_t v) { return v + units; }); });
  }
  // Calls of the named Set* kind for the parameter since the log was cleared.
  int Writes(const std::string& parameter) const {
    int writes = 0;
    for (const auto& set : Effect()->value_log()) writes += set.parameter == parameter;
    return writes;
  }
};

TEST_F(FrameEventsTest, ASizeChangeRebuildsAndPushesTheControlsInTheSameFrame) {
  ASSERT_TRUE(Start(AddingEffect(3)));
  host.frame_size = [](int frame) {
    return frame < 5 ? plugin_test::FrameSize{64, 48} : plugin_test::FrameSize{33, 17};
  };
  ASSERT_EQ(1, Run(3));
  Effect()->ClearValueLog();
  ASSERT_EQ(1, Run(5));
  EXPECT_EQ(33u, static_cast<fakes::FakeTexture*>(engine->staging_texture.get())->width());
  EXPECT_EQ(33, engine->frame_width);
  EXPECT_EQ(1, Writes("Track0"));
  EXPECT_TRUE(ShowsFramePlus(5, 3));
  ASSERT_EQ(1, Run(6));
  EXPECT_TRUE(ShowsFramePlus(6, 3));
  // Frame 4 reads frame 5, which has another size: the frame fails rather
  // than read a smaller image as if it had the current size, and says why
  // once, not at every such frame.
  EXPECT_EQ(0, Run(4));
  EXPECT_EQ(0, Run(4));
  ASSERT_EQ(1u, native_platform::MessageBoxes().size());
  EXPECT_EQ(std::wstring(user_text::kSourceSizeDiffers), native_platform::MessageBoxes()[0].text);
  ASSERT_EQ(1, Run(3));
  EXPECT_TRUE(ShowsFramePlus(3, 3));
}

TEST_F(FrameEventsTest, ResourceMessagesRebuildOnTheNextFrame) {
  ASSERT_TRUE(Start(AddingEffect(1)));
  ASSERT_EQ(1, Run(0));
  const struct {
    UINT message;
    bool active;
    bool rebuilds;
  } cases[] = {{1125, true, true}, {1133, false, true}, {1133, true, false}};
  int frame = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.message << (c.active ? " active" : " inactive"));
    host.filter_active = c.active;
    EXPECT_EQ(0, WindowMessageHandler(nullptr, c.message, 0, 0, nullptr, &filter_table));
    EXPECT_EQ(c.rebuilds, !engine->staging_texture);
    const size_t textures = Device()->created_textures().size();
    Effect()->ClearValueLog();
    ASSERT_EQ(1, Run(frame));
    EXPECT_EQ(c.rebuilds, Device()->created_textures().size() > textures);
    EXPECT_EQ(c.rebuilds ? 1 : 0, Writes("Track0"));
    EXPECT_TRUE(ShowsFramePlus(frame, 1));
    ++frame;
  }
}

TEST_F(FrameEventsTest, ALostDeviceIsResetMidClipWithTexturesBound) {
  ASSERT_TRUE(Start(AddingEffect(2)));
  ASSERT_EQ(1, Run(0));
  ASSERT_EQ(1, Run(1));
  // The effect holds the textures of the last frame.
  ASSERT_NE(nullptr, Effect()->TextureValue("TxSrc0"));
  auto& levels = Device()->config().cooperative_levels;

  // Lost: frames fail silently.
  levels.push_back(D3DERR_DEVICELOST);
  EXPECT_EQ(0, Run(2));
  // Can be reset: the same frame is drawn on rebuilt resources.
  levels.push_back(D3DERR_DEVICENOTRESET);
  Effect()->ClearValueLog();
  ASSERT_EQ(1, Run(2));
  EXPECT_EQ(1u, Device()->reset_calls().size());
  EXPECT_TRUE(native_platform::MessageBoxes().empty());
  EXPECT_EQ(1, Writes("Track0"));
  EXPECT_TRUE(ShowsFramePlus(2, 2));
  ASSERT_EQ(1, Run(3));
  EXPECT_TRUE(ShowsFramePlus(3, 2));
}

TEST_F(FrameEventsTest, AResetWhoseEffectRestoreFailsRebuildsBeforeAnythingIsUsed) {
  ASSERT_TRUE(Start(AddingEffect(2)));
  ASSERT_EQ(1, Run(0));
  ASSERT_EQ(1, Run(1));
  // The reset releases the default pool and succeeds; the effect's restore
  // fails (out of video memory after a display-mode change).
  Device()->config().cooperative_levels.push_back(D3DERR_DEVICENOTRESET);
  fakes::FailCall("ID3DXEffect::OnResetDevice", 1, D3DERR_OUTOFVIDEOMEMORY);
  EXPECT_EQ(0, Run(2));
  ASSERT_EQ(1u, native_platform::MessageBoxes().size());
  EXPECT_EQ(std::wstring(user_text::kDeviceResetFailed), native_platform::MessageBoxes()[0].text);
  ASSERT_EQ(1, Run(2));
  EXPECT_TRUE(ShowsFramePlus(2, 2));
  ASSERT_EQ(1, Run(3));
  EXPECT_TRUE(ShowsFramePlus(3, 2));
  EXPECT_EQ(1u, native_platform::MessageBoxes().size());
}

TEST_F(FrameEventsTest, ARowStrideChangeAloneRebuilds) {
  ASSERT_TRUE(Start(AddingEffect(1)));
  host.frame_width = 640;
  host.frame_height = 480;
  // max_width is the row stride of the host's images and of the output.
  const plugin_test::FrameSize maxima[] = {{1280, 720}, {640, 480}, {700, 480}, {700, 500}};
  for (int frame = 0; frame < 4; ++frame) {
    SCOPED_TRACE(testing::Message() << maxima[frame].width << "x" << maxima[frame].height);
    host.max_width = maxima[frame].width;
    host.max_height = maxima[frame].height;
    ASSERT_EQ(1, Run(frame));
    EXPECT_TRUE(ShowsFramePlus(frame, 1));
  }
}

// The host may pump window messages inside the prefetch that runs while the
// worker draws. Handlers entered there leave the job's resources alone and
// act once the frame has ended.
TEST_F(FrameEventsTest, HandlersEnteredDuringThePrefetchActAfterTheFrame) {
  const struct {
    const char* label;
    UINT message;  // 0: the exit handler
    bool active;
  } cases[] = {{"519", 519, true}, {"1125", 1125, true}, {"1133", 1133, false}, {"exit", 0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    // The job waits until the handler has returned.
    auto gate = std::make_shared<std::atomic<int>>(-1);
    EffectDescription effect;
    DeclareFilter(effect);
    effect.Texture("TxSrc0");
    effect.Technique("ProcessImage0").Pass().Program([gate](PassContext& context) {
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (gate->load() >= 0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::yield();
      }
      context.Shade([&](int x, int y, Float4 out[4]) {
        Float4 v = context.Sample("TxSrc0", x, y);
        out[0] = Float4{v.x + kUnit, v.y + kUnit, v.z + kUnit, 0};
      });
    });
    host.on_fetch = nullptr;
    host.filter_active = true;
    ASSERT_TRUE(Start(effect));
    ASSERT_EQ(1, Run(10));
    host.on_fetch = [&, gate](int frame) {
      if (frame != gate->load()) return;
      host.filter_active = c.active;
      if (c.message) {
        WindowMessageHandler(nullptr, c.message, 0, 0, nullptr, &filter_table);
      } else {
        EXPECT_EQ(1, ExitHandler(&filter_table));
      }
      gate->store(-1);
    };
    gate->store(12);  // 10 then 11 predicts 12
    if (c.message) {
      ASSERT_EQ(1, Run(11));
      EXPECT_TRUE(ShowsFramePlus(11, 1));
      if (c.message != 519) EXPECT_FALSE(engine->staging_texture);
    } else {
      EXPECT_EQ(0, Run(11));
      EXPECT_EQ(nullptr, engine);
      ASSERT_TRUE(Start(effect));
    }
    host.on_fetch = nullptr;
    host.filter_active = true;
    ASSERT_EQ(1, Run(12));
    EXPECT_TRUE(ShowsFramePlus(12, 1));
    EXPECT_TRUE(native_platform::MessageBoxes().empty());
    ExitHandler(&filter_table);
  }
}

TEST_F(FrameEventsTest, WorkerPredictsAndPrefetchesWhileTheJobRuns) {
  EffectDescription effect;
  DeclareFilter(effect);
  effect.Texture("TxSrc0");
  // The job waits until the host has been asked for the predicted frame:
  // that can only happen while the job runs on the worker.
  auto gate = std::make_shared<std::atomic<int>>(-1);
  auto waited = std::make_shared<std::atomic<bool>>(true);
  effect.Technique("ProcessImage0").Pass().Program([gate, waited](PassContext& c) {
    if (gate->load() >= 0) {
      auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (gate->load() >= 0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::yield();
      }
      if (gate->load() >= 0) *waited = false;
    }
    c.Shade([&](int x, int y, Float4 out[4]) { out[0] = c.Sample("TxSrc0", x, y); });
  });
  ASSERT_TRUE(Start(effect, /*use_worker=*/true));
  host.frame_count = 30;
  ASSERT_EQ(1, Run(10));  // first upload of frame 10: predicts 20
  EXPECT_EQ(20, host.fetches.back().frame);

  // From now on the job blocks until the prefetch of its prediction.
  host.on_fetch = [gate](int frame) {
    if (frame == gate->load()) gate->store(-1);
  };
  gate->store(12);
  ASSERT_EQ(1, Run(11));  // 10 then 11: predicts 12
  EXPECT_TRUE(*waited);
  const std::vector<int> order = host.FetchOrder();
  EXPECT_EQ((std::vector<int>{11, 11, 12}), std::vector<int>(order.end() - 3, order.end()));
  EXPECT_TRUE(OutputIs([&](int x, int y) { return host.PixelOf(11, x, y); }));
}

TEST_F(FrameEventsTest, PredictionPastTheEndIsNotFetched) {
  EffectDescription effect;
  DeclareFilter(effect);
  effect.Texture("TxSrc0");
  effect.Technique("ProcessImage0").Pass().Program(CopyOf("TxSrc0"));
  ASSERT_TRUE(Start(effect));
  host.frame_count = 12;
  ASSERT_EQ(1, Run(9));
  ASSERT_EQ(1, Run(10));  // predicts 11, which exists
  EXPECT_EQ(11, host.fetches.back().frame);
  const size_t fetches = host.fetches.size();
  ASSERT_EQ(1, Run(11));  // the last frame predicts 12, past the end
  for (size_t i = fetches; i < host.fetches.size(); ++i) EXPECT_EQ(11, host.fetches[i].frame);
  EXPECT_TRUE(OutputIs([&](int x, int y) { return host.PixelOf(11, x, y); }));
}

TEST_F(FrameEventsTest, WithoutTheWorkerNothingIsPrefetched) {
  ASSERT_TRUE(Start(AddingEffect(0), /*use_worker=*/false));
  for (int frame = 0; frame < 5; ++frame) ASSERT_EQ(1, Run(frame));
  // The current frame with its size, then the one new source frame.
  std::vector<int> expected = {0, 0, 1};
  for (int frame = 1; frame < 5; ++frame) expected.insert(expected.end(), {frame, frame + 1});
  EXPECT_EQ(expected, host.FetchOrder());
}

TEST_F(FrameEventsTest, AFailedPrefetchFailsTheFrameAfterTheJobHasEnded) {
  ASSERT_TRUE(Start(AddingEffect(0)));
  ASSERT_EQ(1, Run(1));  // frames 1 and 2 uploaded: predicts 3
  host.failing_frames = {4};
  EXPECT_EQ(0, Run(2));  // uploads 3, predicts 4, which the host cannot give
  EXPECT_FALSE(Device()->in_scene());
  host.failing_frames.clear();
  ASSERT_EQ(1, Run(3));
  EXPECT_TRUE(ShowsFramePlus(3, 0));
}

TEST_F(FrameEventsTest, OnlyAResultOfThisFrameIsDelivered) {
  for (bool worker : {true, false}) {
    SCOPED_TRACE(worker ? "worker" : "inline");
    ASSERT_TRUE(Start(AddingEffect(0), worker));
    ASSERT_EQ(1, Run(0));
    const struct {
      const char* label;
      const char* method;
    } cases[] = {{"scene refused", "IDirect3DDevice9::BeginScene"},
                 {"start image missing", "ID3DXEffect::SetTexture"},
                 {"copy refused", "IDirect3DDevice9::GetRenderTargetData"}};
    int frame = 1;
    for (const auto& c : cases) {
      SCOPED_TRACE(c.label);
      native_platform::ClearMessageBoxes();
      // SetTexture: the three bindings of the sources come first.
      fakes::FailCall(c.method, std::string(c.method) == "ID3DXEffect::SetTexture" ? 3 : 1, E_FAIL);
      EXPECT_EQ(0, Run(frame));
      EXPECT_TRUE(native_platform::MessageBoxes().empty());
      // The output still holds the host's sentinel: nothing stale was written.
      EXPECT_EQ(plugin_test::FakeHost::kSentinel.c0,
                plugin_test::FakeHost::OutputPixel(request, 0, 0).c0);
      ASSERT_EQ(1, Run(frame + 1));
      EXPECT_TRUE(ShowsFramePlus(frame + 1, 0));
      frame += 2;
    }
    ExitHandler(&filter_table);
  }
}

TEST_F(FrameEventsTest, AFailedReadBackShowsItsMessage) {
  ASSERT_TRUE(Start(AddingEffect(0)));
  ASSERT_EQ(1, Run(0));
  // Lock calls of a frame: one upload, then the read-back.
  fakes::FailCall("IDirect3DTexture9::LockRect", 2, E_FAIL);
  EXPECT_EQ(0, Run(1));
  ASSERT_EQ(1u, native_platform::MessageBoxes().size());
  EXPECT_EQ(std::wstring(user_text::kReadBackFailed), native_platform::MessageBoxes()[0].text);
  EXPECT_EQ(std::wstring(L"Test filter"), native_platform::MessageBoxes()[0].caption);
}

}  // namespace
}  // namespace pipeline_test
