// The rectangle, name, nearest, polygon and ranked searches, the border
// distances and the coordinate calls as callers see them, on files built
// through the import functions.  (The corruption sweep over all of these
// calls lives with the object-file tests.)
#include <lumetra/pip_ext.h>

#include <algorithm>
#include <random>
#include <thread>

#include "support/capi_fixture.h"

namespace {

using namespace capi_test;
using Names = std::multiset<std::string>;

class SearchesCapi : public CapiTest {
 protected:
  Names NamesOf(const Results& results) {
    Names names;
    for (const auto& r : results) names.insert(r.first);
    return names;
  }
  Names Rect(int h, int x1, int y1, int x2, int y2) {
    char name[PIP_NAME_SIZE];
    const int first = pipObjectFindFirstRect(h, x1, y1, x2, y2, name, sizeof name);
    return NamesOf(Drain(h, first, name, sizeof name));
  }
  Names ByName(int h, const char* text) {
    char name[PIP_NAME_SIZE];
    return NamesOf(Drain(h, pipObjectFindFirstName(h, text, name, sizeof name), name, sizeof name));
  }
};

TEST_F(SearchesCapi, NameAndRectangleSearches) {
  Build("s.obj", SampleShapes());
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  // Matching in detail: the name and rectangle search tests.
  EXPECT_EQ(ByName(h, "Spring*"), (Names{"Springfield", "SPRINGDALE", "springwell"}));
  EXPECT_EQ(ByName(h, "*").size(), SampleShapes().size());
  EXPECT_EQ(Rect(h, 150, 160, 50, 90), (Names{"WEST", "EAST", "ROAD"}));
  char name[PIP_NAME_SIZE];
  EXPECT_EQ(pipObjectFindFirstName(h, "nowhere", name, sizeof name), 0);
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), 0) << "an ended name search stays at 0";
  EXPECT_EQ(pipObjectFindFirstRect(h, 2000, 2000, 3000, 3000, name, sizeof name), 0);
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), -1) << "an empty rectangle search does not";
  ExpectError(PIP_ERR_GENERAL,
              "Invalid Function call after pipFindFirst returned PIP_NOT_FOUND.\n");
  EXPECT_EQ(pipObjectFindFirstName(h, nullptr, name, sizeof name), -1);
  EXPECT_EQ(Code(), PIP_ERR_INVALID_DATA);
  // The found object is current.
  ASSERT_EQ(pipObjectFindFirstName(h, "DONUT", name, sizeof name), 1);
  pipObjectInfoStruct info;
  ASSERT_EQ(pipObjectGetInfo(h, &info), 1);
  EXPECT_STREQ(info.name, "DONUT");
  int points = 0, parts = 0;
  ASSERT_EQ(pipObjectGetNumCoords(h, &points, &parts), 1);
  EXPECT_EQ(points, 8);
  EXPECT_EQ(parts, 2);
}

TEST_F(SearchesCapi, NearestAgainstPipDistance) {
  const unsigned seed = 20240607;
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> at(-1000000, 1000000);
  std::vector<Shape> shapes;
  std::map<std::string, XY> points;
  for (int i = 0; i < 400; ++i) {
    const XY p{-100000000 + at(rng), 40000000 + at(rng)};
    points["P" + std::to_string(i)] = p;
    shapes.push_back(PointOf("P" + std::to_string(i), p.x, p.y));
  }
  shapes.push_back(RegionOf("AREA", {Box(-100010000, 39990000, -99990000, 40010000)}));
  Build("pts.obj", shapes, {0, PIP_COORD_GEOGRAPHIC});
  const int h = Open("pts.obj", PIP_OPEN_CACHE_5MB);
  ASSERT_GT(h, 0);
  for (int q = 0; q < 40; ++q) {
    const int x = -100000000 + at(rng) / 2, y = 40000000 + at(rng) / 2;
    const int n = 1 + q % 10;
    SCOPED_TRACE("seed " + std::to_string(seed) + " query " + std::to_string(q));
    int nearest = INT32_MAX;
    for (const auto& [name, p] : points) {
      nearest = std::min(nearest, pipDistance(x, y, p.x, p.y, 1, nullptr));
    }
    char name[PIP_NAME_SIZE];
    std::vector<int> got;
    int r = pipObjectFindFirstNearest(h, x, y, n, name, sizeof name);
    for (; r > 0; r = pipObjectFindNext(h, name, sizeof name)) {
      const XY p = points.at(name);
      got.push_back(pipDistance(x, y, p.x, p.y, 1, nullptr));
      pipObjectInfoStruct info;
      ASSERT_EQ(pipObjectGetInfo(h, &info), 1);
      EXPECT_STREQ(info.name, name);
      EXPECT_EQ(pipObjectDistanceToBorder(h, x, y), got.back());
    }
    EXPECT_EQ(r, 0) << Detail();
    // The points are dense enough that the nearest n lie well inside the
    // ring that finds n of them.
    ASSERT_EQ(got.size(), static_cast<std::size_t>(n));
    EXPECT_TRUE(std::is_sorted(got.begin(), got.end()));
    EXPECT_EQ(got.front(), nearest);
  }
}

TEST_F(SearchesCapi, NearestCountAndLimits) {
  Build("s.obj", {PointOf("CLOSE", 1000, 0), PointOf("BEYOND", 20000, 0),
                  RegionOf("AREA", {Box(0, 0, 10, 10)})});
  Build("r.obj", {RegionOf("A", {Box(0, 0, 10, 10)}), RegionOf("B", {Box(20, 0, 30, 10)})});
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  char name[PIP_NAME_SIZE] = "keep";
  EXPECT_EQ(pipObjectFindFirstNearest(h, 0, 0, 65537, name, sizeof name), -1);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(pipObjectFindFirstNearest(h, 0, 0, -1, name, sizeof name), -1);
  ASSERT_EQ(pipObjectFindFirstNearest(h, 0, 0, 65536, name, sizeof name), 1);
  EXPECT_EQ(Drain(h, 1, name, sizeof name), (Results{{"CLOSE", 1}, {"BEYOND", 1}}));
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), 0) << "the end stays at 0";
  EXPECT_EQ(pipObjectSetSearchDistance(h, 2738), 1);  // the first ring only: 7496 units
  EXPECT_EQ(Drain(h, pipObjectFindFirstNearest(h, 0, 0, 5, name, sizeof name), name, sizeof name),
            (Results{{"CLOSE", 1}}));
  EXPECT_EQ(pipObjectFindFirstNearest(h, 0, 0, 0, name, sizeof name), 0);
  const int regions = Open("r.obj");
  ASSERT_GT(regions, 0);
  EXPECT_EQ(pipObjectFindFirstNearest(regions, 5, 5, 3, name, sizeof name), 0) << "points only";
}

// The exact k-nearest through the C interface: counts, criteria without an
// attribute file, and the answers of the internal tests' brute force.
TEST_F(SearchesCapi, ExactNearestCountsAndCriteria) {
  Build("s.obj", {PointOf("CORNER", 7000, 7000), PointOf("SIDE", 8000, 0),
                  RegionOf("AREA", {Box(0, 0, 10, 10)})});
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  char name[PIP_NAME_SIZE] = "keep";
  EXPECT_EQ(pipObjectFindFirstNearestExact(h, 0, 0, 0, nullptr, name, sizeof name), -1);
  EXPECT_EQ(pipObjectFindFirstNearestExact(h, 0, 0, 65537, "", name, sizeof name), -1);
  EXPECT_EQ(pipObjectFindFirstNearestExact(h, 0, 0, 1, nullptr, name, -1), -1);
  // SIDE lies beyond the first square but nearer than CORNER inside it.
  ASSERT_EQ(pipObjectFindFirstNearestExact(h, 0, 0, 1, "", name, sizeof name), 1);
  EXPECT_EQ(Drain(h, 1, name, sizeof name), (Results{{"SIDE", 1}}));
  ASSERT_EQ(pipObjectFindFirstNearest(h, 0, 0, 1, name, sizeof name), 1);
  EXPECT_STREQ(name, "CORNER") << "the square rings alone";
  EXPECT_EQ(pipObjectFindFirstNearestExact(h, 0, 0, 3, "Pop > 1", name, sizeof name), -1);
  ExpectError(PIP_ERR_GENERAL, "No attribute file was found. Cannot filter without attributes.");
}

// Threads each with its own handle on one file, read through the shared
// mapping, answer as one thread does.
TEST_F(SearchesCapi, ThreadsWithTheirOwnHandlesAnswerAlike) {
  std::mt19937 rng(77);
  std::vector<Shape> shapes = SampleShapes();
  for (int i = 0; i < 200; ++i)
    shapes.push_back(PointOf("N" + std::to_string(i), rng() % 3000, rng() % 3000));
  Build("t.obj", shapes);
  const auto run = [&](int h, unsigned seed, std::vector<std::string>* out) {
    std::mt19937 q(seed);
    char name[PIP_NAME_SIZE];
    for (int i = 0; i < 3000; ++i) {
      const int x = static_cast<int>(q() % 3200), y = static_cast<int>(q() % 3200);
      for (int r = pipObjectFindFirstContaining(h, x, y, 0, name, sizeof name); r > 0;
           r = pipObjectFindNext(h, name, sizeof name)) {
        out->push_back(name);
      }
      if (pipObjectFindFirstNearestExact(h, x, y, 2, nullptr, name, sizeof name) == 1) {
        out->push_back(name);
      }
    }
  };
  std::vector<std::vector<std::string>> alone(2), together(2);
  const int a = Open("t.obj", PIP_OPEN_CACHE_5MB | PIP_OPEN_MAPPED);
  const int b = Open("t.obj", PIP_OPEN_CACHE_5MB | PIP_OPEN_MAPPED);
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  run(a, 1, &alone[0]);
  run(a, 2, &alone[1]);
  std::thread first([&] { run(a, 1, &together[0]); });
  std::thread second([&] { run(b, 2, &together[1]); });
  first.join();
  second.join();
  EXPECT_EQ(together, alone);
  EXPECT_GT(alone[0].size(), 1000u);
}

TEST_F(SearchesCapi, PolygonSearchResultCodesAndPercentages) {
  Build("s.obj", SampleShapes());
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  char name[PIP_NAME_SIZE];
  const int inside[] = {10, 10, 20, 10, 20, 20, 10, 20};
  const int four[] = {4};
  EXPECT_EQ(pipObjectFindFirstPolygon(h, inside, four, 1, name, sizeof name), 3);
  EXPECT_STREQ(name, "WEST");
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), 0);
  // Over WEST and EAST, half of the polygon on each.
  const int across[] = {50, 0, 150, 0, 150, 100, 50, 100};
  double percent = -1;
  std::map<std::string, std::pair<int, double>> got;
  int r = pipObjectFindFirstPolygonEx(h, across, four, 1, name, sizeof name, 100, &percent);
  for (; r > 0; r = pipObjectFindNextEx(h, name, sizeof name, 100, &percent)) {
    got[name] = {r, percent};
  }
  EXPECT_EQ(r, 0);
  EXPECT_EQ(got, (std::map<std::string, std::pair<int, double>>{{"WEST", {5, 50.0}},
                                                                {"EAST", {5, 50.0}}}));
  // Two parts: DONUT exactly (outer ring and hole) is equal.
  const int donut[] = {300, 0, 400, 0, 400, 100, 300, 100, 340, 40, 360, 40, 360, 60, 340, 60};
  const int two[] = {4, 4};
  EXPECT_EQ(pipObjectFindFirstPolygonEx(h, donut, two, 2, name, sizeof name, 10, &percent), 6);
  EXPECT_STREQ(name, "DONUT");
  EXPECT_EQ(percent, 100.0);
  // Touching EAST's right edge only: apart, skipped.
  const int touching[] = {200, 0, 240, 0, 240, 100, 200, 100};
  EXPECT_EQ(pipObjectFindFirstPolygon(h, touching, four, 1, name, sizeof name), 0);
  EXPECT_EQ(pipObjectFindNextEx(h, name, sizeof name, 10, &percent), -1);
  ExpectError(PIP_ERR_GENERAL,
              "Invalid Function call after pipFindFirst returned PIP_NOT_FOUND.\n");
  const int negative[] = {-4};
  EXPECT_EQ(pipObjectFindFirstPolygon(h, inside, negative, 1, name, sizeof name), -1);
  EXPECT_EQ(Code(), PIP_ERR_INVALID_DATA);
  EXPECT_EQ(pipObjectFindFirstPolygon(h, nullptr, four, 1, name, sizeof name), -1);
  EXPECT_EQ(pipObjectFindFirstPolygon(h, inside, four, -1, name, sizeof name), -1);
}

TEST_F(SearchesCapi, BorderDistancesWithAndWithoutSegmentRecords) {
  const struct {
    const char* object;
    int x, y, distance;
    XY nearest;
  } rows[] = {
      {"WEST", 100, 50, 0, {100, 50}},  // on an edge
      {"WEST", 0, 0, 0, {0, 0}},        // on a vertex
      {"WEST", 30, 50, 30, {0, 50}},      {"WEST", 130, 140, 50, {100, 100}},
      {"ROAD", 200, 170, 20, {200, 150}}, {"ROAD", 450, 150, 50, {400, 150}},
      {"WELL", 250, 80, 30, {250, 80}},  // a point object: the query point itself
  };
  for (const int flags : {0, PIP_FILE_SEGMENTS, PIP_FILE_SEGMENTS | PIP_FILE_COMPRESSED}) {
    Build("d.obj", SampleShapes(), {flags});
    const int h = Open("d.obj");
    ASSERT_GT(h, 0);
    for (const auto& row : rows) {
      SCOPED_TRACE("flags " + std::to_string(flags) + " " + row.object + " from " +
                   std::to_string(row.x) + "," + std::to_string(row.y));
      char name[PIP_NAME_SIZE];
      ASSERT_EQ(pipObjectFindFirstName(h, row.object, name, sizeof name), 1);
      EXPECT_EQ(pipObjectDistanceToBorder(h, row.x, row.y), row.distance);
      int x = -1, y = -1;
      EXPECT_EQ(pipObjectDistanceToBorderEx(h, row.x, row.y, &x, &y), row.distance);
      EXPECT_EQ(x, row.nearest.x);
      EXPECT_EQ(y, row.nearest.y);
      EXPECT_EQ(pipObjectDistanceToBorderEx(h, row.x, row.y, nullptr, &y), -1);
    }
    EXPECT_EQ(Close(h), 1);
  }
}

TEST_F(SearchesCapi, CoordinatesWithTooSmallBuffers) {
  Build("s.obj", SampleShapes(), {PIP_FILE_COMPRESSED});
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  char name[PIP_NAME_SIZE];
  ASSERT_EQ(pipObjectFindFirstName(h, "DONUT", name, sizeof name), 1);
  int xy[16] = {};
  int counts[2] = {};
  int parts = -1;
  EXPECT_EQ(pipObjectGetCoords(h, xy, 8, counts, 1, &parts), -1);
  ExpectError(PIP_ERR_TABLE_OVERFLOW, "Object to large for input size (too many polygons).");
  EXPECT_EQ(pipObjectGetCoords(h, xy, 7, counts, 2, &parts), -1);
  ExpectError(PIP_ERR_TABLE_OVERFLOW, "Object to large for input size (too many points).");
  EXPECT_EQ(parts, -1);
  EXPECT_EQ(pipObjectGetCoords(h, nullptr, 8, counts, 2, &parts), -1);
  EXPECT_EQ(
      CurrentCoords(h),
      (Coords{{4, 4}, {300, 0, 400, 0, 400, 100, 300, 100, 340, 40, 360, 40, 360, 60, 340, 60}}));
  ASSERT_EQ(pipObjectFindFirstName(h, "WELL", name, sizeof name), 1);
  EXPECT_EQ(CurrentCoords(h), (Coords{{1}, {250, 50}}));
}

TEST_F(SearchesCapi, RankedSearchOrderAndCurrentEntry) {
  Build("k.obj",
        {RegionOf("INNER", {Box(400, 400, 600, 600)}), RegionOf("OUTER", {Box(0, 0, 1000, 1000)}),
         RegionOf("OUT_NEAR", {Box(1100, 400, 1200, 600)}),
         RegionOf("OUT_FAR", {Box(1300, 400, 1400, 600)}),
         RegionOf("GONE", {Box(9000, 0, 9100, 100)})},
        {PIP_FILE_SEGMENTS});
  const int h = Open("k.obj");
  ASSERT_GT(h, 0);
  char name[PIP_NAME_SIZE];
  Results got;
  std::vector<int> distances;
  std::set<std::pair<int, int>> handles;
  int r = pipObjectFindFirstContainingEx(h, 500, 520, 900, name, sizeof name);
  for (; r > 0; r = pipObjectFindNext(h, name, sizeof name)) {
    got.emplace_back(name, r);
    distances.push_back(pipObjectDistanceToBorder(h, -12345, -12345));  // the entry's own
    int low = 0, high = 0;
    EXPECT_EQ(pipObjectGetHandle64(h, &low, &high), 1);
    handles.emplace(low, high);
    int points = 0, parts = 0;
    ASSERT_EQ(pipObjectGetNumCoords(h, &points, &parts), 1);
    EXPECT_EQ(points, 4);
    pipObjectInfoStruct info;
    ASSERT_EQ(pipObjectGetInfo(h, &info), 1) << "the coordinate call moved to the entry";
    EXPECT_STREQ(info.name, name);
  }
  EXPECT_EQ(r, 0);
  EXPECT_EQ(got, (Results{{"OUTER", 3}, {"INNER", 3}, {"OUT_NEAR", 2}, {"OUT_FAR", 2}}));
  // Segment distances: the point enters the records' frame as
  // trunc(offset + 0.5), so 600 units left of the origin read 599.
  EXPECT_EQ(distances, (std::vector<int>{480, 80, 599, 799}));
  EXPECT_EQ(handles.size(), 4u);

  // Before any call moves to it, the ranked entry is not the current
  // search's object: pipObjectGetInfo needs a goto.
  ASSERT_EQ(pipObjectFindFirstContainingEx(h, 500, 520, 900, name, sizeof name), 3);
  pipObjectInfoStruct info;
  EXPECT_EQ(pipObjectGetInfo(h, &info), -1);
  int low = 0, high = 0;
  ASSERT_EQ(pipObjectGetHandle64(h, &low, &high), 1);
  ASSERT_EQ(pipObjectFileGoto64(h, low, high), 1);
  ASSERT_EQ(pipObjectGetInfo(h, &info), 1);
  EXPECT_STREQ(info.name, "OUTER");
  EXPECT_EQ(pipPointInPoly(h, 500, 520), 1);
  // Another find-first ends the ranked list.
  EXPECT_EQ(pipObjectFindFirstRect(h, 9000, 0, 9000, 0, name, sizeof name), 1);
  EXPECT_STREQ(name, "GONE");
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), 0);
  EXPECT_EQ(pipObjectDistanceToBorder(h, 9000, 50), -1) << "no current object";
}

TEST_F(SearchesCapi, RankedSearchFindsNothingBeyondTheMaximum) {
  Build("k.obj", {RegionOf("A", {Box(0, 0, 10, 10)})});
  const int h = Open("k.obj");
  ASSERT_GT(h, 0);
  char name[PIP_NAME_SIZE] = "x";
  EXPECT_EQ(pipObjectFindFirstContainingEx(h, 100, 100, 50, name, sizeof name), 0);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), -1);
  EXPECT_EQ(pipObjectFindFirstContainingEx(h, 100, 100, 200, name, sizeof name), 2);
  EXPECT_STREQ(name, "A");
  EXPECT_EQ(pipObjectDistanceToBorder(h, 0, 0), 127) << "the entry's distance, not (0, 0)'s";
}

}  // namespace
