// CspaSHPExporter: writes objects as a shapefile (.shp, .shx) with a dBase
// table (.dbf) of two character columns, NAME and NAME2 (128 characters
// each).
//
// One shapefile holds one kind of object, fixed when the exporter is made
// (PIP_OBJECT_REGION, _LINE or _POINT); WriteObject refuses any other type
// with code 100 "An incorrect type was attempted to be written.".  Every
// object becomes one shape record followed by one table record (NAME = the
// record's name, NAME2 = its second name):
//  - point: a point record of the object's first point;
//  - line: one poly-line record (type 3) with all parts as they are;
//  - region: one polygon record (type 5) with every ring closed (its first
//    point appended after its last).
// Coordinates are output units (file units / 1,000,000) as doubles.
//
// The files go through the exported Shape* and db* routines, which report
// their own I/O failures on standard error; the exporter adds a record in
// the library's error record when the files cannot be created.  DeleteFiles
// removes nothing: a shapefile export ended without commit keeps what it
// wrote.
//
// Options (pipExportSetOptions): with the attributes option the table is
// made anew, before the first object, with the columns of ExportColumns
// (field names cut to 10 characters and made unique; text columns at most
// 254 wide; a missing number is written as 0, dBase having no empty
// number); with the CRS option a geographic export gets "<base>.prj" (WGS 84)
// and every export "<base>.cpg" when the files are closed.
//
// Ownership: owns the shapefile and table records and the table's field
// array; output still open when the exporter goes away is closed.  Thread
// rule: one thread at a time.
#ifndef LUMETRA_EXPORT_SHP_EXPORTER_H
#define LUMETRA_EXPORT_SHP_EXPORTER_H

#include <lumetra/dbf.h>
#include <lumetra/shapefile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "export/export_columns.h"
#include "export/exporter.h"

class CspaSHPExporter : public CspaExporter {
 public:
  static constexpr int kNameLength = 128;

  // `object_type`: the one type this shapefile accepts (0, 1 or 2).
  CspaSHPExporter(pipLibraryContext& library, int object_type);
  ~CspaSHPExporter() override;

  int WritePoint(const char* name, const pipObjectInfoStruct& object, const std::int32_t* points,
                 const std::int32_t* part_counts, std::int32_t count) override;
  int WriteLine(const char* name, const pipObjectInfoStruct& object, const std::int32_t* points,
                const std::int32_t* part_counts, std::int32_t count) override;
  int WriteRegion(const char* name, const pipObjectInfoStruct& object, const std::int32_t* points,
                  const std::int32_t* part_counts, std::int32_t count) override;
  // The same as CreateFiles.
  int CreateFilesEx(const char* base_name, long version, const char* delimiter) override;
  // ShapeCreate on `base_name` (.shp, .shx), then dbCreate (.dbf).
  int CreateFiles(const char* base_name) override;
  // ShapeClose, then dbClose; -1 when either fails.
  int CloseFiles() override;
  int WriteObject(const char* name, const pipObjectInfoStruct& object, const std::int32_t* points,
                  const std::int32_t* part_counts, std::int32_t count) override;
  // Removes nothing (see the file comment).
  int DeleteFiles() override;

  int object_type() const { return object_type_; }

  // The base name of an output file name: the name without everything from
  // the last '.' of its final path component on, unless that '.' begins
  // the component.
  static std::string BaseName(const std::string& file_name);

 private:
  // Writes `count` parts as one poly record of `shape_type`, each part
  // closed when `close_rings`.
  int WritePoly(const std::int32_t* points, const std::int32_t* part_counts, std::int32_t count,
                int shape_type, bool close_rings);
  bool WriteTableRecord(const pipObjectInfoStruct& object);
  int ApplyOptions(int flags) override;
  int BeginTable(const AttributeSearch* attributes, bool geographic) override;
  // Makes the table anew with the fields of columns_.
  int RecreateTable();
  // Writes a small text member "<base><extension>"; false after reporting.
  bool WriteMember(const char* extension, const char* text);

  int object_type_;
  shpFile shape_{};
  dbTable table_{};
  std::vector<dbField> fields_;
  bool shape_open_ = false;
  bool table_open_ = false;
  std::string base_name_;
  lumetra::ExportColumns columns_;  // with options: the table's columns
  bool all_utf8_ = true;            // every text written so far is UTF-8
};

#endif  // LUMETRA_EXPORT_SHP_EXPORTER_H
