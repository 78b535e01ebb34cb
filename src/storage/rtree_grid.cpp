#include "storage/rtree_grid.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace lumetra {

namespace {

constexpr std::int64_t kMaxCells = std::int64_t{1} << 22;
// Cells aimed at per entry: small cells list few entries each.
constexpr std::int64_t kCellsPerEntry = 4;
// Cell listings allowed: this many per entry, but at least kMinListed.
constexpr std::uint64_t kListedPerEntry = 8;
constexpr std::uint64_t kMinListed = 1u << 16;

std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }

}  // namespace

std::unique_ptr<RtreeGrid> RtreeGrid::Build(const std::vector<RtreeEntry>& entries,
                                            std::size_t max_bytes) {
  if (entries.size() >= 0xFFFFFFFFu) return nullptr;
  std::unique_ptr<RtreeGrid> grid(new (std::nothrow) RtreeGrid());
  if (grid == nullptr) return nullptr;
  const auto n = static_cast<std::int64_t>(entries.size());
  grid->rect_.reserve(entries.size());
  grid->value_.reserve(entries.size());
  for (const RtreeEntry& e : entries) {
    if (grid->rect_.empty()) grid->box_ = e.rect;
    grid->box_.Include(e.rect);
    grid->rect_.push_back(e.rect);
    grid->value_.push_back(e.value);
  }
  const std::int64_t width = std::int64_t{grid->box_.maxx} - grid->box_.minx + 1;
  const std::int64_t height = std::int64_t{grid->box_.maxy} - grid->box_.miny + 1;
  std::int64_t cells = std::clamp<std::int64_t>(kCellsPerEntry * n, 1, kMaxCells);
  const std::uint64_t allowed =
      std::max(kListedPerEntry * static_cast<std::uint64_t>(n), kMinListed);
  for (;;) {
    std::int64_t nx = std::llround(std::sqrt(static_cast<double>(cells) * width / height));
    nx = std::clamp<std::int64_t>(nx, 1, cells);
    const std::int64_t ny = std::max<std::int64_t>(1, cells / nx);
    const std::int64_t cell_w = std::max<std::int64_t>(1, CeilDiv(width, nx));
    const std::int64_t cell_h = std::max<std::int64_t>(1, CeilDiv(height, ny));
    grid->nx_ = CeilDiv(width, cell_w);
    grid->ny_ = CeilDiv(height, cell_h);
    grid->per_w_ = 1.0 / static_cast<double>(cell_w);
    grid->per_h_ = 1.0 / static_cast<double>(cell_h);
    if (cells == 1 || grid->CountListed() <= allowed) break;
    cells = std::max<std::int64_t>(1, cells / 4);
  }
  const std::uint64_t listed = grid->CountListed();
  const std::uint64_t bytes = 24 * static_cast<std::uint64_t>(n) +
                              4 * static_cast<std::uint64_t>(grid->nx_ * grid->ny_ + 1) +
                              4 * listed;
  if (bytes > max_bytes || listed >= 0xFFFFFFFFu) return nullptr;
  grid->Fill();
  return grid;
}

std::uint64_t RtreeGrid::CountListed() const {
  std::uint64_t listed = 0;
  for (const Rect& r : rect_) {
    listed += static_cast<std::uint64_t>((Column(r.maxx) - Column(r.minx) + 1) *
                                         (Row(r.maxy) - Row(r.miny) + 1));
  }
  return listed;
}

void RtreeGrid::Fill() {
  const auto cells = static_cast<std::size_t>(nx_ * ny_);
  offsets_.assign(cells + 1, 0);
  const auto for_each_cell = [this](const Rect& r, auto&& visit) {
    for (std::int64_t row = Row(r.miny); row <= Row(r.maxy); ++row) {
      for (std::int64_t col = Column(r.minx); col <= Column(r.maxx); ++col) {
        visit(static_cast<std::size_t>(row * nx_ + col));
      }
    }
  };
  for (const Rect& r : rect_) for_each_cell(r, [this](std::size_t c) { ++offsets_[c + 1]; });
  for (std::size_t c = 0; c < cells; ++c) offsets_[c + 1] += offsets_[c];
  cells_.resize(offsets_[cells]);
  std::vector<std::uint32_t> next(offsets_.begin(), offsets_.end() - 1);
  for (std::uint32_t seq = 0; seq < rect_.size(); ++seq) {
    for_each_cell(rect_[seq], [&](std::size_t c) { cells_[next[c]++] = seq; });
  }
}

bool RtreeGrid::Collect(const Rect& q, std::vector<std::uint32_t>* out) const {
  // An inverted query can still meet entries, but it spans no cells: the
  // tree answers it.
  if (q.Inverted()) return false;
  if (rect_.empty() || !q.Meets(box_)) return true;
  const std::int64_t c0 = Column(std::max(q.minx, box_.minx));
  const std::int64_t c1 = Column(std::min(q.maxx, box_.maxx));
  const std::int64_t r0 = Row(std::max(q.miny, box_.miny));
  const std::int64_t r1 = Row(std::min(q.maxy, box_.maxy));
  if ((c1 - c0 + 1) * (r1 - r0 + 1) > static_cast<std::int64_t>(kMaxQueryCells)) return false;
  if (c0 == c1 && r0 == r1) {
    // One cell: its entries are listed in sequence order, and every entry
    // meeting the query is reported from it.
    const auto c = static_cast<std::size_t>(r0 * nx_ + c0);
    for (std::uint32_t k = offsets_[c]; k < offsets_[c + 1]; ++k) {
      if (rect_[cells_[k]].Meets(q)) out->push_back(cells_[k]);
    }
    return true;
  }
  const std::size_t start = out->size();
  for (std::int64_t row = r0; row <= r1; ++row) {
    for (std::int64_t col = c0; col <= c1; ++col) {
      const auto c = static_cast<std::size_t>(row * nx_ + col);
      for (std::uint32_t k = offsets_[c]; k < offsets_[c + 1]; ++k) {
        const std::uint32_t seq = cells_[k];
        const Rect& e = rect_[seq];
        if (!e.Meets(q)) continue;
        // Report from the cell of the overlap's lowest corner only.
        if (Column(std::max(e.minx, q.minx)) != col || Row(std::max(e.miny, q.miny)) != row) {
          continue;
        }
        out->push_back(seq);
      }
    }
  }
  std::sort(out->begin() + static_cast<std::ptrdiff_t>(start), out->end());
  return true;
}

std::size_t RtreeGrid::bytes() const {
  return sizeof(RtreeGrid) + sizeof(Rect) * rect_.capacity() +
         sizeof(std::uint64_t) * value_.capacity() +
         sizeof(std::uint32_t) * (offsets_.capacity() + cells_.capacity());
}

}  // namespace lumetra
