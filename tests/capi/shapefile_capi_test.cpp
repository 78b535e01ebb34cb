// The db* and Shape* routines as callers see them: only the public headers
// and the shared library.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lumetra/dbf.h>
#include <lumetra/shapefile.h>

#include <utility>

namespace {

TEST(ShapefileCapi, EveryRoutineIsExported) {
  // Each name the dynamic linker finds is the routine the headers declare.
  const std::pair<const char*, void*> routines[] = {
      {"dbOpen", reinterpret_cast<void*>(&dbOpen)},
      {"dbCreate", reinterpret_cast<void*>(&dbCreate)},
      {"dbRead", reinterpret_cast<void*>(&dbRead)},
      {"dbReadByRecno", reinterpret_cast<void*>(&dbReadByRecno)},
      {"dbWrite", reinterpret_cast<void*>(&dbWrite)},
      {"dbClose", reinterpret_cast<void*>(&dbClose)},
      {"ShapeOpen", reinterpret_cast<void*>(&ShapeOpen)},
      {"ShapeRead", reinterpret_cast<void*>(&ShapeRead)},
      {"ShapeCreate", reinterpret_cast<void*>(&ShapeCreate)},
      {"ShapeWritePoint", reinterpret_cast<void*>(&ShapeWritePoint)},
      {"ShapeWritePoly", reinterpret_cast<void*>(&ShapeWritePoly)},
      {"ShapeClose", reinterpret_cast<void*>(&ShapeClose)}};
  for (const auto& r : routines) EXPECT_EQ(dlsym(RTLD_DEFAULT, r.first), r.second) << r.first;
  // Internal helpers stay hidden.
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "ReportFailure"), nullptr);
}

}  // namespace
