// Border distances against brute force -- the segment measure of files with
// segment records and the geometric measure of files without -- the
// nearest border point, points on the border, open lines, point objects,
// and the coordinate copies of the coordinate calls.
#include "search/border_distance.h"

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "frame/error.h"
#include "search/object_coords.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"
#include "search_test_files.h"
#include "support/test_files.h"

namespace {

using lumetra::RecordPoint;
using search_test::Box;
using search_test::Ring;
using search_test::TestObject;

class BorderDistanceTest : public ::testing::Test {
 protected:
  BorderDistanceTest() : chdir_(dir_.path()) {}

  // Writes the objects and opens the file with room for all of them.
  PolygonSearch& Open(const std::vector<TestObject>& objects, bool segments, bool geographic) {
    const std::string path = dir_.File("b" + std::to_string(count_++) + ".obj");
    search_test::FileOptions options;
    options.segments = segments;
    options.geographic = geographic;
    written_ = search_test::WriteObjectFile(path, objects, options);
    reader_ = std::make_unique<PolygonSearch>(err_, path.c_str(), 3);
    EXPECT_TRUE(reader_->ready()) << err_.detail();
    return *reader_;
  }
  const PolygonObject& Object(std::size_t i) {
    const PolygonObject* o = reader_->FindObject(written_.offsets.at(i));
    EXPECT_NE(o, nullptr) << err_.detail();
    return *o;
  }

  lumetra_test::ScopedTempDir dir_;
  lumetra_test::ScopedChdir chdir_;
  QError err_;
  search_test::WrittenFile written_;
  std::unique_ptr<PolygonSearch> reader_;
  int count_ = 0;
};

struct Scales {
  double x, y;
};

// The scales of an object in a file: feet per unit in geographic files,
// from the latitude of the record's minimum y (the test files widen the
// rectangle by one unit).
Scales ScalesOf(const TestObject& o, bool geographic) {
  if (!geographic) return {1.0, 1.0};
  double min_y = 1e18;
  for (const Ring& r : o.rings)
    for (const RecordPoint& p : r) min_y = std::min(min_y, static_cast<double>(p.y));
  min_y -= 1;
  return {0.36432 * std::cos(min_y * 1.745329252e-8), 0.36432};
}

// Exact distance from (x, y) to the object's border, scaled.
double BruteDistance(const TestObject& o, bool geographic, std::int32_t x, std::int32_t y) {
  const Scales s = ScalesOf(o, geographic);
  double best = 1e300;
  for (const Ring& r : o.rings) {
    const bool closed = o.kind == lumetra::ObjectKind::kRegion;
    const std::size_t edges = closed ? r.size() : r.size() - 1;
    for (std::size_t i = 0; i < edges; ++i) {
      const RecordPoint& a = r[i];
      const RecordPoint& b = r[(i + 1) % r.size()];
      const double dx = (double{1} * b.x - a.x) * s.x, dy = (double{1} * b.y - a.y) * s.y;
      const double px = (double{1} * x - a.x) * s.x, py = (double{1} * y - a.y) * s.y;
      const double len2 = dx * dx + dy * dy;
      const double t = len2 > 0 ? std::clamp((px * dx + py * dy) / len2, 0.0, 1.0) : 0.0;
      best = std::min(best, std::hypot(px - t * dx, py - t * dy));
    }
  }
  return best;
}

Ring Star(std::mt19937& rng, std::int32_t cx, std::int32_t cy, int n, int rmin, int rmax) {
  std::uniform_int_distribution<int> radius(rmin, rmax);
  Ring ring;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * M_PI * i / n;
    const int r = radius(rng);
    ring.push_back({cx + static_cast<std::int32_t>(std::lround(r * std::cos(a))),
                    cy + static_cast<std::int32_t>(std::lround(r * std::sin(a)))});
  }
  return ring;
}

std::vector<TestObject> RandomShapes(std::mt19937& rng, std::int32_t base, int span) {
  std::vector<TestObject> objects;
  std::uniform_int_distribution<int> at(0, span);
  for (int i = 0; i < 12; ++i) {
    std::vector<Ring> rings{Star(rng, base + at(rng), base + at(rng), 3 + i, span / 20, span / 4)};
    if (i % 4 == 0) rings.push_back(Box(base, base, base + span / 10, base + span / 10));
    objects.push_back(search_test::Region("R" + std::to_string(i), rings));
  }
  for (int i = 0; i < 6; ++i) {
    Ring chain;
    for (int k = 0; k < 2 + i; ++k) chain.push_back({base + at(rng), base + at(rng)});
    objects.push_back(search_test::Line("L" + std::to_string(i), {chain}));
  }
  return objects;
}

TEST_F(BorderDistanceTest, GeometricMeasureMatchesBruteForce) {
  for (const bool geographic : {false, true}) {
    const unsigned seed = geographic ? 2718 : 1618;
    std::mt19937 rng(seed);
    const std::int32_t base = geographic ? 45000000 : 1000;
    const int span = geographic ? 50000 : 4000;
    const std::vector<TestObject> objects = RandomShapes(rng, base, span);
    Open(objects, false, geographic);
    std::uniform_int_distribution<int> at(base - span / 4, base + span + span / 4);
    for (int q = 0; q < 100; ++q) {
      const std::int32_t x = at(rng), y = at(rng);
      for (std::size_t i = 0; i < objects.size(); ++i) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " " + objects[i].name + " at " +
                     std::to_string(x) + "," + std::to_string(y));
        const PolygonObject& object = Object(i);
        const double expected = BruteDistance(objects[i], geographic, x, y);
        double d = 0;
        RecordPoint nearest;
        ASSERT_TRUE(lumetra::GeometricBorderDistance(object, x, y, &d, &nearest));
        EXPECT_NEAR(d, expected, 1e-6 * (1 + expected));
        EXPECT_EQ(lumetra::BorderDistance(object, x, y), static_cast<int>(expected + 0.5));
        RecordPoint ex_nearest;
        EXPECT_EQ(lumetra::BorderDistanceEx(object, x, y, &ex_nearest),
                  static_cast<int>(expected + 0.5));
        EXPECT_EQ(ex_nearest, nearest);
        // The nearest point lies on the border (within the truncation of
        // its position) at about the distance found.
        const Scales s = ScalesOf(objects[i], geographic);
        EXPECT_LE(BruteDistance(objects[i], geographic, nearest.x, nearest.y),
                  1.5 * std::max(s.x, s.y));
        const double to_nearest =
            std::hypot((double{1} * x - nearest.x) * s.x, (double{1} * y - nearest.y) * s.y);
        EXPECT_NEAR(to_nearest, d, 1.5 * std::max(s.x, s.y));
      }
    }
  }
}

TEST_F(BorderDistanceTest, SegmentMeasureMatchesBruteForce) {
  for (const bool geographic : {false, true}) {
    const unsigned seed = geographic ? 141 : 173;
    std::mt19937 rng(seed);
    const std::int32_t base = geographic ? 35000000 : 1000;
    const int span = geographic ? 50000 : 4000;
    const std::vector<TestObject> objects = RandomShapes(rng, base, span);
    Open(objects, true, geographic);
    std::uniform_int_distribution<int> at(base - span / 4, base + span + span / 4);
    for (int q = 0; q < 100; ++q) {
      const std::int32_t x = at(rng), y = at(rng);
      for (std::size_t i = 0; i < objects.size(); ++i) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " " + objects[i].name + " at " +
                     std::to_string(x) + "," + std::to_string(y));
        const PolygonObject& object = Object(i);
        ASSERT_TRUE(object.has_segments());
        const int d = lumetra::SegmentBorderDistance(object, x, y);
        // Segment records hold rounded feet; the point enters their frame
        // as trunc(offset + 0.5), a unit off for negative offsets; the
        // result is truncated: allow three and a half units.
        EXPECT_NEAR(d, BruteDistance(objects[i], geographic, x, y), 3.5);
        EXPECT_EQ(lumetra::BorderDistance(object, x, y), d) << "records with segments use them";
      }
    }
  }
}

TEST_F(BorderDistanceTest, PointsOnTheBorderAreAtZero) {
  const std::vector<TestObject> objects = {search_test::Region("SQUARE", {Box(0, 0, 100, 100)}),
                                           search_test::Line("ROAD", {{{0, 200}, {100, 250}}})};
  for (const bool segments : {false, true}) {
    Open(objects, segments, false);
    for (const RecordPoint p :
         {RecordPoint{0, 0}, RecordPoint{50, 0}, RecordPoint{100, 37}, RecordPoint{0, 100}}) {
      EXPECT_EQ(lumetra::BorderDistance(Object(0), p.x, p.y), 0) << p.x << "," << p.y;
    }
    EXPECT_EQ(lumetra::BorderDistance(Object(1), 50, 225), 0);
    EXPECT_EQ(lumetra::BorderDistance(Object(0), 50, 60), 40) << "inside counts too";
    EXPECT_EQ(lumetra::BorderDistance(Object(0), 130, 140), 50);
  }
}

TEST_F(BorderDistanceTest, RingsAreClosedAndLinesOpen) {
  const Ring u = {{0, 100}, {0, 0}, {100, 0}, {100, 100}};
  Open({search_test::Region("CUP", {u}), search_test::Line("U", {u})}, false, false);
  // (50, 95) lies 5 below the closing edge of the region; the open U is
  // 50 away on either side.
  EXPECT_EQ(lumetra::BorderDistance(Object(0), 50, 95), 5);
  EXPECT_EQ(lumetra::BorderDistance(Object(1), 50, 95), 50);
}

TEST_F(BorderDistanceTest, NearestPointBelongsToTheFirstSegmentReachingIt) {
  Open({search_test::Region("SQUARE", {Box(0, 0, 10, 10)})}, false, false);
  // The centre is 5 from every side; the closing side (0,10)->(0,0) is
  // measured first.
  RecordPoint nearest;
  EXPECT_EQ(lumetra::BorderDistanceEx(Object(0), 5, 5, &nearest), 5);
  EXPECT_EQ(nearest, (RecordPoint{0, 5}));
  EXPECT_EQ(lumetra::BorderDistanceEx(Object(0), 13, 14, &nearest), 5);
  EXPECT_EQ(nearest, (RecordPoint{10, 10}));
  EXPECT_EQ(lumetra::BorderDistanceEx(Object(0), 7, -3, &nearest), 3);
  EXPECT_EQ(nearest, (RecordPoint{7, 0}));
}

TEST_F(BorderDistanceTest, RepeatedPointsAreShortSegments) {
  const Ring ring = {{0, 0}, {0, 0}, {10, 0}, {10, 10}, {10, 10}, {0, 10}};
  Open({search_test::Region("DOUBLED", {ring})}, false, false);
  RecordPoint nearest;
  EXPECT_EQ(lumetra::BorderDistanceEx(Object(0), -4, -3, &nearest), 5);
  EXPECT_EQ(nearest, (RecordPoint{0, 0}));
  EXPECT_EQ(lumetra::BorderDistanceEx(Object(0), 14, 13, &nearest), 5);
  EXPECT_EQ(nearest, (RecordPoint{10, 10}));
}

TEST_F(BorderDistanceTest, PointObjectsUsePipDistance) {
  Open({search_test::Point("WELL", 45000000, 40000000)}, false, true);
  const PolygonObject& well = Object(0);
  const int expected = pipDistance(45001000, 40000000, 45000000, 40000000, 1, nullptr);
  EXPECT_EQ(lumetra::BorderDistance(well, 45001000, 40000000), expected);
  RecordPoint nearest;
  EXPECT_EQ(lumetra::BorderDistanceEx(well, 45001000, 40000000, &nearest), expected);
  EXPECT_EQ(nearest, (RecordPoint{45001000, 40000000})) << "the query point itself";
}

TEST_F(BorderDistanceTest, CoordinateCopiesCheckBothCapacities) {
  Open({search_test::Region("TWO", {Box(0, 0, 10, 10), Box(2, 2, 4, 4)}),
        search_test::Point("P", 7, 8)},
       false, false);
  const PolygonObject& two = Object(0);
  std::size_t points = 0, parts = 0;
  lumetra::CountObjectCoords(two, &points, &parts);
  EXPECT_EQ(points, 8u);
  EXPECT_EQ(parts, 2u);
  int xy[16] = {};
  int counts[2] = {-1, -1};
  std::size_t written = 0;
  EXPECT_EQ(lumetra::CopyObjectCoords(two, xy, 8, counts, 1, &written),
            lumetra::CoordsCopy::kTooManyParts);
  EXPECT_EQ(counts[0], -1) << "nothing written";
  EXPECT_EQ(lumetra::CopyObjectCoords(two, xy, 7, counts, 2, &written),
            lumetra::CoordsCopy::kTooManyPoints);
  EXPECT_EQ(counts[0], 4);
  EXPECT_EQ(xy[0], 0) << "points not written";
  EXPECT_EQ(written, 0u);
  ASSERT_EQ(lumetra::CopyObjectCoords(two, xy, 8, counts, 2, &written), lumetra::CoordsCopy::kDone);
  EXPECT_EQ(written, 2u);
  const int expected[16] = {0, 0, 10, 0, 10, 10, 0, 10, 2, 2, 4, 2, 4, 4, 2, 4};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(xy[i], expected[i]) << i;

  const PolygonObject& p = Object(1);
  lumetra::CountObjectCoords(p, &points, &parts);
  EXPECT_EQ(points, 1u);
  EXPECT_EQ(parts, 1u);
  EXPECT_EQ(lumetra::CopyObjectCoords(p, xy, 0, counts, 1, &written),
            lumetra::CoordsCopy::kTooManyPoints);
  ASSERT_EQ(lumetra::CopyObjectCoords(p, xy, 1, counts, 1, &written), lumetra::CoordsCopy::kDone);
  EXPECT_EQ(xy[0], 7);
  EXPECT_EQ(xy[1], 8);
  EXPECT_EQ(counts[0], 1);
}

}  // namespace
