// TabError: the one failure type inside the TAB table library.  It carries
// a TX failure code (tab_library.h) and a message that names the file and
// the values involved.  The named operations catch it and keep it as the
// thread's last error; nothing else sees it.
#ifndef LUMETRA_TAB_TAB_ERROR_H
#define LUMETRA_TAB_TAB_ERROR_H

#include <stdexcept>
#include <string>

namespace lumetra::tab {

class TabError : public std::runtime_error {
 public:
  TabError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// Throws TabError(code) with a printf-formatted message.
[[noreturn]] void ThrowTabError(int code, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace lumetra::tab

#endif  // LUMETRA_TAB_TAB_ERROR_H
