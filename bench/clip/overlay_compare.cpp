// Polygon clipping speed: gpc_polygon_clip against GEOS overlay (OverlayNG,
// C API) and the Debian Clipper 6.4.2 (ClipperLib, integer coordinates), on
// the same inputs in the same run.
//
// Inputs: random star-shaped polygons of 10 to 100,000 vertices (a smooth
// outline with vertex jitter of the order of the vertex spacing, the second
// polygon shifted and rotated, so crossings grow slowly with n), and pairs of
// neighbouring countries from the @geo-maps/countries-land-1km shapefile
// when --world=<file.shp> is given.  Before timing, every case's result areas
// are compared across the three engines; a mismatch ends the program.
//
//   clip_overlay_compare [--world=world_1km.shp] [benchmark flags]
#include <benchmark/benchmark.h>
#include <geos_c.h>
#include <lumetra/dbf.h>
#include <lumetra/gpc.h>
#include <lumetra/shapefile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <polyclipping/clipper.hpp>
#include <random>
#include <string>
#include <vector>

namespace {

struct Pt {
  double x, y;
};
using Ring = std::vector<Pt>;
using Poly = std::vector<Ring>;

GEOSContextHandle_t geos = nullptr;

double RingArea(const Ring& r) {
  double s = 0;
  for (std::size_t i = 0; i < r.size(); ++i) {
    const Pt &p = r[i], &q = r[(i + 1) % r.size()];
    s += p.x * q.y - q.x * p.y;
  }
  return s / 2;
}

// ---- Inputs ----

Poly RandomStar(int n, double cx, double cy, double phase, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  double step = 2 * M_PI / n;
  Ring r;
  for (int i = 0; i < n; ++i) {
    double t = i * step + 0.4 * step * u(rng) + phase;
    double rad = 1 + 0.25 * std::sin(3 * t + phase) + 0.1 * std::sin(7 * t) + 0.5 * step * u(rng);
    r.push_back({cx + rad * std::cos(t), cy + rad * std::sin(t)});
  }
  return {r};
}

// Country polygons by their A3 code.
std::map<std::string, Poly> ReadWorld(const std::string& shp) {
  std::map<std::string, Poly> world;
  std::string base = shp.substr(0, shp.size() - 4);
  shpFile shape;
  dbTable table;
  if (ShapeOpen(&shape, base.c_str()) != 0 || dbOpen(&table, (base + ".dbf").c_str()) != 0) {
    std::fprintf(stderr, "cannot open %s\n", shp.c_str());
    std::exit(1);
  }
  int a3 = 0;
  while (a3 < table.numFields && std::strcmp(table.fields[a3].name, "A3") != 0) ++a3;
  while (ShapeRead(&shape) == 0 && dbRead(&table) == 0) {
    Poly poly;
    for (int p = 0; p < shape.numParts; ++p) {
      Ring ring;
      for (int i = 0; i < shape.parts[p].numPoints; ++i) {
        ring.push_back({shape.parts[p].points[2 * i], shape.parts[p].points[2 * i + 1]});
      }
      if (ring.size() > 1 && ring.front().x == ring.back().x && ring.front().y == ring.back().y)
        ring.pop_back();
      poly.push_back(ring);
    }
    std::string name = table.fields[a3].value.text;
    name.erase(name.find_last_not_of(' ') + 1);
    world[name] = poly;
  }
  ShapeClose(&shape);
  dbClose(&table);
  return world;
}

// ---- The three engines' forms of one polygon ----

gpc_polygon ToGpc(const Poly& p) {
  gpc_polygon g;
  g.num_contours = static_cast<int>(p.size());
  g.hole = static_cast<int*>(std::calloc(p.size(), sizeof(int)));
  g.contour = static_cast<gpc_vertex_list*>(std::calloc(p.size(), sizeof(gpc_vertex_list)));
  for (std::size_t c = 0; c < p.size(); ++c) {
    auto* v = static_cast<gpc_vertex*>(std::malloc(sizeof(gpc_vertex) * p[c].size()));
    for (std::size_t i = 0; i < p[c].size(); ++i) v[i] = {p[c][i].x, p[c][i].y};
    g.contour[c].num_vertices = static_cast<int>(p[c].size());
    g.contour[c].vertex = v;
  }
  return g;
}

ClipperLib::Paths ToClipper(const Poly& p, double scale) {
  ClipperLib::Paths paths;
  for (const Ring& r : p) {
    ClipperLib::Path path;
    for (const Pt& q : r) path.push_back({std::llround(q.x * scale), std::llround(q.y * scale)});
    paths.push_back(path);
  }
  return paths;
}

GEOSGeometry* GeosRing(const Ring& r) {
  GEOSCoordSequence* seq = GEOSCoordSeq_create_r(geos, static_cast<unsigned>(r.size() + 1), 2);
  for (std::size_t i = 0; i <= r.size(); ++i) {
    const Pt& q = r[i % r.size()];
    GEOSCoordSeq_setXY_r(geos, seq, static_cast<unsigned>(i), q.x, q.y);
  }
  return GEOSGeom_createLinearRing_r(geos, seq);
}

// GEOS reads polygons as shells and holes, not by the even-odd rule; so it
// gets the polygon's even-odd region as Clipper resolves it (exact for the
// 3-decimal world data at 1e6 units per degree): each outer ring of the tree
// a shell with its holes.
GEOSGeometry* ToGeos(const Poly& p, double scale) {
  ClipperLib::Clipper clipper;
  clipper.AddPaths(ToClipper(p, scale), ClipperLib::ptSubject, true);
  ClipperLib::PolyTree tree;
  clipper.Execute(ClipperLib::ctUnion, tree, ClipperLib::pftEvenOdd, ClipperLib::pftEvenOdd);
  auto ring = [&](const ClipperLib::Path& path) {
    Ring r;
    for (const auto& q : path) r.push_back({q.X / scale, q.Y / scale});
    return GeosRing(r);
  };
  std::vector<GEOSGeometry*> polygons;
  std::vector<const ClipperLib::PolyNode*> outers(tree.Childs.begin(), tree.Childs.end());
  while (!outers.empty()) {
    const ClipperLib::PolyNode* outer = outers.back();
    outers.pop_back();
    std::vector<GEOSGeometry*> holes;
    for (const ClipperLib::PolyNode* hole : outer->Childs) {
      holes.push_back(ring(hole->Contour));
      outers.insert(outers.end(), hole->Childs.begin(), hole->Childs.end());
    }
    polygons.push_back(GEOSGeom_createPolygon_r(geos, ring(outer->Contour), holes.data(),
                                                static_cast<unsigned>(holes.size())));
  }
  return GEOSGeom_createCollection_r(geos, GEOS_MULTIPOLYGON, polygons.data(),
                                     static_cast<unsigned>(polygons.size()));
}

struct Case {
  std::string name;
  std::size_t vertices = 0;
  double scale = 1;  // Clipper's integer units per coordinate unit
  gpc_polygon ga{}, gb{};
  ClipperLib::Paths ca, cb;
  GEOSGeometry *sa = nullptr, *sb = nullptr;
};

std::vector<std::unique_ptr<Case>> cases;

void AddCase(const std::string& name, const Poly& a, const Poly& b, double scale) {
  auto c = std::make_unique<Case>();
  c->name = name;
  for (const Poly* p : {&a, &b}) {
    for (const Ring& r : *p) c->vertices += r.size();
  }
  c->scale = scale;
  c->ga = ToGpc(a);
  c->gb = ToGpc(b);
  c->ca = ToClipper(a, scale);
  c->cb = ToClipper(b, scale);
  c->sa = ToGeos(a, scale);
  c->sb = ToGeos(b, scale);
  cases.push_back(std::move(c));
}

// ---- Runs and area checks ----

double LumetraArea(Case& c, int op) {
  gpc_polygon r;
  gpc_polygon_clip(op, &c.ga, &c.gb, &r);
  double area = 0;
  for (int i = 0; i < r.num_contours; ++i) {
    Ring ring;
    for (int v = 0; v < r.contour[i].num_vertices; ++v)
      ring.push_back({r.contour[i].vertex[v].x, r.contour[i].vertex[v].y});
    area += (r.hole[i] ? -1 : 1) * std::fabs(RingArea(ring));
  }
  gpc_free_polygon(&r);
  return area;
}

ClipperLib::ClipType ClipperOp(int op) {
  return op == GPC_INT ? ClipperLib::ctIntersection : ClipperLib::ctUnion;
}

double ClipperArea(Case& c, int op) {
  ClipperLib::Clipper clipper;
  clipper.AddPaths(c.ca, ClipperLib::ptSubject, true);
  clipper.AddPaths(c.cb, ClipperLib::ptClip, true);
  ClipperLib::Paths out;
  clipper.Execute(ClipperOp(op), out, ClipperLib::pftEvenOdd, ClipperLib::pftEvenOdd);
  double area = 0;
  for (const auto& path : out) area += ClipperLib::Area(path);
  return area / (c.scale * c.scale);
}

GEOSGeometry* GeosRun(Case& c, int op) {
  return op == GPC_INT ? GEOSIntersection_r(geos, c.sa, c.sb) : GEOSUnion_r(geos, c.sa, c.sb);
}

double GeosArea(Case& c, int op) {
  GEOSGeometry* g = GeosRun(c, op);
  double area = 0;
  GEOSArea_r(geos, g, &area);
  GEOSGeom_destroy_r(geos, g);
  return area;
}

void CheckAreas(Case& c) {
  double scale = GeosArea(c, GPC_UNION);  // areas compare relative to the union's
  for (int op : {GPC_INT, GPC_UNION}) {
    double ours = LumetraArea(c, op);
    double clipper = ClipperArea(c, op);
    double theirs = GeosArea(c, op);
    // Clipper rounds to integer units (exact for the 3-decimal world data).
    if (std::fabs(ours - clipper) > 1e-6 * scale || std::fabs(ours - theirs) > 1e-6 * scale) {
      std::fprintf(stderr, "%s op %d: areas differ: lumetra %.15g, clipper %.15g, geos %.15g\n",
                   c.name.c_str(), op, ours, clipper, theirs);
      std::exit(1);
    }
  }
}

void Register(Case& c) {
  for (int op : {GPC_INT, GPC_UNION}) {
    std::string suffix = c.name + (op == GPC_INT ? "/intersection" : "/union");
    auto rate = [&c](benchmark::State& state) {
      state.counters["vertices/s"] = benchmark::Counter(
          static_cast<double>(c.vertices), benchmark::Counter::kIsIterationInvariantRate);
    };
    benchmark::RegisterBenchmark(("lumetra/" + suffix).c_str(), [&c, op,
                                                                 rate](benchmark::State& state) {
      for (auto _ : state) {
        gpc_polygon r;
        gpc_polygon_clip(op, &c.ga, &c.gb, &r);
        benchmark::DoNotOptimize(r.num_contours);
        gpc_free_polygon(&r);
      }
      rate(state);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("clipper/" + suffix).c_str(), [&c, op,
                                                                 rate](benchmark::State& state) {
      for (auto _ : state) {
        ClipperLib::Clipper clipper;
        clipper.AddPaths(c.ca, ClipperLib::ptSubject, true);
        clipper.AddPaths(c.cb, ClipperLib::ptClip, true);
        ClipperLib::Paths out;
        clipper.Execute(ClipperOp(op), out, ClipperLib::pftEvenOdd, ClipperLib::pftEvenOdd);
        benchmark::DoNotOptimize(out.size());
      }
      rate(state);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("geos/" + suffix).c_str(), [&c, op,
                                                              rate](benchmark::State& state) {
      for (auto _ : state) GEOSGeom_destroy_r(geos, GeosRun(c, op));
      rate(state);
    })->Unit(benchmark::kMillisecond);
  }
}

const char* kCountryPairs[][2] = {{"BEL", "LUX"}, {"FRA", "ESP"}, {"DEU", "POL"},
                                  {"ARG", "CHL"}, {"CHN", "IND"}, {"USA", "CAN"}};

}  // namespace

int main(int argc, char** argv) {
  geos = GEOS_init_r();
  std::string world;
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--world=", 8) == 0) {
      world = argv[i] + 8;
    } else {
      args.push_back(argv[i]);
    }
  }
  for (int n : {10, 100, 1000, 10000, 100000}) {
    AddCase("random/" + std::to_string(n), RandomStar(n, 0, 0, 0, 1),
            RandomStar(n, 0.3, 0.2, 0.5, 2), 1e8);
  }
  if (!world.empty()) {
    std::map<std::string, Poly> countries = ReadWorld(world);
    for (const auto& pair : kCountryPairs) {
      if (countries.count(pair[0]) && countries.count(pair[1])) {
        AddCase(std::string("world/") + pair[0] + "-" + pair[1], countries[pair[0]],
                countries[pair[1]], 1e6);
      }
    }
  }
  for (auto& c : cases) {
    std::fprintf(stderr, "checking %s (%zu vertices)\n", c->name.c_str(), c->vertices);
    CheckAreas(*c);
    Register(*c);
  }
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (auto& c : cases) {
    gpc_free_polygon(&c->ga);
    gpc_free_polygon(&c->gb);
    GEOSGeom_destroy_r(geos, c->sa);
    GEOSGeom_destroy_r(geos, c->sb);
  }
  GEOS_finish_r(geos);
  return 0;
}
