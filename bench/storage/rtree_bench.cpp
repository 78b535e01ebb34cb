// R-tree over 1,000,000 random rectangles (spread like boundary records over
// the contiguous United States, up to 0.1 degree wide): the STR bulk load,
// and 1,000,000 point queries through the reader, with the file read
// through the 10-page cache (descriptor access) against a shared mapping.
// Before timing, both access modes are checked against a linear scan on a
// sample of the queries.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "frame/error.h"
#include "storage/qfile.h"
#include "storage/qio.h"
#include "storage/rt_spatial_index.h"
#include "storage/rtree_builder.h"

namespace {

constexpr std::uint32_t kSeed = 20261205;
constexpr std::size_t kRects = 1000000;
constexpr std::size_t kQueries = 1000000;
constexpr std::size_t kCheckedQueries = 2000;

using lumetra::Rect;

struct Data {
  std::vector<Rect> rects;
  std::vector<Rect> points;
};

const Data& TestData() {
  static const Data data = [] {
    Data d;
    std::mt19937 rng(kSeed);
    std::uniform_int_distribution<std::int32_t> x(-125000000, -67000000);
    std::uniform_int_distribution<std::int32_t> y(25000000, 49000000);
    std::uniform_int_distribution<std::int32_t> extent(0, 100000);
    d.rects.reserve(kRects);
    for (std::size_t i = 0; i < kRects; ++i) {
      Rect r;
      r.minx = x(rng);
      r.miny = y(rng);
      r.maxx = r.minx + extent(rng);
      r.maxy = r.miny + extent(rng);
      d.rects.push_back(r);
    }
    d.points.reserve(kQueries);
    for (std::size_t i = 0; i < kQueries; ++i) {
      Rect p;
      p.minx = p.maxx = x(rng);
      p.miny = p.maxy = y(rng);
      d.points.push_back(p);
    }
    return d;
  }();
  return data;
}

// A temporary file removed at exit.
class TempFile {
 public:
  TempFile() {
    char templ[] = "/tmp/rtree_bench.XXXXXX";
    const int fd = mkstemp(templ);
    if (fd < 0) {
      std::perror("rtree_bench: temporary file");
      std::exit(1);
    }
    close(fd);
    path_ = templ;
  }
  ~TempFile() { std::remove(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Builds the tree of all rectangles (record offset = index) into `path`.
std::int64_t BuildTree(const std::string& path) {
  QError err;
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_TRUNC));
  lumetra::RtreeBuilder builder(err);
  const std::vector<Rect>& rects = TestData().rects;
  for (std::size_t i = 0; i < rects.size(); ++i) builder.Add(rects[i], i);
  const std::int64_t root = builder.Build(fd.get());
  if (root < 0) {
    std::fprintf(stderr, "rtree_bench: build failed: %s\n", err.detail());
    std::exit(1);
  }
  return root;
}

// The tree file shared by the query benchmarks, built once.
struct TreeFile {
  TempFile file;
  std::int64_t root = BuildTree(file.path());
};

const TreeFile& SharedTree() {
  static const TreeFile tree;
  return tree;
}

std::vector<std::uint64_t> Candidates(SpatialIndexEnum& it, const Rect& q) {
  std::vector<std::uint64_t> out;
  std::uint64_t offset = 0;
  for (bool more = it.First(q, &offset); more; more = it.Next(&offset)) out.push_back(offset);
  std::sort(out.begin(), out.end());
  return out;
}

bool AgreesWithLinearScan(SpatialIndexEnum& it) {
  const Data& d = TestData();
  for (std::size_t i = 0; i < kCheckedQueries; ++i) {
    std::vector<std::uint64_t> expected;
    for (std::size_t r = 0; r < d.rects.size(); ++r) {
      if (d.rects[r].Meets(d.points[i])) expected.push_back(r);
    }
    if (Candidates(it, d.points[i]) != expected) return false;
  }
  return true;
}

void BM_RtreeBuild(benchmark::State& state) {
  TempFile file;
  std::int64_t root = 0;
  for (auto _ : state) benchmark::DoNotOptimize(root = BuildTree(file.path()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kRects));
  // The file starts empty and the root is written last.
  state.counters["pages"] = static_cast<double>(root + 1);
}
BENCHMARK(BM_RtreeBuild)->Unit(benchmark::kMillisecond)->Iterations(2);

// Argument: Qfile open mode, 0 = descriptor with page cache, 4 = mapping.
void BM_RtreePointQueries(benchmark::State& state) {
  const TreeFile& tree = SharedTree();
  QError err;
  Qfile file(err, tree.file.path().c_str(), static_cast<int>(state.range(0)));
  rtSpatialIndex index(err, file, static_cast<std::uint64_t>(tree.root) * lumetra::kRtreePageSize);
  std::unique_ptr<SpatialIndexEnum> it = index.IsReady() ? index.CreateEnum() : nullptr;
  if (it == nullptr || !AgreesWithLinearScan(*it)) {
    state.SkipWithError("index does not agree with the linear scan");
    return;
  }
  std::uint64_t candidates = 0;
  for (auto _ : state) {
    for (const Rect& q : TestData().points) {
      std::uint64_t offset = 0;
      for (bool more = it->First(q, &offset); more; more = it->Next(&offset)) ++candidates;
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kQueries));
  state.counters["candidates/query"] =
      static_cast<double>(candidates) / static_cast<double>(state.iterations() * kQueries);
  state.counters["height"] = index.height();
}
BENCHMARK(BM_RtreePointQueries)
    ->Arg(Qfile::kModeRead)
    ->Arg(Qfile::kModeMapped)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
