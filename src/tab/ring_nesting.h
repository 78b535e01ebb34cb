// NestRings: arranges the rings of a region the way the .map format states
// holes -- each outer ring followed by the rings that are its holes, the
// outer ring's section header counting them.
//
// A ring is a hole when an odd number of the region's other rings contain
// it (the even-odd rule the library's regions follow); its outer ring is
// the smallest ring containing it.  Containment is decided with a vertex of
// the ring that lies on no edge of the other ring (exact integer tests).
// Outer rings keep their order, and so do the holes of each.  Beyond
// kMaxNestedRings rings every ring is written as an outer ring (a region
// that large keeps its rings, only the hole counts are left at 0).
#ifndef LUMETRA_TAB_RING_NESTING_H
#define LUMETRA_TAB_RING_NESTING_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumetra::tab {

constexpr std::size_t kMaxNestedRings = 4096;

struct RingOrder {
  std::vector<std::size_t> order;   // ring indexes in writing order
  std::vector<std::int32_t> holes;  // for each written ring: holes following it
};

// `xy` holds x, y of all rings one after another, `counts` the points of
// each ring.
RingOrder NestRings(const std::vector<std::int32_t>& xy, const std::vector<std::int32_t>& counts);

}  // namespace lumetra::tab

#endif  // LUMETRA_TAB_RING_NESTING_H
