#include "e2e/fx2/wine_device.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "fx2/windows/d3dx_library.h"

namespace fx2_wine {

namespace {

struct QuadVertex {
  float x, y, z, rhw;
  float u, v;
};
static_assert(sizeof(QuadVertex) == 24, "pre-transformed position + one texture coordinate");

HWND MakeWindow() {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = DefWindowProcA;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = "fx2_wine_tests";
  RegisterClassA(&window_class);
  return CreateWindowA("fx2_wine_tests", "fx2 tests", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, nullptr,
                       nullptr, window_class.hInstance, nullptr);
}

size_t TexelBytes(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A32B32G32R32F:
      return 16;
    case D3DFMT_A16B16G16R16F:
    case D3DFMT_A16B16G16R16:
    case D3DFMT_Q16W16V16U16:
      return 8;
    default:
      return 4;
  }
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lx", static_cast<unsigned long>(hr));
  return text;
}

}  // namespace

TestDevice* TestDevice::Get(std::string* why) {
  static std::unique_ptr<TestDevice> instance;
  static std::string failure;
  static bool tried = false;
  if (!tried) {
    tried = true;
    auto made = std::make_unique<TestDevice>();
    made->window_ = MakeWindow();
    made->d3d_ = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
    if (!made->window_) {
      failure = "no window could be made";
    } else if (!made->d3d_) {
      failure = "Direct3DCreate9 failed";
    } else {
      D3DPRESENT_PARAMETERS present = {};
      present.Windowed = TRUE;
      present.SwapEffect = D3DSWAPEFFECT_DISCARD;
      present.BackBufferFormat = D3DFMT_UNKNOWN;
      present.BackBufferWidth = 64;
      present.BackBufferHeight = 64;
      present.hDeviceWindow = made->window_;
      HRESULT hr =
          made->d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, made->window_,
                                   D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE,
                                   &present, made->device_.put());
      if (FAILED(hr)) {
        failure = "CreateDevice failed (" + Hex(hr) + ")";
      } else if (!fx2::LoadD3dx() || !fx2::LoadD3dx()->create_effect) {
        failure = "no D3DX 9 library with D3DXCreateEffect";
      } else {
        made->device_->GetDeviceCaps(&made->caps_);
        made->device_->GetRenderTarget(0, made->back_buffer_.put());
        instance = std::move(made);
      }
    }
  }
  if (!instance && why) *why = failure;
  return instance.get();
}

bool TestDevice::SupportsRenderTarget(D3DFORMAT format) const {
  D3DDISPLAYMODE mode = {};
  d3d_->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
  return SUCCEEDED(d3d_->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, mode.Format,
                                           D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, format));
}

ComPtr<IDirect3DTexture9> TestDevice::FloatTexture(UINT width, UINT height,
                                                   const std::vector<float>& rgba) {
  ComPtr<IDirect3DTexture9> staging;
  ComPtr<IDirect3DTexture9> texture;
  if (rgba.size() != static_cast<size_t>(width) * height * 4 ||
      FAILED(device_->CreateTexture(width, height, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_SYSTEMMEM,
                                    staging.put(), nullptr)) ||
      FAILED(device_->CreateTexture(width, height, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_DEFAULT,
                                    texture.put(), nullptr))) {
    return nullptr;
  }
  D3DLOCKED_RECT locked;
  if (FAILED(staging->LockRect(0, &locked, nullptr, 0))) return nullptr;
  for (UINT y = 0; y < height; ++y) {
    std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, &rgba[y * width * 4],
                width * 16);
  }
  staging->UnlockRect(0);
  if (FAILED(device_->UpdateTexture(staging.get(), texture.get()))) return nullptr;
  return texture;
}

ComPtr<IDirect3DTexture9> TestDevice::RenderTarget(UINT width, UINT height, D3DFORMAT format) {
  ComPtr<IDirect3DTexture9> texture;
  if (FAILED(device_->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, format,
                                    D3DPOOL_DEFAULT, texture.put(), nullptr))) {
    return nullptr;
  }
  return texture;
}

HRESULT TestDevice::DrawPasses(ID3DXEffect* effect,
                               const std::vector<IDirect3DTexture9*>& targets) {
  if (targets.empty()) return E_INVALIDARG;
  D3DSURFACE_DESC desc;
  targets[0]->GetLevelDesc(0, &desc);
  for (size_t i = 0; i < targets.size(); ++i) {
    ComPtr<IDirect3DSurface9> surface;
    targets[i]->GetSurfaceLevel(0, surface.put());
    HRESULT hr = device_->SetRenderTarget(static_cast<DWORD>(i), surface.get());
    if (FAILED(hr)) return hr;
  }
  // Pixel centres on texel centres: the quad is shifted by half a pixel.
  float w = static_cast<float>(desc.Width) - 0.5f, h = static_cast<float>(desc.Height) - 0.5f;
  const QuadVertex quad[4] = {{-0.5f, -0.5f, 0, 1, 0, 0},
                              {w, -0.5f, 0, 1, 1, 0},
                              {-0.5f, h, 0, 1, 0, 1},
                              {w, h, 0, 1, 1, 1}};
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
  device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  HRESULT result = device_->BeginScene();
  if (SUCCEEDED(result)) {
    UINT passes = 0;
    result = effect->Begin(&passes, 0);
    for (UINT p = 0; SUCCEEDED(result) && p < passes; ++p) {
      result = effect->BeginPass(p);
      if (SUCCEEDED(result)) {
        result = device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(QuadVertex));
        effect->EndPass();
      }
    }
    if (passes) effect->End();
    device_->EndScene();
  }
  for (size_t i = targets.size(); i-- > 1;)
    device_->SetRenderTarget(static_cast<DWORD>(i), nullptr);
  device_->SetRenderTarget(0, back_buffer_.get());
  return result;
}

std::vector<uint8_t> TestDevice::Read(IDirect3DTexture9* target) {
  std::vector<uint8_t> texels;
  D3DSURFACE_DESC desc;
  ComPtr<IDirect3DSurface9> surface;
  ComPtr<IDirect3DSurface9> copy;
  if (!target || FAILED(target->GetLevelDesc(0, &desc)) ||
      FAILED(target->GetSurfaceLevel(0, surface.put())) ||
      FAILED(device_->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format,
                                                  D3DPOOL_SYSTEMMEM, copy.put(), nullptr)) ||
      FAILED(device_->GetRenderTargetData(surface.get(), copy.get()))) {
    return texels;
  }
  D3DLOCKED_RECT locked;
  if (FAILED(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY))) return texels;
  size_t row = desc.Width * TexelBytes(desc.Format);
  texels.resize(row * desc.Height);
  for (UINT y = 0; y < desc.Height; ++y) {
    std::memcpy(&texels[y * row], static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch,
                row);
  }
  copy->UnlockRect();
  return texels;
}

ComPtr<ID3DXEffect> TestDevice::CreateEffect(const std::vector<uint8_t>& bytes, HRESULT* result) {
  ComPtr<ID3DXEffect> effect;
  *result =
      fx2::LoadD3dx()->create_effect(device_.get(), bytes.data(), static_cast<UINT>(bytes.size()),
                                     nullptr, nullptr, 0, nullptr, effect.put(), nullptr);
  return effect;
}

std::vector<float> AsFloats(const std::vector<uint8_t>& bytes) {
  std::vector<float> values(bytes.size() / 4);
  if (!values.empty()) std::memcpy(values.data(), bytes.data(), values.size() * 4);
  return values;
}

std::vector<uint16_t> AsHalves(const std::vector<uint8_t>& bytes) {
  std::vector<uint16_t> values(bytes.size() / 2);
  if (!values.empty()) std::memcpy(values.data(), bytes.data(), values.size() * 2);
  return values;
}

}  // namespace fx2_wine
