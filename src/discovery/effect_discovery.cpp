// One discovery run: the compiled effect, an annotation source for it, and
// the filter's texts and controls read from that source.
#include "discovery/effect_discovery.h"

#include "discovery/compiled_effect.h"
#include "discovery/discovery_messages.h"
#include "discovery/filter_controls.h"

namespace {

constexpr DWORD kPreDeviceBehaviour =
    D3DCREATE_NOWINDOWCHANGES | D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED;

// Reads the whole face and commits it only when every read succeeded.
bool ReadControls(EffectDiscoveryState& state, ID3DXBaseEffect* source) {
  FilterFace face(state);
  if (!ReadVersionTitleInformation(face, source) || !ReadTrackControls(face, source) ||
      !ReadCheckControls(face, source)) {
    return false;
  }
  CommitFilterFace(state, face);
  return true;
}

bool RunDiscovery(EffectDiscoveryState& state, const wchar_t* module_path) {
  state.effect_compiler.reset();
  state.compiled_effect.reset();

  if (FAILED(ObtainCompiledEffect(state, module_path))) return false;

  if (!state.compiled_effect) {
    if (FAILED(CompileSource(state))) return false;
    // The compiler reads parameters and annotations like an effect would.
    ComPtr<ID3DXBaseEffect> source(state.effect_compiler);
    return ReadControls(state, source.get());
  }

  // A precompiled effect can be read only through an effect, which needs a
  // device: a temporary one on the desktop window.
  ComPtr<IDirect3D9> direct3d = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
  if (!direct3d) {
    state.compiled_effect.reset();
    ShowDiscoveryError(kMsgPreDirect3DFailed);
    return false;
  }
  D3DPRESENT_PARAMETERS parameters = {};
  parameters.BackBufferFormat = D3DFMT_UNKNOWN;
  parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
  parameters.Windowed = TRUE;
  ComPtr<IDirect3DDevice9> device;
  if (FAILED(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, GetDesktopWindow(), kPreDeviceBehaviour,
                                    &parameters, device.put()))) {
    ShowDiscoveryError(kMsgPreDeviceFailed);
    return false;
  }
  ComPtr<ID3DXEffect> effect;
  HRESULT result = E_NOINTERFACE;
  if (state.create_effect) {
    result = state.create_effect(device.get(), state.compiled_effect->GetBufferPointer(),
                                 state.compiled_effect->GetBufferSize(), nullptr, nullptr,
                                 kEffectCreationFlags, nullptr, effect.put(), nullptr);
  }
  if (FAILED(result) || !effect) {
    ShowDiscoveryError(kMsgPreEffectFailed);
    return false;
  }
  bool read = ReadControls(state, effect.get());
  // The effect holds the device: it goes first, then the device, then Direct3D.
  effect.reset();
  device.reset();
  direct3d.reset();
  return read;
}

}  // namespace

bool DiscoverEffect(EffectDiscoveryState& state, const wchar_t* module_path) {
  if (RunDiscovery(state, module_path)) return true;
  // The table keeps showing an earlier effect's controls; an engine made
  // from this compiled effect would bind them to another effect.
  if (state.holds_discovered_face) {
    state.compiled_effect.reset();
    state.effect_compiler.reset();
  }
  return false;
}
