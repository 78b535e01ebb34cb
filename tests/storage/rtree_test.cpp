#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "frame/error.h"
#include "storage/qfile.h"
#include "storage/qio.h"
#include "storage/rt_spatial_index.h"
#include "storage/rtree_builder.h"
#include "storage/rtree_node.h"
#include "support/test_files.h"

namespace {

using lumetra::DecodeRtreeEntry;
using lumetra::kRtreePageSize;
using lumetra::Rect;
using lumetra::RtreeBuilder;
using lumetra::RtreeEntry;
using lumetra::RtreeNodeHeader;
using lumetra_test::ReadBytes;
using lumetra_test::ScopedTempDir;
using lumetra_test::WriteBytes;

constexpr std::uint32_t kSeed = 20261205;

Rect R(std::int32_t minx, std::int32_t miny, std::int32_t maxx, std::int32_t maxy) {
  return Rect{minx, miny, maxx, maxy};
}
const Rect kEverything{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};

// Record offset of rectangle i: distinct, and beyond 32 bits for odd i.
std::uint64_t OffsetOf(std::size_t i) {
  return (i % 2 == 1 ? (std::uint64_t{1} << 40) : 0) + 1000 + 13 * i;
}

// Writes `prefix_bytes` bytes of 0xAB, then the tree of `rects` behind them.
// Returns the root page, or -1.
std::int64_t BuildTreeFile(const std::string& path, const std::vector<Rect>& rects,
                           std::uint32_t page_size, std::size_t prefix_bytes = 100,
                           std::size_t sort_buffer = QSort::kDefaultBufferBytes,
                           const char* sort_dir = nullptr) {
  WriteBytes(path, std::vector<std::uint8_t>(prefix_bytes, 0xAB));
  QError err;
  UniqueFd fd(::open(path.c_str(), O_WRONLY));
  if (!fd.valid()) return -1;
  RtreeBuilder builder(err, page_size, sort_dir, sort_buffer);
  for (std::size_t i = 0; i < rects.size(); ++i) {
    if (!builder.Add(rects[i], OffsetOf(i))) return -1;
  }
  return builder.Build(fd.get());
}

// The model's own inclusive overlap test, independent of Rect::Meets.
bool SharePoint(const Rect& a, const Rect& b) {
  const bool x_apart = a.maxx < b.minx || b.maxx < a.minx;
  const bool y_apart = a.maxy < b.miny || b.maxy < a.miny;
  return !x_apart && !y_apart;
}

std::vector<std::uint64_t> BruteForce(const std::vector<Rect>& rects, const Rect& query) {
  std::vector<std::uint64_t> out;
  for (std::size_t i = 0; i < rects.size(); ++i) {
    if (SharePoint(rects[i], query)) out.push_back(OffsetOf(i));
  }
  std::sort(out.begin(), out.end());
  return out;
}

// All candidates of one query, in enumeration order; stops at `limit`.
std::vector<std::uint64_t> Enumerate(SpatialIndexEnum& it, const Rect& query,
                                     std::size_t limit = 1u << 22) {
  std::vector<std::uint64_t> out;
  std::uint64_t offset = 0;
  for (bool more = it.First(query, &offset); more && out.size() < limit; more = it.Next(&offset)) {
    out.push_back(offset);
  }
  return out;
}

// An index opened on a built file: the root page's offset is root * page.
struct OpenTree {
  OpenTree(const std::string& path, std::int64_t root, std::uint32_t page_size,
           int mode = Qfile::kModeRead)
      : file(err, path.c_str(), mode),
        index(err, file, static_cast<std::uint64_t>(root) * page_size, page_size) {}
  std::unique_ptr<SpatialIndexEnum> Enum() {
    EXPECT_TRUE(index.IsReady()) << err.detail();
    return index.IsReady() ? index.CreateEnum() : nullptr;
  }
  QError err;
  Qfile file;
  rtSpatialIndex index;
};

RtreeNodeHeader PageHeader(const std::vector<std::uint8_t>& file, std::uint64_t page,
                           std::uint32_t page_size) {
  RtreeNodeHeader h;
  EXPECT_LE((page + 1) * page_size, file.size());
  EXPECT_TRUE(RtreeNodeHeader::DecodeFrom(file.data() + page * page_size, page_size, &h));
  return h;
}

std::vector<Rect> RandomRects(std::mt19937& rng, std::size_t n, std::int32_t lo, std::int32_t hi,
                              std::int32_t max_extent) {
  std::uniform_int_distribution<std::int32_t> pos(lo, hi);
  std::uniform_int_distribution<std::int32_t> ext(0, max_extent);
  std::vector<Rect> rects;
  for (std::size_t i = 0; i < n; ++i) {
    const std::int32_t x = pos(rng);
    const std::int32_t y = pos(rng);
    // One in eight is a degenerate point rectangle.
    const bool point = rng() % 8 == 0;
    rects.push_back(R(x, y, point ? x : x + ext(rng), point ? y : y + ext(rng)));
  }
  return rects;
}

// ---------------------------------------------------------------------------
// Pure pieces

TEST(RtreeCentreKey, BytewiseOrderEqualsNumericOrder) {
  const std::int32_t values[] = {
      INT32_MIN, INT32_MIN + 1, -180000000, -65536,    -256,          -1,       0, 1,
      255,       256,           65536,      180000000, INT32_MAX - 1, INT32_MAX};
  for (std::int32_t a : values) {
    std::uint8_t ka[4];
    lumetra::EncodeCentreKey(a, ka);
    EXPECT_EQ(lumetra::DecodeCentreKey(ka), a);
    for (std::int32_t b : values) {
      std::uint8_t kb[4];
      lumetra::EncodeCentreKey(b, kb);
      const int cmp = std::memcmp(ka, kb, 4);
      EXPECT_EQ(cmp < 0, a < b) << a << " vs " << b;
      EXPECT_EQ(cmp == 0, a == b) << a << " vs " << b;
    }
  }
  std::uint8_t k[4];
  lumetra::EncodeCentreKey(-1, k);
  EXPECT_EQ(k[0], 0x7F);
  EXPECT_EQ(k[3], 0xFF);
  lumetra::EncodeCentreKey(1, k);
  EXPECT_EQ(k[0], 0x80);
  EXPECT_EQ(k[3], 0x01);
}

TEST(RtreeCentreKey, CentreTruncatesTowardsZeroWithoutOverflow) {
  const struct {
    std::int32_t lo, hi, centre;
  } rows[] = {{-3, 0, -1},
              {3, 4, 3},
              {-4, -3, -3},
              {INT32_MIN, INT32_MAX, 0},
              {INT32_MAX, INT32_MAX, INT32_MAX},
              {INT32_MIN, INT32_MIN, INT32_MIN}};
  for (const auto& r : rows) EXPECT_EQ(lumetra::RtreeCentre(r.lo, r.hi), r.centre) << r.lo;
}

TEST(RtreeStr, SliceCountIsFloorSqrtOfFloorNOverFAndTheLastSliceTakesTheLeftovers) {
  const struct {
    std::uint64_t n;
    std::uint32_t f;
    std::uint64_t slices;
  } rows[] = {{0, 1363, 1},
              {1363, 1363, 1},
              {1364, 1363, 1},
              {1363 * 3, 1363, 1},
              {1363 * 4 - 1, 1363, 1},
              {1363 * 4, 1363, 2},
              {1363 * 9, 1363, 3},
              {1000000, 1363, 27},
              {100, 2, 7},
              {99, 2, 7},
              {98, 2, 7},
              {97, 2, 6}};
  for (const auto& row : rows) {
    EXPECT_EQ(lumetra::StrSliceCount(row.n, row.f), row.slices) << "n=" << row.n << " f=" << row.f;
  }
  const struct {
    std::uint64_t n, slices, index, size;
  } sizes[] = {{10, 3, 0, 3}, {10, 3, 1, 3}, {10, 3, 2, 4}, {1364, 1, 0, 1364}, {10, 3, 3, 0}};
  for (const auto& r : sizes) {
    EXPECT_EQ(lumetra::StrSliceSize(r.n, r.slices, r.index), r.size) << r.n << " " << r.index;
  }
  std::uint64_t total = 0;
  for (std::uint64_t i = 0; i < 27; ++i) total += lumetra::StrSliceSize(1000000, 27, i);
  EXPECT_EQ(total, 1000000u);
}

TEST(RtreeNode, EncodedBytesAreExactAndForeignSizesOrCountsAreRefused) {
  RtreeEntry e[2];
  e[0].rect = R(-2, -3, 4, 5);
  e[0].value = 0x0102030405060708ull;
  e[1].rect = R(10, -20, 30, 40);
  e[1].value = 7;
  std::vector<std::uint8_t> page(120, 0xEE);
  ASSERT_TRUE(lumetra::EncodeRtreeNode(0x0006, 3, e, 2, page.data(), 120));
  const std::uint8_t expected_head[] = {
      2,    0,    6,    0,    120,  0,    3,    0,     // count, flags, page size, level
      0xFE, 0xFF, 0xFF, 0xFF, 0xEC, 0xFF, 0xFF, 0xFF,  // node rect -2, -20
      30,   0,    0,    0,    40,   0,    0,    0,     // 30, 40
      0xFE, 0xFF, 0xFF, 0xFF, 0xFD, 0xFF, 0xFF, 0xFF,  // entry 0: -2, -3
      4,    0,    0,    0,    5,    0,    0,    0,     // 4, 5
      8,    7,    6,    5,    4,    3,    2,    1};    // value, little-endian
  ASSERT_TRUE(std::equal(std::begin(expected_head), std::end(expected_head), page.begin()));
  EXPECT_EQ(page[48 + 16], 7);
  for (std::size_t i = 72; i < page.size(); ++i) ASSERT_EQ(page[i], 0) << "byte " << i;

  RtreeNodeHeader h;
  ASSERT_TRUE(RtreeNodeHeader::DecodeFrom(page.data(), 120, &h));
  EXPECT_EQ(h.count, 2);
  EXPECT_EQ(h.flags, 6);
  EXPECT_EQ(h.level, 3);
  EXPECT_EQ(h.rect, R(-2, -20, 30, 40));
  EXPECT_FALSE(h.is_leaf());
  const RtreeEntry d = DecodeRtreeEntry(page.data(), 0);
  EXPECT_EQ(d.rect, e[0].rect);
  EXPECT_EQ(d.value, e[0].value);
  EXPECT_EQ(lumetra::RtreeChildPage(d), 0x05060708u);
  EXPECT_FALSE(RtreeNodeHeader::DecodeFrom(page.data(), 96, &h));  // page-size field 120
  RtreeEntry four[4];                                              // capacity is 3
  EXPECT_FALSE(lumetra::EncodeRtreeNode(lumetra::kRtreeLeaf, 0, four, 4, page.data(), 120));
}

// ---------------------------------------------------------------------------
// Built shapes

TEST(RtreeBuild, Records1364MakeTwoLeavesUnderALevelOneRoot) {
  ScopedTempDir dir;
  std::vector<Rect> rects;
  // The rectangle with the highest y centre must end up alone in the second
  // leaf, whatever its x position.
  for (int i = 0; i < 1364; ++i) rects.push_back(R(i * 10, i % 50, i * 10 + 5, i % 50 + 5));
  rects[700] = R(7000, 900, 7005, 905);
  const std::int64_t root = BuildTreeFile(dir.File("t"), rects, kRtreePageSize, 0);
  ASSERT_EQ(root, 2);  // leaves are pages 0 and 1
  const std::vector<std::uint8_t> file = ReadBytes(dir.File("t"));
  ASSERT_EQ(file.size(), 3u * kRtreePageSize);
  const RtreeNodeHeader top = PageHeader(file, 2, kRtreePageSize);
  EXPECT_EQ(top.level, 1);
  EXPECT_EQ(top.flags, 0x0006);
  ASSERT_EQ(top.count, 2);
  const std::uint8_t* root_page = file.data() + 2 * kRtreePageSize;
  const RtreeEntry first = DecodeRtreeEntry(root_page, 0);
  const RtreeEntry second = DecodeRtreeEntry(root_page, 1);
  EXPECT_EQ(lumetra::RtreeChildPage(first), 0u);
  EXPECT_EQ(lumetra::RtreeChildPage(second), 1u);

  const RtreeNodeHeader leaf0 = PageHeader(file, 0, kRtreePageSize);
  const RtreeNodeHeader leaf1 = PageHeader(file, 1, kRtreePageSize);
  EXPECT_EQ(leaf0.count, 1363);
  EXPECT_EQ(leaf1.count, 1);
  EXPECT_EQ(leaf0.flags, 0x0001);
  EXPECT_EQ(leaf1.flags, 0x0001);
  EXPECT_EQ(leaf0.level, 0);
  EXPECT_EQ(first.rect, leaf0.rect);
  EXPECT_EQ(second.rect, leaf1.rect);
  const RtreeEntry lone = DecodeRtreeEntry(file.data() + kRtreePageSize, 0);
  EXPECT_EQ(lone.rect, rects[700]);
  EXPECT_EQ(lone.value, OffsetOf(700));
  for (int p = 0; p < 3; ++p) {
    EXPECT_TRUE(PageChecksumValid(file.data() + p * kRtreePageSize, kRtreePageSize)) << p;
  }
}

TEST(RtreeBuild, SlicesFollowXCentreOrderAcrossZeroAndLeavesYOrder) {
  // Eight points at x = 3, 2, ..., -4 (added in that order), with y falling
  // as x rises.  Fan-out 2: two slices of four, the negative x centres first,
  // each slice packed in y order into two leaves.
  ScopedTempDir dir;
  std::vector<Rect> rects;
  for (int x = 3; x >= -4; --x) rects.push_back(R(x, -10 * x, x, -10 * x));
  ASSERT_GE(BuildTreeFile(dir.File("t"), rects, 96, 0), 0);
  const std::vector<std::uint8_t> file = ReadBytes(dir.File("t"));
  const std::int32_t expected_x[4][2] = {{-1, -2}, {-3, -4}, {3, 2}, {1, 0}};
  for (int leaf = 0; leaf < 4; ++leaf) {
    const RtreeNodeHeader h = PageHeader(file, leaf, 96);
    ASSERT_EQ(h.count, 2) << leaf;
    EXPECT_EQ(h.flags, lumetra::kRtreeLeaf);
    for (std::uint32_t i = 0; i < 2; ++i) {
      const RtreeEntry e = DecodeRtreeEntry(file.data() + leaf * 96, i);
      EXPECT_EQ(e.rect.minx, expected_x[leaf][i]) << "leaf " << leaf << " entry " << i;
      EXPECT_EQ(e.value, OffsetOf(static_cast<std::size_t>(3 - e.rect.minx)));
    }
  }
}

TEST(RtreeBuild, BadPageSizeSecondBuildAndWriteFailureAreRefused) {
  QError err;
  RtreeBuilder tiny(err, 95);
  EXPECT_FALSE(tiny.ready());
  EXPECT_EQ(err.code(), 100);
  EXPECT_FALSE(tiny.Add(R(0, 0, 1, 1), 1));
  RtreeBuilder huge(err, 65536);
  EXPECT_FALSE(huge.ready());

  ScopedTempDir dir;
  WriteBytes(dir.File("t"), {});
  UniqueFd fd(::open(dir.File("t").c_str(), O_WRONLY));
  RtreeBuilder once(err, 96);
  ASSERT_TRUE(once.Add(R(0, 0, 1, 1), 5));
  EXPECT_EQ(once.Build(fd.get()), 0);
  err.Clear();
  EXPECT_EQ(once.Build(fd.get()), RtreeBuilder::kBuildFailed);
  EXPECT_EQ(err.code(), 100);
  EXPECT_FALSE(once.Add(R(0, 0, 1, 1), 6));

  UniqueFd read_only(::open(dir.File("t").c_str(), O_RDONLY));
  RtreeBuilder unwritable(err, 96);
  for (std::uint64_t v : {5, 6, 7}) ASSERT_TRUE(unwritable.Add(R(0, 0, 1, 1), v));
  err.Clear();
  EXPECT_EQ(unwritable.Build(read_only.get()), RtreeBuilder::kBuildFailed);
  EXPECT_NE(err.code(), -1);
}

// ---------------------------------------------------------------------------
// Queries

struct Round {
  std::uint32_t page_size;
  std::size_t count;
  std::int32_t lo, hi, extent;
};

// Queries of one round: random rectangles, points on stored corners,
// rectangles touching stored ones only at a corner, and the whole plane.
std::vector<Rect> QueriesFor(std::mt19937& rng, const std::vector<Rect>& rects, const Round& r) {
  std::vector<Rect> queries = {kEverything};
  std::uniform_int_distribution<std::int32_t> pos(r.lo - r.extent, r.hi + r.extent);
  for (int i = 0; i < 40; ++i) {
    const std::int32_t x = pos(rng), y = pos(rng);
    queries.push_back(R(x, y, x + static_cast<std::int32_t>(rng() % (r.extent * 3 + 1)),
                        y + static_cast<std::int32_t>(rng() % (r.extent * 3 + 1))));
    queries.push_back(R(x, y, x, y));
  }
  for (std::size_t i = 0; i < rects.size() && i < 20; ++i) {
    const Rect& s = rects[rng() % rects.size()];
    queries.push_back(R(s.maxx, s.maxy, s.maxx + 7, s.maxy + 7));  // touches a corner
    queries.push_back(R(s.minx - 7, s.miny - 7, s.minx, s.miny));
    queries.push_back(R(s.minx, s.maxy, s.minx, s.maxy));  // point on a corner
  }
  return queries;
}

TEST(RtreeQuery, RandomQueriesMatchBruteForce) {
  std::printf("RtreeQuery seed %u\n", kSeed);
  std::mt19937 rng(kSeed);
  const Round rounds[] = {{96, 1, -10, 10, 3},
                          {96, 2, -10, 10, 3},
                          {96, 3, -10, 10, 3},
                          {96, 700, -500, 500, 40},
                          {120, 1000, -2000, -1000, 30},
                          {144, 2500, -100000, 100000, 9000},
                          {240, 3000, 0, 300, 10},
                          {1024, 5000, -1000000, 1000000, 20000},
                          {32768, 4000, -180000000, 180000000, 1000000}};
  std::uint32_t deepest = 0;
  ScopedTempDir dir;
  int round_number = 0;
  for (const Round& round : rounds) {
    // Every other round reads through a mapping instead of the page cache.
    const bool mapped = round_number++ % 2 == 1;
    SCOPED_TRACE(testing::Message() << "page " << round.page_size << " n " << round.count
                                    << (mapped ? " mapped" : ""));
    const std::vector<Rect> rects = RandomRects(rng, round.count, round.lo, round.hi, round.extent);
    const std::int64_t root = BuildTreeFile(dir.File("t"), rects, round.page_size, 333);
    ASSERT_GE(root, 0);
    OpenTree tree(dir.File("t"), root, round.page_size,
                  mapped ? Qfile::kModeMapped : Qfile::kModeRead);
    std::unique_ptr<SpatialIndexEnum> it = tree.Enum();
    ASSERT_NE(it, nullptr);
    EXPECT_EQ(tree.index.record_mgr().slot_count(), mapped ? 0u : 10u);
    deepest = std::max(deepest, tree.index.height());
    auto* rt = static_cast<rtSpatialIndexEnum*>(it.get());
    // The order of the tree's own depth-first walk (a fresh index's first
    // queries walk the tree; later ones may be answered by its grid).
    OpenTree fresh(dir.File("t"), root, round.page_size);
    const std::vector<std::uint64_t> walk = Enumerate(*fresh.Enum(), kEverything);
    std::map<std::uint64_t, std::size_t> rank;
    for (std::size_t i = 0; i < walk.size(); ++i) rank[walk[i]] = i;
    for (const Rect& q : QueriesFor(rng, rects, round)) {
      std::vector<std::uint64_t> got;
      std::uint64_t offset = 0;
      for (bool more = it->First(q, &offset); more; more = it->Next(&offset)) {
        got.push_back(offset);
        ASSERT_EQ(rt->last_offset(), offset);
        ASSERT_TRUE(SharePoint(rt->last_rect(), q));
      }
      std::vector<std::uint64_t> in_walk_order = BruteForce(rects, q);
      std::sort(in_walk_order.begin(), in_walk_order.end(),
                [&](std::uint64_t a, std::uint64_t b) { return rank[a] < rank[b]; });
      ASSERT_EQ(got, in_walk_order)
          << "query " << q.minx << "," << q.miny << "," << q.maxx << "," << q.maxy;
    }
    EXPECT_NE(tree.index.Grid(), nullptr);
    EXPECT_EQ(Enumerate(*it, kEverything).size(), rects.size());
  }
  EXPECT_GE(deepest, 3u);
}

// ---------------------------------------------------------------------------
// Bad trees

TEST(RtreeOpen, RootOffsetMustNameAPageOfTheFile) {
  ScopedTempDir dir;
  const std::vector<Rect> rects = {R(0, 0, 1, 1), R(2, 2, 3, 3)};
  const std::int64_t root = BuildTreeFile(dir.File("t"), rects, 96, 96);
  ASSERT_EQ(root, 1);
  struct Row {
    std::uint64_t offset;
    std::uint32_t page_size;
    int code;
  };
  const Row rows[] = {{96 + 5, 96, 111},  // not a page boundary
                      {2 * 96, 96, 111},  // past the end
                      {0, 96, 111},       // the prefix is not a node
                      {96, 95, 100}};     // unusable page size
  for (const Row& row : rows) {
    QError err;
    Qfile f(err, dir.File("t").c_str(), Qfile::kModeRead);
    rtSpatialIndex index(err, f, row.offset, row.page_size);
    EXPECT_FALSE(index.IsReady()) << row.offset << " " << row.page_size;
    EXPECT_EQ(err.code(), row.code) << row.offset << " " << row.page_size;
    EXPECT_EQ(index.CreateEnum(), nullptr);
  }
}

// A tree of 200 rectangles in 144-byte pages (fan-out 4, four levels).
class RtreeCorruption : public testing::Test {
 protected:
  static constexpr std::uint32_t kPage = 144;

  void SetUp() override {
    std::mt19937 rng(kSeed + 5);
    rects_ = RandomRects(rng, 200, -1000, 1000, 100);
    root_ = BuildTreeFile(dir_.File("t"), rects_, kPage, 0);
    ASSERT_GE(root_, 0);
    bytes_ = ReadBytes(dir_.File("t"));
  }

  std::uint8_t* Page(std::uint64_t n) { return bytes_.data() + n * kPage; }
  std::uint8_t* Entry(std::uint64_t page, std::uint32_t i) {
    return Page(page) + lumetra::kRtreeHeaderSize + i * lumetra::kRtreeEntrySize;
  }
  // First child page of page n.
  std::uint32_t Child(std::uint64_t n) {
    return lumetra::RtreeChildPage(DecodeRtreeEntry(Page(n), 0));
  }
  static void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
  }

  // Opens the (possibly changed) bytes and enumerates the whole plane.
  // Returns the number of candidates; -1 when the index did not open.
  long Run(QError& err, std::size_t limit = 100000) {
    WriteBytes(dir_.File("c"), bytes_);
    Qfile f(err, dir_.File("c").c_str(), Qfile::kModeRead);
    rtSpatialIndex index(err, f, static_cast<std::uint64_t>(root_) * kPage, kPage);
    if (!index.IsReady()) return -1;
    auto it = index.CreateEnum();
    const std::size_t n = Enumerate(*it, kEverything, limit).size();
    std::uint64_t offset = 0;
    EXPECT_FALSE(it->Next(&offset));
    return static_cast<long>(n);
  }

  ScopedTempDir dir_;
  std::vector<Rect> rects_;
  std::int64_t root_ = -1;
  std::vector<std::uint8_t> bytes_;
};

TEST_F(RtreeCorruption, DamagedNodesEndTheEnumerationWithCode111) {
  QError intact;
  EXPECT_EQ(Run(intact), 200);
  EXPECT_EQ(intact.code(), -1);
  const std::uint64_t root = static_cast<std::uint64_t>(root_);
  const std::uint64_t interior = Child(root);
  const std::uint64_t leaf = Child(Child(interior));
  const std::uint32_t past_the_file = static_cast<std::uint32_t>(bytes_.size() / kPage);
  auto set_child = [this](std::uint64_t page, std::uint32_t child) {
    PutU32(Entry(page, 0) + 16, child);
  };
  auto set_level = [this](std::uint64_t page, std::uint8_t level, std::uint8_t flags) {
    Page(page)[2] = flags;
    Page(page)[6] = level;
  };
  const struct {
    const char* what;
    std::function<void()> damage;
  } rows[] = {
      {"child pointing at its parent", [&] { set_child(root, static_cast<std::uint32_t>(root)); }},
      {"child page 0xFFFFFFFF", [&] { set_child(interior, 0xFFFFFFFFu); }},
      {"child page 0xFFFFFFF0", [&] { set_child(interior, 0xFFFFFFF0u); }},
      {"child page just past the file", [&] { set_child(interior, past_the_file); }},
      {"leaf claims level 1", [&] { set_level(leaf, 1, 0x0001); }},
      {"level 0 without the leaf flag", [&] { set_level(leaf, 0, 0x0002); }},
      {"interior claims to be a leaf", [&] { set_level(interior, 0, 0x0001); }},
      {"level above its parent's", [&] { set_level(interior, 5, 0x0002); }},
      {"count above the capacity", [&] { Page(Child(interior))[0] = 0xFF; }},
      {"page size 400 in a 144-byte tree",
       [&] {
         Page(interior)[4] = 0x90;
         Page(interior)[5] = 0x01;
       }},
  };
  const std::vector<std::uint8_t> good = bytes_;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    bytes_ = good;
    row.damage();
    QError err;
    EXPECT_LT(Run(err), 200);
    EXPECT_EQ(err.code(), 111);
  }
}

}  // namespace
