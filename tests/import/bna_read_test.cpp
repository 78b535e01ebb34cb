// BNARead: name positions, the character-level coordinate conversion, each
// object kind, region rings and markers, every failure with its line, line
// ends and hostile input.
#include "import/bna_read.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "frame/error.h"
#include "import/import_limits.h"
#include "import/object_file_build.h"
#include "objfile/object_header.h"
#include "objfile/object_record.h"
#include "support/test_files.h"

namespace {

using lumetra::ObjectKind;
using lumetra::RecordPoint;
using lumetra_test::ReadBytes;
using lumetra_test::WriteBytes;
using lumetra_test::WriteText;

// One object as stored in the object file.
struct Stored {
  ObjectKind kind = ObjectKind::kRegion;
  std::string name;
  std::string name2;
  int id = 0;
  std::vector<std::uint32_t> rings;
  std::vector<RecordPoint> points;
  std::int32_t label_x = 0;
  std::int32_t label_y = 0;
  std::uint32_t colour = 0;
};

// Decodes every record of a finished object file, in file order.
std::vector<Stored> DecodeObjects(const std::string& path, QError* err) {
  const auto bytes = ReadBytes(path);
  lumetra::ObjectHeader header;
  std::vector<Stored> out;
  if (!header.DecodeFrom(bytes.data(), bytes.size(), path.c_str(), err)) {
    ADD_FAILURE() << "header of " << path;
    return out;
  }
  std::size_t at = lumetra::ObjectHeader::kEncodedSize;
  for (std::uint64_t i = 0; i < header.RecordCount(); ++i) {
    lumetra::RecordContext ctx = lumetra::RecordContext::ForFile(header, path.c_str());
    ctx.offset = at;
    lumetra::RecordPrefix prefix;
    if (at >= bytes.size() || !prefix.DecodeFrom(bytes.data() + at, bytes.size() - at, ctx, err)) {
      ADD_FAILURE() << "record " << i << " at " << at;
      break;
    }
    Stored s;
    s.kind = prefix.kind;
    if (prefix.kind == ObjectKind::kPoint) {
      lumetra::PointRecord r;
      EXPECT_TRUE(r.DecodeFrom(bytes.data() + at, bytes.size() - at, ctx, err));
      s.name = r.name;
      s.name2 = r.second_name;
      s.id = r.id;
      s.points = {RecordPoint{r.x, r.y}};
      s.colour = r.symbol_colour;
    } else {
      lumetra::PolyRecord r;
      EXPECT_TRUE(r.DecodeFrom(bytes.data() + at, bytes.size() - at, ctx, err));
      s.name = r.name;
      s.name2 = r.second_name;
      s.id = r.id;
      s.rings = r.ring_counts;
      s.points = r.points;
      s.label_x = r.label_x;
      s.label_y = r.label_y;
      s.colour = r.pen_colour;
    }
    out.push_back(s);
    at += prefix.length;
  }
  return out;
}

std::vector<int> ReadAll(ImportRead& reader, int limit = 1000) {
  std::vector<int> results;
  for (int i = 0; i < limit; ++i) {
    if (!reader.ReadObject()) {
      results.push_back(-1);
      break;
    }
    results.push_back(reader.result());
    if (reader.result() == ImportRead::kResultEnd) break;
  }
  return results;
}

std::string ErrorText(const char* message, const std::string& file, int line) {
  return std::string("Error: ") + message + "\nFile: " + file + "\nLine: " + std::to_string(line);
}

std::vector<RecordPoint> Points(std::initializer_list<std::int32_t> xy) {
  std::vector<RecordPoint> out;
  for (auto it = xy.begin(); it != xy.end(); it += 2) out.push_back(RecordPoint{it[0], it[1]});
  return out;
}

// A BNA object from a header text and coordinate pairs in whole units.
std::string Object(const std::string& header, std::initializer_list<int> xy) {
  std::string out = header + "\n";
  for (auto it = xy.begin(); it != xy.end(); it += 2) {
    out += std::to_string(it[0]) + "," + std::to_string(it[1]) + "\n";
  }
  return out;
}

class BnaTest : public ::testing::Test {
 protected:
  BnaTest() : chdir_(dir_.path()) {}

  void MakeBuild(int max_points = 1000, int max_parts = 100, int coord_type = 1) {
    build_.reset();
    ASSERT_TRUE(lumetra::ImportLimits::CheckAndSet(err_, max_points, max_parts));
    pipObjectFileInfoStruct info;
    std::memset(&info, 0, sizeof info);
    info.maxPoints = max_points;
    info.maxParts = max_parts;
    info.coordType = coord_type;
    build_ = std::make_unique<ObjectFileBuild>(err_, dir_.File("out.obj").c_str(), info);
    ASSERT_TRUE(build_->success());
    err_.Clear();
  }

  std::string Write(const std::string& text) {
    WriteText(dir_.File("in.bna"), text);
    return dir_.File("in.bna");
  }

  std::unique_ptr<BNARead> Open(const std::string& text, int position = 1) {
    return std::make_unique<BNARead>(*build_, Write(text).c_str(), position);
  }

  std::vector<Stored> Finish() {
    EXPECT_TRUE(build_->Finish());
    return DecodeObjects(dir_.File("out.obj"), &err_);
  }

  // Imports text with a fresh build; expects every object read.
  std::vector<Stored> Import(const std::string& text, int position = 1,
                             std::vector<int>* results = nullptr) {
    MakeBuild();
    auto reader = Open(text, position);
    EXPECT_TRUE(reader->success()) << err_.detail();
    const std::vector<int> r = ReadAll(*reader);
    EXPECT_EQ(r.back(), 0) << err_.detail();
    if (results != nullptr) *results = r;
    reader.reset();
    return Finish();
  }

  lumetra_test::ScopedTempDir dir_;
  lumetra_test::ScopedChdir chdir_;
  pipError err_;
  std::unique_ptr<ObjectFileBuild> build_;
};

// ---------------------------------------------------------------------------
// Coordinates

TEST(BnaCoordinate, ConvertsCharacterByCharacter) {
  struct Row {
    const char* text;
    std::uint16_t type;
    std::int32_t expected;
  };
  const Row rows[] = {
      // geographic: millionths, the seventh fraction digit on ignored
      {"-87.6298", 1, -87629800},
      {"41.8781", 1, 41878100},
      {"-87.5", 1, -87500000},
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
  for (const Row& row : rows) {
    EXPECT_EQ(BNARead::ConvertCoordinate(row.text, row.type), row.expected)
        << "\"" << row.text << "\" type " << row.type;
  }
}

TEST_F(BnaTest, CoordinateTypeOfTheBuildDecidesTheScale) {
  const std::string text = "\"p\",1\n12.9,-3.25\n";
  for (const int type : {0, 1, 2}) {
    SCOPED_TRACE(type);
    MakeBuild(100, 10, type);
    auto reader = Open(text);
    EXPECT_EQ(ReadAll(*reader), (std::vector<int>{1, 0}));
    reader.reset();
    const auto stored = Finish();
    ASSERT_EQ(stored.size(), 1u);
    const std::vector<RecordPoint> expected[] = {Points({12, -3}), Points({12900000, -3250000}),
                                                 Points({129, -325})};
    EXPECT_EQ(stored[0].points, expected[type]);
  }
}

// ---------------------------------------------------------------------------
// Headers and names

TEST_F(BnaTest, NamePositionsOneToThree) {
  const std::string text = "\"A\",\"B\",\"C\",1\n1,2\n";
  for (const int position : {1, 2, 3}) {
    SCOPED_TRACE(position);
    const auto stored = Import(text, position);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].name, std::string(1, static_cast<char>('A' + position - 1)));
    EXPECT_EQ(err_.code(), -1);
  }
}

TEST_F(BnaTest, NamePositionOutsideOneToThreeWarnsAndUsesOne) {
  for (const int position : {0, 4, -1}) {
    SCOPED_TRACE(position);
    MakeBuild();
    auto reader = Open("\"A\",\"B\",\"C\",1\n1,2\n", position);
    ASSERT_TRUE(reader->success());
    EXPECT_EQ(reader->name_position(), 1);
    EXPECT_EQ(err_.code(), 106);
    EXPECT_STREQ(err_.detail(), "WARNING: Invalid nameField parameter. Parameter set to 1.");
    EXPECT_EQ(ReadAll(*reader), (std::vector<int>{1, 0}));
    EXPECT_EQ(reader->name(), "A");
  }
}

TEST_F(BnaTest, SecondNameOfALineAtPositionTwo) {
  std::vector<int> results;
  const auto stored = Import("\"Lake\",\"Park\",-3\n0,0\n1,1\n2,0\n", 2, &results);
  EXPECT_EQ(results, (std::vector<int>{1, 0}));
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].kind, ObjectKind::kLine);
  EXPECT_EQ(stored[0].name, "Park");
  EXPECT_EQ(stored[0].name2, "");
  EXPECT_EQ(stored[0].rings, std::vector<std::uint32_t>{3});
}

TEST_F(BnaTest, LinesWithoutNameAndCountArePassedOver) {
  // With position 3 a header needs four fields: "A","B",1 is no header.
  std::vector<int> results;
  const auto stored =
      Import("\n   \n\"A\",\"B\",1\n1,2\n\"only\"\n\"A\",\"B\",\"C\",1\n5,6\n", 3, &results);
  EXPECT_EQ(results, (std::vector<int>{1, 0}));
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].name, "C");
  EXPECT_EQ(stored[0].points, Points({5000000, 6000000}));
}

TEST_F(BnaTest, QuotedFieldsHoldDelimiters) {
  const auto stored =
      Import("\"Smith, John\",'tab\there',1\n1,2\n'x, y'\t\"z\"\t  -2  \n0,0\n1,1\n", 1);
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].name, "Smith, John");
  EXPECT_EQ(stored[1].name, "x, y");
  EXPECT_EQ(stored[1].kind, ObjectKind::kLine);
}

TEST_F(BnaTest, LongNamesAreCut) {
  const auto stored = Import("\"" + std::string(300, 'n') + "\",1\n1,2\n");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].name, std::string(127, 'n'));
}

// ---------------------------------------------------------------------------
// Objects

TEST_F(BnaTest, EveryObjectKind) {
  const std::string text = Object("\"pt\",\"x\",1", {3, 4}) + Object("\"two\",2", {0, 0, 1, 1}) +
                           Object("\"line\",-3", {0, 0, 2, 2, 4, 0}) +
                           Object("\"sq\",5", {0, 0, 4, 0, 4, 4, 0, 4, 0, 0});
  std::vector<int> results;
  const auto stored = Import(text, 1, &results);
  EXPECT_EQ(results, (std::vector<int>{1, 2, 1, 1, 0}));
  ASSERT_EQ(stored.size(), 3u);
  EXPECT_EQ(stored[0].kind, ObjectKind::kPoint);
  EXPECT_EQ(stored[0].name, "pt");
  EXPECT_EQ(stored[0].points, Points({3000000, 4000000}));
  EXPECT_EQ(stored[1].kind, ObjectKind::kLine);
  EXPECT_EQ(stored[1].points, Points({0, 0, 2000000, 2000000, 4000000, 0}));
  EXPECT_EQ(stored[1].label_x, 2000000);  // centre of the grown rectangle
  EXPECT_EQ(stored[1].label_y, 1000000);
  EXPECT_EQ(stored[2].kind, ObjectKind::kRegion);
  EXPECT_EQ(stored[2].rings, std::vector<std::uint32_t>{4});
  EXPECT_EQ(stored[2].points, Points({0, 0, 4000000, 0, 4000000, 4000000, 0, 4000000}));
  for (const Stored& s : stored) {
    EXPECT_EQ(s.colour, 0u);
    EXPECT_EQ(s.id, 0);
    EXPECT_EQ(s.name2, "");
  }
}

TEST_F(BnaTest, TwoPointObjectIsSkippedAndTheNextHeaderKept) {
  MakeBuild();
  auto reader = Open(Object("\"two\",2", {0, 0, 1, 1}) + Object("\"next\",1", {7, 7}));
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

struct RingRow {
  const char* what;
  std::vector<int> xy;  // the object's points in whole units
  std::vector<std::uint32_t> rings;
  const char* message;  // null: accepted
};

TEST_F(BnaTest, RegionRingsAndMarkers) {
  const RingRow rows[] = {
      {"one ring", {0, 0, 4, 0, 4, 4, 0, 0}, {3}, nullptr},
      {"rings of 5 and 4 and a marker",
       {0, 0, 9, 0, 9, 9, 0, 9, 0, 0, 2, 2, 5, 2, 2, 5, 2, 2, 0, 0},
       {4, 3},
       nullptr},
      {"rings without markers", {0, 0, 3, 0, 0, 3, 0, 0, 5, 5, 8, 5, 5, 8, 5, 5}, {3, 3}, nullptr},
      {"markers after both rings",
       {0, 0, 3, 0, 0, 3, 0, 0, 0, 0, 5, 5, 8, 5, 5, 8, 5, 5, 0, 0},
       {3, 3},
       nullptr},
      {"ring closed twice",
       {0, 0, 3, 0, 0, 3, 0, 0, 5, 5, 8, 5, 5, 8, 5, 5, 5, 5},
       {3, 3},
       nullptr},
      {"unclosed", {0, 0, 4, 0, 4, 4, 0, 4}, {}, "Ended with an unclosed polygon."},
      {"second ring unclosed",
       {0, 0, 3, 0, 0, 3, 0, 0, 5, 5, 8, 5, 5, 8},
       {},
       "Ended with an unclosed polygon."},
      {"ring of two", {0, 0, 4, 0, 0, 0}, {}, "Too few points in last polygon created.\n"},
      {"second ring of two",
       {0, 0, 3, 0, 0, 3, 0, 0, 5, 5, 8, 5, 5, 5},
       {},
       "Too few points in last polygon created.\n"},
      {"marker twice", {0, 0, 3, 0, 0, 3, 0, 0, 0, 0, 0, 0}, {}, "Marker in wrong place.\n"},
      {"too few for a new ring",
       {0, 0, 3, 0, 0, 3, 0, 0, 5, 5, 8, 5},
       {},
       "Too few points for new polygon.\n"},
  };
  for (const RingRow& row : rows) {
    SCOPED_TRACE(row.what);
    MakeBuild();
    std::string text = "\"r\"," + std::to_string(row.xy.size() / 2) + "\n";
    for (std::size_t i = 0; i < row.xy.size(); i += 2) {
      text += std::to_string(row.xy[i]) + "," + std::to_string(row.xy[i + 1]) + "\n";
    }
    auto reader = Open(text);
    const std::vector<int> results = ReadAll(*reader);
    if (row.message != nullptr) {
      EXPECT_EQ(results, std::vector<int>{-1});
      EXPECT_EQ(err_.code(), 100);
      // Each failure is found on the line of the point that shows it, the
      // unclosed end on the last line.
      const std::string detail = err_.detail();
      EXPECT_EQ(detail.rfind(std::string("Error: ") + row.message + "\nFile: ", 0), 0u) << detail;
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

TEST_F(BnaTest, RegionOfTenPointsStoresTwoRingsWithoutClosingPoints) {
  const auto stored =
      Import(Object("\"lake\",10", {0, 0, 9, 0, 9, 9, 0, 9, 0, 0, 2, 2, 5, 2, 2, 5, 2, 2, 0, 0}));
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].rings, (std::vector<std::uint32_t>{4, 3}));
  EXPECT_EQ(stored[0].points, Points({0, 0, 9000000, 0, 9000000, 9000000, 0, 9000000, 2000000,
                                      2000000, 5000000, 2000000, 2000000, 5000000}));
}

TEST_F(BnaTest, EveryLineEndKindReadsAlike) {
  const std::string text = Object("\"a\",1", {1, 2}) + Object("\"b\",-2", {0, 0, 1, 1}) +
                           Object("\"c\",4", {0, 0, 1, 0, 1, 1, 0, 0});
  for (const char* end : {"\n", "\r", "\r\n"}) {
    SCOPED_TRACE(end[0] == '\r' ? (end[1] == '\n' ? "CRLF" : "CR") : "LF");
    std::string converted;
    for (char c : text) {
      if (c == '\n') {
        converted += end;
      } else {
        converted += c;
      }
    }
    const auto stored = Import(converted);
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0].points, Points({1000000, 2000000}));
    EXPECT_EQ(stored[1].rings, std::vector<std::uint32_t>{2});
    EXPECT_EQ(stored[2].rings, std::vector<std::uint32_t>{3});
  }
}

// ---------------------------------------------------------------------------
// Failures

struct Failure {
  const char* what;
  std::string text;
  const char* message;
  int line;
  int max_points;
  int max_parts;
};

TEST_F(BnaTest, FailuresNameFileAndLine) {
  const Failure rows[] = {
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
  for (const Failure& row : rows) {
    SCOPED_TRACE(row.what);
    MakeBuild(row.max_points, row.max_parts);
    auto reader = Open(row.text);
    ASSERT_TRUE(reader->success());
    EXPECT_EQ(ReadAll(*reader), std::vector<int>{-1});
    EXPECT_EQ(err_.code(), 100);
    EXPECT_EQ(err_.detail(), ErrorText(row.message, dir_.File("in.bna"), row.line));
    EXPECT_FALSE(reader->ReadObject());  // failed for good
    EXPECT_FALSE(reader->success());
  }
}

TEST_F(BnaTest, RefusedWriteFailsOnlyItsObject) {
  // Two rings with a polygon limit of 1: the second ring is ended by the
  // write, which refuses it; the reader goes on with the next object.
  MakeBuild(100, 1);
  auto reader = Open(Object("\"r\",8", {0, 0, 1, 0, 1, 1, 0, 0, 5, 5, 6, 5, 6, 6, 5, 5}) +
                     Object("\"p\",1", {2, 2}));
  EXPECT_FALSE(reader->ReadObject());
  EXPECT_EQ(err_.code(), 100);
  EXPECT_STREQ(err_.detail(), "Too many polygons.");
  EXPECT_EQ(ReadAll(*reader), (std::vector<int>{1, 0}));
  reader.reset();
  const auto stored = Finish();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].name, "p");
}

TEST_F(BnaTest, OverlongLineFailsTheReader) {
  MakeBuild();
  auto reader = Open("\"p\",1\n" + std::string(2047, '1') + ",2\n");
  EXPECT_EQ(ReadAll(*reader), std::vector<int>{-1});
  EXPECT_EQ(err_.code(), 100);
  EXPECT_EQ(std::string(err_.detail()).rfind("Maximum line length of 2047", 0), 0u)
      << err_.detail();
  EXPECT_FALSE(reader->ReadObject());
}

TEST_F(BnaTest, MissingFileFailsTheOpen) {
  MakeBuild();
  BNARead reader(*build_, dir_.File("missing.bna").c_str(), 1);
  EXPECT_FALSE(reader.success());
  EXPECT_LT(err_.code(), 100);
  EXPECT_FALSE(reader.ReadObject());
  BNARead unnamed(*build_, nullptr, 1);
  EXPECT_FALSE(unnamed.success());
}

TEST_F(BnaTest, BinaryJunkIsRefusedOrSkipped) {
  const unsigned seed = 77031;
  SCOPED_TRACE(seed);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  MakeBuild();
  for (int file = 0; file < 60; ++file) {
    std::vector<std::uint8_t> junk = {'\n'};
    const int size = 50 + file * 20;
    for (int i = 0; i < size; ++i) {
      const int b = byte(rng);
      junk.push_back(static_cast<std::uint8_t>(b % 5 == 0 ? '\n' : (b % 5 == 1 ? ',' : b)));
    }
    WriteBytes(dir_.File("junk.bna"), junk);
    err_.Clear();
    BNARead reader(*build_, dir_.File("junk.bna").c_str(), 1 + file % 3);
    ASSERT_TRUE(reader.success());
    const std::vector<int> results = ReadAll(reader);
    ASSERT_TRUE(results.back() == 0 || results.back() == -1) << file;
  }
}

// Every truncation of a real sample, and single-byte changes at every
// position, end in either a clean end or a failure.
TEST_F(BnaTest, TruncatedAndCorruptedSamplesNeverCrash) {
  const std::string bna =
      "\"Chicago\",\"IL\",1\n-87.6298,41.8781\n"
      "\"Segment\",\"x\",2\n-87.1,41.1\n-87.2,41.2\n"
      "\"Road\",\"R1\",-3\n-87.5,41.5\n-87.25,41.75\n-87.0,41.9\n"
      "\"Lake\",\"L\",10\n-88,41\n-87,41\n-87,42\n-88,42\n-88,41\n"
      "-87.75,41.25\n-87.25,41.25\n-87.5,41.75\n-87.75,41.25\n-88,41\n";
  const std::uint8_t kReplacements[] = {0x00, '\r', '\n', ',', '-', '9'};
  MakeBuild(100, 10);
  int runs = 0;
  auto run = [&](const std::string& text) {
    WriteText(dir_.File("t.bna"), text);
    err_.Clear();
    BNARead reader(*build_, dir_.File("t.bna").c_str(), 1);
    ++runs;
    if (!reader.success()) {
      EXPECT_NE(err_.code(), -1);
      return;
    }
    const std::vector<int> results = ReadAll(reader);
    ASSERT_TRUE(results.back() == 0 || results.back() == -1);
    if (results.back() == -1) {
      EXPECT_NE(err_.code(), -1);
    }
  };
  run(bna);
  for (std::size_t n = 0; n < bna.size(); ++n) run(bna.substr(0, n));
  for (std::size_t i = 0; i < bna.size(); ++i) {
    for (std::uint8_t b : kReplacements) {
      std::string changed = bna;
      changed[i] = static_cast<char>(b);
      run(changed);
    }
  }
  EXPECT_GT(runs, 1500);
  const auto stored = Finish();
  EXPECT_GT(stored.size(), 100u);
}

}  // namespace
