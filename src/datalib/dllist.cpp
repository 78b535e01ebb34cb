#include "datalib/dllist.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "frame/ascii_case.h"
#include "frame/sync.h"
#include "storage/paged_file.h"
#include "storage/qfile.h"

namespace fmt = lumetra::dlformat;
using lumetra::EqualNoCase;

namespace {

constexpr int kDlErrorCode = 100;
constexpr int kCorruptCode = 111;

struct ProcessRecord {
  CSynchronization lock;
  QError record;
};

ProcessRecord& Process() {
  static ProcessRecord process;
  return process;
}

void CopyText(char* dst, const char* src) {
  std::strncpy(dst, src, QError::kDetailSize - 1);
  dst[QError::kDetailSize - 1] = '\0';
}

}  // namespace

// ---- The process-wide record ---------------------------------------------------------

void DlRecordNullValue() {
  SyncLock lock(Process().lock);
  Process().record.Set(kDlErrorCode, "Null value passed.", QERR_HERE);
}

void DlProcessRecordCopy(const QError& from) {
  SyncLock lock(Process().lock);
  Process().record = from;
}

int DlProcessRecordGet(char* message, char* detail) {
  SyncLock lock(Process().lock);
  const QError& record = Process().record;
  if (message != nullptr) CopyText(message, record.message());
  if (detail != nullptr) CopyText(detail, record.detail());
  return record.code();
}

void DlProcessRecordClearForTest() {
  SyncLock lock(Process().lock);
  Process().record.Clear();
}

// ---- DlContext -----------------------------------------------------------------------

DlContext::DlContext(std::string data_directory) : data_directory_(std::move(data_directory)) {}

// Files go first: they report into error_.
DlContext::~DlContext() { files_.clear(); }

std::string DlContext::ResolveName(const char* file_name) const {
  std::string path = file_name;
  if (!data_directory_.empty() && !path.empty() && path[0] != '/') {
    path = data_directory_ + (data_directory_.back() == '/' ? "" : "/") + path;
  }
  const std::size_t slash = path.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= base) path += ".dld";
  return path;
}

DlDataFile* DlContext::Open(const char* file_name) {
  const std::string path = ResolveName(file_name);
  struct stat st;
  open_cause_.Clear();
  if (path.size() <= kMaxPath && ::stat(path.c_str(), &st) != 0) {
    error_.SetF(kDlErrorCode, QERR_HERE, "File %s Not Found", path.c_str());
    return nullptr;
  }
  auto file = std::make_unique<DlDataFile>(this);
  // The record the open itself makes (a successful one keeps the previous).
  const QError before = error_;
  error_.Clear();
  if (path.size() > kMaxPath || !file->Open(path)) {
    open_cause_ = error_;
    error_.Set(kDlErrorCode, "Error opening DLD file", QERR_HERE);
    return nullptr;
  }
  error_ = before;
  files_.push_back(std::move(file));
  return files_.back().get();
}

bool DlContext::Close(DlDataFile* file) {
  auto it = std::find_if(files_.begin(), files_.end(),
                         [file](const std::unique_ptr<DlDataFile>& f) { return f.get() == file; });
  if (it == files_.end()) return false;
  files_.erase(it);
  return true;
}

// ---- DlDataFile: opening -------------------------------------------------------------

DlDataFile::DlDataFile(DlContext* context) : context_(context) {}

// The fields point at the file: they go first.
DlDataFile::~DlDataFile() {
  fields_.clear();
  file_.reset();
}

bool DlDataFile::Corrupt(const char* what) {
  context_->error().SetF(kCorruptCode, QERR_HERE, "%s: %s", file_->paged_file()->file().name(),
                         what);
  return false;
}

bool DlDataFile::Open(const std::string& path) {
  file_ = std::make_unique<DLFile>(path.c_str(), &context_->error());
  if (!file_->ready() || !file_->Open()) return false;
  definition_ = file_->definition();
  key_type_ = definition_.key_type;
  if (!ReadDefinitions() || !AttachFields()) {
    fields_.clear();
    return false;
  }
  opened_ = true;
  return true;
}

// The definition area: (count 1 + count 2) field records, then count 3
// value records, each field's value records in field order.  Counts are
// capped and the area must lie inside the file before anything is
// allocated.
bool DlDataFile::ReadDefinitions() {
  const std::uint64_t fields = std::uint64_t{definition_.text_fields} + definition_.other_fields;
  const std::uint64_t values = definition_.value_records;
  if (fields > fmt::kMaxFields || values > fmt::kMaxValueRecords) {
    return Corrupt("the definition counts exceed the limits");
  }
  const std::uint64_t field_bytes = fields * fmt::DlFieldRecord::kEncodedSize;
  const std::uint64_t value_bytes = values * fmt::DlValueRecord::kEncodedSize;
  const std::int64_t file_size = file_->paged_file()->file().Size();
  const std::uint64_t area = definition_.area_offset;
  if (file_size < 0 || area > static_cast<std::uint64_t>(file_size) ||
      field_bytes + value_bytes > static_cast<std::uint64_t>(file_size) - area) {
    return Corrupt("the definition area lies beyond the end of the file");
  }
  return ReadFieldRecords(static_cast<std::int64_t>(area), static_cast<std::uint32_t>(fields)) &&
         ReadValueRecords(static_cast<std::int64_t>(area + field_bytes),
                          static_cast<std::uint32_t>(values));
}

bool DlDataFile::ReadFieldRecords(std::int64_t offset, std::uint32_t count) {
  std::vector<std::uint8_t> bytes(std::size_t{count} * fmt::DlFieldRecord::kEncodedSize);
  if (!file_->paged_file()->file().ReadAt("CIniFile::CIniFile/1", offset, bytes.data(),
                                          static_cast<std::uint32_t>(bytes.size()))) {
    return false;
  }
  fields_.assign(count, FieldId());
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!fields_[i].DecodeFrom(bytes.data() + std::size_t{i} * fmt::DlFieldRecord::kEncodedSize,
                               fmt::DlFieldRecord::kEncodedSize)) {
      return Corrupt("a field record cannot be decoded");
    }
  }
  return true;
}

bool DlDataFile::ReadValueRecords(std::int64_t offset, std::uint32_t count) {
  std::uint64_t claimed = 0;
  for (const FieldId& field : fields_) {
    if (field.record().value_count < 0) return Corrupt("a field has a negative value count");
    claimed += static_cast<std::uint64_t>(field.record().value_count);
  }
  if (claimed != count) return Corrupt("the fields' value counts do not add up to count 3");
  std::vector<std::uint8_t> bytes(std::size_t{count} * fmt::DlValueRecord::kEncodedSize);
  if (!file_->paged_file()->file().ReadAt("CIniFile::CIniFile/2", offset, bytes.data(),
                                          static_cast<std::uint32_t>(bytes.size()))) {
    return false;
  }
  std::size_t at = 0;
  for (FieldId& field : fields_) {
    for (std::int32_t v = 0; v < field.record().value_count; ++v) {
      if (!field.AddValueRecord(bytes.data() + at, fmt::DlValueRecord::kEncodedSize) ||
          !EqualNoCase(field.values().back().field_id, field.id().c_str())) {
        return Corrupt("a value record does not belong to its field");
      }
      at += fmt::DlValueRecord::kEncodedSize;
    }
  }
  return true;
}

// Text fields take the text blocks in field order, numeric fields the
// numeric blocks; fields of another type have no block.
bool DlDataFile::AttachFields() {
  std::uint32_t text = 0;
  std::uint32_t numeric = 0;
  std::uint32_t other = 0;
  for (FieldId& field : fields_) {
    if (field.is_text()) {
      field.Attach(file_.get(), &context_->error(), text++);
    } else if (field.is_numeric()) {
      field.Attach(file_.get(), &context_->error(), numeric++);
    } else {
      field.Attach(file_.get(), &context_->error(), FieldId::kNoBlock);
      ++other;
    }
  }
  if (text != definition_.text_fields || numeric + other != definition_.other_fields) {
    return Corrupt("the field types do not match the definition counts");
  }
  file_->SetBlocks(text, numeric);
  return true;
}

// ---- DlDataFile: searching -----------------------------------------------------------

int DlDataFile::Found(std::uint32_t id) {
  std::uint32_t locator = 0;
  if (!file_->Locator(id, &locator)) return NotFound();
  for (FieldId& field : fields_) field.SetPosition(locator);
  record_id_ = id;
  positioned_ = true;
  return 1;
}

int DlDataFile::NotFound() {
  for (FieldId& field : fields_) field.Invalidate();
  positioned_ = false;
  return 0;
}

int DlDataFile::SearchKey(const std::uint8_t* key, bool next) {
  std::uint32_t id = record_id_;
  if (!next) return file_->FindFirst(key, &id) ? Found(id) : NotFound();
  if (!positioned_) return NotFound();
  return file_->FindNext(key, &id, QIndexedFile::kModeSameKey) ? Found(id) : NotFound();
}

int DlDataFile::Search(const char* key) {
  if (key == nullptr) {
    DlRecordNullValue();
    return NotFound();
  }
  std::uint8_t search[fmt::kKeyLength];
  if (!DLFile::MakeSearchKey(key_type_, file_->cleaned_keys(), key, search)) return NotFound();
  return SearchKey(search, false);
}

int DlDataFile::SearchNext(const char* key) {
  if (key == nullptr) {
    DlRecordNullValue();
    return NotFound();
  }
  std::uint8_t search[fmt::kKeyLength];
  if (!DLFile::MakeSearchKey(key_type_, file_->cleaned_keys(), key, search)) return NotFound();
  return SearchKey(search, true);
}

int DlDataFile::SearchInt(int key) {
  if (key == 0) {
    DlRecordNullValue();
    return NotFound();
  }
  return Search(std::to_string(key).c_str());
}

int DlDataFile::SearchNextInt(int key) {
  if (key == 0) {
    DlRecordNullValue();
    return NotFound();
  }
  return SearchNext(std::to_string(key).c_str());
}

// ---- DlDataFile: fields and attributes -----------------------------------------------

FieldId* DlDataFile::Field(int n) {
  if (n < 0 || n >= field_count()) return nullptr;
  return &fields_[static_cast<std::size_t>(n)];
}

FieldId* DlDataFile::FieldById(const char* identifier) {
  for (FieldId& field : fields_) {
    if (EqualNoCase(field.id(), identifier)) return &field;
  }
  return nullptr;
}

int DlDataFile::KeyFieldIndex() const {
  const char* key = definition_.key_field.c_str();
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (EqualNoCase(fields_[i].record().section, key)) return static_cast<int>(i);
  }
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (EqualNoCase(fields_[i].id(), key)) return static_cast<int>(i);
  }
  return -1;
}

int DlDataFile::GetAttribute(int code, char* buffer, int size) const {
  if (size < 0) return -1;
  switch (code) {
    case 0:
      return definition_.attr0;
    case 1:
      return field_count();
    case 2:
      return definition_.attr2;
    case 5:
      return definition_.attr5;
    case 3:
    case 4:
      if (buffer == nullptr) return -1;
      FieldId::CopyAttribute(code == 3 ? definition_.text3 : definition_.text4, buffer, size);
      return 1;
    default:
      return -1;
  }
}
