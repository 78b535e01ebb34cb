// The ZIP+4 centroid search against brute force: every record's centroid
// tested with the object file's containing search, in key order, gives the
// expected hits; the search itself must find the same hits while reading
// only the records of areas that meet an object and testing each run of
// equal centroids once.  Regions are random stars and one box whose edges
// lie on centroid positions (border centroids); ZIP Codes scatter over them,
// in the gaps, and far away (areas that meet no object).
#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <random>
#include <string>
#include <vector>

#include "frame/handle_table.h"
#include "support/object_file_codec.h"
#include "support/test_files.h"
#include "zip4/z9_writer.h"
#include "zip4/zip4_file_object.h"

namespace {

using lumetra::Z9Record;
using test_objects::TestObject;

struct Hit {
  std::string zip4, type, name;
  bool operator==(const Hit& o) const { return zip4 == o.zip4 && type == o.type && name == o.name; }
};
std::ostream& operator<<(std::ostream& out, const Hit& h) {
  return out << h.zip4 << " " << h.type << " " << h.name;
}

// The regions: a 5 x 4 grid of stars around (-95, 35) degrees with gaps
// between some, and BOX from (-101, 30) to (-100, 31) degrees.
std::vector<TestObject> Regions(std::mt19937& rng) {
  std::vector<TestObject> out;
  for (int i = 0; i < 20; ++i) {
    const std::int32_t cx = -95000000 + (i % 5) * 1200000;
    const std::int32_t cy = 35000000 + (i / 5) * 1200000;
    out.push_back(test_objects::Region("STAR" + std::to_string(i),
                                       {test_objects::Star(rng, cx, cy, 24, 300000, 700000)}));
  }
  out.push_back(
      test_objects::Region("BOX", {test_objects::Box(-101000000, 30000000, -100000000, 31000000)}));
  return out;
}

Z9Record At(int zip, int add_on, double x, double y) {
  Z9Record r;
  r.zip = zip;
  r.add_on = add_on;
  r.record_type = "SHPRFG"[add_on % 6];
  r.longitude = static_cast<std::int32_t>(std::lround(-x / 100));
  r.latitude = static_cast<std::int32_t>(std::lround(y / 100));
  return r;
}

// ZIP Codes over the grid and its gaps (8 in 10), far away (1 in 10), and
// on BOX's edges and corners; a fifth of the records repeat the centroid
// before them.
std::vector<Z9Record> Records(std::mt19937& rng) {
  std::vector<Z9Record> out;
  std::uniform_real_distribution<double> unit(0, 1);
  for (int zip = 1001; zip < 1400; zip += 1 + static_cast<int>(rng() % 3)) {
    double cx = -95600000 + unit(rng) * 6000000;
    double cy = 34400000 + unit(rng) * 4800000;
    if (zip % 10 == 0) cx = -170000000 + unit(rng) * 5000000;
    std::normal_distribution<double> scatter(0, 150000);
    const int n = 1 + static_cast<int>(rng() % 30);
    for (int i = 0; i < n; ++i) {
      Z9Record r = At(zip, 7 * i, cx + scatter(rng), cy + scatter(rng));
      if (i > 0 && unit(rng) < 0.2) {
        r.longitude = out.back().longitude;
        r.latitude = out.back().latitude;
      }
      out.push_back(r);
    }
  }
  for (int i = 0; i < 6; ++i) {  // on BOX's bottom edge, left edge, corner; outside by one step
    const double edge[][2] = {{-100500000, 30000000}, {-101000000, 30400000},
                              {-100000000, 31000000}, {-100500000, 29999900},
                              {-101000100, 30400000}, {-99999900, 31000000}};
    out.push_back(At(99001, i, edge[i][0], edge[i][1]));
  }
  return out;
}

class Zip4Search : public test_objects::LibraryTest {
 protected:
  void TearDown() override {
    for (int h : zip4_) EXPECT_EQ(pipZip4FileClose(h), 1);
    for (int h : objects_) EXPECT_EQ(pipObjectFileClose(h), 1);
    LibraryTest::TearDown();
  }
  int OpenObjects(const std::vector<TestObject>& objects) {
    const std::string path = dir_.File("objects" + std::to_string(objects_.size()) + ".obj");
    test_objects::WriteObjectFile(path, objects, {false, true, true});  // segments, geographic
    int h = 0;
    EXPECT_EQ(pipObjectFileOpen(lib_, path.c_str(), PIP_OPEN_CACHE_5MB, &h), 1) << Detail();
    objects_.push_back(h);
    return h;
  }
  int OpenCentroids(const std::vector<Z9Record>& records) {
    QError err;
    const std::string path = dir_.File("centroids.z9");
    Z9Writer writer(err, path.c_str(), {3, 6, 30});  // small blocks and fan-out: every level used
    for (const Z9Record& r : records) EXPECT_TRUE(writer.Add(r)) << err.detail();
    EXPECT_TRUE(writer.Finish()) << err.detail();
    int h = 0;
    EXPECT_EQ(pipZip4FileOpen(lib_, path.c_str(), &h), 1) << Detail();
    zip4_.push_back(h);
    return h;
  }
  std::string Detail() {
    char message[PIP_ERROR_TEXT_SIZE], detail[PIP_ERROR_TEXT_SIZE];
    pipErrorGet(lib_, message, detail);
    return detail;
  }
  std::vector<Hit> Search(int z, int objects, int distance) {
    std::vector<Hit> hits;
    char zip4[PIP_ZIP4_TEXT_SIZE], type[PIP_ZIP4_TYPE_SIZE], name[PIP_NAME_SIZE];
    int r = pipZip4FindFirst(z, objects, distance, zip4, type, name, sizeof name);
    for (; r == 1; r = pipZip4FindNext(z, zip4, type, name, sizeof name))
      hits.push_back({zip4, type, name});
    EXPECT_EQ(r, 0) << Detail();
    EXPECT_EQ(pipZip4FindNext(z, zip4, type, name, sizeof name), 0);
    return hits;
  }
  // Every record's centroid through the containing search, in key order.
  std::vector<Hit> BruteForce(const std::vector<Z9Record>& records, int objects, int distance) {
    std::vector<Hit> hits;
    char name[PIP_NAME_SIZE], zip4[16];
    for (const Z9Record& r : records) {
      const int found =
          pipObjectFindFirstContaining(objects, r.X(), r.Y(), distance, name, sizeof name);
      EXPECT_GE(found, 0) << Detail();
      std::snprintf(zip4, sizeof zip4, "%05d%04d", r.zip, r.add_on);
      if (found > 0) hits.push_back({zip4, std::string(1, static_cast<char>(r.record_type)), name});
    }
    return hits;
  }
  Zip4SearchStats Stats(int z) {
    lumetra::HandleLease<pipZip4FileObject> lease(z, PIP_HANDLE_ZIP4_FILE);
    return lease->stats();
  }

  std::vector<int> objects_, zip4_;
};

TEST_F(Zip4Search, MatchesBruteForceReadingOnlyAreasThatMeetObjects) {
  const std::uint32_t seed = 4242;
  SCOPED_TRACE(seed);
  std::mt19937 rng(seed);
  const std::vector<TestObject> regions = Regions(rng);
  const std::vector<Z9Record> records = Records(rng);
  const int objects = OpenObjects(regions);
  const int z = OpenCentroids(records);

  // Records an area search must read (distance 0): those of ZIP Codes whose
  // area meets a region's stored rectangle (its box widened by one unit);
  // the tests it must run: one per run of equal centroids among them.
  std::size_t reads = 0, runs = 0;
  const Z9Record* last = nullptr;
  for (std::size_t i = 0; i < records.size();) {
    std::size_t end = i;
    lumetra::Rect points{records[i].X(), records[i].Y(), records[i].X(), records[i].Y()};
    for (; end < records.size() && records[end].zip == records[i].zip; ++end) {
      points.Include({records[end].X(), records[end].Y(), records[end].X(), records[end].Y()});
    }
    const lumetra::Rect area = lumetra::Z9AreaEntry::Covering(records[i].zip, points).Rectangle();
    bool meets = false;
    for (const TestObject& o : regions) {
      lumetra::Rect box{o.rings[0][0].x, o.rings[0][0].y, o.rings[0][0].x, o.rings[0][0].y};
      for (const auto& p : o.rings[0]) box.Include({p.x, p.y, p.x, p.y});
      meets = meets || area.Meets({box.minx - 1, box.miny - 1, box.maxx + 1, box.maxy + 1});
    }
    for (; meets && i < end; ++i, ++reads) {
      runs += last == nullptr || last->X() != records[i].X() || last->Y() != records[i].Y();
      last = &records[i];
    }
    i = end;
  }

  const std::vector<Hit> inside = Search(z, objects, 0);
  EXPECT_EQ(Stats(z).records_read, reads);
  EXPECT_EQ(Stats(z).containment_tests, runs);
  EXPECT_LT(reads, records.size());
  EXPECT_EQ(inside, BruteForce(records, objects, 0));
  for (const char* border : {"990010000", "990010001", "990010002"}) {
    EXPECT_TRUE(std::find_if(inside.begin(), inside.end(),
                             [&](const Hit& h) { return h.zip4 == border && h.name == "BOX"; }) !=
                inside.end())
        << border;
  }
  for (int distance : {100, 5000}) {
    SCOPED_TRACE(distance);
    const std::vector<Hit> near = Search(z, objects, distance);
    EXPECT_GT(near.size(), inside.size());
    EXPECT_EQ(near, BruteForce(records, objects, distance));
  }
}

}  // namespace
