// The import as callers see it: object files built through pipImportInit,
// pipImportInsert and pipImportTerm, checked byte by byte against the
// documented layout (the bytes are decoded here from their offsets, not
// through the library's own decoders).
#include <gtest/gtest.h>
#include <lumetra/pip.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "support/test_files.h"

namespace {

using lumetra_test::FileExists;
using lumetra_test::ReadBytes;
using lumetra_test::ScopedChdir;
using lumetra_test::ScopedTempDir;

using Bytes = std::vector<std::uint8_t>;

std::uint32_t U32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b.at(at)) | static_cast<std::uint32_t>(b.at(at + 1)) << 8 |
         static_cast<std::uint32_t>(b.at(at + 2)) << 16 |
         static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}
std::int32_t I32(const Bytes& b, std::size_t at) { return static_cast<std::int32_t>(U32(b, at)); }
std::uint16_t U16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}
std::uint64_t U64(const Bytes& b, std::size_t at) {
  return U32(b, at) | static_cast<std::uint64_t>(U32(b, at + 4)) << 32;
}
std::string Text(const Bytes& b, std::size_t at, std::size_t size) {
  return std::string(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + size));
}
bool AllZero(const Bytes& b, std::size_t at, std::size_t size) {
  for (std::size_t i = at; i < at + size; ++i) {
    if (b.at(i) != 0) return false;
  }
  return true;
}

pipObjectFileInfoStruct Info(int max_points, int max_parts, int coord_type, int flags) {
  pipObjectFileInfoStruct info;
  std::memset(&info, 0, sizeof info);
  info.maxPoints = max_points;
  info.maxParts = max_parts;
  info.coordType = coord_type;
  info.flags = flags;
  return info;
}

pipObjectInfoStruct Object(int type, const char* name, const char* name2) {
  pipObjectInfoStruct o;
  std::memset(&o, 0, sizeof o);
  o.type = type;
  std::strncpy(o.name, name, sizeof o.name - 1);
  std::strncpy(o.name2, name2, sizeof o.name2 - 1);
  return o;
}

// Every test gets a library handle, a scratch directory (which the name
// index builder also uses for its scratch files) and checks that it closed
// every import handle it opened.
class ImportCapi : public ::testing::Test {
 protected:
  ImportCapi() : chdir_(dir_.path()) {}
  void SetUp() override {
    lib_ = pipInit(0, nullptr);
    ASSERT_GT(lib_, 0);
  }
  void TearDown() override {
    for (int h : open_) EXPECT_EQ(pipImportTerm(h, 0), -1) << "import handle " << h << " leaked";
    EXPECT_EQ(pipTerm(lib_), 1);
  }

  int Init(const std::string& file, const pipObjectFileInfoStruct& info) {
    int h = -7;
    const int rc = pipImportInit(lib_, dir_.File(file).c_str(), &info, &h);
    if (rc == 1) open_.insert(h);
    return rc == 1 ? h : 0;
  }
  int Term(int h, int commit) {
    open_.erase(h);
    return pipImportTerm(h, commit);
  }
  int ErrorCode(std::string* detail = nullptr) {
    char message[PIP_ERROR_TEXT_SIZE];
    char text[PIP_ERROR_TEXT_SIZE];
    const int code = pipErrorGet(lib_, message, text);
    if (detail != nullptr) *detail = text;
    return code;
  }
  std::string Path(const std::string& file) const { return dir_.File(file); }

  ScopedTempDir dir_;
  ScopedChdir chdir_;
  int lib_ = 0;
  std::set<int> open_;
};

// Three objects -- a region closed by a copy of its first point, a line of
// two parts whose first part returns to its start, and a point -- checked at
// every documented offset.
TEST_F(ImportCapi, SmallFileIsLaidOutByteForByte) {
  const int h = Init("small.obj", Info(100, 10, 1, 0));
  ASSERT_GT(h, 0);

  pipObjectInfoStruct region = Object(PIP_OBJECT_REGION, "AB", "C");
  region.id = 0x1234;
  region.penWidth = 2;
  region.penPattern = 3;
  region.penColor = 77;
  region.brushPattern = 4;
  region.brushForeground = 5;
  region.brushBackground = 6;
  const int region_xy[] = {1000, 2000, 3000, 2000, 3000, 4000, 1000, 2000};
  const int region_counts[] = {4};
  ASSERT_EQ(pipImportInsert(h, &region, region_xy, region_counts, 1), 1);
  EXPECT_EQ(region.penColor, 1);

  pipObjectInfoStruct line = Object(PIP_OBJECT_LINE, "L", "");
  line.x = 3;
  line.y = 4;
  line.penColor = 99;
  line.brushPattern = 8;
  line.brushForeground = 9;
  const int line_xy[] = {0, 0, 5, 5, 0, 0, 7, 7, 8, 9};
  const int line_counts[] = {3, 2};
  ASSERT_EQ(pipImportInsert(h, &line, line_xy, line_counts, 2), 1);
  EXPECT_EQ(line.penColor, 2);

  pipObjectInfoStruct point = Object(PIP_OBJECT_POINT, "P", "  second \t");
  point.x = -5;
  point.y = -6;
  point.penPattern = 7;  // symbol shape
  point.penWidth = 8;    // symbol size
  point.penColor = 1000;
  point.id = 0x1FF;
  ASSERT_EQ(pipImportInsert(h, &point, nullptr, nullptr, 0), 1);
  EXPECT_EQ(point.penColor, 3);  // the third object carries colour 3
  ASSERT_EQ(Term(h, 1), 1);

  const Bytes b = ReadBytes(Path("small.obj"));
  ASSERT_GE(b.size(), 536u);
  // Header.
  const std::string signature = "Korvalune\r\nGeographic object file.\r\n\x1A";
  EXPECT_EQ(Text(b, 0, signature.size()), signature);
  EXPECT_TRUE(AllZero(b, signature.size(), 256 - signature.size()));
  EXPECT_EQ(U32(b, 256), 0x7755CDCBu);
  EXPECT_EQ(U32(b, 268), 132u);  // the line's record is the largest
  EXPECT_EQ(U32(b, 272), 5u);    // the line's 5 points
  EXPECT_TRUE(AllZero(b, 276, 8));
  EXPECT_EQ(U16(b, 284), 1);
  EXPECT_EQ(U16(b, 286), 0x0008);
  EXPECT_EQ(U32(b, 288), 2u);
  EXPECT_EQ(U32(b, 292), 1u);
  EXPECT_EQ(U32(b, 296), 1u);
  EXPECT_EQ(U32(b, 300), 1u);
  EXPECT_EQ(I32(b, 304), -5);
  EXPECT_EQ(I32(b, 308), -6);
  EXPECT_EQ(I32(b, 312), 3001);
  EXPECT_EQ(I32(b, 316), 4001);
  EXPECT_EQ(U16(b, 320), 0);
  EXPECT_EQ(U16(b, 322), 0);
  EXPECT_TRUE(AllZero(b, 324, 536 - 324));

  // Region record at 536: the closing copy of the first point is dropped.
  const std::size_t r = 536;
  EXPECT_EQ(b[r + 0], 0);
  EXPECT_EQ(b[r + 1], 0x34);
  EXPECT_EQ(U16(b, r + 2), 0);
  EXPECT_EQ(U32(b, r + 4), 80u + 8 + 4 + 3 * 8);
  EXPECT_EQ(U32(b, r + 8), 1u);
  EXPECT_EQ(U32(b, r + 12), 3u);
  EXPECT_EQ(U32(b, r + 16), 0u);
  EXPECT_EQ(U32(b, r + 20), 88u);
  EXPECT_EQ(U32(b, r + 24), 92u);
  EXPECT_TRUE(AllZero(b, r + 28, 8));
  EXPECT_EQ(b[r + 36], 2);
  EXPECT_EQ(b[r + 37], 3);
  EXPECT_EQ(b[r + 38], 0x08);
  EXPECT_EQ(b[r + 39], 0);
  EXPECT_EQ(I32(b, r + 40), 2000);  // label (0, 0) -> centre of the grown rectangle
  EXPECT_EQ(I32(b, r + 44), 3000);
  EXPECT_EQ(U32(b, r + 48), 1u);
  EXPECT_EQ(U32(b, r + 52), 5u);
  EXPECT_EQ(U32(b, r + 56), 6u);
  EXPECT_EQ(U32(b, r + 60), 4u);
  EXPECT_EQ(I32(b, r + 64), 999);
  EXPECT_EQ(I32(b, r + 68), 1999);
  EXPECT_EQ(I32(b, r + 72), 3001);
  EXPECT_EQ(I32(b, r + 76), 4001);
  EXPECT_EQ(Text(b, r + 80, 8), std::string("AB\0C\0\0\0\0", 8));
  EXPECT_EQ(U32(b, r + 88), 3u);
  const int region_stored[] = {1000, 2000, 3000, 2000, 3000, 4000};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(I32(b, r + 92 + 4 * i), region_stored[i]) << i;

  // Line record at 652: every point kept, no brush, the given label.
  const std::size_t l = r + 116;
  EXPECT_EQ(b[l + 0], 1);
  EXPECT_EQ(b[l + 1], 0);
  EXPECT_EQ(U32(b, l + 4), 80u + 4 + 2 * 4 + 5 * 8);
  EXPECT_EQ(U32(b, l + 8), 2u);
  EXPECT_EQ(U32(b, l + 12), 5u);
  EXPECT_EQ(U32(b, l + 20), 84u);
  EXPECT_EQ(U32(b, l + 24), 92u);
  EXPECT_EQ(b[l + 38], 0x08);
  EXPECT_EQ(I32(b, l + 40), 3);
  EXPECT_EQ(I32(b, l + 44), 4);
  EXPECT_EQ(U32(b, l + 48), 2u);
  EXPECT_TRUE(AllZero(b, l + 52, 12));
  EXPECT_EQ(I32(b, l + 64), -1);
  EXPECT_EQ(I32(b, l + 68), -1);
  EXPECT_EQ(I32(b, l + 72), 9);
  EXPECT_EQ(I32(b, l + 76), 10);
  EXPECT_EQ(Text(b, l + 80, 4), std::string("L\0\0\0", 4));
  EXPECT_EQ(U32(b, l + 84), 3u);
  EXPECT_EQ(U32(b, l + 88), 2u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(I32(b, l + 92 + 4 * i), line_xy[i]) << i;

  // Point record at 784: 24 bytes and the names block, second name trimmed.
  const std::size_t p = l + 132;
  EXPECT_EQ(b[p + 0], 2);
  EXPECT_EQ(b[p + 1], 0xFF);
  EXPECT_EQ(U32(b, p + 4), 24u + 12);
  EXPECT_EQ(I32(b, p + 8), -5);
  EXPECT_EQ(I32(b, p + 12), -6);
  EXPECT_EQ(U32(b, p + 16), 3u);
  EXPECT_EQ(b[p + 20], 8);
  EXPECT_EQ(b[p + 21], 7);
  EXPECT_EQ(U16(b, p + 22), 0);
  EXPECT_EQ(Text(b, p + 24, 12), std::string("P\0second\0\0\0\0", 12));

  // The name index: one leaf page at the first 1024-byte boundary behind
  // the records, its keys the names blocks' first 8 bytes.
  const std::uint32_t tree = U32(b, 260);
  EXPECT_EQ(tree, 1024u);
  ASSERT_GE(b.size(), tree + 1024u);
  EXPECT_EQ(U16(b, tree + 0), 3);
  EXPECT_EQ(U16(b, tree + 2), 1024);
  EXPECT_EQ(b[tree + 8], 8);
  EXPECT_EQ(b[tree + 9], 8);
  std::map<std::string, std::uint64_t> keys;
  for (std::size_t i = 0; i < 3; ++i) {
    keys[Text(b, tree + 12 + 16 * i, 8)] = U64(b, tree + 20 + 16 * i);
  }
  EXPECT_EQ(keys[std::string("AB\0C\0\0\0\0", 8)], r);
  EXPECT_EQ(keys[std::string("L\0\0\0\0\0\0\0", 8)], l);
  EXPECT_EQ(keys[std::string("P\0second", 8)], p);

  // The R-tree: a single root leaf at the next 32768-byte boundary.
  const std::uint32_t rtree = U32(b, 264);
  EXPECT_EQ(rtree, 32768u);
  ASSERT_EQ(b.size(), rtree + 32768u);
  EXPECT_EQ(U16(b, rtree + 0), 3);
  EXPECT_EQ(U16(b, rtree + 2), 0x0005);
  EXPECT_EQ(U16(b, rtree + 4), 0x8000);
  EXPECT_EQ(U16(b, rtree + 6), 0);
  using Entry = std::tuple<int, int, int, int, std::uint64_t>;
  std::set<Entry> entries;
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t e = rtree + 24 + 24 * i;
    entries.insert(Entry{I32(b, e), I32(b, e + 4), I32(b, e + 8), I32(b, e + 12), U64(b, e + 16)});
  }
  const std::set<Entry> expected = {Entry{999, 1999, 3001, 4001, r}, Entry{-1, -1, 9, 10, l},
                                    Entry{-5, -6, -5, -6, p}};
  EXPECT_EQ(entries, expected);
}

TEST_F(ImportCapi, EmptyFileKeepsTheEmptyBoxAndZeroCounts) {
  const int h = Init("empty.obj", Info(10, 10, 0, 0));
  ASSERT_GT(h, 0);
  ASSERT_EQ(Term(h, 1), 1);
  const Bytes b = ReadBytes(Path("empty.obj"));
  ASSERT_GE(b.size(), 536u);
  EXPECT_EQ(U32(b, 292) + U32(b, 296) + U32(b, 300), 0u);
  EXPECT_EQ(U32(b, 304), 0x7FFFFFFFu);
  EXPECT_EQ(U32(b, 308), 0x7FFFFFFFu);
  EXPECT_EQ(U32(b, 312), 0x80000000u);
  EXPECT_EQ(U32(b, 316), 0x80000000u);
}

TEST_F(ImportCapi, LimitsAtTheirMaximaAreAccepted) {
  const int h = Init("max.obj", Info(55000000, 16383, 1, 0));
  EXPECT_GT(h, 0);
  if (h > 0) {
    EXPECT_EQ(Term(h, 0), 1);
  }
  EXPECT_FALSE(FileExists(Path("max.obj")));
}

TEST_F(ImportCapi, LimitsBeyondTheMaximaAreRefusedWith106) {
  const struct {
    int points;
    int parts;
  } rows[] = {{55000001, 16383}, {55000000, 16384}, {55000001, 16384}};
  for (const auto& row : rows) {
    const pipObjectFileInfoStruct info = Info(row.points, row.parts, 1, 0);
    int h = -7;
    EXPECT_EQ(pipImportInit(lib_, Path("refused.obj").c_str(), &info, &h), -1);
    EXPECT_EQ(h, 0);
    std::string detail;
    EXPECT_EQ(ErrorCode(&detail), 106) << row.points << " " << row.parts;
    EXPECT_EQ(detail, "Parameter out of range.  PointLimit = 55000000, PolygonLimit = 16383.");
    EXPECT_FALSE(FileExists(Path("refused.obj")));
  }
}

TEST_F(ImportCapi, RefusedObjectsAreNotWrittenAndTheBuildGoesOn) {
  const int h = Init("refuse.obj", Info(3, 2, 0, 0));
  ASSERT_GT(h, 0);
  const int xy[] = {0, 0, 1, 1, 2, 0, 5, 5, 6, 6, 7, 5};
  struct Row {
    int type;
    std::vector<int> counts;
    const char* message;
  };
  const Row rows[] = {
      {PIP_OBJECT_REGION, {4}, "Too many points."},
      {PIP_OBJECT_LINE, {1, 1, 1}, "Too many polygons."},
      {7, {}, "Invalid object type."},
  };
  for (const Row& row : rows) {
    pipObjectInfoStruct o = Object(row.type, "bad", "");
    EXPECT_EQ(pipImportInsert(h, &o, xy, row.counts.data(), static_cast<int>(row.counts.size())),
              -1);
    std::string detail;
    EXPECT_EQ(ErrorCode(&detail), 100);
    EXPECT_EQ(detail, row.message);
  }
  pipObjectInfoStruct good = Object(PIP_OBJECT_REGION, "good", "");
  const int counts[] = {3};
  ASSERT_EQ(pipImportInsert(h, &good, xy, counts, 1), 1);
  // The refused objects used up ordinals 1 to 3.
  EXPECT_EQ(good.penColor, 4);
  ASSERT_EQ(Term(h, 1), 1);
  const Bytes b = ReadBytes(Path("refuse.obj"));
  EXPECT_EQ(U32(b, 292) + U32(b, 296) + U32(b, 300), 1u);
  EXPECT_EQ(Text(b, 536 + 80, 5), std::string("good\0", 5));
}

TEST_F(ImportCapi, TaxFileRoundsCoordinatesAndCarriesTheTaxMagic) {
  pipObjectFileInfoStruct info = Info(10, 2, 1, 0);
  int h = 0;
  ASSERT_EQ(pipImportTXBInit(lib_, Path("tax.obj").c_str(), &info, &h), 1);
  open_.insert(h);
  EXPECT_STREQ(info.header, "Korvalune\r\nTax Boundary File");
  EXPECT_EQ(info.flags & PIP_FILE_TAX, PIP_FILE_TAX);

  pipObjectInfoStruct point = Object(PIP_OBJECT_POINT, "pt", "");
  point.x = 123450;
  point.y = -123449;
  ASSERT_EQ(pipImportInsert(h, &point, nullptr, nullptr, 0), 1);
  EXPECT_EQ(point.x, 123500);  // rounded in the caller's record
  EXPECT_EQ(point.y, -123400);
  pipObjectInfoStruct line = Object(PIP_OBJECT_LINE, "ln", "");
  const int xy[] = {123450, -123449, -150, 149};
  const int counts[] = {2};
  ASSERT_EQ(pipImportInsert(h, &line, xy, counts, 1), 1);
  EXPECT_EQ(xy[0], 123450);  // the caller's points are only read
  ASSERT_EQ(Term(h, 1), 1);

  const Bytes b = ReadBytes(Path("tax.obj"));
  const std::string text = "Korvalune\r\nTax Boundary File";
  EXPECT_EQ(Text(b, 0, text.size() + 1), text + std::string(1, '\0'));
  EXPECT_EQ(U32(b, 256), 0x8755CDCBu);
  EXPECT_EQ(U16(b, 286), 0x0018);
  const std::size_t point_at = 536;
  EXPECT_EQ(I32(b, point_at + 8), 123500);
  EXPECT_EQ(I32(b, point_at + 12), -123400);
  const std::size_t line_at = point_at + U32(b, point_at + 4);
  const std::size_t coords = line_at + U32(b, line_at + 24);
  const int stored[] = {123500, -123400, -200, 100};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(I32(b, coords + 4 * i), stored[i]) << i;
}

TEST_F(ImportCapi, CallerTextReplacesTheSignature) {
  pipObjectFileInfoStruct info = Info(10, 2, 1, 0);
  std::memset(info.header, 'x', sizeof info.header);  // 256 bytes, no terminator
  const int h = Init("text.obj", info);
  ASSERT_GT(h, 0);
  ASSERT_EQ(Term(h, 1), 1);
  const Bytes b = ReadBytes(Path("text.obj"));
  EXPECT_EQ(Text(b, 0, 255), std::string(255, 'x'));
  EXPECT_EQ(b[255], 0);
}

TEST_F(ImportCapi, ExtendedInitWritesTheExtensionBlock) {
  const pipObjectFileInfoStruct info = Info(10, 2, 1, 0);
  int h = 0;
  const std::string long_text(300, 'a');
  ASSERT_EQ(pipImportInitEx(lib_, Path("ext.obj").c_str(), &info, static_cast<short>(-2),
                            long_text.c_str(), "second text", &h),
            1);
  open_.insert(h);
  pipObjectInfoStruct point = Object(PIP_OBJECT_POINT, "pt", "");
  ASSERT_EQ(pipImportInsert(h, &point, nullptr, nullptr, 0), 1);
  ASSERT_EQ(Term(h, 1), 1);

  const Bytes b = ReadBytes(Path("ext.obj"));
  EXPECT_EQ(U16(b, 320), 1);
  EXPECT_EQ(Text(b, 536, 256), std::string(256, 'a'));
  EXPECT_EQ(Text(b, 792, 12), std::string("second text\0", 12));
  const std::string time_text = Text(b, 824, 24);
  EXPECT_EQ(time_text.find('\n'), std::string::npos);
  EXPECT_EQ(time_text[3], ' ');  // "Www Mmm dd hh:mm:ss yyyy"
  EXPECT_EQ(time_text[13], ':');
  EXPECT_EQ(time_text[16], ':');
  EXPECT_TRUE(AllZero(b, 848, 8));
  EXPECT_EQ(U16(b, 856), 12);
  EXPECT_EQ(U16(b, 858), 0xFFFE);
  EXPECT_EQ(b[860], 2);  // the first record follows the extension block
}

TEST_F(ImportCapi, TermWithoutCommitLeavesNoFile) {
  const int h = Init("discard.obj", Info(10, 2, 1, 0));
  ASSERT_GT(h, 0);
  pipObjectInfoStruct point = Object(PIP_OBJECT_POINT, "pt", "");
  ASSERT_EQ(pipImportInsert(h, &point, nullptr, nullptr, 0), 1);
  EXPECT_TRUE(FileExists(Path("discard.obj")));
  EXPECT_EQ(Term(h, 0), 1);
  EXPECT_FALSE(FileExists(Path("discard.obj")));
  EXPECT_EQ(pipImportTerm(h, 0), -1);  // the handle is gone
}

TEST_F(ImportCapi, FailedFinishRemovesTheFile) {
  const int h = Init("fail.obj", Info(10, 2, 1, 0));
  ASSERT_GT(h, 0);
  pipObjectInfoStruct point = Object(PIP_OBJECT_POINT, "pt", "");
  ASSERT_EQ(pipImportInsert(h, &point, nullptr, nullptr, 0), 1);
  // A file size limit below the R-tree's 32768-byte alignment makes the
  // index writes fail.
  struct rlimit old_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old_limit;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int rc = Term(h, 1);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(rc, -1);
  EXPECT_NE(ErrorCode(), -1);
  EXPECT_FALSE(FileExists(Path("fail.obj")));
}

TEST_F(ImportCapi, ReadWithoutAReaderFails) {
  const int h = Init("read.obj", Info(10, 2, 1, 0));
  ASSERT_GT(h, 0);
  char name[16] = "junk";
  int percent = -5;
  int line = -5;
  EXPECT_EQ(pipImportRead(h, name, sizeof name, &percent, &line), -1);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(pipImportClose(h), 1);
  EXPECT_EQ(Term(h, 0), 1);
}

TEST_F(ImportCapi, WrongHandlesAndNullArgumentsFail) {
  const pipObjectFileInfoStruct info = Info(10, 2, 1, 0);
  int h = -7;
  EXPECT_EQ(pipImportInit(lib_, Path("x.obj").c_str(), nullptr, &h), -1);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(pipImportInit(lib_ + 500, Path("x.obj").c_str(), &info, &h), -1);
  EXPECT_EQ(h, 0);
  EXPECT_FALSE(FileExists(Path("x.obj")));
  // A library handle is not an import handle, and the reverse.
  pipObjectInfoStruct point = Object(PIP_OBJECT_POINT, "pt", "");
  EXPECT_EQ(pipImportInsert(lib_, &point, nullptr, nullptr, 0), -1);
  EXPECT_EQ(pipImportRead(lib_, nullptr, 0, nullptr, nullptr), -1);
  EXPECT_EQ(pipImportClose(lib_), -1);
  EXPECT_EQ(pipImportTerm(lib_, 1), -1);
  EXPECT_EQ(pipImportClose(0), -1);
  const int imp = Init("y.obj", info);
  ASSERT_GT(imp, 0);
  EXPECT_EQ(pipImportInsert(imp, nullptr, nullptr, nullptr, 0), -1);
  EXPECT_EQ(pipTerm(imp), -1);
  EXPECT_EQ(Term(imp, 0), 1);
}

TEST_F(ImportCapi, UnwritableOutputFails) {
  const pipObjectFileInfoStruct info = Info(10, 2, 1, 0);
  int h = -7;
  EXPECT_EQ(pipImportInit(lib_, Path("no/such/dir.obj").c_str(), &info, &h), -1);
  EXPECT_EQ(h, 0);
  EXPECT_GT(ErrorCode(), 0);
}

}  // namespace
