#include "storage/trace.h"

#include <atomic>
#include <cstdarg>

namespace lumetra {

namespace {

std::atomic<std::FILE*> g_trace{nullptr};

void TraceLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

void TraceLine(const char* format, ...) {
  std::FILE* stream = g_trace.load();
  if (stream == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stream, format, args);
  va_end(args);
}

const char* Printable(const char* name) { return name != nullptr ? name : "(null)"; }

}  // namespace

std::FILE* SetTraceStream(std::FILE* stream) { return g_trace.exchange(stream); }

std::FILE* TraceStream() { return g_trace.load(); }

void TraceOpen(const char* name, int rt_flags, int fd) {
  if (g_trace.load() == nullptr) return;
  if (fd >= 0) {
    TraceLine("Open( %s, %d ) = %d\n", Printable(name), rt_flags, fd);
  } else {
    TraceLine("Open( %s, %d ) = FAILED\n", Printable(name), rt_flags);
  }
}

void TraceClose(int fd, int result) { TraceLine("Close( %d ) = %d\n", fd, result); }

void TraceRead(int fd, uint32_t requested, int64_t got) {
  if (g_trace.load() == nullptr) return;
  if (got == static_cast<int64_t>(requested)) {
    TraceLine("Read( %d, %u ) = %d\n", fd, requested, static_cast<int>(got));
  } else {
    TraceLine("Read( %d, %u ) = FAILED(%d)\n", fd, requested, static_cast<int>(got));
  }
}

void TraceWrite(int fd, uint32_t requested, int64_t written) {
  if (g_trace.load() == nullptr) return;
  if (written == static_cast<int64_t>(requested)) {
    TraceLine("Write( %d, %u ) = %d\n", fd, requested, static_cast<int>(written));
  } else {
    TraceLine("Write( %d, %u ) = FAILED(%d)\n", fd, requested, static_cast<int>(written));
  }
}

void TraceSeek(int fd, int64_t offset, int origin, int64_t result) {
  if (g_trace.load() == nullptr) return;
  const long long off = offset;
  const long long res = result;
  if (origin == SEEK_SET && result != offset) {
    TraceLine("Seek( %d, %lld, %d ) = FAILED(%lld)\n", fd, off, origin, res);
  } else {
    TraceLine("Seek( %d, %lld, %d ) = %lld\n", fd, off, origin, res);
  }
}

void TraceDeleteFailed(const char* name) {
  TraceLine("Q_deletefile( %s ) = FAILED\n", Printable(name));
}

}  // namespace lumetra
