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

ShapePoint ImportPoint(const ObjectFileBuild& build, double x, double y) {
  if (!build.options().file_units()) return DegreeRulePoint(x, y);
  const bool geographic = build.geographic();
  return ShapePoint{lumetra::ImportOptions::FileUnits(x, geographic),
                    lumetra::ImportOptions::FileUnits(y, geographic)};
}

std::string CoordinatesProblem(const ObjectFileBuild& build, const double* xy, std::int64_t n) {
  if (!build.options().strict()) return std::string();
  const bool geographic = build.geographic();
  const bool file_units = build.options().file_units();
  for (std::int64_t k = 0; k < n; ++k) {
    const double x = xy[2 * k];
    const double y = xy[2 * k + 1];
    const bool scaled = file_units ? geographic : IsDegreePoint(y);
    std::string problem = lumetra::CoordinateProblem(x, y, geographic, scaled);
    if (!problem.empty()) return problem;
  }
  return std::string();
}

bool AddImportPart(const ObjectFileBuild& build, QPolygonLine& object, const double* xy,
                   std::int64_t n) {
  for (std::int64_t k = 0; k < n; ++k) {
    const ShapePoint p = ImportPoint(build, xy[2 * k], xy[2 * k + 1]);
    if (!object.AddPoint(p.x, p.y)) return false;
  }
  return object.ClosePart();
}

bool WriteImportPoint(ObjectFileBuild& build, const std::string& name, const std::string& name2,
                      double x, double y, std::int32_t colour) {
  const ShapePoint p = ImportPoint(build, x, y);
  QPolygonPoint point(build, name.c_str(), name2.c_str(), 0, p.x, p.y);
  point.set_symbol(0, 0, colour);
  return point.Write();
}
