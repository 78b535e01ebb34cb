// TABRead: row-text splitting, the name columns and their warnings, each
// object kind with the degree and two-point rules, damaged tables; and
// tables GDAL writes from the county and state shapefiles, in three
// coordinate systems, imported exactly as the shapefiles GDAL converts the
// same tables back to.
#include "import/tab_read.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "import/shp_read.h"
#include "support/io_object_file.h"
#include "support/io_tools.h"
#include "tab/tab_library.h"

namespace {

using lumetra_test::Describe;
using lumetra_test::StoredObject;

std::string Source(const std::string& relative) { return lumetra_test::SourcePath(relative); }

class TabReadTest : public lumetra_test::ObjectFileTest {
 protected:
  // Writes in.tab: columns NAME, CODE and the rows given (text, object).
  void WriteTable(const std::vector<std::pair<std::string, TXObject>>& rows) {
    TXFieldDef defs[2] = {};
    std::strcpy(defs[0].name, "NAME");
    std::strcpy(defs[1].name, "CODE");
    defs[0].type = defs[1].type = kTXChar;
    defs[0].width = defs[1].width = 30;
    TXTableInfo info;
    std::memset(&info, 0, sizeof info);
    info.has_map = 1;
    info.min_x = info.min_y = -1e7;
    info.max_x = info.max_y = 1e7;
    const int table = TXCreateTable(Path("in.tab").c_str(), defs, 2, &info, kTXCreateReplace);
    ASSERT_GT(table, 0) << TXGetLastErrorText();
    for (const auto& row : rows) {
      ASSERT_TRUE(TXInsertRow(table, row.first.c_str(), &row.second, nullptr))
          << TXGetLastErrorText();
    }
    ASSERT_TRUE(TXCloseTable(table));
  }
  // Opens a TABRead (or an SHPRead) on `path` and installs it; null when it
  // did not open.
  ImportRead* Open(const std::string& path, const char* column, const char* column2,
                   bool shapefile = false) {
    if (build_ == nullptr) MakeBuild(100000, 2000);
    std::unique_ptr<ImportRead> reader;
    if (shapefile) {
      reader = std::make_unique<SHPRead>(*build_, path.c_str(), column, column2);
    } else {
      reader = std::make_unique<TABRead>(*build_, path.c_str(), column, column2);
    }
    if (!reader->success()) return nullptr;
    ImportRead* raw = reader.get();
    build_->SetReader(std::move(reader));
    return raw;
  }
  std::vector<std::string> ImportAll(const std::string& path, bool shapefile) {
    build_.reset();
    ImportRead* reader = Open(path, "NAME", "FIPS", shapefile);
    EXPECT_NE(reader, nullptr) << err_.detail();
    if (reader == nullptr) return {};
    EXPECT_EQ(lumetra_test::ReadAll(*reader, 100000).back(), 0) << err_.detail();
    std::vector<std::string> out;
    for (const StoredObject& s : Finish()) out.push_back(Describe(s));
    return out;
  }
};

TXObject Point(double x, double y) {
  TXObject o;
  o.type = kTXPoint;
  o.u.point = {x, y};
  return o;
}

TEST_F(TabReadTest, ObjectsOfEachKindFollowTheRules) {
  const double line[] = {-87, 41, -86, 42, -85, 41};
  const double ring[] = {0, 1, 2, 1, 2, 3, 0, 1};
  const TXSection parts[] = {{2, 0, line}, {3, 0, line}, {2, 0, line + 2}};
  const TXSection rings[] = {{4, 0, ring}};
  TXObject two, undecidable, poly, multi, region;
  two.type = undecidable.type = kTXLine;
  two.u.line = {-87.5, 41.25, 350000.5, 4630000.25};  // one in degrees: both scaled
  undecidable.u.line = {1, 0, 2, 1000000};
  poly.type = kTXPolyline;
  poly.u.polyline = {3, {}, line};
  multi.type = kTXMultiPolyline;
  multi.u.multi = {3, {}, parts};
  region.type = kTXRegion;
  region.u.region = {1, {}, rings};
  WriteTable({{"deg\tc1", Point(-87.6, 41.8)},
              {"units\tc2", Point(350000.5, 4630000.25)},
              {"zero y\tc3", Point(-87.6, 0)},
              {"two\tc4", two},
              {"undecidable\tc5", undecidable},
              {"poly\tc6", poly},
              {"multi\tc7", multi},
              {"region\tc8", region},
              {"none\tc9", TXObject()}});
  ImportRead* reader = Open(Path("in.tab"), "name", "Code");
  ASSERT_NE(reader, nullptr) << err_.detail();
  EXPECT_EQ(err_.code(), -1);
  std::vector<int> results;
  for (int i = 0; i < 10; ++i) {
    results.push_back(reader->ReadObject() ? reader->result() : -1);
  }
  const std::vector<int> want = {1, 1, 1, 1, -1, 1, 1, 1, 2, 0};
  EXPECT_EQ(results, want);
  EXPECT_EQ(reader->PercentDone(), 100);
  EXPECT_EQ(reader->CurrentLine(), 9);
  const std::vector<std::string> expected = {
      "point \"deg\"/\"c1\" colour 1 (-87600000,41800000)",
      "point \"units\"/\"c2\" colour 2 (350000,4630000)",
      "point \"zero y\"/\"c3\" colour 3 (-87,0)",
      "line \"two\"/\"c4\" colour 4 rings 2 (-87500000,41250000) (350000500000,0)",
  };
  std::vector<std::string> got;
  for (const StoredObject& s : Finish()) got.push_back(Describe(s));
  ASSERT_EQ(got.size(), 7u);
  EXPECT_EQ(got[0].substr(0, expected[0].size()), expected[0]);
  EXPECT_EQ(got[1].substr(0, expected[1].size()), expected[1]);
  EXPECT_EQ(got[2].substr(0, expected[2].size()), expected[2]);
  EXPECT_NE(got[4].find("\"poly\"/\"c6\" colour 6 rings 3 "), std::string::npos) << got[4];
  EXPECT_NE(got[5].find("\"multi\"/\"c7\" colour 7 rings 2,3,2 "), std::string::npos) << got[5];
  // The region's closing point is dropped; its ring is 0..2 scaled.
  EXPECT_NE(got[6].find("region \"region\"/\"c8\" colour 8 rings 3 (0,1000000) (2000000,1000000) "
                        "(2000000,3000000)"),
            std::string::npos)
      << got[6];
}

// GDAL's own table of each shapefile, and GDAL's shapefile of that table
// (its doubles exactly as GDAL read them): both import to the same objects.
TEST_F(TabReadTest, GdalTablesImportLikeTheShapefilesGdalReadsThemTo) {
  if (!lumetra_test::HaveTool("ogr2ogr")) GTEST_SKIP() << "ogr2ogr (gdal-bin) not installed";
  const std::string counties = Source("tests/data/counties_il_ak.shp");
  const struct {
    std::string source;
    const char* options;
  } variants[] = {
      {Source("data/us_states.shp"), ""},  // longitude/latitude
      {counties, "-a_srs EPSG:4326"},
      {counties, ""},                                    // non-earth: a coarse grid
      {counties, "-s_srs EPSG:4326 -t_srs EPSG:32616"},  // UTM metres: grid with a displacement
  };
  int variant = 0;
  for (const auto& v : variants) {
    SCOPED_TRACE(v.source + " " + v.options);
    const std::string tab = Path("v" + std::to_string(++variant) + ".tab");
    const std::string back = Path("b" + std::to_string(variant) + ".shp");
    lumetra_test::RunTool("ogr2ogr -f 'MapInfo File' " + std::string(v.options) + " '" + tab +
                          "' '" + v.source + "' 2>&1");
    lumetra_test::RunTool("ogr2ogr -f 'ESRI Shapefile' '" + back + "' '" + tab + "' 2>&1");
    const std::vector<std::string> from_tab = ImportAll(tab, false);
    const std::vector<std::string> from_shp = ImportAll(back, true);
    ASSERT_GT(from_tab.size(), 50u);
    ASSERT_EQ(from_tab.size(), from_shp.size());
    for (std::size_t i = 0; i < from_tab.size(); ++i) {
      ASSERT_EQ(from_tab[i], from_shp[i]) << "object " << i;
    }
  }
}

}  // namespace
