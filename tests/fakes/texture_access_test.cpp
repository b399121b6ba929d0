// Fake textures' memory: padded rows, and the helpers tests use to read and
// write texels.
#include "fakes/texture_access.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "fakes/fake_d3d9.h"
#include "support/leak_checked_test.h"

namespace {

using fakes::Float4;

class TextureAccessTest : public support::LeakCheckedTest {
 protected:
  ComPtr<IDirect3DTexture9> Make(D3DFORMAT format, DWORD usage, D3DPOOL pool, UINT width = 5,
                                 UINT height = 3) {
    ComPtr<IDirect3DTexture9> texture;
    EXPECT_EQ(D3D_OK,
              device->CreateTexture(width, height, 1, usage, format, pool, texture.put(), nullptr));
    return texture;
  }
  ComPtr<fakes::FakeDevice> device = fakes::MakeFake<fakes::FakeDevice>();
};

TEST_F(TextureAccessTest, RowsArePaddedByDefaultInEveryFormat) {
  struct Case {
    D3DFORMAT format;
    INT pitch;  // for 5 texels
  } cases[] = {{D3DFMT_A32B32G32R32F, 5 * 16 + 24},
               {D3DFMT_A16B16G16R16F, 5 * 8 + 24},
               {D3DFMT_A16B16G16R16, 5 * 8 + 24},
               {D3DFMT_Q16W16V16U16, 5 * 8 + 24},
               {D3DFMT_A2B10G10R10, 5 * 4 + 24}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    ComPtr<IDirect3DTexture9> texture = Make(c.format, 0, D3DPOOL_SYSTEMMEM);
    D3DLOCKED_RECT rect{};
    ASSERT_EQ(D3D_OK, texture->LockRect(0, &rect, nullptr, D3DLOCK_NOSYSLOCK));
    EXPECT_EQ(c.pitch, rect.Pitch);
    auto* fake = fakes::AsFakeTexture(texture.get());
    EXPECT_TRUE(fake->row_padding_intact());
    // The first byte after row 1's texels is padding.
    static_cast<uint8_t*>(rect.pBits)[rect.Pitch + c.pitch - 24] = 0;
    EXPECT_FALSE(fake->row_padding_intact());
    ASSERT_EQ(D3D_OK, texture->UnlockRect(0));
    EXPECT_EQ(std::vector<DWORD>{D3DLOCK_NOSYSLOCK}, fake->lock_flags());
  }
}

TEST_F(TextureAccessTest, HelpersAddressTexelsByPitchThroughTextureOrSurface) {
  ComPtr<IDirect3DTexture9> texture =
      Make(D3DFMT_A16B16G16R16, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT);
  ComPtr<IDirect3DSurface9> surface;
  ASSERT_EQ(D3D_OK, texture->GetSurfaceLevel(0, surface.put()));
  auto* fake = fakes::AsFakeTexture(surface.get());
  ASSERT_EQ(fakes::AsFakeTexture(texture.get()), fake);

  fakes::WriteTexelBytes(surface.get(), 4, 2, {1, 2, 3, 4, 5, 6, 7, 8});
  const uint8_t* at = fake->bits().data() + 2 * fake->pitch() + 4 * 8;
  EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}), std::vector<uint8_t>(at, at + 8));
  EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}),
            fakes::ReadTexelBytes(texture.get(), 4, 2));

  fakes::WriteTexel(texture.get(), 1, 1, {1.0f, 0.0f, 1.0f, 0.0f});
  EXPECT_EQ((std::vector<uint8_t>{0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0}),
            fakes::ReadTexelBytes(surface.get(), 1, 1));
  std::vector<Float4> texels = fakes::ReadTexels(surface.get());
  ASSERT_EQ(15u, texels.size());
  EXPECT_EQ((Float4{1, 0, 1, 0}), texels[1 * 5 + 1]);
  EXPECT_EQ((Float4{}), texels[0]);
  EXPECT_TRUE(fake->row_padding_intact());
}

TEST_F(TextureAccessTest, HelpersRefuseWhatTheyCannotServe) {
  ComPtr<IDirect3DTexture9> texture = Make(D3DFMT_A32B32G32R32F, 0, D3DPOOL_SYSTEMMEM);
  EXPECT_THROW(fakes::ReadTexel(texture.get(), 5, 0), std::invalid_argument);
  EXPECT_THROW(fakes::ReadTexel(texture.get(), 0, 3), std::invalid_argument);
  EXPECT_THROW(fakes::WriteTexelBytes(texture.get(), 0, 0, {1, 2, 3}), std::invalid_argument);
  EXPECT_THROW(fakes::ReadTexel(device.get(), 0, 0), std::invalid_argument);
  // The back buffer is X8R8G8B8, which has bytes but no codec.
  EXPECT_THROW(fakes::ReadTexel(device->back_buffer(), 0, 0), std::invalid_argument);
  EXPECT_EQ(std::vector<uint8_t>(4, 0), fakes::ReadTexelBytes(device->back_buffer(), 0, 0));
}

TEST_F(TextureAccessTest, UpdateTextureCopiesTexelsAndLeavesThePaddingAlone) {
  ComPtr<IDirect3DTexture9> staging = Make(D3DFMT_A32B32G32R32F, 0, D3DPOOL_SYSTEMMEM);
  ComPtr<IDirect3DTexture9> target =
      Make(D3DFMT_A32B32G32R32F, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT);
  fakes::FillTexels(staging.get(), [](UINT x, UINT y) { return Float4{float(x), float(y), 1, 2}; });
  ASSERT_EQ(D3D_OK, device->UpdateTexture(staging.get(), target.get()));
  EXPECT_EQ(fakes::ReadTexels(staging.get()), fakes::ReadTexels(target.get()));
  EXPECT_EQ((Float4{4, 2, 1, 2}), fakes::ReadTexel(target.get(), 4, 2));
  EXPECT_TRUE(fakes::AsFakeTexture(target.get())->row_padding_intact());
}

}  // namespace
