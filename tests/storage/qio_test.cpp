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

// An open read/write descriptor on a file of the given bytes.
class ScratchFd {
 public:
  ScratchFd(const std::string& path, const std::vector<uint8_t>& bytes) {
    WriteBytes(path, bytes);
    fd_.Reset(::open(path.c_str(), O_RDWR));
  }
  int get() const { return fd_.get(); }

 private:
  UniqueFd fd_;
};

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

TEST(PageChecksum, TinyPagesAreHarmless) {
  uint8_t page[2] = {7, 9};
  EXPECT_EQ(PageChecksum(page, 0), 0);
  EXPECT_EQ(PageChecksum(page, 1), 0);
  EXPECT_EQ(PageChecksum(nullptr, 100), 0);
  StorePageChecksum(page, 1);
  EXPECT_EQ(page[0], 7);
  StorePageChecksum(page, 2);  // no bytes are summed
  EXPECT_EQ(page[0], 0);
  EXPECT_EQ(page[1], 0);
  EXPECT_FALSE(PageChecksumValid(page, 1));
}

TEST(RtFlags, TranslateToPosix) {
  struct Row {
    int rt;
    int posix;
  };
  const Row rows[] = {
      {0x8000, O_RDONLY},
      {0x8002, O_RDWR},
      {0x8001, O_WRONLY},
      {0x800A, O_RDWR | O_APPEND},
      {0x8302, O_RDWR | O_CREAT | O_TRUNC},
      {0x8301, O_WRONLY | O_CREAT | O_TRUNC},
      {0x8502, O_RDWR | O_CREAT | O_EXCL},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(RtFlagsToPosix(row.rt), row.posix | O_CLOEXEC) << std::hex << row.rt;
  }
}

TEST(QioCreate, NewOrTruncatedFileIsPrivateAndWriteOnlyAndFailuresNameTheFile) {
  ScopedTempDir dir;
  const std::string path = dir.File("c.bin");
  WriteBytes(path, {1, 2, 3});
  QError err;
  TraceCapture trace;
  UniqueFd fd(QioCreate(err, path.c_str()));
  ASSERT_TRUE(fd.valid()) << err.detail();
  EXPECT_EQ(trace.Text(), "Open( " + path + ", 33537 ) = " + std::to_string(fd.get()) + "\n");
  EXPECT_TRUE(ReadBytes(path).empty());
  UniqueFd fresh(QioCreate(err, dir.File("new.bin").c_str()));
  struct stat st;
  ASSERT_EQ(fstat(fresh.get(), &st), 0);
  const mode_t mask = umask(0);  // created files follow the caller's umask
  umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0666u & ~mask);
  uint8_t byte;
  EXPECT_EQ(::read(fresh.get(), &byte, 1), -1);

  EXPECT_EQ(QioCreate(err, "/nonexistent-lumetra/x.bin"), -1);
  EXPECT_EQ(err.code(), ENOENT);
  EXPECT_STREQ(err.detail(), "/nonexistent-lumetra/x.bin");
  EXPECT_EQ(QioCreate(err, nullptr), -1);
  EXPECT_EQ(err.code(), 100);
}

TEST(QioRead, CountsEndOfFileAndErrors) {
  ScopedTempDir dir;
  ScratchFd fd(dir.File("r.bin"), {1, 2, 3, 4, 5});
  QError err;
  uint8_t buf[8];
  TraceCapture trace;
  EXPECT_EQ(QioRead(fd.get(), err, buf, 3), 3);
  EXPECT_EQ(QioRead(fd.get(), err, buf, 8), 2);
  EXPECT_EQ(QioRead(fd.get(), err, buf, 8), 0);
  EXPECT_EQ(err.code(), -1);
  const std::string d = std::to_string(fd.get());
  EXPECT_EQ(trace.Text(), "Read( " + d + ", 3 ) = 3\nRead( " + d + ", 8 ) = FAILED(2)\nRead( " + d +
                              ", 8 ) = FAILED(0)\n");
  EXPECT_EQ(QioRead(-1, err, buf, 8), -1);
  EXPECT_EQ(err.code(), EBADF);
}

TEST(QioWriteAt, WritesAtTheOffsetLeavingZerosBefore) {
  ScopedTempDir dir;
  const std::string path = dir.File("w.bin");
  ScratchFd fd(path, {9, 9});
  QError err;
  ASSERT_TRUE(QioWriteAt(fd.get(), err, 5, "ab", 2));
  const std::vector<uint8_t> expected = {9, 9, 0, 0, 0, 'a', 'b'};
  EXPECT_EQ(ReadBytes(path), expected);
  EXPECT_FALSE(QioWriteAt(fd.get(), err, -4, "ab", 2));
  EXPECT_EQ(err.code(), EINVAL);
  EXPECT_FALSE(QioWriteAt(-1, err, 0, "ab", 2));
  EXPECT_EQ(err.code(), EBADF);
}

TEST(QioZeroFillAt, WritesInChunksOf1024) {
  ScopedTempDir dir;
  const std::string path = dir.File("z.bin");
  ScratchFd fd(path, std::vector<uint8_t>(3000, 0x55));
  QError err;
  TraceCapture trace;
  ASSERT_TRUE(QioZeroFillAt(fd.get(), err, 100, 2500));
  const std::string d = std::to_string(fd.get());
  EXPECT_EQ(trace.Text(), "Seek( " + d + ", 100, 0 ) = 100\nWrite( " + d + ", 1024 ) = 1024\n" +
                              "Write( " + d + ", 1024 ) = 1024\nWrite( " + d + ", 452 ) = 452\n");
  std::vector<uint8_t> expected(3000, 0x55);
  std::fill(expected.begin() + 100, expected.begin() + 2600, 0);
  EXPECT_EQ(ReadBytes(path), expected);
}

TEST(QioAppendZeros, ReturnsTheOldEnd) {
  ScopedTempDir dir;
  const std::string path = dir.File("a.bin");
  ScratchFd fd(path, {1, 2, 3});
  QError err;
  EXPECT_EQ(QioAppendZeros(fd.get(), err, 4), 3);
  EXPECT_EQ(QioAppendZeros(fd.get(), err, 0), 7);
  const std::vector<uint8_t> expected = {1, 2, 3, 0, 0, 0, 0};
  EXPECT_EQ(ReadBytes(path), expected);
  EXPECT_EQ(QioAppendZeros(-1, err, 4), -1);
  EXPECT_EQ(err.code(), EBADF);
}

TEST(QioAlignEnd, PadsToTheNextPageBoundaryAndRefusesPageSizeZero) {
  struct Row {
    size_t size;
    uint32_t page;
    size_t expected;
  };
  const Row rows[] = {{0, 512, 0},      {1, 512, 512},      {511, 512, 512}, {512, 512, 512},
                      {513, 512, 1024}, {1000, 4096, 4096}, {5, 3, 6}};
  ScopedTempDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE("size " + std::to_string(row.size) + " page " + std::to_string(row.page));
    const std::string path = dir.File("p.bin");
    ScratchFd fd(path, std::vector<uint8_t>(row.size, 0x77));
    QError err;
    ASSERT_TRUE(QioAlignEnd(fd.get(), err, row.page));
    std::vector<uint8_t> expected(row.expected, 0);
    std::fill(expected.begin(), expected.begin() + row.size, 0x77);
    EXPECT_EQ(ReadBytes(path), expected);
  }
  ScratchFd fd(dir.File("p.bin"), {1});
  QError err;
  EXPECT_FALSE(QioAlignEnd(fd.get(), err, 0));  // page size 0
  EXPECT_EQ(err.code(), 100);
}

TEST(QioWritePage, StoresTheChecksumAndWritesAtTheOffset) {
  ScopedTempDir dir;
  const std::string path = dir.File("pg.bin");
  ScratchFd fd(path, {});
  std::vector<uint8_t> page(16);
  for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i + 1);
  QError err;
  ASSERT_TRUE(QioWritePage(fd.get(), err, 16, page.data(), 16));
  const std::vector<uint8_t> bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 32u);
  EXPECT_EQ(bytes[30], 0x3A);
  EXPECT_EQ(bytes[31], 0x0A);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 16, bytes.end()), page);
  EXPECT_FALSE(QioWritePage(fd.get(), err, 0, page.data(), 1));
  EXPECT_EQ(err.code(), 100);
}

TEST(QioClose, TracesAndReportsFailures) {
  ScopedTempDir dir;
  WriteBytes(dir.File("c"), {1});
  const int fd = ::open(dir.File("c").c_str(), O_RDONLY);
  QError err;
  TraceCapture trace;
  EXPECT_TRUE(QioClose(fd, err));
  EXPECT_FALSE(QioClose(fd, err));
  EXPECT_EQ(err.code(), EBADF);
  const std::string d = std::to_string(fd);
  EXPECT_EQ(trace.Text(), "Close( " + d + " ) = 0\nClose( " + d + " ) = -1\n");
}

TEST(QioSeek, TraceMarksSetSeeksThatMissed) {
  ScopedTempDir dir;
  ScratchFd fd(dir.File("s"), std::vector<uint8_t>(10));
  TraceCapture trace;
  EXPECT_EQ(QioSeek(fd.get(), 4, SEEK_SET), 4);
  EXPECT_EQ(QioSeek(fd.get(), -5, SEEK_SET), -1);
  EXPECT_EQ(QioSeek(fd.get(), 0, SEEK_END), 10);
  EXPECT_EQ(QioSeek(fd.get(), 5000000000LL, SEEK_SET), 5000000000LL);
  const std::string d = std::to_string(fd.get());
  EXPECT_EQ(trace.Text(), "Seek( " + d + ", 4, 0 ) = 4\nSeek( " + d + ", -5, 0 ) = FAILED(-1)\n" +
                              "Seek( " + d + ", 0, 2 ) = 10\nSeek( " + d +
                              ", 5000000000, 0 ) = 5000000000\n");
}

TEST(QioScratchFile, NumbersSkipTakenNames) {
  ScopedTempDir dir;
  ScopedChdir chdir(dir.path());
  QError err;
  char name[64];
  std::vector<UniqueFd> fds;
  for (const char* expected : {"qtb.tmp.0", "qtb.tmp.1", "qtb.tmp.2"}) {
    fds.emplace_back(QioScratchFile(err, name, sizeof name));
    ASSERT_TRUE(fds.back().valid()) << err.detail();
    EXPECT_STREQ(name, expected);
  }
  struct stat st;
  ASSERT_EQ(stat("qtb.tmp.2", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(err.code(), -1);
}

TEST(QioScratchFile, GivesUpAfterTheAttemptLimit) {
  ScopedTempDir dir;
  ScopedChdir chdir(dir.path());
  WriteBytes("qtb.tmp.0", {});
  WriteBytes("qtb.tmp.1", {});
  QError err;
  char name[64];
  // Attempts try 0, 0, 1: all taken.
  EXPECT_EQ(QioScratchFile(err, name, sizeof name, 3), -1);
  EXPECT_EQ(err.code(), EEXIST);
  EXPECT_STREQ(name, "qtb.tmp.1");
  UniqueFd fd(QioScratchFile(err, name, sizeof name, 4));
  EXPECT_TRUE(fd.valid());
  EXPECT_STREQ(name, "qtb.tmp.2");
}

TEST(QioScratchFile, OtherFailuresStopAtOnce) {
  ScopedTempDir dir;
  const std::string gone = dir.File("gone");
  ASSERT_EQ(mkdir(gone.c_str(), 0700), 0);
  ScopedChdir chdir(gone);
  ASSERT_EQ(rmdir(gone.c_str()), 0);
  QError err;
  char name[64];
  TraceCapture trace;
  EXPECT_EQ(QioScratchFile(err, name, sizeof name), -1);
  EXPECT_EQ(err.code(), ENOENT);
  EXPECT_EQ(trace.Text(), "Open( qtb.tmp.0, 34050 ) = FAILED\n");
}

TEST(QioScratchFile, SmallNameBufferIsABadRequest) {
  ScopedTempDir dir;
  ScopedChdir chdir(dir.path());
  QError err;
  char name[9];  // "qtb.tmp.0" needs 10
  EXPECT_EQ(QioScratchFile(err, name, sizeof name), -1);
  EXPECT_EQ(err.code(), 100);
  EXPECT_TRUE(ListDir(dir.path()).empty());
  EXPECT_EQ(QioScratchFile(err, nullptr, 0), -1);
}

TEST(QioDeleteFile, RemovesOrTracesTheNullName) {
  ScopedTempDir dir;
  const std::string path = dir.File("d");
  WriteBytes(path, {1});
  EXPECT_EQ(QioDeleteFile(path.c_str()), 0);
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(QioDeleteFile(path.c_str()), -1);
  TraceCapture trace;
  EXPECT_EQ(QioDeleteFile(nullptr), -1);
  EXPECT_EQ(trace.Text(), "Q_deletefile( (null) ) = FAILED\n");
}

TEST(UniqueFd, ClosesWhatItOwns) {
  ScopedTempDir dir;
  WriteBytes(dir.File("u"), {1});
  int raw;
  {
    UniqueFd fd(::open(dir.File("u").c_str(), O_RDONLY));
    raw = fd.get();
    ASSERT_GE(raw, 0);
    UniqueFd moved(std::move(fd));
    EXPECT_FALSE(fd.valid());
    EXPECT_EQ(moved.get(), raw);
  }
  EXPECT_EQ(fcntl(raw, F_GETFD), -1);
}

}  // namespace
