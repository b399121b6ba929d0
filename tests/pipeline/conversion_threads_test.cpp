// Parallel routines run the way the host's parallel-run service runs them:
// the same routine on several threads at once, sharing only row_counter, and
// in the 32-bit build through a stack aligned to 4 bytes only.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "host/host_interface.h"
#include "pipeline/conversion_test_support.h"
#include "support/host_call.h"

namespace {

using namespace conversion_test;

int stand_in_threads = 2;
int stand_in_misalignment = 0;

// Stand-in of the parallel-run service: calls the routine once on each of
// stand_in_threads threads, released together, with esp % 16 equal to
// stand_in_misalignment at the call, and returns after all ended.
BOOL __cdecl RunOnThreads(ParallelRoutine routine, void* first, void* second) {
  const int count = stand_in_threads;
  const int misalignment = stand_in_misalignment;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < count; ++i) {
    threads.emplace_back([&, i] {
      while (!go.load()) std::this_thread::yield();
      CallAsHost(routine, i, count, first, second, misalignment);
    });
  }
  go.store(true);
  for (std::thread& thread : threads) thread.join();
  return TRUE;
}

// The caller's side of the contract: reset the counter, hand the routine and
// the job to the service.
void RunParallel(ParallelRun service, ParallelConversion routine, ConversionJob* job,
                 LONG first_counter) {
  InterlockedExchange(&row_counter, first_counter);
  service(reinterpret_cast<ParallelRoutine>(routine), job, nullptr);
}

struct ThreadCase {
  int threads;
  Geometry geometry;
};

std::vector<ThreadCase> ThreadCases(uint32_t family) {
  const int32_t texel = static_cast<int32_t>(TexelBytes(family));
  return {
      {2, {1, 7, 7, 7 * texel}},  // fewer rows than threads
      {3, {2, 5, 9, 5 * texel + 3}}, {2, {64, 33, 40, 33 * texel + 8}},
      {4, {97, 17, 17, 17 * texel}}, {8, {257, 3, 5, 3 * texel + 16}},
  };
}

// Without this the tests below could pass while calling with a 16-byte
// aligned stack after all.
TEST(ThreadedStandIn, CallsWithTheStatedStackMisalignment) {
  for (int misalignment : HostStackMisalignments()) {
    SCOPED_TRACE(testing::Message() << "esp % 16 == " << misalignment);
    EXPECT_EQ(misalignment, StackMisalignmentAtCall(misalignment));
  }
}

class ThreadedConversion : public ::testing::TestWithParam<ConversionTier> {};

TEST_P(ThreadedConversion, EveryRowIsConvertedExactlyOnce) {
  const ConversionTier tier = GetParam();
  SKIP_UNLESS_MACHINE_RUNS(tier);
  for (uint32_t family : kFamilies) {
    for (Direction direction : {Direction::upload, Direction::readback}) {
      for (const ThreadCase& c : ThreadCases(family)) {
        for (int misalignment : HostStackMisalignments()) {
          SCOPED_TRACE(testing::Message()
                       << FamilyName(family) << " " << DirectionName(direction) << ", "
                       << TierName(tier) << ", " << c.threads << " threads, " << c.geometry.rows
                       << " rows of " << c.geometry.columns << ", esp % 16 == " << misalignment);
          stand_in_threads = c.threads;
          stand_in_misalignment = misalignment;
          Runner run = [&](const ConversionRoutines& routines, ConversionJob* job) {
            RunParallel(RunOnThreads,
                        direction == Direction::upload ? routines.upload_parallel
                                                       : routines.readback_parallel,
                        job, 0);
          };
          EXPECT_TRUE(ConvertsLikeTheReference(tier, family, direction, c.geometry, run));
          // Each row was claimed once, and each invocation stopped after its
          // first claim past the end.
          EXPECT_EQ(static_cast<LONG>(c.geometry.rows) + c.threads, row_counter);
        }
      }
    }
  }
}

TEST_P(ThreadedConversion, RowsClaimedBeforeTheRunAreLeftAlone) {
  const ConversionTier tier = GetParam();
  SKIP_UNLESS_MACHINE_RUNS(tier);
  stand_in_threads = 3;
  for (uint32_t family : kFamilies) {
    for (Direction direction : {Direction::upload, Direction::readback}) {
      for (uint32_t claimed : {1u, 5u, 12u}) {
        // One misalignment per case is enough here; the test above takes all.
        const std::vector<int> misalignments = HostStackMisalignments();
        stand_in_misalignment = misalignments[claimed % misalignments.size()];
        SCOPED_TRACE(testing::Message() << FamilyName(family) << " " << DirectionName(direction)
                                        << ", " << TierName(tier) << ", " << claimed
                                        << " rows claimed, esp % 16 == " << stand_in_misalignment);
        const Geometry g = {12, 9, 11, static_cast<int32_t>(9 * TexelBytes(family) + 5)};
        Runner run = [&](const ConversionRoutines& routines, ConversionJob* job) {
          RunParallel(RunOnThreads,
                      direction == Direction::upload ? routines.upload_parallel
                                                     : routines.readback_parallel,
                      job, static_cast<LONG>(claimed));
        };
        EXPECT_TRUE(ConvertsLikeTheReference(tier, family, direction, g, run, claimed));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Threaded, ThreadedConversion, ::testing::ValuesIn(kTiers), TierParamName);

}  // namespace
