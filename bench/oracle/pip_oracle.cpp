// Point lookups on real boundary data, checked against GEOS and timed side
// by side with it.
//
//   pip_oracle POLYGONS.shp [--points N] [--seed S] [--work DIR] [--bbox X1 Y1 X2 Y2]
//              [--nearest-points N] [--nearest-queries N]
//              [--ranked-queries N] [--ranked-distance FEET]
//
// Reads the polygons with GDAL, converts degrees to millionths of a degree
// the way the importer does (multiply by 1,000,000, truncate), inserts them
// with pipImportInsert, and asks both our library (mode 3, single thread)
// and GEOS (prepared geometries + STRtree, "covers" semantics) which
// polygons contain each of N seeded random points.  Every difference is
// listed unless it lies within half a unit of a border, where our
// point-in-polygon rule deliberately counts the point as inside.
//
// Two more passes:
//   * nearest points: a planar file of seeded random points (where
//     pipDistance is the plain Euclidean distance, truncated) answers
//     pipObjectFindFirstNearest with N = 1; GEOS answers with its STRtree
//     nearest-neighbour search.  Different answers must be equally far
//     after truncation (ties).
//   * ranked containing search: pipObjectFindFirstContainingEx within a
//     maximum distance in feet on the polygon file.  The containing entries
//     must be GEOS's "covers" set (up to half a unit from a border); every
//     polygon whose border GEOS puts surely within the maximum (its
//     distance in units times 0.36432 feet) must be handed out, none surely
//     beyond it (times 0.36432 x the cosine of the data's highest
//     latitude); each entry's distance must lie between those two bounds;
//     the distances must never increase along the hand-out order, and no
//     polygon may come twice.
#include <gdal.h>
#include <geos_c.h>
#include <lumetra/pip.h>
#include <ogr_api.h>
#include <sys/stat.h>

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
  long nearest_points = 20000;
  long nearest_queries = 100000;
  long ranked_queries = 2000;
  int ranked_distance = 20000;  // feet
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
        for (int i = 0; i < OGR_G_GetGeometryCount(g); ++i)
          AddPolygon(OGR_G_GetGeometryRef(g, i), f);
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
    CheckPip(
        lib,
        pipImportInsert(import, &obj, xy.data(), counts.data(), static_cast<int>(counts.size())),
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

// ------------------------------------------------------------ nearest points

struct PlanarPoint {
  double x;
  double y;
};

// GEOS's distance between two items of the point tree (or an item and the
// query point).
int PlanarDistance(const void* a, const void* b, double* distance, void* /*userdata*/) {
  const auto* p = static_cast<const PlanarPoint*>(a);
  const auto* q = static_cast<const PlanarPoint*>(b);
  *distance = std::hypot(p->x - q->x, p->y - q->y);
  return 1;  // GEOS takes 0 for a failed computation
}

// A planar file of point objects "N<i>" (ordinal i + 1).
void ImportPoints(int lib, const std::vector<PlanarPoint>& points, const std::string& path) {
  pipObjectFileInfoStruct info;
  std::memset(&info, 0, sizeof info);
  info.maxPoints = 1;
  info.maxParts = 1;
  info.coordType = 0;
  int import = 0;
  CheckPip(lib, pipImportInit(lib, path.c_str(), &info, &import), "pipImportInit (points)");
  for (std::size_t i = 0; i < points.size(); ++i) {
    pipObjectInfoStruct obj;
    std::memset(&obj, 0, sizeof obj);
    std::snprintf(obj.name, sizeof obj.name, "N%zu", i);
    obj.type = PIP_OBJECT_POINT;
    obj.x = static_cast<int>(points[i].x);
    obj.y = static_cast<int>(points[i].y);
    CheckPip(lib, pipImportInsert(import, &obj, nullptr, nullptr, 0), "pipImportInsert (point)");
  }
  CheckPip(lib, pipImportTerm(import, 1), "pipImportTerm (points)");
}

// Index of the current object of `file` (its ordinal - 1), -1 without one.
int CurrentIndex(int file) {
  pipObjectInfoStruct info;
  if (pipObjectGetInfo(file, &info) != 1) return -1;
  return info.penColor - 1;
}

// The nearest search widens a square ring (half-side 7496 units, doubling)
// and stops at the first square that holds a point, answering the nearest
// point inside that square -- a nearer point just outside the square's
// sides (but inside its corners' reach) is not seen.  True when `found`
// is, after truncation, the distance of the nearest point inside that
// square around `q`.
bool SquareRingExplains(const std::vector<PlanarPoint>& points, const PlanarPoint& q,
                        double found) {
  double chebyshev = 1e300;
  for (const PlanarPoint& p : points) {
    chebyshev = std::min(chebyshev, std::max(std::fabs(p.x - q.x), std::fabs(p.y - q.y)));
  }
  double ring = 7496;
  while (ring < chebyshev) ring *= 2;
  double best = 1e300;
  for (const PlanarPoint& p : points) {
    if (std::max(std::fabs(p.x - q.x), std::fabs(p.y - q.y)) <= ring) {
      best = std::min(best, std::hypot(p.x - q.x, p.y - q.y));
    }
  }
  return std::trunc(best) == std::trunc(found);
}

// The nearest-point pass; returns the number of unexplained differences.
long NearestPass(int lib, const Options& opt) {
  std::mt19937_64 rng(opt.seed + 1);
  std::uniform_int_distribution<int> dx(ToUnits(opt.bbox[0]), ToUnits(opt.bbox[2]));
  std::uniform_int_distribution<int> dy(ToUnits(opt.bbox[1]), ToUnits(opt.bbox[3]));
  std::vector<PlanarPoint> points(static_cast<std::size_t>(opt.nearest_points));
  for (PlanarPoint& p : points) p = {static_cast<double>(dx(rng)), static_cast<double>(dy(rng))};
  std::vector<PlanarPoint> queries(static_cast<std::size_t>(opt.nearest_queries));
  for (PlanarPoint& q : queries) q = {static_cast<double>(dx(rng)), static_cast<double>(dy(rng))};
  const std::string path = opt.work + "/pip_oracle_points.ob";
  ImportPoints(lib, points, path);
  int file = 0;
  CheckPip(lib, pipObjectFileOpen(lib, path.c_str(), PIP_OPEN_CACHE_100MB, &file),
           "pipObjectFileOpen (points)");
  // The largest search distance lets the rings cover the whole data set.
  pipObjectSetSearchDistance(file, PIP_MAX_SEARCH_DISTANCE);

  GEOSContextHandle_t ctx = GEOS_init_r();
  GEOSSTRtree* tree = GEOSSTRtree_create_r(ctx, 10);
  std::vector<GEOSGeometry*> geoms;
  for (PlanarPoint& p : points) {
    geoms.push_back(GEOSGeom_createPointFromXY_r(ctx, p.x, p.y));
    GEOSSTRtree_insert_r(ctx, tree, geoms.back(), &p);
  }
  char name[8];
  std::vector<int> ours(queries.size(), -1), theirs(queries.size(), -1);
  auto t0 = Clock::now();
  for (std::size_t i = 0; i < queries.size(); ++i) {
    const int r = pipObjectFindFirstNearest(file, static_cast<int>(queries[i].x),
                                            static_cast<int>(queries[i].y), 1, name, sizeof name);
    if (r < 0) Die("nearest search failed at %.0f,%.0f", queries[i].x, queries[i].y);
    if (r > 0) ours[i] = CurrentIndex(file);
  }
  const double our_seconds = Seconds(t0, Clock::now());
  t0 = Clock::now();
  for (std::size_t i = 0; i < queries.size(); ++i) {
    GEOSGeometry* at = GEOSGeom_createPointFromXY_r(ctx, queries[i].x, queries[i].y);
    const void* hit =
        GEOSSTRtree_nearest_generic_r(ctx, tree, &queries[i], at, &PlanarDistance, nullptr);
    GEOSGeom_destroy_r(ctx, at);
    if (hit != nullptr)
      theirs[i] = static_cast<int>(static_cast<const PlanarPoint*>(hit) - points.data());
  }
  const double geos_seconds = Seconds(t0, Clock::now());

  long mismatches = 0, ties = 0, squares = 0;
  for (std::size_t i = 0; i < queries.size(); ++i) {
    if (ours[i] == theirs[i]) continue;
    ++mismatches;
    const auto distance = [&](int id) {
      return id < 0 ? -1.0 : std::hypot(points[id].x - queries[i].x, points[id].y - queries[i].y);
    };
    // pipDistance truncates: a point up to a unit farther can tie.
    if (ours[i] >= 0 && theirs[i] >= 0 &&
        std::trunc(distance(ours[i])) == std::trunc(distance(theirs[i]))) {
      ++ties;
    } else if (ours[i] >= 0 && SquareRingExplains(points, queries[i], distance(ours[i]))) {
      ++squares;
    } else if (mismatches - ties - squares <= 20) {
      std::printf("NEAREST MISMATCH at %.0f,%.0f: ours N%d (%.3f) / geos N%d (%.3f)\n",
                  queries[i].x, queries[i].y, ours[i], distance(ours[i]), theirs[i],
                  distance(theirs[i]));
    }
  }
  std::printf(
      "nearest: %zu points, %zu queries; %ld differences, %ld ties after truncation, %ld "
      "nearest within the square ring the search stopped at, %ld unexplained\n",
      points.size(), queries.size(), mismatches, ties, squares, mismatches - ties - squares);
  std::printf("  lumetra: %.3f s, %.0f queries/s; geos: %.3f s, %.0f queries/s\n", our_seconds,
              static_cast<double>(queries.size()) / our_seconds, geos_seconds,
              static_cast<double>(queries.size()) / geos_seconds);
  GEOSSTRtree_destroy_r(ctx, tree);
  for (GEOSGeometry* g : geoms) GEOSGeom_destroy_r(ctx, g);
  GEOS_finish_r(ctx);
  pipObjectFileClose(file);
  std::remove(path.c_str());
  return mismatches - ties - squares;
}

// ------------------------------------------------------------------ ranked

struct RankedEntry {
  int id;
  int flags;
  int distance;  // signed: negative for objects only near
};

// Every entry of a ranked search, with the polygon behind it.
std::vector<RankedEntry> OurRanking(int file, int x, int y, int maximum) {
  std::vector<RankedEntry> out;
  char name[8];
  int r = pipObjectFindFirstContainingEx(file, x, y, maximum, name, sizeof name);
  for (; r > 0; r = pipObjectFindNext(file, name, sizeof name)) {
    int low = 0, high = 0;
    if (pipObjectGetHandle64(file, &low, &high) != 1 || pipObjectFileGoto64(file, low, high) != 1) {
      Die("ranked entry at %d,%d cannot be reached", x, y);
    }
    const int d = pipObjectDistanceToBorder(file, x, y);
    out.push_back({CurrentIndex(file), r, r == 2 ? -d : d});
  }
  if (r < 0) Die("ranked search failed at %d,%d", x, y);
  return out;
}

void CollectIds(void* item, void* user) {
  static_cast<std::vector<int>*>(user)->push_back(*static_cast<int*>(item));
}

// The ranked pass; returns the number of unexplained violations.
long RankedPass(int file, Geos& geos, const std::vector<Feature>& features, const Options& opt) {
  double highest = 0;
  for (const Feature& f : features)
    for (const Ring& r : f.rings)
      for (std::size_t i = 1; i < r.xy.size(); i += 2)
        highest = std::max(highest, std::fabs(r.xy[i] * 1.0));
  const double kFeet = 0.36432;
  const double cos_min = std::cos(highest * 1.745329252e-8);
  const double maximum = opt.ranked_distance;
  std::mt19937_64 rng(opt.seed + 2);
  std::uniform_int_distribution<int> dx(ToUnits(opt.bbox[0]), ToUnits(opt.bbox[2]));
  std::uniform_int_distribution<int> dy(ToUnits(opt.bbox[1]), ToUnits(opt.bbox[3]));
  std::vector<int> xs(opt.ranked_queries), ys(opt.ranked_queries);
  for (long i = 0; i < opt.ranked_queries; ++i) {
    xs[i] = dx(rng);
    ys[i] = dy(rng);
  }
  // Timed: the ranked finds alone.
  long entries = 0;
  char name[8];
  auto t0 = Clock::now();
  for (long i = 0; i < opt.ranked_queries; ++i) {
    int r =
        pipObjectFindFirstContainingEx(file, xs[i], ys[i], opt.ranked_distance, name, sizeof name);
    for (; r > 0; r = pipObjectFindNext(file, name, sizeof name)) ++entries;
  }
  const double our_seconds = Seconds(t0, Clock::now());

  long violations = 0, explained = 0, unjudged = 0;
  const auto report = [&](long i, const char* what, int id, double value) {
    ++violations;
    if (violations - explained <= 20) {
      std::printf("RANKED %s at %d,%d: %s (%g)\n", what, xs[i], ys[i],
                  id >= 0 ? features[id].name.c_str() : "?", value);
    }
  };
  const double reach = maximum / (kFeet * cos_min) + 2;
  std::vector<int> covers, candidates;
  for (long i = 0; i < opt.ranked_queries; ++i) {
    const std::vector<RankedEntry> ours = OurRanking(file, xs[i], ys[i], opt.ranked_distance);
    GeosLookup(geos, xs[i], ys[i], covers);
    GEOSGeometry* pt = GEOSGeom_createPointFromXY_r(geos.ctx, xs[i], ys[i]);
    GEOSGeometry* box = GEOSGeom_createRectangle_r(geos.ctx, xs[i] - reach, ys[i] - reach,
                                                   xs[i] + reach, ys[i] + reach);
    candidates.clear();
    GEOSSTRtree_query_r(geos.ctx, geos.tree, box, &CollectIds, &candidates);
    GEOSGeom_destroy_r(geos.ctx, box);
    // -1: not a candidate (surely beyond the maximum); NaN: GEOS has no
    // boundary for it (a geometry collection after repair), not judged.
    std::vector<double> units(features.size(), -1.0);
    for (int id : candidates) {
      if (geos.boundaries[id] == nullptr) {
        units[id] = std::nan("");
        ++unjudged;
      } else {
        GEOSDistance_r(geos.ctx, geos.boundaries[id], pt, &units[id]);
      }
    }
    GEOSGeom_destroy_r(geos.ctx, pt);

    std::vector<int> seen(features.size(), 0);
    std::vector<int> inside;
    for (std::size_t k = 0; k < ours.size(); ++k) {
      const RankedEntry& e = ours[k];
      if (e.id < 0 || e.id >= static_cast<int>(features.size())) {
        report(i, "bad entry", -1, e.id);
        continue;
      }
      if (seen[e.id]++ != 0) report(i, "handed out twice", e.id, e.distance);
      if (k > 0 && ours[k - 1].distance < e.distance) report(i, "out of order", e.id, e.distance);
      if (e.flags & 1) inside.push_back(e.id);
      const double u = units[e.id];
      const int d = std::abs(e.distance);
      if (std::isnan(u)) continue;
      if (u < 0) {
        if (!(e.flags & 1)) report(i, "beyond the maximum", e.id, d);
      } else if (d < u * kFeet * cos_min - 1 || d > u * kFeet + 1) {
        report(i, "distance out of bounds", e.id, d);
      }
    }
    for (int id : candidates) {
      const double u = units[id];
      if (std::isnan(u)) continue;
      const bool in = std::find(covers.begin(), covers.end(), id) != covers.end();
      if (u * kFeet + 1 <= maximum && !(seen[id] != 0)) report(i, "missing near polygon", id, u);
      if (!in && u * kFeet * cos_min - 1 > maximum && seen[id] != 0) {
        report(i, "far polygon handed out", id, u);
      }
    }
    std::sort(inside.begin(), inside.end());
    std::vector<int> diff;
    std::set_symmetric_difference(inside.begin(), inside.end(), covers.begin(), covers.end(),
                                  std::back_inserter(diff));
    for (int id : diff) {
      if (std::isnan(units[id])) continue;
      if (units[id] >= 0 && units[id] < 0.5) {
        ++violations;
        ++explained;  // the half-unit border rule
      } else {
        report(i, "containing sets differ", id, units[id]);
      }
    }
  }
  std::printf(
      "ranked: %ld queries within %d feet, %ld entries; %ld violations, %ld within half "
      "a unit of a border, %ld unexplained (%ld polygon distances not judged)\n",
      opt.ranked_queries, opt.ranked_distance, entries, violations, explained,
      violations - explained, unjudged);
  std::printf("  lumetra: %.3f s, %.0f ranked searches/s\n", our_seconds,
              static_cast<double>(opt.ranked_queries) / our_seconds);
  return violations - explained;
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
    } else if (a == "--nearest-points" && i + 1 < argc) {
      o.nearest_points = std::max(1L, std::atol(argv[++i]));
    } else if (a == "--nearest-queries" && i + 1 < argc) {
      o.nearest_queries = std::atol(argv[++i]);
    } else if (a == "--ranked-queries" && i + 1 < argc) {
      o.ranked_queries = std::atol(argv[++i]);
    } else if (a == "--ranked-distance" && i + 1 < argc) {
      o.ranked_distance = std::atoi(argv[++i]);
    } else if (o.input.empty() && a[0] != '-') {
      o.input = a;
    } else {
      Die("usage: pip_oracle POLYGONS.shp [--points N] [--seed S] [--work DIR] [--bbox X1 Y1 X2 "
          "Y2]");
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
  std::printf("data: %s: %zu polygons, %ld rings, %ld points\n", opt.input.c_str(), features.size(),
              rings, points);

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
  std::printf("geos: prepared %zu geometries in %.3f s\n", features.size(),
              Seconds(t0, Clock::now()));

  std::mt19937_64 rng(opt.seed);
  std::uniform_int_distribution<int> dx(ToUnits(opt.bbox[0]), ToUnits(opt.bbox[2]));
  std::uniform_int_distribution<int> dy(ToUnits(opt.bbox[1]), ToUnits(opt.bbox[3]));
  std::vector<int> xs(opt.points), ys(opt.points);
  for (long i = 0; i < opt.points; ++i) {
    xs[i] = dx(rng);
    ys[i] = dy(rng);
  }
  std::printf("points: %ld, seed %u, box %.3f %.3f %.3f %.3f\n", opt.points, opt.seed, opt.bbox[0],
              opt.bbox[1], opt.bbox[2], opt.bbox[3]);

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
  std::printf(
      "answers: %ld containing hits; %ld mismatches, %ld within half a unit of a border, "
      "%ld unexplained\n",
      hits, mismatches, explained, mismatches - explained);
  std::printf("lumetra: %.3f s, %.0f lookups/s\n", our_seconds, opt.points / our_seconds);
  std::printf("geos:    %.3f s, %.0f lookups/s\n", geos_seconds, opt.points / geos_seconds);
  std::printf("ratio (lumetra/geos throughput): %.2f\n", geos_seconds / our_seconds);
  const long ranked_unexplained =
      opt.ranked_queries > 0 ? RankedPass(file, geos, features, opt) : 0;
  pipObjectFileClose(file);
  std::remove(path.c_str());
  const long nearest_unexplained = opt.nearest_queries > 0 ? NearestPass(lib, opt) : 0;
  pipTerm(lib);
  return mismatches - explained == 0 && nearest_unexplained == 0 && ranked_unexplained == 0 ? 0 : 1;
}
