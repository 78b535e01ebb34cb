// The radial search against brute force: a model k-d tree built by plain
// one-by-one insertion gives the exact tree shape and walk order, over
// seeded random point sets (uniform, clustered, many duplicates, collinear)
// in both modes, for rectangle, radius and nearest queries; points exactly
// on a rectangle's edge and exactly at the radius are part of every run.
#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "frame/library_context.h"
#include "radial/pip_rad_context.h"

namespace {

struct Pt {
  int x, y;
  std::string name;
};

// The tree as one-by-one insertion builds it (indices into the points).
class ModelTree {
 public:
  explicit ModelTree(const std::vector<Pt>& pts) : pts_(pts), kids_(pts.size(), {-1, -1}) {
    for (int i = 0; i < static_cast<int>(pts.size()); ++i) Insert(i);
  }
  // Preorder, left before right; -1 marks an empty slot when `shape`.
  std::vector<int> Preorder(bool shape) const {
    std::vector<int> out, stack{root_};
    while (!stack.empty()) {
      const int n = stack.back();
      stack.pop_back();
      if (n >= 0 || shape) out.push_back(n);
      if (n >= 0) stack.insert(stack.end(), {kids_[n][1], kids_[n][0]});
    }
    return out;
  }
  int depth() const { return depth_; }
  // The last node an insertion of (x, y) would pass.
  int Parent(int x, int y) const {
    int at = root_;
    for (int depth = 1;; ++depth) {
      const int next = kids_[at][(depth % 2 == 0 ? x >= pts_[at].x : y >= pts_[at].y) ? 1 : 0];
      if (next < 0) return at;
      at = next;
    }
  }

 private:
  void Insert(int i) {
    int* slot = &root_;
    for (int depth = 1;; ++depth) {  // the sentinel sends everything right
      if (*slot < 0) {
        *slot = i;
        depth_ = std::max(depth_, depth);
        return;
      }
      const Pt &p = pts_[i], &n = pts_[*slot];
      slot = &kids_[*slot][(depth % 2 == 0 ? p.x >= n.x : p.y >= n.y) ? 1 : 0];
    }
  }
  const std::vector<Pt>& pts_;
  std::vector<std::array<int, 2>> kids_;
  int root_ = -1;
  int depth_ = 0;
};

std::vector<int> TreeShape(lumetra::KdTree& tree) {
  std::vector<int> out;
  std::vector<const lumetra::RadialNode*> stack{tree.root()};
  while (!stack.empty()) {
    const lumetra::RadialNode* n = stack.back();
    stack.pop_back();
    out.push_back(n == nullptr ? -1 : std::stoi(n->name));
    if (n != nullptr) stack.insert(stack.end(), {n->right, n->left});
  }
  return out;
}

enum class Kind { kUniform, kClustered, kDuplicates, kCollinear };

std::vector<Pt> MakePoints(Kind kind, bool geo, std::mt19937& rng, int n) {
  const int x0 = geo ? -125000000 : -1000000, x1 = geo ? -67000000 : 1000000;
  const int y0 = geo ? 25000000 : -1000000, y1 = geo ? 49000000 : 1000000;
  std::uniform_int_distribution<int> ux(x0, x1), uy(y0, y1), pick(0, 9), t(0, 20000);
  std::vector<Pt> centres(10);
  for (Pt& c : centres) c = {ux(rng), uy(rng), ""};
  std::normal_distribution<double> spread(0, (x1 - x0) / 1000.0);
  std::vector<Pt> pts;
  for (int i = 0; i < n; ++i) {
    Pt p{ux(rng), uy(rng), std::to_string(i)};
    if (kind == Kind::kClustered) {
      const Pt& c = centres[pick(rng)];
      p.x = std::clamp(c.x + static_cast<int>(spread(rng)), x0, x1);
      p.y = std::clamp(c.y + static_cast<int>(spread(rng)), y0, y1);
    } else if (kind == Kind::kDuplicates) {
      p.x = centres[pick(rng)].x;
      p.y = centres[pick(rng) % 3].y;
    } else if (kind == Kind::kCollinear) {
      const int s = t(rng);
      p.x = x0 + s * ((x1 - x0) / 20000);
      p.y = y0 + s * ((y1 - y0) / 20000);
    }
    pts.push_back(p);
  }
  return pts;
}

class RadialDifferential : public ::testing::TestWithParam<std::tuple<Kind, bool>> {
 protected:
  void SetUp() override {
    geo_ = std::get<1>(GetParam());
    ASSERT_EQ(pipRadInitIntern(&library_, geo_ ? PIP_RAD_GEOGRAPHIC : PIP_RAD_PLANAR, &ctx_), 1);
  }
  void TearDown() override { EXPECT_EQ(pipRadTermIntern(ctx_), 1); }

  double Distance(const Pt& p, int qx, int qy) const {
    const double ys = geo_ ? 0.36432 : 1.0;
    const double xs = geo_ ? ys * std::cos(qy * 1.745329252e-8) : 1.0;
    return std::hypot((double(p.x) - qx) * xs, (double(p.y) - qy) * ys);
  }
  // A query window as the search clamps and orders it.
  struct Box {
    int x1, y1, x2, y2;
    bool Contains(const Pt& p) const { return x1 <= p.x && p.x <= x2 && y1 <= p.y && p.y <= y2; }
  };
  Box Window(double ax, double ay, double bx, double by) const {
    const double lx = geo_ ? 180e6 : INT_MAX, ly = geo_ ? 90e6 : INT_MAX;
    auto bound = [](double v, double lim) { return int(std::clamp(std::trunc(v), -lim, lim)); };
    const int x1 = bound(ax, lx), x2 = bound(bx, lx), y1 = bound(ay, ly), y2 = bound(by, ly);
    return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
  }
  // The last window of a nearest search: from the distance to the query's
  // parent-to-be, grown until it holds k points (or all of them).
  Box ModelWindow(const ModelTree& model, const std::vector<Pt>& pts, int qx, int qy, int k) {
    const double d = Distance(pts[model.Parent(qx, qy)], qx, qy);
    const double ys = geo_ ? 0.36432 : 1.0, xs = geo_ ? ys * std::cos(qy * 1.745329252e-8) : 1.0;
    double hx = std::trunc(d / xs) + 1, hy = std::trunc(d / ys) + 1;
    for (;;) {
      const Box w = Window(qx - hx, qy - hy, qx + hx, qy + hy);
      const auto held =
          std::count_if(pts.begin(), pts.end(), [&](const Pt& p) { return w.Contains(p); });
      if (held >= k || held == long(pts.size())) return w;
      hx *= 2;
      hy *= 2;
      if (hx < 1000) {
        const double f = std::floor(1000 / hx) + 1;
        hx *= f;
        hy *= f;
      }
    }
  }
  // Every answer of a search whose first call answered `r` (into name_,
  // x_, y_), checking the coordinates that come with each name.
  std::vector<std::string> Drain(const std::vector<Pt>& pts, int r) {
    std::vector<std::string> names;
    for (; r == 1; r = pipRadFindNextIntern(ctx_, &x_, &y_, name_, sizeof name_)) {
      names.push_back(name_);
      const Pt& p = pts.at(std::stoul(name_));
      EXPECT_TRUE(p.x == x_ && p.y == y_) << name_;
    }
    EXPECT_EQ(r, 0);
    return names;
  }

  pipLibraryContext library_;
  pipRadContext* ctx_ = nullptr;
  bool geo_ = false;
  char name_[16] = "";
  int x_ = 0, y_ = 0;
};

TEST_P(RadialDifferential, AnswersMatchBruteForceOverTheModelTree) {
  const unsigned seed = 20261205u + static_cast<unsigned>(std::get<0>(GetParam())) * 2 + geo_;
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  const std::vector<Pt> pts = MakePoints(std::get<0>(GetParam()), geo_, rng, 2000);
  const ModelTree model(pts);
  // Inserted in three batches with searches between: queued points are
  // linked into a tree that already has nodes.
  for (std::size_t i = 0; i < pts.size(); ++i) {
    ASSERT_EQ(pipRadInsertPointIntern(ctx_, pts[i].x, pts[i].y, pts[i].name.c_str()), 1);
    if (i == 0 || i == 700)
      Drain(pts, pipRadFindFirstNearestIntern(ctx_, 0, 0, 1, &x_, &y_, name_, 16));
  }
  EXPECT_EQ(TreeShape(ctx_->tree()), model.Preorder(true));
  EXPECT_EQ(ctx_->tree().depth(), static_cast<std::size_t>(model.depth()));
  const std::vector<int> order = model.Preorder(false);
  auto in_tree_order = [&](auto&& keep) {
    std::vector<std::string> want;
    for (int i : order) {
      if (keep(pts[i])) want.push_back(pts[i].name);
    }
    return want;
  };
  std::uniform_int_distribution<int> any(0, int(pts.size()) - 1), far(-1, 2), jitter(-3000, 3000);
  for (int q = 0; q < 40; ++q) {
    // Rectangle: corners through two points (so points lie on its edges),
    // in either order, now and then pushed far out (beyond the world).
    const Pt &a = pts[any(rng)], &b = pts[any(rng)];
    const int ax = a.x + far(rng) * 1000000000, by = b.y + far(rng) * 1000000000;
    const Box w = Window(ax, by, b.x, a.y);
    EXPECT_EQ(Drain(pts, pipRadFindFirstInRectIntern(ctx_, ax, by, b.x, a.y, &x_, &y_, name_, 16)),
              in_tree_order([&](const Pt& p) { return w.Contains(p); }));

    // Radius: the target point lies exactly at the (truncated) radius.
    const int qx = a.x + jitter(rng), qy = a.y + jitter(rng);
    const Pt& target = pts[any(rng)];
    const int radius = int(Distance(target, qx, qy));
    const std::vector<std::string> near =
        Drain(pts, pipRadFindFirstInRadiusIntern(ctx_, qx, qy, radius, &x_, &y_, name_, 16));
    EXPECT_EQ(near, in_tree_order(
                        [&](const Pt& p) { return std::trunc(Distance(p, qx, qy)) <= radius; }));
    EXPECT_NE(std::find(near.begin(), near.end(), target.name), near.end());

    // Nearest: the k nearest of the last window, which grows from the
    // parent's distance as the model does; with and without the first
    // ranking.  The first answer is the nearest of all.  Counts up to 64
    // reach both the sorted candidate list and the heap.
    const int k = 1 << (q % 7);
    const Box window = ModelWindow(model, pts, qx, qy, k);
    std::vector<double> in_window, all;
    for (const Pt& p : pts) {
      all.push_back(Distance(p, qx, qy));
      if (window.Contains(p)) in_window.push_back(all.back());
    }
    std::sort(in_window.begin(), in_window.end());
    in_window.resize(std::min<std::size_t>(k, in_window.size()));
    for (bool skip : {false, true}) {
      ctx_->nearest().SkipFirstRankingForTest(skip);
      std::vector<std::string> got =
          Drain(pts, pipRadFindFirstNearestIntern(ctx_, qx, qy, k, &x_, &y_, name_, 16));
      const lumetra::RadialRect& last = ctx_->nearest().last_window();
      EXPECT_TRUE(last.min_x == window.x1 && last.min_y == window.y1 && last.max_x == window.x2 &&
                  last.max_y == window.y2);
      std::vector<double> dist;
      for (const std::string& n : got) dist.push_back(Distance(pts[std::stoul(n)], qx, qy));
      EXPECT_EQ(dist, in_window);
      EXPECT_EQ(dist.at(0), *std::min_element(all.begin(), all.end()));
      std::sort(got.begin(), got.end());
      EXPECT_EQ(std::unique(got.begin(), got.end()), got.end());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(PointSets, RadialDifferential,
                         ::testing::Combine(::testing::Values(Kind::kUniform, Kind::kClustered,
                                                              Kind::kDuplicates, Kind::kCollinear),
                                            ::testing::Bool()));

}  // namespace
