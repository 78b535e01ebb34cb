// The point sum and point difference: new unnamed points.
#ifndef LUMETRA_GEOMETRY_POINT_MATH_H
#define LUMETRA_GEOMETRY_POINT_MATH_H

#include <lumetra/geometry.h>

#include <cfloat>

namespace lumetra {

inline CPipPoint PointSum(const CPipPoint& a, const CPipPoint& b) {
  return CPipPoint(a.getX() + b.getX(), a.getY() + b.getY());
}

inline CPipPoint PointDifference(const CPipPoint& a, const CPipPoint& b) {
  return CPipPoint(a.getX() - b.getX(), a.getY() - b.getY());
}

// a + r * (b - a), unnamed: the point at parameter r along a segment.
inline CPipPoint PointAlong(const CPipPoint& a, const CPipPoint& b, double r) {
  return CPipPoint(a.getX() + r * (b.getX() - a.getX()), a.getY() + r * (b.getY() - a.getY()));
}

// The half-open range test of segments and rectangles: [lo, hi) against
// [olo, ohi), the low ends as stored (nothing is reordered, so a range that
// runs downwards is empty).  Ranges that only touch do not meet.
inline bool HalfOpenRangesMeet(double lo, double hi, double olo, double ohi) {
  return (olo >= lo && hi > olo) || (lo >= olo && ohi > lo);
}

// The least of f(0..n): DBL_MAX for n < 1.
template <class F>
double LeastOf(int n, const F& f) {
  double best = DBL_MAX;
  for (int i = 0; i < n; ++i) {
    double d = f(i);
    if (d < best) best = d;
  }
  return best;
}

// The greatest of f(0..n): DBL_MIN (the smallest positive double) for n < 1.
template <class F>
double GreatestOf(int n, const F& f) {
  double best = DBL_MIN;
  for (int i = 0; i < n; ++i) {
    double d = f(i);
    if (d > best) best = d;
  }
  return best;
}

}  // namespace lumetra

#endif  // LUMETRA_GEOMETRY_POINT_MATH_H
