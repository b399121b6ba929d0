#include "fx2/shader_code.h"

#include <cstring>

namespace fx2 {

namespace {

constexpr uint32_t kCommentOpcode = 0xFFFEu;

// The comment's payload as bytes (after the fourcc) and its size.
struct CommentBytes {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

CommentBytes CtabPayload(const std::vector<uint32_t>& code, size_t token) {
  uint32_t dwords = (code[token] >> 16) & 0x7FFFu;
  CommentBytes bytes;
  bytes.data = reinterpret_cast<const uint8_t*>(code.data() + token + 2);
  bytes.size = (dwords - 1) * 4u;
  return bytes;
}

uint32_t Read32(const CommentBytes& bytes, size_t offset) {
  uint32_t value;
  std::memcpy(&value, bytes.data + offset, 4);
  return value;
}

uint16_t Read16(const CommentBytes& bytes, size_t offset) {
  uint16_t value;
  std::memcpy(&value, bytes.data + offset, 2);
  return value;
}

bool ReadCtabString(const CommentBytes& bytes, uint32_t offset, std::string* text) {
  if (offset >= bytes.size) return false;
  const char* start = reinterpret_cast<const char*>(bytes.data + offset);
  const void* nul = std::memchr(start, 0, bytes.size - offset);
  if (!nul) return false;
  text->assign(start, static_cast<const char*>(nul));
  return true;
}

}  // namespace

bool IsPixelShaderVersion(uint32_t token) { return (token & 0xFFFF0000u) == 0xFFFF0000u; }

bool IsVertexShaderVersion(uint32_t token) { return (token & 0xFFFF0000u) == 0xFFFE0000u; }

uint32_t ShaderMajor(uint32_t version) { return (version >> 8) & 0xFFu; }

bool ReadShaderLayout(const std::vector<uint32_t>& code, ShaderLayout* layout, std::string* error) {
  if (code.size() < 2) {
    *error = "shader bytecode needs at least a version token and the end token";
    return false;
  }
  uint32_t version = code[0];
  if (!IsPixelShaderVersion(version) && !IsVertexShaderVersion(version)) {
    *error = "shader bytecode does not start with a shader version token";
    return false;
  }
  uint32_t major = ShaderMajor(version);
  if (major != 2 && major != 3) {
    *error = "only shader model 2 and 3 bytecode is supported";
    return false;
  }
  ShaderLayout result;
  result.version = version;
  size_t i = 1;
  while (i < code.size()) {
    uint32_t token = code[i];
    if (token == kEndToken) {
      if (i + 1 != code.size()) {
        *error = "shader bytecode has data after the end token";
        return false;
      }
      *layout = result;
      return true;
    }
    size_t length;
    if ((token & 0xFFFFu) == kCommentOpcode) {
      length = (token >> 16) & 0x7FFFu;
      if (length >= 1 && i + 1 < code.size() && code[i + 1] == kCtabFourcc &&
          result.ctab_token == 0) {
        result.ctab_token = i;
      }
    } else {
      length = (token >> 24) & 0xFu;
    }
    i += 1 + length;
  }
  *error = "shader bytecode ends without the end token";
  return false;
}

bool ReadConstantTable(const std::vector<uint32_t>& code, const ShaderLayout& layout,
                       std::vector<CtabConstant>* constants, std::string* error) {
  constants->clear();
  if (layout.ctab_token == 0) return true;
  CommentBytes bytes = CtabPayload(code, layout.ctab_token);
  constexpr size_t kHeader = 28, kInfo = 20, kTypeInfo = 16;
  if (bytes.size < kHeader || Read32(bytes, 0) != kHeader) {
    *error = "the constant table's header is malformed";
    return false;
  }
  uint32_t count = Read32(bytes, 12);
  uint32_t info_offset = Read32(bytes, 16);
  if (info_offset > bytes.size || count > (bytes.size - info_offset) / kInfo) {
    *error = "the constant table's entries lie outside it";
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    size_t info = info_offset + i * kInfo;
    CtabConstant constant;
    uint32_t type_offset = Read32(bytes, info + 12);
    if (!ReadCtabString(bytes, Read32(bytes, info), &constant.name) ||
        type_offset > bytes.size - kTypeInfo) {
      *error = "a constant of the constant table points outside it";
      return false;
    }
    constant.set = static_cast<RegisterSet>(Read16(bytes, info + 4));
    constant.index = Read16(bytes, info + 6);
    constant.count = Read16(bytes, info + 8);
    constant.klass = static_cast<Class>(Read16(bytes, type_offset));
    constant.type = static_cast<Type>(Read16(bytes, type_offset + 2));
    constant.rows = Read16(bytes, type_offset + 4);
    constant.columns = Read16(bytes, type_offset + 6);
    constant.elements = Read16(bytes, type_offset + 8);
    constants->push_back(std::move(constant));
  }
  return true;
}

}  // namespace fx2
