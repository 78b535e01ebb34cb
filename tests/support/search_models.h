// Brute-force models of the searches, shared by the search tests and the C
// interface tests: star-shaped random rings, the half-open crossing number
// and the exact distance to a border.  Header-only and free of library
// headers; `P` is any point type with integer members x and y.
#ifndef LUMETRA_TESTS_SUPPORT_SEARCH_MODELS_H
#define LUMETRA_TESTS_SUPPORT_SEARCH_MODELS_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace search_models {

// A star-shaped ring around (cx, cy): n vertices at increasing angles,
// each at a random distance in [rmin, rmax].
template <class P>
std::vector<P> Star(std::mt19937& rng, std::int32_t cx, std::int32_t cy, int n, int rmin,
                    int rmax) {
  std::uniform_int_distribution<int> radius(rmin, rmax);
  std::vector<P> ring;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * M_PI * i / n;
    const int r = radius(rng);
    ring.push_back({cx + static_cast<std::int32_t>(std::lround(r * std::cos(a))),
                    cy + static_cast<std::int32_t>(std::lround(r * std::sin(a)))});
  }
  return ring;
}

// The half-open crossing number in exact integers: an edge counts when
// exactly one end lies strictly above the point's line and it crosses left
// of the point.  Its parity is the even-odd rule away from the boundary; it
// knows nothing of the library's boundary rule.
template <class P>
int HalfOpenCrossings(const std::vector<std::vector<P>>& rings, std::int64_t px, std::int64_t py) {
  int count = 0;
  for (const std::vector<P>& r : rings) {
    for (std::size_t i = 0; i < r.size(); ++i) {
      const P& a = r[i];
      const P& b = r[(i + 1) % r.size()];
      if ((a.y > py) == (b.y > py)) continue;
      const std::int64_t dy = std::int64_t{b.y} - a.y;
      const std::int64_t lhs = (py - a.y) * (std::int64_t{b.x} - a.x);
      const std::int64_t rhs = (px - a.x) * dy;
      if (dy > 0 ? lhs < rhs : lhs > rhs) ++count;
    }
  }
  return count;
}

// The exact distance from (x, y) to the edges of `rings` (each closed when
// `closed`, else an open chain), with x and y differences scaled by sx, sy.
template <class P>
double EdgeDistance(const std::vector<std::vector<P>>& rings, bool closed, std::int32_t x,
                    std::int32_t y, double sx = 1.0, double sy = 1.0) {
  double best = 1e300;
  for (const std::vector<P>& r : rings) {
    const std::size_t edges = closed ? r.size() : r.size() - 1;
    for (std::size_t i = 0; i < edges; ++i) {
      const P& a = r[i];
      const P& b = r[(i + 1) % r.size()];
      const double dx = (double{1} * b.x - a.x) * sx, dy = (double{1} * b.y - a.y) * sy;
      const double px = (double{1} * x - a.x) * sx, py = (double{1} * y - a.y) * sy;
      const double len2 = dx * dx + dy * dy;
      const double t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0, 1.0) : 0.0;
      best = std::min(best, std::hypot(px - t * dx, py - t * dy));
    }
  }
  return best;
}

}  // namespace search_models

#endif  // LUMETRA_TESTS_SUPPORT_SEARCH_MODELS_H
