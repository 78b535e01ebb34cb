// The clipper's active edge table: the bundles of edges that the sweep line
// currently meets, in left-to-right order.
//
// Each slot holds one bundle index.  Slots form a doubly linked list (O(1)
// neighbours) and a treap with subtree sizes (expected O(log n) search by
// position, rank and insertion next to a slot).  The order is structural:
// it changes only by Insert, Erase and by exchanging the bundles of two
// slots, never by re-sorting, so it stays consistent however the
// floating-point positions round.
#ifndef LUMETRA_CLIP_ACTIVE_EDGE_TABLE_H
#define LUMETRA_CLIP_ACTIVE_EDGE_TABLE_H

#include <cstdint>
#include <vector>

#include "clip/clip_memory.h"

namespace lumetra {

class ActiveEdgeTable {
 public:
  static constexpr int kNone = -1;

  explicit ActiveEdgeTable(ClipMemory* memory) : slots_(memory) {}
  // Inserts a slot holding `bundle` just before `before` (kNone: at the
  // end) and returns it.
  int Insert(int before, int bundle);
  void Erase(int slot);
  // Number of slots left of `slot`.
  int Rank(int slot) const;
  // The first slot whose bundle lies at or right of `x`, by `x_of(bundle)`
  // (kNone when there is none).  REQUIRES: x_of is ascending along the list.
  template <class XOf>
  int LowerBound(double x, const XOf& x_of) const {
    int found = kNone;
    for (int t = root_; t != kNone;) {
      const Slot& s = slots_[static_cast<std::size_t>(t)];
      if (x_of(s.bundle) >= x) {
        found = t;
        t = s.left;
      } else {
        t = s.right;
      }
    }
    return found;
  }

  int First() const { return head_; }
  int Last() const { return tail_; }
  int Next(int slot) const { return At(slot).next; }
  int Prev(int slot) const { return At(slot).prev; }
  int Bundle(int slot) const { return At(slot).bundle; }
  void SetBundle(int slot, int bundle) { slots_[static_cast<std::size_t>(slot)].bundle = bundle; }
  bool Empty() const { return head_ == kNone; }
  int Count() const { return Size(root_); }

 private:
  struct Slot {
    int left, right, parent;
    int prev, next;
    int size;
    int bundle;
    std::uint32_t priority;
  };

  const Slot& At(int slot) const { return slots_[static_cast<std::size_t>(slot)]; }
  Slot& At(int slot) { return slots_[static_cast<std::size_t>(slot)]; }
  int Size(int slot) const { return slot == kNone ? 0 : At(slot).size; }
  int NewSlot(int bundle);
  void AttachLeaf(int slot, int parent, bool as_left);
  void RotateUp(int slot);
  void Resize(int slot) { At(slot).size = 1 + Size(At(slot).left) + Size(At(slot).right); }
  ClipVector<Slot> slots_;
  int root_ = kNone;
  int head_ = kNone;
  int tail_ = kNone;
  int free_ = kNone;  // free slots, linked through `next`
  std::uint32_t seed_ = 0x9E3779B9u;
};

}  // namespace lumetra

#endif  // LUMETRA_CLIP_ACTIVE_EDGE_TABLE_H
