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

}  // namespace
}  // namespace lumetra
