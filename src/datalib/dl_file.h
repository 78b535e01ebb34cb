// DLFile: the indexed file behind a data library file (kind 0x1100AAAA,
// 12-byte keys, 8-byte values holding record locators, 8 cache slots), with
// the data library's key order.  DLFilePage: the view of one of its data
// pages, which besides the keys carries one block per field: a string heap
// for each text field and a column stream for each numeric field
// (datalib/dl_format.h, docs/formats/data_library.md).
//
// Key order:
//   'C' (text keys): the first 12 characters without regard to case (a NUL
//       ends a key early, so "AB" sorts before "ABC");
//   'N' (numeric keys): both keys are read as decimal integers (leading
//       blanks, an optional sign, then digits, within the 12 characters) and
//       compared as numbers.
// Searches build their keys with MakeSearchKey, so the searched key and the
// stored key always go through the same reading.
//
// The page last loaded stays in the view until another page is needed:
// reading several fields of one record costs one page load.
//
// Ownership: DLFile owns its page view (through QIndexedFile); the error
// record is not owned and must outlive the file.  Thread rule: one thread
// at a time.
//
// Usage:
//   DLFile file("parcels.dld", &err);
//   if (!file.ready() || !file.Open()) return false;          // reported
//   uint8_t key[12];
//   DLFile::MakeSearchKey(file.key_type(), false, "A12", key);
//   uint32_t id, locator;
//   if (file.FindFirst(key, &id) && file.Locator(id, &locator)) {
//     std::string text;
//     file.ReadText(locator, /*block=*/0, &text);
//   }
#ifndef LUMETRA_DATALIB_DL_FILE_H
#define LUMETRA_DATALIB_DL_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "datalib/dl_format.h"
#include "objfile/column_codec.h"
#include "storage/indexed_file.h"

class DLFilePage : public QIndexedFilePage {
 public:
  DLFilePage();

  // The blocks every data page carries and the pages that may be loaded
  // ([first_page, page_limit)).  Set by DLFile once the definitions are
  // known; until then pages load without a block check.
  void SetBlocks(std::uint32_t text_blocks, std::uint32_t numeric_blocks);
  void SetPageRange(std::uint32_t first_page, std::uint32_t page_limit);
  void set_key_type(char key_type) { key_type_ = key_type; }
  char key_type() const { return key_type_; }

  // Loads the page and checks its offset table and string heaps (code 111
  // when they do not fit the page); a page outside the data pages is refused
  // the same way.  The page already in the view is kept, not read again.
  bool Load(QRecordMgr& pages, std::uint32_t page_number, QError& err) override;
  int Compare(const void* a, const void* b) const override;

  // Entry `entry` of text block `block` of the loaded page.
  bool Text(std::uint32_t block, std::uint32_t entry, std::string* text, QError& err) const;
  // Entry `entry` of numeric block `block` (counted among the numeric
  // blocks) of the loaded page.
  bool Number(std::uint32_t block, std::uint32_t entry, std::int32_t* value, QError& err);

  // True when a page is loaded and its blocks were checked.
  bool blocks_ready() const { return blocks_ready_; }

 private:
  bool CheckBlocks(QError& err);
  bool CheckHeap(std::uint32_t block, QError& err);
  bool Corrupt(QError& err, const char* what);

  char key_type_ = lumetra::dlformat::kTextKey;
  std::uint32_t text_blocks_ = 0;
  std::uint32_t numeric_blocks_ = 0;
  bool blocks_known_ = false;
  std::uint32_t first_page_ = lumetra::dlformat::kFirstDataPage;
  std::uint32_t page_limit_ = 0xFFFFFFFF;
  // Absolute page offsets: block k is [block_begin_[k], block_begin_[k + 1]).
  std::vector<std::uint32_t> block_begin_;
  std::vector<lumetra::ColumnReader> columns_;
  bool blocks_ready_ = false;
};

class DLFile : public QIndexedFile {
 public:
  // Opens the paged file (kind 0x1100AAAA, 8 cache slots); `err` gets the
  // failures and must outlive the file.  ready() tells the outcome.
  DLFile(const char* name, QError* err);

  // Reads the definition header (page 0) and opens the tree whose root the
  // header page holds.  False, reported (code 111), on a corrupt header,
  // a key or value length other than 12 and 8, or an unreadable tree.
  bool Open();

  // Sets the field blocks every data page must carry.
  void SetBlocks(std::uint32_t text_blocks, std::uint32_t numeric_blocks);

  // The locator stored in the value of record `id`.
  bool Locator(std::uint32_t id, std::uint32_t* locator);
  // Text of a text block / number of a numeric block for the record named
  // by `locator` (page: bits 18 and above, 0 taken as page 1; entry: the
  // low 18 bits).  The page in the view is reused when it is the one named.
  bool ReadText(std::uint32_t locator, std::uint32_t block, std::string* text);
  bool ReadNumber(std::uint32_t locator, std::uint32_t block, std::int32_t* value);

  int Compare(const void* a, const void* b) const override;

  const lumetra::dlformat::DlDefinitionHeader& definition() const { return definition_; }
  char key_type() const { return definition_.key_type; }
  bool cleaned_keys() const {
    return (definition_.flags & lumetra::dlformat::kFlagCleanedKey) != 0;
  }
  DLFilePage* page() const { return page_; }
  std::uint64_t tree_root() const { return tree_root_; }

  // Key order of `key_type` (12-byte keys); see the file comment.
  static int CompareKeys(char key_type, const void* a, const void* b);
  static int CompareText(const void* a, const void* b);
  static int CompareNumber(const void* a, const void* b);
  // The number a numeric key's 12 characters hold.
  static std::int64_t KeyNumber(const std::uint8_t* key);
  // Writes `number` as a 12-byte numeric key; false when it needs more than
  // 12 characters.
  static bool NumberKey(std::int64_t number, std::uint8_t* key);
  // A text key: the first 12 characters of `text`, NUL-padded.
  static void TextKey(const std::string& text, std::uint8_t* key);
  // Removes every character that is not an ASCII letter or digit.
  static std::string CleanKey(const std::string& text);
  // The search key for `text` in a file of `key_type`: text keys are
  // cleaned first when `cleaned`; numeric keys read the whole text as a
  // decimal integer.  False when a numeric key does not fit 12 characters.
  static bool MakeSearchKey(char key_type, bool cleaned, const char* text, std::uint8_t* key);

 private:
  bool LoadLocatorPage(std::uint32_t locator, std::uint32_t* entry);

  DLFilePage* page_;  // owned by QIndexedFile
  lumetra::dlformat::DlDefinitionHeader definition_;
  std::uint64_t tree_root_ = 0;
};

#endif  // LUMETRA_DATALIB_DL_FILE_H
