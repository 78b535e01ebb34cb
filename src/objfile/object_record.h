// Object records: the bytes of one region, line or point of an object file.
//
// Every record starts with an 8-byte RecordPrefix (kind, id byte, length).
// Point records (PointRecord) have a 24-byte fixed part and a names block.
// Region and line records (PolyRecord) have a fixed part -- 80 bytes in the
// current layout; 64 (regions) or 52 (lines) in old files -- a names block,
// the ring point counts and the coordinate area, which holds either plain
// x, y pairs (and segment records) or compressed columns (column_codec.h).
// docs/formats/object_file.md gives every offset.
//
// Decoding distrusts its input: the prefix length is compared with the bytes
// available and the file's largest record, and every count (rings, points,
// segments, column sizes) with the record length and the header's maxima
// before anything is read or sized from it.  Failures are recorded with
// code 100, naming the file, the record offset and the bad value.
//
// Coordinates are i32 file units (millionths of a degree in geographic
// files); segment records are relative to the record's origin (its
// rectangle's minimum corner), in feet for geographic files.
//
// Value types; decoding into an existing object reuses its vectors'
// capacity, so a reader that reserves them once (from the header maxima)
// loads records without allocating.  One thread at a time per object.
#ifndef LUMETRA_OBJFILE_OBJECT_RECORD_H
#define LUMETRA_OBJFILE_OBJECT_RECORD_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "objfile/column_codec.h"
#include "objfile/object_header.h"

class QError;

namespace lumetra {

// Which record layout a file uses: current files (ObjectHeader::
// IsCurrentLayout) or old ones.
enum class RecordLayout { kCurrent, kOld };

// Record flag bits (u8 at offset 38 of region and line records).
constexpr std::uint8_t kRecordFlagSegments = 0x01;    // segment records follow
constexpr std::uint8_t kRecordFlagCompressed = 0x02;  // coordinate area is columns
constexpr std::uint8_t kRecordFlagCurrent = 0x08;     // current layout (i32 rectangle)

// The largest record, points and rings a file admits (header maxima).
struct RecordLimits {
  std::uint32_t max_record_size = 0xFFFFFFFFu;
  std::uint32_t max_point_count = 0xFFFFFFFFu;
  std::uint32_t max_ring_count = 0xFFFFFFFFu;

  static RecordLimits FromHeader(const ObjectHeader& header);
};

// How to decode a record and how to name it in an error.
struct RecordContext {
  RecordLayout layout = RecordLayout::kCurrent;
  RecordLimits limits;
  const char* file_name = "";  // never null
  std::uint64_t offset = 0;    // the record's file offset

  // Layout and limits of the file with this header.
  // REQUIRES: file_name outlives the context.
  static RecordContext ForFile(const ObjectHeader& header, const char* file_name);
};

// The 8 bytes every record starts with.
struct RecordPrefix {
  static constexpr std::size_t kEncodedSize = 8;

  ObjectKind kind = ObjectKind::kRegion;
  std::uint8_t id = 0;       // low byte of the source's object id
  std::uint32_t length = 0;  // whole record, prefix included

  // Writes exactly kEncodedSize bytes at dst.
  void EncodeTo(std::uint8_t* dst) const;
  // Checks that size >= 8, the kind is 0, 1 or 2, and the length covers at
  // least the kind's fixed part plus a minimal names block and does not
  // exceed ctx.limits.max_record_size.  Does not require the whole record to
  // be present (a reader decodes the prefix first to learn the length).
  bool DecodeFrom(const std::uint8_t* data, std::size_t size, const RecordContext& ctx,
                  QError* err);
};

// The names block: name, NUL, second name, NUL, then 1 to 4 zero bytes up to
// a multiple of 4.  Names are cut at their first NUL and at 127 characters
// when encoded.
struct NamesBlock {
  static constexpr std::size_t kMaxNameLength = 127;
  static constexpr std::size_t kKeySize = 8;
  using Key = std::array<std::uint8_t, kKeySize>;

  static std::size_t EncodedSize(const std::string& name, const std::string& second_name);
  static void EncodeTo(const std::string& name, const std::string& second_name,
                       std::vector<std::uint8_t>* dst);
  // The name index key: the block's first 8 bytes, zero-filled when the
  // block is shorter (a 4-byte block).
  static Key KeyOf(const std::string& name, const std::string& second_name);
  // Reads the two names from a block of at most `size` bytes (the rest of
  // the record); false when either terminator is missing.  Names longer
  // than 127 characters are returned whole.
  static bool DecodeFrom(const std::uint8_t* data, std::size_t size, std::string* name,
                         std::string* second_name);
};

// One x, y position, i32 each.
struct RecordPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool operator==(const RecordPoint& o) const { return x == o.x && y == o.y; }
  bool operator!=(const RecordPoint& o) const { return !(*this == o); }
};

// A 28-byte segment record: seven i32 relative to the record's origin.
struct SegmentRecord {
  static constexpr std::size_t kEncodedSize = 28;
  static constexpr int kFieldCount = 7;
  static constexpr std::uint32_t kStartsAtMaxY = 0x80000000u;  // top bit of start_x

  std::int32_t start_x = 0;  // top bit set: the segment starts at its maximum y
  std::int32_t min_y = 0;
  std::int32_t max_x = 0;
  std::int32_t max_y = 0;
  std::int32_t length = 0;
  std::int32_t direction_x = 0;  // x 10^7
  std::int32_t direction_y = 0;  // x 10^7

  bool StartsAtMaxY() const { return (static_cast<std::uint32_t>(start_x) & kStartsAtMaxY) != 0; }
  // start_x without the flag bit.
  std::int32_t StartX() const {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(start_x) & ~kStartsAtMaxY);
  }
  // Field i in file order (0 = start_x ... 6 = direction_y).
  std::int32_t Field(int i) const;
  void SetField(int i, std::int32_t value);

  bool operator==(const SegmentRecord& o) const;
  bool operator!=(const SegmentRecord& o) const { return !(*this == o); }
};

// A point record (kind 2).
struct PointRecord {
  static constexpr std::size_t kFixedSize = 24;  // the names block starts here

  std::uint8_t id = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::uint32_t symbol_colour = 0;  // the object's ordinal; also its attribute key
  std::uint8_t symbol_size = 0;
  std::uint8_t symbol_shape = 0;
  std::string name;
  std::string second_name;

  std::uint32_t EncodedSize() const;
  // Appends the record (EncodedSize() bytes).
  void EncodeTo(std::vector<std::uint8_t>* dst) const;
  // Decodes the record at data; `size` is the bytes available there (at
  // least the record's length).
  bool DecodeFrom(const std::uint8_t* data, std::size_t size, const RecordContext& ctx,
                  QError* err);

  // A point's rectangle is the point itself.
  Rect Bounds() const { return Rect{x, y, x, y}; }

  bool operator==(const PointRecord& o) const;
  bool operator!=(const PointRecord& o) const { return !(*this == o); }
};

// What PolyRecord::EncodeTo wrote.
struct PolyEncodeResult {
  bool ok = false;                // false: nothing was appended (inconsistent record)
  std::uint32_t length = 0;       // record length in bytes
  std::uint8_t record_flags = 0;  // as written: kRecordFlagCompressed cleared on fallback
  ColumnStatus column_status = ColumnStatus::kOk;  // why compression fell back, if it did
};

// How much of a region or line record PolyRecord::DecodeFrom decodes: every
// array; everything but the segment records (which DecodeSegmentsFrom can
// add later); or only the fixed part, the names and the ring counts (the
// caller reads the coordinates in place, see PolyRecord::area).
enum class PolyDecode { kAll, kNoSegments, kNoCoordinates };

// Where the arrays of a decoded region or line record lie within it.
struct PolyArea {
  std::uint32_t coords_offset = 0;  // from the record's first byte
  std::uint32_t point_count = 0;
  std::uint32_t segment_count = 0;  // 0 unless the record flags carry segments
  bool compressed = false;
};

// A region (kind 0) or line (kind 1) record.
struct PolyRecord {
  static constexpr std::size_t kCurrentFixedSize = 80;
  static constexpr std::size_t kOldRegionFixedSize = 64;
  static constexpr std::size_t kOldLineFixedSize = 52;
  static constexpr std::size_t kSizeTableEntries = 2;              // x, y
  static constexpr std::size_t kSizeTableEntriesWithSegments = 9;  // x, y, 7 segment fields

  ObjectKind kind = ObjectKind::kRegion;
  std::uint8_t id = 0;
  RecordLayout layout = RecordLayout::kCurrent;
  // Segments (0x01) and compressed (0x02) as wanted, plus 0x08 in the
  // current layout.  Compression is dropped per record when a column does
  // not fit (see EncodeTo).
  std::uint8_t record_flags = kRecordFlagCurrent;
  std::uint8_t pen_width = 0;
  std::uint8_t pen_pattern = 0;
  std::int32_t label_x = 0;
  std::int32_t label_y = 0;
  std::uint32_t pen_colour = 0;        // the object's ordinal; also its attribute key
  std::uint32_t brush_foreground = 0;  // regions only (not stored in old lines)
  std::uint32_t brush_background = 0;
  std::uint32_t brush_pattern = 0;
  Rect bounds;                // current layout: the rectangle widened by one unit
  CoarseBounds old_bounds{};  // old layout: p, q, r, s (zero in current records)
  std::string name;
  std::string second_name;
  std::vector<std::uint32_t> ring_counts;  // points of each ring, in ring order
  std::vector<RecordPoint> points;         // all rings, one after another
  std::vector<SegmentRecord> segments;     // stored only with kRecordFlagSegments
  // Set by DecodeFrom (not part of the record's value: operator== ignores it).
  PolyArea area;

  // Offset of the names block for a kind and layout.
  static std::size_t FixedSize(ObjectKind kind, RecordLayout layout);

  // The record's rectangle: `bounds` for a current-layout record whose flags
  // carry 0x08, otherwise the rectangle of the coarse bounds.
  Rect EffectiveBounds() const;
  // The origin of the segment records: the rectangle's minimum corner.
  RecordPoint Origin() const {
    const Rect r = EffectiveBounds();
    return RecordPoint{r.minx, r.miny};
  }

  // Appends the record.  With kRecordFlagCompressed the coordinate area is
  // written as columns, unless a column would exceed column_max_bytes (or
  // cannot be expressed): then the record is stored uncompressed with the
  // flag cleared.  Refuses (ok false, nothing appended) a record whose ring
  // counts do not add up to its points, a kind other than region or line,
  // or one whose length would not fit a u32.
  PolyEncodeResult EncodeTo(std::vector<std::uint8_t>* dst,
                            std::size_t column_max_bytes = kColumnMaxBytes) const;

  // Decodes the record at data in ctx.layout; `size` is the bytes available
  // there (at least the record's length).  `what` leaves the segment
  // records, or every coordinate array, empty; their counts are still
  // checked against what the record can hold, and `area` tells where they
  // lie (so that a reader of a mapped file can use uncompressed arrays in
  // place).
  bool DecodeFrom(const std::uint8_t* data, std::size_t size, const RecordContext& ctx, QError* err,
                  PolyDecode what = PolyDecode::kAll);
  // Decodes the segment records of the record whose bytes are at data (the
  // same record a DecodeFrom with kNoSegments just decoded; `size` bytes
  // available, at least its length).  An empty array for a record without
  // segment records.
  bool DecodeSegmentsFrom(const std::uint8_t* data, std::size_t size, const RecordContext& ctx,
                          QError* err);

  bool operator==(const PolyRecord& o) const;
  bool operator!=(const PolyRecord& o) const { return !(*this == o); }
};

}  // namespace lumetra

#endif  // LUMETRA_OBJFILE_OBJECT_RECORD_H
