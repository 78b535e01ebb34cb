#include "pma/store_grid.h"

#include <algorithm>
#include <cmath>

namespace {

std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }

}  // namespace

void CpmaStoreGrid::Build(const CpmaStoreList& stores) {
  stores_ = &stores;
  const int n = stores.count();
  columns_ = rows_ = 0;
  cell_start_.assign(1, 0);
  items_.clear();
  if (n == 0) return;
  std::int64_t min_x = stores[0].x, max_x = min_x, min_y = stores[0].y, max_y = min_y;
  for (int i = 1; i < n; ++i) {
    min_x = std::min<std::int64_t>(min_x, stores[i].x);
    max_x = std::max<std::int64_t>(max_x, stores[i].x);
    min_y = std::min<std::int64_t>(min_y, stores[i].y);
    max_y = std::max<std::int64_t>(max_y, stores[i].y);
  }
  const std::int64_t span_x = max_x - min_x + 1;
  const std::int64_t span_y = max_y - min_y + 1;
  // Square cells of about one store each; a grid that the bounding box's
  // shape would make much larger gets coarser cells.
  double side = std::max(1.0, std::sqrt(static_cast<double>(span_x) * span_y / n));
  std::int64_t columns = 0, rows = 0;
  for (;; side *= 2) {
    columns = std::min<std::int64_t>(CeilDiv(span_x, static_cast<std::int64_t>(side)), 2 * n);
    rows = std::min<std::int64_t>(CeilDiv(span_y, static_cast<std::int64_t>(side)), 2 * n);
    if (columns * rows <= 4 * static_cast<std::int64_t>(n) + 16) break;
  }
  columns_ = static_cast<int>(columns);
  rows_ = static_cast<int>(rows);
  origin_x_ = min_x;
  origin_y_ = min_y;
  cell_width_ = CeilDiv(span_x, columns);
  cell_height_ = CeilDiv(span_y, rows);

  // Counting sort by cell keeps list order inside each cell.
  std::vector<int> cell_of(static_cast<std::size_t>(n));
  cell_start_.assign(static_cast<std::size_t>(columns_) * rows_ + 1, 0);
  for (int i = 0; i < n; ++i) {
    const auto c = static_cast<int>((stores[i].x - origin_x_) / cell_width_);
    const auto r = static_cast<int>((stores[i].y - origin_y_) / cell_height_);
    cell_of[static_cast<std::size_t>(i)] = r * columns_ + c;
    ++cell_start_[static_cast<std::size_t>(r * columns_ + c) + 1];
  }
  for (std::size_t k = 1; k < cell_start_.size(); ++k) cell_start_[k] += cell_start_[k - 1];
  items_.resize(static_cast<std::size_t>(n));
  std::vector<int> fill(cell_start_.begin(), cell_start_.end() - 1);
  for (int i = 0; i < n; ++i) {
    items_[static_cast<std::size_t>(fill[static_cast<std::size_t>(cell_of[i])]++)] = i;
  }
}

bool CpmaStoreGrid::CellRange(double low, double high, std::int64_t origin, std::int64_t cell,
                              int cells, int* first, int* last) {
  if (!(low <= high)) return false;
  const double a = std::floor((low - static_cast<double>(origin)) / static_cast<double>(cell));
  const double b = std::floor((high - static_cast<double>(origin)) / static_cast<double>(cell));
  if (b < 0 || a >= cells) return false;
  *first = a < 0 ? 0 : static_cast<int>(a);
  *last = b >= cells ? cells - 1 : static_cast<int>(b);
  return true;
}

void CpmaStoreGrid::Query(double min_x, double min_y, double max_x, double max_y,
                          std::vector<int>* out) const {
  out->clear();
  int c0 = 0, c1 = 0, r0 = 0, r1 = 0;
  if (columns_ == 0 || !CellRange(min_x, max_x, origin_x_, cell_width_, columns_, &c0, &c1) ||
      !CellRange(min_y, max_y, origin_y_, cell_height_, rows_, &r0, &r1)) {
    return;
  }
  const CpmaStoreList& stores = *stores_;
  for (int r = r0; r <= r1; ++r) {
    const auto row = static_cast<std::size_t>(r) * static_cast<std::size_t>(columns_);
    for (int k = cell_start_[row + static_cast<std::size_t>(c0)];
         k < cell_start_[row + static_cast<std::size_t>(c1) + 1]; ++k) {
      const int i = items_[static_cast<std::size_t>(k)];
      const CpmaStoreRecord& s = stores[i];
      if (s.x >= min_x && s.x <= max_x && s.y >= min_y && s.y <= max_y) out->push_back(i);
    }
  }
  std::sort(out->begin(), out->end());
}
