// lumetra rings | thiessen | hulls: market-area polygons around the stores
// of a CSV list, written as an object file through the market-area service.
#include <lumetra/pip.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "args.h"
#include "cli_common.h"
#include "commands.h"
#include "source_table.h"
#include "store_list.h"

namespace lumetra_cli {

#define LUMETRA_PMA_COMMON_HELP                                                         \
  "STORES.csv holds 'name,lon,lat' rows, CUSTOMERS.csv 'store,lon,lat[,weight]' rows\n" \
  "(a header line is skipped).  Every level of every store becomes one region of\n"     \
  "OUT, named 'PMA <store> <level>' (levels PR/SR/TR for rings, PT/ST/TT for cells,\n"  \
  "PC/SC/ST for hulls); draw them with 'lumetra render OUT OUT.svg --stores\n"          \
  "STORES.csv'.\n"                                                                      \
  "\n"                                                                                  \
  "options:\n"                                                                          \
  "  --customers FILE    the stores' customers\n"                                       \
  "  --bands             write each outer level with the next inner one as a hole\n"    \
  "  --planar            plain coordinates (no degrees); radii in coordinate units\n"

const char kRingsHelp[] =
    "usage: lumetra rings STORES.csv [--customers CUSTOMERS.csv] OUT.lmb\n"
    "                     [--radii R1[,R2[,R3]]] [--segments N] [--bands] [--planar]\n"
    "\n"
    "Rings of up to three radii (miles; default 5,10,20) around every store, as\n"
    "polygons of N vertices (3 to 360, default 72).\n"
    "\n" LUMETRA_PMA_COMMON_HELP
    "  --radii R1,R2,R3    rising radii; 0 or leaving one out drops a level\n"
    "  --segments N        vertices on a full circle\n";

const char kThiessenHelp[] =
    "usage: lumetra thiessen STORES.csv [--customers CUSTOMERS.csv] OUT.lmb\n"
    "                        [--radii R1[,R2[,R3]]] [--segments N] [--bands] [--planar]\n"
    "\n"
    "Radius-limited Thiessen cells: the part of each store's ring that is closer\n"
    "to it than to any other store, so the cells of one radius do not overlap.\n"
    "\n" LUMETRA_PMA_COMMON_HELP
    "  --radii R1,R2,R3    rising radii (miles; default 5,10,20)\n"
    "  --segments N        vertices on a full circle (default 72)\n";

const char kHullsHelp[] =
    "usage: lumetra hulls STORES.csv --customers CUSTOMERS.csv OUT.lmb\n"
    "                     [--shares P1[,P2[,P3]]] [--by-count] [--max-distance D]\n"
    "                     [--bands] [--planar]\n"
    "\n"
    "Convex hulls around the nearest share of each store's customers: the\n"
    "nearest customers whose weights add up to at most P of the total (or,\n"
    "with --by-count, the nearest trunc(count x P)).\n"
    "\n" LUMETRA_PMA_COMMON_HELP
    "  --shares P1,P2,P3   rising shares from 0 to 1 (default 0.5,0.75,1)\n"
    "  --by-count          take customers by count instead of by weight\n"
    "  --max-distance D    ignore customers farther than D miles (units)\n";

#undef LUMETRA_PMA_COMMON_HELP

namespace {

enum class Kind { kRings, kThiessen, kHulls };

// Owns a market-area handle; ending it without Finish keeps no output.
class MarketAreas {
 public:
  explicit MarketAreas(const Library& library) : library_(library) {
    if (pipPmaInit(library.handle(), &handle_) != 1) library.Fail("market-area service");
  }
  ~MarketAreas() {
    if (handle_ != 0) pipPmaTerm(handle_, 0);
  }
  MarketAreas(const MarketAreas&) = delete;
  MarketAreas& operator=(const MarketAreas&) = delete;

  int handle() const { return handle_; }
  void Check(int result, const std::string& context) const {
    if (result != 1) library_.Fail(context);
  }
  void Finish() {
    const int result = pipPmaTerm(handle_, 1);
    handle_ = 0;
    Check(result, "finishing the output");
  }

 private:
  const Library& library_;
  int handle_ = 0;
};

const char* const kCommandNames[] = {"rings", "thiessen", "hulls"};

// A finite number filling the whole text.
bool TryNumber(const std::string& text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && std::isfinite(*value);
}

// One to three comma-separated numbers, padded with zeros.
void ParseLevels(const std::string& text, const char* what, double levels[3]) {
  const std::vector<std::string> parts = SplitMidLine(text, ',');
  if (parts.empty() || parts.size() > 3) throw UsageError(std::string(what) + ": 1 to 3 values");
  for (std::size_t i = 0; i < 3; ++i) {
    levels[i] = 0;
    if (i < parts.size() && !TryNumber(parts[i], &levels[i])) {
      throw UsageError(std::string(what) + ": '" + parts[i] + "' is not a number");
    }
  }
}

int Generate(const MarketAreas& pma, Kind kind, const Args& args, bool geographic) {
  const int bands = args.Has("bands") ? 0 : 1;
  double v[3];
  if (kind == Kind::kHulls) {
    ParseLevels(args.Value("shares", "0.5,0.75,1"), "--shares", v);
    double max_distance = 0;
    if (args.Has("max-distance") && !TryNumber(args.Value("max-distance"), &max_distance)) {
      throw UsageError("--max-distance: '" + args.Value("max-distance") + "' is not a number");
    }
    return pipPmaGenerateConvexHullPolygons(pma.handle(), args.Has("by-count") ? 1 : 0,
                                            max_distance, geographic, bands, v[0], v[1], v[2]);
  }
  ParseLevels(args.Value("radii", "5,10,20"), "--radii", v);
  const int segments = static_cast<int>(ParseInteger(
      args.Value("segments", "72"), PIP_PMA_MIN_SEGMENTS, PIP_PMA_MAX_SEGMENTS, "--segments"));
  return kind == Kind::kRings ? pipPmaGenerateRingPolygons(pma.handle(), segments, geographic,
                                                           bands, v[0], v[1], v[2])
                              : pipPmaGenerateNonoverlappingRingPolygons(
                                    pma.handle(), segments, geographic, bands, v[0], v[1], v[2]);
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

int RunMarketAreas(Kind kind, int argc, char** argv) {
  const Args args(argc, argv,
                  {{"customers", 1},
                   {"radii", 1},
                   {"segments", 1},
                   {"shares", 1},
                   {"by-count", 0},
                   {"max-distance", 1},
                   {"bands", 0},
                   {"planar", 0}});
  args.ExpectPositional(2, 2);
  if (kind == Kind::kHulls && !args.Has("customers")) throw UsageError("hulls need --customers");
  const bool geographic = !args.Has("planar");
  const std::string& out = args.positional()[1];
  const std::vector<StoreRow> stores = ReadStores(args.positional()[0], geographic);
  std::vector<CustomerRow> customers;
  if (args.Has("customers")) customers = ReadCustomers(args.Value("customers"), geographic);

  const Library library;
  MarketAreas pma(library);
  for (const StoreRow& s : stores) {
    pma.Check(pipPmaAddStore(pma.handle(), s.x, s.y, s.name.c_str()), "store " + s.name);
  }
  for (const CustomerRow& c : customers) {
    pma.Check(pipPmaAddCustomer(pma.handle(), c.x, c.y, c.store.c_str(), c.weight),
              "customer of " + c.store);
  }
  // The service names its files *.zon: write beside OUT, then rename.
  const std::string written = EndsWith(out, ".zon") ? out : out + ".part.zon";
  const char* name = written.c_str();
  pma.Check(
      pipPmaSetOutputFiles(pma.handle(), geographic ? PIP_COORD_GEOGRAPHIC : 0, name, name, name),
      "cannot create " + out);
  pma.Check(Generate(pma, kind, args, geographic), kCommandNames[static_cast<int>(kind)]);
  pma.Finish();
  pipObjectFileInfoStruct info{};
  if (pipObjectFileQuery(library.handle(), name, &info) != 1) {
    std::fprintf(stderr, "lumetra: no polygons made; %s not written\n", out.c_str());
    return kExitNotFound;
  }
  if (written != out && std::rename(name, out.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    std::remove(name);
    throw CliError("cannot write " + out + ": " + reason);
  }
  std::printf("wrote %s: %d polygons around %zu stores", out.c_str(), info.numRegionObjects,
              stores.size());
  if (!customers.empty()) std::printf(" (%zu customers)", customers.size());
  std::printf("\n");
  return kExitOk;
}

// The fields of one CSV row, or none for a line to skip; throws for a
// malformed row.
bool ParseRow(const std::string& path, int number, const std::string& line, std::size_t fields,
              bool geographic, std::vector<std::string>* row, std::int32_t* x, std::int32_t* y) {
  if (line.find_first_not_of(" \t\r") == std::string::npos || line[0] == '#') return false;
  std::string text = line;
  if (!text.empty() && text.back() == '\r') text.pop_back();
  *row = SplitMidLine(text, ',');
  const bool ok = row->size() >= 3 && row->size() <= fields &&
                  TryParseCoordinate((*row)[1].data(), (*row)[1].data() + (*row)[1].size(),
                                     geographic, Axis::kX, x) &&
                  TryParseCoordinate((*row)[2].data(), (*row)[2].data() + (*row)[2].size(),
                                     geographic, Axis::kY, y);
  if (ok) return true;
  if (number == 1) return false;  // a header
  throw CliError(path + ", line " + std::to_string(number) + ": malformed row");
}

template <class Row, class Fill>
std::vector<Row> ReadRows(const std::string& path, std::size_t fields, bool geographic,
                          Fill&& fill) {
  std::ifstream in(path);
  if (!in) throw CliError("cannot open " + path + ": " + std::strerror(errno));
  std::vector<Row> rows;
  std::string line;
  std::vector<std::string> row;
  for (int number = 1; std::getline(in, line); ++number) {
    std::int32_t x = 0, y = 0;
    if (!ParseRow(path, number, line, fields, geographic, &row, &x, &y)) continue;
    rows.push_back(fill(row, x, y, number));
  }
  return rows;
}

}  // namespace

std::vector<StoreRow> ReadStores(const std::string& path, bool geographic) {
  return ReadRows<StoreRow>(
      path, 3, geographic,
      [](const std::vector<std::string>& row, std::int32_t x, std::int32_t y, int) {
        return StoreRow{row[0], x, y};
      });
}

std::vector<CustomerRow> ReadCustomers(const std::string& path, bool geographic) {
  return ReadRows<CustomerRow>(
      path, 4, geographic,
      [&](const std::vector<std::string>& row, std::int32_t x, std::int32_t y, int number) {
        CustomerRow c{row[0], x, y, 1.0};
        if (row.size() == 4 && !TryNumber(row[3], &c.weight)) {
          throw CliError(path + ", line " + std::to_string(number) + ": bad weight");
        }
        return c;
      });
}

int RunRings(int argc, char** argv) { return RunMarketAreas(Kind::kRings, argc, argv); }
int RunThiessen(int argc, char** argv) { return RunMarketAreas(Kind::kThiessen, argc, argv); }
int RunHulls(int argc, char** argv) { return RunMarketAreas(Kind::kHulls, argc, argv); }

}  // namespace lumetra_cli
