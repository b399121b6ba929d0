// What the effect receives for control values, frame sizes and formats.
#include "plan/binding_values.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void ExpectInteger(int32_t expected, const ControlWrite& write) {
  EXPECT_EQ(WriteKind::integer, write.kind);
  EXPECT_EQ(expected, write.integer);
}

TEST(BindingValues, TrackModes) {
  const struct {
    const char* label;
    BindingMode mode;
    int32_t value;
    int32_t expected;
  } cases[] = {
      {"plain", plain, -7, -7},           {"even 3", even, 3, 6},
      {"even -3", even, -3, -6},          {"odd 3", odd, 3, 7},
      {"odd -3", odd, -3, -5},            {"odd0 -2", odd_with_zero, -2, -3},
      {"odd0 -1", odd_with_zero, -1, -1}, {"odd0 0", odd_with_zero, 0, 0},
      {"odd0 1", odd_with_zero, 1, 1},    {"odd0 2", odd_with_zero, 2, 3},
      // Doubling wraps like the effect's 32-bit integers.
      {"even INT32_MAX", even, INT32_MAX, -2}, {"odd INT32_MIN", odd, INT32_MIN, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ControlWrite write = TrackWrite(c.mode, 1, c.value);
    ExpectInteger(c.expected, write);
    EXPECT_FALSE(write.selects_technique);
  }
}

TEST(BindingValues, NormalizedTracksAreSingleFloats) {
  const struct {
    int32_t divisor, value;
    float expected;
  } cases[] = {{100, 25, 0.25f},  {100, -100, -1.0f}, {1, 7, 7.0f},
               {3, 1, 1.0f / 3.0f}, {255, 255, 1.0f},  {INT32_MAX, INT32_MIN, -1.0f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " / " << c.divisor);
    ControlWrite write = TrackWrite(normalize, c.divisor, c.value);
    EXPECT_EQ(WriteKind::floating, write.kind);
    EXPECT_EQ(c.expected, write.floating);
  }
}

TEST(BindingValues, TechniqueControlsSelectThenWriteTheirValue) {
  ControlWrite track = TrackWrite(technique, 1, 5);
  EXPECT_TRUE(track.selects_technique);
  ExpectInteger(5, track);
  ControlWrite check = CheckWrite(technique, 1);
  EXPECT_TRUE(check.selects_technique);
  EXPECT_EQ(WriteKind::boolean, check.kind);
  EXPECT_EQ(TRUE, check.boolean);
  EXPECT_EQ(WriteKind::nothing, TrackWrite(ignored, 1, 5).kind);
  EXPECT_EQ(WriteKind::nothing, CheckWrite(ignored, 1).kind);
}

TEST(BindingValues, CheckModes) {
  EXPECT_EQ(WriteKind::boolean, CheckWrite(plain, 1).kind);
  EXPECT_EQ(TRUE, CheckWrite(plain, 1).boolean);
  EXPECT_EQ(FALSE, CheckWrite(plain, 0).boolean);
  EXPECT_EQ(WriteKind::floating, CheckWrite(normalize, 0).kind);
  EXPECT_EQ(0.0f, CheckWrite(normalize, 0).floating);
  EXPECT_EQ(1.0f, CheckWrite(normalize, 1).floating);
  EXPECT_EQ(1.0f, CheckWrite(normalize, 9).floating);
  ExpectInteger(-1, CheckWrite(odd, 0));
  ExpectInteger(1, CheckWrite(odd, 1));
}

TEST(BindingValues, TechniqueSelectionClampsToTheTechniques) {
  const struct {
    int32_t value;
    size_t count;
    uint32_t expected;
  } cases[] = {{0, 3, 0},         {2, 3, 2}, {5, 3, 2}, {-3, 3, 0},
               {INT32_MIN, 1, 0}, {0, 0, 0xFFFFFFFFu}, {-1, 0, 0xFFFFFFFFu}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " of " << c.count);
    EXPECT_EQ(c.expected, TechniqueForValue(c.value, c.count));
  }
}

TEST(BindingValues, PixScalePerFormat) {
  const struct {
    int32_t format;
    float x, y;
  } cases[] = {{F32, 4096, 0}, {F16, 4096, 0}, {U16, 65535, 0}, {B16, 65535, -32768}, {S16, 32767, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    D3DXVECTOR4 scale = PixScaleFor(c.format);
    EXPECT_EQ(c.x, scale.x);
    EXPECT_EQ(c.y, scale.y);
    EXPECT_EQ(0.0f, scale.z);
    EXPECT_EQ(0.0f, scale.w);
  }
}

TEST(BindingValues, PixelKernelsBecomeTexelOffsets) {
  const float rx = ReciprocalSize(640);
  const float ry = ReciprocalSize(480);
  EXPECT_EQ(static_cast<float>(1.0 / 640.0), rx);
  EXPECT_EQ(static_cast<float>(1.0 / 480.0), ry);
  D3DXVECTOR4 right = TexelKernelEntry({1, 0, 0.25f, 0}, rx, ry);
  EXPECT_EQ(rx, right.x);
  EXPECT_EQ(0.0f, right.y);
  EXPECT_EQ(0.25f, right.z);
  D3DXVECTOR4 diagonal = TexelKernelEntry({-3, 2, 7, -1}, rx, ry);
  EXPECT_EQ(-3 * rx, diagonal.x);
  EXPECT_EQ(2 * ry, diagonal.y);
  EXPECT_EQ(7.0f, diagonal.z);
  EXPECT_EQ(-1.0f, diagonal.w);
}

}  // namespace
