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

TEST(BnaCoordinate, ConvertsCharacterByCharacter) {
  const struct {
    const char* text;
    std::uint16_t type;
    std::int32_t expected;
  } rows[] = {
      // geographic: millionths, the seventh fraction digit on ignored
      {"-87.6298", 1, -87629800},
      {"41.8781", 1, 41878100},
      {"41.123456789", 1, 41123456},
      {"-41.123456789", 1, -41123456},
      {"12", 1, 12000000},
      {"12.", 1, 12000000},
      {".5", 1, 500000},
      {"", 1, 0},
      {" - 1 2 . 5 ", 1, -12500000},
      {"12-", 1, -12000000},
      {"12.-5", 1, -12500000},
      {"1.123456-", 1, 1123456},  // the '-' comes after the sixth digit
      {"0.0000019", 1, 1},
      {"1.2.3", 1, 1230000},      // a second point is skipped
      {"1e3", 1, 633000000},      // 'e' adds the "digit" 53
      {"+5", 1, -45000000},       // '+' adds the "digit" -5
      {"999999", 1, 2147483647},  // held to the i32 range
      {"-999999", 1, -2147483647 - 1},
      {"123456789012345678901234567890", 1, 2147483647},
      // plain units: the point ends the number
      {"12.9", 0, 12},
      {"-12.9", 0, -12},
      {"12.-9", 0, 12},
      {".5", 0, 0},
      {"  7  ", 0, 7},
      {"1e3", 0, 633},
      {"2147483648", 0, 2147483647},
      // other types: the digits as read, up to six after the point
      {"12.34", 2, 1234},
      {"-0.5", 2, -5},
      {"1.23456789", 2, 1234567},
      {"12", 7, 12},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(BNARead::ConvertCoordinate(row.text, row.type), row.expected)
        << "\"" << row.text << "\" type " << row.type;
  }
}

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

TEST_F(BnaTest, TwoPointObjectIsSkippedAndTheNextHeaderKept) {
  MakeBuild();
  auto reader = Open(Object("\"two\",2", "0 0 1 1") + Object("\"next\",1", "7 7"));
  ASSERT_TRUE(reader->ReadObject());
  EXPECT_EQ(reader->result(), 2);
  EXPECT_EQ(reader->name(), "two");
  EXPECT_EQ(reader->CurrentLine(), 3);
  ASSERT_TRUE(reader->ReadObject());
  EXPECT_EQ(reader->result(), 1);
  EXPECT_EQ(reader->name(), "next");
  EXPECT_EQ(reader->objects_read(), 1);
  EXPECT_EQ(ReadAll(*reader), std::vector<int>{0});
  EXPECT_EQ(reader->PercentDone(), 100);
}

TEST_F(BnaTest, RegionRingsAndMarkers) {
  const char* kUnclosed = "Ended with an unclosed polygon.";
  const char* kTooFewLast = "Too few points in last polygon created.\n";
  const struct {
    const char* what;
    const char* xy;  // the object's points in whole units
    std::vector<std::uint32_t> rings;
    const char* message;  // null: accepted
  } rows[] = {
      {"one ring", "0 0 4 0 4 4 0 0", {3}, nullptr},
      {"rings without markers", "0 0 3 0 0 3 0 0 5 5 8 5 5 8 5 5", {3, 3}, nullptr},
      {"markers after both rings", "0 0 3 0 0 3 0 0 0 0 5 5 8 5 5 8 5 5 0 0", {3, 3}, nullptr},
      {"ring closed twice", "0 0 3 0 0 3 0 0 5 5 8 5 5 8 5 5 5 5", {3, 3}, nullptr},
      {"unclosed", "0 0 4 0 4 4 0 4", {}, kUnclosed},
      {"second ring unclosed", "0 0 3 0 0 3 0 0 5 5 8 5 5 8", {}, kUnclosed},
      {"ring of two", "0 0 4 0 0 0", {}, kTooFewLast},
      {"second ring of two", "0 0 3 0 0 3 0 0 5 5 8 5 5 5", {}, kTooFewLast},
      {"marker twice", "0 0 3 0 0 3 0 0 0 0 0 0", {}, "Marker in wrong place.\n"},
      {"too few for a new ring",
       "0 0 3 0 0 3 0 0 5 5 8 5",
       {},
       "Too few points for new polygon.\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    MakeBuild();
    std::istringstream numbers(row.xy);
    int n = 0;
    for (int v = 0; numbers >> v;) ++n;
    auto reader = Open(Object("\"r\"," + std::to_string(n / 2), row.xy));
    const std::vector<int> results = ReadAll(*reader);
    if (row.message != nullptr) {
      EXPECT_EQ(results, std::vector<int>{-1});
      EXPECT_EQ(err_.code(), 100);
      EXPECT_TRUE(lumetra_test::StartsWith(err_.detail(),
                                           std::string("Error: ") + row.message + "\nFile: "))
          << err_.detail();
      EXPECT_FALSE(reader->ReadObject());
      continue;
    }
    EXPECT_EQ(results, (std::vector<int>{1, 0})) << err_.detail();
    reader.reset();
    const auto stored = Finish();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].kind, ObjectKind::kRegion);
    EXPECT_EQ(stored[0].rings, row.rings);
    std::uint32_t total = 0;
    for (std::uint32_t n : row.rings) total += n;
    EXPECT_EQ(stored[0].points.size(), total);
  }
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
