// ObjectFileBuild: creating, finishing and discarding object files, the
// indexes it writes (read back with QTree and rtSpatialIndex), the extension
// block, and the reader slot of the import handle.
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

#include "frame/error.h"
#include "frame/handle_table.h"
#include "import/import_limits.h"
#include "import/import_read.h"
#include "import/polygon_object.h"
#include "objfile/byte_order.h"
#include "objfile/extension_block.h"
#include "objfile/object_header.h"
#include "objfile/object_record.h"
#include "storage/qfile.h"
#include "storage/qtree.h"
#include "storage/rt_spatial_index.h"
#include "support/test_files.h"

namespace {

using lumetra::Rect;
using lumetra_test::FileExists;

pipObjectFileInfoStruct Info(int max_points, int max_parts, int coord_type, int flags) {
  pipObjectFileInfoStruct info;
  std::memset(&info, 0, sizeof info);
  info.maxPoints = max_points;
  info.maxParts = max_parts;
  info.coordType = coord_type;
  info.flags = flags;
  return info;
}

class BuildFixture : public ::testing::Test {
 protected:
  BuildFixture() : chdir_(dir_.path()) {}

  std::unique_ptr<ObjectFileBuild> Make(const std::string& file, int max_points = 100,
                                        int max_parts = 10, int flags = 0) {
    EXPECT_TRUE(lumetra::ImportLimits::CheckAndSet(err_, max_points, max_parts));
    return std::make_unique<ObjectFileBuild>(err_, dir_.File(file).c_str(),
                                             Info(max_points, max_parts, 1, flags));
  }
  std::string Path(const std::string& file) const { return dir_.File(file); }

  lumetra_test::ScopedTempDir dir_;
  lumetra_test::ScopedChdir chdir_;
  pipError err_;
};

TEST_F(BuildFixture, CreationReservesTheHeader) {
  auto build = Make("new.obj");
  ASSERT_TRUE(build->success());
  EXPECT_FALSE(build->finished());
  const auto bytes = lumetra_test::ReadBytes(Path("new.obj"));
  EXPECT_EQ(bytes.size(), 536u);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), 536);
  EXPECT_EQ(build->header().magic, lumetra::ObjectHeader::kMagicCurrent);
  EXPECT_EQ(build->header().flags, 0x0008);
  EXPECT_EQ(build->header().signature, lumetra::ObjectHeader::kDefaultSignature);
}

TEST_F(BuildFixture, DestroyingAnUnfinishedBuildDeletesItsFile) {
  auto build = Make("gone.obj");
  ASSERT_TRUE(build->success());
  QPolygonPoint point(*build, "p", "", 0, 1, 2);
  ASSERT_TRUE(point.Write());
  EXPECT_TRUE(FileExists(Path("gone.obj")));
  build.reset();
  EXPECT_FALSE(FileExists(Path("gone.obj")));
}

TEST_F(BuildFixture, FailedCreationLeavesWhatExistedAlone) {
  ASSERT_EQ(mkdir(Path("taken").c_str(), 0700), 0);
  auto build = Make("taken");
  EXPECT_FALSE(build->success());
  EXPECT_GT(err_.code(), 0);
  build.reset();
  struct stat st;
  EXPECT_EQ(stat(Path("taken").c_str(), &st), 0);  // the directory is still there
  EXPECT_TRUE(S_ISDIR(st.st_mode));

  auto missing = Make("no/such/dir.obj");
  EXPECT_FALSE(missing->success());
  EXPECT_FALSE(missing->Finish());
  EXPECT_FALSE(missing->AddExtension(1, "a", "b", 0));
}

TEST_F(BuildFixture, ExtensionBlockIsStoredBehindTheHeader) {
  auto build = Make("ext.obj");
  ASSERT_TRUE(build->success());
  const std::time_t when = 1000000000;  // a fixed moment
  ASSERT_TRUE(build->AddExtension(0xABCD, "first", "second", when));
  EXPECT_FALSE(build->AddExtension(1, "again", "", when));  // only one block
  QPolygonPoint point(*build, "p", "", 0, 1, 2);
  ASSERT_TRUE(point.Write());
  ASSERT_TRUE(build->Finish());
  const auto bytes = lumetra_test::ReadBytes(Path("ext.obj"));
  lumetra::ExtensionBlock block;
  ASSERT_TRUE(block.DecodeFrom(bytes.data() + 536, bytes.size() - 536, "ext.obj", &err_));
  EXPECT_EQ(block, lumetra::ExtensionBlock::ForNewFile(0xABCD, "first", "second", when));
  std::string expected_time = std::ctime(&when);
  expected_time.pop_back();  // ctime's newline
  EXPECT_EQ(block.creation_time, expected_time);
  EXPECT_EQ(block.version, 12);
  EXPECT_EQ(bytes[860], 2);  // the point record follows the block
}

TEST_F(BuildFixture, ExtensionBlockMustPrecedeTheRecords) {
  auto build = Make("late.obj");
  QPolygonPoint point(*build, "p", "", 0, 1, 2);
  ASSERT_TRUE(point.Write());
  EXPECT_FALSE(build->AddExtension(1, "a", "b", 0));
  EXPECT_EQ(build->extension(), nullptr);
}

TEST_F(BuildFixture, FinishIsOnceAndEndsWriting) {
  auto build = Make("once.obj");
  ASSERT_TRUE(build->Finish());
  EXPECT_TRUE(build->finished());
  EXPECT_FALSE(build->Finish());
  QPolygonPoint point(*build, "p", "", 0, 1, 2);
  EXPECT_FALSE(point.Write());
  build.reset();
  EXPECT_TRUE(FileExists(Path("once.obj")));  // a finished file stays
}

// Builds a file of many point and region records with a fixed seed, then
// reads both indexes back: every name through the B+-tree, random query
// rectangles through the R-tree against a linear scan.
TEST_F(BuildFixture, IndexesFindEveryRecord) {
  const unsigned seed = 987654;
  SCOPED_TRACE(seed);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<std::int32_t> coord(-1000000, 1000000);
  auto build = Make("indexed.obj", 100, 4);
  ASSERT_TRUE(build->success());

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
      QPolygonRegion region(*build, name, "", 0);
      const std::int32_t xy[] = {x, y, x + 500, y, x + 500, y + 300};
      const std::int32_t counts[] = {3};
      ASSERT_TRUE(region.AddParts(xy, counts, 1));
      ASSERT_TRUE(region.Write());
      written.push_back({name, region.rect()});
    } else {
      QPolygonPoint point(*build, name, "", 0, x, y);
      ASSERT_TRUE(point.Write());
      written.push_back({name, Rect{x, y, x, y}});
    }
  }
  // Two records share a name: the index keeps both.
  QPolygonPoint twin(*build, "N0001", "", 0, 5, 5);  // equal to "n0001" ignoring case
  ASSERT_TRUE(twin.Write());
  written.push_back({"N0001", Rect{5, 5, 5, 5}});
  ASSERT_TRUE(build->Finish());

  const auto bytes = lumetra_test::ReadBytes(Path("indexed.obj"));
  lumetra::ObjectHeader header;
  ASSERT_TRUE(header.DecodeFrom(bytes.data(), bytes.size(), "indexed.obj", &err_));
  EXPECT_EQ(header.RecordCount(), written.size());
  EXPECT_FALSE(header.IsLargeFile());
  EXPECT_EQ(header.NameIndexRoot() % 1024, 0u);
  EXPECT_EQ(header.SpatialIndexRoot() % 32768, 0u);

  // Record offsets in file order, to map index values back to objects.
  std::map<std::uint64_t, std::size_t> record_at;
  std::uint64_t at = 536;
  for (std::size_t i = 0; i < written.size(); ++i) {
    record_at[at] = i;
    at += lumetra::GetU32(bytes.data() + at + 4);
  }

  Qfile file(err_, Path("indexed.obj").c_str(), Qfile::kModeRead);
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

TEST_F(BuildFixture, ReadThroughTheImportHandle) {
  auto owned = Make("read.obj");
  ASSERT_TRUE(owned->success());
  ObjectFileBuild* build = owned.get();
  const int handle = pipHandleTable::Instance().RegisterHandle(owned.release(), PIP_HANDLE_IMPORT);
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
  const auto bytes = lumetra_test::ReadBytes(Path("read.obj"));
  lumetra::ObjectHeader header;
  ASSERT_TRUE(header.DecodeFrom(bytes.data(), bytes.size(), "read.obj", &err_));
  EXPECT_EQ(header.region_records, 2u);
}

TEST_F(BuildFixture, InsertTakesTheRecordFields) {
  auto build = Make("insert.obj", 10, 2);
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
  ASSERT_TRUE(build->Insert(info, xy, counts, 1));
  ASSERT_TRUE(build->Finish());
  const auto bytes = lumetra_test::ReadBytes(Path("insert.obj"));
  lumetra::ObjectHeader header;
  ASSERT_TRUE(header.DecodeFrom(bytes.data(), bytes.size(), "insert.obj", &err_));
  lumetra::PolyRecord record;
  ASSERT_TRUE(record.DecodeFrom(bytes.data() + 536, bytes.size() - 536,
                                lumetra::RecordContext::ForFile(header, "insert.obj"), &err_));
  EXPECT_EQ(record.name, std::string(127, 'n'));
  EXPECT_EQ(record.second_name, "two");
  EXPECT_EQ(record.id, 2);
  EXPECT_EQ(record.pen_width, 0xFF);
  EXPECT_EQ(record.pen_pattern, 3);
  EXPECT_EQ(record.pen_colour, 1u);
  EXPECT_EQ(record.brush_foreground, 0u);  // lines carry no brush
}

}  // namespace
