#include "storage/qsort.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "frame/error.h"
#include "storage/qfile.h"

namespace {

// Ranges of at most this many records are sorted by selection.
constexpr std::ptrdiff_t kSelectionLimit = 8;
// The run buffer holds at least this many records: two input slices and one
// output slice for the smallest merge.
constexpr std::size_t kMinBufferRecords = 3;
// The run buffer's first size in records (16 KiB of the R-tree build's
// 32-byte slots) before it doubles toward its bound.
constexpr std::size_t kFirstBufferRecords = 512;

}  // namespace

// One slice of the run buffer fed from one run of the run file, or (as the
// output block) collecting merged records for the next run file.
class QSort::MergeBlock {
 public:
  MergeBlock(Qfile* file, std::uint8_t* slots, std::size_t capacity, std::size_t slot_size)
      : file_(file), slots_(slots), capacity_(capacity), slot_size_(slot_size) {}

  // Starts reading a run of `records` records at `offset`.
  bool Init(std::int64_t offset, std::uint64_t records) {
    next_offset_ = offset;
    remaining_ = records;
    return Fill("MergeBlock::Init");
  }

  bool empty() const { return index_ == filled_; }
  const std::uint8_t* head() const { return slots_ + index_ * slot_size_; }

  // Steps past the head record, refilling the slice from the run when used up.
  bool Advance() {
    ++index_;
    if (index_ == filled_ && remaining_ > 0) return Fill("MergeBlock::Init");
    return true;
  }

  // Writes what is left of this block and of its run to `out`.
  bool CopyRemains(Qfile& out) {
    while (!empty()) {
      const std::size_t bytes = (filled_ - index_) * slot_size_;
      if (!out.Write(head(), static_cast<std::uint32_t>(bytes))) return false;
      index_ = filled_;
      if (remaining_ > 0 && !Fill("MergeBlock::CopyRemains")) return false;
    }
    return true;
  }

 private:
  bool Fill(const char* label) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, capacity_));
    index_ = 0;
    filled_ = 0;
    const std::size_t bytes = n * slot_size_;
    if (!file_->ReadAt(label, next_offset_, slots_, static_cast<std::uint32_t>(bytes))) {
      return false;
    }
    filled_ = n;
    remaining_ -= n;
    next_offset_ += static_cast<std::int64_t>(bytes);
    return true;
  }

  Qfile* file_;
  std::uint8_t* slots_;
  std::size_t capacity_;
  std::size_t slot_size_;
  std::int64_t next_offset_ = 0;
  std::uint64_t remaining_ = 0;
  std::size_t index_ = 0;
  std::size_t filled_ = 0;
};

QSort::QSort(QError& err, const QSortLayout& layout, const char* directory,
             std::size_t buffer_bytes)
    : err_(err), layout_(layout), directory_(directory != nullptr ? directory : "") {
  const std::uint64_t record = std::uint64_t{layout_.key_length} + layout_.value_length;
  if (layout_.slot_size == 0) layout_.slot_size = static_cast<std::uint32_t>(record);
  if (layout_.key_length == 0 || layout_.slot_size < record || layout_.slot_size > (1u << 20)) {
    err_.SetF(100, QERR_HERE, "QSort - invalid record layout: key %u, value %u, slot %u",
              layout.key_length, layout.value_length, layout.slot_size);
    return;
  }
  if (!AllocateBuffer(buffer_bytes)) {
    err_.Set(104, "QSort - Unable to allocate sort buffer", QERR_HERE);
    return;
  }
  pivot_.resize(layout_.key_length);
  swap_.resize(layout_.slot_size);
  ready_ = true;
}

QSort::~QSort() {
  if (runs_file_ != nullptr && runs_file_->is_open()) {
    try {
      runs_file_->Close();
    } catch (...) {
      // A throwing error record must not escape a destructor; the Qfile's own
      // destructor still releases the descriptor.
    }
  }
}

bool QSort::AllocateBuffer(std::size_t buffer_bytes) {
  const std::size_t slot = layout_.slot_size;
  max_records_ = std::max(buffer_bytes / slot, kMinBufferRecords);
  std::size_t records = std::min(max_records_, kFirstBufferRecords);
  for (;;) {
    try {
      // Not zero-filled: Add writes every byte of a slot it fills.
      storage_.reset(new std::uint64_t[(records * slot + 7) / 8]);
      break;
    } catch (const std::bad_alloc&) {
      if (records / 2 < kMinBufferRecords) return false;
      records /= 2;
      max_records_ = records;
    }
  }
  buffer_ = reinterpret_cast<std::uint8_t*>(storage_.get());
  buffer_records_ = records;
  return true;
}

bool QSort::GrowBuffer() {
  if (buffer_records_ >= max_records_) return false;
  const std::size_t records = std::min(max_records_, 2 * buffer_records_);
  const std::size_t slot = layout_.slot_size;
  std::unique_ptr<std::uint64_t[]> larger;
  try {
    larger.reset(new std::uint64_t[(records * slot + 7) / 8]);
  } catch (const std::bad_alloc&) {
    max_records_ = buffer_records_;
    return false;
  }
  std::memcpy(larger.get(), buffer_, buffered_ * slot);
  storage_ = std::move(larger);
  buffer_ = reinterpret_cast<std::uint8_t*>(storage_.get());
  buffer_records_ = records;
  return true;
}

int QSort::Compare(const void* a, const void* b) const {
  return std::memcmp(a, b, layout_.key_length);
}

bool QSort::Add(const void* key, const void* value) {
  if (!ready_ || finished_) return false;
  if (buffered_ == buffer_records_ && !GrowBuffer() && !FlushRun()) return false;
  std::uint8_t* slot = Slot(buffered_);
  std::memcpy(slot, key, layout_.key_length);
  std::memcpy(slot + layout_.key_length, value, layout_.value_length);
  const std::size_t used = std::size_t{layout_.key_length} + layout_.value_length;
  std::memset(slot + used, 0, layout_.slot_size - used);
  ++buffered_;
  ++record_count_;
  return true;
}

bool QSort::FlushRun() {
  if (runs_file_ == nullptr) {
    auto file = std::make_unique<Qfile>(err_);
    if (!file->OpenTemporary(directory_.c_str())) return false;
    runs_file_ = std::move(file);
  }
  SortBuffer(buffered_);
  const std::int64_t offset =
      runs_.empty() ? 0
                    : runs_.back().offset +
                          static_cast<std::int64_t>(runs_.back().records * layout_.slot_size);
  const std::size_t bytes = buffered_ * layout_.slot_size;
  if (!runs_file_->Write(buffer_, static_cast<std::uint32_t>(bytes))) return false;
  runs_.push_back(Run{offset, buffered_});
  buffered_ = 0;
  return true;
}

bool QSort::Finish() {
  if (!ready_ || finished_) return false;
  finished_ = true;
  if (runs_.empty()) {
    // Everything fitted: the sorted buffer is the result, no file at all.
    SortBuffer(buffered_);
    read_index_ = 0;
    read_limit_ = buffered_;
    return true;
  }
  if (buffered_ > 0 && !FlushRun()) return false;
  initial_runs_ = runs_.size();
  while (runs_.size() > 1) {
    if (!MergePass()) return false;
  }
  unread_in_file_ = runs_.front().records;
  read_offset_ = runs_.front().offset;
  read_index_ = 0;
  read_limit_ = 0;
  return true;
}

bool QSort::MergePass() {
  // Groups are as even as possible: ceil(runs / max) groups of at least two
  // runs each (more than max(group) * (groups - 1) runs are spread over them).
  const std::size_t max_group = std::min<std::size_t>(kMaxMergeGroup, buffer_records_ - 1);
  const std::size_t run_count = runs_.size();
  const std::size_t groups = (run_count + max_group - 1) / max_group;
  auto out = std::make_unique<Qfile>(err_);
  if (!out->OpenTemporary(directory_.c_str())) return false;
  std::vector<Run> merged;
  std::size_t first = 0;
  std::int64_t out_offset = 0;
  for (std::size_t g = 0; g < groups; ++g) {
    const std::size_t count = run_count / groups + (g < run_count % groups ? 1 : 0);
    std::uint64_t records = 0;
    for (std::size_t r = first; r < first + count; ++r) records += runs_[r].records;
    merged.push_back(Run{out_offset, records});
    if (!MergeGroup(*out, first, count, &out_offset)) return false;
    first += count;
  }
  runs_file_->Close();
  runs_file_ = std::move(out);
  runs_ = std::move(merged);
  ++merge_passes_;
  return true;
}

bool QSort::MergeGroup(Qfile& out, std::size_t first, std::size_t count, std::int64_t* out_offset) {
  const std::size_t slice = buffer_records_ / (count + 1);
  const std::size_t slot = layout_.slot_size;
  std::vector<MergeBlock> blocks;
  blocks.reserve(count);
  for (std::size_t j = 0; j < count; ++j) {
    blocks.emplace_back(runs_file_.get(), Slot(j * slice), slice, slot);
    if (!blocks.back().Init(runs_[first + j].offset, runs_[first + j].records)) return false;
  }
  std::uint8_t* output = Slot(count * slice);
  std::size_t output_count = 0;
  auto flush_output = [&]() {
    if (output_count == 0) return true;
    const bool ok = out.Write(output, static_cast<std::uint32_t>(output_count * slot));
    output_count = 0;
    return ok;
  };
  for (;;) {
    // The smallest head; ties go to the earlier run.
    MergeBlock* best = nullptr;
    std::size_t live = 0;
    for (MergeBlock& b : blocks) {
      if (b.empty()) continue;
      ++live;
      if (best == nullptr || Compare(b.head(), best->head()) < 0) best = &b;
    }
    if (live <= 1) {
      if (!flush_output()) return false;
      if (best != nullptr && !best->CopyRemains(out)) return false;
      break;
    }
    std::memcpy(output + output_count * slot, best->head(), slot);
    if (++output_count == slice && !flush_output()) return false;
    if (!best->Advance()) return false;
  }
  std::uint64_t total = 0;
  for (std::size_t r = first; r < first + count; ++r) total += runs_[r].records;
  *out_offset += static_cast<std::int64_t>(total * slot);
  return true;
}

bool QSort::ReadBuffer() {
  const std::size_t n =
      static_cast<std::size_t>(std::min<std::uint64_t>(unread_in_file_, buffer_records_));
  const std::size_t bytes = n * layout_.slot_size;
  if (!runs_file_->ReadAt("QSort::ReadBuffer", read_offset_, buffer_,
                          static_cast<std::uint32_t>(bytes))) {
    unread_in_file_ = 0;
    return false;
  }
  unread_in_file_ -= n;
  read_offset_ += static_cast<std::int64_t>(bytes);
  read_index_ = 0;
  read_limit_ = n;
  return true;
}

bool QSort::ReadNext(void* key_out, void* value_out) {
  if (!finished_) return false;
  if (read_index_ == read_limit_) {
    if (unread_in_file_ == 0 || !ReadBuffer()) return false;
  }
  const std::uint8_t* slot = Slot(read_index_++);
  if (key_out != nullptr) std::memcpy(key_out, slot, layout_.key_length);
  if (value_out != nullptr) {
    std::memcpy(value_out, slot + layout_.key_length, layout_.value_length);
  }
  return true;
}

// ---- in-memory sort -------------------------------------------------------

void QSort::SortBuffer(std::size_t count) {
  if (count > 1) QuickSort(0, count - 1);
}

void QSort::SwapSlots(std::size_t a, std::size_t b) {
  if (a == b) return;
  const std::size_t slot = layout_.slot_size;
  std::memcpy(swap_.data(), Slot(a), slot);
  std::memcpy(Slot(a), Slot(b), slot);
  std::memcpy(Slot(b), swap_.data(), slot);
}

void QSort::SelectionSort(std::size_t lo, std::size_t hi) {
  for (std::size_t i = lo; i < hi; ++i) {
    std::size_t smallest = i;
    for (std::size_t j = i + 1; j <= hi; ++j) {
      if (Compare(Slot(j), Slot(smallest)) < 0) smallest = j;
    }
    SwapSlots(i, smallest);
  }
}

// Hoare partition of [lo, hi] around the median of the first, middle and last
// keys.  Returns p with lo <= p < hi such that every key in [lo, p] is at most
// every key in [p + 1, hi].
std::size_t QSort::Partition(std::size_t lo, std::size_t hi) {
  const std::size_t mid = lo + (hi - lo) / 2;
  if (Compare(Slot(mid), Slot(lo)) < 0) SwapSlots(mid, lo);
  if (Compare(Slot(hi), Slot(lo)) < 0) SwapSlots(hi, lo);
  if (Compare(Slot(hi), Slot(mid)) < 0) SwapSlots(hi, mid);
  std::memcpy(pivot_.data(), Slot(mid), layout_.key_length);
  std::ptrdiff_t i = static_cast<std::ptrdiff_t>(lo) - 1;
  std::ptrdiff_t j = static_cast<std::ptrdiff_t>(hi) + 1;
  for (;;) {
    do {
      ++i;
    } while (Compare(Slot(static_cast<std::size_t>(i)), pivot_.data()) < 0);
    do {
      --j;
    } while (Compare(Slot(static_cast<std::size_t>(j)), pivot_.data()) > 0);
    if (i >= j) return static_cast<std::size_t>(j);
    SwapSlots(static_cast<std::size_t>(i), static_cast<std::size_t>(j));
  }
}

void QSort::QuickSort(std::size_t lo, std::size_t hi) {
  // Recurse into the smaller side and loop on the larger, so the stack stays
  // logarithmic in the range length.
  while (static_cast<std::ptrdiff_t>(hi - lo) + 1 > kSelectionLimit) {
    const std::size_t p = Partition(lo, hi);
    if (p - lo < hi - p) {
      QuickSort(lo, p);
      lo = p + 1;
    } else {
      QuickSort(p + 1, hi);
      hi = p;
    }
  }
  SelectionSort(lo, hi);
}
