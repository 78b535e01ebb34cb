// The lumetra command-line tool, run as a user runs it: a child process
// with arguments, standard input and the exit status, on the bundled US
// states and on small hand-written MIF and BNA files.  Most cases are rows
// of (arguments, input, status, what the output holds), run in order in one
// directory so that a row may use the files an earlier row wrote.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "cli/cli_runner.h"

namespace {

using namespace cli_test;

// One import of the US states shared by the tests that only read it.
class CliStates : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScopedTempDir;
    ASSERT_EQ(RunTool(dir_->path(), {"import", kStates, "us.lmb"}).status, 0);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string Dir() { return dir_->path(); }
  static RunResult Tool(const std::vector<std::string>& args, const std::string& input = "") {
    return RunTool(dir_->path(), args, input);
  }

 private:
  static ScopedTempDir* dir_;
};
ScopedTempDir* CliStates::dir_ = nullptr;

const char kChicagoOut[] = "=Illinois (inside)\n  FIPS: 17\n  NAME: Illinois\n";

TEST(CliUsage, HelpVersionAndBadArguments) {
  ScopedTempDir dir;
  std::vector<std::string> every_command;
  for (const std::string& c : kCommands) every_command.push_back("  " + c + " ");
  std::vector<Step> runs = {
      {{"--help"}, 0, every_command},
      {{"--version"}, 0, {"Lumetra+ v41.04"}},
      {{}, 2, {"="}, {"usage: lumetra COMMAND"}},
      {{"frobnicate"}, 2, {"="}, {"unknown command 'frobnicate'"}},
  };
  for (const std::string& c : kCommands) {
    for (const char* flag : {"--help", "-h"}) {
      runs.push_back({{c, flag}, 0, {"^usage: lumetra " + c}, {"="}});
    }
  }
  const std::pair<std::vector<std::string>, const char*> bad[] = {
      {{"lookup"}, "missing arguments"},
      {{"lookup", "x.lmb", "1", "2", "3"}, "unexpected argument '3'"},
      {{"lookup", "x.lmb", "1", "2", "--bogus"}, "unknown option '--bogus'"},
      {{"lookup", "x.lmb", "1", "2", "--radius"}, "needs 1 value"},
      {{"lookup", "x.lmb", "1", "2", "--radius", "5", "--ranked", "5"}, "exclude each other"},
      {{"import", "a.txt", "b.lmb"}, "expected a .mif, .bna, .shp or .tab file"},
      {{"import", "a.bna", "b.lmb", "--name-pos", "4"}, "malformed --name-pos '4'"},
      {{"import", "a.mif", "b.lmb", "--keep-going"},
       "--keep-going applies to shapefiles and TAB tables only"},
      {{"find", "x.lmb"}, "give either --name or --rect"},
      {{"nearest", "x.lmb", "1", "2", "-n", "0"}, "malformed -n '0'"},
      {{"export", "x.lmb", "out.txt"}, "expected a .bna, .mif, .shp or .tab file"},
      {{"export", "x.lmb", "out.bna"}, "cannot open x.lmb"},
      {{"render", "x.lmb", "x.png"}, "the output 'x.png' must end in .svg"},
  };
  for (const auto& [args, message] : bad) runs.push_back({args, 2, {"="}, {message}});
  RunAll(dir.path(), runs);
}

TEST(CliImport, OptionsAndFailures) {
  ScopedTempDir dir;
  WriteText(dir.File("bad.bna"), "\"A\",5\n1,1\n2,2\n");
  RunAll(
      dir.path(),
      {{{"import", kStates, "x.lmb", "--name-field", "STATE"},
        2,
        {},
        {"no column 'STATE'", "columns: FIPS, NAME"},
        "",
        "x.lmb"},
       {{"import", kStates, "fips.lmb", "--name-field", "fips", "--name2-field", "NAME", "--quiet"},
        0,
        {"="}},
       {{"lookup", "fips.lmb", "-87.6298", "41.8781"}, 0, {"17 (inside)\n  name2: Illinois\n"}},

       {{"import", "nope.shp", "x.lmb"}, 2, {}, {"nope"}, "", "x.lmb"},
       {{"import", "nope.mif", "x.lmb"}, 2, {}, {"nope"}, "", "x.lmb"},
       {{"import", "nope.bna", "x.lmb"}, 2, {}, {"nope"}, "", "x.lmb"},
       {{"import", "bad.bna", "bad.lmb"},
        2,
        {},
        {"cannot import bad.bna", "Unexpected End of File."},
        "",
        "bad.lmb"},
       {{"info", kData + "/us_states.dbf"}, 2, {}, {"Invalid file signature."}},
       {{"lookup", "missing.lmb", "1", "2"}, 2, {}, {"cannot open missing.lmb"}}});
}

TEST_F(CliStates, LookupFindDistanceAndNearest) {
  EXPECT_TRUE(FileExists(Dir() + "/us.lmb"));
  EXPECT_TRUE(FileExists(Dir() + "/us.lma"));
  WriteText(Dir() + "/points.csv", "-74.0060,40.7128\n");
  std::vector<Step> runs = {
      {{"info", "us.lmb"},
       0,
       {"objects:         56 (56 regions, 0 lines, 0 points)", "coordinates:     geographic",
        "source:        Imported from us_states.shp by lumetra", "created:       ",
        "attributes:      us.lma, 2 fields", "  FIPS         C   5", "  NAME         C  40",
        // The box holds the 50 states and the territories (Guam at 144 E).
        "bounding box:    -179."}},
      {{"validate", "us.lmb"},
       0,
       {"us.lmb: valid; 56 objects (56 regions, 0 lines, 0 points)",
        "attributes: 56 of 56 objects have a record"}},
      {{"lookup", "us.lmb", "-87.6298", "41.8781"}, 0, {kChicagoOut}},
      {{"lookup", "us.lmb", "-40", "30"}, 1, {"="}, {"nothing found"}},
      {{"lookup", "us.lmb", "-40", "30", "--json"}, 1, {"=[]\n"}},
      {{"lookup", "us.lmb", "-104.9903", "39.7392", "--json"},
       0,
       {"\"name\": \"Colorado\"", "\"relation\": \"inside\"",
        "\"attributes\": {\"FIPS\": \"08\", \"NAME\": \"Colorado\"}"}},
      {{"lookup", "us.lmb", "-87.6298", "41.8781", "--ranked", "100000"},
       0,
       {"^Illinois (inside, ", "  NAME: Illinois\nIndiana (outside, ", ")\n  FIPS: 18\n"}},
      {{"lookup", "us.lmb", "--batch"},
       0,
       {"=-87.6298,41.8781,Illinois,17,Illinois\n-104.9903,39.7392,Colorado,08,Colorado\n"},
       {},
       "lon,lat\n-87.6298,41.8781\n\n# at sea\n-40,30\n-104.9903 39.7392\n"},
      {{"lookup", "us.lmb", "--batch", "points.csv", "--header"},
       0,
       {"=lon,lat,name,FIPS,NAME_2\n-74.0060,40.7128,New York,36,New York\n"}},
      {{"lookup", "us.lmb", "--batch", "-"}, 1, {"="}, {}, "-40,30\n0,0\n"},
      {{"lookup", "us.lmb", "--batch"},
       2,
       {},
       {"standard input, line 2: malformed point"},
       "-87.6,41.8\n-87.6\n"},
      {{"lookup", "us.lmb", "--batch", "nope.csv"}, 2, {}, {"cannot open nope.csv"}},
      {{"find", "us.lmb", "--name", "new*"},
       0,
       {"^New Hampshire (region, ordinal ", "\nNew York (region, ordinal "},
       {},
       "",
       "",
       4},
      {{"find", "us.lmb", "--rect", "-87.7", "41.8", "-87.6", "41.9"}, 0, {"Illinois (region"}},
      {{"find", "us.lmb", "--name", "Atlantis"}, 1},
      {{"distance", "us.lmb", "-87.6298", "41.8781", "--all", "--max", "100000"},
       0,
       {"^Illinois: inside, ", "\nIndiana: outside, "},
       {},
       "",
       "",
       2},
      {{"distance", "us.lmb", "-40", "30"}, 1},
      {{"nearest", "us.lmb", "-87.6", "41.8", "-n", "3"}, 1, {"="}},
      {{"lookup", "us.lmb", "-87.6298", "41.8781", "--radius", "1000"},
       2,
       {},
       {"objects do not have buffers"}},
      {{"import", kStates, "seg.lmb", "--segments", "--compress", "--quiet"}, 0},
      // Chicago lies about 0.7 miles from the lake shore, Illinois's border.
      {{"lookup", "seg.lmb", "-87.6298", "41.8781", "--radius", "5000"},
       0,
       {"^Illinois (inside, near the border)\n"}},
      {{"lookup", "seg.lmb", "-87.6298", "41.8781", "--radius", "3000"},
       0,
       {"^Illinois (inside)\n"}},
  };
  for (const char* lon : {"abc", "12x", "", "nan", "inf", "1e400"}) {
    runs.push_back({{"lookup", "us.lmb", lon, "41"},
                    2,
                    {},
                    {"malformed longitude '" + std::string(lon) + "'"}});
  }
  RunAll(Dir(), runs);
}

TEST_F(CliStates, Zip4BuildsCentroidFilesAndFindsTheirCodesInRegions) {
  WriteText(Dir() + "/centroids.csv",
            "zip,plus4,type,longitude,latitude\n80202,0001,S,-104.9903,39.7392\n"
            "60601,1235,H,-87.6298,41.8781\n99950,1,G,-140,30\n60601,1234,S,-87.6298,41.8781\n");
  WriteText(Dir() + "/bad.csv", "60601,1234,S,87.6298,41.8781\n");
  RunAll(
      Dir(),
      {
          {{"zip4", "build", "centroids.csv", "c.z9"}, 0, {"=4 records written to c.z9\n"}},
          {{"zip4", "find", "c.z9", "us.lmb"},
           0,
           {"=zip4,type,name\n60601-1234,S,Illinois\n60601-1235,H,Illinois\n80202-0001,S,"
            "Colorado\n"},
           {"3 ZIP+4 codes found"}},
          {{"zip4", "find", "c.z9", "us.lmb", "--distance", "10"}, 2, {}, {"do not have buffers"}},
          {{"zip4", "build", "bad.csv", "bad.z9"},
           2,
           {"="},
           {"longitude not between"},
           "",
           "bad.z9"},
          {{"zip4", "find", "us.lmb", "us.lmb"}, 2, {"="}, {"Invalid file signature."}},
          {{"zip4", "list"}, 2, {"="}, {"unknown action 'list'"}},
      });
}

TEST_F(CliStates, RenderDrawsStatesAndColoursPoints) {
  WriteText(Dir() + "/render_points.csv", "lon,lat\n-87.6298,41.8781\n-70,30\n");
  const RunResult r = Tool({"render", "us.lmb", "map.svg", "--bbox", "-125", "24", "-66", "50",
                            "--points", "render_points.csv", "--labels", "--width", "800"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Contains(r.out, "1 points hit, 1 missed")) << r.out;
  const std::string svg = ReadFile(Dir() + "/map.svg");
  ExpectText(svg,
             {"^<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\"", "<title>Illinois</title>",
              ">Texas</text>", "fill=\"#1a9641\"", "fill=\"#d7191c\"", "</svg>\n"},
             "svg");
  EXPECT_FALSE(Contains(svg, "<title>Guam</title>")) << "outside the box";
}

TEST(CliAttributes, MifColumnsBecomeTypedFieldsKeyedByOrdinal) {
  ScopedTempDir dir;
  WriteText(dir.File("cities.mif"),
            "Version 300\nCharset \"Neutral\"\nDelimiter \";\"\nColumns 5\n  Name Char(20)\n"
            "  Pop Integer\n  Area Float\n  Code Decimal(6,2)\n  Big Decimal(14,2)\nData\n\n"
            "Point -87.6298 41.8781\nPoint -89.65 39.78\nRect 0 0 1 1\nPoint -90.1994 38.6270\n");
  WriteText(dir.File("cities.mid"),
            "\"Chicago\";2716000;606.1;12.5;123456789012.5\n\"Springfield\";116250;61;3;1\n"
            "\"Box\";0;0;0;0\n\"St. \"\"Lou\"\"\";301578;171.35;-7.125;2\n");
  // The skipped Rect consumed the Box row; St. Louis is the third object.
  RunAll(dir.path(),
         {{{"import", "cities.mif", "cities.lmb"},
           0,
           {"imported 3 objects from cities.mif into cities.lmb (1 skipped)",
            "attributes: 3 records, 5 fields in cities.lma"}},
          {{"info", "cities.lmb"},
           0,
           {"  Name         C  20\n  Pop          N  11.0\n  Area         N   6.2\n"
            "  Code         N   6.2\n  Big          C  14\n"}},
          {{"nearest", "cities.lmb", "-90.2", "38.6", "-n", "2", "--where", "Pop > 200000",
            "--max-distance", "3000000"},
           0,
           {"^St. ",
            ")\n  Name: St. \"Lou\"\n  Pop: 301578\n  Area: 171.35\n  Code: -7.13\n  Big: 2\n"
            "Chicago (",
            "  Big: 123456789012.5\n"},
           {},
           "",
           "",
           12},
          {{"nearest", "cities.lmb", "-90", "38", "--where", "Pop >> 1"},
           2,
           {},
           {"Invalid operator."}}});
}

TEST(CliNearestPoints, CsvPointsAreSearchedInMemory) {
  ScopedTempDir dir;
  WriteText(dir.File("c.csv"),
            "name,lon,lat\nChicago,-87.6298,41.8781\n# skipped\n\"St. Louis, MO\",-90.1994,38.627\n"
            "Indianapolis,-86.1581,39.7684\n");
  WriteText(dir.File("bad.csv"), "a,1,2\nb,x,y\n");
  RunAll(
      dir.path(),
      {{{"nearest", "--points", "c.csv", "-88", "41", "-n", "2"},
        0,
        {"=Chicago (335712 feet away, at -87.629800 41.878100)\n"
         "Indianapolis (676617 feet away, at -86.158100 39.768400)\n"}},
       {{"nearest", "--points", "c.csv", "-88", "41", "--radius", "1055046"}, 0, {}, {}, "", "", 3},
       {{"nearest", "--points", "c.csv", "-88", "41", "--radius", "1055045"}, 0, {}, {}, "", "", 2},
       {{"nearest", "--points", "c.csv", "--rect", "-90.1994", "42", "-86.1581", "38.627"},
        0,
        {"St. Louis, MO (at -90.199400 38.627000)", "Indianapolis"},
        {},
        "",
        "",
        3},
       {{"nearest", "--points", "c.csv", "--planar", "0", "0", "--radius", "5"}, 1, {"="}},
       {{"nearest", "--points", "bad.csv", "0", "0"}, 2, {"="}, {"bad.csv, line 2: malformed row"}},
       {{"nearest", "--points", "c.csv", "0", "0", "-n", "2", "--radius", "5"},
        2,
        {"="},
        {"exclude each other"}}});
}

}  // namespace
