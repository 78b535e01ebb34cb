// ExportColumns: the table columns of an export with the attributes option
// (pipExportSetOptions, lumetra/pip_ext.h) and each object's values in them.
//
// The columns are the visible fields of the exported object file's
// attribute file, in file order, with their type ('C' or 'N'), width and
// decimals as the attribute calls report them; then the two name columns
// (the object's name and second name, character, 128 wide) under the
// writer's labels, each left out when an attribute field has that label
// (without regard to case) -- the names came from those fields on import.
// Without an attribute file there are only the name columns.
//
// Values: attribute columns take the field's value text for the current
// object (positioned by the object file's searches; empty without a record
// or when the object comes from the caller), looked up by field name so that
// later object files with other fields fill what they have.  Name columns
// take the record's names.
//
// A value type; the AttributeSearch passed to Values must be the one of the
// object file being exported (or null).  One thread at a time.
#ifndef LUMETRA_EXPORT_EXPORT_COLUMNS_H
#define LUMETRA_EXPORT_EXPORT_COLUMNS_H

#include <lumetra/pip.h>

#include <string>
#include <vector>

class AttributeSearch;

namespace lumetra {

struct ExportColumn {
  enum class Source { kAttribute, kName, kName2 };
  std::string label;  // the column's name in the output
  char type = 'C';    // 'C' or 'N'
  int width = 128;
  int decimals = 0;
  Source source = Source::kAttribute;
};

class ExportColumns {
 public:
  static constexpr int kNameWidth = 128;

  // The columns for `attributes` (null or without file: names only), name
  // columns labelled `name_label` and `name2_label`.
  static ExportColumns Plan(const AttributeSearch* attributes, const char* name_label,
                            const char* name2_label);

  const std::vector<ExportColumn>& columns() const { return columns_; }

  // The values of `object`, one per column (see the file comment).
  std::vector<std::string> Values(const AttributeSearch* attributes,
                                  const pipObjectInfoStruct& object) const;

 private:
  std::vector<ExportColumn> columns_;
};

// Whether `text` is valid UTF-8 (ASCII included).
bool IsUtf8(const std::string& text);

}  // namespace lumetra

#endif  // LUMETRA_EXPORT_EXPORT_COLUMNS_H
