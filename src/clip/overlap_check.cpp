#include "clip/overlap_check.h"

#include <lumetra/pip.h>

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

#include "frame/error.h"

namespace lumetra {

namespace {

constexpr char kNoMemory[] = "Unable to allocate required memory for the operation.";
constexpr char kBadPolygon[] = "Polygon points missing or point count negative.";

// A crossing found by the pair test must lie this far inside both edges'
// x ranges; crossings at an edge end are the sweep's business.
constexpr double kCrossingMargin = 1e-7;

int RegionIndex(OverlapRegion region) { return region == OverlapRegion::kA ? 0 : 1; }

std::int64_t Diff(std::int32_t a, std::int32_t b) {
  return static_cast<std::int64_t>(a) - static_cast<std::int64_t>(b);
}

// Sweep order: x1, then y1, then the rise, then the run.
bool SweepOrder(const OverlapEdge& a, const OverlapEdge& b) {
  if (a.x1 != b.x1) return a.x1 < b.x1;
  if (a.y1 != b.y1) return a.y1 < b.y1;
  const std::int64_t rise_a = Diff(a.y2, a.y1);
  const std::int64_t rise_b = Diff(b.y2, b.y1);
  if (rise_a != rise_b) return rise_a < rise_b;
  return Diff(a.x2, a.x1) < Diff(b.x2, b.x1);
}

// Keeps `active` equal to the edges with x1 <= x <= x2, for ascending x.
// Edges enter in their sorted x1 order and leave once x2 < x.
template <class X>
void AdvanceActive(const std::vector<OverlapEdge>& edges, X x, std::size_t& next,
                   std::vector<std::size_t>& active) {
  while (next < edges.size() && edges[next].x1 <= x) active.push_back(next++);
  active.erase(
      std::remove_if(active.begin(), active.end(), [&](std::size_t i) { return edges[i].x2 < x; }),
      active.end());
}

// ---- The sweep at one event x ----

enum class EventKind { kVertical, kStart, kEnd, kThrough };

struct SweepEvent {
  double y;
  EventKind kind;
  int region;  // 0 = A, 1 = B
};

// Appends the events that an active edge (x1 <= x <= x2) gives on line x.
void CollectEvents(const OverlapEdge& e, std::int32_t x, std::vector<SweepEvent>& out) {
  const int region = RegionIndex(e.region);
  if (e.vertical()) {
    out.push_back({static_cast<double>(e.min_y()), EventKind::kVertical, region});
    out.push_back({static_cast<double>(e.max_y()), EventKind::kVertical, region});
  } else if (e.x1 == x) {
    out.push_back({static_cast<double>(e.y1), EventKind::kStart, region});
  } else if (e.x2 == x) {
    out.push_back({static_cast<double>(e.y2), EventKind::kEnd, region});
  } else {
    const double y = e.horizontal() ? e.y1 : e.YAt(x);
    out.push_back({y, EventKind::kThrough, region});
  }
}

// Parity of both regions on both sides of one event line, walked upward.
// Events of one y form a group; the flags change only at the end of a group,
// so edges meeting at a vertex are judged together.
class SweepLine {
 public:
  explicit SweepLine(OverlapFlags& flags) : flags_(flags) {}

  void Add(const SweepEvent& e) {
    const int r = e.region;
    switch (e.kind) {
      case EventKind::kThrough:
        ++throughs_[r];
        marked_[r][kLeft] = marked_[r][kRight] = true;
        break;
      case EventKind::kStart:
        ++starts_[r];
        marked_[r][kRight] = true;
        break;
      case EventKind::kEnd:
        ++ends_[r];
        marked_[r][kLeft] = true;
        break;
      case EventKind::kVertical:
        break;
    }
  }

  void EndGroup() {
    for (int r = 0; r < 2; ++r) {
      if (marked_[r][kLeft] && ((ends_[r] + throughs_[r]) & 1) != 0) Flip(r, kLeft);
      if (marked_[r][kRight] && ((starts_[r] + throughs_[r]) & 1) != 0) Flip(r, kRight);
    }
    UpdateFlags(kLeft);
    UpdateFlags(kRight);
    ClearGroup();
  }

 private:
  enum Side { kLeft = 0, kRight = 1 };

  void Flip(int region, int side) { inside_[region][side] = !inside_[region][side]; }

  void SetOutside(int region) {
    if (region == 0) {
      flags_.a_outside = true;
    } else {
      flags_.b_outside = true;
    }
  }

  void UpdateFlags(int side) {
    const bool a = inside_[0][side];
    const bool b = inside_[1][side];
    if (a && b) flags_.overlap = true;
    if (a && !b) flags_.a_outside = true;
    if (b && !a) flags_.b_outside = true;
    // A boundary of one region alone at this y: it lies inside the other
    // region (their interiors meet there) or outside it (the marked region
    // reaches beyond the other).
    if (marked_[0][side] != marked_[1][side]) {
      const int marked = marked_[0][side] ? 0 : 1;
      if (inside_[1 - marked][side]) {
        flags_.overlap = true;
      } else {
        SetOutside(marked);
      }
    }
  }

  void ClearGroup() {
    for (int r = 0; r < 2; ++r) {
      marked_[r][kLeft] = marked_[r][kRight] = false;
      starts_[r] = ends_[r] = throughs_[r] = 0;
    }
  }

  OverlapFlags& flags_;
  bool inside_[2][2] = {{false, false}, {false, false}};  // [region][side]
  bool marked_[2][2] = {{false, false}, {false, false}};
  int starts_[2] = {0, 0};
  int ends_[2] = {0, 0};
  int throughs_[2] = {0, 0};
};

void WalkEvents(std::vector<SweepEvent>& events, OverlapFlags& flags) {
  std::sort(events.begin(), events.end(),
            [](const SweepEvent& a, const SweepEvent& b) { return a.y < b.y; });
  SweepLine line(flags);
  for (std::size_t i = 0; i < events.size(); ++i) {
    line.Add(events[i]);
    if (i + 1 == events.size() || events[i + 1].y != events[i].y) line.EndGroup();
  }
}

// ---- The pair-wise crossing test ----

// The x where the lines of two edges meet; neither is parallel to the other.
// A horizontal edge's line is y = y1 (its stored intercept is 0).
double CrossingX(const OverlapEdge& a, const OverlapEdge& b) {
  if (b.vertical()) return b.x1;
  if (a.vertical()) return a.x1;
  if (a.horizontal()) return (a.y1 - b.intercept) / b.slope;
  if (b.horizontal()) return (b.y1 - a.intercept) / a.slope;
  return (b.intercept - a.intercept) / (a.slope - b.slope);
}

bool StrictlyInsideRun(double x, const OverlapEdge& e) {
  return x > e.x1 + kCrossingMargin && x < e.x2 - kCrossingMargin;
}

// ---- The scan-line percentage ----

struct ScanCut {
  double y;
  int region;
};

// Appends the crossing an active edge makes with scan line x, if any.  An
// end on the line counts as the line just right of x sees it.
void CollectCut(const OverlapEdge& e, double x, std::vector<ScanCut>& out) {
  const int region = RegionIndex(e.region);
  if (x == e.x2) return;
  if (x == e.x1) {
    out.push_back({static_cast<double>(e.y1), region});
  } else {
    out.push_back({e.horizontal() ? e.y1 : e.YAt(x), region});
  }
}

struct LineLengths {
  double inside_a = 0;
  double inside_both = 0;
};

// Walks the sorted cuts of one line with even-odd parity per region.
void MeasureLine(std::vector<ScanCut>& cuts, LineLengths& sums) {
  std::sort(cuts.begin(), cuts.end(), [](const ScanCut& a, const ScanCut& b) { return a.y < b.y; });
  bool inside[2] = {false, false};
  double previous_y = 0;
  for (const ScanCut& cut : cuts) {
    const double length = cut.y - previous_y;
    if (inside[0]) sums.inside_a += length;
    if (inside[0] && inside[1]) sums.inside_both += length;
    inside[cut.region] = !inside[cut.region];
    previous_y = cut.y;
  }
}

}  // namespace

// ---- Polygon lists, boxes, edges ----

OverlapPolygonList::OverlapPolygonList(OverlapRegion region) : region_(region) {
  entries_.reserve(kInitialCapacity);
}

void OverlapPolygonList::Add(const int* xy, std::size_t num_points) {
  std::vector<OverlapPoint> points;
  if (count_ < entries_.size()) points.swap(entries_[count_].points);  // reuse storage
  try {
    points.resize(num_points);
  } catch (...) {
    if (count_ < entries_.size()) points.swap(entries_[count_].points);
    throw;
  }
  for (std::size_t i = 0; i < num_points; ++i) points[i] = {xy[2 * i], xy[2 * i + 1]};
  if (count_ == entries_.size()) {
    if (entries_.size() == entries_.capacity()) entries_.reserve(2 * entries_.capacity());
    entries_.push_back(OverlapPolygon{std::move(points), region_});
  } else {
    entries_[count_].points.swap(points);
    entries_[count_].region = region_;
  }
  ++count_;
}

void OverlapBox::Include(OverlapPoint p) {
  if (empty) {
    min_x = max_x = p.x;
    min_y = max_y = p.y;
    empty = false;
    return;
  }
  min_x = std::min(min_x, p.x);
  min_y = std::min(min_y, p.y);
  max_x = std::max(max_x, p.x);
  max_y = std::max(max_y, p.y);
}

bool OverlapBox::Within(const OverlapBox& outer) const {
  return min_x >= outer.min_x && min_y >= outer.min_y && max_x <= outer.max_x &&
         max_y <= outer.max_y;
}

OverlapEdge OverlapEdge::FromSide(OverlapPoint from, OverlapPoint to, OverlapRegion region) {
  if (to.x < from.x || (to.x == from.x && to.y < from.y)) std::swap(from, to);
  OverlapEdge e{from.x, from.y, to.x, to.y, 0.0, 0.0, region};
  if (e.vertical()) {
    e.intercept = e.x1;
  } else if (!e.horizontal()) {
    e.slope = static_cast<double>(Diff(e.y2, e.y1)) / static_cast<double>(Diff(e.x2, e.x1));
    e.intercept = e.y1 - e.x1 * e.slope;
  }
  return e;
}

double OverlapEdge::YAt(double x) const {
  // Extended precision keeps rise * offset exact for integer x, so an exact
  // integer answer comes out exactly and vertices on an edge are seen as such.
  const long double rise = static_cast<long double>(Diff(y2, y1));
  const long double run = static_cast<long double>(Diff(x2, x1));
  const long double offset = static_cast<long double>(x) - x1;
  return static_cast<double>(y1 + rise * offset / run);
}

bool OverlapEdgesCross(const OverlapEdge& a, const OverlapEdge& b) {
  if (!(a.x1 < b.x2 && b.x1 < a.x2)) return false;
  if (!(a.min_y() < b.max_y() && b.min_y() < a.max_y())) return false;
  if (a.horizontal() && b.horizontal()) return false;
  if (a.vertical() && b.vertical()) return false;
  if (a.slope == b.slope) return false;
  const double x = CrossingX(a, b);
  return StrictlyInsideRun(x, a) && StrictlyInsideRun(x, b);
}

bool AnyRegionEdgesCross(const std::vector<OverlapEdge>& edges) {
  for (const OverlapEdge& a : edges) {
    if (a.region != OverlapRegion::kA) continue;
    for (const OverlapEdge& b : edges) {
      // Sorted by x1: no later edge starts left of a.x2.
      if (b.x1 >= a.x2) break;
      if (b.region == OverlapRegion::kB && OverlapEdgesCross(a, b)) return true;
    }
  }
  return false;
}

// ---- The check ----

OverlapCheck::OverlapCheck(pipError& error) : error_(error) {}

int OverlapCheck::AddPolygon(OverlapRegion region, int num_points, const int* xy) {
  if (xy == nullptr || num_points < 0) {
    error_.Report(PIP_ERR_INVALID_DATA, kBadPolygon, QERR_HERE);
    return -1;
  }
  OverlapPolygonList& list = region == OverlapRegion::kA ? region_a_ : region_b_;
  try {
    list.Add(xy, static_cast<std::size_t>(num_points));
  } catch (const std::bad_alloc&) {
    // Dropped without a report; the list is unchanged.
  } catch (const std::length_error&) {
  }
  return 1;
}

void OverlapCheck::ClearRegion(OverlapRegion region) {
  (region == OverlapRegion::kA ? region_a_ : region_b_).Clear();
}

void OverlapCheck::ClearAll() {
  region_a_.Clear();
  region_b_.Clear();
}

const OverlapPolygonList& OverlapCheck::polygons(OverlapRegion region) const {
  return region == OverlapRegion::kA ? region_a_ : region_b_;
}

const OverlapBox& OverlapCheck::box(OverlapRegion region) const {
  return region == OverlapRegion::kA ? box_a_ : box_b_;
}

int OverlapCheck::Check() { return Run(0, nullptr); }

int OverlapCheck::CheckEx(int resolution, double* percent) { return Run(resolution, percent); }

int OverlapCheck::Run(int resolution, double* percent) {
  try {
    const OverlapResult result = Classify();
    if (percent != nullptr) *percent = PercentFor(result, resolution);
    return static_cast<int>(result);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  error_.Report(PIP_ERR_NO_MEMORY, kNoMemory, QERR_HERE);
  return static_cast<int>(OverlapResult::kFailure);
}

OverlapResult OverlapCheck::Classify() {
  edges_.clear();
  event_xs_.clear();
  ComputeBoxes();
  // A region without points has no area to meet the other.
  if (box_a_.empty || box_b_.empty || BoxesApart()) return OverlapResult::kApart;
  BuildSweepEdges(XWindow());
  OverlapFlags flags = InitialFlags();
  RunSweep(flags);
  if (flags.overlap && flags.a_outside && flags.b_outside) return OverlapResult::kPartial;
  OverlapResult result = OverlapResult::kApart;
  if (flags.overlap) {
    if (flags.a_outside) {
      result = OverlapResult::kBInsideA;
    } else if (flags.b_outside) {
      result = OverlapResult::kAInsideB;
    } else {
      result = OverlapResult::kEqual;
    }
  }
  return AnyRegionEdgesCross(edges_) ? OverlapResult::kPartial : result;
}

void OverlapCheck::ComputeBoxes() {
  box_a_ = OverlapBox();
  box_b_ = OverlapBox();
  for (std::size_t i = 0; i < region_a_.count(); ++i) {
    for (const OverlapPoint& p : region_a_[i].points) box_a_.Include(p);
  }
  for (std::size_t i = 0; i < region_b_.count(); ++i) {
    for (const OverlapPoint& p : region_b_[i].points) box_b_.Include(p);
  }
}

// Boxes that only touch count as apart.
bool OverlapCheck::BoxesApart() const {
  const OverlapBox& a = box_a_;
  const OverlapBox& b = box_b_;
  return (b.min_x >= a.max_x && b.min_x > a.min_x) || b.max_x <= a.min_x ||
         (b.min_y >= a.max_y && b.min_y > a.min_y) || b.max_y <= a.min_y;
}

OverlapCheck::Window OverlapCheck::XWindow() const {
  Window w{std::max(box_a_.min_x, box_b_.min_x), std::min(box_a_.max_x, box_b_.max_x)};
  if (w.low > w.high) std::swap(w.low, w.high);
  return w;
}

std::size_t OverlapCheck::SideCount() const {
  std::size_t count = 0;
  for (const OverlapPolygonList* list : {&region_a_, &region_b_}) {
    for (std::size_t i = 0; i < list->count(); ++i) count += (*list)[i].points.size();
  }
  return count;
}

void OverlapCheck::ReserveEdges(std::vector<OverlapEdge>& edges, std::size_t count) const {
  if (count > edge_limit_) throw std::bad_alloc();
  edges.clear();
  edges.reserve(count);
}

void OverlapCheck::BuildSweepEdges(const Window& window) {
  const std::size_t sides = SideCount();
  ReserveEdges(edges_, sides);
  event_xs_.reserve(sides);
  AddSweepEdges(region_a_, window);
  AddSweepEdges(region_b_, window);
  std::sort(edges_.begin(), edges_.end(), SweepOrder);
  std::sort(event_xs_.begin(), event_xs_.end());
}

// Keeps the sides that reach into the window; each kept side's first point
// becomes an event x when it lies inside the window.
void OverlapCheck::AddSweepEdges(const OverlapPolygonList& list, const Window& window) {
  for (std::size_t p = 0; p < list.count(); ++p) {
    const std::vector<OverlapPoint>& points = list[p].points;
    for (std::size_t i = 0; i < points.size(); ++i) {
      const OverlapPoint from = points[i];
      const OverlapPoint to = points[(i + 1) % points.size()];
      if (from.x < window.low && to.x < window.low) continue;
      if (from.x > window.high && to.x > window.high) continue;
      edges_.push_back(OverlapEdge::FromSide(from, to, list.region()));
      if (from.x >= window.low && from.x <= window.high) event_xs_.push_back(from.x);
    }
  }
}

// A region whose box is not within the other's has area outside it.
OverlapFlags OverlapCheck::InitialFlags() const {
  OverlapFlags flags;
  flags.a_outside = !box_a_.Within(box_b_);
  flags.b_outside = !box_b_.Within(box_a_);
  return flags;
}

void OverlapCheck::RunSweep(OverlapFlags& flags) {
  std::vector<std::size_t> active;
  std::vector<SweepEvent> events;
  std::size_t next = 0;
  for (std::size_t i = 0; i < event_xs_.size(); ++i) {
    const std::int32_t x = event_xs_[i];
    if (i > 0 && event_xs_[i - 1] == x) continue;
    AdvanceActive(edges_, x, next, active);
    events.clear();
    for (std::size_t e : active) CollectEvents(edges_[e], x, events);
    WalkEvents(events, flags);
    if (flags.overlap && flags.a_outside && flags.b_outside) return;
  }
}

double OverlapCheck::PercentFor(OverlapResult result, int resolution) {
  switch (result) {
    case OverlapResult::kAInsideB:
    case OverlapResult::kEqual:
      return 100.0;
    case OverlapResult::kBInsideA:
    case OverlapResult::kPartial:
      return resolution < 1 ? -1.0 : ScanLinePercent(resolution);
    default:
      return 0.0;
  }
}

// Every non-vertical side of both regions, whether or not it reaches into
// the sweep's window: the scan lines cover all of A's box.
void OverlapCheck::BuildScanEdges() {
  ReserveEdges(scan_edges_, SideCount());
  for (const OverlapPolygonList* list : {&region_a_, &region_b_}) {
    for (std::size_t p = 0; p < list->count(); ++p) {
      const std::vector<OverlapPoint>& points = (*list)[p].points;
      for (std::size_t i = 0; i < points.size(); ++i) {
        const OverlapPoint to = points[(i + 1) % points.size()];
        if (points[i].x == to.x) continue;
        scan_edges_.push_back(OverlapEdge::FromSide(points[i], to, list->region()));
      }
    }
  }
  std::sort(scan_edges_.begin(), scan_edges_.end(), SweepOrder);
}

// Lines at x = A.min_x + (k + 1/2) * step for step = A's width / resolution.
double OverlapCheck::ScanLinePercent(int resolution) {
  BuildScanEdges();
  const double step = static_cast<double>(Diff(box_a_.max_x, box_a_.min_x)) / resolution;
  std::vector<std::size_t> active;
  std::vector<ScanCut> cuts;
  std::size_t next = 0;
  LineLengths sums;
  for (int k = 0; k < resolution; ++k) {
    const double x = box_a_.min_x + (k + 0.5) * step;
    if (!(x < box_a_.max_x)) break;
    AdvanceActive(scan_edges_, x, next, active);
    cuts.clear();
    for (std::size_t e : active) CollectCut(scan_edges_[e], x, cuts);
    MeasureLine(cuts, sums);
  }
  if (sums.inside_a > 0 && sums.inside_both > 0) {
    return sums.inside_both / sums.inside_a * 100.0;
  }
  return 0.0;
}

}  // namespace lumetra
