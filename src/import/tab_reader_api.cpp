// Exported opener of the TAB table reader on an import handle: destroys the
// handle's current reader (its pending object is lost), makes a TABRead and
// keeps it when it opened.
#include <lumetra/pip.h>

#include <memory>

#include "frame/handle_table.h"
#include "import/object_file_build.h"
#include "import/tab_read.h"

extern "C" {

LUMETRA_API int pipImportOpenTAB(int importHandle, const char* fileName, const char* nameColumn,
                                 const char* nameColumn2) {
  return lumetra::WithHandle<ObjectFileBuild>(
      importHandle, PIP_HANDLE_IMPORT, -1, [&](ObjectFileBuild& build) -> int {
        build.CloseReader();
        auto reader = std::make_unique<TABRead>(build, fileName, nameColumn, nameColumn2);
        if (!reader->success()) return -1;  // reported; the reader is destroyed
        build.SetReader(std::move(reader));
        return 1;
      });
}

}  // extern "C"
