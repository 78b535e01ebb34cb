#include "search/polygon_object.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "frame/byte_order.h"
#include "frame/error.h"
#include "frame/text_copy.h"
#include "objfile/extension_block.h"
#include "storage/qfile.h"

using lumetra::ObjectHeader;
using lumetra::ObjectKind;

namespace {

// Room kept for each name so that ordinary names never reallocate.
constexpr std::size_t kNameCapacity = lumetra::NamesBlock::kMaxNameLength + 1;

// The first file position a record may have: behind the header and, when
// present, its extension block.
std::uint64_t FirstRecordPosition(const ObjectHeader& header) {
  return ObjectHeader::kEncodedSize +
         (header.HasExtension() ? lumetra::ExtensionBlock::kEncodedSize : 0);
}

}  // namespace

PolygonObject::PolygonObject(const ObjectHeader& header, const lumetra::RecordLimits& limits,
                             QError& err, const char* file_name)
    : header_(header), err_(err) {
  context_.layout =
      header.IsCurrentLayout() ? lumetra::RecordLayout::kCurrent : lumetra::RecordLayout::kOld;
  context_.limits = limits;
  context_.file_name = file_name != nullptr ? file_name : "";
  try {
    record_.resize(limits.max_record_size);
    poly_.points.reserve(limits.max_point_count);
    poly_.ring_counts.reserve(limits.max_ring_count);
    if (header.HasSegments()) poly_.segments.reserve(limits.max_point_count);
    parts_.reserve(limits.max_ring_count);
    poly_.name.reserve(kNameCapacity);
    poly_.second_name.reserve(kNameCapacity);
    point_.name.reserve(kNameCapacity);
    point_.second_name.reserve(kNameCapacity);
    ready_ = true;
  } catch (const std::bad_alloc&) {
    ready_ = false;
  }
}

PolygonObject::~PolygonObject() = default;

bool PolygonObject::IsHolding(std::uint64_t position) const {
  return position_ != 0 && position_ == position;
}

bool PolygonObject::HoldsRecord() const { return position_ != 0; }

bool PolygonObject::Matches(const void* key) const {
  return key != nullptr && IsHolding(*static_cast<const std::uint64_t*>(key));
}

void PolygonObject::Clear() {
  position_ = 0;
  parts_.clear();
}

bool PolygonObject::Load(Qfile& file, std::uint64_t position) {
  Clear();
  if (!ready_) return false;
  context_.offset = position;
  if (position < FirstRecordPosition(header_) || position > 0x7FFFFFFFFFFFFFFFull) {
    err_.SetF(100, QERR_HERE, "Object file %s: no record can start at offset %llu",
              context_.file_name, static_cast<unsigned long long>(position));
    return false;
  }
  std::uint8_t prefix_bytes[lumetra::RecordPrefix::kEncodedSize];
  const auto offset = static_cast<std::int64_t>(position);
  if (!file.ReadAt("PolygonObject::Load", offset, prefix_bytes, sizeof prefix_bytes)) {
    return false;
  }
  lumetra::RecordPrefix prefix;
  // Checks the kind and that the length lies between the kind's fixed part
  // and the largest record the buffer holds.
  if (!prefix.DecodeFrom(prefix_bytes, sizeof prefix_bytes, context_, &err_)) return false;
  if (prefix.length > record_.size()) {
    err_.SetF(100, QERR_HERE, "Object file %s: record at offset %llu is longer than its buffer",
              context_.file_name, static_cast<unsigned long long>(position));
    return false;
  }
  if (!file.ReadAt("PolygonObject::Load", offset, record_.data(), prefix.length)) return false;
  if (!Decode(prefix.length)) return false;
  kind_ = prefix.kind;
  position_ = position;
  return true;
}

bool PolygonObject::Decode(std::uint32_t length) {
  const ObjectKind kind = static_cast<ObjectKind>(record_[0]);
  if (kind == ObjectKind::kPoint) {
    return point_.DecodeFrom(record_.data(), length, context_, &err_);
  }
  if (!poly_.DecodeFrom(record_.data(), length, context_, &err_)) {
    poly_.points.clear();
    poly_.ring_counts.clear();
    poly_.segments.clear();
    return false;
  }
  BuildParts();
  return true;
}

void PolygonObject::BuildParts() {
  parts_.clear();
  std::size_t start = 0;
  for (std::uint32_t count : poly_.ring_counts) {
    lumetra::PolygonPart part;
    part.count = count;
    part.points = poly_.points.data() + start;
    parts_.push_back(part);
    start += count;
  }
}

std::uint8_t PolygonObject::id() const { return is_point() ? point_.id : poly_.id; }

const std::string& PolygonObject::name() const { return is_point() ? point_.name : poly_.name; }

const std::string& PolygonObject::second_name() const {
  return is_point() ? point_.second_name : poly_.second_name;
}

std::uint32_t PolygonObject::AttributeKey() const {
  return is_point() ? point_.symbol_colour : poly_.pen_colour;
}

lumetra::RecordPoint PolygonObject::Label() const {
  if (is_point()) return lumetra::RecordPoint{point_.x, point_.y};
  return lumetra::RecordPoint{poly_.label_x, poly_.label_y};
}

lumetra::Rect PolygonObject::Bounds() const {
  if (is_point()) return point_.Bounds();
  return poly_.EffectiveBounds();
}

lumetra::RecordPoint PolygonObject::Origin() const {
  const lumetra::Rect r = Bounds();
  return lumetra::RecordPoint{r.minx, r.miny};
}

std::size_t PolygonObject::point_count() const { return is_point() ? 0 : poly_.points.size(); }

bool PolygonObject::has_segments() const {
  return !is_point() && (poly_.record_flags & lumetra::kRecordFlagSegments) != 0;
}

namespace lumetra {

void FillObjectInfo(const PolygonObject& object, pipObjectInfoStruct* info) {
  std::memset(info, 0, sizeof *info);
  CopyCut(object.name(), info->name, sizeof info->name);
  CopyCut(object.second_name(), info->name2, sizeof info->name2);
  info->type = object.type();
  info->id = object.id();
  const RecordPoint label = object.Label();
  info->x = label.x;
  info->y = label.y;
  const Rect box = object.Bounds();
  info->minX = box.minx;
  info->minY = box.miny;
  info->maxX = box.maxx;
  info->maxY = box.maxy;
  if (object.is_point()) {
    const PointRecord& p = object.point();
    info->penPattern = p.symbol_shape;
    info->penWidth = p.symbol_size;
    info->penColor = static_cast<int>(p.symbol_colour);
    return;
  }
  const PolyRecord& r = object.poly();
  info->penPattern = r.pen_pattern;
  info->penWidth = r.pen_width;
  info->penColor = static_cast<int>(r.pen_colour);
  if (object.kind() == ObjectKind::kRegion) {
    info->brushPattern = static_cast<int>(r.brush_pattern);
    info->brushForeground = static_cast<int>(r.brush_foreground);
    info->brushBackground = static_cast<int>(r.brush_background);
  }
}

}  // namespace lumetra
