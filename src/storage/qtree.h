// QTree: the reader of the B+-trees written by QTreeBuilder (object files'
// name index, indexed files' page index).  Page layout: tree_page.h,
// docs/formats/btree.md.
#ifndef LUMETRA_STORAGE_QTREE_H
#define LUMETRA_STORAGE_QTREE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "storage/tree_page.h"

class QError;
class Qfile;
class QRecordMgr;

// Finds keys in a tree named by its root page's file offset and steps through
// the entries that follow.  Pages are read through a QRecordMgr of its own
// (base offset 0, the tree's page size, (root level + 1) x 256 slots, which
// the manager caps at 1024; no cache at all for mapped files).
//
// Every page is checked before its entries are used (page size, key and
// value lengths, level, flags, entry count against the page size); a page
// that fails ends the operation with false and a code-111 report naming the
// tree and the page, so corrupt files never cause reads outside a page.
//
// The comparison is called as compare(search key, entry key); it may read
// only as many bytes of the search key as the caller passed to Find.
//
// Ownership: the file and the error record are not owned and must outlive
// the tree.  Thread rule: one thread at a time (the cursor and the page cache
// are shared by all calls).
//
// Usage:
//   QTree names("objects", file, root_offset, lumetra::NameKeyCompare(8), err);
//   if (!names.ready()) return false;                       // reported
//   uint8_t key[8], value[8];
//   if (names.Find(search, key, value, QTree::kModeExact)) {
//     do { Use(value); } while (names.Next(key, value));    // all equal keys
//   }
class QTree {
 public:
  static constexpr int kModeExact = 0;  // only an entry equal to the key
  static constexpr int kModeFloor = 1;  // first equal entry, else last entry below

  // Reads the root page header at root_offset (caller label "QTree::QTree"),
  // sets up the page cache and checks the path to the leftmost leaf.  An
  // empty `compare` means the name index's comparison over the tree's key
  // length.  `label` (cut to 8 characters) names the tree in reports.
  QTree(const char* label, Qfile& file, std::uint64_t root_offset, lumetra::QKeyCompare compare,
        QError& err);
  ~QTree();
  QTree(const QTree&) = delete;
  QTree& operator=(const QTree&) = delete;

  // Positions the cursor and copies the entry's key (key_length() bytes) and
  // value (value_length() bytes) out; either output may be null.
  // kModeFloor: the first entry equal to `key`, or failing that the last
  // entry below it; false when every entry is greater.  kModeExact: true
  // only when an equal entry exists.  `key` must have key_length() readable
  // bytes; a copy is kept for Next.  Null outputs are allowed.
  bool Find(const void* key, void* key_out, void* value_out, int mode);
  // As above with a search key of key_size bytes (shorter or longer than the
  // tree's keys, or in a form only the comparison understands).  The kept
  // copy is padded with zero bytes to at least key_length() bytes.
  bool Find(const void* key, std::size_t key_size, void* key_out, void* value_out, int mode);

  // The entry after the cursor if it compares equal to the last search key;
  // walks onto following leaf pages, stopping at the last page of the level.
  // False (cursor unchanged) otherwise, or before any successful Find.
  bool Next(void* key_out, void* value_out);

  // The first entry of the tree, whatever its key; clears the search key.
  bool First(void* key_out, void* value_out);
  // The entry after the cursor, whatever its key; false at the end.
  bool NextEntry(void* key_out, void* value_out);

  bool ready() const { return ready_; }
  std::size_t key_length() const { return key_length_; }
  // Bytes of each leaf value.
  std::size_t value_length() const { return leaf_value_length_; }
  std::uint32_t page_size() const { return page_size_; }
  std::uint16_t root_level() const { return root_level_; }
  std::uint64_t root_offset() const { return root_offset_; }
  const QRecordMgr* record_manager() const { return pages_.get(); }

 private:
  struct Cursor {
    std::uint32_t page = 0;
    std::size_t index = 0;
  };

  bool Init(Qfile& file);
  const std::uint8_t* FetchPage(std::uint32_t page_number, std::uint16_t level,
                                lumetra::TreePageHeader* header);
  bool ReportCorrupt(std::uint32_t page_number, const char* why);
  bool ChildPage(std::uint32_t page_number, const std::uint8_t* page,
                 const lumetra::TreePageHeader& header, std::size_t index, std::uint32_t* child);
  bool FindLeftmostLeaf(std::uint32_t* leaf);
  long FloorIndex(const std::uint8_t* page, const lumetra::TreePageHeader& header) const;
  std::size_t LowerBound(const std::uint8_t* page, const lumetra::TreePageHeader& header,
                         std::size_t end) const;
  int CompareEntry(const std::uint8_t* page, const lumetra::TreePageHeader& header,
                   std::size_t index) const;
  bool WalkBackOverEqualKeys();
  bool StepForward(Cursor* cursor, const std::uint8_t** entry);
  bool CopyOut(const std::uint8_t* entry, void* key_out, void* value_out) const;

  QError& err_;
  char label_[9] = {};
  std::uint64_t root_offset_;
  lumetra::QKeyCompare compare_;
  std::unique_ptr<QRecordMgr> pages_;
  std::uint32_t page_size_ = 0;
  std::uint32_t root_page_ = 0;
  std::uint16_t root_level_ = 0;
  std::size_t key_length_ = 0;
  std::size_t leaf_value_length_ = 0;
  bool leaf_value_known_ = false;
  std::uint32_t leftmost_leaf_ = 0;
  std::vector<std::uint8_t> search_key_;
  bool has_search_key_ = false;
  bool positioned_ = false;
  Cursor cursor_;
  bool ready_ = false;
};

#endif  // LUMETRA_STORAGE_QTREE_H
