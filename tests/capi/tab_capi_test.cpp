// pipImportOpenTAB and pipExportInitTAB through the shared library: the
// sample objects exported to a table and imported again, handles of the
// wrong kind, missing tables and names; no handle leaks (fixture).
#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <string>
#include <vector>

#include "support/capi_fixture.h"
#include "support/test_files.h"

namespace {

using capi_test::CapiTest;

class TabCapi : public CapiTest {};

TEST_F(TabCapi, ExportedTableImportsAgain) {
  Build("sample.obj", capi_test::SampleShapes());
  int out = 0;
  ASSERT_EQ(pipExportInitTAB(lib_, "sample.tab", &out, 205), 1) << Detail();
  ASSERT_EQ(pipExportOpen(out, "sample.obj", PIP_OPEN_CACHE_5MB), 1) << Detail();
  char name[PIP_NAME_SIZE];
  int percent = 0, count = 0, written = 0;
  while (pipExportWrite(out, name, sizeof name, &percent, &count) == 1) ++written;
  EXPECT_EQ(written, 8);
  EXPECT_EQ(percent, 100);
  EXPECT_EQ(pipExportClose(out), 1);
  EXPECT_EQ(pipExportTerm(out, 1), 1);
  for (const char* member : {"sample.tab", "sample.dat", "sample.map", "sample.id"}) {
    EXPECT_TRUE(lumetra_test::FileExists(Path(member))) << member;
  }

  const int in = StartImport("again.obj", capi_test::FileInfo(100000, 100, 0, 0));
  ASSERT_GT(in, 0);
  EXPECT_EQ(pipImportOpenTAB(in + 1000, "sample.tab", "NAME", "NAME2"), -1);
  EXPECT_EQ(pipImportOpenTAB(in, "missing.tab", "NAME", "NAME2"), -1);
  EXPECT_NE(Detail().find("missing.tab"), std::string::npos) << Detail();
  ASSERT_EQ(pipImportOpenTAB(in, "sample.tab", "NAME", "NAME2"), 1) << Detail();
  int line = 0, read = 0, result = 0;
  while ((result = pipImportRead(in, name, sizeof name, &percent, &line)) == 1) ++read;
  EXPECT_EQ(result, 0) << Detail();
  EXPECT_EQ(read, 8);
  EXPECT_EQ(line, 8);
  EXPECT_EQ(pipImportClose(in), 1);
  EXPECT_EQ(Term(in, 1), 1) << Detail();
  const int file = Open("again.obj");
  ASSERT_GT(file, 0);
  ASSERT_EQ(pipObjectFindFirstName(file, "DONUT", name, sizeof name), 1);
  pipObjectInfoStruct object;
  ASSERT_EQ(pipObjectGetInfo(file, &object), 1);
  EXPECT_EQ(object.type, PIP_OBJECT_REGION);
}

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
