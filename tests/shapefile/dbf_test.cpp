// dBase tables: byte layout, value conversion, round trips, truncation and
// write-failure texts, and a cross-check with shapelib's and GDAL's tools.
#include "lumetra/dbf.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "shapefile/dbf_value.h"
#include "support/io_shapefile.h"
#include "support/io_tools.h"
#include "support/test_files.h"

namespace {

using lumetra_test::Bytes;
using lumetra_test::Copy;
using lumetra_test::DbfField;
using lumetra_test::ExpectFailureText;
using lumetra_test::ReadBytes;
using lumetra_test::ScopedTempDir;
using lumetra_test::SetText;
using lumetra_test::WriteBytes;

// Creates `path` with `fields` in `table`.
int Create(dbTable* table, std::vector<dbField>* fields, const std::string& path) {
  *table = dbTable{};
  table->numFields = static_cast<int>(fields->size());
  table->fields = fields->data();
  return dbCreate(table, path.c_str());
}

// The table of the corruption tests: NAME C5, VAL N8.2, OK L1 and six
// records (header 129 bytes, records 15).
Bytes SampleTable(const std::string& path, int records = 6) {
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < records; ++i) {
    rows.push_back({"row" + std::to_string(i), std::to_string(i * 1.25), i % 2 ? "T" : "F"});
  }
  lumetra_test::WriteDbf(
      path, {DbfField("NAME", 'C', 5), DbfField("VAL", 'N', 8, 2), DbfField("OK", 'L', 1)}, rows);
  return ReadBytes(path);
}

// Opens `path` and reads every record; the first non-zero result (1 at the
// end, -1 on a failure), or the failed open's -1.
int OpenAndReadAll(const std::string& path) {
  dbTable table{};
  if (dbOpen(&table, path.c_str()) != 0) {
    dbClose(&table);
    return -1;
  }
  int result = 0;
  for (int guard = 0; guard < 100000 && result == 0; ++guard) result = dbRead(&table);
  dbClose(&table);
  return result;
}

TEST(DbfCreate, HeaderAndRecordLengthsAndFixedTypeLengths) {
  ScopedTempDir dir;
  std::vector<dbField> wide{DbfField("NAME", 'C', 128), DbfField("NAME2", 'C', 128)};
  dbTable table;
  ASSERT_EQ(Create(&table, &wide, dir.File("t")), 0);
  EXPECT_EQ(table.headerLength, 97);
  EXPECT_EQ(table.recordLength, 257);
  EXPECT_EQ(table.version, 3);
  EXPECT_EQ(table.mode, DB_MODE_WRITE);
  EXPECT_EQ(table.numRecords, 0);
  EXPECT_EQ(dbClose(&table), 0);
  EXPECT_EQ(ReadBytes(dir.File("t.dbf")).size(), 97u);

  std::vector<dbField> typed{DbfField("D", 'D', 5), DbfField("L", 'L', 4), DbfField("M", 'M', 3),
                             DbfField("C", 'C', 7), DbfField("N", 'N', 9, 3)};
  ASSERT_EQ(Create(&table, &typed, dir.File("t")), 0);
  const int lengths[] = {8, 1, 10, 7, 9};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(typed[i].length, lengths[i]) << typed[i].name;
  EXPECT_EQ(table.recordLength, 1 + 8 + 1 + 10 + 7 + 9);
  EXPECT_STREQ(typed[4].format, "%9.3f");
  EXPECT_EQ(dbClose(&table), 0);
}

TEST(DbfLayout, CreatedTableBytesMatchHandComputedLayout) {
  ScopedTempDir dir;
  std::vector<dbField> fields{DbfField("NAME", 'C', 5), DbfField("VAL", 'N', 8, 2),
                              DbfField("OK", 'L', 1), DbfField("DAY", 'D', 8)};
  dbTable table;
  ASSERT_EQ(Create(&table, &fields, dir.File("layout.dbf")), 0);
  SetText(&fields[0], "abc");
  fields[1].value.number = 3.14159;
  fields[2].value.logical = 'T';
  SetText(&fields[3], "20240131");
  ASSERT_EQ(dbWrite(&table), 0);
  SetText(&fields[0], "hello world");
  fields[1].value.number = -12.5;
  fields[2].value.logical = 'F';
  SetText(&fields[3], "19991231xyz");
  ASSERT_EQ(dbWrite(&table), 0);
  const std::time_t now = std::time(nullptr);
  ASSERT_EQ(dbClose(&table), 0);

  std::tm local{};
  localtime_r(&now, &local);
  std::string expected = {0x03, static_cast<char>(local.tm_year),
                          static_cast<char>(local.tm_mon + 1), static_cast<char>(local.tm_mday)};
  expected += std::string("\x02\x00\x00\x00", 4);  // 2 records
  expected += std::string("\xA1\x00", 2);          // header 161 = 32 * 4 + 33
  expected += std::string("\x17\x00", 2);          // record 23 = 1 + 5 + 8 + 1 + 8
  expected += std::string(20, '\0');
  for (const dbField& d : fields) {  // name, type, data address, length, decimals
    expected += std::string(d.name) + std::string(11 - std::strlen(d.name), '\0') + d.type;
    expected += std::string(4, '\0') + static_cast<char>(d.length) + static_cast<char>(d.decimals);
    expected += std::string(14, '\0');
  }
  expected += '\x0D';
  expected += std::string(" abc\0\0    3.14T20240131", 23);
  expected += std::string(" hello  -12.50F19991231", 23);
  EXPECT_EQ(ReadBytes(dir.File("layout.dbf")), Bytes(expected.begin(), expected.end()));
}

TEST(DbfValue, NumbersAreWrittenRightAlignedAndShortenedToFit) {
  const struct {
    double value;
    int width, decimals;
    const char* expected;
  } rows[] = {
      {3.14159, 8, 2, "    3.14"},
      {-12.5, 8, 2, "  -12.50"},
      {0.0, 5, 0, "    0"},
      {2.75, 3, 0, "  3"},
      {0.125, 6, 3, " 0.125"},
      {1e15, 20, 2, " 1000000000000000.00"},
      {123456.789, 8, 2, "123456.8"},  // fewer decimals rather than overflow
      {123456.789, 6, 2, "123457"},
      {123456789.0, 5, 0, "*****"},  // not even the integer part fits
      {-5.0, 1, 0, "*"},
  };
  for (const auto& row : rows) {
    std::string text(static_cast<std::size_t>(row.width), '?');
    lumetra::shapefile::FormatNumberForTest(row.value, row.width, row.decimals, &text[0]);
    EXPECT_EQ(text, row.expected) << row.value << " width " << row.width << " decimals "
                                  << row.decimals;
  }
}

TEST(DbfCorruption, EveryTruncationIsRefusedWithItsText) {
  ScopedTempDir dir;
  const Bytes bytes = SampleTable(dir.File("full.dbf"));
  ASSERT_EQ(bytes.size(), 129u + 6u * 15u);
  lumetra_test::ForEachTruncation(bytes, [&](const Bytes& cut, std::size_t length) {
    SCOPED_TRACE("length " + std::to_string(length));
    WriteBytes(dir.File("cut.dbf"), cut);
    ExpectFailureText([&] { return OpenAndReadAll(dir.File("cut.dbf")); },
                      length < 32            ? "dbOpen: fread: No data available\n"
                      : length < 32 + 3 * 32 ? "ReadFields: fread 1: No data available\n"
                      : length == 128        ? "ReadFields: fread 2: No data available\n"
                                             : "dbOpen: ",
                      true);
  });
}

// ---- Cross-checks with other implementations (skipped without the tools) --

TEST(DbfOracle, ReadsTablesWrittenByShapelibAndOgr2ogr) {
  if (!lumetra_test::HaveTool("dbfcreate") || !lumetra_test::HaveTool("dbfadd")) {
    GTEST_SKIP() << "dbfcreate/dbfadd (shapelib) are not installed";
  }
  ScopedTempDir dir;
  const std::string base = dir.File("lib");
  lumetra_test::RunTool("dbfcreate " + base + " -s NAME 20 -n VAL 10 2 >/dev/null");
  lumetra_test::RunTool("dbfadd " + base + " hello 3.14159 >/dev/null");
  lumetra_test::RunTool("dbfadd " + base + " \"x y\" -2.5 >/dev/null");
  dbTable in{};
  ASSERT_EQ(dbOpen(&in, base.c_str()), 0);
  ASSERT_EQ(in.numFields, 2);
  EXPECT_EQ(in.numRecords, 2);
  ASSERT_EQ(dbRead(&in), DB_OK);
  EXPECT_STREQ(in.fields[0].value.text, "hello               ");  // shapelib pads with spaces
  EXPECT_DOUBLE_EQ(in.fields[1].value.number, 3.14);
  ASSERT_EQ(dbRead(&in), DB_OK);
  EXPECT_DOUBLE_EQ(in.fields[1].value.number, -2.5);
  EXPECT_EQ(dbRead(&in), DB_END);  // past shapelib's 0x1A end marker
  dbClose(&in);

  if (!lumetra_test::HaveTool("ogr2ogr")) GTEST_SKIP() << "ogr2ogr (gdal-bin) is not installed";
  lumetra_test::WriteText(dir.File("in.csv"), "NAME,VAL,CNT\nOslo,59.91,7\nLima,-12.05,123\n");
  lumetra_test::RunTool("ogr2ogr -q -f \"ESRI Shapefile\" " + dir.File("gdal.dbf") + " " +
                        dir.File("in.csv") + " -oo AUTODETECT_TYPE=YES 2>&1");
  dbTable gdal{};
  ASSERT_EQ(dbOpen(&gdal, dir.File("gdal.dbf").c_str()), 0);
  ASSERT_EQ(gdal.numFields, 3);
  EXPECT_STREQ(gdal.fields[0].name, "NAME");
  EXPECT_EQ(gdal.fields[0].type, 'C');
  EXPECT_EQ(gdal.fields[1].type, 'N');
  EXPECT_EQ(gdal.numRecords, 2);
  ASSERT_EQ(dbRead(&gdal), DB_OK);
  EXPECT_EQ(std::string(gdal.fields[0].value.text).substr(0, 4), "Oslo");
  EXPECT_DOUBLE_EQ(gdal.fields[1].value.number, 59.91);
  EXPECT_DOUBLE_EQ(gdal.fields[2].value.number, 7);
  ASSERT_EQ(dbReadByRecno(&gdal, 1), DB_OK);
  EXPECT_EQ(std::string(gdal.fields[0].value.text).substr(0, 4), "Lima");
  EXPECT_DOUBLE_EQ(gdal.fields[1].value.number, -12.05);
  EXPECT_DOUBLE_EQ(gdal.fields[2].value.number, 123);
  EXPECT_EQ(dbRead(&gdal), DB_END);
  dbClose(&gdal);
}

}  // namespace
