// The constant-table builder: register counts as D3DX counts them, the table
// placed after the version token with the instructions untouched, and the
// bindings it refuses.
#include "fx2/constant_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fx2/fx2_test_effects.h"
#include "fx2/shader_code.h"

namespace {

using fx2::RegisterSet;
using fx2::Shape;
using fx2::Type;

fx2::ConstantBinding Binding(RegisterSet set, uint32_t index, uint32_t count, const char* name,
                             Shape shape) {
  fx2::ConstantBinding b;
  b.set = set;
  b.index = index;
  b.count = count;
  b.name = name;
  b.shape = shape;
  return b;
}

std::vector<uint32_t> Ps30() {
  std::vector<uint32_t> code = fx2_test::ReferenceShaderWithoutTable();
  code[0] = 0xFFFF0300;
  return code;
}

TEST(ConstantTableTest, RegisterCountsFollowD3dx) {
  struct Case {
    const char* what;
    Shape shape;
    RegisterSet set;
    uint32_t registers;
  };
  const Case cases[] = {
      {"float", Shape::Scalar(Type::Float), RegisterSet::Float4, 1},
      {"float4", Shape::Vector(Type::Float, 4), RegisterSet::Float4, 1},
      {"float2[5]", Shape::Vector(Type::Float, 2).Array(5), RegisterSet::Float4, 5},
      {"float4[3]", Shape::Vector(Type::Float, 4).Array(3), RegisterSet::Float4, 3},
      {"float4x3 row-major", Shape::Matrix(Type::Float, 4, 3), RegisterSet::Float4, 4},
      {"float4x3 column-major", Shape::ColumnMajorMatrix(Type::Float, 4, 3), RegisterSet::Float4,
       3},
      {"float3x4[2] row-major", Shape::Matrix(Type::Float, 3, 4).Array(2), RegisterSet::Float4, 6},
      {"int4", Shape::Vector(Type::Int, 4), RegisterSet::Int4, 1},
      {"bool", Shape::Scalar(Type::Bool), RegisterSet::Bool, 1},
      {"bool3", Shape::Vector(Type::Bool, 3), RegisterSet::Bool, 3},
      {"sampler2D", Shape::Object(Type::Sampler2D), RegisterSet::Sampler, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.registers, fx2::RegistersFor(c.shape, c.set));
  }
}

TEST(ConstantTableTest, TableSitsAfterTheVersionTokenAndReadsBack) {
  std::vector<uint32_t> code = fx2_test::ReferenceShaderWithoutTable();
  fx2::CodeOutput out = fx2::AddConstantTable(
      code, {Binding(RegisterSet::Sampler, 2, 0, "Source0", Shape::Object(Type::Sampler2D)),
             Binding(RegisterSet::Float4, 1, 2, "Kernel", Shape::Vector(Type::Float, 4).Array(3)),
             Binding(RegisterSet::Bool, 3, 0, "Flags", Shape::Vector(Type::Bool, 2)),
             Binding(RegisterSet::Int4, 0, 0, "Count", Shape::Scalar(Type::Int))});
  ASSERT_TRUE(out) << out.error;
  ASSERT_GT(out.code.size(), code.size());
  EXPECT_EQ(code[0], out.code[0]);
  uint32_t comment = (out.code[1] >> 16) & 0x7FFF;
  EXPECT_EQ(0xFFFEu, out.code[1] & 0xFFFF);
  EXPECT_EQ(fx2::kCtabFourcc, out.code[2]);
  ASSERT_EQ(code.size() + 1 + comment, out.code.size());
  EXPECT_EQ(std::vector<uint32_t>(code.begin() + 1, code.end()),
            std::vector<uint32_t>(out.code.begin() + 2 + comment, out.code.end()));

  fx2::ShaderLayout layout;
  std::string error;
  ASSERT_TRUE(fx2::ReadShaderLayout(out.code, &layout, &error)) << error;
  EXPECT_EQ(1u, layout.ctab_token);
  std::vector<fx2::CtabConstant> constants;
  ASSERT_TRUE(fx2::ReadConstantTable(out.code, layout, &constants, &error)) << error;
  ASSERT_EQ(4u, constants.size());
  EXPECT_EQ("Source0", constants[0].name);
  EXPECT_EQ(RegisterSet::Sampler, constants[0].set);
  EXPECT_EQ(2u, constants[0].index);
  EXPECT_EQ(1u, constants[0].count);
  EXPECT_EQ(fx2::Class::Object, constants[0].klass);
  EXPECT_EQ(Type::Sampler2D, constants[0].type);
  EXPECT_EQ(1u, constants[0].elements);
  EXPECT_EQ("Kernel", constants[1].name);
  EXPECT_EQ(2u, constants[1].count);  // part of the array, as fxc writes for unused tails
  EXPECT_EQ(3u, constants[1].elements);
  EXPECT_EQ(fx2::Class::Vector, constants[1].klass);
  EXPECT_EQ(4u, constants[1].columns);
  EXPECT_EQ(1u, constants[1].rows);
  EXPECT_EQ(2u, constants[2].count);
  EXPECT_EQ(RegisterSet::Int4, constants[3].set);
}

TEST(ConstantTableTest, RefusesWhatD3dxWouldRejectOrMisread) {
  struct Case {
    const char* what;
    std::vector<uint32_t> code;
    std::vector<fx2::ConstantBinding> bindings;
    const char* message;
  };
  std::vector<uint32_t> ps20 = fx2_test::ReferenceShaderWithoutTable();
  std::vector<uint32_t> vertex = ps20;
  vertex[0] = 0xFFFE0200;
  const Case cases[] = {
      {"a shader that has a table",
       fx2_test::ReferenceShader(),
       {},
       "already has a constant table"},
      {"a vertex shader", vertex, {}, "pixel shaders only"},
      {"not bytecode", {0x12345678, 0x0000FFFF}, {}, "version token"},
      {"a float in a sampler register",
       ps20,
       {Binding(RegisterSet::Sampler, 0, 0, "F", Shape::Scalar(Type::Float))},
       "a float parameter cannot live in s registers"},
      {"a sampler in c registers",
       ps20,
       {Binding(RegisterSet::Float4, 0, 0, "S", Shape::Object(Type::Sampler2D))},
       "cannot live in c registers"},
      {"a float in int registers",
       ps20,
       {Binding(RegisterSet::Int4, 0, 0, "F", Shape::Scalar(Type::Float))},
       "cannot live in i registers"},
      {"an int in bool registers",
       ps20,
       {Binding(RegisterSet::Bool, 0, 0, "I", Shape::Scalar(Type::Int))},
       "cannot live in b registers"},
      {"a texture anywhere",
       ps20,
       {Binding(RegisterSet::Float4, 0, 0, "T", Shape::Object(Type::Texture))},
       "a texture parameter cannot live"},
      {"more registers than the parameter fills",
       ps20,
       {Binding(RegisterSet::Float4, 0, 4, "K", Shape::Vector(Type::Float, 4).Array(3))},
       "4 registers given, but the parameter fills only 3"},
      {"past c31 in ps_2_0",
       ps20,
       {Binding(RegisterSet::Float4, 30, 0, "K", Shape::Vector(Type::Float, 4).Array(3))},
       "c30-c32 is beyond the last register of ps_2_0"},
      {"past c223 in ps_3_0",
       Ps30(),
       {Binding(RegisterSet::Float4, 223, 2, "K", Shape::Vector(Type::Float, 4).Array(3))},
       "beyond the last register of ps_3_0"},
      {"past s15",
       ps20,
       {Binding(RegisterSet::Sampler, 16, 0, "S", Shape::Object(Type::Sampler))},
       "s16 is beyond"},
      {"overlapping registers",
       ps20,
       {Binding(RegisterSet::Float4, 0, 0, "K", Shape::Vector(Type::Float, 4).Array(3)),
        Binding(RegisterSet::Float4, 2, 0, "F", Shape::Scalar(Type::Float))},
       "c2 overlaps the registers of \"K\""},
      {"one parameter twice",
       ps20,
       {Binding(RegisterSet::Float4, 0, 0, "F", Shape::Scalar(Type::Float)),
        Binding(RegisterSet::Float4, 1, 0, "F", Shape::Scalar(Type::Float))},
       "bound twice"},
      {"a name that is no parameter name",
       ps20,
       {Binding(RegisterSet::Float4, 0, 0, "a[1]", Shape::Scalar(Type::Float))},
       "is not a parameter name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fx2::CodeOutput out = fx2::AddConstantTable(c.code, c.bindings);
    EXPECT_FALSE(out);
    EXPECT_TRUE(out.code.empty());
    EXPECT_NE(std::string::npos, out.error.find(c.message)) << out.error;
  }
  // The same registers in another set do not overlap, and c224 is not needed
  // to hold c223 in ps_3_0.
  EXPECT_TRUE(fx2::AddConstantTable(
      ps20, {Binding(RegisterSet::Float4, 0, 0, "F", Shape::Scalar(Type::Float)),
             Binding(RegisterSet::Bool, 0, 0, "B", Shape::Scalar(Type::Bool)),
             Binding(RegisterSet::Sampler, 0, 0, "S", Shape::Object(Type::Sampler))}));
  EXPECT_TRUE(fx2::AddConstantTable(
      Ps30(), {Binding(RegisterSet::Float4, 223, 0, "F", Shape::Scalar(Type::Float))}));
}

TEST(ConstantTableTest, BindParameterChoosesTheSetFromTheType) {
  fx2::EffectBuilder fx = fx2_test::RichEffect();
  struct Case {
    const char* name;
    RegisterSet set;
  };
  const Case cases[] = {{"Source0", RegisterSet::Sampler},
                        {"Check0", RegisterSet::Bool},
                        {"Track0", RegisterSet::Float4},
                        {"PixelKernel0", RegisterSet::Float4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fx2::ConstantBinding binding;
    std::string error;
    ASSERT_TRUE(fx2::BindParameter(fx.effect(), c.name, 5, &binding, &error)) << error;
    EXPECT_EQ(c.set, binding.set);
    EXPECT_EQ(5u, binding.index);
    EXPECT_EQ(fx.effect().FindParameter(c.name)->value.shape.elements, binding.shape.elements);
  }
  fx2::ConstantBinding binding;
  std::string error;
  EXPECT_FALSE(fx2::BindParameter(fx.effect(), "TxTmp", 0, &binding, &error));
  EXPECT_NE(std::string::npos, error.find("only samplers and numbers")) << error;
  EXPECT_FALSE(fx2::BindParameter(fx.effect(), "Missing", 0, &binding, &error));
  EXPECT_NE(std::string::npos, error.find("no parameter \"Missing\"")) << error;
}

}  // namespace
