// Texts and arrays of the discovery state all come from one non-throwing
// byte allocation, so that one release function fits every retired block
// whatever its element type.
#pragma once

#include <cstddef>
#include <new>

template <typename T>
T* AllocateBlock(size_t count) {
  // operator new[] returns storage aligned for any fundamental type.
  return reinterpret_cast<T*>(new (std::nothrow) char[count * sizeof(T)]);
}

inline void FreeBlock(const void* block) { delete[] static_cast<const char*>(block); }

// Frees the block and leaves the field null.
template <typename T>
void FreeBlockField(T*& field) {
  FreeBlock(field);
  field = nullptr;
}
