// The library frame as callers see it: only the public header and the
// shared library.
#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(FrameCapi, FreshLibraryHasNoErrorAndRecordOnlyDisplay) {
  const int lib = pipInit(0, nullptr);
  ASSERT_GT(lib, 0);
  char message[PIP_ERROR_TEXT_SIZE] = "junk";
  char detail[PIP_ERROR_TEXT_SIZE] = "junk";
  EXPECT_EQ(pipErrorGet(lib, message, detail), -1);
  EXPECT_STREQ(message, "");
  EXPECT_STREQ(detail, "");
  // The display mode: each call answers the previous one.
  EXPECT_EQ(pipErrorShow(lib, 1), 0);
  EXPECT_EQ(pipErrorShow(lib, 2), 1);
  EXPECT_EQ(pipErrorShow(lib, 0), 2);
  EXPECT_EQ(pipErrorShow(0, 1), 0);
  EXPECT_EQ(pipErrorShow(lib + 1000, 1), 0);
  EXPECT_EQ(pipTerm(lib), 1);
  EXPECT_EQ(pipTerm(lib), -1);
}

TEST(FrameCapi, ErrorGetOnABadHandleAnswers109) {
  for (int h : {0, -5, 99999}) {
    char message[PIP_ERROR_TEXT_SIZE];
    char detail[PIP_ERROR_TEXT_SIZE];
    EXPECT_EQ(pipErrorGet(h, message, detail), 109);
    EXPECT_STREQ(message, "Handle is not recognized");
    EXPECT_STREQ(detail, "attempted call to pipErrorGet with invalid handle as first parameter");
  }
}

struct DistanceRow {
  int x1, y1, x2, y2, units;
  int distance;
  int bearing;
};

TEST(FrameCapi, DistanceAndBearing) {
  const DistanceRow rows[] = {
      {0, 0, 0, 1000000, 1, 364320, 0},
      {0, 0, 1000000, 0, 1, 364320, 90},
      {0, 0, -1000000, 0, 1, 364320, 270},
      {0, 0, 0, -1000000, 1, 364320, 180},
      {5, 5, 5, 5, 1, 0, 0},
      {0, 0, 3, 4, 0, 5, 37},
      {0, 0, 3, 4, 7, 5, 37},
      {0, 0, -1, 1000, 0, 1000, 360},  // just west of north rounds to 360
      {0, 0, 1000, 1000, 0, 1414, 45},
      // cos(60 deg) from the rounded radian factor lands just below 182160
      {0, 60000000, 1000000, 60000000, 1, 182159, 90},
      // differences wrap as 32-bit integers: 4e9 becomes -294967296
      {-2000000000, 0, 2000000000, 0, 0, 294967296, 270},
      // too large for the result: a fault, the bearing left alone
      {0, 0, -2147483647 - 1, -2147483647 - 1, 0, -1, -99},
  };
  for (const DistanceRow& r : rows) {
    int bearing = -99;
    EXPECT_EQ(pipDistance(r.x1, r.y1, r.x2, r.y2, r.units, &bearing), r.distance)
        << r.x1 << "," << r.y1 << " -> " << r.x2 << "," << r.y2;
    EXPECT_EQ(bearing, r.bearing) << r.x1 << "," << r.y1 << " -> " << r.x2 << "," << r.y2;
    EXPECT_EQ(pipDistance(r.x1, r.y1, r.x2, r.y2, r.units, nullptr), r.distance);
  }
}

}  // namespace
