// The fake device called from two threads at once, as the frame pipeline
// does: the render job draws on its worker while the host's thread creates
// and fills the next frame's textures.
#include <gtest/gtest.h>

#include <thread>

#include "fakes/draw_test_support.h"
#include "fakes/texture_access.h"

namespace {

using fakes::Float4;

class ThreadedFakeDevice : public fakes_test::DrawTest {};

TEST_F(ThreadedFakeDevice, DrawsOnAWorkerWhileAnotherThreadCreatesAndLocksTextures) {
  ComPtr<IDirect3DTexture9> source = Texture(D3DFMT_A32B32G32R32F);
  fakes::FillTexels(source.get(), [](UINT x, UINT y) { return Float4{float(x), float(y), 0, 1}; });
  fakes::EffectDescription description;
  description.Texture("TxSrc0");
  description.Technique("ProcessImage0").Pass().Program([](fakes::PassContext& context) {
    context.Shade([&](int x, int y, Float4 out[4]) { out[0] = context.Sample("TxSrc0", x, y); });
  });
  fakes::FakeEffect* fx = MakeEffect(description);
  ASSERT_EQ(D3D_OK, fx->SetTexture("TxSrc0", source.get()));
  BindQuad();

  constexpr int kDraws = 50;
  constexpr int kUploads = 50;
  std::thread worker([&] {
    for (int i = 0; i < kDraws; ++i) DrawInPass();
  });
  for (int i = 0; i < kUploads; ++i) {
    ComPtr<IDirect3DTexture9> next = Texture(D3DFMT_A16B16G16R16F);
    D3DLOCKED_RECT rect;
    ASSERT_EQ(D3D_OK, next->LockRect(0, &rect, nullptr, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK));
    static_cast<uint8_t*>(rect.pBits)[0] = uint8_t(i);
    ASSERT_EQ(D3D_OK, next->UnlockRect(0));
    device->TestCooperativeLevel();
  }
  worker.join();

  EXPECT_TRUE(device->draw_errors().empty()) << device->draw_errors()[0];
  ASSERT_EQ(size_t(kDraws), device->draw_calls().size());
  for (const fakes::DrawPrimitiveCall& call : device->draw_calls()) EXPECT_TRUE(call.ran_program);
  EXPECT_EQ(kDraws, device->scenes());
  EXPECT_EQ(kUploads, device->cooperative_level_calls());
  // Source, target, the uploads.
  EXPECT_EQ(size_t(2 + kUploads), device->created_textures().size());
  EXPECT_EQ((Float4{63, 47, 0, 1}), fakes::ReadTexel(target.get(), 63, 47));
}

}  // namespace
