// The handle-less workers of the market-area functions: the same work and
// results as the pipPma* functions, on the service object itself.
#include <lumetra/pip.h>

#include <memory>
#include <new>

#include "frame/handle_table.h"
#include "frame/library_context.h"
#include "pma/global_store_list.h"

using Kind = CpmaGlobalStoreList::Kind;
using lumetra::GuardedCall;

namespace {

// Runs work(service) behind the exported boundary; -1 for a null service.
template <class F>
int WithService(CpmaGlobalStoreList* service, F&& work) noexcept {
  return GuardedCall(-1, [&]() -> int { return service == nullptr ? -1 : work(*service); });
}

// The three values must rise: the second 0 or above the first, the third 0
// or above both.
bool ValuesRise(double v1, double v2, double v3) {
  return (v2 == 0 || v2 > v1) && (v3 == 0 || (v3 > v1 && v3 > v2));
}

int Generate(CpmaGlobalStoreList* service, Kind kind, const char* bad_values,
             const CpmaGlobalStoreList::Generation& g) {
  return WithService(service, [&](CpmaGlobalStoreList& pma) -> int {
    if (!ValuesRise(g.values[0], g.values[1], g.values[2])) {
      pma.error().Report(PIP_ERR_GENERAL, bad_values, QERR_HERE);
      return -1;
    }
    return pma.Generate(kind, g);
  });
}

CpmaGlobalStoreList::Generation RingValues(int segments, int geographic, int fullPolygons,
                                           double r1, double r2, double r3) {
  CpmaGlobalStoreList::Generation g;
  g.segments = segments;
  g.geographic = geographic != 0;
  g.full_polygons = fullPolygons != 0;
  g.values[0] = r1;
  g.values[1] = r2;
  g.values[2] = r3;
  return g;
}

}  // namespace

extern "C" {

LUMETRA_API int pipPmaInitIntern(pipLibraryContext* library, CpmaGlobalStoreList** service) {
  if (service == nullptr) return -1;
  *service = nullptr;
  if (library == nullptr) return -1;
  return GuardedCall(-1, [&]() -> int {
    std::unique_ptr<CpmaGlobalStoreList> pma;
    try {
      pma = std::make_unique<CpmaGlobalStoreList>(library->error());
    } catch (const std::bad_alloc&) {
      library->error().Report(PIP_ERR_NO_MEMORY, "Cannot create PMA object.", QERR_HERE);
      return -1;
    }
    if (!pma->valid()) return -1;
    *service = pma.release();
    return 1;
  });
}

LUMETRA_API int pipPmaTermIntern(CpmaGlobalStoreList* service, int commit) {
  return WithService(service, [&](CpmaGlobalStoreList& pma) -> int {
    const int result = pma.CloseOutputs(commit != 0);
    // On success the caller has handed the object over to be destroyed.
    if (result == 1) {
      std::unique_ptr<CpmaGlobalStoreList> ending(&pma);
    }
    return result;
  });
}

LUMETRA_API int pipPmaAddStoreIntern(CpmaGlobalStoreList* service, int x, int y, const char* name) {
  return WithService(service, [&](CpmaGlobalStoreList& pma) { return pma.AddStore(x, y, name); });
}

LUMETRA_API int pipPmaAddCustomerIntern(CpmaGlobalStoreList* service, int x, int y,
                                        const char* storeName, double weight) {
  return WithService(
      service, [&](CpmaGlobalStoreList& pma) { return pma.AddCustomer(x, y, storeName, weight); });
}

LUMETRA_API int pipPmaClearCustomersIntern(CpmaGlobalStoreList* service) {
  return WithService(service, [](CpmaGlobalStoreList& pma) { return pma.ClearCustomers(); });
}

LUMETRA_API int pipPmaClearStoresIntern(CpmaGlobalStoreList* service) {
  return WithService(service, [](CpmaGlobalStoreList& pma) { return pma.ClearStores(); });
}

LUMETRA_API int pipPmaSetOutputFilesIntern(CpmaGlobalStoreList* service, int coordinateType,
                                           const char* primary, const char* secondary,
                                           const char* tertiary) {
  return WithService(service, [&](CpmaGlobalStoreList& pma) {
    return pma.SetOutputFiles(coordinateType, primary, secondary, tertiary);
  });
}

LUMETRA_API int pipPmaSetProgressFunctionIntern(CpmaGlobalStoreList* service,
                                                pipPmaProgressCallback callback) {
  return WithService(service, [&](CpmaGlobalStoreList& pma) {
    pma.SetProgressFunction(callback);
    return 1;
  });
}

LUMETRA_API int pipPmaGenerateRingPolygonsIntern(CpmaGlobalStoreList* service, int segments,
                                                 int geographic, int fullPolygons, double r1,
                                                 double r2, double r3) {
  return Generate(service, Kind::kRings, "Ring polygon - bad radius values.",
                  RingValues(segments, geographic, fullPolygons, r1, r2, r3));
}

LUMETRA_API int pipPmaGenerateNonoverlappingRingPolygonsIntern(CpmaGlobalStoreList* service,
                                                               int segments, int geographic,
                                                               int fullPolygons, double r1,
                                                               double r2, double r3) {
  return Generate(service, Kind::kThiessen, "Thiessen polygon - bad radius values.",
                  RingValues(segments, geographic, fullPolygons, r1, r2, r3));
}

LUMETRA_API int pipPmaGenerateConvexHullPolygonsIntern(CpmaGlobalStoreList* service, int countMode,
                                                       double maxDistance, int geographic,
                                                       int fullPolygons, double p1, double p2,
                                                       double p3) {
  CpmaGlobalStoreList::Generation g = RingValues(0, geographic, fullPolygons, p1, p2, p3);
  g.count_mode = countMode;
  g.max_distance = maxDistance;
  return Generate(service, Kind::kHulls, "Convex hull polygon - bad threshold values.", g);
}

}  // extern "C"
