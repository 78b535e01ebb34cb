#include "clip/output_chains.h"

#include <utility>

namespace lumetra {
namespace {

// Removes repeated vertices and spikes (a, b, a), also across the seam of
// the closed ring.
void CleanContour(ClipVector<ClipVertex>& v, ClipVector<ClipVertex>& out) {
  out.clear();
  for (const ClipVertex& p : v) {
    out.push_back(p);
    for (bool changed = true; changed;) {
      changed = false;
      std::size_t n = out.size();
      if (n >= 2 && out[n - 1] == out[n - 2]) {
        out.pop_back();
        changed = true;
      } else if (n >= 3 && out[n - 1] == out[n - 3]) {
        out.resize(n - 2);
        changed = true;
      }
    }
  }
  std::size_t lo = 0;
  std::size_t n = out.size();
  for (bool changed = true; changed && n - lo >= 3;) {
    changed = false;
    if (out[n - 1] == out[lo]) {
      --n;
      changed = true;
    } else if (out[n - 2] == out[lo]) {
      n -= 2;
      changed = true;
    } else if (out[n - 1] == out[lo + 1]) {
      lo += 2;
      changed = true;
    }
  }
  if (n - lo < 3) n = lo;
  v.assign(out.begin() + static_cast<std::ptrdiff_t>(lo),
           out.begin() + static_cast<std::ptrdiff_t>(n));
}

// Twice the signed area, measured from the first vertex to keep the
// products small.
double TwiceArea(const ClipVector<ClipVertex>& v) {
  double sum = 0;
  for (std::size_t i = 1; i + 1 < v.size(); ++i) {
    sum += (v[i].x - v[0].x) * (v[i + 1].y - v[0].y) - (v[i + 1].x - v[0].x) * (v[i].y - v[0].y);
  }
  return sum;
}

}  // namespace

int OutputChains::NewPoint(ClipVertex p) {
  points_.push_back({p, kNone, kNone});
  return static_cast<int>(points_.size()) - 1;
}

void OutputChains::Start(ClipVertex p, int* front_end, int* back_end) {
  int point = NewPoint(p);
  int chain = static_cast<int>(chains_.size());
  *front_end = static_cast<int>(ends_.size());
  ends_.push_back({chain, true});
  *back_end = static_cast<int>(ends_.size());
  ends_.push_back({chain, false});
  Chain c;
  c.front_point = c.back_point = point;
  c.front_end = *front_end;
  c.back_end = *back_end;
  chains_.push_back(c);
}

void OutputChains::Add(int end, ClipVertex p) {
  int point = NewPoint(p);
  Chain& c = chains_[static_cast<std::size_t>(ends_[static_cast<std::size_t>(end)].chain)];
  if (ends_[static_cast<std::size_t>(end)].front) {
    points_[static_cast<std::size_t>(point)].next = c.front_point;
    points_[static_cast<std::size_t>(c.front_point)].prev = point;
    c.front_point = point;
  } else {
    points_[static_cast<std::size_t>(point)].prev = c.back_point;
    points_[static_cast<std::size_t>(c.back_point)].next = point;
    c.back_point = point;
  }
}

void OutputChains::Reverse(int chain) {
  Chain& c = chains_[static_cast<std::size_t>(chain)];
  for (int p = c.front_point; p != kNone;) {
    Point& point = points_[static_cast<std::size_t>(p)];
    int next = point.next;
    std::swap(point.next, point.prev);
    p = next;
  }
  std::swap(c.front_point, c.back_point);
  std::swap(c.front_end, c.back_end);
  ends_[static_cast<std::size_t>(c.front_end)].front = true;
  ends_[static_cast<std::size_t>(c.back_end)].front = false;
}

void OutputChains::Join(int back_end, ClipVertex p, int front_end) {
  int y = ends_[static_cast<std::size_t>(back_end)].chain;
  int x = ends_[static_cast<std::size_t>(front_end)].chain;
  if (y == x) {
    if (back_end == front_end || ends_[static_cast<std::size_t>(back_end)].front) Repair();
    Add(chains_[static_cast<std::size_t>(y)].back_end, p);
    chains_[static_cast<std::size_t>(y)].closed = true;
    return;
  }
  if (ends_[static_cast<std::size_t>(back_end)].front) {
    Repair();
    Reverse(y);
  }
  if (!ends_[static_cast<std::size_t>(front_end)].front) {
    Repair();
    Reverse(x);
  }
  Add(back_end, p);
  Chain& cy = chains_[static_cast<std::size_t>(y)];
  Chain& cx = chains_[static_cast<std::size_t>(x)];
  points_[static_cast<std::size_t>(cy.back_point)].next = cx.front_point;
  points_[static_cast<std::size_t>(cx.front_point)].prev = cy.back_point;
  cy.back_point = cx.back_point;
  cy.back_end = cx.back_end;
  ends_[static_cast<std::size_t>(cx.back_end)].chain = y;
  cx.alive = false;
}

void OutputChains::Collect(ClipPolygon* result) {
  ClipVector<ClipVertex>& ring = ring_;
  for (const Chain& c : chains_) {
    if (!c.alive) continue;
    if (!c.closed) Repair();
    ring.clear();
    for (int p = c.front_point; p != kNone; p = points_[static_cast<std::size_t>(p)].next) {
      ring.push_back(points_[static_cast<std::size_t>(p)].v);
    }
    CleanContour(ring, scratch_);
    double area = ring.size() >= 3 ? TwiceArea(ring) : 0;
    if (area == 0) continue;
    result->vertices.insert(result->vertices.end(), ring.begin(), ring.end());
    result->counts.push_back(static_cast<int>(ring.size()));
    result->holes.push_back(area < 0 ? 1 : 0);
  }
}

}  // namespace lumetra
