// The rules that CLine and CPolygon share, on a plain segment array: points,
// building from point sequences, lengths and the IGeometry distances.
#ifndef LUMETRA_GEOMETRY_SEGMENT_CHAIN_H
#define LUMETRA_GEOMETRY_SEGMENT_CHAIN_H

#include <lumetra/geometry.h>

#include "geometry/geometry_storage.h"

namespace lumetra {

// Point i of a chain of n segments: the start of segment i, and for i == n
// the end of the last; an unnamed (0, 0) for a chain without segments.
CPipPoint ChainPoint(const CSegment* segments, int n, int i);

double ChainLength(const CSegment* segments, int n);
// Least / greatest CSegment distance to p: DBL_MAX / DBL_MIN without segments.
double ChainMinDistance(const CSegment* segments, int n, const CPipPoint& p);
double ChainMaxDistance(const CSegment* segments, int n, const CPipPoint& p);
// For each segment s, q = g->getNearestPoint(s); the least s.minDistance(q)
// (DBL_MAX without segments or without g), or the greatest
// s.maxDistance(q), the far end of s measured to q (DBL_MIN).
double ChainMinDistance(const CSegment* segments, int n, const IGeometry* g);
double ChainMaxDistance(const CSegment* segments, int n, const IGeometry* g);
// The nearest point of the segment strictly nearest to t (segment to
// segment), the earlier on ties; an unnamed (0, 0) without segments.
CPipPoint ChainNearestPoint(const CSegment* segments, int n, const CSegment& t);

// A new array of `count` segments, segment k filled by fill(segment, k); or
// null when count < 1 or memory runs out.
template <class Fill>
CSegment* BuildSegments(int count, const Fill& fill) {
  CSegment* segments = NewArray<CSegment>(count);
  if (segments != nullptr) {
    for (int k = 0; k < count; ++k) fill(segments[k], k);
  }
  return segments;
}

// Segments through points 0..n-1 in order, and back from the last to the
// first when `close` is set: fill(segment, from, to) sets one of them.
template <class Fill>
Built<CSegment> SegmentsThrough(int n, bool close, const Fill& fill) {
  int count = n < 2 ? 0 : close ? n : n - 1;
  CSegment* segments =
      BuildSegments(count, [&](CSegment& s, int k) { fill(s, k, k + 1 == n ? 0 : k + 1); });
  return {segments, segments != nullptr ? count : 0, segments != nullptr || count == 0};
}

}  // namespace lumetra

#endif  // LUMETRA_GEOMETRY_SEGMENT_CHAIN_H
