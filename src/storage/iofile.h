// IOFile: the line reader behind the text importers (MIF/MID, BNA).
#ifndef LUMETRA_STORAGE_IOFILE_H
#define LUMETRA_STORAGE_IOFILE_H

#include <cstdint>
#include <vector>

#include "storage/qfile.h"

class QError;

// Reads a text file line by line through a 32 KB buffer.  The line end (CR,
// LF or CR/LF) is decided once, from the first CR and LF among the first 512
// bytes; a file with neither there is rejected.  Lines hold at most 2047
// characters; a byte 26 (Ctrl-Z) ends the input.  Line-end bytes are never
// stored.
//
// Ownership: the error record is not owned and must outlive the reader.
// Failures are reported to it with code 100 (errno for read errors); after
// any failure the reader stays failed and at its end.  Thread rule: one
// thread at a time.
//
// Usage:
//   IOFile in("roads.mif", err);
//   char line[IOFile::kLineBufferSize];
//   int32_t n;
//   while ((n = in.ReadLine(line)) >= 0) { ... }
//   if (in.failed()) return false;  // reported
class IOFile {
 public:
  enum class LineEnd : uint32_t { kCR = 1, kLF = 2, kCRLF = 3, kUnknown = 4 };

  static constexpr uint16_t kBufferSize = 32768;
  static constexpr int32_t kMaxLineLength = 2047;
  // Smallest destination ReadLine accepts: the longest line and its NUL.
  static constexpr uint32_t kLineBufferSize = kMaxLineLength + 1;
  // Bytes examined for the line-end kind.
  static constexpr uint32_t kProbeSize = 512;

  // Opens name read-only (Qfile mode 0) and decides the line end.  Test
  // failed() for the outcome.  buffer_size (at least 1) exists for tests of
  // buffer refills.
  IOFile(const char* name, QError& err, uint16_t buffer_size = kBufferSize);
  IOFile(const IOFile&) = delete;
  IOFile& operator=(const IOFile&) = delete;

  // Reads the next line into dest (at least kLineBufferSize bytes), always
  // NUL-terminated.  Returns the number of characters stored (0 for an empty
  // line), or -1 at the end of input with nothing stored and after a failure
  // (failed() tells which).
  int32_t ReadLine(char* dest);

  // Lines read so far, counting the current one.
  uint32_t line_number() const { return line_number_; }
  bool at_end() const { return at_end_; }
  bool failed() const { return failed_; }
  LineEnd line_end() const { return line_end_; }
  // Bytes taken from the file so far, line ends included.
  uint64_t characters_read() const { return characters_read_; }
  const char* name() const { return file_.name(); }

 private:
  bool DetectLineEnd();
  // The next byte, or -1 at the end of input or after a read error.
  int NextByte();
  // Reports code 100 with a text naming the file and the line; returns -1.
  int32_t Fail(const char* format);

  QError& err_;
  Qfile file_;
  std::vector<uint8_t> buffer_;
  uint16_t buffer_size_;
  uint16_t bytes_in_buffer_ = 0;
  uint16_t next_index_ = 0;
  uint64_t characters_read_ = 0;
  LineEnd line_end_ = LineEnd::kUnknown;
  uint32_t line_number_ = 0;
  bool failed_ = false;
  bool at_end_ = false;
};

#endif  // LUMETRA_STORAGE_IOFILE_H
