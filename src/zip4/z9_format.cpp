#include "zip4/z9_format.h"

#include <algorithm>
#include <cstring>

#include "frame/byte_order.h"
#include "frame/error.h"
#include "storage/qio.h"

namespace lumetra {

namespace {

// Byte offsets of block 0 (docs/formats/zip4.md).
constexpr std::size_t kAreaFieldOffset = 260;
constexpr std::size_t kSignatureOffset = 264;
constexpr std::size_t kRecordCountOffset = 268;
constexpr std::size_t kLevel1Offset = 272;
constexpr std::size_t kDataBlocksOffset = 276;
constexpr std::size_t kLevel2Offset = 280;
constexpr std::size_t kLevel3Offset = 284;
constexpr std::size_t kFanoutOffset = 288;
constexpr std::size_t kVersionOffset = 291;
constexpr std::size_t kMaxRecordsOffset = 292;

// Offsets of a data block's head.
constexpr std::size_t kCountOffset = 16;

// Area bounds count 2000-unit cells; x cells are offset by 30000 and run
// westward.
constexpr std::int64_t kCell = 2000;
constexpr std::int64_t kWestOffset = 30000;

std::int64_t FloorDiv(std::int64_t n, std::int64_t d) {
  return n >= 0 ? n / d : -((-n + d - 1) / d);
}
std::int64_t CeilDiv64(std::int64_t n, std::int64_t d) { return -FloorDiv(-n, d); }

std::uint16_t Cell16(std::int64_t v) {
  return static_cast<std::uint16_t>(std::clamp<std::int64_t>(v, 0, 0xFFFF));
}

int ColumnsOf(std::uint8_t version) { return version >= 3 ? kZ9ColumnCount : kZ9ColumnCount - 1; }

bool Fail(std::string* why, const char* text) {
  *why = text;
  return false;
}

}  // namespace

namespace {

// The record's field behind each column, in column order.
constexpr std::int32_t Z9Record::*kColumnFields[kZ9ColumnCount] = {
    &Z9Record::zip,       &Z9Record::add_on,   &Z9Record::value1,      &Z9Record::value2,
    &Z9Record::longitude, &Z9Record::latitude, &Z9Record::record_type, &Z9Record::value3};

}  // namespace

std::int32_t Z9Record::Value(Z9Column column) const {
  return this->*kColumnFields[static_cast<int>(column)];
}

void Z9Record::SetValue(Z9Column column, std::int32_t value) {
  this->*kColumnFields[static_cast<int>(column)] = value;
}

bool Z9Record::operator==(const Z9Record& o) const {
  for (int c = 0; c < kZ9ColumnCount; ++c) {
    if (Value(static_cast<Z9Column>(c)) != o.Value(static_cast<Z9Column>(c))) return false;
  }
  return true;
}

std::string Z9RecordProblem(const Z9Record& r) {
  if (r.zip < 1 || r.zip > kZ9MaxZip) return "ZIP Code not in 1..99999";
  if (r.add_on < 0 || r.add_on > kZ9MaxAddOn) return "add-on not in 0..9999";
  if (r.record_type < 1 || r.record_type > 255) return "record type not a character code 1..255";
  if (r.longitude < kZ9MinWestLongitude || r.longitude > kZ9MaxWestLongitude) {
    return "longitude not between 60 and 191.07 degrees west";
  }
  if (r.latitude < kZ9MinLatitude || r.latitude > kZ9MaxLatitude) {
    return "latitude not between 0 and 90 degrees north";
  }
  return std::string();
}

Rect Z9AreaEntry::Rectangle() const {
  const auto cells = [](std::int64_t v) { return static_cast<std::int32_t>(v * kCell); };
  Rect r;
  r.minx = cells(-kWestOffset - bounds[2]);
  r.miny = cells(bounds[1]);
  r.maxx = cells(-kWestOffset - bounds[0]);
  r.maxy = cells(bounds[3]);
  return r;
}

Z9AreaEntry Z9AreaEntry::Covering(std::uint32_t zip, const Rect& points) {
  Z9AreaEntry e;
  e.zip = zip;
  // Rounded outward: a = floor(-max x / 2000) - 30000 keeps maximum x at or
  // east of the easternmost point, c = ceil(-min x / 2000) - 30000 keeps
  // minimum x at or west of the westernmost; b and d likewise in y.
  e.bounds[0] = Cell16(FloorDiv(-std::int64_t{points.maxx}, kCell) - kWestOffset);
  e.bounds[1] = Cell16(FloorDiv(points.miny, kCell));
  e.bounds[2] = Cell16(CeilDiv64(-std::int64_t{points.minx}, kCell) - kWestOffset);
  e.bounds[3] = Cell16(CeilDiv64(points.maxy, kCell));
  return e;
}

void Z9AreaEntry::EncodeTo(std::uint8_t* dst) const {
  PutU32(dst, zip);
  for (int i = 0; i < 4; ++i) PutU16(dst + 4 + 2 * i, bounds[i]);
}

Z9AreaEntry Z9AreaEntry::DecodeFrom(const std::uint8_t* src) {
  Z9AreaEntry e;
  e.zip = GetU32(src);
  for (int i = 0; i < 4; ++i) e.bounds[i] = GetU16(src + 4 + 2 * i);
  return e;
}

bool Z9Header::Layout(std::uint32_t data_block_count) {
  data_blocks = data_block_count;
  const std::uint64_t n3 = Level3Blocks();
  const std::uint64_t n2 = Level2Blocks();
  level3 = 1 + data_blocks;  // data blocks start at block 1
  const std::uint64_t l2 = std::uint64_t{level3} + n3;
  const std::uint64_t l1 = l2 + n2;
  if (n2 > fanout || l1 + 1 >= kZ9MaxBlocksBeforeAreas) return false;
  level2 = static_cast<std::uint32_t>(l2);
  level1 = static_cast<std::uint32_t>(l1);
  return true;
}

void Z9Header::EncodeTo(std::uint8_t* block) const {
  std::memset(block, 0, kEncodedSize);
  std::memcpy(block, text.data(), std::min(text.size(), kTextSize));
  PutU32(block + kAreaFieldOffset, area_index_field);
  PutU32(block + kSignatureOffset, signature);
  PutU32(block + kRecordCountOffset, record_count);
  PutU32(block + kLevel1Offset, level1);
  PutU32(block + kDataBlocksOffset, data_blocks);
  PutU32(block + kLevel2Offset, level2);
  PutU32(block + kLevel3Offset, level3);
  PutU16(block + kFanoutOffset, fanout);
  block[kVersionOffset] = version;
  PutU16(block + kMaxRecordsOffset, max_block_records);
  StorePageChecksum(block, kEncodedSize);
}

bool Z9Header::DecodeFrom(const std::uint8_t* block, const char* file_name, QError* err) {
  const char* name = file_name != nullptr ? file_name : "";
  std::size_t n = 0;
  while (n < kTextSize && block[n] != 0) ++n;
  text.assign(reinterpret_cast<const char*>(block), n);
  area_index_field = GetU32(block + kAreaFieldOffset);
  signature = GetU32(block + kSignatureOffset);
  record_count = GetU32(block + kRecordCountOffset);
  level1 = GetU32(block + kLevel1Offset);
  data_blocks = GetU32(block + kDataBlocksOffset);
  level2 = GetU32(block + kLevel2Offset);
  level3 = GetU32(block + kLevel3Offset);
  fanout = GetU16(block + kFanoutOffset);
  version = block[kVersionOffset];
  max_block_records = GetU16(block + kMaxRecordsOffset);
  if (signature != kZ9Signature) {
    if (err != nullptr) err->Set(102, "ZIP+4 centroid file", QERR_HERE);
    return false;
  }
  if (!PageChecksumValid(block, kEncodedSize)) {
    if (err != nullptr)
      err->SetF(111, QERR_HERE, "ZIP+4 centroid file %s: block 0 fails its checksum.", name);
    return false;
  }
  const char* problem = nullptr;
  Z9Header expected = *this;
  if (version < kZ9MinVersion || version > kZ9Version) {
    problem = "a file version this library cannot read";
  } else if (fanout < kZ9MinFanout || fanout > kZ9MaxFanout) {
    problem = "keys per index block out of range";
  } else if (!expected.Layout(data_blocks) || expected.level1 != level1 ||
             expected.level2 != level2 || expected.level3 != level3) {
    problem = "key-level positions that do not match the data block count";
  } else if (data_blocks > 0 &&
             (max_block_records == 0 || max_block_records > kZ9MaxBlockRecords)) {
    problem = "a block record maximum out of range";
  } else if (record_count < data_blocks ||
             record_count > std::uint64_t{data_blocks} * max_block_records) {
    problem = "a record count that does not fit its data blocks";
  }
  if (problem != nullptr) {
    if (err != nullptr) err->SetF(100, QERR_HERE, "ZIP+4 centroid file %s has %s.", name, problem);
    return false;
  }
  return true;
}

void EncodeIndexBlock(const std::uint32_t* keys, std::size_t count, std::uint8_t* block) {
  std::memset(block, 0, kZ9BlockSize);
  PutU16(block, static_cast<std::uint16_t>(count));
  for (std::size_t i = 0; i < count; ++i) PutU32(block + 4 + 4 * i, keys[i]);
  StorePageChecksum(block, kZ9BlockSize);
}

bool DecodeIndexBlock(const std::uint8_t* block, std::uint32_t expected,
                      std::vector<std::uint32_t>* keys, std::string* why) {
  if (GetU16(block) != expected || expected > kZ9MaxFanout) {
    return Fail(why, "has a key count that does not match the file's layout");
  }
  keys->resize(expected);
  for (std::uint32_t i = 0; i < expected; ++i) {
    (*keys)[i] = GetU32(block + 4 + 4 * i);
    if (i > 0 && (*keys)[i] < (*keys)[i - 1]) return Fail(why, "has keys out of order");
  }
  return true;
}

void Z9Columns::Reserve(std::uint32_t max_records) {
  for (auto& column : values) column.assign(max_records, 0);
  count = 0;
}

Z9Record Z9Columns::RecordAt(std::uint32_t i) const {
  Z9Record r;
  for (int c = 0; c < kZ9ColumnCount; ++c) {
    r.SetValue(static_cast<Z9Column>(c), values[c][i]);
  }
  return r;
}

namespace {

// The column streams of records[0 .. n), each appended to `streams` and its
// size to `sizes`; false when a column cannot be written as a stream.
bool BuildColumns(const Z9Record* records, std::size_t n, std::uint8_t version,
                  std::vector<std::uint8_t>* streams, std::array<std::uint16_t, 8>* sizes) {
  sizes->fill(0);
  ColumnWriter writer(kZ9DataCapacity);
  for (int c = 0; c < ColumnsOf(version); ++c) {
    writer.Reset();
    for (std::size_t i = 0; i < n; ++i) writer.Add(records[i].Value(static_cast<Z9Column>(c)));
    const std::size_t before = streams->size();
    if (writer.Finish(streams) != ColumnStatus::kOk) return false;
    (*sizes)[c] = static_cast<std::uint16_t>(streams->size() - before);
  }
  return true;
}

}  // namespace

std::size_t Z9DataSize(const Z9Record* records, std::size_t n, std::uint8_t version) {
  if (n > kZ9MaxBlockRecords) return 0;
  std::vector<std::uint8_t> streams;
  std::array<std::uint16_t, 8> sizes;
  if (!BuildColumns(records, n, version, &streams, &sizes)) return 0;
  return streams.size();
}

bool EncodeDataBlock(const Z9Record* records, std::size_t n, std::uint8_t version,
                     std::uint8_t* block) {
  std::vector<std::uint8_t> streams;
  std::array<std::uint16_t, 8> sizes;
  if (n == 0 || n > kZ9MaxBlockRecords || !BuildColumns(records, n, version, &streams, &sizes) ||
      streams.size() > kZ9DataCapacity) {
    return false;
  }
  std::memset(block, 0, kZ9BlockSize);
  for (int c = 0; c < kZ9ColumnCount; ++c) PutU16(block + 2 * c, sizes[c]);
  PutU16(block + kCountOffset, static_cast<std::uint16_t>(n));
  std::memcpy(block + kZ9DataHeadSize, streams.data(), streams.size());
  StorePageChecksum(block, kZ9BlockSize);
  return true;
}

namespace {

bool CheckRanges(const Z9Columns& c, std::string* why) {
  for (std::uint32_t i = 0; i < c.count; ++i) {
    const std::int32_t zip = c.At(Z9Column::kZip, i);
    const std::int32_t add_on = c.At(Z9Column::kAddOn, i);
    const std::int32_t type = c.At(Z9Column::kRecordType, i);
    if (zip < 0 || zip > kZ9MaxZip || add_on < 0 || add_on > kZ9MaxAddOn) {
      return Fail(why, "holds a ZIP Code or add-on out of range");
    }
    if (type < 0 || type > kZ9MaxRecordType) return Fail(why, "holds a record type out of range");
    if (!c.RecordAt(i).HasUnitCentroid()) return Fail(why, "holds a centroid out of range");
    if (i > 0 && c.KeyAt(i) < c.KeyAt(i - 1)) return Fail(why, "holds keys out of order");
  }
  return true;
}

}  // namespace

bool DecodeDataBlock(const std::uint8_t* block, std::uint8_t version, std::uint32_t max_records,
                     Z9Columns* out, std::string* why) {
  const std::uint32_t count = GetU16(block + kCountOffset);
  if (count == 0 || count > max_records) return Fail(why, "has a record count out of range");
  std::size_t at = kZ9DataHeadSize;
  out->count = count;
  for (int c = 0; c < kZ9ColumnCount; ++c) {
    const std::size_t size = GetU16(block + 2 * c);
    if (c >= ColumnsOf(version)) {
      if (size != 0) return Fail(why, "has a column its file version does not have");
      std::fill_n(out->values[c].begin(), count, 0);
      continue;
    }
    if (size > kZ9BlockPayload - at) return Fail(why, "has columns larger than the block");
    ColumnReader reader;
    if (!reader.Open(block + at, size, count) || !reader.DecodeAll(out->values[c].data(), 1)) {
      return Fail(why, "holds a damaged column stream");
    }
    at += size;
  }
  return CheckRanges(*out, why);
}

}  // namespace lumetra
