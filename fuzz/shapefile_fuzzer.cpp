// Shapefiles through the Shape* interface: the input is a .shp file,
// optionally followed by a member separator and its .shx index.  Every
// record read describes itself consistently (parts inside the point array,
// counts not negative), and a second pass over
// a freshly opened file reads the same records.
#include <lumetra/shapefile.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

constexpr int kMaxRecords = 500;

// One record as values, checking its consistency.
std::vector<double> RecordValues(const shpFile& s) {
  std::vector<double> v = {static_cast<double>(s.shapeType), s.box[0], s.box[1], s.box[2],
                           s.box[3]};
  switch (s.shapeType) {
    case SHP_POINT:
      v.push_back(s.points[0]);
      v.push_back(s.points[1]);
      break;
    case SHP_POLYLINE:
    case SHP_POLYGON: {
      FUZZ_CHECK(s.numParts >= 0 && s.numParts <= s.partCapacity);
      const double* end = s.points + 2 * static_cast<std::size_t>(s.pointCapacity);
      for (int i = 0; i < s.numParts; ++i) {
        const shpPart& part = s.parts[i];
        FUZZ_CHECK(part.numPoints >= 0 && part.points >= s.points);
        FUZZ_CHECK(part.points + 2 * static_cast<std::size_t>(part.numPoints) <= end);
        v.push_back(part.numPoints);
        v.insert(v.end(), part.points, part.points + 2 * part.numPoints);
      }
      break;
    }
    case SHP_MULTIPOINT:
      FUZZ_CHECK(s.numMultiPoints >= 0);
      v.insert(v.end(), s.multiPoints, s.multiPoints + 2 * s.numMultiPoints);
      break;
    default:  // other types carry only their type
      break;
  }
  return v;
}

// Every record of the file (capped); empty when it does not open.
std::vector<std::vector<double>> ReadAll(const std::string& base) {
  shpFile s;
  std::memset(&s, 0, sizeof s);
  std::vector<std::vector<double>> records;
  if (ShapeOpen(&s, base.c_str()) != 0) return records;
  int r = 0;
  while (records.size() < kMaxRecords && (r = ShapeRead(&s)) == 0) {
    records.push_back(RecordValues(s));
  }
  FUZZ_CHECK(r >= -1 && r <= 1);
  records.push_back({static_cast<double>(r)});
  FUZZ_CHECK(ShapeClose(&s) == 0);
  return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> members = lumetra_fuzz::SplitMembers(data, size, 2);
  lumetra_fuzz::WriteFile("fuzz.shp", members[0]);
  lumetra_fuzz::WriteFile("fuzz.shx", members.size() > 1 ? members[1] : std::string());
  const std::string base = lumetra_fuzz::ScratchDir() + "/fuzz";
  const auto first = ReadAll(base);
  const auto second = ReadAll(base);
  FUZZ_CHECK(first.size() == second.size());
  for (std::size_t i = 0; i < first.size(); ++i) {
    FUZZ_CHECK(lumetra_fuzz::SameBits(first[i], second[i]));
  }
  return 0;
}
