// Object files for the search tests, written from the record and header
// encoders and the two index builders (the import module sits above the
// search module, so its builder cannot be used here); and the brute-force
// models the searches are compared with.
//
// The tree builder puts scratch files into the current directory: callers
// run inside a lumetra_test::ScopedChdir of a temporary directory.
#ifndef LUMETRA_TESTS_SEARCH_SEARCH_TEST_FILES_H
#define LUMETRA_TESTS_SEARCH_SEARCH_TEST_FILES_H

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame/error.h"
#include "objfile/byte_order.h"
#include "objfile/extension_block.h"
#include "objfile/object_header.h"
#include "objfile/object_record.h"
#include "search/point_in_object.h"
#include "storage/rtree_builder.h"
#include "storage/tree_builder.h"
#include "support/search_models.h"

namespace search_test {

using lumetra::ObjectKind;
using lumetra::RecordPoint;
using Ring = std::vector<RecordPoint>;

struct TestObject {
  ObjectKind kind = ObjectKind::kRegion;
  std::string name;
  std::string name2;
  std::vector<Ring> rings;  // regions and lines
  RecordPoint position;     // points
};

inline TestObject Region(const std::string& name, std::vector<Ring> rings) {
  TestObject o;
  o.kind = ObjectKind::kRegion;
  o.name = name;
  o.rings = std::move(rings);
  return o;
}

inline TestObject Line(const std::string& name, std::vector<Ring> pieces) {
  TestObject o = Region(name, std::move(pieces));
  o.kind = ObjectKind::kLine;
  return o;
}

inline TestObject Point(const std::string& name, std::int32_t x, std::int32_t y) {
  TestObject o;
  o.kind = ObjectKind::kPoint;
  o.name = name;
  o.position = RecordPoint{x, y};
  return o;
}

// An axis-parallel rectangle ring, counter-clockwise from its minimum corner.
inline Ring Box(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
  return Ring{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

inline Ring Star(std::mt19937& rng, std::int32_t cx, std::int32_t cy, int n, int rmin, int rmax) {
  return search_models::Star<RecordPoint>(rng, cx, cy, n, rmin, rmax);
}

inline std::vector<lumetra::PolygonPart> PartsOf(const std::vector<Ring>& rings) {
  std::vector<lumetra::PolygonPart> parts;
  for (const Ring& r : rings) parts.push_back(lumetra::PolygonPart{r.size(), r.data()});
  return parts;
}

using search_models::HalfOpenCrossings;

// Feet per unit along x and y for an object of a geographic file (from the
// latitude of its record's minimum y, the rectangle being widened by one
// unit), or 1 and 1 in plain files.
inline std::pair<double, double> ScalesOf(const TestObject& o, bool geographic) {
  if (!geographic) return {1.0, 1.0};
  double min_y = 1e18;
  for (const Ring& r : o.rings)
    for (const RecordPoint& p : r) min_y = std::min(min_y, static_cast<double>(p.y));
  return {0.36432 * std::cos((min_y - 1) * 1.745329252e-8), 0.36432};
}

// The exact distance from (x, y) to an object's border (closed rings for
// regions, open chains for lines), in feet for geographic files.
inline double BruteBorderDistance(const TestObject& o, bool geographic, std::int32_t x,
                                  std::int32_t y) {
  const auto [sx, sy] = ScalesOf(o, geographic);
  return search_models::EdgeDistance(o.rings, o.kind == ObjectKind::kRegion, x, y, sx, sy);
}

struct FileOptions {
  bool compressed = false;
  bool segments = false;
  bool geographic = false;
  bool extension = false;
  bool tax = false;
};

// The segment records of one record: one per edge of each ring (a region
// ring also counting its closing edge), relative to the record's origin,
// in feet for geographic files, each edge running from its smaller x
// (smaller y among equal x) to its larger.
inline void AddSegments(lumetra::PolyRecord* r, bool closed, bool geographic) {
  const lumetra::RecordPoint origin = r->Origin();
  const double y_scale = geographic ? 0.36432 : 1.0;
  const double x_scale = geographic ? 0.36432 * std::cos(origin.y * 1.745329252e-8) : 1.0;
  const auto scaled = [&](const RecordPoint& p, double* x, double* y) {
    *x = (static_cast<double>(p.x) - origin.x) * x_scale;
    *y = (static_cast<double>(p.y) - origin.y) * y_scale;
  };
  std::size_t start = 0;
  for (std::uint32_t count : r->ring_counts) {
    const std::size_t edges = closed ? count : (count > 0 ? count - 1 : 0);
    for (std::size_t e = 0; e < edges && count > 1; ++e) {
      RecordPoint a = r->points[start + e];
      RecordPoint b = r->points[start + (e + 1) % count];
      if (b.x < a.x || (b.x == a.x && b.y < a.y)) std::swap(a, b);
      double ax, ay, bx, by;
      scaled(a, &ax, &ay);
      scaled(b, &bx, &by);
      const double length = std::hypot(bx - ax, by - ay);
      lumetra::SegmentRecord s;
      const bool starts_high = ay > by;
      s.start_x = static_cast<std::int32_t>(std::lround(ax));
      if (starts_high)
        s.start_x = static_cast<std::int32_t>(static_cast<std::uint32_t>(s.start_x) |
                                              lumetra::SegmentRecord::kStartsAtMaxY);
      s.min_y = static_cast<std::int32_t>(std::lround(std::min(ay, by)));
      s.max_x = static_cast<std::int32_t>(std::lround(bx));
      s.max_y = static_cast<std::int32_t>(std::lround(std::max(ay, by)));
      s.length = static_cast<std::int32_t>(std::lround(length));
      s.direction_x =
          length > 0 ? static_cast<std::int32_t>(std::lround((bx - ax) / length * 1e7)) : 0;
      s.direction_y =
          length > 0 ? static_cast<std::int32_t>(std::lround((by - ay) / length * 1e7)) : 0;
      r->segments.push_back(s);
    }
    start += count;
  }
}

// The record of one object, as the builder lays it out.
inline lumetra::PolyRecord MakePolyRecord(const TestObject& o, const FileOptions& opt,
                                          std::uint32_t ordinal) {
  lumetra::PolyRecord r;
  r.kind = o.kind;
  r.record_flags = lumetra::kRecordFlagCurrent;
  if (opt.segments) r.record_flags |= lumetra::kRecordFlagSegments;
  if (opt.compressed) r.record_flags |= lumetra::kRecordFlagCompressed;
  r.name = o.name;
  r.second_name = o.name2;
  r.pen_colour = ordinal;
  r.pen_width = 1;
  r.pen_pattern = 2;
  if (o.kind == ObjectKind::kRegion) {
    r.brush_pattern = 3;
    r.brush_foreground = 4;
    r.brush_background = 5;
  }
  lumetra::Rect box = lumetra::EmptyBounds();
  for (const Ring& ring : o.rings) {
    if (ring.empty()) continue;
    r.ring_counts.push_back(static_cast<std::uint32_t>(ring.size()));
    for (const RecordPoint& p : ring) {
      r.points.push_back(p);
      box.Include(lumetra::Rect{p.x, p.y, p.x, p.y});
    }
  }
  r.label_x = static_cast<std::int32_t>((std::int64_t{box.minx} + box.maxx) / 2);
  r.label_y = static_cast<std::int32_t>((std::int64_t{box.miny} + box.maxy) / 2);
  r.bounds = lumetra::Rect{box.minx - 1, box.miny - 1, box.maxx + 1, box.maxy + 1};
  if (opt.segments) AddSegments(&r, o.kind == ObjectKind::kRegion, opt.geographic);
  return r;
}

class Fd {
 public:
  explicit Fd(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600)) {
    if (fd_ < 0) throw std::runtime_error("cannot create " + path);
  }
  ~Fd() { ::close(fd_); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  std::uint64_t Append(const std::vector<std::uint8_t>& bytes) {
    const off_t at = ::lseek(fd_, 0, SEEK_END);
    WriteAt(at, bytes);
    return static_cast<std::uint64_t>(at);
  }
  void WriteAt(off_t at, const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return;
    if (::pwrite(fd_, bytes.data(), bytes.size(), at) != static_cast<ssize_t>(bytes.size())) {
      throw std::runtime_error("short write");
    }
  }

 private:
  int fd_;
};

struct WrittenFile {
  std::vector<std::uint64_t> offsets;  // record offset of each object, in order
  lumetra::ObjectHeader header;
};

// Writes a current-layout object file of `objects` to `path`.
inline WrittenFile WriteObjectFile(const std::string& path, const std::vector<TestObject>& objects,
                                   const FileOptions& opt = FileOptions()) {
  QError err;
  std::uint16_t flags = 0;
  if (opt.segments) flags |= lumetra::ObjectHeader::kFlagSegments;
  if (opt.compressed) flags |= lumetra::ObjectHeader::kFlagCompressed;
  if (opt.tax) flags |= lumetra::ObjectHeader::kFlagTax;
  WrittenFile out;
  out.header = lumetra::ObjectHeader::ForNewFile(flags, opt.geographic ? 1 : 0);
  Fd fd(path);
  fd.Append(std::vector<std::uint8_t>(lumetra::ObjectHeader::kEncodedSize, 0));
  lumetra::ExtensionBlock block = lumetra::ExtensionBlock::ForNewFile(7, "source", "second", 0);
  if (opt.extension) {
    out.header.extension_flag = 1;
    fd.Append(std::vector<std::uint8_t>(lumetra::ExtensionBlock::kEncodedSize, 0));
  }
  QTreeBuilder names(err);
  lumetra::RtreeBuilder rtree(err);
  std::uint32_t ordinal = 0;
  for (const TestObject& o : objects) {
    ++ordinal;
    std::vector<std::uint8_t> bytes;
    lumetra::Rect rect;
    std::uint32_t points = 0;
    std::uint32_t rings = 0;
    if (o.kind == ObjectKind::kPoint) {
      lumetra::PointRecord p;
      p.x = o.position.x;
      p.y = o.position.y;
      p.symbol_colour = ordinal;
      p.symbol_size = 6;
      p.symbol_shape = 7;
      p.name = o.name;
      p.second_name = o.name2;
      p.EncodeTo(&bytes);
      rect = p.Bounds();
    } else {
      const lumetra::PolyRecord r = MakePolyRecord(o, opt, ordinal);
      if (!r.EncodeTo(&bytes).ok) throw std::runtime_error("record not encodable");
      rect = r.bounds;
      points = static_cast<std::uint32_t>(r.points.size());
      rings = static_cast<std::uint32_t>(r.ring_counts.size());
    }
    const std::uint64_t at = fd.Append(bytes);
    out.offsets.push_back(at);
    out.header.AddRecord(o.kind, static_cast<std::uint32_t>(bytes.size()), points, rings, rect);
    const lumetra::NamesBlock::Key key = lumetra::NamesBlock::KeyOf(o.name, o.name2);
    std::uint8_t value[8];
    lumetra::PutU64(value, at);
    if (!names.Add(key.data(), value) || !rtree.Add(rect, at)) throw std::runtime_error("index");
  }
  const std::uint64_t name_root = names.Build(fd.get());
  const std::int64_t rtree_page = rtree.Build(fd.get());
  if (name_root == QTreeBuilder::kBuildFailed || rtree_page < 0) {
    throw std::runtime_error(std::string("index build failed: ") + err.detail());
  }
  out.header.SetIndexRoots(name_root, static_cast<std::uint64_t>(rtree_page) * 32768);
  std::vector<std::uint8_t> header_bytes;
  out.header.EncodeTo(&header_bytes);
  fd.WriteAt(0, header_bytes);
  if (opt.extension) {
    std::vector<std::uint8_t> block_bytes;
    block.EncodeTo(&block_bytes);
    fd.WriteAt(static_cast<off_t>(lumetra::ExtensionBlock::kFileOffset), block_bytes);
  }
  return out;
}

}  // namespace search_test

#endif  // LUMETRA_TESTS_SEARCH_SEARCH_TEST_FILES_H
