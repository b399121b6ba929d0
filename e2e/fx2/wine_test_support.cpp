#include "e2e/fx2/wine_test_support.h"

#include <cstdio>
#include <cstdlib>

#include "fx2/windows/d3dx_library.h"

namespace fx2_wine {

TestDevice& Device() {
  std::string why;
  TestDevice* device = TestDevice::Get(&why);
  if (!device) {
    std::printf("SKIPPED: the fx2 effect tests need a Direct3D 9 device and D3DX: %s\n",
                why.c_str());
    std::fflush(stdout);
    std::exit(77);
  }
  return *device;
}

std::vector<uint32_t> Assemble(const std::string& text) {
  std::string errors;
  std::vector<uint32_t> code = fx2::AssemblePixelShader(text, &errors);
  EXPECT_FALSE(code.empty()) << "assembly failed: " << errors << "\n" << text;
  return code;
}

std::vector<uint32_t> AssembleBound(const std::string& text, const fx2::EffectBuilder& effect,
                                    const std::vector<std::pair<std::string, std::string>>& bind) {
  std::vector<uint32_t> code = Assemble(text);
  if (code.empty()) return code;
  std::vector<fx2::ConstantBinding> bindings;
  for (const auto& entry : bind) {
    fx2::ConstantBinding binding;
    std::string error;
    uint32_t index = static_cast<uint32_t>(std::atoi(entry.first.c_str() + 1));
    if (!fx2::BindParameter(effect.effect(), entry.second, index, &binding, &error)) {
      ADD_FAILURE() << error;
      return {};
    }
    bindings.push_back(binding);
  }
  fx2::CodeOutput out = fx2::AddConstantTable(code, bindings);
  EXPECT_TRUE(out) << out.error;
  return out.code;
}

ComPtr<ID3DXEffect> Load(const fx2::EffectBuilder& effect) {
  fx2::WriteOutput out = fx2::WriteFx2(effect.effect());
  if (!out) {
    ADD_FAILURE() << "the writer refused the effect: " << out.error;
    return nullptr;
  }
  HRESULT hr = E_FAIL;
  ComPtr<ID3DXEffect> loaded = Device().CreateEffect(out.bytes, &hr);
  EXPECT_EQ(S_OK, hr) << "D3DXCreateEffect: " << HrText(hr);
  return loaded;
}

std::string HrText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lx", static_cast<unsigned long>(hr));
  return text;
}

}  // namespace fx2_wine
