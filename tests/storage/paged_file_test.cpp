#include "storage/paged_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "frame/error.h"
#include "storage/qfile.h"
#include "storage/qio.h"
#include "storage/record_mgr.h"
#include "support/core_bytes.h"
#include "support/core_storage.h"
#include "support/test_files.h"

namespace {

using lumetra_test::Bytes;
using lumetra_test::Put16;
using lumetra_test::Put32;

constexpr std::uint32_t kUncheckedKind = 0x1100AAAA;

// A checksummed header page promising `page_count` pages, then
// `actual_pages` pages whose bytes name their page, then `extra_bytes`.
struct FileShape {
  std::uint32_t kind = kUncheckedKind;
  std::uint32_t header_page_size = 512;
  std::uint32_t page_size = 300;
  std::uint32_t page_count = 3;
  std::uint32_t actual_pages = 3;
  std::uint32_t extra_bytes = 0;

  int ExpectedSize() const { return static_cast<int>(header_page_size + page_count * page_size); }
};

Bytes PagedBytes(const FileShape& shape) {
  Bytes bytes(shape.header_page_size, 0);
  lumetra_test::PutText(bytes, 0, "Lumetra paged file test");
  Put32(bytes, 256, shape.kind);
  Put32(bytes, 260, shape.page_count);
  Put16(bytes, 264, shape.header_page_size);
  Put16(bytes, 266, shape.page_size);
  for (int i = 0; i < 12; ++i) bytes[268 + i] = static_cast<std::uint8_t>(0xA0 + i);
  StorePageChecksum(bytes.data(), shape.header_page_size);
  for (std::uint32_t p = 0; p < shape.actual_pages; ++p) {
    for (std::uint32_t i = 0; i < shape.page_size; ++i) {
      bytes.push_back(static_cast<std::uint8_t>(p * 13 + i));
    }
  }
  bytes.insert(bytes.end(), shape.extra_bytes, 0x55);
  return bytes;
}

class QPagedFileTest : public testing::Test {
 protected:
  std::string Write(const Bytes& bytes, const std::string& name = "file.pgf") {
    const std::string path = dir_.File(name);
    lumetra_test::WriteBytes(path, bytes);
    return path;
  }
  std::string Write(const FileShape& shape, const std::string& name = "file.pgf") {
    return Write(PagedBytes(shape), name);
  }

  lumetra_test::ScopedTempDir dir_;
  QError err_;
};

TEST_F(QPagedFileTest, OpensAndServesItsPagesBehindTheHeader) {
  const std::string path = Write(FileShape(), "parcels-table.pgf");
  QPagedFile file(path.c_str(), kUncheckedKind, 3, err_);
  ASSERT_TRUE(file.ready()) << err_.detail();
  EXPECT_EQ(file.kind(), kUncheckedKind);
  EXPECT_EQ(file.header_page_size(), 512u);
  EXPECT_EQ(file.page_size(), 300u);
  EXPECT_EQ(file.page_count(), 3u);
  EXPECT_STREQ(file.label(), "able.pgf");
  EXPECT_STREQ(reinterpret_cast<const char*>(file.header_page()), "Lumetra paged file test");
  EXPECT_EQ(file.HeaderU32(268), 0xA3A2A1A0u);
  EXPECT_EQ(file.HeaderU16(266), 300u);
  EXPECT_EQ(file.HeaderU32(510), 0u);  // runs past the header page
  ASSERT_NE(file.record_mgr(), nullptr);
  EXPECT_STREQ(file.record_mgr()->label(), "able.pgf");
  EXPECT_EQ(file.record_mgr()->slot_count(), 3u);
  EXPECT_EQ(file.record_mgr()->base_offset(), 512);
  const std::uint8_t* page = file.record_mgr()->GetPage(2);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page[0], 26);
  EXPECT_EQ(page[5], 31);
  EXPECT_TRUE(file.file().is_open());
  EXPECT_FALSE(file.file().is_mapped());
  // A name shorter than 8 characters is the whole label.
  lumetra_test::ScopedChdir cd(dir_.path());
  Write(FileShape(), "a.pg");
  QPagedFile short_name("a.pg", kUncheckedKind, 1, err_);
  ASSERT_TRUE(short_name.ready());
  EXPECT_STREQ(short_name.label(), "a.pg");
}

TEST_F(QPagedFileTest, WrongKindFailsWith102BeforeAnythingElseIsRead) {
  FileShape shape;
  shape.header_page_size = 0xFFFF;  // would demand a huge header read
  Bytes bytes = PagedBytes(shape);
  bytes.resize(280);
  bytes[300 % 280] ^= 0xFF;  // the checksum cannot hold either
  const std::string path = Write(bytes, "kind.pgf");
  lumetra_test::TraceCapture trace;
  QPagedFile file(path.c_str(), 0x02000900, 1, err_);
  EXPECT_FALSE(file.ready());
  EXPECT_EQ(err_.code(), 102);
  EXPECT_EQ(std::string(err_.detail()), path);
  EXPECT_EQ(file.record_mgr(), nullptr);
  const std::vector<std::string> reads = trace.LinesStartingWith("Read(");
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_NE(reads[0].find(", 280 ) = 280"), std::string::npos) << reads[0];
}

TEST_F(QPagedFileTest, HeaderChecksumMismatchFailsWith111) {
  for (std::size_t at : {3u /* free text */, 511u /* stored checksum */}) {
    Bytes bytes = PagedBytes(FileShape());
    bytes[at] ^= 0x81;
    const std::string path = Write(bytes, "sum.pgf");
    QError err;
    QPagedFile file(path.c_str(), kUncheckedKind, 1, err);
    EXPECT_FALSE(file.ready()) << at;
    EXPECT_EQ(err.code(), 111) << at;
    EXPECT_EQ(std::string(err.detail()), path) << at;
  }
}

TEST_F(QPagedFileTest, MissingOrTinyFilesAndBadHeaderOrPageSizesFail) {
  QPagedFile missing(dir_.File("none.pgf").c_str(), kUncheckedKind, 1, err_);
  EXPECT_FALSE(missing.ready());
  EXPECT_EQ(err_.code(), ENOENT);
  err_.Clear();
  QPagedFile too_small(Write(Bytes(100, 0), "tiny.pgf").c_str(), kUncheckedKind, 1, err_);
  EXPECT_FALSE(too_small.ready());
  EXPECT_NE(err_.code(), -1);
  for (std::uint32_t header_size : {0u, 100u, 281u}) {
    Bytes bytes = PagedBytes(FileShape());
    Put16(bytes, 264, header_size);
    QError err;
    QPagedFile bad(Write(bytes, "hdr.pgf").c_str(), kUncheckedKind, 1, err);
    EXPECT_FALSE(bad.ready()) << header_size;
    EXPECT_EQ(err.code(), 111) << header_size;
  }
  FileShape zero_pages;
  zero_pages.page_size = 0;
  QError err;
  QPagedFile no_pages(Write(zero_pages, "zero.pgf").c_str(), kUncheckedKind, 1, err);
  EXPECT_FALSE(no_pages.ready());
  EXPECT_EQ(err.code(), 111);
}

}  // namespace
