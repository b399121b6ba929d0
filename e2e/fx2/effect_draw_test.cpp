// Real pixels from written effects: assembled shaders sample a texture
// parameter through a sampler and use float, float4 and float4-array
// parameters, bound through a constant table or through pass states, into
// A32B32G32R32F targets compared exactly. Every value below is a small
// multiple of a power of two, so each result is exact in float arithmetic
// whatever the rasteriser fuses or reorders.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "e2e/fx2/wine_test_support.h"

namespace fx2_wine {
namespace {

constexpr UINT kWidth = 4, kHeight = 3;

std::vector<float> SourceTexels() {
  std::vector<float> rgba;
  for (UINT y = 0; y < kHeight; ++y) {
    for (UINT x = 0; x < kWidth; ++x) {
      float base = static_cast<float>(y * kWidth + x);
      rgba.insert(rgba.end(), {base * 0.25f, base * 0.5f + 1.0f, -base, 0.125f * x});
    }
  }
  return rgba;
}

struct Inputs {
  float gain = 2.0f;
  D3DXVECTOR4 offset{0.5f, -1.0f, 4.0f, 0.25f};
  D3DXVECTOR4 kernel[3] = {{1, 2, 3, 4}, {0.5f, 0.25f, 8, 16}, {-2, -4, 0.125f, 1}};
};

// src × gain + offset + kernel[0] + kernel[1] + kernel[2], per channel; the
// kernel elements beyond `kernel_elements` count as zero.
std::vector<float> Expected(const Inputs& in, int kernel_elements) {
  std::vector<float> src = SourceTexels(), out;
  for (size_t i = 0; i < src.size(); ++i) {
    int c = static_cast<int>(i % 4);
    float value = src[i] * in.gain + (&in.offset.x)[c];
    for (int k = 0; k < kernel_elements; ++k) value += (&in.kernel[k].x)[c];
    out.push_back(value);
  }
  return out;
}

const char* kShader =
    "ps_2_0\n"
    "dcl t0.xy\n"
    "dcl_2d s0\n"
    "texld r0, t0, s0\n"
    "mul r0, r0, c0.x\n"
    "add r0, r0, c1\n"
    "add r0, r0, c2\n"
    "add r0, r0, c3\n"
    "add r0, r0, c4\n"
    "mov oC0, r0\n";

fx2::EffectBuilder Parameters() {
  fx2::EffectBuilder fx;
  fx.Texture("TxSrc0");
  fx.Sampler("Source0").Texture("TxSrc0").PointClamp();
  fx.Float("Gain", 1.0f);
  fx.Float4("Offset", 0, 0, 0, 0);
  fx.Float4Array("Kernel", std::vector<float>(12, 0.0f));
  return fx;
}

void SetInputs(ID3DXEffect* effect, IDirect3DTexture9* source, const Inputs& in) {
  ASSERT_EQ(S_OK, effect->SetTexture("TxSrc0", source));
  ASSERT_EQ(S_OK, effect->SetFloat("Gain", in.gain));
  ASSERT_EQ(S_OK, effect->SetVector("Offset", &in.offset));
  ASSERT_EQ(S_OK, effect->SetVectorArray("Kernel", in.kernel, 3));
}

void ExpectTexels(const std::vector<float>& expected, const std::vector<float>& got) {
  ASSERT_EQ(expected.size(), got.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i], got[i]) << "texel " << i / 4 << " channel " << i % 4;
  }
}

// Loads the effect, draws it over the source with the inputs set into one
// A32B32G32R32F target and compares the result with Expected(in, elements).
void ExpectDrawn(const fx2::EffectBuilder& fx, int kernel_elements) {
  TestDevice& device = Device();
  ComPtr<ID3DXEffect> effect = Load(fx);
  ASSERT_TRUE(effect);
  ComPtr<IDirect3DTexture9> source = device.FloatTexture(kWidth, kHeight, SourceTexels());
  ComPtr<IDirect3DTexture9> target = device.RenderTarget(kWidth, kHeight, D3DFMT_A32B32G32R32F);
  ASSERT_TRUE(source && target);
  Inputs in;
  SetInputs(effect.get(), source.get(), in);
  ASSERT_EQ(S_OK, device.DrawPasses(effect.get(), {target.get()}));
  ExpectTexels(Expected(in, kernel_elements), AsFloats(device.Read(target.get())));
}

TEST(EffectDrawTest, ConstantTableBindsSamplerFloatVectorAndWholeArray) {
  Device();  // skips the program without one
  fx2::EffectBuilder fx = Parameters();
  fx.Technique("ProcessImage0")
      .Pass("P0")
      .PixelShader(AssembleBound(
          kShader, fx, {{"s0", "Source0"}, {"c0", "Gain"}, {"c1", "Offset"}, {"c2", "Kernel"}}));
  ExpectDrawn(fx, 3);
}

// Without a constant table the pass states do the binding; Wine 8 uploads
// only element 0 of an array through PixelShaderConstantF and zeroes the
// registers of the other elements.
TEST(EffectDrawTest, PassStatesBindWithoutTableButArraysOnlyElementZero) {
  Device();  // skips the program without one
  fx2::EffectBuilder fx = Parameters();
  fx.Technique("ProcessImage0")
      .Pass("P0")
      .PixelShader(Assemble(kShader))
      .Sampler(0, "Source0")
      .PixelShaderConstantF(0, "Gain")
      .PixelShaderConstantF(1, "Offset")
      .PixelShaderConstantF(2, "Kernel");
  ExpectDrawn(fx, 1);
}

TEST(EffectDrawTest, PixelShader30SamplesThroughItsTable) {
  TestDevice& device = Device();
  if (device.caps().PixelShaderVersion < D3DPS_VERSION(3, 0)) {
    GTEST_SKIP() << "SKIPPED: the device has no ps_3_0";
  }
  fx2::EffectBuilder fx = Parameters();
  fx.Technique("ProcessImage0")
      .Pass("P0")
      .PixelShader(AssembleBound(
          "ps_3_0\n"
          "dcl_texcoord0 v0.xy\n"
          "dcl_2d s0\n"
          "texld r0, v0, s0\n"
          "mul r0, r0, c0.x\n"
          "add r0, r0, c1\n"
          "add r0, r0, c2\n"
          "add r0, r0, c3\n"
          "add oC0, r0, c4\n",
          fx, {{"s0", "Source0"}, {"c0", "Gain"}, {"c1", "Offset"}, {"c2", "Kernel"}}));
  ExpectDrawn(fx, 3);
}

TEST(EffectDrawTest, TwoColourOutputsReachTwoTargets) {
  TestDevice& device = Device();
  if (device.caps().NumSimultaneousRTs < 2) {
    GTEST_SKIP() << "SKIPPED: the device draws to one target at a time";
  }
  fx2::EffectBuilder fx = Parameters();
  fx.Technique("ProcessImage0")
      .Pass("P0")
      .Annotate("RenderTarget0", 0)
      .Annotate("RenderTarget1", 1)
      .PixelShader(AssembleBound("ps_2_0\n"
                                 "dcl t0.xy\n"
                                 "dcl_2d s0\n"
                                 "texld r0, t0, s0\n"
                                 "mul r1, r0, c0.x\n"
                                 "add r1, r1, c1\n"
                                 "mov oC0, r0\n"
                                 "mov oC1, r1\n",
                                 fx, {{"s0", "Source0"}, {"c0", "Gain"}, {"c1", "Offset"}}));
  ComPtr<ID3DXEffect> effect = Load(fx);
  ASSERT_TRUE(effect);
  ComPtr<IDirect3DTexture9> source = device.FloatTexture(kWidth, kHeight, SourceTexels());
  ComPtr<IDirect3DTexture9> first = device.RenderTarget(kWidth, kHeight, D3DFMT_A32B32G32R32F);
  ComPtr<IDirect3DTexture9> second = device.RenderTarget(kWidth, kHeight, D3DFMT_A32B32G32R32F);
  ASSERT_TRUE(source && first && second);
  Inputs in;
  SetInputs(effect.get(), source.get(), in);
  ASSERT_EQ(S_OK, device.DrawPasses(effect.get(), {first.get(), second.get()}));
  ExpectTexels(SourceTexels(), AsFloats(device.Read(first.get())));
  ExpectTexels(Expected(in, 0), AsFloats(device.Read(second.get())));
}

}  // namespace
}  // namespace fx2_wine

namespace fx2_wine {
namespace {

// An int parameter in a float register (how a track bar's value reaches a
// shader) arrives converted to float; a bool in a float register as 0 or 1.
TEST(EffectDrawTest, IntAndBoolParametersArriveInFloatRegistersAsNumbers) {
  TestDevice& device = Device();
  fx2::EffectBuilder fx;
  fx.Int("Track0", 0);
  fx.Bool("Check0", false);
  std::vector<uint32_t> code = Assemble(
      "ps_2_0\ndef c2, 0, 0, 0, 1\nmov r0, c2\nmov r0.x, c0.x\nmov r0.y, c1.x\nmov oC0, r0\n");
  std::vector<fx2::ConstantBinding> bindings(2);
  bindings[0].name = "Track0";
  bindings[0].shape = fx2::Shape::Scalar(fx2::Type::Int);
  bindings[1].name = "Check0";
  bindings[1].index = 1;
  bindings[1].shape = fx2::Shape::Scalar(fx2::Type::Bool);
  fx2::CodeOutput bound = fx2::AddConstantTable(code, bindings);
  ASSERT_TRUE(bound) << bound.error;
  fx.Technique("ProcessImage0").Pass("P0").PixelShader(bound.code);
  ComPtr<ID3DXEffect> effect = Load(fx);
  ASSERT_TRUE(effect);
  ComPtr<IDirect3DTexture9> target = device.RenderTarget(1, 1, D3DFMT_A32B32G32R32F);
  ASSERT_TRUE(target);
  ASSERT_EQ(S_OK, effect->SetInt("Track0", -7));
  ASSERT_EQ(S_OK, effect->SetBool("Check0", TRUE));
  ASSERT_EQ(S_OK, device.DrawPasses(effect.get(), {target.get()}));
  EXPECT_EQ(std::vector<float>({-7.0f, 1.0f, 0.0f, 1.0f}), AsFloats(device.Read(target.get())));
}

}  // namespace
}  // namespace fx2_wine
