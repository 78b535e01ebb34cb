// SplitPolygon against the whole polygon: for a seeded jagged outer ring
// with a grid of holes (some holding islands), a second outer ring and a
// lone ring, random points answer the even-odd rule over the pieces as
// over all rings, whatever the limits (down to cuts through holes and
// islands); points within a unit of an original edge are left out (the
// cut points are rounded to whole units).
#include "import/polygon_split.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using lumetra::RingSet;
using lumetra::UnitRing;

// A star-shaped ring of `n` points round (cx, cy), radii in [r0, r1],
// clockwise unless `ccw`.
UnitRing Star(std::mt19937& random, double cx, double cy, double r0, double r1, int n, bool ccw) {
  std::uniform_real_distribution<double> radius(r0, r1);
  UnitRing ring;
  for (int i = 0; i < n; ++i) {
    const double a = (ccw ? 1 : -1) * 2 * M_PI * i / n;
    const double r = radius(random);
    ring.push_back(static_cast<std::int32_t>(std::lround(cx + r * std::cos(a))));
    ring.push_back(static_cast<std::int32_t>(std::lround(cy + r * std::sin(a))));
  }
  return ring;
}

RingSet Sample(std::mt19937& random) {
  RingSet rings = {Star(random, 0, 0, 800000, 1000000, 300, false)};
  std::bernoulli_distribution island(0.2);
  for (int gx = -8; gx <= 8; ++gx) {
    for (int gy = -8; gy <= 8; ++gy) {
      rings.push_back(Star(random, gx * 40000, gy * 40000, 6000, 16000, 12, true));
      if (island(random))
        rings.push_back(Star(random, gx * 40000, gy * 40000, 1000, 4000, 8, false));
    }
  }
  rings.push_back(Star(random, 2500000, 0, 100000, 300000, 40, false));  // another outer ring
  rings.push_back(Star(random, -2500000, 0, 100000, 200000, 30, true));  // in no outer ring
  return rings;
}

TEST(RingContains, BottomAndLeftEdgesAreInsideTopAndRightOutside) {
  const UnitRing square = {0, 0, 10, 0, 10, 10, 0, 10};
  EXPECT_TRUE(lumetra::RingContains(square, 5, 0));
  EXPECT_TRUE(lumetra::RingContains(square, 0, 5));
  EXPECT_FALSE(lumetra::RingContains(square, 5, 10));
  EXPECT_FALSE(lumetra::RingContains(square, 10, 5));
}

int Crossings(const RingSet& rings, double x, double y) {
  int inside = 0;
  for (const UnitRing& r : rings) inside += lumetra::RingContains(r, x, y) ? 1 : 0;
  return inside;
}

double DistanceToEdges(const RingSet& rings, double x, double y) {
  double best = 1e300;
  for (const UnitRing& r : rings) {
    const std::size_t n = r.size() / 2;
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
      const double ax = r[2 * j], ay = r[2 * j + 1], dx = r[2 * i] - ax, dy = r[2 * i + 1] - ay;
      const double t =
          std::fmax(0, std::fmin(1, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)));
      best = std::fmin(best, std::hypot(x - ax - t * dx, y - ay - t * dy));
    }
  }
  return best;
}

TEST(PolygonSplit, PiecesAnswerLikeTheWholePolygon) {
  const unsigned seed = 20240603;
  std::mt19937 random(seed);
  const RingSet rings = Sample(random);
  std::uniform_int_distribution<std::int32_t> coordinate(-2900000, 2900000);
  for (const auto& [max_parts, max_points] :
       {std::pair<int, int>{16383, 1000000}, {40, 100000}, {3, 400}}) {
    SCOPED_TRACE("limits " + std::to_string(max_parts) + " parts, " + std::to_string(max_points) +
                 " points, seed " + std::to_string(seed));
    const std::vector<RingSet> pieces = lumetra::SplitPolygon(rings, max_parts, max_points);
    ASSERT_FALSE(pieces.empty());
    for (const RingSet& piece : pieces) {
      std::size_t points = 0;
      for (const UnitRing& r : piece) points += r.size() / 2;
      EXPECT_LE(piece.size(), static_cast<std::size_t>(max_parts));
      EXPECT_LE(points, static_cast<std::size_t>(max_points));
    }
    for (int i = 0; i < 2000; ++i) {
      const double x = coordinate(random) / (i % 2 == 0 ? 1 : 3);
      const double y = coordinate(random) / (i % 2 == 0 ? 1 : 3);
      if (DistanceToEdges(rings, x, y) < 1.5) continue;
      bool in_pieces = false;
      for (const RingSet& piece : pieces) in_pieces = in_pieces || Crossings(piece, x, y) % 2 == 1;
      EXPECT_EQ(in_pieces, Crossings(rings, x, y) % 2 == 1) << x << " " << y;
    }
  }
  EXPECT_TRUE(lumetra::SplitPolygon(rings, 1, 2).empty());  // no piece holds a ring
}

}  // namespace
