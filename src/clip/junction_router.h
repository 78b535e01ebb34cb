// What the result's outline does at one point of the sweep.
//
// A junction is a point p on the sweep line with the edge bundles that reach
// it from below (in left-to-right order) and those that leave it upwards
// (left to right), together with the fill parities of both polygons on the
// horizontal run just west of p, below and above the line.  From these the
// router knows whether each sector around p is covered by the result; the
// boundaries of the result through p are the bundles and horizontal runs
// with a covered sector on one side only.  Going round p counter-clockwise,
// each covered sector lies between two such boundaries; the outline enters p
// along the later one and leaves along the earlier one, so that the covered
// area stays on its left.  Chain ends held by boundaries below p (or by the
// run from the west) are joined or extended accordingly, and the boundaries
// above p (and the run to the east) receive the ends they will carry on.
//
// Every vertex of the sweep is a junction: local minima and maxima,
// intermediate vertices, edge crossings, edges passing through a vertex of
// the other polygon and edges crossing a horizontal run.
#ifndef LUMETRA_CLIP_JUNCTION_ROUTER_H
#define LUMETRA_CLIP_JUNCTION_ROUTER_H

#include <cstdint>
#include <vector>

#include "clip/output_chains.h"
#include "clip/polygon_clip.h"

namespace lumetra {

// Parity masks (kSubjectBit | kClipBit) just below and just above the sweep
// line, and the chain end held by the result's horizontal boundary there.
struct JunctionState {
  std::uint8_t below = 0;
  std::uint8_t above = 0;
  int end = OutputChains::kNone;
};

struct JunctionBelow {
  std::uint8_t flip;  // parity bits the bundle toggles
  int end;            // chain end it holds, or kNone
  int bundle;
};

struct JunctionAbove {
  std::uint8_t flip;
  int bundle;  // the same bundle as a JunctionBelow when it passes straight through
  int end = OutputChains::kNone;  // out: chain end to hold
  std::uint8_t par = 0;           // out: parity mask right of the bundle
};

class JunctionRouter {
 public:
  JunctionRouter(ClipOperation op, OutputChains& chains, ClipStats* stats, ClipMemory* memory);

  // Routes the outline through p.  `state` comes in as the state west of p
  // and leaves as the state east of it.
  void Route(ClipVertex p, JunctionState& state, const ClipVector<JunctionBelow>& below,
             ClipVector<JunctionAbove>& above);

 private:
  enum class Kind : std::uint8_t { kEast, kAbove, kWest, kBelow };
  struct Boundary {
    Kind kind;
    int index;
  };

  bool Covered(std::uint8_t mask) const { return (covered_ >> mask) & 1u; }
  void AddBoundary(Kind kind, int index, bool clockwise_side, bool counter_clockwise_side);
  void Connect(const Boundary& leave, const Boundary& enter);
  int EndOf(const Boundary& b) const;
  void GiveEnd(const Boundary& b, int end);
  bool Straight(const Boundary& a, const Boundary& b) const;

  unsigned covered_;  // bit m set: parity mask m is covered by the result
  OutputChains& chains_;
  ClipStats* stats_;
  ClipVector<Boundary> boundaries_;
  ClipVector<char> fill_below_, fill_above_;
  // The junction being routed.
  ClipVertex p_{0, 0};
  JunctionState* state_ = nullptr;
  const ClipVector<JunctionBelow>* below_ = nullptr;
  ClipVector<JunctionAbove>* above_ = nullptr;
  int east_end_ = OutputChains::kNone;
};

}  // namespace lumetra

#endif  // LUMETRA_CLIP_JUNCTION_ROUTER_H
