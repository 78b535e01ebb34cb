#include "storage/qxy_spatial_index.h"

#include <algorithm>

#include "frame/byte_order.h"
#include "frame/error.h"
#include "storage/qfile.h"

namespace {

// Code for index bytes that cannot describe a valid index.
constexpr int kCorruptIndexCode = 111;

}  // namespace

namespace lumetra {
namespace {

CellRect GetCells(const std::uint8_t* p) {
  CellRect c;
  c.min_col = static_cast<std::int32_t>(GetU16(p));
  c.min_row = static_cast<std::int32_t>(GetU16(p + 2));
  c.max_col = static_cast<std::int32_t>(GetU16(p + 4));
  c.max_row = static_cast<std::int32_t>(GetU16(p + 6));
  return c;
}

std::int32_t Clamp(std::int32_t v, std::int32_t lo, std::int32_t hi) {
  return std::min(std::max(v, lo), hi);
}

}  // namespace

std::int32_t GridColumn(std::int32_t x) {
  // 64-bit so that coordinates near the i32 limits cannot overflow.
  return static_cast<std::int32_t>((static_cast<std::int64_t>(x) - kGridOriginX) / -kGridCellSize);
}

std::int32_t GridRow(std::int32_t y) { return y / kGridCellSize; }

CellRect GridQueryCells(const Rect& query) {
  // Clamping both sides keeps a query that lies wholly outside the covered
  // area on its nearest edge instead of producing an empty cell range.
  CellRect c;
  c.min_col = GridColumn(Clamp(query.maxx, kGridWestLimit, kGridEastLimit));
  c.max_col = GridColumn(Clamp(query.minx, kGridWestLimit, kGridEastLimit));
  c.min_row = GridRow(Clamp(query.miny, kGridSouthLimit, kGridNorthLimit));
  c.max_row = GridRow(Clamp(query.maxy, kGridSouthLimit, kGridNorthLimit));
  return c;
}

}  // namespace lumetra

// ---------------------------------------------------------------------------
// QxyIndexNodeRead

QxyIndexNodeRead::QxyIndexNodeRead(QError& error, Qfile& file, std::int64_t offset,
                                   std::uint32_t node_size, std::uint32_t payload_size)
    : payload_size_(payload_size) {
  if (node_size < kNodeHeaderSize || payload_size > kMaxPayloadSize) {
    error.SetF(kCorruptIndexCode, QERR_HERE,
               "Grid index node of %s at %lld: node size %u, payload size %u", file.name(),
               static_cast<long long>(offset), node_size, payload_size);
    return;
  }
  bytes_.resize(node_size);
  if (!file.ReadAt("QxyIndexNodeRead::QxyIndexNodeRead", offset, bytes_.data(), node_size)) {
    return;
  }
  count_ = lumetra::GetU16(bytes_.data());
  cells_ = lumetra::GetCells(bytes_.data() + 4);
  const std::uint64_t needed =
      kNodeHeaderSize + static_cast<std::uint64_t>(count_) * (kEntryCellSize + payload_size_);
  if (needed > node_size) {
    error.SetF(kCorruptIndexCode, QERR_HERE,
               "Grid index node of %s at %lld: %u entries do not fit in %u bytes", file.name(),
               static_cast<long long>(offset), count_, node_size);
    count_ = 0;
    return;
  }
  ready_ = true;
}

const std::uint8_t* QxyIndexNodeRead::EntryBytes(std::uint32_t index) const {
  return bytes_.data() + kNodeHeaderSize +
         static_cast<std::size_t>(index) * (kEntryCellSize + payload_size_);
}

lumetra::CellRect QxyIndexNodeRead::EntryCells(std::uint32_t index) const {
  return lumetra::GetCells(EntryBytes(index));
}

std::uint64_t QxyIndexNodeRead::EntryOffset(std::uint32_t index) const {
  const std::uint8_t* p = EntryBytes(index) + kEntryCellSize;
  std::uint64_t v = 0;
  for (std::uint32_t i = payload_size_; i > 0; --i) v = (v << 8) | p[i - 1];
  return v;
}

// ---------------------------------------------------------------------------
// QxySpatialIndex

QxySpatialIndex::QxySpatialIndex(QError& error, Qfile& file, std::int64_t offset)
    : SpatialIndex(error) {
  ready_ = ReadNodes(file, offset);
}

QxySpatialIndex::~QxySpatialIndex() = default;

bool QxySpatialIndex::ReadNodes(Qfile& file, std::int64_t offset) {
  std::uint8_t header[kHeaderSize];
  if (offset < 0 || !file.ReadAt("QxyIndex::QxyIndex", offset, header, kHeaderSize)) {
    if (offset < 0) {
      error().SetF(kCorruptIndexCode, QERR_HERE, "Grid index of %s at negative offset %lld",
                   file.name(), static_cast<long long>(offset));
    }
    return false;
  }
  const std::uint32_t node_count = lumetra::GetU16(header);
  const std::uint32_t node_size = lumetra::GetU16(header + 2);
  const std::uint32_t payload_size = header[4];
  if (payload_size == 0 || payload_size > QxyIndexNodeRead::kMaxPayloadSize ||
      (node_count > 0 && node_size < QxyIndexNodeRead::kNodeHeaderSize)) {
    error().SetF(kCorruptIndexCode, QERR_HERE,
                 "Grid index of %s at %lld: node size %u, payload size %u", file.name(),
                 static_cast<long long>(offset), node_size, payload_size);
    return false;
  }
  nodes_.reserve(node_count);
  std::int64_t node_offset = offset + kHeaderSize;
  for (std::uint32_t i = 0; i < node_count; ++i, node_offset += node_size) {
    auto node =
        std::make_unique<QxyIndexNodeRead>(error(), file, node_offset, node_size, payload_size);
    if (!node->is_ready()) return false;
    nodes_.push_back(std::move(node));
  }
  return true;
}

std::unique_ptr<SpatialIndexEnum> QxySpatialIndex::CreateEnum() {
  if (!ready_) return nullptr;
  return std::make_unique<QxySpatialIndexEnum>(*this);
}

// ---------------------------------------------------------------------------
// QxySpatialIndexEnum

QxySpatialIndexEnum::QxySpatialIndexEnum(const QxySpatialIndex& index) : index_(index) {}

bool QxySpatialIndexEnum::First(const lumetra::Rect& query, std::uint64_t* offset) {
  query_ = lumetra::GridQueryCells(query);
  node_ = 0;
  entry_ = 0;
  exhausted_ = false;
  return Next(offset);
}

bool QxySpatialIndexEnum::Next(std::uint64_t* offset) {
  if (exhausted_ || offset == nullptr) return false;
  for (; node_ < index_.node_count(); ++node_, entry_ = 0) {
    const QxyIndexNodeRead& node = index_.node(node_);
    if (entry_ == 0 && !node.cells().Meets(query_)) continue;
    while (entry_ < node.count()) {
      const std::uint32_t i = entry_++;
      if (node.EntryCells(i).Meets(query_)) {
        *offset = node.EntryOffset(i);
        return true;
      }
    }
  }
  exhausted_ = true;
  return false;
}
