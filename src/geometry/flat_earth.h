// The flat-earth distance of the geometry classes, and the spatial integer
// form of a coordinate.
#ifndef LUMETRA_GEOMETRY_FLAT_EARTH_H
#define LUMETRA_GEOMETRY_FLAT_EARTH_H

#include <cmath>
#include <limits>

namespace lumetra {

constexpr double kFeetPerDegree = 69.0 * 5280.0;            // 364320
constexpr double kRadiansPerDegree = 0.017453292519943295;  // pi / 180
constexpr double kSpatialUnitsPerDegree = 1000000.0;

// Feet from (ax, ay) to (bx, by), longitude differences scaled by the cosine
// of `reference_y` (degrees).  The operations keep this order so that results
// are reproducible to the last bit.
inline double FlatEarthFeet(double ax, double ay, double bx, double by, double reference_y) {
  double c = std::cos(reference_y * kRadiansPerDegree);
  double dx = (bx - ax) * 69.0 * 5280.0 * c;
  double dy = (by - ay) * 69.0 * 5280.0;
  return std::sqrt(dx * dx + dy * dy);
}

// ceil(v * 1e6 - 0.5) as an int: an exact half rounds down.  Values beyond
// the int range saturate and NaN gives 0, where a plain conversion would be
// undefined.
inline int ToSpatial(double degrees) {
  double v = std::ceil(degrees * kSpatialUnitsPerDegree - 0.5);
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}

inline double FromSpatial(int units) { return units / kSpatialUnitsPerDegree; }

}  // namespace lumetra

#endif  // LUMETRA_GEOMETRY_FLAT_EARTH_H
