// Arrays of query points handed in from NumPy, and the loop that runs a
// search over them on several threads, each with its own ObjectHandle.
#ifndef LUMETRA_PYTHON_POINT_BATCH_H
#define LUMETRA_PYTHON_POINT_BATCH_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "object_handle.h"

namespace lumetra_py {

// Borrowed views of the caller's coordinate arrays (the caller keeps them
// alive and unchanged for the batch): either doubles in degrees (plain units
// in non-geographic files) or 32-bit integers already in file units.
struct PointBatch {
  const double* lon = nullptr;
  const double* lat = nullptr;
  const std::int32_t* x = nullptr;
  const std::int32_t* y = nullptr;
  std::size_t size = 0;
  bool geographic = true;

  // Point i in file units: degrees times 1,000,000 truncated toward zero in
  // geographic files (as the importer and the lumetra tool convert), the
  // value truncated otherwise.  False when a coordinate is not finite or
  // does not fit 32 bits: such a point matches nothing.
  bool At(std::size_t i, std::int32_t* out_x, std::int32_t* out_y) const;
};

// Runs work(handle, begin, end, chunk) over [0, size) in chunks of
// `chunk_size` points, on handles.size() threads (the calling thread
// included), thread t using handles[t] only.  Chunks are numbered in order
// and handed out as threads become free.  The first exception a chunk
// throws stops the other threads at their next chunk and is rethrown here.
void ForEachChunk(
    std::size_t size, std::size_t chunk_size, const std::vector<ObjectHandle*>& handles,
    const std::function<void(ObjectHandle&, std::size_t, std::size_t, std::size_t)>& work);

// Number of chunks ForEachChunk makes of `size` points.
inline std::size_t ChunkCount(std::size_t size, std::size_t chunk_size) {
  return (size + chunk_size - 1) / chunk_size;
}

}  // namespace lumetra_py

#endif  // LUMETRA_PYTHON_POINT_BATCH_H
