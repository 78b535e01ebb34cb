// Export as callers see it: export handles, their options, objects from an
// object file or from the caller; the output imported again and read back.
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
          {Region("Lake",
                  {{{-84000000, 41000000},
                    {-84000000, 42500000},
                    {-80500000, 42500000},
                    {-80500000, 41000000}},
                   {{-83000000, 41500000}, {-82000000, 41500000}, {-82000000, 42000000}}},
                  "L"),
           Line("road",
                {{{0, 500000}, {1000000, 1000000}, {2000000, 500000}},
                 {{-5000000, -5000000}, {-4000000, -4500000}}},
                "R"),
           Point("Beacon", -87629800, 41878100, "B")},
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
  const auto text = [this](const char* file) { return lumetra_test::ReadText(Path(file)); };
  EXPECT_EQ(text("o.cpg"), "UTF-8\n");
  EXPECT_EQ(text("o.prj").rfind("GEOGCS[\"GCS_WGS_1984\"", 0), 0u);
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

}  // namespace
