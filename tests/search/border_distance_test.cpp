// Border distances against brute force -- the segment measure of files with
// segment records and the geometric measure of files without -- the
// nearest border point, points on the border, open lines and point
// objects.
#include "search/border_distance.h"

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <optional>

#include "frame/error.h"
#include "search/object_coords.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"
#include "support/object_file_codec.h"
#include "support/test_files.h"

namespace {

using lumetra::RecordPoint;
using test_objects::BruteBorderDistance;
using test_objects::Ring;
using test_objects::TestObject;

class BorderDistanceTest : public test_objects::WrittenFilesTest {
 protected:
  // Writes the objects and opens the file with room for all of them.
  void Open(const std::vector<TestObject>& objects, bool segments, bool geographic) {
    test_objects::FileOptions options;
    options.segments = segments;
    options.geographic = geographic;
    const std::string path = Write(objects, options, "b");
    reader_ = std::make_unique<PolygonSearch>(err_, path.c_str(), 3);
    ASSERT_TRUE(reader_->ready()) << err_.detail();
  }
  const PolygonObject& Object(std::size_t i) {
    PolygonObject* o = reader_->FindObject(written_.offsets.at(i));
    EXPECT_NE(o, nullptr) << err_.detail();
    EXPECT_TRUE(o->LoadSegments()) << err_.detail();
    return *o;
  }

  QError err_;
  std::unique_ptr<PolygonSearch> reader_;
};

std::vector<TestObject> RandomShapes(std::mt19937& rng, std::int32_t base, int span) {
  std::vector<TestObject> objects;
  std::uniform_int_distribution<int> at(0, span);
  for (int i = 0; i < 12; ++i) {
    std::vector<Ring> rings{
        test_objects::Star(rng, base + at(rng), base + at(rng), 3 + i, span / 20, span / 4)};
    if (i % 4 == 0)
      rings.push_back(test_objects::Box(base, base, base + span / 10, base + span / 10));
    objects.push_back(test_objects::Region("R" + std::to_string(i), rings));
  }
  for (int i = 0; i < 6; ++i) {
    Ring chain;
    for (int k = 0; k < 2 + i; ++k) chain.push_back({base + at(rng), base + at(rng)});
    objects.push_back(test_objects::Line("L" + std::to_string(i), {chain}));
  }
  return objects;
}

TEST_F(BorderDistanceTest, BothMeasuresMatchBruteForce) {
  for (const bool segments : {false, true}) {
    for (const bool geographic : {false, true}) {
      const unsigned seed = segments ? (geographic ? 141 : 173) : (geographic ? 2718 : 1618);
      std::mt19937 rng(seed);
      const std::int32_t base = geographic ? (segments ? 35000000 : 45000000) : 1000;
      const int span = geographic ? 50000 : 4000;
      const std::vector<TestObject> objects = RandomShapes(rng, base, span);
      Open(objects, segments, geographic);
      std::uniform_int_distribution<int> at(base - span / 4, base + span + span / 4);
      for (int q = 0; q < 100; ++q) {
        const std::int32_t x = at(rng), y = at(rng);
        for (std::size_t i = 0; i < objects.size(); ++i) {
          SCOPED_TRACE("seed " + std::to_string(seed) + " " + objects[i].name + " at " +
                       std::to_string(x) + "," + std::to_string(y));
          const PolygonObject& object = Object(i);
          const double expected = BruteBorderDistance(objects[i], geographic, x, y);
          if (segments) {
            ASSERT_TRUE(object.has_segments());
            const int d = lumetra::SegmentBorderDistance(object, x, y);
            // Segment records hold rounded feet; the point enters their
            // frame as trunc(offset + 0.5), a unit off for negative
            // offsets; the result is truncated: allow three and a half.
            EXPECT_NEAR(d, expected, 3.5);
            EXPECT_EQ(lumetra::BorderDistance(object, x, y), d) << "records with segments use them";
            continue;
          }
          double d = 0;
          RecordPoint nearest;
          ASSERT_TRUE(lumetra::GeometricBorderDistance(object, x, y, &d, &nearest));
          EXPECT_NEAR(d, expected, 1e-6 * (1 + expected));
          EXPECT_EQ(lumetra::BorderDistance(object, x, y), static_cast<int>(expected + 0.5));
          RecordPoint ex_nearest;
          EXPECT_EQ(lumetra::BorderDistanceEx(object, x, y, &ex_nearest),
                    static_cast<int>(expected + 0.5));
          EXPECT_EQ(ex_nearest, nearest);
          // The nearest point lies on the border (within the truncation of
          // its position) at about the distance found.
          const auto [sx, sy] = test_objects::ScalesOf(objects[i], geographic);
          EXPECT_LE(BruteBorderDistance(objects[i], geographic, nearest.x, nearest.y),
                    1.5 * std::max(sx, sy));
          EXPECT_NEAR(
              std::hypot((double{1} * x - nearest.x) * sx, (double{1} * y - nearest.y) * sy), d,
              1.5 * std::max(sx, sy));
        }
      }
    }
  }
}

TEST_F(BorderDistanceTest, PointObjectsUsePipDistance) {
  Open({test_objects::Point("WELL", 45000000, 40000000)}, false, true);
  const PolygonObject& well = Object(0);
  const int expected = pipDistance(45001000, 40000000, 45000000, 40000000, 1, nullptr);
  EXPECT_EQ(lumetra::BorderDistance(well, 45001000, 40000000), expected);
  RecordPoint nearest;
  EXPECT_EQ(lumetra::BorderDistanceEx(well, 45001000, 40000000, &nearest), expected);
  EXPECT_EQ(nearest, (RecordPoint{45001000, 40000000})) << "the query point itself";
}

}  // namespace
