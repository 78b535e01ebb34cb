// The fixture and helpers of the C interface tests (tests/capi): only the
// public headers and the C++ standard library, header-only, so that the
// tests see the library exactly as callers do.
#ifndef LUMETRA_TESTS_SUPPORT_CAPI_FIXTURE_H
#define LUMETRA_TESTS_SUPPORT_CAPI_FIXTURE_H

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/test_objects.h"

namespace capi_test {

using namespace test_objects;
using Bytes = std::vector<std::uint8_t>;

// Regions side by side (WEST, EAST), with a hole (DONUT), and with names
// sharing a prefix; a line and two points.
inline std::vector<TestObject> SampleShapes() {
  return {Region("WEST", {Box(0, 0, 100, 100)}),
          Region("EAST", {Box(100, 0, 200, 100)}),
          Region("DONUT", {Box(300, 0, 400, 100), Box(340, 40, 360, 60)}),
          Region("Springfield", {Box(500, 0, 600, 100)}),
          Region("SPRINGDALE", {Box(600, 0, 700, 100)}),
          Line("ROAD", {{{0, 150}, {400, 150}}}),
          Point("WELL", 250, 50),
          Point("springwell", 260, 50)};
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
class CapiTest : public LibraryTest {
 protected:
  void TearDown() override {
    for (int h : files_) EXPECT_EQ(pipObjectFileClose(h), 1) << "object file " << h;
    for (int h : files_) EXPECT_EQ(pipObjectFileClose(h), -1) << "object file " << h << " twice";
    for (int h : imports_) EXPECT_EQ(pipImportTerm(h, 0), 1) << "import " << h;
    LibraryTest::TearDown();
    std::vector<int> probes;
    for (int i = 0; i < 8; ++i) probes.push_back(pipInit(0, nullptr));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(probes[i], lib_ + i) << "a handle leaked";
    for (int h : probes) pipTerm(h);
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
    const LastError e(lib_);
    if (detail != nullptr) *detail = e.detail;
    return e.code;
  }
  std::string Detail() { return LastError(lib_).detail; }
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

  std::set<int> files_;
  std::set<int> imports_;
};

}  // namespace capi_test

#endif  // LUMETRA_TESTS_SUPPORT_CAPI_FIXTURE_H
