// The lumetra command-line tool, run as a user runs it: a child process
// with arguments, standard input and the exit status, on the bundled US
// states and on small hand-written MIF and BNA files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/test_files.h"

namespace {

using lumetra_test::FileExists;
using lumetra_test::ScopedTempDir;
using lumetra_test::WriteText;

const std::string kTool = LUMETRA_CLI_PATH;
const std::string kData = LUMETRA_DATA_DIR;
const std::string kStates = kData + "/us_states.shp";

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Runs the tool with `args` in directory `dir`, feeding `input` to its
// standard input; output and errors go through files in `dir`.
RunResult RunTool(const std::string& dir, const std::vector<std::string>& args,
                  const std::string& input = "") {
  const std::string in_path = dir + "/.stdin";
  const std::string out_path = dir + "/.stdout";
  const std::string err_path = dir + "/.stderr";
  WriteText(in_path, input);
  std::vector<std::string> words = {kTool};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open(in_path.c_str(), O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(dir.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(kTool.c_str(), argv.data());
    _exit(127);
  }
  RunResult result;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    result.status = WEXITSTATUS(status);
  }
  result.out = ReadFile(out_path);
  result.err = ReadFile(err_path);
  return result;
}

std::string Describe(const RunResult& r) {
  return "status " + std::to_string(r.status) + "\n--- stdout\n" + r.out + "--- stderr\n" + r.err;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// One import of the US states shared by the tests that only read it.
class CliStates : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScopedTempDir;
    const RunResult r = RunTool(dir_->path(), {"import", kStates, "us.lmb"});
    ASSERT_EQ(r.status, 0) << Describe(r);
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

// ---------------------------------------------------------------- usage

TEST(CliUsage, HelpListsEveryCommand) {
  ScopedTempDir dir;
  const RunResult r = RunTool(dir.path(), {"--help"});
  EXPECT_EQ(r.status, 0);
  for (const char* command : {"import", "info", "lookup", "nearest", "find", "distance", "export",
                              "validate", "render"}) {
    EXPECT_TRUE(Contains(r.out, std::string("  ") + command + " ")) << command << "\n" << r.out;
  }
}

TEST(CliUsage, EveryCommandHasItsOwnHelp) {
  ScopedTempDir dir;
  for (const char* command : {"import", "info", "lookup", "nearest", "find", "distance", "export",
                              "validate", "render"}) {
    for (const char* flag : {"--help", "-h"}) {
      const RunResult r = RunTool(dir.path(), {command, flag});
      EXPECT_EQ(r.status, 0) << command << " " << flag;
      EXPECT_EQ(r.out.rfind(std::string("usage: lumetra ") + command, 0), 0u) << command << "\n"
                                                                              << r.out;
      EXPECT_EQ(r.err, "");
    }
  }
}

TEST(CliUsage, NoCommandOrUnknownCommandFails) {
  ScopedTempDir dir;
  RunResult r = RunTool(dir.path(), {});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Contains(r.err, "usage: lumetra COMMAND"));
  r = RunTool(dir.path(), {"frobnicate"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Contains(r.err, "unknown command 'frobnicate'")) << r.err;
}

TEST(CliUsage, VersionNamesTheLibrary) {
  ScopedTempDir dir;
  const RunResult r = RunTool(dir.path(), {"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(Contains(r.out, "Lumetra+ v41.04")) << r.out;
}

TEST(CliUsage, BadArgumentsGiveAMessageAndStatus2) {
  ScopedTempDir dir;
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"lookup"}, "missing arguments"},
      {{"lookup", "x.lmb", "1", "2", "3"}, "unexpected argument '3'"},
      {{"lookup", "x.lmb", "1", "2", "--bogus"}, "unknown option '--bogus'"},
      {{"lookup", "x.lmb", "1", "2", "--radius"}, "needs 1 value"},
      {{"lookup", "x.lmb", "1", "2", "--radius", "5", "--ranked", "5"}, "exclude each other"},
      {{"import", "a.txt", "b.lmb"}, "expected a .mif, .bna or .shp file"},
      {{"import", "a.bna", "b.lmb", "--name-pos", "4"}, "malformed --name-pos '4'"},
      {{"import", "a.mif", "b.lmb", "--keep-going"}, "--keep-going applies to shapefiles only"},
      {{"find", "x.lmb"}, "give either --name or --rect"},
      {{"nearest", "x.lmb", "1", "2", "-n", "0"}, "malformed -n '0'"},
      {{"export", "x.lmb", "out.txt"}, "cannot open x.lmb"},
  };
  for (const Case& c : cases) {
    const RunResult r = RunTool(dir.path(), c.args);
    std::string joined;
    for (const std::string& a : c.args) joined += a + " ";
    EXPECT_EQ(r.status, 2) << joined << Describe(r);
    EXPECT_TRUE(Contains(r.err, c.message)) << joined << "\n" << r.err;
    EXPECT_EQ(r.out, "") << joined;
  }
}

// ---------------------------------------------------------------- import and info

TEST_F(CliStates, ImportWritesTheObjectFileAndItsAttributeFile) {
  EXPECT_TRUE(FileExists(Dir() + "/us.lmb"));
  EXPECT_TRUE(FileExists(Dir() + "/us.lma"));
}

TEST_F(CliStates, InfoShowsCountsBoxCreationTimeAndFields) {
  const RunResult r = Tool({"info", "us.lmb"});
  ASSERT_EQ(r.status, 0) << Describe(r);
  EXPECT_TRUE(Contains(r.out, "objects:         56 (56 regions, 0 lines, 0 points)")) << r.out;
  EXPECT_TRUE(Contains(r.out, "coordinates:     geographic")) << r.out;
  EXPECT_TRUE(Contains(r.out, "source:        Imported from us_states.shp by lumetra")) << r.out;
  EXPECT_TRUE(Contains(r.out, "created:       ")) << r.out;
  EXPECT_TRUE(Contains(r.out, "attributes:      us.lma, 2 fields")) << r.out;
  EXPECT_TRUE(Contains(r.out, "  FIPS         C   5")) << r.out;
  EXPECT_TRUE(Contains(r.out, "  NAME         C  40")) << r.out;
  // The box holds the 50 states and the territories (Guam at 144 E).
  EXPECT_TRUE(Contains(r.out, "bounding box:    -179.")) << r.out;
}

TEST_F(CliStates, ValidateReadsEveryObject) {
  const RunResult r = Tool({"validate", "us.lmb"});
  EXPECT_EQ(r.status, 0) << Describe(r);
  EXPECT_TRUE(Contains(r.out, "us.lmb: valid; 56 objects (56 regions, 0 lines, 0 points)"));
  EXPECT_TRUE(Contains(r.out, "attributes: 56 of 56 objects have a record")) << r.out;
}

TEST(CliImport, UnknownNameColumnIsRefusedWithTheColumns) {
  ScopedTempDir dir;
  const RunResult r = RunTool(dir.path(), {"import", kStates, "x.lmb", "--name-field", "STATE"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Contains(r.err, "no column 'STATE'")) << r.err;
  EXPECT_TRUE(Contains(r.err, "columns: FIPS, NAME")) << r.err;
  EXPECT_FALSE(FileExists(dir.File("x.lmb")));
}

TEST(CliImport, NameFieldChoosesTheObjectNames) {
  ScopedTempDir dir;
  RunResult r = RunTool(dir.path(), {"import", kStates, "fips.lmb", "--name-field", "fips",
                                     "--name2-field", "NAME", "--quiet"});
  ASSERT_EQ(r.status, 0) << Describe(r);
  EXPECT_EQ(r.out, "");
  r = RunTool(dir.path(), {"lookup", "fips.lmb", "-87.6298", "41.8781"});
  EXPECT_EQ(r.status, 0) << Describe(r);
  EXPECT_TRUE(Contains(r.out, "17 (inside)\n  name2: Illinois\n")) << r.out;
}

// With a point limit of 200 the larger states are refused; shapefile
// ordinals are record numbers, so the states kept keep their own rows.
TEST(CliImport, KeepGoingLeavesOutRefusedRecordsWithAttributesAligned) {
  ScopedTempDir dir;
  const RunResult strict = RunTool(dir.path(), {"import", kStates, "s.lmb", "--max-points", "200"});
  EXPECT_EQ(strict.status, 2);
  EXPECT_TRUE(Contains(strict.err, "(record 2): Too many points.")) << strict.err;
  EXPECT_FALSE(FileExists(dir.File("s.lmb")));
  const RunResult lenient =
      RunTool(dir.path(), {"import", kStates, "s.lmb", "--max-points", "200", "--keep-going"});
  ASSERT_EQ(lenient.status, 0) << Describe(lenient);
  EXPECT_TRUE(Contains(lenient.out, "imported 34 objects")) << lenient.out;
  EXPECT_TRUE(Contains(lenient.out, "(22 left out)")) << lenient.out;
  EXPECT_TRUE(Contains(lenient.err, "warning: record 2 left out: Too many points.")) << lenient.err;
  const RunResult colorado = RunTool(dir.path(), {"lookup", "s.lmb", "-104.9903", "39.7392"});
  EXPECT_EQ(colorado.out, "Colorado (inside)\n  FIPS: 08\n  NAME: Colorado\n");
  EXPECT_EQ(RunTool(dir.path(), {"lookup", "s.lmb", "-87.6298", "41.8781"}).status, 1);
}

TEST(CliImport, MissingInputFailsAndLeavesNoFile) {
  ScopedTempDir dir;
  for (const char* input : {"nope.shp", "nope.mif", "nope.bna"}) {
    const RunResult r = RunTool(dir.path(), {"import", input, "x.lmb"});
    EXPECT_EQ(r.status, 2) << input;
    EXPECT_TRUE(Contains(r.err, "nope")) << r.err;
    EXPECT_FALSE(FileExists(dir.File("x.lmb"))) << input;
  }
}

TEST(CliImport, DamagedInputFailsWithTheReadersMessage) {
  ScopedTempDir dir;
  WriteText(dir.File("bad.bna"), "\"A\",5\n1,1\n2,2\n");
  const RunResult r = RunTool(dir.path(), {"import", "bad.bna", "bad.lmb"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Contains(r.err, "cannot import bad.bna")) << r.err;
  EXPECT_TRUE(Contains(r.err, "Unexpected End of File.")) << r.err;
  EXPECT_FALSE(FileExists(dir.File("bad.lmb")));
}

TEST(CliImport, NotAnObjectFileIsRefused) {
  ScopedTempDir dir;
  const RunResult r = RunTool(dir.path(), {"info", kData + "/us_states.dbf"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Contains(r.err, "Invalid file signature.")) << r.err;
  const RunResult missing = RunTool(dir.path(), {"lookup", "missing.lmb", "1", "2"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_TRUE(Contains(missing.err, "cannot open missing.lmb")) << missing.err;
}

// ---------------------------------------------------------------- lookups

TEST_F(CliStates, ChicagoIsInIllinoisWithFips17) {
  const RunResult r = Tool({"lookup", "us.lmb", "-87.6298", "41.8781"});
  EXPECT_EQ(r.status, 0) << Describe(r);
  EXPECT_EQ(r.out, "Illinois (inside)\n  FIPS: 17\n  NAME: Illinois\n");
}

TEST_F(CliStates, APointAtSeaFindsNothing) {
  const RunResult r = Tool({"lookup", "us.lmb", "-40", "30"});
  EXPECT_EQ(r.status, 1) << Describe(r);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(Contains(r.err, "nothing found")) << r.err;
  const RunResult json = Tool({"lookup", "us.lmb", "-40", "30", "--json"});
  EXPECT_EQ(json.status, 1);
  EXPECT_EQ(json.out, "[]\n");
}

TEST_F(CliStates, MalformedCoordinatesAreRefused) {
  for (const char* lon : {"abc", "12x", "", "nan", "inf", "1e400", "99999"}) {
    const RunResult r = Tool({"lookup", "us.lmb", lon, "41"});
    EXPECT_EQ(r.status, 2) << "'" << lon << "'";
    EXPECT_TRUE(Contains(r.err, std::string("malformed longitude '") + lon + "'")) << r.err;
  }
}

TEST_F(CliStates, JsonCarriesTheAttributes) {
  const RunResult r = Tool({"lookup", "us.lmb", "-104.9903", "39.7392", "--json"});
  EXPECT_EQ(r.status, 0) << Describe(r);
  EXPECT_TRUE(Contains(r.out, "\"name\": \"Colorado\"")) << r.out;
  EXPECT_TRUE(Contains(r.out, "\"relation\": \"inside\"")) << r.out;
  EXPECT_TRUE(Contains(r.out, "\"attributes\": {\"FIPS\": \"08\", \"NAME\": \"Colorado\"}"))
      << r.out;
}

TEST_F(CliStates, RankedLookupPutsTheContainingStateFirst) {
  const RunResult r = Tool({"lookup", "us.lmb", "-87.6298", "41.8781", "--ranked", "100000"});
  EXPECT_EQ(r.status, 0) << Describe(r);
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_GE(lines.size(), 6u) << r.out;
  EXPECT_EQ(lines[0].rfind("Illinois (inside, ", 0), 0u) << r.out;
  EXPECT_EQ(lines[3].rfind("Indiana (outside, ", 0), 0u) << r.out;
  EXPECT_EQ(lines[4], "  FIPS: 18");
}

TEST_F(CliStates, RadiusNeedsSegmentRecords) {
  const RunResult plain = Tool({"lookup", "us.lmb", "-87.6298", "41.8781", "--radius", "1000"});
  EXPECT_EQ(plain.status, 2);
  EXPECT_TRUE(Contains(plain.err, "objects do not have buffers")) << plain.err;
  ASSERT_EQ(Tool({"import", kStates, "seg.lmb", "--segments", "--compress", "--quiet"}).status, 0);
  // Chicago lies about 0.7 miles from the lake shore, Illinois's border.
  const RunResult near = Tool({"lookup", "seg.lmb", "-87.6298", "41.8781", "--radius", "5000"});
  EXPECT_EQ(near.status, 0) << Describe(near);
  EXPECT_EQ(Lines(near.out).at(0), "Illinois (inside, near the border)");
  const RunResult far = Tool({"lookup", "seg.lmb", "-87.6298", "41.8781", "--radius", "3000"});
  EXPECT_EQ(Lines(far.out).at(0), "Illinois (inside)");
}

TEST_F(CliStates, BatchWritesOneCsvLinePerHit) {
  const std::string input = "lon,lat\n-87.6298,41.8781\n\n# at sea\n-40,30\n-104.9903 39.7392\n";
  const RunResult r = Tool({"lookup", "us.lmb", "--batch"}, input);
  EXPECT_EQ(r.status, 0) << Describe(r);
  EXPECT_EQ(r.out,
            "-87.6298,41.8781,Illinois,17,Illinois\n"
            "-104.9903,39.7392,Colorado,08,Colorado\n");
  WriteText(Dir() + "/points.csv", "-74.0060,40.7128\n");
  const RunResult file = Tool({"lookup", "us.lmb", "--batch", "points.csv", "--header"});
  EXPECT_EQ(file.status, 0) << Describe(file);
  EXPECT_EQ(file.out, "lon,lat,name,FIPS,NAME\n-74.0060,40.7128,New York,36,New York\n");
}

TEST_F(CliStates, BatchWithoutHitsAndWithBadLines) {
  const RunResult none = Tool({"lookup", "us.lmb", "--batch", "-"}, "-40,30\n0,0\n");
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out, "");
  const RunResult bad = Tool({"lookup", "us.lmb", "--batch"}, "-87.6,41.8\n-87.6\n");
  EXPECT_EQ(bad.status, 2);
  EXPECT_TRUE(Contains(bad.err, "standard input, line 2: malformed point")) << bad.err;
  const RunResult missing = Tool({"lookup", "us.lmb", "--batch", "nope.csv"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_TRUE(Contains(missing.err, "cannot open nope.csv")) << missing.err;
}

// Batch answers agree with one lookup per point (random points over the
// lower 48, fixed seed).
TEST_F(CliStates, BatchAgreesWithSingleLookups) {
  const unsigned seed = 20240601;
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> lon(-125.0, -66.0);
  std::uniform_real_distribution<double> lat(24.0, 50.0);
  std::string input;
  std::string expected;
  for (int i = 0; i < 12; ++i) {
    char point[64];
    std::snprintf(point, sizeof point, "%.5f,%.5f", lon(random), lat(random));
    input += std::string(point) + "\n";
    const std::string text = point;
    const std::size_t comma = text.find(',');
    const RunResult single =
        Tool({"lookup", "us.lmb", text.substr(0, comma), text.substr(comma + 1)});
    for (const std::string& line : Lines(single.out)) {
      if (line.empty() || line[0] == ' ') continue;
      expected += text + "," + line.substr(0, line.find(" (")) + ",";
    }
    for (const std::string& line : Lines(single.out)) {
      if (line.rfind("  FIPS: ", 0) == 0) expected += line.substr(8) + ",";
      if (line.rfind("  NAME: ", 0) == 0) expected += line.substr(8) + "\n";
    }
  }
  const RunResult batch = Tool({"lookup", "us.lmb", "--batch"}, input);
  EXPECT_EQ(batch.out, expected) << "seed " << seed;
}

TEST_F(CliStates, FindByNamePrefixAndByRectangle) {
  const RunResult names = Tool({"find", "us.lmb", "--name", "new*"});
  EXPECT_EQ(names.status, 0) << Describe(names);
  const std::vector<std::string> lines = Lines(names.out);
  ASSERT_EQ(lines.size(), 4u) << names.out;
  EXPECT_EQ(lines[0].rfind("New Hampshire (region, ordinal ", 0), 0u);
  EXPECT_EQ(lines[3].rfind("New York (region, ordinal ", 0), 0u);
  const RunResult rect = Tool({"find", "us.lmb", "--rect", "-87.7", "41.8", "-87.6", "41.9"});
  EXPECT_EQ(rect.status, 0) << Describe(rect);
  EXPECT_TRUE(Contains(rect.out, "Illinois (region")) << rect.out;
  EXPECT_EQ(Tool({"find", "us.lmb", "--name", "Atlantis"}).status, 1);
}

TEST_F(CliStates, DistanceToTheBorderFromChicago) {
  const RunResult r =
      Tool({"distance", "us.lmb", "-87.6298", "41.8781", "--all", "--max", "100000"});
  EXPECT_EQ(r.status, 0) << Describe(r);
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 2u) << r.out;
  EXPECT_EQ(lines[0].rfind("Illinois: inside, ", 0), 0u) << r.out;
  EXPECT_EQ(lines[1].rfind("Indiana: outside, ", 0), 0u) << r.out;
  EXPECT_EQ(Tool({"distance", "us.lmb", "-40", "30"}).status, 1);
}

TEST_F(CliStates, NearestFindsNoPointsAmongRegions) {
  const RunResult r = Tool({"nearest", "us.lmb", "-87.6", "41.8", "-n", "3"});
  EXPECT_EQ(r.status, 1) << Describe(r);
  EXPECT_EQ(r.out, "");
}

// ---------------------------------------------------------------- export round trips

TEST_F(CliStates, ExportThenImportAgainKeepsEveryState) {
  for (const char* ext : {".bna", ".mif", ".shp"}) {
    const std::string out = std::string("round") + ext;
    const RunResult exported = Tool({"export", "us.lmb", out});
    ASSERT_EQ(exported.status, 0) << ext << Describe(exported);
    EXPECT_TRUE(Contains(exported.out, "exported 56 objects")) << exported.out;
    const RunResult imported = Tool({"import", out, std::string("again_") + (ext + 1) + ".lmb"});
    ASSERT_EQ(imported.status, 0) << ext << Describe(imported);
    EXPECT_TRUE(Contains(imported.out, "imported 56 objects")) << imported.out;
    const RunResult lookup =
        Tool({"lookup", std::string("again_") + (ext + 1) + ".lmb", "-87.6298", "41.8781"});
    EXPECT_EQ(lookup.status, 0) << ext << Describe(lookup);
    EXPECT_EQ(Lines(lookup.out).at(0), "Illinois (inside)") << ext;
    const RunResult valid = Tool({"validate", std::string("again_") + (ext + 1) + ".lmb"});
    EXPECT_EQ(valid.status, 0) << ext << Describe(valid);
    EXPECT_TRUE(Contains(valid.out, "14148 points in all")) << ext << valid.out;
  }
}

// The exported MIF keeps each object's ordinal in its Pen clause, so the
// re-imported objects carry the old ordinals while the MID rows come in
// name order: the attribute file must follow the ordinals.
TEST_F(CliStates, MifRoundTripKeepsAttributesWithTheirObjects) {
  ASSERT_EQ(Tool({"export", "us.lmb", "pen.mif"}).status, 0);
  ASSERT_EQ(Tool({"import", "pen.mif", "pen.lmb", "--quiet"}).status, 0);
  const RunResult r = Tool({"lookup", "pen.lmb", "-104.9903", "39.7392"});
  EXPECT_EQ(r.out, "Colorado (inside)\n  Name: Colorado\n  Name2: \n") << Describe(r);
}

TEST_F(CliStates, ShapefileExportOfOtherTypesLeavesThemOut) {
  const RunResult r = Tool({"export", "us.lmb", "pts.shp", "--type", "point"});
  EXPECT_EQ(r.status, 0) << Describe(r);
  EXPECT_TRUE(Contains(r.out, "exported 0 objects")) << r.out;
  EXPECT_TRUE(Contains(r.out, "56 objects of other types than point left out")) << r.out;
}

// ---------------------------------------------------------------- render

TEST_F(CliStates, RenderDrawsStatesAndColoursPoints) {
  WriteText(Dir() + "/render_points.csv", "lon,lat\n-87.6298,41.8781\n-70,30\n");
  const RunResult r = Tool({"render", "us.lmb", "map.svg", "--bbox", "-125", "24", "-66", "50",
                            "--points", "render_points.csv", "--labels", "--width", "800"});
  ASSERT_EQ(r.status, 0) << Describe(r);
  EXPECT_TRUE(Contains(r.out, "1 points hit, 1 missed")) << r.out;
  const std::string svg = ReadFile(Dir() + "/map.svg");
  EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\"", 0), 0u);
  EXPECT_TRUE(Contains(svg, "<title>Illinois</title>"));
  EXPECT_TRUE(Contains(svg, ">Texas</text>"));
  EXPECT_FALSE(Contains(svg, "<title>Guam</title>"));  // outside the box
  EXPECT_TRUE(Contains(svg, "fill=\"#1a9641\""));
  EXPECT_TRUE(Contains(svg, "fill=\"#d7191c\""));
  EXPECT_TRUE(Contains(svg, "</svg>\n"));
}

// ---------------------------------------------------------------- attribute files

// An attribute file from another import (another creation time) is not
// attached: info says why and validation fails.
TEST(CliAttributes, StaleAttributeFileIsDetected) {
  ScopedTempDir dir;
  ASSERT_EQ(RunTool(dir.path(), {"import", kStates, "old.lmb", "--quiet"}).status, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  ASSERT_EQ(RunTool(dir.path(), {"import", kStates, "new.lmb", "--quiet"}).status, 0);
  WriteText(dir.File("new.lma"), ReadFile(dir.File("old.lma")));
  const RunResult info = RunTool(dir.path(), {"info", "new.lmb"});
  EXPECT_EQ(info.status, 0);
  EXPECT_TRUE(Contains(info.out, "new.lma not attached")) << info.out;
  const RunResult valid = RunTool(dir.path(), {"validate", "new.lmb"});
  EXPECT_EQ(valid.status, 2) << Describe(valid);
  const RunResult lookup = RunTool(dir.path(), {"lookup", "new.lmb", "-87.6298", "41.8781"});
  EXPECT_EQ(lookup.out, "Illinois (inside)\n  ordinal: 14\n");
}

const char kCitiesMif[] =
    "Version 300\n"
    "Charset \"Neutral\"\n"
    "Delimiter \";\"\n"
    "Columns 5\n"
    "  Name Char(20)\n"
    "  Pop Integer\n"
    "  Area Float\n"
    "  Code Decimal(6,2)\n"
    "  Big Decimal(14,2)\n"
    "Data\n"
    "\n"
    "Point -87.6298 41.8781\n"
    "Point -89.65 39.78\n"
    "Rect 0 0 1 1\n"
    "Point -90.1994 38.6270\n";

const char kCitiesMid[] =
    "\"Chicago\";2716000;606.1;12.5;123456789012.5\n"
    "\"Springfield\";116250;61;3;1\n"
    "\"Box\";0;0;0;0\n"
    "\"St. \"\"Lou\"\"\";301578;171.35;-7.125;2\n";

TEST(CliAttributes, MifColumnsBecomeTypedFieldsKeyedByOrdinal) {
  ScopedTempDir dir;
  WriteText(dir.File("cities.mif"), kCitiesMif);
  WriteText(dir.File("cities.mid"), kCitiesMid);
  const RunResult import = RunTool(dir.path(), {"import", "cities.mif", "cities.lmb"});
  ASSERT_EQ(import.status, 0) << Describe(import);
  EXPECT_TRUE(
      Contains(import.out, "imported 3 objects from cities.mif into cities.lmb (1 skipped)"));
  EXPECT_TRUE(Contains(import.out, "attributes: 3 records, 5 fields in cities.lma"));
  const RunResult info = RunTool(dir.path(), {"info", "cities.lmb"});
  EXPECT_TRUE(Contains(info.out,
                       "  Name         C  20\n  Pop          N  11.0\n  Area         N   6.2\n"
                       "  Code         N   6.2\n  Big          C  14\n"))
      << info.out;
  // The skipped Rect consumed the Box row; St. Louis is the third object.
  const RunResult nearest =
      RunTool(dir.path(), {"nearest", "cities.lmb", "-90.2", "38.6", "-n", "2", "--where",
                           "Pop > 200000", "--max-distance", "3000000"});
  EXPECT_EQ(nearest.status, 0) << Describe(nearest);
  const std::vector<std::string> lines = Lines(nearest.out);
  ASSERT_EQ(lines.size(), 12u) << nearest.out;
  EXPECT_EQ(lines[0].rfind("St. ", 0), 0u) << nearest.out;
  EXPECT_EQ(lines[1], "  Name: St. \"Lou\"");
  EXPECT_EQ(lines[2], "  Pop: 301578");
  EXPECT_EQ(lines[3], "  Area: 171.35");
  EXPECT_EQ(lines[4], "  Code: -7.13");
  EXPECT_EQ(lines[5], "  Big: 2");
  EXPECT_EQ(lines[6].rfind("Chicago (", 0), 0u);
  EXPECT_EQ(lines[11], "  Big: 123456789012.5");
  const RunResult bad =
      RunTool(dir.path(), {"nearest", "cities.lmb", "-90", "38", "--where", "Pop >> 1"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_TRUE(Contains(bad.err, "Invalid operator.")) << bad.err;
}

TEST(CliAttributes, BnaHasNoAttributeFileAndPlanarTakesRawUnits) {
  ScopedTempDir dir;
  WriteText(dir.File("squares.bna"),
            "\"left\",\"L\",5\n0,0\n0,10\n10,10\n10,0\n0,0\n"
            "\"right\",\"R\",5\n10,0\n10,10\n20,10\n20,0\n10,0\n");
  ASSERT_EQ(RunTool(dir.path(), {"import", "squares.bna", "sq.lmb", "--planar", "--name-pos", "2"})
                .status,
            0);
  EXPECT_FALSE(FileExists(dir.File("sq.lma")));
  const RunResult info = RunTool(dir.path(), {"info", "sq.lmb"});
  EXPECT_TRUE(Contains(info.out, "coordinates:     planar units (type 0)")) << info.out;
  EXPECT_TRUE(Contains(info.out, "bounding box:    -1 -1 21 11")) << info.out;
  EXPECT_EQ(RunTool(dir.path(), {"lookup", "sq.lmb", "15", "5"}).out, "R (inside)\n  ordinal: 0\n");
  const RunResult border = RunTool(dir.path(), {"lookup", "sq.lmb", "10", "5"});
  EXPECT_EQ(Lines(border.out).size(), 4u) << border.out;  // both squares hold their shared edge
}

}  // namespace
