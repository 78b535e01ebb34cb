// RtreeBuilder: bulk-loads the R-tree of an object file by sort-tile-
// recursive (STR) packing and writes it at the end of the file.
//
// During an import every record contributes its bounding rectangle and file
// offset (Add).  Build then packs the tree bottom-up, one level at a time:
//
//   n = entries of the level, f = RtreeNodeCapacity(page size) (1363 for
//   32768-byte pages).  While n > f: cut the entries, in x-centre order, into
//   s = floor(sqrt(floor(n / f))) vertical slices of floor(n / s)
//   consecutive entries (the last slice also takes the n mod s left over);
//   order each slice by y centre and pack it into nodes of up to f entries.
//   Every node becomes one page and one entry (node rectangle, page number)
//   of the next level.  When n <= f the rest forms the root.
//
// The x-centre order comes from the external sort (QSort, 4-byte keys, 24-
// byte values, 32-byte slots); a slice is ordered in memory, so memory grows
// with the slice, about sqrt(n x f) entries of 24 bytes (under 1 MB for a
// million records).  Centres are (min + max) / 2 truncated towards zero.
//
// Pages are written through the qio routines (page checksum included),
// sequentially, starting at the file end aligned to the page size.  Leaves
// carry kRtreeLeaf, upper levels kRtreeInterior, the root also kRtreeRoot.
// An empty builder writes an empty root leaf.
//
// Ownership: the error record is not owned and must outlive the builder; the
// builder owns its sorts and their temporary files.  Thread rule: one thread
// at a time.
//
// Usage:
//   RtreeBuilder rtree(err);
//   for (...) if (!rtree.Add(rect, record_offset)) return false;
//   std::int64_t root_page = rtree.Build(fd);      // -1 on failure, reported
//   header.rtree_root = root_page * kRtreePageSize;
#ifndef LUMETRA_STORAGE_RTREE_BUILDER_H
#define LUMETRA_STORAGE_RTREE_BUILDER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "storage/qsort.h"
#include "storage/rtree_node.h"

class QError;

namespace lumetra {

// The centre of [lo, hi]: (lo + hi) / 2, truncated towards zero, computed
// without overflow.
std::int32_t RtreeCentre(std::int32_t lo, std::int32_t hi);

// The 4-byte sort key of a centre: the value with its sign bit flipped,
// stored big-endian, so that bytewise (memcmp) order equals numeric order,
// negative values included.
void EncodeCentreKey(std::int32_t centre, std::uint8_t key[4]);
std::int32_t DecodeCentreKey(const std::uint8_t key[4]);

// Vertical slices for n entries at fan-out f (n > f >= 1):
// floor(sqrt(floor(n / f))).  1 when n <= f.
std::uint64_t StrSliceCount(std::uint64_t n, std::uint32_t fanout);
// Entries in slice `index` of `slices` over n entries: floor(n / slices),
// the last slice also taking the n mod slices left over.
std::uint64_t StrSliceSize(std::uint64_t n, std::uint64_t slices, std::uint64_t index);

class RtreeBuilder {
 public:
  static constexpr std::int64_t kBuildFailed = -1;

  // A builder for pages of `page_size` bytes (kRtreeMinPageSize ..
  // kRtreeMaxPageSize; 32768 in object files; smaller sizes give deep trees
  // for tests).  The sorts put their temporary files in `sort_directory`
  // (null: $TEMP, else $TMP, else ".") and start with run buffers of
  // `sort_buffer_bytes`.  A bad page size is reported with code 100 and
  // leaves the builder not ready.
  explicit RtreeBuilder(QError& err, std::uint32_t page_size = kRtreePageSize,
                        const char* sort_directory = nullptr,
                        std::size_t sort_buffer_bytes = QSort::kDefaultBufferBytes);
  ~RtreeBuilder();
  RtreeBuilder(const RtreeBuilder&) = delete;
  RtreeBuilder& operator=(const RtreeBuilder&) = delete;

  // Adds one record: its bounding rectangle and file offset.  False when not
  // ready, after Build, or when the sort failed (reported).
  bool Add(const Rect& rect, std::uint64_t record_offset);

  // Aligns the end of `fd` (open for writing) to the page size with zeros
  // and writes the tree behind it.  Returns the root's page number (its file
  // offset / page size), or kBuildFailed after reporting.  One Build per
  // builder.
  std::int64_t Build(int fd);

  bool ready() const { return ready_; }
  std::uint32_t page_size() const { return page_size_; }
  std::uint32_t fanout() const { return fanout_; }
  std::uint64_t entry_count() const { return entry_count_; }
  // After a successful Build: the root's level and the pages written.
  std::uint32_t height() const { return height_; }
  std::uint64_t pages_written() const { return pages_written_; }

 private:
  std::unique_ptr<QSort> MakeSort();
  bool AddToSort(QSort& sort, const Rect& rect, std::uint64_t value);
  bool ReadEntries(QSort& sort, std::uint64_t count);
  bool WriteLevel(QSort& input, std::uint64_t n, std::uint16_t level, QSort& next,
                  std::uint64_t* nodes);
  bool WriteNode(std::uint16_t flags, std::uint16_t level, const RtreeEntry* entries,
                 std::size_t count, std::uint32_t* page_number);

  QError& err_;
  std::uint32_t page_size_;
  std::uint32_t fanout_;
  std::string sort_directory_;
  std::size_t sort_buffer_bytes_;
  std::unique_ptr<QSort> input_;
  std::vector<std::uint8_t> page_;
  std::vector<RtreeEntry> slice_;
  std::uint64_t entry_count_ = 0;
  int fd_ = -1;
  std::int64_t next_offset_ = 0;
  std::uint32_t height_ = 0;
  std::uint64_t pages_written_ = 0;
  bool ready_ = false;
  bool built_ = false;
};

}  // namespace lumetra

#endif  // LUMETRA_STORAGE_RTREE_BUILDER_H
