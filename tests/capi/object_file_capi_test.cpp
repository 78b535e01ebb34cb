// Object files as callers see them: files built with pipImportInit /
// pipImportInsert / pipImportTerm, then opened, queried and searched through
// the exported functions only.  Includes the corruption sweep: a real file
// with bytes flipped at many offsets, and truncated at many lengths, must
// open and search without crashing, hanging or reading outside the file.
#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

using lumetra_test::ReadBytes;
using lumetra_test::ScopedChdir;
using lumetra_test::ScopedTempDir;
using lumetra_test::WriteBytes;

using Bytes = std::vector<std::uint8_t>;
using Found = std::map<std::string, int>;

struct XY {
  int x;
  int y;
};
using Ring = std::vector<XY>;

struct Shape {
  int type = PIP_OBJECT_REGION;
  std::string name;
  std::vector<Ring> rings;  // regions and lines
  XY at{0, 0};              // points
};

Shape RegionOf(const std::string& name, std::vector<Ring> rings) {
  Shape s;
  s.name = name;
  s.rings = std::move(rings);
  return s;
}
Shape LineOf(const std::string& name, std::vector<Ring> pieces) {
  Shape s = RegionOf(name, std::move(pieces));
  s.type = PIP_OBJECT_LINE;
  return s;
}
Shape PointOf(const std::string& name, int x, int y) {
  Shape s;
  s.type = PIP_OBJECT_POINT;
  s.name = name;
  s.at = {x, y};
  return s;
}
Ring Box(int x0, int y0, int x1, int y1) { return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}; }

std::uint32_t U32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b.at(at)) | static_cast<std::uint32_t>(b.at(at + 1)) << 8 |
         static_cast<std::uint32_t>(b.at(at + 2)) << 16 |
         static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}
void PutU32(Bytes* b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b->at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v >> (8 * i));
}

// A library handle and a scratch directory per test; every object-file
// handle a test opens is closed by the fixture, which checks that each one
// was still open (nothing leaked, nothing closed twice).
class ObjectFileCapi : public ::testing::Test {
 protected:
  ObjectFileCapi() : chdir_(dir_.path()) {}
  void SetUp() override {
    lib_ = pipInit(0, nullptr);
    ASSERT_GT(lib_, 0);
  }
  void TearDown() override {
    for (int h : open_) EXPECT_EQ(pipObjectFileClose(h), 1) << "handle " << h;
    for (int h : open_) EXPECT_EQ(pipObjectFileClose(h), -1) << "handle " << h << " twice";
    EXPECT_EQ(pipTerm(lib_), 1);
  }

  std::string Path(const std::string& file) const { return dir_.File(file); }

  // Builds `file` from `shapes` with the given build flags and coordinate
  // type; extension texts when `ex` is set.
  void Build(const std::string& file, const std::vector<Shape>& shapes, int flags = 0,
             int coord_type = 0, bool ex = false, bool tax = false) {
    pipObjectFileInfoStruct info;
    std::memset(&info, 0, sizeof info);
    info.maxPoints = 100000;
    info.maxParts = 100;
    info.coordType = coord_type;
    info.flags = flags;
    int h = 0;
    int rc = 0;
    if (tax) {
      rc = pipImportTXBInit(lib_, Path(file).c_str(), &info, &h);
    } else if (ex) {
      rc = pipImportInitEx(lib_, Path(file).c_str(), &info, 12, "first text", "second", &h);
    } else {
      rc = pipImportInit(lib_, Path(file).c_str(), &info, &h);
    }
    ASSERT_EQ(rc, 1) << ErrorDetail();
    for (const Shape& s : shapes) {
      pipObjectInfoStruct o;
      std::memset(&o, 0, sizeof o);
      o.type = s.type;
      std::strncpy(o.name, s.name.c_str(), sizeof o.name - 1);
      std::vector<int> xy;
      std::vector<int> counts;
      for (const Ring& r : s.rings) {
        counts.push_back(static_cast<int>(r.size()));
        for (const XY& p : r) {
          xy.push_back(p.x);
          xy.push_back(p.y);
        }
      }
      if (s.type == PIP_OBJECT_POINT) {
        o.x = s.at.x;
        o.y = s.at.y;
      }
      ASSERT_EQ(pipImportInsert(h, &o, xy.data(), counts.data(), static_cast<int>(counts.size())),
                1)
          << s.name << ": " << ErrorDetail();
    }
    ASSERT_EQ(pipImportTerm(h, 1), 1) << ErrorDetail();
  }

  int Open(const std::string& file, int mode = 0) {
    int h = -5;
    const int rc = pipObjectFileOpen(lib_, Path(file).c_str(), mode, &h);
    if (rc != 1) {
      EXPECT_EQ(h, 0);
      return 0;
    }
    open_.insert(h);
    return h;
  }
  int Close(int h) {
    open_.erase(h);
    return pipObjectFileClose(h);
  }

  int ErrorCode(std::string* detail = nullptr) {
    char message[PIP_ERROR_TEXT_SIZE];
    char text[PIP_ERROR_TEXT_SIZE];
    const int code = pipErrorGet(lib_, message, text);
    if (detail != nullptr) *detail = text;
    return code;
  }
  std::string ErrorDetail() {
    std::string d;
    ErrorCode(&d);
    return d;
  }

  // Every answer of a containing search, by name.
  Found Containing(int h, int x, int y, int radius) {
    Found found;
    char name[PIP_NAME_SIZE];
    int r = pipObjectFindFirstContaining(h, x, y, radius, name, sizeof name);
    for (int guard = 0; r > 0 && guard < 10000; ++guard) {
      EXPECT_EQ(found.count(name), 0u) << name << " twice";
      found[name] = r;
      r = pipObjectFindNext(h, name, sizeof name);
    }
    EXPECT_EQ(r, 0) << ErrorDetail();
    return found;
  }

  ScopedTempDir dir_;
  ScopedChdir chdir_;
  int lib_ = 0;
  std::set<int> open_;
};

std::vector<Shape> Sample() {
  return {RegionOf("WEST", {Box(0, 0, 100, 100)}), RegionOf("EAST", {Box(100, 0, 200, 100)}),
          RegionOf("DONUT", {Box(300, 0, 400, 100), Box(340, 40, 360, 60)}),
          LineOf("ROAD", {{{0, 150}, {400, 150}}}), PointOf("WELL", 250, 50)};
}

// ---------------------------------------------------------------- queries

TEST_F(ObjectFileCapi, OpenQueryAndClose) {
  Build("s.obj", Sample(), PIP_FILE_SEGMENTS);
  pipObjectFileInfoStruct q;
  ASSERT_EQ(pipObjectFileQuery(lib_, Path("s.obj").c_str(), &q), 1);
  EXPECT_EQ(q.numRegionObjects, 3);
  EXPECT_EQ(q.numLineObjects, 1);
  EXPECT_EQ(q.numPointObjects, 1);
  EXPECT_EQ(q.flags, PIP_FILE_SEGMENTS);
  EXPECT_EQ(q.maxParts, 2);
  EXPECT_EQ(q.maxPoints, 8);
  EXPECT_EQ(q.minX, -1);
  EXPECT_EQ(q.maxX, 401);
  EXPECT_EQ(std::string(q.header).substr(0, 9), "Korvalune");

  const int h = Open("s.obj");
  ASSERT_GT(h, 0) << ErrorDetail();
  pipObjectFileInfoStruct hq;
  ASSERT_EQ(pipObjectHandleFileQuery(h, &hq), 1);
  EXPECT_EQ(std::memcmp(&q, &hq, sizeof q), 0);
  EXPECT_EQ(pipObjectGetSearchDistance(h), PIP_DEFAULT_SEARCH_DISTANCE);
  EXPECT_EQ(pipObjectIsTaxFile(h), -1);
  EXPECT_EQ(Close(h), 1);
  EXPECT_EQ(pipObjectFileClose(h), -1);
}

TEST_F(ObjectFileCapi, TaxFileIsReportedByQueryButNotByHandleQuery) {
  Build("t.obj", Sample(), 0, 0, false, true);
  pipObjectFileInfoStruct q;
  ASSERT_EQ(pipObjectFileQuery(lib_, Path("t.obj").c_str(), &q), 1);
  EXPECT_EQ(q.flags & PIP_FILE_TAX, PIP_FILE_TAX);
  const int h = Open("t.obj");
  ASSERT_GT(h, 0);
  EXPECT_EQ(pipObjectIsTaxFile(h), 1);
  ASSERT_EQ(pipObjectHandleFileQuery(h, &q), 1);
  EXPECT_EQ(q.flags & PIP_FILE_TAX, 0);
}

TEST_F(ObjectFileCapi, WrongMagicIsRefusedWithTheFileName) {
  Build("m.obj", Sample());
  Bytes b = ReadBytes(Path("m.obj"));
  PutU32(&b, 256, 0x7755CDCA);
  WriteBytes(Path("m.obj"), b);
  pipObjectFileInfoStruct q;
  EXPECT_EQ(pipObjectFileQuery(lib_, Path("m.obj").c_str(), &q), -1);
  std::string detail;
  EXPECT_EQ(ErrorCode(&detail), PIP_ERR_BAD_SIGNATURE);
  EXPECT_EQ(detail, Path("m.obj"));
  EXPECT_EQ(Open("m.obj"), 0);
  EXPECT_EQ(ErrorCode(&detail), PIP_ERR_BAD_SIGNATURE);
  EXPECT_EQ(detail, Path("m.obj"));
}

TEST_F(ObjectFileCapi, MissingAndShortFilesAreRefused) {
  pipObjectFileInfoStruct q;
  EXPECT_EQ(pipObjectFileQuery(lib_, Path("none.obj").c_str(), &q), -1);
  EXPECT_EQ(ErrorCode(), 2);
  EXPECT_EQ(Open("none.obj"), 0);
  WriteBytes(Path("short.obj"), Bytes(100, 0));
  EXPECT_EQ(pipObjectFileQuery(lib_, Path("short.obj").c_str(), &q), -1);
  std::string detail;
  EXPECT_EQ(ErrorCode(&detail), PIP_ERR_SHORT_READ);
  EXPECT_EQ(detail, Path("short.obj"));
  EXPECT_EQ(Open("short.obj"), 0);
}

TEST_F(ObjectFileCapi, BadArgumentsAndHandles) {
  pipObjectFileInfoStruct q;
  EXPECT_EQ(pipObjectFileQuery(lib_, nullptr, &q), -1);
  EXPECT_EQ(pipObjectFileQuery(lib_, Path("x").c_str(), nullptr), -1);
  EXPECT_EQ(pipObjectFileQuery(0, Path("x").c_str(), &q), -1);
  EXPECT_EQ(pipObjectFileQueryIntern(nullptr, Path("x").c_str(), &q), -1);
  EXPECT_EQ(pipObjectFileOpen(lib_, Path("x").c_str(), 0, nullptr), -1);
  EXPECT_EQ(pipObjectFileClose(0), -1);
  EXPECT_EQ(pipObjectFileClose(lib_), -1);  // a library handle is not an object file
  EXPECT_EQ(pipObjectFileCloseEx(nullptr), -1);
  EXPECT_EQ(pipObjectGetSearchDistance(12345), -1);
  EXPECT_EQ(pipPointInPoly(-3, 0, 0), -1);
  char name[8] = "keep";
  EXPECT_EQ(pipObjectFindFirstContaining(99, 0, 0, 0, name, sizeof name), -1);
  EXPECT_STREQ(name, "");
}

TEST_F(ObjectFileCapi, ExtensionBlockQuery) {
  Build("plain.obj", Sample());
  Build("ex.obj", Sample(), 0, 0, true);
  const int plain = Open("plain.obj");
  const int ex = Open("ex.obj");
  ASSERT_GT(plain, 0);
  ASSERT_GT(ex, 0);
  pipObjectFileExtraInfoStruct info;
  std::memset(&info, 0xAB, sizeof info);
  EXPECT_EQ(pipObjectHandleFileQueryEx(plain, &info), -1);
  const Bytes zeros(sizeof info, 0);
  EXPECT_EQ(std::memcmp(&info, zeros.data(), sizeof info), 0);
  ASSERT_EQ(pipObjectHandleFileQueryEx(ex, &info), 1);
  EXPECT_STREQ(info.text1, "first text");
  EXPECT_STREQ(info.text2, "second");
  EXPECT_EQ(std::strlen(info.creationTime), 24u);
  EXPECT_EQ(info.blockVersion, 12);
  EXPECT_EQ(info.code, 12);
  EXPECT_EQ(pipObjectHandleFileQueryEx(ex, nullptr), -1);
}

TEST_F(ObjectFileCapi, CloseExLeavesTheCallersVariable) {
  Build("s.obj", Sample());
  int h = Open("s.obj");
  ASSERT_GT(h, 0);
  const int copy = h;
  open_.erase(h);
  EXPECT_EQ(pipObjectFileCloseEx(&h), 1);
  EXPECT_EQ(h, copy);
  EXPECT_EQ(pipObjectFileCloseEx(&h), -1);
}

TEST_F(ObjectFileCapi, SearchDistanceIsClamped) {
  Build("s.obj", Sample());
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  EXPECT_EQ(pipObjectSetSearchDistance(h, 2737), -1);
  EXPECT_EQ(pipObjectGetSearchDistance(h), 2738);
  EXPECT_EQ(pipObjectSetSearchDistance(h, 36521358), 1);
  EXPECT_EQ(pipObjectGetSearchDistance(h), 36521358);
  EXPECT_EQ(pipObjectSetSearchDistance(h, 36521359), -1);
  EXPECT_EQ(pipObjectGetSearchDistance(h), 36521358);
  EXPECT_EQ(pipObjectSetSearchDistance(h, 50000), 1);
  EXPECT_EQ(pipObjectGetSearchDistance(h), 50000);
}

// ---------------------------------------------------------------- searches

TEST_F(ObjectFileCapi, ContainingSearchAnswers) {
  Build("s.obj", Sample(), PIP_FILE_SEGMENTS);
  const int h = Open("s.obj", PIP_OPEN_CACHE_5MB);
  ASSERT_GT(h, 0);
  EXPECT_EQ(Containing(h, 50, 50, 0), (Found{{"WEST", 1}}));
  EXPECT_EQ(Containing(h, 100, 50, 0), (Found{{"WEST", 1}, {"EAST", 1}}));
  EXPECT_EQ(Containing(h, 350, 50, 0), Found{});  // in the hole
  EXPECT_EQ(Containing(h, 350, 50, 12), (Found{{"DONUT", 2}}));
  EXPECT_EQ(Containing(h, 320, 50, 25), (Found{{"DONUT", 3}}));
  EXPECT_EQ(Containing(h, 250, 150, 0), Found{});  // lines never contain
  EXPECT_EQ(Containing(h, 250, 145, 6), (Found{{"ROAD", 2}}));
  EXPECT_EQ(Containing(h, 250, 55, 0), Found{});  // points need a radius
  EXPECT_EQ(Containing(h, 250, 55, 6), (Found{{"WELL", 2}}));
  EXPECT_EQ(Containing(h, 250, 55, 5), Found{});  // strictly closer only
}

TEST_F(ObjectFileCapi, FindCallOrderErrors) {
  Build("s.obj", Sample());
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  char name[PIP_NAME_SIZE];
  std::string detail;
  pipObjectInfoStruct info;
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), -1);
  EXPECT_EQ(ErrorCode(&detail), PIP_ERR_INVALID_DATA);
  EXPECT_EQ(detail, "FindNext called before FindFirst");
  EXPECT_EQ(pipObjectGetInfo(h, &info), -1);
  EXPECT_EQ(ErrorCode(&detail), PIP_ERR_GENERAL);
  EXPECT_EQ(detail, "Attempt to get object without find.");
  EXPECT_EQ(pipPointInPoly(h, 50, 50), -1);
  int low = 7, high = 9;
  EXPECT_EQ(pipObjectGetHandle64(h, &low, &high), -1);
  EXPECT_EQ(low, 7);
  EXPECT_EQ(pipObjectGetHandle(h), -1);
  EXPECT_EQ(pipObjectFileGoto(h, 536), -1);

  EXPECT_EQ(pipObjectFindFirstContaining(h, 5000, 5000, 0, name, sizeof name), 0);
  EXPECT_EQ(pipObjectGetInfo(h, &info), -1);
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), -1);
  EXPECT_EQ(ErrorCode(&detail), PIP_ERR_GENERAL);
  EXPECT_EQ(detail, "Invalid Function call after pipFindFirst returned PIP_NOT_FOUND.\n");

  EXPECT_EQ(pipObjectFindFirstContaining(h, 50, 50, 10, name, sizeof name), -1);
  EXPECT_EQ(ErrorCode(&detail), PIP_ERR_INVALID_DATA);
  EXPECT_EQ(detail, "Non-Zero radius used but objects do not have buffers.\n");
  EXPECT_EQ(pipObjectFindFirstContaining(h, 50, 50, 0, name, sizeof name), 1);
  EXPECT_STREQ(name, "WEST");
}

TEST_F(ObjectFileCapi, NameBuffers) {
  std::vector<Shape> shapes = Sample();
  shapes[0].name = "WESTERN REGION";
  Build("s.obj", shapes);
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  char buf[32];
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(pipObjectFindFirstContaining(h, 50, 50, 0, buf, 0), 1);
  EXPECT_EQ(buf[0], 'x');  // length 0: nothing written
  EXPECT_EQ(pipObjectFindFirstContaining(h, 50, 50, 0, buf, 1), 1);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(buf[1], 'x');
  EXPECT_EQ(pipObjectFindFirstContaining(h, 50, 50, 0, buf, 5), 1);
  EXPECT_STREQ(buf, "WEST");
  EXPECT_EQ(buf[5], 'x');
  EXPECT_EQ(pipObjectFindFirstContaining(h, 50, 50, 0, buf, sizeof buf), 1);
  EXPECT_STREQ(buf, "WESTERN REGION");
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(pipObjectFindFirstContaining(h, 50, 50, 0, buf, -1), -1);
  EXPECT_EQ(buf[0], 'x');
  EXPECT_EQ(pipObjectFindFirstContaining(h, 50, 50, 0, nullptr, 10), 1);
  EXPECT_EQ(pipObjectFindNext(h, buf, 0), 0);
  EXPECT_EQ(buf[0], 'x');
}

TEST_F(ObjectFileCapi, ObjectHandlesGotoInfoAndPointInPoly) {
  Build("s.obj", Sample(), PIP_FILE_SEGMENTS | PIP_FILE_COMPRESSED);
  const int h = Open("s.obj");
  ASSERT_GT(h, 0);
  char name[PIP_NAME_SIZE];
  ASSERT_EQ(pipObjectFindFirstContaining(h, 50, 50, 0, name, sizeof name), 1);
  int west_low = 0, west_high = -1;
  ASSERT_EQ(pipObjectGetHandle64(h, &west_low, &west_high), 1);
  EXPECT_EQ(west_high, 0);
  EXPECT_EQ(pipObjectGetHandle(h), west_low);
  EXPECT_EQ(pipPointInPoly(h, 10, 10), 1);
  EXPECT_EQ(pipPointInPoly(h, 100, 10), 1);  // on the boundary
  EXPECT_EQ(pipPointInPoly(h, 150, 10), 0);

  ASSERT_EQ(pipObjectFindFirstContaining(h, 250, 145, 6, name, sizeof name), 2);
  EXPECT_STREQ(name, "ROAD");
  EXPECT_EQ(pipPointInPoly(h, 250, 150), 0);  // a line contains nothing
  pipObjectInfoStruct info;
  ASSERT_EQ(pipObjectGetInfo(h, &info), 1);
  EXPECT_EQ(info.type, PIP_OBJECT_LINE);
  EXPECT_STREQ(info.name, "ROAD");

  ASSERT_EQ(pipObjectFileGoto64(h, west_low, west_high), 1);
  ASSERT_EQ(pipObjectGetInfo(h, &info), 1);
  EXPECT_STREQ(info.name, "WEST");
  EXPECT_EQ(info.type, PIP_OBJECT_REGION);
  EXPECT_EQ(info.minX, -1);
  EXPECT_EQ(info.maxY, 101);
  EXPECT_EQ(pipPointInPoly(h, 10, 10), 1);
  EXPECT_EQ(pipObjectFileGoto(h, west_low), 1);

  // Positions that name no record.
  EXPECT_EQ(pipObjectFileGoto64(h, west_low, 1), -1);
  EXPECT_EQ(pipObjectFileGoto(h, 3), -1);
  EXPECT_EQ(pipObjectGetInfo(h, &info), -1);
}

// ---------------------------------------------------------------- brute force

struct Pt {
  int x, y;
};

bool EvenOdd(const std::vector<Ring>& rings, long long px, long long py) {
  int count = 0;
  for (const Ring& r : rings) {
    for (std::size_t i = 0; i < r.size(); ++i) {
      const XY& a = r[i];
      const XY& b = r[(i + 1) % r.size()];
      if ((a.y > py) == (b.y > py)) continue;
      const long long dy = static_cast<long long>(b.y) - a.y;
      const long long lhs = (py - a.y) * (static_cast<long long>(b.x) - a.x);
      const long long rhs = (px - a.x) * dy;
      if (dy > 0 ? lhs < rhs : lhs > rhs) ++count;
    }
  }
  return (count & 1) != 0;
}

// Distance to the nearest edge, and whether the point lies within half a
// unit of one (where the inside answer is the boundary rule's).
double EdgeDistance(const Shape& s, int x, int y) {
  double best = 1e300;
  for (const Ring& r : s.rings) {
    const std::size_t edges = s.type == PIP_OBJECT_REGION ? r.size() : r.size() - 1;
    for (std::size_t i = 0; i < edges; ++i) {
      const XY& a = r[i];
      const XY& b = r[(i + 1) % r.size()];
      const double dx = b.x - a.x, dy = b.y - a.y;
      const double len2 = dx * dx + dy * dy;
      double t = len2 > 0 ? ((x - a.x) * dx + (y - a.y) * dy) / len2 : 0;
      t = std::max(0.0, std::min(1.0, t));
      best = std::min(best, std::hypot(a.x + t * dx - x, a.y + t * dy - y));
    }
  }
  return best;
}

std::vector<Shape> RandomShapes(std::mt19937& rng) {
  std::uniform_int_distribution<int> at(0, 2000);
  std::uniform_int_distribution<int> corners(3, 10);
  std::uniform_int_distribution<int> reach(40, 300);
  std::vector<Shape> shapes;
  for (int i = 0; i < 30; ++i) {
    const int cx = at(rng), cy = at(rng), n = corners(rng);
    Ring ring;
    for (int k = 0; k < n; ++k) {
      const double a = 2 * M_PI * k / n;
      const int r = reach(rng);
      ring.push_back({cx + static_cast<int>(std::lround(r * std::cos(a))),
                      cy + static_cast<int>(std::lround(r * std::sin(a)))});
    }
    std::vector<Ring> rings{ring};
    if (i % 4 == 0) rings.push_back(Box(cx - 15, cy - 15, cx + 15, cy + 15));
    shapes.push_back(RegionOf("R" + std::to_string(i), rings));
  }
  for (int i = 0; i < 6; ++i) {
    shapes.push_back(LineOf("L" + std::to_string(i),
                            {{{at(rng), at(rng)}, {at(rng), at(rng)}, {at(rng), at(rng)}}}));
  }
  for (int i = 0; i < 10; ++i) shapes.push_back(PointOf("P" + std::to_string(i), at(rng), at(rng)));
  return shapes;
}

TEST_F(ObjectFileCapi, SearchesMatchBruteForceOnPlainAndCompressedFiles) {
  const unsigned seed = 4242;
  std::mt19937 rng(seed);
  const std::vector<Shape> shapes = RandomShapes(rng);
  Build("plain.obj", shapes, PIP_FILE_SEGMENTS);
  Build("packed.obj", shapes, PIP_FILE_SEGMENTS | PIP_FILE_COMPRESSED);
  const int plain = Open("plain.obj", PIP_OPEN_CACHE_5MB);
  const int packed = Open("packed.obj");
  ASSERT_GT(plain, 0);
  ASSERT_GT(packed, 0);
  std::uniform_int_distribution<int> at(-100, 2100);
  std::uniform_int_distribution<int> radius(0, 80);
  int decided = 0;
  int hits = 0;
  for (int q = 0; q < 300; ++q) {
    const int x = at(rng), y = at(rng);
    const int r = q % 2 == 0 ? 0 : radius(rng);
    const Found got = Containing(plain, x, y, r);
    EXPECT_EQ(Containing(packed, x, y, r), got) << "seed " << seed;
    bool clear = true;
    Found expected;
    for (const Shape& s : shapes) {
      int code = 0;
      if (s.type == PIP_OBJECT_POINT) {
        if (r > 0 && pipDistance(x, y, s.at.x, s.at.y, 0, nullptr) < r) code = 2;
      } else {
        const double d = EdgeDistance(s, x, y);
        if (d < 0.75 || (r > 0 && std::fabs(d - r) < 2.0)) clear = false;
        if (s.type == PIP_OBJECT_REGION && EvenOdd(s.rings, x, y)) code |= 1;
        if (r > 0 && d < r) code |= 2;
      }
      if (code != 0) expected[s.name] = code;
    }
    if (!clear) continue;
    ++decided;
    hits += static_cast<int>(got.size());
    EXPECT_EQ(got, expected) << "seed " << seed << " point " << x << "," << y << " radius " << r;
  }
  EXPECT_GT(decided, 150);
  EXPECT_GT(hits, 100);
}

// ---------------------------------------------------------------- hostile files

// Opens one variant and runs a fixed series of calls; every answer must be
// a documented status.  Returns whether the file opened.
bool Exercise(int lib, const std::string& path) {
  int h = 0;
  if (pipObjectFileOpen(lib, path.c_str(), PIP_OPEN_CACHE_5MB, &h) != 1) {
    EXPECT_EQ(h, 0);
    return false;
  }
  const Pt points[] = {{50, 50}, {100, 50}, {350, 50}, {250, 147}};
  char name[PIP_NAME_SIZE];
  pipObjectInfoStruct info;
  for (const Pt& p : points) {
    for (const int radius : {0, 30}) {
      int r = pipObjectFindFirstContaining(h, p.x, p.y, radius, name, sizeof name);
      for (int guard = 0; r > 0; ++guard) {
        EXPECT_LE(r, 3);
        EXPECT_LT(std::strlen(name), sizeof name);
        EXPECT_EQ(pipObjectGetInfo(h, &info), 1);
        const int pip = pipPointInPoly(h, p.x, p.y);
        EXPECT_TRUE(pip == 0 || pip == 1);
        int low = 0, high = 0;
        EXPECT_EQ(pipObjectGetHandle64(h, &low, &high), 1);
        EXPECT_EQ(pipObjectFileGoto64(h, low, high), 1);
        if (guard > 1000) {
          ADD_FAILURE() << "endless search in " << path;
          break;
        }
        r = pipObjectFindNext(h, name, sizeof name);
      }
      EXPECT_GE(r, -1);
    }
  }
  pipObjectFileInfoStruct q;
  EXPECT_EQ(pipObjectHandleFileQuery(h, &q), 1);
  EXPECT_EQ(pipObjectFileClose(h), 1);
  return true;
}

// Offsets worth flipping: every byte of the header's fields and of the
// first records, the first bytes of each index's root page, and a stride
// through the rest of the file.
std::vector<std::size_t> FlipOffsets(const Bytes& file, std::size_t stride) {
  std::set<std::size_t> at;
  for (std::size_t i = 0; i < 256; i += 32) at.insert(i);
  for (std::size_t i = 256; i < 346 && i < file.size(); ++i) at.insert(i);
  for (std::size_t i = 536; i < 800 && i < file.size(); ++i) at.insert(i);
  for (std::size_t i = 800; i < file.size(); i += stride) at.insert(i);
  const std::size_t roots[] = {U32(file, 260), U32(file, 264)};
  for (std::size_t root : roots) {
    for (std::size_t i = root; i < root + 48 && i < file.size(); ++i) at.insert(i);
  }
  return {at.begin(), at.end()};
}

// Changes one byte of a file in place.
void PokeByte(const std::string& path, std::size_t offset, std::uint8_t value) {
  std::FILE* f = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fseek(f, static_cast<long>(offset), SEEK_SET), 0);
  ASSERT_EQ(std::fputc(value, f), value);
  ASSERT_EQ(std::fclose(f), 0);
}

TEST_F(ObjectFileCapi, CorruptFilesNeverCrashOrHang) {
  const auto start = std::chrono::steady_clock::now();
  for (const int flags : {PIP_FILE_SEGMENTS | PIP_FILE_COMPRESSED, PIP_FILE_SEGMENTS}) {
    std::vector<Shape> shapes = Sample();
    // One larger region so that compressed columns have checkpoints.
    Ring big;
    for (int i = 0; i < 300; ++i) {
      const double a = 2 * M_PI * i / 300;
      big.push_back({600 + static_cast<int>(std::lround(90 * std::cos(a))),
                     50 + static_cast<int>(std::lround(90 * std::sin(a)))});
    }
    shapes.push_back(RegionOf("ROUND", {big}));
    Build("good.obj", shapes, flags);
    const Bytes good = ReadBytes(Path("good.obj"));
    ASSERT_TRUE(Exercise(lib_, Path("good.obj")));

    const unsigned seed = 1234;
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> bits(1, 255);
    int opened = 0;
    // The stride samples the records and index pages of the compressed file
    // only; the plain file differs from it in its records alone.
    const std::vector<std::size_t> offsets =
        FlipOffsets(good, (flags & PIP_FILE_COMPRESSED) != 0 ? 401 : good.size());
    WriteBytes(Path("bad.obj"), good);
    for (std::size_t offset : offsets) {
      const auto flipped = static_cast<std::uint8_t>(good[offset] ^ bits(rng));
      PokeByte(Path("bad.obj"), offset, flipped);
      SCOPED_TRACE("flags " + std::to_string(flags) + " byte " + std::to_string(offset) +
                   " value " + std::to_string(flipped) + " seed " + std::to_string(seed));
      opened += Exercise(lib_, Path("bad.obj")) ? 1 : 0;
      PokeByte(Path("bad.obj"), offset, good[offset]);
    }
    EXPECT_GT(opened, static_cast<int>(offsets.size() / 2));

    for (std::size_t length = 0; length < good.size(); length += good.size() / 61 + 1) {
      WriteBytes(Path("cut.obj"), Bytes(good.begin(), good.begin() + static_cast<long>(length)));
      SCOPED_TRACE("cut at " + std::to_string(length));
      Exercise(lib_, Path("cut.obj"));
    }
    for (std::size_t length :
         {std::size_t{535}, std::size_t{536}, std::size_t{700}, good.size() - 1}) {
      WriteBytes(Path("cut.obj"), Bytes(good.begin(), good.begin() + static_cast<long>(length)));
      SCOPED_TRACE("cut at " + std::to_string(length));
      Exercise(lib_, Path("cut.obj"));
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  RecordProperty("seconds", std::to_string(seconds));
  EXPECT_LT(seconds, 30.0);
}

}  // namespace
