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
  CPolygon* fresh = lumetra::CopyArray(other.m_polygons, other.m_count);
  lumetra::StoreParts(m_polygons, m_count, fresh, other.m_count);
  return *this;
}

CPolyPolygon::~CPolyPolygon() { DeleteArray(m_polygons); }

bool CPolyPolygon::set(const CPolygon* polygons, int n) {
  reset();
  if (n < 1 || polygons == nullptr) return true;
  CPolygon* fresh = lumetra::CopyArray(polygons, n);
  lumetra::StoreParts(m_polygons, m_count, fresh, n);
  return fresh != nullptr;
}

bool CPolyPolygon::set(const int* xy, const int* partCounts, int nParts) {
  reset();
  if (xy == nullptr) return nParts < 1;
  return lumetra::BuildParts(
      m_polygons, m_count, partCounts, nParts, [&](int k) { return FromSpatial(xy[2 * k]); },
      [&](int k) { return FromSpatial(xy[2 * k + 1]); }, MakeRing);
}

bool CPolyPolygon::set(const double* x, const double* y, const int* partCounts, int nParts) {
  reset();
  if (x == nullptr || y == nullptr) return nParts < 1;
  return lumetra::BuildParts(
      m_polygons, m_count, partCounts, nParts, [&](int k) { return x[k]; },
      [&](int k) { return y[k]; }, MakeRing);
}

void CPolyPolygon::addPolygon(const CPolygon& polygon) {
  lumetra::AppendPart(m_polygons, m_count, polygon);
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
  lumetra::StoreParts<CPolygon>(m_polygons, m_count, nullptr, 0);
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
