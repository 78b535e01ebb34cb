// The market-area commands run as a user runs them, on the bundled Iowa
// store and customer lists: rows of (arguments, exit status, text the
// output holds), in order in one directory, then the objects written are
// checked through the tool itself.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/test_files.h"

namespace {

const std::string kTool = LUMETRA_CLI_PATH;
const std::string kStores = std::string(LUMETRA_DATA_DIR) + "/iowa_stores.csv";
const std::string kCustomers = std::string(LUMETRA_DATA_DIR) + "/iowa_customers.csv";

int RunTool(const std::string& dir, const std::string& args, std::string* output) {
  const std::string command = "cd '" + dir + "' && '" + kTool + "' " + args + " >.out 2>&1";
  const int status = std::system(command.c_str());
  std::ifstream in(dir + "/.out");
  std::ostringstream text;
  text << in.rdbuf();
  *output = text.str();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PmaCli, MarketAreasOfTheIowaStores) {
  lumetra_test::ScopedTempDir dir;
  const std::string stores = "'" + kStores + "'";
  const std::string customers = " --customers '" + kCustomers + "'";
  struct Row {
    std::string args;
    int status;
    const char* holds;
  } rows[] = {
      {"thiessen " + stores + " cells.lmb --radii 30,60 --bands", 0,
       "wrote cells.lmb: 20 polygons around 10 stores"},
      {"info cells.lmb", 0, "objects:         20 (20 regions, 0 lines, 0 points)"},
      {"find cells.lmb --name 'PMA Ames *'", 0, "PMA Ames ST (region"},
      {"rings " + stores + customers + " rings.zon --radii 5 --segments 12", 0,
       "wrote rings.zon: 10 polygons around 10 stores (99 customers)"},
      {"lookup rings.zon -93.463605 42.036021", 0, "PMA Ames PR (inside)"},
      {"hulls " + stores + customers + " hulls.lmb --shares 0.5,1 --by-count", 0,
       "polygons around 10 stores (99 customers)"},
      {"validate hulls.lmb", 0, "valid"},
      {"render cells.lmb map.svg --stores " + stores, 0, "wrote map.svg"},
      // The same list, searched in memory.
      {"nearest --points " + stores + " -93.6 41.6 -n 2", 0, "Des Moines (31"},
      {"nearest --points " + stores + " -93.6 41.6 -n 2", 0, ")\nAmes ("},
      {"hulls " + stores + " h.lmb", 2, "hulls need --customers"},
      {"rings " + stores + " bad.lmb --radii 10,5", 2, "Ring polygon - bad radius values."},
      {"thiessen " + stores + " bad.lmb --segments 2", 2, "--segments"},
      {"rings " + stores + " none.lmb --radii 0", 1, "no polygons made; none.lmb not written"},
  };
  for (const Row& row : rows) {
    std::string output;
    EXPECT_EQ(RunTool(dir.path(), row.args, &output), row.status) << row.args << "\n" << output;
    EXPECT_NE(output.find(row.holds), std::string::npos) << row.args << "\n" << output;
  }
  for (const char* gone :
       {"h.lmb", "bad.lmb", "none.lmb", "none.lmb.part.zon", "cells.lmb.part.zon"}) {
    EXPECT_FALSE(lumetra_test::FileExists(dir.File(gone))) << gone;
  }
  std::ifstream in(dir.File("map.svg"));
  std::ostringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("<title>Council Bluffs</title>"), std::string::npos);
}

}  // namespace
