// ImportRead: the abstract format reader of an import handle, and
// ImportTextFile, the text input source of the MIF/MID and BNA readers.
//
// A reader pulls one object per ReadObject call from its input and hands it
// to the handle's ObjectFileBuild.  Readers keep the last object pending
// until the next ReadObject writes it, so the caller reads until the end of
// input (result 0) to have every object written; destroying a reader drops
// its pending object unwritten.
//
// Ownership: a reader refers to its builder, which owns it (ObjectFileBuild::
// SetReader) and outlives it, and reports into the builder's error record.
// Thread rule: one thread at a time, as for the builder.
//
// A format reader derives from ImportRead, opens its input in its
// constructor (clearing the success flag on failure) and implements
// ReadObject.  An opener (pipImportOpen*) first drops the handle's current
// reader, then installs the new one when it opened:
//   build.CloseReader();                 // its pending object is lost
//   auto reader = std::make_unique<BNARead>(build, file_name, position);
//   if (!reader->success()) return -1;  // reported; the reader is destroyed
//   build.SetReader(std::move(reader));
// ReadObject writes the previous pending object (WritePending), reads the
// next one into a QPolygonObject made pending (SetPending), sets the current
// name and the result code, and at the end of input writes the last pending
// object and sets kResultEnd.
#ifndef LUMETRA_IMPORT_IMPORT_READ_H
#define LUMETRA_IMPORT_IMPORT_READ_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class IOFile;
class ObjectFileBuild;
class pipError;
class QError;
class QPolygonObject;

// A text file read line by line with a tokenizer over the current line.
//
// Lines hold at most 2047 characters (IOFile); line ends are never part of
// a line.  Tokens and fields are taken from one cursor that starts at the
// line's beginning after each ReadLine and can be reset with RestartTokens.
//
// Usage:
//   ImportTextFile in(err, "roads.mif", " \t\n");
//   while (in.ReadLine()) {
//     const char* keyword = in.NextToken("( ,\t\n");
//     if (keyword == nullptr) continue;  // blank line
//     const char* x = in.NextToken();    // the file's own delimiters
//   }
//   if (in.failed()) return false;       // reported
class ImportTextFile {
 public:
  // Longest line kept, with its terminator.
  static constexpr std::size_t kLineBufferSize = 2048;
  // Longest file name kept.
  static constexpr std::size_t kMaxFileName = 259;

  // Opens file_name (cut to 259 characters) for reading, with `delimiters`
  // as the format's delimiter set (null = " \t\n").  Failures are reported
  // to err (which must outlive this object) and clear success().
  ImportTextFile(QError& err, const char* file_name, const char* delimiters);
  ~ImportTextFile();
  ImportTextFile(const ImportTextFile&) = delete;
  ImportTextFile& operator=(const ImportTextFile&) = delete;

  // Reads the next line and puts the cursor at its start.  False at the end
  // of input (at_end()) or after a reported failure (failed()).
  bool ReadLine();

  // The current line, NUL-terminated (empty before the first ReadLine).
  const char* line() const { return line_; }
  std::size_t line_length() const { return length_; }
  // Lines read so far, the current one included.
  std::uint32_t line_number() const;
  const char* file_name() const { return file_name_.c_str(); }
  const char* delimiters() const { return delimiters_.c_str(); }
  // The file's size when it was opened; -1 when unknown.
  std::int64_t file_size() const { return file_size_; }
  // Bytes read from the file so far.
  std::uint64_t position() const;
  // Progress 0..100: ceil(position x 100 / size - 0.5), so an exact half goes
  // down; 0 when the size is unknown or zero.
  int PercentDone() const;

  bool success() const { return success_; }
  bool failed() const;
  bool at_end() const;
  // Marks the input failed after a data error found by a reader.
  void SetFailed() { success_ = false; }

  // --- tokenizer over the current line ---
  // Puts the cursor back at the start of the line.
  void RestartTokens() { cursor_ = 0; }
  // Skips delimiters, then returns the characters up to the next delimiter
  // (which is consumed), or null when the line holds no further token.
  // `delimiters` null means the file's own set.  The text stays valid until
  // the next ReadLine.
  const char* NextToken(const char* delimiters = nullptr);
  // The next delimited field (MID rows, BNA lines), fields ending at a
  // character of the file's delimiter set.  Spaces before a field are
  // skipped; an unquoted field keeps its trailing spaces.  A field starting
  // with '"' or '\'' is quoted: delimiters inside it are text, a doubled
  // quote stays in the text as two characters, and it ends at the last
  // matching quote before the next delimiter; characters between that quote
  // and the delimiter are dropped.  An empty field between delimiters is
  // the empty string; only spaces after the last delimiter give one more,
  // empty, field; nothing after it gives none.  False when the line holds no
  // further field.
  bool NextField(std::string* field);
  // The unread rest of the line (after the last token or field).
  const char* Rest() const;

 private:
  bool IsDelimiter(char c, const char* delimiters) const;
  std::size_t NextDelimiter(std::size_t from) const;
  void ReadQuoted(std::size_t* p, std::string* field) const;

  QError& err_;
  std::string file_name_;
  std::string delimiters_;
  std::unique_ptr<IOFile> file_;
  std::int64_t file_size_ = -1;
  char line_[kLineBufferSize] = {};
  char tokens_[kLineBufferSize] = {};  // the line, cut into tokens
  std::size_t length_ = 0;
  std::size_t cursor_ = 0;  // length_ + 1 once the fields are exhausted
  bool success_ = false;
};

class ImportRead {
 public:
  // Result codes of the last ReadObject.
  static constexpr int kResultError = -1;
  static constexpr int kResultEnd = 0;
  static constexpr int kResultObject = 1;
  static constexpr int kResultSkipped = 2;
  // Longest name kept.
  static constexpr std::size_t kMaxNameLength = 127;

  // Drops the pending object without writing it.
  virtual ~ImportRead();
  ImportRead(const ImportRead&) = delete;
  ImportRead& operator=(const ImportRead&) = delete;

  // Reads the next object and hands it to the builder (writing the previous
  // pending object first).  Sets result(); returns false when the reader has
  // failed (reported), after which it keeps failing.
  virtual bool ReadObject() = 0;
  // Progress 0..100 (0 unless the reader knows better).
  virtual int PercentDone() const;
  // The current line (text readers) or record number; 0 unless the reader
  // knows better.
  virtual std::int32_t CurrentLine() const;

  bool success() const { return success_; }
  int result() const { return result_; }
  // The current object's names (cut at 127 characters) and id.
  const std::string& name() const { return name_; }
  const std::string& name2() const { return name2_; }
  std::int32_t id() const { return id_; }
  std::int32_t objects_read() const { return objects_read_; }

  // Coordinate text to file units: value x 1,000,000 truncated toward zero,
  // held to the i32 range (NaN gives 0).
  static std::int32_t ToFileUnits(double value);

 protected:
  explicit ImportRead(ObjectFileBuild& build);

  ObjectFileBuild& build() const { return build_; }
  pipError& error() const;

  // Writes and drops the pending object.  True when there was none; false
  // after a failed write (reported), which also fails the reader.
  bool WritePending();
  // Makes `object` the pending object, dropping any previous one unwritten.
  void SetPending(std::unique_ptr<QPolygonObject> object);
  void DropPending();
  QPolygonObject* pending() const { return pending_.get(); }

  void set_result(int result) { result_ = result; }
  void set_name(const char* name);
  void set_name2(const char* name2);
  void set_id(std::int32_t id) { id_ = id; }
  void CountObject() { ++objects_read_; }
  // Marks the reader failed; every further ReadObject returns false.
  void Fail() { success_ = false; }

 private:
  ObjectFileBuild& build_;
  std::unique_ptr<QPolygonObject> pending_;
  bool success_ = true;
  std::int32_t objects_read_ = 0;
  std::string name_;
  std::string name2_;
  std::int32_t id_ = 0;
  int result_ = kResultError;
};

#endif  // LUMETRA_IMPORT_IMPORT_READ_H
