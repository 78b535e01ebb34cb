// Distances from a point to the border of an object of an object file, and
// the nearest border point.
//
// Three measures, as the object and its record allow:
//   * point objects: pipDistance to the point (feet in geographic files,
//     coordinate units otherwise);
//   * segment distance: over the record's segment records, in their frame
//     (offsets from the record's origin, scaled to feet in geographic
//     files; see ToSegmentSpace) -- the distance to the nearest segment,
//     truncated, 0 when the squared distance is below 1;
//   * geometric distance: over the coordinates themselves, each part's
//     segments (a region's ring closed, starting with the closing segment;
//     a line's chain open), in coordinate units scaled to feet in
//     geographic files by the latitude of the object's minimum y.  The
//     nearest point belongs to the first segment that reached the smallest
//     distance; its position on a segment is A + trunc(t (B - A)) per axis.
// BorderDistance picks the measure the border-distance function of an
// object-file handle answers with; the ranked containing search ranks by it.
//
// Distances are non-negative ints; -1 means no distance (an object without
// a border, or a point distance that does not fit an int).  Results beyond
// the int range are held at INT32_MAX.  Nothing here allocates.
#ifndef LUMETRA_SEARCH_BORDER_DISTANCE_H
#define LUMETRA_SEARCH_BORDER_DISTANCE_H

#include <cstdint>

#include "objfile/object_record.h"

class PolygonObject;

namespace lumetra {

// The geometric measure: the smallest distance and, when `nearest` is not
// null, the nearest border point.  Returns false (nothing written) for an
// object without segments to measure (no points, or a line of single
// points).  *distance is the exact value, not rounded.
bool GeometricBorderDistance(const PolygonObject& object, std::int32_t x, std::int32_t y,
                             double* distance, RecordPoint* nearest);

// The segment measure over the record's segment records; -1 when it has
// none.
int SegmentBorderDistance(const PolygonObject& object, std::int32_t x, std::int32_t y);

// The distance of (x, y) to the object: pipDistance for a point object, the
// segment measure for a record with segment records, otherwise the
// geometric measure rounded (+0.5, truncated).  REQUIRES: the object's
// segment records are loaded (PolygonObject::LoadSegments); -1 otherwise.
int BorderDistance(const PolygonObject& object, std::int32_t x, std::int32_t y);

// The distance and nearest border point: pipDistance for a point object
// (the nearest point is then (x, y) itself), the geometric measure rounded
// for regions and lines (never the segment measure).  -1, with nothing
// written, when there is no distance.
int BorderDistanceEx(const PolygonObject& object, std::int32_t x, std::int32_t y,
                     RecordPoint* nearest);

}  // namespace lumetra

#endif  // LUMETRA_SEARCH_BORDER_DISTANCE_H
