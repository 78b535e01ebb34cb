// EdgeIndex: horizontal stripes over the edges of one polygon object, so
// that the point-in-polygon rule (point_in_object.h) looks only at the edges
// near the point's line instead of walking every ring.
//
// The object's y range is cut into equal stripes of whole units; each stripe
// lists every edge whose closed y range meets it (an edge from P_i to
// P_i+1, the closing edge of each ring included).  For a point at py only
// the stripe holding py is read, and of its edges only those that touch the
// line y = py matter to the rule:
//   * an edge whose ends lie strictly on opposite sides of the line is a
//     crossing, tested exactly as the ring walk tests it (the same crossing
//     x, computed from P_i to P_i+1, the same half-unit boundary test);
//   * an edge that comes from off the line onto it starts a run of points on
//     the line; the run is followed along the ring and judged exactly as the
//     ring walk judges it (boundary hits along it, one crossing when the
//     boundary leaves to the other side and the point lies right of it);
//   * every other edge touching the line belongs to such a run and is not
//     looked at by itself.
// The ring walk reaches the same crossings and runs in ring order, so the
// answer -- 1 on a boundary hit, else the crossings left of the point -- is
// identical, count included.  A ring whose points all share one y (it has no
// side to come from) is left to the ring walk.
//
// Memory: 4 bytes per stripe entry plus 4 per stripe; Build picks the
// stripe count so that the entries stay within a few times the edge count
// and the whole index within the caller's byte limit.
//
// The index refers to the object's points by their place in one contiguous
// array; it must be used with the parts it was built from.  Immutable after
// Build; may be read by several threads.
#ifndef LUMETRA_SEARCH_EDGE_INDEX_H
#define LUMETRA_SEARCH_EDGE_INDEX_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "search/point_in_object.h"

namespace lumetra {

class EdgeIndex {
 public:
  // Objects with fewer points are answered faster by the ring walk.
  static constexpr std::size_t kMinPoints = 16;

  // The index of the `part_count` parts, or null when it would take more
  // than `max_bytes`, when the object has fewer than `min_points` points, or
  // when the parts do not lie one after another in one array.
  static std::unique_ptr<EdgeIndex> Build(const PolygonPart* parts, std::size_t part_count,
                                          std::size_t max_bytes,
                                          std::size_t min_points = kMinPoints);

  // PointInObject(parts, part_count, px, py) for the parts the index was
  // built from.
  int PointIn(const PolygonPart* parts, std::size_t part_count, std::int32_t px,
              std::int32_t py) const;

  std::size_t bytes() const;
  std::size_t stripe_count() const { return offsets_.empty() ? 0 : offsets_.size() - 1; }
  std::size_t entry_count() const { return entries_.size(); }
  // The stripes' y range and height in units: stripe s covers about
  // [miny + s * height, miny + (s + 1) * height).
  std::int32_t miny() const { return miny_; }
  std::int64_t stripe_height() const { return height_; }

 private:
  // Marks an entry that is the closing edge of a ring (from its last point
  // to its first); such an entry holds the ring's number, not a point's.
  static constexpr std::uint32_t kClosing = 0x80000000u;

  EdgeIndex() = default;
  // The stripe of y (REQUIRES: miny_ <= y <= maxy_).  Building and querying
  // use this one function, so any non-decreasing one serves: a
  // multiplication by the height's reciprocal, not a division.
  std::size_t StripeOf(std::int32_t y) const {
    const auto s = static_cast<std::size_t>(static_cast<double>(std::int64_t{y} - miny_) * per_);
    return s < stripes_ ? s : stripes_ - 1;
  }
  // The index of the point after `i` along its ring.
  std::uint32_t Next(std::uint32_t i) const;
  // Fills offsets_ and entries_ for `stripes` stripes over the edges of the
  // rings that are not flat.
  void Fill(std::size_t stripes);
  // Cuts the y range into (about) `stripes` stripes of whole units.
  void SetStripes(std::size_t stripes);
  // The entries `stripes` stripes need (and sets them).
  std::uint64_t CountEntries(std::size_t stripes);
  // Judges the run of points on the line starting at index j, entered from
  // `from`: true on a boundary hit, else adds its crossing to *count.
  bool Run(std::uint32_t j, const RecordPoint& from, std::int32_t px, std::int32_t py,
           int* count) const;

  const RecordPoint* base_ = nullptr;
  std::vector<std::uint32_t> ring_starts_;  // first point of each ring, ascending
  std::vector<std::uint32_t> ring_ends_;    // one past the last point of each ring
  std::vector<std::size_t> flat_parts_;     // parts left to the ring walk
  std::int32_t miny_ = 0;
  std::int32_t maxy_ = 0;
  std::int64_t height_ = 1;  // units per stripe
  double per_ = 1;           // stripes per unit
  std::size_t stripes_ = 1;
  std::vector<std::uint32_t> offsets_;  // stripe s: entries_[offsets_[s] .. offsets_[s + 1])
  std::vector<std::uint32_t> entries_;  // edge start point, or ring | kClosing
};

}  // namespace lumetra

#endif  // LUMETRA_SEARCH_EDGE_INDEX_H
