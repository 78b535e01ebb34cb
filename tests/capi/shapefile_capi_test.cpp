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
