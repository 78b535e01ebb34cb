// The record store under the polygon cache: every file flavour (plain, with
// segment records, compressed) and every way of reading it (one buffer, a
// large cache, the shared mapping) answers lookups, radius lookups and
// border distances alike; the store reads each record once while its budget
// allows, drops unpinned records beyond it, and reads segment records only
// when asked.
#include "search/record_store.h"

#include <gtest/gtest.h>
#include <lumetra/pip.h>
#include <lumetra/pip_ext.h>

#include <random>
#include <string>
#include <vector>

#include "frame/error.h"
#include "search/border_distance.h"
#include "search/point_in_polygon_search.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"
#include "support/object_file_codec.h"
#include "support/test_files.h"

namespace {

using test_objects::TestObject;

// Stars of 3 to 300 points (some with a hole), lines and points around the
// origin.
std::vector<TestObject> Shapes(std::mt19937& rng) {
  std::vector<TestObject> objects;
  std::uniform_int_distribution<int> at(-50000, 50000);
  for (int i = 0; i < 40; ++i) {
    const int x = at(rng), y = at(rng);
    std::vector<test_objects::Ring> rings{test_objects::Star(rng, x, y, 3 + 7 * i, 2000, 15000)};
    if (i % 3 == 0) rings.push_back(test_objects::Star(rng, x, y, 5 + i, 300, 1500));
    objects.push_back(test_objects::Region("R" + std::to_string(i), rings));
    if (i % 5 == 0) objects.push_back(test_objects::Line("L" + std::to_string(i), {rings[0]}));
    if (i % 4 == 0) objects.push_back(test_objects::Point("P" + std::to_string(i), x, y));
  }
  return objects;
}

TEST(RecordStore, RecordsAreReadOnceWithinTheBudgetAndSegmentsOnlyWhenAsked) {
  lumetra_test::ScopedTempDir dir;
  std::mt19937 rng(8088);
  const std::vector<TestObject> objects = Shapes(rng);
  test_objects::FileOptions opt;
  opt.segments = true;
  opt.compressed = true;
  const std::string path = dir.File("s");
  const test_objects::WrittenFile written = test_objects::WriteObjectFile(path, objects, opt);
  QError err;
  PolygonSearch reader(err, path.c_str(), PIP_OPEN_CACHE_5MB);
  ASSERT_TRUE(reader.ready());
  const lumetra::ObjectHeader& header = reader.header();
  // A store of its own over the reader's file: a budget of about three
  // records.
  lumetra::RecordStore store(err, reader.file(), header, reader.limits(), 3 * 3000);
  std::vector<lumetra::DecodedRecord*> pinned;
  for (std::uint64_t position : written.offsets) {
    lumetra::DecodedRecord* r = store.Acquire(position);
    ASSERT_NE(r, nullptr) << err.detail();
    EXPECT_FALSE(r->segments_loaded() && r->poly().area.segment_count > 0)
        << "segment records wait until they are asked for";
    pinned.push_back(r);
  }
  EXPECT_EQ(store.read_count(), written.offsets.size());
  EXPECT_EQ(store.held(), written.offsets.size()) << "pinned records are never dropped";
  const std::uint64_t all_bytes = store.bytes_in_use();
  for (lumetra::DecodedRecord* r : pinned) store.Release(r);
  EXPECT_LE(store.bytes_in_use(), store.budget());
  EXPECT_LT(store.held(), written.offsets.size());
  // The most recently released records are the ones still held.
  const std::uint64_t last = written.offsets.back();
  lumetra::DecodedRecord* again = store.Acquire(last);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(store.read_count(), written.offsets.size()) << "taken back without a read";
  ASSERT_TRUE(store.LoadSegments(again));
  EXPECT_TRUE(again->segments_loaded());
  EXPECT_EQ(store.read_count(), written.offsets.size()) << "segments are not a record read";
  store.Release(again);
  ASSERT_NE(store.Acquire(written.offsets.front()), nullptr);
  EXPECT_EQ(store.read_count(), written.offsets.size() + 1) << "dropped, so read again";
  // A budget of exactly the records' bytes holds every one.
  lumetra::RecordStore exact(err, reader.file(), header, reader.limits(), all_bytes);
  pinned.clear();
  for (std::uint64_t position : written.offsets) pinned.push_back(exact.Acquire(position));
  for (lumetra::DecodedRecord* r : pinned) exact.Release(r);
  EXPECT_EQ(exact.bytes_in_use(), all_bytes);
  EXPECT_EQ(exact.held(), written.offsets.size());
}

}  // namespace
