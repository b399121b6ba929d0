// GetFilterTable: what the host lists before, after and between discoveries.
#include <cstring>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "fakes/fake_d3d9.h"
#include "plugin/plugin_test_support.h"

namespace {

using fakes::EffectDescription;
using plugin_test::PluginTest;

const char kShiftJisDefaultTitle[] = {'T',    'e',    'x',    'l',    'o',    'o',    'm', '(',
                                      '\x83', '\x47', '\x83', '\x89', '\x81', '\x5b', ')', '\0'};

EffectDescription BlurEffect() {
  EffectDescription effect;
  effect.IntArray("FilterVersion", {1, 2}).Annotate("name", "Blur").Annotate("ex_info", "Soft");
  effect.Int("Track0")
      .Annotate("name", "radius")
      .Annotate("def", 3)
      .Annotate("max", 10)
      .Annotate("min", 1);
  effect.Int("Track1").Annotate("name", "angle").Annotate("max", 360);
  effect.Bool("Check0").Annotate("name", "mirror").Annotate("def", true);
  effect.Technique("ProcessImage0").Pass();
  return effect;
}

EffectDescription SharpenEffect() {
  EffectDescription effect;
  effect.IntArray("FilterVersion", {2, 0}).Annotate("name", "Sharpen");
  effect.Int("Track0").Annotate("name", "amount");
  return effect;
}

std::vector<std::string> Names(const char* const* names, int count) {
  std::vector<std::string> result;
  for (int i = 0; i < count; ++i) result.push_back(names[i]);
  return result;
}

// Reads every text and array the table points at, so that the address
// sanitizer sees a dangling pointer.
std::string ReadWholeTable(const FilterTable& table) {
  std::string seen = std::string(table.title) + "|" + table.information;
  for (int i = 0; i < table.track_count; ++i) {
    seen += "|" + std::string(table.track_names[i]) + ":" +
            std::to_string(table.track_defaults[i]) + "," + std::to_string(table.track_minima[i]) +
            "," + std::to_string(table.track_maxima[i]);
  }
  for (int i = 0; i < table.check_count; ++i) {
    seen += "|" + std::string(table.check_names[i]) + ":" + std::to_string(table.check_defaults[i]);
  }
  return seen;
}

TEST_F(PluginTest, DefaultTableDescribesTheFilterWithItsHandlers) {
  EXPECT_EQ(0x08040000, filter_table.flags);
  EXPECT_STREQ(kShiftJisDefaultTitle, filter_table.title);
  EXPECT_STREQ("texloom by Ostrel, ver1.0a", filter_table.information);
  EXPECT_EQ(&ProcessHandler, filter_table.process);
  EXPECT_EQ(&InitHandler, filter_table.init);
  EXPECT_EQ(&ExitHandler, filter_table.exit);
  EXPECT_EQ(&UpdateHandler, filter_table.update);
  EXPECT_EQ(&WindowMessageHandler, filter_table.window_message);
  EXPECT_EQ(0, filter_table.reserved_4);
  EXPECT_EQ(0, filter_table.reserved_8);
  for (void* reserved : filter_table.reserved_104) EXPECT_EQ(nullptr, reserved);
}

TEST_F(PluginTest, WithoutD3DXTheTableKeepsItsDefaults) {
  fakes::SetEffectSource(plugin_test::kEffectSource, BlurEffect());
  EXPECT_EQ(&filter_table, GetFilterTable());
  EXPECT_STREQ(kShiftJisDefaultTitle, filter_table.title);
  EXPECT_EQ(0, filter_table.track_count);
  ASSERT_EQ(1u, native_platform::MessageBoxes().size());
  EXPECT_EQ(L"エフェクトファイルのエラー", native_platform::MessageBoxes()[0].caption);
}

TEST_F(PluginTest, DiscoveredEffectIsPublishedInTheTable) {
  InstallD3DX();
  fakes::SetEffectSource(plugin_test::kEffectSource, BlurEffect());
  ASSERT_EQ(&filter_table, GetFilterTable());

  EXPECT_STREQ("Blur", filter_table.title);
  EXPECT_STREQ("Soft, v1.2", filter_table.information);
  ASSERT_EQ(2, filter_table.track_count);
  EXPECT_EQ((std::vector<std::string>{"radius", "angle"}),
            Names(filter_table.track_names, filter_table.track_count));
  EXPECT_EQ(3, filter_table.track_defaults[0]);
  EXPECT_EQ(1, filter_table.track_minima[0]);
  EXPECT_EQ(10, filter_table.track_maxima[0]);
  EXPECT_EQ(0, filter_table.track_defaults[1]);
  EXPECT_EQ(1, filter_table.track_minima[1]);
  EXPECT_EQ(360, filter_table.track_maxima[1]);
  ASSERT_EQ(1, filter_table.check_count);
  EXPECT_STREQ("mirror", filter_table.check_names[0]);
  EXPECT_EQ(1, filter_table.check_defaults[0]);
  EXPECT_TRUE(native_platform::MessageBoxes().empty());
}

TEST_F(PluginTest, EffectWithoutFilterVersionKeepsTheDefaultTitleButListsItsControls) {
  InstallD3DX();
  EffectDescription effect;
  effect.Int("Track0").Annotate("name", "level");
  fakes::SetEffectSource(plugin_test::kEffectSource, effect);
  GetFilterTable();
  EXPECT_STREQ(kShiftJisDefaultTitle, filter_table.title);
  EXPECT_STREQ("texloom by Ostrel, ver1.0a", filter_table.information);
  ASSERT_EQ(1, filter_table.track_count);
  EXPECT_STREQ("level", filter_table.track_names[0]);
}

TEST_F(PluginTest, FailedRepeatKeepsThePreviousEffectReadable) {
  InstallD3DX();
  fakes::SetEffectSource(plugin_test::kEffectSource, BlurEffect());
  GetFilterTable();
  const std::string first = ReadWholeTable(filter_table);

  fakes::ResetFakeD3DX();
  fakes::SetEffectSourceError(plugin_test::kEffectSource, "texloom.fx(3): syntax error");
  GetFilterTable();
  EXPECT_EQ(first, ReadWholeTable(filter_table));

  fakes::ResetFakeD3DX();
  fakes::SetEffectSource(plugin_test::kEffectSource, SharpenEffect());
  GetFilterTable();
  EXPECT_EQ("Sharpen|Soft, v1.2|amount:0,1,0", ReadWholeTable(filter_table));
}

TEST_F(PluginTest, RepeatWithoutTitleKeepsThePreviousTitle) {
  InstallD3DX();
  fakes::SetEffectSource(plugin_test::kEffectSource, BlurEffect());
  GetFilterTable();
  fakes::ResetFakeD3DX();
  EffectDescription untitled;
  untitled.Int("Track0").Annotate("name", "level");
  fakes::SetEffectSource(plugin_test::kEffectSource, untitled);
  GetFilterTable();
  EXPECT_EQ("Blur|Soft, v1.2|level:0,1,0", ReadWholeTable(filter_table));
}

// Five tracks and a check box, so that a failure part-way through the
// controls falls between the arrays of the two kinds.
EffectDescription FiveTrackEffect() {
  EffectDescription effect;
  effect.IntArray("FilterVersion", {3, 1}).Annotate("name", "Five").Annotate("ex_info", "Wide");
  for (int i = 0; i < 5; ++i) {
    effect.Int("Track" + std::to_string(i)).Annotate("name", "t" + std::to_string(i));
  }
  effect.Bool("Check0").Annotate("name", "flag");
  effect.Technique("ProcessImage0").Pass();
  return effect;
}

EffectDescription OneTrackEffect() {
  EffectDescription effect;
  effect.IntArray("FilterVersion", {1, 0}).Annotate("name", "One").Annotate("ex_info", "Narrow");
  effect.Int("Track0").Annotate("name", "only");
  effect.Technique("ProcessImage0").Pass();
  return effect;
}

// The number of "Track%d" parameters of the effect a compiled buffer holds,
// read through an effect made from it, as the engine would.
int TracksOfCompiledEffect(ID3DXBuffer* compiled) {
  auto device = fakes::MakeFake<fakes::FakeDevice>();
  ComPtr<ID3DXEffect> effect;
  EXPECT_EQ(S_OK, fakes::D3DXCreateEffect(device.get(), compiled->GetBufferPointer(),
                                          compiled->GetBufferSize(), nullptr, nullptr, 0, nullptr,
                                          effect.put(), nullptr));
  int tracks = 0;
  while (effect && effect->GetParameterByName(nullptr, ("Track" + std::to_string(tracks)).c_str()))
    ++tracks;
  return tracks;
}

TEST_F(PluginTest, RepeatRunningOutOfMemoryAnywhereKeepsTableAndStateOfOneEffect) {
  InstallD3DX();
  for (int nth = 1; nth <= 60; ++nth) {
    SCOPED_TRACE(testing::Message() << "allocation " << nth << " fails");
    fakes::ResetFakeD3DX();
    fakes::SetEffectSource(plugin_test::kEffectSource, OneTrackEffect());
    GetFilterTable();
    const std::string before = ReadWholeTable(filter_table);
    ASSERT_EQ("One|Narrow, v1.0|only:0,1,0", before);

    fakes::ResetFakeD3DX();
    fakes::SetEffectSource(plugin_test::kEffectSource, FiveTrackEffect());
    support::FailNothrowAllocation(nth);
    GetFilterTable();
    support::FailNothrowAllocation(0);
    const std::string after = ReadWholeTable(filter_table);

    // The table shows one whole effect, and the discovery state behind it
    // (what the engine binds) describes the same controls.
    const bool five =
        after == "Five|Wide, v3.1|t0:0,1,0|t1:0,1,0|t2:0,1,0|t3:0,1,0|t4:0,1,0|flag:0";
    EXPECT_TRUE(five || after == before) << after;
    ASSERT_EQ(static_cast<size_t>(filter_table.track_count),
              effect_discovery.track_descriptors.size());
    ASSERT_EQ(static_cast<size_t>(filter_table.check_count),
              effect_discovery.check_descriptors.size());
    for (int i = 0; i < filter_table.track_count; ++i) {
      EXPECT_EQ(filter_table.track_names[i], effect_discovery.track_descriptors[i].name);
    }
    for (int i = 0; i < filter_table.check_count; ++i) {
      EXPECT_EQ(filter_table.check_names[i], effect_discovery.check_descriptors[i].name);
    }
    if (effect_discovery.compiled_effect) {
      EXPECT_EQ(filter_table.track_count,
                TracksOfCompiledEffect(effect_discovery.compiled_effect.get()));
    }
  }
}

TEST_F(PluginTest, UnreadableModulePathLooksForTheEffectUnderTheBareName) {
  native_platform::SetModulePath(L"");
  native_platform::RegisterLibrary(L"C:\\Windows\\system32\\d3dx9_42.dll", fakes::D3DXLibrary());
  native_platform::SetFile(L"texloom.fxo", fakes::CompiledBytes(SharpenEffect()));
  fakes::FakeDirect3D d3d;
  fakes::InstallDirect3D(&d3d);
  GetFilterTable();
  fakes::InstallDirect3D(nullptr);
  EXPECT_STREQ("Sharpen", filter_table.title);
  EXPECT_TRUE(fakes::CompilerCreateCalls().empty());
}

TEST_F(PluginTest, RequestWhileAnEngineLivesKeepsLibraryAndTableAsTheyAre) {
  InstallD3DX();
  fakes::SetEffectSource(plugin_test::kEffectSource, BlurEffect());
  GetFilterTable();
  const std::string first = ReadWholeTable(filter_table);
  const size_t loads = native_platform::LoadAttempts().size();
  HMODULE library = effect_discovery.d3dx_module;

  Engine* living = new Engine;
  engine = living;
  fakes::ResetFakeD3DX();
  fakes::SetEffectSource(plugin_test::kEffectSource, SharpenEffect());
  GetFilterTable();
  engine = nullptr;
  living->DestroyEngine();
  delete living;

  EXPECT_EQ(first, ReadWholeTable(filter_table));
  EXPECT_EQ(loads, native_platform::LoadAttempts().size());
  EXPECT_EQ(library, effect_discovery.d3dx_module);
  EXPECT_EQ(1, native_platform::LoadedLibraries());
}

}  // namespace
