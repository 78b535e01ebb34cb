#include "pma/convex_hull_operation.h"

#include <lumetra/pip.h>

#include <algorithm>
#include <cmath>
#include <new>

using lumetra::HullPoint;
using lumetra::TruncToInt32;

namespace lumetra {

namespace {

// The pseudo-angle of (dx, dy) in degrees, 0 to 360, monotone in the true
// angle: 90 * dy / (|dx| + |dy|) folded into the quadrants; 360 for a zero
// vector.
double PseudoAngle(double dx, double dy) {
  if (dx == 0 && dy == 0) return 360.0;
  double t = dy / (std::fabs(dx) + std::fabs(dy));
  if (dx < 0) {
    t = 2 - t;
  } else if (dy < 0) {
    t = t + 4;
  }
  return 90.0 * t;
}

double Cross(const HullPoint& o, const HullPoint& a, const HullPoint& b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Akl-Toussaint: points strictly inside the quadrilateral of the extreme
// points by x + y and y - x cannot be hull vertices.
std::vector<HullPoint> OutsideQuadrilateral(const std::vector<HullPoint>& points) {
  std::size_t lo_sum = 0, hi_sum = 0, lo_diff = 0, hi_diff = 0;
  for (std::size_t i = 1; i < points.size(); ++i) {
    const HullPoint& p = points[i];
    if (p.x + p.y < points[lo_sum].x + points[lo_sum].y) lo_sum = i;
    if (p.x + p.y > points[hi_sum].x + points[hi_sum].y) hi_sum = i;
    if (p.y - p.x < points[lo_diff].y - points[lo_diff].x) lo_diff = i;
    if (p.y - p.x > points[hi_diff].y - points[hi_diff].x) hi_diff = i;
  }
  // Counter-clockwise: lower left, lower right, upper right, upper left.
  const HullPoint quad[4] = {points[lo_sum], points[lo_diff], points[hi_sum], points[hi_diff]};
  std::vector<HullPoint> out;
  for (const HullPoint& p : points) {
    bool inside = true;
    for (int k = 0; k < 4 && inside; ++k) inside = Cross(quad[k], quad[(k + 1) % 4], p) > 0;
    if (!inside) out.push_back(p);
  }
  return out;
}

}  // namespace

void ConvexHullByWrapping(const std::vector<HullPoint>& input, std::vector<HullPoint>* hull) {
  hull->clear();
  if (input.size() < 3) return;
  const std::vector<HullPoint> points = OutsideQuadrilateral(input);
  if (points.size() < 3) return;
  std::size_t start = 0;
  for (std::size_t i = 1; i < points.size(); ++i) {
    if (points[i].y < points[start].y ||
        (points[i].y == points[start].y && points[i].x < points[start].x)) {
      start = i;
    }
  }
  std::size_t current = start;
  double previous = 0.0;
  // Each step adds a vertex; a hull has at most every point once.
  for (std::size_t step = 0; step <= points.size(); ++step) {
    hull->push_back(points[current]);
    std::size_t best = current;
    double best_angle = 361.0;
    double best_d2 = -1.0;
    for (std::size_t j = 0; j < points.size(); ++j) {
      const double dx = points[j].x - points[current].x;
      const double dy = points[j].y - points[current].y;
      const double angle = PseudoAngle(dx, dy);
      if (angle < previous) continue;
      const double d2 = dx * dx + dy * dy;
      if (angle < best_angle ||
          (angle == best_angle && (d2 > best_d2 || (d2 == best_d2 && j == start)))) {
        best = j;
        best_angle = angle;
        best_d2 = d2;
      }
    }
    if (best == start || best_angle >= 360.0) break;
    current = best;
    previous = best_angle;
  }
  if (hull->size() < 3) hull->clear();
}

}  // namespace lumetra

int CpmaConvexHullOperation::Build(const CpmaStoreRecord& store, const CpmaCustomerList& customers,
                                   int count_mode, double max_distance, bool geographic,
                                   double share, CpmaPointList* out) {
  out->Reset();
  if (!(share >= 0.0 && share <= 1.0)) return lumetra::kPmaBadShare;
  if (customers.count() < 3) return 1;
  try {
    scale_ = geographic ? lumetra::LatitudeScale(store.y) : 1.0;
    const double limit = geographic ? lumetra::MilesToUnits(max_distance) : max_distance;
    const double total = Load(store, customers, limit);
    const std::size_t taken = Take(count_mode, share, total);
    taken_.clear();
    for (std::size_t i = 0; i < taken; ++i) taken_.push_back({work_[i].x, work_[i].y});
    lumetra::ConvexHullByWrapping(taken_, &hull_);
    for (const HullPoint& p : hull_) {
      out->Append({TruncToInt32(p.x / scale_ + store.x),
                   TruncToInt32(std::trunc(p.y) + static_cast<double>(store.y))});
    }
  } catch (const std::bad_alloc&) {
    out->Reset();
    return lumetra::kPmaNoMemory;
  }
  return 1;
}

double CpmaConvexHullOperation::Load(const CpmaStoreRecord& store,
                                     const CpmaCustomerList& customers, double limit) {
  work_.clear();
  for (const CpmaCustomer& c : customers.customers()) {
    const double x = std::trunc((static_cast<double>(c.x) - store.x) * scale_);
    const double y = static_cast<double>(c.y) - store.y;
    work_.push_back({x, y, c.weight, x * x + y * y});
  }
  std::stable_sort(work_.begin(), work_.end(),
                   [](const Customer& a, const Customer& b) { return a.d2 < b.d2; });
  double total = customers.total_weight();
  if (limit > 0) {
    const double limit2 = limit * limit;
    while (!work_.empty() && work_.back().d2 > limit2) {
      total -= work_.back().weight;
      work_.pop_back();
    }
  }
  return total;
}

std::size_t CpmaConvexHullOperation::Take(int count_mode, double share, double total) const {
  if (count_mode == PIP_PMA_BY_COUNT) {
    return static_cast<std::size_t>(static_cast<double>(work_.size()) * share);
  }
  const double budget = share * total;
  double sum = 0.0;
  std::size_t n = 0;
  while (n < work_.size() && sum + work_[n].weight <= budget) sum += work_[n++].weight;
  return n;
}
