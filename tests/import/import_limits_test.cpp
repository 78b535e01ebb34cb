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

TEST(ImportLimits, EffectiveLimitNeverExceedsTheCapacity) {
  pipError err;
  ASSERT_TRUE(ImportLimits::CheckAndSet(err, 100, 10));
  EXPECT_EQ(ImportLimits::EffectivePointLimit(40), 40);
  EXPECT_EQ(ImportLimits::EffectivePointLimit(400), 100);
  EXPECT_EQ(ImportLimits::EffectivePolygonLimit(3), 3);
  EXPECT_EQ(ImportLimits::EffectivePolygonLimit(30), 10);
}

TEST(ImportLimits, ConcurrentSettersNeverTearAValue) {
  pipError errs[4];
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &errs] {
      for (int i = 0; i < 2000; ++i) ImportLimits::CheckAndSet(errs[t], 1000 + t, 10 + t);
    });
  }
  bool torn = false;
  for (int i = 0; i < 2000; ++i) {
    const int p = ImportLimits::PointLimit();
    const int q = ImportLimits::PolygonLimit();
    if ((p != 55000000 && (p < 1000 || p > 1003)) || (q != 16383 && (q < 10 || q > 13))) {
      torn = true;
    }
  }
  for (auto& th : threads) th.join();
  EXPECT_FALSE(torn);
}

TEST(ImportLimits, BuilderKeepsItsArrayCapacityWhenTheLimitsAreRaised) {
  lumetra_test::ScopedTempDir dir;
  lumetra_test::ScopedChdir chdir(dir.path());
  pipError err;
  ASSERT_TRUE(ImportLimits::CheckAndSet(err, 3, 1));
  auto build = std::make_unique<ObjectFileBuild>(err, dir.File("cap.obj").c_str(),
                                                 lumetra_test::BuildInfo(3, 1));
  ASSERT_TRUE(build->success());
  EXPECT_EQ(build->point_capacity(), 3);
  EXPECT_EQ(build->part_capacity(), 1);

  // Another import raises the process limits meanwhile.
  pipError other;
  ASSERT_TRUE(ImportLimits::CheckAndSet(other, 1000, 100));
  EXPECT_EQ(build->PointLimit(), 3);
  EXPECT_EQ(build->PolygonLimit(), 1);
  {
    QPolygonLine line(*build, "L", "", 0);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(line.AddPoint(i, i));
    EXPECT_FALSE(line.AddPoint(9, 9));
    EXPECT_STREQ(err.detail(), "Too many points.");
  }
  {
    QPolygonLine line(*build, "L", "", 0);
    EXPECT_TRUE(line.AddPoint(0, 0));
    EXPECT_TRUE(line.ClosePart());
    EXPECT_TRUE(line.AddPoint(1, 1));
    EXPECT_FALSE(line.ClosePart());
    EXPECT_STREQ(err.detail(), "Too many polygons.");
  }

  // Lowered limits apply at once, below the capacity.
  ASSERT_TRUE(ImportLimits::CheckAndSet(other, 2, 1));
  EXPECT_EQ(build->PointLimit(), 2);
}

}  // namespace
