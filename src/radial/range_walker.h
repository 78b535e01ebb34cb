// RangeWalker: the walk of a KdTree that yields, one at a time, the points
// inside a rectangle (edges included), in tree order: a node before its
// subtrees, the left subtree before the right.
//
// The walk keeps an explicit stack of (node, axis) pairs instead of
// recursing, so it neither recurses nor allocates per visited node: the
// stack gets room for 2 x depth + 2 entries when a walk starts, which a
// depth-first walk that pushes at most two children per popped node never
// outgrows.  A subtree is entered only when the rectangle can reach it: the
// right subtree of a node holds values >= the node's on its axis, the left
// subtree values below it.
//
// The walker reads the tree; the tree must outlive the walk and gain no
// nodes while it runs (KdTree queues insertions until the next search, so
// this holds for radial searches).  Thread rule: one thread at a time.
//
// Usage:
//   RangeWalker walker;
//   walker.Start(tree, RadialRect{0, 0, 100, 100});
//   while (const RadialNode* node = walker.Next()) { ... }
#ifndef LUMETRA_RADIAL_RANGE_WALKER_H
#define LUMETRA_RADIAL_RANGE_WALKER_H

#include <cstdint>
#include <vector>

#include "radial/kd_tree.h"

namespace lumetra {

// A rectangle of tree coordinates; inclusive on every edge.
struct RadialRect {
  std::int32_t min_x;
  std::int32_t min_y;
  std::int32_t max_x;
  std::int32_t max_y;

  bool Contains(std::int32_t x, std::int32_t y) const {
    return min_x <= x && x <= max_x && min_y <= y && y <= max_y;
  }
  bool operator==(const RadialRect& o) const {
    return min_x == o.min_x && min_y == o.min_y && max_x == o.max_x && max_y == o.max_y;
  }
};

// The rectangle a search walks for the window [x1, x2] x [y1, y2]: each
// bound truncated toward zero and clamped to the i32 range -- in geographic
// mode to -180000000 .. 180000000 for x and -90000000 .. 90000000 for y --
// and the corners ordered per axis, so they may be given in any order.
RadialRect SearchWindow(double x1, double y1, double x2, double y2, bool geographic);

class RangeWalker {
 public:
  // Starts a walk of `tree` over `rect`, ending any walk under way.  Links
  // the tree's queued points first.  Throws std::bad_alloc when the stack
  // cannot get its room.
  void Start(KdTree& tree, const RadialRect& rect);

  // The next point inside the rectangle; null when the walk is done (and on
  // every later call).
  const RadialNode* Next() {
    while (!stack_.empty()) {
      const Entry entry = stack_.back();
      stack_.pop_back();
      const RadialNode* node = entry.node;
      if (entry.on_x) {
        Push(node->right, node->x <= rect_.max_x, false);
        Push(node->left, rect_.min_x < node->x, false);
      } else {
        Push(node->right, node->y <= rect_.max_y, true);
        Push(node->left, rect_.min_y < node->y, true);
      }
      if (rect_.Contains(node->x, node->y)) return node;
    }
    return nullptr;
  }

  const RadialRect& rect() const { return rect_; }
  // Room of the stack, in entries (for the tests of the no-allocation rule).
  std::size_t stack_capacity() const { return stack_.capacity(); }

 private:
  struct Entry {
    const RadialNode* node;
    bool on_x;  // the node splits on x (even depth)
  };

  void Push(const RadialNode* child, bool reachable, bool child_on_x) {
    if (child != nullptr && reachable) {
      Prefetch(child);
      stack_.push_back(Entry{child, child_on_x});
    }
  }

  std::vector<Entry> stack_;
  RadialRect rect_{0, 0, -1, -1};
};

}  // namespace lumetra

#endif  // LUMETRA_RADIAL_RANGE_WALKER_H
