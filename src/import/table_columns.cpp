#include "import/table_columns.h"

#include "frame/ascii_case.h"
#include "frame/error.h"
#include "import/object_file_build.h"

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
