#include "pma/ring_operation.h"

#include <cmath>

using lumetra::kPmaDegreesPerRadian;
using lumetra::kPmaRadiansPerDegree;
using lumetra::RingAngle;
using lumetra::TruncToInt32;

int CpmaRingOperation::Build(const CpmaStoreRecord& store, int segments, bool geographic,
                             double radius, CpmaPointList* out) const {
  out->Reset();
  const int check = lumetra::CheckRing(segments, radius);
  if (check != 1) return check;
  if (radius == 0) return 1;
  const double sx = store.x;
  const double sy = store.y;
  const double lat = sy / 1000000.0 * kPmaRadiansPerDegree;
  const double lon = sx / 1000000.0 * kPmaRadiansPerDegree;
  const double dlat = radius / lumetra::kPmaMilesPerDegree * kPmaRadiansPerDegree;
  const double dlon = dlat / std::cos(lat);
  for (int k = 0; k < segments; ++k) {
    const double a = RingAngle(k, segments);
    if (geographic) {
      out->Append({TruncToInt32((std::cos(a) * dlon + lon) * 1000000.0 * kPmaDegreesPerRadian),
                   TruncToInt32((std::sin(a) * dlat + lat) * 1000000.0 * kPmaDegreesPerRadian)});
    } else {
      out->Append(
          {TruncToInt32(std::cos(a) * radius + sx), TruncToInt32(std::sin(a) * radius + sy)});
    }
  }
  return 1;
}
