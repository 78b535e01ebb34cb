// BNA import: the input is a .bna file imported through the C interface
// (see import_check.h for the invariants).  The input's size picks the
// build flags, the name position (1 to 3) and whether the import is
// committed.
#include <cstdint>

#include "fuzz_support.h"
#include "import_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bna = lumetra_fuzz::WriteFile("fuzz.bna", data, size);
  const int position = 1 + static_cast<int>((size >> 3) % 3);
  lumetra_fuzz::RunImport([&](int h) { return pipImportOpenBNA(h, bna.c_str(), position); },
                          static_cast<int>(size & 3), (size & 4) == 0, {"fuzz.bna"});
  lumetra_fuzz::RemoveFile("fuzz.bna");
  return 0;
}
