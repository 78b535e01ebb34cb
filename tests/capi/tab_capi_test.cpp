// pipImportOpenTAB and pipExportInitTAB through the shared library: handles
// of the wrong kind, missing tables and names; no handle leaks (fixture).
#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <string>
#include <vector>

#include "support/capi_fixture.h"
#include "support/test_files.h"

namespace {

using capi_test::CapiTest;

class TabCapi : public CapiTest {};

TEST_F(TabCapi, WrongHandlesAndNamesFail) {
  int out = 7;
  EXPECT_EQ(pipExportInitTAB(lib_, nullptr, &out, 0), -1);
  EXPECT_EQ(Code(), PIP_ERR_INVALID_DATA);
  EXPECT_EQ(pipExportInitTAB(lib_ + 500, "x.tab", &out, 0), -1);
  EXPECT_EQ(pipExportInitTAB(lib_, Path("no/such/dir/x.tab").c_str(), &out, 0), -1);
  EXPECT_EQ(Detail(), "Unable to create table " + Path("no/such/dir/x.tab") + "!");
  EXPECT_EQ(out, 0);
  EXPECT_EQ(pipImportOpenTAB(lib_, "x.tab", "NAME", nullptr), -1);  // a library handle
}

}  // namespace
