// Every refusal of the writer: a valid effect with one thing broken gives an
// error that names the item and no bytes at all.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fx2/constant_table.h"
#include "fx2/fx2_test_effects.h"
#include "fx2/fx2_writer.h"

namespace {

using fx2::Effect;

fx2::PassState& State(Effect& e, size_t t, size_t p, size_t k) {
  return e.techniques[t].passes[p].states[k];
}

std::vector<uint32_t> WithTable(const std::string& name, fx2::RegisterSet set, fx2::Shape shape) {
  fx2::ConstantBinding binding;
  binding.set = set;
  binding.name = name;
  binding.shape = shape;
  fx2::CodeOutput out = fx2::AddConstantTable(fx2_test::ReferenceShaderWithoutTable(), {binding});
  EXPECT_TRUE(out) << out.error;
  return out.code;
}

struct RefusalCase {
  const char* what;
  void (*change)(Effect&);
  const char* message;  // a part of the error
};

// Parameters of RichEffect: 0 FilterVersion, 1 Track0, 2 Check0,
// 3 PixelKernel0, 4 Weights, 5 Matrix, 6 Words, 7 TxSrc0, 8 TxTmp,
// 9 Source0, 10 Tmp, 11 SharedShader. Pass 0 of technique 0: 0 PixelShader,
// 1 VertexShader, 2 Sampler[0], 3 PixelShaderConstantF[0], 4 CullMode,
// 5 FogStart, 6 MinFilter[1].
const RefusalCase kCases[] = {
    {"empty parameter name", [](Effect& e) { e.parameters[1].name = ""; },
     "parameter 1 \"\": an empty name"},
    {"parameter name with a dot", [](Effect& e) { e.parameters[1].name = "Track.0"; },
     "not an identifier"},
    {"two parameters of one name", [](Effect& e) { e.parameters[2].name = "Track0"; },
     "parameter 2 \"Track0\": a second parameter of that name"},
    {"empty annotation name", [](Effect& e) { e.parameters[1].annotations[0].name = ""; },
     "annotation 0 \"\": an empty name"},
    {"two annotations of one name", [](Effect& e) { e.parameters[1].annotations[1].name = "min"; },
     "a second annotation of that name"},
    {"empty technique name", [](Effect& e) { e.techniques[1].name = ""; },
     "technique 1 \"\": an empty name"},
    {"two techniques of one name", [](Effect& e) { e.techniques[1].name = "ProcessImage0"; },
     "a second technique of that name"},
    {"empty pass name", [](Effect& e) { e.techniques[1].passes[1].name = ""; },
     "pass 1 \"\": an empty name"},
    {"two passes of one name", [](Effect& e) { e.techniques[1].passes[1].name = "P0"; },
     "a second pass of that name"},
    {"empty pass annotation name",
     [](Effect& e) { e.techniques[0].passes[0].annotations[0].name = ""; }, "an empty name"},
    {"semantic that is not an identifier", [](Effect& e) { e.parameters[4].semantic = "A B"; },
     "the semantic is not an identifier"},
    {"too few numbers", [](Effect& e) { e.parameters[3].value.numbers.pop_back(); },
     "holds 11 numbers, its type needs 12"},
    {"a five-column vector",
     [](Effect& e) {
       e.parameters[0].value.shape.columns = 5;
       e.parameters[0].value.numbers.push_back(0);
     },
     "rows and columns do not fit"},
    {"a scalar with two rows", [](Effect& e) { e.parameters[1].value.shape.rows = 2; },
     "rows and columns do not fit"},
    {"string array missing a string", [](Effect& e) { e.parameters[6].value.strings.pop_back(); },
     "holds 1 strings, its type needs 2"},
    {"string with a NUL inside",
     [](Effect& e) { e.parameters[6].value.strings[0] = std::string("a\0b", 3); },
     "contains a NUL character"},
    {"a texture annotation",
     [](Effect& e) {
       e.parameters[1].annotations[0].value.shape = fx2::Shape::Object(fx2::Type::Texture);
     },
     "texture annotations are not supported"},
    {"an array of textures", [](Effect& e) { e.parameters[7].value.shape.elements = 2; },
     "arrays of texture2D are not supported"},
    {"a void parameter",
     [](Effect& e) { e.parameters[1].value.shape = fx2::Shape::Object(fx2::Type::Void); },
     "void parameters are not supported"},
    {"a vertex shader parameter",
     [](Effect& e) { e.parameters[11].value.shape.type = fx2::Type::VertexShader; },
     "vertexshader parameters are not supported"},
    {"sampler states on a texture",
     [](Effect& e) { e.parameters[7].sampler_states = e.parameters[9].sampler_states; },
     "sampler states on a parameter that is not a sampler"},
    {"sampler Texture names nothing",
     [](Effect& e) { e.parameters[9].sampler_states[0].texture = "TxNone"; },
     "refers to \"TxNone\", which is not a parameter"},
    {"sampler Texture names a float",
     [](Effect& e) { e.parameters[9].sampler_states[0].texture = "Weights"; },
     "Texture = <Weights>, which is not a texture"},
    {"sampler state with operation 179",
     [](Effect& e) { e.parameters[9].sampler_states[1].operation = 179; },
     "operation 179 is not a sampler state"},
    {"a render state inside a sampler block",
     [](Effect& e) { e.parameters[9].sampler_states[1].operation = 8; },
     "operation 8 is not a sampler state"},
    {"MinFilter given a float",
     [](Effect& e) { e.parameters[9].sampler_states[1].value = fx2::Float(1.0f); },
     "needs an integer value"},
    {"sampler state with two numbers",
     [](Effect& e) {
       e.parameters[9].sampler_states[1].value = fx2::IntVector({1, 2});
     },
     "a state value must be one number"},
    {"pass Sampler names a texture", [](Effect& e) { State(e, 0, 0, 2).parameter = "TxSrc0"; },
     "Sampler[0] = (TxSrc0), which is not a sampler"},
    {"pass Sampler names nothing", [](Effect& e) { State(e, 0, 0, 2).parameter = "Nothing"; },
     "refers to \"Nothing\", which is not a parameter"},
    {"pass Sampler 16", [](Effect& e) { State(e, 0, 0, 2).index = 16; },
     "sampler index out of range"},
    {"pass Texture names a sampler", [](Effect& e) { State(e, 1, 0, 1).parameter = "Tmp"; },
     "Texture[1] = <Tmp>, which is not a texture"},
    {"PixelShaderConstantF names an int", [](Effect& e) { State(e, 0, 0, 3).parameter = "Track0"; },
     "PixelShaderConstantF needs a float parameter, \"Track0\" is a int"},
    {"PixelShaderConstantI names a float",
     [](Effect& e) { State(e, 1, 0, 2).parameter = "Weights"; },
     "PixelShaderConstantI needs a int parameter"},
    {"PixelShaderConstantB names a texture",
     [](Effect& e) { State(e, 1, 1, 1).parameter = "TxTmp"; },
     "PixelShaderConstantB needs a bool parameter"},
    {"PixelShaderConstantF at c224", [](Effect& e) { State(e, 0, 0, 3).index = 224; },
     "register out of range"},
    {"constant state with operation 179", [](Effect& e) { State(e, 0, 0, 4).operation = 179; },
     "operation 179 is not a state this writer knows"},
    {"render state with an index", [](Effect& e) { State(e, 0, 0, 4).index = 1; },
     "(CullMode): index 1 is out of range"},
    {"sampler state in a pass at sampler 16", [](Effect& e) { State(e, 0, 0, 6).index = 16; },
     "(MinFilter): index 16 is out of range"},
    {"FogStart given an integer", [](Effect& e) { State(e, 0, 0, 5).value = fx2::Int(1); },
     "(FogStart): needs a float value"},
    {"PixelShader without bytecode", [](Effect& e) { State(e, 0, 0, 0).bytecode.clear(); },
     "the pixel shader has no bytecode"},
    {"PixelShader given a vertex shader",
     [](Effect& e) { State(e, 0, 0, 0).bytecode[0] = 0xFFFE0200; },
     "a vertex shader given as a pixel shader"},
    {"PixelShader bytecode without a version token",
     [](Effect& e) { State(e, 0, 0, 0).bytecode[0] = 0x12345678; },
     "does not start with a shader version token"},
    {"PixelShader bytecode without the end token",
     [](Effect& e) { State(e, 0, 0, 0).bytecode.pop_back(); }, "ends without the end token"},
    {"PixelShader bytecode with data after the end token",
     [](Effect& e) { State(e, 0, 0, 0).bytecode.push_back(0); }, "data after the end token"},
    {"ps_1_4 bytecode", [](Effect& e) { State(e, 0, 0, 0).bytecode[0] = 0xFFFF0104; },
     "only shader model 2 and 3"},
    {"shader parameter with bad bytecode",
     [](Effect& e) { e.parameters[11].value.bytecode.pop_back(); },
     "parameter 11 \"SharedShader\": shader bytecode ends without the end token"},
    {"PixelShader = (texture)", [](Effect& e) { State(e, 1, 0, 0).parameter = "TxTmp"; },
     "PixelShader = (TxTmp), which is not a pixelshader"},
    {"NULL on a render state", [](Effect& e) { State(e, 1, 1, 0).operation = 8; },
     "NULL is only for PixelShader and VertexShader"},
    {"table: a sampler constant named like a texture",
     [](Effect& e) {
       State(e, 0, 0, 0).bytecode =
           WithTable("TxSrc0", fx2::RegisterSet::Sampler, fx2::Shape::Object(fx2::Type::Sampler2D));
     },
     "constant table entry \"TxSrc0\" is a sampler, but the parameter is a texture2D"},
    {"table: a numeric constant named like a sampler",
     [](Effect& e) {
       State(e, 0, 0, 0).bytecode =
           WithTable("Source0", fx2::RegisterSet::Float4, fx2::Shape::Scalar(fx2::Type::Float));
     },
     "is numeric, but the parameter is a sampler2D"},
    {"table: array elements differ",
     [](Effect& e) {
       State(e, 0, 0, 0).bytecode = WithTable("PixelKernel0", fx2::RegisterSet::Float4,
                                              fx2::Shape::Vector(fx2::Type::Float, 4).Array(2));
     },
     "has 2 elements, the parameter 3"},
    {"table: an array constant for a plain parameter",
     [](Effect& e) {
       State(e, 0, 0, 0).bytecode = WithTable("Weights", fx2::RegisterSet::Float4,
                                              fx2::Shape::Scalar(fx2::Type::Float).Array(2));
     },
     "has 2 elements, the parameter 3"},
    {"table: a constant larger than its parameter",
     [](Effect& e) {
       State(e, 0, 0, 0).bytecode =
           WithTable("Track0", fx2::RegisterSet::Float4, fx2::Shape::Vector(fx2::Type::Int, 4));
     },
     "is larger than the parameter"},
};

TEST(WriterRefusalTest, EachBrokenItemIsRefusedWithItsName) {
  {
    fx2::WriteOutput untouched = fx2::WriteFx2(fx2_test::RichEffect().effect());
    ASSERT_TRUE(untouched) << untouched.error;
  }
  for (const RefusalCase& c : kCases) {
    SCOPED_TRACE(c.what);
    fx2::EffectBuilder fx = fx2_test::RichEffect();
    c.change(fx.effect());
    fx2::WriteOutput out = fx2::WriteFx2(fx.effect());
    EXPECT_FALSE(out);
    EXPECT_TRUE(out.bytes.empty());
    EXPECT_NE(std::string::npos, out.error.find(c.message)) << out.error;
  }
}

TEST(WriterRefusalTest, UnknownStateNameFromTheBuilderIsRefused) {
  fx2::EffectBuilder fx;
  fx.Technique("T").Pass("P").State("NoSuchState", 0, 1u);
  fx2::WriteOutput out = fx2::WriteFx2(fx.effect());
  EXPECT_FALSE(out);
  EXPECT_NE(std::string::npos, out.error.find("operation 179 is not a state")) << out.error;
}

}  // namespace
