// The page layout of the B+-trees (name index of object files, indexes of
// indexed files): a 12-byte header, fixed-length entries in ascending key
// order and a page checksum in the last two bytes.  See docs/formats/btree.md.
//
// Everything here is pure encoding and decoding over caller-owned bytes; the
// tree builder (tree_builder.h) writes pages and QTree (qtree.h) reads them.
#ifndef LUMETRA_STORAGE_TREE_PAGE_H
#define LUMETRA_STORAGE_TREE_PAGE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace lumetra {

// Key comparison of a tree: negative, zero or positive as `a` sorts before,
// equal to or after `b`.  QTree calls it as compare(search key, entry key),
// so a comparison may interpret its first argument differently from stored
// keys; the builder and the sorts call it with two stored keys.
using QKeyCompare = std::function<int(const void* a, const void* b)>;

// The name index's comparison: ASCII letters without regard to case, bytes
// as unsigned values, at most `key_length` bytes, ending at the first NUL
// (a NUL in both keys at the same place makes them equal).
int CompareNameKeys(const void* a, const void* b, std::size_t key_length);

// CompareNameKeys bound to one key length.
QKeyCompare NameKeyCompare(std::size_t key_length);

// Page flags (byte 6).
constexpr std::uint8_t kTreePageInterior = 0x01;
constexpr std::uint8_t kTreePageLeaf = 0x02;
constexpr std::uint8_t kTreePageFirst = 0x04;  // first page of its level
constexpr std::uint8_t kTreePageLast = 0x08;   // last page of its level

// Interior entries carry the child page's file offset as a u64.
constexpr std::size_t kTreeInteriorValueLength = 8;

// Bytes a page keeps free of entries for the "full" rule: the 12-byte header,
// the checksum and two spare bytes.
constexpr std::size_t kTreePageReserve = 16;

// The 12 header bytes of a tree page.
struct TreePageHeader {
  static constexpr std::size_t kEncodedSize = 12;

  std::uint16_t count = 0;      // entries on the page
  std::uint16_t page_size = 0;  // bytes of the page
  std::uint16_t level = 0;      // 0 = leaves, growing towards the root
  std::uint8_t flags = 0;       // kTreePage* bits
  std::uint8_t key_length = 0;
  std::uint8_t value_length = 0;

  // Writes the 12 header bytes (bytes 7, 10 and 11 as zero) at `page`.
  void EncodeTo(std::uint8_t* page) const;
  // Reads the header fields from the first 12 bytes at `page`.
  static TreePageHeader DecodeFrom(const std::uint8_t* page);

  std::size_t entry_size() const { return std::size_t{key_length} + value_length; }
  bool is_leaf() const { return (flags & kTreePageLeaf) != 0; }
  bool is_first() const { return (flags & kTreePageFirst) != 0; }
  bool is_last() const { return (flags & kTreePageLast) != 0; }
};

// Offset of entry `index` within a page whose entries are `entry_size` bytes.
inline std::size_t TreeEntryOffset(std::size_t entry_size, std::size_t index) {
  return TreePageHeader::kEncodedSize + index * entry_size;
}

// True when a page holding `count` entries cannot take one more: one more
// entry would make entry_size x (count + 1) exceed page_size - 16.
bool TreePageIsFull(std::size_t page_size, std::size_t entry_size, std::size_t count);

// Most entries a page can hold under the "full" rule (0 if none fits).
std::size_t TreePageCapacity(std::size_t page_size, std::size_t entry_size);

// Checks a header read from a file page of `page_size` bytes: the stored page
// size equals `page_size`, key length is not zero, exactly one of the leaf
// and interior flags is set and agrees with the level, interior pages carry
// 8-byte values, and the entries end before the checksum.  Returns null when
// the page is usable, else a short reason.
const char* CheckTreePageHeader(const TreePageHeader& header, std::size_t page_size);

// One page being filled by the tree builder: owns a zeroed page buffer and
// appends entries in order.  The checksum bytes are left to the page writer.
class TreePageWriter {
 public:
  TreePageWriter(std::size_t page_size, std::size_t key_length, std::size_t value_length);

  // Clears the page and starts it with the given level and flags.
  void Start(std::uint16_t level, std::uint8_t flags);
  // True when one more entry would break the "full" rule.
  bool full() const;
  // Appends one entry; REQUIRES: !full().  `key` has key_length bytes,
  // `value` value_length bytes.
  void Append(const void* key, const void* value);
  // Adds flag bits (kTreePageLast on the level's last page).
  void AddFlags(std::uint8_t flags);

  std::uint8_t* data() { return page_.data(); }
  const std::uint8_t* data() const { return page_.data(); }
  std::size_t size() const { return page_.size(); }
  std::size_t count() const { return header_.count; }
  // Key of the first entry; REQUIRES: count() > 0.
  const std::uint8_t* first_key() const { return page_.data() + TreePageHeader::kEncodedSize; }

 private:
  std::vector<std::uint8_t> page_;
  TreePageHeader header_;
};

}  // namespace lumetra

#endif  // LUMETRA_STORAGE_TREE_PAGE_H
