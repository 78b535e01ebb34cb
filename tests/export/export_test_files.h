// Objects for the export tests: a plain description (Obj), object files
// built from them through the import interface (pipImportInit /
// pipImportInsert) and read back in name-index order through the reader and
// the name search, as the exporter itself walks them; one object written
// through a writer's WriteObject; whole exports and imports through the
// entry points; the library's last error record.
//
// The tree builder puts scratch files into the current directory: callers
// run inside a lumetra_test::ScopedChdir of a temporary directory.
#ifndef LUMETRA_TESTS_EXPORT_EXPORT_TEST_FILES_H
#define LUMETRA_TESTS_EXPORT_EXPORT_TEST_FILES_H

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "export/exporter.h"
#include "frame/error.h"
#include "search/name_search.h"
#include "search/object_coords.h"
#include "search/object_file_object.h"
#include "search/polygon_object.h"
#include "support/test_files.h"

namespace export_test {

using XY = std::pair<std::int32_t, std::int32_t>;
using Ring = std::vector<XY>;

// One object as the tests describe and compare it.
struct Obj {
  int type = PIP_OBJECT_REGION;
  std::string name;
  std::string name2;
  std::vector<Ring> parts;  // points: one part of one point
  XY label{0, 0};           // regions and lines; points: the position
  int pen_pattern = 0;      // symbol shape for points
  int pen_width = 0;        // symbol size
  int pen_colour = 0;       // symbol colour; the ordinal in built files
  int brush_pattern = 0;
  int brush_fore = 0;
  int brush_back = 0;
};

inline std::ostream& operator<<(std::ostream& os, const Obj& o) {
  os << "{type " << o.type << " \"" << o.name << "\"/\"" << o.name2 << "\" parts";
  for (const Ring& r : o.parts) {
    os << " [";
    for (const XY& p : r) os << "(" << p.first << "," << p.second << ")";
    os << "]";
  }
  return os << "}";
}

inline Obj Region(const std::string& name, const std::string& name2, std::vector<Ring> rings) {
  Obj o;
  o.name = name;
  o.name2 = name2;
  o.parts = std::move(rings);
  return o;
}

inline Obj Line(const std::string& name, const std::string& name2, std::vector<Ring> pieces) {
  Obj o = Region(name, name2, std::move(pieces));
  o.type = PIP_OBJECT_LINE;
  return o;
}

inline Obj Point(const std::string& name, const std::string& name2, std::int32_t x,
                 std::int32_t y) {
  Obj o = Region(name, name2, {Ring{{x, y}}});
  o.type = PIP_OBJECT_POINT;
  o.label = {x, y};
  return o;
}

// An axis-parallel rectangle ring, counter-clockwise from its minimum corner.
inline Ring Box(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
  return Ring{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

// The record handed to pipImportInsert / pipExportInsert for `o`.
inline pipObjectInfoStruct InfoOf(const Obj& o) {
  pipObjectInfoStruct info;
  std::memset(&info, 0, sizeof info);
  std::snprintf(info.name, sizeof info.name, "%s", o.name.c_str());
  std::snprintf(info.name2, sizeof info.name2, "%s", o.name2.c_str());
  info.type = o.type;
  info.x = o.label.first;
  info.y = o.label.second;
  info.penPattern = o.pen_pattern;
  info.penWidth = o.pen_width;
  info.penColor = o.pen_colour;
  info.brushPattern = o.brush_pattern;
  info.brushForeground = o.brush_fore;
  info.brushBackground = o.brush_back;
  return info;
}

// The interleaved points and the part counts of `o`.
inline void CoordsOf(const Obj& o, std::vector<int>* points, std::vector<int>* part_counts) {
  points->clear();
  part_counts->clear();
  for (const Ring& r : o.parts) {
    part_counts->push_back(static_cast<int>(r.size()));
    for (const XY& p : r) {
      points->push_back(p.first);
      points->push_back(p.second);
    }
  }
}

// Writes `o` through the writer's WriteObject as the exporter does (points:
// the count of points; others: the count of parts), with `name` as the name
// argument.
inline int WriteObj(CspaExporter& writer, const Obj& o, const char* name) {
  std::vector<int> points;
  std::vector<int> counts;
  CoordsOf(o, &points, &counts);
  const int count = o.type == PIP_OBJECT_POINT ? static_cast<int>(points.size() / 2)
                                               : static_cast<int>(counts.size());
  return writer.WriteObject(name, InfoOf(o), points.data(), counts.data(), count);
}

inline std::string ReadText(const std::string& path) {
  const std::vector<std::uint8_t> bytes = lumetra_test::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Builds an object file of `objects` (coordinate type `coord_type`) through
// the import interface of library handle `lib`.
inline void BuildObjectFile(int lib, const std::string& path, const std::vector<Obj>& objects,
                            int coord_type = PIP_COORD_GEOGRAPHIC) {
  pipObjectFileInfoStruct info;
  std::memset(&info, 0, sizeof info);
  info.maxPoints = 100000;
  info.maxParts = 1000;
  info.coordType = coord_type;
  int import = 0;
  ASSERT_EQ(pipImportInit(lib, path.c_str(), &info, &import), 1) << path;
  for (const Obj& o : objects) {
    pipObjectInfoStruct record = InfoOf(o);
    std::vector<int> points;
    std::vector<int> counts;
    CoordsOf(o, &points, &counts);
    const int parts = o.type == PIP_OBJECT_POINT ? 1 : static_cast<int>(counts.size());
    ASSERT_EQ(pipImportInsert(import, &record, points.data(), counts.data(), parts), 1) << o;
  }
  ASSERT_EQ(pipImportTerm(import, 1), 1);
}

// Every object of an object file, in name-index order (the walk of a name
// search for "*"), as the reader describes it.
inline std::vector<Obj> ReadObjectFile(const std::string& path) {
  std::vector<Obj> out;
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
    Obj o;
    o.type = info.type;
    o.name = info.name;
    o.name2 = info.name2;
    o.label = {info.x, info.y};
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
      o.parts.push_back(ring);
    }
    out.push_back(o);
    found = file.FindNext(name, sizeof name);
  }
  EXPECT_EQ(found, 0) << err.detail();
  return out;
}

// The last error record of library handle `lib`.
struct LastError {
  explicit LastError(int lib) {
    char message_text[PIP_ERROR_TEXT_SIZE];
    char detail_text[PIP_ERROR_TEXT_SIZE];
    code = pipErrorGet(lib, message_text, detail_text);
    message = message_text;
    detail = detail_text;
  }
  int code;
  std::string message;
  std::string detail;
};

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
inline std::vector<Obj> ImportAll(int lib, const std::string& object_file,
                                  const std::vector<std::function<int(int)>>& opens) {
  pipObjectFileInfoStruct info{};
  info.maxPoints = 100000;
  info.maxParts = 1000;
  info.coordType = PIP_COORD_GEOGRAPHIC;
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

// A library handle and a scratch working directory for a test.
class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lib_ = pipInit(0, nullptr);
    ASSERT_GT(lib_, 0);
  }
  void TearDown() override {
    if (lib_ != 0) {
      EXPECT_EQ(pipTerm(lib_), 1);
    }
  }

  int lib_ = 0;
  lumetra_test::ScopedTempDir dir_;
  lumetra_test::ScopedChdir chdir_{dir_.path()};
};

}  // namespace export_test

#endif  // LUMETRA_TESTS_EXPORT_EXPORT_TEST_FILES_H
