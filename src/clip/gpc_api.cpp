// Exported gpc_* functions: the clipper behind the GPC-style interface.
#include <lumetra/gpc.h>

#include <cstdlib>

#include "clip/polygon_clip.h"

using lumetra::ClipOperation;
using lumetra::ClipPolygon;
using lumetra::ClipVertex;

namespace {

// Copies the usable contours of a caller's polygon: a NULL polygon or
// contour array, and contours without vertices, add nothing.
void ReadPolygon(const gpc_polygon* in, ClipPolygon* out) {
  if (in == nullptr || in->contour == nullptr) return;
  std::size_t total = 0;
  for (int c = 0; c < in->num_contours; ++c) {
    if (in->contour[c].vertex != nullptr && in->contour[c].num_vertices > 0) {
      total += static_cast<std::size_t>(in->contour[c].num_vertices);
    }
  }
  out->vertices.reserve(total);
  for (int c = 0; c < in->num_contours; ++c) {
    const gpc_vertex_list& list = in->contour[c];
    const gpc_vertex* v = list.vertex;
    int n = list.num_vertices;
    if (v == nullptr || n <= 0) continue;
    out->counts.push_back(n);
    for (int i = 0; i < n; ++i) out->vertices.push_back(ClipVertex{v[i].x, v[i].y});
  }
}

void SetEmpty(gpc_polygon* p) {
  p->num_contours = 0;
  p->hole = nullptr;
  p->contour = nullptr;
}

// Fills `out` with C-allocated copies of `result`; true on success.  On
// failure everything allocated here is freed again and `out` is empty.
bool WritePolygon(const ClipPolygon& result, gpc_polygon* out) {
  SetEmpty(out);
  int n = result.ContourCount();
  if (n == 0) return true;
  auto* hole = static_cast<int*>(std::malloc(sizeof(int) * static_cast<std::size_t>(n)));
  auto* contour = static_cast<gpc_vertex_list*>(
      std::calloc(static_cast<std::size_t>(n), sizeof(gpc_vertex_list)));
  gpc_polygon built{n, hole, contour};
  if (hole == nullptr || contour == nullptr) {
    gpc_free_polygon(&built);
    return false;
  }
  std::size_t at = 0;
  for (int c = 0; c < n; ++c) {
    int count = result.counts[static_cast<std::size_t>(c)];
    auto* v =
        static_cast<gpc_vertex*>(std::malloc(sizeof(gpc_vertex) * static_cast<std::size_t>(count)));
    if (v == nullptr) {
      gpc_free_polygon(&built);
      return false;
    }
    for (int i = 0; i < count; ++i, ++at)
      v[i] = gpc_vertex{result.vertices[at].x, result.vertices[at].y};
    contour[c].num_vertices = count;
    contour[c].vertex = v;
    hole[c] = result.holes[static_cast<std::size_t>(c)];
  }
  *out = built;
  return true;
}

// Frees the operand that the result replaces, once the clipper has read it.
struct Aliasing {
  static void Release(void* context) {
    auto* a = static_cast<Aliasing*>(context);
    if (a->released) return;
    a->released = true;
    if (a->result == a->subject || a->result == a->clip) gpc_free_polygon(a->result);
  }

  gpc_polygon* result;
  const gpc_polygon* subject;
  const gpc_polygon* clip;
  bool released = false;
};

}  // namespace

extern "C" {

LUMETRA_API int gpc_init_polygon(gpc_polygon* polygon) {
  if (polygon != nullptr) SetEmpty(polygon);
  return 0;
}

LUMETRA_API void gpc_free_polygon(gpc_polygon* polygon) {
  if (polygon == nullptr) return;
  if (polygon->contour != nullptr) {
    for (int c = 0; c < polygon->num_contours; ++c) {
      std::free(polygon->contour[c].vertex);
      polygon->contour[c].vertex = nullptr;
    }
  }
  std::free(polygon->hole);
  std::free(polygon->contour);
  SetEmpty(polygon);
}

// An unknown operation leaves the result empty (an aliased operand is left
// as it is).  When memory runs out the result is empty as well, and an
// aliased operand has been freed.
LUMETRA_API void gpc_polygon_clip(int op, gpc_polygon* subject, gpc_polygon* clip,
                                  gpc_polygon* result) {
  if (result == nullptr) return;
  Aliasing aliasing{result, subject, clip};
  if (op < GPC_DIFF || op > GPC_UNION) {
    if (result != subject && result != clip) SetEmpty(result);
    return;
  }
  try {
    ClipPolygon s;
    ClipPolygon c;
    ClipPolygon out;
    ReadPolygon(subject, &s);
    ReadPolygon(clip, &c);
    lumetra::ClipHooks hooks;
    hooks.inputs_read = &Aliasing::Release;
    hooks.context = &aliasing;
    lumetra::ClipPolygons(static_cast<ClipOperation>(op), s, c, &out, &hooks);
    WritePolygon(out, result);
  } catch (...) {
    Aliasing::Release(&aliasing);
    SetEmpty(result);
  }
}

}  // extern "C"
