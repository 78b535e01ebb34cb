#include "storage/indexed_file_builder.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "frame/byte_order.h"
#include "frame/error.h"
#include "storage/tree_builder.h"

namespace {

constexpr int kBadRequestCode = 100;
constexpr std::uint32_t kMaxU16 = 0xFFFF;
constexpr std::uint32_t kTreeValueLength = 4;  // leaf values: u32 data page number

}  // namespace

QIndexedPagePayload::~QIndexedPagePayload() = default;

bool QIndexedPagePayload::PlaceRecord(std::uint32_t, std::uint32_t, std::uint64_t, std::uint8_t*) {
  return true;
}

QIndexedFileBuilder::QIndexedFileBuilder(QError& err, QIndexedFileBuilderOptions options)
    : err_(err), options_(std::move(options)) {}

QIndexedFileBuilder::~QIndexedFileBuilder() {
  if (created_ && !finished_) Abandon();
}

void QIndexedFileBuilder::Abandon() {
  tree_.reset();  // deletes the tree builder's scratch files
  fd_.Reset();
  QioDeleteFile(name_.c_str());
}

bool QIndexedFileBuilder::ReportBadRequest(const char* what) {
  err_.SetF(kBadRequestCode, QERR_HERE, "Indexed file %s: %s", name_.c_str(), what);
  return false;
}

int QIndexedFileBuilder::CompareKeys(const void* a, const void* b) const {
  if (options_.compare) return options_.compare(a, b);
  return std::memcmp(a, b, options_.key_length);
}

bool QIndexedFileBuilder::ValidateOptions() {
  const QIndexedFileBuilderOptions& o = options_;
  if (o.key_length == 0 || o.key_length > 255) return ReportBadRequest("key length not 1 to 255");
  if (o.page_size > kMaxU16 || o.header_page_size > kMaxU16 || o.tree_page_size > kMaxU16) {
    return ReportBadRequest("page sizes must not exceed 65535 bytes");
  }
  if (o.header_page_size < kMinHeaderPageSize) {
    return ReportBadRequest("header page smaller than 298 bytes");
  }
  const std::uint64_t one_record = std::uint64_t{kPageHeadSize} + o.key_length + o.value_length;
  if (o.page_size < 2 || one_record > o.page_size - 2) {
    return ReportBadRequest("a record does not fit a data page");
  }
  if (o.first_data_page >= kMaxDataPages) return ReportBadRequest("too many reserved pages");
  return true;
}

bool QIndexedFileBuilder::Create(const char* name) {
  name_ = name == nullptr ? "" : name;
  if (created_) return ReportBadRequest("output already created");
  if (!ValidateOptions()) return false;
  const int fd = QioCreate(err_, name_.c_str());
  if (fd < 0) return false;
  fd_.Reset(fd);
  created_ = true;  // from here on an unfinished file is removed
  end_offset_ = PageOffset(options_.first_data_page);
  if (!QioZeroFillAt(fd_.get(), err_, 0, end_offset_)) return false;

  QTreeBuilderOptions tree_options;
  tree_options.key_length = options_.key_length;
  tree_options.value_length = kTreeValueLength;
  tree_options.page_size = options_.tree_page_size;
  const std::uint32_t key_length = options_.key_length;
  tree_options.compare = options_.compare
                             ? options_.compare
                             : lumetra::QKeyCompare([key_length](const void* a, const void* b) {
                                 return std::memcmp(a, b, key_length);
                               });
  tree_ = std::make_unique<QTreeBuilder>(err_, std::move(tree_options));
  return tree_->ready();
}

std::int64_t QIndexedFileBuilder::PageOffset(std::uint32_t page) const {
  return options_.header_page_size + static_cast<std::int64_t>(page) * options_.page_size;
}

bool QIndexedFileBuilder::Fits(std::uint64_t first, std::uint32_t count) {
  if (count > kMaxRecordsPerPage) return false;
  const std::uint64_t payload =
      options_.payload == nullptr ? 0 : options_.payload->PayloadSize(first, count);
  return kPageHeadSize + payload + std::uint64_t{count} * record_size() <= options_.page_size - 2;
}

bool QIndexedFileBuilder::Add(const void* key, const void* value) {
  if (!created_ || data_ended_ || finished_ || failed_) {
    return ReportBadRequest("no records taken now");
  }
  if (key == nullptr || (value == nullptr && options_.value_length > 0)) {
    return ReportBadRequest("null record");
  }
  bool continues_run = false;
  if (record_count_ > 0) {
    const int order = CompareKeys(last_key_.data(), key);
    if (order > 0) {
      err_.SetF(kBadRequestCode, QERR_HERE,
                "Indexed file %s: record %llu sorts before the previous record; records must be "
                "added in ascending key order",
                name_.c_str(), static_cast<unsigned long long>(record_count_));
      return false;
    }
    continues_run = order == 0;
  }
  if (pending_count_ > 0 && !Fits(pending_first_, pending_count_ + 1)) {
    // A run that would spill onto the next page moves there whole, so that
    // it starts at slot 0 of a page.
    const std::uint32_t keep = continues_run ? run_start_ : pending_count_;
    failed_ = !FlushPage(keep > 0 ? keep : pending_count_);
    if (!failed_ && pending_count_ > 0 && !Fits(pending_first_, pending_count_ + 1)) {
      failed_ = !FlushPage(pending_count_);
    }
    if (failed_) return false;
  }
  if (!continues_run) run_start_ = pending_count_;
  if (!Fits(pending_first_, pending_count_ + 1)) {
    return ReportBadRequest("a record and its payload do not fit an empty data page");
  }
  const std::size_t at = pending_.size();
  pending_.resize(at + record_size());
  std::memcpy(pending_.data() + at, key, options_.key_length);
  if (options_.value_length > 0) {
    std::memcpy(pending_.data() + at + options_.key_length, value, options_.value_length);
  }
  last_key_.assign(static_cast<const std::uint8_t*>(key),
                   static_cast<const std::uint8_t*>(key) + options_.key_length);
  ++pending_count_;
  ++record_count_;
  return true;
}

// Writes the first `count` pending records as the next data page and drops
// them from the pending records.
bool QIndexedFileBuilder::FlushPage(std::uint32_t count) {
  const std::uint32_t page_number = options_.first_data_page + data_pages_;
  if (page_number >= kMaxDataPages) return ReportBadRequest("more than 262144 data pages");
  const std::uint32_t size = options_.page_size;
  const std::uint32_t area_end = size - 2;
  page_.assign(size, 0);
  lumetra::PutU32(page_.data(), area_end);
  lumetra::PutU32(page_.data() + 4, count);
  if (options_.payload != nullptr) {
    const std::size_t payload = options_.payload->PayloadSize(pending_first_, count);
    if (kPageHeadSize + payload + std::uint64_t{count} * record_size() > area_end) {
      return ReportBadRequest("page payload grew past its page");
    }
    if (!options_.payload->WritePayload(page_number, pending_first_, count,
                                        page_.data() + kPageHeadSize, payload)) {
      return false;
    }
  }
  const std::size_t rec = record_size();
  for (std::uint32_t slot = 0; slot < count; ++slot) {
    std::uint8_t* record = page_.data() + area_end - (slot + 1) * rec;
    std::memcpy(record, pending_.data() + slot * rec, rec);
    if (options_.payload != nullptr &&
        !options_.payload->PlaceRecord(page_number, slot, pending_first_ + slot,
                                       record + options_.key_length)) {
      return false;
    }
  }
  if (!QioWritePage(fd_.get(), err_, PageOffset(page_number), page_.data(), size)) return false;
  std::uint8_t page_value[kTreeValueLength];
  lumetra::PutU32(page_value, page_number);
  if (!tree_->Add(pending_.data(), page_value)) return false;

  ++data_pages_;
  end_offset_ = PageOffset(page_number + 1);
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count * rec));
  pending_count_ -= count;
  pending_first_ += count;
  run_start_ = run_start_ >= count ? run_start_ - count : 0;
  return true;
}

bool QIndexedFileBuilder::EndDataPages() {
  if (data_ended_) return true;
  if (failed_) return ReportBadRequest("an earlier write failed");
  if (pending_count_ > 0 && !FlushPage(pending_count_)) {
    failed_ = true;
    return false;
  }
  data_ended_ = true;
  return true;
}

bool QIndexedFileBuilder::SetReservedPage(std::uint32_t index, const void* bytes,
                                          std::uint32_t length) {
  if (!created_ || finished_) return ReportBadRequest("no output file");
  if (index >= options_.first_data_page || length > options_.page_size ||
      (bytes == nullptr && length > 0)) {
    return ReportBadRequest("reserved page out of range");
  }
  return QioWriteAt(fd_.get(), err_, PageOffset(index), bytes, length);
}

std::int64_t QIndexedFileBuilder::AppendBlock(const void* bytes, std::uint32_t length) {
  if (!created_ || finished_) {
    ReportBadRequest("no output file");
    return -1;
  }
  if (bytes == nullptr && length > 0) {
    ReportBadRequest("null block");
    return -1;
  }
  if (!EndDataPages()) return -1;
  const std::int64_t offset = end_offset_;
  if (!QioWriteAt(fd_.get(), err_, offset, bytes, length)) return -1;
  end_offset_ += length;
  return offset;
}

std::uint64_t QIndexedFileBuilder::Finish() {
  if (!created_ || finished_ || tree_ == nullptr || !tree_->ready()) {
    ReportBadRequest("nothing to finish");
    return kFailed;
  }
  if (!EndDataPages()) return kFailed;
  const std::uint64_t root = tree_->Build(fd_.get());
  if (root == QTreeBuilder::kBuildFailed) return kFailed;
  if (!WriteHeader(root)) return kFailed;
  if (!QioClose(fd_.Release(), err_)) return kFailed;
  finished_ = true;
  return root;
}

bool QIndexedFileBuilder::WriteHeader(std::uint64_t root_offset) {
  const std::uint32_t size = options_.header_page_size;
  page_.assign(size, 0);
  std::memcpy(page_.data(), options_.text.data(), std::min<std::size_t>(options_.text.size(), 255));
  lumetra::PutU32(page_.data() + 256, options_.kind);
  lumetra::PutU32(page_.data() + 260, options_.first_data_page + data_pages_);
  lumetra::PutU16(page_.data() + 264, size);
  lumetra::PutU16(page_.data() + 266, options_.page_size);
  std::memcpy(page_.data() + 268, options_.kind_fields, sizeof options_.kind_fields);
  lumetra::PutU32(page_.data() + kKeyLengthOffset, options_.key_length);
  lumetra::PutU32(page_.data() + kValueLengthOffset, options_.value_length);
  if (options_.fill_header && !options_.fill_header(page_.data(), size, root_offset)) return false;
  return QioWritePage(fd_.get(), err_, 0, page_.data(), size);
}
