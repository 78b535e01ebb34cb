// Owned arrays and names of the geometry classes.  The exported classes keep
// raw pointers (their layout is fixed), so every allocation and release goes
// through these helpers: arrays come from nothrow new[] (null when memory
// runs out), names are copied at most 127 characters long.
#ifndef LUMETRA_GEOMETRY_GEOMETRY_STORAGE_H
#define LUMETRA_GEOMETRY_GEOMETRY_STORAGE_H

#include <cstring>
#include <new>

namespace lumetra {

constexpr int kNameCapacity = 128;  // 127 characters and a terminator

// An array of n default-constructed T, or null (also for n < 1).
template <class T>
T* NewArray(int n) {
  if (n < 1) return nullptr;
  return new (std::nothrow) T[static_cast<std::size_t>(n)];
}

template <class T>
void DeleteArray(T* array) {
  delete[] array;
}

// A freshly built array for an object to adopt.  The exported classes are
// packed, so their pointer members are never bound to references: they are
// replaced by value from one of these.  `ok` is false when memory ran out
// (`items` then holds what could be built, possibly nothing).
template <class T>
struct Built {
  T* items = nullptr;
  int count = 0;
  bool ok = true;
};

// A copy of `from[0..n)` (assigned element by element), or null.
template <class T>
T* CopyArray(const T* from, int n) {
  T* to = NewArray<T>(n);
  if (to != nullptr) {
    for (int i = 0; i < n; ++i) to[i] = from[i];
  }
  return to;
}

template <class T>
Built<T> CopyBuilt(const T* from, int n) {
  T* items = from != nullptr ? CopyArray(from, n) : nullptr;
  return {items, items != nullptr ? n : 0, items != nullptr || n < 1};
}

// Copies `name` into an inline field; NULL or "" changes nothing.
inline void SetInlineName(char* field, const char* name) {
  if (name == nullptr || name[0] == '\0') return;
  std::size_t n = std::strlen(name);
  if (n > kNameCapacity - 1) n = kNameCapacity - 1;
  std::memmove(field, name, n);
  field[n] = '\0';
}

// Makes an inline field an exact copy of another, an empty name included.
inline void CopyInlineName(char* field, const char* from) {
  if (field != from) std::memcpy(field, from, kNameCapacity);
}

// A heap copy of `name` (its length plus one, or 128 bytes holding the first
// 127 characters of a longer one); null for NULL or "", or when memory runs
// out.  Released with DeleteArray.
inline char* NewHeapName(const char* name) {
  if (name == nullptr || name[0] == '\0') return nullptr;
  std::size_t n = std::strlen(name);
  if (n > kNameCapacity - 1) n = kNameCapacity - 1;
  char* copy = NewArray<char>(static_cast<int>(n + 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, name, n);
  copy[n] = '\0';
  return copy;
}

}  // namespace lumetra

#endif  // LUMETRA_GEOMETRY_GEOMETRY_STORAGE_H
