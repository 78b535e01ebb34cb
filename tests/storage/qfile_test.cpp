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

}  // namespace
