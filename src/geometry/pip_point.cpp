// IGeometry and CPipPoint.
#include <lumetra/geometry.h>

#include <cfloat>
#include <cmath>
#include <cstring>

#include "geometry/flat_earth.h"
#include "geometry/geometry_storage.h"

using lumetra::DeleteArray;
using lumetra::FlatEarthFeet;
using lumetra::FromSpatial;
using lumetra::NewHeapName;
using lumetra::ToSpatial;

namespace {

bool SameName(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return std::strcmp(a, b) == 0;
}

// The name field after setting `name`: a copy of it, the old field freed;
// the old field itself when there is nothing to copy or memory runs out.
// (Fields are passed by value: members of packed classes are never bound to
// references.)
char* ReplacedName(char* field, const char* name) {
  char* copy = NewHeapName(name);
  if (copy == nullptr) return field;
  DeleteArray(field);
  return copy;
}

// The name field as an exact copy of `name`, NULL included (copying a point).
char* CopiedName(char* field, const char* name) {
  if (name != nullptr) return ReplacedName(field, name);
  DeleteArray(field);
  return nullptr;
}

}  // namespace

IGeometry::IGeometry() = default;
IGeometry::IGeometry(const IGeometry&) = default;
IGeometry& IGeometry::operator=(const IGeometry&) = default;
IGeometry::~IGeometry() = default;

CPipPoint::CPipPoint() : m_x(0), m_y(0), m_name(nullptr), m_name2(nullptr) {}
CPipPoint::CPipPoint(double x, double y) : m_x(x), m_y(y), m_name(nullptr), m_name2(nullptr) {}
CPipPoint::CPipPoint(int spatialX, int spatialY)
    : m_x(FromSpatial(spatialX)), m_y(FromSpatial(spatialY)), m_name(nullptr), m_name2(nullptr) {}

CPipPoint::CPipPoint(const CPipPoint& other)
    : IGeometry(other),
      m_x(other.m_x),
      m_y(other.m_y),
      m_name(NewHeapName(other.m_name)),
      m_name2(NewHeapName(other.m_name2)) {}

CPipPoint& CPipPoint::operator=(const CPipPoint& other) {
  if (this == &other) return *this;
  m_x = other.m_x;
  m_y = other.m_y;
  m_name = CopiedName(m_name, other.m_name);
  m_name2 = CopiedName(m_name2, other.m_name2);
  return *this;
}

CPipPoint::~CPipPoint() {
  DeleteArray(m_name);
  DeleteArray(m_name2);
}

double CPipPoint::getX() const { return m_x; }
double CPipPoint::getY() const { return m_y; }
void CPipPoint::setX(double x) { m_x = x; }
void CPipPoint::setY(double y) { m_y = y; }
void CPipPoint::set(double x, double y) {
  m_x = x;
  m_y = y;
}
void CPipPoint::get(double& x, double& y) const {
  x = m_x;
  y = m_y;
}

void CPipPoint::setSpatialX(int x) { m_x = FromSpatial(x); }
void CPipPoint::setSpatialY(int y) { m_y = FromSpatial(y); }
void CPipPoint::setSpatial(int x, int y) {
  m_x = FromSpatial(x);
  m_y = FromSpatial(y);
}
int CPipPoint::getSpatialX() const { return ToSpatial(m_x); }
int CPipPoint::getSpatialY() const { return ToSpatial(m_y); }
void CPipPoint::getSpatial(int& x, int& y) const {
  x = ToSpatial(m_x);
  y = ToSpatial(m_y);
}

double CPipPoint::distance(const CPipPoint& other) const { return distance(other.m_x, other.m_y); }
double CPipPoint::distance(double x, double y) const { return FlatEarthFeet(m_x, m_y, x, y, m_y); }

double CPipPoint::manhattanDistance(const CPipPoint& other) const {
  return manhattanDistance(other.m_x, other.m_y);
}
double CPipPoint::manhattanDistance(double x, double y) const {
  double c = std::cos(y * lumetra::kRadiansPerDegree);
  double dx = (x - m_x) * 69.0 * 5280.0 * c;
  double dy = (y - m_y) * 69.0 * 5280.0;
  return std::fabs(dx) + std::fabs(dy);
}

double CPipPoint::slope(const CPipPoint& other) const {
  return (m_y - other.m_y) / (m_x - other.m_x);
}

CPipPoint CPipPoint::operator/(double divisor) const {
  return CPipPoint(m_x / divisor, m_y / divisor);
}

CPipPoint& CPipPoint::operator+=(const CPipPoint& other) {
  m_x += other.m_x;
  m_y += other.m_y;
  return *this;
}

bool CPipPoint::operator==(const CPipPoint& other) const {
  return m_x == other.m_x && m_y == other.m_y && SameName(m_name, other.m_name) &&
         SameName(m_name2, other.m_name2);
}
bool CPipPoint::operator!=(const CPipPoint& other) const { return !(*this == other); }

void CPipPoint::reset() {
  m_x = 0;
  m_y = 0;
  setName(nullptr);
  setName2(nullptr);
}

CPipPoint CPipPoint::getNearestPoint(const CSegment&) const { return *this; }

double CPipPoint::minDistance(const IGeometry* other) const {
  return other != nullptr ? other->minDistance(*this) : DBL_MAX;
}
double CPipPoint::minDistance(const CPipPoint& point) const {
  return FlatEarthFeet(m_x, m_y, point.m_x, point.m_y, point.m_y);
}
double CPipPoint::maxDistance(const IGeometry* other) const {
  return other != nullptr ? other->maxDistance(*this) : DBL_MIN;
}
double CPipPoint::maxDistance(const CPipPoint& point) const { return minDistance(point); }

int CPipPoint::getPointCount() const { return 1; }
int CPipPoint::getPartCount() const { return 1; }
const char* CPipPoint::getName() const { return m_name != nullptr ? m_name : ""; }
const char* CPipPoint::getName2() const { return m_name2 != nullptr ? m_name2 : ""; }
void CPipPoint::setName(const char* name) { m_name = ReplacedName(m_name, name); }
void CPipPoint::setName2(const char* name) { m_name2 = ReplacedName(m_name2, name); }
