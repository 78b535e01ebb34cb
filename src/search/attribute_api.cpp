// Exported entry points of the attribute file and of object-file
// validation.  Each follows the common pattern of the handle table: look
// the handle up by kind, work on the object behind it, release it on every
// path, and let no exception out (failure value -1).
#include <lumetra/pip.h>

#include <cstring>
#include <memory>
#include <string>

#include "datalib/fieldid.h"
#include "frame/error.h"
#include "frame/handle_table.h"
#include "frame/library_context.h"
#include "frame/text_copy.h"
#include "search/attribute_search.h"
#include "search/criteria.h"
#include "search/object_file_object.h"
#include "search/rect_search.h"

using lumetra::WithHandle;
using lumetra::WithObjectFile;

namespace {

constexpr char kCriteriaInvalid[] = "The search criteria did not parse correctly. %s";
constexpr char kNoAttributeFile[] =
    "No attribute file was found. Cannot filter without attributes.";
constexpr char kNothingFound[] = "Object file %s: no object found in its bounding rectangle.";
constexpr char kStaleAttributes[] =
    "Object file %s: its attribute file was made for another version of it.";

// The handle's attribute file, or null when it has none.
AttributeSearch* AttributesOf(pipObjectFileObject& object) {
  AttributeSearch* attributes = object.attributes();
  return attributes != nullptr && attributes->has_file() ? attributes : nullptr;
}

// `answer`, unless the attribute file failed in the file layer (it could
// not be opened, or the current record could not be searched or read):
// that failure then becomes the handle's record and the answer is -1.
int UnlessFailed(pipObjectFileObject& object, int answer) {
  const AttributeSearch* attributes = object.attributes();
  if (attributes == nullptr || attributes->failure().code() == -1) return answer;
  pipError& err = object.error();
  static_cast<QError&>(err) = attributes->failure();
  err.Display();
  return -1;
}

// An attribute call on `object`: `work` after the exported-call pattern,
// its answer checked by UnlessFailed.
template <class F>
int WithAttributes(int object_file_handle, F&& work) {
  return WithObjectFile(object_file_handle, [&](pipObjectFileObject& object) {
    return UnlessFailed(object, work(object));
  });
}

// As AttributesOf, after moving to the ranked-search entry under the result
// list's cursor (when there is one) so that the calls describe that entry.
AttributeSearch* AttributesOfCurrent(pipObjectFileObject& object) {
  if (AttributesOf(object) == nullptr) return nullptr;
  object.MoveToRankedEntry();
  return AttributesOf(object);
}

// Describes field `field` (null: none) of the handle's attribute file;
// the record-id field is never described.
int DescribeField(AttributeSearch& attributes, FieldId* field, pipAttributeInfoStruct* info) {
  if (field == nullptr || attributes.IsRecordIdField(*field)) return -1;
  return attributes.FillInfo(*field, info);
}

// Validation proper, on a file whose header was queried into `info`.
int ValidateOpened(pipError& err, const char* file_name, const pipObjectFileInfoStruct& info) {
  auto object = std::make_unique<pipObjectFileObject>(err, file_name, PIP_OPEN_SINGLE_BUFFER);
  if (!object->ready()) return -1;
  AttachAttributes(*object, file_name);
  object->ReplaceSearch(std::make_unique<PolySearchInRectangle>(object->reader(), err, info.minX,
                                                                info.minY, info.maxX, info.maxY));
  const int found =
      object->RunFind([&] { return object->current_search()->FindFirst(nullptr, 0); });
  if (found != 1) {
    if (found == 0) err.SetF(PIP_ERR_GENERAL, QERR_HERE, kNothingFound, file_name);
    return -1;
  }
  if (object->attributes() != nullptr && object->attributes()->rejected()) {
    err.SetF(PIP_ERR_GENERAL, QERR_HERE, kStaleAttributes, file_name);
    return -1;
  }
  return 1;
}

}  // namespace

extern "C" {

LUMETRA_API int pipObjectFileValidate(int libraryHandle, const char* fileName) {
  return WithHandle<pipLibraryContext>(
      libraryHandle, PIP_HANDLE_LIBRARY, -1, [&](pipLibraryContext& library) -> int {
        if (fileName == nullptr) {
          library.error().Set(PIP_ERR_FILE_NOT_FOUND, "", QERR_HERE);
          return -1;
        }
        pipObjectFileInfoStruct info;
        if (pipObjectFileQueryIntern(&library, fileName, &info) != 1) return -1;
        return ValidateOpened(library.error(), fileName, info);
      });
}

LUMETRA_API int pipObjectGetAttributeCount(int objectFileHandle, int* count) {
  if (count == nullptr) return -1;
  *count = 0;
  return WithAttributes(objectFileHandle, [&](pipObjectFileObject& object) {
    AttributeSearch* attributes = AttributesOf(object);
    if (attributes == nullptr) return -1;
    *count = attributes->VisibleFieldCount();
    return 1;
  });
}

LUMETRA_API int pipObjectGetAttributeNameByNumber(int objectFileHandle, int fieldNumber, char* name,
                                                  int nameLength) {
  if (name == nullptr || nameLength <= 0) return -1;
  name[0] = '\0';
  return WithAttributes(objectFileHandle, [&](pipObjectFileObject& object) {
    AttributeSearch* attributes = AttributesOfCurrent(object);
    if (attributes == nullptr) return -1;
    const FieldId* field = attributes->VisibleField(fieldNumber);
    if (field == nullptr) return -1;
    lumetra::CopyCutChecked(field->id(), name, nameLength);
    return 1;
  });
}

LUMETRA_API int pipObjectGetAttributeInfoByName(int objectFileHandle, const char* fieldName,
                                                pipAttributeInfoStruct* info) {
  if (info == nullptr) return -1;
  std::memset(info, 0, sizeof *info);
  return WithAttributes(objectFileHandle, [&](pipObjectFileObject& object) {
    AttributeSearch* attributes = AttributesOfCurrent(object);
    if (attributes == nullptr || fieldName == nullptr) return -1;
    return DescribeField(*attributes, attributes->FieldByName(fieldName), info);
  });
}

LUMETRA_API int pipObjectGetAttributeInfoByNumber(int objectFileHandle, int fieldNumber,
                                                  pipAttributeInfoStruct* info) {
  if (info == nullptr) return -1;
  std::memset(info, 0, sizeof *info);
  return WithAttributes(objectFileHandle, [&](pipObjectFileObject& object) {
    AttributeSearch* attributes = AttributesOfCurrent(object);
    if (attributes == nullptr) return -1;
    return DescribeField(*attributes, attributes->VisibleField(fieldNumber), info);
  });
}

LUMETRA_API int pipObjectValidateFilterCriteria(int objectFileHandle, const char* criteria) {
  return WithAttributes(objectFileHandle, [&](pipObjectFileObject& object) {
    AttributeSearch* attributes = AttributesOf(object);
    if (attributes == nullptr) {
      object.error().Set(PIP_ERR_GENERAL, kNoAttributeFile, QERR_HERE);
      return -1;
    }
    Criteria parsed;
    std::string message;
    if (!ValidateCriteria(criteria, *attributes, &parsed, &message)) {
      object.error().SetF(PIP_ERR_GENERAL, QERR_HERE, kCriteriaInvalid, message.c_str());
      return -1;
    }
    return 1;
  });
}

}  // extern "C"
