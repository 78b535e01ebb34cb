#include "storage/qtree.h"

#include <cstring>
#include <utility>

#include "frame/byte_order.h"
#include "frame/error.h"
#include "storage/qfile.h"
#include "storage/record_mgr.h"

using lumetra::TreePageHeader;

namespace {

constexpr int kCorruptCode = 111;
constexpr std::uint32_t kSlotsPerLevel = 256;

}  // namespace

QTree::QTree(const char* label, Qfile& file, std::uint64_t root_offset,
             lumetra::QKeyCompare compare, QError& err)
    : err_(err), root_offset_(root_offset), compare_(std::move(compare)) {
  if (label != nullptr) std::strncpy(label_, label, sizeof label_ - 1);
  ready_ = Init(file);
}

QTree::~QTree() = default;

bool QTree::Init(Qfile& file) {
  std::uint8_t head[TreePageHeader::kEncodedSize];
  if (root_offset_ > static_cast<std::uint64_t>(INT64_MAX) ||
      !file.ReadAt("QTree::QTree", static_cast<std::int64_t>(root_offset_), head, sizeof head)) {
    if (root_offset_ > static_cast<std::uint64_t>(INT64_MAX)) {
      err_.SetF(kCorruptCode, QERR_HERE, "QTree %s: root offset %llu is not in the file", label_,
                static_cast<unsigned long long>(root_offset_));
    }
    return false;
  }
  const TreePageHeader root = TreePageHeader::DecodeFrom(head);
  page_size_ = root.page_size;
  if (page_size_ < lumetra::kTreePageReserve || root_offset_ % page_size_ != 0 ||
      root_offset_ / page_size_ >= 0xFFFFFFFFu) {
    err_.SetF(kCorruptCode, QERR_HERE, "QTree %s: no tree root at offset %llu (page size %u)",
              label_, static_cast<unsigned long long>(root_offset_),
              static_cast<unsigned>(page_size_));
    return false;
  }
  root_page_ = static_cast<std::uint32_t>(root_offset_ / page_size_);
  root_level_ = root.level;
  // A damaged root must not size the page cache: the root page lies whole
  // inside the file, and each level below it needs a page of its own.
  const std::int64_t file_size = file.Size();
  const std::uint64_t pages = file_size > 0 ? static_cast<std::uint64_t>(file_size) / page_size_ : 0;
  if (root_page_ >= pages || root_level_ >= pages) {
    err_.SetF(kCorruptCode, QERR_HERE, "QTree %s: root page %u at level %u does not fit %llu pages",
              label_, static_cast<unsigned>(root_page_), static_cast<unsigned>(root_level_),
              static_cast<unsigned long long>(pages));
    return false;
  }
  key_length_ = root.key_length;
  if (!compare_) compare_ = lumetra::NameKeyCompare(key_length_);
  const std::uint32_t slots = (std::uint32_t{root_level_} + 1) * kSlotsPerLevel;
  pages_ = std::make_unique<QRecordMgr>(label_, file, 0, page_size_, slots, err_);
  if (!pages_->ready()) return false;
  return FindLeftmostLeaf(&leftmost_leaf_);
}

bool QTree::ReportCorrupt(std::uint32_t page_number, const char* why) {
  err_.SetF(kCorruptCode, QERR_HERE, "QTree %s: page %u is corrupt: %s", label_,
            static_cast<unsigned>(page_number), why);
  return false;
}

// Fetches a page and checks it before anything reads its entries; the level
// must be the one the walk expects, which also rules out cycles.
const std::uint8_t* QTree::FetchPage(std::uint32_t page_number, std::uint16_t level,
                                     TreePageHeader* header) {
  const std::uint8_t* page = pages_->GetPage(page_number);
  if (page == nullptr) return nullptr;
  *header = TreePageHeader::DecodeFrom(page);
  const char* why = lumetra::CheckTreePageHeader(*header, page_size_);
  if (why == nullptr && header->level != level) why = "unexpected level";
  if (why == nullptr && header->key_length != key_length_) why = "key length differs from root";
  if (why == nullptr && level == 0 && leaf_value_known_ &&
      header->value_length != leaf_value_length_) {
    why = "leaf value length differs";
  }
  if (why != nullptr) {
    ReportCorrupt(page_number, why);
    return nullptr;
  }
  return page;
}

bool QTree::ChildPage(std::uint32_t page_number, const std::uint8_t* page,
                      const TreePageHeader& header, std::size_t index, std::uint32_t* child) {
  const std::uint8_t* entry =
      page + lumetra::TreeEntryOffset(header.entry_size(), index) + key_length_;
  const std::uint64_t offset = lumetra::GetU64(entry);
  if (offset % page_size_ != 0 || offset / page_size_ >= 0xFFFFFFFFu) {
    return ReportCorrupt(page_number, "child offset is not a page offset");
  }
  *child = static_cast<std::uint32_t>(offset / page_size_);
  return true;
}

// Runs first of all walks: the leftmost leaf fixes the value length that
// every other leaf must have.
bool QTree::FindLeftmostLeaf(std::uint32_t* leaf) {
  std::uint32_t page_number = root_page_;
  for (std::uint16_t level = root_level_;; --level) {
    TreePageHeader header;
    const std::uint8_t* page = FetchPage(page_number, level, &header);
    if (page == nullptr) return false;
    if (level == 0) {
      leaf_value_length_ = header.value_length;
      leaf_value_known_ = true;
      break;
    }
    if (header.count == 0) return ReportCorrupt(page_number, "interior page without entries");
    if (!ChildPage(page_number, page, header, 0, &page_number)) return false;
  }
  *leaf = page_number;
  return true;
}

int QTree::CompareEntry(const std::uint8_t* page, const TreePageHeader& header,
                        std::size_t index) const {
  return compare_(search_key_.data(), page + lumetra::TreeEntryOffset(header.entry_size(), index));
}

// First index in [0, end) whose entry is not below the search key.
std::size_t QTree::LowerBound(const std::uint8_t* page, const TreePageHeader& header,
                              std::size_t end) const {
  std::size_t lo = 0;
  std::size_t hi = end;
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (CompareEntry(page, header, mid) > 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

// The last entry at most the search key, and among equal entries the first;
// -1 when every entry is greater.
long QTree::FloorIndex(const std::uint8_t* page, const TreePageHeader& header) const {
  std::size_t lo = 0;
  std::size_t hi = header.count;
  while (lo < hi) {  // first entry greater than the search key
    const std::size_t mid = lo + (hi - lo) / 2;
    if (CompareEntry(page, header, mid) >= 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo == 0) return -1;
  const std::size_t floor = lo - 1;
  if (CompareEntry(page, header, floor) != 0) return static_cast<long>(floor);
  return static_cast<long>(LowerBound(page, header, floor));
}

bool QTree::Find(const void* key, void* key_out, void* value_out, int mode) {
  return Find(key, key_length_, key_out, value_out, mode);
}

bool QTree::Find(const void* key, std::size_t key_size, void* key_out, void* value_out, int mode) {
  positioned_ = false;
  if (!ready_ || key == nullptr) return false;
  const auto* k = static_cast<const std::uint8_t*>(key);
  search_key_.assign(k, k + key_size);
  // Zero padding keeps comparisons over the key length inside the copy.
  if (search_key_.size() < key_length_) search_key_.resize(key_length_, 0);
  has_search_key_ = true;
  std::uint32_t page_number = root_page_;
  for (std::uint16_t level = root_level_;; --level) {
    TreePageHeader header;
    const std::uint8_t* page = FetchPage(page_number, level, &header);
    if (page == nullptr) return false;
    const long index = FloorIndex(page, header);
    if (index < 0) return false;
    if (level == 0) {
      cursor_ = Cursor{page_number, static_cast<std::size_t>(index)};
      break;
    }
    if (!ChildPage(page_number, page, header, static_cast<std::size_t>(index), &page_number)) {
      return false;
    }
  }
  if (cursor_.index == 0 && !WalkBackOverEqualKeys()) return false;
  positioned_ = true;
  TreePageHeader header;
  const std::uint8_t* page = FetchPage(cursor_.page, 0, &header);
  if (page == nullptr) return false;
  const int order = CompareEntry(page, header, cursor_.index);
  // The binary searches trust the page's order; a landing entry above the
  // search key can only come from pages whose entries are out of order.
  if (order < 0) {
    positioned_ = false;
    return ReportCorrupt(cursor_.page, "entries out of order");
  }
  if (mode == kModeExact && order != 0) return false;
  return CopyOut(page + lumetra::TreeEntryOffset(header.entry_size(), cursor_.index), key_out,
                 value_out);
}

// The descent lands on the first child whose first key equals the search key,
// but equal keys may also end the pages before it: move the cursor back to the
// first of them, stopping at the level's first page.
bool QTree::WalkBackOverEqualKeys() {
  for (;;) {
    TreePageHeader header;
    const std::uint8_t* page = FetchPage(cursor_.page, 0, &header);
    if (page == nullptr) return false;
    if (header.count == 0 || CompareEntry(page, header, cursor_.index) != 0) return true;
    if (header.is_first() || cursor_.page == 0) return true;
    const std::uint32_t previous = cursor_.page - 1;
    page = FetchPage(previous, 0, &header);
    if (page == nullptr) return false;
    if (header.count == 0 || CompareEntry(page, header, header.count - 1u) != 0) return true;
    cursor_ = Cursor{previous, LowerBound(page, header, header.count)};
    if (cursor_.index > 0) return true;
  }
}

// Moves `cursor` to the following entry, onto later pages of the leaf level
// when needed; false at the end of the level or on a bad page.
bool QTree::StepForward(Cursor* cursor, const std::uint8_t** entry) {
  TreePageHeader header;
  const std::uint8_t* page = FetchPage(cursor->page, 0, &header);
  if (page == nullptr) return false;
  std::size_t index = cursor->index + 1;
  std::uint32_t page_number = cursor->page;
  while (index >= header.count) {
    if (header.is_last() || page_number >= 0xFFFFFFFEu) return false;
    ++page_number;
    index = 0;
    page = FetchPage(page_number, 0, &header);
    if (page == nullptr) return false;
  }
  *cursor = Cursor{page_number, index};
  *entry = page + lumetra::TreeEntryOffset(header.entry_size(), index);
  return true;
}

bool QTree::Next(void* key_out, void* value_out) {
  if (!positioned_ || !has_search_key_) return false;
  Cursor next = cursor_;
  const std::uint8_t* entry = nullptr;
  if (!StepForward(&next, &entry)) return false;
  if (compare_(search_key_.data(), entry) != 0) return false;
  cursor_ = next;
  return CopyOut(entry, key_out, value_out);
}

bool QTree::First(void* key_out, void* value_out) {
  positioned_ = false;
  has_search_key_ = false;
  search_key_.clear();
  if (!ready_) return false;
  TreePageHeader header;
  const std::uint8_t* page = FetchPage(leftmost_leaf_, 0, &header);
  if (page == nullptr) return false;
  Cursor first{leftmost_leaf_, 0};
  const std::uint8_t* entry = page + TreePageHeader::kEncodedSize;
  if (header.count == 0) {
    // Only an empty tree has an empty leaf; step over it all the same.
    first.index = static_cast<std::size_t>(-1);
    if (!StepForward(&first, &entry)) return false;
  }
  cursor_ = first;
  positioned_ = true;
  return CopyOut(entry, key_out, value_out);
}

bool QTree::NextEntry(void* key_out, void* value_out) {
  if (!positioned_) return false;
  const std::uint8_t* entry = nullptr;
  if (!StepForward(&cursor_, &entry)) return false;
  return CopyOut(entry, key_out, value_out);
}

bool QTree::CopyOut(const std::uint8_t* entry, void* key_out, void* value_out) const {
  if (key_out != nullptr) std::memcpy(key_out, entry, key_length_);
  if (value_out != nullptr) std::memcpy(value_out, entry + key_length_, leaf_value_length_);
  return true;
}
