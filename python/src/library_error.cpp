#include "library_error.h"

#include <lumetra/pip.h>

#include <cstring>
#include <utility>

namespace lumetra_py {
namespace {

std::string Describe(const std::string& context, const std::string& message,
                     const std::string& detail) {
  std::string text = context;
  for (const std::string* part : {&message, &detail}) {
    if (part->empty()) continue;
    text += text.empty() ? "" : ": ";
    text += *part;
  }
  // Details of the library often end in a newline of their own.
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

LibraryError::LibraryError(std::string context, int code, std::string message, std::string detail)
    : std::runtime_error(Describe(context, message, detail)),
      context_(std::move(context)),
      code_(code),
      message_(std::move(message)),
      detail_(std::move(detail)) {}

LibraryError RecordedError(int library_handle, const std::string& context) {
  char message[PIP_ERROR_TEXT_SIZE] = {0};
  char detail[PIP_ERROR_TEXT_SIZE] = {0};
  const int code = pipErrorGet(library_handle, message, detail);
  message[sizeof message - 1] = '\0';
  detail[sizeof detail - 1] = '\0';
  return LibraryError(context, code, message, detail);
}

}  // namespace lumetra_py
