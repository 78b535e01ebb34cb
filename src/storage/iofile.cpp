#include "storage/iofile.h"

#include <algorithm>
#include <cstring>

#include "frame/error.h"

namespace {

constexpr int kCR = 13;
constexpr int kLF = 10;
constexpr int kCtrlZ = 26;

constexpr char kNoDelimiters[] = "File does not have CR, LF, or CR/LF line delimiters.\n%s";
constexpr char kLfWithoutCr[] = "LF without CR in input file:\n%s\nLine: %ld";
constexpr char kCrWithoutLf[] = "CR without LF in input file:\n%s\nLine: %ld";
constexpr char kLineTooLong[] = "Maximum line length of %d is\nshorter than line %ld. ";

}  // namespace

IOFile::IOFile(const char* name, QError& err, uint16_t buffer_size)
    : err_(err), file_(err), buffer_size_(std::max<uint16_t>(buffer_size, 1)) {
  buffer_.resize(buffer_size_);
  if (!file_.Open(name, Qfile::kModeRead)) {
    failed_ = true;
    at_end_ = true;
    return;
  }
  DetectLineEnd();
}

// The first CR and the first LF among the first kProbeSize bytes decide the
// kind for the whole file: CR directly followed by LF is CR/LF, otherwise the
// one that comes first wins.
bool IOFile::DetectLineEnd() {
  uint8_t probe[kProbeSize];
  const int32_t got = file_.Read(probe, kProbeSize, false);
  if (got < 0 || !file_.Seek(0)) {
    failed_ = true;
    at_end_ = true;
    return false;
  }
  const uint8_t* begin = probe;
  const uint8_t* end = probe + got;
  const uint8_t* cr = std::find(begin, end, static_cast<uint8_t>(kCR));
  const uint8_t* lf = std::find(begin, end, static_cast<uint8_t>(kLF));
  if (cr != end && lf != end && lf == cr + 1) {
    line_end_ = LineEnd::kCRLF;
  } else if (cr != end || lf != end) {
    line_end_ = cr < lf ? LineEnd::kCR : LineEnd::kLF;
  } else {
    err_.SetF(100, QERR_HERE, kNoDelimiters, file_.name());
    failed_ = true;
    at_end_ = true;
    return false;
  }
  return true;
}

int IOFile::NextByte() {
  if (at_end_) return -1;
  if (next_index_ >= bytes_in_buffer_) {
    const int32_t got = file_.Read(buffer_.data(), buffer_size_, false);
    if (got <= 0) {
      failed_ = got < 0;
      at_end_ = true;
      return -1;
    }
    bytes_in_buffer_ = static_cast<uint16_t>(got);
    next_index_ = 0;
  }
  ++characters_read_;
  return buffer_[next_index_++];
}

int32_t IOFile::Fail(const char* format) {
  failed_ = true;
  at_end_ = true;
  if (format == kLineTooLong) {
    err_.SetF(100, QERR_HERE, kLineTooLong, static_cast<int>(kMaxLineLength),
              static_cast<long>(line_number_));
  } else {
    err_.SetF(100, QERR_HERE, format, file_.name(), static_cast<long>(line_number_));
  }
  return -1;
}

int32_t IOFile::ReadLine(char* dest) {
  if (dest == nullptr) {
    failed_ = true;
    err_.Set(100, "No destination for IOFile::ReadLine", QERR_HERE);
    return -1;
  }
  dest[0] = '\0';
  if (at_end_) return -1;  // also after a failure, which stays recorded
  failed_ = false;
  ++line_number_;
  int32_t count = 0;
  for (;;) {
    const int c = NextByte();
    if (c < 0) break;
    if (c == kCtrlZ) {
      at_end_ = true;
      break;
    }
    if (c == kLF && line_end_ != LineEnd::kCR) {
      if (line_end_ == LineEnd::kCRLF) return Fail(kLfWithoutCr);
      return count;
    }
    if (c == kCR && line_end_ != LineEnd::kLF) {
      if (line_end_ == LineEnd::kCRLF && NextByte() != kLF) {
        return failed_ ? -1 : Fail(kCrWithoutLf);
      }
      return count;
    }
    if (count == kMaxLineLength) return Fail(kLineTooLong);
    dest[count++] = static_cast<char>(c);
    dest[count] = '\0';
  }
  if (failed_) return -1;
  return count > 0 ? count : -1;
}
