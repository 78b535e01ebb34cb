// The ranked containing search against GEOS distances.
#include <lumetra/pip.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>

#include "oracle_passes.h"

namespace oracle {

namespace {

struct RankedEntry {
  int id;
  int flags;
  int distance;  // signed: negative for objects only near
};

// The feature of the handle's current object, -1 without one.
int CurrentFeature(int file, const std::vector<int>& feature_of) {
  pipObjectInfoStruct info;
  if (pipObjectGetInfo(file, &info) != 1) return -1;
  if (info.penColor < 1 || info.penColor >= static_cast<int>(feature_of.size())) return -1;
  return feature_of[info.penColor];
}

// Every entry of a ranked search, with the feature behind it.
std::vector<RankedEntry> OurRanking(int file, int x, int y, int maximum,
                                    const std::vector<int>& feature_of) {
  std::vector<RankedEntry> out;
  char name[8];
  int r = pipObjectFindFirstContainingEx(file, x, y, maximum, name, sizeof name);
  for (; r > 0; r = pipObjectFindNext(file, name, sizeof name)) {
    int low = 0, high = 0;
    if (pipObjectGetHandle64(file, &low, &high) != 1 || pipObjectFileGoto64(file, low, high) != 1) {
      Die("ranked entry at %d,%d cannot be reached", x, y);
    }
    const int d = pipObjectDistanceToBorder(file, x, y);
    out.push_back({CurrentFeature(file, feature_of), r, r == 2 ? -d : d});
  }
  if (r < 0) Die("ranked search failed at %d,%d", x, y);
  return out;
}

struct Verdicts {
  long violations = 0;
  long explained = 0;
  long unjudged = 0;
};

}  // namespace

std::vector<int> RandomPoints(const Box& box, long count, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_int_distribution<int> dx(ToUnits(box.x1), ToUnits(box.x2));
  std::uniform_int_distribution<int> dy(ToUnits(box.y1), ToUnits(box.y2));
  std::vector<int> xy(2 * static_cast<std::size_t>(count));
  for (long i = 0; i < count; ++i) {
    xy[2 * i] = dx(rng);
    xy[2 * i + 1] = dy(rng);
  }
  return xy;
}

long RankedPass(int file, GeosPolygons& geos, const std::vector<Feature>& features,
                const std::vector<int>& feature_of, const RankedOptions& opt) {
  double highest = 0;
  for (const Feature& f : features)
    for (const Polygon& p : f.polygons)
      for (const Ring& r : p.rings)
        for (std::size_t i = 1; i < r.xy.size(); i += 2)
          highest = std::max(highest, std::fabs(r.xy[i] * 1.0));
  const double kFeet = 0.36432;
  const double cos_min = std::cos(highest * 1.745329252e-8);
  const double maximum = opt.distance;
  const std::vector<int> q = RandomPoints(opt.box, opt.queries, opt.seed + 2);
  long entries = 0;
  char name[8];
  auto t0 = Clock::now();
  for (long i = 0; i < opt.queries; ++i) {
    int r = pipObjectFindFirstContainingEx(file, q[2 * i], q[2 * i + 1], opt.distance, name,
                                           sizeof name);
    for (; r > 0; r = pipObjectFindNext(file, name, sizeof name)) ++entries;
  }
  const double our_seconds = Seconds(t0, Clock::now());

  Verdicts v;
  const auto report = [&](long i, const char* what, int id, double value) {
    ++v.violations;
    if (v.violations - v.explained <= 20) {
      std::printf("RANKED %s at %d,%d: %s (%g)\n", what, q[2 * i], q[2 * i + 1],
                  id >= 0 ? features[id].name.c_str() : "?", value);
    }
  };
  const double reach = maximum / (kFeet * cos_min) + 2;
  std::vector<int> covers, candidates;
  for (long i = 0; i < opt.queries; ++i) {
    const int x = q[2 * i], y = q[2 * i + 1];
    const std::vector<RankedEntry> ours = OurRanking(file, x, y, opt.distance, feature_of);
    geos.Lookup(x, y, covers);
    geos.Candidates(x, y, reach, candidates);
    // -1: not a candidate (surely beyond the maximum); NaN: not judged.
    std::vector<double> units(features.size(), -1.0);
    for (int id : candidates) {
      units[id] = geos.BorderDistance(id, x, y);
      if (std::isnan(units[id])) ++v.unjudged;
    }
    std::vector<int> seen(features.size(), 0);
    std::vector<int> inside;
    for (std::size_t k = 0; k < ours.size(); ++k) {
      const RankedEntry& e = ours[k];
      if (e.id < 0 || e.id >= static_cast<int>(features.size())) {
        report(i, "bad entry", -1, e.id);
        continue;
      }
      // Pieces of one split feature may both be handed out.
      if (seen[e.id]++ != 0 && features[e.id].RingCount() <= 16000) {
        report(i, "handed out twice", e.id, e.distance);
      }
      if (k > 0 && ours[k - 1].distance < e.distance) report(i, "out of order", e.id, e.distance);
      if (e.flags & 1) inside.push_back(e.id);
      const double u = units[e.id];
      const int d = std::abs(e.distance);
      if (std::isnan(u)) continue;
      if (u < 0) {
        if (!(e.flags & 1)) report(i, "beyond the maximum", e.id, d);
      } else if (d < u * kFeet * cos_min - 1 || d > u * kFeet + 1) {
        report(i, "distance out of bounds", e.id, d);
      }
    }
    for (int id : candidates) {
      const double u = units[id];
      if (std::isnan(u)) continue;
      const bool in = std::find(covers.begin(), covers.end(), id) != covers.end();
      if (u * kFeet + 1 <= maximum && seen[id] == 0) report(i, "missing near polygon", id, u);
      if (!in && u * kFeet * cos_min - 1 > maximum && seen[id] != 0) {
        report(i, "far polygon handed out", id, u);
      }
    }
    std::sort(inside.begin(), inside.end());
    inside.erase(std::unique(inside.begin(), inside.end()), inside.end());
    std::vector<int> diff;
    std::set_symmetric_difference(inside.begin(), inside.end(), covers.begin(), covers.end(),
                                  std::back_inserter(diff));
    for (int id : diff) {
      if (std::isnan(units[id])) continue;
      if (units[id] >= 0 && units[id] < 0.5) {
        ++v.violations;
        ++v.explained;  // the half-unit border rule
      } else {
        report(i, "containing sets differ", id, units[id]);
      }
    }
  }
  std::printf(
      "ranked: %ld queries within %d feet, %ld entries; %ld violations, %ld within half "
      "a unit of a border, %ld unexplained (%ld polygon distances not judged)\n",
      opt.queries, opt.distance, entries, v.violations, v.explained, v.violations - v.explained,
      v.unjudged);
  std::printf("  lumetra: %.3f s, %.0f ranked searches/s\n", our_seconds,
              static_cast<double>(opt.queries) / our_seconds);
  return v.violations - v.explained;
}

}  // namespace oracle
