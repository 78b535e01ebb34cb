// CSpatial's searches.  Each wraps the pip* search of the same kind on the
// file handle and converts what it finds:
//  - the containing, name, polygon and rectangle searches load the current
//    object of the pip search after every find and find-next;
//  - the nearest-point, nearest-line and overlap searches collect every hit
//    first, order the hits (nearest first, largest overlap first) and queue
//    their object handles; the find-next calls walk the queue.
// A load that fails after the pip search found something answers -1, as
// does a queue or hit list that cannot grow.
#include <lumetra/geometry.h>

#include <new>
#include <vector>

#include "wrappers/hit_queue.h"
#include "wrappers/object_loader.h"

using lumetra::Hit;
using lumetra::kAnyObjectType;
using lumetra::kWrapperNameSize;
using lumetra::Load;

namespace {

// Runs `body` (which may grow vectors): -1 when memory runs out.
template <class Body>
int NoThrow(Body body) {
  try {
    return body();
  } catch (...) {
    return -1;
  }
}

// The result of a plain search step: the pip result when nothing was found
// or the search failed; otherwise the current object loaded into `result`
// (-1 when it is not of the wanted type or cannot be read), answering
// `found` (the pip result itself when found is 0).
template <class Geometry>
int LoadFound(int file, int pip_result, int wanted, int found, Geometry& result, int* current) {
  *current = 0;
  if (pip_result <= 0) return pip_result;
  if (lumetra::LoadCurrent(file, wanted, result) != Load::kDone) return -1;
  *current = 1;
  return found != 0 ? found : pip_result;
}

// Every hit of a search whose find-first answered `first`, continued with
// pipObjectFindNext until it answers 0 or -1: the hits of type `wanted`
// with their handles and distances to the border from (x, y).
std::vector<Hit> NearestHits(int file, int first, int wanted, int x, int y) {
  std::vector<Hit> hits;
  hits.reserve(100);
  char name[kWrapperNameSize];
  for (int r = first; r > 0; r = pipObjectFindNext(file, name, sizeof name)) {
    pipObjectInfoStruct info;
    Hit hit{0, 0, 0.0};
    if (pipObjectGetInfo(file, &info) != 1 || info.type != wanted) continue;
    if (pipObjectGetHandle64(file, &hit.low, &hit.high) != 1) continue;
    hit.key = pipObjectDistanceToBorder(file, x, y);
    if (hit.key >= 0) hits.push_back(hit);
  }
  return hits;
}

// A polygon as the spatial arrays of the pip interface: rings unclosed,
// per-ring vertex counts.
struct SpatialArrays {
  std::vector<int> xy;
  std::vector<int> parts;
};
SpatialArrays ArraysOf(const CPolyPolygon& polygon) {
  SpatialArrays a;
  a.xy.assign(2 * static_cast<std::size_t>(polygon.getPointCount()) + 2, 0);
  a.parts.assign(static_cast<std::size_t>(polygon.getPartCount()) + 1, 0);
  polygon.get(a.xy.data(), a.parts.data());
  return a;
}

// The rectangle search over an MBR's corners as spatial integers.
int FindFirstInMbr(int file, const CMbr& mbr) {
  char name[kWrapperNameSize];
  return pipObjectFindFirstRect(file, mbr.getLowerLeft().getSpatialX(),
                                mbr.getLowerLeft().getSpatialY(), mbr.getUpperRight().getSpatialX(),
                                mbr.getUpperRight().getSpatialY(), name, sizeof name);
}

int FindNextIn(int file) {
  char name[kWrapperNameSize];
  return pipObjectFindNext(file, name, sizeof name);
}

// Queues the hits of type `wanted` of a search whose find-first answered
// `first` (> 0), nearest to (x, y) first, and loads the nearest with
// `load(low, high)`: 1, 0 when none is of the type, -1 on failure.
template <class LoadFirst>
int QueueNearest(int file, int first, int wanted, int x, int y, CLongCollection& low,
                 CLongCollection& high, LoadFirst load) {
  return NoThrow([&] {
    std::vector<Hit> hits = NearestHits(file, first, wanted, x, y);
    if (hits.empty()) return 0;
    lumetra::OrderHits(hits, lumetra::KeyOrder::kAscending);
    if (!lumetra::FillQueue(hits, low, high, nullptr)) return -1;
    return load(hits[0].low, hits[0].high) == 1 ? 1 : -1;
  });
}

}  // namespace

int CSpatial::findPolygon(const CPipPoint& point, CPolyPolygon& result) {
  char name[kWrapperNameSize];
  const int r = pipObjectFindFirstContaining(m_fileHandle, point.getSpatialX(), point.getSpatialY(),
                                             0, name, sizeof name);
  return LoadFound(m_fileHandle, r, kAnyObjectType, 0, result, &m_current);
}

int CSpatial::findPolygon(const char* name, CPolyPolygon& result) {
  char found[kWrapperNameSize];
  const int r = pipObjectFindFirstName(m_fileHandle, name, found, sizeof found);
  return LoadFound(m_fileHandle, r, kAnyObjectType, 0, result, &m_current);
}

int CSpatial::findPolygon(const CPolyPolygon& polygon, CPolyPolygon& result) {
  return NoThrow([&] {
    const SpatialArrays a = ArraysOf(polygon);
    char name[kWrapperNameSize];
    const int r = pipObjectFindFirstPolygon(m_fileHandle, a.xy.data(), a.parts.data(),
                                            polygon.getPartCount(), name, sizeof name);
    return LoadFound(m_fileHandle, r, kAnyObjectType, 0, result, &m_current);
  });
}

int CSpatial::findNextPolygon(CPolyPolygon& result) {
  char name[kWrapperNameSize];
  const int r = pipObjectFindNext(m_fileHandle, name, sizeof name);
  return LoadFound(m_fileHandle, r, kAnyObjectType, 0, result, &m_current);
}

// The overlap search: every region the polygon overlaps, largest share
// first.  5 and the first region; 0 none; -1 failure.
int CSpatial::findPolygon(const CPolyPolygon& polygon, CPolyPolygon& result, double& percent) {
  result.reset();
  percent = 0.0;
  m_current = 0;
  m_overlapPercent.reset();
  return NoThrow([&] {
    const SpatialArrays a = ArraysOf(polygon);
    char name[kWrapperNameSize];
    double p = 0.0;
    int r = pipObjectFindFirstPolygonEx(m_fileHandle, a.xy.data(), a.parts.data(),
                                        polygon.getPartCount(), name, sizeof name, 251, &p);
    if (r < 0) return -1;
    std::vector<Hit> hits;
    hits.reserve(100);
    for (; r > 0; r = pipObjectFindNextEx(m_fileHandle, name, sizeof name, 250, &p)) {
      Hit hit{0, 0, p};
      if (pipObjectGetHandle64(m_fileHandle, &hit.low, &hit.high) == 1) hits.push_back(hit);
    }
    if (hits.empty()) return 0;
    lumetra::OrderHits(hits, lumetra::KeyOrder::kDescending);
    if (!lumetra::FillQueue(hits, m_overlapLow, m_overlapHigh, &m_overlapPercent)) return -1;
    m_overlapPercent.moveFirst();
    if (getPolygon(hits[0].low, hits[0].high, result) != 1) return -1;
    m_current = 1;
    percent = hits[0].key;
    return 5;
  });
}

int CSpatial::findNextPolygon(CPolyPolygon& result, double& percent) {
  int low = 0;
  int high = 0;
  m_overlapPercent.moveNext();
  double p = 0.0;
  if (!lumetra::QueueEntry(m_overlapLow, m_overlapHigh, true, &low, &high) ||
      m_overlapPercent.getCurrent(p) != 1) {
    return -1;
  }
  m_current = getPolygon(low, high, result);
  if (m_current == 0) return -1;
  percent = p;
  return 5;
}

// Point objects whose distance square (CMbr(point, distance)) meets, the
// nearest first.
int CSpatial::findNearestPoint(const CPipPoint& point, CPipPoint& result, int distance) {
  result.reset();
  m_current = 0;
  m_pointLow.reset();
  m_pointHigh.reset();
  const int r = FindFirstInMbr(m_fileHandle, CMbr(point, distance));
  if (r <= 0) return r;
  return QueueNearest(m_fileHandle, r, PIP_OBJECT_POINT, point.getSpatialX(), point.getSpatialY(),
                      m_pointLow, m_pointHigh,
                      [&](int low, int high) { return m_current = getPoint(low, high, result); });
}

int CSpatial::findNextPoint(CPipPoint& result) {
  int low = 0;
  int high = 0;
  if (!lumetra::QueueEntry(m_pointLow, m_pointHigh, true, &low, &high)) return 0;
  m_current = getPoint(low, high, result);
  return m_current;
}

// Line objects within `distance` of the point (the containing search with
// that radius), the nearest first.
int CSpatial::findNearestLine(const CPipPoint& point, CPolyLine& result, int distance) {
  result.reset();
  m_current = 0;
  m_lineLow.reset();
  m_lineHigh.reset();
  const int x = point.getSpatialX();
  const int y = point.getSpatialY();
  char name[kWrapperNameSize];
  const int r = pipObjectFindFirstContaining(m_fileHandle, x, y, distance, name, sizeof name);
  if (r <= 0) return r;
  return QueueNearest(m_fileHandle, r, PIP_OBJECT_LINE, x, y, m_lineLow, m_lineHigh,
                      [&](int low, int high) { return m_current = getLine(low, high, result); });
}

int CSpatial::findNextLine(CPolyLine& result) {
  int low = 0;
  int high = 0;
  if (!lumetra::QueueEntry(m_lineLow, m_lineHigh, true, &low, &high)) return 0;
  m_current = getLine(low, high, result);
  return m_current;
}

int CSpatial::findPointByMbr(const CMbr& mbr, CPipPoint& result) {
  return LoadFound(m_fileHandle, FindFirstInMbr(m_fileHandle, mbr), PIP_OBJECT_POINT, 1, result,
                   &m_current);
}

int CSpatial::findLineByMbr(const CMbr& mbr, CPolyLine& result) {
  return LoadFound(m_fileHandle, FindFirstInMbr(m_fileHandle, mbr), PIP_OBJECT_LINE, 1, result,
                   &m_current);
}

int CSpatial::findPolygonByMbr(const CMbr& mbr, CPolyPolygon& result) {
  return LoadFound(m_fileHandle, FindFirstInMbr(m_fileHandle, mbr), PIP_OBJECT_REGION, 1, result,
                   &m_current);
}

int CSpatial::findNextPointByMbr(CPipPoint& result) {
  return LoadFound(m_fileHandle, FindNextIn(m_fileHandle), PIP_OBJECT_POINT, 1, result, &m_current);
}

int CSpatial::findNextLineByMbr(CPolyLine& result) {
  return LoadFound(m_fileHandle, FindNextIn(m_fileHandle), PIP_OBJECT_LINE, 1, result, &m_current);
}

int CSpatial::findNextPolygonByMbr(CPolyPolygon& result) {
  return LoadFound(m_fileHandle, FindNextIn(m_fileHandle), PIP_OBJECT_REGION, 1, result,
                   &m_current);
}
