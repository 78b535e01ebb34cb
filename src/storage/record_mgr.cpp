#include "storage/record_mgr.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "frame/error.h"
#include "storage/qfile.h"

namespace {

constexpr int kBadRequestCode = 100;
constexpr int kAllocationCode = 104;

}  // namespace

// ---- QRecordMgrRecord -------------------------------------------------------------

QRecordMgrRecord::QRecordMgrRecord(QError& err, QRecordMgr& owner, std::uint8_t* buffer)
    : err_(err), owner_(owner), buffer_(buffer) {}

QRecordMgrRecord::~QRecordMgrRecord() = default;

bool QRecordMgrRecord::Matches(const void* key) const {
  std::uint32_t wanted;
  std::memcpy(&wanted, key, sizeof wanted);
  return wanted == page_number_;
}

bool QRecordMgrRecord::Load(std::uint32_t page_number) {
  // Empty first: a failed (or throwing) read must not leave a stale page
  // number on a half-overwritten buffer.
  page_number_ = kNoPage;
  if (page_number == kNoPage) return true;
  const std::int64_t offset =
      owner_.base_offset() + static_cast<std::int64_t>(page_number) * owner_.page_size();
  if (!owner_.file().ReadAt("QRecordMgrRecord::Load", offset, buffer_, owner_.page_size())) {
    return false;
  }
  page_number_ = page_number;
  return true;
}

// ---- QRecordMgr ---------------------------------------------------------------------

QRecordMgr::QRecordMgr(const char* label, Qfile& file, std::int64_t base_offset,
                       std::uint32_t page_size, std::uint32_t requested_slots, QError& err)
    : err_(err), file_(file), base_offset_(base_offset), page_size_(page_size), slot_list_(label) {
  std::memset(label_, 0, sizeof label_);
  if (label != nullptr) std::strncpy(label_, label, kLabelLength);
  if (page_size_ == 0 || base_offset_ < 0) {
    err_.SetF(kBadRequestCode, QERR_HERE, "QRecordMgr %s: page size %u, base offset %lld", label_,
              static_cast<unsigned>(page_size_), static_cast<long long>(base_offset_));
    return;
  }
  if (file_.is_mapped() && file_.mapped_view() != nullptr) {
    mapped_base_ = file_.mapped_view();
    mapped_size_ = file_.mapped_size();
    ready_ = true;
    return;
  }
  slot_count_ = std::min(std::max(requested_slots, kMinSlots), kMaxSlots);
  try {
    pages_.reserve(slot_count_);
    slots_.reserve(slot_count_);
  } catch (const std::bad_alloc&) {
    err_.Set(kAllocationCode, "QRecordMgr - Failed to Initialize QRecordMgrRecord", QERR_HERE);
    return;
  }
  if (!AddSlot()) {
    err_.Set(kAllocationCode, "QTree - Unable to allocate QRecordMgr", QERR_HERE);
    return;
  }
  ready_ = true;
}

QRecordMgr::~QRecordMgr() = default;

bool QRecordMgr::AddSlot() {
  std::unique_ptr<std::uint8_t[]> page;
  std::unique_ptr<QRecordMgrRecord> slot;
  try {
    // Not zero-filled: a slot's bytes are only read after a whole page was
    // read into them.
    page.reset(new std::uint8_t[page_size_]);
    slot = std::make_unique<QRecordMgrRecord>(err_, *this, page.get());
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Both vectors hold slot_count_ entries' room: these cannot throw.
  pages_.push_back(std::move(page));
  slots_.push_back(std::move(slot));
  slot_list_.PushBack(slots_.back().get());
  return true;
}

const std::uint8_t* QRecordMgr::GetMappedPage(std::uint32_t page_number) {
  const std::int64_t offset = base_offset_ + static_cast<std::int64_t>(page_number) * page_size_;
  if (mapped_size_ < 0 || offset > mapped_size_ - static_cast<std::int64_t>(page_size_)) {
    err_.SetF(kBadRequestCode, QERR_HERE, "Page %u of %s lies beyond the end of the file",
              static_cast<unsigned>(page_number), label_);
    return nullptr;
  }
  return mapped_base_ + offset;
}

const std::uint8_t* QRecordMgr::GetPage(std::uint32_t page_number, int* hit) {
  if (!ready_) return nullptr;
  if (mapped_base_ != nullptr) {
    if (hit != nullptr) *hit = kHitMapped;
    return GetMappedPage(page_number);
  }
  if (hit != nullptr) *hit = kMiss;
  if (page_number == QRecordMgrRecord::kNoPage) {
    err_.SetF(kBadRequestCode, QERR_HERE, "Page %u of %s is not a page number",
              static_cast<unsigned>(page_number), label_);
    return nullptr;
  }
  auto* slot = static_cast<QRecordMgrRecord*>(slot_list_.Find(&page_number));
  if (slot != nullptr) {
    if (hit != nullptr) *hit = kHit;
  } else {
    // A new slot (made at the back) while there is room for one, else --
    // or when its page cannot be allocated -- the least recently used.
    if (slots_.size() < slot_count_) AddSlot();
    slot = static_cast<QRecordMgrRecord*>(slot_list_.Last());
    ++read_count_;
    if (!slot->Load(page_number)) return nullptr;
  }
  slot_list_.MoveToFront(slot);
  return slot->data();
}

std::vector<std::uint32_t> QRecordMgr::SlotPagesForTest() const {
  std::vector<std::uint32_t> pages;
  for (QDlistObject* element = slot_list_.First(); element != nullptr; element = element->next()) {
    pages.push_back(static_cast<QRecordMgrRecord*>(element)->page_number());
  }
  pages.resize(slot_count_, QRecordMgrRecord::kNoPage);
  return pages;
}
