// Error records: QError, its throwing variant QErrorEx and the library
// handle's displaying variant pipError.
//
// A record holds only the last failure: code, the message that belongs to the
// code, the reporter's detail text and the place it was recorded.  Code -1
// means "nothing recorded".  Records have no lock; each belongs to one thread
// at a time (see pipLibraryContext).
#ifndef LUMETRA_FRAME_ERROR_H
#define LUMETRA_FRAME_ERROR_H

#include <cstddef>

namespace lumetra {

// Source file name without directories, for the "Error recorded in" place.
constexpr const char* BaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') base = p + 1;
  }
  return base;
}

}  // namespace lumetra

// Place arguments for Set/Report: the reporting module's file name and line.
#define QERR_HERE ::lumetra::BaseName(__FILE__), __LINE__

class QError {
 public:
  static constexpr std::size_t kMessageSize = 256;   // 255 characters + NUL
  static constexpr std::size_t kDetailSize = 256;    // 255 characters + NUL
  static constexpr std::size_t kLocationSize = 128;  // 127 characters + NUL

  QError();
  QError(const QError&) = default;
  QError& operator=(const QError&) = default;
  virtual ~QError();

  // Records `code` with `detail` (null = empty) made at source_file:line and
  // returns the code.  Code -1 clears the record.  Codes below 100 take the
  // system's text for the current errno as their message; the others take
  // the code table's text ("Unknown error code." when absent).
  virtual int Set(int code, const char* detail, const char* source_file, int line);
  virtual void Clear();

  // Set with a printf-style detail (cut at 255 characters).
  int SetF(int code, const char* source_file, int line, const char* format, ...)
      __attribute__((format(printf, 5, 6)));

  int code() const { return code_; }
  const char* message() const { return message_; }
  const char* detail() const { return detail_; }
  const char* location() const { return location_; }

  // The code table's message for a code of 100 or more.
  static const char* TableMessage(int code);

 protected:
  // Records without any virtual follow-up (no throw, no display).
  int Record(int code, const char* detail, const char* source_file, int line);

 private:
  int code_;
  char message_[kMessageSize];
  char detail_[kDetailSize];
  char location_[kLocationSize];
};

// The storage engine's own record when its creator gave none: Set records as
// QError::Set does and then throws a copy of this record (as a QErrorEx),
// unwinding to whoever catches -- at the latest the exported boundary.
class QErrorEx : public QError {
 public:
  int Set(int code, const char* detail, const char* source_file, int line) override;
};

// The record owned by a library handle.  Report records, then displays the
// record as the display mode says: 0 record only, 1 also print to standard
// output, 2 also pass the text to the message-box hook.
class pipError : public QError {
 public:
  int Report(int code, const char* detail, const char* source_file, int line);
  int ReportF(int code, const char* source_file, int line, const char* format, ...)
      __attribute__((format(printf, 5, 6)));

  // Shows the current record as Report would, without recording anything.
  void Display() const;

  int display_mode() const { return display_mode_; }
  void set_display_mode(int mode) { display_mode_ = mode; }

 private:
  int display_mode_ = 0;
};

namespace lumetra {

// Receives the text of a mode-2 display ("Error: %d\n%s\n%s\n%s") and its
// caption "Error".  The default writes the text to standard error.
using MessageBoxHook = void (*)(const char* text, const char* caption);

// Replaces the message-box hook; null restores the default.  Returns the
// previous hook.  Not synchronised: set it before using the library.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

}  // namespace lumetra

#endif  // LUMETRA_FRAME_ERROR_H
