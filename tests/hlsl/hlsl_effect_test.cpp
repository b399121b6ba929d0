// texloom-fxo's HLSL path against malformed and unusual input: each case is
// a set of files, and either the exact first message (against the user's
// own file, line and column) and no compiled effect, or a compiled effect
// holding the expected bytes. The compiler is the real vkd3d-compiler.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "hlsl/hlsl_effect.h"
#include "hlsl/vkd3d_compiler.h"

namespace {

struct Case {
  const char* name;
  std::map<std::string, std::string> files;  // "main.fx" is compiled
  const char* message;                       // first line of the error; null: compiles
  const char* holds = nullptr;               // bytes the compiled effect must hold
  const char* warning = "";                  // the compiler's warnings
  const char* read = nullptr;                // files read, one a line (--deps)
};

const char kShader[] =
    "float4 Main(float2 uv : TEXCOORD0) : COLOR0 { return 0; }\n"
    "technique T { pass P { PixelShader = compile ps_3_0 Main(); } }\n";

const Case kCases[] = {
    {"UnclosedComment", {{"main.fx", "float a;\n  /* never\nclosed\n"}},
     "main.fx:2:3: the comment is not closed (expected \"*/\")"},
    {"UnclosedString", {{"main.fx", "float a < string name = \"open; >;\n"}},
     "main.fx:1:25: the string is not closed (expected '\"')"},
    {"UnclosedBody", {{"main.fx", "float4 F(float2 uv : TEXCOORD0) : COLOR {\n return 0;\n"}},
     "main.fx:1:41: the body of 'F' is not closed (expected '}')"},
    {"UnclosedTechnique", {{"main.fx", std::string(kShader, sizeof kShader - 3) + "\n"}},
     "main.fx:3:1: expected 'pass' or '}', found the end of the file"},
    {"IncludeCycle",
     {{"main.fx", "#include \"a.fxh\"\n"},
      {"a.fxh", "#include \"b.fxh\"\n"},
      {"b.fxh", "\n#include \"a.fxh\"\n"}},
     "b.fxh:2:1: #include cycle: main.fx -> a.fxh -> b.fxh -> a.fxh", nullptr, "",
     "main.fx\na.fxh\nb.fxh\n"},
    {"MissingInclude", {{"main.fx", "float a;\n#include \"gone.fxh\"\n"}},
     "main.fx:2:1: cannot open the included file \"gone.fxh\" (looked for gone.fxh)"},
    // Includes are expanded before the preprocessor: a missing one in a
    // branch it drops is no error, in a branch it keeps it is.
    {"MissingIncludeInDeadBranch",
     {{"main.fx", std::string("#if 0\n#include \"gone.fxh\"\n#endif\n") + kShader}}, nullptr},
    {"MissingIncludeInLiveBranch",
     {{"main.fx", "#ifdef TEXLOOM_VER\n#include \"gone.fxh\"\n#endif\n"}},
     "main.fx:2:1: E4001: Error directive:  cannot open the included file \"gone.fxh\" (looked "
     "for gone.fxh)"},
    // Included twice and in a cycle, and read once.
    {"PragmaOnce",
     {{"main.fx", std::string("#include \"a.fxh\"\n#include \"./a.fxh\"\n") + kShader},
      {"a.fxh", "#pragma once\n#include \"b.fxh\"\nfloat4 Helper() { return 1; }\n"},
      {"b.fxh", "#include \"a.fxh\"\n"}},
     nullptr, nullptr, "", "main.fx\na.fxh\nb.fxh\n"},
    {"GuardedIncludeCycle",
     {{"main.fx", std::string("#include \"a.fxh\"\n") + kShader},
      {"a.fxh", "// a\n\n#ifndef A_FXH\n#define A_FXH\n#include \"b.fxh\"\n"
                "float4 Helper() { return 1; }\n#endif\n"},
      {"b.fxh", "#include \"a.fxh\"\n"}},
     nullptr},
    {"PackMatrixPragma", {{"main.fx", std::string("#pragma pack_matrix(row_major)\n") + kShader}},
     "main.fx:1:1: #pragma pack_matrix is not supported: write row_major or column_major on the "
     "matrix's declaration"},
    {"OtherPragma", {{"main.fx", std::string("\n#pragma warning(disable : 3571)\r\n") + kShader}},
     nullptr, nullptr, "main.fx:2:1: warning: '#pragma warning(disable : 3571)' is ignored\n"},
    {"DuplicateName", {{"main.fx", "float Track0;\nfloat  Track0;\n"}},
     "main.fx:2:8: a second parameter named 'Track0'"},
    {"CompilerErrorInInclude",
     {{"main.fx", std::string("#include \"bad.fxh\"\n") + kShader},
      {"bad.fxh", "float4 Helper() { return missing; }\n"}},
     // The compiler's own column, as vkd3d reports it.
     "bad.fxh:1:28: E5005: Identifier \"missing\" is not declared.", nullptr, "",
     "main.fx\nbad.fxh\n"},
    {"VertexShader",
     {{"main.fx", "float4 V() : POSITION { return 0; }\n"
                  "technique T { pass P { VertexShader = compile vs_3_0 V(); } }\n"}},
     "main.fx:2:39: vertex shaders are not supported: Texloom draws its own full-screen quad "
     "(leave VertexShader out or set it to NULL)"},
    {"UniformArguments",
     {{"main.fx", "float4 F(uniform float k) : COLOR0 { return k; }\n"
                  "technique T { pass P { PixelShader = compile ps_3_0 F(1); } }\n"}},
     "main.fx:2:55: arguments to compile are not supported: give 'F' no uniform parameters and "
     "read effect parameters directly"},
    {"UnknownState", {{"main.fx", "technique T { pass P { Smoothness = 1; } }\n"}},
     "main.fx:1:24: 'Smoothness' is not a state this tool knows"},
    {"VersionMacro",
     {{"main.fx", "#if TEXLOOM_VER != 0x00010000\n#error TEXLOOM_VER\n#endif\nfloat a;\n"}},
     nullptr},
    {"ByteOrderMark", {{"main.fx", std::string("\xEF\xBB\xBF") + kShader}}, nullptr},
    // Shift-JIS as written, with a trail byte that is a backslash (表).
    {"ShiftJisAnnotation", {{"main.fx", "float a < string name = \"\x95\x5c\x8e\xa6\"; >;\n"}},
     nullptr, "\x95\x5c\x8e\xa6"},
    // UTF-8 (強さ) written in the host's Shift-JIS.
    {"Utf8Annotation", {{"main.fx", "float a < string name = \"\xe5\xbc\xb7\xe3\x81\x95\"; >;\n"}},
     nullptr, "\x8b\xad\x82\xb3"},
    {"Utf8OutsideShiftJis", {{"main.fx", "float a < string name = \"\xf0\x9f\x98\x80\"; >;\n"}},
     "main.fx:1:25: the text \"\xf0\x9f\x98\x80\" has a character Shift-JIS cannot hold (the host "
     "shows Shift-JIS only)"},
    {"CompilerWarning",
     {{"main.fx", "float4 Main(float2 uv : TEXCOORD0) : COLOR0 { float2 t = float4(1, 2, 3, 4);"
                  " return t.xyxy; }\n"
                  "technique T { pass P { PixelShader = compile ps_2_0 Main(); } }\n"}},
     nullptr, nullptr, "main.fx:1:57: W5300: Implicit truncation of vector type.\n"},
    {"NeitherEncoding", {{"main.fx", "float a < string name = \"\xff\xfe\"; >;\n"}},
     "main.fx:1:25: the text is neither UTF-8 nor Shift-JIS"},
};

class HlslEffectTest : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    if (hlsl::CompilerVersion().empty())
      GTEST_SKIP() << "SKIPPED: vkd3d-compiler is not installed (tools/hlsl/fetch_vkd3d.sh)";
    char name[] = "/tmp/texloom-hlsl-test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(name));
    folder_ = name;
  }
  void TearDown() override {
    if (!folder_.empty()) std::system(("rm -rf '" + folder_ + "'").c_str());
  }
  std::string folder_;
};

TEST_P(HlslEffectTest, MessageOrEffect) {
  const Case& c = GetParam();
  for (const auto& [name, text] : c.files) {
    std::ofstream(folder_ + "/" + name, std::ios::binary) << text;
  }
  // Relative names, as a user types them, from the effect's folder.
  char previous[4096];
  ASSERT_NE(nullptr, getcwd(previous, sizeof previous));
  ASSERT_EQ(0, chdir(folder_.c_str()));
  std::string warnings;
  std::vector<std::string> read;
  fx2::WriteOutput out =
      hlsl::CompileEffectFile("main.fx", hlsl::EffectOptions(), &warnings, &read);
  ASSERT_EQ(0, chdir(previous));

  EXPECT_EQ(c.warning, warnings);
  if (c.read) {
    std::string listed;
    for (const std::string& file : read) listed += file + "\n";
    EXPECT_EQ(c.read, listed);
  }
  if (c.message) {
    EXPECT_TRUE(out.bytes.empty());
    EXPECT_EQ(c.message, out.error.substr(0, out.error.find('\n')));
  } else {
    ASSERT_TRUE(out) << out.error;
    if (c.holds) {
      std::string bytes(out.bytes.begin(), out.bytes.end());
      EXPECT_NE(std::string::npos, bytes.find(c.holds));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Inputs, HlslEffectTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
