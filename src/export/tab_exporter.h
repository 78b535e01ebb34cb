// CspaTABExporter: writes objects as a TAB table (.tab, .dat, .map, .id)
// through the TAB table library (tab/tab_library.h), with two Char(128)
// columns, NAME and NAME2.
//
// The table is made for longitude/latitude on WGS 84 with bounds of
// +-1,000 in both axes, which puts the .map file's integer grid at one
// millionth: every coordinate of the object file (file units / 1,000,000,
// see ToOutputUnits) is stored exactly.  Each object becomes one row, in
// the order written (rows 1, 2, 3 ...), with the row text "NAME\tNAME2" and
// its object:
//   point                        type 201, the object's first point
//   line of one part of 2 points type 202
//   line of one part otherwise   type 204 (a poly-line)
//   line of several parts        type 210, one section per part
//   region                       type 205, one ring per part (a single
//                                ring is closed here, several rings are
//                                handed over as stored and closed by the
//                                library)
// A row the library refuses is reported (code 100, "TXInsertRow (row=%lu)
// failed, reason = %u!", with the library's reason quoted into WriteObject's
// message) and leaves the table usable for the next object.  Names holding
// a TAB character cannot be written (the row text would split there).
// DeleteFiles removes nothing: a TAB export ended without commit keeps the
// rows written so far.
//
// Ownership: owns the table handle; a table still open when the exporter
// goes away is finished.  Thread rule: one thread at a time.
#ifndef LUMETRA_EXPORT_TAB_EXPORTER_H
#define LUMETRA_EXPORT_TAB_EXPORTER_H

#include <cstdint>
#include <string>
#include <vector>

#include "export/exporter.h"
#include "tab/tab_library.h"

class CspaTABExporter : public CspaExporter {
 public:
  static constexpr int kNameLength = 128;

  // `type_code`: the current type code until the first object sets its own.
  CspaTABExporter(pipLibraryContext& library, int type_code);
  ~CspaTABExporter() override;

  int WritePoint(const char* name, const pipObjectInfoStruct& object, const std::int32_t* points,
                 const std::int32_t* part_counts, std::int32_t count) override;
  int WriteLine(const char* name, const pipObjectInfoStruct& object, const std::int32_t* points,
                const std::int32_t* part_counts, std::int32_t count) override;
  int WriteRegion(const char* name, const pipObjectInfoStruct& object, const std::int32_t* points,
                  const std::int32_t* part_counts, std::int32_t count) override;
  // The same as CreateFiles.
  int CreateFilesEx(const char* base_name, long version, const char* delimiter) override;
  // Creates the table `base_name` (the name as given: "out.tab").
  int CreateFiles(const char* base_name) override;
  // Finishes and closes the table, ends use of the library; -1 when either
  // fails.
  int CloseFiles() override;
  int WriteObject(const char* name, const pipObjectInfoStruct& object, const std::int32_t* points,
                  const std::int32_t* part_counts, std::int32_t count) override;
  // Removes nothing (see the file comment).
  int DeleteFiles() override;

  int type_code() const { return type_code_; }
  std::uint32_t rows_written() const { return row_counter_; }

 private:
  // Copies `count` parts of `points` into the point buffer as output units,
  // each part closed when `close`, and fills the part list.
  bool FillSections(const std::int32_t* points, const std::int32_t* part_counts, std::int32_t count,
                    bool close);
  int InsertRow(const pipObjectInfoStruct& object);

  int table_ = 0;
  bool library_started_ = false;
  TXFieldDef fields_[2] = {};
  TXObject record_;
  int type_code_;
  std::uint32_t row_counter_ = 0;
  std::vector<double> points_;
  std::vector<TXSection> parts_;
};

#endif  // LUMETRA_EXPORT_TAB_EXPORTER_H
