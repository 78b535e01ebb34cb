#include "import/shp_read.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "frame/error.h"
#include "frame/text_copy.h"
#include "import/object_file_build.h"
#include "import/polygon_object.h"
#include "import/polygon_split.h"
#include "import/table_columns.h"

namespace {

constexpr double kDegreeLimit = 1000000.0;  // |y| below this (and above 0): degrees
constexpr char kNullColumnWarning[] =
    "WARNING: id parameter was NULL. Parameter set to first column in .dbf file.";
constexpr char kMissingColumnWarning[] =
    "WARNING: Specified id parameter could not be found. Parameter set to first column in .dbf "
    "file.";

}  // namespace

// ---------------------------------------------------------------------------
// Coordinate and name rules

bool IsDegreePoint(double y) {
  const double magnitude = std::fabs(y);
  return magnitude > 0 && magnitude < kDegreeLimit;
}

std::int32_t TruncateToInt32(double value) {
  return lumetra::ImportOptions::FileUnits(value, false);
}

namespace {

ShapePoint ScaledPoint(double x, double y, bool degrees) {
  if (degrees) return ShapePoint{ImportRead::ToFileUnits(x), ImportRead::ToFileUnits(y)};
  return ShapePoint{TruncateToInt32(x), TruncateToInt32(y)};
}

}  // namespace

ShapePoint DegreeRulePoint(double x, double y) { return ScaledPoint(x, y, IsDegreePoint(y)); }

bool TwoPointRule(double x1, double y1, double x2, double y2, ShapePoint* p1, ShapePoint* p2) {
  bool degrees = IsDegreePoint(y1) || IsDegreePoint(y2);
  if (!degrees && !(std::fabs(y1) > kDegreeLimit) && !(std::fabs(y2) > kDegreeLimit)) {
    // Both y are 0 or exactly +-1,000,000: neither reading can be told
    // from the other.
    return false;
  }
  *p1 = ScaledPoint(x1, y1, degrees);
  *p2 = ScaledPoint(x2, y2, degrees);
  return true;
}

std::string ShapeFieldText(const dbField& field) {
  switch (field.type) {
    case 'C':
      return TrimWhiteSpace(lumetra::CutText(field.value.text, ImportRead::kMaxNameLength));
    case 'N': {
      // Wide enough for "%f" of any double: sign, 309 digits, point, 6 decimals.
      char text[400];
      std::snprintf(text, sizeof text, "%f", field.value.number);
      return text;
    }
    case 'L': {
      char text[16];
      std::snprintf(text, sizeof text, "%d", static_cast<int>(field.value.logical));
      return text;
    }
    case 'M':
    case 'D':
      return lumetra::CutText(field.value.text, sizeof field.value.text - 1);
    default:
      return "Unknown";
  }
}

std::string ShapeBaseName(const std::string& file_name) {
  const std::size_t separator = file_name.find_last_of('/');
  const std::size_t component = separator == std::string::npos ? 0 : separator + 1;
  const std::size_t dot = file_name.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot <= component) return file_name;
  return file_name.substr(0, dot);
}

// ---------------------------------------------------------------------------
// Opening

SHPRead::SHPRead(ObjectFileBuild& build, const char* file_name, const char* name_column,
                 const char* name_column2)
    : ImportRead(build) {
  if (file_name == nullptr || file_name[0] == '\0') {
    error().Report(100, "NULL file name on shapefile open", QERR_HERE);
    Fail();
    return;
  }
  if (!Open(ShapeBaseName(file_name))) {
    Fail();
    return;
  }
  ChooseColumns(name_column, name_column2);
}

SHPRead::~SHPRead() {
  if (shape_open_) ShapeClose(&shape_);
  if (table_open_) dbClose(&table_);
}

bool SHPRead::Open(const std::string& base) {
  base_name_ = base;
  if (ShapeOpen(&shape_, base.c_str()) != 0) {
    error().ReportF(100, QERR_HERE, "Can not open shapefile %s (.shp, .shx).", base.c_str());
    return false;
  }
  shape_open_ = true;
  if (dbOpen(&table_, base.c_str()) != 0) {
    error().ReportF(100, QERR_HERE, "Can not open table %s (.dbf).", base.c_str());
    return false;
  }
  table_open_ = true;
  total_records_ = shape_.numRecords > 0 ? shape_.numRecords : 0;
  return true;
}

void SHPRead::ChooseColumns(const char* name_column, const char* name_column2) {
  std::vector<std::string> names;
  for (int i = 0; i < table_.numFields; ++i) {
    const dbField& field = table_.fields[i];
    names.emplace_back(field.name, strnlen(field.name, sizeof field.name));
  }
  const NameColumns columns = ChooseNameColumns(error(), names, name_column, name_column2,
                                                kNullColumnWarning, kMissingColumnWarning);
  name_column_ = columns.name;
  name_column2_ = columns.name2;
}

std::string SHPRead::ColumnText(int column) const {
  if (column < 0 || column >= table_.numFields || table_.fields == nullptr) return std::string();
  return ShapeFieldText(table_.fields[column]);
}

// ---------------------------------------------------------------------------
// Reading

int SHPRead::PercentDone() const { return RecordsPercent(records_read_, total_records_); }

bool SHPRead::ReadObject() {
  set_result(kResultError);
  if (!success()) return false;
  set_name2("");
  const std::int32_t record = records_read_ + 1;
  const int shape_status = ShapeRead(&shape_);
  if (shape_status == 1) {
    set_result(kResultEnd);
    return true;
  }
  if (shape_status != 0) {
    error().ReportF(100, QERR_HERE, "Can not read record %d of shapefile %s.", record,
                    base_name_.c_str());
    Fail();
    return false;
  }
  const int row_status = dbRead(&table_);
  if (row_status != 0) {
    if (row_status == DB_END) {
      error().ReportF(100, QERR_HERE, "Table %s.dbf has no row for shapefile record %d.",
                      base_name_.c_str(), record);
    } else {
      error().ReportF(100, QERR_HERE, "Can not read row %d of table %s.dbf.", record,
                      base_name_.c_str());
    }
    Fail();
    return false;
  }
  set_name(ColumnText(name_column_).c_str());
  set_name2(ColumnText(name_column2_).c_str());
  set_result(kResultSkipped);
  // The record counts whether or not its object is accepted, so every
  // object's colour stays its record's position.
  records_read_ = record;
  if (!WriteRecordObject(record)) {
    set_result(kResultError);
    return false;
  }
  return true;
}

bool SHPRead::WriteRecordObject(std::int32_t colour) {
  switch (shape_.shapeType) {
    case SHP_POINT:
      if (build().options().strict() && !CheckCoordinates(shape_.points, 1)) return false;
      return WritePoint(colour);
    case SHP_POLYLINE:
    case SHP_POLYGON: {
      if (shape_.numParts < 0 || (shape_.numParts > 0 && shape_.parts == nullptr)) {
        return ReportRecordFailure("its part list is not valid");
      }
      std::int64_t points = 0;
      for (int i = 0; i < shape_.numParts; ++i) {
        const shpPart part = shape_.parts[i];
        if (part.numPoints < 0 || (part.numPoints > 0 && part.points == nullptr)) {
          return ReportRecordFailure("a part's point list is not valid");
        }
        if (build().options().strict() && !CheckCoordinates(part.points, part.numPoints)) {
          return false;
        }
        points += part.numPoints;
      }
      if (points == 0) return true;  // nothing to place: skipped
      const bool region = shape_.shapeType == SHP_POLYGON;
      if (!FitsLimits()) {
        if (region && build().options().split()) return WriteSplitRegion(colour);
        return ReportLimits();
      }
      if (!region && shape_.numParts == 1 && shape_.parts[0].numPoints == 2 &&
          !build().options().file_units()) {
        return WriteTwoPointLine(colour);
      }
      return WritePoly(region, colour);
    }
    default:
      return true;  // skipped
  }
}

bool SHPRead::FitsLimits() const {
  std::int64_t parts = 0;
  std::int64_t points = 0;
  for (int i = 0; i < shape_.numParts; ++i) {
    const int n = shape_.parts[i].numPoints;
    if (n > 0) ++parts;
    points += n;
  }
  return parts <= build().PolygonLimit() && points <= build().PointLimit();
}

bool SHPRead::ReportLimits() const {
  std::int64_t parts = 0;
  std::int64_t points = 0;
  for (int i = 0; i < shape_.numParts; ++i) {
    parts += shape_.parts[i].numPoints > 0 ? 1 : 0;
    points += shape_.parts[i].numPoints;
  }
  WithinImportLimits(build(), error(), parts, points);
  return false;
}

bool SHPRead::CheckCoordinates(const double* xy, int count) {
  const std::string problem = CoordinatesProblem(build(), xy, count);
  return problem.empty() || ReportRecordFailure(problem.c_str());
}

bool SHPRead::ReportRecordFailure(const char* what) {
  error().ReportF(100, QERR_HERE, "Record %d of shapefile %s: %s.", records_read_,
                  base_name_.c_str(), what);
  return false;
}

bool SHPRead::WritePoint(std::int32_t colour) {
  if (!WriteImportPoint(build(), name(), name2(), shape_.points[0], shape_.points[1], colour)) {
    return false;
  }
  set_result(kResultObject);
  return true;
}

bool SHPRead::WriteTwoPointLine(std::int32_t colour) {
  const double* xy = shape_.parts[0].points;
  ShapePoint p1;
  ShapePoint p2;
  if (!TwoPointRule(xy[0], xy[1], xy[2], xy[3], &p1, &p2)) {
    char what[160];
    std::snprintf(what, sizeof what,
                  "the two-point line with y values %g and %g is in neither degrees nor file "
                  "units",
                  xy[1], xy[3]);
    return ReportRecordFailure(what);
  }
  QPolygonSingleLine line(build(), name().c_str(), name2().c_str(), 0, p1.x, p1.y, p2.x, p2.y);
  line.set_pen(0, 0, colour);
  if (!line.Write()) return false;
  set_result(kResultObject);
  return true;
}

bool SHPRead::WritePoly(bool region, std::int32_t colour) {
  std::unique_ptr<QPolygonLine> object;
  if (region) {
    object = std::make_unique<QPolygonRegion>(build(), name().c_str(), name2().c_str(), 0);
  } else {
    object = std::make_unique<QPolygonLine>(build(), name().c_str(), name2().c_str(), 0);
  }
  for (int i = 0; i < shape_.numParts; ++i) {
    if (!AddImportPart(build(), *object, shape_.parts[i].points, shape_.parts[i].numPoints)) {
      return false;
    }
  }
  object->set_pen(0, 0, colour);
  object->set_brush(0, 0, 0);
  if (!object->Write()) return false;
  set_result(kResultObject);
  return true;
}

bool SHPRead::WriteSplitRegion(std::int32_t colour) {
  lumetra::RingSet rings;
  for (int i = 0; i < shape_.numParts; ++i) {
    const shpPart part = shape_.parts[i];
    if (part.numPoints <= 0) continue;
    lumetra::UnitRing ring;
    for (int k = 0; k < part.numPoints; ++k) {
      const ShapePoint p = ImportPoint(build(), part.points[2 * k], part.points[2 * k + 1]);
      ring.push_back(p.x);
      ring.push_back(p.y);
    }
    // The closing point repeats the first; the region drops it anyway.
    if (ring.size() >= 4 && ring[0] == ring[ring.size() - 2] && ring[1] == ring.back()) {
      ring.resize(ring.size() - 2);
    }
    rings.push_back(std::move(ring));
  }
  const std::vector<lumetra::RingSet> pieces =
      lumetra::SplitPolygon(rings, build().PolygonLimit(), build().PointLimit());
  if (pieces.empty()) return ReportLimits();
  for (const lumetra::RingSet& piece : pieces) {
    QPolygonRegion region(build(), name().c_str(), name2().c_str(), 0);
    for (const lumetra::UnitRing& ring : piece) {
      for (std::size_t k = 0; k + 1 < ring.size(); k += 2) {
        if (!region.AddPoint(ring[k], ring[k + 1])) return false;
      }
      if (!region.ClosePart()) return false;
    }
    region.set_pen(0, 0, colour);
    region.set_brush(0, 0, 0);
    if (!region.Write()) return false;
  }
  set_result(kResultObject);
  return true;
}
