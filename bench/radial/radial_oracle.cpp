// Radial point search against nanoflann and a Boost.Geometry R-tree: the
// same 1,000,000 points (uniform over the box of the contiguous United
// States, millionths of a degree), the same 10,000 query points, the same
// run.  Loading, k-nearest (k = 1 and 10), radius and rectangle queries.
//
// The comparison runs the radial search in planar mode, so all three
// measure plain Euclidean distances in coordinate units.  The radius rule of
// the radial search (distance truncated to an integer <= radius) is the
// strict "distance < radius + 1" of the other two.  nanoflann 1.4 has no
// box query; its rectangle answers come from a walk of nanoflann's own
// tree (root_node, vAcc) written here.  Before timing, every query is
// answered by all three and the answers compared.
#include <benchmark/benchmark.h>
#include <lumetra/pip.h>

#include <algorithm>
#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <nanoflann.hpp>
#include <random>
#include <string>
#include <vector>

#include "frame/library_context.h"

namespace {

constexpr std::uint32_t kSeed = 20261205;
constexpr std::size_t kPoints = 1000000;
constexpr std::size_t kQueries = 10000;
constexpr int kRadius = 60000;    // about 8 points per circle
constexpr int kRectHalf = 50000;  // about 7 points per square
constexpr int kNameLength = 16;

struct XY {
  int x, y;
};

struct Data {
  std::vector<XY> points;
  std::vector<std::string> names;  // the point's index
  std::vector<XY> queries;
};

const Data& TestData() {
  static const Data data = [] {
    Data d;
    std::mt19937 rng(kSeed);
    std::uniform_int_distribution<int> x(-125000000, -67000000), y(25000000, 49000000);
    for (std::size_t i = 0; i < kPoints; ++i) {
      d.points.push_back({x(rng), y(rng)});
      d.names.push_back(std::to_string(i));
    }
    for (std::size_t i = 0; i < kQueries; ++i) d.queries.push_back({x(rng), y(rng)});
    return d;
  }();
  return data;
}

// ---- radial search: through the exported handle functions (what callers
// use; each call looks the handle up in the handle table), or
// through the Intern forms on the search context itself ----

template <bool kIntern>
class Radial {
 public:
  explicit Radial(int mode) {
    if constexpr (kIntern) {
      pipRadInitIntern(&library_, mode, &context_);
    } else {
      library_handle_ = pipInit(0, nullptr);
      pipRadInit(library_handle_, mode, &handle_);
    }
    for (std::size_t i = 0; i < kPoints; ++i) {
      const XY& p = TestData().points[i];
      if constexpr (kIntern) {
        pipRadInsertPointIntern(context_, p.x, p.y, TestData().names[i].c_str());
      } else {
        pipRadInsertPoint(handle_, p.x, p.y, TestData().names[i].c_str());
      }
    }
    InRect(XY{0, 0});  // the first search links the queued points into the tree
  }
  ~Radial() {
    if constexpr (kIntern) {
      pipRadTermIntern(context_);
    } else {
      pipRadTerm(handle_);
      pipTerm(library_handle_);
    }
  }

  int Nearest(const XY& q, int k, std::vector<std::uint32_t>* ids = nullptr) {
    if constexpr (kIntern) {
      return Drain(
          pipRadFindFirstNearestIntern(context_, q.x, q.y, k, &x_, &y_, name_, kNameLength), ids);
    } else {
      return Drain(pipRadFindFirstNearest(handle_, q.x, q.y, k, &x_, &y_, name_, kNameLength), ids);
    }
  }
  int InRadius(const XY& q, std::vector<std::uint32_t>* ids = nullptr) {
    if constexpr (kIntern) {
      return Drain(
          pipRadFindFirstInRadiusIntern(context_, q.x, q.y, kRadius, &x_, &y_, name_, kNameLength),
          ids);
    } else {
      return Drain(
          pipRadFindFirstInRadius(handle_, q.x, q.y, kRadius, &x_, &y_, name_, kNameLength), ids);
    }
  }
  int InRect(const XY& q, std::vector<std::uint32_t>* ids = nullptr) {
    const int x1 = q.x - kRectHalf, y1 = q.y - kRectHalf, x2 = q.x + kRectHalf,
              y2 = q.y + kRectHalf;
    if constexpr (kIntern) {
      return Drain(
          pipRadFindFirstInRectIntern(context_, x1, y1, x2, y2, &x_, &y_, name_, kNameLength), ids);
    } else {
      return Drain(pipRadFindFirstInRect(handle_, x1, y1, x2, y2, &x_, &y_, name_, kNameLength),
                   ids);
    }
  }

 private:
  // The answers of a search whose first call answered `r`; ids when asked.
  int Drain(int r, std::vector<std::uint32_t>* ids) {
    int n = 0;
    for (; r == 1; ++n) {
      if (ids != nullptr) ids->push_back(static_cast<std::uint32_t>(std::atoi(name_)));
      if constexpr (kIntern) {
        r = pipRadFindNextIntern(context_, &x_, &y_, name_, kNameLength);
      } else {
        r = pipRadFindNext(handle_, &x_, &y_, name_, kNameLength);
      }
    }
    return n;
  }

  pipLibraryContext library_;
  pipRadContext* context_ = nullptr;
  int library_handle_ = 0;
  int handle_ = 0;
  int x_ = 0, y_ = 0;
  char name_[kNameLength] = "";
};
using RadialApi = Radial<false>;
using RadialIntern = Radial<true>;
// Geographic mode (feet, x scaled by the query's latitude): radial only.
struct RadialGeographic : RadialApi {
  RadialGeographic() : RadialApi(PIP_RAD_GEOGRAPHIC) {}
};

// ---- nanoflann ----

struct Cloud {
  std::size_t kdtree_get_point_count() const { return kPoints; }
  double kdtree_get_pt(std::size_t i, std::size_t d) const {
    return d == 0 ? TestData().points[i].x : TestData().points[i].y;
  }
  template <class Box>
  bool kdtree_get_bbox(Box&) const {
    return false;
  }
};
using NanoTree = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, Cloud>,
                                                     Cloud, 2, std::uint32_t>;

class Nano {
 public:
  Nano() : tree_(2, cloud_, nanoflann::KDTreeSingleIndexAdaptorParams(10)) { tree_.buildIndex(); }

  int Nearest(const XY& q, int k, std::vector<std::uint32_t>* ids = nullptr) {
    const double at[2] = {double(q.x), double(q.y)};
    index_.resize(k);
    dist_.resize(k);
    const std::size_t n = tree_.knnSearch(at, k, index_.data(), dist_.data());
    if (ids != nullptr) ids->assign(index_.begin(), index_.begin() + n);
    return static_cast<int>(n);
  }
  int InRadius(const XY& q, std::vector<std::uint32_t>* ids = nullptr) {
    const double at[2] = {double(q.x), double(q.y)};
    const double reach = double(kRadius) + 1;
    const std::size_t n =
        tree_.radiusSearch(at, reach * reach, matches_, nanoflann::SearchParams(32, 0, false));
    if (ids != nullptr) {
      for (const auto& m : matches_) ids->push_back(m.first);
    }
    return static_cast<int>(n);
  }
  // A box walk of nanoflann's tree: child1 holds values <= divlow on the
  // split axis, child2 values >= divhigh.
  int InRect(const XY& q, std::vector<std::uint32_t>* ids = nullptr) {
    const double lo[2] = {double(q.x) - kRectHalf, double(q.y) - kRectHalf};
    const double hi[2] = {double(q.x) + kRectHalf, double(q.y) + kRectHalf};
    int n = 0;
    stack_.assign(1, tree_.root_node);
    while (!stack_.empty()) {
      const NanoTree::Node* node = stack_.back();
      stack_.pop_back();
      if (node->child1 == nullptr && node->child2 == nullptr) {
        for (auto i = node->node_type.lr.left; i < node->node_type.lr.right; ++i) {
          const std::uint32_t id = tree_.vAcc[i];
          const XY& p = TestData().points[id];
          if (lo[0] <= p.x && p.x <= hi[0] && lo[1] <= p.y && p.y <= hi[1]) {
            ++n;
            if (ids != nullptr) ids->push_back(id);
          }
        }
        continue;
      }
      const int axis = node->node_type.sub.divfeat;
      if (hi[axis] >= node->node_type.sub.divhigh) stack_.push_back(node->child2);
      if (lo[axis] <= node->node_type.sub.divlow) stack_.push_back(node->child1);
    }
    return n;
  }

 private:
  Cloud cloud_;
  NanoTree tree_;
  std::vector<std::uint32_t> index_;
  std::vector<double> dist_;
  std::vector<std::pair<std::uint32_t, double>> matches_;
  std::vector<const NanoTree::Node*> stack_;
};

// ---- Boost.Geometry R-tree (R*, 16 entries a node, packed bulk load) ----

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;
using BPoint = bg::model::point<double, 2, bg::cs::cartesian>;
using BBox = bg::model::box<BPoint>;
using BValue = std::pair<BPoint, std::uint32_t>;
using BTree = bgi::rtree<BValue, bgi::rstar<16>>;

std::vector<BValue> BoostValues() {
  std::vector<BValue> values;
  values.reserve(kPoints);
  for (std::size_t i = 0; i < kPoints; ++i) {
    const XY& p = TestData().points[i];
    values.emplace_back(BPoint(p.x, p.y), static_cast<std::uint32_t>(i));
  }
  return values;
}

class Boost {
 public:
  Boost() : tree_(BoostValues()) {}

  int Nearest(const XY& q, int k, std::vector<std::uint32_t>* ids = nullptr) {
    found_.clear();
    tree_.query(bgi::nearest(BPoint(q.x, q.y), k), std::back_inserter(found_));
    return Collect(ids);
  }
  int InRadius(const XY& q, std::vector<std::uint32_t>* ids = nullptr) {
    found_.clear();
    const BPoint at(q.x, q.y);
    const double reach = double(kRadius) + 1;
    const BBox box(BPoint(q.x - reach, q.y - reach), BPoint(q.x + reach, q.y + reach));
    tree_.query(bgi::intersects(box) && bgi::satisfies([&](const BValue& v) {
                  return bg::comparable_distance(v.first, at) < reach * reach;
                }),
                std::back_inserter(found_));
    return Collect(ids);
  }
  int InRect(const XY& q, std::vector<std::uint32_t>* ids = nullptr) {
    found_.clear();
    const BBox box(BPoint(q.x - kRectHalf, q.y - kRectHalf),
                   BPoint(q.x + kRectHalf, q.y + kRectHalf));
    tree_.query(bgi::intersects(box), std::back_inserter(found_));
    return Collect(ids);
  }

 private:
  int Collect(std::vector<std::uint32_t>* ids) {
    if (ids != nullptr) {
      for (const BValue& v : found_) ids->push_back(v.second);
    }
    return static_cast<int>(found_.size());
  }
  BTree tree_;
  std::vector<BValue> found_;
};

// ---- the indexes, built once, checked against each other ----

double DistanceOf(std::uint32_t id, const XY& q) {
  const XY& p = TestData().points[id];
  return std::hypot(double(p.x) - q.x, double(p.y) - q.y);
}

enum class Question { kNearest, kRadius, kRect };

template <class Index>
int Ask(Index& index, Question question, const XY& q, int k,
        std::vector<std::uint32_t>* ids = nullptr) {
  switch (question) {
    case Question::kNearest:
      return index.Nearest(q, k, ids);
    case Question::kRadius:
      return index.InRadius(q, ids);
    case Question::kRect:
      break;
  }
  return index.InRect(q, ids);
}

// Rectangle and radius answers as sorted ids; nearest answers as sorted
// distances (ties may pick different points).
template <class A, class B>
std::size_t Mismatches(A& a, B& b, Question question, int k) {
  std::size_t bad = 0;
  for (const XY& q : TestData().queries) {
    std::vector<std::uint32_t> x, y;
    Ask(a, question, q, k, &x);
    Ask(b, question, q, k, &y);
    std::vector<double> dx, dy;
    for (std::uint32_t id : x)
      dx.push_back(question == Question::kNearest ? DistanceOf(id, q) : id);
    for (std::uint32_t id : y)
      dy.push_back(question == Question::kNearest ? DistanceOf(id, q) : id);
    std::sort(dx.begin(), dx.end());
    std::sort(dy.begin(), dy.end());
    bad += dx != dy;
  }
  return bad;
}

struct Indexes {
  RadialApi radial{PIP_RAD_PLANAR};
  RadialIntern intern{PIP_RAD_PLANAR};
  Nano nano;
  Boost boost;
};

// Prints how many queries each pair answers differently.
bool Check(Indexes& b) {
  const char* names[] = {"nearest k=1", "nearest k=10", "radius", "rectangle"};
  const Question questions[] = {Question::kNearest, Question::kNearest, Question::kRadius,
                                Question::kRect};
  const int ks[] = {1, 10, 0, 0};
  for (int i = 0; i < 4; ++i) {
    const Question q = questions[i];
    std::fprintf(stderr,
                 "check %-12s: radial api/intern %zu, radial/nanoflann %zu, radial/boost %zu, "
                 "nanoflann/boost %zu mismatches of %zu\n",
                 names[i], Mismatches(b.radial, b.intern, q, ks[i]),
                 Mismatches(b.radial, b.nano, q, ks[i]), Mismatches(b.radial, b.boost, q, ks[i]),
                 Mismatches(b.nano, b.boost, q, ks[i]), kQueries);
  }
  return true;
}

Indexes& Built() {
  static Indexes built;
  static const bool checked = Check(built);
  (void)checked;
  return built;
}

// ---- benchmarks ----

template <class Index>
Index& Pick();
template <>
RadialApi& Pick<RadialApi>() {
  return Built().radial;
}
template <>
RadialIntern& Pick<RadialIntern>() {
  return Built().intern;
}
template <>
Nano& Pick<Nano>() {
  return Built().nano;
}
template <>
Boost& Pick<Boost>() {
  return Built().boost;
}
template <>
RadialGeographic& Pick<RadialGeographic>() {
  static RadialGeographic geographic;
  return geographic;
}

// One question per iteration, the query points in turn; state.range(0)
// is k for nearest questions.
template <class Index, Question kQuestion>
void BM_Query(benchmark::State& state) {
  Index& index = Pick<Index>();
  const int k = kQuestion == Question::kNearest ? static_cast<int>(state.range(0)) : 0;
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Ask(index, kQuestion, TestData().queries[i++ % kQueries], k));
  }
  state.SetItemsProcessed(state.iterations());
}

// Loading: 1,000,000 pipRadInsertPoint calls, then the first search (which
// links the queued points); state.range(0) = 0 times the insert calls only.
void BM_LoadRadial(benchmark::State& state) {
  const Data& d = TestData();
  for (auto _ : state) {
    const int library = pipInit(0, nullptr);
    int h = 0;
    pipRadInit(library, PIP_RAD_PLANAR, &h);
    for (std::size_t i = 0; i < kPoints; ++i)
      pipRadInsertPoint(h, d.points[i].x, d.points[i].y, d.names[i].c_str());
    if (state.range(0) == 0) state.PauseTiming();
    int x = 0, y = 0;
    pipRadFindFirstInRect(h, 0, 0, 0, 0, &x, &y, nullptr, 0);
    if (state.range(0) != 0) state.PauseTiming();
    pipRadTerm(h);
    pipTerm(library);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_LoadNanoflann(benchmark::State& state) {
  for (auto _ : state) Nano nano;
  state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_LoadBoost(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<BValue> values = BoostValues();
    state.ResumeTiming();
    BTree tree(values);
    benchmark::DoNotOptimize(tree.size());
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

// pipRadLoadPoints over an object file of the same points (built once, in
// the scratch directory of the run, through pipImportInsert).
void BM_LoadPointsFromObjectFile(benchmark::State& state) {
  static const std::string path = [] {
    char dir[] = "/tmp/radial_oracle.XXXXXX";
    const std::string file = std::string(mkdtemp(dir)) + "/points.lmb";
    const int library = pipInit(0, nullptr);
    pipObjectFileInfoStruct info{};
    info.coordType = PIP_COORD_GEOGRAPHIC;
    int import = 0;
    pipImportInit(library, file.c_str(), &info, &import);
    for (std::size_t i = 0; i < kPoints; ++i) {
      pipObjectInfoStruct o{};
      o.type = PIP_OBJECT_POINT;
      std::snprintf(o.name, sizeof o.name, "%s", TestData().names[i].c_str());
      o.x = TestData().points[i].x;
      o.y = TestData().points[i].y;
      pipImportInsert(import, &o, nullptr, nullptr, 0);
    }
    pipImportTerm(import, 1);
    pipTerm(library);
    std::atexit([] {
      std::remove(path.c_str());
      std::remove(path.substr(0, path.rfind('/')).c_str());
    });
    return file;
  }();
  for (auto _ : state) {
    const int library = pipInit(0, nullptr);
    int file = 0;
    int h = 0;
    pipObjectFileOpen(library, path.c_str(), PIP_OPEN_CACHE_5MB, &file);
    pipRadInit(library, PIP_RAD_GEOGRAPHIC, &h);
    if (pipRadLoadPoints(h, file) != 1) state.SkipWithError("pipRadLoadPoints failed");
    int x = 0, y = 0;
    pipRadFindFirstInRect(h, 0, 0, 0, 0, &x, &y, nullptr, 0);
    state.PauseTiming();
    pipRadTerm(h);
    pipObjectFileClose(file);
    pipTerm(library);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

BENCHMARK(BM_LoadRadial)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LoadPointsFromObjectFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadNanoflann)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LoadBoost)->Unit(benchmark::kMillisecond)->Iterations(5);
#define LUMETRA_QUESTION(index, question, name) \
  BENCHMARK_TEMPLATE(BM_Query, index, Question::question)->Name(name "/" #index)
LUMETRA_QUESTION(RadialApi, kNearest, "Nearest")->Arg(1)->Arg(10);
LUMETRA_QUESTION(RadialIntern, kNearest, "Nearest")->Arg(1)->Arg(10);
LUMETRA_QUESTION(Nano, kNearest, "Nearest")->Arg(1)->Arg(10);
LUMETRA_QUESTION(Boost, kNearest, "Nearest")->Arg(1)->Arg(10);
LUMETRA_QUESTION(RadialGeographic, kNearest, "Nearest")->Arg(1)->Arg(10);
LUMETRA_QUESTION(RadialApi, kRadius, "Radius");
LUMETRA_QUESTION(RadialIntern, kRadius, "Radius");
LUMETRA_QUESTION(Nano, kRadius, "Radius");
LUMETRA_QUESTION(Boost, kRadius, "Radius");
LUMETRA_QUESTION(RadialApi, kRect, "Rect");
LUMETRA_QUESTION(RadialIntern, kRect, "Rect");
LUMETRA_QUESTION(Nano, kRect, "Rect");
LUMETRA_QUESTION(Boost, kRect, "Rect");

}  // namespace

BENCHMARK_MAIN();
