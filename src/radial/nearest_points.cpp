#include "radial/nearest_points.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace lumetra {

namespace {

// Half-sizes never grow beyond this: from any centre, a window of 2^33
// units covers the whole i32 range.
constexpr double kMaxHalf = 8589934592.0;
// Below this x half-size the window grows faster than by doubling.
constexpr double kMinGrowth = 1000.0;
// The rectangle of every i32 position.
constexpr RadialRect kWholePlane{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};

// trunc(d / scale) + 1, bounded; a scale of 0 (at a pole) reaches as far
// as any window can.
double FirstHalfSize(double distance, double scale) {
  const double reach = std::trunc(distance / std::fabs(scale));
  if (!(reach < kMaxHalf)) return kMaxHalf;  // infinite or NaN too
  return reach + 1;
}

// How far `value` lies outside [low, high].
double Outside(double value, std::int32_t low, std::int32_t high) {
  if (value < low) return low - value;
  if (value > high) return value - high;
  return 0;
}

}  // namespace

double RadialQuery::SquaredDistanceTo(const RadialRect& rect) const {
  const double dx = Outside(x, rect.min_x, rect.max_x) * x_scale;
  const double dy = Outside(y, rect.min_y, rect.max_y) * y_scale;
  return dx * dx + dy * dy;
}

double RadialQuery::FarthestIn(const RadialRect& rect) const {
  const double dx = std::max(std::fabs(x - double(rect.min_x)), std::fabs(rect.max_x - double(x)));
  const double dy = std::max(std::fabs(y - double(rect.min_y)), std::fabs(rect.max_y - double(y)));
  return std::sqrt(dx * x_scale * dx * x_scale + dy * y_scale * dy * y_scale);
}

int NearestPoints::Search(KdTree& tree, RangeWalker& walker, const RadialQuery& query,
                          std::size_t count, bool geographic) {
  Clear();
  if (tree.count() == 0) return 0;
  // The first window always holds the nearest point; beyond k = 1 a wider
  // ranking settles most windows without walking them.
  const std::size_t ranked =
      count == 1 ? 1 : std::min(tree.count(), std::max(count, count * kOversample));
  results_.reserve(ranked);
  heap_.reserve(ranked);
  pending_.reserve(2 * tree.depth() + 2);
  Rank(tree, query, ranked, kWholePlane);
  double hx = 0;
  double hy = 0;
  RadialRect window = FirstWindow(tree, query, geographic, &hx, &hy);
  for (;;) {
    last_window_ = window;
    const std::size_t inside = CountWithin(window);
    // The ranking knows the window's count when it ranked every point the
    // window can hold.
    const bool known =
        !skip_first_ranking_ &&
        (results_.size() == tree.count() || query.FarthestIn(window) < results_.back().distance);
    if (!skip_first_ranking_ && inside >= count) break;
    if (known && inside >= tree.count()) break;
    if (!known) {
      last_window_ = GrowWindow(tree, walker, count, geographic, query, window, hx, hy);
      Rank(tree, query, count, last_window_);
      break;
    }
    const RadialRect grown = Grow(query, geographic, &hx, &hy);
    if (grown == window) break;  // it can grow no further
    window = grown;
  }
  KeepWithin(last_window_, count);
  return results_.empty() ? 0 : 1;
}

RadialRect NearestPoints::FirstWindow(KdTree& tree, const RadialQuery& query, bool geographic,
                                      double* hx, double* hy) const {
  const RadialNode* parent = dive_end_ != nullptr ? dive_end_ : tree.Descend(query.x, query.y);
  const double d = query.DistanceTo(*parent);
  *hx = FirstHalfSize(d, query.x_scale);
  *hy = FirstHalfSize(d, query.y_scale);
  return SearchWindow(query.x - *hx, query.y - *hy, query.x + *hx, query.y + *hy, geographic);
}

RadialRect NearestPoints::Grow(const RadialQuery& query, bool geographic, double* hx, double* hy) {
  *hx = std::min(2 * *hx, kMaxHalf);
  *hy = std::min(2 * *hy, kMaxHalf);
  if (*hx < kMinGrowth) {
    const double factor = std::floor(kMinGrowth / *hx) + 1;
    *hx = std::min(*hx * factor, kMaxHalf);
    *hy = std::min(*hy * factor, kMaxHalf);
  }
  return SearchWindow(query.x - *hx, query.y - *hy, query.x + *hx, query.y + *hy, geographic);
}

RadialRect NearestPoints::GrowWindow(KdTree& tree, RangeWalker& walker, std::size_t count,
                                     bool geographic, const RadialQuery& query, RadialRect window,
                                     double hx, double hy) {
  for (;;) {
    std::size_t seen = 0;
    walker.Start(tree, window);
    while (seen < count && walker.Next() != nullptr) ++seen;
    if (seen >= count || seen >= tree.count()) return window;
    const RadialRect grown = Grow(query, geographic, &hx, &hy);
    if (grown == window) return window;
    window = grown;
  }
}

std::size_t NearestPoints::CountWithin(const RadialRect& window) const {
  std::size_t inside = 0;
  for (const Result& r : results_) inside += window.Contains(r.node->x, r.node->y) ? 1 : 0;
  return inside;
}

void NearestPoints::KeepWithin(const RadialRect& window, std::size_t count) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < results_.size() && kept < count; ++i) {
    if (window.Contains(results_[i].node->x, results_[i].node->y)) results_[kept++] = results_[i];
  }
  results_.resize(kept);
}

void NearestPoints::Offer(const Candidate& candidate, std::size_t count) {
  if (sorted_) {
    // Few candidates: an insertion into the sorted list beats the heap.
    if (heap_.size() == count) {
      if (!(candidate < heap_.back())) return;
      heap_.pop_back();
    }
    auto at = heap_.end();
    while (at != heap_.begin() && candidate < *(at - 1)) --at;
    heap_.insert(at, candidate);
  } else if (heap_.size() < count) {
    heap_.push_back(candidate);
    std::push_heap(heap_.begin(), heap_.end());
  } else if (candidate < heap_.front()) {
    std::pop_heap(heap_.begin(), heap_.end());
    heap_.back() = candidate;
    std::push_heap(heap_.begin(), heap_.end());
  }
}

void NearestPoints::PushChildren(const Pending& at, const RadialQuery& query) {
  const RadialNode* node = at.node;
  Pending right{node->right, !at.on_x, at.cell};
  Pending left{node->left, !at.on_x, at.cell};
  bool right_meets = false;
  bool left_meets = false;
  bool query_right = false;
  if (at.on_x) {
    right_meets = node->x <= at.cell.max_x;
    left_meets = at.cell.min_x < node->x;
    right.cell.min_x = std::max(at.cell.min_x, node->x);
    left.cell.max_x = node->x - 1;  // only used when min_x < node->x
    query_right = query.x >= node->x;
  } else {
    right_meets = node->y <= at.cell.max_y;
    left_meets = at.cell.min_y < node->y;
    right.cell.min_y = std::max(at.cell.min_y, node->y);
    left.cell.max_y = node->y - 1;
    query_right = query.y >= node->y;
  }
  right_meets = right_meets && right.node != nullptr;
  left_meets = left_meets && left.node != nullptr;
  if (right_meets) Prefetch(right.node);
  if (left_meets) Prefetch(left.node);
  // The side holding the query goes on top: it is ranked first.
  if (query_right) {
    if (left_meets) pending_.push_back(left);
    if (right_meets) pending_.push_back(right);
  } else {
    if (right_meets) pending_.push_back(right);
    if (left_meets) pending_.push_back(left);
  }
}

void NearestPoints::Rank(KdTree& tree, const RadialQuery& query, std::size_t count,
                         const RadialRect& rect) {
  heap_.clear();
  sorted_ = count <= kSortedLimit;
  pending_.clear();
  dive_end_ = nullptr;
  if (tree.root() != nullptr) pending_.push_back({tree.root(), false, rect});
  // The walk starts as the insertion walk of the query point would: on
  // each node's query side.  Where that side is empty, the node is the
  // query's parent-to-be (unless a bound cut the dive short).
  const RadialNode* diving = tree.root();
  std::size_t order = 0;
  while (!pending_.empty()) {
    const Pending at = pending_.back();
    pending_.pop_back();
    if (at.node != diving) diving = nullptr;
    // A subtree no nearer than the k-th best holds nothing better: its
    // points are as far or farther, and would come later.
    if (heap_.size() == count && query.SquaredDistanceTo(at.cell) >= Worst().distance) {
      continue;
    }
    if (diving != nullptr) {
      const bool right = at.on_x ? query.x >= at.node->x : query.y >= at.node->y;
      diving = right ? at.node->right : at.node->left;
      if (diving == nullptr) dive_end_ = at.node;
    }
    PushChildren(at, query);
    if (rect.Contains(at.node->x, at.node->y)) {
      Offer(Candidate{query.SquaredDistanceTo(*at.node), order++, at.node}, count);
    }
  }
  if (!sorted_) std::sort_heap(heap_.begin(), heap_.end());
  results_.clear();
  for (const Candidate& c : heap_) results_.push_back(Result{std::sqrt(c.distance), c.node});
}

}  // namespace lumetra
