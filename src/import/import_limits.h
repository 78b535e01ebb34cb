// The import limits: the most points and the most parts (polygons or line
// pieces) one imported object may have.
//
// They are process-wide: every pipImportInit stores the pair it was given,
// and each value is guarded by its own lock.  A builder sizes its scratch
// arrays from the limits once, when it is created, and afterwards accepts an
// object only when it fits both the current limit and its own arrays (see
// EffectivePointLimit), so a later import that raises the limits can never
// make an older builder overrun its arrays.
//
// Thread rule: every function may be called from any thread.
#ifndef LUMETRA_IMPORT_IMPORT_LIMITS_H
#define LUMETRA_IMPORT_IMPORT_LIMITS_H

#include <cstdint>

#include "frame/sync.h"

class QError;
class pipError;

namespace lumetra {

class ImportLimits {
 public:
  static constexpr std::int32_t kMaxPoints = 55000000;
  static constexpr std::int32_t kMaxPolygons = 16383;

  // True when the pair may become the process's limits: neither is negative
  // and neither exceeds its maximum.
  static bool InRange(std::int32_t points, std::int32_t polygons);

  // Checks the pair; out of range reports code 106 "Parameter out of range.
  // PointLimit = 55000000, PolygonLimit = 16383." to err and returns false.
  // In range, the pair becomes the limits of the process and the result is
  // true.
  static bool CheckAndSet(pipError& err, std::int32_t points, std::int32_t polygons);

  // The current limits, each read under its own lock.
  static std::int32_t PointLimit();
  static std::int32_t PolygonLimit();

  // The limit a builder whose arrays hold `capacity` entries applies: the
  // current limit, but never more than the arrays hold.
  static std::int32_t EffectivePointLimit(std::int32_t capacity);
  static std::int32_t EffectivePolygonLimit(std::int32_t capacity);

  // The two locks.  Anything that allocates from a limit holds that
  // limit's lock while it reads the value and allocates.
  static CSynchronization& PointLock();
  static CSynchronization& PolygonLock();
};

}  // namespace lumetra

#endif  // LUMETRA_IMPORT_IMPORT_LIMITS_H
