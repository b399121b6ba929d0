#include "pipeline/source_upload.h"

#include <utility>

#include "engine/engine.h"
#include "pipeline/frame_cache_assignment.h"
#include "pipeline/pipeline_messages.h"

namespace {

// Binds the texture to every source that shows the offset.
bool BindSources(Engine& engine, int32_t offset, IDirect3DTexture9* texture) {
  for (const SourceBinding& binding : engine.source_bindings) {
    if (binding.frame_offset != offset) continue;
    if (FAILED(engine.effect->SetTexture(binding.parameter, texture))) {
      engine.ShowError(kMsgTextureSetFailed);
      return false;
    }
  }
  return true;
}

bool CurrentFrameNeeded(const Engine& engine) {
  return engine.tx_tmp_param || !engine.render_target_params.empty();
}

}  // namespace

bool PrepareFrameSources(Engine& engine, int32_t frame_count, int32_t current_frame) {
  if (!engine.effect) return false;
  engine.total_frames = frame_count;
  engine.current_frame = current_frame;
  if (engine.frame_param) engine.effect->SetInt(engine.frame_param, engine.current_frame);
  if (engine.frame_num_param) engine.effect->SetInt(engine.frame_num_param, engine.total_frames);
  if (engine.source_texture_slots.empty()) return true;

  SourceSlotPlan plan = PlanSourceSlots(engine.frame_cache, engine.frame_cache_next,
                                        engine.source_offsets, current_frame);
  // The maps change before any binding: whatever fails below, every texture
  // stays in a map under a key that names its frame or none, and pending
  // entries left by a failure become candidates again next time.
  engine.frame_cache = std::move(plan.resident);
  engine.frame_cache_next = std::move(plan.pending);
  for (const SourceSlotPlan::Slot& slot : plan.slots) {
    if (!BindSources(engine, slot.offset, slot.texture)) return false;
  }
  if (!plan.enough_textures) {
    engine.ShowError(kMsgNoTextureLeft);
    return false;
  }
  return true;
}

bool IsFrameResident(const Engine& engine, int32_t frame) {
  return engine.frame_cache.count(frame) != 0;
}

bool UploadSourceFrame(Engine& engine, const HostPixel* image, int32_t frame, ParallelRun service) {
  engine.previous_uploaded_frame = engine.last_uploaded_frame;
  engine.last_uploaded_frame = frame;
  // Without routines the conversion refuses, and the copy fails as such.
  const RoutinePair upload = engine.conversion_routines
                                 ? UploadRoutines(*engine.conversion_routines)
                                 : RoutinePair{nullptr, nullptr};

  HRESULT status;
  if (frame == engine.current_frame && !engine.current_frame_is_source) {
    // Nothing reads the plain current frame without "TxTmp" or a TxRT.
    if (!CurrentFrameNeeded(engine)) return true;
    status = RunConversion(engine, engine.staging_texture.get(), D3DLOCK_NOSYSLOCK, upload, image,
                           service);
  } else {
    if (IsFrameResident(engine, frame)) return true;
    auto pending = engine.frame_cache_next.find(frame);
    if (pending == engine.frame_cache_next.end()) {
      engine.ShowError(kMsgNoUploadTarget);
      return false;
    }
    IDirect3DTexture9* texture = pending->second;
    if (!texture) {
      engine.ShowError(kMsgTextureNotCreated);
      return false;
    }
    status =
        RunConversion(engine, texture, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK, upload, image, service);
    // Only a texture whose pixels arrived is filed under its frame; the
    // other returns to the candidates holding nothing. The entry's node
    // moves from one map to the other: nothing is allocated, so the texture
    // can never drop out of both.
    const FrameKey key = SUCCEEDED(status) ? FrameKey{frame} : FreshPlaceholder(engine.frame_cache);
    auto node = engine.frame_cache_next.extract(pending);
    node.key() = key;
    engine.frame_cache.insert(std::move(node));
  }
  if (FAILED(status)) {
    engine.ShowError(kMsgFrameCopyFailed);
    return false;
  }
  return true;
}
