// SHPRead: the import reader for shapefiles (.shp, .shx) with their dBase
// attribute table (.dbf).
//
// Shapes and table rows are paired by position: the n-th shape takes its
// names from the n-th row.  The name comes from one column of the table
// (the first column unless the caller names another), the second name from
// an optional second column.  Each record becomes one object, written to the
// builder at once (nothing is kept pending):
//   1 point      QPolygonPoint
//   3 poly-line  QPolygonLine, one part per shapefile part; one part of
//                exactly two points is a QPolygonSingleLine (two-point rule)
//   5 polygon    QPolygonRegion, one part per ring; a ring's closing point
//                is dropped by the region
// Every other shape type (null, multipoint, the Z and M variants) -- and a
// poly record without a single point -- is skipped with result 2; its table
// row is consumed all the same.
//
// Coordinates are doubles in the file.  The degree rule decides per point:
// when 0 < |y| < 1,000,000 the point is taken to be in degrees and x and y
// are multiplied by 1,000,000 (millionths of a degree); otherwise both are
// taken as they are.  Either way they are truncated toward zero to i32
// (held at the ends of the i32 range; NaN gives 0).
//
// Options of the import handle (ImportOptions) change three things: with
// file units the file's coordinate type scales every point alike (and the
// two-point rule is not used); strict refuses a record with a point that is
// not finite or out of range before anything of it is written; split writes
// a polygon beyond the limits as several regions of whole outer rings with
// their holes, each with the record's names and colour.
//
// Objects carry id 0, zero pen, brush and symbol values, and as colour the
// record's 1-based position, which is also the ordinal under which the
// object's attributes are found.
//
// Failures are reported into the builder's error record:
//  - opening: the shapefile or the table cannot be opened (code 100; the
//    db* and Shape* routines have also printed their reason to standard
//    error);
//  - reading: a shape record or a table row cannot be read, or the table
//    has no row for a shape (code 100).  These end the reader for good:
//    every further ReadObject returns false;
//  - a refused record: more parts or points than the import limits allow
//    ("Too many polygons.", "Too many points.", code 100), a two-point line
//    whose placement cannot be decided (code 100), or a failed write.  The
//    record is not written and ReadObject returns false for it; the next
//    call goes on with the next record.
//
// Ownership and threads: as ImportRead (the builder owns the reader).  The
// reader owns the open shapefile and table and closes them when destroyed.
//
// Usage:
//   auto reader = std::make_unique<SHPRead>(build, "states.shp", "NAME", "FIPS");
//   if (!reader->success()) return -1;  // reported
//   build.SetReader(std::move(reader));
#ifndef LUMETRA_IMPORT_SHP_READ_H
#define LUMETRA_IMPORT_SHP_READ_H

#include <lumetra/dbf.h>
#include <lumetra/shapefile.h>

#include <cstdint>
#include <string>

#include "import/import_read.h"

// A coordinate pair in file units.
struct ShapePoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

// The degree rule: whether a point with this y is taken to be in degrees
// (0 < |y| < 1,000,000).
bool IsDegreePoint(double y);

// A double truncated toward zero to i32, held at the ends of the i32 range;
// NaN gives 0.
std::int32_t TruncateToInt32(double value);

// One point in file units under the degree rule.
ShapePoint DegreeRulePoint(double x, double y);

// The two-point rule for a line of exactly two points: both points are
// scaled when either passes the degree rule; otherwise, when neither |y|
// exceeds 1,000,000 (each y is 0 or exactly +-1,000,000) the line cannot be
// placed and the result is false; otherwise both are taken as they are.
bool TwoPointRule(double x1, double y1, double x2, double y2, ShapePoint* p1, ShapePoint* p2);

// The text of a table field's current value, as names are taken from it:
// 'C' the first 127 characters without leading and trailing white space;
// 'N' the number in "%f" notation; 'L' the character's code in "%d"
// notation; 'M' and 'D' the text as it is; any other type "Unknown".
std::string ShapeFieldText(const dbField& field);

// The shapefile base name of a file name: everything from the last '.' of
// the name's final path component on is removed, unless that '.' is the
// first character of the name or of the component (a name without an
// extension stays as it is).
std::string ShapeBaseName(const std::string& file_name);

class SHPRead : public ImportRead {
 public:
  // Opens the shapefile and the table on the base name of file_name
  // (ShapeBaseName; ".shp", ".shx" and ".dbf" are added).  name_column
  // chooses the table column of the names, compared with the field names
  // without regard to case (the last matching field wins): null warns
  // (code 106 "WARNING: id parameter was NULL. Parameter set to first column
  // in .dbf file.") and so does a name no field has (code 106 "WARNING:
  // Specified id parameter could not be found. Parameter set to first
  // column in .dbf file."); both use the first column.  name_column2 chooses
  // the second-name column the same way; null or a name no field has means
  // no second name, without a warning.  Failures are reported and leave
  // success() false.
  SHPRead(ObjectFileBuild& build, const char* file_name, const char* name_column,
          const char* name_column2);
  // Closes the shapefile and the table.
  ~SHPRead() override;

  // Reads the next record and writes its object: result 1 object written,
  // 2 record skipped, 0 end of the shapefile (true in all three cases); -1
  // with false after a reported failure (see the file comment).
  bool ReadObject() override;
  // Records read x 100 / records in the shapefile, truncated (0 for an
  // empty shapefile, never above 100).
  int PercentDone() const override;
  // Records read so far.
  std::int32_t CurrentLine() const override { return records_read_; }

  // The table column of the names (0 = first) and of the second names
  // (-1 = none).
  int name_column() const { return name_column_; }
  int name_column2() const { return name_column2_; }
  // Records in the shapefile (from its index).
  std::int32_t total_records() const { return total_records_; }
  std::int32_t records_read() const { return records_read_; }

 private:
  bool Open(const std::string& base);
  void ChooseColumns(const char* name_column, const char* name_column2);
  std::string ColumnText(int column) const;
  // Builds and writes the object of the record just read; result 1 or 2.
  bool WriteRecordObject(std::int32_t colour);
  bool WritePoint(std::int32_t colour);
  bool WritePoly(bool region, std::int32_t colour);
  // The split option: the polygon as several regions that each fit the
  // limits (lumetra::SplitPolygon), same names and colour.
  bool WriteSplitRegion(std::int32_t colour);
  bool WriteTwoPointLine(std::int32_t colour);
  // Whether the record's (non-empty) parts and points fit the current
  // limits; checked before any point is taken.
  bool FitsLimits() const;
  // Reports "Too many polygons." or "Too many points." (code 100); false.
  bool ReportLimits() const;
  // The strict option: refuses the record (reported) when a point is not
  // finite or out of range for the file.
  bool CheckCoordinates(const double* xy, int count);
  bool ReportRecordFailure(const char* what);

  std::string base_name_;
  shpFile shape_{};
  dbTable table_{};
  bool shape_open_ = false;
  bool table_open_ = false;
  int name_column_ = 0;
  int name_column2_ = -1;
  std::int32_t total_records_ = 0;
  std::int32_t records_read_ = 0;
};

#endif  // LUMETRA_IMPORT_SHP_READ_H
