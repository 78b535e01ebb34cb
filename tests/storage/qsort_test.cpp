// QSort against std::sort: in-buffer sorts, run files with several merge
// passes, the R-tree build's record layout, and where temporary files go.
#include "storage/qsort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "frame/error.h"
#include "support/test_files.h"

namespace {

using lumetra_test::ListDir;
using lumetra_test::ScopedTempDir;

constexpr std::uint32_t kSeed = 77031;

// Points TEMP at a fresh directory for the test's life.
class ScopedTempEnv {
 public:
  ScopedTempEnv() {
    const char* old = std::getenv("TEMP");
    had_old_ = old != nullptr;
    if (had_old_) old_ = old;
    setenv("TEMP", dir_.path().c_str(), 1);
  }
  ~ScopedTempEnv() {
    if (had_old_) {
      setenv("TEMP", old_.c_str(), 1);
    } else {
      unsetenv("TEMP");
    }
  }
  const std::string& path() const { return dir_.path(); }
  std::size_t file_count() const { return ListDir(dir_.path()).size(); }

 private:
  ScopedTempDir dir_;
  std::string old_;
  bool had_old_ = false;
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

std::vector<Record> SortAndDrain(QSort& sort, const std::vector<Record>& records,
                                 ScopedTempEnv* env, std::size_t* files_while_reading) {
  const QSortLayout& layout = sort.layout();
  for (const Record& r : records) EXPECT_TRUE(sort.Add(r.first.data(), r.second.data()));
  EXPECT_TRUE(sort.Finish());
  if (files_while_reading != nullptr) *files_while_reading = env->file_count();
  std::vector<Record> out;
  std::string key(layout.key_length, '\0');
  std::string value(layout.value_length, '\0');
  while (sort.ReadNext(&key[0], &value[0])) out.emplace_back(key, value);
  return out;
}

// Keys must come out in order and the records must be exactly the input's.
void ExpectSortedPermutation(std::vector<Record> input, const std::vector<Record>& output) {
  ASSERT_EQ(output.size(), input.size());
  std::vector<std::string> keys;
  for (const Record& r : output) keys.push_back(r.first);
  std::vector<std::string> expected_keys;
  for (const Record& r : input) expected_keys.push_back(r.first);
  std::sort(expected_keys.begin(), expected_keys.end());
  ASSERT_EQ(keys, expected_keys);  // memcmp order == std::string order
  std::vector<Record> sorted_output = output;
  std::sort(input.begin(), input.end());
  std::sort(sorted_output.begin(), sorted_output.end());
  ASSERT_EQ(sorted_output, input);
}

struct SortCase {
  const char* name;
  std::size_t records;
  std::size_t buffer_bytes;
  int key_alphabet;  // small alphabets give many equal keys
  bool expect_runs;
};

void PrintTo(const SortCase& c, std::ostream* os) { *os << c.name; }

class QSortCases : public ::testing::TestWithParam<SortCase> {};

TEST_P(QSortCases, MatchesStdSort) {
  const SortCase& c = GetParam();
  SCOPED_TRACE(std::string(c.name) + ", seed " + std::to_string(kSeed));
  ScopedTempEnv env;
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

INSTANTIATE_TEST_SUITE_P(
    Sizes, QSortCases,
    ::testing::Values(SortCase{"Empty", 0, 262144, 256, false},
                      SortCase{"One", 1, 262144, 256, false},
                      SortCase{"FitsTheDefaultBuffer", 5000, 262144, 256, false},
                      SortCase{"ExactlyFillsTheBuffer", 64, 1024, 256, false},
                      SortCase{"OneMoreThanTheBuffer", 65, 1024, 256, true},
                      SortCase{"ManyRunsTwoLetters", 3000, 1024, 2, true},
                      SortCase{"ManyRunsAllEqual", 2000, 512, 1, true},
                      SortCase{"BeyondTheDefaultBuffer", 40000, 262144, 256, true}),
    [](const ::testing::TestParamInfo<SortCase>& info) { return info.param.name; });

TEST(QSort, TinyBufferForcesSeveralMergePasses) {
  ScopedTempEnv env;
  std::mt19937 rng(kSeed);
  const auto records = RandomRecords(2500, 6, 10, 256, &rng);
  QError err;
  QSort sort(err, {6, 10, 16}, nullptr, 4 * 16);  // four records: merges of three
  ASSERT_TRUE(sort.ready());
  EXPECT_EQ(sort.buffer_records(), 4u);
  const auto out = SortAndDrain(sort, records, &env, nullptr);
  EXPECT_EQ(sort.initial_run_count(), 625u);
  EXPECT_GE(sort.merge_pass_count(), 6u);  // ceil(log3(625))
  ExpectSortedPermutation(records, out);
}

TEST(QSort, RtreeBuildLayoutWithBigEndianKeys) {
  // 4-byte keys, 24-byte values, 32-byte slots; the keys are big-endian i32
  // patterns with the sign bit flipped, so bytewise order is numeric order.
  ScopedTempEnv env;
  std::mt19937 rng(kSeed);
  std::uniform_int_distribution<std::int32_t> coordinate(-180000000, 180000000);
  std::vector<Record> records;
  std::vector<std::int32_t> centres;
  for (int i = 0; i < 20000; ++i) {
    const std::int32_t x = coordinate(rng);
    centres.push_back(x);
    const std::uint32_t biased = static_cast<std::uint32_t>(x) ^ 0x80000000u;
    std::string key(4, '\0');
    for (int b = 0; b < 4; ++b) key[b] = static_cast<char>(biased >> (24 - 8 * b));
    std::string value(24, '\0');
    std::memcpy(&value[0], &i, sizeof i);
    records.emplace_back(key, value);
  }
  QError err;
  QSort sort(err, {4, 24, 32}, nullptr, 8192);
  ASSERT_TRUE(sort.ready());
  const auto out = SortAndDrain(sort, records, &env, nullptr);
  EXPECT_GT(sort.merge_pass_count(), 1u);
  ASSERT_EQ(out.size(), centres.size());
  std::sort(centres.begin(), centres.end());
  for (std::size_t i = 0; i < out.size(); ++i) {
    std::uint32_t biased = 0;
    for (int b = 0; b < 4; ++b) biased = (biased << 8) | static_cast<std::uint8_t>(out[i].first[b]);
    ASSERT_EQ(static_cast<std::int32_t>(biased ^ 0x80000000u), centres[i]) << i;
    std::int32_t original;
    std::memcpy(&original, out[i].second.data(), sizeof original);
    ASSERT_EQ(out[i].first, records[static_cast<std::size_t>(original)].first) << i;
  }
  ExpectSortedPermutation(records, out);
}

// A derived comparison: descending by the key's first byte only.
class DescendingFirstByte : public QSort {
 public:
  using QSort::QSort;
  int Compare(const void* a, const void* b) const override {
    return static_cast<int>(*static_cast<const std::uint8_t*>(b)) -
           static_cast<int>(*static_cast<const std::uint8_t*>(a));
  }
};

TEST(QSort, DerivedComparisonIsUsedForRunsAndMerges) {
  ScopedTempEnv env;
  std::mt19937 rng(kSeed);
  const auto records = RandomRecords(1000, 3, 2, 256, &rng);
  QError err;
  DescendingFirstByte sort(err, {3, 2, 0}, nullptr, 100);
  ASSERT_TRUE(sort.ready());
  EXPECT_EQ(sort.layout().slot_size, 5u);
  const auto out = SortAndDrain(sort, records, &env, nullptr);
  ASSERT_EQ(out.size(), records.size());
  for (std::size_t i = 1; i < out.size(); ++i) {
    ASSERT_GE(static_cast<std::uint8_t>(out[i - 1].first[0]),
              static_cast<std::uint8_t>(out[i].first[0]))
        << i;
  }
}

TEST(QSort, CallsOutOfOrderAreRefused) {
  ScopedTempEnv env;
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
}

TEST(QSort, BadLayoutsAreReported) {
  const QSortLayout bad[] = {{0, 4, 8}, {4, 4, 7}, {8, 0, 4}};
  for (const QSortLayout& layout : bad) {
    QError err;
    QSort sort(err, layout);
    EXPECT_FALSE(sort.ready());
    EXPECT_EQ(err.code(), 100);
    EXPECT_FALSE(sort.Add("abcdefgh", "abcd"));
    EXPECT_FALSE(sort.Finish());
  }
}

TEST(QSort, UnusableTempDirectoryFailsWhenTheFirstRunIsWritten) {
  ScopedTempDir dir;
  QError err;
  QSort sort(err, {4, 4, 8}, dir.File("missing/sub").c_str(), 64);
  ASSERT_TRUE(sort.ready());
  char key[4] = {}, value[4] = {};
  std::size_t added = 0;
  while (added < 100 && sort.Add(key, value)) ++added;
  EXPECT_EQ(added, sort.buffer_records());  // the first flush fails
  EXPECT_NE(err.code(), -1);
}

TEST(QSort, ExplicitDirectoryWinsOverTemp) {
  ScopedTempEnv env;
  ScopedTempDir own;
  QError err;
  QSort sort(err, {4, 4, 8}, own.path().c_str(), 64);
  char key[4] = {}, value[4] = {};
  for (int i = 0; i < 20; ++i) {
    key[0] = static_cast<char>(20 - i);
    ASSERT_TRUE(sort.Add(key, value));
  }
  EXPECT_EQ(ListDir(own.path()).size(), 1u);
  EXPECT_EQ(env.file_count(), 0u);
  ASSERT_TRUE(sort.Finish());
  ASSERT_TRUE(sort.ReadNext(key, value));
  EXPECT_EQ(key[0], 1);
}

}  // namespace
