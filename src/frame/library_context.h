// pipLibraryContext: the object behind a library handle (kind 1).  It owns
// the error record that every service opened through the handle reports
// into; services keep a reference to it, so they are closed before pipTerm.
#ifndef LUMETRA_FRAME_LIBRARY_CONTEXT_H
#define LUMETRA_FRAME_LIBRARY_CONTEXT_H

#include <lumetra/pip.h>

#include <memory>

#include "frame/error.h"
#include "frame/handle_table.h"

class pipLibraryContext {
 public:
  pipLibraryContext() = default;
  pipLibraryContext(const pipLibraryContext&) = delete;
  pipLibraryContext& operator=(const pipLibraryContext&) = delete;

  pipError& error() { return error_; }

 private:
  pipError error_;
};

namespace lumetra {

// Detail recorded with code 103 when no handle is free.
inline constexpr char kTooManyHandles[] = "Too many handles in use!\n";

// Registers a service object made under `library` with handle kind `kind`
// and writes the handle to *out_handle.  When the table is full the failure
// is reported (code 103) in the library's record, the object is destroyed,
// *out_handle is 0 and the result is -1; otherwise 1.
template <class T>
int RegisterService(pipLibraryContext& library, std::unique_ptr<T> object, int kind,
                    int* out_handle) {
  const int handle = pipHandleTable::Instance().RegisterHandle(object.get(), kind);
  if (handle == 0) {
    library.error().Report(PIP_ERR_TABLE_OVERFLOW, kTooManyHandles, QERR_HERE);
    if (out_handle != nullptr) *out_handle = 0;
    return -1;
  }
  object.release();  // the handle now names it; its terminating call deletes it
  if (out_handle != nullptr) *out_handle = handle;
  return 1;
}

// The initialising pattern: look up the library handle, make the service
// with make(pipLibraryContext&) -> std::unique_ptr<T> (null = failure, which
// make has already recorded), register it as `kind`.  *out_handle is 0 on
// every failure.
template <class T, class Make>
int InitService(int library_handle, int kind, int* out_handle, Make&& make) noexcept {
  if (out_handle != nullptr) *out_handle = 0;
  return WithHandle<pipLibraryContext>(
      library_handle, PIP_HANDLE_LIBRARY, -1, [&](pipLibraryContext& library) -> int {
        std::unique_ptr<T> object = make(library);
        if (!object) return -1;
        return RegisterService(library, std::move(object), kind, out_handle);
      });
}

}  // namespace lumetra

#endif  // LUMETRA_FRAME_LIBRARY_CONTEXT_H
