// Exported entry points of the region overlap check (handle kind 6).
#include <lumetra/pip.h>

#include <memory>
#include <new>
#include <utility>

#include "clip/overlap_check.h"
#include "frame/handle_table.h"
#include "frame/library_context.h"

using lumetra::OverlapCheck;
using lumetra::OverlapRegion;
using lumetra::WithHandle;

namespace {

constexpr char kNoMemory[] = "Unable to allocate required memory for the operation.";

// Runs work(OverlapCheck&) on the check behind `handle`; -1 when there is none.
template <class F>
int WithCheck(int handle, F&& work) {
  return WithHandle<OverlapCheck>(handle, PIP_HANDLE_OVERLAP_CHECK, -1, std::forward<F>(work));
}

std::unique_ptr<OverlapCheck> MakeCheck(pipLibraryContext& library) {
  try {
    return std::make_unique<OverlapCheck>(library.error());
  } catch (const std::bad_alloc&) {
    library.error().Report(PIP_ERR_NO_MEMORY, kNoMemory, QERR_HERE);
    return nullptr;
  }
}

}  // namespace

extern "C" {

LUMETRA_API int pipInitializeOverlapCheck(int libraryHandle, int* checkHandle) {
  if (checkHandle == nullptr) return -1;
  return lumetra::InitService<OverlapCheck>(libraryHandle, PIP_HANDLE_OVERLAP_CHECK, checkHandle,
                                            MakeCheck);
}

LUMETRA_API int pipAddRegionAPolygon(int checkHandle, int numPoints, const int* xy) {
  return WithCheck(checkHandle, [&](OverlapCheck& check) {
    return check.AddPolygon(OverlapRegion::kA, numPoints, xy);
  });
}

LUMETRA_API int pipAddRegionBPolygon(int checkHandle, int numPoints, const int* xy) {
  return WithCheck(checkHandle, [&](OverlapCheck& check) {
    return check.AddPolygon(OverlapRegion::kB, numPoints, xy);
  });
}

LUMETRA_API int pipClearRegionAPolygon(int checkHandle) {
  return WithCheck(checkHandle, [](OverlapCheck& check) {
    check.ClearRegion(OverlapRegion::kA);
    return 1;
  });
}

LUMETRA_API int pipClearRegionBPolygon(int checkHandle) {
  return WithCheck(checkHandle, [](OverlapCheck& check) {
    check.ClearRegion(OverlapRegion::kB);
    return 1;
  });
}

LUMETRA_API int pipClearRegionAllPolygon(int checkHandle) {
  return WithCheck(checkHandle, [](OverlapCheck& check) {
    check.ClearAll();
    return 1;
  });
}

LUMETRA_API int pipCheckForRegionOverlap(int checkHandle) {
  return WithCheck(checkHandle, [](OverlapCheck& check) { return check.Check(); });
}

LUMETRA_API int pipCheckForRegionOverlapEx(int checkHandle, int resolution, double* percent) {
  return WithCheck(checkHandle,
                   [&](OverlapCheck& check) { return check.CheckEx(resolution, percent); });
}

LUMETRA_API int pipTerminateOverlapCheck(int checkHandle) {
  return lumetra::TerminateHandle<OverlapCheck>(checkHandle, PIP_HANDLE_OVERLAP_CHECK, 1);
}

}  // extern "C"
