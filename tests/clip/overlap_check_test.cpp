#include "clip/overlap_check.h"

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "frame/error.h"

namespace lumetra {
namespace {

using Polygon = std::vector<int>;  // interleaved x, y; closed implicitly
using Region = std::vector<Polygon>;

// The rectangle (x0, y0)-(x1, y1), counter-clockwise.
Polygon R(int x0, int y0, int x1, int y1) { return {x0, y0, x1, y0, x1, y1, x0, y1}; }

// L-shape: the square (0,0)-(100,100) without its upper right quarter.
const Polygon kL = {0, 0, 100, 0, 100, 50, 50, 50, 50, 100, 0, 100};

std::string Describe(const Region& region) {
  std::ostringstream out;
  for (const Polygon& p : region) {
    out << "[";
    for (std::size_t i = 0; i + 1 < p.size(); i += 2) out << "(" << p[i] << "," << p[i + 1] << ")";
    out << "]";
  }
  return out.str();
}

void Load(OverlapCheck& check, const Region& a, const Region& b) {
  for (const Polygon& p : a) {
    ASSERT_EQ(check.AddPolygon(OverlapRegion::kA, static_cast<int>(p.size() / 2), p.data()), 1);
  }
  for (const Polygon& p : b) {
    ASSERT_EQ(check.AddPolygon(OverlapRegion::kB, static_cast<int>(p.size() / 2), p.data()), 1);
  }
}

// ---- Classification and percentage of hand-made cases ----

constexpr double kAny = -999.0;  // percentage not checked

TEST(OverlapCheck, HandMadeCases) {
  const Polygon kDiamond = {50, 0, 100, 50, 50, 100, 0, 50};  // inscribed in R(0, 0, 100, 100)
  const struct {
    const char* name;
    Region a, b;
    int resolution;
    int result;
    double percent;
  } rows[] = {
      {"squares sharing an edge", {R(0, 0, 100, 100)}, {R(100, 0, 200, 100)}, 100, 2, 0.0},
      {"squares sharing a corner", {R(0, 0, 10, 10)}, {R(10, 10, 20, 20)}, 10, 2, 0.0},
      {"apart", {R(0, 0, 10, 10)}, {R(50, 60, 70, 80)}, 10, 2, 0.0},
      {"small A inside large B", {R(25, 25, 75, 75)}, {R(0, 0, 100, 100)}, 100, 3, 100.0},
      {"small B inside large A", {R(0, 0, 100, 100)}, {R(25, 25, 75, 75)}, 100, 4, 25.0},
      {"B inside A sharing three edges", {R(0, 0, 100, 100)}, {R(0, 0, 50, 100)}, 100, 4, 50.0},
      {"identical squares", {R(0, 0, 100, 100)}, {R(0, 0, 100, 100)}, 100, 6, 100.0},
      {"identical, other start",
       {R(0, 0, 100, 100)},
       {{100, 100, 0, 100, 0, 0, 100, 0}},
       100,
       6,
       100.0},
      {"square, two halves", {R(0, 0, 20, 10)}, {R(0, 0, 10, 10), R(10, 0, 20, 10)}, 20, 6, 100.0},
      {"offset squares", {R(0, 0, 100, 100)}, {R(50, 50, 150, 150)}, 100, 5, 25.0},
      {"offset squares, resolution 0", {R(0, 0, 100, 100)}, {R(50, 50, 150, 150)}, 0, 5, -1.0},
      {"offset, negative resolution", {R(0, 0, 100, 100)}, {R(50, 50, 150, 150)}, -3, 5, -1.0},
      {"cross of thin rectangles", {R(0, 40, 100, 60)}, {R(40, 0, 60, 100)}, 100, 5, 20.0},
      {"L and square in its notch", {kL}, {R(50, 50, 100, 100)}, 100, 2, 0.0},
      {"L and square inside its arm", {kL}, {R(10, 10, 40, 40)}, 100, 4, 12.0},
      {"L and square over its notch corner", {kL}, {R(40, 40, 90, 90)}, 100, 5, 12.0},
      {"square in notch as A, L as B", {R(50, 50, 100, 100)}, {kL}, 50, 2, 0.0},
      {"two A squares, B bridging",
       {R(0, 0, 10, 10), R(20, 0, 30, 10)},
       {R(5, 0, 25, 10)},
       30,
       5,
       50.0},
      {"A square, two B squares inside",
       {R(0, 0, 40, 40)},
       {R(0, 0, 10, 10), R(20, 20, 30, 30)},
       40,
       4,
       12.5},
      {"diamond A inscribed in square B", {kDiamond}, {R(0, 0, 100, 100)}, 100, 3, 100.0},
      {"square A around a diamond B", {R(0, 0, 100, 100)}, {kDiamond}, 100, 4, 50.0},
      {"diamond poking out of a square",
       {{50, -20, 120, 50, 50, 120, -20, 50}},
       {R(0, 0, 100, 100)},
       100,
       5,
       kAny},
      // Polygons without area: a boundary of one region alone inside the
      // other counts as overlap.
      {"two-point A inside B", {{20, 50, 80, 50}}, {R(0, 0, 100, 100)}, 100, 3, 100.0},
      {"two-point B inside A", {R(0, 0, 100, 100)}, {{20, 50, 80, 50}}, 100, 4, 0.0},
      {"two-point A in the notch of B", {{60, 60, 90, 90}}, {kL}, 100, 2, 0.0},
      // Scan lines at x = 1, 3, ..., 99 pass through the diamond's vertices
      // (1,50), (51,0) and (51,100).
      {"scan lines through vertices",
       {R(0, 0, 100, 100)},
       {{1, 50, 51, 0, 101, 50, 51, 100}},
       50,
       5,
       50.0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.name) + ": A=" + Describe(row.a) + " B=" + Describe(row.b) +
                 " resolution " + std::to_string(row.resolution));
    pipError error;
    OverlapCheck check(error);
    Load(check, row.a, row.b);
    double percent = -12345.0;
    EXPECT_EQ(check.CheckEx(row.resolution, &percent), row.result);
    if (row.percent != kAny) {
      EXPECT_DOUBLE_EQ(percent, row.percent);
    }
    EXPECT_EQ(check.Check(), row.result);
    EXPECT_EQ(check.CheckEx(row.resolution, nullptr), row.result);  // no percentage wanted
    EXPECT_EQ(error.code(), -1);
  }
}

struct QuickExitRow {
  const char* name;
  Polygon a, b;
  bool quick;  // answered from the boxes alone
};

TEST(OverlapCheck, BoxesThatOnlyTouchAreApartWithoutASweep) {
  const QuickExitRow rows[] = {
      {"B right of A", R(0, 0, 10, 10), R(10, 0, 20, 10), true},
      {"B left of A", R(0, 0, 10, 10), R(-10, 3, 0, 5), true},
      {"B above A", R(0, 0, 10, 10), R(2, 10, 8, 20), true},
      {"B below A", R(0, 0, 10, 10), R(-5, -10, 15, 0), true},
      {"B far away", R(0, 0, 10, 10), R(100, 100, 110, 110), true},
      {"A a vertical needle on B's left edge", {10, 0, 10, 100}, R(10, 0, 50, 100), false},
      {"A a horizontal needle on B's bottom edge", {0, 10, 50, 10}, R(0, 10, 50, 100), false},
      {"L-shape and square in its notch", kL, R(50, 50, 100, 100), false},
  };
  for (const QuickExitRow& row : rows) {
    SCOPED_TRACE(row.name);
    pipError error;
    OverlapCheck check(error);
    Load(check, {row.a}, {row.b});
    double percent = -1;
    EXPECT_EQ(check.CheckEx(10, &percent), 2);
    EXPECT_EQ(percent, 0.0);
    EXPECT_EQ(check.edges().empty(), row.quick);
  }
}

TEST(OverlapCheck, ClearingBReevaluatesWithNewPolygons) {
  pipError error;
  OverlapCheck check(error);
  Load(check, {R(0, 0, 100, 100)}, {R(50, 50, 150, 150)});
  ASSERT_EQ(check.Check(), 5);
  check.ClearRegion(OverlapRegion::kB);
  EXPECT_EQ(check.polygons(OverlapRegion::kB).count(), 0u);
  EXPECT_EQ(check.polygons(OverlapRegion::kA).count(), 1u);
  Load(check, {}, {R(10, 10, 20, 20)});
  double percent = 0;
  EXPECT_EQ(check.CheckEx(100, &percent), 4);
  EXPECT_DOUBLE_EQ(percent, 1.0);
  check.ClearRegion(OverlapRegion::kA);
  Load(check, {R(12, 12, 18, 18)}, {});
  EXPECT_EQ(check.CheckEx(6, &percent), 3);
  EXPECT_EQ(percent, 100.0);
}

TEST(OverlapCheck, EmptyRegionIsApart) {
  pipError error;
  OverlapCheck check(error);
  double percent = -1;
  EXPECT_EQ(check.CheckEx(10, &percent), 2);
  EXPECT_EQ(percent, 0.0);
  Load(check, {R(0, 0, 10, 10)}, {});
  percent = -1;
  EXPECT_EQ(check.CheckEx(10, &percent), 2);
  EXPECT_EQ(percent, 0.0);
  Load(check, {}, {R(0, 0, 10, 10)});
  EXPECT_EQ(check.Check(), 6);
  check.ClearAll();
  Load(check, {}, {R(0, 0, 10, 10)});
  EXPECT_EQ(check.Check(), 2);
  EXPECT_TRUE(check.box(OverlapRegion::kA).empty);
}

TEST(OverlapCheck, PolygonsWithoutPointsAreHarmless) {
  pipError error;
  OverlapCheck check(error);
  const int unused[2] = {7, 7};
  EXPECT_EQ(check.AddPolygon(OverlapRegion::kA, 0, unused), 1);
  EXPECT_EQ(check.AddPolygon(OverlapRegion::kB, 0, unused), 1);
  EXPECT_EQ(check.Check(), 2);  // no points: nothing to overlap
  Load(check, {R(0, 0, 10, 10)}, {R(5, 5, 15, 15)});
  const int single[2] = {3, 3};
  EXPECT_EQ(check.AddPolygon(OverlapRegion::kB, 1, single), 1);
  double percent = 0;
  EXPECT_EQ(check.CheckEx(10, &percent), 5);
  EXPECT_DOUBLE_EQ(percent, 25.0);
  EXPECT_EQ(error.code(), -1);
}

TEST(OverlapCheck, BadPolygonArgumentsAreReported) {
  pipError error;
  OverlapCheck check(error);
  const int xy[4] = {0, 0, 1, 1};
  EXPECT_EQ(check.AddPolygon(OverlapRegion::kA, 2, nullptr), -1);
  EXPECT_EQ(error.code(), PIP_ERR_INVALID_DATA);
  EXPECT_STREQ(error.message(), "Invalid data passed to function.");
  error.Clear();
  EXPECT_EQ(check.AddPolygon(OverlapRegion::kB, -1, xy), -1);
  EXPECT_EQ(error.code(), PIP_ERR_INVALID_DATA);
  EXPECT_EQ(check.polygons(OverlapRegion::kA).count(), 0u);
  EXPECT_EQ(check.polygons(OverlapRegion::kB).count(), 0u);
}

TEST(OverlapCheck, WorkingStorageFailureIsReported) {
  pipError error;
  OverlapCheck check(error);
  Load(check, {R(0, 0, 100, 100)}, {R(50, 50, 150, 150)});
  check.SetEdgeLimitForTest(7);
  double percent = 42.0;
  EXPECT_EQ(check.CheckEx(100, &percent), -1);
  EXPECT_EQ(percent, 42.0);
  EXPECT_EQ(error.code(), PIP_ERR_NO_MEMORY);
  EXPECT_STREQ(error.message(), "Insufficient memory.");
  EXPECT_STREQ(error.detail(), "Unable to allocate required memory for the operation.");
  check.SetEdgeLimitForTest(8);
  EXPECT_EQ(check.CheckEx(100, &percent), 5);
  EXPECT_EQ(percent, 25.0);
}

TEST(OverlapCheck, ChecksDoNotChangeTheLists) {
  pipError error;
  OverlapCheck check(error);
  const Polygon a = {5, 1, 0, 0, 3, 9};
  Load(check, {a}, {R(1, 1, 2, 2)});
  check.Check();
  check.CheckEx(10, nullptr);
  const OverlapPolygon& stored = check.polygons(OverlapRegion::kA)[0];
  ASSERT_EQ(stored.num_points(), 3);
  EXPECT_EQ(stored.points[0].x, 5);
  EXPECT_EQ(stored.points[2].y, 9);
  EXPECT_EQ(stored.region, OverlapRegion::kA);
  EXPECT_EQ(check.polygons(OverlapRegion::kB)[0].region, OverlapRegion::kB);
}

// ---- Pieces ----

TEST(OverlapPolygonList, GrowsByDoublingFromTenAndReusesEntries) {
  OverlapPolygonList list(OverlapRegion::kB);
  EXPECT_EQ(list.capacity(), 10u);
  const int xy[6] = {1, 2, 3, 4, 5, 6};
  for (int i = 0; i < 10; ++i) list.Add(xy, 3);
  EXPECT_EQ(list.capacity(), 10u);
  list.Add(xy, 2);
  EXPECT_EQ(list.count(), 11u);
  EXPECT_EQ(list.capacity(), 20u);
  list.Clear();
  EXPECT_EQ(list.count(), 0u);
  list.Add(xy + 2, 1);
  ASSERT_EQ(list.count(), 1u);
  ASSERT_EQ(list[0].num_points(), 1);
  EXPECT_EQ(list[0].points[0].x, 3);
  EXPECT_EQ(list[0].points[0].y, 4);
  EXPECT_EQ(list[0].region, OverlapRegion::kB);
}

struct EdgeRow {
  OverlapPoint from, to;
  std::int32_t x1, y1, x2, y2;
  double slope, intercept;
};

TEST(OverlapEdge, StoresSmallerEndFirstWithSlopeAndIntercept) {
  const EdgeRow rows[] = {
      {{0, 0}, {10, 5}, 0, 0, 10, 5, 0.5, 0.0},
      {{10, 5}, {0, 0}, 0, 0, 10, 5, 0.5, 0.0},
      {{2, 10}, {4, 0}, 2, 10, 4, 0, -5.0, 20.0},
      {{7, 9}, {7, 3}, 7, 3, 7, 9, 0.0, 7.0},  // vertical: intercept holds x
      {{9, 4}, {1, 4}, 1, 4, 9, 4, 0.0, 0.0},  // horizontal: intercept 0
      {{3, 3}, {3, 3}, 3, 3, 3, 3, 0.0, 3.0},  // a single point
  };
  for (const EdgeRow& row : rows) {
    SCOPED_TRACE(std::to_string(row.from.x) + "," + std::to_string(row.from.y) + " -> " +
                 std::to_string(row.to.x) + "," + std::to_string(row.to.y));
    const OverlapEdge e = OverlapEdge::FromSide(row.from, row.to, OverlapRegion::kB);
    EXPECT_EQ(e.x1, row.x1);
    EXPECT_EQ(e.y1, row.y1);
    EXPECT_EQ(e.x2, row.x2);
    EXPECT_EQ(e.y2, row.y2);
    EXPECT_DOUBLE_EQ(e.slope, row.slope);
    EXPECT_DOUBLE_EQ(e.intercept, row.intercept);
    EXPECT_EQ(e.region, OverlapRegion::kB);
  }
}

TEST(OverlapEdge, YAtIsExactForIntegerAnswersAtLargeCoordinates) {
  const OverlapEdge e = OverlapEdge::FromSide({-2000000000, -1999999999}, {2000000000, 2000000001},
                                              OverlapRegion::kA);
  EXPECT_EQ(e.YAt(0.0), 1.0);
  EXPECT_EQ(e.YAt(123456789.0), 123456790.0);
}

struct CrossRow {
  const char* name;
  OverlapPoint a0, a1, b0, b1;
  bool cross;
};

TEST(OverlapEdgesCross, OnlyProperInteriorCrossingsCount) {
  const CrossRow rows[] = {
      {"X of two sloped edges", {0, 0}, {10, 10}, {0, 10}, {10, 0}, true},
      {"sloped edges meeting at an end", {0, 0}, {10, 10}, {10, 10}, {20, 0}, false},
      {"crossing at an end of one edge", {0, 0}, {10, 10}, {5, 5}, {10, 0}, false},
      {"parallel edges", {0, 0}, {10, 10}, {0, 1}, {10, 11}, false},
      {"sloped across a horizontal at y 50", {0, 50}, {100, 50}, {40, 0}, {60, 100}, true},
      // The line of the sloped edge meets y = 0 inside both runs but meets
      // the horizontal edge's own line y = 50 beyond its end.
      {"sloped passing beyond a horizontal's end", {0, 50}, {100, 50}, {50, -10}, {150, 90}, false},
      {"horizontal and vertical", {0, 5}, {10, 5}, {5, 0}, {5, 10}, false},
      {"vertical against sloped", {5, 0}, {5, 10}, {0, 0}, {10, 10}, false},
      {"disjoint y ranges", {0, 0}, {10, 10}, {0, 30}, {10, 20}, false},
  };
  for (const CrossRow& row : rows) {
    SCOPED_TRACE(row.name);
    const OverlapEdge a = OverlapEdge::FromSide(row.a0, row.a1, OverlapRegion::kA);
    const OverlapEdge b = OverlapEdge::FromSide(row.b0, row.b1, OverlapRegion::kB);
    EXPECT_EQ(OverlapEdgesCross(a, b), row.cross);
    EXPECT_EQ(OverlapEdgesCross(b, a), row.cross);
  }
}

OverlapEdge EdgeOf(OverlapRegion region, OverlapPoint from, OverlapPoint to) {
  return OverlapEdge::FromSide(from, to, region);
}

TEST(AnyRegionEdgesCross, FindsACrossingOfAnAEdgeWithABEdgeOnly) {
  const OverlapRegion kA = OverlapRegion::kA;
  const OverlapRegion kB = OverlapRegion::kB;
  struct Row {
    const char* name;
    std::vector<OverlapEdge> edges;
    bool cross;
  } rows[] = {
      {"A crosses B", {EdgeOf(kA, {0, 0}, {10, 10}), EdgeOf(kB, {0, 10}, {10, 0})}, true},
      {"two A edges cross", {EdgeOf(kA, {0, 0}, {10, 10}), EdgeOf(kA, {0, 10}, {10, 0})}, false},
      {"two B edges cross", {EdgeOf(kB, {0, 0}, {10, 10}), EdgeOf(kB, {0, 10}, {10, 0})}, false},
      {"B edge starting late in the order",
       {EdgeOf(kA, {0, 0}, {100, 100}), EdgeOf(kB, {1, 90}, {2, 95}), EdgeOf(kA, {3, 0}, {4, 1}),
        EdgeOf(kB, {50, 60}, {60, 40})},
       true},
      {"B edge beyond every A edge",
       {EdgeOf(kA, {0, 0}, {10, 10}), EdgeOf(kB, {10, 0}, {20, 10})},
       false},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::sort(row.edges.begin(), row.edges.end(),
              [](const OverlapEdge& l, const OverlapEdge& r) { return l.x1 < r.x1; });
    EXPECT_EQ(AnyRegionEdgesCross(row.edges), row.cross);
  }
}

TEST(OverlapCheck, ExtremeCoordinatesDoNotOverflow) {
  pipError error;
  OverlapCheck check(error);
  const int big = 2147483647;
  const int small = -2147483647 - 1;
  Load(check, {R(small, small, big, big)}, {R(0, 0, big, big)});
  double percent = 0;
  EXPECT_EQ(check.CheckEx(4, &percent), 4);
  EXPECT_NEAR(percent, 25.0, 1e-6);
}

// ---- Differential tests against a brute-force model ----

// Even-odd point in region over all edges of all its polygons.
bool InsideEvenOdd(const Region& region, double x, double y) {
  bool inside = false;
  for (const Polygon& p : region) {
    const std::size_t n = p.size() / 2;
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
      const double xi = p[2 * i], yi = p[2 * i + 1], xj = p[2 * j], yj = p[2 * j + 1];
      if ((yi > y) != (yj > y) && x < xi + (y - yi) * (xj - xi) / (yj - yi)) inside = !inside;
    }
  }
  return inside;
}

struct Box {
  int min_x, min_y, max_x, max_y;
};

Box BoxOf(const Region& region) {
  Box box{1 << 30, 1 << 30, -(1 << 30), -(1 << 30)};
  for (const Polygon& p : region) {
    for (std::size_t i = 0; i < p.size(); i += 2) {
      box.min_x = std::min(box.min_x, p[i]);
      box.max_x = std::max(box.max_x, p[i]);
      box.min_y = std::min(box.min_y, p[i + 1]);
      box.max_y = std::max(box.max_y, p[i + 1]);
    }
  }
  return box;
}

int RunCheck(const Region& a, const Region& b, int resolution, double* percent) {
  pipError error;
  OverlapCheck check(error);
  Load(check, a, b);
  return check.CheckEx(resolution, percent);
}

bool Disjoint(const Polygon& r, const Region& others) {
  for (const Polygon& o : others) {
    if (r[0] < o[2] && o[0] < r[2] && r[1] < o[5] && o[1] < r[5]) return false;
  }
  return true;
}

// 1 to `max_count` rectangles with integer corners in [0, 40], pairwise
// without common interior.
Region RandomRects(std::mt19937& rng, int max_count) {
  std::uniform_int_distribution<int> coord(0, 40);
  std::uniform_int_distribution<int> count(1, max_count);
  Region region;
  const int wanted = count(rng);
  for (int tries = 0; static_cast<int>(region.size()) < wanted && tries < 50; ++tries) {
    int x0 = coord(rng), x1 = coord(rng), y0 = coord(rng), y1 = coord(rng);
    if (x0 == x1 || y0 == y1) continue;
    const Polygon r = R(std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1));
    if (Disjoint(r, region)) region.push_back(r);
  }
  return region;
}

struct CellAreas {
  long a = 0, b = 0, both = 0;
};

// Unit cells counted by their centres: exact for integer rectangles.
CellAreas CountCells(const Region& a, const Region& b) {
  CellAreas areas;
  for (int x = -1; x <= 41; ++x) {
    for (int y = -1; y <= 41; ++y) {
      const bool in_a = InsideEvenOdd(a, x + 0.5, y + 0.5);
      const bool in_b = InsideEvenOdd(b, x + 0.5, y + 0.5);
      areas.a += in_a;
      areas.b += in_b;
      areas.both += in_a && in_b;
    }
  }
  return areas;
}

int TrueResult(const CellAreas& c) {
  if (c.both == 0) return 2;
  if (c.both == c.a && c.both == c.b) return 6;
  if (c.both == c.a) return 3;
  if (c.both == c.b) return 4;
  return 5;
}

// With one scan line through the middle of every unit column of A's box, the
// scan-line share is exact for rectangles with integer corners, and so is the
// cell count: both must agree to rounding, and the classification must be
// the true one.
TEST(OverlapDifferential, RectanglesMatchExactCellAreas) {
  const unsigned seed = 20240611;
  std::printf("OverlapDifferential.RectanglesMatchExactCellAreas seed %u\n", seed);
  std::mt19937 rng(seed);
  int seen[7] = {0};
  for (int round = 0; round < 1500; ++round) {
    const int max_count = round < 1000 ? 1 : 3;
    const Region a = RandomRects(rng, max_count);
    const Region b = round % 7 == 0 ? a : RandomRects(rng, max_count);
    SCOPED_TRACE("round " + std::to_string(round) + " A=" + Describe(a) + " B=" + Describe(b));
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    const Box box = BoxOf(a);
    const CellAreas cells = CountCells(a, b);
    double percent = -1;
    const int result = RunCheck(a, b, box.max_x - box.min_x, &percent);
    ASSERT_EQ(result, TrueResult(cells));
    ++seen[result];
    const double expected = 100.0 * cells.both / cells.a;
    EXPECT_NEAR(percent, expected, 1e-9);
  }
  for (int r = 2; r <= 6; ++r) EXPECT_GT(seen[r], 0) << "result " << r << " never produced";
}

// A polygon star-shaped around (cx, cy): vertices at increasing angles.
Polygon RandomStar(std::mt19937& rng, double cx, double cy, double r_min, double r_max) {
  std::uniform_int_distribution<int> count(3, 9);
  std::uniform_real_distribution<double> radius(r_min, r_max);
  const int n = count(rng);
  const double kTwoPi = 6.283185307179586;
  Polygon p;
  for (int i = 0; i < n; ++i) {
    const double angle = kTwoPi * (i + 0.25 + 0.5 * radius(rng) / r_max) / n;
    const double r = radius(rng);
    p.push_back(static_cast<int>(std::lround(cx + r * std::cos(angle))));
    p.push_back(static_cast<int>(std::lround(cy + r * std::sin(angle))));
  }
  return p;
}

Polygon Scaled(const Polygon& p, double cx, double cy, double factor) {
  Polygon q;
  for (std::size_t i = 0; i < p.size(); i += 2) {
    q.push_back(static_cast<int>(std::lround(cx + (p[i] - cx) * factor)));
    q.push_back(static_cast<int>(std::lround(cy + (p[i + 1] - cy) * factor)));
  }
  return q;
}

struct LineSums {
  double a = 0, both = 0;
};

// Samples the same scan lines as the check, each at points spaced h apart
// in y, tested just right of the line (where an edge end on the line counts).
LineSums SampleScanLines(const Region& a, const Region& b, int resolution, double h) {
  const Box box_a = BoxOf(a);
  const Box box_b = BoxOf(b);
  const int y0 = std::min(box_a.min_y, box_b.min_y);
  const int y1 = std::max(box_a.max_y, box_b.max_y);
  const double step = static_cast<double>(box_a.max_x - box_a.min_x) / resolution;
  LineSums sums;
  for (double x = box_a.min_x + step / 2; x < box_a.max_x; x += step) {
    for (double y = y0 + h / 2; y < y1; y += h) {
      const bool in_a = InsideEvenOdd(a, x + 1e-7, y);
      if (in_a) sums.a += h;
      if (in_a && InsideEvenOdd(b, x + 1e-7, y)) sums.both += h;
    }
  }
  return sums;
}

std::size_t EdgeCount(const Region& region) {
  std::size_t n = 0;
  for (const Polygon& p : region) n += p.size() / 2;
  return n;
}

// Random star polygons.  On each of the R scan lines every edge is crossed at
// most once, and each crossing misplaces at most h of sampled length (plus
// 1e-5 for the 1e-7 shift at slopes up to 100), so the sampled sums differ
// from the exact ones by at most R * edges * (h + 1e-5).
TEST(OverlapDifferential, PolygonSharesMatchSampledScanLines) {
  const unsigned seed = 777001;
  std::printf("OverlapDifferential.PolygonSharesMatchSampledScanLines seed %u\n", seed);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> centre(30, 70);
  const double h = 1.0 / 32;
  int computed = 0;
  for (int round = 0; round < 60; ++round) {
    const double cx = centre(rng), cy = centre(rng);
    Region a = {RandomStar(rng, cx, cy, 15, 45)};
    Region b;
    switch (round % 4) {
      case 0:
        b = {Scaled(a[0], cx, cy, 0.5)};
        break;  // inside A
      case 1:
        b = {a[0]};
        a = {Scaled(b[0], cx, cy, 0.5)};
        break;  // A inside B
      case 2:
        b = {RandomStar(rng, centre(rng), centre(rng), 10, 40)};
        break;
      default:
        b = {RandomStar(rng, centre(rng), centre(rng), 5, 20),
             RandomStar(rng, centre(rng), centre(rng), 5, 20)};
    }
    const Box box = BoxOf(a);
    const int width = box.max_x - box.min_x;
    const int resolution = round % 3 == 0 ? width : round % 3 == 1 ? width / 2 : 37;
    SCOPED_TRACE("round " + std::to_string(round) + " resolution " + std::to_string(resolution) +
                 " A=" + Describe(a) + " B=" + Describe(b));
    double percent = -1;
    const int result = RunCheck(a, b, resolution, &percent);
    const LineSums sums = SampleScanLines(a, b, resolution, h);
    const double slack = resolution * (h + 1e-5);
    const double err_a = slack * EdgeCount(a);
    const double err_both = slack * (EdgeCount(a) + EdgeCount(b));
    if (round % 4 == 0) {
      EXPECT_EQ(result, 4);
    } else if (round % 4 == 1) {
      EXPECT_EQ(result, 3);
    }
    if (result == 2) {
      EXPECT_LE(sums.both, err_both);
    }
    if (result == 3 || result == 6) {
      EXPECT_LE(sums.a - sums.both, err_a + err_both);
    }
    if (sums.both > err_both) {
      EXPECT_NE(result, 2);
    }
    if (sums.a - sums.both > err_a + err_both) {
      EXPECT_TRUE(result == 2 || result == 4 || result == 5) << result;
    }
    if (result == 4 || result == 5) {
      ++computed;
      const double expected = sums.both > 0 ? 100.0 * sums.both / sums.a : 0.0;
      const double tolerance = 100.0 * (err_both + err_a) / (sums.a - err_a);
      EXPECT_NEAR(percent, expected, tolerance);
    }
  }
  EXPECT_GT(computed, 30);
}

}  // namespace
}  // namespace lumetra
