// Helpers of the export tests: geographic object files of test objects,
// read back in name-index order through the reader and the name search, as
// the exporter itself walks them; one object written through a writer's
// WriteObject; whole exports and imports through the entry points.
#ifndef LUMETRA_TESTS_EXPORT_EXPORT_TEST_FILES_H
#define LUMETRA_TESTS_EXPORT_EXPORT_TEST_FILES_H

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <functional>
#include <string>
#include <vector>

#include "export/exporter.h"
#include "frame/error.h"
#include "search/name_search.h"
#include "search/object_coords.h"
#include "search/object_file_object.h"
#include "search/polygon_object.h"
#include "support/test_objects.h"

namespace export_test {

using namespace test_objects;

// Writes `o` through the writer's WriteObject as the exporter does (points:
// the count of points; others: the count of parts), with `name` as the name
// argument.
inline int WriteObj(CspaExporter& writer, const TestObject& o, const char* name) {
  std::vector<int> points;
  std::vector<int> counts;
  CoordsOf(o, &points, &counts);
  const int count = o.type == PIP_OBJECT_POINT ? static_cast<int>(points.size() / 2)
                                               : static_cast<int>(counts.size());
  return writer.WriteObject(name, InfoOf(o), points.data(), counts.data(), count);
}

// Builds an object file of `objects` in geographic coordinates.
inline void BuildObjectFile(int lib, const std::string& path,
                            const std::vector<TestObject>& objects) {
  test_objects::BuildObjectFile(lib, path, objects, {0, PIP_COORD_GEOGRAPHIC, Init::kPlain, 1000});
}

// Every object of an object file, in name-index order (the walk of a name
// search for "*"), as the reader describes it.
inline std::vector<TestObject> ReadObjectFile(const std::string& path) {
  std::vector<TestObject> out;
  pipError err;
  pipObjectFileObject file(err, path.c_str(), PIP_OPEN_CACHE_5MB);
  EXPECT_TRUE(file.ready()) << path << ": " << err.detail();
  if (!file.ready()) return out;
  file.ReplaceSearch(std::make_unique<PolySearchByName>(file.reader(), err, "*"));
  char name[PIP_NAME_SIZE];
  int found = file.current_search()->FindFirst(name, sizeof name);
  std::vector<int> points(2 * 200000);
  std::vector<int> counts(2000);
  while (found == 1) {
    const PolygonObject* object = file.CurrentObject();
    EXPECT_NE(object, nullptr);
    if (object == nullptr) break;
    pipObjectInfoStruct info;
    lumetra::FillObjectInfo(*object, &info);
    std::size_t parts = 0;
    EXPECT_EQ(lumetra::CopyObjectCoords(*object, points.data(), points.size() / 2, counts.data(),
                                        counts.size(), &parts),
              lumetra::CoordsCopy::kDone);
    TestObject o;
    o.type = info.type;
    o.name = info.name;
    o.name2 = info.name2;
    o.at = {info.x, info.y};
    o.pen_pattern = info.penPattern;
    o.pen_width = info.penWidth;
    o.pen_colour = info.penColor;
    o.brush_pattern = info.brushPattern;
    o.brush_fore = info.brushForeground;
    o.brush_back = info.brushBackground;
    std::size_t at = 0;
    for (std::size_t p = 0; p < parts; ++p) {
      Ring ring;
      for (int k = 0; k < counts[p]; ++k, at += 2) ring.push_back({points[at], points[at + 1]});
      o.rings.push_back(ring);
    }
    out.push_back(o);
    found = file.FindNext(name, sizeof name);
  }
  EXPECT_EQ(found, 0) << err.detail();
  return out;
}

// Opens `object_file` on export handle `handle`, makes `attempts` writes
// (until the first that does not succeed when `attempts` is 0), ends the
// handle with commit and answers how many objects were written.
inline int ExportAll(int handle, const std::string& object_file, int attempts = 0) {
  EXPECT_EQ(pipExportOpen(handle, object_file.c_str(), PIP_OPEN_CACHE_5MB), 1) << object_file;
  char name[PIP_NAME_SIZE];
  int percent = 0;
  int count = 0;
  int written = 0;
  for (int i = 0; attempts == 0 || i < attempts; ++i) {
    if (pipExportWrite(handle, name, sizeof name, &percent, &count) == 1) {
      ++written;
    } else if (attempts == 0) {
      break;
    }
  }
  EXPECT_EQ(pipExportTerm(handle, 1), 1);
  return written;
}

// Imports into `object_file` of library `lib` through each of `opens` (a
// pipImportOpen* call on the import handle) in turn, reading each to its
// end, and answers the objects of the finished file.
inline std::vector<TestObject> ImportAll(int lib, const std::string& object_file,
                                         const std::vector<std::function<int(int)>>& opens) {
  const pipObjectFileInfoStruct info = FileInfo(100000, 1000, PIP_COORD_GEOGRAPHIC);
  int import = 0;
  EXPECT_EQ(pipImportInit(lib, object_file.c_str(), &info, &import), 1);
  for (const auto& open : opens) {
    EXPECT_EQ(open(import), 1) << LastError(lib).detail;
    char name[PIP_NAME_SIZE];
    int percent = 0;
    int line = 0;
    int result;
    while ((result = pipImportRead(import, name, sizeof name, &percent, &line)) == 1) {
    }
    EXPECT_EQ(result, 0) << LastError(lib).detail;
  }
  EXPECT_EQ(pipImportTerm(import, 1), 1) << LastError(lib).detail;
  return ReadObjectFile(object_file);
}

class ExportTest : public LibraryTest {};

}  // namespace export_test

#endif  // LUMETRA_TESTS_EXPORT_EXPORT_TEST_FILES_H
