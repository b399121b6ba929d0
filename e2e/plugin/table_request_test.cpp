// The filter table as the host reads it after GetFilterTable: the effect's
// title (Shift-JIS bytes), its information text with the version suffix, its
// tracks and checks from annotations; and the table of a plug-in whose effect
// cannot be used, with the message the user sees.
#include <gtest/gtest.h>

#include "e2e/plugin/effect_text.h"
#include "e2e/plugin/plugin_test_support.h"
#include "tools/host/text_codec.h"

namespace plugin_e2e {
namespace {

using texloom_host::CheckControl;
using texloom_host::TrackControl;
using texloom_host::WideToShiftJis;

class TableRequestTest : public ::testing::Test {
 protected:
  void SetUp() override { RequireDirect3D("plugin_face_test"); }
};

void ExpectErrorTable(const texloom_host::FilterTableView& table) {
  EXPECT_EQ(WideToShiftJis(kErrorTitle), table.title);
  EXPECT_EQ(WideToShiftJis(kDefaultInformation), table.information);
  EXPECT_TRUE(table.tracks.empty());
  EXPECT_TRUE(table.checks.empty());
  EXPECT_TRUE(table.AllHandlersSet());
}

TEST_F(TableRequestTest, TitleInformationTracksAndChecksComeFromAnnotations) {
  // Texts in the host's code page, as the effect author writes them.
  const std::string title = WideToShiftJis(L"ぼかし");
  const std::string strength = WideToShiftJis(L"強さ");
  const std::string invert = WideToShiftJis(L"反転");
  const std::string effect =
      "int4 FilterVersion < string name = \"" + title +
      "\"; string ex_info = \"Blur\"; > = {1, 2, 7, 9};\n"
      "int Track0 < string name = \"" +
      strength +
      "\"; int def = 3; int min = -5; int max = 10; string usage = \"normalize\"; > = 3;\n"
      "int Track1 < string name = \"Radius\"; >;\n"
      "float Track2;\n"
      // Track3 is missing, so Track4 is never looked at.
      "int Track4 < string name = \"Hidden\"; int def = 1; >;\n"
      "bool Check0 < string name = \"" +
      invert +
      "\"; bool def = true; >;\n"
      "bool Check1 < int name = 5; >;\n" +
      IdentityTechnique();
  LoadedPlugin plugin(CompileEffect(effect));
  ASSERT_TRUE(plugin.loaded()) << plugin.error();
  EXPECT_EQ("(no message)", Describe(plugin.TakeMessages()));
  const texloom_host::FilterTableView& table = plugin.table();

  EXPECT_EQ(0x08040000u, table.flags);
  EXPECT_EQ(title, table.title);
  EXPECT_EQ("Blur, v1.2", table.information);
  EXPECT_TRUE(table.AllHandlersSet());

  ASSERT_EQ(3u, table.tracks.size());
  const struct {
    std::string name;
    int def, min, max;
  } tracks[] = {{strength, 3, -5, 10}, {"Radius", 0, 1, 0}, {"Track2", 0, 1, 0}};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE("track " + std::to_string(i));
    EXPECT_EQ(tracks[i].name, table.tracks[i].name);
    EXPECT_EQ(tracks[i].def, table.tracks[i].default_value);
    EXPECT_EQ(tracks[i].min, table.tracks[i].minimum);
    EXPECT_EQ(tracks[i].max, table.tracks[i].maximum);
    EXPECT_EQ(tracks[i].def, plugin.host().track(i)) << "the host starts at the default";
  }
  ASSERT_EQ(2u, table.checks.size());
  EXPECT_EQ(invert, table.checks[0].name);
  EXPECT_EQ(1, table.checks[0].default_value);
  // A "name" that is no string leaves the parameter's own name.
  EXPECT_EQ("Check1", table.checks[1].name);
  EXPECT_EQ(0, table.checks[1].default_value);
}

TEST_F(TableRequestTest, ARepeatedRequestShowsTheSameTable) {
  LoadedPlugin plugin(CompileEffect(IdentityEffect("string ex_info = \"again\";")));
  ASSERT_TRUE(plugin.loaded()) << plugin.error();
  const texloom_host::FilterTableView first = plugin.table();
  std::string error;
  ASSERT_TRUE(plugin.host().RequestTable(&error)) << error;
  EXPECT_EQ(first.address, plugin.table().address);
  EXPECT_EQ("Identity", plugin.table().title);
  EXPECT_EQ("again, v1.0", plugin.table().information);
  // Once the engine exists, a request leaves everything as it is.
  ASSERT_EQ(1, plugin.host().Init());
  ASSERT_TRUE(plugin.host().RequestTable(&error)) << error;
  EXPECT_EQ("again, v1.0", plugin.table().information);
  EXPECT_EQ("(no message)", Describe(plugin.TakeMessages()));
}

TEST_F(TableRequestTest, FilterVersionWithoutExInfoKeepsTheDefaultInformation) {
  LoadedPlugin plugin(CompileEffect(IdentityEffect()));
  ASSERT_TRUE(plugin.loaded()) << plugin.error();
  EXPECT_EQ("Identity", plugin.table().title);
  EXPECT_EQ(WideToShiftJis(kDefaultInformation), plugin.table().information);
}

TEST_F(TableRequestTest, AForeignFxoIsReportedAndLeavesTheErrorTitle) {
  const std::string foreign = "this is no compiled effect";
  LoadedPlugin plugin(std::vector<uint8_t>(foreign.begin(), foreign.end()));
  ASSERT_TRUE(plugin.loaded()) << plugin.error();
  std::vector<RecordedMessage> messages = plugin.TakeMessages();
  ASSERT_EQ(1u, messages.size()) << Describe(messages);
  EXPECT_MESSAGE(messages[0], kPreEffectFailed, kDiscoveryCaption, kStyleError);
  ExpectErrorTable(plugin.table());
  // The foreign bytes stay the compiled effect, so init tries to create the
  // effect from them and fails; without a display name the caption is the
  // default one.
  EXPECT_EQ(0, plugin.host().Init());
  messages = plugin.TakeMessages();
  ASSERT_EQ(1u, messages.size()) << Describe(messages);
  EXPECT_MESSAGE(messages[0], L"エフェクトの作成に失敗しました", L"Texloom", kStyleError);
}

TEST_F(TableRequestTest, TheFxoWinsOverAnFxBesideIt) {
  texloom_host::PluginFolder folder;
  std::wstring module = folder.PlaceModule(ProductModule(), L"both");
  ASSERT_FALSE(module.empty());
  ASSERT_TRUE(folder.WriteFile(L"both", L".fxo", CompileEffect(IdentityEffect())));
  ASSERT_TRUE(folder.WriteFile(L"both", L".fx", std::string("this does not compile")));
  texloom_host::MessageRecorder::Instance().Clear();
  Host host;
  std::string error;
  ASSERT_TRUE(host.Load(module, &error)) << error;
  EXPECT_EQ("Identity", host.table().title);
  EXPECT_EQ("(no message)", Describe(texloom_host::MessageRecorder::Instance().Take()));
}

// Wine's effect compiler is a stub (D3DXCreateEffectCompiler succeeds,
// CompileEffect returns E_NOTIMPL without an error buffer), so HLSL source
// never becomes an effect here.
TEST_F(TableRequestTest, SourceAloneCannotBeCompiledUnderWine) {
  const std::string source =
      "int4 FilterVersion < string name = \"Source\"; > = {1, 0, 0, 0};\n"
      "float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return float4(uv, 0, 1); }\n"
      "technique ProcessImage0 { pass P0 { PixelShader = compile ps_2_0 PS(); } }\n";
  LoadedPlugin plugin(std::vector<uint8_t>(source.begin(), source.end()), HostOptions(), L"source",
                      L".fx");
  ASSERT_TRUE(plugin.loaded()) << plugin.error();
  ExpectErrorTable(plugin.table());
  EXPECT_EQ("(no message)", Describe(plugin.TakeMessages()));
}

TEST_F(TableRequestTest, NoEffectFileLeavesTheErrorTitle) {
  LoadedPlugin plugin(std::vector<uint8_t>(), HostOptions(), L"alone");
  ASSERT_TRUE(plugin.loaded()) << plugin.error();
  ExpectErrorTable(plugin.table());
  EXPECT_EQ("(no message)", Describe(plugin.TakeMessages()));
}

}  // namespace
}  // namespace plugin_e2e
