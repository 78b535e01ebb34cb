// Exported openers of the shapefile reader on an import handle.  Each
// destroys the handle's current reader (its pending object is lost), makes
// an SHPRead and keeps it when it opened.
#include <lumetra/pip.h>

#include <memory>

#include "frame/handle_table.h"
#include "import/object_file_build.h"
#include "import/shp_read.h"

extern "C" {

LUMETRA_API int pipImportOpenSHP(int importHandle, const char* fileName, const char* nameColumn,
                                 const char* nameColumn2) {
  return lumetra::WithHandle<ObjectFileBuild>(
      importHandle, PIP_HANDLE_IMPORT, -1, [&](ObjectFileBuild& build) -> int {
        build.CloseReader();
        auto reader = std::make_unique<SHPRead>(build, fileName, nameColumn, nameColumn2);
        if (!reader->success()) return -1;  // reported; the reader is destroyed
        build.SetReader(std::move(reader));
        return 1;
      });
}

LUMETRA_API int pipImportOpenShape(int importHandle, const char* fileName, const char* nameColumn,
                                   const char* nameColumn2) {
  return pipImportOpenSHP(importHandle, fileName, nameColumn, nameColumn2);
}

}  // extern "C"
