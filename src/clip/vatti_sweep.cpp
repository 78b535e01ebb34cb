#include "clip/vatti_sweep.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumetra {
namespace {
constexpr int kNone = ActiveEdgeTable::kNone;
}  // namespace

VattiSweep::VattiSweep(ClipOperation op, EdgeTables& tables, OutputChains& chains, ClipStats* stats,
                       ClipMemory* memory)
    : tables_(tables),
      edges_(tables.edges),
      chains_(chains),
      stats_(stats),
      router_(op, chains, stats, memory),
      aet_(memory),
      bundles_(memory),
      ending_(memory),
      crossings_(std::greater<Crossing>(), ClipVector<Crossing>(memory)),
      events_(memory),
      positions_(memory),
      anchors_(memory),
      old_slots_(memory),
      below_(memory),
      above_(memory),
      above_edges_(memory) {
  // Room for the usual load, so that small clips do not regrow their lists.
  std::size_t typical = std::min<std::size_t>(edges_.size(), 64);
  bundles_.reserve(typical);
  events_.reserve(16);
  positions_.reserve(16);
  above_edges_.reserve(16);
  below_.reserve(16);
  above_.reserve(16);
}

double VattiSweep::XOf(int bundle, double y) const {
  return edges_[static_cast<std::size_t>(bundles_[static_cast<std::size_t>(bundle)].rep)].XAt(y);
}

int VattiSweep::NewBundle() {
  if (free_bundle_ >= 0) {
    int b = free_bundle_;
    Bundle& bundle = bundles_[static_cast<std::size_t>(b)];
    free_bundle_ = bundle.first_member;
    std::uint32_t stamp = bundle.stamp;
    bundle = Bundle();
    bundle.stamp = stamp;
    return b;
  }
  bundles_.emplace_back();
  return static_cast<int>(bundles_.size()) - 1;
}

// A retired bundle's stamp changes, so crossings queued for it are dropped.
void VattiSweep::Retire(int bundle) {
  Bundle& b = bundles_[static_cast<std::size_t>(bundle)];
  ++b.stamp;
  b.slot = kNone;
  b.first_member = free_bundle_;
  free_bundle_ = bundle;
}

void VattiSweep::Run() {
  const ClipVector<double>& lines = tables_.scanlines;
  ending_.assign(lines.size(), -1);
  for (std::size_t line = 0; line < lines.size(); ++line) {
    ProcessCrossings(lines[line]);
    ProcessScanline(static_cast<int>(line), lines[line]);
  }
  ProcessCrossings(std::numeric_limits<double>::infinity());
  if (!aet_.Empty() && stats_ != nullptr) ++stats_->repairs;
}

// ---- Scan lines ----

void VattiSweep::ProcessScanline(int line, double y) {
  GatherEvents(line);
  if (events_.empty()) return;
  if (events_.size() == 1 && !events_[0].minimum && ContinueBound(events_[0].id, y)) return;
  LocatePositions(y);
  if (positions_.size() > 1) OrderPositions();
  SweepPositions(y);
}

void VattiSweep::GatherEvents(int line) {
  events_.clear();
  for (int e = ending_[static_cast<std::size_t>(line)]; e >= 0;
       e = edges_[static_cast<std::size_t>(e)].next_ending) {
    events_.push_back({edges_[static_cast<std::size_t>(e)].top_x, e, false, -1});
  }
  ending_[static_cast<std::size_t>(line)] = -1;
  const ClipVector<LocalMinimum>& minima = tables_.minima;
  while (next_minimum_ < minima.size() && minima[next_minimum_].line == line) {
    events_.push_back({minima[next_minimum_].x, static_cast<int>(next_minimum_), true, -1});
    ++next_minimum_;
  }
  if (events_.size() > 1) {
    std::sort(events_.begin(), events_.end(),
              [](const Event& a, const Event& b) { return a.x < b.x; });
  }
}

// The common case of a scan line: one edge ends, alone in its bundle and
// with nothing else passing through its top, and its bound goes on.  The
// bundle keeps its slot and its role; only its top vertex joins the outline.
bool VattiSweep::ContinueBound(int edge, double y) {
  const ClipEdge& e = edges_[static_cast<std::size_t>(edge)];
  int b = e.bundle;
  Bundle& bundle = bundles_[static_cast<std::size_t>(b)];
  if (e.successor < 0 || bundle.count != 1) return false;
  double tol = tables_.tolerance;
  int prev = aet_.Prev(bundle.slot);
  int next = aet_.Next(bundle.slot);
  if ((prev != kNone && XOf(aet_.Bundle(prev), y) >= e.top_x - tol) ||
      (next != kNone && XOf(aet_.Bundle(next), y) <= e.top_x + tol)) {
    return false;
  }
  int succ = e.successor;
  ClipEdge& s = edges_[static_cast<std::size_t>(succ)];
  s.bundle = b;
  s.next_member = -1;
  s.next_ending = ending_[static_cast<std::size_t>(s.top_line)];
  ending_[static_cast<std::size_t>(s.top_line)] = succ;
  bundle.first_member = bundle.rep = succ;
  bundle.top = s.top_y;
  ++bundle.stamp;
  if (bundle.end != OutputChains::kNone) chains_.Add(bundle.end, ClipVertex{e.top_x, y});
  CheckCrossing(prev, bundle.slot, y);
  CheckCrossing(bundle.slot, next, y);
  return true;
}

// Groups the events by x into positions and finds each position's run of
// slots in the table.
void VattiSweep::LocatePositions(double y) {
  positions_.clear();
  for (std::size_t i = 0; i < events_.size(); ++i) {
    int index = static_cast<int>(i);
    if (i > 0 && events_[i].x == events_[i - 1].x) {
      Position& pos = positions_.back();
      events_[static_cast<std::size_t>(pos.last_event)].next = index;
      pos.last_event = index;
      continue;
    }
    Position pos{};
    pos.x = events_[i].x;
    pos.events = pos.last_event = index;
    positions_.push_back(pos);
  }
  for (Position& pos : positions_) LocateRun(pos, y);
}

// The run of a position: every bundle with an edge ending there, all bundles
// between them in table order, and neighbours passing within the tolerance.
// A position where nothing is active is a gap before slot `right`.
void VattiSweep::LocateRun(Position& pos, double y) {
  anchors_.clear();
  for (int e = pos.events; e >= 0; e = events_[static_cast<std::size_t>(e)].next) {
    const Event& ev = events_[static_cast<std::size_t>(e)];
    if (ev.minimum) continue;
    int bundle = edges_[static_cast<std::size_t>(ev.id)].bundle;
    anchors_.push_back(bundles_[static_cast<std::size_t>(bundle)].slot);
  }
  double tol = tables_.tolerance;
  auto x_of = [&](int bundle) { return XOf(bundle, y); };
  pos.gap = false;
  pos.right = kNone;
  if (anchors_.empty()) {
    int s = aet_.LowerBound(pos.x - tol, x_of);
    if (s == kNone || x_of(aet_.Bundle(s)) > pos.x + tol) {
      pos.gap = true;
      pos.first = pos.last = kNone;
      pos.right = s;
      return;
    }
    pos.first = pos.last = s;
  } else {
    pos.first = pos.last = anchors_[0];
    if (anchors_.size() > 1) {
      int lo = aet_.Rank(anchors_[0]);
      int hi = lo;
      for (std::size_t i = 1; i < anchors_.size(); ++i) {
        int r = aet_.Rank(anchors_[i]);
        if (r < lo) lo = r, pos.first = anchors_[i];
        if (r > hi) hi = r, pos.last = anchors_[i];
      }
    }
  }
  while (aet_.Prev(pos.first) != kNone && x_of(aet_.Bundle(aet_.Prev(pos.first))) >= pos.x - tol) {
    pos.first = aet_.Prev(pos.first);
  }
  while (aet_.Next(pos.last) != kNone && x_of(aet_.Bundle(aet_.Next(pos.last))) <= pos.x + tol) {
    pos.last = aet_.Next(pos.last);
  }
}

// Orders positions by their place in the table and merges those whose runs
// overlap (vertices that the table sees in one place).
void VattiSweep::OrderPositions() {
  for (Position& pos : positions_) {
    if (pos.gap) {
      pos.lo = pos.hi = (pos.right == kNone ? aet_.Count() : aet_.Rank(pos.right)) - 0.5;
    } else {
      pos.lo = aet_.Rank(pos.first);
      pos.hi = pos.first == pos.last ? pos.lo : aet_.Rank(pos.last);
    }
  }
  std::sort(positions_.begin(), positions_.end(), [](const Position& a, const Position& b) {
    return a.lo != b.lo ? a.lo < b.lo : a.x < b.x;
  });
  std::size_t out = 0;
  for (std::size_t i = 1; i < positions_.size(); ++i) {
    Position& back = positions_[out];
    const Position& pos = positions_[i];
    if (back.gap || pos.lo > back.hi) {
      positions_[++out] = pos;
      continue;
    }
    events_[static_cast<std::size_t>(back.last_event)].next = pos.events;
    back.last_event = pos.last_event;
    if (!pos.gap && pos.hi > back.hi) {
      back.hi = pos.hi;
      back.last = pos.last;
    }
  }
  positions_.resize(out + 1);
}

// Processes the positions left to right.  Where the fill above the line
// differs from the fill below (a horizontal edge lies there), the bundles
// between two positions are visited as junctions too.
void VattiSweep::SweepPositions(double y) {
  JunctionState state;
  bool open = false;
  int cursor = kNone;
  for (const Position& pos : positions_) {
    int stop = pos.gap ? pos.right : pos.first;
    if (open) {
      for (; cursor != stop; cursor = aet_.Next(cursor)) {
        if (cursor == kNone) {
          if (stats_ != nullptr) ++stats_->repairs;
          break;
        }
        PassThrough(cursor, y, state);
      }
    } else {
      int left = stop != kNone ? aet_.Prev(stop) : aet_.Last();
      std::uint8_t par =
          left != kNone ? bundles_[static_cast<std::size_t>(aet_.Bundle(left))].par : 0;
      state = JunctionState{par, par, OutputChains::kNone};
    }
    int after = pos.gap ? pos.right : aet_.Next(pos.last);
    ProcessPosition(pos, y, state);
    open = state.below != state.above;
    cursor = after;
  }
  if (open) {
    if (stats_ != nullptr) ++stats_->repairs;
    for (; cursor != kNone; cursor = aet_.Next(cursor)) PassThrough(cursor, y, state);
  }
}

void VattiSweep::PassThrough(int slot, double y, JunctionState& state) {
  int b = aet_.Bundle(slot);
  Bundle& bundle = bundles_[static_cast<std::size_t>(b)];
  below_.assign(1, JunctionBelow{bundle.flip, bundle.end, b});
  above_.assign(1, JunctionAbove{bundle.flip, b});
  router_.Route(ClipVertex{XOf(b, y), y}, state, below_, above_);
  StoreRouted();
}

void VattiSweep::StoreRouted() {
  for (const JunctionAbove& a : above_) {
    Bundle& bundle = bundles_[static_cast<std::size_t>(a.bundle)];
    bundle.end = a.end;
    bundle.par = a.par;
  }
}

void VattiSweep::ProcessPosition(const Position& pos, double y, JunctionState& state) {
  below_.clear();
  old_slots_.clear();
  int after = pos.gap ? pos.right : aet_.Next(pos.last);
  if (!pos.gap) {
    for (int s = pos.first;; s = aet_.Next(s)) {
      old_slots_.push_back(s);
      int b = aet_.Bundle(s);
      const Bundle& bundle = bundles_[static_cast<std::size_t>(b)];
      below_.push_back({bundle.flip, bundle.end, b});
      if (s == pos.last) break;
    }
  }
  CollectAbove(pos, y);
  GroupAbove(y);
  router_.Route(ClipVertex{pos.x, y}, state, below_, above_);
  StoreRouted();
  Restructure(after, y);
}

// The edges leaving the position upwards: members passing through, the
// successors of members ending here, and the bounds starting here.
void VattiSweep::CollectAbove(const Position& pos, double y) {
  above_edges_.clear();
  for (const JunctionBelow& b : below_) {
    for (int e = bundles_[static_cast<std::size_t>(b.bundle)].first_member; e >= 0;
         e = edges_[static_cast<std::size_t>(e)].next_member) {
      const ClipEdge& edge = edges_[static_cast<std::size_t>(e)];
      if (edge.top_y != y) {
        above_edges_.push_back({e, b.bundle});
      } else if (edge.successor >= 0) {
        above_edges_.push_back({edge.successor, -1});
      }
    }
  }
  for (int e = pos.events; e >= 0; e = events_[static_cast<std::size_t>(e)].next) {
    const Event& ev = events_[static_cast<std::size_t>(e)];
    if (!ev.minimum) continue;
    const LocalMinimum& m = tables_.minima[static_cast<std::size_t>(ev.id)];
    for (int i = 0; i < m.count; ++i) above_edges_.push_back({m.edges[i], -1});
  }
}

// Sorts the upward edges left to right (by slope) and bundles edges that run
// along one line: their separation at the lower of their tops is within the
// tolerance.  A bundle whose members all pass through unchanged is kept.
void VattiSweep::GroupAbove(double y) {
  auto by_slope = [&](const AboveEdge& a, const AboveEdge& b) {
    return edges_[static_cast<std::size_t>(a.edge)].dx <
           edges_[static_cast<std::size_t>(b.edge)].dx;
  };
  if (above_edges_.size() > 1) std::sort(above_edges_.begin(), above_edges_.end(), by_slope);
  above_.clear();
  double tol = tables_.tolerance;
  for (std::size_t i = 0; i < above_edges_.size();) {
    std::size_t end = i + 1;
    for (; end < above_edges_.size(); ++end) {
      const ClipEdge& a = edges_[static_cast<std::size_t>(above_edges_[end - 1].edge)];
      const ClipEdge& b = edges_[static_cast<std::size_t>(above_edges_[end].edge)];
      if ((b.dx - a.dx) * (std::min(a.top_y, b.top_y) - y) > tol) break;
    }
    int from = above_edges_[i].from;
    bool kept =
        from >= 0 && static_cast<int>(end - i) == bundles_[static_cast<std::size_t>(from)].count;
    for (std::size_t t = i; t < end && kept; ++t) kept = above_edges_[t].from == from;
    if (kept) {
      bundles_[static_cast<std::size_t>(from)].kept = true;
      above_.push_back(JunctionAbove{bundles_[static_cast<std::size_t>(from)].flip, from});
      i = end;
      continue;
    }
    int nb = NewBundle();
    Bundle& bundle = bundles_[static_cast<std::size_t>(nb)];
    bundle.rep = above_edges_[i].edge;
    bundle.top = std::numeric_limits<double>::infinity();
    for (; i < end; ++i) {
      ClipEdge& edge = edges_[static_cast<std::size_t>(above_edges_[i].edge)];
      edge.bundle = nb;
      edge.next_member = bundle.first_member;
      bundle.first_member = above_edges_[i].edge;
      ++bundle.count;
      bundle.flip ^= edge.flip;
      bundle.top = std::min(bundle.top, edge.top_y);
    }
    above_.push_back(JunctionAbove{bundle.flip, nb});
  }
}

// Replaces the position's run by the bundles above it (reusing slots in
// order), registers the new edges by the scan line of their tops and tests
// the new neighbours for crossings.
void VattiSweep::Restructure(int after, double y) {
  for (int s : old_slots_) {
    int b = aet_.Bundle(s);
    if (!bundles_[static_cast<std::size_t>(b)].kept) Retire(b);
  }
  std::size_t k = old_slots_.size();
  std::size_t j = above_.size();
  for (std::size_t i = 0; i < j; ++i) {
    Bundle& bundle = bundles_[static_cast<std::size_t>(above_[i].bundle)];
    bundle.kept = false;
    if (i < k) {
      bundle.slot = old_slots_[i];
      aet_.SetBundle(bundle.slot, above_[i].bundle);
    } else {
      bundle.slot = aet_.Insert(after, above_[i].bundle);
    }
  }
  for (std::size_t i = j; i < k; ++i) aet_.Erase(old_slots_[i]);
  for (const AboveEdge& a : above_edges_) {
    if (a.from >= 0) continue;
    ClipEdge& edge = edges_[static_cast<std::size_t>(a.edge)];
    edge.next_ending = ending_[static_cast<std::size_t>(edge.top_line)];
    ending_[static_cast<std::size_t>(edge.top_line)] = a.edge;
  }
  if (j > 0) {
    int first = bundles_[static_cast<std::size_t>(above_[0].bundle)].slot;
    int last = bundles_[static_cast<std::size_t>(above_[j - 1].bundle)].slot;
    CheckCrossing(aet_.Prev(first), first, y);
    CheckCrossing(last, aet_.Next(last), y);
  } else {
    int left = after != kNone ? aet_.Prev(after) : aet_.Last();
    CheckCrossing(left, after, y);
  }
}

// ---- Crossings ----

// Queues the crossing of two neighbouring bundles if they cross above y
// before either changes.  Crossings that rounding puts out of the beam are
// clamped into it; a pair already out of order crosses at y.
void VattiSweep::CheckCrossing(int left_slot, int right_slot, double y) {
  if (left_slot == kNone || right_slot == kNone) return;
  int a = aet_.Bundle(left_slot);
  int b = aet_.Bundle(right_slot);
  const Bundle& ba = bundles_[static_cast<std::size_t>(a)];
  const Bundle& bb = bundles_[static_cast<std::size_t>(b)];
  double y1 = std::min(ba.top, bb.top);
  if (!(y1 > y)) return;
  const ClipEdge& ea = edges_[static_cast<std::size_t>(ba.rep)];
  const ClipEdge& eb = edges_[static_cast<std::size_t>(bb.rep)];
  double d1 = eb.XAt(y1) - ea.XAt(y1);
  if (d1 >= -tables_.tolerance) return;
  double d0 = eb.XAt(y) - ea.XAt(y);
  double t = d0 <= 0 ? 0 : d0 / (d0 - d1);
  double yi = std::min(std::max(y + t * (y1 - y), y), y1);
  double xi = 0.5 * (ea.XAt(yi) + eb.XAt(yi));
  crossings_.push(Crossing{yi, xi, a, b, ba.stamp, bb.stamp});
}

void VattiSweep::ProcessCrossings(double limit) {
  while (!crossings_.empty() && crossings_.top().y <= limit) {
    Crossing c = crossings_.top();
    crossings_.pop();
    const Bundle& a = bundles_[static_cast<std::size_t>(c.a)];
    const Bundle& b = bundles_[static_cast<std::size_t>(c.b)];
    if (a.stamp != c.stamp_a || b.stamp != c.stamp_b || a.slot == kNone ||
        aet_.Next(a.slot) != b.slot) {
      continue;
    }
    ProcessCrossing(c);
  }
}

// A crossing is a junction with the pair below in one order and above in
// the other; the two bundles then exchange their slots.
void VattiSweep::ProcessCrossing(const Crossing& c) {
  Bundle& a = bundles_[static_cast<std::size_t>(c.a)];
  Bundle& b = bundles_[static_cast<std::size_t>(c.b)];
  int slot_a = a.slot;
  int slot_b = b.slot;
  int left = aet_.Prev(slot_a);
  std::uint8_t par = left != kNone ? bundles_[static_cast<std::size_t>(aet_.Bundle(left))].par : 0;
  JunctionState state{par, par, OutputChains::kNone};
  below_.assign({JunctionBelow{a.flip, a.end, c.a}, JunctionBelow{b.flip, b.end, c.b}});
  above_.assign({JunctionAbove{b.flip, c.b}, JunctionAbove{a.flip, c.a}});
  router_.Route(ClipVertex{c.x, c.y}, state, below_, above_);
  StoreRouted();
  if (state.end != OutputChains::kNone && stats_ != nullptr) ++stats_->repairs;
  a.slot = slot_b;
  b.slot = slot_a;
  aet_.SetBundle(slot_a, c.b);
  aet_.SetBundle(slot_b, c.a);
  if (stats_ != nullptr) ++stats_->crossings;
  CheckCrossing(aet_.Prev(slot_a), slot_a, c.y);
  CheckCrossing(slot_b, aet_.Next(slot_b), c.y);
}

}  // namespace lumetra
