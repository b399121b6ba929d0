#include "tools/host/parallel_runner.h"

#include "e2e/misaligned_call.h"

namespace texloom_host {

ParallelRunner::ParallelRunner(int threads)
    : workers_(static_cast<size_t>(threads > 0 ? threads : 1)) {
  done_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  for (size_t i = 0; i < workers_.size(); ++i) {
    Worker& worker = workers_[i];
    worker.owner = this;
    worker.index = static_cast<int>(i);
    worker.start = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    worker.thread = CreateThread(nullptr, 0, &ParallelRunner::ThreadMain, &worker, 0, nullptr);
  }
}

ParallelRunner::~ParallelRunner() {
  stopping_ = true;
  for (Worker& worker : workers_) SetEvent(worker.start);
  for (Worker& worker : workers_) {
    WaitForSingleObject(worker.thread, INFINITE);
    CloseHandle(worker.thread);
    CloseHandle(worker.start);
  }
  CloseHandle(done_);
}

void ParallelRunner::Run(uintptr_t routine, uintptr_t first, uintptr_t second) {
  routine_ = routine;
  first_ = first;
  second_ = second;
  InterlockedExchange(&remaining_, static_cast<LONG>(workers_.size()));
  // SetEvent and the wait order the fields above before the workers read
  // them, and the workers' writes before this thread goes on.
  for (Worker& worker : workers_) SetEvent(worker.start);
  WaitForSingleObject(done_, INFINITE);
  ++runs_;
}

void ParallelRunner::Invoke(int index) {
  // Each invocation enters with another misalignment: 4, 8 or 12 bytes.
  const int misalignment = 4 * (1 + static_cast<int>((runs_ + static_cast<uint64_t>(index)) % 3));
  const uintptr_t args[4] = {static_cast<uintptr_t>(index), static_cast<uintptr_t>(workers_.size()),
                             first_, second_};
  CallMisaligned(reinterpret_cast<const void*>(routine_), args, 4, misalignment);
  InterlockedIncrement(&invocations_);
}

DWORD WINAPI ParallelRunner::ThreadMain(void* parameter) {
  Worker& worker = *static_cast<Worker*>(parameter);
  ParallelRunner& owner = *worker.owner;
  for (;;) {
    WaitForSingleObject(worker.start, INFINITE);
    if (owner.stopping_) return 0;
    owner.Invoke(worker.index);
    if (InterlockedDecrement(&owner.remaining_) == 0) SetEvent(owner.done_);
  }
}

}  // namespace texloom_host
