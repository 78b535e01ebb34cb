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

TEST(DbfValue, NumberFormatFollowsLengthAndDecimals) {
  dbField field = DbfField("N", 'N', 10, 2);
  lumetra::shapefile::BuildNumberFormat(&field);
  EXPECT_STREQ(field.format, "%10.2f");
  field = DbfField("N", 'N', 255, 255);  // "%255.255f" does not fit 8 bytes
  lumetra::shapefile::BuildNumberFormat(&field);
  EXPECT_STREQ(field.format, "");
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

TEST(DbfValue, NumbersAreReadAsDecimalText) {
  const struct {
    std::string text;
    double expected;
  } rows[] = {
      {"    3.14", 3.14},
      {"  -12.50", -12.5},
      {"        ", 0.0},
      {"+7", 7.0},
      {"abc", 0.0},
      {"1e3", 1000.0},
      {std::string("5\0\0", 3), 5.0},
      {"*****", 0.0},
      {"12abc", 12.0},
      {"", 0.0},
  };
  for (const auto& row : rows) {
    const double value = lumetra::shapefile::ParseNumber(
        reinterpret_cast<const std::uint8_t*>(row.text.data()), row.text.size());
    EXPECT_DOUBLE_EQ(value, row.expected) << "'" << row.text << "'";
  }
}

TEST(DbfRoundTrip, ManyRecordsReadBackSequentiallyAndByNumber) {
  const unsigned kSeed = 20240611;
  std::printf("DbfRoundTrip seed %u\n", kSeed);
  std::mt19937 rng(kSeed);
  auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  struct Row {
    std::string name, code, day;
    double amount, ratio;
    int count;
    char flag;
  };
  const std::vector<dbField> kFields{DbfField("NAME", 'C', 20),      DbfField("CODE", 'C', 1),
                                     DbfField("AMOUNT", 'N', 12, 3), DbfField("COUNT", 'N', 6),
                                     DbfField("RATIO", 'F', 10, 4),  DbfField("FLAG", 'L', 1),
                                     DbfField("DAY", 'D', 8)};
  ScopedTempDir dir;
  std::vector<Row> rows(3000);
  std::vector<dbField> fields = kFields;
  dbTable out;
  ASSERT_EQ(Create(&out, &fields, dir.File("many")), 0);
  for (Row& row : rows) {
    for (int i = uniform(0, 20); i > 0; --i) row.name += kAlphabet[uniform(0, 35)];
    row.code = std::string(1, kAlphabet[uniform(0, 35)]);
    row.amount = uniform(-999999999, 999999999) / 1000.0;
    row.ratio = uniform(-1000000, 1000000) / 10000.0;
    row.count = uniform(0, 99999);
    row.flag = "TFYN?"[uniform(0, 4)];
    char day[16];
    std::snprintf(day, sizeof day, "%04d%02d%02d", uniform(1900, 2099), uniform(1, 12),
                  uniform(1, 28));
    row.day = day;
    SetText(&fields[0], row.name);
    SetText(&fields[1], row.code);
    fields[2].value.number = row.amount;
    fields[3].value.number = row.count;
    fields[4].value.number = row.ratio;
    fields[5].value.logical = row.flag;
    SetText(&fields[6], row.day);
    ASSERT_EQ(dbWrite(&out), 0);
  }
  EXPECT_EQ(out.numRecords, 3000);
  ASSERT_EQ(dbClose(&out), 0);

  dbTable in{};
  ASSERT_EQ(dbOpen(&in, dir.File("many.dbf").c_str()), 0);
  EXPECT_EQ(in.numRecords, 3000);
  EXPECT_EQ(in.mode, DB_MODE_READ);
  ASSERT_EQ(in.numFields, 7);
  for (int f = 0; f < 7; ++f) {
    EXPECT_STREQ(in.fields[f].name, kFields[f].name);
    EXPECT_EQ(in.fields[f].type, kFields[f].type);
    EXPECT_EQ(in.fields[f].length, kFields[f].length);
    EXPECT_EQ(in.fields[f].decimals, kFields[f].decimals);
  }
  EXPECT_STREQ(in.fields[2].format, "%12.3f");
  auto expect_row = [&in, &rows](int i) {
    const Row& row = rows[static_cast<std::size_t>(i)];
    SCOPED_TRACE("record " + std::to_string(i));
    EXPECT_STREQ(in.fields[0].value.text, row.name.c_str());
    EXPECT_STREQ(in.fields[1].value.text, row.code.c_str());
    EXPECT_DOUBLE_EQ(in.fields[2].value.number, row.amount);
    EXPECT_DOUBLE_EQ(in.fields[3].value.number, row.count);
    EXPECT_DOUBLE_EQ(in.fields[4].value.number, row.ratio);
    EXPECT_EQ(in.fields[5].value.logical, row.flag);
    EXPECT_STREQ(in.fields[6].value.text, row.day.c_str());
  };
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(dbRead(&in), DB_OK) << i;
    expect_row(i);
  }
  EXPECT_EQ(dbRead(&in), DB_END);
  for (int n = 0; n < 300; ++n) {
    const int i = uniform(0, 2999);
    ASSERT_EQ(dbReadByRecno(&in, i), DB_OK) << i;
    expect_row(i);
  }
  EXPECT_EQ(dbReadByRecno(&in, 3000), DB_END);
  EXPECT_EQ(dbReadByRecno(&in, 0), DB_OK);
  expect_row(0);
  EXPECT_EQ(dbClose(&in), 0);
  EXPECT_EQ(Copy(in.fields), nullptr);
  EXPECT_EQ(Copy(in.stream), nullptr);
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

TEST(DbfFailure, EveryWriteFailureIsReported) {
  lumetra_test::FaultInjection faults;
  ScopedTempDir dir;
  // Writes in dbCreate: placeholder header, two descriptors, terminator.
  for (long failing = 0; failing < 4; ++failing) {
    SCOPED_TRACE("write " + std::to_string(failing));
    std::vector<dbField> fields{DbfField("A", 'C', 4), DbfField("B", 'N', 5, 1)};
    dbTable table;
    lumetra::shapefile::FailWritesAfterForTest(failing);
    ExpectFailureText([&] { return Create(&table, &fields, dir.File("w")); },
                      "fwrite: Input/output error\n");
    EXPECT_EQ(Copy(table.stream), nullptr);
    EXPECT_EQ(dbClose(&table), 0);
  }
  lumetra::shapefile::FailWritesAfterForTest(-1);
  std::vector<dbField> fields{DbfField("A", 'C', 4)};
  dbTable table;
  ASSERT_EQ(Create(&table, &fields, dir.File("w")), 0);
  ASSERT_EQ(dbWrite(&table), 0);
  lumetra::shapefile::FailWritesAfterForTest(0);
  ExpectFailureText([&] { return dbWrite(&table); }, "fwrite: Input/output error\n");
  EXPECT_EQ(table.numRecords, 1);
  ExpectFailureText([&] { return dbClose(&table); }, "fwrite: Input/output error\n");
  EXPECT_EQ(Copy(table.stream), nullptr);
  EXPECT_EQ(Copy(table.record), nullptr);
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
