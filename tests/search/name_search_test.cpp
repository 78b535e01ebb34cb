// The name search: exact and prefix names without regard to case, names
// longer than the 8-byte index key, duplicates across index pages.
#include "search/name_search.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "frame/error.h"
#include "objfile/byte_order.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"
#include "storage/qtree.h"
#include "storage/tree_builder.h"
#include "support/object_file_codec.h"
#include "support/test_files.h"

namespace {

using test_objects::TestObject;
using Names = std::multiset<std::string>;

std::vector<TestObject> Towns() {
  const char* names[] = {
      "SPRINGFIELD",  "springdale",  "Spring",     "SPRING",     "Springs",    "Sprung",
      "SPRINGFIELDS", "Shelbyville", "ABCDEFGH",   "ABCDEFGHIJ", "ABCDEFGHXY", "abcdefghij",
      "ABCDEFG",      "Ogdenville",  "Ogdenville", "Ogdenville", "",           "AB"};
  std::vector<TestObject> objects;
  int i = 0;
  for (const char* n : names) {
    TestObject o = test_objects::Point(n, i, i);
    o.name2 = "second";
    objects.push_back(o);
    ++i;
  }
  return objects;
}

class NameSearchTest : public lumetra_test::ScratchDirTest {
 protected:
  Names Find(PolygonSearch& reader, const char* text) {
    Names names;
    PolySearchByName search(reader, err_, text);
    char name[PIP_NAME_SIZE];
    int r = search.FindFirst(name, sizeof name);
    for (int guard = 0; r > 0 && guard < 1000; ++guard) {
      names.insert(name);
      r = search.FindNext(name, sizeof name);
    }
    EXPECT_EQ(r, 0) << err_.detail();
    return names;
  }

  QError err_;
};

TEST_F(NameSearchTest, ExactNamesAndPrefixesIgnoreCaseAndLongNamesAreCheckedInFull) {
  test_objects::WriteObjectFile(dir_.File("towns.obj"), Towns());
  PolygonSearch reader(err_, dir_.File("towns.obj").c_str(), 1);
  ASSERT_TRUE(reader.ready()) << err_.detail();
  const struct {
    const char* text;
    Names found;
  } rows[] = {
      {"Springfield", {"SPRINGFIELD"}},
      {"spring", {"Spring", "SPRING"}},
      {"Sprin", {}},
      {"Shelbyvillex", {}},
      {"AB", {"AB"}},
      {"", {""}},
      {"OGDENVILLE", {"Ogdenville", "Ogdenville", "Ogdenville"}},  // duplicates
      {"Spring*", {"SPRINGFIELD", "springdale", "Spring", "SPRING", "Springs", "SPRINGFIELDS"}},
      {"springf*", {"SPRINGFIELD", "SPRINGFIELDS"}},
      {"Spr*",
       {"SPRINGFIELD", "springdale", "Spring", "SPRING", "Springs", "SPRINGFIELDS", "Sprung"}},
      {"Spx*", {}},
      // The index narrows to keys beginning ABCDEFGH; the full names decide.
      {"ABCDEFGH", {"ABCDEFGH"}},
      {"abcdefghij", {"ABCDEFGHIJ", "abcdefghij"}},
      {"ABCDEFGHXY", {"ABCDEFGHXY"}},
      {"ABCDEFGHX", {}},
      {"ABCDEFGHI*", {"ABCDEFGHIJ", "abcdefghij"}},
      {"ABCDEFGH*", {"ABCDEFGH", "ABCDEFGHIJ", "ABCDEFGHXY", "abcdefghij"}},
      {"ABCDEFG*", {"ABCDEFGH", "ABCDEFGHIJ", "ABCDEFGHXY", "abcdefghij", "ABCDEFG"}},
      {"SPRINGFIELDS", {"SPRINGFIELDS"}},
  };
  for (const auto& row : rows) EXPECT_EQ(Find(reader, row.text), row.found) << row.text;
  EXPECT_EQ(Find(reader, "*").size(), Towns().size()) << "* walks every object";
}

}  // namespace
