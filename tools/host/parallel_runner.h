// The host's parallel-run service: one routine run on several real threads
// at once, each invocation entered through a stack aligned to 4 bytes only
// (as a host built with another compiler enters it), returning only when
// every invocation has finished.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace texloom_host {

class ParallelRunner {
 public:
  explicit ParallelRunner(int threads);
  ~ParallelRunner();
  ParallelRunner(const ParallelRunner&) = delete;
  ParallelRunner& operator=(const ParallelRunner&) = delete;

  int threads() const { return static_cast<int>(workers_.size()); }
  // Calls routine(thread index, thread count, first, second) once on each
  // thread. Not reentrant: one run at a time.
  void Run(uintptr_t routine, uintptr_t first, uintptr_t second);
  uint64_t runs() const { return runs_; }
  uint64_t invocations() const { return static_cast<uint64_t>(invocations_); }

 private:
  struct Worker {
    ParallelRunner* owner = nullptr;
    int index = 0;
    HANDLE start = nullptr;
    HANDLE thread = nullptr;
  };
  static DWORD WINAPI ThreadMain(void* parameter);
  void Invoke(int index);

  std::vector<Worker> workers_;
  HANDLE done_ = nullptr;
  volatile LONG remaining_ = 0;
  volatile LONG invocations_ = 0;
  uintptr_t routine_ = 0, first_ = 0, second_ = 0;
  bool stopping_ = false;
  uint64_t runs_ = 0;
};

}  // namespace texloom_host
