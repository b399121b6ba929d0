// State names and value words: the operation numbers of D3DX's state table
// (cross-checked in the format notes against fxc output) and the enum values
// Direct3D defines for the words.
#include "fx2/state_table.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(StateTableTest, NamesGiveD3dxOperationNumbersCaseInsensitively) {
  struct Case {
    const char* name;
    uint32_t operation;
    fx2::StateGroup group;
    fx2::StateValue value;
  };
  const Case cases[] = {
      {"ZEnable", 0, fx2::StateGroup::Render, fx2::StateValue::Integer},
      {"cullmode", 8, fx2::StateGroup::Render, fx2::StateValue::Integer},
      {"ALPHABLENDENABLE", 13, fx2::StateGroup::Render, fx2::StateValue::Integer},
      {"FogStart", 18, fx2::StateGroup::Render, fx2::StateValue::Float},
      {"PointSize", 60, fx2::StateGroup::Render, fx2::StateValue::Float},
      {"BlendOp", 75, fx2::StateGroup::Render, fx2::StateValue::Integer},
      {"BlendOpAlpha", 102, fx2::StateGroup::Render, fx2::StateValue::Integer},
      {"TexCoordIndex", 116, fx2::StateGroup::TextureStage, fx2::StateValue::Integer},
      {"AddressU", 165, fx2::StateGroup::Sampler, fx2::StateValue::Integer},
      {"MagFilter", 169, fx2::StateGroup::Sampler, fx2::StateValue::Integer},
      {"MinFilter", 170, fx2::StateGroup::Sampler, fx2::StateValue::Integer},
      {"MipFilter", 171, fx2::StateGroup::Sampler, fx2::StateValue::Integer},
      {"MipMapLodBias", 172, fx2::StateGroup::Sampler, fx2::StateValue::Float},
      {"SRGBTexture", 175, fx2::StateGroup::Sampler, fx2::StateValue::Integer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fx2::StateInfo* info = fx2::FindState(c.name);
    ASSERT_NE(nullptr, info);
    EXPECT_EQ(c.operation, info->operation);
    EXPECT_EQ(c.group, info->group);
    EXPECT_EQ(c.value, info->value);
    EXPECT_EQ(info, fx2::StateByOperation(c.operation));
  }
  EXPECT_EQ(nullptr, fx2::FindState("Texture"));  // a reference, not a constant state
  EXPECT_EQ(nullptr, fx2::FindState("ZEnabled"));
  EXPECT_EQ(nullptr, fx2::StateByOperation(179));
}

TEST(StateTableTest, WordsTakeTheValueOfTheirStatesEnum) {
  struct Case {
    fx2::ValueWords words;
    const char* word;
    bool known;
    uint32_t value;
  };
  const Case cases[] = {
      {fx2::ValueWords::Filter, "NONE", true, 0},
      {fx2::ValueWords::Cull, "NONE", true, 1},
      {fx2::ValueWords::Filter, "point", true, 1},
      {fx2::ValueWords::Fill, "POINT", true, 1},
      {fx2::ValueWords::Filter, "ANISOTROPIC", true, 3},
      {fx2::ValueWords::Address, "CLAMP", true, 3},
      {fx2::ValueWords::Address, "MirrorOnce", true, 5},
      {fx2::ValueWords::Cull, "CCW", true, 3},
      {fx2::ValueWords::Blend, "INVSRCALPHA", true, 6},
      {fx2::ValueWords::BlendOp, "REVSUBTRACT", true, 3},
      {fx2::ValueWords::Compare, "ALWAYS", true, 8},
      {fx2::ValueWords::Filter, "TRUE", true, 1},
      {fx2::ValueWords::None, "false", true, 0},
      {fx2::ValueWords::Filter, "CLAMP", false, 0},
      {fx2::ValueWords::Cull, "POINT", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    uint32_t value = 0xDEAD;
    EXPECT_EQ(c.known, fx2::FindValueWord(c.words, c.word, &value));
    EXPECT_EQ(c.known ? c.value : 0xDEADu, value);
  }
}

}  // namespace
