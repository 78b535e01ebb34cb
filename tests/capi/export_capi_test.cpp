// Export as callers see it: export handles of the three writers, objects
// from an object file (in the order of a name search for "*") or from the
// caller, the failure records and their display, the end of a handle with
// and without commit; the output imported again and read back.
#include <lumetra/pip_ext.h>

#include "support/capi_fixture.h"

namespace {

using namespace capi_test;
using lumetra_test::FileExists;

// One object as the object-file functions describe it.
struct Described {
  std::string name;
  std::string name2;
  int type = 0;
  Coords coords;
  bool operator==(const Described& o) const {
    return name == o.name && name2 == o.name2 && type == o.type && coords == o.coords;
  }
};
std::ostream& operator<<(std::ostream& os, const Described& d) {
  os << "{" << d.name << "/" << d.name2 << " type " << d.type << " parts";
  for (int c : d.coords.parts) os << " " << c;
  return os << "}";
}

using Opener = int (*)(int, const char*);

class ExportCapi : public CapiTest {
 protected:
  void TearDown() override {
    for (int h : exports_) EXPECT_EQ(pipExportTerm(h, 0), 1) << "export handle " << h;
    CapiTest::TearDown();
  }
  // An export handle ended by the fixture unless the test ends it.
  void Keep(int handle) { exports_.insert(handle); }
  int EndExport(int handle, int commit) {
    exports_.erase(handle);
    return pipExportTerm(handle, commit);
  }

  // A geographic file of a region with a hole, a two-part line and a point.
  void BuildSample() {
    // No y of 0 in the line: the shapefile reader takes such a point for
    // plain units.
    Build("sample.obj",
          {RegionOf("Lake",
                    {{{-84000000, 41000000},
                      {-84000000, 42500000},
                      {-80500000, 42500000},
                      {-80500000, 41000000}},
                     {{-83000000, 41500000}, {-82000000, 41500000}, {-82000000, 42000000}}},
                    "L"),
           LineOf("road",
                  {{{0, 500000}, {1000000, 1000000}, {2000000, 500000}},
                   {{-5000000, -5000000}, {-4000000, -4500000}}},
                  "R"),
           PointOf("Beacon", -87629800, 41878100, "B")},
          {0, PIP_COORD_GEOGRAPHIC});
  }

  // Every object of `file`, in the order of the name search for "*".
  std::vector<Described> ReadBack(const std::string& file) {
    std::vector<Described> out;
    const int h = Open(file, PIP_OPEN_CACHE_5MB);
    EXPECT_GT(h, 0) << Detail();
    char name[PIP_NAME_SIZE];
    int found = pipObjectFindFirstName(h, "*", name, sizeof name);
    for (; found == 1; found = pipObjectFindNext(h, name, sizeof name)) {
      pipObjectInfoStruct info;
      EXPECT_EQ(pipObjectGetInfo(h, &info), 1);
      out.push_back({info.name, info.name2, info.type, CurrentCoords(h)});
    }
    EXPECT_EQ(found, 0);
    EXPECT_EQ(Close(h), 1);
    return out;
  }

  // Imports `file` through `open` into back.obj and reads that back.
  std::vector<Described> ImportBack(Opener open, const std::string& file) {
    const int h = StartImport("back.obj", FileInfo(1000, 10, PIP_COORD_GEOGRAPHIC));
    EXPECT_EQ(open(h, file.c_str()), 1) << Detail();
    EXPECT_EQ(ReadAll(h).back().second, 0) << Detail();
    EXPECT_EQ(Term(h, 1), 1);
    return ReadBack("back.obj");
  }

  // Exports all of sample.obj through `handle`; the names written.
  std::vector<std::string> WriteAll(int handle) {
    std::vector<std::string> names;
    EXPECT_EQ(pipExportOpen(handle, "sample.obj", PIP_OPEN_SINGLE_BUFFER), 1) << Detail();
    char name[PIP_NAME_SIZE];
    int percent = 0, count = 0;
    while (pipExportWrite(handle, name, sizeof name, &percent, &count) == 1) names.push_back(name);
    EXPECT_EQ(percent, 100);
    EXPECT_EQ(count, static_cast<int>(names.size()));
    EXPECT_EQ(pipExportClose(handle), 1);
    return names;
  }

  std::set<int> exports_;
};

// Export options: BNA takes none, unknown bits and a late call are
// refused; a shapefile with the CRS option gets its .prj and .cpg.
TEST_F(ExportCapi, ExportOptionsAreCheckedAndApplied) {
  BuildSample();
  int bna = 0;
  ASSERT_EQ(pipExportInitBNA(lib_, Path("o").c_str(), &bna), 1);
  Keep(bna);
  EXPECT_EQ(pipExportSetOptions(bna, PIP_EXPORT_OPT_CRS), -1);
  EXPECT_EQ(Code(), 100);
  int shp = 0;
  ASSERT_EQ(pipExportInitSHP(lib_, Path("o.shp").c_str(), &shp, PIP_OBJECT_REGION), 1);
  EXPECT_EQ(pipExportSetOptions(shp, 0x40), -1);
  EXPECT_EQ(Code(), 106);
  ASSERT_EQ(pipExportSetOptions(shp, PIP_EXPORT_OPT_ALL), 1);
  ASSERT_EQ(pipExportOpen(shp, "sample.obj", 0), 1);
  char name[PIP_NAME_SIZE];
  EXPECT_EQ(pipExportWrite(shp, name, sizeof name, nullptr, nullptr), -1);  // Beacon: a point
  EXPECT_EQ(pipExportWrite(shp, name, sizeof name, nullptr, nullptr), 1);   // Lake
  EXPECT_EQ(pipExportSetOptions(shp, 0), -1);
  EXPECT_EQ(EndExport(shp, 1), 1);
  const auto text = [this](const char* file) {
    const std::vector<std::uint8_t> bytes = lumetra_test::ReadBytes(Path(file));
    return std::string(bytes.begin(), bytes.end());
  };
  EXPECT_EQ(text("o.cpg"), "UTF-8\n");
  EXPECT_EQ(text("o.prj").rfind("GEOGCS[\"GCS_WGS_1984\"", 0), 0u);
}

TEST_F(ExportCapi, BnaRoundTripSplitsLinesAndDropsSecondNames) {
  BuildSample();
  const std::vector<Described> source = ReadBack("sample.obj");
  int h = 0;
  ASSERT_EQ(pipExportInitBNA(lib_, "out.BNA", &h), 1);
  Keep(h);
  const std::vector<std::string> names = {"Beacon", "Lake", "road"};
  EXPECT_EQ(WriteAll(h), names) << "the order of the name search";
  ASSERT_EQ(source.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(source[i].name, names[i]);
  ASSERT_EQ(EndExport(h, 1), 1);
  ASSERT_TRUE(FileExists("out.bna"));
  const auto back =
      ImportBack([](int i, const char* f) { return pipImportOpenBNA(i, f, 1); }, "out.bna");
  ASSERT_EQ(back.size(), 4u);  // the two-part line comes back as two lines
  EXPECT_EQ(back[0].name, "Beacon");
  EXPECT_EQ(back[0].coords.xy, source[0].coords.xy);
  EXPECT_EQ(back[1].name2, "");
  EXPECT_EQ(back[1].coords, source[1].coords);
  EXPECT_EQ(back[2].type, PIP_OBJECT_LINE);
  EXPECT_EQ(back[3].type, PIP_OBJECT_LINE);
  std::vector<int> joined = back[2].coords.xy;
  joined.insert(joined.end(), back[3].coords.xy.begin(), back[3].coords.xy.end());
  std::vector<int> other = back[3].coords.xy;
  other.insert(other.end(), back[2].coords.xy.begin(), back[2].coords.xy.end());
  EXPECT_TRUE(joined == source[2].coords.xy || other == source[2].coords.xy);
}

TEST_F(ExportCapi, MifRoundTripKeepsBothNames) {
  BuildSample();
  int h = 0;
  ASSERT_EQ(pipExportInitMIF(lib_, "out", &h), 1);
  Keep(h);
  WriteAll(h);
  ASSERT_EQ(EndExport(h, 1), 1);
  ASSERT_TRUE(FileExists("out.mif"));
  ASSERT_TRUE(FileExists("out.mid"));
  const auto back = ImportBack(
      [](int i, const char* f) { return pipImportOpenMIF2(i, f, "Name", "Name2"); }, "out.mif");
  const std::vector<Described> source = ReadBack("sample.obj");
  ASSERT_EQ(back.size(), 4u);
  EXPECT_EQ(back[0], source[0]);
  EXPECT_EQ(back[1], source[1]);
  EXPECT_EQ(back[2].name2, "R");
  EXPECT_EQ(back[3].name2, "R");
}

TEST_F(ExportCapi, ShapefileRoundTripKeepsLinesWhole) {
  BuildSample();
  const std::vector<Described> source = ReadBack("sample.obj");
  int h = 0;
  ASSERT_EQ(pipExportInitShape(lib_, "lines.shp", &h, PIP_OBJECT_LINE), 1);
  Keep(h);
  ASSERT_EQ(pipExportOpen(h, "sample.obj", 0), 1);
  char name[PIP_NAME_SIZE];
  int percent = 0, count = 0;
  EXPECT_EQ(pipExportWrite(h, name, sizeof name, &percent, &count), -1);  // Beacon: a point
  ExpectError(PIP_ERR_GENERAL, "An incorrect type was attempted to be written.");
  EXPECT_EQ(pipExportWrite(h, name, sizeof name, &percent, &count), -1);  // Lake: a region
  ASSERT_EQ(pipExportWrite(h, name, sizeof name, &percent, &count), 1);
  EXPECT_STREQ(name, "road");
  EXPECT_EQ(count, 1);
  EXPECT_EQ(percent, 33);
  ASSERT_EQ(EndExport(h, 1), 1);
  for (const char* file : {"lines.shp", "lines.shx", "lines.dbf"}) EXPECT_TRUE(FileExists(file));
  const auto back = ImportBack(
      [](int i, const char* f) { return pipImportOpenSHP(i, f, "NAME", "NAME2"); }, "lines");
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0], source[2]);
}

TEST_F(ExportCapi, CallerObjectsAreInserted) {
  int h = 0;
  ASSERT_EQ(pipExportInitSHP(lib_, "regions", &h, PIP_OBJECT_REGION), 1);
  Keep(h);
  pipObjectInfoStruct region;
  std::memset(&region, 0, sizeof region);
  std::strcpy(region.name, "Plot");
  std::strcpy(region.name2, "P");
  const int points[] = {0, 10, 0, 1000000, 1000000, 1000000, 1000000, 10};
  const int parts[] = {4};
  EXPECT_EQ(pipExportInsert(h, "Plot", &region, points, parts, 1), 1);
  pipObjectInfoStruct point = region;
  point.type = PIP_OBJECT_POINT;
  EXPECT_EQ(pipExportInsert(h, "Dot", &point, points, parts, 1), -1);
  EXPECT_EQ(Code(), PIP_ERR_GENERAL);
  EXPECT_EQ(pipExportInsert(h, "Plot", &region, points, parts, 0), -1);
  EXPECT_EQ(Code(), PIP_ERR_INVALID_DATA);
  ASSERT_EQ(EndExport(h, 1), 1);
  const auto back = ImportBack(
      [](int i, const char* f) { return pipImportOpenSHP(i, f, "NAME", "NAME2"); }, "regions");
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].name, "Plot");
  EXPECT_EQ(back[0].name2, "P");
  EXPECT_EQ(back[0].coords.xy, std::vector<int>(points, points + 8));
}

TEST_F(ExportCapi, FailuresAreRecordedAndDisplayedByDisplayMode) {
  int h = 0;
  ASSERT_EQ(pipExportInitMIF(lib_, "out", &h), 1);
  Keep(h);
  char message[PIP_ERROR_TEXT_SIZE];
  char detail[PIP_ERROR_TEXT_SIZE];
  EXPECT_EQ(pipExportOpen(h, nullptr, 0), -1);
  EXPECT_EQ(pipErrorGet(lib_, message, detail), PIP_ERR_FILE_NOT_FOUND);
  EXPECT_STREQ(message, "File not found.");
  EXPECT_STREQ(detail,
               "Please make sure that the object file name \n\tfrom which to transfer files is "
               "valid.\n");
  EXPECT_EQ(pipExportOpen(h, "nowhere.obj", 0), -1);
  EXPECT_EQ(Code(), PIP_ERR_FILE_NOT_FOUND);
  EXPECT_EQ(Detail().rfind("Could not open nowhere.obj.  \n", 0), 0u) << Detail();
  EXPECT_EQ(pipExportWrite(h, detail, sizeof detail, nullptr, nullptr), -1);
  ExpectError(PIP_ERR_GENERAL,
              "Could not access object.  \n\nNo object file is open for export.\n");
  Build("empty.obj", {});
  ASSERT_EQ(pipExportOpen(h, "empty.obj", 0), 1);
  EXPECT_EQ(pipExportWrite(h, message, sizeof message, nullptr, nullptr), -1);
  ExpectError(PIP_ERR_GENERAL, "Could not access object.  \n\nPIP_NOT_FOUND\n");

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
  for (const char* file : {"draft.bna", "draft.mif", "draft.mid"}) EXPECT_FALSE(FileExists(file));
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
