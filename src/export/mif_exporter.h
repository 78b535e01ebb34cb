// CspaMIFExporter: writes objects as a MIF/MID interchange pair.
//
// Output names (CreateFiles): "<name>.mif" and "<name>.mid" when the name
// contains neither ".MIF" nor ".mif", otherwise the name with its last four
// characters replaced by ".mif" and ".mid".  CreateFilesEx appends ".MIF"
// and ".MID" to the name as given and takes the version and the MID
// delimiter from its arguments (CreateFiles: version 300, delimiter ",").
//
// The MIF header declares two character columns, Name and Name2:
//   Version 300 / Delimiter "," / Index 1 / Columns 2 /
//     Name  Char(128) /   Name2 Char(128) / Data
// Every MIF object has one MID row: "<name>"<delimiter>"<second name>".
// Coordinates are output units (file units / 1,000,000), "%11.6f".
//  - point object: per point a MID row and "POINT  x y", then one
//    "    Symbol (shape,colour,size)" after the last point;
//  - line: per part a MID row, "PLINE   n", its points and
//    "    Pen (width,pattern,colour)" -- a multi-part line becomes several
//    single-part PLINE objects with the same names;
//  - region: one MID row, "REGION  <rings>", per ring its point count and
//    points (as stored, not closed), then Pen, "    Brush (pattern, fore,
//    back)" and "    Center x  y" with the label point.
//
// Options (pipExportSetOptions): the header written at creation is taken
// back and written again before the first object, with the columns of
// ExportColumns (character columns "Char(w)", numbers "Integer" or
// "Decimal(w,d)") and, with the CRS option for a geographic file, the line
// "CoordSys Earth Projection 1, 104" (WGS 84 longitude/latitude).  MID
// texts are then quoted with inner quotes doubled; numbers stand bare.
//
// Ownership: owns both output streams; files not closed through CloseFiles
// when the exporter goes away are closed and removed.  Thread rule: one
// thread at a time.
#ifndef LUMETRA_EXPORT_MIF_EXPORTER_H
#define LUMETRA_EXPORT_MIF_EXPORTER_H

#include <cstdint>
#include <string>

#include "export/export_columns.h"
#include "export/exporter.h"

class CspaMIFExporter : public CspaExporter {
 public:
  static constexpr std::size_t kFileNameSize = 1024;  // each name, with terminator
  static constexpr long kDefaultVersion = 300;
  static constexpr const char* kDefaultDelimiter = ",";

  explicit CspaMIFExporter(pipLibraryContext& library);
  ~CspaMIFExporter() override;

  int WritePoint(const char* name, const pipObjectInfoStruct& object, const std::int32_t* points,
                 const std::int32_t* part_counts, std::int32_t count) override;
  int WriteLine(const char* name, const pipObjectInfoStruct& object, const std::int32_t* points,
                const std::int32_t* part_counts, std::int32_t count) override;
  int WriteRegion(const char* name, const pipObjectInfoStruct& object, const std::int32_t* points,
                  const std::int32_t* part_counts, std::int32_t count) override;
  int CreateFilesEx(const char* base_name, long version, const char* delimiter) override;
  int CreateFiles(const char* base_name) override;
  int CloseFiles() override;
  int WriteObject(const char* name, const pipObjectInfoStruct& object, const std::int32_t* points,
                  const std::int32_t* part_counts, std::int32_t count) override;
  int DeleteFiles() override;

  // The MIF and MID names CreateFiles makes of `base_name`.
  static std::string MifName(const std::string& base_name);
  static std::string MidName(const std::string& base_name);
  const std::string& mif_name() const { return mif_.path(); }
  const std::string& mid_name() const { return mid_.path(); }
  const std::string& delimiter() const { return delimiter_; }

 private:
  int Create(const std::string& mif_path, const std::string& mid_path, long version,
             const char* delimiter);
  bool WriteHeader(long version);
  bool WriteMidRow(const char* name, const pipObjectInfoStruct& object);
  int ApplyOptions(int flags) override;
  int BeginTable(const AttributeSearch* attributes, bool geographic) override;
  // The header for columns_ (and CoordSys for a geographic file).
  bool WriteColumnsHeader(bool geographic);
  bool WritePoints(const std::int32_t* points, long n);
  bool WritePen(const pipObjectInfoStruct& object);

  lumetra::ExportTextFile mif_;
  lumetra::ExportTextFile mid_;
  std::string delimiter_;
  bool closed_ = false;
  long version_ = kDefaultVersion;
  lumetra::ExportColumns columns_;  // with options: the MID columns
};

#endif  // LUMETRA_EXPORT_MIF_EXPORTER_H
