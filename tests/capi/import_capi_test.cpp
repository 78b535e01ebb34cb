// The import as callers see it: object files built through pipImportInit,
// pipImportInsert and pipImportTerm; empty files, refused objects, tax
// files, ending with and without commit, and wrong handles.
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

}  // namespace
