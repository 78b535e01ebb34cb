// The radial point search as callers see it: the handle's life and error
// records, name buffers, the small cases (empty tree, fewer points than
// asked), the geographic scale, and loading the point objects of an object
// file.
#include "support/capi_fixture.h"

namespace {

using capi_test::CapiTest;
using capi_test::Point;
using capi_test::SampleShapes;
using Answers = std::vector<std::tuple<std::string, int, int>>;  // name, x, y in order

// Radial handles opened through Open are ended by the fixture.
class RadialCapi : public CapiTest {
 protected:
  void TearDown() override {
    for (int h : searches_) EXPECT_EQ(pipRadTerm(h), 1);
    CapiTest::TearDown();
  }
  int OpenSearch(int mode) {
    int h = -7;
    EXPECT_EQ(pipRadInit(lib_, mode, &h), 1);
    searches_.push_back(h);
    return h;
  }
  // Every answer of a search whose first call answered `r` into name_.
  Answers Drain(int h, int r) {
    Answers out;
    for (; r == 1; r = pipRadFindNext(h, &x_, &y_, name_, sizeof name_))
      out.emplace_back(name_, x_, y_);
    EXPECT_EQ(r, 0) << Detail();
    return out;
  }
  Answers Rect(int h, int x1, int y1, int x2, int y2) {
    return Drain(h, pipRadFindFirstInRect(h, x1, y1, x2, y2, &x_, &y_, name_, sizeof name_));
  }
  std::vector<int> searches_;
  char name_[PIP_NAME_SIZE] = "";
  int x_ = 0, y_ = 0;
};

TEST_F(RadialCapi, HandleLifeErrorRecordsAndNameBuffers) {
  int h = -7;
  EXPECT_EQ(pipRadInit(lib_, 0, nullptr), -1);
  EXPECT_EQ(pipRadInit(0, 0, &h), -1);
  EXPECT_EQ(h, 0);
  h = OpenSearch(PIP_RAD_PLANAR);
  EXPECT_EQ(pipRadTerm(lib_), -1);  // a library handle is not a radial search
  EXPECT_EQ(pipRadInsertPoint(lib_, 1, 1, "x"), -1);

  EXPECT_EQ(pipRadFindNext(h, &x_, &y_, name_, sizeof name_), -1);
  ExpectError(PIP_ERR_GENERAL, "Attempt to call pipRadFindNext before pipRadFindFirst...");
  EXPECT_EQ(pipRadFindFirstInRect(h, 0, 0, 9, 9, &x_, &y_, name_, sizeof name_), 0);  // empty
  EXPECT_EQ(pipRadFindFirstInRadius(h, 0, 0, 9, &x_, &y_, name_, sizeof name_), 0);
  EXPECT_EQ(pipRadFindFirstNearest(h, 0, 0, 1, &x_, &y_, name_, sizeof name_), 0);

  ASSERT_EQ(pipRadInsertPoint(h, 10, 10, "Chicago"), 1);
  ASSERT_EQ(pipRadInsertPoint(h, 10, 10, nullptr), 1);  // same place, no name
  EXPECT_EQ(Drain(h, pipRadFindFirstNearest(h, 0, 0, 3, &x_, &y_, name_, sizeof name_)),
            (Answers{{"Chicago", 10, 10}, {"", 10, 10}}));
  EXPECT_EQ(pipRadFindNext(h, &x_, &y_, name_, sizeof name_), -1);  // the search is over
  EXPECT_EQ(pipRadFindFirstNearest(h, 0, 0, 0, &x_, &y_, name_, sizeof name_), -1);
  EXPECT_EQ(Code(), PIP_ERR_INVALID_DATA);

  char small[4] = "zzz";
  EXPECT_EQ(pipRadFindFirstInRect(h, 10, 10, 10, 10, nullptr, nullptr, small, 4), 1);
  EXPECT_STREQ(small, "Chi");
  EXPECT_EQ(pipRadFindNext(h, nullptr, nullptr, small, 0), 1);  // length 0: nothing written
  EXPECT_STREQ(small, "Chi");
  EXPECT_EQ(pipRadFindFirstInRect(h, 10, 10, 10, 10, &x_, &y_, small, -1), -1);

  // A name and its terminator must fit one 32768-byte arena block.
  const std::string longest(32766, 'n');
  EXPECT_EQ(pipRadInsertPoint(h, 5, 5, longest.c_str()), 1);
  EXPECT_EQ(pipRadInsertPoint(h, 6, 6, (longest + "n").c_str()), -1);
  ExpectError(PIP_ERR_NO_MEMORY, "Unable to allocate memory for search tree.");
  EXPECT_EQ(Rect(h, 5, 5, 6, 6), (Answers{{longest.substr(0, PIP_NAME_SIZE - 1), 5, 5}}));
}

TEST_F(RadialCapi, LoadsThePointObjectsOfAnObjectFileInNameIndexOrder) {
  std::vector<capi_test::TestObject> shapes = SampleShapes();
  for (int i = 0; i < 40; ++i) shapes.push_back(Point("P" + std::to_string(i * 37 % 40), i, -i));
  Build(Path("p.obj"), shapes);
  Build(Path("regions.obj"), {SampleShapes()[0]});
  const int file = Open(Path("p.obj"));
  const int regions = Open(Path("regions.obj"));
  const int loaded = OpenSearch(PIP_RAD_PLANAR);
  const int by_hand = OpenSearch(PIP_RAD_PLANAR);

  // The same points inserted by hand in the order of a name walk.
  char name[PIP_NAME_SIZE];
  pipObjectInfoStruct info;
  for (int r = pipObjectFindFirstName(file, "*", name, sizeof name); r == 1;
       r = pipObjectFindNext(file, name, sizeof name)) {
    ASSERT_EQ(pipObjectGetInfo(file, &info), 1);
    if (info.type == PIP_OBJECT_POINT) {
      ASSERT_EQ(pipRadInsertPoint(by_hand, info.x, info.y, name), 1);
    }
  }
  ASSERT_EQ(pipObjectFindFirstName(file, "*", name, sizeof name), 1);
  ASSERT_EQ(pipRadLoadPoints(loaded, file), 1) << Detail();
  EXPECT_EQ(pipObjectFindNext(file, name, sizeof name), -1);  // the name walk was ended

  const Answers all = Rect(loaded, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  EXPECT_EQ(all.size(), 42u);
  EXPECT_EQ(all, Rect(by_hand, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX));
  EXPECT_EQ(Rect(loaded, 250, 50, 260, 50), (Answers{{"springwell", 260, 50}, {"WELL", 250, 50}}));

  EXPECT_EQ(pipRadLoadPoints(loaded, regions), -1);
  std::string detail;
  EXPECT_EQ(Code(&detail), PIP_ERR_GENERAL);
  EXPECT_NE(detail.find("holds no point objects"), std::string::npos) << detail;
  EXPECT_EQ(pipRadLoadPoints(loaded, loaded), -1);  // not an object-file handle
  EXPECT_EQ(pipRadLoadPoints(file, file), -1);
}

}  // namespace
