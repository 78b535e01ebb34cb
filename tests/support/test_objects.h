// Objects as the tests describe them (regions, lines and points of integer
// rings, with names and style), object files built from them through the
// import interface, the library's last error record, and a fixture of a
// scratch working directory and a library handle.  Only the public headers
// and the standard library: the C interface tests use it too.
#ifndef LUMETRA_TESTS_SUPPORT_TEST_OBJECTS_H
#define LUMETRA_TESTS_SUPPORT_TEST_OBJECTS_H

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "support/search_models.h"
#include "support/test_files.h"

namespace test_objects {

struct XY {
  std::int32_t x = 0;
  std::int32_t y = 0;
};
inline bool operator==(const XY& a, const XY& b) { return a.x == b.x && a.y == b.y; }
inline bool operator!=(const XY& a, const XY& b) { return !(a == b); }
inline bool operator<(const XY& a, const XY& b) { return std::tie(a.x, a.y) < std::tie(b.x, b.y); }
inline std::ostream& operator<<(std::ostream& os, const XY& p) {
  return os << "(" << p.x << "," << p.y << ")";
}
using Ring = std::vector<XY>;

// One object: a region or line of rings (given open), or a point, which is
// one ring of its one point.  `at` is a point's position and the label of
// the others ((0, 0): none given).  A point's pen fields are its symbol
// shape, size and colour; files built here hold the ordinal as colour.
struct TestObject {
  int type = PIP_OBJECT_REGION;
  std::string name;
  std::string name2;
  std::vector<Ring> rings;
  XY at;
  int pen_pattern = 0;
  int pen_width = 0;
  int pen_colour = 0;
  int brush_pattern = 0;
  int brush_fore = 0;
  int brush_back = 0;
};

inline std::ostream& operator<<(std::ostream& os, const TestObject& o) {
  os << "{type " << o.type << " \"" << o.name << "\"/\"" << o.name2 << "\" rings";
  for (const Ring& r : o.rings) {
    os << " [";
    for (const XY& p : r) os << p;
    os << "]";
  }
  return os << "}";
}

inline TestObject Region(const std::string& name, std::vector<Ring> rings,
                         const std::string& name2 = "") {
  TestObject o;
  o.name = name;
  o.name2 = name2;
  o.rings = std::move(rings);
  return o;
}
inline TestObject Line(const std::string& name, std::vector<Ring> pieces,
                       const std::string& name2 = "") {
  TestObject o = Region(name, std::move(pieces), name2);
  o.type = PIP_OBJECT_LINE;
  return o;
}
inline TestObject Point(const std::string& name, std::int32_t x, std::int32_t y,
                        const std::string& name2 = "") {
  TestObject o = Region(name, {Ring{{x, y}}}, name2);
  o.type = PIP_OBJECT_POINT;
  o.at = {x, y};
  return o;
}

// An axis-parallel rectangle ring, counter-clockwise from its minimum corner.
inline Ring Box(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
  return Ring{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

inline Ring Star(std::mt19937& rng, std::int32_t cx, std::int32_t cy, int n, int rmin, int rmax) {
  return search_models::Star<XY>(rng, cx, cy, n, rmin, rmax);
}

// The record handed to pipImportInsert / pipExportInsert for `o`.
inline pipObjectInfoStruct InfoOf(const TestObject& o) {
  pipObjectInfoStruct info;
  std::memset(&info, 0, sizeof info);
  std::snprintf(info.name, sizeof info.name, "%s", o.name.c_str());
  std::snprintf(info.name2, sizeof info.name2, "%s", o.name2.c_str());
  info.type = o.type;
  info.x = o.at.x;
  info.y = o.at.y;
  info.penPattern = o.pen_pattern;
  info.penWidth = o.pen_width;
  info.penColor = o.pen_colour;
  info.brushPattern = o.brush_pattern;
  info.brushForeground = o.brush_fore;
  info.brushBackground = o.brush_back;
  return info;
}

// The interleaved points and the part counts of `o`.
inline void CoordsOf(const TestObject& o, std::vector<int>* points, std::vector<int>* counts) {
  points->clear();
  counts->clear();
  for (const Ring& r : o.rings) {
    counts->push_back(static_cast<int>(r.size()));
    for (const XY& p : r) points->insert(points->end(), {p.x, p.y});
  }
}

inline pipObjectFileInfoStruct FileInfo(int max_points, int max_parts, int coord_type,
                                        int flags = 0) {
  pipObjectFileInfoStruct info;
  std::memset(&info, 0, sizeof info);
  info.maxPoints = max_points;
  info.maxParts = max_parts;
  info.coordType = coord_type;
  info.flags = flags;
  return info;
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

enum class Init { kPlain, kExtended, kTax };

struct BuildOptions {
  int flags = 0;
  int coord_type = 0;
  Init init = Init::kPlain;  // kExtended: texts "first text" / "second", code 12
  int max_parts = 100;
};

// Writes the object file `path` of `objects` through the import interface
// of library handle `lib`.
inline void BuildObjectFile(int lib, const std::string& path,
                            const std::vector<TestObject>& objects,
                            const BuildOptions& opt = BuildOptions()) {
  pipObjectFileInfoStruct info = FileInfo(100000, opt.max_parts, opt.coord_type, opt.flags);
  const char* file = path.c_str();
  int h = 0;
  const int rc = opt.init == Init::kTax ? pipImportTXBInit(lib, file, &info, &h)
                 : opt.init == Init::kExtended
                     ? pipImportInitEx(lib, file, &info, 12, "first text", "second", &h)
                     : pipImportInit(lib, file, &info, &h);
  ASSERT_EQ(rc, 1) << path << ": " << LastError(lib).detail;
  for (const TestObject& o : objects) {
    pipObjectInfoStruct record = InfoOf(o);
    std::vector<int> points;
    std::vector<int> counts;
    CoordsOf(o, &points, &counts);
    ASSERT_EQ(
        pipImportInsert(h, &record, points.data(), counts.data(), static_cast<int>(counts.size())),
        1)
        << o << ": " << LastError(lib).detail;
  }
  ASSERT_EQ(pipImportTerm(h, 1), 1) << LastError(lib).detail;
}

// A library handle, and a scratch directory that is also the working
// directory (the index builders put their scratch files there), per test.
class LibraryTest : public lumetra_test::ScratchDirTest {
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

  void Build(const std::string& file, const std::vector<TestObject>& objects,
             const BuildOptions& opt = BuildOptions()) {
    BuildObjectFile(lib_, file, objects, opt);
  }

  int lib_ = 0;
};

}  // namespace test_objects

#endif  // LUMETRA_TESTS_SUPPORT_TEST_OBJECTS_H
