// SHPRead: the degree and two-point rules, field texts, name columns,
// rings, result codes, missing rows and damaged input.
#include "import/shp_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "support/io_object_file.h"
#include "support/io_shapefile.h"
#include "support/io_tools.h"

namespace {

using lumetra::RecordPoint;
using lumetra_test::Bytes;
using lumetra_test::DbfField;
using lumetra_test::Describe;
using lumetra_test::Ring;
using lumetra_test::ShpPointContent;
using lumetra_test::ShpPolyContent;

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

class ShpReadTest : public lumetra_test::ObjectFileTest {
 protected:
  // Writes in.shp/in.shx of `records` (main header type `type`) and in.dbf
  // of NAME and CODE with `names` (codes "c1", "c2", ...).
  void WriteInput(const std::vector<Bytes>& records, int type,
                  const std::vector<std::string>& names) {
    lumetra_test::ShapefileBytes file;
    for (const Bytes& record : records) file.Add(record);
    file.Save(Path("in"), type);
    std::vector<std::vector<std::string>> rows;
    for (std::size_t i = 0; i < names.size(); ++i) {
      rows.push_back({names[i], "c" + std::to_string(i + 1)});
    }
    lumetra_test::WriteDbf(Path("in"), {DbfField("NAME", 'C', 20), DbfField("CODE", 'C', 8)}, rows);
  }
  // Opens a reader on `path` (in.shp when empty) and installs it in the
  // build (made when missing); null when it did not open.
  SHPRead* Open(const char* name_column, const char* name_column2, std::string path = "") {
    if (build_ == nullptr) MakeBuild();
    if (path.empty()) path = Path("in.shp");
    auto reader = std::make_unique<SHPRead>(*build_, path.c_str(), name_column, name_column2);
    if (!reader->success()) return nullptr;
    SHPRead* raw = reader.get();
    build_->SetReader(std::move(reader));
    return raw;
  }
  // ReadAll that also expects result() to mark exactly the failed calls.
  static std::vector<int> ReadAll(SHPRead* reader) {
    return lumetra_test::ReadAll(*reader, 1000, true);
  }
  // Imports in.* with names from NAME and CODE; expects `results`.
  std::vector<std::string> Import(const std::vector<int>& results) {
    SHPRead* reader = Open("NAME", "CODE");
    EXPECT_NE(reader, nullptr) << err_.detail();
    if (reader == nullptr) return {};
    EXPECT_EQ(ReadAll(reader), results) << err_.detail();
    return Describe(Finish());
  }
};

TEST(ShpDegreeRule, PointsAreScaledOnlyWhenTheirYLooksLikeDegrees) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
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
  for (const auto& r : rows) {
    const ShapePoint p = DegreeRulePoint(r.x, r.y);
    EXPECT_EQ(p.x, r.ex) << r.x << ", " << r.y;
    EXPECT_EQ(p.y, r.ey) << r.x << ", " << r.y;
  }
}

TEST(ShpFieldText, EachFieldTypeGivesItsText) {
  dbField c = DbfField("C", 'C', 10);
  lumetra_test::SetText(&c, "  Cook County \t");
  EXPECT_EQ(ShapeFieldText(c), "Cook County");
  std::memset(c.value.text, 'x', 200);  // cut at 127 characters
  EXPECT_EQ(ShapeFieldText(c), std::string(127, 'x'));
  lumetra_test::SetText(&c, std::string(126, ' ') + "yz");  // the 128th character is cut
  EXPECT_EQ(ShapeFieldText(c), "y");
  dbField n = DbfField("N", 'N', 10);
  n.value.number = 17;
  EXPECT_EQ(ShapeFieldText(n), "17.000000");
  n.value.number = -2.5;
  EXPECT_EQ(ShapeFieldText(n), "-2.500000");
  dbField l = DbfField("L", 'L', 1);
  l.value.logical = 'T';
  EXPECT_EQ(ShapeFieldText(l), "84");
  dbField d = DbfField("D", 'D', 8);
  lumetra_test::SetText(&d, "20240131");
  EXPECT_EQ(ShapeFieldText(d), "20240131");
  dbField m = DbfField("M", 'M', 10);
  lumetra_test::SetText(&m, " memo ");
  EXPECT_EQ(ShapeFieldText(m), " memo ");
  dbField f = DbfField("F", 'F', 10);
  f.value.number = 1.5;
  EXPECT_EQ(ShapeFieldText(f), "Unknown");
  EXPECT_EQ(ShapeFieldText(DbfField("X", 'X', 1)), "Unknown");
}

TEST_F(ShpReadTest, NameColumnsAreFoundIgnoringCaseAndTheLastMatchWins) {
  const char* kNull = "WARNING: id parameter was NULL. Parameter set to first column in .dbf file.";
  const char* kMissing =
      "WARNING: Specified id parameter could not be found. Parameter set to first column in .dbf "
      "file.";
  lumetra_test::WriteDbf(Path("in"),
                         {DbfField("FIPS", 'C', 5), DbfField("Name", 'C', 20),
                          DbfField("CODE", 'C', 8), DbfField("POP", 'N', 10, 2),
                          DbfField("OK", 'L', 1), DbfField("dup", 'C', 8), DbfField("DUP", 'C', 8)},
                         {{"17", "Illinois", "c1", "12.5", "T", "first", "second"}});
  lumetra_test::ShapefileBytes shapes;
  shapes.Add(ShpPointContent(-87.6, 41.8));
  shapes.Save(Path("in"), SHP_POINT);
  const struct {
    const char* column;
    const char* column2;
    int name_column, name_column2;
    const char* warning;  // code 106, or null for none
    const char* name;
    const char* name2;
  } rows[] = {
      {"nAmE", "fips", 1, 0, nullptr, "Illinois", "17"},
      {"Dup", "DUP", 6, 6, nullptr, "second", "second"},
      {nullptr, nullptr, 0, -1, kNull, "17", ""},
      {"NAMES", "CODE", 0, 2, kMissing, "17", "c1"},
      {"", "CODE", 0, 2, kMissing, "17", "c1"},
      {"Name", "NOPE", 1, -1, nullptr, "Illinois", ""},  // no second name, no warning
      {"pop", "ok", 3, 4, nullptr, "12.500000", "84"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.column ? row.column : "(null)") + " / " +
                 (row.column2 ? row.column2 : "(null)"));
    err_.Clear();
    SHPRead* reader = Open(row.column, row.column2);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(err_.code(), row.warning != nullptr ? 106 : -1);
    if (row.warning != nullptr) {
      EXPECT_STREQ(err_.detail(), row.warning);
    }
    EXPECT_EQ(reader->name_column(), row.name_column);
    EXPECT_EQ(reader->name_column2(), row.name_column2);
    ASSERT_TRUE(reader->ReadObject());
    EXPECT_EQ(reader->result(), ImportRead::kResultObject);
    EXPECT_EQ(reader->name(), row.name);
    EXPECT_EQ(reader->name2(), row.name2);
  }
}

TEST_F(ShpReadTest, TwoPointLinesFollowTheTwoPointRuleAndAnUndecidableOneFailsAlone) {
  WriteInput({ShpPolyContent(SHP_POLYLINE, {{-87.5, 0.0, -87.25, 41.75}}),
              ShpPolyContent(SHP_POLYLINE, {{10.5, 0.0, 20.5, 1000000.0}}),
              ShpPolyContent(SHP_POLYLINE, {{10.5, 0.0, 20.5, 2000000.0}})},
             SHP_POLYLINE, {"a", "flat", "b"});
  SHPRead* reader = Open("NAME", nullptr);
  ASSERT_NE(reader, nullptr);
  ASSERT_TRUE(reader->ReadObject());
  EXPECT_FALSE(reader->ReadObject());
  EXPECT_EQ(reader->result(), ImportRead::kResultError);
  EXPECT_EQ(err_.code(), 100);
  EXPECT_NE(std::string(err_.detail()).find("Record 2 of shapefile"), std::string::npos)
      << err_.detail();
  EXPECT_NE(std::string(err_.detail()).find("two-point line"), std::string::npos);
  EXPECT_EQ(ReadAll(reader), (std::vector<int>{1, 0}));
  EXPECT_EQ(Describe(Finish()),
            (std::vector<std::string>{
                "line \"a\" colour 1 rings 2 (-87500000,0) (-87250000,41750000) "
                "label -87375000,20875000",
                "line \"b\" colour 3 rings 2 (10,0) (20,2000000) label 15,1000000"}));
}

// Both end the reader for good.
TEST_F(ShpReadTest, OtherShapeTypesAreSkippedAndTheirRowsConsumed) {
  const std::vector<std::string> names = {"null", "multi", "empty polygon", "empty line", "point"};
  WriteInput(
      {lumetra_test::ShpNullContent(), lumetra_test::ShpMultiPointContent({1.0, 2.0, 3.0, 4.0}),
       ShpPolyContent(SHP_POLYGON, {}), ShpPolyContent(SHP_POLYLINE, {{}, {}}),
       ShpPointContent(5.0, 6.0)},
      SHP_POINT, names);
  SHPRead* reader = Open("NAME", nullptr);
  ASSERT_NE(reader, nullptr);
  for (std::size_t i = 0; i < 4; ++i) {
    ASSERT_TRUE(reader->ReadObject());
    EXPECT_EQ(reader->result(), ImportRead::kResultSkipped) << i;
    EXPECT_EQ(reader->name(), names[i]);
  }
  EXPECT_EQ(ReadAll(reader), (std::vector<int>{1, 0}));
  EXPECT_EQ(Describe(Finish()),
            std::vector<std::string>{"point \"point\" colour 5 (5000000,6000000)"});
}

TEST_F(ShpReadTest, MissingTableRowAndDamagedRecordEndTheReader) {
  Bytes bad = ShpPolyContent(SHP_POLYGON, {{0, 1, 1, 1, 1, 0, 0, 1}});
  std::fill(bad.begin() + 36, bad.begin() + 40, 0xFF);  // parts: a negative count
  const struct {
    const char* what;
    std::vector<Bytes> records;
    std::vector<std::string> names;
    std::string message;
  } rows[] = {
      {"shape without table row",
       {ShpPointContent(1, 1), ShpPointContent(2, 2), ShpPointContent(3, 3)},
       {"only"},
       "Table " + Path("in") + ".dbf has no row for shapefile record 2."},
      {"damaged record",
       {ShpPointContent(1, 1), bad, ShpPointContent(2, 2)},
       {"a", "b", "c"},
       "Can not read record 2 of shapefile " + Path("in") + "."},
  };
  lumetra_test::QuietStderr quiet;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    MakeBuild();
    WriteInput(row.records, SHP_POLYGON, row.names);
    SHPRead* reader = Open("NAME", nullptr);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(ReadAll(reader), (std::vector<int>{1, -1}));
    EXPECT_EQ(err_.code(), 100);
    EXPECT_EQ(err_.detail(), row.message);
    EXPECT_FALSE(reader->success());
    EXPECT_FALSE(reader->ReadObject());
    EXPECT_EQ(reader->result(), ImportRead::kResultError);
  }
}

// Every truncation and every inverted byte of each member of a sample
// written with the Shape* and db* routines is read to the end or refused
// with a report -- never a crash, a read outside a buffer or an endless read.
TEST_F(ShpReadTest, LimitsRefuseARecordBeforeAnyPointIsTaken) {
  MakeBuild(/*max_points=*/5, /*max_parts=*/2);
  WriteInput({ShpPolyContent(SHP_POLYGON, {{0, 1, 1, 1, 1, 0, 0, 0, 0, 1}}),  // 5 points: fits
              ShpPolyContent(SHP_POLYGON, {{0, 1, 1, 1, 1, 0, 0, 0, 0.5, 0.5, 0, 1}}),
              ShpPolyContent(SHP_POLYLINE, {{0, 1, 1, 1}, {2, 2, 3, 3}, {4, 4, 5, 5}}),
              ShpPolyContent(SHP_POLYLINE, {{0, 1, 1, 1}, {}, {4, 4, 5, 5}})},
             SHP_POLYGON, {"fits", "six points", "three parts", "two parts"});
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
  EXPECT_EQ(stored[0].rings, std::vector<std::uint32_t>{4});
  EXPECT_EQ(stored[1].name, "two parts");
  EXPECT_EQ(stored[1].rings, (std::vector<std::uint32_t>{2, 2}));
  EXPECT_EQ(stored[1].colour, 4u);
}

TEST_F(ShpReadTest, DamagedFilesAreReadOrRefusedWithAReport) {
  shpFile shape{};
  ASSERT_EQ(ShapeCreate(&shape, Path("sample").c_str()), 0);
  ASSERT_EQ(lumetra_test::WritePolyRings(&shape,
                                         {{-88, 41, -88, 42, -87, 42, -87, 41, -88, 41},
                                          {-87.8, 41.2, -87.2, 41.2, -87.2, 41.8, -87.8, 41.2}},
                                         SHP_POLYGON),
            0);
  const double point[] = {-87.6, 41.8};
  ASSERT_EQ(ShapeWritePoint(&shape, point), 0);
  ASSERT_EQ(lumetra_test::WritePolyRings(&shape, {{-90, 30, -89, 31, -88, 30.5}}, SHP_POLYLINE), 0);
  ASSERT_EQ(ShapeClose(&shape), 0);
  lumetra_test::WriteDbf(Path("sample"), {DbfField("NAME", 'C', 12), DbfField("POP", 'N', 8, 1)},
                         {{"region", "1.5"}, {"point", "2"}, {"line", "-3"}});
  // One build takes the objects of every run (only a few records each).
  MakeBuild(/*max_points=*/64, /*max_parts=*/8);
  // Reads `base` to its end; false when any call failed.
  auto read_through = [&](const std::string& base, int* objects) {
    SHPRead reader(*build_, base.c_str(), "NAME", "POP");
    if (!reader.success()) return false;
    *objects = 0;
    for (int i = 0; i < 16; ++i) {
      if (!reader.ReadObject()) return false;
      if (reader.result() == ImportRead::kResultEnd) return true;
      if (reader.result() == ImportRead::kResultObject) ++*objects;
    }
    ADD_FAILURE() << "the reader did not end";
    return false;
  };
  int objects = 0;
  ASSERT_TRUE(read_through(Path("sample"), &objects));
  ASSERT_EQ(objects, 3);
  lumetra_test::QuietStderr quiet;
  const std::size_t descriptors = lumetra_test::ListDir("/proc/self/fd").size();
  int refused = 0;
  int runs = 0;
  for (const char* ext : {".shp", ".shx", ".dbf"}) {
    // The other two members stay intact while this one is damaged.
    for (const char* other : {".shp", ".shx", ".dbf"}) {
      lumetra_test::WriteBytes(Path("bad") + other,
                               lumetra_test::ReadBytes(Path("sample") + other));
    }
    auto check = [&](const Bytes& damaged, const std::string& what) {
      lumetra_test::WriteBytes(Path("bad") + ext, damaged);
      err_.Clear();
      ++runs;
      if (!read_through(Path("bad"), &objects)) {
        ++refused;
        EXPECT_GE(err_.code(), 100) << ext << " " << what << ": a refusal is always reported";
      } else {
        EXPECT_LE(objects, 3) << ext << " " << what;
      }
    };
    const Bytes original = lumetra_test::ReadBytes(Path("sample") + ext);
    lumetra_test::ForEachTruncation(original, [&](const Bytes& cut, std::size_t n) {
      check(cut, "cut to " + std::to_string(n));
    });
    lumetra_test::ForEachByteChange(original, {}, 1, [&](const Bytes& changed, std::size_t at) {
      check(changed, "byte " + std::to_string(at) + " inverted");
    });
  }
  std::printf("damaged inputs: %d, refused: %d\n", runs, refused);
  EXPECT_GT(refused, 0);
  EXPECT_EQ(lumetra_test::ListDir("/proc/self/fd").size(), descriptors);  // every file closed
}

}  // namespace
