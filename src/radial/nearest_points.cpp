#include "radial/nearest_points.h"

#include <algorithm>
#include <cmath>

namespace lumetra {

namespace {

// Half-sizes never grow beyond this: from any centre, a window of 2^33
// units covers the whole i32 range.
constexpr double kMaxHalf = 8589934592.0;
// Below this x half-size the window grows faster than by doubling.
constexpr double kMinGrowth = 1000.0;

// trunc(d / scale) + 1, bounded; a scale of 0 (at a pole) reaches as far
// as any window can.
double FirstHalfSize(double distance, double scale) {
  const double reach = std::trunc(distance / std::fabs(scale));
  if (!(reach < kMaxHalf)) return kMaxHalf;  // infinite or NaN too
  return reach + 1;
}

}  // namespace

int NearestPoints::Search(KdTree& tree, RangeWalker& walker, const RadialQuery& query,
                          std::size_t count, bool geographic) {
  Clear();
  const RadialNode* parent = tree.Descend(query.x, query.y);
  if (tree.count() == 0) return 0;
  const std::size_t room = std::min(count, tree.count());
  heap_.reserve(room);
  results_.reserve(room);

  const double d = query.DistanceTo(*parent);
  double hx = FirstHalfSize(d, query.x_scale);
  double hy = FirstHalfSize(d, query.y_scale);
  for (bool first = true;; first = false) {
    const RadialRect window =
        SearchWindow(query.x - hx, query.y - hy, query.x + hx, query.y + hy, geographic);
    if (!first && window == last_window_) break;  // it can grow no further
    last_window_ = window;
    const std::size_t seen = Collect(tree, walker, query, count, window);
    if (results_.size() >= count || seen >= tree.count()) break;
    hx = std::min(2 * hx, kMaxHalf);
    hy = std::min(2 * hy, kMaxHalf);
    if (hx < kMinGrowth) {
      const double factor = std::floor(kMinGrowth / hx) + 1;
      hx = std::min(hx * factor, kMaxHalf);
      hy = std::min(hy * factor, kMaxHalf);
    }
  }
  return results_.empty() ? 0 : 1;
}

std::size_t NearestPoints::Collect(KdTree& tree, RangeWalker& walker, const RadialQuery& query,
                                   std::size_t count, const RadialRect& window) {
  heap_.clear();
  std::size_t seen = 0;
  walker.Start(tree, window);
  while (const RadialNode* node = walker.Next()) {
    const Candidate candidate{query.DistanceTo(*node), seen++, node};
    if (heap_.size() < count) {
      heap_.push_back(candidate);
      std::push_heap(heap_.begin(), heap_.end());
    } else if (candidate < heap_.front()) {
      std::pop_heap(heap_.begin(), heap_.end());
      heap_.back() = candidate;
      std::push_heap(heap_.begin(), heap_.end());
    }
  }
  std::sort_heap(heap_.begin(), heap_.end());
  results_.clear();
  for (const Candidate& c : heap_) results_.push_back(Result{c.distance, c.node});
  return seen;
}

}  // namespace lumetra
