// The object file reader: opening, cache sizing and behaviour, bounded
// maxima, old files with a grid index, and refused records.
#include "search/polygon_search.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "frame/error.h"
#include "objfile/byte_order.h"
#include "search/point_in_polygon_search.h"
#include "search/polygon_object.h"
#include "search_test_files.h"
#include "storage/qtree.h"
#include "storage/qxy_spatial_index.h"
#include "storage/rt_spatial_index.h"
#include "support/test_files.h"

namespace {

using lumetra::ObjectHeader;
using search_test::Box;
using search_test::Line;
using search_test::Point;
using search_test::Region;
using search_test::TestObject;

constexpr std::uint32_t kMiB = 1024 * 1024;

ObjectHeader HeaderWith(std::uint32_t max_record, std::uint32_t max_points, std::uint16_t flags,
                        std::uint32_t regions, std::uint32_t max_rings) {
  ObjectHeader h = ObjectHeader::ForNewFile(flags, 1);
  h.max_record_size = max_record;
  h.max_point_count = max_points;
  h.region_records = regions;
  h.max_ring_count = max_rings;
  return h;
}

TEST(PolygonSearchCache, BufferCountFollowsModeAndLargestRecordAndBudgetCountsDecodedColumns) {
  const ObjectHeader one_mib = HeaderWith(kMiB, 1000, 0, 1, 1);
  const ObjectHeader four_mib = HeaderWith(4 * kMiB, 1000, 0, 1, 1);
  // No regions and no parts: nothing to budget; two buffers in modes 1-3.
  const ObjectHeader points_only = HeaderWith(40, 0, 0, 0, 0);
  const struct {
    const ObjectHeader* header;
    int mode;
    std::size_t buffers;
  } counts[] = {
      {&one_mib, 0, 1},     {&four_mib, 0, 1},    {&one_mib, 3, 100}, {&one_mib, 2, 20},
      {&one_mib, 1, 5},     {&four_mib, 1, 2},  // 5 / 4 rounds down to 1 and is raised to 2
      {&one_mib, 7, 100},   {&one_mib, 4, 1},   // only the low two bits of the mode count
      {&points_only, 1, 2}, {&points_only, 0, 1},
  };
  for (const auto& c : counts) {
    EXPECT_EQ(PolygonSearch::CacheBufferCount(*c.header, c.mode), c.buffers)
        << "largest record " << c.header->max_record_size << " mode " << c.mode;
  }
  const std::uint16_t compressed = ObjectHeader::kFlagCompressed;
  const std::uint16_t segments = ObjectHeader::kFlagSegments;
  const struct {
    std::uint16_t flags;
    std::size_t budget;
  } budgets[] = {{0, 1000}, {segments, 1000}, {compressed, 1800}, {compressed | segments, 4600}};
  for (const auto& b : budgets) {
    EXPECT_EQ(PolygonSearch::CacheRecordBudget(HeaderWith(1000, 100, b.flags, 1, 1)), b.budget)
        << "flags " << b.flags;
  }
  EXPECT_EQ(PolygonSearch::CacheRecordBudget(points_only), 0u);
}

TEST(PolygonSearchCache, CreatedBuffersAreCappedByRecordsAndBookkeeping) {
  ObjectHeader h = HeaderWith(100, 10, 0, 3, 1);
  const lumetra::RecordLimits l = PolygonSearch::BoundedLimits(h, 1 << 20);
  EXPECT_EQ(PolygonSearch::CacheBufferCount(h, 3), 100u * kMiB / 100);
  EXPECT_EQ(PolygonSearch::CappedBufferCount(h, l, 3), 3u);
  h.region_records = 0;
  h.point_records = 1;
  EXPECT_EQ(PolygonSearch::CappedBufferCount(h, l, 3), 2u);
  h.region_records = 50000000;
  EXPECT_EQ(PolygonSearch::CappedBufferCount(h, l, 1),
            5u * kMiB / PolygonSearch::kBufferBookkeeping);
  EXPECT_EQ(PolygonSearch::CappedBufferCount(h, l, 0), 1u);
}

TEST(PolygonSearchCache, LargeRecordsKeepTheirBufferCount) {
  // One 1 MiB record of 100000 points: 100 buffers in mode 3.
  ObjectHeader h = HeaderWith(kMiB, 100000, 0, 500, 1);
  const lumetra::RecordLimits l = PolygonSearch::BoundedLimits(h, 600 * kMiB);
  EXPECT_EQ(PolygonSearch::CappedBufferCount(h, l, 3), 100u);
  h.max_record_size = 4 * kMiB;
  EXPECT_EQ(PolygonSearch::CappedBufferCount(h, PolygonSearch::BoundedLimits(h, 600 * kMiB), 1),
            2u);
}

TEST(PolygonSearchCache, MaximaThatDisagreeCannotMultiplyTheBudget) {
  // A header claiming small records but rings and segments for a record of
  // the whole file: the buffers' decoded size caps the count.
  ObjectHeader h = HeaderWith(100, 0xFFFFFFFFu, ObjectHeader::kFlagSegments, 1000000, 0xFFFFFFFFu);
  h.max_record_size = 4 * kMiB;
  const lumetra::RecordLimits l = PolygonSearch::BoundedLimits(h, 4 * kMiB);
  const std::size_t n = PolygonSearch::CappedBufferCount(h, l, 3);
  EXPECT_LE(n * PolygonSearch::BufferFootprint(h, l), 2 * 100 * std::uint64_t{kMiB});
  EXPECT_GE(n, 2u);
}

TEST(PolygonSearchCache, MaximaAreBoundedByTheFileSize) {
  ObjectHeader h = HeaderWith(0xFFFFFFFFu, 0xFFFFFFFFu, 0, 1, 0xFFFFFFFFu);
  lumetra::RecordLimits l = PolygonSearch::BoundedLimits(h, 8000);
  EXPECT_EQ(l.max_record_size, 8000u);
  EXPECT_EQ(l.max_ring_count, 2000u);
  EXPECT_EQ(l.max_point_count, 1000u);
  h.flags |= ObjectHeader::kFlagCompressed;
  l = PolygonSearch::BoundedLimits(h, 8000);
  EXPECT_EQ(l.max_point_count, lumetra::kColumnMaxValues);
  // Sane maxima are kept as they are.
  const ObjectHeader sane = HeaderWith(500, 20, 0, 1, 2);
  l = PolygonSearch::BoundedLimits(sane, 100000);
  EXPECT_EQ(l.max_record_size, 500u);
  EXPECT_EQ(l.max_point_count, 20u);
  EXPECT_EQ(l.max_ring_count, 2u);
  EXPECT_EQ(PolygonSearch::BoundedLimits(sane, -1).max_record_size, 0u);
}

class ReaderFileTest : public ::testing::Test {
 protected:
  ReaderFileTest() : chdir_(dir_.path()) {}
  std::string Write(const std::vector<TestObject>& objects,
                    const search_test::FileOptions& opt = search_test::FileOptions()) {
    const std::string path = dir_.File("f" + std::to_string(count_++) + ".obj");
    written_ = search_test::WriteObjectFile(path, objects, opt);
    return path;
  }
  std::vector<TestObject> FiveBoxes() const {
    std::vector<TestObject> v;
    for (int i = 0; i < 5; ++i) {
      v.push_back(Region("BOX" + std::to_string(i), {Box(i * 100, 0, i * 100 + 50, 50)}));
    }
    return v;
  }

  lumetra_test::ScopedTempDir dir_;
  lumetra_test::ScopedChdir chdir_;
  search_test::WrittenFile written_;
  QError err_;
  int count_ = 0;
};

TEST_F(ReaderFileTest, ModeZeroOpensOneBufferThatReloadsAlternatingObjects) {
  const std::string path = Write(FiveBoxes());
  PolygonSearch reader(err_, path.c_str(), 0);
  ASSERT_TRUE(reader.ready()) << err_.detail();
  EXPECT_EQ(reader.buffer_count(), 1u);
  EXPECT_EQ(reader.search_distance(), 366000);
  EXPECT_NE(dynamic_cast<rtSpatialIndex*>(reader.spatial_index()), nullptr) << "current files";
  ASSERT_NE(reader.name_index(), nullptr);
  EXPECT_TRUE(reader.name_index()->ready());
  const std::uint64_t a = written_.offsets[0];
  const std::uint64_t b = written_.offsets[1];
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(reader.FindObject(a), nullptr);
    ASSERT_NE(reader.FindObject(b), nullptr);
  }
  EXPECT_EQ(reader.load_count(), 6u);
  // The same object again is served from the buffer.
  PolygonObject* again = reader.FindObject(b);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(reader.load_count(), 6u);
  EXPECT_EQ(again->name(), "BOX1");
}

TEST_F(ReaderFileTest, BuffersForEveryRecordAreNeverRelinked) {
  const std::string path = Write(FiveBoxes());
  PolygonSearch reader(err_, path.c_str(), PIP_OPEN_CACHE_5MB);
  ASSERT_TRUE(reader.ready()) << err_.detail();
  ASSERT_EQ(reader.buffer_count(), 5u);  // capped by the five records
  EXPECT_TRUE(reader.all_held());
  const auto& o = written_.offsets;
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(reader.FindObject(o[1]), nullptr);
    ASSERT_NE(reader.FindObject(o[0]), nullptr);
  }
  EXPECT_EQ(reader.load_count(), 2u);
  // Each record went into the next empty buffer, and stays there.
  EXPECT_EQ(reader.CachedPositionsForTest(), (std::vector<std::uint64_t>{o[1], o[0], 0, 0, 0}));
}

TEST_F(ReaderFileTest, FewerBuffersThanRecordsKeepMostRecentlyUsedFirstAndReloadFromTheStore) {
  // One record of about 1 MiB: 5 MiB give 5 buffers for 8 records; the
  // store's 5 MiB hold every record.
  std::vector<TestObject> objects = FiveBoxes();
  std::vector<lumetra::RecordPoint> big;
  for (int i = 0; i < 131000; ++i) big.push_back({i % 1000, (i / 1000) % 2 == 0 ? i : -i});
  objects.push_back(Region("BIG", {big}));
  objects.push_back(Region("SIX", {Box(600, 0, 650, 50)}));
  objects.push_back(Region("SEVEN", {Box(700, 0, 750, 50)}));
  const std::string path = Write(objects);
  PolygonSearch reader(err_, path.c_str(), PIP_OPEN_CACHE_5MB);
  ASSERT_TRUE(reader.ready()) << err_.detail();
  ASSERT_EQ(reader.buffer_count(), 5u);
  EXPECT_FALSE(reader.all_held());
  const auto& o = written_.offsets;
  for (int round = 0; round < 2; ++round) {
    for (std::uint64_t position : o) ASSERT_NE(reader.FindObject(position), nullptr);
  }
  EXPECT_EQ(reader.CachedPositionsForTest(),
            (std::vector<std::uint64_t>{o[7], o[6], o[5], o[4], o[3]}));
  EXPECT_EQ(reader.load_count(), 16u);          // every buffer miss
  EXPECT_EQ(reader.store().read_count(), 8u);   // but each record read once
  ASSERT_NE(reader.FindObject(o[4]), nullptr);  // a hit moves to the front
  EXPECT_EQ(reader.CachedPositionsForTest(),
            (std::vector<std::uint64_t>{o[4], o[7], o[6], o[5], o[3]}));
  EXPECT_EQ(reader.load_count(), 16u);
  EXPECT_LE(reader.store().bytes_in_use(), reader.store().budget());
}

TEST_F(ReaderFileTest, LoadedObjectDescribesItsRecord) {
  const std::string path = Write({Region("LAKE", {Box(10, 20, 30, 40), Box(15, 25, 20, 30)}),
                                  Line("ROAD", {{{0, 0}, {5, 5}, {9, 2}}}), Point("WELL", 7, 8)});
  PolygonSearch reader(err_, path.c_str(), 1);
  ASSERT_TRUE(reader.ready()) << err_.detail();
  PolygonObject* lake = reader.FindObject(written_.offsets[0]);
  ASSERT_NE(lake, nullptr);
  EXPECT_EQ(lake->type(), 0);
  ASSERT_EQ(lake->part_count(), 2u);
  EXPECT_EQ(lake->parts()[0].count, 4u);
  EXPECT_EQ(lake->parts()[1].points, lake->points() + 4);
  EXPECT_EQ(lake->Bounds(), (lumetra::Rect{9, 19, 31, 41}));
  pipObjectInfoStruct info;
  lumetra::FillObjectInfo(*lake, &info);
  EXPECT_STREQ(info.name, "LAKE");
  EXPECT_EQ(info.x, 20);
  EXPECT_EQ(info.y, 30);
  EXPECT_EQ(info.penColor, 1);
  EXPECT_EQ(info.brushPattern, 3);

  PolygonObject* road = reader.FindObject(written_.offsets[1]);
  ASSERT_NE(road, nullptr);
  lumetra::FillObjectInfo(*road, &info);
  EXPECT_EQ(info.type, 1);
  EXPECT_EQ(info.brushPattern, 0);
  EXPECT_EQ(info.penColor, 2);

  PolygonObject* well = reader.FindObject(written_.offsets[2]);
  ASSERT_NE(well, nullptr);
  lumetra::FillObjectInfo(*well, &info);
  EXPECT_EQ(info.type, 2);
  EXPECT_EQ(info.x, 7);
  EXPECT_EQ(info.minX, 7);
  EXPECT_EQ(info.maxY, 8);
  EXPECT_EQ(info.penPattern, 7);  // symbol shape
  EXPECT_EQ(info.penWidth, 6);    // symbol size
  EXPECT_EQ(info.penColor, 3);
  EXPECT_EQ(well->point_count(), 0u);
}

TEST_F(ReaderFileTest, RecordPositionsThatNameNoRecordAreRefused) {
  const std::string path = Write(FiveBoxes());
  PolygonSearch reader(err_, path.c_str(), 0);
  ASSERT_TRUE(reader.ready());
  EXPECT_EQ(reader.FindObject(0), nullptr);
  EXPECT_EQ(err_.code(), 100);
  EXPECT_EQ(reader.FindObject(100), nullptr);
  // In the middle of a record: the bytes do not decode as a record.
  EXPECT_EQ(reader.FindObject(written_.offsets[0] + 4), nullptr);
  // Past the end of the file.
  EXPECT_EQ(reader.FindObject(1ull << 40), nullptr);
  EXPECT_EQ(err_.code(), 28);
  // A good record still loads afterwards.
  EXPECT_NE(reader.FindObject(written_.offsets[3]), nullptr);
}

TEST_F(ReaderFileTest, HugeHeaderMaximaAreBoundedAndBigRecordsRefused) {
  const std::string path = Write(FiveBoxes());
  std::vector<std::uint8_t> bytes = lumetra_test::ReadBytes(path);
  lumetra::PutU32(bytes.data() + 268, 0xFFFFFFF0u);  // largest record
  lumetra::PutU32(bytes.data() + 272, 0xFFFFFFF0u);  // most points
  lumetra::PutU32(bytes.data() + 288, 0xFFFFFFF0u);  // most rings
  lumetra_test::WriteBytes(path, bytes);
  PolygonSearch reader(err_, path.c_str(), 3);
  ASSERT_TRUE(reader.ready()) << err_.detail();
  EXPECT_EQ(reader.limits().max_record_size, bytes.size());
  EXPECT_EQ(reader.buffer_count(), 2u);  // 100 MiB / the whole file, raised to 2
  EXPECT_NE(reader.FindObject(written_.offsets[2]), nullptr);

  // A record claiming more than the largest record is refused unread.
  lumetra::PutU32(bytes.data() + 268, 60);
  lumetra_test::WriteBytes(path, bytes);
  PolygonSearch small(err_, path.c_str(), 0);
  ASSERT_TRUE(small.ready());
  EXPECT_EQ(small.FindObject(written_.offsets[2]), nullptr);
  EXPECT_EQ(err_.code(), 100);
}

TEST_F(ReaderFileTest, ExtensionBlockIsReadWhenAnnounced) {
  search_test::FileOptions opt;
  opt.extension = true;
  const std::string path = Write(FiveBoxes(), opt);
  PolygonSearch reader(err_, path.c_str(), 0);
  ASSERT_TRUE(reader.ready()) << err_.detail();
  ASSERT_TRUE(reader.has_extension());
  EXPECT_EQ(reader.extension().first_text, "source");
  EXPECT_EQ(reader.extension().code, 7);
  EXPECT_NE(reader.FindObject(written_.offsets[0]), nullptr);
  // Records cannot start inside the extension block.
  EXPECT_EQ(reader.FindObject(600), nullptr);
}

// ---------------------------------------------------------------------------
// An old file: old magic, no current-layout flag, records in the old layout
// with coarse 16-bit bounds, and a grid index.

void PutU16At(std::vector<std::uint8_t>* b, std::size_t at, std::uint16_t v) {
  lumetra::PutU16(b->data() + at, v);
}
void PutU32At(std::vector<std::uint8_t>* b, std::size_t at, std::uint32_t v) {
  lumetra::PutU32(b->data() + at, v);
}

// An old region (fixed part 64) or line (52) with one ring of `pts`.
std::vector<std::uint8_t> OldRecord(bool region, const char* name,
                                    const std::vector<lumetra::RecordPoint>& pts,
                                    const std::uint16_t pqrs[4], std::uint32_t colour) {
  const std::size_t fixed = region ? 64 : 52;
  const std::size_t name_len = std::strlen(name);
  const std::size_t names = ((name_len + 2) / 4 + 1) * 4;
  const std::size_t ring_offset = fixed + names;
  const std::size_t coords = ring_offset + 4;
  std::vector<std::uint8_t> b(coords + 8 * pts.size(), 0);
  b[0] = region ? 0 : 1;
  b[1] = 9;  // id
  PutU32At(&b, 4, static_cast<std::uint32_t>(b.size()));
  PutU32At(&b, 8, 1);
  PutU32At(&b, 12, static_cast<std::uint32_t>(pts.size()));
  PutU32At(&b, 16, 0);
  PutU32At(&b, 20, static_cast<std::uint32_t>(ring_offset));
  PutU32At(&b, 24, static_cast<std::uint32_t>(coords));
  for (int i = 0; i < 4; ++i) PutU16At(&b, 28 + 2 * static_cast<std::size_t>(i), pqrs[i]);
  b[36] = 1;  // pen width
  b[37] = 2;  // pen pattern
  PutU32At(&b, 40, static_cast<std::uint32_t>(-99500000));
  PutU32At(&b, 44, 40500000);
  PutU32At(&b, 48, colour);
  if (region) {
    PutU32At(&b, 52, 4);
    PutU32At(&b, 56, 5);
    PutU32At(&b, 60, 3);
  }
  std::memcpy(b.data() + fixed, name, name_len);
  PutU32At(&b, ring_offset, static_cast<std::uint32_t>(pts.size()));
  for (std::size_t i = 0; i < pts.size(); ++i) {
    PutU32At(&b, coords + 8 * i, static_cast<std::uint32_t>(pts[i].x));
    PutU32At(&b, coords + 8 * i + 4, static_cast<std::uint32_t>(pts[i].y));
  }
  return b;
}

// A grid index of one node holding one entry per record.
std::vector<std::uint8_t> GridIndex(const std::vector<std::uint64_t>& offsets,
                                    const std::vector<std::array<std::uint16_t, 4>>& cells) {
  const std::size_t node_size = 12 + offsets.size() * 16;
  std::vector<std::uint8_t> b(16 + node_size, 0);
  PutU16At(&b, 0, 1);
  PutU16At(&b, 2, static_cast<std::uint16_t>(node_size));
  b[4] = 8;  // payload size
  PutU16At(&b, 16, static_cast<std::uint16_t>(offsets.size()));
  // Node cells: everything the entries cover.
  PutU16At(&b, 20, 19000);
  PutU16At(&b, 22, 19000);
  PutU16At(&b, 24, 21000);
  PutU16At(&b, 26, 21000);
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    const std::size_t at = 28 + 16 * i;
    for (int k = 0; k < 4; ++k) PutU16At(&b, at + 2 * static_cast<std::size_t>(k), cells[i][k]);
    lumetra::PutU64(b.data() + at + 8, offsets[i]);
  }
  return b;
}

TEST_F(ReaderFileTest, OldFileWithGridIndexOpensAndIsSearched) {
  const std::string path = dir_.File("old.obj");
  // Region: -100 .. -99 degrees longitude, 40 .. 41 latitude, whose coarse
  // bounds p, q, r, s are 19500, 20000, 20000, 20500.
  const std::uint16_t region_pqrs[4] = {19500, 20000, 20000, 20500};
  const std::vector<lumetra::RecordPoint> square = {
      {-100000000, 40000000}, {-99000000, 40000000}, {-99000000, 41000000}, {-100000000, 41000000}};
  const std::vector<std::uint8_t> region = OldRecord(true, "OLDREGION", square, region_pqrs, 1);
  const std::uint16_t line_pqrs[4] = {19500, 20000, 20000, 20000};
  const std::vector<std::uint8_t> line =
      OldRecord(false, "OLDLINE", {{-100000000, 40000000}, {-99000000, 40000000}}, line_pqrs, 2);

  search_test::Fd fd(path);
  std::vector<std::uint8_t> header(536, 0);
  std::memcpy(header.data(), "Old file", 8);
  PutU32At(&header, 256, ObjectHeader::kMagicOld);
  PutU32At(&header, 268, static_cast<std::uint32_t>(region.size()));
  PutU32At(&header, 272, 4);
  PutU16At(&header, 276, 19501);  // a
  PutU16At(&header, 278, 19999);  // b
  PutU16At(&header, 280, 20001);  // c
  PutU16At(&header, 282, 20499);  // d
  PutU16At(&header, 284, 1);      // geographic
  PutU32At(&header, 288, 1);      // most rings
  PutU32At(&header, 296, 1);      // lines
  PutU32At(&header, 300, 1);      // regions
  fd.Append(header);
  const std::uint64_t region_at = fd.Append(region);
  const std::uint64_t line_at = fd.Append(line);
  QTreeBuilder names(err_);
  std::uint8_t key[8] = {'O', 'L', 'D', 'R', 'E', 'G', 'I', 'O'};
  std::uint8_t value[8];
  lumetra::PutU64(value, region_at);
  names.Add(key, value);
  const std::uint64_t name_root = names.Build(fd.get());
  ASSERT_NE(name_root, QTreeBuilder::kBuildFailed);
  const std::uint64_t grid_at = fd.Append(GridIndex(
      {region_at, line_at}, {{19500, 20000, 20000, 20500}, {19500, 20000, 20000, 20000}}));
  PutU32At(&header, 260, static_cast<std::uint32_t>(name_root));
  PutU32At(&header, 264, static_cast<std::uint32_t>(grid_at));
  fd.WriteAt(0, header);

  PolygonSearch reader(err_, path.c_str(), 1);
  ASSERT_TRUE(reader.ready()) << err_.detail();
  EXPECT_NE(dynamic_cast<QxySpatialIndex*>(reader.spatial_index()), nullptr);
  pipObjectFileInfoStruct info;
  lumetra::FillObjectFileInfo(reader.header(), &info);
  EXPECT_STREQ(info.header, "Old file");
  EXPECT_EQ(info.minX, (-30000 - 20000) * 2000);
  EXPECT_EQ(info.minY, 20000 * 2000);
  EXPECT_EQ(info.maxX, (-30000 - 19500) * 2000);
  EXPECT_EQ(info.maxY, 20500 * 2000);

  char name[64];
  PolySearchPointInPolygon search(reader, err_, -99500000, 40500000, 0);
  ASSERT_EQ(search.FindFirst(name, sizeof name), 1) << err_.detail();
  EXPECT_STREQ(name, "OLDREGION");
  PolygonObject* object = search.CurrentObject();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->Bounds(), (lumetra::Rect{-100000000, 40000000, -99000000, 41000000}));
  pipObjectInfoStruct oinfo;
  lumetra::FillObjectInfo(*object, &oinfo);
  EXPECT_EQ(oinfo.id, 9);
  EXPECT_EQ(oinfo.brushForeground, 4);
  EXPECT_EQ(search.FindNext(name, sizeof name), 0);  // the line is never inside

  PolygonObject* old_line = reader.FindObject(line_at);
  ASSERT_NE(old_line, nullptr);
  EXPECT_EQ(old_line->name(), "OLDLINE");
  EXPECT_EQ(old_line->point_count(), 2u);

  PolySearchPointInPolygon outside(reader, err_, -98000000, 40500000, 0);
  EXPECT_EQ(outside.FindFirst(name, sizeof name), 0);
}

}  // namespace
