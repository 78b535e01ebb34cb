// CpmaOperation: what the three market-area polygon operations share --
// their result codes and messages, the ring angles, and the conversion of
// computed coordinates back to 32-bit integers.
//
// An operation builds one polygon of one store at a time into a
// CpmaPointList and answers 1, or a negative operation code (the table
// below) that the service records with ReportOperationError.  Angles run
// counter-clockwise from +x, the first at half a step: step / 2,
// step / 2 + step, ...  Distances given in miles become coordinate units at
// 69 miles per degree (millionths of a degree).
#ifndef LUMETRA_PMA_PMA_OPERATION_H
#define LUMETRA_PMA_PMA_OPERATION_H

#include <cmath>
#include <cstdint>

class pipError;

namespace lumetra {

// Operation result codes.
enum PmaOperationCode : int {
  kPmaStopped = -11,         // "Pma polygon generation stopped before completion by user."
  kPmaTooFewPoints = -10,    // "Not enough points for a polygon."
  kPmaClipping = -9,         // "Error in polygon clipping."
  kPmaBadShare = -8,         // "Percentage value not beteen 0.0 and 1.0."
  kPmaIterator = -7,         // "Error creating iterator object."
  kPmaNoMemory = -6,         // "Allocation of new memory failed."
  kPmaNoCustomerList = -5,   // "Error loading customer list."
  kPmaNoStoreList = -4,      // "Error loading store list."
  kPmaBadRadius = -3,        // "Polygon radius too small."
  kPmaTooManySegments = -2,  // "Too many segments in polygon."
  kPmaTooFewSegments = -1,   // "Too few segments in polygon."
};

constexpr int kPmaMinSegments = 3;
constexpr int kPmaMaxSegments = 360;
constexpr double kPmaMilesPerDegree = 69.0;
constexpr double kPmaPi = 3.141592653589793;
constexpr double kPmaRadiansPerDegree = 0.017453292519943295;
constexpr double kPmaDegreesPerRadian = 57.29577951308232;

// Records an operation code in `error` (source "CpmaOperation") and shows it
// as the display mode says: code 100 with the table's text, 104 for -6, 101
// "Unknown error in polygon operation." for codes not in the table.
// Returns -1.
int ReportOperationError(pipError& error, int code);

// The segment count and radius checks every ring-shaped polygon starts
// with: 1 when they pass, else -1, -2 or -3.  A radius that is not a finite
// number counts as too small.
int CheckRing(int segments, double radius);

// The angle of vertex k of a polygon of n vertices, in radians.
inline double RingAngle(int k, int n) {
  const double step = 2.0 * kPmaPi / n;
  return step / 2.0 + step * k;
}

// Truncates toward zero into 32 bits; values beyond the range take its
// nearest end, NaN gives 0.
inline std::int32_t TruncToInt32(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<std::int32_t>(v);
}

// Miles as coordinate units (millionths of a degree), truncated.
inline double MilesToUnits(double miles) {
  return std::trunc(miles / kPmaMilesPerDegree * 1000000.0);
}

// cos of a latitude given in millionths of a degree: the x scale of
// geographic operations.
double LatitudeScale(std::int32_t y);

}  // namespace lumetra

// The base of the three operations; each keeps what it needs between the
// polygons of one store.
class CpmaOperation {
 public:
  virtual ~CpmaOperation() = default;
};

#endif  // LUMETRA_PMA_PMA_OPERATION_H
