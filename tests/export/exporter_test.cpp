// The export framework through its entry points: the walk in name-index
// order, the end of a handle with and without commit, several object files
// into one output, and init failures.
#include "export/exporter.h"

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "export/bna_exporter.h"
#include "export/export_test_files.h"
#include "frame/library_context.h"
#include "support/io_tools.h"

namespace {

using export_test::Box;
using export_test::LastError;
using export_test::Ring;
using export_test::TestObject;

class ExporterTest : public export_test::ExportTest {
 protected:
  void TearDown() override {
    for (int handle : exports_) pipExportTerm(handle, 1);
    ExportTest::TearDown();
  }
  // A BNA export handle for `name` (ended by TearDown unless Term ends it).
  int InitBna(const std::string& name) {
    int handle = 0;
    EXPECT_EQ(pipExportInitBNA(lib_, name.c_str(), &handle), 1) << LastError(lib_).detail;
    if (handle != 0) exports_.push_back(handle);
    return handle;
  }
  int Term(int handle, int commit) {
    exports_.erase(std::remove(exports_.begin(), exports_.end(), handle), exports_.end());
    return pipExportTerm(handle, commit);
  }
  // Exports every object of the open object file; the names in the order written.
  static std::vector<std::string> WriteAll(int handle) {
    std::vector<std::string> names;
    char name[PIP_NAME_SIZE];
    int percent = -1;
    int count = -1;
    while (pipExportWrite(handle, name, sizeof name, &percent, &count) == 1) names.push_back(name);
    return names;
  }

  std::vector<int> exports_;
};

TEST_F(ExporterTest, TermWithoutCommitDeletesTextOutputsAndWithCommitKeepsThem) {
  const int bna = InitBna("gone");
  int mif = 0;
  ASSERT_EQ(pipExportInitMIF(lib_, "gone", &mif), 1);
  EXPECT_TRUE(lumetra_test::FileExists("gone.bna"));
  EXPECT_TRUE(lumetra_test::FileExists("gone.mif"));
  EXPECT_EQ(Term(bna, 0), 1);
  EXPECT_EQ(pipExportTerm(mif, 0), 1);
  EXPECT_FALSE(lumetra_test::FileExists("gone.bna"));
  EXPECT_FALSE(lumetra_test::FileExists("gone.mif"));
  EXPECT_FALSE(lumetra_test::FileExists("gone.mid"));
  EXPECT_EQ(pipExportTerm(mif, 1), -1);  // the handle is gone
  EXPECT_EQ(Term(InitBna("kept"), 1), 1);
  EXPECT_TRUE(lumetra_test::FileExists("kept.bna"));
}

TEST_F(ExporterTest, InitFailures) {
  int handle = 7;
  EXPECT_EQ(pipExportInitBNA(lib_, nullptr, &handle), -1);
  EXPECT_EQ(handle, 0);
  EXPECT_EQ(LastError(lib_).code, PIP_ERR_INVALID_DATA);
  EXPECT_EQ(LastError(lib_).detail, "The name of the export output file is missing.\n");
  EXPECT_EQ(pipExportInitMIF(lib_, nullptr, &handle), -1);
  EXPECT_EQ(pipExportInitSHP(lib_, nullptr, &handle, 0), -1);
  EXPECT_EQ(pipExportInitSHP(lib_, "x", &handle, 3), -1);
  EXPECT_EQ(LastError(lib_).detail,
            "The object type of a shapefile export must be 0 (region), 1 (line) or 2 (point).\n");
  EXPECT_EQ(pipExportInitShape(lib_, "x", &handle, -1), -1);
  EXPECT_FALSE(lumetra_test::FileExists("x.shp"));
  EXPECT_EQ(pipExportInitBNA(lib_, "no/such/dir/out", &handle), -1);
  EXPECT_EQ(LastError(lib_).code, ENOENT);
  EXPECT_EQ(pipExportInitBNA(0, "out", &handle), -1);
  EXPECT_EQ(pipExportInitBNA(lib_, "unwanted", nullptr), -1);
  EXPECT_FALSE(lumetra_test::FileExists("unwanted.bna"));
  // Other handles are refused by every export call.
  EXPECT_EQ(pipExportOpen(lib_, "x.obj", 0), -1);
  EXPECT_EQ(pipExportWrite(lib_, nullptr, 0, nullptr, nullptr), -1);
  EXPECT_EQ(pipExportClose(lib_), -1);
  EXPECT_EQ(pipExportTerm(lib_, 1), -1);
  EXPECT_EQ(pipExportTerm(0, 1), -1);
}

}  // namespace
