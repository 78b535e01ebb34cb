// CpmaOutputs: the three output object files of the market-area service
// (primary, secondary, tertiary) and the writing of polygons into them.
//
// Each slot has a file name (".zon" appended unless the name already ends
// so), the object-file builder it writes through and the number of objects
// written.  Slots naming the same file share one builder: the secondary
// the primary's, the tertiary the primary's or else the secondary's.  An
// empty name leaves its slot closed.
//
// Closing finishes (commit) or discards each builder once, tertiary first:
// a builder is finished when commit is asked and objects were written
// through it, by any of the slots sharing it; every builder is then
// destroyed, so a file that received nothing, or was closed without
// commit, is not kept.
//
// Ownership: owns its builders; the error record (the library's) outlives
// it.  Thread rule: one thread at a time.
#ifndef LUMETRA_PMA_PMA_OUTPUTS_H
#define LUMETRA_PMA_PMA_OUTPUTS_H

#include <array>
#include <memory>
#include <string>

#include "pma/point_list.h"

class ObjectFileBuild;
class pipError;

class CpmaOutputs {
 public:
  static constexpr int kLevels = 3;
  // The object limits of market-area files.
  static constexpr int kPointLimit = 30000;
  static constexpr int kPolygonLimit = 3;
  // Longest file name kept, before the extension is added.
  static constexpr std::size_t kMaxName = 259;

  explicit CpmaOutputs(pipError& error);
  // Closes without commit.
  ~CpmaOutputs();
  CpmaOutputs(const CpmaOutputs&) = delete;
  CpmaOutputs& operator=(const CpmaOutputs&) = delete;

  // Closes the current outputs with commit, then opens the named ones
  // (null or "" for none) for coordinate-type code `coordinate_type`
  // (segment records when it is 1).  1, or the failing open's result after
  // "Error opening %s - err = %d \n" on standard output and closing every
  // output without commit.
  int Open(int coordinate_type, const char* primary, const char* secondary, const char* tertiary);
  // Closes every output as described above: 1, or -1 when a finish failed.
  int Close(bool commit);

  bool IsOpen(int level) const { return slots_[static_cast<std::size_t>(level)].build != nullptr; }

  // Writes `polygon` as region "PMA <store> <suffix>" into output `level`,
  // with `hole` as a second part when it is given and not empty.  An empty
  // polygon writes nothing.  False after a failure the builder reported.
  // REQUIRES: IsOpen(level).
  bool Write(int level, const char* store, const char* suffix, const CpmaPointList& polygon,
             const CpmaPointList* hole);

 private:
  struct Slot {
    std::string name;
    ObjectFileBuild* build = nullptr;  // owned by owned_[k] of the slot that opened it
    int written = 0;
  };

  // Opens slot `level`'s own builder: 1 or the open's result.
  int OpenBuild(int level, int coordinate_type);

  pipError& error_;
  std::array<Slot, kLevels> slots_;
  std::array<std::unique_ptr<ObjectFileBuild>, kLevels> owned_;
};

#endif  // LUMETRA_PMA_PMA_OUTPUTS_H
