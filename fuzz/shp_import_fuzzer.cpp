// Shapefile import: the input is a .shp file, then (after member
// separators) its .shx index and its .dbf table, imported through the C
// interface (see import_check.h for the invariants).  Missing members are
// missing files.  The input's size picks the build flags, the name columns
// and whether the import is committed.
#include <cstdint>

#include "fuzz_support.h"
#include "import_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const char* const kNames[] = {"fuzz.shp", "fuzz.shx", "fuzz.dbf"};
  const std::vector<std::string> members = lumetra_fuzz::SplitMembers(data, size, 3);
  std::vector<std::string> inputs;
  for (std::size_t i = 0; i < members.size(); ++i) {
    lumetra_fuzz::WriteFile(kNames[i], members[i]);
    inputs.push_back(kNames[i]);
  }
  const std::string base = lumetra_fuzz::ScratchDir() + "/fuzz.shp";
  const char* column = (size & 8) != 0 ? "NAME" : nullptr;
  const char* column2 = (size & 16) != 0 ? "FIPS" : nullptr;
  lumetra_fuzz::RunImport([&](int h) { return pipImportOpenSHP(h, base.c_str(), column, column2); },
                          static_cast<int>(size & 3), (size & 4) == 0, inputs);
  for (const std::string& name : inputs) lumetra_fuzz::RemoveFile(name);
  return 0;
}
