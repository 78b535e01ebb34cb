// Writes the attribute file of an imported object file through the data
// library builder (DlBuilder* of lumetra/datalib.h).
//
// Layout of the file written: key type 'N'; first the key field "recid"
// ('N', width 11, no decimals) holding the ordinal under which the object
// file looks the record up; then one field per source column, in source
// order.  Field identifiers are the column names cut to 11 characters (so
// pipAttributeInfoStruct.name always holds a terminator), made unique
// without regard to case by a "_2", "_3", ... suffix; a column called
// "recid" or "qrecid" is renamed the same way, since those names mark the
// record-id field.  The stamp is the object file's creation-time text.
//
// Column types: text columns become 'C' fields as wide as the widest of the
// declared width and the longest value (at most 255).  Numeric columns
// become 'N' fields with the declared decimals (for MIF Float columns: the
// most decimals any value has, at most 9) when every value is a plain
// decimal number whose value times 10^decimals fits a signed 32-bit integer
// -- the data library stores numbers that way -- and 'C' fields holding the
// texts otherwise, so that no value is altered.  Dates and logicals are 'C'.
#ifndef LUMETRA_TOOLS_LUMETRA_ATTRIBUTE_WRITER_H
#define LUMETRA_TOOLS_LUMETRA_ATTRIBUTE_WRITER_H

#include <string>
#include <vector>

#include "source_table.h"

namespace lumetra_cli {

// One field of the attribute file as planned from the source table.
struct PlannedField {
  std::string id;
  char type = 'C';
  int width = 1;
  int decimals = 0;
  std::size_t column = 0;  // index into SourceTable::columns
};

// The fields for `table`'s columns (without the key field).
std::vector<PlannedField> PlanFields(const SourceTable& table);

// `text` as a decimal number with exactly `decimals` decimals (rounded half
// away from zero; blank reads 0).  False when it is not a plain decimal
// number or its value times 10^decimals does not fit 32 bits.
bool CanonicalNumber(const std::string& text, int decimals, std::string* out);

// One record to write: the key (the object's ordinal) and the source row.
struct AttributeRecord {
  int key = 0;
  std::size_t row = 0;
};

// Writes `path` (replacing any file of that name).  Throws CliError with
// the data library's message on failure; no partial file is left.
void WriteAttributeFile(const std::string& path, const std::string& stamp, const SourceTable& table,
                        const std::vector<PlannedField>& fields,
                        const std::vector<AttributeRecord>& records);

}  // namespace lumetra_cli

#endif  // LUMETRA_TOOLS_LUMETRA_ATTRIBUTE_WRITER_H
