// CpmaConvexHullOperation: the convex hull around the nearest share of a
// store's customers.
//
// The customers are taken relative to the store (x offsets multiplied by
// cos(latitude) in geographic mode), sorted nearest first, those beyond the
// distance limit dropped (their weight leaves the total), and then the
// nearest trunc(count * share) of them (count mode) or the nearest whose
// running weight stays within share * total weight (weight mode) are
// wrapped.  The stored customers are never changed.
//
// Thread rule: one thread at a time.
#ifndef LUMETRA_PMA_CONVEX_HULL_OPERATION_H
#define LUMETRA_PMA_CONVEX_HULL_OPERATION_H

#include <vector>

#include "pma/pma_operation.h"
#include "pma/point_list.h"
#include "pma/store_list.h"

namespace lumetra {

struct HullPoint {
  double x;
  double y;
};

// The convex hull of `points` by package wrapping, counter-clockwise from
// the lowest point (the leftmost of the lowest), without points that lie
// on the hull's edges.  Points strictly inside the quadrilateral of the
// extreme points by x + y and y - x are set aside first.  Fewer than 3
// vertices (too few points, or all on one line) leave *hull empty.
void ConvexHullByWrapping(const std::vector<HullPoint>& points, std::vector<HullPoint>* hull);

}  // namespace lumetra

class CpmaConvexHullOperation : public CpmaOperation {
 public:
  // Builds the hull of `store`'s customers for `share` into *out (reset
  // first): 1, or -8 (share outside 0.0 .. 1.0), -6 (no memory).  Fewer
  // than 3 customers, or fewer than 3 hull vertices, leave *out empty.
  // max_distance <= 0 means no limit; it is in miles in geographic mode.
  int Build(const CpmaStoreRecord& store, const CpmaCustomerList& customers, int count_mode,
            double max_distance, bool geographic, double share, CpmaPointList* out);

 private:
  struct Customer {
    double x;
    double y;
    double weight;
    double d2;
  };

  // The customers, nearest first, within the distance limit; returns the
  // total weight left.
  double Load(const CpmaStoreRecord& store, const CpmaCustomerList& customers, double limit);
  // How many of the nearest customers the share takes.
  std::size_t Take(int count_mode, double share, double total) const;

  double scale_ = 1.0;
  std::vector<Customer> work_;
  std::vector<lumetra::HullPoint> taken_;
  std::vector<lumetra::HullPoint> hull_;
};

#endif  // LUMETRA_PMA_CONVEX_HULL_OPERATION_H
