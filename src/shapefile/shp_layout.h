// The on-disk pieces of a shapefile (.shp main file, .shx index), encoded and
// decoded byte by byte (see docs/formats/shapefile.md):
//
//   main header, 100 bytes, the same in both files      ShpMainHeader
//   .shp: per record an 8-byte header + content         ShpRecordHeader
//   .shx: per record one 8-byte entry                   ShxEntry
//
// Lengths and offsets are counted in 16-bit words.  The file code, lengths
// and record headers are big-endian; version, shape types, counts and
// coordinates little-endian.
#ifndef LUMETRA_SHAPEFILE_SHP_LAYOUT_H
#define LUMETRA_SHAPEFILE_SHP_LAYOUT_H

#include <cstddef>
#include <cstdint>

namespace lumetra {
namespace shapefile {

constexpr std::int32_t kShpFileCode = 9994;
constexpr std::int32_t kShpVersion = 1000;
constexpr std::int32_t kShpHeaderWords = 50;  // the 100-byte main header
constexpr std::int32_t kShxEntryWords = 4;    // one 8-byte index entry
constexpr std::int32_t kShpRecordHeaderWords = 4;

// Content sizes of the record layouts this library reads and writes.
constexpr std::size_t kPointContentSize = 20;            // type, x, y
constexpr std::size_t kPolyFixedContentSize = 44;        // type, box, parts, points
constexpr std::size_t kMultiPointFixedContentSize = 40;  // type, box, points

// Bounding box xmin, ymin, xmax, ymax; the "empty" box that any point widens.
constexpr double kEmptyBoxMin = 1e30;
constexpr double kEmptyBoxMax = -1e30;

struct ShpMainHeader {
  static constexpr std::size_t kEncodedSize = 100;

  std::int32_t file_code = kShpFileCode;
  std::int32_t file_length_words = kShpHeaderWords;
  std::int32_t version = kShpVersion;
  std::int32_t shape_type = 0;
  double box[4] = {kEmptyBoxMin, kEmptyBoxMin, kEmptyBoxMax, kEmptyBoxMax};

  // Writes all 100 bytes: the fields above and zeros elsewhere (the Z and M
  // ranges included).
  void EncodeTo(std::uint8_t* dst) const;
  static ShpMainHeader DecodeFrom(const std::uint8_t* src);
};

struct ShpRecordHeader {
  static constexpr std::size_t kEncodedSize = 8;

  std::int32_t record_number = 0;         // from 1
  std::int32_t content_length_words = 0;  // without this header

  void EncodeTo(std::uint8_t* dst) const;
  static ShpRecordHeader DecodeFrom(const std::uint8_t* src);
};

struct ShxEntry {
  static constexpr std::size_t kEncodedSize = 8;

  std::int32_t offset_words = 0;  // of the record header in the .shp
  std::int32_t content_length_words = 0;

  void EncodeTo(std::uint8_t* dst) const;
  static ShxEntry DecodeFrom(const std::uint8_t* src);
};

}  // namespace shapefile
}  // namespace lumetra

#endif  // LUMETRA_SHAPEFILE_SHP_LAYOUT_H
