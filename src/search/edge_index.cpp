#include "search/edge_index.h"

#include <algorithm>
#include <new>

namespace lumetra {

namespace {

// Stripe entries allowed per edge: long edges span several stripes; beyond
// this the stripes are made taller.
constexpr std::uint64_t kEntriesPerEdge = 4;
// Edges per stripe the first choice of stripe count aims at.
constexpr std::size_t kEdgesPerStripe = 4;

}  // namespace

std::unique_ptr<EdgeIndex> EdgeIndex::Build(const PolygonPart* parts, std::size_t part_count,
                                            std::size_t max_bytes, std::size_t min_points) {
  if (parts == nullptr || part_count == 0 || parts[0].points == nullptr) return nullptr;
  std::unique_ptr<EdgeIndex> index(new (std::nothrow) EdgeIndex());
  if (index == nullptr) return nullptr;
  index->base_ = parts[0].points;
  std::uint64_t total = 0;
  bool any = false;
  for (std::size_t i = 0; i < part_count; ++i) {
    const PolygonPart& part = parts[i];
    if (part.points != index->base_ + total) return nullptr;  // not one array
    if (part.count == 0) continue;
    std::int32_t lo = part.points[0].y;
    std::int32_t hi = lo;
    for (std::size_t k = 1; k < part.count; ++k) {
      lo = std::min(lo, part.points[k].y);
      hi = std::max(hi, part.points[k].y);
    }
    if (lo == hi) {
      index->flat_parts_.push_back(i);
    } else {
      index->ring_starts_.push_back(static_cast<std::uint32_t>(total));
      index->ring_ends_.push_back(static_cast<std::uint32_t>(total + part.count));
      index->miny_ = any ? std::min(index->miny_, lo) : lo;
      index->maxy_ = any ? std::max(index->maxy_, hi) : hi;
      any = true;
    }
    total += part.count;
    if (total >= kClosing) return nullptr;
  }
  if (!any || total < min_points) return nullptr;
  std::size_t stripes = std::max<std::size_t>(1, static_cast<std::size_t>(total) / kEdgesPerStripe);
  for (;;) {
    const std::uint64_t entries = index->CountEntries(stripes);
    const std::uint64_t bytes = 4 * (entries + stripes + 1) +
                                8 * std::uint64_t{index->ring_starts_.size()} + sizeof(EdgeIndex);
    if (entries <= kEntriesPerEdge * total && bytes <= max_bytes) break;
    if (stripes == 1) return nullptr;  // too big even as one stripe
    stripes /= 2;
  }
  index->Fill(stripes);
  return index;
}

void EdgeIndex::SetStripes(std::size_t stripes) {
  const std::int64_t span = std::int64_t{maxy_} - miny_ + 1;
  const auto k = static_cast<std::int64_t>(stripes);
  height_ = std::max<std::int64_t>(1, (span + k - 1) / k);
  stripes_ = static_cast<std::size_t>((span - 1) / height_ + 1);
  per_ = 1.0 / static_cast<double>(height_);
}

std::uint64_t EdgeIndex::CountEntries(std::size_t stripes) {
  SetStripes(stripes);
  std::uint64_t entries = 0;
  for (std::size_t r = 0; r < ring_starts_.size(); ++r) {
    const std::uint32_t first = ring_starts_[r];
    const std::uint32_t end = ring_ends_[r];
    for (std::uint32_t i = first; i < end; ++i) {
      const std::int32_t y0 = base_[i].y;
      const std::int32_t y1 = base_[i + 1 < end ? i + 1 : first].y;
      entries += StripeOf(std::max(y0, y1)) - StripeOf(std::min(y0, y1)) + 1;
    }
  }
  return entries;
}

void EdgeIndex::Fill(std::size_t stripes) {
  SetStripes(stripes);
  const std::size_t count = stripes_;
  offsets_.assign(count + 1, 0);
  // Counting sort by stripe: first the sizes, then the entries, each stripe
  // listing its edges in ring order.
  const auto for_each_edge = [this](auto&& visit) {
    for (std::size_t r = 0; r < ring_starts_.size(); ++r) {
      const std::uint32_t first = ring_starts_[r];
      const std::uint32_t end = ring_ends_[r];
      for (std::uint32_t i = first; i < end; ++i) {
        const bool closing = i + 1 == end;
        const std::int32_t y0 = base_[i].y;
        const std::int32_t y1 = base_[closing ? first : i + 1].y;
        const std::uint32_t entry = closing ? static_cast<std::uint32_t>(r) | kClosing : i;
        visit(entry, StripeOf(std::min(y0, y1)), StripeOf(std::max(y0, y1)));
      }
    }
  };
  for_each_edge([this](std::uint32_t, std::size_t lo, std::size_t hi) {
    for (std::size_t s = lo; s <= hi; ++s) ++offsets_[s + 1];
  });
  for (std::size_t s = 0; s < count; ++s) offsets_[s + 1] += offsets_[s];
  entries_.resize(offsets_[count]);
  std::vector<std::uint32_t> next(offsets_.begin(), offsets_.end() - 1);
  for_each_edge([this, &next](std::uint32_t entry, std::size_t lo, std::size_t hi) {
    for (std::size_t s = lo; s <= hi; ++s) entries_[next[s]++] = entry;
  });
}

std::uint32_t EdgeIndex::Next(std::uint32_t i) const {
  const auto ring = std::upper_bound(ring_starts_.begin(), ring_starts_.end(), i) - 1;
  const std::uint32_t end = ring_ends_[static_cast<std::size_t>(ring - ring_starts_.begin())];
  return i + 1 < end ? i + 1 : *ring;
}

bool EdgeIndex::Run(std::uint32_t j, const RecordPoint& from, std::int32_t px, std::int32_t py,
                    int* count) const {
  // As the ring walk: the first comparison is the run's first point with
  // itself, then each horizontal step along the run.
  RecordPoint last = base_[j];
  std::uint32_t k = j;
  std::uint32_t after = j;
  for (;;) {
    if (Between(px, last.x, base_[k].x)) return true;
    last = base_[k];
    after = Next(k);
    if (base_[after].y != py) break;
    k = after;
  }
  const RecordPoint& w = base_[after];
  if ((w.y > py) != (from.y > py)) {
    const std::int32_t a = base_[j].x;
    if (Between(px, a, last.x)) return true;
    if (px > a && px > last.x) ++*count;
  }
  return false;
}

int EdgeIndex::PointIn(const PolygonPart* parts, std::size_t part_count, std::int32_t px,
                       std::int32_t py) const {
  int total = 0;
  for (std::size_t i : flat_parts_) {
    if (i >= part_count || parts[i].points == nullptr || parts[i].points[0].y != py) continue;
    bool hit = false;
    const int count = PointInPart(parts[i], px, py, &hit);
    if (hit) return 1;
    total += count;
  }
  if (py < miny_ || py > maxy_) return total;
  const std::size_t s = StripeOf(py);
  const std::uint32_t* e = entries_.data() + offsets_[s];
  const std::uint32_t* end = entries_.data() + offsets_[s + 1];
  for (; e != end; ++e) {
    std::uint32_t i = *e;
    std::uint32_t j = i + 1;
    if ((i & kClosing) != 0) {
      const std::uint32_t ring = i & ~kClosing;
      i = ring_ends_[ring] - 1;
      j = ring_starts_[ring];
    }
    const RecordPoint& a = base_[i];
    if (a.y == py) continue;  // part of a run, judged from the edge entering it
    const RecordPoint& b = base_[j];
    if (b.y == py) {
      if (Run(j, a, px, py, &total)) return 1;
    } else if ((a.y > py) != (b.y > py)) {
      if (CrossingHit(a, b, px, py, &total)) return 1;
    }
  }
  return total;
}

std::size_t EdgeIndex::bytes() const {
  return sizeof(EdgeIndex) + 4 * (offsets_.capacity() + entries_.capacity()) +
         4 * (ring_starts_.capacity() + ring_ends_.capacity()) +
         sizeof(std::size_t) * flat_parts_.capacity();
}

}  // namespace lumetra
