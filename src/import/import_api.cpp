// Exported entry points of the import: creating an object file from objects
// a caller inserts or a format reader delivers.  The object behind an import
// handle (kind 2) is the ObjectFileBuild; the pipImportOpen* functions of the
// readers install their reader into it with ObjectFileBuild::SetReader.
#include <lumetra/pip.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>

#include "frame/handle_table.h"
#include "frame/library_context.h"
#include "frame/text_copy.h"
#include "import/import_limits.h"
#include "import/import_read.h"
#include "import/object_file_build.h"

using lumetra::GuardedCall;
using lumetra::WithHandle;

namespace {

constexpr char kTaxHeaderText[] = "Korvalune\r\nTax Boundary File";

// Checks the limits, makes the builder and puts the caller's header text in
// place of the default.  Null after a reported failure (a builder that
// failed deletes whatever it created).
std::unique_ptr<ObjectFileBuild> MakeBuild(pipError& err, const char* file_name,
                                           const pipObjectFileInfoStruct& info) {
  if (!lumetra::ImportLimits::CheckAndSet(err, info.maxPoints, info.maxParts)) return nullptr;
  auto build = std::make_unique<ObjectFileBuild>(err, file_name, info);
  if (!build->success()) return nullptr;
  if (info.header[0] != '\0') build->SetHeaderText(info.header);
  return build;
}

}  // namespace

extern "C" {

LUMETRA_API int pipImportInit(int libraryHandle, const char* fileName,
                              const pipObjectFileInfoStruct* info, int* importHandle) {
  if (importHandle != nullptr) *importHandle = 0;
  if (info == nullptr) return -1;
  return lumetra::InitService<ObjectFileBuild>(
      libraryHandle, PIP_HANDLE_IMPORT, importHandle,
      [&](pipLibraryContext& library) { return MakeBuild(library.error(), fileName, *info); });
}

LUMETRA_API int pipImportInitEx(int libraryHandle, const char* fileName,
                                const pipObjectFileInfoStruct* info, short code, const char* text1,
                                const char* text2, int* importHandle) {
  if (importHandle != nullptr) *importHandle = 0;
  if (info == nullptr) return -1;
  return lumetra::InitService<ObjectFileBuild>(
      libraryHandle, PIP_HANDLE_IMPORT, importHandle,
      [&](pipLibraryContext& library) -> std::unique_ptr<ObjectFileBuild> {
        auto build = MakeBuild(library.error(), fileName, *info);
        if (build == nullptr) return nullptr;
        const auto code_bits = static_cast<std::uint16_t>(code);
        if (!build->AddExtension(code_bits, text1, text2, std::time(nullptr))) return nullptr;
        return build;
      });
}

LUMETRA_API int pipImportTXBInit(int libraryHandle, const char* fileName,
                                 pipObjectFileInfoStruct* info, int* importHandle) {
  if (importHandle != nullptr) *importHandle = 0;
  if (info == nullptr) return -1;
  if (info->header[0] == '\0') std::strcpy(info->header, kTaxHeaderText);
  info->flags |= PIP_FILE_TAX;
  return pipImportInit(libraryHandle, fileName, info, importHandle);
}

LUMETRA_API int pipImportRead(int importHandle, char* name, int nameLength, int* percent,
                              int* line) {
  lumetra::ClearText(name, nameLength);
  return WithHandle<ObjectFileBuild>(importHandle, PIP_HANDLE_IMPORT, -1,
                                     [&](ObjectFileBuild& build) -> int {
                                       ImportRead* reader = build.reader();
                                       if (reader == nullptr) return -1;
                                       if (!reader->ReadObject()) return -1;
                                       lumetra::CopyCutChecked(reader->name(), name, nameLength);
                                       if (percent != nullptr) *percent = reader->PercentDone();
                                       if (line != nullptr) *line = reader->CurrentLine();
                                       return reader->result();
                                     });
}

LUMETRA_API int pipImportInsert(int importHandle, pipObjectInfoStruct* info, const int* points,
                                const int* partCounts, int numParts) {
  if (info == nullptr) return -1;
  return WithHandle<ObjectFileBuild>(
      importHandle, PIP_HANDLE_IMPORT, -1, [&](ObjectFileBuild& build) -> int {
        return build.Insert(*info, points, partCounts, numParts) ? 1 : -1;
      });
}

LUMETRA_API int pipImportClose(int importHandle) {
  return WithHandle<ObjectFileBuild>(importHandle, PIP_HANDLE_IMPORT, -1,
                                     [&](ObjectFileBuild& build) -> int {
                                       build.CloseReader();
                                       return 1;
                                     });
}

LUMETRA_API int pipImportTerm(int importHandle, int commit) {
  return GuardedCall(-1, [&]() -> int {
    pipHandleTable& table = pipHandleTable::Instance();
    pipHandleSlot* slot = table.LookupHandle(importHandle, PIP_HANDLE_IMPORT);
    if (slot == nullptr) {
      table.ReleaseHandle(importHandle);
      return -1;
    }
    std::unique_ptr<ObjectFileBuild> build(static_cast<ObjectFileBuild*>(slot->object.load()));
    int result = 1;
    if (commit != 0) {
      // The handle is freed whatever the finish does, so nothing may
      // escape before the builder is gone.
      try {
        result = build->Finish() ? 1 : -1;
      } catch (const std::bad_alloc&) {
        build->error().Report(PIP_ERR_NO_MEMORY, "Out of memory.", QERR_HERE);
        result = -1;
      } catch (...) {
        result = -1;
      }
    }
    build.reset();  // an unfinished file is deleted here
    table.ReleaseHandle(importHandle);
    table.UnregisterHandle(importHandle);
    return result;
  });
}

}  // extern "C"
