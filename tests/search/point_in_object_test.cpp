// The point-in-polygon rule: table-driven boundary cases and a differential
// test against an independent half-open crossing-number test.
#include "search/point_in_object.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/object_file_codec.h"

namespace {

using lumetra::PolygonPart;
using lumetra::RecordPoint;
using search_models::HalfOpenCrossings;
using test_objects::PartsOf;
using Ring = std::vector<RecordPoint>;

// Rings in a short text form: "x,y x,y ...; x,y ..." (rings separated by ';').
std::vector<Ring> ParseRings(const std::string& text) {
  std::vector<Ring> rings(1);
  std::istringstream in(text);
  std::string token;
  while (in >> token) {
    if (token == ";") {
      rings.emplace_back();
      continue;
    }
    RecordPoint p;
    char comma = 0;
    std::istringstream t(token);
    t >> p.x >> comma >> p.y;
    rings.back().push_back(p);
  }
  return rings;
}

// The rule's answer for rings given as text, optionally each reversed.
int Crossings(const std::string& rings_text, std::int32_t x, std::int32_t y,
              bool reversed = false) {
  std::vector<Ring> rings = ParseRings(rings_text);
  if (reversed) {
    for (Ring& r : rings) std::reverse(r.begin(), r.end());
  }
  const std::vector<PolygonPart> parts = PartsOf(rings);
  return lumetra::PointInObject(parts.data(), parts.size(), x, y);
}

struct Case {
  const char* what;
  const char* rings;
  std::int32_t x;
  std::int32_t y;
  int expected;  // PointInObject's result: 1 on the boundary, else crossings
};

const char kSquare[] = "0,0 10,0 10,10 0,10";
// Left edge from (0,0) up to (2,5): it crosses y = 1 at x = 0.4, y = 3 at
// 1.2 and y = 4 at 1.6.
const char kSlanted[] = "0,0 10,0 10,5 2,5";
const char kHoled[] = "0,0 20,0 20,20 0,20 ; 5,5 15,5 15,15 5,15";
// Comes down to the vertex (5,0) and goes back up.
const char kTouchVertex[] = "0,10 5,0 10,10";
// Passes down through the vertex (5,0); its other crossing of y = 0 is the
// edge from (0,-10) to (-5,1) at x = -4.55.
const char kPassVertex[] = "0,10 5,0 0,-10 -5,1";
// A horizontal edge (2,0)-(6,0) on y = 0 that the boundary crosses (from
// above to below), closed round by the vertical edge x = -5.
const char kCrossedRun[] = "0,10 2,0 6,0 8,-10 -5,-10 -5,10";
// The same edge merely touched: the boundary comes back up.
const char kTouchedRun[] = "0,10 2,0 6,0 8,10";
// The square starting with its bottom edge on the line y = 0.
const char kLeadingRun[] = "0,0 10,0 10,10 0,10";

const Case kCases[] = {
    {"inside a square", kSquare, 5, 5, 1},
    {"left of a square", kSquare, -5, 5, 0},
    {"right of a square", kSquare, 15, 5, 2},
    {"above a square", kSquare, 5, 15, 0},
    {"on a vertex", kSquare, 0, 0, 1},
    {"on the far vertex", kSquare, 10, 10, 1},
    {"on the bottom horizontal edge", kSquare, 5, 0, 1},
    {"on the top horizontal edge", kSquare, 5, 10, 1},
    {"on a vertical edge", kSquare, 0, 5, 1},
    {"right of the bottom edge on its line", kSquare, 15, 0, 0},
    {"left of the top edge on its line", kSquare, -1, 10, 0},
    {"0.4 left of a sloped edge is on it", kSlanted, 0, 1, 1},
    {"0.6 left of a sloped edge is outside", kSlanted, 1, 4, 0},
    {"0.2 left of a sloped edge is on it", kSlanted, 1, 3, 1},
    {"0.4 right of a sloped edge is on it", kSlanted, 2, 4, 1},
    {"0.6 right of a sloped edge counts the crossing", kSlanted, 1, 1, 1},
    {"inside the hole of two rings", kHoled, 10, 10, 2},
    {"between the rings", kHoled, 2, 10, 1},
    {"on the inner ring", kHoled, 5, 10, 1},
    {"right of both rings", kHoled, 25, 10, 4},
    {"single touching vertex left of the point", kTouchVertex, 8, 0, 0},
    {"on the touching vertex", kTouchVertex, 5, 0, 1},
    {"pass-through vertex counts once", kPassVertex, 8, 0, 2},
    {"pass-through vertex right of the point", kPassVertex, 1, 0, 1},
    {"crossed horizontal edge left of the point", kCrossedRun, 10, 0, 2},
    {"crossed horizontal edge right of the point", kCrossedRun, 1, 0, 1},
    {"on the crossed horizontal edge", kCrossedRun, 4, 0, 1},
    {"touched horizontal edge left of the point", kTouchedRun, 10, 0, 0},
    {"on the touched horizontal edge", kTouchedRun, 6, 0, 1},
    {"leading run: on it", kLeadingRun, 5, 0, 1},
    {"leading run: right of it", kLeadingRun, 15, 0, 0},
    {"leading run: inside", kLeadingRun, 5, 5, 1},
    {"ring of one point: on it", "5,5", 5, 5, 1},
    {"ring of one point: beside it", "5,5", 6, 5, 0},
    {"ring entirely on the line, beyond it", "0,0 10,0", 15, 0, 0},
    {"ring entirely on the line, on it", "0,0 10,0", 7, 0, 1},
    {"empty ring", "", 0, 0, 0},
};

TEST(PointInObject, BoundaryAndCrossingTable) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.what) + ": rings {" + c.rings + "} point (" + std::to_string(c.x) +
                 ", " + std::to_string(c.y) + ")");
    EXPECT_EQ(Crossings(c.rings, c.x, c.y), c.expected);
    // The ring orientation does not change the answer's parity.
    EXPECT_EQ(Crossings(c.rings, c.x, c.y, true) & 1, c.expected & 1) << "reversed";
  }
}

TEST(PointInObject, ExtremeCoordinatesDoNotOverflow) {
  const std::int32_t lo = INT32_MIN;
  const std::int32_t hi = INT32_MAX;
  const Ring ring{{lo, lo}, {hi, lo}, {hi, hi}, {lo, hi}};
  const PolygonPart part{ring.size(), ring.data()};
  EXPECT_EQ(lumetra::PointInObject(&part, 1, 0, 0), 1);
  EXPECT_EQ(lumetra::PointInObject(&part, 1, hi, 0), 1);
  const Ring slanted{{lo, lo}, {hi, hi}, {lo, hi}};
  const PolygonPart part2{slanted.size(), slanted.data()};
  EXPECT_EQ(lumetra::PointInObject(&part2, 1, -1000, 1000) & 1, 1);
  EXPECT_EQ(lumetra::PointInObject(&part2, 1, 1000, -1000) & 1, 0);
}

// ---------------------------------------------------------------------------
// Differential test.

enum class Zone { kBoundary, kClear, kAmbiguous };

// Whether the rule must report a boundary hit: on a vertex, on a horizontal
// edge, or within half a unit in x of a strict crossing.  Points whose
// distance to a crossing is too close to half a unit for double rounding
// are ambiguous.
Zone Classify(const std::vector<Ring>& rings, std::int64_t px, std::int64_t py) {
  Zone zone = Zone::kClear;
  for (const Ring& r : rings) {
    for (std::size_t i = 0; i < r.size(); ++i) {
      const RecordPoint& a = r[i];
      const RecordPoint& b = r[(i + 1) % r.size()];
      if (a.x == px && a.y == py) return Zone::kBoundary;
      if (a.y == py && b.y == py && std::min(a.x, b.x) <= px && px <= std::max(a.x, b.x)) {
        return Zone::kBoundary;
      }
      if (a.y == py || b.y == py || (a.y > py) == (b.y > py)) continue;
      const long double xint = static_cast<long double>(b.x - a.x) * (py - a.y) / (b.y - a.y) + a.x;
      const long double d = std::fabs(static_cast<long double>(px) - xint);
      if (std::fabs(d - 0.5L) < 1e-9L) {
        zone = Zone::kAmbiguous;
      } else if (d < 0.5L) {
        return Zone::kBoundary;
      }
    }
  }
  return zone;
}

TEST(PointInObject, AgreesWithHalfOpenCrossingNumberOnRandomRings) {
  const unsigned seed = 20240611;
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> coord(0, 40);
  std::uniform_int_distribution<int> ring_size(1, 9);
  std::uniform_int_distribution<int> ring_count(1, 3);
  int compared = 0;
  int boundary = 0;
  for (int trial = 0; trial < 60; ++trial) {
    std::vector<Ring> rings(static_cast<std::size_t>(ring_count(rng)));
    for (Ring& r : rings) {
      const int n = ring_size(rng);
      for (int i = 0; i < n; ++i) r.push_back(RecordPoint{coord(rng), coord(rng)});
    }
    const std::vector<PolygonPart> parts = PartsOf(rings);
    for (int y = -1; y <= 41; ++y) {
      for (int x = -1; x <= 41; ++x) {
        const int got = lumetra::PointInObject(parts.data(), parts.size(), x, y);
        switch (Classify(rings, x, y)) {
          case Zone::kBoundary:
            ASSERT_EQ(got, 1) << "seed " << seed << " trial " << trial << " point (" << x << ", "
                              << y << ") lies on the boundary";
            ++boundary;
            break;
          case Zone::kClear:
            ASSERT_EQ(got & 1, HalfOpenCrossings(rings, x, y) & 1)
                << "seed " << seed << " trial " << trial << " point (" << x << ", " << y << ")";
            ++compared;
            break;
          case Zone::kAmbiguous:
            break;
        }
      }
    }
  }
  EXPECT_GT(compared, 50000);
  EXPECT_GT(boundary, 1000);
}

}  // namespace
