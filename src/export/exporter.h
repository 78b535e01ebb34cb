// CspaExporter: the object behind an export handle (kind 7), and the
// framework every output format plugs into.
//
// An exporter creates its output files when the handle is made
// (CreateFiles), takes objects one at a time (WriteObject) and closes its
// output -- or deletes it, when the handle ends without commit -- at the
// end (CloseFiles, DeleteFiles).  Objects come either from an object file
// the exporter opens itself (OpenObjectFile, then WriteNext until it
// answers -1) or straight from the caller (Insert).  Several object files
// may be exported into one output, one after another.
//
// Order of objects.  WriteNext walks the open object file with a name
// search for "*": every object, in the order of the file's name index
// (names compared without regard to case over their first 8 characters).
//
// Units.  Objects arrive with i32 coordinates in file units; every writer
// writes file units / 1,000,000 (ToOutputUnits), whatever the object file's
// coordinate type, so geographic files come out in degrees.
//
// Arguments of the writers (slots 1 to 3 and 7): `name` is the object's
// name as the caller gave it (on the export paths the record's own name;
// may be null), `object` the object's record, `points` its i32 x, y pairs
// (all parts one after another), `part_counts` the points of each part and
// `count` the number of parts -- for a point object the number of points.
// Each answers 1, or -1 on failure.
//
// Options (pipExportSetOptions, lumetra/pip_ext.h).  A writer that takes
// them (ApplyOptions) defers its table or header until the columns are
// known (BeginTable): when the first object file is opened with options set,
// or options are set on an open one, or else before the first object.  With
// the attributes option every object file opened gets its attribute file
// attached, and writers read each object's values through
// CurrentAttributes().  Without options nothing of this happens.
//
// Failures are reported to the library handle's error record (pipError::
// Report, so they are displayed as its display mode says).  The message and
// detail of the last failure to open an object file or to access one of its
// objects are kept per exporter and quoted into the per-object failure
// messages of WriteObject.
//
// Ownership: the library context is not owned and must outlive the
// exporter (services are ended before pipTerm); the exporter owns its
// output files and the object file it opened.  Thread rule: one thread at a
// time per handle.
//
// Usage (see export_api.cpp):
//   auto exporter = std::make_unique<CspaBNAExporter>(library);
//   if (exporter->CreateFiles("out") != 1) return -1;     // out.bna
//   exporter->OpenObjectFile("states.obj", PIP_OPEN_CACHE_5MB);
//   while (exporter->WriteNext(name, 128, &percent, &count) == 1) {}
//   exporter->Finish(true);
#ifndef LUMETRA_EXPORT_EXPORTER_H
#define LUMETRA_EXPORT_EXPORTER_H

#include <lumetra/pip.h>
#include <lumetra/pip_ext.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

class AttributeSearch;
class pipError;
class pipLibraryContext;
class pipObjectFileObject;
class PolygonObject;
class PolygonSearch;
class QError;

namespace lumetra {

// File units to output units: value / 1,000,000.
inline double ToOutputUnits(std::int32_t value) { return static_cast<double>(value) / 1000000.0; }

// Checks the parts of a line or region: `count` >= 1 parts, each of at
// least one point.  Writes the total of points to *total_points.
bool SumParts(const std::int32_t* part_counts, std::int32_t count, std::int64_t* total_points);

// The checks every writer makes before writing a line or a region: the
// record is of `type`, there are points, and the parts pass SumParts.
bool PartsAccepted(const pipObjectInfoStruct& object, int type, const std::int32_t* points,
                   const std::int32_t* part_counts, std::int32_t count, std::int64_t* total_points);

// An output name made of `base_name`: when it contains `lower` or `upper`
// (an extension such as ".bna" / ".BNA"), its last four characters are
// replaced by `extension`; otherwise `extension` is appended.
std::string OutputFileName(const std::string& base_name, const char* lower, const char* upper,
                           const char* extension);

// One text output file of a writer: created for writing, written with
// printf formats, closed, or removed.  A write failure is sticky: ok()
// stays false from then on.  Owns the stream; a file still open when the
// object goes away is closed (not removed).
class ExportTextFile {
 public:
  ExportTextFile() = default;
  ~ExportTextFile();
  ExportTextFile(const ExportTextFile&) = delete;
  ExportTextFile& operator=(const ExportTextFile&) = delete;

  // Creates (truncates) `path` for writing.  False, with errno set, when it
  // cannot be created.
  bool Create(const std::string& path);
  // Formats into the file; false once any write has failed.
  bool Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Empties the open file and writes from its start again; false when it
  // cannot be emptied.
  bool Rewind();
  // Closes the file; false when buffered text could not be written.
  bool Close();
  // Closes the file if open and removes it; false when it cannot be
  // removed (a file never created counts as removed).
  bool Remove();

  bool is_open() const { return stream_ != nullptr; }
  bool ok() const { return ok_; }
  const std::string& path() const { return path_; }

 private:
  std::FILE* stream_ = nullptr;
  std::string path_;
  bool ok_ = true;
};

}  // namespace lumetra

class CspaExporter {
 public:
  explicit CspaExporter(pipLibraryContext& library);
  CspaExporter(const CspaExporter&) = delete;
  CspaExporter& operator=(const CspaExporter&) = delete;

  // --- the writer's slots, in order ---
  // 1-3: write one object of the writer's own type (-1 for any other).
  virtual int WritePoint(const char* name, const pipObjectInfoStruct& object,
                         const std::int32_t* points, const std::int32_t* part_counts,
                         std::int32_t count) = 0;
  virtual int WriteLine(const char* name, const pipObjectInfoStruct& object,
                        const std::int32_t* points, const std::int32_t* part_counts,
                        std::int32_t count) = 0;
  virtual int WriteRegion(const char* name, const pipObjectInfoStruct& object,
                          const std::int32_t* points, const std::int32_t* part_counts,
                          std::int32_t count) = 0;
  // 4: creates the output files for `base_name` with format options.
  virtual int CreateFilesEx(const char* base_name, long version, const char* delimiter) = 0;
  // 5: creates the output files for `base_name` with default options.
  virtual int CreateFiles(const char* base_name) = 0;
  // 6: closes the output files (1; -1 when they could not be completed).
  virtual int CloseFiles() = 0;
  // 7: writes one object through WritePoint, WriteLine or WriteRegion by
  // its record's type and reports a failure (code 100, the object's name
  // and the last open or access failure's texts).  The definition here is
  // that dispatch; writers call it after their own checks.
  virtual int WriteObject(const char* name, const pipObjectInfoStruct& object,
                          const std::int32_t* points, const std::int32_t* part_counts,
                          std::int32_t count) = 0;
  // 8: removes the output files.
  virtual int DeleteFiles() = 0;
  // 9
  virtual ~CspaExporter();

  // --- the object file being exported ---
  // Opens `file_name` as a lookup does (open mode passed on) and takes its
  // counts from its header: total = lines + points + regions, nothing
  // exported yet, percentage 0, first object still to come.  An object file
  // already open is closed first.  1; -1 after reporting (105).
  int OpenObjectFile(const char* file_name, int mode);
  // Exports the next object of the open file (see the file comment).
  // `name` (name_length bytes) is emptied first and receives the object's
  // name; *percent and *count (either may be null) the truncated
  // percentage done and the number exported.  -1 when the percentage is
  // already 100 (nothing reported), when no object can be fetched (code
  // 100, reported) or when the writer fails (WriteObject reported it).
  int WriteNext(char* name, int name_length, int* percent, int* count);
  // Closes the object file opened by OpenObjectFile (none afterwards).
  void CloseObjectFile();
  bool has_object_file() const { return object_file_ != nullptr; }

  // --- the end of the handle ---
  // Closes the object file and the output; without commit also deletes the
  // output.  1; -1 when the output could not be closed (reported).
  int Finish(bool commit);

  // --- progress ---
  std::int64_t exported_count() const { return exported_count_; }
  std::int64_t total_count() const { return total_count_; }
  double percentage() const { return percentage_; }
  bool first_object() const { return first_object_; }
  // The open file's counts and maxima, from its header.
  const pipObjectFileInfoStruct& file_info() const { return file_info_; }

  // The texts quoted into the per-object failure messages.
  const std::string& last_failure_message() const { return last_failure_message_; }
  const std::string& last_failure_detail() const { return last_failure_detail_; }

  // Reports code 106 with `detail` (bad arguments of the caller).
  void ReportInvalidData(const char* detail);

  // The library's error record, which the handle's calls report into (and
  // the exported-call pattern records an allocation failure in).
  pipError& error() const;

  // --- export options ---
  // Takes the option flags; -1 (reported) for bits that name no option
  // (106), once an object was written (100), or when the writer refuses
  // them.  Begins the table at once when an object file is open.
  int SetOptions(int flags);
  int options() const { return options_; }

  // Reads the object file's header into file_info(); 1, or -1 after
  // reporting "AN ERROR HAS OCCURRED READING HEADER OF OBJECT FILE %s."
  // (code 105).  Part of OpenObjectFile.
  int ReadFileInfo(const char* file_name);

 protected:
  pipLibraryContext& library() const { return library_; }
  // Keeps the message and detail of `record` (or of the given texts) as the
  // last open or access failure.
  void NoteFailure(const QError& record);
  void NoteFailure(const std::string& message, const std::string& detail);
  // False, after noting the failure, when the attribute file being
  // exported from failed in the file layer (attribute_search.h).
  bool AttributesReadable();
  // Reports a system error (errno value below 100) with `path` as detail.
  void ReportSystemError(int error_number, const std::string& path);

  // Option hooks of the writers (see the file comment).  ApplyOptions
  // answers 1 when the writer takes `flags`; the default refuses (code 100,
  // reported).  BeginTable creates the table or header for the columns of
  // `attributes` (null: none) and a file in degrees or not; 1, or -1 after
  // reporting.  The default does nothing.
  virtual int ApplyOptions(int flags);
  virtual int BeginTable(const AttributeSearch* attributes, bool geographic);
  // The attribute search of the object file being exported, positioned on
  // the object being written; null for objects from the caller and without
  // the attributes option.
  const AttributeSearch* CurrentAttributes() const;

 private:
  // Attaches `object`'s attribute file for the attribute columns; -1 after
  // reporting (100) when it exists but cannot be opened.
  int AttachColumnsSource(pipObjectFileObject& object, const char* file_name);
  bool FetchNextObject(std::string* name);
  bool FindNextMatch(char* name, int name_length, int* found);
  bool CopyCoordinates(const PolygonObject& object);
  void ReportAccessFailure(const char* name);
  void SetupBuffers(const PolygonSearch& reader);
  int BeginTableOnce();

  pipLibraryContext& library_;
  std::unique_ptr<pipObjectFileObject> object_file_;
  pipObjectFileInfoStruct file_info_{};
  std::int64_t exported_count_ = 0;
  std::int64_t total_count_ = 0;
  double percentage_ = 0.0;
  bool first_object_ = true;
  std::string last_failure_message_;
  std::string last_failure_detail_;
  // The current object, as WriteObject takes it.
  pipObjectInfoStruct object_info_{};
  std::vector<std::int32_t> points_;
  std::vector<std::int32_t> part_counts_;
  std::int32_t part_count_ = 0;
  // Options.
  std::string object_file_name_;  // of the open object file
  int options_ = 0;
  bool table_begun_ = false;
  bool wrote_any_ = false;
  bool writing_from_file_ = false;
};

#endif  // LUMETRA_EXPORT_EXPORTER_H
