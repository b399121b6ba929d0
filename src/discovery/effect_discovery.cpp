// One discovery run: the compiled effect, an annotation source for it, and
// the filter's texts and controls read from that source.
#include "discovery/effect_discovery.h"

#include "discovery/compiled_effect.h"
#include "discovery/discovery_messages.h"
#include "discovery/filter_controls.h"

namespace {

constexpr DWORD kPreDeviceBehaviour =
    D3DCREATE_NOWINDOWCHANGES | D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED;

bool ReadControls(EffectDiscoveryState& state, ID3DXBaseEffect* source) {
  return ReadVersionTitleInformation(state, source) && ReadTrackControls(state, source) &&
         ReadCheckControls(state, source);
}

}  // namespace

bool DiscoverEffect(EffectDiscoveryState& state, const wchar_t* module_path) {
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
