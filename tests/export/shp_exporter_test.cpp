// The shapefile writer: base names, the three files, the accepted type,
// closed rings, multi-part lines, the NAME/NAME2 table, read back through
// the Shape* and db* routines, and its failures.
#include "export/shp_exporter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "export/export_test_files.h"
#include "frame/library_context.h"
#include "support/io_shapefile.h"
#include "support/io_tools.h"
#include "support/test_files.h"

namespace {

using export_test::Box;
using export_test::Obj;
using export_test::Ring;
using lumetra_test::StderrOf;
using Rings = std::vector<lumetra_test::Ring>;
using Names = std::vector<std::pair<std::string, std::string>>;

// Every record of a shapefile through ShapeRead as (type, rings), and every
// record of its table as (NAME, NAME2).
void ReadBack(const std::string& base, std::vector<std::pair<int, Rings>>* shapes, Names* names) {
  shpFile shape{};
  ASSERT_EQ(ShapeOpen(&shape, base.c_str()), 0) << base;
  while (ShapeRead(&shape) == 0) {
    shapes->push_back({shape.shapeType, shape.shapeType == SHP_POINT
                                            ? Rings{{shape.points[0], shape.points[1]}}
                                            : lumetra_test::ReadRings(shape)});
  }
  ShapeClose(&shape);
  dbTable table{};
  ASSERT_EQ(dbOpen(&table, base.c_str()), 0);
  ASSERT_EQ(table.numFields, 2);
  EXPECT_STREQ(table.fields[0].name, "NAME");
  EXPECT_STREQ(table.fields[1].name, "NAME2");
  while (dbRead(&table) == 0)
    names->push_back({table.fields[0].value.text, table.fields[1].value.text});
  dbClose(&table);
}

class ShpExporterTest : public ::testing::Test {
 protected:
  pipLibraryContext library_;
  lumetra_test::ScopedTempDir dir_;
};

TEST(ShpBaseName, ExtensionOfTheLastPathComponentIsDropped) {
  const struct {
    const char* given;
    const char* expected;
  } rows[] = {
      {"out.shp", "out"},
      {"out", "out"},
      {"a.b.c", "a.b"},
      {"dir.v2/out", "dir.v2/out"},
      {"dir.v2/out.shp", "dir.v2/out"},
      {".hidden", ".hidden"},
      {"dir/.hidden", "dir/.hidden"},
      {"dir\\x.shp", "dir\\x"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(CspaSHPExporter::BaseName(row.given), row.expected) << row.given;
  }
}

TEST_F(ShpExporterTest, CreateFilesMakesShapefileIndexAndTableThatDeleteFilesKeeps) {
  CspaSHPExporter exporter(library_, PIP_OBJECT_REGION);
  ASSERT_EQ(exporter.CreateFiles(dir_.File("out").c_str()), 1);
  ASSERT_EQ(exporter.CloseFiles(), 1);
  EXPECT_EQ(lumetra_test::ReadBytes(dir_.File("out.shp")).size(), 100u);
  EXPECT_EQ(lumetra_test::ReadBytes(dir_.File("out.shx")).size(), 100u);
  const std::vector<std::uint8_t> dbf = lumetra_test::ReadBytes(dir_.File("out.dbf"));
  ASSERT_EQ(dbf.size(), 97u);
  EXPECT_EQ(dbf[8] | dbf[9] << 8, 97);     // header length: 32 x 2 fields + 33
  EXPECT_EQ(dbf[10] | dbf[11] << 8, 257);  // record length: 1 + 128 + 128
  EXPECT_EQ(exporter.DeleteFiles(), 1);
  for (const char* ext : {".shp", ".shx", ".dbf"}) {
    EXPECT_TRUE(lumetra_test::FileExists(dir_.File(std::string("out") + ext))) << ext;
  }
}

// Each row: objects of the exporter's type written, and what the Shape*
// and db* routines read back.
TEST_F(ShpExporterTest, ObjectsAreReadBack) {
  Obj well = export_test::Point("Well", "W", -87500000, 41123456);
  well.parts[0].push_back({5, 6});
  const struct {
    const char* what;
    int type;
    Obj object;
    Rings rings;
    Names names;
  } rows[] = {
      {"region rings are written closed",
       PIP_OBJECT_REGION,
       export_test::Region("Lake", "L1",
                           {Box(-1500000, 0, 2000000, 2500000), Ring{{1, 1}, {3, 1}, {1, 3}}}),
       {{-1.5, 0, 2, 0, 2, 2.5, -1.5, 2.5, -1.5, 0},
        {1e-6, 1e-6, 3e-6, 1e-6, 1e-6, 3e-6, 1e-6, 1e-6}},
       {{"Lake", "L1"}}},
      {"a line of three parts is one record of three open parts",
       PIP_OBJECT_LINE,
       export_test::Line(
           "Road", "",
           {Ring{{0, 0}, {1000000, 0}}, Ring{{2, 2}, {3, 3}, {4, 2}}, Ring{{7, 7}, {8, 8}}}),
       {{0, 0, 1, 0}, {2e-6, 2e-6, 3e-6, 3e-6, 4e-6, 2e-6}, {7e-6, 7e-6, 8e-6, 8e-6}},
       {{"Road", ""}}},
      {"a point object writes its first point",
       PIP_OBJECT_POINT,
       well,
       {{-87.5, 41.123456}},
       {{"Well", "W"}}},
  };
  const int kShapeTypes[] = {SHP_POLYGON, SHP_POLYLINE, SHP_POINT};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    CspaSHPExporter exporter(library_, row.type);
    ASSERT_EQ(exporter.CreateFiles(dir_.File("out").c_str()), 1);
    ASSERT_EQ(export_test::WriteObj(exporter, row.object, "N"), 1);
    ASSERT_EQ(exporter.CloseFiles(), 1);
    std::vector<std::pair<int, Rings>> shapes;
    Names names;
    ReadBack(dir_.File("out"), &shapes, &names);
    ASSERT_EQ(shapes.size(), 1u);
    EXPECT_EQ(shapes[0].first, kShapeTypes[row.type]);
    ASSERT_EQ(shapes[0].second.size(), row.rings.size());
    for (std::size_t p = 0; p < row.rings.size(); ++p) {
      ASSERT_EQ(shapes[0].second[p].size(), row.rings[p].size()) << "part " << p;
      for (std::size_t i = 0; i < row.rings[p].size(); ++i) {
        const double want = row.rings[p][i];
        if (want * 8 == std::round(want * 8)) {  // exact in binary: nothing to round
          EXPECT_EQ(shapes[0].second[p][i], want) << "part " << p << " value " << i;
        } else {
          EXPECT_DOUBLE_EQ(shapes[0].second[p][i], want) << "part " << p << " value " << i;
        }
      }
    }
    EXPECT_EQ(names, row.names);
  }
}

TEST_F(ShpExporterTest, LongNamesAreCutToTheFieldLength) {
  CspaSHPExporter exporter(library_, PIP_OBJECT_POINT);
  ASSERT_EQ(exporter.CreateFiles(dir_.File("out").c_str()), 1);
  pipObjectInfoStruct info = export_test::InfoOf(export_test::Point("", "", 1, 2));
  std::memset(info.name, 'N', sizeof info.name);  // no terminator
  const int points[] = {1, 2};
  const int counts[] = {1};
  ASSERT_EQ(exporter.WriteObject("N", info, points, counts, 1), 1);
  ASSERT_EQ(exporter.CloseFiles(), 1);
  std::vector<std::pair<int, Rings>> shapes;
  Names names;
  ReadBack(dir_.File("out"), &shapes, &names);
  EXPECT_EQ(names, (Names{{std::string(128, 'N'), ""}}));
}

TEST_F(ShpExporterTest, OtherTypeIsRefusedAndNothingWritten) {
  CspaSHPExporter exporter(library_, PIP_OBJECT_REGION);
  ASSERT_EQ(exporter.CreateFiles(dir_.File("out").c_str()), 1);
  EXPECT_EQ(export_test::WriteObj(exporter, export_test::Point("P", "", 1, 2), "P"), -1);
  EXPECT_EQ(library_.error().code(), PIP_ERR_GENERAL);
  EXPECT_STREQ(library_.error().detail(), "An incorrect type was attempted to be written.");
  ASSERT_EQ(exporter.CloseFiles(), 1);
  std::vector<std::pair<int, Rings>> shapes;
  Names names;
  ReadBack(dir_.File("out"), &shapes, &names);
  EXPECT_TRUE(shapes.empty());
  EXPECT_TRUE(names.empty());
}

TEST_F(ShpExporterTest, WritersRefuseBadPartsAndClosedOutput) {
  CspaSHPExporter exporter(library_, PIP_OBJECT_LINE);
  ASSERT_EQ(exporter.CreateFiles(dir_.File("out").c_str()), 1);
  const pipObjectInfoStruct info = export_test::InfoOf(export_test::Line("L", "", {}));
  const int points[] = {0, 0, 1, 1};
  const int counts[] = {2};
  const int empty[] = {0};
  EXPECT_EQ(exporter.WriteLine("L", info, points, empty, 1), -1);
  EXPECT_EQ(exporter.WriteLine("L", info, points, counts, 0), -1);
  EXPECT_EQ(exporter.WriteRegion("L", info, points, counts, 1), -1);
  ASSERT_EQ(exporter.CloseFiles(), 1);
  EXPECT_EQ(exporter.WriteLine("L", info, points, counts, 1), -1);
}

// The db* and Shape* routines print their failure to standard error.
TEST_F(ShpExporterTest, FilesThatCannotBeCreatedFail) {
  ASSERT_EQ(::mkdir(dir_.File("clash.dbf").c_str(), 0700), 0);
  CspaSHPExporter clash(library_, PIP_OBJECT_REGION);
  EXPECT_NE(StderrOf([&] { EXPECT_EQ(clash.CreateFiles(dir_.File("clash").c_str()), -1); }), "");
  EXPECT_EQ(library_.error().code(), EISDIR);
  EXPECT_STREQ(library_.error().detail(), dir_.File("clash.dbf").c_str());
  EXPECT_FALSE(lumetra_test::FileExists(dir_.File("clash.shp")));  // no shapefile left
  EXPECT_FALSE(lumetra_test::FileExists(dir_.File("clash.shx")));

  CspaSHPExporter missing(library_, PIP_OBJECT_LINE);
  StderrOf([&] { EXPECT_EQ(missing.CreateFiles(dir_.File("missing/out").c_str()), -1); });
  EXPECT_EQ(library_.error().code(), ENOENT);
  EXPECT_STREQ(library_.error().detail(), dir_.File("missing/out.shp").c_str());
}

}  // namespace
