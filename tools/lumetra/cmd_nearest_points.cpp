// lumetra nearest --points: the nearest-point question over a CSV of points
// held in memory (the radial search), instead of an object file.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "args.h"
#include "cli_common.h"
#include "commands.h"
#include "source_table.h"

namespace lumetra_cli {

namespace {

// Owns a radial search handle (pipRadInit .. pipRadTerm).
class RadialSearch {
 public:
  RadialSearch(const Library& library, bool geographic) : library_(library) {
    if (pipRadInit(library.handle(), geographic ? PIP_RAD_GEOGRAPHIC : PIP_RAD_PLANAR, &handle_) !=
        1) {
      library.Fail("cannot start a radial search");
    }
  }
  ~RadialSearch() { pipRadTerm(handle_); }
  RadialSearch(const RadialSearch&) = delete;
  RadialSearch& operator=(const RadialSearch&) = delete;

  int handle() const { return handle_; }
  const Library& library() const { return library_; }

 private:
  const Library& library_;
  int handle_ = 0;
};

struct Found {
  std::string name;
  int x = 0;
  int y = 0;
  int distance = -1;  // feet (or units) from the query point; -1 for rectangles
};

// Inserts the points of a CSV file, one "lon,lat[,name]" per line (planar:
// "x,y[,name]"); blank lines and lines starting with '#' are skipped, and
// so is a first line that does not start with a number (a header).  Fields
// may be quoted with double quotes.  Returns the number of points.
int LoadCsv(const RadialSearch& search, const std::string& path, bool geographic) {
  std::ifstream in(path);
  if (!in) throw CliError("cannot open " + path);
  int count = 0;
  int line_number = 0;
  for (std::string line; std::getline(in, line);) {
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') continue;
    const std::vector<std::string> fields = SplitMidLine(line, ',');
    std::int32_t x = 0;
    std::int32_t y = 0;
    const bool numeric = fields.size() >= 2 &&
                         TryParseCoordinate(fields[0].data(), fields[0].data() + fields[0].size(),
                                            geographic, Axis::kX, &x) &&
                         TryParseCoordinate(fields[1].data(), fields[1].data() + fields[1].size(),
                                            geographic, Axis::kY, &y);
    if (!numeric) {
      if (count == 0 && line_number == 1) continue;  // a header line
      throw CliError(path + ":" + std::to_string(line_number) + ": expected 'lon,lat[,name]'");
    }
    const std::string name = fields.size() > 2 ? fields[2] : "";
    if (pipRadInsertPoint(search.handle(), x, y, name.c_str()) != 1) {
      search.library().Fail(path + ":" + std::to_string(line_number));
    }
    ++count;
  }
  return count;
}

// Every answer of the search whose first call answered `result`.
std::vector<Found> Drain(const RadialSearch& search, int result, Found first, char* name,
                         int name_length) {
  std::vector<Found> found;
  while (result > 0) {
    first.name = name;
    found.push_back(first);
    result = pipRadFindNext(search.handle(), &first.x, &first.y, name, name_length);
  }
  if (result < 0) search.library().Fail("radial search failed");
  return found;
}

// Prints the answers as the object-file nearest command does; the exit
// status.
int Report(const std::vector<Found>& found, bool geographic) {
  for (const Found& f : found) {
    const std::string at =
        FormatCoordinate(f.x, geographic) + " " + FormatCoordinate(f.y, geographic);
    if (f.distance < 0) {
      std::printf("%s (at %s)\n", f.name.c_str(), at.c_str());
    } else {
      std::printf("%s (%d %s away, at %s)\n", f.name.c_str(), f.distance,
                  geographic ? "feet" : "units", at.c_str());
    }
  }
  if (found.empty()) std::fprintf(stderr, "lumetra: nearest: nothing found\n");
  return found.empty() ? kExitNotFound : kExitOk;
}

}  // namespace

bool WantsPointsMode(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) return false;
    if (std::strcmp(argv[i], "--points") == 0 || std::strncmp(argv[i], "--points=", 9) == 0) {
      return true;
    }
  }
  return false;
}

int RunNearestPoints(int argc, char** argv) {
  const Args args(argc, argv, {{"points", 1}, {"n", 1}, {"radius", 1}, {"rect", 4}, {"planar", 0}});
  const bool rect = args.Has("rect");
  if (rect && (args.Has("n") || args.Has("radius"))) {
    throw UsageError("--rect excludes -n and --radius");
  }
  if (args.Has("n") && args.Has("radius")) throw UsageError("-n and --radius exclude each other");
  args.ExpectPositional(rect ? 0 : 2, rect ? 0 : 2);
  const bool geo = !args.Has("planar");
  const int count =
      args.Has("n") ? static_cast<int>(ParseInteger(args.Value("n"), 1, INT_MAX, "-n")) : 1;
  const Library library;
  const RadialSearch search(library, geo);
  LoadCsv(search, args.Value("points"), geo);
  const int h = search.handle();
  char name[PIP_NAME_SIZE];
  Found first;
  if (rect) {
    const std::vector<std::string>& v = args.Values("rect");
    const int result =
        pipRadFindFirstInRect(h, ParseCoordinate(v[0], geo, "X1"), ParseCoordinate(v[1], geo, "Y1"),
                              ParseCoordinate(v[2], geo, "X2"), ParseCoordinate(v[3], geo, "Y2"),
                              &first.x, &first.y, name, sizeof name);
    const std::vector<Found> found = Drain(search, result, first, name, sizeof name);
    return Report(found, geo);
  }
  const std::int32_t x = ParseCoordinate(args.positional()[0], geo, "longitude");
  const std::int32_t y = ParseCoordinate(args.positional()[1], geo, "latitude");
  int result = 0;
  if (args.Has("radius")) {
    const long long feet = ParseInteger(args.Value("radius"), 0, INT_MAX, "--radius FEET");
    result = pipRadFindFirstInRadius(h, x, y, static_cast<int>(feet), &first.x, &first.y, name,
                                     sizeof name);
  } else {
    result = pipRadFindFirstNearest(h, x, y, count, &first.x, &first.y, name, sizeof name);
  }
  std::vector<Found> found = Drain(search, result, first, name, sizeof name);
  for (Found& f : found) {
    f.distance = pipDistance(x, y, f.x, f.y, geo ? PIP_UNITS_FEET : PIP_UNITS_COORDINATE, nullptr);
  }
  // Radius answers come in tree order; nearest ones are already by distance.
  std::stable_sort(found.begin(), found.end(),
                   [](const Found& a, const Found& b) { return a.distance < b.distance; });
  return Report(found, geo);
}
}  // namespace lumetra_cli
