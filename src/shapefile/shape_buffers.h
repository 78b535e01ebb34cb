// The growable buffers of a shpFile and the release of everything a shpFile
// holds.
//
// The buffers live in the caller's shpFile, so they are plain malloc'ed
// blocks freed by ReleaseShapeFile (ShapeClose).  Growing never ends the
// process: a block that cannot be had is reported with its routine's text
// ("BlobMalloc", "PartMalloc", "PointSet", "ProcPoly") and -1, and the old
// block stays in place.
//
// Pointer invariant: multiPoints and every parts[i].points point into the
// point array (or are null).  ReservePoints moves them along when it moves
// the array, so they never dangle.
#ifndef LUMETRA_SHAPEFILE_SHAPE_BUFFERS_H
#define LUMETRA_SHAPEFILE_SHAPE_BUFFERS_H

#include <cstddef>

#include "lumetra/shapefile.h"

namespace lumetra {
namespace shapefile {

// Initial capacities.
constexpr std::size_t kReadRecordCapacity = 512;    // bytes, after ShapeOpen
constexpr std::size_t kWriteRecordCapacity = 1024;  // bytes, after ShapeCreate
constexpr int kReadPartStartCapacity = 64;
constexpr int kWritePartStartCapacity = 128;
constexpr int kInitialPointCapacity = 1024;  // points (16,384 bytes)

// Each makes room for at least `count` entries; 0 or -1 (reported with
// `text`).  Contents up to the old capacity are kept.
int ReserveRecordBytes(shpFile* shape, std::size_t count, const char* text);
int ReservePartStarts(shpFile* shape, std::size_t count, const char* text);
int ReservePoints(shpFile* shape, std::size_t count, const char* text);
int ReservePartList(shpFile* shape, std::size_t count, const char* text);

// Closes both streams (without touching the files' contents), frees every
// buffer and clears the structure.
void ReleaseShapeFile(shpFile* shape);

// Releases a shpFile being set up unless Keep() is called: a failed open or
// create leaves nothing open and nothing allocated.
class ShapeFileGuard {
 public:
  explicit ShapeFileGuard(shpFile* shape) : shape_(shape) {}
  ~ShapeFileGuard() {
    if (shape_ != nullptr) ReleaseShapeFile(shape_);
  }
  ShapeFileGuard(const ShapeFileGuard&) = delete;
  ShapeFileGuard& operator=(const ShapeFileGuard&) = delete;

  void Keep() { shape_ = nullptr; }

 private:
  shpFile* shape_;
};

}  // namespace shapefile
}  // namespace lumetra

#endif  // LUMETRA_SHAPEFILE_SHAPE_BUFFERS_H
