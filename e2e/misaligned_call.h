// Calls a caller-cleans-up function the way a host built with another
// compiler may: with the stack aligned to 4 bytes but not to 16.
#pragma once

#include <cstdint>

// Calls fn(args[0..count-1]) with esp % 16 == misalignment at the call.
inline uintptr_t CallMisaligned(const void* fn, const uintptr_t* args, int count,
                                int misalignment) {
  uintptr_t result;
  uintptr_t a0 = count > 0 ? args[0] : 0, a1 = count > 1 ? args[1] : 0;
  uintptr_t a2 = count > 2 ? args[2] : 0, a3 = count > 3 ? args[3] : 0;
  uintptr_t a4 = count > 4 ? args[4] : 0, a5 = count > 5 ? args[5] : 0;
  uintptr_t block[7] = {a0, a1, a2, a3, a4, a5, static_cast<uintptr_t>(misalignment)};
  asm volatile(
      "mov %%esp, %%esi\n\t"
      "and $-16, %%esp\n\t"
      "sub $64, %%esp\n\t"
      "add 24(%%edi), %%esp\n\t"
      "mov 0(%%edi), %%eax\n\t"
      "mov %%eax, 0(%%esp)\n\t"
      "mov 4(%%edi), %%eax\n\t"
      "mov %%eax, 4(%%esp)\n\t"
      "mov 8(%%edi), %%eax\n\t"
      "mov %%eax, 8(%%esp)\n\t"
      "mov 12(%%edi), %%eax\n\t"
      "mov %%eax, 12(%%esp)\n\t"
      "mov 16(%%edi), %%eax\n\t"
      "mov %%eax, 16(%%esp)\n\t"
      "mov 20(%%edi), %%eax\n\t"
      "mov %%eax, 20(%%esp)\n\t"
      "call *%%ebx\n\t"
      "mov %%esi, %%esp\n\t"
      : "=a"(result)
      : "b"(fn), "D"(block)
      // The callee may use the whole x87 stack (and MMX, which shares it),
      // which the calling convention requires to be empty at a call.
      : "ecx", "edx", "esi", "memory", "cc", "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)",
        "st(6)", "st(7)");
  return result;
}
