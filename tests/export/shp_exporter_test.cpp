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

class ShpExporterTest : public ::testing::Test {
 protected:
  pipLibraryContext library_;
  lumetra_test::ScopedTempDir dir_;
};

}  // namespace
