// The discovery state over repeated table requests: replaced texts and
// arrays stay valid until released, allocation failures, and teardown.
#include <cstring>

#include "discovery/discovery_fixture.h"

namespace discovery_test {
namespace {

// What the filter table points at after a successful request.
struct TableView {
  char* title;
  char* information;
  char* track_names;
  int32_t* track_defaults;
  int32_t* track_maxima;
  int32_t* track_minima;
  char* check_names;
  int32_t* check_defaults;
};

TableView Table(const EffectDiscoveryState& state) {
  return {state.title,        state.information,  state.track_names_block, state.track_defaults,
          state.track_maxima, state.track_minima, state.check_names_block, state.check_defaults};
}

// Reads through every pointer, so that the address sanitizer sees a use
// of a freed block.
std::string Contents(const TableView& table, size_t tracks, size_t checks) {
  std::string text = std::string(table.title) + "|" + table.information;
  char** track_slots = reinterpret_cast<char**>(table.track_names);
  for (size_t i = 0; i < tracks; ++i) {
    text += "|" + std::string(track_slots[i]) + ":" + std::to_string(table.track_defaults[i]) +
            "," + std::to_string(table.track_maxima[i]) + "," +
            std::to_string(table.track_minima[i]);
  }
  char** check_slots = reinterpret_cast<char**>(table.check_names);
  for (size_t i = 0; i < checks; ++i) {
    text += "|" + std::string(check_slots[i]) + ":" + std::to_string(table.check_defaults[i]);
  }
  return text;
}

class DiscoveryStateTest : public DiscoveryTest {
 protected:
  void SetUp() override {
    DiscoveryTest::SetUp();
    LoadFakeD3DX();
  }
  void FreeRetiredExcept(const TableView& t) {
    FreeRetired(state, {t.title, t.information, t.track_names, t.track_defaults, t.track_maxima,
                        t.track_minima, t.check_names, t.check_defaults});
  }
};

const char kFirstContents[] = "Blur|Gaussian blur, v1.2|Radius:3,20,0|Strength:0,0,1|Alpha:1";

TEST_F(DiscoveryStateTest, ReplacedBlocksStayValidUntilTheTableLetsGo) {
  fakes::SetEffectSource(kSourcePath, SampleEffect());
  ASSERT_TRUE(DiscoverEffect(state, kModulePath));
  TableView first = Table(state);
  ASSERT_EQ(kFirstContents, Contents(first, 2, 1));
  EXPECT_TRUE(state.retired.empty());

  fakes::SetEffectSource(kSourcePath, SampleEffect("Sharpen"));
  ASSERT_TRUE(DiscoverEffect(state, kModulePath));
  TableView second = Table(state);

  // The table still points at the first request's blocks until it is updated.
  EXPECT_EQ(kFirstContents, Contents(first, 2, 1));
  EXPECT_EQ(8u, state.retired.size());
  EXPECT_EQ("Sharpen|Gaussian blur, v1.2|Radius:3,20,0|Strength:0,0,1|Alpha:1",
            Contents(second, 2, 1));

  FreeRetiredExcept(second);
  EXPECT_TRUE(state.retired.empty());
  EXPECT_EQ(std::string("Sharpen"), Contents(second, 2, 1).substr(0, 7));
}

TEST_F(DiscoveryStateTest, FailedRequestKeepsWhatTheTableStillUses) {
  fakes::SetEffectSource(kSourcePath, SampleEffect());
  ASSERT_TRUE(DiscoverEffect(state, kModulePath));
  TableView table = Table(state);

  // The second request has read title and track arrays when it fails at
  // the check names block: nothing of it reaches the state, which still
  // matches what the table shows.
  fakes::SetEffectSource(kSourcePath, SampleEffect("Sharpen"));
  // Allocations: version block, title, display name, information, track
  // names, defaults, maxima, minima, check names.
  support::FailNothrowAllocation(9);
  EXPECT_FALSE(DiscoverEffect(state, kModulePath));
  support::FailNothrowAllocation(0);

  FreeRetiredExcept(table);
  EXPECT_TRUE(state.retired.empty());
  EXPECT_EQ(kFirstContents, Contents(table, 2, 1));
  EXPECT_EQ(kFirstContents,
            Contents(Table(state), state.track_descriptors.size(), state.check_descriptors.size()));
  // Teardown frees the retired blocks too; the leak checker of the address
  // sanitizer build reports any it missed.
}

TEST_F(DiscoveryStateTest, EachAllocationFailureIsHandled) {
  enum Outcome { kLoadFails, kDiscoveryFails };
  // The non-throwing allocations of one request, in order. A text fails the
  // request like an array: the table must not show one effect's controls
  // under another's title.
  const struct {
    const char* label;
    Outcome outcome;
  } cases[] = {
      {"D3DX path buffer", kLoadFails},    {"version block", kDiscoveryFails},
      {"title", kDiscoveryFails},          {"display name", kDiscoveryFails},
      {"information", kDiscoveryFails},    {"track names block", kDiscoveryFails},
      {"track defaults", kDiscoveryFails}, {"track maxima", kDiscoveryFails},
      {"track minima", kDiscoveryFails},   {"check names block", kDiscoveryFails},
      {"check defaults", kDiscoveryFails},
  };
  TearDownDiscoveryState(state);
  fakes::SetEffectSource(kSourcePath, SampleEffect());
  native_platform::RegisterLibrary(std::wstring(kModuleDirectory) + L"\\d3dx9_42.dll",
                                   fakes::D3DXLibrary());
  support::FailNothrowAllocation(0);
  ASSERT_TRUE(LoadD3DX(state));
  ASSERT_TRUE(DiscoverEffect(state, kModulePath));
  ASSERT_EQ(static_cast<int>(std::size(cases)), support::NothrowAllocations());

  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].label);
    TearDownDiscoveryState(state);
    native_platform::ClearMessageBoxes();
    support::FailNothrowAllocation(static_cast<int>(i) + 1);
    bool loaded = LoadD3DX(state);
    bool discovered = loaded && DiscoverEffect(state, kModulePath);
    support::FailNothrowAllocation(0);

    Outcome outcome = cases[i].outcome;
    EXPECT_EQ(outcome != kLoadFails, loaded);
    EXPECT_FALSE(discovered);
    EXPECT_TRUE(native_platform::MessageBoxes().empty());
    // Nothing of the failed read is left in the state.
    EXPECT_EQ(nullptr, state.title);
    EXPECT_EQ(nullptr, state.display_name);
    EXPECT_EQ(nullptr, state.information);
    EXPECT_TRUE(state.track_descriptors.empty());
    EXPECT_EQ(nullptr, state.check_defaults);
  }
}

// Records how many libraries were loaded when it went.
class WatchedBuffer : public fakes::FakeBuffer {
 public:
  explicit WatchedBuffer(int* libraries_at_release)
      : FakeBuffer({1, 2, 3}), libraries_at_release_(libraries_at_release) {}
  ~WatchedBuffer() override { *libraries_at_release_ = native_platform::LoadedLibraries(); }

 private:
  int* libraries_at_release_;
};

class WatchedCompiler : public fakes::FakeEffectCompiler {
 public:
  WatchedCompiler(const fakes::EffectDescription& description, int* libraries_at_release)
      : FakeEffectCompiler(kSourcePath, description.model()),
        libraries_at_release_(libraries_at_release) {}
  ~WatchedCompiler() override { *libraries_at_release_ = native_platform::LoadedLibraries(); }

 private:
  int* libraries_at_release_;
};

TEST_F(DiscoveryStateTest, TeardownReleasesD3DXObjectsBeforeUnloadingAndClearsEverything) {
  fakes::SetEffectSource(kSourcePath, SampleEffect());
  ASSERT_TRUE(DiscoverEffect(state, kModulePath));
  fakes::SetEffectSource(kSourcePath, SampleEffect("Second"));
  ASSERT_TRUE(DiscoverEffect(state, kModulePath));
  ASSERT_FALSE(state.retired.empty());
  int buffer_saw = -1;
  int compiler_saw = -1;
  state.compiled_effect = ComPtr<ID3DXBuffer>::Adopt(new WatchedBuffer(&buffer_saw));
  state.effect_compiler =
      ComPtr<ID3DXEffectCompiler>::Adopt(new WatchedCompiler(SampleEffect(), &compiler_saw));

  TearDownDiscoveryState(state);

  EXPECT_EQ(1, buffer_saw);
  EXPECT_EQ(1, compiler_saw);
  EXPECT_EQ(0, native_platform::LoadedLibraries());
  EXPECT_FALSE(state.compiled_effect);
  EXPECT_FALSE(state.effect_compiler);
  EXPECT_TRUE(state.track_descriptors.empty());
  EXPECT_TRUE(state.check_descriptors.empty());
  EXPECT_TRUE(state.retired.empty());
  for (const void* field :
       {static_cast<const void*>(state.track_names_block),
        static_cast<const void*>(state.track_defaults),
        static_cast<const void*>(state.track_maxima), static_cast<const void*>(state.track_minima),
        static_cast<const void*>(state.check_names_block),
        static_cast<const void*>(state.check_defaults), static_cast<const void*>(state.title),
        static_cast<const void*>(state.display_name), static_cast<const void*>(state.information),
        reinterpret_cast<const void*>(state.d3dx_module)}) {
    EXPECT_EQ(nullptr, field);
  }
  EXPECT_EQ(nullptr, state.create_effect_compiler_from_file);
  EXPECT_EQ(nullptr, state.create_effect);
  EXPECT_EQ(nullptr, state.create_buffer);
  EXPECT_EQ(0, state.version[0]);
  EXPECT_EQ(0, state.version[1]);
}

TEST_F(DiscoveryStateTest, FreeRetiredIgnoresNullAndUnknownPointers) {
  char* kept = new char[4];
  char* freed = new char[4];
  Retire(state, kept);
  Retire(state, nullptr);
  Retire(state, freed);
  int unrelated = 0;
  FreeRetired(state, {kept, nullptr, &unrelated});
  EXPECT_EQ(std::vector<void*>{kept}, state.retired);
  FreeRetired(state, {});
  EXPECT_TRUE(state.retired.empty());
}

}  // namespace
}  // namespace discovery_test
