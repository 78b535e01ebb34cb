// PolySearchNearestPoint: the N point objects nearest to a point, nearest
// first, optionally only those whose attributes meet a filter.
//
// The whole answer is computed by FindFirst; FindFirst and FindNext then
// hand the table out entry by entry, each making the entry's object current
// (through its object handle) and answering 1, and 0 past the last entry.
//
// The search square.  With r the ring half-size in coordinate units, the
// square is (x - w, y - r, x + w, y + r) where w = trunc(dy / dx x r) and
// dx, dy are the pipDistance lengths of r units east and north of the point
// in the file's units (so in geographic files the square is about as wide
// in feet as it is high).  r starts at 7496 units and doubles, up to the
// limit M = trunc(search distance / 0.365213581667) (the reader's search
// distance, feet), until N points were found or r reached M; the first
// square is searched whatever M is.  Every round starts the table afresh.
//
// The table.  Point objects only (regions and lines are ignored); each
// candidate's pipDistance d from the point is inserted before the first
// entry with a larger distance, so equal distances keep the order in which
// the spatial index returned them; entries pushed beyond N are dropped.  A
// candidate whose distance does not fit an int is ignored.  A filter is
// asked only about candidates that would rank among the first N.
//
// Cost.  Every ring enumerates its whole square again (so the spatial
// index reports what it reports for each square, and a record that cannot
// be loaded fails the search in whichever ring first meets it).  A
// candidate's kind and point are read from the reader's record store
// (PolygonSearch::PeekRecord) without taking a buffer -- each record is
// read and decoded once, into the store -- and its distance is pipDistance's
// own computation from the search point (lumetra::PointDistance).  The
// table is kept as a bounded max-heap of (distance, arrival) while a ring
// runs, which ranks exactly as the insertion above, and sorted once at the
// end.  A filter sees the record loaded into a buffer.
//
// The exact search.  Made with `exact`, the search answers the question the
// square rings approximate: the N point objects nearest to (x, y) among
// those inside the outermost square (ring M), nearest first, equal
// distances in file order (record position).  The rings grow as above, but
// a ring ends the search only when N points were found and the N-th of them
// is nearer than any point outside the ring's square can be: nearer than
// pipDistance from (x, y) to the nearest whole unit beyond each side of the
// square (sides that are the outermost square's own count as infinitely
// far).  pipDistance is monotone in |dx| and |dy| for a fixed (x, y), so no
// point outside can rank before the N-th; when the outermost square spans
// more than the 32-bit differences pipDistance measures, every ring up to
// M is searched.  Each ring's square is clipped to the outermost one.
//
// Units: coordinates i32 file units; distances in feet in geographic files
// (coordinate type 1), coordinate units otherwise.
//
// Ownership and threads: as PolygonSearchEnum; the search owns its filter.
#ifndef LUMETRA_SEARCH_NEAREST_SEARCH_H
#define LUMETRA_SEARCH_NEAREST_SEARCH_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame/point_distance.h"
#include "search/object_filter.h"
#include "search/search_enum.h"
#include "storage/spatial_index.h"

class PolySearchNearestPoint : public PolygonSearchEnum {
 public:
  static constexpr int kMaxCount = 65536;
  static constexpr std::int32_t kFirstRing = 7496;
  // Feet per coordinate unit in the limit M = trunc(distance / this).
  static constexpr double kFeetPerLimitUnit = 0.365213581667;
  // The size of the criteria message.
  static constexpr std::size_t kMessageSize = 80;

  struct Entry {
    std::int32_t distance = 0;
    std::uint64_t position = 0;  // the object handle
  };

  // The N = `count` (0 .. 65536) point objects nearest to (x, y), by the
  // square rings or, with `exact`, exactly (see the file comment).  The
  // enumerator is taken from the reader's spatial index.
  PolySearchNearestPoint(PolygonSearch& reader, QError& err, std::int32_t x, std::int32_t y,
                         int count, bool exact = false);
  ~PolySearchNearestPoint() override;

  // Makes this search one for (x, y), `count` and `exact`, unfiltered, as if
  // it had just been constructed for them (the handle reuses its nearest
  // search).
  void Restart(std::int32_t x, std::int32_t y, int count, bool exact);
  // Makes the search a filtered one: only objects `filter` accepts enter
  // the table.
  void SetFilter(std::unique_ptr<ObjectFilter> filter) { filter_ = std::move(filter); }
  // Makes the search one whose criteria did not parse: every FindFirst and
  // FindNext records code 100 with "The search criteria did not parse
  // correctly. " and `message` (cut to 79 characters), and answers -1.
  void SetInvalidCriteria(const std::string& message);

  // Computes the table and makes its first entry current: 1; 0 when the
  // table is empty; -1 on failure (no enumerator, a record that cannot be
  // loaded, invalid criteria).
  int FindFirst(char* name, int name_length) override;
  // The next entry: 1; 0 past the last; -1 on failure.
  int FindNext(char* name, int name_length) override;
  bool GetSearchPoint(std::int32_t* x, std::int32_t* y) const override;

  const std::vector<Entry>& table() const { return table_; }
  // The half-size of the last square searched (0 before FindFirst).
  std::int32_t last_ring() const { return last_ring_; }
  // Squares searched by the last FindFirst.
  int rounds() const { return rounds_; }

  // The limit M for a search distance in feet.
  static std::int32_t RingLimit(std::int32_t search_distance);
  // The square of ring `r` around (x, y) in a file of `coordinate_type`.
  static lumetra::Rect RingRect(std::int32_t x, std::int32_t y, std::int32_t r,
                                int coordinate_type);

 private:
  // An entry of the ranking heap; `arrival` orders equal distances (the
  // record position in the exact search).
  struct Ranked {
    std::int32_t distance;
    std::uint64_t arrival;
    std::uint64_t position;
  };

  // Ranks the point candidates of `square`; -1 on failure.
  int SearchRing(const lumetra::Rect& square);
  // The exact search's square of ring r and whether, after searching it, the
  // ranking is final (see the file comment).
  lumetra::Rect ExactSquare(std::int32_t r) const;
  bool ExactRankingFinal(const lumetra::Rect& square) const;
  // The candidate at `position`: 1 for a point, with its distance; 0 for a
  // region or line; -1 when it cannot be loaded (recorded).
  int Measure(std::uint64_t position, std::int32_t* distance);
  // The filter's verdict on the record at `position`; -1 when the record
  // cannot be loaded (recorded), else 1 accepted, 0 refused.
  int Filter(std::uint64_t position);
  // Ranks a candidate, keeping at most count_ entries.
  void Insert(std::int32_t distance, std::uint64_t position);
  // True when a candidate at `distance` arriving as `arrival` would rank
  // among the first N.
  bool WouldRank(std::int32_t distance, std::uint64_t arrival) const;
  // Moves the ranking into the table, nearest first.
  void FillTable();
  int HandOut(std::size_t index, char* name, int name_length);
  bool RefuseInvalidCriteria();

  std::int32_t x_;
  std::int32_t y_;
  std::size_t count_;
  bool exact_;
  lumetra::Rect outer_;  // the exact search's outermost square
  std::vector<Entry> table_;
  // The ring's ranking: a max-heap by (distance, arrival), at most count_.
  std::vector<Ranked> ranked_;
  std::uint64_t arrivals_ = 0;
  lumetra::PointDistance from_;
  std::size_t next_ = 0;  // the entry FindNext hands out
  std::int32_t last_ring_ = 0;
  int rounds_ = 0;
  std::unique_ptr<ObjectFilter> filter_;
  bool criteria_valid_ = true;
  char criteria_message_[kMessageSize] = {};
};

#endif  // LUMETRA_SEARCH_NEAREST_SEARCH_H
