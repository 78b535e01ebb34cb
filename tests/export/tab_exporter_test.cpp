// CspaTABExporter through the export entry points: what ogrinfo reads from
// an exported table (rows, names, geometries ring by ring), and export ->
// import round trips of the samples and of the US states.
#include "export/tab_exporter.h"

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <cmath>
#include <string>
#include <vector>

#include "export/export_test_files.h"
#include "support/io_tools.h"
#include "tab/tab_library.h"

namespace {

using export_test::Ring;
using export_test::TestObject;

std::vector<TestObject> Samples() {
  const Ring outer = export_test::Box(-84000000, 41000000, -80500000, 42500000);
  const Ring hole{{-83000000, 41500000}, {-82000000, 41500000}, {-82000000, 42000000}};
  return {
      export_test::Region("Lake County", {outer, hole}, "LC"),
      export_test::Region("Isle", {export_test::Box(1000000, 1000000, 2000000, 2000000)}),
      export_test::Region("Pair",
                          {export_test::Box(0, 0, 10, 10), export_test::Box(20, 20, 30, 30)}, "P"),
      export_test::Line("Route 9", {Ring{{-87654321, 41123456}, {-87000001, 41999999}}}, "R9"),
      export_test::Line("Spur", {Ring{{1, 2}, {3, 4}, {5, 7}}}, "S"),
      export_test::Line("Trail",
                        {Ring{{10, 20}, {30, 40}, {50, 70}}, Ring{{-1000000, -2000000}, {-3, -4}},
                         Ring{{7, 7}, {8, 8}}},
                        "T"),
      export_test::Point("Tower", -122419415, 37774929, "TW"),
  };
}

// The coordinates of `o` in degrees, rings closed for regions.
std::vector<double> Degrees(const TestObject& o) {
  std::vector<double> out;
  for (const Ring& r : o.rings) {
    for (const auto& p : r) out.insert(out.end(), {p.x / 1e6, p.y / 1e6});
    if (o.type == PIP_OBJECT_REGION) out.insert(out.end(), {r[0].x / 1e6, r[0].y / 1e6});
  }
  return out;
}

// What the TAB reader makes of `o` exported: each coordinate stored as
// v / 1e6 and read under the degree rule (scaled by 1e6 when
// 0 < |y| < 1e6 -- always here but for y = 0 -- and truncated).
TestObject ReadBack(TestObject o) {
  for (Ring& r : o.rings) {
    for (auto& p : r) {
      const double x = p.x / 1e6, y = p.y / 1e6;
      const double scale = y != 0 ? 1e6 : 1;
      p = {static_cast<std::int32_t>(std::trunc(x * scale)),
           static_cast<std::int32_t>(std::trunc(y * scale))};
    }
  }
  return o;
}

class TabExporterTest : public export_test::ExportTest {
 protected:
  // Exports `object_file` to out.tab; the objects written.
  int Export(const std::string& object_file) {
    int handle = 0;
    EXPECT_EQ(pipExportInitTAB(lib_, "out.tab", &handle, kTXRegion), 1);
    return export_test::ExportAll(handle, object_file);
  }
  std::vector<TestObject> Reimport() {
    return export_test::ImportAll(lib_, "back.obj", {[](int import) {
                                    return pipImportOpenTAB(import, "out.tab", "NAME", "NAME2");
                                  }});
  }
};

TEST_F(TabExporterTest, OgrinfoReadsEveryRowRingByRing) {
  export_test::BuildObjectFile(lib_, "sample.obj", Samples());
  const std::vector<TestObject> objects = export_test::ReadObjectFile("sample.obj");
  ASSERT_EQ(Export("sample.obj"), 7);
  // Rows in the order written, with the type code of each kind.
  const int table = TXOpenTable("out.tab", kTXOpenRead);
  ASSERT_GT(table, 0) << TXGetLastErrorText();
  std::string text;
  TXObject o;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    ASSERT_TRUE(TXFetchRow(table, static_cast<std::int32_t>(i + 1), &text, &o));
    EXPECT_EQ(text, "\"" + objects[i].name + "\"\t\"" + objects[i].name2 + "\"");
    const std::int16_t want = objects[i].type == PIP_OBJECT_POINT    ? kTXPoint
                              : objects[i].type == PIP_OBJECT_REGION ? kTXRegion
                              : objects[i].rings.size() > 1          ? kTXMultiPolyline
                              : objects[i].rings[0].size() == 2      ? kTXLine
                                                                     : kTXPolyline;
    EXPECT_EQ(o.type, want) << objects[i];
  }
  TXCloseTable(table);
  if (!lumetra_test::HaveTool("ogrinfo")) GTEST_SKIP() << "ogrinfo (gdal-bin) not installed";
  const auto features =
      lumetra_test::ParseOgrinfo(lumetra_test::RunTool("ogrinfo -ro -al -q out.tab 2>/dev/null"));
  ASSERT_EQ(features.size(), objects.size());
  for (std::size_t i = 0; i < objects.size(); ++i) {
    SCOPED_TRACE(objects[i].name);
    EXPECT_EQ(features[i].fields.at("NAME"), objects[i].name);
    EXPECT_EQ(features[i].fields.at("NAME2"), objects[i].name2);
    const std::vector<double> want = Degrees(objects[i]);
    ASSERT_EQ(features[i].numbers.size(), want.size()) << features[i].geometry;
    for (std::size_t k = 0; k < want.size(); ++k) {
      EXPECT_NEAR(features[i].numbers[k], want[k], 1e-9) << k;
    }
  }
  EXPECT_EQ(features[0].geometry, "POLYGON");       // outer ring and its hole
  EXPECT_EQ(features[2].geometry, "MULTIPOLYGON");  // two outer rings
}

TEST_F(TabExporterTest, ExportedSamplesAndStatesImportAsTheyWere) {
  export_test::BuildObjectFile(lib_, "sample.obj", Samples());
  ASSERT_EQ(Export("sample.obj"), 7);
  std::vector<TestObject> before = export_test::ReadObjectFile("sample.obj");
  std::vector<TestObject> after = Reimport();
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(after[i].name, before[i].name);
    EXPECT_EQ(after[i].name2, before[i].name2);
    EXPECT_EQ(after[i].type, before[i].type);
    EXPECT_EQ(after[i].rings, ReadBack(before[i]).rings) << before[i];
  }
  const std::string states = lumetra_test::SourcePath("data/us_states.shp");
  before = export_test::ImportAll(lib_, "states.obj", {[&](int import) {
                                    return pipImportOpenSHP(import, states.c_str(), "NAME", "FIPS");
                                  }});
  ASSERT_EQ(Export("states.obj"), 56);
  after = Reimport();
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(after[i].name2, before[i].name2);
    EXPECT_EQ(after[i].rings, ReadBack(before[i]).rings) << before[i].name;
  }
}

}  // namespace
