// lumetra zip4: builds ZIP+4 centroid files from CSV and finds the ZIP+4
// codes whose centroids lie in the regions of an object file.
#include <lumetra/pip.h>
#include <lumetra/pip_ext.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "args.h"
#include "cli_common.h"
#include "commands.h"

namespace lumetra_cli {

const char kZip4Help[] =
    "usage: lumetra zip4 build CENTROIDS.csv OUT.z9\n"
    "       lumetra zip4 find FILE.z9 OBJECTS.lmb [--distance FEET]\n"
    "\n"
    "build  writes a ZIP+4 centroid file from CSV lines\n"
    "         ZIP,PLUS4,TYPE,LONGITUDE,LATITUDE[,VALUE1[,VALUE2[,VALUE3]]]\n"
    "       in any order: TYPE is one character (S street, H high-rise, P post\n"
    "       office box, ...), coordinates are decimal degrees (longitude negative\n"
    "       for west, kept to four decimals), the values are whole numbers of your\n"
    "       own.  A first line that does not begin with a digit is a header.\n"
    "find   prints each ZIP+4 code whose centroid lies inside an object of the\n"
    "       object file, or within --distance feet of one (which needs an object\n"
    "       file with segment records), as CSV lines ZIP+4,TYPE,NAME.\n"
    "\n"
    "Exit status: 0 done (find: something found), 1 nothing found, 2 error.\n";

namespace {

std::vector<std::string> SplitCsv(const std::string& line) {
  std::vector<std::string> fields(1);
  for (char c : line) {
    if (c == ',') {
      fields.emplace_back();
    } else if (c != '\r' && c != '"') {
      fields.back() += c;
    }
  }
  for (std::string& f : fields) {
    while (!f.empty() && std::isspace(static_cast<unsigned char>(f.back()))) f.pop_back();
    while (!f.empty() && std::isspace(static_cast<unsigned char>(f.front()))) f.erase(0, 1);
  }
  return fields;
}

bool ParseWhole(const std::string& text, long long min, long long max, int* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < min || v > max) return false;
  *out = static_cast<int>(v);
  return true;
}

// Decimal degrees to ten-thousandths of a degree, rounded.
bool ParseDegrees(const std::string& text, int* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(v) || std::fabs(v) > 360.0) return false;
  *out = static_cast<int>(std::lround(v * 10000.0));
  return true;
}

// One CSV line as a record; throws CliError naming the line.
pipZip4Record ParseRecord(const std::string& line, const std::string& where) {
  const std::vector<std::string> f = SplitCsv(line);
  if (f.size() < 5 || f.size() > 8) {
    throw CliError(where + ": expected 5 to 8 fields, found " + std::to_string(f.size()));
  }
  pipZip4Record r{};
  int longitude = 0;
  if (!ParseWhole(f[0], 1, 99999, &r.zipCode))
    throw CliError(where + ": bad ZIP Code '" + f[0] + "'");
  if (!ParseWhole(f[1], 0, 9999, &r.addOn)) throw CliError(where + ": bad add-on '" + f[1] + "'");
  if (f[2].size() != 1) throw CliError(where + ": the type must be one character");
  r.recordType = static_cast<unsigned char>(f[2][0]);
  if (!ParseDegrees(f[3], &longitude) || !ParseDegrees(f[4], &r.latitude)) {
    throw CliError(where + ": bad coordinates '" + f[3] + "," + f[4] + "'");
  }
  r.longitude = -longitude;  // stored positive for west
  int* values[] = {&r.value1, &r.value2, &r.value3};
  for (std::size_t i = 5; i < f.size(); ++i) {
    if (!ParseWhole(f[i], INT_MIN, INT_MAX, values[i - 5])) {
      throw CliError(where + ": bad value '" + f[i] + "'");
    }
  }
  return r;
}

int RunBuild(const Args& args) {
  args.ExpectPositional(3, 3);
  const std::string& csv = args.positional()[1];
  const std::string& out = args.positional()[2];
  std::ifstream in(csv);
  if (!in) throw CliError("cannot read " + csv);
  std::vector<pipZip4Record> records;
  std::string line;
  for (long long number = 1; std::getline(in, line); ++number) {
    if (line.empty() || line[0] == '\r' || line[0] == '#') continue;
    if (number == 1 && !std::isdigit(static_cast<unsigned char>(line[0]))) continue;  // header
    records.push_back(ParseRecord(line, csv + ":" + std::to_string(number)));
    if (records.size() > static_cast<std::size_t>(INT_MAX))
      throw CliError(csv + ": too many records");
  }
  const Library library;
  if (pipZip4FileWrite(library.handle(), out.c_str(), records.data(),
                       static_cast<int>(records.size())) != 1) {
    library.Fail("cannot write " + out);
  }
  std::printf("%zu records written to %s\n", records.size(), out.c_str());
  return kExitOk;
}

// Owns a ZIP+4 handle.
class Zip4File {
 public:
  Zip4File(const Library& library, const std::string& path) {
    if (pipZip4FileOpen(library.handle(), path.c_str(), &handle_) != 1) {
      library.Fail("cannot open " + path);
    }
  }
  ~Zip4File() { pipZip4FileClose(handle_); }
  Zip4File(const Zip4File&) = delete;
  Zip4File& operator=(const Zip4File&) = delete;
  int handle() const { return handle_; }

 private:
  int handle_ = 0;
};

int RunFindCentroids(const Args& args) {
  args.ExpectPositional(3, 3);
  const int distance =
      args.Has("distance")
          ? static_cast<int>(ParseInteger(args.Value("distance"), 0, INT_MAX, "--distance FEET"))
          : 0;
  const Library library;
  const ObjectFile objects(library, args.positional()[2], PIP_OPEN_CACHE_20MB);
  const Zip4File centroids(library, args.positional()[1]);
  char zip4[PIP_ZIP4_TEXT_SIZE];
  char type[PIP_ZIP4_TYPE_SIZE];
  char name[PIP_NAME_SIZE];
  long long found = 0;
  int r = pipZip4FindFirst(centroids.handle(), objects.handle(), distance, zip4, type, name,
                           sizeof name);
  if (r == 1) std::puts("zip4,type,name");
  for (; r == 1; r = pipZip4FindNext(centroids.handle(), zip4, type, name, sizeof name)) {
    std::printf("%.5s-%s,%s,%s\n", zip4, zip4 + 5, CsvField(type).c_str(), CsvField(name).c_str());
    ++found;
  }
  if (r < 0) library.Fail("search failed");
  std::fprintf(stderr, "%lld ZIP+4 codes found\n", found);
  return found > 0 ? kExitOk : kExitNotFound;
}

}  // namespace

int RunZip4(int argc, char** argv) {
  const Args args(argc, argv, {{"distance", 1}});
  const std::string action = args.positional().empty() ? "" : args.positional()[0];
  if (action == "build") {
    if (args.Has("distance")) throw UsageError("--distance belongs to 'zip4 find'");
    return RunBuild(args);
  }
  if (action == "find") return RunFindCentroids(args);
  throw UsageError(action.empty() ? "missing action: build or find"
                                  : "unknown action '" + action + "': build or find");
}

}  // namespace lumetra_cli
