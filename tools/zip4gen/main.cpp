// zip4gen: writes generated ZIP+4 centroid records (zip4_generator.h) as CSV
// to standard output, for `lumetra zip4 build`.
//
//   zip4gen SHAPEFILE.shp [RECORDS [SEED]]
//
// RECORDS defaults to 200000 and SEED to 1; the same arguments always give
// the same records.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "shape_regions.h"
#include "zip4_generator.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fputs("usage: zip4gen SHAPEFILE.shp [RECORDS [SEED]]\n", stderr);
    return 2;
  }
  zip4gen::Options options;
  if (argc > 2) options.records = std::strtoull(argv[2], nullptr, 10);
  if (argc > 3) options.seed = static_cast<std::uint32_t>(std::strtoul(argv[3], nullptr, 10));
  std::vector<zip4gen::Region> regions;
  if (!zip4gen::ReadShapeRegions(argv[1], &regions) || regions.empty()) {
    std::fprintf(stderr, "zip4gen: no polygons read from %s\n", argv[1]);
    return 2;
  }
  const std::string csv = zip4gen::ToCsv(zip4gen::Generate(regions, options));
  std::fwrite(csv.data(), 1, csv.size(), stdout);
  return 0;
}
