// The polygon search: each answer is the overlap checker's result for the
// caller's polygon (A) and the region (B), regions that are apart (2) are
// skipped, lines and points never answer; percentages; the Ex forms; the
// caller's arguments.
#include "search/polygon_overlap_search.h"

#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "clip/overlap_check.h"
#include "frame/error.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"
#include "support/object_file_codec.h"
#include "support/test_files.h"

namespace {

using test_objects::Box;
using test_objects::Ring;
using test_objects::TestObject;

struct Answer {
  int code = 0;
  double percent = 0;
  bool operator==(const Answer& o) const { return code == o.code && percent == o.percent; }
};
using Answers = std::map<std::string, Answer>;

std::ostream& operator<<(std::ostream& os, const Answer& a) {
  return os << "{" << a.code << ", " << a.percent << "}";
}

// A caller's polygon in the exported form.
struct Polygon {
  std::vector<int> xy;
  std::vector<int> counts;
  void Add(const Ring& ring) {
    counts.push_back(static_cast<int>(ring.size()));
    for (const auto& p : ring) {
      xy.push_back(p.x);
      xy.push_back(p.y);
    }
  }
};

Polygon PolygonOf(std::initializer_list<Ring> rings) {
  Polygon p;
  for (const Ring& r : rings) p.Add(r);
  return p;
}

// What the overlap checker says of A = polygon and B = object, computed
// independently of the search.
Answer Direct(const Polygon& a, const TestObject& b, int resolution) {
  pipError err;
  lumetra::OverlapCheck check(err);
  std::size_t at = 0;
  for (int n : a.counts) {
    check.AddPolygon(lumetra::OverlapRegion::kA, n, a.xy.data() + at);
    at += 2 * static_cast<std::size_t>(n);
  }
  for (const Ring& r : b.rings) {
    std::vector<int> xy;
    for (const auto& p : r) {
      xy.push_back(p.x);
      xy.push_back(p.y);
    }
    check.AddPolygon(lumetra::OverlapRegion::kB, static_cast<int>(r.size()), xy.data());
  }
  Answer answer;
  answer.code = check.CheckEx(resolution, &answer.percent);
  return answer;
}

class PolygonSearchTest : public test_objects::WrittenFilesTest {
 protected:
  PolygonSearch& Open(const std::vector<TestObject>& objects) {
    const std::string path = Write(objects, {}, "p");
    reader_ = std::make_unique<PolygonSearch>(err_, path.c_str(), 1);
    EXPECT_TRUE(reader_->ready()) << err_.detail();
    return *reader_;
  }

  // Every answer of a search with percentages, through FindFirstEx and
  // FindNextEx.
  Answers SearchEx(const Polygon& polygon, int resolution) {
    Answers answers;
    PolySearchPolygonOverlap search(*reader_, err_, polygon.xy.data(), polygon.counts.data(),
                                    static_cast<int>(polygon.counts.size()));
    char name[PIP_NAME_SIZE];
    double percent = -7;
    int r = search.FindFirstEx(name, sizeof name, resolution, &percent);
    for (int guard = 0; r > 0 && guard < 1000; ++guard) {
      EXPECT_GE(r, 3);
      EXPECT_LE(r, 6);
      EXPECT_EQ(answers.count(name), 0u) << name << " twice";
      answers[name] = Answer{r, percent};
      percent = -7;
      r = search.FindNextEx(name, sizeof name, resolution, &percent);
    }
    EXPECT_EQ(r, 0) << err_.detail();
    EXPECT_EQ(percent, -7) << "no percentage written without an answer";
    return answers;
  }

  // The codes of a search without percentages (FindFirst and FindNext).
  std::map<std::string, int> Search(const Polygon& polygon) {
    std::map<std::string, int> codes;
    PolySearchPolygonOverlap search(*reader_, err_, polygon.xy.data(), polygon.counts.data(),
                                    static_cast<int>(polygon.counts.size()));
    char name[PIP_NAME_SIZE];
    for (int r = search.FindFirst(name, sizeof name); r > 0;
         r = search.FindNext(name, sizeof name)) {
      codes[name] = r;
    }
    return codes;
  }

  pipError err_;
  std::unique_ptr<PolygonSearch> reader_;
};

std::vector<TestObject> Squares() {
  return {
      test_objects::Region("BIG", {Box(0, 0, 100, 100)}),
      test_objects::Region("HOLLOW", {Box(200, 0, 300, 100), Box(225, 25, 275, 75)}),
      test_objects::Region("SIDE", {Box(100, 0, 150, 50)}),
      test_objects::Region("BAR", {Box(400, 40, 500, 60)}),
      test_objects::Line("ROAD", {{{0, 50}, {500, 50}}}),
      test_objects::Point("WELL", 50, 50),
  };
}

TEST_F(PolygonSearchTest, MatchesTheCheckerOnRandomRegions) {
  const unsigned seed = 60221;
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> at(0, 2000);
  std::uniform_int_distribution<int> corners(3, 9);
  const auto star = [&](int cx, int cy) {
    return test_objects::Star(rng, cx, cy, corners(rng), 30, 300);
  };
  std::vector<TestObject> objects;
  for (int i = 0; i < 40; ++i) {
    objects.push_back(test_objects::Region("R" + std::to_string(i), {star(at(rng), at(rng))}));
  }
  Open(objects);
  int answered = 0;
  for (int q = 0; q < 60; ++q) {
    Polygon polygon;
    polygon.Add(star(at(rng), at(rng)));
    if (q % 4 == 0) polygon.Add(star(at(rng), at(rng)));
    Answers expected;
    for (const TestObject& o : objects) {
      const Answer a = Direct(polygon, o, 50);
      if (a.code != 2) expected[o.name] = a;
    }
    EXPECT_EQ(SearchEx(polygon, 50), expected) << "seed " << seed << " query " << q;
    answered += static_cast<int>(expected.size());
  }
  EXPECT_GT(answered, 30);
}

TEST_F(PolygonSearchTest, EmptyPolygonFindsNothingAndTheEndIsAnError) {
  Open(Squares());
  char name[PIP_NAME_SIZE];
  PolySearchPolygonOverlap empty(*reader_, err_, nullptr, nullptr, 0);
  EXPECT_EQ(empty.FindFirst(name, sizeof name), 0);
  const Polygon inside = PolygonOf({Box(10, 10, 20, 20)});
  PolySearchPolygonOverlap search(*reader_, err_, inside.xy.data(), inside.counts.data(), 1);
  ASSERT_EQ(search.FindFirst(name, sizeof name), 3);
  EXPECT_STREQ(name, "BIG");
  EXPECT_TRUE(search.has_current());
  EXPECT_EQ(search.FindNext(name, sizeof name), 0);
  EXPECT_EQ(search.FindNext(name, sizeof name), -1);
  EXPECT_EQ(err_.code(), 100);
  EXPECT_STREQ(err_.detail(), "Invalid Function call after pipFindFirst returned PIP_NOT_FOUND.\n");
}

TEST(PolygonSearchInput, Validation) {
  const int xy[] = {0, 0, 10, 0, 10, 10};
  const int three[] = {3};
  const int negative[] = {-1};
  const int zero[] = {0, 0};
  std::int64_t total = -1;
  EXPECT_TRUE(PolySearchPolygonOverlap::ValidInput(xy, three, 1, &total));
  EXPECT_EQ(total, 3);
  EXPECT_TRUE(PolySearchPolygonOverlap::ValidInput(nullptr, nullptr, 0, &total));
  EXPECT_TRUE(PolySearchPolygonOverlap::ValidInput(nullptr, zero, 2, &total));
  EXPECT_EQ(total, 0);
  EXPECT_FALSE(PolySearchPolygonOverlap::ValidInput(xy, three, -1, &total));
  EXPECT_FALSE(PolySearchPolygonOverlap::ValidInput(xy, nullptr, 1, &total));
  EXPECT_FALSE(PolySearchPolygonOverlap::ValidInput(nullptr, three, 1, &total));
  EXPECT_FALSE(PolySearchPolygonOverlap::ValidInput(xy, negative, 1, &total));
}

}  // namespace
