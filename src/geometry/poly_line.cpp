// CPolyLine: several lines.
#include <lumetra/geometry.h>

#include <cstring>
#include <new>
#include <vector>

#include "geometry/part_set.h"

using lumetra::DeleteArray;
using lumetra::FromSpatial;

namespace {

// A line from n points; false when its segments could not be allocated.
bool MakeLine(CLine& line, const double* x, const double* y, int n) {
  line.set(x, y, n);
  return n < 2 || line.getCount() == n - 1;
}

}  // namespace

CPolyLine::CPolyLine() : m_lines(nullptr), m_count(0), m_name{}, m_name2{} {}
CPolyLine::CPolyLine(const CLine* lines, int n) : CPolyLine() { set(lines, n); }
CPolyLine::CPolyLine(const int* xy, const int* partCounts, int nParts) : CPolyLine() {
  set(xy, partCounts, nParts);
}
CPolyLine::CPolyLine(const double* x, const double* y, const int* partCounts, int nParts)
    : CPolyLine() {
  set(x, y, partCounts, nParts);
}
CPolyLine::CPolyLine(const CPolyLine& other) : CPolyLine() { *this = other; }

CPolyLine& CPolyLine::operator=(const CPolyLine& other) {
  if (this == &other) return *this;
  set(other.m_lines, other.m_count);
  lumetra::CopyInlineName(m_name, other.m_name);
  lumetra::CopyInlineName(m_name2, other.m_name2);
  return *this;
}

CPolyLine::~CPolyLine() { DeleteArray(m_lines); }

// Every set builds the new parts first, then empties this polyline (parts
// and names) and takes them.
bool CPolyLine::set(const CLine* lines, int n) {
  lumetra::Built<CLine> built = lumetra::CopyBuilt(lines, n);
  reset();
  m_lines = built.items;
  m_count = built.count;
  return built.ok;
}

bool CPolyLine::set(const int* xy, const int* partCounts, int nParts) {
  if (xy == nullptr) nParts = 0;
  lumetra::Built<CLine> built = lumetra::BuildParts<CLine>(
      partCounts, nParts, [&](int k) { return FromSpatial(xy[2 * k]); },
      [&](int k) { return FromSpatial(xy[2 * k + 1]); }, MakeLine);
  reset();
  m_lines = built.items;
  m_count = built.count;
  return built.ok;
}

bool CPolyLine::set(const double* x, const double* y, const int* partCounts, int nParts) {
  if (x == nullptr || y == nullptr) nParts = 0;
  lumetra::Built<CLine> built = lumetra::BuildParts<CLine>(
      partCounts, nParts, [&](int k) { return x[k]; }, [&](int k) { return y[k]; }, MakeLine);
  reset();
  m_lines = built.items;
  m_count = built.count;
  return built.ok;
}

bool CPolyLine::addLine(const CLine& line) {
  lumetra::Built<CLine> built = lumetra::AppendPart(m_lines, m_count, line);
  if (!built.ok) return false;
  DeleteArray(m_lines);
  m_lines = built.items;
  m_count = built.count;
  return true;
}

CLine& CPolyLine::getLine(int i) { return m_lines[i]; }
const CLine& CPolyLine::getLine(int i) const { return m_lines[i]; }
int CPolyLine::getCount() const { return m_count; }

// Joins runs of neighbouring parts: a run grows while the next part
// connects to it and ends at the first that does not, which starts the next
// run.  Parts that are not neighbours are never joined.
void CPolyLine::connectLines() {
  if (m_count < 2) return;
  try {
    std::vector<CLine> runs;
    runs.push_back(m_lines[0]);
    for (int i = 1; i < m_count; ++i) {
      if (runs.back().connect(m_lines[i]) == 0) runs.push_back(m_lines[i]);
    }
    lumetra::Built<CLine> built = lumetra::CopyBuilt(runs.data(), static_cast<int>(runs.size()));
    if (!built.ok) return;
    reset();
    m_lines = built.items;
    m_count = built.count;
  } catch (const std::bad_alloc&) {
  }
}

void CPolyLine::get(int* xy, int* partCounts) const {
  lumetra::SpatialPoints(m_lines, m_count, xy, partCounts,
                         [](const CLine& line) { return line.getPointCount(); });
}

bool CPolyLine::get(double* x, double* y, int* partCounts, int* nParts, int maxPoints,
                    int maxParts) const {
  return lumetra::CoordinatePoints(m_lines, m_count, x, y, partCounts, nParts, maxPoints, maxParts);
}

void CPolyLine::reset() {
  DeleteArray(m_lines);
  m_lines = nullptr;
  m_count = 0;
  m_name[0] = '\0';
  m_name2[0] = '\0';
}

bool CPolyLine::operator==(const CPolyLine& other) const {
  return lumetra::PartsEqual(m_lines, m_count, other.m_lines, other.m_count) &&
         std::strcmp(m_name, other.m_name) == 0 && std::strcmp(m_name2, other.m_name2) == 0;
}
bool CPolyLine::operator!=(const CPolyLine& other) const { return !(*this == other); }

CPipPoint CPolyLine::getNearestPoint(const CSegment& segment) const {
  return lumetra::PartsNearestPoint(m_lines, m_count, segment);
}
double CPolyLine::minDistance(const IGeometry* other) const {
  return lumetra::PartsMinDistance(m_lines, m_count, other);
}
double CPolyLine::minDistance(const CPipPoint& point) const {
  return lumetra::PartsMinDistance(m_lines, m_count, point);
}
double CPolyLine::maxDistance(const IGeometry* other) const {
  return lumetra::PartsMaxDistance(m_lines, m_count, other);
}
double CPolyLine::maxDistance(const CPipPoint& point) const {
  return lumetra::PartsMaxDistance(m_lines, m_count, point);
}
int CPolyLine::getPointCount() const { return lumetra::PartsPointCount(m_lines, m_count); }
int CPolyLine::getPartCount() const { return m_count; }
const char* CPolyLine::getName() const { return m_name; }
const char* CPolyLine::getName2() const { return m_name2; }
void CPolyLine::setName(const char* name) { lumetra::SetInlineName(m_name, name); }
void CPolyLine::setName2(const char* name) { lumetra::SetInlineName(m_name2, name); }
