// Z9Reader: keyed, ordered reading of the centroid records of a ZIP+4
// centroid file (layout in z9_format.h and docs/formats/zip4.md).
//
// Opening reads and checks block 0 (signature, checksum, version, key-level
// layout) and the top key-level block.  Seek(key) walks the three key levels
// down to the last data block whose first key is below the wanted key and
// searches that block's keys by binary search; Next() steps through the
// records in key order, crossing into the following data block at a block's
// end.  The current data block is kept decoded (all its columns), so the
// records of one block are read from the file once however they are
// visited; the last block of each key level is kept too.
//
// Distrust: every block read is checked against its checksum and the file's
// layout (key counts, record counts, column sizes, key order, and each data
// block's first key against its index entry).  A block that cannot be read
// in full records the file layer's code with "Seek: ZIP+4 centroid file.";
// a damaged block records code 111 (checksum) or 100 naming the file and the
// block.  After a failure the reader stands on no record.
//
// Memory: the decoded-column buffers are sized at open from the file's
// largest data block (at most 65151 records x 8 columns); nothing is
// allocated while reading.
//
// Ownership: the error record is not owned and must outlive the reader.
// Thread rule: one thread at a time.
//
// Usage:
//   Z9Reader z9(err, "centroids.z9");
//   if (!z9.ready()) return -1;                         // recorded
//   for (auto s = z9.Seek(606010000); s == Z9Reader::Step::kRecord; s = z9.Next()) {
//     const Z9Record& r = z9.record();  ...
//   }
#ifndef LUMETRA_ZIP4_Z9_READER_H
#define LUMETRA_ZIP4_Z9_READER_H

#include <cstdint>
#include <string>
#include <vector>

#include "storage/qfile.h"
#include "zip4/z9_format.h"

class QError;

class Z9Reader {
 public:
  enum class Step { kRecord, kEnd, kFailed };

  // Detail texts of the reader's failures.
  static constexpr char kSeekDetail[] = "Seek: ZIP+4 centroid file.";
  static constexpr char kNotInitialized[] = "ZIP+4 centroid file not initialized.";

  // Opens `file_name`; test ready() for the outcome (the reason is recorded).
  Z9Reader(QError& err, const char* file_name);
  Z9Reader(const Z9Reader&) = delete;
  Z9Reader& operator=(const Z9Reader&) = delete;

  bool ready() const { return ready_; }
  const lumetra::Z9Header& header() const { return header_; }
  const char* file_name() const { return file_.name(); }

  // Positions the reader on the first record whose nine-digit key (ZIP Code
  // x 10000 + add-on) is at least `nine_digit_key`.  kEnd when there is
  // none; kFailed when a block cannot be read or is damaged (recorded), or
  // when the reader is not ready (code 100, kNotInitialized).
  Step Seek(std::uint32_t nine_digit_key);
  // Steps to the next record in key order.  kEnd after the last record (and
  // when the reader stands on none); kFailed as for Seek.
  Step Next();
  // The current record.  REQUIRES: the last Seek or Next gave kRecord.
  const lumetra::Z9Record& record() const { return record_; }

  // Data blocks read and decoded since open (cache misses).
  std::uint64_t data_block_loads() const { return data_loads_; }

 private:
  // One cached block of a key level.
  struct LevelCache {
    std::uint32_t block = 0;  // 0: none (block 0 is never a key level)
    std::vector<std::uint32_t> keys;
  };

  bool Open(const char* file_name);
  bool ReadBlock(std::uint32_t block, std::uint8_t* out);
  // The keys of the index-th block of the level starting at `first`, which
  // indexes `children` blocks below it.
  const std::vector<std::uint32_t>* LevelBlock(LevelCache& cache, std::uint32_t first,
                                               std::uint32_t index, std::uint64_t children);
  // The data block index holding the first key >= `key`'s predecessor.
  bool FindDataBlock(std::uint32_t key, std::uint32_t* data_index, std::uint32_t* first_key);
  bool LoadData(std::uint32_t data_index, bool check_first, std::uint32_t first_key);
  Step StandOn(std::uint32_t i);
  Step Failed();
  void Damaged(const char* what, std::uint32_t block, const std::string& why);

  QError& err_;
  Qfile file_;
  lumetra::Z9Header header_;
  LevelCache levels_[3];
  lumetra::Z9Columns columns_;
  std::vector<std::uint8_t> block_;
  std::int64_t loaded_ = -1;    // data block index held by columns_, -1 none
  std::uint32_t position_ = 0;  // record index within the loaded block
  bool on_record_ = false;
  lumetra::Z9Record record_;
  std::uint64_t data_loads_ = 0;
  bool ready_ = false;
};

#endif  // LUMETRA_ZIP4_Z9_READER_H
