// The containing search: against brute force over random objects, with and
// without a radius, on plain and compressed files; the segment proximity
// test; the search rectangle; call-order errors.
#include "search/point_in_polygon_search.h"

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "frame/error.h"
#include "search/point_in_object.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"
#include "search_test_files.h"
#include "support/test_files.h"

namespace {

using lumetra::RecordPoint;
using search_test::Box;
using search_test::FileOptions;
using search_test::Ring;
using search_test::TestObject;

using Found = std::map<std::string, int>;  // name -> result code

// ---------------------------------------------------------------------------
// Pure pieces.

TEST(ContainingSearchRect, RadiusGrowsThePointInUnitsOrConvertedFeet) {
  EXPECT_EQ(lumetra::ContainingSearchRect(5, -7, 0, true), (lumetra::Rect{5, -7, 5, -7}));
  EXPECT_EQ(lumetra::ContainingSearchRect(100, 200, 30, false), (lumetra::Rect{70, 170, 130, 230}));
  // 1000 feet: dy = trunc(2744.8397) = 2744; at latitude 60, dx = 2744 / 0.5.
  const lumetra::Rect r = lumetra::ContainingSearchRect(0, 60000000, 1000, true);
  EXPECT_EQ(r.miny, 60000000 - 2744);
  EXPECT_EQ(r.maxy, 60000000 + 2744);
  EXPECT_NEAR(r.maxx, 5488, 1);
  EXPECT_EQ(r.minx, -r.maxx);
  // A huge radius stays inside the integer range.
  EXPECT_EQ(lumetra::ContainingSearchRect(2000000000, 89999999, INT32_MAX, true),
            (lumetra::Rect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}));
}

// A segment from (0, 0) to (100, 0): direction (1, 0), length 100.
lumetra::SegmentRecord Horizontal() {
  lumetra::SegmentRecord s;
  s.start_x = 0;
  s.min_y = 0;
  s.max_x = 100;
  s.max_y = 0;
  s.length = 100;
  s.direction_x = 10000000;
  s.direction_y = 0;
  return s;
}

// A segment from (0, 100) down to (100, 0): starts at its maximum y.
lumetra::SegmentRecord Falling() {
  lumetra::SegmentRecord s;
  s.start_x = static_cast<std::int32_t>(lumetra::SegmentRecord::kStartsAtMaxY);
  s.min_y = 0;
  s.max_x = 100;
  s.max_y = 100;
  s.length = 141;
  s.direction_x = 7071068;
  s.direction_y = -7071068;
  return s;
}

TEST(SegmentNear, Table) {
  struct Row {
    const char* what;
    lumetra::SegmentRecord s;
    std::int64_t u, v;
    std::int32_t r;
    bool near;
  };
  const Row rows[] = {
      {"beside the middle, within r", Horizontal(), 50, 9, 10, true},
      {"beside the middle, on r", Horizontal(), 50, 10, 10, true},
      {"beside the middle, beyond r", Horizontal(), 50, 11, 10, false},
      {"below the middle", Horizontal(), 50, -10, 10, true},
      {"before the start, within the circle", Horizontal(), -6, 8, 10, true},
      {"before the start, outside the circle", Horizontal(), -8, 8, 10, false},
      {"after the end, within the circle", Horizontal(), 106, -8, 10, true},
      {"after the end, outside the circle", Horizontal(), 108, 8, 10, false},
      {"far beyond the range", Horizontal(), 500, 0, 10, false},
      {"on the segment with radius 0", Horizontal(), 30, 0, 0, true},
      {"off the segment with radius 0", Horizontal(), 30, 1, 0, false},
      {"falling: near its middle", Falling(), 55, 55, 8, true},
      {"falling: off its middle", Falling(), 60, 60, 8, false},
      {"falling: near its start", Falling(), -3, 104, 6, true},
      {"falling: near the wrong corner", Falling(), 0, 0, 6, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(lumetra::SegmentNear(row.s, {row.u, row.v}, row.r), row.near) << row.what;
  }
}

// ---------------------------------------------------------------------------
// Searches over files.

class ContainingSearchTest : public ::testing::Test {
 protected:
  ContainingSearchTest() : chdir_(dir_.path()) {}

  std::string Write(const std::vector<TestObject>& objects, const FileOptions& opt) {
    const std::string path = dir_.File("f" + std::to_string(count_++) + ".obj");
    search_test::WriteObjectFile(path, objects, opt);
    return path;
  }

  // Every answer of one search, in order.
  std::vector<std::pair<std::string, int>> SearchAll(PolygonSearch& reader, std::int32_t x,
                                                     std::int32_t y, std::int32_t radius) {
    std::vector<std::pair<std::string, int>> out;
    PolySearchPointInPolygon search(reader, err_, x, y, radius);
    char name[32];
    for (int r = search.FindFirst(name, sizeof name); r != 0;
         r = search.FindNext(name, sizeof name)) {
      if (r < 0) {
        ADD_FAILURE() << "search failed: " << err_.detail();
        break;
      }
      out.emplace_back(name, r);
    }
    return out;
  }

  lumetra_test::ScopedTempDir dir_;
  lumetra_test::ScopedChdir chdir_;
  QError err_;
  int count_ = 0;
};

// Regions (some with holes, two sharing a border), lines and points spread
// over [0, span) x [0, span) around `base`.
std::vector<TestObject> RandomObjects(std::mt19937& rng, std::int32_t base, int span) {
  std::uniform_int_distribution<int> at(0, span);
  std::uniform_int_distribution<int> corners(3, 12);
  std::vector<TestObject> objects;
  for (int i = 0; i < 25; ++i) {
    const std::int32_t cx = base + at(rng);
    const std::int32_t cy = base + at(rng);
    std::vector<Ring> rings{search_test::Star(rng, cx, cy, corners(rng), span / 20, span / 5)};
    if (i % 3 == 0)
      rings.push_back(Box(cx - span / 50, cy - span / 50, cx + span / 50, cy + span / 50));
    objects.push_back(search_test::Region("R" + std::to_string(i), rings));
  }
  objects.push_back(
      search_test::Region("SHAREDA", {Box(base, base, base + span / 2, base + span / 2)}));
  objects.push_back(
      search_test::Region("SHAREDB", {Box(base + span / 2, base, base + span, base + span / 2)}));
  for (int i = 0; i < 8; ++i) {
    Ring piece{{base + at(rng), base + at(rng)},
               {base + at(rng), base + at(rng)},
               {base + at(rng), base + at(rng)}};
    objects.push_back(search_test::Line("L" + std::to_string(i), {piece}));
  }
  for (int i = 0; i < 10; ++i) {
    objects.push_back(search_test::Point("P" + std::to_string(i), base + at(rng), base + at(rng)));
  }
  return objects;
}

// The brute-force answer, or false when an object lies too close to the
// radius for the rounded segment records to decide.
bool Expected(const std::vector<TestObject>& objects, bool geographic, std::int32_t x,
              std::int32_t y, std::int32_t radius, Found* out) {
  out->clear();
  for (const TestObject& o : objects) {
    int code = 0;
    if (o.kind == lumetra::ObjectKind::kPoint) {
      if (radius == 0) continue;
      const int d = pipDistance(x, y, o.position.x, o.position.y, geographic ? 1 : 0, nullptr);
      if (d < radius) code = 2;
    } else {
      if (o.kind == lumetra::ObjectKind::kRegion) {
        const auto parts = search_test::PartsOf(o.rings);
        if ((lumetra::PointInObject(parts.data(), parts.size(), x, y) & 1) != 0) code |= 1;
      }
      if (radius != 0) {
        const double d = search_test::BruteBorderDistance(o, geographic, x, y);
        if (std::fabs(d - radius) < 3.0) return false;
        if (d < radius) code |= 2;
      }
    }
    if (code != 0) (*out)[o.name] = code;
  }
  return true;
}

Found AsMap(const std::vector<std::pair<std::string, int>>& list) {
  Found m;
  for (const auto& e : list) {
    EXPECT_EQ(m.count(e.first), 0u) << e.first << " returned twice";
    m[e.first] = e.second;
  }
  return m;
}

TEST_F(ContainingSearchTest, MatchesBruteForceOnPlainAndCompressedFiles) {
  const unsigned seed = 77031;
  std::mt19937 rng(seed);
  const std::vector<TestObject> objects = RandomObjects(rng, 1000, 1000);
  const std::string plain = Write(objects, {false, false, false, false, false});
  const std::string packed = Write(objects, {true, false, false, false, false});
  PolygonSearch a(err_, plain.c_str(), 1);
  PolygonSearch b(err_, packed.c_str(), 0);
  ASSERT_TRUE(a.ready() && b.ready()) << err_.detail();
  std::uniform_int_distribution<int> at(900, 2100);
  int nonempty = 0;
  for (int q = 0; q < 400; ++q) {
    const std::int32_t x = at(rng);
    const std::int32_t y = at(rng);
    const auto got = SearchAll(a, x, y, 0);
    EXPECT_EQ(SearchAll(b, x, y, 0), got) << "seed " << seed << " point " << x << "," << y;
    Found expected;
    ASSERT_TRUE(Expected(objects, false, x, y, 0, &expected));
    EXPECT_EQ(AsMap(got), expected) << "seed " << seed << " point " << x << "," << y;
    // The independent crossing number agrees wherever it can decide.
    for (const TestObject& o : objects) {
      if (o.kind != lumetra::ObjectKind::kRegion) continue;
      const auto parts = search_test::PartsOf(o.rings);
      bool boundary = false;
      for (const auto& part : parts) {
        bool hit = false;
        lumetra::PointInPart(part, x, y, &hit);
        boundary = boundary || hit;
      }
      if (boundary) continue;  // the crossing number cannot judge the boundary
      EXPECT_EQ(expected.count(o.name) != 0,
                (search_test::HalfOpenCrossings(o.rings, x, y) & 1) != 0)
          << o.name << " seed " << seed << " point " << x << "," << y;
    }
    if (!got.empty()) ++nonempty;
  }
  EXPECT_GT(nonempty, 100);
}

TEST_F(ContainingSearchTest, RadiusSearchMatchesBruteForce) {
  for (const bool geographic : {false, true}) {
    const unsigned seed = geographic ? 515 : 9001;
    std::mt19937 rng(seed);
    const std::int32_t base = geographic ? 40000000 : 1000;
    const int span = geographic ? 20000 : 1000;
    const std::vector<TestObject> objects = RandomObjects(rng, base, span);
    const std::string plain = Write(objects, {false, true, geographic, false, false});
    const std::string packed = Write(objects, {true, true, geographic, false, false});
    PolygonSearch a(err_, plain.c_str(), 1);
    PolygonSearch b(err_, packed.c_str(), 1);
    ASSERT_TRUE(a.ready() && b.ready()) << err_.detail();
    std::uniform_int_distribution<int> at(base - span / 10, base + span + span / 10);
    std::uniform_int_distribution<int> radius(1, geographic ? 2000 : 120);
    int decided = 0;
    int near = 0;
    for (int q = 0; q < 300; ++q) {
      const std::int32_t x = at(rng);
      const std::int32_t y = at(rng);
      const std::int32_t r = radius(rng);
      const auto got = SearchAll(a, x, y, r);
      EXPECT_EQ(SearchAll(b, x, y, r), got) << "seed " << seed;
      Found expected;
      if (!Expected(objects, geographic, x, y, r, &expected)) continue;
      ++decided;
      EXPECT_EQ(AsMap(got), expected)
          << "seed " << seed << " point " << x << "," << y << " radius " << r;
      for (const auto& e : got) near += (e.second & 2) != 0;
    }
    EXPECT_GT(decided, 150) << "seed " << seed;
    EXPECT_GT(near, 100) << "seed " << seed;
  }
}

TEST_F(ContainingSearchTest, InsideNearAndBothOnHandMadeObjects) {
  const std::vector<TestObject> objects = {
      search_test::Region("RING", {Box(0, 0, 100, 100), Box(40, 40, 60, 60)}),
      search_test::Region("WEST", {Box(1000, 0, 1010, 10)}),
      search_test::Region("EAST", {Box(1010, 0, 1020, 10)}),
      search_test::Line("ROAD", {{{0, -200}, {100, -200}}}), search_test::Point("WELL", 50, -190)};
  PolygonSearch reader(err_, Write(objects, {false, true, false, false, false}).c_str(), 0);
  ASSERT_TRUE(reader.ready());
  const struct {
    const char* what;
    std::int32_t x, y, radius;
    Found found;
  } rows[] = {
      {"on a shared border", 1010, 5, 0, {{"WEST", 1}, {"EAST", 1}}},
      {"inside one of two", 1005, 5, 0, {{"WEST", 1}}},
      {"in a hole", 50, 50, 0, {}},
      {"in a hole, radius short of its edge", 50, 50, 9, {}},
      {"in a hole, near its edge", 50, 50, 11, {{"RING", 2}}},
      {"in a hole, near one edge", 45, 50, 6, {{"RING", 2}}},
      {"inside, radius short of the edges", 20, 50, 5, {{"RING", 1}}},
      {"inside and near", 20, 50, 25, {{"RING", 3}}},
      {"on a line without radius", 50, -200, 0, {}},
      {"on a point without radius", 50, -190, 0, {}},
      {"near a line", 50, -196, 5, {{"ROAD", 2}}},
      {"strictly closer than the radius: 6 < 7", 50, -196, 7, {{"ROAD", 2}, {"WELL", 2}}},
      {"but not 6 < 6", 50, -184, 6, {}},
  };
  for (const auto& row : rows)
    EXPECT_EQ(AsMap(SearchAll(reader, row.x, row.y, row.radius)), row.found) << row.what;
}

TEST_F(ContainingSearchTest, RadiusWithoutSegmentRecordsAndFindNextAfterTheEndAreErrors) {
  const std::vector<TestObject> objects = {search_test::Region("A", {Box(0, 0, 10, 10)})};
  PolygonSearch reader(err_, Write(objects, FileOptions()).c_str(), 0);
  ASSERT_TRUE(reader.ready());
  char name[16];
  PolySearchPointInPolygon with_radius(reader, err_, 5, 5, 10);
  EXPECT_EQ(with_radius.FindFirst(name, sizeof name), -1);
  EXPECT_EQ(err_.code(), 106);
  EXPECT_STREQ(err_.detail(), "Non-Zero radius used but objects do not have buffers.\n");
  PolySearchPointInPolygon search(reader, err_, 5, 5, 0);
  ASSERT_EQ(search.FindFirst(name, sizeof name), 1);
  EXPECT_STREQ(name, "A");
  EXPECT_TRUE(search.has_current());
  EXPECT_EQ(search.FindNext(name, sizeof name), 0);
  EXPECT_FALSE(search.has_current());
  EXPECT_EQ(search.FindNext(name, sizeof name), -1);
  EXPECT_EQ(err_.code(), 100);
  EXPECT_STREQ(err_.detail(), "Invalid Function call after pipFindFirst returned PIP_NOT_FOUND.\n");
  // FindFirst starts over.
  EXPECT_EQ(search.FindFirst(name, sizeof name), 1);
  std::int32_t x = 0, y = 0;
  EXPECT_TRUE(search.GetSearchPoint(&x, &y));
  EXPECT_EQ(x, 5);
  EXPECT_EQ(y, 5);
}

TEST_F(ContainingSearchTest, CurrentObjectSurvivesBufferReuse) {
  const std::vector<TestObject> objects = {search_test::Region("A", {Box(0, 0, 10, 10)}),
                                           search_test::Region("B", {Box(20, 0, 30, 10)})};
  const auto written = search_test::WriteObjectFile(dir_.File("reuse.obj"), objects);
  PolygonSearch reader(err_, dir_.File("reuse.obj").c_str(), 0);  // one buffer
  ASSERT_TRUE(reader.ready());
  char name[16];
  PolySearchPointInPolygon search(reader, err_, 5, 5, 0);
  ASSERT_EQ(search.FindFirst(name, sizeof name), 1);
  ASSERT_NE(reader.FindObject(written.offsets[1]), nullptr);  // takes the only buffer
  PolygonObject* current = search.CurrentObject();
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(current->name(), "A");
  EXPECT_EQ(search.current_position(), written.offsets[0]);
}

}  // namespace
