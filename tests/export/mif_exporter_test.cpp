// The MIF/MID writer: the byte layout of point, line and region objects
// with their MID rows, and a MID that cannot be created.
#include "export/mif_exporter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "export/export_test_files.h"
#include "frame/library_context.h"
#include "support/test_files.h"

namespace {

using export_test::Box;
using export_test::Ring;
using export_test::TestObject;
using lumetra_test::ReadText;

constexpr char kDefaultHeader[] =
    "Version 300\n"
    "Delimiter \",\"\n"
    "Index 1\n"
    "Columns 2\n"
    "  Name  Char(128)\n"
    "  Name2 Char(128)\n"
    "Data\n\n";

class MifExporterTest : public ::testing::Test {
 protected:
  pipLibraryContext library_;
  lumetra_test::ScopedTempDir dir_;
};

// Each row: one object through WriteObject and the MIF text after the
// header and the MID text it makes.
TEST_F(MifExporterTest, ObjectLayouts) {
  TestObject points = export_test::Point("Well", -87500000, 41123456, "W2");
  points.rings[0].push_back({5, -6});
  points.pen_pattern = 35;  // symbol shape
  points.pen_width = 12;    // symbol size
  points.pen_colour = 255;  // symbol colour
  TestObject line = export_test::Line(
      "Road", {Ring{{0, 0}, {1000000, 0}, {1000000, 1000000}}, Ring{{-2000000, 3}, {4, 5}}});
  line.pen_width = 2;
  line.pen_pattern = 3;
  line.pen_colour = 4;
  TestObject region = export_test::Region(
      "Lake",
      {Box(0, 0, 2000000, 2000000), Ring{{500000, 500000}, {1000000, 500000}, {500000, 1000000}}},
      "L-1");
  region.at = {1000000, 1500000};
  region.pen_width = 1;
  region.pen_pattern = 2;
  region.pen_colour = 7;
  region.brush_pattern = 3;
  region.brush_fore = 4;
  region.brush_back = 5;
  const struct {
    const char* what;
    const TestObject& object;
    const char* mif;
    const char* mid;
  } rows[] = {
      {"points share one symbol clause", points,
       "POINT   -87.500000   41.123456 \nPOINT     0.000005   -0.000006 \n"
       "    Symbol (35,255,12)\n",
       "\"Well\",\"W2\"\n\"Well\",\"W2\"\n"},
      {"a two-part line becomes two plines with two rows", line,
       "PLINE   3\n   0.000000    0.000000 \n   1.000000    0.000000 \n   1.000000    1.000000 \n"
       "    Pen (2,3,4)\n"
       "PLINE   2\n  -2.000000    0.000003 \n   0.000004    0.000005 \n    Pen (2,3,4)\n",
       "\"Road\",\"\"\n\"Road\",\"\"\n"},
      {"region rings are written as stored with style and center", region,
       "REGION  2\n4\n   0.000000    0.000000 \n   2.000000    0.000000 \n"
       "   2.000000    2.000000 \n   0.000000    2.000000 \n"
       "3\n   0.500000    0.500000 \n   1.000000    0.500000 \n   0.500000    1.000000 \n"
       "    Pen (1,2,7)\n    Brush (3, 4, 5)\n    Center    1.000000     1.500000\n\n",
       "\"Lake\",\"L-1\"\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    CspaMIFExporter exporter(library_);
    ASSERT_EQ(exporter.CreateFiles(dir_.File("out").c_str()), 1);
    EXPECT_EQ(export_test::WriteObj(exporter, row.object, row.object.name.c_str()), 1);
    ASSERT_EQ(exporter.CloseFiles(), 1);
    EXPECT_EQ(ReadText(dir_.File("out.mif")), std::string(kDefaultHeader) + row.mif);
    EXPECT_EQ(ReadText(dir_.File("out.mid")), row.mid);
  }
}

TEST_F(MifExporterTest, MidThatCannotBeCreatedFailsAndLeavesNoMif) {
  // A directory named like the MID file makes its creation fail.
  ASSERT_EQ(::mkdir(dir_.File("clash.mid").c_str(), 0700), 0);
  CspaMIFExporter exporter(library_);
  EXPECT_EQ(exporter.CreateFiles(dir_.File("clash").c_str()), -1);
  EXPECT_EQ(library_.error().code(), EISDIR);
  EXPECT_STREQ(library_.error().detail(), dir_.File("clash.mid").c_str());
  EXPECT_FALSE(lumetra_test::FileExists(dir_.File("clash.mif")));
}

}  // namespace
