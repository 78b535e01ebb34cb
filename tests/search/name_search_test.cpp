// The name search: exact and prefix names without regard to case, names
// longer than the 8-byte index key, duplicates, "*" for every object, the
// end of a search, and name indexes whose keys are shorter than 8 bytes.
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
#include "search_test_files.h"
#include "storage/qtree.h"
#include "storage/tree_builder.h"
#include "support/test_files.h"

namespace {

using search_test::TestObject;
using Names = std::multiset<std::string>;

std::vector<TestObject> Towns() {
  const char* names[] = {
      "SPRINGFIELD",  "springdale",  "Spring",     "SPRING",     "Springs",    "Sprung",
      "SPRINGFIELDS", "Shelbyville", "ABCDEFGH",   "ABCDEFGHIJ", "ABCDEFGHXY", "abcdefghij",
      "ABCDEFG",      "Ogdenville",  "Ogdenville", "Ogdenville", "",           "AB"};
  std::vector<TestObject> objects;
  int i = 0;
  for (const char* n : names) {
    TestObject o = search_test::Point(n, i, i);
    o.name2 = "second";
    objects.push_back(o);
    ++i;
  }
  return objects;
}

class NameSearchTest : public ::testing::Test {
 protected:
  NameSearchTest() : chdir_(dir_.path()) {}

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

  lumetra_test::ScopedTempDir dir_;
  lumetra_test::ScopedChdir chdir_;
  QError err_;
};

TEST(NameMatches, Table) {
  struct Row {
    const char* name;
    const char* searched;
    bool prefix;
    bool match;
  };
  const Row rows[] = {
      {"SPRINGFIELD", "Springfield", false, true},
      {"SPRINGFIELD", "Spring", false, false},
      {"SPRINGFIELD", "Spring", true, true},
      {"springdale", "SPRING", true, true},
      {"Spr", "Spring", true, false},
      {"", "", false, true},
      {"A", "", true, true},
      {"A", "", false, false},
      {"ABCDEFGHIJ", "abcdefghij", false, true},
      {"ABCDEFGHIJ", "ABCDEFGHXY", false, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(PolySearchByName::NameMatches(row.name, row.searched, row.prefix), row.match)
        << row.name << " / " << row.searched << (row.prefix ? "*" : "");
  }
}

TEST_F(NameSearchTest, StarEndsAPrefixAndLongNamesAreCut) {
  search_test::WriteObjectFile(dir_.File("towns.obj"), Towns());
  PolygonSearch reader(err_, dir_.File("towns.obj").c_str(), 0);
  ASSERT_TRUE(reader.ready());
  PolySearchByName prefix(reader, err_, "Spr*ing");
  EXPECT_EQ(prefix.searched(), "Spr");
  EXPECT_TRUE(prefix.prefix());
  PolySearchByName exact(reader, err_, "Springfield");
  EXPECT_FALSE(exact.prefix());
  const std::string long_name(200, 'x');
  PolySearchByName cut(reader, err_, long_name.c_str());
  EXPECT_EQ(cut.searched().size(), 127u);
  PolySearchByName null_name(reader, err_, nullptr);
  EXPECT_EQ(null_name.searched(), "");
}

TEST_F(NameSearchTest, ExactNamesAndPrefixesIgnoreCaseAndLongNamesAreCheckedInFull) {
  search_test::WriteObjectFile(dir_.File("towns.obj"), Towns());
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

TEST_F(NameSearchTest, ManyDuplicatesAcrossIndexPages) {
  std::vector<TestObject> objects;
  for (int i = 0; i < 400; ++i) {
    objects.push_back(search_test::Point(i % 2 == 0 ? "TWIN" : "OTHER" + std::to_string(i), i, 0));
  }
  search_test::WriteObjectFile(dir_.File("twins.obj"), objects);
  PolygonSearch reader(err_, dir_.File("twins.obj").c_str(), 1);
  ASSERT_TRUE(reader.ready());
  EXPECT_EQ(Find(reader, "twin").size(), 200u);
  std::size_t expected = 0;
  for (const TestObject& o : objects) expected += o.name.rfind("OTHER1", 0) == 0 ? 1 : 0;
  EXPECT_EQ(Find(reader, "OTHER1*").size(), expected);
  EXPECT_EQ(Find(reader, "*").size(), objects.size());
}

TEST_F(NameSearchTest, TheEndKeepsAnsweringZero) {
  search_test::WriteObjectFile(dir_.File("towns.obj"), Towns());
  PolygonSearch reader(err_, dir_.File("towns.obj").c_str(), 0);
  ASSERT_TRUE(reader.ready());
  char name[PIP_NAME_SIZE];
  PolySearchByName search(reader, err_, "Shelbyville");
  ASSERT_EQ(search.FindFirst(name, sizeof name), 1);
  EXPECT_STREQ(name, "Shelbyville");
  EXPECT_TRUE(search.has_current());
  EXPECT_EQ(search.FindNext(name, sizeof name), 0);
  EXPECT_TRUE(search.at_end());
  EXPECT_FALSE(search.has_current());
  EXPECT_EQ(search.FindNext(name, sizeof name), 0);
  EXPECT_EQ(search.FindNext(name, sizeof name), 0);
  PolySearchByName missing(reader, err_, "Capital City");
  EXPECT_EQ(missing.FindFirst(name, sizeof name), 0);
  EXPECT_EQ(missing.FindNext(name, sizeof name), 0);
}

// Rewrites the name index of a written file as a tree with `key_length`-byte
// keys (the first bytes of each names block).
void RebuildNameIndex(const std::string& path, const std::vector<TestObject>& objects,
                      search_test::WrittenFile written, std::uint32_t key_length) {
  QError err;
  QTreeBuilderOptions options;
  options.key_length = key_length;
  QTreeBuilder tree(err, options);
  ASSERT_TRUE(tree.ready());
  for (std::size_t i = 0; i < objects.size(); ++i) {
    const auto key = lumetra::NamesBlock::KeyOf(objects[i].name, objects[i].name2);
    std::uint8_t value[8];
    lumetra::PutU64(value, written.offsets[i]);
    ASSERT_TRUE(tree.Add(key.data(), value));
  }
  search_test::Fd fd(path + ".tmp");
  const std::vector<std::uint8_t> bytes = lumetra_test::ReadBytes(path);
  fd.Append(bytes);
  const std::uint64_t root = tree.Build(fd.get());
  ASSERT_NE(root, QTreeBuilder::kBuildFailed) << err.detail();
  written.header.SetIndexRoots(root, written.header.SpatialIndexRoot());
  std::vector<std::uint8_t> header;
  written.header.EncodeTo(&header);
  fd.WriteAt(0, header);
  ASSERT_EQ(std::rename((path + ".tmp").c_str(), path.c_str()), 0);
}

TEST_F(NameSearchTest, ShortIndexKeysAreComparedOnlyAsFarAsTheyGo) {
  const std::vector<TestObject> objects = Towns();
  const std::string path = dir_.File("short.obj");
  const search_test::WrittenFile written = search_test::WriteObjectFile(path, objects);
  RebuildNameIndex(path, objects, written, 2);
  PolygonSearch reader(err_, path.c_str(), 1);
  ASSERT_TRUE(reader.ready()) << err_.detail();
  ASSERT_EQ(reader.name_index()->key_length(), 2u);
  EXPECT_EQ(Find(reader, "Springfield"), (Names{"SPRINGFIELD"}));
  EXPECT_EQ(Find(reader, "Spring*").size(), 6u);
  EXPECT_EQ(Find(reader, "ABCDEFGHXY"), (Names{"ABCDEFGHXY"}));
  EXPECT_EQ(Find(reader, "Ogdenville").size(), 3u);
}

}  // namespace
