// The exported Dl* functions: null checks, then the context, file, field or
// builder behind the opaque pointer.  No exception leaves these functions:
// an allocation failure is recorded (code 104) and the failure value
// returned.
#include <lumetra/datalib.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "datalib/dl_file_builder.h"
#include "datalib/dllist.h"
#include "frame/error.h"
#include "frame/text_copy.h"

namespace {

constexpr int kNoMemoryCode = 104;
constexpr char kLibraryName[] = "Varnisk";
constexpr char kLibraryVersion[] = "41.04";

// Runs `fn`; an exception is recorded in `err` (the process-wide record
// when null) and turns into `failure`.
template <typename R, typename Fn>
R Guard(QError* err, R failure, Fn&& fn) {
  try {
    return fn();
  } catch (const std::bad_alloc&) {
    QError record;
    record.Set(kNoMemoryCode, "Out of memory", QERR_HERE);
    if (err != nullptr)
      *err = record;
    else
      DlProcessRecordCopy(record);
  } catch (const std::exception& e) {
    QError record;
    record.Set(101, e.what(), QERR_HERE);
    if (err != nullptr)
      *err = record;
    else
      DlProcessRecordCopy(record);
  } catch (...) {
    QError record;
    record.Set(101, "Unexpected failure", QERR_HERE);
    if (err != nullptr)
      *err = record;
    else
      DlProcessRecordCopy(record);
  }
  return failure;
}

template <typename R>
R NullValue(R failure) {
  DlRecordNullValue();
  return failure;
}

// A builder made through the C interface, with the record it reports
// into; failures are copied to the process-wide record (a builder has no
// context).  The record is a base so that it is built before the builder.
struct BuilderRecord {
  QError err;
};

class CApiBuilder : private BuilderRecord, public DlFileBuilder {
 public:
  explicit CApiBuilder(DlBuilderOptions options)
      : DlFileBuilder(BuilderRecord::err, std::move(options)) {}
  // Passes the outcome through, copying a failure to the process-wide record.
  bool Report(bool ok) const {
    if (!ok) DlProcessRecordCopy(BuilderRecord::err);
    return ok;
  }
};

CApiBuilder* FromBuilder(DlBuilder* builder) {
  return static_cast<CApiBuilder*>(FromHandle(builder));
}

std::string OrEmpty(const char* text) {
  return text == nullptr ? std::string() : std::string(text);
}

}  // namespace

extern "C" {

DlContext* DlInit(const char* dataDirectory) {
  if (dataDirectory == nullptr) return NullValue<DlContext*>(nullptr);
  return Guard<DlContext*>(nullptr, nullptr, [&]() -> DlContext* {
    const std::string directory = dataDirectory;
    if (directory.size() > DlContext::kMaxPath) {
      QError record;
      record.Set(100, "The data directory holds more than 255 characters", QERR_HERE);
      DlProcessRecordCopy(record);
      return nullptr;
    }
    return std::make_unique<DlContext>(directory).release();
  });
}

int DlTerm(DlContext* context) {
  if (context == nullptr) return NullValue(0);
  std::unique_ptr<DlContext> owned(context);
  return 1;
}

DlDataFile* DlFileOpen(DlContext* context, const char* fileName) {
  if (context == nullptr || fileName == nullptr) return NullValue<DlDataFile*>(nullptr);
  return Guard<DlDataFile*>(&context->error(), nullptr, [&]() { return context->Open(fileName); });
}

int DlFileClose(DlDataFile* file) {
  if (file == nullptr) return NullValue(0);
  file->context()->Close(file);
  return 1;
}

int DlFileSearch(DlDataFile* file, const char* key) {
  if (file == nullptr || key == nullptr) return NullValue(0);
  return Guard(&file->context()->error(), 0, [&]() { return file->Search(key); });
}

int DlFileSearchInt(DlDataFile* file, int key) {
  if (file == nullptr) return NullValue(0);
  return Guard(&file->context()->error(), 0, [&]() { return file->SearchInt(key); });
}

int DlFileSearchNext(DlDataFile* file, const char* key) {
  if (file == nullptr || key == nullptr) return NullValue(0);
  return Guard(&file->context()->error(), 0, [&]() { return file->SearchNext(key); });
}

int DlFileSearchNextInt(DlDataFile* file, int key) {
  if (file == nullptr) return NullValue(0);
  return Guard(&file->context()->error(), 0, [&]() { return file->SearchNextInt(key); });
}

int DlFileNumFields(DlDataFile* file) {
  if (file == nullptr) return NullValue(-1);
  return file->field_count();
}

DlField* DlFieldGetN(DlDataFile* file, int n) {
  if (file == nullptr) return NullValue<DlField*>(nullptr);
  FieldId* field = file->Field(n);
  return field == nullptr ? nullptr : ToHandle(field);
}

DlField* DlFieldGet(DlDataFile* file, const char* identifier) {
  if (file == nullptr || identifier == nullptr) return NullValue<DlField*>(nullptr);
  FieldId* field = file->FieldById(identifier);
  return field == nullptr ? nullptr : ToHandle(field);
}

int DlFieldGetString(DlField* field, const char* format, char* buffer, int size) {
  if (field == nullptr || buffer == nullptr) return NullValue(0);
  FieldId* f = FromHandle(field);
  return Guard(f->error_record(), 0, [&]() { return f->GetString(format, buffer, size); });
}

int DlFieldGetNum(DlField* field) {
  if (field == nullptr) return NullValue(0);
  FieldId* f = FromHandle(field);
  return Guard(f->error_record(), 0, [&]() { return f->GetNum(); });
}

int DlFieldGetAttribute(DlField* field, int code, char* buffer, int size) {
  if (field == nullptr) return NullValue(-1);
  return FromHandle(field)->GetAttribute(code, buffer, size);
}

int DlFieldGetValueAttribute(DlField* field, int index, int which, char* buffer, int size) {
  if (field == nullptr || buffer == nullptr) return NullValue(-1);
  return FromHandle(field)->GetValueAttribute(index, which, buffer, size);
}

int DlFileGetAttribute(DlDataFile* file, int code, char* buffer, int size) {
  if (file == nullptr) return NullValue(-1);
  return file->GetAttribute(code, buffer, size);
}

int DlErrorGet(DlContext* context, char* message, char* detail) {
  if (context == nullptr) return DlProcessRecordGet(message, detail);
  const QError& record = context->error();
  lumetra::CopyCutChecked(record.message(), message, DL_ERROR_TEXT_SIZE);
  lumetra::CopyCutChecked(record.detail(), detail, DL_ERROR_TEXT_SIZE);
  return record.code();
}

int DlGetVersion(char* buffer) {
  if (buffer == nullptr) return NullValue(0);
  std::snprintf(buffer, sizeof DL_VERSION_TEXT, "%s v%s", kLibraryName, kLibraryVersion);
  return 1;
}

DlBuilder* DlBuilderCreate(const char* fileName, char keyType, const char* keyFieldId,
                           const char* stamp) {
  if (fileName == nullptr || keyFieldId == nullptr) return NullValue<DlBuilder*>(nullptr);
  return Guard<DlBuilder*>(nullptr, nullptr, [&]() -> DlBuilder* {
    DlBuilderOptions options;
    options.key_type = keyType;
    options.key_field = keyFieldId;
    options.stamp = OrEmpty(stamp);
    auto builder = std::make_unique<CApiBuilder>(std::move(options));
    if (!builder->Report(builder->Create(fileName))) return nullptr;
    return ToHandle(builder.release());
  });
}

int DlBuilderAddField(DlBuilder* builder, const char* fieldId, const char* section, char type,
                      int width, int decimals, const char* shortDesc, const char* longDesc) {
  if (builder == nullptr || fieldId == nullptr) return NullValue(0);
  return Guard(nullptr, 0, [&]() {
    DlFieldSpec spec;
    spec.id = fieldId;
    spec.section = OrEmpty(section);
    spec.type = type;
    spec.width = width;
    spec.decimals = decimals;
    spec.short_desc = OrEmpty(shortDesc);
    spec.long_desc = OrEmpty(longDesc);
    CApiBuilder* b = FromBuilder(builder);
    return b->Report(b->AddField(spec)) ? 1 : 0;
  });
}

int DlBuilderAddValue(DlBuilder* builder, const char* fieldId, const char* value,
                      const char* shortDesc, const char* longDesc) {
  if (builder == nullptr || fieldId == nullptr || value == nullptr) return NullValue(0);
  return Guard(nullptr, 0, [&]() {
    CApiBuilder* b = FromBuilder(builder);
    return b->Report(b->AddValue(fieldId, value, shortDesc, longDesc)) ? 1 : 0;
  });
}

int DlBuilderAddRecord(DlBuilder* builder, const char* const* values) {
  if (builder == nullptr || values == nullptr) return NullValue(0);
  return Guard(nullptr, 0, [&]() {
    CApiBuilder* b = FromBuilder(builder);
    return b->Report(b->AddRecord(values)) ? 1 : 0;
  });
}

int DlBuilderFinish(DlBuilder* builder) {
  if (builder == nullptr) return NullValue(0);
  std::unique_ptr<CApiBuilder> owned(FromBuilder(builder));
  return Guard(nullptr, 0, [&]() { return owned->Report(owned->Finish()) ? 1 : 0; });
}

void DlBuilderAbort(DlBuilder* builder) {
  if (builder == nullptr) {
    DlRecordNullValue();
    return;
  }
  std::unique_ptr<CApiBuilder> owned(FromBuilder(builder));
  owned->Abort();
}

}  // extern "C"
