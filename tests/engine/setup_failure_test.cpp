// A failure injected at each step of the device setup in turn: the step's
// message (or none), a false result, only device and Direct3D object
// released on the spot, and a teardown that releases whatever is left.
#include <functional>

#include "engine/engine_messages.h"
#include "engine_test_support.h"
#include "plan/plan_messages.h"
#include "support/user_texts.h"

namespace engine_test {
namespace {

struct FailureCase {
  const char* step;
  std::function<void(fakes::FakeDirect3D&, EffectDiscoveryState&)> arrange;
  std::vector<std::wstring> messages;
  // Kernel handles the failed setup leaves for the teardown.
  int handles_left;
  // The effect left by a failed plan holds the device, and so the object.
  bool effect_left;
};

class SetUpFailureTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    fakes::ResetFakeD3DX();
  }
};

TEST_F(SetUpFailureTest, EachStepFailsWithItsMessageAndLeavesNothingAfterTeardown) {
  const FailureCase cases[] = {
      {"Direct3DCreate9",
       [](fakes::FakeDirect3D&, EffectDiscoveryState&) { fakes::InstallDirect3D(nullptr); },
       {user_text::kDirect3DCreateFailed},
       0,
       false},
      {"CreateDevice",
       [](fakes::FakeDirect3D&, EffectDiscoveryState&) {
         fakes::FailCall("IDirect3D9::CreateDevice", 1, D3DERR_INVALIDCALL);
       },
       {user_text::kDeviceCreateFailed},
       0,
       false},
      {"GetDeviceCaps",
       [](fakes::FakeDirect3D&, EffectDiscoveryState&) {
         fakes::FailCall("IDirect3DDevice9::GetDeviceCaps", 1, D3DERR_INVALIDCALL);
       },
       {},
       0,
       false},
      {"square textures only",
       [](fakes::FakeDirect3D& d3d, EffectDiscoveryState&) {
         d3d.device_config.caps.TextureCaps = D3DPTEXTURECAPS_SQUAREONLY;
       },
       {user_text::kSquareTexturesOnly},
       0,
       false},
      {"GetDisplayMode",
       [](fakes::FakeDirect3D&, EffectDiscoveryState&) {
         fakes::FailCall("IDirect3DDevice9::GetDisplayMode", 1, D3DERR_DEVICELOST);
       },
       {},
       0,
       false},
      {"no texture format",
       [](fakes::FakeDirect3D& d3d, EffectDiscoveryState&) { d3d.format_results.clear(); },
       {user_text::kNoPixelFormat},
       0,
       false},
      {"job event",
       [](fakes::FakeDirect3D&, EffectDiscoveryState&) {
         native_platform::FailWin32Call("CreateEventW", 1);
       },
       {user_text::kThreadStartFailed},
       1,
       false},
      {"done event",
       [](fakes::FakeDirect3D&, EffectDiscoveryState&) {
         native_platform::FailWin32Call("CreateEventW", 2);
       },
       {user_text::kThreadStartFailed},
       1,
       false},
      {"thread",
       [](fakes::FakeDirect3D&, EffectDiscoveryState&) {
         native_platform::FailWin32Call("_beginthreadex", 1);
       },
       {user_text::kThreadStartFailed},
       2,
       false},
      {"no compiled effect",
       [](fakes::FakeDirect3D&, EffectDiscoveryState& description) {
         description.compiled_effect.reset();
       },
       {user_text::kEffectCreateFailed},
       3,
       false},
      {"no D3DXCreateEffect",
       [](fakes::FakeDirect3D&, EffectDiscoveryState& description) {
         description.create_effect = nullptr;
       },
       {user_text::kEffectCreateFailed},
       3,
       false},
      {"D3DXCreateEffect",
       [](fakes::FakeDirect3D&, EffectDiscoveryState&) {
         fakes::FailCall("D3DXCreateEffect", 1, E_OUTOFMEMORY);
       },
       {user_text::kEffectCreateFailed},
       3,
       false},
      {"plan validation",
       [](fakes::FakeDirect3D&, EffectDiscoveryState& description) {
         // A pass writing a render target the effect does not declare.
         fakes::EffectDescription effect;
         effect.Texture("TxRT0");
         effect.Technique("ProcessImage0").Pass().Annotate("RenderTarget0", 2);
         ProvideCompiledEffect(description, effect);
       },
       {user_text::kMissingRenderTarget, user_text::kEffectCreateFailed},
       3,
       true},
  };

  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.step);
    native_platform::ResetPlatform();
    fakes::ResetFaults();
    auto local_d3d = fakes::MakeFake<fakes::FakeDirect3D>();
    local_d3d->SupportTextureFormat(D3DFMT_A32B32G32R32F);
    fakes::InstallDirect3D(local_d3d.get());
    EffectDiscoveryState local_description;
    ProvideCompiledEffect(local_description);
    c.arrange(*local_d3d.get(), local_description);
    int live_before = fakes::LiveObjects();
    std::unique_ptr<Engine> local(new Engine);
    local->description = &local_description;

    EXPECT_FALSE(local->SetUpDevice(&table, 0, true));
    EXPECT_EQ(c.messages, Messages());
    EXPECT_FALSE(local->device);
    EXPECT_FALSE(local->d3d);
    EXPECT_EQ(c.effect_left, static_cast<bool>(local->effect));
    // The Direct3D object is held only by the test, unless an effect keeps
    // the device, which keeps its parent.
    EXPECT_EQ(c.effect_left ? 2u : 1u, local_d3d->references());
    EXPECT_EQ(c.handles_left, native_platform::OpenKernelHandles());

    local->DestroyEngine();
    EXPECT_EQ(0, native_platform::OpenKernelHandles());
    EXPECT_EQ(1u, local_d3d->references());
    local.reset();
    EXPECT_EQ(live_before, fakes::LiveObjects());
    local_d3d.reset();
    local_description.compiled_effect.reset();
  }
}

TEST_F(SetUpFailureTest, PowerOfTwoCapsFailTheSetUpOnlyWithoutTheConditionalException) {
  struct Case {
    DWORD texture_caps;
    bool succeeds;
  } cases[] = {
      {0, true},
      {D3DPTEXTURECAPS_POW2, false},
      {D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, true},
      {D3DPTEXTURECAPS_NONPOW2CONDITIONAL, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "TextureCaps " << c.texture_caps);
    native_platform::ClearMessageBoxes();
    auto local_d3d = fakes::MakeFake<fakes::FakeDirect3D>();
    local_d3d->SupportTextureFormat(D3DFMT_A32B32G32R32F);
    local_d3d->device_config.caps.TextureCaps = c.texture_caps;
    fakes::InstallDirect3D(local_d3d.get());
    EffectDiscoveryState local_description;
    ProvideCompiledEffect(local_description);
    std::unique_ptr<Engine> local(new Engine);
    local->description = &local_description;

    EXPECT_EQ(c.succeeds, local->SetUpDevice(&table, 0, false));
    if (c.succeeds) {
      EXPECT_TRUE(Messages().empty());
    } else {
      EXPECT_EQ(std::vector<std::wstring>{user_text::kPowerOfTwoTexturesOnly}, Messages());
    }
    local->DestroyEngine();
    local.reset();
    local_d3d.reset();
    local_description.compiled_effect.reset();
  }
}

TEST_F(SetUpFailureTest, DestroyEngineOnAFreshEngineTouchesNothing) {
  subject->source_texture_slots.resize(2);
  subject->render_target_slots.resize(3);
  Destroy();
  EXPECT_TRUE(subject->source_texture_slots.empty());
  EXPECT_TRUE(subject->render_target_slots.empty());
  EXPECT_EQ(nullptr, subject->worker.job_event);
  EXPECT_TRUE(Messages().empty());
}

}  // namespace
}  // namespace engine_test
