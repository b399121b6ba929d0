// Memory that ends right before a page the process may neither read nor
// write, so an access one byte past the end faults at once. One source file
// per platform implements it (guarded_memory_posix.cpp, _win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

enum class PageAccess { read_write, read_only, none };

class GuardedPages {
 public:
  // At least `bytes` accessible bytes, rounded up to whole pages, read-write.
  // Throws std::bad_alloc when the system refuses the mapping.
  explicit GuardedPages(size_t bytes);
  ~GuardedPages();
  GuardedPages(const GuardedPages&) = delete;
  GuardedPages& operator=(const GuardedPages&) = delete;

  uint8_t* begin() const { return base_; }
  uint8_t* end() const { return base_ + size_; }
  size_t size() const { return size_; }
  // Makes the accessible pages read-only.
  void SealReadOnly();

  // What the process may do with the page that holds `address`.
  static PageAccess AccessAt(const void* address);

 private:
  uint8_t* base_ = nullptr;
  size_t size_ = 0;
};
