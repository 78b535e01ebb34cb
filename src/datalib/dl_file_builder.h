// DlFileBuilder: writes a data library file that DlContext::Open (and
// DlFileOpen) reads back.  It is what a DlBuilder* of <lumetra/datalib.h>
// points at.
//
// Records may come in any order and keys may repeat: Finish sorts them by
// key (the file's key order, DLFile::CompareKeys), equal keys staying in the
// order they were added, and writes the data pages (records with their
// field blocks), the definition area, the definition header and the tree
// (layout: datalib/dl_format.h).
//
// Values as stored:
//   'C' fields: the text cut to the field's width;
//   'N' fields: a decimal text ("-12.5", blanks around it allowed, blank =
//       0) scaled by 10^decimals and rounded half away from zero to an i32;
//       anything else is refused;
//   keys: for key type 'C' the key field's stored text (cleaned of
//       non-alphanumerics when cleaned keys are asked for), first 12
//       characters; for key type 'N' the key field's text read as a whole
//       decimal number of at most 12 characters.
//
// Failures are recorded in the error record given at construction (code
// 100 for bad requests, errno for I/O).  A file that was created but not
// finished is removed when the builder goes away (or on Abort).  The tree
// builder's scratch files go to the current directory.
//
// Ownership: the error record is not owned and must outlive the builder.
// Thread rule: one thread at a time.
//
// Usage:
//   DlBuilderOptions options;
//   options.key_type = 'N';
//   options.key_field = "recid";
//   DlFileBuilder builder(err, options);
//   builder.Create("parcels.dla");
//   builder.AddField({"recid", "recid", 'N', 10, 0});
//   builder.AddField({"NAME", "NAME", 'C', 30, 0});
//   const char* row[] = {"1", "Smith"};
//   builder.AddRecord(row);
//   if (!builder.Finish()) report(err);
#ifndef LUMETRA_DATALIB_DL_FILE_BUILDER_H
#define LUMETRA_DATALIB_DL_FILE_BUILDER_H

#include <lumetra/datalib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "datalib/dl_format.h"

class QError;

// The public handle type; DlFileBuilder is its only kind.
struct DlBuilder {};

struct DlBuilderOptions {
  char key_type = lumetra::dlformat::kTextKey;  // 'C' or 'N'
  std::string key_field;                        // identifier of the key field
  std::string stamp;                            // file attribute 3 (at most 255 characters)
  std::string title;                            // file attribute 4 (at most 255 characters)
  bool cleaned_keys = false;  // text keys (stored and searched) keep only letters and digits
  // Data page size; 0 chooses one (8192, or larger when one record needs
  // it).  Smaller pages (at least 1024) spread few records over many pages.
  std::uint32_t page_size = 0;
};

struct DlFieldSpec {
  std::string id;                             // 1 to 12 characters, unique without regard to case
  std::string section;                        // attribute 1 (cut to 31 characters)
  char type = lumetra::dlformat::kTextField;  // 'C' or 'N'
  int width = 0;                              // attribute 2: 1 to 255
  int decimals = 0;                           // attribute 3: 0 to 9
  std::string short_desc;                     // attribute 7 (cut to 31 characters)
  std::string long_desc;                      // attribute 8 (cut to 255 characters)
  std::string mask;                           // attribute 5 (cut to 31 characters)
};

class DlFileBuilder : public DlBuilder {
 public:
  DlFileBuilder(QError& err, DlBuilderOptions options);
  // Removes a created, unfinished file.
  ~DlFileBuilder();
  DlFileBuilder(const DlFileBuilder&) = delete;
  DlFileBuilder& operator=(const DlFileBuilder&) = delete;

  // Checks the options and creates (truncates) `file_name`, used as given.
  bool Create(const char* file_name);
  // Adds a field behind the others; only before the first record.
  bool AddField(const DlFieldSpec& spec);
  // Appends a value description to the field `field_id` (any case).
  bool AddValue(const char* field_id, const char* value, const char* short_desc,
                const char* long_desc);
  // One text per field, in field order.  Nothing is stored when a value is
  // refused.
  bool AddRecord(const char* const* values);
  // Sorts and writes everything and closes the file.  False after a
  // recorded failure; the file is then removed.  Once only.
  bool Finish();
  // Gives up: removes the file.  Nothing is taken afterwards.
  void Abort();

  std::size_t record_count() const { return record_count_; }
  std::size_t field_count() const { return fields_.size(); }
  // The data page size Finish chose (0 before).
  std::uint32_t page_size() const { return page_size_; }

  // An 'N' value as stored: `text` scaled by 10^decimals.  False when the
  // text is not a decimal number or the result does not fit an i32.
  static bool ParseNumber(const char* text, int decimals, std::int32_t* value);

 private:
  friend class DlPagePayload;
  struct Field {
    lumetra::dlformat::DlFieldRecord record;
    std::vector<lumetra::dlformat::DlValueRecord> values;
    std::uint32_t block = 0;  // among the blocks of its type
  };

  bool Refuse(const char* detail);
  bool CheckTaking(bool fields_phase);
  int FindField(const char* id) const;
  bool MakeKey(const char* const* values, std::uint8_t* key);
  bool ChoosePageSize();
  bool WriteFile(const std::vector<std::uint32_t>& order);
  std::vector<std::uint8_t> DefinitionArea() const;
  std::string KeyFieldText() const;
  void RemoveFile();

  QError& err_;
  DlBuilderOptions options_;
  std::string name_;
  std::vector<Field> fields_;
  std::uint32_t text_fields_ = 0;
  std::uint32_t numeric_fields_ = 0;
  std::size_t value_records_ = 0;
  int key_field_ = -1;
  // Records, in the order added: keys, numbers (record-major), texts.
  std::size_t record_count_ = 0;
  std::vector<std::uint8_t> keys_;
  std::vector<std::int32_t> numbers_;
  std::string text_arena_;
  std::vector<std::uint32_t> text_offset_;  // record-major, one per text field
  std::vector<std::uint8_t> text_length_;
  std::uint32_t page_size_ = 0;
  bool created_ = false;
  bool done_ = false;  // finished or aborted
};

inline DlBuilder* ToHandle(DlFileBuilder* builder) { return builder; }
inline DlFileBuilder* FromHandle(DlBuilder* builder) {
  return static_cast<DlFileBuilder*>(builder);
}

#endif  // LUMETRA_DATALIB_DL_FILE_BUILDER_H
