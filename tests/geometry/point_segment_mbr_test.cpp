// Points, segments and rectangles: the rules as table rows.
#include <gtest/gtest.h>
#include <lumetra/geometry.h>

#include <cfloat>
#include <cmath>
#include <string>

namespace {

TEST(PipPoint, SpatialFormsRoundHalvesDown) {
  CPipPoint p(-73500000, 40750000);
  EXPECT_EQ(p.getX(), -73.5);
  EXPECT_EQ(p.getY(), 40.75);
  struct Row {
    double degrees;
    int spatial;
  } rows[] = {
      {0.0000025, 2}, {-0.0000025, -3}, {0.0000026, 3}, {-73.5, -73500000}, {1e300, 2147483647}};
  for (const Row& r : rows) {
    CPipPoint q(r.degrees, 0.0);
    EXPECT_EQ(q.getSpatialX(), r.spatial) << r.degrees;
  }
}

TEST(PipPoint, FlatEarthFeet) {
  struct Row {
    CPipPoint a, b;
    double distance, min_distance, manhattan;
  } rows[] = {
      {{0.0, 0.0}, {0.0, 1.0}, 364320, 364320, 364320},
      {{0.0, 60.0}, {1.0, 60.0}, 182160, 182160, 182160},
      {{0.0, 0.0},
       {1.0, 1.0},
       std::sqrt(2.0) * 364320,
       std::hypot(364320 * std::cos(M_PI / 180), 364320),
       364320 * std::cos(M_PI / 180) + 364320},
  };
  for (const Row& r : rows) {
    EXPECT_NEAR(r.a.distance(r.b), r.distance, 1e-6);
    EXPECT_NEAR(r.a.minDistance(r.b), r.min_distance, 1e-6);  // scale at the argument's latitude
    EXPECT_EQ(r.a.maxDistance(r.b), r.a.minDistance(r.b));
    EXPECT_NEAR(r.a.manhattanDistance(r.b), r.manhattan, 1e-6);
    EXPECT_EQ(r.a.minDistance(static_cast<const IGeometry*>(&r.b)), r.b.minDistance(r.a));
  }
  EXPECT_EQ(CPipPoint(1.0, 1.0).slope(CPipPoint(3.0, 5.0)), 2.0);
  EXPECT_TRUE(std::isinf(CPipPoint(1.0, 1.0).slope(CPipPoint(1.0, 5.0))));
}

struct IntersectRow {
  CSegment a, b;
  int overlap, intersect, with_point;
  double px, py;  // point written by intersect(b, p)
};

TEST(Segment, IntersectionRules) {
  const IntersectRow rows[] = {
      {{0, 0, 10, 10}, {10, 0, 0, 10}, 0, 0, 0, 0, 0},  // x range of b runs downwards: empty
      {{0, 0, 10, 10}, {0, 10, 10, 0}, 0, 0, 0, 0, 0},  // y range of b runs downwards
      {{0, 0, 10, 10}, {0, 5, 10, 6}, 1, 1, 1, 50.0 / 9, 50.0 / 9},
      {{0, 0, 10, 10}, {2, 2, 12, 12}, 1, 1, 1, 10, 10},  // collinear overlap: den 0, point = end
      {{0, 0, 10, 10}, {10, 10, 20, 20}, 0, 0, 0, 0, 0},  // touching ranges do not meet
      {{0, 0, 10, 0}, {0, 1, 10, 1}, 0, 0, 0, 0, 0},      // horizontal ranges are empty
      {{0, 0, 10, 10}, {3, 2, 8, 9}, 1, 1, 1, 5.5, 5.5},
      {{0, 0, 10, 10}, {6, 0, 9, 4}, 1, 0, 0, 24, 24},  // the lines cross beyond both
      {{5, 5, 5, 5}, {0, 0, 10, 10}, 1, 0, 1, 5, 5},    // degenerate: only intersect(b) refuses it
  };
  for (const IntersectRow& r : rows) {
    SCOPED_TRACE(std::to_string(r.b.getStart().getX()) + "," +
                 std::to_string(r.b.getStart().getY()));
    EXPECT_EQ(r.a.overlap(r.b), r.overlap);
    EXPECT_EQ(r.a.intersect(r.b), r.intersect);
    CPipPoint p(-1.0, -1.0);
    p.setName("kept");
    EXPECT_EQ(r.a.intersect(r.b, p), r.with_point);
    EXPECT_NEAR(p.getX(), r.px, 1e-12);
    EXPECT_NEAR(p.getY(), r.py, 1e-12);
    EXPECT_STREQ(p.getName(), "kept");
  }
  CPipPoint q;
  EXPECT_EQ(CSegment(0, 0, 10, 0).lineIntersection(CSegment(0, 1, 10, 1), q), 0);  // parallel
  EXPECT_EQ(CSegment(0, 0, 10, 10).lineIntersection(CSegment(20, 0, 20, 1), q), 1);
  EXPECT_EQ(q.getX(), 20.0);
  EXPECT_EQ(q.getY(), 20.0);
}

TEST(Mbr, RectangleRules) {
  CMbr empty;
  EXPECT_TRUE(std::isinf(empty.getWidth()) && empty.getWidth() < 0);
  CMbr m;
  m.includePoint(CPipPoint(2.0, 3.0));
  EXPECT_EQ(m.getLowerLeft(), m.getUpperRight());
  EXPECT_EQ(m.getWidth(), 0.0);
  CMbr left(0, 0, 1, 1), right(1, 0, 2, 1), overlapping(0.5, 0.5, 3, 3), far(5, 5, 6, 6);
  EXPECT_FALSE(left.overlap(right));  // a shared edge is no overlap
  EXPECT_EQ(left.minDistance(right), 0.0);
  EXPECT_TRUE(left.overlap(overlapping));
  EXPECT_EQ(left.maxDistance(overlapping), 0.0);
  EXPECT_EQ(far.isAbove(left), 1);
  EXPECT_EQ(left.isLeftOf(far), 1);
  // Diagonally away: measured between the horizontal edges.
  EXPECT_EQ(far.minDistance(left), far.getBottom().minDistance(left.getTop()));
  EXPECT_EQ(far.maxDistance(left), far.getTop().maxDistance(left.getBottom()));
  CMbr square(CPipPoint(10.0, 0.0), 5280);
  EXPECT_NEAR(square.getUpperRight().getY(), 5280 / 364320.0, 1e-15);
  EXPECT_NEAR(square.getLowerLeft().getX(), 10 - 5280 / 364320.0, 1e-13);
  CPipPoint named(1.0, 1.0);
  named.setName("corner");
  CMbr grown(named, named);
  EXPECT_STREQ(grown.getLowerLeft().getName(), "");  // points, not names
  CMbr copy(grown);
  copy.grow(2.0);
  EXPECT_EQ(copy, grown);  // zero size stays zero size
  copy.grow(0.5, 1.0);
  EXPECT_EQ(copy.getWidth(), 1.0);
  EXPECT_EQ(copy.getHeight(), 2.0);
  EXPECT_EQ(copy.getCenter(), CPipPoint(1.0, 1.0));
}

}  // namespace
