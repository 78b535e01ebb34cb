// Exported entry points of export.  Each is the common pattern of the
// handle table: look the handle up by kind (7 for export, 1 for the
// library handle of the initialising calls), work on its CspaExporter,
// release it on every path, and let no exception out (failure value -1).
#include <lumetra/pip.h>

#include <memory>
#include <string>

#include "export/bna_exporter.h"
#include "export/exporter.h"
#include "export/mif_exporter.h"
#include "export/shp_exporter.h"
#include "export/tab_exporter.h"
#include "frame/error.h"
#include "frame/handle_table.h"
#include "frame/library_context.h"
#include "frame/text_copy.h"

using lumetra::GuardedCall;
using lumetra::TakeHandleObject;
using lumetra::WithHandle;

namespace {

constexpr char kNoOutputName[] = "The name of the export output file is missing.\n";
constexpr char kBadObjectType[] =
    "The object type of a shapefile export must be 0 (region), 1 (line) or 2 (point).\n";
constexpr char kBadInsert[] =
    "pipExportInsert needs a name, an object record, points, part counts and a count of at "
    "least 1.\n";

// Makes an exporter under `library_handle` with make(pipLibraryContext&),
// creates its output files for `file_name` and registers it.  Without an
// output handle nothing is made (-1, nothing recorded).  When no handle
// is free the failure is reported (code 103) and the exporter's files are
// closed, deleted and the exporter destroyed.
template <class Make>
int InitExporter(int library_handle, const char* file_name, int* export_handle, Make&& make) {
  if (export_handle == nullptr) return -1;
  *export_handle = 0;
  return WithHandle<pipLibraryContext>(
      library_handle, PIP_HANDLE_LIBRARY, -1, [&](pipLibraryContext& library) -> int {
        if (file_name == nullptr) {
          library.error().Report(PIP_ERR_INVALID_DATA, kNoOutputName, QERR_HERE);
          return -1;
        }
        std::unique_ptr<CspaExporter> exporter = make(library);
        if (!exporter || exporter->CreateFiles(file_name) != 1) return -1;
        const int handle =
            pipHandleTable::Instance().RegisterHandle(exporter.get(), PIP_HANDLE_EXPORT);
        if (handle == 0) {
          library.error().Report(PIP_ERR_TABLE_OVERFLOW, lumetra::kTooManyHandles, QERR_HERE);
          exporter->CloseFiles();
          exporter->DeleteFiles();
          return -1;
        }
        exporter.release();  // the handle names it now; pipExportTerm deletes it
        *export_handle = handle;
        return 1;
      });
}

int InitShapeExporter(int library_handle, const char* file_name, int* export_handle,
                      int object_type) {
  return GuardedCall(-1, [&] {
    const std::string base = file_name != nullptr ? CspaSHPExporter::BaseName(file_name) : "";
    return InitExporter(library_handle, file_name != nullptr ? base.c_str() : nullptr,
                        export_handle,
                        [&](pipLibraryContext& library) -> std::unique_ptr<CspaExporter> {
                          if (object_type < PIP_OBJECT_REGION || object_type > PIP_OBJECT_POINT) {
                            library.error().Report(PIP_ERR_INVALID_DATA, kBadObjectType, QERR_HERE);
                            return nullptr;
                          }
                          return std::make_unique<CspaSHPExporter>(library, object_type);
                        });
  });
}

template <class F>
int WithExporter(int handle, F&& work) noexcept {
  static_assert(lumetra::HasErrorRecord<CspaExporter>::value,
                "an export handle's allocation failures must reach the library's record");
  return WithHandle<CspaExporter>(handle, PIP_HANDLE_EXPORT, -1, std::forward<F>(work));
}

}  // namespace

extern "C" {

LUMETRA_API int pipExportInitBNA(int libraryHandle, const char* fileName, int* exportHandle) {
  return GuardedCall(-1, [&] {
    return InitExporter(libraryHandle, fileName, exportHandle, [](pipLibraryContext& library) {
      return std::unique_ptr<CspaExporter>(std::make_unique<CspaBNAExporter>(library));
    });
  });
}

LUMETRA_API int pipExportInitMIF(int libraryHandle, const char* fileName, int* exportHandle) {
  return GuardedCall(-1, [&] {
    return InitExporter(libraryHandle, fileName, exportHandle, [](pipLibraryContext& library) {
      return std::unique_ptr<CspaExporter>(std::make_unique<CspaMIFExporter>(library));
    });
  });
}

LUMETRA_API int pipExportInitSHP(int libraryHandle, const char* fileName, int* exportHandle,
                                 int objectType) {
  return InitShapeExporter(libraryHandle, fileName, exportHandle, objectType);
}

LUMETRA_API int pipExportInitShape(int libraryHandle, const char* fileName, int* exportHandle,
                                   int objectType) {
  return InitShapeExporter(libraryHandle, fileName, exportHandle, objectType);
}

LUMETRA_API int pipExportInitTAB(int libraryHandle, const char* fileName, int* exportHandle,
                                 int typeCode) {
  return GuardedCall(-1, [&] {
    return InitExporter(libraryHandle, fileName, exportHandle, [&](pipLibraryContext& library) {
      return std::unique_ptr<CspaExporter>(std::make_unique<CspaTABExporter>(library, typeCode));
    });
  });
}

LUMETRA_API int pipExportOpen(int exportHandle, const char* objectFileName, int mode) {
  return WithExporter(exportHandle, [&](CspaExporter& exporter) {
    return exporter.OpenObjectFile(objectFileName, mode);
  });
}

LUMETRA_API int pipExportWrite(int exportHandle, char* name, int nameLength, int* percent,
                               int* count) {
  lumetra::ClearText(name, nameLength);
  return WithExporter(exportHandle, [&](CspaExporter& exporter) {
    return exporter.WriteNext(name, nameLength, percent, count);
  });
}

LUMETRA_API int pipExportInsert(int exportHandle, const char* name, const pipObjectInfoStruct* info,
                                const int* points, const int* partCounts, int count) {
  return WithExporter(exportHandle, [&](CspaExporter& exporter) {
    if (name == nullptr || info == nullptr || points == nullptr || partCounts == nullptr ||
        count < 1) {
      exporter.ReportInvalidData(kBadInsert);
      return -1;
    }
    return exporter.WriteObject(name, *info, points, partCounts, count);
  });
}

LUMETRA_API int pipExportClose(int exportHandle) {
  return WithExporter(exportHandle, [&](CspaExporter& exporter) {
    exporter.CloseObjectFile();
    return 1;
  });
}

LUMETRA_API int pipExportTerm(int exportHandle, int commit) {
  return GuardedCall(-1, [&]() -> int {
    const std::unique_ptr<CspaExporter> exporter =
        TakeHandleObject<CspaExporter>(exportHandle, PIP_HANDLE_EXPORT);
    if (exporter == nullptr) return -1;
    return exporter->Finish(commit != 0);
  });
}

}  // extern "C"
