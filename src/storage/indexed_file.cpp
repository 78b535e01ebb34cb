#include "storage/indexed_file.h"

#include <cstring>
#include <string>
#include <utility>

#include "frame/byte_order.h"
#include "frame/error.h"
#include "storage/paged_file.h"
#include "storage/qfile.h"
#include "storage/qtree.h"
#include "storage/record_mgr.h"

namespace {

constexpr int kBadRequestCode = 100;
constexpr int kCorruptCode = 111;

}  // namespace

// ---- QIndexedFilePage -------------------------------------------------------------

QIndexedFilePage::QIndexedFilePage(bool copy_pages) : copy_pages_(copy_pages) {}

QIndexedFilePage::~QIndexedFilePage() = default;

void QIndexedFilePage::SetLayout(std::uint32_t key_length, std::uint32_t value_length) {
  key_length_ = key_length;
  value_length_ = value_length;
  Unload();
}

void QIndexedFilePage::Unload() {
  page_ = nullptr;
  count_ = 0;
  area_end_ = 0;
}

bool QIndexedFilePage::Load(QRecordMgr& pages, std::uint32_t page_number, QError& err) {
  Unload();
  const std::uint8_t* bytes = pages.GetPage(page_number);
  if (bytes == nullptr) return false;
  const std::uint32_t size = pages.page_size();
  const std::uint32_t area_end = size >= kHeadSize ? lumetra::GetU32(bytes) : 0;
  const std::uint32_t count = size >= kHeadSize ? lumetra::GetU32(bytes + 4) : 0;
  const std::uint64_t records = std::uint64_t{count} * record_size();
  if (size < kHeadSize || area_end > size || area_end < kHeadSize || count > kMaxRecords ||
      records > area_end - kHeadSize) {
    err.SetF(kCorruptCode, QERR_HERE,
             "Data page %u of %s is corrupt: record area end %u, %u records of %u bytes",
             static_cast<unsigned>(page_number), pages.label(), static_cast<unsigned>(area_end),
             static_cast<unsigned>(count), static_cast<unsigned>(record_size()));
    return false;
  }
  if (copy_pages_) {
    copy_.assign(bytes, bytes + size);
    bytes = copy_.data();
  }
  page_ = bytes;
  page_number_ = page_number;
  page_size_ = size;
  count_ = count;
  area_end_ = area_end;
  return true;
}

const std::uint8_t* QIndexedFilePage::KeyAt(std::uint32_t slot) const {
  return page_ + area_end_ - (std::size_t{slot} + 1) * record_size();
}

bool QIndexedFilePage::Get(std::uint32_t slot, void* key_out, void* value_out) const {
  if (page_ == nullptr || slot >= count_) return false;
  const std::uint8_t* record = KeyAt(slot);
  if (key_out != nullptr) std::memcpy(key_out, record, key_length_);
  if (value_out != nullptr && value_length_ > 0) {
    std::memcpy(value_out, record + key_length_, value_length_);
  }
  return true;
}

int QIndexedFilePage::Compare(const void* a, const void* b) const {
  return std::memcmp(a, b, key_length_);
}

std::uint32_t QIndexedFilePage::Find(const void* key) const {
  if (page_ == nullptr || count_ == 0) return kNotFound;
  // Lower bound over the slots, whose keys ascend: the first slot whose key
  // is not below the search key.
  std::uint32_t low = 0;
  std::uint32_t high = count_;
  while (low < high) {
    const std::uint32_t mid = low + (high - low) / 2;
    if (Compare(key, KeyAt(mid)) > 0) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  if (low < count_ && Compare(key, KeyAt(low)) == 0) return low;
  return kNotFound;
}

// ---- QIndexedFile ---------------------------------------------------------------------

QIndexedFile::QIndexedFile(const char* name, std::uint32_t kind, std::uint32_t cache_slots,
                           std::unique_ptr<QIndexedFilePage> page_view, QError* err)
    : own_err_(err == nullptr ? std::make_unique<QErrorEx>() : nullptr),
      err_(err != nullptr ? *err : *own_err_),
      page_(std::move(page_view)) {
  if (page_ == nullptr) page_ = std::make_unique<QIndexedFilePage>();
  ready_ = Open(name, kind, cache_slots);
}

// The tree and page view go before the paged file whose file and record
// manager they use.
QIndexedFile::~QIndexedFile() {
  tree_.reset();
  page_.reset();
  file_.reset();
}

bool QIndexedFile::Open(const char* name, std::uint32_t kind, std::uint32_t cache_slots) {
  file_ = std::make_unique<QPagedFile>(name, kind, cache_slots, err_);
  if (!file_->ready()) return false;
  key_length_ = file_->HeaderU32(kKeyLengthOffset);
  value_length_ = file_->HeaderU32(kValueLengthOffset);
  const std::uint64_t record = std::uint64_t{key_length_} + value_length_;
  if (key_length_ == 0 || record + QIndexedFilePage::kHeadSize > file_->page_size()) {
    err_.SetF(kCorruptCode, QERR_HERE,
              "Indexed file %s: key length %u and value length %u do not fit its %u-byte pages",
              file_->file().name(), static_cast<unsigned>(key_length_),
              static_cast<unsigned>(value_length_), static_cast<unsigned>(file_->page_size()));
    return false;
  }
  page_->SetLayout(key_length_, value_length_);
  return true;
}

int QIndexedFile::Compare(const void* a, const void* b) const { return page_->Compare(a, b); }

bool QIndexedFile::OpenTree(std::uint64_t root_offset) {
  tree_.reset();
  if (!ready_) return false;
  const std::string name = file_->file().name();
  const std::string label = "ix" + name.substr(name.size() > 5 ? name.size() - 5 : 0);
  auto tree = std::make_unique<QTree>(
      label.c_str(), file_->file(), root_offset,
      [this](const void* a, const void* b) { return Compare(a, b); }, err_);
  if (!tree->ready()) return false;
  if (tree->key_length() != key_length_ || tree->value_length() < 4) {
    err_.SetF(kCorruptCode, QERR_HERE,
              "Indexed file %s: tree at %llu has %u-byte keys and %u-byte values, expected "
              "%u-byte keys and page numbers",
              name.c_str(), static_cast<unsigned long long>(root_offset),
              static_cast<unsigned>(tree->key_length()),
              static_cast<unsigned>(tree->value_length()), static_cast<unsigned>(key_length_));
    return false;
  }
  tree_value_.assign(tree->value_length(), 0);
  tree_ = std::move(tree);
  return true;
}

bool QIndexedFile::LoadPage(std::uint32_t page_number) {
  return page_->Load(*file_->record_mgr(), page_number, err_);
}

// The data page named by the tree's last leaf value (a u32 page number).
bool QIndexedFile::TreeValueToPage(std::uint32_t* page_number) {
  const std::uint32_t page = lumetra::GetU32(tree_value_.data());
  if (page > kPageMask) {
    err_.SetF(kCorruptCode, QERR_HERE, "Indexed file %s: tree names data page %u",
              file_->file().name(), static_cast<unsigned>(page));
    return false;
  }
  *page_number = page;
  return true;
}

bool QIndexedFile::NextDataPage(std::uint32_t* page_number) {
  return tree_->NextEntry(nullptr, tree_value_.data()) && TreeValueToPage(page_number) &&
         LoadPage(*page_number);
}

bool QIndexedFile::FindFirst(const void* key, std::uint32_t* id) {
  if (!ready_ || tree_ == nullptr || key == nullptr || id == nullptr) return false;
  std::uint32_t page = 0;
  if (!tree_->Find(key, nullptr, tree_value_.data(), QTree::kModeFloor)) return false;
  if (!TreeValueToPage(&page) || !LoadPage(page)) return false;
  const std::uint32_t slot = page_->Find(key);
  if (slot != QIndexedFilePage::kNotFound) {
    *id = RecordId(page, slot);
    return true;
  }
  // Not on the page the tree chose: the key can only start the next one.
  std::uint32_t next = RecordId(page, kSlotMask);
  if (!FindNext(key, &next, kModeNextPage)) return false;
  *id = next;
  return true;
}

bool QIndexedFile::FindNext(const void* key, std::uint32_t* id, int mode) {
  if (!ready_ || tree_ == nullptr || key == nullptr || id == nullptr) return false;
  std::uint32_t page = PageOf(*id);
  std::uint32_t slot = SlotOf(*id) + 1;
  if (mode == kModeSameKey) {
    if (!LoadPage(page)) return false;
  }
  if (mode != kModeSameKey || slot >= page_->count()) {
    if (!NextDataPage(&page)) return false;
    slot = 0;
  }
  if (slot >= page_->count() || Compare(key, page_->KeyAt(slot)) != 0) return false;
  *id = RecordId(page, slot);
  return true;
}

bool QIndexedFile::Get(std::uint32_t id, void* key_out, void* value_out) {
  if (!ready_) return false;
  if (!LoadPage(PageOf(id))) return false;
  if (!page_->Get(SlotOf(id), key_out, value_out)) {
    err_.SetF(kBadRequestCode, QERR_HERE, "Record id %08X names no record of %s",
              static_cast<unsigned>(id), file_->file().name());
    return false;
  }
  return true;
}
