// Market-area polygons as callers see them: every output read back through
// the object-file functions and checked for its properties (ring radius,
// Thiessen cells against GEOS, hull convexity), the naming and sharing of
// output files, progress and stop, and the exact failure messages.
#include <geos_c.h>

#include <cmath>
#include <cstdarg>
#include <functional>
#include <random>

#include "support/capi_fixture.h"

namespace {

using capi_test::CapiTest;
using capi_test::Coords;
using lumetra_test::FileExists;
using lumetra_test::ListDir;

constexpr int kGeo = PIP_COORD_GEOGRAPHIC;

std::vector<int> g_progress;  // store numbers the progress callback saw
int StopAfterFirst(int, int number, const char*) {
  g_progress.push_back(number);
  return number == 1 ? 0 : 1;
}

// A point list of one part as (x, y) pairs.
std::vector<std::pair<double, double>> Part(const Coords& c, std::size_t part) {
  std::vector<std::pair<double, double>> out;
  std::size_t k = 0;
  for (std::size_t p = 0; p < part; ++p) k += 2 * static_cast<std::size_t>(c.parts[p]);
  for (int i = 0; i < c.parts[part]; ++i, k += 2) out.emplace_back(c.xy[k], c.xy[k + 1]);
  return out;
}

class PmaCapi : public CapiTest {
 protected:
  void SetUp() override {
    CapiTest::SetUp();
    ASSERT_EQ(pipPmaInit(lib_, &pma_), 1);
    geos_ = GEOS_init_r();
  }
  void TearDown() override {
    if (pma_ != 0) {
      EXPECT_EQ(pipPmaTerm(pma_, 0), 1);
    }
    GEOS_finish_r(geos_);
    CapiTest::TearDown();
  }
  // Ends the service with commit and reads back every object of `file` by name.
  std::map<std::string, Coords> Finish(const std::string& file) {
    EXPECT_EQ(pipPmaTerm(pma_, 1), 1) << Detail();
    pma_ = 0;
    return ReadBack(file);
  }
  std::map<std::string, Coords> ReadBack(const std::string& file) {
    std::map<std::string, Coords> out;
    const int h = Open(file);
    if (h == 0) return out;
    char name[PIP_NAME_SIZE];
    for (int r = pipObjectFindFirstName(h, "*", name, sizeof name); r > 0;
         r = pipObjectFindNext(h, name, sizeof name)) {
      out[name] = CurrentCoords(h);
    }
    Close(h);
    return out;
  }
  void AddStores(const std::vector<std::tuple<std::string, int, int>>& stores) {
    for (const auto& [name, x, y] : stores) {
      ASSERT_EQ(pipPmaAddStore(pma_, x, y, name.c_str()), 1) << name;
    }
  }
  GEOSGeometry* Polygon(const Coords& c) {
    std::vector<GEOSGeometry*> rings;
    for (std::size_t p = 0; p < c.parts.size(); ++p) {
      const auto pts = Part(c, p);
      GEOSCoordSequence* seq = GEOSCoordSeq_create_r(geos_, pts.size() + 1, 2);
      for (std::size_t i = 0; i <= pts.size(); ++i) {
        const auto& q = pts[i % pts.size()];
        GEOSCoordSeq_setXY_r(geos_, seq, i, q.first, q.second);
      }
      rings.push_back(GEOSGeom_createLinearRing_r(geos_, seq));
    }
    return GEOSGeom_createPolygon_r(geos_, rings[0], rings.data() + 1, rings.size() - 1);
  }

  int pma_ = 0;
  GEOSContextHandle_t geos_ = nullptr;
};

TEST_F(PmaCapi, FailuresRecordTheirMessages) {
  const std::string long_name(300, 'n');
  AddStores({{"A", 0, 0}, {long_name.substr(0, 259) + "x", 10, 10}});
  ASSERT_EQ(pipPmaSetOutputFiles(pma_, 0, "out", "", ""), 1);
  struct Row {
    const char* what;
    std::function<int()> call;
    int code;
    const char* detail;
  };
  const int h = pma_;
  const Row rows[] = {
      {"same store", [&] { return pipPmaAddStore(h, 1, 1, "A"); }, 104,
       "Cannot add same store to store list twice."},
      {"same first 259", [&] { return pipPmaAddStore(h, 1, 1, long_name.c_str()); }, 104,
       "Cannot add same store to store list twice."},
      {"null name", [&] { return pipPmaAddStore(h, 1, 1, nullptr); }, 104,
       "Unexpected NULL pointer passed."},
      {"no such store", [&] { return pipPmaAddCustomer(h, 1, 1, "B", 1); }, 100,
       "Cannot add customer: no such store."},
      {"ring order", [&] { return pipPmaGenerateRingPolygons(h, 8, 0, 1, 1, 0.5, 0); }, 100,
       "Ring polygon - bad radius values."},
      {"cell order", [&] { return pipPmaGenerateNonoverlappingRingPolygons(h, 8, 0, 1, 1, 3, 2); },
       100, "Thiessen polygon - bad radius values."},
      {"hull order", [&] { return pipPmaGenerateConvexHullPolygons(h, 1, 0, 0, 1, .5, .2, 0); },
       100, "Convex hull polygon - bad threshold values."},
      {"2 segments", [&] { return pipPmaGenerateRingPolygons(h, 2, 0, 1, 1, 0, 0); }, 100,
       "Too few segments in polygon."},
      {"361 segments",
       [&] { return pipPmaGenerateNonoverlappingRingPolygons(h, 361, 0, 1, 1, 0, 0); }, 100,
       "Too many segments in polygon."},
      {"negative radius", [&] { return pipPmaGenerateRingPolygons(h, 8, 0, 1, -1, 0, 0); }, 100,
       "Polygon radius too small."},
      {"share above 1", [&] { return pipPmaGenerateConvexHullPolygons(h, 1, 0, 0, 1, 1.5, 0, 0); },
       100, "Percentage value not beteen 0.0 and 1.0."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(row.call(), -1);
    ExpectError(row.code, row.detail);
  }
  // Nothing was written by the failed calls: no file is kept.
  EXPECT_EQ(pipPmaTerm(pma_, 1), 1);
  pma_ = 0;
  EXPECT_FALSE(FileExists("out.zon"));
  for (int bad : {0, -1, lib_, 99}) {
    EXPECT_EQ(pipPmaAddStore(bad, 0, 0, "Z"), -1);
    EXPECT_EQ(pipPmaClearStores(bad), -1);
    EXPECT_EQ(pipPmaClearCustomers(bad), -1);
    EXPECT_EQ(pipPmaSetProgressFunction(bad, nullptr), -1);
    EXPECT_EQ(pipPmaGenerateRingPolygons(bad, 8, 0, 1, 1, 0, 0), -1);
    EXPECT_EQ(pipPmaTerm(bad, 1), -1);
  }
  CpmaGlobalStoreList* none = reinterpret_cast<CpmaGlobalStoreList*>(8);
  EXPECT_EQ(pipPmaInitIntern(nullptr, &none), -1);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(pipPmaAddStoreIntern(nullptr, 0, 0, "Z"), -1);
  EXPECT_EQ(pipPmaGenerateConvexHullPolygonsIntern(nullptr, 1, 0, 0, 1, .5, 0, 0), -1);
  EXPECT_EQ(pipPmaTermIntern(nullptr, 1), -1);
}

TEST_F(PmaCapi, ThiessenBisectorAndFarStore) {
  const int mile = 14492;  // millionths of a degree per mile of latitude
  AddStores({{"South", -93000000, 42000000}, {"North", -93000000, 42000000 + 2 * mile}});
  ASSERT_EQ(pipPmaSetOutputFiles(pma_, kGeo, "two", "", ""), 1);
  ASSERT_EQ(pipPmaGenerateNonoverlappingRingPolygons(pma_, 72, 1, 1, 5, 0, 0), 1);
  AddStores({{"Far", -93000000, 42000000 + 13 * mile}});  // 11 miles from North
  ASSERT_EQ(pipPmaSetOutputFiles(pma_, kGeo, "three", "", ""), 1);
  ASSERT_EQ(pipPmaGenerateNonoverlappingRingPolygons(pma_, 72, 1, 1, 5, 0, 0), 1);
  const auto three = Finish("three.zon");
  const auto two = ReadBack("two.zon");
  const int middle = 42000000 + mile;
  for (const auto& [vx, vy] : Part(two.at("PMA South PT"), 0)) EXPECT_LE(vy, middle) << vx;
  for (const auto& [vx, vy] : Part(two.at("PMA North PT"), 0)) EXPECT_GE(vy, middle) << vx;
  EXPECT_EQ(two.at("PMA South PT"), three.at("PMA South PT"));
  EXPECT_EQ(two.at("PMA North PT"), three.at("PMA North PT"));
}

// Hulls of random customers: convex, counter-clockwise, made of customers
// and holding every customer the share takes.
TEST_F(PmaCapi, HullsAreConvexAndHoldTheChosenCustomers) {
  std::mt19937 rng(99);
  SCOPED_TRACE("seed 99");
  std::uniform_int_distribution<int> at(-50000, 50000);
  AddStores({{"Store", 1000, 2000}});
  std::vector<std::pair<double, std::pair<double, double>>> customers;  // (distance, at)
  for (int i = 0; i < 400; ++i) {
    const int x = 1000 + at(rng), y = 2000 + at(rng);
    ASSERT_EQ(pipPmaAddCustomer(pma_, x, y, "Store", 1.0), 1);
    customers.push_back({std::hypot(x - 1000, y - 2000), {x, y}});
  }
  std::sort(customers.begin(), customers.end());
  ASSERT_EQ(pipPmaSetOutputFiles(pma_, 0, "h1", "h2", "h3"), 1);
  const double shares[3] = {0.1, 0.45, 0.8};
  ASSERT_EQ(pipPmaGenerateConvexHullPolygons(pma_, 1, 45000, 0, 1, 0.1, 0.45, 0.8), 1);
  ASSERT_EQ(pipPmaTerm(pma_, 1), 1);
  pma_ = 0;
  std::size_t in_reach = 0;
  while (in_reach < customers.size() && customers[in_reach].first <= 45000) ++in_reach;
  const char* names[3] = {"PMA Store PC", "PMA Store SC", "PMA Store ST"};
  const char* files[3] = {"h1.zon", "h2.zon", "h3.zon"};
  for (int level = 0; level < 3; ++level) {
    const auto hull = Part(ReadBack(files[level]).at(names[level]), 0);
    const auto taken = static_cast<std::size_t>(static_cast<double>(in_reach) * shares[level]);
    std::set<std::pair<double, double>> chosen;
    for (std::size_t i = 0; i < taken; ++i) chosen.insert(customers[i].second);
    ASSERT_GE(hull.size(), 3u);
    for (std::size_t i = 0; i < hull.size(); ++i) {
      const auto& a = hull[i];
      const auto& b = hull[(i + 1) % hull.size()];
      EXPECT_TRUE(chosen.count(a)) << "hull vertex is not a chosen customer";
      EXPECT_GT((b.first - a.first) * (hull[(i + 2) % hull.size()].second - a.second) -
                    (b.second - a.second) * (hull[(i + 2) % hull.size()].first - a.first),
                0)
          << "not strictly convex at " << i;
      for (const auto& p : chosen) {
        EXPECT_GE((b.first - a.first) * (p.second - a.second) -
                      (b.second - a.second) * (p.first - a.first),
                  0);
      }
    }
  }
}

TEST_F(PmaCapi, HullSharesByWeightAndByCount) {
  AddStores({{"S", 0, 0}});
  const int xy[10][2] = {{1, 0},  {0, 2},  {-3, 0},  {0, -4}, {5, 5},
                         {-6, 6}, {7, -7}, {-8, -8}, {90, 1}, {1, 95}};
  for (const auto& c : xy) {
    ASSERT_EQ(pipPmaAddCustomer(pma_, c[0], c[1], "S", 1.0), 1);
  }
  ASSERT_EQ(pipPmaSetOutputFiles(pma_, 0, "w", "", ""), 1);
  ASSERT_EQ(pipPmaGenerateConvexHullPolygons(pma_, 0, 0, 0, 1, 0.5, 0, 0), 1);  // 5 by weight
  ASSERT_EQ(pipPmaSetOutputFiles(pma_, 0, "c", "", ""), 1);
  ASSERT_EQ(pipPmaGenerateConvexHullPolygons(pma_, 1, 0, 0, 1, 0.5, 0, 0), 1);  // 5 by count
  ASSERT_EQ(pipPmaSetOutputFiles(pma_, 0, "q", "", ""), 1);
  ASSERT_EQ(pipPmaGenerateConvexHullPolygons(pma_, 1, 0, 0, 1, 0.25, 0, 0), 1);  // 2: no hull
  const std::vector<int> five = {0, -4, 5, 5, 0, 2, -3, 0};  // the 5 nearest, wrapped
  EXPECT_EQ(Finish("w.zon").at("PMA S PC").xy, five);
  EXPECT_EQ(ReadBack("c.zon").at("PMA S PC").xy, five);
  EXPECT_FALSE(FileExists("q.zon"));
}

TEST_F(PmaCapi, StopFromProgressKeepsTheFirstStore) {
  AddStores({{"One", 0, 0}, {"Two", 500, 0}, {"Three", 1000, 0}});
  g_progress.clear();
  ASSERT_EQ(pipPmaSetProgressFunction(pma_, StopAfterFirst), 1);
  ASSERT_EQ(pipPmaSetOutputFiles(pma_, 0, "stop", "", nullptr), 1);
  EXPECT_EQ(pipPmaGenerateRingPolygons(pma_, 12, 0, 1, 100, 0, 0), -1);
  ExpectError(100, "Pma polygon generation stopped before completion by user.");
  EXPECT_EQ(g_progress, std::vector<int>{1});
  const auto objects = Finish("stop.zon");
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects.count("PMA One PR"), 1u);
}

// Slots naming one file share it; a new SetOutputFiles finishes the old
// files, a failing open closes everything, Term without commit keeps none.
TEST_F(PmaCapi, OutputFilesAreSharedFinishedOrDropped) {
  AddStores({{"A", 0, 0}});
  ASSERT_EQ(pipPmaSetOutputFiles(pma_, 0, "x", "y", "x.zon"), 1);
  ASSERT_EQ(pipPmaGenerateRingPolygons(pma_, 8, 0, 1, 10, 20, 30), 1);
  ASSERT_EQ(pipPmaSetOutputFiles(pma_, 0, "z", "", ""), 1);
  EXPECT_EQ(ReadBack("x.zon").size(), 2u);  // PR and TR
  EXPECT_EQ(ReadBack("y.zon").count("PMA A SR"), 1u);
  ASSERT_EQ(pipPmaGenerateRingPolygons(pma_, 8, 0, 1, 10, 20, 30), 1);
  EXPECT_EQ(pipPmaSetOutputFiles(pma_, 0, "w", "no/such/dir/v", ""), -1);
  EXPECT_TRUE(FileExists("z.zon"));
  EXPECT_FALSE(FileExists("w.zon"));
  ASSERT_EQ(pipPmaSetOutputFiles(pma_, 0, "u", "", ""), 1);
  ASSERT_EQ(pipPmaGenerateRingPolygons(pma_, 8, 0, 1, 10, 20, 30), 1);
  EXPECT_EQ(pipPmaTerm(pma_, 0), 1);
  pma_ = 0;
  EXPECT_FALSE(FileExists("u.zon"));
}

}  // namespace
