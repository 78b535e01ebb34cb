// CpmaRingOperation: the ring polygon of a store -- a regular polygon of n
// vertices at a given radius around it.
//
// Planar: vertex k = (trunc(cos a * r + sx), trunc(sin a * r + sy)).
// Geographic (positions in millionths of a degree, r in miles): the ring is
// r / 69 degrees tall and that divided by cos(latitude) wide, so it is round
// on the ground; vertices are truncated to millionths of a degree.
#ifndef LUMETRA_PMA_RING_OPERATION_H
#define LUMETRA_PMA_RING_OPERATION_H

#include "pma/pma_operation.h"
#include "pma/point_list.h"
#include "pma/store_list.h"

class CpmaRingOperation : public CpmaOperation {
 public:
  // Builds the ring of `store` into *out (reset first): 1, or -1 (fewer
  // than 3 segments), -2 (more than 360), -3 (radius below 0).  Radius 0
  // leaves *out empty.
  int Build(const CpmaStoreRecord& store, int segments, bool geographic, double radius,
            CpmaPointList* out) const;
};

#endif  // LUMETRA_PMA_RING_OPERATION_H
