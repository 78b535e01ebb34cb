// The GEOS side of the oracle benchmark: each feature as one GEOS geometry
// (its polygons as a multipolygon, taken as they are), prepared, in an
// STRtree; and a point tree for nearest queries.
#ifndef LUMETRA_BENCH_ORACLE_ORACLE_GEOS_H
#define LUMETRA_BENCH_ORACLE_ORACLE_GEOS_H

#include <geos_c.h>

#include <vector>

#include "oracle_data.h"

namespace oracle {

class GeosPolygons {
 public:
  explicit GeosPolygons(const std::vector<Feature>& features);
  ~GeosPolygons();
  GeosPolygons(const GeosPolygons&) = delete;
  GeosPolygons& operator=(const GeosPolygons&) = delete;

  // The features covering (x, y), ascending.
  void Lookup(int x, int y, std::vector<int>& hits);
  // The distance in units from (x, y) to the border of feature `id`; NaN
  // when GEOS gives the feature no border.
  double BorderDistance(int id, int x, int y);
  // The features whose boxes meet the square of half-side `reach` around
  // (x, y).
  void Candidates(int x, int y, double reach, std::vector<int>& ids);

  GEOSContextHandle_t ctx() const { return ctx_; }

 private:
  GEOSGeometry* Build(const Feature& f);

  GEOSContextHandle_t ctx_;
  std::vector<GEOSGeometry*> geoms_;
  std::vector<const GEOSPreparedGeometry*> prepared_;
  std::vector<GEOSGeometry*> boundaries_;
  GEOSSTRtree* tree_ = nullptr;
  std::vector<int> ids_;
};

// Planar points in an STRtree, for nearest queries.
class GeosPoints {
 public:
  explicit GeosPoints(const std::vector<int>& xy);
  ~GeosPoints();
  GeosPoints(const GeosPoints&) = delete;
  GeosPoints& operator=(const GeosPoints&) = delete;

  // The index of the point nearest to (x, y) (Euclidean), -1 when none.
  int Nearest(int x, int y);

 private:
  struct At {
    double x;
    double y;
  };
  static int Distance(const void* a, const void* b, double* distance, void* user);

  GEOSContextHandle_t ctx_;
  std::vector<At> points_;
  std::vector<GEOSGeometry*> geoms_;
  GEOSSTRtree* tree_ = nullptr;
};

}  // namespace oracle

#endif  // LUMETRA_BENCH_ORACLE_ORACLE_GEOS_H
