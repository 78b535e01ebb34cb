#include "shapefile/stdio_support.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <string>

namespace lumetra {
namespace shapefile {

int ReportFailure(const char* text, int error_number) {
  errno = error_number;
  std::perror(text);
  // perror may itself disturb errno; callers read it after a -1.
  errno = error_number;
  return -1;
}

int ReportCorruption(const char* text, const char* format, ...) {
  char detail[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(detail, sizeof detail, format, args);
  va_end(args);
  const std::string message = std::string(text) + ": " + detail;
  return ReportFailure(message.c_str(), EINVAL);
}

int ReportStreamFailure(const char* text, std::FILE* stream) {
  int error_number = ENODATA;
  if (stream != nullptr && std::ferror(stream)) error_number = errno != 0 ? errno : EIO;
  return ReportFailure(text, error_number);
}

UniqueStream OpenBufferedStream(const char* path, const char* mode, const char* setvbuf_text) {
  UniqueStream stream(std::fopen(path, mode));
  if (!stream) {
    ReportFailure(path, errno);
    return nullptr;
  }
  if (std::setvbuf(stream.get(), nullptr, _IOFBF, kStreamBufferSize) != 0) {
    ReportFailure(setvbuf_text, errno != 0 ? errno : ENOMEM);
    return nullptr;
  }
  return stream;
}

std::size_t ReadUpTo(std::FILE* stream, void* buffer, std::size_t size) {
  if (size == 0) return 0;
  errno = 0;
  return std::fread(buffer, 1, size, stream);
}

bool WriteAll(std::FILE* stream, const void* buffer, std::size_t size) {
  if (size == 0) return true;
  errno = 0;
  return std::fwrite(buffer, 1, size, stream) == size;
}

std::int64_t StreamFileSize(std::FILE* stream) {
  struct stat info;
  if (fstat(fileno(stream), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

std::int64_t StreamPosition(std::FILE* stream) {
  const off_t position = ftello(stream);
  return position < 0 ? -1 : static_cast<std::int64_t>(position);
}

}  // namespace shapefile
}  // namespace lumetra
