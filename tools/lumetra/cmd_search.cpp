// lumetra nearest, find and distance: the point, name and rectangle
// searches and the distance to a border.
#include <lumetra/pip_ext.h>

#include <cstdio>
#include <cstring>

#include "args.h"
#include "cli_common.h"
#include "commands.h"
#include "objects.h"

namespace lumetra_cli {

const char kNearestHelp[] =
    "usage: lumetra nearest FILE LON LAT [-n N] [--where CRITERIA] [--max-distance FEET]\n"
    "       lumetra nearest --points POINTS.csv LON LAT [-n N | --radius FEET] [--planar]\n"
    "       lumetra nearest --points POINTS.csv --rect X1 Y1 X2 Y2 [--planar]\n"
    "\n"
    "Prints the N (default 1) point objects nearest to the point, nearest first,\n"
    "with their distances and attributes.  Regions and lines are not considered.\n"
    "\n"
    "With --points the points come from a CSV file of 'lon,lat[,name]' lines\n"
    "(degrees; a header line and lines starting with '#' are skipped), searched in\n"
    "memory: the N nearest, every point within --radius FEET (nearest first), or\n"
    "every point inside the --rect corners.  --planar takes plain units.\n"
    "\n"
    "options:\n"
    "  -n N                 how many (1 to 65536)\n"
    "  --where CRITERIA     only objects whose attributes meet one condition,\n"
    "                       e.g. \"POP > 10000\", \"STATE IN ('NY','NJ')\", \"NAME = 'Spr*'\"\n"
    "  --max-distance FEET  search no farther (default 366000 feet)\n"
    "\n"
    "Exit status: 0 found, 1 nothing found, 2 error.\n";

const char kFindHelp[] =
    "usage: lumetra find FILE --name TEXT\n"
    "       lumetra find FILE --rect X1 Y1 X2 Y2\n"
    "\n"
    "Prints the objects whose name equals TEXT (without regard to case; a final\n"
    "'*' matches any rest, so 'New*' finds New York and New Mexico), or whose\n"
    "bounding boxes meet the rectangle (corners in decimal degrees, any order).\n"
    "\n"
    "Exit status: 0 found, 1 nothing found, 2 error.\n";

const char kDistanceHelp[] =
    "usage: lumetra distance FILE LON LAT [--max FEET] [--all]\n"
    "\n"
    "Prints how far the point lies from the border of the object containing it,\n"
    "or, outside every object, from the nearest border within --max feet\n"
    "(default 528000, 100 miles), with the nearest border point.\n"
    "\n"
    "options:\n"
    "  --max FEET  farthest border to consider\n"
    "  --all       every object within --max, best first, not only the best\n"
    "\n"
    "Exit status: 0 found, 1 nothing within --max, 2 error.\n";

namespace {

void PrintAttributeLines(const Attributes& attributes, int ordinal) {
  if (!attributes.available()) return;
  std::vector<std::string> values;
  if (!attributes.Values(&values)) {
    std::printf("  (no attribute record for ordinal %d)\n", ordinal);
    return;
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::printf("  %s: %s\n", attributes.fields()[i].name.c_str(), values[i].c_str());
  }
}

}  // namespace

int RunNearest(int argc, char** argv) {
  if (WantsPointsMode(argc, argv)) return RunNearestPoints(argc, argv);
  const Args args(argc, argv, {{"n", 1}, {"where", 1}, {"max-distance", 1}});
  args.ExpectPositional(3, 3);
  const int count =
      args.Has("n")
          ? static_cast<int>(ParseInteger(args.Value("n"), 1, PIP_MAX_NEAREST_COUNT, "-n"))
          : 1;
  const Library library;
  const ObjectFile file(library, args.positional()[0]);
  const std::int32_t x = ParseCoordinate(args.positional()[1], file.geographic(), "longitude");
  const std::int32_t y = ParseCoordinate(args.positional()[2], file.geographic(), "latitude");
  const int h = file.handle();
  if (args.Has("max-distance")) {
    const long long feet = ParseInteger(args.Value("max-distance"), PIP_MIN_SEARCH_DISTANCE,
                                        PIP_MAX_SEARCH_DISTANCE, "--max-distance FEET");
    pipObjectSetSearchDistance(h, static_cast<int>(feet));
  }
  char name[PIP_NAME_SIZE];
  int result = 0;
  if (args.Has("where")) {
    const std::string criteria = args.Value("where");
    CheckCriteria(file, criteria);
    result = pipObjectFindFirstNearestExact(h, x, y, count, criteria.c_str(), name, sizeof name);
  } else {
    result = pipObjectFindFirstNearestExact(h, x, y, count, nullptr, name, sizeof name);
  }
  const Attributes attributes(file);
  const char* unit = file.geographic() ? "feet" : "units";
  int found = 0;
  while (result > 0) {
    const ObjectRecord record = CurrentObject(file);
    const int distance =
        pipDistance(x, y, record.info.x, record.info.y,
                    file.geographic() ? PIP_UNITS_FEET : PIP_UNITS_COORDINATE, nullptr);
    std::printf("%s (%d %s away, at %s %s)\n", record.name().c_str(), distance, unit,
                FormatCoordinate(record.info.x, file.geographic()).c_str(),
                FormatCoordinate(record.info.y, file.geographic()).c_str());
    PrintAttributeLines(attributes, record.ordinal());
    ++found;
    result = pipObjectFindNext(h, name, sizeof name);
  }
  if (result < 0) library.Fail("nearest search in " + file.path() + " failed");
  if (found == 0) std::fprintf(stderr, "lumetra: nearest: nothing found\n");
  return found > 0 ? kExitOk : kExitNotFound;
}

int RunFind(int argc, char** argv) {
  const Args args(argc, argv, {{"name", 1}, {"rect", 4}});
  args.ExpectPositional(1, 1);
  if (args.Has("name") == args.Has("rect")) throw UsageError("give either --name or --rect");
  const Library library;
  const ObjectFile file(library, args.positional()[0]);
  const bool geo = file.geographic();
  const auto print = [geo](const ObjectRecord& r) {
    std::printf(
        "%s (%s, ordinal %d) box %s %s %s %s\n", r.name().c_str(), TypeName(r.info.type).c_str(),
        r.ordinal(), FormatCoordinate(r.info.minX, geo).c_str(),
        FormatCoordinate(r.info.minY, geo).c_str(), FormatCoordinate(r.info.maxX, geo).c_str(),
        FormatCoordinate(r.info.maxY, geo).c_str());
  };
  int found = 0;
  if (args.Has("name")) {
    found = ForEachNamed(file, args.Value("name"), print);
  } else {
    const std::vector<std::string>& v = args.Values("rect");
    found =
        ForEachInRect(file, ParseCoordinate(v[0], geo, "X1"), ParseCoordinate(v[1], geo, "Y1"),
                      ParseCoordinate(v[2], geo, "X2"), ParseCoordinate(v[3], geo, "Y2"), print);
  }
  if (found == 0) std::fprintf(stderr, "lumetra: find: nothing found\n");
  return found > 0 ? kExitOk : kExitNotFound;
}

int RunDistance(int argc, char** argv) {
  const Args args(argc, argv, {{"max", 1}, {"all", 0}});
  args.ExpectPositional(3, 3);
  const int max_distance =
      args.Has("max")
          ? static_cast<int>(ParseInteger(args.Value("max"), 0, 2147483647, "--max FEET"))
          : 528000;
  const Library library;
  const ObjectFile file(library, args.positional()[0]);
  const bool geo = file.geographic();
  const std::int32_t x = ParseCoordinate(args.positional()[1], geo, "longitude");
  const std::int32_t y = ParseCoordinate(args.positional()[2], geo, "latitude");
  const int h = file.handle();
  char name[PIP_NAME_SIZE];
  int found = 0;
  int result = pipObjectFindFirstContainingEx(h, x, y, max_distance, name, sizeof name);
  while (result > 0) {
    int low = 0;
    int high = 0;
    if (pipObjectGetHandle64(h, &low, &high) != 1 || pipObjectFileGoto64(h, low, high) != 1) {
      library.Fail("cannot read a ranked result of " + file.path());
    }
    int near_x = 0;
    int near_y = 0;
    const int distance = pipObjectDistanceToBorderEx(h, x, y, &near_x, &near_y);
    if (distance < 0) library.Fail("cannot measure the distance to " + std::string(name));
    const bool inside = (result & PIP_FOUND_INSIDE) != 0;
    std::printf("%s: %s, %d %s from the border; nearest border point %s %s\n", name,
                inside ? "inside" : "outside", distance, geo ? "feet" : "units",
                FormatCoordinate(near_x, geo).c_str(), FormatCoordinate(near_y, geo).c_str());
    ++found;
    if (!args.Has("all")) break;
    result = pipObjectFindNext(h, name, sizeof name);
  }
  if (result < 0) library.Fail("distance search in " + file.path() + " failed");
  if (found == 0) {
    std::fprintf(stderr, "lumetra: distance: no border within %d %s\n", max_distance,
                 geo ? "feet" : "units");
  }
  return found > 0 ? kExitOk : kExitNotFound;
}

}  // namespace lumetra_cli
