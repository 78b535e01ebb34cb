#include "import/table_columns.h"

#include "frame/ascii_case.h"
#include "frame/error.h"
#include "import/object_file_build.h"
#include "import/polygon_object.h"
#include "import/shp_read.h"

namespace {

int FindColumn(const std::vector<std::string>& field_names, const char* column) {
  int found = -1;
  for (std::size_t i = 0; i < field_names.size(); ++i) {
    if (lumetra::EqualNoCase(field_names[i], column)) found = static_cast<int>(i);
  }
  return found;
}

}  // namespace

NameColumns ChooseNameColumns(pipError& error, const std::vector<std::string>& field_names,
                              const char* name_column, const char* name_column2,
                              const char* null_warning, const char* missing_warning) {
  NameColumns columns;
  if (name_column == nullptr) {
    error.Report(106, null_warning, QERR_HERE);
  } else {
    const int found = FindColumn(field_names, name_column);
    if (found >= 0) {
      columns.name = found;
    } else {
      error.Report(106, missing_warning, QERR_HERE);
    }
  }
  columns.name2 = name_column2 != nullptr ? FindColumn(field_names, name_column2) : -1;
  return columns;
}

bool WithinImportLimits(const ObjectFileBuild& build, pipError& error, std::int64_t parts,
                        std::int64_t points) {
  if (parts > build.PolygonLimit()) {
    error.Report(100, "Too many polygons.", QERR_HERE);
    return false;
  }
  if (points > build.PointLimit()) {
    error.Report(100, "Too many points.", QERR_HERE);
    return false;
  }
  return true;
}

int RecordsPercent(std::int64_t read, std::int64_t total) {
  if (total <= 0) return 0;
  const std::int64_t percent = read * 100 / total;
  return percent > 100 ? 100 : static_cast<int>(percent);
}

bool AddDegreeRulePart(QPolygonLine& object, const double* xy, std::int64_t n) {
  for (std::int64_t k = 0; k < n; ++k) {
    const ShapePoint p = DegreeRulePoint(xy[2 * k], xy[2 * k + 1]);
    if (!object.AddPoint(p.x, p.y)) return false;
  }
  return object.ClosePart();
}

bool WriteDegreeRulePoint(ObjectFileBuild& build, const std::string& name, const std::string& name2,
                          double x, double y, std::int32_t colour) {
  const ShapePoint p = DegreeRulePoint(x, y);
  QPolygonPoint point(build, name.c_str(), name2.c_str(), 0, p.x, p.y);
  point.set_symbol(0, 0, colour);
  return point.Write();
}
