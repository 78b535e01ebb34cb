// TabTableReader: a table opened for reading -- its column definitions
// (.tab), rows (.dat), object positions (.id) and objects (.map).  A table
// without .map and .id files has rows only; a .map without its .id (or the
// reverse) is refused, as is an .id too short for the rows.
//
// Ownership: owns the open member files and the buffers fetched objects
// point into.  Thread rule: one thread at a time.
#ifndef LUMETRA_TAB_TAB_TABLE_READER_H
#define LUMETRA_TAB_TAB_TABLE_READER_H

#include <cstdint>
#include <string>
#include <vector>

#include "tab/dat_file.h"
#include "tab/map_object.h"
#include "tab/map_reader.h"
#include "tab/tab_definition.h"
#include "tab/tab_file.h"
#include "tab/tab_library.h"

namespace lumetra::tab {

class TabTableReader {
 public:
  // Opens the table whose .tab file is `path`; throws TabError.
  explicit TabTableReader(const std::string& path);

  std::int32_t rows() const { return dat_.rows(); }
  const std::vector<TabField>& fields() const { return fields_; }
  // Objects by kind from the .map header (all 0 without one).
  void ObjectCounts(std::int32_t* points, std::int32_t* lines, std::int32_t* regions,
                    std::int32_t* others) const;
  // Row `row` (1 .. rows()) as TXFetchRow describes; the object's pointers
  // stay valid until the next Fetch.
  void Fetch(std::int32_t row, std::string* text, TXObject* object);
  // The values of `row` one by one, unquoted (DatReader::RowValues); false,
  // with no values, for a deleted row.
  bool Values(std::int32_t row, std::vector<std::string>* values);

 private:
  void FillObject(TXObject* object);
  void CheckRow(std::int32_t row) const;

  std::string path_;
  std::vector<TabField> fields_;
  DatReader dat_;
  bool has_map_ = false;
  MapReader map_;
  TabFile id_;
  MapObject current_;
  std::vector<TXSection> sections_;
};

}  // namespace lumetra::tab

#endif  // LUMETRA_TAB_TAB_TABLE_READER_H
