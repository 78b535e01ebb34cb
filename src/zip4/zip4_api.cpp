// Exported entry points of the ZIP+4 centroid files: opening, searching and
// closing (pip.h) and writing (pip_ext.h).  Each is the common pattern of
// the handle table: look the handles up by kind, work on their objects,
// release them on every path, and let no exception out (failure value -1).
#include <lumetra/pip.h>
#include <lumetra/pip_ext.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "frame/error.h"
#include "frame/handle_table.h"
#include "frame/library_context.h"
#include "frame/text_copy.h"
#include "search/object_file_object.h"
#include "zip4/z9_writer.h"
#include "zip4/zip4_file_object.h"

using lumetra::WithHandle;

namespace {

lumetra::Z9Record ToZ9(const pipZip4Record& r) {
  lumetra::Z9Record z;
  z.zip = r.zipCode;
  z.add_on = r.addOn;
  z.record_type = r.recordType;
  z.longitude = r.longitude;
  z.latitude = r.latitude;
  z.value1 = r.value1;
  z.value2 = r.value2;
  z.value3 = r.value3;
  return z;
}

// Checks every record in the caller's order (so the detail names the
// caller's index), then writes them sorted by key.
int WriteZip4File(QError& err, const char* file_name, const pipZip4Record* records, int count) {
  for (int i = 0; i < count; ++i) {
    const std::string problem = lumetra::Z9RecordProblem(ToZ9(records[i]));
    if (!problem.empty()) {
      err.SetF(PIP_ERR_INVALID_DATA, QERR_HERE, "pipZip4FileWrite: record %d (%05d-%04d): %s.", i,
               records[i].zipCode, records[i].addOn, problem.c_str());
      return -1;
    }
  }
  std::vector<std::uint32_t> order(static_cast<std::size_t>(count));
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return ToZ9(records[a]).Key() < ToZ9(records[b]).Key();
  });
  Z9Writer writer(err, file_name);
  if (!writer.ready()) return -1;
  for (std::uint32_t i : order) {
    if (!writer.Add(ToZ9(records[i]))) return -1;
  }
  return writer.Finish() ? 1 : -1;
}

}  // namespace

extern "C" {

LUMETRA_API int pipZip4FileOpen(int libraryHandle, const char* fileName, int* zip4Handle) {
  if (zip4Handle == nullptr) return -1;
  return lumetra::InitService<pipZip4FileObject>(
      libraryHandle, PIP_HANDLE_ZIP4_FILE, zip4Handle,
      [&](pipLibraryContext& library) -> std::unique_ptr<pipZip4FileObject> {
        auto object = std::make_unique<pipZip4FileObject>(library.error(), fileName);
        if (!object->ready()) return nullptr;
        return object;
      });
}

LUMETRA_API int pipZip4FileClose(int zip4Handle) {
  return lumetra::TerminateHandle<pipZip4FileObject>(zip4Handle, PIP_HANDLE_ZIP4_FILE, 1);
}

LUMETRA_API int pipZip4FindFirst(int zip4Handle, int objectFileHandle, int distance, char* zip4,
                                 char* recordType, char* name, int nameLength) {
  lumetra::ClearText(name, nameLength);
  if (zip4 == nullptr || recordType == nullptr || nameLength < 0) return -1;
  const Zip4Outputs out{zip4, recordType, name, nameLength};
  return WithHandle<pipZip4FileObject>(
      zip4Handle, PIP_HANDLE_ZIP4_FILE, -1, [&](pipZip4FileObject& centroids) {
        return lumetra::WithObjectFile(objectFileHandle, [&](pipObjectFileObject& objects) {
          return centroids.FindFirst(objects, objectFileHandle, distance, out);
        });
      });
}

LUMETRA_API int pipZip4FindNext(int zip4Handle, char* zip4, char* recordType, char* name,
                                int nameLength) {
  lumetra::ClearText(name, nameLength);
  if (zip4 == nullptr || recordType == nullptr || nameLength < 0) return -1;
  const Zip4Outputs out{zip4, recordType, name, nameLength};
  return WithHandle<pipZip4FileObject>(
      zip4Handle, PIP_HANDLE_ZIP4_FILE, -1,
      [&](pipZip4FileObject& centroids) { return centroids.FindNext(out); });
}

LUMETRA_API int pipZip4FileWrite(int libraryHandle, const char* fileName,
                                 const pipZip4Record* records, int count) {
  if (count < 0 || (records == nullptr && count > 0)) return -1;
  return WithHandle<pipLibraryContext>(
      libraryHandle, PIP_HANDLE_LIBRARY, -1, [&](pipLibraryContext& library) {
        return WriteZip4File(library.error(), fileName, records, count);
      });
}

}  // extern "C"
