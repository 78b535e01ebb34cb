#include "search/polygon_search.h"

#include <lumetra/pip_ext.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "frame/byte_order.h"
#include "frame/error.h"
#include "objfile/column_codec.h"
#include "storage/qtree.h"
#include "storage/qxy_spatial_index.h"
#include "storage/rt_spatial_index.h"
#include "storage/spatial_index.h"

using lumetra::ObjectHeader;

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint16_t kInfoFlagsMask = 0xFFC7;  // bits 3, 4 and 5 cleared

// The memory budget of open mode & 3 (1, 2, 3); 0 for mode 0.
std::uint64_t MemoryBudget(int mode) {
  switch (mode & 3) {
    case 1:
      return 5 * kMiB;
    case 2:
      return 20 * kMiB;
    case 3:
      return 100 * kMiB;
    default:
      return 0;
  }
}

}  // namespace

namespace lumetra {

void FillObjectFileInfo(const ObjectHeader& header, pipObjectFileInfoStruct* info) {
  std::memset(info, 0, sizeof *info);
  const std::size_t n = std::min(header.signature.size(), sizeof info->header - 1);
  std::memcpy(info->header, header.signature.data(), n);
  info->maxRecordSize = static_cast<int>(header.max_record_size);
  info->maxPoints = static_cast<int>(header.max_point_count);
  info->maxParts = static_cast<int>(header.max_ring_count);
  const Rect box = header.BoundingBox();
  info->minX = box.minx;
  info->minY = box.miny;
  info->maxX = box.maxx;
  info->maxY = box.maxy;
  info->coordType = header.coordinate_type;
  info->flags = header.flags & kInfoFlagsMask;
  info->numPointObjects = static_cast<int>(header.point_records);
  info->numLineObjects = static_cast<int>(header.line_records);
  info->numRegionObjects = static_cast<int>(header.region_records);
}

}  // namespace lumetra

PolygonSearch::PolygonSearch(QError& err, const char* file_name, int mode)
    : err_(err), file_(err), poly_list_(kCacheLabel) {
  ready_ = Open(file_name, mode);
}

PolygonSearch::~PolygonSearch() = default;

bool PolygonSearch::Open(const char* file_name, int mode) {
  const int access = (mode & PIP_OPEN_MAPPED) != 0 ? Qfile::kModeMapped : Qfile::kModeRead;
  if (!file_.Open(file_name, access)) return false;
  if (!ReadHeader(file_.name())) return false;
  limits_ = BoundedLimits(header_, file_.Size());
  if (!OpenSpatialIndex()) return false;
  if (!OpenNameIndex()) return false;
  return CreateBuffers(mode);
}

bool PolygonSearch::ReadHeader(const char* file_name) {
  std::uint8_t bytes[ObjectHeader::kEncodedSize];
  if (!file_.ReadAt("PolygonSearch::PolygonSearch", 0, bytes, sizeof bytes)) return false;
  // Checks the magic number: code 102 with the file name.
  if (!header_.DecodeFrom(bytes, sizeof bytes, file_name, &err_)) return false;
  if (!header_.HasExtension()) return true;
  std::uint8_t block[lumetra::ExtensionBlock::kEncodedSize];
  if (!file_.ReadAt("PolygonSearch::PolygonSearch", lumetra::ExtensionBlock::kFileOffset, block,
                    sizeof block)) {
    return false;
  }
  if (!extension_.DecodeFrom(block, sizeof block, file_name, &err_)) return false;
  has_extension_ = true;
  return true;
}

bool PolygonSearch::OpenSpatialIndex() {
  if (header_.UsesRtree()) {
    spatial_index_ = std::make_unique<rtSpatialIndex>(err_, file_, header_.SpatialIndexRoot());
  } else {
    spatial_index_ = std::make_unique<QxySpatialIndex>(
        err_, file_, static_cast<std::int64_t>(header_.spatial_index_root32));
  }
  return spatial_index_->IsReady();
}

std::unique_ptr<SpatialIndexEnum> PolygonSearch::TakeEnumerator() {
  if (spare_enumerator_ != nullptr) return std::move(spare_enumerator_);
  if (spatial_index_ == nullptr || !spatial_index_->IsReady()) return nullptr;
  return spatial_index_->CreateEnum();
}

void PolygonSearch::ReturnEnumerator(std::unique_ptr<SpatialIndexEnum> enumerator) {
  spare_enumerator_ = std::move(enumerator);
}

bool PolygonSearch::OpenNameIndex() {
  // The name index's comparison: case-blind, ending at the first NUL, over
  // the tree's key length -- or over fewer characters while a lookup asks
  // for them (prefix and short names).  It never reads past the tree's key
  // length, however long a hostile tree claims its keys to be.
  lumetra::QKeyCompare compare = [this](const void* a, const void* b) {
    return lumetra::CompareNameKeys(a, b, name_compare_length_);
  };
  name_index_ = std::make_unique<QTree>(kNameIndexLabel, file_, header_.NameIndexRoot(),
                                        std::move(compare), err_);
  if (!name_index_->ready()) return false;
  name_compare_length_ = name_index_->key_length();
  return true;
}

bool PolygonSearch::FindNameEntry(const char* key, std::size_t key_size, std::size_t compare_length,
                                  std::uint64_t* position) {
  if (name_index_ == nullptr || !name_index_->ready() || key == nullptr) return false;
  name_compare_length_ = std::min({compare_length, kNameCompareLength, name_index_->key_length()});
  if (name_value_.size() != name_index_->value_length()) {
    name_value_.assign(name_index_->value_length(), 0);
  }
  if (!name_index_->Find(key, key_size, nullptr, name_value_.data(), QTree::kModeExact)) {
    return false;
  }
  return DecodeNameValue(position);
}

bool PolygonSearch::NextNameEntry(std::uint64_t* position) {
  if (name_index_ == nullptr || name_value_.size() != name_index_->value_length()) return false;
  if (!name_index_->Next(nullptr, name_value_.data())) return false;
  return DecodeNameValue(position);
}

bool PolygonSearch::DecodeNameValue(std::uint64_t* position) {
  if (name_value_.size() < sizeof *position) {
    err_.SetF(111, QERR_HERE, "Name index of %s: values of %u bytes cannot hold a position",
              file_.name(), static_cast<unsigned>(name_value_.size()));
    return false;
  }
  *position = lumetra::GetU64(name_value_.data());
  return true;
}

bool PolygonSearch::CreateBuffers(int mode) {
  const std::size_t wanted = CappedBufferCount(header_, limits_, mode);
  store_ = std::make_unique<lumetra::RecordStore>(err_, file_, header_, limits_,
                                                  StoreBudget(header_, wanted, mode));
  if (!store_->ready()) {
    err_.SetF(104, QERR_HERE, "Unable to allocate the polygon buffers of %s (%u bytes each)",
              file_.name(), limits_.max_record_size);
    return false;
  }
  buffers_.reserve(wanted);
  for (std::size_t i = 0; i < wanted; ++i) {
    buffers_.push_back(std::make_unique<PolygonObject>(*store_, header_));
    poly_list_.PushBack(buffers_.back().get());
  }
  all_held_ = buffers_.size() >= header_.RecordCount();
  return true;
}

PolygonObject* PolygonSearch::FindObject(std::uint64_t position) {
  if (buffers_.empty()) return nullptr;
  const lumetra::DecodedRecord* held = store_->Find(position);
  PolygonObject* object = held != nullptr ? held->holder() : nullptr;
  if (object == nullptr) {
    if (all_held_ && next_empty_ >= buffers_.size()) all_held_ = false;  // more records than said
    object =
        all_held_ ? buffers_[next_empty_].get() : static_cast<PolygonObject*>(poly_list_.Last());
    ++load_count_;
    if (!object->Load(position)) return nullptr;
    if (all_held_) ++next_empty_;
  }
  if (!all_held_) poly_list_.MoveToFront(object);
  return object;
}

bool PolygonSearch::SetSearchDistance(std::int32_t feet) {
  if (feet < kMinSearchDistance) {
    search_distance_ = kMinSearchDistance;
    return false;
  }
  if (feet > kMaxSearchDistance) {
    search_distance_ = kMaxSearchDistance;
    return false;
  }
  search_distance_ = feet;
  return true;
}

std::uint64_t PolygonSearch::StoreBudget(const ObjectHeader& header, std::size_t buffers,
                                         int mode) {
  const std::uint64_t per_buffer = CacheRecordBudget(header);
  return std::max<std::uint64_t>(per_buffer * buffers, MemoryBudget(mode));
}

std::vector<std::uint64_t> PolygonSearch::CachedPositionsForTest() const {
  std::vector<std::uint64_t> positions;
  for (const QDlistObject* e = poly_list_.First(); e != nullptr; e = e->next()) {
    positions.push_back(static_cast<const PolygonObject*>(e)->position());
  }
  return positions;
}

std::uint64_t PolygonSearch::CacheRecordBudget(const ObjectHeader& header) {
  if (header.region_records == 0 && header.max_ring_count == 0) return 0;
  std::uint64_t budget = header.max_record_size;
  if (header.IsCompressed()) {
    budget += 8 * std::uint64_t{header.max_point_count};
    if (header.HasSegments()) budget += 28 * std::uint64_t{header.max_point_count};
  }
  return budget;
}

std::size_t PolygonSearch::CacheBufferCount(const ObjectHeader& header, int mode) {
  const std::uint64_t memory = MemoryBudget(mode);
  if (memory == 0) return 1;
  const std::uint64_t budget = CacheRecordBudget(header);
  if (budget == 0) return 2;
  return static_cast<std::size_t>(std::max<std::uint64_t>(memory / budget, 2));
}

std::uint64_t PolygonSearch::BufferFootprint(const ObjectHeader& header,
                                             const lumetra::RecordLimits& limits) {
  const std::uint64_t points = limits.max_point_count;
  const std::uint64_t rings = limits.max_ring_count;
  std::uint64_t bytes = limits.max_record_size + 8 * points + 20 * rings + kBufferBookkeeping;
  if (header.HasSegments()) bytes += 28 * points;
  return bytes;
}

std::size_t PolygonSearch::CappedBufferCount(const ObjectHeader& header,
                                             const lumetra::RecordLimits& limits, int mode) {
  const std::size_t n = CacheBufferCount(header, mode);
  const std::uint64_t memory = MemoryBudget(mode);
  if (memory == 0) return n;
  const std::uint64_t by_records = std::max<std::uint64_t>(header.RecordCount(), 2);
  const std::uint64_t by_bookkeeping = memory / kBufferBookkeeping;
  const std::uint64_t by_footprint =
      std::max<std::uint64_t>(2 * memory / BufferFootprint(header, limits), 2);
  return static_cast<std::size_t>(
      std::min<std::uint64_t>({n, by_records, by_bookkeeping, by_footprint}));
}

lumetra::RecordLimits PolygonSearch::BoundedLimits(const ObjectHeader& header,
                                                   std::int64_t file_size) {
  const std::uint64_t size = file_size > 0 ? static_cast<std::uint64_t>(file_size) : 0;
  lumetra::RecordLimits limits;
  limits.max_record_size =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(header.max_record_size, size));
  const std::uint32_t record = limits.max_record_size;
  limits.max_ring_count = std::min(header.max_ring_count, record / 4);
  std::uint32_t point_room = record / 8;
  if (header.IsCompressed()) point_room = std::max(point_room, lumetra::kColumnMaxValues);
  limits.max_point_count = std::min(header.max_point_count, point_room);
  return limits;
}
