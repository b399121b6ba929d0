// The device-loss state machine: a lost device fails frames silently until
// it can be reset; a reset releases the default-pool resources, tells the
// effect, and marks every frame-size resource for a rebuild.
#include "engine/engine_messages.h"
#include "engine_test_support.h"
#include "host/module_state.h"
#include "support/user_texts.h"

namespace engine_test {
namespace {

class DeviceLossTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    fakes::ResetFakeD3DX();
    ProvideCompiledEffect(description);
    ASSERT_TRUE(subject->SetUpDevice(&table, 0, false));
    effect = static_cast<fakes::FakeEffect*>(subject->effect.get());
    effect->ClearCallLog();
    size_changed = 0;
  }

  // Frame-size resources as the frame-size setup would leave them.
  void CreateFrameSizeResources() {
    IDirect3DDevice9* device = subject->device.get();
    ASSERT_EQ(D3D_OK, device->CreateTexture(16, 8, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_SYSTEMMEM,
                                            subject->staging_texture.put(), nullptr));
    const D3DVERTEXELEMENT9 elements[] = {D3DDECL_END()};
    ASSERT_EQ(D3D_OK, device->CreateVertexDeclaration(elements, subject->vertex_declaration.put()));
    ASSERT_EQ(D3D_OK, device->CreateVertexBuffer(96, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT,
                                                 subject->quad_vertices.put(), nullptr));
    subject->source_texture_slots.resize(2);
    subject->render_target_slots.resize(2);
    for (auto* slots : {&subject->source_texture_slots, &subject->render_target_slots}) {
      DWORD usage =
          slots == &subject->source_texture_slots ? D3DUSAGE_DYNAMIC : D3DUSAGE_RENDERTARGET;
      for (auto& slot : *slots)
        ASSERT_EQ(D3D_OK, device->CreateTexture(16, 8, 1, usage, D3DFMT_A32B32G32R32F,
                                                D3DPOOL_DEFAULT, slot.put(), nullptr));
    }
  }

  void Script(std::initializer_list<HRESULT> levels) {
    for (HRESULT level : levels) Device()->config().cooperative_levels.push_back(level);
  }

  fakes::FakeEffect* effect = nullptr;
};

TEST_F(DeviceLossTest, LostThenNotResetThenResetRebuildsOnTheSameFrame) {
  CreateFrameSizeResources();
  ASSERT_EQ(5, Device()->live_default_pool_resources());
  Script({D3D_OK, D3DERR_DEVICELOST, D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET, D3D_OK});

  // Step 1: a working device.
  EXPECT_TRUE(subject->CheckDevice());
  EXPECT_EQ(0, size_changed);
  EXPECT_TRUE(Device()->reset_calls().empty());

  // Step 2: lost; the frame fails without a message and nothing is released.
  EXPECT_FALSE(subject->CheckDevice());
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(0, size_changed);
  EXPECT_TRUE(Device()->reset_calls().empty());
  EXPECT_TRUE(subject->quad_vertices);

  // Step 3: the next frame asks again and is still lost.
  EXPECT_FALSE(subject->CheckDevice());
  EXPECT_EQ(3, Device()->cooperative_level_calls());
  EXPECT_TRUE(Messages().empty());

  // Step 4: resettable; reset with the creation parameters, default pool gone.
  EXPECT_TRUE(subject->CheckDevice());
  EXPECT_EQ(1, size_changed);
  EXPECT_TRUE(Messages().empty());
  ASSERT_EQ(1u, Device()->reset_calls().size());
  D3DPRESENT_PARAMETERS expected = DevicePresentParameters();
  EXPECT_EQ(0, memcmp(&expected, &Device()->reset_calls()[0], sizeof expected));
  EXPECT_EQ((std::vector<std::string>{"OnLostDevice", "OnResetDevice"}), effect->call_log());
  EXPECT_EQ(0, Device()->live_default_pool_resources());
  EXPECT_FALSE(subject->quad_vertices);
  ASSERT_EQ(2u, subject->source_texture_slots.size());
  ASSERT_EQ(2u, subject->render_target_slots.size());
  for (auto& slot : subject->source_texture_slots) EXPECT_FALSE(slot);
  for (auto& slot : subject->render_target_slots) EXPECT_FALSE(slot);
  // System-memory texture and declaration survive a reset.
  EXPECT_TRUE(subject->staging_texture);
  EXPECT_TRUE(subject->vertex_declaration);

  // Step 5: working again, no second reset.
  size_changed = 0;
  EXPECT_TRUE(subject->CheckDevice());
  EXPECT_EQ(0, size_changed);
  EXPECT_EQ(1u, Device()->reset_calls().size());
}

TEST_F(DeviceLossTest, FailedResetShowsItsMessageAndFailsTheFrame) {
  struct Case {
    const char* failing;
    std::vector<std::string> effect_calls;
  } cases[] = {
      {"IDirect3DDevice9::Reset", {"OnLostDevice"}},
      {"ID3DXEffect::OnResetDevice", {"OnLostDevice", "OnResetDevice failed"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing);
    native_platform::ClearMessageBoxes();
    effect->ClearCallLog();
    size_changed = 0;
    Script({D3DERR_DEVICENOTRESET});
    fakes::FailCall(c.failing, 1, D3DERR_DEVICELOST);

    EXPECT_FALSE(subject->CheckDevice());
    EXPECT_EQ(std::vector<std::wstring>{user_text::kDeviceResetFailed}, Messages());
    // The default pool is gone either way: it is rebuilt before its next use.
    EXPECT_EQ(1, size_changed);
    EXPECT_EQ(c.effect_calls, effect->call_log());
  }
}

TEST_F(DeviceLossTest, ResetIsRefusedWhileDefaultPoolResourcesLiveElsewhere) {
  // A texture held outside the engine keeps the device from resetting.
  ComPtr<IDirect3DTexture9> stray;
  ASSERT_EQ(D3D_OK,
            subject->device->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A32B32G32R32F,
                                           D3DPOOL_DEFAULT, stray.put(), nullptr));
  Script({D3DERR_DEVICENOTRESET});
  EXPECT_FALSE(subject->CheckDevice());
  EXPECT_EQ(std::vector<std::wstring>{user_text::kDeviceResetFailed}, Messages());
  stray.reset();
}

TEST_F(DeviceLossTest, OtherCooperativeLevelResultsShowTheirMessage) {
  const HRESULT results[] = {D3DERR_DRIVERINTERNALERROR, E_FAIL, D3DERR_INVALIDCALL,
                             D3DERR_OUTOFVIDEOMEMORY, S_FALSE};
  for (HRESULT result : results) {
    SCOPED_TRACE(testing::Message() << std::hex << result);
    native_platform::ClearMessageBoxes();
    Script({result});
    EXPECT_FALSE(subject->CheckDevice());
    EXPECT_EQ(std::vector<std::wstring>{user_text::kCooperativeLevelError}, Messages());
    EXPECT_TRUE(Device()->reset_calls().empty());
    EXPECT_EQ(0, size_changed);
  }
}

TEST_F(DeviceLossTest, NoDeviceFailsSilently) {
  Destroy();
  EXPECT_FALSE(subject->CheckDevice());
  EXPECT_TRUE(Messages().empty());
}

TEST_F(DeviceLossTest, ResetNeedsDeviceAndEffect) {
  subject->effect.reset();
  EXPECT_EQ(D3DERR_INVALIDCALL, subject->ResetDevice());
  EXPECT_TRUE(Device()->reset_calls().empty());
  // Without an effect a resettable device cannot be recovered.
  Script({D3DERR_DEVICENOTRESET});
  EXPECT_FALSE(subject->CheckDevice());
  EXPECT_EQ(std::vector<std::wstring>{user_text::kDeviceResetFailed}, Messages());
}

TEST_F(DeviceLossTest, ReleaseFrameSizeResourcesReleasesEverythingAndKeepsSlotCounts) {
  CreateFrameSizeResources();
  int live_before = fakes::LiveObjects();
  EXPECT_TRUE(subject->ReleaseFrameSizeResources());
  EXPECT_FALSE(subject->staging_texture);
  EXPECT_FALSE(subject->vertex_declaration);
  EXPECT_FALSE(subject->quad_vertices);
  EXPECT_EQ(2u, subject->source_texture_slots.size());
  EXPECT_EQ(2u, subject->render_target_slots.size());
  // Five textures, each alive with its level-0 surface; the quad and the
  // declaration.
  EXPECT_EQ(live_before - 2 * (4 + 1) - 2, fakes::LiveObjects());
  // A second release finds nothing and changes nothing.
  EXPECT_TRUE(subject->ReleaseFrameSizeResources());
  EXPECT_EQ(0, subject->ReleaseDefaultPoolResources());
}

TEST_F(DeviceLossTest, DestroyEngineReleasesEverythingInOrder) {
  CreateFrameSizeResources();
  Destroy();
  EXPECT_FALSE(subject->device);
  EXPECT_FALSE(subject->d3d);
  EXPECT_FALSE(subject->effect);
  EXPECT_FALSE(subject->staging_texture);
  EXPECT_TRUE(subject->source_texture_slots.empty());
  EXPECT_TRUE(subject->render_target_slots.empty());
  EXPECT_EQ(1u, d3d->references());
}

}  // namespace
}  // namespace engine_test
