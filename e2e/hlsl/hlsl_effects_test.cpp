// HLSL effects compiled on Linux by texloom-fxo (vkd3d for the shaders,
// tools/fx2 for the container) and run through the real plug-in under Wine:
// the effect loads, lists its controls and draws the pixels its source
// states. The effects run in F32, where a host value v is v / 4096 on the
// GPU. Pixels are exact wherever binary32 holds the arithmetic exactly; only
// the colour matrices (1.402, 0.344136286... have no binary32 value, and the
// order of the GPU's multiply-adds is the compiler's) get one host unit.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "e2e/plugin/plugin_test_support.h"

namespace plugin_e2e {
namespace {

class HlslEffectTest : public ::testing::Test {
 protected:
  void SetUp() override { RequireDirect3D("hlsl_effects_test"); }
};

// A width of a power of two keeps TexelKernel0 (pixels / width) exact.
const int kWidth = 32, kHeight = 16, kFrames = 5;

// Even Y and Cr, so that the mean of two neighbours is a whole host unit and
// no result depends on how the read-back breaks ties.
HostPixel Ramp(int frame, int x, int y) {
  return HostPixel{static_cast<int16_t>(500 + x * x * 14 + y * 30 + frame * 2),
                   static_cast<int16_t>(-700 + x * 11 - y * 5),
                   static_cast<int16_t>(300 - x * 26 + y * y * 2)};
}

// Every component within `tolerance` host units of `expected`.
void ExpectNear(Host& host, int frame, int tolerance,
                const std::function<HostPixel(int, int)>& expected) {
  ASSERT_EQ(1, host.Process(frame)) << Describe(texloom_host::MessageRecorder::Instance().Take());
  int reported = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const HostPixel got = host.output().At(x, y), want = expected(x, y);
      const int difference = std::max({std::abs(got.c0 - want.c0), std::abs(got.c1 - want.c1),
                                       std::abs(got.c2 - want.c2)});
      if (difference > tolerance && ++reported <= 5) {
        ADD_FAILURE() << "frame " << frame << ", pixel (" << x << ", " << y << "): got "
                      << PixelText(got) << ", expected " << PixelText(want);
      }
    }
  }
}

TEST_F(HlslEffectTest, FeaturesListTheirControlsAndDrawTheirArithmetic) {
  auto plugin = StartCompiledPlugin(CompiledHlslEffect("hlsl_effects_test", "features.fxo"));
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  // UTF-8 in the source, Shift-JIS in the table.
  EXPECT_EQ("HLSL\x8b\x40\x94\x5c", host.table().title);
  ASSERT_EQ(1u, host.table().tracks.size());
  EXPECT_EQ("Offset", host.table().tracks[0].name);
  EXPECT_EQ(100, host.table().tracks[0].default_value);
  EXPECT_EQ(-1000, host.table().tracks[0].minimum);
  ASSERT_EQ(1u, host.table().checks.size());
  EXPECT_EQ("Negate", host.table().checks[0].name);

  host.SetClip(MakeClip(kWidth, kHeight, kFrames, Ramp), kWidth, kHeight);
  for (int offset : {100, -250}) {
    for (int negate : {0, 1}) {
      SCOPED_TRACE("offset " + std::to_string(offset) + ", negate " + std::to_string(negate));
      host.SetTrack(0, offset);
      host.SetCheck(0, negate);
      host.Update();
      const int frame = (offset > 0 ? 1 : 3) + negate;
      ExpectNear(host, frame, 0, [&](int x, int y) {
        auto at = [&](int px) { return Ramp(frame, std::min(std::max(px, 0), kWidth - 1), y); };
        const int mean_y = (at(x - 1).c0 + at(x + 1).c0) / 2;
        const int mean_cr = (at(x - 1).c2 + at(x + 1).c2) / 2;
        const int luma = mean_y + offset + frame + 8;  // 8: the TEXLOOM_VER mark
        return HostPixel{Saturate(negate ? -luma : luma), Saturate(Ramp(frame, x, y).c1 + 23),
                         Saturate(mean_cr + kFrames)};
      });
    }
  }
}

// ---- texloom.fxh -------------------------------------------------------------

HostPixel Colours(int frame, int x, int y) {
  return HostPixel{static_cast<int16_t>(600 + x * 110 + y * 17 + frame),
                   static_cast<int16_t>(-800 + x * 60 - y * 9),
                   static_cast<int16_t>(700 - x * 55 + y * 13)};
}

// The include's colour conversion done on the CPU (BT.601, full range).
void Rgb(const HostPixel& p, double rgb[3]) {
  const double y = p.c0 / 4096.0, cb = p.c1 / 4096.0, cr = p.c2 / 4096.0;
  rgb[0] = y + 1.402 * cr;
  rgb[1] = y - 0.344136286 * cb - 0.714136286 * cr;
  rgb[2] = y + 1.772 * cb;
}

HostPixel HostFromRgb(const double rgb[3]) {
  const double y = 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2];
  return HostPixel{Saturate(std::llround(y * 4096)),
                   Saturate(std::llround((rgb[2] - y) / 1.772 * 4096)),
                   Saturate(std::llround((rgb[0] - y) / 1.402 * 4096))};
}

TEST_F(HlslEffectTest, IncludeHelpersMatchTheCpuInEachImageFormat) {
  struct Format {
    const char* effect;
    unsigned d3d_format;
  };
  // F32: host value / 4096; B16 (A16B16G16R16): (host value + 32768) / 65535.
  for (const Format& format : {Format{"include_check.fxo", 116u}, Format{"include_check_b16.fxo", 36u}}) {
    SCOPED_TRACE(format.effect);
    if (!DeviceSupportsFrameFormat(format.d3d_format)) {
      ADD_FAILURE() << "the device has no texture format " << format.d3d_format;
      continue;
    }
    auto plugin = StartCompiledPlugin(CompiledHlslEffect("hlsl_effects_test", format.effect));
    ASSERT_TRUE(plugin);
    Host& host = plugin->host();
    host.SetClip(MakeClip(kWidth, kHeight, kFrames, Colours), kWidth, kHeight);
    for (int shift : {0, 3}) {
      for (int round_trip : {0, 1}) {
        SCOPED_TRACE("shift " + std::to_string(shift) + ", round trip " + std::to_string(round_trip));
        host.SetTrack(0, shift);
        host.SetCheck(0, round_trip);
        host.Update();
        const int frame = shift + round_trip;
        // A round trip gives back whole host units (its float error is far
        // below half a unit), so it is exact; R'G'B' × 1000 is not.
        ExpectNear(host, frame, round_trip ? 0 : 1, [&](int x, int y) {
          double rgb[3];
          Rgb(Colours(frame, std::min(x + shift, kWidth - 1), y), rgb);
          if (round_trip) return HostFromRgb(rgb);
          return HostPixel{Saturate(std::llround(rgb[0] * 1000)),
                           Saturate(std::llround(rgb[1] * 1000)),
                           Saturate(std::llround(rgb[2] * 1000))};
        });
      }
    }
  }
}

// ---- the users' guides ----------------------------------------------------------

// The guides' complete example draws what its text says: Brightness adds
// track / 100 × 1024 to Y, Invert gives 4096 − Y, −Cb, −Cr; all of it exact
// in binary32.
void CheckCompleteExample(Host& host) {
  ASSERT_EQ(1u, host.table().tracks.size());
  ASSERT_EQ(1u, host.table().checks.size());
  for (int brightness : {0, 50, -25}) {
    for (int invert : {0, 1}) {
      SCOPED_TRACE("brightness " + std::to_string(brightness) + ", invert " + std::to_string(invert));
      host.SetTrack(0, brightness);
      host.SetCheck(0, invert);
      host.Update();
      const int frame = 2;
      ExpectNear(host, frame, 0, [&](int x, int y) {
        const HostPixel in = Colours(frame, x, y);
        const int luma = in.c0 + brightness * 1024 / 100;
        if (!invert) return HostPixel{Saturate(luma), in.c1, in.c2};
        return HostPixel{Saturate(4096 - luma), Saturate(-in.c1), Saturate(-in.c2)};
      });
    }
  }
}

// Every HLSL example of the guides (compiled into docs/ by
// compile_test_effects.sh, fragments made whole by their hidden text) loads,
// starts without a message and processes frames; the complete example also
// draws its pixels. A guide without examples would leave the folder empty.
TEST_F(HlslEffectTest, EveryGuideExampleRunsThroughThePlugin) {
  std::vector<std::string> examples;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((HlslEffectsFolder() + "/docs/*.fxo").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do examples.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
  }
  ASSERT_GE(examples.size(), 2u) << "no guide examples in " << HlslEffectsFolder() << "/docs";
  for (const std::string& example : examples) {
    SCOPED_TRACE(example);
    auto plugin = StartCompiledPlugin(CompiledHlslEffect("hlsl_effects_test", "docs/" + example));
    ASSERT_TRUE(plugin);
    Host& host = plugin->host();
    EXPECT_NE(texloom_host::ErrorTitleShiftJis(), host.table().title);
    host.SetClip(MakeClip(kWidth, kHeight, kFrames, Colours), kWidth, kHeight);
    for (int frame : {0, kFrames - 1}) {
      EXPECT_EQ(1, host.Process(frame)) << Describe(plugin->TakeMessages());
    }
    const std::vector<RecordedMessage> messages = plugin->TakeMessages();
    EXPECT_TRUE(messages.empty()) << Describe(messages);
    if (host.table().title == "Brightness/Invert") CheckCompleteExample(host);
  }
}

}  // namespace
}  // namespace plugin_e2e
