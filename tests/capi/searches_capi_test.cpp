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
