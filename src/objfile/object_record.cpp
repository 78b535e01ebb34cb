#include "objfile/object_record.h"

#include <algorithm>

#include "frame/byte_order.h"
#include "frame/error.h"

namespace lumetra {

namespace {

constexpr std::size_t kMinNamesBlock = 4;  // two empty names and their padding
constexpr std::size_t kPointSize = 8;      // x, y
constexpr std::size_t kRectOffset = 64;    // current layout only

bool Refuse(const RecordContext& ctx, QError* err, const char* what, std::uint64_t value) {
  if (err != nullptr) {
    err->SetF(100, QERR_HERE, "Object file %s: record at offset %llu: %s (%llu)",
              ctx.file_name != nullptr ? ctx.file_name : "",
              static_cast<unsigned long long>(ctx.offset), what,
              static_cast<unsigned long long>(value));
  }
  return false;
}

bool RefuseColumn(const RecordContext& ctx, QError* err, std::size_t column, const char* why) {
  if (err != nullptr) {
    err->SetF(100, QERR_HERE, "Object file %s: record at offset %llu: coordinate column %zu: %s",
              ctx.file_name != nullptr ? ctx.file_name : "",
              static_cast<unsigned long long>(ctx.offset), column, why);
  }
  return false;
}

// A name as stored: cut at its first NUL and at 127 characters.
std::size_t StoredLength(const std::string& name) {
  std::size_t n = 0;
  while (n < name.size() && n < NamesBlock::kMaxNameLength && name[n] != '\0') ++n;
  return n;
}

// Finds the NUL that ends a name starting at data[start]; false when none
// lies before data[size].
bool FindTerminator(const std::uint8_t* data, std::size_t start, std::size_t size,
                    std::size_t* end) {
  for (std::size_t i = start; i < size; ++i) {
    if (data[i] == 0) {
      *end = i;
      return true;
    }
  }
  return false;
}

std::size_t SizeTableEntries(std::uint8_t flags) {
  return (flags & kRecordFlagSegments) != 0 ? PolyRecord::kSizeTableEntriesWithSegments
                                            : PolyRecord::kSizeTableEntries;
}

// Value `i` of column `column` of a record: x, y, then the segment fields.
std::int32_t ColumnValue(const PolyRecord& r, std::size_t column, std::size_t i) {
  if (column == 0) return r.points[i].x;
  if (column == 1) return r.points[i].y;
  return r.segments[i].Field(static_cast<int>(column - 2));
}

void SetColumnValue(PolyRecord* r, std::size_t column, std::size_t i, std::int32_t v) {
  if (column == 0) {
    r->points[i].x = v;
  } else if (column == 1) {
    r->points[i].y = v;
  } else {
    r->segments[i].SetField(static_cast<int>(column - 2), v);
  }
}

// Compresses every column of the record into *area (size table, then the
// streams).  Returns the first column's failure, leaving *area unspecified.
ColumnStatus CompressColumns(const PolyRecord& r, std::size_t max_bytes,
                             std::vector<std::uint8_t>* area) {
  const std::size_t columns = SizeTableEntries(r.record_flags);
  area->assign(4 * columns, 0);
  ColumnWriter writer(max_bytes);
  for (std::size_t c = 0; c < columns; ++c) {
    writer.Reset();
    const std::size_t count = c < 2 ? r.points.size() : r.segments.size();
    for (std::size_t i = 0; i < count; ++i) writer.Add(ColumnValue(r, c, i));
    const std::size_t before = area->size();
    const ColumnStatus status = writer.Finish(area);
    if (status != ColumnStatus::kOk) return status;
    PutU32(area->data() + 4 * c, static_cast<std::uint32_t>(area->size() - before));
  }
  return ColumnStatus::kOk;
}

}  // namespace

// ---------------------------------------------------------------- context

RecordLimits RecordLimits::FromHeader(const ObjectHeader& header) {
  RecordLimits l;
  l.max_record_size = header.max_record_size;
  l.max_point_count = header.max_point_count;
  l.max_ring_count = header.max_ring_count;
  return l;
}

RecordContext RecordContext::ForFile(const ObjectHeader& header, const char* file_name) {
  RecordContext ctx;
  ctx.layout = header.IsCurrentLayout() ? RecordLayout::kCurrent : RecordLayout::kOld;
  ctx.limits = RecordLimits::FromHeader(header);
  ctx.file_name = file_name != nullptr ? file_name : "";
  return ctx;
}

// ---------------------------------------------------------------- prefix

void RecordPrefix::EncodeTo(std::uint8_t* dst) const {
  PutU8(dst, static_cast<std::uint8_t>(kind));
  PutU8(dst + 1, id);
  PutU16(dst + 2, 0);
  PutU32(dst + 4, length);
}

bool RecordPrefix::DecodeFrom(const std::uint8_t* data, std::size_t size, const RecordContext& ctx,
                              QError* err) {
  if (data == nullptr || size < kEncodedSize) {
    return Refuse(ctx, err, "record prefix is cut short, bytes", data == nullptr ? 0 : size);
  }
  const std::uint8_t raw_kind = GetU8(data);
  if (raw_kind > static_cast<std::uint8_t>(ObjectKind::kPoint)) {
    return Refuse(ctx, err, "unknown record kind", raw_kind);
  }
  kind = static_cast<ObjectKind>(raw_kind);
  id = GetU8(data + 1);
  length = GetU32(data + 4);
  const std::size_t fixed = kind == ObjectKind::kPoint ? PointRecord::kFixedSize
                                                       : PolyRecord::FixedSize(kind, ctx.layout);
  if (length < fixed + kMinNamesBlock) {
    return Refuse(ctx, err, "record length below its fixed part", length);
  }
  if (length > ctx.limits.max_record_size) {
    return Refuse(ctx, err, "record length above the file's largest record", length);
  }
  return true;
}

// ---------------------------------------------------------------- names

std::size_t NamesBlock::EncodedSize(const std::string& name, const std::string& second_name) {
  const std::size_t used = StoredLength(name) + 1 + StoredLength(second_name) + 1;
  return (used / 4 + 1) * 4;  // 1 to 4 zero bytes, never 0
}

void NamesBlock::EncodeTo(const std::string& name, const std::string& second_name,
                          std::vector<std::uint8_t>* dst) {
  const std::size_t start = dst->size();
  ByteWriter w(dst);
  w.PutBytes(reinterpret_cast<const std::uint8_t*>(name.data()), StoredLength(name));
  w.PutU8(0);
  w.PutBytes(reinterpret_cast<const std::uint8_t*>(second_name.data()), StoredLength(second_name));
  w.PutU8(0);
  w.PutZeros(EncodedSize(name, second_name) - (dst->size() - start));
}

NamesBlock::Key NamesBlock::KeyOf(const std::string& name, const std::string& second_name) {
  std::vector<std::uint8_t> block;
  EncodeTo(name, second_name, &block);
  Key key{};
  for (std::size_t i = 0; i < kKeySize && i < block.size(); ++i) key[i] = block[i];
  return key;
}

bool NamesBlock::DecodeFrom(const std::uint8_t* data, std::size_t size, std::string* name,
                            std::string* second_name) {
  std::size_t first_end = 0;
  std::size_t second_end = 0;
  if (!FindTerminator(data, 0, size, &first_end)) return false;
  if (!FindTerminator(data, first_end + 1, size, &second_end)) return false;
  name->assign(reinterpret_cast<const char*>(data), first_end);
  second_name->assign(reinterpret_cast<const char*>(data + first_end + 1),
                      second_end - first_end - 1);
  return true;
}

// ---------------------------------------------------------------- segments

std::int32_t SegmentRecord::Field(int i) const {
  switch (i) {
    case 0:
      return start_x;
    case 1:
      return min_y;
    case 2:
      return max_x;
    case 3:
      return max_y;
    case 4:
      return length;
    case 5:
      return direction_x;
    default:
      return direction_y;
  }
}

void SegmentRecord::SetField(int i, std::int32_t value) {
  switch (i) {
    case 0:
      start_x = value;
      break;
    case 1:
      min_y = value;
      break;
    case 2:
      max_x = value;
      break;
    case 3:
      max_y = value;
      break;
    case 4:
      length = value;
      break;
    case 5:
      direction_x = value;
      break;
    default:
      direction_y = value;
      break;
  }
}

bool SegmentRecord::operator==(const SegmentRecord& o) const {
  for (int i = 0; i < kFieldCount; ++i) {
    if (Field(i) != o.Field(i)) return false;
  }
  return true;
}

// ---------------------------------------------------------------- points

std::uint32_t PointRecord::EncodedSize() const {
  return static_cast<std::uint32_t>(kFixedSize + NamesBlock::EncodedSize(name, second_name));
}

void PointRecord::EncodeTo(std::vector<std::uint8_t>* dst) const {
  RecordPrefix prefix;
  prefix.kind = ObjectKind::kPoint;
  prefix.id = id;
  prefix.length = EncodedSize();
  std::uint8_t raw[RecordPrefix::kEncodedSize];
  prefix.EncodeTo(raw);
  ByteWriter w(dst);
  w.PutBytes(raw, sizeof raw);
  w.PutI32(x);
  w.PutI32(y);
  w.PutU32(symbol_colour);
  w.PutU8(symbol_size);
  w.PutU8(symbol_shape);
  w.PutU16(0);
  NamesBlock::EncodeTo(name, second_name, dst);
}

bool PointRecord::DecodeFrom(const std::uint8_t* data, std::size_t size, const RecordContext& ctx,
                             QError* err) {
  RecordPrefix prefix;
  if (!prefix.DecodeFrom(data, size, ctx, err)) return false;
  if (prefix.kind != ObjectKind::kPoint) {
    return Refuse(ctx, err, "not a point record, kind", static_cast<std::uint8_t>(prefix.kind));
  }
  if (prefix.length > size)
    return Refuse(ctx, err, "record longer than the bytes read", prefix.length);
  ByteReader r(data, prefix.length);
  r.Skip(RecordPrefix::kEncodedSize);
  id = prefix.id;
  r.ReadI32(&x);
  r.ReadI32(&y);
  r.ReadU32(&symbol_colour);
  r.ReadU8(&symbol_size);
  r.ReadU8(&symbol_shape);
  if (!r.ok() ||
      !NamesBlock::DecodeFrom(data + kFixedSize, prefix.length - kFixedSize, &name, &second_name)) {
    return Refuse(ctx, err, "names block without its terminators, length", prefix.length);
  }
  return true;
}

bool PointRecord::operator==(const PointRecord& o) const {
  return id == o.id && x == o.x && y == o.y && symbol_colour == o.symbol_colour &&
         symbol_size == o.symbol_size && symbol_shape == o.symbol_shape && name == o.name &&
         second_name == o.second_name;
}

// ---------------------------------------------------------------- regions and lines

std::size_t PolyRecord::FixedSize(ObjectKind kind, RecordLayout layout) {
  if (layout == RecordLayout::kCurrent) return kCurrentFixedSize;
  return kind == ObjectKind::kLine ? kOldLineFixedSize : kOldRegionFixedSize;
}

Rect PolyRecord::EffectiveBounds() const {
  if (layout == RecordLayout::kCurrent && (record_flags & kRecordFlagCurrent) != 0) return bounds;
  return OldRecordBounds(old_bounds);
}

PolyEncodeResult PolyRecord::EncodeTo(std::vector<std::uint8_t>* dst,
                                      std::size_t column_max_bytes) const {
  PolyEncodeResult result;
  if (kind == ObjectKind::kPoint) return result;
  std::uint64_t ring_total = 0;
  for (std::uint32_t c : ring_counts) ring_total += c;
  if (ring_total != points.size()) return result;
  const bool with_segments = (record_flags & kRecordFlagSegments) != 0;
  const std::size_t segment_count = with_segments ? segments.size() : 0;

  std::uint8_t flags = record_flags;
  std::vector<std::uint8_t> area;
  if ((flags & kRecordFlagCompressed) != 0) {
    result.column_status = CompressColumns(*this, column_max_bytes, &area);
    if (result.column_status != ColumnStatus::kOk) {
      flags = static_cast<std::uint8_t>(flags & ~kRecordFlagCompressed);
    }
  }
  const bool compressed = (flags & kRecordFlagCompressed) != 0;
  const std::size_t fixed = FixedSize(kind, layout);
  const std::uint64_t ring_offset = fixed + NamesBlock::EncodedSize(name, second_name);
  const std::uint64_t coords_offset = ring_offset + 4 * std::uint64_t{ring_counts.size()};
  const std::uint64_t area_size =
      compressed ? area.size()
                 : kPointSize * points.size() + SegmentRecord::kEncodedSize * segment_count;
  const std::uint64_t length = coords_offset + area_size;
  if (length > 0xFFFFFFFFu) return result;

  RecordPrefix prefix;
  prefix.kind = kind;
  prefix.id = id;
  prefix.length = static_cast<std::uint32_t>(length);
  std::uint8_t raw[RecordPrefix::kEncodedSize];
  prefix.EncodeTo(raw);
  const std::size_t start = dst->size();
  dst->reserve(start + static_cast<std::size_t>(length));
  ByteWriter w(dst);
  w.PutBytes(raw, sizeof raw);
  w.PutU32(static_cast<std::uint32_t>(ring_counts.size()));
  w.PutU32(static_cast<std::uint32_t>(points.size()));
  w.PutU32(static_cast<std::uint32_t>(segment_count));
  w.PutU32(static_cast<std::uint32_t>(ring_offset));
  w.PutU32(static_cast<std::uint32_t>(coords_offset));
  for (std::uint16_t v : old_bounds) w.PutU16(v);
  w.PutU8(pen_width);
  w.PutU8(pen_pattern);
  w.PutU8(flags);
  w.PutU8(0);
  w.PutI32(label_x);
  w.PutI32(label_y);
  w.PutU32(pen_colour);
  if (fixed > kOldLineFixedSize) {
    w.PutU32(brush_foreground);
    w.PutU32(brush_background);
    w.PutU32(brush_pattern);
  }
  if (fixed > kRectOffset) PutRect(w, bounds);
  NamesBlock::EncodeTo(name, second_name, dst);
  for (std::uint32_t c : ring_counts) w.PutU32(c);
  if (compressed) {
    w.PutBytes(area.data(), area.size());
  } else {
    for (const RecordPoint& p : points) {
      w.PutI32(p.x);
      w.PutI32(p.y);
    }
    for (std::size_t i = 0; i < segment_count; ++i) {
      for (int f = 0; f < SegmentRecord::kFieldCount; ++f) w.PutI32(segments[i].Field(f));
    }
  }
  result.ok = dst->size() - start == length;
  result.length = prefix.length;
  result.record_flags = flags;
  return result;
}

namespace {

// The fixed-part fields a PolyRecord decode reads before its arrays.
struct PolyCounts {
  std::uint32_t rings = 0;
  std::uint32_t points = 0;
  std::uint32_t segments = 0;
  std::uint32_t ring_offset = 0;
  std::uint32_t coords_offset = 0;
};

// Reads columns [first, last) of the compressed coordinate area of `size`
// bytes at `area` into the record's points (columns 0 and 1) and segments
// (2 to 8).  The size table is checked in full whatever columns are read.
bool DecodeColumns(const std::uint8_t* area, std::size_t size, const RecordContext& ctx,
                   QError* err, std::size_t first, std::size_t last, PolyRecord* r) {
  const std::size_t columns = SizeTableEntries(r->record_flags);
  if (size < 4 * columns) return Refuse(ctx, err, "column size table cut short, bytes", size);
  std::size_t pos = 4 * columns;
  ColumnReader reader;
  for (std::size_t c = 0; c < columns && c < last; ++c) {
    const std::uint32_t column_size = GetU32(area + 4 * c);
    if (column_size > size - pos) {
      return Refuse(ctx, err, "column size beyond the record", column_size);
    }
    if (c >= first) {
      const std::size_t count = c < 2 ? r->points.size() : r->segments.size();
      if (!reader.Open(area + pos, column_size, static_cast<std::uint32_t>(count))) {
        return RefuseColumn(ctx, err, c, reader.error());
      }
      for (std::size_t i = 0; i < count; ++i) {
        std::int32_t v = 0;
        if (!reader.Get(static_cast<std::uint32_t>(i), &v)) {
          return RefuseColumn(ctx, err, c, reader.error());
        }
        SetColumnValue(r, c, i, v);
      }
    }
    pos += column_size;
  }
  return true;
}

// Reads the plain points (x, y pairs) at `area`.  REQUIRES: the area holds
// them (checked by the caller).
void DecodePlainPoints(const std::uint8_t* area, PolyRecord* r) {
  const std::uint8_t* p = area;
  for (RecordPoint& point : r->points) {
    point.x = GetI32(p);
    point.y = GetI32(p + 4);
    p += kPointSize;
  }
}

// Reads the plain segment records at `area`.  REQUIRES: as above.
void DecodePlainSegments(const std::uint8_t* area, PolyRecord* r) {
  const std::uint8_t* p = area;
  for (SegmentRecord& s : r->segments) {
    for (int f = 0; f < SegmentRecord::kFieldCount; ++f) s.SetField(f, GetI32(p + 4 * f));
    p += SegmentRecord::kEncodedSize;
  }
}

}  // namespace

bool PolyRecord::DecodeFrom(const std::uint8_t* data, std::size_t size, const RecordContext& ctx,
                            QError* err, PolyDecode what) {
  RecordPrefix prefix;
  if (!prefix.DecodeFrom(data, size, ctx, err)) return false;
  if (prefix.kind == ObjectKind::kPoint) {
    return Refuse(ctx, err, "not a region or line record, kind", 2);
  }
  if (prefix.length > size)
    return Refuse(ctx, err, "record longer than the bytes read", prefix.length);
  kind = prefix.kind;
  id = prefix.id;
  layout = ctx.layout;
  const std::size_t fixed = FixedSize(kind, layout);
  const std::size_t length = prefix.length;

  ByteReader r(data, length);
  r.Skip(RecordPrefix::kEncodedSize);
  PolyCounts n;
  r.ReadU32(&n.rings);
  r.ReadU32(&n.points);
  r.ReadU32(&n.segments);
  r.ReadU32(&n.ring_offset);
  r.ReadU32(&n.coords_offset);
  for (std::uint16_t& v : old_bounds) r.ReadU16(&v);
  r.ReadU8(&pen_width);
  r.ReadU8(&pen_pattern);
  r.ReadU8(&record_flags);
  r.Skip(1);
  r.ReadI32(&label_x);
  r.ReadI32(&label_y);
  r.ReadU32(&pen_colour);
  brush_foreground = brush_background = brush_pattern = 0;
  if (fixed > kOldLineFixedSize) {
    r.ReadU32(&brush_foreground);
    r.ReadU32(&brush_background);
    r.ReadU32(&brush_pattern);
  }
  bounds = Rect{};
  if (fixed > kRectOffset) ReadRect(r, &bounds);
  if (!r.ok()) return Refuse(ctx, err, "fixed part cut short, length", length);

  const bool with_segments = (record_flags & kRecordFlagSegments) != 0;
  if (n.rings > ctx.limits.max_ring_count) {
    return Refuse(ctx, err, "ring count above the file's maximum", n.rings);
  }
  if (n.points > ctx.limits.max_point_count) {
    return Refuse(ctx, err, "point count above the file's maximum", n.points);
  }
  if (with_segments && n.segments > ctx.limits.max_point_count) {
    return Refuse(ctx, err, "segment count above the file's maximum", n.segments);
  }
  if (std::uint64_t{n.ring_offset} + 4 * std::uint64_t{n.rings} > length) {
    return Refuse(ctx, err, "ring counts beyond the record, offset", n.ring_offset);
  }
  if (n.coords_offset > length) {
    return Refuse(ctx, err, "coordinate area beyond the record, offset", n.coords_offset);
  }
  if (!NamesBlock::DecodeFrom(data + fixed, length - fixed, &name, &second_name)) {
    return Refuse(ctx, err, "names block without its terminators, length", length);
  }

  ring_counts.resize(n.rings);
  std::uint64_t ring_total = 0;
  for (std::uint32_t i = 0; i < n.rings; ++i) {
    ring_counts[i] = GetU32(data + n.ring_offset + 4 * std::size_t{i});
    ring_total += ring_counts[i];
  }
  if (ring_total != n.points) {
    return Refuse(ctx, err, "ring counts do not add up to the point count, sum", ring_total);
  }

  const std::uint8_t* coords = data + n.coords_offset;
  const std::size_t area_size = length - n.coords_offset;
  const std::uint32_t segment_count = with_segments ? n.segments : 0;
  const bool compressed = (record_flags & kRecordFlagCompressed) != 0;
  // The counts are checked against what the area can hold before they size
  // the arrays, so a corrupt count cannot make the decoder allocate more
  // than the record could describe.
  if (compressed) {
    if (n.points > kColumnMaxValues || segment_count > kColumnMaxValues) {
      return Refuse(ctx, err, "more values than a compressed column can hold",
                    std::max(n.points, segment_count));
    }
  } else {
    const std::uint64_t needed = kPointSize * std::uint64_t{n.points} +
                                 SegmentRecord::kEncodedSize * std::uint64_t{segment_count};
    if (needed > area_size) return Refuse(ctx, err, "coordinates beyond the record, bytes", needed);
  }
  area = PolyArea{n.coords_offset, n.points, segment_count, compressed};
  const bool with_points = what != PolyDecode::kNoCoordinates;
  const bool with_segment_array = what == PolyDecode::kAll;
  points.resize(with_points ? n.points : 0);
  segments.resize(with_segment_array ? segment_count : 0);
  if (compressed) {
    const std::size_t last = with_segment_array ? 9 : with_points ? 2 : 0;
    return DecodeColumns(coords, area_size, ctx, err, 0, last, this);
  }
  if (with_points) DecodePlainPoints(coords, this);
  if (with_segment_array) DecodePlainSegments(coords + kPointSize * n.points, this);
  return true;
}

bool PolyRecord::DecodeSegmentsFrom(const std::uint8_t* data, std::size_t size,
                                    const RecordContext& ctx, QError* err) {
  const std::uint64_t end =
      std::uint64_t{area.coords_offset} +
      (area.compressed ? 0
                       : kPointSize * std::uint64_t{area.point_count} +
                             SegmentRecord::kEncodedSize * std::uint64_t{area.segment_count});
  if (data == nullptr || end > size || area.coords_offset > size) {
    return Refuse(ctx, err, "segment records beyond the bytes read", end);
  }
  segments.resize(area.segment_count);
  if (area.segment_count == 0) return true;
  const std::uint8_t* coords = data + area.coords_offset;
  if (area.compressed) {
    const std::size_t length = std::min<std::size_t>(size, GetU32(data + 4));
    if (length < area.coords_offset) return Refuse(ctx, err, "record cut short, length", length);
    return DecodeColumns(coords, length - area.coords_offset, ctx, err, 2, 9, this);
  }
  DecodePlainSegments(coords + kPointSize * area.point_count, this);
  return true;
}

bool PolyRecord::operator==(const PolyRecord& o) const {
  return kind == o.kind && id == o.id && layout == o.layout && record_flags == o.record_flags &&
         pen_width == o.pen_width && pen_pattern == o.pen_pattern && label_x == o.label_x &&
         label_y == o.label_y && pen_colour == o.pen_colour &&
         brush_foreground == o.brush_foreground && brush_background == o.brush_background &&
         brush_pattern == o.brush_pattern && bounds == o.bounds && old_bounds == o.old_bounds &&
         name == o.name && second_name == o.second_name && ring_counts == o.ring_counts &&
         points == o.points && segments == o.segments;
}

}  // namespace lumetra
