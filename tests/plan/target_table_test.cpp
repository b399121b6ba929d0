// Checks of the per-pass render-target tables.
#include <gtest/gtest.h>

#include <vector>

#include "plan/plan_decisions.h"

namespace {

PassTargets Targets(int32_t t0, int32_t t1 = -1, int32_t t2 = -1, int32_t t3 = -1) {
  PassTargets pass;
  pass.target[0] = t0;
  pass.target[1] = t1;
  pass.target[2] = t2;
  pass.target[3] = t3;
  return pass;
}

const char* Name(TargetFinding finding) {
  switch (finding) {
    case TargetFinding::ok:
      return "ok";
    case TargetFinding::missing_target:
      return "missing_target";
    case TargetFinding::duplicate_target:
      return "duplicate_target";
    case TargetFinding::pass_without_target:
      return "pass_without_target";
    case TargetFinding::negative_target:
      return "negative_target";
    case TargetFinding::target_gap:
      return "target_gap";
    case TargetFinding::technique_without_passes:
      return "technique_without_passes";
  }
  return "?";
}

struct PassCase {
  const char* label;
  PassTargets pass;
  size_t render_target_params;
  TargetFinding finding;
  uint32_t outputs;  // only meaningful when the finding is ok
};

TEST(TargetTableTest, OnePass) {
  const PassCase cases[] = {
      {"one output", Targets(0), 1, TargetFinding::ok, 1},
      {"four outputs", Targets(3, 2, 1, 0), 4, TargetFinding::ok, 4},
      // A target behind an output without one would never be bound.
      {"target behind a gap", Targets(0, -1, 1), 2, TargetFinding::target_gap, 0},
      {"only entry 1 set", Targets(-1, 1), 2, TargetFinding::target_gap, 0},
      {"gap found after the index check", Targets(-1, 7), 2, TargetFinding::target_gap, 0},
      {"index equal to the TxRT count", Targets(2), 2, TargetFinding::missing_target, 0},
      {"index far beyond", Targets(0, 31), 2, TargetFinding::missing_target, 0},
      {"no TxRT at all", Targets(0), 0, TargetFinding::missing_target, 0},
      {"same index twice", Targets(1, 1), 2, TargetFinding::duplicate_target, 0},
      {"duplicate behind a gap", Targets(0, -1, 0), 2, TargetFinding::duplicate_target, 0},
      {"missing checked before duplicate", Targets(5, 5), 2, TargetFinding::missing_target, 0},
      {"duplicate of an earlier entry", Targets(0, 1, 0), 2, TargetFinding::duplicate_target, 0},
      {"all four unset", Targets(-1), 2, TargetFinding::pass_without_target, 0},
      // Only -1 means "no target"; any other negative index is an error.
      {"another negative value", Targets(-5), 2, TargetFinding::negative_target, 0},
      {"negative value behind a target", Targets(0, -2), 2, TargetFinding::negative_target, 0},
  };
  for (const PassCase& c : cases) {
    SCOPED_TRACE(c.label);
    PassTargetCheck check = CheckPassTargets(c.pass, c.render_target_params);
    EXPECT_STREQ(Name(c.finding), Name(check.finding));
    if (c.finding == TargetFinding::ok) {
      EXPECT_EQ(c.outputs, check.outputs);
    }
  }
}

// passes < 0: one per entry of targets.
TechniquePlan Technique(std::vector<PassTargets> targets, int passes = -1) {
  TechniquePlan plan;
  plan.passes = passes < 0 ? static_cast<uint32_t>(targets.size()) : static_cast<uint32_t>(passes);
  plan.targets = std::move(targets);
  return plan;
}

struct TableCase {
  const char* label;
  std::vector<TechniquePlan> techniques;
  size_t render_target_params;
  uint32_t simultaneous;
  TargetFinding finding;
  bool too_many_outputs;
  uint32_t technique = 0, pass = 0;  // where the finding is
};

TEST(TargetTableTest, AllTechniques) {
  const TableCase cases[] = {
      {"no technique", {}, 0, 1, TargetFinding::ok, false},
      {"technique without targets", {Technique({}, 2)}, 0, 1, TargetFinding::ok, false},
      {"technique without passes", {Technique({}, 1), Technique({}, 0)}, 0, 1,
       TargetFinding::technique_without_passes, false, 1, 0},
      {"only pass 1 has a target",
       {Technique({Targets(-1), Targets(0), Targets(-1)})},
       1,
       1,
       TargetFinding::pass_without_target,
       false},
      {"gap in the third pass of the second technique",
       {Technique({Targets(0)}), Technique({Targets(0), Targets(1), Targets(-1, 0)})},
       2,
       4,
       TargetFinding::target_gap,
       false,
       1,
       2},
      {"two passes with four outputs, device with two",
       {Technique({Targets(0, 1, 2, 3), Targets(3, 2, 1, 0)})},
       4,
       2,
       TargetFinding::ok,
       true},
      {"four outputs, device with four",
       {Technique({Targets(0, 1, 2, 3), Targets(3, 2, 1, 0)})},
       4,
       4,
       TargetFinding::ok,
       false},
      {"shortage in the second technique",
       {Technique({Targets(0)}), Technique({Targets(0, 1)})},
       2,
       1,
       TargetFinding::ok,
       true},
      {"shortage before an error is still reported",
       {Technique({Targets(0, 1)}), Technique({Targets(2)})},
       2,
       1,
       TargetFinding::missing_target,
       true,
       1,
       0},
      {"error before the shortage stops the walk",
       {Technique({Targets(2)}), Technique({Targets(0, 1)})},
       2,
       1,
       TargetFinding::missing_target,
       false},
      {"first error wins",
       {Technique({Targets(1, 1)}), Technique({Targets(-1)})},
       2,
       4,
       TargetFinding::duplicate_target,
       false},
      {"device reporting zero targets", {Technique({Targets(0)})}, 1, 0, TargetFinding::ok, true},
  };
  for (const TableCase& c : cases) {
    SCOPED_TRACE(c.label);
    TargetTableCheck check =
        CheckTargetTables(c.techniques, c.render_target_params, c.simultaneous);
    EXPECT_STREQ(Name(c.finding), Name(check.finding));
    EXPECT_EQ(c.too_many_outputs, check.too_many_outputs);
    EXPECT_EQ(c.technique, check.technique);
    EXPECT_EQ(c.pass, check.pass);
  }
}

}  // namespace
