// Brute-force models and checks for the polygon clipper tests.
#ifndef LUMETRA_TESTS_SUPPORT_CLIP_MODELS_H
#define LUMETRA_TESTS_SUPPORT_CLIP_MODELS_H

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace lumetra_test {

struct ModelPoint {
  double x, y;
};
using ModelRing = std::vector<ModelPoint>;
using ModelPolygon = std::vector<ModelRing>;

// Areas of difference, intersection, exclusive-or and union of a and b
// (even-odd inside each), by slabs: every vertex y and every crossing y cuts
// the plane into slabs in which no two edges cross, so the covered parts of a
// slab are exact trapezoids.  O(n^2 log n); meant for small polygons.
inline std::array<double, 4> ModelAreas(const ModelPolygon& a, const ModelPolygon& b) {
  struct Seg {
    double x0, y0, x1, y1;  // y0 < y1
    int bit;
    double XAt(double y) const { return x0 + (x1 - x0) * (y - y0) / (y1 - y0); }
  };
  std::vector<Seg> segs;
  std::vector<double> ys;
  auto add = [&](const ModelPolygon& p, int bit) {
    for (const ModelRing& r : p) {
      for (std::size_t i = 0; i < r.size(); ++i) {
        ModelPoint u = r[i], v = r[(i + 1) % r.size()];
        ys.push_back(u.y);
        if (u.y == v.y) continue;
        if (u.y > v.y) std::swap(u, v);
        segs.push_back({u.x, u.y, v.x, v.y, bit});
      }
    }
  };
  add(a, 1);
  add(b, 2);
  for (std::size_t i = 0; i < segs.size(); ++i) {
    for (std::size_t j = i + 1; j < segs.size(); ++j) {
      const Seg &s = segs[i], &t = segs[j];
      double lo = std::max(s.y0, t.y0), hi = std::min(s.y1, t.y1);
      if (!(lo < hi)) continue;
      double d0 = s.XAt(lo) - t.XAt(lo), d1 = s.XAt(hi) - t.XAt(hi);
      if ((d0 < 0) != (d1 < 0) && d0 != d1) ys.push_back(lo + (hi - lo) * d0 / (d0 - d1));
    }
  }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  std::array<double, 4> area{0, 0, 0, 0};
  struct Cut {
    double xm, x0, x1;
    int bit;
  };
  std::vector<Cut> cuts;
  for (std::size_t k = 0; k + 1 < ys.size(); ++k) {
    double y0 = ys[k], y1 = ys[k + 1], ym = 0.5 * (y0 + y1);
    cuts.clear();
    for (const Seg& s : segs) {
      if (s.y0 <= y0 && s.y1 >= y1) cuts.push_back({s.XAt(ym), s.XAt(y0), s.XAt(y1), s.bit});
    }
    std::sort(cuts.begin(), cuts.end(), [](const Cut& l, const Cut& r) { return l.xm < r.xm; });
    int mask = 0;
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
      mask ^= cuts[i].bit;
      double w = 0.5 * ((cuts[i + 1].x0 - cuts[i].x0) + (cuts[i + 1].x1 - cuts[i].x1)) * (y1 - y0);
      if (mask == 1) area[0] += w;
      if (mask == 3) area[1] += w;
      if (mask == 1 || mask == 2) area[2] += w;
      if (mask != 0) area[3] += w;
    }
  }
  return area;
}

// Twice the signed area of a ring (positive counter-clockwise).
inline double TwiceSignedArea(const ModelRing& r) {
  double s = 0;
  for (std::size_t i = 1; i + 1 < r.size(); ++i) {
    s += (r[i].x - r[0].x) * (r[i + 1].y - r[0].y) - (r[i + 1].x - r[0].x) * (r[i].y - r[0].y);
  }
  return s;
}

// Empty when the result rings are well formed: at least three vertices,
// finite, no consecutive repeats, non-zero area, hole flag matching the
// orientation (holes clockwise).  Otherwise a description of the first fault.
inline std::string RingFault(const ModelRing& r, bool hole) {
  if (r.size() < 3) return "fewer than 3 vertices";
  for (std::size_t i = 0; i < r.size(); ++i) {
    const ModelPoint &p = r[i], &q = r[(i + 1) % r.size()];
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return "vertex not finite";
    if (p.x == q.x && p.y == q.y) return "repeated vertex " + std::to_string(i);
  }
  double a = TwiceSignedArea(r);
  if (a == 0) return "zero area";
  if ((a < 0) != hole)
    return hole ? "hole flag on a counter-clockwise ring" : "clockwise outer ring";
  return "";
}

}  // namespace lumetra_test

#endif  // LUMETRA_TESTS_SUPPORT_CLIP_MODELS_H
