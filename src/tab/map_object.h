// MapObject: one row's object as the .map reader produces it and the .map
// writer takes it -- a TX type code (tab_library.h) and its points.
//
// Points, lines and polylines are one section; multi-polylines and regions
// one section per part or ring.  Coordinates are in the table's coordinate
// system.  `holes` (regions only) gives for each ring the number of rings
// after it that are its holes, as stored (0 for holes themselves).
#ifndef LUMETRA_TAB_MAP_OBJECT_H
#define LUMETRA_TAB_MAP_OBJECT_H

#include <cstdint>
#include <vector>

#include "tab/tab_library.h"

namespace lumetra::tab {

struct MapObject {
  std::int16_t type = kTXNoObject;
  std::vector<double> xy;            // x, y of every point, section after section
  std::vector<std::int32_t> counts;  // points of each section
  std::vector<std::int32_t> holes;   // regions: holes following each ring

  void Clear() {
    type = kTXNoObject;
    xy.clear();
    counts.clear();
    holes.clear();
  }
};

// The .map type codes this library writes (uncompressed variants) and the
// kinds of stored type codes.
enum class MapKind {
  kNone,
  kSymbol,
  kFontSymbol,
  kCustomSymbol,
  kLine,
  kPolyline,
  kMulti,
  kRegion,
  kOther
};

struct MapTypeInfo {
  MapKind kind = MapKind::kNone;
  std::int16_t tx_type = kTXNoObject;  // the TX code handed out
  bool compressed = false;
  int version = 300;  // section-header layout of multi-section kinds
  bool known = false;
};

// What a stored object type code means.
MapTypeInfo DescribeMapType(std::uint8_t code);

}  // namespace lumetra::tab

#endif  // LUMETRA_TAB_MAP_OBJECT_H
