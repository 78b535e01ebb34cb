#include "import/import_limits.h"

#include <algorithm>

#include "frame/error.h"

namespace lumetra {
namespace {

// The limits in force before any import was initialised: the largest ones.
std::int32_t g_point_limit = ImportLimits::kMaxPoints;
std::int32_t g_polygon_limit = ImportLimits::kMaxPolygons;

}  // namespace

CSynchronization& ImportLimits::PointLock() {
  static CSynchronization lock;
  return lock;
}

CSynchronization& ImportLimits::PolygonLock() {
  static CSynchronization lock;
  return lock;
}

bool ImportLimits::InRange(std::int32_t points, std::int32_t polygons) {
  return points >= 0 && points <= kMaxPoints && polygons >= 0 && polygons <= kMaxPolygons;
}

bool ImportLimits::CheckAndSet(pipError& err, std::int32_t points, std::int32_t polygons) {
  if (!InRange(points, polygons)) {
    err.ReportF(106, QERR_HERE, "Parameter out of range.  PointLimit = %ld, PolygonLimit = %ld.",
                static_cast<long>(kMaxPoints), static_cast<long>(kMaxPolygons));
    return false;
  }
  {
    SyncLock lock(PointLock());
    g_point_limit = points;
  }
  {
    SyncLock lock(PolygonLock());
    g_polygon_limit = polygons;
  }
  return true;
}

std::int32_t ImportLimits::PointLimit() {
  SyncLock lock(PointLock());
  return g_point_limit;
}

std::int32_t ImportLimits::PolygonLimit() {
  SyncLock lock(PolygonLock());
  return g_polygon_limit;
}

std::int32_t ImportLimits::EffectivePointLimit(std::int32_t capacity) {
  return std::min(PointLimit(), capacity);
}

std::int32_t ImportLimits::EffectivePolygonLimit(std::int32_t capacity) {
  return std::min(PolygonLimit(), capacity);
}

}  // namespace lumetra
