// Adds a constant table (CTAB comment) to assembled pixel-shader bytecode.
// D3DX binds an effect parameter to a shader register only through such a
// table: a sampler constant applies the sampler parameter's block (and so
// its texture) to s<n>, a numeric constant uploads the parameter's value,
// arrays element by element. Hand-assembled shaders carry none.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fx2/effect_model.h"
#include "fx2/shader_code.h"

namespace fx2 {

// One register range named after an effect parameter; shape is that
// parameter's type, which D3DX compares with the parameter's own.
struct ConstantBinding {
  RegisterSet set = RegisterSet::Float4;
  uint32_t index = 0;
  uint32_t count = 0;  // 0 = as many registers as the whole parameter takes
  std::string name;
  Shape shape;
};

// Registers the whole of a value of this shape takes in a register set, the
// way D3DX counts them (a float4x3 row-major matrix: 4; float4[3]: 3).
uint32_t RegistersFor(const Shape& shape, RegisterSet set);

// A binding for a parameter of the effect, with the register set chosen
// from its type (samplers → s, bool → b, others → c).
bool BindParameter(const Effect& effect, const std::string& name, uint32_t index,
                   ConstantBinding* binding, std::string* error);

struct CodeOutput {
  std::vector<uint32_t> code;
  std::string error;
  explicit operator bool() const { return error.empty(); }
};

// Inserts the table right after the version token. Refuses bytecode that
// already has one, and bindings D3DX would reject or misread.
CodeOutput AddConstantTable(const std::vector<uint32_t>& code,
                            const std::vector<ConstantBinding>& bindings,
                            const std::string& creator = "texloom fx2");

}  // namespace fx2
