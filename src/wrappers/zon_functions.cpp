// The factories and the zon* functions: C-linkage entry points over the
// geometry classes for callers that cannot use the classes directly.
#include <lumetra/geometry.h>

#include <climits>
#include <cmath>
#include <new>

namespace {

// The point of a point shape, or null.
const CPipPoint* PointOf(const CZonShape* shape) {
  if (shape == nullptr || shape->getType() != ZON_SHAPE_POINT) return nullptr;
  return dynamic_cast<const CPipPoint*>(shape->getGeometry());
}

// A distance in feet truncated to int; beyond the int range it saturates
// (the empty geometries answer DBL_MAX), NaN gives 0.
int TruncatedFeet(double feet) {
  if (std::isnan(feet)) return 0;
  if (feet >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (feet <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(feet);
}

// The distance `measure` gives between two point shapes: 1, or -3 when
// either is not a point shape (-1 without an output).
template <class Measure>
int PointDistance(const CZonShape* a, const CZonShape* b, int* feet, Measure measure) {
  if (feet == nullptr) return -1;
  const CPipPoint* pa = PointOf(a);
  const CPipPoint* pb = PointOf(b);
  if (pa == nullptr || pb == nullptr) return ZON_WRONG_TYPE;
  *feet = TruncatedFeet(measure(*pa, *pb));
  return 1;
}

// The distance `measure` gives between the geometries of two shapes of any
// type: 1, or -1 and 0 feet when a shape or geometry is missing.
template <class Measure>
int GeometryDistance(const CZonShape* a, const CZonShape* b, int* feet, Measure measure) {
  if (feet == nullptr) return -1;
  *feet = 0;
  if (a == nullptr || b == nullptr) return -1;
  const IGeometry* ga = a->getGeometry();
  const IGeometry* gb = b->getGeometry();
  if (ga == nullptr || gb == nullptr) return -1;
  *feet = TruncatedFeet(measure(*ga, gb));
  return 1;
}

}  // namespace

extern "C" {

CZonShape* makeZonShape(void) { return new (std::nothrow) CZonShape(); }
CPipPoint* makePipPoint(void) { return new (std::nothrow) CPipPoint(); }
CPipPoint* makePipPointXY(double x, double y) { return new (std::nothrow) CPipPoint(x, y); }
CPolyLine* makePolyLine(void) { return new (std::nothrow) CPolyLine(); }
CPolyPolygon* makePolyPolygon(void) { return new (std::nothrow) CPolyPolygon(); }
CSpatial* makeSpatial(void) { return new (std::nothrow) CSpatial(); }

CPolyLine* makePolyLineXY(const double* x, const double* y, const int* partCounts, int nParts) {
  CPolyLine* line = new (std::nothrow) CPolyLine();
  if (line != nullptr) line->set(x, y, partCounts, nParts);
  return line;
}

int zonShapeFree(CZonShape** shape) {
  if (shape == nullptr) return 1;
  delete *shape;
  *shape = nullptr;
  return 1;
}

int zonShapeGetStr(const CZonShape* shape, int what, char* buffer, int size) {
  if (shape == nullptr || buffer == nullptr || size < 1) return -1;
  return shape->get(what, buffer, size);
}

int zonDistance(const CZonShape* a, const CZonShape* b, int* feet) {
  return PointDistance(a, b, feet,
                       [](const CPipPoint& p, const CPipPoint& q) { return p.distance(q); });
}

int zonManhattanDistance(const CZonShape* a, const CZonShape* b, int* feet) {
  return PointDistance(
      a, b, feet, [](const CPipPoint& p, const CPipPoint& q) { return p.manhattanDistance(q); });
}

int zonNearDistance(const CZonShape* a, const CZonShape* b, int* feet) {
  return GeometryDistance(a, b, feet,
                          [](const IGeometry& g, const IGeometry* h) { return g.minDistance(h); });
}

int zonFarDistance(const CZonShape* a, const CZonShape* b, int* feet) {
  return GeometryDistance(a, b, feet,
                          [](const IGeometry& g, const IGeometry* h) { return g.maxDistance(h); });
}

}  // extern "C"
