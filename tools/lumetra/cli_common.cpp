#include "cli_common.h"

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

bool TryParseCoordinate(const char* begin, const char* end, bool geographic, std::int32_t* out) {
  while (begin < end && std::isspace(static_cast<unsigned char>(*begin))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(end[-1]))) --end;
  if (begin == end) return false;
  char text[64];
  const std::size_t length = static_cast<std::size_t>(end - begin);
  if (length >= sizeof text) return false;
  std::memcpy(text, begin, length);
  text[length] = '\0';
  char* stop = nullptr;
  errno = 0;
  const double value = std::strtod(text, &stop);
  if (stop != text + length || errno == ERANGE || !std::isfinite(value)) return false;
  // Hex floats, "inf" and "nan" are caught above or here: only plain
  // decimal notation is a coordinate.
  for (std::size_t i = 0; i < length; ++i) {
    const char c = text[i];
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' ||
          c == 'e' || c == 'E')) {
      return false;
    }
  }
  const double units = std::trunc(geographic ? value * 1000000.0 : value);
  if (units < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
      units > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    return false;
  }
  *out = static_cast<std::int32_t>(units);
  return true;
}

std::int32_t ParseCoordinate(const std::string& text, bool geographic, const char* what) {
  std::int32_t value = 0;
  if (!TryParseCoordinate(text.data(), text.data() + text.size(), geographic, &value)) {
    throw UsageError(std::string("malformed ") + what + " '" + text + "'" +
                     (geographic ? " (expected decimal degrees)" : " (expected a number)"));
  }
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

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string LowerExtension(const std::string& path) {
  const std::string base = BaseName(path);
  const std::size_t dot = base.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return "";
  std::string ext = base.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
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
