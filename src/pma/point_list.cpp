#include "pma/point_list.h"

#include <algorithm>

void CpmaPointList::Insert(const CpmaPoint& point) {
  if (before_ == nullptr) {
    points_.push_back(point);
    return;
  }
  const auto at = std::find_if(points_.begin(), points_.end(),
                               [&](const CpmaPoint& element) { return before_(point, element); });
  points_.insert(at, point);
}

void CpmaPointList::AppendTo(std::vector<std::int32_t>* xy) const {
  CpmaPolygonIterator it(*this);
  while (it.HasNext()) {
    const CpmaPoint p = it.Next();
    xy->push_back(p.x);
    xy->push_back(p.y);
  }
}
