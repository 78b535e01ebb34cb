#include "search/point_in_object.h"

namespace lumetra {

namespace {

// Walks one ring; the steps follow the ring from its first point off the
// line (s) all the way round back to it.
class RingWalk {
 public:
  RingWalk(const PolygonPart& part, std::int32_t px, std::int32_t py)
      : p_(part.points), n_(part.count), px_(px), py_(py) {}

  // The crossings of the ring; sets *on_boundary (and returns 1) on a hit.
  int Run(bool* on_boundary) {
    *on_boundary = false;
    if (n_ < 1) return 0;
    std::size_t s = 0;
    if (!LeadingRun(&s)) {
      *on_boundary = true;
      return 1;
    }
    if (s == n_) return 0;  // every point lies on the line
    prev_ = p_[s];
    above_ = prev_.y > py_;
    k_ = s;
    steps_ = 0;
    while (steps_ < n_) {
      Advance();
      const RecordPoint& pk = p_[k_];
      const bool hit = pk.y != py_ ? OffLineStep(pk) : RunStep();
      if (hit) {
        *on_boundary = true;
        return 1;
      }
    }
    return count_;
  }

 private:
  void Advance() {
    k_ = k_ + 1 == n_ ? 0 : k_ + 1;
    ++steps_;
  }

  // The points at the start of the ring that lie on the line: a hit when
  // the point lies on one of their horizontal edges.  *first_off receives
  // the first index off the line (n when there is none).  False on a hit.
  bool LeadingRun(std::size_t* first_off) const {
    RecordPoint prev = p_[0];
    std::size_t k = 0;
    for (; k < n_ && p_[k].y == py_; ++k) {
      if (Between(px_, prev.x, p_[k].x)) return false;
      prev = p_[k];
    }
    *first_off = k;
    return true;
  }

  // A step onto a point off the line.  True on a boundary hit.
  bool OffLineStep(const RecordPoint& pk) {
    const bool pk_above = pk.y > py_;
    if (pk_above != above_ && CrossingHit(prev_, pk, px_, py_, &count_)) return true;
    prev_ = pk;
    above_ = pk_above;
    return false;
  }

  // A step onto a point on the line: follows the run of points on the line
  // and consumes it together with the point w that ends it.  True on a
  // boundary hit.
  bool RunStep() {
    const std::int32_t a = p_[k_].x;
    RecordPoint last = p_[k_];
    // The first comparison is the run's first point with itself.
    for (;;) {
      if (Between(px_, last.x, p_[k_].x)) return true;
      last = p_[k_];
      const std::size_t next = k_ + 1 == n_ ? 0 : k_ + 1;
      if (p_[next].y != py_ || steps_ >= n_) break;
      Advance();
    }
    const std::int32_t b = last.x;
    if (steps_ >= n_) return false;  // unreachable for a ring with a point off the line
    Advance();
    const RecordPoint& w = p_[k_];
    const bool w_above = w.y > py_;
    if (w_above != above_) {
      // The boundary passes through the line along the run.
      if (Between(px_, a, b)) return true;
      if (px_ > a && px_ > b) ++count_;
    }
    prev_ = w;
    above_ = w_above;
    return false;
  }

  const RecordPoint* p_;
  std::size_t n_;
  std::int32_t px_;
  std::int32_t py_;
  RecordPoint prev_;
  bool above_ = false;
  std::size_t k_ = 0;
  std::size_t steps_ = 0;
  int count_ = 0;
};

}  // namespace

int PointInPart(const PolygonPart& part, std::int32_t px, std::int32_t py, bool* on_boundary) {
  bool hit = false;
  RingWalk walk(part, px, py);
  const int count = walk.Run(&hit);
  if (on_boundary != nullptr) *on_boundary = hit;
  return count;
}

int PointInObject(const PolygonPart* parts, std::size_t part_count, std::int32_t px,
                  std::int32_t py) {
  int total = 0;
  for (std::size_t i = 0; i < part_count; ++i) {
    if (parts[i].points == nullptr) continue;
    bool hit = false;
    const int count = PointInPart(parts[i], px, py, &hit);
    if (hit) return 1;
    total += count;
  }
  return total;
}

}  // namespace lumetra
