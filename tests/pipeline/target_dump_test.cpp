// The target dump's conversion of one row of each render-target format into
// 16-bit RGBA: 0..1 onto 0..65535, rounded, clamped (NaN is 0).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "pipeline/target_dump.h"

namespace {

TEST(TargetDumpTest, EveryFormatToSixteenBits) {
  const float floats[8] = {0.0f, 0.25f, 0.5f, 1.0f, -0.5f, 2.0f, NAN, 1.0f / 65535.0f};
  // Half floats: 0, 0.25, 0.5, 1, -0.5, 2, NaN, the smallest subnormal.
  const uint16_t halves[8] = {0x0000, 0x3400, 0x3800, 0x3C00, 0xB800, 0x4000, 0x7E00, 0x0001};
  const uint16_t unorm[8] = {0, 1, 32768, 65535, 7, 8, 9, 10};
  const int16_t snorm[8] = {0, 8192, 32767, -32767, -32768, 1, -1, 100};
  const struct {
    D3DFORMAT format;
    const void* row;
    uint16_t expected[8];
  } cases[] = {
      {D3DFMT_A32B32G32R32F, floats, {0, 16384, 32768, 65535, 0, 65535, 0, 1}},
      {D3DFMT_A16B16G16R16F, halves, {0, 16384, 32768, 65535, 0, 65535, 0, 0}},
      {D3DFMT_A16B16G16R16, unorm, {0, 1, 32768, 65535, 7, 8, 9, 10}},
      {D3DFMT_Q16W16V16U16, snorm, {0, 16384, 65535, 0, 0, 2, 0, 200}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.format));
    std::vector<uint16_t> rgba(8, 0xBEEF);
    ASSERT_TRUE(TargetRowTo16(c.format, c.row, 2, rgba.data()));
    EXPECT_EQ(std::vector<uint16_t>(c.expected, c.expected + 8), rgba);
  }
  uint16_t untouched[4] = {1, 2, 3, 4};
  EXPECT_FALSE(TargetRowTo16(D3DFMT_A2B10G10R10, unorm, 1, untouched));
}

}  // namespace
