#include "search/nearest_search.h"

#include <lumetra/pip.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "frame/error.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"

namespace {

constexpr char kCriteriaFormat[] = "The search criteria did not parse correctly. %s";

std::int32_t ClampToInt32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// x + d with the wrap-around of 32-bit integers (pipDistance measures the
// wrapped difference, which is d itself).
int WrappingAdd(std::int32_t x, std::int32_t d) {
  return static_cast<int>(static_cast<std::uint32_t>(x) + static_cast<std::uint32_t>(d));
}

}  // namespace

PolySearchNearestPoint::PolySearchNearestPoint(PolygonSearch& reader, QError& err, std::int32_t x,
                                               std::int32_t y, int count, bool exact)
    : PolygonSearchEnum(reader, err),
      x_(x),
      y_(y),
      count_(static_cast<std::size_t>(std::clamp(count, 0, kMaxCount))),
      exact_(exact),
      from_(x, y, reader.coordinate_type()) {
  table_.reserve(count_);
  ranked_.reserve(count_ + 1);
  CreateEnumerator();
}

void PolySearchNearestPoint::Restart(std::int32_t x, std::int32_t y, int count, bool exact) {
  x_ = x;
  y_ = y;
  count_ = static_cast<std::size_t>(std::clamp(count, 0, kMaxCount));
  exact_ = exact;
  from_ = lumetra::PointDistance(x, y, reader().coordinate_type());
  filter_.reset();
  criteria_valid_ = true;
  criteria_message_[0] = '\0';
  table_.clear();
  ranked_.clear();
  next_ = 0;
  last_ring_ = 0;
  rounds_ = 0;
  ClearCurrent();
  first_call_ = true;
}

PolySearchNearestPoint::~PolySearchNearestPoint() = default;

void PolySearchNearestPoint::SetInvalidCriteria(const std::string& message) {
  criteria_valid_ = false;
  std::snprintf(criteria_message_, sizeof criteria_message_, "%s", message.c_str());
}

bool PolySearchNearestPoint::RefuseInvalidCriteria() {
  if (criteria_valid_) return false;
  error().SetF(100, QERR_HERE, kCriteriaFormat, criteria_message_);
  ClearCurrent();
  return true;
}

std::int32_t PolySearchNearestPoint::RingLimit(std::int32_t search_distance) {
  return static_cast<std::int32_t>(std::trunc(search_distance / kFeetPerLimitUnit));
}

lumetra::Rect PolySearchNearestPoint::RingRect(std::int32_t x, std::int32_t y, std::int32_t r,
                                               int coordinate_type) {
  const int dx_feet = pipDistance(x, y, WrappingAdd(x, r), y, coordinate_type, nullptr);
  const int dy_feet = pipDistance(x, y, x, WrappingAdd(y, r), coordinate_type, nullptr);
  const double east = dx_feet == 0 ? 1e-6 : static_cast<double>(dx_feet);
  const double w = std::trunc(static_cast<double>(dy_feet) / east * r);
  // Beyond 2^40 units the square covers every i32 coordinate anyway.
  constexpr double kWide = 1099511627776.0;
  const auto half_width = static_cast<std::int64_t>(std::clamp(w, -kWide, kWide));
  return lumetra::Rect{
      ClampToInt32(std::int64_t{x} - half_width), ClampToInt32(std::int64_t{y} - r),
      ClampToInt32(std::int64_t{x} + half_width), ClampToInt32(std::int64_t{y} + r)};
}

namespace {

// The heap order: the top is the entry the stable insertion would put last.
bool RanksBefore(std::int32_t da, std::uint64_t aa, std::int32_t db, std::uint64_t ab) {
  return da != db ? da < db : aa < ab;
}

}  // namespace

bool PolySearchNearestPoint::WouldRank(std::int32_t distance, std::uint64_t arrival) const {
  // The heap's top is the table's last entry.
  if (ranked_.size() < count_) return true;
  if (ranked_.empty()) return false;
  const Ranked& last = ranked_.front();
  return RanksBefore(distance, arrival, last.distance, last.arrival);
}

void PolySearchNearestPoint::Insert(std::int32_t distance, std::uint64_t position) {
  // A later arrival ranks after every equal distance, as insertion before
  // the first larger distance places it; the one pushed beyond N is the
  // greatest (distance, arrival), the table's last entry.
  const auto before = [](const Ranked& a, const Ranked& b) {
    return RanksBefore(a.distance, a.arrival, b.distance, b.arrival);
  };
  ranked_.push_back(Ranked{distance, exact_ ? position : arrivals_++, position});
  std::push_heap(ranked_.begin(), ranked_.end(), before);
  if (ranked_.size() > count_) {
    std::pop_heap(ranked_.begin(), ranked_.end(), before);
    ranked_.pop_back();
  }
}

void PolySearchNearestPoint::FillTable() {
  std::sort(ranked_.begin(), ranked_.end(), [](const Ranked& a, const Ranked& b) {
    return RanksBefore(a.distance, a.arrival, b.distance, b.arrival);
  });
  table_.clear();
  for (const Ranked& e : ranked_) table_.push_back(Entry{e.distance, e.position});
  ranked_.clear();
}

int PolySearchNearestPoint::Measure(std::uint64_t position, std::int32_t* distance) {
  lumetra::ObjectKind kind = lumetra::ObjectKind::kRegion;
  lumetra::RecordPoint at;
  if (!reader().PeekRecord(position, &kind, &at)) return -1;
  if (kind != lumetra::ObjectKind::kPoint) return 0;
  *distance = from_.To(at.x, at.y);
  return 1;
}

int PolySearchNearestPoint::Filter(std::uint64_t position) {
  const PolygonObject* object = reader().FindObject(position);
  if (object == nullptr) return -1;
  if (filter_->Accept(*object)) return 1;
  return filter_->Failed(error()) ? -1 : 0;
}

int PolySearchNearestPoint::SearchRing(const lumetra::Rect& square) {
  ranked_.clear();
  arrivals_ = 0;
  std::uint64_t position = 0;
  for (bool more = enumerator()->First(square, &position); more;
       more = enumerator()->Next(&position)) {
    std::int32_t distance = 0;
    const int measured = Measure(position, &distance);
    if (measured < 0) return -1;
    if (measured == 0) continue;
    if (distance < 0 || !WouldRank(distance, exact_ ? position : arrivals_)) continue;
    if (filter_ != nullptr) {
      const int accepted = Filter(position);
      if (accepted < 0) return -1;
      if (accepted == 0) continue;
    }
    Insert(distance, position);
  }
  return 1;
}

int PolySearchNearestPoint::FindFirst(char* name, int name_length) {
  first_call_ = false;
  ClearCurrent();
  table_.clear();
  ranked_.clear();
  next_ = 0;
  rounds_ = 0;
  if (RefuseInvalidCriteria()) return -1;
  if (enumerator() == nullptr) return -1;
  const std::int32_t limit = RingLimit(reader().search_distance());
  outer_ = RingRect(x_, y_, std::max(limit, kFirstRing), reader().coordinate_type());
  std::int32_t r = kFirstRing;
  for (;;) {
    ++rounds_;
    last_ring_ = r;
    const lumetra::Rect square =
        exact_ ? ExactSquare(r) : RingRect(x_, y_, r, reader().coordinate_type());
    if (SearchRing(square) < 0) {
      ranked_.clear();
      return -1;
    }
    if (r >= limit) break;
    const bool full = ranked_.size() >= count_ && count_ > 0;
    if (!exact_ && ranked_.size() >= count_) break;
    // The exact ranking is final when the N-th is nearer than any point
    // outside the square can be.
    const std::int64_t beyond = exact_ && full ? Beyond(square) : -1;
    if (exact_ && full && ranked_.front().distance < beyond) break;
    r = static_cast<std::int32_t>(std::min<std::int64_t>(NextRing(r, beyond), limit));
  }
  FillTable();
  return HandOut(0, name, name_length);
}

lumetra::Rect PolySearchNearestPoint::ExactSquare(std::int32_t r) const {
  const lumetra::Rect s = RingRect(x_, y_, r, reader().coordinate_type());
  return lumetra::Rect{std::max(s.minx, outer_.minx), std::max(s.miny, outer_.miny),
                       std::min(s.maxx, outer_.maxx), std::min(s.maxy, outer_.maxy)};
}

std::int64_t PolySearchNearestPoint::Beyond(const lumetra::Rect& square) const {
  constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();
  // Beyond 2^31 units pipDistance's 32-bit differences wrap: no bound.
  constexpr std::int64_t kSpan = std::numeric_limits<std::int32_t>::max();
  if (x_ - std::int64_t{outer_.minx} > kSpan || std::int64_t{outer_.maxx} - x_ > kSpan ||
      y_ - std::int64_t{outer_.miny} > kSpan || std::int64_t{outer_.maxy} - y_ > kSpan) {
    return -1;
  }
  // The nearest a point beyond each side can be; a side that is the
  // outermost square's has no candidates beyond it.
  const int type = reader().coordinate_type();
  std::int64_t beyond = kNone;
  const auto side = [&](bool outermost, std::int64_t bx, std::int64_t by) {
    if (outermost) return;
    const int d = pipDistance(x_, y_, static_cast<int>(bx), static_cast<int>(by), type, nullptr);
    beyond = std::min<std::int64_t>(beyond, d < 0 ? 0 : d);
  };
  side(square.maxx >= outer_.maxx, std::int64_t{square.maxx} + 1, y_);
  side(square.minx <= outer_.minx, std::int64_t{square.minx} - 1, y_);
  side(square.maxy >= outer_.maxy, x_, std::int64_t{square.maxy} + 1);
  side(square.miny <= outer_.miny, x_, std::int64_t{square.miny} - 1);
  return beyond;
}

std::int64_t PolySearchNearestPoint::NextRing(std::int32_t r, std::int64_t beyond) const {
  const std::int64_t doubled = 2 * std::int64_t{r};
  // N points are ranked but one beyond the square might come first: the
  // square only needs to grow until its sides lie beyond the N-th distance.
  // Distances grow about linearly with the ring, so scale the ring by the
  // N-th distance over the sides' distance; a ring too small for the bound
  // simply grows again.
  if (beyond <= 0 || beyond == std::numeric_limits<std::int64_t>::max()) return doubled;
  const double scaled =
      std::ceil(static_cast<double>(r) * (static_cast<double>(ranked_.front().distance) + 1) /
                static_cast<double>(beyond));
  return std::clamp<std::int64_t>(static_cast<std::int64_t>(scaled) + 1, std::int64_t{r} + 1,
                                  doubled);
}

int PolySearchNearestPoint::FindNext(char* name, int name_length) {
  if (first_call_) return FindFirst(name, name_length);
  if (RefuseInvalidCriteria()) return -1;
  return HandOut(next_, name, name_length);
}

int PolySearchNearestPoint::HandOut(std::size_t index, char* name, int name_length) {
  if (index >= table_.size()) {
    ClearCurrent();
    next_ = table_.size();
    return 0;
  }
  next_ = index + 1;
  if (!MakeCurrent(table_[index].position)) return -1;
  CopyCurrentName(name, name_length);
  return 1;
}

bool PolySearchNearestPoint::GetSearchPoint(std::int32_t* x, std::int32_t* y) const {
  if (x != nullptr) *x = x_;
  if (y != nullptr) *y = y_;
  return true;
}
