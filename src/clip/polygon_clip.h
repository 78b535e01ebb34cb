// The library's polygon clipper: difference, intersection, exclusive-or and
// union of two polygon sets by Vatti's scan-beam algorithm.
//
// Polygons are plain contour lists (ClipPolygon); the clipper knows nothing
// of the geometry classes or of the gpc_* structures, whose adapters convert
// to and from these types.  Inside each polygon the even-odd rule decides
// what is covered, so contours may cross themselves and each other, touch,
// repeat vertices or nest.
//
// Result contours: at least three vertices, no two consecutive vertices
// equal, non-zero area.  Each contour keeps the covered area on its left:
// outer contours run counter-clockwise (hole flag 0), contours around holes
// clockwise (hole flag 1).  A region that touches itself at a vertex may come
// out as one contour passing that vertex twice.
//
// Tolerances: y values that differ by at most DBL_EPSILON (absolutely) are
// one scan line; an edge passing within a few units of the last place of the
// data's largest coordinate of a vertex is taken to pass through it.
//
// Thread rule: no shared state; concurrent calls on distinct data are safe.
// Working storage comes from the standard allocator: std::bad_alloc
// propagates, and the result is then left empty.
//
// Usage:
//   ClipPolygon a, b, out;
//   a.AddContour({{0, 0}, {2, 0}, {2, 2}, {0, 2}});
//   b.AddContour({{1, 1}, {3, 1}, {3, 3}, {1, 3}});
//   ClipPolygons(ClipOperation::kUnion, a, b, &out);   // one contour, 8 vertices
#ifndef LUMETRA_CLIP_POLYGON_CLIP_H
#define LUMETRA_CLIP_POLYGON_CLIP_H

#include <cstddef>
#include <initializer_list>
#include <vector>

namespace lumetra {

struct ClipVertex {
  double x;
  double y;
};

inline bool operator==(ClipVertex a, ClipVertex b) { return a.x == b.x && a.y == b.y; }
inline bool operator!=(ClipVertex a, ClipVertex b) { return !(a == b); }

// The operation codes are those of gpc_op.
enum class ClipOperation : int {
  kDifference = 0,    // subject minus clip
  kIntersection = 1,  // area in both
  kExclusiveOr = 2,   // area in exactly one
  kUnion = 3,         // area in either
};

// Contours stored one after another: contour i holds counts[i] vertices of
// `vertices`, following contour i - 1.  `holes` carries one flag per contour
// in results and is ignored in inputs.
struct ClipPolygon {
  int ContourCount() const { return static_cast<int>(counts.size()); }
  void AddContour(std::initializer_list<ClipVertex> contour);
  void AddContour(const ClipVertex* contour, int count);
  void Clear();

  std::vector<ClipVertex> vertices;
  std::vector<int> counts;
  std::vector<char> holes;
};

// Counters a test reads to see that a sweep stayed consistent.
struct ClipStats {
  int repairs = 0;    // output chains joined against their orientation or left open
  int crossings = 0;  // edge crossings processed
};

// Optional extras of one call.
struct ClipHooks {
  // Called once both polygons' edges are built, before the sweep: the
  // inputs are not read after it returns.
  void (*inputs_read)(void* context) = nullptr;
  void* context = nullptr;
  ClipStats* stats = nullptr;
};

// result = subject op clip.  `result` is cleared first and must not be one
// of the inputs.  Throws std::bad_alloc (result then empty).
void ClipPolygons(ClipOperation op, const ClipPolygon& subject, const ClipPolygon& clip,
                  ClipPolygon* result, const ClipHooks* hooks = nullptr);

// Makes every later clip on this thread that builds more than `max_edges`
// edges fail as if memory ran out; 0 lifts the limit.
void SetClipEdgeLimitForTest(std::size_t max_edges);

}  // namespace lumetra

#endif  // LUMETRA_CLIP_POLYGON_CLIP_H
