// The attribute table that comes with an import source: the MID file beside
// a MIF file (columns from the MIF header) or the dBase table beside a
// shapefile.  Rows are held as texts, one per column, in file order; the
// n-th row belongs to the n-th object the importer reads (also to the
// objects it skips).
#ifndef LUMETRA_TOOLS_LUMETRA_SOURCE_TABLE_H
#define LUMETRA_TOOLS_LUMETRA_SOURCE_TABLE_H

#include <string>
#include <vector>

namespace lumetra_cli {

// A column as its source declares it.
struct SourceColumn {
  std::string name;
  // 'C' text, 'N' number with `decimals` fixed, 'F' number whose decimals
  // the values decide (MIF Float, dBase F), 'T' other (dates, logicals),
  // stored as text.
  char kind = 'C';
  int width = 0;
  int decimals = 0;
};

struct SourceTable {
  std::string file;  // where the rows came from, for messages
  std::vector<SourceColumn> columns;
  std::vector<std::vector<std::string>> rows;

  // Index of the column named `name` (without regard to case); -1 if none.
  int Find(const std::string& name) const;
  // The column to take object names from when the caller names none: one
  // called NAME, else the first text column, else the first column.
  std::string DefaultNameColumn() const;
};

// The MIF header of `mif_path` (its Delimiter and Columns clauses) and the
// rows of the MID file beside it (same name, extension .mid/.MID).  MID
// fields end at the delimiter; a field in double quotes may hold the
// delimiter, and a doubled quote inside it stands for one.  Throws CliError
// naming the file and line for a header or file it cannot read.
SourceTable ReadMifTable(const std::string& mif_path);

// The columns and rows of the dBase table beside `shp_path` (same base
// name, .dbf), read with dbOpen/dbRead.  Text values lose their trailing
// blanks; numbers are written with the field's decimals.  Throws CliError.
SourceTable ReadDbfTable(const std::string& shp_path);

// The columns of the TAB table `tab_path` (its .tab header) and the rows of
// its .dat file, values as text (numbers without padding, dates YYYYMMDD);
// a deleted row gives empty values.  Throws CliError naming the file.
SourceTable ReadTabTable(const std::string& tab_path);

// MID field splitting, exposed for the header parser and tests: splits one
// line at `delimiter`, honouring double quotes.
std::vector<std::string> SplitMidLine(const std::string& line, char delimiter);

}  // namespace lumetra_cli

#endif  // LUMETRA_TOOLS_LUMETRA_SOURCE_TABLE_H
