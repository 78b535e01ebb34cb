// CPolygon: a closed ring of segments.  CPolygon::combine lives in
// clipper_bridge.cpp with the other bridges to the clipper.
#include <lumetra/geometry.h>

#include "geometry/flat_earth.h"
#include "geometry/segment_chain.h"

using lumetra::ChainPoint;
using lumetra::DeleteArray;
using lumetra::FromSpatial;

namespace {

// Segments closing a ring through n points: n - 1 of them when the last
// point repeats the first (`closed`), else n, the last one back to the first.
template <class Fill>
lumetra::Built<CSegment> RingThrough(int n, bool closed, const Fill& fill) {
  return lumetra::SegmentsThrough(closed ? n - 1 : n, true, fill);
}

}  // namespace

CPolygon::CPolygon() : m_segments(nullptr), m_count(0), m_name{}, m_name2{} {}
CPolygon::CPolygon(const CSegment* segments, int n) : CPolygon() { set(segments, n); }
CPolygon::CPolygon(const CPipPoint* points, int n) : CPolygon() { set(points, n); }
CPolygon::CPolygon(const int* xy, int n) : CPolygon() { set(xy, n); }
CPolygon::CPolygon(const double* x, const double* y, int n) : CPolygon() { set(x, y, n); }

// The copy's own names start empty.
CPolygon::CPolygon(const CPolygon& other) : CPolygon() {
  lumetra::Built<CSegment> built = lumetra::CopyBuilt(other.m_segments, other.m_count);
  m_segments = built.items;
  m_count = built.count;
}

CPolygon& CPolygon::operator=(const CPolygon& other) {
  if (this == &other) return *this;
  lumetra::Built<CSegment> built = lumetra::CopyBuilt(other.m_segments, other.m_count);
  reset();
  m_segments = built.items;
  m_count = built.count;
  lumetra::CopyInlineName(m_name, other.m_name);
  lumetra::CopyInlineName(m_name2, other.m_name2);
  return *this;
}

CPolygon::~CPolygon() { DeleteArray(m_segments); }

// Each set builds the new ring first, then drops the old one (the input may
// be this ring's own segments), and reports whether memory sufficed.
bool CPolygon::set(const int* xy, int n) {
  if (xy == nullptr) n = 0;
  bool closed = n >= 1 && xy[0] == xy[2 * n - 2] && xy[1] == xy[2 * n - 1];
  lumetra::Built<CSegment> built = RingThrough(n, closed, [&](CSegment& s, int a, int b) {
    s.set(FromSpatial(xy[2 * a]), FromSpatial(xy[2 * a + 1]), FromSpatial(xy[2 * b]),
          FromSpatial(xy[2 * b + 1]));
  });
  reset();
  m_segments = built.items;
  m_count = built.count;
  return built.ok;
}

bool CPolygon::set(const double* x, const double* y, int n) {
  if (x == nullptr || y == nullptr) n = 0;
  bool closed = n >= 1 && x[0] == x[n - 1] && y[0] == y[n - 1];
  lumetra::Built<CSegment> built =
      RingThrough(n, closed, [&](CSegment& s, int a, int b) { s.set(x[a], y[a], x[b], y[b]); });
  reset();
  m_segments = built.items;
  m_count = built.count;
  return built.ok;
}

bool CPolygon::set(const CPipPoint* points, int n) {
  if (points == nullptr) n = 0;
  bool closed = n >= 1 && points[0] == points[n - 1];
  lumetra::Built<CSegment> built =
      RingThrough(n, closed, [&](CSegment& s, int a, int b) { s.set(points[a], points[b]); });
  reset();
  m_segments = built.items;
  m_count = built.count;
  return built.ok;
}

// Segment input: kept as given when the last segment ends where the first
// starts, else one more segment closes the ring.
bool CPolygon::set(const CSegment* segments, int n) {
  if (segments == nullptr) n = 0;
  bool closed = n < 1 || segments[0].getStart() == segments[n - 1].getEnd();
  int count = closed ? n : n + 1;
  CSegment* fresh = lumetra::BuildSegments(count, [&](CSegment& s, int k) {
    if (k < n) {
      s = segments[k];
    } else {
      s.set(segments[n - 1].getEnd(), segments[0].getStart());
    }
  });
  reset();
  m_segments = fresh;
  m_count = fresh != nullptr ? count : 0;
  return fresh != nullptr || count == 0;
}

int CPolygon::getCount() const { return m_count; }
CSegment& CPolygon::getSegment(int i) { return m_segments[i]; }
const CSegment& CPolygon::getSegment(int i) const { return m_segments[i]; }
CPipPoint CPolygon::getPoint(int i) const { return ChainPoint(m_segments, m_count, i); }

void CPolygon::get(int* xy) const {
  for (int i = 0; i < m_count; ++i) m_segments[i].getStart().getSpatial(xy[2 * i], xy[2 * i + 1]);
}

void CPolygon::get(double* x, double* y, int max) const {
  for (int i = 0; i <= m_count && i < max; ++i) getPoint(i).get(x[i], y[i]);
}

CPipPoint CPolygon::getCentroid() const {
  CPipPoint sum;
  for (int i = 0; i < m_count; ++i) sum += m_segments[i].getStart();
  return sum / m_count;
}

void CPolygon::reset() {
  DeleteArray(m_segments);
  m_segments = nullptr;
  m_count = 0;
}

bool CPolygon::operator==(const CPolygon& other) const {
  if (m_count != other.m_count) return false;
  for (int i = 0; i < m_count; ++i) {
    if (m_segments[i] != other.m_segments[i]) return false;
  }
  return true;
}
bool CPolygon::operator!=(const CPolygon& other) const { return !(*this == other); }

CPipPoint CPolygon::getNearestPoint(const CSegment& segment) const {
  return lumetra::ChainNearestPoint(m_segments, m_count, segment);
}
double CPolygon::minDistance(const IGeometry* other) const {
  return lumetra::ChainMinDistance(m_segments, m_count, other);
}
double CPolygon::minDistance(const CPipPoint& point) const {
  return lumetra::ChainMinDistance(m_segments, m_count, point);
}
double CPolygon::maxDistance(const IGeometry* other) const {
  return lumetra::ChainMaxDistance(m_segments, m_count, other);
}
double CPolygon::maxDistance(const CPipPoint& point) const {
  return lumetra::ChainMaxDistance(m_segments, m_count, point);
}
int CPolygon::getPointCount() const { return m_count + 1; }
int CPolygon::getPartCount() const { return 1; }
const char* CPolygon::getName() const { return m_name; }
const char* CPolygon::getName2() const { return m_name2; }
void CPolygon::setName(const char* name) { lumetra::SetInlineName(m_name, name); }
void CPolygon::setName2(const char* name) { lumetra::SetInlineName(m_name2, name); }
