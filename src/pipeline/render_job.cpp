// The render job: feeds the start image, draws every pass of the selected
// technique as a full-frame quad and copies the result into the staging
// texture. Runs on the render worker, or inline without one.
#include "pipeline/render_job.h"

#include "engine/engine.h"
#include "engine/quad.h"
#include "pipeline/pass_decisions.h"
#include "pipeline/pass_execution.h"
#include "pipeline/target_dump.h"

namespace {

// The image the first pass reads: the source texture that shows the current
// frame, or the current frame copied from the staging texture into slot 0.
HRESULT FeedStartImage(Engine& engine) {
  if (!engine.tx_tmp_param && engine.render_target_params.empty()) return S_OK;
  ID3DXEffect* effect = engine.effect.get();
  if (engine.current_frame_is_source) {
    // Without "TxTmp" the TxRT textures keep what they hold.
    if (!engine.tx_tmp_param) return S_OK;
    auto found = engine.frame_cache.find(engine.current_frame);
    if (found == engine.frame_cache.end()) return E_FAIL;
    return effect->SetTexture(engine.tx_tmp_param, found->second);
  }
  if (engine.render_target_slots.empty() || !engine.render_target_slots[0]) {
    return D3DERR_INVALIDCALL;
  }
  IDirect3DTexture9* first_slot = engine.render_target_slots[0].get();
  HRESULT status = engine.device->UpdateTexture(engine.staging_texture.get(), first_slot);
  if (engine.tx_tmp_param) effect->SetTexture(engine.tx_tmp_param, first_slot);
  return status;
}

IDirect3DTexture9* AlternatingSlot(Engine& engine, uint32_t pass) {
  if (engine.render_target_slots.empty()) return nullptr;
  return engine.render_target_slots[AlternatingTargetSlot(pass, engine.render_target_slots.size())]
      .get();
}

// What a pass fails at is not checked: the result of the copy at the end is
// what decides whether the frame is delivered.
void DrawPasses(Engine& engine, const TechniquePlan& plan) {
  ID3DXEffect* effect = engine.effect.get();
  effect->SetTechnique(plan.technique);
  engine.device->SetVertexDeclaration(engine.vertex_declaration.get());
  UINT passes = 0;
  effect->Begin(&passes, 0);
  // A tool's request (plugin/target_dump_abi.h); never set by the editor.
  const bool dump_targets = TargetDumpArmed();
  for (UINT i = 0; i < passes; ++i) {
    if (!plan.targets.empty()) {
      if (i < plan.targets.size()) BindPassTargets(engine, plan.targets[i]);
    } else {
      BindSingleTarget(engine, AlternatingSlot(engine, i));
    }
    effect->BeginPass(i);
    engine.device->SetStreamSource(0, engine.quad_vertices.get(), 0, kQuadStride);
    engine.device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    effect->EndPass();
    // A pass beyond its technique's target table binds nothing of its own.
    if (dump_targets && (plan.targets.empty() || i < plan.targets.size())) {
      CaptureTargets(engine, i, plan.targets.empty() ? nullptr : &plan.targets[i],
                     AlternatingTargetSlot(i, engine.render_target_slots.size()));
    }
    // The next pass reads this one's output of the alternating scheme.
    if (engine.tx_tmp_param) effect->SetTexture(engine.tx_tmp_param, AlternatingSlot(engine, i));
  }
  effect->End();
  if (dump_targets) EndTargetDump();
}

}  // namespace

HRESULT RenderJob(Engine& engine) {
  if (!engine.effect || !engine.device || engine.techniques.empty()) return E_FAIL;
  if (engine.selected_technique >= engine.techniques.size()) return E_FAIL;
  HRESULT status = FeedStartImage(engine);
  if (FAILED(status)) return status;

  // A failed scene draws nothing; a lost device shows at the next frame's
  // device check, and the read-back finds no result of this frame.
  if (FAILED(engine.device->BeginScene())) return 1;
  ComPtr<IDirect3DSurface9> kept_target;
  engine.device->GetRenderTarget(0, kept_target.put());

  DrawPasses(engine, engine.techniques[engine.selected_technique]);
  engine.device->EndScene();

  engine.result_in_staging = SUCCEEDED(CopyTargetToStaging(engine));

  if (kept_target) engine.device->SetRenderTarget(0, kept_target.get());
  for (DWORD k = 1; k < engine.caps.NumSimultaneousRTs; ++k) {
    engine.device->SetRenderTarget(k, nullptr);
  }
  return 1;
}
