// pipRadContext::LoadPoints: the point objects of an open object file into
// a radial search.
//
// The records are read into a buffer of the loader's own, from a shared
// read-only mapping of the file where the platform gives one (a copy from
// memory per record instead of two reads from the descriptor), through the
// same decoder and checks as every search.  The handle's polygon cache and
// current search stay untouched, except the name index's cursor (see the
// header).
#include "frame/error.h"
#include "radial/pip_rad_context.h"
#include "search/name_search.h"
#include "search/object_file_object.h"
#include "search/polygon_object.h"
#include "search/polygon_search.h"
#include "storage/qfile.h"

int pipRadContext::LoadPoints(pipObjectFileObject& file) {
  if (!file.ready()) {
    err_.Set(PIP_ERR_INVALID_DATA, "pipRadLoadPoints: the object file is not open.", QERR_HERE);
    return -1;
  }
  // The walk below moves the name index's only cursor.
  if (dynamic_cast<PolySearchByName*>(file.current_search()) != nullptr) {
    file.ReplaceSearch(nullptr);
  }
  PolygonSearch& reader = file.reader();
  Qfile mapped(file.error());
  Qfile& source = mapped.Open(reader.file_name(), Qfile::kModeMapped) ? mapped : reader.file();
  PolygonObject buffer(reader.header(), reader.limits(), file.error(), reader.file_name());
  std::size_t loaded = 0;
  std::uint64_t position = 0;
  bool read = buffer.ready();
  // Every entry: a key of length 0 compares equal to all.
  for (bool more = read && reader.FindNameEntry("", 0, 0, &position); more;
       more = reader.NextNameEntry(&position)) {
    read = buffer.Load(source, position);
    if (!read) break;
    if (!buffer.is_point()) continue;
    if (InsertPoint(buffer.point().x, buffer.point().y, buffer.name().c_str()) != 1) return -1;
    ++loaded;
  }
  if (!read) {
    // The reader recorded why in the file's record; the caller reads ours.
    if (&file.error() != &err_) static_cast<QError&>(err_) = file.error();
    return -1;
  }
  if (loaded == 0) {
    err_.SetF(PIP_ERR_GENERAL, QERR_HERE, "pipRadLoadPoints: %s holds no point objects.",
              reader.file_name());
    return -1;
  }
  return 1;
}
