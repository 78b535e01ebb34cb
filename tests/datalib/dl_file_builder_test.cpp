// DlFileBuilder round trips: files written by the builder are read back
// through DlContext / DlDataFile / FieldId and compared with what was put in.
#include "datalib/dl_file_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "datalib/dl_file.h"
#include "datalib/dl_format.h"
#include "datalib/dllist.h"
#include "frame/error.h"
#include "support/attribute_files.h"
#include "support/test_files.h"

namespace {

using attribute_test::Field;
using lumetra_test::FileExists;
namespace fmt = lumetra::dlformat;

using Row = std::vector<std::string>;

// Writes a file of `fields` and `rows`; false (with err) when the builder
// refuses.
bool BuildFile(const std::string& path, const DlBuilderOptions& options,
               const std::vector<DlFieldSpec>& fields, const std::vector<Row>& rows, QError& err,
               std::uint32_t* page_size = nullptr) {
  DlFileBuilder builder(err, options);
  if (!builder.Create(path.c_str())) return false;
  for (const DlFieldSpec& f : fields) {
    if (!builder.AddField(f)) return false;
  }
  for (const Row& row : rows) {
    std::vector<const char*> values;
    for (const std::string& v : row) values.push_back(v.c_str());
    if (!builder.AddRecord(values.data())) return false;
  }
  const bool ok = builder.Finish();
  if (page_size != nullptr) *page_size = builder.page_size();
  return ok;
}

DlBuilderOptions Options(char key_type, const std::string& key_field) {
  DlBuilderOptions o;
  o.key_type = key_type;
  o.key_field = key_field;
  return o;
}

class BuilderTest : public lumetra_test::ScratchDirTest {
 protected:
  BuilderTest() : context_(dir_.path()) {}

  DlDataFile* Open(const std::string& name) {
    DlDataFile* file = context_.Open(name.c_str());
    EXPECT_NE(file, nullptr) << context_.error().detail();
    return file;
  }

  QError err_;
  DlContext context_;
};

struct NumberCase {
  const char* text;
  int decimals;
  bool ok;
  std::int32_t value;
};

TEST_F(BuilderTest, BadRequestsAreRefused) {
  DlFileBuilder builder(err_, Options('N', "recid"));
  EXPECT_FALSE(builder.AddField(Field("recid", 'N', 5)));  // not created yet
  ASSERT_TRUE(builder.Create("bad.dld"));
  ASSERT_TRUE(builder.AddField(Field("recid", 'N', 5)));
  struct FieldCase {
    DlFieldSpec spec;
    const char* why;
  } field_cases[] = {
      {Field("RECID", 'N', 5), "duplicate identifier, other case"},
      {Field("", 'C', 5), "empty identifier"},
      {Field("ABCDEFGHIJKLM", 'C', 5), "identifier of 13 characters"},
      {Field("T", 'X', 5), "bad type"},
      {Field("W0", 'C', 0), "width 0"},
      {Field("W256", 'C', 256), "width 256"},
      {Field("D10", 'N', 5, 10), "decimals 10"},
  };
  for (const FieldCase& c : field_cases) EXPECT_FALSE(builder.AddField(c.spec)) << c.why;
  ASSERT_TRUE(builder.AddField(Field("NAME", 'C', 5)));
  EXPECT_FALSE(builder.AddValue("NOPE", "1", "a", "b"));
  const std::vector<std::vector<const char*>> bad_rows = {
      {"12.5", "x"}, {"abc", "x"}, {"1234567890123", "x"}, {"", "x"}, {"7", nullptr}};
  for (const auto& row : bad_rows) EXPECT_FALSE(builder.AddRecord(row.data()));
  EXPECT_EQ(builder.record_count(), 0u);
  const char* good[] = {"7", "seven"};
  ASSERT_TRUE(builder.AddRecord(good));
  EXPECT_FALSE(builder.AddField(Field("LATE", 'C', 5)));  // after the first record
  EXPECT_EQ(err_.code(), 100);
  EXPECT_STREQ(err_.detail(), "Fields must be added before records");
  EXPECT_TRUE(builder.Finish());
  EXPECT_FALSE(builder.Finish());
}

TEST_F(BuilderTest, UnfinishedOrFailedFilesAreRemovedAndEmptyFinishedOnesKept) {
  {
    DlFileBuilder builder(err_, Options('C', "K"));
    ASSERT_TRUE(builder.Create("gone.dld"));
    EXPECT_TRUE(FileExists("gone.dld"));
  }
  EXPECT_FALSE(FileExists("gone.dld"));
  {
    DlFileBuilder builder(err_, Options('C', "K"));
    ASSERT_TRUE(builder.Create("abort.dld"));
    builder.Abort();
    EXPECT_FALSE(FileExists("abort.dld"));
    EXPECT_FALSE(builder.AddField(Field("K", 'C', 3)));
  }
  DlFileBuilder builder(err_, Options('C', "KEY"));
  ASSERT_TRUE(builder.Create("nokey.dld"));
  ASSERT_TRUE(builder.AddField(Field("OTHER", 'C', 3)));
  EXPECT_FALSE(builder.Finish());
  EXPECT_STREQ(err_.detail(), "The key field has not been added");
  EXPECT_FALSE(FileExists("nokey.dld"));
  // A finished file without records stays, opens and finds nothing.
  ASSERT_TRUE(BuildFile("empty.dld", Options('C', "K"), {Field("K", 'C', 4)}, {}, err_));
  DlDataFile* file = Open("empty");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Search("A"), 0);
  EXPECT_EQ(file->GetAttribute(0, nullptr, 0), 0);
}

TEST_F(BuilderTest, TextKeyFileWithRunsOverSeveralPagesMatchesMultimapModel) {
  const std::uint32_t seed = 77;
  std::printf("TextKeyFileMatchesMultimapModel seed %u\n", static_cast<unsigned>(seed));
  std::mt19937 rng(seed);
  const char* letters = "abcXYZ-";
  std::map<std::string, std::vector<int>> model;  // lower-case key -> insertion order
  std::vector<Row> rows;
  for (int i = 0; i < 6000; ++i) {
    std::string key;
    const int length = 1 + static_cast<int>(rng() % 4);
    for (int c = 0; c < length; ++c) key.push_back(letters[rng() % 7]);
    std::string lower = key;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    model[lower].push_back(i);
    rows.push_back({key, std::to_string(i)});
  }
  DlBuilderOptions options = Options('C', "K");
  options.page_size = 1024;
  ASSERT_TRUE(
      BuildFile("words.dld", options, {Field("K", 'C', 4), Field("I", 'N', 6)}, rows, err_));
  DlDataFile* file = Open("words");
  ASSERT_NE(file, nullptr);
  std::size_t widest_run_pages = 0;
  for (const auto& entry : model) {
    std::string upper = entry.first;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    std::vector<int> got;
    std::set<std::uint32_t> pages;
    for (int found = file->Search(upper.c_str()); found == 1;
         found = file->SearchNext(entry.first.c_str())) {
      got.push_back(file->Field(1)->GetNum());
      pages.insert(fmt::LocatorPage(file->Field(1)->locator()));
    }
    ASSERT_EQ(got, entry.second) << entry.first;
    EXPECT_FALSE(file->Field(0)->valid());  // the run's end invalidates the fields
    widest_run_pages = std::max(widest_run_pages, pages.size());
  }
  EXPECT_GE(widest_run_pages, 3u);  // some runs spread over several pages
  EXPECT_EQ(file->Search("abcab"), 0);
}

}  // namespace
