// The geometry classes and the clipper as callers see them: through
// liblumetra.so only (a class or function left unexported fails to link).
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lumetra/lumetra.h>

#include <sstream>
#include <string>

namespace {

TEST(GeometryCapi, ClassesAndConversionsWorkThroughTheLibrary) {
  const double x[] = {0, 2, 2, 0}, y[] = {0, 0, 2, 2};
  const double bx[] = {1, 3, 3, 1}, by[] = {1, 1, 3, 3};
  CPolygon a(x, y, 4), b(bx, by, 4);
  gpc_polygon ga, gb, joined;
  zglPolyToGpcPoly(&a, &ga);
  zglPolyToGpcPoly(&b, &gb);
  gpc_polygon_clip(GPC_UNION, &ga, &gb, &joined);
  CPolyPolygon rings;
  gpcPolyToZglPoly(&joined, &rings);
  ASSERT_EQ(rings.getPartCount(), 1);
  EXPECT_EQ(rings.getPolygon(0).getCount(), 8);
  EXPECT_TRUE(a.combine(b));
  EXPECT_EQ(a.getCount(), 8);
  CMbr box;
  box.includePolyPolygon(rings);
  EXPECT_EQ(box, CMbr(0, 0, 3, 3));
  CLine line(x, y, 4);
  CPolyLine lines(&line, 1);
  CPipPoint centre = box.getCenter();
  EXPECT_GT(lines.minDistance(static_cast<const IGeometry*>(&centre)), 0.0);
  EXPECT_EQ(CSegment(0, 0, 1, 1).intersect(CSegment(0, 0.2, 1, 0.8)), 1);
  for (gpc_polygon* p : {&ga, &gb, &joined}) gpc_free_polygon(p);
}

TEST(GeometryCapi, ExportsTheClipperFunctionsAndNoInternals) {
  std::istringstream names(
      "gpc_init_polygon gpc_free_polygon gpc_polygon_clip zglPolyToGpcPoly zglPolyPolyToGpcPoly "
      "gpcPolyToZglPoly");
  for (std::string name; names >> name;)
    EXPECT_NE(dlsym(RTLD_DEFAULT, name.c_str()), nullptr) << name;
  EXPECT_EQ(dlsym(RTLD_DEFAULT, "_ZN7lumetra23SetClipEdgeLimitForTestEm"), nullptr);
}

}  // namespace
