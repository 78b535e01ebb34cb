// PolygonSplit: one polygon of more rings or points than an object may hold
// made into several pieces that each fit, such that the even-odd rule over
// the pieces answers as it does over the whole polygon.
//
// Rings are integer points in file units (x, y pairs, open: the first point
// is not repeated).  They follow the shapefile convention: outer rings run
// clockwise, holes counter-clockwise (by the sign of the shoelace area).
//
//  1. Grouping.  Each hole goes with the smallest outer ring that holds it
//     (tested at three of its vertices, so a hole touching its ring at one
//     vertex still finds it); an island in a lake is an outer ring of its
//     own, and holes in that island go with the island.  A group -- an outer
//     ring with its holes -- answers for its own area exactly; a hole in no
//     outer ring stands alone, which the even-odd rule of the whole polygon
//     also takes as land.
//  2. Cutting.  A group beyond the limits (an outer ring with more holes
//     than an object holds) is cut along a line through the median of its
//     vertices -- vertical (x = c) where the group is wider than high, else
//     horizontal -- at a c no vertex lies on, into the parts on either side,
//     again and again until every part fits.  A cut keeps
//     the rings or ring pieces of its side and closes them along the line
//     with exactly the stretches of the line that lie inside the polygon
//     (crossing points sorted along the line and taken in pairs), so no edge
//     runs where the polygon has none.  The points where edges cross the
//     line are rounded to whole units: the boundary moves by at most half a
//     unit there.
//  3. Packing.  Groups and parts are packed, in order, into pieces of at
//     most max_parts rings and max_points points.
//
// A point strictly inside the polygon lies in exactly one piece; a point on
// a cut line inside it lies on the boundary of the two parts beside the line
// (inside both); points outside lie in none.
#ifndef LUMETRA_IMPORT_POLYGON_SPLIT_H
#define LUMETRA_IMPORT_POLYGON_SPLIT_H

#include <cstdint>
#include <vector>

namespace lumetra {

// A ring: x0, y0, x1, y1, ... in file units.
using UnitRing = std::vector<std::int32_t>;
// A set of rings read with the even-odd rule.
using RingSet = std::vector<UnitRing>;

// Twice the signed shoelace area of a ring: negative when it runs clockwise.
double SignedArea2(const UnitRing& ring);

// Whether (x, y) lies inside the ring by the even-odd crossing rule; a point
// on the ring's bottom or left edge is inside, on its top or right edge outside.
bool RingContains(const UnitRing& ring, double x, double y);

// The rings grouped as outer ring followed by its holes (indices into
// `rings`), groups in the order of their outer rings, lone holes last.
std::vector<std::vector<std::size_t>> GroupRings(const RingSet& rings);

// The part of `rings` (even-odd) left of x = c (`left`) or right of it, as
// rings closed along the line.  REQUIRES: no vertex lies on x = c.
RingSet CutAt(const RingSet& rings, std::int32_t c, bool left);

// The pieces of the polygon (see the file comment); empty when the polygon
// cannot be cut into pieces that fit (a limit below 3 points, or no line
// left that divides it).
std::vector<RingSet> SplitPolygon(const RingSet& rings, std::int64_t max_parts,
                                  std::int64_t max_points);

}  // namespace lumetra

#endif  // LUMETRA_IMPORT_POLYGON_SPLIT_H
