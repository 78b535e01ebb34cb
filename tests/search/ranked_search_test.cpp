// The ranked containing search: ring sizes, the sort, and the ranking
// against brute force through the object-file object (deeper containment
// first, then border hits, then outside objects nearest first).
#include "search/ranked_search.h"

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "frame/error.h"
#include "search/border_distance.h"
#include "search/object_file_object.h"
#include "search/point_in_object.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"
#include "search/rect_search.h"
#include "support/object_file_codec.h"
#include "support/test_files.h"

namespace {

using lumetra::RecordPoint;
using test_objects::Box;
using test_objects::Ring;
using test_objects::TestObject;

TEST(RankedRings, StartGrowAndSquare) {
  const struct {
    std::int32_t maximum, start;
  } starts[] = {
      {150, 150},    {199, 199},
      {0, 0},        {10000, 112},  // q = 100, f = trunc(1.414^13 + 0.5) = 90: 10000 / 90 + 1
      {200, 101},                   // q = 2, f = trunc(1.414^2 + 0.5) = 2
      {100000, 1112}                // q = 1000 > 100: q' = 100, f = 90
  };
  for (const auto& s : starts) {
    EXPECT_EQ(RankedContainingSearch::StartingDistance(s.maximum), s.start) << s.maximum;
  }
  EXPECT_EQ(RankedContainingSearch::GrowRing(112, 10000), 158);
  EXPECT_EQ(RankedContainingSearch::GrowRing(158, 10000), 223);
  EXPECT_EQ(RankedContainingSearch::GrowRing(9000, 10000), 10000);
  EXPECT_EQ(RankedContainingSearch::GrowRing(10000, 10000), 10000);
  EXPECT_EQ(RankedContainingSearch::GrowRing(1, 10), 2) << "always wider below the maximum";
  // The ring sequence from 10000: 112, 158, 223, ... reaches 10000 and stops.
  std::int32_t d = RankedContainingSearch::StartingDistance(10000);
  int rings = 1;
  for (; d < 10000; ++rings) {
    const std::int32_t next = RankedContainingSearch::GrowRing(d, 10000);
    ASSERT_GT(next, d);
    d = next;
  }
  EXPECT_EQ(rings, 14);
  // Squares are converted from feet: 100 feet are trunc(274.48 + 0.5) = 274
  // units at the equator, twice as wide in longitude at 60 degrees.
  EXPECT_EQ(RankedContainingSearch::RingRect(1000, 0, 100), (lumetra::Rect{726, -274, 1274, 274}));
  EXPECT_EQ(RankedContainingSearch::RingRect(0, 60000000, 100),
            (lumetra::Rect{-549, 60000000 - 274, 549, 60000000 + 274}));
  const lumetra::Rect huge = RankedContainingSearch::RingRect(0, 0, INT32_MAX);
  EXPECT_EQ(huge.minx, INT32_MIN);
  EXPECT_EQ(huge.maxy, INT32_MAX);
}

TEST(RankedSort, MatchesAStableSortForEverySize) {
  const unsigned seed = 99991;
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> distance(-20, 20);
  for (int size : {0, 1, 2, 15, 16, 17, 40, 1000}) {
    for (int from : {0, 3}) {
      std::vector<SpatialPolygonNode> list(static_cast<std::size_t>(size));
      std::vector<std::uint32_t> lows(list.size());
      for (std::size_t i = 0; i < list.size(); ++i) lows[i] = static_cast<std::uint32_t>(i * 7);
      std::shuffle(lows.begin(), lows.end(), rng);
      for (std::size_t i = 0; i < list.size(); ++i) {
        list[i].Set("N", 1, distance(rng), lows[i], 0);
      }
      std::vector<SpatialPolygonNode> expected = list;
      const std::size_t start = std::min<std::size_t>(static_cast<std::size_t>(from), list.size());
      std::stable_sort(expected.begin() + static_cast<long>(start), expected.end(),
                       SpatialPolygonNode::RanksBefore);
      RankedContainingSearch::Sort(&list, start);
      for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].signed_distance(), expected[i].signed_distance())
            << "seed " << seed << " size " << size << " at " << i;
        EXPECT_EQ(list[i].low(), expected[i].low()) << "seed " << seed << " size " << size;
      }
    }
  }
}

// One entry as handed out: name, flags, signed distance.
struct Entry {
  std::string name;
  int flags;
  int distance;  // signed
  bool operator==(const Entry& o) const {
    return name == o.name && flags == o.flags && distance == o.distance;
  }
};

std::ostream& operator<<(std::ostream& os, const Entry& e) {
  return os << "{" << e.name << ", " << e.flags << ", " << e.distance << "}";
}

class RankedSearchTest : public test_objects::WrittenFilesTest {
 protected:
  pipObjectFileObject& Open(const std::vector<TestObject>& objects, bool segments = false,
                            bool geographic = false) {
    test_objects::FileOptions options;
    options.segments = segments;
    options.geographic = geographic;
    const std::string path = Write(objects, options, "k");
    object_ = std::make_unique<pipObjectFileObject>(err_, path.c_str(), 3);
    EXPECT_TRUE(object_->ready()) << err_.detail();
    return *object_;
  }

  // Every entry of a ranked search, in the order handed out.
  std::vector<Entry> Ranked(std::int32_t x, std::int32_t y, std::int32_t maximum,
                            std::set<std::int32_t>* rings = nullptr) {
    std::vector<Entry> out;
    char name[PIP_NAME_SIZE];
    int r = object_->FindFirstContainingEx(x, y, maximum, name, sizeof name);
    for (int guard = 0; r > 0 && guard < 10000; ++guard) {
      const SpatialPolygonNode* entry = object_->RankedEntry();
      EXPECT_NE(entry, nullptr);
      if (entry == nullptr) break;
      EXPECT_STREQ(entry->name(), name);
      EXPECT_EQ(static_cast<int>(entry->flags()), r);
      out.push_back({name, r, entry->signed_distance()});
      if (rings != nullptr) rings->insert(object_->ranked().ring());
      r = object_->FindNext(name, sizeof name);
    }
    EXPECT_EQ(r, 0) << err_.detail();
    EXPECT_EQ(object_->RankedEntry(), nullptr);
    return out;
  }

  pipError err_;
  std::unique_ptr<pipObjectFileObject> object_;
};

// The full ranking by brute force: every object with flags, sorted.
std::vector<Entry> BruteRanking(PolygonSearch& reader, const test_objects::WrittenFile& written,
                                std::int32_t x, std::int32_t y, std::int32_t maximum) {
  std::vector<SpatialPolygonNode> nodes;
  for (std::uint64_t position : written.offsets) {
    const PolygonObject* o = reader.FindObject(position);
    if (o == nullptr) return {};
    const int d = lumetra::BorderDistance(*o, x, y);
    const bool inside = o->kind() == lumetra::ObjectKind::kRegion &&
                        (lumetra::PointInObject(o->parts(), o->part_count(), x, y) & 1) != 0;
    const std::uint32_t flags = (inside ? 1u : 0u) | (d >= 0 && d <= maximum ? 2u : 0u);
    if (flags == 0) continue;
    nodes.emplace_back();
    nodes.back().Set(o->name().c_str(), flags, flags == 2 ? -d : d,
                     static_cast<std::uint32_t>(position), 0);
  }
  std::sort(nodes.begin(), nodes.end(), SpatialPolygonNode::RanksBefore);
  std::vector<Entry> out;
  for (const auto& n : nodes) {
    out.push_back({n.name(), static_cast<int>(n.flags()), n.signed_distance()});
  }
  return out;
}

std::vector<TestObject> RandomObjects(std::mt19937& rng, std::int32_t base, int span) {
  std::uniform_int_distribution<int> at(0, span);
  std::uniform_int_distribution<int> size(span / 100, span / 4);
  std::vector<TestObject> objects;
  for (int i = 0; i < 50; ++i) {
    const int x = base + at(rng), y = base + at(rng), w = size(rng), h = size(rng);
    if (i % 5 == 3) {
      objects.push_back(test_objects::Point("P" + std::to_string(i), x, y));
    } else if (i % 5 == 4) {
      objects.push_back(test_objects::Line("L" + std::to_string(i), {{{x, y}, {x + w, y + h}}}));
    } else {
      objects.push_back(test_objects::Region("R" + std::to_string(i), {Box(x, y, x + w, y + h)}));
    }
  }
  return objects;
}

TEST_F(RankedSearchTest, RankingMatchesBruteForceAcrossWideningRings) {
  const struct {
    bool segments, geographic;
    unsigned seed;
    std::int32_t base;
    int span, maximum;  // maximum 0: random per query
  } configs[] = {{false, false, 1013, 0, 100000, 0},
                 {true, false, 1009, 0, 100000, 0},
                 {true, true, 7, 40000000, 200000, 30000}};
  for (const auto& config : configs) {
    std::mt19937 rng(config.seed);
    const std::vector<TestObject> objects = RandomObjects(rng, config.base, config.span);
    pipObjectFileObject& object = Open(objects, config.segments, config.geographic);
    std::uniform_int_distribution<int> at(config.base - config.span / 10,
                                          config.base + config.span + config.span / 10);
    std::uniform_int_distribution<int> maximum(0, 60000);
    int widened = 0;
    for (int q = 0; q < 40; ++q) {
      const std::int32_t x = at(rng), y = at(rng);
      const std::int32_t m = config.maximum != 0 ? config.maximum : maximum(rng);
      SCOPED_TRACE("seed " + std::to_string(config.seed) + " query " + std::to_string(q));
      std::set<std::int32_t> rings;
      const auto got = Ranked(x, y, m, &rings);
      const auto expected = BruteRanking(object.reader(), written_, x, y, m);
      std::set<std::string> names;
      for (const Entry& e : got) EXPECT_TRUE(names.insert(e.name).second) << e.name << " twice";
      if (config.geographic) {
        // Feet distances of the two measures may round apart: the same
        // entries, the containing ones first.
        std::set<std::string> expected_names;
        for (const Entry& e : expected) expected_names.insert(e.name);
        EXPECT_EQ(names, expected_names);
        for (std::size_t i = 1; i < got.size(); ++i) {
          if (got[i].flags & 1) {
            EXPECT_TRUE(got[i - 1].flags & 1) << "containing ones come first";
          }
        }
      } else {
        EXPECT_EQ(got, expected);
      }
      widened += rings.size() >= 3 ? 1 : 0;
      // Nothing was examined twice, and only what the last ring held.
      ASSERT_NE(object.ranked().set(), nullptr);
      EXPECT_LE(object.ranked().set()->examined_count(), objects.size());
    }
    if (!config.geographic) {
      EXPECT_GT(widened, 10) << "entries should come from several rings";
    }
  }
}

}  // namespace
