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
using export_test::Obj;
using export_test::Ring;

class BnaExporterTest : public ::testing::Test {
 protected:
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

TEST_F(BnaExporterTest, CreateAndDeleteFilesAndTheirFailures) {
  CspaBNAExporter bna(library_);
  ASSERT_EQ(bna.CreateFiles(dir_.File("out.BNA").c_str()), 1);
  EXPECT_EQ(bna.file_name(), dir_.File("out.bna"));
  EXPECT_EQ(bna.CloseFiles(), 1);
  EXPECT_TRUE(lumetra_test::FileExists(dir_.File("out.bna")));
  EXPECT_EQ(bna.DeleteFiles(), 1);
  EXPECT_FALSE(lumetra_test::FileExists(dir_.File("out.bna")));

  CspaBNAExporter missing(library_);
  EXPECT_EQ(missing.CreateFiles(dir_.File("no/such/dir/out").c_str()), -1);
  EXPECT_EQ(library_.error().code(), ENOENT);
  EXPECT_EQ(std::string(library_.error().detail()), dir_.File("no/such/dir/out.bna"));

  CspaBNAExporter overlong(library_);
  const std::string name(CspaBNAExporter::kFileNameSize, 'a');
  EXPECT_EQ(overlong.CreateFiles(name.c_str()), -1);
  EXPECT_EQ(library_.error().code(), ENAMETOOLONG);

  {
    CspaBNAExporter unclosed(library_);
    ASSERT_EQ(unclosed.CreateFiles(dir_.File("gone").c_str()), 1);
    EXPECT_TRUE(lumetra_test::FileExists(dir_.File("gone.bna")));
  }
  EXPECT_FALSE(lumetra_test::FileExists(dir_.File("gone.bna")));  // destroyed without close
}

// Each row: one object through WriteObject and the whole file it makes.
TEST_F(BnaExporterTest, RecordLayouts) {
  Obj two_points = export_test::Point("Well", "W2", -87500000, 41123456);
  two_points.parts[0].push_back({5, -6});
  const Ring triangle{{500000, 500000}, {1000000, 500000}, {500000, 1000000}};
  const struct {
    const char* what;
    Obj object;
    const char* name;  // the name argument
    const char* text;
  } rows[] = {
      {"a point object writes one record per point", two_points, "Well",
       "\"Well\",  \"W2\",  \"Well\", 1\n -87.500000,   41.123456 \n"
       "\"Well\",  \"W2\",  \"Well\", 1\n   0.000005,   -0.000006 \n"},
      {"without the name argument the header has two names",
       export_test::Point("Well", "", 1000000, 2000000), nullptr,
       "\"Well\",  \"\",  1\n   1.000000,    2.000000 \n"},
      {"each line part is one record with a negative count",
       export_test::Line(
           "Road", "R",
           {Ring{{0, 0}, {1000000, 0}, {1000000, 1000000}}, Ring{{-2000000, 3}, {4, 5}}}),
       "Road",
       "\"Road\",  \"R\",  \"Road\", -3\n"
       "   0.000000,    0.000000 \n   1.000000,    0.000000 \n   1.000000,    1.000000 \n"
       "\"Road\",  \"R\",  \"Road\", -2\n  -2.000000,    0.000003 \n   0.000004,    0.000005 \n"},
      // Rings of 4 and 3 points: count 4 + 1 + 3 + 1 = 9.
      {"region rings are closed and counted",
       export_test::Region("Lake", "", {Box(0, 0, 2000000, 2000000), triangle}), "Lake",
       "\"Lake\",  \"\",  \"Lake\", 9\n"
       "   0.000000,    0.000000 \n   2.000000,    0.000000 \n   2.000000,    2.000000 \n"
       "   0.000000,    2.000000 \n   0.000000,    0.000000\n"
       "   0.500000,    0.500000 \n   1.000000,    0.500000 \n   0.500000,    1.000000 \n"
       "   0.500000,    0.500000\n"},
      // Both rings begin at (0, 0): the record starts at the first ring's
      // second point, that ring rotated, then the second ring from its start.
      {"a region starts at its first point that opens no other ring",
       export_test::Region("Twin", "",
                           {Ring{{0, 0}, {3, 0}, {3, 3}}, Ring{{0, 0}, {-3, 0}, {-3, -3}}}),
       "Twin",
       "\"Twin\",  \"\",  \"Twin\", 8\n"
       "   0.000003,    0.000000 \n   0.000003,    0.000003 \n   0.000000,    0.000000 \n"
       "   0.000003,    0.000000\n"
       "   0.000000,    0.000000 \n  -0.000003,    0.000000 \n  -0.000003,   -0.000003 \n"
       "   0.000000,    0.000000\n"},
      // Every point before (7, 7) opens another ring: the second ring is
      // written first (rotated), then the third, the fourth and the first.
      {"a start in a later ring wraps around",
       export_test::Region("Wrap", "",
                           {Ring{{1, 1}, {2, 2}}, Ring{{2, 2}, {7, 7}}, Ring{{1, 1}, {9, 9}},
                            Ring{{2, 2}, {5, 5}}}),
       "Wrap",
       "\"Wrap\",  \"\",  \"Wrap\", 12\n"
       "   0.000007,    0.000007 \n   0.000002,    0.000002 \n   0.000007,    0.000007\n"
       "   0.000001,    0.000001 \n   0.000009,    0.000009 \n   0.000001,    0.000001\n"
       "   0.000002,    0.000002 \n   0.000005,    0.000005 \n   0.000002,    0.000002\n"
       "   0.000001,    0.000001 \n   0.000002,    0.000002 \n   0.000001,    0.000001\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    CspaBNAExporter bna(library_);
    ASSERT_EQ(bna.CreateFiles(dir_.File("out").c_str()), 1);
    EXPECT_EQ(export_test::WriteObj(bna, row.object, row.name), 1);
    ASSERT_EQ(bna.CloseFiles(), 1);
    EXPECT_EQ(export_test::ReadText(dir_.File("out.bna")), row.text);
  }
  std::vector<int> points;
  std::vector<int> counts;
  export_test::CoordsOf(rows[5].object, &points, &counts);
  EXPECT_EQ(CspaBNAExporter::RegionStartPoint(points.data(), counts.data(), 4), 3);
}

TEST_F(BnaExporterTest, RegionWhosePointsAllOpenOtherRingsFails) {
  CspaBNAExporter bna(library_);
  ASSERT_EQ(bna.CreateFiles(dir_.File("out").c_str()), 1);
  EXPECT_EQ(export_test::WriteObj(
                bna, export_test::Region("Dots", "", {Ring{{4, 4}}, Ring{{4, 4}}}), "Dots"),
            -1);
  ASSERT_EQ(bna.CloseFiles(), 1);
  EXPECT_EQ(export_test::ReadText(dir_.File("out.bna")), "");
  EXPECT_EQ(library_.error().code(), PIP_ERR_GENERAL);
  EXPECT_STREQ(library_.error().detail(),
               "An error occured when exporting the region object \"Dots\".  \n\n\n");
}

TEST_F(BnaExporterTest, WritersRefuseOtherTypesAndEmptyParts) {
  CspaBNAExporter bna(library_);
  ASSERT_EQ(bna.CreateFiles(dir_.File("out").c_str()), 1);
  const pipObjectInfoStruct info = export_test::InfoOf(export_test::Line("L", "", {}));
  const int points[] = {0, 0, 1, 1};
  const int counts[] = {2};
  const int empty[] = {0};
  EXPECT_EQ(bna.WritePoint("L", info, points, counts, 2), -1);
  EXPECT_EQ(bna.WriteRegion("L", info, points, counts, 1), -1);
  EXPECT_EQ(bna.WriteLine("L", info, points, counts, 0), -1);
  EXPECT_EQ(bna.WriteLine("L", info, points, empty, 1), -1);
  EXPECT_EQ(bna.WriteLine("L", info, points, counts, 1), 1);
  EXPECT_EQ(bna.CloseFiles(), 1);
}

}  // namespace
