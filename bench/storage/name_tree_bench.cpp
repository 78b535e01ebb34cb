// Building a name index: keys added in order (no sort) against the same keys
// shuffled (in-place block sort with the default 580000-byte blocks).  Both
// variants must write byte-identical trees, which is checked before timing.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "frame/error.h"
#include "storage/qio.h"
#include "storage/tree_builder.h"

namespace {

constexpr std::uint32_t kSeed = 4242;

// Runs the benchmark inside a fresh temporary directory (the builder's
// scratch files go to the current directory) and removes it afterwards.
class TempWorkDir {
 public:
  TempWorkDir() {
    char templ[] = "/tmp/name_tree_bench.XXXXXX";
    if (mkdtemp(templ) == nullptr || getcwd(old_, sizeof old_) == nullptr || chdir(templ) != 0) {
      std::perror("name_tree_bench: temporary directory");
      std::exit(1);
    }
    path_ = templ;
  }
  ~TempWorkDir() {
    std::remove("tree.out");
    if (chdir(old_) != 0) std::perror("name_tree_bench: chdir back");
    rmdir(path_.c_str());
  }
  TempWorkDir(const TempWorkDir&) = delete;
  TempWorkDir& operator=(const TempWorkDir&) = delete;

 private:
  char old_[4096] = {};
  std::string path_;
};

// Distinct 8-byte names, each with its ordinal as the value, so that both
// variants must produce byte-identical files.
using Record = std::pair<std::string, std::uint64_t>;

std::vector<Record> Keys(std::size_t n, bool shuffled) {
  std::vector<Record> keys;
  keys.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    char text[32];
    std::snprintf(text, sizeof text, "N%07zu", i);
    keys.emplace_back(std::string(text, 8), i);
  }
  if (shuffled) std::shuffle(keys.begin(), keys.end(), std::mt19937(kSeed));
  return keys;
}

// Builds the tree into "tree.out"; returns the root offset.
std::uint64_t BuildTree(const std::vector<Record>& keys) {
  QError err;
  QTreeBuilder builder(err);
  std::uint8_t value[8] = {};
  for (const Record& r : keys) {
    for (int b = 0; b < 8; ++b) value[b] = static_cast<std::uint8_t>(r.second >> (8 * b));
    builder.Add(r.first.data(), value);
  }
  const int fd = QioCreate(err, "tree.out");
  const std::uint64_t root = fd >= 0 ? builder.Build(fd) : QTreeBuilder::kBuildFailed;
  if (fd >= 0) QioClose(fd, err);
  return root;
}

std::vector<char> ReadTreeFile() {
  std::ifstream in("tree.out", std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void CheckVariantsAgree(std::size_t n) {
  const std::uint64_t in_order = BuildTree(Keys(n, false));
  const std::vector<char> in_order_bytes = ReadTreeFile();
  const std::uint64_t shuffled = BuildTree(Keys(n, true));
  if (in_order == QTreeBuilder::kBuildFailed || in_order != shuffled ||
      in_order_bytes != ReadTreeFile()) {
    std::fprintf(stderr, "name_tree_bench: variants disagree for %zu keys\n", n);
    std::exit(1);
  }
}

void BM_NameTreeBuild(benchmark::State& state, bool shuffled) {
  TempWorkDir dir;
  const auto n = static_cast<std::size_t>(state.range(0));
  CheckVariantsAgree(n);
  const std::vector<Record> keys = Keys(n, shuffled);
  for (auto _ : state) {
    benchmark::DoNotOptimize(BuildTree(keys));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

}  // namespace

BENCHMARK_CAPTURE(BM_NameTreeBuild, InOrder, false)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_NameTreeBuild, Shuffled, true)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
