// QRecordMgr: turns a page number into a pointer to that page's bytes, either
// straight into the mapped view of a file or through a small cache of page
// buffers kept in least-recently-used order.  QRecordMgrRecord is one cache
// slot.
//
// Page n lies at base offset + n x page size.  Mapped files (Qfile open mode
// 4) get no cache: a page access is one multiplication, the hit indicator is
// -1 and the pointer stays valid for the manager's life.  Other files get
// between 1 and 1024 slots: a lookup walks the slots most recent first, a
// miss reads the page with exactly one ReadAt (caller label
// "QRecordMgrRecord::Load") into a new slot while fewer than the slot count
// exist, else into the least recently used one, and every access moves the
// slot to the front.  The first slot is made at construction; the rest
// only when a miss needs them, so an open that reads a few pages allocates
// a few pages (a name index has 512 or 768 slots).  A slot that cannot be
// allocated then is done without: the miss reuses the least recently used
// slot.  Nothing is ever written back.
//
// Ownership: the file and the error record are not owned and must outlive
// the manager.  Thread rule: one thread at a time; a returned page pointer is
// invalidated by the next GetPage of any user of the same manager (cached
// mode), so interleaving readers copy what they need first.
//
// Usage:
//   QRecordMgr pages("nameidx", file, 0, 1024, 8, err);
//   if (!pages.ready()) return false;                 // reported
//   const uint8_t* page = pages.GetPage(3);
//   if (page == nullptr) return false;                // reported
#ifndef LUMETRA_STORAGE_RECORD_MGR_H
#define LUMETRA_STORAGE_RECORD_MGR_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "storage/dlist.h"

class QError;
class Qfile;
class QRecordMgr;

// One cache slot: a page-size buffer and the number of the page it holds.
class QRecordMgrRecord : public QLRUObject {
 public:
  static constexpr std::uint32_t kNoPage = 0xFFFFFFFF;

  // `buffer`: page_size() bytes owned by `owner`, which outlives the slot.
  QRecordMgrRecord(QError& err, QRecordMgr& owner, std::uint8_t* buffer);
  ~QRecordMgrRecord() override;

  // True when `key` points at a u32 page number equal to the one held.
  bool Matches(const void* key) const override;

  // Reads page `page_number` into the buffer (one ReadAt of the page size at
  // base offset + page_number x page size).  kNoPage only empties the slot
  // (true).  On a failed read (reported by the file) the slot holds no page
  // and the result is false.
  bool Load(std::uint32_t page_number);

  std::uint32_t page_number() const { return page_number_; }
  const std::uint8_t* data() const { return buffer_; }

 private:
  QError& err_;
  QRecordMgr& owner_;
  std::uint32_t page_number_ = kNoPage;
  std::uint8_t* buffer_;
};

class QRecordMgr {
 public:
  static constexpr std::size_t kLabelLength = 8;
  static constexpr std::uint32_t kMaxSlots = 1024;
  static constexpr std::uint32_t kMinSlots = 1;
  static constexpr int kHitMapped = -1;
  static constexpr int kMiss = 0;
  static constexpr int kHit = 1;

  // `label` (cut to 8 characters) names the file in reports.  Afterwards
  // ready() tells whether construction succeeded; failures are reported to
  // `err`: code 104 "QRecordMgr - Failed to Initialize QRecordMgrRecord"
  // when a slot cannot be made, code 104 "QTree - Unable to allocate
  // QRecordMgr" when the slots' page buffers cannot be allocated, code 100
  // for a page size of 0 or a negative base offset.
  QRecordMgr(const char* label, Qfile& file, std::int64_t base_offset, std::uint32_t page_size,
             std::uint32_t requested_slots, QError& err);
  virtual ~QRecordMgr();
  QRecordMgr(const QRecordMgr&) = delete;
  QRecordMgr& operator=(const QRecordMgr&) = delete;

  // Pointer to page `page_number`'s page_size() bytes, or null (reported)
  // when the page cannot be read or lies outside a mapped file.  `hit`, when
  // given, is set to -1 in mapped mode, 1 for a cached page, 0 for a page
  // that had to be read.  REQUIRES: ready().
  const std::uint8_t* GetPage(std::uint32_t page_number, int* hit = nullptr);

  bool ready() const { return ready_; }
  const char* label() const { return label_; }
  Qfile& file() const { return file_; }
  std::int64_t base_offset() const { return base_offset_; }
  std::uint32_t page_size() const { return page_size_; }
  // Cache slots the manager may use (0 in mapped mode), made or not.
  std::uint32_t slot_count() const { return slot_count_; }
  bool mapped() const { return mapped_base_ != nullptr; }
  // Pages read from the file so far (one per cache miss).
  std::uint64_t read_count() const { return read_count_; }
  // The page numbers held by the slots, most recently used first
  // (kNoPage for an empty slot or one not made yet).  For diagnostics and
  // tests.
  std::vector<std::uint32_t> SlotPagesForTest() const;

 private:
  // Makes one more slot at the back of the list; false when its page cannot
  // be allocated (nothing reported).
  bool AddSlot();
  const std::uint8_t* GetMappedPage(std::uint32_t page_number);

  QError& err_;
  Qfile& file_;
  char label_[kLabelLength + 1];
  std::int64_t base_offset_;
  std::uint32_t page_size_;
  std::uint32_t slot_count_ = 0;
  const std::uint8_t* mapped_base_ = nullptr;
  std::int64_t mapped_size_ = 0;
  std::uint64_t read_count_ = 0;
  bool ready_ = false;
  QDlist slot_list_;  // most recently used first
  // The slots' page buffers, page_size_ bytes each, in the order made.
  std::vector<std::unique_ptr<std::uint8_t[]>> pages_;
  // Declared after the list and the pages: slots unlink themselves while the
  // list still lives.
  std::vector<std::unique_ptr<QRecordMgrRecord>> slots_;
};

#endif  // LUMETRA_STORAGE_RECORD_MGR_H
