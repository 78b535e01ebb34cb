// The polygon clipper through gpc_polygon_clip: the input is a subject and a
// clip polygon, each a contour count byte, then per contour a vertex count
// byte and a scale byte (a power of two from 2^-20 to 2^19) followed by the
// vertices as pairs of 16-bit integers times the scale.  Each operation
// (difference, intersection, exclusive-or, union) runs on the pair, and
// again with the result in place of the subject (the result freeing and
// replacing its operand).  Checked: every result contour has at least three
// vertices, finite coordinates and a hole flag of 0 or 1; an intersection
// lies within both operands' boxes and a difference within the subject's;
// every result lies within the union of the boxes; the in-place call gives
// the same result as the plain one.
#include <lumetra/gpc.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_support.h"

namespace {

// Small polygons: every path of the sweep shows with a few vertices, and
// the sweep's cost grows with the square of the crossings, so polygons of
// 8 contours of 64 vertices ran at under 200 executions/s under the
// sanitizers, 4 of 16 at about 800.
constexpr int kMaxContours = 4;
constexpr int kMaxVertices = 16;

struct Box {
  double minx = HUGE_VAL, miny = HUGE_VAL, maxx = -HUGE_VAL, maxy = -HUGE_VAL;
  void Add(double x, double y) {
    minx = std::min(minx, x);
    miny = std::min(miny, y);
    maxx = std::max(maxx, x);
    maxy = std::max(maxy, y);
  }
  void Add(const Box& b) {
    if (b.minx > b.maxx) return;
    Add(b.minx, b.miny);
    Add(b.maxx, b.maxy);
  }
  // True when (x, y) lies in the box grown by `slack`.
  bool Holds(double x, double y, double slack) const {
    return x >= minx - slack && x <= maxx + slack && y >= miny - slack && y <= maxy + slack;
  }
};

// A polygon decoded from the choices, allocated with the C allocator as
// the clipper's results are (an in-place call frees it).
gpc_polygon Decode(lumetra_fuzz::Choices& in, Box* box) {
  gpc_polygon p;
  gpc_init_polygon(&p);
  const int contours = in.Byte() % (kMaxContours + 1);
  if (contours == 0) return p;
  p.contour = static_cast<gpc_vertex_list*>(std::calloc(contours, sizeof(gpc_vertex_list)));
  p.hole = static_cast<int*>(std::calloc(contours, sizeof(int)));
  p.num_contours = contours;
  for (int c = 0; c < contours; ++c) {
    const int n = in.Byte() % (kMaxVertices + 1);
    const double scale = std::ldexp(1.0, in.Byte() % 40 - 20);
    gpc_vertex_list& list = p.contour[c];
    list.num_vertices = n;
    list.vertex = static_cast<gpc_vertex*>(std::calloc(n > 0 ? n : 1, sizeof(gpc_vertex)));
    for (int i = 0; i < n; ++i) {
      list.vertex[i].x = static_cast<std::int16_t>(in.U16()) * scale;
      list.vertex[i].y = static_cast<std::int16_t>(in.U16()) * scale;
      box->Add(list.vertex[i].x, list.vertex[i].y);
    }
  }
  return p;
}

gpc_polygon Copy(const gpc_polygon& p) {
  gpc_polygon q;
  gpc_init_polygon(&q);
  if (p.num_contours == 0) return q;
  q.num_contours = p.num_contours;
  q.contour = static_cast<gpc_vertex_list*>(std::calloc(p.num_contours, sizeof(gpc_vertex_list)));
  q.hole = static_cast<int*>(std::calloc(p.num_contours, sizeof(int)));
  for (int c = 0; c < p.num_contours; ++c) {
    const int n = p.contour[c].num_vertices;
    q.contour[c].num_vertices = n;
    q.contour[c].vertex = static_cast<gpc_vertex*>(std::calloc(n > 0 ? n : 1, sizeof(gpc_vertex)));
    if (n > 0) std::memcpy(q.contour[c].vertex, p.contour[c].vertex, n * sizeof(gpc_vertex));
  }
  return q;
}

// The vertices of `p` in order, for comparing two results.
std::vector<double> Flatten(const gpc_polygon& p) {
  std::vector<double> all;
  for (int c = 0; c < p.num_contours; ++c) {
    all.push_back(p.contour[c].num_vertices);
    all.push_back(p.hole[c]);
    for (int i = 0; i < p.contour[c].num_vertices; ++i) {
      all.push_back(p.contour[c].vertex[i].x);
      all.push_back(p.contour[c].vertex[i].y);
    }
  }
  return all;
}

// Checks the contours of a result and that its vertices lie in `bound`
// (computed intersections may stray by rounding: `slack`).
void CheckResult(const gpc_polygon& r, const Box& bound, double slack) {
  FUZZ_CHECK(r.num_contours >= 0);
  if (r.num_contours == 0) return;
  FUZZ_CHECK(r.contour != nullptr && r.hole != nullptr);
  for (int c = 0; c < r.num_contours; ++c) {
    const gpc_vertex_list& list = r.contour[c];
    FUZZ_CHECK(list.num_vertices >= 3 && list.vertex != nullptr);
    FUZZ_CHECK(r.hole[c] == 0 || r.hole[c] == 1);
    for (int i = 0; i < list.num_vertices; ++i) {
      const gpc_vertex& v = list.vertex[i];
      FUZZ_CHECK(std::isfinite(v.x) && std::isfinite(v.y));
      FUZZ_CHECK(bound.Holds(v.x, v.y, slack));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lumetra_fuzz::Choices in(data, size);
  Box subject_box, clip_box;
  gpc_polygon subject = Decode(in, &subject_box);
  gpc_polygon clip = Decode(in, &clip_box);
  Box all = subject_box;
  all.Add(clip_box);
  const double extent = std::max(
      {std::fabs(all.minx), std::fabs(all.maxx), std::fabs(all.miny), std::fabs(all.maxy), 1.0});
  const double slack = extent * 1e-9;
  Box both;
  if (subject_box.minx <= subject_box.maxx && clip_box.minx <= clip_box.maxx) {
    both.minx = std::max(subject_box.minx, clip_box.minx);
    both.miny = std::max(subject_box.miny, clip_box.miny);
    both.maxx = std::min(subject_box.maxx, clip_box.maxx);
    both.maxy = std::min(subject_box.maxy, clip_box.maxy);
  }
  for (int op : {GPC_DIFF, GPC_INT, GPC_XOR, GPC_UNION}) {
    gpc_polygon result;
    gpc_init_polygon(&result);
    gpc_polygon_clip(op, &subject, &clip, &result);
    const Box& bound = op == GPC_INT ? both : op == GPC_DIFF ? subject_box : all;
    CheckResult(result, bound, slack);
    gpc_polygon in_place = Copy(subject);
    gpc_polygon_clip(op, &in_place, &clip, &in_place);
    FUZZ_CHECK(lumetra_fuzz::SameBits(Flatten(in_place), Flatten(result)));
    gpc_free_polygon(&in_place);
    gpc_free_polygon(&result);
  }
  gpc_free_polygon(&subject);
  gpc_free_polygon(&clip);
  return 0;
}
