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

TEST(AttributeStamp, NonEmptyStampMustEqualTheCreationTime) {
  const struct {
    const char* attribute_stamp;
    const char* object_stamp;
    bool rejects;
  } rows[] = {
      {"", "Thu Jan  1 00:00:00 1970", false},
      {"", "", false},
      {nullptr, "x", false},
      {"Thu Jan  1 00:00:00 1970", "Thu Jan  1 00:00:00 1970", false},
      {"Thu Jan  1 00:00:00 1970", "Fri Jan  2 00:00:00 1970", true},
      {"Thu Jan  1 00:00:00 1970", "", true},
      {"Thu Jan  1 00:00:00 1970", nullptr, true},
      {"Thu Jan  1", "Thu Jan  1 00:00:00 1970", true},
      {"Thu Jan  1 00:00:00 1970 extra", "Thu Jan  1 00:00:00 1970", true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(AttributeSearch::StampRejects(row.attribute_stamp, row.object_stamp), row.rejects)
        << (row.attribute_stamp ? row.attribute_stamp : "(null)") << " / "
        << (row.object_stamp ? row.object_stamp : "(null)");
  }
}

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

TEST_F(AttributeFiles, FillInfoGivesValuesByTypeAndDecimals) {
  WriteTable(Path("v.gsa"), SampleTable());
  AttributeSearch a;
  a.Attach(Path("v.gsb").c_str(), "");
  ASSERT_TRUE(a.has_file());
  const ValueRow rows[] = {
      {"NAME", 1, 1, "Smithfield", 'C', 30, 0},
      {"NAME", 2, 1, "smith", 'C', 30, 0},
      {"POP", 3, 1, "45000", 'N', 10, 0},
      {"AREA", 1, 1, "12.50", 'N', 12, 2},
      {"AREA", 3, 1, "0.75", 'N', 12, 2},
      {"CODE", 2, 1, "12.5", 'N', 8, 1},
      {"CODE", 3, 1, "x", 'N', 8, 1},
      {"NAME", 4, 0, "", 'C', 30, 0},
      {"POP", 0, 0, "", 'N', 10, 0},
      {"AREA", -1, 0, "", 'N', 12, 2},
  };
  for (const ValueRow& row : rows) {
    a.Position(row.ordinal);
    EXPECT_EQ(a.positioned(), row.result == 1) << row.field << " " << row.ordinal;
    FieldId* field = a.FieldByName(row.field);
    ASSERT_NE(field, nullptr) << row.field;
    pipAttributeInfoStruct info;
    std::memset(&info, 0x55, sizeof info);
    EXPECT_EQ(a.FillInfo(*field, &info), row.result) << row.field << " " << row.ordinal;
    EXPECT_STREQ(info.name, row.field);
    EXPECT_STREQ(info.value, row.value) << row.field << " " << row.ordinal;
    EXPECT_EQ(info.type, row.type) << row.field;
    EXPECT_EQ(info.width, row.width) << row.field;
    EXPECT_EQ(info.decimals, row.decimals) << row.field;
  }
}

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

TEST_F(AttributesOfObjectFile, ContainingSearchAndFindNextPositionEachHit) {
  Build({}, "");
  ASSERT_TRUE(attributes().has_file());
  std::map<std::string, std::string> seen;  // object name -> NAME attribute
  char name[PIP_NAME_SIZE];
  int r = object_->FindFirstContaining(65, 65, 0, name, sizeof name);
  for (int guard = 0; r > 0 && guard < 10; ++guard) {
    seen[name] = Value("NAME");
    r = object_->FindNext(name, sizeof name);
  }
  EXPECT_EQ(r, 0);
  const std::map<std::string, std::string> expected = {
      {"Smithfield", "Smithfield"}, {"smith", "smith"}, {"Nobody", "(none)"}};
  EXPECT_EQ(seen, expected);
  EXPECT_FALSE(attributes().positioned());  // the search ended on no object

  ASSERT_EQ(object_->FindFirstContaining(250, 250, 0, name, sizeof name), 1);
  EXPECT_STREQ(name, "Jones");
  EXPECT_EQ(Value("POP"), "45000");
  EXPECT_EQ(object_->FindFirstContaining(-50, -50, 0, name, sizeof name), 0);
  EXPECT_FALSE(attributes().positioned());
}

TEST_F(AttributesOfObjectFile, FiltersMatchOnTheCandidatesRecord) {
  Build({}, "");
  const struct {
    const char* criteria;
    bool hits[4];
  } rows[] = {
      {"NAME = 'Smith*'", {true, true, false, false}},
      {"NAME = 'smith'", {false, true, false, false}},
      {"NAME <> 'smith'", {true, false, true, false}},  // no record: never
      {"POP > 1,000", {true, false, true, false}},
      {"AREA < 5", {false, true, true, false}},
      {"AREA IN (12.5, 0.75)", {true, false, true, false}},
      {"POP IN (800, 45000)", {false, true, true, false}},
  };
  for (const auto& row : rows) {
    Criteria c;
    std::string message;
    ASSERT_TRUE(ValidateCriteria(row.criteria, attributes(), &c, &message)) << message;
    for (int i = 0; i < 4; ++i) {
      PolygonObject* o =
          object_->reader().FindObject(written_.offsets[static_cast<std::size_t>(i)]);
      ASSERT_NE(o, nullptr);
      EXPECT_EQ(Matches(c, attributes(), *o), row.hits[i]) << row.criteria << " object " << i;
    }
  }
  // The factory handed to filtered searches.
  FilterFactory factory = attributes().MakeFilterFactory();
  std::unique_ptr<ObjectFilter> filter;
  std::string message;
  EXPECT_EQ(factory("POP > '5'", &filter, &message), FilterStatus::kInvalidCriteria);
  EXPECT_EQ(message, "Invalid value. Alpha values are not valid for this operator.");
  EXPECT_EQ(filter, nullptr);
  ASSERT_EQ(factory("NAME = 'jones'", &filter, &message), FilterStatus::kReady);
  ASSERT_NE(filter, nullptr);
  PolygonObject* jones = object_->reader().FindObject(written_.offsets[2]);
  ASSERT_NE(jones, nullptr);
  EXPECT_TRUE(filter->Accept(*jones));
}

}  // namespace
