#include "storage/qfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "frame/error.h"
#include "storage/mapping_registry.h"
#include "storage/trace.h"
#include "support/core_storage.h"
#include "support/test_files.h"

namespace {

using lumetra::MappingRegistry;
using lumetra_test::FileExists;
using lumetra_test::ListDir;
using lumetra_test::ReadBytes;
using lumetra_test::ScopedChdir;
using lumetra_test::ScopedEnv;
using lumetra_test::ScopedTempDir;
using lumetra_test::TraceCapture;
using lumetra_test::WriteBytes;
using lumetra_test::WriteText;

std::vector<uint8_t> Iota(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
  return bytes;
}

TEST(QfileOpen, ModesGiveTheirAccess) {
  ScopedTempDir dir;
  const std::string path = dir.File("data.bin");
  struct Row {
    int mode;
    bool can_read;
    bool can_write;
    bool mapped;
  };
  const Row rows[] = {
      {Qfile::kModeRead, true, false, false},
      {Qfile::kModeReadWrite, true, true, false},
      {Qfile::kModeWrite, false, true, false},
      {Qfile::kModeAppend, true, true, false},
      {Qfile::kModeMapped, true, false, true},
      {7, true, false, false},
      {-1, true, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("mode " + std::to_string(row.mode));
    WriteBytes(path, Iota(64));
    QError err;
    Qfile file(err, path.c_str(), row.mode);
    ASSERT_TRUE(file.is_open()) << err.detail();
    EXPECT_EQ(file.is_mapped(), row.mapped);
    EXPECT_EQ(file.access(), row.mapped ? Qfile::kAccessMapped : Qfile::kAccessDescriptor);
    EXPECT_EQ(file.position(), 0);
    uint8_t buf[8] = {};
    EXPECT_EQ(file.Read(buf, 8, false) == 8, row.can_read);
    EXPECT_EQ(file.Write("xy", 2), row.can_write);
    EXPECT_FALSE(file.delete_on_close());
  }
  // Append mode writes at the end whatever the position.
  WriteText(path, "abc");
  QError err;
  Qfile file(err, path.c_str(), Qfile::kModeAppend);
  ASSERT_TRUE(file.Seek(0));
  ASSERT_TRUE(file.Write("de", 2));
  ASSERT_TRUE(file.Close());
  EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e'}));
}

TEST(QfileOpen, MissingFileOrNoNameIsReportedAndTheFileStaysReusable) {
  ScopedTempDir dir;
  const std::string missing = dir.File("missing.bin");
  const std::string present = dir.File("present.bin");
  WriteText(present, "x");
  for (int mode : {Qfile::kModeRead, Qfile::kModeMapped}) {
    QError err;
    Qfile file(err);
    EXPECT_FALSE(file.Open(missing.c_str(), mode));
    EXPECT_EQ(err.code(), ENOENT);
    EXPECT_EQ(std::string(err.detail()), missing);
    EXPECT_FALSE(file.is_open());
    EXPECT_TRUE(file.Open(present.c_str(), mode));
  }
  EXPECT_EQ(MappingRegistry::Instance().ReferenceCountForTest(missing.c_str()), 0u);
  for (const char* name : {static_cast<const char*>(nullptr), ""}) {
    QError err;
    Qfile file(err);
    EXPECT_FALSE(file.Open(name, Qfile::kModeRead));
    EXPECT_FALSE(file.is_open());
    EXPECT_EQ(err.code(), 100);
    EXPECT_STREQ(err.detail(), "NULL file name on Qfile Open");
  }
}

TEST(QfileOpen, OpenWhileOpenKeepsTheFirstFileAndNamesAreCutTo255Characters) {
  ScopedTempDir dir;
  WriteText(dir.File("a"), "aaaa");
  WriteText(dir.File("b"), "bb");
  QError err;
  Qfile file(err, dir.File("a").c_str(), Qfile::kModeRead);
  EXPECT_TRUE(file.Open(dir.File("b").c_str(), Qfile::kModeRead));
  EXPECT_EQ(file.Size(), 4);
  EXPECT_EQ(std::string(file.name()), dir.File("a"));
  // Names are cut to 255 characters.
  std::string path = dir.path() + "/";
  ASSERT_LT(path.size(), 200u);
  path += std::string(Qfile::kMaxName - path.size(), 'n');
  ASSERT_EQ(path.size(), 255u);
  WriteText(path, "kept");
  Qfile cut(err, (path + "EXTRA").c_str(), Qfile::kModeRead);
  ASSERT_TRUE(cut.is_open()) << err.detail();
  EXPECT_EQ(std::string(cut.name()), path);
  EXPECT_EQ(cut.Size(), 4);
}

TEST(QfileMapping, SameFileTwiceSharesOneCountedMapping) {
  ScopedTempDir dir;
  const std::string path = dir.File("shared.bin");
  WriteBytes(path, Iota(100));
  MappingRegistry& registry = MappingRegistry::Instance();
  const size_t entries_before = registry.EntryCountForTest();
  QError err;
  auto first = std::make_unique<Qfile>(err, path.c_str(), Qfile::kModeMapped);
  // The second name reaches the same file another way.
  const std::string other_name = dir.path() + "/./shared.bin";
  Qfile second(err, other_name.c_str(), Qfile::kModeMapped);
  ASSERT_TRUE(first->is_mapped());
  ASSERT_TRUE(second.is_mapped());
  EXPECT_EQ(first->mapped_view(), second.mapped_view());
  EXPECT_EQ(registry.EntryCountForTest(), entries_before + 1);
  EXPECT_EQ(registry.ReferenceCountForTest(path.c_str()), 2u);

  first.reset();  // the destructor releases its share
  EXPECT_EQ(registry.ReferenceCountForTest(path.c_str()), 1u);
  uint8_t buf[10];
  ASSERT_TRUE(second.ReadAt("test", 90, buf, 10));
  const std::vector<uint8_t> bytes = Iota(100);
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 10),
            std::vector<uint8_t>(bytes.begin() + 90, bytes.end()));

  EXPECT_TRUE(second.Close());
  EXPECT_EQ(registry.ReferenceCountForTest(path.c_str()), 0u);
  EXPECT_EQ(registry.EntryCountForTest(), entries_before);
}

TEST(QfileMapping, ReplacedFileIsMappedAfresh) {
  ScopedTempDir dir;
  const std::string path = dir.File("v.bin");
  WriteText(path, "old");
  const size_t entries_before = MappingRegistry::Instance().EntryCountForTest();
  QError err;
  Qfile old_file(err, path.c_str(), Qfile::kModeMapped);
  WriteText(dir.File("v.new"), "newer");
  ASSERT_EQ(std::rename(dir.File("v.new").c_str(), path.c_str()), 0);
  Qfile new_file(err, path.c_str(), Qfile::kModeMapped);
  ASSERT_TRUE(new_file.is_mapped());
  EXPECT_NE(old_file.mapped_view(), new_file.mapped_view());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(old_file.mapped_view()), 3), "old");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(new_file.mapped_view()), 5), "newer");
  EXPECT_EQ(MappingRegistry::Instance().EntryCountForTest(), entries_before + 2);
  EXPECT_EQ(MappingRegistry::Instance().ReferenceCountForTest(path.c_str()), 2u);
  old_file.Close();
  new_file.Close();
  EXPECT_EQ(MappingRegistry::Instance().EntryCountForTest(), entries_before);
}

TEST(QfileMapping, KeyIsTheFullPathWithForwardSlashes) {
  ScopedTempDir dir;
  WriteText(dir.File("a\\b"), "x");
  ScopedChdir chdir(dir.path());
  std::string key;
  ASSERT_TRUE(MappingRegistry::FullPathKey("a\\b", &key));
  EXPECT_EQ(key.front(), '/');
  EXPECT_EQ(key.substr(key.size() - 4), "/a/b");
  EXPECT_FALSE(MappingRegistry::FullPathKey("missing", &key));
  EXPECT_FALSE(MappingRegistry::FullPathKey(nullptr, &key));
}

TEST(QfileMapping, ConcurrentOpenAndCloseKeepCountsExact) {
  ScopedTempDir dir;
  const std::string path = dir.File("c.bin");
  WriteBytes(path, Iota(4096));
  const size_t entries_before = MappingRegistry::Instance().EntryCountForTest();
  QError keep_err;
  Qfile keeper(keep_err, path.c_str(), Qfile::kModeMapped);
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&path, &failures] {
      for (int i = 0; i < 200; ++i) {
        QError err;
        Qfile file(err, path.c_str(), Qfile::kModeMapped);
        uint8_t byte = 0;
        if (!file.is_mapped() || !file.ReadAt("test", 4095, &byte, 1) || byte != Iota(4096)[4095]) {
          ++failures;
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(MappingRegistry::Instance().ReferenceCountForTest(path.c_str()), 1u);
  keeper.Close();
  EXPECT_EQ(MappingRegistry::Instance().EntryCountForTest(), entries_before);
}

TEST(QfileMapping, UnmappableFileFallsBackToTheDescriptorAndEmptyFileMapsEmpty) {
  QError err;
  Qfile file(err, "/dev/null", Qfile::kModeMapped);
  ASSERT_TRUE(file.is_open());
  EXPECT_FALSE(file.is_mapped());
  EXPECT_EQ(file.access(), Qfile::kAccessDescriptor);
  EXPECT_EQ(err.code(), 100);  // the refused mapping stays recorded
  uint8_t byte;
  EXPECT_EQ(file.Read(&byte, 1, false), 0);
  EXPECT_EQ(MappingRegistry::Instance().ReferenceCountForTest("/dev/null"), 0u);
  // An empty file maps to an empty view.
  ScopedTempDir dir;
  WriteText(dir.File("empty.bin"), "");
  Qfile empty(err, dir.File("empty.bin").c_str(), Qfile::kModeMapped);
  ASSERT_TRUE(empty.is_open());
  EXPECT_EQ(empty.mapped_size(), 0);
  EXPECT_EQ(empty.Size(), 0);
  EXPECT_TRUE(empty.ReadAt("test", 0, &byte, 0));
  EXPECT_FALSE(empty.ReadAt("test", 0, &byte, 1));
  EXPECT_EQ(empty.Read(&byte, 1, false), 0);
  EXPECT_TRUE(empty.Close());
}

TEST(QfileMapping, ReadUsesThePositionWithoutAdvancingIt) {
  ScopedTempDir dir;
  const std::string path = dir.File("m.bin");
  const std::vector<uint8_t> bytes = Iota(32);
  WriteBytes(path, bytes);
  QError err;
  Qfile file(err, path.c_str(), Qfile::kModeMapped);
  ASSERT_TRUE(file.Seek(20));
  uint8_t buf[4];
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(file.Read(buf, 4, true), 4);
    EXPECT_EQ(buf[0], bytes[20]);
    EXPECT_EQ(buf[3], bytes[23]);
  }
  EXPECT_EQ(file.position(), 20);
  // Near the end only what the view holds is copied.
  ASSERT_TRUE(file.Seek(30));
  EXPECT_EQ(file.Read(buf, 4, false), 2);
  EXPECT_EQ(file.Read(buf, 4, true), -1);
  EXPECT_EQ(err.code(), 28);
}

struct ReadAtRow {
  const char* what;
  int64_t offset;
  uint32_t length;
  bool ok;
};

TEST(QfileReadAt, BoundsInBothAccesses) {
  const ReadAtRow rows[] = {
      {"whole file", 0, 100, true},      {"last byte", 99, 1, true},
      {"offset at size", 100, 1, false}, {"runs past the end", 95, 10, false},
      {"far beyond", 5000, 1, false},    {"negative offset", -1, 1, false},
  };
  ScopedTempDir dir;
  const std::string path = dir.File("r.bin");
  const std::vector<uint8_t> bytes = Iota(100);
  WriteBytes(path, bytes);
  for (int mode : {Qfile::kModeRead, Qfile::kModeMapped}) {
    for (const ReadAtRow& row : rows) {
      SCOPED_TRACE(std::string(row.what) + ", mode " + std::to_string(mode));
      QError err;
      Qfile file(err, path.c_str(), mode);
      ASSERT_TRUE(file.Seek(7));
      std::vector<uint8_t> buf(row.length);
      EXPECT_EQ(file.ReadAt("QTree::QTree", row.offset, buf.data(), row.length), row.ok);
      if (row.ok) {
        EXPECT_EQ(file.position(), row.offset);
        EXPECT_EQ(buf, std::vector<uint8_t>(bytes.begin() + row.offset,
                                            bytes.begin() + row.offset + row.length));
        EXPECT_EQ(err.code(), -1);
      } else {
        EXPECT_EQ(file.position(), 7);
        EXPECT_NE(err.code(), -1);
      }
    }
    // A zero length succeeds anywhere without touching the file.
    QError err;
    Qfile file(err, path.c_str(), mode);
    TraceCapture trace;
    EXPECT_TRUE(file.ReadAt("test", 1000, nullptr, 0));
    EXPECT_EQ(file.position(), 0);
    EXPECT_TRUE(trace.Lines().empty());
  }
}

TEST(QfileRead, ShortReadsReturnTheCountOrWhenStrictReportCode28) {
  ScopedTempDir dir;
  const std::string path = dir.File("s.bin");
  WriteBytes(path, Iota(10));
  QError err;
  Qfile file(err, path.c_str(), Qfile::kModeRead);
  uint8_t buf[16];
  EXPECT_EQ(file.Read(buf, 6, false), 6);
  EXPECT_EQ(file.Read(buf, 16, false), 4);
  EXPECT_EQ(file.Read(buf, 16, false), 0);
  EXPECT_EQ(err.code(), -1);
  ASSERT_TRUE(file.Seek(0));
  EXPECT_EQ(file.Read(buf, 16, true), -1);
  EXPECT_EQ(err.code(), 28);
}

TEST(QfileRead, ClosedFileAndNegativeSeekAreBadRequests) {
  QError err;
  Qfile file(err);
  uint8_t buf[4];
  EXPECT_EQ(file.Read(buf, 4, false), -1);
  EXPECT_EQ(err.code(), 100);
  EXPECT_FALSE(file.Write(buf, 4));
  EXPECT_FALSE(file.Seek(0));
  EXPECT_FALSE(file.Close());
  EXPECT_EQ(file.Size(), -1);
  ScopedTempDir dir;
  WriteBytes(dir.File("f"), Iota(4));
  for (int mode : {Qfile::kModeRead, Qfile::kModeMapped}) {
    Qfile open(err, dir.File("f").c_str(), mode);
    ASSERT_TRUE(open.Seek(3));
    EXPECT_FALSE(open.Seek(-1));
    EXPECT_EQ(open.position(), 3);
  }
}

TEST(QfileClose, ThrowingRecordThrowsFromOpenButNotFromTheDestructor) {
  QErrorEx err;
  {
    Qfile file(err);
    EXPECT_THROW(file.Open("/nonexistent/dir/file", Qfile::kModeRead), QErrorEx);
    EXPECT_FALSE(file.is_open());
  }
  ScopedTempDir dir;
  WriteBytes(dir.File("f"), Iota(4));
  {
    Qfile file(err, dir.File("f").c_str(), Qfile::kModeRead);
    ASSERT_TRUE(file.is_open());
    ::close(file.descriptor());  // makes the owner's close fail
  }
  EXPECT_EQ(err.code(), EBADF);
}

TEST(QfileTemporary, PrivateUniqueNamesDisappearOnCloseWhileOpenedFilesStay) {
  ScopedTempDir dir;
  QError err;
  Qfile temp(err);
  Qfile second(err);
  ASSERT_TRUE(temp.OpenTemporary(dir.path().c_str())) << err.detail();
  ASSERT_TRUE(second.OpenTemporary((dir.path() + "/").c_str()));
  const std::regex pattern(dir.path() + R"(/qf\.tmp\.r[0-9]{6}\.s[A-Za-z0-9]{6})");
  EXPECT_TRUE(std::regex_match(temp.name(), pattern)) << temp.name();
  EXPECT_TRUE(std::regex_match(second.name(), pattern)) << second.name();
  EXPECT_STRNE(temp.name(), second.name());
  EXPECT_EQ(ListDir(dir.path()).size(), 2u);
  const std::string name = temp.name();
  EXPECT_TRUE(temp.delete_on_close());
  ASSERT_TRUE(FileExists(name));
  struct stat st;
  ASSERT_EQ(stat(name.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_TRUE(temp.Write("abc", 3));
  EXPECT_TRUE(temp.Close());
  EXPECT_FALSE(FileExists(name));

  // Reopening the same name with Open never deletes it.
  WriteText(name, "keep");
  Qfile plain(err, name.c_str(), Qfile::kModeReadWrite);
  EXPECT_FALSE(plain.delete_on_close());
  EXPECT_TRUE(plain.Close());
  EXPECT_TRUE(FileExists(name));
}

TEST(QfileTemporary, FailedRemovalOrMissingDirectoryReportsErrno) {
  ScopedTempDir dir;
  QError err;
  Qfile temp(err);
  ASSERT_TRUE(temp.OpenTemporary(dir.path().c_str()));
  const std::string name = temp.name();
  ASSERT_EQ(std::remove(name.c_str()), 0);
  EXPECT_FALSE(temp.Close());
  EXPECT_EQ(err.code(), ENOENT);
  EXPECT_EQ(std::string(err.detail()), name);
  EXPECT_FALSE(temp.is_open());
  EXPECT_FALSE(temp.OpenTemporary("/nonexistent-lumetra-dir"));
  EXPECT_EQ(err.code(), ENOENT);
  EXPECT_EQ(std::string(err.detail()).rfind("/nonexistent-lumetra-dir/qf.tmp.r", 0), 0u);
  EXPECT_FALSE(temp.is_open());
}

TEST(QfileTemporary, DirectoryComesFromArgumentTempTmpOrCurrent) {
  ScopedTempDir arg_dir;
  ScopedTempDir temp_dir;
  ScopedTempDir tmp_dir;
  ScopedTempDir cwd_dir;
  ScopedChdir chdir(cwd_dir.path());
  struct Row {
    const char* what;
    const char* argument;
    std::optional<std::string> temp;
    std::optional<std::string> tmp;
    std::string expected_dir;
  };
  const std::string arg = arg_dir.path();
  const Row rows[] = {
      {"argument wins", arg.c_str(), temp_dir.path(), tmp_dir.path(), arg},
      {"TEMP before TMP", "", temp_dir.path(), tmp_dir.path(), temp_dir.path()},
      {"null argument", nullptr, temp_dir.path(), std::nullopt, temp_dir.path()},
      {"TMP without TEMP", nullptr, std::nullopt, tmp_dir.path(), tmp_dir.path()},
      {"empty TEMP", nullptr, std::string(), tmp_dir.path(), tmp_dir.path()},
      {"neither", nullptr, std::nullopt, std::nullopt, "."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ScopedEnv temp("TEMP", row.temp);
    ScopedEnv tmp("TMP", row.tmp);
    QError err;
    Qfile file(err);
    ASSERT_TRUE(file.OpenTemporary(row.argument)) << err.detail();
    const std::string name = file.name();
    EXPECT_EQ(name.substr(0, name.rfind('/')), row.expected_dir);
    EXPECT_TRUE(FileExists(name));
  }
  for (const ScopedTempDir* d : {&arg_dir, &temp_dir, &tmp_dir, &cwd_dir}) {
    EXPECT_TRUE(ListDir(d->path()).empty()) << d->path();
  }
}

TEST(QfileTrace, PrimitivesAndTemporaryOpenWriteTheirLines) {
  ScopedTempDir dir;
  const std::string path = dir.File("t.bin");
  WriteBytes(path, Iota(10));
  TraceCapture trace;
  QError err;
  Qfile file(err, path.c_str(), Qfile::kModeReadWrite);
  const int fd = file.descriptor();
  uint8_t buf[8];
  file.Read(buf, 4, false);
  file.ReadAt("test", 8, buf, 4);  // only 2 bytes are left there
  file.Seek(3);
  file.Write("ab", 2);
  file.Close();
  Qfile missing(err, dir.File("none").c_str(), Qfile::kModeAppend);
  Qfile temp(err);
  ASSERT_TRUE(temp.OpenTemporary(dir.path().c_str()));
  const std::string d = std::to_string(fd);
  const std::vector<std::string> expected = {
      "Open( " + path + ", 32770 ) = " + d + "\n",
      "Read( " + d + ", 4 ) = 4\n",
      "Seek( " + d + ", 8, 0 ) = 8\n",
      "Read( " + d + ", 4 ) = FAILED(2)\n",
      "Seek( " + d + ", 3, 0 ) = 3\n",
      "Write( " + d + ", 2 ) = 2\n",
      "Close( " + d + " ) = 0\n",
      "Open( " + dir.File("none") + ", 32778 ) = FAILED\n",
      std::string("Open( ") + temp.name() + ", 33538 ) = " + std::to_string(temp.descriptor()) +
          "\n",
  };
  EXPECT_EQ(trace.Lines(), expected);
}

}  // namespace
