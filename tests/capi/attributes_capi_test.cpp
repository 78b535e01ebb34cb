// Attribute files as callers see them, end to end: an object file built
// through the import functions, its attribute file built with the
// DlBuilder* functions (key field "recid" holding the object ordinals,
// stamped with the object file's creation time), then found by point,
// described and filtered through the exported functions only.
#include <lumetra/datalib.h>

#include <algorithm>

#include "support/capi_fixture.h"

namespace {

using namespace capi_test;
using lumetra_test::ReadBytes;
using lumetra_test::WriteBytes;

// One attribute record per object, in ordinal order.
struct Row {
  const char* name;
  const char* pop;
  const char* area;
};

// Regions WEST and EAST side by side, three wells to the east of them.
const std::vector<TestObject> kShapes = {
    Region("WEST", {Box(0, 0, 100, 100)}), Region("EAST", {Box(100, 0, 200, 100)}),
    Point("WELL1", 250, 50), Point("WELL2", 260, 50), Point("WELL3", 300, 50)};
const std::vector<Row> kRows = {{"West side", "1200", "12.5"},
                                {"East side", "800", "3.25"},
                                {"Old well", "50", "0"},
                                {"New well", "500", "0.5"},
                                {"Deep well", "5000", "1"}};
const char kNoFile[] = "No attribute file was found. Cannot filter without attributes.";

std::string DlDetail() {
  char detail[DL_ERROR_TEXT_SIZE] = "";
  DlErrorGet(nullptr, nullptr, detail);
  return detail;
}

class AttributesCapi : public CapiTest {
 protected:
  // The creation-time text of an object file ("" without extension block).
  std::string CreationTime(const std::string& file) {
    int h = 0;
    if (pipObjectFileOpen(lib_, file.c_str(), 0, &h) != 1) return "(cannot open)";
    pipObjectFileExtraInfoStruct extra;
    std::string text;
    if (pipObjectHandleFileQueryEx(h, &extra) == 1) {
      text.assign(extra.creationTime, strnlen(extra.creationTime, sizeof extra.creationTime));
    }
    EXPECT_EQ(pipObjectFileClose(h), 1);
    return text;
  }

  // Writes an attribute file: NAME, POP, recid (the key, 1..n), AREA.
  void BuildAttributes(const std::string& file, const std::string& stamp) {
    DlBuilder* b = DlBuilderCreate(file.c_str(), 'N', "recid", stamp.c_str());
    ASSERT_NE(b, nullptr) << DlDetail();
    ASSERT_EQ(DlBuilderAddField(b, "NAME", "NAME", 'C', 30, 0, "Name", nullptr), 1) << DlDetail();
    ASSERT_EQ(DlBuilderAddField(b, "POP", "POP", 'N', 10, 0, "Population", nullptr), 1);
    ASSERT_EQ(DlBuilderAddField(b, "recid", "recid", 'N', 10, 0, nullptr, nullptr), 1);
    ASSERT_EQ(DlBuilderAddField(b, "AREA", "AREA", 'N', 12, 2, "Area", nullptr), 1);
    for (std::size_t i = 0; i < kRows.size(); ++i) {
      const std::string ordinal = std::to_string(i + 1);
      const char* values[] = {kRows[i].name, kRows[i].pop, ordinal.c_str(), kRows[i].area};
      ASSERT_EQ(DlBuilderAddRecord(b, values), 1) << DlDetail();
    }
    ASSERT_EQ(DlBuilderFinish(b), 1) << DlDetail();
  }

  // The sample object file "map.gsb" with its stamped attribute file.
  void BuildSample() {
    Build("map.gsb", kShapes, {0, 0, Init::kExtended});
    const std::string stamp = CreationTime("map.gsb");
    ASSERT_FALSE(stamp.empty());
    BuildAttributes("map.gsa", stamp);
  }

  // The value text of a field of the current object; "(n)" for result n
  // other than 1.
  static std::string Value(int h, const char* field) {
    pipAttributeInfoStruct info;
    const int r = pipObjectGetAttributeInfoByName(h, field, &info);
    return r == 1 ? std::string(info.value) : "(" + std::to_string(r) + ")";
  }
  // The NAME attribute of each answer of a search begun with `first`.
  std::vector<std::pair<std::string, std::string>> NamesWithValues(int h, int first, char* name) {
    std::vector<std::pair<std::string, std::string>> out;
    int r = first;
    for (int guard = 0; r > 0 && guard < 10; ++guard) {
      out.emplace_back(name, Value(h, "NAME"));
      r = pipObjectFindNext(h, name, PIP_NAME_SIZE);
    }
    EXPECT_EQ(r, 0) << Detail();
    return out;
  }
};

TEST_F(AttributesCapi, FilteredNearestSearchKeepsMatchingPoints) {
  BuildSample();
  const int h = Open("map.gsb");
  ASSERT_NE(h, 0);
  char name[PIP_NAME_SIZE];
  const struct {
    const char* criteria;
    int count;
    std::vector<std::pair<std::string, std::string>> found;  // object, NAME
  } rows[] = {
      {"POP > 100", 3, {{"WELL2", "New well"}, {"WELL3", "Deep well"}}},
      {"NAME = 'old*'", 1, {{"WELL1", "Old well"}}},
      {"AREA IN (0.5, 1)", 3, {{"WELL2", "New well"}, {"WELL3", "Deep well"}}},
  };
  for (const auto& row : rows) {
    const int first =
        pipObjectFindFirstNearestEx(h, 240, 50, row.count, row.criteria, name, sizeof name);
    EXPECT_EQ(NamesWithValues(h, first, name), row.found) << row.criteria;
  }
  ASSERT_EQ(pipObjectFindFirstNearestEx(h, 240, 50, 1, "POP > 100", name, sizeof name), 1);
  EXPECT_EQ(Value(h, "AREA"), "0.50");
  // A criteria text that does not validate fails the search.
  EXPECT_EQ(pipObjectFindFirstNearestEx(h, 240, 50, 3, "POP > 'x'", name, sizeof name), -1);
  ExpectError(100,
              "The search criteria did not parse correctly. Invalid value. Alpha values are not "
              "valid for this operator.");
}

}  // namespace
