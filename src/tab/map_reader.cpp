#include "tab/map_reader.h"

#include <cstring>

#include "frame/byte_order.h"
#include "tab/tab_error.h"

namespace lumetra::tab {
namespace {

constexpr std::uint32_t kObjectBlockHeader = 20;
constexpr std::uint32_t kCoordBlockHeader = 8;
constexpr std::size_t kLongestObjectHeader = 80;

std::int64_t I16(const std::uint8_t* p) { return static_cast<std::int16_t>(GetU16(p)); }
std::int64_t I32(const std::uint8_t* p) { return GetI32(p); }

}  // namespace

// The object being read: its row, position, stored type, header bytes and
// the centre of its object block.
struct MapReader::Cursor {
  std::int32_t row = 0;
  std::uint32_t offset = 0;
  MapTypeInfo type;
  std::uint8_t bytes[kLongestObjectHeader] = {};
  std::size_t length = 0;  // header bytes available
  std::int64_t center_x = 0, center_y = 0;
};

void MapReader::Open(const std::string& path) {
  file_.Open(path, TabFile::Mode::kRead);
  std::uint8_t bytes[0x200];
  const std::size_t got = file_.ReadSome(0, bytes, sizeof bytes);
  header_ = MapHeader::DecodeFrom(bytes, got, path);
}

void MapReader::Damaged(std::int32_t row, std::uint32_t offset, const char* what,
                        long long value) const {
  ThrowTabError(kTXErrFormat, "%s: object of row %d at offset %u: %s (%lld)", file_.path().c_str(),
                row, offset, what, value);
}

void MapReader::AddPoint(std::int64_t ix, std::int64_t iy, MapObject* object) const {
  // Compressed points are origin + i16; the sum may leave the i32 range
  // only in a damaged file, where any value will do.
  object->xy.push_back(header_.ToX(static_cast<std::int32_t>(ix)));
  object->xy.push_back(header_.ToY(static_cast<std::int32_t>(iy)));
}

void MapReader::ReadObject(std::uint32_t offset, std::int32_t row, MapObject* object) {
  object->Clear();
  if (offset == 0) return;
  Cursor c;
  c.row = row;
  c.offset = offset;
  const std::uint32_t block = offset - offset % header_.block_size;
  std::uint8_t block_header[kObjectBlockHeader];
  if (block < kMapBlockSize || offset >= file_.size())
    Damaged(row, offset, "position outside the object blocks", offset);
  file_.ReadAt(block, block_header, sizeof block_header, "object block header");
  const std::uint32_t used = GetU16(block_header + 2);
  if (GetU16(block_header) != 2)
    Damaged(row, offset, "block is not an object block", GetU16(block_header));
  if (offset < block + kObjectBlockHeader || offset >= block + kObjectBlockHeader + used) {
    Damaged(row, offset, "position outside its block's objects", used);
  }
  c.center_x = I32(block_header + 4);
  c.center_y = I32(block_header + 8);
  c.length = file_.ReadSome(offset, c.bytes, sizeof c.bytes);
  c.type = DescribeMapType(c.bytes[0]);
  if (!c.type.known) Damaged(row, offset, "unknown object type", c.bytes[0]);
  if (c.length < 5)
    Damaged(row, offset, "object header cut short", static_cast<long long>(c.length));
  const std::int64_t stored_row = I32(c.bytes + 1);
  if (stored_row != row) Damaged(row, offset, "object belongs to another row", stored_row);
  object->type = c.type.tx_type;
  switch (c.type.kind) {
    case MapKind::kSymbol:
      return ReadPoint(c, 5, object);
    case MapKind::kFontSymbol:
      return ReadPoint(c, 17, object);
    case MapKind::kCustomSymbol:
      return ReadPoint(c, 7, object);
    case MapKind::kLine: {
      ReadPoint(c, 5, object);
      ReadPoint(c, c.type.compressed ? 9 : 13, object);
      object->counts.assign(1, 2);
      return;
    }
    case MapKind::kPolyline:
      return ReadPolyline(c, object);
    case MapKind::kMulti:
    case MapKind::kRegion:
      return ReadSections(c, c.type.kind == MapKind::kRegion, object);
    default:
      return;
  }
}

void MapReader::ReadPoint(const Cursor& c, int at, MapObject* object) {
  const std::size_t width = c.type.compressed ? 2 : 4;
  if (c.length < static_cast<std::size_t>(at) + 2 * width)
    Damaged(c.row, c.offset, "object header cut short", static_cast<long long>(c.length));
  if (c.type.compressed) {
    AddPoint(c.center_x + I16(c.bytes + at), c.center_y + I16(c.bytes + at + 2), object);
  } else {
    AddPoint(I32(c.bytes + at), I32(c.bytes + at + 4), object);
  }
  object->counts.assign(1, static_cast<std::int32_t>(object->xy.size() / 2));
}

void MapReader::ReadCoordinates(std::int32_t row, std::uint32_t start, std::uint32_t size) {
  if (size > file_.size()) Damaged(row, start, "coordinate data longer than the file", size);
  coords_.resize(size);
  std::uint32_t done = 0;
  std::uint32_t at = start;
  while (done < size) {
    const std::uint32_t block = at - at % header_.block_size;
    std::uint8_t head[kCoordBlockHeader];
    if (block < kMapBlockSize) Damaged(row, at, "coordinate position outside the blocks", at);
    file_.ReadAt(block, head, sizeof head, "coordinate block header");
    const std::uint32_t used = GetU16(head + 2);
    const std::uint32_t end = block + kCoordBlockHeader + used;
    if (GetU16(head) != 3) Damaged(row, at, "block is not a coordinate block", GetU16(head));
    if (used > header_.block_size - kCoordBlockHeader || at < block + kCoordBlockHeader ||
        at >= end) {
      Damaged(row, at, "coordinate position outside its block's data", used);
    }
    const std::uint32_t take = std::min(end - at, size - done);
    file_.ReadAt(at, coords_.data() + done, take, "coordinate data");
    done += take;
    if (done < size) {
      const std::int64_t next = I32(head + 4);
      // Chains run forward; a link back could loop forever.
      if (next <= static_cast<std::int64_t>(block) || next % header_.block_size != 0) {
        Damaged(row, at, "coordinate chain broken: next block", next);
      }
      at = static_cast<std::uint32_t>(next) + kCoordBlockHeader;
    }
  }
}

void MapReader::ReadPolyline(const Cursor& c, MapObject* object) {
  const bool z = c.type.compressed;
  if (c.length < (z ? 25u : 13u))
    Damaged(c.row, c.offset, "object header cut short", static_cast<long long>(c.length));
  const std::uint32_t start = GetU32(c.bytes + 5);
  const std::uint32_t size = GetU32(c.bytes + 9);
  const std::uint32_t vertex = z ? 4 : 8;
  if (size % vertex != 0) Damaged(c.row, c.offset, "coordinate data not whole points", size);
  ReadCoordinates(c.row, start, size);
  const std::int64_t ox = z ? I32(c.bytes + 17) : 0;
  const std::int64_t oy = z ? I32(c.bytes + 21) : 0;
  object->xy.reserve(2 * (size / vertex));
  for (std::uint32_t at = 0; at < size; at += vertex) {
    const std::uint8_t* p = coords_.data() + at;
    if (z) {
      AddPoint(ox + I16(p), oy + I16(p + 2), object);
    } else {
      AddPoint(I32(p), I32(p + 4), object);
    }
  }
  object->counts.assign(1, static_cast<std::int32_t>(size / vertex));
}

void MapReader::ReadSections(const Cursor& c, bool region, MapObject* object) {
  const bool z = c.type.compressed;
  const bool v800 = c.type.version >= 800;
  const std::size_t label = v800 ? 50 : 15;  // after the section count (and 33 more bytes)
  if (c.length < label + (z ? 12 : 8))
    Damaged(c.row, c.offset, "object header cut short", static_cast<long long>(c.length));
  const std::int64_t sections = v800 ? I32(c.bytes + 13) : I16(c.bytes + 13);
  const std::uint32_t start = GetU32(c.bytes + 5);
  const std::uint32_t size = GetU32(c.bytes + 9);
  if (sections < 0) Damaged(c.row, c.offset, "negative section count", sections);
  ReadCoordinates(c.row, start, size);
  const std::int64_t ox = z ? I32(c.bytes + label + 4) : 0;
  const std::int64_t oy = z ? I32(c.bytes + label + 8) : 0;
  DecodeSections(c, static_cast<std::int32_t>(sections), ox, oy, object);
  if (!region) object->holes.clear();
}

void MapReader::DecodeSections(const Cursor& c, std::int32_t sections, std::int64_t ox,
                               std::int64_t oy, MapObject* object) {
  const bool z = c.type.compressed;
  const int version = c.type.version;
  const std::size_t count_width = version >= 450 ? 4 : 2;
  const std::size_t holes_width = version >= 800 ? 4 : 2;
  const std::size_t header = count_width + holes_width + (z ? 8 : 16) + 4;
  const std::int64_t unit = version >= 450 ? 28 : 24;  // offsets count headers at this size
  const std::size_t vertex = z ? 4 : 8;
  const std::size_t size = coords_.size();
  if (static_cast<std::uint64_t>(sections) * header > size) {
    Damaged(c.row, c.offset, "section headers longer than the coordinate data", sections);
  }
  const std::size_t data = sections * header;
  const std::int64_t vertices = static_cast<std::int64_t>((size - data) / vertex);
  std::int64_t total = 0;
  for (std::int32_t s = 0; s < sections; ++s) {
    const std::uint8_t* h = coords_.data() + s * header;
    const std::int64_t n = count_width == 4 ? I32(h) : I16(h);
    const std::int64_t holes = holes_width == 4 ? I32(h + count_width) : I16(h + count_width);
    const std::int64_t first = (I32(h + header - 4) - unit * sections) / 8;
    if (n < 0 || first < 0 || first + n > vertices || total + n > vertices) {
      Damaged(c.row, c.offset, "section points outside the coordinate data", n);
    }
    total += n;
    object->counts.push_back(static_cast<std::int32_t>(n));
    object->holes.push_back(holes < 0 ? 0 : static_cast<std::int32_t>(holes));
    for (std::int64_t k = 0; k < n; ++k) {
      const std::uint8_t* p = coords_.data() + data + (first + k) * vertex;
      if (z) {
        AddPoint(ox + I16(p), oy + I16(p + 2), object);
      } else {
        AddPoint(I32(p), I32(p + 4), object);
      }
    }
  }
}

}  // namespace lumetra::tab
