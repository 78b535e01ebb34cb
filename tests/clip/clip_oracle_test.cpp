// The clipper against GEOS overlay on real neighbouring polygons (US
// counties and countries, tests/data/clip_pairs): for every operation the
// part covered by exactly one of the two results must be negligible.
#include <geos_c.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "clip/polygon_clip.h"
#include "support/clip_models.h"

namespace lumetra {
namespace {

struct Named {
  std::string name;
  ClipPolygon polygon;
};

std::vector<Named> ReadPolygons(const std::string& file) {
  std::ifstream in(std::string(LUMETRA_TEST_DATA_DIR) + "/clip_pairs/" + file);
  std::vector<Named> polygons;
  std::string line, word;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    if (line.empty() || line[0] == '#') continue;
    if (line.compare(0, 8, "polygon ") == 0) {
      polygons.emplace_back();
      fields >> word >> polygons.back().name;
      continue;
    }
    int n = 0;
    fields >> n;
    std::vector<ClipVertex> ring(static_cast<std::size_t>(n));
    for (ClipVertex& v : ring) fields >> v.x >> v.y;
    polygons.back().polygon.AddContour(ring.data(), n);
  }
  return polygons;
}

class Geos {
 public:
  Geos() : context_(GEOS_init_r()) {}
  ~Geos() { GEOS_finish_r(context_); }

  // The contours' even-odd region: the symmetric difference of the rings,
  // each made valid (which keeps alternate faces of a ring crossing itself).
  GEOSGeometry* EvenOdd(const ClipPolygon& p) {
    GEOSGeometry* region = nullptr;
    std::size_t at = 0;
    for (int count : p.counts) {
      GEOSCoordSequence* seq = GEOSCoordSeq_create_r(context_, static_cast<unsigned>(count + 1), 2);
      for (int i = 0; i <= count; ++i) {
        const ClipVertex& v = p.vertices[at + static_cast<std::size_t>(i % count)];
        GEOSCoordSeq_setXY_r(context_, seq, static_cast<unsigned>(i), v.x, v.y);
      }
      at += static_cast<std::size_t>(count);
      GEOSGeometry* ring = GEOSGeom_createPolygon_r(
          context_, GEOSGeom_createLinearRing_r(context_, seq), nullptr, 0);
      if (GEOSisValid_r(context_, ring) != 1) ring = Take(ring, GEOSMakeValid_r(context_, ring));
      region = region == nullptr ? ring
                                 : Take(region, GEOSSymDifference_r(context_, region, ring), ring);
    }
    return region != nullptr ? region : GEOSGeom_createEmptyPolygon_r(context_);
  }

  GEOSGeometry* Overlay(int op, const GEOSGeometry* a, const GEOSGeometry* b) {
    switch (op) {
      case 0:
        return GEOSDifference_r(context_, a, b);
      case 1:
        return GEOSIntersection_r(context_, a, b);
      case 2:
        return GEOSSymDifference_r(context_, a, b);
    }
    return GEOSUnion_r(context_, a, b);
  }

  double Area(const GEOSGeometry* g) {
    double area = 0;
    GEOSArea_r(context_, g, &area);
    return area;
  }

  void Free(GEOSGeometry* g) { GEOSGeom_destroy_r(context_, g); }

 private:
  // Returns `result`, destroying the operands it replaces.
  GEOSGeometry* Take(GEOSGeometry* old, GEOSGeometry* result, GEOSGeometry* also = nullptr) {
    Free(old);
    if (also != nullptr) Free(also);
    return result;
  }

  GEOSContextHandle_t context_;
};

void CompareWithGeos(const std::string& file) {
  std::vector<Named> polygons = ReadPolygons(file);
  ASSERT_GE(polygons.size(), 2u);
  Geos geos;
  for (std::size_t i = 0; i + 1 < polygons.size(); i += 2) {
    const Named &a = polygons[i], &b = polygons[i + 1];
    GEOSGeometry* ga = geos.EvenOdd(a.polygon);
    GEOSGeometry* gb = geos.EvenOdd(b.polygon);
    GEOSGeometry* all = geos.Overlay(3, ga, gb);
    double scale = geos.Area(all);
    for (int op = 0; op < 4; ++op) {
      SCOPED_TRACE(a.name + " / " + b.name + ", op " + std::to_string(op));
      ClipPolygon ours;
      ClipStats stats;
      ClipHooks hooks;
      hooks.stats = &stats;
      ClipPolygons(static_cast<ClipOperation>(op), a.polygon, b.polygon, &ours, &hooks);
      EXPECT_EQ(stats.repairs, 0);
      std::size_t at = 0;
      for (int c = 0; c < ours.ContourCount(); ++c) {
        lumetra_test::ModelRing ring;
        for (int k = 0; k < ours.counts[static_cast<std::size_t>(c)]; ++k, ++at) {
          ring.push_back({ours.vertices[at].x, ours.vertices[at].y});
        }
        EXPECT_EQ(lumetra_test::RingFault(ring, ours.holes[static_cast<std::size_t>(c)] != 0), "");
      }
      GEOSGeometry* expected = geos.Overlay(op, ga, gb);
      GEOSGeometry* got = geos.EvenOdd(ours);
      GEOSGeometry* apart = geos.Overlay(2, expected, got);
      EXPECT_NEAR(geos.Area(got), geos.Area(expected), 1e-9 * scale);
      EXPECT_LE(geos.Area(apart), 1e-9 * scale);
      for (GEOSGeometry* g : {expected, got, apart}) geos.Free(g);
    }
    for (GEOSGeometry* g : {ga, gb, all}) geos.Free(g);
  }
}

TEST(ClipOracle, NeighbouringUsCountiesMatchGeos) { CompareWithGeos("us_counties.txt"); }

TEST(ClipOracle, NeighbouringCountriesMatchGeos) { CompareWithGeos("world_countries.txt"); }

}  // namespace
}  // namespace lumetra
