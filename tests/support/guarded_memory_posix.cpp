// GuardedPages with mmap and mprotect.
#include <sys/mman.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <new>

#include "support/guarded_memory.h"

namespace {

size_t PageSize() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

}  // namespace

GuardedPages::GuardedPages(size_t bytes) {
  const size_t page = PageSize();
  size_ = (bytes + page - 1) / page * page;
  void* mapping =
      mmap(nullptr, size_ + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) throw std::bad_alloc();
  base_ = static_cast<uint8_t*>(mapping);
  if (mprotect(base_ + size_, page, PROT_NONE) != 0) {
    munmap(base_, size_ + page);
    throw std::bad_alloc();
  }
}

GuardedPages::~GuardedPages() { munmap(base_, size_ + PageSize()); }

void GuardedPages::SealReadOnly() {
  if (mprotect(base_, size_, PROT_READ) != 0) throw std::bad_alloc();
}

// The kernel's own account of the mapping, so that asking never faults.
PageAccess GuardedPages::AccessAt(const void* address) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(address);
  FILE* maps = fopen("/proc/self/maps", "r");
  if (!maps) return PageAccess::none;
  PageAccess access = PageAccess::none;
  uintptr_t start = 0, stop = 0;
  char permissions[5] = {};
  char line[512];
  while (fgets(line, sizeof line, maps)) {
    if (sscanf(line, "%" SCNxPTR "-%" SCNxPTR " %4s", &start, &stop, permissions) != 3) continue;
    if (at < start || at >= stop) continue;
    if (permissions[0] == 'r') {
      access = permissions[1] == 'w' ? PageAccess::read_write : PageAccess::read_only;
    }
    break;
  }
  fclose(maps);
  return access;
}
