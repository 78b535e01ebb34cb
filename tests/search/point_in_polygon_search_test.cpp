// The containing search: the search rectangle of a radius, and call-order
// errors.  Its answers against brute force, with and without a radius, on
// plain and compressed files, are checked through the exported functions
// (capi/object_file_capi_test.cpp).
#include "search/point_in_polygon_search.h"

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "frame/error.h"
#include "search/point_in_object.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"
#include "support/object_file_codec.h"
#include "support/test_files.h"

namespace {

using lumetra::RecordPoint;
using test_objects::Box;
using test_objects::FileOptions;
using test_objects::Ring;
using test_objects::TestObject;

using Found = std::map<std::string, int>;  // name -> result code

// ---------------------------------------------------------------------------
// Pure pieces.

// A segment from (0, 0) to (100, 0): direction (1, 0), length 100.
class ContainingSearchTest : public test_objects::WrittenFilesTest {
 protected:
  // Every answer of one search, in order.
  std::vector<std::pair<std::string, int>> SearchAll(PolygonSearch& reader, std::int32_t x,
                                                     std::int32_t y, std::int32_t radius) {
    std::vector<std::pair<std::string, int>> out;
    PolySearchPointInPolygon search(reader, err_, x, y, radius);
    char name[32];
    for (int r = search.FindFirst(name, sizeof name); r != 0;
         r = search.FindNext(name, sizeof name)) {
      if (r < 0) {
        ADD_FAILURE() << "search failed: " << err_.detail();
        break;
      }
      out.emplace_back(name, r);
    }
    return out;
  }

  QError err_;
};

TEST_F(ContainingSearchTest, RadiusWithoutSegmentRecordsAndFindNextAfterTheEndAreErrors) {
  const std::vector<TestObject> objects = {test_objects::Region("A", {Box(0, 0, 10, 10)})};
  PolygonSearch reader(err_, Write(objects, FileOptions()).c_str(), 0);
  ASSERT_TRUE(reader.ready());
  char name[16];
  PolySearchPointInPolygon with_radius(reader, err_, 5, 5, 10);
  EXPECT_EQ(with_radius.FindFirst(name, sizeof name), -1);
  EXPECT_EQ(err_.code(), 106);
  EXPECT_STREQ(err_.detail(), "Non-Zero radius used but objects do not have buffers.\n");
  PolySearchPointInPolygon search(reader, err_, 5, 5, 0);
  ASSERT_EQ(search.FindFirst(name, sizeof name), 1);
  EXPECT_STREQ(name, "A");
  EXPECT_TRUE(search.has_current());
  EXPECT_EQ(search.FindNext(name, sizeof name), 0);
  EXPECT_FALSE(search.has_current());
  EXPECT_EQ(search.FindNext(name, sizeof name), -1);
  EXPECT_EQ(err_.code(), 100);
  EXPECT_STREQ(err_.detail(), "Invalid Function call after pipFindFirst returned PIP_NOT_FOUND.\n");
  // FindFirst starts over.
  EXPECT_EQ(search.FindFirst(name, sizeof name), 1);
  std::int32_t x = 0, y = 0;
  EXPECT_TRUE(search.GetSearchPoint(&x, &y));
  EXPECT_EQ(x, 5);
  EXPECT_EQ(y, 5);
}

}  // namespace
