// The render worker: one thread that runs one posted job at a time while the
// host's thread fetches the next frame.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/win32_api.h"

typedef void (*RenderJobFunction)(void* argument);

struct RenderWorker {
  CRITICAL_SECTION lock;        // guards starting and stopping only
  HANDLE job_event = nullptr;   // auto-reset: wakes the worker
  HANDLE done_event = nullptr;  // auto-reset: a job (or the worker) ended
  HANDLE thread = nullptr;
  int32_t applied_priority = 0;
  std::atomic<bool> stop_requested{false};
  // A job was posted and its end not yet waited for. Touched by the posting
  // thread only: a handler entered while that thread waits in a host call
  // may wait for the same job, and the auto-reset done_event is signalled
  // once per job, so a second wait must not block.
  bool job_posted = false;
  void* job_argument = nullptr;
  RenderJobFunction job_function = nullptr;
};

// 0 on success or when a worker already runs, -1 on failure. The job is
// RenderJobEntry; tests choose their own job with the second form.
int StartWorker(RenderWorker& worker, void* argument);
int StartWorker(RenderWorker& worker, RenderJobFunction job, void* argument);
// 0 when the job was handed over, -1 when no worker can take it.
int PostJob(RenderWorker& worker);
// Blocks until the posted job has finished; returns at once without a worker
// or when no job is outstanding.
void WaitForJob(RenderWorker& worker);
// Ends the thread, closes the events and deletes the lock.
void StopWorker(RenderWorker& worker);
// Takes the thread out of the record and waits for it to end; idempotent.
void StopWorkerThread(RenderWorker& worker);
// The thread's body: runs posted jobs until a stop, then ends the thread.
void WorkerLoop(RenderWorker& worker);
// The job entry the worker runs: RenderJob on the engine it is given.
void RenderJobEntry(void* engine);
