// The .dat member of a table: the rows, in a dBase-like layout.
//
// A 32-byte header (row count u32 at 4, header length u16 at 8, record
// length u16 at 10), one 32-byte descriptor per column (name at 0, width
// byte at 16, decimals at 17), the byte 0x0D, then one record per row: a
// deletion flag (' ' or '*') and the columns' bytes one after another.
// Char columns hold text padded with NUL or blanks; Decimal columns text;
// the other types are binary, little-endian: Integer i32, SmallInt i16,
// LargeInt i64, Float double, Date (i16 year, u8 month, u8 day), Time (i32
// milliseconds after midnight), DateTime (Date then Time), Logical 'T'/'F'.
// The column types come from the .tab header, the widths must agree.
#ifndef LUMETRA_TAB_DAT_FILE_H
#define LUMETRA_TAB_DAT_FILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "tab/tab_definition.h"
#include "tab/tab_file.h"

namespace lumetra::tab {

// Reads rows.  REQUIRES: Open before the other calls.
class DatReader {
 public:
  // Opens `path` and checks its header against `fields` (from the .tab):
  // same column count and widths, a record length that is their sum, and a
  // file long enough for every row its header counts.  Throws TabError.
  void Open(const std::string& path, const std::vector<TabField>& fields);

  std::int32_t rows() const { return rows_; }

  // The values of `row` (1 .. rows()) as TAB-separated text: text-like
  // values quoted, numbers bare (tab_library.h).  False, with *text empty,
  // for a deleted row.
  bool RowText(std::int32_t row, std::string* text);
  // The values of `row` one by one, unquoted (dates as YYYYMMDD, times as
  // HH:MM:SS, logicals as T or F); *quoted[i] tells whether the row text
  // quotes value i.  False, with no values, for a deleted row.
  bool RowValues(std::int32_t row, std::vector<std::string>* values, std::vector<bool>* quoted);

 private:
  // The text of one value and whether the row text quotes it.
  std::string ValueText(const TabField& field, const std::uint8_t* bytes, bool* quoted) const;

  TabFile file_;
  std::vector<TabField> fields_;
  std::uint32_t header_length_ = 0;
  std::uint32_t record_length_ = 0;
  std::int32_t rows_ = 0;
  std::vector<std::uint8_t> record_;
};

// Writes rows.  Rows are appended; Finish writes the row count into the
// header.  REQUIRES: Create before the other calls.
class DatWriter {
 public:
  // Creates `path` with the header of `fields` (row count 0 until Finish).
  void Create(const std::string& path, const std::vector<TabField>& fields);
  // The record of the next row; values[i] is the text of column i (missing
  // values are empty).  Throws TabError (kTXErrArgument) for a value its
  // column cannot hold, naming row, column and value.
  std::vector<std::uint8_t> EncodeRow(const std::vector<std::string>& values) const;
  // Appends a record made by EncodeRow.
  void AppendRow(const std::vector<std::uint8_t>& record);
  // Rewrites the header with the row count, ends the file and closes it.
  void Finish();
  // Closes without finishing (the file stays as written so far).
  void Abandon();

  std::uint32_t rows() const { return rows_; }

 private:
  void EncodeValue(const TabField& field, const std::string& value, std::uint8_t* out) const;
  std::vector<std::uint8_t> Header() const;

  TabFile file_;
  std::vector<TabField> fields_;
  std::uint32_t record_length_ = 1;
  std::uint32_t rows_ = 0;
};

}  // namespace lumetra::tab

#endif  // LUMETRA_TAB_DAT_FILE_H
