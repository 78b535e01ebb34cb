#include "clip/active_edge_table.h"

namespace lumetra {

int ActiveEdgeTable::NewSlot(int bundle) {
  // xorshift32: priorities only need to look random to keep the treap shallow.
  seed_ ^= seed_ << 13;
  seed_ ^= seed_ >> 17;
  seed_ ^= seed_ << 5;
  Slot slot{kNone, kNone, kNone, kNone, kNone, 1, bundle, seed_};
  if (free_ != kNone) {
    int index = free_;
    free_ = At(index).next;
    At(index) = slot;
    return index;
  }
  slots_.push_back(slot);
  return static_cast<int>(slots_.size()) - 1;
}

void ActiveEdgeTable::AttachLeaf(int slot, int parent, bool as_left) {
  At(slot).parent = parent;
  if (parent == kNone) {
    root_ = slot;
    return;
  }
  (as_left ? At(parent).left : At(parent).right) = slot;
  for (int t = parent; t != kNone; t = At(t).parent) ++At(t).size;
}

int ActiveEdgeTable::Insert(int before, int bundle) {
  int slot = NewSlot(bundle);
  int prev = before == kNone ? tail_ : At(before).prev;
  At(slot).prev = prev;
  At(slot).next = before;
  (prev == kNone ? head_ : At(prev).next) = slot;
  (before == kNone ? tail_ : At(before).prev) = slot;
  // The in-order predecessor has no right child unless `before` has no left
  // one, so the new slot becomes a leaf in one of these two places.
  if (before != kNone && At(before).left == kNone) {
    AttachLeaf(slot, before, true);
  } else {
    AttachLeaf(slot, prev, false);
  }
  while (At(slot).parent != kNone && At(slot).priority > At(At(slot).parent).priority) {
    RotateUp(slot);
  }
  return slot;
}

void ActiveEdgeTable::RotateUp(int slot) {
  Slot& s = At(slot);
  int parent = s.parent;
  Slot& p = At(parent);
  int grand = p.parent;
  if (p.left == slot) {
    p.left = s.right;
    if (s.right != kNone) At(s.right).parent = parent;
    s.right = parent;
  } else {
    p.right = s.left;
    if (s.left != kNone) At(s.left).parent = parent;
    s.left = parent;
  }
  p.parent = slot;
  s.parent = grand;
  if (grand == kNone) {
    root_ = slot;
  } else if (At(grand).left == parent) {
    At(grand).left = slot;
  } else {
    At(grand).right = slot;
  }
  Resize(parent);
  Resize(slot);
}

void ActiveEdgeTable::Erase(int slot) {
  // Rotate the slot down to a leaf, then cut it off.
  for (;;) {
    int l = At(slot).left;
    int r = At(slot).right;
    if (l == kNone && r == kNone) break;
    int child = (r == kNone || (l != kNone && At(l).priority > At(r).priority)) ? l : r;
    RotateUp(child);
  }
  int parent = At(slot).parent;
  if (parent == kNone) {
    root_ = kNone;
  } else {
    (At(parent).left == slot ? At(parent).left : At(parent).right) = kNone;
    for (int t = parent; t != kNone; t = At(t).parent) --At(t).size;
  }
  int prev = At(slot).prev;
  int next = At(slot).next;
  (prev == kNone ? head_ : At(prev).next) = next;
  (next == kNone ? tail_ : At(next).prev) = prev;
  At(slot).next = free_;
  free_ = slot;
}

int ActiveEdgeTable::Rank(int slot) const {
  int rank = Size(At(slot).left);
  for (int t = slot; At(t).parent != kNone; t = At(t).parent) {
    int parent = At(t).parent;
    if (At(parent).right == t) rank += Size(At(parent).left) + 1;
  }
  return rank;
}

}  // namespace lumetra
