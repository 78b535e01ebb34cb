// Shapefiles: the empty file's bytes, seeded round trips, hand-made
// records, counts a record cannot hold, write and allocation failures, and
// cross-checks with GDAL (byte-identical output to ogr2ogr's).
#include "lumetra/shapefile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/io_shapefile.h"
#include "support/io_tools.h"
#include "support/test_files.h"

namespace {

using lumetra_test::AppendBe32;
using lumetra_test::AppendLe32;
using lumetra_test::AppendLeDouble;
using lumetra_test::Bytes;
using lumetra_test::Copy;
using lumetra_test::ExpectFailureText;
using lumetra_test::ReadBe32;
using lumetra_test::ReadBytes;
using lumetra_test::ReadRings;
using lumetra_test::Ring;
using lumetra_test::ScopedTempDir;
using lumetra_test::ShpRawPolyContent;
using lumetra_test::WriteBytes;
using lumetra_test::WritePolyRings;

const double kEmptyBox[4] = {1e30, 1e30, -1e30, -1e30};

// Opens `base` and reads every record: the first non-zero result, or the
// failed open's -1.
int OpenAndReadAll(const std::string& base) {
  shpFile shape{};
  if (ShapeOpen(&shape, base.c_str()) != 0) return -1;
  int result = 0;
  for (int guard = 0; guard < 100000 && result == 0; ++guard) result = ShapeRead(&shape);
  ShapeClose(&shape);
  return result;
}

const std::vector<Ring> kSquareWithHole = {{0, 0, 0, 10, 10, 10, 10, 0, 0, 0},
                                           {2, 2, 4, 2, 4, 4, 2, 4, 2, 2}};
const std::vector<Ring> kTwoSquares = {{20, 20, 20, 25, 25, 25, 25, 20, 20, 20},
                                       {30, 30, 30, 31, 31, 31, 31, 30, 30, 30}};

// Writes base.shp/.shx of polygons of `rings`, then, when `point` is set, a point.
void WritePolygons(const std::string& base, const std::vector<std::vector<Ring>>& polygons,
                   const double* point = nullptr) {
  shpFile shape{};
  ASSERT_EQ(ShapeCreate(&shape, base.c_str()), 0);
  for (const auto& rings : polygons) ASSERT_EQ(WritePolyRings(&shape, rings, SHP_POLYGON), 0);
  if (point != nullptr) {
    ASSERT_EQ(ShapeWritePoint(&shape, point), 0);
  }
  ASSERT_EQ(ShapeClose(&shape), 0);
}

void WriteTwoPolygons(const std::string& base) {
  WritePolygons(base, {kSquareWithHole, kTwoSquares});
}

TEST(ShpLayout, EmptyFileIsJustTheHeaderInBothFiles) {
  ScopedTempDir dir;
  shpFile shape{};
  ASSERT_EQ(ShapeCreate(&shape, dir.File("e").c_str()), 0);
  EXPECT_EQ(shape.mode, 1);
  EXPECT_EQ(shape.nextRecord, 1);
  EXPECT_EQ(shape.shpLength, 50);
  EXPECT_EQ(shape.shxLength, 50);
  ASSERT_EQ(ShapeClose(&shape), 0);
  // Hand-computed: 00 00 27 0A at 0, length 50 = 0x32 at 24, E8 03 at 28,
  // type 0, then 1e30 = 46293E5939A08CEA and -1e30 little-endian.
  Bytes expected(100, 0);
  expected[2] = 0x27, expected[3] = 0x0A, expected[27] = 0x32, expected[28] = 0xE8,
  expected[29] = 0x03;
  const std::uint8_t plus[8] = {0xEA, 0x8C, 0xA0, 0x39, 0x59, 0x3E, 0x29, 0x46};
  for (int i = 0; i < 4; ++i) {
    std::memcpy(&expected[36 + 8 * static_cast<std::size_t>(i)], plus, 8);
    if (i >= 2) expected[36 + 8 * static_cast<std::size_t>(i) + 7] = 0xC6;
  }
  EXPECT_EQ(ReadBytes(dir.File("e.shp")), expected);
  EXPECT_EQ(ReadBytes(dir.File("e.shx")), expected);

  ASSERT_EQ(ShapeOpen(&shape, dir.File("e").c_str()), 0);
  EXPECT_EQ(shape.numRecords, 0);
  EXPECT_EQ(shape.shapeType, 0);
  EXPECT_EQ(shape.fileBox[0], 1e30);
  EXPECT_EQ(shape.box[3], -1e30);
  EXPECT_EQ(ShapeRead(&shape), 1);
  EXPECT_EQ(ShapeClose(&shape), 0);
}

void BoxOf(const std::vector<Ring>& rings, double* box) {
  std::copy(kEmptyBox, kEmptyBox + 4, box);
  for (const Ring& ring : rings) {
    for (std::size_t i = 0; i + 1 < ring.size(); i += 2) {
      box[0] = std::min(box[0], ring[i]);
      box[1] = std::min(box[1], ring[i + 1]);
      box[2] = std::max(box[2], ring[i]);
      box[3] = std::max(box[3], ring[i + 1]);
    }
  }
}

// Random points, lines and polygons: the index and the record lengths agree
// with the main file, and every record, box and the file box read back.
TEST(ShpRoundTrip, RandomPointsLinesAndPolygonsReadBack) {
  const unsigned kSeed = 7771;
  std::printf("ShpRoundTrip seed %u\n", kSeed);
  std::mt19937 rng(kSeed);
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  struct Record {
    int type;
    std::vector<Ring> rings;  // a point is one ring of one point
  };
  std::vector<Record> records(400);
  ScopedTempDir dir;
  shpFile out{};
  ASSERT_EQ(ShapeCreate(&out, dir.File("rt").c_str()), 0);
  double file_box[4];
  BoxOf({}, file_box);
  for (Record& record : records) {
    const int kind = uniform(0, 2);
    record.type = kind == 0 ? SHP_POINT : kind == 1 ? SHP_POLYLINE : SHP_POLYGON;
    const int parts = record.type == SHP_POINT ? 1 : uniform(0, 5);  // a poly may have no parts
    for (int p = 0; p < parts; ++p) {
      Ring ring;
      const int n = record.type == SHP_POINT ? 1 : uniform(1, 40);
      for (int i = 0; i < 2 * n; ++i) ring.push_back(uniform(-18000000, 18000000) / 100000.0);
      record.rings.push_back(ring);
    }
    if (record.type == SHP_POINT) {
      ASSERT_EQ(ShapeWritePoint(&out, record.rings[0].data()), 0);
    } else {
      ASSERT_EQ(WritePolyRings(&out, record.rings, record.type), 0);
    }
    double box[4];
    BoxOf(record.rings, box);
    file_box[0] = std::min(file_box[0], box[0]);
    file_box[1] = std::min(file_box[1], box[1]);
    file_box[2] = std::max(file_box[2], box[2]);
    file_box[3] = std::max(file_box[3], box[3]);
  }
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out.box[i], file_box[i]);
  const int last_type = out.shapeType;
  ASSERT_EQ(ShapeClose(&out), 0);

  const Bytes shp = ReadBytes(dir.File("rt.shp"));
  const Bytes shx = ReadBytes(dir.File("rt.shx"));
  EXPECT_EQ(ReadBe32(shp, 24) * 2, shp.size());
  ASSERT_EQ(shx.size(), 100 + 8 * records.size());
  EXPECT_EQ(ReadBe32(shx, 24) * 2, shx.size());
  std::size_t offset = 100;
  for (std::size_t r = 0; r < records.size(); ++r) {
    const std::size_t entry = 100 + 8 * r;
    EXPECT_EQ(ReadBe32(shx, entry) * 2, offset) << r;
    ASSERT_LE(offset + 8, shp.size());
    EXPECT_EQ(ReadBe32(shp, offset), r + 1) << r;  // record numbers from 1
    const std::uint32_t words = ReadBe32(shp, offset + 4);
    EXPECT_EQ(ReadBe32(shx, entry + 4), words) << r;
    std::size_t points = 0;
    for (const Ring& ring : records[r].rings) points += ring.size() / 2;
    const std::size_t content =
        records[r].type == SHP_POINT ? 20 : 44 + 4 * records[r].rings.size() + 16 * points;
    EXPECT_EQ(words * 2u, content) << r;
    offset += 8 + words * 2u;
  }
  EXPECT_EQ(offset, shp.size());

  shpFile in{};
  ASSERT_EQ(ShapeOpen(&in, dir.File("rt").c_str()), 0);
  EXPECT_EQ(in.numRecords, 400);
  EXPECT_EQ(in.shapeType, last_type);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(in.fileBox[i], file_box[i]);
  for (std::size_t r = 0; r < records.size(); ++r) {
    SCOPED_TRACE("record " + std::to_string(r));
    ASSERT_EQ(ShapeRead(&in), 0);
    const Record& record = records[r];
    ASSERT_EQ(in.shapeType, record.type);
    double box[4];
    BoxOf(record.rings, box);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(in.box[i], box[i]);
    if (record.type == SHP_POINT) {
      EXPECT_EQ(in.points[0], record.rings[0][0]);
      EXPECT_EQ(in.points[1], record.rings[0][1]);
    } else {
      EXPECT_EQ(ReadRings(in), record.rings);
    }
  }
  EXPECT_EQ(ShapeRead(&in), 1);
  EXPECT_EQ(ShapeRead(&in), 1);
  EXPECT_EQ(ShapeClose(&in), 0);
  EXPECT_EQ(Copy(in.points), nullptr);
}

// A hand-made file of `contents` opened as `shape`.
void OpenHandMade(const std::string& base, const std::vector<Bytes>& contents, int type,
                  shpFile* shape) {
  lumetra_test::ShapefileBytes file;
  for (const Bytes& content : contents) file.Add(content);
  file.Save(base, type);
  ASSERT_EQ(ShapeOpen(shape, base.c_str()), 0);
}

TEST(ShpCorruption, CountsTheRecordCannotHoldAreRefused) {
  Bytes multipoint = lumetra_test::ShpMultiPointContent({1, 2});
  multipoint[36] = 0xFF;  // 255 points
  const struct {
    const char* what;
    Bytes content;
    const char* expected;
  } rows[] = {
      {"parts beyond content", ShpRawPolyContent(1000, 1, {0}, {1, 1}),
       "ShapeRead: record 1: 1000 parts and 1 points need 4060 bytes, the record holds 64: Invalid "
       "argument\n"},
      {"negative points", ShpRawPolyContent(1, -1, {0}, {}),
       "ShapeRead: record 1: 1 parts and -1 points need 32 bytes, the record holds 48: Invalid "
       "argument\n"},
      {"falling part starts", ShpRawPolyContent(2, 2, {1, 0}, {1, 1, 2, 2}),
       "ShapeRead: record 1: part 1 starts at point 0 (previous 1, 2 points): Invalid argument\n"},
      {"start beyond points", ShpRawPolyContent(1, 1, {2}, {1, 1}),
       "ShapeRead: record 1: part 0 starts at point 2 (previous 0, 1 points): Invalid argument\n"},
      {"short poly", Bytes{5, 0, 0, 0, 0, 0, 0, 0},
       "ShapeRead: record 1: poly content of 8 bytes is shorter than 44: Invalid argument\n"},
      {"short point", Bytes{1, 0, 0, 0, 0, 0, 0, 0},
       "ShapeRead: record 1: point content of 8 bytes is shorter than 20: Invalid argument\n"},
      {"short multipoint", Bytes{8, 0, 0, 0},
       "ShapeRead: record 1: multipoint content of 4 bytes is shorter than 40: Invalid argument\n"},
      {"multipoint beyond content", multipoint,
       "ShapeRead: record 1: 255 points need 4120 bytes, the record holds 56: Invalid argument\n"},
  };
  ScopedTempDir dir;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    shpFile shape{};
    OpenHandMade(dir.File("c"), {row.content}, SHP_POLYGON, &shape);
    ExpectFailureText([&] { return ShapeRead(&shape); }, row.expected);
    ShapeClose(&shape);
  }
}

// Each row: the write that fails (counted from the start of the step) and
// what is printed.  Every failed step leaves nothing open.
TEST(ShpFailure, EveryWriteFailureIsReported) {
  lumetra_test::FaultInjection faults;
  ScopedTempDir dir;
  const double xy[2] = {1, 2};
  enum Step { kCreate, kWritePoint, kClose };
  const struct {
    Step step;
    long writes_before_failure;
    const char* expected;
  } rows[] = {
      {kCreate, 0, "ShapeCreate::fwrite (shp): Input/output error\n"},
      {kCreate, 1, "ShapeCreate::fwrite (shx): Input/output error\n"},
      {kWritePoint, 0, "IndexWriteBlob: Input/output error\n"},
      {kWritePoint, 1, "ShapeWriteBlob: Input/output error\n"},  // record header
      {kWritePoint, 2, "ShapeWriteBlob: Input/output error\n"},  // content
      {kClose, 0,
       "Reset Shape Main Hdr: Input/output error\nReset Indx Main Hdr: Input/output error\n"},
      {kClose, 1, "Reset Indx Main Hdr: Input/output error\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.expected);
    lumetra::shapefile::FailWritesAfterForTest(-1);
    shpFile shape{};
    if (row.step != kCreate) {
      ASSERT_EQ(ShapeCreate(&shape, dir.File("f").c_str()), 0);
    }
    if (row.step == kClose) {
      ASSERT_EQ(ShapeWritePoint(&shape, xy), 0);
    }
    lumetra::shapefile::FailWritesAfterForTest(row.writes_before_failure);
    ExpectFailureText(
        [&] {
          return row.step == kCreate       ? ShapeCreate(&shape, dir.File("f").c_str())
                 : row.step == kWritePoint ? ShapeWritePoint(&shape, xy)
                                           : ShapeClose(&shape);
        },
        row.expected);
    lumetra::shapefile::FailWritesAfterForTest(-1);
    if (row.step == kWritePoint) {
      EXPECT_EQ(ShapeClose(&shape), 0);
    }
    EXPECT_EQ(Copy(shape.shp), nullptr);
    EXPECT_EQ(Copy(shape.recordData), nullptr);
  }
}

// Growing a buffer that cannot be allocated is reported like any other
// failure and the caller's process goes on.
TEST(ShpFailure, AllocationFailuresAreReportedNotFatal) {
  lumetra_test::FaultInjection faults;
  ScopedTempDir dir;
  lumetra_test::ShapefileBytes file;
  file.Add(ShpRawPolyContent(1, 100, {0}, std::vector<double>(200, 2.0)));    // 1,648 bytes
  file.Add(ShpRawPolyContent(1, 1100, {0}, std::vector<double>(2200, 1.0)));  // 17,648 bytes
  file.Add(ShpRawPolyContent(300, 0, std::vector<int>(300, 0), {}));          // 300 empty parts
  file.Save(dir.File("a"), SHP_POLYGON);
  auto limit = lumetra::shapefile::SetAllocationLimitForTest;
  shpFile shape{};
  // Each row: records read without a limit, then the limit and the text of
  // the next read (or of the open, for -1 records).
  const struct {
    int records_first;
    std::size_t limit;
    const char* expected;
  } rows[] = {
      {-1, 1000, "shpOpen::_MALLOC: Cannot allocate memory\n"},  // the 16,384-byte point array
      {0, 1000, "BlobMalloc: Cannot allocate memory\n"},
      {1, 20000, "PointSet: Cannot allocate memory\n"},   // record fits, 2,048 points do not
      {2, 1000, "PartMalloc: Cannot allocate memory\n"},  // 301 part starts need 1,204 bytes
      {2, 2000, "ProcPoly: Cannot allocate memory\n"},    // 300 part entries need 3,600 bytes
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.expected);
    limit(SIZE_MAX);
    if (row.records_first < 0) {
      limit(row.limit);
      ExpectFailureText([&] { return ShapeOpen(&shape, dir.File("a").c_str()); }, row.expected);
      continue;
    }
    ASSERT_EQ(ShapeOpen(&shape, dir.File("a").c_str()), 0);
    for (int i = 0; i < row.records_first; ++i) ASSERT_EQ(ShapeRead(&shape), 0);
    limit(row.limit);
    ExpectFailureText([&] { return ShapeRead(&shape); }, row.expected);
    ShapeClose(&shape);
  }

  limit(500);
  ExpectFailureText([&] { return ShapeCreate(&shape, dir.File("w").c_str()); },
                    "BlobMalloc: Cannot allocate memory\n");
  limit(SIZE_MAX);
  ASSERT_EQ(ShapeCreate(&shape, dir.File("w").c_str()), 0);
  limit(1200);
  ExpectFailureText([&] { return WritePolyRings(&shape, {Ring(200, 1.0)}, SHP_POLYLINE); },
                    "BlobMalloc: Cannot allocate memory\n");
  limit(SIZE_MAX);
  ASSERT_EQ(WritePolyRings(&shape, {Ring(200, 1.0)}, SHP_POLYLINE), 0);  // record buffer 1,644+
  limit(700);
  ExpectFailureText([&] { return WritePolyRings(&shape, std::vector<Ring>(200), SHP_POLYLINE); },
                    "PartMalloc: Cannot allocate memory\n");
  limit(SIZE_MAX);
  EXPECT_EQ(ShapeClose(&shape), 0);
  EXPECT_EQ(OpenAndReadAll(dir.File("w")), 1);
}

// ---- Cross-checks with other implementations (skipped without the tools) --

const char kTwoPolygonsGeoJson[] =
    R"({"type":"FeatureCollection","features":[
{"type":"Feature","properties":{"NAME":"square","VAL":1.5},"geometry":{"type":"Polygon","coordinates":
[[[0,0],[0,10],[10,10],[10,0],[0,0]],[[2,2],[4,2],[4,4],[2,4],[2,2]]]}},
{"type":"Feature","properties":{"NAME":"two","VAL":-3},"geometry":{"type":"MultiPolygon","coordinates":
[[[[20,20],[20,25],[25,25],[25,20],[20,20]]],[[[30,30],[30,31],[31,31],[31,30],[30,30]]]]}}]})";

// Converts dir/input to the shapefile dir/name with ogr2ogr (and `options`).
void Ogr2ogr(const ScopedTempDir& dir, const std::string& name, const std::string& input,
             const std::string& options = "") {
  lumetra_test::RunTool("ogr2ogr -q -f \"ESRI Shapefile\" " + dir.File(name) + " " +
                        dir.File(input) + " " + options + " 2>&1");
}

TEST(ShpOracle, Ogr2ogrWritesTheSameBytesAndWeReadThem) {
  if (!lumetra_test::HaveTool("ogr2ogr")) GTEST_SKIP() << "ogr2ogr (gdal-bin) is not installed";
  ScopedTempDir dir;
  lumetra_test::WriteText(dir.File("in.geojson"), kTwoPolygonsGeoJson);
  Ogr2ogr(dir, "gdal.shp", "in.geojson");
  WriteTwoPolygons(dir.File("ours"));
  EXPECT_EQ(ReadBytes(dir.File("gdal.shp")), ReadBytes(dir.File("ours.shp")));
  EXPECT_EQ(ReadBytes(dir.File("gdal.shx")), ReadBytes(dir.File("ours.shx")));

  shpFile shape{};
  ASSERT_EQ(ShapeOpen(&shape, dir.File("gdal").c_str()), 0);
  EXPECT_EQ(shape.numRecords, 2);
  EXPECT_EQ(shape.shapeType, SHP_POLYGON);
  ASSERT_EQ(ShapeRead(&shape), 0);
  EXPECT_EQ(ReadRings(shape), kSquareWithHole);
  ASSERT_EQ(ShapeRead(&shape), 0);
  EXPECT_EQ(ReadRings(shape), kTwoSquares);
  EXPECT_EQ(ShapeRead(&shape), 1);
  ShapeClose(&shape);
}

TEST(ShpOracle, OgrinfoReadsOurShapefileWithItsTable) {
  if (!lumetra_test::HaveTool("ogrinfo")) GTEST_SKIP() << "ogrinfo (gdal-bin) is not installed";
  ScopedTempDir dir;
  WriteTwoPolygons(dir.File("ours"));
  lumetra_test::WriteDbf(
      dir.File("ours"),
      {lumetra_test::DbfField("NAME", 'C', 10), lumetra_test::DbfField("VAL", 'N', 8, 2)},
      {{"square", "1.5"}, {"two", "-3"}});
  const std::string info =
      lumetra_test::RunTool("ogrinfo -q -al " + dir.File("ours.shp") + " 2>&1");
  EXPECT_NE(info.find("OGRFeature(ours):0\n  NAME (String) = square\n  VAL (Real) = 1.50\n"
                      "  POLYGON ((0 0,0 10,10 10,10 0,0 0),(2 2,4 2,4 4,2 4,2 2))\n"),
            std::string::npos)
      << info;
  EXPECT_NE(
      info.find(
          "OGRFeature(ours):1\n  NAME (String) = two\n  VAL (Real) = -3.00\n"
          "  MULTIPOLYGON (((20 20,20 25,25 25,25 20,20 20)),((30 30,30 31,31 31,31 30,30 30)))\n"),
      std::string::npos)
      << info;
}

}  // namespace
