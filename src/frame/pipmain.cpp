// Exported entry points of the library frame.
#include <lumetra/pip.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "frame/handle_table.h"
#include "frame/library_context.h"
#include "frame/point_distance.h"

using lumetra::GuardedCall;
using lumetra::TerminateHandle;
using lumetra::WithHandle;

namespace {

constexpr double kPi = 3.141592653589793;

void CopyText(char* dst, const char* src) {
  if (dst == nullptr) return;
  std::strncpy(dst, src, PIP_ERROR_TEXT_SIZE - 1);
  dst[PIP_ERROR_TEXT_SIZE - 1] = '\0';
}

}  // namespace

extern "C" {

LUMETRA_API int pipInit(int, const char*) {
  return GuardedCall(0, []() -> int {
    auto context = std::make_unique<pipLibraryContext>();
    const int handle = pipHandleTable::Instance().RegisterHandle(context.get(), PIP_HANDLE_LIBRARY);
    if (handle != 0) context.release();
    return handle;
  });
}

LUMETRA_API int pipTerm(int libraryHandle) {
  return TerminateHandle<pipLibraryContext>(libraryHandle, PIP_HANDLE_LIBRARY, 1);
}

LUMETRA_API int pipErrorShow(int libraryHandle, short mode) {
  return WithHandle<pipLibraryContext>(libraryHandle, PIP_HANDLE_LIBRARY, 0,
                                       [&](pipLibraryContext& library) {
                                         const int previous = library.error().display_mode();
                                         library.error().set_display_mode(mode);
                                         return previous;
                                       });
}

LUMETRA_API int pipErrorGet(int libraryHandle, char* message, char* detail) {
  return GuardedCall(-1, [&]() -> int {
    lumetra::HandleLease<pipLibraryContext> library(libraryHandle, PIP_HANDLE_LIBRARY);
    if (!library) {
      CopyText(message, "Handle is not recognized");
      CopyText(detail, "attempted call to pipErrorGet with invalid handle as first parameter");
      return PIP_ERR_BAD_HANDLE;
    }
    const pipError& record = library->error();
    CopyText(message, record.message());
    CopyText(detail, record.detail());
    return record.code();
  });
}

LUMETRA_API int pipGetVersion(char* buffer) {
  if (buffer == nullptr) return -1;
  std::snprintf(buffer, PIP_VERSION_BUFFER_SIZE, "Lumetra+ v%d.%02d", PIP_VERSION_MAJOR,
                PIP_VERSION_MINOR);
  return 1;
}

LUMETRA_API int pipDistance(int x1, int y1, int x2, int y2, int units, int* bearing) {
  std::feclearexcept(FE_ALL_EXCEPT);
  const lumetra::PointDistance from(x1, y1, units);
  const double dx = from.Dx(x2);
  const double dy = from.Dy(y2);
  const double d = std::sqrt(dx * dx + dy * dy);
  double angle = 0.0;
  if (d != 0.0 && bearing != nullptr) angle = std::acos(dy / d) * 180.0 / kPi;
  // A distance that does not fit the result is a fault of the conversion.
  if (std::fetestexcept(FE_INVALID) || !(d < 2147483648.0)) return -1;
  if (bearing != nullptr) {
    if (d == 0.0) {
      *bearing = 0;
    } else {
      *bearing =
          static_cast<int>(dx >= 0.0 ? std::trunc(angle + 0.5) : std::trunc(360.0 - angle + 0.5));
    }
  }
  return static_cast<int>(d);
}

}  // extern "C"
