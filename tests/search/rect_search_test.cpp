// The rectangle search: every object whose record rectangle meets the
// search rectangle, against brute force; corners in any order.
#include "search/rect_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "frame/error.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"
#include "support/object_file_codec.h"
#include "support/test_files.h"

namespace {

using test_objects::Box;
using test_objects::TestObject;
using Names = std::multiset<std::string>;

class RectSearchTest : public test_objects::WrittenFilesTest {
 protected:
  std::string Write(const std::vector<TestObject>& objects) {
    return WrittenFilesTest::Write(objects, {}, "r");
  }

  Names SearchAll(PolySearchInRectangle& search) {
    Names names;
    char name[32];
    int r = search.FindFirst(name, sizeof name);
    for (; r > 0; r = search.FindNext(name, sizeof name)) {
      EXPECT_EQ(r, 1);
      names.insert(name);
    }
    EXPECT_EQ(r, 0) << err_.detail();
    return names;
  }

  QError err_;
};

// The rectangle a record of the test files gets: regions and lines are
// widened by one unit, points are themselves.
lumetra::Rect RecordRect(const TestObject& o) {
  if (o.type == PIP_OBJECT_POINT) {
    return {o.at.x, o.at.y, o.at.x, o.at.y};
  }
  lumetra::Rect box = lumetra::EmptyBounds();
  for (const auto& ring : o.rings)
    for (const auto& p : ring) box.Include({p.x, p.y, p.x, p.y});
  return {box.minx - 1, box.miny - 1, box.maxx + 1, box.maxy + 1};
}

TEST_F(RectSearchTest, MatchesBruteForceWithCornersInAnyOrder) {
  const unsigned seed = 4242;
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> at(0, 1000);
  std::uniform_int_distribution<int> size(1, 60);
  std::vector<TestObject> objects;
  for (int i = 0; i < 60; ++i) {
    const int x = at(rng), y = at(rng);
    if (i % 3 == 0) {
      objects.push_back(test_objects::Point("P" + std::to_string(i), x, y));
    } else if (i % 3 == 1) {
      objects.push_back(
          test_objects::Region("R" + std::to_string(i), {Box(x, y, x + size(rng), y + size(rng))}));
    } else {
      objects.push_back(
          test_objects::Line("L" + std::to_string(i), {{{x, y}, {x + size(rng), y - size(rng)}}}));
    }
  }
  PolygonSearch reader(err_, Write(objects).c_str(), 1);
  ASSERT_TRUE(reader.ready()) << err_.detail();
  for (int q = 0; q < 200; ++q) {
    const int x1 = at(rng), y1 = at(rng), x2 = at(rng), y2 = at(rng);
    const lumetra::Rect query{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2),
                              std::max(y1, y2)};
    Names expected;
    for (const TestObject& o : objects)
      if (RecordRect(o).Meets(query)) expected.insert(o.name);
    PolySearchInRectangle given(reader, err_, x1, y1, x2, y2);
    PolySearchInRectangle swapped(reader, err_, x2, y2, x1, y1);
    PolySearchInRectangle crossed(reader, err_, x1, y2, x2, y1);
    EXPECT_EQ(given.search_rect(), query);
    const Names got = SearchAll(given);
    EXPECT_EQ(got, expected) << "seed " << seed << " query " << q;
    EXPECT_EQ(SearchAll(swapped), got) << "seed " << seed << " query " << q;
    EXPECT_EQ(SearchAll(crossed), got) << "seed " << seed << " query " << q;
  }
}

}  // namespace
