#include "frame/error.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "frame/text_copy.h"

namespace {

struct CodeText {
  int code;
  const char* text;
};

// The code table; it ends at code -1.
constexpr CodeText kCodeTable[] = {
    {100, ""},
    {101, "Unknown error."},
    {102, "Invalid file signature."},
    {103, "Internal table overflow."},
    {104, "Insufficient memory."},
    {105, "File not found."},
    {106, "Invalid data passed to function."},
    {111, "Invalid checksum or file size."},
    {-1, nullptr},
};

constexpr const char kUnknownCode[] = "Unknown error code.";

void DefaultMessageBox(const char* text, const char* caption) {
  std::fprintf(stderr, "[%s] %s\n", caption, text);
  std::fflush(stderr);
}

lumetra::MessageBoxHook g_message_box = &DefaultMessageBox;

// Formats the displayed text of a record into buf.
void FormatDisplay(const QError& e, char* buf, std::size_t size) {
  std::snprintf(buf, size, "Error: %d\n%s\n%s\n%s", e.code(), e.message(), e.detail(),
                e.location());
}

// Big enough for the code, the three texts and the fixed words.
constexpr std::size_t kDisplaySize =
    16 + QError::kMessageSize + QError::kDetailSize + QError::kLocationSize + 16;

}  // namespace

QError::QError() : code_(-1) {
  message_[0] = '\0';
  detail_[0] = '\0';
  location_[0] = '\0';
}

QError::~QError() = default;

const char* QError::TableMessage(int code) {
  for (const CodeText* row = kCodeTable; row->code != -1; ++row) {
    if (row->code == code) return row->text;
  }
  return kUnknownCode;
}

int QError::Record(int code, const char* detail, const char* source_file, int line) {
  const int saved_errno = errno;
  if (code == -1) {
    Clear();
    return -1;
  }
  if (code < 100) {
    char sys[kMessageSize];
    const char* text = strerror_r(saved_errno, sys, sizeof sys);
    lumetra::CopyCut(text, message_, sizeof message_);
    if (char* lf = std::strchr(message_, '\n')) *lf = '\0';
  } else {
    lumetra::CopyCut(TableMessage(code), message_, sizeof message_);
  }
  code_ = code;
  lumetra::CopyCut(detail != nullptr ? detail : "", detail_, sizeof detail_);
  std::snprintf(location_, sizeof location_, "Error recorded in: %s, (%d).",
                source_file != nullptr ? source_file : "", line);
  errno = saved_errno;
  return code;
}

int QError::Set(int code, const char* detail, const char* source_file, int line) {
  return Record(code, detail, source_file, line);
}

void QError::Clear() {
  code_ = -1;
  message_[0] = '\0';
  detail_[0] = '\0';
  location_[0] = '\0';
}

int QError::SetF(int code, const char* source_file, int line, const char* format, ...) {
  char detail[kDetailSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(detail, sizeof detail, format, args);
  va_end(args);
  return Set(code, detail, source_file, line);
}

int QErrorEx::Set(int code, const char* detail, const char* source_file, int line) {
  Record(code, detail, source_file, line);
  throw QErrorEx(*this);
}

int pipError::Report(int code, const char* detail, const char* source_file, int line) {
  const int result = Set(code, detail, source_file, line);
  Display();
  return result;
}

int pipError::ReportF(int code, const char* source_file, int line, const char* format, ...) {
  char detail[kDetailSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(detail, sizeof detail, format, args);
  va_end(args);
  return Report(code, detail, source_file, line);
}

void pipError::Display() const {
  if (display_mode_ != 1 && display_mode_ != 2) return;
  char text[kDisplaySize];
  FormatDisplay(*this, text, sizeof text);
  if (display_mode_ == 1) {
    std::fputs(text, stdout);
    std::fflush(stdout);
  } else {
    g_message_box(text, "Error");
  }
}

namespace lumetra {

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
  MessageBoxHook previous = g_message_box;
  g_message_box = hook != nullptr ? hook : &DefaultMessageBox;
  return previous;
}

}  // namespace lumetra
