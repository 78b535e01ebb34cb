// MIF/MID import: the input is a .mif file, optionally followed by a member
// separator and its .mid file, imported through the C interface (see
// import_check.h for the invariants).  The input's size picks the build
// flags (segments, compression) and whether the import is committed.
#include <cstdint>

#include "fuzz_support.h"
#include "import_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> members = lumetra_fuzz::SplitMembers(data, size, 2);
  const std::string mif = lumetra_fuzz::WriteFile("fuzz.mif", members[0]);
  std::vector<std::string> inputs = {"fuzz.mif"};
  if (members.size() > 1) {
    lumetra_fuzz::WriteFile("fuzz.mid", members[1]);
    inputs.push_back("fuzz.mid");
  }
  lumetra_fuzz::RunImport(
      [&](int h) { return pipImportOpenMIF2(h, mif.c_str(), "", (size & 8) != 0 ? "" : nullptr); },
      static_cast<int>(size & 3), (size & 4) == 0, inputs);
  for (const std::string& name : inputs) lumetra_fuzz::RemoveFile(name);
  return 0;
}
