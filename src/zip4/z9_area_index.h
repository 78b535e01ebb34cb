// Z9AreaIndex: the ZIP Code area index of a ZIP+4 centroid file, read in
// file order.  Each entry gives a ZIP Code and the rectangle that covers
// the centroids of its records (z9_format.h, Z9AreaEntry).
//
// Opening reads block 0's area-index field and the index's 12-byte head:
// a clear top bit records code 100 "Z9 file is missing ZIP Code area
// index."; a wrong magic number (or an index that starts outside the file)
// records code 100 "Z9 file has invalid ZIP Code area index.".  Entries
// are then read on demand, a few hundred at a time; the entry count is
// trusted only as far as the file holds entries: asked for an entry the
// file does not hold, Next records the file layer's short-read code with
// the file's name as the detail.
//
// The reader opens the file on its own (a second open of the file the
// Z9Reader reads), so the two keep separate positions.
//
// Ownership: the error record is not owned and must outlive the reader.
// Thread rule: one thread at a time.
#ifndef LUMETRA_ZIP4_Z9_AREA_INDEX_H
#define LUMETRA_ZIP4_Z9_AREA_INDEX_H

#include <cstdint>
#include <vector>

#include "storage/qfile.h"
#include "zip4/z9_format.h"

class QError;

class Z9AreaIndex {
 public:
  enum class Step { kEntry, kEnd, kFailed };

  static constexpr char kMissing[] = "Z9 file is missing ZIP Code area index.";
  static constexpr char kInvalid[] = "Z9 file has invalid ZIP Code area index.";
  // Entries read from the file at once.
  static constexpr std::uint32_t kChunkEntries = 256;

  // Opens the area index of `file_name`; test ready() for the outcome.
  Z9AreaIndex(QError& err, const char* file_name);
  Z9AreaIndex(const Z9AreaIndex&) = delete;
  Z9AreaIndex& operator=(const Z9AreaIndex&) = delete;

  bool ready() const { return ready_; }
  // The entry count the index's head gives.
  std::uint32_t count() const { return count_; }

  // Starts again at the first entry.
  void Restart() { next_ = 0; }
  // The entry after the last one returned: kEntry, kEnd after the last
  // entry, kFailed when the file does not hold it (recorded).
  Step Next(lumetra::Z9AreaEntry* entry);

 private:
  bool Open(const char* file_name);
  bool ReadChunk();
  bool ShortRead(std::uint64_t offset);

  QError& err_;
  Qfile file_;
  std::uint64_t entries_offset_ = 0;  // byte position of entry 0
  std::uint32_t count_ = 0;
  std::uint32_t next_ = 0;
  std::uint32_t chunk_first_ = 0;  // entry number of chunk_[0]
  std::uint32_t chunk_count_ = 0;
  std::vector<std::uint8_t> chunk_;
  bool ready_ = false;
};

#endif  // LUMETRA_ZIP4_Z9_AREA_INDEX_H
