#include "shapefile/shape_buffers.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shapefile/stdio_support.h"

namespace lumetra {
namespace shapefile {
namespace {

// Next capacity for a buffer holding `old_capacity` entries that must hold
// `count`: at least double, at most `limit`.
std::size_t GrownCapacity(std::size_t old_capacity, std::size_t count, std::size_t limit) {
  std::size_t capacity = old_capacity > limit / 2 ? limit : old_capacity * 2;
  if (capacity < count) capacity = count;
  return capacity;
}

// Reallocates an int-counted block of T entries; new entries are zeroed.
template <typename T>
int GrowIntCounted(T** data, int* capacity, std::size_t count, const char* text) {
  if (count <= static_cast<std::size_t>(*capacity) && *data != nullptr) return 0;
  if (count > static_cast<std::size_t>(INT_MAX)) return ReportFailure(text, ENOMEM);
  const std::size_t old_capacity = *data == nullptr ? 0 : static_cast<std::size_t>(*capacity);
  const std::size_t grown = GrownCapacity(old_capacity, count, INT_MAX);
  void* block = ReallocateBlock(*data, (grown > 0 ? grown : 1) * sizeof(T));
  if (block == nullptr) return ReportFailure(text, ENOMEM);
  *data = static_cast<T*>(block);
  std::memset(static_cast<void*>(*data + old_capacity), 0, (grown - old_capacity) * sizeof(T));
  *capacity = static_cast<int>(grown);
  return 0;
}

}  // namespace

int ReserveRecordBytes(shpFile* shape, std::size_t count, const char* text) {
  if (count <= shape->recordCapacity && shape->recordData != nullptr) return 0;
  const std::size_t old_capacity = shape->recordData == nullptr ? 0 : shape->recordCapacity;
  const std::size_t grown = GrownCapacity(old_capacity, count, SIZE_MAX / 2);
  void* block = ReallocateBlock(shape->recordData, grown > 0 ? grown : 1);
  if (block == nullptr) return ReportFailure(text, ENOMEM);
  shape->recordData = static_cast<unsigned char*>(block);
  shape->recordCapacity = grown;
  return 0;
}

// The packed structure's members go through locals: no pointer to a
// (possibly misaligned) member is formed.
int ReservePartStarts(shpFile* shape, std::size_t count, const char* text) {
  int* data = shape->partStarts;
  int capacity = shape->partStartCapacity;
  if (GrowIntCounted(&data, &capacity, count, text) != 0) return -1;
  shape->partStarts = data;
  shape->partStartCapacity = capacity;
  return 0;
}

int ReservePartList(shpFile* shape, std::size_t count, const char* text) {
  shpPart* data = shape->parts;
  int capacity = shape->partCapacity;
  if (GrowIntCounted(&data, &capacity, count, text) != 0) return -1;
  shape->parts = data;
  shape->partCapacity = capacity;
  return 0;
}

int ReservePoints(shpFile* shape, std::size_t count, const char* text) {
  if (count <= static_cast<std::size_t>(shape->pointCapacity) && shape->points != nullptr) return 0;
  // Two doubles per point; keep the byte size of the block within size_t.
  if (count > static_cast<std::size_t>(INT_MAX)) return ReportFailure(text, ENOMEM);
  double* old = shape->points;
  const std::size_t old_capacity =
      old == nullptr ? 0 : static_cast<std::size_t>(shape->pointCapacity);
  const std::size_t grown = GrownCapacity(old_capacity, count, INT_MAX);
  double* block =
      static_cast<double*>(ReallocateBlock(nullptr, (grown > 0 ? grown : 1) * 2 * sizeof(double)));
  if (block == nullptr) return ReportFailure(text, ENOMEM);
  if (old != nullptr) {
    std::memcpy(block, old, old_capacity * 2 * sizeof(double));
    // Move the views into the array along with it (offsets taken while the
    // old block is still alive).
    if (shape->multiPoints != nullptr) shape->multiPoints = block + (shape->multiPoints - old);
    for (int i = 0; i < shape->partCapacity && shape->parts != nullptr; ++i) {
      if (shape->parts[i].points != nullptr)
        shape->parts[i].points = block + (shape->parts[i].points - old);
    }
  }
  std::free(old);
  shape->points = block;
  shape->pointCapacity = static_cast<int>(grown);
  return 0;
}

void ReleaseShapeFile(shpFile* shape) {
  if (shape->shp != nullptr) std::fclose(shape->shp);
  if (shape->shx != nullptr) std::fclose(shape->shx);
  std::free(shape->recordData);
  std::free(shape->partStarts);
  std::free(shape->points);
  std::free(shape->parts);
  std::memset(shape, 0, sizeof *shape);
}

}  // namespace shapefile
}  // namespace lumetra
