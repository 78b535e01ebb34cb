#include "storage/rt_spatial_index.h"

#include <algorithm>
#include <new>

#include "frame/error.h"
#include "storage/qfile.h"

namespace {

constexpr int kCorruptIndexCode = 111;

// Little-endian 32-bit load; the compiler turns the shifts into one load.
inline std::int32_t LoadI32(const std::uint8_t* b) {
  const std::uint32_t v =
      static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
      (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  return static_cast<std::int32_t>(v);
}
constexpr int kBadRequestCode = 100;

// Centres in 64 bits: the sum of two i32 does not fit 32.
std::int64_t CentreX(const rtSpatialIndex::DecodedNode& n, std::uint16_t i) {
  return std::int64_t{n.minx[i]} + n.maxx[i];
}
std::int64_t CentreY(const rtSpatialIndex::DecodedNode& n, std::uint16_t i) {
  return std::int64_t{n.miny[i]} + n.maxy[i];
}

// Fills node->order (sort-tile-recursive: slices by x centre, each slice by
// y centre) and the chunk and group rectangles over it.  Sorting happens in
// the vectors reserved at open, so nothing allocates.
void PackOrder(rtSpatialIndex::DecodedNode* node) {
  using Node = rtSpatialIndex::DecodedNode;
  constexpr std::uint32_t kChunk = rtSpatialIndex::kChunk;
  constexpr std::uint32_t kGroup = rtSpatialIndex::kGroup;
  const std::uint32_t n = node->count;
  node->order.resize(n);
  for (std::uint32_t i = 0; i < n; ++i) node->order[i] = static_cast<std::uint16_t>(i);
  const Node& nd = *node;
  std::sort(node->order.begin(), node->order.end(),
            [&nd](std::uint16_t a, std::uint16_t b) { return CentreX(nd, a) < CentreX(nd, b); });
  const std::uint32_t chunks = (n + kChunk - 1) / kChunk;
  std::uint32_t slices = 1;
  while (slices * slices < chunks) ++slices;
  const std::uint32_t per_slice = ((chunks + slices - 1) / slices) * kChunk;
  for (std::uint32_t s = 0; s * per_slice < n; ++s) {
    auto first = node->order.begin() + s * per_slice;
    auto last = node->order.begin() + std::min(n, (s + 1) * per_slice);
    std::sort(first, last,
              [&nd](std::uint16_t a, std::uint16_t b) { return CentreY(nd, a) < CentreY(nd, b); });
  }
  node->chunk.resize(chunks);
  node->group.resize((n + kGroup - 1) / kGroup);
  for (std::uint32_t k = 0; k < n; ++k) {
    const std::uint16_t i = node->order[k];
    const lumetra::Rect r{node->minx[i], node->miny[i], node->maxx[i], node->maxy[i]};
    lumetra::Rect& chunk = node->chunk[k / kChunk];
    lumetra::Rect& group = node->group[k / kGroup];
    if (k % kChunk == 0)
      chunk = r;
    else
      chunk.Include(r);
    if (k % kGroup == 0)
      group = r;
    else
      group.Include(r);
  }
}

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
  // The slots' arrays are sized when a slot first takes a node.
  decoded_.resize(kCacheSlots);
  lumetra::RtreeNodeHeader header;
  if (FetchNode(root_page_, &header) == nullptr) {
    ReportCorruptNode(root_page_, "root page is not a node");
    return false;
  }
  if (header.is_leaf() != (header.level == 0)) {
    ReportCorruptNode(root_page_, "leaf flag and level disagree");
    return false;
  }
  // Each level needs a page of its own; a damaged level must not size the
  // enumerators' stacks.
  if (header.level >= page_count_) {
    ReportCorruptNode(root_page_, "root level above the file's page count");
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

bool rtSpatialIndex::ReserveArrays(DecodedNode* node) const {
  const std::size_t capacity = lumetra::RtreeNodeCapacity(page_size_);
  try {
    node->minx.reserve(capacity);
    node->miny.reserve(capacity);
    node->maxx.reserve(capacity);
    node->maxy.reserve(capacity);
    node->value.reserve(capacity);
    node->order.reserve(capacity);
    node->chunk.reserve((capacity + kChunk - 1) / kChunk);
    node->group.reserve((capacity + kGroup - 1) / kGroup);
  } catch (const std::bad_alloc&) {
    *node = DecodedNode();
    return false;
  }
  return true;
}

const rtSpatialIndex::DecodedNode* rtSpatialIndex::FetchDecoded(std::uint32_t page_number,
                                                                bool first_visit) {
  DecodedNode* victim = &decoded_[0];
  for (DecodedNode& node : decoded_) {
    if (node.page == page_number) {
      node.last_use = ++use_clock_;
      ++node.hits;
      return &node;
    }
    if (node.last_use < victim->last_use) victim = &node;
  }
  if (!first_visit) return nullptr;
  if (bypass_ > 0) {
    --bypass_;
    return nullptr;
  }
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
  // vectors are reserved for the page's capacity when the slot is first
  // used, so nothing allocates after that.  A slot that cannot get its
  // arrays stays empty: the caller scans the page in place.
  DecodedNode& node = *victim;
  if (node.minx.capacity() == 0 && !ReserveArrays(&node)) return nullptr;
  // Decoding pays only when a node is visited again before it is replaced.
  // When several nodes in a row were replaced unvisited, the queries range
  // over more nodes than the cache holds: scan in place for a while.
  if (node.page != 0xFFFFFFFFu && node.hits == 0) {
    if (++wasted_decodes_ >= kWasteLimit) {
      wasted_decodes_ = 0;
      bypass_ = kBypassVisits;
    }
  } else {
    wasted_decodes_ = 0;
  }
  node.hits = 0;
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
  PackOrder(&node);
  node.page = page_number;
  node.last_use = ++use_clock_;
  return &node;
}

std::uint32_t rtSpatialIndex::CollectMeeting(const DecodedNode& node, const lumetra::Rect& q,
                                             std::uint16_t* out) {
  const std::uint32_t n = node.count;
  std::uint32_t found = 0;
  for (std::uint32_t g = 0; g * kGroup < n; ++g) {
    if (!node.group[g].Meets(q)) continue;
    const std::uint32_t chunk_end = std::min(n, (g + 1) * kGroup);
    for (std::uint32_t start = g * kGroup; start < chunk_end; start += kChunk) {
      if (!node.chunk[start / kChunk].Meets(q)) continue;
      const std::uint32_t end = std::min(chunk_end, start + kChunk);
      for (std::uint32_t k = start; k < end; ++k) {
        const std::uint16_t i = node.order[k];
        if (node.minx[i] <= q.maxx && node.maxx[i] >= q.minx && node.miny[i] <= q.maxy &&
            node.maxy[i] >= q.miny) {
          out[found++] = i;
        }
      }
    }
  }
  // Hand the hits out in stored order, as a plain scan would.
  std::sort(out, out + found);
  return found;
}

const lumetra::RtreeGrid* rtSpatialIndex::Grid() {
  if (grid_ != nullptr || grid_calls_ > kGridAfterQueries) return grid_.get();
  if (++grid_calls_ <= kGridAfterQueries) return nullptr;
  std::vector<lumetra::RtreeEntry> leaves;
  try {
    // 24 bytes an entry in the grid, plus its cell listings.
    if (CollectLeaves(&leaves, kMaxGridBytes / 28)) {
      grid_ = lumetra::RtreeGrid::Build(leaves, kMaxGridBytes);
    }
  } catch (const std::bad_alloc&) {
    grid_.reset();
  }
  return grid_.get();
}

bool rtSpatialIndex::CollectLeaves(std::vector<lumetra::RtreeEntry>* out, std::size_t max_entries) {
  // A node being walked: its entries (copied, as the page pointer does not
  // survive the children's fetches) and the next one to look at.
  struct Frame {
    std::vector<lumetra::RtreeEntry> entries;
    std::size_t next = 0;
    std::uint32_t level = 0;
  };
  std::vector<bool> reached(static_cast<std::size_t>(page_count_), false);
  std::vector<Frame> stack;
  const auto enter = [&](std::uint32_t page, std::uint32_t level, const lumetra::Rect* parent) {
    if (page >= page_count_ || reached[page]) return false;
    reached[page] = true;
    lumetra::RtreeNodeHeader header;
    const std::uint8_t* bytes = FetchNode(page, &header);
    if (bytes == nullptr || header.level != level || header.is_leaf() != (level == 0)) return false;
    Frame frame;
    frame.level = level;
    for (std::uint32_t i = 0; i < header.count; ++i) {
      const lumetra::RtreeEntry e = lumetra::DecodeRtreeEntry(bytes, i);
      const lumetra::Rect& r = e.rect;
      if (r.Inverted()) return false;
      if (parent != nullptr && (r.minx < parent->minx || r.miny < parent->miny ||
                                r.maxx > parent->maxx || r.maxy > parent->maxy)) {
        return false;
      }
      frame.entries.push_back(e);
    }
    stack.push_back(std::move(frame));
    return true;
  };
  if (!enter(root_page_, height_, nullptr)) return false;
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next == top.entries.size()) {
      stack.pop_back();
      continue;
    }
    const lumetra::RtreeEntry e = top.entries[top.next++];
    if (top.level == 0) {
      if (out->size() >= max_entries) return false;
      out->push_back(e);
    } else if (!enter(lumetra::RtreeChildPage(e), top.level - 1, &e.rect)) {
      return false;
    }
  }
  return true;
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
    : index_(index),
      stack_(static_cast<std::size_t>(index.height()) + 1),
      hit_storage_(stack_.size() * lumetra::RtreeNodeCapacity(index.page_size())) {}

bool rtSpatialIndexEnum::First(const lumetra::Rect& query, std::uint64_t* offset) {
  query_ = query;
  grid_hits_.clear();
  grid_next_ = 0;
  grid_ = index_.Grid();
  if (grid_ != nullptr && !grid_->Collect(query, &grid_hits_)) grid_ = nullptr;
  if (grid_ == nullptr) stack_[0] = MakeFrame(0, index_.root_page(), index_.height());
  depth_ = 0;
  return Next(offset);
}

bool rtSpatialIndexEnum::NextFromGrid(std::uint64_t* offset) {
  if (grid_next_ >= grid_hits_.size()) {
    depth_ = -1;
    return false;
  }
  const std::uint32_t seq = grid_hits_[grid_next_++];
  last_rect_ = grid_->rect(seq);
  last_offset_ = grid_->value(seq);
  *offset = last_offset_;
  return true;
}

bool rtSpatialIndexEnum::Stop(std::uint32_t page, const char* what) {
  depth_ = -1;
  index_.ReportCorruptNode(page, what);
  return false;
}

bool rtSpatialIndexEnum::EntryOf(const Frame& top, std::uint32_t index, Hit* hit) {
  if (const rtSpatialIndex::DecodedNode* node = index_.FetchDecoded(top.page, false)) {
    if (index < node->count) {
      *hit = Hit{
          true, node->leaf, index,
          lumetra::Rect{node->minx[index], node->miny[index], node->maxx[index], node->maxy[index]},
          node->value[index]};
      return true;
    }
  }
  lumetra::RtreeNodeHeader header;
  const std::uint8_t* page = index_.FetchNode(top.page, &header);
  if (page == nullptr || index >= header.count) {
    return Stop(top.page, "outside the file, unreadable or not a node");
  }
  const lumetra::RtreeEntry entry = lumetra::DecodeRtreeEntry(page, index);
  *hit = Hit{true, header.is_leaf(), index, entry.rect, entry.value};
  return true;
}

bool rtSpatialIndexEnum::FindInNode(Frame& top, Hit* hit) {
  hit->found = false;
  if (top.collected) {
    if (top.hit_pos >= top.hit_count) return true;
    return EntryOf(top, top.hits[top.hit_pos++], hit);
  }
  // Levels fall by exactly one per step down, so the walk is at most
  // height + 1 deep and can never revisit an ancestor.
  if (top.next_entry == 0) {
    if (const rtSpatialIndex::DecodedNode* node = index_.FetchDecoded(top.page, true)) {
      if (node->level != top.level || node->leaf != (node->level == 0)) {
        return Stop(top.page, "level out of order");
      }
      top.hit_count = rtSpatialIndex::CollectMeeting(*node, query_, top.hits);
      top.hit_pos = 0;
      top.collected = true;
      return FindInNode(top, hit);
    }
  }
  lumetra::RtreeNodeHeader header;
  const std::uint8_t* page = index_.FetchNode(top.page, &header);
  if (page == nullptr) return Stop(top.page, "outside the file, unreadable or not a node");
  if (header.level != top.level || header.is_leaf() != (header.level == 0)) {
    return Stop(top.page, "level out of order");
  }
  std::uint32_t i = top.next_entry;
  while (i < header.count && !lumetra::RtreeEntryMeets(page, i, query_)) ++i;
  top.next_entry = i + 1;
  if (i >= header.count) return true;
  const lumetra::RtreeEntry entry = lumetra::DecodeRtreeEntry(page, i);
  *hit = Hit{true, header.is_leaf(), i, entry.rect, entry.value};
  return true;
}

rtSpatialIndexEnum::Frame rtSpatialIndexEnum::MakeFrame(std::size_t depth, std::uint32_t page,
                                                        std::uint32_t level) {
  Frame frame;
  frame.page = page;
  frame.level = level;
  frame.hits = hit_storage_.data() + depth * lumetra::RtreeNodeCapacity(index_.page_size());
  return frame;
}

bool rtSpatialIndexEnum::Next(std::uint64_t* offset) {
  if (offset == nullptr) return false;
  if (grid_ != nullptr) return depth_ >= 0 && NextFromGrid(offset);
  while (depth_ >= 0) {
    Frame& top = stack_[static_cast<std::size_t>(depth_)];
    Hit hit;
    if (!FindInNode(top, &hit)) return false;  // stopped
    if (!hit.found) {
      --depth_;
      continue;
    }
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
    ++depth_;
    stack_[static_cast<std::size_t>(depth_)] =
        MakeFrame(static_cast<std::size_t>(depth_), child, child_level);
  }
  return false;
}
