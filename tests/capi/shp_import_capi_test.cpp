// The shapefile import as callers see it: pipImportOpenSHP and the failures
// a caller can meet.
#include <lumetra/dbf.h>
#include <lumetra/pip_ext.h>
#include <lumetra/shapefile.h>

#include "support/capi_fixture.h"
#include "support/io_tools.h"

namespace {

using namespace capi_test;

std::string UsStates() { return lumetra_test::SourcePath("data/us_states.shp"); }

class ShpImportCapi : public CapiTest {
 protected:
  // Imports the US states into `file`; the names the reads gave.
  std::vector<std::string> ImportStates(const std::string& file, bool alias) {
    std::vector<std::string> names;
    const int h = StartImport(file, FileInfo(100000, 1000, 1));
    EXPECT_GT(h, 0);
    EXPECT_EQ(alias ? pipImportOpenShape(h, UsStates().c_str(), "NAME", "FIPS")
                    : pipImportOpenSHP(h, UsStates().c_str(), "NAME", "FIPS"),
              1);
    char name[64];
    int percent = -1, line = -1, rc = 0;
    while ((rc = pipImportRead(h, name, sizeof name, &percent, &line)) == 1) {
      names.push_back(name);
      EXPECT_EQ(line, static_cast<int>(names.size()));
      EXPECT_EQ(percent, line * 100 / 56);
    }
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(pipImportClose(h), 1);
    EXPECT_EQ(Term(h, 1), 1);
    return names;
  }
};

TEST_F(ShpImportCapi, NullNameColumnWarnsAndStillOpens) {
  const int h = StartImport("warn.obj", FileInfo(100000, 1000, 1));
  ASSERT_GT(h, 0);
  ASSERT_EQ(pipImportOpenSHP(h, UsStates().c_str(), nullptr, nullptr), 1);
  ExpectError(106, "WARNING: id parameter was NULL. Parameter set to first column in .dbf file.");
  char name[64];
  ASSERT_EQ(pipImportRead(h, name, sizeof name, nullptr, nullptr), 1);
  EXPECT_STREQ(name, "01") << "the first column holds the FIPS code";
}

TEST_F(ShpImportCapi, FailuresReturnMinusOne) {
  EXPECT_EQ(pipImportOpenSHP(0, "x.shp", "NAME", nullptr), -1);
  EXPECT_EQ(pipImportOpenShape(lib_, "x.shp", "NAME", nullptr), -1);  // not an import handle
  const int h = StartImport("fail.obj", FileInfo(1000, 10, 1));
  ASSERT_GT(h, 0);
  // A missing shapefile: reported in the library's error record (the
  // shapefile routines also print their reason to standard error).
  EXPECT_EQ(pipImportOpenSHP(h, "missing.shp", "NAME", nullptr), -1);
  std::string detail;
  EXPECT_EQ(Code(&detail), 100);
  EXPECT_NE(detail.find("Can not open shapefile"), std::string::npos) << detail;
  char name[16] = "junk";
  EXPECT_EQ(pipImportRead(h, name, sizeof name, nullptr, nullptr), -1) << "no reader";
  EXPECT_STREQ(name, "");

  // A shapefile whose table has no row for its second shape.
  shpFile shape;
  ASSERT_EQ(ShapeCreate(&shape, "short"), 0);
  const double a[] = {-87.6, 41.8};
  const double b[] = {-87.5, 41.9};
  ASSERT_EQ(ShapeWritePoint(&shape, a), 0);
  ASSERT_EQ(ShapeWritePoint(&shape, b), 0);
  ASSERT_EQ(ShapeClose(&shape), 0);
  dbField field;
  std::memset(&field, 0, sizeof field);
  std::strcpy(field.name, "NAME");
  field.type = 'C';
  field.length = 10;
  dbTable table;
  std::memset(&table, 0, sizeof table);
  table.numFields = 1;
  table.fields = &field;
  ASSERT_EQ(dbCreate(&table, "short"), 0);
  std::strcpy(field.value.text, "first");
  ASSERT_EQ(dbWrite(&table), 0);
  ASSERT_EQ(dbClose(&table), 0);

  ASSERT_EQ(pipImportSetOptions(h, PIP_IMPORT_OPT_STRICT), 1);  // valid points pass the check
  ASSERT_EQ(pipImportOpenShape(h, "short.shp", "name", nullptr), 1);
  int percent = 0, line = 0;
  ASSERT_EQ(pipImportRead(h, name, sizeof name, &percent, &line), 1);
  EXPECT_STREQ(name, "first");
  EXPECT_EQ(percent, 50);
  EXPECT_EQ(line, 1);
  EXPECT_EQ(pipImportRead(h, name, sizeof name, &percent, &line), -1);
  EXPECT_EQ(Code(&detail), 100);
  EXPECT_NE(detail.find("has no row for shapefile record 2"), std::string::npos) << detail;
  EXPECT_EQ(pipImportClose(h), 1);
  EXPECT_EQ(Term(h, 1), 1);
  pipObjectFileInfoStruct info;
  ASSERT_EQ(pipObjectFileQuery(lib_, "fail.obj", &info), 1);
  EXPECT_EQ(info.numPointObjects, 1) << "the first point was written at once";
}

}  // namespace
