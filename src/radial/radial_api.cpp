// Exported entry points of the radial point search (handle kind 5).  Each
// handle function is the common pattern of the handle table -- look the
// handle up by kind, work on its pipRadContext, release it on every path,
// let no exception out (failure value -1) -- around its Intern form, which
// does the same work on the context itself.
#include <lumetra/pip.h>

#include <memory>
#include <new>
#include <utility>

#include "frame/error.h"
#include "frame/handle_table.h"
#include "frame/library_context.h"
#include "frame/text_copy.h"
#include "radial/pip_rad_context.h"
#include "search/object_file_object.h"

using lumetra::GuardedCall;
using lumetra::RadialAnswer;

namespace {

std::unique_ptr<pipRadContext> MakeContext(pipLibraryContext& library, int mode) {
  try {
    return std::make_unique<pipRadContext>(library.error(), mode);
  } catch (const std::bad_alloc&) {
    library.error().Set(PIP_ERR_NO_MEMORY, pipRadContext::kTreeMemory, QERR_HERE);
    return nullptr;
  }
}

// Runs work(pipRadContext&) on the context behind `handle`; -1 when there
// is none.
template <class F>
int WithSearch(int handle, F&& work) noexcept {
  return lumetra::WithHandle<pipRadContext>(handle, PIP_HANDLE_RADIAL_SEARCH, -1,
                                            std::forward<F>(work));
}

// The Intern pattern: -1 for a null context, work(context) otherwise, no
// exception out.
template <class F>
int WithContext(pipRadContext* search, F&& work) noexcept {
  if (search == nullptr) return -1;
  return GuardedCall(-1, [&] { return work(*search); });
}

// The outputs of a find-first: the name buffer emptied first; a negative
// length refused (false).
bool PrepareFirst(char* name, int name_length) {
  lumetra::ClearText(name, name_length);
  return name_length >= 0;
}

}  // namespace

extern "C" {

LUMETRA_API int pipRadInitIntern(pipLibraryContext* library, int mode, pipRadContext** search) {
  if (search == nullptr) return -1;
  *search = nullptr;
  if (library == nullptr) return -1;
  return GuardedCall(-1, [&] {
    *search = MakeContext(*library, mode).release();  // the caller's, until pipRadTermIntern
    return *search != nullptr ? 1 : -1;
  });
}

LUMETRA_API int pipRadTermIntern(pipRadContext* search) {
  if (search == nullptr) return -1;
  return GuardedCall(-1, [&] {
    std::unique_ptr<pipRadContext> owned(search);
    return 1;
  });
}

LUMETRA_API int pipRadInsertPointIntern(pipRadContext* search, int x, int y, const char* name) {
  return WithContext(search, [&](pipRadContext& s) { return s.InsertPoint(x, y, name); });
}

LUMETRA_API int pipRadLoadPointsIntern(pipRadContext* search, pipObjectFileObject* objectFile) {
  if (objectFile == nullptr) return -1;
  return WithContext(search, [&](pipRadContext& s) { return s.LoadPoints(*objectFile); });
}

LUMETRA_API int pipRadFindFirstInRectIntern(pipRadContext* search, int x1, int y1, int x2, int y2,
                                            int* x, int* y, char* name, int nameLength) {
  if (!PrepareFirst(name, nameLength)) return -1;
  return WithContext(search, [&](pipRadContext& s) {
    return s.FindFirstInRect(x1, y1, x2, y2, RadialAnswer{x, y, name, nameLength});
  });
}

LUMETRA_API int pipRadFindFirstInRadiusIntern(pipRadContext* search, int cx, int cy, int radius,
                                              int* x, int* y, char* name, int nameLength) {
  if (!PrepareFirst(name, nameLength)) return -1;
  return WithContext(search, [&](pipRadContext& s) {
    return s.FindFirstInRadius(cx, cy, radius, RadialAnswer{x, y, name, nameLength});
  });
}

LUMETRA_API int pipRadFindFirstNearestIntern(pipRadContext* search, int cx, int cy, int count,
                                             int* x, int* y, char* name, int nameLength) {
  if (!PrepareFirst(name, nameLength)) return -1;
  return WithContext(search, [&](pipRadContext& s) {
    return s.FindFirstNearest(cx, cy, count, RadialAnswer{x, y, name, nameLength});
  });
}

LUMETRA_API int pipRadFindNextIntern(pipRadContext* search, int* x, int* y, char* name,
                                     int nameLength) {
  lumetra::ClearText(name, nameLength);
  return WithContext(search, [&](pipRadContext& s) {
    return s.FindNext(RadialAnswer{x, y, name, nameLength});
  });
}

LUMETRA_API int pipRadInit(int libraryHandle, int mode, int* radHandle) {
  if (radHandle == nullptr) return -1;
  return lumetra::InitService<pipRadContext>(
      libraryHandle, PIP_HANDLE_RADIAL_SEARCH, radHandle,
      [&](pipLibraryContext& library) { return MakeContext(library, mode); });
}

LUMETRA_API int pipRadTerm(int radHandle) {
  return lumetra::TerminateHandle<pipRadContext>(radHandle, PIP_HANDLE_RADIAL_SEARCH, 1);
}

LUMETRA_API int pipRadInsertPoint(int radHandle, int x, int y, const char* name) {
  return WithSearch(radHandle,
                    [&](pipRadContext& s) { return pipRadInsertPointIntern(&s, x, y, name); });
}

LUMETRA_API int pipRadLoadPoints(int radHandle, int objectFileHandle) {
  return WithSearch(radHandle, [&](pipRadContext& s) {
    return lumetra::WithObjectFile(objectFileHandle, [&](pipObjectFileObject& file) {
      return pipRadLoadPointsIntern(&s, &file);
    });
  });
}

LUMETRA_API int pipRadFindFirstInRect(int radHandle, int x1, int y1, int x2, int y2, int* x, int* y,
                                      char* name, int nameLength) {
  if (!PrepareFirst(name, nameLength)) return -1;
  return WithSearch(radHandle, [&](pipRadContext& s) {
    return pipRadFindFirstInRectIntern(&s, x1, y1, x2, y2, x, y, name, nameLength);
  });
}

LUMETRA_API int pipRadFindFirstInRadius(int radHandle, int cx, int cy, int radius, int* x, int* y,
                                        char* name, int nameLength) {
  if (!PrepareFirst(name, nameLength)) return -1;
  return WithSearch(radHandle, [&](pipRadContext& s) {
    return pipRadFindFirstInRadiusIntern(&s, cx, cy, radius, x, y, name, nameLength);
  });
}

LUMETRA_API int pipRadFindFirstNearest(int radHandle, int cx, int cy, int count, int* x, int* y,
                                       char* name, int nameLength) {
  if (!PrepareFirst(name, nameLength)) return -1;
  return WithSearch(radHandle, [&](pipRadContext& s) {
    return pipRadFindFirstNearestIntern(&s, cx, cy, count, x, y, name, nameLength);
  });
}

LUMETRA_API int pipRadFindNext(int radHandle, int* x, int* y, char* name, int nameLength) {
  lumetra::ClearText(name, nameLength);
  return WithSearch(radHandle, [&](pipRadContext& s) {
    return pipRadFindNextIntern(&s, x, y, name, nameLength);
  });
}

}  // extern "C"
