// Indexed files: round trips through QIndexedFileBuilder and QIndexedFile,
// against std::multimap, the builder's byte layout, and the failure paths.
#include "storage/indexed_file.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "frame/error.h"
#include "storage/indexed_file_builder.h"
#include "storage/paged_file.h"
#include "storage/qio.h"
#include "storage/qtree.h"
#include "storage/record_mgr.h"
#include "support/core_bytes.h"
#include "support/test_files.h"

namespace {

using lumetra_test::FileExists;
using lumetra_test::ListDir;
using lumetra_test::ReadBytes;
using lumetra_test::WriteBytes;

constexpr std::uint32_t kKind = 0x1100AAAA;
constexpr std::size_t kRootOffset = 296;  // where these tests keep the tree root

// Keys are big-endian u32, so memcmp order is numeric order.
std::vector<std::uint8_t> Key(std::uint32_t k) {
  return {static_cast<std::uint8_t>(k >> 24), static_cast<std::uint8_t>(k >> 16),
          static_cast<std::uint8_t>(k >> 8), static_cast<std::uint8_t>(k)};
}

std::uint32_t KeyValue(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}

std::vector<std::uint8_t> Value(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

std::uint32_t U32(const std::uint8_t* p) { return lumetra_test::Get32(p); }
std::uint64_t U64(const std::uint8_t* p) { return lumetra_test::Get64(p); }
using lumetra_test::ReferenceChecksum;
using Records = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

// Records (first + step * i, i) for i < n.
Records Sequence(std::uint32_t n, std::uint32_t first = 0, std::uint32_t step = 1) {
  Records records;
  for (std::uint32_t i = 0; i < n; ++i) records.push_back({first + step * i, i});
  return records;
}

QIndexedFileBuilderOptions SmallOptions(std::uint32_t page_size = 64) {
  QIndexedFileBuilderOptions options;
  options.kind = kKind;
  options.key_length = 4;
  options.value_length = 4;
  options.page_size = page_size;
  options.header_page_size = 512;
  options.tree_page_size = 256;
  options.text = "indexed file test";
  options.fill_header = [](std::uint8_t* header, std::uint32_t, std::uint64_t root) {
    for (int i = 0; i < 8; ++i)
      header[kRootOffset + i] = static_cast<std::uint8_t>(root >> (8 * i));
    return true;
  };
  return options;
}

// Builds `records` (key, value) in the given order; true on success.
bool Build(const std::string& path, const Records& records, QIndexedFileBuilderOptions options,
           QError& err) {
  QIndexedFileBuilder builder(err, std::move(options));
  if (!builder.Create(path.c_str())) return false;
  for (const auto& r : records) {
    if (!builder.Add(Key(r.first).data(), Value(r.second).data())) return false;
  }
  return builder.Finish() != QIndexedFileBuilder::kFailed;
}

// An open indexed file with its tree, for a file built by Build().
std::unique_ptr<QIndexedFile> OpenBuilt(const std::string& path, QError& err) {
  auto file = std::make_unique<QIndexedFile>(path.c_str(), kKind, 4, nullptr, &err);
  if (!file->ready()) return file;
  const std::uint64_t root = U64(file->paged_file()->header_page() + kRootOffset);
  EXPECT_TRUE(file->OpenTree(root)) << err.detail();
  return file;
}

// Every value stored under `key`, in the order the file returns them.
std::vector<std::uint32_t> ValuesOf(QIndexedFile& file, std::uint32_t key) {
  std::vector<std::uint32_t> values;
  const std::vector<std::uint8_t> k = Key(key);
  std::uint32_t id = 0;
  for (bool found = file.FindFirst(k.data(), &id); found;
       found = file.FindNext(k.data(), &id, QIndexedFile::kModeSameKey)) {
    std::uint8_t key_out[4], value_out[4];
    EXPECT_TRUE(file.Get(id, key_out, value_out));
    EXPECT_EQ(KeyValue(key_out), key);
    values.push_back(U32(value_out));
    if (values.size() > 100000) break;  // a loop that never ends is a failure too
  }
  return values;
}

class IndexedFileTest : public lumetra_test::ScratchDirTest {
 protected:
  // Builds `records` into `name` and opens it with its tree.
  std::unique_ptr<QIndexedFile> BuildAndOpen(const char* name, const Records& records,
                                             QIndexedFileBuilderOptions options = SmallOptions()) {
    EXPECT_TRUE(Build(Path(name), records, std::move(options), err_)) << err_.detail();
    auto file = OpenBuilt(Path(name), err_);
    EXPECT_TRUE(file->ready()) << err_.detail();
    return file;
  }

  QError err_;
};

TEST_F(IndexedFileTest, SlotZeroNamesThePagesFirstRecordAndModeZeroContinuesThere) {
  auto file = BuildAndOpen("slot0.idx", Sequence(40, 0, 2), SmallOptions(64));
  const std::uint32_t pages = file->paged_file()->page_count();
  ASSERT_EQ(pages, 7u);  // 40 records, six to a page
  for (std::uint32_t p = 0; p < pages; ++p) {
    std::uint8_t key[4];
    ASSERT_TRUE(file->Get(QIndexedFile::RecordId(p, 0), key, nullptr));
    EXPECT_EQ(KeyValue(key), p * 6 * 2) << "page " << p;
  }
  QError bad;
  QIndexedFile other(Path("slot0.idx").c_str(), kKind, 1, nullptr, &bad);
  EXPECT_FALSE(other.Get(QIndexedFile::RecordId(6, 4), nullptr, nullptr));  // page 6 holds 4
  EXPECT_EQ(bad.code(), 100);
  // Mode 0 takes the next page's first record when it holds the key, as
  // after a search that failed on the page before.
  std::uint32_t id = 0;
  ASSERT_TRUE(file->FindFirst(Key(6).data(), &id));
  const std::uint32_t page = QIndexedFile::PageOf(id);
  std::uint32_t failed = QIndexedFile::RecordId(page, QIndexedFile::kSlotMask);
  ASSERT_TRUE(file->FindNext(Key(12).data(), &failed, QIndexedFile::kModeNextPage));
  EXPECT_EQ(QIndexedFile::SlotOf(failed), 0u);
  EXPECT_EQ(QIndexedFile::PageOf(failed), page + 1);
  ASSERT_TRUE(file->FindFirst(Key(6).data(), &id));
  std::uint32_t again = QIndexedFile::RecordId(page, QIndexedFile::kSlotMask);
  EXPECT_FALSE(file->FindNext(Key(14).data(), &again, QIndexedFile::kModeNextPage));
}

TEST_F(IndexedFileTest, RandomRecordsAgreeWithStdMultimap) {
  const std::uint32_t seed = 918273;
  std::printf("QIndexedFile differential seed %u\n", seed);
  std::mt19937 rng(seed);
  std::multimap<std::uint32_t, std::uint32_t> model;
  for (std::uint32_t i = 0; i < 6000; ++i) {
    // Many duplicates, some long runs.
    const std::uint32_t key = rng() % 8 == 0 ? 777 : (rng() % 1500) * 3;
    model.insert({key, i});  // multimap keeps equal keys in insertion order
  }
  QIndexedFileBuilderOptions options = SmallOptions(200);
  options.tree_page_size = 128;  // several tree levels
  auto file = BuildAndOpen("random.idx", Records(model.begin(), model.end()), options);
  EXPECT_GE(file->tree()->root_level(), 2);
  for (std::uint32_t key = 0; key < 1500 * 3 + 5; ++key) {
    std::vector<std::uint32_t> expected;
    auto range = model.equal_range(key);
    for (auto it = range.first; it != range.second; ++it) expected.push_back(it->second);
    ASSERT_EQ(ValuesOf(*file, key), expected) << "key " << key << " seed " << seed;
  }
}

TEST_F(IndexedFileTest, BuilderWritesTheDocumentedLayout) {
  QIndexedFileBuilderOptions options = SmallOptions(64);
  for (int i = 0; i < 12; ++i) options.kind_fields[i] = static_cast<std::uint8_t>(0x40 + i);
  const std::vector<std::pair<std::uint32_t, std::uint32_t>> records = {
      {1, 0x11}, {2, 0x22}, {3, 0x33}, {4, 0x44}, {5, 0x55}, {6, 0x66}, {7, 0x77}};
  ASSERT_TRUE(Build(Path("layout.idx"), records, options, err_)) << err_.detail();
  const std::vector<std::uint8_t> bytes = ReadBytes(Path("layout.idx"));
  ASSERT_GE(bytes.size(), 512u + 2 * 64);
  const std::uint8_t* header = bytes.data();
  EXPECT_STREQ(reinterpret_cast<const char*>(header), "indexed file test");
  EXPECT_EQ(U32(header + 256), kKind);
  EXPECT_EQ(U32(header + 260), 2u);  // data pages
  EXPECT_EQ(header[264] | (header[265] << 8), 512);
  EXPECT_EQ(header[266] | (header[267] << 8), 64);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(header[268 + i], 0x40 + i);
  EXPECT_EQ(U32(header + 288), 4u);
  EXPECT_EQ(U32(header + 292), 4u);
  EXPECT_EQ(header[510] | (header[511] << 8), ReferenceChecksum(header, 512));

  const std::uint8_t* page0 = bytes.data() + 512;
  EXPECT_EQ(U32(page0), 62u);  // record area end
  EXPECT_EQ(U32(page0 + 4), 6u);
  for (std::uint32_t slot = 0; slot < 6; ++slot) {
    const std::uint8_t* record = page0 + 62 - (slot + 1) * 8;
    EXPECT_EQ(KeyValue(record), slot + 1);
    EXPECT_EQ(U32(record + 4), (slot + 1) * 0x11);
  }
  EXPECT_EQ(page0[62] | (page0[63] << 8), ReferenceChecksum(page0, 64));
  const std::uint8_t* page1 = page0 + 64;
  EXPECT_EQ(U32(page1 + 4), 1u);
  EXPECT_EQ(KeyValue(page1 + 54), 7u);

  // The tree: one leaf holding (first key, page number) per data page.
  const std::uint64_t root = U64(header + kRootOffset);
  ASSERT_EQ(root % 256, 0u);
  const std::uint8_t* leaf = bytes.data() + root;
  EXPECT_EQ(leaf[0] | (leaf[1] << 8), 2);  // entries
  EXPECT_EQ(leaf[6], 0x02 | 0x04 | 0x08);
  EXPECT_EQ(leaf[8], 4);  // key length
  EXPECT_EQ(leaf[9], 4);  // value length: u32 page number
  EXPECT_EQ(KeyValue(leaf + 12), 1u);
  EXPECT_EQ(U32(leaf + 16), 0u);
  EXPECT_EQ(KeyValue(leaf + 20), 7u);
  EXPECT_EQ(U32(leaf + 24), 1u);
}

TEST_F(IndexedFileTest, KeysOutOfOrderOrARefusingHeaderHookRemoveTheUnfinishedFile) {
  {
    QIndexedFileBuilder builder(err_, SmallOptions());
    ASSERT_TRUE(builder.Create(Path("order.idx").c_str()));
    EXPECT_TRUE(builder.Add(Key(5).data(), Value(1).data()));
    EXPECT_TRUE(builder.Add(Key(5).data(), Value(2).data()));
    EXPECT_FALSE(builder.Add(Key(3).data(), Value(3).data()));
    EXPECT_EQ(err_.code(), 100);
    EXPECT_NE(std::string(err_.detail()).find("ascending key order"), std::string::npos)
        << err_.detail();
    EXPECT_EQ(builder.record_count(), 2u);
    EXPECT_TRUE(FileExists(Path("order.idx")));
  }
  EXPECT_FALSE(FileExists(Path("order.idx")));
  EXPECT_TRUE(ListDir(dir_.path()).empty());  // no scratch files left either
  // A header hook that refuses fails the build the same way.
  QIndexedFileBuilderOptions options = SmallOptions();
  options.fill_header = [](std::uint8_t*, std::uint32_t, std::uint64_t) { return false; };
  EXPECT_FALSE(Build(Path("hook.idx"), {{1, 1}}, options, err_));
  EXPECT_FALSE(FileExists(Path("hook.idx")));
}

// Puts one byte per record (its number) in front of each page's records.
class CountingPayload : public QIndexedPagePayload {
 public:
  std::size_t PayloadSize(std::uint64_t, std::uint32_t count) override { return 2 + count; }
  bool WritePayload(std::uint32_t page_number, std::uint64_t first, std::uint32_t count,
                    std::uint8_t* dest, std::size_t size) override {
    EXPECT_EQ(size, 2u + count);
    dest[0] = static_cast<std::uint8_t>(page_number);
    dest[1] = static_cast<std::uint8_t>(count);
    for (std::uint32_t i = 0; i < count; ++i) dest[2 + i] = static_cast<std::uint8_t>(first + i);
    pages.push_back(page_number);
    return true;
  }
  std::vector<std::uint32_t> pages;
};

TEST_F(IndexedFileTest, PayloadIsWrittenBetweenHeadAndRecordsAndLimitsThePage) {
  CountingPayload payload;
  QIndexedFileBuilderOptions options = SmallOptions(64);
  options.payload = &payload;
  options.first_data_page = 1;  // page 0 belongs to the owner
  std::vector<std::pair<std::uint32_t, std::uint32_t>> records;
  for (std::uint32_t k = 0; k < 11; ++k) records.push_back({k, k});
  {
    QIndexedFileBuilder builder(err_, options);
    ASSERT_TRUE(builder.Create(Path("payload.idx").c_str()));
    const char owner[] = "owner page";
    ASSERT_TRUE(builder.SetReservedPage(0, owner, sizeof owner));
    for (const auto& r : records)
      ASSERT_TRUE(builder.Add(Key(r.first).data(), Value(r.second).data()));
    const std::int64_t block = builder.AppendBlock("tail", 4);
    EXPECT_EQ(block, 512 + 4 * 64);  // behind the reserved page and three data pages
    EXPECT_FALSE(builder.Add(Key(99).data(), Value(0).data()));
    ASSERT_NE(builder.Finish(), QIndexedFileBuilder::kFailed) << err_.detail();
  }
  // 8 + 2 + n + 8n <= 62 gives five records a page.
  EXPECT_EQ(payload.pages, (std::vector<std::uint32_t>{1, 2, 3}));
  const std::vector<std::uint8_t> bytes = ReadBytes(Path("payload.idx"));
  EXPECT_STREQ(reinterpret_cast<const char*>(bytes.data() + 512), "owner page");
  const std::uint8_t* page2 = bytes.data() + 512 + 2 * 64;
  EXPECT_EQ(U32(page2 + 4), 5u);
  EXPECT_EQ(page2[8], 2);
  EXPECT_EQ(page2[9], 5);
  EXPECT_EQ(page2[10], 5);  // its first record is record number 5
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data() + 512 + 4 * 64), 4), "tail");

  auto file = OpenBuilt(Path("payload.idx"), err_);
  ASSERT_TRUE(file->ready());
  EXPECT_EQ(file->paged_file()->page_count(), 4u);
  for (const auto& r : records)
    EXPECT_EQ(ValuesOf(*file, r.first), std::vector<std::uint32_t>{r.second});
  std::uint32_t id = 0;
  ASSERT_TRUE(file->FindFirst(Key(0).data(), &id));
  EXPECT_EQ(id, 1u);  // slot 0 of page 1
}

TEST_F(IndexedFileTest, CorruptHeaderOrDataPageIsReportedNotRead) {
  ASSERT_TRUE(Build(Path("good.idx"), Sequence(6), SmallOptions(64), err_));
  const std::vector<std::uint8_t> good = ReadBytes(Path("good.idx"));
  for (std::uint32_t key_length : {0u, 60u}) {
    std::vector<std::uint8_t> bytes = good;
    lumetra_test::Put32(bytes, 288, key_length);
    StorePageChecksum(bytes.data(), 512);
    WriteBytes(Path("lengths.idx"), bytes);
    QError err;
    QIndexedFile file(Path("lengths.idx").c_str(), kKind, 2, nullptr, &err);
    EXPECT_FALSE(file.ready()) << key_length;
    EXPECT_EQ(err.code(), 111) << key_length;
  }
  const struct {
    const char* what;
    std::size_t at;
    std::uint8_t value;
  } rows[] = {{"seven records cannot fit below the area end", 512 + 4, 7},
              {"record area end beyond the page", 512, 70},
              {"record area end inside the page head", 512, 4}};
  for (const auto& row : rows) {
    std::vector<std::uint8_t> bytes = good;
    bytes[row.at] = row.value;
    WriteBytes(Path("corrupt.idx"), bytes);
    QError err;
    auto file = OpenBuilt(Path("corrupt.idx"), err);
    ASSERT_TRUE(file->ready()) << row.what;
    std::uint32_t id = 0;
    EXPECT_FALSE(file->FindFirst(Key(3).data(), &id)) << row.what;
    EXPECT_EQ(err.code(), 111) << row.what;
  }
}

TEST_F(IndexedFileTest, EmptyFileOrFileWithoutATreeFindsNothing) {
  auto empty = BuildAndOpen("empty.idx", {});
  std::uint32_t id = 0;
  EXPECT_FALSE(empty->FindFirst(Key(1).data(), &id));
  EXPECT_EQ(empty->paged_file()->page_count(), 0u);
  ASSERT_TRUE(Build(Path("notree.idx"), {{1, 1}}, SmallOptions(), err_));
  QIndexedFile file(Path("notree.idx").c_str(), kKind, 2, nullptr, &err_);
  ASSERT_TRUE(file.ready());
  EXPECT_FALSE(file.FindFirst(Key(1).data(), &id));
  EXPECT_FALSE(file.FindNext(Key(1).data(), &id, QIndexedFile::kModeSameKey));
  EXPECT_FALSE(file.OpenTree(3));  // not a tree root
  EXPECT_EQ(file.tree(), nullptr);
}

}  // namespace
