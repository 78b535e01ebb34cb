// The byte layout of data library files (".dld"), shared by the reader
// (DLFile, DlDataFile, FieldId) and the writer (DlFileBuilder).  The full
// description with byte offsets is docs/formats/data_library.md.
//
// A data library file is an indexed file (storage/indexed_file_builder.h)
// of kind 0x1100AAAA with 12-byte keys and 8-byte values:
//   header page (512 bytes): the indexed file's fields, then at 296 the u64
//     file offset of the B+-tree root;
//   page 0: the definition header (DlDefinitionHeader, from byte 0);
//   pages 1 ...: data pages; between the 8-byte page head and the records
//     each carries the field blocks (offset table, string heaps, column
//     streams; kPayload* below);
//   the definition area (field records, then value records) behind the
//   data pages, at the offset the definition header gives;
//   the tree pages.
// A record's value holds its locator: u32 (data page << 18) | slot, then
// four zero bytes.
//
// Every structure is encoded and decoded through the little-endian helpers
// of frame/byte_order.h; decoding never reads past the bytes it is given.
#ifndef LUMETRA_DATALIB_DL_FORMAT_H
#define LUMETRA_DATALIB_DL_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "frame/byte_order.h"

namespace lumetra {
namespace dlformat {

// ---- The indexed file ------------------------------------------------------------
constexpr std::uint32_t kKind = 0x1100AAAA;
constexpr std::uint32_t kKeyLength = 12;
constexpr std::uint32_t kValueLength = 8;
constexpr std::uint32_t kCacheSlots = 8;
constexpr std::uint32_t kHeaderPageSize = 512;
constexpr std::size_t kTreeRootOffset = 296;  // u64 in the header page
constexpr std::uint32_t kTreePageSize = 4096;
constexpr std::uint32_t kDefaultPageSize = 8192;
constexpr std::uint32_t kMaxPageSize = 65535;
constexpr std::uint32_t kDefinitionPage = 0;
constexpr std::uint32_t kFirstDataPage = 1;
// The header page's free text.
constexpr char kSignature[] = "Varnisk data library file\r\n\x1A";

// ---- Record locators -------------------------------------------------------------
constexpr std::uint32_t kLocatorPageShift = 18;
constexpr std::uint32_t kLocatorEntryMask = (1u << kLocatorPageShift) - 1;  // 0x3FFFF
// Locator pages are 14 bits wide.
constexpr std::uint32_t kMaxLocatorPage = (1u << (32 - kLocatorPageShift)) - 1;

inline std::uint32_t MakeLocator(std::uint32_t page, std::uint32_t entry) {
  return (page << kLocatorPageShift) | (entry & kLocatorEntryMask);
}
// The data page a locator names: a locator below 0x40000 names page 1.
inline std::uint32_t LocatorPage(std::uint32_t locator) {
  const std::uint32_t page = locator >> kLocatorPageShift;
  return page == 0 ? kFirstDataPage : page;
}
inline std::uint32_t LocatorEntry(std::uint32_t locator) { return locator & kLocatorEntryMask; }

// ---- Key types and definition flags ----------------------------------------------
constexpr char kTextKey = 'C';
constexpr char kNumericKey = 'N';
constexpr char kTextField = 'C';
constexpr char kNumericField = 'N';
// Definition flag: every character of a searched text key that is not a
// letter or digit is removed before the search.
constexpr std::uint8_t kFlagCleanedKey = 0x01;
constexpr std::uint32_t kDefinitionVersion = 1;

// ---- Limits a reader enforces before it allocates --------------------------------
constexpr std::uint32_t kMaxFields = 4096;
constexpr std::uint32_t kMaxValueRecords = 1000000;
// Widest text value a field may declare.
constexpr std::int32_t kMaxTextWidth = 255;
constexpr std::int32_t kMaxDecimals = 9;

// ---- Data page payload (from byte 8 of a data page) ------------------------------
// An offset table of (text blocks + numeric blocks + 1) u32, each counted
// from byte 8 of the page: the start of every text field's block (field
// order), then of every numeric field's block, then the end of the last
// block (the payload's used size).
constexpr std::size_t kPayloadStart = 8;
constexpr std::size_t kOffsetEntrySize = 4;
// A text block is a string heap: (records + 1) u16 offsets from the block
// start, then the texts back to back without terminators; entry i is the
// bytes [offset i, offset i + 1).
constexpr std::size_t kHeapOffsetSize = 2;
// A numeric block is one column stream (objfile/column_codec.h) of i32, one
// value per record of the page.

// ---- Definition header (page 0, from byte 0) -------------------------------------
struct DlDefinitionHeader {
  static constexpr std::size_t kEncodedSize = 584;
  static constexpr std::size_t kAreaOffset = 0;           // u64 file offset of the definition area
  static constexpr std::size_t kTextFieldsOffset = 8;     // u32 count 1
  static constexpr std::size_t kOtherFieldsOffset = 12;   // u32 count 2
  static constexpr std::size_t kValueRecordsOffset = 16;  // u32 count 3
  static constexpr std::size_t kKeyTypeOffset = 20;       // u8 'C' or 'N'
  static constexpr std::size_t kFlagsOffset = 21;         // u8
  static constexpr std::size_t kVersionOffset = 24;       // u32 = 1
  static constexpr std::size_t kAttr0Offset = 28;         // i32 file attribute 0: records
  static constexpr std::size_t kAttr2Offset = 32;         // i32 file attribute 2: data pages
  static constexpr std::size_t kAttr5Offset = 36;         // i32 file attribute 5: flags
  static constexpr std::size_t kKeyFieldOffset = 40;      // 32 bytes
  static constexpr std::size_t kKeyFieldSize = 32;
  static constexpr std::size_t kText3Offset = 72;   // 256 bytes: file attribute 3 (stamp)
  static constexpr std::size_t kText4Offset = 328;  // 256 bytes: file attribute 4 (title)
  static constexpr std::size_t kTextSize = 256;

  std::uint64_t area_offset = 0;
  std::uint32_t text_fields = 0;    // count 1
  std::uint32_t other_fields = 0;   // count 2: numeric fields (and any of another type)
  std::uint32_t value_records = 0;  // count 3
  char key_type = kTextKey;
  std::uint8_t flags = 0;
  std::uint32_t version = kDefinitionVersion;
  std::int32_t attr0 = 0;
  std::int32_t attr2 = 0;
  std::int32_t attr5 = 0;
  std::string key_field;
  std::string text3;
  std::string text4;

  std::uint32_t field_count() const { return text_fields + other_fields; }

  // Writes kEncodedSize bytes; texts longer than their width less one are cut.
  void EncodeTo(std::uint8_t* dst) const {
    std::vector<std::uint8_t> out;
    ByteWriter w(&out);
    w.PutU64(area_offset);
    w.PutU32(text_fields);
    w.PutU32(other_fields);
    w.PutU32(value_records);
    w.PutU8(static_cast<std::uint8_t>(key_type));
    w.PutU8(flags);
    w.PutZeros(2);
    w.PutU32(version);
    w.PutI32(attr0);
    w.PutI32(attr2);
    w.PutI32(attr5);
    w.PutFixedText(key_field.substr(0, kKeyFieldSize - 1), kKeyFieldSize);
    w.PutFixedText(text3.substr(0, kTextSize - 1), kTextSize);
    w.PutFixedText(text4.substr(0, kTextSize - 1), kTextSize);
    for (std::size_t i = 0; i < kEncodedSize; ++i) dst[i] = out[i];
  }

  // Decodes kEncodedSize bytes of `size`; false when too short.  Values are
  // not judged here.
  bool DecodeFrom(const std::uint8_t* src, std::size_t size) {
    if (size < kEncodedSize) return false;
    ByteReader r(src, kEncodedSize);
    std::uint8_t type = 0;
    r.ReadU64(&area_offset);
    r.ReadU32(&text_fields);
    r.ReadU32(&other_fields);
    r.ReadU32(&value_records);
    r.ReadU8(&type);
    r.ReadU8(&flags);
    r.Skip(2);
    r.ReadU32(&version);
    r.ReadI32(&attr0);
    r.ReadI32(&attr2);
    r.ReadI32(&attr5);
    r.ReadFixedText(kKeyFieldSize, &key_field);
    r.ReadFixedText(kTextSize, &text3);
    r.ReadFixedText(kTextSize, &text4);
    key_type = static_cast<char>(type);
    return r.ok();
  }
};

// ---- Field record (396 bytes) ----------------------------------------------------
// The attribute code of each part (DlFieldGetAttribute) is given beside it.
struct DlFieldRecord {
  static constexpr std::size_t kEncodedSize = 396;
  static constexpr std::size_t kIdOffset = 0;  // 12 bytes, code 0
  static constexpr std::size_t kIdSize = 12;
  static constexpr std::size_t kSectionOffset = 12;  // 32 bytes, code 1
  static constexpr std::size_t kSectionSize = 32;
  static constexpr std::size_t kShortDescOffset = 44;  // 32 bytes, code 7
  static constexpr std::size_t kShortDescSize = 32;
  static constexpr std::size_t kLongDescOffset = 76;  // 256 bytes, code 8
  static constexpr std::size_t kLongDescSize = 256;
  static constexpr std::size_t kDecimalsOffset = 332;  // i32, code 3
  static constexpr std::size_t kWidthOffset = 336;     // i32, code 2
  static constexpr std::size_t kNumberOffset = 340;    // i32, code 4: field number from 0
  static constexpr std::size_t kMaskOffset = 344;      // 32 bytes, code 5: edit mask
  static constexpr std::size_t kMaskSize = 32;
  // 376-379: zero
  static constexpr std::size_t kValueCountOffset = 380;  // i32, code 9
  static constexpr std::size_t kTypeOffset = 384;        // i32, code 10
  // 388-395: zero

  std::string id;
  std::string section;
  std::string short_desc;
  std::string long_desc;
  std::int32_t decimals = 0;
  std::int32_t width = 0;
  std::int32_t number = 0;
  std::string mask;
  std::int32_t value_count = 0;
  std::int32_t type = kTextField;

  // Writes kEncodedSize bytes.  The identifier keeps up to 12 characters
  // (it needs no terminator); other texts are cut to their width less one.
  void EncodeTo(std::uint8_t* dst) const {
    std::vector<std::uint8_t> out;
    ByteWriter w(&out);
    w.PutFixedText(id, kIdSize);
    w.PutFixedText(section.substr(0, kSectionSize - 1), kSectionSize);
    w.PutFixedText(short_desc.substr(0, kShortDescSize - 1), kShortDescSize);
    w.PutFixedText(long_desc.substr(0, kLongDescSize - 1), kLongDescSize);
    w.PutI32(decimals);
    w.PutI32(width);
    w.PutI32(number);
    w.PutFixedText(mask.substr(0, kMaskSize - 1), kMaskSize);
    w.PutZeros(kValueCountOffset - (kMaskOffset + kMaskSize));
    w.PutI32(value_count);
    w.PutI32(type);
    w.PutZeros(kEncodedSize - out.size());
    for (std::size_t i = 0; i < kEncodedSize; ++i) dst[i] = out[i];
  }

  bool DecodeFrom(const std::uint8_t* src, std::size_t size) {
    if (size < kEncodedSize) return false;
    ByteReader r(src, kEncodedSize);
    r.ReadFixedText(kIdSize, &id);
    r.ReadFixedText(kSectionSize, &section);
    r.ReadFixedText(kShortDescSize, &short_desc);
    r.ReadFixedText(kLongDescSize, &long_desc);
    r.ReadI32(&decimals);
    r.ReadI32(&width);
    r.ReadI32(&number);
    r.ReadFixedText(kMaskSize, &mask);
    r.Skip(kValueCountOffset - (kMaskOffset + kMaskSize));
    r.ReadI32(&value_count);
    r.ReadI32(&type);
    return r.ok();
  }
};

// ---- Value record (352 bytes) ----------------------------------------------------
struct DlValueRecord {
  static constexpr std::size_t kEncodedSize = 352;
  static constexpr std::size_t kFieldIdOffset = 0;  // 32 bytes: the owning field's identifier
  static constexpr std::size_t kFieldIdSize = 32;
  static constexpr std::size_t kValueOffset = 32;  // 32 bytes: value text
  static constexpr std::size_t kValueSize = 32;
  static constexpr std::size_t kShortDescOffset = 64;  // 32 bytes
  static constexpr std::size_t kShortDescSize = 32;
  static constexpr std::size_t kLongDescOffset = 96;  // 256 bytes
  static constexpr std::size_t kLongDescSize = 256;

  std::string field_id;
  std::string value;
  std::string short_desc;
  std::string long_desc;

  void EncodeTo(std::uint8_t* dst) const {
    std::vector<std::uint8_t> out;
    ByteWriter w(&out);
    w.PutFixedText(field_id.substr(0, kFieldIdSize - 1), kFieldIdSize);
    w.PutFixedText(value.substr(0, kValueSize - 1), kValueSize);
    w.PutFixedText(short_desc.substr(0, kShortDescSize - 1), kShortDescSize);
    w.PutFixedText(long_desc.substr(0, kLongDescSize - 1), kLongDescSize);
    for (std::size_t i = 0; i < kEncodedSize; ++i) dst[i] = out[i];
  }

  bool DecodeFrom(const std::uint8_t* src, std::size_t size) {
    if (size < kEncodedSize) return false;
    ByteReader r(src, kEncodedSize);
    r.ReadFixedText(kFieldIdSize, &field_id);
    r.ReadFixedText(kValueSize, &value);
    r.ReadFixedText(kShortDescSize, &short_desc);
    r.ReadFixedText(kLongDescSize, &long_desc);
    return r.ok();
  }
};

}  // namespace dlformat
}  // namespace lumetra

#endif  // LUMETRA_DATALIB_DL_FORMAT_H
