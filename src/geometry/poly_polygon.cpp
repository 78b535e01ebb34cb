// CPolyPolygon: several rings, none marked as outer ring or hole.
#include <lumetra/geometry.h>

#include <cstring>

#include "geometry/part_set.h"

using lumetra::DeleteArray;
using lumetra::FromSpatial;

namespace {

bool MakeRing(CPolygon& ring, const double* x, const double* y, int n) { return ring.set(x, y, n); }

}  // namespace

CPolyPolygon::CPolyPolygon() : m_polygons(nullptr), m_count(0), m_name{}, m_name2{} {}
CPolyPolygon::CPolyPolygon(const CPolygon* polygons, int n) : CPolyPolygon() { set(polygons, n); }
CPolyPolygon::CPolyPolygon(const int* xy, const int* partCounts, int nParts) : CPolyPolygon() {
  set(xy, partCounts, nParts);
}
CPolyPolygon::CPolyPolygon(const double* x, const double* y, const int* partCounts, int nParts)
    : CPolyPolygon() {
  set(x, y, partCounts, nParts);
}

CPolyPolygon::CPolyPolygon(const CPolyPolygon& other) : CPolyPolygon() {
  *this = other;
  lumetra::CopyInlineName(m_name, other.m_name);
  lumetra::CopyInlineName(m_name2, other.m_name2);
}

// Assignment takes the rings and keeps this polypolygon's own names.
CPolyPolygon& CPolyPolygon::operator=(const CPolyPolygon& other) {
  if (this == &other) return *this;
  lumetra::Built<CPolygon> built = lumetra::CopyBuilt(other.m_polygons, other.m_count);
  DeleteArray(m_polygons);
  m_polygons = built.items;
  m_count = built.count;
  return *this;
}

CPolyPolygon::~CPolyPolygon() { DeleteArray(m_polygons); }

// Every set builds the new rings first (each by the closure rule of
// CPolygon::set), then empties this polypolygon (rings and names) and takes
// them.
bool CPolyPolygon::set(const CPolygon* polygons, int n) {
  lumetra::Built<CPolygon> built = lumetra::CopyBuilt(polygons, n);
  reset();
  m_polygons = built.items;
  m_count = built.count;
  return built.ok;
}

bool CPolyPolygon::set(const int* xy, const int* partCounts, int nParts) {
  if (xy == nullptr) nParts = 0;
  lumetra::Built<CPolygon> built = lumetra::BuildParts<CPolygon>(
      partCounts, nParts, [&](int k) { return FromSpatial(xy[2 * k]); },
      [&](int k) { return FromSpatial(xy[2 * k + 1]); }, MakeRing);
  reset();
  m_polygons = built.items;
  m_count = built.count;
  return built.ok;
}

bool CPolyPolygon::set(const double* x, const double* y, const int* partCounts, int nParts) {
  if (x == nullptr || y == nullptr) nParts = 0;
  lumetra::Built<CPolygon> built = lumetra::BuildParts<CPolygon>(
      partCounts, nParts, [&](int k) { return x[k]; }, [&](int k) { return y[k]; }, MakeRing);
  reset();
  m_polygons = built.items;
  m_count = built.count;
  return built.ok;
}

void CPolyPolygon::addPolygon(const CPolygon& polygon) {
  lumetra::Built<CPolygon> built = lumetra::AppendPart(m_polygons, m_count, polygon);
  if (!built.ok) return;
  DeleteArray(m_polygons);
  m_polygons = built.items;
  m_count = built.count;
}

CPolygon& CPolyPolygon::getPolygon(int i) { return m_polygons[i]; }
const CPolygon& CPolyPolygon::getPolygon(int i) const { return m_polygons[i]; }

void CPolyPolygon::get(int* xy, int* partCounts) const {
  lumetra::SpatialPoints(m_polygons, m_count, xy, partCounts,
                         [](const CPolygon& ring) { return ring.getCount(); });
}

bool CPolyPolygon::get(double* x, double* y, int* partCounts, int* nParts, int maxPoints,
                       int maxParts) const {
  return lumetra::CoordinatePoints(m_polygons, m_count, x, y, partCounts, nParts, maxPoints,
                                   maxParts);
}

void CPolyPolygon::reset() {
  DeleteArray(m_polygons);
  m_polygons = nullptr;
  m_count = 0;
  m_name[0] = '\0';
  m_name2[0] = '\0';
}

bool CPolyPolygon::operator==(const CPolyPolygon& other) const {
  return lumetra::PartsEqual(m_polygons, m_count, other.m_polygons, other.m_count) &&
         std::strcmp(m_name, other.m_name) == 0 && std::strcmp(m_name2, other.m_name2) == 0;
}
bool CPolyPolygon::operator!=(const CPolyPolygon& other) const { return !(*this == other); }

CPipPoint CPolyPolygon::getNearestPoint(const CSegment& segment) const {
  return lumetra::PartsNearestPoint(m_polygons, m_count, segment);
}
double CPolyPolygon::minDistance(const IGeometry* other) const {
  return lumetra::PartsMinDistance(m_polygons, m_count, other);
}
double CPolyPolygon::minDistance(const CPipPoint& point) const {
  return lumetra::PartsMinDistance(m_polygons, m_count, point);
}
double CPolyPolygon::maxDistance(const IGeometry* other) const {
  return lumetra::PartsMaxDistance(m_polygons, m_count, other);
}
double CPolyPolygon::maxDistance(const CPipPoint& point) const {
  return lumetra::PartsMaxDistance(m_polygons, m_count, point);
}
int CPolyPolygon::getPointCount() const { return lumetra::PartsPointCount(m_polygons, m_count); }
int CPolyPolygon::getPartCount() const { return m_count; }
const char* CPolyPolygon::getName() const { return m_name; }
const char* CPolyPolygon::getName2() const { return m_name2; }
void CPolyPolygon::setName(const char* name) { lumetra::SetInlineName(m_name, name); }
void CPolyPolygon::setName2(const char* name) { lumetra::SetInlineName(m_name2, name); }
