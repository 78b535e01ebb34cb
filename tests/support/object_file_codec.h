// Object files of test objects written from the record and header
// encoders and the two index builders (below the import module, so that
// the search tests can use them), and finished object files decoded record
// by record.  The tree builder puts scratch files into the current
// directory: callers run inside a scratch directory.
#ifndef LUMETRA_TESTS_SUPPORT_OBJECT_FILE_CODEC_H
#define LUMETRA_TESTS_SUPPORT_OBJECT_FILE_CODEC_H

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "frame/error.h"
#include "objfile/byte_order.h"
#include "objfile/extension_block.h"
#include "objfile/object_header.h"
#include "objfile/object_record.h"
#include "search/point_in_object.h"
#include "storage/rtree_builder.h"
#include "storage/tree_builder.h"
#include "support/test_files.h"
#include "support/test_objects.h"

namespace test_objects {

using lumetra::ObjectKind;
using lumetra::RecordPoint;
using Bytes = std::vector<std::uint8_t>;

inline std::vector<lumetra::PolygonPart> PartsOf(
    const std::vector<std::vector<RecordPoint>>& rings) {
  std::vector<lumetra::PolygonPart> parts;
  for (const auto& r : rings) parts.push_back(lumetra::PolygonPart{r.size(), r.data()});
  return parts;
}

// Feet per unit along x and y at latitude `y` of a geographic file, or 1
// and 1 in plain files.
inline std::pair<double, double> FeetPerUnit(double y, bool geographic) {
  if (!geographic) return {1.0, 1.0};
  return {0.36432 * std::cos(y * 1.745329252e-8), 0.36432};
}

// The scales of an object's record (at the latitude of its minimum y, the
// rectangle being widened by one unit).
inline std::pair<double, double> ScalesOf(const TestObject& o, bool geographic) {
  double min_y = 1e18;
  for (const Ring& r : o.rings)
    for (const XY& p : r) min_y = std::min(min_y, static_cast<double>(p.y));
  return FeetPerUnit(min_y - 1, geographic);
}

// The exact distance from (x, y) to an object's border (closed rings for
// regions, open chains for lines), in feet for geographic files.
inline double BruteBorderDistance(const TestObject& o, bool geographic, std::int32_t x,
                                  std::int32_t y) {
  const auto [sx, sy] = ScalesOf(o, geographic);
  return search_models::EdgeDistance(o.rings, o.type == PIP_OBJECT_REGION, x, y, sx, sy);
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
  const std::pair<double, double> scale = FeetPerUnit(origin.y, geographic);
  const double x_scale = scale.first;
  const double y_scale = scale.second;
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
  r.kind = static_cast<ObjectKind>(o.type);
  r.record_flags = lumetra::kRecordFlagCurrent;
  if (opt.segments) r.record_flags |= lumetra::kRecordFlagSegments;
  if (opt.compressed) r.record_flags |= lumetra::kRecordFlagCompressed;
  r.name = o.name;
  r.second_name = o.name2;
  r.pen_colour = ordinal;
  r.pen_width = 1;
  r.pen_pattern = 2;
  if (o.type == PIP_OBJECT_REGION) {
    r.brush_pattern = 3;
    r.brush_foreground = 4;
    r.brush_background = 5;
  }
  lumetra::Rect box = lumetra::EmptyBounds();
  for (const Ring& ring : o.rings) {
    if (ring.empty()) continue;
    r.ring_counts.push_back(static_cast<std::uint32_t>(ring.size()));
    for (const XY& p : ring) {
      r.points.push_back(RecordPoint{p.x, p.y});
      box.Include(lumetra::Rect{p.x, p.y, p.x, p.y});
    }
  }
  r.label_x = static_cast<std::int32_t>((std::int64_t{box.minx} + box.maxx) / 2);
  r.label_y = static_cast<std::int32_t>((std::int64_t{box.miny} + box.maxy) / 2);
  r.bounds = lumetra::Rect{box.minx - 1, box.miny - 1, box.maxx + 1, box.maxy + 1};
  if (opt.segments) AddSegments(&r, o.type == PIP_OBJECT_REGION, opt.geographic);
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
    const ObjectKind kind = static_cast<ObjectKind>(o.type);
    if (kind == ObjectKind::kPoint) {
      lumetra::PointRecord p;
      p.x = o.at.x;
      p.y = o.at.y;
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
    out.header.AddRecord(kind, static_cast<std::uint32_t>(bytes.size()), points, rings, rect);
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

// One record of a finished object file: the fields of either record kind
// under one set of names (a point has one point and no rings), and the
// decoded poly record itself for regions and lines.
struct StoredObject {
  ObjectKind kind = ObjectKind::kRegion;
  std::size_t offset = 0;
  std::string name, name2;
  int id = 0;
  std::vector<std::uint32_t> rings;
  std::vector<RecordPoint> points;
  std::int32_t label_x = 0, label_y = 0;
  std::uint32_t colour = 0;  // pen or symbol colour: the object's ordinal unless styled
  int pen_width = 0, pen_pattern = 0;
  std::uint32_t brush_pattern = 0, brush_foreground = 0, brush_background = 0;
  int symbol_shape = 0, symbol_size = 0;
  lumetra::Rect bounds;
  lumetra::PolyRecord poly;

  // The points split by ring; a point is one part of one point.
  std::vector<std::vector<RecordPoint>> Parts() const {
    if (kind == ObjectKind::kPoint) return {points};
    std::vector<std::vector<RecordPoint>> parts;
    auto at = points.begin();
    for (std::uint32_t n : rings) {
      parts.emplace_back(at, at + n);
      at += n;
    }
    return parts;
  }
};

// A stored object in one line of text, for comparing whole objects:
//   line "ln"/"b" colour 65280 rings 2 (0,0) (10000000,-10000000) label 5000000,-5000000 pen 3,4
// Id, label, pen, brush and symbol appear only when not zero; points have
// no rings; "rings -" is a poly record without rings.
inline std::string Describe(const StoredObject& s) {
  static const char* kKinds[] = {"region", "line", "point"};
  // " what v1,v2,..." unless every value is 0 (always for `always`).
  auto numbers = [](const char* what, std::vector<long long> values, bool always = false) {
    std::string text;
    for (long long v : values) {
      text += (text.empty() ? "" : ",") + std::to_string(v);
      always = always || v != 0;
    }
    return always ? std::string(" ") + what + " " + (text.empty() ? "-" : text) : std::string();
  };
  std::string out = std::string(kKinds[static_cast<int>(s.kind)]) + " \"" + s.name + "\"";
  if (!s.name2.empty()) out += "/\"" + s.name2 + "\"";
  out += numbers("id", {s.id}) + numbers("colour", {s.colour}, true);
  if (s.kind != ObjectKind::kPoint) {
    out += numbers("rings", std::vector<long long>(s.rings.begin(), s.rings.end()), true);
  }
  for (const RecordPoint& p : s.points) {
    out += " (" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
  }
  return out + numbers("label", {s.label_x, s.label_y}) +
         numbers("pen", {s.pen_width, s.pen_pattern}) +
         numbers("brush", {s.brush_pattern, s.brush_foreground, s.brush_background}) +
         numbers("symbol", {s.symbol_shape, s.symbol_size});
}

inline std::vector<std::string> Describe(const std::vector<StoredObject>& objects) {
  std::vector<std::string> out;
  for (const StoredObject& s : objects) out.push_back(Describe(s));
  return out;
}

struct ObjectFileContents {
  Bytes bytes;
  lumetra::ObjectHeader header;
  std::vector<StoredObject> objects;
};

inline StoredObject DecodeRecord(const Bytes& bytes, std::size_t at,
                                 const lumetra::RecordContext& ctx, ObjectKind kind, QError* err) {
  StoredObject s;
  s.kind = kind;
  s.offset = at;
  if (kind == ObjectKind::kPoint) {
    lumetra::PointRecord r;
    EXPECT_TRUE(r.DecodeFrom(bytes.data() + at, bytes.size() - at, ctx, err)) << err->detail();
    s.name = r.name, s.name2 = r.second_name, s.id = r.id;
    s.points = {RecordPoint{r.x, r.y}};
    s.colour = r.symbol_colour, s.symbol_shape = r.symbol_shape, s.symbol_size = r.symbol_size;
    s.bounds = r.Bounds();
    return s;
  }
  lumetra::PolyRecord& r = s.poly;
  EXPECT_TRUE(r.DecodeFrom(bytes.data() + at, bytes.size() - at, ctx, err)) << err->detail();
  s.name = r.name, s.name2 = r.second_name, s.id = r.id;
  s.rings = r.ring_counts, s.points = r.points;
  s.label_x = r.label_x, s.label_y = r.label_y, s.bounds = r.bounds;
  s.colour = r.pen_colour, s.pen_width = r.pen_width, s.pen_pattern = r.pen_pattern;
  s.brush_pattern = r.brush_pattern, s.brush_foreground = r.brush_foreground;
  s.brush_background = r.brush_background;
  return s;
}

// Decodes the header and every record of a finished object file, in file order.
inline ObjectFileContents ReadObjectFile(const std::string& path) {
  QError err;
  ObjectFileContents out;
  out.bytes = lumetra_test::ReadBytes(path);
  const Bytes& bytes = out.bytes;
  if (!out.header.DecodeFrom(bytes.data(), bytes.size(), path.c_str(), &err)) {
    ADD_FAILURE() << "header of " << path << ": " << err.detail();
    return out;
  }
  std::size_t at = lumetra::ObjectHeader::kEncodedSize +
                   (out.header.HasExtension() ? lumetra::ExtensionBlock::kEncodedSize : 0);
  for (std::uint64_t i = 0; i < out.header.RecordCount(); ++i) {
    lumetra::RecordContext ctx = lumetra::RecordContext::ForFile(out.header, path.c_str());
    ctx.offset = at;
    lumetra::RecordPrefix prefix;
    if (at >= bytes.size() || !prefix.DecodeFrom(bytes.data() + at, bytes.size() - at, ctx, &err)) {
      ADD_FAILURE() << "record " << i << " at " << at;
      break;
    }
    out.objects.push_back(DecodeRecord(bytes, at, ctx, prefix.kind, &err));
    at += prefix.length;
  }
  return out;
}

inline std::vector<RecordPoint> Points(std::initializer_list<std::int32_t> xy) {
  std::vector<RecordPoint> out;
  for (auto it = xy.begin(); it != xy.end(); it += 2) out.push_back(RecordPoint{it[0], it[1]});
  return out;
}

// Calls ReadObject until the end or a failure, at most `limit` times: the
// result of each call (kResultError, -1, for a false return).  `strict`
// also expects result() to be kResultError exactly when a call failed.
// A scratch working directory and the object files written into it.
class WrittenFilesTest : public lumetra_test::ScratchDirTest {
 protected:
  // Writes `objects` to the next file <prefix><n>.obj of the directory.
  std::string Write(const std::vector<TestObject>& objects, const FileOptions& opt = FileOptions(),
                    const char* prefix = "f") {
    const std::string path = dir_.File(prefix + std::to_string(count_++) + ".obj");
    written_ = WriteObjectFile(path, objects, opt);
    return path;
  }

  WrittenFile written_;
  int count_ = 0;
};

}  // namespace test_objects

#endif  // LUMETRA_TESTS_SUPPORT_OBJECT_FILE_CODEC_H
