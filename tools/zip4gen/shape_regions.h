// The polygons of a shapefile as generator regions, read through the
// library's Shape* routines (header-only, so it links against whichever
// form of the library the program uses).  Degrees become millionths of a
// degree truncated toward zero, as the importer converts them; a ring's
// closing point is dropped.
#ifndef LUMETRA_TOOLS_ZIP4GEN_SHAPE_REGIONS_H
#define LUMETRA_TOOLS_ZIP4GEN_SHAPE_REGIONS_H

#include <lumetra/shapefile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "zip4_generator.h"

namespace zip4gen {

// The polygon records of `shp_path` (with or without ".shp"), named
// "region N" in file order.  False (with nothing read) when the file cannot
// be opened or read.
inline bool ReadShapeRegions(const std::string& shp_path, std::vector<Region>* regions) {
  std::string base = shp_path;
  if (base.size() > 4 && base.compare(base.size() - 4, 4, ".shp") == 0)
    base.resize(base.size() - 4);
  shpFile shape;
  if (ShapeOpen(&shape, base.c_str()) != 0) return false;
  int rc = 0;
  while ((rc = ShapeRead(&shape)) == 0) {
    if (shape.shapeType != SHP_POLYGON) continue;
    Region region;
    region.name = "region " + std::to_string(regions->size() + 1);
    for (int p = 0; p < shape.numParts; ++p) {
      Ring ring;
      for (int i = 0; i < shape.parts[p].numPoints; ++i) {
        const double* xy = shape.parts[p].points + 2 * i;
        ring.push_back(
            {static_cast<std::int32_t>(xy[0] * 1e6), static_cast<std::int32_t>(xy[1] * 1e6)});
      }
      if (ring.size() > 1 && ring.front().x == ring.back().x && ring.front().y == ring.back().y) {
        ring.pop_back();
      }
      if (!ring.empty()) region.rings.push_back(ring);
    }
    if (!region.rings.empty()) regions->push_back(region);
  }
  ShapeClose(&shape);
  if (rc < 0) regions->clear();
  return rc > 0;
}

}  // namespace zip4gen

#endif  // LUMETRA_TOOLS_ZIP4GEN_SHAPE_REGIONS_H
