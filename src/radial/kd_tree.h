// KdTree: the two-dimensional k-d tree of a radial search, built by
// insertion only, its nodes and names carved from a RadialArena.
//
// A sentinel root with x = y = -2147483648 and no name sits above every
// point, so every point lies in its right subtree.  Depths count from the
// sentinel (depth 0); nodes at even depths split on x, nodes at odd depths
// on y.  A point goes right at a node when its coordinate on the node's
// axis is greater than or equal to the node's, left when smaller; so the
// left subtree of a node holds only smaller values on its axis and the
// right subtree only greater or equal ones.  Each point is placed at the
// empty child slot where that walk from the sentinel ends.  Duplicate
// points are all kept.  The tree is not rebalanced: its shape follows the
// insertion order.
//
// Deferred linking.  Insert copies the name and reserves the node's room at
// once (so memory failures surface there) but only queues the point;
// Link() hangs the queued points into the tree before the tree is read.
// It builds exactly the tree that inserting them one by one in the same
// order would build -- the first queued point reaching an empty slot takes
// it, the others follow it down -- but does so by stable partitions of the
// queue at each node (streaming through memory) instead of one walk from
// the sentinel per point (one cache miss per level), which makes bulk
// loading many times faster.  The readers (Descend, root, depth) link
// first.
//
// Layout.  Names and nodes live in two arenas of the same kind.  A node's
// room is reserved at insertion, but the rooms are handed out in the order
// Link places the points: the two children of a node side by side -- in one
// 64-byte cache line whenever the rooms allow, the arena's blocks starting
// on a line -- and every subtree in one stretch of memory.  Searches that descend the tree
// thus touch far fewer cache lines than with nodes in insertion order.
//
// Coordinates are i32 (millionths of a degree for geographic data).
//
// Ownership: the tree owns its arenas and with them every node and name; node
// pointers stay valid until the tree is destroyed.  Thread rule: one thread
// at a time (even the readers change the tree when points are queued).
//
// Usage:
//   KdTree tree;
//   if (tree.Insert(x, y, "store 7") != KdTree::InsertResult::kInserted) { ... }
//   const RadialNode* parent = tree.Descend(qx, qy);
#ifndef LUMETRA_RADIAL_KD_TREE_H
#define LUMETRA_RADIAL_KD_TREE_H

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "radial/radial_arena.h"

namespace lumetra {

// One point of the tree (32 bytes, in the arena).
struct RadialNode {
  RadialNode* left;
  RadialNode* right;
  std::int32_t x;
  std::int32_t y;
  const char* name;  // NUL-terminated copy in the arena; null for the sentinel
};
static_assert(sizeof(RadialNode) == 32, "radial tree nodes are 32 bytes");

// Asks for a node's cache line ahead of its use: the walks push subtrees
// long before they reach them, and the hint overlaps those misses.
inline void Prefetch(const RadialNode* node) {
#if defined(__GNUC__)
  __builtin_prefetch(node);
#else
  (void)node;
#endif
}

class KdTree {
 public:
  static constexpr std::int32_t kSentinelCoordinate = std::numeric_limits<std::int32_t>::min();

  KdTree();
  KdTree(const KdTree&) = delete;
  KdTree& operator=(const KdTree&) = delete;

  // The outcome of an insertion.  After a failure the points inserted
  // before are intact and the failed one is not in the tree.
  enum class InsertResult { kInserted, kNameTooLong, kNoMemory };

  // Copies `name` (null reads as "") into the name arena, reserves the
  // node's room and queues the point for linking.  kNameTooLong when the name with its
  // terminator does not fit one arena block; kNoMemory when memory runs out.
  InsertResult Insert(std::int32_t x, std::int32_t y, const char* name);

  // Links the queued nodes (see the file comment).  Never fails: without
  // memory for the partition buffer it links them one by one.
  void Link();

  // The last node an insertion of (x, y) would pass on its way down: the
  // parent the point would get.  The sentinel for an empty tree.
  const RadialNode* Descend(std::int32_t x, std::int32_t y);

  const RadialNode* sentinel() const { return &sentinel_; }
  // The first real node (the sentinel's right child, split on y); null for
  // an empty tree.
  const RadialNode* root() {
    Link();
    return sentinel_.right;
  }
  // Greatest depth of any node (0 for an empty tree).
  std::size_t depth() {
    Link();
    return depth_;
  }
  // Points in the tree, queued ones included.
  std::size_t count() const { return linked_ + queue_.size(); }

  // True when (x, y) goes right at `node` at `depth` (see the file comment).
  static bool GoesRight(const RadialNode* node, std::size_t depth, std::int32_t x, std::int32_t y) {
    return (depth & 1) == 0 ? x >= node->x : y >= node->y;
  }

 private:
  // A queued point; its coordinates beside the name keep the partitions
  // streaming through the queue.
  struct Queued {
    Queued() {}  // left uninitialised: partition buffers are written before read
    Queued(std::int32_t qx, std::int32_t qy, const char* n) : x(qx), y(qy), name(n) {}
    std::int32_t x;
    std::int32_t y;
    const char* name;
  };
  // Queued points [begin, end) that go into the subtree of `node`, which
  // sits at `depth` and splits at `split` (its coordinate on its axis).  A
  // `fresh` node was placed by the running Link, so its child slots are
  // still empty and need not be read: the walk then touches each new node
  // only to store its children, instead of missing the cache on it.
  struct Task {
    RadialNode* node;
    std::size_t depth;
    std::size_t begin;
    std::size_t end;
    std::int32_t split;
    bool fresh;
  };

  // The next reserved node room, filled with `point` and no children.
  RadialNode* Place(const Queued& point);
  // Makes the next two rooms share a cache line when a swap with the room
  // after them can: for two siblings about to be placed.
  void AlignPair();
  // Hangs `point` below the sentinel by one walk down.
  void LinkOne(const Queued& point);
  // Splits the queue range of `task` at its node, stably: points going left
  // first.  Returns where the right part begins.
  std::size_t Partition(const Task& task, Queued* scratch);
  // Links the whole queue by partitions; needs a scratch buffer as long as
  // the queue and room for as many tasks as the queue holds points.
  void LinkByPartitions(std::vector<Queued>* scratch, std::vector<Task>* tasks);
  // Hands the range [begin, end) to the `child` slot of `task`'s node:
  // the first point takes an empty slot; what is left becomes a new task.
  void Descend(const Task& task, RadialNode** child, std::size_t begin, std::size_t end,
               std::vector<Task>* tasks);
  // The task of the subtree of `node` at `depth`.
  static Task MakeTask(RadialNode* node, std::size_t depth, std::size_t begin, std::size_t end,
                       std::int32_t x, std::int32_t y, bool fresh) {
    return Task{node, depth, begin, end, (depth & 1) == 0 ? x : y, fresh};
  }

  RadialArena names_;
  RadialArena nodes_;
  RadialNode sentinel_;
  std::vector<Queued> queue_;
  std::vector<RadialNode*> rooms_;  // reserved node rooms, not yet placed
  std::size_t placed_ = 0;          // rooms_ handed out by the running Link
  std::size_t depth_ = 0;
  std::size_t linked_ = 0;
};

}  // namespace lumetra

#endif  // LUMETRA_RADIAL_KD_TREE_H
