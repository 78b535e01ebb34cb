// ObjectHeader: the 536-byte header at offset 0 of every object file.
//
// The header names the file's format (magic number and format flags), its
// maxima (largest record, most points and rings in one record), its record
// counts and bounding box, and where the name index (B+-tree) and the spatial
// index (R-tree, or the grid index of old files) begin.  The byte layout is
// documented in docs/formats/object_file.md; this class is its only encoder
// and decoder.
//
// Coordinates are i32 file units (millionths of a degree in geographic files,
// coordinate type 1).  A value type: copy freely; one thread at a time.
//
// Usage (reading):
//   std::uint8_t bytes[ObjectHeader::kEncodedSize];  // read from offset 0
//   ObjectHeader header;
//   if (!header.DecodeFrom(bytes, sizeof bytes, file_name, &err)) return false;
//   std::uint64_t tree_root = header.NameIndexRoot();
#ifndef LUMETRA_OBJFILE_OBJECT_HEADER_H
#define LUMETRA_OBJFILE_OBJECT_HEADER_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "storage/spatial_index.h"  // lumetra::Rect

class QError;

namespace lumetra {

class ByteReader;
class ByteWriter;

// Object (record) kinds, the u8 at offset 0 of every record.
enum class ObjectKind : std::uint8_t { kRegion = 0, kLine = 1, kPoint = 2 };

// The four u16 coarse bounds of old headers and old records, in file order.
using CoarseBounds = std::array<std::uint16_t, 4>;

// The rectangle an old file header's coarse bounds (a, b, c, d) stand for:
// minimum x = (-30000 - (b + 1)) * 2000, minimum y = (c - 1) * 2000,
// maximum x = (-30000 - (a - 1)) * 2000, maximum y = (d + 1) * 2000, each
// 16-bit sum taken modulo 65536 first.
Rect OldHeaderBounds(const CoarseBounds& bounds);

// The rectangle an old record's coarse bounds (p, q, r, s) stand for:
// minimum x = (-30000 - q) * 2000, minimum y = r * 2000,
// maximum x = (-30000 - p) * 2000, maximum y = s * 2000.
Rect OldRecordBounds(const CoarseBounds& bounds);

// The rectangle that contains nothing yet: minimum 0x7FFFFFFF, maximum
// 0x80000000 on both axes; Include() of any rectangle replaces it.
Rect EmptyBounds();

// The 16-byte rectangle field of headers and records: minimum x, minimum y,
// maximum x, maximum y as i32.
void PutRect(ByteWriter& w, const Rect& r);
void ReadRect(ByteReader& r, Rect* rect);

struct ObjectHeader {
  static constexpr std::size_t kEncodedSize = 536;
  static constexpr std::size_t kSignatureSize = 256;

  // Format magic numbers (u32 at 256).
  static constexpr std::uint32_t kMagicCurrent = 0x7755CDCBu;
  static constexpr std::uint32_t kMagicTax = 0x8755CDCBu;  // written by the tax import
  static constexpr std::uint32_t kMagicOld = 0x7755CDC9u;

  // Format flags (u16 at 286).
  static constexpr std::uint16_t kFlagSegments = 0x0001;       // records carry segment records
  static constexpr std::uint16_t kFlagCompressed = 0x0002;     // coordinates compressed
  static constexpr std::uint16_t kFlagCurrentLayout = 0x0008;  // every file this library writes
  static constexpr std::uint16_t kFlagTax = 0x0010;            // tax import

  // Coordinate type 1: millionths of a degree, distances in feet.
  static constexpr std::uint16_t kGeographic = 1;

  // Index roots at or above this offset need the large-file u64 fields.
  static constexpr std::uint64_t kLargeRootLimit = 0x80000000u;

  // Signature texts; the default ends with Ctrl-Z (0x1A) so that a text
  // viewer stops there.  Readers never test the signature.
  static constexpr const char kDefaultSignature[] = "Korvalune\r\nGeographic object file.\r\n\x1A";
  static constexpr const char kTaxSignature[] = "Korvalune\r\nTax Boundary File";

  std::string signature;  // up to 256 bytes; stored NUL-padded
  std::uint32_t magic = 0;
  std::uint32_t name_index_root32 = 0;     // 0 in large files
  std::uint32_t spatial_index_root32 = 0;  // R-tree root offset, or the grid index (old files)
  std::uint32_t max_record_size = 0;       // bytes
  std::uint32_t max_point_count = 0;
  CoarseBounds old_bounds{};  // zero in current files
  std::uint16_t coordinate_type = 0;
  std::uint16_t flags = 0;
  std::uint32_t max_ring_count = 0;
  std::uint32_t point_records = 0;
  std::uint32_t line_records = 0;
  std::uint32_t region_records = 0;
  Rect bounds = EmptyBounds();        // current files; see BoundingBox()
  std::uint16_t extension_flag = 0;   // 1: the 324-byte extension block follows
  std::uint16_t large_file_flag = 0;  // 1: the index roots are the u64 fields
  std::uint64_t name_index_root64 = 0;
  std::uint64_t spatial_index_root64 = 0;

  // The header a builder starts from: default signature, current or tax
  // magic (tax when build_flags has kFlagTax), flags = build_flags |
  // kFlagCurrentLayout, the given coordinate type, empty bounds, zero counts.
  static ObjectHeader ForNewFile(std::uint16_t build_flags, std::uint16_t coordinate_type);

  // Appends exactly kEncodedSize bytes.  Reserved bytes are written as zero.
  void EncodeTo(std::vector<std::uint8_t>* dst) const;

  // Decodes the first kEncodedSize of `size` bytes.  Checks the length
  // (code 111, naming the size found), then the magic number: an unknown
  // magic records code 102 ("Invalid file signature.") with `file_name` as
  // the detail; the decoded fields are kept, so `magic` holds the bad value.
  // `file_name` may be null (treated as ""), `err` may be null.
  bool DecodeFrom(const std::uint8_t* data, std::size_t size, const char* file_name, QError* err);

  static bool IsKnownMagic(std::uint32_t magic) {
    return magic == kMagicCurrent || magic == kMagicTax || magic == kMagicOld;
  }
  // Current layout: flag 0x0008 set and a current (or tax) magic number.
  // Records then use the current record layout and the u32 spatial root is
  // an R-tree; otherwise the file is old.
  bool IsCurrentLayout() const {
    return (flags & kFlagCurrentLayout) != 0 && (magic == kMagicCurrent || magic == kMagicTax);
  }
  bool IsTaxFile() const { return magic == kMagicTax; }
  bool HasExtension() const { return extension_flag == 1; }
  bool IsLargeFile() const { return large_file_flag == 1; }
  bool HasSegments() const { return (flags & kFlagSegments) != 0; }
  bool IsCompressed() const { return (flags & kFlagCompressed) != 0; }

  // File offset of the name index's root page.
  std::uint64_t NameIndexRoot() const {
    return IsLargeFile() ? name_index_root64 : name_index_root32;
  }
  // File offset of the spatial index: the R-tree root page (page number x
  // 32768) when UsesRtree(), else the grid index of an old file.
  std::uint64_t SpatialIndexRoot() const {
    return IsLargeFile() ? spatial_index_root64 : spatial_index_root32;
  }
  bool UsesRtree() const { return IsLargeFile() || IsCurrentLayout(); }

  // Stores both roots: in the u32 fields (u64 fields and large-file flag
  // zero) when both are below kLargeRootLimit, otherwise in the u64 fields
  // with the large-file flag set and the u32 fields zero.
  void SetIndexRoots(std::uint64_t name_root, std::uint64_t spatial_root);

  // The file's bounding box: `bounds` in current-layout files, else derived
  // from the coarse bounds (OldHeaderBounds).
  Rect BoundingBox() const;

  // Accounts for one appended record: raises the maxima, counts the record
  // under its kind and widens `bounds` by `rect` (the record's stored
  // rectangle; a point record's rectangle is its position).
  void AddRecord(ObjectKind kind, std::uint32_t record_size, std::uint32_t point_count,
                 std::uint32_t ring_count, const Rect& rect);

  std::uint64_t RecordCount() const {
    return std::uint64_t{point_records} + line_records + region_records;
  }

  bool operator==(const ObjectHeader& o) const;
  bool operator!=(const ObjectHeader& o) const { return !(*this == o); }
};

}  // namespace lumetra

#endif  // LUMETRA_OBJFILE_OBJECT_HEADER_H
