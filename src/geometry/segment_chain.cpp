#include "geometry/segment_chain.h"

#include <cfloat>

#include "geometry/point_math.h"

namespace lumetra {

CPipPoint ChainPoint(const CSegment* segments, int n, int i) {
  if (n < 1) return CPipPoint();
  return i < n ? segments[i].getStart() : segments[n - 1].getEnd();
}

double ChainLength(const CSegment* segments, int n) {
  double total = 0;
  for (int i = 0; i < n; ++i) total += segments[i].length();
  return total;
}

double ChainMinDistance(const CSegment* segments, int n, const CPipPoint& p) {
  return LeastOf(n, [&](int i) { return segments[i].minDistance(p); });
}

double ChainMaxDistance(const CSegment* segments, int n, const CPipPoint& p) {
  return GreatestOf(n, [&](int i) { return segments[i].maxDistance(p); });
}

double ChainMinDistance(const CSegment* segments, int n, const IGeometry* g) {
  if (g == nullptr) return DBL_MAX;
  return LeastOf(n,
                 [&](int i) { return segments[i].minDistance(g->getNearestPoint(segments[i])); });
}

double ChainMaxDistance(const CSegment* segments, int n, const IGeometry* g) {
  if (g == nullptr) return DBL_MIN;
  return GreatestOf(
      n, [&](int i) { return segments[i].maxDistance(g->getNearestPoint(segments[i])); });
}

CPipPoint ChainNearestPoint(const CSegment* segments, int n, const CSegment& t) {
  CPipPoint nearest;
  double best = DBL_MAX;
  for (int i = 0; i < n; ++i) {
    double d = segments[i].minDistance(t);
    if (d < best) {
      best = d;
      nearest = segments[i].getNearestPoint(t);
    }
  }
  return nearest;
}

}  // namespace lumetra
