// Shapefiles and dBase tables written and read through the library's own
// Shape* and db* routines, for the shapefile, import and export tests.
// Header-only: it needs the shapefile module.
#ifndef LUMETRA_TESTS_SUPPORT_IO_SHAPEFILE_H
#define LUMETRA_TESTS_SUPPORT_IO_SHAPEFILE_H

#include <gtest/gtest.h>
#include <lumetra/dbf.h>
#include <lumetra/shapefile.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shapefile/stdio_support.h"

namespace lumetra_test {

using Ring = std::vector<double>;  // x, y pairs

inline dbField DbfField(const char* name, char type, int length, int decimals = 0) {
  dbField field;
  std::memset(&field, 0, sizeof field);
  std::snprintf(field.name, sizeof field.name, "%s", name);
  field.type = type;
  field.length = static_cast<unsigned char>(length);
  field.decimals = static_cast<unsigned char>(decimals);
  return field;
}

inline void SetText(dbField* field, const std::string& text) {
  std::memset(field->value.text, 0, sizeof field->value.text);
  std::snprintf(field->value.text, sizeof field->value.text, "%s", text.c_str());
}

// Sets a field's value from text: 'N' and 'F' parsed as numbers, 'L' its
// first character, others the text itself.
inline void SetValue(dbField* field, const std::string& text) {
  SetText(field, "");
  if (field->type == 'N' || field->type == 'F') {
    field->value.number = std::strtod(text.c_str(), nullptr);
  } else if (field->type == 'L') {
    field->value.logical = text.empty() ? ' ' : text[0];
  } else {
    SetText(field, text);
  }
}

// Writes base.dbf with `fields` and one record per row of texts.
inline void WriteDbf(const std::string& base, std::vector<dbField> fields,
                     const std::vector<std::vector<std::string>>& rows) {
  dbTable table{};
  table.numFields = static_cast<int>(fields.size());
  table.fields = fields.data();
  ASSERT_EQ(dbCreate(&table, base.c_str()), 0);
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < fields.size(); ++i) SetValue(&fields[i], row[i]);
    ASSERT_EQ(dbWrite(&table), 0);
  }
  ASSERT_EQ(dbClose(&table), 0);
}

inline int WritePolyRings(shpFile* shape, const std::vector<Ring>& rings, int type) {
  std::vector<shpPart> parts;
  for (const Ring& ring : rings) {
    parts.push_back(shpPart{static_cast<int>(ring.size() / 2), const_cast<double*>(ring.data())});
  }
  const shpPartList list{static_cast<int>(parts.size()), parts.data()};
  return ShapeWritePoly(shape, &list, type);
}

// The poly read last, as rings.
inline std::vector<Ring> ReadRings(const shpFile& shape) {
  std::vector<Ring> rings;
  for (int i = 0; i < shape.numParts; ++i) {
    const double* points = shape.parts[i].points;
    rings.emplace_back(points, points + 2 * shape.parts[i].numPoints);
  }
  return rings;
}

// Lifts the test limits on allocations and writes of the shapefile module
// when it goes away.
struct FaultInjection {
  ~FaultInjection() {
    lumetra::shapefile::SetAllocationLimitForTest(SIZE_MAX);
    lumetra::shapefile::FailWritesAfterForTest(-1);
  }
};

// The public structures are packed: their pointer members may be
// misaligned, so tests compare copies instead of binding references to them.
template <typename T>
T Copy(T value) {
  return value;
}

}  // namespace lumetra_test

#endif  // LUMETRA_TESTS_SUPPORT_IO_SHAPEFILE_H
