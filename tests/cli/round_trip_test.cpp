// Shapefile -> lumetra import -> export as SHP, MIF and BNA (BNA imported
// and exported again as SHP) -> GDAL's ogrinfo gives the same features: the
// same attribute values, the same rings, every coordinate within one unit
// (a millionth of a degree) of the original.  Data sets: the bundled US
// states and a small synthetic set with numeric columns, holes and a
// polygon split to fit (--max-parts); with LUMETRA_DATACACHE naming a
// folder that holds us_counties.shp and world_1km.shp, those too.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "cli/shapefile_writer.h"
#include "support/io_tools.h"

namespace {

using namespace cli_test;
using UnitRing = std::vector<long long>;  // x, y in millionths of a degree, open

struct Feature {
  std::map<std::string, std::string> fields;
  std::vector<UnitRing> rings;
};

// A field value as compared: numbers by value, texts as they are.
std::string Canonical(const std::string& text) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0') return text;
  char out[40];
  std::snprintf(out, sizeof out, "%.9g", v);
  return out;
}

// The rings of a WKT polygon or multipolygon, each without its closing point.
std::vector<UnitRing> Rings(const std::string& wkt) {
  std::vector<UnitRing> rings;
  UnitRing ring;
  for (const char* p = wkt.c_str(); *p != '\0';) {
    if (*p == ')') {
      if (ring.size() >= 4) ring.resize(ring.size() - 2);  // the closing point
      if (!ring.empty()) rings.push_back(ring);
      ring.clear();
    }
    if ((*p >= '0' && *p <= '9') || *p == '-' || *p == '.') {
      char* end = nullptr;
      ring.push_back(std::llround(std::strtod(p, &end) * 1e6));
      p = end;
    } else {
      ++p;
    }
  }
  return rings;
}

std::vector<Feature> Ogrinfo(const std::string& path) {
  std::istringstream in(lumetra_test::RunTool("ogrinfo -ro -al -q '" + path + "' 2>/dev/null"));
  std::vector<Feature> features;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("OGRFeature(", 0) == 0) features.emplace_back();
    if (features.empty() || line.size() < 3) continue;
    const std::size_t type = line.find(" (");
    const std::size_t equals = line.find(") = ");
    if (line.find("POLYGON") != std::string::npos) {
      features.back().rings = Rings(line);
    } else if (type != std::string::npos && equals != std::string::npos) {
      features.back().fields[line.substr(2, type - 2)] = Canonical(line.substr(equals + 4));
    }
  }
  return features;
}

// Whether `b` is `a` going round from some start, either way, each
// coordinate within one unit.
bool SameRing(const UnitRing& a, const UnitRing& b) {
  const std::size_t n = a.size() / 2;
  if (b.size() != a.size()) return false;
  for (std::size_t s = 0; s < n; ++s) {
    for (const int dir : {1, -1}) {
      bool same = true;
      for (std::size_t k = 0; same && k < n; ++k) {
        const std::size_t j = dir > 0 ? (s + k) % n : (s + n - k) % n;
        same = std::llabs(a[2 * k] - b[2 * j]) <= 1 && std::llabs(a[2 * k + 1] - b[2 * j + 1]) <= 1;
      }
      if (same) return true;
    }
  }
  return false;
}

// Rings of `want` not found in `got` (each found ring used once), with
// candidates narrowed by their point count and first x.
int MissingRings(const std::vector<UnitRing>& want, std::vector<UnitRing> got) {
  std::multimap<std::size_t, std::size_t> by_size;
  for (std::size_t i = 0; i < got.size(); ++i) by_size.insert({got[i].size(), i});
  int missing = 0;
  for (const UnitRing& ring : want) {
    auto [first, last] = by_size.equal_range(ring.size());
    for (; first != last && !SameRing(ring, got[first->second]); ++first) {
    }
    if (first == last) {
      ++missing;
    } else {
      by_size.erase(first);
    }
  }
  return missing;
}

// Features grouped by the values of `keys` (the original's fields): the
// rings of every feature of a group.
std::map<std::string, std::vector<UnitRing>> Groups(const std::vector<Feature>& features,
                                                    const std::vector<std::string>& keys,
                                                    std::map<std::string, int>* counts) {
  std::map<std::string, std::vector<UnitRing>> groups;
  for (const Feature& f : features) {
    std::string key;
    for (const std::string& k : keys) {
      const auto it = f.fields.find(k);
      key += (it == f.fields.end() ? "<none>" : it->second) + "|";
    }
    auto& rings = groups[key];
    rings.insert(rings.end(), f.rings.begin(), f.rings.end());
    ++(*counts)[key];
  }
  return groups;
}

// The export `path` against the original, features keyed by `keys` there
// and `path_keys` in the export: every group of the one in the other, and
// the same rings -- except in groups split into features of new rings,
// when `cut` says the data has them.
void ExpectSameFeatures(const std::vector<Feature>& original, const std::vector<std::string>& keys,
                        const std::string& path, const std::vector<std::string>& path_keys,
                        bool cut) {
  SCOPED_TRACE(path);
  std::map<std::string, int> want_count;
  std::map<std::string, int> got_count;
  const auto want = Groups(original, keys, &want_count);
  const auto got = Groups(Ogrinfo(path), path_keys, &got_count);
  ASSERT_EQ(want.size(), got.size());
  for (const auto& [key, rings] : want) {
    ASSERT_EQ(got.count(key), 1u) << key;
    if (cut && got_count[key] != want_count[key]) continue;
    EXPECT_EQ(rings.size(), got.at(key).size()) << key;
    EXPECT_EQ(MissingRings(rings, got.at(key)), 0) << key;
  }
}

void RoundTrip(const std::string& source, const std::vector<std::string>& import_options,
               bool cut = false) {
  SCOPED_TRACE(source);
  ScopedTempDir dir;
  std::vector<std::string> import = {"import", source, "a.lmb", "--quiet"};
  import.insert(import.end(), import_options.begin(), import_options.end());
  ASSERT_EQ(RunTool(dir.path(), import).status, 0);
  for (const char* out : {"a.shp", "a.mif", "a.bna"}) {
    ASSERT_EQ(RunTool(dir.path(), {"export", "a.lmb", out}).status, 0) << out;
  }
  ASSERT_EQ(RunTool(dir.path(), {"import", "a.bna", "b.lmb", "--quiet"}).status, 0);
  ASSERT_EQ(RunTool(dir.path(), {"export", "b.lmb", "b.shp"}).status, 0);
  // Features without geometry are not imported (the counties have one).
  std::vector<Feature> original = Ogrinfo(source);
  original.erase(std::remove_if(original.begin(), original.end(),
                                [](const Feature& f) { return f.rings.empty(); }),
                 original.end());
  ASSERT_FALSE(original.empty());
  std::vector<std::string> keys;
  for (const auto& [name, value] : original.front().fields) keys.push_back(name);
  ExpectSameFeatures(original, keys, dir.File("a.shp"), keys, cut);
  ExpectSameFeatures(original, keys, dir.File("a.mif"), keys, cut);
  // BNA carries the object names only (the NAME column, else the first).
  const std::string name = original.front().fields.count("NAME") != 0 ? "NAME" : keys[0];
  ExpectSameFeatures(original, {name}, dir.File("b.shp"), {"NAME"}, cut);
}

TEST(CliRoundTrip, ShapefileThroughEveryFormatKeepsFeatures) {
  if (!lumetra_test::HaveTool("ogrinfo")) GTEST_SKIP() << "ogrinfo (gdal-bin) is not installed";
  RoundTrip(kStates, {});
  ScopedTempDir dir;
  // Holes, numbers and a polygon of more rings than --max-parts 3 allows.
  WritePolygons(
      dir.File("syn"),
      {{"Lake", {Square(0, 0, 4, 4), Square(1, 1, 2, 2, true)}, {12, 0.5}},
       {"Isles",
        {Square(5, 0, 6, 1), Square(7, 0, 8, 1), Square(9, 0, 10, 1), Square(11, 0, 12, 1)},
        {-3, 1234.125}},
       {"Equator", {Square(0, -1, 1, 0)}, {0, 0}}},
      {{"POP", 10, 0}, {"AREA", 12, 3}});
  RoundTrip(dir.File("syn.shp"), {"--max-parts", "3"});
  const char* cache = std::getenv("LUMETRA_DATACACHE");
  if (cache == nullptr) return;
  RoundTrip(std::string(cache) + "/us_counties.shp", {});
  RoundTrip(std::string(cache) + "/world_1km.shp", {}, true);
}

}  // namespace
