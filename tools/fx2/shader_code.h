// Reading D3D9 shader bytecode far enough to keep the writer honest: the
// version token, the token stream up to the end token, and the constant
// table (CTAB comment) that D3DX matches against effect parameters.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fx2/effect_model.h"

namespace fx2 {

constexpr uint32_t kEndToken = 0x0000FFFFu;
constexpr uint32_t kCtabFourcc = 0x42415443u;  // 'C','T','A','B'

// D3DXREGISTER_SET values.
enum class RegisterSet : uint16_t { Bool = 0, Int4 = 1, Float4 = 2, Sampler = 3 };

struct ShaderLayout {
  uint32_t version = 0;
  size_t ctab_token = 0;  // DWORD index of the CTAB comment token; 0 = none
};

bool IsPixelShaderVersion(uint32_t token);
bool IsVertexShaderVersion(uint32_t token);
uint32_t ShaderMajor(uint32_t version);

// Walks the tokens of shader model 2/3 bytecode (instruction lengths are in
// the tokens there) and requires the end token to be the last DWORD.
bool ReadShaderLayout(const std::vector<uint32_t>& code, ShaderLayout* layout, std::string* error);

struct CtabConstant {
  std::string name;
  RegisterSet set = RegisterSet::Float4;
  uint32_t index = 0;
  uint32_t count = 0;
  Class klass = Class::Scalar;
  Type type = Type::Float;
  uint32_t rows = 0;
  uint32_t columns = 0;
  uint32_t elements = 0;
};

// Reads the constants of the CTAB at layout.ctab_token, checking every
// offset against the comment's size.
bool ReadConstantTable(const std::vector<uint32_t>& code, const ShaderLayout& layout,
                       std::vector<CtabConstant>* constants, std::string* error);

}  // namespace fx2
