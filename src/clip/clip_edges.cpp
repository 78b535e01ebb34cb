#include "clip/clip_edges.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "clip/box_index.h"

namespace lumetra {
namespace {

thread_local std::size_t edge_limit_for_test = 0;

bool Finite(ClipVertex v) { return std::isfinite(v.x) && std::isfinite(v.y); }

// Bounding box of each contour over its finite vertices.
std::vector<ClipBox> ContourBoxes(const ClipPolygon& polygon) {
  std::vector<ClipBox> boxes(polygon.counts.size());
  std::size_t at = 0;
  for (std::size_t c = 0; c < polygon.counts.size(); ++c) {
    for (int i = 0; i < polygon.counts[c]; ++i) {
      ClipVertex v = polygon.vertices[at++];
      if (Finite(v)) boxes[c].Include(v.x, v.y);
    }
  }
  return boxes;
}

// For each box of `a`: does it meet some box of `b`?
// A few boxes are tried one by one, many through an index.
std::vector<char> MeetsAny(const std::vector<ClipBox>& a, const std::vector<ClipBox>& b) {
  std::vector<char> meets(a.size(), 0);
  if (b.size() <= 8) {
    for (std::size_t i = 0; i < a.size(); ++i) {
      for (const ClipBox& box : b) meets[i] = meets[i] || a[i].Meets(box);
    }
    return meets;
  }
  BoxIndex index(b);
  for (std::size_t i = 0; i < a.size(); ++i) meets[i] = index.MeetsAny(a[i]) ? 1 : 0;
  return meets;
}

struct KeyedIndex {
  std::uint64_t key;
  int index;
};

// Orders indexes by their y: an LSD radix sort, 11 bits per pass, on the y
// bits mapped so that unsigned order is numeric order (passes where every
// key has the same digit are skipped); std::sort for short inputs.
ClipVector<KeyedIndex> SortByY(const ClipVector<ClipVertex>& points, ClipMemory* memory) {
  ClipVector<KeyedIndex> v(points.size(), memory);
  for (std::size_t i = 0; i < points.size(); ++i) {
    std::uint64_t bits;
    std::memcpy(&bits, &points[i].y, sizeof bits);
    bits = (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
    v[i] = {bits, static_cast<int>(i)};
  }
  if (v.size() < 1024) {
    std::sort(v.begin(), v.end(),
              [](const KeyedIndex& a, const KeyedIndex& b) { return a.key < b.key; });
    return v;
  }
  constexpr int kBits = 11;
  constexpr std::size_t kBuckets = std::size_t{1} << kBits;
  ClipVector<KeyedIndex> tmp(v.size(), memory);
  ClipVector<std::size_t> count(kBuckets, memory);
  for (int shift = 0; shift < 64; shift += kBits) {
    std::fill(count.begin(), count.end(), 0);
    for (const KeyedIndex& k : v) ++count[(k.key >> shift) & (kBuckets - 1)];
    if (count[(v[0].key >> shift) & (kBuckets - 1)] == v.size()) continue;
    std::size_t sum = 0;
    for (std::size_t& c : count) {
      std::size_t n = c;
      c = sum;
      sum += n;
    }
    for (const KeyedIndex& k : v) tmp[count[(k.key >> shift) & (kBuckets - 1)]++] = k;
    v.swap(tmp);
  }
  return v;
}

// A vertex with its y replaced by a scan-line index.
struct LineVertex {
  double x;
  int line;
};

bool SameVertex(const LineVertex& a, const LineVertex& b) { return a.x == b.x && a.line == b.line; }

// Drops repeated vertices and the inner vertices of horizontal runs (those
// whose two neighbours lie on their scan line), also across the ring's seam.
void CleanRing(ClipVector<LineVertex>& ring, ClipVector<LineVertex>& out) {
  out.clear();
  for (const LineVertex& v : ring) {
    out.push_back(v);
    for (bool changed = true; changed;) {
      changed = false;
      std::size_t n = out.size();
      if (n >= 2 && SameVertex(out[n - 1], out[n - 2])) {
        out.pop_back();
        changed = true;
      } else if (n >= 3 && out[n - 3].line == out[n - 2].line &&
                 out[n - 2].line == out[n - 1].line) {
        out.erase(out.end() - 2);
        changed = true;
      }
    }
  }
  std::size_t lo = 0;
  std::size_t n = out.size();
  for (bool changed = true; changed && n - lo >= 3;) {
    changed = false;
    if (SameVertex(out[n - 1], out[lo])) {
      --n;
      changed = true;
    } else if (out[n - 2].line == out[n - 1].line && out[n - 1].line == out[lo].line) {
      --n;
      changed = true;
    } else if (out[n - 1].line == out[lo].line && out[lo].line == out[lo + 1].line) {
      ++lo;
      changed = true;
    }
  }
  ring.assign(out.begin() + static_cast<std::ptrdiff_t>(lo),
              out.begin() + static_cast<std::ptrdiff_t>(n));
}

class TableBuilder {
 public:
  TableBuilder(EdgeTables& tables, ClipMemory* memory)
      : tables_(tables), memory_(memory), points_(memory), lines_(memory), contours_(memory) {}

  // Adds the finite vertices of the selected contours of `polygon`.
  void Gather(const ClipPolygon& polygon, const std::vector<char>* selected, std::uint8_t flip);
  void BuildScanLines();
  void BuildBounds();

 private:
  struct Contour {
    std::size_t begin, end;
    std::uint8_t flip;
  };
  int BuildBound(const ClipVector<LineVertex>& ring, std::size_t start, int step,
                 std::uint8_t flip);
  EdgeTables& tables_;
  ClipMemory* memory_;
  ClipVector<ClipVertex> points_;
  ClipVector<int> lines_;
  ClipVector<Contour> contours_;
  double max_abs_ = 0;
};

void TableBuilder::Gather(const ClipPolygon& polygon, const std::vector<char>* selected,
                          std::uint8_t flip) {
  points_.reserve(points_.size() + polygon.vertices.size());
  std::size_t at = 0;
  for (std::size_t c = 0; c < polygon.counts.size(); ++c) {
    std::size_t count = static_cast<std::size_t>(std::max(polygon.counts[c], 0));
    std::size_t first = at;
    at += count;
    if (selected != nullptr && !(*selected)[c]) continue;
    Contour contour{points_.size(), 0, flip};
    for (std::size_t i = first; i < at; ++i) {
      ClipVertex v = polygon.vertices[i];
      if (!Finite(v)) continue;
      points_.push_back(v);
      max_abs_ = std::max(max_abs_, std::max(std::fabs(v.x), std::fabs(v.y)));
    }
    contour.end = points_.size();
    if (contour.end - contour.begin >= 3) {
      contours_.push_back(contour);
    } else {
      points_.resize(contour.begin);
    }
  }
}

// The scan-beam table: distinct y values, each value within DBL_EPSILON of
// a line's lowest value joining that line.
void TableBuilder::BuildScanLines() {
  ClipVector<KeyedIndex> order = SortByY(points_, memory_);
  lines_.assign(points_.size(), 0);
  ClipVector<double>& lines = tables_.scanlines;
  lines.reserve(order.size() / 2 + 1);
  for (const KeyedIndex& entry : order) {
    double y = points_[static_cast<std::size_t>(entry.index)].y;
    if (lines.empty() || y - lines.back() > DBL_EPSILON) lines.push_back(y);
    lines_[static_cast<std::size_t>(entry.index)] = static_cast<int>(lines.size()) - 1;
  }
  tables_.tolerance = 16 * DBL_EPSILON * max_abs_;
}

void TableBuilder::BuildBounds() {
  ClipVector<LineVertex> ring(memory_);
  ClipVector<LineVertex> scratch(memory_);
  tables_.edges.reserve(points_.size());
  tables_.minima.reserve(points_.size() / 4 + 4);
  for (const Contour& contour : contours_) {
    ring.clear();
    for (std::size_t i = contour.begin; i < contour.end; ++i)
      ring.push_back({points_[i].x, lines_[i]});
    CleanRing(ring, scratch);
    std::size_t n = ring.size();
    if (n < 3) continue;
    for (std::size_t i = 0; i < n; ++i) {
      int prev = ring[(i + n - 1) % n].line;
      int cur = ring[i].line;
      int next = ring[(i + 1) % n].line;
      bool forward = prev >= cur && next > cur;
      bool reverse = prev > cur && next >= cur;
      if (!forward && !reverse) continue;
      LocalMinimum minimum{cur, ring[i].x, {-1, -1}, 0};
      if (forward) minimum.edges[minimum.count++] = BuildBound(ring, i, 1, contour.flip);
      if (reverse) minimum.edges[minimum.count++] = BuildBound(ring, i, -1, contour.flip);
      tables_.minima.push_back(minimum);
    }
  }
  std::sort(tables_.minima.begin(), tables_.minima.end(),
            [](const LocalMinimum& a, const LocalMinimum& b) {
              return a.line != b.line ? a.line < b.line : a.x < b.x;
            });
}

// Walks from ring[start] in direction `step` while the ring rises; returns
// the index of the bound's first edge.
int TableBuilder::BuildBound(const ClipVector<LineVertex>& ring, std::size_t start, int step,
                             std::uint8_t flip) {
  const ClipVector<double>& y = tables_.scanlines;
  ClipVector<ClipEdge>& edges = tables_.edges;
  std::size_t n = ring.size();
  int first = -1;
  int previous = -1;
  for (std::size_t j = start;;) {
    std::size_t k = step > 0 ? (j + 1 == n ? 0 : j + 1) : (j == 0 ? n - 1 : j - 1);
    if (ring[k].line <= ring[j].line) break;
    if (edge_limit_for_test != 0 && edges.size() >= edge_limit_for_test) throw std::bad_alloc();
    ClipEdge edge;
    edge.bottom_x = ring[j].x;
    edge.bottom_y = y[static_cast<std::size_t>(ring[j].line)];
    edge.top_x = ring[k].x;
    edge.top_y = y[static_cast<std::size_t>(ring[k].line)];
    edge.dx = (edge.top_x - edge.bottom_x) / (edge.top_y - edge.bottom_y);
    edge.top_line = ring[k].line;
    edge.flip = flip;
    int index = static_cast<int>(edges.size());
    edges.push_back(edge);
    if (previous >= 0) {
      edges[static_cast<std::size_t>(previous)].successor = index;
    } else {
      first = index;
    }
    previous = index;
    j = k;
  }
  return first;
}

}  // namespace

EdgeTables BuildEdgeTables(ClipOperation op, const ClipPolygon& subject, const ClipPolygon& clip,
                           ClipMemory* memory) {
  EdgeTables tables(memory);
  std::vector<char> subject_selected;
  std::vector<char> clip_selected;
  bool pretest = op == ClipOperation::kDifference || op == ClipOperation::kIntersection;
  if (pretest) {
    std::vector<ClipBox> subject_boxes = ContourBoxes(subject);
    std::vector<ClipBox> clip_boxes = ContourBoxes(clip);
    clip_selected = MeetsAny(clip_boxes, subject_boxes);
    if (op == ClipOperation::kIntersection) subject_selected = MeetsAny(subject_boxes, clip_boxes);
  }
  TableBuilder builder(tables, memory);
  builder.Gather(subject, subject_selected.empty() ? nullptr : &subject_selected, kSubjectBit);
  builder.Gather(clip, pretest ? &clip_selected : nullptr, kClipBit);
  builder.BuildScanLines();
  builder.BuildBounds();
  return tables;
}

void SetClipEdgeLimitForTest(std::size_t max_edges) { edge_limit_for_test = max_edges; }

}  // namespace lumetra
