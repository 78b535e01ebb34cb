// Lines, polygons and their collections: closure, connection, copies,
// combine and conversions as table rows; distances between random
// geometries against a planar brute-force model.
#include <gtest/gtest.h>
#include <lumetra/geometry.h>
#include <lumetra/gpc.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace {

TEST(Polygon, ClosureRuleForEveryInputForm) {
  const int closed_xy[] = {0, 0, 1000000, 0, 1000000, 1000000, 0, 0};
  const double x[] = {0, 1, 1, 0}, y[] = {0, 0, 1, 0};
  CPipPoint p[] = {{0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.0, 0.0}};
  CSegment segs[] = {{0, 0, 1, 0}, {1, 0, 1, 1}};
  std::vector<CPolygon> rings;
  rings.emplace_back(closed_xy, 4);
  rings.emplace_back(closed_xy, 3);  // open: the closing segment is added
  rings.emplace_back(x, y, 4);
  rings.emplace_back(x, y, 3);
  rings.emplace_back(p, 4);
  rings.emplace_back(segs, 2);
  for (const CPolygon& ring : rings) {
    EXPECT_EQ(ring.getCount(), 3);
    EXPECT_EQ(ring.getPointCount(), 4);
    int out[8] = {0};
    ring.get(out);
    EXPECT_EQ(std::vector<int>(out, out + 8),
              (std::vector<int>{0, 0, 1000000, 0, 1000000, 1000000, 0, 0}));
    EXPECT_EQ(ring.getPoint(3), ring.getPoint(0));
  }
  p[3].setName("named");  // last point no longer equals the first: open input
  EXPECT_EQ(CPolygon(p, 4).getCount(), 4);
  CPolygon square(std::vector<double>{0, 2, 2, 0}.data(), std::vector<double>{0, 0, 2, 2}.data(),
                  4);
  EXPECT_EQ(square.getCentroid(), CPipPoint(1.0, 1.0));
  const double rx[] = {0, 3, 0, 0}, ry[] = {0, 0, 3, 3};  // (0,3) twice
  EXPECT_EQ(CPolygon(rx, ry, 4).getCentroid(), CPipPoint(0.75, 1.5));
  EXPECT_TRUE(std::isnan(CPolygon().getCentroid().getX()));
}

TEST(Line, ConnectRules) {
  auto line = [](double x0, double y0, double x1, double y1) {
    const double x[] = {x0, x1}, y[] = {y0, y1};
    return CLine(x, y, 2);
  };
  struct Row {
    CLine a, b;
    int connected;
    std::vector<double> xs;  // x of the joined points (all y are 0)
  } rows[] = {
      {line(0, 0, 1, 0), line(1, 0, 2, 0), 1, {0, 1, 2}},
      {line(0, 0, 1, 0), line(2, 0, 1, 0), 1, {0, 1, 2}},  // end to end
      {line(1, 0, 2, 0), line(0, 0, 1, 0), 1, {0, 1, 2}},  // start to end
      {line(1, 0, 2, 0), line(1, 0, 0, 0), 1, {0, 1, 2}},  // start to start: b runs backwards
      {line(0, 0, 1, 0), line(3, 0, 4, 0), 0, {0, 1}},
  };
  for (Row& r : rows) {
    EXPECT_EQ(r.a.isConnected(r.b), r.connected);
    EXPECT_EQ(r.a.connect(r.b), r.connected);
    ASSERT_EQ(r.a.getPointCount(), static_cast<int>(r.xs.size()));
    for (std::size_t i = 0; i < r.xs.size(); ++i)
      EXPECT_EQ(r.a.getPoint(static_cast<int>(i)).getX(), r.xs[i]);
  }
  CPipPoint named[] = {{1.0, 0.0}, {2.0, 0.0}};
  named[0].setName("n");
  EXPECT_EQ(line(0, 0, 1, 0).isConnected(CLine(named, 2)), 0);  // equal coordinates, other name
  const double one = 5;
  CLine single(&one, &one, 1);
  EXPECT_EQ(single.getCount(), 0);
  EXPECT_EQ(single.getPointCount(), 1);
  EXPECT_EQ(single.length(), 0.0);

  CLine parts[] = {line(0, 0, 1, 0), line(1, 0, 2, 0), line(5, 5, 6, 6)};
  CPolyLine poly(parts, 3);
  poly.setName("kept?");
  poly.connectLines();
  EXPECT_EQ(poly.getCount(), 2);
  EXPECT_EQ(poly.getLine(0).getPointCount(), 3);
  EXPECT_STREQ(poly.getName(), "");
}

TEST(Polygon, CombineAndGpcConversions) {
  const double ax[] = {0, 2, 2, 0}, ay[] = {0, 0, 2, 2};
  const double bx[] = {1, 3, 3, 1}, by[] = {1, 1, 3, 3};
  CPolygon a(ax, ay, 4), b(bx, by, 4);
  CPolygon joined(a);
  EXPECT_TRUE(joined.combine(b));
  EXPECT_EQ(joined.getCount(), 8);
  CPolygon apart(a);
  CPolygon moved(std::vector<double>{10, 11, 11}.data(), std::vector<double>{0, 0, 1}.data(), 3);
  EXPECT_FALSE(apart.combine(moved));
  EXPECT_TRUE(apart == a);

  gpc_polygon one, each;
  zglPolyToGpcPoly(&a, &one);
  ASSERT_EQ(one.num_contours, 1);
  EXPECT_EQ(one.contour[0].num_vertices, 5);
  EXPECT_EQ(one.hole[0], 0);
  CPolyPolygon rings(&a, 1);
  zglPolyPolyToGpcPoly(&rings, &each);
  EXPECT_EQ(each.contour[0].num_vertices, 4);

  const double ix[] = {0.5, 1.5, 1.5, 0.5}, iy[] = {0.5, 0.5, 1.5, 1.5};
  CPolygon inner(ix, iy, 4);
  gpc_polygon hole, diff;
  zglPolyToGpcPoly(&inner, &hole);
  gpc_polygon_clip(GPC_DIFF, &one, &hole, &diff);
  CPolyPolygon back;
  back.setName("gone");
  gpcPolyToZglPoly(&diff, &back);
  EXPECT_EQ(back.getPartCount(), 2);  // the hole is a plain ring
  EXPECT_EQ(back.getPolygon(0).getCount() + back.getPolygon(1).getCount(), 8);
  EXPECT_STREQ(back.getName(), "");
  gpc_free_polygon(&each);
  CPolyPolygon none;
  zglPolyPolyToGpcPoly(&none, &each);
  EXPECT_EQ(each.num_contours, 0);
  EXPECT_TRUE(each.contour == nullptr);
  for (gpc_polygon* g : {&one, &hole, &diff}) gpc_free_polygon(g);
}

// ---- Distances against a planar model ----

// Planar feet at a fixed reference latitude: the rules differ from it only
// by the reference latitudes they take, which inside the 0.03-degree test
// area moves results by well under 0.1% and a foot by under a foot.
constexpr double kLat = 40.05;
double Px(const CPipPoint& p) { return p.getX() * 364320 * std::cos(kLat * M_PI / 180); }
double Py(const CPipPoint& p) { return p.getY() * 364320; }

double PointSegment(const CPipPoint& p, const CSegment& s) {
  double ax = Px(s.getStart()), ay = Py(s.getStart()), bx = Px(s.getEnd()), by = Py(s.getEnd());
  double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
  double t = len2 == 0 ? 0 : std::clamp(((Px(p) - ax) * dx + (Py(p) - ay) * dy) / len2, 0.0, 1.0);
  return std::hypot(Px(p) - ax - t * dx, Py(p) - ay - t * dy);
}

// The least distance between two segments; -1 when they cross.
double SegmentSegment(const CSegment& s, const CSegment& t) {
  auto cross = [](double ax, double ay, double bx, double by, double cx, double cy) {
    return (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
  };
  double d1 = cross(Px(s.getStart()), Py(s.getStart()), Px(s.getEnd()), Py(s.getEnd()),
                    Px(t.getStart()), Py(t.getStart()));
  double d2 = cross(Px(s.getStart()), Py(s.getStart()), Px(s.getEnd()), Py(s.getEnd()),
                    Px(t.getEnd()), Py(t.getEnd()));
  double d3 = cross(Px(t.getStart()), Py(t.getStart()), Px(t.getEnd()), Py(t.getEnd()),
                    Px(s.getStart()), Py(s.getStart()));
  double d4 = cross(Px(t.getStart()), Py(t.getStart()), Px(t.getEnd()), Py(t.getEnd()),
                    Px(s.getEnd()), Py(s.getEnd()));
  if ((d1 > 0) != (d2 > 0) && (d3 > 0) != (d4 > 0)) return -1;
  return std::min({PointSegment(s.getStart(), t), PointSegment(s.getEnd(), t),
                   PointSegment(t.getStart(), s), PointSegment(t.getEnd(), s)});
}

// A random geometry of one of five kinds with its segments (a point has
// one degenerate segment) and vertices.
struct Shape {
  std::unique_ptr<IGeometry> geometry;
  std::vector<CSegment> segments;
  std::vector<CPipPoint> vertices;
};

Shape RandomShape(std::mt19937& rng, int kind) {
  std::uniform_real_distribution<double> u(0, 0.01);
  double ox = 2 * u(rng), oy = 2 * u(rng);
  auto ring = [&](int n, std::vector<double>& x, std::vector<double>& y) {
    for (int i = 0; i < n; ++i) {
      x.push_back(-100 + ox + u(rng));
      y.push_back(40 + oy + u(rng));
    }
  };
  std::vector<double> x, y;
  Shape s;
  if (kind == 0) {
    ring(1, x, y);
    s.geometry = std::make_unique<CPipPoint>(x[0], y[0]);
  } else if (kind <= 2) {
    ring(2 + static_cast<int>(rng() % 5), x, y);
    int n = static_cast<int>(x.size());
    if (kind == 1) s.geometry = std::make_unique<CLine>(x.data(), y.data(), n);
    if (kind == 2) s.geometry = std::make_unique<CPolygon>(x.data(), y.data(), n);
  } else {
    ring(7, x, y);
    const int counts[] = {3, 4};
    if (kind == 3) s.geometry = std::make_unique<CPolyLine>(x.data(), y.data(), counts, 2);
    if (kind == 4) s.geometry = std::make_unique<CPolyPolygon>(x.data(), y.data(), counts, 2);
  }
  auto add_chain = [&](const auto& chain) {
    for (int i = 0; i < chain.getCount(); ++i) s.segments.push_back(chain.getSegment(i));
  };
  if (auto* p = dynamic_cast<CPipPoint*>(s.geometry.get())) s.segments.emplace_back(*p, *p);
  if (auto* l = dynamic_cast<CLine*>(s.geometry.get())) add_chain(*l);
  if (auto* r = dynamic_cast<CPolygon*>(s.geometry.get())) add_chain(*r);
  if (auto* pl = dynamic_cast<CPolyLine*>(s.geometry.get())) {
    for (int i = 0; i < pl->getCount(); ++i) add_chain(pl->getLine(i));
  }
  if (auto* pp = dynamic_cast<CPolyPolygon*>(s.geometry.get())) {
    for (int i = 0; i < pp->getPartCount(); ++i) add_chain(pp->getPolygon(i));
  }
  for (const CSegment& seg : s.segments) {
    s.vertices.push_back(seg.getStart());
    s.vertices.push_back(seg.getEnd());
  }
  return s;
}

TEST(GeometryDistances, MatchPlanarBruteForce) {
  const unsigned kSeed = 4242;
  std::printf("seed %u\n", kSeed);
  std::mt19937 rng(kSeed);
  for (int n = 0; n < 2000; ++n) {
    Shape a = RandomShape(rng, n % 5), b = RandomShape(rng, (n / 5) % 5);
    SCOPED_TRACE("pair " + std::to_string(n));
    // Crossing segments are left to the segment rules (whose range test
    // reads downward-running segments as empty).
    double model = DBL_MAX;
    for (const CSegment& s : a.segments) {
      for (const CSegment& t : b.segments) model = std::min(model, SegmentSegment(s, t));
    }
    if (model >= 0) {
      double tol = 1e-3 * model + 1.0;
      EXPECT_NEAR(a.geometry->minDistance(b.geometry.get()), model, tol);
      EXPECT_NEAR(b.geometry->minDistance(a.geometry.get()), model, tol);
    }
    const CPipPoint& p = b.vertices[0];
    double near = DBL_MAX, far = 0;
    for (const CSegment& s : a.segments) near = std::min(near, PointSegment(p, s));
    for (const CPipPoint& v : a.vertices)
      far = std::max(far, std::hypot(Px(v) - Px(p), Py(v) - Py(p)));
    EXPECT_NEAR(a.geometry->minDistance(p), near, 1e-3 * near + 1.0);
    EXPECT_NEAR(a.geometry->maxDistance(p), far, 1e-3 * far + 1e-6);
  }
}

}  // namespace
