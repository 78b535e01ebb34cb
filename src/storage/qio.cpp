#include "storage/qio.h"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "fault_injection.h"
#include "frame/byte_order.h"
#include "frame/error.h"
#include "storage/trace.h"

namespace {

constexpr uint32_t kZeroChunk = 1024;
constexpr char kScratchPrefix[] = "qtb";

// Writes all len bytes (retrying partial writes and EINTR); returns the count
// written, which is short only on an error (errno set, or 0 for a write that
// made no progress).
int64_t WriteAll(int fd, const void* buf, uint32_t len) {
  const auto* bytes = static_cast<const uint8_t*>(buf);
  int64_t done = 0;
  errno = 0;
  while (done < static_cast<int64_t>(len)) {
    ssize_t n = lumetra::FaultInjected(lumetra::FaultSite::kWrite)
                    ? -1
                    : ::write(fd, bytes + done, static_cast<size_t>(len - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  lumetra::TraceWrite(fd, len, done);
  return done;
}

// Writes count zeros at the descriptor position.
bool WriteZeros(int fd, QError& err, int64_t count) {
  static const uint8_t kZeros[kZeroChunk] = {};
  while (count > 0) {
    const uint32_t chunk = static_cast<uint32_t>(std::min<int64_t>(count, kZeroChunk));
    if (WriteAll(fd, kZeros, chunk) != chunk) {
      QioReportErrno(err, QERR_HERE, "Unable to write zero bytes");
      return false;
    }
    count -= chunk;
  }
  return true;
}

}  // namespace

int QioReportErrno(QError& err, const char* source_file, int line, const char* detail) {
  const int code = errno != 0 ? errno : 100;
  return err.Set(code, detail, source_file, line);
}

int RtFlagsToPosix(int rt_flags) {
  int flags = O_CLOEXEC;
  if ((rt_flags & kRtReadWrite) != 0) {
    flags |= O_RDWR;
  } else if ((rt_flags & kRtWriteOnly) != 0) {
    flags |= O_WRONLY;
  } else {
    flags |= O_RDONLY;
  }
  if ((rt_flags & kRtAppend) != 0) flags |= O_APPEND;
  if ((rt_flags & kRtCreate) != 0) flags |= O_CREAT;
  if ((rt_flags & kRtTruncate) != 0) flags |= O_TRUNC;
  if ((rt_flags & kRtExclusive) != 0) flags |= O_EXCL;
  return flags;
}

UniqueFd::~UniqueFd() { Reset(); }

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) Reset(other.Release());
  return *this;
}

int UniqueFd::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void UniqueFd::Reset(int fd) {
  if (fd_ >= 0 && fd_ != fd) ::close(fd_);
  fd_ = fd;
}

int QioOpen(const char* name, int rt_flags, unsigned perm) {
  int fd;
  do {
    fd = ::open(name, RtFlagsToPosix(rt_flags), static_cast<mode_t>(perm));
  } while (fd < 0 && errno == EINTR);
  const int saved = errno;
  lumetra::TraceOpen(name, rt_flags, fd);
  errno = saved;
  return fd;
}

int64_t QioSeek(int fd, int64_t offset, int origin) {
  const int64_t result = lumetra::FaultInjected(lumetra::FaultSite::kSeek)
                             ? -1
                             : ::lseek(fd, static_cast<off_t>(offset), origin);
  const int saved = errno;
  lumetra::TraceSeek(fd, offset, origin, result);
  errno = saved;
  return result;
}

int QioCreate(QError& err, const char* name) {
  if (name == nullptr || *name == '\0') {
    err.Set(100, "NULL file name on create", QERR_HERE);
    return -1;
  }
  // 0666 under the process's umask: files the library makes are shared as
  // the caller's other files are (scratch files stay 0600).
  const int fd = QioOpen(name, kRtBinary | kRtCreate | kRtTruncate | kRtWriteOnly, 0666);
  if (fd < 0) QioReportErrno(err, QERR_HERE, name);
  return fd;
}

int32_t QioRead(int fd, QError& err, void* buf, uint32_t len) {
  // One transfer is capped so that its count fits the 32-bit result.
  len = std::min<uint32_t>(len, 0x7FFFF000u);
  auto* bytes = static_cast<uint8_t*>(buf);
  int64_t done = 0;
  while (done < static_cast<int64_t>(len)) {
    ssize_t n = lumetra::FaultInjected(lumetra::FaultSite::kRead)
                    ? -1
                    : ::read(fd, bytes + done, static_cast<size_t>(len - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int saved = errno;
      lumetra::TraceRead(fd, len, -1);
      errno = saved;
      QioReportErrno(err, QERR_HERE, "Read failed");
      return -1;
    }
    if (n == 0) break;
    done += n;
  }
  lumetra::TraceRead(fd, len, done);
  return static_cast<int32_t>(done);
}

bool QioWrite(int fd, QError& err, const void* buf, uint32_t len) {
  if (WriteAll(fd, buf, len) != len) {
    QioReportErrno(err, QERR_HERE, "Short write");
    return false;
  }
  return true;
}

bool QioWriteAt(int fd, QError& err, int64_t offset, const void* buf, uint32_t len) {
  if (QioSeek(fd, offset, SEEK_SET) != offset) {
    QioReportErrno(err, QERR_HERE, "Seek before write failed");
    return false;
  }
  return QioWrite(fd, err, buf, len);
}

bool QioZeroFillAt(int fd, QError& err, int64_t offset, int64_t count) {
  if (QioSeek(fd, offset, SEEK_SET) != offset) {
    QioReportErrno(err, QERR_HERE, "Seek before zero fill failed");
    return false;
  }
  return WriteZeros(fd, err, count);
}

int64_t QioAppendZeros(int fd, QError& err, int64_t count) {
  const int64_t end = QioSeek(fd, 0, SEEK_END);
  if (end < 0) {
    QioReportErrno(err, QERR_HERE, "Seek to end failed");
    return -1;
  }
  return WriteZeros(fd, err, count) ? end : -1;
}

bool QioAlignEnd(int fd, QError& err, uint32_t page_size) {
  if (page_size == 0) {
    err.Set(100, "Page size 0 for aligning a file end", QERR_HERE);
    return false;
  }
  const int64_t end = QioSeek(fd, 0, SEEK_END);
  if (end < 0) {
    QioReportErrno(err, QERR_HERE, "Seek to end failed");
    return false;
  }
  const int64_t rest = end % page_size;
  return rest == 0 || WriteZeros(fd, err, page_size - rest);
}

bool QioWritePage(int fd, QError& err, int64_t offset, uint8_t* page, uint32_t page_size) {
  if (page == nullptr || page_size < 2) {
    err.Set(100, "Page too small for its checksum", QERR_HERE);
    return false;
  }
  StorePageChecksum(page, page_size);
  return QioWriteAt(fd, err, offset, page, page_size);
}

bool QioClose(int fd, QError& err) {
  const int result = ::close(fd);
  const int saved = errno;
  lumetra::TraceClose(fd, result);
  errno = saved;
  if (result != 0) {
    QioReportErrno(err, QERR_HERE, "Close failed");
    return false;
  }
  return true;
}

int QioScratchFile(QError& err, char* name_out, std::size_t name_size, uint32_t max_attempts) {
  constexpr int kFlags = kRtBinary | kRtExclusive | kRtCreate | kRtReadWrite;
  if (name_out == nullptr || name_size == 0) {
    err.Set(100, "No buffer for the scratch file name", QERR_HERE);
    return -1;
  }
  name_out[0] = '\0';
  // The first attempt uses number 0; the retries count 0, 1, 2, ... again.
  for (uint32_t attempt = 0; attempt < max_attempts; ++attempt) {
    const uint32_t number = attempt == 0 ? 0 : attempt - 1;
    const int n =
        std::snprintf(name_out, name_size, "%s.tmp.%d", kScratchPrefix, static_cast<int>(number));
    if (n < 0 || static_cast<std::size_t>(n) >= name_size) {
      err.Set(100, "Scratch file name buffer too small", QERR_HERE);
      return -1;
    }
    const int fd = QioOpen(name_out, kFlags, 0600);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;  // numbering only helps against taken names
  }
  QioReportErrno(err, QERR_HERE, name_out);
  return -1;
}

int QioDeleteFile(const char* name) {
  if (name == nullptr) {
    lumetra::TraceDeleteFailed(name);
    return -1;
  }
  return std::remove(name) == 0 ? 0 : -1;
}

uint16_t PageChecksum(const uint8_t* page, uint32_t n) {
  if (page == nullptr || n < 2) return 0;
  uint32_t sum = 0;
  for (uint32_t i = 0; i + 2 < n; ++i) {  // bytes 0 .. n-3
    sum += static_cast<uint32_t>(page[i]) << (i % 8);
  }
  return static_cast<uint16_t>(sum & 0xFFFFu);
}

void StorePageChecksum(uint8_t* page, uint32_t n) {
  if (page == nullptr || n < 2) return;
  const uint16_t sum = PageChecksum(page, n);
  lumetra::PutU16(page + n - 2, sum);
}

bool PageChecksumValid(const uint8_t* page, uint32_t n) {
  if (page == nullptr || n < 2) return false;
  return lumetra::GetU16(page + n - 2) == PageChecksum(page, n);
}
