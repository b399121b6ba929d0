// The one-time probe of a new device: texture shapes it can hold and the
// texture formats usable for every kind of frame texture.
#include "engine/engine.h"
#include "engine/engine_messages.h"

namespace {

struct ProbedFormat {
  D3DFORMAT format;
  ImageFormat flags[2];
  int flag_count;
};

// Order matters only for the order of the Direct3D queries.
constexpr ProbedFormat kProbedFormats[] = {
    {D3DFMT_A16B16G16R16F, {F16, F16}, 1},
    {D3DFMT_A32B32G32R32F, {F32, F32}, 1},
    {D3DFMT_A16B16G16R16, {U16, B16}, 2},
    {D3DFMT_Q16W16V16U16, {S16, S16}, 1},
    {D3DFMT_A2B10G10R10, {A2B10G10R10_PROBE, A2B10G10R10_PROBE}, 1},
};

// Every frame texture is a render target, a dynamic source or a plain
// staging texture, so a format must pass all three.
constexpr DWORD kProbedUsages[] = {D3DUSAGE_RENDERTARGET, D3DUSAGE_DYNAMIC, 0};

}  // namespace

HRESULT Engine::ProbeCapabilities() {
  if (!device || !d3d) return D3DERR_INVALIDCALL;

  D3DCAPS9 device_caps = {};
  HRESULT status = device->GetDeviceCaps(&device_caps);
  if (FAILED(status)) return status;
  caps = device_caps;

  // Frame textures are never padded to a square or a power of two.
  if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) {
    ShowError(kMsgSquareTexturesOnly);
    return D3DERR_NOTAVAILABLE;
  }
  if ((caps.TextureCaps & D3DPTEXTURECAPS_POW2) &&
      !(caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL)) {
    ShowError(kMsgPowerOfTwoTexturesOnly);
    return D3DERR_NOTAVAILABLE;
  }

  D3DDISPLAYMODE mode = {};
  status = device->GetDisplayMode(0, &mode);
  if (FAILED(status)) return status;

  bool any_supported = false;
  for (const ProbedFormat& probed : kProbedFormats) {
    bool supported = true;
    for (DWORD usage : kProbedUsages) {
      if (FAILED(d3d->CheckDeviceFormat(caps.AdapterOrdinal, caps.DeviceType, mode.Format, usage,
                                        D3DRTYPE_TEXTURE, probed.format))) {
        supported = false;
        break;
      }
    }
    for (int i = 0; i < probed.flag_count; ++i) format_supported[probed.flags[i]] = supported;
    any_supported = any_supported || supported;
  }

  if (!any_supported) {
    ShowError(kMsgNoPixelFormat);
    return D3DERR_NOTAVAILABLE;
  }
  return D3D_OK;
}
