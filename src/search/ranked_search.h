// The ranked containing search: the objects that contain a point or lie
// within a maximum distance of it, ranked by signed distance -- the deepest
// containing object first, then border hits, then outside objects nearest
// first -- and handed out best first while a square search ring widens
// step by step, no object being examined twice.
//
// SpatialPolygonNode is one ranked candidate; NearbyObjectSet holds every
// candidate examined since the search began; RankedContainingSearch (one
// per object-file handle) keeps the result list with its cursor and the
// ring state.
//
// Rings.  The first ring is the maximum itself below 200, otherwise
// maximum / f + 1 with f = trunc(1.414^floor(ln q' / ln 1.414) + 0.5),
// q = maximum / 100 and q' = q / 10 when q > 100, else q (so 10000 starts
// at 112).  Each further ring is trunc(1.414 x ring), never beyond the
// maximum.  A ring of d feet is searched as the square of half-sides
// trunc(d x 2.7448397013614403 + 0.5) in y and the same divided by the
// cosine of the point's latitude in x, in every file (the conversion from
// feet to millionths of a degree).
//
// Ranking.  Each examined object gets its border distance (BorderDistance
// of border_distance.h) and the flags bit 0 inside (regions only), bit 1
// within the maximum distance; objects with flags enter the set, with the
// distance negated for those only near.  A ring's answer is every entry of
// the set with |signed distance| <= ring, or inside.  Entries are ordered
// by signed distance descending, ties by the low half of the record
// position ascending (insertion sort below 16 entries, a partition sort
// above).  Entries already handed out keep their places: a wider ring only
// adds its new entries, sorted, after them -- which is where the ranking
// puts them anyway, since a wider ring only adds objects farther out.
//
// Examined objects are remembered by the low half of their record
// position, so in files beyond 4 GiB two objects whose positions differ by
// a multiple of 4 GiB count as one.
//
// Units: coordinates i32 file units; distances in feet in geographic files
// and in coordinate units otherwise (the rings are converted as feet).
// Thread rule: one thread at a time (the handle's).
#ifndef LUMETRA_SEARCH_RANKED_SEARCH_H
#define LUMETRA_SEARCH_RANKED_SEARCH_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "storage/hash_map.h"
#include "storage/spatial_index.h"

class PolygonObject;
class PolySearchInRectangle;

class SpatialPolygonNode {
 public:
  static constexpr std::size_t kNameSize = 128;
  static constexpr std::uint32_t kInside = 1;  // the point lies inside (regions)
  static constexpr std::uint32_t kNear = 2;    // the border lies within the maximum

  SpatialPolygonNode() = default;
  SpatialPolygonNode(const SpatialPolygonNode&) = default;
  SpatialPolygonNode& operator=(const SpatialPolygonNode&) = default;
  virtual ~SpatialPolygonNode();

  // Stores the candidate; `name` (null reads as "") is cut at 127
  // characters.
  virtual void Set(const char* name, std::uint32_t flags, std::int32_t signed_distance,
                   std::uint32_t low, std::uint32_t high);

  const char* name() const { return name_; }
  std::uint32_t flags() const { return flags_; }
  std::int32_t signed_distance() const { return signed_distance_; }
  std::uint32_t low() const { return low_; }
  std::uint32_t high() const { return high_; }
  std::uint64_t position() const { return (std::uint64_t{high_} << 32) | low_; }

  // The ranking: true when `a` comes before `b` (signed distance
  // descending, then low half ascending).
  static bool RanksBefore(const SpatialPolygonNode& a, const SpatialPolygonNode& b);

 private:
  std::int32_t signed_distance_ = 0;
  std::uint32_t flags_ = 0;
  std::uint32_t low_ = 0;
  std::uint32_t high_ = 0;
  char name_[kNameSize] = {};
};

// The candidates examined so far by one ranked search.
class NearbyObjectSet {
 public:
  // For the point (x, y) and the maximum distance `maximum`.
  NearbyObjectSet(std::int32_t x, std::int32_t y, std::int32_t maximum);
  NearbyObjectSet(const NearbyObjectSet&) = delete;
  NearbyObjectSet& operator=(const NearbyObjectSet&) = delete;

  // Runs `search`, a rectangle search not yet started, to its end and
  // examines every object it returns that was not examined before (the
  // others are not even loaded).  1; -1 when the search fails or the set
  // cannot grow (recorded in the search's error record).
  int Examine(PolySearchInRectangle& search);

  // Every candidate with flags, in the order examined.
  const std::vector<SpatialPolygonNode>& nodes() const { return nodes_; }
  // Objects examined (with or without flags).
  std::uint32_t examined_count() const { return seen_.count(); }
  bool WasExamined(std::uint64_t position);

 private:
  void ExamineObject(PolygonObject& object, std::uint64_t position, const char* name);

  std::int32_t x_;
  std::int32_t y_;
  std::int32_t maximum_;
  QHashMap seen_;  // low halves of the examined positions
  std::vector<SpatialPolygonNode> nodes_;
};

class RankedContainingSearch {
 public:
  static constexpr std::size_t kInitialCapacity = 1000;
  static constexpr double kRingGrowth = 1.414;
  static constexpr std::int32_t kSmallMaximum = 200;
  static constexpr std::size_t kInsertionSortLimit = 16;

  // Installs a fresh rectangle search over the rectangle as the handle's
  // current search and returns it (null on failure).
  using RectSearchStarter = std::function<PolySearchInRectangle*(const lumetra::Rect& rect)>;

  RankedContainingSearch();
  RankedContainingSearch(const RankedContainingSearch&) = delete;
  RankedContainingSearch& operator=(const RankedContainingSearch&) = delete;
  ~RankedContainingSearch();

  // Starts a ranked search for (x, y) within `maximum`: the flags of the
  // best entry (1, 2 or 3) with its name copied out; 0 when nothing lies
  // within the maximum; -1 on failure.
  int FindFirst(std::int32_t x, std::int32_t y, std::int32_t maximum,
                const RectSearchStarter& start, char* name, int name_length);
  // Moves the cursor on, widening the ring when the list is used up: the
  // next entry's flags; 0 when there is none; -1 on failure.
  // REQUIRES: on_entry().
  int FindNext(const RectSearchStarter& start, char* name, int name_length);

  // Empties the list (cursor at its end) and forgets the ring state.
  void Clear();
  // True while the cursor stands on an entry.
  bool on_entry() const { return cursor_ < list_.size(); }
  // The entry under the cursor, or null.
  const SpatialPolygonNode* Current() const { return on_entry() ? &list_[cursor_] : nullptr; }
  // The goto of an object handle: when the cursor stands on an entry whose
  // low half differs from the position's, the cursor moves to the entry
  // with the same position, or to the end when there is none.
  void Seek(std::uint64_t position);

  const std::vector<SpatialPolygonNode>& list() const { return list_; }
  std::size_t cursor() const { return cursor_; }
  // The last ring searched, -1 before the first.
  std::int32_t ring() const { return ring_; }
  std::int32_t maximum() const { return maximum_; }
  const NearbyObjectSet* set() const { return set_.get(); }

  // The first ring for a maximum distance.
  static std::int32_t StartingDistance(std::int32_t maximum);
  // The ring after `ring`: trunc(ring x 1.414), at most `maximum`, and
  // always wider than `ring` while below the maximum.
  static std::int32_t GrowRing(std::int32_t ring, std::int32_t maximum);
  // The square searched for a ring of d feet around (x, y).
  static lumetra::Rect RingRect(std::int32_t x, std::int32_t y, std::int32_t d);
  // Sorts [from, end) of `list` by RanksBefore.
  static void Sort(std::vector<SpatialPolygonNode>* list, std::size_t from);

 private:
  // Searches rings until one adds entries (1, cursor on the first new
  // entry) or the maximum is reached (0, cursor at the end); -1 on failure.
  int NextRing(const RectSearchStarter& start);
  // Copies the entry's name out and answers its flags.
  int AnswerCurrent(char* name, int name_length) const;

  std::vector<SpatialPolygonNode> list_;
  std::size_t cursor_ = 0;
  std::int32_t ring_ = -1;
  std::int32_t maximum_ = 0;
  std::int32_t x_ = 0;
  std::int32_t y_ = 0;
  std::unique_ptr<NearbyObjectSet> set_;
  // listed_[i]: node i of the set is in the list.
  std::vector<bool> listed_;
  bool cleared_ = true;  // nothing to clear since the last Clear
};

#endif  // LUMETRA_SEARCH_RANKED_SEARCH_H
