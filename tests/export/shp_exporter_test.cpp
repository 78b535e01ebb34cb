// The shapefile writer: base names, the three files, the accepted type,
// closed rings, multi-part lines, the NAME/NAME2 table, read back through
// the Shape* and db* routines.
#include "export/shp_exporter.h"

#include <gtest/gtest.h>
#include <lumetra/dbf.h>
#include <lumetra/shapefile.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "export/export_test_files.h"
#include "frame/library_context.h"
#include "support/test_files.h"

namespace {

using export_test::Box;
using export_test::InfoOf;
using export_test::Obj;
using export_test::Ring;

struct ReadShape {
  int type = 0;
  std::vector<std::vector<std::pair<double, double>>> parts;
};

// Every record of a shapefile, through ShapeRead.
std::vector<ReadShape> ReadShapes(const std::string& base) {
  std::vector<ReadShape> out;
  shpFile shape;
  EXPECT_EQ(ShapeOpen(&shape, base.c_str()), 0) << base;
  while (ShapeRead(&shape) == 0) {
    ReadShape s;
    s.type = shape.shapeType;
    if (s.type == SHP_POINT) {
      s.parts.push_back({{shape.points[0], shape.points[1]}});
    } else {
      shpPart* parts = shape.parts;
      for (int p = 0; p < shape.numParts; ++p) {
        const shpPart part = parts[p];
        std::vector<std::pair<double, double>> ring;
        for (int k = 0; k < part.numPoints; ++k) {
          ring.push_back({part.points[2 * k], part.points[2 * k + 1]});
        }
        s.parts.push_back(ring);
      }
    }
    out.push_back(s);
  }
  ShapeClose(&shape);
  return out;
}

// Every record of a dBase table as (NAME, NAME2).
std::vector<std::pair<std::string, std::string>> ReadNames(const std::string& base) {
  std::vector<std::pair<std::string, std::string>> out;
  dbTable table;
  EXPECT_EQ(dbOpen(&table, base.c_str()), 0);
  EXPECT_EQ(table.numFields, 2);
  dbField* fields = table.fields;
  EXPECT_STREQ(fields[0].name, "NAME");
  EXPECT_STREQ(fields[1].name, "NAME2");
  while (dbRead(&table) == 0) out.push_back({fields[0].value.text, fields[1].value.text});
  dbClose(&table);
  return out;
}

class ShpExporterTest : public ::testing::Test {
 protected:
  int Write(CspaSHPExporter& exporter, const Obj& o) {
    std::vector<int> points;
    std::vector<int> counts;
    export_test::CoordsOf(o, &points, &counts);
    const pipObjectInfoStruct info = InfoOf(o);
    const int count = o.type == PIP_OBJECT_POINT ? static_cast<int>(points.size() / 2)
                                                 : static_cast<int>(counts.size());
    return exporter.WriteObject(o.name.c_str(), info, points.data(), counts.data(), count);
  }

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

TEST_F(ShpExporterTest, CreateFilesMakesShapefileIndexAndTable) {
  CspaSHPExporter exporter(library_, PIP_OBJECT_REGION);
  ASSERT_EQ(exporter.CreateFiles(dir_.File("out").c_str()), 1);
  ASSERT_EQ(exporter.CloseFiles(), 1);
  EXPECT_EQ(lumetra_test::ReadBytes(dir_.File("out.shp")).size(), 100u);
  EXPECT_EQ(lumetra_test::ReadBytes(dir_.File("out.shx")).size(), 100u);
  const std::vector<std::uint8_t> dbf = lumetra_test::ReadBytes(dir_.File("out.dbf"));
  ASSERT_EQ(dbf.size(), 97u);
  EXPECT_EQ(dbf[8] | dbf[9] << 8, 97);     // header length: 32 x 2 fields + 33
  EXPECT_EQ(dbf[10] | dbf[11] << 8, 257);  // record length: 1 + 128 + 128
}

TEST_F(ShpExporterTest, OtherTypeIsRefusedAndNothingWritten) {
  CspaSHPExporter exporter(library_, PIP_OBJECT_REGION);
  ASSERT_EQ(exporter.CreateFiles(dir_.File("out").c_str()), 1);
  EXPECT_EQ(Write(exporter, export_test::Point("P", "", 1, 2)), -1);
  EXPECT_EQ(library_.error().code(), PIP_ERR_GENERAL);
  EXPECT_STREQ(library_.error().detail(), "An incorrect type was attempted to be written.");
  ASSERT_EQ(exporter.CloseFiles(), 1);
  EXPECT_TRUE(ReadShapes(dir_.File("out")).empty());
  EXPECT_TRUE(ReadNames(dir_.File("out")).empty());
}

TEST_F(ShpExporterTest, RegionRingsAreWrittenClosed) {
  CspaSHPExporter exporter(library_, PIP_OBJECT_REGION);
  ASSERT_EQ(exporter.CreateFiles(dir_.File("out").c_str()), 1);
  ASSERT_EQ(Write(exporter, export_test::Region("Lake", "L1",
                                                {Box(-1500000, 0, 2000000, 2500000),
                                                 Ring{{1, 1}, {3, 1}, {1, 3}}})),
            1);
  ASSERT_EQ(exporter.CloseFiles(), 1);
  const auto shapes = ReadShapes(dir_.File("out"));
  ASSERT_EQ(shapes.size(), 1u);
  EXPECT_EQ(shapes[0].type, SHP_POLYGON);
  ASSERT_EQ(shapes[0].parts.size(), 2u);
  const std::vector<std::pair<double, double>> outer = {
      {-1.5, 0}, {2, 0}, {2, 2.5}, {-1.5, 2.5}, {-1.5, 0}};
  EXPECT_EQ(shapes[0].parts[0], outer);
  ASSERT_EQ(shapes[0].parts[1].size(), 4u);
  EXPECT_EQ(shapes[0].parts[1].front(), shapes[0].parts[1].back());
  EXPECT_DOUBLE_EQ(shapes[0].parts[1][1].first, 3e-6);
  const auto names = ReadNames(dir_.File("out"));
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].first, "Lake");
  EXPECT_EQ(names[0].second, "L1");
}

TEST_F(ShpExporterTest, LineOfThreePartsIsOneRecordOfThreeParts) {
  CspaSHPExporter exporter(library_, PIP_OBJECT_LINE);
  ASSERT_EQ(exporter.CreateFiles(dir_.File("out").c_str()), 1);
  ASSERT_EQ(
      Write(exporter, export_test::Line("Road", "",
                                        {Ring{{0, 0}, {1000000, 0}}, Ring{{2, 2}, {3, 3}, {4, 2}},
                                         Ring{{7, 7}, {8, 8}}})),
      1);
  ASSERT_EQ(exporter.CloseFiles(), 1);
  const auto shapes = ReadShapes(dir_.File("out"));
  ASSERT_EQ(shapes.size(), 1u);
  EXPECT_EQ(shapes[0].type, SHP_POLYLINE);
  ASSERT_EQ(shapes[0].parts.size(), 3u);
  EXPECT_EQ(shapes[0].parts[0].size(), 2u);  // lines stay open
  EXPECT_EQ(shapes[0].parts[1].size(), 3u);
  EXPECT_EQ(shapes[0].parts[2].size(), 2u);
  EXPECT_DOUBLE_EQ(shapes[0].parts[0][1].first, 1.0);
  EXPECT_EQ(ReadNames(dir_.File("out")),
            (std::vector<std::pair<std::string, std::string>>{{"Road", ""}}));
}

TEST_F(ShpExporterTest, PointObjectWritesItsFirstPoint) {
  CspaSHPExporter exporter(library_, PIP_OBJECT_POINT);
  ASSERT_EQ(exporter.CreateFiles(dir_.File("out").c_str()), 1);
  Obj o = export_test::Point("Well", "W", -87500000, 41123456);
  o.parts[0].push_back({5, 6});
  ASSERT_EQ(Write(exporter, o), 1);
  ASSERT_EQ(exporter.CloseFiles(), 1);
  const auto shapes = ReadShapes(dir_.File("out"));
  ASSERT_EQ(shapes.size(), 1u);
  EXPECT_EQ(shapes[0].type, SHP_POINT);
  EXPECT_DOUBLE_EQ(shapes[0].parts[0][0].first, -87.5);
  EXPECT_DOUBLE_EQ(shapes[0].parts[0][0].second, 41.123456);
}

TEST_F(ShpExporterTest, LongNamesAreCutToTheFieldLength) {
  CspaSHPExporter exporter(library_, PIP_OBJECT_POINT);
  ASSERT_EQ(exporter.CreateFiles(dir_.File("out").c_str()), 1);
  pipObjectInfoStruct info = InfoOf(export_test::Point("", "", 1, 2));
  std::memset(info.name, 'N', sizeof info.name);  // no terminator
  const int points[] = {1, 2};
  const int counts[] = {1};
  ASSERT_EQ(exporter.WriteObject("N", info, points, counts, 1), 1);
  ASSERT_EQ(exporter.CloseFiles(), 1);
  const auto names = ReadNames(dir_.File("out"));
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].first, std::string(128, 'N'));
}

TEST_F(ShpExporterTest, DeleteFilesRemovesNothing) {
  CspaSHPExporter exporter(library_, PIP_OBJECT_REGION);
  ASSERT_EQ(exporter.CreateFiles(dir_.File("kept").c_str()), 1);
  ASSERT_EQ(exporter.CloseFiles(), 1);
  EXPECT_EQ(exporter.DeleteFiles(), 1);
  for (const char* ext : {".shp", ".shx", ".dbf"}) {
    EXPECT_TRUE(lumetra_test::FileExists(dir_.File(std::string("kept") + ext))) << ext;
  }
}

TEST_F(ShpExporterTest, TableThatCannotBeCreatedFailsAndLeavesNoShapefile) {
  ASSERT_EQ(::mkdir(dir_.File("clash.dbf").c_str(), 0700), 0);
  CspaSHPExporter exporter(library_, PIP_OBJECT_REGION);
  testing::internal::CaptureStderr();  // the db* routine prints its failure
  EXPECT_EQ(exporter.CreateFiles(dir_.File("clash").c_str()), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(library_.error().code(), EISDIR);
  EXPECT_STREQ(library_.error().detail(), dir_.File("clash.dbf").c_str());
  EXPECT_FALSE(lumetra_test::FileExists(dir_.File("clash.shp")));
  EXPECT_FALSE(lumetra_test::FileExists(dir_.File("clash.shx")));
}

TEST_F(ShpExporterTest, ShapefileThatCannotBeCreatedFails) {
  CspaSHPExporter exporter(library_, PIP_OBJECT_LINE);
  testing::internal::CaptureStderr();
  EXPECT_EQ(exporter.CreateFiles(dir_.File("missing/out").c_str()), -1);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(library_.error().code(), ENOENT);
  EXPECT_STREQ(library_.error().detail(), dir_.File("missing/out.shp").c_str());
}

TEST_F(ShpExporterTest, WritersRefuseBadPartsAndClosedOutput) {
  CspaSHPExporter exporter(library_, PIP_OBJECT_LINE);
  ASSERT_EQ(exporter.CreateFiles(dir_.File("out").c_str()), 1);
  const pipObjectInfoStruct info = InfoOf(export_test::Line("L", "", {Ring{{0, 0}, {1, 1}}}));
  const int points[] = {0, 0, 1, 1};
  const int counts[] = {2};
  const int empty[] = {0};
  EXPECT_EQ(exporter.WriteLine("L", info, points, empty, 1), -1);
  EXPECT_EQ(exporter.WriteLine("L", info, points, counts, 0), -1);
  EXPECT_EQ(exporter.WriteRegion("L", info, points, counts, 1), -1);
  ASSERT_EQ(exporter.CloseFiles(), 1);
  EXPECT_EQ(exporter.WriteLine("L", info, points, counts, 1), -1);
}

}  // namespace
