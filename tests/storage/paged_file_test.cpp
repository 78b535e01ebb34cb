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
#include "storage/trace.h"
#include "support/test_files.h"

namespace {

using lumetra_test::ScopedTempDir;
using lumetra_test::WriteBytes;

constexpr std::uint32_t kUncheckedKind = 0x1100AAAA;

void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void PutU16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// The bytes of a paged file: a checksummed header page promising
// `page_count` pages, then `actual_pages` pages whose bytes name their page,
// then `extra_bytes` more bytes.
struct FileShape {
  std::uint32_t kind = kUncheckedKind;
  std::uint32_t header_page_size = 512;
  std::uint32_t page_size = 300;
  std::uint32_t page_count = 3;
  std::uint32_t actual_pages = 3;
  std::uint32_t extra_bytes = 0;
};

std::vector<std::uint8_t> PagedBytes(const FileShape& shape) {
  std::vector<std::uint8_t> bytes(shape.header_page_size, 0);
  const char text[] = "Lumetra paged file test";
  std::memcpy(bytes.data(), text, sizeof text);
  PutU32(bytes, 256, shape.kind);
  PutU32(bytes, 260, shape.page_count);
  PutU16(bytes, 264, shape.header_page_size);
  PutU16(bytes, 266, shape.page_size);
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

std::string Write(const ScopedTempDir& dir, const FileShape& shape,
                  const std::string& name = "file.pgf") {
  const std::string path = dir.File(name);
  WriteBytes(path, PagedBytes(shape));
  return path;
}

std::string Format(const char* format, const std::string& name, int expected, int actual) {
  char text[512];
  std::snprintf(text, sizeof text, format, name.c_str(), expected, actual);
  return text;
}

int Expected(const FileShape& s) {
  return static_cast<int>(s.header_page_size + s.page_count * s.page_size);
}

TEST(QPagedFile, OpensAndServesItsPagesBehindTheHeader) {
  ScopedTempDir dir;
  FileShape shape;
  const std::string path = Write(dir, shape, "parcels-table.pgf");
  QError err;
  QPagedFile file(path.c_str(), kUncheckedKind, 3, err);
  ASSERT_TRUE(file.ready()) << err.detail();
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
}

TEST(QPagedFile, ShortNameIsTheWholeLabel) {
  ScopedTempDir dir;
  lumetra_test::ScopedChdir cd(dir.path());
  WriteBytes("a.pg", PagedBytes(FileShape()));
  QError err;
  QPagedFile file("a.pg", kUncheckedKind, 1, err);
  ASSERT_TRUE(file.ready());
  EXPECT_STREQ(file.label(), "a.pg");
}

TEST(QPagedFile, WrongKindFailsWith102BeforeAnythingElseIsRead) {
  ScopedTempDir dir;
  FileShape shape;
  shape.header_page_size = 0xFFFF;  // would demand a huge header read
  std::vector<std::uint8_t> bytes = PagedBytes(shape);
  bytes.resize(280);
  bytes[300 % 280] ^= 0xFF;  // the checksum cannot hold either
  const std::string path = dir.File("kind.pgf");
  WriteBytes(path, bytes);

  std::FILE* trace = std::tmpfile();
  std::FILE* previous = lumetra::SetTraceStream(trace);
  QError err;
  QPagedFile file(path.c_str(), 0x02000900, 1, err);
  lumetra::SetTraceStream(previous);
  EXPECT_FALSE(file.ready());
  EXPECT_EQ(err.code(), 102);
  EXPECT_EQ(std::string(err.detail()), path);
  EXPECT_EQ(file.record_mgr(), nullptr);

  std::rewind(trace);
  char line[512];
  std::vector<std::string> reads;
  while (std::fgets(line, sizeof line, trace) != nullptr) {
    if (std::strncmp(line, "Read(", 5) == 0) reads.push_back(line);
  }
  std::fclose(trace);
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_NE(reads[0].find(", 280 ) = 280"), std::string::npos) << reads[0];
}

TEST(QPagedFile, HeaderChecksumMismatchFailsWith111) {
  ScopedTempDir dir;
  std::vector<std::uint8_t> bytes = PagedBytes(FileShape());
  bytes[3] ^= 0x01;  // inside the free text
  const std::string path = dir.File("sum.pgf");
  WriteBytes(path, bytes);
  QError err;
  QPagedFile file(path.c_str(), kUncheckedKind, 1, err);
  EXPECT_FALSE(file.ready());
  EXPECT_EQ(err.code(), 111);
  EXPECT_EQ(std::string(err.detail()), path);
}

TEST(QPagedFile, StoredChecksumIsCheckedToo) {
  ScopedTempDir dir;
  std::vector<std::uint8_t> bytes = PagedBytes(FileShape());
  bytes[511] ^= 0x80;
  const std::string path = dir.File("sum2.pgf");
  WriteBytes(path, bytes);
  QError err;
  QPagedFile file(path.c_str(), kUncheckedKind, 1, err);
  EXPECT_FALSE(file.ready());
  EXPECT_EQ(err.code(), 111);
}

TEST(QPagedFile, EveryLengthCheckedKindRefusesAFileOneByteShort) {
  for (std::uint32_t kind : QPagedFile::kLengthCheckedKinds) {
    SCOPED_TRACE(kind);
    ScopedTempDir dir;
    FileShape shape;
    shape.kind = kind;
    std::vector<std::uint8_t> bytes = PagedBytes(shape);
    bytes.pop_back();
    const std::string path = dir.File("short.pgf");
    WriteBytes(path, bytes);
    QError err;
    QPagedFile file(path.c_str(), kind, 1, err);
    EXPECT_FALSE(file.ready());
    EXPECT_EQ(err.code(), 111);
    EXPECT_EQ(std::string(err.detail()), Format("File %s is too short, expected %i found %i ", path,
                                                Expected(shape), Expected(shape) - 1));
  }
}

TEST(QPagedFile, LongerFilesFollowTheRulesOfTheirKind) {
  // Each row: kind, extra whole pages, extra bytes -> ready, page count, message.
  const struct Row {
    std::uint32_t kind;
    std::uint32_t extra_pages;
    std::uint32_t extra_bytes;
    bool ready;
    std::uint32_t page_count;
  } rows[] = {
      {0x04000A00, 2, 0, true, 5},     {0x08000E00, 2, 0, true, 5},    {0x04000A00, 0, 0, true, 3},
      {0x08000E00, 1, 7, false, 0},    {0x04000A00, 0, 299, false, 0}, {0x02000900, 2, 0, true, 3},
      {0x01000F00, 0, 7, true, 3},     {0x01001001, 1, 1, true, 3},    {0x01001002, 3, 0, true, 3},
      {0x05000900, 0, 1, true, 3},     {0xD07F454D, 2, 5, true, 3},    {0x879FE5D7, 1, 0, true, 3},
      {kUncheckedKind, 2, 5, true, 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << row.kind << std::dec << " +" << row.extra_pages
                                    << " pages +" << row.extra_bytes << " bytes");
    ScopedTempDir dir;
    FileShape shape;
    shape.kind = row.kind;
    shape.actual_pages = shape.page_count + row.extra_pages;
    shape.extra_bytes = row.extra_bytes;
    const std::string path = Write(dir, shape);
    QError err;
    QPagedFile file(path.c_str(), row.kind, 2, err);
    EXPECT_EQ(file.ready(), row.ready) << err.detail();
    if (row.ready) {
      EXPECT_EQ(file.page_count(), row.page_count);
      // The counted pages are all readable.
      EXPECT_NE(file.record_mgr()->GetPage(row.page_count - 1), nullptr);
    } else {
      const int actual =
          Expected(shape) + static_cast<int>(row.extra_pages * shape.page_size + row.extra_bytes);
      EXPECT_EQ(err.code(), 111);
      EXPECT_EQ(std::string(err.detail()), Format("File %s is too long.  Expected %i found %i ",
                                                  path, Expected(shape), actual));
    }
  }
}

TEST(QPagedFile, ExtendableKindCountsWholePagesWhenTheHeaderIsNotPageAligned) {
  ScopedTempDir dir;
  FileShape shape;
  shape.kind = 0x08000E00;
  shape.header_page_size = 300;
  shape.page_size = 512;
  shape.page_count = 1;
  shape.actual_pages = 3;
  const std::string path = Write(dir, shape);
  QError err;
  QPagedFile file(path.c_str(), shape.kind, 2, err);
  ASSERT_TRUE(file.ready()) << err.detail();
  EXPECT_EQ(file.page_count(), 3u);
}

TEST(QPagedFile, UnreadableFooterPageFailsWith111) {
  // With pages smaller than the 280-byte footer probe, the last page cannot
  // supply the probe at the file's end.
  ScopedTempDir dir;
  FileShape shape;
  shape.kind = 0x02000900;
  shape.page_size = 64;
  shape.page_count = 2;
  shape.actual_pages = 2;
  const std::string path = Write(dir, shape);
  QError err;
  QPagedFile file(path.c_str(), shape.kind, 1, err);
  EXPECT_FALSE(file.ready());
  EXPECT_EQ(err.code(), 111);
  EXPECT_EQ(std::string(err.detail()), "Cannot read footer page on file " + path);

  // Enough bytes behind the last page make the same footer readable.
  shape.extra_bytes = 280 - 64;
  const std::string longer = Write(dir, shape, "longer.pgf");
  QError ok;
  QPagedFile accepted(longer.c_str(), shape.kind, 1, ok);
  EXPECT_TRUE(accepted.ready()) << ok.detail();
}

TEST(QPagedFile, ZeroPageCountOrUncheckedKindSkipsTheLengthCheck) {
  ScopedTempDir dir;
  FileShape empty;
  empty.kind = 0x02000900;
  empty.page_count = 0;
  empty.actual_pages = 0;
  const std::string path = Write(dir, empty, "empty.pgf");
  QError err;
  QPagedFile file(path.c_str(), empty.kind, 1, err);
  EXPECT_TRUE(file.ready()) << err.detail();

  FileShape truncated;  // unchecked kind, pages missing
  truncated.actual_pages = 1;
  const std::string short_path = Write(dir, truncated, "trunc.pgf");
  QPagedFile unchecked(short_path.c_str(), kUncheckedKind, 1, err);
  EXPECT_TRUE(unchecked.ready());
  EXPECT_EQ(unchecked.record_mgr()->GetPage(2), nullptr);  // reported by the read
}

TEST(QPagedFile, MissingOrTinyFilesAndBadHeaderSizesFail) {
  ScopedTempDir dir;
  QError err;
  QPagedFile missing(dir.File("none.pgf").c_str(), kUncheckedKind, 1, err);
  EXPECT_FALSE(missing.ready());
  EXPECT_EQ(err.code(), ENOENT);

  const std::string tiny = dir.File("tiny.pgf");
  WriteBytes(tiny, std::vector<std::uint8_t>(100, 0));
  QPagedFile too_small(tiny.c_str(), kUncheckedKind, 1, err);
  EXPECT_FALSE(too_small.ready());
  EXPECT_NE(err.code(), -1);

  for (std::uint32_t header_size : {0u, 100u, 281u}) {
    std::vector<std::uint8_t> bytes = PagedBytes(FileShape());
    PutU16(bytes, 264, header_size);
    const std::string path = dir.File("hdr.pgf");
    WriteBytes(path, bytes);
    QError hdr_err;
    QPagedFile bad(path.c_str(), kUncheckedKind, 1, hdr_err);
    EXPECT_FALSE(bad.ready()) << header_size;
    EXPECT_EQ(hdr_err.code(), 111) << header_size;
  }

  FileShape zero_pages;
  zero_pages.page_size = 0;
  const std::string zero = Write(dir, zero_pages, "zero.pgf");
  QError zero_err;
  QPagedFile no_pages(zero.c_str(), kUncheckedKind, 1, zero_err);
  EXPECT_FALSE(no_pages.ready());
  EXPECT_EQ(zero_err.code(), 111);
}

TEST(QPagedFile, RecordManagerFailureIsReportedWith104) {
  ScopedTempDir dir;
  const std::string path = Write(dir, FileShape());
  QError err;
  QRecordMgr::FailSlotAllocationForTest(0, true);
  QPagedFile file(path.c_str(), kUncheckedKind, 2, err);
  QRecordMgr::FailSlotAllocationForTest(-1, false);
  EXPECT_FALSE(file.ready());
  EXPECT_EQ(err.code(), 104);
  EXPECT_STREQ(err.detail(), "QPagedFile - Failed to Initialize QRecordMgr");
  EXPECT_EQ(file.record_mgr(), nullptr);
}

TEST(QPagedFile, ThrowingRecordUnwindsWithTheFailure) {
  ScopedTempDir dir;
  const std::string path = Write(dir, FileShape());
  QErrorEx err;
  try {
    QPagedFile file(path.c_str(), 0x02000900, 1, err);
    ADD_FAILURE() << "no throw";
  } catch (const QErrorEx& thrown) {
    EXPECT_EQ(thrown.code(), 102);
  }
}

}  // namespace
