// The MIF/MID writer: output names, the header, the byte layout of point,
// line and region objects with their MID rows, and its failures.
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
using export_test::InfoOf;
using export_test::Obj;
using export_test::Ring;

constexpr char kDefaultHeader[] =
    "Version 300\n"
    "Delimiter \",\"\n"
    "Index 1\n"
    "Columns 2\n"
    "  Name  Char(128)\n"
    "  Name2 Char(128)\n"
    "Data\n\n";

std::string ReadText(const std::string& path) {
  const std::vector<std::uint8_t> bytes = lumetra_test::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

class MifExporterTest : public ::testing::Test {
 protected:
  // Writes `o` through WriteObject and answers the MIF text after the
  // header and the MID text.
  void Export(const Obj& o, int* result, std::string* mif, std::string* mid) {
    CspaMIFExporter exporter(library_);
    ASSERT_EQ(exporter.CreateFiles(dir_.File("out").c_str()), 1);
    std::vector<int> points;
    std::vector<int> counts;
    export_test::CoordsOf(o, &points, &counts);
    const pipObjectInfoStruct info = InfoOf(o);
    const int count = o.type == PIP_OBJECT_POINT ? static_cast<int>(points.size() / 2)
                                                 : static_cast<int>(counts.size());
    *result = exporter.WriteObject(o.name.c_str(), info, points.data(), counts.data(), count);
    ASSERT_EQ(exporter.CloseFiles(), 1);
    const std::string text = ReadText(dir_.File("out.mif"));
    ASSERT_EQ(text.compare(0, sizeof kDefaultHeader - 1, kDefaultHeader), 0) << text;
    *mif = text.substr(sizeof kDefaultHeader - 1);
    *mid = ReadText(dir_.File("out.mid"));
  }

  pipLibraryContext library_;
  lumetra_test::ScopedTempDir dir_;
};

TEST(MifOutputName, ExtensionIsAddedOrReplaced) {
  const struct {
    const char* given;
    const char* mif;
    const char* mid;
  } rows[] = {
      {"roads", "roads.mif", "roads.mid"},
      {"roads.MIF", "roads.mif", "roads.mid"},
      {"roads.mif", "roads.mif", "roads.mid"},
      {"a/b.txt", "a/b.txt.mif", "a/b.txt.mid"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(CspaMIFExporter::MifName(row.given), row.mif) << row.given;
    EXPECT_EQ(CspaMIFExporter::MidName(row.given), row.mid) << row.given;
  }
}

TEST_F(MifExporterTest, CreateFilesWritesTheDefaultHeader) {
  CspaMIFExporter exporter(library_);
  ASSERT_EQ(exporter.CreateFiles(dir_.File("roads").c_str()), 1);
  EXPECT_EQ(exporter.mif_name(), dir_.File("roads.mif"));
  EXPECT_EQ(exporter.mid_name(), dir_.File("roads.mid"));
  ASSERT_EQ(exporter.CloseFiles(), 1);
  EXPECT_EQ(ReadText(dir_.File("roads.mif")), kDefaultHeader);
  EXPECT_EQ(ReadText(dir_.File("roads.mid")), "");
}

TEST_F(MifExporterTest, CreateFilesExAppendsUpperCaseExtensionsAndTakesOptions) {
  CspaMIFExporter exporter(library_);
  ASSERT_EQ(exporter.CreateFilesEx(dir_.File("roads.x").c_str(), 450, "\t"), 1);
  EXPECT_EQ(exporter.delimiter(), "\t");
  const pipObjectInfoStruct info = InfoOf(export_test::Point("A", "B", 0, 1000000));
  const int points[] = {0, 1000000};
  const int counts[] = {1};
  EXPECT_EQ(exporter.WriteObject("A", info, points, counts, 1), 1);
  ASSERT_EQ(exporter.CloseFiles(), 1);
  EXPECT_EQ(ReadText(dir_.File("roads.x.MIF")).substr(0, 31),
            "Version 450\nDelimiter \"\t\"\nIndex");
  EXPECT_EQ(ReadText(dir_.File("roads.x.MID")), "\"A\"\t\"B\"\n");
}

TEST_F(MifExporterTest, PointsShareOneSymbolClause) {
  Obj o = export_test::Point("Well", "W2", -87500000, 41123456);
  o.parts[0].push_back({5, -6});
  o.pen_pattern = 35;  // symbol shape
  o.pen_width = 12;    // symbol size
  o.pen_colour = 255;  // symbol colour
  int result = 0;
  std::string mif;
  std::string mid;
  Export(o, &result, &mif, &mid);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(mif,
            "POINT   -87.500000   41.123456 \n"
            "POINT     0.000005   -0.000006 \n"
            "    Symbol (35,255,12)\n");
  EXPECT_EQ(mid, "\"Well\",\"W2\"\n\"Well\",\"W2\"\n");
}

TEST_F(MifExporterTest, TwoPartLineBecomesTwoPlinesWithTwoRows) {
  Obj o = export_test::Line(
      "Road", "", {Ring{{0, 0}, {1000000, 0}, {1000000, 1000000}}, Ring{{-2000000, 3}, {4, 5}}});
  o.pen_width = 2;
  o.pen_pattern = 3;
  o.pen_colour = 4;
  int result = 0;
  std::string mif;
  std::string mid;
  Export(o, &result, &mif, &mid);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(mif,
            "PLINE   3\n"
            "   0.000000    0.000000 \n"
            "   1.000000    0.000000 \n"
            "   1.000000    1.000000 \n"
            "    Pen (2,3,4)\n"
            "PLINE   2\n"
            "  -2.000000    0.000003 \n"
            "   0.000004    0.000005 \n"
            "    Pen (2,3,4)\n");
  EXPECT_EQ(mid, "\"Road\",\"\"\n\"Road\",\"\"\n");
}

TEST_F(MifExporterTest, RegionRingsAreWrittenAsStoredWithStyleAndCenter) {
  Obj o = export_test::Region(
      "Lake", "L-1",
      {Box(0, 0, 2000000, 2000000), Ring{{500000, 500000}, {1000000, 500000}, {500000, 1000000}}});
  o.label = {1000000, 1500000};
  o.pen_width = 1;
  o.pen_pattern = 2;
  o.pen_colour = 7;
  o.brush_pattern = 3;
  o.brush_fore = 4;
  o.brush_back = 5;
  int result = 0;
  std::string mif;
  std::string mid;
  Export(o, &result, &mif, &mid);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(mif,
            "REGION  2\n"
            "4\n"
            "   0.000000    0.000000 \n"
            "   2.000000    0.000000 \n"
            "   2.000000    2.000000 \n"
            "   0.000000    2.000000 \n"
            "3\n"
            "   0.500000    0.500000 \n"
            "   1.000000    0.500000 \n"
            "   0.500000    1.000000 \n"
            "    Pen (1,2,7)\n"
            "    Brush (3, 4, 5)\n"
            "    Center    1.000000     1.500000\n\n");
  EXPECT_EQ(mid, "\"Lake\",\"L-1\"\n");
}

TEST_F(MifExporterTest, WritersRefuseOtherTypesAndBadParts) {
  CspaMIFExporter exporter(library_);
  ASSERT_EQ(exporter.CreateFiles(dir_.File("out").c_str()), 1);
  const pipObjectInfoStruct region = InfoOf(export_test::Region("R", "", {Box(0, 0, 1, 1)}));
  const int points[] = {0, 0, 1, 0, 1, 1, 0, 1};
  const int counts[] = {4};
  const int negative[] = {-4};
  EXPECT_EQ(exporter.WriteLine("R", region, points, counts, 1), -1);
  EXPECT_EQ(exporter.WritePoint("R", region, points, counts, 1), -1);
  EXPECT_EQ(exporter.WriteRegion("R", region, points, negative, 1), -1);
  EXPECT_EQ(exporter.WriteRegion("R", region, points, counts, 0), -1);
  EXPECT_EQ(exporter.WriteRegion("R", region, points, counts, 1), 1);
  ASSERT_EQ(exporter.CloseFiles(), 1);
}

TEST_F(MifExporterTest, UnknownTypeIsReportedWithTheRegionText) {
  CspaMIFExporter exporter(library_);
  ASSERT_EQ(exporter.CreateFiles(dir_.File("out").c_str()), 1);
  pipObjectInfoStruct info = InfoOf(export_test::Region("Odd", "", {Box(0, 0, 1, 1)}));
  info.type = 7;
  const int points[] = {0, 0, 1, 0, 1, 1, 0, 1};
  const int counts[] = {4};
  EXPECT_EQ(exporter.WriteObject("Odd", info, points, counts, 1), -1);
  EXPECT_EQ(library_.error().code(), PIP_ERR_GENERAL);
  EXPECT_STREQ(library_.error().detail(),
               "An error occured when exporting the region object \"Odd\".  \n\n\n");
  ASSERT_EQ(exporter.CloseFiles(), 1);
}

TEST_F(MifExporterTest, DeleteFilesRemovesBoth) {
  CspaMIFExporter exporter(library_);
  ASSERT_EQ(exporter.CreateFiles(dir_.File("gone").c_str()), 1);
  ASSERT_EQ(exporter.CloseFiles(), 1);
  EXPECT_EQ(exporter.DeleteFiles(), 1);
  EXPECT_FALSE(lumetra_test::FileExists(dir_.File("gone.mif")));
  EXPECT_FALSE(lumetra_test::FileExists(dir_.File("gone.mid")));
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
