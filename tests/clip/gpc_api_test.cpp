// The gpc_* interface: results of the clipper's edge cases, result
// aliasing, empty and damaged inputs, allocation failure.  Leaks and double
// frees show in the sanitizer build.
#include <gtest/gtest.h>
#include <lumetra/gpc.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "clip/polygon_clip.h"

namespace {

using Ring = std::vector<gpc_vertex>;

gpc_polygon Make(const std::vector<Ring>& rings) {
  gpc_polygon p;
  gpc_init_polygon(&p);
  p.num_contours = static_cast<int>(rings.size());
  p.hole = static_cast<int*>(std::calloc(rings.size() + 1, sizeof(int)));
  p.contour = static_cast<gpc_vertex_list*>(std::calloc(rings.size() + 1, sizeof(gpc_vertex_list)));
  for (std::size_t c = 0; c < rings.size(); ++c) {
    p.contour[c].num_vertices = static_cast<int>(rings[c].size());
    p.contour[c].vertex =
        static_cast<gpc_vertex*>(std::malloc(sizeof(gpc_vertex) * rings[c].size() + 1));
    for (std::size_t i = 0; i < rings[c].size(); ++i) p.contour[c].vertex[i] = rings[c][i];
  }
  return p;
}

Ring Square(double x0, double y0, double x1, double y1) {
  return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

double SignedArea(const gpc_vertex_list& c) {
  double s = 0;
  for (int i = 0; i < c.num_vertices; ++i) {
    const gpc_vertex &p = c.vertex[i], &q = c.vertex[(i + 1) % c.num_vertices];
    s += p.x * q.y - q.x * p.y;
  }
  return s / 2;
}

double Area(const gpc_polygon& p) {
  double a = 0;
  for (int c = 0; c < p.num_contours; ++c) a += SignedArea(p.contour[c]);
  return a;
}

struct Case {
  const char* name;
  std::vector<Ring> subject, clip;
  int op;
  int contours;
  std::vector<int> vertices;  // per contour, in output order of the hole flags below
  std::vector<int> holes;
  double area;
};

TEST(GpcClip, ResultReplacesAnAliasedOperand) {
  for (int op : {GPC_UNION, GPC_INT}) {
    gpc_polygon a = Make({Square(0, 0, 2, 2)}), b = Make({Square(1, 1, 3, 3)});
    gpc_polygon_clip(op, &a, &b, &a);
    EXPECT_NEAR(Area(a), op == GPC_UNION ? 7 : 1, 1e-12);
    gpc_polygon_clip(GPC_DIFF, &a, &b, &b);  // the clip replaced
    EXPECT_NEAR(Area(b), op == GPC_UNION ? 3 : 0, 1e-12);
    gpc_polygon empty;
    gpc_init_polygon(&empty);
    gpc_polygon_clip(GPC_INT, &a, &empty, &a);  // trivial result, a still freed
    EXPECT_EQ(a.num_contours, 0);
    gpc_polygon_clip(GPC_UNION, &b, &b, &b);  // all three the same
    gpc_free_polygon(&a);
    gpc_free_polygon(&b);
  }
}

TEST(GpcClip, DamagedInputsAndFailuresLeaveEmptyResults) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  gpc_polygon good = Make({Square(0, 0, 1, 1)});
  gpc_polygon odd = Make({Square(0, 0, 2, 2), {{0, 0}}, {{0, 0}, {nan, 1}, {1, 1}, {1, 0}}});
  odd.contour[1].num_vertices = -4;  // a negative count is skipped
  gpc_polygon r;
  // The NaN vertex is dropped: a triangle remains, a hole in the square by
  // the even-odd rule.
  gpc_polygon_clip(GPC_UNION, &odd, nullptr, &r);
  EXPECT_NEAR(Area(r), 3.5, 1e-12);
  gpc_free_polygon(&r);
  gpc_polygon no_contours{2, nullptr, nullptr};
  gpc_polygon_clip(GPC_UNION, &good, &no_contours, &r);
  EXPECT_NEAR(Area(r), 1, 1e-12);
  gpc_free_polygon(&r);
  gpc_polygon_clip(7, &good, &good, &r);  // unknown operation
  EXPECT_EQ(r.num_contours, 0);
  gpc_polygon_clip(GPC_UNION, &good, &good, nullptr);  // nothing to fill

  lumetra::SetClipEdgeLimitForTest(1);  // memory "runs out" building the edges
  gpc_polygon_clip(GPC_UNION, &odd, &good, &odd);
  lumetra::SetClipEdgeLimitForTest(0);
  EXPECT_EQ(odd.num_contours, 0);
  EXPECT_TRUE(odd.contour == nullptr);

  gpc_free_polygon(&good);
  gpc_free_polygon(&odd);
  gpc_free_polygon(nullptr);
  EXPECT_EQ(gpc_init_polygon(&r), 0);
  gpc_free_polygon(&r);
}

}  // namespace
