#include "storage/rt_spatial_index.h"

#include "frame/error.h"
#include "storage/qfile.h"

namespace {

constexpr int kCorruptIndexCode = 111;
constexpr int kBadRequestCode = 100;

}  // namespace

// ---------------------------------------------------------------------------
// rtSpatialIndex

rtSpatialIndex::rtSpatialIndex(QError& error, Qfile& file, std::uint64_t root_offset,
                               std::uint32_t page_size)
    : SpatialIndex(error),
      file_(file),
      page_size_(page_size),
      pages_("rtIndex::rtIndex", file, 0, page_size, kCacheSlots, error) {
  ready_ = Open(root_offset);
}

rtSpatialIndex::~rtSpatialIndex() = default;

bool rtSpatialIndex::Open(std::uint64_t root_offset) {
  if (!lumetra::RtreePageSizeValid(page_size_)) {
    error().SetF(kBadRequestCode, QERR_HERE, "R-tree page size %u of %s is not usable", page_size_,
                 file_.name());
    return false;
  }
  if (!pages_.ready()) return false;
  const std::int64_t size = file_.Size();
  page_count_ = size > 0 ? static_cast<std::uint64_t>(size) / page_size_ : 0;
  const std::uint64_t root = root_offset / page_size_;
  if (root_offset % page_size_ != 0 || root >= page_count_ || root >= 0xFFFFFFFFu) {
    error().SetF(kCorruptIndexCode, QERR_HERE,
                 "R-tree root offset %llu of %s is not a page of the file",
                 static_cast<unsigned long long>(root_offset), file_.name());
    return false;
  }
  root_page_ = static_cast<std::uint32_t>(root);
  lumetra::RtreeNodeHeader header;
  if (FetchNode(root_page_, &header) == nullptr) {
    ReportCorruptNode(root_page_, "root page is not a node");
    return false;
  }
  if (header.is_leaf() != (header.level == 0)) {
    ReportCorruptNode(root_page_, "leaf flag and level disagree");
    return false;
  }
  height_ = header.level;
  return true;
}

const std::uint8_t* rtSpatialIndex::FetchNode(std::uint32_t page_number,
                                              lumetra::RtreeNodeHeader* header) {
  if (page_number >= page_count_) return nullptr;
  const std::uint8_t* page = pages_.GetPage(page_number);
  if (page == nullptr) return nullptr;
  return lumetra::RtreeNodeHeader::DecodeFrom(page, page_size_, header) ? page : nullptr;
}

void rtSpatialIndex::ReportCorruptNode(std::uint32_t page_number, const char* what) const {
  error().SetF(kCorruptIndexCode, QERR_HERE, "R-tree page %u of %s: %s", page_number, file_.name(),
               what);
}

std::unique_ptr<SpatialIndexEnum> rtSpatialIndex::CreateEnum() {
  if (!ready_) return nullptr;
  return std::make_unique<rtSpatialIndexEnum>(*this);
}

// ---------------------------------------------------------------------------
// rtSpatialIndexEnum

rtSpatialIndexEnum::rtSpatialIndexEnum(rtSpatialIndex& index)
    : index_(index), stack_(static_cast<std::size_t>(index.height()) + 1) {}

bool rtSpatialIndexEnum::First(const lumetra::Rect& query, std::uint64_t* offset) {
  query_ = query;
  stack_[0] = Frame{index_.root_page(), 0, index_.height()};
  depth_ = 0;
  return Next(offset);
}

bool rtSpatialIndexEnum::Stop(std::uint32_t page, const char* what) {
  depth_ = -1;
  index_.ReportCorruptNode(page, what);
  return false;
}

bool rtSpatialIndexEnum::Next(std::uint64_t* offset) {
  if (offset == nullptr) return false;
  while (depth_ >= 0) {
    Frame& top = stack_[static_cast<std::size_t>(depth_)];
    lumetra::RtreeNodeHeader header;
    const std::uint8_t* page = index_.FetchNode(top.page, &header);
    if (page == nullptr) return Stop(top.page, "outside the file, unreadable or not a node");
    // Levels fall by exactly one per step down, so the walk is at most
    // height + 1 deep and can never revisit an ancestor.
    if (header.level != top.level || header.is_leaf() != (header.level == 0)) {
      return Stop(top.page, "level out of order");
    }
    std::uint32_t i = top.next_entry;
    while (i < header.count && !lumetra::RtreeEntryMeets(page, i, query_)) ++i;
    if (i >= header.count) {
      --depth_;
      continue;
    }
    top.next_entry = i + 1;
    const lumetra::RtreeEntry entry = lumetra::DecodeRtreeEntry(page, i);
    if (header.is_leaf()) {
      last_rect_ = entry.rect;
      last_offset_ = entry.value;
      *offset = entry.value;
      return true;
    }
    const std::uint32_t child = lumetra::RtreeChildPage(entry);
    if (static_cast<std::size_t>(depth_) + 1 >= stack_.size()) {
      return Stop(top.page, "tree deeper than its root level");
    }
    const std::uint32_t child_level = top.level - 1;
    stack_[static_cast<std::size_t>(++depth_)] = Frame{child, 0, child_level};
  }
  return false;
}
