// Attribute files for the data library and search tests: field
// descriptions, and small data library files written with the data
// library's builder, keyed by object ordinal ('N' keys).
//
// The builder puts scratch files into the current directory: callers run
// inside a lumetra_test::ScopedChdir of a temporary directory.
#ifndef LUMETRA_TESTS_SUPPORT_ATTRIBUTE_FILES_H
#define LUMETRA_TESTS_SUPPORT_ATTRIBUTE_FILES_H

#include <stdexcept>
#include <string>
#include <vector>

#include "datalib/dl_file_builder.h"
#include "frame/error.h"

namespace attribute_test {

struct Table {
  std::string key_field = "recid";
  std::string stamp;
  std::vector<DlFieldSpec> fields;
  std::vector<std::vector<std::string>> rows;  // one text per field
};

inline DlFieldSpec Field(const std::string& id, char type, int width, int decimals = 0) {
  DlFieldSpec f;
  f.id = id;
  f.section = id;
  f.type = type;
  f.width = width;
  f.decimals = decimals;
  return f;
}

// The fields most tests use: recid (the key) first, then NAME, POP, AREA
// (2 decimals) and CODE ('C' with 1 decimal).
inline Table SampleTable() {
  Table t;
  t.fields = {Field("recid", 'N', 10, 0), Field("NAME", 'C', 30, 0), Field("POP", 'N', 10, 0),
              Field("AREA", 'N', 12, 2), Field("CODE", 'C', 8, 1)};
  t.rows = {{"1", "Smithfield", "1200", "12.5", "7"},
            {"2", "smith", "800", "3.25", "12.5"},
            {"3", "Jones", "45000", "0.75", "x"}};
  return t;
}

inline void WriteTable(const std::string& path, const Table& t) {
  QError err;
  DlBuilderOptions options;
  options.key_type = 'N';
  options.key_field = t.key_field;
  options.stamp = t.stamp;
  options.page_size = 1024;
  DlFileBuilder builder(err, options);
  bool ok = builder.Create(path.c_str());
  for (const DlFieldSpec& f : t.fields) ok = ok && builder.AddField(f);
  for (const auto& row : t.rows) {
    std::vector<const char*> values;
    for (const std::string& v : row) values.push_back(v.c_str());
    ok = ok && builder.AddRecord(values.data());
  }
  ok = ok && builder.Finish();
  if (!ok) throw std::runtime_error(std::string("attribute file not written: ") + err.detail());
}

}  // namespace attribute_test

#endif  // LUMETRA_TESTS_SUPPORT_ATTRIBUTE_FILES_H
