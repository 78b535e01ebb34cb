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

}  // namespace
