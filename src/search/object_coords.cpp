#include "search/object_coords.h"

#include "search/polygon_object.h"

namespace lumetra {

void CountObjectCoords(const PolygonObject& object, std::size_t* points, std::size_t* parts) {
  if (object.is_point()) {
    *points = 1;
    *parts = 1;
    return;
  }
  std::size_t sum = 0;
  for (std::size_t i = 0; i < object.part_count(); ++i) sum += object.parts()[i].count;
  *points = sum;
  *parts = object.part_count();
}

CoordsCopy CopyObjectCoords(const PolygonObject& object, int* points, std::size_t point_capacity,
                            int* part_counts, std::size_t part_capacity, std::size_t* parts) {
  if (object.is_point()) {
    if (part_capacity < 1) return CoordsCopy::kTooManyParts;
    part_counts[0] = 1;
    if (point_capacity < 1) return CoordsCopy::kTooManyPoints;
    const RecordPoint at = object.Label();
    points[0] = at.x;
    points[1] = at.y;
    *parts = 1;
    return CoordsCopy::kDone;
  }
  const std::size_t count = object.part_count();
  if (part_capacity < count) return CoordsCopy::kTooManyParts;
  std::size_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) {
    // Part sizes are bounded by the file's most points, which fit an int.
    part_counts[i] = static_cast<int>(object.parts()[i].count);
    sum += object.parts()[i].count;
  }
  if (point_capacity < sum) return CoordsCopy::kTooManyPoints;
  std::size_t k = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const PolygonPart& part = object.parts()[i];
    for (std::size_t j = 0; j < part.count; ++j) {
      points[k++] = part.points[j].x;
      points[k++] = part.points[j].y;
    }
  }
  *parts = count;
  return CoordsCopy::kDone;
}

}  // namespace lumetra
