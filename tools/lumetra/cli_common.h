// Shared pieces of the lumetra command-line tool: exit codes, the error type
// the commands throw, owners of the library and object-file handles, and
// the conversion of command-line numbers to file units.
//
// The tool uses the exported C interface only (include/lumetra/*.h).
#ifndef LUMETRA_TOOLS_LUMETRA_CLI_COMMON_H
#define LUMETRA_TOOLS_LUMETRA_CLI_COMMON_H

#include <lumetra/pip.h>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace lumetra_cli {

// Exit status of every command: 0 done (something found), 1 nothing found,
// 2 error (bad arguments, unreadable input, library failure).
constexpr int kExitOk = 0;
constexpr int kExitNotFound = 1;
constexpr int kExitError = 2;

// A failure that ends the command with status 2; main prints
// "lumetra: COMMAND: <what()>" to standard error.
class CliError : public std::runtime_error {
 public:
  explicit CliError(const std::string& message) : std::runtime_error(message) {}
};

// A command-line mistake: printed like CliError, followed by a hint to the
// command's --help.
class UsageError : public CliError {
 public:
  explicit UsageError(const std::string& message) : CliError(message) {}
};

// Owns a library handle (pipInit .. pipTerm).  Every other handle the tool
// opens goes through one of these and must be closed before it goes away.
class Library {
 public:
  Library();
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  int handle() const { return handle_; }
  // The last failure recorded in the library's error record, as one line:
  // "<message>: <detail>" (either part alone when the other is empty).
  std::string LastError() const;
  // Throws CliError("<context>: <LastError()>").
  [[noreturn]] void Fail(const std::string& context) const;

 private:
  int handle_ = 0;
};

// Owns an object-file handle (pipObjectFileOpen .. pipObjectFileClose) and
// the file's header information.
class ObjectFile {
 public:
  // Throws CliError with the library's message when the file cannot be
  // opened.  REQUIRES: library outlives this object.
  ObjectFile(const Library& library, const std::string& path, int mode = PIP_OPEN_CACHE_5MB);
  ~ObjectFile();
  ObjectFile(const ObjectFile&) = delete;
  ObjectFile& operator=(const ObjectFile&) = delete;

  int handle() const { return handle_; }
  const std::string& path() const { return path_; }
  const pipObjectFileInfoStruct& info() const { return info_; }
  const Library& library() const { return library_; }
  // Coordinate-type code 1: millionths of a degree, distances in feet.
  bool geographic() const { return info_.coordType == PIP_COORD_GEOGRAPHIC; }
  int objects() const {
    return info_.numPointObjects + info_.numLineObjects + info_.numRegionObjects;
  }

 private:
  const Library& library_;
  std::string path_;
  int handle_ = 0;
  pipObjectFileInfoStruct info_{};
};

// A coordinate given on the command line in file units.  Geographic:
// decimal degrees times 1,000,000, truncated toward zero (as the importer
// converts text); otherwise the number itself, truncated.  Throws
// UsageError naming `what` when the text is not a finite number or the
// result does not fit 32 bits.
std::int32_t ParseCoordinate(const std::string& text, bool geographic, const char* what);

// As ParseCoordinate, without throwing: false for malformed text.
bool TryParseCoordinate(const char* begin, const char* end, bool geographic, std::int32_t* out);

// A whole number in [min, max]; throws UsageError naming `what` otherwise.
long long ParseInteger(const std::string& text, long long min, long long max, const char* what);

// File units back to text: degrees with six decimals in geographic files,
// the plain number otherwise.
std::string FormatCoordinate(std::int32_t value, bool geographic);

// Object type as a word: "region", "line", "point" or "type N".
std::string TypeName(int type);

// Name of a file without its directories.
std::string BaseName(const std::string& path);
// Lower-case extension including the dot (".shp"), or "" when none.
std::string LowerExtension(const std::string& path);

// CSV field: quoted (with doubled quotes) when it holds a comma, a quote or
// a line end; as is otherwise.
std::string CsvField(const std::string& text);
// JSON string literal with its quotes.
std::string JsonString(const std::string& text);

}  // namespace lumetra_cli

#endif  // LUMETRA_TOOLS_LUMETRA_CLI_COMMON_H
