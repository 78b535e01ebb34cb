#include "storage/qxy_spatial_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "frame/error.h"
#include "storage/qfile.h"
#include "support/test_files.h"

namespace {

using lumetra::CellRect;
using lumetra::GridColumn;
using lumetra::GridQueryCells;
using lumetra::GridRow;
using lumetra::Rect;
using lumetra_test::ScopedTempDir;
using lumetra_test::WriteBytes;

constexpr std::uint32_t kSeed = 4242;

Rect R(std::int32_t minx, std::int32_t miny, std::int32_t maxx, std::int32_t maxy) {
  Rect r;
  r.minx = minx;
  r.miny = miny;
  r.maxx = maxx;
  r.maxy = maxy;
  return r;
}

CellRect C(std::int32_t min_col, std::int32_t min_row, std::int32_t max_col, std::int32_t max_row) {
  CellRect c;
  c.min_col = min_col;
  c.min_row = min_row;
  c.max_col = max_col;
  c.max_row = max_row;
  return c;
}

struct GridEntry {
  CellRect cells;
  std::uint64_t offset;
};

struct GridNode {
  CellRect cells;
  std::vector<GridEntry> entries;
};

void PutU16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutCells(std::vector<std::uint8_t>& out, const CellRect& c) {
  PutU16(out, static_cast<std::uint32_t>(c.min_col));
  PutU16(out, static_cast<std::uint32_t>(c.min_row));
  PutU16(out, static_cast<std::uint32_t>(c.max_col));
  PutU16(out, static_cast<std::uint32_t>(c.max_row));
}

// The bytes of a grid index: 16-byte header, then every node padded to
// node_size bytes.
std::vector<std::uint8_t> EncodeGrid(const std::vector<GridNode>& nodes, std::uint32_t node_size,
                                     std::uint32_t payload) {
  std::vector<std::uint8_t> out;
  PutU16(out, static_cast<std::uint32_t>(nodes.size()));
  PutU16(out, node_size);
  out.push_back(static_cast<std::uint8_t>(payload));
  out.resize(16, 0x5A);  // unused bytes, deliberately not zero
  for (const GridNode& node : nodes) {
    const std::size_t start = out.size();
    PutU16(out, static_cast<std::uint32_t>(node.entries.size()));
    PutU16(out, 0xBEEF);
    PutCells(out, node.cells);
    for (const GridEntry& e : node.entries) {
      PutCells(out, e.cells);
      for (std::uint32_t i = 0; i < payload; ++i) {
        out.push_back(static_cast<std::uint8_t>(e.offset >> (8 * i)));
      }
    }
    EXPECT_LE(out.size() - start, node_size);
    out.resize(start + node_size, 0);
  }
  return out;
}

// Writes `prefix` junk bytes then the index; returns the index offset.
std::int64_t WriteGridFile(const std::string& path, const std::vector<std::uint8_t>& index,
                           std::size_t prefix = 536) {
  std::vector<std::uint8_t> bytes(prefix, 0xC3);
  bytes.insert(bytes.end(), index.begin(), index.end());
  WriteBytes(path, bytes);
  return static_cast<std::int64_t>(prefix);
}

std::vector<std::uint64_t> Enumerate(SpatialIndexEnum& it, const Rect& q) {
  std::vector<std::uint64_t> out;
  std::uint64_t offset = 0;
  for (bool more = it.First(q, &offset); more; more = it.Next(&offset)) out.push_back(offset);
  return out;
}

// The node of cell rectangle `cells` holding the given entries.
GridNode Node(const CellRect& cells, std::vector<GridEntry> entries) {
  return GridNode{cells, std::move(entries)};
}

// Longitude / latitude (millionths) at the middle of a cell.
std::int32_t XOfColumn(std::int32_t col) { return -60000000 - col * 2000 - 1000; }
std::int32_t YOfRow(std::int32_t row) { return row * 2000 + 1000; }

TEST(GridCells, ColumnsCountWestwardAndRowsNorthward) {
  struct Row {
    std::int32_t x;
    std::int32_t column;
  };
  const Row columns[] = {{-60000000, 0}, {-60001999, 0},       {-60002000, 1},
                         {-60004001, 2}, {-179999999, 59999},  {-59998000, -1},
                         {-59999999, 0}, {INT32_MIN, 1043741}, {INT32_MAX, -1103741}};
  for (const Row& r : columns) EXPECT_EQ(GridColumn(r.x), r.column) << r.x;
  EXPECT_EQ(GridRow(0), 0);
  EXPECT_EQ(GridRow(1999), 0);
  EXPECT_EQ(GridRow(2000), 1);
  EXPECT_EQ(GridRow(89999999), 44999);
  EXPECT_EQ(GridRow(-1999), 0);  // truncation towards zero
  EXPECT_EQ(GridRow(-2000), -1);
}

TEST(GridCells, QueryIsClampedIntoTheCoveredArea) {
  struct Row {
    const char* what;
    Rect query;
    CellRect cells;
  };
  const Row rows[] = {
      {"inside", R(-70000000, 30000000, -65000000, 35000000), C(2500, 15000, 5000, 17500)},
      {"east of -60", R(-50000000, 30000000, -40000000, 30000000), C(0, 15000, 0, 15000)},
      {"spanning -60", R(-60004000, 1, -59000000, 1), C(0, 5, 2, 5)},
      {"south of the equator", R(-70000000, -5000000, -70000000, -1000000), C(5000, 5, 5000, 5)},
      {"everything", R(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX), C(0, 5, 59999, 44999)},
  };
  for (const Row& r : rows) {
    const CellRect c = GridQueryCells(r.query);
    EXPECT_EQ(c.min_col, r.cells.min_col) << r.what;
    EXPECT_EQ(c.min_row, r.cells.min_row) << r.what;
    EXPECT_EQ(c.max_col, r.cells.max_col) << r.what;
    EXPECT_EQ(c.max_row, r.cells.max_row) << r.what;
  }
}

// Two nodes: one around columns 0..9 / rows 15000..15009, one around columns
// 100..109 / rows 20000..20009.
std::vector<GridNode> SampleNodes() {
  return {Node(C(0, 15000, 9, 15009), {{C(0, 15000, 0, 15000), 0x1111},
                                       {C(1, 15000, 3, 15002), 0x2222},
                                       {C(5, 15005, 9, 15009), 0x3333}}),
          Node(C(100, 20000, 109, 20009),
               {{C(100, 20000, 100, 20000), 0x4444}, {C(105, 20005, 109, 20009), 0x5555}})};
}

TEST(QxySpatialIndex, HandBuiltFileIsReadAndQueried) {
  ScopedTempDir dir;
  const std::int64_t at = WriteGridFile(dir.File("g"), EncodeGrid(SampleNodes(), 60, 4));
  QError err;
  Qfile file(err, dir.File("g").c_str(), Qfile::kModeRead);
  QxySpatialIndex index(err, file, at);
  ASSERT_TRUE(index.IsReady()) << err.detail();
  ASSERT_EQ(index.node_count(), 2u);
  EXPECT_EQ(index.node(0).count(), 3u);
  EXPECT_EQ(index.node(1).EntryOffset(1), 0x5555u);
  auto it = index.CreateEnum();
  ASSERT_NE(it, nullptr);

  struct Row {
    const char* what;
    Rect query;
    std::vector<std::uint64_t> expected;
  };
  const Row rows[] = {
      {"cell 0 only", R(XOfColumn(0), YOfRow(15000), XOfColumn(0), YOfRow(15000)), {0x1111}},
      {"columns 2..6",
       R(XOfColumn(6), YOfRow(15001), XOfColumn(2), YOfRow(15006)),
       {0x2222, 0x3333}},
      {"second node corner",
       R(XOfColumn(109), YOfRow(20009), XOfColumn(109), YOfRow(20009)),
       {0x5555}},
      {"both nodes",
       R(XOfColumn(200), YOfRow(0), XOfColumn(0), YOfRow(30000)),
       {0x1111, 0x2222, 0x3333, 0x4444, 0x5555}},
      {"between the nodes", R(XOfColumn(50), YOfRow(17000), XOfColumn(40), YOfRow(17001)), {}},
      // A query east of -60 degrees is clamped to the first column.
      {"east of -60", R(-50000000, YOfRow(15000), -49000000, YOfRow(15000)), {0x1111}},
      {"everything",
       R(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX),
       {0x1111, 0x2222, 0x3333, 0x4444, 0x5555}},
  };
  for (const Row& r : rows) EXPECT_EQ(Enumerate(*it, r.query), r.expected) << r.what;
}

TEST(QxySpatialIndex, NodesThatMissTheQueryAreSkippedWhole) {
  // The entry meets the query but its node's cell rectangle does not.
  ScopedTempDir dir;
  const std::vector<GridNode> nodes = {Node(C(50, 50, 60, 60), {{C(0, 15000, 0, 15000), 9}})};
  const std::int64_t at = WriteGridFile(dir.File("g"), EncodeGrid(nodes, 32, 2));
  QError err;
  Qfile file(err, dir.File("g").c_str(), Qfile::kModeRead);
  QxySpatialIndex index(err, file, at);
  ASSERT_TRUE(index.IsReady());
  auto it = index.CreateEnum();
  EXPECT_TRUE(Enumerate(*it, R(XOfColumn(0), YOfRow(15000), XOfColumn(0), YOfRow(15000))).empty());
}

TEST(QxySpatialIndex, PayloadSizesFromOneToEightBytes) {
  const std::uint64_t offset = 0x8877665544332211ull;
  for (std::uint32_t payload = 1; payload <= 8; ++payload) {
    ScopedTempDir dir;
    const std::vector<GridNode> nodes = {Node(C(0, 0, 9, 50000), {{C(0, 0, 9, 50000), offset}})};
    const std::int64_t at = WriteGridFile(dir.File("g"), EncodeGrid(nodes, 40, payload), 3);
    QError err;
    Qfile file(err, dir.File("g").c_str(), Qfile::kModeRead);
    QxySpatialIndex index(err, file, at);
    ASSERT_TRUE(index.IsReady()) << payload;
    auto it = index.CreateEnum();
    const std::uint64_t mask = payload == 8 ? ~0ull : (1ull << (8 * payload)) - 1;
    EXPECT_EQ(Enumerate(*it, R(-60010000, 1000000, -60010000, 1000000)),
              std::vector<std::uint64_t>{offset & mask})
        << payload;
  }
}

TEST(QxySpatialIndex, RandomGridsMatchBruteForce) {
  std::printf("QxySpatialIndex seed %u\n", kSeed);
  std::mt19937 rng(kSeed);
  for (int round = 0; round < 20; ++round) {
    // Cells in a small window so queries hit often.
    std::vector<GridNode> nodes(1 + rng() % 6);
    std::uint64_t next_offset = 1;
    for (GridNode& node : nodes) {
      node.cells = C(40, 15000, 20, 15000);  // grown below
      const std::size_t entries = rng() % 12;
      for (std::size_t i = 0; i < entries; ++i) {
        const std::int32_t c = static_cast<std::int32_t>(rng() % 30);
        const std::int32_t r = 15000 + static_cast<std::int32_t>(rng() % 30);
        const CellRect cells = C(c, r, c + static_cast<std::int32_t>(rng() % 4),
                                 r + static_cast<std::int32_t>(rng() % 4));
        node.entries.push_back({cells, next_offset++ * 977});
        node.cells.min_col = std::min(node.cells.min_col, cells.min_col);
        node.cells.min_row = std::min(node.cells.min_row, cells.min_row);
        node.cells.max_col = std::max(node.cells.max_col, cells.max_col);
        node.cells.max_row = std::max(node.cells.max_row, cells.max_row);
      }
    }
    ScopedTempDir dir;
    const std::int64_t at = WriteGridFile(dir.File("g"), EncodeGrid(nodes, 12 + 11 * 12, 3), 17);
    QError err;
    Qfile file(err, dir.File("g").c_str(), Qfile::kModeRead);
    QxySpatialIndex index(err, file, at);
    ASSERT_TRUE(index.IsReady()) << round;
    auto it = index.CreateEnum();
    for (int q = 0; q < 50; ++q) {
      const std::int32_t c0 = static_cast<std::int32_t>(rng() % 40) - 5;
      const std::int32_t r0 = 14995 + static_cast<std::int32_t>(rng() % 40);
      const std::int32_t c1 = c0 + static_cast<std::int32_t>(rng() % 6);
      const std::int32_t r1 = r0 + static_cast<std::int32_t>(rng() % 6);
      // Query corners on exact cell edges: x of column c's east edge.
      const Rect query =
          R(-60000000 - c1 * 2000 - 1999, r0 * 2000, -60000000 - c0 * 2000, r1 * 2000 + 1999);
      // The model clamps columns below 0 to 0 and rows below 5 to 5.
      const std::int32_t q_min_col = std::max(0, c0), q_max_col = std::max(0, c1);
      std::vector<std::uint64_t> expected;
      for (const GridNode& node : nodes) {
        const bool node_meets = node.cells.min_col <= q_max_col &&
                                q_min_col <= node.cells.max_col && node.cells.min_row <= r1 &&
                                r0 <= node.cells.max_row;
        if (!node_meets) continue;
        for (const GridEntry& e : node.entries) {
          if (e.cells.min_col <= q_max_col && q_min_col <= e.cells.max_col &&
              e.cells.min_row <= r1 && r0 <= e.cells.max_row) {
            expected.push_back(e.offset);
          }
        }
      }
      ASSERT_EQ(Enumerate(*it, query), expected)
          << "round " << round << " cols " << c0 << ".." << c1 << " rows " << r0 << ".." << r1;
    }
  }
}

TEST(QxySpatialIndex, NextAfterTheEndKeepsReturningFalseAndFirstRestarts) {
  ScopedTempDir dir;
  const std::int64_t at = WriteGridFile(dir.File("g"), EncodeGrid(SampleNodes(), 60, 4));
  QError err;
  Qfile file(err, dir.File("g").c_str(), Qfile::kModeRead);
  QxySpatialIndex index(err, file, at);
  ASSERT_TRUE(index.IsReady());
  auto it = index.CreateEnum();
  std::uint64_t offset = 0;
  EXPECT_FALSE(it->Next(&offset));  // before First
  const Rect all = R(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  const std::vector<std::uint64_t> once = Enumerate(*it, all);
  ASSERT_EQ(once.size(), 5u);
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(it->Next(&offset));
  ASSERT_TRUE(it->First(all, &offset));
  EXPECT_EQ(offset, 0x1111u);
  ASSERT_TRUE(it->Next(&offset));
  EXPECT_EQ(offset, 0x2222u);
  EXPECT_EQ(Enumerate(*it, all), once);
}

TEST(QxySpatialIndex, BadHeadersAndNodesLeaveItNotReady) {
  struct Row {
    const char* what;
    std::vector<std::uint8_t> bytes;
    int code;
  };
  std::vector<std::uint8_t> payload_zero = EncodeGrid(SampleNodes(), 60, 4);
  payload_zero[4] = 0;
  std::vector<std::uint8_t> payload_nine = EncodeGrid(SampleNodes(), 60, 4);
  payload_nine[4] = 9;
  std::vector<std::uint8_t> overfull = EncodeGrid(SampleNodes(), 60, 4);
  overfull[16] = 5;  // 12 + 5 x 12 > 60
  std::vector<std::uint8_t> tiny_nodes = EncodeGrid(SampleNodes(), 60, 4);
  tiny_nodes[2] = 11;
  tiny_nodes[3] = 0;
  std::vector<std::uint8_t> truncated = EncodeGrid(SampleNodes(), 60, 4);
  truncated.resize(truncated.size() - 1);
  const Row rows[] = {{"payload 0", payload_zero, 111},
                      {"payload 9", payload_nine, 111},
                      {"entries beyond the node", overfull, 111},
                      {"node smaller than its header", tiny_nodes, 111},
                      {"last node cut short", truncated, 28},
                      {"header cut short", std::vector<std::uint8_t>(10, 0), 28}};
  for (const Row& r : rows) {
    ScopedTempDir dir;
    const std::int64_t at = WriteGridFile(dir.File("g"), r.bytes);
    QError err;
    Qfile file(err, dir.File("g").c_str(), Qfile::kModeRead);
    QxySpatialIndex index(err, file, at);
    EXPECT_FALSE(index.IsReady()) << r.what;
    EXPECT_EQ(err.code(), r.code) << r.what;
    EXPECT_EQ(index.CreateEnum(), nullptr) << r.what;
  }
}

TEST(QxySpatialIndex, EmptyIndexIsReadyAndFindsNothing) {
  ScopedTempDir dir;
  const std::int64_t at = WriteGridFile(dir.File("g"), EncodeGrid({}, 0, 4));
  QError err;
  Qfile file(err, dir.File("g").c_str(), Qfile::kModeRead);
  QxySpatialIndex index(err, file, at);
  ASSERT_TRUE(index.IsReady());
  auto it = index.CreateEnum();
  EXPECT_TRUE(Enumerate(*it, R(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX)).empty());
}

}  // namespace
