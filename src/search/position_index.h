// PositionIndex: a hash table from a record's file position to an object of
// the reader (the buffer or the decoded record that holds it).
//
// Open addressing with linear probing and backward-shift deletion over a
// power-of-two slot array kept at most half full.  Reset sizes it for a
// number of entries; Insert doubles it when that number is exceeded, so a
// table sized for what it will hold never allocates after Reset.  Lookups
// cost a hash and a probe or two, where a walk of a most-recently-used list
// costs time proportional to its length.
//
// Position 0 names no record and is never stored.  One thread at a time.
#ifndef LUMETRA_SEARCH_POSITION_INDEX_H
#define LUMETRA_SEARCH_POSITION_INDEX_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumetra {

template <class T>
class PositionIndex {
 public:
  // Empties the table and gives it room for `capacity` entries.
  void Reset(std::size_t capacity) {
    std::size_t n = 8;
    while (n < 2 * capacity) n *= 2;
    slots_.assign(n, Slot{});
    mask_ = n - 1;
    size_ = 0;
  }

  T* Find(std::uint64_t position) const {
    if (slots_.empty() || position == 0) return nullptr;
    for (std::size_t i = Home(position);; i = (i + 1) & mask_) {
      const Slot& s = slots_[i];
      if (s.position == position) return s.value;
      if (s.position == 0) return nullptr;
    }
  }

  // Stores (or replaces) the entry of `position`.
  void Insert(std::uint64_t position, T* value) {
    if (position == 0) return;
    if (slots_.empty() || 2 * (size_ + 1) > slots_.size()) Grow();
    std::size_t i = Home(position);
    while (slots_[i].position != 0 && slots_[i].position != position) i = (i + 1) & mask_;
    if (slots_[i].position == 0) ++size_;
    slots_[i] = Slot{position, value};
  }

  void Erase(std::uint64_t position) {
    if (slots_.empty() || position == 0) return;
    std::size_t i = Home(position);
    while (slots_[i].position != position) {
      if (slots_[i].position == 0) return;
      i = (i + 1) & mask_;
    }
    // Backward-shift deletion keeps every probe chain unbroken.
    std::size_t hole = i;
    for (std::size_t j = (i + 1) & mask_; slots_[j].position != 0; j = (j + 1) & mask_) {
      const std::size_t home = Home(slots_[j].position);
      // Move j into the hole unless its home lies cyclically in (hole, j].
      const bool home_in_between =
          hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
      if (!home_in_between) {
        slots_[hole] = slots_[j];
        hole = j;
      }
    }
    slots_[hole] = Slot{};
    --size_;
  }

  std::size_t size() const { return size_; }

 private:
  struct Slot {
    std::uint64_t position = 0;  // 0 = free
    T* value = nullptr;
  };

  std::size_t Home(std::uint64_t position) const {
    // Fibonacci hashing spreads record offsets, which share their low bits.
    return static_cast<std::size_t>((position * 0x9E3779B97F4A7C15ull) >> 32) & mask_;
  }

  void Grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    Reset(old.empty() ? 4 : old.size());
    for (const Slot& s : old) {
      if (s.position != 0) Insert(s.position, s.value);
    }
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t size_ = 0;
};

}  // namespace lumetra

#endif  // LUMETRA_SEARCH_POSITION_INDEX_H
