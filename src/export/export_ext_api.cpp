// Exported entry point of the export options (lumetra/pip_ext.h): the
// opt-in output of an export handle, kept by its CspaExporter.
#include <lumetra/pip_ext.h>

#include "export/exporter.h"
#include "frame/handle_table.h"

extern "C" {

LUMETRA_API int pipExportSetOptions(int exportHandle, int flags) {
  return lumetra::WithHandle<CspaExporter>(
      exportHandle, PIP_HANDLE_EXPORT, -1,
      [&](CspaExporter& exporter) -> int { return exporter.SetOptions(flags); });
}

}  // extern "C"
