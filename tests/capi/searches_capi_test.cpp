// The rectangle, name, nearest, polygon and ranked searches, the border
// distances and the coordinate calls as callers see them: files built with
// pipImportInit / pipImportInsert / pipImportTerm and searched through the
// exported functions only.  Includes a corruption sweep running every one
// of these calls on damaged files.
#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

using lumetra_test::ReadBytes;
using lumetra_test::ScopedChdir;
using lumetra_test::ScopedTempDir;
using lumetra_test::WriteBytes;

using Bytes = std::vector<std::uint8_t>;
using Names = std::multiset<std::string>;

struct XY {
  int x;
  int y;
};
using Ring = std::vector<XY>;

struct Shape {
  int type = PIP_OBJECT_REGION;
  std::string name;
  std::vector<Ring> rings;  // regions and lines
  XY at{0, 0};              // points
};

Shape RegionOf(const std::string& name, std::vector<Ring> rings) {
  Shape s;
  s.name = name;
  s.rings = std::move(rings);
  return s;
}
Shape LineOf(const std::string& name, std::vector<Ring> pieces) {
  Shape s = RegionOf(name, std::move(pieces));
  s.type = PIP_OBJECT_LINE;
  return s;
}
Shape PointOf(const std::string& name, int x, int y) {
  Shape s;
  s.type = PIP_OBJECT_POINT;
  s.name = name;
  s.at = {x, y};
  return s;
}
Ring Box(int x0, int y0, int x1, int y1) { return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}; }

std::vector<Shape> Sample() {
  return {RegionOf("WEST", {Box(0, 0, 100, 100)}),
          RegionOf("EAST", {Box(100, 0, 200, 100)}),
          RegionOf("DONUT", {Box(300, 0, 400, 100), Box(340, 40, 360, 60)}),
          RegionOf("Springfield", {Box(500, 0, 600, 100)}),
          RegionOf("SPRINGDALE", {Box(600, 0, 700, 100)}),
          LineOf("ROAD", {{{0, 150}, {400, 150}}}),
          PointOf("WELL", 250, 50),
          PointOf("springwell", 260, 50)};
}

// A library handle and a scratch directory per test; the fixture closes
// every object-file handle a test opened and checks none was closed twice.
class SearchesCapi : public ::testing::Test {
 protected:
  SearchesCapi() : chdir_(dir_.path()) {}
  void SetUp() override {
    lib_ = pipInit(0, nullptr);
    ASSERT_GT(lib_, 0);
  }
  void TearDown() override {
    for (int h : open_) EXPECT_EQ(pipObjectFileClose(h), 1) << "handle " << h;
    for (int h : open_) EXPECT_EQ(pipObjectFileClose(h), -1) << "handle " << h << " twice";
    EXPECT_EQ(pipTerm(lib_), 1);
  }

  std::string Path(const std::string& file) const { return dir_.File(file); }

  void Build(const std::string& file, const std::vector<Shape>& shapes, int flags = 0,
             int coord_type = 0) {
    pipObjectFileInfoStruct info;
    std::memset(&info, 0, sizeof info);
    info.maxPoints = 100000;
    info.maxParts = 100;
    info.coordType = coord_type;
    info.flags = flags;
    int h = 0;
    ASSERT_EQ(pipImportInit(lib_, Path(file).c_str(), &info, &h), 1) << Detail();
    for (const Shape& s : shapes) {
      pipObjectInfoStruct o;
      std::memset(&o, 0, sizeof o);
      o.type = s.type;
      std::strncpy(o.name, s.name.c_str(), sizeof o.name - 1);
      std::vector<int> xy;
      std::vector<int> counts;
      for (const Ring& r : s.rings) {
        counts.push_back(static_cast<int>(r.size()));
        for (const XY& p : r) {
          xy.push_back(p.x);
          xy.push_back(p.y);
        }
      }
      if (s.type == PIP_OBJECT_POINT) {
        o.x = s.at.x;
        o.y = s.at.y;
      }
      ASSERT_EQ(pipImportInsert(h, &o, xy.data(), counts.data(), static_cast<int>(counts.size())),
                1)
          << s.name << ": " << Detail();
    }
    ASSERT_EQ(pipImportTerm(h, 1), 1) << Detail();
  }

  int Open(const std::string& file, int mode = PIP_OPEN_CACHE_5MB) {
    int h = -5;
    if (pipObjectFileOpen(lib_, Path(file).c_str(), mode, &h) != 1) return 0;
    open_.insert(h);
    return h;
  }

  int Code(std::string* detail = nullptr) {
    char message[PIP_ERROR_TEXT_SIZE];
    char text[PIP_ERROR_TEXT_SIZE];
    const int code = pipErrorGet(lib_, message, text);
    if (detail != nullptr) *detail = text;
    return code;
  }
  std::string Detail() {
    std::string d;
    Code(&d);
    return d;
  }
  void ExpectError(int code, const std::string& detail) {
    std::string got;
    EXPECT_EQ(Code(&got), code);
    EXPECT_EQ(got, detail);
  }

  // The names a started search returns, continued with pipObjectFindNext.
  Names Drain(int h, int first, char* name, int length) {
    Names names;
    int r = first;
    for (int guard = 0; r > 0 && guard < 10000; ++guard) {
      names.insert(name);
      r = pipObjectFindNext(h, name, length);
    }
    EXPECT_EQ(r, 0) << Detail();
    return names;
  }
  Names Rect(int h, int x1, int y1, int x2, int y2) {
    char name[PIP_NAME_SIZE];
    return Drain(h, pipObjectFindFirstRect(h, x1, y1, x2, y2, name, sizeof name), name,
                 sizeof name);
  }
  Names ByName(int h, const char* text) {
    char name[PIP_NAME_SIZE];
    return Drain(h, pipObjectFindFirstName(h, text, name, sizeof name), name, sizeof name);
  }

  ScopedTempDir dir_;
  ScopedChdir chdir_;
  int lib_ = 0;
  std::set<int> open_;
};

// ------------------------------------------------------ rectangle and name

TEST_F(SearchesCapi, RectangleCornersInAnyOrder) {
  Build("s.obj", Sample());
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  const Names expected = {"WEST", "EAST", "ROAD"};
  EXPECT_EQ(Rect(h, 50, 90, 150, 160), expected);
  EXPECT_EQ(Rect(h, 150, 160, 50, 90), expected);
  EXPECT_EQ(Rect(h, 50, 160, 150, 90), expected);
  EXPECT_EQ(Rect(h, 250, 50, 250, 50), Names{"WELL"});
  EXPECT_EQ(Rect(h, 2000, 2000, 3000, 3000), Names{});
  char name[PIP_NAME_SIZE];
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), -1);
  ExpectError(PIP_ERR_GENERAL,
              "Invalid Function call after pipFindFirst returned PIP_NOT_FOUND.\n");
}

TEST_F(SearchesCapi, NamesWithPrefixesAndCase) {
  Build("s.obj", Sample());
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  EXPECT_EQ(ByName(h, "Spring*"), (Names{"Springfield", "SPRINGDALE", "springwell"}));
  EXPECT_EQ(ByName(h, "springfield"), Names{"Springfield"});
  EXPECT_EQ(ByName(h, "SPRINGFIELDS"), Names{});
  EXPECT_EQ(ByName(h, "*").size(), Sample().size());
  char name[PIP_NAME_SIZE];
  EXPECT_EQ(pipObjectFindFirstName(h, "nowhere", name, sizeof name), 0);
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), 0) << "an ended name search stays at 0";
  EXPECT_EQ(pipObjectFindFirstName(h, nullptr, name, sizeof name), -1);
  EXPECT_EQ(Code(), PIP_ERR_INVALID_DATA);
  // The found object is current: info and handle.
  ASSERT_EQ(pipObjectFindFirstName(h, "DONUT", name, sizeof name), 1);
  pipObjectInfoStruct info;
  ASSERT_EQ(pipObjectGetInfo(h, &info), 1);
  EXPECT_STREQ(info.name, "DONUT");
  int points = 0, parts = 0;
  ASSERT_EQ(pipObjectGetNumCoords(h, &points, &parts), 1);
  EXPECT_EQ(points, 8);
  EXPECT_EQ(parts, 2);
}

TEST_F(SearchesCapi, FindNextBeforeAnyFind) {
  Build("s.obj", Sample());
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  char name[PIP_NAME_SIZE];
  double percent = 0;
  EXPECT_EQ(pipObjectFindNextEx(h, name, sizeof name, 10, &percent), -1);
  ExpectError(PIP_ERR_INVALID_DATA, "FindNext called before FindFirst");
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), -1);
  ExpectError(PIP_ERR_INVALID_DATA, "FindNext called before FindFirst");
  EXPECT_EQ(pipObjectDistanceToBorder(h, 0, 0), -1);
  int x = 0, y = 0;
  EXPECT_EQ(pipObjectDistanceToBorderEx(h, 0, 0, &x, &y), -1);
  EXPECT_EQ(pipObjectGetNumCoords(h, &x, &y), -1);
}

TEST_F(SearchesCapi, NameBuffersAndBadHandles) {
  Build("s.obj", Sample());
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  char name[16] = "keep";
  EXPECT_EQ(pipObjectFindFirstRect(h, 0, 0, 10, 10, name, -1), -1);
  EXPECT_EQ(pipObjectFindFirstName(h, "WEST", name, -1), -1);
  EXPECT_EQ(pipObjectFindFirstNearest(h, 0, 0, 1, name, -1), -1);
  EXPECT_EQ(pipObjectFindFirstContainingEx(h, 0, 0, 10, name, -1), -1);
  EXPECT_EQ(pipObjectFindFirstName(h, "WEST", name, 0), 1);
  EXPECT_STREQ(name, "keep") << "length 0 writes nothing";
  EXPECT_EQ(pipObjectFindFirstName(h, "WEST", name, 3), 1);
  EXPECT_STREQ(name, "WE");
  EXPECT_EQ(pipObjectFindFirstRect(lib_, 0, 0, 10, 10, name, sizeof name), -1);
  EXPECT_STREQ(name, "") << "cleared before the handle is looked up";
  EXPECT_EQ(pipObjectFindFirstNearest(0, 0, 0, 1, name, sizeof name), -1);
  EXPECT_EQ(pipObjectDistanceToBorder(lib_, 0, 0), -1);
  EXPECT_EQ(pipObjectFindFirstContainingEx(12345, 0, 0, 10, name, sizeof name), -1);
}

// ------------------------------------------------------------------ nearest

TEST_F(SearchesCapi, NearestAgainstPipDistance) {
  const unsigned seed = 20240607;
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> at(-1000000, 1000000);
  std::vector<Shape> shapes;
  std::vector<XY> points;
  for (int i = 0; i < 400; ++i) {
    const XY p{-100000000 + at(rng), 40000000 + at(rng)};
    points.push_back(p);
    shapes.push_back(PointOf("P" + std::to_string(i), p.x, p.y));
  }
  shapes.push_back(RegionOf("AREA", {Box(-100010000, 39990000, -99990000, 40010000)}));
  Build("pts.obj", shapes, 0, PIP_COORD_GEOGRAPHIC);
  const int h = Open("pts.obj");
  ASSERT_GT(h, 0);
  std::map<std::string, XY> by_name;
  for (std::size_t i = 0; i < points.size(); ++i) by_name["P" + std::to_string(i)] = points[i];
  for (int q = 0; q < 40; ++q) {
    const int x = -100000000 + at(rng) / 2, y = 40000000 + at(rng) / 2;
    const int n = 1 + q % 10;
    SCOPED_TRACE("seed " + std::to_string(seed) + " query " + std::to_string(q));
    std::vector<int> all;
    for (const XY& p : points) all.push_back(pipDistance(x, y, p.x, p.y, 1, nullptr));
    std::sort(all.begin(), all.end());
    char name[PIP_NAME_SIZE];
    std::vector<int> got;
    int r = pipObjectFindFirstNearest(h, x, y, n, name, sizeof name);
    for (; r > 0; r = pipObjectFindNext(h, name, sizeof name)) {
      const XY p = by_name.at(name);
      got.push_back(pipDistance(x, y, p.x, p.y, 1, nullptr));
      pipObjectInfoStruct info;
      ASSERT_EQ(pipObjectGetInfo(h, &info), 1);
      EXPECT_STREQ(info.name, name);
      EXPECT_EQ(pipObjectDistanceToBorder(h, x, y), got.back());
    }
    EXPECT_EQ(r, 0) << Detail();
    // Points are dense enough that the nearest n lie well inside the ring
    // that finds n of them.
    ASSERT_EQ(got.size(), static_cast<std::size_t>(n));
    EXPECT_TRUE(std::is_sorted(got.begin(), got.end()));
    EXPECT_EQ(got.front(), all.front());
  }
}

TEST_F(SearchesCapi, NearestCountAndLimits) {
  Build("s.obj", {PointOf("CLOSE", 1000, 0), PointOf("BEYOND", 20000, 0),
                  RegionOf("AREA", {Box(0, 0, 10, 10)})});
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  char name[PIP_NAME_SIZE] = "keep";
  EXPECT_EQ(pipObjectFindFirstNearest(h, 0, 0, 65537, name, sizeof name), -1);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(pipObjectFindFirstNearest(h, 0, 0, -1, name, sizeof name), -1);
  EXPECT_EQ(pipObjectFindFirstNearest(h, 0, 0, 65536, name, sizeof name), 1);
  EXPECT_STREQ(name, "CLOSE");
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), 1);
  EXPECT_STREQ(name, "BEYOND");
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), 0);
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), 0);
  EXPECT_EQ(pipObjectSetSearchDistance(h, 2738), 1);  // M = 7496: the first ring only
  EXPECT_EQ(pipObjectFindFirstNearest(h, 0, 0, 5, name, sizeof name), 1);
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), 0);
  EXPECT_EQ(pipObjectFindFirstNearest(h, 0, 0, 0, name, sizeof name), 0);
}

TEST_F(SearchesCapi, NearestOnRegionsOnlyFindsNothing) {
  Build("r.obj", {RegionOf("A", {Box(0, 0, 10, 10)}), RegionOf("B", {Box(20, 0, 30, 10)})});
  const int h = Open("r.obj");
  ASSERT_GT(h, 0);
  char name[PIP_NAME_SIZE];
  EXPECT_EQ(pipObjectFindFirstNearest(h, 5, 5, 3, name, sizeof name), 0);
}

TEST_F(SearchesCapi, FilteredNearestWithoutAttributeFile) {
  Build("s.obj", Sample());
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  char name[PIP_NAME_SIZE];
  ASSERT_EQ(pipObjectFindFirstRect(h, 0, 0, 1000, 1000, name, sizeof name), 1);
  EXPECT_EQ(pipObjectFindFirstNearestEx(h, 250, 50, 3, "NAME = 'W*'", name, sizeof name), -1);
  ExpectError(PIP_ERR_GENERAL, "No attribute file was found. Cannot filter without attributes.");
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), -1) << "the rectangle search is gone";
  ExpectError(PIP_ERR_INVALID_DATA, "FindNext called before FindFirst");
  EXPECT_EQ(pipObjectFindFirstNearestEx(h, 250, 50, 65537, "X = 1", name, sizeof name), -1);
}

// ------------------------------------------------------------------ polygon

TEST_F(SearchesCapi, PolygonSearchResultCodesAndPercentages) {
  Build("s.obj", Sample());
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  char name[PIP_NAME_SIZE];
  const int inside[] = {10, 10, 20, 10, 20, 20, 10, 20};
  const int four[] = {4};
  EXPECT_EQ(pipObjectFindFirstPolygon(h, inside, four, 1, name, sizeof name), 3);
  EXPECT_STREQ(name, "WEST");
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), 0);
  // Over WEST and EAST, half of A on each, plus the point WELL's box.
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

// ------------------------------------------------- distances and coordinates

TEST_F(SearchesCapi, BorderDistancesOnBothPaths) {
  for (const int flags : {0, PIP_FILE_SEGMENTS, PIP_FILE_SEGMENTS | PIP_FILE_COMPRESSED}) {
    SCOPED_TRACE("flags " + std::to_string(flags));
    Build("d.obj", Sample(), flags);
    const int h = Open("d.obj");
    ASSERT_GT(h, 0);
    char name[PIP_NAME_SIZE];
    ASSERT_EQ(pipObjectFindFirstName(h, "WEST", name, sizeof name), 1);
    EXPECT_EQ(pipObjectDistanceToBorder(h, 100, 50), 0) << "on the edge";
    EXPECT_EQ(pipObjectDistanceToBorder(h, 0, 0), 0) << "on a vertex";
    EXPECT_EQ(pipObjectDistanceToBorder(h, 30, 50), 30);
    EXPECT_EQ(pipObjectDistanceToBorder(h, 130, 140), 50);
    int x = 0, y = 0;
    EXPECT_EQ(pipObjectDistanceToBorderEx(h, 30, 50, &x, &y), 30);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 50);
    EXPECT_EQ(pipObjectDistanceToBorderEx(h, 30, 50, nullptr, &y), -1);
    ASSERT_EQ(pipObjectFindFirstName(h, "ROAD", name, sizeof name), 1);
    EXPECT_EQ(pipObjectDistanceToBorder(h, 200, 170), 20);
    EXPECT_EQ(pipObjectDistanceToBorderEx(h, 450, 150, &x, &y), 50);
    EXPECT_EQ(x, 400);
    EXPECT_EQ(y, 150);
    ASSERT_EQ(pipObjectFindFirstName(h, "WELL", name, sizeof name), 1);
    EXPECT_EQ(pipObjectDistanceToBorder(h, 250, 80), 30);
    EXPECT_EQ(pipObjectDistanceToBorderEx(h, 250, 80, &x, &y), 30);
    EXPECT_EQ(x, 250);
    EXPECT_EQ(y, 80);
    EXPECT_EQ(pipObjectFileClose(h), 1);
    open_.erase(h);
  }
}

TEST_F(SearchesCapi, CoordinatesWithTooSmallBuffers) {
  Build("s.obj", Sample(), PIP_FILE_COMPRESSED);
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
  ASSERT_EQ(pipObjectGetCoords(h, xy, 8, counts, 2, &parts), 1);
  EXPECT_EQ(parts, 2);
  EXPECT_EQ(counts[0], 4);
  EXPECT_EQ(counts[1], 4);
  const int expected[16] = {300, 0, 400, 0, 400, 100, 300, 100, 340, 40, 360, 40, 360, 60, 340, 60};
  EXPECT_EQ(std::memcmp(xy, expected, sizeof xy), 0);
  EXPECT_EQ(pipObjectGetCoords(h, nullptr, 8, counts, 2, &parts), -1);
  ASSERT_EQ(pipObjectFindFirstName(h, "WELL", name, sizeof name), 1);
  int points = 0;
  ASSERT_EQ(pipObjectGetNumCoords(h, &points, &parts), 1);
  EXPECT_EQ(points, 1);
  EXPECT_EQ(parts, 1);
  ASSERT_EQ(pipObjectGetCoords(h, xy, 1, counts, 1, &parts), 1);
  EXPECT_EQ(xy[0], 250);
  EXPECT_EQ(xy[1], 50);
}

// ------------------------------------------------------------------- ranked

TEST_F(SearchesCapi, RankedSearchOrderAndCurrentEntry) {
  Build("k.obj",
        {RegionOf("INNER", {Box(400, 400, 600, 600)}), RegionOf("OUTER", {Box(0, 0, 1000, 1000)}),
         RegionOf("OUT_NEAR", {Box(1100, 400, 1200, 600)}),
         RegionOf("OUT_FAR", {Box(1300, 400, 1400, 600)}),
         RegionOf("GONE", {Box(9000, 0, 9100, 100)})},
        PIP_FILE_SEGMENTS);
  const int h = Open("k.obj");
  ASSERT_GT(h, 0);
  char name[PIP_NAME_SIZE];
  std::vector<std::pair<std::string, int>> got;
  std::vector<int> distances;
  std::vector<std::pair<int, int>> handles;
  int r = pipObjectFindFirstContainingEx(h, 500, 520, 900, name, sizeof name);
  for (; r > 0; r = pipObjectFindNext(h, name, sizeof name)) {
    got.emplace_back(name, r);
    distances.push_back(pipObjectDistanceToBorder(h, -12345, -12345));
    int low = 0, high = 0;
    EXPECT_EQ(pipObjectGetHandle64(h, &low, &high), 1);
    handles.emplace_back(low, high);
    int points = 0, parts = 0;
    ASSERT_EQ(pipObjectGetNumCoords(h, &points, &parts), 1);
    EXPECT_EQ(points, 4);
    pipObjectInfoStruct info;
    ASSERT_EQ(pipObjectGetInfo(h, &info), 1) << "the coordinate call moved to the entry";
    EXPECT_STREQ(info.name, name);
  }
  EXPECT_EQ(r, 0);
  EXPECT_EQ(got, (std::vector<std::pair<std::string, int>>{
                     {"OUTER", 3}, {"INNER", 3}, {"OUT_NEAR", 2}, {"OUT_FAR", 2}}));
  // Segment distances: the point enters the records' frame as
  // trunc(offset + 0.5), so 600 units left of the origin read 599.
  EXPECT_EQ(distances, (std::vector<int>{480, 80, 599, 799}));
  std::set<std::pair<int, int>> distinct(handles.begin(), handles.end());
  EXPECT_EQ(distinct.size(), 4u);

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

// ---------------------------------------------------------- damaged files

// Runs every search, distance and coordinate call on a file; true when it
// opened.  The answers do not matter, only that nothing crashes or hangs.
bool Exercise(int lib, const std::string& path) {
  int h = 0;
  if (pipObjectFileOpen(lib, path.c_str(), PIP_OPEN_CACHE_5MB, &h) != 1) return false;
  char name[PIP_NAME_SIZE];
  int xy[2 * 400];
  int counts[8];
  int parts = 0;
  int x = 0, y = 0;
  double percent = 0;
  const auto visit = [&](int r) {
    for (int guard = 0; r > 0 && guard < 200; ++guard) {
      EXPECT_LT(std::strlen(name), sizeof name);
      pipObjectDistanceToBorder(h, 50, 50);
      pipObjectDistanceToBorderEx(h, 50, 50, &x, &y);
      pipObjectGetNumCoords(h, &x, &y);
      pipObjectGetCoords(h, xy, 400, counts, 8, &parts);
      r = pipObjectFindNextEx(h, name, sizeof name, 10, &percent);
    }
  };
  visit(pipObjectFindFirstRect(h, -1000, -1000, 1000, 1000, name, sizeof name));
  visit(pipObjectFindFirstName(h, "*", name, sizeof name));
  visit(pipObjectFindFirstName(h, "WEST", name, sizeof name));
  visit(pipObjectFindFirstNearest(h, 250, 50, 5, name, sizeof name));
  const int square[] = {-10, -10, 700, -10, 700, 200, -10, 200};
  const int four[] = {4};
  visit(pipObjectFindFirstPolygonEx(h, square, four, 1, name, sizeof name, 20, &percent));
  visit(pipObjectFindFirstContainingEx(h, 50, 50, 500, name, sizeof name));
  EXPECT_EQ(pipObjectFileClose(h), 1);
  return true;
}

void PokeByte(const std::string& path, std::size_t offset, std::uint8_t value) {
  std::FILE* f = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fseek(f, static_cast<long>(offset), SEEK_SET), 0);
  ASSERT_EQ(std::fputc(value, f), value);
  ASSERT_EQ(std::fclose(f), 0);
}

std::uint32_t U32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b.at(at)) | static_cast<std::uint32_t>(b.at(at + 1)) << 8 |
         static_cast<std::uint32_t>(b.at(at + 2)) << 16 |
         static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}

TEST_F(SearchesCapi, CorruptFilesNeverCrashOrHang) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<Shape> shapes = Sample();
  Ring big;
  for (int i = 0; i < 300; ++i) {
    const double a = 2 * M_PI * i / 300;
    big.push_back({600 + static_cast<int>(std::lround(90 * std::cos(a))),
                   50 + static_cast<int>(std::lround(90 * std::sin(a)))});
  }
  shapes.push_back(RegionOf("ROUND", {big}));
  for (int i = 0; i < 30; ++i) shapes.push_back(PointOf("PT" + std::to_string(i), 10 * i, 120));
  for (const int flags : {PIP_FILE_SEGMENTS | PIP_FILE_COMPRESSED, 0}) {
    Build("good.obj", shapes, flags);
    const Bytes good = ReadBytes(Path("good.obj"));
    ASSERT_TRUE(Exercise(lib_, Path("good.obj")));
    const unsigned seed = 5150;
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> bits(1, 255);
    // Every header byte that matters, the first records, each index root,
    // and a stride through the rest.
    std::set<std::size_t> offsets;
    for (std::size_t i = 256; i < 346; ++i) offsets.insert(i);
    for (std::size_t i = 536; i < 700 && i < good.size(); i += 2) offsets.insert(i);
    for (std::size_t i = 700; i < good.size(); i += 173) offsets.insert(i);
    for (std::size_t root : {std::size_t{U32(good, 260)}, std::size_t{U32(good, 264)}}) {
      for (std::size_t i = root; i < root + 40 && i < good.size(); ++i) offsets.insert(i);
    }
    WriteBytes(Path("bad.obj"), good);
    int opened = 0;
    for (std::size_t offset : offsets) {
      const auto flipped = static_cast<std::uint8_t>(good[offset] ^ bits(rng));
      PokeByte(Path("bad.obj"), offset, flipped);
      SCOPED_TRACE("flags " + std::to_string(flags) + " byte " + std::to_string(offset) +
                   " value " + std::to_string(flipped) + " seed " + std::to_string(seed));
      opened += Exercise(lib_, Path("bad.obj")) ? 1 : 0;
      PokeByte(Path("bad.obj"), offset, good[offset]);
    }
    EXPECT_GT(opened, static_cast<int>(offsets.size() / 3));
    for (std::size_t length = 0; length < good.size(); length += good.size() / 41 + 1) {
      WriteBytes(Path("cut.obj"), Bytes(good.begin(), good.begin() + static_cast<long>(length)));
      SCOPED_TRACE("cut at " + std::to_string(length));
      Exercise(lib_, Path("cut.obj"));
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  RecordProperty("seconds", std::to_string(seconds));
  EXPECT_LT(seconds, 60.0);
}

}  // namespace
