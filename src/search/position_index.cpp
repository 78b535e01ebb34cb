#include "search/position_index.h"

namespace lumetra {

void PositionIndex::Reset(std::size_t capacity) {
  std::size_t n = 8;
  while (n < 2 * capacity) n *= 2;
  slots_.assign(n, Slot{});
  mask_ = n - 1;
  size_ = 0;
}

std::size_t PositionIndex::Home(std::uint64_t position) const {
  // Fibonacci hashing spreads record offsets, which share their low bits.
  return static_cast<std::size_t>((position * 0x9E3779B97F4A7C15ull) >> 32) & mask_;
}

PolygonObject* PositionIndex::Find(std::uint64_t position) const {
  if (slots_.empty() || position == 0) return nullptr;
  for (std::size_t i = Home(position);; i = (i + 1) & mask_) {
    const Slot& s = slots_[i];
    if (s.position == position) return s.object;
    if (s.position == 0) return nullptr;
  }
}

void PositionIndex::Insert(std::uint64_t position, PolygonObject* object) {
  if (slots_.empty() || position == 0) return;
  std::size_t i = Home(position);
  while (slots_[i].position != 0 && slots_[i].position != position) i = (i + 1) & mask_;
  if (slots_[i].position == 0) ++size_;
  slots_[i] = Slot{position, object};
}

void PositionIndex::Erase(std::uint64_t position) {
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

}  // namespace lumetra
