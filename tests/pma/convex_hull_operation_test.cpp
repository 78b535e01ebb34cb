// Package wrapping against the definition of a convex hull, over seeded
// point sets with duplicates, collinear runs and several lowest points.
#include "pma/convex_hull_operation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using lumetra::HullPoint;

double Cross(const HullPoint& o, const HullPoint& a, const HullPoint& b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

TEST(ConvexHull, WrapsEveryPointStrictlyConvex) {
  const unsigned seed = 77;
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  for (int round = 0; round < 300; ++round) {
    std::uniform_int_distribution<int> size(1, 40), at(0, round % 3 == 0 ? 4 : 1000);
    std::vector<HullPoint> points(static_cast<std::size_t>(size(rng)));
    for (HullPoint& p : points) p = {double(at(rng)), double(round % 5 == 0 ? 7 : at(rng))};
    std::vector<HullPoint> hull;
    lumetra::ConvexHullByWrapping(points, &hull);
    // Sets with three points off one line have a hull.
    bool spread = false;
    for (const HullPoint& a : points) {
      for (const HullPoint& b : points) {
        for (const HullPoint& c : points) spread = spread || Cross(a, b, c) != 0;
      }
    }
    ASSERT_EQ(hull.empty(), !spread) << "round " << round;
    for (std::size_t i = 0; i < hull.size(); ++i) {
      const HullPoint& a = hull[i];
      const HullPoint& b = hull[(i + 1) % hull.size()];
      EXPECT_TRUE(std::any_of(points.begin(), points.end(),
                              [&](const HullPoint& p) { return p.x == a.x && p.y == a.y; }));
      EXPECT_GT(Cross(a, b, hull[(i + 2) % hull.size()]), 0) << "round " << round;
      for (const HullPoint& p : points) EXPECT_GE(Cross(a, b, p), 0) << "round " << round;
    }
  }
}

}  // namespace
