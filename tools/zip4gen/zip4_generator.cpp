#include "zip4_generator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace zip4gen {

namespace {

// File limits of a centroid (ten-thousandths of a degree, west positive).
constexpr std::int32_t kMinWest = 600000;
constexpr std::int32_t kMaxWest = 1910700;
constexpr std::int32_t kMaxNorth = 900000;
constexpr int kMaxRecordsPerZip = 2000;

struct Box {
  double minx = 1e18, miny = 1e18, maxx = -1e18, maxy = -1e18;
  bool Meets(const Box& o) const {
    return minx <= o.maxx && o.minx <= maxx && miny <= o.maxy && o.miny <= maxy;
  }
  double Area() const { return maxx > minx ? (maxx - minx) * (maxy - miny) : 0.0; }
};

Box BoxOf(const Region& region) {
  Box b;
  for (const Ring& ring : region.rings) {
    for (const Point& p : ring) {
      b.minx = std::min<double>(b.minx, p.x);
      b.miny = std::min<double>(b.miny, p.y);
      b.maxx = std::max<double>(b.maxx, p.x);
      b.maxy = std::max<double>(b.maxy, p.y);
    }
  }
  return b;
}

// Even-odd rule with half-open crossings.
bool Inside(const Region& region, double x, double y) {
  bool inside = false;
  for (const Ring& ring : region.rings) {
    for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
      const Point& a = ring[i];
      const Point& b = ring[j];
      if ((a.y > y) != (b.y > y) &&
          x < (static_cast<double>(b.x) - a.x) * (y - a.y) / (static_cast<double>(b.y) - a.y) +
                  a.x) {
        inside = !inside;
      }
    }
  }
  return inside;
}

struct Zip {
  double order = 0;  // regions' order, then northward
  double cx = 0, cy = 0;
  double spread = 0;  // millionths of a degree
  int region = 0;     // 1-based region number, 0 outside every region
  int code = 0;
  int records = 0;
};

class Generator {
 public:
  Generator(const std::vector<Region>& regions, const Options& options)
      : regions_(regions), options_(options), rng_(options.seed) {
    // ZIP Codes go into regions the area index can cover; every region's
    // box keeps the outside ZIP Codes away.
    const Box range{-kMaxWest * 100.0, 0.0, -kMinWest * 100.0, kMaxNorth * 100.0};
    for (std::size_t i = 0; i < regions_.size(); ++i) {
      boxes_.push_back(BoxOf(regions_[i]));
      const Box& b = boxes_.back();
      if (regions_[i].rings.front().size() >= 3 && b.minx >= range.minx && b.maxx <= range.maxx &&
          b.miny >= range.miny && b.maxy <= range.maxy) {
        usable_.push_back(static_cast<int>(i));
      }
    }
  }

  bool usable() const { return !usable_.empty(); }

  std::vector<pipZip4Record> Run() {
    const auto wanted = std::max<std::size_t>(1, options_.records);
    std::size_t zips = std::max<std::size_t>(
        1,
        static_cast<std::size_t>(std::lround(static_cast<double>(wanted) / options_.mean_add_ons)));
    zips = std::min<std::size_t>(zips, 98000);
    const auto outside = static_cast<std::size_t>(std::lround(zips * options_.outside_share));
    for (std::size_t i = 0; i < zips; ++i)
      zips_.push_back(i < outside ? OutsideZip() : InsideZip());
    std::sort(zips_.begin(), zips_.end(),
              [](const Zip& a, const Zip& b) { return a.order < b.order; });
    AssignCodes();
    AssignCounts(wanted);
    std::vector<pipZip4Record> out;
    for (const Zip& z : zips_) AddRecords(z, &out);
    return out;
  }

 private:
  double Uniform(double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng_);
  }
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  Zip InsideZip() {
    Zip z;
    const int r = usable_[static_cast<std::size_t>(Below(static_cast<int>(usable_.size())))];
    const Box& b = boxes_[r];
    z.cx = regions_[r].rings.front().front().x;
    z.cy = regions_[r].rings.front().front().y;
    for (int tries = 0; tries < 500; ++tries) {
      const double x = Uniform(b.minx, b.maxx);
      const double y = Uniform(b.miny, b.maxy);
      if (Inside(regions_[r], x, y)) {
        z.cx = x;
        z.cy = y;
        break;
      }
    }
    const double per_region = std::max(
        1.0, static_cast<double>(options_.records) / options_.mean_add_ons / usable_.size());
    z.spread = std::sqrt(b.Area() / per_region) / 3.0;
    z.region = r + 1;
    z.order = r + (z.cy + 1e9) / 4e9;
    return z;
  }

  // A ZIP Code far from every region's box (with its spread and the area
  // index's 2000-unit cells around it).
  Zip OutsideZip() {
    Zip z;
    z.spread = 20000;
    for (int tries = 0; tries < 2000; ++tries) {
      z.cx = Uniform(-190.0e6, -61.0e6);
      z.cy = Uniform(1.0e6, 89.0e6);
      const double reach = 6 * z.spread + 4000;
      const Box around{z.cx - reach, z.cy - reach, z.cx + reach, z.cy + reach};
      if (std::none_of(boxes_.begin(), boxes_.end(),
                       [&](const Box& b) { return b.Meets(around); })) {
        break;
      }
    }
    z.order = Uniform(0, static_cast<double>(regions_.size()));
    return z;
  }

  void AssignCodes() {
    const int step = std::max<int>(1, 98000 / static_cast<int>(zips_.size()));
    for (std::size_t i = 0; i < zips_.size(); ++i) {
      zips_[i].code = 1000 + static_cast<int>(i) * step + (step > 1 ? Below(step / 2) : 0);
    }
  }

  // Skewed counts with the wanted mean, then nudged to the exact total.
  void AssignCounts(std::size_t wanted) {
    std::exponential_distribution<double> extra(1.0 / std::max(1e-9, options_.mean_add_ons - 1));
    std::size_t total = 0;
    for (Zip& z : zips_) {
      z.records = std::min(kMaxRecordsPerZip, 1 + static_cast<int>(extra(rng_)));
      total += static_cast<std::size_t>(z.records);
    }
    while (total != wanted) {
      Zip& z = zips_[static_cast<std::size_t>(Below(static_cast<int>(zips_.size())))];
      if (total < wanted && z.records < kMaxRecordsPerZip) {
        ++z.records;
        ++total;
      } else if (total > wanted && z.records > 1) {
        --z.records;
        --total;
      }
    }
  }

  pipZip4Record Centroid(double x, double y) {
    pipZip4Record r{};
    r.longitude = std::clamp(static_cast<std::int32_t>(std::lround(-x / 100)), kMinWest, kMaxWest);
    r.latitude = std::clamp(static_cast<std::int32_t>(std::lround(y / 100)), 0, kMaxNorth);
    return r;
  }

  void AddRecords(const Zip& z, std::vector<pipZip4Record>* out) {
    static const char kTypes[] = {'S', 'H', 'P', 'R', 'F', 'G'};
    std::discrete_distribution<int> type_of({70, 10, 8, 5, 5, 2});
    std::normal_distribution<double> scatter(0.0, z.spread);
    const pipZip4Record post_office = Centroid(z.cx + scatter(rng_) / 4, z.cy + scatter(rng_) / 4);
    // Add-ons rise with gaps, squeezed when a ZIP Code has many records.
    const int gap = std::max(1, std::min(20, 9000 / z.records));
    int add_on = Below(50);
    for (int i = 0; i < z.records; ++i, add_on += 1 + Below(gap)) {
      const char type = kTypes[type_of(rng_)];
      pipZip4Record r;
      if (type == 'P') {
        r = post_office;
      } else if (i > 0 && Uniform(0, 1) < options_.shared_share) {
        r = out->back();
      } else {
        r = Centroid(z.cx + scatter(rng_), z.cy + scatter(rng_));
      }
      r.zipCode = z.code;
      r.addOn = std::min(add_on, 9999 - (z.records - i));
      add_on = r.addOn;
      r.recordType = type;
      r.value1 = z.region;
      r.value2 = 1 + Below(type == 'H' ? 400 : 40);
      r.value3 = 0;
      out->push_back(r);
    }
  }

  const std::vector<Region>& regions_;
  Options options_;
  std::mt19937 rng_;
  std::vector<Box> boxes_;
  std::vector<int> usable_;
  std::vector<Zip> zips_;
};

}  // namespace

std::vector<pipZip4Record> Generate(const std::vector<Region>& regions, const Options& options) {
  std::vector<Region> kept;
  for (const Region& r : regions) {
    if (!r.rings.empty() && !r.rings.front().empty()) kept.push_back(r);
  }
  Generator generator(kept, options);
  if (!generator.usable()) return {};
  return generator.Run();
}

std::string ToCsv(const std::vector<pipZip4Record>& records) {
  std::string out = "zip,plus4,type,longitude,latitude,value1,value2\n";
  char line[128];
  for (const pipZip4Record& r : records) {
    std::snprintf(line, sizeof line, "%05d,%04d,%c,%.4f,%.4f,%d,%d\n", r.zipCode, r.addOn,
                  static_cast<char>(r.recordType), -r.longitude / 10000.0, r.latitude / 10000.0,
                  r.value1, r.value2);
    out += line;
  }
  return out;
}

}  // namespace zip4gen
