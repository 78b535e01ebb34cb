// ZIP+4 centroid files written by Z9Writer and read back by Z9Reader and
// Z9AreaIndex: round trips over data-block and key-level boundaries
// (compared with std::lower_bound over the records written), opening
// failures, and the writer's refusals.
#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "fault_injection.h"
#include "frame/error.h"
#include "support/test_files.h"
#include "zip4/z9_area_index.h"
#include "zip4/z9_format.h"
#include "zip4/z9_reader.h"
#include "zip4/z9_writer.h"

namespace {

using lumetra::Z9Record;
using lumetra_test::ReadBytes;
using lumetra_test::WriteBytes;
using Bytes = std::vector<std::uint8_t>;

// Sorted records: ZIP Codes with runs of add-ons, some keys twice, some
// centroids repeated, values of every sign.
std::vector<Z9Record> RandomRecords(std::mt19937& rng, int count) {
  std::vector<Z9Record> out;
  std::uniform_int_distribution<int> coin(0, 9);
  int zip = 1 + static_cast<int>(rng() % 50);
  while (static_cast<int>(out.size()) < count) {
    zip += 1 + static_cast<int>(rng() % 40);
    if (zip > lumetra::kZ9MaxZip) break;
    const int n = 1 + static_cast<int>(rng() % 40);
    int add_on = static_cast<int>(rng() % 30);
    for (int i = 0; i < n && add_on <= lumetra::kZ9MaxAddOn; ++i) {
      Z9Record r;
      r.zip = zip;
      r.add_on = add_on;
      r.record_type = "SHPRFG"[rng() % 6];
      r.longitude = 600000 + static_cast<int>(rng() % 1310700);
      r.latitude = static_cast<int>(rng() % 900001);
      if (!out.empty() && coin(rng) < 2) {
        r.longitude = out.back().longitude;
        r.latitude = out.back().latitude;
      }
      r.value1 = static_cast<int>(rng()) / 3;
      r.value2 = static_cast<int>(rng() % 1000) - 500;
      r.value3 = static_cast<int>(rng() % 7);
      out.push_back(r);
      if (coin(rng) != 0) add_on += 1 + static_cast<int>(rng() % 9);  // else the key repeats
    }
  }
  out.resize(static_cast<std::size_t>(count));
  return out;
}

bool Write(QError& err, const std::string& path, const std::vector<Z9Record>& records,
           const Z9WriterOptions& options = {}) {
  Z9Writer writer(err, path.c_str(), options);
  for (const Z9Record& r : records) {
    if (!writer.Add(r)) return false;
  }
  return writer.Finish();
}

// Every record from the first, by Seek(0) and Next.
std::vector<Z9Record> ScanAll(Z9Reader& z9) {
  std::vector<Z9Record> out;
  for (auto s = z9.Seek(0); s == Z9Reader::Step::kRecord; s = z9.Next()) out.push_back(z9.record());
  return out;
}

class Z9File : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.File(name); }
  lumetra_test::ScopedTempDir dir_;
  QError err_;
};

struct RoundTripCase {
  int records;
  std::uint16_t fanout;
  std::uint32_t max_block_records;
  std::uint8_t version;
};

TEST_F(Z9File, RoundTripsAcrossBlockAndKeyLevelBoundaries) {
  const RoundTripCase cases[] = {
      {0, 510, 4096, 3},    {1, 510, 4096, 3}, {600, 6, 3, 3},  // 200 blocks, all levels split
      {3000, 510, 4096, 3}, {2500, 3, 100, 2}, {20000, 510, 4096, 3},
  };
  for (const RoundTripCase& c : cases) {
    const std::uint32_t seed = 1000 + static_cast<std::uint32_t>(c.records) + c.fanout;
    SCOPED_TRACE(testing::Message()
                 << "records " << c.records << " fanout " << c.fanout << " seed " << seed);
    std::mt19937 rng(seed);
    std::vector<Z9Record> records = RandomRecords(rng, c.records);
    if (c.version < 3) {
      for (Z9Record& r : records) r.value3 = 0;
    }
    const std::string path = Path("round.z9");
    ASSERT_TRUE(Write(err_, path, records, {c.version, c.fanout, c.max_block_records}))
        << err_.detail();
    Z9Reader z9(err_, path.c_str());
    ASSERT_TRUE(z9.ready()) << err_.detail();
    EXPECT_EQ(ScanAll(z9), records);
    // Seeks land on the first record at or after the key.
    std::vector<std::uint32_t> keys;
    for (const Z9Record& r : records) keys.push_back(r.NineDigitKey());
    for (int i = 0; i < 300; ++i) {
      std::uint32_t key = static_cast<std::uint32_t>(rng() % 1000000000u);
      if (!keys.empty() && i % 2 == 0) key = keys[rng() % keys.size()] + (rng() % 3) - 1;
      const auto at = std::lower_bound(keys.begin(), keys.end(), key);
      const Z9Reader::Step step = z9.Seek(key);
      if (at == keys.end()) {
        EXPECT_EQ(step, Z9Reader::Step::kEnd) << key;
        continue;
      }
      ASSERT_EQ(step, Z9Reader::Step::kRecord) << key << ": " << err_.detail();
      EXPECT_EQ(z9.record(), records[static_cast<std::size_t>(at - keys.begin())]) << key;
    }
    // One area entry per ZIP Code, in order, covering its centroids within
    // one 2000-unit cell.
    std::map<std::uint32_t, lumetra::Rect> boxes;
    for (const Z9Record& r : records) {
      auto [it, fresh] = boxes.emplace(r.zip, lumetra::Rect{r.X(), r.Y(), r.X(), r.Y()});
      if (!fresh) it->second.Include(lumetra::Rect{r.X(), r.Y(), r.X(), r.Y()});
    }
    Z9AreaIndex areas(err_, path.c_str());
    ASSERT_TRUE(areas.ready()) << err_.detail();
    lumetra::Z9AreaEntry entry;
    for (const auto& [zip, box] : boxes) {
      ASSERT_EQ(areas.Next(&entry), Z9AreaIndex::Step::kEntry);
      EXPECT_EQ(entry.zip, zip);
      const lumetra::Rect a = entry.Rectangle();
      EXPECT_TRUE(a.minx <= box.minx && a.miny <= box.miny && a.maxx >= box.maxx &&
                  a.maxy >= box.maxy && box.minx - a.minx < 2000 && box.miny - a.miny < 2000 &&
                  a.maxx - box.maxx < 2000 && a.maxy - box.maxy < 2000)
          << zip;
    }
    EXPECT_EQ(areas.Next(&entry), Z9AreaIndex::Step::kEnd);
  }
}

class Z9Damage : public Z9File {
 protected:
  void SetUp() override {
    std::mt19937 rng(7);
    records_ = RandomRecords(rng, 3000);
    ASSERT_TRUE(Write(err_, Path("good.z9"), records_, {3, 4, 50}));  // 60 blocks, 3 levels
    good_ = ReadBytes(Path("good.z9"));
    header_.DecodeFrom(good_.data(), "", nullptr);
  }
  // Writes `bytes` as bad.z9 and opens it: whether the reader and the area
  // index both opened.
  bool Open(const Bytes& bytes) {
    WriteBytes(Path("bad.z9"), bytes);
    err_.Clear();
    Z9Reader z9(err_, Path("bad.z9").c_str());
    return z9.ready() && Z9AreaIndex(err_, Path("bad.z9").c_str()).ready();
  }
  Bytes WithHeader(const lumetra::Z9Header& header) const {
    Bytes b = good_;
    header.EncodeTo(b.data());
    return b;
  }
  void ExpectError(int code, const std::string& detail) {
    EXPECT_EQ(err_.code(), code);
    EXPECT_EQ(err_.detail(), detail);
  }

  std::vector<Z9Record> records_;
  Bytes good_;
  lumetra::Z9Header header_;
};

TEST_F(Z9Damage, OpeningFailuresRecordTheirErrors) {
  const std::string bad = Path("bad.z9");
  Bytes wrong_signature = good_;
  wrong_signature[264] ^= 1;
  EXPECT_FALSE(Open(wrong_signature));
  ExpectError(102, "ZIP+4 centroid file");

  lumetra::Z9Header no_areas = header_;
  no_areas.area_index_field &= ~lumetra::kZ9AreaIndexPresent;
  EXPECT_FALSE(Open(WithHeader(no_areas)));
  ExpectError(100, "Z9 file is missing ZIP Code area index.");

  Bytes bad_magic = good_;
  bad_magic[header_.AreaIndexOffset()] ^= 0x10;
  EXPECT_FALSE(Open(bad_magic));
  ExpectError(100, "Z9 file has invalid ZIP Code area index.");

  lumetra::Z9Header far_areas = header_;
  far_areas.area_index_field += 1000;
  EXPECT_FALSE(Open(WithHeader(far_areas)));
  ExpectError(100, "Z9 file has invalid ZIP Code area index.");

  lumetra::Z9Header future = header_;
  future.version = 4;
  EXPECT_FALSE(Open(WithHeader(future)));
  ExpectError(100, "ZIP+4 centroid file " + bad + " has a file version this library cannot read.");

  Bytes flipped = good_;
  flipped[300] ^= 4;
  EXPECT_FALSE(Open(flipped));
  ExpectError(111, "ZIP+4 centroid file " + bad + ": block 0 fails its checksum.");

  // A file cut anywhere before its area index loses the top key level.
  for (std::size_t size : {std::size_t{0}, std::size_t{100}, std::size_t{2048}, good_.size() / 2,
                           std::size_t{header_.level1} * 2048 + 2047}) {
    EXPECT_FALSE(Open(Bytes(good_.begin(), good_.begin() + static_cast<std::ptrdiff_t>(size))))
        << size;
    ExpectError(PIP_ERR_SHORT_READ, "Seek: ZIP+4 centroid file.");
  }
  EXPECT_FALSE(Open(Bytes(good_.begin(), good_.begin() + header_.AreaIndexOffset() + 6)));
  ExpectError(100, "Z9 file has invalid ZIP Code area index.");

  Z9Reader missing(err_, Path("missing.z9").c_str());
  EXPECT_FALSE(missing.ready());
  EXPECT_EQ(missing.Seek(0), Z9Reader::Step::kFailed);
  ExpectError(100, "ZIP+4 centroid file not initialized.");
}

TEST_F(Z9File, WriterRefusesBadRecordsAndLeavesNoFile) {
  Z9Record good;
  good.zip = 60601;
  good.record_type = 'S';
  good.longitude = 876298;
  good.latitude = 418781;
  struct {
    Z9Record record;
    const char* detail;
  } rows[] = {
      {[&] {
         auto r = good;
         r.zip = 0;
         return r;
       }(),
       "ZIP Code not in 1..99999"},
      {[&] {
         auto r = good;
         r.add_on = 10000;
         return r;
       }(),
       "add-on not in 0..9999"},
      {[&] {
         auto r = good;
         r.record_type = 0;
         return r;
       }(),
       "record type not a character code 1..255"},
      {[&] {
         auto r = good;
         r.longitude = -876298;
         return r;
       }(),
       "longitude not between 60 and 191.07 degrees west"},
      {[&] {
         auto r = good;
         r.latitude = -10;
         return r;
       }(),
       "latitude not between 0 and 90 degrees north"},
      {[&] {
         auto r = good;
         r.zip = 60600;
         return r;
       }(),
       "keys must rise, but the previous record's is higher"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.detail);
    const std::string path = Path("refused.z9");
    EXPECT_FALSE(Write(err_, path, {good, good, row.record}));
    EXPECT_EQ(err_.code(), PIP_ERR_INVALID_DATA);
    EXPECT_NE(std::string(err_.detail()).find(row.detail), std::string::npos) << err_.detail();
    EXPECT_TRUE(lumetra_test::ListDir(dir_.path()).empty());
  }
  // Three key levels of two keys index eight data blocks, no more.
  std::vector<Z9Record> nine(9, good);
  EXPECT_FALSE(Write(err_, Path("full.z9"), nine, {3, 2, 1}));
  EXPECT_EQ(err_.code(), PIP_ERR_TABLE_OVERFLOW);
  EXPECT_TRUE(lumetra_test::ListDir(dir_.path()).empty());
}

#ifdef LUMETRA_FAULT_INJECTION
// Each hooked call of a write (blocks, key levels, area index, block 0)
// failing in turn: the write fails with its error recorded and leaves no file.
TEST_F(Z9File, EveryFailedCallFailsTheWriteAndLeavesNoFile) {
  std::mt19937 rng(77);
  const std::vector<Z9Record> records = RandomRecords(rng, 600);
  const Z9WriterOptions options{3, 6, 3};
  lumetra::ArmFaultsForTest(lumetra::kAllFaultSites, 0);
  ASSERT_TRUE(Write(err_, Path("f.z9"), records, options)) << err_.detail();
  const std::uint64_t calls = lumetra::DisarmFaultsForTest();
  ASSERT_EQ(std::remove(Path("f.z9").c_str()), 0);
  ASSERT_GT(calls, 100u);
  for (std::uint64_t n = 1; n <= calls; ++n) {
    err_.Clear();
    lumetra::ArmFaultsForTest(lumetra::kAllFaultSites, n);
    const bool ok = Write(err_, Path("f.z9"), records, options);
    lumetra::DisarmFaultsForTest();
    EXPECT_FALSE(ok) << "call " << n;
    EXPECT_NE(err_.code(), 0) << "call " << n;
    EXPECT_TRUE(lumetra_test::ListDir(dir_.path()).empty()) << "call " << n;
  }
}
#endif

}  // namespace
