// The attribute table of a TAB import source: the columns of the .tab
// header and the rows of the .dat file, read with the library's own TAB
// table reader.
#include <string>
#include <vector>

#include "cli_common.h"
#include "source_table.h"
#include "tab/tab_error.h"
#include "tab/tab_library.h"
#include "tab/tab_table_reader.h"

namespace lumetra_cli {
namespace {

SourceColumn ColumnOf(const lumetra::tab::TabField& field) {
  SourceColumn column;
  column.name = field.name;
  column.width = field.width;
  column.decimals = field.decimals;
  switch (field.type) {
    case kTXChar:
      column.kind = 'C';
      break;
    case kTXInteger:
    case kTXSmallInt:
    case kTXLargeInt:
      column.kind = 'N';
      column.width = field.type == kTXSmallInt ? 6 : field.type == kTXInteger ? 11 : 20;
      column.decimals = 0;
      break;
    case kTXDecimal:
      column.kind = 'N';
      break;
    case kTXFloat:
      column.kind = 'F';
      column.width = 20;
      break;
    default:
      column.kind = 'T';  // date, time, datetime, logical
      column.width = 20;
      break;
  }
  return column;
}

}  // namespace

SourceTable ReadTabTable(const std::string& tab_path) {
  SourceTable table;
  table.file = tab_path;
  try {
    lumetra::tab::TabTableReader reader(tab_path);
    for (const lumetra::tab::TabField& field : reader.fields()) {
      table.columns.push_back(ColumnOf(field));
    }
    std::vector<std::string> values;
    for (std::int32_t row = 1; row <= reader.rows(); ++row) {
      // A deleted row still stands for one (skipped) object of the import.
      if (!reader.Values(row, &values)) values.assign(table.columns.size(), std::string());
      table.rows.push_back(values);
    }
  } catch (const lumetra::tab::TabError& e) {
    throw CliError(std::string("cannot read the TAB table: ") + e.what());
  }
  return table;
}

}  // namespace lumetra_cli
