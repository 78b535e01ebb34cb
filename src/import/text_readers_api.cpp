// Exported openers of the text readers (MIF/MID and BNA) on an import
// handle.  Each destroys the handle's current reader (its pending object is
// lost), makes the new one and keeps it when it opened.
#include <lumetra/pip.h>

#include <memory>

#include "frame/handle_table.h"
#include "import/bna_read.h"
#include "import/mif_read.h"
#include "import/object_file_build.h"

namespace {

// The open rule shared by the openers: 1 with the new reader installed, or
// -1 after the reader that failed to open (reported) is destroyed.
template <class Make>
int OpenReader(int import_handle, Make&& make) {
  return lumetra::WithHandle<ObjectFileBuild>(import_handle, PIP_HANDLE_IMPORT, -1,
                                              [&](ObjectFileBuild& build) -> int {
                                                build.CloseReader();
                                                std::unique_ptr<ImportRead> reader = make(build);
                                                if (!reader->success()) return -1;
                                                build.SetReader(std::move(reader));
                                                return 1;
                                              });
}

}  // namespace

extern "C" {

LUMETRA_API int pipImportOpenBNA(int importHandle, const char* fileName, int namePosition) {
  return OpenReader(importHandle, [&](ObjectFileBuild& build) {
    return std::make_unique<BNARead>(build, fileName, namePosition);
  });
}

LUMETRA_API int pipImportOpenMIF(int importHandle, const char* fileName, const char* nameField) {
  return OpenReader(importHandle, [&](ObjectFileBuild& build) {
    return std::make_unique<MIFRead>(build, fileName, nameField, nullptr);
  });
}

LUMETRA_API int pipImportOpenMIF2(int importHandle, const char* fileName, const char* nameField,
                                  const char* nameField2) {
  return OpenReader(importHandle, [&](ObjectFileBuild& build) {
    return std::make_unique<MIFRead>(build, fileName, nameField, nameField2);
  });
}

}  // extern "C"
