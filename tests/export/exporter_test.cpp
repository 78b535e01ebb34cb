// The export framework through its entry points: handles, opening object
// files, the walk in name-index order, progress, every failure message, the
// end of a handle with and without commit, and damaged object files.
#include "export/exporter.h"

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "export/bna_exporter.h"
#include "export/export_test_files.h"
#include "frame/library_context.h"
#include "support/test_files.h"

namespace {

using export_test::Box;
using export_test::Obj;
using export_test::Ring;

std::string ReadText(const std::string& path) {
  const std::vector<std::uint8_t> bytes = lumetra_test::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Four objects of all types, inserted out of name order.
std::vector<Obj> MixedObjects() {
  return {
      export_test::Region("delta", "D", {Box(0, 0, 3000000, 3000000)}),
      export_test::Point("Alpha", "A", -1000000, 2000000),
      export_test::Line("charlie", "", {Ring{{0, 0}, {1000000, 1000000}}}),
      export_test::Region("Bravo", "B", {Box(-5000000, -5000000, -4000000, -4000000)}),
  };
}

class ExporterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lib_ = pipInit(0, nullptr);
    ASSERT_GT(lib_, 0);
  }
  void TearDown() override {
    for (int handle : exports_) pipExportTerm(handle, 1);
    EXPECT_EQ(pipTerm(lib_), 1);
  }

  // A BNA export handle for `name` (closed by TearDown).
  int InitBna(const std::string& name) {
    int handle = 0;
    EXPECT_EQ(pipExportInitBNA(lib_, name.c_str(), &handle), 1) << LastDetail();
    if (handle != 0) exports_.push_back(handle);
    return handle;
  }
  // Ends `handle` now (and not again in TearDown).
  int Term(int handle, int commit) {
    exports_.erase(std::remove(exports_.begin(), exports_.end(), handle), exports_.end());
    return pipExportTerm(handle, commit);
  }

  int LastCode() {
    char message[PIP_ERROR_TEXT_SIZE];
    char detail[PIP_ERROR_TEXT_SIZE];
    return pipErrorGet(lib_, message, detail);
  }
  std::string LastDetail() {
    char message[PIP_ERROR_TEXT_SIZE];
    char detail[PIP_ERROR_TEXT_SIZE];
    pipErrorGet(lib_, message, detail);
    return detail;
  }
  std::string LastMessage() {
    char message[PIP_ERROR_TEXT_SIZE];
    char detail[PIP_ERROR_TEXT_SIZE];
    pipErrorGet(lib_, message, detail);
    return message;
  }

  // Exports every object of `object_file` through `handle`; answers the
  // names in the order written.
  std::vector<std::string> WriteAll(int handle) {
    std::vector<std::string> names;
    char name[PIP_NAME_SIZE];
    int percent = -1;
    int count = -1;
    while (pipExportWrite(handle, name, sizeof name, &percent, &count) == 1) names.push_back(name);
    return names;
  }

  lumetra_test::ScopedTempDir dir_;
  lumetra_test::ScopedChdir chdir_{dir_.path()};
  int lib_ = 0;
  std::vector<int> exports_;
};

TEST_F(ExporterTest, WalkFollowsTheNameIndexOrder) {
  const std::vector<Obj> objects = MixedObjects();
  export_test::BuildObjectFile(lib_, "mixed.obj", objects);
  const int handle = InitBna("out");
  ASSERT_EQ(pipExportOpen(handle, "mixed.obj", PIP_OPEN_CACHE_5MB), 1);
  const std::vector<std::string> names = WriteAll(handle);

  // The order of the name search for "*" ...
  std::vector<std::string> searched;
  for (const Obj& o : export_test::ReadObjectFile("mixed.obj")) searched.push_back(o.name);
  EXPECT_EQ(names, searched);
  // ... which sorts the names without regard to case.
  std::vector<std::string> sorted;
  for (const Obj& o : objects) sorted.push_back(o.name);
  std::sort(sorted.begin(), sorted.end(),
            [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
  EXPECT_EQ(names, sorted);
}

TEST_F(ExporterTest, ProgressCountsUpToOneHundredThenNothingIsLeft) {
  export_test::BuildObjectFile(lib_, "mixed.obj", MixedObjects());
  const int handle = InitBna("out");
  ASSERT_EQ(pipExportOpen(handle, "mixed.obj", 0), 1);
  char name[PIP_NAME_SIZE];
  for (int i = 1; i <= 4; ++i) {
    int percent = -1;
    int count = -1;
    ASSERT_EQ(pipExportWrite(handle, name, sizeof name, &percent, &count), 1) << LastDetail();
    EXPECT_EQ(percent, 25 * i);
    EXPECT_EQ(count, i);
  }
  // Nothing left: -1, the buffer emptied, nothing recorded.
  const int code_before = LastCode();
  std::snprintf(name, sizeof name, "stale");
  int percent = -1;
  int count = -1;
  EXPECT_EQ(pipExportWrite(handle, name, sizeof name, &percent, &count), -1);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(percent, -1);
  EXPECT_EQ(LastCode(), code_before);
}

TEST_F(ExporterTest, PercentageIsTruncated) {
  export_test::BuildObjectFile(
      lib_, "three.obj",
      {export_test::Point("a", "", 1, 1), export_test::Point("b", "", 2, 2),
       export_test::Point("c", "", 3, 3)});
  const int handle = InitBna("out");
  ASSERT_EQ(pipExportOpen(handle, "three.obj", 0), 1);
  char name[PIP_NAME_SIZE];
  int percent = 0;
  int count = 0;
  ASSERT_EQ(pipExportWrite(handle, name, sizeof name, &percent, &count), 1);
  EXPECT_EQ(percent, 33);
  ASSERT_EQ(pipExportWrite(handle, name, sizeof name, &percent, &count), 1);
  EXPECT_EQ(percent, 66);
  ASSERT_EQ(pipExportWrite(handle, name, sizeof name, &percent, &count), 1);
  EXPECT_EQ(percent, 100);
}

TEST_F(ExporterTest, NameIsCutToTheBufferLength) {
  export_test::BuildObjectFile(lib_, "one.obj", {export_test::Point("Springfield", "", 1, 1)});
  const int handle = InitBna("out");
  ASSERT_EQ(pipExportOpen(handle, "one.obj", 0), 1);
  char name[5] = "xxxx";
  int percent = 0;
  int count = 0;
  ASSERT_EQ(pipExportWrite(handle, name, sizeof name, &percent, &count), 1);
  EXPECT_STREQ(name, "Spri");
}

TEST_F(ExporterTest, NullObjectFileNameIsReportedAsNotFound) {
  const int handle = InitBna("out");
  EXPECT_EQ(pipExportOpen(handle, nullptr, 0), -1);
  EXPECT_EQ(LastCode(), PIP_ERR_FILE_NOT_FOUND);
  EXPECT_EQ(LastMessage(), "File not found.");
  EXPECT_EQ(LastDetail(),
            "Please make sure that the object file name \n\tfrom which to transfer files is "
            "valid.\n");
}

TEST_F(ExporterTest, MissingObjectFileIsReportedWithTheOpenFailure) {
  const int handle = InitBna("out");
  EXPECT_EQ(pipExportOpen(handle, "missing.obj", 0), -1);
  EXPECT_EQ(LastCode(), PIP_ERR_FILE_NOT_FOUND);
  const std::string detail = LastDetail();
  EXPECT_EQ(detail.rfind("Could not open missing.obj.  \n", 0), 0u) << detail;
  EXPECT_NE(detail.find("No such file or directory\n"), std::string::npos) << detail;
}

TEST_F(ExporterTest, WrongSignatureIsReportedWithTheOpenFailure) {
  lumetra_test::WriteBytes("junk.obj", std::vector<std::uint8_t>(2000, 0x41));
  const int handle = InitBna("out");
  EXPECT_EQ(pipExportOpen(handle, "junk.obj", 0), -1);
  EXPECT_EQ(LastCode(), PIP_ERR_FILE_NOT_FOUND);
  EXPECT_EQ(LastDetail(), "Could not open junk.obj.  \nInvalid file signature.\njunk.obj\n");
}

TEST_F(ExporterTest, UnreadableHeaderIsReported) {
  pipLibraryContext library;
  CspaBNAExporter exporter(library);
  EXPECT_EQ(exporter.ReadFileInfo("missing.obj"), -1);
  EXPECT_EQ(library.error().code(), PIP_ERR_FILE_NOT_FOUND);
  EXPECT_EQ(std::string(library.error().detail()),
            "AN ERROR HAS OCCURRED READING HEADER OF OBJECT FILE missing.obj.\n"
            "No such file or directory\n\n");
  EXPECT_EQ(exporter.last_failure_message(), "No such file or directory");
}

TEST_F(ExporterTest, EmptyObjectFileReportsTheAccessFailure) {
  export_test::BuildObjectFile(lib_, "empty.obj", {});
  const int handle = InitBna("out");
  ASSERT_EQ(pipExportOpen(handle, "empty.obj", 0), 1);
  char name[PIP_NAME_SIZE];
  int percent = 0;
  int count = 0;
  EXPECT_EQ(pipExportWrite(handle, name, sizeof name, &percent, &count), -1);
  EXPECT_EQ(LastCode(), PIP_ERR_GENERAL);
  EXPECT_EQ(LastDetail(), "Could not access object.  \n\nPIP_NOT_FOUND\n");
}

TEST_F(ExporterTest, WriteWithoutObjectFileReportsTheAccessFailure) {
  const int handle = InitBna("out");
  char name[PIP_NAME_SIZE];
  EXPECT_EQ(pipExportWrite(handle, name, sizeof name, nullptr, nullptr), -1);
  EXPECT_EQ(LastCode(), PIP_ERR_GENERAL);
  EXPECT_EQ(LastDetail(), "Could not access object.  \n\nNo object file is open for export.\n");
  // After the object file is closed again, the same.
  export_test::BuildObjectFile(lib_, "one.obj", {export_test::Point("a", "", 1, 1)});
  ASSERT_EQ(pipExportOpen(handle, "one.obj", 0), 1);
  EXPECT_EQ(pipExportClose(handle), 1);
  EXPECT_EQ(pipExportWrite(handle, name, sizeof name, nullptr, nullptr), -1);
  EXPECT_EQ(LastDetail(), "Could not access object.  \n\nNo object file is open for export.\n");
}

TEST_F(ExporterTest, ObjectFailureQuotesTheLastOpenFailure) {
  const int handle = InitBna("out");
  ASSERT_EQ(pipExportOpen(handle, "missing.obj", 0), -1);
  // A region whose only point also opens its second ring cannot be written.
  Obj bad = export_test::Region("Dots", "", {Ring{{4, 4}}, Ring{{4, 4}}});
  pipObjectInfoStruct info = export_test::InfoOf(bad);
  const int points[] = {4, 4, 4, 4};
  const int counts[] = {1, 1};
  EXPECT_EQ(pipExportInsert(handle, "Dots", &info, points, counts, 2), -1);
  EXPECT_EQ(LastCode(), PIP_ERR_GENERAL);
  EXPECT_EQ(LastDetail(),
            "An error occured when exporting the region object \"Dots\".  \n"
            "No such file or directory\nmissing.obj\n");
}

// A writer whose three slots fail, recording which one was asked.
class FailingExporter : public CspaExporter {
 public:
  using CspaExporter::CspaExporter;
  int WritePoint(const char*, const pipObjectInfoStruct&, const std::int32_t*, const std::int32_t*,
                 std::int32_t) override {
    return Called(PIP_OBJECT_POINT);
  }
  int WriteLine(const char*, const pipObjectInfoStruct&, const std::int32_t*, const std::int32_t*,
                std::int32_t) override {
    return Called(PIP_OBJECT_LINE);
  }
  int WriteRegion(const char*, const pipObjectInfoStruct&, const std::int32_t*, const std::int32_t*,
                  std::int32_t) override {
    return Called(PIP_OBJECT_REGION);
  }
  int CreateFilesEx(const char*, long, const char*) override { return 1; }
  int CreateFiles(const char*) override { return 1; }
  int CloseFiles() override { return 1; }
  int WriteObject(const char* name, const pipObjectInfoStruct& object, const std::int32_t* points,
                  const std::int32_t* part_counts, std::int32_t count) override {
    return CspaExporter::WriteObject(name, object, points, part_counts, count);
  }
  int DeleteFiles() override { return 1; }

  int called = -1;

 private:
  int Called(int slot) {
    called = slot;
    return -1;
  }
};

TEST(ExporterDispatch, FailureTextsNameTheObjectType) {
  const struct {
    int type;
    int slot;  // -1: no writer is asked
    const char* text;
  } rows[] = {
      {PIP_OBJECT_POINT, PIP_OBJECT_POINT,
       "An error occured when exporting the point object \"X\".  \n\n\n"},
      {PIP_OBJECT_LINE, PIP_OBJECT_LINE,
       "An error occured when exporting the line object \"X\".  \n\n\n"},
      {PIP_OBJECT_REGION, PIP_OBJECT_REGION,
       "An error occured when exporting the region object \"X\".  \n\n\n"},
      {3, -1, "An error occured when exporting the region object \"X\".  \n\n\n"},
      {-1, -1, "An error occured when exporting the region object \"X\".  \n\n\n"},
  };
  for (const auto& row : rows) {
    pipLibraryContext library;
    FailingExporter exporter(library);
    pipObjectInfoStruct info = export_test::InfoOf(export_test::Point("X", "", 0, 0));
    info.type = row.type;
    const int points[] = {0, 0};
    const int counts[] = {1};
    EXPECT_EQ(exporter.WriteObject("X", info, points, counts, 1), -1) << row.type;
    EXPECT_EQ(exporter.called, row.slot) << row.type;
    EXPECT_EQ(library.error().code(), PIP_ERR_GENERAL);
    EXPECT_STREQ(library.error().detail(), row.text) << row.type;
  }
}

TEST(ExporterDispatch, WithoutNameArgumentTheRecordNameIsShown) {
  pipLibraryContext library;
  FailingExporter exporter(library);
  const pipObjectInfoStruct info =
      export_test::InfoOf(export_test::Line("Record", "", {Ring{{0, 0}, {1, 1}}}));
  const int points[] = {0, 0, 1, 1};
  const int counts[] = {2};
  EXPECT_EQ(exporter.WriteObject(nullptr, info, points, counts, 1), -1);
  EXPECT_STREQ(library.error().detail(),
               "An error occured when exporting the line object \"Record\".  \n\n\n");
}

TEST_F(ExporterTest, InsertNeedsEveryArgument) {
  const int handle = InitBna("out");
  pipObjectInfoStruct info = export_test::InfoOf(export_test::Point("P", "", 0, 0));
  const int points[] = {0, 0};
  const int counts[] = {1};
  const std::string expected =
      "pipExportInsert needs a name, an object record, points, part counts and a count of at "
      "least 1.\n";
  EXPECT_EQ(pipExportInsert(handle, nullptr, &info, points, counts, 1), -1);
  EXPECT_EQ(LastCode(), PIP_ERR_INVALID_DATA);
  EXPECT_EQ(LastDetail(), expected);
  EXPECT_EQ(pipExportInsert(handle, "P", nullptr, points, counts, 1), -1);
  EXPECT_EQ(pipExportInsert(handle, "P", &info, nullptr, counts, 1), -1);
  EXPECT_EQ(pipExportInsert(handle, "P", &info, points, nullptr, 1), -1);
  EXPECT_EQ(pipExportInsert(handle, "P", &info, points, counts, 0), -1);
  EXPECT_EQ(pipExportInsert(handle, "P", &info, points, counts, 1), 1);
  EXPECT_EQ(pipExportInsert(0, "P", &info, points, counts, 1), -1);
}

TEST_F(ExporterTest, TermWithoutCommitDeletesTextOutputs) {
  const int bna = InitBna("gone");
  int mif = 0;
  ASSERT_EQ(pipExportInitMIF(lib_, "gone", &mif), 1);
  EXPECT_TRUE(lumetra_test::FileExists("gone.bna"));
  EXPECT_TRUE(lumetra_test::FileExists("gone.mif"));
  EXPECT_EQ(Term(bna, 0), 1);
  EXPECT_EQ(pipExportTerm(mif, 0), 1);
  EXPECT_FALSE(lumetra_test::FileExists("gone.bna"));
  EXPECT_FALSE(lumetra_test::FileExists("gone.mif"));
  EXPECT_FALSE(lumetra_test::FileExists("gone.mid"));
  EXPECT_EQ(pipExportTerm(mif, 1), -1);  // the handle is gone
}

TEST_F(ExporterTest, TermWithCommitKeepsTheOutput) {
  const int handle = InitBna("kept");
  EXPECT_EQ(Term(handle, 1), 1);
  EXPECT_TRUE(lumetra_test::FileExists("kept.bna"));
}

TEST_F(ExporterTest, SeveralObjectFilesGoIntoOneOutput) {
  export_test::BuildObjectFile(lib_, "a.obj", {export_test::Point("one", "", 1, 1)});
  export_test::BuildObjectFile(
      lib_, "b.obj", {export_test::Point("two", "", 2, 2), export_test::Point("three", "", 3, 3)});
  const int handle = InitBna("both");
  ASSERT_EQ(pipExportOpen(handle, "a.obj", 0), 1);
  EXPECT_EQ(WriteAll(handle), (std::vector<std::string>{"one"}));
  EXPECT_EQ(pipExportClose(handle), 1);
  ASSERT_EQ(pipExportOpen(handle, "b.obj", 0), 1);
  EXPECT_EQ(WriteAll(handle), (std::vector<std::string>{"three", "two"}));
  EXPECT_EQ(pipExportClose(handle), 1);
  EXPECT_EQ(pipExportClose(handle), 1);  // none open: still 1
  EXPECT_EQ(Term(handle, 1), 1);
  EXPECT_EQ(ReadText("both.bna"),
            "\"one\",  \"\",  \"one\", 1\n   0.000001,    0.000001 \n"
            "\"three\",  \"\",  \"three\", 1\n   0.000003,    0.000003 \n"
            "\"two\",  \"\",  \"two\", 1\n   0.000002,    0.000002 \n");
}

TEST_F(ExporterTest, ShapefileExportRefusesObjectsOfOtherTypesAndGoesOn) {
  export_test::BuildObjectFile(lib_, "mixed.obj", MixedObjects());
  int handle = 0;
  ASSERT_EQ(pipExportInitSHP(lib_, "regions.shp", &handle, PIP_OBJECT_REGION), 1);
  exports_.push_back(handle);
  ASSERT_EQ(pipExportOpen(handle, "mixed.obj", 0), 1);
  // Name order: Alpha (point), Bravo (region), charlie (line), delta (region).
  const int expected[] = {-1, 1, -1, 1};
  int written = 0;
  for (int result : expected) {
    char name[PIP_NAME_SIZE];
    int percent = 0;
    int count = 0;
    EXPECT_EQ(pipExportWrite(handle, name, sizeof name, &percent, &count), result);
    if (result == 1) {
      EXPECT_EQ(count, ++written);
    } else {
      EXPECT_EQ(LastDetail(), "An incorrect type was attempted to be written.");
    }
  }
}

TEST_F(ExporterTest, InitFailures) {
  int handle = 7;
  EXPECT_EQ(pipExportInitBNA(lib_, nullptr, &handle), -1);
  EXPECT_EQ(handle, 0);
  EXPECT_EQ(LastCode(), PIP_ERR_INVALID_DATA);
  EXPECT_EQ(LastDetail(), "The name of the export output file is missing.\n");
  EXPECT_EQ(pipExportInitMIF(lib_, nullptr, &handle), -1);
  EXPECT_EQ(pipExportInitSHP(lib_, nullptr, &handle, 0), -1);
  EXPECT_EQ(pipExportInitSHP(lib_, "x", &handle, 3), -1);
  EXPECT_EQ(LastDetail(),
            "The object type of a shapefile export must be 0 (region), 1 (line) or 2 (point).\n");
  EXPECT_EQ(pipExportInitShape(lib_, "x", &handle, -1), -1);
  EXPECT_FALSE(lumetra_test::FileExists("x.shp"));
  EXPECT_EQ(pipExportInitBNA(lib_, "no/such/dir/out", &handle), -1);
  EXPECT_EQ(LastCode(), ENOENT);
  EXPECT_EQ(pipExportInitBNA(0, "out", &handle), -1);
  EXPECT_EQ(pipExportInitBNA(lib_, "unwanted", nullptr), -1);
  EXPECT_FALSE(lumetra_test::FileExists("unwanted.bna"));
}

TEST_F(ExporterTest, ExportCallsRefuseOtherHandles) {
  EXPECT_EQ(pipExportOpen(lib_, "x.obj", 0), -1);
  EXPECT_EQ(pipExportWrite(lib_, nullptr, 0, nullptr, nullptr), -1);
  EXPECT_EQ(pipExportClose(lib_), -1);
  EXPECT_EQ(pipExportTerm(lib_, 1), -1);
  EXPECT_EQ(pipExportTerm(0, 1), -1);
}

TEST_F(ExporterTest, FullHandleTableDeletesTheNewOutput) {
  std::vector<int> fillers;
  for (;;) {
    const int h = pipInit(0, nullptr);
    if (h == 0) break;
    fillers.push_back(h);
  }
  int handle = 5;
  EXPECT_EQ(pipExportInitBNA(lib_, "crowded", &handle), -1);
  EXPECT_EQ(handle, 0);
  EXPECT_EQ(LastCode(), PIP_ERR_TABLE_OVERFLOW);
  EXPECT_EQ(LastDetail(), "Too many handles in use!\n");
  EXPECT_FALSE(lumetra_test::FileExists("crowded.bna"));
  for (int h : fillers) pipTerm(h);
}

// Damaged object files: every export ends cleanly, every failure with an
// error record.
TEST_F(ExporterTest, DamagedObjectFilesFailCleanly) {
  std::vector<Obj> objects = MixedObjects();
  for (int i = 0; i < 12; ++i) {
    objects.push_back(export_test::Region("r" + std::to_string(i), "",
                                          {Box(i * 1000, 0, i * 1000 + 900, 900 + i)}));
  }
  export_test::BuildObjectFile(lib_, "good.obj", objects);
  const std::vector<std::uint8_t> good = lumetra_test::ReadBytes("good.obj");
  std::vector<std::vector<std::uint8_t>> damaged;
  for (std::size_t n :
       {std::size_t{0}, std::size_t{100}, std::size_t{536}, good.size() / 2, good.size() - 1}) {
    damaged.emplace_back(good.begin(), good.begin() + static_cast<long>(n));
  }
  const std::size_t stride = std::max<std::size_t>(37, good.size() / 300);
  for (std::size_t at = 0; at < good.size(); at += stride) {
    std::vector<std::uint8_t> bytes = good;
    bytes[at] = static_cast<std::uint8_t>(~bytes[at]);
    damaged.push_back(bytes);
  }
  int failures = 0;
  for (std::size_t i = 0; i < damaged.size(); ++i) {
    SCOPED_TRACE("damaged file " + std::to_string(i));
    lumetra_test::WriteBytes("bad.obj", damaged[i]);
    int handle = 0;
    ASSERT_EQ(pipExportInitMIF(lib_, "bad", &handle), 1);
    // A known record first: every failure below must replace it.
    ASSERT_EQ(pipExportOpen(handle, nullptr, 0), -1);
    const std::string sentinel = LastDetail();
    if (pipExportOpen(handle, "bad.obj", 0) != 1) {
      EXPECT_EQ(LastCode(), PIP_ERR_FILE_NOT_FOUND);
      EXPECT_EQ(LastDetail().rfind("Could not open bad.obj.  \n", 0), 0u) << LastDetail();
      ++failures;
    } else {
      char name[PIP_NAME_SIZE];
      int percent = 0;
      int count = 0;
      for (int k = 0; k < 40; ++k) {
        if (pipExportWrite(handle, name, sizeof name, &percent, &count) == 1) continue;
        if (percent < 100) {
          EXPECT_EQ(LastCode(), PIP_ERR_GENERAL);
          EXPECT_NE(LastDetail(), sentinel);
          ++failures;
        }
        break;
      }
    }
    EXPECT_EQ(pipExportTerm(handle, 0), 1);
  }
  std::printf("damaged object files: %zu, failed cleanly: %d\n", damaged.size(), failures);
  EXPECT_GT(failures, 5);
}

}  // namespace
