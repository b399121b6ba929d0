// The module-wide record of what the last table request discovered in the
// effect file: the D3DX library and its entry points, the compiled effect,
// the controls and the texts the filter table points to.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/com_ptr.h"
#include "platform/win32_api.h"

struct TrackDescriptor {
  std::string name;
  int32_t default_value = 0;
  int32_t maximum = 0;
  int32_t minimum = 1;
  std::string usage;
};

struct CheckDescriptor {
  std::string name;
  int32_t default_value = 0;
  std::string usage;
};

typedef HRESULT(WINAPI* CreateEffectCompilerFromFileFunction)(LPCWSTR path,
                                                              const D3DXMACRO* defines,
                                                              ID3DXInclude* include, DWORD flags,
                                                              ID3DXEffectCompiler** compiler,
                                                              ID3DXBuffer** errors);
typedef HRESULT(WINAPI* CreateEffectFunction)(IDirect3DDevice9* device, LPCVOID data, UINT size,
                                              const D3DXMACRO* defines, ID3DXInclude* include,
                                              DWORD flags, ID3DXEffectPool* pool,
                                              ID3DXEffect** effect, ID3DXBuffer** errors);
typedef HRESULT(WINAPI* CreateBufferFunction)(DWORD size, ID3DXBuffer** buffer);

// Creation flags of every effect made from the compiled effect.
constexpr DWORD kEffectCreationFlags = D3DXFX_NOT_CLONEABLE | D3DXFX_LARGEADDRESSAWARE;

struct EffectDiscoveryState {
  ComPtr<ID3DXEffectCompiler> effect_compiler;
  ComPtr<ID3DXBuffer> compiled_effect;
  std::vector<TrackDescriptor> track_descriptors;
  char* track_names_block = nullptr;
  int32_t* track_defaults = nullptr;
  int32_t* track_maxima = nullptr;
  int32_t* track_minima = nullptr;
  std::vector<CheckDescriptor> check_descriptors;
  char* check_names_block = nullptr;
  int32_t* check_defaults = nullptr;
  int32_t version[4] = {0, 0, 0, 0};
  char* title = nullptr;
  wchar_t* display_name = nullptr;
  char* information = nullptr;
  HMODULE d3dx_module = nullptr;
  CreateEffectCompilerFromFileFunction create_effect_compiler_from_file = nullptr;
  CreateEffectFunction create_effect = nullptr;
  CreateBufferFunction create_buffer = nullptr;
  // Texts and arrays replaced while the filter table may still point at
  // them; freed once the table no longer does.
  std::vector<void*> retired;
  // A discovery has committed its face: the table may show controls and
  // texts of that effect.
  bool holds_discovered_face = false;
};

// The one instance, empty at module load. The runtime never destroys it:
// the module's unload tears it down in a defined order (DllMain), and at
// process exit nothing is released at all.
extern EffectDiscoveryState& effect_discovery;

// Releases every D3DX object, frees every text and array, unloads D3DX.
void TearDownDiscoveryState(EffectDiscoveryState& state);
