// BNARead: the character-level coordinate conversion, name positions, each
// object kind, region rings and markers, and every failure with its line.
#include "import/bna_read.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/io_object_file.h"
#include "support/io_tools.h"

namespace {

using lumetra::ObjectKind;
using lumetra::RecordPoint;
using lumetra_test::Describe;
using lumetra_test::ErrorText;
using lumetra_test::Points;
using lumetra_test::ReadAll;

// A BNA object from a header text and its points as "x y x y ..." in whole
// units, one "x,y" line each.
std::string Object(const std::string& header, const std::string& xy) {
  std::istringstream in(xy);
  std::string out = header + "\n";
  for (int x = 0, y = 0; in >> x >> y;) out += std::to_string(x) + "," + std::to_string(y) + "\n";
  return out;
}

class BnaTest : public lumetra_test::ObjectFileTest {
 protected:
  std::unique_ptr<BNARead> Open(const std::string& text, int position = 1) {
    lumetra_test::WriteText(Path("in.bna"), text);
    return std::make_unique<BNARead>(*build_, Path("in.bna").c_str(), position);
  }
  // Imports text with a fresh build; expects the reader to reach the end.
  std::vector<lumetra_test::StoredObject> Import(const std::string& text,
                                                 std::vector<int>* results = nullptr) {
    MakeBuild();
    auto reader = Open(text);
    const std::vector<int> r = ReadAll(*reader);
    EXPECT_EQ(r.back(), 0) << err_.detail();
    if (results != nullptr) *results = r;
    reader.reset();
    return Finish();
  }
};

TEST_F(BnaTest, NamesComeFromTheChosenHeaderField) {
  const char* kWarning = "WARNING: Invalid nameField parameter. Parameter set to 1.";
  const char* kThree = "\"A\",\"B\",\"C\",1\n1,2\n";
  const char* kLine = "\"Lake\",\"Park\",-3\n0,0\n1,1\n2,0\n";
  // With position 3 a header needs four fields: "A","B",1 is no header.
  const char* kNoHeaders = "\n   \n\"A\",\"B\",1\n1,2\n\"only\"\n\"A\",\"B\",\"C\",1\n5,6\n";
  const char* kQuoted = "\"Smith, John\",'tab\there',1\n1,2\n'x, y'\t\"z\"\t  -2  \n0,0\n1,1\n";
  const std::string kLong = "\"" + std::string(300, 'n') + "\",1\n1,2\n";
  const struct {
    const char* what;
    std::string text;
    int position;
    std::vector<int> results;
    std::vector<std::string> names;
    const char* warning;  // code 106, or null for none
  } rows[] = {
      {"position 1", kThree, 1, {1, 0}, {"A"}, nullptr},
      {"position 2", kThree, 2, {1, 0}, {"B"}, nullptr},
      {"position 3", kThree, 3, {1, 0}, {"C"}, nullptr},
      {"position 0", kThree, 0, {1, 0}, {"A"}, kWarning},
      {"position 4", kThree, 4, {1, 0}, {"A"}, kWarning},
      {"position -1", kThree, -1, {1, 0}, {"A"}, kWarning},
      {"second name of a line", kLine, 2, {1, 0}, {"Park"}, nullptr},
      {"lines without name and count are passed over", kNoHeaders, 3, {1, 0}, {"C"}, nullptr},
      {"quoted fields hold delimiters", kQuoted, 1, {1, 1, 0}, {"Smith, John", "x, y"}, nullptr},
      {"long names are cut", kLong, 1, {1, 0}, {std::string(127, 'n')}, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    MakeBuild();
    auto reader = Open(row.text, row.position);
    ASSERT_TRUE(reader->success());
    EXPECT_EQ(reader->name_position(), row.warning != nullptr ? 1 : row.position);
    EXPECT_EQ(err_.code(), row.warning != nullptr ? 106 : -1);
    if (row.warning != nullptr) {
      EXPECT_STREQ(err_.detail(), row.warning);
    }
    EXPECT_EQ(ReadAll(*reader), row.results) << err_.detail();
    reader.reset();
    std::vector<std::string> names;
    for (const auto& s : Finish()) {
      names.push_back(s.name);
      EXPECT_EQ(s.name2, "");  // BNA objects carry no second name
    }
    EXPECT_EQ(names, row.names);
  }
}

TEST_F(BnaTest, EveryObjectKind) {
  std::vector<int> results;
  const auto stored = Import(Object("\"pt\",\"x\",1", "3 4") + Object("\"two\",2", "0 0 1 1") +
                                 Object("\"line\",-3", "0 0 2 2 4 0") +
                                 Object("\"lake\",10", "0 0 9 0 9 9 0 9 0 0 2 2 5 2 2 5 2 2 0 0"),
                             &results);
  EXPECT_EQ(results, (std::vector<int>{1, 2, 1, 1, 0}));
  // Labels at the centre of the rectangle grown by one unit; region rings
  // without closing points and markers; no second name, id, style or colour.
  EXPECT_EQ(
      Describe(stored),
      (std::vector<std::string>{
          "point \"pt\" colour 0 (3000000,4000000)",
          "line \"line\" colour 0 rings 3 (0,0) (2000000,2000000) (4000000,0) "
          "label 2000000,1000000",
          "region \"lake\" colour 0 rings 4,3 (0,0) (9000000,0) (9000000,9000000) (0,9000000) "
          "(2000000,2000000) (5000000,2000000) (2000000,5000000) label 4500000,4500000"}));
}

// Each failure names the file and the line that shows it (an unclosed end:
// the last line) and fails the reader for good.
TEST_F(BnaTest, FailuresNameFileAndLine) {
  const struct {
    const char* what;
    const char* text;
    const char* message;
    int line;
    int max_points, max_parts;
  } rows[] = {
      {"point without its line", "\"p\",1\n", "Unexpected End of File.", 2, 100, 10},
      {"point with one field", "\"p\",1\n12.5\n", "Syntax error.", 2, 100, 10},
      {"point on a blank line", "\"p\",1\n\n", "Syntax error.", 2, 100, 10},
      {"line cut short", "\"l\",-3\n0,0\n1,1\n", "Unexpected End of File.", 4, 100, 10},
      {"line point with one field", "\"l\",-3\n0,0\n1\n2,2\n", "Syntax error.", 3, 100, 10},
      {"line too large", "\"l\",-4\n0,0\n1,1\n2,2\n3,3\n", "Object too large.", 5, 3, 10},
      {"region too large", "\"r\",5\n0,0\n1,0\n1,1\n0,1\n0,0\n", "Object too large.", 5, 3, 10},
      {"region cut short", "\"r\",5\n0,0\n1,0\n", "Unexpected End of File.", 4, 100, 10},
      {"region point with one field", "\"r\",4\n0,0\n1\n", "Syntax error.", 3, 100, 10},
      {"count 0 reads one point", "\"r\",0\n3,3\n\"next\",1\n1,1\n",
       "Ended with an unclosed polygon.", 2, 100, 10},
      {"unclosed", "\"r\",4\n0,0\n1,0\n1,1\n0,1\n", "Ended with an unclosed polygon.", 5, 100, 10},
      {"too many rings", "\"r\",12\n0,0\n1,0\n1,1\n0,0\n5,5\n6,5\n6,6\n5,5\n8,8\n9,8\n9,9\n8,8\n",
       "Too many polygons in object.", 10, 100, 1},
      {"two-point object cut short", "\"s\",2\n0,0\n", "Unexpected End of File.", 3, 100, 10},
      {"huge negative count", "\"l\",-2000000000\n0,0\n", "Unexpected End of File.", 3, 100, 10},
      {"huge count", "\"r\",99999999999999999999999\n0,0\n1,0\n1,1\n0,0\n",
       "Unexpected End of File.", 6, 100, 10},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    MakeBuild(row.max_points, row.max_parts);
    auto reader = Open(row.text);
    ASSERT_TRUE(reader->success());
    EXPECT_EQ(ReadAll(*reader), std::vector<int>{-1});
    EXPECT_EQ(err_.code(), 100);
    EXPECT_EQ(err_.detail(), ErrorText(row.message, Path("in.bna"), row.line));
    EXPECT_FALSE(reader->ReadObject());
    EXPECT_FALSE(reader->success());
  }
}

}  // namespace
