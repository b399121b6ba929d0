// The processor's identification and the register state the system saves,
// which the conversion dispatch reads to choose its instruction sets.
#pragma once

#include <cstdint>

struct CpuidResult {
  uint32_t eax, ebx, ecx, edx;
};

// CPUID with the leaf and subleaf; false, with *result untouched, when the
// leaf is above the highest one the processor reports.
bool QueryCpuid(uint32_t leaf, uint32_t subleaf, CpuidResult* result);

// XCR0 (XGETBV 0): the register state the system saves and restores. Only
// valid to ask when CPUID leaf 1 reports OSXSAVE.
uint64_t QueryEnabledStateComponents();
