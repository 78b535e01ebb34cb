// PolySearchPointInPolygon: the containing search -- which objects of an
// object file contain a point, or lie within a radius of it -- and the
// segment-record proximity test (SegmentsWithin) that the border-distance
// functions reuse.
//
// Candidates come from the spatial index in its enumeration order: every
// record whose indexed rectangle meets the search rectangle (the point grown
// by the radius).  Each candidate is loaded through the polygon cache and
// tested:
//   region  inside when PointInObject is odd (boundary included);
//   line    never inside;
//   point   only with a radius: near when pipDistance to it is below the
//           radius (result 2);
// and, with a radius, regions and lines are near when one of their segment
// records passes within the radius (SegmentsWithin).  The answer is
// (near ? 2 : 0) | (inside ? 1 : 0) for the first candidate that is either.
//
// Units: coordinates are i32 file units; the radius is in feet in
// geographic files (coordinate type 1) and in coordinate units otherwise.
//
// Ownership and threads: as PolygonSearchEnum.
#ifndef LUMETRA_SEARCH_POINT_IN_POLYGON_SEARCH_H
#define LUMETRA_SEARCH_POINT_IN_POLYGON_SEARCH_H

#include <cstdint>

#include "objfile/object_record.h"
#include "search/search_enum.h"
#include "storage/spatial_index.h"

namespace lumetra {

// Feet in one millionth of a degree of latitude, and its inverse.
constexpr double kFeetPerMicroDegree = 0.36432;
constexpr double kMicroDegreesPerFoot = 2.7448397013614403;
// Radians in one millionth of a degree.
constexpr double kRadiansPerMicroDegree = 1.745329252e-8;

// Detail recorded when a radius is used on records without segment records.
inline constexpr char kNoBuffersDetail[] =
    "Non-Zero radius used but objects do not have buffers.\n";
// Detail recorded when a search is continued after it found nothing (more).
inline constexpr char kAfterNotFoundDetail[] =
    "Invalid Function call after pipFindFirst returned PIP_NOT_FOUND.\n";

// The search rectangle of a containing search: the point itself for radius
// 0; otherwise the point grown by dy = trunc(radius x 2.7448397013614403)
// and dx = trunc(dy / cos(y x 1.745329252e-8)) in geographic files, by the
// radius itself in others.  Coordinates that would leave the i32 range are
// held at its ends.
Rect ContainingSearchRect(std::int32_t x, std::int32_t y, std::int32_t radius, bool geographic);

// A point in the frame of an object's segment records: offsets from the
// object's origin, scaled to feet in geographic files (0.36432 per unit of
// y and 0.36432 x cos(origin latitude) per unit of x), each trunc(value +
// 0.5).
struct SegmentSpacePoint {
  std::int64_t u = 0;
  std::int64_t v = 0;
};

// (x, y) in the frame of segment records whose origin is `origin`.
SegmentSpacePoint ToSegmentSpace(const RecordPoint& origin, bool geographic, std::int32_t x,
                                 std::int32_t y);

// True when the point (u, v) of the segment frame lies within r of the
// segment `s`: within its range grown by r, within r of its line, and
// either beside it or within r of the nearer end.
bool SegmentNear(const SegmentRecord& s, const SegmentSpacePoint& p, std::int32_t r);

}  // namespace lumetra

// True when (x, y) lies within r of one of the object's segment records
// (feet in geographic files, coordinate units otherwise).  False for an
// object without segment records.
bool SegmentsWithin(const PolygonObject& object, std::int32_t x, std::int32_t y, std::int32_t r);

class PolySearchPointInPolygon final : public PolygonSearchEnum {
 public:
  // A search for the objects containing (x, y) or within `radius` of it.
  // The enumerator is taken from the reader's spatial index here.
  PolySearchPointInPolygon(PolygonSearch& reader, QError& err, std::int32_t x, std::int32_t y,
                           std::int32_t radius);
  ~PolySearchPointInPolygon() override;

  // Makes this search one for (x, y) and `radius`, as if it had just been
  // constructed for them (the handle reuses its containing search).
  void Restart(std::int32_t x, std::int32_t y, std::int32_t radius);

  // 1 inside, 2 within the radius only, 3 both; 0 none; -1 failure (no
  // enumerator, a record that cannot be loaded, or a radius on records
  // without segment records: code 106).
  int FindFirst(char* name, int name_length) override;
  // The next containing object, as FindFirst.  After the search found
  // nothing (more): code 100 and -1.
  int FindNext(char* name, int name_length) override;
  bool GetSearchPoint(std::int32_t* x, std::int32_t* y) const override;
  // Moves the search to the point (x, y), keeping its radius and its
  // enumerator, so that a caller testing many points allocates nothing per
  // point; the next FindFirst searches there.
  void MoveTo(std::int32_t x, std::int32_t y);

  std::int32_t radius() const { return radius_; }
  const lumetra::Rect& search_rect() const { return rect_; }

 private:
  // Tests the candidate at `position`: its result code, 0 to go on, -1 on
  // failure.
  int Examine(std::uint64_t position);

  std::int32_t radius_;
  std::int32_t x_;
  std::int32_t y_;
  lumetra::Rect rect_;
};

#endif  // LUMETRA_SEARCH_POINT_IN_POLYGON_SEARCH_H
