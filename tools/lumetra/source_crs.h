// The coordinate decision of an import: whether a whole source file is in
// decimal degrees (an object file of coordinate type 1) or in plain planar
// units (type 0).  The decision is made once per file, never per point.
#ifndef LUMETRA_TOOLS_LUMETRA_SOURCE_CRS_H
#define LUMETRA_TOOLS_LUMETRA_SOURCE_CRS_H

#include <string>

namespace lumetra_cli {

enum class SourceFormat { kMif, kBna, kShp, kTab };

struct CoordinateDecision {
  bool degrees = true;
  std::string reason;  // why, for the note printed when degrees is false
};

// Decides for `path`:
//  - shapefile: its .prj when there is one (a PROJCS is planar, a GEOGCS
//    degrees); otherwise the bounding box in the .shp header (within
//    -180..180 and -90..90: degrees);
//  - MIF: its CoordSys clause (Earth Projection 1 is degrees; any other
//    projection or NonEarth is planar); without one, degrees (MIF's
//    default);
//  - TAB: the projection of its .map header (1, longitude/latitude, is
//    degrees; NonEarth and every projection planar); a table without a
//    .map has no coordinates to decide on (degrees);
//  - BNA: degrees (the format says nothing).
CoordinateDecision DecideCoordinates(const std::string& path, SourceFormat format);

}  // namespace lumetra_cli

#endif  // LUMETRA_TOOLS_LUMETRA_SOURCE_CRS_H
