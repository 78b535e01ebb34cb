#include "storage/tree_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <utility>

#include "frame/byte_order.h"
#include "frame/error.h"
#include "storage/qfile.h"
#include "storage/qio.h"

namespace lumetra {

// A "qtb.tmp.N" scratch file of the current directory holding fixed-length
// records: buffered appends, buffered sequential reads from the start, and
// positioned block transfers.  Owns the descriptor and the file: the
// destructor closes and deletes it (unreported, for unwinding paths); Remove
// does the same with reporting.
class TreeScratchFile {
 public:
  static constexpr std::size_t kBufferBytes = 65536;

  explicit TreeScratchFile(QError& err) : err_(err) {}
  ~TreeScratchFile() {
    if (fd_.valid()) {
      fd_.Reset();
      QioDeleteFile(name_);
    }
  }
  TreeScratchFile(const TreeScratchFile&) = delete;
  TreeScratchFile& operator=(const TreeScratchFile&) = delete;

  bool Create() {
    const int fd = QioScratchFile(err_, name_, sizeof name_);
    if (fd < 0) return false;
    fd_.Reset(fd);
    return true;
  }

  // Closes and deletes the file.
  bool Remove() {
    if (!fd_.valid()) return true;
    const int fd = fd_.Release();
    QioDeleteFile(name_);
    return QioClose(fd, err_);
  }

  bool Append(const void* data, std::size_t len) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (out_.empty()) out_.reserve(kBufferBytes);
    while (len > 0) {
      const std::size_t n = std::min(len, kBufferBytes - out_.size());
      out_.insert(out_.end(), bytes, bytes + n);
      bytes += n;
      len -= n;
      if (out_.size() == kBufferBytes && !Flush()) return false;
    }
    return true;
  }

  bool Flush() {
    if (out_.empty()) return true;
    const bool ok =
        QioWriteAt(fd_.get(), err_, size_, out_.data(), static_cast<std::uint32_t>(out_.size()));
    size_ += out_.size();
    out_.clear();
    return ok;
  }

  // Bytes appended so far.
  std::uint64_t size() const { return size_ + out_.size(); }

  // Flushes appends and starts sequential reading at offset 0.
  bool StartReading() {
    if (!Flush()) return false;
    in_.resize(kBufferBytes);
    in_pos_ = in_len_ = 0;
    read_offset_ = 0;
    return true;
  }

  // Copies the next len bytes of the sequential read.
  bool ReadNext(void* data, std::size_t len) {
    auto* bytes = static_cast<std::uint8_t*>(data);
    while (len > 0) {
      if (in_pos_ == in_len_) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kBufferBytes, size_ - read_offset_));
        if (want == 0 || !ReadAt(read_offset_, in_.data(), want)) {
          if (want == 0) err_.Set(28, "Tree scratch file ends early", QERR_HERE);
          return false;
        }
        read_offset_ += want;
        in_pos_ = 0;
        in_len_ = want;
      }
      const std::size_t n = std::min(len, in_len_ - in_pos_);
      std::memcpy(bytes, in_.data() + in_pos_, n);
      in_pos_ += n;
      bytes += n;
      len -= n;
    }
    return true;
  }

  // Reads exactly len bytes at offset (code 28 when fewer are there).
  bool ReadAt(std::uint64_t offset, void* data, std::size_t len) {
    const auto off = static_cast<std::int64_t>(offset);
    if (QioSeek(fd_.get(), off, SEEK_SET) != off) {
      QioReportErrno(err_, QERR_HERE, name_);
      return false;
    }
    const std::int32_t got = QioRead(fd_.get(), err_, data, static_cast<std::uint32_t>(len));
    if (got < 0) return false;
    if (static_cast<std::size_t>(got) != len) {
      err_.SetF(28, QERR_HERE, "Short read of %zu bytes at %llu in %s", len,
                static_cast<unsigned long long>(offset), name_);
      return false;
    }
    return true;
  }

  bool WriteAt(std::uint64_t offset, const void* data, std::size_t len) {
    return QioWriteAt(fd_.get(), err_, static_cast<std::int64_t>(offset), data,
                      static_cast<std::uint32_t>(len));
  }

 private:
  QError& err_;
  UniqueFd fd_;
  char name_[64] = {};
  std::uint64_t size_ = 0;  // bytes written to the file
  std::vector<std::uint8_t> out_;
  std::vector<std::uint8_t> in_;
  std::size_t in_pos_ = 0;
  std::size_t in_len_ = 0;
  std::uint64_t read_offset_ = 0;
};

namespace {

// The in-place block sort of a scratch file of n records of r bytes: blocks
// of b records; pass i brings the smallest records of blocks i .. k-1 into
// block i by merging it with every later block (the first pass also sorts
// each block in memory).  Records travel between blocks in both directions,
// so equal keys do not keep the order in which they were added.
class BlockSort {
 public:
  BlockSort(TreeScratchFile& file, std::size_t record_size, std::uint64_t records,
            std::size_t block_bytes, const QKeyCompare& compare, const QTreeProgress& progress)
      : file_(file),
        r_(record_size),
        b_(block_bytes / record_size),
        total_bytes_(records * record_size),
        compare_(compare),
        progress_(progress) {
    block_bytes_ = b_ * r_;
    k_ = (total_bytes_ + block_bytes_ - 1) / block_bytes_;
  }

  bool Run() {
    // Buffers only as large as the data: block 0 holds at most the whole
    // file, and every later block at most what lies behind block 0.
    const std::size_t first = BlockLength(0);
    block_i_.resize(first);
    block_j_.resize(
        static_cast<std::size_t>(std::min<std::uint64_t>(block_bytes_, total_bytes_ - first)));
    merge_.resize(first + block_j_.size());
    for (std::uint64_t i = 0; i < k_; ++i) {
      if (!Pass(i)) return false;
      if (i == 0 && k_ < 3) break;
    }
    if (progress_) progress_("Sort complete", 10000);
    return true;
  }

 private:
  std::size_t BlockLength(std::uint64_t index) const {
    const std::uint64_t start = index * block_bytes_;
    return static_cast<std::size_t>(std::min<std::uint64_t>(block_bytes_, total_bytes_ - start));
  }

  bool Pass(std::uint64_t i) {
    const std::size_t len_i = BlockLength(i);
    if (!file_.ReadAt(i * block_bytes_, block_i_.data(), len_i)) return false;
    if (i == 0) SortInMemory(block_i_.data(), len_i / r_);
    for (std::uint64_t j = i + 1; j < k_; ++j) {
      if (progress_) {
        progress_("Sorting", static_cast<int>((k_ * i + j) * 10000 / (k_ * k_)));
      }
      const std::size_t len_j = BlockLength(j);
      if (!file_.ReadAt(j * block_bytes_, block_j_.data(), len_j)) return false;
      if (i == 0) SortInMemory(block_j_.data(), len_j / r_);
      const bool changed = Merge(len_i / r_, len_j / r_);
      if ((changed || i == 0) && !file_.WriteAt(j * block_bytes_, block_j_.data(), len_j)) {
        return false;
      }
    }
    return file_.WriteAt(i * block_bytes_, block_i_.data(), len_i);
  }

  const std::uint8_t* Key(const std::vector<std::uint8_t>& block, std::size_t n) const {
    return block.data() + n * r_;
  }

  // Stable sort of n records by key, through the merge buffer.
  void SortInMemory(std::uint8_t* records, std::size_t n) {
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      return compare_(records + a * r_, records + b * r_) < 0;
    });
    for (std::size_t n_out = 0; n_out < n; ++n_out) {
      std::memcpy(merge_.data() + n_out * r_, records + order[n_out] * r_, r_);
    }
    std::memcpy(records, merge_.data(), n * r_);
  }

  // Stable two-way merge of block i (n_i records) and block j (n_j records):
  // the first n_i records of the result go back to block i, the rest to
  // block j.  Returns false when the blocks were already in order.
  bool Merge(std::size_t n_i, std::size_t n_j) {
    if (n_i == 0 || n_j == 0) return false;
    if (compare_(Key(block_i_, n_i - 1), Key(block_j_, 0)) <= 0) return false;
    std::size_t a = 0;
    std::size_t b = 0;
    std::uint8_t* out = merge_.data();
    while (a < n_i && b < n_j) {
      // Block i wins ties, which keeps records that are already in place.
      if (compare_(Key(block_i_, a), Key(block_j_, b)) <= 0) {
        std::memcpy(out, Key(block_i_, a++), r_);
      } else {
        std::memcpy(out, Key(block_j_, b++), r_);
      }
      out += r_;
    }
    std::memcpy(out, Key(block_i_, a), (n_i - a) * r_);
    out += (n_i - a) * r_;
    std::memcpy(out, Key(block_j_, b), (n_j - b) * r_);
    std::memcpy(block_i_.data(), merge_.data(), n_i * r_);
    std::memcpy(block_j_.data(), merge_.data() + n_i * r_, n_j * r_);
    return true;
  }

  TreeScratchFile& file_;
  std::size_t r_;
  std::size_t b_;
  std::size_t block_bytes_ = 0;
  std::uint64_t total_bytes_;
  std::uint64_t k_ = 0;
  const QKeyCompare& compare_;
  const QTreeProgress& progress_;
  std::vector<std::uint8_t> block_i_;
  std::vector<std::uint8_t> block_j_;
  std::vector<std::uint8_t> merge_;
};

}  // namespace
}  // namespace lumetra

using lumetra::TreeScratchFile;

QTreeBuilder::QTreeBuilder(QError& err, QTreeBuilderOptions options)
    : err_(err), options_(std::move(options)) {
  if (!options_.compare) options_.compare = lumetra::NameKeyCompare(options_.key_length);
  if (!ValidateOptions()) return;
  auto file = std::make_unique<TreeScratchFile>(err_);
  if (!file->Create()) return;
  records_ = std::move(file);
  last_key_.assign(options_.key_length, 0);
  ready_ = true;
}

QTreeBuilder::~QTreeBuilder() = default;

bool QTreeBuilder::ValidateOptions() {
  const QTreeBuilderOptions& o = options_;
  const std::size_t record = std::size_t{o.key_length} + o.value_length;
  const bool lengths_ok = o.key_length >= 1 && o.key_length <= 255 && o.value_length <= 255;
  const bool page_ok =
      o.page_size <= 65535 && lumetra::TreePageCapacity(o.page_size, record) >= 1 &&
      lumetra::TreePageCapacity(o.page_size, o.key_length + lumetra::kTreeInteriorValueLength) >= 2;
  if (lengths_ok && page_ok && o.sort_block_bytes >= record) return true;
  err_.SetF(100, QERR_HERE, "Tree builder: unusable layout (key %u, value %u, page %u, block %zu)",
            o.key_length, o.value_length, o.page_size, o.sort_block_bytes);
  return false;
}

void QTreeBuilder::Report(const char* text, int progress) const {
  if (options_.progress) options_.progress(text, progress);
}

bool QTreeBuilder::Add(const void* key, const void* value) {
  if (!ready_ || built_) return false;
  if (!records_->Append(key, options_.key_length) ||
      !records_->Append(value, options_.value_length)) {
    return false;
  }
  if (record_count_ > 0 && options_.compare(last_key_.data(), key) > 0) out_of_order_ = true;
  std::memcpy(last_key_.data(), key, options_.key_length);
  ++record_count_;
  return true;
}

bool QTreeBuilder::SortScratch() {
  if (!records_->Flush()) return false;
  lumetra::BlockSort sort(*records_, std::size_t{options_.key_length} + options_.value_length,
                          record_count_, options_.sort_block_bytes, options_.compare,
                          options_.progress);
  return sort.Run();
}

std::uint64_t QTreeBuilder::Build(int fd) {
  if (!ready_ || built_) {
    err_.Set(100, "Tree builder is not ready to build", QERR_HERE);
    return kBuildFailed;
  }
  built_ = true;
  std::uint64_t root = kBuildFailed;
  if (!out_of_order_ || SortScratch()) root = BuildLevels(fd);
  if (records_ != nullptr) {
    records_->Remove();
    records_.reset();
  }
  return root;
}

std::uint64_t QTreeBuilder::Build(Qfile& file) {
  if (!file.is_open() || file.access() != Qfile::kAccessDescriptor) {
    err_.SetF(100, QERR_HERE, "Tree builder needs a file open for writing: %s", file.name());
    return kBuildFailed;
  }
  return Build(file.descriptor());
}

std::uint64_t QTreeBuilder::BuildLevels(int fd) {
  if (!QioAlignEnd(fd, err_, options_.page_size)) return kBuildFailed;
  std::uint64_t records = record_count_;
  std::uint32_t value_length = options_.value_length;
  for (std::uint16_t level = 0;; ++level) {
    auto next = std::make_unique<TreeScratchFile>(err_);
    if (!next->Create()) return kBuildFailed;
    char text[32];
    std::snprintf(text, sizeof text, "Level %d", static_cast<int>(level));
    Report(text, 0);
    LevelResult result{};
    if (!WriteLevel(fd, *records_, records, value_length, level, *next, &result)) {
      return kBuildFailed;
    }
    records_->Remove();
    if (result.page_count < 2) {
      next->Remove();
      return result.first_page_offset;
    }
    records_ = std::move(next);
    records = result.page_count;
    value_length = lumetra::kTreeInteriorValueLength;
  }
}

bool QTreeBuilder::WriteLevel(int fd, TreeScratchFile& input, std::uint64_t records,
                              std::uint32_t value_length, std::uint16_t level,
                              TreeScratchFile& next, LevelResult* result) {
  const std::uint32_t page_size = options_.page_size;
  const std::size_t key_length = options_.key_length;
  const std::uint8_t kind = level == 0 ? lumetra::kTreePageLeaf : lumetra::kTreePageInterior;
  lumetra::TreePageWriter page(page_size, key_length, value_length);
  std::vector<std::uint8_t> record(key_length + value_length);
  std::vector<std::uint8_t> zero_key(key_length, 0);
  std::uint8_t offset_bytes[8];
  // Writes the current page and hands (its first key, its offset) upwards.
  auto finish_page = [&](std::int64_t offset) {
    lumetra::PutU64(offset_bytes, static_cast<std::uint64_t>(offset));
    const std::uint8_t* first = page.count() > 0 ? page.first_key() : zero_key.data();
    return QioWritePage(fd, err_, offset, page.data(), page_size) &&
           next.Append(first, key_length) && next.Append(offset_bytes, sizeof offset_bytes);
  };
  if (!input.StartReading()) return false;
  std::int64_t offset = QioAppendZeros(fd, err_, page_size);
  if (offset < 0) return false;
  result->first_page_offset = static_cast<std::uint64_t>(offset);
  result->page_count = 1;
  page.Start(level, static_cast<std::uint8_t>(kind | lumetra::kTreePageFirst));
  for (std::uint64_t n = 0; n < records; ++n) {
    if (!input.ReadNext(record.data(), record.size())) return false;
    if (page.full()) {
      if (!finish_page(offset)) return false;
      offset = QioAppendZeros(fd, err_, page_size);
      if (offset < 0) return false;
      ++result->page_count;
      page.Start(level, kind);
    }
    page.Append(record.data(), record.data() + key_length);
  }
  page.AddFlags(lumetra::kTreePageLast);
  return finish_page(offset) && next.Flush();
}
