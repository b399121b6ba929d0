// Number of render-target slots from the TxRT parameters and "TxTmp".
#include <gtest/gtest.h>

#include <string>

#include "plan/plan_decisions.h"

namespace {

struct SlotCase {
  size_t params;
  bool tx_tmp;
  size_t slots;
};

TEST(RenderTargetSlotsTest, OnePerParameterWithAFloorOfOneOrTwo) {
  const SlotCase cases[] = {
      {0, false, 1}, {0, true, 2}, {1, false, 1}, {1, true, 2},   {2, false, 2},
      {2, true, 2},  {3, true, 3}, {5, false, 5}, {32, true, 32},
  };
  for (const SlotCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.params) + " TxRT, TxTmp " + (c.tx_tmp ? "yes" : "no"));
    EXPECT_EQ(c.slots, RenderTargetSlotCount(c.params, c.tx_tmp));
  }
}

}  // namespace
