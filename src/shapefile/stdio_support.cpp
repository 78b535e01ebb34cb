#include "shapefile/stdio_support.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <string>

#include "fault_injection.h"

namespace lumetra {
namespace shapefile {
namespace {

std::atomic<std::size_t> allocation_limit{SIZE_MAX};
std::atomic<long> writes_left{-1};

}  // namespace

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

int ReportWriteFailure(const char* text) { return ReportFailure(text, errno != 0 ? errno : EIO); }

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
  if (FaultInjected(FaultSite::kRead)) {
    // An injected failure must look like a real one, not like the end of
    // the file: the stream's error indicator is set, as a failing read does.
#ifdef _IO_ERR_SEEN
    stream->_flags |= _IO_ERR_SEEN;
#endif
    return 0;
  }
  return std::fread(buffer, 1, size, stream);
}

bool WriteAll(std::FILE* stream, const void* buffer, std::size_t size) {
  if (size == 0) return true;
  errno = 0;
  long left = writes_left.load(std::memory_order_relaxed);
  if (left == 0) {
    errno = EIO;
    return false;
  }
  if (left > 0) writes_left.store(left - 1, std::memory_order_relaxed);
  if (FaultInjected(FaultSite::kWrite)) return false;
  return std::fwrite(buffer, 1, size, stream) == size;
}

void* ReallocateBlock(void* block, std::size_t bytes) {
  if (bytes > allocation_limit.load(std::memory_order_relaxed)) return nullptr;
  if (FaultInjectedAllocation(bytes)) return nullptr;
  return std::realloc(block, bytes);
}

void* ClearedBlock(std::size_t count, std::size_t size) {
  if (size != 0 && count > allocation_limit.load(std::memory_order_relaxed) / size) return nullptr;
  if (FaultInjectedAllocation(count * size)) return nullptr;
  return std::calloc(count, size);
}

void SetAllocationLimitForTest(std::size_t bytes) {
  allocation_limit.store(bytes, std::memory_order_relaxed);
}

void FailWritesAfterForTest(long count) { writes_left.store(count, std::memory_order_relaxed); }

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
