#include "fx2/windows/d3dx_library.h"

#include <cstdio>
#include <cstring>

#include "platform/com_ptr.h"

namespace fx2 {

namespace {

D3dxLibrary Load() {
  D3dxLibrary library;
  for (int version = 42; version >= 38; --version) {
    char name[32];
    std::snprintf(name, sizeof(name), "d3dx9_%d.dll", version);
    HMODULE module = LoadLibraryA(name);
    if (!module) continue;
    library.module = module;
    library.version = version;
    library.assemble_shader = reinterpret_cast<decltype(&D3DXAssembleShader)>(
        reinterpret_cast<void*>(GetProcAddress(module, "D3DXAssembleShader")));
    library.create_effect = reinterpret_cast<decltype(&D3DXCreateEffect)>(
        reinterpret_cast<void*>(GetProcAddress(module, "D3DXCreateEffect")));
    break;
  }
  return library;
}

std::string BufferText(ID3DXBuffer* buffer) {
  if (!buffer) return std::string();
  const char* text = static_cast<const char*>(buffer->GetBufferPointer());
  size_t size = buffer->GetBufferSize();
  return std::string(text, strnlen(text, size));
}

}  // namespace

const D3dxLibrary* LoadD3dx() {
  static const D3dxLibrary library = Load();
  return library.module ? &library : nullptr;
}

std::vector<uint32_t> AssemblePixelShader(const std::string& text, std::string* error_text) {
  std::vector<uint32_t> code;
  std::string errors;
  const D3dxLibrary* d3dx = LoadD3dx();
  if (!d3dx || !d3dx->assemble_shader) {
    errors = "no D3DX 9 library (d3dx9_38.dll .. d3dx9_42.dll) with D3DXAssembleShader";
  } else {
    ComPtr<ID3DXBuffer> shader;
    ComPtr<ID3DXBuffer> messages;
    HRESULT hr = d3dx->assemble_shader(text.c_str(), static_cast<UINT>(text.size()), nullptr,
                                       nullptr, 0, shader.put(), messages.put());
    errors = BufferText(messages.get());
    if (SUCCEEDED(hr) && shader && shader->GetBufferSize() % 4 == 0) {
      code.resize(shader->GetBufferSize() / 4);
      std::memcpy(code.data(), shader->GetBufferPointer(), shader->GetBufferSize());
    } else if (errors.empty()) {
      char line[64];
      std::snprintf(line, sizeof(line), "D3DXAssembleShader failed (0x%08lx)",
                    static_cast<unsigned long>(hr));
      errors = line;
    }
  }
  if (error_text) *error_text = code.empty() ? errors : std::string();
  return code;
}

}  // namespace fx2
