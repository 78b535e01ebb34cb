// FieldId: one field of an open data library file -- its field record, its
// value records (the field's value descriptions) and its search state: a
// "valid" flag set by a successful search of the file and cleared by a
// failed one, and the record locator of the record last found.
//
// FieldId is what a DlField* of <lumetra/datalib.h> points at.  Its Get*
// operations are the Dl* field calls behind their null checks: same results,
// same messages, recorded in the error record given to Attach.
//
// Ownership: owned by its DlDataFile, which attaches it to the file's DLFile
// and error record (neither owned; both outlive the field).  Thread rule:
// one thread at a time, with its file.
//
// Usage (reading field 2 of the record with key 17):
//   if (data_file->SearchInt(17)) {
//     FieldId* field = data_file->Field(2);
//     char text[256];
//     if (field->GetString(nullptr, text, sizeof text)) use(text);
//   }
#ifndef LUMETRA_DATALIB_FIELDID_H
#define LUMETRA_DATALIB_FIELDID_H

#include <lumetra/datalib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "datalib/dl_format.h"

class DLFile;
class QError;

// The public handle type; FieldId is its only kind.
struct DlField {};

class FieldId : public DlField {
 public:
  static constexpr std::uint32_t kNoBlock = 0xFFFFFFFF;

  FieldId() = default;
  // A field with the given records, not attached to any file.
  FieldId(lumetra::dlformat::DlFieldRecord record,
          std::vector<lumetra::dlformat::DlValueRecord> values);

  // Decodes a field record (396 bytes of `size`); false when too short.
  bool DecodeFrom(const std::uint8_t* bytes, std::size_t size);
  // Decodes and appends a value record (352 bytes of `size`).
  bool AddValueRecord(const std::uint8_t* bytes, std::size_t size);

  // Connects the field to its file: `block` is its text block (type 'C') or
  // its numeric block counted among the numeric blocks (type 'N'); kNoBlock
  // for other types.
  void Attach(DLFile* file, QError* err, std::uint32_t block);

  // Search state.
  void SetPosition(std::uint32_t locator) {
    locator_ = locator;
    valid_ = true;
  }
  void Invalidate() { valid_ = false; }
  bool valid() const { return valid_; }
  std::uint32_t locator() const { return locator_; }

  // The current record's value: the text of a text field; the i32 of a
  // numeric field.  False (recorded) without a valid search, for a field of
  // the other type or when the page cannot be read.
  bool ReadText(std::string* text);
  bool ReadNumber(std::int32_t* value);
  // The value as DlFieldGetString writes it without a format: the text, or
  // the number in decimal.
  bool ValueText(std::string* text);

  // DlFieldGetString: null or empty format -> the value text; a format
  // beginning with "LDES" (any case) -> the long description; one holding
  // '%' -> printf of the value (one conversion: d i o u x X c take the
  // number (a text field's text read as an integer), e E f F g G a A the
  // number divided by 10^decimals (a text field's text read as a double), s
  // the value text); any other format -> the short description.
  // Descriptions: a text field's value records are searched (without regard
  // to case) for the text in `buffer`; a numeric field's descriptions come
  // from its first value record.  Output is cut to size - 1 characters and
  // terminated.  1, or 0 after recording why.  Fields of another type
  // return 1 and write nothing.
  int GetString(const char* format, char* buffer, int size);
  // DlFieldGetNum: the number; -1 for a text field (or another type); 0
  // after recording a failure.
  int GetNum();
  // DlFieldGetAttribute: codes 0, 1, 5, 7, 8 copy at most `size` characters
  // and a terminator (the buffer holds size + 1 bytes) and return 1; codes
  // 2, 3, 4, 9, 10 return the number; other codes, a negative size or a
  // text code without a buffer return -1.
  int GetAttribute(int code, char* buffer, int size) const;
  // DlFieldGetValueAttribute: value record `index`, which 0 value text, 1
  // short description, 2 long description; copied as GetAttribute copies.
  // 1, or -1 for other arguments.
  int GetValueAttribute(int index, int which, char* buffer, int size) const;

  const lumetra::dlformat::DlFieldRecord& record() const { return record_; }
  const std::vector<lumetra::dlformat::DlValueRecord>& values() const { return values_; }
  const std::string& id() const { return record_.id; }
  char type() const { return static_cast<char>(record_.type); }
  bool is_text() const { return record_.type == lumetra::dlformat::kTextField; }
  bool is_numeric() const { return record_.type == lumetra::dlformat::kNumericField; }
  std::uint32_t block() const { return block_; }
  // The record failures go to (null until attached).
  QError* error_record() const { return err_; }

  // Copies at most `size` characters of `text` and a terminator.
  static void CopyAttribute(const std::string& text, char* buffer, int size);

 private:
  bool CheckValid();
  int Describe(bool long_desc, char* buffer, int size);
  int Format(const char* format, char* buffer, int size);
  int Fail(const char* detail);

  lumetra::dlformat::DlFieldRecord record_;
  std::vector<lumetra::dlformat::DlValueRecord> values_;
  DLFile* file_ = nullptr;
  QError* err_ = nullptr;
  std::uint32_t block_ = kNoBlock;
  std::uint32_t locator_ = 0;
  bool valid_ = false;
};

inline DlField* ToHandle(FieldId* field) { return field; }
inline FieldId* FromHandle(DlField* field) { return static_cast<FieldId*>(field); }

#endif  // LUMETRA_DATALIB_FIELDID_H
