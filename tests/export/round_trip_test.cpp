// Object file -> BNA / MIF / shapefile -> object file: the objects read
// back through our own readers are the objects exported, up to what each
// format cannot carry:
//  - BNA: no second name, no pen, brush or symbol, no label point; every
//    part of a line is a record of its own.  Coordinates are exact (the BNA
//    reader converts the six decimals of the text without rounding).
//  - MIF: every part of a line is a PLINE of its own; names, pens, brushes,
//    symbols and label points survive.  The MIF reader truncates
//    text x 1,000,000 toward zero, so a coordinate may lose one unit.
//  - shapefile: one file per object type; no pen, brush, symbol or label
//    point; lines keep their parts.  The reader truncates x 1,000,000 of
//    the stored double, so a coordinate may lose one unit.
#include <gtest/gtest.h>
#include <lumetra/pip.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "export/export_test_files.h"
#include "support/test_files.h"

namespace {

using export_test::Box;
using export_test::Ring;
using export_test::TestObject;
using export_test::XY;

// Geographic objects of every type with negative coordinates, six-digit
// fractions, multi-ring regions and multi-part lines.
std::vector<TestObject> SampleObjects() {
  std::vector<TestObject> objects;
  TestObject lake = export_test::Region(
      "Lake Erie",
      {Ring{{-83123456, 41000001},
            {-78876543, 41000001},
            {-78876543, 42999999},
            {-83123456, 42999999}},
       Ring{{-82000000, 41500000}, {-81000000, 41500000}, {-81500000, 42100007}}},
      "LE");
  lake.at = {-80000000, 42000000};
  objects.push_back(lake);
  objects.push_back(export_test::Region("square", {Box(1000000, 1000000, 2000000, 2000000)}));
  TestObject route = export_test::Line(
      "Route 9", {Ring{{-87654321, 41123456}, {-87000001, 41999999}, {-86500000, 42}}}, "R9");
  route.at = {-87000000, 41500000};
  route.pen_width = 2;
  route.pen_pattern = 5;
  objects.push_back(route);
  objects.push_back(export_test::Line(
      "Trail", {Ring{{10, 20}, {30, 40}}, Ring{{-1000000, -2000000}, {-3, -4}, {5, 6}}}, "T"));
  // Coordinates whose text or double form reads back one unit smaller
  // through the MIF and shapefile readers.
  objects.push_back(export_test::Region(
      "Lossy", {Ring{{66494469, -33480177}, {-130821871, -33480177}, {65762998, -8066408}}}));
  TestObject tower = export_test::Point("Tower", -122419415, 37774929, "TW");
  tower.pen_pattern = 35;
  tower.pen_width = 12;
  objects.push_back(tower);
  objects.push_back(export_test::Point("well", 151209900, -33865143));
  return objects;
}

// What the MIF reader makes of a coordinate written with "%11.6f".
std::int32_t MifReadBack(std::int32_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "%11.6f", static_cast<double>(v) / 1000000.0);
  return static_cast<std::int32_t>(std::trunc(std::strtod(text, nullptr) * 1000000.0));
}

// What the shapefile reader makes of a coordinate stored as v / 1e6.
std::int32_t ShpReadBack(std::int32_t v) {
  return static_cast<std::int32_t>(std::trunc(static_cast<double>(v) / 1000000.0 * 1000000.0));
}

// `o` with every coordinate passed through `f`.
TestObject Mapped(TestObject o, const std::function<std::int32_t(std::int32_t)>& f) {
  for (Ring& r : o.rings) {
    for (XY& p : r) p = {f(p.x), f(p.y)};
  }
  return o;
}

// The parts of every line as lines of their own (BNA, MIF).
std::vector<TestObject> SplitLines(const std::vector<TestObject>& objects) {
  std::vector<TestObject> out;
  for (const TestObject& o : objects) {
    if (o.type != PIP_OBJECT_LINE) {
      out.push_back(o);
      continue;
    }
    for (const Ring& part : o.rings) {
      TestObject piece = o;
      piece.rings = {part};
      out.push_back(piece);
    }
  }
  return out;
}

// Objects in a fixed order: name, then type, then coordinates.
void Sort(std::vector<TestObject>* objects) {
  std::sort(objects->begin(), objects->end(), [](const TestObject& a, const TestObject& b) {
    return std::tie(a.name, a.type, a.rings) < std::tie(b.name, b.type, b.rings);
  });
}

// The objects read back against the expected ones, both in a fixed order:
// names, types and coordinates; second names (else empty); pens and
// symbols, and regions' labels and brushes, when the format keeps styles.
void ExpectSameObjects(std::vector<TestObject> back, std::vector<TestObject> expected,
                       bool second_names, bool styles) {
  Sort(&back);
  Sort(&expected);
  ASSERT_EQ(back.size(), expected.size());
  for (std::size_t i = 0; i < back.size(); ++i) {
    const TestObject& b = back[i];
    const TestObject& e = expected[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(b.name, e.name);
    EXPECT_EQ(b.name2, second_names ? e.name2 : "");
    EXPECT_EQ(b.type, e.type);
    EXPECT_EQ(b.rings, e.rings);
    if (!styles) continue;
    EXPECT_EQ(b.pen_pattern, e.pen_pattern);
    EXPECT_EQ(b.pen_width, e.pen_width);
    EXPECT_EQ(b.pen_colour, e.pen_colour);  // the source's ordinal, through the Pen clause
    if (e.type == PIP_OBJECT_REGION) {
      EXPECT_EQ(b.at, (XY{MifReadBack(e.at.x), MifReadBack(e.at.y)}));
      EXPECT_EQ(b.brush_pattern, e.brush_pattern);
      EXPECT_EQ(b.brush_fore, e.brush_fore);
      EXPECT_EQ(b.brush_back, e.brush_back);
    }
  }
}

class RoundTripTest : public export_test::ExportTest {
 protected:
  void SetUp() override {
    ExportTest::SetUp();
    export_test::BuildObjectFile(lib_, "source.obj", SampleObjects());
    source_ = export_test::ReadObjectFile("source.obj");
    ASSERT_EQ(source_.size(), SampleObjects().size());
  }
  // Exports every object of source.obj through `handle`; `expected_count`
  // of them are written.
  void ExportAll(int handle, int expected_count) {
    EXPECT_EQ(export_test::ExportAll(handle, "source.obj", static_cast<int>(source_.size())),
              expected_count)
        << export_test::LastError(lib_).detail;
  }
  std::vector<TestObject> Import(const std::vector<std::function<int(int)>>& opens) {
    return export_test::ImportAll(lib_, "back.obj", opens);
  }

  std::vector<TestObject> source_;
};

TEST_F(RoundTripTest, BnaKeepsNamesTypesRingsAndExactCoordinates) {
  int handle = 0;
  ASSERT_EQ(pipExportInitBNA(lib_, "out", &handle), 1);
  ExportAll(handle, static_cast<int>(source_.size()));
  ExpectSameObjects(Import({[](int h) { return pipImportOpenBNA(h, "out.bna", 1); }}),
                    SplitLines(source_), false, false);
}

TEST_F(RoundTripTest, MifKeepsNamesStylesLabelsAndRings) {
  int handle = 0;
  ASSERT_EQ(pipExportInitMIF(lib_, "out", &handle), 1);
  ExportAll(handle, static_cast<int>(source_.size()));
  std::vector<TestObject> expected = SplitLines(source_);
  for (TestObject& o : expected) o = Mapped(o, MifReadBack);
  ExpectSameObjects(
      Import({[](int h) { return pipImportOpenMIF2(h, "out.mif", "Name", "Name2"); }}), expected,
      true, true);
}

TEST_F(RoundTripTest, ShapefilesKeepNamesTypesPartsAndRings) {
  const char* bases[] = {"regions.shp", "lines.shp", "points.shp"};
  for (int type = 0; type < 3; ++type) {
    int handle = 0;
    ASSERT_EQ(pipExportInitSHP(lib_, bases[type], &handle, type), 1);
    ExportAll(handle, type == PIP_OBJECT_REGION ? 3 : 2);  // the others are refused
  }
  std::vector<TestObject> expected = source_;
  for (TestObject& o : expected) o = Mapped(o, ShpReadBack);
  ExpectSameObjects(Import({
                        [](int h) { return pipImportOpenSHP(h, "regions", "NAME", "NAME2"); },
                        [](int h) { return pipImportOpenSHP(h, "lines", "NAME", "NAME2"); },
                        [](int h) { return pipImportOpenShape(h, "points", "NAME", "NAME2"); },
                    }),
                    expected, true, false);
}

TEST_F(RoundTripTest, BnaRegionWithSharedRingStartsComesBackRotated) {
  // Both rings open at (0, 0): the record starts at (3, 0) so that the BNA
  // reader does not take the second ring's start for a marker.
  const Ring a{{0, 0}, {3000000, 0}, {3000000, 3000000}};
  const Ring b{{0, 0}, {-3000000, 0}, {-3000000, -3000000}};
  export_test::BuildObjectFile(lib_, "twin.obj", {export_test::Region("Twin", {a, b})});
  int handle = 0;
  ASSERT_EQ(pipExportInitBNA(lib_, "twin", &handle), 1);
  ASSERT_EQ(export_test::ExportAll(handle, "twin.obj"), 1);
  const std::vector<TestObject> back =
      Import({[](int h) { return pipImportOpenBNA(h, "twin.bna", 1); }});
  ASSERT_EQ(back.size(), 1u);
  const Ring rotated{{3000000, 0}, {3000000, 3000000}, {0, 0}};
  EXPECT_EQ(back[0].rings, (std::vector<Ring>{rotated, b}));
}

// A ring in a form independent of its start: the least of its rotations.
Ring Canonical(const Ring& ring) {
  Ring best = ring;
  Ring turned = ring;
  for (std::size_t k = 1; k < ring.size(); ++k) {
    std::rotate(turned.begin(), turned.begin() + 1, turned.end());
    best = std::min(best, turned);
  }
  return best;
}

// Regions whose rings start where a BNA reader would misread them -- on the
// object's first point, on the previous ring's start, on a point the ring
// passes twice -- come back ring for ring (seeded random regions on a small
// grid, each ring with one point of its own).
TEST_F(RoundTripTest, BnaRegionsComeBackWhateverTheirRingStarts) {
  const unsigned seed = 20240604;
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> grid(0, 3);
  std::uniform_int_distribution<int> count(2, 5);
  std::vector<TestObject> objects;
  for (int k = 0; k < 80; ++k) {
    std::vector<Ring> rings(static_cast<std::size_t>(count(random)));
    for (std::size_t r = 0; r < rings.size(); ++r) {
      Ring& ring = rings[r];
      if (r > 0 && random() % 3 != 0) ring.push_back(random() % 2 ? rings[0][0] : rings[r - 1][0]);
      for (int i = count(random); i > 0; --i) {
        const XY p{grid(random) * 1000000, grid(random) * 1000000};
        if (ring.empty() || ring.back() != p) ring.push_back(p);
      }
      const int own = 10 + k * 8 + static_cast<int>(r);
      ring.push_back({own * 1000000, -own * 1000000});
      if (ring.size() < 3) ring.push_back({own * 1000000, own * 1000000});
    }
    objects.push_back(export_test::Region("R" + std::to_string(k), rings));
  }
  export_test::BuildObjectFile(lib_, "starts.obj", objects);
  const std::vector<TestObject> stored = export_test::ReadObjectFile("starts.obj");
  int handle = 0;
  ASSERT_EQ(pipExportInitBNA(lib_, "starts", &handle), 1);
  ASSERT_EQ(export_test::ExportAll(handle, "starts.obj"), static_cast<int>(objects.size()));
  const std::vector<TestObject> back =
      Import({[](int h) { return pipImportOpenBNA(h, "starts.bna", 1); }});
  ASSERT_EQ(back.size(), stored.size()) << "seed " << seed;
  for (std::size_t i = 0; i < back.size(); ++i) {
    std::vector<Ring> want;
    std::vector<Ring> got;
    for (const Ring& r : stored[i].rings) want.push_back(Canonical(r));
    for (const Ring& r : back[i].rings) got.push_back(Canonical(r));
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, want) << stored[i] << " seed " << seed;
  }
}

}  // namespace
