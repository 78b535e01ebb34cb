// The BNA writer: output names, file creation and deletion, and its
// failures.  Record layouts are checked by the round trips.
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
using export_test::Ring;
using export_test::TestObject;

class BnaExporterTest : public ::testing::Test {
 protected:
  pipLibraryContext library_;
  lumetra_test::ScopedTempDir dir_;
};

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

TEST_F(BnaExporterTest, RegionWhosePointsAllOpenOtherRingsFails) {
  CspaBNAExporter bna(library_);
  ASSERT_EQ(bna.CreateFiles(dir_.File("out").c_str()), 1);
  EXPECT_EQ(
      export_test::WriteObj(bna, export_test::Region("Dots", {Ring{{4, 4}}, Ring{{4, 4}}}), "Dots"),
      -1);
  ASSERT_EQ(bna.CloseFiles(), 1);
  EXPECT_EQ(lumetra_test::ReadText(dir_.File("out.bna")), "");
  EXPECT_EQ(library_.error().code(), PIP_ERR_GENERAL);
  EXPECT_STREQ(library_.error().detail(),
               "An error occured when exporting the region object \"Dots\".  \n\n\n");
}

}  // namespace
