// Exported entry points of the market-area service (handle kind 8): each
// looks its handle up and runs the handle-less worker on the object.
#include <lumetra/pip.h>

#include <memory>

#include "frame/handle_table.h"
#include "frame/library_context.h"
#include "pma/global_store_list.h"

using lumetra::GuardedCall;
using lumetra::WithHandle;

namespace {

template <class F>
int WithPma(int handle, F&& work) {
  return WithHandle<CpmaGlobalStoreList>(handle, PIP_HANDLE_PMA, -1,
                                         [&](CpmaGlobalStoreList& pma) { return work(&pma); });
}

}  // namespace

extern "C" {

LUMETRA_API int pipPmaInit(int libraryHandle, int* pmaHandle) {
  if (pmaHandle == nullptr) return -1;
  return lumetra::InitService<CpmaGlobalStoreList>(
      libraryHandle, PIP_HANDLE_PMA, pmaHandle,
      [](pipLibraryContext& library) -> std::unique_ptr<CpmaGlobalStoreList> {
        CpmaGlobalStoreList* service = nullptr;
        pipPmaInitIntern(&library, &service);
        return std::unique_ptr<CpmaGlobalStoreList>(service);
      });
}

LUMETRA_API int pipPmaTerm(int pmaHandle, int commit) {
  return GuardedCall(-1, [&]() -> int {
    std::unique_ptr<CpmaGlobalStoreList> pma =
        lumetra::TakeHandleObject<CpmaGlobalStoreList>(pmaHandle, PIP_HANDLE_PMA);
    if (pma == nullptr) return -1;
    // The handle is already free; the object goes whatever closing does.
    return pma->CloseOutputs(commit != 0);
  });
}

LUMETRA_API int pipPmaAddStore(int pmaHandle, int x, int y, const char* name) {
  return WithPma(pmaHandle,
                 [&](CpmaGlobalStoreList* pma) { return pipPmaAddStoreIntern(pma, x, y, name); });
}

LUMETRA_API int pipPmaAddCustomer(int pmaHandle, int x, int y, const char* storeName,
                                  double weight) {
  return WithPma(pmaHandle, [&](CpmaGlobalStoreList* pma) {
    return pipPmaAddCustomerIntern(pma, x, y, storeName, weight);
  });
}

LUMETRA_API int pipPmaClearCustomers(int pmaHandle) {
  return WithPma(pmaHandle, pipPmaClearCustomersIntern);
}

LUMETRA_API int pipPmaClearStores(int pmaHandle) {
  return WithPma(pmaHandle, pipPmaClearStoresIntern);
}

LUMETRA_API int pipPmaSetOutputFiles(int pmaHandle, int coordinateType, const char* primary,
                                     const char* secondary, const char* tertiary) {
  return WithPma(pmaHandle, [&](CpmaGlobalStoreList* pma) {
    return pipPmaSetOutputFilesIntern(pma, coordinateType, primary, secondary, tertiary);
  });
}

LUMETRA_API int pipPmaSetProgressFunction(int pmaHandle, pipPmaProgressCallback callback) {
  return WithPma(pmaHandle, [&](CpmaGlobalStoreList* pma) {
    return pipPmaSetProgressFunctionIntern(pma, callback);
  });
}

LUMETRA_API int pipPmaGenerateRingPolygons(int pmaHandle, int segments, int geographic,
                                           int fullPolygons, double r1, double r2, double r3) {
  return WithPma(pmaHandle, [&](CpmaGlobalStoreList* pma) {
    return pipPmaGenerateRingPolygonsIntern(pma, segments, geographic, fullPolygons, r1, r2, r3);
  });
}

LUMETRA_API int pipPmaGenerateNonoverlappingRingPolygons(int pmaHandle, int segments,
                                                         int geographic, int fullPolygons,
                                                         double r1, double r2, double r3) {
  return WithPma(pmaHandle, [&](CpmaGlobalStoreList* pma) {
    return pipPmaGenerateNonoverlappingRingPolygonsIntern(pma, segments, geographic, fullPolygons,
                                                          r1, r2, r3);
  });
}

LUMETRA_API int pipPmaGenerateConvexHullPolygons(int pmaHandle, int countMode, double maxDistance,
                                                 int geographic, int fullPolygons, double p1,
                                                 double p2, double p3) {
  return WithPma(pmaHandle, [&](CpmaGlobalStoreList* pma) {
    return pipPmaGenerateConvexHullPolygonsIntern(pma, countMode, maxDistance, geographic,
                                                  fullPolygons, p1, p2, p3);
  });
}

}  // extern "C"
