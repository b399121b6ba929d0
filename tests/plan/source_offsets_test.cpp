// Distinct source offsets in ascending signed order.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "plan/plan_decisions.h"

namespace {

struct OffsetCase {
  const char* label;
  std::vector<int32_t> offsets;
  std::vector<int32_t> distinct;
  bool includes_current;
};

TEST(SourceOffsetsTest, SortedAscendingEachOnce) {
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  const OffsetCase cases[] = {
      {"example", {2, -1, 0, 2}, {-1, 0, 2}, true},
      {"none", {}, {}, false},
      {"single current", {0}, {0}, true},
      {"all the same", {3, 3, 3}, {3}, false},
      {"descending", {5, 4, -4, -5}, {-5, -4, 4, 5}, false},
      {"duplicates apart", {1, -2, 1, -2, 0}, {-2, 0, 1}, true},
      // Signed order: an unsigned sort would put the negatives last.
      {"extremes", {kMax, -1, kMin, 1}, {kMin, -1, 1, kMax}, false},
  };
  for (const OffsetCase& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<int32_t> distinct = DistinctAscending(c.offsets);
    EXPECT_EQ(c.distinct, distinct);
    EXPECT_EQ(c.includes_current, IncludesCurrentFrame(distinct));
  }
}

}  // namespace
