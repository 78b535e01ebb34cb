#include "storage/paged_file.h"

#include <cstring>
#include <new>

#include "frame/byte_order.h"
#include "frame/error.h"
#include "storage/qfile.h"
#include "storage/qio.h"
#include "storage/record_mgr.h"

namespace {

constexpr int kWrongKindCode = 102;
constexpr int kAllocationCode = 104;
constexpr int kCorruptCode = 111;

// The 32-bit view of a length that the length messages print.
int AsInt32(std::int64_t value) { return static_cast<int>(static_cast<std::uint32_t>(value)); }

}  // namespace

constexpr std::uint32_t QPagedFile::kLengthCheckedKinds[];
constexpr std::uint32_t QPagedFile::kExtendableKinds[];

bool QPagedFile::IsLengthCheckedKind(std::uint32_t kind) {
  for (std::uint32_t checked : kLengthCheckedKinds) {
    if (checked == kind) return true;
  }
  return false;
}

bool QPagedFile::IsExtendableKind(std::uint32_t kind) {
  for (std::uint32_t extendable : kExtendableKinds) {
    if (extendable == kind) return true;
  }
  return false;
}

QPagedFile::QPagedFile(const char* name, std::uint32_t expected_kind, std::uint32_t requested_slots,
                       QError& err)
    : err_(err), file_(std::make_unique<Qfile>(err)) {
  ready_ = Open(name, expected_kind, requested_slots);
}

// Members release the record manager first, then the header copy, then the
// file (declaration order reversed), so the manager never outlives its file.
QPagedFile::~QPagedFile() { record_mgr_.reset(); }

std::uint32_t QPagedFile::HeaderU32(std::size_t offset) const {
  if (offset > header_page_.size() || header_page_.size() - offset < 4) return 0;
  return lumetra::GetU32(header_page_.data() + offset);
}

std::uint16_t QPagedFile::HeaderU16(std::size_t offset) const {
  if (offset > header_page_.size() || header_page_.size() - offset < 2) return 0;
  return lumetra::GetU16(header_page_.data() + offset);
}

bool QPagedFile::Open(const char* name, std::uint32_t expected_kind,
                      std::uint32_t requested_slots) {
  if (!file_->Open(name, Qfile::kModeRead)) return false;
  std::uint8_t fixed[kFixedHeaderSize];
  if (!file_->ReadAt("QPagedFile::QPagedFile/1", 0, fixed, kFixedHeaderSize)) return false;
  kind_ = lumetra::GetU32(fixed + kKindOffset);
  if (kind_ != expected_kind) {
    err_.Set(kWrongKindCode, file_->name(), QERR_HERE);
    return false;
  }
  if (!ReadHeaderPage(fixed)) return false;
  if (IsLengthCheckedKind(kind_) && (!CheckLength() || !CheckFooter())) return false;

  const char* full_name = file_->name();
  const std::size_t length = std::strlen(full_name);
  std::strncpy(label_, full_name + (length > 8 ? length - 8 : 0), 8);
  label_[8] = '\0';
  try {
    record_mgr_ = std::make_unique<QRecordMgr>(label_, *file_, header_page_size_, page_size_,
                                               requested_slots, err_);
  } catch (const std::bad_alloc&) {
    record_mgr_.reset();
  }
  if (record_mgr_ == nullptr || !record_mgr_->ready()) {
    record_mgr_.reset();
    err_.Set(kAllocationCode, "QPagedFile - Failed to Initialize QRecordMgr", QERR_HERE);
    return false;
  }
  return true;
}

bool QPagedFile::ReadHeaderPage(const std::uint8_t* fixed) {
  header_page_size_ = lumetra::GetU16(fixed + kHeaderPageSizeOffset);
  page_size_ = lumetra::GetU16(fixed + kPageSizeOffset);
  page_count_ = lumetra::GetU32(fixed + kPageCountOffset);
  // The header page must at least hold the fixed fields and its checksum.
  if (header_page_size_ < kFixedHeaderSize + 2) {
    err_.SetF(kCorruptCode, QERR_HERE, "File %s has a header page of only %u bytes", file_->name(),
              static_cast<unsigned>(header_page_size_));
    return false;
  }
  try {
    header_page_.assign(header_page_size_, 0);
  } catch (const std::bad_alloc&) {
    err_.Set(kAllocationCode, "QPagedFile - Failed to Initialize pHeaderPage", QERR_HERE);
    return false;
  }
  if (!file_->ReadAt("QPagedFile::QPagedFile/2", 0, header_page_.data(), header_page_size_)) {
    return false;
  }
  if (!PageChecksumValid(header_page_.data(), header_page_size_)) {
    err_.Set(kCorruptCode, file_->name(), QERR_HERE);
    return false;
  }
  if (page_size_ == 0) {
    err_.SetF(kCorruptCode, QERR_HERE, "File %s has a page size of 0", file_->name());
    return false;
  }
  return true;
}

bool QPagedFile::CheckLength() {
  // Lengths are compared without overflow; the messages print them as the
  // 32-bit values the format is limited to.
  const std::int64_t expected =
      header_page_size_ + static_cast<std::int64_t>(page_count_) * page_size_;
  std::int64_t actual = file_->Size();
  if (actual < 0) actual = 0;
  if (actual == 0 || page_count_ == 0) return true;
  if (actual < expected) {
    err_.SetF(kCorruptCode, QERR_HERE, "File %s is too short, expected %i found %i ", file_->name(),
              AsInt32(expected), AsInt32(actual));
    return false;
  }
  if (actual > expected && IsExtendableKind(kind_)) {
    const std::int64_t body = actual - header_page_size_;
    if (body % page_size_ != 0 || body / page_size_ > 0xFFFFFFFF) {
      err_.SetF(kCorruptCode, QERR_HERE, "File %s is too long.  Expected %i found %i ",
                file_->name(), AsInt32(expected), AsInt32(actual));
      return false;
    }
    page_count_ = static_cast<std::uint32_t>(body / page_size_);
  }
  return true;
}

bool QPagedFile::CheckFooter() {
  if (page_count_ == 0) return true;
  const std::int64_t offset =
      header_page_size_ + static_cast<std::int64_t>(page_count_ - 1) * page_size_;
  std::uint8_t footer[kFooterProbeSize];
  // A failed read is reported by the file layer first; the footer record
  // then replaces it as the reason the open failed.
  const bool readable = file_->ReadAt("QPagedFile::CheckFooter", offset, footer, kFooterProbeSize);
  if (!readable) {
    err_.SetF(kCorruptCode, QERR_HERE, "Cannot read footer page on file %s", file_->name());
    return false;
  }
  return true;
}
