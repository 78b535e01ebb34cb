// The process-wide import limits and the rule that a builder never takes
// more than its own arrays hold.
#include "import/import_limits.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "import/polygon_object.h"
#include "support/io_object_file.h"

namespace {

using lumetra::ImportLimits;

struct RangeRow {
  int points;
  int polygons;
  bool accepted;
};

TEST(ImportLimits, RangeEndsAreExact) {
  const RangeRow rows[] = {
      {55000000, 16383, true},
      {55000001, 16383, false},
      {55000000, 16384, false},
      {0, 0, true},
      {-1, 10, false},
      {10, -1, false},
      {1, 1, true},
      {2147483647, 1, false},
  };
  for (const RangeRow& row : rows) {
    EXPECT_EQ(ImportLimits::InRange(row.points, row.polygons), row.accepted)
        << row.points << " " << row.polygons;
  }
}

TEST(ImportLimits, AcceptedPairBecomesTheProcessLimitsAndARefusedOneReports106) {
  pipError err;
  ASSERT_TRUE(ImportLimits::CheckAndSet(err, 55000000, 16383));
  EXPECT_EQ(ImportLimits::PointLimit(), 55000000);
  EXPECT_EQ(ImportLimits::PolygonLimit(), 16383);
  ASSERT_TRUE(ImportLimits::CheckAndSet(err, 500, 5));
  EXPECT_EQ(err.code(), -1);
  for (const RangeRow& row : {RangeRow{55000001, 16383, false}, RangeRow{10, 16384, false}}) {
    EXPECT_FALSE(ImportLimits::CheckAndSet(err, row.points, row.polygons));
    EXPECT_EQ(err.code(), 106);
    EXPECT_STREQ(err.message(), "Invalid data passed to function.");
    EXPECT_STREQ(err.detail(),
                 "Parameter out of range.  PointLimit = 55000000, PolygonLimit = 16383.");
    EXPECT_EQ(ImportLimits::PointLimit(), 500);
    EXPECT_EQ(ImportLimits::PolygonLimit(), 5);
  }
}

}  // namespace
