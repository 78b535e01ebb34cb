#include "search/point_in_polygon_search.h"

#include <lumetra/pip.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "frame/error.h"
#include "search/point_in_object.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"

namespace lumetra {

namespace {

constexpr double kDirectionScale = 1e7;

// trunc(v) as a 64-bit integer; values beyond +-2^62 (and the infinities) are
// held there, far outside every i32 coordinate.
std::int64_t TruncToInt64(double v) {
  constexpr double kLimit = 4611686018427387904.0;  // 2^62
  if (!(v > -kLimit)) return -static_cast<std::int64_t>(kLimit);
  if (!(v < kLimit)) return static_cast<std::int64_t>(kLimit);
  return static_cast<std::int64_t>(std::trunc(v));
}

std::int32_t ClampToInt32(std::int64_t v) {
  if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(v);
}

}  // namespace

Rect ContainingSearchRect(std::int32_t x, std::int32_t y, std::int32_t radius, bool geographic) {
  if (radius == 0) return Rect{x, y, x, y};
  std::int64_t dx = radius;
  std::int64_t dy = radius;
  if (geographic) {
    dy = TruncToInt64(static_cast<double>(radius) * kMicroDegreesPerFoot);
    dx = TruncToInt64(static_cast<double>(dy) / std::cos(y * kRadiansPerMicroDegree));
  }
  return Rect{ClampToInt32(x - dx), ClampToInt32(y - dy), ClampToInt32(x + dx),
              ClampToInt32(y + dy)};
}

SegmentSpacePoint ToSegmentSpace(const RecordPoint& origin, bool geographic, std::int32_t x,
                                 std::int32_t y) {
  double x_scale = 1.0;
  double y_scale = 1.0;
  if (geographic) {
    y_scale = kFeetPerMicroDegree;
    x_scale = kFeetPerMicroDegree * std::cos(origin.y * kRadiansPerMicroDegree);
  }
  SegmentSpacePoint p;
  p.u = TruncToInt64((static_cast<double>(x) - origin.x) * x_scale + 0.5);
  p.v = TruncToInt64((static_cast<double>(y) - origin.y) * y_scale + 0.5);
  return p;
}

bool SegmentNear(const SegmentRecord& s, const SegmentSpacePoint& p, std::int32_t r) {
  const std::int64_t radius = r;
  const std::int64_t start_x = s.StartX();
  if (p.u < start_x - radius || p.u > std::int64_t{s.max_x} + radius) return false;
  if (p.v < std::int64_t{s.min_y} - radius || p.v > std::int64_t{s.max_y} + radius) return false;
  const std::int64_t start_y = s.StartsAtMaxY() ? s.max_y : s.min_y;
  // Both differences are bounded by the checks above (|du|, |dv| < 2^34).
  const double du = static_cast<double>(p.u - start_x);
  const double dv = static_cast<double>(p.v - start_y);
  const double cx = s.direction_x / kDirectionScale;
  const double cy = s.direction_y / kDirectionScale;
  const std::int64_t perpendicular = TruncToInt64(dv * cx - du * cy);
  if (perpendicular < -radius || perpendicular > radius) return false;
  const std::int64_t along = TruncToInt64(dv * cy + du * cx);
  const std::int64_t length = s.length;
  if (along >= 0 && along <= length) return true;
  // |perpendicular|, |along| and |beyond| are at most r < 2^31 where they
  // are squared, so the sums stay below 2^63.
  const auto square = [](std::int64_t v) { return static_cast<std::uint64_t>(v * v); };
  const std::uint64_t r2 = square(radius);
  if (along < 0 && along >= -radius) return r2 >= square(perpendicular) + square(along);
  const std::int64_t beyond = along - length;
  if (beyond > 0 && beyond <= radius) return r2 >= square(perpendicular) + square(beyond);
  return false;
}

}  // namespace lumetra

bool SegmentsWithin(const PolygonObject& object, std::int32_t x, std::int32_t y, std::int32_t r) {
  const std::size_t count = object.segment_count();
  if (count == 0) return false;
  const lumetra::SegmentSpacePoint p =
      lumetra::ToSegmentSpace(object.Origin(), object.geographic(), x, y);
  const lumetra::SegmentRecord* segments = object.segments();
  for (std::size_t i = 0; i < count; ++i) {
    if (lumetra::SegmentNear(segments[i], p, r)) return true;
  }
  return false;
}

PolySearchPointInPolygon::PolySearchPointInPolygon(PolygonSearch& reader, QError& err,
                                                   std::int32_t x, std::int32_t y,
                                                   std::int32_t radius)
    : PolygonSearchEnum(reader, err),
      radius_(radius),
      x_(x),
      y_(y),
      rect_(lumetra::ContainingSearchRect(x, y, radius, reader.geographic())) {
  CreateEnumerator();
}

PolySearchPointInPolygon::~PolySearchPointInPolygon() = default;

void PolySearchPointInPolygon::Restart(std::int32_t x, std::int32_t y, std::int32_t radius) {
  radius_ = radius;
  x_ = x;
  y_ = y;
  rect_ = lumetra::ContainingSearchRect(x, y, radius, reader().geographic());
  ClearCurrent();
  first_call_ = true;
}

int PolySearchPointInPolygon::FindFirst(char* name, int name_length) {
  if (enumerator() == nullptr) return -1;
  ClearCurrent();
  first_call_ = true;
  return FindNext(name, name_length);
}

int PolySearchPointInPolygon::FindNext(char* name, int name_length) {
  if (enumerator() == nullptr) return -1;
  std::uint64_t position = 0;
  bool more = false;
  if (first_call_) {
    first_call_ = false;
    more = enumerator()->First(rect_, &position);
  } else {
    if (!has_current()) {
      error().Set(100, lumetra::kAfterNotFoundDetail, QERR_HERE);
      return -1;
    }
    more = enumerator()->Next(&position);
  }
  for (; more; more = enumerator()->Next(&position)) {
    const int result = Examine(position);
    if (result < 0) {
      ClearCurrent();
      return -1;
    }
    if (result > 0) {
      CopyCurrentName(name, name_length);
      return result;
    }
  }
  ClearCurrent();
  return 0;
}

void PolySearchPointInPolygon::MoveTo(std::int32_t x, std::int32_t y) {
  x_ = x;
  y_ = y;
  rect_ = lumetra::ContainingSearchRect(x, y, radius_, reader().geographic());
}

bool PolySearchPointInPolygon::GetSearchPoint(std::int32_t* x, std::int32_t* y) const {
  if (x != nullptr) *x = x_;
  if (y != nullptr) *y = y_;
  return true;
}

int PolySearchPointInPolygon::Examine(std::uint64_t position) {
  PolygonObject* object = reader().FindObject(position);
  if (object == nullptr) return -1;
  bool inside = false;
  switch (object->kind()) {
    case lumetra::ObjectKind::kRegion:
      inside = (object->PointIn(x_, y_) & 1) != 0;
      break;
    case lumetra::ObjectKind::kLine:
      break;
    case lumetra::ObjectKind::kPoint: {
      if (radius_ == 0) return 0;
      const lumetra::RecordPoint at = object->Label();
      const int d = pipDistance(x_, y_, at.x, at.y, object->coordinate_type(), nullptr);
      if (d < 0 || d >= radius_) return 0;
      SetCurrent(position, object);
      return 2;
    }
    default:
      return 0;
  }
  bool near = false;
  if (radius_ != 0) {
    if (!object->has_segments()) {
      error().Set(106, lumetra::kNoBuffersDetail, QERR_HERE);
      return -1;
    }
    if (!object->LoadSegments()) return -1;
    near = SegmentsWithin(*object, x_, y_, radius_);
  }
  if (!inside && !near) return 0;
  SetCurrent(position, object);
  return (near ? 2 : 0) | (inside ? 1 : 0);
}
