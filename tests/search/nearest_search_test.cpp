// The nearest search: the ring limit and squares, the answer against brute
// force (pipDistance over the points inside the final square) on random
// point sets, and the search-distance limit.
#include "search/nearest_search.h"

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "frame/error.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"
#include "storage/spatial_index.h"
#include "support/object_file_codec.h"
#include "support/test_files.h"

namespace {

using test_objects::Box;
using test_objects::TestObject;

class NearestSearchTest : public test_objects::WrittenFilesTest {
 protected:
  std::string Write(const std::vector<TestObject>& objects, bool geographic = false) {
    test_objects::FileOptions options;
    options.geographic = geographic;
    const std::string path = WrittenFilesTest::Write(objects, options, "n");
    for (std::size_t i = 0; i < objects.size(); ++i) by_position_[written_.offsets[i]] = i;
    return path;
  }

  // The answers of one search in order: (name, distance), checking that
  // each makes the table's object current.
  std::vector<std::pair<std::string, int>> Answers(PolySearchNearestPoint& search,
                                                   const std::vector<TestObject>& objects) {
    std::vector<std::pair<std::string, int>> out;
    char name[PIP_NAME_SIZE];
    int r = search.FindFirst(name, sizeof name);
    for (std::size_t i = 0; r > 0; ++i, r = search.FindNext(name, sizeof name)) {
      EXPECT_EQ(r, 1);
      EXPECT_LT(i, search.table().size());
      if (i >= search.table().size()) break;
      EXPECT_EQ(search.current_position(), search.table()[i].position);
      const PolygonObject* current = search.CurrentObject();
      EXPECT_NE(current, nullptr);
      if (current != nullptr) {
        EXPECT_EQ(current->name(), name);
      }
      EXPECT_EQ(objects[by_position_.at(search.table()[i].position)].name, name);
      out.emplace_back(name, search.table()[i].distance);
    }
    EXPECT_EQ(r, 0) << err_.detail();
    EXPECT_EQ(search.FindNext(name, sizeof name), 0) << "past the end stays 0";
    return out;
  }

  QError err_;
  std::map<std::uint64_t, std::size_t> by_position_;
};

TEST_F(NearestSearchTest, TheSearchDistanceLimitsTheRings) {
  const std::vector<TestObject> objects = {test_objects::Point("CLOSE", 7000, 0),
                                           test_objects::Point("BEYOND", 20000, 0)};
  PolygonSearch reader(err_, Write(objects).c_str(), 0);
  ASSERT_TRUE(reader.ready());
  const struct {
    std::int32_t distance;  // 0: the default
    bool accepted;
    int n;
    std::size_t found;
    int rounds;
    std::int32_t last_ring;  // 0: not checked
  } rows[] = {
      {0, true, 2, 2, 3, 29984},  // rings 7496, 14992, 29984
      {100, false, 2, 1, 1, 0},   // clamped to 2738: only the first ring, 7496
      {5000, true, 2, 1, 2, PolySearchNearestPoint::RingLimit(5000)},  // 13690
      {5000, true, 1, 1, 1, 0},  // enough found in the first ring
  };
  for (const auto& row : rows) {
    SCOPED_TRACE("distance " + std::to_string(row.distance) + " n " + std::to_string(row.n));
    if (row.distance != 0) {
      EXPECT_EQ(reader.SetSearchDistance(row.distance), row.accepted);
    }
    PolySearchNearestPoint search(reader, err_, 0, 0, row.n);
    const auto got = Answers(search, objects);
    ASSERT_EQ(got.size(), row.found);
    EXPECT_EQ(got[0].first, "CLOSE");
    EXPECT_EQ(search.rounds(), row.rounds);
    if (row.last_ring != 0) {
      EXPECT_EQ(search.last_ring(), row.last_ring);
    }
  }
}

// Accepts the objects whose names begin with a letter, counting its calls.
class FirstLetterFilter : public ObjectFilter {
 public:
  explicit FirstLetterFilter(char letter, int* calls) : letter_(letter), calls_(calls) {}
  bool Accept(const PolygonObject& object) override {
    ++*calls_;
    return !object.name().empty() && object.name()[0] == letter_;
  }

 private:
  char letter_;
  int* calls_;
};

std::vector<std::pair<int, std::uint64_t>> TableOf(const PolySearchNearestPoint& search) {
  std::vector<std::pair<int, std::uint64_t>> out;
  for (const auto& e : search.table()) out.emplace_back(e.distance, e.position);
  return out;
}

// Points on a coarse lattice, so that many share a position or a distance
// from the query, among regions and lines.
std::vector<TestObject> LatticePoints(std::mt19937& rng, std::int32_t cx, std::int32_t cy,
                                      int count) {
  std::uniform_int_distribution<int> cell(-12, 12);
  std::vector<TestObject> objects;
  for (int i = 0; i < count; ++i) {
    const std::string name = (i % 4 == 0 ? "E" : "O") + std::to_string(i);
    objects.push_back(test_objects::Point(name, cx + 3000 * cell(rng), cy + 3000 * cell(rng)));
    if (i % 25 == 0) {
      const std::int32_t x = cx + 3000 * cell(rng);
      objects.push_back(test_objects::Region("R" + std::to_string(i), {Box(x, cy, x + 9, cy + 9)}));
      objects.push_back(test_objects::Line("L" + std::to_string(i), {{{x, cy}, {x + 9, cy + 90}}}));
    }
  }
  return objects;
}

// The exact search against brute force: the n nearest points (filtered or
// not) of all those inside the outermost square, by distance and then file
// order, over random queries, counts and search distances, on lattices with
// many equal distances.
TEST_F(NearestSearchTest, ExactMatchesBruteForceOverTheOutermostSquare) {
  for (const bool geographic : {false, true}) {
    const unsigned seed = geographic ? 161803 : 141421;
    std::mt19937 rng(seed);
    const std::int32_t cx = geographic ? 10000000 : 0;
    const std::int32_t cy = geographic ? 55000000 : 0;
    const std::vector<TestObject> objects = LatticePoints(rng, cx, cy, 400);
    PolygonSearch reader(err_, Write(objects, geographic).c_str(), 1);
    ASSERT_TRUE(reader.ready()) << err_.detail();
    const int units = geographic ? 1 : 0;
    std::uniform_int_distribution<int> at(-60000, 60000);
    const int counts[] = {1, 2, 5, 17, 120, 450};
    const std::int32_t distances[] = {2738, 12000, 366000, PIP_MAX_SEARCH_DISTANCE};
    int differs_from_classic = 0;
    for (int q = 0; q < 48; ++q) {
      const std::int32_t x = cx + (q % 3 == 0 ? 3000 * (at(rng) / 3000) : at(rng));
      const std::int32_t y = cy + (q % 3 == 0 ? 3000 * (at(rng) / 3000) : at(rng));
      const int n = counts[q % 6];
      const bool filtered = q % 4 == 1;
      reader.SetSearchDistance(distances[q % 4]);
      SCOPED_TRACE("seed " + std::to_string(seed) + " query " + std::to_string(q) + " n " +
                   std::to_string(n) + (filtered ? " filtered" : ""));
      const std::int32_t limit = PolySearchNearestPoint::RingLimit(reader.search_distance());
      const lumetra::Rect outer = PolySearchNearestPoint::RingRect(
          x, y, std::max(limit, PolySearchNearestPoint::kFirstRing), units);
      std::vector<std::pair<int, std::uint64_t>> expected;
      for (std::size_t i = 0; i < objects.size(); ++i) {
        const TestObject& o = objects[i];
        if (o.type != PIP_OBJECT_POINT || (filtered && o.name[0] != 'E')) continue;
        if (!outer.Meets({o.at.x, o.at.y, o.at.x, o.at.y})) continue;
        expected.emplace_back(pipDistance(x, y, o.at.x, o.at.y, units, nullptr),
                              written_.offsets[i]);
      }
      std::sort(expected.begin(), expected.end());
      if (expected.size() > static_cast<std::size_t>(n)) expected.resize(n);
      int calls = 0;
      PolySearchNearestPoint exact(reader, err_, x, y, n, true);
      if (filtered) exact.SetFilter(std::make_unique<FirstLetterFilter>('E', &calls));
      const auto answers = Answers(exact, objects);
      EXPECT_EQ(TableOf(exact), expected);
      PolySearchNearestPoint classic(reader, err_, x, y, n);
      if (filtered) classic.SetFilter(std::make_unique<FirstLetterFilter>('E', &calls));
      char name[PIP_NAME_SIZE];
      classic.FindFirst(name, sizeof name);
      differs_from_classic += TableOf(classic) != expected ? 1 : 0;
    }
    EXPECT_GT(differs_from_classic, 5) << "the square rings should often be inexact";
  }
  // A point just beyond the first square at the same distance as the
  // nearest inside it, but earlier in the file, comes first.
  const std::vector<TestObject> tie = {test_objects::Point("OUT", 7497, 0),
                                       test_objects::Point("IN", 5301, 5302)};
  PolygonSearch reader(err_, Write(tie).c_str(), 1);
  ASSERT_TRUE(reader.ready());
  PolySearchNearestPoint exact(reader, err_, 0, 0, 1, true);
  EXPECT_EQ(Answers(exact, tie), (std::vector<std::pair<std::string, int>>{{"OUT", 7497}}));
  PolySearchNearestPoint classic(reader, err_, 0, 0, 1);
  EXPECT_EQ(Answers(classic, tie), (std::vector<std::pair<std::string, int>>{{"IN", 7497}}));
}

}  // namespace
