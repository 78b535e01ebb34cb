#include "export/exporter.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <limits>
#include <new>

#include "fault_injection.h"
#include "frame/error.h"
#include "frame/library_context.h"
#include "frame/text_copy.h"
#include "search/attribute_search.h"
#include "search/name_search.h"
#include "search/object_coords.h"
#include "search/object_file_object.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"

namespace {

constexpr char kCouldNotOpen[] = "Could not open %s.  \n%s\n%s\n";
constexpr char kHeaderUnreadable[] =
    "AN ERROR HAS OCCURRED READING HEADER OF OBJECT FILE %s.\n%s\n\n";
constexpr char kNoObjectFileName[] =
    "Please make sure that the object file name \n\tfrom which to transfer files is valid.\n";
constexpr char kCouldNotAccessNamed[] = "Could not access object %s.  \n%s\n%s\n";
constexpr char kCouldNotAccess[] = "Could not access object.  \n%s\n%s\n";
constexpr char kHeaderDataMemory[] = "Could not allocate header data object for %s.\n";
constexpr char kPointFailed[] =
    "An error occured when exporting the point object \"%s\".  \n%s\n%s\n";
constexpr char kLineFailed[] =
    "An error occured when exporting the line object \"%s\".  \n%s\n%s\n";
constexpr char kRegionFailed[] =
    "An error occured when exporting the region object \"%s\".  \n%s\n%s\n";
constexpr char kCloseFailed[] = "Could not complete the export output files.\n";
// The texts quoted when the name search ends before the header's count.
constexpr char kNotFoundText[] = "PIP_NOT_FOUND";
constexpr char kNoObjectFile[] = "No object file is open for export.";

constexpr char kAllObjects[] = "*";

// The header's 32-bit count fields as the exporter keeps them.
std::int64_t CountField(int value) { return static_cast<std::uint32_t>(value); }

}  // namespace

namespace lumetra {

bool SumParts(const std::int32_t* part_counts, std::int32_t count, std::int64_t* total_points) {
  *total_points = 0;
  if (part_counts == nullptr || count < 1) return false;
  for (std::int32_t i = 0; i < count; ++i) {
    if (part_counts[i] < 1) return false;
    *total_points += part_counts[i];
  }
  return true;
}

bool PartsAccepted(const pipObjectInfoStruct& object, int type, const std::int32_t* points,
                   const std::int32_t* part_counts, std::int32_t count,
                   std::int64_t* total_points) {
  return object.type == type && points != nullptr && SumParts(part_counts, count, total_points);
}

std::string OutputFileName(const std::string& base_name, const char* lower, const char* upper,
                           const char* extension) {
  if (base_name.find(upper) == std::string::npos && base_name.find(lower) == std::string::npos) {
    return base_name + extension;
  }
  return base_name.substr(0, base_name.size() - 4) + extension;
}

ExportTextFile::~ExportTextFile() {
  if (stream_ != nullptr) std::fclose(stream_);
}

bool ExportTextFile::Create(const std::string& path) {
  if (stream_ != nullptr) Close();
  path_ = path;
  // POSIX streams make no text/binary difference: "w" is the text mode.
  stream_ = std::fopen(path.c_str(), "w");
  ok_ = stream_ != nullptr;
  return ok_;
}

bool ExportTextFile::Print(const char* format, ...) {
  if (stream_ == nullptr || !ok_) return false;
  if (FaultInjected(FaultSite::kWrite)) return ok_ = false;
  va_list args;
  va_start(args, format);
  const int written = std::vfprintf(stream_, format, args);
  va_end(args);
  if (written < 0) ok_ = false;
  return ok_;
}

bool ExportTextFile::Rewind() {
  if (stream_ == nullptr || !ok_) return false;
  ok_ = std::fflush(stream_) == 0 && ::ftruncate(fileno(stream_), 0) == 0 &&
        std::fseek(stream_, 0, SEEK_SET) == 0;
  return ok_;
}

bool ExportTextFile::Close() {
  if (stream_ == nullptr) return ok_;
  const bool closed = std::fclose(stream_) == 0;
  stream_ = nullptr;
  ok_ = ok_ && closed;
  return ok_;
}

bool ExportTextFile::Remove() {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (path_.empty()) return true;
  const bool removed = std::remove(path_.c_str()) == 0 || errno == ENOENT;
  return removed;
}

}  // namespace lumetra

CspaExporter::CspaExporter(pipLibraryContext& library) : library_(library) {}

CspaExporter::~CspaExporter() = default;

pipError& CspaExporter::error() const { return library_.error(); }

void CspaExporter::NoteFailure(const QError& record) {
  NoteFailure(record.message(), record.detail());
}

void CspaExporter::NoteFailure(const std::string& message, const std::string& detail) {
  last_failure_message_ = message;
  last_failure_detail_ = detail;
}

bool CspaExporter::AttributesReadable() {
  const AttributeSearch* attributes = CurrentAttributes();
  if (attributes == nullptr || attributes->failure().code() == -1) return true;
  NoteFailure(attributes->failure());
  return false;
}

void CspaExporter::ReportInvalidData(const char* detail) {
  error().Report(PIP_ERR_INVALID_DATA, detail, QERR_HERE);
}

void CspaExporter::ReportSystemError(int error_number, const std::string& path) {
  const int code = error_number > 0 && error_number < 100 ? error_number : EIO;
  errno = code;  // the record takes the system text of the current errno
  error().Report(code, path.c_str(), QERR_HERE);
}

// ---------------------------------------------------------------------------
// Dispatch (slot 7)

int CspaExporter::WriteObject(const char* name, const pipObjectInfoStruct& object,
                              const std::int32_t* points, const std::int32_t* part_counts,
                              std::int32_t count) {
  if (options_ != 0 && !table_begun_ && BeginTableOnce() != 1) return -1;
  int result = -1;
  const char* failure = kRegionFailed;
  switch (object.type) {
    case PIP_OBJECT_POINT:
      failure = kPointFailed;
      result = WritePoint(name, object, points, part_counts, count);
      break;
    case PIP_OBJECT_LINE:
      failure = kLineFailed;
      result = WriteLine(name, object, points, part_counts, count);
      break;
    case PIP_OBJECT_REGION:
      result = WriteRegion(name, object, points, part_counts, count);
      break;
    default:
      break;
  }
  if (result == 1) {
    wrote_any_ = true;
    return 1;
  }
  const std::string shown =
      name != nullptr ? std::string(name) : lumetra::CutText(object.name, sizeof object.name);
  error().ReportF(PIP_ERR_GENERAL, QERR_HERE, failure, shown.c_str(), last_failure_message_.c_str(),
                  last_failure_detail_.c_str());
  return -1;
}

// ---------------------------------------------------------------------------
// The object file

int CspaExporter::ReadFileInfo(const char* file_name) {
  pipObjectFileInfoStruct info;
  if (pipObjectFileQueryIntern(&library_, file_name, &info) != 1) {
    NoteFailure(error());
    error().ReportF(PIP_ERR_FILE_NOT_FOUND, QERR_HERE, kHeaderUnreadable, file_name,
                    last_failure_message_.c_str());
    return -1;
  }
  file_info_ = info;
  return 1;
}

int CspaExporter::OpenObjectFile(const char* file_name, int mode) {
  CloseObjectFile();
  if (file_name == nullptr) {
    error().Report(PIP_ERR_FILE_NOT_FOUND, kNoObjectFileName, QERR_HERE);
    return -1;
  }
  auto object_file = std::make_unique<pipObjectFileObject>(error(), file_name, mode);
  if (!object_file->ready()) {
    NoteFailure(error());
    error().ReportF(PIP_ERR_FILE_NOT_FOUND, QERR_HERE, kCouldNotOpen, file_name,
                    last_failure_message_.c_str(), last_failure_detail_.c_str());
    return -1;
  }
  if (ReadFileInfo(file_name) != 1) return -1;
  try {
    SetupBuffers(object_file->reader());
  } catch (const std::bad_alloc&) {
    error().ReportF(PIP_ERR_NO_MEMORY, QERR_HERE, kHeaderDataMemory, file_name);
    return -1;
  }
  if ((options_ & PIP_EXPORT_OPT_ATTRIBUTES) != 0 &&
      AttachColumnsSource(*object_file, file_name) != 1) {
    return -1;
  }
  object_file_ = std::move(object_file);
  object_file_name_ = file_name;
  total_count_ = CountField(file_info_.numLineObjects) + CountField(file_info_.numPointObjects) +
                 CountField(file_info_.numRegionObjects);
  exported_count_ = 0;
  percentage_ = 0.0;
  first_object_ = true;
  if (options_ != 0 && !table_begun_) return BeginTableOnce();
  return 1;
}

void CspaExporter::SetupBuffers(const PolygonSearch& reader) {
  // The header's maxima, bounded by what the file can hold: a hostile
  // header cannot make the buffers larger than the file's own records.
  const lumetra::RecordLimits& limits = reader.limits();
  const std::uint32_t max_points =
      std::min(static_cast<std::uint32_t>(file_info_.maxPoints), limits.max_point_count);
  const std::uint32_t max_parts =
      std::min(static_cast<std::uint32_t>(file_info_.maxParts), limits.max_ring_count);
  points_.assign(2 * static_cast<std::size_t>(std::max<std::uint32_t>(max_points, 1)), 0);
  part_counts_.assign(std::max<std::uint32_t>(max_parts, 1), 0);
  part_count_ = 0;
}

int CspaExporter::AttachColumnsSource(pipObjectFileObject& object, const char* file_name) {
  AttachAttributes(object, file_name);
  const QError& failure = object.attributes()->failure();
  if (failure.code() == -1) return 1;
  NoteFailure(failure);
  error().ReportF(PIP_ERR_GENERAL, QERR_HERE, kCouldNotOpen, file_name,
                  last_failure_message_.c_str(), last_failure_detail_.c_str());
  return -1;
}

void CspaExporter::CloseObjectFile() { object_file_.reset(); }

bool CspaExporter::FindNextMatch(char* name, int name_length, int* found) {
  if (first_object_) {
    // The walk is the name search of pipObjectFindFirstName for "*".
    first_object_ = false;
    *found = object_file_->StartSearch(
        [&] {
          return std::make_unique<PolySearchByName>(object_file_->reader(), error(), kAllObjects);
        },
        [&](PolygonSearchEnum& search) { return search.FindFirst(name, name_length); });
  } else {
    *found = object_file_->FindNext(name, name_length);
  }
  return *found == 1;
}

bool CspaExporter::CopyCoordinates(const PolygonObject& object) {
  std::size_t parts = 0;
  const lumetra::CoordsCopy copied = lumetra::CopyObjectCoords(
      object, points_.data(), points_.size() / 2, part_counts_.data(), part_counts_.size(), &parts);
  if (copied == lumetra::CoordsCopy::kTooManyParts) {
    error().Set(PIP_ERR_TABLE_OVERFLOW, lumetra::kTooManyPartsDetail, QERR_HERE);
    return false;
  }
  if (copied == lumetra::CoordsCopy::kTooManyPoints) {
    error().Set(PIP_ERR_TABLE_OVERFLOW, lumetra::kTooManyPointsDetail, QERR_HERE);
    return false;
  }
  part_count_ = static_cast<std::int32_t>(parts);
  return true;
}

void CspaExporter::ReportAccessFailure(const char* name) {
  if (name != nullptr) {
    error().ReportF(PIP_ERR_GENERAL, QERR_HERE, kCouldNotAccessNamed, name,
                    last_failure_message_.c_str(), last_failure_detail_.c_str());
  } else {
    error().ReportF(PIP_ERR_GENERAL, QERR_HERE, kCouldNotAccess, last_failure_message_.c_str(),
                    last_failure_detail_.c_str());
  }
}

bool CspaExporter::FetchNextObject(std::string* name) {
  if (object_file_ == nullptr) {
    NoteFailure("", kNoObjectFile);
    ReportAccessFailure(nullptr);
    return false;
  }
  char found_name[PIP_NAME_SIZE] = "";
  int found = 0;
  if (!FindNextMatch(found_name, sizeof found_name, &found)) {
    // 0: the name search ended before the header's count was reached.
    if (found == 0) {
      NoteFailure("", kNotFoundText);
    } else {
      NoteFailure(error());
    }
    ReportAccessFailure(nullptr);
    return false;
  }
  *name = found_name;
  const PolygonObject* object = object_file_->CurrentObject();
  if (object == nullptr || !CopyCoordinates(*object)) {
    NoteFailure(error());
    ReportAccessFailure(name->c_str());
    return false;
  }
  lumetra::FillObjectInfo(*object, &object_info_);
  return true;
}

int CspaExporter::WriteNext(char* name, int name_length, int* percent, int* count) {
  lumetra::ClearText(name, name_length);
  if (percentage_ >= 100.0) return -1;
  std::string object_name;
  if (!FetchNextObject(&object_name)) return -1;
  writing_from_file_ = true;
  const int written = WriteObject(object_name.c_str(), object_info_, points_.data(),
                                  part_counts_.data(), part_count_);
  writing_from_file_ = false;
  if (written != 1) return -1;
  lumetra::CopyCutChecked(object_name, name, name_length);
  ++exported_count_;
  const double total = total_count_ > 0 ? static_cast<double>(total_count_) : 1.0;
  percentage_ = static_cast<double>(exported_count_) * 100.0 / total;
  constexpr double kIntMax = std::numeric_limits<int>::max();
  if (percent != nullptr) *percent = static_cast<int>(std::min(percentage_, kIntMax));
  if (count != nullptr) {
    *count =
        static_cast<int>(std::min<std::int64_t>(exported_count_, std::numeric_limits<int>::max()));
  }
  return 1;
}

int CspaExporter::Finish(bool commit) {
  CloseObjectFile();
  const int closed = CloseFiles();
  if (closed != 1) error().Report(PIP_ERR_GENERAL, kCloseFailed, QERR_HERE);
  if (!commit) DeleteFiles();
  return closed == 1 ? 1 : -1;
}

// ---------------------------------------------------------------------------
// Options

int CspaExporter::SetOptions(int flags) {
  if ((flags & ~PIP_EXPORT_OPT_ALL) != 0) {
    error().ReportF(PIP_ERR_INVALID_DATA, QERR_HERE, "Unknown export option bits 0x%x.",
                    static_cast<unsigned>(flags & ~PIP_EXPORT_OPT_ALL));
    return -1;
  }
  if (wrote_any_ || table_begun_) {
    error().Report(PIP_ERR_GENERAL,
                   "Export options must be set before the first object is written.", QERR_HERE);
    return -1;
  }
  if (ApplyOptions(flags) != 1) return -1;
  options_ = flags;
  if (object_file_ != nullptr && (flags & PIP_EXPORT_OPT_ATTRIBUTES) != 0 &&
      object_file_->attributes() == nullptr &&
      AttachColumnsSource(*object_file_, object_file_name_.c_str()) != 1) {
    return -1;
  }
  if (options_ != 0 && object_file_ != nullptr) return BeginTableOnce();
  return 1;
}

int CspaExporter::ApplyOptions(int flags) {
  (void)flags;
  error().Report(PIP_ERR_GENERAL, "This export format takes no export options.", QERR_HERE);
  return -1;
}

int CspaExporter::BeginTable(const AttributeSearch* attributes, bool geographic) {
  (void)attributes;
  (void)geographic;
  return 1;
}

int CspaExporter::BeginTableOnce() {
  table_begun_ = true;
  const bool from_file = object_file_ != nullptr;
  const AttributeSearch* attributes = from_file && (options_ & PIP_EXPORT_OPT_ATTRIBUTES) != 0
                                          ? object_file_->attributes()
                                          : nullptr;
  return BeginTable(attributes, from_file && file_info_.coordType == PIP_COORD_GEOGRAPHIC);
}

const AttributeSearch* CspaExporter::CurrentAttributes() const {
  if (!writing_from_file_ || object_file_ == nullptr) return nullptr;
  if ((options_ & PIP_EXPORT_OPT_ATTRIBUTES) == 0) return nullptr;
  return object_file_->attributes();
}
