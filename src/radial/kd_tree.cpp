#include "radial/kd_tree.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace lumetra {

KdTree::KdTree() : sentinel_{nullptr, nullptr, kSentinelCoordinate, kSentinelCoordinate, nullptr} {}

KdTree::InsertResult KdTree::Insert(std::int32_t x, std::int32_t y, const char* name) {
  if (name == nullptr) name = "";
  const std::size_t size = std::strlen(name) + 1;
  if (size >= RadialArena::kBlockSize) return InsertResult::kNameTooLong;
  try {
    if (queue_.size() == queue_.capacity()) {
      const std::size_t room = std::max<std::size_t>(64, 2 * queue_.size());
      queue_.reserve(room);
      rooms_.reserve(room);
    }
  } catch (const std::bad_alloc&) {
    return InsertResult::kNoMemory;
  }
  void* name_piece = names_.Allocate(size);
  if (name_piece == nullptr) return InsertResult::kNoMemory;
  std::memcpy(name_piece, name, size);
  void* node_piece = nodes_.Allocate(sizeof(RadialNode));
  if (node_piece == nullptr) return InsertResult::kNoMemory;
  // Room reserved above for both: neither push can throw.
  rooms_.push_back(static_cast<RadialNode*>(node_piece));
  queue_.emplace_back(x, y, static_cast<const char*>(name_piece));
  return InsertResult::kInserted;
}

RadialNode* KdTree::Place(const Queued& point) {
  return new (rooms_[placed_++]) RadialNode{nullptr, nullptr, point.x, point.y, point.name};
}

namespace {

bool SameLine(const void* a, const void* b) {
  return reinterpret_cast<std::uintptr_t>(a) / 64 == reinterpret_cast<std::uintptr_t>(b) / 64;
}

}  // namespace

void KdTree::AlignPair() {
  // Rooms are handed out in any order: a room left at the second half of a
  // line moves on behind the pair and serves a single child later.
  const std::size_t next = placed_;
  if (next + 2 >= rooms_.size() || SameLine(rooms_[next], rooms_[next + 1])) return;
  if (SameLine(rooms_[next + 1], rooms_[next + 2])) std::swap(rooms_[next], rooms_[next + 2]);
}

void KdTree::LinkOne(const Queued& point) {
  RadialNode* node = &sentinel_;
  std::size_t depth = 0;
  for (;;) {
    RadialNode** slot = GoesRight(node, depth, point.x, point.y) ? &node->right : &node->left;
    ++depth;
    if (*slot == nullptr) {
      *slot = Place(point);
      break;
    }
    node = *slot;
  }
  depth_ = std::max(depth_, depth);
}

std::size_t KdTree::Partition(const Task& task, Queued* scratch) {
  Queued* items = queue_.data();
  std::size_t left_end = task.begin;
  std::size_t right_count = 0;
  // Branch-free: the split is a coin toss for random points, and
  // mispredicted branches would cost more than the double store.
  const bool on_x = (task.depth & 1) == 0;
  for (std::size_t i = task.begin; i < task.end; ++i) {
    const Queued item = items[i];
    const std::size_t right = (on_x ? item.x : item.y) >= task.split ? 1 : 0;
    items[left_end] = item;
    scratch[right_count] = item;
    left_end += 1 - right;
    right_count += right;
  }
  std::copy(scratch, scratch + right_count, items + left_end);
  return left_end;
}

void KdTree::Descend(const Task& task, RadialNode** child, std::size_t begin, std::size_t end,
                     std::vector<Task>* tasks) {
  if (begin == end) return;
  const std::size_t depth = task.depth + 1;
  RadialNode* existing = task.fresh ? nullptr : *child;
  if (existing != nullptr) {
    tasks->push_back(MakeTask(existing, depth, begin, end, existing->x, existing->y, false));
    return;
  }
  const Queued& first = queue_[begin];
  RadialNode* placed = Place(first);
  *child = placed;
  depth_ = std::max(depth_, depth);
  if (begin + 1 < end) {
    tasks->push_back(MakeTask(placed, depth, begin + 1, end, first.x, first.y, true));
  }
}

void KdTree::LinkByPartitions(std::vector<Queued>* scratch, std::vector<Task>* tasks) {
  // Depth-first, so that each subtree gets one stretch of rooms.  Every task
  // on the stack holds points of its own, so the stack never outgrows the
  // room reserved for it.
  tasks->push_back(
      MakeTask(&sentinel_, 0, 0, queue_.size(), kSentinelCoordinate, kSentinelCoordinate, false));
  while (!tasks->empty()) {
    const Task task = tasks->back();
    tasks->pop_back();
    const std::size_t middle = Partition(task, scratch->data());
    const bool left_new = task.begin < middle && (task.fresh || task.node->left == nullptr);
    const bool right_new = middle < task.end && (task.fresh || task.node->right == nullptr);
    if (left_new && right_new) AlignPair();
    Descend(task, &task.node->right, middle, task.end, tasks);
    Descend(task, &task.node->left, task.begin, middle, tasks);
  }
}

void KdTree::Link() {
  if (queue_.empty()) return;
  std::vector<Queued> scratch;
  std::vector<Task> tasks;
  bool buffered = false;
  try {
    scratch.resize(queue_.size());
    tasks.reserve(queue_.size() + 1);
    buffered = true;
  } catch (const std::bad_alloc&) {
  }
  placed_ = 0;
  if (buffered) {
    LinkByPartitions(&scratch, &tasks);
  } else {
    for (const Queued& point : queue_) LinkOne(point);
  }
  linked_ += queue_.size();
  // The buffers are sized for bulk loads: give their memory back.
  std::vector<Queued>().swap(queue_);
  std::vector<RadialNode*>().swap(rooms_);
}

const RadialNode* KdTree::Descend(std::int32_t x, std::int32_t y) {
  Link();
  const RadialNode* node = &sentinel_;
  std::size_t depth = 0;
  for (;;) {
    const RadialNode* next = GoesRight(node, depth, x, y) ? node->right : node->left;
    if (next == nullptr) return node;
    node = next;
    ++depth;
  }
}

}  // namespace lumetra
