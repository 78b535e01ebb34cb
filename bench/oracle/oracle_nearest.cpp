// Nearest-point searches against GEOS's STRtree nearest and brute force.
#include <lumetra/pip.h>
#include <lumetra/pip_ext.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "oracle_passes.h"

namespace oracle {

namespace {

constexpr long kBruteForceQueries = 2000;

// The point index of the handle's current object ("N<i>" has ordinal i + 1).
int CurrentIndex(int file) {
  pipObjectInfoStruct info;
  if (pipObjectGetInfo(file, &info) != 1) return -1;
  return info.penColor - 1;
}

// The classic search widens a square ring (half-side 7496 units, doubling)
// and stops at the first square that holds a point: true when `found` is,
// after truncation, the distance of the nearest point inside that square.
bool SquareRingExplains(const std::vector<int>& xy, int qx, int qy, double found) {
  double chebyshev = 1e300;
  for (std::size_t i = 0; i < xy.size(); i += 2) {
    chebyshev =
        std::min(chebyshev, std::max(std::fabs(xy[i] - qx * 1.0), std::fabs(xy[i + 1] - qy * 1.0)));
  }
  double ring = 7496;
  while (ring < chebyshev) ring *= 2;
  double best = 1e300;
  for (std::size_t i = 0; i < xy.size(); i += 2) {
    if (std::max(std::fabs(xy[i] - qx * 1.0), std::fabs(xy[i + 1] - qy * 1.0)) <= ring) {
      best = std::min(best, std::hypot(xy[i] - qx * 1.0, xy[i + 1] - qy * 1.0));
    }
  }
  return std::trunc(best) == std::trunc(found);
}

// The `k` nearest points by pipDistance, equal distances in file order.
std::vector<int> BruteForce(const std::vector<int>& xy, int qx, int qy, int k) {
  std::vector<int> order(xy.size() / 2);
  std::iota(order.begin(), order.end(), 0);
  std::vector<int> d(order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    d[i] = pipDistance(qx, qy, xy[2 * i], xy[2 * i + 1], PIP_UNITS_COORDINATE, nullptr);
  }
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(k), order.size());
  std::partial_sort(order.begin(), order.begin() + static_cast<long>(n), order.end(),
                    [&](int a, int b) { return d[a] != d[b] ? d[a] < d[b] : a < b; });
  order.resize(n);
  return order;
}

// Every answer of one nearest call, as point indexes.
__attribute__((noinline)) std::vector<int> OurNearest(int file, int x, int y, int count,
                                                      bool exact) {
  std::vector<int> out;
  char name[8];
  int r = exact ? pipObjectFindFirstNearestExact(file, x, y, count, nullptr, name, sizeof name)
                : pipObjectFindFirstNearest(file, x, y, count, name, sizeof name);
  for (; r > 0; r = pipObjectFindNext(file, name, sizeof name)) out.push_back(CurrentIndex(file));
  if (r < 0) Die("nearest search failed at %d,%d", x, y);
  return out;
}

// Timed: `count` nearest of every query; returns queries per second.
__attribute__((noinline)) double TimedOurNearest(int file, const std::vector<int>& q, int count,
                                                 bool exact) {
  char name[8];
  const auto t0 = Clock::now();
  for (std::size_t i = 0; i < q.size(); i += 2) {
    int r = exact ? pipObjectFindFirstNearestExact(file, q[i], q[i + 1], count, nullptr, name,
                                                   sizeof name)
                  : pipObjectFindFirstNearest(file, q[i], q[i + 1], count, name, sizeof name);
    for (int n = 1; r > 0 && n < count; ++n) r = pipObjectFindNext(file, name, sizeof name);
    if (r < 0) Die("nearest search failed at %d,%d", q[i], q[i + 1]);
  }
  return static_cast<double>(q.size() / 2) / Seconds(t0, Clock::now());
}

__attribute__((noinline)) double TimedGeosNearest(GeosPoints& geos, const std::vector<int>& q,
                                                  std::vector<int>* answers) {
  const auto t0 = Clock::now();
  for (std::size_t i = 0; i < q.size(); i += 2) (*answers)[i / 2] = geos.Nearest(q[i], q[i + 1]);
  return static_cast<double>(q.size() / 2) / Seconds(t0, Clock::now());
}

}  // namespace

long NearestPass(int lib, const NearestOptions& opt) {
  const std::vector<int> xy = RandomPoints(opt.box, opt.points, opt.seed);
  const std::vector<int> q = RandomPoints(opt.box, opt.queries, opt.seed + 1);
  const std::string path = opt.work + "/pip_oracle_points.ob";
  ImportPoints(lib, xy, path);
  int file = 0;
  CheckPip(lib, pipObjectFileOpen(lib, path.c_str(), PIP_OPEN_CACHE_100MB | PIP_OPEN_MAPPED, &file),
           "pipObjectFileOpen (points)");
  // The largest search distance lets the rings cover the whole data set.
  pipObjectSetSearchDistance(file, PIP_MAX_SEARCH_DISTANCE);
  GeosPoints geos(xy);
  std::vector<int> theirs(q.size() / 2, -1);
  double rate_geos = 0, rate_classic = 0, rate_exact1 = 0, rate_exactk = 0;
  for (int round = 0; round < 2; ++round) {  // the better of two rounds
    rate_geos = std::max(rate_geos, TimedGeosNearest(geos, q, &theirs));
    rate_classic = std::max(rate_classic, TimedOurNearest(file, q, 1, false));
    rate_exact1 = std::max(rate_exact1, TimedOurNearest(file, q, 1, true));
    rate_exactk = std::max(rate_exactk, TimedOurNearest(file, q, opt.k, true));
  }
  const auto distance = [&](int id, std::size_t i) {
    return id < 0 ? -1.0
                  : std::hypot(xy[2 * id] - q[2 * i] * 1.0, xy[2 * id + 1] - q[2 * i + 1] * 1.0);
  };
  long differences = 0, ties = 0, squares = 0, unexplained = 0;
  for (std::size_t i = 0; i < q.size() / 2; ++i) {
    const int x = q[2 * i], y = q[2 * i + 1];
    const std::vector<int> exact = OurNearest(file, x, y, 1, true);
    const std::vector<int> classic = OurNearest(file, x, y, 1, false);
    // The exact nearest is GEOS's, up to truncation ties.
    if (exact.size() != 1 ||
        std::trunc(distance(exact[0], i)) != std::trunc(distance(theirs[i], i))) {
      if (++unexplained <= 20) std::printf("EXACT NEAREST differs from GEOS at %d,%d\n", x, y);
    }
    if (static_cast<long>(i) < kBruteForceQueries) {
      for (int k : {1, opt.k}) {
        if (OurNearest(file, x, y, k, true) != BruteForce(xy, x, y, k) && ++unexplained <= 20) {
          std::printf("EXACT %d-NEAREST differs from brute force at %d,%d\n", k, x, y);
        }
      }
    }
    const int ours = classic.empty() ? -1 : classic[0];
    if (ours == theirs[i]) continue;
    ++differences;
    if (ours >= 0 && theirs[i] >= 0 &&
        std::trunc(distance(ours, i)) == std::trunc(distance(theirs[i], i))) {
      ++ties;
    } else if (ours >= 0 && SquareRingExplains(xy, x, y, distance(ours, i))) {
      ++squares;
    } else if (++unexplained <= 20) {
      std::printf("NEAREST MISMATCH at %d,%d: ours N%d / geos N%d\n", x, y, ours, theirs[i]);
    }
  }
  std::printf(
      "nearest: %ld points, %ld queries; classic: %ld differences from GEOS, %ld ties after "
      "truncation, %ld nearest within the square ring it stopped at; exact: checked against GEOS "
      "(all) and brute force (%ld queries, counts 1 and %d); %ld unexplained\n",
      opt.points, opt.queries, differences, ties, squares,
      std::min<long>(kBruteForceQueries, opt.queries), opt.k, unexplained);
  std::printf(
      "  queries/s: geos %.0f; lumetra classic N=1 %.0f (%.2fx), exact 1 %.0f (%.2fx), exact %d "
      "%.0f\n",
      rate_geos, rate_classic, rate_classic / rate_geos, rate_exact1, rate_exact1 / rate_geos,
      opt.k, rate_exactk);
  pipObjectFileClose(file);
  std::remove(path.c_str());
  return unexplained;
}

}  // namespace oracle
