// BNARead: the import reader for BNA boundary files.
//
// A BNA file is plain text.  Each object starts with a header line of
// delimited fields -- one to three quoted names and, last, a point count --
// followed by one "x,y" line per point.  The count gives the kind:
//   1        a point (QPolygonPoint)
//   2        a two-point object, skipped (result 2)
//   n < 0    a line of -n points, one part (QPolygonLine)
//   0, n > 2 a region (QPolygonRegion) of n points
// Fields end at ',' or TAB; a field in '"' or '\'' quotes may hold either
// (ImportTextFile::NextField).
//
// Region rings are listed closed (a ring's last point repeats its first),
// and after a closed ring the list may return to the object's very first
// point (a marker) before the next ring begins; closing points and markers
// are not stored.  Every ring needs at least three points of its own.
//
// Coordinates are converted character by character, without floating point
// (ConvertCoordinate), under the coordinate type of the file being built.
//
// Each object is written as soon as it has been read; BNA objects carry no
// second name, id 0, no style and colour 0.  Data errors are reported with
// code 100 and the text "Error: <message>\nFile: <file>\nLine: <line>";
// they fail the reader for good.  A refused write (a builder limit) returns
// false for that object only.
//
// Ownership and threads: as ImportRead (the builder owns the reader).
//
// Usage:
//   auto reader = std::make_unique<BNARead>(build, "states.bna", 1);
//   if (!reader->success()) return -1;  // reported
//   build.SetReader(std::move(reader));
#ifndef LUMETRA_IMPORT_BNA_READ_H
#define LUMETRA_IMPORT_BNA_READ_H

#include <cstdint>
#include <memory>
#include <string>

#include "import/import_read.h"

class QPolygonLine;

class BNARead : public ImportRead {
 public:
  // Opens file_name as given (no extension is added).  name_position is the
  // header field holding the object's name, 1 to 3; any other value warns
  // (code 106) and uses 1.  Failures are reported and leave success() false.
  BNARead(ObjectFileBuild& build, const char* file_name, int name_position);
  ~BNARead() override;

  bool ReadObject() override;
  int PercentDone() const override;
  std::int32_t CurrentLine() const override;

  int name_position() const { return name_position_; }

  // Coordinate text to file units, character by character:
  //  - an empty text gives 0; spaces are skipped; a '-' anywhere makes the
  //    result negative; every other character but '.' appends a digit:
  //    value = value x 10 + (character - '0'), the character taken as an
  //    unsigned byte (so "1e3" reads as 1, 53, 3 -> 633);
  //  - coordinate type 0: the first '.' ends the text (12.9 -> 12);
  //  - other types: characters after the first '.' are fraction digits, and
  //    everything after the sixth of them is ignored; a further '.' is
  //    skipped;
  //  - coordinate type 1 then scales by 10 for each fraction digit short of
  //    six (-87.5 -> -87,500,000; 41.123456789 -> 41,123,456); other types
  //    keep the digits as read (type 2: 12.34 -> 1234).
  // Values beyond the i32 range are held at its ends.
  static std::int32_t ConvertCoordinate(const std::string& text, std::uint16_t coordinate_type);

 private:
  // Reads lines up to the next object header: its name field and its last
  // field, the count.  False at the end of the input or after a failure.
  bool FindHeader(std::string* name, std::int64_t* count);
  bool ReadPointObject();
  bool SkipObject();
  bool ReadLineObject(std::int64_t count);
  bool ReadRegionObject(std::int64_t count);
  // One coordinate line: x and y in file units.
  bool ReadCoordinateLine(std::int32_t* x, std::int32_t* y);
  // One coordinate text under the handle's options: ConvertCoordinate, or
  // with the strict option only a whole number (*value gets it; a data error
  // otherwise); with file units non-geographic files read as type 0.
  bool TakeCoordinate(const std::string& text, double* value, std::int32_t* units);
  // A header's point count: atoi, or with the strict option a whole
  // integer (a data error otherwise).
  bool TakeCount(const std::string& text, std::int64_t* count);
  bool AddObjectPoint(QPolygonLine& object, std::int32_t x, std::int32_t y);
  bool CloseRing(QPolygonLine& region);
  // Writes a finished object and counts it.
  bool Finish(QPolygonObject& object);

  // Reports code 100 "Error: <message>\nFile: <file>\nLine: <line>" for the
  // current line, fails the input and the reader; returns false.
  bool DataError(const char* message);

  std::unique_ptr<ImportTextFile> in_;
  int name_position_ = 1;
  std::uint16_t coordinate_type_ = 0;
  std::int32_t headers_read_ = 0;  // object headers read: the source ordinal
};

#endif  // LUMETRA_IMPORT_BNA_READ_H
