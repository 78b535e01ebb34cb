// Thiessen cells built with the bucket-grid neighbour search equal, vertex
// for vertex, those built with a scan of the whole store list, over seeded
// store sets of several shapes in both modes.
#include "pma/thiessen_operation.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Search = CpmaThiessenOperation::NeighbourSearch;

struct Layout {
  const char* name;
  bool geographic;
  std::vector<CpmaStoreRecord> (*make)(std::mt19937& rng);
};

std::vector<CpmaStoreRecord> Uniform(std::mt19937& rng) {
  std::uniform_int_distribution<int> at(-2000000, 2000000);
  std::vector<CpmaStoreRecord> out(400);
  for (auto& s : out) s = {at(rng), at(rng), 0};
  return out;
}
std::vector<CpmaStoreRecord> Clustered(std::mt19937& rng) {
  std::normal_distribution<double> spread(0, 30000);
  std::vector<CpmaStoreRecord> out;
  for (int c = 0; c < 8; ++c) {
    const double cx = c * 400000.0 - 1500000, cy = (c % 3) * 500000.0;
    for (int i = 0; i < 50; ++i) {
      out.push_back({static_cast<int>(cx + spread(rng)), static_cast<int>(cy + spread(rng)), 0});
    }
  }
  return out;
}
std::vector<CpmaStoreRecord> Duplicates(std::mt19937& rng) {
  std::uniform_int_distribution<int> at(0, 12);
  std::vector<CpmaStoreRecord> out(300);
  for (auto& s : out) s = {at(rng) * 50000, at(rng) * 50000, 0};
  return out;
}
std::vector<CpmaStoreRecord> Collinear(std::mt19937& rng) {
  std::uniform_int_distribution<int> at(-1000000, 1000000);
  std::vector<CpmaStoreRecord> out(200);
  for (auto& s : out) s = {at(rng), 41000000, 0};
  return out;
}
std::vector<CpmaStoreRecord> NearThePole(std::mt19937& rng) {
  std::uniform_int_distribution<int> lon(-3000000, 3000000), lat(86000000, 89900000);
  std::vector<CpmaStoreRecord> out(250);
  for (auto& s : out) s = {lon(rng), lat(rng), 0};
  return out;
}

std::vector<std::pair<int, int>> Cell(CpmaThiessenOperation& op, int store, bool geographic,
                                      double radius, std::vector<int>* neighbours) {
  CpmaPointList cell;
  EXPECT_EQ(op.Build(store, 40, geographic, radius, &cell), 1);
  std::vector<std::pair<int, int>> out;
  for (const CpmaPoint& p : cell.points()) out.emplace_back(p.x, p.y);
  neighbours->clear();
  for (int i = 0; i < op.neighbours().count(); ++i) neighbours->push_back(op.neighbours()[i].index);
  return out;
}

TEST(ThiessenOperation, GridAndScanGiveIdenticalCells) {
  const Layout layouts[] = {
      {"uniform", false, Uniform},       {"clustered", false, Clustered},
      {"duplicates", false, Duplicates}, {"collinear", true, Collinear},
      {"uniform geo", true, Uniform},    {"near the pole", true, NearThePole}};
  for (const Layout& layout : layouts) {
    const unsigned seed = 1234;
    SCOPED_TRACE(std::string(layout.name) + ", seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    CpmaStoreList stores;
    for (CpmaStoreRecord s : layout.make(rng)) stores.Append({s.x, s.y, stores.count()});
    CpmaThiessenOperation scan, grid;
    scan.SetNeighbourSearchForTest(Search::kLinearScan);
    grid.SetNeighbourSearchForTest(Search::kBucketGrid);
    scan.Prepare(&stores);
    grid.Prepare(&stores);
    std::size_t cut = 0;
    for (double radius : {0.4, 9.0, 40000.0, 250000.0}) {
      for (int i = 0; i < stores.count(); ++i) {
        std::vector<int> by_scan, by_grid;
        const auto a = Cell(scan, i, layout.geographic, radius, &by_scan);
        const auto b = Cell(grid, i, layout.geographic, radius, &by_grid);
        ASSERT_EQ(by_scan, by_grid) << "store " << i << ", radius " << radius;
        ASSERT_EQ(a, b) << "store " << i << ", radius " << radius;
        cut += by_scan.size();
      }
    }
    EXPECT_GT(cut, static_cast<std::size_t>(stores.count()));  // neighbours did cut cells
  }
}

// Two stores a unit or two apart (bisector values of 0.5 and 1 at the
// stores): each keeps the half of the ring on its own side.
TEST(ThiessenOperation, CloseNeighboursSplitTheRingBetweenThem) {
  for (const auto& d : std::vector<std::pair<int, int>>{
           {0, 1}, {0, -1}, {1, 0}, {-1, 0}, {1, 1}, {-1, 2}, {2, -1}}) {
    CpmaStoreList stores;
    stores.Append({0, 0, 0});
    stores.Append({d.first, d.second, 1});
    CpmaThiessenOperation op;
    op.Prepare(&stores);
    for (int i = 0; i < 2; ++i) {
      std::vector<int> neighbours;
      const auto cell = Cell(op, i, false, 1000.0, &neighbours);
      ASSERT_FALSE(cell.empty());
      double cx = 0, cy = 0;
      for (const auto& v : cell) cx += v.first, cy += v.second;
      cx /= cell.size(), cy /= cell.size();
      const double side = (cx - d.first / 2.0) * d.first + (cy - d.second / 2.0) * d.second;
      EXPECT_TRUE(i == 0 ? side < -100 : side > 100)
          << "store " << i << " of (" << d.first << "," << d.second << "): " << side;
    }
  }
}

}  // namespace
