// The clipper's input tables: bounds, the local minima table and the
// scan-beam table, built from two polygons' contours.
//
// A bound is a chain of edges that rises strictly from a local minimum to a
// local maximum of a contour.  Horizontal edges belong to no bound: the sweep
// recovers them from the bounds that start and end on each scan line.  All
// vertex y values are first mapped onto the scan lines (values within
// DBL_EPSILON of a line's lowest value join that line), so every comparison
// of y values afterwards is exact.
#ifndef LUMETRA_CLIP_CLIP_EDGES_H
#define LUMETRA_CLIP_CLIP_EDGES_H

#include <cstdint>
#include <vector>

#include "clip/clip_memory.h"
#include "clip/polygon_clip.h"

namespace lumetra {

// Polygon membership bits: an edge flips the fill parity of its polygon.
constexpr std::uint8_t kSubjectBit = 1;
constexpr std::uint8_t kClipBit = 2;

// One strictly rising edge of a bound.
struct ClipEdge {
  // x at scan-line y: exact at both ends.
  double XAt(double y) const {
    if (y == top_y) return top_x;
    return bottom_x + (y - bottom_y) * dx;
  }

  double bottom_x, bottom_y;
  double top_x, top_y;
  double dx;              // (top_x - bottom_x) / (top_y - bottom_y)
  int top_line;           // scan-line index of the top
  int successor = -1;     // next edge of the bound; -1 at the local maximum
  int bundle = -1;        // the sweep's bundle while active
  int next_member = -1;   // next edge of the same bundle
  int next_ending = -1;   // next active edge ending on the same scan line
  std::uint8_t flip = 0;  // kSubjectBit or kClipBit
};

// Where one or two bounds start: a local minimum (two bounds) or the end of
// a horizontal run (one bound).
struct LocalMinimum {
  int line;
  double x;
  int edges[2];  // first edges of the bounds
  int count;
};

struct EdgeTables {
  explicit EdgeTables(ClipMemory* memory) : scanlines(memory), edges(memory), minima(memory) {}

  ClipVector<double> scanlines;     // scan-beam table: distinct y, ascending
  ClipVector<ClipEdge> edges;       // every bound edge
  ClipVector<LocalMinimum> minima;  // local minima table, by line then x
  double tolerance = 0;             // x tolerance for "passes through"
};

// Builds the tables for subject op clip.  For difference and intersection a
// clip contour whose bounding box meets no subject contour's box is left out,
// and for intersection likewise a subject contour that meets no clip box:
// such contours cannot change the result.  Contours with fewer than three
// distinct vertices, and vertices with a coordinate that is not finite, are
// dropped.
EdgeTables BuildEdgeTables(ClipOperation op, const ClipPolygon& subject, const ClipPolygon& clip,
                           ClipMemory* memory);

}  // namespace lumetra

#endif  // LUMETRA_CLIP_CLIP_EDGES_H
