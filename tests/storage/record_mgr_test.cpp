#include "storage/record_mgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <list>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "frame/error.h"
#include "storage/qfile.h"
#include "support/core_storage.h"
#include "support/test_files.h"

namespace {

using lumetra_test::TraceCapture;

constexpr std::uint32_t kPageSize = 64;
constexpr std::uint32_t kBase = 16;
constexpr std::uint32_t kNoPage = QRecordMgrRecord::kNoPage;

std::uint8_t PageByte(std::uint32_t page, std::uint32_t i) {
  return static_cast<std::uint8_t>(page * 31 + i * 7 + 3);
}

bool PageHolds(const std::uint8_t* page, std::uint32_t n) {
  if (page == nullptr) return false;
  for (std::uint32_t i = 0; i < kPageSize; ++i) {
    if (page[i] != PageByte(n, i)) return false;
  }
  return true;
}

std::size_t Reads(TraceCapture& trace) { return trace.LinesStartingWith("Read(").size(); }

class QRecordMgrTest : public testing::Test {
 protected:
  // A file of `pages` pages behind kBase bytes of preamble; every byte tells
  // its page and position.
  std::string Write(std::uint32_t pages) {
    std::vector<std::uint8_t> bytes(kBase, 0xEE);
    for (std::uint32_t p = 0; p < pages; ++p) {
      for (std::uint32_t i = 0; i < kPageSize; ++i) bytes.push_back(PageByte(p, i));
    }
    lumetra_test::WriteBytes(path_, bytes);
    return path_;
  }
  Qfile& Open(std::uint32_t pages, int mode = Qfile::kModeRead) {
    file_ = std::make_unique<Qfile>(err_, Write(pages).c_str(), mode);
    return *file_;
  }

  lumetra_test::ScopedTempDir dir_;
  std::string path_ = dir_.File("pages.bin");
  QError err_;
  std::unique_ptr<Qfile> file_;
};

TEST_F(QRecordMgrTest, FailedReadReturnsNullAndLeavesTheCacheUsable) {
  QRecordMgr mgr("short", Open(3), kBase, kPageSize, 2, err_);
  ASSERT_TRUE(PageHolds(mgr.GetPage(0), 0));
  ASSERT_TRUE(PageHolds(mgr.GetPage(1), 1));
  int hit = 99;
  EXPECT_EQ(mgr.GetPage(3, &hit), nullptr);  // past the end of the file
  EXPECT_EQ(hit, 0);
  EXPECT_NE(err_.code(), -1);
  // The least recently used slot (page 0) was emptied; page 1 survives.
  EXPECT_EQ(mgr.SlotPagesForTest(), (std::vector<std::uint32_t>{1, kNoPage}));
  EXPECT_TRUE(PageHolds(mgr.GetPage(1, &hit), 1));
  EXPECT_EQ(hit, 1);
  EXPECT_TRUE(PageHolds(mgr.GetPage(2, &hit), 2));
  EXPECT_EQ(hit, 0);
}

TEST_F(QRecordMgrTest, MappedFileGetsNoSlotsAndPointersIntoTheView) {
  Qfile& file = Open(5, Qfile::kModeMapped);
  ASSERT_TRUE(file.is_mapped());
  TraceCapture trace;
  QRecordMgr mgr("mapped", file, kBase, kPageSize, 8, err_);
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
  EXPECT_EQ(Reads(trace), 0u);
  EXPECT_EQ(mgr.read_count(), 0u);
  // The last page ends exactly at the file's end; one byte further is too far.
  QRecordMgr shifted("edge", file, kBase + 1, kPageSize, 1, err_);
  EXPECT_TRUE(PageHolds(mgr.GetPage(4), 4));
  EXPECT_EQ(shifted.GetPage(4), nullptr);
}

}  // namespace
