// The clipper against a brute-force slab model over seeded random polygon
// pairs, with the area identities and the shape of every output contour.
#include "clip/polygon_clip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "support/clip_models.h"

namespace lumetra {
namespace {

using lumetra_test::ModelPolygon;
using lumetra_test::ModelRing;

enum class Family { kConvex, kStar, kTangled, kHoles, kGrid, kTouching, kNearlyCollinear, kCount };
const char* kFamilyNames[] = {"convex", "star",     "tangled",  "holes",
                              "grid",   "touching", "collinear"};

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  double U(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  int I(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  // A ring around (cx, cy) at sorted random angles, radius in [r0, r1].
  ModelRing Star(double cx, double cy, double r0, double r1, int n) {
    std::vector<double> t(static_cast<std::size_t>(n));
    for (double& a : t) a = U(0, 2 * M_PI);
    std::sort(t.begin(), t.end());
    ModelRing ring;
    for (double a : t) {
      double r = U(r0, r1);
      ring.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    return ring;
  }

  ModelPolygon Make(Family f) {
    double cx = U(-1, 1), cy = U(-1, 1);
    switch (f) {
      case Family::kConvex:
        return {Star(cx, cy, 1, 1, I(3, 12))};
      case Family::kStar:
        return {Star(cx, cy, 0.3, 1.5, I(5, 20))};
      case Family::kTangled: {
        ModelRing r;
        for (int i = I(3, 12); i > 0; --i) r.push_back({U(-1.5, 1.5), U(-1.5, 1.5)});
        return {r};
      }
      case Family::kHoles:
        return {Star(cx, cy, 1.2, 1.6, I(5, 14)), Star(cx + 0.3, cy, 0.1, 0.5, I(3, 8)),
                Star(cx - 0.5, cy - 0.3, 0.05, 0.3, I(3, 6))};
      case Family::kGrid: {
        ModelPolygon p;
        for (int c = I(1, 2); c > 0; --c) {
          ModelRing r;
          for (int i = I(3, 8); i > 0; --i) r.push_back({double(I(0, 6)), double(I(0, 6))});
          p.push_back(r);
        }
        return p;
      }
      case Family::kTouching: {  // two lobes through one vertex, and a hole touching the outline
        ModelRing r = {{cx, cy}, {cx + 1, cy + 0.4},   {cx + 1, cy - 0.6},
                       {cx, cy}, {cx - 0.8, cy - 0.5}, {cx - 0.9, cy + 0.7}};
        ModelRing hole = {{cx + 1, cy - 0.1}, {cx + 0.6, cy}, {cx + 0.6, cy - 0.3}};
        return {r, hole};
      }
      case Family::kNearlyCollinear: {
        ModelRing r;
        double dx = U(-1, 1), dy = U(-1, 1);
        for (int i = 0; i < 6; ++i)
          r.push_back({cx + i * dx + U(-1e-12, 1e-12), cy + i * dy + U(-1e-12, 1e-12)});
        r.push_back({cx + 2.5 * dx + U(-0.3, 0.3), cy + 2.5 * dy + U(-0.3, 0.3)});
        return {r};
      }
      case Family::kCount:
        break;
    }
    return {};
  }

  // b shares vertices and edges with a: a run of a's vertices plus new ones.
  ModelPolygon Sharing(const ModelPolygon& a) {
    const ModelRing& src = a[0];
    std::size_t start = static_cast<std::size_t>(I(0, static_cast<int>(src.size()) - 1));
    std::size_t len = static_cast<std::size_t>(I(2, static_cast<int>(src.size())));
    ModelRing r;
    for (std::size_t i = 0; i < len; ++i) r.push_back(src[(start + i) % src.size()]);
    for (int i = I(1, 3); i > 0; --i) r.push_back({U(-1.5, 1.5), U(-1.5, 1.5)});
    return {r};
  }

 private:
  std::mt19937 rng_;
};

ClipPolygon ToClip(const ModelPolygon& p) {
  ClipPolygon c;
  for (const ModelRing& r : p) {
    std::vector<ClipVertex> v;
    for (const auto& q : r) v.push_back({q.x, q.y});
    c.AddContour(v.data(), static_cast<int>(v.size()));
  }
  return c;
}

// Area of a result (holes negative), after checking every contour's shape.
double ResultArea(const ClipPolygon& r, std::string* fault) {
  double area = 0;
  std::size_t at = 0;
  for (int c = 0; c < r.ContourCount(); ++c) {
    ModelRing ring;
    for (int i = 0; i < r.counts[static_cast<std::size_t>(c)]; ++i, ++at) {
      ring.push_back({r.vertices[at].x, r.vertices[at].y});
    }
    bool hole = r.holes[static_cast<std::size_t>(c)] != 0;
    std::string f = lumetra_test::RingFault(ring, hole);
    if (!f.empty() && fault->empty()) *fault = "contour " + std::to_string(c) + ": " + f;
    double a = std::fabs(lumetra_test::TwiceSignedArea(ring)) / 2;
    area += hole ? -a : a;
  }
  return area;
}

TEST(PolygonClip, RandomPairsMatchTheSlabModelAndTheAreaIdentities) {
  const unsigned kSeed = 20261206;
  std::printf("seed %u\n", kSeed);
  Generator gen(kSeed);
  const int kPairs = 3000;
  for (int n = 0; n < kPairs; ++n) {
    Family fa = static_cast<Family>(n % static_cast<int>(Family::kCount));
    Family fb = static_cast<Family>(gen.I(0, static_cast<int>(Family::kCount) - 1));
    ModelPolygon a = gen.Make(fa);
    ModelPolygon b = n % 5 == 4 ? gen.Sharing(a) : n % 11 == 10 ? a : gen.Make(fb);
    if (n % 3 == 2) {  // geographic magnitudes: far from the origin, small extent
      for (ModelPolygon* p : {&a, &b}) {
        for (ModelRing& r : *p) {
          for (auto& q : r) q = {-97.25 + q.x * 0.01, 38.5 + q.y * 0.01};
        }
      }
    }
    std::array<double, 4> model = lumetra_test::ModelAreas(a, b);
    double scale = std::max(1e-4, model[3]);
    double got[4];
    for (int op = 0; op < 4; ++op) {
      ClipPolygon out;
      ClipStats stats;
      ClipHooks hooks;
      hooks.stats = &stats;
      ClipPolygons(static_cast<ClipOperation>(op), ToClip(a), ToClip(b), &out, &hooks);
      std::string fault;
      got[op] = ResultArea(out, &fault);
      SCOPED_TRACE("pair " + std::to_string(n) + " (" + kFamilyNames[int(fa)] + " / " +
                   kFamilyNames[int(fb)] + "), op " + std::to_string(op));
      ASSERT_EQ(fault, "");
      ASSERT_EQ(stats.repairs, 0);
      ASSERT_NEAR(got[op], model[static_cast<std::size_t>(op)], 1e-9 * scale);
    }
    double area_a = lumetra_test::ModelAreas(a, {})[3];
    double area_b = lumetra_test::ModelAreas(b, {})[3];
    ASSERT_NEAR(got[3] + got[1], area_a + area_b, 1e-9 * scale) << n;
    ASSERT_NEAR(got[0] + got[1], area_a, 1e-9 * scale) << n;
    ASSERT_NEAR(got[2], got[3] - got[1], 1e-9 * scale) << n;
  }
}

}  // namespace
}  // namespace lumetra
