// A temporal effect (TxSrc0 at offset -1, TxSrc1 at 0, TxSrc2 at +1): the
// output shows the right frames, each frame is uploaded once while it stays
// in the window, and the host sees the exact order of fetches: the current
// frame (with its size), the frames not yet on the GPU, and with the render
// worker the frame the linear prediction names, fetched while the worker
// draws. Window message 519 makes every source frame go up again.
#include <gtest/gtest.h>

#include <map>

#include "e2e/plugin/effect_text.h"
#include "e2e/plugin/plugin_test_support.h"

namespace plugin_e2e {
namespace {

constexpr int kFrames = 40;

// Every component names its frame.
HostPixel Input(int frame, int x, int y) {
  return HostPixel{static_cast<int16_t>(frame * 200 + x), static_cast<int16_t>(-frame * 200 - y),
                   static_cast<int16_t>(frame * 50 + x + y)};
}

int Clamp(int frame) { return frame < 0 ? 0 : frame >= kFrames ? kFrames - 1 : frame; }

// c0 from the previous frame, c1 from this one, c2 from the next.
HostPixel Expected(int frame, int x, int y) {
  return HostPixel{Input(Clamp(frame - 1), x, y).c0, Input(frame, x, y).c1,
                   Input(Clamp(frame + 1), x, y).c2};
}

std::string TemporalEffect() {
  return FilterVersion("Temporal") + TemporalSources() + "technique ProcessImage0 {\n" +
         MixThreeFramesPass("P0") + "}\n";
}

class TemporalTest : public ::testing::Test {
 protected:
  void SetUp() override { RequireDirect3D("plugin_pixels_test"); }

  std::unique_ptr<LoadedPlugin> Start(int disable_pp, int filter_active = 1) {
    HostOptions options;
    options.disable_pp = disable_pp;
    options.filter_active = filter_active;
    std::unique_ptr<LoadedPlugin> plugin = StartPlugin(TemporalEffect(), options);
    if (plugin) plugin->host().SetClip(MakeClip(33, 21, kFrames, Input), 36, 24);
    return plugin;
  }

  // Processes `frame`, checks its pixels and returns the frames it fetched.
  std::vector<int> Step(Host& host, int frame) {
    host.frames().ClearLog();
    EXPECT_FRAME(host, frame, [frame](int x, int y) { return Expected(frame, x, y); });
    return host.frames().Order();
  }
};

using Order = std::vector<int>;

TEST_F(TemporalTest, WithTheWorkerEachStepFetchesOneNewFrameAndThePrediction) {
  auto plugin = Start(0);
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  // First frame: everything goes up; the uploads 4, 5, 6 predict 7.
  EXPECT_EQ((Order{5, 4, 5, 6, 7}), Step(host, 5));
  std::map<int, int> counts;
  for (int frame = 6; frame <= 9; ++frame) {
    SCOPED_TRACE("step to " + std::to_string(frame));
    // Frames frame-1 and frame are on the GPU; frame+1 goes up, and the
    // prediction is the frame after it.
    EXPECT_EQ((Order{frame, frame + 1, frame + 2}), Step(host, frame));
    const std::vector<texloom_host::FetchRecord>& log = host.frames().log();
    ASSERT_EQ(3u, log.size());
    EXPECT_TRUE(log[0].size_asked) << "the current frame tells the size";
    EXPECT_FALSE(log[2].size_asked) << "the prefetch asks for no size";
    for (const auto& count : host.frames().Counts()) counts[count.first] += count.second;
  }
  // Each frame is asked for three times on its way: predicted, uploaded as
  // the next frame, then as the current frame (which is already on the GPU).
  EXPECT_EQ((std::map<int, int>{{6, 1}, {7, 2}, {8, 3}, {9, 3}, {10, 2}, {11, 1}}), counts);
  // A jump: all three go up again.
  EXPECT_EQ((Order{20, 19, 20, 21, 22}), Step(host, 20));
  // One step back: only 18 is missing. The last two uploads were 21 and
  // 18, so the prediction is 2 * 18 - 21.
  EXPECT_EQ((Order{19, 18, 15}), Step(host, 19));
  EXPECT_EQ((Order{18, 17, 16}), Step(host, 18));
  // Reservations: the three offsets plus the current frame.
  for (const texloom_host::FrameReservation& reservation : host.reservations()) {
    EXPECT_EQ(36, reservation.max_width);
    EXPECT_EQ(24, reservation.max_height);
    EXPECT_EQ(4, reservation.frame_count);
    EXPECT_EQ(0, reservation.flags);
  }
  EXPECT_EQ(8u, host.reservations().size());
}

TEST_F(TemporalTest, WithoutTheWorkerNothingIsPredicted) {
  auto plugin = Start(1);
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  EXPECT_EQ((Order{5, 4, 5, 6}), Step(host, 5));
  EXPECT_EQ((Order{6, 7}), Step(host, 6));
  EXPECT_EQ((Order{7, 8}), Step(host, 7));
  EXPECT_EQ((Order{30, 29, 30, 31}), Step(host, 30));
}

// Frames before the first and after the last are asked for by number; the
// host serves its first and last frame for them.
TEST_F(TemporalTest, TheClipsEndsAreServedClamped) {
  auto plugin = Start(0);
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  EXPECT_EQ((Order{0, -1, 0, 1, 2}), Step(host, 0));
  EXPECT_EQ(0, host.frames().log()[1].served);
  // The frame after the last is asked for as a source; the prediction
  // after it (kFrames + 1) lies past the clip's end and is not asked for.
  EXPECT_EQ((Order{kFrames - 1, kFrames - 2, kFrames - 1, kFrames}), Step(host, kFrames - 1));
  EXPECT_EQ(kFrames - 1, host.frames().log()[3].served);
}

TEST_F(TemporalTest, Message519UploadsEverySourceFrameAgain) {
  auto plugin = Start(0);
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  Step(host, 10);
  EXPECT_EQ(1, host.WindowMessage(texloom_host::kMessageMiddleButtonDown));
  EXPECT_EQ(1, host.filter_state_queries());
  // 10 and 11 were on the GPU, yet all three go up again.
  EXPECT_EQ((Order{11, 10, 11, 12, 13}), Step(host, 11));
  EXPECT_EQ((Order{12, 13, 14}), Step(host, 12));
}

TEST_F(TemporalTest, Message519ForAnInactiveFilterChangesNothing) {
  auto plugin = Start(0, 0);
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  Step(host, 10);
  EXPECT_EQ(0, host.WindowMessage(texloom_host::kMessageMiddleButtonDown));
  EXPECT_EQ((Order{11, 12, 13}), Step(host, 11));
}

// 1125 always, and 1133 only for an inactive filter, release the frame-size
// resources: the next frame rebuilds them and uploads everything.
TEST_F(TemporalTest, Messages1125And1133RebuildTheFrameResources) {
  for (int active : {1, 0}) {
    SCOPED_TRACE(active ? "active filter" : "inactive filter");
    auto plugin = Start(0, active);
    ASSERT_TRUE(plugin);
    Host& host = plugin->host();
    Step(host, 10);
    EXPECT_EQ(0, host.WindowMessage(texloom_host::kMessageReleaseResources));
    EXPECT_EQ((Order{11, 10, 11, 12, 13}), Step(host, 11));
    EXPECT_EQ(0, host.WindowMessage(texloom_host::kMessageReleaseIfInactive));
    if (active) {
      EXPECT_EQ((Order{12, 13, 14}), Step(host, 12));
    } else {
      EXPECT_EQ((Order{12, 11, 12, 13, 14}), Step(host, 12));
    }
  }
}

TEST_F(TemporalTest, MessagesWithoutAnEngineDoNothing) {
  LoadedPlugin plugin(CompileEffect(TemporalEffect()));
  ASSERT_TRUE(plugin.loaded()) << plugin.error();
  Host& host = plugin.host();
  EXPECT_EQ(0, host.WindowMessage(texloom_host::kMessageMiddleButtonDown));
  EXPECT_EQ(0, host.WindowMessage(texloom_host::kMessageReleaseResources));
  EXPECT_EQ(0, host.WindowMessage(texloom_host::kMessageReleaseIfInactive));
  host.SetClip(MakeClip(33, 21, kFrames, Input), 36, 24);
  EXPECT_EQ(0, host.Process(3)) << "no engine, no frame";
  EXPECT_TRUE(host.frames().log().empty());
  EXPECT_EQ("", host.output().CheckOutside(0, 0)) << "the output is untouched";
}

}  // namespace
}  // namespace plugin_e2e
