// Everything a written effect says, read back through Wine's ID3DXEffect:
// parameter descriptions, values and annotations (also by the
// "Param@annotation" form the plug-in uses), techniques, passes and their
// annotations, and the device state a pass sets.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "e2e/fx2/wine_test_support.h"

namespace fx2_wine {
namespace {

// The kinds of declaration the plug-in reads, with values that differ from
// every default.
fx2::EffectBuilder ReadBackEffect() {
  fx2::EffectBuilder fx;
  fx.Parameter("FilterVersion", fx2::IntVector({1, 2, 3, 4}))
      .Annotate("name", "読み出し")
      .Annotate("ex_info", "info text")
      .Annotate("img_format", "F16")
      .Annotate("min_ps_ver", fx2::IntVector({3, 0}));
  fx.Int("Track0", 5)
      .Annotate("name", "Radius")
      .Annotate("def", 2)
      .Annotate("min", -3)
      .Annotate("max", 8)
      .Annotate("usage", "odd0");
  fx.Bool("Check0", true).Annotate("name", "Flip").Annotate("def", true);
  fx.Float("Strength", 0.75f).Annotate("scale", 1.5f).Annotate("flags", fx2::IntArray({7, 8, 9}));
  fx.Float4Array("PixelKernel0", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  fx.Float4("SrcSize", 0, 0, 0, 0).Semantic("SRCSIZE");
  fx.Parameter("Mix", fx2::FloatMatrix(2, 3, {1, 2, 3, 4, 5, 6}))
      .Annotate("m", fx2::FloatMatrix(2, 2, {9, 8, 7, 6}));
  fx.Parameter("Words", [] {
    fx2::Value v;
    v.shape = fx2::Shape::Object(fx2::Type::String).Array(2);
    v.strings = {"first", "second one"};
    return v;
  }());
  fx.Texture("TxSrc0").Annotate("frame_offset", -2);
  fx.Texture("TxTmp", fx2::Type::Texture2D);
  fx.Sampler("Source0")
      .Texture("TxSrc0")
      .MinFilter(fx2::kLinear)
      .MagFilter(fx2::kPoint)
      .AddressU(fx2::kMirror);
  fx.Technique("ProcessImage0")
      .Annotate("label", "first technique")
      .Pass("P0")
      .Annotate("RenderTarget0", 1)
      .Annotate("RenderTarget1", 0)
      .PixelShader(Assemble("ps_2_0\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\nmov oC0, r0\n"))
      .VertexShaderNull()
      .Sampler(0, "Source0")
      .Texture(1, "TxTmp")
      .PixelShaderConstantF(3, "PixelKernel0")
      .State("CullMode", 0, 2u)
      .State("FogStart", 0, 0.5f)
      .State("AddressV", 2, static_cast<uint32_t>(fx2::kBorder));
  auto second = fx.Technique("ProcessImage1");
  second.Pass("A").PixelShaderNull();
  second.Pass("B").PixelShaderNull().Annotate("RenderTarget0", 0);
  return fx;
}

class EffectReadBackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fx_ = ReadBackEffect();
    effect_ = Load(fx_);
    ASSERT_TRUE(effect_);
  }
  D3DXHANDLE Parameter(const char* name) {
    D3DXHANDLE handle = effect_->GetParameterByName(nullptr, name);
    EXPECT_NE(nullptr, handle) << name;
    return handle;
  }
  std::string String(D3DXHANDLE handle) {
    const char* text = nullptr;
    if (!handle || FAILED(effect_->GetString(handle, &text)) || !text) return "<none>";
    return text;
  }
  int Int(D3DXHANDLE handle) {
    INT value = -12345;
    EXPECT_EQ(S_OK, effect_->GetInt(handle, &value));
    return value;
  }

  fx2::EffectBuilder fx_;
  ComPtr<ID3DXEffect> effect_;
};

TEST_F(EffectReadBackTest, EffectDescriptionCountsEverything) {
  D3DXEFFECT_DESC desc = {};
  ASSERT_EQ(S_OK, effect_->GetDesc(&desc));
  EXPECT_EQ(fx_.effect().parameters.size(), desc.Parameters);
  EXPECT_EQ(2u, desc.Techniques);
}

TEST_F(EffectReadBackTest, ParameterDescriptionsMatchTheModel) {
  struct Expected {
    const char* name;
    D3DXPARAMETER_CLASS klass;
    D3DXPARAMETER_TYPE type;
    UINT rows, columns, elements, annotations, bytes;
    const char* semantic;
  };
  const Expected cases[] = {
      {"FilterVersion", D3DXPC_VECTOR, D3DXPT_INT, 1, 4, 0, 4, 16, nullptr},
      {"Track0", D3DXPC_SCALAR, D3DXPT_INT, 1, 1, 0, 5, 4, nullptr},
      {"Check0", D3DXPC_SCALAR, D3DXPT_BOOL, 1, 1, 0, 2, 4, nullptr},
      {"Strength", D3DXPC_SCALAR, D3DXPT_FLOAT, 1, 1, 0, 2, 4, nullptr},
      {"PixelKernel0", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4, 3, 0, 48, nullptr},
      {"SrcSize", D3DXPC_VECTOR, D3DXPT_FLOAT, 1, 4, 0, 0, 16, "SRCSIZE"},
      {"Mix", D3DXPC_MATRIX_ROWS, D3DXPT_FLOAT, 2, 3, 0, 1, 24, nullptr},
      {"Words", D3DXPC_OBJECT, D3DXPT_STRING, 0, 0, 2, 0, 8, nullptr},
      {"TxSrc0", D3DXPC_OBJECT, D3DXPT_TEXTURE, 0, 0, 0, 1, 4, nullptr},
      {"TxTmp", D3DXPC_OBJECT, D3DXPT_TEXTURE2D, 0, 0, 0, 0, 4, nullptr},
      {"Source0", D3DXPC_OBJECT, D3DXPT_SAMPLER2D, 0, 0, 0, 0, 0, nullptr},
  };
  for (const Expected& c : cases) {
    SCOPED_TRACE(c.name);
    D3DXPARAMETER_DESC desc = {};
    ASSERT_EQ(S_OK, effect_->GetParameterDesc(Parameter(c.name), &desc));
    EXPECT_STREQ(c.name, desc.Name);
    EXPECT_EQ(c.klass, desc.Class);
    EXPECT_EQ(c.type, desc.Type);
    EXPECT_EQ(c.rows, desc.Rows);
    EXPECT_EQ(c.columns, desc.Columns);
    EXPECT_EQ(c.elements, desc.Elements);
    EXPECT_EQ(c.annotations, desc.Annotations);
    EXPECT_EQ(c.bytes, desc.Bytes);
    if (c.semantic) {
      EXPECT_STREQ(c.semantic, desc.Semantic);
    } else {
      EXPECT_EQ(nullptr, desc.Semantic);
    }
  }
}

TEST_F(EffectReadBackTest, ValuesReadBackAsWritten) {
  INT version[4] = {};
  EXPECT_EQ(S_OK, effect_->GetIntArray(Parameter("FilterVersion"), version, 4));
  EXPECT_EQ(std::vector<INT>({1, 2, 3, 4}), std::vector<INT>(version, version + 4));
  EXPECT_EQ(5, Int(Parameter("Track0")));
  BOOL checked = FALSE;
  EXPECT_EQ(S_OK, effect_->GetBool(Parameter("Check0"), &checked));
  EXPECT_TRUE(checked);
  FLOAT strength = 0;
  EXPECT_EQ(S_OK, effect_->GetFloat(Parameter("Strength"), &strength));
  EXPECT_EQ(0.75f, strength);
  D3DXVECTOR4 kernel[3];
  ASSERT_EQ(S_OK, effect_->GetVectorArray(Parameter("PixelKernel0"), kernel, 3));
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(D3DXVECTOR4(4.0f * i + 1, 4.0f * i + 2, 4.0f * i + 3, 4.0f * i + 4), kernel[i]);
  }
  float mix[6] = {};
  EXPECT_EQ(S_OK, effect_->GetValue(Parameter("Mix"), mix, sizeof(mix)));
  EXPECT_EQ(std::vector<float>({1, 2, 3, 4, 5, 6}), std::vector<float>(mix, mix + 6));
  D3DXHANDLE words = Parameter("Words");
  EXPECT_EQ("first", String(effect_->GetParameterElement(words, 0)));
  EXPECT_EQ("second one", String(effect_->GetParameterElement(words, 1)));
  EXPECT_EQ("second one", String(effect_->GetParameterByName(nullptr, "Words[1]")));
}

TEST_F(EffectReadBackTest, AnnotationsByHandleAndByAtName) {
  D3DXHANDLE version = Parameter("FilterVersion");
  EXPECT_EQ("読み出し", String(effect_->GetAnnotationByName(version, "name")));
  EXPECT_EQ("info text", String(effect_->GetAnnotationByName(version, "ex_info")));
  EXPECT_EQ("F16", String(effect_->GetParameterByName(nullptr, "FilterVersion@img_format")));
  INT ps[2] = {-1, -1};
  EXPECT_EQ(S_OK, effect_->GetIntArray(
                      effect_->GetParameterByName(nullptr, "FilterVersion@min_ps_ver"), ps, 2));
  EXPECT_EQ(3, ps[0]);
  EXPECT_EQ(0, ps[1]);

  D3DXHANDLE track = Parameter("Track0");
  EXPECT_EQ("Radius", String(effect_->GetAnnotationByName(track, "name")));
  EXPECT_EQ(2, Int(effect_->GetAnnotationByName(track, "def")));
  EXPECT_EQ(-3, Int(effect_->GetAnnotationByName(track, "min")));
  EXPECT_EQ(8, Int(effect_->GetAnnotationByName(track, "max")));
  EXPECT_EQ("odd0", String(effect_->GetAnnotationByName(track, "usage")));
  D3DXPARAMETER_DESC desc = {};
  ASSERT_EQ(S_OK, effect_->GetParameterDesc(effect_->GetAnnotation(track, 4), &desc));
  EXPECT_STREQ("usage", desc.Name);

  BOOL def = FALSE;
  EXPECT_EQ(S_OK, effect_->GetBool(effect_->GetAnnotationByName(Parameter("Check0"), "def"), &def));
  EXPECT_TRUE(def);
  FLOAT scale = 0;
  EXPECT_EQ(S_OK,
            effect_->GetFloat(effect_->GetParameterByName(nullptr, "Strength@scale"), &scale));
  EXPECT_EQ(1.5f, scale);
  INT flags[3] = {};
  EXPECT_EQ(S_OK,
            effect_->GetIntArray(effect_->GetParameterByName(nullptr, "Strength@flags"), flags, 3));
  EXPECT_EQ(std::vector<INT>({7, 8, 9}), std::vector<INT>(flags, flags + 3));
  float m[4] = {};
  EXPECT_EQ(S_OK, effect_->GetValue(effect_->GetParameterByName(nullptr, "Mix@m"), m, sizeof(m)));
  EXPECT_EQ(std::vector<float>({9, 8, 7, 6}), std::vector<float>(m, m + 4));
  EXPECT_EQ(-2, Int(effect_->GetParameterByName(nullptr, "TxSrc0@frame_offset")));
}

TEST_F(EffectReadBackTest, TechniquesPassesAndPassAnnotations) {
  D3DXHANDLE first = effect_->GetTechniqueByName("ProcessImage0");
  D3DXHANDLE second = effect_->GetTechniqueByName("ProcessImage1");
  ASSERT_TRUE(first && second);
  D3DXTECHNIQUE_DESC technique = {};
  ASSERT_EQ(S_OK, effect_->GetTechniqueDesc(first, &technique));
  EXPECT_STREQ("ProcessImage0", technique.Name);
  EXPECT_EQ(1u, technique.Passes);
  EXPECT_EQ(1u, technique.Annotations);
  EXPECT_EQ("first technique", String(effect_->GetAnnotationByName(first, "label")));
  ASSERT_EQ(S_OK, effect_->GetTechniqueDesc(second, &technique));
  EXPECT_EQ(2u, technique.Passes);

  D3DXHANDLE pass = effect_->GetPass(first, 0);
  D3DXPASS_DESC desc = {};
  ASSERT_EQ(S_OK, effect_->GetPassDesc(pass, &desc));
  EXPECT_STREQ("P0", desc.Name);
  EXPECT_EQ(2u, desc.Annotations);
  EXPECT_NE(nullptr, desc.pPixelShaderFunction);
  EXPECT_EQ(1, Int(effect_->GetAnnotationByName(pass, "RenderTarget0")));
  EXPECT_EQ(0, Int(effect_->GetAnnotationByName(pass, "RenderTarget1")));
  EXPECT_EQ(nullptr, effect_->GetAnnotationByName(pass, "RenderTarget2"));

  D3DXHANDLE b = effect_->GetPassByName(second, "B");
  ASSERT_EQ(S_OK, effect_->GetPassDesc(b, &desc));
  EXPECT_STREQ("B", desc.Name);
  EXPECT_EQ(nullptr, desc.pPixelShaderFunction);
  EXPECT_EQ(0, Int(effect_->GetAnnotationByName(b, "RenderTarget0")));
}

TEST_F(EffectReadBackTest, PassSetsTheDeviceStatesItNames) {
  IDirect3DDevice9* device = Device().device();
  ComPtr<IDirect3DTexture9> source = Device().FloatTexture(1, 1, {1, 2, 3, 4});
  ComPtr<IDirect3DTexture9> tmp = Device().FloatTexture(1, 1, {5, 6, 7, 8});
  ASSERT_TRUE(source && tmp);
  ASSERT_EQ(S_OK, effect_->SetTexture("TxSrc0", source.get()));
  ASSERT_EQ(S_OK, effect_->SetTexture("TxTmp", tmp.get()));
  ASSERT_EQ(S_OK, effect_->SetTechnique("ProcessImage0"));
  const float sentinel[12] = {99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
  device->SetPixelShaderConstantF(3, sentinel, 3);
  UINT passes = 0;
  ASSERT_EQ(S_OK, effect_->Begin(&passes, D3DXFX_DONOTSAVESTATE));
  ASSERT_EQ(S_OK, effect_->BeginPass(0));

  ComPtr<IDirect3DPixelShader9> shader;
  EXPECT_EQ(S_OK, device->GetPixelShader(shader.put()));
  EXPECT_TRUE(shader);
  ComPtr<IDirect3DBaseTexture9> stage0, stage1;
  device->GetTexture(0, stage0.put());
  device->GetTexture(1, stage1.put());
  EXPECT_EQ(static_cast<IDirect3DBaseTexture9*>(source.get()), stage0.get());
  EXPECT_EQ(static_cast<IDirect3DBaseTexture9*>(tmp.get()), stage1.get());
  struct SamplerCase {
    DWORD sampler;
    D3DSAMPLERSTATETYPE state;
    DWORD value;
  };
  const SamplerCase samplers[] = {{0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR},
                                  {0, D3DSAMP_MAGFILTER, D3DTEXF_POINT},
                                  {0, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR},
                                  {2, D3DSAMP_ADDRESSV, D3DTADDRESS_BORDER}};
  for (const SamplerCase& c : samplers) {
    SCOPED_TRACE(testing::Message() << "sampler " << c.sampler << " state " << c.state);
    DWORD value = 0;
    device->GetSamplerState(c.sampler, c.state, &value);
    EXPECT_EQ(c.value, value);
  }
  DWORD cull = 0, fog_start = 0;
  device->GetRenderState(D3DRS_CULLMODE, &cull);
  device->GetRenderState(D3DRS_FOGSTART, &fog_start);
  EXPECT_EQ(static_cast<DWORD>(D3DCULL_CW), cull);
  EXPECT_EQ(fx2::FloatBits(0.5f), fog_start);
  // PixelShaderConstantF[3] = (PixelKernel0): element 0 only, the other
  // registers of the array overwritten with zeros.
  float registers[12] = {};
  device->GetPixelShaderConstantF(3, registers, 3);
  EXPECT_EQ(std::vector<float>({1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0}),
            std::vector<float>(registers, registers + 12));

  effect_->EndPass();
  effect_->End();
  device->SetTexture(0, nullptr);
  device->SetTexture(1, nullptr);
  device->SetPixelShader(nullptr);
}

}  // namespace
}  // namespace fx2_wine
