// NearestPoints: the k-nearest search of a radial search context and its
// result list.
//
// The answers are defined by windows.  The search walks down the tree as an
// insertion of the query point would and measures the distance d to the
// last node reached (the point's parent-to-be).  The first window reaches
// trunc(d / scale) + 1 units from the query point on each axis, so it holds
// that node, and with it every point closer than it.  While the window
// holds fewer than k points and not every point of the tree, its
// half-sizes double -- and, while the x half-size is still below 1000
// units, grow by the factor 1000 / hx + 1 more -- and the window is
// searched again.  The answers are the k nearest of the points inside the
// last window: exactly the k nearest when k = 1, and whenever the k-th
// distance stays inside the window; a point just outside a corner can be
// passed over for one inside it.  A window that can grow no further (it
// covers the coordinate range, or geographic bounds clamp it) ends the
// search with what it holds.  Among equal distances the point the ranking
// meets first comes first (a fixed order for a given tree and query).
//
// How.  The ranking is a branch-and-bound walk -- the child holding the
// query point first, a subtree skipped when its cell lies no nearer than
// the k-th best so far -- so it visits little more than the query's own
// path.  It first ranks the whole tree: when the k nearest found all lie in
// the first window, that window holds k points and they are its k nearest,
// which is the answer.  Otherwise the window is grown as described, each
// window's walk stopping at its k-th point, and the last window is ranked
// with the cells cut to it.
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
//   while (const NearestPoints::Result* r = nearest.Next()) { ... }
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

  double DistanceTo(const RadialNode& node) const { return std::sqrt(SquaredDistanceTo(node)); }
  double SquaredDistanceTo(const RadialNode& node) const {
    const double dx = (static_cast<double>(node.x) - x) * x_scale;
    const double dy = (static_cast<double>(node.y) - y) * y_scale;
    return dx * dx + dy * dy;
  }
  // The square of the least distance from the query to any point of `rect`.
  double SquaredDistanceTo(const RadialRect& rect) const;
  // The greatest distance from the query to any point of `rect`.
  double FarthestIn(const RadialRect& rect) const;
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
  // With `skip` set, every search grows its windows by walking them, as
  // when the first ranking cannot settle them (so the tests reach that path).
  void SkipFirstRankingForTest(bool skip) { skip_first_ranking_ = skip; }

 private:
  struct Candidate {
    double distance;    // squared while ranking
    std::size_t order;  // the rank in which the walk met it: the tie rule
    const RadialNode* node;
    bool operator<(const Candidate& o) const {
      return distance < o.distance || (distance == o.distance && order < o.order);
    }
  };
  // A subtree still to be ranked: its root, whether that splits on x, and
  // the part of the searched rectangle its points can lie in.
  struct Pending {
    const RadialNode* node;
    bool on_x;
    RadialRect cell;
  };

  // Points ranked by the first, unbounded ranking for each one asked for
  // (beyond k = 1).
  static constexpr std::size_t kOversample = 2;

  // The first window, from the distance to the query's parent-to-be; its
  // half-sizes in *hx, *hy.
  RadialRect FirstWindow(KdTree& tree, const RadialQuery& query, bool geographic, double* hx,
                         double* hy) const;
  // The next window: the half-sizes grown as the file comment says.
  static RadialRect Grow(const RadialQuery& query, bool geographic, double* hx, double* hy);
  // The last window from `window` on, by walking each window until it
  // shows `count` points or can grow no further.
  RadialRect GrowWindow(KdTree& tree, RangeWalker& walker, std::size_t count, bool geographic,
                        const RadialQuery& query, RadialRect window, double hx, double hy);
  // How many results lie in `window`.
  std::size_t CountWithin(const RadialRect& window) const;
  // Keeps the first `count` results that lie in `window`.
  void KeepWithin(const RadialRect& window, std::size_t count);
  // Ranks the `count` nearest points of `rect` into results_, nearest
  // first.  Sets dive_end_ to the query's parent-to-be when the walk's
  // first dive reached it (null otherwise).
  void Rank(KdTree& tree, const RadialQuery& query, std::size_t count, const RadialRect& rect);
  // Offers a point to the bounded list of the best candidates.
  void Offer(const Candidate& candidate, std::size_t count);
  // Pushes the children of `at` whose cells meet the rectangle, the one on
  // the query's side last (so it is ranked first).
  void PushChildren(const Pending& at, const RadialQuery& query);

  // Up to this many candidates are kept as a sorted list, more as a heap.
  static constexpr std::size_t kSortedLimit = 32;
  // The farthest candidate kept.  REQUIRES: some are kept.
  const Candidate& Worst() const { return sorted_ ? heap_.back() : heap_.front(); }

  // The best candidates so far: ascending when sorted_, else a max-heap.
  std::vector<Candidate> heap_;
  bool sorted_ = false;
  std::vector<Pending> pending_;
  std::vector<Result> results_;
  std::size_t position_ = 0;
  RadialRect last_window_{0, 0, -1, -1};
  bool skip_first_ranking_ = false;
  const RadialNode* dive_end_ = nullptr;
};

}  // namespace lumetra

#endif  // LUMETRA_RADIAL_NEAREST_POINTS_H
