/* Lumetra: the polygon clipper -- the gpc_* C interface.
 *
 * Conventions
 *  - A gpc_polygon is a set of contours; each contour is an open vertex list
 *    (the edge from the last vertex back to the first is implied; a repeated
 *    first vertex is accepted as an edge of length zero).  Inside a polygon
 *    the even-odd rule decides what is covered: a point is inside when a ray
 *    from it crosses the polygon's contours an odd number of times.  Input
 *    hole flags are ignored (the array may be NULL).
 *  - gpc_polygon_clip fills its result with arrays allocated with the C
 *    allocator (malloc).  They belong to the caller, who releases them with
 *    gpc_free_polygon.  The previous content of the result is not freed,
 *    except when the result is the same structure as the subject or the clip:
 *    then that operand is freed once it has been read, so
 *    gpc_polygon_clip(GPC_UNION, a, b, a) replaces a by the union.
 *  - Result contours: at least three vertices, no two consecutive vertices
 *    equal, non-zero area.  Outer contours run counter-clockwise and carry
 *    hole flag 0; contours bounding holes run clockwise and carry hole flag 1.
 *    The order of contours and of their starting vertices is not fixed.
 *  - Coordinates are plain doubles (degrees for the geometry classes).  Two y
 *    values that differ by at most DBL_EPSILON are taken as one.
 *  - Nothing is shared between calls: concurrent calls on distinct polygons
 *    are safe.  The clipper never ends the process: when memory runs out the
 *    result is left empty (num_contours 0, NULL pointers).
 */
#ifndef LUMETRA_GPC_H
#define LUMETRA_GPC_H

#ifndef LUMETRA_API
#  define LUMETRA_API __attribute__((visibility("default")))
#endif
#ifndef LUMETRA_STATIC_ASSERT
#  ifdef __cplusplus
#    define LUMETRA_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#  else
#    define LUMETRA_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#  endif
#endif
LUMETRA_STATIC_ASSERT(sizeof(void*) == 8 && sizeof(int) == 4, "Lumetra's public layouts are LP64");

#include <stddef.h>

typedef enum gpc_op {
    GPC_DIFF  = 0,         /* subject minus clip */
    GPC_INT   = 1,         /* intersection */
    GPC_XOR   = 2,         /* exclusive-or */
    GPC_UNION = 3          /* union */
} gpc_op;

#pragma pack(push, 4)
typedef struct gpc_vertex {
    double x;              /*  0 */
    double y;              /*  8 */
} gpc_vertex;                                                /* 16 */

typedef struct gpc_vertex_list {
    int         num_vertices;  /* 0 */
    gpc_vertex* vertex;        /* 4 */
} gpc_vertex_list;                                           /* 12 */

typedef struct gpc_polygon {
    int              num_contours; /*  0 */
    int*             hole;         /*  4 one flag per contour: 1 hole, 0 not */
    gpc_vertex_list* contour;      /* 12 */
} gpc_polygon;                                               /* 20 */
#pragma pack(pop)

LUMETRA_STATIC_ASSERT(sizeof(gpc_vertex) == 16, "gpc_vertex");
LUMETRA_STATIC_ASSERT(offsetof(gpc_vertex, y) == 8, "gpc_vertex.y");
LUMETRA_STATIC_ASSERT(sizeof(gpc_vertex_list) == 12, "gpc_vertex_list");
LUMETRA_STATIC_ASSERT(offsetof(gpc_vertex_list, vertex) == 4, "gpc_vertex_list.vertex");
LUMETRA_STATIC_ASSERT(sizeof(gpc_polygon) == 20, "gpc_polygon");
LUMETRA_STATIC_ASSERT(offsetof(gpc_polygon, hole) == 4, "gpc_polygon.hole");
LUMETRA_STATIC_ASSERT(offsetof(gpc_polygon, contour) == 12, "gpc_polygon.contour");

#ifdef __cplusplus
extern "C" {
#endif
/* Sets num_contours to 0 and both pointers to NULL; returns 0. */
LUMETRA_API int  gpc_init_polygon(gpc_polygon* polygon);
/* Frees every contour's vertex array, the hole array and the contour array
 * (C allocator) and leaves the polygon empty.  NULL pointers are accepted. */
LUMETRA_API void gpc_free_polygon(gpc_polygon* polygon);
/* result = subject op clip, op one of gpc_op.  result may be the same
 * structure as subject or clip (that operand is then freed and replaced).
 * A NULL subject or clip counts as an empty polygon; a NULL result does
 * nothing. */
LUMETRA_API void gpc_polygon_clip(int op, gpc_polygon* subject, gpc_polygon* clip, gpc_polygon* result);
#ifdef __cplusplus
}

class CPolygon;
class CPolyPolygon;
extern "C" {
/* out = one contour of the ring's n + 1 points (the first vertex repeated
 * last), hole flag 0.  The previous content of out is not freed.  Out of
 * memory (or a NULL ring): out is left empty. */
LUMETRA_API void zglPolyToGpcPoly(const CPolygon* ring, gpc_polygon* out);
/* out = one contour of n vertices per ring (not closed), hole flags 0; no
 * rings gives an empty polygon.  Out of memory: out is left empty. */
LUMETRA_API void zglPolyPolyToGpcPoly(const CPolyPolygon* rings, gpc_polygon* out);
/* out is emptied and receives every contour as a closed ring; hole flags are
 * dropped (holes become ordinary rings). */
LUMETRA_API void gpcPolyToZglPoly(const gpc_polygon* in, CPolyPolygon* out);
}
#endif

#endif /* LUMETRA_GPC_H */
