// pipRadContext::LoadPoints: the point objects of an open object file into
// a radial search.
//
// The records are read through the file's record store, with the same
// decoder and checks as every search; no buffer of the polygon cache holds
// them, so the handle's polygon cache and current search stay untouched,
// except the name index's cursor (see the header).
#include "frame/error.h"
#include "radial/pip_rad_context.h"
#include "search/name_search.h"
#include "search/object_file_object.h"
#include "search/record_store.h"
#include "search/polygon_search.h"

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
  lumetra::RecordStore& store = reader.store();
  std::size_t loaded = 0;
  std::uint64_t position = 0;
  bool read = true;
  // Every entry: a key of length 0 compares equal to all.
  for (bool more = reader.FindNameEntry("", 0, 0, &position); more;
       more = reader.NextNameEntry(&position)) {
    lumetra::DecodedRecord* record = store.Acquire(position);
    read = record != nullptr;
    if (!read) break;
    int inserted = 1;
    if (record->is_point()) {
      const lumetra::PointRecord& point = record->point();
      inserted = InsertPoint(point.x, point.y, point.name.c_str());
      ++loaded;
    }
    store.Release(record);
    if (inserted != 1) return -1;
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
