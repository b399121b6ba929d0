// The engine's effect (re)creation: a fresh effect instance from the
// compiled effect, its named parameters, the pass plan and its validation.
#include "engine/engine.h"
#include "plan/effect_plan.h"

namespace {

// Every handle of the plan points into the effect instance, so the plan goes
// with it; the slot lists are sized by the plan and go too.
void ReleaseEffectAndPlan(Engine& engine) {
  engine.effect.reset();
  engine.tx_tmp_param = nullptr;
  engine.frame_param = nullptr;
  engine.frame_num_param = nullptr;
  engine.src_size_param = nullptr;
  engine.pix_scale_param = nullptr;
  engine.track_bindings.clear();
  engine.check_bindings.clear();
  engine.kernel_bindings.clear();
  engine.source_bindings.clear();
  engine.source_offsets.clear();
  engine.render_target_params.clear();
  engine.techniques.clear();
  engine.frame_cache.clear();
  engine.frame_cache_next.clear();
  engine.source_texture_slots.clear();
  engine.render_target_slots.clear();
}

}  // namespace

HRESULT CreateEffectAndPlan(Engine& engine) {
  if (!engine.device) return D3DERR_INVALIDCALL;
  ReleaseEffectAndPlan(engine);

  EffectDiscoveryState* description = engine.description;
  if (description == nullptr || !description->compiled_effect ||
      description->create_effect == nullptr) {
    return E_NOINTERFACE;
  }

  ID3DXBuffer* compiled = description->compiled_effect.get();
  ComPtr<ID3DXEffect> effect;
  HRESULT result = description->create_effect(engine.device.get(), compiled->GetBufferPointer(),
                                              compiled->GetBufferSize(), nullptr, nullptr,
                                              kEffectCreationFlags, nullptr, effect.put(), nullptr);
  if (FAILED(result)) return result;
  engine.effect = std::move(effect);

  // A creation that succeeds without an effect fails in the plan build.
  if (ID3DXEffect* created = engine.effect.get()) {
    engine.tx_tmp_param = created->GetParameterByName(nullptr, "TxTmp");
    engine.frame_param = created->GetParameterByName(nullptr, "Frame");
    engine.frame_num_param = created->GetParameterByName(nullptr, "FrameNum");
    engine.src_size_param = created->GetParameterByName(nullptr, "SrcSize");
    engine.pix_scale_param = created->GetParameterByName(nullptr, "PixScale");
  }

  result = BuildPassPlan(engine);
  if (FAILED(result)) {
    ReleaseEffectAndPlan(engine);
    return result;
  }
  return ValidatePlan(engine);
}
