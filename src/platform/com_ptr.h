// Owning reference to a COM object: the one place where the plug-in adds
// and releases references.
#pragma once

#include <utility>

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Adopts a reference the caller already owns.
  static ComPtr Adopt(T* raw) {
    ComPtr result;
    result.ptr_ = raw;
    return result;
  }
  ComPtr(const ComPtr& other) : ptr_(other.ptr_) {
    if (ptr_) ptr_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : ptr_(other.ptr_) { other.ptr_ = nullptr; }
  template <typename U>
  ComPtr(const ComPtr<U>& other) : ptr_(other.get()) {
    if (ptr_) ptr_->AddRef();
  }
  ComPtr& operator=(const ComPtr& other) {
    ComPtr copy(other);
    swap(copy);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr moved(std::move(other));
    swap(moved);
    return *this;
  }
  ~ComPtr() { reset(); }

  // Releases the reference and leaves the pointer null.
  void reset() {
    T* old = ptr_;
    ptr_ = nullptr;
    if (old) old->Release();
  }
  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  // Out-address for a creating call; the previous reference goes first so a
  // call that overwrites the slot cannot leak it.
  T** put() {
    reset();
    return &ptr_;
  }
  void swap(ComPtr& other) noexcept { std::swap(ptr_, other.ptr_); }

 private:
  T* ptr_ = nullptr;
};
