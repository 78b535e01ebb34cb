#include "tab/ring_nesting.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumetra::tab {
namespace {

// Products of two coordinate differences need 65 bits.
__extension__ typedef __int128 Wide;

struct Ring {
  const std::int32_t* xy = nullptr;  // x, y pairs
  std::int32_t n = 0;
  std::int64_t min_x = 0, min_y = 0, max_x = 0, max_y = 0;
  double area = 0;
};

Ring MakeRing(const std::int32_t* xy, std::int32_t n) {
  Ring r;
  r.xy = xy;
  r.n = n;
  r.min_x = r.min_y = std::numeric_limits<std::int64_t>::max();
  r.max_x = r.max_y = std::numeric_limits<std::int64_t>::min();
  double twice = 0;
  for (std::int32_t i = 0; i < n; ++i) {
    const std::int64_t x = xy[2 * i];
    const std::int64_t y = xy[2 * i + 1];
    r.min_x = std::min(r.min_x, x);
    r.max_x = std::max(r.max_x, x);
    r.min_y = std::min(r.min_y, y);
    r.max_y = std::max(r.max_y, y);
    const std::int32_t j = (i + 1) % n;
    twice += static_cast<double>(x) * xy[2 * j + 1] - static_cast<double>(xy[2 * j]) * y;
  }
  r.area = std::fabs(twice) / 2;
  return r;
}

bool BoxInside(const Ring& in, const Ring& out) {
  return in.min_x >= out.min_x && in.max_x <= out.max_x && in.min_y >= out.min_y &&
         in.max_y <= out.max_y;
}

bool OnSegment(std::int64_t px, std::int64_t py, std::int64_t ax, std::int64_t ay, std::int64_t bx,
               std::int64_t by) {
  const Wide cross =
      static_cast<Wide>(bx - ax) * (py - ay) - static_cast<Wide>(by - ay) * (px - ax);
  return cross == 0 && px >= std::min(ax, bx) && px <= std::max(ax, bx) && py >= std::min(ay, by) &&
         py <= std::max(ay, by);
}

// -1 on the ring's boundary, 1 inside, 0 outside (crossing number).
int Locate(std::int64_t px, std::int64_t py, const Ring& ring) {
  bool inside = false;
  for (std::int32_t i = 0, j = ring.n - 1; i < ring.n; j = i++) {
    const std::int64_t ax = ring.xy[2 * j], ay = ring.xy[2 * j + 1];
    const std::int64_t bx = ring.xy[2 * i], by = ring.xy[2 * i + 1];
    if (OnSegment(px, py, ax, ay, bx, by)) return -1;
    if ((ay > py) != (by > py)) {
      const Wide lhs = static_cast<Wide>(px - ax) * (by - ay);
      const Wide rhs = static_cast<Wide>(bx - ax) * (py - ay);
      if ((by > ay) ? lhs < rhs : lhs > rhs) inside = !inside;
    }
  }
  return inside ? 1 : 0;
}

bool Contains(const Ring& out, const Ring& in) {
  if (!BoxInside(in, out) || out.area < in.area) return false;
  for (std::int32_t k = 0; k < in.n; ++k) {
    const int where = Locate(in.xy[2 * k], in.xy[2 * k + 1], out);
    if (where >= 0) return where == 1;
  }
  return false;  // every vertex on the other ring: the same ring
}

}  // namespace

RingOrder NestRings(const std::vector<std::int32_t>& xy, const std::vector<std::int32_t>& counts) {
  const std::size_t n = counts.size();
  RingOrder result;
  std::vector<Ring> rings;
  std::size_t at = 0;
  for (std::int32_t c : counts) {
    rings.push_back(MakeRing(xy.data() + at, c));
    at += 2 * static_cast<std::size_t>(c);
  }
  std::vector<std::size_t> parent(n, n);
  std::vector<int> depth(n, 0);
  if (n <= kMaxNestedRings) {
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j < n; ++j) {
        if (i == j || rings[i].n < 3 || rings[j].n < 3 || !Contains(rings[j], rings[i])) continue;
        ++depth[i];
        if (parent[i] == n || rings[j].area < rings[parent[i]].area) parent[i] = j;
      }
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (depth[i] % 2 != 0) continue;
    result.order.push_back(i);
    result.holes.push_back(0);
    const std::size_t outer_slot = result.holes.size() - 1;
    for (std::size_t h = 0; h < n; ++h) {
      if (depth[h] % 2 == 1 && parent[h] == i) {
        result.order.push_back(h);
        result.holes.push_back(0);
        ++result.holes[outer_slot];
      }
    }
  }
  // A hole whose smallest container is itself a hole (nesting the rule
  // cannot express) is kept as an outer ring of its own.
  std::vector<bool> placed(n, false);
  for (std::size_t i : result.order) placed[i] = true;
  for (std::size_t i = 0; i < n; ++i) {
    if (!placed[i]) {
      result.order.push_back(i);
      result.holes.push_back(0);
    }
  }
  return result;
}

}  // namespace lumetra::tab
