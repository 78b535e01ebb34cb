#include "pma/thiessen_operation.h"

#include <algorithm>
#include <cmath>
#include <new>

using lumetra::TruncToInt32;

void CpmaThiessenOperation::Prepare(const CpmaStoreList* stores) {
  stores_ = stores;
  grid_ready_ = false;
}

int CpmaThiessenOperation::Build(int store, int segments, bool geographic, double radius,
                                 CpmaPointList* out) {
  out->Reset();
  const int check = lumetra::CheckRing(segments, radius);
  if (check != 1) return check;
  if (stores_ == nullptr || store < 0 || store >= stores_->count()) return lumetra::kPmaNoStoreList;
  if (radius == 0) return 1;
  try {
    store_ = (*stores_)[store];
    scale_ = geographic ? lumetra::LatitudeScale(store_.y) : 1.0;
    const double r = geographic ? lumetra::MilesToUnits(radius) : radius;
    FindNeighbours(2 * r);
    polygon_.clear();
    for (int k = 0; k < segments; ++k) {
      const double a = lumetra::RingAngle(k, segments);
      polygon_.push_back({static_cast<double>(TruncToInt32(std::cos(a) * r + store_.x)),
                          static_cast<double>(TruncToInt32(std::sin(a) * r + store_.y))});
    }
    for (int i = 0; i < neighbours_.count() && !polygon_.empty(); ++i) Clip(neighbours_[i]);
    for (const Vertex& v : polygon_) {
      out->Append({TruncToInt32((v.x - store_.x) / scale_ + store_.x), TruncToInt32(v.y)});
    }
  } catch (const std::bad_alloc&) {
    out->Reset();
    return lumetra::kPmaNoMemory;
  }
  return 1;
}

void CpmaThiessenOperation::FindNeighbours(double two_r) {
  const CpmaStoreList& stores = *stores_;
  const bool grid = search_ == NeighbourSearch::kBucketGrid ||
                    (search_ == NeighbourSearch::kAuto && stores.count() > kGridThreshold);
  const double sx = store_.x;
  const double sy = store_.y;
  candidates_.clear();
  if (grid) {
    if (!grid_ready_ || grid_version_ != stores.version()) {
      grid_.Build(stores);
      grid_ready_ = true;
      grid_version_ = stores.version();
    }
    // Every store with |dx| <= 2R lies within 2R / |scale| of the store in
    // x; the margin covers the rounding of the scaled test.
    const double reach =
        std::fabs(scale_) > 1e-12 ? two_r / std::fabs(scale_) * (1 + 1e-9) + 2 : HUGE_VAL;
    grid_.Query(sx - reach, sy - two_r - 2, sx + reach, sy + two_r + 2, &candidates_);
  } else {
    for (int j = 0; j < stores.count(); ++j) candidates_.push_back(j);
  }
  neighbours_.Clear();
  const double limit = two_r * two_r;
  for (int j : candidates_) {
    const CpmaStoreRecord& s = stores[j];
    if (j > 0 && s.x == stores[j - 1].x && s.y == stores[j - 1].y) continue;
    const double dx = (static_cast<double>(s.x) - sx) * scale_;
    const double dy = static_cast<double>(s.y) - sy;
    if (std::fabs(dx) <= two_r && std::fabs(dy) <= two_r && dx * dx + dy * dy <= limit &&
        !(dx == 0 && dy == 0)) {
      neighbours_.Append({TruncToInt32(sx + dx), s.y, j});
    }
  }
}

double CpmaThiessenOperation::BisectorValue(const Vertex& p) const {
  switch (bisector_) {
    case Bisector::kHorizontal:
      return p.y - my_;
    case Bisector::kVertical:
      return p.x - mx_;
    case Bisector::kSloped:
      break;
  }
  return p.y - (m_ * p.x + b_);
}

// The point where the edge p -> q meets the bisector, found along the edge;
// false when there is none within the edge's x and y range (an edge
// numerically parallel to it).
bool CpmaThiessenOperation::Crossing(const Vertex& p, double fp, const Vertex& q, double fq,
                                     Vertex* at) const {
  if (fp == fq) return false;
  const double t = fp / (fp - fq);
  Vertex c{p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)};
  if (bisector_ == Bisector::kHorizontal) c.y = my_;
  if (bisector_ == Bisector::kVertical) c.x = mx_;
  if (!(c.x >= std::min(p.x, q.x) && c.x <= std::max(p.x, q.x) && c.y >= std::min(p.y, q.y) &&
        c.y <= std::max(p.y, q.y))) {
    return false;
  }
  *at = c;
  return true;
}

// One Sutherland-Hodgman step: keeps the store's side of the bisector
// between the store and `neighbour`.
void CpmaThiessenOperation::Clip(const CpmaStoreRecord& neighbour) {
  const double sx = store_.x;
  const double sy = store_.y;
  const double dx = static_cast<double>(neighbour.x) - sx;
  const double dy = static_cast<double>(neighbour.y) - sy;
  mx_ = (sx + neighbour.x) / 2.0;
  my_ = (sy + neighbour.y) / 2.0;
  if (dx == 0) {
    bisector_ = Bisector::kHorizontal;
  } else if (dy == 0) {
    bisector_ = Bisector::kVertical;
  } else {
    bisector_ = Bisector::kSloped;
    m_ = -(dx / dy);
    b_ = my_ - m_ * mx_;
  }
  store_side_ = BisectorValue({sx, sy});
  // A neighbour that truncation put onto the store has no bisector.
  if (store_side_ == 0) return;
  const std::size_t n = polygon_.size();
  values_.resize(n);
  for (std::size_t i = 0; i < n; ++i) values_[i] = BisectorValue(polygon_[i]);
  const auto kept = [&](double f) { return f == 0 || (f > 0) == (store_side_ > 0); };
  next_.clear();
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t j = i + 1 == n ? 0 : i + 1;
    const Vertex& p = polygon_[i];
    const Vertex& q = polygon_[j];
    const bool p_in = kept(values_[i]);
    const bool q_in = kept(values_[j]);
    if (p_in) next_.push_back(p);
    // An edge leaving from or arriving at a point on the bisector needs no
    // crossing: that point is the crossing.
    if (p_in == q_in || values_[i] == 0 || values_[j] == 0) continue;
    Vertex at{};
    if (Crossing(p, values_[i], q, values_[j], &at)) {
      next_.push_back(at);
    } else {
      next_.push_back(p_in ? q : p);
    }
  }
  polygon_.swap(next_);
}
