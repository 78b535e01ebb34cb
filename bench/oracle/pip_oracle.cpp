// Point lookups on real boundary data, checked against GEOS and timed side
// by side with it.
//
//   pip_oracle POLYGONS.shp [--points N] [--seed S] [--work DIR] [--bbox X1 Y1 X2 Y2]
//
// Reads the polygons with GDAL, converts degrees to millionths of a degree
// the way the importer does (multiply by 1,000,000, truncate), inserts them
// with pipImportInsert, and asks both our library (mode 3, single thread)
// and GEOS (prepared geometries + STRtree, "covers" semantics) which
// polygons contain each of N seeded random points.  Every difference is
// listed unless it lies within half a unit of a border, where our
// point-in-polygon rule deliberately counts the point as inside.
#include <gdal.h>
#include <geos_c.h>
#include <lumetra/pip.h>
#include <ogr_api.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include <sys/stat.h>

namespace {

struct Ring {
  std::vector<int> xy;  // x, y pairs, open (first point not repeated)
};

struct Feature {
  std::string name;
  std::vector<Ring> rings;
};

struct Options {
  std::string input;
  std::string work = ".";
  long points = 1000000;
  unsigned seed = 12345;
  double bbox[4] = {-125.0, 24.0, -66.0, 50.0};  // contiguous US
};

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

[[noreturn]] void Die(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  std::exit(2);
}

int ToUnits(double degrees) { return static_cast<int>(degrees * 1000000.0); }

void AddRing(OGRGeometryH ring, Feature& f) {
  Ring r;
  const int n = OGR_G_GetPointCount(ring);
  for (int i = 0; i < n; ++i) {
    r.xy.push_back(ToUnits(OGR_G_GetX(ring, i)));
    r.xy.push_back(ToUnits(OGR_G_GetY(ring, i)));
  }
  if (r.xy.size() >= 4 && r.xy[0] == r.xy[r.xy.size() - 2] && r.xy[1] == r.xy.back()) {
    r.xy.resize(r.xy.size() - 2);
  }
  if (r.xy.size() >= 6) f.rings.push_back(std::move(r));
}

void AddPolygon(OGRGeometryH poly, Feature& f) {
  for (int i = 0; i < OGR_G_GetGeometryCount(poly); ++i) AddRing(OGR_G_GetGeometryRef(poly, i), f);
}

std::vector<Feature> ReadFeatures(const std::string& path) {
  GDALAllRegister();
  GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
  if (ds == nullptr) Die("cannot open %s", path.c_str());
  OGRLayerH layer = GDALDatasetGetLayer(ds, 0);
  std::vector<Feature> features;
  OGRFeatureH feat;
  while ((feat = OGR_L_GetNextFeature(layer)) != nullptr) {
    Feature f;
    const int name_index = OGR_F_GetFieldIndex(feat, "NAME");
    f.name = name_index >= 0 ? OGR_F_GetFieldAsString(feat, name_index) : "";
    OGRGeometryH g = OGR_F_GetGeometryRef(feat);
    if (g != nullptr) {
      const OGRwkbGeometryType t = wkbFlatten(OGR_G_GetGeometryType(g));
      if (t == wkbPolygon) AddPolygon(g, f);
      if (t == wkbMultiPolygon) {
        for (int i = 0; i < OGR_G_GetGeometryCount(g); ++i) AddPolygon(OGR_G_GetGeometryRef(g, i), f);
      }
    }
    if (!f.rings.empty()) features.push_back(std::move(f));
    OGR_F_Destroy(feat);
  }
  GDALClose(ds);
  return features;
}

void CheckPip(int lib, int result, const char* what) {
  if (result == 1) return;
  char message[PIP_ERROR_TEXT_SIZE], detail[PIP_ERROR_TEXT_SIZE];
  const int code = pipErrorGet(lib, message, detail);
  Die("%s failed: %d %s %s", what, code, message, detail);
}

// Builds the object file; returns the import time in seconds.
double Import(int lib, const std::vector<Feature>& features, const std::string& path) {
  pipObjectFileInfoStruct info;
  std::memset(&info, 0, sizeof info);
  for (const Feature& f : features) {
    long points = 0;
    for (const Ring& r : f.rings) points += static_cast<long>(r.xy.size() / 2) + 1;
    info.maxPoints = std::max(info.maxPoints, static_cast<int>(points));
    info.maxParts = std::max(info.maxParts, static_cast<int>(f.rings.size()));
  }
  info.coordType = PIP_COORD_GEOGRAPHIC;
  const auto start = Clock::now();
  int import = 0;
  CheckPip(lib, pipImportInit(lib, path.c_str(), &info, &import), "pipImportInit");
  for (const Feature& f : features) {
    pipObjectInfoStruct obj;
    std::memset(&obj, 0, sizeof obj);
    std::snprintf(obj.name, sizeof obj.name, "%s", f.name.c_str());
    obj.type = PIP_OBJECT_REGION;
    std::vector<int> xy, counts;
    for (const Ring& r : f.rings) {
      xy.insert(xy.end(), r.xy.begin(), r.xy.end());
      counts.push_back(static_cast<int>(r.xy.size() / 2));
    }
    CheckPip(lib, pipImportInsert(import, &obj, xy.data(), counts.data(),
                                  static_cast<int>(counts.size())),
             "pipImportInsert");
  }
  CheckPip(lib, pipImportTerm(import, 1), "pipImportTerm");
  return Seconds(start, Clock::now());
}

struct Geos {
  GEOSContextHandle_t ctx = GEOS_init_r();
  std::vector<GEOSGeometry*> geoms;
  std::vector<const GEOSPreparedGeometry*> prepared;
  std::vector<GEOSGeometry*> boundaries;
  GEOSSTRtree* tree = nullptr;
  std::vector<int> ids;

  explicit Geos(const std::vector<Feature>& features) {
    tree = GEOSSTRtree_create_r(ctx, 10);
    ids.resize(features.size());
    for (std::size_t i = 0; i < features.size(); ++i) {
      ids[i] = static_cast<int>(i);
      geoms.push_back(Build(features[i]));
      prepared.push_back(GEOSPrepare_r(ctx, geoms.back()));
      boundaries.push_back(GEOSBoundary_r(ctx, geoms.back()));
      GEOSSTRtree_insert_r(ctx, tree, geoms.back(), &ids[i]);
    }
  }
  ~Geos() {
    GEOSSTRtree_destroy_r(ctx, tree);
    for (auto* p : prepared) GEOSPreparedGeom_destroy_r(ctx, p);
    for (auto* g : boundaries) GEOSGeom_destroy_r(ctx, g);
    for (auto* g : geoms) GEOSGeom_destroy_r(ctx, g);
    GEOS_finish_r(ctx);
  }

  GEOSGeometry* Ring(const ::Ring& r) {
    const unsigned n = static_cast<unsigned>(r.xy.size() / 2);
    GEOSCoordSequence* seq = GEOSCoordSeq_create_r(ctx, n + 1, 2);
    for (unsigned i = 0; i <= n; ++i) {
      const unsigned k = i % n;
      GEOSCoordSeq_setXY_r(ctx, seq, i, r.xy[2 * k], r.xy[2 * k + 1]);
    }
    return GEOSGeom_createLinearRing_r(ctx, seq);
  }

  // Each ring becomes its own polygon and the feature the even-odd union of
  // them (symmetric difference), which is the rule our lookup applies.
  GEOSGeometry* Build(const Feature& f) {
    GEOSGeometry* acc = nullptr;
    for (const ::Ring& r : f.rings) {
      GEOSGeometry* poly = GEOSGeom_createPolygon_r(ctx, Ring(r), nullptr, 0);
      GEOSGeometry* fixed = GEOSMakeValid_r(ctx, poly);
      GEOSGeom_destroy_r(ctx, poly);
      if (acc == nullptr) {
        acc = fixed;
      } else {
        GEOSGeometry* next = GEOSSymDifference_r(ctx, acc, fixed);
        GEOSGeom_destroy_r(ctx, acc);
        GEOSGeom_destroy_r(ctx, fixed);
        acc = next;
      }
    }
    return acc;
  }
};

struct QueryState {
  Geos* geos;
  GEOSGeometry* point;
  std::vector<int>* hits;
};

void CollectCovers(void* item, void* user) {
  auto* q = static_cast<QueryState*>(user);
  const int id = *static_cast<int*>(item);
  if (GEOSPreparedCovers_r(q->geos->ctx, q->geos->prepared[id], q->point)) q->hits->push_back(id);
}

void GeosLookup(Geos& geos, int x, int y, std::vector<int>& hits) {
  hits.clear();
  GEOSGeometry* pt = GEOSGeom_createPointFromXY_r(geos.ctx, x, y);
  QueryState q{&geos, pt, &hits};
  GEOSSTRtree_query_r(geos.ctx, geos.tree, pt, &CollectCovers, &q);
  GEOSGeom_destroy_r(geos.ctx, pt);
  std::sort(hits.begin(), hits.end());
}

// Our answer: ordinals (1-based insertion order, the colour field) - 1.
void OurLookup(int file, int x, int y, std::vector<int>& hits) {
  hits.clear();
  char name[8];
  int r = pipObjectFindFirstContaining(file, x, y, 0, name, sizeof name);
  while (r > 0) {
    pipObjectInfoStruct info;
    if (pipObjectGetInfo(file, &info) == 1) hits.push_back(info.penColor - 1);
    r = pipObjectFindNext(file, name, sizeof name);
  }
  if (r < 0) Die("lookup failed at %d,%d", x, y);
  std::sort(hits.begin(), hits.end());
}

int CountOurs(int file, int x, int y) {
  char name[8];
  int count = 0;
  int r = pipObjectFindFirstContaining(file, x, y, 0, name, sizeof name);
  while (r > 0) {
    ++count;
    r = pipObjectFindNext(file, name, sizeof name);
  }
  if (r < 0) Die("lookup failed at %d,%d", x, y);
  return count;
}

Options ParseArgs(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--points" && i + 1 < argc) {
      o.points = std::atol(argv[++i]);
    } else if (a == "--seed" && i + 1 < argc) {
      o.seed = static_cast<unsigned>(std::atol(argv[++i]));
    } else if (a == "--work" && i + 1 < argc) {
      o.work = argv[++i];
    } else if (a == "--bbox" && i + 4 < argc) {
      for (double& v : o.bbox) v = std::atof(argv[++i]);
    } else if (o.input.empty() && a[0] != '-') {
      o.input = a;
    } else {
      Die("usage: pip_oracle POLYGONS.shp [--points N] [--seed S] [--work DIR] [--bbox X1 Y1 X2 Y2]");
    }
  }
  if (o.input.empty()) Die("usage: pip_oracle POLYGONS.shp [--points N] [--seed S] [--work DIR]");
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const Options opt = ParseArgs(argc, argv);
  const std::vector<Feature> features = ReadFeatures(opt.input);
  long rings = 0, points = 0;
  for (const Feature& f : features) {
    rings += static_cast<long>(f.rings.size());
    for (const Ring& r : f.rings) points += static_cast<long>(r.xy.size() / 2);
  }
  std::printf("data: %s: %zu polygons, %ld rings, %ld points\n", opt.input.c_str(),
              features.size(), rings, points);

  const int lib = pipInit(0, nullptr);
  const std::string path = opt.work + "/pip_oracle.ob";
  const double import_seconds = Import(lib, features, path);
  struct stat st;
  stat(path.c_str(), &st);
  std::printf("import: %.3f s, object file %lld bytes\n", import_seconds,
              static_cast<long long>(st.st_size));

  int file = 0;
  CheckPip(lib, pipObjectFileOpen(lib, path.c_str(), PIP_OPEN_CACHE_100MB, &file),
           "pipObjectFileOpen");
  auto t0 = Clock::now();
  Geos geos(features);
  std::printf("geos: prepared %zu geometries in %.3f s\n", features.size(), Seconds(t0, Clock::now()));

  std::mt19937_64 rng(opt.seed);
  std::uniform_int_distribution<int> dx(ToUnits(opt.bbox[0]), ToUnits(opt.bbox[2]));
  std::uniform_int_distribution<int> dy(ToUnits(opt.bbox[1]), ToUnits(opt.bbox[3]));
  std::vector<int> xs(opt.points), ys(opt.points);
  for (long i = 0; i < opt.points; ++i) {
    xs[i] = dx(rng);
    ys[i] = dy(rng);
  }
  std::printf("points: %ld, seed %u, box %.3f %.3f %.3f %.3f\n", opt.points, opt.seed,
              opt.bbox[0], opt.bbox[1], opt.bbox[2], opt.bbox[3]);

  // Timed passes: each side answers every point (all containing polygons,
  // our side with the first 8 characters of each name, as a caller would).
  long timed_hits_ours = 0, timed_hits_geos = 0;
  t0 = Clock::now();
  for (long i = 0; i < opt.points; ++i) timed_hits_ours += CountOurs(file, xs[i], ys[i]);
  const double our_seconds = Seconds(t0, Clock::now());
  std::vector<int> scratch;
  t0 = Clock::now();
  for (long i = 0; i < opt.points; ++i) {
    GeosLookup(geos, xs[i], ys[i], scratch);
    timed_hits_geos += static_cast<long>(scratch.size());
  }
  const double geos_seconds = Seconds(t0, Clock::now());
  if (timed_hits_ours != timed_hits_geos) {
    std::printf("note: timed passes found %ld (ours) and %ld (geos) hits\n", timed_hits_ours,
                timed_hits_geos);
  }

  // Comparison pass: which polygons, not just how many.
  std::vector<std::vector<int>> ours(opt.points), theirs(opt.points);
  for (long i = 0; i < opt.points; ++i) {
    OurLookup(file, xs[i], ys[i], ours[i]);
    GeosLookup(geos, xs[i], ys[i], theirs[i]);
  }

  long hits = 0, mismatches = 0, explained = 0;
  for (long i = 0; i < opt.points; ++i) {
    hits += static_cast<long>(ours[i].size());
    if (ours[i] == theirs[i]) continue;
    ++mismatches;
    // Polygons named by only one side must lie within half a unit.
    std::vector<int> diff;
    std::set_symmetric_difference(ours[i].begin(), ours[i].end(), theirs[i].begin(),
                                  theirs[i].end(), std::back_inserter(diff));
    bool near_border = true;
    GEOSGeometry* pt = GEOSGeom_createPointFromXY_r(geos.ctx, xs[i], ys[i]);
    for (int id : diff) {
      double d = 0;
      GEOSDistance_r(geos.ctx, geos.boundaries[id], pt, &d);
      if (!(d < 0.5)) near_border = false;
    }
    GEOSGeom_destroy_r(geos.ctx, pt);
    if (near_border) {
      ++explained;
    } else if (mismatches - explained <= 20) {
      std::printf("MISMATCH at %d,%d: ours", xs[i], ys[i]);
      for (int id : ours[i]) std::printf(" %s", features[id].name.c_str());
      std::printf(" / geos");
      for (int id : theirs[i]) std::printf(" %s", features[id].name.c_str());
      std::printf("\n");
    }
  }
  std::printf("answers: %ld containing hits; %ld mismatches, %ld within half a unit of a border, "
              "%ld unexplained\n",
              hits, mismatches, explained, mismatches - explained);
  std::printf("lumetra: %.3f s, %.0f lookups/s\n", our_seconds, opt.points / our_seconds);
  std::printf("geos:    %.3f s, %.0f lookups/s\n", geos_seconds, opt.points / geos_seconds);
  std::printf("ratio (lumetra/geos throughput): %.2f\n", geos_seconds / our_seconds);
  pipObjectFileClose(file);
  pipTerm(lib);
  std::remove(path.c_str());
  return mismatches - explained == 0 ? 0 : 1;
}
