// ImportOptions: the opt-in rules of an import handle (pipImportSetOptions,
// lumetra/pip_ext.h) and the coordinate checks the readers share under them.
//
// Without options every reader keeps its classic rules.  With them:
//  - file units: one scaling for the whole file, chosen by the coordinate
//    type of the file being built (degrees x 1,000,000 in geographic files,
//    the value itself otherwise, truncated toward zero either way);
//  - strict: a coordinate that is not a number, not finite, or out of range
//    (-180..180, -90..90 degrees in geographic files; the i32 range of file
//    units in any file) fails instead of being guessed;
//  - ordinals: an object's ordinal is its position in the source, never a
//    style colour;
//  - fine stamp: the creation time carries microseconds and a random tag;
//  - split: shapefile polygons beyond the limits become several objects.
//
// Usage (a reader):
//   const lumetra::ImportOptions& options = build().options();
//   std::int32_t x = 0;
//   if (options.strict()) {
//     const std::string problem = lumetra::CoordinateProblem(vx, vy, geographic, true);
//     if (!problem.empty()) return Refuse(problem);
//   }
//   x = lumetra::ImportOptions::FileUnits(vx, geographic);
#ifndef LUMETRA_IMPORT_IMPORT_OPTIONS_H
#define LUMETRA_IMPORT_IMPORT_OPTIONS_H

#include <lumetra/pip_ext.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace lumetra {

class ImportOptions {
 public:
  ImportOptions() = default;
  explicit ImportOptions(int flags) : flags_(flags) {}

  // Whether `flags` holds only known option bits.
  static bool Known(int flags) { return (flags & ~PIP_IMPORT_OPT_ALL) == 0; }

  int flags() const { return flags_; }
  bool file_units() const { return (flags_ & PIP_IMPORT_OPT_FILE_UNITS) != 0; }
  bool strict() const { return (flags_ & PIP_IMPORT_OPT_STRICT) != 0; }
  bool source_ordinals() const { return (flags_ & PIP_IMPORT_OPT_ORDINALS) != 0; }
  bool fine_stamp() const { return (flags_ & PIP_IMPORT_OPT_FINE_STAMP) != 0; }
  bool split() const { return (flags_ & PIP_IMPORT_OPT_SPLIT) != 0; }

  // A coordinate in file units under the whole-file rule: value x 1,000,000
  // in geographic files, the value itself otherwise, truncated toward zero
  // and held to the i32 range (NaN gives 0).
  static std::int32_t FileUnits(double value, bool geographic);

  // The fine creation-time text of `seconds` + `microseconds` (local time):
  // "YYYY-MM-DD hh:mm:ss.uuuuuu xxxx", 31 characters, xxxx being `tag` in
  // four lower-case hex digits.
  static std::string FineStampText(std::time_t seconds, long microseconds, unsigned tag);
  // FineStampText of the current time with a random tag.
  static std::string FineStampNow();

 private:
  int flags_ = 0;
};

// Why a coordinate pair cannot be taken, or "" when it can: not finite
// ("is not a finite number"), outside -180..180 / -90..90 in a geographic
// file, or (any file) beyond the i32 range once scaled as `scaled` says
// (x 1,000,000 when true).  The text names the offending value.
std::string CoordinateProblem(double x, double y, bool geographic, bool scaled);

// Reads a whole token as a decimal number: optional sign, digits with an
// optional fraction, optional exponent ("-87.5", ".5", "1e3", "+2").  False
// for anything else -- letters, a second number, "inf", "nan", hex -- and
// for a value beyond the double range.
bool ParseStrictNumber(const char* text, std::size_t length, double* value);
bool ParseStrictNumber(const std::string& text, double* value);

// Reads a whole token as a decimal integer (optional sign); false for
// anything else or a value beyond +-10^15.
bool ParseStrictCount(const char* text, std::int64_t* value);

}  // namespace lumetra

#endif  // LUMETRA_IMPORT_IMPORT_OPTIONS_H
