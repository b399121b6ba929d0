// Replaces the non-throwing operator new of the test program so that tests
// can make it fail; the memory still comes from the throwing operator, so
// the sanitizers see matching allocation and release. Fresh memory is
// scribbled over, so that code reading what it never wrote shows it.
#include "support/allocation_failure.h"

#include <atomic>
#include <cstring>
#include <new>

namespace {
std::atomic<int> allocations_left_before_failure{0};
std::atomic<int> nothrow_allocations{0};

constexpr unsigned char kScribble = 0xA5;

void* Scribbled(void* memory, std::size_t size) {
  if (memory) std::memset(memory, kScribble, size);
  return memory;
}

bool ThisAllocationFails() {
  ++nothrow_allocations;
  int left = allocations_left_before_failure.load();
  while (left > 0) {
    if (allocations_left_before_failure.compare_exchange_weak(left, left - 1)) {
      return left == 1;
    }
  }
  return false;
}
}  // namespace

namespace support {
void FailNothrowAllocation(int nth) {
  allocations_left_before_failure = nth;
  nothrow_allocations = 0;
}
int NothrowAllocations() { return nothrow_allocations.load(); }
}  // namespace support

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (ThisAllocationFails()) return nullptr;
  try {
    return Scribbled(::operator new(size), size);
  } catch (...) {
    return nullptr;
  }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (ThisAllocationFails()) return nullptr;
  try {
    return Scribbled(::operator new[](size), size);
  } catch (...) {
    return nullptr;
  }
}
