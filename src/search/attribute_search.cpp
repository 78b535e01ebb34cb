#include "search/attribute_search.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "datalib/dllist.h"
#include "datalib/fieldid.h"
#include "search/criteria.h"
#include "search/object_file_object.h"
#include "search/polygon_object.h"

namespace {

constexpr int kFieldWidth = 2;
constexpr int kFieldDecimals = 3;
constexpr int kFieldType = 10;
constexpr int kFileStamp = 3;

bool SameNameNoCase(const std::string& a, const char* b) {
  const std::size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

// The filter of one filtered search: positions on each candidate and tests
// the criteria there.
class AttributeFilter : public ObjectFilter {
 public:
  AttributeFilter(AttributeSearch& attributes, Criteria criteria)
      : attributes_(attributes), criteria_(std::move(criteria)) {}
  bool Accept(const PolygonObject& object) override {
    return Matches(criteria_, attributes_, object);
  }
  bool Failed(QError& err) const override {
    if (attributes_.failure().code() == -1) return false;
    err = attributes_.failure();
    return true;
  }

 private:
  AttributeSearch& attributes_;
  Criteria criteria_;
};

// An 'N' field's stored number as text: divided by 10^decimals and written
// with that many decimals when decimals >= 1.
void FormatNumber(const char* stored, int decimals, char* out, std::size_t out_size) {
  const long long number = std::strtoll(stored, nullptr, 10);
  if (decimals >= 1) {
    const int shown = std::min(decimals, AttributeSearch::kMaxFormatDecimals);
    const double scaled = static_cast<double>(number) / std::pow(10.0, decimals);
    std::snprintf(out, out_size, "%0.*f", shown, scaled);
  } else {
    std::snprintf(out, out_size, "%lld", number);
  }
}

// A failure of the system (an errno code other than the short read of a
// file too small for the format) or of memory, as opposed to a file that is
// not a usable data library file.
bool IsStorageFailure(const QError& cause) {
  constexpr int kShortRead = 28;
  return (cause.code() >= 0 && cause.code() < 100 && cause.code() != kShortRead) ||
         cause.code() == PIP_ERR_NO_MEMORY;
}

}  // namespace

AttributeSearch::AttributeSearch() : context_(std::make_unique<DlContext>(std::string())) {}

AttributeSearch::~AttributeSearch() { Detach(); }

std::string AttributeSearch::AttributeFileName(const char* object_file_name) {
  if (object_file_name == nullptr) return std::string();
  std::string name(object_file_name);
  if (name.empty() || name.size() > kMaxNameLength) return std::string();
  if (name.back() == 'b' || name.back() == 'B') name.back() = 'a';
  return name;
}

std::vector<std::string> AttributeSearch::CandidateNames(const char* object_file_name) const {
  std::vector<std::string> names;
  const std::string name = AttributeFileName(object_file_name);
  if (name.empty()) return names;
  names.push_back(name);
  if (object_file_name[std::strlen(object_file_name) - 1] == 'B') {
    names.push_back(name.substr(0, name.size() - 1) + "A");
  }
  return names;
}

bool AttributeSearch::StampRejects(const char* attribute_stamp, const char* object_stamp) {
  if (attribute_stamp == nullptr || attribute_stamp[0] == '\0') return false;
  return std::strcmp(attribute_stamp, object_stamp != nullptr ? object_stamp : "") != 0;
}

void AttributeSearch::Attach(const char* object_file_name, const char* stamp) {
  Detach();
  rejected_ = false;
  positioned_ = false;
  for (const std::string& name : CandidateNames(object_file_name)) {
    struct stat st;
    if (::stat(context_->ResolveName(name.c_str()).c_str(), &st) != 0) continue;
    file_name_ = name;
    file_ = context_->Open(name.c_str());
    if (file_ == nullptr && IsStorageFailure(context_->open_cause())) {
      KeepFailure("cannot be opened", context_->open_cause());
    }
    break;
  }
  if (file_ == nullptr) return;
  char file_stamp[kStampLength + 1] = {};
  file_->GetAttribute(kFileStamp, file_stamp, kStampLength);
  if (StampRejects(file_stamp, stamp)) {
    Detach();
    rejected_ = true;
    return;
  }
  record_id_name_ = file_->FieldById(kQRecordIdName) != nullptr ? kQRecordIdName : kRecordIdName;
}

void AttributeSearch::KeepFailure(const char* what, const QError& cause) const {
  failure_.SetF(cause.code() != -1 ? cause.code() : PIP_ERR_GENERAL, QERR_HERE,
                "Attribute file %s %s: %s", file_name_.c_str(), what, cause.detail());
}

void AttributeSearch::Detach() {
  failure_.Clear();
  if (file_ != nullptr) context_->Close(file_);
  file_ = nullptr;
  positioned_ = false;
  pending_ = false;
}

void AttributeSearch::Position(std::int32_t ordinal) {
  pending_ordinal_ = ordinal;
  pending_ = true;
  Settle();
}

void AttributeSearch::PositionOn(const PolygonObject* object) {
  pending_ordinal_ = object != nullptr ? static_cast<std::int32_t>(object->AttributeKey()) : 0;
  pending_ = file_ != nullptr;
  positioned_ = false;
  if (file_ != nullptr) failure_.Clear();
}

void AttributeSearch::Settle() const {
  if (!pending_) return;
  pending_ = false;
  positioned_ = false;
  if (file_ == nullptr) return;
  failure_.Clear();
  if (pending_ordinal_ < 1) return;
  // The record is absent when the search records nothing (or finds the
  // file corrupt, which no position can mend); a storage failure is kept.
  context_->error().Clear();
  positioned_ = file_->SearchInt(pending_ordinal_) == 1;
  if (!positioned_ && IsStorageFailure(context_->error())) {
    KeepFailure("cannot be searched", context_->error());
  }
}

bool AttributeSearch::IsRecordIdField(const FieldId& field) const {
  return SameNameNoCase(field.id(), record_id_name_.c_str());
}

int AttributeSearch::VisibleFieldCount() const {
  if (file_ == nullptr) return 0;
  int count = 0;
  for (int i = 0; i < file_->field_count(); ++i) {
    if (!IsRecordIdField(*file_->Field(i))) ++count;
  }
  return count;
}

FieldId* AttributeSearch::VisibleField(int number) const {
  Settle();
  if (file_ == nullptr || number < 0) return nullptr;
  for (int i = 0; i < file_->field_count(); ++i) {
    FieldId* field = file_->Field(i);
    if (IsRecordIdField(*field)) continue;
    if (number-- == 0) return field;
  }
  return nullptr;
}

FieldId* AttributeSearch::FieldByName(const char* name) const {
  Settle();
  if (file_ == nullptr || name == nullptr) return nullptr;
  return file_->FieldById(name);
}

char AttributeSearch::ReportedType(const FieldId& field) const {
  const int type = field.GetAttribute(kFieldType, nullptr, 0);
  if (type == 'C' && field.GetAttribute(kFieldDecimals, nullptr, 0) >= 1) return 'N';
  return static_cast<char>(type);
}

int AttributeSearch::FillInfo(FieldId& field, pipAttributeInfoStruct* info) const {
  std::memset(info, 0, sizeof *info);
  std::memcpy(info->name, field.id().data(), std::min(field.id().size(), sizeof info->name - 1));
  info->width = field.GetAttribute(kFieldWidth, nullptr, 0);
  info->decimals = field.GetAttribute(kFieldDecimals, nullptr, 0);
  info->type = ReportedType(field);
  if (!positioned()) return 0;
  const int stored_type = field.GetAttribute(kFieldType, nullptr, 0);
  if (stored_type != 'C' && stored_type != 'N') return 0;
  char text[sizeof info->value];
  context_->error().Clear();
  if (field.GetString(nullptr, text, static_cast<int>(sizeof text)) != 1) {
    if (IsStorageFailure(context_->error())) KeepFailure("cannot be read", context_->error());
    return 0;
  }
  if (stored_type == 'C') {
    std::memcpy(info->value, text, sizeof text);
  } else if (text[0] != '\0') {
    FormatNumber(text, info->decimals, info->value, sizeof info->value);
  }
  return 1;
}

FilterFactory AttributeSearch::MakeFilterFactory() {
  return [this](const char* text, std::unique_ptr<ObjectFilter>* filter,
                std::string* message) -> FilterStatus {
    if (!has_file()) return FilterStatus::kNoAttributeFile;
    Criteria criteria;
    if (!ValidateCriteria(text, *this, &criteria, message)) return FilterStatus::kInvalidCriteria;
    *filter = std::make_unique<AttributeFilter>(*this, std::move(criteria));
    return FilterStatus::kReady;
  };
}

void AttachAttributes(pipObjectFileObject& object, const char* object_file_name) {
  auto attributes = std::make_unique<AttributeSearch>();
  const PolygonSearch& reader = object.reader();
  const std::string stamp = reader.has_extension() ? reader.extension().creation_time : "";
  attributes->Attach(object_file_name, stamp.c_str());
  AttributeSearch* follower = attributes.get();
  object.set_object_positioned_hook(
      [follower](const PolygonObject* current) { follower->PositionOn(current); });
  object.set_filter_factory(follower->MakeFilterFactory());
  object.set_attributes(std::move(attributes));
}
