#include "search/nearest_candidate_memo.h"

#include <algorithm>

NearestCandidateMemo::NearestCandidateMemo(std::size_t min_records) {
  const std::size_t wanted = std::clamp(min_records, kMinRecords, kMaxRecords);
  std::size_t slots = 1;
  while (slots < 2 * wanted) slots *= 2;
  slots_.resize(slots);
  mask_ = slots - 1;
}

void NearestCandidateMemo::Clear() {
  if (used_ == 0) return;
  std::fill(slots_.begin(), slots_.end(), Slot{});
  used_ = 0;
}

std::size_t NearestCandidateMemo::Home(std::uint64_t position) const {
  // Fibonacci hashing: record positions are often multiples of a record
  // size, which the multiplication spreads over the high bits.
  return static_cast<std::size_t>((position * 0x9E3779B97F4A7C15ull) >> 32) & mask_;
}

NearestCandidateMemo::Fact NearestCandidateMemo::Find(std::uint64_t position) const {
  if (position == 0) return Fact{};
  // The memo is at most half full, so every probe meets an empty slot.
  for (std::size_t i = Home(position);; i = (i + 1) & mask_) {
    const Slot& slot = slots_[i];
    if (slot.position == position) return Fact{slot.kind, slot.distance};
    if (slot.position == 0) return Fact{};
  }
}

void NearestCandidateMemo::Remember(std::uint64_t position, const Fact& fact) {
  if (position == 0 || fact.kind == Kind::kUnknown || used_ >= capacity()) return;
  for (std::size_t i = Home(position);; i = (i + 1) & mask_) {
    Slot& slot = slots_[i];
    if (slot.position == position) return;
    if (slot.position == 0) {
      slot = Slot{position, fact.distance, fact.kind};
      ++used_;
      return;
    }
  }
}
