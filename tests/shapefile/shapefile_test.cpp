// Shapefiles: byte layout of both files, round trips, hand-made records,
// corruption and failure texts, and cross-checks with shapelib's and GDAL's
// tools.
#include "lumetra/shapefile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "lumetra/dbf.h"
#include "shapefile/stdio_support.h"
#include "support/test_files.h"

namespace {

using lumetra_test::ReadBytes;
using lumetra_test::ScopedTempDir;
using lumetra_test::WriteBytes;
using lumetra_test::WriteText;
using Bytes = std::vector<std::uint8_t>;
using Ring = std::vector<double>;  // x, y pairs

// Test-side encoders, written independently of the library's.
void Be32(Bytes* b, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b->push_back(static_cast<std::uint8_t>(v >> shift));
}
void Le32(Bytes* b, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) b->push_back(static_cast<std::uint8_t>(v >> shift));
}
void LeDouble(Bytes* b, double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, 8);
  for (int shift = 0; shift < 64; shift += 8)
    b->push_back(static_cast<std::uint8_t>(bits >> shift));
}
std::uint32_t ReadBe32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) << 24 | static_cast<std::uint32_t>(b[at + 1]) << 16 |
         static_cast<std::uint32_t>(b[at + 2]) << 8 | b[at + 3];
}

// A main header as the published format lays it out.
Bytes MainHeader(std::uint32_t length_words, int type, const double* box) {
  Bytes b;
  Be32(&b, 9994);
  for (int i = 0; i < 5; ++i) Be32(&b, 0);
  Be32(&b, length_words);
  Le32(&b, 1000);
  Le32(&b, static_cast<std::uint32_t>(type));
  for (int i = 0; i < 4; ++i) LeDouble(&b, box[i]);
  b.resize(100, 0);
  return b;
}

const double kEmptyBox[4] = {1e30, 1e30, -1e30, -1e30};

template <typename Call>
std::string StderrOf(Call call) {
  testing::internal::CaptureStderr();
  call();
  return testing::internal::GetCapturedStderr();
}

// The public structures are packed: their pointer members may be
// misaligned, so tests compare copies instead of binding references to them.
template <typename T>
T Copy(T value) {
  return value;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Lifts the test limits on allocations and writes when it goes away.
struct FaultInjection {
  ~FaultInjection() {
    lumetra::shapefile::SetAllocationLimitForTest(SIZE_MAX);
    lumetra::shapefile::FailWritesAfterForTest(-1);
  }
};

int WritePolyRings(shpFile* shape, const std::vector<Ring>& rings, int type) {
  std::vector<shpPart> parts;
  for (const Ring& ring : rings) {
    parts.push_back(shpPart{static_cast<int>(ring.size() / 2), const_cast<double*>(ring.data())});
  }
  const shpPartList list{static_cast<int>(parts.size()), parts.data()};
  return ShapeWritePoly(shape, &list, type);
}

// The poly read last, as rings.
std::vector<Ring> ReadRings(const shpFile& shape) {
  std::vector<Ring> rings;
  for (int i = 0; i < shape.numParts; ++i) {
    const double* points = shape.parts[i].points;
    rings.emplace_back(points, points + 2 * shape.parts[i].numPoints);
  }
  return rings;
}

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

void WriteTwoPolygons(const std::string& base) {
  shpFile shape{};
  ASSERT_EQ(ShapeCreate(&shape, base.c_str()), 0);
  ASSERT_EQ(WritePolyRings(&shape, kSquareWithHole, SHP_POLYGON), 0);
  ASSERT_EQ(WritePolyRings(&shape, kTwoSquares, SHP_POLYGON), 0);
  ASSERT_EQ(ShapeClose(&shape), 0);
}

// The file the corruption tests damage: a polygon with a hole and a point.
void WriteCorruptionSample(const std::string& base) {
  shpFile shape{};
  ASSERT_EQ(ShapeCreate(&shape, base.c_str()), 0);
  ASSERT_EQ(WritePolyRings(&shape, kSquareWithHole, SHP_POLYGON), 0);
  const double xy[2] = {3, 4};
  ASSERT_EQ(ShapeWritePoint(&shape, xy), 0);
  ASSERT_EQ(ShapeClose(&shape), 0);
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

TEST(ShpLayout, OnePointRecordBytes) {
  ScopedTempDir dir;
  shpFile shape{};
  ASSERT_EQ(ShapeCreate(&shape, dir.File("p").c_str()), 0);
  const double xy[2] = {1.5, -2.25};
  ASSERT_EQ(ShapeWritePoint(&shape, xy), 0);
  EXPECT_EQ(shape.shpLength, 64);
  EXPECT_EQ(shape.shxLength, 54);
  ASSERT_EQ(ShapeClose(&shape), 0);

  const Bytes shp = ReadBytes(dir.File("p.shp"));
  const Bytes shx = ReadBytes(dir.File("p.shx"));
  ASSERT_EQ(shp.size(), 128u);
  ASSERT_EQ(shx.size(), 108u);
  const std::uint8_t header_tail[] = {0x00, 0x00, 0x00, 0x40, 0xE8, 0x03, 0, 0, 0x01, 0, 0, 0};
  EXPECT_TRUE(std::equal(header_tail, header_tail + 12, shp.begin() + 24));
  const std::uint8_t box[] = {0, 0, 0, 0, 0, 0, 0xF8, 0x3F, 0, 0, 0, 0, 0, 0, 0x02, 0xC0,
                              0, 0, 0, 0, 0, 0, 0xF8, 0x3F, 0, 0, 0, 0, 0, 0, 0x02, 0xC0};
  EXPECT_TRUE(std::equal(box, box + 32, shp.begin() + 36));
  const std::uint8_t record[] = {0, 0, 0, 1, 0,    0,    0, 10, 1, 0, 0, 0, 0,    0,
                                 0, 0, 0, 0, 0xF8, 0x3F, 0, 0,  0, 0, 0, 0, 0x02, 0xC0};
  EXPECT_TRUE(std::equal(record, record + 28, shp.begin() + 100));
  EXPECT_EQ(ReadBe32(shx, 24), 54u);
  const std::uint8_t entry[] = {0, 0, 0, 50, 0, 0, 0, 10};
  EXPECT_TRUE(std::equal(entry, entry + 8, shx.begin() + 100));
  EXPECT_TRUE(std::equal(shp.begin() + 28, shp.begin() + 100, shx.begin() + 28));
}

TEST(ShpLayout, FivePointRingIs64WordsOfContent) {
  ScopedTempDir dir;
  shpFile shape{};
  ASSERT_EQ(ShapeCreate(&shape, dir.File("r").c_str()), 0);
  const Ring ring = {0, 0, 0, 4, 3, 4, 3, 0, 0, 0};
  ASSERT_EQ(WritePolyRings(&shape, {ring}, SHP_POLYGON), 0);
  ASSERT_EQ(ShapeClose(&shape), 0);
  const Bytes shp = ReadBytes(dir.File("r.shp"));
  ASSERT_EQ(shp.size(), 100u + 8u + 128u);
  const double box[4] = {0, 0, 3, 4};
  Bytes expected = MainHeader(50 + 4 + 64, SHP_POLYGON, box);
  Be32(&expected, 1);
  Be32(&expected, 64);
  Le32(&expected, 5);
  for (double v : box) LeDouble(&expected, v);
  Le32(&expected, 1);
  Le32(&expected, 5);
  Le32(&expected, 0);
  for (double v : ring) LeDouble(&expected, v);
  EXPECT_EQ(shp, expected);
  Bytes shx_expected = MainHeader(54, SHP_POLYGON, box);
  Be32(&shx_expected, 50);
  Be32(&shx_expected, 64);
  EXPECT_EQ(ReadBytes(dir.File("r.shx")), shx_expected);
}

TEST(ShpLayout, PolyLayoutIsWrittenWhateverTypeIsPassed) {
  ScopedTempDir dir;
  shpFile shape{};
  ASSERT_EQ(ShapeCreate(&shape, dir.File("t").c_str()), 0);
  ASSERT_EQ(WritePolyRings(&shape, {{1, 2, 3, 4}}, SHP_POINT), 0);
  EXPECT_EQ(shape.shapeType, SHP_POINT);
  ASSERT_EQ(WritePolyRings(&shape, {}, SHP_POLYLINE), 0);  // no parts: empty box
  ASSERT_EQ(ShapeClose(&shape), 0);
  const Bytes shp = ReadBytes(dir.File("t.shp"));
  ASSERT_EQ(shp.size(), 100u + 8u + 44u + 4u + 32u + 8u + 44u);
  EXPECT_EQ(ReadBe32(shp, 104), (44u + 4u + 32u) / 2);
  EXPECT_EQ(shp[108], 1);            // the type passed, with the poly layout
  EXPECT_EQ(shp[32], SHP_POLYLINE);  // the header takes the last type written
  Bytes empty;
  for (double v : kEmptyBox) LeDouble(&empty, v);
  EXPECT_TRUE(std::equal(empty.begin(), empty.end(), shp.begin() + 100 + 8 + 80 + 8 + 4));
  const double box[4] = {1, 2, 3, 4};  // the empty record leaves the running box alone
  Bytes header_box;
  for (double v : box) LeDouble(&header_box, v);
  EXPECT_TRUE(std::equal(header_box.begin(), header_box.end(), shp.begin() + 36));
}

struct Record {
  int type;
  std::vector<Ring> rings;  // a point is one ring of one point
};

std::vector<Record> RandomRecords(unsigned seed, int count) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> kind(0, 2), parts(1, 5), points(1, 40);
  std::uniform_int_distribution<int> coordinate(-18000000, 18000000);
  std::vector<Record> records;
  for (int r = 0; r < count; ++r) {
    const int k = kind(rng);
    Record record{k == 0 ? SHP_POINT : k == 1 ? SHP_POLYLINE : SHP_POLYGON, {}};
    const int num_parts = record.type == SHP_POINT ? 1 : parts(rng);
    for (int p = 0; p < num_parts; ++p) {
      Ring ring;
      const int n = record.type == SHP_POINT ? 1 : points(rng);
      for (int i = 0; i < 2 * n; ++i) ring.push_back(coordinate(rng) / 100000.0);
      record.rings.push_back(ring);
    }
    records.push_back(record);
  }
  return records;
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

TEST(ShpRoundTrip, RandomPointsLinesAndPolygonsReadBack) {
  const unsigned kSeed = 7771;
  SCOPED_TRACE("seed " + std::to_string(kSeed));
  const std::vector<Record> records = RandomRecords(kSeed, 400);
  ScopedTempDir dir;
  shpFile out{};
  ASSERT_EQ(ShapeCreate(&out, dir.File("rt").c_str()), 0);
  double file_box[4];
  std::copy(kEmptyBox, kEmptyBox + 4, file_box);
  for (const Record& record : records) {
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

  shpFile in{};
  ASSERT_EQ(ShapeOpen(&in, dir.File("rt").c_str()), 0);
  EXPECT_EQ(in.numRecords, 400);
  EXPECT_EQ(in.shapeType, last_type);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(in.fileBox[i], file_box[i]);
  for (std::size_t r = 0; r < records.size(); ++r) {
    ASSERT_EQ(ShapeRead(&in), 0) << "record " << r;
    const Record& record = records[r];
    ASSERT_EQ(in.shapeType, record.type) << "record " << r;
    double box[4];
    BoxOf(record.rings, box);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(in.box[i], box[i]) << "record " << r;
    if (record.type == SHP_POINT) {
      EXPECT_EQ(in.points[0], record.rings[0][0]);
      EXPECT_EQ(in.points[1], record.rings[0][1]);
    } else {
      EXPECT_EQ(ReadRings(in), record.rings) << "record " << r;
    }
  }
  EXPECT_EQ(ShapeRead(&in), 1);
  EXPECT_EQ(ShapeRead(&in), 1);
  EXPECT_EQ(ShapeClose(&in), 0);
  EXPECT_EQ(Copy(in.points), nullptr);
}

TEST(ShpRoundTrip, IndexAndLengthsAgreeWithTheMainFile) {
  const std::vector<Record> records = RandomRecords(99, 60);
  ScopedTempDir dir;
  shpFile out{};
  ASSERT_EQ(ShapeCreate(&out, dir.File("ix").c_str()), 0);
  for (const Record& record : records) {
    if (record.type == SHP_POINT) {
      ASSERT_EQ(ShapeWritePoint(&out, record.rings[0].data()), 0);
    } else {
      ASSERT_EQ(WritePolyRings(&out, record.rings, record.type), 0);
    }
  }
  ASSERT_EQ(ShapeClose(&out), 0);
  const Bytes shp = ReadBytes(dir.File("ix.shp"));
  const Bytes shx = ReadBytes(dir.File("ix.shx"));
  EXPECT_EQ(ReadBe32(shp, 24) * 2, shp.size());
  EXPECT_EQ(ReadBe32(shx, 24) * 2, shx.size());
  ASSERT_EQ(shx.size(), 100 + 8 * records.size());
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
}

TEST(ShpRoundTrip, LargePolygonGrowsEveryBuffer) {
  ScopedTempDir dir;
  std::vector<Ring> rings(300);
  for (std::size_t p = 0; p < rings.size(); ++p) {
    for (int i = 0; i < 200; ++i) {
      rings[p].push_back(static_cast<double>(p) + i * 0.001);
      rings[p].push_back(-static_cast<double>(i));
    }
  }
  shpFile out{};
  ASSERT_EQ(ShapeCreate(&out, dir.File("big").c_str()), 0);
  ASSERT_EQ(WritePolyRings(&out, rings, SHP_POLYLINE), 0);
  ASSERT_EQ(ShapeClose(&out), 0);
  shpFile in{};
  ASSERT_EQ(ShapeOpen(&in, dir.File("big").c_str()), 0);
  ASSERT_EQ(ShapeRead(&in), 0);
  EXPECT_EQ(in.numParts, 300);
  EXPECT_GE(in.pointCapacity, 60000);
  EXPECT_EQ(in.partStartCount, 301);
  EXPECT_EQ(in.recordSize, 44u + 4u * 300u + 16u * 60000u);
  EXPECT_EQ(ReadRings(in), rings);
  EXPECT_EQ(ShapeClose(&in), 0);
}

// Hand-made files: records our writer does not produce.
struct HandFile {
  Bytes shp_records, shx_records;
  int next = 1;

  void Add(const Bytes& content) {
    Be32(&shx_records, static_cast<std::uint32_t>((100 + shp_records.size()) / 2));
    Be32(&shx_records, static_cast<std::uint32_t>(content.size() / 2));
    Be32(&shp_records, static_cast<std::uint32_t>(next++));
    Be32(&shp_records, static_cast<std::uint32_t>(content.size() / 2));
    shp_records.insert(shp_records.end(), content.begin(), content.end());
  }
  void Save(const std::string& base, int type) const {
    const double box[4] = {0, 0, 1, 1};
    Bytes shp = MainHeader(static_cast<std::uint32_t>((100 + shp_records.size()) / 2), type, box);
    shp.insert(shp.end(), shp_records.begin(), shp_records.end());
    Bytes shx = MainHeader(static_cast<std::uint32_t>((100 + shx_records.size()) / 2), type, box);
    shx.insert(shx.end(), shx_records.begin(), shx_records.end());
    WriteBytes(base + ".shp", shp);
    WriteBytes(base + ".shx", shx);
  }
};

Bytes PointContent(double x, double y) {
  Bytes b;
  Le32(&b, 1);
  LeDouble(&b, x);
  LeDouble(&b, y);
  return b;
}

Bytes MultiPointContent(const std::vector<double>& xy) {
  Bytes b;
  Le32(&b, 8);
  double box[4];
  BoxOf({xy}, box);
  for (double v : box) LeDouble(&b, v);
  Le32(&b, static_cast<std::uint32_t>(xy.size() / 2));
  for (double v : xy) LeDouble(&b, v);
  return b;
}

Bytes WithByte(Bytes bytes, std::size_t offset, std::uint8_t value) {
  bytes[offset] = value;
  return bytes;
}

// A poly content with explicit counts and starts (which may lie).
Bytes PolyContent(int parts, int points, const std::vector<int>& starts,
                  const std::vector<double>& xy) {
  Bytes b;
  Le32(&b, 5);
  for (double v : {0.0, 0.0, 1.0, 1.0}) LeDouble(&b, v);
  Le32(&b, static_cast<std::uint32_t>(parts));
  Le32(&b, static_cast<std::uint32_t>(points));
  for (int s : starts) Le32(&b, static_cast<std::uint32_t>(s));
  for (double v : xy) LeDouble(&b, v);
  return b;
}

TEST(ShpRead, NullShapeChangesOnlyTheType) {
  ScopedTempDir dir;
  HandFile file;
  file.Add(PointContent(5, 6));
  Bytes null_shape;
  Le32(&null_shape, 0);
  file.Add(null_shape);
  file.Save(dir.File("n"), SHP_POINT);
  shpFile shape{};
  ASSERT_EQ(ShapeOpen(&shape, dir.File("n").c_str()), 0);
  EXPECT_EQ(shape.numRecords, 2);
  ASSERT_EQ(ShapeRead(&shape), 0);
  ASSERT_EQ(ShapeRead(&shape), 0);
  EXPECT_EQ(shape.shapeType, SHP_NULL);
  EXPECT_EQ(shape.points[0], 5);
  EXPECT_EQ(shape.points[1], 6);
  EXPECT_EQ(shape.box[0], 5);
  EXPECT_EQ(shape.box[3], 6);
  EXPECT_EQ(ShapeRead(&shape), 1);
  ShapeClose(&shape);
}

TEST(ShpRead, OtherShapeTypesSetOnlyTheType) {
  ScopedTempDir dir;
  HandFile file;
  Bytes point_z;
  Le32(&point_z, 11);
  for (double v : {1.0, 2.0, 3.0, 4.0}) LeDouble(&point_z, v);
  file.Add(point_z);
  file.Save(dir.File("z"), 11);
  shpFile shape{};
  ASSERT_EQ(ShapeOpen(&shape, dir.File("z").c_str()), 0);
  const double box_before = shape.box[0];
  ASSERT_EQ(ShapeRead(&shape), 0);
  EXPECT_EQ(shape.shapeType, 11);
  EXPECT_EQ(shape.box[0], box_before);
  ShapeClose(&shape);
}

TEST(ShpRead, MultipointsAreDecodedAndViewsSurviveGrowth) {
  ScopedTempDir dir;
  HandFile file;
  file.Add(PolyContent(2, 3, {0, 1}, {1, 1, 2, 2, 3, 3}));
  std::vector<double> many;
  for (int i = 0; i < 5000; ++i) {
    many.push_back(i);
    many.push_back(-i * 0.5);
  }
  file.Add(MultiPointContent(many));
  file.Add(PolyContent(1, 2, {0}, {7, 8, 9, 10}));
  file.Save(dir.File("mp"), SHP_MULTIPOINT);
  shpFile shape{};
  ASSERT_EQ(ShapeOpen(&shape, dir.File("mp").c_str()), 0);
  ASSERT_EQ(ShapeRead(&shape), 0);
  EXPECT_EQ(ReadRings(shape), (std::vector<Ring>{{1, 1}, {2, 2, 3, 3}}));
  ASSERT_EQ(ShapeRead(&shape), 0);
  EXPECT_EQ(shape.shapeType, SHP_MULTIPOINT);
  ASSERT_EQ(shape.numMultiPoints, 5000);
  EXPECT_EQ(std::vector<double>(shape.multiPoints, shape.multiPoints + 10000), many);
  EXPECT_EQ(shape.box[0], 0);
  EXPECT_EQ(shape.box[1], -2499.5);
  EXPECT_EQ(shape.box[2], 4999);
  // The part views of the previous record moved with the grown point array.
  for (int i = 0; i < shape.numParts; ++i) {
    EXPECT_GE(Copy(shape.parts[i].points), Copy(shape.points));
    EXPECT_LT(Copy(shape.parts[i].points), shape.points + 2 * shape.pointCapacity);
  }
  ASSERT_EQ(ShapeRead(&shape), 0);
  EXPECT_EQ(ReadRings(shape), (std::vector<Ring>{{7, 8, 9, 10}}));
  EXPECT_EQ(Copy(shape.multiPoints), Copy(shape.points));
  ShapeClose(&shape);
}

TEST(ShpCorruption, CountsTheRecordCannotHoldAreRefused) {
  const struct {
    const char* what;
    Bytes content;
    const char* expected;
  } rows[] = {
      {"parts beyond content", PolyContent(1000, 1, {0}, {1, 1}),
       "ShapeRead: record 1: 1000 parts and 1 points need 4060 bytes, the record holds 64: Invalid "
       "argument\n"},
      {"negative points", PolyContent(1, -1, {0}, {}),
       "ShapeRead: record 1: 1 parts and -1 points need 32 bytes, the record holds 48: Invalid "
       "argument\n"},
      {"falling part starts", PolyContent(2, 2, {1, 0}, {1, 1, 2, 2}),
       "ShapeRead: record 1: part 1 starts at point 0 (previous 1, 2 points): Invalid argument\n"},
      {"start beyond points", PolyContent(1, 1, {2}, {1, 1}),
       "ShapeRead: record 1: part 0 starts at point 2 (previous 0, 1 points): Invalid argument\n"},
      {"short poly", Bytes{5, 0, 0, 0, 0, 0, 0, 0},
       "ShapeRead: record 1: poly content of 8 bytes is shorter than 44: Invalid argument\n"},
      {"short point", Bytes{1, 0, 0, 0, 0, 0, 0, 0},
       "ShapeRead: record 1: point content of 8 bytes is shorter than 20: Invalid argument\n"},
      {"short multipoint", Bytes{8, 0, 0, 0},
       "ShapeRead: record 1: multipoint content of 4 bytes is shorter than 40: Invalid argument\n"},
      {"multipoint beyond content", WithByte(MultiPointContent({1, 2}), 36, 0xFF),  // 255 points
       "ShapeRead: record 1: 255 points need 4120 bytes, the record holds 56: Invalid argument\n"},
  };
  for (const auto& row : rows) {
    ScopedTempDir dir;
    HandFile file;
    file.Add(row.content);
    file.Save(dir.File("c"), SHP_POLYGON);
    shpFile shape{};
    ASSERT_EQ(ShapeOpen(&shape, dir.File("c").c_str()), 0) << row.what;
    int result = 0;
    EXPECT_EQ(StderrOf([&] { result = ShapeRead(&shape); }), row.expected) << row.what;
    EXPECT_EQ(result, -1) << row.what;
    ShapeClose(&shape);
  }
}

TEST(ShpCorruption, RecordLongerThanTheFileIsRefused) {
  ScopedTempDir dir;
  HandFile file;
  file.Add(PointContent(1, 2));
  file.shp_records[7] = 200;  // content length 200 words, 20 bytes present
  file.Save(dir.File("l"), SHP_POINT);
  shpFile shape{};
  ASSERT_EQ(ShapeOpen(&shape, dir.File("l").c_str()), 0);
  int result = 0;
  EXPECT_EQ(
      StderrOf([&] { result = ShapeRead(&shape); }),
      "ShapeRead: record 1: content of 200 words, 20 bytes left in the file: Invalid argument\n");
  EXPECT_EQ(result, -1);
  ShapeClose(&shape);

  // A few stray bytes after the last record: a partial record header.
  Bytes shp = ReadBytes(dir.File("l.shp"));
  shp[107] = 10;
  shp.insert(shp.end(), {0, 0, 0});
  WriteBytes(dir.File("l.shp"), shp);
  ASSERT_EQ(ShapeOpen(&shape, dir.File("l").c_str()), 0);
  EXPECT_EQ(ShapeRead(&shape), 0);
  EXPECT_EQ(StderrOf([&] { result = ShapeRead(&shape); }), "ShapeRead: No data available\n");
  EXPECT_EQ(result, -1);
  ShapeClose(&shape);
}

TEST(ShpCorruption, EveryTruncationIsRefusedWithItsText) {
  ScopedTempDir dir;
  WriteCorruptionSample(dir.File("full"));
  const Bytes shp = ReadBytes(dir.File("full.shp"));
  const Bytes shx = ReadBytes(dir.File("full.shx"));
  for (std::size_t length = 0; length < shp.size(); ++length) {
    WriteBytes(dir.File("cut.shp"), Bytes(shp.begin(), shp.begin() + static_cast<long>(length)));
    WriteBytes(dir.File("cut.shx"), shx);
    int result = 0;
    const std::string text = StderrOf([&] { result = OpenAndReadAll(dir.File("cut")); });
    EXPECT_EQ(result, -1) << ".shp length " << length;
    const std::string expected = length < 100
                                     ? "shpOpen::fread: No data available\n"
                                     : "shpOpen: " + dir.File("cut.shp") + ": declared length";
    EXPECT_TRUE(StartsWith(text, expected)) << ".shp length " << length << ": " << text;
  }
  for (std::size_t length = 0; length < shx.size(); ++length) {
    WriteBytes(dir.File("cut.shp"), shp);
    WriteBytes(dir.File("cut.shx"), Bytes(shx.begin(), shx.begin() + static_cast<long>(length)));
    int result = 0;
    const std::string text = StderrOf([&] { result = OpenAndReadAll(dir.File("cut")); });
    EXPECT_EQ(result, -1) << ".shx length " << length;
    const std::string expected = length < 100
                                     ? "shxOpen::fread: No data available\n"
                                     : "shxOpen: " + dir.File("cut.shx") + ": declared length";
    EXPECT_TRUE(StartsWith(text, expected)) << ".shx length " << length << ": " << text;
  }
}

TEST(ShpCorruption, ByteFlipsNeverCrashAndStructuralOnesAreRefused) {
  ScopedTempDir dir;
  WriteCorruptionSample(dir.File("full"));
  const Bytes shp = ReadBytes(dir.File("full.shp"));
  const Bytes shx = ReadBytes(dir.File("full.shx"));
  // file code, length (high byte), first record's content length (high
  // byte), its part count and point count (high bytes).
  const std::size_t refused[] = {0, 3, 24, 104, 108 + 39, 108 + 43};
  for (std::size_t offset = 0; offset < shp.size(); ++offset) {
    Bytes flipped = shp;
    flipped[offset] ^= 0xFF;
    WriteBytes(dir.File("flip.shp"), flipped);
    WriteBytes(dir.File("flip.shx"), shx);
    int result = 0;
    StderrOf([&] { result = OpenAndReadAll(dir.File("flip")); });
    EXPECT_TRUE(result == -1 || result == 1) << ".shp offset " << offset;
    if (std::find(std::begin(refused), std::end(refused), offset) != std::end(refused)) {
      EXPECT_EQ(result, -1) << ".shp offset " << offset;
    }
  }
  for (std::size_t offset = 0; offset < shx.size(); ++offset) {
    Bytes flipped = shx;
    flipped[offset] ^= 0xFF;
    WriteBytes(dir.File("flip.shp"), shp);
    WriteBytes(dir.File("flip.shx"), flipped);
    int result = 0;
    StderrOf([&] { result = OpenAndReadAll(dir.File("flip")); });
    EXPECT_TRUE(result == -1 || result == 1) << ".shx offset " << offset;
    if (offset == 0 || offset == 3 || offset == 24) {
      EXPECT_EQ(result, -1) << ".shx offset " << offset;
    }
  }
}

TEST(ShpFailure, OpenTexts) {
  ScopedTempDir dir;
  shpFile shape{};
  int result = 0;
  const std::string base = dir.File("none");
  EXPECT_EQ(StderrOf([&] { result = ShapeOpen(&shape, base.c_str()); }),
            base + ".shp: No such file or directory\n");
  EXPECT_EQ(result, -1);
  WriteTwoPolygons(dir.File("only"));
  std::remove(dir.File("only.shx").c_str());
  EXPECT_EQ(StderrOf([&] { result = ShapeOpen(&shape, dir.File("only").c_str()); }),
            dir.File("only.shx") + ": No such file or directory\n");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(Copy(shape.shp), nullptr);  // nothing left open
  EXPECT_EQ(Copy(shape.points), nullptr);
  EXPECT_EQ(ShapeClose(&shape), 0);

  Bytes bad = MainHeader(50, 5, kEmptyBox);
  bad[3] = 0x0B;  // file code 9995
  WriteBytes(dir.File("bad.shp"), bad);
  EXPECT_EQ(StderrOf([&] { result = ShapeOpen(&shape, dir.File("bad").c_str()); }),
            "shpOpen: " + dir.File("bad.shp") + ": file code 9995 is not 9994: Invalid argument\n");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(StderrOf([&] { result = ShapeOpen(nullptr, "x"); }), "shpOpen: Invalid argument\n");
  EXPECT_EQ(StderrOf([&] { result = ShapeRead(nullptr); }), "ShapeRead: Invalid argument\n");
  EXPECT_EQ(StderrOf([&] { result = ShapeRead(&shape); }), "ShapeRead: Bad file descriptor\n");
  EXPECT_EQ(StderrOf([&] { result = ShapeClose(nullptr); }), "ShapeClose: Invalid argument\n");
  EXPECT_EQ(result, -1);
}

TEST(ShpFailure, WriterArgumentTexts) {
  ScopedTempDir dir;
  WriteTwoPolygons(dir.File("r"));
  shpFile shape{};
  ASSERT_EQ(ShapeOpen(&shape, dir.File("r").c_str()), 0);
  const double xy[2] = {1, 2};
  int result = 0;
  EXPECT_EQ(StderrOf([&] { result = ShapeWritePoint(&shape, xy); }),
            "ShapeWritePoint: Bad file descriptor\n");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(StderrOf([&] { result = ShapeWritePoint(&shape, nullptr); }),
            "ShapeWritePoint: Invalid argument\n");
  ShapeClose(&shape);

  ASSERT_EQ(ShapeCreate(&shape, dir.File("w").c_str()), 0);
  EXPECT_EQ(StderrOf([&] { result = ShapeRead(&shape); }), "ShapeRead: Bad file descriptor\n");
  EXPECT_EQ(StderrOf([&] { result = ShapeWritePoly(&shape, nullptr, 5); }),
            "ShapeWritePoly: Invalid argument\n");
  const shpPartList negative{-1, nullptr};
  EXPECT_TRUE(StartsWith(StderrOf([&] { result = ShapeWritePoly(&shape, &negative, 5); }),
                         "ShapeWritePoly: -1 parts at "));
  EXPECT_EQ(result, -1);
  shpPart part{-3, nullptr};
  const shpPartList bad_part{1, &part};
  EXPECT_TRUE(StartsWith(StderrOf([&] { result = ShapeWritePoly(&shape, &bad_part, 5); }),
                         "ShapeWritePoly: part 0: -3 points at "));
  EXPECT_EQ(result, -1);
  EXPECT_EQ(shape.nextRecord, 1);  // nothing was written
  EXPECT_EQ(ShapeClose(&shape), 0);
  EXPECT_EQ(ReadBytes(dir.File("w.shp")).size(), 100u);

  const std::string missing = dir.File("no/dir/x");
  EXPECT_EQ(StderrOf([&] { result = ShapeCreate(&shape, missing.c_str()); }),
            missing + ".shp: No such file or directory\n");
  EXPECT_EQ(result, -1);
}

TEST(ShpFailure, EveryWriteFailureIsReported) {
  FaultInjection faults;
  ScopedTempDir dir;
  const double xy[2] = {1, 2};
  const struct {
    long writes_before_failure;  // after ShapeCreate's two header writes
    const char* expected;
  } create_rows[] = {
      {0, "ShapeCreate::fwrite (shp): Input/output error\n"},
      {1, "ShapeCreate::fwrite (shx): Input/output error\n"},
  };
  for (const auto& row : create_rows) {
    shpFile shape{};
    lumetra::shapefile::FailWritesAfterForTest(row.writes_before_failure);
    int result = 0;
    EXPECT_EQ(StderrOf([&] { result = ShapeCreate(&shape, dir.File("f").c_str()); }), row.expected);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(Copy(shape.shp), nullptr);
  }
  const struct {
    long writes_before_failure;
    const char* expected;
  } point_rows[] = {
      {0, "IndexWriteBlob: Input/output error\n"},
      {1, "ShapeWriteBlob: Input/output error\n"},  // record header
      {2, "ShapeWriteBlob: Input/output error\n"},  // content
  };
  for (const auto& row : point_rows) {
    lumetra::shapefile::FailWritesAfterForTest(-1);
    shpFile shape{};
    ASSERT_EQ(ShapeCreate(&shape, dir.File("f").c_str()), 0);
    lumetra::shapefile::FailWritesAfterForTest(row.writes_before_failure);
    int result = 0;
    EXPECT_EQ(StderrOf([&] { result = ShapeWritePoint(&shape, xy); }), row.expected);
    EXPECT_EQ(result, -1);
    lumetra::shapefile::FailWritesAfterForTest(-1);
    EXPECT_EQ(ShapeClose(&shape), 0);
  }
  const struct {
    long writes_before_failure;
    const char* expected;
  } close_rows[] = {
      {0, "Reset Shape Main Hdr: Input/output error\nReset Indx Main Hdr: Input/output error\n"},
      {1, "Reset Indx Main Hdr: Input/output error\n"},
  };
  for (const auto& row : close_rows) {
    lumetra::shapefile::FailWritesAfterForTest(-1);
    shpFile shape{};
    ASSERT_EQ(ShapeCreate(&shape, dir.File("f").c_str()), 0);
    ASSERT_EQ(ShapeWritePoint(&shape, xy), 0);
    lumetra::shapefile::FailWritesAfterForTest(row.writes_before_failure);
    int result = 0;
    EXPECT_EQ(StderrOf([&] { result = ShapeClose(&shape); }), row.expected);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(Copy(shape.shp), nullptr);
    EXPECT_EQ(Copy(shape.recordData), nullptr);
  }
}

TEST(ShpFailure, DiskFullIsReportedByClose) {
  ScopedTempDir dir;
  if (access("/dev/full", W_OK) != 0 || symlink("/dev/full", dir.File("full.shp").c_str()) != 0) {
    GTEST_SKIP() << "/dev/full is not available";
  }
  shpFile shape{};
  ASSERT_EQ(ShapeCreate(&shape, dir.File("full").c_str()), 0);
  const double xy[2] = {1, 2};
  ASSERT_EQ(ShapeWritePoint(&shape, xy), 0);
  int result = 0;
  EXPECT_EQ(StderrOf([&] { result = ShapeClose(&shape); }),
            "Reset Shape Main Hdr: No space left on device\n");
  EXPECT_EQ(result, -1);
}

// Growing a buffer that cannot be allocated is reported like any other
// failure and the caller's process goes on.
TEST(ShpFailure, AllocationFailuresAreReportedNotFatal) {
  FaultInjection faults;
  ScopedTempDir dir;
  HandFile file;
  std::vector<double> xy(2 * 1100, 1.0);
  std::vector<int> starts(300, 0);
  file.Add(PolyContent(1, 100, {0}, std::vector<double>(200, 2.0)));  // 1,648 bytes
  file.Add(PolyContent(1, 1100, {0}, xy));                            // 17,648 bytes
  file.Add(PolyContent(300, 0, starts, {}));                          // 300 empty parts
  file.Save(dir.File("a"), SHP_POLYGON);
  shpFile shape{};
  int result = 0;

  lumetra::shapefile::SetAllocationLimitForTest(1000);  // the 16,384-byte point array fails
  EXPECT_EQ(StderrOf([&] { result = ShapeOpen(&shape, dir.File("a").c_str()); }),
            "shpOpen::_MALLOC: Cannot allocate memory\n");
  EXPECT_EQ(result, -1);
  lumetra::shapefile::SetAllocationLimitForTest(SIZE_MAX);
  ASSERT_EQ(ShapeOpen(&shape, dir.File("a").c_str()), 0);
  lumetra::shapefile::SetAllocationLimitForTest(1000);
  EXPECT_EQ(StderrOf([&] { result = ShapeRead(&shape); }), "BlobMalloc: Cannot allocate memory\n");
  EXPECT_EQ(result, -1);
  ShapeClose(&shape);

  lumetra::shapefile::SetAllocationLimitForTest(SIZE_MAX);
  ASSERT_EQ(ShapeOpen(&shape, dir.File("a").c_str()), 0);
  ASSERT_EQ(ShapeRead(&shape), 0);
  lumetra::shapefile::SetAllocationLimitForTest(20000);  // record fits, 2,048 points do not
  EXPECT_EQ(StderrOf([&] { result = ShapeRead(&shape); }), "PointSet: Cannot allocate memory\n");
  ShapeClose(&shape);

  lumetra::shapefile::SetAllocationLimitForTest(SIZE_MAX);
  ASSERT_EQ(ShapeOpen(&shape, dir.File("a").c_str()), 0);
  ASSERT_EQ(ShapeRead(&shape), 0);
  ASSERT_EQ(ShapeRead(&shape), 0);
  lumetra::shapefile::SetAllocationLimitForTest(1000);  // 301 part starts need 1,204 bytes
  EXPECT_EQ(StderrOf([&] { result = ShapeRead(&shape); }), "PartMalloc: Cannot allocate memory\n");
  ShapeClose(&shape);

  lumetra::shapefile::SetAllocationLimitForTest(SIZE_MAX);
  ASSERT_EQ(ShapeOpen(&shape, dir.File("a").c_str()), 0);
  ASSERT_EQ(ShapeRead(&shape), 0);
  ASSERT_EQ(ShapeRead(&shape), 0);
  lumetra::shapefile::SetAllocationLimitForTest(2000);  // 300 part entries need 3,600 bytes
  EXPECT_EQ(StderrOf([&] { result = ShapeRead(&shape); }), "ProcPoly: Cannot allocate memory\n");
  EXPECT_EQ(result, -1);
  ShapeClose(&shape);

  lumetra::shapefile::SetAllocationLimitForTest(500);
  EXPECT_EQ(StderrOf([&] { result = ShapeCreate(&shape, dir.File("w").c_str()); }),
            "BlobMalloc: Cannot allocate memory\n");
  EXPECT_EQ(result, -1);
  lumetra::shapefile::SetAllocationLimitForTest(SIZE_MAX);
  ASSERT_EQ(ShapeCreate(&shape, dir.File("w").c_str()), 0);
  lumetra::shapefile::SetAllocationLimitForTest(1200);
  EXPECT_EQ(StderrOf([&] { result = WritePolyRings(&shape, {Ring(200, 1.0)}, SHP_POLYLINE); }),
            "BlobMalloc: Cannot allocate memory\n");
  lumetra::shapefile::SetAllocationLimitForTest(SIZE_MAX);
  ASSERT_EQ(WritePolyRings(&shape, {Ring(200, 1.0)}, SHP_POLYLINE), 0);  // record buffer now 1,644+
  lumetra::shapefile::SetAllocationLimitForTest(700);
  EXPECT_EQ(
      StderrOf([&] { result = WritePolyRings(&shape, std::vector<Ring>(200), SHP_POLYLINE); }),
      "PartMalloc: Cannot allocate memory\n");
  EXPECT_EQ(result, -1);
  lumetra::shapefile::SetAllocationLimitForTest(SIZE_MAX);
  EXPECT_EQ(ShapeClose(&shape), 0);
  EXPECT_EQ(OpenAndReadAll(dir.File("w")), 1);
}

// ---- Cross-checks with other implementations (skipped without the tools) --

std::string FindTool(const char* name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = dir + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

std::string RunCommand(const std::string& command) {
  std::string output;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  pclose(pipe);
  return output;
}

const char kTwoPolygonsGeoJson[] =
    R"({"type":"FeatureCollection","features":[
{"type":"Feature","properties":{"NAME":"square","VAL":1.5},"geometry":{"type":"Polygon","coordinates":
[[[0,0],[0,10],[10,10],[10,0],[0,0]],[[2,2],[4,2],[4,4],[2,4],[2,2]]]}},
{"type":"Feature","properties":{"NAME":"two","VAL":-3},"geometry":{"type":"MultiPolygon","coordinates":
[[[[20,20],[20,25],[25,25],[25,20],[20,20]]],[[[30,30],[30,31],[31,31],[31,30],[30,30]]]]}}]})";

const char kTwoPolygonsDump[] =
    "Shapefile Type: Polygon   # of Shapes: 2\n\n"
    "File Bounds: (0,0,0,0)\n"
    "         to  (31,31,0,0)\n\n"
    "Shape:0 (Polygon)  nVertices=10, nParts=2\n"
    "  Bounds:(0,0, 0)\n"
    "      to (10,10, 0)\n"
    "     (0,0, 0) Ring \n     (0,10, 0)  \n     (10,10, 0)  \n     (10,0, 0)  \n     (0,0, 0)  \n"
    "   + (2,2, 0) Ring \n     (4,2, 0)  \n     (4,4, 0)  \n     (2,4, 0)  \n     (2,2, 0)  \n\n"
    "Shape:1 (Polygon)  nVertices=10, nParts=2\n"
    "  Bounds:(20,20, 0)\n"
    "      to (31,31, 0)\n"
    "     (20,20, 0) Ring \n     (20,25, 0)  \n     (25,25, 0)  \n     (25,20, 0)  \n     (20,20, "
    "0)  \n"
    "   + (30,30, 0) Ring \n     (30,31, 0)  \n     (31,31, 0)  \n     (31,30, 0)  \n     (30,30, "
    "0)  \n";

TEST(ShpOracle, ShpdumpReadsOurFile) {
  const std::string shpdump = FindTool("shpdump");
  if (shpdump.empty()) GTEST_SKIP() << "shpdump (Debian package shapelib) is not installed";
  ScopedTempDir dir;
  WriteTwoPolygons(dir.File("ours"));
  EXPECT_EQ(RunCommand(shpdump + " " + dir.File("ours")), kTwoPolygonsDump);

  shpFile shape{};
  ASSERT_EQ(ShapeCreate(&shape, dir.File("pts").c_str()), 0);
  const double a[2] = {1.5, -2.25}, b[2] = {-100.125, 45.5};
  ASSERT_EQ(ShapeWritePoint(&shape, a), 0);
  ASSERT_EQ(ShapeWritePoint(&shape, b), 0);
  ASSERT_EQ(ShapeClose(&shape), 0);
  EXPECT_EQ(RunCommand(shpdump + " " + dir.File("pts")),
            "Shapefile Type: Point   # of Shapes: 2\n\n"
            "File Bounds: (-100.125,-2.25,0,0)\n"
            "         to  (1.5,45.5,0,0)\n\n"
            "Shape:0 (Point)  nVertices=1, nParts=0\n"
            "  Bounds:(1.5,-2.25, 0)\n"
            "      to (1.5,-2.25, 0)\n"
            "     (1.5,-2.25, 0)  \n\n"
            "Shape:1 (Point)  nVertices=1, nParts=0\n"
            "  Bounds:(-100.125,45.5, 0)\n"
            "      to (-100.125,45.5, 0)\n"
            "     (-100.125,45.5, 0)  \n");
}

TEST(ShpOracle, Ogr2ogrWritesTheSameBytesAndWeReadThem) {
  const std::string ogr2ogr = FindTool("ogr2ogr");
  if (ogr2ogr.empty()) GTEST_SKIP() << "ogr2ogr (Debian package gdal-bin) is not installed";
  ScopedTempDir dir;
  WriteText(dir.File("in.geojson"), kTwoPolygonsGeoJson);
  RunCommand(ogr2ogr + " -q -f \"ESRI Shapefile\" " + dir.File("gdal.shp") + " " +
             dir.File("in.geojson") + " 2>&1");
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

  dbTable table{};
  ASSERT_EQ(dbOpen(&table, dir.File("gdal").c_str()), 0);
  ASSERT_EQ(dbRead(&table), DB_OK);
  EXPECT_EQ(std::string(table.fields[0].value.text).substr(0, 6), "square");
  EXPECT_DOUBLE_EQ(table.fields[1].value.number, 1.5);
  ASSERT_EQ(dbRead(&table), DB_OK);
  EXPECT_DOUBLE_EQ(table.fields[1].value.number, -3);
  EXPECT_EQ(dbRead(&table), DB_END);
  dbClose(&table);
}

TEST(ShpOracle, ReadsLinesAndPointsWrittenByOgr2ogr) {
  const std::string ogr2ogr = FindTool("ogr2ogr");
  if (ogr2ogr.empty()) GTEST_SKIP() << "ogr2ogr (Debian package gdal-bin) is not installed";
  ScopedTempDir dir;
  WriteText(dir.File("lines.geojson"),
            R"({"type":"FeatureCollection","features":[
{"type":"Feature","properties":{"ID":1},"geometry":{"type":"LineString","coordinates":[[0.5,1],[2,3.25],[4,-1]]}},
{"type":"Feature","properties":{"ID":2},"geometry":{"type":"MultiLineString","coordinates":[[[1,1],[2,2]],[[3,3],[4,4],[5,5]]]}}]})");
  RunCommand(ogr2ogr + " -q -f \"ESRI Shapefile\" " + dir.File("lines.shp") + " " +
             dir.File("lines.geojson") + " 2>&1");
  shpFile shape{};
  ASSERT_EQ(ShapeOpen(&shape, dir.File("lines").c_str()), 0);
  EXPECT_EQ(shape.shapeType, SHP_POLYLINE);
  EXPECT_EQ(shape.numRecords, 2);
  EXPECT_EQ(shape.fileBox[0], 0.5);
  EXPECT_EQ(shape.fileBox[1], -1);
  EXPECT_EQ(shape.fileBox[2], 5);
  EXPECT_EQ(shape.fileBox[3], 5);
  ASSERT_EQ(ShapeRead(&shape), 0);
  EXPECT_EQ(ReadRings(shape), (std::vector<Ring>{{0.5, 1, 2, 3.25, 4, -1}}));
  EXPECT_EQ(shape.box[3], 3.25);
  ASSERT_EQ(ShapeRead(&shape), 0);
  EXPECT_EQ(ReadRings(shape), (std::vector<Ring>{{1, 1, 2, 2}, {3, 3, 4, 4, 5, 5}}));
  EXPECT_EQ(ShapeRead(&shape), 1);
  ShapeClose(&shape);

  WriteText(dir.File("pts.csv"), "NAME,X,Y\nOslo,10.75,59.91\nLima,-77.04,-12.05\n");
  RunCommand(ogr2ogr + " -q -f \"ESRI Shapefile\" " + dir.File("pts.shp") + " " +
             dir.File("pts.csv") + " -oo X_POSSIBLE_NAMES=X -oo Y_POSSIBLE_NAMES=Y 2>&1");
  ASSERT_EQ(ShapeOpen(&shape, dir.File("pts").c_str()), 0);
  EXPECT_EQ(shape.shapeType, SHP_POINT);
  ASSERT_EQ(ShapeRead(&shape), 0);
  EXPECT_EQ(shape.points[0], 10.75);
  EXPECT_EQ(shape.points[1], 59.91);
  ASSERT_EQ(ShapeRead(&shape), 0);
  EXPECT_EQ(shape.points[0], -77.04);
  EXPECT_EQ(shape.points[1], -12.05);
  EXPECT_EQ(ShapeRead(&shape), 1);
  ShapeClose(&shape);
}

TEST(ShpOracle, OgrinfoReadsOurShapefileWithItsTable) {
  const std::string ogrinfo = FindTool("ogrinfo");
  if (ogrinfo.empty()) GTEST_SKIP() << "ogrinfo (Debian package gdal-bin) is not installed";
  ScopedTempDir dir;
  WriteTwoPolygons(dir.File("ours"));
  dbField fields[2];
  std::memset(fields, 0, sizeof fields);
  std::strcpy(fields[0].name, "NAME");
  fields[0].type = 'C';
  fields[0].length = 10;
  std::strcpy(fields[1].name, "VAL");
  fields[1].type = 'N';
  fields[1].length = 8;
  fields[1].decimals = 2;
  dbTable table{};
  table.numFields = 2;
  table.fields = fields;
  ASSERT_EQ(dbCreate(&table, dir.File("ours").c_str()), 0);
  std::strcpy(fields[0].value.text, "square");
  fields[1].value.number = 1.5;
  ASSERT_EQ(dbWrite(&table), 0);
  std::strcpy(fields[0].value.text, "two");
  fields[1].value.number = -3;
  ASSERT_EQ(dbWrite(&table), 0);
  ASSERT_EQ(dbClose(&table), 0);

  const std::string info = RunCommand(ogrinfo + " -q -al " + dir.File("ours.shp") + " 2>&1");
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
