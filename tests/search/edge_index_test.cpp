// The edge index answers every point exactly as the ring walk does (count
// included): a differential test over the bundled state boundaries and over
// shapes made to trip it (vertices on stripe boundaries, horizontal runs
// that cross or only touch the line, holes, touching and flat rings,
// spikes, repeated points, extreme coordinates), each also with the index
// squeezed into few stripes.
#include "search/edge_index.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "support/io_tools.h"
#include "support/search_models.h"

namespace {

using lumetra::PolygonPart;
using lumetra::RecordPoint;
using Rings = std::vector<std::vector<RecordPoint>>;

// The rings laid out as a decoded record lays them out: one array.
struct Object {
  explicit Object(const Rings& rings) {
    for (const auto& r : rings) points.insert(points.end(), r.begin(), r.end());
    std::size_t start = 0;
    for (const auto& r : rings) {
      parts.push_back(PolygonPart{r.size(), points.data() + start});
      start += r.size();
    }
  }
  std::vector<RecordPoint> points;
  std::vector<PolygonPart> parts;
};

// Every query of `queries` answered with and without the index, for an
// index of ample room and one squeezed to a quarter of its entries.
void ExpectSameAnswers(const Rings& rings, const std::vector<RecordPoint>& queries,
                       const std::string& what) {
  const Object o(rings);
  const auto full = lumetra::EdgeIndex::Build(o.parts.data(), o.parts.size(), 1u << 30, 1);
  ASSERT_NE(full, nullptr) << what;
  const auto squeezed =
      lumetra::EdgeIndex::Build(o.parts.data(), o.parts.size(), 6 * o.points.size() + 1024, 1);
  ASSERT_NE(squeezed, nullptr) << what;
  EXPECT_LT(squeezed->stripe_count(), full->stripe_count() + 1) << what;
  for (const auto* index : {full.get(), squeezed.get()}) {
    std::vector<RecordPoint> all = queries;
    // Rows on and beside stripe boundaries.
    for (int s = 0; s <= 12; ++s) {
      const std::int64_t y = index->miny() + s * s * index->stripe_height();
      for (std::size_t k = s; k < queries.size(); k += 24) {
        for (std::int64_t row = y - 1; row <= y + 1; ++row) {
          if (row >= INT32_MIN && row <= INT32_MAX) {
            all.push_back({queries[k].x, static_cast<int>(row)});
          }
        }
      }
    }
    for (const RecordPoint& q : all) {
      const int walk = lumetra::PointInObject(o.parts.data(), o.parts.size(), q.x, q.y);
      ASSERT_EQ(index->PointIn(o.parts.data(), o.parts.size(), q.x, q.y), walk)
          << what << " at " << q.x << "," << q.y << " with " << index->stripe_count() << " stripes";
    }
  }
}

// Vertices (at most about 120), their neighbours one unit away and the
// midpoints of their edges, and random points of the rings' box grown by 2.
std::vector<RecordPoint> Queries(const Rings& rings, std::mt19937& rng, int random) {
  std::vector<RecordPoint> q;
  std::int64_t lo[2] = {INT32_MAX, INT32_MAX}, hi[2] = {INT32_MIN, INT32_MIN};
  std::size_t total = 0;
  for (const auto& r : rings) total += r.size();
  const std::size_t step = total / 120 + 1;
  for (const auto& r : rings) {
    for (std::size_t i = 0; i < r.size(); ++i) {
      lo[0] = std::min<std::int64_t>(lo[0], r[i].x), hi[0] = std::max<std::int64_t>(hi[0], r[i].x);
      lo[1] = std::min<std::int64_t>(lo[1], r[i].y), hi[1] = std::max<std::int64_t>(hi[1], r[i].y);
    }
    for (std::size_t i = 0; i < r.size(); i += step) {
      const RecordPoint& a = r[i];
      const RecordPoint& b = r[(i + 1) % r.size()];
      for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) {
          const std::int64_t x = std::int64_t{a.x} + dx, y = std::int64_t{a.y} + dy;
          if (x >= INT32_MIN && x <= INT32_MAX && y >= INT32_MIN && y <= INT32_MAX) {
            q.push_back({static_cast<int>(x), static_cast<int>(y)});
          }
        }
      }
      q.push_back({static_cast<int>((std::int64_t{a.x} + b.x) / 2),
                   static_cast<int>((std::int64_t{a.y} + b.y) / 2)});
    }
  }
  std::uniform_int_distribution<std::int64_t> x(std::max<std::int64_t>(lo[0] - 2, INT32_MIN),
                                                std::min<std::int64_t>(hi[0] + 2, INT32_MAX));
  std::uniform_int_distribution<std::int64_t> y(std::max<std::int64_t>(lo[1] - 2, INT32_MIN),
                                                std::min<std::int64_t>(hi[1] + 2, INT32_MAX));
  for (int i = 0; i < random; ++i) {
    q.push_back({static_cast<int>(x(rng)), static_cast<int>(y(rng))});
  }
  return q;
}

TEST(EdgeIndex, AdversarialShapesAnswerAsTheRingWalk) {
  constexpr std::uint32_t kSeed = 20261206;
  SCOPED_TRACE(testing::Message() << "seed " << kSeed);
  std::mt19937 rng(kSeed);
  // A comb whose teeth reach every y from 0 to 40: vertices on every
  // stripe boundary, horizontal runs crossing and touching each row.
  std::vector<RecordPoint> comb{{0, 0}, {200, 0}};
  for (int t = 0; t < 40; ++t) {
    const int x = 200 - 5 * t;
    comb.insert(comb.end(), {{x, 40 - t % 7}, {x - 2, 40 - t % 7}, {x - 2, t % 5}, {x - 5, t % 5}});
  }
  std::vector<RecordPoint> stairs;
  for (int i = 0; i < 30; ++i) stairs.insert(stairs.end(), {{i * 3, i * 2}, {i * 3 + 3, i * 2}});
  stairs.push_back({90, 0});
  // A ring that starts in the middle of a horizontal run (the run wraps
  // round its first point), with spikes and repeated points.
  const std::vector<RecordPoint> wrap{{5, 10},  {10, 10}, {10, 10}, {12, 20}, {12, 0}, {14, 20},
                                      {14, 10}, {20, 10}, {20, 0},  {0, 0},   {0, 10}, {2, 10}};
  const int big = std::numeric_limits<int>::max();
  const struct {
    const char* name;
    Rings rings;
  } shapes[] = {
      {"comb", {comb}},
      {"stairs", {stairs}},
      {"wrapping run", {wrap}},
      {"square with hole and island",
       {{{0, 0}, {100, 0}, {100, 100}, {0, 100}},
        {{20, 20}, {80, 20}, {80, 80}, {20, 80}},
        {{40, 40}, {60, 40}, {60, 60}, {40, 60}}}},
      {"touching squares",
       {{{0, 0}, {10, 0}, {10, 10}, {0, 10}},
        {{10, 0}, {20, 0}, {20, 10}, {10, 10}},
        {{20, 10}, {30, 10}, {30, 20}, {20, 20}}}},
      {"figure eight", {{{0, 0}, {10, 10}, {20, 0}, {20, 20}, {10, 10}, {0, 20}}}},
      {"flat and tiny rings",
       {{{0, 5}, {10, 5}, {20, 5}}, {{3, 3}}, {{1, 1}, {9, 9}}, {{0, 0}, {30, 0}, {15, 9}}}},
      {"extremes", {{{-big - 1, -big - 1}, {big, -big - 1}, {big, big}, {-big - 1, big}}}},
      {"stars",
       {search_models::Star<RecordPoint>(rng, 0, 0, 300, 100, 5000),
        search_models::Star<RecordPoint>(rng, 700, 300, 200, 50, 3000)}},
  };
  for (const auto& s : shapes) ExpectSameAnswers(s.rings, Queries(s.rings, rng, 1000), s.name);
}

// The rings of every polygon of a shapefile (types 5, 15, 25), in
// millionths of a degree as the importer makes them.
std::vector<Rings> ReadShapefilePolygons(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
  const auto i32 = [&](std::size_t at, bool big_endian) {
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v |= std::uint32_t{b[at + k]} << (big_endian ? 24 - 8 * k : 8 * k);
    return static_cast<std::int32_t>(v);
  };
  const auto f64 = [&](std::size_t at) {
    double d;
    std::memcpy(&d, &b[at], 8);
    return d;
  };
  std::vector<Rings> polygons;
  for (std::size_t at = 100; at + 8 <= b.size();) {
    const std::size_t length = 2 * static_cast<std::size_t>(i32(at + 4, true));
    const std::size_t r = at + 8;
    const int type = i32(r, false);
    if (type == 5 || type == 15 || type == 25) {
      const int nparts = i32(r + 36, false), npoints = i32(r + 40, false);
      Rings rings(nparts);
      for (int p = 0; p < nparts; ++p) {
        const int first = i32(r + 44 + 4 * p, false);
        const int end = p + 1 < nparts ? i32(r + 48 + 4 * p, false) : npoints;
        for (int k = first; k < end - 1; ++k) {  // rings stored open
          const std::size_t xy = r + 44 + 4 * nparts + 16 * k;
          rings[p].push_back(
              {static_cast<int>(f64(xy) * 1e6), static_cast<int>(f64(xy + 8) * 1e6)});
        }
      }
      polygons.push_back(rings);
    }
    at = r + length;
  }
  return polygons;
}

TEST(EdgeIndex, StateBoundariesAnswerAsTheRingWalk) {
  const std::vector<Rings> states =
      ReadShapefilePolygons(lumetra_test::SourcePath("data/us_states.shp"));
  ASSERT_GE(states.size(), 50u);
  std::mt19937 rng(1207);
  for (std::size_t i = 0; i < states.size(); ++i) {
    ExpectSameAnswers(states[i], Queries(states[i], rng, 100), "state " + std::to_string(i));
  }
}

}  // namespace
