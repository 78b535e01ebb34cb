// NearestPoints: the k-nearest search of a radial search context and its
// result list.
//
// The search is windowed.  It walks down the tree as an insertion of the
// query point would and measures the distance d to the last node reached
// (the point's parent-to-be).  The first window reaches trunc(d / scale) + 1
// units from the query point on each axis, so it holds that node, and with
// it every point closer than it.  The window's points are ranked by
// distance and the k nearest kept.  While fewer than k points are found and
// the window did not see every point of the tree, the window's half-sizes
// double -- and, while the x half-size is still below 1000 units, grow by
// the factor 1000 / hx + 1 more -- and the window is searched again.  The
// answers are thus the k nearest of the points inside the last window
// searched: exactly the k nearest when k = 1, and whenever the k-th
// distance stays inside the window; a point just outside a corner can be
// passed over for one inside it.  Equal distances keep the walk order of
// the last window.  A window that can grow no further (it covers the
// coordinate range, or geographic bounds clamp it) ends the search with
// what it holds.
//
// Distances are sqrt((dx * x scale)^2 + (dy * y scale)^2) in doubles: in
// geographic mode feet, with the x scale taken at the query's latitude.
//
// Ownership: the results point into the tree, which must outlive them and
// is not changed while they are read.  Thread rule: one thread at a time.
//
// Usage:
//   NearestPoints nearest;
//   nearest.Search(tree, walker, query, 5, geographic);   // 0: empty tree
//   while (const RadialNode* node = nearest.Next()) { ... }
#ifndef LUMETRA_RADIAL_NEAREST_POINTS_H
#define LUMETRA_RADIAL_NEAREST_POINTS_H

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "radial/kd_tree.h"
#include "radial/range_walker.h"

namespace lumetra {

// A query point with the scales that turn coordinate differences into
// distances.
struct RadialQuery {
  std::int32_t x = 0;
  std::int32_t y = 0;
  double x_scale = 1.0;
  double y_scale = 1.0;

  double DistanceTo(const RadialNode& node) const {
    const double dx = (static_cast<double>(node.x) - x) * x_scale;
    const double dy = (static_cast<double>(node.y) - y) * y_scale;
    return std::sqrt(dx * dx + dy * dy);
  }
};

class NearestPoints {
 public:
  // A result: its distance and its node.
  struct Result {
    double distance;
    const RadialNode* node;
  };

  // Runs the search for the `count` points nearest to `query` (count >= 1),
  // its windows bounded as SearchWindow does for `geographic`.  1 with
  // results ready, 0 when the tree is empty.  Throws std::bad_alloc when the
  // result list cannot get room for min(count, points) entries.
  int Search(KdTree& tree, RangeWalker& walker, const RadialQuery& query, std::size_t count,
             bool geographic);

  // The next result, nearest first; null when all were read.
  const Result* Next() { return position_ < results_.size() ? &results_[position_++] : nullptr; }
  void Clear() {
    results_.clear();
    position_ = 0;
  }

  const std::vector<Result>& results() const { return results_; }
  // The last window searched (for the tests of the window rule).
  const RadialRect& last_window() const { return last_window_; }

 private:
  // Collects the `count` nearest points of `window` into results_, in
  // ascending order of distance; returns how many points the window held.
  std::size_t Collect(KdTree& tree, RangeWalker& walker, const RadialQuery& query,
                      std::size_t count, const RadialRect& window);

  struct Candidate {
    double distance;
    std::size_t order;  // walk order in the window: the tie rule
    const RadialNode* node;
    bool operator<(const Candidate& o) const {
      return distance < o.distance || (distance == o.distance && order < o.order);
    }
  };

  std::vector<Candidate> heap_;  // a max-heap of the best candidates so far
  std::vector<Result> results_;
  std::size_t position_ = 0;
  RadialRect last_window_{0, 0, -1, -1};
};

}  // namespace lumetra

#endif  // LUMETRA_RADIAL_NEAREST_POINTS_H
