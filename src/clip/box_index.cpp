#include "clip/box_index.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace lumetra {

void ClipBox::Include(double x, double y) {
  x0 = std::min(x0, x);
  y0 = std::min(y0, y);
  x1 = std::max(x1, x);
  y1 = std::max(y1, y);
}

void ClipBox::Include(const ClipBox& o) {
  if (o.x0 > o.x1) return;
  Include(o.x0, o.y0);
  Include(o.x1, o.y1);
}

BoxIndex::BoxIndex(std::vector<ClipBox> boxes) {
  boxes.erase(
      std::remove_if(boxes.begin(), boxes.end(), [](const ClipBox& b) { return b.x0 > b.x1; }),
      boxes.end());
  // Sort-tile packing: vertical slices by x centre, each sorted by y centre.
  auto cx = [](const ClipBox& b) { return b.x0 + b.x1; };
  auto cy = [](const ClipBox& b) { return b.y0 + b.y1; };
  std::sort(boxes.begin(), boxes.end(),
            [&](const ClipBox& a, const ClipBox& b) { return cx(a) < cx(b); });
  std::size_t leaves = (boxes.size() + kFanout - 1) / kFanout;
  std::size_t slice =
      kFanout * static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(leaves))));
  for (std::size_t at = 0; at < boxes.size(); at += slice) {
    auto end = boxes.begin() + static_cast<std::ptrdiff_t>(std::min(at + slice, boxes.size()));
    std::sort(boxes.begin() + static_cast<std::ptrdiff_t>(at), end,
              [&](const ClipBox& a, const ClipBox& b) { return cy(a) < cy(b); });
  }
  levels_.push_back(std::move(boxes));
  while (levels_.back().size() > 1) {
    const std::vector<ClipBox>& below = levels_.back();
    std::vector<ClipBox> above((below.size() + kFanout - 1) / kFanout);
    for (std::size_t i = 0; i < below.size(); ++i) above[i / kFanout].Include(below[i]);
    levels_.push_back(std::move(above));
  }
}

bool BoxIndex::MeetsAny(const ClipBox& box) const {
  if (levels_.empty() || levels_[0].empty() || box.x0 > box.x1) return false;
  std::vector<std::pair<std::size_t, std::size_t>> stack;  // (level, node)
  stack.emplace_back(levels_.size() - 1, 0);
  while (!stack.empty()) {
    auto [level, node] = stack.back();
    stack.pop_back();
    if (!levels_[level][node].Meets(box)) continue;
    if (level == 0) return true;
    const std::vector<ClipBox>& children = levels_[level - 1];
    for (std::size_t c = node * kFanout; c < std::min(children.size(), (node + 1) * kFanout); ++c) {
      stack.emplace_back(level - 1, c);
    }
  }
  return false;
}

}  // namespace lumetra
