// MIFRead: the import reader for MIF/MID interchange files.
//
// A MIF file holds a header (Version, Charset, Delimiter, CoordSys, Columns
// ... Data) and then the graphic objects; the MID file beside it holds one
// delimited attribute row per graphic object, in the same order.  The reader
// takes each object's name (and optionally a second name) from chosen MID
// columns and delivers
//   Point x y                  -> a point object (QPolygonPoint)
//   Line x1 y1 x2 y2           -> a two-point line (QPolygonSingleLine)
//   Pline n + n point lines    -> a line of one part (QPolygonLine)
//   Region r + r rings         -> a region (QPolygonRegion), one part a ring
// with the Center, Pen, Brush and Symbol clauses that follow them.  Arc,
// Text, Rect, RoundRect, Ellipse and None objects are skipped (result 2)
// but still consume their MID row, so names stay aligned.  The Multiple form
// of Pline is not recognised: it yields a line without points.
//
// Coordinates become file units: the value x 1,000,000 truncated toward zero
// (millionths of a degree in geographic files).
//
// Each object stays pending until the next object keyword, skipped object or
// the end of the MIF file writes it; the caller reads until the result 0.
// The style clauses of an object follow its coordinates, which is why.
//
// Data errors are reported with code 100 and the text
// "Error: <message>\nFile: <file>\nLine: <line>"; they fail the reader for
// good.  Warnings about the name columns use code 106 and reading goes on.
//
// Ownership and threads: as ImportRead (the builder owns the reader).
//
// Usage:
//   auto reader = std::make_unique<MIFRead>(build, "roads.mif", "NAME", "");
//   if (!reader->success()) return -1;  // reported
//   build.SetReader(std::move(reader));
#ifndef LUMETRA_IMPORT_MIF_READ_H
#define LUMETRA_IMPORT_MIF_READ_H

#include <cstdint>
#include <memory>
#include <string>

#include "import/import_read.h"

class QPolygonLine;

// The integer at the start of text, as the C library's atoi reads it
// (leading blanks, an optional sign, decimal digits up to the first other
// character; none gives 0), held far inside the i64 range.  Null gives 0.
std::int64_t ParseTextInteger(const char* text);

class MIFRead : public ImportRead {
 public:
  // Opens file_name with the extension ".MIF" and reads its header, then
  // opens the same name with ".MID" (see ApplyExtension).  name_field picks
  // the name column by its column name, ignoring case: null warns (code 106)
  // and uses column 1, "" uses column 1, a name matching no column warns
  // and uses column 1.  name_field2 (null or "" = none) picks the second-
  // name column; a name matching no column warns and no second name is
  // written.  Failures are reported and leave success() false.
  MIFRead(ObjectFileBuild& build, const char* file_name, const char* name_field,
          const char* name_field2);
  ~MIFRead() override;

  bool ReadObject() override;
  // Progress through the MIF file.
  int PercentDone() const override;
  // The current line of the MIF file.
  std::int32_t CurrentLine() const override;

  // The 1-based MID columns of the name and the second name (0 = none).
  int name_column() const { return name_column_; }
  int name2_column() const { return name2_column_; }

  // file_name with its extension replaced by `extension` (given with its
  // dot and in upper case, e.g. ".MID").  The extension of a name is what
  // follows the last '.' after the last '\\', '/' or ':'.  The new one is
  // upper case when the old one holds no lower-case letter (also when it
  // holds no letter at all), lower case when it holds no upper-case letter,
  // and as given otherwise; a name without an extension gets it appended as
  // given.  "roads.mif" -> "roads.mid", "ROADS" -> "ROADS.MID".
  static std::string ApplyExtension(const std::string& file_name, const char* extension);

 private:
  bool OpenMif(const std::string& file_name);
  bool ReadHeader(const char* name_field, const char* name_field2, bool* name_found,
                  bool* name2_found);
  bool ReadColumns(const char* name_field, const char* name_field2, bool* name_found,
                   bool* name2_found);
  bool OpenMid(const std::string& file_name);

  // One MID row into the current name, second name and id.
  bool ReadMidRow();

  // The object keywords; each leaves its object pending.
  bool ReadPointObject();
  bool ReadLineObject();
  bool ReadPlineObject();
  bool ReadRegionObject();
  bool SkipObject();
  // Writes the pending object, then reads the MID row of the next one and
  // counts it; returns the new object's ordinal, or 0 after a failure.
  std::int32_t StartObject();
  // Reads the next line of an object's point or ring list; reports the end
  // of the file.
  bool NextObjectLine();
  // Reads one point line ("x y") of an object and adds its point.
  bool ReadPointLine(QPolygonLine& object);
  // Ends the open ring of a region as a part.
  bool CloseRing(QPolygonLine& region);
  // The next two tokens of the current MIF line as file units; false when
  // the second is missing (nothing reported) or TakePair failed (reported).
  bool NextPair(std::int32_t* x, std::int32_t* y);
  // Two coordinate texts to file units under the handle's options: the
  // classic atof reading x 1,000,000, or with the file-units option the
  // file's own scaling; with the strict option a text that is not a number,
  // or a pair out of range, is a data error.
  bool TakePair(const char* x_text, const char* y_text, std::int32_t* x, std::int32_t* y);
  // A point or ring count: read like atoi, or with the strict option a
  // whole non-negative integer (else a data error).
  bool TakeCount(const char* text, std::int64_t* count);

  // Style clauses of the pending object.
  bool ApplyCenter();
  void ApplyPen();
  void ApplyBrush();
  void ApplySymbol();

  // Reports code 100 "Error: <message>\nFile: <file>\nLine: <line>" for the
  // current line of `in`, fails `in` and the reader; returns false.
  bool DataError(ImportTextFile& in, const char* message);

  std::unique_ptr<ImportTextFile> mif_;
  std::unique_ptr<ImportTextFile> mid_;
  int name_column_ = 1;
  int name2_column_ = 0;
  std::int32_t mid_rows_ = 0;  // MID rows read: the source ordinal
};

#endif  // LUMETRA_IMPORT_MIF_READ_H
