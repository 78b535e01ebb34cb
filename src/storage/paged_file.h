// QPagedFile: a file that begins with a self-describing, checksummed header
// page followed by fixed-size pages, read through a QRecordMgr.
//
// Header page (little-endian):
//   0    256  free text, NUL-padded
//   256  4    kind (magic number), u32
//   260  4    page count (pages behind the header page), u32
//   264  2    header page size in bytes, u16
//   266  2    page size in bytes, u16
//   268  12   fields owned by the file's kind
//   280  ...  rest of the header page, owned by the file's kind
//   hps-2 2   page checksum (PageChecksum of storage/qio.h)
// Page n lies at header page size + n x page size.
//
// Opening checks, in order: the kind (code 102, before anything beyond the
// first 280 bytes is read), the header page checksum (code 111), and for
// the kinds kLengthCheckedKinds the file length against the page count
// (code 111; the two kinds kExtendableKinds may carry further whole pages,
// which are then counted).  Every failure is reported to the error record
// given at construction and leaves ready() false.
//
// Ownership: owns its Qfile (opened read-only through a descriptor), the
// copy of the header page and the record manager; the error record is not
// owned and must outlive the object.  Thread rule: one thread at a time.
//
// Usage:
//   QPagedFile file("parcels.dld", 0x1100AAAA, 8, err);
//   if (!file.ready()) return false;                  // reported
//   const uint8_t* page = file.record_mgr()->GetPage(0);
#ifndef LUMETRA_STORAGE_PAGED_FILE_H
#define LUMETRA_STORAGE_PAGED_FILE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class QError;
class Qfile;
class QRecordMgr;

class QPagedFile {
 public:
  // Bytes read before the kind is trusted: the fixed part of the header.
  static constexpr std::uint32_t kFixedHeaderSize = 280;
  // Field offsets of the header page.
  static constexpr std::size_t kTextOffset = 0;
  static constexpr std::size_t kTextSize = 256;
  static constexpr std::size_t kKindOffset = 256;
  static constexpr std::size_t kPageCountOffset = 260;
  static constexpr std::size_t kHeaderPageSizeOffset = 264;
  static constexpr std::size_t kPageSizeOffset = 266;
  static constexpr std::size_t kKindFieldsOffset = 268;
  static constexpr std::size_t kKindFieldsSize = 12;
  // Bytes of the last page read to prove it is there.
  static constexpr std::uint32_t kFooterProbeSize = 280;

  // Kinds whose file length is checked against the page count.
  static constexpr std::uint32_t kLengthCheckedKinds[] = {0x02000900, 0x01000F00, 0x01001001,
                                                          0x01001002, 0x05000900, 0x04000A00,
                                                          0x08000E00, 0xD07F454D, 0x879FE5D7};
  // Kinds that may hold more whole pages than their header counts.
  static constexpr std::uint32_t kExtendableKinds[] = {0x04000A00, 0x08000E00};

  // Opens `name` read-only and checks it as described above.  The record
  // manager gets label = the last 8 characters of `name`, base offset = the
  // header page size, the header's page size and `requested_slots` slots
  // (1 to 1024).  Codes: errno / 28 for I/O, 102 wrong kind, 104 allocation
  // ("QPagedFile - Failed to Initialize pHeaderPage", "QPagedFile - Failed
  // to Initialize QRecordMgr"), 111 corrupt header, length or footer.
  QPagedFile(const char* name, std::uint32_t expected_kind, std::uint32_t requested_slots,
             QError& err);
  ~QPagedFile();
  QPagedFile(const QPagedFile&) = delete;
  QPagedFile& operator=(const QPagedFile&) = delete;

  bool ready() const { return ready_; }

  // The header page as read (header_page_size() bytes; empty when the open
  // failed before it was read).
  const std::uint8_t* header_page() const { return header_page_.data(); }
  std::uint32_t header_page_size() const { return header_page_size_; }
  std::uint32_t page_size() const { return page_size_; }
  // Pages behind the header page: the header's count, or for an extendable
  // kind the whole pages the file really holds.
  std::uint32_t page_count() const { return page_count_; }
  std::uint32_t kind() const { return kind_; }
  // The last 8 characters of the file name (all of it when shorter).
  const char* label() const { return label_; }
  Qfile& file() const { return *file_; }
  // Null unless ready().
  QRecordMgr* record_mgr() const { return record_mgr_.get(); }
  QError& error() const { return err_; }

  // Little-endian u32 / u16 of the header page at `offset`; 0 when the
  // field does not lie inside the header page.
  std::uint32_t HeaderU32(std::size_t offset) const;
  std::uint16_t HeaderU16(std::size_t offset) const;

  static bool IsLengthCheckedKind(std::uint32_t kind);
  static bool IsExtendableKind(std::uint32_t kind);

 private:
  bool Open(const char* name, std::uint32_t expected_kind, std::uint32_t requested_slots);
  bool ReadHeaderPage(const std::uint8_t* fixed);
  bool CheckLength();
  bool CheckFooter();

  QError& err_;
  std::unique_ptr<Qfile> file_;
  std::vector<std::uint8_t> header_page_;
  std::uint32_t kind_ = 0;
  std::uint32_t header_page_size_ = 0;
  std::uint32_t page_size_ = 0;
  std::uint32_t page_count_ = 0;
  char label_[9] = {};
  std::unique_ptr<QRecordMgr> record_mgr_;
  bool ready_ = false;
};

#endif  // LUMETRA_STORAGE_PAGED_FILE_H
