// lumetra import and export with TAB tables: GDAL's table of the US states
// imports to the same lookups (names and attribute values) as the
// shapefile; the object file exported to a table is read by ogrinfo and
// imports again.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/io_tools.h"
#include "support/test_files.h"

namespace {

const std::string kTool = LUMETRA_CLI_PATH;
const std::string kStates = std::string(LUMETRA_DATA_DIR) + "/us_states.shp";

// Standard output of the tool run in `dir` with `args`; its exit status in
// *status.
std::string Tool(const std::string& dir, const std::string& args, int* status) {
  const std::string out = dir + "/.out";
  const int raw = std::system(
      ("cd '" + dir + "' && '" + kTool + "' " + args + " > '" + out + "' 2>&1").c_str());
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return lumetra_test::ReadText(out);
}

TEST(CliTab, TablesImportLikeShapefilesAndExportForGdal) {
  if (!lumetra_test::HaveTool("ogr2ogr")) GTEST_SKIP() << "ogr2ogr (gdal-bin) not installed";
  lumetra_test::ScopedTempDir dir;
  lumetra_test::RunTool("ogr2ogr -f 'MapInfo File' '" + dir.File("states.tab") + "' '" + kStates +
                        "' 2>&1");
  int status = 0;
  EXPECT_NE(Tool(dir.path(), "import states.tab tab.lmb", &status).find("imported 56 objects"),
            std::string::npos);
  ASSERT_EQ(status, 0);
  Tool(dir.path(), "import '" + kStates + "' shp.lmb --quiet", &status);
  ASSERT_EQ(status, 0);
  for (const char* point : {"-87.6298 41.8781", "-157.8583 21.3069", "-149.9003 61.2181"}) {
    const std::string from_tab = Tool(dir.path(), std::string("lookup tab.lmb ") + point, &status);
    EXPECT_EQ(status, 0) << point;
    EXPECT_NE(from_tab.find("FIPS: "), std::string::npos) << from_tab;
    EXPECT_EQ(from_tab, Tool(dir.path(), std::string("lookup shp.lmb ") + point, &status));
  }
  EXPECT_NE(Tool(dir.path(), "export tab.lmb out.tab", &status).find("exported 56 objects"),
            std::string::npos);
  ASSERT_EQ(status, 0);
  const std::string summary =
      lumetra_test::RunTool("ogrinfo -ro -so -al '" + dir.File("out.tab") + "'");
  EXPECT_EQ(lumetra_test::OgrFeatureCount(summary), 56) << summary;
  Tool(dir.path(), "import out.tab again.lmb --name-field NAME --quiet", &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(
      Tool(dir.path(), "lookup again.lmb -87.6298 41.8781", &status).rfind("Illinois (inside)", 0),
      0u);
  EXPECT_NE(Tool(dir.path(), "import missing.tab x.lmb", &status).find("missing.tab"),
            std::string::npos);
  EXPECT_NE(status, 0);
}

}  // namespace
