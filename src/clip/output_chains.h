// Output contours under construction.
//
// A chain is an open vertex list, front to back, that keeps the result's
// covered area on its left.  During the sweep each end of an open chain is
// held by exactly one boundary of the result (a bundle of edges, or a
// horizontal run on the current scan line): the boundary with the covered
// area on its right holds a front end and adds the points it meets in front,
// the one with the covered area on its left holds a back end.  Where two
// ends meet, the chains are joined or, when they are the two ends of one
// chain, the contour is closed.
//
// Ends are small records referred to by index: joining two chains moves the
// surviving end of the absorbed chain over in O(1), and whoever holds an end
// keeps its index.
#ifndef LUMETRA_CLIP_OUTPUT_CHAINS_H
#define LUMETRA_CLIP_OUTPUT_CHAINS_H

#include <vector>

#include "clip/clip_memory.h"
#include "clip/polygon_clip.h"

namespace lumetra {

class OutputChains {
 public:
  static constexpr int kNone = -1;

  // `expected_points`: room to reserve for the output vertices.
  OutputChains(ClipStats* stats, std::size_t expected_points, ClipMemory* memory)
      : points_(memory),
        ends_(memory),
        chains_(memory),
        scratch_(memory),
        ring_(memory),
        stats_(stats) {
    points_.reserve(expected_points);
  }

  // Starts a chain holding only p; returns its front and back ends.
  void Start(ClipVertex p, int* front_end, int* back_end);
  // Adds p at the end `end` (in front of a front end, behind a back end).
  void Add(int end, ClipVertex p);
  // Links the chain ending at `back_end`, then p, then the chain starting at
  // `front_end`: two chains become one, or one chain is closed.  Ends of the
  // wrong kind are accepted (a chain is reversed to fit) and counted as
  // repairs.
  void Join(int back_end, ClipVertex p, int front_end);

  // Appends the finished contours to `result`: repeated vertices and spikes
  // removed, contours under three vertices or of zero area dropped, the hole
  // flag set for clockwise contours.  Chains left open are closed (a repair).
  void Collect(ClipPolygon* result);

 private:
  struct Point {
    ClipVertex v;
    int prev, next;
  };
  struct End {
    int chain;
    bool front;
  };
  struct Chain {
    int front_point, back_point;
    int front_end, back_end;
    bool closed = false;
    bool alive = true;
  };

  int NewPoint(ClipVertex p);
  void Reverse(int chain);
  void Repair() {
    if (stats_ != nullptr) ++stats_->repairs;
  }
  ClipVector<Point> points_;
  ClipVector<End> ends_;
  ClipVector<Chain> chains_;
  ClipVector<ClipVertex> scratch_, ring_;  // of Collect
  ClipStats* stats_;
};

}  // namespace lumetra

#endif  // LUMETRA_CLIP_OUTPUT_CHAINS_H
