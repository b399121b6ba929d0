// Which texture shows which frame, decided without a device.
#include "pipeline/frame_cache_assignment.h"

#include <gtest/gtest.h>

#include <set>

#include "pipeline/pass_decisions.h"

namespace {

IDirect3DTexture9* Texture(int n) {
  return reinterpret_cast<IDirect3DTexture9*>(static_cast<uintptr_t>(0x1000 + n * 16));
}

const std::vector<int32_t> kAround = {-1, 0, 1};

FrameCache FreshSlots(int count) {
  FrameCache cache;
  for (int i = 0; i < count; ++i) cache.emplace(PlaceholderKey(i), Texture(i));
  return cache;
}

// Every texture in exactly one map, and no key used twice.
void ExpectEachTextureOnce(const SourceSlotPlan& plan, int textures) {
  std::set<IDirect3DTexture9*> seen;
  for (const FrameCache* map : {&plan.resident, &plan.pending}) {
    for (const auto& entry : *map) EXPECT_TRUE(seen.insert(entry.second).second);
  }
  EXPECT_EQ(static_cast<size_t>(textures), seen.size());
}

TEST(FrameCacheAssignment, FreshSlotsAreAllAssigned) {
  SourceSlotPlan plan = PlanSourceSlots(FreshSlots(3), {}, kAround, 10);
  ASSERT_TRUE(plan.enough_textures);
  ASSERT_EQ(3u, plan.slots.size());
  ASSERT_EQ(3u, plan.pending.size());
  for (int32_t frame : {9, 10, 11}) EXPECT_EQ(1u, plan.pending.count(frame));
  EXPECT_TRUE(plan.resident.empty());
  ExpectEachTextureOnce(plan, 3);
  for (const auto& slot : plan.slots) EXPECT_FALSE(slot.kept);
}

TEST(FrameCacheAssignment, SteppingForwardKeepsTwoFramesAndReusesTheOldestSlot) {
  const FrameCache after_frame_10 = {{9, Texture(0)}, {10, Texture(1)}, {11, Texture(2)}};
  SourceSlotPlan plan = PlanSourceSlots(after_frame_10, {}, kAround, 11);
  ASSERT_EQ(3u, plan.slots.size());
  // Kept first, in ascending offsets: frame 10 now shows at -1, 11 at 0.
  EXPECT_EQ(-1, plan.slots[0].offset);
  EXPECT_EQ(10, plan.slots[0].frame);
  EXPECT_TRUE(plan.slots[0].kept);
  EXPECT_EQ(Texture(1), plan.slots[0].texture);
  EXPECT_EQ(0, plan.slots[1].offset);
  EXPECT_EQ(Texture(2), plan.slots[1].texture);
  // Frame 12 goes into the slot that held frame 9.
  EXPECT_EQ(12, plan.slots[2].frame);
  EXPECT_FALSE(plan.slots[2].kept);
  EXPECT_EQ(Texture(0), plan.slots[2].texture);
  EXPECT_EQ((FrameCache{{12, Texture(0)}}), plan.pending);
  EXPECT_EQ((FrameCache{{10, Texture(1)}, {11, Texture(2)}}), plan.resident);
}

TEST(FrameCacheAssignment, AJumpReassignsEverySlot) {
  const FrameCache after_frame_10 = {{9, Texture(0)}, {10, Texture(1)}, {11, Texture(2)}};
  SourceSlotPlan plan = PlanSourceSlots(after_frame_10, {}, kAround, 20);
  EXPECT_EQ(3u, plan.pending.size());
  EXPECT_TRUE(plan.resident.empty());
  ExpectEachTextureOnce(plan, 3);
}

TEST(FrameCacheAssignment, FramesAreUnclampedAndWrapInsteadOfOverflowing) {
  SourceSlotPlan start = PlanSourceSlots(FreshSlots(3), {}, kAround, 0);
  EXPECT_EQ(1u, start.pending.count(-1));
  EXPECT_EQ(INT32_MIN, SourceFrame(INT32_MAX, 1));
  EXPECT_EQ(INT32_MAX, SourceFrame(INT32_MIN, -1));
}

TEST(FrameCacheAssignment, PendingFramesOfAFailedFrameBecomeEmptyCandidates) {
  // Frame 11 failed after frame 12 was given slot 0 but before its upload.
  const FrameCache resident = {{10, Texture(1)}, {11, Texture(2)}};
  const FrameCache leftover = {{12, Texture(0)}};
  SourceSlotPlan plan = PlanSourceSlots(resident, leftover, kAround, 11);
  // Frame 12 is not taken as resident: it is missing and uploaded again.
  ASSERT_EQ(1u, plan.pending.size());
  EXPECT_EQ(Texture(0), plan.pending.at(12));
  ExpectEachTextureOnce(plan, 3);
  // A jump elsewhere leaves the empty texture filed under a placeholder.
  SourceSlotPlan back = PlanSourceSlots({{0, Texture(1)}, {1, Texture(2)}}, leftover, {0, 1}, 0);
  ASSERT_EQ(3u, back.resident.size());
  EXPECT_EQ(0u, back.resident.count(12));
  for (const auto& entry : back.resident) {
    if (entry.second == Texture(0)) {
      EXPECT_TRUE(IsPlaceholderKey(entry.first));
    }
  }
}

TEST(FrameCacheAssignment, TooFewTexturesStopsAtTheFirstFrameWithoutOne) {
  SourceSlotPlan plan = PlanSourceSlots(FreshSlots(2), {}, kAround, 5);
  EXPECT_FALSE(plan.enough_textures);
  ASSERT_EQ(2u, plan.slots.size());
  EXPECT_EQ(4, plan.slots[0].frame);
  EXPECT_EQ(5, plan.slots[1].frame);
}

TEST(FrameCacheAssignment, FreshPlaceholdersLieBelowEveryKey) {
  EXPECT_EQ(kFirstPlaceholderKey, FreshPlaceholder({}));
  EXPECT_EQ(kFirstPlaceholderKey, FreshPlaceholder({{INT32_MIN, Texture(0)}}));
  EXPECT_EQ(PlaceholderKey(3),
            FreshPlaceholder({{PlaceholderKey(2), Texture(0)}, {5, Texture(1)}}));
}

TEST(PassDecisions, PredictionFollowsTheLastTwoUploads) {
  const struct {
    int32_t last, previous, expected;
  } cases[] = {{11, 10, 12},
               {10, 11, 9},
               {12, 12, -1},
               {0, 0, -1},
               {5, 0, 10},
               {5, -1, 11},
               {INT32_MAX, INT32_MAX - 1, INT32_MIN}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.previous << " then " << c.last);
    EXPECT_EQ(c.expected, PredictNextFrame(c.last, c.previous));
  }
}

TEST(PassDecisions, AlternatingTargetsWithOneOrMoreSlots) {
  EXPECT_EQ(1u, AlternatingTargetSlot(0, 2));
  EXPECT_EQ(0u, AlternatingTargetSlot(1, 2));
  EXPECT_EQ(1u, AlternatingTargetSlot(2, 2));
  EXPECT_EQ(1u, AlternatingTargetSlot(0, 5));
  EXPECT_EQ(0u, AlternatingTargetSlot(0, 1));
  EXPECT_EQ(0u, AlternatingTargetSlot(3, 1));
}

}  // namespace
