// The frame-size setup: every texture of exactly the frame's size in the
// engine's format, the quad, its declaration, and each failure's message.
#include <cstring>

#include "engine/quad.h"
#include "engine_test_support.h"
#include "support/user_texts.h"

namespace engine_test {
namespace {

// Sources at offsets -1 and 0, "TxTmp", one TxRT: two source slots and two
// render-target slots.
fakes::EffectDescription SizedEffect() {
  fakes::EffectDescription effect;
  effect.Texture("TxSrc0").Annotate("frame_offset", -1);
  effect.Texture("TxSrc1");
  effect.Texture("TxTmp");
  effect.Texture("TxRT0");
  effect.Vector("SrcSize", {});
  effect.Technique("ProcessImage0").Pass();
  return effect;
}

class FrameSizeResourcesTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    fakes::ResetFakeD3DX();
    ProvideCompiledEffect(description, SizedEffect());
    d3d->device_config.caps.MaxTextureWidth = 4096;
    d3d->device_config.caps.MaxTextureHeight = 2048;
    ASSERT_TRUE(subject->SetUpDevice(&table, 0, false));
    ASSERT_EQ(2u, subject->source_texture_slots.size());
    ASSERT_EQ(2u, subject->render_target_slots.size());
  }

  fakes::FakeTexture* Fake(const ComPtr<IDirect3DTexture9>& texture) {
    return static_cast<fakes::FakeTexture*>(texture.get());
  }

  void ExpectTexture(const ComPtr<IDirect3DTexture9>& texture, UINT width, UINT height, DWORD usage,
                     D3DPOOL pool) {
    ASSERT_TRUE(texture);
    fakes::FakeTexture* fake = Fake(texture);
    EXPECT_EQ(width, fake->width());
    EXPECT_EQ(height, fake->height());
    EXPECT_EQ(1u, fake->levels());
    EXPECT_EQ(usage, fake->usage());
    EXPECT_EQ(pool, fake->pool());
    EXPECT_EQ(D3DFMT_A32B32G32R32F, fake->format());
  }
};

TEST_F(FrameSizeResourcesTest, EveryTextureHasTheFrameSizeAndItsUsageAndPool) {
  ASSERT_TRUE(subject->PrepareFrameSize(1920, 1080, 2048));
  EXPECT_EQ(1920, subject->frame_width);
  EXPECT_EQ(1080, subject->frame_height);
  EXPECT_EQ(2048, subject->row_stride);
  ExpectTexture(subject->staging_texture, 1920, 1080, 0, D3DPOOL_SYSTEMMEM);
  for (auto& slot : subject->source_texture_slots) {
    ExpectTexture(slot, 1920, 1080, D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT);
  }
  for (auto& slot : subject->render_target_slots) {
    ExpectTexture(slot, 1920, 1080, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT);
  }
  EXPECT_NE(nullptr, subject->conversion_routines);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(FrameSizeResourcesTest, TheQuadAndItsDeclarationDescribeTheFrame) {
  ASSERT_TRUE(subject->PrepareFrameSize(1920, 1080, 1920));
  auto* buffer = static_cast<fakes::FakeVertexBuffer*>(subject->quad_vertices.get());
  ASSERT_NE(nullptr, buffer);
  EXPECT_EQ(96u, buffer->length());
  EXPECT_EQ(DWORD(D3DUSAGE_WRITEONLY), buffer->usage());
  EXPECT_EQ(0u, buffer->fvf());
  EXPECT_EQ(D3DPOOL_DEFAULT, buffer->pool());
  EXPECT_EQ(std::vector<DWORD>{D3DLOCK_NOSYSLOCK}, buffer->lock_flags());
  EXPECT_FALSE(buffer->locked());
  const float expected[24] = {-0.5f, -0.5f,   1, 1, 0, 0, 1919.5f, -0.5f,   1, 1, 1, 0,
                              -0.5f, 1079.5f, 1, 1, 0, 1, 1919.5f, 1079.5f, 1, 1, 1, 1};
  EXPECT_EQ(0, std::memcmp(expected, buffer->bytes().data(), sizeof(expected)));

  auto* declaration = static_cast<fakes::FakeVertexDeclaration*>(subject->vertex_declaration.get());
  ASSERT_EQ(3u, declaration->elements().size());
  EXPECT_EQ(D3DDECLUSAGE_POSITIONT, declaration->elements()[0].Usage);
  EXPECT_EQ(D3DDECLTYPE_FLOAT4, declaration->elements()[0].Type);
  EXPECT_EQ(16, declaration->elements()[1].Offset);
  EXPECT_EQ(D3DDECLUSAGE_TEXCOORD, declaration->elements()[1].Usage);
  EXPECT_EQ(0xFF, declaration->elements()[2].Stream);
}

TEST_F(FrameSizeResourcesTest, FreshSourceSlotsHoldNoFrame) {
  ASSERT_TRUE(subject->PrepareFrameSize(64, 48, 64));
  ASSERT_EQ(2u, subject->frame_cache.size());
  for (const auto& entry : subject->frame_cache) EXPECT_TRUE(IsPlaceholderKey(entry.first));
  EXPECT_TRUE(subject->frame_cache_next.empty());
}

TEST_F(FrameSizeResourcesTest, SizesOutsideTheLimitsFailSilentlyAndChangeNothing) {
  ASSERT_TRUE(subject->PrepareFrameSize(64, 48, 64));
  IDirect3DTexture9* staging = subject->staging_texture.get();
  const struct {
    const char* label;
    int32_t width, height, stride;
  } cases[] = {{"wider than the device", 4097, 16, 4097},
               {"taller than the device", 16, 2049, 16},
               {"stride below the width", 100, 10, 99},
               {"negative", -2, 10, 10}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_FALSE(subject->PrepareFrameSize(c.width, c.height, c.stride));
    EXPECT_EQ(64, subject->frame_width);
    EXPECT_EQ(staging, subject->staging_texture.get());
  }
  EXPECT_TRUE(Messages().empty());
  // The limits themselves are fine.
  EXPECT_TRUE(subject->PrepareFrameSize(4096, 1, 4096));
  EXPECT_TRUE(subject->PrepareFrameSize(1, 2048, 1));
}

TEST_F(FrameSizeResourcesTest, AnEmptyFrameFailsAtTheStagingTextureWithItsMessage) {
  EXPECT_FALSE(subject->PrepareFrameSize(0, 48, 64));
  EXPECT_EQ(std::vector<std::wstring>{user_text::kSystemTextureFailed}, Messages());
}

TEST_F(FrameSizeResourcesTest, EachCreationFailureShowsItsMessage) {
  const struct {
    const char* method;
    int nth;
    const wchar_t* message;
  } cases[] = {
      {"IDirect3DDevice9::CreateVertexDeclaration", 1, user_text::kVertexDeclarationFailed},
      {"IDirect3DDevice9::CreateTexture", 1, user_text::kSystemTextureFailed},
      {"IDirect3DDevice9::CreateVertexBuffer", 1, user_text::kQuadFailed},
      {"IDirect3DVertexBuffer9::Lock", 1, user_text::kQuadFailed},
      {"IDirect3DDevice9::CreateTexture", 2, user_text::kTextureFailed},
      {"IDirect3DDevice9::CreateTexture", 3, user_text::kTextureFailed},
      {"IDirect3DDevice9::CreateTexture", 4, user_text::kRenderTargetFailed},
      {"IDirect3DDevice9::CreateTexture", 5, user_text::kRenderTargetFailed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.method << " #" << c.nth);
    native_platform::ClearMessageBoxes();
    fakes::FailCall(c.method, c.nth, E_OUTOFMEMORY);
    EXPECT_FALSE(subject->PrepareFrameSize(32, 16, 32));
    ASSERT_EQ(std::vector<std::wstring>{c.message}, Messages());
    EXPECT_EQ(0x1010u, native_platform::MessageBoxes()[0].style);
    EXPECT_EQ(std::wstring(user_text::kEngineCaption), native_platform::MessageBoxes()[0].caption);
    // The next try builds everything.
    native_platform::ClearMessageBoxes();
    EXPECT_TRUE(subject->PrepareFrameSize(32, 16, 32));
    EXPECT_TRUE(Messages().empty());
  }
}

TEST_F(FrameSizeResourcesTest, ReleasingUnbindsTheEffectSoAResetIsAccepted) {
  ASSERT_TRUE(subject->PrepareFrameSize(32, 16, 32));
  ID3DXEffect* effect = subject->effect.get();
  // Textures set on the effect, as uploads and the render job leave them.
  effect->SetTexture(subject->source_bindings[0].parameter, subject->source_texture_slots[0].get());
  effect->SetTexture(subject->tx_tmp_param, subject->render_target_slots[1].get());
  subject->ReleaseFrameSizeResources();
  EXPECT_EQ(0, Device()->live_default_pool_resources());
  auto* fake = static_cast<fakes::FakeEffect*>(effect);
  EXPECT_EQ(nullptr, fake->TextureValue("TxSrc0"));
  EXPECT_EQ(nullptr, fake->TextureValue("TxTmp"));
  EXPECT_EQ(nullptr, fake->TextureValue("TxRT0"));
}

TEST_F(FrameSizeResourcesTest, ProcessorWithoutMmxFailsWithItsMessage) {
  const int32_t saved = cpu_features;
  cpu_features = 0;
  EXPECT_FALSE(subject->PrepareFrameSize(32, 16, 32));
  cpu_features = saved;
  EXPECT_EQ(std::vector<std::wstring>{user_text::kMmxRequired}, Messages());
  EXPECT_FALSE(subject->staging_texture);
}

}  // namespace
}  // namespace engine_test
