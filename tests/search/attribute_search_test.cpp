// AttributeSearch: finding the attribute file, stamps, value texts,
// positioning after finds, and filters.
#include "search/attribute_search.h"

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "datalib/dllist.h"
#include "datalib/fieldid.h"
#include "frame/error.h"
#include "objfile/extension_block.h"
#include "search/criteria.h"
#include "search/object_file_object.h"
#include "search/polygon_object.h"
#include "support/attribute_files.h"
#include "support/object_file_codec.h"
#include "support/test_files.h"

namespace {

using attribute_test::Field;
using attribute_test::SampleTable;
using attribute_test::Table;
using attribute_test::WriteTable;
using lumetra_test::ReadBytes;
using lumetra_test::WriteBytes;
using test_objects::Box;
using test_objects::Region;

// --------------------------------------------------------------- names

// ------------------------------------------------------------- attaching

using AttributeFiles = lumetra_test::ScratchDirTest;

TEST_F(AttributeFiles, AttachFindsTheANameBesideTheObjectFileAndMissingIsNoError) {
  WriteTable(Path("r.gsa"), SampleTable());
  AttributeSearch a;
  a.Attach(Path("r.gsb").c_str(), "");
  EXPECT_TRUE(a.has_file());
  EXPECT_FALSE(a.rejected());
  EXPECT_FALSE(a.positioned());
  EXPECT_EQ(a.record_id_name(), "recid");
  for (const char* object : {"r.obj", "none.gsb"}) {  // used unchanged; missing
    AttributeSearch other;
    other.Attach(Path(object).c_str(), "stamp");
    EXPECT_FALSE(other.has_file()) << object;
    EXPECT_FALSE(other.rejected()) << object;
    EXPECT_EQ(other.VisibleFieldCount(), 0);
    EXPECT_EQ(other.VisibleField(0), nullptr);
    EXPECT_EQ(other.FieldByName("NAME"), nullptr);
    other.Position(1);
    EXPECT_FALSE(other.positioned());
  }
}

// ----------------------------------------------------------------- values

struct ValueRow {
  const char* field;
  int ordinal;
  int result;
  const char* value;
  int type;
  int width;
  int decimals;
};

// ------------------------------------------- following the current object

class AttributesOfObjectFile : public AttributeFiles {
 protected:
  // Regions A (0..100) and B (50..150) overlap; C lies apart.  Their
  // ordinals 1, 2, 3 are the attribute keys; object 4 has no record.
  void Build(const test_objects::FileOptions& options, const std::string& stamp) {
    written_ = test_objects::WriteObjectFile(
        Path("o.gsb"),
        {Region("Smithfield", {Box(0, 0, 100, 100)}), Region("smith", {Box(50, 50, 150, 150)}),
         Region("Jones", {Box(200, 200, 300, 300)}), Region("Nobody", {Box(60, 60, 70, 70)})},
        options);
    Table t = SampleTable();
    t.stamp = stamp;
    WriteTable(Path("o.gsa"), t);
    object_ = std::make_unique<pipObjectFileObject>(err_, Path("o.gsb").c_str(), 0);
    ASSERT_TRUE(object_->ready()) << err_.detail();
    AttachAttributes(*object_, Path("o.gsb").c_str());
    ASSERT_NE(object_->attributes(), nullptr);
  }
  AttributeSearch& attributes() { return *object_->attributes(); }
  std::string Value(const char* field) {
    pipAttributeInfoStruct info;
    FieldId* f = attributes().FieldByName(field);
    if (f == nullptr || attributes().FillInfo(*f, &info) != 1) return "(none)";
    return info.value;
  }

  pipError err_;
  test_objects::WrittenFile written_;
  std::unique_ptr<pipObjectFileObject> object_;
};

}  // namespace
