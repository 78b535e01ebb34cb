// Small shapefiles for the CLI tests, written through the library's own
// Shape* and db* routines: polygons with a NAME column and optional numeric
// columns.
#ifndef LUMETRA_TESTS_CLI_SHAPEFILE_WRITER_H
#define LUMETRA_TESTS_CLI_SHAPEFILE_WRITER_H

#include <gtest/gtest.h>
#include <lumetra/dbf.h>
#include <lumetra/shapefile.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

namespace cli_test {

using DegreeRing = std::vector<double>;  // x, y pairs in degrees, closed

struct PolygonFeature {
  std::string name;
  std::vector<DegreeRing> rings;
  std::vector<double> numbers = {};  // values of the numeric columns
};

// A closed square ring, clockwise (an outer ring) unless `hole`.
inline DegreeRing Square(double x0, double y0, double x1, double y1, bool hole = false) {
  if (hole) return {x0, y0, x1, y0, x1, y1, x0, y1, x0, y0};
  return {x0, y0, x0, y1, x1, y1, x1, y0, x0, y0};
}

// Writes base.shp, .shx and .dbf: one polygon record per feature; columns
// NAME (C 20) and then `numeric` (name, length, decimals).
inline void WritePolygons(const std::string& base, const std::vector<PolygonFeature>& features,
                          const std::vector<std::tuple<const char*, int, int>>& numeric = {}) {
  shpFile shp{};
  ASSERT_EQ(ShapeCreate(&shp, base.c_str()), 0);
  const auto field = [](const char* name, char type, int length, int decimals) {
    dbField f{};
    std::snprintf(f.name, sizeof f.name, "%s", name);
    f.type = type;
    f.length = static_cast<unsigned char>(length);
    f.decimals = static_cast<unsigned char>(decimals);
    return f;
  };
  std::vector<dbField> fields = {field("NAME", 'C', 20, 0)};
  for (const auto& [name, length, decimals] : numeric) {
    fields.push_back(field(name, 'N', length, decimals));
  }
  dbTable table{};
  table.numFields = static_cast<int>(fields.size());
  table.fields = fields.data();
  ASSERT_EQ(dbCreate(&table, base.c_str()), 0);
  for (const PolygonFeature& f : features) {
    std::vector<DegreeRing> rings = f.rings;
    std::vector<shpPart> parts;
    for (DegreeRing& r : rings) parts.push_back({static_cast<int>(r.size() / 2), r.data()});
    const shpPartList list{static_cast<int>(parts.size()), parts.data()};
    ASSERT_EQ(ShapeWritePoly(&shp, &list, SHP_POLYGON), 0);
    std::snprintf(fields[0].value.text, sizeof fields[0].value.text, "%s", f.name.c_str());
    for (std::size_t i = 0; i < numeric.size(); ++i) fields[i + 1].value.number = f.numbers[i];
    ASSERT_EQ(dbWrite(&table), 0);
  }
  ASSERT_EQ(ShapeClose(&shp), 0);
  ASSERT_EQ(dbClose(&table), 0);
}

}  // namespace cli_test

#endif  // LUMETRA_TESTS_CLI_SHAPEFILE_WRITER_H
