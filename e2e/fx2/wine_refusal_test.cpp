// The writer's refusals answer what Wine really does: each case takes a file
// the writer made, changes the one thing the refusal is about by patching
// bytes (the writer itself will not produce it), and shows what Wine's D3DX
// does with it; the same change made in the model is refused by the writer.
// Patches replace the last occurrence: the table and the resources come after
// the parameters' own name strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "e2e/fx2/wine_test_support.h"

namespace fx2_wine {
namespace {

std::vector<uint8_t> Text(const std::string& text, size_t size) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.resize(size, 0);
  return bytes;
}

std::vector<uint8_t> Dwords(std::initializer_list<uint32_t> values) {
  std::vector<uint8_t> bytes(values.size() * 4);
  std::memcpy(bytes.data(), values.begin(), bytes.size());
  return bytes;
}

// Replaces the last occurrence of `from` by `to` (same length).
bool PatchLast(std::vector<uint8_t>& bytes, const std::vector<uint8_t>& from,
               const std::vector<uint8_t>& to) {
  auto at = std::find_end(bytes.begin(), bytes.end(), from.begin(), from.end());
  if (at == bytes.end() || from.size() != to.size()) return false;
  std::copy(to.begin(), to.end(), at);
  return true;
}

// The effect of the format notes' worked example, with an assembled shader
// whose table binds s0 and c0.
fx2::EffectBuilder Example() {
  fx2::EffectBuilder fx;
  fx.Float("Track0", 0.5f).Annotate("name", "Strength").Annotate("def", 50);
  fx.Texture("TxTmp");
  fx.Sampler("SamplerTmp").Texture("TxTmp").MinFilter(fx2::kPoint).MagFilter(fx2::kPoint);
  fx.Float("Gain", 1.0f);
  fx.Int("Gint", 1);
  fx.Technique("ProcessImage0")
      .Pass("P0")
      .PixelShader(AssembleBound("ps_2_0\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\n"
                                 "mul r0, r0, c0.x\nmov oC0, r0\n",
                                 fx, {{"s0", "SamplerTmp"}, {"c0", "Track0"}}))
      .PixelShaderConstantF(1, "Gain");
  return fx;
}

struct RefusalCase {
  const char* what;
  std::vector<uint8_t> from, to;        // the patch
  HRESULT create;                       // D3DXCreateEffect on the patched file
  HRESULT begin_pass;                   // BeginPass(0), when it loads
  void (*change)(fx2::EffectBuilder&);  // the same change in the model
  const char* refusal;                  // part of the writer's message
};

TEST(WineRefusalTest, EachRefusalAnswersWhatWineDoes) {
  TestDevice& device = Device();
  fx2::WriteOutput written = fx2::WriteFx2(Example().effect());
  ASSERT_TRUE(written) << written.error;
  HRESULT hr = E_FAIL;
  ComPtr<ID3DXEffect> unchanged = device.CreateEffect(written.bytes, &hr);
  ASSERT_EQ(S_OK, hr) << "the unchanged file must load";

  const RefusalCase cases[] = {
      {"a Texture state names a parameter that does not exist", Text("TxTmp", 8), Text("TxTmq", 8),
       D3DXERR_INVALIDDATA, S_OK,
       [](fx2::EffectBuilder& fx) {
         fx.effect().parameters[2].sampler_states[0].texture = "TxTmq";
       },
       "not a parameter"},
      {"a sampler state with operation 179", Dwords({170, 0x100}), Dwords({179, 0x100}),
       D3DERR_INVALIDCALL, S_OK,
       [](fx2::EffectBuilder& fx) { fx.effect().parameters[2].sampler_states[1].operation = 179; },
       "not a sampler state"},
      {"the table names the texture as a sampler constant", Text("SamplerTmp", 12),
       Text("TxTmp", 12), D3DERR_INVALIDCALL, S_OK,
       [](fx2::EffectBuilder& fx) {
         fx2::ConstantBinding binding;
         binding.set = fx2::RegisterSet::Sampler;
         binding.name = "TxTmp";
         binding.shape = fx2::Shape::Object(fx2::Type::Sampler2D);
         std::vector<uint32_t>& code = fx.effect().techniques[0].passes[0].states[0].bytecode;
         code = fx2::AddConstantTable(Assemble("ps_2_0\ndcl_2d s0\nmov oC0, c0\n"), {binding}).code;
       },
       "is a sampler, but the parameter is a texture"},
      // Wine 8 loads this and binds nothing to c0 (the texture has no numeric
      // size), so the constant silently stays unset: refused as well.
      {"the table names the texture as a numeric constant", Text("Track0", 8), Text("TxTmp", 8),
       S_OK, S_OK,
       [](fx2::EffectBuilder& fx) {
         fx2::ConstantBinding binding;
         binding.name = "TxTmp";
         binding.shape = fx2::Shape::Scalar(fx2::Type::Float);
         std::vector<uint32_t>& code = fx.effect().techniques[0].passes[0].states[0].bytecode;
         code = fx2::AddConstantTable(Assemble("ps_2_0\nmov oC0, c0\n"), {binding}).code;
       },
       "is numeric, but the parameter is a texture"},
      {"PixelShaderConstantF names an int parameter", Text("Gain", 8), Text("Gint", 8), S_OK,
       D3DERR_INVALIDCALL,
       [](fx2::EffectBuilder& fx) {
         fx.effect().techniques[0].passes[0].states[1].parameter = "Gint";
       },
       "needs a float parameter"},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint8_t> patched = written.bytes;
    ASSERT_TRUE(PatchLast(patched, c.from, c.to));
    ComPtr<ID3DXEffect> effect = device.CreateEffect(patched, &hr);
    EXPECT_EQ(HrText(c.create), HrText(hr));
    if (SUCCEEDED(hr) && effect) {
      UINT passes = 0;
      ASSERT_EQ(S_OK, effect->Begin(&passes, D3DXFX_DONOTSAVESTATE));
      EXPECT_EQ(HrText(c.begin_pass), HrText(effect->BeginPass(0)));
      effect->End();
    }
    fx2::EffectBuilder model = Example();
    c.change(model);
    fx2::WriteOutput refused = fx2::WriteFx2(model.effect());
    EXPECT_FALSE(refused);
    EXPECT_NE(std::string::npos, refused.error.find(c.refusal)) << refused.error;
  }
}

TEST(WineRefusalTest, ShaderPayloadWithoutVersionTokenIsInvalidData) {
  TestDevice& device = Device();
  fx2::EffectBuilder fx = Example();
  std::vector<uint32_t> code = fx.effect().techniques[0].passes[0].states[0].bytecode;
  ASSERT_FALSE(code.empty());
  fx2::WriteOutput written = fx2::WriteFx2(fx.effect());
  ASSERT_TRUE(written);
  std::vector<uint8_t> patched = written.bytes;
  uint32_t size = static_cast<uint32_t>(code.size() * 4);
  ASSERT_TRUE(PatchLast(patched, Dwords({size, code[0]}), Dwords({size, 0x12345678})));
  HRESULT hr = S_OK;
  ComPtr<ID3DXEffect> effect = device.CreateEffect(patched, &hr);
  EXPECT_EQ(HrText(D3DXERR_INVALIDDATA), HrText(hr));

  code[0] = 0x12345678;
  fx.effect().techniques[0].passes[0].states[0].bytecode = code;
  fx2::WriteOutput refused = fx2::WriteFx2(fx.effect());
  EXPECT_FALSE(refused);
  EXPECT_NE(std::string::npos, refused.error.find("version token")) << refused.error;
}

}  // namespace
}  // namespace fx2_wine
