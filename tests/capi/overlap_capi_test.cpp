// The region overlap check as callers see it: classification and covered
// share, independent checks, bad handles and bad polygons.
#include "support/capi_fixture.h"

namespace {

using capi_test::CapiTest;

std::vector<int> Rect(int x0, int y0, int x1, int y1) { return {x0, y0, x1, y0, x1, y1, x0, y1}; }
int AddA(int check, const std::vector<int>& xy) {
  return pipAddRegionAPolygon(check, static_cast<int>(xy.size() / 2), xy.data());
}
int AddB(int check, const std::vector<int>& xy) {
  return pipAddRegionBPolygon(check, static_cast<int>(xy.size() / 2), xy.data());
}

// Checks opened through Open are terminated by the fixture.
class OverlapCapi : public CapiTest {
 protected:
  void TearDown() override {
    for (int h : checks_) pipTerminateOverlapCheck(h);
    CapiTest::TearDown();
  }
  int Open() {
    int h = -7;
    EXPECT_EQ(pipInitializeOverlapCheck(lib_, &h), 1);
    EXPECT_GT(h, 0);
    checks_.push_back(h);
    return h;
  }
  std::vector<int> checks_;
};

TEST_F(OverlapCapi, ClassifiesAndMeasuresSquares) {
  const int check = Open();
  ASSERT_EQ(AddA(check, Rect(0, 0, 100, 100)), 1);
  ASSERT_EQ(AddB(check, Rect(50, 50, 150, 150)), 1);
  double percent = 0;
  EXPECT_EQ(pipCheckForRegionOverlap(check), PIP_OVERLAP_PARTIAL);
  EXPECT_EQ(pipCheckForRegionOverlapEx(check, 100, &percent), PIP_OVERLAP_PARTIAL);
  EXPECT_EQ(percent, 25.0);
  EXPECT_EQ(pipCheckForRegionOverlapEx(check, 0, &percent), PIP_OVERLAP_PARTIAL);
  EXPECT_EQ(percent, -1.0);
  EXPECT_EQ(pipCheckForRegionOverlapEx(check, 100, nullptr), PIP_OVERLAP_PARTIAL);

  ASSERT_EQ(pipClearRegionBPolygon(check), 1);
  ASSERT_EQ(AddB(check, Rect(25, 25, 75, 75)), 1);
  EXPECT_EQ(pipCheckForRegionOverlapEx(check, 100, &percent), PIP_OVERLAP_B_IN_A);
  EXPECT_EQ(percent, 25.0);

  ASSERT_EQ(pipClearRegionAPolygon(check), 1);
  ASSERT_EQ(AddA(check, Rect(30, 30, 40, 40)), 1);
  EXPECT_EQ(pipCheckForRegionOverlapEx(check, 100, &percent), PIP_OVERLAP_A_IN_B);
  EXPECT_EQ(percent, 100.0);
  ASSERT_EQ(AddA(check, Rect(60, 60, 70, 70)), 1);
  EXPECT_EQ(pipCheckForRegionOverlap(check), PIP_OVERLAP_A_IN_B);
  ASSERT_EQ(AddB(check, Rect(200, 200, 300, 300)), 1);
  EXPECT_EQ(pipCheckForRegionOverlap(check), PIP_OVERLAP_A_IN_B);

  ASSERT_EQ(pipClearRegionAllPolygon(check), 1);
  ASSERT_EQ(AddA(check, Rect(0, 0, 10, 10)), 1);
  ASSERT_EQ(AddB(check, Rect(0, 0, 10, 10)), 1);
  EXPECT_EQ(pipCheckForRegionOverlapEx(check, 10, &percent), PIP_OVERLAP_EQUAL);
  EXPECT_EQ(percent, 100.0);
  ASSERT_EQ(pipClearRegionAllPolygon(check), 1);
  EXPECT_EQ(pipCheckForRegionOverlapEx(check, 10, &percent), PIP_OVERLAP_NONE);
  EXPECT_EQ(percent, 0.0);

  // A second check keeps its own regions.
  const int other = Open();
  EXPECT_NE(other, check);
  AddA(other, Rect(0, 0, 10, 10));
  AddB(other, Rect(20, 20, 30, 30));
  EXPECT_EQ(pipCheckForRegionOverlap(other), PIP_OVERLAP_NONE);
  AddA(check, Rect(0, 0, 10, 10));
  AddB(check, Rect(0, 0, 10, 10));
  EXPECT_EQ(pipCheckForRegionOverlap(check), PIP_OVERLAP_EQUAL);
}

TEST_F(OverlapCapi, BadPolygonIsRecordedInTheLibraryError) {
  const int check = Open();
  const int xy[4] = {0, 0, 5, 5};
  EXPECT_EQ(pipAddRegionAPolygon(check, 2, nullptr), -1);
  char message[PIP_ERROR_TEXT_SIZE];
  char detail[PIP_ERROR_TEXT_SIZE];
  EXPECT_EQ(pipErrorGet(lib_, message, detail), PIP_ERR_INVALID_DATA);
  EXPECT_STREQ(message, "Invalid data passed to function.");
  EXPECT_EQ(pipAddRegionBPolygon(check, -4, xy), -1);
  EXPECT_EQ(Code(), PIP_ERR_INVALID_DATA);
  EXPECT_EQ(pipAddRegionBPolygon(check, 0, xy), 1);  // no points: accepted
  EXPECT_EQ(pipCheckForRegionOverlap(check), PIP_OVERLAP_NONE);
}

}  // namespace
