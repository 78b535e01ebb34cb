#include "tab/tab_file.h"

#include <sys/types.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "fault_injection.h"
#include "tab/tab_error.h"
#include "tab/tab_library.h"

namespace lumetra::tab {

void ThrowTabError(int code, const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  throw TabError(code, text);
}

TabFile::~TabFile() {
  if (stream_ != nullptr) std::fclose(stream_);
}

void TabFile::Open(const std::string& path, Mode mode) {
  path_ = path;
  stream_ = std::fopen(path.c_str(), mode == Mode::kRead ? "rb" : "w+b");
  if (stream_ == nullptr) {
    ThrowTabError(kTXErrOpen, "cannot %s %s: %s", mode == Mode::kRead ? "open" : "create",
                  path.c_str(), std::strerror(errno));
  }
  position_ = 0;
  size_ = 0;
  if (mode == Mode::kRead) {
    if (fseeko(stream_, 0, SEEK_END) != 0) {
      ThrowTabError(kTXErrOpen, "cannot read %s: %s", path.c_str(), std::strerror(errno));
    }
    const off_t end = ftello(stream_);
    size_ = end > 0 ? static_cast<std::uint64_t>(end) : 0;
    position_ = UINT64_MAX;
  }
}

void TabFile::SeekTo(std::uint64_t offset, int failure_code) {
  if (position_ == offset) return;
  if (offset > static_cast<std::uint64_t>(INT64_MAX) ||
      lumetra::FaultInjected(lumetra::FaultSite::kSeek) ||
      fseeko(stream_, static_cast<off_t>(offset), SEEK_SET) != 0) {
    ThrowTabError(failure_code, "%s: cannot go to offset %llu", path_.c_str(),
                  static_cast<unsigned long long>(offset));
  }
  position_ = offset;
}

std::size_t TabFile::ReadDirect(std::uint64_t offset, void* data, std::size_t size) {
  SeekTo(offset, kTXErrFormat);
  const std::size_t got =
      lumetra::FaultInjected(lumetra::FaultSite::kRead) ? 0 : std::fread(data, 1, size, stream_);
  position_ = got == size ? offset + got : UINT64_MAX;
  return got;
}

std::size_t TabFile::ReadSome(std::uint64_t offset, void* data, std::size_t size) {
  if (offset >= size_ || size == 0) return 0;
  if (size > kWindowSize / 2) return ReadDirect(offset, data, size);
  const bool inside = offset >= window_start_ && offset + size <= window_start_ + window_.size();
  if (!inside) {
    window_start_ = offset - offset % 4096;
    window_.resize(
        static_cast<std::size_t>(std::min<std::uint64_t>(kWindowSize, size_ - window_start_)));
    window_.resize(ReadDirect(window_start_, window_.data(), window_.size()));
  }
  const std::uint64_t end = std::min<std::uint64_t>(offset + size, window_start_ + window_.size());
  if (offset >= end) return 0;
  const std::size_t got = static_cast<std::size_t>(end - offset);
  std::memcpy(data, window_.data() + (offset - window_start_), got);
  return got;
}

void TabFile::ReadAt(std::uint64_t offset, void* data, std::size_t size, const char* what) {
  if (offset > size_ || size > size_ - offset || ReadSome(offset, data, size) != size) {
    ThrowTabError(kTXErrFormat, "%s: %s of %zu bytes at offset %llu lies past the end (%llu bytes)",
                  path_.c_str(), what, size, static_cast<unsigned long long>(offset),
                  static_cast<unsigned long long>(size_));
  }
}

void TabFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  SeekTo(offset, kTXErrWrite);
  if (lumetra::FaultInjected(lumetra::FaultSite::kWrite) ||
      std::fwrite(data, 1, size, stream_) != size) {
    position_ = UINT64_MAX;
    ThrowTabError(kTXErrWrite, "cannot write %s: %s", path_.c_str(), std::strerror(errno));
  }
  position_ = offset + size;
  if (position_ > size_) size_ = position_;
}

void TabFile::Append(const void* data, std::size_t size) { WriteAt(size_, data, size); }

void TabFile::Close() {
  if (stream_ == nullptr) return;
  std::FILE* stream = stream_;
  stream_ = nullptr;
  const bool flushed = std::fflush(stream) == 0;
  const int saved = errno;
  if (std::fclose(stream) != 0 || !flushed) {
    ThrowTabError(kTXErrWrite, "cannot finish %s: %s", path_.c_str(),
                  std::strerror(flushed ? errno : saved));
  }
}

void TabFile::CloseQuietly() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
}

std::string MemberPath(const std::string& path, const char* extension) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.rfind('.');
  const bool has_extension =
      dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string base = has_extension ? path.substr(0, dot) : path;
  std::string ext(extension);
  const bool upper = has_extension && dot + 1 < path.size() &&
                     std::isupper(static_cast<unsigned char>(path[dot + 1]));
  if (upper) {
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return base + ext;
}

}  // namespace lumetra::tab
