// The lumetra tool does not lose, move or misattach data: one table per
// fault it once had (files deleted or half-written, vertices at the equator
// left unscaled, MIF style colours replacing ordinals, stale attribute files
// taken, bad input taken silently, private file modes, misleading
// messages), each reproduction a row.  Exports read back by GDAL are in
// round_trip_test.cpp.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "cli/shapefile_writer.h"

namespace {

using namespace cli_test;

const char kChicago[] = "=Illinois (inside)\n  FIPS: 17\n  NAME: Illinois\n";

void CopyStates(const std::string& dir, const std::string& base) {
  for (const char* ext : {".shp", ".shx", ".dbf", ".prj"}) {
    WriteText(dir + "/" + base + ext, ReadFile(kData + "/us_states" + ext));
  }
}

// Defect 1: an output that is an input, an existing output, a failed run.
TEST(CliIntegrity, NoCommandDeletesOrHalfWritesAFile) {
  ScopedTempDir dir;
  CopyStates(dir.path(), "st");
  ASSERT_EQ(link(dir.File("st.shp").c_str(), dir.File("alias.lmb").c_str()), 0);
  WriteText(dir.File("bad.bna"), "\"A\",5\n1,1\n2,2\n");
  const std::string input = "is an input of this command";
  RunAll(
      dir.path(),
      {{{"import", "st.shp", "st.shp"}, 2, {}, {input}, "", "", -1, "st.shp"},
       {{"import", "st.shp", "st.dbf"}, 2, {}, {input}, "", "", -1, "st.dbf"},
       {{"import", "st.shp", "alias.lmb"}, 2, {}, {input}},  // a hard link to st.shp
       {{"import", "st.shp", "ex.lmb", "--quiet"}, 0},
       {{"import", "st.shp", "ex.lmb"}, 2, {}, {"ex.lmb exists; add --overwrite"}},
       {{"import", "bad.bna", "ex.lmb", "--overwrite"}, 2, {}, {"Unexpected End"}},
       {{"lookup", "ex.lmb", "-87.6298", "41.8781"}, 0, {kChicago}},  // the old files
       {{"import", "bad.bna", "new.lmb"}, 2, {}, {}, "", "new.lmb"},
       {{"export", "ex.lmb", "out.shp"}, 0},
       {{"export", "ex.lmb", "out.shp"}, 2, {}, {"out.shp exists"}},
       {{"export", "ex.lmb", "out.mif", "--overwrite"}, 0, {}, {}, "", "", -1, "out.mid"},
       {{"render", "ex.lmb", "m.svg"}, 0},
       {{"render", "ex.lmb", "m.svg"}, 2, {}, {"m.svg exists"}},
       {{"import", "st.shp", "ex.lmb", "--overwrite", "--no-attributes"}, 0, {}, {}, "", "ex.lma"},
       {{"lookup", "st.shp", "1", "2"}, 2}});
  DIR* d = opendir(dir.path().c_str());
  for (dirent* e = readdir(d); e != nullptr; e = readdir(d)) {
    EXPECT_NE(std::string(e->d_name).rfind(".~", 0), 0u) << "left behind: " << e->d_name;
  }
  closedir(d);
}

// Defect 2: one degree rule for the whole file, so a vertex with y = 0 is
// scaled like the others (it used to stay 10 units, i.e. 0.00001 degrees).
TEST(CliIntegrity, VerticesOnTheEquatorKeepTheirPlace) {
  ScopedTempDir dir;
  WritePolygons(dir.File("eq"),
                {{"North", {Square(10, 0, 11, 1)}}, {"South", {Square(10, -1, 11, 0)}}});
  RunAll(dir.path(),
         {{{"import", "eq.shp", "eq.lmb", "--quiet"}, 0},
          {{"find", "eq.lmb", "--name", "North"},
           0,
           {"=North (region, ordinal 1) box 9.999999 -0.000001 11.000001 1.000001\n"}},
          {{"lookup", "eq.lmb", "10.5", "0.5"}, 0, {"=North (inside)\n  NAME: North\n"}},
          {{"lookup", "eq.lmb", "10.5", "-0.5"}, 0, {"=South (inside)\n  NAME: South\n"}},
          {{"lookup", "eq.lmb", "10.999", "0"}, 0, {"North (inside)", "South (inside)"}}});
}

// Defect 7: what cannot be read is refused with the file and line (record);
// the tool checks its own arguments; a batch skips malformed lines, answers
// the rest and ends with status 2.
TEST(CliIntegrity, BadInputIsRefusedWhereItIs) {
  ScopedTempDir dir;
  const std::string mif_head = "Version 300\nColumns 1\n  Name Char(10)\nData\n";
  WriteText(dir.File("abc.mif"), mif_head + "Point abc def\n");
  WriteText(dir.File("abc.mid"), "\"A\"\n");
  WriteText(dir.File("far.mif"), mif_head + "Point 200 10\n");
  WriteText(dir.File("far.mid"), "\"A\"\n");
  const std::string square = "\"E\",5\n0,0\n0,1e3\n1e3,1e3\n1e3,0\n0,0\n";
  WriteText(dir.File("exp.bna"), square);
  WriteText(dir.File("xy.bna"), "\"X\",1\n1x,2y\n");
  WriteText(dir.File("lat.bna"), "\"X\",1\n1,100\n");
  WriteText(dir.File("two.bna"), "\"A\",\"B\",5\n0,0\n0,1\n1,1\n1,0\n0,0\n");
  WritePolygons(dir.File("sea"),
                {{"Far", {Square(190, 0, 191, 1)}}, {"Near", {Square(1, 1, 2, 2)}}});
  WriteText(dir.File("sea.prj"), "GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\"]]");
  WriteText(dir.File("c.mif"),
            "Version 300\nColumns 2\n  Name Char(10)\n  Pop Integer\nData\nPoint 1 1\n");
  WriteText(dir.File("c.mid"), "\"C\",5\n");
  RunAll(
      dir.path(),
      {{{"import", "abc.mif", "x.lmb"}, 2, {}, {"abc.mif, line 5: Invalid coordinate 'abc'."}},
       {{"import", "far.mif", "x.lmb"}, 2, {}, {"line 5: Coordinate longitude 200 is outside"}},
       {{"import", "xy.bna", "x.lmb"}, 2, {}, {"xy.bna, line 2: Invalid coordinate '1x'."}},
       {{"import", "lat.bna", "x.lmb"}, 2, {}, {"latitude 100 is outside -90 to 90"}},
       {{"import", "two.bna", "x.lmb", "--name-pos", "3"}, 2, {}, {"line 1: Expected an object"}},
       {{"import", "sea.shp", "x.lmb"}, 2, {}, {"Record 1 of shapefile sea: longitude 190"}},
       {{"import", "sea.shp", "x.lmb", "--keep-going"}, 0, {}, {"record 1 left out"}},
       {{"lookup", "x.lmb", "1.5", "1.5"}, 0, {"=Near (inside)\n  NAME: Near\n"}},
       {{"import", "exp.bna", "e.lmb", "--planar"}, 0},  // 1e3 reads 1000, not 633
       {{"lookup", "e.lmb", "900", "900"}, 0, {"^E (inside)"}},
       {{"lookup", "x.lmb", "-87.6", "95"}, 2, {}, {"latitude '95' is out of range"}},
       {{"import", "c.mif", "c.lmb", "--quiet"}, 0},
       {{"nearest", "c.lmb", "1", "1", "--where", "Pop > abc"}, 2, {}, {"'abc' is not a number"}},
       {{"lookup", "x.lmb", "--batch"},
        2,
        {"=1.5,1.5,Near,Near\n1.2,1.8,Near,Near\n"},
        {"standard input, line 2: malformed point", "line 3: latitude '91' is out of range",
         "2 malformed lines skipped"},
        "1.5,1.5\n1.5\n1,91\n1.2,1.8\n"}});
}

}  // namespace
