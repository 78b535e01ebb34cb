// NearestCandidateMemo: what one nearest search has learned about the
// candidate records it loaded -- whether each is a point object and, for a
// point, its pipDistance from the search point -- keyed by record position.
//
// The nearest search re-enumerates the whole square of every ring, so the
// candidates of a smaller ring come back in each larger one.  A record's
// kind and position do not change while a search runs, so what one
// successful load told is what any later load of the same record would
// tell; the memo lets the search skip those loads.  A record whose load
// failed is never remembered (the search ends at it).
//
// Open addressing with linear probing over a slot array whose size is fixed
// at construction (a power of two); nothing is allocated afterwards.  When
// half the slots are in use, further records are not remembered: the search
// then loads them as it would without a memo, so a full memo only costs
// time.
//
// Ownership: a value owned by its search.  Thread rule: the search's.
#ifndef LUMETRA_SEARCH_NEAREST_CANDIDATE_MEMO_H
#define LUMETRA_SEARCH_NEAREST_CANDIDATE_MEMO_H

#include <cstddef>
#include <cstdint>
#include <vector>

class NearestCandidateMemo {
 public:
  enum class Kind : std::uint8_t {
    kUnknown,   // not remembered
    kNotPoint,  // a region or a line: never enters the table
    kPoint,
  };

  struct Fact {
    Kind kind = Kind::kUnknown;
    // pipDistance from the search point; -1 when it does not fit an int.
    std::int32_t distance = 0;
  };

  // A memo able to remember at least `min_records` records (slots for twice
  // as many, rounded up to a power of two; at least kMinRecords).
  explicit NearestCandidateMemo(std::size_t min_records);

  // Forgets every record.
  void Clear();
  // What is remembered about the record at `position` (kind kUnknown when
  // nothing is).
  Fact Find(std::uint64_t position) const;
  // Remembers `fact` for the record at `position`.  A position already
  // remembered, position 0 (no record starts there) and a full memo leave
  // the memo unchanged.
  void Remember(std::uint64_t position, const Fact& fact);

  std::size_t size() const { return used_; }
  std::size_t capacity() const { return slots_.size() / 2; }

  static constexpr std::size_t kMinRecords = 64;
  static constexpr std::size_t kMaxRecords = std::size_t{1} << 17;

 private:
  struct Slot {
    std::uint64_t position = 0;  // 0: empty
    std::int32_t distance = 0;
    Kind kind = Kind::kUnknown;
  };

  std::size_t Home(std::uint64_t position) const;

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t used_ = 0;
};

#endif  // LUMETRA_SEARCH_NEAREST_CANDIDATE_MEMO_H
