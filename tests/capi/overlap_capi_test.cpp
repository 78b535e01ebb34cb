// The region overlap check as callers see it: the public header and the
// shared library only.
#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <string>
#include <vector>

namespace {

std::vector<int> Rect(int x0, int y0, int x1, int y1) { return {x0, y0, x1, y0, x1, y1, x0, y1}; }

int AddA(int check, const std::vector<int>& xy) {
  return pipAddRegionAPolygon(check, static_cast<int>(xy.size() / 2), xy.data());
}

int AddB(int check, const std::vector<int>& xy) {
  return pipAddRegionBPolygon(check, static_cast<int>(xy.size() / 2), xy.data());
}

// Opens a library handle and closes every handle a test opened; a leaked
// handle would keep handle 1 busy after the test.
class OverlapCapi : public ::testing::Test {
 protected:
  void SetUp() override {
    lib_ = pipInit(0, nullptr);
    ASSERT_GT(lib_, 0);
  }

  void TearDown() override {
    for (int h : checks_) pipTerminateOverlapCheck(h);
    EXPECT_EQ(pipTerm(lib_), 1);
    const int probe = pipInit(0, nullptr);
    EXPECT_EQ(probe, 1) << "a handle was left open";
    pipTerm(probe);
  }

  int Open() {
    int h = -7;
    EXPECT_EQ(pipInitializeOverlapCheck(lib_, &h), 1);
    EXPECT_GT(h, 0);
    checks_.push_back(h);
    return h;
  }

  int ErrorCode(std::string* message = nullptr) {
    char text[PIP_ERROR_TEXT_SIZE];
    char detail[PIP_ERROR_TEXT_SIZE];
    const int code = pipErrorGet(lib_, text, detail);
    if (message != nullptr) *message = text;
    return code;
  }

  int lib_ = 0;
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
}

TEST_F(OverlapCapi, ChecksAreIndependent) {
  const int first = Open();
  const int second = Open();
  EXPECT_NE(first, second);
  AddA(first, Rect(0, 0, 10, 10));
  AddB(first, Rect(20, 20, 30, 30));
  AddA(second, Rect(0, 0, 10, 10));
  AddB(second, Rect(0, 0, 10, 10));
  EXPECT_EQ(pipCheckForRegionOverlap(first), PIP_OVERLAP_NONE);
  EXPECT_EQ(pipCheckForRegionOverlap(second), PIP_OVERLAP_EQUAL);
}

TEST_F(OverlapCapi, InitRefusesBadArguments) {
  int h = 99;
  EXPECT_EQ(pipInitializeOverlapCheck(0, &h), -1);
  EXPECT_EQ(h, 0);
  h = 99;
  EXPECT_EQ(pipInitializeOverlapCheck(lib_ + 500, &h), -1);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(pipInitializeOverlapCheck(lib_, nullptr), -1);
  const int check = Open();
  h = 99;
  EXPECT_EQ(pipInitializeOverlapCheck(check, &h), -1);  // not a library handle
  EXPECT_EQ(h, 0);
  EXPECT_EQ(ErrorCode(), -1);  // bad handles record nothing
}

TEST_F(OverlapCapi, WrongKindOfHandleIsRefused) {
  const int check = Open();
  const std::vector<int> square = Rect(0, 0, 1, 1);
  double percent = 7.0;
  for (int h : {lib_, 0, -3, 4000}) {
    SCOPED_TRACE(h);
    EXPECT_EQ(pipAddRegionAPolygon(h, 4, square.data()), -1);
    EXPECT_EQ(pipAddRegionBPolygon(h, 4, square.data()), -1);
    EXPECT_EQ(pipClearRegionAPolygon(h), -1);
    EXPECT_EQ(pipClearRegionBPolygon(h), -1);
    EXPECT_EQ(pipClearRegionAllPolygon(h), -1);
    EXPECT_EQ(pipCheckForRegionOverlap(h), -1);
    EXPECT_EQ(pipCheckForRegionOverlapEx(h, 10, &percent), -1);
    EXPECT_EQ(pipTerminateOverlapCheck(h), -1);
  }
  EXPECT_EQ(percent, 7.0);
  EXPECT_EQ(pipTerm(check), -1);  // a check handle is no library handle
  EXPECT_EQ(pipErrorShow(check, 1), 0);
  EXPECT_EQ(AddA(check, square), 1);  // and it still works
  EXPECT_EQ(ErrorCode(), -1);
}

TEST_F(OverlapCapi, ClosedHandleIsRefused) {
  int check = 0;
  ASSERT_EQ(pipInitializeOverlapCheck(lib_, &check), 1);
  ASSERT_EQ(AddA(check, Rect(0, 0, 10, 10)), 1);
  EXPECT_EQ(pipTerminateOverlapCheck(check), 1);
  EXPECT_EQ(pipTerminateOverlapCheck(check), -1);
  EXPECT_EQ(AddA(check, Rect(0, 0, 10, 10)), -1);
  EXPECT_EQ(pipClearRegionAllPolygon(check), -1);
  EXPECT_EQ(pipCheckForRegionOverlap(check), -1);
  double percent = 3.0;
  EXPECT_EQ(pipCheckForRegionOverlapEx(check, 10, &percent), -1);
  EXPECT_EQ(percent, 3.0);
}

TEST_F(OverlapCapi, BadPolygonIsRecordedInTheLibraryError) {
  const int check = Open();
  const int xy[4] = {0, 0, 5, 5};
  EXPECT_EQ(pipAddRegionAPolygon(check, 2, nullptr), -1);
  std::string message;
  EXPECT_EQ(ErrorCode(&message), PIP_ERR_INVALID_DATA);
  EXPECT_EQ(message, "Invalid data passed to function.");
  EXPECT_EQ(pipAddRegionBPolygon(check, -4, xy), -1);
  EXPECT_EQ(ErrorCode(), PIP_ERR_INVALID_DATA);
  EXPECT_EQ(pipAddRegionBPolygon(check, 0, xy), 1);  // no points: accepted
  EXPECT_EQ(pipCheckForRegionOverlap(check), PIP_OVERLAP_NONE);
}

}  // namespace
