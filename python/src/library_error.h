// The error record of a library handle, carried out of the C interface as a
// C++ exception and turned into lumetra.LumetraError by the module.
#ifndef LUMETRA_PYTHON_LIBRARY_ERROR_H
#define LUMETRA_PYTHON_LIBRARY_ERROR_H

#include <stdexcept>
#include <string>

namespace lumetra_py {

// A failure of a pip* call: what the caller was doing (context) and the
// library's error record at that moment.  code is the recorded code (below
// 100 a system error number), or -1 when nothing was recorded -- an unknown
// handle, or a failure found by the caller's own checks.
class LibraryError : public std::runtime_error {
 public:
  LibraryError(std::string context, int code, std::string message, std::string detail);

  const std::string& context() const { return context_; }
  int code() const { return code_; }
  const std::string& message() const { return message_; }
  const std::string& detail() const { return detail_; }

 private:
  std::string context_;
  int code_;
  std::string message_;
  std::string detail_;
};

// The error record of `library_handle` (pipErrorGet) as a LibraryError.
LibraryError RecordedError(int library_handle, const std::string& context);

}  // namespace lumetra_py

#endif  // LUMETRA_PYTHON_LIBRARY_ERROR_H
