// MIFRead: file names, name columns, the MID rows, every object kind and
// style clause, skipped objects, data failures with file and line, and an
// interchange check against GDAL's ogr2ogr.
#include "import/mif_read.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
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
using lumetra_test::StartsWith;
using lumetra_test::StoredObject;

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
constexpr char kRows3[] = "1,a,x\n2,b,x\n3,c,x\n";

class MifTest : public lumetra_test::ObjectFileTest {
 protected:
  // Writes base.mif (kHeader + body unless raw) and base.mid; returns the
  // .mif path.
  std::string Write(const std::string& base, const std::string& body, const std::string& mid,
                    bool raw = false) {
    lumetra_test::WriteText(Path(base + ".mif"), raw ? body : std::string(kHeader) + body);
    lumetra_test::WriteText(Path(base + ".mid"), mid);
    return Path(base + ".mif");
  }
  std::unique_ptr<MIFRead> Open(const std::string& path, const char* name_field = "NAME",
                                const char* name_field2 = nullptr) {
    return std::make_unique<MIFRead>(*build_, path.c_str(), name_field, name_field2);
  }
  // Imports body (after kHeader) with mid; expects the reader to reach the end.
  std::vector<StoredObject> Import(const std::string& body, const std::string& mid,
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
};

TEST(MifExtension, FollowsTheCaseOfTheOldExtension) {
  const struct {
    const char* name;
    const char* expected;
  } rows[] = {
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
  for (const auto& row : rows) {
    EXPECT_EQ(MIFRead::ApplyExtension(row.name, ".MID"), row.expected) << row.name;
  }
}

TEST_F(MifTest, NameColumnsAreChosenByColumnName) {
  const char* kNotFound =
      "WARNING: nameField parameter not found. Parameter set to first column by default.";
  const char* kInvalid = "WARNING: Invalid nameField parameter. Parameter set to first column.";
  const char* kNotFound2 =
      "WARNING: nameField2 parameter specified not found. No secondary name will be written.";
  const struct {
    const char* name_field;
    const char* name_field2;
    int name_column, name2_column;
    const char* name;
    const char* name2;
    const char* warning;  // code 106 detail, or null for none
  } rows[] = {
      {"NAME", nullptr, 2, 0, "Lake Side", "", nullptr},
      {"name", "alt", 2, 3, "Lake Side", "Alt 1", nullptr},
      {"ALT", "Id", 3, 1, "Alt 1", "7", nullptr},
      {"", nullptr, 1, 0, "7", "", nullptr},
      {"", "NAME", 1, 2, "7", "Lake Side", nullptr},
      {nullptr, nullptr, 1, 0, "7", "", kInvalid},
      {"POP", nullptr, 1, 0, "7", "", kNotFound},
      {"NAME", "NOPE", 2, 0, "Lake Side", "", kNotFound2},
      {"NAME", "", 2, 0, "Lake Side", "", nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.name_field ? row.name_field : "(null)") + " / " +
                 (row.name_field2 ? row.name_field2 : "(null)"));
    MakeBuild();
    auto reader = Open(Write("cols", "Point 1 2\n", "7,\"Lake Side\",\"Alt 1\"\n"), row.name_field,
                       row.name_field2);
    ASSERT_TRUE(reader->success()) << err_.detail();
    EXPECT_EQ(reader->name_column(), row.name_column);
    EXPECT_EQ(reader->name2_column(), row.name2_column);
    EXPECT_EQ(err_.code(), row.warning != nullptr ? 106 : -1) << err_.detail();
    if (row.warning != nullptr) {
      EXPECT_STREQ(err_.detail(), row.warning);
    }
    EXPECT_EQ(ReadAll(*reader), (std::vector<int>{1, 0}));
    reader.reset();
    const auto stored = Finish();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].name, row.name);
    EXPECT_EQ(stored[0].name2, row.name2);
  }
}

TEST_F(MifTest, MidFieldsFollowTheQuotingRules) {
  const struct {
    const char* mid;
    const char* name;   // column 1
    const char* name2;  // column 3
    int id;
  } rows[] = {
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
  for (const auto& row : rows) {
    body += "Point 1 1\n";
    mid += std::string(row.mid) + "\n";
  }
  body += "Point 2 2\n";
  mid += std::string(200, 'n') + ",b,c\n";
  MakeBuild();
  auto reader = Open(Write("rows", body, mid), "", "ALT");
  ASSERT_TRUE(reader->success());
  EXPECT_EQ(ReadAll(*reader).back(), 0) << err_.detail();
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

TEST_F(MifTest, EveryObjectKindWithItsStyle) {
  const std::string body =
      "Point 1.5 2.25\n"
      "    Symbol (35,255,12)\n"
      "Line 0 0 10 -10\n"
      "    Pen (3,4,65280)\n"
      "Pline 3\n0 0\n1 1\n2 0\n"
      "    Pen (2,2,255)\n"
      "    Center 1 0.5\n"
      "Region 2\n  4\n0 0\n4 0\n4 4\n0 0\n  5\n10 10\n20 10\n20 20\n10 20\n10 10\n"
      "    Pen (1,2,0)\n"
      "    Brush (2,16777215,255)\n"
      "    Center 2 2\n";
  std::vector<int> results;
  const auto stored = Import(body, "1,pt,a\n2,ln,b\n3,pl,c\n4,rg,d\n", &results);
  EXPECT_EQ(results, (std::vector<int>{1, 1, 1, 1, 0}));
  // A line without Center is labelled at the centre of its rectangle grown
  // by one unit; region rings are stored without their closing copies.
  EXPECT_EQ(Describe(stored),
            (std::vector<std::string>{
                "point \"pt\" colour 255 (1500000,2250000) symbol 35,12",
                "line \"ln\" colour 65280 rings 2 (0,0) (10000000,-10000000) "
                "label 5000000,-5000000 pen 3,4",
                "line \"pl\" colour 255 rings 3 (0,0) (1000000,1000000) (2000000,0) "
                "label 1000000,500000 pen 2,2",
                "region \"rg\" colour 0 rings 3,4 (0,0) (4000000,0) (4000000,4000000) "
                "(10000000,10000000) (20000000,10000000) (20000000,20000000) (10000000,20000000) "
                "label 2000000,2000000 pen 1,2 brush 2,16777215,255"}));
}

// A skipped object consumes its MID row and writes the pending object
// before it, so the names stay aligned.
TEST_F(MifTest, UnsupportedObjectsAreSkippedWithTheirMidRow) {
  const char* const kSkipped[] = {
      "Rect 0 0 1 1\n",
      "RoundRect 0 0 1 1\n  0.5\n",
      "ELLIPSE 0 0 1 1\n    Pen (1,2,0)\n    Brush (1,0,0)\n",
      "arc 0 0 1 1\n  0 90\n",
      "Text\n  \"Region 3\"\n  0 0 1 1\n  Font (\"Arial\",0,0,0)\n",
      "none\n",
  };
  for (const char* around : {"Point 9 9\n", "Region 1\n 3\n0 0\n1 0\n1 1\n"}) {
    for (const char* skipped : kSkipped) {
      SCOPED_TRACE(std::string(around) + skipped);
      MakeBuild();
      auto reader = Open(Write("skip", std::string(around) + skipped + around,
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
      ASSERT_EQ(stored.size(), 2u);
      EXPECT_EQ(stored[0].name, "first");
      EXPECT_EQ(stored[1].name, "last");
      EXPECT_EQ(stored[1].colour, 2u);
    }
  }
}

TEST_F(MifTest, MultiplePlineIsStoredWithoutPointsAndNegativeCountsGiveEmptyObjects) {
  std::vector<int> results;
  const auto stored = Import(
      "Pline Multiple 2\n  2\n0 0\n1 1\n  2\n5 5\n6 6\n  Pen (1,2,0)\n"
      "Pline -5\nRegion -2\nPoint 3 3\n",
      "1,multi,x\n2,l,x\n3,r,x\n4,pt,x\n", &results);
  EXPECT_EQ(results, (std::vector<int>{1, 1, 1, 1, 0}));
  EXPECT_EQ(Describe(stored),
            (std::vector<std::string>{
                "line \"multi\" colour 0 rings - pen 1,2", "line \"l\" colour 2 rings -",
                "region \"r\" colour 3 rings -", "point \"pt\" colour 4 (3000000,3000000)"}));
}

TEST_F(MifTest, CoordinatesAreTruncatedMillionths) {
  const auto stored = Import(
      "Pline 6\n-87.6298 41.8781\n0.0000019 -0.0000019\n1e2 -1E-3\n+2.5 3\n5000 -5000\nabc 1x\n",
      "1,l,x\n");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].points, Points({-87629800, 41878100, 1, -1, 100000000, -1000, 2500000,
                                      3000000, 2147483647, -2147483647 - 1, 0, 1000000}));
}

TEST_F(MifTest, HeaderFailuresNameFileAndLine) {
  const struct {
    const char* what;
    const char* mif;
    const char* message;
    int line;
  } rows[] = {
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
  for (const auto& row : rows) {
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

TEST_F(MifTest, NegativeColumnCountReadsNoColumnsAndALaterColumnOfTheSameNameWins) {
  MakeBuild();
  auto negative = Open(Write("neg", "Columns -4\nData\nPoint 1 1\n", "a,b\n", true), "");
  ASSERT_TRUE(negative->success()) << err_.detail();
  EXPECT_EQ(ReadAll(*negative), (std::vector<int>{1, 0}));
  EXPECT_EQ(negative->name(), "a");
  const std::string mif = "Columns 3\n Name Char(5)\n NAME Char(5)\n x Integer\nData\nPoint 0 0\n";
  auto twice = Open(Write("twice", mif, "first,second,3\n", true), "name");
  ASSERT_TRUE(twice->success());
  EXPECT_EQ(twice->name_column(), 2);
  EXPECT_EQ(ReadAll(*twice), (std::vector<int>{1, 0}));
  EXPECT_EQ(twice->name(), "second");
}

TEST_F(MifTest, MissingStyleNumbersCountZero) {
  const auto stored =
      Import("Region 1\n 3\n0 0\n1 0\n1 1\n  Brush (2)\n  Pen (4,5)\nPoint 0 0\n  Symbol (7)\n",
             "1,r,x\n2,p,x\n");
  EXPECT_EQ(Describe(stored),
            (std::vector<std::string>{"region \"r\" colour 0 rings 3 (0,0) (1000000,0) "
                                      "(1000000,1000000) label 500000,500000 pen 4,5 brush 2,0,0",
                                      "point \"p\" colour 0 (0,0) symbol 7,0"}));
}

TEST_F(MifTest, DataFailuresNameFileAndLine) {
  const char* kEnd = "Unexpected End of File.";
  const char* kBlank = "Blank line in object.";
  const char* kSyntax = "Syntax error in object.";
  const struct {
    const char* what;
    const char* body;
    const char* message;
    int body_line;  // 1 = the first line after the header (MID failures: the MID line)
    int max_points = 100;
    int max_parts = 10;
    const char* mid = kRows3;
    bool in_mid = false;
  } rows[] = {
      {"MID row missing", "Point 1 2\nPoint 3 4\n", kEnd, 2, 100, 10, "1,a,x\n", true},
      {"MID row missing for a skip", "Point 1 1\nRect 0 0 1 1\n", kEnd, 2, 100, 10, "1,a,x\n",
       true},
      {"pline cut short", "Pline 3\n1 2\n2 3\n", kEnd, 4},
      {"pline blank line", "Pline 2\n1 2\n\n3 4\n", kBlank, 3},
      {"pline point without y", "Pline 2\n1 2\n3\n", kSyntax, 3},
      {"region blank count", "Region 2\n  3\n0 0\n1 0\n1 1\n   \n", kBlank, 6},
      {"region blank point", "Region 1\n  3\n0 0\n\n", kBlank, 4},
      {"region point without y", "Region 1\n 3\n0 0\n1\n", kSyntax, 4},
      {"region cut short", "Region 2\n 3\n0 0\n1 0\n1 1\n", kEnd, 6},
      {"ring cut short", "Region 1\n 4\n0 0\n", kEnd, 4},
      {"huge point count", "Pline 2000000000\n0 0\n", kEnd, 3},
      {"huge ring count", "Region 99999999999999999999\n 1\n0 0\n", kEnd, 4},
      {"pline too large", "Pline 4\n0 0\n1 1\n2 2\n3 3\n", "Object too large", 5, 3},
      {"region too large", "Region 2\n 3\n0 0\n1 0\n1 1\n 1\n5 5\n", "Object too large", 7, 3},
      {"too many rings",
       "Region 4\n 3\n0 0\n1 0\n1 1\n 3\n5 5\n6 5\n6 6\n 3\n8 8\n9 8\n9 9\n 3\n0 5\n1 5\n1 6\n",
       "Too many polygons in object.", 13, 100, 2},
      {"point without y", "Point 1\n", kSyntax, 1},
      {"point without numbers", "Point\n", kSyntax, 1},
      {"line with three numbers", "Line 1 2 3\n", kSyntax, 1},
      {"center without y", "Pline 1\n0 0\n  Center 5\n", kSyntax, 3},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    MakeBuild(row.max_points, row.max_parts);
    const std::string mif = Write("d", row.body, row.mid);
    auto reader = Open(mif);
    ASSERT_TRUE(reader->success()) << err_.detail();
    EXPECT_EQ(ReadAll(*reader).back(), -1);
    EXPECT_EQ(err_.code(), 100);
    const int line = row.in_mid ? row.body_line : kFirstBodyLine - 1 + row.body_line;
    EXPECT_EQ(err_.detail(), ErrorText(row.message, row.in_mid ? Path("d.mid") : mif, line));
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

TEST_F(MifTest, ImportsWhatOgr2ogrWrites) {
  if (!lumetra_test::HaveTool("ogr2ogr")) GTEST_SKIP() << "ogr2ogr is not installed";
  lumetra_test::WriteText(Path("in.geojson"), R"({"type":"FeatureCollection","features":[
{"type":"Feature","properties":{"NAME":"Chicago, IL","CODE":"CHI"},
 "geometry":{"type":"Point","coordinates":[-87.6298,41.8781]}},
{"type":"Feature","properties":{"NAME":"Road \"A\"","CODE":"R1"},
 "geometry":{"type":"LineString","coordinates":[[-87.5,41.5],[-87.25,41.75],[-87.123457,41.9]]}},
{"type":"Feature","properties":{"NAME":"Lake","CODE":"L"},
 "geometry":{"type":"Polygon","coordinates":[[[-88,41],[-87,41],[-87,42],[-88,42],[-88,41]],
   [[-87.75,41.25],[-87.25,41.25],[-87.5,41.75],[-87.75,41.25]]]}}
]})");
  const std::string command = "ogr2ogr -f \"MapInfo File\" '" + Path("ogr.mif") + "' '" +
                              Path("in.geojson") + "' > /dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  MakeBuild();
  auto reader = Open(Path("ogr.mif"), "name", "code");
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
