// QSort against std::sort: in-buffer sorts, run files with several merge
// passes, and calls out of order.
#include "storage/qsort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "frame/error.h"
#include "support/core_storage.h"
#include "support/test_files.h"

namespace {

using lumetra_test::ListDir;
using lumetra_test::ScopedTempDir;

constexpr std::uint32_t kSeed = 77031;

// Points TEMP at a fresh directory for the test's life.
struct TempEnv {
  std::size_t file_count() const { return ListDir(dir.path()).size(); }
  ScopedTempDir dir;
  lumetra_test::ScopedEnv env{"TEMP", dir.path()};
};

using Record = std::pair<std::string, std::string>;  // key, value

std::vector<Record> RandomRecords(std::size_t n, std::size_t key_length, std::size_t value_length,
                                  int key_alphabet, std::mt19937* rng) {
  std::uniform_int_distribution<int> key_byte(0, key_alphabet - 1);
  std::uniform_int_distribution<int> any_byte(0, 255);
  std::vector<Record> records(n);
  for (Record& r : records) {
    for (std::size_t i = 0; i < key_length; ++i) r.first += static_cast<char>(key_byte(*rng));
    for (std::size_t i = 0; i < value_length; ++i) r.second += static_cast<char>(any_byte(*rng));
  }
  return records;
}

// Adds, finishes and reads back every record; `files_while_reading` gets
// the number of files in TEMP once Finish is done.
std::vector<Record> SortAndDrain(QSort& sort, const std::vector<Record>& records,
                                 const TempEnv* env = nullptr,
                                 std::size_t* files_while_reading = nullptr) {
  for (const Record& r : records) EXPECT_TRUE(sort.Add(r.first.data(), r.second.data()));
  EXPECT_TRUE(sort.Finish());
  if (files_while_reading != nullptr) *files_while_reading = env->file_count();
  std::vector<Record> out;
  std::string key(sort.layout().key_length, '\0');
  std::string value(sort.layout().value_length, '\0');
  while (sort.ReadNext(&key[0], &value[0])) out.emplace_back(key, value);
  return out;
}

// Keys must come out in (memcmp = std::string) order and the records must
// be exactly the input's.
void ExpectSortedPermutation(std::vector<Record> input, std::vector<Record> output) {
  ASSERT_TRUE(std::is_sorted(output.begin(), output.end(),
                             [](const Record& a, const Record& b) { return a.first < b.first; }));
  std::sort(input.begin(), input.end());
  std::sort(output.begin(), output.end());
  ASSERT_EQ(output, input);
}

TEST(QSort, MatchesStdSortInMemoryAndThroughRunFiles) {
  const struct {
    const char* name;
    std::size_t records;
    std::size_t buffer_bytes;
    int key_alphabet;  // small alphabets give many equal keys
    bool expect_runs;
  } cases[] = {{"empty", 0, 262144, 256, false},
               {"one", 1, 262144, 256, false},
               {"fits the default buffer", 5000, 262144, 256, false},
               {"exactly fills the buffer", 64, 1024, 256, false},
               {"one more than the buffer", 65, 1024, 256, true},
               {"many runs, two letters", 3000, 1024, 2, true},
               {"many runs, all equal", 2000, 512, 1, true},
               {"beyond the default buffer", 40000, 262144, 256, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + ", seed " + std::to_string(kSeed));
    TempEnv env;
    std::mt19937 rng(kSeed);
    const auto records = RandomRecords(c.records, 6, 10, c.key_alphabet, &rng);
    QError err;
    std::size_t files_while_reading = 0;
    std::vector<Record> out;
    {
      QSort sort(err, {6, 10, 16}, nullptr, c.buffer_bytes);
      ASSERT_TRUE(sort.ready());
      out = SortAndDrain(sort, records, &env, &files_while_reading);
      EXPECT_EQ(sort.record_count(), c.records);
      EXPECT_EQ(sort.initial_run_count() > 0, c.expect_runs);
      EXPECT_EQ(files_while_reading, c.expect_runs ? 1u : 0u);
    }
    ExpectSortedPermutation(records, out);
    EXPECT_EQ(env.file_count(), 0u);
    EXPECT_EQ(err.code(), -1) << err.detail();
  }
}

TEST(QSort, TinyBufferForcesSeveralMergePasses) {
  TempEnv env;
  std::mt19937 rng(kSeed);
  const auto records = RandomRecords(2500, 6, 10, 256, &rng);
  QError err;
  QSort sort(err, {6, 10, 16}, nullptr, 4 * 16);  // four records: merges of three
  ASSERT_TRUE(sort.ready());
  EXPECT_EQ(sort.buffer_records(), 4u);
  const auto out = SortAndDrain(sort, records);
  EXPECT_EQ(sort.initial_run_count(), 625u);
  EXPECT_GE(sort.merge_pass_count(), 6u);  // ceil(log3(625))
  ExpectSortedPermutation(records, out);
}

TEST(QSort, CallsOutOfOrderAreRefused) {
  TempEnv env;
  QError err;
  QSort sort(err, {4, 4, 8});
  char key[4] = {1, 2, 3, 4}, value[4] = {};
  EXPECT_FALSE(sort.ReadNext(key, value));  // before Finish
  EXPECT_TRUE(sort.Add(key, value));
  EXPECT_TRUE(sort.Finish());
  EXPECT_FALSE(sort.Finish());
  EXPECT_FALSE(sort.Add(key, value));
  EXPECT_TRUE(sort.ReadNext(nullptr, nullptr));
  EXPECT_FALSE(sort.ReadNext(key, value));
  QSort largest(err, {4, 4, 1u << 20}, nullptr, 1u << 21);  // the largest slot there is
  EXPECT_TRUE(largest.Add(key, value)) << err.detail();
  QSort too_large(err, {4, 4, (1u << 20) + 1});
  EXPECT_FALSE(too_large.Add(key, value));
}

}  // namespace
