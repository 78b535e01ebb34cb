// The bytes of one R-tree node page (see docs/formats/rtree.md).
//
// A node fills one page; page n of a tree lies at file offset n x page size.
// Layout, little-endian:
//   0  u16  entry count
//   2  u16  flags: kRtreeLeaf (level 0), kRtreeInterior (above), kRtreeRoot
//   4  u16  page size
//   6  u16  level: 0 for leaves, the tree height at the root
//   8  16   node rectangle, the union of the entries' rectangles
//   24 24 x count entries: rectangle (16 bytes), then an 8-byte value -- the
//             record's u64 file offset in a leaf, the child's page number as
//             a u32 (4 further bytes unread) in an interior node
//   page size - 2  u16 page checksum (stored by the page writer)
//
// These routines only translate between bytes and values; they never read
// outside the page they are given.  Decoding checks what a reader needs to
// stay inside the page: the page-size field and the entry count.
#ifndef LUMETRA_STORAGE_RTREE_NODE_H
#define LUMETRA_STORAGE_RTREE_NODE_H

#include <cstddef>
#include <cstdint>

#include "storage/spatial_index.h"

namespace lumetra {

constexpr std::uint16_t kRtreeLeaf = 0x0001;
constexpr std::uint16_t kRtreeInterior = 0x0002;
constexpr std::uint16_t kRtreeRoot = 0x0004;

// Page size of the R-tree in object files.
constexpr std::uint32_t kRtreePageSize = 32768;
constexpr std::uint32_t kRtreeHeaderSize = 24;
constexpr std::uint32_t kRtreeEntrySize = 24;
constexpr std::uint32_t kRtreeRectSize = 16;
// Smallest page that holds two entries (a fan-out of one would never shrink
// a level), and the largest the u16 page-size field can name.
constexpr std::uint32_t kRtreeMinPageSize = 48 + 2 * kRtreeEntrySize;
constexpr std::uint32_t kRtreeMaxPageSize = 0xFFFF;

// Entries one node of `page_size` bytes holds: (page size - 48) / 24, 1363
// for 32768-byte pages; 0 for pages too small to hold any.
constexpr std::uint32_t RtreeNodeCapacity(std::uint32_t page_size) {
  return page_size < 48 ? 0 : (page_size - 48) / kRtreeEntrySize;
}

// True for page sizes a tree can be built with and read at.
constexpr bool RtreePageSizeValid(std::uint32_t page_size) {
  return page_size >= kRtreeMinPageSize && page_size <= kRtreeMaxPageSize;
}

// One entry: a rectangle and its value (a record offset in a leaf, a child
// page number in an interior node).
struct RtreeEntry {
  Rect rect;
  std::uint64_t value = 0;
};

// The fixed first 24 bytes of a node page.
struct RtreeNodeHeader {
  static constexpr std::size_t kEncodedSize = kRtreeHeaderSize;

  std::uint16_t count = 0;
  std::uint16_t flags = 0;
  std::uint16_t page_size = 0;
  std::uint16_t level = 0;
  Rect rect;

  // Readers decide leaf or interior by the leaf flag alone.
  bool is_leaf() const { return (flags & kRtreeLeaf) != 0; }

  void EncodeTo(std::uint8_t* dst) const;
  // Decodes the header of a page of `page_size` bytes.  False when the
  // page is not a node of that size: the page-size field differs, or the
  // count exceeds RtreeNodeCapacity(page_size).
  static bool DecodeFrom(const std::uint8_t* page, std::uint32_t page_size,
                         RtreeNodeHeader* header);
};

// 16 bytes: minimum x, minimum y, maximum x, maximum y as i32.
void EncodeRect(const Rect& rect, std::uint8_t* dst);
Rect DecodeRect(const std::uint8_t* src);

// Entry i of a node page; the caller has checked i < the decoded count.
void EncodeRtreeEntry(const RtreeEntry& entry, std::uint8_t* page, std::uint32_t index);
RtreeEntry DecodeRtreeEntry(const std::uint8_t* page, std::uint32_t index);

// True when entry i's rectangle meets `query` (edges included), straight
// from the page bytes; the four comparisons are combined without branches,
// which scans wide nodes faster than decoding the rectangle first.  The
// caller has checked i < the decoded count.
inline bool RtreeEntryMeets(const std::uint8_t* page, std::uint32_t index, const Rect& query) {
  const std::uint8_t* p =
      page + kRtreeHeaderSize + static_cast<std::size_t>(index) * kRtreeEntrySize;
  auto coord = [p](int i) {
    const std::uint8_t* b = p + 4 * i;
    const std::uint32_t v =
        static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
        (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return static_cast<std::int64_t>(v) - ((v & 0x80000000u) != 0 ? (std::int64_t{1} << 32) : 0);
  };
  return static_cast<int>(coord(0) <= query.maxx) & static_cast<int>(coord(2) >= query.minx) &
         static_cast<int>(coord(1) <= query.maxy) & static_cast<int>(coord(3) >= query.miny);
}

// Child page number of an interior entry: the low 32 bits of its value.
inline std::uint32_t RtreeChildPage(const RtreeEntry& entry) {
  return static_cast<std::uint32_t>(entry.value & 0xFFFFFFFFu);
}

// The union of the entries' rectangles; all zero for no entries.
Rect RtreeUnion(const RtreeEntry* entries, std::size_t count);

// Fills a whole page of `page_size` bytes with a node holding `count`
// entries: header (node rectangle = union of the entries, all zero for an
// empty node), entries, zeros up to the end (the checksum bytes included).
// False, leaving the page untouched, when the page size is invalid or the
// entries do not fit.
bool EncodeRtreeNode(std::uint16_t flags, std::uint16_t level, const RtreeEntry* entries,
                     std::size_t count, std::uint8_t* page, std::uint32_t page_size);

}  // namespace lumetra

#endif  // LUMETRA_STORAGE_RTREE_NODE_H
