// Checks the plan against the device: image format, pixel-shader version,
// render-target annotations, and completes the source offsets. Only the
// first error is shown; warnings never stop the checks.
#include <new>

#include "engine/engine.h"
#include "plan/effect_plan.h"
#include "plan/plan_decisions.h"
#include "plan/plan_messages.h"

namespace {

// The "img_format" word as written, or null when there is none to read.
const char* ImageFormatWord(ID3DXEffect* effect) {
  D3DXHANDLE annotation = effect->GetParameterByName(nullptr, "FilterVersion@img_format");
  if (annotation == nullptr) return nullptr;
  const char* word = nullptr;
  if (FAILED(effect->GetString(annotation, &word))) return nullptr;
  return word;
}

HRESULT SettleImageFormat(Engine& engine, ID3DXEffect* effect) {
  const char* word = ImageFormatWord(effect);
  FormatChoice choice = ChooseImageFormat(RequestedImageFormat(word), engine.format_supported);
  if (choice.fallback_warning) engine.ShowWarning(FormatUnsupportedMessage(word).text);
  engine.image_format = choice.format;
  if (choice.format == none) {
    engine.ShowError(kMsgNoUsableFormat);
    return E_NOTIMPL;
  }
  return S_OK;
}

void CheckPixelShaderVersion(Engine& engine, ID3DXEffect* effect) {
  D3DXHANDLE annotation = effect->GetParameterByName(nullptr, "FilterVersion@min_ps_ver");
  if (annotation == nullptr) return;
  // D3DX copies only the numbers the annotation holds, so "min_ps_ver" = {3}
  // reads as 3.0.
  INT version[2] = {0, 0};
  if (FAILED(effect->GetIntArray(annotation, version, 2))) return;
  if (engine.caps.PixelShaderVersion < PixelShaderVersionToken(version[0], version[1])) {
    engine.ShowWarning(PixelShaderVersionMessage(version[0], version[1]).text);
  }
}

HRESULT CheckRenderTargets(Engine& engine) {
  TargetTableCheck check = CheckTargetTables(engine.techniques, engine.render_target_params.size(),
                                             engine.caps.NumSimultaneousRTs);
  // The walk meets any shortage of outputs before the error that ends it.
  if (check.too_many_outputs) engine.ShowWarning(kMsgTooManyOutputs);
  switch (check.finding) {
    case TargetFinding::ok:
      return S_OK;
    case TargetFinding::missing_target:
      engine.ShowError(kMsgMissingRenderTarget);
      break;
    case TargetFinding::duplicate_target:
      engine.ShowError(kMsgDuplicateRenderTarget);
      break;
    case TargetFinding::pass_without_target:
      engine.ShowError(kMsgPassWithoutTarget);
      break;
    case TargetFinding::negative_target:
    case TargetFinding::target_gap:
    case TargetFinding::technique_without_passes:
      engine.ShowError(TargetTableMessage(check).text);
      break;
  }
  return E_INVALIDARG;
}

void CompleteSourceOffsets(Engine& engine) {
  if (!ShouldAppendCurrentFrameOffset(engine.tx_tmp_param != nullptr,
                                      engine.render_target_params.size(),
                                      engine.source_offsets.size())) {
    return;
  }
  // current_frame_is_source stays false: the frame reaches "TxTmp" through
  // render-target slot 0, not through a source texture.
  engine.source_offsets.push_back(0);
  if (WarnOnlyTxRT0(engine.render_target_slots.size(), engine.render_target_params.size())) {
    engine.ShowWarning(kMsgOnlyTxRT0);
  }
}

}  // namespace

HRESULT ValidatePlan(Engine& engine) {
  ID3DXEffect* effect = engine.effect.get();
  if (effect == nullptr) return D3DERR_INVALIDCALL;

  HRESULT result = SettleImageFormat(engine, effect);
  if (FAILED(result)) return result;
  CheckPixelShaderVersion(engine, effect);
  result = CheckRenderTargets(engine);
  if (FAILED(result)) return result;
  try {
    CompleteSourceOffsets(engine);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}
