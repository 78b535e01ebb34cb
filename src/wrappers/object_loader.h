// Reading the current object of an object-file handle into a geometry
// object: the record through pipObjectGetInfo, the coordinates through
// pipObjectGetCoords (divided by 1000000.0), the first and second names as
// the geometry's name and name2.
#ifndef LUMETRA_WRAPPERS_OBJECT_LOADER_H
#define LUMETRA_WRAPPERS_OBJECT_LOADER_H

#include <lumetra/geometry.h>

namespace lumetra {

constexpr int kAnyObjectType = -1;
// The name buffer every wrapped find hands to the pip* call.
constexpr int kWrapperNameSize = PIP_NAME_SIZE;

enum class Load { kDone, kWrongType, kFailed };

// Loads the current object of `file` into `result` when its object type is
// `wanted` (kAnyObjectType: any).  The result is reset first (a point keeps
// its names, as CPipPoint::reset does; a line or polygon loses them).  A
// tax-boundary file's objects are loaded without coordinates.  kFailed when
// there is no current object or its coordinates cannot be read.
Load LoadCurrent(int file, int wanted, CPipPoint& result);
Load LoadCurrent(int file, int wanted, CPolyLine& result);
Load LoadCurrent(int file, int wanted, CPolyPolygon& result);

// Makes the object at (low, high) current, then loads it as above, of any
// type: 1, or 0 when it cannot be reached or read.
template <class Geometry>
int LoadAt(int file, int low, int high, Geometry& result) {
  result.reset();
  if (pipObjectFileGoto64(file, low, high) == -1) return 0;
  return LoadCurrent(file, kAnyObjectType, result) == Load::kDone ? 1 : 0;
}

}  // namespace lumetra

#endif  // LUMETRA_WRAPPERS_OBJECT_LOADER_H
