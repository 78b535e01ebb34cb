// pipRadContext::LoadPoints: the point objects of an open object file into
// a radial search.
#include <cstring>

#include "frame/error.h"
#include "radial/pip_rad_context.h"
#include "search/name_search.h"
#include "search/object_file_object.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"

namespace {

constexpr char kEveryName[] = "*";

}  // namespace

int pipRadContext::LoadPoints(pipObjectFileObject& file) {
  if (!file.ready()) {
    err_.Set(PIP_ERR_INVALID_DATA, "pipRadLoadPoints: the object file is not open.", QERR_HERE);
    return -1;
  }
  // The walk below moves the name index's only cursor.
  if (dynamic_cast<PolySearchByName*>(file.current_search()) != nullptr) {
    file.ReplaceSearch(nullptr);
  }
  PolySearchByName walk(file.reader(), file.error(), kEveryName);
  std::size_t loaded = 0;
  int found = walk.FindFirst(nullptr, 0);
  for (; found > 0; found = walk.FindNext(nullptr, 0)) {
    const PolygonObject* object = walk.CurrentObject();
    if (object == nullptr) {
      found = -1;
      break;
    }
    if (!object->is_point()) continue;
    const lumetra::PointRecord& point = object->point();
    if (InsertPoint(point.x, point.y, object->name().c_str()) != 1) return -1;
    ++loaded;
  }
  if (found < 0) {
    // The reader recorded why in the file's record; the caller reads ours.
    if (&file.error() != &err_) static_cast<QError&>(err_) = file.error();
    return -1;
  }
  if (loaded == 0) {
    err_.SetF(PIP_ERR_GENERAL, QERR_HERE, "pipRadLoadPoints: %s holds no point objects.",
              file.reader().file_name());
    return -1;
  }
  return 1;
}
