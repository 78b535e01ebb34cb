// Attribute files as callers see them: an object file built with
// pipImportInit(Ex) / pipImportInsert / pipImportTerm, its attribute file
// built with the DlBuilder* functions (key field "recid" holding the object
// ordinals, stamped with the object file's creation time), then opened,
// searched and described through the exported functions only.  Also
// pipObjectFileValidate, criteria validation, filtered nearest searches
// and damaged attribute files.
#include <gtest/gtest.h>
#include <lumetra/datalib.h>
#include <lumetra/pip.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace {

using lumetra_test::ReadBytes;
using lumetra_test::ScopedChdir;
using lumetra_test::ScopedTempDir;
using lumetra_test::WriteBytes;

struct Shape {
  int type;
  std::string name;
  int x0, y0, x1, y1;  // a box for regions; (x0, y0) for points
};

// One attribute record per object, in ordinal order.
struct Row {
  const char* name;
  const char* pop;
  const char* area;
};

// Regions WEST and EAST side by side, three wells to the east of them.
const std::vector<Shape> kShapes = {
    {PIP_OBJECT_REGION, "WEST", 0, 0, 100, 100}, {PIP_OBJECT_REGION, "EAST", 100, 0, 200, 100},
    {PIP_OBJECT_POINT, "WELL1", 250, 50, 0, 0},  {PIP_OBJECT_POINT, "WELL2", 260, 50, 0, 0},
    {PIP_OBJECT_POINT, "WELL3", 300, 50, 0, 0},
};
const std::vector<Row> kRows = {
    {"West side", "1200", "12.5"}, {"East side", "800", "3.25"}, {"Old well", "50", "0"},
    {"New well", "500", "0.5"},    {"Deep well", "5000", "1"},
};

class AttributesCapi : public ::testing::Test {
 protected:
  AttributesCapi() : chdir_(dir_.path()) {}
  void SetUp() override {
    lib_ = pipInit(0, nullptr);
    ASSERT_GT(lib_, 0);
  }
  void TearDown() override {
    for (int h : open_) EXPECT_EQ(pipObjectFileClose(h), 1) << "handle " << h;
    for (int h : open_) EXPECT_EQ(pipObjectFileClose(h), -1) << "handle " << h << " twice";
    EXPECT_EQ(pipTerm(lib_), 1);
  }

  std::string Path(const std::string& file) const { return dir_.File(file); }

  // Builds an object file; with `extension` it carries a creation time.
  void BuildObjects(const std::string& file, const std::vector<Shape>& shapes, bool extension) {
    pipObjectFileInfoStruct info;
    std::memset(&info, 0, sizeof info);
    info.maxPoints = 1000;
    info.maxParts = 10;
    int h = 0;
    const int rc = extension
                       ? pipImportInitEx(lib_, Path(file).c_str(), &info, 12, "first", "second", &h)
                       : pipImportInit(lib_, Path(file).c_str(), &info, &h);
    ASSERT_EQ(rc, 1) << Detail();
    for (const Shape& s : shapes) {
      pipObjectInfoStruct o;
      std::memset(&o, 0, sizeof o);
      o.type = s.type;
      std::strncpy(o.name, s.name.c_str(), sizeof o.name - 1);
      std::vector<int> xy;
      int count = 0;
      if (s.type == PIP_OBJECT_POINT) {
        o.x = s.x0;
        o.y = s.y0;
      } else {
        xy = {s.x0, s.y0, s.x1, s.y0, s.x1, s.y1, s.x0, s.y1};
        count = 4;
      }
      ASSERT_EQ(pipImportInsert(h, &o, xy.data(), &count, s.type == PIP_OBJECT_POINT ? 0 : 1), 1)
          << s.name << ": " << Detail();
    }
    ASSERT_EQ(pipImportTerm(h, 1), 1) << Detail();
  }

  // The creation-time text of an object file ("" without extension block).
  std::string CreationTime(const std::string& file) {
    int h = 0;
    if (pipObjectFileOpen(lib_, Path(file).c_str(), 0, &h) != 1) return "(cannot open)";
    pipObjectFileExtraInfoStruct extra;
    std::string text;
    if (pipObjectHandleFileQueryEx(h, &extra) == 1) {
      text.assign(extra.creationTime, strnlen(extra.creationTime, sizeof extra.creationTime));
    }
    EXPECT_EQ(pipObjectFileClose(h), 1);
    return text;
  }

  // Writes an attribute file: recid (the key, 1..n), NAME, POP, AREA.
  void BuildAttributes(const std::string& file, const std::string& stamp,
                       const std::vector<Row>& rows) {
    DlBuilder* b = DlBuilderCreate(Path(file).c_str(), 'N', "recid", stamp.c_str());
    ASSERT_NE(b, nullptr) << DlDetail();
    ASSERT_EQ(DlBuilderAddField(b, "NAME", "NAME", 'C', 30, 0, "Name", nullptr), 1) << DlDetail();
    ASSERT_EQ(DlBuilderAddField(b, "POP", "POP", 'N', 10, 0, "Population", nullptr), 1);
    ASSERT_EQ(DlBuilderAddField(b, "recid", "recid", 'N', 10, 0, nullptr, nullptr), 1);
    ASSERT_EQ(DlBuilderAddField(b, "AREA", "AREA", 'N', 12, 2, "Area", nullptr), 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const std::string ordinal = std::to_string(i + 1);
      const char* values[] = {rows[i].name, rows[i].pop, ordinal.c_str(), rows[i].area};
      ASSERT_EQ(DlBuilderAddRecord(b, values), 1) << DlDetail();
    }
    ASSERT_EQ(DlBuilderFinish(b), 1) << DlDetail();
  }

  // The sample object file "map.gsb" with its stamped attribute file.
  void BuildSample() {
    BuildObjects("map.gsb", kShapes, true);
    const std::string stamp = CreationTime("map.gsb");
    ASSERT_FALSE(stamp.empty());
    BuildAttributes("map.gsa", stamp, kRows);
  }

  int Open(const std::string& file) {
    int h = -5;
    if (pipObjectFileOpen(lib_, Path(file).c_str(), 0, &h) != 1) {
      EXPECT_EQ(h, 0);
      return 0;
    }
    open_.insert(h);
    return h;
  }

  int Code(std::string* detail = nullptr) {
    char message[PIP_ERROR_TEXT_SIZE];
    char text[PIP_ERROR_TEXT_SIZE];
    const int code = pipErrorGet(lib_, message, text);
    if (detail != nullptr) *detail = text;
    return code;
  }
  std::string Detail() {
    std::string d;
    Code(&d);
    return d;
  }
  static std::string DlDetail() {
    char detail[DL_ERROR_TEXT_SIZE] = "";
    DlErrorGet(nullptr, nullptr, detail);
    return detail;
  }

  // The value text of a field of the current object; "(n)" for result n
  // other than 1.
  static std::string Value(int h, const char* field) {
    pipAttributeInfoStruct info;
    const int r = pipObjectGetAttributeInfoByName(h, field, &info);
    return r == 1 ? std::string(info.value) : "(" + std::to_string(r) + ")";
  }

  ScopedTempDir dir_;
  ScopedChdir chdir_;
  int lib_ = 0;
  std::set<int> open_;
};

TEST_F(AttributesCapi, FoundRegionComesWithItsAttributes) {
  BuildSample();
  const int h = Open("map.gsb");
  ASSERT_NE(h, 0) << Detail();

  int count = -1;
  ASSERT_EQ(pipObjectGetAttributeCount(h, &count), 1);
  EXPECT_EQ(count, 3);  // recid is hidden
  const char* expected_names[] = {"NAME", "POP", "AREA"};
  for (int n = 0; n < 3; ++n) {
    char name[16] = "junk";
    ASSERT_EQ(pipObjectGetAttributeNameByNumber(h, n, name, sizeof name), 1);
    EXPECT_STREQ(name, expected_names[n]);
  }
  char name[PIP_NAME_SIZE] = "junk";
  EXPECT_EQ(pipObjectGetAttributeNameByNumber(h, 3, name, sizeof name), -1);
  EXPECT_STREQ(name, "");

  // Before any find there is no record to describe.
  pipAttributeInfoStruct info;
  ASSERT_EQ(pipObjectGetAttributeInfoByName(h, "POP", &info), 0);
  EXPECT_STREQ(info.name, "POP");
  EXPECT_STREQ(info.value, "");
  EXPECT_EQ(info.type, 'N');
  EXPECT_EQ(info.width, 10);

  ASSERT_EQ(pipObjectFindFirstContaining(h, 50, 50, 0, name, sizeof name), 1);
  EXPECT_STREQ(name, "WEST");
  EXPECT_EQ(Value(h, "NAME"), "West side");
  EXPECT_EQ(Value(h, "pop"), "1200");
  ASSERT_EQ(pipObjectGetAttributeInfoByNumber(h, 2, &info), 1);
  EXPECT_STREQ(info.name, "AREA");
  EXPECT_STREQ(info.value, "12.50");
  EXPECT_EQ(info.type, 'N');
  EXPECT_EQ(info.width, 12);
  EXPECT_EQ(info.decimals, 2);

  ASSERT_EQ(pipObjectFindFirstContaining(h, 150, 50, 0, name, sizeof name), 1);
  EXPECT_STREQ(name, "EAST");
  EXPECT_EQ(Value(h, "NAME"), "East side");
  EXPECT_EQ(Value(h, "AREA"), "3.25");
  EXPECT_EQ(pipObjectFindNext(h, name, sizeof name), 0);
  EXPECT_EQ(Value(h, "NAME"), "(0)");  // the search stands on no object
}

TEST_F(AttributesCapi, RecordIdFieldIsNeverShown) {
  BuildSample();
  const int h = Open("map.gsb");
  ASSERT_NE(h, 0);
  pipAttributeInfoStruct info;
  for (const char* field : {"recid", "RECID", "RecId"}) {
    EXPECT_EQ(pipObjectGetAttributeInfoByName(h, field, &info), -1) << field;
  }
  EXPECT_EQ(pipObjectGetAttributeInfoByName(h, "NOSUCH", &info), -1);
  EXPECT_EQ(pipObjectGetAttributeInfoByNumber(h, 3, &info), -1);
  EXPECT_EQ(pipObjectGetAttributeInfoByNumber(h, -1, &info), -1);
  for (int n = 0; n < 3; ++n) {
    ASSERT_EQ(pipObjectGetAttributeInfoByNumber(h, n, &info), 0);
    EXPECT_STRNE(info.name, "recid");
  }
}

TEST_F(AttributesCapi, FilteredNearestSearchKeepsMatchingPoints) {
  BuildSample();
  const int h = Open("map.gsb");
  ASSERT_NE(h, 0);
  char name[PIP_NAME_SIZE];
  std::vector<std::string> found;
  std::vector<std::string> pops;
  int r = pipObjectFindFirstNearestEx(h, 240, 50, 3, "POP > 100", name, sizeof name);
  for (int guard = 0; r == 1 && guard < 10; ++guard) {
    found.push_back(name);
    pops.push_back(Value(h, "POP"));
    r = pipObjectFindNext(h, name, sizeof name);
  }
  EXPECT_EQ(r, 0) << Detail();
  EXPECT_EQ(found, (std::vector<std::string>{"WELL2", "WELL3"}));
  EXPECT_EQ(pops, (std::vector<std::string>{"500", "5000"}));

  ASSERT_EQ(pipObjectFindFirstNearestEx(h, 240, 50, 1, "NAME = 'old*'", name, sizeof name), 1);
  EXPECT_STREQ(name, "WELL1");
  EXPECT_EQ(pipObjectFindFirstNearestEx(h, 240, 50, 3, "AREA IN (0.5, 1)", name, sizeof name), 1);
  EXPECT_STREQ(name, "WELL2");
  EXPECT_EQ(Value(h, "AREA"), "0.50");

  // A criteria text that does not validate fails every find of the search.
  EXPECT_EQ(pipObjectFindFirstNearestEx(h, 240, 50, 3, "POP > 'x'", name, sizeof name), -1);
  std::string detail;
  EXPECT_EQ(Code(&detail), 100);
  EXPECT_EQ(detail,
            "The search criteria did not parse correctly. Invalid value. Alpha values are not "
            "valid for this operator.");
}

TEST_F(AttributesCapi, CriteriaValidation) {
  BuildSample();
  const int h = Open("map.gsb");
  ASSERT_NE(h, 0);
  EXPECT_EQ(pipObjectValidateFilterCriteria(h, "NAME = 'West*'"), 1);
  EXPECT_EQ(pipObjectValidateFilterCriteria(h, "POP >= 1,000"), 1);
  EXPECT_EQ(pipObjectValidateFilterCriteria(h, "AREA in (1.5, 2)"), 1);
  const struct {
    const char* criteria;
    const char* message;
  } rows[] = {
      {"POP", "Invalid operator. Oper: None found."},
      {"POP => 5", "Invalid operator. Oper: =>"},
      {"1POP = 5", "Invalid value. A bad token was found."},
      {"POP = -9999", "Keyword type ('N') does not match value type ('C')."},
      {"NAME = 5", "Keyword type ('C') does not match value type ('N')."},
      {"COLOUR = 'red'", "Fieldname is invalid. Name: COLOUR"},
      {"NAME = 'Sm*th'", "Invalid value. Wild cards are only valid as the last character."},
      {"", ""},
      {nullptr, ""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(pipObjectValidateFilterCriteria(h, row.criteria), -1);
    std::string detail;
    EXPECT_EQ(Code(&detail), 100);
    EXPECT_EQ(detail, std::string("The search criteria did not parse correctly. ") + row.message);
  }
  EXPECT_EQ(pipObjectValidateFilterCriteria(0, "POP = 5"), -1);
  EXPECT_EQ(pipObjectValidateFilterCriteria(lib_, "POP = 5"), -1);  // not an object-file handle
}

TEST_F(AttributesCapi, WithoutAttributeFileTheCallsFail) {
  BuildObjects("plain.gsb", kShapes, false);
  const int h = Open("plain.gsb");
  ASSERT_NE(h, 0);
  int count = 7;
  EXPECT_EQ(pipObjectGetAttributeCount(h, &count), -1);
  EXPECT_EQ(count, 0);
  char name[PIP_NAME_SIZE] = "junk";
  EXPECT_EQ(pipObjectGetAttributeNameByNumber(h, 0, name, sizeof name), -1);
  EXPECT_STREQ(name, "");
  ASSERT_EQ(pipObjectFindFirstContaining(h, 50, 50, 0, name, sizeof name), 1);
  pipAttributeInfoStruct info;
  EXPECT_EQ(pipObjectGetAttributeInfoByName(h, "NAME", &info), -1);
  EXPECT_EQ(pipObjectGetAttributeInfoByNumber(h, 0, &info), -1);
  const char kNoFile[] = "No attribute file was found. Cannot filter without attributes.";
  EXPECT_EQ(pipObjectValidateFilterCriteria(h, "POP = 5"), -1);
  EXPECT_EQ(Detail(), kNoFile);
  EXPECT_EQ(pipObjectFindFirstNearestEx(h, 240, 50, 3, "POP > 1", name, sizeof name), -1);
  EXPECT_EQ(Detail(), kNoFile);
  EXPECT_EQ(pipObjectFileValidate(lib_, Path("plain.gsb").c_str()), 1);
}

TEST_F(AttributesCapi, StaleAttributeFileIsIgnoredAndFailsValidation) {
  BuildObjects("map.gsb", kShapes, true);
  BuildAttributes("map.gsa", "Sat Jan  1 00:00:00 2000", kRows);
  // The open succeeds; the attribute file is treated as absent.
  const int h = Open("map.gsb");
  ASSERT_NE(h, 0) << Detail();
  int count = 5;
  EXPECT_EQ(pipObjectGetAttributeCount(h, &count), -1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(pipObjectFileValidate(lib_, Path("map.gsb").c_str()), -1);

  // A stamped attribute file beside an object file without creation time.
  BuildObjects("old.gsb", kShapes, false);
  BuildAttributes("old.gsa", "Sat Jan  1 00:00:00 2000", kRows);
  EXPECT_EQ(pipObjectFileValidate(lib_, Path("old.gsb").c_str()), -1);
  // An unstamped one is always taken.
  BuildAttributes("old.gsa", "", kRows);
  EXPECT_EQ(pipObjectFileValidate(lib_, Path("old.gsb").c_str()), 1);
  const int old = Open("old.gsb");
  ASSERT_EQ(pipObjectGetAttributeCount(old, &count), 1);
  EXPECT_EQ(count, 3);
}

TEST_F(AttributesCapi, ValidateOpensSearchesAndLeavesNothingOpen) {
  BuildSample();
  EXPECT_EQ(pipObjectFileValidate(lib_, Path("map.gsb").c_str()), 1) << Detail();

  // An object file without objects: the search finds nothing.
  BuildObjects("empty.gsb", {}, true);
  EXPECT_EQ(pipObjectFileValidate(lib_, Path("empty.gsb").c_str()), -1);
  EXPECT_EQ(Code(), 100);

  // Not an object file, a missing one, a truncated one.
  std::vector<std::uint8_t> junk(2000, 0x41);
  WriteBytes(Path("junk.gsb"), junk);
  EXPECT_EQ(pipObjectFileValidate(lib_, Path("junk.gsb").c_str()), -1);
  EXPECT_EQ(Code(), PIP_ERR_BAD_SIGNATURE);
  EXPECT_EQ(pipObjectFileValidate(lib_, Path("missing.gsb").c_str()), -1);
  const std::vector<std::uint8_t> good = ReadBytes(Path("map.gsb"));
  WriteBytes(Path("cut.gsb"), std::vector<std::uint8_t>(good.begin(), good.begin() + 600));
  EXPECT_EQ(pipObjectFileValidate(lib_, Path("cut.gsb").c_str()), -1);

  EXPECT_EQ(pipObjectFileValidate(lib_, nullptr), -1);
  EXPECT_EQ(pipObjectFileValidate(0, Path("map.gsb").c_str()), -1);

  // Validation registered no handle: the next open gets the same handle
  // number as one opened and closed right away.
  const int a = Open("map.gsb");
  ASSERT_NE(a, 0);
  open_.erase(a);
  ASSERT_EQ(pipObjectFileClose(a), 1);
  EXPECT_EQ(pipObjectFileValidate(lib_, Path("map.gsb").c_str()), 1);
  const int b = Open("map.gsb");
  EXPECT_EQ(b, a);
}

TEST_F(AttributesCapi, RankedEntriesAreDescribedByTheAttributeCalls) {
  BuildSample();
  const int h = Open("map.gsb");
  ASSERT_NE(h, 0);
  std::map<std::string, std::string> expected;  // object name -> NAME attribute
  for (std::size_t i = 0; i < kShapes.size(); ++i) expected[kShapes[i].name] = kRows[i].name;
  char name[PIP_NAME_SIZE];
  std::set<std::string> seen;
  int r = pipObjectFindFirstContainingEx(h, 100, 50, 100, name, sizeof name);
  for (int guard = 0; r > 0 && guard < 10; ++guard) {
    seen.insert(name);
    EXPECT_EQ(Value(h, "NAME"), expected[name]) << name;
    r = pipObjectFindNext(h, name, sizeof name);
  }
  EXPECT_EQ(r, 0) << Detail();
  EXPECT_TRUE(seen.count("WEST") == 1 && seen.count("EAST") == 1);
}

TEST_F(AttributesCapi, BadArguments) {
  BuildSample();
  const int h = Open("map.gsb");
  ASSERT_NE(h, 0);
  pipAttributeInfoStruct info;
  char name[8];
  EXPECT_EQ(pipObjectGetAttributeCount(h, nullptr), -1);
  EXPECT_EQ(pipObjectGetAttributeNameByNumber(h, 0, nullptr, 8), -1);
  EXPECT_EQ(pipObjectGetAttributeNameByNumber(h, 0, name, 0), -1);
  EXPECT_EQ(pipObjectGetAttributeInfoByName(h, nullptr, &info), -1);
  EXPECT_EQ(pipObjectGetAttributeInfoByName(h, "NAME", nullptr), -1);
  EXPECT_EQ(pipObjectGetAttributeInfoByNumber(h, 0, nullptr), -1);
  int count = 0;
  EXPECT_EQ(pipObjectGetAttributeCount(lib_, &count), -1);  // wrong handle kind
  EXPECT_EQ(pipObjectGetAttributeInfoByNumber(12345, 0, &info), -1);
  // A short name buffer gets a cut, terminated name.
  char two[3];
  ASSERT_EQ(pipObjectGetAttributeNameByNumber(h, 2, two, sizeof two), 1);
  EXPECT_STREQ(two, "AR");
}

TEST_F(AttributesCapi, DamagedAttributeFilesNeverBreakTheOpen) {
  BuildSample();
  const std::vector<std::uint8_t> good = ReadBytes(Path("map.gsa"));
  ASSERT_GT(good.size(), 512u);
  const auto exercise = [&](const std::vector<std::uint8_t>& bytes) {
    WriteBytes(Path("map.gsa"), bytes);
    int h = 0;
    ASSERT_EQ(pipObjectFileOpen(lib_, Path("map.gsb").c_str(), 0, &h), 1) << Detail();
    char name[PIP_NAME_SIZE];
    int r = pipObjectFindFirstContaining(h, 50, 50, 0, name, sizeof name);
    EXPECT_EQ(r, 1);
    int count = 0;
    const int has = pipObjectGetAttributeCount(h, &count);
    EXPECT_TRUE(has == 1 || has == -1);
    for (int n = 0; n < count && n < 20; ++n) {
      pipAttributeInfoStruct info;
      const int v = pipObjectGetAttributeInfoByNumber(h, n, &info);
      EXPECT_TRUE(v >= -1 && v <= 1);
      EXPECT_LT(strnlen(info.value, sizeof info.value), sizeof info.value);
    }
    r = pipObjectFindFirstNearestEx(h, 240, 50, 3, "POP > 100", name, sizeof name);
    EXPECT_TRUE(r >= -1 && r <= 1);
    EXPECT_EQ(pipObjectFileClose(h), 1);
  };
  const std::size_t step = good.size() / 40 + 1;
  for (std::size_t length = 0; length < good.size(); length += step) {
    exercise(std::vector<std::uint8_t>(good.begin(), good.begin() + length));
  }
  std::vector<std::uint8_t> bytes = good;
  for (std::size_t at = 0; at < good.size(); at += step / 2 + 1) {
    bytes[at] ^= 0x5A;
    exercise(bytes);
    bytes[at] = good[at];
  }
}

}  // namespace
