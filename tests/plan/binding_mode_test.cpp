// Usage word → binding mode, and which control gets the technique selection.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plan/plan_decisions.h"

namespace {

struct UsageCase {
  const char* usage;
  BindingMode track_mode;
  BindingMode check_mode;
};

TEST(BindingModeTest, EachUsageWordGivesItsModeForTracksAndChecks) {
  const UsageCase cases[] = {
      {"normalize", normalize, normalize},
      {"even", even, normalize},
      {"odd", odd, odd},
      {"odd0", odd_with_zero, odd},
      {"technique", technique, technique},
      // Words match exactly and case-sensitively; the rest is plain.
      {"Normalize", plain, plain},
      {"EVEN", plain, plain},
      {"odd ", plain, plain},
      {" odd", plain, plain},
      {"odd00", plain, plain},
      {"Technique", plain, plain},
      {"", plain, plain},
      {"width", plain, plain},
  };
  for (const UsageCase& c : cases) {
    SCOPED_TRACE(std::string("usage \"") + c.usage + "\"");
    bool technique_seen = false;
    EXPECT_EQ(c.track_mode, TrackModeForUsage(c.usage, technique_seen));
    EXPECT_EQ(c.track_mode == technique, technique_seen);
    technique_seen = false;
    EXPECT_EQ(c.check_mode, CheckModeForUsage(c.usage, technique_seen));
    EXPECT_EQ(c.check_mode == technique, technique_seen);
  }
}

TEST(BindingModeTest, MissingUsageIsPlainAndLeavesTheTechniqueFlag) {
  bool technique_seen = false;
  EXPECT_EQ(plain, TrackModeForUsage(nullptr, technique_seen));
  EXPECT_EQ(plain, CheckModeForUsage(nullptr, technique_seen));
  EXPECT_FALSE(technique_seen);
  technique_seen = true;
  EXPECT_EQ(plain, TrackModeForUsage("", technique_seen));
  EXPECT_TRUE(technique_seen);
}

enum class Kind { track, check };

struct Control {
  Kind kind;
  const char* usage;
};

// Binds controls the way the plan does: all tracks first, then all checks,
// one flag for both.
std::vector<BindingMode> Bind(const std::vector<Control>& tracks,
                              const std::vector<Control>& checks) {
  std::vector<BindingMode> modes;
  bool technique_seen = false;
  for (const Control& c : tracks) modes.push_back(TrackModeForUsage(c.usage, technique_seen));
  for (const Control& c : checks) modes.push_back(CheckModeForUsage(c.usage, technique_seen));
  return modes;
}

struct PrecedenceCase {
  const char* label;
  std::vector<Control> tracks;
  std::vector<Control> checks;
  std::vector<BindingMode> expected;
};

TEST(BindingModeTest, OnlyTheFirstTechniqueControlSelects) {
  const PrecedenceCase cases[] = {
      {"track then check",
       {{Kind::track, "technique"}},
       {{Kind::check, "technique"}},
       {technique, ignored}},
      {"two tracks",
       {{Kind::track, "technique"}, {Kind::track, "technique"}},
       {},
       {technique, ignored}},
      {"plain track, then two checks",
       {{Kind::track, "normalize"}},
       {{Kind::check, "technique"}, {Kind::check, "technique"}},
       {normalize, technique, ignored}},
      {"later track still wins over an earlier-index check",
       {{Kind::track, ""}, {Kind::track, "technique"}},
       {{Kind::check, "technique"}},
       {plain, technique, ignored}},
      {"an ignored technique leaves other words alone",
       {{Kind::track, "technique"}, {Kind::track, "technique"}, {Kind::track, "odd0"}},
       {{Kind::check, "odd0"}},
       {technique, ignored, odd_with_zero, odd}},
  };
  for (const PrecedenceCase& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(c.expected, Bind(c.tracks, c.checks));
  }
}

}  // namespace
