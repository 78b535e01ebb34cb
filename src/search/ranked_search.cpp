#include "search/ranked_search.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "frame/error.h"
#include "search/border_distance.h"
#include "search/point_in_object.h"
#include "search/point_in_polygon_search.h"
#include "search/polygon_object.h"
#include "search/rect_search.h"

namespace {

std::uint32_t LowHalf(std::uint64_t position) { return static_cast<std::uint32_t>(position); }

// v rounded as trunc(v + 0.5), held inside the i32 range.
std::int64_t HalfSide(double v) {
  constexpr double kLimit = 4294967296.0;  // beyond every i32 difference
  const double rounded = std::trunc(v + 0.5);
  if (!(rounded < kLimit)) return static_cast<std::int64_t>(kLimit);
  if (!(rounded > 0.0)) return 0;
  return static_cast<std::int64_t>(rounded);
}

std::int32_t ClampToInt32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

using Node = SpatialPolygonNode;

void InsertionSort(Node* first, Node* last) {
  for (Node* i = first + (first != last ? 1 : 0); i < last; ++i) {
    Node moving = *i;
    Node* j = i;
    for (; j > first && Node::RanksBefore(moving, *(j - 1)); --j) *j = *(j - 1);
    *j = moving;
  }
}

// Quicksort with a median-of-three pivot; ranges below the insertion limit
// are finished by insertion.  The smaller side is sorted by recursion and
// the larger by the loop, so the depth stays logarithmic.
void PartitionSort(Node* first, Node* last) {
  while (static_cast<std::size_t>(last - first) >= RankedContainingSearch::kInsertionSortLimit) {
    Node* mid = first + (last - first) / 2;
    Node* back = last - 1;
    if (Node::RanksBefore(*mid, *first)) std::swap(*mid, *first);
    if (Node::RanksBefore(*back, *first)) std::swap(*back, *first);
    if (Node::RanksBefore(*back, *mid)) std::swap(*back, *mid);
    std::swap(*mid, *back);  // the median is the pivot, kept at the back
    Node* store = first;
    for (Node* p = first; p < back; ++p) {
      if (Node::RanksBefore(*p, *back)) std::swap(*p, *store++);
    }
    std::swap(*store, *back);
    if (store - first < last - (store + 1)) {
      PartitionSort(first, store);
      first = store + 1;
    } else {
      PartitionSort(store + 1, last);
      last = store;
    }
  }
  InsertionSort(first, last);
}

}  // namespace

// --------------------------------------------------------- SpatialPolygonNode

SpatialPolygonNode::~SpatialPolygonNode() = default;

void SpatialPolygonNode::Set(const char* name, std::uint32_t flags, std::int32_t signed_distance,
                             std::uint32_t low, std::uint32_t high) {
  std::snprintf(name_, sizeof name_, "%s", name != nullptr ? name : "");
  flags_ = flags;
  signed_distance_ = signed_distance;
  low_ = low;
  high_ = high;
}

bool SpatialPolygonNode::RanksBefore(const SpatialPolygonNode& a, const SpatialPolygonNode& b) {
  if (a.signed_distance_ != b.signed_distance_) return a.signed_distance_ > b.signed_distance_;
  return a.low_ < b.low_;
}

// ------------------------------------------------------------ NearbyObjectSet

NearbyObjectSet::NearbyObjectSet(std::int32_t x, std::int32_t y, std::int32_t maximum)
    : x_(x), y_(y), maximum_(maximum) {}

bool NearbyObjectSet::WasExamined(std::uint64_t position) {
  return seen_.FindInteger(LowHalf(position)) != nullptr;
}

int NearbyObjectSet::Examine(PolySearchInRectangle& search) {
  search.set_skip([this](std::uint64_t position) { return WasExamined(position); });
  char name[SpatialPolygonNode::kNameSize];
  int result = search.FindFirst(name, sizeof name);
  for (; result > 0; result = search.FindNext(name, sizeof name)) {
    PolygonObject* object = search.CurrentObject();
    if (object == nullptr || !object->LoadSegments()) {
      result = -1;
      break;
    }
    ExamineObject(*object, search.current_position(), name);
    if (!seen_.Insert(QPair(LowHalf(search.current_position()), 1))) {
      search.error().Set(104, "Unable to allocate the set of examined objects.", QERR_HERE);
      result = -1;
      break;
    }
  }
  // The search outlives this call as the handle's current search.
  search.set_skip(nullptr);
  return result < 0 ? -1 : 1;
}

void NearbyObjectSet::ExamineObject(PolygonObject& object, std::uint64_t position,
                                    const char* name) {
  const int distance = lumetra::BorderDistance(object, x_, y_);
  const bool inside =
      object.kind() == lumetra::ObjectKind::kRegion && (object.PointIn(x_, y_) & 1) != 0;
  std::uint32_t flags = inside ? SpatialPolygonNode::kInside : 0;
  if (distance >= 0 && distance <= maximum_) flags |= SpatialPolygonNode::kNear;
  if (flags == 0) return;
  const std::int32_t unsigned_distance = std::max(distance, 0);
  const std::int32_t signed_distance =
      flags == SpatialPolygonNode::kNear ? -unsigned_distance : unsigned_distance;
  nodes_.emplace_back();
  nodes_.back().Set(name, flags, signed_distance, LowHalf(position),
                    static_cast<std::uint32_t>(position >> 32));
}

// ---------------------------------------------------- RankedContainingSearch

RankedContainingSearch::RankedContainingSearch() = default;

RankedContainingSearch::~RankedContainingSearch() = default;

void RankedContainingSearch::Clear() {
  if (cleared_) return;
  cleared_ = true;
  list_.clear();
  cursor_ = 0;
  ring_ = -1;
  listed_.clear();
  set_.reset();
}

std::int32_t RankedContainingSearch::StartingDistance(std::int32_t maximum) {
  if (maximum < kSmallMaximum) return maximum;
  const std::int32_t q = maximum / 100;
  const std::int32_t q2 = q > 100 ? q / 10 : q;
  const double steps = std::floor(std::log(static_cast<double>(q2)) / std::log(kRingGrowth));
  const auto f = static_cast<std::int32_t>(std::trunc(std::pow(kRingGrowth, steps) + 0.5));
  return std::min(maximum, maximum / std::max(f, 1) + 1);
}

std::int32_t RankedContainingSearch::GrowRing(std::int32_t ring, std::int32_t maximum) {
  const double grown = std::trunc(static_cast<double>(ring) * kRingGrowth);
  std::int64_t next = grown < static_cast<double>(maximum) ? static_cast<std::int64_t>(grown)
                                                           : std::int64_t{maximum};
  if (next <= ring && ring < maximum) next = std::int64_t{ring} + 1;
  return static_cast<std::int32_t>(std::min<std::int64_t>(next, maximum));
}

lumetra::Rect RankedContainingSearch::RingRect(std::int32_t x, std::int32_t y, std::int32_t d) {
  const double units = static_cast<double>(d) * lumetra::kMicroDegreesPerFoot;
  const double cosine = std::cos(y * lumetra::kRadiansPerMicroDegree);
  const std::int64_t dy = HalfSide(units);
  const std::int64_t dx = cosine > 0.0 ? HalfSide(units / cosine) : HalfSide(1e300);
  return lumetra::Rect{ClampToInt32(x - dx), ClampToInt32(y - dy), ClampToInt32(x + dx),
                       ClampToInt32(y + dy)};
}

void RankedContainingSearch::Sort(std::vector<SpatialPolygonNode>* list, std::size_t from) {
  if (from >= list->size()) return;
  Node* first = list->data() + from;
  Node* last = list->data() + list->size();
  if (list->size() - from < kInsertionSortLimit) {
    InsertionSort(first, last);
  } else {
    PartitionSort(first, last);
  }
}

void RankedContainingSearch::Seek(std::uint64_t position) {
  if (!on_entry() || list_[cursor_].low() == LowHalf(position)) return;
  cursor_ = 0;
  while (cursor_ < list_.size() && list_[cursor_].position() != position) ++cursor_;
}

int RankedContainingSearch::AnswerCurrent(char* name, int name_length) const {
  const SpatialPolygonNode& entry = list_[cursor_];
  if (name != nullptr && name_length > 0) {
    std::snprintf(name, static_cast<std::size_t>(name_length), "%s", entry.name());
  }
  return static_cast<int>(entry.flags());
}

int RankedContainingSearch::FindFirst(std::int32_t x, std::int32_t y, std::int32_t maximum,
                                      const RectSearchStarter& start, char* name, int name_length) {
  Clear();
  cleared_ = false;
  maximum_ = maximum;
  x_ = x;
  y_ = y;
  const int result = NextRing(start);
  if (result < 0) return -1;
  if (on_entry()) return AnswerCurrent(name, name_length);
  return result;
}

int RankedContainingSearch::FindNext(const RectSearchStarter& start, char* name, int name_length) {
  if (cursor_ < list_.size()) ++cursor_;
  if (!on_entry() && NextRing(start) < 0) return -1;
  if (!on_entry()) return 0;
  return AnswerCurrent(name, name_length);
}

int RankedContainingSearch::NextRing(const RectSearchStarter& start) {
  const std::size_t handed_out = list_.size();
  if (ring_ >= maximum_) return 0;
  std::int32_t d = 0;
  if (ring_ < 0) {
    set_ = std::make_unique<NearbyObjectSet>(x_, y_, maximum_);
    listed_.clear();
    d = StartingDistance(maximum_);
  } else {
    d = GrowRing(ring_, maximum_);
  }
  for (;;) {
    PolySearchInRectangle* search = start(RingRect(x_, y_, d));
    if (search == nullptr || set_->Examine(*search) < 0) return -1;
    const std::vector<SpatialPolygonNode>& nodes = set_->nodes();
    listed_.resize(nodes.size(), false);
    // The list takes its initial capacity when a search first lists
    // something, so handles that never rank allocate nothing for it.
    if (list_.capacity() == 0) list_.reserve(kInitialCapacity);
    std::vector<std::size_t> added;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      const SpatialPolygonNode& node = nodes[i];
      const std::int64_t magnitude = std::abs(std::int64_t{node.signed_distance()});
      if (listed_[i]) continue;
      if (magnitude > d && (node.flags() & SpatialPolygonNode::kInside) == 0) continue;
      list_.push_back(node);
      added.push_back(i);
    }
    ring_ = d;
    if (!added.empty()) {
      Sort(&list_, handed_out);
      for (std::size_t i : added) listed_[i] = true;
      cursor_ = handed_out;
      return 1;
    }
    if (d >= maximum_) {
      cursor_ = list_.size();
      return 0;
    }
    d = GrowRing(d, maximum_);
  }
}
