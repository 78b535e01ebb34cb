// The passes of the oracle benchmark beyond plain lookups: the ranked
// containing search and the nearest-point searches, each checked against
// GEOS (or brute force) and timed beside it.
#ifndef LUMETRA_BENCH_ORACLE_ORACLE_PASSES_H
#define LUMETRA_BENCH_ORACLE_ORACLE_PASSES_H

#include <string>
#include <vector>

#include "oracle_data.h"
#include "oracle_geos.h"

namespace oracle {

struct Box {
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // degrees
};

// Seeded random points (x, y pairs, millionths of a degree) in `box`.
std::vector<int> RandomPoints(const Box& box, long count, unsigned seed);

struct RankedOptions {
  long queries = 2000;
  int distance = 20000;  // feet
  unsigned seed = 12345;
  Box box;
};

// pipObjectFindFirstContainingEx within a maximum distance: the containing
// entries must be GEOS's "covers" set (up to half a unit from a border);
// every polygon whose border GEOS puts surely within the maximum (its
// distance in units times 0.36432 feet) must be handed out, none surely
// beyond it (times 0.36432 x the cosine of the data's highest latitude);
// each entry's distance must lie between those bounds, distances never
// increase along the hand-out order, and no polygon comes twice.  Returns
// the unexplained violations.
long RankedPass(int file, GeosPolygons& geos, const std::vector<Feature>& features,
                const std::vector<int>& feature_of, const RankedOptions& opt);

struct NearestOptions {
  long points = 20000;
  long queries = 100000;
  int k = 10;  // the exact search's second count
  unsigned seed = 12346;
  Box box;
  std::string work = ".";
};

// A planar file of seeded random points: pipObjectFindFirstNearest (N = 1)
// and pipObjectFindFirstNearestExact (count 1 and opt.k) timed against
// GEOS's STRtree nearest on the same queries.  The exact answers must equal
// brute force (distance, then file order); the classic ones must equal the
// nearest point within the square ring the classic search stopped at.
// Returns the unexplained differences.
long NearestPass(int lib, const NearestOptions& opt);

}  // namespace oracle

#endif  // LUMETRA_BENCH_ORACLE_ORACLE_PASSES_H
