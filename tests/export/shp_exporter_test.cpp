// The shapefile writer: the three files and the NAME/NAME2 table with
// long names cut to the field length.
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
using export_test::Ring;
using export_test::TestObject;
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

TEST_F(ShpExporterTest, LongNamesAreCutToTheFieldLength) {
  CspaSHPExporter exporter(library_, PIP_OBJECT_POINT);
  ASSERT_EQ(exporter.CreateFiles(dir_.File("out").c_str()), 1);
  pipObjectInfoStruct info = export_test::InfoOf(export_test::Point("", 1, 2));
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

}  // namespace
