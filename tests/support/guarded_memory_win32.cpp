// GuardedPages with VirtualAlloc and VirtualProtect.
#include <windows.h>

#include <new>

#include "support/guarded_memory.h"

namespace {

size_t PageSize() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
}

}  // namespace

GuardedPages::GuardedPages(size_t bytes) {
  const size_t page = PageSize();
  size_ = (bytes + page - 1) / page * page;
  void* mapping = VirtualAlloc(nullptr, size_ + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (!mapping) throw std::bad_alloc();
  base_ = static_cast<uint8_t*>(mapping);
  DWORD previous;
  if (!VirtualProtect(base_ + size_, page, PAGE_NOACCESS, &previous)) {
    VirtualFree(base_, 0, MEM_RELEASE);
    throw std::bad_alloc();
  }
}

GuardedPages::~GuardedPages() { VirtualFree(base_, 0, MEM_RELEASE); }

void GuardedPages::SealReadOnly() {
  DWORD previous;
  if (!VirtualProtect(base_, size_, PAGE_READONLY, &previous)) throw std::bad_alloc();
}

PageAccess GuardedPages::AccessAt(const void* address) {
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(address, &info, sizeof info) == 0 || info.State != MEM_COMMIT) {
    return PageAccess::none;
  }
  switch (info.Protect & 0xFF) {
    case PAGE_READWRITE:
    case PAGE_EXECUTE_READWRITE:
      return PageAccess::read_write;
    case PAGE_READONLY:
    case PAGE_EXECUTE_READ:
      return PageAccess::read_only;
    default:
      return PageAccess::none;
  }
}
