// Obtains the compiled effect: the precompiled ".fxo" file beside the module
// when it can be read, otherwise the ".fx" source compiled with D3DX.
#include "discovery/compiled_effect.h"

#include <cstdio>
#include <cwchar>
#include <new>

#include "discovery/discovery_messages.h"

namespace {

constexpr wchar_t kPrecompiledExtension[] = L".fxo";
constexpr wchar_t kSourceExtension[] = L".fx";

// The most significant half of the module's file version (major << 16 |
// minor), or 0 when the module has none.
DWORD ModuleFileVersion(const wchar_t* module_path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(module_path, &ignored);
  if (size == 0) return 0;
  char* block = new (std::nothrow) char[size];
  if (!block) return 0;
  DWORD version = 0;
  void* value = nullptr;
  UINT length = 0;
  if (GetFileVersionInfoW(module_path, 0, size, block) &&
      VerQueryValueW(block, L"\\", &value, &length) && value &&
      length >= sizeof(VS_FIXEDFILEINFO)) {
    version = static_cast<const VS_FIXEDFILEINFO*>(value)->dwFileVersionMS;
  }
  delete[] block;
  return version;
}

}  // namespace

void ShowErrorBuffer(ID3DXBuffer* errors) {
  if (!errors) return;
  const char* text = static_cast<const char*>(errors->GetBufferPointer());
  DWORD size = errors->GetBufferSize();
  if (!text || size == 0 || size > 0x7FFFFFFF) return;
  wchar_t* message = new (std::nothrow) wchar_t[size];
  if (!message) return;
  // The compiler writes in the ANSI code page (Shift-JIS on the systems the
  // host runs on), so file names and messages in Japanese convert correctly.
  int converted =
      MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(size), message, static_cast<int>(size));
  if (converted > 0) {
    // Double-byte text converts to fewer characters than it has bytes; the
    // slots behind the converted ones hold nothing.
    message[static_cast<DWORD>(converted) < size ? converted : size - 1] = L'\0';
    ShowDiscoveryError(message);
  }
  delete[] message;
}

HRESULT ReadPrecompiledFile(EffectDiscoveryState& state, const wchar_t* path) {
  if (!state.create_buffer) return E_NOINTERFACE;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return E_FAIL;
  DWORD size = GetFileSize(file, nullptr);
  if (size == INVALID_FILE_SIZE) {
    CloseHandle(file);
    return E_UNEXPECTED;
  }
  state.compiled_effect.reset();
  ComPtr<ID3DXBuffer> buffer;
  HRESULT result = state.create_buffer(size, buffer.put());
  if (FAILED(result)) {
    CloseHandle(file);
    return result;
  }
  DWORD read = 0;
  BOOL ok = ReadFile(file, buffer->GetBufferPointer(), size, &read, nullptr);
  CloseHandle(file);
  if (!ok || read < size) return E_UNEXPECTED;
  state.compiled_effect = std::move(buffer);
  return S_OK;
}

HRESULT ObtainCompiledEffect(EffectDiscoveryState& state, const wchar_t* module_path) {
  wchar_t path[MAX_PATH];
  size_t length = std::wcslen(module_path);
  if (length > MAX_PATH - 1) length = MAX_PATH - 1;
  std::wmemcpy(path, module_path, length);
  path[length] = L'\0';

  // A renaming that does not fit leaves the path as it was; reading that
  // would open the wrong file, so the ".fxo" counts as unavailable.
  if (PathRenameExtensionW(path, kPrecompiledExtension) &&
      SUCCEEDED(ReadPrecompiledFile(state, path))) {
    return S_OK;
  }
  if (!state.create_effect_compiler_from_file) return E_NOINTERFACE;

  DWORD version = ModuleFileVersion(module_path);
  if (version == 0) return E_FAIL;
  char version_text[16];
  std::snprintf(version_text, sizeof(version_text), "0x%08x", static_cast<unsigned>(version));
  const D3DXMACRO macros[] = {{"TEXLOOM_VER", version_text}, {nullptr, nullptr}};

  if (!PathRenameExtensionW(path, kSourceExtension)) return E_FAIL;
  state.effect_compiler.reset();
  ComPtr<ID3DXEffectCompiler> compiler;
  ComPtr<ID3DXBuffer> errors;
  HRESULT result = state.create_effect_compiler_from_file(path, macros, nullptr, 0, compiler.put(),
                                                          errors.put());
  if (compiler) state.effect_compiler = std::move(compiler);
  // Warnings come with a result of 0 and are not shown.
  if (result != S_OK && errors) ShowErrorBuffer(errors.get());
  return result;
}

HRESULT CompileSource(EffectDiscoveryState& state) {
  if (!state.effect_compiler) return E_NOINTERFACE;
  state.compiled_effect.reset();
  ComPtr<ID3DXBuffer> compiled;
  ComPtr<ID3DXBuffer> errors;
  HRESULT result = state.effect_compiler->CompileEffect(0, compiled.put(), errors.put());
  if (compiled) state.compiled_effect = std::move(compiled);
  if (result != S_OK && errors) ShowErrorBuffer(errors.get());
  return result;
}
