#include "search/border_distance.h"

#include <lumetra/pip.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "search/point_in_polygon_search.h"
#include "search/polygon_object.h"

namespace lumetra {

namespace {

constexpr double kDirectionScale = 1e7;
// Start value of the smallest squared distance.
constexpr double kFarAway = 1e36;
// A segment whose squared scaled length is at most this is treated as a
// point: the nearer of its ends is taken.
constexpr double kPointLikeSquared = 0.25;

// trunc(d) as an int, held at INT32_MAX beyond it.
int TruncDistance(double d) {
  if (!(d < static_cast<double>(std::numeric_limits<std::int32_t>::max()))) {
    return std::numeric_limits<std::int32_t>::max();
  }
  return static_cast<int>(d);
}

struct Scales {
  double x = 1.0;
  double y = 1.0;
};

Scales GeometricScales(const PolygonObject& object) {
  Scales s;
  if (object.geographic()) {
    s.y = kFeetPerMicroDegree;
    s.x = kFeetPerMicroDegree * std::cos(object.Bounds().miny * kRadiansPerMicroDegree);
  }
  return s;
}

// The closest approach of (x, y) to the segment a -> b so far, kept in
// *best (squared, scaled) and *nearest (the first segment to reach it).
void MeasureSegment(const RecordPoint& a, const RecordPoint& b, std::int32_t x, std::int32_t y,
                    const Scales& s, double* best, RecordPoint* nearest) {
  const double dx = (static_cast<double>(b.x) - a.x) * s.x;
  const double dy = (static_cast<double>(b.y) - a.y) * s.y;
  const double px = (static_cast<double>(x) - a.x) * s.x;
  const double py = (static_cast<double>(y) - a.y) * s.y;
  const double length2 = dx * dx + dy * dy;
  const double dot = px * dx + py * dy;
  double t = 0.0;
  if (length2 <= kPointLikeSquared) {
    t = dot >= 0.0 ? 1.0 : 0.0;
  } else {
    t = dot / length2;
  }
  double d2 = 0.0;
  RecordPoint at;
  if (t <= 0.0) {
    d2 = px * px + py * py;
    at = a;
  } else if (t >= 1.0) {
    d2 = (px - dx) * (px - dx) + (py - dy) * (py - dy);
    at = b;
  } else {
    const double fx = px - t * dx;
    const double fy = py - t * dy;
    d2 = fx * fx + fy * fy;
    // |t| < 1, so each step stays between the segment's ends.
    at.x = static_cast<std::int32_t>(a.x + std::trunc(t * (static_cast<double>(b.x) - a.x)));
    at.y = static_cast<std::int32_t>(a.y + std::trunc(t * (static_cast<double>(b.y) - a.y)));
  }
  if (d2 < *best) {
    *best = d2;
    *nearest = at;
  }
}

// The squared distance from p to the segment record s, in its frame.
double SegmentDistanceSquared(const SegmentRecord& s, const SegmentSpacePoint& p) {
  const double start_x = s.StartX();
  const double start_y = s.StartsAtMaxY() ? s.max_y : s.min_y;
  const double end_x = s.max_x;
  const double end_y = s.StartsAtMaxY() ? s.min_y : s.max_y;
  const double du = static_cast<double>(p.u) - start_x;
  const double dv = static_cast<double>(p.v) - start_y;
  const double cx = s.direction_x / kDirectionScale;
  const double cy = s.direction_y / kDirectionScale;
  const double along = du * cx + dv * cy;
  if (along >= 0.0 && along <= s.length) {
    const double across = dv * cx - du * cy;
    return across * across;
  }
  const double eu = static_cast<double>(p.u) - end_x;
  const double ev = static_cast<double>(p.v) - end_y;
  return std::fmin(du * du + dv * dv, eu * eu + ev * ev);
}

}  // namespace

bool GeometricBorderDistance(const PolygonObject& object, std::int32_t x, std::int32_t y,
                             double* distance, RecordPoint* nearest) {
  const Scales scales = GeometricScales(object);
  const bool closed = object.kind() == ObjectKind::kRegion;
  double best = kFarAway;
  RecordPoint at;
  bool measured = false;
  const PolygonPart* parts = object.parts();
  for (std::size_t i = 0; i < object.part_count(); ++i) {
    const std::size_t n = parts[i].count;
    const RecordPoint* p = parts[i].points;
    if (n == 0) continue;
    if (closed) {
      MeasureSegment(p[n - 1], p[0], x, y, scales, &best, &at);
      measured = true;
    }
    for (std::size_t k = 0; k + 1 < n; ++k) {
      MeasureSegment(p[k], p[k + 1], x, y, scales, &best, &at);
      measured = true;
    }
  }
  if (!measured) return false;
  *distance = std::sqrt(best);
  if (nearest != nullptr) *nearest = at;
  return true;
}

int SegmentBorderDistance(const PolygonObject& object, std::int32_t x, std::int32_t y) {
  const std::size_t count = object.segment_count();
  if (count == 0) return -1;
  const SegmentSpacePoint p = ToSegmentSpace(object.Origin(), object.geographic(), x, y);
  const SegmentRecord* segments = object.segments();
  double best = kFarAway;
  for (std::size_t i = 0; i < count; ++i) {
    const double d2 = SegmentDistanceSquared(segments[i], p);
    if (d2 < 1.0) return 0;
    if (d2 < best) best = d2;
  }
  return TruncDistance(std::sqrt(best));
}

int BorderDistance(const PolygonObject& object, std::int32_t x, std::int32_t y) {
  if (object.is_point()) {
    const RecordPoint at = object.Label();
    return pipDistance(x, y, at.x, at.y, object.coordinate_type(), nullptr);
  }
  if (object.has_segments()) {
    if (object.record() == nullptr || !object.record()->segments_loaded()) return -1;
    if (object.segment_count() > 0) return SegmentBorderDistance(object, x, y);
  }
  double d = 0.0;
  if (!GeometricBorderDistance(object, x, y, &d, nullptr)) return -1;
  return TruncDistance(d + 0.5);
}

int BorderDistanceEx(const PolygonObject& object, std::int32_t x, std::int32_t y,
                     RecordPoint* nearest) {
  if (object.is_point()) {
    const RecordPoint at = object.Label();
    const int d = pipDistance(x, y, at.x, at.y, object.coordinate_type(), nullptr);
    if (d < 0) return -1;
    *nearest = RecordPoint{x, y};
    return d;
  }
  double d = 0.0;
  RecordPoint at;
  if (!GeometricBorderDistance(object, x, y, &d, &at)) return -1;
  *nearest = at;
  return TruncDistance(d + 0.5);
}

}  // namespace lumetra
