// The BNA writer: output names, the byte layout of point, line and region
// records, the start point of region records, and its failures.
#include "export/bna_exporter.h"

#include <gtest/gtest.h>

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

std::string ReadText(const std::string& path) {
  const std::vector<std::uint8_t> bytes = lumetra_test::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

class BnaExporterTest : public ::testing::Test {
 protected:
  // Writes `o` (through WriteObject, with `name` as the name argument) and
  // answers the file's text after closing.
  std::string Export(const Obj& o, const char* name, int* result) {
    CspaBNAExporter bna(library_);
    EXPECT_EQ(bna.CreateFiles(dir_.File("out").c_str()), 1);
    std::vector<int> points;
    std::vector<int> counts;
    export_test::CoordsOf(o, &points, &counts);
    const pipObjectInfoStruct info = InfoOf(o);
    const int count = o.type == PIP_OBJECT_POINT ? static_cast<int>(points.size() / 2)
                                                 : static_cast<int>(counts.size());
    *result = bna.WriteObject(name, info, points.data(), counts.data(), count);
    EXPECT_EQ(bna.CloseFiles(), 1);
    return ReadText(dir_.File("out.bna"));
  }

  pipLibraryContext library_;
  lumetra_test::ScopedTempDir dir_;
};

TEST(BnaOutputName, ExtensionIsAddedOrReplaced) {
  const struct {
    const char* given;
    const char* expected;
  } rows[] = {
      {"out", "out.bna"},
      {"out.BNA", "out.bna"},
      {"out.bna", "out.bna"},
      {"dir/roads", "dir/roads.bna"},
      {"roads.txt", "roads.txt.bna"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(CspaBNAExporter::OutputName(row.given), row.expected) << row.given;
  }
}

TEST_F(BnaExporterTest, CreateFilesMakesTheBnaFile) {
  CspaBNAExporter bna(library_);
  ASSERT_EQ(bna.CreateFiles(dir_.File("out.BNA").c_str()), 1);
  EXPECT_EQ(bna.file_name(), dir_.File("out.bna"));
  EXPECT_EQ(bna.CloseFiles(), 1);
  EXPECT_TRUE(lumetra_test::FileExists(dir_.File("out.bna")));
  EXPECT_EQ(bna.DeleteFiles(), 1);
  EXPECT_FALSE(lumetra_test::FileExists(dir_.File("out.bna")));
}

TEST_F(BnaExporterTest, CreateFilesInMissingDirectoryFailsWithSystemError) {
  CspaBNAExporter bna(library_);
  EXPECT_EQ(bna.CreateFiles(dir_.File("no/such/dir/out").c_str()), -1);
  EXPECT_EQ(library_.error().code(), ENOENT);
  EXPECT_EQ(std::string(library_.error().detail()), dir_.File("no/such/dir/out.bna"));
}

TEST_F(BnaExporterTest, OverlongNameIsRefused) {
  CspaBNAExporter bna(library_);
  const std::string name(CspaBNAExporter::kFileNameSize, 'a');
  EXPECT_EQ(bna.CreateFiles(name.c_str()), -1);
  EXPECT_EQ(library_.error().code(), ENAMETOOLONG);
}

TEST_F(BnaExporterTest, PointObjectWritesOneRecordPerPoint) {
  Obj o = export_test::Point("Well", "W2", -87500000, 41123456);
  o.parts[0].push_back({5, -6});
  int result = 0;
  const std::string text = Export(o, "Well", &result);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(text,
            "\"Well\",  \"W2\",  \"Well\", 1\n"
            " -87.500000,   41.123456 \n"
            "\"Well\",  \"W2\",  \"Well\", 1\n"
            "   0.000005,   -0.000006 \n");
}

TEST_F(BnaExporterTest, HeaderWithoutNameArgumentHasTwoNames) {
  const Obj o = export_test::Point("Well", "", 1000000, 2000000);
  int result = 0;
  EXPECT_EQ(Export(o, nullptr, &result),
            "\"Well\",  \"\",  1\n"
            "   1.000000,    2.000000 \n");
  EXPECT_EQ(result, 1);
}

TEST_F(BnaExporterTest, EachLinePartIsOneRecordWithNegativeCount) {
  const Obj o = export_test::Line(
      "Road", "R", {Ring{{0, 0}, {1000000, 0}, {1000000, 1000000}}, Ring{{-2000000, 3}, {4, 5}}});
  int result = 0;
  EXPECT_EQ(Export(o, "Road", &result),
            "\"Road\",  \"R\",  \"Road\", -3\n"
            "   0.000000,    0.000000 \n"
            "   1.000000,    0.000000 \n"
            "   1.000000,    1.000000 \n"
            "\"Road\",  \"R\",  \"Road\", -2\n"
            "  -2.000000,    0.000003 \n"
            "   0.000004,    0.000005 \n");
  EXPECT_EQ(result, 1);
}

TEST_F(BnaExporterTest, RegionRingsAreClosedAndCounted) {
  // Rings of 4 and 3 points: count 4 + 1 + 3 + 1 = 9.
  const Obj o = export_test::Region(
      "Lake", "",
      {Box(0, 0, 2000000, 2000000), Ring{{500000, 500000}, {1000000, 500000}, {500000, 1000000}}});
  int result = 0;
  EXPECT_EQ(Export(o, "Lake", &result),
            "\"Lake\",  \"\",  \"Lake\", 9\n"
            "   0.000000,    0.000000 \n"
            "   2.000000,    0.000000 \n"
            "   2.000000,    2.000000 \n"
            "   0.000000,    2.000000 \n"
            "   0.000000,    0.000000\n"
            "   0.500000,    0.500000 \n"
            "   1.000000,    0.500000 \n"
            "   0.500000,    1.000000 \n"
            "   0.500000,    0.500000\n");
  EXPECT_EQ(result, 1);
}

TEST_F(BnaExporterTest, RegionStartsAtFirstPointThatOpensNoOtherRing) {
  // Both rings begin at (0, 0): the record starts at the first ring's second
  // point, that ring rotated, then the second ring from its own first point.
  const Obj o = export_test::Region(
      "Twin", "", {Ring{{0, 0}, {3, 0}, {3, 3}}, Ring{{0, 0}, {-3, 0}, {-3, -3}}});
  int result = 0;
  EXPECT_EQ(Export(o, "Twin", &result),
            "\"Twin\",  \"\",  \"Twin\", 8\n"
            "   0.000003,    0.000000 \n"
            "   0.000003,    0.000003 \n"
            "   0.000000,    0.000000 \n"
            "   0.000003,    0.000000\n"
            "   0.000000,    0.000000 \n"
            "  -0.000003,    0.000000 \n"
            "  -0.000003,   -0.000003 \n"
            "   0.000000,    0.000000\n");
  EXPECT_EQ(result, 1);
}

TEST_F(BnaExporterTest, RegionStartInALaterRingWrapsAround) {
  // Every point before (7, 7) opens another ring; the start lies in the
  // second ring, which is written first (rotated), then the third, the
  // fourth and the first.
  const Obj o = export_test::Region(
      "Wrap", "",
      {Ring{{1, 1}, {2, 2}}, Ring{{2, 2}, {7, 7}}, Ring{{1, 1}, {9, 9}}, Ring{{2, 2}, {5, 5}}});
  std::vector<int> points;
  std::vector<int> counts;
  export_test::CoordsOf(o, &points, &counts);
  EXPECT_EQ(CspaBNAExporter::RegionStartPoint(points.data(), counts.data(), 4), 3);
  int result = 0;
  const std::string text = Export(o, "Wrap", &result);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(text,
            "\"Wrap\",  \"\",  \"Wrap\", 12\n"
            "   0.000007,    0.000007 \n"
            "   0.000002,    0.000002 \n"
            "   0.000007,    0.000007\n"
            "   0.000001,    0.000001 \n"
            "   0.000009,    0.000009 \n"
            "   0.000001,    0.000001\n"
            "   0.000002,    0.000002 \n"
            "   0.000005,    0.000005 \n"
            "   0.000002,    0.000002\n"
            "   0.000001,    0.000001 \n"
            "   0.000002,    0.000002 \n"
            "   0.000001,    0.000001\n");
}

TEST_F(BnaExporterTest, RegionWhosePointsAllOpenOtherRingsFails) {
  const Obj o = export_test::Region("Dots", "", {Ring{{4, 4}}, Ring{{4, 4}}});
  int result = 0;
  const std::string text = Export(o, "Dots", &result);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(text, "");
  EXPECT_EQ(library_.error().code(), PIP_ERR_GENERAL);
  EXPECT_STREQ(library_.error().detail(),
               "An error occured when exporting the region object \"Dots\".  \n\n\n");
}

TEST_F(BnaExporterTest, WritersRefuseOtherTypesAndEmptyParts) {
  CspaBNAExporter bna(library_);
  ASSERT_EQ(bna.CreateFiles(dir_.File("out").c_str()), 1);
  const Obj line = export_test::Line("L", "", {Ring{{0, 0}, {1, 1}}});
  const pipObjectInfoStruct info = InfoOf(line);
  const int points[] = {0, 0, 1, 1};
  const int counts[] = {2};
  EXPECT_EQ(bna.WritePoint("L", info, points, counts, 2), -1);
  EXPECT_EQ(bna.WriteRegion("L", info, points, counts, 1), -1);
  EXPECT_EQ(bna.WriteLine("L", info, points, counts, 0), -1);
  const int empty[] = {0};
  EXPECT_EQ(bna.WriteLine("L", info, points, empty, 1), -1);
  EXPECT_EQ(bna.WriteLine("L", info, points, counts, 1), 1);
  EXPECT_EQ(bna.CloseFiles(), 1);
}

TEST_F(BnaExporterTest, ExporterDestroyedWithoutCloseRemovesItsFile) {
  {
    CspaBNAExporter bna(library_);
    ASSERT_EQ(bna.CreateFiles(dir_.File("gone").c_str()), 1);
    EXPECT_TRUE(lumetra_test::FileExists(dir_.File("gone.bna")));
  }
  EXPECT_FALSE(lumetra_test::FileExists(dir_.File("gone.bna")));
}

}  // namespace
