// ObjectFileBuild: creating, finishing and discarding object files, the
// indexes it writes (read back with QTree and rtSpatialIndex), the extension
// block, the insert path and the reader slot of the import handle.
#include "import/object_file_build.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "frame/handle_table.h"
#include "import/polygon_object.h"
#include "objfile/byte_order.h"
#include "storage/qfile.h"
#include "storage/qtree.h"
#include "storage/rt_spatial_index.h"
#include "support/io_object_file.h"

namespace {

using lumetra::Rect;
using lumetra_test::BuildInfo;
using lumetra_test::FileExists;

class BuildTest : public lumetra_test::ObjectFileTest {};

TEST_F(BuildTest, CreationReservesTheHeader) {
  MakeBuild(100, 10);
  EXPECT_FALSE(build_->finished());
  const auto bytes = lumetra_test::ReadBytes(Path("out.obj"));
  EXPECT_EQ(bytes.size(), 536u);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), 536);
  EXPECT_EQ(build_->header().magic, lumetra::ObjectHeader::kMagicCurrent);
  EXPECT_EQ(build_->header().flags, 0x0008);
  EXPECT_EQ(build_->header().signature, lumetra::ObjectHeader::kDefaultSignature);
}

TEST_F(BuildTest, OnlyAFinishedFileOutlivesItsBuild) {
  MakeBuild(100, 10);
  QPolygonPoint unfinished(*build_, "p", "", 0, 1, 2);
  ASSERT_TRUE(unfinished.Write());
  EXPECT_TRUE(FileExists(Path("out.obj")));
  build_.reset();
  EXPECT_FALSE(FileExists(Path("out.obj")));

  MakeBuild(100, 10);
  ASSERT_TRUE(build_->Finish());
  EXPECT_TRUE(build_->finished());
  EXPECT_FALSE(build_->Finish());  // once
  QPolygonPoint late(*build_, "p", "", 0, 1, 2);
  EXPECT_FALSE(late.Write());  // writing has ended
  build_.reset();
  EXPECT_TRUE(FileExists(Path("out.obj")));
}

TEST_F(BuildTest, FailedCreationLeavesWhatExistedAlone) {
  ASSERT_EQ(mkdir(Path("taken").c_str(), 0700), 0);
  auto build = std::make_unique<ObjectFileBuild>(err_, Path("taken").c_str(), BuildInfo(100, 10));
  EXPECT_FALSE(build->success());
  EXPECT_GT(err_.code(), 0);
  build.reset();
  struct stat st;
  EXPECT_EQ(stat(Path("taken").c_str(), &st), 0);  // the directory is still there
  EXPECT_TRUE(S_ISDIR(st.st_mode));

  ObjectFileBuild missing(err_, Path("no/such/dir.obj").c_str(), BuildInfo(100, 10));
  EXPECT_FALSE(missing.success());
  EXPECT_FALSE(missing.Finish());
  EXPECT_FALSE(missing.AddExtension(1, "a", "b", 0));
}

TEST_F(BuildTest, OneExtensionBlockIsStoredBehindTheHeaderBeforeAnyRecord) {
  MakeBuild(100, 10);
  const std::time_t when = 1000000000;  // a fixed moment
  ASSERT_TRUE(build_->AddExtension(0xABCD, "first", "second", when));
  EXPECT_FALSE(build_->AddExtension(1, "again", "", when));  // only one block
  QPolygonPoint point(*build_, "p", "", 0, 1, 2);
  ASSERT_TRUE(point.Write());
  const auto stored = Finish();
  lumetra::ExtensionBlock block;
  ASSERT_TRUE(
      block.DecodeFrom(file_.bytes.data() + 536, file_.bytes.size() - 536, "out.obj", &err_));
  EXPECT_EQ(block, lumetra::ExtensionBlock::ForNewFile(0xABCD, "first", "second", when));
  std::string expected_time = std::ctime(&when);
  expected_time.pop_back();  // ctime's newline
  EXPECT_EQ(block.creation_time, expected_time);
  EXPECT_EQ(block.version, 12);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].offset, 860u);  // the point record follows the block

  MakeBuild(100, 10);
  QPolygonPoint first(*build_, "p", "", 0, 1, 2);
  ASSERT_TRUE(first.Write());
  EXPECT_FALSE(build_->AddExtension(1, "a", "b", 0));
  EXPECT_EQ(build_->extension(), nullptr);
}

// Builds a file of many point and region records with a fixed seed, then
// reads both indexes back: every name through the B+-tree, random query
// rectangles through the R-tree against a linear scan.
TEST_F(BuildTest, IndexesFindEveryRecord) {
  const unsigned seed = 987654;
  std::printf("IndexesFindEveryRecord seed %u\n", seed);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<std::int32_t> coord(-1000000, 1000000);
  MakeBuild(100, 4);
  struct Written {
    std::string name;
    Rect rect;
  };
  std::vector<Written> written;
  for (int i = 0; i < 1500; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "n%04d", (i * 7919) % 1500);  // out of order
    const std::int32_t x = coord(rng);
    const std::int32_t y = coord(rng);
    if (i % 3 == 0) {
      QPolygonRegion region(*build_, name, "", 0);
      const std::int32_t xy[] = {x, y, x + 500, y, x + 500, y + 300};
      const std::int32_t counts[] = {3};
      ASSERT_TRUE(region.AddParts(xy, counts, 1));
      ASSERT_TRUE(region.Write());
      written.push_back({name, region.rect()});
    } else {
      QPolygonPoint point(*build_, name, "", 0, x, y);
      ASSERT_TRUE(point.Write());
      written.push_back({name, Rect{x, y, x, y}});
    }
  }
  // Two records share a name: the index keeps both.
  QPolygonPoint twin(*build_, "N0001", "", 0, 5, 5);  // equal to "n0001" ignoring case
  ASSERT_TRUE(twin.Write());
  written.push_back({"N0001", Rect{5, 5, 5, 5}});
  const auto stored = Finish();
  const lumetra::ObjectHeader& header = file_.header;
  ASSERT_EQ(stored.size(), written.size());
  EXPECT_FALSE(header.IsLargeFile());
  EXPECT_EQ(header.NameIndexRoot() % 1024, 0u);
  EXPECT_EQ(header.SpatialIndexRoot() % 32768, 0u);
  std::map<std::uint64_t, std::size_t> record_at;  // index values back to objects
  for (std::size_t i = 0; i < stored.size(); ++i) record_at[stored[i].offset] = i;

  Qfile file(err_, Path("out.obj").c_str(), Qfile::kModeRead);
  ASSERT_TRUE(file.is_open());
  QTree tree("names", file, header.NameIndexRoot(), lumetra::QKeyCompare(), err_);
  ASSERT_TRUE(tree.ready());
  for (std::size_t i = 0; i < written.size(); ++i) {
    std::uint8_t key[8] = {};
    std::memcpy(key, written[i].name.data(), std::min<std::size_t>(8, written[i].name.size()));
    std::uint8_t value[8];
    ASSERT_TRUE(tree.Find(key, nullptr, value, QTree::kModeExact)) << written[i].name;
    std::set<std::size_t> found = {record_at.at(lumetra::GetU64(value))};
    while (tree.Next(nullptr, value)) found.insert(record_at.at(lumetra::GetU64(value)));
    EXPECT_EQ(found.count(i), 1u) << written[i].name;
  }

  rtSpatialIndex rtree(err_, file, header.SpatialIndexRoot());
  ASSERT_TRUE(rtree.IsReady());
  EXPECT_EQ(rtree.height(), 1u);  // 1501 entries need two leaves
  auto it = rtree.CreateEnum();
  for (int q = 0; q < 50; ++q) {
    const std::int32_t x = coord(rng);
    const std::int32_t y = coord(rng);
    const Rect query{x, y, x + 200000, y + 100000};
    std::set<std::size_t> expected;
    for (std::size_t i = 0; i < written.size(); ++i) {
      if (written[i].rect.Meets(query)) expected.insert(i);
    }
    std::set<std::size_t> found;
    std::uint64_t offset = 0;
    for (bool more = it->First(query, &offset); more; more = it->Next(&offset)) {
      found.insert(record_at.at(offset));
    }
    EXPECT_EQ(found, expected) << "query " << q;
  }
}

// A reader that delivers scripted results, keeps a region pending between
// calls and counts its own destruction.
class ScriptedRead : public ImportRead {
 public:
  ScriptedRead(ObjectFileBuild& build, std::vector<int> results, int* destroyed)
      : ImportRead(build), results_(std::move(results)), destroyed_(destroyed) {}
  ~ScriptedRead() override { ++*destroyed_; }

  bool ReadObject() override {
    if (!WritePending()) return false;
    if (next_ >= results_.size()) return false;
    const int result = results_[next_++];
    set_result(result);
    if (result == kResultObject) {
      CountObject();
      const std::string name = "object-number-" + std::to_string(objects_read());
      set_name(name.c_str());
      auto region = std::make_unique<QPolygonRegion>(build(), name.c_str(), "", 0);
      region->AddPoint(objects_read(), 0);
      region->AddPoint(objects_read(), 10);
      region->AddPoint(objects_read() + 10, 10);
      SetPending(std::move(region));
    }
    return true;
  }
  int PercentDone() const override { return 10 * static_cast<int>(next_); }
  std::int32_t CurrentLine() const override { return 100 + static_cast<std::int32_t>(next_); }

 private:
  std::vector<int> results_;
  std::size_t next_ = 0;
  int* destroyed_;
};

TEST_F(BuildTest, ReadThroughTheImportHandle) {
  MakeBuild(100, 10);
  ObjectFileBuild* build = build_.get();
  const int handle = pipHandleTable::Instance().RegisterHandle(build_.release(), PIP_HANDLE_IMPORT);
  ASSERT_GT(handle, 0);

  int destroyed = 0;
  build->SetReader(
      std::make_unique<ScriptedRead>(*build, std::vector<int>{1, 2, 1, 0}, &destroyed));
  char name[8] = "junk";
  int percent = -1;
  int line = -1;
  EXPECT_EQ(pipImportRead(handle, name, sizeof name, &percent, &line), 1);
  EXPECT_STREQ(name, "object-");  // cut to the buffer, terminated
  EXPECT_EQ(percent, 10);
  EXPECT_EQ(line, 101);
  EXPECT_EQ(pipImportRead(handle, name, sizeof name, &percent, &line), 2);
  EXPECT_EQ(pipImportRead(handle, nullptr, 0, nullptr, nullptr), 1);
  EXPECT_EQ(pipImportRead(handle, name, sizeof name, &percent, &line), 0);
  EXPECT_EQ(percent, 40);
  EXPECT_EQ(pipImportRead(handle, name, sizeof name, &percent, &line), -1);  // script used up
  EXPECT_STREQ(name, "");
  EXPECT_EQ(build->records_written(), 2);

  // A new reader replaces the old one; closing drops it and its pending
  // object unwritten.
  build->SetReader(std::make_unique<ScriptedRead>(*build, std::vector<int>{1}, &destroyed));
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(pipImportRead(handle, name, sizeof name, &percent, &line), 1);
  EXPECT_EQ(pipImportClose(handle), 1);
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(build->records_written(), 2);
  EXPECT_EQ(pipImportRead(handle, name, sizeof name, &percent, &line), -1);

  // Ending the handle with a reader still holding a pending object.
  build->SetReader(std::make_unique<ScriptedRead>(*build, std::vector<int>{1}, &destroyed));
  EXPECT_EQ(pipImportRead(handle, name, sizeof name, &percent, &line), 1);
  EXPECT_EQ(pipImportTerm(handle, 1), 1);
  EXPECT_EQ(destroyed, 3);
  EXPECT_EQ(lumetra_test::ReadObjectFile(Path("out.obj")).header.region_records, 2u);
}

TEST_F(BuildTest, InsertTakesTheRecordFields) {
  MakeBuild(10, 2);
  pipObjectInfoStruct info;
  std::memset(&info, 0, sizeof info);
  info.type = PIP_OBJECT_LINE;
  std::memset(info.name, 'n', sizeof info.name);  // unterminated: cut at 127
  std::strcpy(info.name2, "  two  ");
  info.id = 0x102;
  info.penWidth = 0x1FF;
  info.penPattern = 0x203;
  info.brushForeground = 9;
  const std::int32_t xy[] = {0, 0, 10, 10};
  const std::int32_t counts[] = {2};
  ASSERT_TRUE(build_->Insert(info, xy, counts, 1));
  const auto stored = Finish();
  // Low bytes of id and pen; colour the ordinal; lines carry no brush.
  EXPECT_EQ(lumetra_test::Describe(stored),
            std::vector<std::string>{"line \"" + std::string(127, 'n') +
                                     "\"/\"two\" id 2 colour 1 rings 2 (0,0) (10,10) label 5,5 "
                                     "pen 255,3"});
}

}  // namespace
