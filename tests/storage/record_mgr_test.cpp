#include "storage/record_mgr.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <list>
#include <random>
#include <string>
#include <vector>

#include "frame/error.h"
#include "storage/qfile.h"
#include "storage/trace.h"
#include "support/test_files.h"

namespace {

using lumetra_test::ScopedTempDir;
using lumetra_test::WriteBytes;

constexpr std::uint32_t kPageSize = 64;
constexpr std::uint32_t kBase = 16;

std::uint8_t PageByte(std::uint32_t page, std::uint32_t i) {
  return static_cast<std::uint8_t>(page * 31 + i * 7 + 3);
}

// A file of `pages` pages behind `kBase` bytes of preamble; every byte tells
// its page and position.
std::string MakePagedBytes(const ScopedTempDir& dir, std::uint32_t pages) {
  std::vector<std::uint8_t> bytes(kBase, 0xEE);
  for (std::uint32_t p = 0; p < pages; ++p) {
    for (std::uint32_t i = 0; i < kPageSize; ++i) bytes.push_back(PageByte(p, i));
  }
  const std::string path = dir.File("pages.bin");
  WriteBytes(path, bytes);
  return path;
}

bool PageHolds(const std::uint8_t* page, std::uint32_t n) {
  if (page == nullptr) return false;
  for (std::uint32_t i = 0; i < kPageSize; ++i) {
    if (page[i] != PageByte(n, i)) return false;
  }
  return true;
}

// Counts the "Read(" lines the file layer traces while it lives.
class ReadTrace {
 public:
  ReadTrace() : file_(std::tmpfile()) { previous_ = lumetra::SetTraceStream(file_); }
  ~ReadTrace() {
    lumetra::SetTraceStream(previous_);
    std::fclose(file_);
  }
  int Reads() {
    std::fflush(file_);
    std::rewind(file_);
    int reads = 0;
    char line[256];
    while (std::fgets(line, sizeof line, file_) != nullptr) {
      if (std::strncmp(line, "Read(", 5) == 0) ++reads;
    }
    return reads;
  }

 private:
  std::FILE* file_;
  std::FILE* previous_;
};

TEST(QRecordMgr, RequestedSlotCountsAreClampedTo1And1024) {
  ScopedTempDir dir;
  const std::string path = MakePagedBytes(dir, 2);
  QError err;
  Qfile file(err, path.c_str(), Qfile::kModeRead);
  const struct {
    std::uint32_t requested, expected;
  } rows[] = {{0, 1}, {1, 1}, {5, 5}, {1024, 1024}, {1025, 1024}, {5000, 1024}};
  for (const auto& row : rows) {
    QRecordMgr mgr("clamp", file, kBase, kPageSize, row.requested, err);
    EXPECT_TRUE(mgr.ready());
    EXPECT_EQ(mgr.slot_count(), row.expected) << "requested " << row.requested;
    EXPECT_EQ(mgr.SlotPagesForTest().size(), row.expected);
  }
}

TEST(QRecordMgr, LabelIsCutToEightCharacters) {
  ScopedTempDir dir;
  const std::string path = MakePagedBytes(dir, 1);
  QError err;
  Qfile file(err, path.c_str(), Qfile::kModeRead);
  QRecordMgr mgr("abcdefghijk", file, kBase, kPageSize, 1, err);
  EXPECT_STREQ(mgr.label(), "abcdefgh");
}

TEST(QRecordMgr, TwoSlotsReadingPages1213ReadEachPageOnceAndEvictPage2) {
  ScopedTempDir dir;
  const std::string path = MakePagedBytes(dir, 4);
  QError err;
  Qfile file(err, path.c_str(), Qfile::kModeRead);
  QRecordMgr mgr("lru", file, kBase, kPageSize, 2, err);
  ASSERT_TRUE(mgr.ready());
  ReadTrace trace;
  const std::uint32_t sequence[] = {1, 2, 1, 3};
  const int expected_hits[] = {0, 0, 1, 0};
  for (int i = 0; i < 4; ++i) {
    int hit = 99;
    const std::uint8_t* page = mgr.GetPage(sequence[i], &hit);
    EXPECT_TRUE(PageHolds(page, sequence[i])) << "access " << i;
    EXPECT_EQ(hit, expected_hits[i]) << "access " << i;
  }
  EXPECT_EQ(trace.Reads(), 3);
  EXPECT_EQ(mgr.read_count(), 3u);
  EXPECT_EQ(mgr.SlotPagesForTest(), (std::vector<std::uint32_t>{3, 1}));
  int hit = 99;
  EXPECT_TRUE(PageHolds(mgr.GetPage(2, &hit), 2));  // evicted: read again
  EXPECT_EQ(hit, 0);
  EXPECT_EQ(trace.Reads(), 4);
  EXPECT_EQ(mgr.SlotPagesForTest(), (std::vector<std::uint32_t>{2, 3}));
}

TEST(QRecordMgr, CacheAgreesWithAModelLruOverRandomAccesses) {
  const unsigned seed = 4711;
  std::printf("QRecordMgr LRU differential seed %u\n", seed);
  ScopedTempDir dir;
  const std::string path = MakePagedBytes(dir, 40);
  QError err;
  Qfile file(err, path.c_str(), Qfile::kModeRead);
  for (std::uint32_t slots : {1u, 2u, 3u, 7u, 16u}) {
    QRecordMgr mgr("model", file, kBase, kPageSize, slots, err);
    std::list<std::uint32_t> model;  // most recent first
    std::uint64_t model_reads = 0;
    std::mt19937 rng(seed + slots);
    for (int step = 0; step < 3000; ++step) {
      // Skewed towards a few hot pages, like tree roots.
      const std::uint32_t page = rng() % 4 == 0 ? rng() % 40 : rng() % 6;
      int hit = -5;
      ASSERT_TRUE(PageHolds(mgr.GetPage(page, &hit), page));
      auto it = std::find(model.begin(), model.end(), page);
      const bool model_hit = it != model.end();
      if (model_hit) {
        model.erase(it);
      } else {
        ++model_reads;
        if (model.size() == slots) model.pop_back();
      }
      model.push_front(page);
      ASSERT_EQ(hit, model_hit ? 1 : 0) << "slots " << slots << " step " << step;
    }
    EXPECT_EQ(mgr.read_count(), model_reads);
    std::vector<std::uint32_t> cached = mgr.SlotPagesForTest();
    cached.resize(model.size());
    EXPECT_EQ(cached, std::vector<std::uint32_t>(model.begin(), model.end()));
  }
}

TEST(QRecordMgr, FailedReadReturnsNullAndLeavesTheCacheUsable) {
  ScopedTempDir dir;
  const std::string path = MakePagedBytes(dir, 3);
  QError err;
  Qfile file(err, path.c_str(), Qfile::kModeRead);
  QRecordMgr mgr("short", file, kBase, kPageSize, 2, err);
  ASSERT_TRUE(PageHolds(mgr.GetPage(0), 0));
  ASSERT_TRUE(PageHolds(mgr.GetPage(1), 1));
  int hit = 99;
  EXPECT_EQ(mgr.GetPage(3, &hit), nullptr);  // past the end of the file
  EXPECT_EQ(hit, 0);
  EXPECT_NE(err.code(), -1);
  // The least recently used slot (page 0) was emptied; page 1 survives.
  EXPECT_EQ(mgr.SlotPagesForTest(), (std::vector<std::uint32_t>{1, QRecordMgrRecord::kNoPage}));
  EXPECT_TRUE(PageHolds(mgr.GetPage(1, &hit), 1));
  EXPECT_EQ(hit, 1);
  EXPECT_TRUE(PageHolds(mgr.GetPage(2, &hit), 2));
  EXPECT_EQ(hit, 0);
}

TEST(QRecordMgr, PageNumberOfAnEmptySlotIsNotAPage) {
  ScopedTempDir dir;
  const std::string path = MakePagedBytes(dir, 1);
  QError err;
  Qfile file(err, path.c_str(), Qfile::kModeRead);
  QRecordMgr mgr("nopage", file, kBase, kPageSize, 2, err);
  EXPECT_EQ(mgr.GetPage(QRecordMgrRecord::kNoPage), nullptr);
  EXPECT_EQ(err.code(), 100);
  EXPECT_EQ(mgr.read_count(), 0u);
}

TEST(QRecordMgr, MappedFileGetsNoSlotsAndPointersIntoTheView) {
  ScopedTempDir dir;
  const std::string path = MakePagedBytes(dir, 5);
  QError err;
  Qfile file(err, path.c_str(), Qfile::kModeMapped);
  ASSERT_TRUE(file.is_mapped());
  ReadTrace trace;
  QRecordMgr mgr("mapped", file, kBase, kPageSize, 8, err);
  ASSERT_TRUE(mgr.ready());
  EXPECT_TRUE(mgr.mapped());
  EXPECT_EQ(mgr.slot_count(), 0u);
  for (std::uint32_t page : {4u, 0u, 2u, 2u}) {
    int hit = 99;
    const std::uint8_t* bytes = mgr.GetPage(page, &hit);
    EXPECT_EQ(bytes, file.mapped_view() + kBase + page * kPageSize);
    EXPECT_TRUE(PageHolds(bytes, page));
    EXPECT_EQ(hit, -1);
  }
  int hit = 99;
  EXPECT_EQ(mgr.GetPage(5, &hit), nullptr);  // would reach past the view
  EXPECT_EQ(hit, -1);
  EXPECT_EQ(trace.Reads(), 0);
  EXPECT_EQ(mgr.read_count(), 0u);
}

TEST(QRecordMgr, MappedPageEndingExactlyAtTheFileEndIsServed) {
  ScopedTempDir dir;
  const std::string path = MakePagedBytes(dir, 2);
  QError err;
  Qfile file(err, path.c_str(), Qfile::kModeMapped);
  QRecordMgr mgr("edge", file, kBase, kPageSize, 1, err);
  EXPECT_TRUE(PageHolds(mgr.GetPage(1), 1));
  QRecordMgr shifted("edge", file, kBase + 1, kPageSize, 1, err);
  EXPECT_EQ(shifted.GetPage(1), nullptr);  // one byte short
}

TEST(QRecordMgr, PageSizeZeroIsRefused) {
  ScopedTempDir dir;
  const std::string path = MakePagedBytes(dir, 1);
  QError err;
  Qfile file(err, path.c_str(), Qfile::kModeRead);
  QRecordMgr mgr("zero", file, 0, 0, 4, err);
  EXPECT_FALSE(mgr.ready());
  EXPECT_EQ(err.code(), 100);
  EXPECT_EQ(mgr.GetPage(0), nullptr);
}

TEST(QRecordMgr, SlotAllocationFailuresAreReportedWithCode104) {
  ScopedTempDir dir;
  const std::string path = MakePagedBytes(dir, 1);
  QError err;
  Qfile file(err, path.c_str(), Qfile::kModeRead);
  const struct {
    bool buffer;
    const char* detail;
  } rows[] = {{false, "QRecordMgr - Failed to Initialize QRecordMgrRecord"},
              {true, "QTree - Unable to allocate QRecordMgr"}};
  for (const auto& row : rows) {
    err.Clear();
    QRecordMgr::FailSlotAllocationForTest(2, row.buffer);
    QRecordMgr mgr("alloc", file, kBase, kPageSize, 4, err);
    QRecordMgr::FailSlotAllocationForTest(-1, false);
    EXPECT_FALSE(mgr.ready());
    EXPECT_EQ(err.code(), 104);
    EXPECT_STREQ(err.detail(), row.detail);
  }
}

TEST(QRecordMgr, ThrowingRecordUnwindsOnAFailedRead) {
  ScopedTempDir dir;
  const std::string path = MakePagedBytes(dir, 1);
  QErrorEx err;
  Qfile file(err, path.c_str(), Qfile::kModeRead);
  QRecordMgr mgr("throw", file, kBase, kPageSize, 1, err);
  ASSERT_TRUE(PageHolds(mgr.GetPage(0), 0));
  EXPECT_THROW(mgr.GetPage(7), QErrorEx);
  // The slot was emptied before the read, so the cache stays consistent.
  EXPECT_EQ(mgr.SlotPagesForTest(), std::vector<std::uint32_t>{QRecordMgrRecord::kNoPage});
  EXPECT_TRUE(PageHolds(mgr.GetPage(0), 0));
}

}  // namespace
