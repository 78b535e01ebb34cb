#include "storage/qxy_spatial_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <memory>
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
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kSeed = 4242;
const Rect kEverything{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};

struct GridEntry {
  CellRect cells;
  std::uint64_t offset;
};

struct GridNode {
  CellRect cells;
  std::vector<GridEntry> entries;
};

void PutU16(Bytes& out, std::int32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void PutCells(Bytes& out, const CellRect& c) {
  for (std::int32_t v : {c.min_col, c.min_row, c.max_col, c.max_row}) PutU16(out, v);
}

// The bytes of a grid index: 16-byte header, then every node padded to
// node_size bytes.
Bytes EncodeGrid(const std::vector<GridNode>& nodes, std::int32_t node_size,
                 std::uint32_t payload) {
  Bytes out;
  PutU16(out, static_cast<std::int32_t>(nodes.size()));
  PutU16(out, node_size);
  out.push_back(static_cast<std::uint8_t>(payload));
  out.resize(16, 0x5A);  // unused bytes, deliberately not zero
  for (const GridNode& node : nodes) {
    const std::size_t start = out.size();
    PutU16(out, static_cast<std::int32_t>(node.entries.size()));
    PutU16(out, 0xBEEF);
    PutCells(out, node.cells);
    for (const GridEntry& e : node.entries) {
      PutCells(out, e.cells);
      for (std::uint32_t i = 0; i < payload; ++i) {
        out.push_back(static_cast<std::uint8_t>(e.offset >> (8 * i)));
      }
    }
    EXPECT_LE(out.size() - start, static_cast<std::size_t>(node_size));
    out.resize(start + static_cast<std::size_t>(node_size), 0);
  }
  return out;
}

std::vector<std::uint64_t> Enumerate(SpatialIndexEnum& it, const Rect& q) {
  std::vector<std::uint64_t> out;
  std::uint64_t offset = 0;
  for (bool more = it.First(q, &offset); more; more = it.Next(&offset)) out.push_back(offset);
  return out;
}

// Two nodes: one around columns 0..9 / rows 15000..15009, one around columns
// 100..109 / rows 20000..20009.
std::vector<GridNode> SampleNodes() {
  return {{{0, 15000, 9, 15009},
           {{{0, 15000, 0, 15000}, 0x1111},
            {{1, 15000, 3, 15002}, 0x2222},
            {{5, 15005, 9, 15009}, 0x3333}}},
          {{100, 20000, 109, 20009},
           {{{100, 20000, 100, 20000}, 0x4444}, {{105, 20005, 109, 20009}, 0x5555}}}};
}

class QxySpatialIndexTest : public testing::Test {
 protected:
  // Writes `prefix` junk bytes then the index, and opens the index there.
  QxySpatialIndex& Open(const Bytes& index, std::size_t prefix = 536) {
    Bytes bytes(prefix, 0xC3);
    bytes.insert(bytes.end(), index.begin(), index.end());
    lumetra_test::WriteBytes(dir_.File("g"), bytes);
    index_.reset();
    err_.Clear();
    file_ = std::make_unique<Qfile>(err_, dir_.File("g").c_str(), Qfile::kModeRead);
    index_ = std::make_unique<QxySpatialIndex>(err_, *file_, static_cast<std::int64_t>(prefix));
    return *index_;
  }

  lumetra_test::ScopedTempDir dir_;
  QError err_;
  std::unique_ptr<Qfile> file_;
  std::unique_ptr<QxySpatialIndex> index_;
};

TEST(GridCells, ColumnsCountWestwardAndRowsNorthward) {
  const struct {
    std::int32_t x, column;
  } columns[] = {{-60000000, 0}, {-60001999, 0},       {-60002000, 1},
                 {-60004001, 2}, {-179999999, 59999},  {-59998000, -1},
                 {-59999999, 0}, {INT32_MIN, 1043741}, {INT32_MAX, -1103741}};
  for (const auto& r : columns) EXPECT_EQ(GridColumn(r.x), r.column) << r.x;
  const struct {
    std::int32_t y, row;
  } rows[] = {{0, 0}, {1999, 0}, {2000, 1}, {89999999, 44999}, {-1999, 0}, {-2000, -1}};
  for (const auto& r : rows) EXPECT_EQ(GridRow(r.y), r.row) << r.y;  // truncated towards zero
}

TEST_F(QxySpatialIndexTest, RandomGridsMatchBruteForce) {
  std::printf("QxySpatialIndex seed %u\n", kSeed);
  std::mt19937 rng(kSeed);
  auto draw = [&rng](int n) { return static_cast<std::int32_t>(rng() % n); };
  for (int round = 0; round < 20; ++round) {
    // Cells in a small window so queries hit often.
    std::vector<GridNode> nodes(1 + rng() % 6);
    std::uint64_t next_offset = 1;
    for (GridNode& node : nodes) {
      node.cells = {40, 15000, 20, 15000};  // grown below
      for (std::size_t i = 0, n = rng() % 12; i < n; ++i) {
        const std::int32_t c = draw(30), r = 15000 + draw(30);
        const CellRect cells{c, r, c + draw(4), r + draw(4)};
        node.entries.push_back({cells, next_offset++ * 977});
        node.cells = {std::min(node.cells.min_col, cells.min_col),
                      std::min(node.cells.min_row, cells.min_row),
                      std::max(node.cells.max_col, cells.max_col),
                      std::max(node.cells.max_row, cells.max_row)};
      }
    }
    QxySpatialIndex& index = Open(EncodeGrid(nodes, 12 + 11 * 12, 3), 17);
    ASSERT_TRUE(index.IsReady()) << round;
    auto it = index.CreateEnum();
    for (int q = 0; q < 50; ++q) {
      const std::int32_t c0 = draw(40) - 5, r0 = 14995 + draw(40);
      const std::int32_t c1 = c0 + draw(6), r1 = r0 + draw(6);
      // Query corners on exact cell edges: x of column c's east edge.
      const Rect query{-60000000 - c1 * 2000 - 1999, r0 * 2000, -60000000 - c0 * 2000,
                       r1 * 2000 + 1999};
      // The model clamps columns below 0 to 0 (and rows below 5 to 5).
      const CellRect q_cells{std::max(0, c0), r0, std::max(0, c1), r1};
      auto meets = [&q_cells](const CellRect& c) {
        return c.min_col <= q_cells.max_col && q_cells.min_col <= c.max_col &&
               c.min_row <= q_cells.max_row && q_cells.min_row <= c.max_row;
      };
      std::vector<std::uint64_t> expected;
      for (const GridNode& node : nodes) {
        if (!meets(node.cells)) continue;
        for (const GridEntry& e : node.entries) {
          if (meets(e.cells)) expected.push_back(e.offset);
        }
      }
      ASSERT_EQ(Enumerate(*it, query), expected)
          << "round " << round << " cols " << c0 << ".." << c1 << " rows " << r0 << ".." << r1;
    }
  }
}

TEST_F(QxySpatialIndexTest, BadHeadersAndNodesLeaveItNotReady) {
  auto sample = [](std::size_t at, std::uint8_t value) {
    Bytes b = EncodeGrid(SampleNodes(), 60, 4);
    b[at] = value;
    return b;
  };
  Bytes tiny_nodes = sample(2, 11);
  tiny_nodes[3] = 0;
  Bytes truncated = EncodeGrid(SampleNodes(), 60, 4);
  truncated.pop_back();
  const struct {
    const char* what;
    Bytes bytes;
    int code;
  } rows[] = {{"payload 0", sample(4, 0), 111},
              {"payload 9", sample(4, 9), 111},
              {"entries beyond the node", sample(16, 5), 111},  // 12 + 5 x 12 > 60
              {"node smaller than its header", tiny_nodes, 111},
              {"last node cut short", truncated, 28},
              {"header cut short", Bytes(10, 0), 28}};
  for (const auto& r : rows) {
    QxySpatialIndex& index = Open(r.bytes);
    EXPECT_FALSE(index.IsReady()) << r.what;
    EXPECT_EQ(err_.code(), r.code) << r.what;
    EXPECT_EQ(index.CreateEnum(), nullptr) << r.what;
  }
}

}  // namespace
