#include "storage/qfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "frame/error.h"
#include "storage/mapping_registry.h"
#include "storage/trace.h"

namespace {

// Runtime-library flags of each open mode (mode 4 falls back to mode 0).
int ModeFlags(int mode) {
  switch (mode) {
    case Qfile::kModeReadWrite:
      return kRtBinary | kRtReadWrite;
    case Qfile::kModeWrite:
      return kRtBinary | kRtWriteOnly;
    case Qfile::kModeAppend:
      return kRtBinary | kRtAppend | kRtReadWrite;
    default:
      return kRtBinary | kRtReadOnly;
  }
}

// Scratch directory: the argument, else $TEMP, else $TMP, else ".".
std::string TemporaryDirectory(const char* directory) {
  if (directory != nullptr && *directory != '\0') return directory;
  for (const char* var : {"TEMP", "TMP"}) {
    const char* value = std::getenv(var);
    if (value != nullptr && *value != '\0') return value;
  }
  return ".";
}

}  // namespace

Qfile::Qfile(QError& err) : err_(err) {}

Qfile::Qfile(QError& err, const char* name, int mode) : err_(err) { Open(name, mode); }

Qfile::~Qfile() {
  if (!is_open_) return;
  try {
    Close();
  } catch (...) {
    // A throwing record must not escape a destructor; the failure is recorded.
  }
}

void Qfile::ResetFields() {
  name_.clear();
  fd_.Release();  // the caller has taken or closed the descriptor
  view_ = nullptr;
  mapped_size_ = 0;
  mapping_id_ = 0;
  position_ = 0;
  access_ = kAccessDescriptor;
  is_open_ = false;
  is_mapped_ = false;
  delete_on_close_ = false;
}

bool Qfile::Open(const char* name, int mode) {
  if (is_open_) return true;
  const std::size_t length = name != nullptr ? strnlen(name, kMaxName) : 0;
  name_.assign(name != nullptr ? name : "", length);
  if (name_.empty()) {
    err_.Set(100, "NULL file name on Qfile Open", QERR_HERE);
    return false;
  }
  if (mode == kModeMapped && OpenMapped()) return true;
  return OpenDescriptor(mode);
}

bool Qfile::OpenDescriptor(int mode) {
  const int fd = QioOpen(name_.c_str(), ModeFlags(mode), 0);
  if (fd < 0) {
    const std::string name = name_;
    ResetFields();
    QioReportErrno(err_, QERR_HERE, name.c_str());
    return false;
  }
  fd_.Reset(fd);
  access_ = kAccessDescriptor;
  position_ = 0;
  is_open_ = true;
  return true;
}

bool Qfile::OpenMapped() {
  lumetra::MappingRegistry::View view;
  if (!lumetra::MappingRegistry::Instance().Acquire(name_.c_str(), err_, &view)) {
    return false;
  }
  mapping_id_ = view.id;
  view_ = view.data;
  mapped_size_ = view.size;
  access_ = kAccessMapped;
  position_ = 0;
  is_open_ = true;
  is_mapped_ = true;
  return true;
}

bool Qfile::OpenTemporary(const char* directory) {
  if (is_open_) {
    err_.SetF(100, QERR_HERE, "Qfile %s is already open", name_.c_str());
    return false;
  }
  std::string name = TemporaryDirectory(directory);
  if (name.back() != '/' && name.back() != '\\') name += '/';
  char number[16];
  std::snprintf(number, sizeof number, "%06d", std::rand() % 32768);
  name += "qf.tmp.r";
  name += number;
  name += ".sXXXXXX";
  if (name.size() > kMaxTemporaryName) {
    err_.SetF(100, QERR_HERE, "Temporary file name too long: %s", name.c_str());
    return false;
  }
  std::vector<char> buf(name.begin(), name.end());
  buf.push_back('\0');
  // mkostemp replaces the X's and creates the file new, read/write, 0600.
  const int fd = ::mkostemp(buf.data(), O_CLOEXEC);
  const int saved = errno;
  lumetra::TraceOpen(buf.data(), kRtBinary | kRtTruncate | kRtCreate | kRtReadWrite, fd);
  errno = saved;
  if (fd < 0) {
    QioReportErrno(err_, QERR_HERE, buf.data());
    return false;
  }
  name_.assign(buf.data());
  fd_.Reset(fd);
  access_ = kAccessDescriptor;
  position_ = 0;
  is_open_ = true;
  delete_on_close_ = true;
  return true;
}

bool Qfile::Close() {
  if (!is_open_) return false;
  return is_mapped_ ? CloseMapped() : CloseDescriptor();
}

// Fields are reset before anything is reported, so a throwing record leaves a
// closed, reusable object behind.
bool Qfile::CloseMapped() {
  const uint64_t id = mapping_id_;
  const std::string name = name_;
  ResetFields();
  if (!lumetra::MappingRegistry::Instance().Release(id)) {
    err_.SetF(100, QERR_HERE, "No shared mapping for %s", name.c_str());
    return false;
  }
  return true;
}

bool Qfile::CloseDescriptor() {
  const int fd = fd_.Release();
  const bool remove_file = delete_on_close_;
  const std::string name = name_;
  ResetFields();
  bool ok = QioClose(fd, err_);
  if (remove_file && std::remove(name.c_str()) != 0) {
    QioReportErrno(err_, QERR_HERE, name.c_str());
    ok = false;
  }
  return ok;
}

int32_t Qfile::Read(void* buf, uint32_t len, bool strict) {
  if (!is_open_ || (buf == nullptr && len > 0)) {
    err_.SetF(100, QERR_HERE, "Read on a closed file or into no buffer: %s", name_.c_str());
    return -1;
  }
  if (is_mapped_) return ReadMapped(buf, len, strict);
  const int32_t got = QioRead(fd_.get(), err_, buf, len);
  if (got < 0) return -1;
  if (strict && static_cast<uint32_t>(got) != len) {
    err_.SetF(28, QERR_HERE, "Short read of %s: %d of %u bytes", name_.c_str(), got, len);
    return -1;
  }
  return got;
}

int32_t Qfile::ReadMapped(void* buf, uint32_t len, bool strict) {
  len = std::min<uint32_t>(len, 0x7FFFF000u);
  const int64_t available =
      position_ < mapped_size_ ? std::min<int64_t>(len, mapped_size_ - position_) : 0;
  if (available > 0) std::memcpy(buf, view_ + position_, static_cast<std::size_t>(available));
  if (strict && available != static_cast<int64_t>(len)) {
    err_.SetF(28, QERR_HERE, "Short read of %s: %lld of %u bytes", name_.c_str(),
              static_cast<long long>(available), len);
    return -1;
  }
  return static_cast<int32_t>(available);
}

bool Qfile::ReadAt(const char* caller, int64_t offset, void* buf, uint32_t len) {
  (void)caller;  // names the calling operation for readers of the code only
  if (len == 0) return true;
  if (!is_open_ || buf == nullptr || offset < 0) {
    err_.SetF(100, QERR_HERE, "Bad read request at offset %lld of %s",
              static_cast<long long>(offset), name_.c_str());
    return false;
  }
  if (is_mapped_) {
    if (offset >= mapped_size_) {
      err_.SetF(28, QERR_HERE, "Offset %lld is beyond the end of %s (%lld bytes)",
                static_cast<long long>(offset), name_.c_str(),
                static_cast<long long>(mapped_size_));
      return false;
    }
    const int64_t available = std::min<int64_t>(len, mapped_size_ - offset);
    std::memcpy(buf, view_ + offset, static_cast<std::size_t>(available));
    if (available != static_cast<int64_t>(len)) {
      err_.SetF(28, QERR_HERE, "Short read of %s: %lld of %u bytes at offset %lld", name_.c_str(),
                static_cast<long long>(available), len, static_cast<long long>(offset));
      return false;
    }
    position_ = offset;
    return true;
  }
  if (QioSeek(fd_.get(), offset, SEEK_SET) != offset) {
    QioReportErrno(err_, QERR_HERE, name_.c_str());
    return false;
  }
  if (Read(buf, len, true) < 0) return false;
  position_ = offset;
  return true;
}

bool Qfile::Seek(int64_t offset) {
  if (!is_open_ || offset < 0) {
    err_.SetF(100, QERR_HERE, "Bad seek to offset %lld of %s", static_cast<long long>(offset),
              name_.c_str());
    return false;
  }
  if (!is_mapped_ && QioSeek(fd_.get(), offset, SEEK_SET) != offset) {
    QioReportErrno(err_, QERR_HERE, name_.c_str());
    return false;
  }
  position_ = offset;
  return true;
}

bool Qfile::Write(const void* buf, uint32_t len) {
  if (!is_open_ || is_mapped_ || (buf == nullptr && len > 0)) {
    err_.SetF(100, QERR_HERE, "Write to a closed or read-only mapped file: %s", name_.c_str());
    return false;
  }
  return QioWrite(fd_.get(), err_, buf, len);
}

int64_t Qfile::Size() const {
  if (!is_open_) return -1;
  if (is_mapped_) return mapped_size_;
  struct stat st;
  if (::fstat(fd_.get(), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}
