#include "clip/junction_router.h"

#include "clip/clip_edges.h"

namespace lumetra {
namespace {

// Bit m of the result is set when parity mask m (bit 0 subject, bit 1 clip)
// lies in the result.
unsigned CoveredMasks(ClipOperation op) {
  switch (op) {
    case ClipOperation::kDifference:
      return 1u << kSubjectBit;
    case ClipOperation::kIntersection:
      return 1u << (kSubjectBit | kClipBit);
    case ClipOperation::kExclusiveOr:
      return (1u << kSubjectBit) | (1u << kClipBit);
    case ClipOperation::kUnion:
      break;
  }
  return (1u << kSubjectBit) | (1u << kClipBit) | (1u << (kSubjectBit | kClipBit));
}

}  // namespace

JunctionRouter::JunctionRouter(ClipOperation op, OutputChains& chains, ClipStats* stats,
                               ClipMemory* memory)
    : covered_(CoveredMasks(op)),
      chains_(chains),
      stats_(stats),
      boundaries_(memory),
      fill_below_(memory),
      fill_above_(memory) {}

void JunctionRouter::AddBoundary(Kind kind, int index, bool clockwise_side,
                                 bool counter_clockwise_side) {
  if (clockwise_side != counter_clockwise_side) boundaries_.push_back({kind, index});
}

// Boundaries are listed counter-clockwise from east: the run to the east,
// the upward bundles right to left, the run to the west, the downward
// bundles left to right.  Each boundary's counter-clockwise side is covered
// exactly when the next boundary's clockwise side is, so the covered sectors
// are those that begin at a boundary whose counter-clockwise side is covered.
void JunctionRouter::Route(ClipVertex p, JunctionState& state,
                           const ClipVector<JunctionBelow>& below,
                           ClipVector<JunctionAbove>& above) {
  p_ = p;
  state_ = &state;
  below_ = &below;
  above_ = &above;
  east_end_ = OutputChains::kNone;
  std::size_t k = below.size();
  std::size_t j = above.size();
  fill_below_.resize(k + 1);
  fill_above_.resize(j + 1);
  std::uint8_t mask = state.below;
  fill_below_[0] = Covered(mask);
  for (std::size_t i = 0; i < k; ++i) {
    mask ^= below[i].flip;
    fill_below_[i + 1] = Covered(mask);
  }
  std::uint8_t below_east = mask;
  mask = state.above;
  fill_above_[0] = Covered(mask);
  for (std::size_t i = 0; i < j; ++i) {
    mask ^= above[i].flip;
    above[i].par = mask;
    above[i].end = OutputChains::kNone;
    fill_above_[i + 1] = Covered(mask);
  }
  std::uint8_t above_east = mask;

  boundaries_.clear();
  AddBoundary(Kind::kEast, 0, fill_below_[k], fill_above_[j]);
  for (std::size_t i = j; i > 0; --i) {
    AddBoundary(Kind::kAbove, static_cast<int>(i - 1), fill_above_[i], fill_above_[i - 1]);
  }
  AddBoundary(Kind::kWest, 0, fill_above_[0], fill_below_[0]);
  for (std::size_t i = 1; i <= k; ++i) {
    AddBoundary(Kind::kBelow, static_cast<int>(i - 1), fill_below_[i - 1], fill_below_[i]);
  }
  std::size_t n = boundaries_.size();
  for (std::size_t t = 0; t < n; ++t) {
    const Boundary& b = boundaries_[t];
    bool ccw_covered = false;
    switch (b.kind) {
      case Kind::kEast:
        ccw_covered = fill_above_[j];
        break;
      case Kind::kAbove:
        ccw_covered = fill_above_[static_cast<std::size_t>(b.index)];
        break;
      case Kind::kWest:
        ccw_covered = fill_below_[0];
        break;
      case Kind::kBelow:
        ccw_covered = fill_below_[static_cast<std::size_t>(b.index) + 1];
        break;
    }
    if (ccw_covered) Connect(b, boundaries_[(t + 1) % n]);
  }
  state.below = below_east;
  state.above = above_east;
  state.end = east_end_;
}

int JunctionRouter::EndOf(const Boundary& b) const {
  if (b.kind == Kind::kWest) return state_->end;
  if (b.kind == Kind::kBelow) return (*below_)[static_cast<std::size_t>(b.index)].end;
  return OutputChains::kNone;
}

void JunctionRouter::GiveEnd(const Boundary& b, int end) {
  if (b.kind == Kind::kEast) east_end_ = end;
  if (b.kind == Kind::kAbove) (*above_)[static_cast<std::size_t>(b.index)].end = end;
}

// A straight line through p: the runs west and east, or one bundle passing
// through unchanged.  Its point p adds nothing to the outline.
bool JunctionRouter::Straight(const Boundary& a, const Boundary& b) const {
  if (a.kind == Kind::kWest || a.kind == Kind::kEast) {
    return (a.kind == Kind::kWest && b.kind == Kind::kEast) ||
           (a.kind == Kind::kEast && b.kind == Kind::kWest);
  }
  const Boundary& down = a.kind == Kind::kBelow ? a : b;
  const Boundary& up = a.kind == Kind::kBelow ? b : a;
  return down.kind == Kind::kBelow && up.kind == Kind::kAbove &&
         (*below_)[static_cast<std::size_t>(down.index)].bundle ==
             (*above_)[static_cast<std::size_t>(up.index)].bundle;
}

// The outline enters p along `enter` and leaves along `leave`.  Boundaries
// below p and the west run already carry chain ends: `enter` a back end,
// `leave` a front end.
void JunctionRouter::Connect(const Boundary& leave, const Boundary& enter) {
  bool leave_held = leave.kind == Kind::kWest || leave.kind == Kind::kBelow;
  bool enter_held = enter.kind == Kind::kWest || enter.kind == Kind::kBelow;
  int leave_end = EndOf(leave);
  int enter_end = EndOf(enter);
  if ((leave_held && leave_end == OutputChains::kNone) ||
      (enter_held && enter_end == OutputChains::kNone)) {
    if (stats_ != nullptr) ++stats_->repairs;
  }
  bool straight = Straight(leave, enter);
  if (enter_end != OutputChains::kNone && leave_end != OutputChains::kNone) {
    chains_.Join(enter_end, p_, leave_end);
  } else if (enter_end != OutputChains::kNone) {
    if (!straight) chains_.Add(enter_end, p_);
    GiveEnd(leave, enter_end);
  } else if (leave_end != OutputChains::kNone) {
    if (!straight) chains_.Add(leave_end, p_);
    GiveEnd(enter, leave_end);
  } else {
    int front = OutputChains::kNone;
    int back = OutputChains::kNone;
    chains_.Start(p_, &front, &back);
    GiveEnd(enter, front);
    GiveEnd(leave, back);
  }
}

}  // namespace lumetra
