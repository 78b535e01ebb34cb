// RtreeGrid: every leaf entry of an R-tree in a uniform grid of cells, so
// that a small query finds its candidates by looking at a few cells instead
// of walking nodes of up to 1363 entries.
//
// Entries are numbered in the order a depth-first enumeration of the tree
// reaches them (its "sequence"), and a query answers their numbers in that
// order, so candidates come out exactly as the tree's own enumeration hands
// them out -- provided the tree's enumeration reaches each leaf entry that
// meets a query exactly once and only then.  rtSpatialIndex builds a grid
// only for a tree it has checked to be so (every node reached once, levels
// in order, every entry within its parent's rectangle, no inverted
// rectangle).
//
// Cells: the grid covers the union of the entries' rectangles with about
// one cell per entry (fewer when large rectangles would be listed in too
// many cells); each cell lists the entries whose rectangles meet it.  A
// query reports an entry only from the cell holding the lowest corner of
// the entry's overlap with the query, so each entry once, without a set.
// Queries covering more than kMaxQueryCells cells are left to the tree.
//
// Immutable after Build; may be read by several threads.
#ifndef LUMETRA_STORAGE_RTREE_GRID_H
#define LUMETRA_STORAGE_RTREE_GRID_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "storage/rtree_node.h"
#include "storage/spatial_index.h"

namespace lumetra {

class RtreeGrid {
 public:
  static constexpr std::size_t kMaxQueryCells = 4096;

  // The grid of `entries` (in enumeration order; their rectangles not
  // inverted), or null when it would take more than `max_bytes`.
  static std::unique_ptr<RtreeGrid> Build(const std::vector<RtreeEntry>& entries,
                                          std::size_t max_bytes);

  // Appends to `out` the sequence numbers of the entries meeting `query`,
  // ascending.  False, with `out` unchanged, when the query covers too many
  // cells for the grid to pay or is inverted.
  bool Collect(const Rect& query, std::vector<std::uint32_t>* out) const;

  std::size_t size() const { return value_.size(); }
  const Rect& rect(std::uint32_t seq) const { return rect_[seq]; }
  std::uint64_t value(std::uint32_t seq) const { return value_[seq]; }
  std::size_t bytes() const;
  std::size_t cell_count() const { return static_cast<std::size_t>(nx_) * ny_; }

 private:
  RtreeGrid() = default;
  // The cell column and row of x and y, clamped to the grid.  Any function
  // that does not decrease serves, as long as building and querying use the
  // same one: a multiplication by the cell size's reciprocal, not a division.
  std::int64_t Column(std::int64_t x) const {
    return Clamp(static_cast<std::int64_t>(static_cast<double>(x - box_.minx) * per_w_), nx_);
  }
  std::int64_t Row(std::int64_t y) const {
    return Clamp(static_cast<std::int64_t>(static_cast<double>(y - box_.miny) * per_h_), ny_);
  }
  static std::int64_t Clamp(std::int64_t v, std::int64_t n) {
    return v < 0 ? 0 : v >= n ? n - 1 : v;
  }
  // Cell listings the current cells need.
  std::uint64_t CountListed() const;
  void Fill();

  Rect box_;
  std::int64_t nx_ = 1;
  std::int64_t ny_ = 1;
  double per_w_ = 1;  // cells per unit of x
  double per_h_ = 1;
  std::vector<Rect> rect_;              // by sequence number
  std::vector<std::uint64_t> value_;    // by sequence number
  std::vector<std::uint32_t> offsets_;  // cell c: cells_[offsets_[c] .. offsets_[c + 1])
  std::vector<std::uint32_t> cells_;    // sequence numbers, ascending within a cell
};

}  // namespace lumetra

#endif  // LUMETRA_STORAGE_RTREE_GRID_H
