// Loading the current object of an object-file handle into the geometry
// classes.
#include "wrappers/object_loader.h"

#include <memory>
#include <new>

namespace lumetra {
namespace {

// The record of the current object, when it is of the wanted type.
Load Describe(int file, int wanted, pipObjectInfoStruct* info) {
  if (pipObjectGetInfo(file, info) != 1) return Load::kFailed;
  if (wanted != kAnyObjectType && info->type != wanted) return Load::kWrongType;
  return Load::kDone;
}

bool ReadCoords(int file, CPipPoint& result) {
  int xy[2] = {0, 0};
  int parts[1] = {0};
  int n = 0;
  if (pipObjectGetCoords(file, xy, 1, parts, 1, &n) != 1) return false;
  result.setSpatial(xy[0], xy[1]);
  return true;
}

// Lines and polygons read into buffers sized to the object itself (at least
// one slot, so that an empty object still gets valid pointers); the buffers
// live for this call only.  CPolyLine::set and CPolyPolygon::set take the
// per-part point counts as the file gives them: line parts as chains, rings
// passed open and closed by the closure rule.
template <class Parts>
bool ReadCoords(int file, Parts& result) {
  int points = 0;
  int parts = 0;
  if (pipObjectGetNumCoords(file, &points, &parts) != 1 || points < 0 || parts < 0) return false;
  const int point_slots = points > 0 ? points : 1;
  const int part_slots = parts > 0 ? parts : 1;
  std::unique_ptr<int[]> xy(new (std::nothrow) int[2 * static_cast<std::size_t>(point_slots)]);
  std::unique_ptr<int[]> counts(new (std::nothrow) int[static_cast<std::size_t>(part_slots)]);
  if (xy == nullptr || counts == nullptr) return false;
  int n = 0;
  if (pipObjectGetCoords(file, xy.get(), point_slots, counts.get(), part_slots, &n) != 1) {
    return false;
  }
  return result.set(xy.get(), counts.get(), n);
}

template <class Geometry>
Load LoadAny(int file, int wanted, Geometry& result) {
  result.reset();
  pipObjectInfoStruct info;
  const Load described = Describe(file, wanted, &info);
  if (described != Load::kDone) return described;
  if (pipObjectIsTaxFile(file) != 1 && !ReadCoords(file, result)) return Load::kFailed;
  result.setName(info.name);
  result.setName2(info.name2);
  return Load::kDone;
}

}  // namespace

Load LoadCurrent(int file, int wanted, CPipPoint& result) { return LoadAny(file, wanted, result); }
Load LoadCurrent(int file, int wanted, CPolyLine& result) { return LoadAny(file, wanted, result); }
Load LoadCurrent(int file, int wanted, CPolyPolygon& result) {
  return LoadAny(file, wanted, result);
}

}  // namespace lumetra
