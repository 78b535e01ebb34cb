// The import as callers see it: object files built through pipImportInit,
// pipImportInsert and pipImportTerm, checked byte by byte against the
// documented layout (decoded here from their offsets, not through the
// library's decoders); limits, refused objects, tax files, extension
// blocks, ending with and without commit, and wrong handles.
#include <sys/resource.h>

#include <csignal>
#include <tuple>

#include "support/capi_fixture.h"

namespace {

using namespace capi_test;
using lumetra_test::FileExists;
using lumetra_test::ReadBytes;

std::string Text(const Bytes& b, std::size_t at, std::size_t size) {
  return std::string(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + size));
}
bool AllZero(const Bytes& b, std::size_t at, std::size_t size) {
  for (std::size_t i = at; i < at + size; ++i) {
    if (b.at(i) != 0) return false;
  }
  return true;
}

// A little-endian field: `width` bytes at `at`, read as signed when the
// expected value is negative.
struct Field {
  std::size_t at;
  int width;
  long long value;
};
void ExpectFields(const Bytes& b, std::size_t base, std::initializer_list<Field> fields) {
  for (const Field& f : fields) {
    std::uint64_t raw = LittleEndian(b, base + f.at, f.width);
    if (f.value < 0 && f.width < 8 && (raw >> (8 * f.width - 1)) != 0)
      raw |= ~0ull << (8 * f.width);
    EXPECT_EQ(static_cast<long long>(raw), f.value) << "bytes " << base << " + " << f.at;
  }
}

pipObjectInfoStruct Object(int type, const char* name, const char* name2 = "") {
  pipObjectInfoStruct o;
  std::memset(&o, 0, sizeof o);
  o.type = type;
  std::snprintf(o.name, sizeof o.name, "%s", name);
  std::snprintf(o.name2, sizeof o.name2, "%s", name2);
  return o;
}

using ImportCapi = CapiTest;

// Three objects -- a region closed by a copy of its first point, a line of
// two parts whose first part returns to its start, and a point -- checked at
// every documented offset.
TEST_F(ImportCapi, SmallFileIsLaidOutByteForByte) {
  const int h = StartImport("small.obj", FileInfo(100, 10, 1));
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
  EXPECT_EQ(region.penColor, 1) << "the caller's record gets the ordinal as colour";
  pipObjectInfoStruct line = Object(PIP_OBJECT_LINE, "L");
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
  EXPECT_EQ(point.penColor, 3);
  ASSERT_EQ(Term(h, 1), 1);

  const Bytes b = ReadBytes(Path("small.obj"));
  ASSERT_GE(b.size(), 536u);
  // Header: signature, magic, largest record (the line's), most points,
  // flags and coordinate type, counts, the grown extent.
  const std::string signature = "Korvalune\r\nGeographic object file.\r\n\x1A";
  EXPECT_EQ(Text(b, 0, signature.size()), signature);
  EXPECT_TRUE(AllZero(b, signature.size(), 256 - signature.size()));
  ExpectFields(b, 0,
               {{256, 4, 0x7755CDCB},
                {268, 4, 132},
                {272, 4, 5},
                {284, 2, 1},
                {286, 2, 0x0008},
                {288, 4, 2},
                {292, 4, 1},
                {296, 4, 1},
                {300, 4, 1},
                {304, 4, -5},
                {308, 4, -6},
                {312, 4, 3001},
                {316, 4, 4001},
                {320, 2, 0},
                {322, 2, 0}});
  EXPECT_TRUE(AllZero(b, 276, 8));
  EXPECT_TRUE(AllZero(b, 324, 536 - 324));

  // Region record at 536: the closing copy of the first point is dropped;
  // label (0, 0) becomes the centre of the grown rectangle.
  const std::size_t r = 536;
  ExpectFields(b, r, {{0, 1, 0},      {1, 1, 0x34},  {2, 2, 0},      {4, 4, 80 + 8 + 4 + 3 * 8},
                      {8, 4, 1},      {12, 4, 3},    {16, 4, 0},     {20, 4, 88},
                      {24, 4, 92},    {36, 1, 2},    {37, 1, 3},     {38, 1, 0x08},
                      {39, 1, 0},     {40, 4, 2000}, {44, 4, 3000},  {48, 4, 1},
                      {52, 4, 5},     {56, 4, 6},    {60, 4, 4},     {64, 4, 999},
                      {68, 4, 1999},  {72, 4, 3001}, {76, 4, 4001},  {88, 4, 3},
                      {92, 4, 1000},  {96, 4, 2000}, {100, 4, 3000}, {104, 4, 2000},
                      {108, 4, 3000}, {112, 4, 4000}});
  EXPECT_TRUE(AllZero(b, r + 28, 8));
  EXPECT_EQ(Text(b, r + 80, 8), std::string("AB\0C\0\0\0\0", 8));

  // Line record at 652: every point kept, no brush, the given label.
  const std::size_t l = r + 116;
  ExpectFields(b, l,
               {{0, 1, 1},
                {1, 1, 0},
                {4, 4, 80 + 4 + 2 * 4 + 5 * 8},
                {8, 4, 2},
                {12, 4, 5},
                {20, 4, 84},
                {24, 4, 92},
                {38, 1, 0x08},
                {40, 4, 3},
                {44, 4, 4},
                {48, 4, 2},
                {64, 4, -1},
                {68, 4, -1},
                {72, 4, 9},
                {76, 4, 10},
                {84, 4, 3},
                {88, 4, 2}});
  EXPECT_TRUE(AllZero(b, l + 52, 12));
  EXPECT_EQ(Text(b, l + 80, 4), std::string("L\0\0\0", 4));
  for (int i = 0; i < 10; ++i) ExpectFields(b, l + 92 + 4 * i, {{0, 4, line_xy[i]}});

  // Point record at 784: 24 bytes and the names block, second name trimmed.
  const std::size_t p = l + 132;
  ExpectFields(b, p,
               {{0, 1, 2},
                {1, 1, 0xFF},
                {4, 4, 24 + 12},
                {8, 4, -5},
                {12, 4, -6},
                {16, 4, 3},
                {20, 1, 8},
                {21, 1, 7},
                {22, 2, 0}});
  EXPECT_EQ(Text(b, p + 24, 12), std::string("P\0second\0\0\0\0", 12));

  // The name index: one leaf page at the first 1024-byte boundary behind
  // the records, its keys the names blocks' first 8 bytes.
  const std::uint32_t tree = U32(b, 260);
  EXPECT_EQ(tree, 1024u);
  ASSERT_GE(b.size(), tree + 1024u);
  ExpectFields(b, tree, {{0, 2, 3}, {2, 2, 1024}, {8, 1, 8}, {9, 1, 8}});
  std::map<std::string, std::uint64_t> keys;
  for (std::size_t i = 0; i < 3; ++i) {
    keys[Text(b, tree + 12 + 16 * i, 8)] = LittleEndian(b, tree + 20 + 16 * i, 8);
  }
  EXPECT_EQ(keys, (std::map<std::string, std::uint64_t>{{std::string("AB\0C\0\0\0\0", 8), r},
                                                        {std::string("L\0\0\0\0\0\0\0", 8), l},
                                                        {std::string("P\0second", 8), p}}));

  // The R-tree: a single root leaf at the next 32768-byte boundary.
  const std::uint32_t rtree = U32(b, 264);
  EXPECT_EQ(rtree, 32768u);
  ASSERT_EQ(b.size(), rtree + 32768u);
  ExpectFields(b, rtree, {{0, 2, 3}, {2, 2, 0x0005}, {4, 2, 0x8000}, {6, 2, 0}});
  using Entry = std::tuple<int, int, int, int, std::uint64_t>;
  std::set<Entry> entries;
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t e = rtree + 24 + 24 * i;
    const auto i32 = [&](std::size_t at) { return static_cast<std::int32_t>(U32(b, at)); };
    entries.insert(Entry{i32(e), i32(e + 4), i32(e + 8), i32(e + 12), LittleEndian(b, e + 16, 8)});
  }
  EXPECT_EQ(entries, (std::set<Entry>{Entry{999, 1999, 3001, 4001, r}, Entry{-1, -1, 9, 10, l},
                                      Entry{-5, -6, -5, -6, p}}));
}

TEST_F(ImportCapi, EmptyFileKeepsTheEmptyBoxAndZeroCounts) {
  const int h = StartImport("empty.obj", FileInfo(10, 10, 0));
  ASSERT_GT(h, 0);
  ASSERT_EQ(Term(h, 1), 1);
  const Bytes b = ReadBytes(Path("empty.obj"));
  ASSERT_GE(b.size(), 536u);
  ExpectFields(b, 0,
               {{292, 4, 0},
                {296, 4, 0},
                {300, 4, 0},
                {304, 4, 0x7FFFFFFF},
                {308, 4, 0x7FFFFFFF},
                {312, 4, 0x80000000},
                {316, 4, 0x80000000}});
}

TEST_F(ImportCapi, LimitsBeyondTheMaximaAreRefusedWith106) {
  const struct {
    int points, parts;
    bool accepted;
  } rows[] = {{55000000, 16383, true},
              {55000001, 16383, false},
              {55000000, 16384, false},
              {55000001, 16384, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.points) + " " + std::to_string(row.parts));
    const pipObjectFileInfoStruct info = FileInfo(row.points, row.parts, 1);
    int h = -7;
    EXPECT_EQ(pipImportInit(lib_, "limit.obj", &info, &h), row.accepted ? 1 : -1);
    if (row.accepted) {
      EXPECT_EQ(pipImportTerm(h, 0), 1);
    } else {
      EXPECT_EQ(h, 0);
      ExpectError(106, "Parameter out of range.  PointLimit = 55000000, PolygonLimit = 16383.");
    }
    EXPECT_FALSE(FileExists(Path("limit.obj")));
  }
}

TEST_F(ImportCapi, RefusedObjectsAreNotWrittenAndTheBuildGoesOn) {
  const int h = StartImport("refuse.obj", FileInfo(3, 2, 0));
  ASSERT_GT(h, 0);
  const int xy[] = {0, 0, 1, 1, 2, 0, 5, 5, 6, 6, 7, 5};
  const struct {
    int type;
    std::vector<int> counts;
    const char* message;
  } rows[] = {
      {PIP_OBJECT_REGION, {4}, "Too many points."},
      {PIP_OBJECT_LINE, {1, 1, 1}, "Too many polygons."},
      {7, {}, "Invalid object type."},
  };
  for (const auto& row : rows) {
    pipObjectInfoStruct o = Object(row.type, "bad");
    EXPECT_EQ(pipImportInsert(h, &o, xy, row.counts.data(), static_cast<int>(row.counts.size())),
              -1);
    ExpectError(100, row.message);
  }
  pipObjectInfoStruct good = Object(PIP_OBJECT_REGION, "good");
  const int counts[] = {3};
  ASSERT_EQ(pipImportInsert(h, &good, xy, counts, 1), 1);
  EXPECT_EQ(good.penColor, 4) << "the refused objects used up ordinals 1 to 3";
  ASSERT_EQ(Term(h, 1), 1);
  const Bytes b = ReadBytes(Path("refuse.obj"));
  EXPECT_EQ(U32(b, 292) + U32(b, 296) + U32(b, 300), 1u);
  EXPECT_EQ(Text(b, 536 + 80, 5), std::string("good\0", 5));
}

TEST_F(ImportCapi, TaxFileRoundsCoordinatesAndCarriesTheTaxMagic) {
  pipObjectFileInfoStruct info = FileInfo(10, 2, 1);
  int h = 0;
  ASSERT_EQ(pipImportTXBInit(lib_, "tax.obj", &info, &h), 1);
  imports_.insert(h);
  EXPECT_STREQ(info.header, "Korvalune\r\nTax Boundary File");
  EXPECT_EQ(info.flags & PIP_FILE_TAX, PIP_FILE_TAX);
  pipObjectInfoStruct point = Object(PIP_OBJECT_POINT, "pt");
  point.x = 123450;
  point.y = -123449;
  ASSERT_EQ(pipImportInsert(h, &point, nullptr, nullptr, 0), 1);
  EXPECT_EQ(point.x, 123500) << "rounded in the caller's record";
  EXPECT_EQ(point.y, -123400);
  pipObjectInfoStruct line = Object(PIP_OBJECT_LINE, "ln");
  const int xy[] = {123450, -123449, -150, 149};
  const int counts[] = {2};
  ASSERT_EQ(pipImportInsert(h, &line, xy, counts, 1), 1);
  EXPECT_EQ(xy[0], 123450) << "the caller's points are only read";
  ASSERT_EQ(Term(h, 1), 1);

  const Bytes b = ReadBytes(Path("tax.obj"));
  const std::string text = "Korvalune\r\nTax Boundary File";
  EXPECT_EQ(Text(b, 0, text.size() + 1), text + std::string(1, '\0'));
  ExpectFields(
      b, 0, {{256, 4, 0x8755CDCB}, {286, 2, 0x0018}, {536 + 8, 4, 123500}, {536 + 12, 4, -123400}});
  const std::size_t line_at = 536 + U32(b, 536 + 4);
  ExpectFields(b, line_at + U32(b, line_at + 24),
               {{0, 4, 123500}, {4, 4, -123400}, {8, 4, -200}, {12, 4, 100}});
}

TEST_F(ImportCapi, CallerTextReplacesTheSignature) {
  pipObjectFileInfoStruct info = FileInfo(10, 2, 1);
  std::memset(info.header, 'x', sizeof info.header);  // 256 bytes, no terminator
  const int h = StartImport("text.obj", info);
  ASSERT_GT(h, 0);
  ASSERT_EQ(Term(h, 1), 1);
  const Bytes b = ReadBytes(Path("text.obj"));
  EXPECT_EQ(Text(b, 0, 255), std::string(255, 'x'));
  EXPECT_EQ(b[255], 0);
}

TEST_F(ImportCapi, ExtendedInitWritesTheExtensionBlock) {
  const pipObjectFileInfoStruct info = FileInfo(10, 2, 1);
  int h = 0;
  const std::string long_text(300, 'a');
  ASSERT_EQ(pipImportInitEx(lib_, "ext.obj", &info, static_cast<short>(-2), long_text.c_str(),
                            "second text", &h),
            1);
  imports_.insert(h);
  pipObjectInfoStruct point = Object(PIP_OBJECT_POINT, "pt");
  ASSERT_EQ(pipImportInsert(h, &point, nullptr, nullptr, 0), 1);
  ASSERT_EQ(Term(h, 1), 1);

  const Bytes b = ReadBytes(Path("ext.obj"));
  EXPECT_EQ(Text(b, 536, 256), std::string(256, 'a'));
  EXPECT_EQ(Text(b, 792, 12), std::string("second text\0", 12));
  const std::string time_text = Text(b, 824, 24);  // "Www Mmm dd hh:mm:ss yyyy"
  EXPECT_EQ(time_text.find('\n'), std::string::npos);
  EXPECT_EQ(time_text[3], ' ');
  EXPECT_EQ(time_text[13], ':');
  EXPECT_EQ(time_text[16], ':');
  EXPECT_TRUE(AllZero(b, 848, 8));
  // The extension flag, the block's version and code, and the first record
  // (the point) right behind the block.
  ExpectFields(b, 0, {{320, 2, 1}, {856, 2, 12}, {858, 2, 0xFFFE}, {860, 1, 2}});
}

TEST_F(ImportCapi, EndingWithoutCommitOrFailingToFinishLeavesNoFile) {
  const int h = StartImport("discard.obj", FileInfo(10, 2, 1));
  ASSERT_GT(h, 0);
  pipObjectInfoStruct point = Object(PIP_OBJECT_POINT, "pt");
  ASSERT_EQ(pipImportInsert(h, &point, nullptr, nullptr, 0), 1);
  EXPECT_TRUE(FileExists(Path("discard.obj")));
  EXPECT_EQ(Term(h, 0), 1);
  EXPECT_FALSE(FileExists(Path("discard.obj")));
  EXPECT_EQ(pipImportTerm(h, 0), -1) << "the handle is gone";

  const int f = StartImport("fail.obj", FileInfo(10, 2, 1));
  ASSERT_GT(f, 0);
  ASSERT_EQ(pipImportInsert(f, &point, nullptr, nullptr, 0), 1);
  // A file size limit below the R-tree's 32768-byte alignment makes the
  // index writes fail.
  struct rlimit old_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old_limit;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int rc = Term(f, 1);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(rc, -1);
  EXPECT_NE(Code(), -1);
  EXPECT_FALSE(FileExists(Path("fail.obj")));
}

TEST_F(ImportCapi, WrongHandlesAndBadArgumentsFail) {
  const pipObjectFileInfoStruct info = FileInfo(10, 2, 1);
  int h = -7;
  EXPECT_EQ(pipImportInit(lib_, "x.obj", nullptr, &h), -1);
  EXPECT_EQ(h, 0);
  h = -7;
  EXPECT_EQ(pipImportInit(lib_ + 500, "x.obj", &info, &h), -1);
  EXPECT_EQ(h, 0);
  EXPECT_FALSE(FileExists(Path("x.obj")));
  h = -7;
  EXPECT_EQ(pipImportInit(lib_, "no/such/dir.obj", &info, &h), -1);
  EXPECT_EQ(h, 0);
  EXPECT_GT(Code(), 0);
  // A library handle is not an import handle, and the reverse.
  pipObjectInfoStruct point = Object(PIP_OBJECT_POINT, "pt");
  EXPECT_EQ(pipImportInsert(lib_, &point, nullptr, nullptr, 0), -1);
  EXPECT_EQ(pipImportRead(lib_, nullptr, 0, nullptr, nullptr), -1);
  EXPECT_EQ(pipImportClose(lib_), -1);
  EXPECT_EQ(pipImportTerm(lib_, 1), -1);
  EXPECT_EQ(pipImportClose(0), -1);
  const int imp = StartImport("y.obj", info);
  ASSERT_GT(imp, 0);
  EXPECT_EQ(pipImportInsert(imp, nullptr, nullptr, nullptr, 0), -1);
  EXPECT_EQ(pipTerm(imp), -1);
  // Reading without a reader fails and clears the name.
  char name[16] = "junk";
  int percent = -5, line = -5;
  EXPECT_EQ(pipImportRead(imp, name, sizeof name, &percent, &line), -1);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(pipImportClose(imp), 1);
  EXPECT_EQ(Term(imp, 0), 1);
}

}  // namespace
