// The data library's context and its open files.
//
// DlContext (what DlInit returns): the data directory, the error record of
// every failure that is not a null argument, and the list of open files.
// It owns the files; DlTerm (destroying the context) closes those still
// open.
//
// DlDataFile (what DlFileOpen returns): one open data library file -- its
// DLFile, the definition header, the key type, the fields (FieldId, in
// file order) and the search position (the record id of the record last
// found).  Every successful search positions all fields on the record
// found; a failed one invalidates them all.
//
// For callers inside the library (the attribute files of object files):
//   DlContext context("");
//   DlDataFile* file = context.Open("parcels.dla");   // null: context.error()
//   if (file != nullptr && file->SearchInt(ordinal)) {
//     FieldId* field = file->Field(n);                 // n from 0
//     char text[256];
//     field->GetString(nullptr, text, sizeof text);
//   }
//   context.Close(file);
//
// Thread rule: a context and its files are used by one thread at a time.
#ifndef LUMETRA_DATALIB_DLLIST_H
#define LUMETRA_DATALIB_DLLIST_H

#include <lumetra/datalib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "datalib/dl_file.h"
#include "datalib/dl_format.h"
#include "datalib/fieldid.h"
#include "frame/error.h"

struct DlContext {
  // Longest data directory and longest file name (after joining).
  static constexpr std::size_t kMaxPath = 255;

  // REQUIRES: data_directory holds at most kMaxPath characters.
  explicit DlContext(std::string data_directory);
  ~DlContext();
  DlContext(const DlContext&) = delete;
  DlContext& operator=(const DlContext&) = delete;

  // Opens `file_name` (joined to the data directory when relative, ".dld"
  // added when its last component has no extension).  Null after recording
  // "File %s Not Found" or "Error opening DLD file" (code 100); the record
  // of what made the open fail is then kept in open_cause().
  DlDataFile* Open(const char* file_name);
  // Closes and frees a file of this context; false when it is not one.
  bool Close(DlDataFile* file);

  // The path Open uses for `file_name`.
  std::string ResolveName(const char* file_name) const;

  const std::string& data_directory() const { return data_directory_; }
  QError& error() { return error_; }
  // What made the last failed Open fail, before it was summed up as "Error
  // opening DLD file" (code -1 when the file was not found).
  const QError& open_cause() const { return open_cause_; }
  std::size_t open_files() const { return files_.size(); }

 private:
  std::string data_directory_;
  QError error_;
  QError open_cause_;
  std::vector<std::unique_ptr<DlDataFile>> files_;
};

struct DlDataFile {
  // `context` receives the failures and must outlive the file.
  explicit DlDataFile(DlContext* context);
  ~DlDataFile();
  DlDataFile(const DlDataFile&) = delete;
  DlDataFile& operator=(const DlDataFile&) = delete;

  // Opens `path`, reads the definitions and attaches the fields.  False
  // when the file is not a usable data library file (the reason recorded).
  bool Open(const std::string& path);

  // Searches: 1 found (every field valid on the record), 0 not found (every
  // field invalid).  SearchInt refuses key 0 as a null value.  The Next
  // forms continue behind the record last found and need one.
  int Search(const char* key);
  int SearchInt(int key);
  int SearchNext(const char* key);
  int SearchNextInt(int key);

  int field_count() const { return static_cast<int>(fields_.size()); }
  // Field n from 0, or null.
  FieldId* Field(int n);
  // The field whose identifier equals `identifier` without regard to case,
  // or null.
  FieldId* FieldById(const char* identifier);
  // The key field: the first field whose section name equals the header's
  // key field, else the first whose identifier does (both without regard to
  // case); -1 when none.
  int KeyFieldIndex() const;

  // DlFileGetAttribute: 0, 1 (fields), 2, 5 numbers; 3, 4 the header's
  // texts copied as FieldId::GetAttribute copies; else -1.
  int GetAttribute(int code, char* buffer, int size) const;

  char key_type() const { return key_type_; }
  bool opened() const { return opened_; }
  bool positioned() const { return positioned_; }
  std::uint32_t record_id() const { return record_id_; }
  const lumetra::dlformat::DlDefinitionHeader& definition() const { return definition_; }
  DLFile* file() const { return file_.get(); }
  DlContext* context() const { return context_; }

 private:
  bool ReadDefinitions();
  bool ReadFieldRecords(std::int64_t offset, std::uint32_t count);
  bool ReadValueRecords(std::int64_t offset, std::uint32_t count);
  bool AttachFields();
  bool Corrupt(const char* what);
  int Found(std::uint32_t id);
  int NotFound();
  int SearchKey(const std::uint8_t* key, bool next);

  DlContext* context_;
  std::unique_ptr<DLFile> file_;
  lumetra::dlformat::DlDefinitionHeader definition_;
  char key_type_ = lumetra::dlformat::kTextKey;
  bool opened_ = false;
  std::vector<FieldId> fields_;
  std::uint32_t record_id_ = 0;
  bool positioned_ = false;
};

// The process-wide error record: null arguments ("Null value passed.",
// code 100) and the failures of the writing calls, which have no context.
// Locked: any thread may record or read it.
void DlRecordNullValue();
void DlProcessRecordCopy(const QError& from);
// Copies the message and detail (DL_ERROR_TEXT_SIZE bytes each; either may
// be null) and returns the code (-1 when nothing was recorded).
int DlProcessRecordGet(char* message, char* detail);
void DlProcessRecordClearForTest();

#endif  // LUMETRA_DATALIB_DLLIST_H
