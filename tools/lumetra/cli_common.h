// Shared pieces of the lumetra command-line tool: exit codes, the error type
// the commands throw, owners of the library and object-file handles, and
// the conversion of command-line numbers to file units.
//
// The tool uses the exported C interface only (include/lumetra/*.h).
#ifndef LUMETRA_TOOLS_LUMETRA_CLI_COMMON_H
#define LUMETRA_TOOLS_LUMETRA_CLI_COMMON_H

#include <lumetra/pip.h>

#include <cstdint>
#include <cstdio>
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
  // The detail text of the last failure as recorded (line ends kept).
  std::string LastDetail() const;
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

// The axis of a coordinate: in geographic files x (longitude) lies within
// -180..180 degrees and y (latitude) within -90..90.
enum class Axis { kX, kY };

// A coordinate given on the command line in file units.  Geographic:
// decimal degrees times 1,000,000, truncated toward zero (as the importer
// converts text), within the axis's range; otherwise the number itself,
// truncated, within 32 bits.  The axis is y when `what` is "latitude" or
// begins with 'Y' ("Y1"), x otherwise.  Throws UsageError naming `what`
// when the text is not a plain finite number or out of range.
std::int32_t ParseCoordinate(const std::string& text, bool geographic, const char* what);

// Why the text between begin and end is not a coordinate on `axis` --
// "malformed" or "out of range (...)" -- or "" when it is (*out then holds
// it in file units).
std::string CoordinateTextProblem(const char* begin, const char* end, bool geographic, Axis axis,
                                  std::int32_t* out);
// As CoordinateTextProblem, answering only whether the text is one.
bool TryParseCoordinate(const char* begin, const char* end, bool geographic, Axis axis,
                        std::int32_t* out);

// A whole number in [min, max]; throws UsageError naming `what` otherwise.
long long ParseInteger(const std::string& text, long long min, long long max, const char* what);

// File units back to text: degrees with six decimals in geographic files,
// the plain number otherwise.
std::string FormatCoordinate(std::int32_t value, bool geographic);

// Object type as a word: "region", "line", "point" or "type N".
std::string TypeName(int type);

// Standard error of this process sent to a scratch file for the object's
// life: the shapefile and dBase routines print their failures there, in
// their own words.  text() (after the object ends or on demand) gives what
// was printed.
class CapturedStderr {
 public:
  CapturedStderr();
  ~CapturedStderr();
  CapturedStderr(const CapturedStderr&) = delete;
  CapturedStderr& operator=(const CapturedStderr&) = delete;
  // Restores standard error and returns what was printed meanwhile.
  std::string Release();
  // A stream on the standard error of before the capture, for the tool's
  // own messages meanwhile (stderr itself when nothing was captured).
  std::FILE* original() const { return original_ != nullptr ? original_ : stderr; }

 private:
  int saved_ = -1;
  std::FILE* scratch_ = nullptr;
  std::FILE* original_ = nullptr;
};

// The reason a shapefile or dBase routine printed (its last line), cut to
// what a user needs: the routine's name and the system text are dropped,
// the file's own detail ("... need 2673 bytes, the file holds 100") kept;
// "" when it tells nothing beyond a failed read.
std::string RoutineReason(const std::string& printed, const std::string& file);

// Throws CliError unless `path` names a readable, non-empty regular file:
// "cannot open PATH: No such file or directory", "PATH is a directory, not
// a file", "PATH is empty".
void CheckInputFile(const std::string& path);

// Name of a file without its directories.
std::string BaseName(const std::string& path);
// `path` without its extension (what follows the last '.' of its last
// component, when that '.' does not begin the component).
std::string StemOf(const std::string& path);
// `text` with ASCII letters in lower case.
std::string LowerCase(std::string text);
// Lower-case extension including the dot (".shp"), or "" when none.
std::string LowerExtension(const std::string& path);

// CSV field: quoted (with doubled quotes) when it holds a comma, a quote or
// a line end; as is otherwise.
std::string CsvField(const std::string& text);
// JSON string literal with its quotes.
std::string JsonString(const std::string& text);

}  // namespace lumetra_cli

#endif  // LUMETRA_TOOLS_LUMETRA_CLI_COMMON_H
