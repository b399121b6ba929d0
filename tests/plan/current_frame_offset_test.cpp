// Whether validation appends the current frame's offset, and when that
// earns the "TxRT0" warning.
#include <gtest/gtest.h>

#include "plan/plan_decisions.h"

namespace {

struct AppendCase {
  const char* label;
  bool tx_tmp;
  size_t render_target_params;
  size_t source_offsets;
  bool append;
  bool warn;
};

TEST(CurrentFrameOffsetTest, AppendedOnlyWhenSomethingReadsTheFrame) {
  const AppendCase cases[] = {
      {"no TxSrc, no TxTmp, one TxRT", false, 1, 0, true, true},
      {"no TxSrc, TxTmp and one TxRT", true, 1, 0, true, false},
      {"no TxSrc, TxTmp only", true, 0, 0, true, false},
      {"no TxSrc, two TxRT", false, 2, 0, true, false},
      {"nothing reads an image", false, 0, 0, false, false},
      {"TxSrc present", false, 1, 1, false, false},
      {"TxSrc and TxTmp present", true, 3, 2, false, false},
  };
  for (const AppendCase& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(c.append,
              ShouldAppendCurrentFrameOffset(c.tx_tmp, c.render_target_params, c.source_offsets));
    if (c.append) {
      size_t slots = RenderTargetSlotCount(c.render_target_params, c.tx_tmp);
      EXPECT_EQ(c.warn, WarnOnlyTxRT0(slots, c.render_target_params));
    }
  }
}

TEST(CurrentFrameOffsetTest, WarningNeedsExactlyOneSlotAndOneParameter) {
  EXPECT_TRUE(WarnOnlyTxRT0(1, 1));
  EXPECT_FALSE(WarnOnlyTxRT0(2, 1));
  EXPECT_FALSE(WarnOnlyTxRT0(1, 0));
  EXPECT_FALSE(WarnOnlyTxRT0(2, 2));
}

}  // namespace
