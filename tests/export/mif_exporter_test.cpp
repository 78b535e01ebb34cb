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
