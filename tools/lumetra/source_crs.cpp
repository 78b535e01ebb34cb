#include "source_crs.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "cli_common.h"
#include "tab/map_header.h"
#include "tab/tab_error.h"

namespace lumetra_cli {
namespace {

bool ReadText(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *text = buffer.str();
  return true;
}

// The quoted name after a WKT keyword ("PROJCS[\"NAD83 / UTM 17N\"" ->
// "NAD83 / UTM 17N").
std::string WktName(const std::string& wkt, std::size_t keyword) {
  const std::size_t open = wkt.find('"', keyword);
  const std::size_t close = open == std::string::npos ? open : wkt.find('"', open + 1);
  return close == std::string::npos ? std::string() : wkt.substr(open + 1, close - open - 1);
}

double LittleEndianDouble(const unsigned char* bytes) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | bytes[i];
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

CoordinateDecision DecideShapefile(const std::string& path) {
  const std::string stem = StemOf(path);
  std::string prj;
  if (ReadText(stem + ".prj", &prj) || ReadText(stem + ".PRJ", &prj)) {
    const std::string lower = LowerCase(prj);
    const std::size_t projected = lower.find("projcs");
    if (projected != std::string::npos) {
      return {false, "its .prj names the projected system \"" + WktName(prj, projected) + "\""};
    }
    if (lower.find("geogcs") != std::string::npos) return {true, ""};
  }
  // The main header's box: x min, y min, x max, y max at bytes 36..67.
  std::ifstream in(path, std::ios::binary);
  unsigned char header[100] = {};
  if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return {true, ""};
  const double box[4] = {LittleEndianDouble(header + 36), LittleEndianDouble(header + 44),
                         LittleEndianDouble(header + 52), LittleEndianDouble(header + 60)};
  const bool in_degrees = std::fabs(box[0]) <= 180 && std::fabs(box[2]) <= 180 &&
                          std::fabs(box[1]) <= 90 && std::fabs(box[3]) <= 90;
  if (in_degrees) return {true, ""};
  return {false, "it has no .prj and its coordinates reach beyond -180..180, -90..90"};
}

CoordinateDecision DecideMif(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    const std::string lower = LowerCase(line);
    const std::size_t first = lower.find_first_not_of(" \t");
    if (first == std::string::npos) continue;
    if (lower.compare(first, 4, "data") == 0) break;
    if (lower.compare(first, 8, "coordsys") != 0) continue;
    const std::size_t earth = lower.find("earth projection");
    if (lower.find("nonearth") == std::string::npos && earth != std::string::npos &&
        std::atoi(lower.c_str() + earth + 16) == 1) {
      return {true, ""};
    }
    return {false, "its CoordSys clause is not longitude/latitude"};
  }
  return {true, ""};
}

CoordinateDecision DecideTab(const std::string& path) {
  std::ifstream in(StemOf(path) + ".map", std::ios::binary);
  std::uint8_t bytes[lumetra::tab::MapHeader::kEncodedSize] = {};
  if (!in.read(reinterpret_cast<char*>(bytes), sizeof bytes)) return {true, ""};
  try {
    const lumetra::tab::MapHeader header =
        lumetra::tab::MapHeader::DecodeFrom(bytes, sizeof bytes, StemOf(path) + ".map");
    if (header.coordsys.projection == 1) return {true, ""};
    return {false, header.coordsys.projection == 0
                       ? "its .map is NonEarth"
                       : "its .map names projection " + std::to_string(header.coordsys.projection)};
  } catch (const lumetra::tab::TabError&) {
    return {true, ""};  // the reader reports the damage
  }
}

}  // namespace

CoordinateDecision DecideCoordinates(const std::string& path, SourceFormat format) {
  switch (format) {
    case SourceFormat::kShp:
      return DecideShapefile(path);
    case SourceFormat::kMif:
      return DecideMif(path);
    case SourceFormat::kTab:
      return DecideTab(path);
    case SourceFormat::kBna:
      break;
  }
  return {true, ""};
}

}  // namespace lumetra_cli
