// The D3DX search: directories, version order, skipped candidates, entry
// points, and what a repeated load releases.
#include "discovery/discovery_fixture.h"
#include "support/user_texts.h"

namespace discovery_test {
namespace {

using native_platform::FakeLibrary;

std::wstring ModuleLibrary(int version) {
  return std::wstring(kModuleDirectory) + L"\\d3dx9_" + std::to_wstring(version) + L".dll";
}
std::wstring SystemLibrary(int version) {
  return std::wstring(kSystemDirectory) + L"\\d3dx9_" + std::to_wstring(version) + L".dll";
}

FakeLibrary Unloadable() {
  FakeLibrary library = fakes::D3DXLibrary();
  library.load_fails = true;
  return library;
}

class D3DXLoaderTest : public DiscoveryTest {};

TEST_F(D3DXLoaderTest, SearchesModuleDirectoryThenSystemDirectoryNewestFirst) {
  struct Case {
    const char* label;
    std::vector<std::pair<std::wstring, FakeLibrary>> libraries;
    std::vector<std::wstring> plain_files;  // exist, but are no library
    bool module_path_known;
    std::vector<std::wstring> expected_attempts;
    bool loads;
  };
  const Case cases[] = {
      {"module directory wins over a newer-or-equal system copy",
       {{ModuleLibrary(42), fakes::D3DXLibrary()}, {SystemLibrary(42), fakes::D3DXLibrary()}},
       {},
       true,
       {ModuleLibrary(42)},
       true},
      {"an older version in the module directory still wins",
       {{ModuleLibrary(38), fakes::D3DXLibrary()}, {SystemLibrary(42), fakes::D3DXLibrary()}},
       {},
       true,
       {ModuleLibrary(38)},
       true},
      {"newest first within a directory",
       {{SystemLibrary(39), fakes::D3DXLibrary()}, {SystemLibrary(41), fakes::D3DXLibrary()}},
       {},
       true,
       {SystemLibrary(41)},
       true},
      {"failed load is skipped silently",
       {{ModuleLibrary(40), Unloadable()}, {ModuleLibrary(39), fakes::D3DXLibrary()}},
       {},
       true,
       {ModuleLibrary(40), ModuleLibrary(39)},
       true},
      {"a plain file of the right name is skipped",
       {{SystemLibrary(38), fakes::D3DXLibrary()}},
       {ModuleLibrary(42)},
       true,
       {ModuleLibrary(42), SystemLibrary(38)},
       true},
      {"unknown module path leaves the system directory",
       {{ModuleLibrary(42), fakes::D3DXLibrary()}, {SystemLibrary(40), fakes::D3DXLibrary()}},
       {},
       false,
       {SystemLibrary(40)},
       true},
      {"versions 43 and 37 are never tried",
       {{ModuleLibrary(43), fakes::D3DXLibrary()},
        {SystemLibrary(43), fakes::D3DXLibrary()},
        {SystemLibrary(37), fakes::D3DXLibrary()}},
       {},
       true,
       {},
       false},
      {"every candidate fails to load",
       {{ModuleLibrary(42), Unloadable()}, {SystemLibrary(38), Unloadable()}},
       {},
       true,
       {ModuleLibrary(42), SystemLibrary(38)},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    native_platform::ResetPlatform();
    for (auto& library : c.libraries)
      native_platform::RegisterLibrary(library.first, library.second);
    for (auto& file : c.plain_files) native_platform::SetFile(file, std::string("MZ"));
    if (!c.module_path_known) native_platform::SetModulePath(L"");

    EXPECT_EQ(c.loads, LoadD3DX(state));

    std::vector<std::wstring> attempts;
    for (auto& attempt : native_platform::LoadAttempts()) {
      attempts.push_back(attempt.path);
      EXPECT_EQ(static_cast<DWORD>(LOAD_WITH_ALTERED_SEARCH_PATH), attempt.flags);
    }
    EXPECT_EQ(c.expected_attempts, attempts);
    EXPECT_EQ(c.loads ? 1 : 0, native_platform::LoadedLibraries());
    EXPECT_EQ(c.loads, state.d3dx_module != nullptr);
    EXPECT_EQ(c.loads, state.create_effect_compiler_from_file != nullptr);
    EXPECT_EQ(c.loads, state.create_effect != nullptr);
    EXPECT_EQ(c.loads, state.create_buffer != nullptr);
    if (c.loads) {
      EXPECT_TRUE(native_platform::MessageBoxes().empty());
    } else {
      EXPECT_EQ(std::vector<std::wstring>{user_text::kD3DXNotFound}, MessageTexts());
      ExpectDiscoveryStyle();
    }
    TearDownDiscoveryState(state);
    EXPECT_EQ(0, native_platform::LoadedLibraries());
  }
}

TEST_F(D3DXLoaderTest, EntryPointsAreTheLibrarysOwn) {
  LoadFakeD3DX();
  EXPECT_EQ(&fakes::D3DXCreateEffectCompilerFromFileW, state.create_effect_compiler_from_file);
  EXPECT_EQ(&fakes::D3DXCreateEffect, state.create_effect);
  EXPECT_EQ(&fakes::D3DXCreateBuffer, state.create_buffer);
}

TEST_F(D3DXLoaderTest, MissingEntryPointUnloadsTheLibraryWithoutMessage) {
  for (const char* omitted :
       {"D3DXCreateEffectCompilerFromFileW", "D3DXCreateEffect", "D3DXCreateBuffer"}) {
    SCOPED_TRACE(omitted);
    native_platform::ResetPlatform();
    native_platform::RegisterLibrary(ModuleLibrary(42), fakes::D3DXLibrary(omitted));
    native_platform::RegisterLibrary(SystemLibrary(42), fakes::D3DXLibrary());

    EXPECT_FALSE(LoadD3DX(state));

    // The search ended with the first library that loaded.
    ASSERT_EQ(1u, native_platform::LoadAttempts().size());
    EXPECT_EQ(0, native_platform::LoadedLibraries());
    EXPECT_EQ(nullptr, state.d3dx_module);
    EXPECT_EQ(nullptr, state.create_effect_compiler_from_file);
    EXPECT_EQ(nullptr, state.create_effect);
    EXPECT_EQ(nullptr, state.create_buffer);
    EXPECT_TRUE(native_platform::MessageBoxes().empty());
  }
}

TEST_F(D3DXLoaderTest, PathBufferAllocationFailureFailsSilently) {
  native_platform::RegisterLibrary(ModuleLibrary(42), fakes::D3DXLibrary());
  support::FailNothrowAllocation(1);
  EXPECT_FALSE(LoadD3DX(state));
  EXPECT_TRUE(native_platform::LoadAttempts().empty());
  EXPECT_TRUE(native_platform::MessageBoxes().empty());
  EXPECT_EQ(nullptr, state.d3dx_module);
}

TEST_F(D3DXLoaderTest, RepeatedLoadReleasesD3DXObjectsAndUnloadsFirst) {
  LoadFakeD3DX();
  fakes::SetEffectSource(kSourcePath, SampleEffect());
  ASSERT_TRUE(DiscoverEffect(state, kModulePath));
  ASSERT_TRUE(state.compiled_effect);
  ASSERT_TRUE(state.effect_compiler);
  int live_with_objects = fakes::LiveObjects();

  ASSERT_TRUE(LoadD3DX(state));

  EXPECT_FALSE(state.compiled_effect);
  EXPECT_FALSE(state.effect_compiler);
  EXPECT_EQ(live_with_objects - 2, fakes::LiveObjects());
  // The old handle was freed before the new load: one reference in all.
  EXPECT_EQ(1, native_platform::LoadedLibraries());
  EXPECT_EQ(2u, native_platform::LoadAttempts().size());
}

TEST_F(D3DXLoaderTest, FailedRepeatedLoadLeavesNothingLoaded) {
  LoadFakeD3DX();
  native_platform::RegisterLibrary(ModuleLibrary(42), Unloadable());
  EXPECT_FALSE(LoadD3DX(state));
  EXPECT_EQ(0, native_platform::LoadedLibraries());
  EXPECT_EQ(nullptr, state.d3dx_module);
  EXPECT_EQ(nullptr, state.create_effect);
  EXPECT_EQ(std::vector<std::wstring>{user_text::kD3DXNotFound}, MessageTexts());
}

}  // namespace
}  // namespace discovery_test
