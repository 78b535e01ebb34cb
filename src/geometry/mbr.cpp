// CMbr: the minimum bounding rectangle.
#include <lumetra/geometry.h>

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "geometry/flat_earth.h"
#include "geometry/point_math.h"

CMbr::CMbr() : m_lowerLeft(DBL_MAX, DBL_MAX), m_upperRight(-DBL_MAX, -DBL_MAX) {}

CMbr::CMbr(const CPipPoint& a, const CPipPoint& b) : CMbr(a.getX(), a.getY(), b.getX(), b.getY()) {}

CMbr::CMbr(double x1, double y1, double x2, double y2)
    : m_lowerLeft(std::min(x1, x2), std::min(y1, y2)),
      m_upperRight(std::max(x1, x2), std::max(y1, y2)) {}

CMbr::CMbr(const CPipPoint& centre, double width, double height)
    : CMbr(centre.getX() - width / 2, centre.getY() - height / 2, centre.getX() + width / 2,
           centre.getY() + height / 2) {}

CMbr::CMbr(const CPipPoint& centre, int distance) {
  double c = std::cos(centre.getY() * lumetra::kRadiansPerDegree);
  double d = distance;
  const double k = lumetra::kFeetPerDegree;
  m_lowerLeft.set(centre.getX() - d / (c * k), centre.getY() - d / k);
  m_upperRight.set(centre.getX() + d / (c * k), centre.getY() + d / k);
}

CMbr::CMbr(const CMbr& other) = default;
CMbr& CMbr::operator=(const CMbr& other) = default;
CMbr::~CMbr() = default;

void CMbr::reset() {
  m_lowerLeft.set(DBL_MAX, DBL_MAX);
  m_upperRight.set(-DBL_MAX, -DBL_MAX);
}

void CMbr::includePoint(const CPipPoint& point) {
  double x = point.getX();
  double y = point.getY();
  if (x < m_lowerLeft.getX()) m_lowerLeft.setX(x);
  if (y < m_lowerLeft.getY()) m_lowerLeft.setY(y);
  if (x > m_upperRight.getX()) m_upperRight.setX(x);
  if (y > m_upperRight.getY()) m_upperRight.setY(y);
}

void CMbr::includeSegment(const CSegment& segment) {
  includePoint(segment.getStart());
  includePoint(segment.getEnd());
}

void CMbr::includeMbr(const CMbr& other) {
  includePoint(other.m_lowerLeft);
  includePoint(other.m_upperRight);
}

void CMbr::includeLine(const CLine& line) {
  for (int i = 0; i < line.getCount(); ++i) includeSegment(line.getSegment(i));
}

void CMbr::includePolygon(const CPolygon& polygon) {
  for (int i = 0; i < polygon.getCount(); ++i) includeSegment(polygon.getSegment(i));
}

void CMbr::includePolyLine(const CPolyLine& polyLine) {
  for (int i = 0; i < polyLine.getCount(); ++i) includeLine(polyLine.getLine(i));
}

void CMbr::includePolyPolygon(const CPolyPolygon& polyPolygon) {
  for (int i = 0; i < polyPolygon.getPartCount(); ++i) includePolygon(polyPolygon.getPolygon(i));
}

void CMbr::grow(double dx, double dy) {
  CPipPoint delta(dx, dy);
  m_lowerLeft = lumetra::PointDifference(m_lowerLeft, delta);
  m_upperRight = lumetra::PointSum(m_upperRight, delta);
}

void CMbr::grow(double factor) {
  double w = getWidth();
  double h = getHeight();
  grow(w * factor - w, h * factor - h);
}

bool CMbr::overlap(const CMbr& other) const {
  return lumetra::HalfOpenRangesMeet(m_lowerLeft.getX(), m_upperRight.getX(),
                                     other.m_lowerLeft.getX(), other.m_upperRight.getX()) &&
         lumetra::HalfOpenRangesMeet(m_lowerLeft.getY(), m_upperRight.getY(),
                                     other.m_lowerLeft.getY(), other.m_upperRight.getY());
}

int CMbr::isAbove(const CMbr& other) const {
  return m_lowerLeft.getY() > other.m_upperRight.getY() ? 1 : 0;
}
int CMbr::isBelow(const CMbr& other) const {
  return other.m_lowerLeft.getY() > m_upperRight.getY() ? 1 : 0;
}
int CMbr::isLeftOf(const CMbr& other) const {
  return other.m_lowerLeft.getX() > m_upperRight.getX() ? 1 : 0;
}
int CMbr::isRightOf(const CMbr& other) const {
  return m_lowerLeft.getX() > other.m_upperRight.getX() ? 1 : 0;
}

// Measured between the facing edges; a rectangle lying diagonally away is
// measured between its horizontal edges.
double CMbr::minDistance(const CMbr& other) const {
  if (overlap(other)) return 0;
  if (isAbove(other)) return getBottom().minDistance(other.getTop());
  if (other.isAbove(*this)) return getTop().minDistance(other.getBottom());
  if (other.isRightOf(*this)) return getRight().minDistance(other.getLeft());
  if (isRightOf(other)) return getLeft().minDistance(other.getRight());
  return 0;
}

double CMbr::maxDistance(const CMbr& other) const {
  if (isAbove(other)) return getTop().maxDistance(other.getBottom());
  if (other.isAbove(*this)) return getBottom().maxDistance(other.getTop());
  if (other.isRightOf(*this)) return getLeft().maxDistance(other.getRight());
  if (isRightOf(other)) return getRight().maxDistance(other.getLeft());
  return 0;
}

const CPipPoint& CMbr::getLowerLeft() const { return m_lowerLeft; }
const CPipPoint& CMbr::getUpperRight() const { return m_upperRight; }

CSegment CMbr::getTop() const {
  return CSegment(m_lowerLeft.getX(), m_upperRight.getY(), m_upperRight.getX(),
                  m_upperRight.getY());
}
CSegment CMbr::getBottom() const {
  return CSegment(m_lowerLeft.getX(), m_lowerLeft.getY(), m_upperRight.getX(), m_lowerLeft.getY());
}
CSegment CMbr::getLeft() const {
  return CSegment(m_lowerLeft.getX(), m_lowerLeft.getY(), m_lowerLeft.getX(), m_upperRight.getY());
}
CSegment CMbr::getRight() const {
  return CSegment(m_upperRight.getX(), m_lowerLeft.getY(), m_upperRight.getX(),
                  m_upperRight.getY());
}

CPipPoint CMbr::getCenter() const {
  return CPipPoint((m_lowerLeft.getX() + m_upperRight.getX()) * 0.5,
                   (m_lowerLeft.getY() + m_upperRight.getY()) * 0.5);
}
double CMbr::getWidth() const { return m_upperRight.getX() - m_lowerLeft.getX(); }
double CMbr::getHeight() const { return m_upperRight.getY() - m_lowerLeft.getY(); }

bool CMbr::operator==(const CMbr& other) const {
  return m_lowerLeft == other.m_lowerLeft && m_upperRight == other.m_upperRight;
}
bool CMbr::operator!=(const CMbr& other) const { return !(*this == other); }
