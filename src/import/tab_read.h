// TABRead: the import reader for TAB tables (.tab with its .dat, .map and
// .id files), through the TAB table library (tab/tab_library.h).
//
// Rows are read in order, 1 to the table's row count; each row is one
// object, written to the builder at once (nothing is kept pending).  The
// library hands every row over as one text of TAB-separated values and an
// object record; the values are split back out (SplitTabRowText) and the
// name and second name taken from columns chosen by the caller (the first
// column unless the caller names another; the second name from an optional
// column).  By the object's type code:
//   201, 211, 212  point          QPolygonPoint (degree rule)
//   202            two-point line QPolygonSingleLine (two-point rule)
//   204            poly-line      QPolygonLine of one part
//   210            multi-section  QPolygonMultiPline, each section a part
//   205            region         QPolygonRegion, each ring a part (a
//                                 ring's closing point is dropped)
// Rows without an object, of other kinds (arcs, texts, rectangles ...), or
// whose object has no point are skipped with result 2.
//
// Coordinates arrive as doubles in the table's coordinate system; the
// degree rule and the two-point rule of the shapefile reader (shp_read.h)
// place them in file units.  Objects carry id 0, zero pen, brush and symbol
// values, and as colour their row number (the ordinal under which their
// attributes are found).
//
// Failures are reported into the builder's error record: a table that
// cannot be opened (code 100, with the library's reason naming the file and
// the bad value), counts the library cannot give ("\nUPDATE:\tcan not get
// number of rows.\n\tError #%d.\n", code 100), a row that cannot be fetched
// ("FETCH: Can't fetch row #%d. Error #%d.", code 106), a row text with more
// values than the table has columns ("Error: Invalid data record in input
// file", code 106), and, as for shapefiles, a record refused by the import
// limits or an undecidable two-point line.  Each failure fails that
// ReadObject call only; the next call goes on with the next row.  Trace
// lines (counts, column names, failures) go to the file layer's trace
// stream when one is set.
//
// Ownership and threads: as ImportRead.  The reader owns its table handle
// and closes it, and ends its use of the table library, when destroyed.
//
// Usage:
//   auto reader = std::make_unique<TABRead>(build, "counties.tab", "NAME", "FIPS");
//   if (!reader->success()) return -1;  // reported
//   build.SetReader(std::move(reader));
#ifndef LUMETRA_IMPORT_TAB_READ_H
#define LUMETRA_IMPORT_TAB_READ_H

#include <cstdint>
#include <string>
#include <vector>

#include "import/import_read.h"
#include "tab/tab_library.h"

// Splits a row text of the table library into at most `max_values` values:
// the first TAB-separated token is the first value with its double quotes
// removed; each further token is added to an accumulator, which becomes the
// next value (double quotes removed) once it ends in a double quote or a
// digit.  False when the text holds more values than `max_values`.
bool SplitTabRowText(const std::string& text, std::size_t max_values,
                     std::vector<std::string>* values);

class TABRead : public ImportRead {
 public:
  // Longest value kept per column (the rest is cut).
  static constexpr std::size_t kValueSize = 255;

  // Opens the table `file_name` and chooses the name columns: as SHPRead,
  // with the warnings (code 106) "WARNING: id parameter was NULL. Parameter
  // set to first column in .tab file." and "WARNING: Specified id parameter
  // could not be found. Parameter set to first column in .tab file.".
  // Failures are reported and leave success() false.
  TABRead(ObjectFileBuild& build, const char* file_name, const char* name_column,
          const char* name_column2);
  ~TABRead() override;

  // Reads the next row and writes its object: result 1 object written, 2
  // row skipped, 0 end of the table (true in all three cases); false after
  // a reported failure (see the file comment).
  bool ReadObject() override;
  // Rows read x 100 / rows in the table, truncated (0 for an empty table).
  int PercentDone() const override;
  // Rows read so far.
  std::int32_t CurrentLine() const override { return records_read_; }

  int name_column() const { return name_column_; }
  int name_column2() const { return name_column2_; }
  std::int32_t total_rows() const { return rows_; }

 private:
  bool Open(const char* file_name);
  bool ReadFieldDefs();
  void ChooseColumns(const char* name_column, const char* name_column2);
  std::string ColumnText(int column) const;
  // Builds and writes the object of the row just fetched; result 1 or 2.
  bool WriteRowObject(const TXObject& object, std::int32_t colour);
  bool WritePoint(double x, double y, std::int32_t colour);
  bool WriteTwoPointLine(const TXObject::Line& line, std::int32_t colour);
  bool WriteParts(int kind, const TXSection* sections, std::int32_t count, std::int32_t colour);
  bool CheckLimits(const TXSection* sections, std::int32_t count) const;
  // The strict import option: refuses the row (reported) when a point is not
  // finite or out of range for the file.
  bool CheckCoordinates(const double* xy, std::int64_t count) const;

  std::string file_name_;
  bool library_started_ = false;
  int table_ = 0;
  std::int32_t rows_ = 0;
  std::int32_t fields_ = 0;
  std::vector<TXFieldDef> defs_;
  std::vector<std::string> values_;
  std::string row_text_;
  int name_column_ = 0;
  int name_column2_ = -1;
  std::int32_t next_row_ = 1;
  std::int32_t records_read_ = 0;
};

#endif  // LUMETRA_IMPORT_TAB_READ_H
