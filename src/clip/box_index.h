// A static packed R-tree over axis-aligned boxes (sort-tile-recursive
// packing, built level by level), answering "does any box meet this one?"
// with an explicit stack.  Used by the clipper's bounding-box pre-test, so
// that testing every contour of one polygon against the other's contours
// costs O((m + n) log n) for boxes that meet little, not O(m n).
#ifndef LUMETRA_CLIP_BOX_INDEX_H
#define LUMETRA_CLIP_BOX_INDEX_H

#include <cfloat>
#include <vector>

namespace lumetra {

// Empty (x0 > x1) until a point is included.  Boxes that share only an edge
// or a corner meet.
struct ClipBox {
  void Include(double x, double y);
  void Include(const ClipBox& o);
  bool Meets(const ClipBox& o) const { return !(x1 < o.x0 || x0 > o.x1 || y1 < o.y0 || y0 > o.y1); }

  double x0 = DBL_MAX, y0 = DBL_MAX, x1 = -DBL_MAX, y1 = -DBL_MAX;
};

class BoxIndex {
 public:
  explicit BoxIndex(std::vector<ClipBox> boxes);

  bool MeetsAny(const ClipBox& box) const;

 private:
  static constexpr std::size_t kFanout = 16;

  // Level 0 holds the boxes; node i of level k + 1 covers nodes
  // [i * kFanout, (i + 1) * kFanout) of level k.
  std::vector<std::vector<ClipBox>> levels_;
};

}  // namespace lumetra

#endif  // LUMETRA_CLIP_BOX_INDEX_H
