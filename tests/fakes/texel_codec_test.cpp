// The texel codecs: what a shader reads from, and a render target stores
// into, each frame-size format, on the values where conversions go wrong.
#include "fakes/texel_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using fakes::BitsOf;
using fakes::DecodeTexel;
using fakes::EncodeTexel;
using fakes::Float4;
using fakes::FloatFromBits;
using fakes::FloatToHalf;
using fakes::HalfToFloat;

float F(uint32_t bits) { return FloatFromBits(bits); }
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

std::vector<uint8_t> Le16(std::vector<uint16_t> values) {
  std::vector<uint8_t> bytes;
  for (uint16_t v : values) {
    bytes.push_back(static_cast<uint8_t>(v));
    bytes.push_back(static_cast<uint8_t>(v >> 8));
  }
  return bytes;
}
std::vector<uint8_t> Le32(std::vector<uint32_t> values) {
  std::vector<uint8_t> bytes;
  for (uint32_t v : values) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  return bytes;
}

struct DecodeCase {
  const char* label;
  D3DFORMAT format;
  std::vector<uint8_t> bytes;
  Float4 expected;
};

TEST(TexelCodec, DecodesEachFormatAsAShaderSamples) {
  // Expected values are the binary32 nearest to the exact quotients
  // (worked out with rational arithmetic), so they test the rounding too.
  const DecodeCase cases[] = {
      {"float32 exact, -0 and a NaN payload",
       D3DFMT_A32B32G32R32F,
       Le32({0x3F800000u, 0x80000000u, 0x00000001u, 0x7FC00001u}),
       {1.0f, F(0x80000000u), F(0x00000001u), F(0x7FC00001u)}},
      {"float16 one, -0.5, smallest subnormal, largest",
       D3DFMT_A16B16G16R16F,
       Le16({0x3C00, 0xB800, 0x0001, 0x7BFF}),
       {1.0f, -0.5f, F(0x33800000u), 65504.0f}},
      {"float16 -0, infinities, largest subnormal",
       D3DFMT_A16B16G16R16F,
       Le16({0x8000, 0x7C00, 0xFC00, 0x03FF}),
       {F(0x80000000u), kInf, -kInf, F(0x387FC000u)}},
      {"float16 NaNs keep their payload",
       D3DFMT_A16B16G16R16F,
       Le16({0x7E00, 0x7C01, 0xFE00, 0x7FFF}),
       {F(0x7FC00000u), F(0x7F802000u), F(0xFFC00000u), F(0x7FFFE000u)}},
      {"unorm16 0, 1, n/65535",
       D3DFMT_A16B16G16R16,
       Le16({0x0000, 0xFFFF, 0x0001, 0x8000}),
       {0.0f, 1.0f, F(0x37800080u), F(0x3F000080u)}},
      {"snorm16 -32768 and -32767 both -1",
       D3DFMT_Q16W16V16U16,
       Le16({0x8000, 0x8001, 0x7FFF, 0x0000}),
       {-1.0f, -1.0f, 1.0f, 0.0f}},
      {"snorm16 n/32767",
       D3DFMT_Q16W16V16U16,
       Le16({0x0001, 0xFFFF, 0x4000, 0xC000}),
       {F(0x38000100u), F(0xB8000100u), F(0x3F000100u), F(0xBF000100u)}},
      {"10/10/10/2 unorm",
       D3DFMT_A2B10G10R10,
       Le32({0x3FFu | (512u << 10) | (1u << 20) | (1u << 30)}),
       {1.0f, F(0x3F002008u), F(0x3A802008u), F(0x3EAAAAABu)}},
      {"10/10/10/2 alpha 2/3",
       D3DFMT_A2B10G10R10,
       Le32({2u << 30}),
       {0.0f, 0.0f, 0.0f, F(0x3F2AAAABu)}},
      {"10/10/10/2 alpha 1", D3DFMT_A2B10G10R10, Le32({3u << 30}), {0.0f, 0.0f, 0.0f, 1.0f}},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(c.expected, DecodeTexel(c.format, c.bytes.data()));
  }
}

struct EncodeCase {
  const char* label;
  D3DFORMAT format;
  Float4 value;
  std::vector<uint8_t> expected;
};

TEST(TexelCodec, EncodesEachFormatAsARenderTargetWriteStores) {
  const float below_half = std::nextafter(0.5f, 0.0f);
  const EncodeCase cases[] = {
      {"float32 as is",
       D3DFMT_A32B32G32R32F,
       {F(0x80000000u), F(0x00000001u), kNaN, 3.5f},
       Le32({0x80000000u, 0x00000001u, BitsOf(kNaN), 0x40600000u})},
      // 1 + 2^-11 lies halfway between 1 and 1 + 2^-10: ties go to even.
      {"float16 ties to even, down and up",
       D3DFMT_A16B16G16R16F,
       {1.0f + 0x1p-11f, 1.0f + 0x3p-11f, -(1.0f + 0x1p-11f), 2048.0f + 1.0f},
       Le16({0x3C00, 0x3C02, 0xBC00, 0x6800})},
      {"float16 largest, just below overflow, overflow to infinity",
       D3DFMT_A16B16G16R16F,
       {65504.0f, std::nextafter(65520.0f, 0.0f), 65520.0f, -1.0e6f},
       Le16({0x7BFF, 0x7BFF, 0x7C00, 0xFC00})},
      {"float16 subnormal ties",
       D3DFMT_A16B16G16R16F,
       {0x1p-25f, 0x3p-25f, std::nextafter(0x1p-25f, 1.0f), 0x1p-24f},
       Le16({0x0000, 0x0002, 0x0001, 0x0001})},
      {"float16 -0, NaN, infinity, binary32 subnormal",
       D3DFMT_A16B16G16R16F,
       {F(0x80000000u), kNaN, kInf, F(0x00000001u)},
       Le16({0x8000, 0x7E00, 0x7C00, 0x0000})},
      {"unorm16 0, 1 and clamping",
       D3DFMT_A16B16G16R16,
       {0.0f, 1.0f, -1.0f, 2.0f},
       Le16({0x0000, 0xFFFF, 0x0000, 0xFFFF})},
      // 0.5 * 65535 = 32767.5 exactly: ties away from zero. The binary32
      // nearest 0.5/65535 (0x37000080) is just below the tie 0.5, so 0.
      {"unorm16 ties",
       D3DFMT_A16B16G16R16,
       {0.5f, below_half, F(0x37000080u), F(0x37C000C0u)},
       Le16({0x8000, 0x7FFF, 0x0000, 0x0001})},
      {"unorm16 NaN and -0 are 0",
       D3DFMT_A16B16G16R16,
       {kNaN, F(0x80000000u), kInf, -kInf},
       Le16({0x0000, 0x0000, 0xFFFF, 0x0000})},
      {"snorm16 -1 is -32767, clamping",
       D3DFMT_Q16W16V16U16,
       {-1.0f, -2.0f, 1.0f, 2.0f},
       Le16({0x8001, 0x8001, 0x7FFF, 0x7FFF})},
      // 0.5 * 32767 = 16383.5 exactly: away from zero on both sides.
      {"snorm16 ties",
       D3DFMT_Q16W16V16U16,
       {0.5f, -0.5f, std::nextafter(-0.5f, 0.0f), F(0x37800100u)},
       Le16({0x4000, 0xC000, 0xC001, 0x0000})},
      {"snorm16 NaN and -0 are 0",
       D3DFMT_Q16W16V16U16,
       {kNaN, F(0x80000000u), -kInf, kInf},
       Le16({0x0000, 0x0000, 0x8001, 0x7FFF})},
      // 0.5 * 1023 = 511.5 and 0.5 * 3 = 1.5: both round up.
      {"10/10/10/2 ties and clamping",
       D3DFMT_A2B10G10R10,
       {1.0f, 0.5f, -1.0f, 0.5f},
       Le32({0x3FFu | (512u << 10) | (0u << 20) | (2u << 30)})},
  };
  for (const EncodeCase& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<uint8_t> stored(c.expected.size(), 0xEE);
    EncodeTexel(c.format, c.value, stored.data());
    EXPECT_EQ(c.expected, stored);
  }
}

TEST(TexelCodec, SnormMinusTwoToTheFifteenReadsMinusOneAndStoresBackAsMinus32767) {
  const std::vector<uint8_t> texel = Le16({0x8000, 0x8000, 0x8000, 0x8000});
  Float4 read = DecodeTexel(D3DFMT_Q16W16V16U16, texel.data());
  EXPECT_EQ((Float4{-1.0f, -1.0f, -1.0f, -1.0f}), read);
  std::vector<uint8_t> stored(8, 0);
  EncodeTexel(D3DFMT_Q16W16V16U16, read, stored.data());
  EXPECT_EQ(Le16({0x8001, 0x8001, 0x8001, 0x8001}), stored);
}

TEST(TexelCodec, ChannelZeroIsAtTheLowestAddress) {
  struct Case {
    D3DFORMAT format;
    std::vector<uint8_t> expected;  // for (1, 0, 0, 0)
  } cases[] = {
      {D3DFMT_A32B32G32R32F, Le32({0x3F800000u, 0, 0, 0})},
      {D3DFMT_A16B16G16R16F, Le16({0x3C00, 0, 0, 0})},
      {D3DFMT_A16B16G16R16, Le16({0xFFFF, 0, 0, 0})},
      {D3DFMT_Q16W16V16U16, Le16({0x7FFF, 0, 0, 0})},
      {D3DFMT_A2B10G10R10, {0xFF, 0x03, 0x00, 0x00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    std::vector<uint8_t> stored(c.expected.size(), 0xEE);
    EncodeTexel(c.format, {1.0f, 0.0f, 0.0f, 0.0f}, stored.data());
    EXPECT_EQ(c.expected, stored);
    EXPECT_EQ((Float4{1.0f, 0.0f, 0.0f, 0.0f}), DecodeTexel(c.format, stored.data()));
  }
}

TEST(TexelCodec, EveryHalfSurvivesDecodeAndEncode) {
  for (uint32_t h = 0; h <= 0xFFFF; ++h) {
    uint16_t half = static_cast<uint16_t>(h);
    ASSERT_EQ(half, FloatToHalf(HalfToFloat(half))) << std::hex << h;
  }
}

#ifdef __FLT16_MAX__
// The compiler's _Float16 converts as IEEE 754 says; it quiets signalling
// NaNs, which a sampler does not, so NaNs are compared as NaN only.
float ByCompiler(uint16_t half) {
  _Float16 value;
  std::memcpy(&value, &half, sizeof value);
  return static_cast<float>(value);
}
uint16_t ByCompiler(float value) {
  _Float16 half = static_cast<_Float16>(value);
  uint16_t bits;
  std::memcpy(&bits, &half, sizeof bits);
  return bits;
}

TEST(TexelCodec, EveryHalfDecodesAsIeeeSays) {
  for (uint32_t h = 0; h <= 0xFFFF; ++h) {
    uint16_t half = static_cast<uint16_t>(h);
    float expected = ByCompiler(half);
    float actual = HalfToFloat(half);
    if (std::isnan(expected)) {
      ASSERT_TRUE(std::isnan(actual)) << std::hex << h;
      ASSERT_EQ((h & 0x3FFu) << 13, BitsOf(actual) & 0x7FFFFFu) << std::hex << h;
    } else {
      ASSERT_EQ(BitsOf(expected), BitsOf(actual)) << std::hex << h;
    }
  }
}

TEST(TexelCodec, FloatsEncodeToHalfAsIeeeSays) {
  // Every float between two neighbouring halves, and at, below and above
  // each midpoint; then a spread over all bit patterns.
  std::vector<float> values;
  for (uint32_t h = 0; h < 0x7C00; ++h) {
    for (uint32_t sign : {0u, 0x8000u}) {
      float low = HalfToFloat(static_cast<uint16_t>(h | sign));
      float high = HalfToFloat(static_cast<uint16_t>((h + 1) | sign));
      float middle = low / 2 + high / 2;  // exact: halves have 11 significant bits
      values.insert(values.end(),
                    {middle, std::nextafter(middle, 0.0f), std::nextafter(middle, high * 2), low});
    }
  }
  for (uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 65521) values.push_back(F(uint32_t(bits)));
  for (float value : values) {
    if (std::isnan(value)) continue;
    ASSERT_EQ(ByCompiler(value), FloatToHalf(value)) << std::hexfloat << value;
  }
}
#else
TEST(TexelCodec, EveryHalfDecodesAsIeeeSays) {
  GTEST_SKIP() << "NOT RUN: this compiler has no _Float16 to compare the binary16 codec with";
}
#endif

}  // namespace
