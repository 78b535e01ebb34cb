#include "radial/range_walker.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lumetra {

namespace {

constexpr double kMaxLongitude = 180000000;
constexpr double kMaxLatitude = 90000000;
constexpr double kI32Min = std::numeric_limits<std::int32_t>::min();
constexpr double kI32Max = std::numeric_limits<std::int32_t>::max();

// `value` truncated toward zero and clamped into [low, high]; NaN gives low.
std::int32_t Bound(double value, double low, double high) {
  value = std::trunc(value);
  if (!(value >= low)) return static_cast<std::int32_t>(low);
  if (value > high) return static_cast<std::int32_t>(high);
  return static_cast<std::int32_t>(value);
}

}  // namespace

RadialRect SearchWindow(double x1, double y1, double x2, double y2, bool geographic) {
  const double x_low = geographic ? -kMaxLongitude : kI32Min;
  const double x_high = geographic ? kMaxLongitude : kI32Max;
  const double y_low = geographic ? -kMaxLatitude : kI32Min;
  const double y_high = geographic ? kMaxLatitude : kI32Max;
  const std::int32_t ax = Bound(x1, x_low, x_high);
  const std::int32_t bx = Bound(x2, x_low, x_high);
  const std::int32_t ay = Bound(y1, y_low, y_high);
  const std::int32_t by = Bound(y2, y_low, y_high);
  return RadialRect{std::min(ax, bx), std::min(ay, by), std::max(ax, bx), std::max(ay, by)};
}

void RangeWalker::Start(KdTree& tree, const RadialRect& rect) {
  stack_.clear();
  rect_ = rect;
  const std::size_t room = 2 * tree.depth() + 2;
  if (stack_.capacity() < room) stack_.reserve(room);
  // The sentinel's right child is the first real node, at depth 1: a y node.
  Push(tree.root(), true, false);
}

}  // namespace lumetra
