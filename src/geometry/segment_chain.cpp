#include "geometry/segment_chain.h"

#include <cfloat>

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
  double best = DBL_MAX;
  for (int i = 0; i < n; ++i) {
    double d = segments[i].minDistance(p);
    if (d < best) best = d;
  }
  return best;
}

double ChainMaxDistance(const CSegment* segments, int n, const CPipPoint& p) {
  double best = DBL_MIN;
  for (int i = 0; i < n; ++i) {
    double d = segments[i].maxDistance(p);
    if (d > best) best = d;
  }
  return best;
}

double ChainMinDistance(const CSegment* segments, int n, const IGeometry* g) {
  double best = DBL_MAX;
  for (int i = 0; g != nullptr && i < n; ++i) {
    double d = segments[i].minDistance(g->getNearestPoint(segments[i]));
    if (d < best) best = d;
  }
  return best;
}

double ChainMaxDistance(const CSegment* segments, int n, const IGeometry* g) {
  double best = DBL_MIN;
  for (int i = 0; g != nullptr && i < n; ++i) {
    double d = segments[i].maxDistance(g->getNearestPoint(segments[i]));
    if (d > best) best = d;
  }
  return best;
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
