// QSort: an external sort of fixed-length key/value records (the R-tree build
// orders its entries with it).
#ifndef LUMETRA_STORAGE_QSORT_H
#define LUMETRA_STORAGE_QSORT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QError;
class Qfile;

// How one record sits in the sort's buffers: the key at offset 0, the value
// right behind it, then padding up to the slot size.
struct QSortLayout {
  std::uint32_t key_length = 0;
  std::uint32_t value_length = 0;
  std::uint32_t slot_size = 0;  // >= key_length + value_length; 0 = exactly that
};

// Sorts records by key with a bounded run buffer: records collect in the
// buffer, every full buffer is sorted in memory (quicksort, short ranges by
// selection) and appended as one run to a temporary file (Qfile
// OpenTemporary), and Finish merges runs in passes of 2 to 8 runs at a time
// until one run is left.  When every record fits into the buffer no file is
// created at all.  Equal keys come out in no particular order.
//
// Ownership: the error record is not owned and must outlive the sort; the
// sort owns its buffer and temporary files (deleted when closed, at the
// latest by the destructor).  Thread rule: one thread at a time.
//
// Usage:
//   QSort sort(err, {4, 24, 32});
//   if (!sort.ready()) return false;      // buffer allocation failed
//   for (...) if (!sort.Add(key, value)) return false;
//   if (!sort.Finish()) return false;
//   while (sort.ReadNext(key, value)) { ... }
class QSort {
 public:
  static constexpr std::size_t kDefaultBufferBytes = 262144;
  static constexpr std::uint32_t kMaxMergeGroup = 8;

  // A sort with the given record layout whose temporary files go to
  // `directory` (null or empty: $TEMP, else $TMP, else ".").  buffer_bytes
  // bounds the run buffer, which starts at a few kilobytes and doubles as
  // records arrive, so a short sort allocates little; when it cannot be
  // allocated at its first size that is halved until it can, and when a
  // doubling fails the buffer stays as it is.  It holds at least three
  // records.  A bad layout (zero key length, slot smaller than key and value)
  // is reported with code 100; the sort is then not ready.
  QSort(QError& err, const QSortLayout& layout, const char* directory = nullptr,
        std::size_t buffer_bytes = kDefaultBufferBytes);
  virtual ~QSort();
  QSort(const QSort&) = delete;
  QSort& operator=(const QSort&) = delete;

  // Key comparison: negative, zero or positive as key `a` sorts before, with
  // or after key `b`.  By default memcmp over the key length.
  virtual int Compare(const void* a, const void* b) const;

  // Copies one record (key_length and value_length bytes) into the sort.
  // False when not ready, after Finish, or when writing a run failed.
  bool Add(const void* key, const void* value);

  // Ends input and merges the runs.  False when not ready, called twice, or
  // when a run could not be written or merged (reported).
  bool Finish();

  // Copies the next record in key order out (either pointer may be null).
  // False at the end, before Finish, or when reading back failed (reported).
  bool ReadNext(void* key_out, void* value_out);

  bool ready() const { return ready_; }
  std::uint64_t record_count() const { return record_count_; }
  // Records the run buffer holds now (it grows up to its bound).
  std::size_t buffer_records() const { return buffer_records_; }
  // Runs written before merging (0 when everything fitted in the buffer).
  std::size_t initial_run_count() const { return initial_runs_; }
  // Merge passes made by Finish.
  std::size_t merge_pass_count() const { return merge_passes_; }
  const QSortLayout& layout() const { return layout_; }

 private:
  class MergeBlock;
  struct Run {
    std::int64_t offset;    // byte offset in the run file
    std::uint64_t records;  // records in the run
  };

  bool AllocateBuffer(std::size_t buffer_bytes);
  // Doubles the run buffer (up to max_records_), keeping what it holds;
  // false when it is at its bound or the larger buffer cannot be allocated.
  bool GrowBuffer();
  std::uint8_t* Slot(std::size_t index) { return buffer_ + index * layout_.slot_size; }
  void SortBuffer(std::size_t count);
  void QuickSort(std::size_t lo, std::size_t hi);
  void SelectionSort(std::size_t lo, std::size_t hi);
  std::size_t Partition(std::size_t lo, std::size_t hi);
  void SwapSlots(std::size_t a, std::size_t b);
  bool FlushRun();
  bool MergePass();
  bool MergeGroup(Qfile& out, std::size_t first, std::size_t count, std::int64_t* out_offset);
  bool ReadBuffer();

  QError& err_;
  QSortLayout layout_;
  std::string directory_;
  std::unique_ptr<std::uint64_t[]> storage_;  // 8-byte aligned run buffer
  std::uint8_t* buffer_ = nullptr;
  std::size_t buffer_records_ = 0;
  std::size_t max_records_ = 0;  // the bound buffer_records_ grows to
  std::size_t buffered_ = 0;  // records in the buffer
  std::vector<std::uint8_t> pivot_;
  std::vector<std::uint8_t> swap_;
  std::uint64_t record_count_ = 0;
  std::unique_ptr<Qfile> runs_file_;
  std::vector<Run> runs_;
  std::size_t initial_runs_ = 0;
  std::size_t merge_passes_ = 0;
  // Read-back state: records left in the final run, the next offset in the
  // run file, and the window of the buffer not yet handed out.
  std::uint64_t unread_in_file_ = 0;
  std::int64_t read_offset_ = 0;
  std::size_t read_index_ = 0;
  std::size_t read_limit_ = 0;
  bool ready_ = false;
  bool finished_ = false;
};

#endif  // LUMETRA_STORAGE_QSORT_H
