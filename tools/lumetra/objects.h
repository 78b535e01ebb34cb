// Reading objects of an open object file through the C interface: the
// current object's record, position, coordinates and attribute values, and
// walks over every object.
#ifndef LUMETRA_TOOLS_LUMETRA_OBJECTS_H
#define LUMETRA_TOOLS_LUMETRA_OBJECTS_H

#include <lumetra/pip.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli_common.h"

namespace lumetra_cli {

// The current object of a search: its record and its position in the file
// (the object handle, low and high halves).
struct ObjectRecord {
  pipObjectInfoStruct info{};
  std::uint64_t position = 0;

  std::string name() const;
  std::string name2() const;
  // Files built by the importer keep each object's ordinal in its colour
  // field; the attribute file is keyed by it.
  int ordinal() const { return info.penColor; }
};

// Fills `record` from the handle's current object (pipObjectGetHandle64 and
// pipObjectGetInfo).  Throws CliError with the library's message.
ObjectRecord CurrentObject(const ObjectFile& file);

// Interleaved x, y pairs of all parts and the per-part point counts.
struct ObjectCoords {
  std::vector<std::int32_t> points;
  std::vector<std::int32_t> part_counts;
};

// The current object's coordinates.  Throws CliError on failure.
ObjectCoords CurrentCoords(const ObjectFile& file);

// Calls visit(record) for every object whose name matches `pattern` (a name
// search: "*" ends a prefix, so "*" alone is every object), in name-index
// order.  Returns the number visited; throws CliError when the search fails.
int ForEachNamed(const ObjectFile& file, const std::string& pattern,
                 const std::function<void(const ObjectRecord&)>& visit);

// Calls visit(record) for every object whose rectangle meets the given one
// (file units), in spatial-index order.
int ForEachInRect(const ObjectFile& file, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                  std::int32_t y2, const std::function<void(const ObjectRecord&)>& visit);

// One field of the attribute file, as the object file lists it (the
// hidden record-id field is not among them).
struct AttributeField {
  std::string name;
  char type = 'C';  // 'C' or 'N'
  int width = 0;
  int decimals = 0;
};

// The attribute fields of an open object file and the values of its
// current object.  Without an attribute file (or with one rejected as out of
// date) available() is false and there are no fields.
class Attributes {
 public:
  explicit Attributes(const ObjectFile& file);

  bool available() const { return available_; }
  const std::vector<AttributeField>& fields() const { return fields_; }
  // Values of the current object (or ranked entry), one per field.  False
  // (and empty texts) when the object has no attribute record.
  bool Values(std::vector<std::string>* values) const;

 private:
  int handle_ = 0;
  bool available_ = false;
  std::vector<AttributeField> fields_;
};

// Checks a filter criteria text for the file: the library's validation,
// then that an unquoted value is a number (or a list of numbers for IN):
// the library would read "Pop > abc" as Pop > 0.  Throws CliError naming the
// criteria and the reason.
void CheckCriteria(const ObjectFile& file, const std::string& criteria);

// The attribute file an object file looks for: its name with a final 'b'
// or 'B' replaced by 'a'; "" when the name does not end in one.
std::string AttributeFileName(const std::string& object_file);

}  // namespace lumetra_cli

#endif  // LUMETRA_TOOLS_LUMETRA_OBJECTS_H
