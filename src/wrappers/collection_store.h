// The growable array behind CDoubleCollection and CLongCollection.  The two
// exported classes are packed and keep raw members, so their state is copied
// into a CollectionStore, worked on and stored back: no member is ever bound
// to a reference.  Arrays come from nothrow new[]; nothing here throws.
#ifndef LUMETRA_WRAPPERS_COLLECTION_STORE_H
#define LUMETRA_WRAPPERS_COLLECTION_STORE_H

#include <algorithm>
#include <climits>
#include <new>

namespace lumetra {

constexpr int kDefaultCollectionCapacity = 25;

// REQUIRES: 0 <= count <= capacity, 0 <= cursor <= count, items holds
// `capacity` slots (null when capacity is 0).
template <class T>
struct CollectionStore {
  T* items = nullptr;
  int count = 0;
  int capacity = 0;
  int cursor = 0;
};

// An array of `capacity` zeroed slots, or null (also for capacity < 1).
template <class T>
T* NewSlots(int capacity) {
  if (capacity < 1) return nullptr;
  return new (std::nothrow) T[static_cast<std::size_t>(capacity)]();
}

// An empty store reserving `capacity` slots (none when memory runs out).
template <class T>
CollectionStore<T> ReservedStore(int capacity) {
  CollectionStore<T> s;
  s.items = NewSlots<T>(capacity);
  s.capacity = s.items != nullptr ? capacity : 0;
  return s;
}

// A store of `capacity` slots (at least from.count) holding from's items,
// count and cursor, the slots beyond the items zeroed; ok false and an empty
// store when memory runs out.
template <class T>
CollectionStore<T> CopiedStore(const CollectionStore<T>& from, int capacity, bool* ok) {
  CollectionStore<T> s = ReservedStore<T>(std::max(capacity, from.count));
  *ok = s.items != nullptr || from.count == 0;
  if (!*ok) return s;
  std::copy(from.items, from.items + from.count, s.items);
  s.count = from.count;
  s.cursor = from.cursor;
  return s;
}

// Appends `item`, doubling the capacity when the array is full (an empty
// array grows to one slot).  False, and nothing changed, when the larger
// array cannot be had.
template <class T>
bool AppendItem(CollectionStore<T>& s, T item) {
  if (s.count == s.capacity) {
    if (s.capacity > INT_MAX / 2) return false;
    bool ok = false;
    CollectionStore<T> grown = CopiedStore(s, s.capacity < 1 ? 1 : 2 * s.capacity, &ok);
    if (!ok || grown.items == nullptr) return false;
    delete[] s.items;
    s = grown;
  }
  s.items[s.count++] = item;
  return true;
}

}  // namespace lumetra

#endif  // LUMETRA_WRAPPERS_COLLECTION_STORE_H
