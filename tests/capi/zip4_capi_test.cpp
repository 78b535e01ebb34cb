// ZIP+4 centroid files as callers see them: generated centroids inside the
// bundled US states written with pipZip4FileWrite (in shuffled order), then
// searched with pipZip4FindFirst/pipZip4FindNext and compared with the
// containing search of every centroid; and the failures a caller can meet.
#include <lumetra/pip_ext.h>

#include <algorithm>
#include <random>

#include "shape_regions.h"
#include "support/capi_fixture.h"
#include "zip4_generator.h"

namespace {

using namespace capi_test;

std::string UsStates() { return LUMETRA_DATA_DIR "/us_states.shp"; }

struct Hit {
  std::string zip4, type, name;
  bool operator==(const Hit& o) const { return zip4 == o.zip4 && type == o.type && name == o.name; }
};

class Zip4Capi : public CapiTest {
 protected:
  void TearDown() override {
    for (int h : zip4_) EXPECT_EQ(pipZip4FileClose(h), 1) << "ZIP+4 file " << h;
    CapiTest::TearDown();
  }
  int OpenStates() {
    const int imp = StartImport("states.obj", FileInfo(100000, 1000, PIP_COORD_GEOGRAPHIC));
    EXPECT_EQ(pipImportOpenSHP(imp, UsStates().c_str(), "NAME", "FIPS"), 1) << Detail();
    EXPECT_EQ(ReadAll(imp).back().second, 0);
    EXPECT_EQ(pipImportClose(imp), 1);
    EXPECT_EQ(Term(imp, 1), 1);
    return Open("states.obj", PIP_OPEN_CACHE_5MB);
  }
  int OpenZip4(const std::string& file) {
    int h = -3;
    if (pipZip4FileOpen(lib_, file.c_str(), &h) != 1) {
      EXPECT_EQ(h, 0);
      return 0;
    }
    zip4_.push_back(h);
    return h;
  }
  std::vector<Hit> Drain(int z, int first, char* zip4, char* type, char* name) {
    std::vector<Hit> hits;
    int r = first;
    for (; r == 1; r = pipZip4FindNext(z, zip4, type, name, PIP_NAME_SIZE))
      hits.push_back({zip4, type, name});
    EXPECT_EQ(r, 0) << Detail();
    return hits;
  }
  std::vector<int> zip4_;
};

TEST_F(Zip4Capi, GeneratedCentroidsInTheStatesMatchTheContainingSearch) {
  std::vector<zip4gen::Region> regions;
  ASSERT_TRUE(zip4gen::ReadShapeRegions(UsStates(), &regions));
  zip4gen::Options options;
  options.records = 12000;
  options.seed = 77;
  SCOPED_TRACE(options.seed);
  const std::vector<pipZip4Record> records = zip4gen::Generate(regions, options);
  ASSERT_EQ(records.size(), 12000u);
  std::vector<pipZip4Record> shuffled = records;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(options.seed));
  ASSERT_EQ(pipZip4FileWrite(lib_, "centroids.z9", shuffled.data(), 12000), 1) << Detail();

  const int states = OpenStates();
  const int z = OpenZip4("centroids.z9");
  ASSERT_GT(z, 0) << Detail();
  char zip4[PIP_ZIP4_TEXT_SIZE], type[PIP_ZIP4_TYPE_SIZE], name[PIP_NAME_SIZE];
  const std::vector<Hit> hits =
      Drain(z, pipZip4FindFirst(z, states, 0, zip4, type, name, sizeof name), zip4, type, name);

  std::vector<Hit> expected;
  std::size_t shared = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const pipZip4Record& r = records[i];
    if (pipObjectFindFirstContaining(states, -100 * r.longitude, 100 * r.latitude, 0, name,
                                     sizeof name) != 1) {
      continue;
    }
    std::snprintf(zip4, sizeof zip4, "%05d%04d", r.zipCode, r.addOn);
    expected.push_back({zip4, std::string(1, static_cast<char>(r.recordType)), name});
    const pipZip4Record& p = records[i > 0 ? i - 1 : 0];
    shared += i > 0 && p.longitude == r.longitude && p.latitude == r.latitude &&
              p.zipCode == r.zipCode && expected.size() > 1 &&
              expected[expected.size() - 2].name == name;
  }
  EXPECT_GT(expected.size(), records.size() / 2);
  EXPECT_LT(expected.size(), records.size());  // ZIP Codes straddle coasts and lie off shore
  EXPECT_GT(shared, 100u);                     // shared centroids, each reported
  EXPECT_TRUE(hits == expected) << hits.size() << " hits, " << expected.size() << " expected";
}

TEST_F(Zip4Capi, FailuresAreRecorded) {
  pipZip4Record good{60601, 1, 'S', 876298, 418781, 0, 0, 0};
  std::vector<pipZip4Record> records(3, good);
  records[2].longitude = -876298;
  EXPECT_EQ(pipZip4FileWrite(lib_, "bad.z9", records.data(), 3), -1);
  ExpectError(PIP_ERR_INVALID_DATA,
              "pipZip4FileWrite: record 2 (60601-0001): longitude not between 60 and 191.07 "
              "degrees west.");
  EXPECT_TRUE(lumetra_test::ListDir(dir_.path()).empty());
  EXPECT_EQ(pipZip4FileWrite(lib_, "bad.z9", nullptr, 1), -1);
  ASSERT_EQ(pipZip4FileWrite(lib_, "one.z9", records.data(), 2), 1);

  EXPECT_EQ(OpenZip4("missing.z9"), 0);
  EXPECT_EQ(Code(), 2);  // ENOENT
  const int states = OpenStates();
  EXPECT_EQ(OpenZip4("states.obj"), 0);
  ExpectError(PIP_ERR_BAD_SIGNATURE, "ZIP+4 centroid file");

  const int z = OpenZip4("one.z9");
  ASSERT_GT(z, 0);
  char zip4[PIP_ZIP4_TEXT_SIZE], type[PIP_ZIP4_TYPE_SIZE], name[PIP_NAME_SIZE];
  EXPECT_EQ(pipZip4FindNext(z, zip4, type, name, sizeof name), 0);  // before any search
  EXPECT_EQ(pipZip4FindFirst(states, z, 0, zip4, type, name, sizeof name), -1);
  EXPECT_EQ(pipZip4FindFirst(z, states, 0, nullptr, type, name, sizeof name), -1);
  EXPECT_EQ(pipZip4FindFirst(z, states, -1, zip4, type, name, sizeof name), -1);
  ASSERT_EQ(pipZip4FindFirst(z, states, 0, zip4, type, name, sizeof name), 1) << Detail();
  EXPECT_STREQ(zip4, "606010001");
  EXPECT_STREQ(type, "S");
  EXPECT_STREQ(name, "Illinois");
  EXPECT_EQ(Close(states), 1);
  EXPECT_EQ(pipZip4FindNext(z, zip4, type, name, sizeof name), -1);
  ExpectError(PIP_ERR_INVALID_DATA,
              "pipZip4FindNext: the object file of pipZip4FindFirst is no longer open.");
  EXPECT_EQ(pipZip4FileClose(z), 1);
  zip4_.clear();
  EXPECT_EQ(pipZip4FileClose(z), -1);
}

}  // namespace
