// The sweep of the clipper: scan lines bottom to top over the local minima
// and scan-beam tables, edge crossings inside each scan beam.
//
// Active edges live in the active edge table grouped into bundles: edges
// that run along one line (shared boundaries of the two polygons, or of
// two contours) form one bundle, which flips the parity of every polygon that
// owns an odd number of its edges and counts as one boundary.  Each bundle
// keeps the parity mask of the area just right of it, so the fill anywhere
// is known from the nearest bundle to the left, and the chain end it holds
// when it is a boundary of the result.
//
// Work is done only where something happens, which keeps the sweep at
// O((n + k) log n) for n vertices and k crossings:
//  - On each scan line, the edges ending there (found through per-line lists)
//    and the bounds starting there are grouped by position; each position is
//    a junction (see junction_router.h) whose bundles below are replaced by
//    those above.  Between two positions the bundles are visited one by one
//    only where a horizontal edge lies on the line, because only there does
//    the fill above the line differ from the fill below.
//  - Between scan lines, two bundles that become neighbours are tested for a
//    crossing below the next change of either; crossings wait in a priority
//    queue and are processed bottom to top as junctions that swap the pair.
// The table order is authoritative: positions on a scan line are ordered by
// their rank in the table, not by recomputed coordinates.
#ifndef LUMETRA_CLIP_VATTI_SWEEP_H
#define LUMETRA_CLIP_VATTI_SWEEP_H

#include <cstdint>
#include <queue>
#include <vector>

#include "clip/active_edge_table.h"
#include "clip/clip_edges.h"
#include "clip/junction_router.h"
#include "clip/output_chains.h"

namespace lumetra {

class VattiSweep {
 public:
  // REQUIRES: tables and chains outlive the sweep.
  VattiSweep(ClipOperation op, EdgeTables& tables, OutputChains& chains, ClipStats* stats,
             ClipMemory* memory);

  void Run();

 private:
  struct Bundle {
    int first_member = -1;  // edges linked through ClipEdge::next_member
    int count = 0;
    int rep = -1;    // the edge whose line stands for the bundle
    double top = 0;  // lowest top of the members
    int slot = ActiveEdgeTable::kNone;
    int end = OutputChains::kNone;
    std::uint32_t stamp = 0;
    std::uint8_t flip = 0;
    std::uint8_t par = 0;
    bool kept = false;  // passes the current junction unchanged
  };
  struct Event {
    double x;
    int id;  // ending edge, or local minimum
    bool minimum;
    int next;
  };
  struct Position {
    double x;
    int events;  // first event; the rest linked through Event::next
    int last_event;
    int first, last;  // run of slots, or kNone for a gap
    int right;        // gap: the slot after it
    double lo, hi;    // ranks
    bool gap;
  };
  struct Crossing {
    double y, x;
    int a, b;  // bundles, a left of b below the crossing
    std::uint32_t stamp_a, stamp_b;
    bool operator>(const Crossing& o) const { return y != o.y ? y > o.y : x > o.x; }
  };

  double XOf(int bundle, double y) const;
  int NewBundle();
  void Retire(int bundle);

  void ProcessScanline(int line, double y);
  bool ContinueBound(int edge, double y);
  void GatherEvents(int line);
  void LocatePositions(double y);
  void LocateRun(Position& pos, double y);
  void OrderPositions();
  void SweepPositions(double y);
  void ProcessPosition(const Position& pos, double y, JunctionState& state);
  void PassThrough(int slot, double y, JunctionState& state);
  void CollectAbove(const Position& pos, double y);
  void GroupAbove(double y);
  void Restructure(int after, double y);
  void StoreRouted();

  void CheckCrossing(int left_slot, int right_slot, double y);
  void ProcessCrossings(double limit);
  void ProcessCrossing(const Crossing& c);

  EdgeTables& tables_;
  ClipVector<ClipEdge>& edges_;
  OutputChains& chains_;
  ClipStats* stats_;
  JunctionRouter router_;
  ActiveEdgeTable aet_;
  ClipVector<Bundle> bundles_;
  int free_bundle_ = -1;    // retired bundles, linked through first_member
  ClipVector<int> ending_;  // per scan line: first active edge ending there
  std::size_t next_minimum_ = 0;
  std::priority_queue<Crossing, ClipVector<Crossing>, std::greater<Crossing>> crossings_;

  // Scratch of the current scan line and junction.
  ClipVector<Event> events_;
  ClipVector<Position> positions_;
  ClipVector<int> anchors_;
  ClipVector<int> old_slots_;
  ClipVector<JunctionBelow> below_;
  ClipVector<JunctionAbove> above_;
  struct AboveEdge {
    int edge;
    int from;  // bundle it continues in, or -1 for an edge that starts here
  };
  ClipVector<AboveEdge> above_edges_;
};

}  // namespace lumetra

#endif  // LUMETRA_CLIP_VATTI_SWEEP_H
