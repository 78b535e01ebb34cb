#include "pma/pma_operation.h"

#include <lumetra/pip.h>

#include <cmath>

#include "frame/error.h"

namespace lumetra {

namespace {

struct OperationMessage {
  int code;
  int error;
  const char* text;
};

constexpr OperationMessage kOperationMessages[] = {
    {kPmaStopped, PIP_ERR_GENERAL, "Pma polygon generation stopped before completion by user."},
    {kPmaTooFewPoints, PIP_ERR_GENERAL, "Not enough points for a polygon."},
    {kPmaClipping, PIP_ERR_GENERAL, "Error in polygon clipping."},
    {kPmaBadShare, PIP_ERR_GENERAL, "Percentage value not beteen 0.0 and 1.0."},
    {kPmaIterator, PIP_ERR_GENERAL, "Error creating iterator object."},
    {kPmaNoMemory, PIP_ERR_NO_MEMORY, "Allocation of new memory failed."},
    {kPmaNoCustomerList, PIP_ERR_GENERAL, "Error loading customer list."},
    {kPmaNoStoreList, PIP_ERR_GENERAL, "Error loading store list."},
    {kPmaBadRadius, PIP_ERR_GENERAL, "Polygon radius too small."},
    {kPmaTooManySegments, PIP_ERR_GENERAL, "Too many segments in polygon."},
    {kPmaTooFewSegments, PIP_ERR_GENERAL, "Too few segments in polygon."},
};

}  // namespace

int ReportOperationError(pipError& error, int code) {
  for (const OperationMessage& m : kOperationMessages) {
    if (m.code == code) {
      error.Report(m.error, m.text, "CpmaOperation", __LINE__);
      return -1;
    }
  }
  error.Report(PIP_ERR_UNKNOWN, "Unknown error in polygon operation.", "CpmaOperation", __LINE__);
  return -1;
}

int CheckRing(int segments, double radius) {
  if (segments < kPmaMinSegments) return kPmaTooFewSegments;
  if (segments > kPmaMaxSegments) return kPmaTooManySegments;
  if (!(radius >= 0) || std::isinf(radius)) return kPmaBadRadius;
  return 1;
}

double LatitudeScale(std::int32_t y) { return std::cos(y / 1000000.0 * kPmaRadiansPerDegree); }

}  // namespace lumetra
