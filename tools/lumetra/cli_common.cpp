#include "cli_common.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace lumetra_cli {
namespace {

// Removes trailing line ends and spaces; inner line ends become "; " so a
// message stays on one line.
std::string OneLine(const char* text) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\r') continue;
    if (*p == '\n' || *p == '\t') {
      out += ' ';
    } else {
      out += *p;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  std::string collapsed;
  for (char c : out) {
    if (c == ' ' && !collapsed.empty() && collapsed.back() == ' ') continue;
    collapsed += c;
  }
  return collapsed;
}

}  // namespace

Library::Library() : handle_(pipInit(0, nullptr)) {
  if (handle_ <= 0) throw CliError("the library could not be started");
}

Library::~Library() { pipTerm(handle_); }

std::string Library::LastError() const {
  char message[PIP_ERROR_TEXT_SIZE] = {0};
  char detail[PIP_ERROR_TEXT_SIZE] = {0};
  const int code = pipErrorGet(handle_, message, detail);
  if (code == PIP_ERR_NONE) return "unknown error";
  const std::string m = OneLine(message);
  const std::string d = OneLine(detail);
  if (m.empty()) return d.empty() ? "error " + std::to_string(code) : d;
  if (d.empty()) return m;
  return m + ": " + d;
}

std::string Library::LastDetail() const {
  char message[PIP_ERROR_TEXT_SIZE] = {0};
  char detail[PIP_ERROR_TEXT_SIZE] = {0};
  if (pipErrorGet(handle_, message, detail) == PIP_ERR_NONE) return std::string();
  return detail;
}

void Library::Fail(const std::string& context) const {
  throw CliError(context + ": " + LastError());
}

ObjectFile::ObjectFile(const Library& library, const std::string& path, int mode)
    : library_(library), path_(path) {
  if (pipObjectFileOpen(library.handle(), path.c_str(), mode, &handle_) != 1) {
    handle_ = 0;
    library.Fail("cannot open " + path);
  }
  if (pipObjectHandleFileQuery(handle_, &info_) != 1) {
    const std::string reason = library.LastError();
    pipObjectFileClose(handle_);
    throw CliError("cannot read the header of " + path + ": " + reason);
  }
}

ObjectFile::~ObjectFile() {
  if (handle_ > 0) pipObjectFileClose(handle_);
}

std::string CoordinateTextProblem(const char* begin, const char* end, bool geographic, Axis axis,
                                  std::int32_t* out) {
  while (begin < end && std::isspace(static_cast<unsigned char>(*begin))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(end[-1]))) --end;
  const std::string kMalformed = "malformed";
  if (begin == end) return kMalformed;
  char text[64];
  const std::size_t length = static_cast<std::size_t>(end - begin);
  if (length >= sizeof text) return kMalformed;
  std::memcpy(text, begin, length);
  text[length] = '\0';
  // Only plain decimal notation is a coordinate: no hex, "inf" or "nan".
  for (std::size_t i = 0; i < length; ++i) {
    const char c = text[i];
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' ||
          c == 'e' || c == 'E')) {
      return kMalformed;
    }
  }
  char* stop = nullptr;
  errno = 0;
  const double value = std::strtod(text, &stop);
  if (stop != text + length || errno == ERANGE || !std::isfinite(value)) return kMalformed;
  if (geographic) {
    const double limit = axis == Axis::kY ? 90.0 : 180.0;
    if (std::fabs(value) > limit) {
      return axis == Axis::kY ? "out of range (-90 to 90 degrees)"
                              : "out of range (-180 to 180 degrees)";
    }
  }
  const double units = std::trunc(geographic ? value * 1000000.0 : value);
  if (units < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
      units > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    return "out of range (it must fit 32 bits)";
  }
  *out = static_cast<std::int32_t>(units);
  return std::string();
}

bool TryParseCoordinate(const char* begin, const char* end, bool geographic, Axis axis,
                        std::int32_t* out) {
  return CoordinateTextProblem(begin, end, geographic, axis, out).empty();
}

std::int32_t ParseCoordinate(const std::string& text, bool geographic, const char* what) {
  const std::string name = what;
  const Axis axis = name == "latitude" || (!name.empty() && name[0] == 'Y') ? Axis::kY : Axis::kX;
  std::int32_t value = 0;
  const std::string problem =
      CoordinateTextProblem(text.data(), text.data() + text.size(), geographic, axis, &value);
  if (problem == "malformed") {
    throw UsageError("malformed " + name + " '" + text + "'" +
                     (geographic ? " (expected decimal degrees)" : " (expected a number)"));
  }
  if (!problem.empty()) throw UsageError(name + " '" + text + "' is " + problem);
  return value;
}

long long ParseInteger(const std::string& text, long long min, long long max, const char* what) {
  char* stop = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &stop, 10);
  if (text.empty() || *stop != '\0' || errno == ERANGE || value < min || value > max ||
      std::isspace(static_cast<unsigned char>(text[0]))) {
    throw UsageError(std::string("malformed ") + what + " '" + text +
                     "' (expected a whole number " + std::to_string(min) + " to " +
                     std::to_string(max) + ")");
  }
  return value;
}

std::string FormatCoordinate(std::int32_t value, bool geographic) {
  if (!geographic) return std::to_string(value);
  char text[32];
  const long long v = value;
  const long long magnitude = v < 0 ? -v : v;
  std::snprintf(text, sizeof text, "%s%lld.%06lld", v < 0 ? "-" : "", magnitude / 1000000,
                magnitude % 1000000);
  return text;
}

std::string TypeName(int type) {
  switch (type) {
    case PIP_OBJECT_REGION:
      return "region";
    case PIP_OBJECT_LINE:
      return "line";
    case PIP_OBJECT_POINT:
      return "point";
    default:
      return "type " + std::to_string(type);
  }
}

CapturedStderr::CapturedStderr() {
  std::fflush(stderr);
  scratch_ = std::tmpfile();
  if (scratch_ == nullptr) return;
  saved_ = ::dup(2);
  if (saved_ < 0 || ::dup2(fileno(scratch_), 2) < 0) {
    if (saved_ >= 0) ::close(saved_);
    saved_ = -1;
    return;
  }
  const int copy = ::dup(saved_);
  original_ = copy >= 0 ? ::fdopen(copy, "w") : nullptr;
  if (original_ == nullptr && copy >= 0) ::close(copy);
}

CapturedStderr::~CapturedStderr() { Release(); }

std::string CapturedStderr::Release() {
  std::string text;
  if (original_ != nullptr) {
    std::fclose(original_);
    original_ = nullptr;
  }
  if (saved_ >= 0) {
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    saved_ = -1;
  }
  if (scratch_ != nullptr) {
    std::rewind(scratch_);
    char buffer[512];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, scratch_)) > 0) text.append(buffer, n);
    std::fclose(scratch_);
    scratch_ = nullptr;
  }
  return text;
}

std::string RoutineReason(const std::string& printed, const std::string& file) {
  std::string line = printed;
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
  const std::size_t last_line = line.find_last_of('\n');
  if (last_line != std::string::npos) line = line.substr(last_line + 1);
  // "<routine>: <file>: <detail>: <system text>" -> "<detail>".
  const std::string marker = file + ": ";
  const std::size_t at = line.find(marker);
  if (at == std::string::npos) return std::string();
  std::string detail = line.substr(at + marker.size());
  const std::size_t system_text = detail.rfind(": ");
  if (system_text != std::string::npos) detail.resize(system_text);
  return detail;
}

void CheckInputFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    throw CliError("cannot open " + path + ": " + std::strerror(errno));
  }
  if (S_ISDIR(st.st_mode)) throw CliError(path + " is a directory, not a file");
  if (!S_ISREG(st.st_mode)) throw CliError(path + " is not a regular file");
  if (::access(path.c_str(), R_OK) != 0) {
    throw CliError("cannot open " + path + ": " + std::strerror(errno));
  }
  if (st.st_size == 0) throw CliError(path + " is empty");
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string StemOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot <= start) return path;
  return path.substr(0, dot);
}

std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string LowerExtension(const std::string& path) {
  const std::string base = BaseName(path);
  const std::size_t dot = base.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return "";
  return LowerCase(base.substr(dot));
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

}  // namespace lumetra_cli
