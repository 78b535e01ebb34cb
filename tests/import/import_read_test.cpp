// ImportTextFile (lines, tokens, delimited fields, progress) and the
// coordinate conversion of ImportRead.
#include "import/import_read.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "frame/error.h"
#include "support/test_files.h"

namespace {

using lumetra_test::ScopedTempDir;
using lumetra_test::WriteText;

class TextFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir_.File(name);
    WriteText(path, text);
    return path;
  }
  ScopedTempDir dir_;
  QError err_;
};

TEST_F(TextFileTest, ReadsLinesAndCountsThem) {
  ImportTextFile in(err_, Write("a.txt", "first line\n\nthird\n").c_str(), nullptr);
  ASSERT_TRUE(in.success());
  EXPECT_STREQ(in.delimiters(), " \t\n");
  ASSERT_TRUE(in.ReadLine());
  EXPECT_STREQ(in.line(), "first line");
  EXPECT_EQ(in.line_number(), 1u);
  ASSERT_TRUE(in.ReadLine());
  EXPECT_STREQ(in.line(), "");
  EXPECT_EQ(in.NextToken(), nullptr);  // a blank line has no token
  ASSERT_TRUE(in.ReadLine());
  EXPECT_STREQ(in.line(), "third");
  EXPECT_EQ(in.line_number(), 3u);
  EXPECT_FALSE(in.ReadLine());
  EXPECT_TRUE(in.at_end());
  EXPECT_FALSE(in.failed());
}

TEST_F(TextFileTest, MissingFileAndFileWithoutLineEndsAreRefused) {
  ImportTextFile in(err_, dir_.File("missing.txt").c_str(), nullptr);
  EXPECT_FALSE(in.success());
  EXPECT_TRUE(in.failed());
  EXPECT_GT(err_.code(), 0);
  EXPECT_FALSE(in.ReadLine());
  ImportTextFile unnamed(err_, nullptr, nullptr);
  EXPECT_FALSE(unnamed.success());
  ImportTextFile flat(err_, Write("flat.txt", "no line end here").c_str(), nullptr);
  EXPECT_FALSE(flat.success());
  EXPECT_EQ(err_.code(), 100);
}

TEST_F(TextFileTest, TokensFollowTheDelimiterSetOfEachCall) {
  ImportTextFile in(err_, Write("t.mif", "  Pen (2,2,255)\tx\n").c_str(), " \t\n");
  ASSERT_TRUE(in.ReadLine());
  EXPECT_STREQ(in.NextToken("( ,\t\n"), "Pen");
  EXPECT_STREQ(in.NextToken("( ,\t\n"), "2");
  EXPECT_STREQ(in.NextToken(") ,\t\n"), "2");
  EXPECT_STREQ(in.NextToken(") ,\t\n"), "255");
  EXPECT_STREQ(in.Rest(), "\tx");
  EXPECT_STREQ(in.NextToken(), "x");
  EXPECT_EQ(in.NextToken(), nullptr);
  EXPECT_STREQ(in.line(), "  Pen (2,2,255)\tx");  // the line itself is untouched
  in.RestartTokens();
  EXPECT_STREQ(in.NextToken(), "Pen");
}

struct FieldRow {
  const char* line;
  std::vector<std::string> fields;
};

TEST_F(TextFileTest, DelimitedFieldsFollowTheRowRules) {
  const FieldRow rows[] = {
      {"a,b,c", {"a", "b", "c"}},
      {"a,,b", {"a", "", "b"}},
      {"  a  ,b", {"a  ", "b"}},
      {"a\tb", {"a", "b"}},
      {"\"x, y\",z", {"x, y", "z"}},
      {"\"say \"\"hi\"\"\",2", {"say \"\"hi\"\"", "2"}},
      {"'a'junk,b", {"a", "b"}},
      {"\"abc\"def\",x", {"abc\"def", "x"}},
      {"'it''s' , 'x'", {"it''s", "x"}},
      {"a,b,", {"a", "b"}},
      {"a,b,   ", {"a", "b", ""}},
      {"", {}},
      {"   ", {""}},
      {"\"open", {"open"}},
  };
  std::string text;
  for (const FieldRow& row : rows) text += std::string(row.line) + "\n";
  ImportTextFile in(err_, Write("rows.mid", text).c_str(), ",\t\n");
  for (const FieldRow& row : rows) {
    ASSERT_TRUE(in.ReadLine()) << row.line;
    std::vector<std::string> fields;
    std::string field;
    while (in.NextField(&field)) fields.push_back(field);
    EXPECT_EQ(fields, row.fields) << "row: " << row.line;
  }
}

// Progress rounds an exact half down and anything above it up.
TEST_F(TextFileTest, ProgressIsThePositionInPercentRounded) {
  const struct {
    std::string text;  // two lines of 200 bytes in all
    std::size_t first_line_end;
    int first;
  } rows[] = {
      {std::string(100, 'a') + "\n" + std::string(98, 'b') + "\n", 101, 50},  // 50.5 %
      {"ab\n" + std::string(196, 'x') + "\n", 3, 1},                          // 1.5 %
      {std::string(101, 'a') + "\n" + std::string(97, 'b') + "\n", 102, 51},  // 51 %
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.first_line_end);
    ImportTextFile in(err_, Write("p.txt", row.text).c_str(), nullptr);
    EXPECT_EQ(in.file_size(), 200);
    EXPECT_EQ(in.PercentDone(), 0);
    ASSERT_TRUE(in.ReadLine());
    EXPECT_EQ(in.position(), row.first_line_end);
    EXPECT_EQ(in.PercentDone(), row.first);
    ASSERT_TRUE(in.ReadLine());
    EXPECT_EQ(in.PercentDone(), 100);
  }
}

TEST(ImportReadUnits, CoordinatesAreMillionthsTruncatedTowardZero) {
  const struct {
    double in;
    std::int32_t out;
  } rows[] = {
      {1.5, 1500000},
      {-87.5, -87500000},
      {41.1234567, 41123456},
      {-41.1234567, -41123456},
      {-0.0000009, 0},
      {1e10, std::numeric_limits<std::int32_t>::max()},
      {-1e10, std::numeric_limits<std::int32_t>::min()},
      {std::nan(""), 0},
  };
  for (const auto& row : rows) EXPECT_EQ(ImportRead::ToFileUnits(row.in), row.out) << row.in;
}

}  // namespace
