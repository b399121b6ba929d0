// Which source texture shows which frame: the decision of the frame cache,
// made without a device. Textures that still hold a frame the plan needs are
// kept; the others become candidates for the missing frames.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/engine.h"

// The frame an offset shows: current frame + offset, unclamped, with the
// 32-bit wrap-around of the host's frame numbers instead of an overflow.
int32_t SourceFrame(int32_t current_frame, int32_t offset);

// A placeholder below every key of the cache.
FrameKey FreshPlaceholder(const FrameCache& cache);

struct SourceSlotPlan {
  struct Slot {
    int32_t offset;
    int32_t frame;
    IDirect3DTexture9* texture;
    bool kept;  // the texture holds the frame already
  };
  // Kept frames by ascending offset, then the assigned ones in the order the
  // missing frames were found: the order in which textures are bound.
  std::vector<Slot> slots;
  // Frames on the GPU (the kept ones) and textures no frame needs now.
  FrameCache resident;
  // Frames given a texture whose pixels must still be uploaded.
  FrameCache pending;
  // False when more frames were missing than textures were left; the slots
  // then stop at the first frame without one.
  bool enough_textures = true;
};

// resident: the cache as the previous frame left it. leftover: pending
// entries of a frame that failed before its uploads ended; their textures
// hold nothing usable and become candidates under placeholders.
SourceSlotPlan PlanSourceSlots(const FrameCache& resident, const FrameCache& leftover,
                               const std::vector<int32_t>& offsets, int32_t current_frame);
