#include "tab/map_writer.h"

#include <algorithm>
#include <cmath>

#include "frame/byte_order.h"
#include "tab/ring_nesting.h"
#include "tab/tab_error.h"

namespace lumetra::tab {
namespace {

constexpr std::uint32_t kObjectBlockHeader = 20;
constexpr std::uint32_t kCoordBlockHeader = 8;
constexpr std::size_t kIndexEntries = 25;
constexpr std::int32_t kMaxSections = 32767;
constexpr std::int32_t kMaxShortCount = 32767;
constexpr double kGridLimit = 1e9;  // |integer coordinate| of the bounds stays below this

constexpr std::uint8_t kSymbol = 0x02, kLine = 0x05, kPolyline = 0x08, kMulti = 0x26,
                       kRegion = 0x0e, kMulti450 = 0x32, kRegion450 = 0x2f;

void Put32(std::vector<std::uint8_t>* b, std::int32_t v) {
  const std::size_t at = b->size();
  b->resize(at + 4);
  PutI32(b->data() + at, v);
}

void Put16(std::vector<std::uint8_t>* b, std::int32_t v) {
  const std::size_t at = b->size();
  b->resize(at + 2);
  PutU16(b->data() + at, static_cast<std::uint16_t>(v));
}

// The scale that puts the bounds inside +-kGridLimit integer units: the
// largest power of ten that fits (1,000,000 for bounds of +-1,000).
double GridScale(const TXTableInfo& info) {
  const double extent = std::max(
      {std::fabs(info.min_x), std::fabs(info.max_x), std::fabs(info.min_y), std::fabs(info.max_y)});
  double scale = 1e9;
  while (scale > 1e-9 && extent * scale > kGridLimit) scale /= 10;
  return scale;
}

}  // namespace

void MapWriter::Box::Add(std::int32_t x, std::int32_t y) {
  min_x = std::min(min_x, x);
  min_y = std::min(min_y, y);
  max_x = std::max(max_x, x);
  max_y = std::max(max_y, y);
}

void MapWriter::Box::Add(const Box& b) {
  if (b.empty()) return;
  Add(b.min_x, b.min_y);
  Add(b.max_x, b.max_y);
}

void MapWriter::Create(const std::string& path, const TXTableInfo& info) {
  const bool finite = std::isfinite(info.min_x) && std::isfinite(info.max_x) &&
                      std::isfinite(info.min_y) && std::isfinite(info.max_y);
  if (!finite || !(info.min_x < info.max_x) || !(info.min_y < info.max_y)) {
    ThrowTabError(kTXErrArgument, "%s: bounds %g, %g - %g, %g are not a rectangle", path.c_str(),
                  info.min_x, info.min_y, info.max_x, info.max_y);
  }
  header_.coordsys = info.coordsys;
  header_.x_scale = header_.y_scale = GridScale(info);
  file_.Open(path, TabFile::Mode::kCreate);
  const std::vector<std::uint8_t> placeholder(kMapHeaderSize, 0);
  file_.WriteAt(0, placeholder.data(), placeholder.size());
}

void MapWriter::ToGrid(const MapObject& object, std::int32_t row,
                       std::vector<std::int32_t>* ixy) const {
  ixy->resize(object.xy.size());
  for (std::size_t i = 0; i + 1 < object.xy.size(); i += 2) {
    if (!header_.ToInt(object.xy[i], object.xy[i + 1], &(*ixy)[i], &(*ixy)[i + 1])) {
      ThrowTabError(kTXErrCoordinate, "%s: row %d: point (%g, %g) lies outside the table's grid",
                    file_.path().c_str(), row, object.xy[i], object.xy[i + 1]);
    }
  }
}

MapWriter::Encoded MapWriter::Encode(const MapObject& object, std::int32_t row) const {
  std::vector<std::int32_t> ixy;
  ToGrid(object, row, &ixy);
  Encoded out;
  for (std::size_t i = 0; i + 1 < ixy.size(); i += 2) out.box.Add(ixy[i], ixy[i + 1]);
  if (out.box.empty()) {
    ThrowTabError(kTXErrObject, "%s: row %d: object of type %d has no points", file_.path().c_str(),
                  row, object.type);
  }
  std::vector<std::uint8_t>& h = out.head;
  const std::size_t points = ixy.size() / 2;
  switch (object.type) {
    case kTXPoint:
      h = {kSymbol};
      Put32(&h, row);
      Put32(&h, ixy[0]);
      Put32(&h, ixy[1]);
      h.push_back(1);  // symbol 1 of the tool block
      return out;
    case kTXLine:
      if (points != 2) break;
      h = {kLine};
      Put32(&h, row);
      for (int i = 0; i < 4; ++i) Put32(&h, ixy[i]);
      h.push_back(1);  // pen 1
      return out;
    case kTXPolyline:
      h = {kPolyline};
      Put32(&h, row);
      Put32(&h, 0);  // coordinate position and size, set when placed
      Put32(&h, static_cast<std::int32_t>(points * 8));
      for (std::int32_t v : ixy) Put32(&out.coords, v);
      Put32(&h, out.box.min_x / 2 + out.box.max_x / 2);
      Put32(&h, out.box.min_y / 2 + out.box.max_y / 2);
      for (std::int32_t v : {out.box.min_x, out.box.min_y, out.box.max_x, out.box.max_y}) {
        Put32(&h, v);
      }
      h.push_back(1);
      return out;
    case kTXMultiPolyline:
    case kTXRegion:
      EncodeSections(object, ixy, &out);
      return out;
    default:
      break;
  }
  ThrowTabError(kTXErrObject, "%s: row %d: object type %d with %zu points cannot be written",
                file_.path().c_str(), row, object.type, points);
}

void MapWriter::EncodeSections(const MapObject& object, const std::vector<std::int32_t>& ixy,
                               Encoded* out) const {
  const bool region = object.type == kTXRegion;
  // Sections as stored: empty ones dropped, rings closed.
  std::vector<std::int32_t> xy;
  std::vector<std::int32_t> counts;
  std::size_t at = 0;
  for (std::int32_t n : object.counts) {
    const std::int32_t* p = ixy.data() + at;
    at += 2 * static_cast<std::size_t>(n);
    if (n <= 0) continue;
    xy.insert(xy.end(), p, p + 2 * n);
    const bool close = region && (p[0] != p[2 * n - 2] || p[1] != p[2 * n - 1]);
    if (close) xy.insert(xy.end(), p, p + 2);
    counts.push_back(n + (close ? 1 : 0));
  }
  RingOrder order;
  if (region) {
    order = NestRings(xy, counts);
  } else {
    for (std::size_t i = 0; i < counts.size(); ++i) order.order.push_back(i);
    order.holes.assign(counts.size(), 0);
  }
  const std::int32_t sections = static_cast<std::int32_t>(counts.size());
  if (sections > kMaxSections) {
    ThrowTabError(kTXErrObject, "%s: %d sections are more than an object can hold (%d)",
                  file_.path().c_str(), sections, kMaxSections);
  }
  const bool wide = *std::max_element(counts.begin(), counts.end()) > kMaxShortCount;
  std::vector<std::size_t> starts(counts.size());
  for (std::size_t i = 0, s = 0; i < counts.size(); s += 2 * counts[i], ++i) starts[i] = s;
  std::vector<std::uint8_t>& c = out->coords;
  std::int32_t vertex = 0;
  for (std::size_t k = 0; k < order.order.size(); ++k) {
    const std::size_t i = order.order[k];
    Box box;
    for (std::int32_t v = 0; v < counts[i]; ++v)
      box.Add(xy[starts[i] + 2 * v], xy[starts[i] + 2 * v + 1]);
    if (wide) {
      Put32(&c, counts[i]);
    } else {
      Put16(&c, counts[i]);
    }
    Put16(&c, order.holes[k]);
    for (std::int32_t v : {box.min_x, box.min_y, box.max_x, box.max_y}) Put32(&c, v);
    // Offsets count every section header at its uncompressed 4.5 or 3.0
    // size, whatever was stored.
    Put32(&c, (wide ? 28 : 24) * sections + 8 * vertex);
    vertex += counts[i];
  }
  for (std::size_t i : order.order) {
    for (std::int32_t v = 0; v < 2 * counts[i]; ++v) Put32(&c, xy[starts[i] + v]);
  }
  std::vector<std::uint8_t>& h = out->head;
  h = {region ? (wide ? kRegion450 : kRegion) : (wide ? kMulti450 : kMulti)};
  Put32(&h, 0);  // row, set below
  Put32(&h, 0);
  Put32(&h, static_cast<std::int32_t>(c.size()));
  Put16(&h, sections);
  Put32(&h, out->box.min_x / 2 + out->box.max_x / 2);
  Put32(&h, out->box.min_y / 2 + out->box.max_y / 2);
  for (std::int32_t v : {out->box.min_x, out->box.min_y, out->box.max_x, out->box.max_y}) {
    Put32(&h, v);
  }
  h.push_back(1);              // pen 1
  if (region) h.push_back(1);  // brush 1
}

std::uint32_t MapWriter::AllocateBlock() {
  const std::uint32_t block = next_block_;
  if (block > UINT32_MAX - 2 * kMapBlockSize) {
    ThrowTabError(kTXErrWrite, "%s: the object file cannot grow past 4 GB", file_.path().c_str());
  }
  next_block_ += kMapBlockSize;
  return block;
}

void MapWriter::PlaceHeader(std::size_t size) {
  if (object_block_ != 0 && kObjectBlockHeader + object_bytes_.size() + size <= kMapBlockSize) {
    return;
  }
  if (object_block_ != 0) {
    FlushCoordBlock();
    FlushObjectBlock();
  }
  object_block_ = AllocateBlock();
  object_bytes_.clear();
  object_box_ = Box();
  first_coord_block_ = last_coord_block_ = 0;
}

void MapWriter::FlushCoordBlock() {
  if (coord_block_ == 0) return;
  std::vector<std::uint8_t> block(kMapBlockSize, 0);
  PutU16(block.data(), 3);
  PutU16(block.data() + 2, static_cast<std::uint16_t>(coord_bytes_.size()));
  std::copy(coord_bytes_.begin(), coord_bytes_.end(), block.begin() + kCoordBlockHeader);
  file_.WriteAt(coord_block_, block.data(), block.size());
  coord_block_ = 0;
  coord_bytes_.clear();
}

std::uint32_t MapWriter::AppendCoordinates(const std::vector<std::uint8_t>& data) {
  constexpr std::size_t kRoom = kMapBlockSize - kCoordBlockHeader;
  const auto next_block = [this] {
    const std::uint32_t block = AllocateBlock();
    if (coord_block_ != 0) {
      // Link the full block to its successor before it is written.
      coord_bytes_.resize(kRoom, 0);
      std::vector<std::uint8_t> bytes(kMapBlockSize, 0);
      PutU16(bytes.data(), 3);
      PutU16(bytes.data() + 2, static_cast<std::uint16_t>(kRoom));
      PutU32(bytes.data() + 4, block);
      std::copy(coord_bytes_.begin(), coord_bytes_.end(), bytes.begin() + kCoordBlockHeader);
      file_.WriteAt(coord_block_, bytes.data(), bytes.size());
    }
    coord_block_ = block;
    coord_bytes_.clear();
    if (first_coord_block_ == 0) first_coord_block_ = block;
    last_coord_block_ = block;
  };
  if (coord_block_ == 0 || coord_bytes_.size() == kRoom) next_block();
  const std::uint32_t start =
      coord_block_ + kCoordBlockHeader + static_cast<std::uint32_t>(coord_bytes_.size());
  std::size_t done = 0;
  while (done < data.size()) {
    if (coord_bytes_.size() == kRoom) next_block();
    const std::size_t take = std::min(kRoom - coord_bytes_.size(), data.size() - done);
    coord_bytes_.insert(coord_bytes_.end(), data.begin() + done, data.begin() + done + take);
    done += take;
  }
  return start;
}

void MapWriter::FlushObjectBlock() {
  std::vector<std::uint8_t> block(kMapBlockSize, 0);
  PutU16(block.data(), 2);
  PutU16(block.data() + 2, static_cast<std::uint16_t>(object_bytes_.size()));
  PutI32(block.data() + 4, object_box_.min_x / 2 + object_box_.max_x / 2);
  PutI32(block.data() + 8, object_box_.min_y / 2 + object_box_.max_y / 2);
  PutU32(block.data() + 12, first_coord_block_);
  PutU32(block.data() + 16, last_coord_block_);
  std::copy(object_bytes_.begin(), object_bytes_.end(), block.begin() + kObjectBlockHeader);
  file_.WriteAt(object_block_, block.data(), block.size());
  leaves_.push_back({object_box_, object_block_});
  object_block_ = 0;
}

std::uint32_t MapWriter::Write(const MapObject& object, std::int32_t row) {
  Encoded e = Encode(object, row);
  PutI32(e.head.data() + 1, row);
  PlaceHeader(e.head.size());
  if (!e.coords.empty()) {
    PutU32(e.head.data() + 5, AppendCoordinates(e.coords));
    header_.max_coord_buffer =
        std::max(header_.max_coord_buffer, static_cast<std::int32_t>(e.coords.size()));
  }
  const std::uint32_t offset =
      object_block_ + kObjectBlockHeader + static_cast<std::uint32_t>(object_bytes_.size());
  object_bytes_.insert(object_bytes_.end(), e.head.begin(), e.head.end());
  object_box_.Add(e.box);
  file_box_.Add(e.box);
  const std::uint8_t code = e.head[0];
  if (code == kRegion450 || code == kMulti450) header_.version = 450;
  if (code == kSymbol) {
    ++header_.num_points;
    ++symbol_users_;
  } else if (code == kRegion || code == kRegion450) {
    ++header_.num_regions;
    ++pen_users_;
    ++brush_users_;
  } else {
    ++header_.num_lines;
    ++pen_users_;
  }
  return offset;
}

void MapWriter::WriteIndex() {
  std::vector<IndexEntry> level = leaves_;
  header_.index_depth = level.empty() ? 0 : 1;
  while (!level.empty()) {
    std::vector<IndexEntry> parents;
    for (std::size_t first = 0; first < level.size(); first += kIndexEntries) {
      const std::size_t count = std::min(kIndexEntries, level.size() - first);
      std::vector<std::uint8_t> block(kMapBlockSize, 0);
      PutU16(block.data(), 1);
      PutU16(block.data() + 2, static_cast<std::uint16_t>(count));
      IndexEntry parent{Box(), AllocateBlock()};
      for (std::size_t k = 0; k < count; ++k) {
        const IndexEntry& e = level[first + k];
        std::uint8_t* p = block.data() + 4 + 20 * k;
        PutI32(p, e.box.min_x);
        PutI32(p + 4, e.box.min_y);
        PutI32(p + 8, e.box.max_x);
        PutI32(p + 12, e.box.max_y);
        PutU32(p + 16, e.block);
        parent.box.Add(e.box);
      }
      file_.WriteAt(parent.block, block.data(), block.size());
      parents.push_back(parent);
    }
    ++header_.index_depth;
    if (parents.size() == 1) {
      header_.root_index = static_cast<std::int32_t>(parents[0].block);
      break;
    }
    level = parents;
  }
}

void MapWriter::WriteToolBlock() {
  std::vector<std::uint8_t> defs;
  header_.pens = pen_users_ > 0 ? 1 : 0;
  header_.brushes = brush_users_ > 0 ? 1 : 0;
  header_.symbols = symbol_users_ > 0 ? 1 : 0;
  if (pen_users_ > 0) {  // width 1, solid, black
    defs.push_back(1);
    Put32(&defs, pen_users_);
    defs.insert(defs.end(), {1, 2, 0, 0, 0, 0});
  }
  if (brush_users_ > 0) {  // hollow, black on white
    defs.push_back(2);
    Put32(&defs, brush_users_);
    defs.insert(defs.end(), {1, 0, 0, 0, 0, 0xff, 0xff, 0xff});
  }
  if (symbol_users_ > 0) {  // symbol 35 (a star), 12 points, black
    defs.push_back(4);
    Put32(&defs, symbol_users_);
    defs.push_back(0);
    Put16(&defs, 35);
    Put16(&defs, 12);
    defs.insert(defs.end(), {0, 0, 0});
  }
  if (defs.empty()) return;
  std::vector<std::uint8_t> block(kMapBlockSize, 0);
  PutU16(block.data(), 5);
  PutU16(block.data() + 2, static_cast<std::uint16_t>(defs.size()));
  std::copy(defs.begin(), defs.end(), block.begin() + kCoordBlockHeader);
  header_.first_tool = static_cast<std::int32_t>(AllocateBlock());
  header_.tool_blocks = 1;
  file_.WriteAt(static_cast<std::uint32_t>(header_.first_tool), block.data(), block.size());
}

void MapWriter::Finish() {
  FlushCoordBlock();
  if (object_block_ != 0) FlushObjectBlock();
  WriteIndex();
  WriteToolBlock();
  if (file_box_.empty()) {
    file_box_.Add(0, 0);
  }
  header_.min_x = file_box_.min_x;
  header_.min_y = file_box_.min_y;
  header_.max_x = file_box_.max_x;
  header_.max_y = file_box_.max_y;
  const std::vector<std::uint8_t> bytes = header_.Encode();
  file_.WriteAt(0, bytes.data(), bytes.size());
  file_.Close();
}

void MapWriter::Abandon() { file_.CloseQuietly(); }

}  // namespace lumetra::tab
