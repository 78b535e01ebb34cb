// The rules that CPolyLine (parts: CLine) and CPolyPolygon (parts:
// CPolygon) share, on a plain part array.
#ifndef LUMETRA_GEOMETRY_PART_SET_H
#define LUMETRA_GEOMETRY_PART_SET_H

#include <lumetra/geometry.h>

#include <cfloat>
#include <vector>

#include "geometry/flat_earth.h"
#include "geometry/geometry_storage.h"
#include "geometry/point_math.h"

namespace lumetra {

// `parts[0..count)` and a copy of `part` after them; not ok (and nothing
// built) when memory runs out.
template <class Part>
Built<Part> AppendPart(const Part* parts, int count, const Part& part) {
  Part* fresh = NewArray<Part>(count + 1);
  if (fresh == nullptr) return {nullptr, 0, false};
  for (int i = 0; i < count; ++i) fresh[i] = parts[i];
  fresh[count] = part;
  return {fresh, count + 1, true};
}

// Parts from coordinate arrays: part i takes the next partCounts[i] points
// (point k at (x_of(k), y_of(k))) and is set by make(part, x, y, n), which
// reports success.  Stops at the first failure, keeping the parts made
// before it; not ok then, or when memory runs out.
template <class Part, class XOf, class YOf, class Make>
Built<Part> BuildParts(const int* partCounts, int nParts, const XOf& x_of, const YOf& y_of,
                       const Make& make) {
  if (nParts < 1) return {};
  Part* parts = partCounts != nullptr ? NewArray<Part>(nParts) : nullptr;
  if (parts == nullptr) return {nullptr, 0, false};
  try {
    std::vector<double> x, y;
    int at = 0;
    for (int i = 0; i < nParts; ++i) {
      int n = partCounts[i] > 0 ? partCounts[i] : 0;
      x.resize(static_cast<std::size_t>(n));
      y.resize(static_cast<std::size_t>(n));
      for (int k = 0; k < n; ++k, ++at) {
        x[static_cast<std::size_t>(k)] = x_of(at);
        y[static_cast<std::size_t>(k)] = y_of(at);
      }
      if (!make(parts[i], x.data(), y.data(), n)) return {parts, i, false};
    }
  } catch (const std::bad_alloc&) {
    DeleteArray(parts);
    return {nullptr, 0, false};
  }
  return {parts, nParts, true};
}

template <class Part>
int PartsPointCount(const Part* parts, int n) {
  int total = 0;
  for (int i = 0; i < n; ++i) total += parts[i].getPointCount();
  return total;
}

// Least / greatest of the parts' distances to `to` (a point or a geometry):
// DBL_MAX / DBL_MIN without parts.
template <class Part, class To>
double PartsMinDistance(const Part* parts, int n, const To& to) {
  return LeastOf(n, [&](int i) { return parts[i].minDistance(to); });
}

template <class Part, class To>
double PartsMaxDistance(const Part* parts, int n, const To& to) {
  return GreatestOf(n, [&](int i) { return parts[i].maxDistance(to); });
}

// The parts' nearest points to t, the one strictly nearest to t kept (the
// first on ties); an unnamed (0, 0) without parts.
template <class Part>
CPipPoint PartsNearestPoint(const Part* parts, int n, const CSegment& t) {
  CPipPoint nearest;
  double best = DBL_MAX;
  for (int i = 0; i < n; ++i) {
    CPipPoint q = parts[i].getNearestPoint(t);
    double d = t.minDistance(q);
    if (d < best) {
      best = d;
      nearest = q;
    }
  }
  return nearest;
}

// Equal part counts and equal parts (segments compared with their point
// names; the parts' own names are not compared).
template <class Part>
bool PartsEqual(const Part* a, int na, const Part* b, int nb) {
  if (na != nb) return false;
  for (int i = 0; i < na; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// Writes every part's points (point i of a part from part.getPoint(i),
// `points_of(part)` of them) as spatial pairs or coordinates.
template <class Part, class PointsOf>
void SpatialPoints(const Part* parts, int n, int* xy, int* partCounts, const PointsOf& points_of) {
  int at = 0;
  for (int i = 0; i < n; ++i) {
    int count = points_of(parts[i]);
    partCounts[i] = count;
    for (int k = 0; k < count; ++k, ++at)
      parts[i].getPoint(k).getSpatial(xy[2 * at], xy[2 * at + 1]);
  }
}

template <class Part>
bool CoordinatePoints(const Part* parts, int n, double* x, double* y, int* partCounts, int* nParts,
                      int maxPoints, int maxParts) {
  *nParts = 0;
  if (maxParts < n || maxPoints < PartsPointCount(parts, n)) return false;
  int at = 0;
  for (int i = 0; i < n; ++i) {
    int count = parts[i].getPointCount();
    partCounts[i] = count;
    for (int k = 0; k < count; ++k, ++at) parts[i].getPoint(k).get(x[at], y[at]);
    ++*nParts;
  }
  return true;
}

}  // namespace lumetra

#endif  // LUMETRA_GEOMETRY_PART_SET_H
