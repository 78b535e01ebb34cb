// PositionIndex: which polygon buffer holds the record at a file position.
//
// An open-addressing hash table (linear probing, backward-shift deletion)
// sized once for a fixed number of buffers, so lookups and updates during a
// search never allocate.  It answers in constant time what a walk of the
// most-recently-used list answers in time proportional to the buffer count;
// the list keeps deciding which buffer is reused.
#ifndef LUMETRA_SEARCH_POSITION_INDEX_H
#define LUMETRA_SEARCH_POSITION_INDEX_H

#include <cstddef>
#include <cstdint>
#include <vector>

class PolygonObject;

namespace lumetra {

class PositionIndex {
 public:
  // Room for `capacity` entries at a load factor of at most one half.
  void Reset(std::size_t capacity);
  PolygonObject* Find(std::uint64_t position) const;
  // Position 0 (an empty buffer) is never stored.  The caller guarantees at
  // most `capacity` live entries.
  void Insert(std::uint64_t position, PolygonObject* object);
  void Erase(std::uint64_t position);
  std::size_t size() const { return size_; }

 private:
  struct Slot {
    std::uint64_t position = 0;  // 0 = free
    PolygonObject* object = nullptr;
  };
  std::size_t Home(std::uint64_t position) const;

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t size_ = 0;
};

}  // namespace lumetra

#endif  // LUMETRA_SEARCH_POSITION_INDEX_H
