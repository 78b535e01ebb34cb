// dBase tables: byte layout, value conversion, round trips, corruption and
// failure texts, and cross-checks with shapelib's and GDAL's tools.
#include "lumetra/dbf.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "shapefile/dbf_value.h"
#include "shapefile/stdio_support.h"
#include "support/test_files.h"

namespace {

using lumetra_test::ReadBytes;
using lumetra_test::ScopedTempDir;
using lumetra_test::WriteBytes;
using lumetra_test::WriteText;
using Bytes = std::vector<std::uint8_t>;

dbField Field(const char* name, char type, int length, int decimals = 0) {
  dbField field;
  std::memset(&field, 0, sizeof field);
  std::snprintf(field.name, sizeof field.name, "%s", name);
  field.type = type;
  field.length = static_cast<unsigned char>(length);
  field.decimals = static_cast<unsigned char>(decimals);
  return field;
}

void SetText(dbField* field, const std::string& text) {
  std::memset(field->value.text, 0, sizeof field->value.text);
  std::snprintf(field->value.text, sizeof field->value.text, "%s", text.c_str());
}

void Append(Bytes* bytes, const std::string& text) {
  bytes->insert(bytes->end(), text.begin(), text.end());
}
void AppendZeros(Bytes* bytes, std::size_t count) { bytes->insert(bytes->end(), count, 0); }

// Runs `call` while standard error is captured and returns what it printed.
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

// The table used by the corruption tests: three fields, six records.
struct SampleTable {
  std::vector<dbField> fields{Field("NAME", 'C', 5), Field("VAL", 'N', 8, 2), Field("OK", 'L', 1)};
  int records = 6;
};

void WriteSampleTable(const std::string& path, SampleTable* sample) {
  dbTable table{};
  table.numFields = static_cast<int>(sample->fields.size());
  table.fields = sample->fields.data();
  ASSERT_EQ(dbCreate(&table, path.c_str()), 0);
  for (int i = 0; i < sample->records; ++i) {
    SetText(&table.fields[0], "row" + std::to_string(i));
    table.fields[1].value.number = i * 1.25;
    table.fields[2].value.logical = i % 2 ? 'T' : 'F';
    ASSERT_EQ(dbWrite(&table), 0);
  }
  ASSERT_EQ(dbClose(&table), 0);
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

TEST(DbfCreate, TwoWideCharFieldsGiveHeader97AndRecord257) {
  ScopedTempDir dir;
  std::vector<dbField> fields{Field("NAME", 'C', 128), Field("NAME2", 'C', 128)};
  dbTable table{};
  table.numFields = 2;
  table.fields = fields.data();
  ASSERT_EQ(dbCreate(&table, dir.File("t").c_str()), 0);
  EXPECT_EQ(table.headerLength, 97);
  EXPECT_EQ(table.recordLength, 257);
  EXPECT_EQ(table.version, 3);
  EXPECT_EQ(table.mode, DB_MODE_WRITE);
  EXPECT_EQ(table.numRecords, 0);
  EXPECT_EQ(dbClose(&table), 0);
  EXPECT_EQ(ReadBytes(dir.File("t.dbf")).size(), 97u);
}

TEST(DbfCreate, TypedFieldLengthsAreFixed) {
  ScopedTempDir dir;
  std::vector<dbField> fields{Field("D", 'D', 5), Field("L", 'L', 4), Field("M", 'M', 3),
                              Field("C", 'C', 7), Field("N", 'N', 9, 3)};
  dbTable table{};
  table.numFields = static_cast<int>(fields.size());
  table.fields = fields.data();
  ASSERT_EQ(dbCreate(&table, dir.File("t").c_str()), 0);
  EXPECT_EQ(fields[0].length, 8);
  EXPECT_EQ(fields[1].length, 1);
  EXPECT_EQ(fields[2].length, 10);
  EXPECT_EQ(fields[3].length, 7);
  EXPECT_EQ(fields[4].length, 9);
  EXPECT_EQ(table.recordLength, 1 + 8 + 1 + 10 + 7 + 9);
  EXPECT_STREQ(fields[4].format, "%9.3f");
  EXPECT_EQ(dbClose(&table), 0);
}

TEST(DbfValue, NumberFormatFollowsLengthAndDecimals) {
  dbField field = Field("N", 'N', 10, 2);
  lumetra::shapefile::BuildNumberFormat(&field);
  EXPECT_STREQ(field.format, "%10.2f");
  field = Field("N", 'N', 255, 255);  // "%255.255f" does not fit 8 bytes
  lumetra::shapefile::BuildNumberFormat(&field);
  EXPECT_STREQ(field.format, "");
}

TEST(DbfLayout, CreatedTableBytesMatchHandComputedLayout) {
  ScopedTempDir dir;
  std::vector<dbField> fields{Field("NAME", 'C', 5), Field("VAL", 'N', 8, 2), Field("OK", 'L', 1),
                              Field("DAY", 'D', 8)};
  dbTable table{};
  table.numFields = 4;
  table.fields = fields.data();
  ASSERT_EQ(dbCreate(&table, dir.File("layout.dbf").c_str()), 0);
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
  Bytes expected = {0x03, static_cast<std::uint8_t>(local.tm_year),
                    static_cast<std::uint8_t>(local.tm_mon + 1),
                    static_cast<std::uint8_t>(local.tm_mday)};
  Append(&expected, std::string("\x02\x00\x00\x00", 4));  // 2 records
  Append(&expected, std::string("\xA1\x00", 2));          // header 161 = 32 * 4 + 33
  Append(&expected, std::string("\x17\x00", 2));          // record 23 = 1 + 5 + 8 + 1 + 8
  AppendZeros(&expected, 20);
  const struct {
    const char* name;
    char type;
    std::uint8_t length, decimals;
  } descriptors[] = {
      {"NAME", 'C', 5, 0}, {"VAL", 'N', 8, 2}, {"OK", 'L', 1, 0}, {"DAY", 'D', 8, 0}};
  for (const auto& d : descriptors) {
    Append(&expected, d.name);
    AppendZeros(&expected, 11 - std::strlen(d.name));
    expected.push_back(static_cast<std::uint8_t>(d.type));
    AppendZeros(&expected, 4);  // data address
    expected.push_back(d.length);
    expected.push_back(d.decimals);
    AppendZeros(&expected, 14);
  }
  expected.push_back(0x0D);
  Append(&expected, std::string(" abc\0\0    3.14T20240131", 23));
  Append(&expected, std::string(" hello  -12.50F19991231", 23));
  EXPECT_EQ(ReadBytes(dir.File("layout.dbf")), expected);
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

struct Row {
  std::string name, code, day;
  double amount, ratio;
  int count;
  char flag;
};

Row RandomRow(std::mt19937* rng) {
  std::uniform_int_distribution<int> letter(0, 35), name_length(0, 20), flag(0, 4);
  const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  Row row;
  for (int i = name_length(*rng); i > 0; --i) row.name += kAlphabet[letter(*rng)];
  row.code = std::string(1, kAlphabet[letter(*rng)]);
  row.amount = std::uniform_int_distribution<int>(-999999999, 999999999)(*rng) / 1000.0;
  row.ratio = std::uniform_int_distribution<int>(-1000000, 1000000)(*rng) / 10000.0;
  row.count = std::uniform_int_distribution<int>(0, 99999)(*rng);
  row.flag = "TFYN?"[flag(*rng)];
  char day[16];
  std::snprintf(day, sizeof day, "%04d%02d%02d",
                std::uniform_int_distribution<int>(1900, 2099)(*rng),
                std::uniform_int_distribution<int>(1, 12)(*rng),
                std::uniform_int_distribution<int>(1, 28)(*rng));
  row.day = day;
  return row;
}

std::vector<dbField> RoundTripFields() {
  return {Field("NAME", 'C', 20), Field("CODE", 'C', 1),      Field("AMOUNT", 'N', 12, 3),
          Field("COUNT", 'N', 6), Field("RATIO", 'F', 10, 4), Field("FLAG", 'L', 1),
          Field("DAY", 'D', 8)};
}

void ExpectRow(const dbTable& table, const Row& row, int index) {
  EXPECT_STREQ(table.fields[0].value.text, row.name.c_str()) << "record " << index;
  EXPECT_STREQ(table.fields[1].value.text, row.code.c_str()) << "record " << index;
  EXPECT_DOUBLE_EQ(table.fields[2].value.number, row.amount) << "record " << index;
  EXPECT_DOUBLE_EQ(table.fields[3].value.number, row.count) << "record " << index;
  EXPECT_DOUBLE_EQ(table.fields[4].value.number, row.ratio) << "record " << index;
  EXPECT_EQ(table.fields[5].value.logical, row.flag) << "record " << index;
  EXPECT_STREQ(table.fields[6].value.text, row.day.c_str()) << "record " << index;
}

TEST(DbfRoundTrip, ManyRecordsReadBackSequentiallyAndByNumber) {
  const unsigned kSeed = 20240611;
  SCOPED_TRACE("seed " + std::to_string(kSeed));
  std::mt19937 rng(kSeed);
  ScopedTempDir dir;
  std::vector<Row> rows;
  std::vector<dbField> fields = RoundTripFields();
  dbTable out{};
  out.numFields = static_cast<int>(fields.size());
  out.fields = fields.data();
  ASSERT_EQ(dbCreate(&out, dir.File("many").c_str()), 0);
  for (int i = 0; i < 3000; ++i) {
    rows.push_back(RandomRow(&rng));
    const Row& row = rows.back();
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
  const std::vector<dbField> expected_fields = RoundTripFields();
  for (int f = 0; f < 7; ++f) {
    EXPECT_STREQ(in.fields[f].name, expected_fields[static_cast<std::size_t>(f)].name);
    EXPECT_EQ(in.fields[f].type, expected_fields[static_cast<std::size_t>(f)].type);
    EXPECT_EQ(in.fields[f].length, expected_fields[static_cast<std::size_t>(f)].length);
    EXPECT_EQ(in.fields[f].decimals, expected_fields[static_cast<std::size_t>(f)].decimals);
  }
  EXPECT_STREQ(in.fields[2].format, "%12.3f");
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(dbRead(&in), DB_OK) << i;
    ExpectRow(in, rows[static_cast<std::size_t>(i)], i);
  }
  EXPECT_EQ(dbRead(&in), DB_END);
  std::uniform_int_distribution<int> pick(0, 2999);
  for (int n = 0; n < 300; ++n) {
    const int i = pick(rng);
    ASSERT_EQ(dbReadByRecno(&in, i), DB_OK) << i;
    ExpectRow(in, rows[static_cast<std::size_t>(i)], i);
  }
  EXPECT_EQ(dbReadByRecno(&in, 3000), DB_END);
  EXPECT_EQ(dbReadByRecno(&in, 0), DB_OK);
  ExpectRow(in, rows[0], 0);
  EXPECT_EQ(dbClose(&in), 0);
  EXPECT_EQ(Copy(in.fields), nullptr);
  EXPECT_EQ(Copy(in.stream), nullptr);
}

TEST(DbfRead, EmptyTableEndsAtOnce) {
  ScopedTempDir dir;
  SampleTable sample;
  sample.records = 0;
  WriteSampleTable(dir.File("e.dbf"), &sample);
  dbTable table{};
  ASSERT_EQ(dbOpen(&table, dir.File("e.dbf").c_str()), 0);
  EXPECT_EQ(table.numRecords, 0);
  EXPECT_EQ(dbRead(&table), DB_END);
  EXPECT_EQ(dbReadByRecno(&table, 0), DB_END);
  EXPECT_EQ(dbClose(&table), 0);
}

TEST(DbfRead, DeletedRecordsAreReturnedLikeOthers) {
  ScopedTempDir dir;
  SampleTable sample;
  WriteSampleTable(dir.File("d.dbf"), &sample);
  Bytes bytes = ReadBytes(dir.File("d.dbf"));
  const std::size_t header = 32 * 3 + 33, record = 1 + 5 + 8 + 1;
  bytes[header + 2 * record] = '*';
  WriteBytes(dir.File("d.dbf"), bytes);
  dbTable table{};
  ASSERT_EQ(dbOpen(&table, dir.File("d.dbf").c_str()), 0);
  ASSERT_EQ(dbReadByRecno(&table, 2), DB_OK);
  EXPECT_STREQ(table.fields[0].value.text, "row2");
  EXPECT_DOUBLE_EQ(table.fields[1].value.number, 2.5);
  dbClose(&table);
}

TEST(DbfRead, UnknownFieldTypesAreSkippedByLength) {
  ScopedTempDir dir;
  std::vector<dbField> fields{Field("A", 'C', 2), Field("X", 'X', 3), Field("M", 'M', 1),
                              Field("B", 'C', 2)};
  dbTable out{};
  out.numFields = 4;
  out.fields = fields.data();
  ASSERT_EQ(dbCreate(&out, dir.File("u").c_str()), 0);
  SetText(&fields[0], "ab");
  SetText(&fields[1], "zzz");
  SetText(&fields[3], "cd");
  ASSERT_EQ(dbWrite(&out), 0);
  ASSERT_EQ(dbClose(&out), 0);
  const Bytes bytes = ReadBytes(dir.File("u.dbf"));
  // 'X' and 'M' stay zero bytes: " ab" + 3 + 10 zeros + "cd".
  const std::string record(bytes.end() - 18, bytes.end());
  EXPECT_EQ(record, std::string(" ab\0\0\0\0\0\0\0\0\0\0\0\0\0cd", 18));

  dbTable in{};
  ASSERT_EQ(dbOpen(&in, dir.File("u.dbf").c_str()), 0);
  SetText(&in.fields[1], "untouched");
  ASSERT_EQ(dbRead(&in), DB_OK);
  EXPECT_STREQ(in.fields[0].value.text, "ab");
  EXPECT_STREQ(in.fields[1].value.text, "untouched");
  EXPECT_STREQ(in.fields[3].value.text, "cd");
  dbClose(&in);
}

TEST(DbfRead, HeaderLengthBeyondDescriptorsStillUsesFieldFormula) {
  ScopedTempDir dir;
  SampleTable sample;
  WriteSampleTable(dir.File("h.dbf"), &sample);
  Bytes bytes = ReadBytes(dir.File("h.dbf"));
  bytes[8] =
      static_cast<std::uint8_t>(bytes[8] + 20);  // 129 -> 149: still (149 - 1) / 32 - 1 = 3 fields
  WriteBytes(dir.File("h.dbf"), bytes);
  dbTable table{};
  ASSERT_EQ(dbOpen(&table, dir.File("h.dbf").c_str()), 0);
  EXPECT_EQ(table.numFields, 3);
  EXPECT_EQ(table.headerLength, 149);
  // Sequential reading continues right after the terminator.
  ASSERT_EQ(dbRead(&table), DB_OK);
  EXPECT_STREQ(table.fields[0].value.text, "row0");
  ASSERT_EQ(dbRead(&table), DB_OK);
  EXPECT_STREQ(table.fields[0].value.text, "row1");
  dbClose(&table);
}

TEST(DbfRead, EndOfFileMarkerEndsTable) {
  ScopedTempDir dir;
  SampleTable sample;
  WriteSampleTable(dir.File("m.dbf"), &sample);
  Bytes bytes = ReadBytes(dir.File("m.dbf"));
  bytes.push_back(0x1A);
  WriteBytes(dir.File("m.dbf"), bytes);
  dbTable table{};
  ASSERT_EQ(dbOpen(&table, dir.File("m.dbf").c_str()), 0);
  for (int i = 0; i < 6; ++i) ASSERT_EQ(dbRead(&table), DB_OK);
  EXPECT_EQ(dbRead(&table), DB_END);
  EXPECT_EQ(dbReadByRecno(&table, 6), DB_END);
  dbClose(&table);
}

TEST(DbfName, ExtensionIsAddedUnlessPresent) {
  const struct {
    const char* given;
    const char* created;
  } rows[] = {
      {"plain", "plain.dbf"}, {"a.dbf", "a.dbf"},       {".dbf", ".dbf.dbf"},
      {"x.DBF", "x.DBF.dbf"}, {"y.dbfx", "y.dbfx.dbf"},
  };
  for (const auto& row : rows) {
    ScopedTempDir dir;
    lumetra_test::ScopedChdir in_dir(dir.path());
    std::vector<dbField> fields{Field("A", 'C', 1)};
    dbTable table{};
    table.numFields = 1;
    table.fields = fields.data();
    ASSERT_EQ(dbCreate(&table, row.given), 0) << row.given;
    ASSERT_EQ(dbClose(&table), 0);
    EXPECT_EQ(lumetra_test::ListDir(dir.path()), std::vector<std::string>{row.created})
        << row.given;
    dbTable in{};
    EXPECT_EQ(dbOpen(&in, row.given), 0) << row.given;
    dbClose(&in);
  }
}

TEST(DbfCorruption, EveryTruncationIsRefusedWithItsText) {
  ScopedTempDir dir;
  SampleTable sample;
  WriteSampleTable(dir.File("full.dbf"), &sample);
  const Bytes bytes = ReadBytes(dir.File("full.dbf"));
  ASSERT_EQ(bytes.size(), 129u + 6u * 15u);
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    WriteBytes(dir.File("cut.dbf"),
               Bytes(bytes.begin(), bytes.begin() + static_cast<long>(length)));
    int result = 0;
    const std::string text = StderrOf([&] { result = OpenAndReadAll(dir.File("cut.dbf")); });
    EXPECT_EQ(result, -1) << "length " << length;
    const char* expected = length < 32            ? "dbOpen: fread: No data available\n"
                           : length < 32 + 3 * 32 ? "ReadFields: fread 1: No data available\n"
                           : length == 128        ? "ReadFields: fread 2: No data available\n"
                                                  : "dbOpen: ";
    EXPECT_TRUE(StartsWith(text, expected)) << "length " << length << ": " << text;
  }
}

TEST(DbfCorruption, ByteFlipsNeverCrashAndStructuralOnesAreRefused) {
  ScopedTempDir dir;
  SampleTable sample;
  WriteSampleTable(dir.File("full.dbf"), &sample);
  const Bytes bytes = ReadBytes(dir.File("full.dbf"));
  // record count (high byte), record length (both bytes), first field length
  const std::size_t refused[] = {7, 10, 11, 32 + 16};
  for (std::size_t offset = 0; offset < bytes.size(); ++offset) {
    Bytes flipped = bytes;
    flipped[offset] ^= 0xFF;
    WriteBytes(dir.File("flip.dbf"), flipped);
    int result = 0;
    StderrOf([&] { result = OpenAndReadAll(dir.File("flip.dbf")); });
    EXPECT_TRUE(result == -1 || result == 1) << "offset " << offset;
    for (std::size_t bad : refused) {
      if (offset == bad) {
        EXPECT_EQ(result, -1) << "offset " << offset;
      }
    }
  }
}

TEST(DbfCorruption, PartialLastRecordIsAReadFailure) {
  ScopedTempDir dir;
  SampleTable sample;
  WriteSampleTable(dir.File("p.dbf"), &sample);
  Bytes bytes = ReadBytes(dir.File("p.dbf"));
  bytes.resize(bytes.size() + 7, ' ');  // half a seventh record beyond the six declared
  WriteBytes(dir.File("p.dbf"), bytes);
  dbTable table{};
  ASSERT_EQ(dbOpen(&table, dir.File("p.dbf").c_str()), 0);
  for (int i = 0; i < 6; ++i) ASSERT_EQ(dbRead(&table), DB_OK);
  int result = 0;
  EXPECT_EQ(StderrOf([&] { result = dbRead(&table); }), "dbRead: fread: No data available\n");
  EXPECT_EQ(result, DB_ERROR);
  dbClose(&table);
}

TEST(DbfFailure, OpenTexts) {
  ScopedTempDir dir;
  const std::string missing = dir.File("missing.dbf");
  dbTable table{};
  int result = 0;
  EXPECT_EQ(StderrOf([&] { result = dbOpen(&table, dir.File("missing").c_str()); }),
            missing + ": No such file or directory\n");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(StderrOf([&] { result = dbOpen(nullptr, "x"); }), "dbOpen: Invalid argument\n");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(StderrOf([&] { result = dbOpen(&table, nullptr); }), "dbOpen: Invalid argument\n");
  EXPECT_EQ(result, -1);

  Bytes header(32, 0);
  header[8] = 20;  // header length below 33
  header[10] = 1;
  WriteBytes(dir.File("short.dbf"), header);
  const std::string text =
      StderrOf([&] { result = dbOpen(&table, dir.File("short.dbf").c_str()); });
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(StartsWith(text, "dbOpen: " + dir.File("short.dbf") + ": header length 20")) << text;
  EXPECT_NE(text.find(": Invalid argument\n"), std::string::npos) << text;
  EXPECT_EQ(Copy(table.stream), nullptr);
  EXPECT_EQ(dbClose(&table), 0);
}

TEST(DbfFailure, FieldsLongerThanTheRecordAreRefused) {
  ScopedTempDir dir;
  SampleTable sample;
  WriteSampleTable(dir.File("f.dbf"), &sample);
  Bytes bytes = ReadBytes(dir.File("f.dbf"));
  bytes[32 + 32 + 16] = 9;  // VAL 8 -> 9 bytes: 1 + 5 + 9 + 1 > 15
  WriteBytes(dir.File("f.dbf"), bytes);
  dbTable table{};
  int result = 0;
  const std::string text = StderrOf([&] { result = dbOpen(&table, dir.File("f.dbf").c_str()); });
  EXPECT_EQ(result, -1);
  EXPECT_EQ(
      text,
      "ReadFields: field 2 (OK) ends at byte 16, past the record length 15: Invalid argument\n");
  EXPECT_EQ(Copy(table.fields), nullptr);
  EXPECT_EQ(dbClose(&table), 0);
}

TEST(DbfFailure, ReadAndWriteTexts) {
  ScopedTempDir dir;
  SampleTable sample;
  WriteSampleTable(dir.File("r.dbf"), &sample);
  dbTable in{};
  ASSERT_EQ(dbOpen(&in, dir.File("r.dbf").c_str()), 0);
  int result = 0;
  EXPECT_EQ(StderrOf([&] { result = dbReadByRecno(&in, -1); }),
            "dbReadByRecno: fseek: Invalid argument\n");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(StderrOf([&] { result = dbWrite(&in); }), "fwrite: Bad file descriptor\n");
  EXPECT_EQ(result, -1);
  // A caller who widens a field past the record is stopped before the copy.
  in.fields[2].length = 200;
  EXPECT_EQ(StderrOf([&] { result = dbRead(&in); }),
            "dbRead: field 2 (OK) ends at byte 214, past the record length 15: Invalid argument\n");
  EXPECT_EQ(result, -1);
  in.fields[2].length = 1;
  dbClose(&in);

  EXPECT_EQ(StderrOf([&] { result = dbRead(nullptr); }), "dbRead: Invalid argument\n");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(StderrOf([&] { result = dbRead(&in); }), "dbRead: Bad file descriptor\n");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(StderrOf([&] { result = dbWrite(nullptr); }), "fwrite: Invalid argument\n");
  EXPECT_EQ(result, -1);

  std::vector<dbField> fields{Field("A", 'C', 4)};
  dbTable out{};
  out.numFields = 1;
  out.fields = fields.data();
  ASSERT_EQ(dbCreate(&out, dir.File("w").c_str()), 0);
  EXPECT_EQ(StderrOf([&] { result = dbRead(&out); }), "dbRead: Bad file descriptor\n");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(dbClose(&out), 0);
}

TEST(DbfFailure, CreateTexts) {
  ScopedTempDir dir;
  std::vector<dbField> fields{Field("A", 'C', 4)};
  dbTable table{};
  table.numFields = 1;
  table.fields = fields.data();
  int result = 0;
  const std::string bad_dir = dir.File("no/such/dir/t");
  EXPECT_EQ(StderrOf([&] { result = dbCreate(&table, bad_dir.c_str()); }),
            bad_dir + ".dbf: No such file or directory\n");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(Copy(table.stream), nullptr);
  EXPECT_EQ(dbClose(&table), 0);
  EXPECT_EQ(fields[0].length, 4);  // still the caller's, not freed

  EXPECT_EQ(StderrOf([&] { result = dbCreate(nullptr, "t"); }), "dbCreate: Invalid argument\n");
  table.numFields = -1;
  const std::string text = StderrOf([&] { result = dbCreate(&table, dir.File("t").c_str()); });
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(StartsWith(text, "dbCreate: -1 fields")) << text;

  std::vector<dbField> wide(300, Field("W", 'C', 255));
  table.numFields = 300;
  table.fields = wide.data();
  const std::string wide_text = StderrOf([&] { result = dbCreate(&table, dir.File("t").c_str()); });
  EXPECT_EQ(result, -1);
  EXPECT_EQ(wide_text,
            "dbCreate: fields need a record of 76501 bytes, at most 65535 fit: Invalid argument\n");
}

// Lifts the test limits on allocations and writes when it goes away.
struct FaultInjection {
  ~FaultInjection() {
    lumetra::shapefile::SetAllocationLimitForTest(SIZE_MAX);
    lumetra::shapefile::FailWritesAfterForTest(-1);
  }
};

TEST(DbfFailure, EveryCreateWriteFailureIsReported) {
  FaultInjection faults;
  ScopedTempDir dir;
  // Writes in dbCreate: placeholder header, two descriptors, terminator.
  for (long failing = 0; failing < 4; ++failing) {
    std::vector<dbField> fields{Field("A", 'C', 4), Field("B", 'N', 5, 1)};
    dbTable table{};
    table.numFields = 2;
    table.fields = fields.data();
    lumetra::shapefile::FailWritesAfterForTest(failing);
    int result = 0;
    EXPECT_EQ(StderrOf([&] { result = dbCreate(&table, dir.File("w").c_str()); }),
              "fwrite: Input/output error\n")
        << "write " << failing;
    EXPECT_EQ(result, -1);
    EXPECT_EQ(Copy(table.stream), nullptr);
    EXPECT_EQ(dbClose(&table), 0);
  }
}

TEST(DbfFailure, RecordAndHeaderWriteFailuresAreReported) {
  FaultInjection faults;
  ScopedTempDir dir;
  std::vector<dbField> fields{Field("A", 'C', 4)};
  dbTable table{};
  table.numFields = 1;
  table.fields = fields.data();
  ASSERT_EQ(dbCreate(&table, dir.File("w").c_str()), 0);
  ASSERT_EQ(dbWrite(&table), 0);
  lumetra::shapefile::FailWritesAfterForTest(0);
  int result = 0;
  EXPECT_EQ(StderrOf([&] { result = dbWrite(&table); }), "fwrite: Input/output error\n");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(table.numRecords, 1);
  EXPECT_EQ(StderrOf([&] { result = dbClose(&table); }), "fwrite: Input/output error\n");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(Copy(table.stream), nullptr);
  EXPECT_EQ(Copy(table.record), nullptr);
}

TEST(DbfFailure, AllocationFailuresAreReportedNotFatal) {
  FaultInjection faults;
  ScopedTempDir dir;
  SampleTable sample;
  WriteSampleTable(dir.File("a.dbf"), &sample);
  lumetra::shapefile::SetAllocationLimitForTest(3 * sizeof(dbField) - 1);
  dbTable table{};
  int result = 0;
  EXPECT_EQ(StderrOf([&] { result = dbOpen(&table, dir.File("a.dbf").c_str()); }),
            "dbOpen: _CALLOC: Cannot allocate memory\n");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(Copy(table.stream), nullptr);

  lumetra::shapefile::SetAllocationLimitForTest(200);
  std::vector<dbField> fields{Field("A", 'C', 250)};
  table.numFields = 1;
  table.fields = fields.data();
  EXPECT_EQ(StderrOf([&] { result = dbCreate(&table, dir.File("b").c_str()); }),
            "_CALLOC: Cannot allocate memory\n");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(dbClose(&table), 0);
}

// /dev/full accepts opening and refuses every write that reaches it; a small
// table reaches it only when dbClose rewrites the header.
TEST(DbfFailure, DiskFullIsReportedByClose) {
  ScopedTempDir dir;
  if (access("/dev/full", W_OK) != 0 || symlink("/dev/full", dir.File("full.dbf").c_str()) != 0) {
    GTEST_SKIP() << "/dev/full is not available";
  }
  std::vector<dbField> one{Field("A", 'C', 3)};
  dbTable table{};
  table.numFields = 1;
  table.fields = one.data();
  ASSERT_EQ(dbCreate(&table, dir.File("full.dbf").c_str()), 0);
  ASSERT_EQ(dbWrite(&table), 0);
  int result = 0;
  EXPECT_EQ(StderrOf([&] { result = dbClose(&table); }), "fwrite: No space left on device\n");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(Copy(table.stream), nullptr);
}

TEST(DbfClose, NullAndRepeatedCloseAreHarmless) {
  EXPECT_EQ(dbClose(nullptr), 0);
  ScopedTempDir dir;
  SampleTable sample;
  WriteSampleTable(dir.File("c.dbf"), &sample);
  dbTable table{};
  ASSERT_EQ(dbOpen(&table, dir.File("c.dbf").c_str()), 0);
  EXPECT_EQ(dbClose(&table), 0);
  EXPECT_EQ(dbClose(&table), 0);
  EXPECT_EQ(Copy(table.record), nullptr);
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

// Runs a shell command and returns its standard output.
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

TEST(DbfOracle, DbfdumpReadsOurTable) {
  const std::string dbfdump = FindTool("dbfdump");
  if (dbfdump.empty()) GTEST_SKIP() << "dbfdump (Debian package shapelib) is not installed";
  ScopedTempDir dir;
  std::vector<dbField> fields{Field("NAME", 'C', 12), Field("VAL", 'N', 10, 2),
                              Field("CNT", 'N', 5)};
  dbTable out{};
  out.numFields = 3;
  out.fields = fields.data();
  ASSERT_EQ(dbCreate(&out, dir.File("o").c_str()), 0);
  const struct {
    const char* name;
    double value;
    int count;
  } rows[] = {{"alpha", 3.14159, 7}, {"beta gamma", -2.5, 12345}, {"", 0.0, 0}};
  for (const auto& row : rows) {
    SetText(&fields[0], row.name);
    fields[1].value.number = row.value;
    fields[2].value.number = row.count;
    ASSERT_EQ(dbWrite(&out), 0);
  }
  ASSERT_EQ(dbClose(&out), 0);
  const std::string header = RunCommand(dbfdump + " -h " + dir.File("o.dbf") + " | head -3");
  EXPECT_EQ(header,
            "Field 0: Type=C/String, Title=`NAME', Width=12, Decimals=0\n"
            "Field 1: Type=N/Double, Title=`VAL', Width=10, Decimals=2\n"
            "Field 2: Type=N/Integer, Title=`CNT', Width=5, Decimals=0\n");
  const std::string records = RunCommand(dbfdump + " -m " + dir.File("o.dbf"));
  // dbfdump pads texts to the field width and shows an all-zero text as
  // (NULL).
  EXPECT_EQ(records,
            "\nRecord: 0\nNAME: alpha       \nVAL:       3.14\nCNT:     7\n"
            "\nRecord: 1\nNAME: beta gamma  \nVAL:      -2.50\nCNT: 12345\n"
            "\nRecord: 2\nNAME: (NULL)      \nVAL:       0.00\nCNT:     0\n\n");
}

TEST(DbfOracle, ReadsTablesWrittenByShapelibAndOgr2ogr) {
  const std::string dbfcreate = FindTool("dbfcreate"), dbfadd = FindTool("dbfadd");
  if (dbfcreate.empty() || dbfadd.empty())
    GTEST_SKIP() << "dbfcreate/dbfadd (package shapelib) not installed";
  ScopedTempDir dir;
  const std::string base = dir.File("lib");
  RunCommand(dbfcreate + " " + base + " -s NAME 20 -n VAL 10 2 >/dev/null");
  RunCommand(dbfadd + " " + base + " hello 3.14159 >/dev/null");
  RunCommand(dbfadd + " " + base + " \"x y\" -2.5 >/dev/null");
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

  const std::string ogr2ogr = FindTool("ogr2ogr");
  if (ogr2ogr.empty()) GTEST_SKIP() << "ogr2ogr (Debian package gdal-bin) is not installed";
  WriteText(dir.File("in.csv"), "NAME,VAL,CNT\nOslo,59.91,7\nLima,-12.05,123\n");
  RunCommand(ogr2ogr + " -q -f \"ESRI Shapefile\" " + dir.File("gdal.dbf") + " " +
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
