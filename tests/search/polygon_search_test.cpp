// The object file reader: loaded objects, refused record positions, the
// extension block, and old files with a grid index.
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
#include "storage/qtree.h"
#include "storage/qxy_spatial_index.h"
#include "storage/rt_spatial_index.h"
#include "support/object_file_codec.h"
#include "support/test_files.h"

namespace {

using lumetra::ObjectHeader;
using test_objects::Box;
using test_objects::Line;
using test_objects::Point;
using test_objects::Region;
using test_objects::TestObject;

class ReaderFileTest : public test_objects::WrittenFilesTest {
 protected:
  std::vector<TestObject> FiveBoxes() const {
    std::vector<TestObject> v;
    for (int i = 0; i < 5; ++i) {
      v.push_back(Region("BOX" + std::to_string(i), {Box(i * 100, 0, i * 100 + 50, 50)}));
    }
    return v;
  }

  QError err_;
};

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

  test_objects::Fd fd(path);
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

}  // namespace
