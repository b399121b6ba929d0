// How Wine (wined3d on Mesa's software rasteriser) stores shader outputs in
// the 16-bit-per-channel targets the plug-in may use: a pixel shader writes
// a float4 constant into a 1×1 target, which is read back raw.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "e2e/fx2/wine_test_support.h"

namespace fx2_wine {
namespace {

std::vector<uint16_t> Stored(D3DFORMAT format, const D3DXVECTOR4& value) {
  TestDevice& device = Device();
  fx2::EffectBuilder fx;
  fx.Float4("Value", 0, 0, 0, 0);
  fx.Technique("T").Pass("P").PixelShader(
      AssembleBound("ps_2_0\nmov oC0, c0\n", fx, {{"c0", "Value"}}));
  ComPtr<ID3DXEffect> effect = Load(fx);
  ComPtr<IDirect3DTexture9> target = device.RenderTarget(1, 1, format);
  if (!effect || !target) {
    ADD_FAILURE() << "no effect or no target";
    return {};
  }
  EXPECT_EQ(S_OK, effect->SetVector("Value", &value));
  EXPECT_EQ(S_OK, device.DrawPasses(effect.get(), {target.get()}));
  return AsHalves(device.Read(target.get()));
}

struct FormatCase {
  D3DXVECTOR4 written;
  uint16_t stored[4];  // channel order in memory: R, G, B, A (U, V, W, Q)
};

void ExpectStored(D3DFORMAT format, const char* name, const std::vector<FormatCase>& cases) {
  if (!Device().SupportsRenderTarget(format)) {
    GTEST_SKIP() << "SKIPPED: " << name << " is not a render-target format of this device";
  }
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(testing::Message() << name << " written (" << c.written.x << ", " << c.written.y
                                    << ", " << c.written.z << ", " << c.written.w << ")");
    std::vector<uint16_t> got = Stored(format, c.written);
    ASSERT_EQ(4u, got.size());
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(c.stored[i], got[i]) << "channel " << i << ": stored 0x" << std::hex << got[i];
    }
  }
}

TEST(RenderTargetFormatTest, Float16) {
  ExpectStored(
      D3DFMT_A16B16G16R16F, "A16B16G16R16F",
      {
          {{0.0f, 1.0f, -2.0f, 0.5f}, {0x0000, 0x3c00, 0xc000, 0x3800}},
          {{0.1f, 1.0f / 3.0f, 65504.0f, -65504.0f}, {0x2e66, 0x3555, 0x7bff, 0xfbff}},
          // Beyond the range: the largest finite value, not infinity.
          {{70000.0f, -70000.0f, 1e-8f, 6.1035156e-05f}, {0x7bff, 0xfbff, 0x0000, 0x0400}},
          // Rounded toward zero: halves (1 + 1.5 ulp, 2051) and 0.9 ulp go down.
          {{1.0009766f, 1.0014648f, 2049.0f, 2051.0f}, {0x3c01, 0x3c01, 0x6800, 0x6801}},
          {{1.00087890625f, -1.0014648f, -2051.0f, 65519.0f}, {0x3c00, 0xbc01, 0xe801, 0x7bff}},
      });
}

// Scaled by 65535, clamped to [0, 1] and rounded to nearest.
TEST(RenderTargetFormatTest, Unsigned16) {
  ExpectStored(
      D3DFMT_A16B16G16R16, "A16B16G16R16",
      {
          {{0.0f, 1.0f, 0.5f, 0.25f}, {0x0000, 0xffff, 0x8000, 0x4000}},
          {{-0.5f, 1.5f, 1.0f / 65535.0f, 0.4999f / 65535.0f}, {0x0000, 0xffff, 0x0001, 0x0000}},
          {{0.5001f / 65535.0f, 1.4999f / 65535.0f, 1.5001f / 65535.0f, 2.6f / 65535.0f},
           {0x0001, 0x0001, 0x0002, 0x0003}},
      });
}

// Scaled by 32767, clamped to [-1, 1] (so -32768 never appears) and rounded to
// nearest.
TEST(RenderTargetFormatTest, Signed16) {
  ExpectStored(
      D3DFMT_Q16W16V16U16, "Q16W16V16U16",
      {
          {{0.0f, 1.0f, -1.0f, 0.5f}, {0x0000, 0x7fff, 0x8001, 0x4000}},
          {{2.0f, -2.0f, 1.0f / 32767.0f, -1.0f / 32767.0f}, {0x7fff, 0x8001, 0x0001, 0xffff}},
          {{0.5001f / 32767.0f, 0.4999f / 32767.0f, 2.6f / 32767.0f, -0.5001f / 32767.0f},
           {0x0001, 0x0000, 0x0003, 0xffff}},
      });
}

}  // namespace
}  // namespace fx2_wine
