#include "search/record_store.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>

#include "frame/byte_order.h"
#include "frame/error.h"
#include "objfile/extension_block.h"
#include "storage/qfile.h"

namespace lumetra {

namespace {

// In-place arrays are the file's bytes seen as these structures: i32 fields
// in file order, no padding.
static_assert(sizeof(RecordPoint) == 8 && std::is_standard_layout<RecordPoint>::value,
              "RecordPoint must match the file's x, y pairs");
static_assert(sizeof(SegmentRecord) == SegmentRecord::kEncodedSize &&
                  std::is_standard_layout<SegmentRecord>::value,
              "SegmentRecord must match the file's segment records");

constexpr std::size_t kFlagOffset = 38;  // record flags of region and line records
// Index bytes per point a record may always have (see Edges).
constexpr std::uint64_t kSparseIndexBytesPerPoint = 6;

bool LittleEndianHost() {
  const std::uint32_t probe = 1;
  std::uint8_t first = 0;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

// The first file position a record may have: behind the header and, when
// present, its extension block.
std::uint64_t FirstRecordPosition(const ObjectHeader& header) {
  return ObjectHeader::kEncodedSize + (header.HasExtension() ? ExtensionBlock::kEncodedSize : 0);
}

bool Aligned(const void* p, std::size_t alignment) {
  return reinterpret_cast<std::uintptr_t>(p) % alignment == 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// DecodedRecord

void DecodedRecord::Clear() {
  position_ = 0;
  points_ = nullptr;
  point_count_ = 0;
  segments_ = nullptr;
  segments_loaded_ = false;
  edges_tried_ = false;
  edges_.reset();
  parts_.clear();
  poly_.points.clear();
  poly_.segments.clear();
  poly_.ring_counts.clear();
  poly_.area = PolyArea{};
}

void DecodedRecord::BuildParts() {
  parts_.clear();
  parts_.reserve(poly_.ring_counts.size());
  std::size_t start = 0;
  for (std::uint32_t count : poly_.ring_counts) {
    parts_.push_back(PolygonPart{count, points_ + start});
    start += count;
  }
}

std::size_t DecodedRecord::CountBytes() const {
  std::size_t bytes = sizeof(DecodedRecord) + poly_.points.capacity() * sizeof(RecordPoint) +
                      poly_.segments.capacity() * sizeof(SegmentRecord) +
                      poly_.ring_counts.capacity() * sizeof(std::uint32_t) +
                      parts_.capacity() * sizeof(PolygonPart) + poly_.name.capacity() +
                      poly_.second_name.capacity() + point_.name.capacity() +
                      point_.second_name.capacity();
  if (edges_ != nullptr) bytes += edges_->bytes();
  return bytes;
}

// ---------------------------------------------------------------------------
// RecordStore

RecordStore::RecordStore(QError& err, Qfile& file, const ObjectHeader& header,
                         const RecordLimits& limits, std::uint64_t budget)
    : err_(err),
      file_(file),
      header_(header),
      context_(RecordContext::ForFile(header, file.name())),
      budget_(budget) {
  context_.limits = limits;
  in_place_ = file.is_mapped() && file.mapped_view() != nullptr && file.mapped_size() > 0 &&
              LittleEndianHost();
  try {
    if (!in_place_) read_buffer_.resize(limits.max_record_size);
    held_.Reset(16);
    ready_ = true;
  } catch (const std::bad_alloc&) {
    ready_ = false;
  }
}

RecordStore::~RecordStore() = default;

DecodedRecord* RecordStore::Acquire(std::uint64_t position) {
  if (DecodedRecord* held = held_.Find(position)) {
    Unlist(held);
    ++held->pins_;
    return held;
  }
  std::size_t size = 0;
  const std::uint8_t* data = RecordBytes(position, &size);
  if (data == nullptr) return nullptr;
  DecodedRecord* record = Slot(GetU32(data + 4));
  if (!Load(position, data, size, record)) {
    Drop(record);
    return nullptr;
  }
  ++read_count_;
  ++record->pins_;
  held_.Insert(position, record);
  Account(record);
  return record;
}

bool RecordStore::Peek(std::uint64_t position, ObjectKind* kind, RecordPoint* at) {
  DecodedRecord* record = held_.Find(position);
  const bool pinned_here = record == nullptr;
  if (pinned_here && (record = Acquire(position)) == nullptr) return false;
  *kind = record->kind_;
  *at = record->is_point() ? RecordPoint{record->point_.x, record->point_.y}
                           : RecordPoint{record->poly_.label_x, record->poly_.label_y};
  if (pinned_here) Release(record);
  return true;
}

void RecordStore::Release(DecodedRecord* record) {
  if (record == nullptr || record->pins_ == 0) return;
  if (--record->pins_ > 0) return;
  List(record);
  EvictOverBudget();
}

const std::uint8_t* RecordStore::RecordBytes(std::uint64_t position, std::size_t* size) {
  context_.offset = position;
  if (position < FirstRecordPosition(header_) || position > 0x7FFFFFFFFFFFFFFFull) {
    err_.SetF(100, QERR_HERE, "Object file %s: no record can start at offset %llu",
              context_.file_name, static_cast<unsigned long long>(position));
    return nullptr;
  }
  RecordPrefix prefix;
  if (in_place_) {
    const auto mapped = static_cast<std::uint64_t>(file_.mapped_size());
    if (position >= mapped || mapped - position < RecordPrefix::kEncodedSize) {
      err_.SetF(28, QERR_HERE, "Object file %s: no record at offset %llu, beyond the file",
                context_.file_name, static_cast<unsigned long long>(position));
      return nullptr;
    }
    const std::uint8_t* data = file_.mapped_view() + position;
    *size = static_cast<std::size_t>(mapped - position);
    if (!prefix.DecodeFrom(data, *size, context_, &err_)) return nullptr;
    if (prefix.length > *size) {
      err_.SetF(28, QERR_HERE, "Object file %s: record at offset %llu runs past the file's end",
                context_.file_name, static_cast<unsigned long long>(position));
      return nullptr;
    }
    return data;
  }
  const auto offset = static_cast<std::int64_t>(position);
  std::uint8_t head[RecordPrefix::kEncodedSize];
  if (!file_.ReadAt("PolygonObject::Load", offset, head, sizeof head)) return nullptr;
  // Checks the kind and that the length lies between the kind's fixed part
  // and the largest record the read buffer holds.
  if (!prefix.DecodeFrom(head, sizeof head, context_, &err_)) return nullptr;
  if (prefix.length > read_buffer_.size()) {
    err_.SetF(100, QERR_HERE, "Object file %s: record at offset %llu is longer than its buffer",
              context_.file_name, static_cast<unsigned long long>(position));
    return nullptr;
  }
  if (!file_.ReadAt("PolygonObject::Load", offset, read_buffer_.data(), prefix.length)) {
    return nullptr;
  }
  *size = prefix.length;
  return read_buffer_.data();
}

DecodedRecord* RecordStore::Slot(std::uint32_t length) {
  if (oldest_ != nullptr && bytes_in_use_ + length > budget_) {
    DecodedRecord* victim = oldest_;
    Unlist(victim);
    held_.Erase(victim->position_);
    bytes_in_use_ -= victim->bytes_;
    victim->bytes_ = 0;
    victim->Clear();
    return victim;
  }
  records_.push_back(std::make_unique<DecodedRecord>());
  records_.back()->slot_ = records_.size() - 1;
  return records_.back().get();
}

bool RecordStore::Load(std::uint64_t position, const std::uint8_t* data, std::size_t size,
                       DecodedRecord* record) {
  record->Clear();
  const auto kind = static_cast<ObjectKind>(data[0]);
  if (kind == ObjectKind::kPoint) {
    if (!record->point_.DecodeFrom(data, size, context_, &err_)) return false;
    record->segments_loaded_ = true;
  } else if (!LoadPoly(data, size, record)) {
    return false;
  }
  record->kind_ = kind;
  record->position_ = position;
  return true;
}

bool RecordStore::LoadPoly(const std::uint8_t* data, std::size_t size, DecodedRecord* record) {
  PolyRecord& poly = record->poly_;
  const bool compressed = (data[kFlagOffset] & kRecordFlagCompressed) != 0;
  const bool in_place = in_place_ && !compressed;
  if (!poly.DecodeFrom(data, size, context_, &err_,
                       in_place ? PolyDecode::kNoCoordinates : PolyDecode::kNoSegments)) {
    return false;
  }
  const PolyArea& area = poly.area;
  const std::uint8_t* coords = data + area.coords_offset;
  if (in_place && Aligned(coords, alignof(RecordPoint))) {
    record->points_ = reinterpret_cast<const RecordPoint*>(coords);
    record->segments_ =
        reinterpret_cast<const SegmentRecord*>(coords + sizeof(RecordPoint) * area.point_count);
    record->segments_loaded_ = true;
  } else {
    if (in_place && !poly.DecodeFrom(data, size, context_, &err_, PolyDecode::kNoSegments)) {
      return false;
    }
    record->points_ = poly.points.data();
    record->segments_loaded_ = area.segment_count == 0;
  }
  record->point_count_ = area.point_count;
  record->BuildParts();
  return true;
}

bool RecordStore::LoadSegments(DecodedRecord* record) {
  if (record == nullptr) return false;
  if (record->segments_loaded_) return true;
  std::size_t size = 0;
  const std::uint8_t* data = RecordBytes(record->position_, &size);
  if (data == nullptr) return false;
  if (!record->poly_.DecodeSegmentsFrom(data, size, context_, &err_)) return false;
  record->segments_ = record->poly_.segments.data();
  record->segments_loaded_ = true;
  Account(record);
  return true;
}

const EdgeIndex* RecordStore::Edges(DecodedRecord* record) {
  if (record->edges_tried_) return record->edges_.get();
  record->edges_tried_ = true;
  if (record->kind_ != ObjectKind::kRegion || record->point_count_ < EdgeIndex::kMinPoints) {
    return nullptr;
  }
  // The densest index the free part of the budget holds; when little is
  // free, a sparse one (taller stripes) that still answers far faster than
  // the walk -- evicting others for a dense one would only make the store
  // rebuild them.
  const std::uint64_t free = budget_ > bytes_in_use_ ? budget_ - bytes_in_use_ : 0;
  const std::uint64_t sparse = kSparseIndexBytesPerPoint * std::uint64_t{record->point_count_} +
                               8 * std::uint64_t{record->part_count()} + 4096;
  const std::uint64_t room = std::max(free, sparse);
  try {
    record->edges_ =
        EdgeIndex::Build(record->parts(), record->part_count(), static_cast<std::size_t>(room));
  } catch (const std::bad_alloc&) {
    record->edges_.reset();
  }
  Account(record);
  return record->edges_.get();
}

void RecordStore::Account(DecodedRecord* record) {
  bytes_in_use_ -= record->bytes_;
  record->bytes_ = record->CountBytes();
  bytes_in_use_ += record->bytes_;
  EvictOverBudget();
}

void RecordStore::EvictOverBudget() {
  while (bytes_in_use_ > budget_ && oldest_ != nullptr) Drop(oldest_);
}

void RecordStore::Drop(DecodedRecord* record) {
  Unlist(record);
  if (record->position_ != 0 && held_.Find(record->position_) == record) {
    held_.Erase(record->position_);
  }
  bytes_in_use_ -= record->bytes_;
  const std::size_t slot = record->slot_;
  if (slot + 1 != records_.size()) {
    records_[slot].swap(records_.back());
    records_[slot]->slot_ = slot;
  }
  records_.pop_back();
}

void RecordStore::List(DecodedRecord* record) {
  if (record->listed_) return;
  record->older_ = newest_;
  record->newer_ = nullptr;
  if (newest_ != nullptr) newest_->newer_ = record;
  newest_ = record;
  if (oldest_ == nullptr) oldest_ = record;
  record->listed_ = true;
}

void RecordStore::Unlist(DecodedRecord* record) {
  if (!record->listed_) return;
  if (record->older_ != nullptr) record->older_->newer_ = record->newer_;
  if (record->newer_ != nullptr) record->newer_->older_ = record->older_;
  if (oldest_ == record) oldest_ = record->newer_;
  if (newest_ == record) newest_ = record->older_;
  record->older_ = record->newer_ = nullptr;
  record->listed_ = false;
}

}  // namespace lumetra
