// Tree builder: round trips through QTree against std::multimap, the level
// layout byte by byte, and scratch files.
#include "storage/tree_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "fault_injection.h"
#include "frame/error.h"
#include "storage/qfile.h"
#include "storage/qio.h"
#include "storage/qtree.h"
#include "support/core_bytes.h"
#include "support/test_files.h"

namespace {

using lumetra_test::ListDir;
using lumetra_test::ReadBytes;

constexpr std::uint32_t kSeed = 20240611;

std::string Key8(const std::string& text) {
  std::string key(8, '\0');
  std::memcpy(&key[0], text.data(), std::min<std::size_t>(8, text.size()));
  return key;
}

std::string U64Bytes(std::uint64_t v) {
  std::string out(8, '\0');
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(v >> (8 * i));
  return out;
}

std::uint64_t U64From(const std::uint8_t* p) { return lumetra_test::Get64(p); }

std::uint16_t U16From(const std::vector<std::uint8_t>& b, std::size_t at) {
  return lumetra_test::Get16(&b[at]);
}

using lumetra_test::ReferenceChecksum;

// n records in order: keys `format` of 0, 1, ... with values 0, 1, ...
std::vector<std::pair<std::string, std::string>> Numbered(const char* format, int n) {
  std::vector<std::pair<std::string, std::string>> records;
  for (int i = 0; i < n; ++i) {
    char text[32];
    std::snprintf(text, sizeof text, format, i);
    records.emplace_back(Key8(text), U64Bytes(i));
  }
  return records;
}

struct NameLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return lumetra::CompareNameKeys(a.data(), b.data(), 8) < 0;
  }
};
using Model = std::multimap<std::string, std::uint64_t, NameLess>;

struct Progress {
  std::vector<std::pair<std::string, int>> reports;
  bool Saw(const std::string& text) const {
    return std::any_of(reports.begin(), reports.end(),
                       [&](const auto& r) { return r.first == text; });
  }
};

// Builds a tree from (key, value) records into "out.obj" (after `prefix`
// bytes of other content) inside a temporary working directory.
class TreeFixture : public lumetra_test::ScratchDirTest {
 protected:
  std::uint64_t BuildTree(const std::vector<std::pair<std::string, std::string>>& records,
                          QTreeBuilderOptions options = QTreeBuilderOptions(),
                          std::size_t prefix = 0) {
    options.progress = [this](const char* text, int p) { progress_.reports.emplace_back(text, p); };
    QTreeBuilder builder(err_, options);
    EXPECT_TRUE(builder.ready());
    for (const auto& r : records) EXPECT_TRUE(builder.Add(r.first.data(), r.second.data()));
    out_of_order_ = builder.out_of_order();
    const int fd = QioCreate(err_, path_.c_str());
    EXPECT_GE(fd, 0);
    if (prefix > 0) {
      std::vector<std::uint8_t> bytes(prefix, 0xAB);
      EXPECT_TRUE(QioWriteAt(fd, err_, 0, bytes.data(), static_cast<std::uint32_t>(prefix)));
    }
    const std::uint64_t root = builder.Build(fd);
    EXPECT_TRUE(QioClose(fd, err_));
    return root;
  }

  // Everything but the output file must be gone from the working directory.
  void ExpectNoScratchFiles() {
    for (const std::string& name : ListDir(dir_.path())) EXPECT_EQ(name, "out.obj");
  }

  std::string path_ = dir_.File("out.obj");
  QError err_;
  Progress progress_;
  bool out_of_order_ = false;
};

std::vector<std::pair<std::string, std::string>> RandomRecords(std::size_t n, std::mt19937* rng,
                                                               Model* model) {
  // Few letters and short keys give many duplicates and case-only differences.
  static const char kLetters[] = "abcdefABCDEF";
  std::uniform_int_distribution<int> letter(0, 11);
  std::uniform_int_distribution<int> length(1, n > 5000 ? 8 : 3);
  std::vector<std::pair<std::string, std::string>> records;
  for (std::size_t i = 0; i < n; ++i) {
    std::string text;
    for (int c = length(*rng); c > 0; --c) text += kLetters[letter(*rng)];
    records.emplace_back(Key8(text), U64Bytes(i));
  }
  for (const auto& r : records) {
    model->emplace(r.first, U64From(reinterpret_cast<const std::uint8_t*>(r.second.data())));
  }
  return records;
}

// Walks the whole tree with First / NextEntry.
std::vector<std::pair<std::string, std::uint64_t>> WalkTree(QTree& tree) {
  std::vector<std::pair<std::string, std::uint64_t>> entries;
  std::uint8_t key[8];
  std::uint8_t value[8];
  for (bool ok = tree.First(key, value); ok; ok = tree.NextEntry(key, value)) {
    entries.emplace_back(std::string(reinterpret_cast<char*>(key), 8), U64From(value));
  }
  return entries;
}

// Checks the tree against the model: the walk holds exactly the model's
// entries in key order (in the model's order too when `exact_order`, that is
// when nothing was sorted); every key is found at the first entry of its run
// and Next yields the rest of the run; absent keys in mode 1 land on the
// last entry below them.
void ExpectTreeMatchesModel(QTree& tree, const Model& model, bool exact_order, std::mt19937* rng) {
  const auto walk = WalkTree(tree);
  ASSERT_EQ(walk.size(), model.size());
  std::size_t at = 0;
  for (auto it = model.begin(); it != model.end(); it = model.upper_bound(it->first)) {
    auto range = model.equal_range(it->first);
    std::vector<std::uint64_t> want;
    for (auto e = range.first; e != range.second; ++e) want.push_back(e->second);
    std::vector<std::uint64_t> got;
    for (std::size_t n = 0; n < want.size(); ++n, ++at) {
      ASSERT_EQ(lumetra::CompareNameKeys(walk[at].first.data(), it->first.data(), 8), 0) << at;
      got.push_back(walk[at].second);
    }
    const std::vector<std::uint64_t> run = got;
    if (!exact_order) {
      std::sort(got.begin(), got.end());
      std::sort(want.begin(), want.end());
    }
    ASSERT_EQ(got, want) << it->first;
    std::uint8_t key[8];
    std::uint8_t value[8];
    ASSERT_TRUE(tree.Find(it->first.data(), key, value, QTree::kModeExact)) << it->first;
    ASSERT_EQ(U64From(value), run[0]) << it->first;
    for (std::size_t n = 1; n < run.size(); ++n) {
      ASSERT_TRUE(tree.Next(key, value)) << it->first;
      ASSERT_EQ(U64From(value), run[n]) << it->first;
    }
    ASSERT_FALSE(tree.Next(key, value)) << it->first;
  }
  std::uniform_int_distribution<int> byte('0', 'z');
  for (int probe = 0; probe < 300; ++probe) {
    std::string text;
    for (int c = 0; c < 4; ++c) text += static_cast<char>(byte(*rng));
    const std::string search = Key8(text);
    auto below = std::partition_point(walk.begin(), walk.end(), [&](const auto& e) {
      return lumetra::CompareNameKeys(e.first.data(), search.data(), 8) < 0;
    });
    if (below != walk.end() &&
        lumetra::CompareNameKeys(below->first.data(), search.data(), 8) == 0) {
      continue;
    }
    std::uint8_t key[8];
    std::uint8_t value[8];
    const bool found = tree.Find(search.data(), key, value, QTree::kModeFloor);
    ASSERT_EQ(found, below != walk.begin()) << text;
    if (found) {
      ASSERT_EQ(U64From(value), std::prev(below)->second) << text;
    }
    ASSERT_FALSE(tree.Find(search.data(), key, value, QTree::kModeExact)) << text;
  }
}

TEST_F(TreeFixture, RoundTripsMatchAMultimap) {
  const struct {
    std::size_t records;
    bool shuffled;
    std::size_t block_bytes;
  } cases[] = {{1, false, 580000},     {2, true, 580000},       {63, true, 580000},
               {64, true, 580000},     {1000, false, 580000},   {1000, true, 16 * 37},
               {5000, true, 16 * 100}, {100000, false, 580000}, {100000, true, 16 * 3000},
               {100000, true, 580000}};
  for (const auto& c : cases) {
    const std::uint32_t seed = kSeed + static_cast<std::uint32_t>(c.records);
    SCOPED_TRACE(testing::Message()
                 << "seed " << seed << ", records " << c.records
                 << (c.shuffled ? ", shuffled" : ", in order") << ", blocks of " << c.block_bytes);
    std::mt19937 rng(seed);
    Model model;
    auto records = RandomRecords(c.records, &rng, &model);
    if (!c.shuffled) {
      std::stable_sort(records.begin(), records.end(),
                       [](const auto& a, const auto& b) { return NameLess()(a.first, b.first); });
    }
    QTreeBuilderOptions options;
    options.sort_block_bytes = c.block_bytes;
    progress_ = Progress();
    const std::uint64_t root = BuildTree(records, options);
    ASSERT_NE(root, QTreeBuilder::kBuildFailed) << err_.detail();
    EXPECT_EQ(root % 1024, 0u);
    ExpectNoScratchFiles();
    EXPECT_EQ(progress_.Saw("Sort complete"), out_of_order_);
    if (!c.shuffled) {
      EXPECT_FALSE(out_of_order_);
    }
    Qfile file(err_, path_.c_str(), Qfile::kModeMapped);
    QTree tree("roundtr", file, root, nullptr, err_);
    ASSERT_TRUE(tree.ready()) << err_.detail();
    ExpectTreeMatchesModel(tree, model, !out_of_order_, &rng);
  }
}

TEST_F(TreeFixture, SixtyFourRecordsMakeTwoLeavesAndARoot) {
  auto records = Numbered("K%05d", 64);
  const std::uint64_t root = BuildTree(records);
  ASSERT_EQ(root, 2048u);
  const std::vector<std::uint8_t> bytes = ReadBytes(path_);
  ASSERT_EQ(bytes.size(), 3072u);
  // Leaf 0: 63 entries, first of its level; leaf 1: 1 entry, last.
  EXPECT_EQ(U16From(bytes, 0), 63);
  EXPECT_EQ(bytes[6], 0x02 | 0x04);
  EXPECT_EQ(U16From(bytes, 1024), 1);
  EXPECT_EQ(bytes[1024 + 6], 0x02 | 0x08);
  // Root: level 1, interior, first and last, entries (first key, offset).
  EXPECT_EQ(U16From(bytes, 2048), 2);
  EXPECT_EQ(U16From(bytes, 2052), 1);
  EXPECT_EQ(bytes[2048 + 6], 0x01 | 0x04 | 0x08);
  EXPECT_EQ(bytes[2048 + 9], 8);
  EXPECT_EQ(std::memcmp(bytes.data() + 2048 + 12, "K00000\0\0", 8), 0);
  EXPECT_EQ(U64From(bytes.data() + 2048 + 20), 0u);
  EXPECT_EQ(std::memcmp(bytes.data() + 2048 + 28, "K00063\0\0", 8), 0);
  EXPECT_EQ(U64From(bytes.data() + 2048 + 36), 1024u);
  for (std::size_t page = 0; page < 3; ++page) {
    EXPECT_EQ(U16From(bytes, page * 1024 + 1022), ReferenceChecksum(&bytes[page * 1024], 1024));
  }
}

TEST_F(TreeFixture, FailedOrAbandonedBuildsLeaveNoScratchFiles) {
  {
    QTreeBuilder builder(err_);
    ASSERT_TRUE(builder.Add(Key8("b").data(), U64Bytes(1).data()));
    ASSERT_TRUE(builder.Add(Key8("a").data(), U64Bytes(2).data()));
    EXPECT_EQ(ListDir(dir_.path()).size(), 1u);  // the record scratch file
    const int fd = QioOpen(path_.c_str(), kRtBinary | kRtCreate | kRtReadOnly, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(builder.Build(fd), QTreeBuilder::kBuildFailed);
    EXPECT_NE(err_.code(), -1);
    EXPECT_TRUE(QioClose(fd, err_));
    EXPECT_EQ(builder.Build(fd), QTreeBuilder::kBuildFailed);  // builds once
    EXPECT_FALSE(builder.Add(Key8("c").data(), U64Bytes(3).data()));
  }
  ExpectNoScratchFiles();
  {
    QTreeBuilder unbuilt(err_);
    ASSERT_TRUE(unbuilt.ready());
    for (int i = 0; i < 10000; ++i) unbuilt.Add(Key8(std::to_string(i)).data(), U64Bytes(i).data());
    const auto names = ListDir(dir_.path());
    ASSERT_EQ(names.size(), 2u);
    EXPECT_TRUE(names[0].rfind("qtb.tmp.", 0) == 0 || names[1].rfind("qtb.tmp.", 0) == 0);
  }
  ExpectNoScratchFiles();  // destroying an unbuilt builder deletes its scratch file
}

#ifdef LUMETRA_FAULT_INJECTION
// Each hooked call of a build that sorts 27 blocks failing in turn (sampled
// to about 300 runs): the build fails and leaves no scratch file.
TEST_F(TreeFixture, EveryFailedCallFailsTheBuild) {
  std::mt19937 rng(kSeed);
  Model model;
  const auto records = RandomRecords(1000, &rng, &model);
  QTreeBuilderOptions options;
  options.sort_block_bytes = 16 * 37;
  std::uint64_t calls = 0;
  for (std::uint64_t n = 0, step = 1; n <= calls; n += step) {
    QTreeBuilder builder(err_, options);
    for (const auto& r : records) ASSERT_TRUE(builder.Add(r.first.data(), r.second.data()));
    const int fd = QioCreate(err_, path_.c_str());
    ASSERT_GE(fd, 0);
    lumetra::ArmFaultsForTest(lumetra::kAllFaultSites, n);
    const std::uint64_t root = builder.Build(fd);
    const std::uint64_t made = lumetra::DisarmFaultsForTest();
    EXPECT_TRUE(QioClose(fd, err_));
    if (n == 0) {
      ASSERT_NE(root, QTreeBuilder::kBuildFailed) << err_.detail();
      calls = made;
      step = std::max<std::uint64_t>(1, calls / 300);
      continue;
    }
    EXPECT_EQ(root, QTreeBuilder::kBuildFailed) << "call " << n << " of " << calls;
  }
  EXPECT_GT(calls, 300u);
  ExpectNoScratchFiles();
}
#endif

}  // namespace
