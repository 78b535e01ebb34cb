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

std::string Format(const char* format, const std::string& name, int expected, int actual) {
  char text[512];
  std::snprintf(text, sizeof text, format, name.c_str(), expected, actual);
  return text;
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

TEST_F(QPagedFileTest, EveryLengthCheckedKindRefusesAFileOneByteShort) {
  for (std::uint32_t kind : QPagedFile::kLengthCheckedKinds) {
    SCOPED_TRACE(kind);
    FileShape shape;
    shape.kind = kind;
    Bytes bytes = PagedBytes(shape);
    bytes.pop_back();
    const std::string path = Write(bytes, "short.pgf");
    QError err;
    QPagedFile file(path.c_str(), kind, 1, err);
    EXPECT_FALSE(file.ready());
    EXPECT_EQ(err.code(), 111);
    EXPECT_EQ(std::string(err.detail()), Format("File %s is too short, expected %i found %i ", path,
                                                shape.ExpectedSize(), shape.ExpectedSize() - 1));
  }
}

TEST_F(QPagedFileTest, LongerFilesFollowTheRulesOfTheirKind) {
  // Each row: kind, extra whole pages, extra bytes -> ready, page count.
  const struct {
    std::uint32_t kind, extra_pages, extra_bytes;
    bool ready;
    std::uint32_t page_count;
  } rows[] = {
      {0x04000A00, 2, 0, true, 5},     {0x08000E00, 2, 0, true, 5},    {0x04000A00, 0, 0, true, 3},
      {0x08000E00, 1, 7, false, 0},    {0x04000A00, 0, 299, false, 0}, {0x02000900, 2, 0, true, 3},
      {0x01000F00, 0, 7, true, 3},     {0x01001001, 1, 1, true, 3},    {0x01001002, 3, 0, true, 3},
      {0x05000900, 0, 1, true, 3},     {0xD07F454D, 2, 5, true, 3},    {0x879FE5D7, 1, 0, true, 3},
      {kUncheckedKind, 2, 5, true, 3},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << row.kind << std::dec << " +" << row.extra_pages
                                    << " pages +" << row.extra_bytes << " bytes");
    FileShape shape;
    shape.kind = row.kind;
    shape.actual_pages = shape.page_count + row.extra_pages;
    shape.extra_bytes = row.extra_bytes;
    const std::string path = Write(shape);
    QError err;
    QPagedFile file(path.c_str(), row.kind, 2, err);
    EXPECT_EQ(file.ready(), row.ready) << err.detail();
    if (row.ready) {
      EXPECT_EQ(file.page_count(), row.page_count);
      // The counted pages are all readable.
      EXPECT_NE(file.record_mgr()->GetPage(row.page_count - 1), nullptr);
    } else {
      const int actual = shape.ExpectedSize() +
                         static_cast<int>(row.extra_pages * shape.page_size + row.extra_bytes);
      EXPECT_EQ(err.code(), 111);
      EXPECT_EQ(std::string(err.detail()), Format("File %s is too long.  Expected %i found %i ",
                                                  path, shape.ExpectedSize(), actual));
    }
  }
  // An extendable kind counts whole pages also when the header is not page aligned.
  FileShape unaligned;
  unaligned.kind = 0x08000E00;
  unaligned.header_page_size = 300;
  unaligned.page_size = 512;
  unaligned.page_count = 1;
  unaligned.actual_pages = 3;
  QPagedFile file(Write(unaligned).c_str(), unaligned.kind, 2, err_);
  ASSERT_TRUE(file.ready()) << err_.detail();
  EXPECT_EQ(file.page_count(), 3u);
}

TEST_F(QPagedFileTest, UnreadableFooterPageFailsWith111) {
  // With pages smaller than the 280-byte footer probe, the last page cannot
  // supply the probe at the file's end.
  FileShape shape;
  shape.kind = 0x02000900;
  shape.page_size = 64;
  shape.page_count = 2;
  shape.actual_pages = 2;
  const std::string path = Write(shape);
  QPagedFile file(path.c_str(), shape.kind, 1, err_);
  EXPECT_FALSE(file.ready());
  EXPECT_EQ(err_.code(), 111);
  EXPECT_EQ(std::string(err_.detail()), "Cannot read footer page on file " + path);
  // Enough bytes behind the last page make the same footer readable.
  shape.extra_bytes = 280 - 64;
  QError ok;
  QPagedFile accepted(Write(shape, "longer.pgf").c_str(), shape.kind, 1, ok);
  EXPECT_TRUE(accepted.ready()) << ok.detail();
}

TEST_F(QPagedFileTest, ZeroPageCountOrUncheckedKindSkipsTheLengthCheck) {
  FileShape empty;
  empty.kind = 0x02000900;
  empty.page_count = 0;
  empty.actual_pages = 0;
  QPagedFile file(Write(empty, "empty.pgf").c_str(), empty.kind, 1, err_);
  EXPECT_TRUE(file.ready()) << err_.detail();
  FileShape truncated;  // unchecked kind, pages missing
  truncated.actual_pages = 1;
  QPagedFile unchecked(Write(truncated, "trunc.pgf").c_str(), kUncheckedKind, 1, err_);
  EXPECT_TRUE(unchecked.ready());
  EXPECT_EQ(unchecked.record_mgr()->GetPage(2), nullptr);  // reported by the read
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

TEST_F(QPagedFileTest, RecordManagerFailureIsReportedWith104) {
  const std::string path = Write(FileShape());
  QRecordMgr::FailSlotAllocationForTest(0, true);
  QPagedFile file(path.c_str(), kUncheckedKind, 2, err_);
  QRecordMgr::FailSlotAllocationForTest(-1, false);
  EXPECT_FALSE(file.ready());
  EXPECT_EQ(err_.code(), 104);
  EXPECT_STREQ(err_.detail(), "QPagedFile - Failed to Initialize QRecordMgr");
  EXPECT_EQ(file.record_mgr(), nullptr);
}

TEST_F(QPagedFileTest, ThrowingRecordUnwindsWithTheFailure) {
  const std::string path = Write(FileShape());
  QErrorEx err;
  try {
    QPagedFile file(path.c_str(), 0x02000900, 1, err);
    ADD_FAILURE() << "no throw";
  } catch (const QErrorEx& thrown) {
    EXPECT_EQ(thrown.code(), 102);
  }
}

}  // namespace
