// Z9Writer: writes a ZIP+4 centroid file in the layout Z9Reader and
// Z9AreaIndex read (z9_format.h, docs/formats/zip4.md).
//
// Records are added in ascending key order (ZIP Code, then add-on; equal
// keys keep their order).  Data blocks are written as they fill: each holds
// the longest run of pending records whose column streams fit the block
// (found by probing encoded sizes, which only grow with the run), at most
// `max_block_records`.  The ZIP Code area entry of each ZIP Code is the
// smallest rectangle of whole 2000-unit cells covering its records'
// centroids.  Finish writes the three key levels, the area index and block
// 0, then renames the file into place.
//
// Files being written are never left half-done: the writer writes
// "<name>.partial" and renames it to the final name only when Finish
// succeeds; a writer destroyed before that (or failing) removes the
// partial file, and an existing file of the final name is left untouched.
//
// Errors (recorded in the error record, the writer then refuses further
// work): a record outside the ranges of Z9RecordProblem or out of key order
// (code 106, naming the record), more records than three key levels and a
// 4 GiB index position can hold (103), and the system's errors of the file.
//
// Ownership: the error record is not owned and must outlive the writer.
// Thread rule: one thread at a time.
//
// Usage:
//   Z9Writer w(err, "centroids.z9");
//   for (const Z9Record& r : sorted) if (!w.Add(r)) return false;   // recorded
//   if (!w.Finish()) return false;
#ifndef LUMETRA_ZIP4_Z9_WRITER_H
#define LUMETRA_ZIP4_Z9_WRITER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "storage/qio.h"
#include "storage/spatial_index.h"
#include "zip4/z9_format.h"

class QError;

struct Z9WriterOptions {
  // File version: 3 writes the sixth value column; 1 and 2 leave it out.
  std::uint8_t version = lumetra::kZ9Version;
  // Keys per index block (2 .. 510); smaller values make deeper trees for
  // small files (tests).
  std::uint16_t fanout = lumetra::kZ9MaxFanout;
  // Most records in one data block (1 .. 65151).
  std::uint32_t max_block_records = 4096;
};

class Z9Writer {
 public:
  // Creates "<file_name>.partial"; test ready() for the outcome.
  Z9Writer(QError& err, const char* file_name, const Z9WriterOptions& options = {});
  ~Z9Writer();
  Z9Writer(const Z9Writer&) = delete;
  Z9Writer& operator=(const Z9Writer&) = delete;

  bool ready() const { return fd_.valid() && !failed_; }

  // Adds the next record; false (recorded) for an invalid record, one whose
  // key is below the previous one, or a failed write.
  bool Add(const lumetra::Z9Record& record);
  // Writes the rest of the file and renames it into place.  False
  // (recorded, the partial file removed) on failure.
  bool Finish();

  std::uint64_t record_count() const { return records_; }
  std::size_t zip_count() const { return areas_.size(); }
  std::size_t data_block_count() const { return first_keys_.size(); }

 private:
  bool Pack(bool final);
  bool Fits(std::size_t n) const;
  bool WriteDataBlock(std::size_t n);
  bool WriteBlock(std::uint32_t block, const std::uint8_t* bytes, std::size_t size);
  // Writes the index blocks over `child_keys` from block `first`; their
  // first keys go to *keys.
  bool WriteLevel(const std::vector<std::uint32_t>& child_keys, std::uint32_t first,
                  std::vector<std::uint32_t>* keys);
  bool WriteAreaIndex(std::uint32_t block);
  void CloseArea();
  bool Refuse(int code, const std::string& detail);
  void Discard();

  QError& err_;
  Z9WriterOptions options_;
  std::string final_name_;
  std::string partial_name_;
  UniqueFd fd_;
  std::vector<lumetra::Z9Record> pending_;
  std::size_t probe_ = 1;                  // pending size at which to probe the fit next
  std::size_t fit_ = 0;                    // longest pending prefix known to fit
  std::vector<std::uint32_t> first_keys_;  // of each data block written
  std::vector<lumetra::Z9AreaEntry> areas_;
  std::int32_t area_zip_ = 0;
  lumetra::Rect area_points_;
  std::uint32_t last_key_ = 0;
  std::uint64_t records_ = 0;
  std::uint32_t max_block_records_ = 0;
  bool failed_ = false;
};

#endif  // LUMETRA_ZIP4_Z9_WRITER_H
