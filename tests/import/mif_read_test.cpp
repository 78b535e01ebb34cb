// MIFRead: header and name columns, the MID rows, every object kind and
// style clause, skipped objects, every failure with its file and line, line
// ends, hostile input, and an interchange check against GDAL's ogr2ogr.
#include "import/mif_read.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
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
  std::uint32_t colour = 0;  // pen or symbol colour
  int pen_width = 0;
  int pen_pattern = 0;
  std::uint32_t brush_pattern = 0;
  std::uint32_t brush_foreground = 0;
  std::uint32_t brush_background = 0;
  int symbol_shape = 0;
  int symbol_size = 0;
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
      s.symbol_shape = r.symbol_shape;
      s.symbol_size = r.symbol_size;
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
      s.pen_width = r.pen_width;
      s.pen_pattern = r.pen_pattern;
      s.brush_pattern = r.brush_pattern;
      s.brush_foreground = r.brush_foreground;
      s.brush_background = r.brush_background;
    }
    out.push_back(s);
    at += prefix.length;
  }
  return out;
}

// Calls ReadObject until the end (0) or a failure (recorded as -1), at most
// `limit` times.
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

// A MIF header of 10 lines (the last one blank): the first object keyword
// is on line 11.  Columns: ID, NAME, ALT.
constexpr char kHeader[] =
    "Version 300\n"
    "Charset \"Neutral\"\n"
    "Delimiter \",\"\n"
    "CoordSys Earth Projection 1, 104\n"
    "Columns 3\n"
    "  ID Integer\n"
    "  NAME Char(20)\n"
    "  ALT Char(10)\n"
    "Data\n"
    "\n";
constexpr int kFirstBodyLine = 11;

class MifTest : public ::testing::Test {
 protected:
  MifTest() : chdir_(dir_.path()) {}

  // Writes base.mif (kHeader + body unless raw) and base.mid; returns the
  // .mif path.
  std::string Write(const std::string& base, const std::string& body, const std::string& mid,
                    bool raw = false) {
    WriteText(dir_.File(base + ".mif"), raw ? body : std::string(kHeader) + body);
    WriteText(dir_.File(base + ".mid"), mid);
    return dir_.File(base + ".mif");
  }

  void MakeBuild(int max_points = 1000, int max_parts = 100, int flags = 0) {
    build_.reset();
    ASSERT_TRUE(lumetra::ImportLimits::CheckAndSet(err_, max_points, max_parts));
    pipObjectFileInfoStruct info;
    std::memset(&info, 0, sizeof info);
    info.maxPoints = max_points;
    info.maxParts = max_parts;
    info.coordType = 1;
    info.flags = flags;
    build_ = std::make_unique<ObjectFileBuild>(err_, dir_.File("out.obj").c_str(), info);
    ASSERT_TRUE(build_->success());
    err_.Clear();
  }

  std::unique_ptr<MIFRead> Open(const std::string& path, const char* name_field = "NAME",
                                const char* name_field2 = nullptr) {
    return std::make_unique<MIFRead>(*build_, path.c_str(), name_field, name_field2);
  }

  std::vector<Stored> Finish() {
    EXPECT_TRUE(build_->Finish());
    return DecodeObjects(dir_.File("out.obj"), &err_);
  }

  // Imports body (after kHeader) with mid; expects every object read.
  std::vector<Stored> Import(const std::string& body, const std::string& mid,
                             std::vector<int>* results = nullptr) {
    MakeBuild();
    auto reader = Open(Write("in", body, mid));
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
// File names

TEST(MifExtension, FollowsTheCaseOfTheOldExtension) {
  struct Row {
    const char* name;
    const char* expected;
  };
  const Row rows[] = {
      {"roads.mif", "roads.mid"},
      {"ROADS.MIF", "ROADS.MID"},
      {"Roads.Mif", "Roads.MID"},
      {"ROADS", "ROADS.MID"},
      {"roads", "roads.MID"},
      {"roads.", "roads.MID"},
      {"roads.123", "roads.MID"},
      {"roads.m1f", "roads.mid"},
      {"a.b/roads", "a.b/roads.MID"},
      {"a.b\\roads", "a.b\\roads.MID"},
      {"c:roads", "c:roads.MID"},
      {"dir/x.y.tab", "dir/x.y.mid"},
      {"/tmp/v1.2/roads.mif", "/tmp/v1.2/roads.mid"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(MIFRead::ApplyExtension(row.name, ".MID"), row.expected) << row.name;
  }
}

TEST_F(MifTest, AnyExtensionOpensTheMifAndMidPair) {
  MakeBuild();
  Write("roads", "Point 1 2\n", "1,a,b\n");
  for (const char* name : {"roads.mid", "roads.mif", "roads.tab"}) {
    auto reader = Open(dir_.File(name));
    EXPECT_TRUE(reader->success()) << name << ": " << err_.detail();
  }
  // "roads" gets the extension as given: roads.MIF does not exist.
  auto upper = Open(dir_.File("roads"));
  EXPECT_FALSE(upper->success());
  EXPECT_LT(err_.code(), 100);  // the system's error number
}

TEST_F(MifTest, MissingMidFileFailsTheOpen) {
  MakeBuild();
  WriteText(dir_.File("lonely.mif"), std::string(kHeader) + "Point 1 2\n");
  auto reader = Open(dir_.File("lonely.mif"));
  EXPECT_FALSE(reader->success());
  EXPECT_LT(err_.code(), 100);
  EXPECT_FALSE(reader->ReadObject());
}

// The line reader refuses a file without any line end, so a MIF without
// objects needs a MID holding at least a line end.
TEST_F(MifTest, EmptyMidFileIsRefused) {
  MakeBuild();
  auto reader = Open(Write("empty", "", ""));
  EXPECT_FALSE(reader->success());
  EXPECT_EQ(err_.code(), 100);
  MakeBuild();
  auto blank = Open(Write("blank", "", "\n"));
  ASSERT_TRUE(blank->success());
  EXPECT_EQ(ReadAll(*blank), std::vector<int>{0});
}

// ---------------------------------------------------------------------------
// Header and name columns

struct HeaderFailure {
  const char* what;
  const char* mif;
  const char* message;
  int line;
};

TEST_F(MifTest, HeaderFailuresNameFileAndLine) {
  const HeaderFailure rows[] = {
      {"no Data line", "Version 300\nColumns 1\n  Name Char(10)\n", "Unexpected End of File.", 4},
      {"columns cut short", "Version 300\nColumns 3\n  a Char(1)\n", "Unexpected End of File.", 4},
      {"blank column line", "Columns 2\n  a Char(1)\n\n  b Char(1)\nData\n",
       "Blank line in columns section.", 3},
      {"blanks only", "Columns 2\n  a Char(1)\n   \t \nData\n", "Blank line in columns section.",
       3},
      {"columns without count", "Version 300\nColumns\n  a Char(1)\nData\n",
       "Syntax error in columns section.", 2},
      {"huge column count", "Columns 99999999999999999999\n a\n b\n", "Unexpected End of File.", 4},
  };
  for (const HeaderFailure& row : rows) {
    SCOPED_TRACE(row.what);
    MakeBuild();
    const std::string path = Write("h", row.mif, "x\n", true);
    auto reader = Open(path);
    EXPECT_FALSE(reader->success());
    EXPECT_EQ(err_.code(), 100);
    EXPECT_EQ(err_.detail(), ErrorText(row.message, path, row.line));
    EXPECT_FALSE(reader->ReadObject());
  }
}

TEST_F(MifTest, NegativeColumnCountReadsNoColumns) {
  MakeBuild();
  auto reader = Open(Write("neg", "Columns -4\nData\nPoint 1 1\n", "a,b\n", true), "");
  ASSERT_TRUE(reader->success()) << err_.detail();
  EXPECT_EQ(ReadAll(*reader), (std::vector<int>{1, 0}));
  EXPECT_EQ(reader->name(), "a");
}

struct ColumnRow {
  const char* name_field;
  const char* name_field2;
  int name_column;
  int name2_column;
  const char* warning;  // code 106 detail, or null for none
  const char* name;
  const char* name2;
};

TEST_F(MifTest, NameColumnsAreChosenByColumnName) {
  const char* kNotFound =
      "WARNING: nameField parameter not found. Parameter set to first column by default.";
  const char* kInvalid = "WARNING: Invalid nameField parameter. Parameter set to first column.";
  const char* kNotFound2 =
      "WARNING: nameField2 parameter specified not found. No secondary name will be written.";
  const ColumnRow rows[] = {
      {"NAME", nullptr, 2, 0, nullptr, "Lake Side", ""},
      {"name", "alt", 2, 3, nullptr, "Lake Side", "Alt 1"},
      {"ALT", "Id", 3, 1, nullptr, "Alt 1", "7"},
      {"", nullptr, 1, 0, nullptr, "7", ""},
      {"", "NAME", 1, 2, nullptr, "7", "Lake Side"},
      {nullptr, nullptr, 1, 0, kInvalid, "7", ""},
      {"POP", nullptr, 1, 0, kNotFound, "7", ""},
      {"NAME", "NOPE", 2, 0, kNotFound2, "Lake Side", ""},
      {"NAME", "", 2, 0, nullptr, "Lake Side", ""},
  };
  for (const ColumnRow& row : rows) {
    SCOPED_TRACE(std::string(row.name_field ? row.name_field : "(null)") + " / " +
                 (row.name_field2 ? row.name_field2 : "(null)"));
    MakeBuild();
    auto reader = Open(Write("cols", "Point 1 2\n", "7,\"Lake Side\",\"Alt 1\"\n"), row.name_field,
                       row.name_field2);
    ASSERT_TRUE(reader->success()) << err_.detail();
    EXPECT_EQ(reader->name_column(), row.name_column);
    EXPECT_EQ(reader->name2_column(), row.name2_column);
    if (row.warning != nullptr) {
      EXPECT_EQ(err_.code(), 106);
      EXPECT_STREQ(err_.detail(), row.warning);
    } else {
      EXPECT_EQ(err_.code(), -1) << err_.detail();
    }
    EXPECT_EQ(ReadAll(*reader), (std::vector<int>{1, 0}));
    reader.reset();
    const auto stored = Finish();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].name, row.name);
    EXPECT_EQ(stored[0].name2, row.name2);
  }
}

TEST_F(MifTest, LaterColumnOfTheSameNameWins) {
  MakeBuild();
  const std::string mif = "Columns 3\n Name Char(5)\n NAME Char(5)\n x Integer\nData\nPoint 0 0\n";
  auto reader = Open(Write("twice", mif, "first,second,3\n", true), "name");
  ASSERT_TRUE(reader->success());
  EXPECT_EQ(reader->name_column(), 2);
  EXPECT_EQ(ReadAll(*reader), (std::vector<int>{1, 0}));
  EXPECT_EQ(reader->name(), "second");
}

// ---------------------------------------------------------------------------
// MID rows

TEST_F(MifTest, MidFieldsFollowTheQuotingRules) {
  struct Row {
    const char* mid;
    const char* name;   // column 1
    const char* name2;  // column 3
    int id;
  };
  const std::string long_name(200, 'n');
  const Row rows[] = {
      {"\"x, y\",mid,\"  z  \"", "x, y", "z", 0},
      {"'it''s',b,'c,d'", "it''s", "c,d", 0},
      {"a\tb\tc", "a", "c", 0},
      {"  lead  ,b,trail   ", "lead", "trail", 0},
      {"\"q\"junk,b,\"c\" tail", "q", "c", 0},
      {"\"a \"\"b\"\" c\",x,y", "a \"\"b\"\" c", "y", 0},
      {"only", "only", "", 255},
      {"one,two", "one", "", 255},
      {",,", "", "", 255},
      {",, ", "", "", 0},
      {"", "", "", 255},
  };
  std::string body;
  std::string mid;
  for (const Row& row : rows) {
    body += "Point 1 1\n";
    mid += std::string(row.mid) + "\n";
  }
  body += "Point 2 2\n";
  mid += long_name + ",b,c\n";
  MakeBuild();
  auto reader = Open(Write("rows", body, mid), "", "ALT");
  ASSERT_TRUE(reader->success());
  const auto results = ReadAll(*reader);
  EXPECT_EQ(results.back(), 0) << err_.detail();
  reader.reset();
  const auto stored = Finish();
  ASSERT_EQ(stored.size(), std::size(rows) + 1);
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].mid);
    EXPECT_EQ(stored[i].name, rows[i].name);
    EXPECT_EQ(stored[i].name2, rows[i].name2);
    EXPECT_EQ(stored[i].id, rows[i].id);
  }
  EXPECT_EQ(stored.back().name, std::string(127, 'n'));
}

// ---------------------------------------------------------------------------
// Objects and styles

TEST_F(MifTest, EveryObjectKindWithItsStyle) {
  const std::string body =
      "Point 1.5 2.25\n"
      "    Symbol (35,255,12)\n"
      "Line 0 0 10 -10\n"
      "    Pen (3,4,65280)\n"
      "Pline 3\n"
      "0 0\n"
      "1 1\n"
      "2 0\n"
      "    Pen (2,2,255)\n"
      "    Center 1 0.5\n"
      "Region 1\n"
      "  4\n"
      "0 0\n"
      "4 0\n"
      "4 4\n"
      "0 0\n"
      "    Pen (1,2,0)\n"
      "    Brush (2,16777215,255)\n"
      "    Center 2 2\n";
  const std::string mid = "1,pt,a\n2,ln,b\n3,pl,c\n4,rg,d\n";
  std::vector<int> results;
  const auto stored = Import(body, mid, &results);
  EXPECT_EQ(results, (std::vector<int>{1, 1, 1, 1, 0}));
  ASSERT_EQ(stored.size(), 4u);

  EXPECT_EQ(stored[0].kind, ObjectKind::kPoint);
  EXPECT_EQ(stored[0].name, "pt");
  EXPECT_EQ(stored[0].points, Points({1500000, 2250000}));
  EXPECT_EQ(stored[0].symbol_shape, 35);
  EXPECT_EQ(stored[0].colour, 255u);
  EXPECT_EQ(stored[0].symbol_size, 12);

  EXPECT_EQ(stored[1].kind, ObjectKind::kLine);
  EXPECT_EQ(stored[1].rings, std::vector<std::uint32_t>{2});
  EXPECT_EQ(stored[1].points, Points({0, 0, 10000000, -10000000}));
  EXPECT_EQ(stored[1].pen_width, 3);
  EXPECT_EQ(stored[1].pen_pattern, 4);
  EXPECT_EQ(stored[1].colour, 65280u);
  // No Center: the centre of the rectangle grown by one unit.
  EXPECT_EQ(stored[1].label_x, 5000000);
  EXPECT_EQ(stored[1].label_y, -5000000);

  EXPECT_EQ(stored[2].kind, ObjectKind::kLine);
  EXPECT_EQ(stored[2].rings, std::vector<std::uint32_t>{3});
  EXPECT_EQ(stored[2].points, Points({0, 0, 1000000, 1000000, 2000000, 0}));
  EXPECT_EQ(stored[2].pen_width, 2);
  EXPECT_EQ(stored[2].pen_pattern, 2);
  EXPECT_EQ(stored[2].colour, 255u);
  EXPECT_EQ(stored[2].label_x, 1000000);
  EXPECT_EQ(stored[2].label_y, 500000);

  EXPECT_EQ(stored[3].kind, ObjectKind::kRegion);
  EXPECT_EQ(stored[3].rings, std::vector<std::uint32_t>{3});  // the closing copy dropped
  EXPECT_EQ(stored[3].points, Points({0, 0, 4000000, 0, 4000000, 4000000}));
  EXPECT_EQ(stored[3].pen_width, 1);
  EXPECT_EQ(stored[3].pen_pattern, 2);
  EXPECT_EQ(stored[3].colour, 0u);
  EXPECT_EQ(stored[3].brush_pattern, 2u);
  EXPECT_EQ(stored[3].brush_foreground, 16777215u);
  EXPECT_EQ(stored[3].brush_background, 255u);
  EXPECT_EQ(stored[3].label_x, 2000000);
  EXPECT_EQ(stored[3].label_y, 2000000);
  for (const Stored& s : stored) EXPECT_EQ(s.id, 0);
}

TEST_F(MifTest, RegionRingsClosedByRepeatingTheirFirstPoint) {
  const std::string body =
      "Region 2\n  4\n0 0\n3 0\n0 3\n0 0\n  5\n10 10\n20 10\n20 20\n10 20\n10 10\n";
  const auto stored = Import(body, "1,lake,x\n");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].rings, (std::vector<std::uint32_t>{3, 4}));
  EXPECT_EQ(stored[0].points.size(), 7u);
  EXPECT_EQ(stored[0].points[3], (RecordPoint{10000000, 10000000}));
}

TEST_F(MifTest, ColourIsTheObjectOrdinalUnlessAPenSetsIt) {
  const std::string body =
      "Pline 2\n0 0\n1 1\n"
      "Ellipse 0 0 1 1\n"
      "Point 5 5\n"
      "    Pen (9,9,9)\n"  // ignored: a point has no pen
      "    Center 7 7\n"   // ignored: a point has no label
      "Region 1\n 3\n0 0\n1 0\n1 1\n"
      "    Symbol (1,2,3)\n"  // ignored: a region has no symbol
      "Pline 2\n0 0\n2 2\n"
      "    Brush (5,6,7)\n"  // ignored: a line has no brush
      "    Pen (2,2,255)\n";
  const std::string mid = "1,a,x\n2,skip,x\n3,b,x\n4,c,x\n5,d,x\n";
  std::vector<int> results;
  const auto stored = Import("    Pen (8,8,8)\n" + body, mid, &results);  // no object yet
  EXPECT_EQ(results, (std::vector<int>{1, 2, 1, 1, 1, 0}));
  ASSERT_EQ(stored.size(), 4u);
  EXPECT_EQ(stored[0].colour, 1u);
  EXPECT_EQ(stored[0].pen_width, 0);
  EXPECT_EQ(stored[1].colour, 2u);  // skipped objects are not counted
  EXPECT_EQ(stored[1].points, Points({5000000, 5000000}));
  EXPECT_EQ(stored[1].symbol_shape, 0);
  EXPECT_EQ(stored[2].colour, 3u);
  EXPECT_EQ(stored[3].colour, 255u);
  EXPECT_EQ(stored[3].pen_width, 2);
  EXPECT_EQ(stored[3].brush_pattern, 0u);
  EXPECT_EQ(stored[1].name, "b");
  EXPECT_EQ(stored[2].name, "c");
}

TEST_F(MifTest, MissingStyleNumbersCountZero) {
  const auto stored =
      Import("Region 1\n 3\n0 0\n1 0\n1 1\n  Brush (2)\n  Pen (4,5)\nPoint 0 0\n  Symbol (7)\n",
             "1,r,x\n2,p,x\n");
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].brush_pattern, 2u);
  EXPECT_EQ(stored[0].brush_foreground, 0u);
  EXPECT_EQ(stored[0].pen_width, 4);
  EXPECT_EQ(stored[0].pen_pattern, 5);
  EXPECT_EQ(stored[0].colour, 0u);
  EXPECT_EQ(stored[1].symbol_shape, 7);
  EXPECT_EQ(stored[1].colour, 0u);
}

TEST_F(MifTest, UnsupportedObjectsAreSkippedWithTheirMidRow) {
  const char* const kSkipped[] = {
      "Rect 0 0 1 1\n",
      "RoundRect 0 0 1 1\n  0.5\n",
      "ELLIPSE 0 0 1 1\n    Pen (1,2,0)\n    Brush (1,0,0)\n",
      "arc 0 0 1 1\n  0 90\n",
      "Text\n  \"Region 3\"\n  0 0 1 1\n  Font (\"Arial\",0,0,0)\n",
      "none\n",
  };
  for (const char* skipped : kSkipped) {
    SCOPED_TRACE(skipped);
    MakeBuild();
    auto reader = Open(Write("skip", std::string("Point 9 9\n") + skipped + "Point 5 5\n",
                             "1,first,x\n2,skipped,x\n3,last,x\n"));
    ASSERT_TRUE(reader->ReadObject());
    EXPECT_EQ(reader->result(), 1);
    ASSERT_TRUE(reader->ReadObject());
    EXPECT_EQ(reader->result(), 2);
    EXPECT_EQ(reader->name(), "skipped");
    EXPECT_EQ(ReadAll(*reader), (std::vector<int>{1, 0}));
    EXPECT_EQ(reader->name(), "last");
    reader.reset();
    const auto stored = Finish();
    ASSERT_EQ(stored.size(), 2u);  // the pending point was written by the skip
    EXPECT_EQ(stored[0].name, "first");
    EXPECT_EQ(stored[1].name, "last");
    EXPECT_EQ(stored[1].colour, 2u);
  }
}

TEST_F(MifTest, EllipseBetweenRegionsKeepsNamesAligned) {
  const std::string region = "Region 1\n 3\n0 0\n1 0\n1 1\n";
  std::vector<int> results;
  const auto stored =
      Import(region + "Ellipse 0 0 1 1\n" + region, "1,A,x\n2,E,x\n3,B,x\n", &results);
  EXPECT_EQ(results, (std::vector<int>{1, 2, 1, 0}));
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].name, "A");
  EXPECT_EQ(stored[1].name, "B");
}

TEST_F(MifTest, MultiplePlineIsStoredWithoutPoints) {
  std::vector<int> results;
  const auto stored =
      Import("Pline Multiple 2\n  2\n0 0\n1 1\n  2\n5 5\n6 6\n  Pen (1,2,0)\nPoint 3 3\n",
             "1,multi,x\n2,pt,x\n", &results);
  EXPECT_EQ(results, (std::vector<int>{1, 1, 0}));
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].kind, ObjectKind::kLine);
  EXPECT_EQ(stored[0].name, "multi");
  EXPECT_TRUE(stored[0].points.empty());
  EXPECT_TRUE(stored[0].rings.empty());
  EXPECT_EQ(stored[1].name, "pt");
  EXPECT_EQ(stored[1].points, Points({3000000, 3000000}));
}

TEST_F(MifTest, NegativeCountsGiveEmptyObjects) {
  const auto stored = Import("Pline -5\nRegion -2\nPoint 1 1\n", "1,l,x\n2,r,x\n3,p,x\n");
  ASSERT_EQ(stored.size(), 3u);
  EXPECT_TRUE(stored[0].points.empty());
  EXPECT_EQ(stored[1].kind, ObjectKind::kRegion);
  EXPECT_TRUE(stored[1].points.empty());
  EXPECT_EQ(stored[2].name, "p");
}

TEST_F(MifTest, CoordinatesAreTruncatedMillionths) {
  const auto stored = Import(
      "Pline 6\n-87.6298 41.8781\n0.0000019 -0.0000019\n1e2 -1E-3\n+2.5 3\n5000 -5000\nabc 1x\n",
      "1,l,x\n");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].points, Points({-87629800, 41878100, 1, -1, 100000000, -1000, 2500000,
                                      3000000, 2147483647, -2147483647 - 1, 0, 1000000}));
}

TEST_F(MifTest, KeywordsIgnoreCaseAndBlankLines) {
  std::vector<int> results;
  const auto stored = Import("\n\n  pOiNt 1 2\n\t\n  sYmBoL (3,4,5)\nREGION 1\n 3\n0 0\n1 0\n1 1\n",
                             "1,a,x\n2,b,x\n", &results);
  EXPECT_EQ(results, (std::vector<int>{1, 1, 0}));
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].symbol_shape, 3);
  EXPECT_EQ(stored[1].kind, ObjectKind::kRegion);
}

TEST_F(MifTest, ProgressAndLineFollowTheMifFile) {
  MakeBuild();
  auto reader = Open(Write("p", "Point 1 2\nPline 2\n0 0\n1 1\n", "1,a,x\n2,b,x\n"));
  ASSERT_TRUE(reader->ReadObject());
  EXPECT_EQ(reader->CurrentLine(), kFirstBodyLine);
  EXPECT_GT(reader->PercentDone(), 0);
  EXPECT_LT(reader->PercentDone(), 100);
  ASSERT_TRUE(reader->ReadObject());
  EXPECT_EQ(reader->CurrentLine(), kFirstBodyLine + 3);
  EXPECT_EQ(reader->PercentDone(), 100);
  ASSERT_TRUE(reader->ReadObject());
  EXPECT_EQ(reader->result(), 0);
  EXPECT_EQ(reader->name(), "b");     // the last object's name stays
  ASSERT_TRUE(reader->ReadObject());  // the end repeats
  EXPECT_EQ(reader->result(), 0);
}

// ---------------------------------------------------------------------------
// Line ends

TEST_F(MifTest, EveryLineEndKindReadsAlike) {
  const std::string body = "Point 1 2\nRegion 1\n 4\n0 0\n1 0\n1 1\n0 0\nPline 2\n0 0\n1 1\n";
  const std::string mid = "1,\"a,b\",x\n2,r,x\n3,l,x\n";
  auto with_ends = [](std::string text, const char* end) {
    std::string out;
    for (char c : text) {
      if (c == '\n') {
        out += end;
      } else {
        out += c;
      }
    }
    return out;
  };
  std::vector<std::vector<Stored>> imports;
  for (const char* mif_end : {"\n", "\r", "\r\n"}) {
    for (const char* mid_end : {"\n", "\r\n"}) {
      SCOPED_TRACE(std::string("mif ") + (mif_end[0] == '\r' ? "CR" : "LF") + mid_end);
      MakeBuild();
      WriteText(dir_.File("e.mif"), with_ends(std::string(kHeader) + body, mif_end));
      WriteText(dir_.File("e.mid"), with_ends(mid, mid_end));
      auto reader = Open(dir_.File("e.mif"));
      EXPECT_EQ(ReadAll(*reader), (std::vector<int>{1, 1, 1, 0})) << err_.detail();
      reader.reset();
      imports.push_back(Finish());
    }
  }
  for (const auto& stored : imports) {
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0].name, "a,b");
    EXPECT_EQ(stored[1].rings, std::vector<std::uint32_t>{3});
    EXPECT_EQ(stored[2].points, imports[0][2].points);
  }
}

TEST_F(MifTest, BadLineEndFailsTheReader) {
  MakeBuild();
  WriteText(dir_.File("bad.mif"), "Version 300\r\nData\r\nPoint 1 2\nPoint 3 4\r\n");
  WriteText(dir_.File("bad.mid"), "a\r\nb\r\n");
  auto reader = Open(dir_.File("bad.mif"));
  ASSERT_TRUE(reader->success());
  EXPECT_EQ(ReadAll(*reader), std::vector<int>{-1});
  EXPECT_EQ(err_.code(), 100);
  EXPECT_EQ(std::string(err_.detail()).rfind("LF without CR", 0), 0u) << err_.detail();
  EXPECT_FALSE(reader->ReadObject());
}

TEST_F(MifTest, OverlongLineFailsTheReader) {
  MakeBuild();
  auto reader =
      Open(Write("long", "Point 1 2\nPoint " + std::string(2100, '1') + " 2\n", "a\nb\n"));
  ASSERT_TRUE(reader->success());
  EXPECT_EQ(ReadAll(*reader), (std::vector<int>{1, -1}));
  EXPECT_EQ(err_.code(), 100);
  EXPECT_EQ(std::string(err_.detail()).rfind("Maximum line length of 2047", 0), 0u)
      << err_.detail();
  EXPECT_FALSE(reader->ReadObject());
}

// ---------------------------------------------------------------------------
// Data failures

struct DataFailure {
  const char* what;
  const char* body;
  const char* mid;
  const char* message;
  bool in_mid;
  int body_line;  // 1 = the first line after the header
  int max_points;
  int max_parts;
};

TEST_F(MifTest, DataFailuresNameFileAndLine) {
  const char* kRows3 = "1,a,x\n2,b,x\n3,c,x\n";
  const DataFailure rows[] = {
      {"MID row missing", "Point 1 2\nPoint 3 4\n", "1,a,x\n", "Unexpected End of File.", true, 2,
       100, 10},
      {"MID row missing for a skip", "Point 1 1\nRect 0 0 1 1\n", "1,a,x\n",
       "Unexpected End of File.", true, 2, 100, 10},
      {"pline cut short", "Pline 3\n1 2\n2 3\n", kRows3, "Unexpected End of File.", false, 4, 100,
       10},
      {"pline blank line", "Pline 2\n1 2\n\n3 4\n", kRows3, "Blank line in object.", false, 3, 100,
       10},
      {"pline point without y", "Pline 2\n1 2\n3\n", kRows3, "Syntax error in object.", false, 3,
       100, 10},
      {"region blank count", "Region 2\n  3\n0 0\n1 0\n1 1\n   \n", kRows3, "Blank line in object.",
       false, 6, 100, 10},
      {"region blank point", "Region 1\n  3\n0 0\n\n", kRows3, "Blank line in object.", false, 4,
       100, 10},
      {"region point without y", "Region 1\n 3\n0 0\n1\n", kRows3, "Syntax error in object.", false,
       4, 100, 10},
      {"region cut short", "Region 2\n 3\n0 0\n1 0\n1 1\n", kRows3, "Unexpected End of File.",
       false, 6, 100, 10},
      {"ring cut short", "Region 1\n 4\n0 0\n", kRows3, "Unexpected End of File.", false, 4, 100,
       10},
      {"huge point count", "Pline 2000000000\n0 0\n", kRows3, "Unexpected End of File.", false, 3,
       100, 10},
      {"huge ring count", "Region 99999999999999999999\n 1\n0 0\n", kRows3,
       "Unexpected End of File.", false, 4, 100, 10},
      {"pline too large", "Pline 4\n0 0\n1 1\n2 2\n3 3\n", kRows3, "Object too large", false, 5, 3,
       10},
      {"region too large", "Region 2\n 3\n0 0\n1 0\n1 1\n 1\n5 5\n", kRows3, "Object too large",
       false, 7, 3, 10},
      {"too many rings",
       "Region 4\n 3\n0 0\n1 0\n1 1\n 3\n5 5\n6 5\n6 6\n 3\n8 8\n9 8\n9 9\n 3\n0 5\n1 5\n1 6\n",
       kRows3, "Too many polygons in object.", false, 13, 100, 2},
      {"point without y", "Point 1\n", kRows3, "Syntax error in object.", false, 1, 100, 10},
      {"point without numbers", "Point\n", kRows3, "Syntax error in object.", false, 1, 100, 10},
      {"line with three numbers", "Line 1 2 3\n", kRows3, "Syntax error in object.", false, 1, 100,
       10},
      {"center without y", "Pline 1\n0 0\n  Center 5\n", kRows3, "Syntax error in object.", false,
       3, 100, 10},
  };
  for (const DataFailure& row : rows) {
    SCOPED_TRACE(row.what);
    MakeBuild(row.max_points, row.max_parts);
    const std::string mif = Write("d", row.body, row.mid);
    auto reader = Open(mif);
    ASSERT_TRUE(reader->success()) << err_.detail();
    const std::vector<int> results = ReadAll(*reader);
    EXPECT_EQ(results.back(), -1);
    EXPECT_EQ(err_.code(), 100);
    const int line = row.in_mid ? row.body_line : kFirstBodyLine - 1 + row.body_line;
    EXPECT_EQ(err_.detail(), ErrorText(row.message, row.in_mid ? dir_.File("d.mid") : mif, line));
    EXPECT_FALSE(reader->success());
    EXPECT_FALSE(reader->ReadObject());  // failed for good
  }
}

TEST_F(MifTest, LastRingBeyondThePolygonLimitFailsItsWrite) {
  MakeBuild(100, 2);
  auto reader = Open(Write(
      "rings", "Region 3\n 3\n0 0\n1 0\n1 1\n 3\n5 5\n6 5\n6 6\n 3\n8 8\n9 8\n9 9\n", "1,a,x\n"));
  EXPECT_EQ(ReadAll(*reader), (std::vector<int>{1, -1}));
  EXPECT_EQ(err_.code(), 100);
  EXPECT_STREQ(err_.detail(), "Too many polygons.");
  EXPECT_FALSE(reader->ReadObject());
}

TEST_F(MifTest, BinaryJunkIsRefusedOrSkipped) {
  const unsigned seed = 20240611;
  SCOPED_TRACE(seed);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  MakeBuild();
  for (int file = 0; file < 60; ++file) {
    const std::string header = kHeader;
    std::vector<std::uint8_t> junk(header.begin(), header.end());
    const int size = 50 + file * 20;
    for (int i = 0; i < size; ++i) {
      const int b = byte(rng);
      junk.push_back(static_cast<std::uint8_t>(b % 7 == 0 ? '\n' : b));
    }
    WriteBytes(dir_.File("junk.mif"), junk);
    WriteText(dir_.File("junk.mid"), "a\nb\nc\n");
    err_.Clear();
    auto reader = Open(dir_.File("junk.mif"));
    ASSERT_TRUE(reader->success());
    const std::vector<int> results = ReadAll(*reader);
    ASSERT_TRUE(results.back() == 0 || results.back() == -1) << file;
    if (results.back() == -1) {
      EXPECT_NE(err_.code(), -1) << file;
    }
  }
}

// Every truncation of a real sample, and single-byte changes at every
// position, end in either a clean end or a reported failure.
TEST_F(MifTest, TruncatedAndCorruptedSamplesNeverCrash) {
  const std::string mif = std::string(kHeader) +
                          "Point -87.6298 41.8781\n    Symbol (35,0,12)\n"
                          "Pline 3\n-87.5 41.5\n-87.25 41.75\n-87 41.9\n    Pen (1,2,0)\n"
                          "Ellipse 0 0 1 1\n"
                          "Region 2\n  5\n-88 41\n-87 41\n-87 42\n-88 42\n-88 41\n"
                          "  4\n-87.75 41.25\n-87.25 41.25\n-87.5 41.75\n-87.75 41.25\n"
                          "    Pen (1,2,0)\n    Brush (1,0,16777215)\n    Center -87.5 41.5\n"
                          "Line 1 2 3 4\n";
  const std::string mid = "1,\"Chicago, IL\",\"CHI\"\n2,\"Road\",R1\n3,e,E\n4,Lake,L\n5,l,x\n";
  const std::uint8_t kReplacements[] = {0x00, '\r', '\n', '-', '9'};
  MakeBuild(100, 10);
  int runs = 0;
  std::string written_mid;
  auto run = [&](const std::string& mif_text, const std::string& mid_text) {
    WriteText(dir_.File("t.mif"), mif_text);
    if (runs == 0 || mid_text != written_mid) {
      WriteText(dir_.File("t.mid"), mid_text);
      written_mid = mid_text;
    }
    err_.Clear();
    auto reader = Open(dir_.File("t.mif"), "NAME", "ALT");
    ++runs;
    if (!reader->success()) {
      EXPECT_NE(err_.code(), -1);
      return;
    }
    const std::vector<int> results = ReadAll(*reader);
    ASSERT_TRUE(results.back() == 0 || results.back() == -1);
    if (results.back() == -1) {
      EXPECT_NE(err_.code(), -1);
    }
  };
  for (std::size_t n = 0; n <= mif.size(); ++n) run(mif.substr(0, n), mid);
  for (std::size_t n = 0; n <= mid.size(); ++n) run(mif, mid.substr(0, n));
  for (std::size_t i = 0; i < mif.size(); ++i) {
    for (std::uint8_t b : kReplacements) {
      std::string changed = mif;
      changed[i] = static_cast<char>(b);
      run(changed, mid);
    }
  }
  EXPECT_GT(runs, 2500);
  // Whatever the readers wrote is a well-formed object file.
  const auto stored = Finish();
  EXPECT_GT(stored.size(), 100u);
}

// ---------------------------------------------------------------------------
// Interchange with GDAL

bool HaveOgr2ogr() { return std::system("command -v ogr2ogr > /dev/null 2>&1") == 0; }

TEST_F(MifTest, ImportsWhatOgr2ogrWrites) {
  if (!HaveOgr2ogr()) GTEST_SKIP() << "ogr2ogr is not installed";
  WriteText(dir_.File("in.geojson"),
            R"({"type":"FeatureCollection","features":[
{"type":"Feature","properties":{"NAME":"Chicago, IL","CODE":"CHI"},
 "geometry":{"type":"Point","coordinates":[-87.6298,41.8781]}},
{"type":"Feature","properties":{"NAME":"Road \"A\"","CODE":"R1"},
 "geometry":{"type":"LineString","coordinates":[[-87.5,41.5],[-87.25,41.75],[-87.123457,41.9]]}},
{"type":"Feature","properties":{"NAME":"Lake","CODE":"L"},
 "geometry":{"type":"Polygon","coordinates":[[[-88,41],[-87,41],[-87,42],[-88,42],[-88,41]],
   [[-87.75,41.25],[-87.25,41.25],[-87.5,41.75],[-87.75,41.25]]]}}
]})");
  const std::string command = "ogr2ogr -f \"MapInfo File\" \"" + dir_.File("ogr.mif") + "\" \"" +
                              dir_.File("in.geojson") + "\" > /dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  MakeBuild();
  auto reader = Open(dir_.File("ogr.mif"), "name", "code");
  ASSERT_TRUE(reader->success()) << err_.detail();
  EXPECT_EQ(ReadAll(*reader), (std::vector<int>{1, 1, 1, 0})) << err_.detail();
  reader.reset();
  const auto stored = Finish();
  ASSERT_EQ(stored.size(), 3u);

  auto expect_near = [](const std::vector<RecordPoint>& got, const std::vector<RecordPoint>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_NEAR(got[i].x, want[i].x, 1) << "point " << i;
      EXPECT_NEAR(got[i].y, want[i].y, 1) << "point " << i;
    }
  };
  EXPECT_EQ(stored[0].kind, ObjectKind::kPoint);
  EXPECT_EQ(stored[0].name, "Chicago, IL");
  EXPECT_EQ(stored[0].name2, "CHI");
  expect_near(stored[0].points, Points({-87629800, 41878100}));
  EXPECT_EQ(stored[1].kind, ObjectKind::kLine);
  EXPECT_EQ(stored[1].name, "Road \"\"A\"\"");  // a doubled quote stays doubled
  expect_near(stored[1].points,
              Points({-87500000, 41500000, -87250000, 41750000, -87123457, 41900000}));
  EXPECT_EQ(stored[2].kind, ObjectKind::kRegion);
  EXPECT_EQ(stored[2].name, "Lake");
  EXPECT_EQ(stored[2].name2, "L");
  EXPECT_EQ(stored[2].rings, (std::vector<std::uint32_t>{4, 3}));
  expect_near(stored[2].points,
              Points({-88000000, 41000000, -87000000, 41000000, -87000000, 42000000, -88000000,
                      42000000, -87750000, 41250000, -87250000, 41250000, -87500000, 41750000}));
}

}  // namespace
