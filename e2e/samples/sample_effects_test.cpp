// The sample effects that ship in effects/, run through the real plug-in
// under Wine: each one compiled from its HLSL by texloom-fxo on Linux,
// its output compared with the arithmetic its source states, worked out
// here in double precision, and shown to do its job (less noise, more
// detail, a wider spread). The effects run in F32, where a host value v is
// v / 4096 on the GPU. Where binary32 holds the arithmetic exactly (the
// looks, a pass-through) pixels must be exact; the rest divides by 3, 9 or
// 100, weighs by closeness or goes through the colour matrices, which have
// no exact binary32 result, so a result near half a unit can round either
// way: one host unit of tolerance there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/plugin/plugin_test_support.h"

namespace plugin_e2e {
namespace {

// A sample effect of effects/ as texloom-fxo compiled it from its HLSL.
std::vector<uint8_t> SampleEffect(const char* name) {
  return CompiledHlslEffect("sample_effects_test", name);
}

// A deterministic noise value in [-amplitude, amplitude], different for every
// frame, position and channel.
int Noise(int frame, int x, int y, int channel, int amplitude) {
  uint32_t h = static_cast<uint32_t>(frame) * 0x9E3779B1u ^ static_cast<uint32_t>(x) * 0x85EBCA77u ^
               static_cast<uint32_t>(y) * 0xC2B2AE3Du ^
               static_cast<uint32_t>(channel) * 0x27D4EB2Fu;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return static_cast<int>(h % static_cast<uint32_t>(2 * amplitude + 1)) - amplitude;
}

int Component(const HostPixel& p, int channel) {
  return channel == 0 ? p.c0 : channel == 1 ? p.c1 : p.c2;
}

using Expected = std::function<double(int x, int y, int channel)>;

struct Comparison {
  int worst = 0;           // largest |output - expected| in host units
  double noise_power = 0;  // mean squared difference of the output's Y from `reference`
};

// Processes `frame`, compares every component with `expected` (at most
// `tolerance` host units apart) and measures the output's Y against
// `reference`.
Comparison ProcessAndCompare(Host& host, int frame, int tolerance, const Expected& expected,
                             const std::function<int(int x, int y)>& reference = nullptr) {
  Comparison result;
  texloom_host::Clip* clip = host.frames().clip();
  EXPECT_EQ(1, host.Process(frame))
      << "frame " << frame << ": " << Describe(texloom_host::MessageRecorder::Instance().Take());
  EXPECT_EQ("", host.output().CheckOutside(clip->width(), clip->height()));
  int reported = 0;
  double power = 0;
  for (int y = 0; y < clip->height(); ++y) {
    for (int x = 0; x < clip->width(); ++x) {
      const HostPixel got = host.output().At(x, y);
      for (int channel = 0; channel < 3; ++channel) {
        const double want = expected(x, y, channel);
        const int difference =
            static_cast<int>(std::lround(std::fabs(Component(got, channel) - want)));
        result.worst = std::max(result.worst, difference);
        if (difference > tolerance && ++reported <= 5) {
          ADD_FAILURE() << "frame " << frame << ", pixel (" << x << ", " << y << "), channel "
                        << channel << ": got " << Component(got, channel) << ", expected " << want;
        }
      }
      if (reference) {
        const double d = got.c0 - reference(x, y);
        power += d * d;
      }
    }
  }
  result.noise_power = power / (clip->width() * clip->height());
  return result;
}

class SampleEffectTest : public ::testing::Test {
 protected:
  void SetUp() override { RequireDirect3D("sample_effects_test"); }
};

// ---- denoise3.fx ------------------------------------------------------------

// A still picture with fresh noise in every frame, and a block that jumps by
// far more than the threshold in frame 3 (motion the filter must not smear).
const int kWidth = 48, kHeight = 32, kFrames = 6, kNoise = 120;

int StillY(int x, int y) { return 600 + x * 40 + y * 25; }

HostPixel NoisyFrame(int frame, int x, int y) {
  const bool moved = frame >= 3 && x >= 10 && x < 20 && y >= 8 && y < 16;
  const int base_y = StillY(x, y) + (moved ? 2000 : 0);
  return HostPixel{static_cast<int16_t>(base_y + Noise(frame, x, y, 0, kNoise)),
                   static_cast<int16_t>(-300 + x * 10 + Noise(frame, x, y, 1, kNoise)),
                   static_cast<int16_t>(200 - y * 12 + Noise(frame, x, y, 2, kNoise))};
}

double DenoisedComponent(int frame, int x, int y, int channel, int threshold) {
  auto at = [&](int f) {
    f = std::min(std::max(f, 0), kFrames - 1);  // the host serves the clip's ends
    return Component(NoisyFrame(f, x, y), channel) / 4096.0;
  };
  const double p = at(frame - 1), c = at(frame), n = at(frame + 1);
  const double limit = std::max(threshold / 4096.0, 0.000001);
  auto weight = [&](double v) {
    return std::min(std::max(1 - std::fabs(v - c) / limit, 0.0), 1.0);
  };
  const double wp = weight(p), wn = weight(n);
  return (c + wp * p + wn * n) / (1 + wp + wn) * 4096.0;
}

TEST_F(SampleEffectTest, DenoiseBlendsNeighboursByCloseness) {
  auto plugin = StartCompiledPlugin(SampleEffect("denoise3.fxo"));
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  ASSERT_EQ(1u, host.table().tracks.size());
  const int threshold = host.table().tracks[0].default_value;
  EXPECT_EQ(300, threshold);
  host.SetClip(MakeClip(kWidth, kHeight, kFrames, NoisyFrame), kWidth, kHeight);

  double noise_in = 0, noise_out = 0;
  for (int frame = 0; frame < kFrames; ++frame) {
    SCOPED_TRACE("frame " + std::to_string(frame));
    Comparison c = ProcessAndCompare(
        host, frame, 1,
        [&](int x, int y, int ch) { return DenoisedComponent(frame, x, y, ch, threshold); },
        [&](int x, int y) { return NoisyFrame(frame, x, y).c0 - Noise(frame, x, y, 0, kNoise); });
    // Around the jump (frames 2 and 3) the block keeps its own frame's
    // picture: the frame across the jump differs by 2000, far beyond the
    // threshold, and gets no weight, so no ghost of it shows.
    if (frame == 2 || frame == 3) {
      for (int y = 8; y < 16; ++y) {
        for (int x = 10; x < 20; ++x) {
          const int base = StillY(x, y) + (frame == 3 ? 2000 : 0);
          ASSERT_NEAR(base, host.output().At(x, y).c0, kNoise)
              << "pixel (" << x << ", " << y << ")";
        }
      }
    }
    if (frame >= 1 && frame <= 4) noise_out += c.noise_power;
  }
  for (int frame = 1; frame <= 4; ++frame) {
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const double d = Noise(frame, x, y, 0, kNoise);
        noise_in += d * d / (kWidth * kHeight);
      }
    }
  }
  // Three frames of independent noise averaged where nothing moved: the
  // noise power falls well below the input's.
  EXPECT_LT(noise_out, 0.6 * noise_in) << "noise power in " << noise_in << ", out " << noise_out;
}

TEST_F(SampleEffectTest, DenoiseWithThresholdZeroPassesTheFrameThrough) {
  auto plugin = StartCompiledPlugin(SampleEffect("denoise3.fxo"));
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  host.SetTrack(0, 0);
  host.Update();
  host.SetClip(MakeClip(kWidth, kHeight, kFrames, NoisyFrame), kWidth, kHeight);
  for (int frame : {0, 2, 5}) {
    EXPECT_FRAME(host, frame, [&](int x, int y) { return NoisyFrame(frame, x, y); });
  }
}

// ---- sharpen.fx -------------------------------------------------------------

HostPixel EdgeFrame(int frame, int x, int y) {
  const int luma = (x < 20 ? 1000 : 3000) + (y >= 12 && y < 14 ? 500 : 0) + frame * 3;
  return HostPixel{static_cast<int16_t>(luma), static_cast<int16_t>(x * 17 - 400),
                   static_cast<int16_t>(300 - y * 9)};
}

double SharpenedComponent(int frame, int x, int y, int channel, int amount_percent) {
  const HostPixel centre = EdgeFrame(frame, x, y);
  if (channel != 0) return Component(centre, channel);
  auto at = [&](int px, int py) {
    px = std::min(std::max(px, 0), kWidth - 1);  // the sampler clamps
    py = std::min(std::max(py, 0), kHeight - 1);
    return static_cast<double>(EdgeFrame(frame, px, py).c0);
  };
  const double mean = (at(x + 1, y) + at(x - 1, y) + at(x, y + 1) + at(x, y - 1)) / 4;
  return centre.c0 + (centre.c0 - mean) * amount_percent / 100.0;
}

TEST_F(SampleEffectTest, SharpenAddsTheLumaDetailScaledByTheAmount) {
  auto plugin = StartCompiledPlugin(SampleEffect("sharpen.fxo"));
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  ASSERT_EQ(1u, host.table().tracks.size());
  host.SetClip(MakeClip(kWidth, kHeight, kFrames, EdgeFrame), kWidth, kHeight);
  for (int amount : {host.table().tracks[0].default_value, 400, 0}) {
    SCOPED_TRACE("amount " + std::to_string(amount));
    host.SetTrack(0, amount);
    host.Update();
    for (int frame : {0, 1, 4}) {
      ProcessAndCompare(host, frame, 1, [&](int x, int y, int ch) {
        return SharpenedComponent(frame, x, y, ch, amount);
      });
    }
    // The edge gains an overshoot on both sides unless the amount is 0.
    const HostPixel dark = host.output().At(19, 4), bright = host.output().At(20, 4);
    if (amount > 0) {
      EXPECT_LT(dark.c0, EdgeFrame(4, 19, 4).c0);
      EXPECT_GT(bright.c0, EdgeFrame(4, 20, 4).c0);
    } else {
      EXPECT_EQ(EdgeFrame(4, 19, 4).c0, dark.c0);
    }
  }
}

// ---- blur.fx ----------------------------------------------------------------

HostPixel DotsFrame(int frame, int x, int y) {
  const bool dot = (x == 12 && y == 10) || (x == 40 && y == 25) || (x == 0 && y == 0);
  return HostPixel{static_cast<int16_t>(dot ? 4000 : 100 + frame),
                   static_cast<int16_t>(dot ? -2000 : x * 5), static_cast<int16_t>(y * 7 - 100)};
}

// The box of the source: taps 1..6 on both sides, each weighted
// clamp(radius - (k - 1), 0, 1); a horizontal pass, then a vertical one over
// its result, both with clamped addressing.
std::vector<double> BlurredPlane(int frame, int channel, int radius) {
  auto weight = [&](int k) { return std::min(std::max(radius - (k - 1), 0), 1); };
  auto pass = [&](const std::vector<double>& in, int dx, int dy) {
    std::vector<double> out(in.size());
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        double sum = in[y * kWidth + x], total = 1;
        for (int k = 1; k <= 6; ++k) {
          for (int side : {-1, 1}) {
            const int px = std::min(std::max(x + side * k * dx, 0), kWidth - 1);
            const int py = std::min(std::max(y + side * k * dy, 0), kHeight - 1);
            sum += weight(k) * in[py * kWidth + px];
          }
          total += 2 * weight(k);
        }
        out[y * kWidth + x] = sum / total;
      }
    }
    return out;
  };
  std::vector<double> plane(kWidth * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x)
      plane[y * kWidth + x] = Component(DotsFrame(frame, x, y), channel);
  }
  return pass(pass(plane, 1, 0), 0, 1);
}

TEST_F(SampleEffectTest, BlurSpreadsEachPixelOverTheRadiusInTwoPasses) {
  auto plugin = StartCompiledPlugin(SampleEffect("blur.fxo"));
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  ASSERT_EQ(1u, host.table().tracks.size());
  host.SetClip(MakeClip(kWidth, kHeight, kFrames, DotsFrame), kWidth, kHeight);
  for (int radius : {host.table().tracks[0].default_value, 1, 6}) {
    SCOPED_TRACE("radius " + std::to_string(radius));
    host.SetTrack(0, radius);
    host.Update();
    const int frame = radius % kFrames;
    std::vector<double> planes[3];
    for (int ch = 0; ch < 3; ++ch) planes[ch] = BlurredPlane(frame, ch, radius);
    ProcessAndCompare(host, frame, 1,
                      [&](int x, int y, int ch) { return planes[ch][y * kWidth + x]; });
    // The dot at (12, 10) now covers a (2r + 1)² square, evenly.
    const double share = (4000.0 - (100 + frame)) / ((2 * radius + 1) * (2 * radius + 1));
    EXPECT_NEAR(100 + frame + share, host.output().At(12 + radius, 10 - radius).c0, 1);
    EXPECT_NEAR(100 + frame, host.output().At(12 + radius + 1, 10).c0, 1);
  }
  // Radius 0 gives the frame back unchanged.
  host.SetTrack(0, 0);
  host.Update();
  EXPECT_FRAME(host, 2, [&](int x, int y) { return DotsFrame(2, x, y); });
}

// ---- grade.fx ----------------------------------------------------------------

HostPixel ColourFrame(int frame, int x, int y) {
  return HostPixel{static_cast<int16_t>(700 + x * 50 + y * 20 + frame),
                   static_cast<int16_t>(-600 + x * 25), static_cast<int16_t>(500 - y * 30)};
}

// The grade of grade.fx on the CPU, in the same BT.601 full-range RGB.
HostPixel Graded(const HostPixel& p, int saturation, int brightness, bool warm) {
  const double y = p.c0 / 4096.0, cb = p.c1 / 4096.0, cr = p.c2 / 4096.0;
  double rgb[3] = {y + 1.402 * cr, y - 0.344136286 * cb - 0.714136286 * cr, y + 1.772 * cb};
  const double grey = 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2];
  const double warmth = warm ? 0.05 : 0;
  for (int i = 0; i < 3; ++i) {
    rgb[i] = grey + (rgb[i] - grey) * (1 + saturation / 100.0) + brightness / 4096.0;
  }
  rgb[0] *= 1 + warmth;
  rgb[2] *= 1 - warmth;
  const double out_y = 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2];
  return HostPixel{Saturate(std::llround(out_y * 4096)),
                   Saturate(std::llround((rgb[2] - out_y) / 1.772 * 4096)),
                   Saturate(std::llround((rgb[0] - out_y) / 1.402 * 4096))};
}

TEST_F(SampleEffectTest, GradeWorksInRgbThroughTheInclude) {
  auto plugin = StartCompiledPlugin(SampleEffect("grade.fxo"));
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  ASSERT_EQ(2u, host.table().tracks.size());
  ASSERT_EQ(1u, host.table().checks.size());
  host.SetClip(MakeClip(kWidth, kHeight, kFrames, ColourFrame), kWidth, kHeight);
  struct Setting {
    int saturation, brightness, warm;
  };
  for (const Setting& g : {Setting{0, 0, 0}, Setting{-100, 0, 0}, Setting{60, -200, 1},
                           Setting{-40, 300, 0}}) {
    SCOPED_TRACE("saturation " + std::to_string(g.saturation) + ", brightness " +
                 std::to_string(g.brightness) + ", warm " + std::to_string(g.warm));
    host.SetTrack(0, g.saturation);
    host.SetTrack(1, g.brightness);
    host.SetCheck(0, g.warm);
    host.Update();
    const int frame = (g.saturation + 100) % kFrames;
    ProcessAndCompare(host, frame, 1, [&](int x, int y, int ch) {
      return static_cast<double>(
          Component(Graded(ColourFrame(frame, x, y), g.saturation, g.brightness, g.warm), ch));
    });
    if (g.saturation == -100) {  // no colour left
      EXPECT_NEAR(0, host.output().At(30, 20).c1, 1);
      EXPECT_NEAR(0, host.output().At(30, 20).c2, 1);
    }
  }
}

// ---- detail.fx ---------------------------------------------------------------

TEST_F(SampleEffectTest, DetailSplitsIntoTwoTargetsInOnePassAndScalesTheDetail) {
  auto plugin = StartCompiledPlugin(SampleEffect("detail.fxo"));
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  host.SetClip(MakeClip(kWidth, kHeight, kFrames, EdgeFrame), kWidth, kHeight);
  for (int percent : {100, 200, 0}) {
    SCOPED_TRACE("detail " + std::to_string(percent) + " %");
    host.SetTrack(0, percent);
    host.Update();
    const int frame = percent / 100;
    ProcessAndCompare(host, frame, 1, [&](int x, int y, int ch) {
      double sum = 0;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          const int px = std::min(std::max(x + dx, 0), kWidth - 1);
          const int py = std::min(std::max(y + dy, 0), kHeight - 1);
          sum += Component(EdgeFrame(frame, px, py), ch);
        }
      }
      const double base = sum / 9;
      return base + (Component(EdgeFrame(frame, x, y), ch) - base) * percent / 100.0;
    });
    // More detail: the step at x = 20 grows; none: it is smoothed.
    const int step = host.output().At(20, 4).c0 - host.output().At(19, 4).c0;
    const int original = EdgeFrame(frame, 20, 4).c0 - EdgeFrame(frame, 19, 4).c0;
    if (percent > 100) EXPECT_GT(step, original);
    if (percent < 100) EXPECT_LT(step, original);
  }
}

// ---- looks.fx ----------------------------------------------------------------

TEST_F(SampleEffectTest, LooksTrackSelectsTheTechnique) {
  auto plugin = StartCompiledPlugin(SampleEffect("looks.fxo"));
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  ASSERT_EQ(1u, host.table().tracks.size());
  EXPECT_EQ(1, host.table().tracks[0].default_value);
  host.SetClip(MakeClip(kWidth, kHeight, kFrames, ColourFrame), kWidth, kHeight);
  // 5 is beyond the last technique, which is used instead.
  for (int look : {1, 0, 2, 5}) {
    SCOPED_TRACE("look " + std::to_string(look));
    host.SetTrack(0, look);
    host.Update();
    ProcessAndCompare(host, 2, 0, [&](int x, int y, int ch) -> double {
      const int v = Component(ColourFrame(2, x, y), ch);
      if (look == 0) return v;
      if (look == 1) return ch == 0 ? v : 0;
      return ch == 0 ? 4096 - v : -v;
    });
  }
}

// ---- the example of docs/effect-description.md ---------------------------------

// The indented block after "    // blur.fxd" up to the next heading.
std::string DescriptionExample() {
  std::ifstream file(TEXLOOM_SOURCE_DIR "/docs/effect-description.md", std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  const std::string doc = text.str();
  const size_t start = doc.find("    // blur.fxd\n");
  const size_t end = doc.find("\n## ", start);
  if (start == std::string::npos || end == std::string::npos) return std::string();
  std::string example;
  std::istringstream lines(doc.substr(start, end - start));
  for (std::string line; std::getline(lines, line);)
    example += (line.size() >= 4 ? line.substr(4) : std::string()) + "\n";
  return example;
}

TEST_F(SampleEffectTest, DescriptionExampleBlursGainsAndMakesTheNegative) {
  const std::string example = DescriptionExample();
  ASSERT_FALSE(example.empty()) << "no example in docs/effect-description.md";
  auto plugin = StartPlugin(example);
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  host.SetClip(MakeClip(kWidth, kHeight, kFrames, ColourFrame), kWidth, kHeight);
  host.SetTrack(0, 2);
  for (int negative : {0, 1}) {
    host.SetCheck(0, negative);
    host.Update();
    ProcessAndCompare(host, negative, 1, [&](int x, int y, int ch) {
      double sum = 0;
      for (int dx = -1; dx <= 1; ++dx)
        sum += Component(ColourFrame(negative, std::min(std::max(x + dx, 0), kWidth - 1), y), ch);
      const double gained = sum / 3 * 2;
      return !negative ? gained : ch == 0 ? 4096 - gained : -gained;
    });
  }
}

}  // namespace
}  // namespace plugin_e2e
