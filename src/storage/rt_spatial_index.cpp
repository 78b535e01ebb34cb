#include "storage/rt_spatial_index.h"

#include <algorithm>

#include "frame/error.h"
#include "storage/qfile.h"

namespace {

constexpr int kCorruptIndexCode = 111;

// Little-endian 32-bit load; the compiler turns the shifts into one load.
inline std::int32_t LoadI32(const std::uint8_t* b) {
  const std::uint32_t v = static_cast<std::uint32_t>(b[0]) |
                          (static_cast<std::uint32_t>(b[1]) << 8) |
                          (static_cast<std::uint32_t>(b[2]) << 16) |
                          (static_cast<std::uint32_t>(b[3]) << 24);
  return static_cast<std::int32_t>(v);
}
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
  for (std::uint32_t& m : recent_misses_) m = 0xFFFFFFFFu;
  const std::size_t capacity = lumetra::RtreeNodeCapacity(page_size_);
  decoded_.resize(kCacheSlots);
  for (DecodedNode& node : decoded_) {
    node.minx.reserve(capacity);
    node.miny.reserve(capacity);
    node.maxx.reserve(capacity);
    node.maxy.reserve(capacity);
    node.value.reserve(capacity);
    node.chunk.reserve((capacity + kChunk - 1) / kChunk);
    node.group.reserve((capacity + kGroup - 1) / kGroup);
  }
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

const rtSpatialIndex::DecodedNode* rtSpatialIndex::FetchDecoded(std::uint32_t page_number,
                                                                 bool first_visit) {
  DecodedNode* victim = &decoded_[0];
  for (DecodedNode& node : decoded_) {
    if (node.page == page_number) {
      node.last_use = ++use_clock_;
      return &node;
    }
    if (node.last_use < victim->last_use) victim = &node;
  }
  if (!first_visit) return nullptr;
  bool seen = false;
  for (std::uint32_t m : recent_misses_) seen = seen || m == page_number;
  if (!seen) {
    recent_misses_[next_miss_] = page_number;
    next_miss_ = (next_miss_ + 1) % kMissWindow;
    return nullptr;
  }
  lumetra::RtreeNodeHeader header;
  const std::uint8_t* page = FetchNode(page_number, &header);
  if (page == nullptr) return nullptr;
  // The header decode has checked count against the page size, and the
  // vectors were reserved for the page's capacity, so nothing allocates.
  DecodedNode& node = *victim;
  node.page = 0xFFFFFFFFu;
  node.count = header.count;
  node.level = header.level;
  node.leaf = header.is_leaf();
  node.minx.resize(header.count);
  node.miny.resize(header.count);
  node.maxx.resize(header.count);
  node.maxy.resize(header.count);
  node.value.resize(header.count);
  const std::uint8_t* p = page + lumetra::kRtreeHeaderSize;
  for (std::uint32_t i = 0; i < header.count; ++i, p += lumetra::kRtreeEntrySize) {
    node.minx[i] = LoadI32(p);
    node.miny[i] = LoadI32(p + 4);
    node.maxx[i] = LoadI32(p + 8);
    node.maxy[i] = LoadI32(p + 12);
    node.value[i] = static_cast<std::uint64_t>(static_cast<std::uint32_t>(LoadI32(p + 16))) |
                    (static_cast<std::uint64_t>(static_cast<std::uint32_t>(LoadI32(p + 20))) << 32);
  }
  const std::uint32_t chunks = (header.count + kChunk - 1) / kChunk;
  node.chunk.resize(chunks);
  for (std::uint32_t c = 0; c < chunks; ++c) {
    const std::uint32_t begin = c * kChunk;
    const std::uint32_t end = std::min<std::uint32_t>(header.count, begin + kChunk);
    lumetra::Rect box{node.minx[begin], node.miny[begin], node.maxx[begin], node.maxy[begin]};
    for (std::uint32_t i = begin + 1; i < end; ++i) {
      box.minx = std::min(box.minx, node.minx[i]);
      box.miny = std::min(box.miny, node.miny[i]);
      box.maxx = std::max(box.maxx, node.maxx[i]);
      box.maxy = std::max(box.maxy, node.maxy[i]);
    }
    node.chunk[c] = box;
  }
  node.group.resize((chunks + kGroup / kChunk - 1) / (kGroup / kChunk));
  for (std::uint32_t c = 0; c < chunks; ++c) {
    lumetra::Rect& group = node.group[c / (kGroup / kChunk)];
    if (c % (kGroup / kChunk) == 0) {
      group = node.chunk[c];
    } else {
      group.Include(node.chunk[c]);
    }
  }
  node.page = page_number;
  node.last_use = ++use_clock_;
  return &node;
}

std::uint32_t rtSpatialIndex::FirstMeeting(const DecodedNode& node, std::uint32_t from,
                                           const lumetra::Rect& q) {
  const std::int32_t* minx = node.minx.data();
  const std::int32_t* miny = node.miny.data();
  const std::int32_t* maxx = node.maxx.data();
  const std::int32_t* maxy = node.maxy.data();
  std::uint32_t i = from;
  while (i < node.count) {
    const std::uint32_t group_end = std::min(node.count, (i / kGroup + 1) * kGroup);
    if (!node.group[i / kGroup].Meets(q)) {
      i = group_end;
      continue;
    }
    while (i < group_end) {
      const std::uint32_t c = i / kChunk;
      const std::uint32_t end = std::min(group_end, (c + 1) * kChunk);
      if (node.chunk[c].Meets(q)) {
        for (; i < end; ++i) {
          if (minx[i] <= q.maxx && maxx[i] >= q.minx && miny[i] <= q.maxy && maxy[i] >= q.miny) {
            return i;
          }
        }
      }
      i = end;
    }
  }
  return node.count;
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

bool rtSpatialIndexEnum::FindInNode(const Frame& top, Hit* hit) {
  // Levels fall by exactly one per step down, so the walk is at most
  // height + 1 deep and can never revisit an ancestor.
  if (const rtSpatialIndex::DecodedNode* node = index_.FetchDecoded(top.page, top.next_entry == 0)) {
    if (node->level != top.level || node->leaf != (node->level == 0)) {
      return Stop(top.page, "level out of order");
    }
    const std::uint32_t i = rtSpatialIndex::FirstMeeting(*node, top.next_entry, query_);
    hit->found = i < node->count;
    if (hit->found) {
      *hit = Hit{true, node->leaf, i,
                 lumetra::Rect{node->minx[i], node->miny[i], node->maxx[i], node->maxy[i]},
                 node->value[i]};
    }
    return true;
  }
  lumetra::RtreeNodeHeader header;
  const std::uint8_t* page = index_.FetchNode(top.page, &header);
  if (page == nullptr) return Stop(top.page, "outside the file, unreadable or not a node");
  if (header.level != top.level || header.is_leaf() != (header.level == 0)) {
    return Stop(top.page, "level out of order");
  }
  std::uint32_t i = top.next_entry;
  while (i < header.count && !lumetra::RtreeEntryMeets(page, i, query_)) ++i;
  hit->found = i < header.count;
  if (hit->found) {
    const lumetra::RtreeEntry entry = lumetra::DecodeRtreeEntry(page, i);
    *hit = Hit{true, header.is_leaf(), i, entry.rect, entry.value};
  }
  return true;
}

bool rtSpatialIndexEnum::Next(std::uint64_t* offset) {
  if (offset == nullptr) return false;
  while (depth_ >= 0) {
    Frame& top = stack_[static_cast<std::size_t>(depth_)];
    Hit hit;
    if (!FindInNode(top, &hit)) return false;  // stopped
    if (!hit.found) {
      --depth_;
      continue;
    }
    top.next_entry = hit.index + 1;
    if (hit.leaf) {
      last_rect_ = hit.rect;
      last_offset_ = hit.value;
      *offset = hit.value;
      return true;
    }
    const std::uint32_t child = static_cast<std::uint32_t>(hit.value);
    if (static_cast<std::size_t>(depth_) + 1 >= stack_.size()) {
      return Stop(top.page, "tree deeper than its root level");
    }
    const std::uint32_t child_level = top.level - 1;
    stack_[static_cast<std::size_t>(++depth_)] = Frame{child, 0, child_level};
  }
  return false;
}
