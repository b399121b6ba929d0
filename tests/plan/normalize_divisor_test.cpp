// Divisor of a normalized track from its bounds.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "plan/plan_decisions.h"

namespace {

struct DivisorCase {
  int32_t maximum;
  int32_t minimum;
  int32_t divisor;
};

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

TEST(NormalizeDivisorTest, LargerMagnitudeOfTheBounds) {
  const DivisorCase cases[] = {
      {20, -50, 50},
      {100, -100, 100},
      {100, 0, 100},
      {-3, -7, 7},
      {0, -1, 1},
      {255, 16, 255},
      {0, 0, 1},  // never 0
      {kMax, 0, kMax},
      {0, -kMax, kMax},
      // |INT32_MIN| does not fit: clamped, not wrapped to a negative divisor.
      {0, kMin, kMax},
      {kMin, kMin, kMax},
      {kMax, kMin, kMax},
  };
  for (const DivisorCase& c : cases) {
    SCOPED_TRACE("max " + std::to_string(c.maximum) + " min " + std::to_string(c.minimum));
    EXPECT_EQ(c.divisor, NormalizeDivisor(c.maximum, c.minimum));
  }
}

TEST(NormalizeDivisorTest, ClampedDivisorStillMapsTheLowestValueToMinusOne) {
  int32_t divisor = NormalizeDivisor(0, kMin);
  ASSERT_GT(divisor, 0);
  EXPECT_EQ(-1.0f, static_cast<float>(static_cast<double>(kMin) / divisor));
}

}  // namespace
