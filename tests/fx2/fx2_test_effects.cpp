#include "fx2/fx2_test_effects.h"

#include "fx2/constant_table.h"
#include "fx2/reference_example.h"

namespace fx2_test {

std::vector<uint32_t> ReferenceShaderWithoutTable() {
  return {0xffff0200, 0x0200001f, 0x80000000, 0xb0030000, 0x0200001f, 0x90000000, 0xa00f0800,
          0x03000042, 0x800f0000, 0xb0e40000, 0xa0e40800, 0x03000005, 0x800f0000, 0x80e40000,
          0xa0000000, 0x02000001, 0x800f0800, 0x80e40000, 0x0000ffff};
}

std::vector<uint32_t> ReferenceShader() {
  const uint32_t* first = kReferenceExample + kReferenceShaderFirstDword;
  return std::vector<uint32_t>(first, first + kReferenceShaderDwords);
}

fx2::EffectBuilder ReferenceEffect() {
  fx2::EffectBuilder fx;
  fx.Float("Track0", 0.5f).Annotate("name", "Strength").Annotate("def", 50);
  fx.Texture("TxTmp");
  fx.Sampler("SamplerTmp").Texture("TxTmp").MinFilter(fx2::kPoint).MagFilter(fx2::kPoint);
  fx.Technique("ProcessImage0")
      .Pass("P0")
      .Annotate("RenderTarget0", 1)
      .PixelShader(ReferenceShader());
  return fx;
}

fx2::EffectBuilder RichEffect() {
  fx2::EffectBuilder fx;
  fx.Parameter("FilterVersion", fx2::IntVector({1, 2, 0, 0}))
      .Annotate("name", "Rich")
      .Annotate("ex_info", "every kind")
      .Annotate("min_ps_ver", fx2::IntVector({2, 0}));
  fx.Int("Track0", 3).Annotate("min", 0).Annotate("max", 8).Annotate("usage", "normalize");
  fx.Bool("Check0", true).Annotate("def", true);
  fx.Float4Array("PixelKernel0", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  fx.Parameter("Weights", fx2::FloatArray({0.25f, 0.5f, 0.25f})).Semantic("WEIGHTS");
  fx.Parameter("Matrix", fx2::FloatMatrix(2, 3, {1, 2, 3, 4, 5, 6}));
  fx.Parameter("Words", [] {
    fx2::Value v;
    v.shape = fx2::Shape::Object(fx2::Type::String).Array(2);
    v.strings = {"a", "bcde"};
    return v;
  }());
  fx.Texture("TxSrc0", fx2::Type::Texture2D).Annotate("frame_offset", -1);
  fx.Texture("TxTmp");
  fx.Sampler("Source0").Texture("TxSrc0").PointClamp();
  fx.Sampler("Tmp", fx2::Type::Sampler).Texture("TxTmp").MinFilter(fx2::kLinear);
  fx.PixelShader("SharedShader", ReferenceShaderWithoutTable());
  fx.Technique("ProcessImage0")
      .Annotate("label", "first")
      .Pass("P0")
      .Annotate("RenderTarget0", 0)
      .PixelShader(ReferenceShaderWithoutTable())
      .VertexShaderNull()
      .Sampler(0, "Source0")
      .PixelShaderConstantF(0, "PixelKernel0")
      .State("CullMode", 0, 1u)
      .State("FogStart", 0, 0.5f)
      .State("MinFilter", 1, 2u);
  auto second = fx.Technique("ProcessImage1");
  second.Pass("P0")
      .PixelShaderParameter("SharedShader")
      .Texture(1, "TxTmp")
      .PixelShaderConstantI(0, "Track0");
  second.Pass("P1").PixelShaderNull().PixelShaderConstantB(0, "Check0");
  return fx;
}

}  // namespace fx2_test
