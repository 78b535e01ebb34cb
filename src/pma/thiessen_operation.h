// CpmaThiessenOperation: the radius-limited Thiessen cell of a store -- the
// part of its ring that lies closer to it than to any other store -- so the
// cells of one radius never overlap.
//
// The cell is built in a scaled space in which distances are round: x
// offsets from the store are multiplied by cos(latitude) in geographic mode
// (1 in planar mode) and the radius R is in y units (miles / 69 degrees in
// geographic mode).  Only stores within 2R can cut the cell.  Those
// neighbours are taken in store-list order, a store at the same position
// as the one before it in the list being skipped, and each cuts the ring by
// the perpendicular bisector between it and the store, keeping the store's
// side (points on the bisector stay).  Vertices are truncated to integers
// in the scaled space and mapped back at the end.
//
// The neighbours come from a bucket grid over the store list (built once
// per store list, on the first cell that needs it), or, for short lists, a
// scan of the list; both give the same neighbours in the same order, so the
// cells are identical.  The working polygon grows as needed: a cell has at
// most the ring's vertices plus one per neighbour.
//
// REQUIRES: the store list given to Prepare outlives the builds.  A list
// changed since the grid was built gets a new grid.  Thread rule: one thread at a time.
#ifndef LUMETRA_PMA_THIESSEN_OPERATION_H
#define LUMETRA_PMA_THIESSEN_OPERATION_H

#include <cstdint>
#include <vector>

#include "pma/pma_operation.h"
#include "pma/point_list.h"
#include "pma/store_grid.h"
#include "pma/store_list.h"

class CpmaThiessenOperation : public CpmaOperation {
 public:
  enum class NeighbourSearch { kAuto, kLinearScan, kBucketGrid };
  // kAuto scans lists up to this many stores and uses the grid beyond.
  static constexpr int kGridThreshold = 64;

  // Makes `stores` the list the next cells are built in (null: none).
  void Prepare(const CpmaStoreList* stores);

  // Builds the cell of store `store` (a position in the list) into *out
  // (reset first): 1, or -4 (no store list), -1, -2, -3 (the ring checks),
  // -6 (no memory).  Radius 0 leaves *out empty.
  int Build(int store, int segments, bool geographic, double radius, CpmaPointList* out);

  // The neighbours of the last cell built, at their scaled positions, each
  // with its position in the store list.
  const CpmaStoreList& neighbours() const { return neighbours_; }

  void SetNeighbourSearchForTest(NeighbourSearch search) { search_ = search; }

 private:
  struct Vertex {
    double x;
    double y;
  };

  void FindNeighbours(double two_r);
  void Clip(const CpmaStoreRecord& neighbour);
  double BisectorValue(const Vertex& p) const;
  bool Crossing(const Vertex& p, double fp, const Vertex& q, double fq, Vertex* at) const;

  const CpmaStoreList* stores_ = nullptr;
  NeighbourSearch search_ = NeighbourSearch::kAuto;
  CpmaStoreGrid grid_;
  bool grid_ready_ = false;
  std::uint64_t grid_version_ = 0;  // the list's version the grid was built from
  std::vector<int> candidates_;

  // The store whose cell is being built.
  CpmaStoreRecord store_;
  double scale_ = 1.0;
  CpmaStoreList neighbours_;

  // The current bisector: y = my (horizontal), x = mx (vertical) or
  // y = m x + b, and the sign of the store's side.
  enum class Bisector { kHorizontal, kVertical, kSloped } bisector_ = Bisector::kSloped;
  double mx_ = 0, my_ = 0, m_ = 0, b_ = 0, store_side_ = 0;

  // The working polygon and its next state, used alternately.
  std::vector<Vertex> polygon_;
  std::vector<Vertex> next_;
  std::vector<double> values_;
};

#endif  // LUMETRA_PMA_THIESSEN_OPERATION_H
