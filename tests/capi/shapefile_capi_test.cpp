// The db* and Shape* routines as callers see them: only the public headers
// and the shared library.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lumetra/dbf.h>
#include <lumetra/shapefile.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

using lumetra_test::ReadBytes;
using lumetra_test::ScopedTempDir;

TEST(ShapefileCapi, EveryRoutineIsExported) {
  const char* names[] = {"dbOpen",      "dbCreate",        "dbRead",         "dbReadByRecno",
                         "dbWrite",     "dbClose",         "ShapeOpen",      "ShapeRead",
                         "ShapeCreate", "ShapeWritePoint", "ShapeWritePoly", "ShapeClose"};
  for (const char* name : names) EXPECT_NE(dlsym(RTLD_DEFAULT, name), nullptr) << name;
  // Internal helpers stay hidden.
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "ReportFailure"), nullptr);
}

TEST(ShapefileCapi, ShapefileWithTableRoundTrips) {
  ScopedTempDir dir;
  const std::string base = dir.File("regions");
  shpFile out;
  ASSERT_EQ(ShapeCreate(&out, base.c_str()), 0);
  double outer[] = {0, 0, 0, 10, 10, 10, 10, 0, 0, 0};
  double hole[] = {2, 2, 4, 2, 4, 4, 2, 4, 2, 2};
  shpPart parts[] = {{5, outer}, {5, hole}};
  const shpPartList poly = {2, parts};
  ASSERT_EQ(ShapeWritePoly(&out, &poly, SHP_POLYGON), 0);
  const double point[2] = {-5.5, 7.25};
  ASSERT_EQ(ShapeWritePoint(&out, point), 0);
  ASSERT_EQ(ShapeClose(&out), 0);
  // 100 + (8 + 44 + 8 + 160) + (8 + 20) bytes; 100 + 2 * 8 in the index.
  EXPECT_EQ(ReadBytes(base + ".shp").size(), 348u);
  EXPECT_EQ(ReadBytes(base + ".shx").size(), 116u);

  dbField fields[2];
  std::memset(fields, 0, sizeof fields);
  std::strcpy(fields[0].name, "NAME");
  fields[0].type = 'C';
  fields[0].length = 12;
  std::strcpy(fields[1].name, "AREA");
  fields[1].type = 'N';
  fields[1].length = 10;
  fields[1].decimals = 3;
  dbTable table;
  std::memset(&table, 0, sizeof table);
  table.numFields = 2;
  table.fields = fields;
  ASSERT_EQ(dbCreate(&table, base.c_str()), 0);
  std::strcpy(fields[0].value.text, "square");
  fields[1].value.number = 96.0;
  ASSERT_EQ(dbWrite(&table), 0);
  std::strcpy(fields[0].value.text, "point");
  fields[1].value.number = 0.125;
  ASSERT_EQ(dbWrite(&table), 0);
  ASSERT_EQ(dbClose(&table), 0);

  shpFile in;
  ASSERT_EQ(ShapeOpen(&in, base.c_str()), 0);
  EXPECT_EQ(in.numRecords, 2);
  EXPECT_EQ(in.fileBox[0], -5.5);
  EXPECT_EQ(in.fileBox[3], 10);
  ASSERT_EQ(ShapeRead(&in), 0);
  EXPECT_EQ(in.shapeType, SHP_POLYGON);
  ASSERT_EQ(in.numParts, 2);
  EXPECT_EQ(in.parts[1].numPoints, 5);
  EXPECT_EQ(std::vector<double>(in.parts[1].points, in.parts[1].points + 10),
            std::vector<double>(hole, hole + 10));
  ASSERT_EQ(ShapeRead(&in), 0);
  EXPECT_EQ(in.shapeType, SHP_POINT);
  EXPECT_EQ(in.points[0], -5.5);
  EXPECT_EQ(in.points[1], 7.25);
  EXPECT_EQ(ShapeRead(&in), 1);
  EXPECT_EQ(ShapeClose(&in), 0);

  dbTable read;
  ASSERT_EQ(dbOpen(&read, (base + ".dbf").c_str()), DB_OK);
  EXPECT_EQ(read.numRecords, 2);
  ASSERT_EQ(dbReadByRecno(&read, 1), DB_OK);
  EXPECT_STREQ(read.fields[0].value.text, "point");
  EXPECT_DOUBLE_EQ(read.fields[1].value.number, 0.125);
  ASSERT_EQ(dbReadByRecno(&read, 0), DB_OK);
  EXPECT_STREQ(read.fields[0].value.text, "square");
  EXPECT_DOUBLE_EQ(read.fields[1].value.number, 96.0);
  EXPECT_EQ(dbRead(&read), DB_OK);
  EXPECT_EQ(dbRead(&read), DB_END);
  EXPECT_EQ(dbClose(&read), 0);
}

TEST(ShapefileCapi, FailuresPrintTheirTextAndReturnMinusOne) {
  ScopedTempDir dir;
  const std::string base = dir.File("absent");
  shpFile shape;
  dbTable table;
  testing::internal::CaptureStderr();
  EXPECT_EQ(ShapeOpen(&shape, base.c_str()), -1);
  EXPECT_EQ(dbOpen(&table, base.c_str()), DB_ERROR);
  EXPECT_EQ(ShapeClose(nullptr), -1);
  EXPECT_EQ(dbClose(nullptr), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), base + ".shp: No such file or directory\n" +
                                                        base + ".dbf: No such file or directory\n" +
                                                        "ShapeClose: Invalid argument\n");
  EXPECT_EQ(ShapeClose(&shape), 0);  // a failed open leaves nothing to release
  EXPECT_EQ(dbClose(&table), 0);
}

}  // namespace
