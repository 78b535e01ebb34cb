// Object files as callers see them: built through the import functions,
// then opened, queried and searched through the exported functions only,
// with the containing search against brute force on plain and compressed
// files.
#include <cmath>
#include <functional>
#include <random>

#include "support/capi_fixture.h"
#include "support/search_models.h"

namespace {

using namespace capi_test;
using lumetra_test::ReadBytes;
using lumetra_test::WriteBytes;
using Found = std::map<std::string, int>;

using ObjectFileCapi = CapiTest;

TEST_F(ObjectFileCapi, OpenQueryAndClose) {
  Build("s.obj", SampleShapes(), {PIP_FILE_SEGMENTS});
  pipObjectFileInfoStruct q;
  ASSERT_EQ(pipObjectFileQuery(lib_, "s.obj", &q), 1);
  EXPECT_EQ(q.numRegionObjects, 5);
  EXPECT_EQ(q.numLineObjects, 1);
  EXPECT_EQ(q.numPointObjects, 2);
  EXPECT_EQ(q.flags, PIP_FILE_SEGMENTS);
  EXPECT_EQ(q.maxParts, 2);
  EXPECT_EQ(q.maxPoints, 8);
  EXPECT_EQ(q.minX, -1);
  EXPECT_EQ(q.maxX, 701);
  EXPECT_EQ(std::string(q.header).substr(0, 9), "Korvalune");

  int h = Open("s.obj");
  ASSERT_GT(h, 0) << Detail();
  pipObjectFileInfoStruct hq;
  ASSERT_EQ(pipObjectHandleFileQuery(h, &hq), 1);
  EXPECT_EQ(std::memcmp(&q, &hq, sizeof q), 0);
  EXPECT_EQ(pipObjectIsTaxFile(h), -1);
  // The search distance starts at the default and is clamped to its range.
  EXPECT_EQ(pipObjectGetSearchDistance(h), PIP_DEFAULT_SEARCH_DISTANCE);
  const struct {
    int set, result, now;
  } distances[] = {{2737, -1, 2738},        {-5, -1, 2738},           {2738, 1, 2738},
                   {36521358, 1, 36521358}, {36521359, -1, 36521358}, {50000, 1, 50000}};
  for (const auto& d : distances) {
    EXPECT_EQ(pipObjectSetSearchDistance(h, d.set), d.result) << d.set;
    EXPECT_EQ(pipObjectGetSearchDistance(h), d.now) << d.set;
  }
  // pipObjectFileCloseEx closes without clearing the caller's variable.
  const int copy = h;
  files_.erase(h);
  EXPECT_EQ(pipObjectFileCloseEx(&h), 1);
  EXPECT_EQ(h, copy);
  EXPECT_EQ(pipObjectFileCloseEx(&h), -1);
  EXPECT_EQ(pipObjectFileClose(h), -1);
}

TEST_F(ObjectFileCapi, TaxFileIsReportedByQueryButNotByHandleQuery) {
  Build("t.obj", SampleShapes(), {0, 0, Init::kTax});
  pipObjectFileInfoStruct q;
  ASSERT_EQ(pipObjectFileQuery(lib_, "t.obj", &q), 1);
  EXPECT_EQ(q.flags & PIP_FILE_TAX, PIP_FILE_TAX);
  const int h = Open("t.obj");
  ASSERT_GT(h, 0);
  EXPECT_EQ(pipObjectIsTaxFile(h), 1);
  ASSERT_EQ(pipObjectHandleFileQuery(h, &q), 1);
  EXPECT_EQ(q.flags & PIP_FILE_TAX, 0);
}

TEST_F(ObjectFileCapi, BadArgumentsAndHandlesFailWithoutTouchingAnything) {
  // Handles that are no object files: unknown ones, 0, and the library's.
  for (const int h : {0, 99, 12345, lib_}) {
    SCOPED_TRACE(h);
    EXPECT_EQ(pipObjectFileClose(h), -1);
    EXPECT_EQ(pipObjectGetSearchDistance(h), -1);
    EXPECT_EQ(pipPointInPoly(h, 0, 0), -1);
    EXPECT_EQ(pipObjectDistanceToBorder(h, 0, 0), -1);
    char name[8] = "keep";
    EXPECT_EQ(pipObjectFindFirstContaining(h, 0, 0, 0, name, sizeof name), -1);
    EXPECT_STREQ(name, "") << "cleared before the handle is looked up";
    std::strcpy(name, "keep");
    EXPECT_EQ(pipObjectFindFirstRect(h, 0, 0, 10, 10, name, sizeof name), -1);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(pipObjectFindFirstNearest(h, 0, 0, 1, name, sizeof name), -1);
    EXPECT_EQ(pipObjectFindFirstContainingEx(h, 0, 0, 10, name, sizeof name), -1);
  }
  EXPECT_EQ(Code(), PIP_ERR_NONE) << "unknown handles record nothing";
  pipObjectFileInfoStruct q;
  EXPECT_EQ(pipObjectFileQuery(lib_, nullptr, &q), -1);
  EXPECT_EQ(pipObjectFileQuery(lib_, "x", nullptr), -1);
  EXPECT_EQ(pipObjectFileQuery(0, "x", &q), -1);
  EXPECT_EQ(pipObjectFileQueryIntern(nullptr, "x", &q), -1);
  EXPECT_EQ(pipObjectFileOpen(lib_, "x", 0, nullptr), -1);
  EXPECT_EQ(pipObjectFileCloseEx(nullptr), -1);
}

TEST_F(ObjectFileCapi, ObjectHandlesGotoInfoAndPointInPoly) {
  Build("s.obj", SampleShapes(), {PIP_FILE_SEGMENTS | PIP_FILE_COMPRESSED});
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  char name[PIP_NAME_SIZE];
  ASSERT_EQ(pipObjectFindFirstContaining(h, 50, 50, 0, name, sizeof name), 1);
  int west_low = 0, west_high = -1;
  ASSERT_EQ(pipObjectGetHandle64(h, &west_low, &west_high), 1);
  EXPECT_EQ(west_high, 0);
  EXPECT_EQ(pipObjectGetHandle(h), west_low);
  EXPECT_EQ(pipPointInPoly(h, 10, 10), 1);
  EXPECT_EQ(pipPointInPoly(h, 100, 10), 1);  // on the boundary
  EXPECT_EQ(pipPointInPoly(h, 150, 10), 0);

  ASSERT_EQ(pipObjectFindFirstContaining(h, 250, 145, 6, name, sizeof name), 2);
  EXPECT_STREQ(name, "ROAD");
  EXPECT_EQ(pipPointInPoly(h, 250, 150), 0);  // a line contains nothing
  pipObjectInfoStruct info;
  ASSERT_EQ(pipObjectGetInfo(h, &info), 1);
  EXPECT_EQ(info.type, PIP_OBJECT_LINE);
  EXPECT_STREQ(info.name, "ROAD");

  ASSERT_EQ(pipObjectFileGoto64(h, west_low, west_high), 1);
  ASSERT_EQ(pipObjectGetInfo(h, &info), 1);
  EXPECT_STREQ(info.name, "WEST");
  EXPECT_EQ(info.type, PIP_OBJECT_REGION);
  EXPECT_EQ(info.minX, -1);
  EXPECT_EQ(info.maxY, 101);
  EXPECT_EQ(pipPointInPoly(h, 10, 10), 1);
  EXPECT_EQ(pipObjectFileGoto(h, west_low), 1);
  // Positions that name no record.
  EXPECT_EQ(pipObjectFileGoto64(h, west_low, 1), -1);
  EXPECT_EQ(pipObjectFileGoto(h, 3), -1);
  EXPECT_EQ(pipObjectGetInfo(h, &info), -1);
}

// ---------------------------------------------------------------- brute force

TEST_F(ObjectFileCapi, SearchesMatchBruteForceOnPlainAndCompressedFiles) {
  const unsigned seed = 4242;
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> at(0, 2000);
  std::uniform_int_distribution<int> corners(3, 10);
  std::vector<TestObject> shapes;
  for (int i = 0; i < 30; ++i) {
    const int cx = at(rng), cy = at(rng);
    std::vector<Ring> rings{search_models::Star<XY>(rng, cx, cy, corners(rng), 300 / 8, 300)};
    if (i % 4 == 0) rings.push_back(Box(cx - 15, cy - 15, cx + 15, cy + 15));
    shapes.push_back(Region("R" + std::to_string(i), rings));
  }
  for (int i = 0; i < 6; ++i) {
    shapes.push_back(Line("L" + std::to_string(i),
                          {{{at(rng), at(rng)}, {at(rng), at(rng)}, {at(rng), at(rng)}}}));
  }
  for (int i = 0; i < 10; ++i) shapes.push_back(Point("P" + std::to_string(i), at(rng), at(rng)));
  Build("plain.obj", shapes, {PIP_FILE_SEGMENTS});
  Build("packed.obj", shapes, {PIP_FILE_SEGMENTS | PIP_FILE_COMPRESSED});
  const int plain = Open("plain.obj", PIP_OPEN_CACHE_5MB);
  const int packed = Open("packed.obj");
  ASSERT_GT(plain, 0);
  ASSERT_GT(packed, 0);
  std::uniform_int_distribution<int> query(-100, 2100);
  std::uniform_int_distribution<int> radius(0, 80);
  int decided = 0;
  int hits = 0;
  for (int q = 0; q < 300; ++q) {
    const int x = query(rng), y = query(rng);
    const int r = q % 2 == 0 ? 0 : radius(rng);
    SCOPED_TRACE("seed " + std::to_string(seed) + " point " + std::to_string(x) + "," +
                 std::to_string(y) + " radius " + std::to_string(r));
    const Found got = Containing(plain, x, y, r);
    EXPECT_EQ(Containing(packed, x, y, r), got);
    bool clear = true;  // no edge so close to the point or radius that rounding decides
    Found expected;
    for (const TestObject& s : shapes) {
      int code = 0;
      if (s.type == PIP_OBJECT_POINT) {
        if (r > 0 && pipDistance(x, y, s.at.x, s.at.y, 0, nullptr) < r) code = 2;
      } else {
        const double d = search_models::EdgeDistance(s.rings, s.type == PIP_OBJECT_REGION, x, y);
        if (d < 0.75 || (r > 0 && std::fabs(d - r) < 2.0)) clear = false;
        if (s.type == PIP_OBJECT_REGION &&
            search_models::HalfOpenCrossings(s.rings, x, y) % 2 != 0) {
          code |= 1;
        }
        if (r > 0 && d < r) code |= 2;
      }
      if (code != 0) expected[s.name] = code;
    }
    if (!clear) continue;
    ++decided;
    hits += static_cast<int>(got.size());
    EXPECT_EQ(got, expected);
  }
  EXPECT_GT(decided, 150);
  EXPECT_GT(hits, 100);
}

}  // namespace
