// The engine's effect (re)creation: a fresh effect instance from the
// compiled effect, its named parameters, the pass plan and its validation.
#include "engine/engine.h"
#include "plan/effect_plan.h"

HRESULT CreateEffectAndPlan(Engine& engine) {
  if (!engine.device) return D3DERR_INVALIDCALL;

  engine.effect.reset();
  // The handles belonged to the instance just released.
  engine.tx_tmp_param = nullptr;
  engine.frame_param = nullptr;
  engine.frame_num_param = nullptr;
  engine.src_size_param = nullptr;
  engine.pix_scale_param = nullptr;

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

  ID3DXEffect* created = engine.effect.get();
  if (created != nullptr) {
    engine.tx_tmp_param = created->GetParameterByName(nullptr, "TxTmp");
    engine.frame_param = created->GetParameterByName(nullptr, "Frame");
    engine.frame_num_param = created->GetParameterByName(nullptr, "FrameNum");
    engine.src_size_param = created->GetParameterByName(nullptr, "SrcSize");
    engine.pix_scale_param = created->GetParameterByName(nullptr, "PixScale");
  }

  result = BuildPassPlan(engine);
  if (FAILED(result)) {
    engine.effect.reset();
    return result;
  }
  return ValidatePlan(engine);
}
