#include "plan/parameter_binding.h"

#include <memory>
#include <new>

#include "engine/engine.h"
#include "plan/binding_values.h"

namespace {

HRESULT Write(ID3DXEffect* effect, D3DXHANDLE parameter, const ControlWrite& write) {
  switch (write.kind) {
    case WriteKind::integer:
      return effect->SetInt(parameter, write.integer);
    case WriteKind::floating:
      return effect->SetFloat(parameter, write.floating);
    case WriteKind::boolean:
      return effect->SetBool(parameter, write.boolean);
    case WriteKind::nothing:
      break;
  }
  return S_OK;
}

HRESULT Apply(Engine& engine, D3DXHANDLE parameter, const ControlWrite& write, int32_t value) {
  if (write.selects_technique) {
    engine.selected_technique = TechniqueForValue(value, engine.techniques.size());
  }
  return Write(engine.effect.get(), parameter, write);
}

void ConvertKernel(ID3DXEffect* effect, const KernelBinding& binding, float rx, float ry) {
  if (binding.elements == 0) return;
  std::unique_ptr<D3DXVECTOR4[]> vectors(new (std::nothrow) D3DXVECTOR4[binding.elements]);
  if (!vectors) return;  // this TexelKernel array keeps its values
  effect->GetVectorArray(binding.pixel_kernel, vectors.get(), binding.elements);
  for (uint32_t i = 0; i < binding.elements; ++i) vectors[i] = TexelKernelEntry(vectors[i], rx, ry);
  effect->SetVectorArray(binding.texel_kernel, vectors.get(), binding.elements);
}

}  // namespace

HRESULT ApplyTrackBinding(const TrackBinding* binding, Engine& engine, int32_t value) {
  if (!binding || !engine.effect) return E_FAIL;
  if (!binding->parameter || binding->mode == ignored) return S_OK;
  return Apply(engine, binding->parameter, TrackWrite(binding->mode, binding->divisor, value),
               value);
}

HRESULT ApplyCheckBinding(const CheckBinding* binding, Engine& engine, int32_t value) {
  if (!binding || !engine.effect) return E_FAIL;
  if (!binding->parameter || binding->mode == ignored) return S_OK;
  return Apply(engine, binding->parameter, CheckWrite(binding->mode, value), value);
}

bool ApplyControlValues(Engine& engine, const int32_t* track_values, const int32_t* check_values) {
  if (!engine.effect) return false;
  // A host that has not handed over its values yet leaves the effect's own.
  if (track_values) {
    for (size_t i = 0; i < engine.track_bindings.size(); ++i) {
      ApplyTrackBinding(&engine.track_bindings[i], engine, track_values[i]);
    }
  }
  if (check_values) {
    for (size_t i = 0; i < engine.check_bindings.size(); ++i) {
      ApplyCheckBinding(&engine.check_bindings[i], engine, check_values[i]);
    }
  }
  return true;
}

HRESULT ApplySizeParameters(Engine& engine) {
  ID3DXEffect* effect = engine.effect.get();
  if (!engine.device || !effect) return D3DERR_INVALIDCALL;

  const float rx = ReciprocalSize(engine.frame_width);
  const float ry = ReciprocalSize(engine.frame_height);
  for (const KernelBinding& binding : engine.kernel_bindings)
    ConvertKernel(effect, binding, rx, ry);

  if (engine.src_size_param) {
    const D3DXVECTOR4 size = {static_cast<float>(engine.frame_width),
                              static_cast<float>(engine.frame_height), 0.0f, 0.0f};
    effect->SetVector(engine.src_size_param, &size);
  }
  if (engine.pix_scale_param) {
    const D3DXVECTOR4 scale = PixScaleFor(engine.image_format);
    effect->SetVector(engine.pix_scale_param, &scale);
  }
  // With "TxTmp" and a single TxRT parameter the slots outnumber the
  // parameters; the render job then feeds slot 0 itself.
  if (!engine.render_target_params.empty() &&
      engine.render_target_params.size() == engine.render_target_slots.size()) {
    for (size_t i = 0; i < engine.render_target_params.size(); ++i) {
      effect->SetTexture(engine.render_target_params[i], engine.render_target_slots[i].get());
    }
  }
  return S_OK;
}
