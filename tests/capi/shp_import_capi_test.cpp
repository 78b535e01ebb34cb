// The shapefile import as callers see it: pipImportOpenSHP and its alias
// pipImportOpenShape on an import handle, pipImportRead through a shapefile,
// the object file that results (queried and searched through pip.h), and
// the failures a caller can meet.  Only the public headers are used.
#include <gtest/gtest.h>
#include <lumetra/dbf.h>
#include <lumetra/pip.h>
#include <lumetra/shapefile.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

using lumetra_test::ScopedChdir;
using lumetra_test::ScopedTempDir;

pipObjectFileInfoStruct Info(int max_points, int max_parts) {
  pipObjectFileInfoStruct info;
  std::memset(&info, 0, sizeof info);
  info.maxPoints = max_points;
  info.maxParts = max_parts;
  info.coordType = 1;
  return info;
}

// <root>/data/us_states, found from this file's place in the tree.
std::string UsStates() {
  std::string file = __FILE__;  // <root>/tests/capi/shp_import_capi_test.cpp
  for (int i = 0; i < 3; ++i) file = file.substr(0, file.find_last_of('/'));
  return file + "/data/us_states";
}

// A library handle, a scratch directory, and a check that every import and
// object-file handle the test opened was closed.
class ShpImportCapi : public ::testing::Test {
 protected:
  ShpImportCapi() : chdir_(dir_.path()) {}
  void SetUp() override {
    lib_ = pipInit(0, nullptr);
    ASSERT_GT(lib_, 0);
  }
  void TearDown() override {
    for (int h : imports_) EXPECT_EQ(pipImportTerm(h, 0), -1) << "import handle " << h << " leaked";
    for (int h : files_) EXPECT_EQ(pipObjectFileClose(h), -1) << "file handle " << h << " leaked";
    EXPECT_EQ(pipTerm(lib_), 1);
  }

  int Init(const std::string& file, const pipObjectFileInfoStruct& info) {
    int h = 0;
    if (pipImportInit(lib_, dir_.File(file).c_str(), &info, &h) != 1) return 0;
    imports_.insert(h);
    return h;
  }
  int Term(int h, int commit) {
    imports_.erase(h);
    return pipImportTerm(h, commit);
  }
  int OpenFile(const std::string& file) {
    int h = 0;
    if (pipObjectFileOpen(lib_, dir_.File(file).c_str(), PIP_OPEN_CACHE_5MB, &h) != 1) return 0;
    files_.insert(h);
    return h;
  }
  int CloseFile(int h) {
    files_.erase(h);
    return pipObjectFileClose(h);
  }
  int ErrorCode(std::string* detail = nullptr) {
    char message[PIP_ERROR_TEXT_SIZE];
    char text[PIP_ERROR_TEXT_SIZE];
    const int code = pipErrorGet(lib_, message, text);
    if (detail != nullptr) *detail = text;
    return code;
  }

  // Imports the bundled US states into `file`; the names the reads gave.
  std::vector<std::string> ImportStates(const std::string& file, bool alias) {
    std::vector<std::string> names;
    const int h = Init(file, Info(100000, 1000));
    EXPECT_GT(h, 0);
    const std::string shp = UsStates() + ".shp";
    const int opened = alias ? pipImportOpenShape(h, shp.c_str(), "NAME", "FIPS")
                             : pipImportOpenSHP(h, shp.c_str(), "NAME", "FIPS");
    EXPECT_EQ(opened, 1);
    char name[64];
    int percent = -1;
    int line = -1;
    int rc = 0;
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

  ScopedTempDir dir_;
  ScopedChdir chdir_;
  int lib_ = 0;
  std::set<int> imports_;
  std::set<int> files_;
};

TEST_F(ShpImportCapi, UsStatesBecomeAnObjectFile) {
  ASSERT_TRUE(lumetra_test::FileExists(UsStates() + ".shp"));
  const auto names = ImportStates("states.obj", false);
  ASSERT_EQ(names.size(), 56u);
  EXPECT_EQ(names.front(), "Alabama");
  EXPECT_EQ(names[13], "Illinois");

  pipObjectFileInfoStruct info;
  ASSERT_EQ(pipObjectFileQuery(lib_, dir_.File("states.obj").c_str(), &info), 1);
  EXPECT_EQ(info.numRegionObjects, 56);
  EXPECT_EQ(info.numLineObjects, 0);
  EXPECT_EQ(info.numPointObjects, 0);
  EXPECT_EQ(info.coordType, 1);
  // The extent (-179.136572118..., -14.373864584..) - (179.774880706...,
  // 71.352561) in millionths of a degree, truncated, grown by one unit.
  EXPECT_EQ(info.minX, -179136573);
  EXPECT_EQ(info.minY, -14373865);
  EXPECT_EQ(info.maxX, 179774881);
  EXPECT_EQ(info.maxY, 71352562);

  const int file = OpenFile("states.obj");
  ASSERT_GT(file, 0);
  struct Place {
    int x, y;
    const char* state;
    const char* fips;
    int ordinal;
  } places[] = {
      {-87629800, 41878100, "Illinois", "17", 14},  // Chicago
      {-104990300, 39739200, "Colorado", "08", 6},  // Denver
      {-157858300, 21306900, "Hawaii", "15", 12},   // Honolulu
  };
  for (const Place& p : places) {
    char name[128];
    ASSERT_EQ(pipObjectFindFirstContaining(file, p.x, p.y, 0, name, sizeof name), 1) << p.state;
    EXPECT_STREQ(name, p.state);
    pipObjectInfoStruct object;
    ASSERT_EQ(pipObjectGetInfo(file, &object), 1);
    EXPECT_STREQ(object.name2, p.fips);
    EXPECT_EQ(object.type, PIP_OBJECT_REGION);
    EXPECT_EQ(object.penColor, p.ordinal);
    EXPECT_EQ(object.id, 0);
    EXPECT_EQ(object.brushPattern, 0);
  }
  char name[128];
  EXPECT_EQ(pipObjectFindFirstContaining(file, -40000000, 30000000, 0, name, sizeof name), 0);
  EXPECT_EQ(CloseFile(file), 1);
}

TEST_F(ShpImportCapi, ShapeIsAnAliasOfShp) {
  const auto names = ImportStates("alias.obj", true);
  ASSERT_EQ(names.size(), 56u);
  EXPECT_EQ(names.back(), "United States Virgin Islands");
  EXPECT_EQ(ImportStates("shp.obj", false), names);
  const auto alias_bytes = lumetra_test::ReadBytes(dir_.File("alias.obj"));
  EXPECT_GT(alias_bytes.size(), 536u);
  EXPECT_EQ(alias_bytes, lumetra_test::ReadBytes(dir_.File("shp.obj")));
}

TEST_F(ShpImportCapi, NullNameColumnWarnsAndStillOpens) {
  const int h = Init("warn.obj", Info(100000, 1000));
  ASSERT_GT(h, 0);
  ASSERT_EQ(pipImportOpenSHP(h, (UsStates() + ".shp").c_str(), nullptr, nullptr), 1);
  std::string detail;
  EXPECT_EQ(ErrorCode(&detail), 106);
  EXPECT_EQ(detail, "WARNING: id parameter was NULL. Parameter set to first column in .dbf file.");
  char name[64];
  int percent = 0;
  int line = 0;
  ASSERT_EQ(pipImportRead(h, name, sizeof name, &percent, &line), 1);
  EXPECT_STREQ(name, "01");  // the first column holds the FIPS code
  EXPECT_EQ(Term(h, 0), 1);
}

TEST_F(ShpImportCapi, FailuresReturnMinusOne) {
  EXPECT_EQ(pipImportOpenSHP(0, "x.shp", "NAME", nullptr), -1);
  EXPECT_EQ(pipImportOpenShape(lib_, "x.shp", "NAME", nullptr), -1);  // not an import handle

  const int h = Init("fail.obj", Info(1000, 10));
  ASSERT_GT(h, 0);
  // A missing shapefile: reported in the library's error record (the
  // shapefile routines also print their reason to standard error).
  EXPECT_EQ(pipImportOpenSHP(h, dir_.File("missing.shp").c_str(), "NAME", nullptr), -1);
  std::string detail;
  EXPECT_EQ(ErrorCode(&detail), 100);
  EXPECT_NE(detail.find("Can not open shapefile"), std::string::npos) << detail;
  char name[16] = "junk";
  EXPECT_EQ(pipImportRead(h, name, sizeof name, nullptr, nullptr), -1);  // no reader
  EXPECT_STREQ(name, "");

  // A shapefile whose table has no row for its second shape.
  shpFile shape;
  ASSERT_EQ(ShapeCreate(&shape, dir_.File("short").c_str()), 0);
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
  ASSERT_EQ(dbCreate(&table, dir_.File("short").c_str()), 0);
  std::strcpy(field.value.text, "first");
  ASSERT_EQ(dbWrite(&table), 0);
  ASSERT_EQ(dbClose(&table), 0);

  ASSERT_EQ(pipImportOpenShape(h, dir_.File("short.shp").c_str(), "name", nullptr), 1);
  int percent = 0;
  int line = 0;
  ASSERT_EQ(pipImportRead(h, name, sizeof name, &percent, &line), 1);
  EXPECT_STREQ(name, "first");
  EXPECT_EQ(percent, 50);
  EXPECT_EQ(line, 1);
  EXPECT_EQ(pipImportRead(h, name, sizeof name, &percent, &line), -1);
  EXPECT_EQ(ErrorCode(&detail), 100);
  EXPECT_NE(detail.find("has no row for shapefile record 2"), std::string::npos) << detail;
  EXPECT_EQ(pipImportClose(h), 1);
  EXPECT_EQ(Term(h, 1), 1);

  pipObjectFileInfoStruct info;
  ASSERT_EQ(pipObjectFileQuery(lib_, dir_.File("fail.obj").c_str(), &info), 1);
  EXPECT_EQ(info.numPointObjects, 1);  // the first point was written at once
}

}  // namespace
