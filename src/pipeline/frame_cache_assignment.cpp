#include "pipeline/frame_cache_assignment.h"

#include <algorithm>

int32_t SourceFrame(int32_t current_frame, int32_t offset) {
  return static_cast<int32_t>(static_cast<uint32_t>(current_frame) + static_cast<uint32_t>(offset));
}

FrameKey FreshPlaceholder(const FrameCache& cache) {
  if (cache.empty()) return kFirstPlaceholderKey;
  return std::min(kFirstPlaceholderKey, cache.begin()->first - 1);
}

SourceSlotPlan PlanSourceSlots(const FrameCache& resident, const FrameCache& leftover,
                               const std::vector<int32_t>& offsets, int32_t current_frame) {
  SourceSlotPlan plan;
  FrameCache candidates = resident;
  for (const auto& entry : leftover) {
    candidates.emplace(FreshPlaceholder(candidates), entry.second);
  }

  std::vector<SourceSlotPlan::Slot> missing;
  for (int32_t offset : offsets) {
    const int32_t frame = SourceFrame(current_frame, offset);
    auto found = candidates.find(frame);
    if (found == candidates.end()) {
      missing.push_back({offset, frame, nullptr, false});
      continue;
    }
    plan.slots.push_back({offset, frame, found->second, true});
    plan.resident.emplace(frame, found->second);
    candidates.erase(found);
  }

  // The slots are interchangeable; placeholders come first in key order, so
  // empty textures are used before ones that still hold an old frame.
  auto candidate = candidates.begin();
  for (SourceSlotPlan::Slot& slot : missing) {
    if (candidate == candidates.end()) {
      plan.enough_textures = false;
      break;
    }
    slot.texture = candidate->second;
    plan.slots.push_back(slot);
    plan.pending.emplace(slot.frame, slot.texture);
    candidate = candidates.erase(candidate);
  }
  // Textures nobody needs now keep what they hold.
  for (const auto& entry : candidates) plan.resident.emplace(entry.first, entry.second);
  return plan;
}
