#include "objfile/object_header.h"

#include <algorithm>

#include "frame/byte_order.h"
#include "frame/error.h"

namespace lumetra {

namespace {

// Byte offsets of the header fields (see docs/formats/object_file.md).
constexpr std::size_t kMagicOffset = 256;
constexpr std::size_t kExtensionFlagOffset = 320;
constexpr std::size_t kLargeRootsOffset = 328;
constexpr std::size_t kGridUnit = 2000;  // coarse bounds count 2000-unit cells

std::int32_t CoarseToUnits(std::int32_t cells) {
  return cells * static_cast<std::int32_t>(kGridUnit);
}

}  // namespace

void PutRect(ByteWriter& w, const Rect& r) {
  w.PutI32(r.minx);
  w.PutI32(r.miny);
  w.PutI32(r.maxx);
  w.PutI32(r.maxy);
}

void ReadRect(ByteReader& r, Rect* rect) {
  r.ReadI32(&rect->minx);
  r.ReadI32(&rect->miny);
  r.ReadI32(&rect->maxx);
  r.ReadI32(&rect->maxy);
}

Rect OldHeaderBounds(const CoarseBounds& b) {
  // Each sum wraps to 16 bits before it is scaled, as old writers stored it.
  const std::uint16_t a_minus = static_cast<std::uint16_t>(b[0] - 1);
  const std::uint16_t b_plus = static_cast<std::uint16_t>(b[1] + 1);
  const std::uint16_t c_minus = static_cast<std::uint16_t>(b[2] - 1);
  const std::uint16_t d_plus = static_cast<std::uint16_t>(b[3] + 1);
  Rect r;
  r.minx = CoarseToUnits(-30000 - b_plus);
  r.miny = CoarseToUnits(c_minus);
  r.maxx = CoarseToUnits(-30000 - a_minus);
  r.maxy = CoarseToUnits(d_plus);
  return r;
}

Rect OldRecordBounds(const CoarseBounds& b) {
  Rect r;
  r.minx = CoarseToUnits(-30000 - b[1]);
  r.miny = CoarseToUnits(b[2]);
  r.maxx = CoarseToUnits(-30000 - b[0]);
  r.maxy = CoarseToUnits(b[3]);
  return r;
}

Rect EmptyBounds() {
  Rect r;
  r.minx = 0x7FFFFFFF;
  r.miny = 0x7FFFFFFF;
  r.maxx = I32FromBits(0x80000000u);
  r.maxy = I32FromBits(0x80000000u);
  return r;
}

ObjectHeader ObjectHeader::ForNewFile(std::uint16_t build_flags, std::uint16_t coordinate_type) {
  ObjectHeader h;
  h.signature = kDefaultSignature;
  h.magic = (build_flags & kFlagTax) != 0 ? kMagicTax : kMagicCurrent;
  h.flags = static_cast<std::uint16_t>(build_flags | kFlagCurrentLayout);
  h.coordinate_type = coordinate_type;
  h.bounds = EmptyBounds();
  return h;
}

void ObjectHeader::EncodeTo(std::vector<std::uint8_t>* dst) const {
  const std::size_t start = dst->size();
  dst->reserve(start + kEncodedSize);
  ByteWriter w(dst);
  w.PutFixedText(signature, kSignatureSize);
  w.PutU32(magic);
  w.PutU32(name_index_root32);
  w.PutU32(spatial_index_root32);
  w.PutU32(max_record_size);
  w.PutU32(max_point_count);
  for (std::uint16_t v : old_bounds) w.PutU16(v);
  w.PutU16(coordinate_type);
  w.PutU16(flags);
  w.PutU32(max_ring_count);
  w.PutU32(point_records);
  w.PutU32(line_records);
  w.PutU32(region_records);
  PutRect(w, bounds);
  w.PutU16(extension_flag);
  w.PutU16(large_file_flag);
  w.PutZeros(kLargeRootsOffset - (kExtensionFlagOffset + 4));
  w.PutU64(name_index_root64);
  w.PutU64(spatial_index_root64);
  w.PutZeros(kEncodedSize - (w.size() - start));
}

bool ObjectHeader::DecodeFrom(const std::uint8_t* data, std::size_t size, const char* file_name,
                              QError* err) {
  const char* name = file_name != nullptr ? file_name : "";
  if (data == nullptr || size < kEncodedSize) {
    if (err != nullptr) {
      err->SetF(111, QERR_HERE, "Object file %s: header is %zu bytes, expected %zu", name,
                data == nullptr ? std::size_t{0} : size, kEncodedSize);
    }
    return false;
  }
  ByteReader r(data, kEncodedSize);
  r.ReadFixedText(kSignatureSize, &signature);
  r.ReadU32(&magic);
  r.ReadU32(&name_index_root32);
  r.ReadU32(&spatial_index_root32);
  r.ReadU32(&max_record_size);
  r.ReadU32(&max_point_count);
  for (std::uint16_t& v : old_bounds) r.ReadU16(&v);
  r.ReadU16(&coordinate_type);
  r.ReadU16(&flags);
  r.ReadU32(&max_ring_count);
  r.ReadU32(&point_records);
  r.ReadU32(&line_records);
  r.ReadU32(&region_records);
  ReadRect(r, &bounds);
  r.ReadU16(&extension_flag);
  r.ReadU16(&large_file_flag);
  r.Seek(kLargeRootsOffset);
  r.ReadU64(&name_index_root64);
  r.ReadU64(&spatial_index_root64);
  static_assert(kMagicOffset == kSignatureSize, "magic follows the signature");
  if (!IsKnownMagic(magic)) {
    if (err != nullptr) err->Set(102, name, QERR_HERE);
    return false;
  }
  return r.ok();
}

void ObjectHeader::SetIndexRoots(std::uint64_t name_root, std::uint64_t spatial_root) {
  if (name_root < kLargeRootLimit && spatial_root < kLargeRootLimit) {
    name_index_root32 = static_cast<std::uint32_t>(name_root);
    spatial_index_root32 = static_cast<std::uint32_t>(spatial_root);
    name_index_root64 = 0;
    spatial_index_root64 = 0;
    large_file_flag = 0;
  } else {
    name_index_root32 = 0;
    spatial_index_root32 = 0;
    name_index_root64 = name_root;
    spatial_index_root64 = spatial_root;
    large_file_flag = 1;
  }
}

Rect ObjectHeader::BoundingBox() const {
  return IsCurrentLayout() ? bounds : OldHeaderBounds(old_bounds);
}

void ObjectHeader::AddRecord(ObjectKind kind, std::uint32_t record_size, std::uint32_t point_count,
                             std::uint32_t ring_count, const Rect& rect) {
  max_record_size = std::max(max_record_size, record_size);
  max_point_count = std::max(max_point_count, point_count);
  max_ring_count = std::max(max_ring_count, ring_count);
  switch (kind) {
    case ObjectKind::kRegion:
      ++region_records;
      break;
    case ObjectKind::kLine:
      ++line_records;
      break;
    case ObjectKind::kPoint:
      ++point_records;
      break;
  }
  bounds.Include(rect);
}

bool ObjectHeader::operator==(const ObjectHeader& o) const {
  return signature == o.signature && magic == o.magic && name_index_root32 == o.name_index_root32 &&
         spatial_index_root32 == o.spatial_index_root32 && max_record_size == o.max_record_size &&
         max_point_count == o.max_point_count && old_bounds == o.old_bounds &&
         coordinate_type == o.coordinate_type && flags == o.flags &&
         max_ring_count == o.max_ring_count && point_records == o.point_records &&
         line_records == o.line_records && region_records == o.region_records &&
         bounds == o.bounds && extension_flag == o.extension_flag &&
         large_file_flag == o.large_file_flag && name_index_root64 == o.name_index_root64 &&
         spatial_index_root64 == o.spatial_index_root64;
}

}  // namespace lumetra
