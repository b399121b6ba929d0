// Fixture of the tests of the fake device's draws: a device with a 64x48
// render-target texture as target 0, the quad's buffer and declaration
// written out by hand, and effects made through the fake D3DXCreateEffect.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fakes/fake_d3d9.h"
#include "fakes/fake_d3dx.h"
#include "support/leak_checked_test.h"

namespace fakes_test {

constexpr UINT kWidth = 64;
constexpr UINT kHeight = 48;

// The quad for 64x48, in strip order, as D3D needs it.
inline std::vector<float> QuadFor64x48() {
  return {-0.5f, -0.5f, 1.0f, 1.0f, 0.0f, 0.0f, 63.5f, -0.5f, 1.0f, 1.0f, 1.0f, 0.0f,
          -0.5f, 47.5f, 1.0f, 1.0f, 0.0f, 1.0f, 63.5f, 47.5f, 1.0f, 1.0f, 1.0f, 1.0f};
}

class DrawTest : public support::LeakCheckedTest {
 public:
  void SetUp() override {
    support::LeakCheckedTest::SetUp();
    fakes::ResetFakeD3DX();
    device = fakes::MakeFake<fakes::FakeDevice>();
    target = RenderTarget(D3DFMT_A32B32G32R32F);
    target_surface = SurfaceOf(target.get());
    quad = VertexBuffer(QuadFor64x48());
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0},
        {0, 16, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
        D3DDECL_END()};
    ASSERT_EQ(D3D_OK, device->CreateVertexDeclaration(elements, declaration.put()));
  }

  void TearDown() override {
    effect.reset();
    declaration.reset();
    quad.reset();
    target_surface.reset();
    target.reset();
    device.reset();
    fakes::ResetFakeD3DX();
    support::LeakCheckedTest::TearDown();
  }

  ComPtr<IDirect3DTexture9> RenderTarget(D3DFORMAT format, UINT width = kWidth,
                                         UINT height = kHeight) {
    ComPtr<IDirect3DTexture9> texture;
    EXPECT_EQ(D3D_OK, device->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, format,
                                            D3DPOOL_DEFAULT, texture.put(), nullptr));
    return texture;
  }
  ComPtr<IDirect3DTexture9> Texture(D3DFORMAT format, D3DPOOL pool = D3DPOOL_DEFAULT,
                                    UINT width = kWidth, UINT height = kHeight) {
    ComPtr<IDirect3DTexture9> texture;
    DWORD usage = pool == D3DPOOL_DEFAULT ? D3DUSAGE_DYNAMIC : 0;
    EXPECT_EQ(D3D_OK,
              device->CreateTexture(width, height, 1, usage, format, pool, texture.put(), nullptr));
    return texture;
  }
  static ComPtr<IDirect3DSurface9> SurfaceOf(IDirect3DTexture9* texture) {
    ComPtr<IDirect3DSurface9> surface;
    EXPECT_EQ(D3D_OK, texture->GetSurfaceLevel(0, surface.put()));
    return surface;
  }
  ComPtr<IDirect3DVertexBuffer9> VertexBuffer(const std::vector<float>& floats) {
    ComPtr<IDirect3DVertexBuffer9> buffer;
    UINT bytes = static_cast<UINT>(floats.size() * sizeof(float));
    EXPECT_EQ(D3D_OK, device->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT,
                                                 buffer.put(), nullptr));
    void* data = nullptr;
    EXPECT_EQ(D3D_OK, buffer->Lock(0, 0, &data, 0));
    std::memcpy(data, floats.data(), bytes);
    EXPECT_EQ(D3D_OK, buffer->Unlock());
    return buffer;
  }

  // Everything a correct frame-pipeline draw binds.
  void BindQuad() {
    ASSERT_EQ(D3D_OK, device->SetRenderTarget(0, target_surface.get()));
    ASSERT_EQ(D3D_OK, device->SetVertexDeclaration(declaration.get()));
    ASSERT_EQ(D3D_OK, device->SetStreamSource(0, quad.get(), 0, 24));
  }

  fakes::FakeEffect* MakeEffect(const fakes::EffectDescription& description) {
    std::vector<uint8_t> bytes = fakes::CompiledBytes(description);
    ComPtr<ID3DXEffect> created;
    EXPECT_EQ(S_OK,
              fakes::D3DXCreateEffect(device.get(), bytes.data(), static_cast<UINT>(bytes.size()),
                                      nullptr, nullptr, 0, nullptr, created.put(), nullptr));
    effect = created;
    return static_cast<fakes::FakeEffect*>(effect.get());
  }

  // One scene with one draw inside the given pass of the effect.
  HRESULT DrawInPass(UINT pass = 0) {
    EXPECT_EQ(D3D_OK, device->BeginScene());
    UINT passes = 0;
    EXPECT_EQ(D3D_OK, effect->Begin(&passes, 0));
    EXPECT_EQ(D3D_OK, effect->BeginPass(pass));
    HRESULT result = device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    EXPECT_EQ(D3D_OK, effect->EndPass());
    EXPECT_EQ(D3D_OK, effect->End());
    EXPECT_EQ(D3D_OK, device->EndScene());
    return result;
  }

  ComPtr<fakes::FakeDevice> device;
  ComPtr<IDirect3DTexture9> target;
  ComPtr<IDirect3DSurface9> target_surface;
  ComPtr<IDirect3DVertexBuffer9> quad;
  ComPtr<IDirect3DVertexDeclaration9> declaration;
  ComPtr<ID3DXEffect> effect;
};

}  // namespace fakes_test
