// QIndexedFile: a read-only file of fixed-length key/value records sorted by
// key, stored in the data pages of a paged file (storage/paged_file.h) and
// reached through a B+-tree (QTree) whose leaves map the first key of every
// data page to the page's number.  QIndexedFilePage is the view of one data
// page.  Files are written by QIndexedFileBuilder
// (storage/indexed_file_builder.h), which also documents the byte layout.
//
// Record ids (u32): bits 0-17 the data page number, bits 18-31 the slot on
// the page; adding kSlotStep steps to the next slot.  Slot 0 is the page's
// first record (its smallest key); among equal keys the lower slot was
// inserted first.
//
// Searching: FindFirst gives the first-inserted record with a key; FindNext
// in mode 1 steps to the following record (onto the next data page when the
// page is used up) and succeeds while the key stays equal; FindNext in mode
// 0 continues a search that failed on one page with the first record of the
// next data page (FindFirst does this itself).  After a successful call the
// id names the record found, so Get(id) reads it.  FindNext continues from
// the position of the last FindFirst / FindNext on the same file.
//
// Ownership: owns its paged file, the page view, the tree and -- when none
// was given -- its own error record, a QErrorEx, so that failures then
// throw.  A given error record is not owned and must outlive the file.
// Thread rule: one thread at a time.
//
// Usage:
//   QIndexedFile index("parcels.dld", 0x1100AAAA, 8, nullptr, &err);
//   if (!index.ready() || !index.OpenTree(root_offset)) return false;  // reported
//   uint32_t id;
//   for (bool found = index.FindFirst(key, &id); found;
//        found = index.FindNext(key, &id, QIndexedFile::kModeSameKey)) {
//     index.Get(id, key_out, value_out);
//   }
#ifndef LUMETRA_STORAGE_INDEXED_FILE_H
#define LUMETRA_STORAGE_INDEXED_FILE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class QError;
class QErrorEx;
class QPagedFile;
class QRecordMgr;
class QTree;

// The view of one data page:
//   0  u32 record area end (offset just past the records)
//   4  u32 record count
//   the records, each key then value, filling the area downwards from its
//   end: slot s lies at area end - (s + 1) x record size.
// Derived views may interpret the bytes between the head and the records
// or change the key order (Compare).
class QIndexedFilePage {
 public:
  static constexpr std::uint32_t kNotFound = 0xFFFFFFFF;
  static constexpr std::uint32_t kHeadSize = 8;
  // Most records a page may hold (the slot bits of a record id).
  static constexpr std::uint32_t kMaxRecords = 0x4000;

  // `copy_pages`: Load keeps its own copy of each page instead of pointing
  // into the record manager's buffer (which the manager's next GetPage call
  // may reuse).
  explicit QIndexedFilePage(bool copy_pages = false);
  QIndexedFilePage(const QIndexedFilePage&) = delete;
  QIndexedFilePage& operator=(const QIndexedFilePage&) = delete;
  // Frees an owned page copy.
  virtual ~QIndexedFilePage();

  // Fetches page `page_number` through `pages` and checks its head: the
  // record area must end inside the page and the records must fit between
  // the head and the area end (else code 111 to `err`).  False when the
  // page cannot be read (reported by the file layer) or is corrupt; the view
  // then holds no page.
  virtual bool Load(QRecordMgr& pages, std::uint32_t page_number, QError& err);
  // Copies the key (key_length bytes) and value (value_length bytes) of
  // `slot`; either output may be null.  False when the slot holds no record.
  virtual bool Get(std::uint32_t slot, void* key_out, void* value_out) const;
  // Key order: negative, zero or positive as `a` (a search key) sorts
  // before, equal to or after `b` (a stored key).  Default: memcmp over the
  // key length.
  virtual int Compare(const void* a, const void* b) const;
  // The lowest slot whose key compares equal to `key` (the first inserted),
  // found by binary search, or kNotFound.
  virtual std::uint32_t Find(const void* key) const;

  // Record layout, set by the owning file from its header.
  void SetLayout(std::uint32_t key_length, std::uint32_t value_length);
  std::uint32_t key_length() const { return key_length_; }
  std::uint32_t value_length() const { return value_length_; }
  std::uint32_t record_size() const { return key_length_ + value_length_; }

  bool loaded() const { return page_ != nullptr; }
  std::uint32_t page_number() const { return page_number_; }
  std::uint32_t page_size() const { return page_size_; }
  std::uint32_t count() const { return count_; }
  std::uint32_t record_area_end() const { return area_end_; }
  bool owns_page() const { return copy_pages_; }
  // The loaded page's bytes (page_size() of them), or null.
  const std::uint8_t* data() const { return page_; }
  // Key of `slot`; REQUIRES: slot < count().
  const std::uint8_t* KeyAt(std::uint32_t slot) const;

 private:
  void Unload();

  bool copy_pages_;
  std::vector<std::uint8_t> copy_;
  const std::uint8_t* page_ = nullptr;
  std::uint32_t page_number_ = 0;
  std::uint32_t page_size_ = 0;
  std::uint32_t count_ = 0;
  std::uint32_t area_end_ = 0;
  std::uint32_t key_length_ = 0;
  std::uint32_t value_length_ = 0;
};

class QIndexedFile {
 public:
  static constexpr std::uint32_t kPageBits = 18;
  static constexpr std::uint32_t kPageMask = (1u << kPageBits) - 1;  // 0x3FFFF
  static constexpr std::uint32_t kSlotStep = 1u << kPageBits;        // 0x40000
  static constexpr std::uint32_t kSlotMask = 0x3FFF;
  static constexpr std::size_t kKeyLengthOffset = 288;
  static constexpr std::size_t kValueLengthOffset = 292;
  static constexpr int kModeNextPage = 0;
  static constexpr int kModeSameKey = 1;

  static std::uint32_t RecordId(std::uint32_t page, std::uint32_t slot) {
    return (slot << kPageBits) + (page & kPageMask);
  }
  static std::uint32_t PageOf(std::uint32_t id) { return id & kPageMask; }
  static std::uint32_t SlotOf(std::uint32_t id) { return id >> kPageBits; }

  // Opens `name` as a paged file of `kind` with `cache_slots` page slots
  // and takes the key and value lengths from header offsets 288 and 292
  // (code 111 when they are 0 or do not fit a page).  `page_view` null gives
  // a QIndexedFilePage.  `err` null makes the file own a QErrorEx: failures
  // then throw.  ready() tells the outcome.
  QIndexedFile(const char* name, std::uint32_t kind, std::uint32_t cache_slots,
               std::unique_ptr<QIndexedFilePage> page_view, QError* err);
  virtual ~QIndexedFile();
  QIndexedFile(const QIndexedFile&) = delete;
  QIndexedFile& operator=(const QIndexedFile&) = delete;

  // Opens the tree at `root_offset` (a file offset, usually kept in the
  // header by the file's owner) over the same file, comparing with
  // Compare().  Its label ends with the last five characters of the file
  // name.  False, reported, when the tree cannot be read or its keys do not
  // have the file's key length.
  bool OpenTree(std::uint64_t root_offset);

  // Sets *id to the first-inserted record with `key` (key_length bytes).
  // False when there is none (or no tree).
  bool FindFirst(const void* key, std::uint32_t* id);
  // See the file comment.  False when the next record's key differs, at the
  // end of the file, or on a read failure (reported); *id is then unchanged.
  bool FindNext(const void* key, std::uint32_t* id, int mode);
  // Copies the record named by `id`; either output may be null.  False
  // (code 100) when the id names no record.
  bool Get(std::uint32_t id, void* key_out, void* value_out);

  // The key order of searches and of the tree: the page view's Compare.
  virtual int Compare(const void* a, const void* b) const;

  bool ready() const { return ready_; }
  std::uint32_t key_length() const { return key_length_; }
  std::uint32_t value_length() const { return value_length_; }
  QPagedFile* paged_file() const { return file_.get(); }
  QIndexedFilePage* page_view() const { return page_.get(); }
  // Null until OpenTree succeeded.
  QTree* tree() const { return tree_.get(); }
  QError& error() const { return err_; }

 private:
  bool Open(const char* name, std::uint32_t kind, std::uint32_t cache_slots);
  bool LoadPage(std::uint32_t page_number);
  bool TreeValueToPage(std::uint32_t* page_number);
  bool NextDataPage(std::uint32_t* page_number);

  std::unique_ptr<QErrorEx> own_err_;  // only when no record was given
  QError& err_;
  std::unique_ptr<QPagedFile> file_;
  std::unique_ptr<QIndexedFilePage> page_;
  std::unique_ptr<QTree> tree_;
  std::vector<std::uint8_t> tree_value_;  // leaf value of the last tree step
  std::uint32_t key_length_ = 0;
  std::uint32_t value_length_ = 0;
  bool ready_ = false;
};

#endif  // LUMETRA_STORAGE_INDEXED_FILE_H
