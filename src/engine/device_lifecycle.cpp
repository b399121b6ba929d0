// Creation of the Direct3D object and device, the device-loss state machine
// and the engine's teardown.
#include <utility>

#include "engine/engine.h"
#include "engine/engine_messages.h"
#include "host/host_interface.h"
#include "host/module_state.h"
#include "plan/effect_plan.h"

namespace {

// FPU_PRESERVE keeps the host's floating-point mode; MULTITHREADED because
// the render worker draws while the host's thread uses the device;
// NOWINDOWCHANGES because the focus window belongs to the host.
constexpr DWORD kDeviceBehaviorFlags = D3DCREATE_FPU_PRESERVE | D3DCREATE_MULTITHREADED |
                                       D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                                       D3DCREATE_NOWINDOWCHANGES;
static_assert(kDeviceBehaviorFlags == 0x826, "behaviour flags");

template <typename T>
void DestroyContainer(T& container) {
  T().swap(container);
}

}  // namespace

D3DPRESENT_PARAMETERS DevicePresentParameters() {
  // Zero size and format: the back buffer follows the focus window's client
  // area and the display format; the device never presents anything.
  D3DPRESENT_PARAMETERS parameters = {};
  parameters.Windowed = TRUE;
  parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
  return parameters;
}

void Engine::ReleaseDeviceAndDirect3D() {
  device.reset();
  d3d.reset();
}

bool Engine::SetUpDevice(FilterTable* table, int adapter_setting, bool use_worker) {
  ReleaseDeviceAndDirect3D();

  ComPtr<IDirect3D9> created_d3d = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
  if (!created_d3d) {
    ShowError(kMsgDirect3DCreateFailed);
    return false;
  }
  d3d = std::move(created_d3d);

  UINT adapter = 0;
  D3DDEVTYPE device_type = D3DDEVTYPE_REF;
  if (adapter_setting >= 0) {
    device_type = D3DDEVTYPE_HAL;
    adapter = static_cast<UINT>(adapter_setting);
    if (adapter >= d3d->GetAdapterCount()) adapter = 0;
  }

  D3DPRESENT_PARAMETERS parameters = DevicePresentParameters();
  HWND focus_window = table ? table->window : nullptr;
  ComPtr<IDirect3DDevice9> created_device;
  HRESULT status = d3d->CreateDevice(adapter, device_type, focus_window, kDeviceBehaviorFlags,
                                     &parameters, created_device.put());
  if (FAILED(status)) {
    ShowError(kMsgDeviceCreateFailed);
    ReleaseDeviceAndDirect3D();
    return false;
  }
  device = std::move(created_device);

  // The probe shows its own message, or none when a Direct3D query failed.
  if (FAILED(ProbeCapabilities())) {
    ReleaseDeviceAndDirect3D();
    return false;
  }

  if (use_worker && StartWorker(worker, this) != 0) {
    ShowError(kMsgThreadStartFailed);
    ReleaseDeviceAndDirect3D();
    return false;
  }

  if (FAILED(CreateEffectAndPlan(*this))) {
    ShowError(kMsgEffectCreateFailed);
    ReleaseDeviceAndDirect3D();
    return false;
  }
  return true;
}

bool Engine::CheckDevice() {
  if (!device) return false;
  HRESULT level = device->TestCooperativeLevel();
  switch (level) {
    case D3D_OK:
      // A reset whose effect restore failed left the effect lost: it is
      // restored before anything draws with it.
      if (effect_lost) {
        if (!effect || FAILED(effect->OnResetDevice())) {
          ShowError(kMsgDeviceResetFailed);
          return false;
        }
        effect_lost = false;
      }
      return true;
    case D3DERR_DEVICELOST:
      // Silent: the next frame asks again.
      return false;
    case D3DERR_DEVICENOTRESET: {
      const HRESULT status = ResetDevice();
      // The reset released the default pool whatever its outcome: everything
      // of frame size is rebuilt before anything uses it again (this frame
      // after a successful reset, else the next one that gets that far).
      size_changed = 1;
      if (SUCCEEDED(status)) return true;
      ShowError(kMsgDeviceResetFailed);
      return false;
    }
    default:
      ShowError(kMsgCooperativeLevelError);
      return false;
  }
}

HRESULT Engine::ResetDevice() {
  if (!device || !effect) return D3DERR_INVALIDCALL;
  // Direct3D refuses a reset while default-pool resources exist.
  ReleaseDefaultPoolResources();
  effect->OnLostDevice();
  effect_lost = true;
  D3DPRESENT_PARAMETERS parameters = DevicePresentParameters();
  HRESULT status = device->Reset(&parameters);
  if (FAILED(status)) return status;
  status = effect->OnResetDevice();
  if (SUCCEEDED(status)) effect_lost = false;
  return status;
}

void Engine::DestroyEngine() {
  ReleaseDefaultPoolResources();
  staging_texture.reset();
  vertex_declaration.reset();
  // No job is in flight here, so the effect may go before the worker stops.
  effect.reset();
  StopWorkerThread(worker);
  ReleaseDeviceAndDirect3D();
  StopWorker(worker);
  DestroyContainer(kernel_bindings);
  DestroyContainer(render_target_params);
  DestroyContainer(source_offsets);
  DestroyContainer(source_bindings);
  DestroyContainer(techniques);
  DestroyContainer(check_bindings);
  DestroyContainer(track_bindings);
  DestroyContainer(render_target_slots);
  DestroyContainer(frame_cache_next);
  DestroyContainer(frame_cache);
  DestroyContainer(source_texture_slots);
}
