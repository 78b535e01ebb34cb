#include "radial/pip_rad_context.h"

#include <cmath>
#include <new>

#include "frame/error.h"
#include "frame/text_copy.h"

using lumetra::KdTree;
using lumetra::RadialAnswer;
using lumetra::RadialNode;
using lumetra::RadialQuery;
using lumetra::SearchWindow;

namespace {

constexpr char kBadCount[] = "pipRadFindFirstNearest: the count of points must be at least 1.";

}  // namespace

pipRadContext::pipRadContext(pipError& err, int mode)
    : err_(err), mode_(mode), y_scale_(mode == PIP_RAD_GEOGRAPHIC ? kFeetPerUnit : 1.0) {}

int pipRadContext::InsertPoint(std::int32_t x, std::int32_t y, const char* name) {
  if (tree_.Insert(x, y, name) != KdTree::InsertResult::kInserted) {
    err_.Set(PIP_ERR_NO_MEMORY, kTreeMemory, QERR_HERE);
    return -1;
  }
  return 1;
}

RadialQuery pipRadContext::QueryAt(std::int32_t x, std::int32_t y) const {
  RadialQuery query;
  query.x = x;
  query.y = y;
  query.y_scale = y_scale_;
  query.x_scale = geographic() ? y_scale_ * std::cos(y * kRadiansPerUnit) : 1.0;
  return query;
}

int pipRadContext::Answer(const RadialNode& node, const RadialAnswer& out) {
  if (out.x != nullptr) *out.x = node.x;
  if (out.y != nullptr) *out.y = node.y;
  lumetra::CopyCutChecked(node.name, out.name, out.name_length);
  return 1;
}

bool pipRadContext::StartWalk(const lumetra::RadialRect& rect) {
  try {
    walker_.Start(tree_, rect);
    return true;
  } catch (const std::bad_alloc&) {
    err_.Set(PIP_ERR_NO_MEMORY, kStackMemory, QERR_HERE);
    return false;
  }
}

int pipRadContext::FindFirstInRect(std::int32_t x1, std::int32_t y1, std::int32_t x2,
                                   std::int32_t y2, const RadialAnswer& out) {
  last_search_ = LastSearch::kNone;
  if (!StartWalk(SearchWindow(x1, y1, x2, y2, geographic()))) return -1;
  last_search_ = LastSearch::kRect;
  return NextInRect(out);
}

int pipRadContext::FindFirstInRadius(std::int32_t cx, std::int32_t cy, std::int32_t radius,
                                     const RadialAnswer& out) {
  last_search_ = LastSearch::kNone;
  query_ = QueryAt(cx, cy);
  radius_ = radius;
  // The window reaches one unit of distance beyond the radius: a point
  // whose distance truncates to the radius lies less than radius + 1 away,
  // and so inside it even where a unit of x is worth less than a foot.
  const double reach_x = (static_cast<double>(radius) + 1) / query_.x_scale;
  const double reach_y = (static_cast<double>(radius) + 1) / query_.y_scale;
  if (!StartWalk(
          SearchWindow(cx - reach_x, cy - reach_y, cx + reach_x, cy + reach_y, geographic()))) {
    return -1;
  }
  last_search_ = LastSearch::kRadius;
  return NextInRadius(out);
}

int pipRadContext::FindFirstNearest(std::int32_t cx, std::int32_t cy, int count,
                                    const RadialAnswer& out) {
  last_search_ = LastSearch::kNone;
  nearest_.Clear();
  if (count < 1) {
    err_.Set(PIP_ERR_INVALID_DATA, kBadCount, QERR_HERE);
    return -1;
  }
  query_ = QueryAt(cx, cy);
  try {
    nearest_.Search(tree_, walker_, query_, static_cast<std::size_t>(count), geographic());
  } catch (const std::bad_alloc&) {
    nearest_.Clear();
    err_.Set(PIP_ERR_NO_MEMORY, kStackMemory, QERR_HERE);
    return -1;
  }
  last_search_ = LastSearch::kNearest;
  return NextNearest(out);
}

int pipRadContext::FindNext(const RadialAnswer& out) {
  switch (last_search_) {
    case LastSearch::kRect:
      return NextInRect(out);
    case LastSearch::kRadius:
      return NextInRadius(out);
    case LastSearch::kNearest:
      return NextNearest(out);
    case LastSearch::kNone:
      break;
  }
  err_.Set(PIP_ERR_GENERAL, kNextBeforeFirst, QERR_HERE);
  return -1;
}

int pipRadContext::NextInRect(const RadialAnswer& out) {
  if (const RadialNode* node = walker_.Next()) return Answer(*node, out);
  last_search_ = LastSearch::kNone;
  return 0;
}

int pipRadContext::NextInRadius(const RadialAnswer& out) {
  while (const RadialNode* node = walker_.Next()) {
    if (std::trunc(query_.DistanceTo(*node)) <= radius_) return Answer(*node, out);
  }
  last_search_ = LastSearch::kNone;
  return 0;
}

int pipRadContext::NextNearest(const RadialAnswer& out) {
  if (const lumetra::NearestPoints::Result* result = nearest_.Next()) {
    return Answer(*result->node, out);
  }
  last_search_ = LastSearch::kNone;
  return 0;
}
