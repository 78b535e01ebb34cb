// What we write is read by independent readers with the same objects and
// attributes: GDAL's ogrinfo (shapefiles, MIF/MID), shapelib's shpdump and
// dbfdump (shapefiles, dBase tables); and the bundled US states imported,
// then exported to all three formats.  Skipped when the tools are absent
// (Debian packages gdal-bin and shapelib).  GDAL no longer reads BNA, so
// BNA output is checked by importing it again.
#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "export/export_test_files.h"
#include "support/test_files.h"

namespace {

using export_test::Obj;
using export_test::Ring;
using export_test::XY;

// One feature as `ogrinfo -al` prints it.
struct OgrFeature {
  std::map<std::string, std::string> fields;
  std::string geometry;         // POINT, LINESTRING, POLYGON, MULTIPOLYGON, ...
  std::vector<double> numbers;  // every coordinate of the geometry, in order
};

std::vector<double> Numbers(const std::string& wkt) {
  std::vector<double> out;
  const char* p = wkt.c_str();
  while (*p != '\0') {
    if ((*p >= '0' && *p <= '9') || *p == '-' || *p == '.') {
      char* end = nullptr;
      out.push_back(std::strtod(p, &end));
      p = end;
    } else {
      ++p;
    }
  }
  return out;
}

std::vector<OgrFeature> ParseOgrinfo(const std::string& text) {
  static const char* kGeometries[] = {"POINT",      "LINESTRING",      "POLYGON",
                                      "MULTIPOINT", "MULTILINESTRING", "MULTIPOLYGON"};
  std::vector<OgrFeature> features;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("OGRFeature(", 0) == 0) {
      features.emplace_back();
      continue;
    }
    if (features.empty() || line.rfind("  ", 0) != 0) continue;
    const std::size_t equals = line.find(" (String) = ");
    if (equals != std::string::npos) {
      features.back().fields[line.substr(2, equals - 2)] = line.substr(equals + 12);
      continue;
    }
    const std::string keyword = line.substr(2, line.find(' ', 2) - 2);
    for (const char* g : kGeometries) {
      if (keyword == g) {
        features.back().geometry = keyword;
        features.back().numbers = Numbers(line.substr(2 + keyword.size()));
      }
    }
  }
  return features;
}

// Shapes as shpdump prints them: a "Shape:" line per shape, then the
// points, the first point of every part but the first marked with '+'.
std::vector<std::vector<std::vector<double>>> ParseShpdump(const std::string& text) {
  std::vector<std::vector<std::vector<double>>> shapes;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    if (line.compare(first, 6, "Shape:") == 0) {
      shapes.emplace_back();
      continue;
    }
    if (shapes.empty()) continue;
    const bool new_part = line[first] == '+';
    const std::size_t open = line.find('(', first);
    if (open == std::string::npos || (line[first] != '(' && !new_part)) continue;
    double x = 0;
    double y = 0;
    if (std::sscanf(line.c_str() + open, "(%lf,%lf", &x, &y) != 2) continue;
    auto& shape = shapes.back();
    if (new_part || shape.empty()) shape.emplace_back();
    shape.back().push_back(x);
    shape.back().push_back(y);
  }
  return shapes;
}

// Records of `dbfdump -m`: "NAME: value" lines, values trimmed.
std::vector<std::map<std::string, std::string>> ParseDbfdump(const std::string& text) {
  std::vector<std::map<std::string, std::string>> records;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("Record: ", 0) == 0) {
      records.emplace_back();
      continue;
    }
    const std::size_t colon = line.find(": ");
    if (records.empty() || colon == std::string::npos) continue;
    std::string value = line.substr(colon + 2);
    value.erase(value.find_last_not_of(' ') + 1);
    records.back()[line.substr(0, colon)] = value;
  }
  return records;
}

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

class InteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!export_test::HaveTool("ogrinfo") || !export_test::HaveTool("shpdump") ||
        !export_test::HaveTool("dbfdump")) {
      GTEST_SKIP() << "ogrinfo (gdal-bin), shpdump or dbfdump (shapelib) is not installed";
    }
    lib_ = pipInit(0, nullptr);
    ASSERT_GT(lib_, 0);
  }
  void TearDown() override {
    if (lib_ != 0) {
      EXPECT_EQ(pipTerm(lib_), 1);
    }
  }

  // Makes `attempts` writes from `object_file` through `handle` and ends it
  // with commit; answers how many objects were written.
  int ExportAll(int handle, const std::string& object_file, int attempts) {
    EXPECT_EQ(pipExportOpen(handle, object_file.c_str(), PIP_OPEN_CACHE_5MB), 1);
    char name[PIP_NAME_SIZE];
    int percent = 0;
    int count = 0;
    int written = 0;
    for (int i = 0; i < attempts; ++i) {
      if (pipExportWrite(handle, name, sizeof name, &percent, &count) == 1) ++written;
    }
    EXPECT_EQ(pipExportTerm(handle, 1), 1);
    return written;
  }

  std::string Ogrinfo(const std::string& file) {
    return export_test::RunTool("ogrinfo -ro -al -q '" + file + "' 2>/dev/null");
  }

  int lib_ = 0;
  lumetra_test::ScopedTempDir dir_;
  lumetra_test::ScopedChdir chdir_{dir_.path()};
};

TEST_F(InteropTest, ShapefilesAndTablesReadByOgrinfoShpdumpAndDbfdump) {
  export_test::BuildObjectFile(lib_, "sample.obj", SampleObjects());
  const std::vector<Obj> objects = export_test::ReadObjectFile("sample.obj");
  const char* files[] = {"regions.shp", "lines.shp", "points.shp"};
  for (int type = 0; type < 3; ++type) {
    SCOPED_TRACE(files[type]);
    int handle = 0;
    ASSERT_EQ(pipExportInitSHP(lib_, files[type], &handle, type), 1);
    ExportAll(handle, "sample.obj", static_cast<int>(objects.size()));
    std::vector<Obj> expected;
    for (const Obj& o : objects) {
      if (o.type == type) expected.push_back(o);
    }
    ASSERT_EQ(expected.size(), 2u);
    const std::string base =
        std::string(files[type]).substr(0, std::string(files[type]).size() - 4);

    const auto features = ParseOgrinfo(Ogrinfo(files[type]));
    const auto shapes =
        ParseShpdump(export_test::RunTool("shpdump -precision 15 " + base + ".shp"));
    const auto records = ParseDbfdump(export_test::RunTool("dbfdump -m " + base + ".dbf"));
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
  EXPECT_NE(export_test::RunTool("shpdump -validate regions.shp").find("0 object has invalid ring"),
            std::string::npos);
}

TEST_F(InteropTest, MifAndMidReadByOgrinfo) {
  export_test::BuildObjectFile(lib_, "sample.obj", SampleObjects());
  const std::vector<Obj> objects = export_test::ReadObjectFile("sample.obj");
  int handle = 0;
  ASSERT_EQ(pipExportInitMIF(lib_, "sample", &handle), 1);
  ASSERT_EQ(ExportAll(handle, "sample.obj", static_cast<int>(objects.size())),
            static_cast<int>(objects.size()));
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
  const std::string text = Ogrinfo("sample.mif");
  const auto features = ParseOgrinfo(text);
  ASSERT_EQ(features.size(), expected.size()) << text;
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
    source_ = export_test::SourceRoot() + "/data/us_states";
    ASSERT_TRUE(lumetra_test::FileExists(source_ + ".shp")) << source_;
    pipObjectFileInfoStruct info{};
    info.maxPoints = 100000;
    info.maxParts = 1000;
    info.coordType = PIP_COORD_GEOGRAPHIC;
    int import = 0;
    ASSERT_EQ(pipImportInit(lib_, "states.obj", &info, &import), 1);
    ASSERT_EQ(pipImportOpenSHP(import, source_.c_str(), "NAME", "FIPS"), 1);
    char name[PIP_NAME_SIZE];
    int percent = 0;
    int line = 0;
    int result;
    while ((result = pipImportRead(import, name, sizeof name, &percent, &line)) == 1) {
    }
    ASSERT_EQ(result, 0);
    ASSERT_EQ(pipImportTerm(import, 1), 1);
    states_ = export_test::ReadObjectFile("states.obj");
    ASSERT_EQ(states_.size(), 56u);
    for (const OgrFeature& f : ParseOgrinfo(Ogrinfo(source_ + ".shp"))) {
      original_[f.fields.at("NAME")] = f;
    }
    ASSERT_EQ(original_.size(), 56u);
  }

  // Our output against the original shapefile: one feature per state in
  // name-index order, names and codes, every coordinate to 1e-6 degrees.
  void CheckAgainstOriginal(const std::string& file, const char* name_field,
                            const char* code_field) {
    const std::string text = Ogrinfo(file);
    EXPECT_EQ(export_test::OgrFeatureCount(
                  export_test::RunTool("ogrinfo -ro -al -so '" + file + "' 2>/dev/null")),
              56);
    const auto features = ParseOgrinfo(text);
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

  std::string source_;
  std::vector<Obj> states_;
  std::map<std::string, OgrFeature> original_;
};

TEST_F(UsStatesTest, ShapefileExportMatchesTheOriginal) {
  int handle = 0;
  ASSERT_EQ(pipExportInitSHP(lib_, "states_out.shp", &handle, PIP_OBJECT_REGION), 1);
  ASSERT_EQ(ExportAll(handle, "states.obj", 56), 56);
  CheckAgainstOriginal("states_out.shp", "NAME", "NAME2");
  EXPECT_NE(
      export_test::RunTool("shpdump -validate states_out.shp").find("0 object has invalid ring"),
      std::string::npos);
  const auto records = ParseDbfdump(export_test::RunTool("dbfdump -m states_out.dbf"));
  ASSERT_EQ(records.size(), 56u);
  EXPECT_EQ(records[35].at("NAME"), states_[35].name);
  EXPECT_EQ(records[35].at("NAME2"), states_[35].name2);
}

TEST_F(UsStatesTest, MifExportMatchesTheOriginal) {
  int handle = 0;
  ASSERT_EQ(pipExportInitMIF(lib_, "states_out", &handle), 1);
  ASSERT_EQ(ExportAll(handle, "states.obj", 56), 56);
  CheckAgainstOriginal("states_out.mif", "Name", "Name2");
}

TEST_F(UsStatesTest, BnaExportImportsAgainToTheSameStates) {
  int handle = 0;
  ASSERT_EQ(pipExportInitBNA(lib_, "states_out", &handle), 1);
  ASSERT_EQ(ExportAll(handle, "states.obj", 56), 56);
  pipObjectFileInfoStruct info{};
  info.maxPoints = 100000;
  info.maxParts = 1000;
  info.coordType = PIP_COORD_GEOGRAPHIC;
  int import = 0;
  ASSERT_EQ(pipImportInit(lib_, "back.obj", &info, &import), 1);
  ASSERT_EQ(pipImportOpenBNA(import, "states_out.bna", 1), 1);
  char name[PIP_NAME_SIZE];
  int percent = 0;
  int line = 0;
  int result;
  while ((result = pipImportRead(import, name, sizeof name, &percent, &line)) == 1) {
  }
  ASSERT_EQ(result, 0);
  ASSERT_EQ(pipImportTerm(import, 1), 1);
  const std::vector<Obj> back = export_test::ReadObjectFile("back.obj");
  ASSERT_EQ(back.size(), 56u);
  for (std::size_t i = 0; i < 56; ++i) {
    SCOPED_TRACE(states_[i].name);
    EXPECT_EQ(back[i].name, states_[i].name);
    EXPECT_EQ(back[i].type, PIP_OBJECT_REGION);
    EXPECT_EQ(back[i].parts, states_[i].parts);
  }
}

}  // namespace
