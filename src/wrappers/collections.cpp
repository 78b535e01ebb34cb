// CDoubleCollection and CLongCollection: growable arrays with a cursor.
//
// The two classes differ only in their item type, and their layouts are
// fixed (raw pointer, count, capacity, cursor), so one macro defines the
// members of both on top of CollectionStore.  Copy construction copies the
// items, count and cursor into an array of the source's capacity; assignment
// keeps the larger of the two capacities and zero-fills the slots beyond the
// copied items.  When memory runs out, a copy starts empty and an assignment
// leaves the target unchanged.
#include <lumetra/geometry.h>

#include "wrappers/collection_store.h"

#define LUMETRA_DEFINE_COLLECTION(Class, T)                                                     \
  namespace {                                                                                   \
  lumetra::CollectionStore<T> StoreOf##Class(T* items, int count, int capacity, int cursor) {   \
    lumetra::CollectionStore<T> s;                                                              \
    s.items = items;                                                                            \
    s.count = count;                                                                            \
    s.capacity = capacity;                                                                      \
    s.cursor = cursor;                                                                          \
    return s;                                                                                   \
  }                                                                                             \
  }                                                                                             \
  Class::Class() : Class(lumetra::kDefaultCollectionCapacity) {}                                \
  Class::Class(int capacity) : m_items(nullptr), m_count(0), m_capacity(0), m_cursor(0) {       \
    lumetra::CollectionStore<T> s = lumetra::ReservedStore<T>(capacity);                        \
    m_items = s.items;                                                                          \
    m_capacity = s.capacity;                                                                    \
  }                                                                                             \
  Class::Class(const Class& other) : m_items(nullptr), m_count(0), m_capacity(0), m_cursor(0) { \
    bool ok = false;                                                                            \
    lumetra::CollectionStore<T> s = lumetra::CopiedStore(                                       \
        StoreOf##Class(other.m_items, other.m_count, other.m_capacity, other.m_cursor),         \
        other.m_capacity, &ok);                                                                 \
    m_items = s.items;                                                                          \
    m_count = s.count;                                                                          \
    m_capacity = s.capacity;                                                                    \
    m_cursor = s.cursor;                                                                        \
  }                                                                                             \
  Class& Class::operator=(const Class& other) {                                                 \
    if (this == &other) return *this;                                                           \
    bool ok = false;                                                                            \
    lumetra::CollectionStore<T> s = lumetra::CopiedStore(                                       \
        StoreOf##Class(other.m_items, other.m_count, other.m_capacity, other.m_cursor),         \
        m_capacity > other.m_capacity ? m_capacity : other.m_capacity, &ok);                    \
    if (!ok) return *this;                                                                      \
    delete[] m_items;                                                                           \
    m_items = s.items;                                                                          \
    m_count = s.count;                                                                          \
    m_capacity = s.capacity;                                                                    \
    m_cursor = s.cursor;                                                                        \
    return *this;                                                                               \
  }                                                                                             \
  Class::~Class() { delete[] m_items; }                                                         \
  int Class::add(T item) {                                                                      \
    lumetra::CollectionStore<T> s = StoreOf##Class(m_items, m_count, m_capacity, m_cursor);     \
    if (!lumetra::AppendItem(s, item)) return 0;                                                \
    m_items = s.items;                                                                          \
    m_count = s.count;                                                                          \
    m_capacity = s.capacity;                                                                    \
    return 1;                                                                                   \
  }                                                                                             \
  int Class::moveFirst() {                                                                      \
    m_cursor = 0;                                                                               \
    return 1;                                                                                   \
  }                                                                                             \
  int Class::moveNext() {                                                                       \
    if (m_cursor < m_count) ++m_cursor;                                                         \
    return m_cursor < m_count ? 1 : 0;                                                          \
  }                                                                                             \
  int Class::getCurrent(T& item) const {                                                        \
    if (m_cursor >= m_count) return 0;                                                          \
    item = m_items[m_cursor];                                                                   \
    return 1;                                                                                   \
  }                                                                                             \
  void Class::reset() {                                                                         \
    m_count = 0;                                                                                \
    m_cursor = 0;                                                                               \
  }                                                                                             \
  int Class::getCount() const { return m_count; }

LUMETRA_DEFINE_COLLECTION(CDoubleCollection, double)
LUMETRA_DEFINE_COLLECTION(CLongCollection, int)
