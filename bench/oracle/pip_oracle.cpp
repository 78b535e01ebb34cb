// Point lookups on real boundary data, checked against GEOS and timed side
// by side with it.
//
//   pip_oracle POLYGONS.shp [--points N] [--seed S] [--work DIR] [--bbox X1 Y1 X2 Y2]
//              [--flavours plain,segments,compressed] [--mode M] [--threads T]
//              [--ranked-queries N] [--ranked-distance FEET]
//              [--nearest-points N] [--nearest-queries N] [--nearest-k K]
//
// Reads the polygons with GDAL, converts degrees to millionths of a degree
// the way the importer does (multiply by 1,000,000, truncate), and builds
// one object file per flavour with pipImportInsert: plain, with segment
// records, and with segment records and compressed coordinates.  A feature
// with more rings than one object may hold becomes several objects of whole
// polygons (shell and holes).  For N seeded random points in the data's box
// (or --bbox), every file opened in mode M (default 7: the 100 MiB cache
// over the shared mapping) answers which features contain each point
// (pipObjectFindFirstContaining / pipObjectFindNext), single-threaded and
// with T threads each on its own handle; GEOS (prepared geometries +
// STRtree, "covers") answers the same points single-threaded.  Each timing
// is the better of two rounds.  The plain file's answers are compared with
// GEOS's -- every difference must lie within half a unit of a border, where
// our point-in-polygon rule counts the point as inside -- and every other
// flavour's answers with the plain file's, which must be identical.
//
// Then the ranked containing search and the nearest-point searches
// (oracle_passes.h).  The exit status is 1 when anything is unexplained.
#include <gdal.h>
#include <lumetra/pip.h>
#include <lumetra/pip_ext.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "oracle_data.h"
#include "oracle_geos.h"
#include "oracle_passes.h"

namespace oracle {

struct Options {
  std::string input;
  std::string work = ".";
  long points = 1000000;
  unsigned seed = 12345;
  bool has_box = false;
  Box box;
  std::vector<std::string> flavours{"plain", "segments", "compressed"};
  int mode = PIP_OPEN_CACHE_100MB | PIP_OPEN_MAPPED;
  int threads = 2;
  RankedOptions ranked;
  NearestOptions nearest;
};

// The features containing each point, as one flat list.
struct Answers {
  std::vector<std::size_t> start{0};
  std::vector<int> ids;
  void Add(const std::vector<int>& hits) {
    ids.insert(ids.end(), hits.begin(), hits.end());
    start.push_back(ids.size());
  }
  std::vector<int> Of(std::size_t i) const {
    return std::vector<int>(ids.begin() + static_cast<long>(start[i]),
                            ids.begin() + static_cast<long>(start[i + 1]));
  }
};

// Timed: every containing object of points [first, last); returns the hits.
__attribute__((noinline)) long TimedOurLookups(int file, const std::vector<int>& xy,
                                               std::size_t first, std::size_t last) {
  char name[8];
  long hits = 0;
  for (std::size_t i = first; i < last; ++i) {
    int r = pipObjectFindFirstContaining(file, xy[2 * i], xy[2 * i + 1], 0, name, sizeof name);
    for (; r > 0; r = pipObjectFindNext(file, name, sizeof name)) ++hits;
    if (r < 0) Die("lookup failed at %d,%d", xy[2 * i], xy[2 * i + 1]);
  }
  return hits;
}

__attribute__((noinline)) long TimedGeosLookups(GeosPolygons& geos, const std::vector<int>& xy,
                                                Answers* answers) {
  std::vector<int> hits;
  long count = 0;
  for (std::size_t i = 0; i < xy.size() / 2; ++i) {
    geos.Lookup(xy[2 * i], xy[2 * i + 1], hits);
    count += static_cast<long>(hits.size());
    if (answers != nullptr) answers->Add(hits);
  }
  return count;
}

// Lookups per second with `threads` threads, each on its own handle and
// its share of the points; the better of two rounds.
double LookupRate(int lib, const std::string& path, int mode, const std::vector<int>& xy,
                  int threads, long* hits) {
  std::vector<int> handles(static_cast<std::size_t>(threads));
  for (int& h : handles) CheckPip(lib, pipObjectFileOpen(lib, path.c_str(), mode, &h), "open");
  const std::size_t n = xy.size() / 2;
  double best = 0;
  for (int round = 0; round < 2; ++round) {
    std::vector<long> found(handles.size());
    const auto t0 = Clock::now();
    std::vector<std::thread> pool;
    for (std::size_t t = 0; t < handles.size(); ++t) {
      pool.emplace_back([&, t] {
        found[t] =
            TimedOurLookups(handles[t], xy, n * t / handles.size(), n * (t + 1) / handles.size());
      });
    }
    for (std::thread& th : pool) th.join();
    best = std::max(best, static_cast<double>(n) / Seconds(t0, Clock::now()));
    *hits = 0;
    for (long f : found) *hits += f;
  }
  for (int h : handles) pipObjectFileClose(h);
  return best;
}

Answers OurAnswers(int file, const std::vector<int>& xy, const std::vector<int>& feature_of) {
  Answers answers;
  std::vector<int> ordinals;
  char name[8];
  for (std::size_t i = 0; i < xy.size() / 2; ++i) {
    ordinals.clear();
    int r = pipObjectFindFirstContaining(file, xy[2 * i], xy[2 * i + 1], 0, name, sizeof name);
    for (; r > 0; r = pipObjectFindNext(file, name, sizeof name)) {
      pipObjectInfoStruct info;
      if (pipObjectGetInfo(file, &info) == 1) ordinals.push_back(info.penColor);
    }
    answers.Add(FeaturesOf(ordinals, feature_of));
  }
  return answers;
}

// Differences between our answers and GEOS's that do not lie within half a
// unit of a border.
long Unexplained(const Answers& ours, const Answers& theirs, GeosPolygons& geos,
                 const std::vector<Feature>& features, const std::vector<int>& xy,
                 long* mismatches) {
  long unexplained = 0;
  *mismatches = 0;
  for (std::size_t i = 0; i + 1 < ours.start.size(); ++i) {
    const std::vector<int> a = ours.Of(i), b = theirs.Of(i);
    if (a == b) continue;
    ++*mismatches;
    std::vector<int> diff;
    std::set_symmetric_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(diff));
    bool near_border = true;
    for (int id : diff)
      near_border = near_border && geos.BorderDistance(id, xy[2 * i], xy[2 * i + 1]) < 0.5;
    if (near_border) continue;
    if (++unexplained <= 20) {
      std::printf("MISMATCH at %d,%d: ours", xy[2 * i], xy[2 * i + 1]);
      for (int id : a) std::printf(" %s", features[id].name.c_str());
      std::printf(" / geos");
      for (int id : b) std::printf(" %s", features[id].name.c_str());
      std::printf("\n");
    }
  }
  return unexplained;
}

const char* FlavourFlags(const std::string& flavour, int* flags) {
  if (flavour == "plain")
    *flags = 0;
  else if (flavour == "segments")
    *flags = PIP_FILE_SEGMENTS;
  else if (flavour == "compressed")
    *flags = PIP_FILE_SEGMENTS | PIP_FILE_COMPRESSED;
  else
    Die("unknown flavour %s", flavour.c_str());
  return flavour.c_str();
}

// The lookup passes over every flavour; returns the unexplained answers.
long LookupPasses(int lib, const Options& opt, const std::vector<Feature>& features,
                  const std::vector<int>& xy) {
  const auto t0 = Clock::now();
  GeosPolygons geos(features);
  std::printf("geos: prepared %zu geometries in %.3f s\n", features.size(),
              Seconds(t0, Clock::now()));
  Answers theirs;
  double geos_rate = 0;
  for (int round = 0; round < 2; ++round) {
    const auto t = Clock::now();
    TimedGeosLookups(geos, xy, round == 0 ? &theirs : nullptr);
    geos_rate = std::max(geos_rate, static_cast<double>(xy.size() / 2) / Seconds(t, Clock::now()));
  }
  std::printf("geos: %.0f lookups/s (1 thread)\n", geos_rate);
  long unexplained = 0;
  Answers plain;
  for (const std::string& flavour : opt.flavours) {
    int flags = 0;
    FlavourFlags(flavour, &flags);
    const std::string path = opt.work + "/pip_oracle_" + flavour + ".ob";
    double import_seconds = 0;
    const std::vector<int> feature_of = ImportFeatures(lib, features, path, flags, &import_seconds);
    struct stat st;
    stat(path.c_str(), &st);
    long hits = 0;
    const double one = LookupRate(lib, path, opt.mode, xy, 1, &hits);
    const double many = LookupRate(lib, path, opt.mode, xy, opt.threads, &hits);
    int file = 0;
    CheckPip(lib, pipObjectFileOpen(lib, path.c_str(), opt.mode, &file), "pipObjectFileOpen");
    const Answers ours = OurAnswers(file, xy, feature_of);
    long mismatches = 0, wrong = 0;
    if (plain.ids.empty() && plain.start.size() == 1) {
      wrong = Unexplained(ours, theirs, geos, features, xy, &mismatches);
      plain = ours;
    } else {
      wrong = ours.start != plain.start || ours.ids != plain.ids ? 1 : 0;
      if (wrong != 0)
        std::printf("ANSWERS of the %s file differ from the plain file's\n", flavour.c_str());
    }
    std::printf(
        "%-10s import %.3f s, %lld bytes, %zu objects; %ld hits; lumetra %.0f lookups/s (%.2fx "
        "geos), %d threads %.0f lookups/s (%.2fx); %ld mismatches with geos, %ld unexplained\n",
        flavour.c_str(), import_seconds, static_cast<long long>(st.st_size), feature_of.size() - 1,
        hits, one, one / geos_rate, opt.threads, many, many / one, mismatches, wrong);
    if (flavour == opt.flavours.front() && opt.ranked.queries > 0) {
      unexplained += RankedPass(file, geos, features, feature_of, opt.ranked);
    }
    pipObjectFileClose(file);
    std::remove(path.c_str());
    unexplained += wrong;
  }
  return unexplained;
}

Options ParseArgs(int argc, char** argv) {
  Options o;
  const auto number = [&](int& i) { return std::atol(argv[++i]); };
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--points" && more) {
      o.points = number(i);
    } else if (a == "--seed" && more) {
      o.seed = static_cast<unsigned>(number(i));
    } else if (a == "--work" && more) {
      o.work = argv[++i];
    } else if (a == "--bbox" && i + 4 < argc) {
      o.box = Box{std::atof(argv[i + 1]), std::atof(argv[i + 2]), std::atof(argv[i + 3]),
                  std::atof(argv[i + 4])};
      o.has_box = true;
      i += 4;
    } else if (a == "--flavours" && more) {
      o.flavours.clear();
      std::string list = argv[++i];
      for (std::size_t p = 0; p != std::string::npos;) {
        const std::size_t comma = list.find(',', p);
        o.flavours.push_back(list.substr(p, comma == std::string::npos ? comma : comma - p));
        p = comma == std::string::npos ? comma : comma + 1;
      }
    } else if (a == "--mode" && more) {
      o.mode = static_cast<int>(number(i));
    } else if (a == "--threads" && more) {
      o.threads = std::max(1, static_cast<int>(number(i)));
    } else if (a == "--ranked-queries" && more) {
      o.ranked.queries = number(i);
    } else if (a == "--ranked-distance" && more) {
      o.ranked.distance = static_cast<int>(number(i));
    } else if (a == "--nearest-points" && more) {
      o.nearest.points = std::max(1L, number(i));
    } else if (a == "--nearest-queries" && more) {
      o.nearest.queries = number(i);
    } else if (a == "--nearest-k" && more) {
      o.nearest.k = static_cast<int>(std::max(1L, number(i)));
    } else if (o.input.empty() && a[0] != '-') {
      o.input = a;
    } else {
      Die("usage: pip_oracle POLYGONS.shp [options]; see the comment at the top of pip_oracle.cpp");
    }
  }
  if (o.input.empty()) Die("usage: pip_oracle POLYGONS.shp [options]");
  for (const std::string& f : o.flavours) {
    int flags = 0;
    FlavourFlags(f, &flags);
  }
  return o;
}

// The data's own box, in degrees.
Box BoxOf(const std::vector<Feature>& features) {
  Box b{1e300, 1e300, -1e300, -1e300};
  for (const Feature& f : features)
    for (const Polygon& p : f.polygons)
      for (const Ring& r : p.rings)
        for (std::size_t i = 0; i < r.xy.size(); i += 2) {
          b.x1 = std::min(b.x1, r.xy[i] / 1e6), b.x2 = std::max(b.x2, r.xy[i] / 1e6);
          b.y1 = std::min(b.y1, r.xy[i + 1] / 1e6), b.y2 = std::max(b.y2, r.xy[i + 1] / 1e6);
        }
  return b;
}

}  // namespace oracle

int main(int argc, char** argv) {
  using namespace oracle;
  Options opt = ParseArgs(argc, argv);
  const std::vector<Feature> features = ReadFeatures(opt.input);
  const DataStats s = Stats(features);
  std::printf("data: %s: %zu features, %zu polygons, %zu rings, %zu points\n", opt.input.c_str(),
              features.size(), s.polygons, s.rings, s.points);
  if (!opt.has_box) opt.box = BoxOf(features);
  opt.ranked.box = opt.nearest.box = opt.box;
  opt.ranked.seed = opt.seed;
  opt.nearest.work = opt.work;
  const std::vector<int> xy = RandomPoints(opt.box, opt.points, opt.seed);
  std::printf("points: %ld, seed %u, box %.3f %.3f %.3f %.3f; open mode %d\n", opt.points, opt.seed,
              opt.box.x1, opt.box.y1, opt.box.x2, opt.box.y2, opt.mode);
  const int lib = pipInit(0, nullptr);
  long unexplained = LookupPasses(lib, opt, features, xy);
  if (opt.nearest.queries > 0) unexplained += NearestPass(lib, opt.nearest);
  pipTerm(lib);
  return unexplained == 0 ? 0 : 1;
}
