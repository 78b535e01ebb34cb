// PointInObject: the point-in-polygon rule of every search of an object file.
//
// An object is a list of parts; each part is a closed ring of n points
// P0 ... Pn-1 (the edge from Pn-1 back to P0 included, rings stored open).
// The rule is the even-odd (crossing-number) rule on the horizontal line
// through the point, with these boundary conventions:
//
//   * Boundary counts as inside.  A point on a vertex, on a horizontal edge
//     (x between the edge's ends, inclusive), or within half a unit in x of
//     the place where a non-horizontal edge crosses its line is reported as
//     a boundary hit (result 1), whatever the crossings elsewhere.
//   * An edge crosses the line only when its ends lie strictly on opposite
//     sides of it; the crossing counts when it lies left of the point.
//   * A vertex or a run of consecutive points on the line (a horizontal
//     edge, or several) is judged by the points before and after it: when
//     the boundary comes from one side and leaves to the other it crosses
//     once (counted when the point lies right of the whole run); when it
//     comes back to the side it came from it only touches the line and
//     counts nothing.
//   * Parts are independent: the crossings of all parts are summed, so a
//     ring inside another acts as a hole and overlapping rings cancel in
//     pairs.
//
// Coordinates are integers (file units); the only floating-point value is
// the x where an edge crosses the line, computed in double precision.
// Parts with fewer than one point contribute nothing.  Allocates nothing.
//
// Usage:
//   const int crossings = lumetra::PointInObject(parts, part_count, x, y);
//   const bool inside = (crossings & 1) != 0;   // boundary hits return 1
#ifndef LUMETRA_SEARCH_POINT_IN_OBJECT_H
#define LUMETRA_SEARCH_POINT_IN_OBJECT_H

#include <cstddef>
#include <cstdint>

#include "objfile/object_record.h"  // lumetra::RecordPoint

namespace lumetra {

// One ring of an object: `count` points starting at `points`.
struct PolygonPart {
  std::size_t count = 0;
  const RecordPoint* points = nullptr;
};

// px between a and b, both ends included, in either order.
inline bool Between(std::int32_t px, std::int32_t a, std::int32_t b) {
  return a <= b ? (a <= px && px <= b) : (b <= px && px <= a);
}

// The x where the edge from `from` to `to` crosses the line y = py, the one
// floating-point value of the rule.  REQUIRES: from.y != to.y.  Every
// operand is widened to double first, so no integer difference can
// overflow.  Edges are always measured from their first point in ring
// order, so every user of the rule gets the same value.
inline double CrossingX(const RecordPoint& from, const RecordPoint& to, std::int32_t py) {
  const double dx = static_cast<double>(to.x) - static_cast<double>(from.x);
  const double dy_to_line = static_cast<double>(py) - static_cast<double>(from.y);
  const double dy = static_cast<double>(to.y) - static_cast<double>(from.y);
  return dx * dy_to_line / dy + static_cast<double>(from.x);
}

// The crossing test of one edge whose ends lie strictly on opposite sides of
// the line y = py: true on a boundary hit (the crossing lies within half a
// unit of px), else adds the crossing to *count when it lies left of px.
// The crossing lies between the edge's x (within far less than half a unit:
// the division's rounding), so an edge a whole unit or more left or right
// of px is decided without computing it.
inline bool CrossingHit(const RecordPoint& from, const RecordPoint& to, std::int32_t px,
                        std::int32_t py, int* count) {
  const std::int64_t lo = from.x < to.x ? from.x : to.x;
  const std::int64_t hi = from.x < to.x ? to.x : from.x;
  if (hi + 1 <= px) {
    ++*count;
    return false;
  }
  if (lo >= std::int64_t{px} + 1) return false;
  const double xint = CrossingX(from, to, py);
  const double d = static_cast<double>(px) - xint;
  if (d < 0.5 && d > -0.5) return true;
  if (xint < static_cast<double>(px)) ++*count;
  return false;
}

// 1 when (px, py) lies on the boundary of the object (as defined above),
// else the number of boundary crossings left of the point over all parts.
// An odd result means inside.
int PointInObject(const PolygonPart* parts, std::size_t part_count, std::int32_t px,
                  std::int32_t py);

// The crossings of a single ring, with the same conventions; 1 on a
// boundary hit.  Exposed for the tests of the rule.
int PointInPart(const PolygonPart& part, std::int32_t px, std::int32_t py, bool* on_boundary);

}  // namespace lumetra

#endif  // LUMETRA_SEARCH_POINT_IN_OBJECT_H
