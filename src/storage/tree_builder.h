// QTreeBuilder: builds a B+-tree bottom-up, in one pass over records sorted
// by key, at the end of an output file (the name index of object files, the
// indexes of indexed files).  Page layout: tree_page.h, docs/formats/btree.md.
#ifndef LUMETRA_STORAGE_TREE_BUILDER_H
#define LUMETRA_STORAGE_TREE_BUILDER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "storage/tree_page.h"

class QError;
class Qfile;

namespace lumetra {
class TreeScratchFile;
}  // namespace lumetra

// Receives progress reports: a text ("Sorting", "Sort complete", "Level 0",
// ...) and the progress in ten-thousandths (0 to 10000).
using QTreeProgress = std::function<void(const char* text, int progress)>;

struct QTreeBuilderOptions {
  static constexpr std::size_t kDefaultSortBlockBytes = 580000;

  std::uint32_t key_length = 8;    // 1 to 255
  std::uint32_t value_length = 8;  // 0 to 255, bytes of each leaf value
  std::uint32_t page_size = 1024;  // up to 65535; an interior page takes >= 2 entries
  // Key order; empty means the name index's comparison over key_length
  // (lumetra::CompareNameKeys).
  lumetra::QKeyCompare compare;
  // Bytes of one block of the in-place block sort (whole records are used).
  std::size_t sort_block_bytes = kDefaultSortBlockBytes;
  QTreeProgress progress;  // optional
};

// Collects fixed-length records in a scratch file "qtb.tmp.N" of the current
// directory, sorts that file in place when the records arrived out of order
// (a block sort needing about four blocks of memory whatever the file size;
// equal keys then end up in no particular order), then writes the tree
// level by level at the end of the output file: leaves first, each level's
// pages consecutive, each page aligned to the page size.
//
// Ownership: the error record is not owned and must outlive the builder.  The
// builder owns its scratch files and deletes them when a build ends and at
// the latest in its destructor.  Thread rule: one thread at a time.
//
// Usage:
//   QTreeBuilder builder(err);            // name index defaults: 8, 8, 1024
//   if (!builder.ready()) return false;   // scratch file not created (reported)
//   builder.Add(name_key, offset_bytes);  // for every record
//   uint64_t root = builder.Build(fd);    // QTreeBuilder::kBuildFailed on failure
class QTreeBuilder {
 public:
  static constexpr std::uint64_t kBuildFailed = 0xFFFFFFFF;

  // Validates the options (code 100 when unusable) and creates the first
  // scratch file; ready() tells whether both succeeded.
  explicit QTreeBuilder(QError& err, QTreeBuilderOptions options = QTreeBuilderOptions());
  ~QTreeBuilder();
  QTreeBuilder(const QTreeBuilder&) = delete;
  QTreeBuilder& operator=(const QTreeBuilder&) = delete;

  // Appends one record (key_length key bytes, value_length value bytes).
  // False when not ready, after Build, or when the scratch file cannot be
  // written (reported).
  bool Add(const void* key, const void* value);

  // Sorts the records when needed and writes the tree at the end of the file
  // open for writing on descriptor `fd` (its end is first padded with zeros
  // to the page size).  Returns the root page's file offset, or kBuildFailed
  // after a reported failure.  With no records the root is one empty leaf.
  // The scratch files are deleted either way; a builder builds once.
  std::uint64_t Build(int fd);
  // As Build(fd) on the descriptor of a Qfile open in descriptor access for
  // writing.  A closed or mapped file is a bad request (code 100) that leaves
  // the builder as it was.
  std::uint64_t Build(Qfile& file);

  bool ready() const { return ready_; }
  std::uint64_t record_count() const { return record_count_; }
  bool out_of_order() const { return out_of_order_; }
  const QTreeBuilderOptions& options() const { return options_; }

 private:
  struct LevelResult {
    std::uint64_t first_page_offset;
    std::uint64_t page_count;
  };

  bool ValidateOptions();
  bool SortScratch();
  bool WriteLevel(int fd, lumetra::TreeScratchFile& input, std::uint64_t records,
                  std::uint32_t value_length, std::uint16_t level, lumetra::TreeScratchFile& next,
                  LevelResult* result);
  std::uint64_t BuildLevels(int fd);
  void Report(const char* text, int progress) const;

  QError& err_;
  QTreeBuilderOptions options_;
  std::unique_ptr<lumetra::TreeScratchFile> records_;
  std::vector<std::uint8_t> last_key_;
  std::uint64_t record_count_ = 0;
  bool out_of_order_ = false;
  bool ready_ = false;
  bool built_ = false;
};

#endif  // LUMETRA_STORAGE_TREE_BUILDER_H
