#include "fx2/constant_table.h"

#include <cstring>

#include "fx2/names.h"

namespace fx2 {

namespace {

uint32_t RegisterLimit(RegisterSet set, uint32_t version) {
  switch (set) {
    case RegisterSet::Float4:
      return ShaderMajor(version) >= 3 ? 224 : 32;
    case RegisterSet::Int4:
    case RegisterSet::Bool:
    case RegisterSet::Sampler:
      return 16;
  }
  return 0;
}

const char* RegisterLetter(RegisterSet set) {
  switch (set) {
    case RegisterSet::Bool:
      return "b";
    case RegisterSet::Int4:
      return "i";
    case RegisterSet::Float4:
      return "c";
    case RegisterSet::Sampler:
      return "s";
  }
  return "?";
}

std::string Registers(const ConstantBinding& binding, uint32_t count) {
  std::string text = RegisterLetter(binding.set) + std::to_string(binding.index);
  if (count > 1) {
    text +=
        "-" + std::string(RegisterLetter(binding.set)) + std::to_string(binding.index + count - 1);
  }
  return text;
}

// Whether D3DX accepts a value of this type in this register set.
bool TypeFitsSet(const Shape& shape, RegisterSet set) {
  switch (set) {
    case RegisterSet::Sampler:
      return shape.klass == Class::Object && IsSampler(shape.type);
    case RegisterSet::Float4:
      return shape.klass != Class::Object && IsNumeric(shape.type);
    case RegisterSet::Int4:
      return shape.klass != Class::Object && shape.type == Type::Int;
    case RegisterSet::Bool:
      return shape.klass != Class::Object && shape.type == Type::Bool;
  }
  return false;
}

// The little byte buffer of the table; offsets in it are relative to its
// start (the DWORD after the fourcc), as D3DX reads them.
class CtabBytes {
 public:
  size_t size() const { return bytes_.size(); }
  void Put32(uint32_t value) { Append(&value, 4); }
  void Put16(uint16_t value) { Append(&value, 2); }
  void Set32(size_t offset, uint32_t value) { std::memcpy(&bytes_[offset], &value, 4); }
  uint32_t PutString(const std::string& text) {
    uint32_t offset = static_cast<uint32_t>(bytes_.size());
    Append(text.c_str(), text.size() + 1);
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
    return offset;
  }
  std::vector<uint32_t> Dwords() const {
    std::vector<uint32_t> dwords(bytes_.size() / 4);
    std::memcpy(dwords.data(), bytes_.data(), dwords.size() * 4);
    return dwords;
  }

 private:
  void Append(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
  }
  std::vector<uint8_t> bytes_;
};

std::string TargetName(uint32_t version) {
  return std::string("ps_") + std::to_string(ShaderMajor(version)) + "_" +
         std::to_string(version & 0xFFu);
}

bool CheckBindings(const std::vector<ConstantBinding>& bindings, uint32_t version,
                   std::vector<uint32_t>* counts, std::string* error) {
  for (size_t i = 0; i < bindings.size(); ++i) {
    const ConstantBinding& b = bindings[i];
    std::string where = "binding of \"" + b.name + "\": ";
    if (!IsIdentifier(b.name)) {
      *error = "binding " + std::to_string(i) + ": \"" + b.name +
               "\" is not a parameter name (D3DX matches constants to parameters by name)";
      return false;
    }
    if (!TypeFitsSet(b.shape, b.set)) {
      *error = where + "a " + TypeName(b.shape.type) + " parameter cannot live in " +
               RegisterLetter(b.set) + " registers (D3DX refuses the effect)";
      return false;
    }
    uint32_t needed = RegistersFor(b.shape, b.set);
    uint32_t count = b.count == 0 ? needed : b.count;
    if (count > needed) {
      *error = where + std::to_string(count) + " registers given, but the parameter fills only " +
               std::to_string(needed);
      return false;
    }
    if (b.index + count > RegisterLimit(b.set, version)) {
      *error =
          where + Registers(b, count) + " is beyond the last register of " + TargetName(version);
      return false;
    }
    for (size_t j = 0; j < i; ++j) {
      const ConstantBinding& other = bindings[j];
      if (other.name == b.name) {
        *error = where + "the parameter is bound twice";
        return false;
      }
      if (other.set == b.set && b.index < other.index + (*counts)[j] &&
          other.index < b.index + count) {
        *error = where + Registers(b, count) + " overlaps the registers of \"" + other.name + "\"";
        return false;
      }
    }
    counts->push_back(count);
  }
  return true;
}

}  // namespace

uint32_t RegistersFor(const Shape& shape, RegisterSet set) {
  uint32_t per_element = 1;
  if (set == RegisterSet::Bool) {
    per_element = shape.rows * shape.columns;
  } else if (set != RegisterSet::Sampler) {
    if (shape.klass == Class::MatrixRows) per_element = shape.rows;
    if (shape.klass == Class::MatrixColumns) per_element = shape.columns;
  }
  return per_element * shape.Count();
}

bool BindParameter(const Effect& effect, const std::string& name, uint32_t index,
                   ConstantBinding* binding, std::string* error) {
  const Parameter* parameter = effect.FindParameter(name);
  if (!parameter) {
    *error = "no parameter \"" + name + "\" to bind";
    return false;
  }
  ConstantBinding result;
  result.name = name;
  result.index = index;
  result.shape = parameter->value.shape;
  if (IsSampler(result.shape.type)) {
    result.set = RegisterSet::Sampler;
  } else if (result.shape.type == Type::Bool) {
    result.set = RegisterSet::Bool;
  } else if (IsNumeric(result.shape.type)) {
    result.set = RegisterSet::Float4;
  } else {
    *error = "\"" + name + "\" is a " + TypeName(result.shape.type) +
             " parameter; only samplers and numbers are bound to shader registers";
    return false;
  }
  *binding = result;
  return true;
}

CodeOutput AddConstantTable(const std::vector<uint32_t>& code,
                            const std::vector<ConstantBinding>& bindings,
                            const std::string& creator) {
  CodeOutput out;
  ShaderLayout layout;
  if (!ReadShaderLayout(code, &layout, &out.error)) return out;
  if (!IsPixelShaderVersion(layout.version)) {
    out.error = "constant tables are added to pixel shaders only";
    return out;
  }
  if (layout.ctab_token != 0) {
    out.error = "the shader already has a constant table";
    return out;
  }
  std::vector<uint32_t> counts;
  if (!CheckBindings(bindings, layout.version, &counts, &out.error)) return out;

  constexpr uint32_t kHeaderBytes = 28, kInfoBytes = 20;
  CtabBytes ctab;
  ctab.Put32(kHeaderBytes);
  ctab.Put32(0);  // creator, set below
  ctab.Put32(layout.version);
  ctab.Put32(static_cast<uint32_t>(bindings.size()));
  ctab.Put32(kHeaderBytes);
  ctab.Put32(0);  // flags
  ctab.Put32(0);  // target, set below
  for (size_t i = 0; i < bindings.size(); ++i) {
    for (int d = 0; d < 5; ++d) ctab.Put32(0);
  }
  for (size_t i = 0; i < bindings.size(); ++i) {
    const ConstantBinding& b = bindings[i];
    size_t info = kHeaderBytes + i * kInfoBytes;
    ctab.Set32(info, ctab.PutString(b.name));
    ctab.Set32(info + 4, static_cast<uint32_t>(b.set) | b.index << 16);
    ctab.Set32(info + 8, counts[i]);
    ctab.Set32(info + 12, static_cast<uint32_t>(ctab.size()));
    bool object = b.shape.klass == Class::Object;
    ctab.Put16(static_cast<uint16_t>(b.shape.klass));
    ctab.Put16(static_cast<uint16_t>(b.shape.type));
    ctab.Put16(static_cast<uint16_t>(object ? 1 : b.shape.rows));
    ctab.Put16(static_cast<uint16_t>(object ? 1 : b.shape.columns));
    ctab.Put16(static_cast<uint16_t>(b.shape.Count()));
    ctab.Put16(0);  // struct members
    ctab.Put32(0);  // struct member info
  }
  ctab.Set32(24, ctab.PutString(TargetName(layout.version)));
  ctab.Set32(4, ctab.PutString(creator));

  std::vector<uint32_t> table = ctab.Dwords();
  uint32_t comment_dwords = static_cast<uint32_t>(table.size()) + 1;
  if (comment_dwords > 0x7FFFu) {
    out.error = "the constant table is larger than a shader comment can hold";
    return out;
  }
  out.code.reserve(code.size() + comment_dwords + 1);
  out.code.push_back(code[0]);
  out.code.push_back(0xFFFEu | comment_dwords << 16);
  out.code.push_back(kCtabFourcc);
  out.code.insert(out.code.end(), table.begin(), table.end());
  out.code.insert(out.code.end(), code.begin() + 1, code.end());
  return out;
}

}  // namespace fx2
