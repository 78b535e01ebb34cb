// What we write is read by independent readers with the same objects and
// attributes: GDAL's ogrinfo (shapefiles, MIF/MID), shapelib's shpdump and
// dbfdump (shapefiles, dBase tables); and the bundled US states imported,
// then exported to all three formats.  Skipped when the tools are absent
// (Debian packages gdal-bin and shapelib).  GDAL no longer reads BNA, so
// BNA output is checked by importing it again.
#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <map>
#include <string>
#include <vector>

#include "export/export_test_files.h"
#include "support/io_tools.h"

namespace {

using export_test::Obj;
using export_test::Ring;
using export_test::XY;
using lumetra_test::OgrFeature;
using lumetra_test::RunTool;

// The coordinates of `parts` in output units, each part closed when asked.
std::vector<double> Degrees(const std::vector<Ring>& parts, bool close) {
  std::vector<double> out;
  for (const Ring& r : parts) {
    for (const XY& p : r) {
      out.push_back(p.first / 1e6);
      out.push_back(p.second / 1e6);
    }
    if (close) {
      out.push_back(r.front().first / 1e6);
      out.push_back(r.front().second / 1e6);
    }
  }
  return out;
}

void ExpectNear(const std::vector<double>& got, const std::vector<double>& want, double tolerance,
                const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_NEAR(got[i], want[i], tolerance) << what << " coordinate " << i;
  }
}

std::vector<OgrFeature> Ogrinfo(const std::string& file) {
  return lumetra_test::ParseOgrinfo(RunTool("ogrinfo -ro -al -q '" + file + "' 2>/dev/null"));
}

// Regions with clockwise outer rings and counter-clockwise holes (the
// shapefile convention), multi-part lines and points; names with spaces.
std::vector<Obj> SampleObjects() {
  const Ring outer{
      {-84000000, 41000000}, {-84000000, 42500000}, {-80500000, 42500000}, {-80500000, 41000000}};
  const Ring hole{{-83000000, 41500000}, {-82000000, 41500000}, {-82000000, 42000000}};
  return {
      export_test::Region("Lake County", "LC", {outer, hole}),
      export_test::Region("Isle", "",
                          {Ring{{1000000, 1000000}, {1000000, 2000000}, {2000000, 2000000}}}),
      export_test::Line("Route 9", "R9", {Ring{{-87654321, 41123456}, {-87000001, 41999999}}}),
      export_test::Line("Trail", "T",
                        {Ring{{10, 20}, {30, 40}, {50, 70}}, Ring{{-1000000, -2000000}, {-3, -4}}}),
      export_test::Point("Tower", "TW", -122419415, 37774929),
      export_test::Point("well", "W", 151209900, -33865143),
  };
}

class InteropTest : public export_test::ExportTest {
 protected:
  void SetUp() override {
    if (!lumetra_test::HaveTool("ogrinfo") || !lumetra_test::HaveTool("shpdump") ||
        !lumetra_test::HaveTool("dbfdump")) {
      GTEST_SKIP() << "ogrinfo (gdal-bin), shpdump or dbfdump (shapelib) is not installed";
    }
    ExportTest::SetUp();
  }
};

TEST_F(InteropTest, ShapefilesAndTablesReadByOgrinfoShpdumpAndDbfdump) {
  export_test::BuildObjectFile(lib_, "sample.obj", SampleObjects());
  const std::vector<Obj> objects = export_test::ReadObjectFile("sample.obj");
  const char* bases[] = {"regions", "lines", "points"};
  for (int type = 0; type < 3; ++type) {
    const std::string base = bases[type];
    SCOPED_TRACE(base);
    int handle = 0;
    ASSERT_EQ(pipExportInitSHP(lib_, (base + ".shp").c_str(), &handle, type), 1);
    export_test::ExportAll(handle, "sample.obj", static_cast<int>(objects.size()));
    std::vector<Obj> expected;
    for (const Obj& o : objects) {
      if (o.type == type) expected.push_back(o);
    }
    ASSERT_EQ(expected.size(), 2u);
    const auto features = Ogrinfo(base + ".shp");
    const auto shapes =
        lumetra_test::ParseShpdump(RunTool("shpdump -precision 15 " + base + ".shp"));
    const auto records = lumetra_test::ParseDbfdump(RunTool("dbfdump -m " + base + ".dbf"));
    ASSERT_EQ(features.size(), expected.size());
    ASSERT_EQ(shapes.size(), expected.size());
    ASSERT_EQ(records.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const Obj& o = expected[i];
      SCOPED_TRACE(o.name);
      EXPECT_EQ(features[i].fields.at("NAME"), o.name);
      EXPECT_EQ(records[i].at("NAME"), o.name);
      // The table pads text with zero bytes; both readers take a field of
      // zero bytes only (an empty second name) for a null value.
      EXPECT_EQ(features[i].fields.at("NAME2"), o.name2.empty() ? "(null)" : o.name2);
      EXPECT_EQ(records[i].at("NAME2"), o.name2.empty() ? "(NULL)" : o.name2);
      const bool region = type == PIP_OBJECT_REGION;
      ExpectNear(features[i].numbers, Degrees(o.parts, region), 1e-9, "ogrinfo");
      ASSERT_EQ(shapes[i].size(), o.parts.size());
      for (std::size_t p = 0; p < o.parts.size(); ++p) {
        ExpectNear(shapes[i][p], Degrees({o.parts[p]}, region), 1e-9, "shpdump");
        if (region) {  // closed rings: the last point repeats the first
          EXPECT_EQ(shapes[i][p][0], shapes[i][p][shapes[i][p].size() - 2]);
          EXPECT_EQ(shapes[i][p][1], shapes[i][p].back());
        }
      }
    }
    const char* kinds[] = {"POLYGON", "", "POINT"};
    if (type != PIP_OBJECT_LINE) {
      EXPECT_EQ(features[0].geometry, kinds[type]);
    }
  }
  EXPECT_NE(RunTool("shpdump -validate regions.shp").find("0 object has invalid ring"),
            std::string::npos);
}

TEST_F(InteropTest, MifAndMidReadByOgrinfo) {
  export_test::BuildObjectFile(lib_, "sample.obj", SampleObjects());
  const std::vector<Obj> objects = export_test::ReadObjectFile("sample.obj");
  int handle = 0;
  ASSERT_EQ(pipExportInitMIF(lib_, "sample", &handle), 1);
  ASSERT_EQ(export_test::ExportAll(handle, "sample.obj"), static_cast<int>(objects.size()));
  // One MIF object per point, per line part and per region.
  struct Expected {
    const Obj* object;
    std::vector<Ring> parts;
    const char* geometry;
  };
  std::vector<Expected> expected;
  for (const Obj& o : objects) {
    if (o.type == PIP_OBJECT_LINE) {
      for (const Ring& part : o.parts) expected.push_back({&o, {part}, "LINESTRING"});
    } else {
      expected.push_back({&o, o.parts, o.type == PIP_OBJECT_POINT ? "POINT" : nullptr});
    }
  }
  const auto features = Ogrinfo("sample.mif");
  ASSERT_EQ(features.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const Obj& o = *expected[i].object;
    SCOPED_TRACE(o.name);
    EXPECT_EQ(features[i].fields.at("Name"), o.name);
    EXPECT_EQ(features[i].fields.at("Name2"), o.name2);
    if (expected[i].geometry != nullptr) {
      EXPECT_EQ(features[i].geometry, expected[i].geometry);
    }
    // MIF regions are read back with closed rings.
    ExpectNear(features[i].numbers, Degrees(expected[i].parts, o.type == PIP_OBJECT_REGION), 1e-9,
               "ogrinfo");
  }
}

// --- the bundled US states ---

class UsStatesTest : public InteropTest {
 protected:
  void SetUp() override {
    InteropTest::SetUp();
    if (IsSkipped()) return;
    const std::string source = lumetra_test::SourcePath("data/us_states");
    ASSERT_TRUE(lumetra_test::FileExists(source + ".shp")) << source;
    states_ = export_test::ImportAll(lib_, "states.obj", {[&](int h) {
                                       return pipImportOpenSHP(h, source.c_str(), "NAME", "FIPS");
                                     }});
    ASSERT_EQ(states_.size(), 56u);
    for (const OgrFeature& f : Ogrinfo(source + ".shp")) original_[f.fields.at("NAME")] = f;
    ASSERT_EQ(original_.size(), 56u);
  }

  // Our output against the original shapefile: one feature per state in
  // name-index order, names and codes, every coordinate to 1e-6 degrees.
  void CheckAgainstOriginal(const std::string& file, const char* name_field,
                            const char* code_field) {
    EXPECT_EQ(
        lumetra_test::OgrFeatureCount(RunTool("ogrinfo -ro -al -so '" + file + "' 2>/dev/null")),
        56);
    const auto features = Ogrinfo(file);
    ASSERT_EQ(features.size(), 56u);
    for (std::size_t i = 0; i < 56; ++i) {
      const std::string& name = states_[i].name;
      SCOPED_TRACE(name);
      EXPECT_EQ(features[i].fields.at(name_field), name);
      const OgrFeature& original = original_.at(name);
      EXPECT_EQ(features[i].fields.at(code_field), original.fields.at("FIPS"));
      ExpectNear(features[i].numbers, original.numbers, 1e-6, file);
    }
  }

  std::vector<Obj> states_;
  std::map<std::string, OgrFeature> original_;
};

TEST_F(UsStatesTest, ShapefileExportMatchesTheOriginal) {
  int handle = 0;
  ASSERT_EQ(pipExportInitSHP(lib_, "states_out.shp", &handle, PIP_OBJECT_REGION), 1);
  ASSERT_EQ(export_test::ExportAll(handle, "states.obj"), 56);
  CheckAgainstOriginal("states_out.shp", "NAME", "NAME2");
  EXPECT_NE(RunTool("shpdump -validate states_out.shp").find("0 object has invalid ring"),
            std::string::npos);
  const auto records = lumetra_test::ParseDbfdump(RunTool("dbfdump -m states_out.dbf"));
  ASSERT_EQ(records.size(), 56u);
  EXPECT_EQ(records[35].at("NAME"), states_[35].name);
  EXPECT_EQ(records[35].at("NAME2"), states_[35].name2);
}

TEST_F(UsStatesTest, MifExportMatchesTheOriginal) {
  int handle = 0;
  ASSERT_EQ(pipExportInitMIF(lib_, "states_out", &handle), 1);
  ASSERT_EQ(export_test::ExportAll(handle, "states.obj"), 56);
  CheckAgainstOriginal("states_out.mif", "Name", "Name2");
}

TEST_F(UsStatesTest, BnaExportImportsAgainToTheSameStates) {
  int handle = 0;
  ASSERT_EQ(pipExportInitBNA(lib_, "states_out", &handle), 1);
  ASSERT_EQ(export_test::ExportAll(handle, "states.obj"), 56);
  const std::vector<Obj> back = export_test::ImportAll(
      lib_, "back.obj", {[](int h) { return pipImportOpenBNA(h, "states_out.bna", 1); }});
  ASSERT_EQ(back.size(), 56u);
  for (std::size_t i = 0; i < 56; ++i) {
    SCOPED_TRACE(states_[i].name);
    EXPECT_EQ(back[i].name, states_[i].name);
    EXPECT_EQ(back[i].type, PIP_OBJECT_REGION);
    EXPECT_EQ(back[i].parts, states_[i].parts);
  }
}

}  // namespace
