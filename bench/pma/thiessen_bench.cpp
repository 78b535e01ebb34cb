// Thiessen cells for 10,000 stores, the time split by stage: filling the
// store list, finding the neighbours (bucket grid or list scan), building
// the cells (neighbours + clipping), and the whole generate call with three
// levels written and the output file finished.  The stores are spread
// uniformly over the contiguous United States (about 17 miles apart);
// radii 10, 20 and 30 miles, 72 segments, seed 20261206.
//
//   pma_thiessen_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "frame/error.h"
#include "pma/global_store_list.h"
#include "pma/store_grid.h"
#include "pma/thiessen_operation.h"

namespace {

constexpr int kStores = 10000;
constexpr double kRadii[3] = {10, 20, 30};
constexpr int kSegments = 72;

struct Store {
  int x;
  int y;
  std::string name;
};

const std::vector<Store>& Stores() {
  static const std::vector<Store> stores = [] {
    std::mt19937 rng(20261206);
    std::uniform_int_distribution<int> lon(-124000000, -67000000), lat(25000000, 49000000);
    std::vector<Store> out;
    for (int i = 0; i < kStores; ++i) out.push_back({lon(rng), lat(rng), "S" + std::to_string(i)});
    return out;
  }();
  return stores;
}

void Fill(CpmaGlobalStoreList* pma) {
  for (const Store& s : Stores()) pma->AddStore(s.x, s.y, s.name.c_str());
}

// Builds every store's 30-mile cell; returns the vertices made.
std::size_t AllCells(CpmaThiessenOperation* op, const CpmaStoreList& stores) {
  op->Prepare(&stores);
  CpmaPointList cell;
  std::size_t vertices = 0;
  for (int i = 0; i < stores.count(); ++i) {
    op->Build(i, kSegments, true, kRadii[2], &cell);
    vertices += static_cast<std::size_t>(cell.count());
  }
  return vertices;
}

void BM_AddStores(benchmark::State& state) {
  pipError error;
  for (auto _ : state) {
    CpmaGlobalStoreList pma(error);
    Fill(&pma);
    benchmark::DoNotOptimize(pma.count());
  }
  state.SetItemsProcessed(state.iterations() * kStores);
}

// The neighbour stage alone: the grid over the stores and one box query
// per store (the box of 2R, widened by 1 / cos(latitude)).
void BM_NeighbourGrid(benchmark::State& state) {
  pipError error;
  CpmaGlobalStoreList pma(error);
  Fill(&pma);
  const double two_r = 2 * kRadii[2] / 69.0 * 1e6;
  std::vector<int> found;
  std::size_t total = 0;
  for (auto _ : state) {
    CpmaStoreGrid grid;
    grid.Build(pma);
    for (int i = 0; i < pma.count(); ++i) {
      const double reach = two_r / std::cos(pma[i].y / 1e6 * 0.017453292519943295);
      grid.Query(pma[i].x - reach, pma[i].y - two_r, pma[i].x + reach, pma[i].y + two_r, &found);
      total += found.size();
    }
  }
  benchmark::DoNotOptimize(total);
  state.SetItemsProcessed(state.iterations() * kStores);
}

// Neighbours and clipping: every cell of one level, by each search.
void BM_Cells(benchmark::State& state) {
  pipError error;
  CpmaGlobalStoreList pma(error);
  Fill(&pma);
  CpmaThiessenOperation grid, scan;
  grid.SetNeighbourSearchForTest(CpmaThiessenOperation::NeighbourSearch::kBucketGrid);
  scan.SetNeighbourSearchForTest(CpmaThiessenOperation::NeighbourSearch::kLinearScan);
  CpmaThiessenOperation& op = state.range(0) == 0 ? grid : scan;
  // Both searches must give the same cells before anything is timed.
  if (AllCells(&grid, pma) != AllCells(&scan, pma)) {
    state.SkipWithError("grid and scan cells differ");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(AllCells(&op, pma));
  state.SetItemsProcessed(state.iterations() * kStores);
  state.SetLabel(state.range(0) == 0 ? "bucket grid" : "list scan");
}

// The whole call: three levels of cells written through the object
// builder, then the file finished (indexes and header; argument 1) or
// discarded (argument 0), which tells the finish from the writing.
void BM_GenerateAndFinish(benchmark::State& state) {
  pipError error;
  const std::string file = "/tmp/pma_thiessen_bench_" + std::to_string(getpid());
  for (auto _ : state) {
    CpmaGlobalStoreList pma(error);
    Fill(&pma);
    pma.SetOutputFiles(1, file.c_str(), file.c_str(), file.c_str());
    CpmaGlobalStoreList::Generation g;
    g.segments = kSegments;
    g.geographic = true;
    for (int k = 0; k < 3; ++k) g.values[k] = kRadii[k];
    if (pma.Generate(CpmaGlobalStoreList::Kind::kThiessen, g) != 1 ||
        pma.CloseOutputs(state.range(0) != 0) != 1) {
      state.SkipWithError(error.detail());
      break;
    }
  }
  std::remove((file + ".zon").c_str());
  state.SetItemsProcessed(state.iterations() * kStores);
  state.SetLabel(state.range(0) != 0 ? "finished" : "discarded");
}

BENCHMARK(BM_AddStores)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NeighbourGrid)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Cells)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenerateAndFinish)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
