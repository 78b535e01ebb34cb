// TabTableWriter: a table being created.  The .tab header is written when
// the table is made; rows are appended to the .dat file, their objects to
// the .map file and the objects' positions to the .id file; Finish
// completes the headers and closes the files.  A table that is dropped
// unfinished keeps what was written, with headers that do not count it.
//
// Ownership: owns the member files.  Thread rule: one thread at a time.
#ifndef LUMETRA_TAB_TAB_TABLE_WRITER_H
#define LUMETRA_TAB_TAB_TABLE_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

#include "tab/dat_file.h"
#include "tab/map_writer.h"
#include "tab/tab_definition.h"
#include "tab/tab_file.h"
#include "tab/tab_library.h"

namespace lumetra::tab {

class TabTableWriter {
 public:
  // Creates the table `path` (.tab; .dat, and .map with .id when
  // info.has_map is set); throws TabError after removing what it made.
  TabTableWriter(const std::string& path, const TXFieldDef* defs, int num_fields,
                 const TXTableInfo& info);
  ~TabTableWriter();
  TabTableWriter(const TabTableWriter&) = delete;
  TabTableWriter& operator=(const TabTableWriter&) = delete;

  // Appends a row (see TXInsertRow); returns its number.  A refused row
  // leaves the table as it was.
  std::uint32_t Insert(const char* text, const TXObject* object);
  // Completes and closes the member files.
  void Finish();

 private:
  void Create(const TXFieldDef* defs, int num_fields, const TXTableInfo& info);
  std::vector<std::string> SplitValues(const char* text) const;
  bool ToMapObject(const TXObject* object, MapObject* out) const;
  void RemoveFiles() const;

  std::string path_;
  std::vector<TabField> fields_;
  DatWriter dat_;
  bool has_map_ = false;
  MapWriter map_;
  TabFile id_;
  bool finished_ = false;
  MapObject scratch_;
};

}  // namespace lumetra::tab

#endif  // LUMETRA_TAB_TAB_TABLE_WRITER_H
