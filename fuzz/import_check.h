// The import run shared by the reader targets (MIF/MID, BNA, shapefile):
// an import handle building fuzz.lmb from the reader the caller opens, read
// to the end (capped), then committed or dropped.  Invariants: every read
// answers -1, 0, 1 or 2 with a terminated name and a percentage in 0..100;
// a committed file holds every object it counts in its name index, and
// validates unless none of its objects has a position (a validation is a
// rectangle search over the file's bounds, and such a file has none); and
// whatever happens, nothing is left behind but the inputs and a committed
// output with its attribute file.
#ifndef LUMETRA_FUZZ_IMPORT_CHECK_H
#define LUMETRA_FUZZ_IMPORT_CHECK_H

#include <lumetra/pip.h>

#include <string>
#include <vector>

#include "fuzz_support.h"

namespace lumetra_fuzz {

constexpr int kMaxImportReads = 2000;
constexpr int kMaxCountedObjects = 2000;
// Limits an input of a few kilobytes can exceed (an object of 400 points
// takes 1.6 KB as text, 6.4 KB as a shapefile record), so the too-large and
// split paths are reached; they also keep the builder's scratch arrays small.
constexpr int kMaxPoints = 400;
constexpr int kMaxParts = 40;

// Objects found by a name search for "*" (capped).
inline int CountObjects(const std::string& path) {
  int h = 0;
  FUZZ_CHECK(pipObjectFileOpen(LibraryHandle(), path.c_str(), 0, &h) == 1);
  char name[PIP_NAME_SIZE];
  int count = 0;
  for (int r = pipObjectFindFirstName(h, "*", name, sizeof name);
       r == 1 && count <= kMaxCountedObjects; r = pipObjectFindNext(h, name, sizeof name)) {
    ++count;
  }
  FUZZ_CHECK(pipObjectFileClose(h) == 1);
  return count;
}

// Runs one import: open(import_handle) attaches the reader (its result is
// returned by the opener).  flags: PIP_FILE_SEGMENTS / PIP_FILE_COMPRESSED.
// inputs: the names of the input members in the scratch directory.
template <class Open>
void RunImport(Open&& open, int flags, bool commit, const std::vector<std::string>& inputs) {
  pipObjectFileInfoStruct info{};
  info.maxPoints = kMaxPoints;
  info.maxParts = kMaxParts;
  info.coordType = PIP_COORD_GEOGRAPHIC;
  info.flags = flags;
  int h = 0;
  const std::string out = ScratchDir() + "/fuzz.lmb";
  FUZZ_CHECK(pipImportInit(LibraryHandle(), out.c_str(), &info, &h) == 1);
  if (open(h) == 1) {
    char name[PIP_NAME_SIZE];
    for (int n = 0; n < kMaxImportReads; ++n) {
      int percent = -1, line = -1;
      const int r = pipImportRead(h, name, sizeof name, &percent, &line);
      FUZZ_CHECK(r >= -1 && r <= 2);
      FUZZ_CHECK(Terminated(name, sizeof name));
      if (r >= 0) FUZZ_CHECK(percent >= 0 && percent <= 100);
      if (r <= 0) break;
    }
    FUZZ_CHECK(pipImportClose(h) == 1);
  }
  const int finished = pipImportTerm(h, commit ? 1 : 0);
  std::vector<std::string> allowed = inputs;
  if (commit && finished == 1) {
    allowed.push_back("fuzz.lmb");
    allowed.push_back("fuzz.lma");
    pipObjectFileInfoStruct written;
    FUZZ_CHECK(pipObjectFileQuery(LibraryHandle(), out.c_str(), &written) == 1);
    const int total = written.numPointObjects + written.numLineObjects + written.numRegionObjects;
    if (total > 0 && total <= kMaxCountedObjects) {
      FUZZ_CHECK(CountObjects(out) == total);
      // Objects without points (an empty region) widen no bounds.
      if (written.minX <= written.maxX) {
        FUZZ_CHECK(pipObjectFileValidate(LibraryHandle(), out.c_str()) == 1);
      }
    }
  }
  FUZZ_CHECK(ScratchHoldsOnly(allowed));
  RemoveFile("fuzz.lmb");
  RemoveFile("fuzz.lma");
}

}  // namespace lumetra_fuzz

#endif  // LUMETRA_FUZZ_IMPORT_CHECK_H
