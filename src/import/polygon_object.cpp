#include "import/polygon_object.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

#include "frame/error.h"
#include "frame/text_copy.h"
#include "import/object_file_build.h"
#include "objfile/object_header.h"

namespace {

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();

// One unit outward, saturating at the ends of the i32 range.
std::int32_t GrowDown(std::int32_t v) { return v == kInt32Min ? v : v - 1; }
std::int32_t GrowUp(std::int32_t v) { return v == kInt32Max ? v : v + 1; }

std::int32_t Centre(std::int32_t lo, std::int32_t hi) {
  return static_cast<std::int32_t>((static_cast<std::int64_t>(lo) + hi) / 2);
}

constexpr double kFeetPerUnit = 0.36432;  // feet per millionth of a degree of latitude
constexpr double kRadiansPerUnit = 1.745329252e-8;
constexpr double kDirectionScale = 1e7;

std::int32_t ClampToInt32(double v) {
  if (!(v > static_cast<double>(kInt32Min))) return kInt32Min;
  if (!(v < static_cast<double>(kInt32Max))) return kInt32Max;
  return static_cast<std::int32_t>(v);
}

// A coordinate's offset from the origin in segment units, rounded to the
// nearest integer.  The origin is the record's grown minimum, so offsets
// are positive; they are kept below the start-x flag bit.
std::int32_t ScaledOffset(std::int32_t v, std::int32_t origin, double scale) {
  const double offset = (static_cast<double>(v) - static_cast<double>(origin)) * scale;
  return std::clamp(ClampToInt32(std::floor(offset + 0.5)), 0, kInt32Max);
}

struct ScaledPoint {
  std::int32_t u;
  std::int32_t v;
};

// The segment between two scaled points, oriented from its smaller x (the
// smaller y among equal x) to its larger.
lumetra::SegmentRecord MakeSegment(ScaledPoint a, ScaledPoint b) {
  if (a.u > b.u || (a.u == b.u && a.v > b.v)) std::swap(a, b);
  lumetra::SegmentRecord s;
  const std::uint32_t flag = a.v > b.v ? lumetra::SegmentRecord::kStartsAtMaxY : 0;
  s.start_x = static_cast<std::int32_t>(static_cast<std::uint32_t>(a.u) | flag);
  s.min_y = std::min(a.v, b.v);
  s.max_x = b.u;
  s.max_y = std::max(a.v, b.v);
  const double du = static_cast<double>(b.u) - a.u;
  const double dv = static_cast<double>(b.v) - a.v;
  const double length = std::sqrt(du * du + dv * dv);
  s.length = ClampToInt32(std::floor(length + 0.5));
  if (length > 0) {
    s.direction_x = static_cast<std::int32_t>(std::lround(du / length * kDirectionScale));
    s.direction_y = static_cast<std::int32_t>(std::lround(dv / length * kDirectionScale));
  }
  return s;
}

}  // namespace

void ComputeSegmentRecords(lumetra::PolyRecord& record, bool closed_parts, bool geographic) {
  const std::int32_t origin_x = record.bounds.minx;
  const std::int32_t origin_y = record.bounds.miny;
  double scale_x = 1.0;
  double scale_y = 1.0;
  if (geographic) {
    scale_y = kFeetPerUnit;
    scale_x = kFeetPerUnit * std::cos(origin_y * kRadiansPerUnit);
  }
  auto scaled = [&](const lumetra::RecordPoint& p) {
    return ScaledPoint{ScaledOffset(p.x, origin_x, scale_x), ScaledOffset(p.y, origin_y, scale_y)};
  };
  record.segments.clear();
  std::size_t start = 0;
  for (const std::uint32_t n : record.ring_counts) {
    for (std::size_t i = 1; i < n; ++i) {
      record.segments.push_back(
          MakeSegment(scaled(record.points[start + i - 1]), scaled(record.points[start + i])));
    }
    if (closed_parts && n >= 1) {
      record.segments.push_back(
          MakeSegment(scaled(record.points[start + n - 1]), scaled(record.points[start])));
    }
    start += n;
  }
}

std::int32_t RoundToHundred(std::int32_t v) {
  const std::int64_t magnitude = v < 0 ? -static_cast<std::int64_t>(v) : v;
  const std::int64_t rounded = (magnitude + 50) / 100 * 100;
  return static_cast<std::int32_t>(v < 0 ? -rounded : rounded);
}

std::string TrimWhiteSpace(const std::string& text) {
  auto is_space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && is_space(text[begin])) ++begin;
  while (end > begin && is_space(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// ---------------------------------------------------------------------------
// QPolygonObject

QPolygonObject::QPolygonObject(ObjectFileBuild& build, const char* name, const char* name2,
                               std::uint8_t id)
    : build_(build),
      name_(lumetra::CutText(name, kMaxNameLength)),
      name2_(lumetra::CutText(name2, kMaxNameLength)),
      id_(id) {}

QPolygonObject::~QPolygonObject() = default;

void QPolygonObject::set_name(const char* name) { name_ = lumetra::CutText(name, kMaxNameLength); }

void QPolygonObject::set_name2(const char* name2) {
  name2_ = lumetra::CutText(name2, kMaxNameLength);
}

void QPolygonObject::TrimName2() { name2_ = TrimWhiteSpace(name2_); }

// ---------------------------------------------------------------------------
// QPolygonPoint

QPolygonPoint::QPolygonPoint(ObjectFileBuild& build, const char* name, const char* name2,
                             std::uint8_t id, std::int32_t x, std::int32_t y)
    : QPolygonObject(build, name, name2, id), x_(x), y_(y) {}

bool QPolygonPoint::Write() {
  lumetra::PointRecord record;
  record.id = id();
  record.x = x_;
  record.y = y_;
  record.symbol_colour = static_cast<std::uint32_t>(colour_);
  record.symbol_size = size_;
  record.symbol_shape = shape_;
  record.name = name();
  record.second_name = name2();
  return build_.AppendRecord(record);
}

// ---------------------------------------------------------------------------
// QPolygonLine

QPolygonLine::QPolygonLine(ObjectFileBuild& build, const char* name, const char* name2,
                           std::uint8_t id)
    : QPolygonObject(build, name, name2, id),
      object_flags_(static_cast<std::uint8_t>((build.flags() & 3) | lumetra::kRecordFlagCurrent)),
      rect_(lumetra::EmptyBounds()),
      claim_(build.ClaimArrays()) {}

QPolygonLine::~QPolygonLine() { build_.ReleaseArrays(claim_); }

bool QPolygonLine::CheckOwnership() {
  if (build_.HoldsArrays(claim_)) return true;
  build_.error().Report(100, "Object buffers were taken over by another object.", QERR_HERE);
  return false;
}

bool QPolygonLine::AddPoint(std::int32_t x, std::int32_t y) {
  if (!CheckOwnership()) return false;
  if (point_count_ >= build_.PointLimit()) {
    build_.error().Report(100, "Too many points.", QERR_HERE);
    return false;
  }
  build_.record().points.push_back(lumetra::RecordPoint{x, y});
  ++point_count_;
  rect_.minx = std::min(rect_.minx, x);
  rect_.miny = std::min(rect_.miny, y);
  rect_.maxx = std::max(rect_.maxx, x);
  rect_.maxy = std::max(rect_.maxy, y);
  return true;
}

bool QPolygonLine::ClosePart() {
  if (!CheckOwnership()) return false;
  std::int32_t n = point_count_ - part_start_;
  // An empty part is not a part: nothing to count and nothing to refuse.
  if (n == 0) return true;
  if (part_count_ >= build_.PolygonLimit()) {
    build_.error().Report(100, "Too many polygons.", QERR_HERE);
    return false;
  }
  std::vector<lumetra::RecordPoint>& points = build_.record().points;
  if (DropsClosingPoint() && n >= 2 &&
      points[static_cast<std::size_t>(part_start_)] == points.back()) {
    // The copy equals the first point, so the rectangle stays as it is.
    points.pop_back();
    --point_count_;
    --n;
  }
  build_.record().ring_counts.push_back(static_cast<std::uint32_t>(n));
  ++part_count_;
  part_start_ = point_count_;
  return true;
}

bool QPolygonLine::AddParts(const std::int32_t* xy, const std::int32_t* counts,
                            std::int32_t num_parts, bool round_to_hundred) {
  if (!CheckOwnership()) return false;
  if (num_parts < 1) return true;
  if (counts == nullptr) {
    build_.error().Report(106, "No part point counts were given.", QERR_HERE);
    return false;
  }
  if (static_cast<std::int64_t>(part_count_) + num_parts > build_.PolygonLimit()) {
    build_.error().Report(100, "Too many polygons.", QERR_HERE);
    return false;
  }
  std::int64_t total = 0;
  for (std::int32_t i = 0; i < num_parts; ++i) {
    if (counts[i] < 0) {
      build_.error().ReportF(106, QERR_HERE, "Negative point count %d in part %d.", counts[i], i);
      return false;
    }
    total += counts[i];
  }
  if (point_count_ + total > build_.PointLimit()) {
    build_.error().Report(100, "Too many points.", QERR_HERE);
    return false;
  }
  if (total > 0 && xy == nullptr) {
    build_.error().Report(106, "No points were given.", QERR_HERE);
    return false;
  }
  const std::int32_t* p = xy;
  for (std::int32_t i = 0; i < num_parts; ++i) {
    for (std::int32_t k = 0; k < counts[i]; ++k, p += 2) {
      const std::int32_t x = round_to_hundred ? RoundToHundred(p[0]) : p[0];
      const std::int32_t y = round_to_hundred ? RoundToHundred(p[1]) : p[1];
      if (!AddPoint(x, y)) return false;
    }
    if (!ClosePart()) return false;
  }
  return true;
}

bool QPolygonLine::Write() {
  if (!ClosePart()) return false;
  rect_.minx = GrowDown(rect_.minx);
  rect_.miny = GrowDown(rect_.miny);
  rect_.maxx = GrowUp(rect_.maxx);
  rect_.maxy = GrowUp(rect_.maxy);
  if (label_x_ == 0 && label_y_ == 0) {
    label_x_ = Centre(rect_.minx, rect_.maxx);
    label_y_ = Centre(rect_.miny, rect_.maxy);
  }
  lumetra::PolyRecord& record = build_.record();
  record.kind = Type() == kRegion ? lumetra::ObjectKind::kRegion : lumetra::ObjectKind::kLine;
  record.id = id();
  record.layout = lumetra::RecordLayout::kCurrent;
  record.record_flags = object_flags_;
  record.pen_width = pen_width_;
  record.pen_pattern = pen_pattern_;
  record.label_x = label_x_;
  record.label_y = label_y_;
  record.pen_colour = static_cast<std::uint32_t>(pen_colour_);
  // Lines carry no brush.
  const bool region = Type() == kRegion;
  record.brush_pattern = region ? static_cast<std::uint32_t>(brush_pattern_) : 0;
  record.brush_foreground = region ? static_cast<std::uint32_t>(brush_foreground_) : 0;
  record.brush_background = region ? static_cast<std::uint32_t>(brush_background_) : 0;
  record.bounds = rect_;
  record.old_bounds = lumetra::CoarseBounds{};
  record.name = name();
  record.second_name = name2();
  record.segments.clear();
  if ((object_flags_ & lumetra::kRecordFlagSegments) != 0) {
    ComputeSegmentRecords(record, HasClosingSegment(), build_.geographic());
  }
  return build_.AppendRecord(record);
}

// ---------------------------------------------------------------------------
// QPolygonSingleLine

QPolygonSingleLine::QPolygonSingleLine(ObjectFileBuild& build, const char* name, const char* name2,
                                       std::uint8_t id, std::int32_t x1, std::int32_t y1,
                                       std::int32_t x2, std::int32_t y2)
    : QPolygonLine(build, name, name2, id) {
  added_ = AddPoint(x1, y1) && AddPoint(x2, y2) && ClosePart();
}

bool QPolygonSingleLine::Write() { return added_ && QPolygonLine::Write(); }
