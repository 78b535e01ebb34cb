// The fixture and helpers of the C interface tests (tests/capi): only the
// public headers and the C++ standard library, header-only, so that the
// tests see the library exactly as callers do.
#ifndef LUMETRA_TESTS_SUPPORT_CAPI_FIXTURE_H
#define LUMETRA_TESTS_SUPPORT_CAPI_FIXTURE_H

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/test_files.h"

namespace capi_test {

using Bytes = std::vector<std::uint8_t>;

struct XY {
  int x;
  int y;
};
using Ring = std::vector<XY>;

// One object for pipImportInsert: a region or line of rings (passed open),
// or a point at `at`.
struct Shape {
  int type = PIP_OBJECT_REGION;
  std::string name;
  std::vector<Ring> rings;
  XY at{0, 0};
  std::string name2;
};

inline Shape RegionOf(const std::string& name, std::vector<Ring> rings,
                      const std::string& name2 = "") {
  Shape s;
  s.name = name;
  s.name2 = name2;
  s.rings = std::move(rings);
  return s;
}
inline Shape LineOf(const std::string& name, std::vector<Ring> pieces,
                    const std::string& name2 = "") {
  Shape s = RegionOf(name, std::move(pieces), name2);
  s.type = PIP_OBJECT_LINE;
  return s;
}
inline Shape PointOf(const std::string& name, int x, int y, const std::string& name2 = "") {
  Shape s;
  s.type = PIP_OBJECT_POINT;
  s.name = name;
  s.name2 = name2;
  s.at = {x, y};
  return s;
}
inline Ring Box(int x0, int y0, int x1, int y1) { return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}; }

// Regions side by side (WEST, EAST), with a hole (DONUT), and with names
// sharing a prefix; a line and two points.
inline std::vector<Shape> SampleShapes() {
  return {RegionOf("WEST", {Box(0, 0, 100, 100)}),
          RegionOf("EAST", {Box(100, 0, 200, 100)}),
          RegionOf("DONUT", {Box(300, 0, 400, 100), Box(340, 40, 360, 60)}),
          RegionOf("Springfield", {Box(500, 0, 600, 100)}),
          RegionOf("SPRINGDALE", {Box(600, 0, 700, 100)}),
          LineOf("ROAD", {{{0, 150}, {400, 150}}}),
          PointOf("WELL", 250, 50),
          PointOf("springwell", 260, 50)};
}

// The unsigned little-endian field of `width` bytes at `at` of a file image.
inline std::uint64_t LittleEndian(const Bytes& b, std::size_t at, int width) {
  std::uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = v << 8 | b.at(at + static_cast<std::size_t>(i));
  return v;
}
inline std::uint32_t U32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(LittleEndian(b, at, 4));
}

// Changes one byte of a file in place.
inline void PokeByte(const std::string& path, std::size_t offset, std::uint8_t value) {
  std::FILE* f = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fseek(f, static_cast<long>(offset), SEEK_SET), 0);
  ASSERT_EQ(std::fputc(value, f), value);
  ASSERT_EQ(std::fclose(f), 0);
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

enum class Init { kPlain, kExtended, kTax };

struct BuildOptions {
  int flags = 0;
  int coord_type = 0;
  Init init = Init::kPlain;  // kExtended: texts "first text" / "second", code 12
};

using Results = std::vector<std::pair<std::string, int>>;  // (name, result) in order

// The coordinates of an object as pipObjectGetCoords hands them out.
struct Coords {
  std::vector<int> parts;
  std::vector<int> xy;
  bool operator==(const Coords& o) const { return parts == o.parts && xy == o.xy; }
};

// A library handle and a scratch directory (also the working directory, for
// the scratch files of the index builders) per test.  Object-file and
// import handles opened through Open and StartImport are ended by the
// fixture; afterwards every handle slot the test used must be free again,
// which catches handles the library (or the test) leaked.
class CapiTest : public ::testing::Test {
 protected:
  CapiTest() : chdir_(dir_.path()) {}
  void SetUp() override {
    lib_ = pipInit(0, nullptr);
    ASSERT_GT(lib_, 0);
  }
  void TearDown() override {
    for (int h : files_) EXPECT_EQ(pipObjectFileClose(h), 1) << "object file " << h;
    for (int h : files_) EXPECT_EQ(pipObjectFileClose(h), -1) << "object file " << h << " twice";
    for (int h : imports_) EXPECT_EQ(pipImportTerm(h, 0), 1) << "import " << h;
    EXPECT_EQ(pipTerm(lib_), 1);
    std::vector<int> probes;
    for (int i = 0; i < 8; ++i) probes.push_back(pipInit(0, nullptr));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(probes[i], lib_ + i) << "a handle leaked";
    for (int h : probes) pipTerm(h);
  }

  std::string Path(const std::string& file) const { return dir_.File(file); }

  // Writes `file` from `shapes` through the import functions.
  void Build(const std::string& file, const std::vector<Shape>& shapes,
             const BuildOptions& opt = BuildOptions()) {
    pipObjectFileInfoStruct info = FileInfo(100000, 100, opt.coord_type, opt.flags);
    const char* path = file.c_str();
    int h = 0;
    const int rc = opt.init == Init::kTax ? pipImportTXBInit(lib_, path, &info, &h)
                   : opt.init == Init::kExtended
                       ? pipImportInitEx(lib_, path, &info, 12, "first text", "second", &h)
                       : pipImportInit(lib_, path, &info, &h);
    ASSERT_EQ(rc, 1) << Detail();
    for (const Shape& s : shapes) {
      pipObjectInfoStruct o;
      std::memset(&o, 0, sizeof o);
      o.type = s.type;
      std::snprintf(o.name, sizeof o.name, "%s", s.name.c_str());
      std::snprintf(o.name2, sizeof o.name2, "%s", s.name2.c_str());
      o.x = s.at.x;
      o.y = s.at.y;
      std::vector<int> xy;
      std::vector<int> counts;
      for (const Ring& r : s.rings) {
        counts.push_back(static_cast<int>(r.size()));
        for (const XY& p : r) xy.insert(xy.end(), {p.x, p.y});
      }
      ASSERT_EQ(pipImportInsert(h, &o, xy.data(), counts.data(), static_cast<int>(counts.size())),
                1)
          << s.name << ": " << Detail();
    }
    ASSERT_EQ(pipImportTerm(h, 1), 1) << Detail();
  }

  // An object-file handle (0 when the open fails, which must leave 0).
  int Open(const std::string& file, int mode = PIP_OPEN_SINGLE_BUFFER) {
    int h = -5;
    if (pipObjectFileOpen(lib_, file.c_str(), mode, &h) != 1) {
      EXPECT_EQ(h, 0);
      return 0;
    }
    files_.insert(h);
    return h;
  }
  int Close(int h) {
    files_.erase(h);
    return pipObjectFileClose(h);
  }
  // An import handle from pipImportInit (0 on failure).
  int StartImport(const std::string& file, const pipObjectFileInfoStruct& info) {
    int h = -7;
    if (pipImportInit(lib_, file.c_str(), &info, &h) != 1) {
      EXPECT_EQ(h, 0);
      return 0;
    }
    imports_.insert(h);
    return h;
  }
  int Term(int h, int commit) {
    imports_.erase(h);
    return pipImportTerm(h, commit);
  }

  int Code(std::string* detail = nullptr) {
    char message[PIP_ERROR_TEXT_SIZE];
    char text[PIP_ERROR_TEXT_SIZE];
    const int code = pipErrorGet(lib_, message, text);
    if (detail != nullptr) *detail = text;
    return code;
  }
  std::string Detail() {
    std::string d;
    Code(&d);
    return d;
  }
  void ExpectError(int code, const std::string& detail) {
    std::string got;
    EXPECT_EQ(Code(&got), code);
    EXPECT_EQ(got, detail);
  }

  // The answers of a search whose find-first gave `first`, continued with
  // pipObjectFindNext until it answers 0.
  Results Drain(int h, int first, char* name, int length) {
    Results out;
    int r = first;
    for (int guard = 0; r > 0 && guard < 10000; ++guard) {
      out.emplace_back(name, r);
      r = pipObjectFindNext(h, name, length);
    }
    EXPECT_EQ(r, 0) << Detail();
    return out;
  }
  // Every answer of a containing search, by name (each at most once).
  std::map<std::string, int> Containing(int h, int x, int y, int radius) {
    char name[PIP_NAME_SIZE];
    std::map<std::string, int> found;
    const int first = pipObjectFindFirstContaining(h, x, y, radius, name, sizeof name);
    for (const auto& [n, r] : Drain(h, first, name, sizeof name)) {
      EXPECT_TRUE(found.emplace(n, r).second) << n << " twice";
    }
    return found;
  }
  // The current object's coordinates.
  Coords CurrentCoords(int h) {
    int points = -1;
    int parts = -1;
    EXPECT_EQ(pipObjectGetNumCoords(h, &points, &parts), 1) << Detail();
    if (points < 0 || parts < 0) return {};
    Coords c;
    c.xy.assign(2 * static_cast<std::size_t>(points) + 2, 0);
    c.parts.assign(static_cast<std::size_t>(parts) + 1, 0);
    int got = -1;
    EXPECT_EQ(pipObjectGetCoords(h, c.xy.data(), points + 1, c.parts.data(), parts + 1, &got), 1);
    c.xy.resize(2 * static_cast<std::size_t>(points));
    c.parts.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
    return c;
  }
  // pipImportRead until it answers 0 or -1: (name, result) of each call.
  Results ReadAll(int imp, int* percent = nullptr) {
    Results out;
    for (int i = 0; i < 1000; ++i) {
      char name[PIP_NAME_SIZE];
      int p = -1;
      int line = -1;
      const int rc = pipImportRead(imp, name, sizeof name, &p, &line);
      out.emplace_back(name, rc);
      if (percent != nullptr) *percent = p;
      if (rc <= 0) break;
    }
    return out;
  }

  lumetra_test::ScopedTempDir dir_;
  lumetra_test::ScopedChdir chdir_;
  int lib_ = 0;
  std::set<int> files_;
  std::set<int> imports_;
};

}  // namespace capi_test

#endif  // LUMETRA_TESTS_SUPPORT_CAPI_FIXTURE_H
