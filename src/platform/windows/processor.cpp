// CPUID and XGETBV on the processor the module runs on.
#include "platform/processor.h"

#include <cpuid.h>

bool QueryCpuid(uint32_t leaf, uint32_t subleaf, CpuidResult* result) {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid_count(leaf, subleaf, &eax, &ebx, &ecx, &edx)) return false;
  *result = {eax, ebx, ecx, edx};
  return true;
}

uint64_t QueryEnabledStateComponents() {
  // Encoded by hand so that no file needs -mxsave; it faults unless the
  // system set CR4.OSXSAVE, which callers check first.
  uint32_t low, high;
  __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(low), "=d"(high) : "c"(0));
  return (static_cast<uint64_t>(high) << 32) | low;
}
