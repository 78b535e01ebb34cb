// The .tab member of a table: the text header that names the table's
// columns and their types.
//
//   !table
//   !version 300
//   !charset Neutral
//
//   Definition Table
//     Type NATIVE Charset "Neutral"
//     Fields 2
//       NAME Char (128) ;
//       POP Integer ;
//
// Only native tables (rows in a .dat file) are read; views, seamless and
// raster tables are refused.  Lines after the column list (metadata) are
// ignored.
#ifndef LUMETRA_TAB_TAB_DEFINITION_H
#define LUMETRA_TAB_TAB_DEFINITION_H

#include <cstdint>
#include <string>
#include <vector>

namespace lumetra::tab {

// Most columns a table may declare.
constexpr int kMaxFields = 4096;
// Widest Char or Decimal column.
constexpr int kMaxCharWidth = 254;

struct TabField {
  std::string name;
  std::uint8_t type = 0;  // kTXChar ...
  int width = 0;          // bytes in the .dat record
  int decimals = 0;
};

// The bytes a column of a binary type takes in a record; 0 for Char and
// Decimal, whose width the definition gives.
int FixedWidth(std::uint8_t type);

// Parses the text of `path`; throws TabError (kTXErrFormat) naming the
// path and the line that cannot be understood.
std::vector<TabField> ParseTabDefinition(const std::string& text, const std::string& path);

// The header text for `fields`, at the lowest version that holds their
// types.
std::string FormatTabDefinition(const std::vector<TabField>& fields);

}  // namespace lumetra::tab

#endif  // LUMETRA_TAB_TAB_DEFINITION_H
