// RGB <-> host YCbCr: the published BT.601 full-range matrix, the ends of
// the host's ranges, 8-bit round trips and the byte layout of host pixels.
#include "run/host_colour.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace texloom_run {
namespace {

// The matrix as published, independent of how the code derives it.
HostPixel Published(double r, double g, double b) {
  const double y = 4096.0 * (0.299 * r + 0.587 * g + 0.114 * b);
  const double cb = 4096.0 * (-0.168736 * r - 0.331264 * g + 0.5 * b);
  const double cr = 4096.0 * (0.5 * r - 0.418688 * g - 0.081312 * b);
  return HostPixel{static_cast<int16_t>(std::lround(y)), static_cast<int16_t>(std::lround(cb)),
                   static_cast<int16_t>(std::lround(cr))};
}

void ExpectPixel(const HostPixel& expected, const HostPixel& actual, int tolerance = 0) {
  EXPECT_LE(std::abs(expected.y - actual.y), tolerance) << expected.y << " vs " << actual.y;
  EXPECT_LE(std::abs(expected.cb - actual.cb), tolerance) << expected.cb << " vs " << actual.cb;
  EXPECT_LE(std::abs(expected.cr - actual.cr), tolerance) << expected.cr << " vs " << actual.cr;
}

TEST(HostColourTest, RangesEndsAtBlackWhiteAndPrimaries) {
  struct Case {
    const char* name;
    double r, g, b;
    HostPixel expected;
  };
  const Case cases[] = {
      {"black", 0, 0, 0, {0, 0, 0}},
      {"white", 1, 1, 1, {4096, 0, 0}},
      // Cb reaches +2048 at blue and -2048 at yellow, Cr +2048 at red and
      // -2048 at cyan; Y there by the matrix.
      {"blue", 0, 0, 1, {467, 2048, -333}},
      {"yellow", 1, 1, 0, {3629, -2048, 333}},
      {"red", 1, 0, 0, {1225, -691, 2048}},
      {"cyan", 0, 1, 1, {2871, 691, -2048}},
      {"green", 0, 1, 0, {2404, -1357, -1715}},
      {"magenta", 1, 0, 1, {1692, 1357, 1715}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectPixel(c.expected, HostPixelFromRgb(c.r, c.g, c.b));
    ExpectPixel(Published(c.r, c.g, c.b), HostPixelFromRgb(c.r, c.g, c.b));
  }
}

TEST(HostColourTest, MatchesThePublishedMatrixOverTheCube) {
  for (int r = 0; r <= 255; r += 15) {
    for (int g = 0; g <= 255; g += 17) {
      for (int b = 0; b <= 255; b += 5) {
        SCOPED_TRACE(testing::Message() << r << "," << g << "," << b);
        // The published coefficients are rounded to six places, which can
        // move a value lying within 0.01 of a half by one.
        ExpectPixel(Published(r / 255.0, g / 255.0, b / 255.0),
                    HostPixelFromRgb(r / 255.0, g / 255.0, b / 255.0), 1);
      }
    }
  }
}

TEST(HostColourTest, ColoursOutsideTheCubeAreClampedFirst) {
  ExpectPixel(HostPixelFromRgb(1, 1, 1), HostPixelFromRgb(1.5, 2, 1.0001));
  ExpectPixel(HostPixelFromRgb(0, 0, 0), HostPixelFromRgb(-0.5, -1, -0.0001));
  ExpectPixel(HostPixelFromRgb(1, 0, 0), HostPixelFromRgb(3, -3, 0));
}

TEST(HostColourTest, InverseGivesBackTheCorners) {
  const double corners[8][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1},
                                {1, 1, 0}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
  for (const auto& c : corners) {
    SCOPED_TRACE(testing::Message() << c[0] << "," << c[1] << "," << c[2]);
    double r, g, b;
    RgbFromHostPixel(HostPixelFromRgb(c[0], c[1], c[2]), &r, &g, &b);
    // Host values are whole numbers in 1/4096: half a step in Y, Cb and Cr
    // moves R, G or B by at most (0.5 + 0.5 * 1.772) / 4096.
    EXPECT_NEAR(c[0], r, 0.0004);
    EXPECT_NEAR(c[1], g, 0.0004);
    EXPECT_NEAR(c[2], b, 0.0004);
  }
}

std::vector<uint8_t> Rgb48leOf(const std::vector<uint8_t>& rgb24) {
  std::vector<uint8_t> wide;
  for (uint8_t v : rgb24) {
    // 8 to 16 bits as ffmpeg widens: v * 257.
    wide.push_back(v);
    wide.push_back(v);
  }
  return wide;
}

TEST(HostColourTest, EightBitRoundTripWithinOneCodeValue) {
  std::vector<int> levels;
  for (int v = 0; v < 255; v += 5) levels.push_back(v);
  levels.push_back(1);
  levels.push_back(254);
  levels.push_back(255);
  std::vector<uint8_t> rgb24;
  for (int r : levels) {
    for (int g : levels) {
      for (int b : levels) {
        rgb24.push_back(static_cast<uint8_t>(r));
        rgb24.push_back(static_cast<uint8_t>(g));
        rgb24.push_back(static_cast<uint8_t>(b));
      }
    }
  }
  const size_t count = rgb24.size() / 3;
  std::vector<HostPixel> host(count);
  HostRowFromRgb24(rgb24.data(), host.data(), count);
  // 16-bit input of the same colours (v * 257) gives the same host pixels.
  const std::vector<uint8_t> wide = Rgb48leOf(rgb24);
  std::vector<HostPixel> from_wide(count);
  HostRowFromRgb48le(wide.data(), from_wide.data(), count);
  for (size_t i = 0; i < count; ++i) {
    ASSERT_EQ(host[i].y, from_wide[i].y) << i;
    ASSERT_EQ(host[i].cb, from_wide[i].cb) << i;
    ASSERT_EQ(host[i].cr, from_wide[i].cr) << i;
  }
  std::vector<uint8_t> back(rgb24.size(), 0xA5);
  Rgb24RowFromHost(host.data(), back.data(), count);
  int worst = 0;
  size_t exact = 0;
  for (size_t i = 0; i < rgb24.size(); ++i) {
    const int difference = std::abs(rgb24[i] - back[i]);
    worst = std::max(worst, difference);
    exact += difference == 0;
    if (difference > 1) {
      ADD_FAILURE() << "component " << i % 3 << " of colour " << int(rgb24[i - i % 3]) << ","
                    << int(rgb24[i - i % 3 + 1]) << "," << int(rgb24[i - i % 3 + 2])
                    << " came back as " << int(back[i]);
      break;
    }
  }
  EXPECT_LE(worst, 1);
  // Black, white and greys come back exactly.
  for (int v : levels) {
    uint8_t grey[3] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v), static_cast<uint8_t>(v)};
    HostPixel pixel;
    HostRowFromRgb24(grey, &pixel, 1);
    EXPECT_EQ(0, pixel.cb);
    EXPECT_EQ(0, pixel.cr);
    uint8_t out[3];
    Rgb24RowFromHost(&pixel, out, 1);
    EXPECT_EQ(v, out[0]);
    EXPECT_EQ(v, out[1]);
    EXPECT_EQ(v, out[2]);
  }
  EXPECT_GT(exact, rgb24.size() * 9 / 10) << "most components should survive exactly";
}

TEST(HostColourTest, RowsReachTheEndsOfTheRanges) {
  const uint8_t rgb24[12] = {0, 0, 0, 255, 255, 255, 0, 0, 255, 255, 0, 0};
  HostPixel host[4];
  HostRowFromRgb24(rgb24, host, 4);
  ExpectPixel({0, 0, 0}, host[0]);
  ExpectPixel({4096, 0, 0}, host[1]);
  EXPECT_EQ(2048, host[2].cb);
  EXPECT_EQ(2048, host[3].cr);
  const uint8_t white48[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  HostRowFromRgb48le(white48, host, 1);
  ExpectPixel({4096, 0, 0}, host[0]);
}

TEST(HostColourTest, SixteenBitInputUsesItsPrecision) {
  // 16-bit input between two 8-bit codes lands between their host values.
  const uint8_t low[6] = {0x00, 0x80, 0x00, 0x80, 0x00, 0x80};   // 0x8000 each
  const uint8_t high[6] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80};  // 0x8080
  HostPixel a, b;
  HostRowFromRgb48le(low, &a, 1);
  HostRowFromRgb48le(high, &b, 1);
  EXPECT_EQ(std::lround(4096.0 * 0x8000 / 65535.0), a.y);
  EXPECT_EQ(std::lround(4096.0 * 0x8080 / 65535.0), b.y);
  EXPECT_EQ(0, a.cb);
  EXPECT_EQ(0, a.cr);
}

TEST(HostColourTest, OutputClampsWhatAnEffectPushesOutOfRange) {
  const HostPixel pixels[] = {
      {5000, 0, 0}, {-100, 0, 0}, {2048, 0, 4000}, {2048, -4000, 0}, {32767, 32767, -32768}};
  uint8_t rgb[15];
  Rgb24RowFromHost(pixels, rgb, 5);
  // Cr = 4000: R = 0.5 + 1.402 * 0.977 saturates, G falls below 0, B = Y.
  // Cb = -4000: B falls below 0, G = 0.5 + 0.344136 * 0.977 = 0.836 (213).
  // Y = Cb = 8, Cr = -8: R = 8 - 11.2 below 0, G and B far above 1.
  const uint8_t expected[15] = {255, 255, 255, 0, 0, 0, 255, 0, 128, 128, 213, 0, 0, 255, 255};
  for (int i = 0; i < 15; ++i) EXPECT_EQ(expected[i], rgb[i]) << "component " << i;
}

TEST(HostColourTest, HostPixelBytesAreLittleEndianInt16) {
  const uint8_t bytes[12] = {0x00, 0x10, 0x00, 0xF8, 0x01, 0x00,   // 4096, -2048, 1
                             0xFF, 0xFF, 0x00, 0x08, 0x34, 0x12};  // -1, 2048, 0x1234
  HostPixel pixels[2] = {{7, 7, 7}, {7, 7, 7}};
  HostPixelsFromBytes(bytes, pixels, 2);
  EXPECT_EQ(4096, pixels[0].y);
  EXPECT_EQ(-2048, pixels[0].cb);
  EXPECT_EQ(1, pixels[0].cr);
  EXPECT_EQ(-1, pixels[1].y);
  EXPECT_EQ(2048, pixels[1].cb);
  EXPECT_EQ(0x1234, pixels[1].cr);
  uint8_t back[12];
  std::fill(back, back + 12, 0xA5);
  BytesFromHostPixels(pixels, back, 2);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(bytes[i], back[i]) << "byte " << i;
}

// Limited-range 16-bit Y'CbCr straight into the host's range; a BT.709
// colour lands where its R'G'B' would through the BT.601 matrix.
TEST(HostColourTest, YCbCrFramesMapDirectly) {
  struct Case {
    uint16_t y, cb, cr;
    Matrix matrix;
    HostPixel expected;
  };
  // BT.709 red: Y' 0.2126, Cb' -0.2126 / 1.8556, Cr' 0.5, in 16-bit limited.
  const uint16_t red_y = static_cast<uint16_t>(std::lround(4096 + 0.2126 * 56064));
  const uint16_t red_cb = static_cast<uint16_t>(std::lround(32768 - 0.2126 / 1.8556 * 57344));
  const Case cases[] = {
      {4096, 32768, 32768, Matrix::bt601, {0, 0, 0}},
      {60160, 32768, 32768, Matrix::bt601, {4096, 0, 0}},
      {60160, 61440, 4096, Matrix::bt601, {4096, 2048, -2048}},
      {32128, 32768, 32768, Matrix::bt709, {2048, 0, 0}},
      {red_y, red_cb, 61440, Matrix::bt709, HostPixelFromRgb(1.0, 0.0, 0.0)},
  };
  for (const Case& c : cases) {
    const uint16_t samples[3] = {c.y, c.cb, c.cr};
    uint8_t planes[6];
    for (int k = 0; k < 3; ++k) {
      planes[2 * k] = static_cast<uint8_t>(samples[k] & 0xFF);
      planes[2 * k + 1] = static_cast<uint8_t>(samples[k] >> 8);
    }
    HostPixel pixel{7, 7, 7};
    HostFrameFromYuv444p16le(planes, &pixel, 1, c.matrix);
    SCOPED_TRACE(c.y);
    EXPECT_NEAR(c.expected.y, pixel.y, 1);
    EXPECT_NEAR(c.expected.cb, pixel.cb, 1);
    EXPECT_NEAR(c.expected.cr, pixel.cr, 1);
  }
}

}  // namespace
}  // namespace texloom_run
