// dBase tables through the db* interface: the input is a .dbf file.  Every
// field is described consistently, records read in order and the same
// records read again by number give the same values.
#include <lumetra/dbf.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

constexpr int kMaxRecords = 300;

std::string RecordText(const dbTable& t) {
  std::string text;
  for (int i = 0; i < t.numFields; ++i) {
    const dbField& f = t.fields[i];
    FUZZ_CHECK(lumetra_fuzz::Terminated(f.name, sizeof f.name));
    switch (f.type) {
      case 'N':
      case 'F': {
        char number[64];
        std::snprintf(number, sizeof number, "%.17g", f.value.number);
        text += number;
        break;
      }
      case 'L':
        text += f.value.logical;
        break;
      default:
        FUZZ_CHECK(lumetra_fuzz::Terminated(f.value.text, sizeof f.value.text));
        text += f.value.text;
    }
    text += '|';
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = lumetra_fuzz::WriteFile("fuzz.dbf", data, size);
  dbTable table;
  std::memset(&table, 0, sizeof table);
  if (dbOpen(&table, path.c_str()) != DB_OK) return 0;
  FUZZ_CHECK(table.mode == DB_MODE_READ && table.numFields >= 0);
  FUZZ_CHECK(table.numFields == 0 || table.fields != nullptr);
  std::vector<std::string> records;
  int r = DB_OK;
  while (records.size() < kMaxRecords && (r = dbRead(&table)) == DB_OK) {
    records.push_back(RecordText(table));
  }
  FUZZ_CHECK(r == DB_OK || r == DB_END || r == DB_ERROR);
  // Records read by number start at the header length; read in order they
  // follow the descriptors: the same place only when the header length is
  // 32 x fields + 33.
  if (table.headerLength != 32 * table.numFields + 33) records.clear();
  for (std::size_t i = records.size(); i-- > 0;) {
    FUZZ_CHECK(dbReadByRecno(&table, static_cast<int>(i)) == DB_OK);
    FUZZ_CHECK(RecordText(table) == records[i]);
  }
  FUZZ_CHECK(dbClose(&table) == 0);
  return 0;
}
