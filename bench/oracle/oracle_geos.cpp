#include "oracle_geos.h"

#include <algorithm>
#include <cmath>

namespace oracle {

namespace {

GEOSGeometry* MakeRing(GEOSContextHandle_t ctx, const Ring& r) {
  const unsigned n = static_cast<unsigned>(r.xy.size() / 2);
  GEOSCoordSequence* seq = GEOSCoordSeq_create_r(ctx, n + 1, 2);
  for (unsigned i = 0; i <= n; ++i) {
    const unsigned k = i % n;
    GEOSCoordSeq_setXY_r(ctx, seq, i, r.xy[2 * k], r.xy[2 * k + 1]);
  }
  return GEOSGeom_createLinearRing_r(ctx, seq);
}

struct Query {
  GEOSContextHandle_t ctx;
  const std::vector<const GEOSPreparedGeometry*>* prepared;
  GEOSGeometry* point;
  std::vector<int>* hits;
};

void CollectCovers(void* item, void* user) {
  auto* q = static_cast<Query*>(user);
  const int id = *static_cast<int*>(item);
  if (GEOSPreparedCovers_r(q->ctx, (*q->prepared)[id], q->point)) q->hits->push_back(id);
}

void CollectIds(void* item, void* user) {
  static_cast<std::vector<int>*>(user)->push_back(*static_cast<int*>(item));
}

}  // namespace

GeosPolygons::GeosPolygons(const std::vector<Feature>& features) : ctx_(GEOS_init_r()) {
  tree_ = GEOSSTRtree_create_r(ctx_, 10);
  ids_.resize(features.size());
  for (std::size_t i = 0; i < features.size(); ++i) {
    ids_[i] = static_cast<int>(i);
    geoms_.push_back(Build(features[i]));
    prepared_.push_back(GEOSPrepare_r(ctx_, geoms_.back()));
    boundaries_.push_back(GEOSBoundary_r(ctx_, geoms_.back()));
    GEOSSTRtree_insert_r(ctx_, tree_, geoms_.back(), &ids_[i]);
  }
}

GeosPolygons::~GeosPolygons() {
  GEOSSTRtree_destroy_r(ctx_, tree_);
  for (auto* p : prepared_) GEOSPreparedGeom_destroy_r(ctx_, p);
  for (auto* g : boundaries_) GEOSGeom_destroy_r(ctx_, g);
  for (auto* g : geoms_) GEOSGeom_destroy_r(ctx_, g);
  GEOS_finish_r(ctx_);
}

GEOSGeometry* GeosPolygons::Build(const Feature& f) {
  std::vector<GEOSGeometry*> polygons;
  for (const Polygon& p : f.polygons) {
    std::vector<GEOSGeometry*> holes;
    for (std::size_t i = 1; i < p.rings.size(); ++i) holes.push_back(MakeRing(ctx_, p.rings[i]));
    polygons.push_back(GEOSGeom_createPolygon_r(ctx_, MakeRing(ctx_, p.rings[0]), holes.data(),
                                                static_cast<unsigned>(holes.size())));
  }
  // Not checked for validity (far too slow for the world's countries):
  // GEOS's prepared "covers" counts ray crossings over every ring, the
  // even-odd rule our lookup applies, also where polygons overlap.
  return GEOSGeom_createCollection_r(ctx_, GEOS_MULTIPOLYGON, polygons.data(),
                                     static_cast<unsigned>(polygons.size()));
}

void GeosPolygons::Lookup(int x, int y, std::vector<int>& hits) {
  hits.clear();
  GEOSGeometry* pt = GEOSGeom_createPointFromXY_r(ctx_, x, y);
  Query q{ctx_, &prepared_, pt, &hits};
  GEOSSTRtree_query_r(ctx_, tree_, pt, &CollectCovers, &q);
  GEOSGeom_destroy_r(ctx_, pt);
  std::sort(hits.begin(), hits.end());
}

double GeosPolygons::BorderDistance(int id, int x, int y) {
  if (boundaries_[id] == nullptr) return std::nan("");
  GEOSGeometry* pt = GEOSGeom_createPointFromXY_r(ctx_, x, y);
  double d = 0;
  GEOSDistance_r(ctx_, boundaries_[id], pt, &d);
  GEOSGeom_destroy_r(ctx_, pt);
  return d;
}

void GeosPolygons::Candidates(int x, int y, double reach, std::vector<int>& ids) {
  ids.clear();
  GEOSGeometry* box = GEOSGeom_createRectangle_r(ctx_, x - reach, y - reach, x + reach, y + reach);
  GEOSSTRtree_query_r(ctx_, tree_, box, &CollectIds, &ids);
  GEOSGeom_destroy_r(ctx_, box);
}

GeosPoints::GeosPoints(const std::vector<int>& xy) : ctx_(GEOS_init_r()) {
  tree_ = GEOSSTRtree_create_r(ctx_, 10);
  points_.resize(xy.size() / 2);
  for (std::size_t i = 0; i < points_.size(); ++i) {
    points_[i] = At{static_cast<double>(xy[2 * i]), static_cast<double>(xy[2 * i + 1])};
    geoms_.push_back(GEOSGeom_createPointFromXY_r(ctx_, points_[i].x, points_[i].y));
    GEOSSTRtree_insert_r(ctx_, tree_, geoms_.back(), &points_[i]);
  }
}

GeosPoints::~GeosPoints() {
  GEOSSTRtree_destroy_r(ctx_, tree_);
  for (GEOSGeometry* g : geoms_) GEOSGeom_destroy_r(ctx_, g);
  GEOS_finish_r(ctx_);
}

int GeosPoints::Distance(const void* a, const void* b, double* distance, void*) {
  const auto* p = static_cast<const At*>(a);
  const auto* q = static_cast<const At*>(b);
  *distance = std::hypot(p->x - q->x, p->y - q->y);
  return 1;  // GEOS takes 0 for a failed computation
}

int GeosPoints::Nearest(int x, int y) {
  const At q{static_cast<double>(x), static_cast<double>(y)};
  GEOSGeometry* at = GEOSGeom_createPointFromXY_r(ctx_, q.x, q.y);
  const void* hit = GEOSSTRtree_nearest_generic_r(ctx_, tree_, &q, at, &Distance, nullptr);
  GEOSGeom_destroy_r(ctx_, at);
  return hit == nullptr ? -1 : static_cast<int>(static_cast<const At*>(hit) - points_.data());
}

}  // namespace oracle
