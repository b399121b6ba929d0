// The image format from the "img_format" word and the device's support.
#include <gtest/gtest.h>

#include <string>

#include "plan/plan_decisions.h"

namespace {

struct WordCase {
  const char* word;
  ImageFormat format;
};

TEST(ImageFormatChoiceTest, OnlyTheFourWordsSelectAFormat) {
  const WordCase cases[] = {
      {"S16", S16},  {"B16", B16}, {"F16", F16}, {"U16", U16},         {"F32", F32},  {"s16", F32},
      {"S16 ", F32}, {"S1", F32},  {"", F32},    {"A2B10G10R10", F32}, {"none", F32},
  };
  for (const WordCase& c : cases) {
    SCOPED_TRACE(std::string("word \"") + c.word + "\"");
    EXPECT_EQ(c.format, RequestedImageFormat(c.word));
  }
  EXPECT_EQ(F32, RequestedImageFormat(nullptr));
}

struct Support {
  bool f32, f16, u16, b16, s16, probe;
};

struct ChoiceCase {
  const char* label;
  ImageFormat requested;
  Support support;
  ImageFormat format;
  bool fallback_warning;
};

TEST(ImageFormatChoiceTest, FallsBackToF32WithAWarning) {
  const ChoiceCase cases[] = {
      {"F32 supported", F32, {true, false, false, false, false, false}, F32, false},
      {"F32 unsupported: no warning, error",
       F32,
       {false, true, true, true, true, true},
       none,
       false},
      {"S16 supported", S16, {false, false, false, false, true, false}, S16, false},
      {"S16 unsupported, F32 supported", S16, {true, true, true, true, false, true}, F32, true},
      {"F16 unsupported, nothing else", F16, {false, false, true, true, true, true}, none, true},
      {"U16 supported", U16, {true, false, true, false, false, false}, U16, false},
      {"B16 shares U16's texture but has its own flag",
       B16,
       {true, false, true, false, false, false},
       F32,
       true},
      {"the 10-bit probe alone is not enough",
       F32,
       {false, false, false, false, false, true},
       none,
       false},
  };
  for (const ChoiceCase& c : cases) {
    SCOPED_TRACE(c.label);
    const bool supported[kProbedFormatCount] = {c.support.f32, c.support.f16, c.support.u16,
                                                c.support.b16, c.support.s16, c.support.probe};
    FormatChoice choice = ChooseImageFormat(c.requested, supported);
    EXPECT_EQ(c.format, choice.format);
    EXPECT_EQ(c.fallback_warning, choice.fallback_warning);
  }
}

struct TextureCase {
  int32_t format;
  D3DFORMAT texture;
};

TEST(ImageFormatChoiceTest, TextureFormatOfEachImageFormat) {
  const TextureCase cases[] = {
      {F32, D3DFMT_A32B32G32R32F},  {F16, D3DFMT_A16B16G16R16F},
      {U16, D3DFMT_A16B16G16R16},   {B16, D3DFMT_A16B16G16R16},
      {S16, D3DFMT_Q16W16V16U16},   {A2B10G10R10_PROBE, D3DFMT_A2B10G10R10},
      {none, D3DFMT_A32B32G32R32F}, {-1, D3DFMT_A32B32G32R32F},
      {7, D3DFMT_A32B32G32R32F},
  };
  for (const TextureCase& c : cases) {
    SCOPED_TRACE("image format " + std::to_string(c.format));
    EXPECT_EQ(c.texture, TextureFormatFor(c.format));
  }
  // Values the effect and the probe rely on.
  EXPECT_EQ(116, D3DFMT_A32B32G32R32F);
  EXPECT_EQ(113, D3DFMT_A16B16G16R16F);
  EXPECT_EQ(36, D3DFMT_A16B16G16R16);
  EXPECT_EQ(110, D3DFMT_Q16W16V16U16);
  EXPECT_EQ(31, D3DFMT_A2B10G10R10);
}

}  // namespace
