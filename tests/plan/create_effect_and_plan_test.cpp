// CreateEffectAndPlan: the effect instance from the compiled effect, the
// named parameters, and the results of plan and validation.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "plan/effect_plan.h"
#include "plan/plan_fixture.h"

namespace {

using fakes::EffectDescription;
using plan_test::PlanFixture;

class CreateEffectAndPlanTest : public PlanFixture {
 protected:
  void SetUp() override {
    PlanFixture::SetUp();
    SetCapableDevice();
  }
};

// A D3DXCreateEffect that reports success but hands back no effect, the one
// way the plan build after it can fail.
HRESULT WINAPI CreateNoEffect(IDirect3DDevice9*, LPCVOID, UINT, const D3DXMACRO*, ID3DXInclude*,
                              DWORD, ID3DXEffectPool*, ID3DXEffect** effect, ID3DXBuffer**) {
  *effect = nullptr;
  return S_OK;
}

// An effect whose technique lookup runs out of memory: stands for an
// allocation of the plan's lists failing half-way through the build.
class ExhaustingEffect : public fakes::FakeEffect {
 public:
  using FakeEffect::FakeEffect;
  D3DXHANDLE STDMETHODCALLTYPE GetTechniqueByName(const char*) override { throw std::bad_alloc(); }
};

const EffectDescription* exhausting_description = nullptr;

HRESULT WINAPI CreateExhaustingEffect(IDirect3DDevice9* device, LPCVOID, UINT, const D3DXMACRO*,
                                      ID3DXInclude*, DWORD, ID3DXEffectPool*, ID3DXEffect** effect,
                                      ID3DXBuffer**) {
  *effect = new ExhaustingEffect(device, exhausting_description->model());
  return S_OK;
}

TEST_F(CreateEffectAndPlanTest, CreatesTheEffectAndBuildsAndValidatesThePlan) {
  EffectDescription description;
  description.Texture("TxTmp");
  description.Int("Frame");
  description.Int("FrameNum");
  description.Vector("SrcSize", D3DXVECTOR4{});
  description.Vector("PixScale", D3DXVECTOR4{});
  description.Texture("TxRT0");
  description.Technique("ProcessImage0").Pass();
  Discover(description);

  ASSERT_EQ(S_OK, CreateEffectAndPlan(engine()));
  ASSERT_EQ(1u, fakes::CreateEffectCalls().size());
  const fakes::CreateEffectCall& call = fakes::CreateEffectCalls()[0];
  EXPECT_EQ(device(), call.device);
  EXPECT_EQ(fakes::CompiledBytes(description).size(), call.size);
  EXPECT_EQ(0x20800u, call.flags);
  EXPECT_EQ(nullptr, call.defines);
  EXPECT_EQ(nullptr, call.include);
  EXPECT_EQ(nullptr, call.pool);
  EXPECT_FALSE(call.error_buffer_requested);
  EXPECT_EQ(S_OK, call.result);

  ASSERT_TRUE(engine().effect);
  EXPECT_EQ(fakes::LastCreatedEffect(), engine().effect.get());
  ID3DXEffect* effect = engine().effect.get();
  struct NamedHandle {
    const char* name;
    D3DXHANDLE handle;
  };
  const NamedHandle handles[] = {
      {"TxTmp", engine().tx_tmp_param},       {"Frame", engine().frame_param},
      {"FrameNum", engine().frame_num_param}, {"SrcSize", engine().src_size_param},
      {"PixScale", engine().pix_scale_param},
  };
  for (const NamedHandle& h : handles) {
    SCOPED_TRACE(h.name);
    EXPECT_NE(nullptr, h.handle);
    EXPECT_EQ(effect->GetParameterByName(nullptr, h.name), h.handle);
  }
  // The plan used the "TxTmp" handle; the validation appended offset 0.
  EXPECT_EQ(2u, engine().render_target_slots.size());
  EXPECT_EQ(1u, engine().techniques.size());
  EXPECT_EQ(std::vector<int32_t>{0}, engine().source_offsets);
  EXPECT_EQ(F32, engine().image_format);
  EXPECT_TRUE(native_platform::MessageBoxes().empty());
}

TEST_F(CreateEffectAndPlanTest, AbsentNamedParametersStayNull) {
  EffectDescription description;
  description.Technique("ProcessImage0").Pass();
  Discover(description);
  engine().frame_param = "stale";
  engine().pix_scale_param = "stale";

  ASSERT_EQ(S_OK, CreateEffectAndPlan(engine()));
  EXPECT_EQ(nullptr, engine().tx_tmp_param);
  EXPECT_EQ(nullptr, engine().frame_param);
  EXPECT_EQ(nullptr, engine().frame_num_param);
  EXPECT_EQ(nullptr, engine().src_size_param);
  EXPECT_EQ(nullptr, engine().pix_scale_param);
}

TEST_F(CreateEffectAndPlanTest, MissingPrerequisites) {
  struct MissingCase {
    const char* label;
    bool device;
    bool buffer;
    bool entry;
    HRESULT result;
  };
  const MissingCase cases[] = {
      {"no device", false, true, true, D3DERR_INVALIDCALL},
      {"no compiled effect", true, false, true, E_NOINTERFACE},
      {"no D3DXCreateEffect", true, true, false, E_NOINTERFACE},
  };
  for (const MissingCase& c : cases) {
    SCOPED_TRACE(c.label);
    EffectDescription description;
    description.Technique("ProcessImage0").Pass();
    Discover(description);
    if (!c.buffer) state().compiled_effect.reset();
    if (!c.entry) state().create_effect = nullptr;
    ComPtr<IDirect3DDevice9> kept = engine().device;
    if (!c.device) engine().device.reset();

    EXPECT_EQ(c.result, CreateEffectAndPlan(engine()));
    EXPECT_FALSE(engine().effect);
    EXPECT_TRUE(fakes::CreateEffectCalls().empty());
    EXPECT_TRUE(native_platform::MessageBoxes().empty());
    engine().device = kept;
  }
}

TEST_F(CreateEffectAndPlanTest, WithoutDescriptionNoInterface) {
  engine().description = nullptr;
  EXPECT_EQ(E_NOINTERFACE, CreateEffectAndPlan(engine()));
  EXPECT_FALSE(engine().effect);
}

TEST_F(CreateEffectAndPlanTest, ReleasesThePreviousEffectFirst) {
  EffectDescription old_description;
  old_description.Texture("TxTmp");
  fakes::FakeEffect* old_effect = UseEffect(old_description);
  ASSERT_EQ(1u, fakes::LiveEffects().size());
  ASSERT_EQ(old_effect, fakes::LiveEffects()[0]);

  EffectDescription description;
  description.Technique("ProcessImage0").Pass();
  Discover(description);
  fakes::FailCall("D3DXCreateEffect", 1, E_OUTOFMEMORY);

  EXPECT_EQ(E_OUTOFMEMORY, CreateEffectAndPlan(engine()));
  EXPECT_FALSE(engine().effect);
  EXPECT_TRUE(fakes::LiveEffects().empty());
  EXPECT_EQ(nullptr, engine().tx_tmp_param);
}

TEST_F(CreateEffectAndPlanTest, CreationFailureIsReturnedAsIs) {
  std::vector<uint8_t> garbage = {1, 2, 3, 4};
  state().compiled_effect = ComPtr<ID3DXBuffer>::Adopt(new fakes::FakeBuffer(garbage));
  state().create_effect = &fakes::D3DXCreateEffect;
  EXPECT_EQ(fakes::kD3DXErrInvalidData, CreateEffectAndPlan(engine()));
  EXPECT_FALSE(engine().effect);
  EXPECT_TRUE(native_platform::MessageBoxes().empty());
}

TEST_F(CreateEffectAndPlanTest, FailedBuildLeavesNoEffect) {
  EffectDescription description;
  Discover(description);
  state().create_effect = &CreateNoEffect;
  engine().track_bindings.resize(1);

  EXPECT_EQ(D3DERR_INVALIDCALL, CreateEffectAndPlan(engine()));
  EXPECT_FALSE(engine().effect);
  // Bindings of an earlier effect went with it, and the validation never ran.
  EXPECT_TRUE(engine().track_bindings.empty());
  EXPECT_EQ(none, engine().image_format);
}

TEST_F(CreateEffectAndPlanTest, BuildRunningOutOfMemoryReleasesTheEffect) {
  AddTrack("", 0, 1);
  EffectDescription description;
  description.Int("Track0");
  description.Texture("TxSrc0");
  description.Texture("TxRT0");
  description.Texture("TxTmp");
  description.Int("Frame");
  description.Int("FrameNum");
  description.Vector("SrcSize", {});
  description.Vector("PixScale", {});
  description.Technique("ProcessImage0").Pass();
  Discover(description);
  exhausting_description = &description;
  state().create_effect = &CreateExhaustingEffect;

  EXPECT_EQ(E_OUTOFMEMORY, CreateEffectAndPlan(engine()));
  EXPECT_FALSE(engine().effect);
  // Nothing may keep pointing into the released effect.
  EXPECT_EQ(nullptr, engine().tx_tmp_param);
  EXPECT_EQ(nullptr, engine().frame_param);
  EXPECT_EQ(nullptr, engine().frame_num_param);
  EXPECT_EQ(nullptr, engine().src_size_param);
  EXPECT_EQ(nullptr, engine().pix_scale_param);
  EXPECT_TRUE(engine().track_bindings.empty());
  EXPECT_TRUE(engine().source_bindings.empty());
  EXPECT_TRUE(engine().source_offsets.empty());
  EXPECT_TRUE(engine().render_target_params.empty());
  EXPECT_TRUE(engine().techniques.empty());
  EXPECT_TRUE(fakes::LiveEffects().empty());
  EXPECT_EQ(none, engine().image_format);
  EXPECT_TRUE(native_platform::MessageBoxes().empty());
  exhausting_description = nullptr;
}

TEST_F(CreateEffectAndPlanTest, ValidationFailureKeepsTheEffect) {
  engine().format_supported[F32] = false;
  EffectDescription description;
  description.Technique("ProcessImage0").Pass();
  Discover(description);

  EXPECT_EQ(E_NOTIMPL, CreateEffectAndPlan(engine()));
  // The engine's teardown releases it; this step does not.
  EXPECT_TRUE(engine().effect);
  EXPECT_EQ(1u, engine().techniques.size());
  ASSERT_EQ(1u, native_platform::MessageBoxes().size());
  EXPECT_EQ(0x1010u, native_platform::MessageBoxes()[0].style);
}

TEST_F(CreateEffectAndPlanTest, ControlsFromTheDiscoveryStateAreBound) {
  AddTrack("normalize", 255, -255);
  AddCheck("technique");
  EffectDescription description;
  description.Float("Track0");
  description.Bool("Check0");
  description.Technique("ProcessImage0").Pass();
  description.Technique("ProcessImage1").Pass();
  Discover(description);

  ASSERT_EQ(S_OK, CreateEffectAndPlan(engine()));
  ASSERT_EQ(1u, engine().track_bindings.size());
  EXPECT_EQ(normalize, engine().track_bindings[0].mode);
  EXPECT_EQ(255, engine().track_bindings[0].divisor);
  ASSERT_EQ(1u, engine().check_bindings.size());
  EXPECT_EQ(technique, engine().check_bindings[0].mode);
  EXPECT_EQ(2u, engine().techniques.size());
}

}  // namespace
