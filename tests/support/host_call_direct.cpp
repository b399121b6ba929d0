// CallAsHost for the native (x86-64) build: a plain call, with the native
// ABI's 16-byte stack alignment.
#include <cstdint>

#include "support/host_call.h"

// Returns rsp as it was at the call instruction: above the return address.
extern "C" uintptr_t StackPointerAtCall();
asm(".text\n"
    ".globl StackPointerAtCall\n"
    ".type StackPointerAtCall, @function\n"
    "StackPointerAtCall:\n"
    "  lea 8(%rsp), %rax\n"
    "  ret\n");

std::vector<int> HostStackMisalignments() { return {0}; }

void CallAsHost(ParallelRoutine routine, int thread_index, int thread_count, void* first,
                void* second, int misalignment) {
  routine(thread_index, thread_count, first, second);
}

int StackMisalignmentAtCall(int misalignment) {
  return static_cast<int>(StackPointerAtCall() % 16);
}
