// ObjectFileBuild: the extension block and the reader slot of the import
// handle.
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
using lumetra_test::FileExists;

class BuildTest : public lumetra_test::ObjectFileTest {};

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

}  // namespace
