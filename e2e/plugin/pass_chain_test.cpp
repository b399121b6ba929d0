// Techniques of several passes: the chain through "TxTmp" (starting from the
// current frame's source texture, or from the frame copied into the first
// render target when no source shows it), explicit targets with
// "RenderTarget%u" and two colour outputs at once, and the technique a track
// selects. Arithmetic on small host values in F32 is exact, so every output
// is compared exactly.
#include <gtest/gtest.h>

#include "e2e/plugin/effect_text.h"
#include "e2e/plugin/plugin_test_support.h"

namespace plugin_e2e {
namespace {

// Host values stay within ±4000, so doubling them and adding a few units
// never leaves the 16-bit range.
HostPixel Input(int frame, int x, int y) {
  return HostPixel{static_cast<int16_t>((x * 97 + y * 31 + frame * 11) % 8001 - 4000),
                   static_cast<int16_t>((x * 13 - y * 57 + frame * 7) % 4001),
                   static_cast<int16_t>(x - y * 3 + frame)};
}

HostPixel Map(const HostPixel& p, int (*f)(int)) {
  return HostPixel{Saturate(f(p.c0)), Saturate(f(p.c1)), Saturate(f(p.c2))};
}

// c10: one host unit (1/4096), 2, minus three host units, five host units.
const char* kConstants = "      def c10, 0.000244140625, 2, -0.000732421875, 0.001220703125\n";
const char* kSample = "      dcl t0.xy\n      dcl_2d s0\n      texld r0, t0, s0\n";

class PassChainTest : public ::testing::Test {
 protected:
  void SetUp() override { RequireDirect3D("plugin_pixels_test"); }

  void ExpectClip(Host& host, int (*f)(int)) {
    host.SetClip(MakeClip(37, 23, 5, Input), 40, 24);
    for (int frame : {0, 1, 4}) {
      EXPECT_FRAME(host, frame, [&](int x, int y) { return Map(Input(frame, x, y), f); });
    }
  }
};

TEST_F(PassChainTest, ThreePassesReadEachOtherThroughTxTmpFromTheSource) {
  const std::string effect =
      FilterVersion("Chain3") + "texture TxSrc0 < int frame_offset = 0; >;\ntexture TxTmp;\n" +
      PointSampler("Tmp", "TxTmp") + "technique ProcessImage0 {\n" +
      Pass("P0", kConstants + std::string(kSample) + "      add r0, r0, c10.x\n      mov oC0, r0",
           "s0 = Tmp;") +
      Pass("P1", kConstants + std::string(kSample) + "      mul r0, r0, c10.y\n      mov oC0, r0",
           "s0 = Tmp;") +
      Pass("P2", kConstants + std::string(kSample) + "      add r0, r0, c10.z\n      mov oC0, r0",
           "s0 = Tmp;") +
      "}\n";
  auto plugin = StartPlugin(effect);
  ASSERT_TRUE(plugin);
  ExpectClip(plugin->host(), [](int v) { return (v + 1) * 2 - 3; });
}

// No TxSrc parameter: the current frame is still uploaded (to the staging
// texture) and copied into the first render target, where TxTmp finds it.
TEST_F(PassChainTest, TwoPassesFromTheFrameCopiedIntoTheFirstTarget) {
  const std::string effect =
      FilterVersion("Chain2") + "texture TxTmp;\n" + PointSampler("Tmp", "TxTmp") +
      "technique ProcessImage0 {\n" +
      Pass("P0", kConstants + std::string(kSample) + "      mul r0, r0, c10.y\n      mov oC0, r0",
           "s0 = Tmp;") +
      Pass("P1", kConstants + std::string(kSample) + "      add r0, r0, c10.x\n      mov oC0, r0",
           "s0 = Tmp;") +
      "}\n";
  auto plugin = StartPlugin(effect);
  ASSERT_TRUE(plugin);
  ExpectClip(plugin->host(), [](int v) { return v * 2 + 1; });
  // Only the current frame is fetched, once for its size and once to upload,
  // then the prediction from the last two uploads (4, then 2): frame 0.
  plugin->host().frames().ClearLog();
  ASSERT_EQ(1, plugin->host().Process(2));
  EXPECT_EQ((std::vector<int>{2, 2, 0}), plugin->host().frames().Order());
}

// Pass 0 writes two targets at once (oC0 → TxRT1, oC1 → TxRT2); pass 1 reads
// both and writes TxRT0, which becomes the output.
TEST_F(PassChainTest, ExplicitTargetsAndTwoColourOutputs) {
  const std::string effect =
      FilterVersion("Targets") +
      "texture TxSrc0 < int frame_offset = 0; >;\n"
      "texture TxRT0;\ntexture TxRT1;\ntexture TxRT2;\n" +
      PointSampler("Source0", "TxSrc0") + PointSampler("Rt1", "TxRT1") +
      PointSampler("Rt2", "TxRT2") + "technique ProcessImage0 {\n" +
      Pass("P0",
           kConstants + std::string(kSample) +
               "      mul r1, r0, c10.y\n"
               "      add r2, r0, c10.w\n"
               "      mov oC0, r1\n"
               "      mov oC1, r2",
           "s0 = Source0;", "int RenderTarget0 = 1; int RenderTarget1 = 2;") +
      Pass("P1",
           "      dcl t0.xy\n"
           "      dcl_2d s0\n"
           "      dcl_2d s1\n"
           "      texld r0, t0, s0\n"
           "      texld r1, t0, s1\n"
           "      add r2, r0, -r1\n"
           "      mov r3, r0\n"
           "      mov r3.x, r2.x\n"
           "      mov r3.y, r1.y\n"
           "      mov oC0, r3",
           "s0 = Rt1; s1 = Rt2;", "int RenderTarget0 = 0;") +
      "}\n";
  auto plugin = StartPlugin(effect);
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  host.SetClip(MakeClip(37, 23, 5, Input), 40, 24);
  for (int frame : {0, 3}) {
    EXPECT_FRAME(host, frame, [&](int x, int y) {
      HostPixel p = Input(frame, x, y);
      return HostPixel{static_cast<int16_t>(p.c0 - 5), static_cast<int16_t>(p.c1 + 5),
                       static_cast<int16_t>(p.c2 * 2)};
    });
  }
}

// Track0 with usage "technique" picks ProcessImage<value>, clamped to the
// techniques there are; the track's own parameter still gets the value.
TEST_F(PassChainTest, ATechniqueTrackSelectsTheTechnique) {
  const std::string identity = std::string(kSample) + "      mov oC0, r0";
  const std::string effect =
      FilterVersion("Techniques") +
      "int Track0 < string name = \"Mode\"; int def = 0; int min = 0; int max = 2; "
      "string usage = \"technique\"; > = 0;\n"
      "texture TxSrc0 < int frame_offset = 0; >;\n" +
      PointSampler("Source0", "TxSrc0") + "technique ProcessImage0 {\n" +
      Pass("P0", identity, "s0 = Source0;") + "}\ntechnique ProcessImage1 {\n" +
      Pass("P0", std::string(kSample) + "      mov r0, -r0\n      mov oC0, r0", "s0 = Source0;") +
      "}\ntechnique ProcessImage2 {\n" +
      Pass("P0",
           kConstants + std::string(kSample) +
               "      mov r1, c0\n"
               "      mul r1, r1, c10.x\n"
               "      mov r0.x, r1.x\n"
               "      mov oC0, r0",
           "c0 = Track0; s0 = Source0;") +
      "}\n";
  auto plugin = StartPlugin(effect);
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  host.SetClip(MakeClip(37, 23, 9, Input), 40, 24);
  auto same = [](int frame) { return [frame](int x, int y) { return Input(frame, x, y); }; };
  auto negated = [](int frame) {
    return [frame](int x, int y) { return Map(Input(frame, x, y), [](int v) { return -v; }); };
  };

  EXPECT_FRAME(host, 0, same(0));
  host.SetTrack(0, 1);
  ASSERT_EQ(1, host.Update());
  EXPECT_FRAME(host, 1, negated(1));
  // Beyond the last technique: the last one, whose parameter shows 5.
  host.SetTrack(0, 5);
  ASSERT_EQ(1, host.Update());
  EXPECT_FRAME(host, 2, [](int x, int y) {
    HostPixel p = Input(2, x, y);
    p.c0 = 5;
    return p;
  });
  host.SetTrack(0, -3);
  ASSERT_EQ(1, host.Update());
  EXPECT_FRAME(host, 3, same(3));
  // A changed value without the update call is not pushed.
  host.SetTrack(0, 1);
  EXPECT_FRAME(host, 4, same(4));
  ASSERT_EQ(1, host.Update());
  EXPECT_FRAME(host, 5, negated(5));
}

}  // namespace
}  // namespace plugin_e2e
