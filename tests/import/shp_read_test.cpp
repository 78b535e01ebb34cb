// SHPRead: name columns, the degree and two-point rules, each shape type,
// result codes and progress, every failure, the object file it builds (read
// back with the object-file decoders), damaged input, and the bundled US
// states compared with what shapelib's shpdump and GDAL's ogrinfo report.
#include "import/shp_read.h"

#include <gtest/gtest.h>
#include <lumetra/dbf.h>
#include <lumetra/shapefile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "frame/error.h"
#include "import/import_limits.h"
#include "import/object_file_build.h"
#include "objfile/byte_order.h"
#include "objfile/object_header.h"
#include "objfile/object_record.h"
#include "support/test_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Ring = std::vector<double>;  // x, y pairs
using lumetra::RecordPoint;

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

// ---------------------------------------------------------------------------
// Shapefiles written byte by byte, so that any record type and any damage
// can be had.

void PutBe32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
void AppendLe32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void AppendDouble(Bytes& b, double v) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  for (int i = 0; i < 8; ++i) b.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

Bytes PointContent(double x, double y) {
  Bytes c;
  AppendLe32(c, SHP_POINT);
  AppendDouble(c, x);
  AppendDouble(c, y);
  return c;
}

Bytes PolyContent(int type, const std::vector<Ring>& parts) {
  Bytes c;
  AppendLe32(c, static_cast<std::uint32_t>(type));
  for (int i = 0; i < 4; ++i) AppendDouble(c, 0);  // readers do not rely on the box
  std::uint32_t points = 0;
  for (const Ring& r : parts) points += static_cast<std::uint32_t>(r.size() / 2);
  AppendLe32(c, static_cast<std::uint32_t>(parts.size()));
  AppendLe32(c, points);
  std::uint32_t start = 0;
  for (const Ring& r : parts) {
    AppendLe32(c, start);
    start += static_cast<std::uint32_t>(r.size() / 2);
  }
  for (const Ring& r : parts) {
    for (double v : r) AppendDouble(c, v);
  }
  return c;
}

Bytes MultiPointContent(const Ring& points) {
  Bytes c;
  AppendLe32(c, SHP_MULTIPOINT);
  for (int i = 0; i < 4; ++i) AppendDouble(c, 0);
  AppendLe32(c, static_cast<std::uint32_t>(points.size() / 2));
  for (double v : points) AppendDouble(c, v);
  return c;
}

Bytes NullContent() {
  Bytes c;
  AppendLe32(c, SHP_NULL);
  return c;
}

Bytes MainHeader(std::uint32_t length_words, int type) {
  Bytes h(100, 0);
  PutBe32(h, 0, 9994);
  PutBe32(h, 24, length_words);
  h[28] = 1000 & 0xFF;
  h[29] = 1000 >> 8;
  h[32] = static_cast<std::uint8_t>(type);
  return h;
}

// Writes base.shp and base.shx holding the given record contents.
void WriteShapefile(const std::string& base, const std::vector<Bytes>& contents, int type = 5) {
  Bytes shp;
  Bytes shx;
  std::uint32_t offset_words = 50;
  for (std::size_t i = 0; i < contents.size(); ++i) {
    const std::uint32_t words = static_cast<std::uint32_t>(contents[i].size() / 2);
    Bytes header(8, 0);
    PutBe32(header, 0, static_cast<std::uint32_t>(i + 1));
    PutBe32(header, 4, words);
    shp.insert(shp.end(), header.begin(), header.end());
    shp.insert(shp.end(), contents[i].begin(), contents[i].end());
    Bytes entry(8, 0);
    PutBe32(entry, 0, offset_words);
    PutBe32(entry, 4, words);
    shx.insert(shx.end(), entry.begin(), entry.end());
    offset_words += 4 + words;
  }
  Bytes shp_file = MainHeader(offset_words, type);
  shp_file.insert(shp_file.end(), shp.begin(), shp.end());
  Bytes shx_file = MainHeader(50 + 4 * static_cast<std::uint32_t>(contents.size()), type);
  shx_file.insert(shx_file.end(), shx.begin(), shx.end());
  lumetra_test::WriteBytes(base + ".shp", shp_file);
  lumetra_test::WriteBytes(base + ".shx", shx_file);
}

struct Column {
  const char* name;
  char type;
  int length;
  int decimals;
};

// Writes base.dbf with the db* routines; values are given as text ('N' and
// 'F' parsed as numbers, 'L' its first character).
void WriteTable(const std::string& base, const std::vector<Column>& columns,
                const std::vector<std::vector<std::string>>& rows) {
  std::vector<dbField> fields(columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    std::memset(&fields[i], 0, sizeof fields[i]);
    std::strncpy(fields[i].name, columns[i].name, 11);
    fields[i].type = columns[i].type;
    fields[i].length = static_cast<unsigned char>(columns[i].length);
    fields[i].decimals = static_cast<unsigned char>(columns[i].decimals);
  }
  dbTable table;
  std::memset(&table, 0, sizeof table);
  table.numFields = static_cast<int>(fields.size());
  table.fields = fields.data();
  ASSERT_EQ(dbCreate(&table, base.c_str()), 0);
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
      dbField& f = fields[i];
      std::memset(f.value.text, 0, sizeof f.value.text);
      if (f.type == 'N' || f.type == 'F') {
        f.value.number = std::strtod(row[i].c_str(), nullptr);
      } else if (f.type == 'L') {
        f.value.logical = row[i].empty() ? ' ' : row[i][0];
      } else {
        std::strncpy(f.value.text, row[i].c_str(), sizeof f.value.text - 1);
      }
    }
    ASSERT_EQ(dbWrite(&table), 0);
  }
  ASSERT_EQ(dbClose(&table), 0);
}

// A table of NAME and CODE with the given names (codes "c1", "c2", ...).
void WriteNames(const std::string& base, const std::vector<std::string>& names) {
  std::vector<std::vector<std::string>> rows;
  for (std::size_t i = 0; i < names.size(); ++i) {
    rows.push_back({names[i], "c" + std::to_string(i + 1)});
  }
  WriteTable(base, {{"NAME", 'C', 20, 0}, {"CODE", 'C', 8, 0}}, rows);
}

// Standard error silenced for the life of the object (the db* and Shape*
// routines print every failure there).
class QuietStderr {
 public:
  QuietStderr() : saved_(dup(2)) {
    std::fflush(stderr);
    std::FILE* null = std::fopen("/dev/null", "w");
    if (null != nullptr) {
      dup2(fileno(null), 2);
      std::fclose(null);
    }
  }
  ~QuietStderr() {
    std::fflush(stderr);
    if (saved_ >= 0) {
      dup2(saved_, 2);
      close(saved_);
    }
  }
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int saved_;
};

// ---------------------------------------------------------------------------
// A build with a reader, and the object file read back.

// One record of the finished file.
struct Stored {
  int kind = -1;  // 0 region, 1 line, 2 point
  std::string name;
  std::string name2;
  std::uint32_t colour = 0;
  std::vector<std::vector<RecordPoint>> parts;  // a point: one part of one point
  lumetra::Rect bounds;
  std::uint8_t id = 0;
  std::uint32_t brush = 0;
};

class ShpReadTest : public ::testing::Test {
 protected:
  ShpReadTest() : chdir_(dir_.path()) {}

  void StartBuild(int max_points = 1000, int max_parts = 50) {
    ASSERT_TRUE(lumetra::ImportLimits::CheckAndSet(err_, max_points, max_parts));
    pipObjectFileInfoStruct info;
    std::memset(&info, 0, sizeof info);
    info.maxPoints = max_points;
    info.maxParts = max_parts;
    info.coordType = 1;
    build_ = std::make_unique<ObjectFileBuild>(err_, Path("out.obj").c_str(), info);
    ASSERT_TRUE(build_->success());
  }

  // Opens a reader on `file` (in the scratch directory) and installs it
  // when it opened.  Null when it did not.
  SHPRead* Open(const char* name_column, const char* name_column2,
                const std::string& file = "in.shp") {
    if (build_ == nullptr) StartBuild();
    auto reader = std::make_unique<SHPRead>(*build_, Path(file).c_str(), name_column, name_column2);
    if (!reader->success()) return nullptr;
    SHPRead* raw = reader.get();
    build_->SetReader(std::move(reader));
    return raw;
  }

  // Calls ReadObject until the end (or a failure, or `limit` calls) and
  // returns the result of each call (-1 for a false return).
  static std::vector<int> ReadAll(SHPRead* reader, int limit = 1000) {
    std::vector<int> results;
    for (int i = 0; i < limit; ++i) {
      const bool ok = reader->ReadObject();
      EXPECT_EQ(ok, reader->result() != ImportRead::kResultError);
      results.push_back(reader->result());
      if (!ok || reader->result() == ImportRead::kResultEnd) break;
    }
    return results;
  }

  // Finishes the file and decodes every record in file order.
  std::vector<Stored> Finish() {
    std::vector<Stored> out;
    EXPECT_TRUE(build_->Finish());
    const Bytes bytes = lumetra_test::ReadBytes(Path("out.obj"));
    EXPECT_TRUE(header_.DecodeFrom(bytes.data(), bytes.size(), "out.obj", &err_));
    const auto ctx = lumetra::RecordContext::ForFile(header_, "out.obj");
    std::size_t at = 536;
    for (std::uint64_t i = 0; i < header_.RecordCount() && at + 8 < bytes.size(); ++i) {
      Stored s;
      s.kind = bytes[at];
      if (s.kind == 2) {
        lumetra::PointRecord p;
        EXPECT_TRUE(p.DecodeFrom(bytes.data() + at, bytes.size() - at, ctx, &err_));
        s.name = p.name;
        s.name2 = p.second_name;
        s.colour = p.symbol_colour;
        s.parts = {{RecordPoint{p.x, p.y}}};
        s.bounds = p.Bounds();
        s.id = p.id;
      } else {
        lumetra::PolyRecord r;
        EXPECT_TRUE(r.DecodeFrom(bytes.data() + at, bytes.size() - at, ctx, &err_))
            << err_.detail();
        s.name = r.name;
        s.name2 = r.second_name;
        s.colour = r.pen_colour;
        s.bounds = r.bounds;
        s.id = r.id;
        s.brush = r.brush_pattern | r.brush_foreground | r.brush_background;
        std::size_t k = 0;
        for (std::uint32_t n : r.ring_counts) {
          s.parts.emplace_back(r.points.begin() + static_cast<long>(k),
                               r.points.begin() + static_cast<long>(k + n));
          k += n;
        }
      }
      out.push_back(s);
      at += lumetra::GetU32(bytes.data() + at + 4);
    }
    return out;
  }

  std::string Path(const std::string& file) const { return dir_.File(file); }

  lumetra_test::ScopedTempDir dir_;
  lumetra_test::ScopedChdir chdir_;
  pipError err_;
  std::unique_ptr<ObjectFileBuild> build_;
  lumetra::ObjectHeader header_;
};

// ---------------------------------------------------------------------------
// Rules

TEST(ShpDegreeRule, PointsAreScaledOnlyWhenTheirYLooksLikeDegrees) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Row {
    double x, y;
    std::int32_t ex, ey;
  } rows[] = {
      {-87.6, 41.8, -87600000, 41800000},
      {350000.5, 4630000.25, 350000, 4630000},
      {-87.6, 0.0, -87, 0},             // y exactly 0: not degrees
      {12.5, 1000000.0, 12, 1000000},   // |y| = 1,000,000: not degrees
      {1.5, -999999.5, 1500000, kMin},  // degrees; y held at the i32 end
      {-0.0000019, 0.0000019, -1, 1},   // truncated toward zero
      {-1e12, 5e12, kMin, kMax},        // unscaled, held at the ends
      {nan, nan, 0, 0},                 // NaN is not degrees and gives 0
      {-123.4567891, -45.0000009, -123456789, -45000000},
  };
  for (const Row& r : rows) {
    const ShapePoint p = DegreeRulePoint(r.x, r.y);
    EXPECT_EQ(p.x, r.ex) << r.x << ", " << r.y;
    EXPECT_EQ(p.y, r.ey) << r.x << ", " << r.y;
  }
}

TEST(ShpTwoPointRule, EitherDegreePointScalesBoth) {
  struct Row {
    double x1, y1, x2, y2;
    bool placed;
    std::int32_t ex1, ey1, ex2, ey2;
  } rows[] = {
      {-87.5, 41.5, -87.25, 41.75, true, -87500000, 41500000, -87250000, 41750000},
      {-87.5, 0.0, -87.25, 41.75, true, -87500000, 0, -87250000, 41750000},
      {-87.5, 41.5, 10.0, 2000000.0, true, -87500000, 41500000, 10000000, kMax},
      {350000.5, 4630000.5, 351000.5, 4631000.5, true, 350000, 4630000, 351000, 4631000},
      {10.5, 0.0, 20.5, 2000000.0, true, 10, 0, 20, 2000000},  // one y beyond: unscaled
      {10.5, 0.0, 20.5, 0.0, false, 0, 0, 0, 0},
      {10.5, 1000000.0, 20.5, -1000000.0, false, 0, 0, 0, 0},
      {10.5, 0.0, 20.5, -1000000.0, false, 0, 0, 0, 0},
  };
  for (const Row& r : rows) {
    ShapePoint p1;
    ShapePoint p2;
    const bool placed = TwoPointRule(r.x1, r.y1, r.x2, r.y2, &p1, &p2);
    EXPECT_EQ(placed, r.placed) << r.y1 << ", " << r.y2;
    if (!placed || !r.placed) continue;
    EXPECT_EQ(p1.x, r.ex1) << r.y1 << ", " << r.y2;
    EXPECT_EQ(p1.y, r.ey1) << r.y1 << ", " << r.y2;
    EXPECT_EQ(p2.x, r.ex2) << r.y1 << ", " << r.y2;
    EXPECT_EQ(p2.y, r.ey2) << r.y1 << ", " << r.y2;
  }
}

TEST(ShpFieldText, EachFieldTypeGivesItsText) {
  auto field = [](char type) {
    dbField f;
    std::memset(&f, 0, sizeof f);
    f.type = type;
    return f;
  };
  dbField c = field('C');
  std::strcpy(c.value.text, "  Cook County \t");
  EXPECT_EQ(ShapeFieldText(c), "Cook County");
  std::memset(c.value.text, 'x', 200);  // cut at 127 characters
  EXPECT_EQ(ShapeFieldText(c), std::string(127, 'x'));
  std::memset(c.value.text, 0, sizeof c.value.text);
  std::memset(c.value.text, ' ', 126);
  c.value.text[126] = 'y';  // the 127th character, kept
  c.value.text[127] = 'z';  // the 128th, cut
  EXPECT_EQ(ShapeFieldText(c), "y");

  dbField n = field('N');
  n.value.number = 17;
  EXPECT_EQ(ShapeFieldText(n), "17.000000");
  n.value.number = -2.5;
  EXPECT_EQ(ShapeFieldText(n), "-2.500000");
  dbField l = field('L');
  l.value.logical = 'T';
  EXPECT_EQ(ShapeFieldText(l), "84");
  dbField d = field('D');
  std::strcpy(d.value.text, "20240131");
  EXPECT_EQ(ShapeFieldText(d), "20240131");
  dbField m = field('M');
  std::strcpy(m.value.text, " memo ");
  EXPECT_EQ(ShapeFieldText(m), " memo ");
  dbField f = field('F');
  f.value.number = 1.5;
  EXPECT_EQ(ShapeFieldText(f), "Unknown");
  EXPECT_EQ(ShapeFieldText(field('X')), "Unknown");
}

TEST(ShpBaseName, TheExtensionIsRemoved) {
  const std::pair<const char*, const char*> rows[] = {
      {"states.shp", "states"},
      {"states.SHP", "states"},
      {"states", "states"},
      {"a.b.shp", "a.b"},
      {"/tmp/x.d/states", "/tmp/x.d/states"},
      {"/tmp/x.d/states.dbf", "/tmp/x.d/states"},
      {".shp", ".shp"},
      {"dir/.hidden", "dir/.hidden"},
      {"./states.shp", "./states"},
      {"states.", "states"},
  };
  for (const auto& row : rows) EXPECT_EQ(ShapeBaseName(row.first), row.second) << row.first;
}

// ---------------------------------------------------------------------------
// Name columns

TEST_F(ShpReadTest, NameColumnsAreFoundIgnoringCase) {
  WriteShapefile(Path("in"), {PointContent(-87.6, 41.8)}, 1);
  WriteTable(Path("in"), {{"FIPS", 'C', 5, 0}, {"Name", 'C', 20, 0}}, {{"17", "Illinois"}});
  SHPRead* reader = Open("nAmE", "fips");
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(err_.code(), -1);  // no warning
  EXPECT_EQ(reader->name_column(), 1);
  EXPECT_EQ(reader->name_column2(), 0);
  ASSERT_TRUE(reader->ReadObject());
  EXPECT_EQ(reader->result(), ImportRead::kResultObject);
  EXPECT_EQ(reader->name(), "Illinois");
  EXPECT_EQ(reader->name2(), "17");
}

TEST_F(ShpReadTest, TheLastMatchingColumnWins) {
  WriteShapefile(Path("in"), {PointContent(1, 1)}, 1);
  WriteTable(Path("in"), {{"NAME", 'C', 8, 0}, {"name", 'C', 8, 0}, {"x", 'C', 8, 0}},
             {{"first", "second", "third"}});
  SHPRead* reader = Open("Name", "NAME");
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->name_column(), 1);
  EXPECT_EQ(reader->name_column2(), 1);
  ASSERT_TRUE(reader->ReadObject());
  EXPECT_EQ(reader->name(), "second");
}

TEST_F(ShpReadTest, NullNameColumnWarnsAndUsesTheFirstColumn) {
  WriteShapefile(Path("in"), {PointContent(1, 1)}, 1);
  WriteNames(Path("in"), {"alpha"});
  SHPRead* reader = Open(nullptr, nullptr);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(err_.code(), 106);
  EXPECT_STREQ(err_.detail(),
               "WARNING: id parameter was NULL. Parameter set to first column in .dbf file.");
  EXPECT_EQ(reader->name_column(), 0);
  EXPECT_EQ(reader->name_column2(), -1);
  ASSERT_TRUE(reader->ReadObject());
  EXPECT_EQ(reader->name(), "alpha");
  EXPECT_EQ(reader->name2(), "");
}

TEST_F(ShpReadTest, MissingNameColumnWarnsAndUsesTheFirstColumn) {
  WriteShapefile(Path("in"), {PointContent(1, 1)}, 1);
  WriteNames(Path("in"), {"alpha"});
  for (const char* column : {"NAMES", ""}) {
    err_.Clear();
    SHPRead* reader = Open(column, "CODE");
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(err_.code(), 106) << column;
    EXPECT_STREQ(err_.detail(),
                 "WARNING: Specified id parameter could not be found. Parameter set to first "
                 "column in .dbf file.");
    EXPECT_EQ(reader->name_column(), 0);
    ASSERT_TRUE(reader->ReadObject());
    EXPECT_EQ(reader->name(), "alpha");
    EXPECT_EQ(reader->name2(), "c1");
  }
}

TEST_F(ShpReadTest, MissingSecondNameColumnMeansNoSecondNameWithoutWarning) {
  WriteShapefile(Path("in"), {PointContent(1, 1)}, 1);
  WriteNames(Path("in"), {"alpha"});
  SHPRead* reader = Open("NAME", "NOPE");
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(err_.code(), -1);
  EXPECT_EQ(reader->name_column2(), -1);
  ASSERT_TRUE(reader->ReadObject());
  EXPECT_EQ(reader->name2(), "");
}

TEST_F(ShpReadTest, NumericAndLogicalColumnsGiveTheirTexts) {
  WriteShapefile(Path("in"), {PointContent(1, 1), PointContent(2, 2)}, 1);
  WriteTable(Path("in"), {{"POP", 'N', 10, 2}, {"OK", 'L', 1, 0}}, {{"12.5", "T"}, {"-3", "F"}});
  SHPRead* reader = Open("pop", "ok");
  ASSERT_NE(reader, nullptr);
  ASSERT_TRUE(reader->ReadObject());
  EXPECT_EQ(reader->name(), "12.500000");
  EXPECT_EQ(reader->name2(), "84");
  ASSERT_TRUE(reader->ReadObject());
  EXPECT_EQ(reader->name(), "-3.000000");
  EXPECT_EQ(reader->name2(), "70");
}

// ---------------------------------------------------------------------------
// Shapes

TEST_F(ShpReadTest, PointsFollowTheDegreeRule) {
  WriteShapefile(
      Path("in"),
      {PointContent(-87.6, 41.8), PointContent(350000.5, 4630000.25), PointContent(-87.6, 0.0)}, 1);
  WriteNames(Path("in"), {"chicago", "utm", "equator"});
  SHPRead* reader = Open("NAME", "CODE");
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(ReadAll(reader), (std::vector<int>{1, 1, 1, 0}));
  const auto stored = Finish();
  ASSERT_EQ(stored.size(), 3u);
  const RecordPoint expected[] = {{-87600000, 41800000}, {350000, 4630000}, {-87, 0}};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(stored[i].kind, 2);
    ASSERT_EQ(stored[i].parts.size(), 1u);
    EXPECT_EQ(stored[i].parts[0][0], expected[i]) << i;
    EXPECT_EQ(stored[i].colour, i + 1);
    EXPECT_EQ(stored[i].name2, "c" + std::to_string(i + 1));
    EXPECT_EQ(stored[i].id, 0);
  }
  EXPECT_EQ(header_.point_records, 3u);
}

TEST_F(ShpReadTest, MultiPartPolyLineKeepsItsParts) {
  const std::vector<Ring> parts = {{-88.0, 41.0, -87.5, 41.5, -87.0, 41.0},
                                   {-86.0, 40.0, -85.5, 40.25},
                                   {-84.0, 39.0, -83.0, 39.0, -83.0, 38.0, -84.0, 39.0}};
  WriteShapefile(Path("in"), {PolyContent(SHP_POLYLINE, parts)}, 3);
  WriteNames(Path("in"), {"river"});
  SHPRead* reader = Open("NAME", nullptr);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(ReadAll(reader), (std::vector<int>{1, 0}));
  const auto stored = Finish();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].kind, 1);
  EXPECT_EQ(stored[0].name, "river");
  ASSERT_EQ(stored[0].parts.size(), 3u);
  for (std::size_t p = 0; p < 3; ++p) {
    ASSERT_EQ(stored[0].parts[p].size(), parts[p].size() / 2) << p;  // a line keeps its ends
    for (std::size_t k = 0; k < parts[p].size() / 2; ++k) {
      EXPECT_EQ(stored[0].parts[p][k],
                (RecordPoint{static_cast<std::int32_t>(parts[p][2 * k] * 1e6),
                             static_cast<std::int32_t>(parts[p][2 * k + 1] * 1e6)}));
    }
  }
  EXPECT_EQ(stored[0].bounds, (lumetra::Rect{-88000001, 37999999, -82999999, 41500001}));
  EXPECT_EQ(stored[0].brush, 0u);
}

TEST_F(ShpReadTest, PolygonWithHolesDropsEachClosingPoint) {
  const std::vector<Ring> rings = {
      {0.0, 10.0, 0.0, 20.0, 10.0, 20.0, 10.0, 10.0, 0.0, 10.0},  // outer, clockwise, closed
      {2.0, 12.0, 4.0, 12.0, 4.0, 14.0, 2.0, 12.0},               // holes, closed
      {6.0, 16.0, 8.0, 16.0, 8.0, 18.0, 6.0, 16.0}};
  WriteShapefile(Path("in"), {PolyContent(SHP_POLYGON, rings)}, 5);
  WriteNames(Path("in"), {"lake county"});
  SHPRead* reader = Open("NAME", "CODE");
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(ReadAll(reader), (std::vector<int>{1, 0}));
  const auto stored = Finish();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].kind, 0);
  ASSERT_EQ(stored[0].parts.size(), 3u);
  EXPECT_EQ(stored[0].parts[0],
            (std::vector<RecordPoint>{
                {0, 10000000}, {0, 20000000}, {10000000, 20000000}, {10000000, 10000000}}));
  EXPECT_EQ(
      stored[0].parts[1],
      (std::vector<RecordPoint>{{2000000, 12000000}, {4000000, 12000000}, {4000000, 14000000}}));
  EXPECT_EQ(stored[0].parts[2].size(), 3u);
  EXPECT_EQ(stored[0].colour, 1u);
  EXPECT_EQ(stored[0].brush, 0u);
  EXPECT_EQ(header_.region_records, 1u);
}

TEST_F(ShpReadTest, TwoPointLineIsOnePartOfTwoPoints) {
  WriteShapefile(Path("in"),
                 {PolyContent(SHP_POLYLINE, {{-87.5, 0.0, -87.25, 41.75}}),
                  PolyContent(SHP_POLYLINE, {{10.5, 0.0, 20.5, 2000000.0}})},
                 3);
  WriteNames(Path("in"), {"a", "b"});
  SHPRead* reader = Open("NAME", nullptr);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(ReadAll(reader), (std::vector<int>{1, 1, 0}));
  const auto stored = Finish();
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].kind, 1);
  EXPECT_EQ(stored[0].parts,
            (std::vector<std::vector<RecordPoint>>{{{-87500000, 0}, {-87250000, 41750000}}}));
  EXPECT_EQ(stored[1].parts, (std::vector<std::vector<RecordPoint>>{{{10, 0}, {20, 2000000}}}));
}

TEST_F(ShpReadTest, UndecidableTwoPointLineFailsThatRecordOnly) {
  WriteShapefile(Path("in"),
                 {PolyContent(SHP_POLYLINE, {{10.5, 0.0, 20.5, 1000000.0}}),
                  PolyContent(SHP_POLYLINE, {{1.0, 2.0, 3.0, 4.0}})},
                 3);
  WriteNames(Path("in"), {"flat", "fine"});
  SHPRead* reader = Open("NAME", nullptr);
  ASSERT_NE(reader, nullptr);
  EXPECT_FALSE(reader->ReadObject());
  EXPECT_EQ(reader->result(), ImportRead::kResultError);
  EXPECT_EQ(err_.code(), 100);
  EXPECT_NE(std::string(err_.detail()).find("Record 1 of shapefile"), std::string::npos)
      << err_.detail();
  EXPECT_NE(std::string(err_.detail()).find("two-point line"), std::string::npos);
  EXPECT_EQ(ReadAll(reader), (std::vector<int>{1, 0}));
  const auto stored = Finish();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].name, "fine");
  EXPECT_EQ(stored[0].colour, 2u);  // its record's position
}

TEST_F(ShpReadTest, OtherShapeTypesAreSkippedAndTheirRowsConsumed) {
  WriteShapefile(
      Path("in"),
      {NullContent(), MultiPointContent({1.0, 2.0, 3.0, 4.0}), PolyContent(SHP_POLYGON, {}),
       PolyContent(SHP_POLYLINE, {{}, {}}), PointContent(5.0, 6.0)},
      1);
  WriteNames(Path("in"), {"null", "multi", "empty polygon", "empty line", "point"});
  SHPRead* reader = Open("NAME", nullptr);
  ASSERT_NE(reader, nullptr);
  const std::vector<std::string> names = {"null", "multi", "empty polygon", "empty line", "point"};
  for (std::size_t i = 0; i < 4; ++i) {
    ASSERT_TRUE(reader->ReadObject());
    EXPECT_EQ(reader->result(), ImportRead::kResultSkipped) << i;
    EXPECT_EQ(reader->name(), names[i]);
  }
  EXPECT_EQ(ReadAll(reader), (std::vector<int>{1, 0}));
  const auto stored = Finish();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].name, "point");
  EXPECT_EQ(stored[0].colour, 5u);
}

TEST_F(ShpReadTest, ProgressCountsRecords) {
  std::vector<Bytes> records;
  std::vector<std::string> names;
  for (int i = 0; i < 8; ++i) {
    records.push_back(i == 3 ? NullContent() : PointContent(i, i + 0.5));
    names.push_back("p" + std::to_string(i));
  }
  WriteShapefile(Path("in"), records, 1);
  WriteNames(Path("in"), names);
  SHPRead* reader = Open("NAME", nullptr);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->total_records(), 8);
  EXPECT_EQ(reader->PercentDone(), 0);
  const int expected_percent[] = {12, 25, 37, 50, 62, 75, 87, 100};
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(reader->ReadObject());
    EXPECT_EQ(reader->CurrentLine(), i + 1);
    EXPECT_EQ(reader->PercentDone(), expected_percent[i]);
  }
  ASSERT_TRUE(reader->ReadObject());
  EXPECT_EQ(reader->result(), ImportRead::kResultEnd);
  EXPECT_EQ(reader->name(), "p7");  // the last object's name
  EXPECT_EQ(reader->CurrentLine(), 8);
  ASSERT_TRUE(reader->ReadObject());  // the end stays the end
  EXPECT_EQ(reader->result(), ImportRead::kResultEnd);
}

// ---------------------------------------------------------------------------
// Failures

TEST_F(ShpReadTest, MissingFilesAreReported) {
  QuietStderr quiet;
  StartBuild();
  EXPECT_EQ(Open("NAME", nullptr, "none.shp"), nullptr);
  EXPECT_EQ(err_.code(), 100);
  EXPECT_EQ(std::string(err_.detail()),
            "Can not open shapefile " + Path("none") + " (.shp, .shx).");

  WriteShapefile(Path("in"), {PointContent(1, 1)}, 1);
  err_.Clear();
  EXPECT_EQ(Open("NAME", nullptr), nullptr);
  EXPECT_EQ(err_.code(), 100);
  EXPECT_EQ(std::string(err_.detail()), "Can not open table " + Path("in") + " (.dbf).");

  std::remove(Path("in.shx").c_str());
  WriteNames(Path("in"), {"a"});
  err_.Clear();
  EXPECT_EQ(Open("NAME", nullptr), nullptr);
  EXPECT_EQ(err_.code(), 100);

  err_.Clear();
  SHPRead null_name(*build_, nullptr, "NAME", nullptr);
  EXPECT_FALSE(null_name.success());
  EXPECT_EQ(err_.code(), 100);
  EXPECT_FALSE(null_name.ReadObject());
}

TEST_F(ShpReadTest, ShapeWithoutTableRowEndsTheReader) {
  WriteShapefile(Path("in"), {PointContent(1, 1), PointContent(2, 2), PointContent(3, 3)}, 1);
  WriteNames(Path("in"), {"only"});
  SHPRead* reader = Open("NAME", nullptr);
  ASSERT_NE(reader, nullptr);
  ASSERT_TRUE(reader->ReadObject());
  EXPECT_FALSE(reader->ReadObject());
  EXPECT_EQ(err_.code(), 100);
  EXPECT_EQ(std::string(err_.detail()),
            "Table " + Path("in") + ".dbf has no row for shapefile record 2.");
  EXPECT_FALSE(reader->success());
  EXPECT_FALSE(reader->ReadObject());  // for good
  EXPECT_EQ(reader->result(), ImportRead::kResultError);
}

TEST_F(ShpReadTest, DamagedRecordEndsTheReader) {
  QuietStderr quiet;
  Bytes bad = PolyContent(SHP_POLYGON, {{0, 1, 1, 1, 1, 0, 0, 1}});
  bad[36] = 0xFF;  // parts: a negative count
  bad[37] = 0xFF;
  bad[38] = 0xFF;
  bad[39] = 0xFF;
  WriteShapefile(Path("in"), {PointContent(1, 1), bad, PointContent(2, 2)}, 5);
  WriteNames(Path("in"), {"a", "b", "c"});
  SHPRead* reader = Open("NAME", nullptr);
  ASSERT_NE(reader, nullptr);
  ASSERT_TRUE(reader->ReadObject());
  EXPECT_FALSE(reader->ReadObject());
  EXPECT_EQ(err_.code(), 100);
  EXPECT_EQ(std::string(err_.detail()), "Can not read record 2 of shapefile " + Path("in") + ".");
  EXPECT_FALSE(reader->ReadObject());
}

TEST_F(ShpReadTest, LimitsRefuseARecordBeforeAnyPointIsTaken) {
  StartBuild(/*max_points=*/5, /*max_parts=*/2);
  WriteShapefile(Path("in"),
                 {PolyContent(SHP_POLYGON, {{0, 1, 1, 1, 1, 0, 0, 0, 0, 1}}),  // 5 points: fits
                  PolyContent(SHP_POLYGON, {{0, 1, 1, 1, 1, 0, 0, 0, 0.5, 0.5, 0, 1}}),
                  PolyContent(SHP_POLYLINE, {{0, 1, 1, 1}, {2, 2, 3, 3}, {4, 4, 5, 5}}),
                  PolyContent(SHP_POLYLINE, {{0, 1, 1, 1}, {}, {4, 4, 5, 5}})},
                 5);
  WriteNames(Path("in"), {"fits", "six points", "three parts", "two parts"});
  SHPRead* reader = Open("NAME", nullptr);
  ASSERT_NE(reader, nullptr);
  ASSERT_TRUE(reader->ReadObject());
  EXPECT_FALSE(reader->ReadObject());
  EXPECT_EQ(err_.code(), 100);
  EXPECT_STREQ(err_.detail(), "Too many points.");
  EXPECT_FALSE(reader->ReadObject());
  EXPECT_STREQ(err_.detail(), "Too many polygons.");
  EXPECT_EQ(ReadAll(reader), (std::vector<int>{1, 0}));  // an empty part is no part
  const auto stored = Finish();
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].name, "fits");
  EXPECT_EQ(stored[0].parts[0].size(), 4u);
  EXPECT_EQ(stored[1].name, "two parts");
  EXPECT_EQ(stored[1].parts.size(), 2u);
  EXPECT_EQ(stored[1].colour, 4u);
}

// ---------------------------------------------------------------------------
// Damaged input: every truncation and many byte changes of a sample written
// with the Shape* and db* routines are read to the end or refused with a
// report -- never a crash, a read outside a buffer or an endless read.

void WriteSample(const std::string& base) {
  shpFile shape;
  std::memset(&shape, 0, sizeof shape);
  ASSERT_EQ(ShapeCreate(&shape, base.c_str()), 0);
  double outer[] = {-88, 41, -88, 42, -87, 42, -87, 41, -88, 41};
  double hole[] = {-87.8, 41.2, -87.2, 41.2, -87.2, 41.8, -87.8, 41.2};
  shpPart rings[2];
  rings[0].numPoints = 5;
  rings[0].points = outer;
  rings[1].numPoints = 4;
  rings[1].points = hole;
  const shpPartList polygon{2, rings};
  ASSERT_EQ(ShapeWritePoly(&shape, &polygon, SHP_POLYGON), 0);
  const double point[] = {-87.6, 41.8};
  ASSERT_EQ(ShapeWritePoint(&shape, point), 0);
  double line[] = {-90, 30, -89, 31, -88, 30.5};
  shpPart piece[1];
  piece[0].numPoints = 3;
  piece[0].points = line;
  const shpPartList polyline{1, piece};
  ASSERT_EQ(ShapeWritePoly(&shape, &polyline, SHP_POLYLINE), 0);
  ASSERT_EQ(ShapeClose(&shape), 0);
  WriteTable(base, {{"NAME", 'C', 12, 0}, {"POP", 'N', 8, 1}},
             {{"region", "1.5"}, {"point", "2"}, {"line", "-3"}});
}

// Reads `base` to its end into `build`; false when any call failed.
bool ReadThrough(ObjectFileBuild& build, const std::string& base, int* objects) {
  SHPRead reader(build, base.c_str(), "NAME", "POP");
  if (!reader.success()) return false;
  *objects = 0;
  for (int i = 0; i < 16; ++i) {
    if (!reader.ReadObject()) return false;
    if (reader.result() == ImportRead::kResultEnd) return true;
    if (reader.result() == ImportRead::kResultObject) ++*objects;
  }
  ADD_FAILURE() << "the reader did not end";
  return false;
}

TEST_F(ShpReadTest, DamagedFilesAreReadOrRefusedWithAReport) {
  // One build takes the objects of every run (only a few records each).
  StartBuild(/*max_points=*/64, /*max_parts=*/8);
  WriteSample(Path("sample"));
  int objects = 0;
  ASSERT_TRUE(ReadThrough(*build_, Path("sample"), &objects));
  ASSERT_EQ(objects, 3);
  QuietStderr quiet;
  int refused = 0;
  int runs = 0;
  const char* const kExtensions[] = {".shp", ".shx", ".dbf"};
  for (const char* ext : kExtensions) {
    // The other two members stay intact while this one is damaged.
    for (const char* other : kExtensions) {
      lumetra_test::WriteBytes(Path("bad") + other,
                               lumetra_test::ReadBytes(Path("sample") + other));
    }
    const Bytes original = lumetra_test::ReadBytes(Path("sample") + ext);
    auto check = [&](const Bytes& damaged, const std::string& what) {
      lumetra_test::WriteBytes(Path("bad") + ext, damaged);
      err_.Clear();
      ++runs;
      if (!ReadThrough(*build_, Path("bad"), &objects)) {
        ++refused;
        EXPECT_GE(err_.code(), 100) << what << ": a refusal is always reported";
      } else {
        EXPECT_LE(objects, 3) << what;
      }
    };
    for (std::size_t n = 0; n < original.size(); ++n) {
      check(Bytes(original.begin(), original.begin() + static_cast<long>(n)),
            std::string(ext) + " cut to " + std::to_string(n));
    }
    for (std::size_t at = 0; at < original.size(); ++at) {
      // Every bit of the byte inverted: counts turn negative or huge, types
      // and lengths become nonsense.
      Bytes damaged = original;
      damaged[at] = static_cast<std::uint8_t>(~original[at]);
      check(damaged, std::string(ext) + " byte " + std::to_string(at) + " inverted");
    }
  }
  std::printf("damaged inputs: %d, refused: %d\n", runs, refused);
  EXPECT_GT(refused, 0);
}

// ---------------------------------------------------------------------------
// The bundled US states against shapelib's and GDAL's own readers.

std::string DataBase() {
  std::string file = __FILE__;  // <root>/tests/import/shp_read_test.cpp
  for (int i = 0; i < 3; ++i) file = file.substr(0, file.find_last_of('/'));
  return file + "/data/us_states";
}

bool HaveTool(const char* tool) {
  const std::string command = std::string("command -v ") + tool + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

std::string RunTool(const std::string& command) {
  std::string out;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

struct DumpedShape {
  std::vector<Ring> parts;
};

// Shapes as shpdump prints them: a "Shape:" line per shape, then the points,
// the first point of every part but the first marked with '+'.
std::vector<DumpedShape> ParseShpdump(const std::string& text) {
  std::vector<DumpedShape> shapes;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    if (line.compare(first, 6, "Shape:") == 0) {
      shapes.emplace_back();
      continue;
    }
    if (shapes.empty()) continue;
    const bool new_part = line[first] == '+';
    const std::size_t open = line.find('(', first);
    if (open == std::string::npos || (line[first] != '(' && !new_part)) continue;
    double x = 0;
    double y = 0;
    if (std::sscanf(line.c_str() + open, "(%lf,%lf", &x, &y) != 2) continue;
    DumpedShape& shape = shapes.back();
    if (new_part || shape.parts.empty()) shape.parts.emplace_back();
    shape.parts.back().push_back(x);
    shape.parts.back().push_back(y);
  }
  return shapes;
}

// The value of `field` of each feature as ogrinfo -al prints it.
std::vector<std::string> ParseOgrinfo(const std::string& text, const std::string& field) {
  std::vector<std::string> values;
  const std::string key = "  " + field + " (String) = ";
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, key.size(), key) == 0) values.push_back(line.substr(key.size()));
  }
  return values;
}

std::int32_t MicroDegrees(double v) { return static_cast<std::int32_t>(std::trunc(v * 1e6)); }

TEST_F(ShpReadTest, UsStatesMatchShpdumpAndOgrinfo) {
  if (!HaveTool("shpdump") || !HaveTool("ogrinfo")) {
    GTEST_SKIP() << "shpdump (shapelib) or ogrinfo (gdal-bin) is not installed";
  }
  const std::string base = DataBase();
  ASSERT_TRUE(lumetra_test::FileExists(base + ".shp")) << base;
  const auto dumped = ParseShpdump(RunTool("shpdump -precision 17 '" + base + ".shp'"));
  const std::string info = RunTool("ogrinfo -ro -al -q '" + base + ".shp' 2>/dev/null");
  const auto names = ParseOgrinfo(info, "NAME");
  const auto codes = ParseOgrinfo(info, "FIPS");
  ASSERT_EQ(dumped.size(), 56u);
  ASSERT_EQ(names.size(), 56u);
  ASSERT_EQ(codes.size(), 56u);

  StartBuild(100000, 1000);
  auto reader = std::make_unique<SHPRead>(*build_, (base + ".shp").c_str(), "name", "fips");
  ASSERT_TRUE(reader->success());
  SHPRead* raw = reader.get();
  build_->SetReader(std::move(reader));
  EXPECT_EQ(raw->total_records(), 56);
  const auto results = ReadAll(raw);
  std::vector<int> expected_results(56, ImportRead::kResultObject);
  expected_results.push_back(ImportRead::kResultEnd);
  EXPECT_EQ(results, expected_results);
  const auto stored = Finish();
  ASSERT_EQ(stored.size(), 56u);
  EXPECT_EQ(header_.region_records, 56u);

  lumetra::Rect file_box = lumetra::EmptyBounds();
  for (std::size_t i = 0; i < 56; ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(stored[i].kind, 0);
    EXPECT_EQ(stored[i].name, names[i]);
    EXPECT_EQ(stored[i].name2, codes[i]);
    EXPECT_EQ(stored[i].colour, i + 1);
    ASSERT_EQ(stored[i].parts.size(), dumped[i].parts.size());
    lumetra::Rect box = lumetra::EmptyBounds();
    for (std::size_t p = 0; p < dumped[i].parts.size(); ++p) {
      const Ring& ring = dumped[i].parts[p];
      const std::size_t n = ring.size() / 2;
      const bool closed = n >= 2 && ring[0] == ring[2 * n - 2] && ring[1] == ring[2 * n - 1];
      ASSERT_EQ(stored[i].parts[p].size(), closed ? n - 1 : n) << "ring " << p;
      for (std::size_t k = 0; k < stored[i].parts[p].size(); ++k) {
        const RecordPoint expected{MicroDegrees(ring[2 * k]), MicroDegrees(ring[2 * k + 1])};
        ASSERT_EQ(stored[i].parts[p][k], expected) << "ring " << p << " point " << k;
        box.minx = std::min(box.minx, expected.x);
        box.miny = std::min(box.miny, expected.y);
        box.maxx = std::max(box.maxx, expected.x);
        box.maxy = std::max(box.maxy, expected.y);
      }
    }
    const lumetra::Rect grown{box.minx - 1, box.miny - 1, box.maxx + 1, box.maxy + 1};
    EXPECT_EQ(stored[i].bounds, grown);
    file_box.minx = std::min(file_box.minx, grown.minx);
    file_box.miny = std::min(file_box.miny, grown.miny);
    file_box.maxx = std::max(file_box.maxx, grown.maxx);
    file_box.maxy = std::max(file_box.maxy, grown.maxy);
  }
  EXPECT_EQ(header_.bounds, file_box);
}

}  // namespace
