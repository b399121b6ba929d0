// Obtaining the compiled effect: the ".fxo" before the ".fx", the temporary
// pre objects, the compiler's arguments and messages, the path cut.
#include "discovery/compiled_effect.h"

#include <cstring>

#include "discovery/discovery_fixture.h"
#include "support/user_texts.h"

namespace discovery_test {
namespace {

class CompiledEffectTest : public DiscoveryTest {
 protected:
  void SetUp() override {
    DiscoveryTest::SetUp();
    LoadFakeD3DX();
  }
  std::wstring Title() const { return state.display_name ? state.display_name : L"(none)"; }
};

TEST_F(CompiledEffectTest, PrecompiledFileIsPreferredOverSource) {
  std::vector<uint8_t> bytes = fakes::CompiledBytes(SampleEffect("Precompiled"));
  native_platform::SetFile(kPrecompiledPath, bytes);
  fakes::SetEffectSource(kSourcePath, SampleEffect("Source"));

  ASSERT_TRUE(DiscoverEffect(state, kModulePath));

  EXPECT_EQ(L"Precompiled", Title());
  EXPECT_TRUE(fakes::CompilerCreateCalls().empty());
  EXPECT_FALSE(state.effect_compiler);
  ASSERT_TRUE(state.compiled_effect);
  ASSERT_EQ(bytes.size(), state.compiled_effect->GetBufferSize());
  EXPECT_EQ(0, std::memcmp(bytes.data(), state.compiled_effect->GetBufferPointer(), bytes.size()));
  EXPECT_EQ(std::vector<DWORD>{static_cast<DWORD>(bytes.size())}, fakes::CreateBufferCalls());
  EXPECT_TRUE(native_platform::MessageBoxes().empty());
}

TEST_F(CompiledEffectTest, PreObjectsAreMadeAsRequiredAndReleased) {
  native_platform::SetFile(kPrecompiledPath, fakes::CompiledBytes(SampleEffect()));
  int live_before = fakes::LiveObjects();

  ASSERT_TRUE(DiscoverEffect(state, kModulePath));

  EXPECT_EQ(std::vector<UINT>{32}, native_platform::Direct3DCreateCalls());
  ASSERT_EQ(1u, device_calls.size());
  const CreateDeviceCall& device = device_calls[0];
  EXPECT_EQ(0u, device.adapter);
  EXPECT_EQ(D3DDEVTYPE_HAL, device.device_type);
  EXPECT_EQ(native_platform::DesktopWindow(), device.focus_window);
  EXPECT_EQ(0x824u, device.behavior_flags);
  D3DPRESENT_PARAMETERS expected = {};
  expected.BackBufferFormat = D3DFMT_UNKNOWN;
  expected.SwapEffect = D3DSWAPEFFECT_DISCARD;
  expected.Windowed = TRUE;
  EXPECT_EQ(0, std::memcmp(&expected, &device.parameters, sizeof(expected)));

  ASSERT_EQ(1u, fakes::CreateEffectCalls().size());
  const fakes::CreateEffectCall& effect = fakes::CreateEffectCalls()[0];
  EXPECT_NE(nullptr, effect.device);
  EXPECT_EQ(state.compiled_effect->GetBufferSize(), effect.size);
  EXPECT_EQ(nullptr, effect.defines);
  EXPECT_EQ(nullptr, effect.include);
  EXPECT_EQ(0x20800u, effect.flags);
  EXPECT_EQ(nullptr, effect.pool);
  EXPECT_FALSE(effect.error_buffer_requested);
  // Only the compiled effect outlives the discovery.
  EXPECT_TRUE(fakes::LiveEffects().empty());
  EXPECT_EQ(live_before + 1, fakes::LiveObjects());
}

TEST_F(CompiledEffectTest, EmptyOrForeignPrecompiledFileFailsWithoutTryingSource) {
  const struct {
    const char* label;
    std::string contents;
  } cases[] = {{"empty", ""}, {"foreign", "DXBC not an effect at all"}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.label);
    native_platform::ClearMessageBoxes();
    native_platform::SetFile(kPrecompiledPath, c.contents);
    fakes::SetEffectSource(kSourcePath, SampleEffect());

    EXPECT_FALSE(DiscoverEffect(state, kModulePath));

    EXPECT_EQ(std::vector<std::wstring>{user_text::kPreEffectFailed}, MessageTexts());
    ExpectDiscoveryStyle();
    EXPECT_TRUE(fakes::CompilerCreateCalls().empty());
    // The compiled effect is kept; the pre objects are gone.
    ASSERT_TRUE(state.compiled_effect);
    EXPECT_EQ(c.contents.size(), state.compiled_effect->GetBufferSize());
    EXPECT_EQ(nullptr, state.title);
  }
}

TEST_F(CompiledEffectTest, UnusablePrecompiledFileFallsBackToSource) {
  const struct {
    const char* label;
    void (*spoil)();
  } cases[] = {
      {"missing", [] { native_platform::RemoveFile(kPrecompiledPath); }},
      {"unreadable", [] { native_platform::SetFileReadFailure(kPrecompiledPath, true); }},
      {"short read", [] { native_platform::SetFileShortRead(kPrecompiledPath, true); }},
      {"size unknown", [] { native_platform::FailWin32Call("GetFileSize", 1); }},
      {"buffer refused", [] { fakes::FailCall("D3DXCreateBuffer", 1, E_OUTOFMEMORY); }},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.label);
    TearDownDiscoveryState(state);
    fakes::ResetFakeD3DX();
    LoadFakeD3DX();
    native_platform::SetFile(kPrecompiledPath, fakes::CompiledBytes(SampleEffect("Precompiled")));
    fakes::SetEffectSource(kSourcePath, SampleEffect("Source"));
    c.spoil();

    EXPECT_TRUE(DiscoverEffect(state, kModulePath));

    EXPECT_EQ(L"Source", Title());
    ASSERT_EQ(1u, fakes::CompilerCreateCalls().size());
    EXPECT_EQ(kSourcePath, fakes::CompilerCreateCalls()[0].path);
    EXPECT_TRUE(fakes::CreateEffectCalls().empty());
    EXPECT_EQ(0, native_platform::OpenFileHandles());
    EXPECT_TRUE(native_platform::MessageBoxes().empty());
  }
}

TEST_F(CompiledEffectTest, SourceIsCompiledWithVersionMacro) {
  const struct {
    DWORD most_significant;
    const char* expected;
  } cases[] = {{0x00010000, "0x00010000"}, {0x0002000A, "0x0002000a"}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.expected);
    TearDownDiscoveryState(state);
    fakes::ResetFakeD3DX();
    LoadFakeD3DX();
    native_platform::SetModuleFileVersion(c.most_significant, 0x00010001);
    fakes::SetEffectSource(kSourcePath, SampleEffect());

    ASSERT_TRUE(DiscoverEffect(state, kModulePath));

    ASSERT_EQ(1u, fakes::CompilerCreateCalls().size());
    const fakes::CompilerCreateCall& call = fakes::CompilerCreateCalls()[0];
    EXPECT_EQ(kSourcePath, call.path);
    EXPECT_TRUE(call.macros_given);
    EXPECT_EQ((fakes::Macros{{"TEXLOOM_VER", c.expected}}), call.macros);
    EXPECT_EQ(nullptr, call.include);
    EXPECT_EQ(0u, call.flags);
    EXPECT_TRUE(call.error_buffer_requested);
    ASSERT_EQ(1u, fakes::CompileEffectCalls().size());
    EXPECT_EQ(0u, fakes::CompileEffectCalls()[0].flags);
    // The compiler stays as the annotation source's owner; its compiled
    // effect is what the engine builds its effect from.
    EXPECT_TRUE(state.effect_compiler);
    ASSERT_TRUE(state.compiled_effect);
    EXPECT_TRUE(fakes::CreateEffectCalls().empty());
  }
}

TEST_F(CompiledEffectTest, WarningsAreNotShown) {
  fakes::SetEffectSourceWithWarnings(kSourcePath, SampleEffect(),
                                     "texloom.fx(4,5): warning X3206: implicit truncation");
  EXPECT_TRUE(DiscoverEffect(state, kModulePath));
  EXPECT_TRUE(native_platform::MessageBoxes().empty());
  EXPECT_EQ(L"Blur", Title());
}

TEST_F(CompiledEffectTest, CompilerErrorsAreShownAsMessageText) {
  // "C:\エフェクト\texloom.fx(3): error X3000: syntax error" in Shift-JIS.
  const std::string japanese =
      "C:\\\x83\x47\x83\x74\x83\x46\x83\x4e\x83\x67\\texloom.fx(3): error X3000: syntax error";
  const std::wstring japanese_wide =
      L"C:\\\u30a8\u30d5\u30a7\u30af\u30c8\\texloom.fx(3): error X3000: syntax error";
  const struct {
    const char* label;
    bool at_compile;
    std::string text;
    std::wstring expected;
  } cases[] = {
      {"creating the compiler", false, "texloom.fx(3): error X3000: syntax error",
       L"texloom.fx(3): error X3000: syntax error"},
      {"compiling", true, "texloom.fx(9): error X3004: undeclared identifier 'q'",
       L"texloom.fx(9): error X3004: undeclared identifier 'q'"},
      {"Japanese path", false, japanese, japanese_wide},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.label);
    native_platform::ClearMessageBoxes();
    if (c.at_compile) {
      fakes::SetCompileEffectError(kSourcePath, SampleEffect(), c.text, E_FAIL);
    } else {
      fakes::SetEffectSourceError(kSourcePath, c.text, E_FAIL);
    }

    EXPECT_FALSE(DiscoverEffect(state, kModulePath));

    EXPECT_EQ(std::vector<std::wstring>{c.expected}, MessageTexts());
    ExpectDiscoveryStyle();
    EXPECT_FALSE(state.compiled_effect);
    EXPECT_EQ(nullptr, state.title);
  }
}

TEST_F(CompiledEffectTest, FailuresWithoutErrorTextShowNothing) {
  const struct {
    const char* label;
    void (*arrange)();
  } cases[] = {
      {"no source file", [] {}},
      {"compiler fails without text", [] { fakes::SetEffectSourceError(kSourcePath, "", E_FAIL); }},
      {"CompileEffect fails without text",
       [] { fakes::SetCompileEffectError(kSourcePath, SampleEffect(), "", E_FAIL); }},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.label);
    fakes::ResetFakeD3DX();
    c.arrange();
    EXPECT_FALSE(DiscoverEffect(state, kModulePath));
    EXPECT_TRUE(native_platform::MessageBoxes().empty());
  }
}

TEST_F(CompiledEffectTest, ModuleWithoutUsableVersionFailsSilently) {
  const struct {
    const char* label;
    void (*spoil)();
  } cases[] = {
      {"no version resource", [] { native_platform::RemoveModuleFileVersion(); }},
      {"size query fails", [] { native_platform::FailWin32Call("GetFileVersionInfoSizeW", 1); }},
      {"reading fails", [] { native_platform::FailWin32Call("GetFileVersionInfoW", 1); }},
      {"root query fails", [] { native_platform::FailWin32Call("VerQueryValueW", 1); }},
      {"version 0.0", [] { native_platform::SetModuleFileVersion(0, 0x00010002); }},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.label);
    native_platform::SetModuleFileVersion(0x00010000, 0x0001000A);
    fakes::ResetFakeD3DX();
    fakes::SetEffectSource(kSourcePath, SampleEffect());
    c.spoil();

    EXPECT_FALSE(DiscoverEffect(state, kModulePath));

    EXPECT_TRUE(fakes::CompilerCreateCalls().empty());
    EXPECT_TRUE(native_platform::MessageBoxes().empty());
  }
}

TEST_F(CompiledEffectTest, LongModulePathIsCutBeforeTheExtensionIsReplaced) {
  // 244 characters of directory, then a name that the cut ends inside.
  const std::wstring directory = L"C:\\" + std::wstring(240, L'd');
  const std::wstring module_path = directory + L"\\a.bcdefghijklmnopqrstuvwxyz.auf";
  ASSERT_EQ(275u, module_path.size());
  native_platform::SetModulePath(module_path);

  SCOPED_TRACE("source from the cut path");
  fakes::SetEffectSource(directory + L"\\a.fx", SampleEffect("Cut"));
  ASSERT_TRUE(DiscoverEffect(state, module_path.c_str()));
  EXPECT_EQ(L"Cut", Title());
  ASSERT_EQ(1u, fakes::CompilerCreateCalls().size());
  EXPECT_EQ(directory + L"\\a.fx", fakes::CompilerCreateCalls()[0].path);

  SCOPED_TRACE("precompiled file from the cut path");
  native_platform::SetFile(directory + L"\\a.fxo", fakes::CompiledBytes(SampleEffect("CutPre")));
  ASSERT_TRUE(DiscoverEffect(state, module_path.c_str()));
  EXPECT_EQ(L"CutPre", Title());
  EXPECT_EQ(1u, fakes::CompilerCreateCalls().size());
}

TEST_F(CompiledEffectTest, ExtensionThatDoesNotFitMakesThatFileUnavailable) {
  // The cut leaves "x.abc…" with its dot at index 256: ".fxo" would end at
  // 260 characters and does not fit, ".fx" does.
  const std::wstring directory = L"C:\\" + std::wstring(251, L'd');
  const std::wstring module_path = directory + L"\\x.abcdefgh.auf";
  const std::wstring cut = module_path.substr(0, 259);
  ASSERT_EQ(256u, cut.rfind(L'.'));
  native_platform::SetModulePath(module_path);
  // A valid effect where the unrenamed text points must not be read.
  native_platform::SetFile(cut, fakes::CompiledBytes(SampleEffect("Wrong")));
  fakes::SetEffectSource(directory + L"\\x.fx", SampleEffect("Right"));

  ASSERT_TRUE(DiscoverEffect(state, module_path.c_str()));

  EXPECT_EQ(L"Right", Title());
  EXPECT_TRUE(fakes::CreateBufferCalls().empty());
  EXPECT_TRUE(fakes::CreateEffectCalls().empty());

  SCOPED_TRACE("neither extension fits");
  const std::wstring no_dot = L"C:\\" + std::wstring(300, L'd');
  native_platform::SetModulePath(no_dot);
  native_platform::SetFile(no_dot.substr(0, 259), fakes::CompiledBytes(SampleEffect("Wrong")));
  fakes::ResetFakeD3DX();
  EXPECT_FALSE(DiscoverEffect(state, no_dot.c_str()));
  EXPECT_TRUE(fakes::CompilerCreateCalls().empty());
  EXPECT_TRUE(fakes::CreateBufferCalls().empty());
}

TEST_F(CompiledEffectTest, PreObjectFailures) {
  const struct {
    const char* label;
    bool direct3d_fails;
    const char* fail_point;
    const wchar_t* message;
    bool compiled_effect_kept;
  } cases[] = {
      {"Direct3D", true, nullptr, user_text::kPreDirect3DFailed, false},
      {"device", false, "IDirect3D9::CreateDevice", user_text::kPreDeviceFailed, true},
      {"effect", false, "D3DXCreateEffect", user_text::kPreEffectFailed, true},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.label);
    native_platform::ClearMessageBoxes();
    native_platform::SetFile(kPrecompiledPath, fakes::CompiledBytes(SampleEffect()));
    fakes::SetEffectSource(kSourcePath, SampleEffect());
    direct3d_fails = c.direct3d_fails;
    if (c.fail_point) fakes::FailCall(c.fail_point, 1, D3DERR_NOTAVAILABLE);
    state.compiled_effect.reset();  // kept by the previous case
    int live_before = fakes::LiveObjects();

    EXPECT_FALSE(DiscoverEffect(state, kModulePath));

    EXPECT_EQ(std::vector<std::wstring>{c.message}, MessageTexts());
    ExpectDiscoveryStyle();
    EXPECT_EQ(c.compiled_effect_kept, static_cast<bool>(state.compiled_effect));
    EXPECT_EQ(live_before + (c.compiled_effect_kept ? 1 : 0), fakes::LiveObjects());
    EXPECT_TRUE(fakes::CompilerCreateCalls().empty());
    EXPECT_EQ(nullptr, state.title);
    direct3d_fails = false;
  }
}

TEST_F(CompiledEffectTest, PreObjectFailureAfterAPublishedEffectKeepsNoCompiledEffect) {
  fakes::EffectDescription published;
  published.IntArray("FilterVersion", {1, 0}).Annotate("name", "Published");
  published.Int("Track0");
  fakes::SetEffectSource(kSourcePath, published);
  ASSERT_TRUE(DiscoverEffect(state, kModulePath));

  for (const char* fail_point : {"IDirect3D9::CreateDevice", "D3DXCreateEffect"}) {
    SCOPED_TRACE(fail_point);
    native_platform::SetFile(kPrecompiledPath, fakes::CompiledBytes(SampleEffect()));
    fakes::FailCall(fail_point, 1, D3DERR_NOTAVAILABLE);
    EXPECT_FALSE(DiscoverEffect(state, kModulePath));
    // The controls of "Published" stay for the table; a compiled effect of
    // another effect must not stay with them.
    EXPECT_FALSE(state.compiled_effect);
    EXPECT_STREQ("Published", state.title);
    ASSERT_EQ(1u, state.track_descriptors.size());
  }
}

TEST_F(CompiledEffectTest, UnterminatedDoubleByteErrorTextShowsOnlyWhatConverted) {
  // "エラー" in Shift-JIS: 6 bytes, 3 characters, and no terminator.
  const std::string shift_jis = "\x83\x47\x83\x89\x81\x5b";
  auto errors = ComPtr<ID3DXBuffer>::Adopt(
      new fakes::FakeBuffer(std::vector<uint8_t>(shift_jis.begin(), shift_jis.end())));
  ShowErrorBuffer(errors.get());
  EXPECT_EQ(std::vector<std::wstring>{L"\u30a8\u30e9\u30fc"}, MessageTexts());

  // Single-byte text fills every slot; the last one becomes the terminator.
  native_platform::ClearMessageBoxes();
  const std::string ascii = "error";
  errors = ComPtr<ID3DXBuffer>::Adopt(
      new fakes::FakeBuffer(std::vector<uint8_t>(ascii.begin(), ascii.end())));
  ShowErrorBuffer(errors.get());
  EXPECT_EQ(std::vector<std::wstring>{L"erro"}, MessageTexts());
}

TEST_F(CompiledEffectTest, WithoutD3DXNothingIsRead) {
  TearDownDiscoveryState(state);
  native_platform::SetFile(kPrecompiledPath, fakes::CompiledBytes(SampleEffect()));
  fakes::SetEffectSource(kSourcePath, SampleEffect());
  EXPECT_FALSE(DiscoverEffect(state, kModulePath));
  EXPECT_EQ(0, native_platform::OpenFileHandles());
  EXPECT_TRUE(native_platform::MessageBoxes().empty());
  EXPECT_TRUE(fakes::CompilerCreateCalls().empty());
}

}  // namespace
}  // namespace discovery_test
