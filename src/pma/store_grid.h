// CpmaStoreGrid: a uniform bucket grid over the positions of a store list,
// for finding the stores inside a rectangle without scanning the list.
//
// The grid covers the stores' bounding box with about one cell per store
// (never more than four per store), each cell holding the positions of its
// stores in list order.  A query answers exactly the stores a scan of the
// list with the same rectangle test would find, in list order.
//
// REQUIRES: the store list outlives the grid and does not change between
// Build and the last Query.  Thread rule: one thread at a time.
#ifndef LUMETRA_PMA_STORE_GRID_H
#define LUMETRA_PMA_STORE_GRID_H

#include <cstdint>
#include <vector>

#include "pma/store_list.h"

class CpmaStoreGrid {
 public:
  // Sorts the first stores.count() records of `stores` into buckets.
  // Throws std::bad_alloc.
  void Build(const CpmaStoreList& stores);

  // Replaces *out with the positions, ascending, of the stores with
  // min_x <= x <= max_x and min_y <= y <= max_y.
  void Query(double min_x, double min_y, double max_x, double max_y, std::vector<int>* out) const;

 private:
  // The cell range [first, last] of [low, high] along one axis; false when
  // it misses the grid.
  static bool CellRange(double low, double high, std::int64_t origin, std::int64_t cell, int cells,
                        int* first, int* last);

  const CpmaStoreList* stores_ = nullptr;
  std::int64_t origin_x_ = 0;
  std::int64_t origin_y_ = 0;
  std::int64_t cell_width_ = 1;
  std::int64_t cell_height_ = 1;
  int columns_ = 0;
  int rows_ = 0;
  std::vector<int> cell_start_;  // columns * rows + 1 offsets into items_
  std::vector<int> items_;       // store positions by cell, ascending within a cell
};

#endif  // LUMETRA_PMA_STORE_GRID_H
