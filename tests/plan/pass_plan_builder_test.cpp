// BuildPassPlan on effects described through the fake D3DX.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plan/effect_plan.h"
#include "plan/plan_fixture.h"

namespace {

using fakes::EffectDescription;
using plan_test::PlanFixture;

class PassPlanBuilderTest : public PlanFixture {
 protected:
  D3DXHANDLE Handle(const char* name) { return engine().effect->GetParameterByName(nullptr, name); }
};

std::vector<int32_t> Targets(const PassTargets& pass) {
  return {pass.target[0], pass.target[1], pass.target[2], pass.target[3]};
}

TEST_F(PassPlanBuilderTest, WithoutEffectFailsAndLeavesThePlan) {
  engine().track_bindings.resize(2);
  engine().source_offsets = {7};
  engine().current_frame_is_source = true;
  EXPECT_EQ(D3DERR_INVALIDCALL, BuildPassPlan(engine()));
  EXPECT_EQ(2u, engine().track_bindings.size());
  EXPECT_EQ(std::vector<int32_t>{7}, engine().source_offsets);
  EXPECT_TRUE(engine().current_frame_is_source);
}

TEST_F(PassPlanBuilderTest, TrackModesAndDivisors) {
  struct TrackCase {
    const char* usage;
    int32_t maximum;
    int32_t minimum;
    BindingMode mode;
    int32_t divisor;
  };
  const TrackCase cases[] = {
      {"normalize", 20, -50, normalize, 50},
      {"normalize", 0, 0, normalize, 1},
      {"normalize", 200, -50, normalize, 200},
      {"normalize", -7, -3, normalize, 7},
      {"Normalize", 20, -50, plain, 1},
      {"even", 100, 0, even, 1},
      {"odd", 100, 0, odd, 1},
      {"odd0", 100, 0, odd_with_zero, 1},
      {"", 100, -100, plain, 1},
  };
  EffectDescription description;
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    AddTrack(cases[i].usage, cases[i].maximum, cases[i].minimum);
    description.Int("Track" + std::to_string(i));
  }
  UseEffect(description);

  ASSERT_EQ(S_OK, BuildPassPlan(engine()));
  ASSERT_EQ(sizeof(cases) / sizeof(cases[0]), engine().track_bindings.size());
  for (size_t i = 0; i < engine().track_bindings.size(); ++i) {
    SCOPED_TRACE("Track" + std::to_string(i) + " usage \"" + cases[i].usage + "\"");
    const TrackBinding& binding = engine().track_bindings[i];
    EXPECT_EQ(Handle(("Track" + std::to_string(i)).c_str()), binding.parameter);
    EXPECT_NE(nullptr, binding.parameter);
    EXPECT_EQ(cases[i].mode, binding.mode);
    EXPECT_EQ(cases[i].divisor, binding.divisor);
  }
}

TEST_F(PassPlanBuilderTest, TrackListEndsAtTheFirstMissingParameter) {
  for (int i = 0; i < 4; ++i) AddTrack("even");
  EffectDescription description;
  description.Int("Track0");
  description.Int("Track2");  // Track1 missing hides it
  description.Int("Track3");
  UseEffect(description);

  ASSERT_EQ(S_OK, BuildPassPlan(engine()));
  ASSERT_EQ(1u, engine().track_bindings.size());
  EXPECT_EQ(Handle("Track0"), engine().track_bindings[0].parameter);
}

TEST_F(PassPlanBuilderTest, CheckListEndsAtTheFirstMissingParameter) {
  for (int i = 0; i < 3; ++i) AddCheck("odd");
  EffectDescription description;
  description.Bool("Check0");
  description.Bool("Check2");
  UseEffect(description);

  ASSERT_EQ(S_OK, BuildPassPlan(engine()));
  ASSERT_EQ(1u, engine().check_bindings.size());
  EXPECT_EQ(Handle("Check0"), engine().check_bindings[0].parameter);
}

TEST_F(PassPlanBuilderTest, ParametersBeyondTheDescriptorsGetNoBinding) {
  AddTrack("");
  AddCheck("");
  EffectDescription description;
  description.Int("Track0");
  description.Int("Track1");
  description.Bool("Check0");
  description.Bool("Check1");
  UseEffect(description);

  ASSERT_EQ(S_OK, BuildPassPlan(engine()));
  EXPECT_EQ(1u, engine().track_bindings.size());
  EXPECT_EQ(1u, engine().check_bindings.size());
}

TEST_F(PassPlanBuilderTest, CheckModes) {
  struct CheckCase {
    const char* usage;
    BindingMode mode;
  };
  const CheckCase cases[] = {
      {"normalize", normalize},
      {"even", normalize},
      {"odd", odd},
      {"odd0", odd},
      {"Normalize", plain},
      {"", plain},
      {"technique", technique},
  };
  EffectDescription description;
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    AddCheck(cases[i].usage);
    description.Bool("Check" + std::to_string(i));
  }
  UseEffect(description);

  ASSERT_EQ(S_OK, BuildPassPlan(engine()));
  ASSERT_EQ(sizeof(cases) / sizeof(cases[0]), engine().check_bindings.size());
  for (size_t i = 0; i < engine().check_bindings.size(); ++i) {
    SCOPED_TRACE("Check" + std::to_string(i) + " usage \"" + cases[i].usage + "\"");
    EXPECT_EQ(Handle(("Check" + std::to_string(i)).c_str()), engine().check_bindings[i].parameter);
    EXPECT_EQ(cases[i].mode, engine().check_bindings[i].mode);
  }
}

TEST_F(PassPlanBuilderTest, TechniqueControlPrecedence) {
  struct PrecedenceCase {
    const char* label;
    std::vector<std::string> tracks;
    std::vector<std::string> checks;
    std::vector<BindingMode> track_modes;
    std::vector<BindingMode> check_modes;
  };
  const PrecedenceCase cases[] = {
      {"a track beats a later check",
       {"", "technique"},
       {"technique"},
       {plain, technique},
       {ignored}},
      {"two tracks", {"technique", "technique"}, {}, {technique, ignored}, {}},
      {"checks only", {}, {"technique", "technique"}, {}, {technique, ignored}},
      // The track list ends at the missing parameter, so its technique
      // usage never counts and the check selects.
      {"unbound track does not count", {"", "technique"}, {"technique"}, {plain}, {technique}},
  };
  for (const PrecedenceCase& c : cases) {
    SCOPED_TRACE(c.label);
    state().track_descriptors.clear();
    state().check_descriptors.clear();
    EffectDescription description;
    for (size_t i = 0; i < c.tracks.size(); ++i) {
      AddTrack(c.tracks[i]);
      if (i < c.track_modes.size()) description.Int("Track" + std::to_string(i));
    }
    for (size_t i = 0; i < c.checks.size(); ++i) {
      AddCheck(c.checks[i]);
      description.Bool("Check" + std::to_string(i));
    }
    UseEffect(description);
    ASSERT_EQ(S_OK, BuildPassPlan(engine()));
    std::vector<BindingMode> track_modes, check_modes;
    for (const TrackBinding& b : engine().track_bindings) track_modes.push_back(b.mode);
    for (const CheckBinding& b : engine().check_bindings) check_modes.push_back(b.mode);
    EXPECT_EQ(c.track_modes, track_modes);
    EXPECT_EQ(c.check_modes, check_modes);
  }
}

TEST_F(PassPlanBuilderTest, KernelPairsStopAtTheFirstMissingHalf) {
  struct KernelCase {
    const char* label;
    std::vector<std::string> pixel;  // declared as arrays of index + 1 vectors
    std::vector<std::string> texel;
    size_t bindings;
  };
  const KernelCase cases[] = {
      {"two pairs", {"PixelKernel0", "PixelKernel1"}, {"TexelKernel0", "TexelKernel1"}, 2},
      {"second texel kernel missing",
       {"PixelKernel0", "PixelKernel1", "PixelKernel2"},
       {"TexelKernel0", "TexelKernel2"},
       1},
      {"first texel kernel missing", {"PixelKernel0", "PixelKernel1"}, {"TexelKernel1"}, 0},
      {"first pixel kernel missing", {"PixelKernel1"}, {"TexelKernel0", "TexelKernel1"}, 0},
      {"none", {}, {}, 0},
  };
  for (const KernelCase& c : cases) {
    SCOPED_TRACE(c.label);
    EffectDescription description;
    for (const std::string& name : c.pixel) {
      size_t count = static_cast<size_t>(name.back() - '0') + 2;
      description.VectorArray(name, std::vector<D3DXVECTOR4>(count, D3DXVECTOR4{1, 0, 0.5f, 0}));
    }
    for (const std::string& name : c.texel) {
      size_t count = static_cast<size_t>(name.back() - '0') + 2;
      description.VectorArray(name, std::vector<D3DXVECTOR4>(count, D3DXVECTOR4{}));
    }
    UseEffect(description);
    ASSERT_EQ(S_OK, BuildPassPlan(engine()));
    ASSERT_EQ(c.bindings, engine().kernel_bindings.size());
    for (size_t i = 0; i < c.bindings; ++i) {
      SCOPED_TRACE("kernel " + std::to_string(i));
      const KernelBinding& binding = engine().kernel_bindings[i];
      EXPECT_EQ(Handle(("PixelKernel" + std::to_string(i)).c_str()), binding.pixel_kernel);
      EXPECT_EQ(Handle(("TexelKernel" + std::to_string(i)).c_str()), binding.texel_kernel);
      EXPECT_NE(nullptr, binding.pixel_kernel);
      EXPECT_NE(nullptr, binding.texel_kernel);
      EXPECT_EQ(i + 2, binding.elements);
    }
  }
}

TEST_F(PassPlanBuilderTest, KernelElementsZeroForASingleVectorOrAnUnreadableDescription) {
  EffectDescription description;
  description.Vector("PixelKernel0", D3DXVECTOR4{1, 2, 3, 4});
  description.Vector("TexelKernel0", D3DXVECTOR4{});
  description.VectorArray("PixelKernel1", std::vector<D3DXVECTOR4>(3));
  description.VectorArray("TexelKernel1", std::vector<D3DXVECTOR4>(3));
  UseEffect(description);
  // The second description read fails; its count stays 0.
  fakes::FailCall("ID3DXEffect::GetParameterDesc", 2, E_FAIL);

  ASSERT_EQ(S_OK, BuildPassPlan(engine()));
  ASSERT_EQ(2u, engine().kernel_bindings.size());
  EXPECT_EQ(0u, engine().kernel_bindings[0].elements);
  EXPECT_EQ(0u, engine().kernel_bindings[1].elements);
  EXPECT_EQ(2, fakes::CallCount("ID3DXEffect::GetParameterDesc"));
}

TEST_F(PassPlanBuilderTest, SourceOffsetsSortedAndDistinct) {
  EffectDescription description;
  description.Texture("TxSrc0").Annotate("frame_offset", 2);
  description.Texture("TxSrc1").Annotate("frame_offset", -1);
  description.Texture("TxSrc2").Annotate("frame_offset", 0);
  description.Texture("TxSrc3").Annotate("frame_offset", 2);
  UseEffect(description);
  engine().current_frame_is_source = false;

  ASSERT_EQ(S_OK, BuildPassPlan(engine()));
  ASSERT_EQ(4u, engine().source_bindings.size());
  const int32_t offsets[] = {2, -1, 0, 2};
  for (size_t j = 0; j < 4; ++j) {
    SCOPED_TRACE("TxSrc" + std::to_string(j));
    EXPECT_EQ(Handle(("TxSrc" + std::to_string(j)).c_str()), engine().source_bindings[j].parameter);
    EXPECT_EQ(offsets[j], engine().source_bindings[j].frame_offset);
  }
  EXPECT_EQ((std::vector<int32_t>{-1, 0, 2}), engine().source_offsets);
  EXPECT_EQ(3u, engine().source_texture_slots.size());
  EXPECT_TRUE(engine().current_frame_is_source);
}

TEST_F(PassPlanBuilderTest, SourceOffsetCases) {
  struct SourceCase {
    const char* label;
    std::vector<int> offsets;  // INT32_MIN: no annotation
    std::vector<int32_t> distinct;
    bool current_frame_is_source;
  };
  constexpr int kNone = INT32_MIN;
  const SourceCase cases[] = {
      {"no annotation means offset 0", {kNone}, {0}, true},
      {"offsets without the current frame", {1, -3, 1}, {-3, 1}, false},
      {"no TxSrc at all", {}, {}, false},
      {"annotation and none", {kNone, 0, 5}, {0, 5}, true},
  };
  for (const SourceCase& c : cases) {
    SCOPED_TRACE(c.label);
    EffectDescription description;
    for (size_t j = 0; j < c.offsets.size(); ++j) {
      auto& parameter = description.Texture("TxSrc" + std::to_string(j));
      if (c.offsets[j] != kNone) parameter.Annotate("frame_offset", c.offsets[j]);
    }
    UseEffect(description);
    // Stale state from an earlier plan.
    engine().source_texture_slots.resize(7);
    engine().source_offsets = {9, 10};
    engine().current_frame_is_source = !c.current_frame_is_source;

    ASSERT_EQ(S_OK, BuildPassPlan(engine()));
    EXPECT_EQ(c.offsets.size(), engine().source_bindings.size());
    EXPECT_EQ(c.distinct, engine().source_offsets);
    EXPECT_EQ(c.distinct.size(), engine().source_texture_slots.size());
    EXPECT_EQ(c.current_frame_is_source, engine().current_frame_is_source);
  }
}

TEST_F(PassPlanBuilderTest, SourceListEndsAtAGapAndUnreadableOffsetIsZero) {
  EffectDescription description;
  description.Texture("TxSrc0").Annotate("frame_offset", -2);
  description.Texture("TxSrc1").Annotate("frame_offset", 3);
  description.Texture("TxSrc3").Annotate("frame_offset", 1);
  UseEffect(description);
  fakes::FailCall("ID3DXEffect::GetInt", 2, E_FAIL);

  ASSERT_EQ(S_OK, BuildPassPlan(engine()));
  ASSERT_EQ(2u, engine().source_bindings.size());
  EXPECT_EQ(-2, engine().source_bindings[0].frame_offset);
  EXPECT_EQ(0, engine().source_bindings[1].frame_offset);
  EXPECT_EQ((std::vector<int32_t>{-2, 0}), engine().source_offsets);
  EXPECT_TRUE(engine().current_frame_is_source);
}

TEST_F(PassPlanBuilderTest, RenderTargetParametersAndSlots) {
  struct SlotCase {
    const char* label;
    int render_targets;
    bool tx_tmp;
    size_t slots;
  };
  const SlotCase cases[] = {
      {"TxTmp and one TxRT", 1, true, 2}, {"neither", 0, false, 1},
      {"TxTmp only", 0, true, 2},         {"one TxRT", 1, false, 1},
      {"five TxRT", 5, false, 5},         {"five TxRT and TxTmp", 5, true, 5},
  };
  for (const SlotCase& c : cases) {
    SCOPED_TRACE(c.label);
    EffectDescription description;
    if (c.tx_tmp) description.Texture("TxTmp");
    for (int k = 0; k < c.render_targets; ++k) description.Texture("TxRT" + std::to_string(k));
    UseEffect(description);
    engine().render_target_slots.resize(9);

    ASSERT_EQ(S_OK, BuildPassPlan(engine()));
    ASSERT_EQ(static_cast<size_t>(c.render_targets), engine().render_target_params.size());
    for (int k = 0; k < c.render_targets; ++k) {
      EXPECT_EQ(Handle(("TxRT" + std::to_string(k)).c_str()), engine().render_target_params[k]);
    }
    EXPECT_EQ(c.slots, engine().render_target_slots.size());
  }
}

TEST_F(PassPlanBuilderTest, RenderTargetListEndsAtAGap) {
  EffectDescription description;
  description.Texture("TxRT0");
  description.Texture("TxRT2");
  UseEffect(description);
  ASSERT_EQ(S_OK, BuildPassPlan(engine()));
  EXPECT_EQ(1u, engine().render_target_params.size());
  EXPECT_EQ(1u, engine().render_target_slots.size());
}

TEST_F(PassPlanBuilderTest, TargetsOnlyOnOnePass) {
  EffectDescription description;
  auto& technique = description.Technique("ProcessImage0");
  technique.Pass();
  technique.Pass().Annotate("RenderTarget0", 0);
  technique.Pass();
  UseEffect(description);

  ASSERT_EQ(S_OK, BuildPassPlan(engine()));
  ASSERT_EQ(1u, engine().techniques.size());
  const TechniquePlan& plan = engine().techniques[0];
  EXPECT_EQ(engine().effect->GetTechniqueByName("ProcessImage0"), plan.technique);
  EXPECT_EQ(3u, plan.passes);
  ASSERT_EQ(3u, plan.targets.size());
  EXPECT_EQ((std::vector<int32_t>{-1, -1, -1, -1}), Targets(plan.targets[0]));
  EXPECT_EQ((std::vector<int32_t>{0, -1, -1, -1}), Targets(plan.targets[1]));
  EXPECT_EQ((std::vector<int32_t>{-1, -1, -1, -1}), Targets(plan.targets[2]));
}

TEST_F(PassPlanBuilderTest, TechniquesAndTheirTargets) {
  EffectDescription description;
  auto& first = description.Technique("ProcessImage0");
  first.Pass();
  first.Pass();
  auto& second = description.Technique("ProcessImage1");
  second.Pass()
      .Annotate("RenderTarget3", 0)
      .Annotate("RenderTarget0", 2)
      .Annotate("RenderTarget1", 1)
      .Annotate("RenderTarget4", 5);  // only 0 … 3 are read
  second.Pass().Annotate("RenderTarget2", 7).Annotate("RenderTarget0", 1);
  description.Technique("ProcessImage2");
  description.Technique("ProcessImage4").Pass().Annotate("RenderTarget0", 0);
  UseEffect(description);

  ASSERT_EQ(S_OK, BuildPassPlan(engine()));
  ASSERT_EQ(3u, engine().techniques.size());
  EXPECT_EQ(2u, engine().techniques[0].passes);
  EXPECT_TRUE(engine().techniques[0].targets.empty());
  EXPECT_EQ(2u, engine().techniques[1].passes);
  ASSERT_EQ(2u, engine().techniques[1].targets.size());
  EXPECT_EQ((std::vector<int32_t>{2, 1, -1, 0}), Targets(engine().techniques[1].targets[0]));
  EXPECT_EQ((std::vector<int32_t>{1, -1, 7, -1}), Targets(engine().techniques[1].targets[1]));
  EXPECT_EQ(0u, engine().techniques[2].passes);
  EXPECT_TRUE(engine().techniques[2].targets.empty());
  for (int t = 0; t < 3; ++t) {
    EXPECT_EQ(engine().effect->GetTechniqueByName(("ProcessImage" + std::to_string(t)).c_str()),
              engine().techniques[t].technique);
  }
}

TEST_F(PassPlanBuilderTest, UnreadableTargetOrDescriptionLeavesDefaults) {
  EffectDescription description;
  auto& technique = description.Technique("ProcessImage0");
  technique.Pass().Annotate("RenderTarget0", 0).Annotate("RenderTarget1", 1);
  description.Technique("ProcessImage1").Pass().Annotate("RenderTarget0", 0);
  UseEffect(description);
  fakes::FailCall("ID3DXEffect::GetInt", 2, E_FAIL);
  fakes::FailCall("ID3DXEffect::GetTechniqueDesc", 2, E_FAIL);

  ASSERT_EQ(S_OK, BuildPassPlan(engine()));
  ASSERT_EQ(2u, engine().techniques.size());
  ASSERT_EQ(1u, engine().techniques[0].targets.size());
  EXPECT_EQ((std::vector<int32_t>{0, -1, -1, -1}), Targets(engine().techniques[0].targets[0]));
  EXPECT_EQ(0u, engine().techniques[1].passes);
  EXPECT_TRUE(engine().techniques[1].targets.empty());
}

TEST_F(PassPlanBuilderTest, UnreadablePassKeepsItsEntryAndTheOthersAreRead) {
  EffectDescription description;
  auto& technique = description.Technique("ProcessImage0");
  technique.Pass().Annotate("RenderTarget0", 1);
  technique.Pass().Annotate("RenderTarget0", 0);
  UseEffect(description);
  fakes::FailCall("ID3DXEffect::GetPass", 1, E_FAIL);

  ASSERT_EQ(S_OK, BuildPassPlan(engine()));
  ASSERT_EQ(1u, engine().techniques.size());
  ASSERT_EQ(2u, engine().techniques[0].targets.size());
  EXPECT_EQ((std::vector<int32_t>{-1, -1, -1, -1}), Targets(engine().techniques[0].targets[0]));
  EXPECT_EQ((std::vector<int32_t>{0, -1, -1, -1}), Targets(engine().techniques[0].targets[1]));
}

TEST_F(PassPlanBuilderTest, ProcessImage1WithoutProcessImage0GivesNoTechnique) {
  EffectDescription description;
  description.Technique("ProcessImage1").Pass();
  description.Technique("Main").Pass();
  UseEffect(description);
  engine().techniques.resize(3);

  ASSERT_EQ(S_OK, BuildPassPlan(engine()));
  EXPECT_TRUE(engine().techniques.empty());
}

TEST_F(PassPlanBuilderTest, RebuildReplacesEveryListButKeepsTheSelection) {
  AddTrack("technique");
  AddCheck("odd");
  EffectDescription first;
  first.Int("Track0");
  first.Bool("Check0");
  first.VectorArray("PixelKernel0", std::vector<D3DXVECTOR4>(2));
  first.VectorArray("TexelKernel0", std::vector<D3DXVECTOR4>(2));
  first.Texture("TxSrc0").Annotate("frame_offset", -1);
  first.Texture("TxRT0");
  first.Texture("TxRT1");
  first.Technique("ProcessImage0").Pass();
  first.Technique("ProcessImage1").Pass();
  UseEffect(first);
  ASSERT_EQ(S_OK, BuildPassPlan(engine()));
  engine().selected_technique = 1;

  EffectDescription second;
  second.Texture("TxSrc0");
  second.Technique("ProcessImage0").Pass();
  UseEffect(second);
  ASSERT_EQ(S_OK, BuildPassPlan(engine()));
  EXPECT_TRUE(engine().track_bindings.empty());
  EXPECT_TRUE(engine().check_bindings.empty());
  EXPECT_TRUE(engine().kernel_bindings.empty());
  ASSERT_EQ(1u, engine().source_bindings.size());
  EXPECT_EQ(Handle("TxSrc0"), engine().source_bindings[0].parameter);
  EXPECT_EQ(std::vector<int32_t>{0}, engine().source_offsets);
  EXPECT_TRUE(engine().render_target_params.empty());
  EXPECT_EQ(1u, engine().render_target_slots.size());
  EXPECT_EQ(1u, engine().techniques.size());
  EXPECT_EQ(1u, engine().selected_technique);
}

TEST_F(PassPlanBuilderTest, IndexedNamesStopAt31) {
  EffectDescription description;
  for (int k = 0; k < 33; ++k) {
    description.Texture("TxRT" + std::to_string(k));
    description.Texture("TxSrc" + std::to_string(k)).Annotate("frame_offset", k);
    description.Technique("ProcessImage" + std::to_string(k)).Pass();
  }
  UseEffect(description);
  ASSERT_EQ(S_OK, BuildPassPlan(engine()));
  EXPECT_EQ(32u, engine().render_target_params.size());
  EXPECT_EQ(32u, engine().source_bindings.size());
  EXPECT_EQ(32u, engine().source_offsets.size());
  EXPECT_EQ(31, engine().source_offsets.back());
  EXPECT_EQ(32u, engine().techniques.size());
}

}  // namespace
