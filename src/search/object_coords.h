// The coordinates of an object as the exported coordinate calls hand them
// out: interleaved x, y pairs of all parts in file order, an array of
// per-part point counts, and the part count.  A point object is one part of
// one point (its position).
#ifndef LUMETRA_SEARCH_OBJECT_COORDS_H
#define LUMETRA_SEARCH_OBJECT_COORDS_H

#include <cstddef>

class PolygonObject;

namespace lumetra {

// Detail texts of a caller's buffer that is too small (code 103).
inline constexpr char kTooManyPartsDetail[] = "Object to large for input size (too many polygons).";
inline constexpr char kTooManyPointsDetail[] = "Object to large for input size (too many points).";

// The number of points and parts of the object held by `object`.
void CountObjectCoords(const PolygonObject& object, std::size_t* points, std::size_t* parts);

enum class CoordsCopy {
  kDone,
  kTooManyParts,   // nothing written
  kTooManyPoints,  // the part counts were written, the points not
};

// Copies the object's part counts into `part_counts` (room for
// `part_capacity`) and its points into `points` (room for `point_capacity`
// points, two ints each), and sets *parts to the part count.  The part
// counts are checked and copied before the points are checked.
CoordsCopy CopyObjectCoords(const PolygonObject& object, int* points, std::size_t point_capacity,
                            int* part_counts, std::size_t part_capacity, std::size_t* parts);

}  // namespace lumetra

#endif  // LUMETRA_SEARCH_OBJECT_COORDS_H
