// The pixel-shader version token of "min_ps_ver" and its "ps_%x_%x" text.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "plan/plan_decisions.h"

namespace {

struct VersionCase {
  int32_t major;
  int32_t minor;
  uint32_t token;
  const wchar_t* text;
};

TEST(PixelShaderVersionTest, TokenAndText) {
  const VersionCase cases[] = {
      {2, 0, 0xFFFF0200u, L"ps_2_0"},
      {3, 0, 0xFFFF0300u, L"ps_3_0"},
      {2, 10, 0xFFFF020Au, L"ps_2_a"},
      {2, 11, 0xFFFF020Bu, L"ps_2_b"},
      {1, 4, 0xFFFF0104u, L"ps_1_4"},
      {0, 0, 0xFFFF0000u, L"ps_0_0"},
      {16, 255, 0xFFFF10FFu, L"ps_10_ff"},
      // Only the low byte of major reaches the token; the text shows it all.
      {0x1234, 1, 0xFFFF3401u, L"ps_1234_1"},
  };
  for (const VersionCase& c : cases) {
    SCOPED_TRACE("{" + std::to_string(c.major) + ", " + std::to_string(c.minor) + "}");
    EXPECT_EQ(c.token, PixelShaderVersionToken(c.major, c.minor));
    wchar_t text[32];
    size_t length = FormatPixelShaderVersion(c.major, c.minor, text, 32);
    EXPECT_EQ(std::wstring(c.text), std::wstring(text));
    EXPECT_EQ(std::wstring(c.text).size(), length);
  }
}

TEST(PixelShaderVersionTest, DeviceVersionsCompareAsUnsignedTokens) {
  // D3DPS_VERSION(2, 0) of a device against the required {3, 0}.
  EXPECT_LT(0xFFFF0200u, PixelShaderVersionToken(3, 0));
  EXPECT_FALSE(0xFFFF0300u < PixelShaderVersionToken(3, 0));
  EXPECT_FALSE(0xFFFF0300u < PixelShaderVersionToken(2, 10));
  EXPECT_LT(0xFFFF0200u, PixelShaderVersionToken(2, 10));
  // A device without pixel shaders reports 0.
  EXPECT_LT(0u, PixelShaderVersionToken(0, 0));
}

TEST(PixelShaderVersionTest, TextIsCutToTheBuffer) {
  wchar_t text[6];
  for (wchar_t& c : text) c = L'#';
  size_t length = FormatPixelShaderVersion(2, 10, text, 5);
  EXPECT_EQ(4u, length);
  EXPECT_EQ(std::wstring(L"ps_2"), std::wstring(text));
  EXPECT_EQ(L'#', text[5]);
  EXPECT_EQ(0u, FormatPixelShaderVersion(2, 10, text, 0));
  EXPECT_EQ(L'#', text[5]);
}

}  // namespace
