// Export as callers see it, through the public header only: export handles
// of the three writers, objects from an object file (in the order of a name
// search for "*") or from the caller, the failure records read with
// pipErrorGet and displayed by display mode, the end of a handle with and
// without commit; the output imported again and read back through the
// object-file functions.
#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

using lumetra_test::FileExists;
using lumetra_test::ScopedChdir;
using lumetra_test::ScopedTempDir;

// One object as the object-file functions describe it.
struct Described {
  std::string name;
  std::string name2;
  int type = 0;
  std::vector<int> part_counts;
  std::vector<int> points;
  bool operator==(const Described& o) const {
    return name == o.name && name2 == o.name2 && type == o.type && part_counts == o.part_counts &&
           points == o.points;
  }
};

std::ostream& operator<<(std::ostream& os, const Described& d) {
  os << "{" << d.name << "/" << d.name2 << " type " << d.type << " parts";
  for (int c : d.part_counts) os << " " << c;
  return os << "}";
}

pipObjectInfoStruct Record(const char* name, const char* name2, int type) {
  pipObjectInfoStruct info;
  std::memset(&info, 0, sizeof info);
  std::snprintf(info.name, sizeof info.name, "%s", name);
  std::snprintf(info.name2, sizeof info.name2, "%s", name2);
  info.type = type;
  return info;
}

class ExportCapi : public ::testing::Test {
 protected:
  ExportCapi() : chdir_(dir_.path()) {}
  void SetUp() override {
    lib_ = pipInit(0, nullptr);
    ASSERT_GT(lib_, 0);
  }
  void TearDown() override {
    for (int h : exports_) EXPECT_EQ(pipExportTerm(h, 0), 1) << "export handle " << h;
    EXPECT_EQ(pipTerm(lib_), 1);
    // Every handle was given back: the next one is the lowest slot again.
    const int probe = pipInit(0, nullptr);
    EXPECT_EQ(probe, lib_) << "a handle leaked";
    pipTerm(probe);
  }

  int Code() {
    char message[PIP_ERROR_TEXT_SIZE];
    char detail[PIP_ERROR_TEXT_SIZE];
    return pipErrorGet(lib_, message, detail);
  }
  std::string Detail() {
    char message[PIP_ERROR_TEXT_SIZE];
    char detail[PIP_ERROR_TEXT_SIZE];
    pipErrorGet(lib_, message, detail);
    return detail;
  }

  // Keeps the handle for TearDown unless ended by Term.
  int Keep(int handle) {
    exports_.push_back(handle);
    return handle;
  }
  int Term(int handle, int commit) {
    exports_.erase(std::remove(exports_.begin(), exports_.end(), handle), exports_.end());
    return pipExportTerm(handle, commit);
  }

  // An object file of a region with a hole, a two-part line and a point.
  void BuildSample(const std::string& file) {
    pipObjectFileInfoStruct info;
    std::memset(&info, 0, sizeof info);
    info.maxPoints = 1000;
    info.maxParts = 10;
    info.coordType = PIP_COORD_GEOGRAPHIC;
    int h = 0;
    ASSERT_EQ(pipImportInit(lib_, file.c_str(), &info, &h), 1);
    pipObjectInfoStruct region = Record("Lake", "L", PIP_OBJECT_REGION);
    const int region_points[] = {-84000000, 41000000,  -84000000, 42500000,  -80500000,
                                 42500000,  -80500000, 41000000,  -83000000, 41500000,
                                 -82000000, 41500000,  -82000000, 42000000};
    const int region_parts[] = {4, 3};
    ASSERT_EQ(pipImportInsert(h, &region, region_points, region_parts, 2), 1);
    pipObjectInfoStruct line = Record("road", "R", PIP_OBJECT_LINE);
    // No y of 0: the shapefile reader takes such a point for plain units.
    const int line_points[] = {0,      500000,   1000000,  1000000,  2000000,
                               500000, -5000000, -5000000, -4000000, -4500000};
    const int line_parts[] = {3, 2};
    ASSERT_EQ(pipImportInsert(h, &line, line_points, line_parts, 2), 1);
    pipObjectInfoStruct point = Record("Beacon", "B", PIP_OBJECT_POINT);
    point.x = -87629800;
    point.y = 41878100;
    const int point_points[] = {point.x, point.y};
    const int point_parts[] = {1};
    ASSERT_EQ(pipImportInsert(h, &point, point_points, point_parts, 1), 1);
    ASSERT_EQ(pipImportTerm(h, 1), 1);
  }

  // Every object of `file`, in the order of the name search for "*".
  std::vector<Described> ReadBack(const std::string& file) {
    std::vector<Described> out;
    int h = 0;
    EXPECT_EQ(pipObjectFileOpen(lib_, file.c_str(), PIP_OPEN_CACHE_5MB, &h), 1) << Detail();
    if (h == 0) return out;
    char name[PIP_NAME_SIZE];
    int found = pipObjectFindFirstName(h, "*", name, sizeof name);
    while (found == 1) {
      pipObjectInfoStruct info;
      EXPECT_EQ(pipObjectGetInfo(h, &info), 1);
      Described d;
      d.name = info.name;
      d.name2 = info.name2;
      d.type = info.type;
      std::vector<int> points(2000);
      std::vector<int> parts(10);
      int num_parts = 0;
      EXPECT_EQ(pipObjectGetCoords(h, points.data(), 1000, parts.data(), 10, &num_parts), 1);
      parts.resize(static_cast<std::size_t>(num_parts));
      int total = 0;
      for (int c : parts) total += c;
      points.resize(2 * static_cast<std::size_t>(total));
      d.part_counts = parts;
      d.points = points;
      out.push_back(d);
      found = pipObjectFindNext(h, name, sizeof name);
    }
    EXPECT_EQ(found, 0);
    EXPECT_EQ(pipObjectFileClose(h), 1);
    return out;
  }

  // Imports `file` through `open` into `object_file`.
  void Import(const std::string& object_file, int (*open)(int, const char*),
              const std::string& file) {
    pipObjectFileInfoStruct info;
    std::memset(&info, 0, sizeof info);
    info.maxPoints = 1000;
    info.maxParts = 10;
    info.coordType = PIP_COORD_GEOGRAPHIC;
    int h = 0;
    ASSERT_EQ(pipImportInit(lib_, object_file.c_str(), &info, &h), 1);
    ASSERT_EQ(open(h, file.c_str()), 1) << Detail();
    char name[PIP_NAME_SIZE];
    int percent = 0;
    int line = 0;
    int result;
    while ((result = pipImportRead(h, name, sizeof name, &percent, &line)) == 1) {
    }
    EXPECT_EQ(result, 0) << Detail();
    ASSERT_EQ(pipImportTerm(h, 1), 1);
  }

  // Exports all of `object_file` through `handle`; answers the names.
  std::vector<std::string> WriteAll(int handle, const std::string& object_file) {
    std::vector<std::string> names;
    EXPECT_EQ(pipExportOpen(handle, object_file.c_str(), PIP_OPEN_SINGLE_BUFFER), 1) << Detail();
    char name[PIP_NAME_SIZE];
    int percent = 0;
    int count = 0;
    while (pipExportWrite(handle, name, sizeof name, &percent, &count) == 1) names.push_back(name);
    EXPECT_EQ(percent, 100);
    EXPECT_EQ(count, static_cast<int>(names.size()));
    EXPECT_EQ(pipExportClose(handle), 1);
    return names;
  }

  ScopedTempDir dir_;
  ScopedChdir chdir_;
  int lib_ = 0;
  std::vector<int> exports_;
};

TEST_F(ExportCapi, ObjectsAreWrittenInNameSearchOrder) {
  BuildSample("sample.obj");
  int h = 0;
  ASSERT_EQ(pipExportInitBNA(lib_, "out", &h), 1);
  Keep(h);
  std::vector<std::string> searched;
  for (const Described& d : ReadBack("sample.obj")) searched.push_back(d.name);
  EXPECT_EQ(WriteAll(h, "sample.obj"), searched);
  EXPECT_EQ(searched, (std::vector<std::string>{"Beacon", "Lake", "road"}));
}

TEST_F(ExportCapi, BnaRoundTripSplitsLinesAndDropsSecondNames) {
  BuildSample("sample.obj");
  int h = 0;
  ASSERT_EQ(pipExportInitBNA(lib_, "out.BNA", &h), 1);
  WriteAll(h, "sample.obj");
  ASSERT_EQ(pipExportTerm(h, 1), 1);
  ASSERT_TRUE(FileExists("out.bna"));
  Import(
      "back.obj", [](int i, const char* f) { return pipImportOpenBNA(i, f, 1); }, "out.bna");
  const std::vector<Described> source = ReadBack("sample.obj");
  const std::vector<Described> back = ReadBack("back.obj");
  ASSERT_EQ(back.size(), 4u);  // the two-part line comes back as two lines
  EXPECT_EQ(back[0].name, "Beacon");
  EXPECT_EQ(back[0].points, source[0].points);
  EXPECT_EQ(back[1].name2, "");
  EXPECT_EQ(back[1].part_counts, source[1].part_counts);
  EXPECT_EQ(back[1].points, source[1].points);
  EXPECT_EQ(back[2].type, PIP_OBJECT_LINE);
  EXPECT_EQ(back[3].type, PIP_OBJECT_LINE);
  std::vector<int> joined = back[2].points;
  joined.insert(joined.end(), back[3].points.begin(), back[3].points.end());
  std::vector<int> other = back[3].points;
  other.insert(other.end(), back[2].points.begin(), back[2].points.end());
  EXPECT_TRUE(joined == source[2].points || other == source[2].points);
}

TEST_F(ExportCapi, MifRoundTripKeepsBothNames) {
  BuildSample("sample.obj");
  int h = 0;
  ASSERT_EQ(pipExportInitMIF(lib_, "out", &h), 1);
  WriteAll(h, "sample.obj");
  ASSERT_EQ(pipExportTerm(h, 1), 1);
  ASSERT_TRUE(FileExists("out.mif"));
  ASSERT_TRUE(FileExists("out.mid"));
  Import(
      "back.obj", [](int i, const char* f) { return pipImportOpenMIF2(i, f, "Name", "Name2"); },
      "out.mif");
  const std::vector<Described> back = ReadBack("back.obj");
  ASSERT_EQ(back.size(), 4u);
  EXPECT_EQ(back[0], ReadBack("sample.obj")[0]);
  EXPECT_EQ(back[1], ReadBack("sample.obj")[1]);
  EXPECT_EQ(back[2].name2, "R");
  EXPECT_EQ(back[3].name2, "R");
}

TEST_F(ExportCapi, ShapefileRoundTripKeepsLinesWhole) {
  BuildSample("sample.obj");
  const std::vector<Described> source = ReadBack("sample.obj");
  int h = 0;
  ASSERT_EQ(pipExportInitShape(lib_, "lines.shp", &h, PIP_OBJECT_LINE), 1);
  ASSERT_EQ(pipExportOpen(h, "sample.obj", 0), 1);
  char name[PIP_NAME_SIZE];
  int percent = 0;
  int count = 0;
  EXPECT_EQ(pipExportWrite(h, name, sizeof name, &percent, &count), -1);  // Beacon: a point
  EXPECT_EQ(Detail(), "An incorrect type was attempted to be written.");
  EXPECT_EQ(pipExportWrite(h, name, sizeof name, &percent, &count), -1);  // Lake: a region
  ASSERT_EQ(pipExportWrite(h, name, sizeof name, &percent, &count), 1);
  EXPECT_STREQ(name, "road");
  EXPECT_EQ(count, 1);
  EXPECT_EQ(percent, 33);
  ASSERT_EQ(pipExportTerm(h, 1), 1);
  for (const char* ext : {"lines.shp", "lines.shx", "lines.dbf"}) EXPECT_TRUE(FileExists(ext));
  Import(
      "back.obj", [](int i, const char* f) { return pipImportOpenSHP(i, f, "NAME", "NAME2"); },
      "lines");
  const std::vector<Described> back = ReadBack("back.obj");
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0], source[2]);
}

TEST_F(ExportCapi, CallerObjectsAreInserted) {
  int h = 0;
  ASSERT_EQ(pipExportInitSHP(lib_, "regions", &h, PIP_OBJECT_REGION), 1);
  pipObjectInfoStruct region = Record("Plot", "P", PIP_OBJECT_REGION);
  const int points[] = {0, 10, 0, 1000000, 1000000, 1000000, 1000000, 10};
  const int parts[] = {4};
  EXPECT_EQ(pipExportInsert(h, "Plot", &region, points, parts, 1), 1);
  pipObjectInfoStruct point = Record("Dot", "", PIP_OBJECT_POINT);
  EXPECT_EQ(pipExportInsert(h, "Dot", &point, points, parts, 1), -1);
  EXPECT_EQ(Code(), PIP_ERR_GENERAL);
  EXPECT_EQ(pipExportInsert(h, "Plot", &region, points, parts, 0), -1);
  EXPECT_EQ(Code(), PIP_ERR_INVALID_DATA);
  ASSERT_EQ(pipExportTerm(h, 1), 1);
  Import(
      "back.obj", [](int i, const char* f) { return pipImportOpenSHP(i, f, "NAME", "NAME2"); },
      "regions");
  const std::vector<Described> back = ReadBack("back.obj");
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].name, "Plot");
  EXPECT_EQ(back[0].name2, "P");
  EXPECT_EQ(back[0].points, std::vector<int>(points, points + 8));
}

TEST_F(ExportCapi, FailuresAreRecorded) {
  int h = Keep([&] {
    int handle = 0;
    EXPECT_EQ(pipExportInitMIF(lib_, "out", &handle), 1);
    return handle;
  }());
  char message[PIP_ERROR_TEXT_SIZE];
  char detail[PIP_ERROR_TEXT_SIZE];

  EXPECT_EQ(pipExportOpen(h, nullptr, 0), -1);
  EXPECT_EQ(pipErrorGet(lib_, message, detail), PIP_ERR_FILE_NOT_FOUND);
  EXPECT_STREQ(message, "File not found.");
  EXPECT_STREQ(detail,
               "Please make sure that the object file name \n\tfrom which to transfer files is "
               "valid.\n");

  EXPECT_EQ(pipExportOpen(h, "nowhere.obj", 0), -1);
  EXPECT_EQ(pipErrorGet(lib_, message, detail), PIP_ERR_FILE_NOT_FOUND);
  EXPECT_EQ(std::string(detail).rfind("Could not open nowhere.obj.  \n", 0), 0u) << detail;

  EXPECT_EQ(pipExportWrite(h, detail, sizeof detail, nullptr, nullptr), -1);
  EXPECT_EQ(Code(), PIP_ERR_GENERAL);
  EXPECT_EQ(Detail(), "Could not access object.  \n\nNo object file is open for export.\n");

  pipObjectFileInfoStruct info;
  std::memset(&info, 0, sizeof info);
  info.maxPoints = 10;
  info.maxParts = 1;
  int import = 0;
  ASSERT_EQ(pipImportInit(lib_, "empty.obj", &info, &import), 1);
  ASSERT_EQ(pipImportTerm(import, 1), 1);
  ASSERT_EQ(pipExportOpen(h, "empty.obj", 0), 1);
  EXPECT_EQ(pipExportWrite(h, message, sizeof message, nullptr, nullptr), -1);
  EXPECT_EQ(Detail(), "Could not access object.  \n\nPIP_NOT_FOUND\n");
}

TEST_F(ExportCapi, FailuresAreDisplayedByDisplayMode) {
  int h = Keep([&] {
    int handle = 0;
    EXPECT_EQ(pipExportInitBNA(lib_, "out", &handle), 1);
    return handle;
  }());
  pipErrorShow(lib_, PIP_ERRSHOW_STDOUT);
  testing::internal::CaptureStdout();
  EXPECT_EQ(pipExportOpen(h, nullptr, 0), -1);
  const std::string shown = testing::internal::GetCapturedStdout();
  EXPECT_NE(shown.find("Error: 105"), std::string::npos) << shown;
  EXPECT_NE(shown.find("from which to transfer files is valid."), std::string::npos) << shown;
  pipErrorShow(lib_, PIP_ERRSHOW_RECORD);
  testing::internal::CaptureStdout();
  EXPECT_EQ(pipExportOpen(h, nullptr, 0), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(ExportCapi, TermWithoutCommitDeletesTheOutput) {
  int bna = 0;
  int mif = 0;
  ASSERT_EQ(pipExportInitBNA(lib_, "draft", &bna), 1);
  ASSERT_EQ(pipExportInitMIF(lib_, "draft", &mif), 1);
  EXPECT_TRUE(FileExists("draft.bna"));
  EXPECT_EQ(pipExportTerm(bna, 0), 1);
  EXPECT_EQ(pipExportTerm(mif, 0), 1);
  EXPECT_FALSE(FileExists("draft.bna"));
  EXPECT_FALSE(FileExists("draft.mif"));
  EXPECT_FALSE(FileExists("draft.mid"));
  EXPECT_EQ(pipExportTerm(bna, 0), -1);
}

TEST_F(ExportCapi, HandlesOfOtherKindsAreRefused) {
  int h = 0;
  EXPECT_EQ(pipExportInitBNA(0, "x", &h), -1);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(pipExportInitMIF(lib_ + 1000, "x", &h), -1);
  EXPECT_EQ(pipExportOpen(lib_, "x.obj", 0), -1);
  EXPECT_EQ(pipExportWrite(lib_, nullptr, 0, nullptr, nullptr), -1);
  EXPECT_EQ(pipExportInsert(lib_, "x", nullptr, nullptr, nullptr, 1), -1);
  EXPECT_EQ(pipExportClose(lib_), -1);
  EXPECT_EQ(pipExportTerm(lib_, 1), -1);
  EXPECT_FALSE(FileExists("x.bna"));
}

}  // namespace
