// rtSpatialIndex: the reader of the paged R-tree that files written by this
// library carry (see rtree_node.h and docs/formats/rtree.md), and
// rtSpatialIndexEnum, its depth-first candidate enumerator.
//
// Pages are read through a QRecordMgr (label "rtIndex::rtIndex", base
// offset 0, 10 cache slots), so a search touches one cached page per level
// on its way down.  The reader distrusts the tree's bytes: a node whose
// page-size field or entry count does not fit the page, whose level is not
// one below its parent's (the root's level is the height), whose leaf flag
// disagrees with its level, or whose child page lies outside the file ends
// the enumeration (reported with code 111) instead of reading outside a page
// or looping.  Page checksums are not verified.
//
// Ownership: the file and the error sink are not owned and must outlive the
// index; enumerators must not outlive their index.  Thread rule: the index
// and its enumerators belong to one thread at a time.  Enumerators of one
// index may interleave: each copies what it returns before the next fetch.
//
// Usage:
//   rtSpatialIndex index(err, file, header_rtree_root);   // root page x 32768
//   if (!index.IsReady()) return false;                  // reported
//   auto it = index.CreateEnum();
//   std::uint64_t offset;
//   for (bool more = it->First(query, &offset); more; more = it->Next(&offset)) ...
#ifndef LUMETRA_STORAGE_RT_SPATIAL_INDEX_H
#define LUMETRA_STORAGE_RT_SPATIAL_INDEX_H

#include <cstdint>
#include <memory>
#include <vector>

#include "storage/record_mgr.h"
#include "storage/rtree_grid.h"
#include "storage/rtree_node.h"
#include "storage/spatial_index.h"

class QError;
class Qfile;

class rtSpatialIndex : public SpatialIndex {
 public:
  static constexpr std::uint32_t kCacheSlots = 10;

  // The tree whose root page lies at file offset `root_offset` (the root page
  // number x page_size) of `file`.  Ready when the page size is valid, the
  // offset is a whole page inside the file, the record manager could be
  // built and the root page reads as a valid node; otherwise the failure was
  // reported and the index is not ready.
  rtSpatialIndex(QError& error, Qfile& file, std::uint64_t root_offset,
                 std::uint32_t page_size = lumetra::kRtreePageSize);
  ~rtSpatialIndex() override;

  bool IsReady() const override { return ready_; }
  // A rtSpatialIndexEnum; null when the index is not ready.
  std::unique_ptr<SpatialIndexEnum> CreateEnum() override;

  std::uint32_t root_page() const { return root_page_; }
  // The root's level: 0 for a tree that is a single leaf.
  std::uint32_t height() const { return height_; }
  std::uint32_t page_size() const { return page_size_; }
  // Whole pages in the file; child page numbers must be below it.
  std::uint64_t page_count() const { return page_count_; }
  const QRecordMgr& record_mgr() const { return pages_; }

  // Fetches page `page_number` and decodes its header into `header`.  Null
  // when the page cannot be read (reported by the record manager) or is not
  // a valid node of this tree's page size (not reported; the caller names
  // the failure).  The bytes stay valid until the next fetch through this
  // index.
  const std::uint8_t* FetchNode(std::uint32_t page_number, lumetra::RtreeNodeHeader* header);

  // Reports a corrupt node at `page_number` with code 111.
  void ReportCorruptNode(std::uint32_t page_number, const char* what) const;

  // A node decoded once into parallel arrays, which the enumerator scans
  // without decoding bytes again.  Entry order is the stored order.
  struct DecodedNode {
    std::uint32_t page = 0xFFFFFFFFu;
    std::uint32_t count = 0;
    std::uint16_t level = 0;
    bool leaf = false;
    std::uint64_t last_use = 0;
    std::uint32_t hits = 0;  // cache hits since it was decoded
    std::vector<std::int32_t> minx, miny, maxx, maxy;
    std::vector<std::uint64_t> value;
    // An in-memory index over the node's entries: `order` lists the entry
    // numbers packed sort-tile-recursively (slices by x centre, runs by y
    // centre), and `chunk` holds the union rectangle of each run of kChunk
    // consecutive entries of `order`, `group` that of each run of kGroup.
    // A query tests a few rectangles instead of every entry.
    std::vector<std::uint16_t> order;
    std::vector<lumetra::Rect> chunk;
    std::vector<lumetra::Rect> group;
  };
  static constexpr std::uint32_t kChunk = 16;
  static constexpr std::uint32_t kGroup = 16 * kChunk;

  // Writes the numbers of the node's entries that meet `query`, ascending
  // (the stored order), to `out` (room for node.count) and returns how many.
  static std::uint32_t CollectMeeting(const DecodedNode& node, const lumetra::Rect& query,
                                      std::uint16_t* out);

  // The decoded node of `page_number` from a cache of kCacheSlots decoded
  // nodes (least recently used replaced; a slot's storage is allocated when
  // it first takes a node, so later fetches never allocate), or null when
  // the node is not worth decoding (or its slot has no storage):
  // a node is decoded on its second miss within the last kMissWindow
  // misses, so trees much larger than the cache are scanned in place
  // instead of thrashing the decoder.  Null also when the page cannot be
  // read; FetchNode then tells.  Valid until the next fetch.
  // Only a first visit of a node within an enumeration counts as a miss.
  const DecodedNode* FetchDecoded(std::uint32_t page_number, bool first_visit);
  // Reserves a cache slot's arrays for a full node; false (the slot left
  // empty) when they cannot be allocated.
  bool ReserveArrays(DecodedNode* node) const;
  static constexpr std::uint32_t kMissWindow = 16;
  static constexpr std::uint32_t kWasteLimit = 4;
  static constexpr std::uint32_t kBypassVisits = 1024;

  // The grid of every leaf entry (rtree_grid.h), which answers small
  // queries in the enumeration's own order.  Built once, at the first call
  // after kGridAfterQueries calls, when the tree checks out (CollectLeaves)
  // and the grid fits kMaxGridBytes; null before and otherwise.
  const lumetra::RtreeGrid* Grid();
  static constexpr std::uint32_t kGridAfterQueries = 4;
  static constexpr std::size_t kMaxGridBytes = std::size_t{256} << 20;

  // Every leaf entry in the order the enumeration reaches them, when the
  // tree is such that the enumeration reaches every entry meeting a query
  // once and only then: each node reached once, at the level its parent
  // implies, leaf flags matching levels, no inverted rectangle and every
  // entry within its parent entry's rectangle.  False otherwise (nothing
  // reported; the enumeration will report what it meets).
  bool CollectLeaves(std::vector<lumetra::RtreeEntry>* out, std::size_t max_entries);

 private:
  bool Open(std::uint64_t root_offset);

  Qfile& file_;
  std::uint32_t page_size_;
  QRecordMgr pages_;
  std::uint32_t root_page_ = 0;
  std::uint32_t height_ = 0;
  std::uint64_t page_count_ = 0;
  bool ready_ = false;
  std::vector<DecodedNode> decoded_;
  std::uint64_t use_clock_ = 0;
  std::uint32_t recent_misses_[kMissWindow];
  std::uint32_t next_miss_ = 0;
  std::uint32_t wasted_decodes_ = 0;
  std::uint32_t bypass_ = 0;  // first visits left to scan in place
  std::uint32_t grid_calls_ = 0;
  std::unique_ptr<lumetra::RtreeGrid> grid_;
};

// Depth-first enumeration of the leaf entries whose rectangles meet a query:
// entries come in stored order, each at most once.  It keeps an explicit
// stack of (page, next entry) pairs with room for height + 1 levels, taken
// at construction.  When the index has its grid and the query is small, the
// candidates are taken from the grid instead, in the same order.  First and
// Next allocate only when a query has more candidates than any before.
class rtSpatialIndexEnum : public SpatialIndexEnum {
 public:
  // REQUIRES: `index` is ready and outlives the enumerator.
  explicit rtSpatialIndexEnum(rtSpatialIndex& index);

  bool First(const lumetra::Rect& query, std::uint64_t* offset) override;
  bool Next(std::uint64_t* offset) override;

  // The rectangle and record offset of the last returned candidate.
  const lumetra::Rect& last_rect() const { return last_rect_; }
  std::uint64_t last_offset() const { return last_offset_; }
  // True while the enumeration can still return candidates.
  bool active() const { return depth_ >= 0; }

 private:
  // A node being visited.  Either its meeting entries were collected at
  // the first visit (hits, from the decoded node) or it is scanned in place
  // from next_entry on.
  struct Frame {
    std::uint32_t page = 0;
    std::uint32_t next_entry = 0;
    std::uint32_t level = 0;  // the level the page must have
    bool collected = false;
    std::uint16_t* hits = nullptr;  // this level's slice of hit_storage_
    std::uint32_t hit_count = 0;
    std::uint32_t hit_pos = 0;
  };

  // The first entry of the frame's node from its next entry on that meets
  // the query.
  struct Hit {
    bool found = false;
    bool leaf = false;
    std::uint32_t index = 0;
    lumetra::Rect rect;
    std::uint64_t value = 0;
  };
  // False when the node is unusable (the enumeration has been stopped).
  bool FindInNode(Frame& top, Hit* hit);
  // The entry `index` of the frame's node, from the decoded node when it is
  // still cached, else from the page itself.  False when the node is gone.
  bool EntryOf(const Frame& top, std::uint32_t index, Hit* hit);
  // Starts a frame for `page` at `level` (storage for its hits included).
  Frame MakeFrame(std::size_t depth, std::uint32_t page, std::uint32_t level);

  // Ends the enumeration and reports `what` about `page`; returns false.
  bool Stop(std::uint32_t page, const char* what);
  bool NextFromGrid(std::uint64_t* offset);

  rtSpatialIndex& index_;
  lumetra::Rect query_;
  // Grid mode: the candidates, collected at First, and the next to hand out.
  const lumetra::RtreeGrid* grid_ = nullptr;
  std::vector<std::uint32_t> grid_hits_;
  std::size_t grid_next_ = 0;
  std::vector<Frame> stack_;
  std::vector<std::uint16_t> hit_storage_;  // node capacity entries per level
  int depth_ = -1;                          // -1: exhausted
  lumetra::Rect last_rect_;
  std::uint64_t last_offset_ = 0;
};

#endif  // LUMETRA_STORAGE_RT_SPATIAL_INDEX_H
