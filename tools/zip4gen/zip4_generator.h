// Test data for ZIP+4 centroid files: no ZIP+4 centroid file is public, so
// this generator places ZIP+4 centroids of realistic shape inside real
// boundaries (the bundled US states, the us-atlas counties).
//
// What it makes, from a set of regions and a seed:
//   - ZIP Codes whose centers lie inside the regions: each region gets about
//     the same number, so small (dense, urban) regions get dense ZIP Codes;
//     codes rise with the regions' order and then northward, with gaps, as
//     real ZIP Codes cluster by state;
//   - per ZIP Code a skewed number of add-ons (mean `mean_add_ons`, up to
//     hundreds), rising with gaps, whose centroids scatter around the ZIP
//     Code's center by a spread of the size of its share of the region -- so
//     ZIP Codes near a border straddle it;
//   - record types as in postal data (S street 70%, H high-rise, P post
//     office box, R rural route, F firm, G general delivery), where every P
//     record of a ZIP Code sits on one post-office centroid and a share of
//     the others repeats the previous record's centroid (shared centroids);
//   - a share of ZIP Codes placed where no region's bounding box is, so that
//     their areas meet no region;
//   - value1 = the region's number, value2 = a delivery count.
// Records come out sorted by ZIP Code and add-on.  Coordinates of regions
// are millionths of a degree (x longitude, y latitude); the records' are the
// file's (ten-thousandths of a degree, longitude positive for west).
//
// Dependency-free (standard library and the pipZip4Record layout only);
// shape_regions.h reads the regions of a shapefile.
#ifndef LUMETRA_TOOLS_ZIP4GEN_ZIP4_GENERATOR_H
#define LUMETRA_TOOLS_ZIP4GEN_ZIP4_GENERATOR_H

#include <lumetra/pip_ext.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zip4gen {

struct Point {
  std::int32_t x;
  std::int32_t y;
};
using Ring = std::vector<Point>;

// A region: its rings (even-odd rule, as the object file's) and its name.
struct Region {
  std::string name;
  std::vector<Ring> rings;
};

struct Options {
  std::uint32_t seed = 1;
  std::size_t records = 200000;  // about this many (the last ZIP Code may add a few)
  double mean_add_ons = 20.0;    // records per ZIP Code
  double shared_share = 0.10;    // records repeating the previous centroid
  double outside_share = 0.02;   // ZIP Codes whose area meets no region
};

// The records for `regions`.  ZIP Codes are placed in the regions whose
// bounding boxes lie in the area index's range (60 to 191.07 degrees west,
// 0 to 90 degrees north) and whose first ring has three points or more;
// no records when there is none.
std::vector<pipZip4Record> Generate(const std::vector<Region>& regions, const Options& options);

// The records as CSV lines "ZIP,PLUS4,TYPE,LONGITUDE,LATITUDE,VALUE1,VALUE2"
// with a header line; ZIP and PLUS4 zero-padded, coordinates in decimal
// degrees (longitude negative for west).
std::string ToCsv(const std::vector<pipZip4Record>& records);

}  // namespace zip4gen

#endif  // LUMETRA_TOOLS_ZIP4GEN_ZIP4_GENERATOR_H
