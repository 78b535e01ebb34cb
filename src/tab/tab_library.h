// The TAB table library: reads and writes MapInfo native tables, the
// dataset GIS users exchange as four files -- NAME.tab (the text header with
// the column list), NAME.dat (the rows), NAME.map (the objects) and NAME.id
// (for every row the position of its object in the .map file).  The layout
// of each member is described in docs/formats/tab.md.
//
// The library is a small set of named operations over 32-bit table handles,
// the only way the import reader and the TAB exporter reach the files:
//
//   TXInitialize        begin use of the library (interface version check)
//   TXOpenTable         open an existing table for reading
//   TXGetRowCount       number of rows
//   TXGetFieldCount     number of columns
//   TXGetObjectCounts   objects by kind: points, lines, regions, others
//   TXGetFieldDefs      the column definitions
//   TXFetchRow          one row: its values as text and its object
//   TXGetLastError      code (and text) of the last failure on this thread
//   TXCloseTable        close a table (a created table is finished here)
//   TXTerminate         end use of the library
//   TXSetCoordSys       fill a coordinate-system description for a code
//   TXCreateTable       create a new table
//   TXInsertRow         append one row with its object
//
// Objects.  A row's object is handed over as a TXObject: a type code and,
// by type, one or two points or a list of sections (the parts of a line, the
// rings of a region) of x, y doubles in the table's coordinate system.  The
// .map file stores integers; doubles are converted with the table's scale
// and displacement (reading) or rounded to the nearest integer unit
// (writing).  Kinds the library reads but cannot hand over as points, lines
// or regions (arcs, texts, rectangles, ellipses, multipoints, collections)
// come with their own type codes and no coordinates.
//
// Errors.  Each operation reports failure through its result (false, 0 or a
// null handle); TXGetLastError then gives the failure's code and
// TXGetLastErrorText a message naming the file and the offending values.
// Reading distrusts the files: every count, offset and size is checked
// against the file before it is used, and damage is reported, never
// followed.
//
// Threads.  Handles may be used from any thread, one thread at a time per
// handle; the last error is kept per thread.  TXInitialize and TXTerminate
// count users; the operations themselves do not depend on them.
//
// Usage (reading):
//   TXInitialize(kTXInterfaceVersion);
//   int table = TXOpenTable("counties.tab", kTXOpenRead);
//   std::int32_t rows = 0;
//   TXGetRowCount(table, &rows);
//   std::string text;
//   TXObject object;
//   for (std::int32_t row = 1; row <= rows; ++row) {
//     if (!TXFetchRow(table, row, &text, &object)) report(TXGetLastErrorText());
//   }
//   TXCloseTable(table);
//   TXTerminate();
#ifndef LUMETRA_TAB_TAB_LIBRARY_H
#define LUMETRA_TAB_TAB_LIBRARY_H

#include <cstddef>
#include <cstdint>
#include <string>

// --- constants ---

// The interface version TXInitialize accepts.
constexpr int kTXInterfaceVersion = 6510;
// TXOpenTable mode: read only (the only open mode).
constexpr int kTXOpenRead = 1;
// TXCreateTable mode: create the table, replacing any files of that name.
constexpr int kTXCreateReplace = 5;

// Object type codes (TXObject::type).
constexpr std::int16_t kTXNoObject = 0;
constexpr std::int16_t kTXPoint = 201;
constexpr std::int16_t kTXLine = 202;  // two points
constexpr std::int16_t kTXArc = 203;
constexpr std::int16_t kTXPolyline = 204;  // one section
constexpr std::int16_t kTXRegion = 205;
constexpr std::int16_t kTXText = 206;
constexpr std::int16_t kTXRectangle = 207;
constexpr std::int16_t kTXRoundedRectangle = 208;
constexpr std::int16_t kTXEllipse = 209;
constexpr std::int16_t kTXMultiPolyline = 210;
constexpr std::int16_t kTXFontPoint = 211;
constexpr std::int16_t kTXCustomPoint = 212;
constexpr std::int16_t kTXMultiPoint = 213;
constexpr std::int16_t kTXCollection = 214;

// Column types (TXFieldDef::type).
constexpr std::uint8_t kTXChar = 1;
constexpr std::uint8_t kTXInteger = 2;
constexpr std::uint8_t kTXSmallInt = 3;
constexpr std::uint8_t kTXDecimal = 4;
constexpr std::uint8_t kTXFloat = 5;
constexpr std::uint8_t kTXDate = 6;
constexpr std::uint8_t kTXLogical = 7;
constexpr std::uint8_t kTXTime = 8;
constexpr std::uint8_t kTXDateTime = 9;
constexpr std::uint8_t kTXLargeInt = 10;

// Failure codes (TXGetLastError).
constexpr int kTXErrNone = 0;
constexpr int kTXErrBadHandle = 1;   // no table behind the handle
constexpr int kTXErrArgument = 2;    // a null pointer, bad mode, bad definition
constexpr int kTXErrOpen = 3;        // a member file cannot be opened or created
constexpr int kTXErrFormat = 4;      // a member file is damaged or not of this format
constexpr int kTXErrRow = 5;         // row number outside the table
constexpr int kTXErrWrite = 6;       // a member file cannot be written
constexpr int kTXErrCoordinate = 7;  // a coordinate the table cannot hold
constexpr int kTXErrObject = 8;      // an object record that cannot be written
constexpr int kTXErrMemory = 9;
constexpr int kTXErrNotReadable = 10;  // fetch on a table being created
constexpr int kTXErrNotWritable = 11;  // insert on a table opened for reading

// --- records ---

// One section of a line or one ring of a region: num_points x, y pairs.
struct TXSection {
  std::int32_t num_points;
  std::int32_t reserved;
  const double* points;
};
static_assert(sizeof(TXSection) == 16, "section entries are 16 bytes");

// A row's object.  Which member of the union is valid follows the type:
//   kTXPoint, kTXFontPoint, kTXCustomPoint  point (x, y at bytes 8, 16)
//   kTXLine                                 line (x1, y1, x2, y2 at 8..32)
//   kTXPolyline                             polyline (count at 8, points at 32)
//   kTXMultiPolyline                        multi (count at 8, sections at 48)
//   kTXRegion                               region (count at 8, rings at 64)
// Others carry no coordinates.  Pointers of fetched objects point into the
// table and stay valid until the next fetch or the table's close; pointers
// of inserted objects are only read during the call.
struct TXObject {
  struct Point {
    double x, y;
  };
  struct Line {
    double x1, y1, x2, y2;
  };
  struct Polyline {
    std::int32_t num_points;
    std::int32_t reserved[5];
    const double* points;
  };
  struct MultiPolyline {
    std::int32_t num_sections;
    std::int32_t reserved[9];
    const TXSection* sections;
  };
  struct Region {
    std::int32_t num_rings;
    std::int32_t reserved[13];
    const TXSection* rings;
  };

  std::int16_t type = kTXNoObject;
  std::int16_t reserved[3] = {0, 0, 0};
  union {
    Point point;
    Line line;
    Polyline polyline;
    MultiPolyline multi;
    Region region;
  } u{};
};
static_assert(sizeof(TXObject) == 72, "object record layout");

// A column definition: 38 bytes, the name first (NUL-terminated, at most 31
// characters), the type at byte 32, the width at 33 (characters of a Char or
// Decimal column; fixed by the type otherwise) and the decimals at 34.
struct TXFieldDef {
  char name[32];
  std::uint8_t type;
  std::uint8_t width;
  std::uint8_t decimals;
  std::uint8_t reserved[3];
};
static_assert(sizeof(TXFieldDef) == 38, "field definitions are 38 bytes");

// A coordinate system in MapInfo's terms: projection, datum, ellipsoid and
// unit numbers, projection parameters and the datum shift.  Code 0 of
// TXSetCoordSys is longitude/latitude on WGS 84 in degrees; code 1 a
// non-earth plane in metres.
struct TXCoordSys {
  std::uint8_t projection;
  std::uint8_t ellipsoid;
  std::uint8_t units;
  std::uint8_t reserved0;
  std::int16_t datum;
  std::int16_t reserved1;
  double params[6];
  double datum_shift[3];
  double datum_params[5];
  std::uint8_t reserved[128];
};
static_assert(sizeof(TXCoordSys) == 248, "coordinate-system part of the table information");

// What TXCreateTable needs beyond the columns (288 bytes): whether the
// table has objects (1: .map and .id files are written; 0: rows only), the
// coordinate system (filled by TXSetCoordSys) and the bounds the table's
// coordinates are expected within, which fix the integer grid of the .map
// file (coordinates outside the bounds are stored while the grid holds
// them).
struct TXTableInfo {
  std::int16_t has_map;
  std::int16_t reserved[3];
  TXCoordSys coordsys;
  double min_x, min_y, max_x, max_y;
};
static_assert(sizeof(TXTableInfo) == 288, "table information block");

// --- operations ---

// Begins use of the library; true when `version` is kTXInterfaceVersion.
bool TXInitialize(int version);
// Ends one use begun by TXInitialize: 0, or -1 when there was none.
int TXTerminate();

// Opens the table `path` (the .tab file; the other members are found beside
// it with the same base name and the extension's case) for reading.
// Returns a handle (> 0), or 0 on failure.
int TXOpenTable(const char* path, int mode);

bool TXGetRowCount(int table, std::int32_t* rows);
bool TXGetFieldCount(int table, std::int32_t* fields);
// Objects of the table by kind (from the .map header; all 0 without one).
bool TXGetObjectCounts(int table, std::int32_t* points, std::int32_t* lines, std::int32_t* regions,
                       std::int32_t* others);
// Fills defs[0 .. field count - 1].
bool TXGetFieldDefs(int table, TXFieldDef* defs);

// Fetches row `row` (1 .. row count): its values as one text, values
// separated by TAB, text-like values (Char, Date, Logical, Time, DateTime)
// in double quotes, numbers bare; and its object (type kTXNoObject when it
// has none, and for a deleted row, whose text is then empty).
bool TXFetchRow(int table, std::int32_t row, std::string* text, TXObject* object);

// The code and the text of the last failure on this thread (kTXErrNone and
// "" after a success).
int TXGetLastError();
const char* TXGetLastErrorText();

// Closes a table; a table being created is finished first (false when that
// fails; the handle is gone either way).
bool TXCloseTable(int table);

// Fills `coordsys` for `code` (0 or 1, see TXCoordSys); false for others.
bool TXSetCoordSys(int code, TXCoordSys* coordsys);

// Creates the table `path` (.tab; .dat, .map and .id beside it) with
// `num_fields` columns and `info`.  Returns a handle (> 0), or 0.
int TXCreateTable(const char* path, const TXFieldDef* defs, int num_fields, const TXTableInfo* info,
                  int mode);

// Appends one row: `text` holds its values separated by TAB (fewer values
// than columns leave the rest empty; more are refused), `object` its object
// (null or kTXNoObject for none).  Region rings are closed when stored.  On
// success *row (when not null) receives the new row's number.
bool TXInsertRow(int table, const char* text, const TXObject* object, std::uint32_t* row);

#endif  // LUMETRA_TAB_TAB_LIBRARY_H
