#include "storage/qio.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "frame/error.h"
#include "storage/trace.h"
#include "support/core_bytes.h"
#include "support/core_storage.h"
#include "support/test_files.h"

namespace {

using lumetra_test::FileExists;
using lumetra_test::ListDir;
using lumetra_test::ReadBytes;
using lumetra_test::ScopedChdir;
using lumetra_test::ScopedTempDir;
using lumetra_test::WriteBytes;

using lumetra_test::TraceCapture;

uint16_t ReferenceChecksum(const std::vector<uint8_t>& page) {
  return lumetra_test::ReferenceChecksum(page.data(), page.size());
}

TEST(PageChecksum, PinnedValuesAndRandomPagesMatchTheReference) {
  std::vector<uint8_t> counting(16);
  for (size_t i = 0; i < counting.size(); ++i) counting[i] = static_cast<uint8_t>(i + 1);
  const std::vector<uint8_t> ones(4096, 0xFF);
  const std::vector<uint8_t> zeros(512, 0);
  EXPECT_EQ(PageChecksum(counting.data(), 16), 0x0A3A);
  EXPECT_EQ(ReferenceChecksum(counting), 0x0A3A);
  EXPECT_EQ(PageChecksum(ones.data(), 4096), 0x42C0);
  EXPECT_EQ(ReferenceChecksum(ones), 0x42C0);
  EXPECT_EQ(PageChecksum(zeros.data(), 512), 0);
  const unsigned seed = 20240611;
  std::mt19937 rng(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> page(rng() % 9000);
    for (uint8_t& b : page) b = static_cast<uint8_t>(rng());
    ASSERT_EQ(PageChecksum(page.data(), static_cast<uint32_t>(page.size())),
              ReferenceChecksum(page))
        << "page size " << page.size();
  }
}

TEST(PageChecksum, StoredLittleEndianInTheLastTwoBytesWhichItIgnores) {
  std::vector<uint8_t> page(16);
  for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i + 1);
  const uint16_t sum = PageChecksum(page.data(), 16);
  EXPECT_FALSE(PageChecksumValid(page.data(), 16));
  StorePageChecksum(page.data(), 16);
  EXPECT_EQ(page[14], 0x3A);
  EXPECT_EQ(page[15], 0x0A);
  EXPECT_EQ(PageChecksum(page.data(), 16), sum);
  EXPECT_TRUE(PageChecksumValid(page.data(), 16));
  page[3] ^= 0x40;
  EXPECT_FALSE(PageChecksumValid(page.data(), 16));
  const uint16_t before = PageChecksum(page.data(), 16);
  page[13] ^= 1;  // the last byte summed
  EXPECT_NE(PageChecksum(page.data(), 16), before);
}

}  // namespace
