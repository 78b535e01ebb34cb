// The region overlap check: two sets of integer polygons, region A and
// region B, classified as apart, one inside the other, equal or partly
// overlapping, with the share of A's area that B covers.
//
// The classification is an integer sweep over the vertex x coordinates of
// both regions inside their common x window.  At each event x it walks the
// edges met by the vertical line and keeps even-odd parity flags for both
// regions on both sides of the line (just left and just right of x); the
// flags set three facts: the interiors meet ("overlap"), A has area outside
// B, B has area outside A.  Between two event x the edges keep their vertical
// order unless they cross, so a pair-wise crossing test completes the sweep.
//
// The percentage samples A's bounding box with `resolution` vertical scan
// lines at the centres of equal steps and measures, on each line, the length
// inside A and the length inside both regions (even-odd per region).  An edge
// end lying exactly on a scan line is counted as the line just right of it
// sees the edge: an edge that starts there crosses, one that ends there does
// not.  Hence a vertex joining an edge from the left and one to the right is
// one crossing, two edges both leaving (or both arriving) make none.
//
// Coordinates are the library's 32-bit integers (millionths of a degree in
// geographic data); only their consistency matters.  Polygons are closed
// implicitly (the last point joins the first) and are not validated: any
// point count, repeated points and self-intersections are accepted.
//
// Thread rule: one call at a time per object.  The object reports failures
// into the error record it was given, which must outlive it.
//
// Usage:
//   OverlapCheck check(library.error());
//   check.AddPolygon(OverlapRegion::kA, 4, square_a);
//   check.AddPolygon(OverlapRegion::kB, 4, square_b);
//   double percent = 0;
//   int result = check.CheckEx(100, &percent);   // PIP_OVERLAP_* or -1
#ifndef LUMETRA_CLIP_OVERLAP_CHECK_H
#define LUMETRA_CLIP_OVERLAP_CHECK_H

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

class pipError;

namespace lumetra {

// Region tags as stored in polygon entries and edge records.
enum class OverlapRegion : int { kA = 1, kB = 6 };

// Results of a check; the values are the PIP_OVERLAP_* codes.
enum class OverlapResult : int {
  kFailure = -1,
  kApart = 2,     // the interiors do not meet
  kAInsideB = 3,  // overlap, A lies entirely within B
  kBInsideA = 4,  // overlap, B lies entirely within A
  kPartial = 5,   // overlap, each has area outside the other
  kEqual = 6,     // overlap, both cover the same area
};

struct OverlapPoint {
  std::int32_t x;
  std::int32_t y;
};

// One polygon of a region: its points (closed implicitly) and its tag.
struct OverlapPolygon {
  int num_points() const { return static_cast<int>(points.size()); }

  std::vector<OverlapPoint> points;
  OverlapRegion region = OverlapRegion::kA;
};

// The polygons of one region.  Entries are kept when the list is cleared and
// their point storage is reused by later additions.
class OverlapPolygonList {
 public:
  static constexpr std::size_t kInitialCapacity = 10;

  explicit OverlapPolygonList(OverlapRegion region);

  // Appends a polygon copied from `num_points` interleaved (x, y) pairs.
  // Throws std::bad_alloc; after a throw the list holds what it held before.
  void Add(const int* xy, std::size_t num_points);
  void Clear() { count_ = 0; }

  std::size_t count() const { return count_; }
  std::size_t capacity() const { return entries_.capacity(); }
  const OverlapPolygon& operator[](std::size_t i) const { return entries_[i]; }
  OverlapRegion region() const { return region_; }

 private:
  OverlapRegion region_;
  std::vector<OverlapPolygon> entries_;  // [0, count_) are live
  std::size_t count_ = 0;
};

// A bounding box; `empty` until a point is included.
struct OverlapBox {
  void Include(OverlapPoint p);
  // True when this box lies within `outer` (edges included).
  bool Within(const OverlapBox& outer) const;

  std::int32_t min_x = 0;
  std::int32_t min_y = 0;
  std::int32_t max_x = 0;
  std::int32_t max_y = 0;
  bool empty = true;
};

// One polygon side, stored with the smaller x first (for equal x the smaller
// y first).  `slope` is 0 for horizontal and vertical edges; `intercept` is
// y1 - x1 * slope, x1 for a vertical edge and 0 for a horizontal one.
struct OverlapEdge {
  static OverlapEdge FromSide(OverlapPoint from, OverlapPoint to, OverlapRegion region);

  bool vertical() const { return x1 == x2; }
  bool horizontal() const { return y1 == y2; }
  std::int32_t min_y() const { return y1 < y2 ? y1 : y2; }
  std::int32_t max_y() const { return y1 < y2 ? y2 : y1; }
  // The edge's y at x (x1 <= x <= x2, not vertical), exact whenever the true
  // value is an integer.
  double YAt(double x) const;

  std::int32_t x1, y1, x2, y2;
  double slope;
  double intercept;
  OverlapRegion region;
};

// True when two edges cross at a point lying more than 1e-7 inside both
// edges' x ranges.  Only pairs whose x ranges and y ranges overlap strictly
// are tried; pairs that are both horizontal, both vertical or of equal slope
// never cross.  A horizontal edge's line is y = y1.
bool OverlapEdgesCross(const OverlapEdge& a, const OverlapEdge& b);

// True when some A edge crosses some B edge as OverlapEdgesCross says.
// REQUIRES: `edges` sorted by x1 (the sweep order).
bool AnyRegionEdgesCross(const std::vector<OverlapEdge>& edges);

// The three facts the sweep establishes.
struct OverlapFlags {
  bool overlap = false;
  bool a_outside = false;
  bool b_outside = false;
};

class OverlapCheck {
 public:
  // REQUIRES: `error` outlives this object.
  explicit OverlapCheck(pipError& error);
  OverlapCheck(const OverlapCheck&) = delete;
  OverlapCheck& operator=(const OverlapCheck&) = delete;

  // Copies a polygon into region A or B and returns 1.  A null `xy` or a
  // negative count is reported (code 106) and returns -1.  When memory for
  // the copy cannot be had the polygon is dropped and the call still
  // returns 1, as callers of this interface expect.
  int AddPolygon(OverlapRegion region, int num_points, const int* xy);
  void ClearRegion(OverlapRegion region);
  void ClearAll();

  // Classifies the regions: a PIP_OVERLAP_* code (2..6), or -1 with code 104
  // reported when the working storage cannot be allocated.  A check while
  // either region holds no points answers 2.
  int Check();
  // As Check, and writes *percent (unless null): 0 for result 2, 100 for 3
  // and 6, and for 4 and 5 the share of A's area covered by B, sampled by
  // `resolution` scan lines, or -1.0 when resolution < 1.
  int CheckEx(int resolution, double* percent);

  const OverlapPolygonList& polygons(OverlapRegion region) const;
  // Boxes of the last check.
  const OverlapBox& box(OverlapRegion region) const;
  // The sweep's edge records of the last check, sorted for the sweep.
  const std::vector<OverlapEdge>& edges() const { return edges_; }
  const std::vector<std::int32_t>& event_xs() const { return event_xs_; }

  // Makes any check that needs more than `max_edges` edge records fail as
  // if memory ran out.
  void SetEdgeLimitForTest(std::size_t max_edges) { edge_limit_ = max_edges; }

 private:
  struct Window {
    std::int32_t low;
    std::int32_t high;
  };

  int Run(int resolution, double* percent);
  OverlapResult Classify();
  void ComputeBoxes();
  bool BoxesApart() const;
  Window XWindow() const;
  void BuildSweepEdges(const Window& window);
  void AddSweepEdges(const OverlapPolygonList& list, const Window& window);
  OverlapFlags InitialFlags() const;
  void RunSweep(OverlapFlags& flags);
  double PercentFor(OverlapResult result, int resolution);
  double ScanLinePercent(int resolution);
  void BuildScanEdges();
  void ReserveEdges(std::vector<OverlapEdge>& edges, std::size_t count) const;
  std::size_t SideCount() const;

  pipError& error_;
  OverlapPolygonList region_a_{OverlapRegion::kA};
  OverlapPolygonList region_b_{OverlapRegion::kB};
  OverlapBox box_a_;
  OverlapBox box_b_;

  // Working storage of one check, rebuilt by every check.
  std::vector<OverlapEdge> edges_;       // sweep edges inside the x window
  std::vector<std::int32_t> event_xs_;   // sorted, possibly repeated
  std::vector<OverlapEdge> scan_edges_;  // all non-vertical sides, by x1
  std::size_t edge_limit_ = std::numeric_limits<std::size_t>::max();
};

}  // namespace lumetra

#endif  // LUMETRA_CLIP_OVERLAP_CHECK_H
