// The bytes of a ZIP+4 centroid file (a "Z9 file"): block 0, the key-level
// index blocks, the data blocks of column streams and the ZIP Code area
// index.  docs/formats/zip4.md gives every offset; this file is the only
// encoder and decoder of those structures.
//
// The file is a sequence of 2048-byte blocks:
//   block 0                  Z9Header
//   blocks 1 .. D            data blocks, records in ascending key order
//   D + 1 ..                 key level 3: first keys of the data blocks
//   then                     key level 2: first keys of the level-3 blocks
//   then                     key level 1: one block, first keys of level 2
//   then (block aligned)     the ZIP Code area index, to the end of the file
// Entry j of the i-th block of a key level names the (i x F + j)-th block of
// the level below (F = keys per index block, stored in block 0), so the
// numbering is implicit and every block but the last of a level is full.
//
// A record's key is ZIP Code x 2^15 + add-on; its nine-digit key, the one
// callers search by, is ZIP Code x 10000 + add-on.  Both orders agree.
//
// Centroids are stored as the file stores them: longitude and latitude in
// ten-thousandths of a degree, the longitude positive for west; the point in
// file units (millionths of a degree) is x = -longitude x 100,
// y = latitude x 100.
//
// Every block ends with the storage layer's page checksum in its last two
// bytes.  Decoders distrust every count, size and position and name the
// file and block in what they record.
#ifndef LUMETRA_ZIP4_Z9_FORMAT_H
#define LUMETRA_ZIP4_Z9_FORMAT_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "objfile/column_codec.h"
#include "storage/spatial_index.h"  // lumetra::Rect

class QError;

namespace lumetra {

constexpr std::size_t kZ9BlockSize = 2048;
constexpr std::uint32_t kZ9Signature = 0x77335598u;
constexpr std::uint32_t kZ9AreaMagic = 0xAA55CDBBu;
// Top bit of the area-index field of block 0: the file has an area index.
constexpr std::uint32_t kZ9AreaIndexPresent = 0x80000000u;
// The version this library writes; versions below 3 have no sixth value
// column.
constexpr std::uint8_t kZ9Version = 3;
constexpr std::uint8_t kZ9MinVersion = 1;
// Bytes of a block before its two checksum bytes.
constexpr std::size_t kZ9BlockPayload = kZ9BlockSize - 2;
// Most first keys one index block holds (count and reserved u16 first).
constexpr std::uint16_t kZ9MaxFanout = static_cast<std::uint16_t>((kZ9BlockPayload - 4) / 4);
constexpr std::uint16_t kZ9MinFanout = 2;
// The data block's head: eight u16 column sizes, the record count and a
// reserved u16.
constexpr std::size_t kZ9DataHeadSize = 20;
constexpr std::size_t kZ9DataCapacity = kZ9BlockPayload - kZ9DataHeadSize;
// Most records of one data block: what a column stream can hold.
constexpr std::uint32_t kZ9MaxBlockRecords = kColumnMaxValues;
constexpr std::size_t kZ9AreaHeadSize = 12;
constexpr std::size_t kZ9AreaEntrySize = 12;
// The area index must start below 4 GiB (its position is a block number
// times 2048 modulo 2^32), so no file has more blocks before it than this.
constexpr std::uint32_t kZ9MaxBlocksBeforeAreas = 0x00200000u;

constexpr std::int32_t kZ9MaxZip = 99999;
constexpr std::int32_t kZ9MaxAddOn = 9999;
constexpr std::int32_t kZ9MaxRecordType = 0xFFFF;
constexpr int kZ9KeyShift = 15;

// The columns of a data block, in block order (and in the order of the
// size fields of the block's head).
enum class Z9Column : int {
  kZip = 0,
  kAddOn,
  kValue1,  // not read by the search
  kValue2,  // not read by the search
  kLongitude,
  kLatitude,
  kRecordType,
  kValue3,  // version 3 and later
};
constexpr int kZ9ColumnCount = 8;

// One centroid record with every stored value.
struct Z9Record {
  std::int32_t zip = 0;          // 1 .. 99999
  std::int32_t add_on = 0;       // 0 .. 9999
  std::int32_t record_type = 0;  // a character code
  std::int32_t longitude = 0;    // ten-thousandths of a degree, positive for west
  std::int32_t latitude = 0;     // ten-thousandths of a degree
  std::int32_t value1 = 0;
  std::int32_t value2 = 0;
  std::int32_t value3 = 0;

  std::uint32_t Key() const { return Z9Key(zip, add_on); }
  std::uint32_t NineDigitKey() const {
    return static_cast<std::uint32_t>(zip) * 10000u + static_cast<std::uint32_t>(add_on);
  }
  // The centroid in file units: x = -longitude x 100, y = latitude x 100.
  // REQUIRES: HasUnitCentroid().
  std::int32_t X() const { return -longitude * 100; }
  std::int32_t Y() const { return latitude * 100; }
  bool HasUnitCentroid() const {
    return longitude >= -kMaxCentroidDegrees && longitude <= kMaxCentroidDegrees &&
           latitude >= -kMaxCentroidDegrees && latitude <= kMaxCentroidDegrees;
  }
  std::int32_t Value(Z9Column column) const;
  void SetValue(Z9Column column, std::int32_t value);

  bool operator==(const Z9Record& o) const;

  static std::uint32_t Z9Key(std::int32_t zip, std::int32_t add_on) {
    return (static_cast<std::uint32_t>(zip) << kZ9KeyShift) | static_cast<std::uint32_t>(add_on);
  }
  // Largest |longitude| and |latitude| whose centroid fits an i32.
  static constexpr std::int32_t kMaxCentroidDegrees = 21474836;
};

// The range of centroids a ZIP Code area entry can cover: longitudes from
// 60 to 191.07 degrees west, latitudes from 0 to 90 degrees north (in
// ten-thousandths of a degree, longitude positive for west).
constexpr std::int32_t kZ9MinWestLongitude = 600000;
constexpr std::int32_t kZ9MaxWestLongitude = 1910700;
constexpr std::int32_t kZ9MinLatitude = 0;
constexpr std::int32_t kZ9MaxLatitude = 900000;

// Why a record cannot be written (empty when it can): a ZIP Code outside
// 1..99999, an add-on outside 0..9999, a record type outside 1..255, or a
// centroid outside the area index's range.
std::string Z9RecordProblem(const Z9Record& record);

// One ZIP Code area entry: the ZIP Code and four u16 bounds a, b, c, d.
struct Z9AreaEntry {
  static constexpr std::size_t kEncodedSize = kZ9AreaEntrySize;

  std::uint32_t zip = 0;
  std::array<std::uint16_t, 4> bounds{};  // a, b, c, d

  // minimum x = (-30000 - c) x 2000, minimum y = b x 2000,
  // maximum x = (-30000 - a) x 2000, maximum y = d x 2000.
  Rect Rectangle() const;
  // The smallest entry whose rectangle covers `points` (file units).
  // REQUIRES: every point lies within the area index's range.
  static Z9AreaEntry Covering(std::uint32_t zip, const Rect& points);

  void EncodeTo(std::uint8_t* dst) const;
  static Z9AreaEntry DecodeFrom(const std::uint8_t* src);
};

// Block 0.
struct Z9Header {
  static constexpr std::size_t kEncodedSize = kZ9BlockSize;
  static constexpr std::size_t kTextSize = 256;
  static constexpr char kDefaultText[] = "Lumetra ZIP+4 centroid file\r\n\x1A";

  std::string text = kDefaultText;     // readers ignore it
  std::uint32_t area_index_field = 0;  // kZ9AreaIndexPresent | block number
  std::uint32_t signature = kZ9Signature;
  std::uint32_t record_count = 0;
  std::uint32_t level1 = 0;             // block of the top key level
  std::uint32_t data_blocks = 0;        // D
  std::uint32_t level2 = 0;             // first block of key level 2
  std::uint32_t level3 = 0;             // first block of key level 3
  std::uint16_t fanout = kZ9MaxFanout;  // keys per index block
  std::uint8_t version = kZ9Version;
  std::uint16_t max_block_records = 0;  // most records of one data block

  bool HasAreaIndex() const { return (area_index_field & kZ9AreaIndexPresent) != 0; }
  // Byte position of the area index: (field x 2048) modulo 2^32.
  std::uint64_t AreaIndexOffset() const {
    return (std::uint64_t{area_index_field} * kZ9BlockSize) & 0xFFFFFFFFu;
  }
  std::uint32_t Level3Blocks() const { return CeilDiv(data_blocks, fanout); }
  std::uint32_t Level2Blocks() const { return CeilDiv(Level3Blocks(), fanout); }
  // Sets the data block count and the key-level positions that follow from
  // it; false when three key levels of `fanout` cannot index that many.
  bool Layout(std::uint32_t data_block_count);
  // The block after the top key level: where the area index goes.
  std::uint32_t EndOfLevels() const { return level1 + 1; }
  bool HasSixthColumn() const { return version >= 3; }

  // Writes all kEncodedSize bytes, checksum included.
  void EncodeTo(std::uint8_t* block) const;
  // Decodes a whole block 0.  Records, in this order of checks: a wrong
  // signature (code 102, "ZIP+4 centroid file"), a bad checksum (111), and
  // a version or key-level layout this reader cannot use (100); each detail
  // but the first names `file_name`.  `err` may be null.
  bool DecodeFrom(const std::uint8_t* block, const char* file_name, QError* err);

  static std::uint32_t CeilDiv(std::uint32_t n, std::uint32_t d) { return n / d + (n % d != 0); }
};

// A key-level index block: a u16 count, a reserved u16, then the first keys.
// Encodes `count` keys of `keys` into a whole block, checksum included.
void EncodeIndexBlock(const std::uint32_t* keys, std::size_t count, std::uint8_t* block);
// Decodes an index block that must hold exactly `expected` keys in rising
// order; false with `why` set otherwise.  The caller checks the checksum.
bool DecodeIndexBlock(const std::uint8_t* block, std::uint32_t expected,
                      std::vector<std::uint32_t>* keys, std::string* why);

// The decoded columns of one data block, sized once for the file's largest
// block.
struct Z9Columns {
  std::array<std::vector<std::int32_t>, kZ9ColumnCount> values;
  std::uint32_t count = 0;

  void Reserve(std::uint32_t max_records);
  std::int32_t At(Z9Column column, std::uint32_t i) const {
    return values[static_cast<int>(column)][i];
  }
  std::uint32_t KeyAt(std::uint32_t i) const {
    return Z9Record::Z9Key(At(Z9Column::kZip, i), At(Z9Column::kAddOn, i));
  }
  Z9Record RecordAt(std::uint32_t i) const;
};

// The bytes the column streams of records[0 .. n) take in a data block of
// file `version`, or 0 when some column cannot be written as a stream.
std::size_t Z9DataSize(const Z9Record* records, std::size_t n, std::uint8_t version);
// Encodes records[0 .. n) as one data block, checksum included; false when
// they do not fit kZ9DataCapacity.
bool EncodeDataBlock(const Z9Record* records, std::size_t n, std::uint8_t version,
                     std::uint8_t* block);
// Decodes a data block of a file of `version` whose blocks hold at most
// `max_records`; checks the sizes, the streams, the ranges of ZIP Codes,
// add-ons, record types and centroids, and that keys rise.  False with `why`
// set otherwise.  The caller checks the checksum.
// REQUIRES: out->Reserve(max_records) was called.
bool DecodeDataBlock(const std::uint8_t* block, std::uint8_t version, std::uint32_t max_records,
                     Z9Columns* out, std::string* why);

}  // namespace lumetra

#endif  // LUMETRA_ZIP4_Z9_FORMAT_H
