// A Direct3D 9 device on a window of the test program (HAL, windowed; under
// Wine that is wined3d on Mesa's software rasteriser) and the few things the
// effect tests do with it: textures from float data, a full-frame quad,
// render targets read back through system memory.
#pragma once

#include <d3d9.h>
#include <d3dx9.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/com_ptr.h"

namespace fx2_wine {

class TestDevice {
 public:
  // The one device of the program, made on first use; null (with the reason
  // in *why) when there is none.
  static TestDevice* Get(std::string* why);

  IDirect3DDevice9* device() const { return device_.get(); }
  const D3DCAPS9& caps() const { return caps_; }
  bool SupportsRenderTarget(D3DFORMAT format) const;

  // A texture in the default pool holding rgba (4 floats per texel, rows top
  // down) in D3DFMT_A32B32G32R32F.
  ComPtr<IDirect3DTexture9> FloatTexture(UINT width, UINT height, const std::vector<float>& rgba);
  ComPtr<IDirect3DTexture9> RenderTarget(UINT width, UINT height, D3DFORMAT format);

  // Binds the targets (slot i = targets[i]), draws a full-frame quad with
  // every pass of the effect's current technique, and unbinds them again.
  HRESULT DrawPasses(ID3DXEffect* effect, const std::vector<IDirect3DTexture9*>& targets);

  // The target's texels through GetRenderTargetData: 16 bytes per texel for
  // A32B32G32R32F, 8 for the 16-bit formats, rows packed.
  std::vector<uint8_t> Read(IDirect3DTexture9* target);

  ComPtr<ID3DXEffect> CreateEffect(const std::vector<uint8_t>& bytes, HRESULT* result);

 private:
  HWND window_ = nullptr;
  ComPtr<IDirect3D9> d3d_;
  ComPtr<IDirect3DDevice9> device_;
  ComPtr<IDirect3DSurface9> back_buffer_;
  D3DCAPS9 caps_ = {};
};

std::vector<float> AsFloats(const std::vector<uint8_t>& bytes);
std::vector<uint16_t> AsHalves(const std::vector<uint8_t>& bytes);

}  // namespace fx2_wine
