// The render worker: one-job hand-off, priority one level above the
// poster, a worker that ended by itself, stops and creation failures.
// Run under the thread sanitizer (suite names start with "Threaded").
#include "engine/render_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "engine_test_support.h"
#include "support/leak_checked_test.h"

namespace {

// What the test job saw; written by the worker, read by the test only after
// WaitForJob, so the events alone must order the accesses.
struct JobRecord {
  int runs = 0;
  std::thread::id thread;
  void* argument = nullptr;
  bool throw_next = false;
};

void RecordingJob(void* argument) {
  auto* record = static_cast<JobRecord*>(argument);
  ++record->runs;
  record->thread = std::this_thread::get_id();
  record->argument = argument;
  if (record->throw_next) {
    record->throw_next = false;
    throw std::runtime_error("job failed");
  }
}

class ThreadedRenderWorkerTest : public support::LeakCheckedTest {
 protected:
  void SetUp() override {
    support::LeakCheckedTest::SetUp();
    InitializeCriticalSection(&worker.lock);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
  }
  void TearDown() override {
    if (!stopped) StopWorker(worker);
    // The poster's priority is per-thread state of the test thread.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    support::LeakCheckedTest::TearDown();
  }
  void Stop() {
    StopWorker(worker);
    stopped = true;
  }
  void WaitUntilEndedByItself() {
    while (!worker.stop_requested) std::this_thread::yield();
  }

  RenderWorker worker;
  JobRecord record;
  bool stopped = false;
};

TEST_F(ThreadedRenderWorkerTest, PostedJobRunsOnceOnTheWorkerAndWaitEndsWithIt) {
  ASSERT_EQ(0, StartWorker(worker, RecordingJob, &record));
  ASSERT_NE(nullptr, worker.thread);
  EXPECT_EQ(3, native_platform::OpenKernelHandles());

  EXPECT_EQ(0, PostJob(worker));
  WaitForJob(worker);
  EXPECT_EQ(1, record.runs);
  EXPECT_NE(std::this_thread::get_id(), record.thread);
  EXPECT_EQ(&record, record.argument);

  EXPECT_EQ(0, PostJob(worker));
  WaitForJob(worker);
  EXPECT_EQ(2, record.runs);

  Stop();
  EXPECT_EQ(2, record.runs);  // the stop request runs no job
  EXPECT_EQ(nullptr, worker.thread);
  EXPECT_EQ(nullptr, worker.job_event);
  EXPECT_EQ(nullptr, worker.done_event);
  EXPECT_EQ(0, native_platform::OpenKernelHandles());
}

TEST_F(ThreadedRenderWorkerTest, AJobThatThrowsDoesNotEndTheWorker) {
  ASSERT_EQ(0, StartWorker(worker, RecordingJob, &record));
  record.throw_next = true;
  EXPECT_EQ(0, PostJob(worker));
  WaitForJob(worker);
  EXPECT_EQ(1, record.runs);
  EXPECT_FALSE(worker.stop_requested);
  EXPECT_EQ(0, PostJob(worker));
  WaitForJob(worker);
  EXPECT_EQ(2, record.runs);
}

TEST_F(ThreadedRenderWorkerTest, StartingTwiceChangesNothing) {
  ASSERT_EQ(0, StartWorker(worker, RecordingJob, &record));
  HANDLE thread = worker.thread;
  HANDLE job_event = worker.job_event;
  JobRecord other;
  EXPECT_EQ(0, StartWorker(worker, RecordingJob, &other));
  EXPECT_EQ(thread, worker.thread);
  EXPECT_EQ(job_event, worker.job_event);
  EXPECT_EQ(&record, worker.job_argument);
  EXPECT_EQ(3, native_platform::OpenKernelHandles());
  EXPECT_EQ(0, PostJob(worker));
  WaitForJob(worker);
  EXPECT_EQ(1, record.runs);
  EXPECT_EQ(0, other.runs);
}

TEST_F(ThreadedRenderWorkerTest, EngineStartUsesTheRenderJobEntry) {
  ASSERT_EQ(0, StartWorker(worker, &record));
  EXPECT_EQ(&RenderJobEntry, worker.job_function);
  EXPECT_EQ(&record, worker.job_argument);
  EXPECT_FALSE(worker.stop_requested);
}

TEST_F(ThreadedRenderWorkerTest, WorkerRunsOneLevelAboveThePosterAndFollowsItsChanges) {
  ASSERT_EQ(0, StartWorker(worker, RecordingJob, &record));
  EXPECT_EQ(THREAD_PRIORITY_ABOVE_NORMAL, native_platform::RecordedThreadPriority(worker.thread));
  EXPECT_EQ(1, worker.applied_priority);

  // Same poster priority: nothing is requested again.
  int calls = native_platform::SetThreadPriorityCalls();
  EXPECT_EQ(0, PostJob(worker));
  WaitForJob(worker);
  EXPECT_EQ(calls, native_platform::SetThreadPriorityCalls());

  // The poster drops one level: the next post re-applies.
  ASSERT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL));
  calls = native_platform::SetThreadPriorityCalls();
  EXPECT_EQ(0, PostJob(worker));
  WaitForJob(worker);
  EXPECT_EQ(calls + 1, native_platform::SetThreadPriorityCalls());
  EXPECT_EQ(THREAD_PRIORITY_NORMAL, native_platform::RecordedThreadPriority(worker.thread));
  EXPECT_EQ(0, worker.applied_priority);
}

TEST_F(ThreadedRenderWorkerTest, RefusedPriorityIsNotRequestedAgainUntilThePosterChanges) {
  ASSERT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST));
  ASSERT_EQ(0, StartWorker(worker, RecordingJob, &record));
  // HIGHEST + 1 is no valid priority: refused, the worker keeps its own.
  EXPECT_EQ(3, worker.applied_priority);
  EXPECT_EQ(THREAD_PRIORITY_NORMAL, native_platform::RecordedThreadPriority(worker.thread));

  int calls = native_platform::SetThreadPriorityCalls();
  for (int post = 0; post < 2; ++post) {
    SCOPED_TRACE(post);
    EXPECT_EQ(0, PostJob(worker));
    WaitForJob(worker);
    EXPECT_EQ(calls, native_platform::SetThreadPriorityCalls());
  }

  ASSERT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL));
  calls = native_platform::SetThreadPriorityCalls();
  EXPECT_EQ(0, PostJob(worker));
  WaitForJob(worker);
  EXPECT_EQ(calls + 1, native_platform::SetThreadPriorityCalls());
  EXPECT_EQ(THREAD_PRIORITY_HIGHEST, native_platform::RecordedThreadPriority(worker.thread));
  EXPECT_EQ(3, record.runs);
}

TEST_F(ThreadedRenderWorkerTest, PriorityRefusedAtAPostIsNotRequestedAtTheNextPost) {
  ASSERT_EQ(0, StartWorker(worker, RecordingJob, &record));
  EXPECT_EQ(THREAD_PRIORITY_ABOVE_NORMAL, native_platform::RecordedThreadPriority(worker.thread));
  ASSERT_TRUE(SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST));

  // Step 1: HIGHEST + 1 is requested once and refused.
  int calls = native_platform::SetThreadPriorityCalls();
  EXPECT_EQ(0, PostJob(worker));
  WaitForJob(worker);
  EXPECT_EQ(calls + 1, native_platform::SetThreadPriorityCalls());
  EXPECT_EQ(3, worker.applied_priority);
  EXPECT_EQ(THREAD_PRIORITY_ABOVE_NORMAL, native_platform::RecordedThreadPriority(worker.thread));

  // Step 2: the poster is unchanged, so nothing is requested.
  EXPECT_EQ(0, PostJob(worker));
  WaitForJob(worker);
  EXPECT_EQ(calls + 1, native_platform::SetThreadPriorityCalls());
  EXPECT_EQ(2, record.runs);
}

TEST_F(ThreadedRenderWorkerTest, WorkerThatEndedByItselfRefusesPostsAndStillStopsCleanly) {
  // The worker's first wait for a job fails.
  native_platform::FailWin32Call("WaitForSingleObject", 1);
  ASSERT_EQ(0, StartWorker(worker, RecordingJob, &record));
  WaitUntilEndedByItself();

  EXPECT_NE(nullptr, worker.thread);
  EXPECT_EQ(-1, PostJob(worker));
  WaitForJob(worker);  // returns at once; it would block forever otherwise
  EXPECT_EQ(0, record.runs);
  // Not restarted: the thread handle is still in the record.
  EXPECT_EQ(0, StartWorker(worker, RecordingJob, &record));
  EXPECT_TRUE(worker.stop_requested);
  EXPECT_EQ(-1, PostJob(worker));

  Stop();
  EXPECT_EQ(nullptr, worker.thread);
  EXPECT_EQ(0, native_platform::OpenKernelHandles());
  EXPECT_EQ(0, record.runs);
}

TEST_F(ThreadedRenderWorkerTest, SecondStopFindsNoThreadAndOnlyClosesEvents) {
  ASSERT_EQ(0, StartWorker(worker, RecordingJob, &record));

  StopWorkerThread(worker);
  EXPECT_EQ(nullptr, worker.thread);
  EXPECT_EQ(2, native_platform::OpenKernelHandles());
  EXPECT_EQ(-1, PostJob(worker));

  StopWorkerThread(worker);
  EXPECT_EQ(2, native_platform::OpenKernelHandles());

  Stop();
  EXPECT_EQ(0, native_platform::OpenKernelHandles());
  EXPECT_EQ(0, record.runs);
}

TEST_F(ThreadedRenderWorkerTest, CreationFailureReturnsMinusOneAndLeavesEventsForTheStop) {
  struct Case {
    const char* function;
    int nth;
    int handles_left;
  } cases[] = {{"CreateEventW", 1, 1}, {"CreateEventW", 2, 1}, {"_beginthreadex", 1, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.function << " #" << c.nth);
    RenderWorker local;
    InitializeCriticalSection(&local.lock);
    native_platform::FailWin32Call(c.function, c.nth);

    EXPECT_EQ(-1, StartWorker(local, RecordingJob, &record));
    EXPECT_EQ(nullptr, local.thread);
    EXPECT_EQ(c.handles_left, native_platform::OpenKernelHandles());
    EXPECT_EQ(-1, PostJob(local));
    WaitForJob(local);

    // A later start reuses what exists and creates what is missing.
    EXPECT_EQ(0, StartWorker(local, RecordingJob, &record));
    EXPECT_EQ(3, native_platform::OpenKernelHandles());
    EXPECT_EQ(0, PostJob(local));
    WaitForJob(local);

    StopWorker(local);
    EXPECT_EQ(0, native_platform::OpenKernelHandles());
  }
  EXPECT_EQ(3, record.runs);
}

TEST_F(ThreadedRenderWorkerTest, WithoutWorkerPostFailsAndWaitReturnsAtOnce) {
  EXPECT_EQ(-1, PostJob(worker));
  WaitForJob(worker);
  EXPECT_EQ(0, native_platform::OpenKernelHandles());
  EXPECT_EQ(0, record.runs);
}

// The engine's own worker, started by the device setup and stopped by the
// teardown while the fakes are in use on both threads.
class ThreadedEngineWorkerTest : public engine_test::EngineTest {};

TEST_F(ThreadedEngineWorkerTest, SetUpStartsTheWorkerAndDestroyStopsIt) {
  fakes::ResetFakeD3DX();
  engine_test::ProvideCompiledEffect(description);
  ASSERT_TRUE(subject->SetUpDevice(&table, 0, true));
  ASSERT_NE(nullptr, subject->worker.thread);
  EXPECT_EQ(0, PostJob(subject->worker));
  WaitForJob(subject->worker);
  EXPECT_FALSE(subject->worker.stop_requested);
  Destroy();
  EXPECT_EQ(nullptr, subject->worker.thread);
  EXPECT_EQ(0, native_platform::OpenKernelHandles());
  EXPECT_EQ(1u, d3d->references());
}

}  // namespace
