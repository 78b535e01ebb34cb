// pipRadContext: the object behind a radial-search handle (kind 5) -- a
// set of named points in a KdTree and the one search under way on it.
//
// Modes.  Mode 1 (PIP_RAD_GEOGRAPHIC) takes coordinates as millionths of a
// degree and distances in feet on a locally flattened earth: 0.36432 feet
// per unit of latitude, and per unit of longitude that times the cosine of
// the query's latitude.  Rectangles and windows are then clamped to
// +-180 and +-90 degrees.  Any other mode is planar: plain units on both
// axes.
//
// Searches (each find-first replaces the search under way):
//  - rectangle: the points inside it, edges included, in tree order.  The
//    corners may come in any order (each axis is ordered); a rectangle is
//    never taken as crossing the 180th meridian.
//  - radius: the points whose distance, truncated to an integer, is at
//    most the radius -- a point exactly at the radius is found -- in tree
//    order, not by distance.  The walk covers the window x +- (radius + 1)
//    / x scale, y +- (radius + 1) / y scale (bounds truncated), which holds
//    every such point.
//  - nearest: the k nearest points, nearest first (see NearestPoints for
//    the window rule and ties).
// FindNext continues the search under way; a search that answered 0 is
// over, and FindNext without a search under way records code 100 "Attempt
// to call pipRadFindNext before pipRadFindFirst..." and answers -1.
//
// Points may be inserted at any time; a search started afterwards sees
// them, one under way does not.  Answers are written to non-null x and y
// outputs and copied into the name buffer as the exported functions say.
//
// Failures are recorded (Set, never shown) in the library's error record,
// which is not owned and must outlive the context.  Thread rule: one thread
// at a time per context.
//
// Usage:
//   pipRadContext search(library.error(), PIP_RAD_GEOGRAPHIC);
//   search.InsertPoint(-87629800, 41878100, "Chicago");
//   RadialAnswer out{&x, &y, name, sizeof name};
//   for (int r = search.FindFirstNearest(x0, y0, 3, out); r > 0; r = search.FindNext(out)) ...
#ifndef LUMETRA_RADIAL_PIP_RAD_CONTEXT_H
#define LUMETRA_RADIAL_PIP_RAD_CONTEXT_H

#include <lumetra/pip.h>

#include <cstdint>

#include "radial/kd_tree.h"
#include "radial/nearest_points.h"
#include "radial/range_walker.h"

class pipError;
class pipObjectFileObject;

namespace lumetra {

// Where a search answer goes: x and y (each may be null) and the name
// buffer (cut to name_length - 1 characters and terminated; nothing written
// for a null buffer or a length below 1).
struct RadialAnswer {
  int* x;
  int* y;
  char* name;
  int name_length;
};

}  // namespace lumetra

class pipRadContext {
 public:
  static constexpr double kFeetPerUnit = 0.36432;  // per millionth of a degree of latitude
  static constexpr double kRadiansPerUnit = 1.745329252e-8;
  static constexpr char kTreeMemory[] = "Unable to allocate memory for search tree.";
  static constexpr char kStackMemory[] = "Unable to allocate search stack.";
  static constexpr char kNextBeforeFirst[] =
      "Attempt to call pipRadFindNext before pipRadFindFirst...";

  pipRadContext(pipError& err, int mode);
  pipRadContext(const pipRadContext&) = delete;
  pipRadContext& operator=(const pipRadContext&) = delete;

  // 1; -1 with code 104 when the name or node cannot be stored.
  int InsertPoint(std::int32_t x, std::int32_t y, const char* name);
  // Inserts every point object of `file` in name-index order (regions and
  // lines are skipped).  1 when points were loaded; -1 when the file holds
  // none, a record cannot be read or an insertion fails (the points
  // inserted so far stay).  The walk uses the file's name index, so a name
  // search under way on the file's handle is ended (its next call answers
  // -1 as without a search); other searches of the file are left alone.
  int LoadPoints(pipObjectFileObject& file);

  // 1 found (answer written); 0 none; -1 failure (recorded).
  int FindFirstInRect(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                      const lumetra::RadialAnswer& out);
  int FindFirstInRadius(std::int32_t cx, std::int32_t cy, std::int32_t radius,
                        const lumetra::RadialAnswer& out);
  // `count` below 1 is refused with code 106.
  int FindFirstNearest(std::int32_t cx, std::int32_t cy, int count,
                       const lumetra::RadialAnswer& out);
  // The next answer of the search under way: 1; 0 when it is exhausted;
  // -1 (code 100) without one.
  int FindNext(const lumetra::RadialAnswer& out);

  bool geographic() const { return mode_ == PIP_RAD_GEOGRAPHIC; }
  pipError& error() const { return err_; }
  lumetra::KdTree& tree() { return tree_; }
  const lumetra::RangeWalker& walker() const { return walker_; }
  lumetra::NearestPoints& nearest() { return nearest_; }

 private:
  enum class LastSearch { kNone, kRect, kRadius, kNearest };

  // The query point of a radius or nearest search with its scales.
  lumetra::RadialQuery QueryAt(std::int32_t x, std::int32_t y) const;
  // Starts the walker over `rect`; false (code 104) when its stack cannot
  // get its room.
  bool StartWalk(const lumetra::RadialRect& rect);
  // The next answer of each kind of search, or 0 at its end.
  int NextInRect(const lumetra::RadialAnswer& out);
  int NextInRadius(const lumetra::RadialAnswer& out);
  int NextNearest(const lumetra::RadialAnswer& out);
  // Writes `node` out and answers 1.
  static int Answer(const lumetra::RadialNode& node, const lumetra::RadialAnswer& out);

  pipError& err_;
  int mode_;
  double y_scale_;
  lumetra::KdTree tree_;
  lumetra::RangeWalker walker_;
  lumetra::NearestPoints nearest_;
  lumetra::RadialQuery query_;
  std::int32_t radius_ = 0;
  LastSearch last_search_ = LastSearch::kNone;
};

#endif  // LUMETRA_RADIAL_PIP_RAD_CONTEXT_H
