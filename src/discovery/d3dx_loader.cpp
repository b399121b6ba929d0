// Finds a D3DX 9 library at run time: the plug-in never links against one,
// so that it runs with whichever recent DirectX runtime is installed.
#include <cstdio>
#include <cwchar>
#include <new>

#include "discovery/discovery_messages.h"
#include "discovery/effect_discovery.h"
#include "host/module_state.h"

namespace {

constexpr DWORD kPathCharacters = 32768;
constexpr int kNewestVersion = 42;
constexpr int kOldestVersion = 38;

// GetProcAddress hands out every entry point as FARPROC; the generic function
// pointer type in between says the signature change is intended.
template <typename F>
F EntryPoint(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

void UnloadD3DX(EffectDiscoveryState& state) {
  state.effect_compiler.reset();
  state.compiled_effect.reset();
  if (state.d3dx_module) FreeLibrary(state.d3dx_module);
  state.d3dx_module = nullptr;
  state.create_effect_compiler_from_file = nullptr;
  state.create_effect = nullptr;
  state.create_buffer = nullptr;
}

// Tries the candidate versions, newest first, in the directory that fills
// the start of path; the file name is appended behind it.
HMODULE LoadFromDirectory(wchar_t* path) {
  size_t directory_length = std::wcslen(path);
  for (int version = kNewestVersion; version >= kOldestVersion; --version) {
    char name[32];
    int name_length = std::snprintf(name, sizeof(name), "\\d3dx9_%02d.dll", version);
    if (name_length <= 0 || directory_length + name_length >= kPathCharacters) continue;
    // The name is ASCII, so widening each character converts it.
    for (int i = 0; i <= name_length; ++i) {
      path[directory_length + i] = static_cast<wchar_t>(static_cast<unsigned char>(name[i]));
    }
    if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) continue;
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module) return module;
  }
  return nullptr;
}

HMODULE SearchD3DX(wchar_t* path) {
  path[0] = L'\0';
  GetModuleFileNameW(module_handle, path, kPathCharacters - 1);
  // An unterminated path must not reach PathRemoveFileSpecW.
  if (wmemchr(path, L'\0', kPathCharacters)) {
    PathRemoveFileSpecW(path);
    if (path[0] != L'\0') {
      if (HMODULE module = LoadFromDirectory(path)) return module;
    }
  }
  UINT length = GetSystemDirectoryW(path, kPathCharacters - 1);
  if (length == 0 || length >= kPathCharacters - 1) return nullptr;
  return LoadFromDirectory(path);
}

}  // namespace

bool LoadD3DX(EffectDiscoveryState& state) {
  if (state.d3dx_module) UnloadD3DX(state);

  wchar_t* path = new (std::nothrow) wchar_t[kPathCharacters];
  if (!path) return false;
  HMODULE module = SearchD3DX(path);
  delete[] path;

  if (!module) {
    ShowDiscoveryError(kMsgD3DXNotFound);
    return false;
  }
  state.d3dx_module = module;
  state.create_effect_compiler_from_file =
      EntryPoint<CreateEffectCompilerFromFileFunction>(module, "D3DXCreateEffectCompilerFromFileW");
  state.create_effect = EntryPoint<CreateEffectFunction>(module, "D3DXCreateEffect");
  state.create_buffer = EntryPoint<CreateBufferFunction>(module, "D3DXCreateBuffer");
  if (state.create_effect_compiler_from_file && state.create_effect && state.create_buffer) {
    return true;
  }
  UnloadD3DX(state);
  return false;
}
