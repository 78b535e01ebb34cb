// AttributeSearch: finding the attribute file, stamps, the hidden record-id
// field, value texts, positioning after finds and gotos, filters, and
// damaged attribute files.
#include "search/attribute_search.h"

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "attribute_test_files.h"
#include "datalib/dllist.h"
#include "datalib/fieldid.h"
#include "frame/error.h"
#include "objfile/extension_block.h"
#include "search/criteria.h"
#include "search/object_file_object.h"
#include "search/polygon_object.h"
#include "search_test_files.h"
#include "support/test_files.h"

namespace {

using attribute_test::Field;
using attribute_test::SampleTable;
using attribute_test::Table;
using attribute_test::WriteTable;
using lumetra_test::ReadBytes;
using lumetra_test::ScopedChdir;
using lumetra_test::ScopedTempDir;
using lumetra_test::WriteBytes;
using search_test::Box;
using search_test::Region;

// --------------------------------------------------------------- names

TEST(AttributeFileName, LastBBecomesA) {
  const struct {
    const char* object;
    const char* attributes;
  } rows[] = {
      {"regions.gsb", "regions.gsa"},
      {"REGIONS.GSB", "REGIONS.GSa"},
      {"dir/x.b", "dir/x.a"},
      {"b", "a"},
      {"x.obj", "x.obj"},
      {"x.gsa", "x.gsa"},
      {"regions", "regions"},
      {"", ""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(AttributeSearch::AttributeFileName(row.object), row.attributes) << row.object;
  }
  EXPECT_EQ(AttributeSearch::AttributeFileName(nullptr), "");
  const std::string longest(254, 'x');
  EXPECT_EQ(AttributeSearch::AttributeFileName((longest + "b").c_str()), longest + "a");
  EXPECT_EQ(AttributeSearch::AttributeFileName((longest + "xb").c_str()), "");
}

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

class AttributeFiles : public ::testing::Test {
 protected:
  AttributeFiles() : chdir_(dir_.path()) {}
  std::string Path(const std::string& name) const { return dir_.File(name); }

  ScopedTempDir dir_;
  ScopedChdir chdir_;
};

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

TEST_F(AttributeFiles, UpperCaseNameFallsBackToUpperCaseA) {
  WriteTable(Path("R.GSA"), SampleTable());
  AttributeSearch a;
  a.Attach(Path("R.GSB").c_str(), "");
  EXPECT_TRUE(a.has_file());
  // The lower-case name is preferred when both exist.
  Table lower = SampleTable();
  lower.fields.push_back(Field("EXTRA", 'C', 4, 0));
  for (auto& row : lower.rows) row.push_back("e");
  WriteTable(Path("R.GSa"), lower);
  a.Attach(Path("R.GSB").c_str(), "");
  EXPECT_EQ(a.VisibleFieldCount(), 5);
}

TEST_F(AttributeFiles, RecordIdFieldIsNeverListed) {
  const struct {
    std::vector<DlFieldSpec> fields;
    std::string key;  // the file's key field
    std::string record_id;
    std::vector<std::string> visible;
  } rows[] = {
      {{Field("NAME", 'C', 10, 0), Field("RecId", 'N', 8, 0), Field("POP", 'N', 8, 0)},
       "RecId",
       "recid",
       {"NAME", "POP"}},
      // qrecid is the record-id field when present.
      {{Field("qrecid", 'N', 8, 0), Field("recid", 'C', 8, 0), Field("NAME", 'C', 8, 0)},
       "qrecid",
       "qrecid",
       {"recid", "NAME"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.key);
    Table t;
    t.fields = row.fields;
    t.key_field = row.key;
    t.rows = {{"1", "2", "3"}};
    WriteTable(Path("m.gsa"), t);
    AttributeSearch a;
    a.Attach(Path("m.gsb").c_str(), "");
    ASSERT_TRUE(a.has_file());
    EXPECT_EQ(a.record_id_name(), row.record_id);
    ASSERT_EQ(a.VisibleFieldCount(), static_cast<int>(row.visible.size()));
    for (std::size_t i = 0; i < row.visible.size(); ++i) {
      ASSERT_NE(a.VisibleField(static_cast<int>(i)), nullptr);
      EXPECT_EQ(a.VisibleField(static_cast<int>(i))->id(), row.visible[i]);
    }
    EXPECT_EQ(a.VisibleField(2), nullptr);
    EXPECT_EQ(a.VisibleField(-1), nullptr);
    ASSERT_NE(a.FieldByName(row.record_id.c_str()), nullptr);
    EXPECT_TRUE(a.IsRecordIdField(*a.FieldByName(row.record_id.c_str())));
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

TEST_F(AttributeFiles, NegativeNumbersAndTwelveCharacterNames) {
  WriteTable(Path("n.gsa"), [] {
    Table t;
    t.fields = {Field("recid", 'N', 8, 0), Field("ABCDEFGHIJKL", 'N', 10, 3),
                Field("TEMP", 'N', 10, 1)};
    t.rows = {{"1", "-0.5", "-12.3"}, {"2", "1234567.891", "0"}};
    return t;
  }());
  AttributeSearch a;
  a.Attach(Path("n.gsb").c_str(), "");
  ASSERT_TRUE(a.has_file());
  pipAttributeInfoStruct info;
  a.Position(1);
  ASSERT_EQ(a.FillInfo(*a.VisibleField(0), &info), 1);
  EXPECT_EQ(std::string(info.name, sizeof info.name), "ABCDEFGHIJKL");  // no terminator
  EXPECT_STREQ(info.value, "-0.500");
  ASSERT_EQ(a.FillInfo(*a.VisibleField(1), &info), 1);
  EXPECT_STREQ(info.value, "-12.3");
  a.Position(2);
  ASSERT_EQ(a.FillInfo(*a.VisibleField(0), &info), 1);
  EXPECT_STREQ(info.value, "1234567.891");
  ASSERT_EQ(a.FillInfo(*a.VisibleField(1), &info), 1);
  EXPECT_STREQ(info.value, "0.0");
}

// ------------------------------------------------------- damaged files

TEST_F(AttributeFiles, TruncatedAndDamagedFilesNeverCrash) {
  WriteTable(Path("good.gsa"), SampleTable());
  const std::vector<std::uint8_t> good = ReadBytes(Path("good.gsa"));
  ASSERT_GT(good.size(), 1024u);
  int attached = 0;
  const auto exercise = [&](const std::vector<std::uint8_t>& bytes) {
    WriteBytes(Path("bad.gsa"), bytes);
    AttributeSearch a;
    a.Attach(Path("bad.gsb").c_str(), "");
    if (!a.has_file()) return;
    ++attached;
    for (int ordinal = 0; ordinal <= 4; ++ordinal) {
      a.Position(ordinal);
      for (int n = 0; n < a.VisibleFieldCount(); ++n) {
        pipAttributeInfoStruct info;
        const int r = a.FillInfo(*a.VisibleField(n), &info);
        EXPECT_TRUE(r == 0 || r == 1);
        EXPECT_LT(std::strlen(info.value), sizeof info.value);
      }
    }
  };
  for (std::size_t length = 0; length < good.size(); length += 97) {
    exercise(std::vector<std::uint8_t>(good.begin(), good.begin() + length));
  }
  std::vector<std::uint8_t> bytes = good;
  for (std::size_t at = 0; at < good.size(); at += 37) {
    bytes[at] ^= 0xA5;
    exercise(bytes);
    bytes[at] = good[at];
  }
  exercise(good);
  EXPECT_GE(attached, 1);
}

// ------------------------------------------- following the current object

class AttributesOfObjectFile : public AttributeFiles {
 protected:
  // Regions A (0..100) and B (50..150) overlap; C lies apart.  Their
  // ordinals 1, 2, 3 are the attribute keys; object 4 has no record.
  void Build(const search_test::FileOptions& options, const std::string& stamp) {
    written_ = search_test::WriteObjectFile(
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
  search_test::WrittenFile written_;
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

TEST_F(AttributesOfObjectFile, GotoPositionsTheAttributes) {
  Build({}, "");
  char name[PIP_NAME_SIZE];
  ASSERT_EQ(object_->FindFirstContaining(250, 250, 0, name, sizeof name), 1);
  ASSERT_EQ(object_->Goto64(written_.offsets[1]), 1);
  EXPECT_EQ(Value("NAME"), "smith");
  EXPECT_EQ(Value("AREA"), "3.25");
  ASSERT_EQ(object_->Goto64(written_.offsets[3]), 1);  // no attribute record
  EXPECT_FALSE(attributes().positioned());
  ASSERT_EQ(object_->Goto64(written_.offsets[0]), 1);
  EXPECT_EQ(Value("NAME"), "Smithfield");
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

TEST_F(AttributesOfObjectFile, CreationTimeOfTheExtensionBlockIsTheStamp) {
  search_test::FileOptions options;
  options.extension = true;
  const std::string creation = lumetra::ExtensionBlock::TimeText(0);
  ASSERT_FALSE(creation.empty());
  Build(options, creation);
  EXPECT_TRUE(attributes().has_file());
  EXPECT_FALSE(attributes().rejected());
  // A stale attribute file is treated as absent.
  Build(options, "Sat Jan  1 00:00:00 2000");
  EXPECT_FALSE(attributes().has_file());
  EXPECT_TRUE(attributes().rejected());
  FilterFactory factory = attributes().MakeFilterFactory();
  std::unique_ptr<ObjectFilter> filter;
  std::string message;
  EXPECT_EQ(factory("NAME = 'x'", &filter, &message), FilterStatus::kNoAttributeFile);
  char name[PIP_NAME_SIZE];
  EXPECT_EQ(object_->FindFirstContaining(250, 250, 0, name, sizeof name), 1);
  EXPECT_FALSE(attributes().positioned());
}

}  // namespace
