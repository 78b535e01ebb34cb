// Rules shared by the import readers that take object names from table
// columns and their geometry as doubles (the shapefile and TAB readers):
// the choice of name columns, the import limits, progress, and objects
// placed under the import options (shp_read.h).
#ifndef LUMETRA_IMPORT_TABLE_COLUMNS_H
#define LUMETRA_IMPORT_TABLE_COLUMNS_H

#include <cstdint>
#include <string>
#include <vector>

class ObjectFileBuild;
class QPolygonLine;
class pipError;
struct ShapePoint;

// The table columns of an object's name (0 = the first column) and second
// name (-1 = none).
struct NameColumns {
  int name = 0;
  int name2 = -1;
};

// Chooses the name columns among `field_names`, comparing without regard to
// case (the last matching field wins).  A null `name_column` reports
// `null_warning`, a name no field has `missing_warning` (both code 106) and
// takes the first column; `name_column2` null or not found means none,
// without a warning.
NameColumns ChooseNameColumns(pipError& error, const std::vector<std::string>& field_names,
                              const char* name_column, const char* name_column2,
                              const char* null_warning, const char* missing_warning);

// False, after reporting "Too many polygons." or "Too many points." (code
// 100), when an object of `parts` non-empty parts and `points` points is
// beyond the build's limits.
bool WithinImportLimits(const ObjectFileBuild& build, pipError& error, std::int64_t parts,
                        std::int64_t points);

// Records read x 100 / total, truncated and at most 100; 0 for no records.
int RecordsPercent(std::int64_t read, std::int64_t total);

// One point in file units under the build's import options: the degree rule,
// or with the file-units option the file's own scaling (shp_read.h).
ShapePoint ImportPoint(const ObjectFileBuild& build, double x, double y);

// With the strict option, what is wrong with the first of the `n` points of
// `xy` (x, y doubles) that is not finite or out of range for the file; empty
// when every point is readable or the option is off.
std::string CoordinatesProblem(const ObjectFileBuild& build, const double* xy, std::int64_t n);

// Adds the `n` points of `xy` (x, y doubles) to `object` through ImportPoint
// and closes the part; false after a reported limit failure.
bool AddImportPart(const ObjectFileBuild& build, QPolygonLine& object, const double* xy,
                   std::int64_t n);

// Writes a point object at (x, y) through ImportPoint, with zero symbol
// values and `colour`; false after a reported failure.
bool WriteImportPoint(ObjectFileBuild& build, const std::string& name, const std::string& name2,
                      double x, double y, std::int32_t colour);

#endif  // LUMETRA_IMPORT_TABLE_COLUMNS_H
