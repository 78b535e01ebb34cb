// Exported entry points of object-file access, point-in-polygon and the
// containing search.  Each is the common pattern of the handle table: look
// the handle up by kind, work on its pipObjectFileObject, release it on
// every path, and let no exception out (failure value -1).
#include <lumetra/pip.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "frame/error.h"
#include "frame/handle_table.h"
#include "frame/library_context.h"
#include "frame/text_copy.h"
#include "objfile/object_header.h"
#include "search/attribute_search.h"
#include "search/object_file_object.h"
#include "search/point_in_object.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"
#include "storage/qfile.h"

using lumetra::GuardedCall;
using lumetra::WithHandle;
using lumetra::WithObjectFile;

namespace {

constexpr char kGetInfoWithoutFind[] = "Attempt to get object without find.";

std::uint64_t JoinHalves(int low, int high) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) |
         static_cast<std::uint32_t>(low);
}

// Copies a fixed text field of the extension block: as many bytes as the
// field holds (NUL-terminated when shorter, as the zeroed structure is).
void CopyField(const std::string& text, char* out, std::size_t out_size) {
  std::memcpy(out, text.data(), std::min(text.size(), out_size));
}

// Reads and checks an object file's header without opening it as a reader.
int QueryHeader(pipError& err, const char* file_name, pipObjectFileInfoStruct* info) {
  Qfile file(err);
  if (!file.Open(file_name, Qfile::kModeRead)) return -1;
  std::uint8_t bytes[lumetra::ObjectHeader::kEncodedSize];
  if (!file.ReadAt("pipObjectFileQuery", 0, bytes, sizeof bytes)) {
    // The read's own system error, with the file's name as the detail.
    const int code = err.code() >= 0 && err.code() < 100 ? err.code() : PIP_ERR_SHORT_READ;
    err.Set(code, file.name(), QERR_HERE);
    return -1;
  }
  lumetra::ObjectHeader header;
  if (!header.DecodeFrom(bytes, sizeof bytes, file.name(), &err)) return -1;
  lumetra::FillObjectFileInfo(header, info);
  if (header.IsTaxFile()) info->flags |= PIP_FILE_TAX;
  file.Close();
  return 1;
}

}  // namespace

extern "C" {

LUMETRA_API int pipObjectFileQueryIntern(pipLibraryContext* library, const char* fileName,
                                         pipObjectFileInfoStruct* info) {
  if (library == nullptr || info == nullptr) return -1;
  return GuardedCall(-1, [&] { return QueryHeader(library->error(), fileName, info); });
}

LUMETRA_API int pipObjectFileQuery(int libraryHandle, const char* fileName,
                                   pipObjectFileInfoStruct* info) {
  if (info == nullptr) return -1;
  return WithHandle<pipLibraryContext>(libraryHandle, PIP_HANDLE_LIBRARY, -1,
                                       [&](pipLibraryContext& library) {
                                         return pipObjectFileQueryIntern(&library, fileName, info);
                                       });
}

LUMETRA_API int pipObjectFileOpen(int libraryHandle, const char* fileName, int mode,
                                  int* objectFileHandle) {
  if (objectFileHandle == nullptr) return -1;
  return lumetra::InitService<pipObjectFileObject>(
      libraryHandle, PIP_HANDLE_OBJECT_FILE, objectFileHandle,
      [&](pipLibraryContext& library) -> std::unique_ptr<pipObjectFileObject> {
        pipObjectFileInfoStruct info;
        if (pipObjectFileQueryIntern(&library, fileName, &info) != 1) return nullptr;
        auto object = std::make_unique<pipObjectFileObject>(library.error(), fileName, mode);
        if (!object->ready()) return nullptr;
        AttachAttributes(*object, fileName);
        return object;
      });
}

LUMETRA_API int pipObjectFileClose(int objectFileHandle) {
  return lumetra::TerminateHandle<pipObjectFileObject>(objectFileHandle, PIP_HANDLE_OBJECT_FILE, 1);
}

LUMETRA_API int pipObjectFileCloseEx(const int* objectFileHandle) {
  if (objectFileHandle == nullptr) return -1;
  return pipObjectFileClose(*objectFileHandle);
}

LUMETRA_API int pipObjectHandleFileQuery(int objectFileHandle, pipObjectFileInfoStruct* info) {
  if (info == nullptr) return -1;
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    if (!object.ready()) return -1;
    lumetra::FillObjectFileInfo(object.reader().header(), info);
    return 1;
  });
}

LUMETRA_API int pipObjectHandleFileQueryEx(int objectFileHandle,
                                           pipObjectFileExtraInfoStruct* info) {
  if (info == nullptr) return -1;
  std::memset(info, 0, sizeof *info);
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    if (!object.ready() || !object.reader().has_extension()) return -1;
    const lumetra::ExtensionBlock& block = object.reader().extension();
    CopyField(block.first_text, info->text1, sizeof info->text1);
    CopyField(block.second_text, info->text2, sizeof info->text2);
    CopyField(block.creation_time, info->creationTime, sizeof info->creationTime);
    info->blockVersion = block.version;
    info->code = block.code;
    return 1;
  });
}

LUMETRA_API int pipObjectGetInfo(int objectFileHandle, pipObjectInfoStruct* info) {
  if (info == nullptr) return -1;
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    const PolygonObject* current = object.CurrentObject();
    if (current == nullptr) {
      object.error().Set(PIP_ERR_GENERAL, kGetInfoWithoutFind, QERR_HERE);
      return -1;
    }
    lumetra::FillObjectInfo(*current, info);
    return 1;
  });
}

LUMETRA_API int pipObjectGetHandle64(int objectFileHandle, int* low, int* high) {
  if (low == nullptr || high == nullptr) return -1;
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    if (object.current_search() == nullptr) return -1;
    std::uint64_t position = 0;
    const int result = object.GetHandle64(&position);
    *low = static_cast<int>(static_cast<std::uint32_t>(position));
    *high = static_cast<int>(static_cast<std::uint32_t>(position >> 32));
    return result;
  });
}

LUMETRA_API int pipObjectGetHandle(int objectFileHandle) {
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    std::uint64_t position = 0;
    if (object.GetHandle64(&position) != 1) return -1;
    return static_cast<int>(static_cast<std::uint32_t>(position));
  });
}

LUMETRA_API int pipObjectFileGoto64(int objectFileHandle, int low, int high) {
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    return object.Goto64(JoinHalves(low, high));
  });
}

LUMETRA_API int pipObjectFileGoto(int objectFileHandle, int low) {
  return pipObjectFileGoto64(objectFileHandle, low, 0);
}

LUMETRA_API int pipObjectGetSearchDistance(int objectFileHandle) {
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    return static_cast<int>(object.reader().search_distance());
  });
}

LUMETRA_API int pipObjectSetSearchDistance(int objectFileHandle, int feet) {
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    return object.reader().SetSearchDistance(feet) ? 1 : -1;
  });
}

LUMETRA_API int pipObjectIsTaxFile(int objectFileHandle) {
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    return object.reader().header().IsTaxFile() ? 1 : -1;
  });
}

LUMETRA_API int pipPointInPoly(int objectFileHandle, int x, int y) {
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    PolygonObject* current = object.CurrentObject();
    if (current == nullptr) return -1;
    if (current->kind() != lumetra::ObjectKind::kRegion) return 0;
    const int crossings = current->PointIn(x, y);
    return (crossings & 1) != 0 ? 1 : 0;
  });
}

LUMETRA_API int pipObjectFindFirstContaining(int objectFileHandle, int x, int y, int radius,
                                             char* name, int nameLength) {
  lumetra::ClearText(name, nameLength);
  if (nameLength < 0) return -1;
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    return object.FindFirstContaining(x, y, radius, name, nameLength);
  });
}

LUMETRA_API int pipObjectFindNext(int objectFileHandle, char* name, int nameLength) {
  lumetra::ClearText(name, nameLength);
  return WithObjectFile(objectFileHandle, [&](pipObjectFileObject& object) {
    return object.FindNext(name, nameLength);
  });
}

}  // extern "C"
