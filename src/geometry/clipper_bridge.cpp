// The bridges between the geometry classes and the polygon clipper:
// CPolygon::combine and the exported gpc conversions.
#include <lumetra/geometry.h>
#include <lumetra/gpc.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "clip/polygon_clip.h"

using lumetra::ClipPolygon;
using lumetra::ClipVertex;

namespace {

// The ring's vertices (segment starts) as one clipper contour.
ClipPolygon RingContour(const CPolygon& ring) {
  std::vector<ClipVertex> v(static_cast<std::size_t>(ring.getCount()));
  for (int i = 0; i < ring.getCount(); ++i) {
    const CPipPoint& p = ring.getSegment(i).getStart();
    v[static_cast<std::size_t>(i)] = {p.getX(), p.getY()};
  }
  ClipPolygon c;
  c.AddContour(v.data(), ring.getCount());
  return c;
}

// A caller-owned contour array of `count` vertices from point(k); false
// when memory runs out.
template <class PointAt>
bool FillContour(gpc_vertex_list* list, int count, const PointAt& point) {
  list->num_vertices = count;
  list->vertex = nullptr;
  if (count < 1) return true;
  auto* v =
      static_cast<gpc_vertex*>(std::malloc(sizeof(gpc_vertex) * static_cast<std::size_t>(count)));
  if (v == nullptr) return false;
  for (int k = 0; k < count; ++k) {
    CPipPoint p = point(k);
    v[k] = gpc_vertex{p.getX(), p.getY()};
  }
  list->vertex = v;
  return true;
}

// out = `contours` contours, hole flags 0, contour c filled by fill(list, c);
// on any allocation failure everything is freed and out is empty.
template <class Fill>
void BuildGpc(int contours, gpc_polygon* out, const Fill& fill) {
  gpc_init_polygon(out);
  if (contours < 1) return;
  gpc_polygon built;
  built.num_contours = contours;
  built.hole = static_cast<int*>(std::calloc(static_cast<std::size_t>(contours), sizeof(int)));
  built.contour = static_cast<gpc_vertex_list*>(
      std::calloc(static_cast<std::size_t>(contours), sizeof(gpc_vertex_list)));
  bool ok = built.hole != nullptr && built.contour != nullptr;
  for (int c = 0; ok && c < contours; ++c) ok = fill(&built.contour[c], c);
  if (ok) {
    *out = built;
  } else {
    gpc_free_polygon(&built);
  }
}

}  // namespace

// The union of the two rings, when it is one ring.
bool CPolygon::combine(const CPolygon& other) {
  if (getCount() < 3 || other.getCount() < 3) return false;
  try {
    ClipPolygon result;
    lumetra::ClipPolygons(lumetra::ClipOperation::kUnion, RingContour(*this), RingContour(other),
                          &result);
    if (result.ContourCount() != 1) return false;
    std::vector<double> x, y;
    for (const ClipVertex& v : result.vertices) {
      x.push_back(v.x);
      y.push_back(v.y);
    }
    return set(x.data(), y.data(), result.counts[0]);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

extern "C" {

LUMETRA_API void zglPolyToGpcPoly(const CPolygon* ring, gpc_polygon* out) {
  if (out == nullptr) return;
  if (ring == nullptr) {
    gpc_init_polygon(out);
    return;
  }
  BuildGpc(1, out, [&](gpc_vertex_list* list, int) {
    return FillContour(list, ring->getPointCount(), [&](int k) { return ring->getPoint(k); });
  });
}

LUMETRA_API void zglPolyPolyToGpcPoly(const CPolyPolygon* rings, gpc_polygon* out) {
  if (out == nullptr) return;
  int n = rings != nullptr ? rings->getPartCount() : 0;
  BuildGpc(n, out, [&](gpc_vertex_list* list, int c) {
    const CPolygon& ring = rings->getPolygon(c);
    return FillContour(list, ring.getCount(), [&](int k) { return ring.getPoint(k); });
  });
}

LUMETRA_API void gpcPolyToZglPoly(const gpc_polygon* in, CPolyPolygon* out) {
  if (out == nullptr) return;
  out->reset();
  if (in == nullptr || in->contour == nullptr || in->num_contours < 1) return;
  try {
    std::vector<double> x, y;
    std::vector<int> counts;
    for (int c = 0; c < in->num_contours; ++c) {
      const gpc_vertex_list& list = in->contour[c];
      int n = list.vertex != nullptr && list.num_vertices > 0 ? list.num_vertices : 0;
      for (int k = 0; k < n; ++k) {
        x.push_back(list.vertex[k].x);
        y.push_back(list.vertex[k].y);
      }
      counts.push_back(n);
    }
    out->set(x.data(), y.data(), counts.data(), static_cast<int>(counts.size()));
  } catch (const std::bad_alloc&) {
    out->reset();
  }
}

}  // extern "C"
