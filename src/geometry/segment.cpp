// CSegment: measures, intersections and nearest points of one segment.
#include <lumetra/geometry.h>

#include <cfloat>
#include <cmath>
#include <initializer_list>

#include "geometry/flat_earth.h"
#include "geometry/point_math.h"

using lumetra::kFeetPerDegree;
using lumetra::PointAlong;

namespace {

constexpr double kDegenerate = 2.220446049250313e-16;

bool Degenerate(const CPipPoint& s, const CPipPoint& e) {
  return std::fabs(s.getX() - e.getX()) < kDegenerate &&
         std::fabs(s.getY() - e.getY()) < kDegenerate;
}

// Feet from a to b with the longitude scale at b's latitude.
double FeetTo(const CPipPoint& a, const CPipPoint& b) { return a.minDistance(b); }

// Numerator and denominator of this segment's line parameter at the
// crossing with the other's line.
struct Crossing {
  double num, den;
};

Crossing LineCrossing(const CPipPoint& s, const CPipPoint& e, const CPipPoint& os,
                      const CPipPoint& oe) {
  double num = (oe.getX() - os.getX()) * (s.getY() - os.getY()) -
               (s.getX() - os.getX()) * (oe.getY() - os.getY());
  double den = (e.getX() - s.getX()) * (oe.getY() - os.getY()) -
               (e.getY() - s.getY()) * (oe.getX() - os.getX());
  return {num, den};
}

// The foot parameter of p on s->e (see CSegment::getR).
double Projection(const CPipPoint& s, const CPipPoint& e, const CPipPoint& p) {
  if (s == e) return 0;
  double c = std::cos(p.getY() * lumetra::kRadiansPerDegree);
  double len = s.distance(e);
  const double k = kFeetPerDegree;
  return (c * c * (p.getX() - s.getX()) * (e.getX() - s.getX()) * k * k +
          (p.getY() - s.getY()) * (e.getY() - s.getY()) * k * k) /
         (len * len);
}

// The least distance between segments s->e and os->oe that do not cross,
// and in *nearest the point of s->e where it is reached: first the four
// end-to-end distances (reference: the end of s->e), then the feet strictly
// inside either segment (reference: the foot); a candidate wins only when
// strictly nearer, so ties keep the earlier one.
double NearestCandidate(const CPipPoint& s, const CPipPoint& e, const CPipPoint& os,
                        const CPipPoint& oe, CPipPoint* nearest) {
  double best = DBL_MAX;
  auto consider = [&](double d, const CPipPoint& candidate) {
    if (d < best) {
      best = d;
      *nearest = candidate;
    }
  };
  consider(s.distance(os), s);
  consider(s.distance(oe), s);
  consider(e.distance(os), e);
  consider(e.distance(oe), e);
  for (const CPipPoint* q : {&os, &oe}) {  // feet on this segment
    double r = Projection(s, e, *q);
    if (r > 0 && r < 1) {
      CPipPoint foot = PointAlong(s, e, r);
      consider(foot.distance(*q), foot);
    }
  }
  for (const CPipPoint* q : {&s, &e}) {  // feet on the other segment
    double r = Projection(os, oe, *q);
    if (r > 0 && r < 1) consider(PointAlong(os, oe, r).distance(*q), *q);
  }
  return best;
}

}  // namespace

CSegment::CSegment() = default;
CSegment::CSegment(const CPipPoint& start, const CPipPoint& end) : m_start(start), m_end(end) {}
CSegment::CSegment(double x1, double y1, double x2, double y2) : m_start(x1, y1), m_end(x2, y2) {}
CSegment::CSegment(const CSegment& other) = default;
CSegment::CSegment(CSegment&& other) : m_start(other.m_start), m_end(other.m_end) {}
CSegment& CSegment::operator=(const CSegment& other) = default;
CSegment& CSegment::operator=(CSegment&& other) {
  m_start = other.m_start;
  m_end = other.m_end;
  return *this;
}
CSegment::~CSegment() = default;

const CPipPoint& CSegment::getStart() const { return m_start; }
const CPipPoint& CSegment::getEnd() const { return m_end; }
void CSegment::getPoints(CPipPoint& start, CPipPoint& end) const {
  start = m_start;
  end = m_end;
}

void CSegment::set(const CPipPoint& start, const CPipPoint& end) {
  m_start = start;
  m_end = end;
}
void CSegment::set(double x1, double y1, double x2, double y2) {
  m_start.set(x1, y1);
  m_end.set(x2, y2);
}
void CSegment::set(int x1, int y1, int x2, int y2) {
  m_start.setSpatial(x1, y1);
  m_end.setSpatial(x2, y2);
}
void CSegment::setStart(const CPipPoint& start) { m_start = start; }
void CSegment::setEnd(const CPipPoint& end) { m_end = end; }
void CSegment::reset() {
  m_start.reset();
  m_end.reset();
}

CPipPoint CSegment::getMidpoint() const { return lumetra::PointSum(m_start, m_end) / 2; }
double CSegment::length() const { return m_start.distance(m_end); }
double CSegment::slope() const {
  return (m_start.getY() - m_end.getY()) / (m_start.getX() - m_end.getX());
}
double CSegment::deltaX() const { return std::fabs(m_start.getX() - m_end.getX()); }
double CSegment::deltaY() const { return std::fabs(m_start.getY() - m_end.getY()); }
int CSegment::isHorizontal() const { return m_start.getY() == m_end.getY() ? 1 : 0; }
int CSegment::isVertical() const { return m_start.getX() == m_end.getX() ? 1 : 0; }

int CSegment::overlap(const CSegment& other) const {
  bool x = lumetra::HalfOpenRangesMeet(m_start.getX(), m_end.getX(), other.m_start.getX(),
                                       other.m_end.getX());
  bool y = lumetra::HalfOpenRangesMeet(m_start.getY(), m_end.getY(), other.m_start.getY(),
                                       other.m_end.getY());
  return x && y ? 1 : 0;
}

int CSegment::intersect(const CSegment& other) const {
  if (overlap(other) == 0) return 0;
  if (Degenerate(m_start, m_end) || Degenerate(other.m_start, other.m_end)) return 0;
  Crossing c = LineCrossing(m_start, m_end, other.m_start, other.m_end);
  if (c.den == 0 || c.num == 0) return 1;
  double ua = c.num / c.den;
  double ub = ((m_end.getX() - m_start.getX()) * (m_start.getY() - other.m_start.getY()) -
               (m_end.getY() - m_start.getY()) * (m_start.getX() - other.m_start.getX())) /
              c.den;
  return ua >= 0 && ua <= 1 && ub >= 0 && ub <= 1 ? 1 : 0;
}

int CSegment::intersect(const CSegment& other, CPipPoint& point) const {
  if (overlap(other) == 0) {
    point.set(0, 0);
    return 0;
  }
  Crossing c = LineCrossing(m_start, m_end, other.m_start, other.m_end);
  double ua = 1;
  double ub = 1;
  if (c.den != 0 && c.num != 0) {
    ua = c.num / c.den;
    ub = ((m_end.getX() - m_start.getX()) * (m_start.getY() - other.m_start.getY()) -
          (m_end.getY() - m_start.getY()) * (m_start.getX() - other.m_start.getX())) /
         c.den;
  }
  CPipPoint at = PointAlong(m_start, m_end, ua);
  point.set(at.getX(), at.getY());
  return ua >= 0 && ua <= 1 && ub >= 0 && ub <= 1 ? 1 : 0;
}

int CSegment::lineIntersection(const CSegment& other, CPipPoint& point) const {
  Crossing c = LineCrossing(m_start, m_end, other.m_start, other.m_end);
  if (c.num == 0) {
    point.set(m_end.getX(), m_end.getY());
    return 1;
  }
  if (c.den == 0) return 0;
  CPipPoint at = PointAlong(m_start, m_end, c.num / c.den);
  point.set(at.getX(), at.getY());
  return 1;
}

// Where the foot of `point` lies along the segment: 0 at the start, 1 at the
// end, NaN for a segment of zero length whose ends differ only in name.
double CSegment::getR(const CPipPoint& point) const { return Projection(m_start, m_end, point); }

CPipPoint CSegment::getNearestPoint(const CPipPoint& point) const {
  double r = getR(point);
  if (r >= 0 && r <= 1) return PointAlong(m_start, m_end, r);
  if (r < 0) return m_start;
  if (r > 1) return m_end;
  return CPipPoint();
}

double CSegment::minDistance(const CPipPoint& point) const {
  double r = getR(point);
  if (r >= 0 && r <= 1) return FeetTo(PointAlong(m_start, m_end, r), point);
  if (r < 0) return FeetTo(m_start, point);
  if (r > 1) return FeetTo(m_end, point);
  return DBL_MAX;
}

bool CSegment::operator==(const CSegment& other) const {
  return m_start == other.m_start && m_end == other.m_end;
}
bool CSegment::operator!=(const CSegment& other) const { return !(*this == other); }

double CSegment::maxDistance(const CPipPoint& point) const {
  return FeetTo(getR(point) < 0.5 ? m_end : m_start, point);
}

// The four end-to-end distances, this segment's point the reference.
double CSegment::maxDistance(const CSegment& other) const {
  double d = m_start.distance(other.m_start);
  d = std::fmax(d, m_start.distance(other.m_end));
  d = std::fmax(d, m_end.distance(other.m_start));
  return std::fmax(d, m_end.distance(other.m_end));
}

double CSegment::minDistance(const CSegment& other) const {
  if (intersect(other) == 1) return 0;
  CPipPoint unused;
  return NearestCandidate(m_start, m_end, other.m_start, other.m_end, &unused);
}

CPipPoint CSegment::getNearestPoint(const CSegment& other) const {
  CPipPoint nearest;
  if (intersect(other) == 1) {
    intersect(other, nearest);
    return CPipPoint(nearest.getX(), nearest.getY());
  }
  NearestCandidate(m_start, m_end, other.m_start, other.m_end, &nearest);
  return nearest;
}
