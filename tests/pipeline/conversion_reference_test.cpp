// The scalar reference against values derived independently of its bit
// recipes: hand-worked cases and arithmetic done another way (double
// precision, explicit rounding), for every 16-bit value where that is cheap.
#include "pipeline/conversion_reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

constexpr ReadbackRounding kFloor = ReadbackRounding::floor_wrap;
constexpr ReadbackRounding kNearest = ReadbackRounding::nearest_saturate;

uint32_t BitsOf(float f) {
  uint32_t bits;
  memcpy(&bits, &f, 4);
  return bits;
}

float FloatOf(uint32_t bits) {
  float f;
  memcpy(&f, &bits, 4);
  return f;
}

// Nearest binary16 to v / 4096, ties away from zero, found from the
// exponent and a rounded significand in double precision.
uint16_t CorrectlyRoundedHalf(int v) {
  if (v == 0) return 0;
  const double magnitude = std::fabs(v / 4096.0);
  int exponent2;
  std::frexp(magnitude, &exponent2);  // magnitude = f * 2^exponent2, f in [0.5, 1)
  int exponent = exponent2 - 1;       // magnitude in [2^exponent, 2^(exponent+1))
  double significand = std::floor(std::ldexp(magnitude, 10 - exponent) + 0.5);
  if (significand == 2048) {
    significand = 1024;
    ++exponent;
  }
  const uint16_t bits =
      static_cast<uint16_t>(((exponent + 15) << 10) | (static_cast<int>(significand) - 1024));
  return v < 0 ? static_cast<uint16_t>(bits | 0x8000) : bits;
}

TEST(ConversionReferenceUpload, EdgeCasesGiveTheDocumentedTexels) {
  struct Case {
    int16_t v;
    uint32_t float32_bits;
    uint16_t float16_bits;
    uint16_t biased16_bits;
  } cases[] = {
      {0, 0x00000000, 0x0000, 0x8000},      {4096, 0x3F800000, 0x3C00, 0x9000},
      {-4096, 0xBF800000, 0xBC00, 0x7000},  {1, 0x39800000, 0x0C00, 0x8001},
      {-1, 0xB9800000, 0x8C00, 0x7FFF},     {2049, 0x3F001000, 0x3801, 0x8801},
      {-2049, 0xBF001000, 0xB801, 0x77FF},  {2047, 0x3EFFE000, 0x37FF, 0x87FF},
      {3, 0x3A400000, 0x1200, 0x8003},      {32767, 0x40FFFE00, 0x4800, 0xFFFF},
      {-32768, 0xC1000000, 0xC800, 0x0000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "component " << c.v);
    EXPECT_EQ(c.float32_bits, BitsOf(Float32FromComponent(c.v)));
    EXPECT_EQ(c.float16_bits, Float16FromComponent(c.v));
    EXPECT_EQ(c.biased16_bits, Biased16FromComponent(c.v));
    EXPECT_EQ(static_cast<uint16_t>(c.v), Raw16FromComponent(c.v));
  }
}

TEST(ConversionReferenceUpload, EveryComponentMatchesArithmeticDoneAnotherWay) {
  for (int v = -32768; v <= 32767; ++v) {
    SCOPED_TRACE(testing::Message() << "component " << v);
    const int16_t c = static_cast<int16_t>(v);
    ASSERT_EQ(BitsOf(static_cast<float>(std::ldexp(v, -12))), BitsOf(Float32FromComponent(c)));
    ASSERT_EQ(CorrectlyRoundedHalf(v), Float16FromComponent(c));
    ASSERT_EQ(static_cast<uint16_t>(v) ^ 0x8000u, Biased16FromComponent(c));
    ASSERT_EQ(static_cast<uint16_t>(v), Raw16FromComponent(c));
  }
}

TEST(ConversionReferenceUpload, Channel3IsZeroInEveryLayout) {
  const HostPixel pixel = {-1, -1, -1};
  for (uint32_t family : {float32, float16, raw16, biased16}) {
    SCOPED_TRACE(testing::Message() << "family " << family);
    uint8_t texel[16];
    memset(texel, 0xCD, sizeof texel);
    UploadRowReference(family, texel, &pixel, 1);
    const size_t last = family == float32 ? 12 : 6;
    const size_t width = family == float32 ? 4 : 2;
    for (size_t i = last; i < last + width; ++i) EXPECT_EQ(0, texel[i]) << "byte " << i;
  }
}

TEST(ConversionReferenceReadback, Float32EdgeCasesRoundPerTier) {
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    float x;
    int16_t floor_wrap;
    int16_t nearest_saturate;
  } cases[] = {
      {0.0f, 0, 0},
      {-0.0f, 0, 0},
      {0.5f / 4096, 1, 0},  // the tie: up in the MMX tier, to even in SSE
      {1.5f / 4096, 2, 2},
      {2.5f / 4096, 3, 2},
      {0.25f / 4096, 0, 0},
      {0.75f / 4096, 1, 1},
      {-0.5f / 4096, 0, 0},
      {-1.5f / 4096, -1, -2},
      {-2.5f / 4096, -2, -2},
      {1.0f, 4096, 4096},
      {-1.0f, -4096, -4096},
      {8.0f, -32768, 32767},  // 32768 wraps in the MMX tier, saturates in SSE
      {-8.0f, -32768, -32768},
      {-32769.0f / 4096, 32767, -32768},
      {16.0f, 0, 32767},
      {15.9921875f, -32, 32767},
      // 2^23 + 1 plus 0.5 is a binary32 tie that goes to the even 2^23 + 2.
      {8388609.0f / 4096, 2, 32767},
      {2147483520.0f / 4096, -128, 32767},
      // 2^31 and beyond have no 32-bit integer: CVTPS2DQ's indefinite value.
      {524288.0f, 0, -32768},
      {1048576.0f, 0, -32768},
      {-1048576.0f, 0, -32768},
      {inf, 0, -32768},
      {-inf, 0, -32768},
      {std::numeric_limits<float>::quiet_NaN(), 0, -32768},
      {FloatOf(0x00000001), 0, 0},
      {FloatOf(0x80000001), 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "channel " << c.x << " (bits 0x" << std::hex << BitsOf(c.x) << ")");
    EXPECT_EQ(c.floor_wrap, ComponentFromFloat32(c.x, kFloor));
    EXPECT_EQ(c.nearest_saturate, ComponentFromFloat32(c.x, kNearest));
  }
}

TEST(ConversionReferenceReadback, Float16EdgeCasesRoundPerTier) {
  struct Case {
    uint16_t h;
    int16_t floor_wrap;
    int16_t nearest_saturate;
  } cases[] = {
      {0x0000, 0, 0},         {0x8000, 0, 0},          {0x3C00, 4096, 4096},
      {0xBC00, -4096, -4096}, {0x4800, -32768, 32767}, {0xC800, -32768, -32768},
      {0x0C00, 1, 1},         {0x3801, 2050, 2050},    {0x0400, 0, 0},
      {0x0800, 1, 0},         {0x0A00, 1, 1},          {0x0E00, 2, 2},
      {0x1100, 3, 2},         {0x8800, 0, 0},          {0x8E00, -1, -2},
      {0x4BFF, -32, 32767},   {0x4C00, 0, 32767},      {0x5000, 0, 32767},
      {0x7C00, 0, 32767},     {0xFC00, 0, -32768},     {0x7FFF, 0, 32767},
      {0x0001, 0, 0},         {0x03FF, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "channel 0x" << std::hex << c.h);
    EXPECT_EQ(c.floor_wrap, ComponentFromFloat16(c.h, kFloor));
    EXPECT_EQ(c.nearest_saturate, ComponentFromFloat16(c.h, kNearest));
  }
}

TEST(ConversionReferenceReadback, EveryFloat16MatchesArithmeticDoneAnotherWay) {
  for (uint32_t h = 0; h <= 0xFFFF; ++h) {
    SCOPED_TRACE(testing::Message() << "channel 0x" << std::hex << h);
    const int exponent = (h >> 10) & 31;
    const int mantissa = h & 1023;
    // Every exponent field, 0 and 31 included, is read as a normal number.
    double value = (exponent == 0 && mantissa == 0)
                       ? 0.0
                       : std::ldexp(1.0 + mantissa / 1024.0, exponent - 15) * 4096.0;
    if (h & 0x8000) value = -value;
    // value + 0.5 is exact in binary32 below 2^23 and rounds back to the
    // (even) value above, so double arithmetic gives the same floor.
    const int64_t floored = static_cast<int64_t>(std::floor(value + 0.5));
    const int16_t expected_floor = static_cast<int16_t>(static_cast<uint16_t>(floored));
    const double nearest = std::nearbyint(value);
    const int16_t expected_nearest = static_cast<int16_t>(nearest > 32767    ? 32767
                                                          : nearest < -32768 ? -32768
                                                                             : nearest);
    ASSERT_EQ(expected_floor, ComponentFromFloat16(static_cast<uint16_t>(h), kFloor));
    ASSERT_EQ(expected_nearest, ComponentFromFloat16(static_cast<uint16_t>(h), kNearest));
  }
}

TEST(ConversionReferenceReadback, SixteenBitLayoutsUndoTheUpload) {
  for (int v = -32768; v <= 32767; ++v) {
    SCOPED_TRACE(testing::Message() << "component " << v);
    const int16_t c = static_cast<int16_t>(v);
    ASSERT_EQ(c, ComponentFromRaw16(static_cast<uint16_t>(v)));
    ASSERT_EQ(c, ComponentFromBiased16(static_cast<uint16_t>(static_cast<uint16_t>(v) ^ 0x8000u)));
  }
  EXPECT_EQ(-32768, ComponentFromBiased16(0x0000));
  EXPECT_EQ(0, ComponentFromBiased16(0x8000));
  EXPECT_EQ(32767, ComponentFromBiased16(0xFFFF));
}

TEST(ConversionReferenceRoundTrip, ComponentsThroughEachLayout) {
  struct Case {
    int16_t v;
    int16_t float16_floor_wrap;
    int16_t float16_nearest_saturate;
  } cases[] = {
      {32767, -32768, 32767},  // 8.0 in binary16 is 32768
      {-32768, -32768, -32768}, {0, 0, 0}, {4096, 4096, 4096},
      {2049, 2050, 2050},  // 2049/4096 is a tie between binary16 neighbours 2048 and 2050
      {4097, 4096, 4096},  // between 4096 and 4100: binary16 steps by 4 here
      {4098, 4100, 4100},  // the tie, away from zero
      {-4098, -4100, -4100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "component " << c.v);
    const uint16_t half = Float16FromComponent(c.v);
    EXPECT_EQ(c.float16_floor_wrap, ComponentFromFloat16(half, kFloor));
    EXPECT_EQ(c.float16_nearest_saturate, ComponentFromFloat16(half, kNearest));
  }
  for (int v = -32768; v <= 32767; ++v) {
    SCOPED_TRACE(testing::Message() << "component " << v);
    const int16_t c = static_cast<int16_t>(v);
    ASSERT_EQ(c, ComponentFromFloat32(Float32FromComponent(c), kFloor));
    ASSERT_EQ(c, ComponentFromFloat32(Float32FromComponent(c), kNearest));
    ASSERT_EQ(c, ComponentFromRaw16(Raw16FromComponent(c)));
    ASSERT_EQ(c, ComponentFromBiased16(Biased16FromComponent(c)));
  }
}

}  // namespace
