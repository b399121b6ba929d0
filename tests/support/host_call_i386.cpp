// CallAsHost for the 32-bit build: through e2e/misaligned_call.h.
#include <cstdint>

#include "e2e/misaligned_call.h"
#include "support/host_call.h"

// Returns esp as it was at the call instruction: above the return address.
extern "C" uintptr_t StackPointerAtCall();
asm(".text\n"
    ".globl _StackPointerAtCall\n"
    "_StackPointerAtCall:\n"
    "  lea 4(%esp), %eax\n"
    "  ret\n");

std::vector<int> HostStackMisalignments() { return {4, 8, 12}; }

void CallAsHost(ParallelRoutine routine, int thread_index, int thread_count, void* first,
                void* second, int misalignment) {
  const uintptr_t args[4] = {
      static_cast<uintptr_t>(thread_index), static_cast<uintptr_t>(thread_count),
      reinterpret_cast<uintptr_t>(first), reinterpret_cast<uintptr_t>(second)};
  CallMisaligned(reinterpret_cast<const void*>(routine), args, 4, misalignment);
}

int StackMisalignmentAtCall(int misalignment) {
  const uintptr_t none[1] = {0};
  return static_cast<int>(
      CallMisaligned(reinterpret_cast<const void*>(StackPointerAtCall), none, 0, misalignment) %
      16);
}
