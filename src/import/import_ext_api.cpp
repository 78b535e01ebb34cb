// Exported entry points of the import options (lumetra/pip_ext.h): the
// opt-in reader rules of an import handle, kept by its ObjectFileBuild.
#include <lumetra/pip_ext.h>

#include "frame/handle_table.h"
#include "import/object_file_build.h"

extern "C" {

LUMETRA_API int pipImportSetOptions(int importHandle, int flags) {
  return lumetra::WithHandle<ObjectFileBuild>(
      importHandle, PIP_HANDLE_IMPORT, -1,
      [&](ObjectFileBuild& build) -> int { return build.SetOptions(flags) ? 1 : -1; });
}

LUMETRA_API int pipImportGetOptions(int importHandle, int* flags) {
  if (flags == nullptr) return -1;
  return lumetra::WithHandle<ObjectFileBuild>(importHandle, PIP_HANDLE_IMPORT, -1,
                                              [&](ObjectFileBuild& build) -> int {
                                                *flags = build.options().flags();
                                                return 1;
                                              });
}

}  // extern "C"
