// The ranked search and the coordinate calls as callers see them, on files
// built through the import functions.
#include <lumetra/pip_ext.h>

#include <algorithm>
#include <random>

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
        {Region("INNER", {Box(400, 400, 600, 600)}), Region("OUTER", {Box(0, 0, 1000, 1000)}),
         Region("OUT_NEAR", {Box(1100, 400, 1200, 600)}),
         Region("OUT_FAR", {Box(1300, 400, 1400, 600)}), Region("GONE", {Box(9000, 0, 9100, 100)})},
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

// The exact k-nearest through the C interface: counts, criteria without an
// attribute file, and the answers of the internal tests' brute force.
TEST_F(SearchesCapi, ExactNearestCountsAndCriteria) {
  Build("s.obj",
        {Point("CORNER", 7000, 7000), Point("SIDE", 8000, 0), Region("AREA", {Box(0, 0, 10, 10)})});
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  char name[PIP_NAME_SIZE] = "keep";
  EXPECT_EQ(pipObjectFindFirstNearestExact(h, 0, 0, 0, nullptr, name, sizeof name), -1);
  EXPECT_EQ(pipObjectFindFirstNearestExact(h, 0, 0, 65537, "", name, sizeof name), -1);
  EXPECT_EQ(pipObjectFindFirstNearestExact(h, 0, 0, 1, nullptr, name, -1), -1);
  EXPECT_EQ(pipObjectFindFirstNearestExact(h, 0, 0, 1, nullptr, nullptr, 0), 1) << "no name wanted";
  // SIDE lies beyond the first square but nearer than CORNER inside it.
  ASSERT_EQ(pipObjectFindFirstNearestExact(h, 0, 0, 1, "", name, sizeof name), 1);
  EXPECT_EQ(Drain(h, 1, name, sizeof name), (Results{{"SIDE", 1}}));
  ASSERT_EQ(pipObjectFindFirstNearest(h, 0, 0, 1, name, sizeof name), 1);
  EXPECT_STREQ(name, "CORNER") << "the square rings alone";
  EXPECT_EQ(pipObjectFindFirstNearestExact(h, 0, 0, 3, "Pop > 1", name, sizeof name), -1);
  ExpectError(PIP_ERR_GENERAL, "No attribute file was found. Cannot filter without attributes.");
}

}  // namespace
