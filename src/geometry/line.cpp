// CLine: an open chain of segments.
#include <lumetra/geometry.h>

#include <new>
#include <vector>

#include "geometry/flat_earth.h"
#include "geometry/segment_chain.h"

using lumetra::ChainPoint;
using lumetra::DeleteArray;
using lumetra::SegmentsThrough;

namespace {

// The points of two connected lines as one chain through every point of
// both, the shared point once.  When only the starts are shared, `b` is run
// backwards first.
std::vector<CPipPoint> JoinedPoints(const CLine& a, const CLine& b) {
  std::vector<CPipPoint> points;
  points.reserve(static_cast<std::size_t>(a.getPointCount() + b.getPointCount()));
  auto append = [&](const CLine& line, bool forward, bool skip_first) {
    int n = line.getPointCount();
    for (int k = skip_first ? 1 : 0; k < n; ++k)
      points.push_back(line.getPoint(forward ? k : n - 1 - k));
  };
  if (a.getStart() == b.getEnd()) {
    append(b, true, false);
    append(a, true, true);
  } else if (a.getEnd() == b.getStart()) {
    append(a, true, false);
    append(b, true, true);
  } else if (a.getEnd() == b.getEnd()) {
    append(a, true, false);
    append(b, false, true);
  } else {
    append(b, false, false);
    append(a, true, true);
  }
  return points;
}

}  // namespace

CLine::CLine() : m_segments(nullptr), m_count(0), m_name{}, m_name2{} {}
CLine::CLine(const CSegment* segments, int n) : CLine() { set(segments, n); }
CLine::CLine(const CPipPoint* points, int n) : CLine() { set(points, n); }
CLine::CLine(const double* x, const double* y, int n) : CLine() { set(x, y, n); }
CLine::CLine(const CLine& other) : CLine() { *this = other; }

CLine& CLine::operator=(const CLine& other) {
  if (this == &other) return *this;
  set(other.m_segments, other.m_count);
  lumetra::CopyInlineName(m_name, other.m_name);
  lumetra::CopyInlineName(m_name2, other.m_name2);
  return *this;
}

CLine::~CLine() { DeleteArray(m_segments); }

// Each set builds the new segments first, then drops the old ones (the
// input may be this line's own segments).
void CLine::set(const CSegment* segments, int n) {
  lumetra::Built<CSegment> built = lumetra::CopyBuilt(segments, n);
  reset();
  m_segments = built.items;
  m_count = built.count;
}

void CLine::set(const CPipPoint* points, int n) {
  if (points == nullptr) n = 0;
  lumetra::Built<CSegment> built =
      SegmentsThrough(n, false, [&](CSegment& s, int a, int b) { s.set(points[a], points[b]); });
  reset();
  m_segments = built.items;
  m_count = built.count;
}

void CLine::set(const double* x, const double* y, int n) {
  if (x == nullptr || y == nullptr) n = 0;
  lumetra::Built<CSegment> built =
      SegmentsThrough(n, false, [&](CSegment& s, int a, int b) { s.set(x[a], y[a], x[b], y[b]); });
  reset();
  m_segments = built.items;
  m_count = built.count;
}

int CLine::getCount() const { return m_count; }
CSegment& CLine::getSegment(int i) { return m_segments[i]; }
const CSegment& CLine::getSegment(int i) const { return m_segments[i]; }
CPipPoint CLine::getPoint(int i) const { return ChainPoint(m_segments, m_count, i); }
CPipPoint CLine::getStart() const { return ChainPoint(m_segments, m_count, 0); }
CPipPoint CLine::getEnd() const { return ChainPoint(m_segments, m_count, m_count); }

void CLine::get(int* xy) const {
  for (int i = 0; i <= m_count; ++i) getPoint(i).getSpatial(xy[2 * i], xy[2 * i + 1]);
}

void CLine::get(double* x, double* y, int max) const {
  for (int i = 0; i <= m_count && i < max; ++i) getPoint(i).get(x[i], y[i]);
}

double CLine::length() const { return lumetra::ChainLength(m_segments, m_count); }

int CLine::isConnected(const CLine& other) const {
  if (m_count < 1 || other.m_count < 1) return 0;
  CPipPoint start = getStart(), end = getEnd();
  CPipPoint other_start = other.getStart(), other_end = other.getEnd();
  return start == other_end || end == other_start || end == other_end || start == other_start ? 1
                                                                                              : 0;
}

int CLine::connect(const CLine& other) {
  if (isConnected(other) == 0) return 0;
  try {
    std::vector<CPipPoint> points = JoinedPoints(*this, other);
    set(points.data(), static_cast<int>(points.size()));
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

void CLine::reset() {
  DeleteArray(m_segments);
  m_segments = nullptr;
  m_count = 0;
}

bool CLine::operator==(const CLine& other) const {
  if (m_count != other.m_count) return false;
  for (int i = 0; i < m_count; ++i) {
    if (m_segments[i] != other.m_segments[i]) return false;
  }
  return true;
}
bool CLine::operator!=(const CLine& other) const { return !(*this == other); }

CPipPoint CLine::getNearestPoint(const CSegment& segment) const {
  return lumetra::ChainNearestPoint(m_segments, m_count, segment);
}
double CLine::minDistance(const IGeometry* other) const {
  return lumetra::ChainMinDistance(m_segments, m_count, other);
}
double CLine::minDistance(const CPipPoint& point) const {
  return lumetra::ChainMinDistance(m_segments, m_count, point);
}
double CLine::maxDistance(const IGeometry* other) const {
  return lumetra::ChainMaxDistance(m_segments, m_count, other);
}
double CLine::maxDistance(const CPipPoint& point) const {
  return lumetra::ChainMaxDistance(m_segments, m_count, point);
}
int CLine::getPointCount() const { return m_count + 1; }
int CLine::getPartCount() const { return 1; }
const char* CLine::getName() const { return m_name; }
const char* CLine::getName2() const { return m_name2; }
void CLine::setName(const char* name) { lumetra::SetInlineName(m_name, name); }
void CLine::setName2(const char* name) { lumetra::SetInlineName(m_name2, name); }
