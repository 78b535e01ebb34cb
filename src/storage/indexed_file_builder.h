// QIndexedFileBuilder: writes an indexed file (read back by QIndexedFile,
// storage/indexed_file.h): a checksummed header page, data pages of
// fixed-length key/value records filled from the page end downwards, and a
// B+-tree whose leaves map the first key of every data page to that page's
// number.
//
// File layout (little-endian):
//   header page (header_page_size bytes)
//     0    256  free text (options.text), NUL-padded
//     256  4    kind
//     260  4    page count: reserved pages + data pages
//     264  2    header page size        266  2  page size
//     268  12   options.kind_fields
//     288  4    key length              292  4  value length
//     296  ...  free for the owner (options.fill_header)
//     hps-2 2   page checksum
//   pages 0 .. first_data_page-1: reserved for the owner (zero unless set)
//   data pages, page n at header_page_size + n x page_size:
//     0    4    record area end (page_size - 2)
//     4    4    record count
//     8    ...  owner payload (QIndexedPagePayload), then free space
//     area end - count x record size: the records, slot 0 highest
//     page_size-2  2  page checksum
//   owner blocks (AppendBlock), then the tree pages (aligned to the tree
//   page size; leaf values are u32 page numbers).
//
// Records are added in ascending key order (Add refuses a smaller key);
// equal keys keep the order in which they were added and may span pages.
// A run of equal keys that continues onto a new page always starts at
// slot 0 of a page (the run is moved to the new page when it began further
// up), so the tree's first entry for a key names the page holding the key's
// first record.
//
// Ownership: the error record and the payload writer are not owned and must
// outlive the builder.  The builder owns the output descriptor; a file whose
// Finish did not succeed is removed when the builder goes away.  The tree
// builder's scratch files go to the current directory.  Thread rule: one
// thread at a time.
//
// Usage:
//   QIndexedFileBuilderOptions options;
//   options.kind = 0x1100AAAA; options.key_length = 12; options.value_length = 8;
//   options.fill_header = [](uint8_t* header, uint32_t, uint64_t root) {
//     PutU64(header + 296, root); return true; };
//   QIndexedFileBuilder builder(err, options);
//   if (!builder.Create("parcels.dld")) return false;       // reported
//   for (...) if (!builder.Add(key, value)) return false;  // ascending keys
//   uint64_t root = builder.Finish();   // kFailed after a reported failure
#ifndef LUMETRA_STORAGE_INDEXED_FILE_BUILDER_H
#define LUMETRA_STORAGE_INDEXED_FILE_BUILDER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "storage/qio.h"
#include "storage/tree_page.h"

class QError;
class QTreeBuilder;

// Supplies the bytes a data page carries between its 8-byte head and its
// records (for example per-record field columns).  Records are numbered in
// the order they were added, from 0.
class QIndexedPagePayload {
 public:
  virtual ~QIndexedPagePayload();
  // Bytes of payload a page holding records [first, first + count) needs.
  // Called with growing counts while a page fills; must not shrink as count
  // grows.
  virtual std::size_t PayloadSize(std::uint64_t first, std::uint32_t count) = 0;
  // Writes exactly `size` bytes (PayloadSize(first, count)) to `dest` for
  // data page `page_number`.  False stops the build; the writer reports why.
  virtual bool WritePayload(std::uint32_t page_number, std::uint64_t first, std::uint32_t count,
                            std::uint8_t* dest, std::size_t size) = 0;
  // Called for every record of a page being written, in slot order, once
  // its place is final: record number `record` lies in slot `slot` of data
  // page `page_number`.  May rewrite the record's value (`value`,
  // value_length bytes) in the page image, e.g. to store its own position.
  // False stops the build; the writer reports why.  Default: true, values
  // unchanged.
  virtual bool PlaceRecord(std::uint32_t page_number, std::uint32_t slot, std::uint64_t record,
                           std::uint8_t* value);
};

struct QIndexedFileBuilderOptions {
  std::uint32_t kind = 0;
  std::uint32_t key_length = 8;  // 1 to 255
  std::uint32_t value_length = 8;
  std::uint32_t page_size = 1024;         // data pages, up to 65535
  std::uint32_t header_page_size = 1024;  // 298 to 65535
  std::uint32_t tree_page_size = 1024;    // up to 65535
  std::uint32_t first_data_page = 0;      // pages in front reserved for the owner
  std::string text;                       // header bytes 0-255 (cut to 255 characters)
  std::uint8_t kind_fields[12] = {};      // header bytes 268-279
  // Key order of Add and of the tree; empty = memcmp over key_length.
  lumetra::QKeyCompare compare;
  // Called once by Finish, before the header checksum, with the header page
  // (all fixed fields filled in) and the tree's root offset.  False stops
  // the build; the hook reports why.
  std::function<bool(std::uint8_t* header, std::uint32_t header_size, std::uint64_t root_offset)>
      fill_header;
  QIndexedPagePayload* payload = nullptr;  // optional, not owned
};

class QIndexedFileBuilder {
 public:
  static constexpr std::uint64_t kFailed = 0xFFFFFFFF;
  static constexpr std::uint32_t kMaxDataPages = 1u << 18;     // page bits of a record id
  static constexpr std::uint32_t kMaxRecordsPerPage = 0x3FFF;  // slot bits, 0x3FFF kept free
  static constexpr std::uint32_t kPageHeadSize = 8;
  static constexpr std::size_t kKeyLengthOffset = 288;
  static constexpr std::size_t kValueLengthOffset = 292;
  static constexpr std::uint32_t kMinHeaderPageSize = 298;

  QIndexedFileBuilder(QError& err, QIndexedFileBuilderOptions options);
  // Removes the output file unless Finish succeeded.
  ~QIndexedFileBuilder();
  QIndexedFileBuilder(const QIndexedFileBuilder&) = delete;
  QIndexedFileBuilder& operator=(const QIndexedFileBuilder&) = delete;

  // Checks the options (code 100 when unusable), creates (or truncates) the
  // output file with zeroed header and reserved pages, and prepares the tree
  // builder.  False after a reported failure.
  bool Create(const char* name);

  // Adds one record: key_length key bytes and value_length value bytes.
  // False (reported, code 100) when the key sorts before the previous one,
  // when a record cannot fit an empty page, past 2^18 data pages, after
  // AppendBlock or Finish; I/O failures report errno.
  bool Add(const void* key, const void* value);

  // Writes `length` owner bytes (at most page_size) at the start of reserved
  // page `index` (< first_data_page).  No checksum is added.
  bool SetReservedPage(std::uint32_t index, const void* bytes, std::uint32_t length);

  // Ends the data pages (no Add afterwards) and appends `length` owner bytes
  // behind them and any earlier blocks.  Returns their file offset, or -1
  // after a reported failure.
  std::int64_t AppendBlock(const void* bytes, std::uint32_t length);

  // Writes the last data page, the tree and the header page, and closes the
  // file.  Returns the tree's root offset, or kFailed after a reported
  // failure.  A builder finishes once.
  std::uint64_t Finish();

  std::uint64_t record_count() const { return record_count_; }
  // Data pages written so far (the page being filled not included).
  std::uint32_t data_page_count() const { return data_pages_; }
  const QIndexedFileBuilderOptions& options() const { return options_; }

 private:
  bool ValidateOptions();
  bool ReportBadRequest(const char* what);
  int CompareKeys(const void* a, const void* b) const;
  std::uint32_t record_size() const { return options_.key_length + options_.value_length; }
  bool Fits(std::uint64_t first, std::uint32_t count);
  bool StartPageWithRun(const void* key, const void* value);
  bool FlushPage(std::uint32_t record_count);
  bool EndDataPages();
  std::int64_t PageOffset(std::uint32_t page) const;
  bool WriteHeader(std::uint64_t root_offset);
  void Abandon();

  QError& err_;
  QIndexedFileBuilderOptions options_;
  std::string name_;
  UniqueFd fd_;
  std::unique_ptr<QTreeBuilder> tree_;
  std::vector<std::uint8_t> page_;     // page image being written
  std::vector<std::uint8_t> pending_;  // records of the page being filled, slot order
  std::vector<std::uint8_t> last_key_;
  std::uint32_t pending_count_ = 0;
  std::uint64_t pending_first_ = 0;  // number of the pending page's slot 0 record
  std::uint32_t run_start_ = 0;      // slot where the last key's run starts
  std::uint64_t record_count_ = 0;
  std::uint32_t data_pages_ = 0;
  std::int64_t end_offset_ = 0;  // end of data pages and blocks
  bool created_ = false;
  bool data_ended_ = false;
  bool finished_ = false;
  bool failed_ = false;  // a page write failed: the file is unusable
};

#endif  // LUMETRA_STORAGE_INDEXED_FILE_BUILDER_H
