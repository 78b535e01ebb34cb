// The export framework through its entry points: handles, opening object
// files, the walk in name-index order, progress, every failure message, the
// end of a handle with and without commit, and damaged object files.
#include "export/exporter.h"

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "export/bna_exporter.h"
#include "export/export_test_files.h"
#include "frame/library_context.h"
#include "support/io_tools.h"

namespace {

using export_test::Box;
using export_test::LastError;
using export_test::Obj;
using export_test::Ring;

// Four objects of all types, inserted out of name order.
std::vector<Obj> MixedObjects() {
  return {
      export_test::Region("delta", "D", {Box(0, 0, 3000000, 3000000)}),
      export_test::Point("Alpha", "A", -1000000, 2000000),
      export_test::Line("charlie", "", {Ring{{0, 0}, {1000000, 1000000}}}),
      export_test::Region("Bravo", "B", {Box(-5000000, -5000000, -4000000, -4000000)}),
  };
}

class ExporterTest : public export_test::ExportTest {
 protected:
  void TearDown() override {
    for (int handle : exports_) pipExportTerm(handle, 1);
    ExportTest::TearDown();
  }
  // A BNA export handle for `name` (ended by TearDown unless Term ends it).
  int InitBna(const std::string& name) {
    int handle = 0;
    EXPECT_EQ(pipExportInitBNA(lib_, name.c_str(), &handle), 1) << LastError(lib_).detail;
    if (handle != 0) exports_.push_back(handle);
    return handle;
  }
  int Term(int handle, int commit) {
    exports_.erase(std::remove(exports_.begin(), exports_.end(), handle), exports_.end());
    return pipExportTerm(handle, commit);
  }
  // Exports every object of the open object file; the names in the order written.
  static std::vector<std::string> WriteAll(int handle) {
    std::vector<std::string> names;
    char name[PIP_NAME_SIZE];
    int percent = -1;
    int count = -1;
    while (pipExportWrite(handle, name, sizeof name, &percent, &count) == 1) names.push_back(name);
    return names;
  }

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
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  std::vector<std::string> sorted;
  for (const Obj& o : objects) sorted.push_back(o.name);
  std::sort(sorted.begin(), sorted.end(),
            [&](const std::string& a, const std::string& b) { return lower(a) < lower(b); });
  EXPECT_EQ(names, sorted);
}

// The percentage is truncated, the name cut to the buffer; with nothing
// left a write gives -1, empties the buffer and records nothing.
TEST_F(ExporterTest, ProgressNamesAndTheEndOfTheWalk) {
  export_test::BuildObjectFile(
      lib_, "three.obj",
      {export_test::Point("Springfield", "", 1, 1), export_test::Point("b", "", 2, 2),
       export_test::Point("c", "", 3, 3)});
  const int handle = InitBna("out");
  ASSERT_EQ(pipExportOpen(handle, "three.obj", 0), 1);
  const char* names[] = {"b", "c", "Spri"};  // in name order
  const int percents[] = {33, 66, 100};
  char name[5] = "xxxx";
  for (int i = 0; i < 3; ++i) {
    int percent = -1;
    int count = -1;
    ASSERT_EQ(pipExportWrite(handle, name, sizeof name, &percent, &count), 1);
    EXPECT_STREQ(name, names[i]);
    EXPECT_EQ(percent, percents[i]);
    EXPECT_EQ(count, i + 1);
  }
  const int code_before = LastError(lib_).code;
  int percent = -1;
  int count = -1;
  EXPECT_EQ(pipExportWrite(handle, name, sizeof name, &percent, &count), -1);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(percent, -1);
  EXPECT_EQ(LastError(lib_).code, code_before);
}

// Each row: a failing call on a fresh BNA handle and the record it leaves
// (a detail ending in "..." is checked as a prefix).
TEST_F(ExporterTest, OpenAndAccessFailureTexts) {
  export_test::BuildObjectFile(lib_, "empty.obj", {});
  export_test::BuildObjectFile(lib_, "one.obj", {export_test::Point("a", "", 1, 1)});
  lumetra_test::WriteBytes("junk.obj", std::vector<std::uint8_t>(2000, 0x41));
  char name[PIP_NAME_SIZE];
  auto write = [&name](int h) { return pipExportWrite(h, name, sizeof name, nullptr, nullptr); };
  const char* kNoFile = "Could not access object.  \n\nNo object file is open for export.\n";
  const struct {
    const char* what;
    std::function<int(int)> call;
    int code;
    const char* detail;
  } rows[] = {
      {"null object file name", [](int h) { return pipExportOpen(h, nullptr, 0); },
       PIP_ERR_FILE_NOT_FOUND,
       "Please make sure that the object file name \n\tfrom which to transfer files is valid.\n"},
      {"missing object file", [](int h) { return pipExportOpen(h, "missing.obj", 0); },
       PIP_ERR_FILE_NOT_FOUND, "Could not open missing.obj.  \nNo such file or directory\n..."},
      {"wrong signature", [](int h) { return pipExportOpen(h, "junk.obj", 0); },
       PIP_ERR_FILE_NOT_FOUND, "Could not open junk.obj.  \nInvalid file signature.\njunk.obj\n"},
      {"empty object file",
       [&](int h) { return pipExportOpen(h, "empty.obj", 0) == 1 ? write(h) : 0; }, PIP_ERR_GENERAL,
       "Could not access object.  \n\nPIP_NOT_FOUND\n"},
      {"write without object file", write, PIP_ERR_GENERAL, kNoFile},
      {"write after the object file is closed",
       [&](int h) {
         return pipExportOpen(h, "one.obj", 0) + pipExportClose(h) == 2 ? write(h) : 0;
       },
       PIP_ERR_GENERAL, kNoFile},
      // A region whose only point also opens its second ring cannot be
      // written: the failure quotes the last open failure.
      {"object failure after a failed open",
       [](int h) {
         pipExportOpen(h, "missing.obj", 0);
         pipObjectInfoStruct info = export_test::InfoOf(export_test::Region("Dots", "", {}));
         const int points[] = {4, 4, 4, 4};
         const int counts[] = {1, 1};
         return pipExportInsert(h, "Dots", &info, points, counts, 2);
       },
       PIP_ERR_GENERAL,
       "An error occured when exporting the region object \"Dots\".  \n"
       "No such file or directory\nmissing.obj\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const int handle = InitBna("out");
    EXPECT_EQ(row.call(handle), -1);
    const LastError error(lib_);
    EXPECT_EQ(error.code, row.code);
    const std::string detail = row.detail;
    if (detail.size() > 3 && detail.compare(detail.size() - 3, 3, "...") == 0) {
      EXPECT_TRUE(lumetra_test::StartsWith(error.detail, detail.substr(0, detail.size() - 3)))
          << error.detail;
    } else {
      EXPECT_EQ(error.detail, detail);
    }
    if (row.code == PIP_ERR_FILE_NOT_FOUND) {
      EXPECT_EQ(error.message, "File not found.");
    }
    EXPECT_EQ(Term(handle, 1), 1);
  }
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

// Without a name argument the record's name is shown.
TEST(ExporterDispatch, FailureTextsNameTheObjectType) {
  const struct {
    int type;
    const char* name;
    int slot;  // -1: no writer is asked
    const char* text;
  } rows[] = {
      {PIP_OBJECT_POINT, "X", PIP_OBJECT_POINT,
       "An error occured when exporting the point object \"X\".  \n\n\n"},
      {PIP_OBJECT_LINE, "X", PIP_OBJECT_LINE,
       "An error occured when exporting the line object \"X\".  \n\n\n"},
      {PIP_OBJECT_REGION, "X", PIP_OBJECT_REGION,
       "An error occured when exporting the region object \"X\".  \n\n\n"},
      {3, "X", -1, "An error occured when exporting the region object \"X\".  \n\n\n"},
      {-1, "X", -1, "An error occured when exporting the region object \"X\".  \n\n\n"},
      {PIP_OBJECT_LINE, nullptr, PIP_OBJECT_LINE,
       "An error occured when exporting the line object \"Record\".  \n\n\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.type);
    pipLibraryContext library;
    FailingExporter exporter(library);
    pipObjectInfoStruct info = export_test::InfoOf(export_test::Point("Record", "", 0, 0));
    info.type = row.type;
    const int points[] = {0, 0};
    const int counts[] = {1};
    EXPECT_EQ(exporter.WriteObject(row.name, info, points, counts, 1), -1);
    EXPECT_EQ(exporter.called, row.slot);
    EXPECT_EQ(library.error().code(), PIP_ERR_GENERAL);
    EXPECT_STREQ(library.error().detail(), row.text);
  }
}

TEST_F(ExporterTest, InsertNeedsEveryArgument) {
  const int handle = InitBna("out");
  pipObjectInfoStruct info = export_test::InfoOf(export_test::Point("P", "", 0, 0));
  const int points[] = {0, 0};
  const int counts[] = {1};
  EXPECT_EQ(pipExportInsert(handle, nullptr, &info, points, counts, 1), -1);
  EXPECT_EQ(LastError(lib_).code, PIP_ERR_INVALID_DATA);
  EXPECT_EQ(LastError(lib_).detail,
            "pipExportInsert needs a name, an object record, points, part counts and a count of "
            "at least 1.\n");
  EXPECT_EQ(pipExportInsert(handle, "P", nullptr, points, counts, 1), -1);
  EXPECT_EQ(pipExportInsert(handle, "P", &info, nullptr, counts, 1), -1);
  EXPECT_EQ(pipExportInsert(handle, "P", &info, points, nullptr, 1), -1);
  EXPECT_EQ(pipExportInsert(handle, "P", &info, points, counts, 0), -1);
  EXPECT_EQ(pipExportInsert(handle, "P", &info, points, counts, 1), 1);
  EXPECT_EQ(pipExportInsert(0, "P", &info, points, counts, 1), -1);
}

TEST_F(ExporterTest, TermWithoutCommitDeletesTextOutputsAndWithCommitKeepsThem) {
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
  EXPECT_EQ(Term(InitBna("kept"), 1), 1);
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
  EXPECT_EQ(export_test::ReadText("both.bna"),
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
      EXPECT_EQ(LastError(lib_).detail, "An incorrect type was attempted to be written.");
    }
  }
}

TEST_F(ExporterTest, InitFailures) {
  int handle = 7;
  EXPECT_EQ(pipExportInitBNA(lib_, nullptr, &handle), -1);
  EXPECT_EQ(handle, 0);
  EXPECT_EQ(LastError(lib_).code, PIP_ERR_INVALID_DATA);
  EXPECT_EQ(LastError(lib_).detail, "The name of the export output file is missing.\n");
  EXPECT_EQ(pipExportInitMIF(lib_, nullptr, &handle), -1);
  EXPECT_EQ(pipExportInitSHP(lib_, nullptr, &handle, 0), -1);
  EXPECT_EQ(pipExportInitSHP(lib_, "x", &handle, 3), -1);
  EXPECT_EQ(LastError(lib_).detail,
            "The object type of a shapefile export must be 0 (region), 1 (line) or 2 (point).\n");
  EXPECT_EQ(pipExportInitShape(lib_, "x", &handle, -1), -1);
  EXPECT_FALSE(lumetra_test::FileExists("x.shp"));
  EXPECT_EQ(pipExportInitBNA(lib_, "no/such/dir/out", &handle), -1);
  EXPECT_EQ(LastError(lib_).code, ENOENT);
  EXPECT_EQ(pipExportInitBNA(0, "out", &handle), -1);
  EXPECT_EQ(pipExportInitBNA(lib_, "unwanted", nullptr), -1);
  EXPECT_FALSE(lumetra_test::FileExists("unwanted.bna"));
  // Other handles are refused by every export call.
  EXPECT_EQ(pipExportOpen(lib_, "x.obj", 0), -1);
  EXPECT_EQ(pipExportWrite(lib_, nullptr, 0, nullptr, nullptr), -1);
  EXPECT_EQ(pipExportClose(lib_), -1);
  EXPECT_EQ(pipExportTerm(lib_, 1), -1);
  EXPECT_EQ(pipExportTerm(0, 1), -1);
}

TEST_F(ExporterTest, FullHandleTableDeletesTheNewOutput) {
  std::vector<int> fillers;
  for (int h = pipInit(0, nullptr); h != 0; h = pipInit(0, nullptr)) fillers.push_back(h);
  int handle = 5;
  EXPECT_EQ(pipExportInitBNA(lib_, "crowded", &handle), -1);
  EXPECT_EQ(handle, 0);
  EXPECT_EQ(LastError(lib_).code, PIP_ERR_TABLE_OVERFLOW);
  EXPECT_EQ(LastError(lib_).detail, "Too many handles in use!\n");
  EXPECT_FALSE(lumetra_test::FileExists("crowded.bna"));
  for (int h : fillers) pipTerm(h);
}

// Damaged object files (a few truncations, inverted bytes at a stride):
// every export ends cleanly, every failure with an error record.
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
  lumetra_test::ForEachByteChange(
      good, {}, std::max<std::size_t>(37, good.size() / 300),
      [&](const auto& changed, std::size_t) { damaged.push_back(changed); });
  int failures = 0;
  for (std::size_t i = 0; i < damaged.size(); ++i) {
    SCOPED_TRACE("damaged file " + std::to_string(i));
    lumetra_test::WriteBytes("bad.obj", damaged[i]);
    int handle = 0;
    ASSERT_EQ(pipExportInitMIF(lib_, "bad", &handle), 1);
    // A known record first: every failure below must replace it.
    ASSERT_EQ(pipExportOpen(handle, nullptr, 0), -1);
    const std::string sentinel = LastError(lib_).detail;
    if (pipExportOpen(handle, "bad.obj", 0) != 1) {
      EXPECT_EQ(LastError(lib_).code, PIP_ERR_FILE_NOT_FOUND);
      EXPECT_TRUE(lumetra_test::StartsWith(LastError(lib_).detail, "Could not open bad.obj.  \n"))
          << LastError(lib_).detail;
      ++failures;
    } else {
      char name[PIP_NAME_SIZE];
      int percent = 0;
      int count = 0;
      for (int k = 0; k < 40; ++k) {
        if (pipExportWrite(handle, name, sizeof name, &percent, &count) == 1) continue;
        if (percent < 100) {
          EXPECT_EQ(LastError(lib_).code, PIP_ERR_GENERAL);
          EXPECT_NE(LastError(lib_).detail, sentinel);
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
