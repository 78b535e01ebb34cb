#include "import/polygon_split.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>

namespace lumetra {
namespace {

// Deepest cutting: each cut halves a part's points, so this is never
// reached by data that can fit at all.
constexpr int kMaxCutDepth = 48;

struct Box {
  std::int32_t min_x, min_y, max_x, max_y;
  bool Contains(const Box& o) const {
    return o.min_x >= min_x && o.max_x <= max_x && o.min_y >= min_y && o.max_y <= max_y;
  }
};

Box BoxOf(const UnitRing& ring) {
  Box b{ring[0], ring[1], ring[0], ring[1]};
  for (std::size_t i = 2; i + 1 < ring.size(); i += 2) {
    b.min_x = std::min(b.min_x, ring[i]);
    b.max_x = std::max(b.max_x, ring[i]);
    b.min_y = std::min(b.min_y, ring[i + 1]);
    b.max_y = std::max(b.max_y, ring[i + 1]);
  }
  return b;
}

std::int64_t PointCount(const RingSet& rings) {
  std::int64_t n = 0;
  for (const UnitRing& r : rings) n += static_cast<std::int64_t>(r.size() / 2);
  return n;
}

bool Fits(const RingSet& rings, std::int64_t max_parts, std::int64_t max_points) {
  return static_cast<std::int64_t>(rings.size()) <= max_parts && PointCount(rings) <= max_points;
}

// The even-odd test of one ring with its edges sorted into horizontal
// stripes, so that a ring of many points answers many tests quickly.
class StripedRing {
 public:
  explicit StripedRing(const UnitRing& ring) : ring_(ring), box_(BoxOf(ring)) {
    const std::size_t n = ring.size() / 2;
    stripes_.resize(std::max<std::size_t>(1, std::min<std::size_t>(n / 8, 4096)));
    height_ = (static_cast<double>(box_.max_y) - box_.min_y + 1) / stripes_.size();
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
      const std::int32_t lo = std::min(ring[2 * i + 1], ring[2 * j + 1]);
      const std::int32_t hi = std::max(ring[2 * i + 1], ring[2 * j + 1]);
      for (std::size_t s = Stripe(lo); s <= Stripe(hi); ++s) stripes_[s].push_back(i);
    }
  }
  bool Contains(double x, double y) const {
    if (y < box_.min_y || y > box_.max_y) return false;
    const std::size_t n = ring_.size() / 2;
    bool inside = false;
    for (const std::size_t i : stripes_[Stripe(y)]) {
      const std::size_t j = (i + n - 1) % n;
      const double xi = ring_[2 * i], yi = ring_[2 * i + 1];
      const double xj = ring_[2 * j], yj = ring_[2 * j + 1];
      if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
    }
    return inside;
  }

 private:
  std::size_t Stripe(double y) const {
    const double s = std::floor((y - box_.min_y) / height_);
    return static_cast<std::size_t>(std::clamp(s, 0.0, static_cast<double>(stripes_.size() - 1)));
  }

  const UnitRing& ring_;
  Box box_;
  double height_ = 1.0;
  std::vector<std::vector<std::size_t>> stripes_;
};

// Whether the outer ring holds the hole: its box does and it holds at least
// two of three vertices spread over the hole (one may touch the ring).
bool Holds(const StripedRing& outer, const Box& outer_box, const UnitRing& hole,
           const Box& hole_box) {
  if (!outer_box.Contains(hole_box)) return false;
  const std::size_t n = hole.size() / 2;
  if (n < 3) return outer.Contains(hole[0], hole[1]);
  int votes = 0;
  for (const std::size_t k : {std::size_t{0}, n / 3, 2 * n / 3}) {
    votes += outer.Contains(hole[2 * k], hole[2 * k + 1]) ? 1 : 0;
  }
  return votes >= 2;
}

// Where the edge (x1, y1) -> (x2, y2) crosses x = c.
double CrossingY(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                 std::int32_t c) {
  const double t = (static_cast<double>(c) - x1) / (static_cast<double>(x2) - x1);
  return y1 + t * (static_cast<double>(y2) - y1);
}

std::int32_t RoundToUnit(double v) {
  const double r = std::floor(v + 0.5);
  return static_cast<std::int32_t>(
      std::clamp(r, static_cast<double>(std::numeric_limits<std::int32_t>::min()),
                 static_cast<double>(std::numeric_limits<std::int32_t>::max())));
}

// A point where a ring crosses the cut line: one end of a chain.
struct Crossing {
  double y;           // exact, for the order along the line
  std::size_t chain;  // the chain it ends
  bool at_start;      // the chain's first point (else its last)
};

// Splits one ring that crosses x = c into the chains of its points on the
// kept side, each running from the crossing where it enters to the one
// where it leaves.
void ChainsOf(const UnitRing& ring, std::int32_t c, bool left, std::vector<UnitRing>* chains,
              std::vector<Crossing>* crossings) {
  const std::size_t n = ring.size() / 2;
  const auto in = [&](std::size_t k) { return left ? ring[2 * k] < c : ring[2 * k] > c; };
  std::size_t s = 0;
  while (in(s)) ++s;  // a vertex off the kept side: chains close before it
  UnitRing chain;
  for (std::size_t step = 1; step <= n; ++step) {
    const std::size_t k = (s + step) % n;
    const std::size_t p = (k + n - 1) % n;
    const bool p_in = in(p);
    const bool k_in = in(k);
    if (p_in != k_in) {
      const double y = CrossingY(ring[2 * p], ring[2 * p + 1], ring[2 * k], ring[2 * k + 1], c);
      chain.push_back(c);
      chain.push_back(RoundToUnit(y));
      crossings->push_back({y, chains->size(), k_in});
      if (!k_in) {
        chains->push_back(std::move(chain));
        chain.clear();
      }
    }
    if (k_in) {
      chain.push_back(ring[2 * k]);
      chain.push_back(ring[2 * k + 1]);
    }
  }
}

// Appends `chain` (reversed when not `forward`) to `ring`, leaving out a
// point equal to the one before it.
void AppendChain(const UnitRing& chain, bool forward, UnitRing* ring) {
  const std::size_t n = chain.size() / 2;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t k = forward ? i : n - 1 - i;
    const std::size_t size = ring->size();
    if (size >= 2 && (*ring)[size - 2] == chain[2 * k] && (*ring)[size - 1] == chain[2 * k + 1]) {
      continue;
    }
    ring->push_back(chain[2 * k]);
    ring->push_back(chain[2 * k + 1]);
  }
}

// A cut line through the middle of the rings' points that no vertex lies
// on; false when every vertex has the same x.
bool ChooseCut(const RingSet& rings, std::int32_t* c) {
  std::vector<std::int32_t> xs;
  for (const UnitRing& r : rings) {
    for (std::size_t i = 0; i < r.size(); i += 2) xs.push_back(r[i]);
  }
  std::sort(xs.begin(), xs.end());
  if (xs.empty() || xs.front() == xs.back()) return false;
  const std::int64_t median = xs[xs.size() / 2];
  for (std::int64_t d = 0; d < static_cast<std::int64_t>(xs.size()) + 2; ++d) {
    for (const std::int64_t candidate : {median - d, median + d}) {
      if (candidate <= xs.front() || candidate >= xs.back()) continue;
      const auto v = static_cast<std::int32_t>(candidate);
      if (!std::binary_search(xs.begin(), xs.end(), v)) {
        *c = v;
        return true;
      }
    }
  }
  return false;
}

// The rings with x and y exchanged: a horizontal cut is a vertical cut of
// the exchanged rings.
RingSet Transposed(const RingSet& rings) {
  RingSet out = rings;
  for (UnitRing& r : out) {
    for (std::size_t i = 0; i + 1 < r.size(); i += 2) std::swap(r[i], r[i + 1]);
  }
  return out;
}

// The wider of the rings' x and y spans decides the direction of a cut, so
// holes in a column can be parted as well as holes in a row.
bool WiderInY(const RingSet& rings) {
  Box box = BoxOf(rings.front());
  for (const UnitRing& r : rings) {
    const Box b = BoxOf(r);
    box = {std::min(box.min_x, b.min_x), std::min(box.min_y, b.min_y), std::max(box.max_x, b.max_x),
           std::max(box.max_y, b.max_y)};
  }
  return static_cast<std::int64_t>(box.max_y) - box.min_y >
         static_cast<std::int64_t>(box.max_x) - box.min_x;
}

bool SplitGroup(const RingSet& rings, std::int64_t max_parts, std::int64_t max_points, int depth,
                std::vector<RingSet>* units) {
  if (Fits(rings, max_parts, max_points)) {
    units->push_back(rings);
    return true;
  }
  if (depth >= kMaxCutDepth) return false;
  const bool horizontal = WiderInY(rings);
  const RingSet turned = horizontal ? Transposed(rings) : RingSet();
  const RingSet& cut = horizontal ? turned : rings;
  std::int32_t c = 0;
  if (!ChooseCut(cut, &c)) return false;
  for (const bool left : {true, false}) {
    const RingSet side = CutAt(cut, c, left);
    if (!SplitGroup(horizontal ? Transposed(side) : side, max_parts, max_points, depth + 1,
                    units)) {
      return false;
    }
  }
  return true;
}

}  // namespace

double SignedArea2(const UnitRing& ring) {
  const std::size_t n = ring.size() / 2;
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t j = (i + 1) % n;
    sum += static_cast<double>(ring[2 * i]) * ring[2 * j + 1] -
           static_cast<double>(ring[2 * j]) * ring[2 * i + 1];
  }
  return sum;
}

bool RingContains(const UnitRing& ring, double x, double y) {
  const std::size_t n = ring.size() / 2;
  bool inside = false;
  for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
    const double xi = ring[2 * i], yi = ring[2 * i + 1];
    const double xj = ring[2 * j], yj = ring[2 * j + 1];
    if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
  }
  return inside;
}

std::vector<std::vector<std::size_t>> GroupRings(const RingSet& rings) {
  const std::size_t none = rings.size();
  std::vector<Box> boxes;
  std::vector<double> areas;
  std::vector<std::size_t> outers;
  std::vector<std::size_t> group_of(rings.size(), none);
  std::vector<std::vector<std::size_t>> groups;
  for (std::size_t i = 0; i < rings.size(); ++i) {
    boxes.push_back(BoxOf(rings[i]));
    areas.push_back(SignedArea2(rings[i]));
    if (areas[i] > 0) continue;  // a hole
    outers.push_back(i);
    group_of[i] = groups.size();
    groups.push_back({i});
  }
  // Smallest outer rings first: the first that holds a hole is the
  // innermost (an island in a lake holds the holes of the island).
  std::sort(outers.begin(), outers.end(),
            [&](std::size_t a, std::size_t b) { return areas[a] > areas[b]; });
  std::vector<std::unique_ptr<StripedRing>> striped(rings.size());
  std::vector<std::size_t> lone;
  for (std::size_t i = 0; i < rings.size(); ++i) {
    if (group_of[i] != none) continue;
    std::size_t owner = none;
    for (std::size_t k = 0; owner == none && k < outers.size(); ++k) {
      const std::size_t o = outers[k];
      if (!boxes[o].Contains(boxes[i])) continue;
      if (striped[o] == nullptr) striped[o] = std::make_unique<StripedRing>(rings[o]);
      if (Holds(*striped[o], boxes[o], rings[i], boxes[i])) owner = o;
    }
    if (owner == none) {
      lone.push_back(i);
    } else {
      groups[group_of[owner]].push_back(i);
    }
  }
  for (std::size_t i : lone) groups.push_back({i});
  return groups;
}

RingSet CutAt(const RingSet& rings, std::int32_t c, bool left) {
  RingSet out;
  std::vector<UnitRing> chains;
  std::vector<Crossing> crossings;
  for (const UnitRing& ring : rings) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < ring.size(); i += 2) kept += (left ? ring[i] < c : ring[i] > c);
    if (kept == ring.size() / 2) {
      out.push_back(ring);
    } else if (kept > 0) {
      ChainsOf(ring, c, left, &chains, &crossings);
    }
  }
  // Along the line the polygon's inside and outside alternate at each
  // crossing: consecutive crossings, in pairs, bound the inside stretches.
  std::vector<std::size_t> order(crossings.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return crossings[a].y < crossings[b].y || (crossings[a].y == crossings[b].y && a < b);
  });
  std::vector<std::size_t> partner(crossings.size());
  std::vector<std::size_t> start_of(chains.size());
  std::vector<std::size_t> end_of(chains.size());
  for (std::size_t i = 0; i + 1 < order.size(); i += 2) {
    partner[order[i]] = order[i + 1];
    partner[order[i + 1]] = order[i];
  }
  for (std::size_t i = 0; i < crossings.size(); ++i) {
    (crossings[i].at_start ? start_of : end_of)[crossings[i].chain] = i;
  }
  // Chains and stretches alternate around each new ring.
  std::vector<bool> used(chains.size(), false);
  for (std::size_t first = 0; first < chains.size(); ++first) {
    if (used[first]) continue;
    UnitRing ring;
    std::size_t chain = first;
    bool forward = true;
    do {
      used[chain] = true;
      AppendChain(chains[chain], forward, &ring);
      const Crossing& next = crossings[partner[forward ? end_of[chain] : start_of[chain]]];
      chain = next.chain;
      forward = next.at_start;
    } while (!used[chain]);
    if (ring.size() >= 4 && ring[0] == ring[ring.size() - 2] && ring[1] == ring.back()) {
      ring.resize(ring.size() - 2);
    }
    out.push_back(std::move(ring));
  }
  return out;
}

std::vector<RingSet> SplitPolygon(const RingSet& rings, std::int64_t max_parts,
                                  std::int64_t max_points) {
  if (max_parts < 1 || max_points < 3) return {};
  std::vector<RingSet> units;
  for (const std::vector<std::size_t>& group : GroupRings(rings)) {
    RingSet set;
    for (std::size_t i : group) set.push_back(rings[i]);
    if (!SplitGroup(set, max_parts, max_points, 0, &units)) return {};
  }
  std::vector<RingSet> pieces;
  std::int64_t parts = 0;
  std::int64_t points = 0;
  for (RingSet& unit : units) {
    const auto unit_parts = static_cast<std::int64_t>(unit.size());
    const std::int64_t unit_points = PointCount(unit);
    if (pieces.empty() || parts + unit_parts > max_parts || points + unit_points > max_points) {
      pieces.emplace_back();
      parts = 0;
      points = 0;
    }
    for (UnitRing& r : unit) pieces.back().push_back(std::move(r));
    parts += unit_parts;
    points += unit_points;
  }
  return pieces;
}

}  // namespace lumetra
