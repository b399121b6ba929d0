// The render worker thread and its one-job hand-off with the host's thread.
#include "engine/render_worker.h"

#include <cstdint>

#include "engine/engine.h"
#include "pipeline/render_job.h"

namespace {

// Priority one level above the given one, without clamping; a failed
// priority read (THREAD_PRIORITY_ERROR_RETURN) must not overflow.
int32_t OneAbove(int priority) {
  return static_cast<int32_t>(static_cast<uint32_t>(priority) + 1u);
}

// Windows calls this with only 4-byte stack alignment in the 32-bit product.
HOST_ENTRY unsigned __stdcall WorkerThreadEntry(void* argument) {
  WorkerLoop(*static_cast<RenderWorker*>(argument));
  return 0;  // not reached: the loop ends the thread itself
}

}  // namespace

void RenderJobEntry(void* argument) {
  if (argument) RenderJob(*static_cast<Engine*>(argument));
}

int StartWorker(RenderWorker& worker, void* argument) {
  return StartWorker(worker, RenderJobEntry, argument);
}

int StartWorker(RenderWorker& worker, RenderJobFunction job, void* argument) {
  EnterCriticalSection(&worker.lock);
  if (worker.thread) {
    LeaveCriticalSection(&worker.lock);
    return 0;
  }
  worker.job_function = job;
  worker.job_argument = argument;
  worker.stop_requested = false;
  if (!worker.job_event) worker.job_event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!worker.done_event) worker.done_event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (worker.job_event && worker.done_event) {
    // A reused pair may still carry a signal from the previous worker.
    ResetEvent(worker.job_event);
    ResetEvent(worker.done_event);
    worker.thread = reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, WorkerThreadEntry, &worker, 0, nullptr));
    if (worker.thread) {
      worker.applied_priority = OneAbove(GetThreadPriority(GetCurrentThread()));
      SetThreadPriority(worker.thread, worker.applied_priority);
      LeaveCriticalSection(&worker.lock);
      return 0;
    }
  }
  // Events made here stay for a later start; StopWorker closes them.
  LeaveCriticalSection(&worker.lock);
  return -1;
}

int PostJob(RenderWorker& worker) {
  if (!worker.thread || worker.stop_requested) return -1;
  int32_t priority = OneAbove(GetThreadPriority(GetCurrentThread()));
  if (priority != worker.applied_priority) {
    // Stored even when refused, so a refused value is not asked again until
    // the poster's own priority changes.
    worker.applied_priority = priority;
    SetThreadPriority(worker.thread, priority);
  }
  worker.job_posted = true;
  SetEvent(worker.job_event);
  return 0;
}

void WaitForJob(RenderWorker& worker) {
  if (!worker.job_posted) return;
  worker.job_posted = false;
  if (worker.thread && !worker.stop_requested) WaitForSingleObject(worker.done_event, INFINITE);
}

void WorkerLoop(RenderWorker& worker) {
  while (!worker.stop_requested) {
    if (WaitForSingleObject(worker.job_event, INFINITE) != WAIT_OBJECT_0)
      worker.stop_requested = true;
    if (!worker.stop_requested && worker.job_function) {
      // No exception may leave the thread; the job's outcome is not kept.
      try {
        worker.job_function(worker.job_argument);
      } catch (...) {
      }
    }
    SetEvent(worker.done_event);
  }
  SetEvent(worker.done_event);
  // Outside any try block: the runtime's thread exit may unwind the stack.
  _endthreadex(0);
}

void StopWorkerThread(RenderWorker& worker) {
  EnterCriticalSection(&worker.lock);
  HANDLE thread = InterlockedExchangePointer(&worker.thread, nullptr);
  if (thread) {
    worker.stop_requested = true;
    SetEvent(worker.job_event);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  LeaveCriticalSection(&worker.lock);
}

void StopWorker(RenderWorker& worker) {
  StopWorkerThread(worker);
  EnterCriticalSection(&worker.lock);
  if (worker.job_event) {
    CloseHandle(worker.job_event);
    worker.job_event = nullptr;
  }
  if (worker.done_event) {
    CloseHandle(worker.done_event);
    worker.done_event = nullptr;
  }
  LeaveCriticalSection(&worker.lock);
  DeleteCriticalSection(&worker.lock);
}
