// Reports what Direct3D 9 offers on this system, creating the devices the way
// the plug-in does: HAL, windowed, back buffer of unknown format, discarded
// swaps; the temporary one that reads a precompiled effect on the desktop
// window with behaviour 0x824, the drawing one on its own window with 0x826.
// Exits 0 when both were made, 1 when not, so a test runner can tell "no
// Direct3D here" from a failing test.
#include <d3d9.h>
#include <windows.h>

#include <cstdio>

#include "platform/com_ptr.h"

namespace {

constexpr DWORD kPluginBehaviour = D3DCREATE_FPU_PRESERVE | D3DCREATE_MULTITHREADED |
                                   D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_NOWINDOWCHANGES;
static_assert(kPluginBehaviour == 0x826, "the plug-in's behaviour flags");
constexpr DWORD kPreDeviceBehaviour =
    D3DCREATE_MULTITHREADED | D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_NOWINDOWCHANGES;
static_assert(kPreDeviceBehaviour == 0x824, "the plug-in's temporary device's flags");

struct NamedFormat {
  D3DFORMAT format;
  const char* name;
};

constexpr NamedFormat kFrameFormats[] = {
    {D3DFMT_A16B16G16R16F, "A16B16G16R16F"}, {D3DFMT_A32B32G32R32F, "A32B32G32R32F"},
    {D3DFMT_A16B16G16R16, "A16B16G16R16"},   {D3DFMT_Q16W16V16U16, "Q16W16V16U16"},
    {D3DFMT_A2B10G10R10, "A2B10G10R10"},
};

struct NamedUsage {
  DWORD usage;
  const char* name;
};

constexpr NamedUsage kFrameUsages[] = {
    {D3DUSAGE_RENDERTARGET, "RENDERTARGET"}, {D3DUSAGE_DYNAMIC, "DYNAMIC"}, {0, "0"}};

HWND CreateFocusWindow() {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"TexloomD3DProbe";
  RegisterClassW(&window_class);
  return CreateWindowExW(0, window_class.lpszClassName, L"d3d probe", WS_OVERLAPPEDWINDOW, 0, 0,
                         640, 480, nullptr, nullptr, window_class.hInstance, nullptr);
}

void PrintAdapter(IDirect3D9* d3d) {
  D3DADAPTER_IDENTIFIER9 identifier = {};
  if (FAILED(d3d->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &identifier))) {
    std::printf("adapter: identifier not available\n");
    return;
  }
  std::printf("adapter: %s\n", identifier.Description);
  std::printf("driver: %s, vendor 0x%04lx, device 0x%04lx\n", identifier.Driver,
              identifier.VendorId, identifier.DeviceId);
}

void PrintCaps(IDirect3DDevice9* device) {
  D3DCAPS9 caps = {};
  if (FAILED(device->GetDeviceCaps(&caps))) {
    std::printf("caps: not available\n");
    return;
  }
  std::printf("PixelShaderVersion: %lu.%lu (0x%08lx)\n",
              D3DSHADER_VERSION_MAJOR(caps.PixelShaderVersion),
              D3DSHADER_VERSION_MINOR(caps.PixelShaderVersion), caps.PixelShaderVersion);
  std::printf("NumSimultaneousRTs: %lu\n", caps.NumSimultaneousRTs);
  std::printf("MaxTextureWidth/Height: %lu x %lu\n", caps.MaxTextureWidth, caps.MaxTextureHeight);
  std::printf("TextureCaps: 0x%08lx (POW2 %d, NONPOW2CONDITIONAL %d, SQUAREONLY %d)\n",
              caps.TextureCaps, (caps.TextureCaps & D3DPTEXTURECAPS_POW2) != 0,
              (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) != 0,
              (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) != 0);
}

// The same question the plug-in's capability probe asks of each frame format.
void PrintFormats(IDirect3D9* d3d, IDirect3DDevice9* device) {
  D3DDISPLAYMODE mode = {};
  if (FAILED(device->GetDisplayMode(0, &mode))) {
    std::printf("display mode: not available\n");
    return;
  }
  std::printf("display mode: %ux%u, format %d\n", mode.Width, mode.Height, mode.Format);
  for (const NamedFormat& format : kFrameFormats) {
    std::printf("texture %-14s", format.name);
    for (const NamedUsage& usage : kFrameUsages) {
      const HRESULT status = d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, mode.Format,
                                                    usage.usage, D3DRTYPE_TEXTURE, format.format);
      std::printf(" %s=%s", usage.name, SUCCEEDED(status) ? "yes" : "no");
    }
    std::printf("\n");
  }
}

D3DPRESENT_PARAMETERS PluginPresentParameters() {
  D3DPRESENT_PARAMETERS parameters = {};
  parameters.Windowed = TRUE;
  parameters.BackBufferFormat = D3DFMT_UNKNOWN;
  parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
  return parameters;
}

}  // namespace

int main() {
  const HWND window = CreateFocusWindow();
  if (!window) {
    std::printf("no device: the focus window could not be created\n");
    return 1;
  }
  ComPtr<IDirect3D9> d3d = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
  if (!d3d) {
    std::printf("no device: Direct3DCreate9(%d) failed\n", D3D_SDK_VERSION);
    return 1;
  }
  PrintAdapter(d3d.get());

  // The desktop window belongs to another process: an implementation that
  // needs a presentable surface when the device is made can fail here.
  D3DPRESENT_PARAMETERS parameters = PluginPresentParameters();
  ComPtr<IDirect3DDevice9> device;
  HRESULT status = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, GetDesktopWindow(),
                                     kPreDeviceBehaviour, &parameters, device.put());
  if (FAILED(status)) {
    std::printf("no device: CreateDevice(HAL, desktop window, 0x%lx) failed with 0x%08lx\n",
                kPreDeviceBehaviour, static_cast<unsigned long>(status));
    return 1;
  }
  device.reset();
  std::printf("device on the desktop window: created\n");

  parameters = PluginPresentParameters();
  status = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, kPluginBehaviour,
                             &parameters, device.put());
  if (FAILED(status)) {
    std::printf("no device: CreateDevice(HAL, 0x%lx) failed with 0x%08lx\n", kPluginBehaviour,
                static_cast<unsigned long>(status));
    return 1;
  }
  PrintCaps(device.get());
  PrintFormats(d3d.get(), device.get());
  device.reset();
  d3d.reset();
  DestroyWindow(window);
  std::printf("device: created\n");
  return 0;
}
