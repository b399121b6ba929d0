// Track bars, check boxes, title and information read from annotations, and
// the arrays laid out for the filter table.
#include <cstring>

#include "discovery/discovery_fixture.h"
#include "discovery/filter_controls.h"

namespace discovery_test {
namespace {

using fakes::EffectDescription;

class ControlsTest : public DiscoveryTest {
 protected:
  // An annotation source that reads the description, like the compiler does.
  ComPtr<ID3DXBaseEffect> Source(const EffectDescription& description) {
    return ComPtr<ID3DXBaseEffect>::Adopt(
        new fakes::FakeEffectCompiler(kSourcePath, description.model()));
  }
  // One read into a face, committed into the state when it succeeds, as a
  // discovery does.
  template <typename Read>
  bool ReadAndCommit(Read read, ID3DXBaseEffect* source) {
    FilterFace face(state);
    if (!read(face, source)) return false;
    CommitFilterFace(state, face);
    return true;
  }
  bool ReadTracks(ID3DXBaseEffect* source) { return ReadAndCommit(ReadTrackControls, source); }
  bool ReadChecks(ID3DXBaseEffect* source) { return ReadAndCommit(ReadCheckControls, source); }
  bool ReadVersion(ID3DXBaseEffect* source) {
    return ReadAndCommit(ReadVersionTitleInformation, source);
  }
  std::vector<std::string> TrackNames() const {
    std::vector<std::string> names;
    for (auto& d : state.track_descriptors) names.push_back(d.name);
    return names;
  }
};

std::vector<std::string> Numbered(const char* prefix, int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back(prefix + std::to_string(i));
  return names;
}

TEST_F(ControlsTest, TrackNumberingStopsAtFirstGapAndAt32) {
  const struct {
    const char* label;
    std::vector<std::string> parameters;
    std::vector<std::string> expected;
  } cases[] = {
      {"Track0 and Track2 without Track1", {"Track0", "Track2"}, {"Track0"}},
      {"no Track0", {"Track1", "Track2"}, {}},
      {"33 tracks", Numbered("Track", 33), Numbered("Track", 32)},
      {"lower case is another name", {"track0"}, {}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.label);
    TearDownDiscoveryState(state);
    EffectDescription effect;
    for (auto& name : c.parameters) effect.Int(name);
    EXPECT_TRUE(ReadTracks(Source(effect).get()));
    EXPECT_EQ(c.expected, TrackNames());
    EXPECT_EQ(c.expected.empty(), state.track_names_block == nullptr);
  }
}

TEST_F(ControlsTest, CheckNumberingStopsAtFirstGapAndAt32) {
  const struct {
    const char* label;
    std::vector<std::string> parameters;
    size_t expected;
  } cases[] = {
      {"Check0 and Check2 without Check1", {"Check0", "Check2"}, 1},
      {"33 checks", Numbered("Check", 33), 32},
      {"none", {"Track0"}, 0},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.label);
    TearDownDiscoveryState(state);
    EffectDescription effect;
    for (auto& name : c.parameters) effect.Bool(name);
    EXPECT_TRUE(ReadChecks(Source(effect).get()));
    ASSERT_EQ(c.expected, state.check_descriptors.size());
    for (size_t i = 0; i < c.expected; ++i) {
      EXPECT_EQ("Check" + std::to_string(i), state.check_descriptors[i].name);
    }
  }
}

TEST_F(ControlsTest, TrackAnnotationsAndTheirDefaults) {
  struct Expected {
    std::string name;
    int32_t default_value, maximum, minimum;
    std::string usage;
  };
  const struct {
    const char* label;
    void (*declare)(fakes::ParameterBuilder&);
    Expected expected;
  } cases[] = {
      {"only a name",
       [](fakes::ParameterBuilder& p) { p.Annotate("name", "Radius"); },
       {"Radius", 0, 0, 1, ""}},
      {"everything",
       [](fakes::ParameterBuilder& p) {
         p.Annotate("name", "Radius")
             .Annotate("def", 5)
             .Annotate("max", 100)
             .Annotate("min", -100)
             .Annotate("usage", "normalize");
       },
       {"Radius", 5, 100, -100, "normalize"}},
      {"unordered range is kept as written",
       [](fakes::ParameterBuilder& p) {
         p.Annotate("def", 50).Annotate("max", 1).Annotate("min", 9);
       },
       {"Track0", 50, 1, 9, ""}},
      {"name that is no string",
       [](fakes::ParameterBuilder& p) { p.Annotate("name", 7).Annotate("def", 2); },
       {"Track0", 2, 0, 1, ""}},
      {"numbers that are strings",
       [](fakes::ParameterBuilder& p) {
         p.Annotate("def", "5").Annotate("max", "10").Annotate("min", "-3");
       },
       {"Track0", 0, 0, 1, ""}},
      {"numbers converted like D3DX",
       [](fakes::ParameterBuilder& p) {
         p.Annotate("def", 2.75f).Annotate("max", true).Annotate("min", -4.5f);
       },
       {"Track0", 2, 1, -4, ""}},
      {"arrays do not read as one integer",
       [](fakes::ParameterBuilder& p) {
         p.Annotate("max", std::vector<int>{3, 4}).Annotate("min", std::vector<int>{-4});
       },
       {"Track0", 0, 0, 1, ""}},
      {"usage that is no string",
       [](fakes::ParameterBuilder& p) { p.Annotate("usage", 1); },
       {"Track0", 0, 0, 1, ""}},
      {"names are case-sensitive",
       [](fakes::ParameterBuilder& p) { p.Annotate("Name", "X").Annotate("DEF", 4); },
       {"Track0", 0, 0, 1, ""}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.label);
    EffectDescription effect;
    c.declare(effect.Int("Track0", 77));
    ASSERT_TRUE(ReadTracks(Source(effect).get()));
    ASSERT_EQ(1u, state.track_descriptors.size());
    const TrackDescriptor& d = state.track_descriptors[0];
    EXPECT_EQ(c.expected.name, d.name);
    EXPECT_EQ(c.expected.default_value, d.default_value);
    EXPECT_EQ(c.expected.maximum, d.maximum);
    EXPECT_EQ(c.expected.minimum, d.minimum);
    EXPECT_EQ(c.expected.usage, d.usage);
    EXPECT_EQ(c.expected.default_value, state.track_defaults[0]);
    EXPECT_EQ(c.expected.maximum, state.track_maxima[0]);
    EXPECT_EQ(c.expected.minimum, state.track_minima[0]);
  }
}

TEST_F(ControlsTest, FailedAnnotationReadsKeepDefaults) {
  const char* const points[] = {"ID3DXEffectCompiler::GetString", "ID3DXEffectCompiler::GetInt"};
  for (const char* point : points) {
    SCOPED_TRACE(point);
    EffectDescription effect;
    effect.Int("Track0").Annotate("name", "Radius").Annotate("def", 5);
    ComPtr<ID3DXBaseEffect> source = Source(effect);
    fakes::FailCall(point, 1, E_FAIL);
    ASSERT_TRUE(ReadTracks(source.get()));
    const TrackDescriptor& d = state.track_descriptors[0];
    EXPECT_EQ(point == points[0] ? "Track0" : "Radius", d.name);
    EXPECT_EQ(point == points[0] ? 5 : 0, d.default_value);
  }
}

TEST_F(ControlsTest, CheckAnnotationsAndTheirDefaults) {
  const struct {
    const char* label;
    void (*declare)(fakes::ParameterBuilder&);
    std::string name;
    int32_t default_value;
    std::string usage;
  } cases[] = {
      {"nothing", [](fakes::ParameterBuilder&) {}, "Check0", 0, ""},
      {"checked",
       [](fakes::ParameterBuilder& p) {
         p.Annotate("name", "Alpha").Annotate("def", true).Annotate("usage", "odd");
       },
       "Alpha", 1, "odd"},
      {"integer default reads as boolean", [](fakes::ParameterBuilder& p) { p.Annotate("def", 5); },
       "Check0", 1, ""},
      {"zero", [](fakes::ParameterBuilder& p) { p.Annotate("def", 0); }, "Check0", 0, ""},
      {"string default is unreadable", [](fakes::ParameterBuilder& p) { p.Annotate("def", "1"); },
       "Check0", 0, ""},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.label);
    EffectDescription effect;
    c.declare(effect.Bool("Check0"));
    ASSERT_TRUE(ReadChecks(Source(effect).get()));
    ASSERT_EQ(1u, state.check_descriptors.size());
    EXPECT_EQ(c.name, state.check_descriptors[0].name);
    EXPECT_EQ(c.default_value, state.check_descriptors[0].default_value);
    EXPECT_EQ(c.usage, state.check_descriptors[0].usage);
    EXPECT_EQ(c.default_value, state.check_defaults[0]);
  }
}

TEST_F(ControlsTest, NamesBlockHoldsSlotsThenNames) {
  EffectDescription effect;
  effect.Int("Track0").Annotate("name", "Radius");
  effect.Int("Track1");
  effect.Int("Track2").Annotate("name", "");
  ASSERT_TRUE(ReadTracks(Source(effect).get()));

  char* block = state.track_names_block;
  char** slots = reinterpret_cast<char**>(block);
  const size_t slot_bytes = 32 * sizeof(char*);
  EXPECT_EQ(block + slot_bytes, slots[0]);
  EXPECT_EQ(block + slot_bytes + 7, slots[1]);
  EXPECT_EQ(block + slot_bytes + 14, slots[2]);
  const char expected[] = "Radius\0Track1\0";
  EXPECT_EQ(0, std::memcmp(block + slot_bytes, expected, sizeof(expected)));
  EXPECT_STREQ("", slots[2]);
}

TEST_F(ControlsTest, NoControlsLeaveThePreviousArrays) {
  EffectDescription first;
  first.Int("Track0");
  first.Bool("Check0");
  ASSERT_TRUE(ReadTracks(Source(first).get()));
  ASSERT_TRUE(ReadChecks(Source(first).get()));
  char* track_names = state.track_names_block;
  int32_t* check_defaults = state.check_defaults;

  EffectDescription none;
  ASSERT_TRUE(ReadTracks(Source(none).get()));
  ASSERT_TRUE(ReadChecks(Source(none).get()));

  EXPECT_TRUE(state.track_descriptors.empty());
  EXPECT_TRUE(state.check_descriptors.empty());
  EXPECT_EQ(track_names, state.track_names_block);
  EXPECT_EQ(check_defaults, state.check_defaults);
  EXPECT_TRUE(state.retired.empty());
}

TEST_F(ControlsTest, VersionTitleAndInformation) {
  const struct {
    const char* label;
    void (*declare)(EffectDescription&);
    const char* title;        // null: unchanged from "Old title"
    const char* information;  // null: unchanged from "Old information"
    int32_t major, minor;
  } cases[] = {
      {"no FilterVersion", [](EffectDescription& e) { e.Int("Track0"); }, nullptr, nullptr, 9, 9},
      {"name and ex_info",
       [](EffectDescription& e) {
         e.IntArray("FilterVersion", {1, 2, 3, 4})
             .Annotate("name", "Blur")
             .Annotate("ex_info", "Blur");
       },
       "Blur", "Blur, v1.2", 1, 2},
      {"without ex_info",
       [](EffectDescription& e) {
         e.IntArray("FilterVersion", {3, 0, 0, 0}).Annotate("name", "X");
       },
       "X", nullptr, 3, 0},
      {"unreadable version keeps the previous one",
       [](EffectDescription& e) { e.String("FilterVersion", "1.2").Annotate("ex_info", "Info"); },
       nullptr, "Info, v9.9", 9, 9},
      {"short version array reads what it holds",
       [](EffectDescription& e) {
         e.IntArray("FilterVersion", {5, 6}).Annotate("ex_info", "I");
       },
       nullptr, "I, v5.6", 5, 6},
      {"single number is the major version",
       [](EffectDescription& e) { e.Int("FilterVersion", 4).Annotate("ex_info", "I"); }, nullptr,
       "I, v4.9", 4, 9},
      {"extreme numbers fit the suffix",
       [](EffectDescription& e) {
         e.IntArray("FilterVersion", {-2147483647 - 1, -2147483647 - 1, 0, 0})
             .Annotate("ex_info", "I");
       },
       nullptr, "I, v-2147483648.-2147483648", -2147483647 - 1, -2147483647 - 1},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.label);
    TearDownDiscoveryState(state);
    EffectDescription previous;
    previous.IntArray("FilterVersion", {9, 9, 0, 0})
        .Annotate("name", "Old title")
        .Annotate("ex_info", "Old information");
    ASSERT_TRUE(ReadVersion(Source(previous).get()));
    EffectDescription effect;
    c.declare(effect);

    EXPECT_TRUE(ReadVersion(Source(effect).get()));

    EXPECT_STREQ(c.title ? c.title : "Old title", state.title);
    EXPECT_STREQ(c.information ? c.information : "Old information, v9.9", state.information);
    EXPECT_EQ(c.major, state.version[0]);
    EXPECT_EQ(c.minor, state.version[1]);
  }
}

TEST_F(ControlsTest, FirstReadOfUnreadableVersionGivesZeroSuffix) {
  EffectDescription effect;
  effect.Float("FilterVersion", 1.5f).Annotate("ex_info", "Sharpen");
  fakes::FailCall("ID3DXEffectCompiler::GetIntArray", 1, E_FAIL);
  ASSERT_TRUE(ReadVersion(Source(effect).get()));
  EXPECT_STREQ("Sharpen, v0.0", state.information);
  EXPECT_EQ(nullptr, state.title);
}

TEST_F(ControlsTest, TitleThatIsNoStringClearsTheTitle) {
  EffectDescription previous;
  previous.Int("FilterVersion").Annotate("name", "Old");
  ASSERT_TRUE(ReadVersion(Source(previous).get()));
  EffectDescription effect;
  effect.Int("FilterVersion").Annotate("name", 3);
  ASSERT_TRUE(ReadVersion(Source(effect).get()));
  EXPECT_EQ(nullptr, state.title);
  EXPECT_EQ(nullptr, state.display_name);
}

TEST_F(ControlsTest, JapaneseTitleBecomesDisplayName) {
  // "ぼかし" in Shift-JIS, as the host and the effect file use it.
  const std::string shift_jis = "\x82\xda\x82\xa9\x82\xb5";
  EffectDescription effect;
  effect.Int("FilterVersion").Annotate("name", shift_jis.c_str());
  ASSERT_TRUE(ReadVersion(Source(effect).get()));
  EXPECT_STREQ(shift_jis.c_str(), state.title);
  ASSERT_NE(nullptr, state.display_name);
  EXPECT_EQ(std::wstring(L"\u307c\u304b\u3057"), std::wstring(state.display_name));
}

TEST_F(ControlsTest, FailedConversionLeavesOnlyTheNarrowTitle) {
  EffectDescription effect;
  effect.Int("FilterVersion").Annotate("name", "Blur");
  native_platform::FailWin32Call("MultiByteToWideChar", 1);
  ASSERT_TRUE(ReadVersion(Source(effect).get()));
  EXPECT_STREQ("Blur", state.title);
  EXPECT_EQ(nullptr, state.display_name);
}

TEST_F(ControlsTest, NoAnnotationSourceFails) {
  EXPECT_FALSE(ReadVersion(nullptr));
  EXPECT_FALSE(ReadTracks(nullptr));
  EXPECT_FALSE(ReadChecks(nullptr));
}

}  // namespace
}  // namespace discovery_test
