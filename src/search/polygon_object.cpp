#include "search/polygon_object.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "frame/byte_order.h"
#include "frame/error.h"
#include "frame/text_copy.h"
#include "objfile/extension_block.h"
#include "storage/qfile.h"

using lumetra::ObjectKind;

PolygonObject::PolygonObject(lumetra::RecordStore& store, const lumetra::ObjectHeader& header)
    : store_(store), header_(header) {}

PolygonObject::~PolygonObject() { Clear(); }

bool PolygonObject::IsHolding(std::uint64_t position) const {
  return position_ != 0 && position_ == position;
}

bool PolygonObject::HoldsRecord() const { return position_ != 0; }

bool PolygonObject::Matches(const void* key) const {
  return key != nullptr && IsHolding(*static_cast<const std::uint64_t*>(key));
}

void PolygonObject::Clear() {
  if (record_ != nullptr) {
    record_->set_holder(nullptr);
    store_.Release(record_);
  }
  record_ = nullptr;
  position_ = 0;
}

bool PolygonObject::Load(std::uint64_t position) {
  Clear();
  lumetra::DecodedRecord* record = store_.Acquire(position);
  if (record == nullptr) return false;
  record_ = record;
  record_->set_holder(this);
  position_ = position;
  return true;
}

int PolygonObject::PointIn(std::int32_t x, std::int32_t y) {
  if (const lumetra::EdgeIndex* edges = store_.Edges(record_)) {
    return edges->PointIn(parts(), part_count(), x, y);
  }
  return lumetra::PointInObject(parts(), part_count(), x, y);
}

bool PolygonObject::LoadSegments() { return store_.LoadSegments(record_); }

std::uint8_t PolygonObject::id() const { return is_point() ? point().id : poly().id; }

const std::string& PolygonObject::name() const { return is_point() ? point().name : poly().name; }

const std::string& PolygonObject::second_name() const {
  return is_point() ? point().second_name : poly().second_name;
}

std::uint32_t PolygonObject::AttributeKey() const {
  return is_point() ? point().symbol_colour : poly().pen_colour;
}

lumetra::RecordPoint PolygonObject::Label() const {
  if (is_point()) return lumetra::RecordPoint{point().x, point().y};
  return lumetra::RecordPoint{poly().label_x, poly().label_y};
}

lumetra::Rect PolygonObject::Bounds() const {
  if (is_point()) return point().Bounds();
  return poly().EffectiveBounds();
}

lumetra::RecordPoint PolygonObject::Origin() const {
  const lumetra::Rect r = Bounds();
  return lumetra::RecordPoint{r.minx, r.miny};
}

bool PolygonObject::has_segments() const {
  return !is_point() && (poly().record_flags & lumetra::kRecordFlagSegments) != 0;
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
