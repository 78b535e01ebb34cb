// The on-disk pieces of a dBase III table (.dbf), encoded and decoded byte by
// byte (see docs/formats/dbase.md):
//
//   0   32-byte table header            DbfHeader
//   32  32-byte descriptor per field    DbfFieldDescriptor
//   ..  terminator byte 0x0D
//   ..  records: deletion byte (' ' live, '*' deleted), then the field bytes
//
// Decoding only splits bytes into fields; whether the values agree with each
// other and with the file's size is checked by the table code, which knows
// the file name to report.
#ifndef LUMETRA_SHAPEFILE_DBF_LAYOUT_H
#define LUMETRA_SHAPEFILE_DBF_LAYOUT_H

#include <cstddef>
#include <cstdint>

namespace lumetra {
namespace shapefile {

constexpr std::uint8_t kDbfVersion = 3;             // dBase III without memo file
constexpr std::uint8_t kDbfTerminator = 0x0D;       // ends the descriptor array
constexpr std::uint8_t kDbfEndOfFileMarker = 0x1A;  // optional byte after the records
constexpr std::uint8_t kDbfLiveRecord = ' ';
// Longest field name kept from a descriptor or written to one.
constexpr std::size_t kDbfNameLength = 11;

struct DbfHeader {
  static constexpr std::size_t kEncodedSize = 32;

  std::uint8_t version = 0;
  std::uint8_t date[3] = {0, 0, 0};  // year - 1900, month 1..12, day 1..31
  std::uint32_t num_records = 0;
  std::uint16_t header_length = 0;  // bytes before the first record
  std::uint16_t record_length = 0;  // including the deletion byte

  void EncodeTo(std::uint8_t* dst) const;
  static DbfHeader DecodeFrom(const std::uint8_t* src);
};

struct DbfFieldDescriptor {
  static constexpr std::size_t kEncodedSize = 32;

  char name[kDbfNameLength + 1] = {};  // NUL terminated
  char type = 0;
  std::uint32_t data_address = 0;
  std::uint8_t length = 0;
  std::uint8_t decimals = 0;

  void EncodeTo(std::uint8_t* dst) const;
  static DbfFieldDescriptor DecodeFrom(const std::uint8_t* src);
};

// Header length for a table of `num_fields` fields: header, descriptors and
// the terminator.
constexpr std::size_t DbfHeaderLengthFor(std::size_t num_fields) {
  return DbfHeader::kEncodedSize + DbfFieldDescriptor::kEncodedSize * num_fields + 1;
}

// Largest field count whose header length still fits the 16-bit field.
constexpr int kDbfMaxFields = (0xFFFF - 1) / 32 - 1;
static_assert(DbfHeaderLengthFor(kDbfMaxFields) <= 0xFFFF, "header length fits 16 bits");

}  // namespace shapefile
}  // namespace lumetra

#endif  // LUMETRA_SHAPEFILE_DBF_LAYOUT_H
