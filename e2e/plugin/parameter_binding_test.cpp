// What the effect's parameters receive, made visible in the output: track
// and check values by binding mode, PixelKernel arrays converted into
// TexelKernel arrays for the frame's size, SrcSize, Frame, FrameNum, and
// PixScale, through which a shader recovers host units in every format.
// Values a shader writes in F32, scaled by 1/4096, come back exactly as the
// host integers they encode.
#include <gtest/gtest.h>

#include <cmath>

#include "e2e/plugin/effect_text.h"
#include "e2e/plugin/plugin_test_support.h"

namespace plugin_e2e {
namespace {

constexpr int kWidth = 24, kHeight = 10;

HostPixel Input(int frame, int x, int y) {
  return HostPixel{static_cast<int16_t>(x * 100 + y), static_cast<int16_t>(y * 100 - x),
                   static_cast<int16_t>(frame * 1000 + x + y)};
}

// A pass that shows six values: the left half of the frame (c0, c1, c2) =
// r0 × c20, the right half r1 × c21. `load` fills r0 and r1 from c0..c5.
std::string TwoHalvesPass(const std::string& load, const std::string& bind) {
  return Pass("P0",
              "      def c11, -0.5, 0, 0, 0\n"
              "      dcl t0.xy\n" +
                  load +
                  "      mov r2, c20\n"
                  "      mul r0, r0, r2\n"
                  "      mov r2, c21\n"
                  "      mul r1, r1, r2\n"
                  "      add r5.x, t0.x, c11.x\n"
                  "      cmp r0, r5.x, r1, r0\n"
                  "      mov oC0, r0",
              bind);
}

// Loads six scalar parameters bound at c0..c5 into r0.xyz and r1.xyz.
const char* kLoadSix =
    "      mov r0, c0\n"
    "      mov r2, c1\n"
    "      mov r0.y, r2.x\n"
    "      mov r2, c2\n"
    "      mov r0.z, r2.x\n"
    "      mov r1, c3\n"
    "      mov r2, c4\n"
    "      mov r1.y, r2.x\n"
    "      mov r2, c5\n"
    "      mov r1.z, r2.x\n";

// Scales: integers come back as host units (× 1/4096); floats unscaled.
std::string Scales(const std::string& left, const std::string& right) {
  return "float4 Left = {" + left + ", 0};\nfloat4 Right = {" + right + ", 0};\n";
}

class ParameterBindingTest : public ::testing::Test {
 protected:
  void SetUp() override { RequireDirect3D("plugin_pixels_test"); }

  // Each frame shows `left` in its left half and `right` in its right half.
  void ExpectHalves(Host& host, int frame, const HostPixel& left, const HostPixel& right) {
    EXPECT_FRAME(host, frame, [&](int x, int) { return x < kWidth / 2 ? left : right; });
  }
};

int16_t Normalised(int value, int divisor) {
  float quotient = static_cast<float>(static_cast<double>(value) / divisor);
  return Saturate(static_cast<long long>(std::nearbyint(quotient * 4096.0f)));
}

int16_t OddWithZero(int v) {
  return static_cast<int16_t>(v > 0 ? 2 * v - 1 : v < 0 ? 2 * v + 1 : 0);
}

TEST_F(ParameterBindingTest, TrackValuesByUsage) {
  const std::string unit = "0.000244140625";
  const std::string effect =
      FilterVersion("Tracks") +
      "int Track0 < string name = \"plain\"; int min = -50; int max = 50; >;\n"
      "float Track1 < string name = \"normalize\"; int min = -100; int max = 60; "
      "string usage = \"normalize\"; >;\n"
      "int Track2 < string name = \"even\"; string usage = \"even\"; >;\n"
      "int Track3 < string name = \"odd\"; string usage = \"odd\"; >;\n"
      "int Track4 < string name = \"odd0\"; string usage = \"odd0\"; >;\n"
      "int Track5 < string name = \"Normalize\"; string usage = \"Normalize\"; >;\n" +
      Scales(unit + ", 1, " + unit, unit + ", " + unit + ", " + unit) +
      "technique ProcessImage0 {\n" +
      TwoHalvesPass(kLoadSix,
                    "c0 = Track0; c1 = Track1; c2 = Track2; c3 = Track3; c4 = Track4; "
                    "c5 = Track5; c20 = Left; c21 = Right;") +
      "}\n";
  auto plugin = StartPlugin(effect);
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  host.SetClip(MakeClip(kWidth, kHeight, 10, Input), kWidth, kHeight);
  const int values[][6] = {{0, 0, 0, 0, 0, 0},
                           {7, 25, 3, 3, 2, 9},
                           {-3, -100, -4, -2, -2, -9},
                           {50, 33, 100, -1, -1, 1},
                           {-50, 60, 1, 0, 1, 0}};
  int frame = 0;
  for (const auto& v : values) {
    SCOPED_TRACE("values " + std::to_string(v[0]) + ", " + std::to_string(v[1]) + ", " +
                 std::to_string(v[2]) + ", " + std::to_string(v[3]) + ", " + std::to_string(v[4]) +
                 ", " + std::to_string(v[5]));
    for (size_t i = 0; i < 6; ++i) host.SetTrack(i, v[i]);
    ASSERT_EQ(1, host.Update());
    // normalize divides by the larger of |min| and |max|: 100.
    ExpectHalves(host, frame++,
                 HostPixel{static_cast<int16_t>(v[0]), Normalised(v[1], 100),
                           static_cast<int16_t>(2 * v[2])},
                 HostPixel{static_cast<int16_t>(2 * v[3] + 1), OddWithZero(v[4]),
                           static_cast<int16_t>(v[5])});
  }
}

TEST_F(ParameterBindingTest, CheckValuesByUsage) {
  const std::string unit = "0.000244140625";
  const std::string effect =
      FilterVersion("Checks") +
      "bool Check0 < string name = \"plain\"; >;\n"
      "int Check1 < string name = \"odd\"; string usage = \"odd\"; >;\n"
      "float Check2 < string name = \"normalize\"; string usage = \"normalize\"; >;\n"
      "int Check3 < string name = \"odd0\"; string usage = \"odd0\"; >;\n"
      "float Check4 < string name = \"even\"; string usage = \"even\"; >;\n"
      "bool Check5 < string name = \"Odd\"; string usage = \"Odd\"; >;\n" +
      Scales(unit + ", " + unit + ", 0.5", unit + ", 0.25, " + unit) +
      "technique ProcessImage0 {\n" +
      TwoHalvesPass(kLoadSix,
                    "c0 = Check0; c1 = Check1; c2 = Check2; c3 = Check3; c4 = Check4; "
                    "c5 = Check5; c20 = Left; c21 = Right;") +
      "}\n";
  auto plugin = StartPlugin(effect);
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  host.SetClip(MakeClip(kWidth, kHeight, 10, Input), kWidth, kHeight);
  int frame = 0;
  for (int on : {0, 1, 0}) {
    SCOPED_TRACE(on ? "all on" : "all off");
    for (size_t i = 0; i < 6; ++i) host.SetCheck(i, on);
    ASSERT_EQ(1, host.Update());
    // odd and odd0: -1 or 1; normalize and even: 0.0 or 1.0 (shown × 0.5 and
    // × 0.25 of 4096); plain: false or true as 0 or 1.
    const int16_t odd = static_cast<int16_t>(on ? 1 : -1);
    ExpectHalves(host, frame++,
                 HostPixel{static_cast<int16_t>(on), odd, static_cast<int16_t>(on ? 2048 : 0)},
                 HostPixel{odd, static_cast<int16_t>(on ? 1024 : 0), static_cast<int16_t>(on)});
  }
}

// PixelKernel0 entries (dx, dy, z, w) in pixels become texture-coordinate
// offsets for the frame's size: c0 is read one pixel to the right, c1 two
// pixels up (clamped at the edges), c2 shows z of entry 0 (0.25 = 1024).
TEST_F(ParameterBindingTest, KernelsFollowTheFrameSize) {
  const std::string effect = FilterVersion("Kernel") +
                             "float4 PixelKernel0[2] = { {1, 0, 0.25, 0}, {0, -2, 0, 0} };\n"
                             "float4 TexelKernel0[2];\n"
                             "texture TxSrc0 < int frame_offset = 0; >;\n" +
                             PointSampler("Source0", "TxSrc0") + "technique ProcessImage0 {\n" +
                             Pass("P0",
                                  "      dcl t0.xy\n"
                                  "      dcl_2d s0\n"
                                  "      mov r4, c1\n"
                                  "      add r0.xy, t0, r4\n"
                                  "      mov r4, c2\n"
                                  "      add r1.xy, t0, r4\n"
                                  "      texld r0, r0, s0\n"
                                  "      texld r1, r1, s0\n"
                                  "      mov r0.y, r1.y\n"
                                  "      mov r4, c1\n"
                                  "      mov r0.z, r4.z\n"
                                  "      mov oC0, r0",
                                  "c1-c2 = TexelKernel0; s0 = Source0;") +
                             "}\n";
  auto plugin = StartPlugin(effect);
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  // Two sizes within the same maximum, and back: the offsets follow.
  const int sizes[][2] = {{37, 23}, {20, 30}, {37, 23}};
  int frame = 0;
  for (const auto& size : sizes) {
    const int w = size[0], h = size[1];
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    host.SetClip(MakeClip(w, h, 10, Input), 40, 32);
    for (int i = 0; i < 2; ++i, ++frame) {
      EXPECT_FRAME(host, frame, [&](int x, int y) {
        return HostPixel{Input(frame, x + 1 < w ? x + 1 : w - 1, y).c0,
                         Input(frame, x, y >= 2 ? y - 2 : 0).c1, 1024};
      });
    }
  }
}

// Left half: Frame, FrameNum, SrcSize.x; right half: SrcSize.y, PixScale.x,
// PixScale.y (F32: 4096 and 0).
TEST_F(ParameterBindingTest, FrameFrameNumSrcSizeAndPixScale) {
  const std::string unit = "0.000244140625";
  const std::string effect =
      FilterVersion("Info") + "int Frame;\nint FrameNum;\nfloat4 SrcSize;\nfloat4 PixScale;\n" +
      Scales(unit + ", " + unit + ", " + unit, unit + ", " + unit + ", " + unit) +
      "technique ProcessImage0 {\n" +
      TwoHalvesPass(
          "      mov r0, c0\n"
          "      mov r2, c1\n"
          "      mov r0.y, r2.x\n"
          "      mov r2, c2\n"
          "      mov r0.z, r2.x\n"
          "      mov r1, c2\n"
          "      mov r1.x, r1.y\n"
          "      mov r2, c3\n"
          "      mov r1.yz, r2.xxyy\n",
          "c0 = Frame; c1 = FrameNum; c2 = SrcSize; c3 = PixScale; c20 = Left; c21 = Right;") +
      "}\n";
  auto plugin = StartPlugin(effect);
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  host.SetClip(MakeClip(kWidth, kHeight, 50, Input), 32, 16);
  for (int frame : {0, 7, 49}) {
    ExpectHalves(host, frame, HostPixel{static_cast<int16_t>(frame), 50, kWidth},
                 HostPixel{kHeight, 4096, 0});
  }
  host.SetClip(MakeClip(kWidth - 2, kHeight + 3, 120, Input), 32, 16);
  EXPECT_FRAME(host, 100, [](int x, int) {
    return x < (kWidth - 2) / 2 ? HostPixel{100, 120, kWidth - 2} : HostPixel{kHeight + 3, 4096, 0};
  });
}

// A shader that works in host units: host = texel × PixScale.x + PixScale.y,
// adds 100, and writes (host - PixScale.y) / PixScale.x. Every format gives
// input + 100 back, except U16, which holds negative host values as their
// unsigned bit patterns: -100 .. -1 overflow 65535 and saturate there (-1).
struct ScaleCase {
  const char* word;
  bool unsigned_bits;
};

class PixScaleTest : public ::testing::TestWithParam<ScaleCase> {
 protected:
  void SetUp() override { RequireDirect3D("plugin_pixels_test"); }
};

int16_t Plus100(int16_t v, bool unsigned_bits) {
  if (unsigned_bits && v >= -100 && v < 0) return -1;
  return static_cast<int16_t>(v + 100);
}

TEST_P(PixScaleTest, HostUnitsThroughPixScale) {
  const ScaleCase& format = GetParam();
  const std::string effect =
      FilterVersion("Plus100", std::string("string img_format = \"") + format.word + "\";") +
      "float4 PixScale;\ntexture TxSrc0 < int frame_offset = 0; >;\n" +
      PointSampler("Source0", "TxSrc0") + "technique ProcessImage0 {\n" +
      Pass("P0",
           "      def c10, 100, 0, 0, 0\n"
           "      dcl t0.xy\n"
           "      dcl_2d s0\n"
           "      texld r0, t0, s0\n"
           "      mov r4, c1\n"
           "      mad r1, r0, r4.x, r4.y\n"
           "      add r1, r1, c10.x\n"
           "      add r1, r1, -r4.y\n"
           "      rcp r2.x, r4.x\n"
           "      mul r1, r1, r2.x\n"
           "      mov oC0, r1",
           "c1 = PixScale; s0 = Source0;") +
      "}\n";
  auto plugin = StartPlugin(effect);
  ASSERT_TRUE(plugin);
  // Values -1900 .. 1900, so that F16 holds input and output exactly.
  auto input = [](int frame, int x, int y) {
    return HostPixel{static_cast<int16_t>((x * 61 + y * 17 + frame) % 3801 - 1900),
                     static_cast<int16_t>(x - 110 + y), static_cast<int16_t>(-x * 29 + y)};
  };
  Host& host = plugin->host();
  host.SetClip(MakeClip(64, 40, 2, input), 64, 40);
  EXPECT_FRAME(host, 1, [&](int x, int y) {
    HostPixel p = input(1, x, y);
    return HostPixel{Plus100(p.c0, format.unsigned_bits), Plus100(p.c1, format.unsigned_bits),
                     Plus100(p.c2, format.unsigned_bits)};
  });
}

INSTANTIATE_TEST_SUITE_P(Formats, PixScaleTest,
                         ::testing::Values(ScaleCase{"F32", false}, ScaleCase{"F16", false},
                                           ScaleCase{"U16", true}, ScaleCase{"B16", false},
                                           ScaleCase{"S16", false}),
                         [](const ::testing::TestParamInfo<ScaleCase>& info) {
                           return std::string(info.param.word);
                         });

}  // namespace
}  // namespace plugin_e2e
