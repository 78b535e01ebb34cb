// The object-file wrappers through liblumetra.so, end to end on object files
// built from the bundled data: the US states (regions, with an attribute
// file), their outlines (lines with segment records) and the Iowa stores
// and customers (points).  Every find family of CSpatial and ZONObject is
// compared with the pip* calls it wraps, run on a second handle.
#include <lumetra/datalib.h>
#include <lumetra/lumetra.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <tuple>

#include "support/capi_fixture.h"
#include "support/io_tools.h"

namespace {

using namespace capi_test;

constexpr int kLen = PIP_NAME_SIZE;
constexpr int kRadius = 528000;  // 100 miles, in feet
const CPipPoint kDesMoines(-93.6091, 41.6005), kChicago(-87.6298, 41.8781);

// (name, coordinates) of a loaded geometry or of a pip object.
using Found = std::vector<std::pair<std::string, Coords>>;

template <class Geometry>
Coords CoordsOf(const Geometry& g) {
  Coords c;
  c.xy.assign(2 * static_cast<std::size_t>(g.getPointCount()), 0);
  c.parts.assign(static_cast<std::size_t>(g.getPartCount()), 0);
  g.get(c.xy.data(), c.parts.data());
  int points = 0;
  for (int n : c.parts) points += n;
  c.xy.resize(2 * static_cast<std::size_t>(points));
  return c;
}
Coords CoordsOf(const CPipPoint& p) { return {{1}, {p.getSpatialX(), p.getSpatialY()}}; }

// A CSpatial that closes its file when it goes away.
struct OpenSpatial : CSpatial {
  using CSpatial::CSpatial;
  ~OpenSpatial() override { closeFile(); }
};

class WrappersCapi : public CapiTest {
 protected:
  void SetUp() override {
    CapiTest::SetUp();
    BuildStates();
    BuildOutlines();
    BuildPoints();
    ref_ = Open("states.lmb");
    ASSERT_GT(ref_, 0);
    ASSERT_EQ(spatial_.setPipHandle(lib_), 1);
    ASSERT_EQ(spatial_.openFile("states.lmb", PIP_OPEN_CACHE_5MB), 1);
  }
  void TearDown() override {
    spatial_.closeFile();
    CapiTest::TearDown();
  }

  // The states as regions with an attribute file (NAME, TENTHS = ordinal in
  // tenths, key recid), and their names in file order.
  void BuildStates() {
    const int h = StartImport("states.lmb", FileInfo(100000, 1000, PIP_COORD_GEOGRAPHIC));
    ASSERT_EQ(
        pipImportOpenSHP(h, lumetra_test::SourcePath("data/us_states.shp").c_str(), "NAME", "FIPS"),
        1);
    DlBuilder* b = DlBuilderCreate("states.lma", 'N', "recid", "");
    ASSERT_EQ(DlBuilderAddField(b, "NAME", "", 'C', 40, 0, "Name", nullptr), 1);
    ASSERT_EQ(DlBuilderAddField(b, "recid", "", 'N', 10, 0, nullptr, nullptr), 1);
    ASSERT_EQ(DlBuilderAddField(b, "TENTHS", "", 'N', 10, 1, "Ordinal", nullptr), 1);
    char name[kLen];
    for (int i = 1; pipImportRead(h, name, kLen, nullptr, nullptr) == 1; ++i) {
      const std::string id = std::to_string(i), tenths = id + ".5";
      const char* values[] = {name, id.c_str(), tenths.c_str()};
      ASSERT_EQ(DlBuilderAddRecord(b, values), 1);
    }
    ASSERT_EQ(DlBuilderFinish(b), 1);
    ASSERT_EQ(pipImportClose(h), 1);
    ASSERT_EQ(Term(h, 1), 1);
  }

  // The first ring of every state as a closed line object.
  void BuildOutlines() {
    const int h = Open("states.lmb");
    char name[kLen];
    std::vector<TestObject> lines;
    for (int r = pipObjectFindFirstName(h, "*", name, kLen); r == 1;
         r = pipObjectFindNext(h, name, kLen)) {
      const Coords c = CurrentCoords(h);
      Ring ring;
      for (int i = 0; i < c.parts[0]; ++i) ring.push_back({c.xy[2 * i], c.xy[2 * i + 1]});
      ring.push_back(ring.front());
      lines.push_back(Line(name, {ring}, "outline"));
    }
    Close(h);
    Build("outlines.lmb", lines, {PIP_FILE_SEGMENTS, PIP_COORD_GEOGRAPHIC});
  }

  // The ten stores (name,lon,lat) and the 99 customers (store,lon,lat,weight;
  // named C10..C108) of data/iowa_*.csv.
  void BuildPoints() {
    std::vector<TestObject> points;
    for (const char* file : {"data/iowa_stores.csv", "data/iowa_customers.csv"}) {
      std::ifstream in(lumetra_test::SourcePath(file));
      std::string line, name, lon, lat;
      std::getline(in, line);
      while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::getline(std::getline(std::getline(fields, name, ','), lon, ','), lat, ',');
        if (points.size() >= 10) name = "C" + std::to_string(points.size());
        const CPipPoint at(std::stod(lon), std::stod(lat));
        points.push_back(Point(name, at.getSpatialX(), at.getSpatialY()));
      }
    }
    ASSERT_EQ(points.size(), 109u);
    Build("points.lmb", points, {0, PIP_COORD_GEOGRAPHIC});
  }

  // The pip answers of a search whose find-first on `h` gave `first`.
  Found PipFound(int h, int first, char* name) {
    Found out;
    for (int r = first; r > 0; r = pipObjectFindNext(h, name, kLen)) {
      out.emplace_back(name, CurrentCoords(h));
    }
    return out;
  }
  // The wrapper's answers: `first`'s result, then `next` until it stops.
  template <class Geometry, class First, class Next>
  Found WrapperFound(First first, Next next) {
    Found out;
    Geometry g;
    for (int r = first(g); r == 1; r = next(g)) {
      out.emplace_back(g.getName(), CoordsOf(g));
    }
    return out;
  }

  int ref_ = 0;
  OpenSpatial spatial_;
};

TEST_F(WrappersCapi, ContainingNameAndPolygonSearchesMatchPip) {
  char name[kLen];
  const auto next = [&](CPolyPolygon& g) { return spatial_.findNextPolygon(g); };
  for (const CPipPoint& at :
       {kDesMoines, kChicago, CPipPoint(-157.8583, 21.3069), CPipPoint(-40.0, 30.0)}) {
    const Found pip = PipFound(
        ref_, pipObjectFindFirstContaining(ref_, at.getSpatialX(), at.getSpatialY(), 0, name, kLen),
        name);
    EXPECT_EQ(WrapperFound<CPolyPolygon>(
                  [&](CPolyPolygon& g) { return spatial_.findPolygon(at, g); }, next),
              pip);
    EXPECT_EQ(pip.size(), at.getX() == -40.0 ? 0u : 1u);
  }
  const Found pip_new = PipFound(ref_, pipObjectFindFirstName(ref_, "new*", name, kLen), name);
  EXPECT_EQ(pip_new.size(), 4u);
  EXPECT_EQ(WrapperFound<CPolyPolygon>(
                [&](CPolyPolygon& g) { return spatial_.findPolygon("new*", g); }, next),
            pip_new);

  // A box across Nebraska, Iowa, Kansas and Missouri as the query polygon:
  // the plain polygon search answers overlap codes.
  const double bx[] = {-96.5, -93.0, -93.0, -96.5}, by[] = {39.8, 39.8, 41.0, 41.0};
  const int four = 4;
  const CPolyPolygon box(bx, by, &four, 1);
  const Coords q = CoordsOf(box);
  Results pip_codes, wrapped_codes;
  int r = pipObjectFindFirstPolygon(ref_, q.xy.data(), q.parts.data(), 1, name, kLen);
  for (; r > 0; r = pipObjectFindNext(ref_, name, kLen)) pip_codes.emplace_back(name, r);
  CPolyPolygon g;
  for (r = spatial_.findPolygon(box, g); r > 0; r = spatial_.findNextPolygon(g)) {
    wrapped_codes.emplace_back(g.getName(), r);
  }
  EXPECT_EQ(wrapped_codes, pip_codes);
  EXPECT_EQ(pip_codes.size(), 4u);

  // The overlap search: the same regions and shares, largest share first.
  std::vector<std::pair<double, std::string>> pip_shares, wrapped_shares;
  double percent = -1;
  r = pipObjectFindFirstPolygonEx(ref_, q.xy.data(), q.parts.data(), 1, name, kLen, 251, &percent);
  for (; r > 0; r = pipObjectFindNextEx(ref_, name, kLen, 250, &percent)) {
    pip_shares.emplace_back(percent, name);
  }
  std::stable_sort(pip_shares.begin(), pip_shares.end(),
                   [](const auto& a, const auto& b) { return a.first > b.first; });
  for (r = spatial_.findPolygon(box, g, percent); r == 5;
       r = spatial_.findNextPolygon(g, percent)) {
    wrapped_shares.emplace_back(percent, g.getName());
  }
  EXPECT_EQ(r, -1) << "the queue ends with -1";
  EXPECT_EQ(wrapped_shares, pip_shares);
  EXPECT_EQ(wrapped_shares.size(), 4u);
}

// Nearest points and lines against the rectangle and containing searches
// they run, ordered by the pip border distance.
TEST_F(WrappersCapi, NearestPointsAndLinesMatchPip) {
  using Ranked = std::vector<std::tuple<int, std::string, Coords>>;
  const auto by_distance_and_name = [](const auto& a, const auto& b) {
    return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
  };
  const auto ranked = [&](int h, int first, char* name, const CPipPoint& at) {
    Ranked out;
    for (int r = first; r > 0; r = pipObjectFindNext(h, name, kLen)) {
      out.emplace_back(pipObjectDistanceToBorder(h, at.getSpatialX(), at.getSpatialY()), name,
                       CurrentCoords(h));
    }
    std::sort(out.begin(), out.end(), by_distance_and_name);
    return out;
  };
  char name[kLen];
  OpenSpatial points(lib_);
  ASSERT_EQ(points.openFile("points.lmb", 0), 1);
  const int hp = Open("points.lmb");
  const CMbr square(kDesMoines, kRadius);
  const Ranked pip_points = ranked(
      hp,
      pipObjectFindFirstRect(
          hp, square.getLowerLeft().getSpatialX(), square.getLowerLeft().getSpatialY(),
          square.getUpperRight().getSpatialX(), square.getUpperRight().getSpatialY(), name, kLen),
      name, kDesMoines);
  Ranked wrapped;
  CPipPoint p;
  for (int r = points.findNearestPoint(kDesMoines, p, kRadius); r == 1;
       r = points.findNextPoint(p)) {
    const int feet = pipDistance(kDesMoines.getSpatialX(), kDesMoines.getSpatialY(),
                                 p.getSpatialX(), p.getSpatialY(), PIP_UNITS_FEET, nullptr);
    EXPECT_LE(wrapped.empty() ? 0 : std::get<0>(wrapped.back()), feet) << "nearest first";
    wrapped.emplace_back(feet, p.getName(), CoordsOf(p));
  }
  EXPECT_GT(pip_points.size(), 30u);
  std::sort(wrapped.begin(), wrapped.end(), by_distance_and_name);
  EXPECT_EQ(wrapped, pip_points);
  EXPECT_EQ(points.findNearestPoint(CPipPoint(-40.0, 30.0), p, kRadius), 0);

  OpenSpatial lines(lib_);
  ASSERT_EQ(lines.openFile("outlines.lmb", 0), 1);
  const int hl = Open("outlines.lmb");
  const Ranked pip_lines =
      ranked(hl,
             pipObjectFindFirstContaining(hl, kDesMoines.getSpatialX(), kDesMoines.getSpatialY(),
                                          2 * kRadius, name, kLen),
             name, kDesMoines);
  ASSERT_GE(pip_lines.size(), 3u);
  Found wrapped_lines, pip_found;
  for (const auto& [feet, n, coords] : pip_lines) pip_found.emplace_back(n, coords);
  CPolyLine line;
  for (int r = lines.findNearestLine(kDesMoines, line, 2 * kRadius); r == 1;
       r = lines.findNextLine(line)) {
    EXPECT_STREQ(line.getName2(), "outline");
    wrapped_lines.emplace_back(line.getName(), CoordsOf(line));
  }
  EXPECT_EQ(wrapped_lines, pip_found);
}

TEST_F(WrappersCapi, RectangleSearchesLoadOnlyTheirType) {
  const CMbr box(-96.6, 40.4, -90.1, 43.5);  // about Iowa
  char name[kLen];
  const auto pip_rect = [&](const char* file) {
    const int h = Open(file);
    return PipFound(
        h, pipObjectFindFirstRect(h, -96600000, 40400000, -90100000, 43500000, name, kLen), name);
  };
  OpenSpatial s(lib_);
  ASSERT_EQ(s.openFile("points.lmb", 0), 1);
  EXPECT_EQ(WrapperFound<CPipPoint>([&](CPipPoint& g) { return s.findPointByMbr(box, g); },
                                    [&](CPipPoint& g) { return s.findNextPointByMbr(g); }),
            pip_rect("points.lmb"));
  ASSERT_EQ(s.openFile("outlines.lmb", 0), 1);
  EXPECT_EQ(WrapperFound<CPolyLine>([&](CPolyLine& g) { return s.findLineByMbr(box, g); },
                                    [&](CPolyLine& g) { return s.findNextLineByMbr(g); }),
            pip_rect("outlines.lmb"));
  EXPECT_EQ(
      WrapperFound<CPolyPolygon>([&](CPolyPolygon& g) { return spatial_.findPolygonByMbr(box, g); },
                                 [&](CPolyPolygon& g) { return spatial_.findNextPolygonByMbr(g); }),
      pip_rect("states.lmb"));
  CPipPoint p;
  EXPECT_EQ(spatial_.findPointByMbr(box, p), -1) << "a region is no point";
  EXPECT_EQ(spatial_.findPointByMbr(CMbr(-40.0, 30.0, -39.0, 31.0), p), 0);
}

TEST_F(WrappersCapi, AttributesDescribeTheLoadedObject) {
  zglAttributeInfoStruct info;
  int count = 0;
  EXPECT_EQ(spatial_.getAttributeCount(&count), 1);
  EXPECT_EQ(count, 2) << "recid is hidden";
  char field[16];
  EXPECT_EQ(spatial_.getAttributeNameByNumber(1, field, sizeof field), 1);
  EXPECT_STREQ(field, "TENTHS");
  CPolyPolygon state;
  char name[kLen];
  for (const CPipPoint& at : {kDesMoines, kChicago}) {
    ASSERT_EQ(spatial_.findPolygon(at, state), 1);
    ASSERT_EQ(pipObjectFindFirstContaining(ref_, at.getSpatialX(), at.getSpatialY(), 0, name, kLen),
              1);
    for (int number = 0; number < 3; ++number) {
      pipAttributeInfoStruct pip;
      std::memset(&pip, 0, sizeof pip);
      std::memset(&info, 0, sizeof info);
      EXPECT_EQ(spatial_.getAttributeInfoByNumber(number, &info),
                pipObjectGetAttributeInfoByNumber(ref_, number, &pip));
      // (Only the texts up to their terminators: the bytes after them are unspecified.)
      EXPECT_EQ(std::make_tuple(std::string(info.name), std::string(info.value), info.width,
                                info.type, info.decimals),
                std::make_tuple(std::string(pip.name), std::string(pip.value), pip.width, pip.type,
                                pip.decimals))
          << number;
    }
    ASSERT_EQ(spatial_.getAttributeInfoByName("NAME", &info), 1);
    EXPECT_STREQ(info.value, state.getName());
  }
  EXPECT_EQ(spatial_.getAttributeInfoByName("TENTHS", &info), 1);
  EXPECT_STREQ(info.value, "14.5") << "Illinois is object 14";
  // A find that loads nothing: the value no longer describes a result.
  EXPECT_EQ(spatial_.findPolygon(CPipPoint(-40.0, 30.0), state), 0);
  spatial_.getAttributeInfoByName("NAME", &info);
  EXPECT_EQ(std::string(info.value, 4), std::string(4, '\0'));
}

TEST_F(WrappersCapi, ZonObjectHandsOutShapes) {
  ZONObject states(lib_, "states.lmb", 0, 7, nullptr);
  ASSERT_TRUE(states.IsValid() && states.IsOpen() && states.IsFileValidForZgl());
  char name[kLen];
  EXPECT_EQ(
      states.FindFirstContaining(kChicago.getSpatialX(), kChicago.getSpatialY(), 0, name, kLen), 1);
  pipObjectInfoStruct info;
  ASSERT_EQ(states.GetInfo(&info), 1);
  EXPECT_STREQ(info.name, "Illinois");
  EXPECT_FALSE(states.HasBeenSearched());
  EXPECT_FALSE(ZONObject(lib_, "missing.lmb", 0, 1, nullptr).IsValid());

  CZonShape iowa;
  CPolyPolygon* ring = makePolyPolygon();
  ASSERT_EQ(spatial_.findPolygon("Iowa", *ring), 1);
  iowa.setGeometry(ring);
  CZonShape* found = nullptr;
  double percent = 0;
  EXPECT_EQ(states.FindPolygonOverlapPercentage(&iowa, &found, &percent), ZON_WRONG_TYPE);
  iowa.setType(ZON_SHAPE_POLYGON);
  ASSERT_EQ(states.FindPolygonOverlapPercentage(&iowa, &found, &percent), 1);
  char text[8];
  EXPECT_EQ(zonShapeGetStr(found, ZON_GET_NAME, text, 4), 1);
  EXPECT_STREQ(text, "Iow");
  EXPECT_GT(percent, 99.0);
  zonShapeFree(&found);
  while (states.FindNextPolygonOverlapPercentage(&found, &percent) == 1) zonShapeFree(&found);
  EXPECT_EQ(found, nullptr);

  ZONObject points(lib_, "points.lmb", 0, 1, nullptr);
  CZonShape at;
  at.setType(ZON_SHAPE_POINT);
  at.setGeometry(makePipPointXY(kDesMoines.getX(), kDesMoines.getY()));
  EXPECT_EQ(points.FindNearestPointOrLine(&at, &found, 3, kRadius), ZON_WRONG_TYPE);
  EXPECT_EQ(points.FindNearestPointOrLine(&iowa, &found, ZON_FIND_POINT, kRadius), ZON_WRONG_TYPE);
  ASSERT_EQ(points.FindNearestPointOrLine(&at, &found, ZON_FIND_POINT, kRadius), 1);
  EXPECT_TRUE(points.HasBeenSearched());
  OpenSpatial s(lib_);
  ASSERT_EQ(s.openFile("points.lmb", 0), 1);
  CPipPoint first;
  ASSERT_EQ(s.findNearestPoint(kDesMoines, first, kRadius), 1);
  EXPECT_EQ(*static_cast<CPipPoint*>(found->getGeometry()), first);
  int feet = -1;
  EXPECT_EQ(zonDistance(&at, &iowa, &feet), ZON_WRONG_TYPE);
  zonShapeFree(&found);
  EXPECT_EQ(points.FindNextPointOrLine(&found, ZON_FIND_POINT), 1);
  EXPECT_EQ(found->getType(), ZON_SHAPE_POINT);
  zonShapeFree(&found);
  EXPECT_EQ(points.FindNextPointOrLine(&found, ZON_FIND_LINE), 0) << "no line search ran";
}

TEST_F(WrappersCapi, FilesHandlesAndFailures) {
  CSpatial none(lib_);
  CPolyPolygon g;
  EXPECT_EQ(none.findPolygon(kChicago, g), -1) << "no file open";
  EXPECT_EQ(none.isValidFile(), 0);
  EXPECT_EQ(none.openFile("missing.lmb", 0), 0);
  EXPECT_EQ(none.getPipObjectFile(), 0);
  EXPECT_EQ(spatial_.findPolygon("Atlantis", g), 0);
  EXPECT_EQ(spatial_.findPolygon(static_cast<const char*>(nullptr), g), -1);

  // An adopted handle is used, copied and never closed by the wrapper.
  ASSERT_EQ(none.usePipObjectHandle(ref_), 1);
  CSpatial copy(none);
  ASSERT_EQ(copy.findPolygon(kChicago, g), 1);
  EXPECT_STREQ(g.getName(), "Illinois");
  copy.closeFile();
  none.closeFile();
  EXPECT_EQ(pipObjectGetSearchDistance(ref_), PIP_DEFAULT_SEARCH_DISTANCE) << "still open";
  EXPECT_EQ(none.usePipObjectHandle(12345), 0);
  EXPECT_EQ(none.getPipObjectFile(), 0);

  // A file of regions, lines and points is closed by the validity check.
  Build("mixed.lmb", SampleShapes());
  ASSERT_EQ(none.openFile("mixed.lmb", 0), 1);
  EXPECT_EQ(none.isValidFile(), 0);
  EXPECT_EQ(none.getPipObjectFile(), 0);
  EXPECT_EQ(spatial_.isValidFile(), 1);

  // Shapes and the zon functions.
  CZonShape* shape = makeZonShape();
  int value = -1;
  EXPECT_EQ(shape->get(ZON_GET_TYPE, &value), 0) << "no geometry";
  shape->setGeometry(new CPolyPolygon(g));
  shape->setType(ZON_SHAPE_POLYGON);
  EXPECT_EQ(zonShapeGetStr(shape, ZON_GET_NAME2, reinterpret_cast<char*>(&value), 0), -1);
  EXPECT_EQ(zonShapeFree(&shape), 1);
  EXPECT_EQ(shape, nullptr);
  CZonShape a, b;
  a.setType(ZON_SHAPE_POINT);
  b.setType(ZON_SHAPE_POINT);
  a.setGeometry(makePipPointXY(-90.0, 0.0));
  b.setGeometry(makePipPointXY(-90.0, 5280.0 / GEO_FEET_PER_DEGREE));
  int feet = 0;
  EXPECT_EQ(zonDistance(&a, &b, &feet), 1);
  EXPECT_EQ(feet, 5280);
  EXPECT_EQ(zonNearDistance(&a, nullptr, &feet), -1);
  EXPECT_EQ(feet, 0);
}

// Growth and copy rules of the collections: (items added, then what the
// copy, the assignment and a reset see).
TEST(WrapperCollections, GrowCopyAndAssign) {
  for (int n : {0, 1, 25, 26, 1000}) {
    SCOPED_TRACE(n);
    CLongCollection longs(n % 2);
    CDoubleCollection doubles;
    for (int i = 0; i < n; ++i) ASSERT_EQ(longs.add(i * 3) + doubles.add(i / 2.0), 2);
    EXPECT_EQ(longs.moveFirst(), 1);
    for (int i = 0; i < n / 2; ++i) longs.moveNext();
    CLongCollection copy(longs), assigned(2000);
    assigned = longs;
    for (const CLongCollection* c : {&longs, &copy, &assigned}) {
      int item = -1;
      EXPECT_EQ(c->getCount(), n);
      EXPECT_EQ(c->getCurrent(item), n > 0 ? 1 : 0);
      EXPECT_EQ(item, n > 0 ? n / 2 * 3 : -1) << "the cursor travels with the copy";
    }
    double last = -1;
    doubles.moveFirst();
    for (int i = 1; i < n; ++i) EXPECT_EQ(doubles.moveNext(), 1);
    EXPECT_EQ(doubles.getCurrent(last), n > 0 ? 1 : 0);
    EXPECT_EQ(last, n > 0 ? (n - 1) / 2.0 : -1.0);
    EXPECT_EQ(doubles.moveNext(), 0);
    EXPECT_EQ(doubles.getCurrent(last), 0);
    copy.reset();
    EXPECT_EQ(copy.getCount(), 0);
    EXPECT_EQ(longs.getCount(), n) << "copies are independent";
  }
}

}  // namespace
