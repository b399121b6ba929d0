// The effect description language: every construct into the model, the
// bind block into a constant table, and every error at its file, line and
// column with what was expected.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fx2/description.h"
#include "fx2/fx2_file_reader.h"
#include "fx2/fx2_test_effects.h"
#include "fx2/shader_code.h"

namespace {

using fx2::PassStateKind;

fx2::FileReader MemoryFiles(std::map<std::string, std::string> files) {
  return [files](const std::string& path, const std::string&, std::string* resolved,
                 std::string* contents, std::string* error) {
    auto found = files.find(path);
    if (found == files.end()) {
      *error = "no such file";
      return false;
    }
    *resolved = path;
    *contents = found->second;
    return true;
  };
}

// Stands in for D3DXAssembleShader: a fixed ps_2_0 (or ps_3_0) shader, or
// an error for text that asks for one.
std::vector<uint32_t> FakeAssemble(const std::string& text, std::string* error) {
  if (text.find("broken") != std::string::npos) {
    *error = "Line 2: unknown instruction";
    return {};
  }
  std::vector<uint32_t> code = fx2_test::ReferenceShaderWithoutTable();
  if (text.find("ps_3_0") != std::string::npos) code[0] = 0xFFFF0300;
  return code;
}

const char* kEverything = R"(// every construct
#include "head.fxh"
int Track0 < string name = "Radius"; int def = 2; int min = -4; int max = 0x10; string usage = "odd"; > = 2;
bool Check0 < bool def = true; > = false;
float Gain : GAIN = 1.5f;
float4 PixelKernel0[3] = { {1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, -12.5e-1} };
float2x3 M = { {1, 2, 3}, {4, 5, 6} };
column_major float4x3 C;
int2 Pair < int4 v = {1, 2, 3, 4}; float f[2] = {0.5, .25}; > = {-1, 1};
string Words[2] = { "a", "b c" };
texture TxSrc0 < int frame_offset = -1; >;
texture2D TxTmp;
/* a block
   comment */
sampler2D Source0 = sampler_state {
  Texture = <TxSrc0>;
  MinFilter = POINT; MagFilter = linear; MipFilter = NONE;
  AddressU = CLAMP; AddressV = Wrap; MipMapLodBias = 0.5; MaxAnisotropy = 4;
};
sampler Plain;
technique ProcessImage0 < string label = "main"; > {
  pass P0 < int RenderTarget0 = 0; int RenderTarget1 = 1; > {
    PixelShader = asm { ps_2_0
      mov oC0, c0 };
    bind { c0 = Gain; c1-c2 = PixelKernel0; s0 = Source0; b1 = Check0; }
    VertexShader = NULL;
    Sampler[1] = (Source0);
    Texture[2] = <TxTmp>;
    PixelShaderConstantF[5] = (PixelKernel0);
    PixelShaderConstantI[0] = (Track0);
    PixelShaderConstantB[2] = (Check0);
    CullMode = NONE; ZEnable = false; AlphaBlendEnable = TRUE; SrcBlend = SRCALPHA;
    FogStart = 2; ColorWriteEnable = 0xF; MinFilter[3] = ANISOTROPIC;
  }
  pass P1 { PixelShader = asm file "second.psh"; }
}
technique ProcessImage1 { pass P0 { PixelShader = NULL; } }
)";

std::map<std::string, std::string> Files() {
  return {{"head.fxh", "int4 FilterVersion < string name = \"All\"; > = {1, 0, 0, 0};\n"},
          {"second.psh", "ps_3_0\nmov oC0, c0\n"}};
}

TEST(DescriptionParserTest, EveryConstructReachesTheModel) {
  fx2::Description d;
  std::string error;
  ASSERT_TRUE(fx2::ParseDescription(kEverything, "all.fxd", MemoryFiles(Files()), &d, &error))
      << error;
  const fx2::Effect& e = d.effect;
  ASSERT_EQ(13u, e.parameters.size());
  EXPECT_EQ("FilterVersion", e.parameters[0].name);  // from the include, in place

  const fx2::Parameter& track = *e.FindParameter("Track0");
  EXPECT_EQ(fx2::Type::Int, track.value.shape.type);
  EXPECT_EQ(std::vector<uint32_t>{2}, track.value.numbers);
  ASSERT_EQ(5u, track.annotations.size());
  EXPECT_EQ(std::vector<std::string>{"Radius"}, track.annotations[0].value.strings);
  EXPECT_EQ(static_cast<uint32_t>(-4), track.annotations[2].value.numbers[0]);
  EXPECT_EQ(16u, track.annotations[3].value.numbers[0]);

  const fx2::Parameter& check = *e.FindParameter("Check0");
  EXPECT_EQ(std::vector<uint32_t>{0}, check.value.numbers);
  EXPECT_EQ(std::vector<uint32_t>{1}, check.annotations[0].value.numbers);
  const fx2::Parameter& gain = *e.FindParameter("Gain");
  EXPECT_EQ("GAIN", gain.semantic);
  EXPECT_EQ(std::vector<uint32_t>{fx2::FloatBits(1.5f)}, gain.value.numbers);
  const fx2::Parameter& kernel = *e.FindParameter("PixelKernel0");
  EXPECT_EQ(3u, kernel.value.shape.elements);
  EXPECT_EQ(4u, kernel.value.shape.columns);
  ASSERT_EQ(12u, kernel.value.numbers.size());
  EXPECT_EQ(fx2::FloatBits(-1.25f), kernel.value.numbers[11]);
  const fx2::Parameter& m = *e.FindParameter("M");
  EXPECT_EQ(fx2::Class::MatrixRows, m.value.shape.klass);
  EXPECT_EQ(fx2::FloatBits(4.0f), m.value.numbers[3]);
  const fx2::Parameter& c = *e.FindParameter("C");
  EXPECT_EQ(fx2::Class::MatrixColumns, c.value.shape.klass);
  EXPECT_EQ(std::vector<uint32_t>(12, 0), c.value.numbers);
  const fx2::Parameter& pair = *e.FindParameter("Pair");
  EXPECT_EQ(std::vector<uint32_t>({0xFFFFFFFFu, 1}), pair.value.numbers);
  EXPECT_EQ(4u, pair.annotations[0].value.shape.columns);
  EXPECT_EQ(2u, pair.annotations[1].value.shape.elements);
  EXPECT_EQ(fx2::FloatBits(0.25f), pair.annotations[1].value.numbers[1]);
  EXPECT_EQ(std::vector<std::string>({"a", "b c"}), e.FindParameter("Words")->value.strings);
  EXPECT_EQ(fx2::Type::Texture, e.FindParameter("TxSrc0")->value.shape.type);
  EXPECT_EQ(fx2::Type::Texture2D, e.FindParameter("TxTmp")->value.shape.type);

  const fx2::Parameter& source = *e.FindParameter("Source0");
  EXPECT_EQ(fx2::Type::Sampler2D, source.value.shape.type);
  ASSERT_EQ(8u, source.sampler_states.size());
  EXPECT_EQ(fx2::op::kTexture, source.sampler_states[0].operation);
  EXPECT_EQ("TxSrc0", source.sampler_states[0].texture);
  EXPECT_EQ(fx2::op::kMagFilter, source.sampler_states[2].operation);
  EXPECT_EQ(std::vector<uint32_t>{2}, source.sampler_states[2].value.numbers);  // linear
  EXPECT_EQ(std::vector<uint32_t>{1}, source.sampler_states[5].value.numbers);  // Wrap
  EXPECT_EQ(std::vector<uint32_t>{fx2::FloatBits(0.5f)}, source.sampler_states[6].value.numbers);
  EXPECT_EQ(std::vector<uint32_t>{4}, source.sampler_states[7].value.numbers);
  EXPECT_TRUE(e.FindParameter("Plain")->sampler_states.empty());

  ASSERT_EQ(2u, e.techniques.size());
  const fx2::Technique& t = e.techniques[0];
  EXPECT_EQ("main", t.annotations[0].value.strings[0]);
  ASSERT_EQ(2u, t.passes.size());
  EXPECT_EQ(2u, t.passes[0].annotations.size());
  const std::vector<fx2::PassState>& states = t.passes[0].states;
  struct Expected {
    PassStateKind kind;
    uint32_t operation, index;
    const char* parameter;
    uint32_t value;
  };
  const Expected expected[] = {
      {PassStateKind::PixelShaderCode, 147, 0, "", 0},
      {PassStateKind::ShaderNull, 146, 0, "", 0},
      {PassStateKind::SamplerParam, 178, 1, "Source0", 0},
      {PassStateKind::TextureParam, 164, 2, "TxTmp", 0},
      {PassStateKind::ShaderConstParam, 156, 5, "PixelKernel0", 0},
      {PassStateKind::ShaderConstParam, 158, 0, "Track0", 0},
      {PassStateKind::ShaderConstParam, 157, 2, "Check0", 0},
      {PassStateKind::Constant, 8, 0, "", 1},
      {PassStateKind::Constant, 0, 0, "", 0},
      {PassStateKind::Constant, 13, 0, "", 1},
      {PassStateKind::Constant, 6, 0, "", 5},
      {PassStateKind::Constant, 18, 0, "", fx2::FloatBits(2.0f)},
      {PassStateKind::Constant, 73, 0, "", 15},
      {PassStateKind::Constant, 170, 3, "", 3},
  };
  ASSERT_EQ(sizeof(expected) / sizeof(expected[0]), states.size());
  for (size_t k = 0; k < states.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(expected[k].kind, states[k].kind);
    EXPECT_EQ(expected[k].operation, states[k].operation);
    EXPECT_EQ(expected[k].index, states[k].index);
    EXPECT_EQ(expected[k].parameter, states[k].parameter);
    if (expected[k].kind == PassStateKind::Constant) {
      EXPECT_EQ(std::vector<uint32_t>{expected[k].value}, states[k].value.numbers);
    }
  }
  EXPECT_EQ(PassStateKind::ShaderNull, e.techniques[1].passes[0].states[0].kind);

  ASSERT_EQ(2u, d.shaders.size());
  EXPECT_EQ(" ps_2_0\n      mov oC0, c0 ", d.shaders[0].text);
  EXPECT_EQ("all.fxd:23:24", d.shaders[0].position.Text());
  ASSERT_EQ(4u, d.shaders[0].bindings.size());
  EXPECT_EQ(fx2::RegisterSet::Float4, d.shaders[0].bindings[1].set);
  EXPECT_EQ(1u, d.shaders[0].bindings[1].first);
  EXPECT_EQ(2u, d.shaders[0].bindings[1].count);
  EXPECT_EQ(0u, d.shaders[0].bindings[0].count);
  EXPECT_EQ(fx2::RegisterSet::Bool, d.shaders[0].bindings[3].set);
  EXPECT_EQ("second.psh", d.shaders[1].position.file);
  EXPECT_EQ("ps_3_0\nmov oC0, c0\n", d.shaders[1].text);
  EXPECT_EQ(1u, d.shaders[1].pass);
  EXPECT_TRUE(d.shaders[1].bindings.empty());
}

TEST(DescriptionParserTest, CompiledFileCarriesTheBoundTable) {
  fx2::Description d;
  std::string error;
  ASSERT_TRUE(fx2::ParseDescription(kEverything, "all.fxd", MemoryFiles(Files()), &d, &error))
      << error;
  fx2::WriteOutput out = fx2::CompileDescription(d, FakeAssemble);
  ASSERT_TRUE(out) << out.error;
  fx2_test::Fx2File file;
  ASSERT_TRUE(fx2_test::ReadFx2File(out.bytes, &file, &error)) << error;
  std::vector<std::vector<uint32_t>> shaders;
  for (const fx2_test::FileResource& r : file.resources) {
    if (r.usage != 0) continue;
    std::vector<uint32_t> code(r.data.size() / 4);
    std::memcpy(code.data(), r.data.data(), r.data.size());
    shaders.push_back(code);
  }
  ASSERT_EQ(2u, shaders.size());
  fx2::ShaderLayout layout;
  ASSERT_TRUE(fx2::ReadShaderLayout(shaders[0], &layout, &error)) << error;
  std::vector<fx2::CtabConstant> constants;
  ASSERT_TRUE(fx2::ReadConstantTable(shaders[0], layout, &constants, &error)) << error;
  ASSERT_EQ(4u, constants.size());
  EXPECT_EQ("Gain", constants[0].name);
  EXPECT_EQ("PixelKernel0", constants[1].name);
  EXPECT_EQ(2u, constants[1].count);
  EXPECT_EQ(3u, constants[1].elements);
  EXPECT_EQ("Source0", constants[2].name);
  EXPECT_EQ(fx2::Type::Sampler2D, constants[2].type);
  EXPECT_EQ("Check0", constants[3].name);
  EXPECT_EQ(1u, constants[3].index);
  // The unbound shader is as assembled.
  std::vector<uint32_t> second = fx2_test::ReferenceShaderWithoutTable();
  second[0] = 0xFFFF0300;
  EXPECT_EQ(second, shaders[1]);
}

TEST(DescriptionParserTest, CompileErrorsNameTheShaderAndTheBinding) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"technique T { pass P {\n  PixelShader = asm { broken }; } }",
       "f.fxd:2:22: the shader does not assemble:\nLine 2: unknown instruction"},
      {"float4 K[2];\ntechnique T { pass P { PixelShader = asm { ps_2_0 };\n bind { c0-c2 = K; } } "
       "}",
       "f.fxd:2:43: bind: binding of \"K\": 3 registers given, but the parameter fills only 2"},
      {"texture Tx;\ntechnique T { pass P { PixelShader = asm { ps_2_0 }; bind { c0 = Tx; } } }",
       "f.fxd:2:43: bind: binding of \"Tx\": a texture parameter cannot live in c registers (D3DX "
       "refuses the effect)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    fx2::Description d;
    std::string error;
    ASSERT_TRUE(fx2::ParseDescription(c.text, "f.fxd", MemoryFiles({}), &d, &error)) << error;
    fx2::WriteOutput out = fx2::CompileDescription(d, FakeAssemble);
    EXPECT_FALSE(out);
    EXPECT_EQ(c.message, out.error);
  }
}

TEST(DescriptionParserTest, ErrorsSayWhereAndWhatWasExpected) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"float x = 1\nfloat y;",
       "f.fxd:2:1: expected ';' after the declaration of 'x', found 'float'"},
      {"floot x;",
       "f.fxd:1:1: expected a type (float, int4, float4x4, bool, string, texture, "
       "sampler2D, ...), found 'floot'"},
      {"float5 x;", "f.fxd:1:1: expected a type"},
      {"float ;", "f.fxd:1:7: expected a parameter name, found ';'"},
      {"float x; int x;", "f.fxd:1:14: a second parameter named 'x'"},
      {"float4 v = {1, 2, 3};", "f.fxd:1:10: expected 4 values for this float, found 3"},
      {"float a[2] = {1, 2, 3};", "f.fxd:1:12: expected 2 values for this float[2], found 3"},
      {"int i = 1.5;", "f.fxd:1:9: expected an integer for a int value, found '1.5'"},
      {"bool b = 2;", "f.fxd:1:10: a bool is true, false, 0 or 1"},
      {"float f = \"text\";", "f.fxd:1:11: expected a number for a float value, found a string"},
      {"string s = 1;", "f.fxd:1:12: expected a string"},
      {"float f = {1, 2;", "f.fxd:1:16: expected ',' or '}' in the initializer, found ';'"},
      {"float f = -x;", "f.fxd:1:12: expected a number after '-', found 'x'"},
      {"float a[0];", "f.fxd:1:9: an array needs at least one element"},
      {"column_major float4 v;", "f.fxd:1:14: column_major is for matrix types"},
      {"texture t = 1;", "f.fxd:1:13: a texture has no initial value"},
      {"texture t[2];", "f.fxd:1:13: arrays of textures and samplers are not supported"},
      {"float f < int a; >;",
       "f.fxd:1:16: expected '=' after the annotation name (annotations need "
       "a value), found ';'"},
      {"float f < int a = 1; int a = 2; >;", "f.fxd:1:26: a second annotation named 'a'"},
      {"float f < texture t = 1; >;", "f.fxd:1:19: annotations hold numbers and strings only"},
      {"sampler s = 1;", "f.fxd:1:13: expected sampler_state { ... } for a sampler, found '1'"},
      {"sampler s = sampler_state { Texture = <Nope>; };",
       "f.fxd:1:40: unknown parameter 'Nope' (declare it before it is used)"},
      {"float f; sampler s = sampler_state { Texture = <f>; };",
       "f.fxd:1:49: 'f' is a float, not a texture"},
      {"sampler s = sampler_state { CullMode = NONE; };",
       "f.fxd:1:29: 'CullMode' is not a sampler state"},
      {"sampler s = sampler_state { MinFilter = CLAMP; };",
       "f.fxd:1:41: 'CLAMP' is not a value of MinFilter"},
      {"sampler s = sampler_state { MinFilter = 1.5; };",
       "f.fxd:1:41: expected an integer for a int value, found '1.5'"},
      {"technique { }", "f.fxd:1:11: expected a technique name, found '{'"},
      {"technique T { P0 }", "f.fxd:1:15: expected 'pass' or '}', found 'P0'"},
      {"technique T { pass { } }", "f.fxd:1:20: expected a pass name, found '{'"},
      {"technique T { pass P { } pass P { } }",
       "f.fxd:1:31: a second pass named 'P' in the technique"},
      {"technique T { pass P { } } technique T { pass P { } }",
       "f.fxd:1:38: a second technique named 'T'"},
      {"technique T { pass P { PixelShader = compile ps_2_0 main(); } }",
       "f.fxd:1:38: no HLSL is compiled here: write the shader as asm { ps_2_0 ... }"},
      {"technique T { pass P { PixelShader = 3; } }",
       "f.fxd:1:38: expected asm { ... }, asm file \"...\" or NULL, found '3'"},
      {"technique T { pass P { VertexShader = asm { vs_2_0 }; } }",
       "f.fxd:1:39: expected NULL (vertex shaders are not supported), found 'asm'"},
      {"technique T { pass P { PixelShader = asm { ps_2_0 } } }",
       "f.fxd:1:53: expected ';' after the shader, found '}'"},
      {"technique T { pass P { PixelShader = asm file \"none.psh\"; } }",
       "f.fxd:1:47: cannot read \"none.psh\": no such file"},
      {"technique T { pass P { PixelShader = asm { ps_2_0 ",
       "f.fxd:1:43: the assembly block is not closed (expected '}')"},
      {"technique T { pass P { Sampler = (S); } }",
       "f.fxd:1:32: expected '[' after Sampler (which sampler, stage or register), found '='"},
      {"float f; technique T { pass P { Sampler[0] = (f); } }",
       "f.fxd:1:47: 'f' is a float, not a sampler"},
      {"int i; technique T { pass P { PixelShaderConstantF[0] = (i); } }",
       "f.fxd:1:57: PixelShaderConstantF takes a float parameter"},
      {"technique T { pass P { FogDensity = 1; ZEnable = ONE; } }",
       "f.fxd:1:50: 'ONE' is not a value of ZEnable"},
      {"technique T { pass P { Frobnicate = 1; } }",
       "f.fxd:1:24: 'Frobnicate' is not a state this tool knows"},
      {"technique T { pass P { MinFilter = POINT; } }",
       "f.fxd:1:34: expected '[' after MinFilter (which sampler, stage or register), found '='"},
      {"technique T { pass P { FogStart = LINEAR; } }",
       "f.fxd:1:35: 'LINEAR' is not a value of FogStart"},
      {"float f; technique T { pass P { bind { c0 = f; } } }",
       "f.fxd:1:33: bind needs exactly one PixelShader = asm ... in the pass"},
      {"technique T { pass P { bind { x0 = f; } } }",
       "f.fxd:1:31: expected a register (c0, i0, b0 or s0), found 'x0'"},
      {"float f; technique T { pass P { bind { c3-c1 = f; } } }",
       "f.fxd:1:43: a register range runs upwards within one register kind (c1-c3)"},
      {"technique T { pass P { bind { c0 = g; } } }",
       "f.fxd:1:36: unknown parameter 'g' (declare it before it is used)"},
      {"float f; technique T { pass P { bind { } bind { } } }",
       "f.fxd:1:42: a second bind block in the pass"},
      {"#include \"missing.fxh\"", "f.fxd:1:1: cannot include \"missing.fxh\": no such file"},
      {"#define X 1", "f.fxd:1:1: expected #include, found #define"},
      {"float f = \"open;", "f.fxd:1:11: the string is not closed (expected '\"')"},
      {"float f; /* open", "f.fxd:1:10: the comment is not closed (expected \"*/\")"},
      {"float f @", "f.fxd:1:9: unexpected character '@'"},
      {"#include \"loop.fxh\"", "loop.fxh:1:1: #include nested too deeply (an include cycle?)"},
  };
  fx2::FileReader files = MemoryFiles({{"loop.fxh", "#include \"loop.fxh\"\n"}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    fx2::Description d;
    std::string error;
    EXPECT_FALSE(fx2::ParseDescription(c.text, "f.fxd", files, &d, &error));
    EXPECT_EQ(0u, error.find(c.message)) << error;
  }
}

}  // namespace
