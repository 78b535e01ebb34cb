// QxySpatialIndex: the read-only grid-cell spatial index of old object files
// (see docs/formats/grid_index.md).
//
// The index covers longitudes west of -60 degrees and latitudes north of the
// equator in cells of 2000 millionths of a degree: columns count westward
// from -60 degrees, rows northward from the equator.  Its nodes and entries
// carry cell rectangles (u16 column/row bounds); an entry's payload is the
// record's file offset.  A query rectangle is turned into cells, coordinates
// outside the covered area moving to its nearest edge (a query east of -60
// degrees searches the first column), and every entry whose cells meet the
// query cells is a candidate.  Candidates are cell-accurate only; callers
// test them exactly.
//
// The whole index is read into memory when it is constructed, one
// QxyIndexNodeRead per node.  REQUIRES: the error sink outlives the index;
// the file is only read during construction.  Thread rule: one thread at a
// time per index and enumerator.
#ifndef LUMETRA_STORAGE_QXY_SPATIAL_INDEX_H
#define LUMETRA_STORAGE_QXY_SPATIAL_INDEX_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "storage/dlist.h"
#include "storage/spatial_index.h"

class QError;
class Qfile;

namespace lumetra {

// A rectangle of grid cells, bounds included.
struct CellRect {
  std::int32_t min_col = 0;
  std::int32_t min_row = 0;
  std::int32_t max_col = 0;
  std::int32_t max_row = 0;

  bool Meets(const CellRect& o) const {
    return min_col <= o.max_col && o.min_col <= max_col && min_row <= o.max_row &&
           o.min_row <= max_row;
  }
};

constexpr std::int32_t kGridCellSize = 2000;
constexpr std::int32_t kGridOriginX = -60000000;
// The coordinates a query is clamped into before conversion.
constexpr std::int32_t kGridEastLimit = -60000001;
constexpr std::int32_t kGridWestLimit = -179999999;
constexpr std::int32_t kGridSouthLimit = 10000;
constexpr std::int32_t kGridNorthLimit = 89999999;

// Column of a longitude: (x + 60000000) / -2000, truncating towards zero.
std::int32_t GridColumn(std::int32_t x);
// Row of a latitude: y / 2000, truncating towards zero.
std::int32_t GridRow(std::int32_t y);
// The cells a query rectangle covers.  The minimum column comes from the
// maximum x and the maximum column from the minimum x (columns grow
// westward); every coordinate is first clamped into
// [kGridWestLimit, kGridEastLimit] x [kGridSouthLimit, kGridNorthLimit].
CellRect GridQueryCells(const Rect& query);

}  // namespace lumetra

// One grid node, read whole into memory (a list element, so nodes can be
// kept on QDlist lists): u16 entry count, u16 unused, the
// node's cell rectangle (four u16: minimum column, minimum row, maximum
// column, maximum row), then the entries of 8 + payload size bytes each (cell
// rectangle, then the payload: a little-endian record offset).
//
// The constructor reads `node_size` bytes at `offset` and checks that the
// entry count fits the node; on any failure it reports to the sink and the
// node is not ready.
class QxyIndexNodeRead : public QDlistObject {
 public:
  static constexpr std::uint32_t kNodeHeaderSize = 12;
  static constexpr std::uint32_t kEntryCellSize = 8;
  static constexpr std::uint32_t kMaxPayloadSize = 8;

  QxyIndexNodeRead(QError& error, Qfile& file, std::int64_t offset, std::uint32_t node_size,
                   std::uint32_t payload_size);

  bool is_ready() const { return ready_; }
  std::uint32_t count() const { return count_; }
  const lumetra::CellRect& cells() const { return cells_; }
  // Entry i (i < count()): its cell rectangle and its record offset.
  lumetra::CellRect EntryCells(std::uint32_t index) const;
  std::uint64_t EntryOffset(std::uint32_t index) const;

 private:
  const std::uint8_t* EntryBytes(std::uint32_t index) const;

  std::vector<std::uint8_t> bytes_;
  std::uint32_t payload_size_;
  std::uint32_t count_ = 0;
  lumetra::CellRect cells_;
  bool ready_ = false;
};

// The grid index at `offset` of `file`: a 16-byte header (u16 node count, u16
// node size, u8 payload size of 1 to 8 bytes, 11 unused bytes), then the
// nodes back to back.  Ready when the header is valid and every node was
// read; otherwise the failure was reported to the sink.
class QxySpatialIndex : public SpatialIndex {
 public:
  static constexpr std::uint32_t kHeaderSize = 16;

  QxySpatialIndex(QError& error, Qfile& file, std::int64_t offset);
  ~QxySpatialIndex() override;

  bool IsReady() const override { return ready_; }
  std::unique_ptr<SpatialIndexEnum> CreateEnum() override;

  // The nodes in file order (valid while the index lives).
  std::size_t node_count() const { return nodes_.size(); }
  const QxyIndexNodeRead& node(std::size_t i) const { return *nodes_[i]; }

 private:
  bool ReadNodes(Qfile& file, std::int64_t offset);

  std::vector<std::unique_ptr<QxyIndexNodeRead>> nodes_;
  bool ready_ = false;
};

// Walks the nodes in file order and, within each node that meets the query
// cells, its entries in order.  Allocates nothing after construction.
class QxySpatialIndexEnum : public SpatialIndexEnum {
 public:
  // REQUIRES: `index` is ready and outlives the enumerator.
  explicit QxySpatialIndexEnum(const QxySpatialIndex& index);

  bool First(const lumetra::Rect& query, std::uint64_t* offset) override;
  bool Next(std::uint64_t* offset) override;

 private:
  const QxySpatialIndex& index_;
  lumetra::CellRect query_;
  std::size_t node_ = 0;
  std::uint32_t entry_ = 0;
  bool exhausted_ = true;
};

#endif  // LUMETRA_STORAGE_QXY_SPATIAL_INDEX_H
