// The object family: adding points and parts, closing parts, the records
// Write produces (read back from the finished file), segment records and
// compressed coordinates.
#include "import/polygon_object.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "objfile/byte_order.h"
#include "objfile/column_codec.h"
#include "support/io_object_file.h"

namespace {

using lumetra::PolyRecord;
using lumetra::RecordPoint;
using lumetra::SegmentRecord;
using lumetra_test::Bytes;
using lumetra_test::Points;

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

// A build in a scratch directory, finished on demand and read back.
class ObjectFixture : public lumetra_test::ObjectFileTest {
 protected:
  void Open(int max_points, int max_parts, int coord_type, int flags) {
    MakeBuild(max_points, max_parts, coord_type, flags);
  }
  // Finishes the file and decodes its header and every record.
  void FinishAndRead() {
    for (const auto& s : Finish()) {
      if (s.kind != lumetra::ObjectKind::kPoint) records_.push_back(s.poly);
      offsets_.push_back(s.offset);
    }
  }
  std::uint8_t RecordFlags(std::size_t i) const { return file_.bytes.at(offsets_.at(i) + 38); }

  std::vector<std::size_t> offsets_;
  std::vector<PolyRecord> records_;
};

TEST_F(ObjectFixture, LimitFailuresLeaveTheObjectUnwritten) {
  Open(4, 1, 0, 0);
  {
    QPolygonLine line(*build_, "L", "", 0);
    EXPECT_FALSE(line.AddParts(std::vector<std::int32_t>(10, 1).data(),
                               std::vector<std::int32_t>{5}.data(), 1));
    EXPECT_EQ(err_.code(), 100);
    EXPECT_STREQ(err_.detail(), "Too many points.");
    EXPECT_EQ(line.point_count(), 0);  // refused before any point was taken
  }
  {
    QPolygonLine line(*build_, "L", "", 0);
    EXPECT_FALSE(line.AddParts(std::vector<std::int32_t>{1, 1, 2, 2}.data(),
                               std::vector<std::int32_t>{-1}.data(), 1));
    EXPECT_EQ(err_.code(), 106);
  }
  EXPECT_EQ(build_->records_written(), 0);
  FinishAndRead();
  EXPECT_EQ(file_.header.RecordCount(), 0u);
}

// Segment records computed here from their definition: offsets from the
// grown rectangle's minimum, scaled to feet in geographic files, each
// segment oriented from its smaller x.
std::vector<SegmentRecord> ExpectedSegments(const std::vector<RecordPoint>& pts,
                                            const std::vector<std::uint32_t>& rings, bool closed,
                                            const lumetra::Rect& rect, bool geographic) {
  const double sy = geographic ? 0.36432 : 1.0;
  const double sx = geographic ? 0.36432 * std::cos(rect.miny * 1.745329252e-8) : 1.0;
  auto u = [&](std::int32_t x) { return std::floor((double(x) - rect.minx) * sx + 0.5); };
  auto v = [&](std::int32_t y) { return std::floor((double(y) - rect.miny) * sy + 0.5); };
  auto seg = [&](RecordPoint a, RecordPoint b) {
    double ax = u(a.x), ay = v(a.y), bx = u(b.x), by = v(b.y);
    if (ax > bx || (ax == bx && ay > by)) {
      std::swap(ax, bx);
      std::swap(ay, by);
    }
    SegmentRecord s;
    s.start_x = static_cast<std::int32_t>(ax) | (ay > by ? std::int32_t(0x80000000u) : 0);
    s.min_y = static_cast<std::int32_t>(std::min(ay, by));
    s.max_x = static_cast<std::int32_t>(bx);
    s.max_y = static_cast<std::int32_t>(std::max(ay, by));
    const double len = std::hypot(bx - ax, by - ay);
    s.length = static_cast<std::int32_t>(std::floor(len + 0.5));
    s.direction_x = len > 0 ? static_cast<std::int32_t>(std::round((bx - ax) / len * 1e7)) : 0;
    s.direction_y = len > 0 ? static_cast<std::int32_t>(std::round((by - ay) / len * 1e7)) : 0;
    return s;
  };
  std::vector<SegmentRecord> out;
  std::size_t start = 0;
  for (std::uint32_t n : rings) {
    for (std::size_t i = 1; i < n; ++i) out.push_back(seg(pts[start + i - 1], pts[start + i]));
    if (closed && n > 0) out.push_back(seg(pts[start + n - 1], pts[start]));
    start += n;
  }
  return out;
}

struct SegmentCase {
  const char* name;
  int coord_type;
  int flags;
};

class SegmentRecords : public ObjectFixture, public ::testing::WithParamInterface<SegmentCase> {};

TEST_P(SegmentRecords, MatchTheirDefinition) {
  const SegmentCase c = GetParam();
  Open(100, 10, c.coord_type, c.flags);
  const std::vector<std::int32_t> region_xy = {
      -87000000, 41000000,  -86000000, 41500000,  -86500000, 42000000,  -87000000,
      41000000,  -86800000, 41200000,  -86700000, 41300000,  -86750000, 41250000};
  const std::vector<std::int32_t> line_xy = {10, 10, 10, 5, 20, 5, 15, 30, 15, 30};
  {
    QPolygonRegion region(*build_, "region", "", 0);
    ASSERT_TRUE(region.AddParts(region_xy.data(), std::vector<std::int32_t>{4, 3}.data(), 2));
    ASSERT_TRUE(region.Write());
  }
  {
    QPolygonLine line(*build_, "line", "", 0);
    ASSERT_TRUE(line.AddParts(line_xy.data(), std::vector<std::int32_t>{5}.data(), 1));
    ASSERT_TRUE(line.Write());
  }
  FinishAndRead();
  ASSERT_EQ(records_.size(), 2u);
  const bool geographic = c.coord_type == 1;
  const PolyRecord& region = records_[0];
  const PolyRecord& line = records_[1];
  EXPECT_EQ(region.segments.size(), 3u + 3u);  // closed rings count their closing segment
  EXPECT_EQ(line.segments.size(), 4u);         // an open chain of 5 points
  EXPECT_EQ(region.segments,
            ExpectedSegments(region.points, region.ring_counts, true, region.bounds, geographic));
  EXPECT_EQ(line.segments,
            ExpectedSegments(line.points, line.ring_counts, false, line.bounds, geographic));
  // The line's first segment runs from (10, 10) to (10, 5): equal x, so it
  // starts at its smaller y.
  EXPECT_FALSE(line.segments[0].StartsAtMaxY());
  // (20, 5) -> (15, 30) runs from x 15 at y 30 down to x 20 at y 5.
  EXPECT_TRUE(line.segments[2].StartsAtMaxY());
  for (std::size_t i = 0; i < records_.size(); ++i) {
    EXPECT_EQ(RecordFlags(i) & 0x01, 0x01);
    EXPECT_EQ(RecordFlags(i) & 0x02, c.flags & 0x02);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, SegmentRecords,
                         ::testing::Values(SegmentCase{"Geographic", 1, 1},
                                           SegmentCase{"Planar", 0, 1},
                                           SegmentCase{"GeographicCompressed", 1, 3}),
                         [](const ::testing::TestParamInfo<SegmentCase>& info) {
                           return info.param.name;
                         });

struct FallbackCase {
  const char* name;
  int max_points;
  int count;
  bool alternate;  // small alternating deltas: a long control part, little data
};

class CompressionFallback : public ObjectFixture,
                            public ::testing::WithParamInterface<FallbackCase> {};

TEST_P(CompressionFallback, StoresTheRecordUncompressed) {
  const FallbackCase c = GetParam();
  SCOPED_TRACE(c.name);
  Open(c.max_points, 1, 0, 2);
  std::mt19937 rng(7);
  std::vector<std::int32_t> xy;
  for (int i = 0; i < c.count; ++i) {
    const std::int32_t v =
        c.alternate ? (i % 2) : static_cast<std::int32_t>(rng() & 0x3FFFFFFF) - 0x20000000;
    xy.push_back(v);
    xy.push_back(c.alternate ? 0 : -v);
  }
  {
    QPolygonLine line(*build_, "big", "", 0);
    ASSERT_TRUE(line.AddParts(xy.data(), std::vector<std::int32_t>{c.count}.data(), 1));
    ASSERT_TRUE(line.Write());
    QPolygonLine small(*build_, "small", "", 0);
    ASSERT_TRUE(small.AddPoint(1, 2));
    ASSERT_TRUE(small.Write());
  }
  FinishAndRead();
  ASSERT_EQ(records_.size(), 2u);
  EXPECT_EQ(RecordFlags(0), 0x08);  // compression dropped for this record only
  EXPECT_EQ(RecordFlags(1), 0x08 | 0x02);
  EXPECT_EQ(file_.header.flags & 0x02, 0x02);
  ASSERT_EQ(records_[0].points.size(), static_cast<std::size_t>(c.count));
  for (int i = 0; i < c.count; ++i) {
    ASSERT_EQ(records_[0].points[i], (RecordPoint{xy[2 * i], xy[2 * i + 1]})) << i;
  }
  EXPECT_EQ(lumetra::GetU32(file_.bytes.data() + offsets_[0] + 4), 80u + 8 + 4 + 8u * c.count);
}

INSTANTIATE_TEST_SUITE_P(
    Records, CompressionFallback,
    ::testing::Values(FallbackCase{"ColumnAbove65525Bytes", 20000, 20000, false},
                      FallbackCase{"ControlPartAbove255Bytes", 40000, 40000, true},
                      FallbackCase{"ColumnAboveFourTimesThePointLimit", 3, 3, false}),
    [](const ::testing::TestParamInfo<FallbackCase>& info) { return info.param.name; });

}  // namespace
