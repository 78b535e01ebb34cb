// CpmaPointList: the polygons of the market-area operations, as a doubly
// linked list of integer points; CpmaPolygonIterator walks one from its head.
//
// Polygons are open: the first point is not repeated at the end.  A list may
// carry an ordering predicate; Insert then puts a point before the first
// element for which before(point, element) holds.  The list owns its points.
//
// Thread rule: one thread at a time per list.
#ifndef LUMETRA_PMA_POINT_LIST_H
#define LUMETRA_PMA_POINT_LIST_H

#include <cstdint>
#include <list>
#include <vector>

struct CpmaPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool operator==(const CpmaPoint& o) const { return x == o.x && y == o.y; }
};

class CpmaPointList {
 public:
  // True when `point` goes before `element`.
  using Before = bool (*)(const CpmaPoint& point, const CpmaPoint& element);

  explicit CpmaPointList(Before before = nullptr) : before_(before) {}
  virtual ~CpmaPointList() = default;

  // Appends, or with a predicate inserts before the first element it picks.
  // Throws std::bad_alloc.
  void Insert(const CpmaPoint& point);
  // Appends, whatever the predicate.
  void Append(const CpmaPoint& point) { points_.push_back(point); }
  // Frees every point; the count becomes 0.
  void Reset() { points_.clear(); }

  int count() const { return static_cast<int>(points_.size()); }
  bool empty() const { return points_.empty(); }
  const std::list<CpmaPoint>& points() const { return points_; }

  // Appends the points as interleaved x, y values to `xy`.
  void AppendTo(std::vector<std::int32_t>* xy) const;

 private:
  Before before_;
  std::list<CpmaPoint> points_;
};

// A cursor over a point list from its head.  REQUIRES: the list outlives the
// iterator and is not changed while it is in use.
class CpmaPolygonIterator {
 public:
  explicit CpmaPolygonIterator(const CpmaPointList& list)
      : at_(list.points().begin()), end_(list.points().end()) {}
  virtual ~CpmaPolygonIterator() = default;

  bool HasNext() const { return at_ != end_; }
  // The point under the cursor, then moves on.  REQUIRES: HasNext().
  CpmaPoint Next() { return *at_++; }

 private:
  std::list<CpmaPoint>::const_iterator at_;
  std::list<CpmaPoint>::const_iterator end_;
};

#endif  // LUMETRA_PMA_POINT_LIST_H
