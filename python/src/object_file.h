// The object behind lumetra.ObjectFile: an object file open for reading,
// with a pool of handles on it so that a batch of points can be searched on
// several threads (each thread its own handle; the C interface's handles
// serve one thread at a time).
//
// Thread rule: every method takes the object's lock, so calls from several
// Python threads on one ObjectFile run one after the other (a batch's own
// threads run inside one call).  Outputs are caller-owned arrays of the
// batch's size (times k for Nearest).
//
// Ordinals: files built by the library's importer carry each object's
// ordinal (1, 2, ... in import order, the key of its attribute record) in
// the object's colour field; -1 below means "no object".
#ifndef LUMETRA_PYTHON_OBJECT_FILE_H
#define LUMETRA_PYTHON_OBJECT_FILE_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "object_handle.h"
#include "point_batch.h"

namespace lumetra_py {

// One attribute field as the object file lists it (record-id field hidden).
struct AttributeField {
  std::string name;
  char type = 'C';  // 'C' text or 'N' number
  int width = 0;
  int decimals = 0;
};

// Header, extension block and settings of an open file.
struct FileInfo {
  pipObjectFileInfoStruct header{};
  bool has_extension = false;
  pipObjectFileExtraInfoStruct extension{};
  bool tax = false;
  int search_distance = 0;
};

// One object read in full.
struct ObjectData {
  CurrentObject object;
  std::vector<std::int32_t> points;       // x, y pairs of all parts
  std::vector<std::int32_t> part_counts;  // points per part
  bool has_attributes = false;            // an attribute record was found
  std::vector<std::string> values;        // one per field ("" without record)
};

// Every object's ordinal, names and attribute values, in file order.
struct AttributeTable {
  std::vector<std::int32_t> ordinals;
  std::vector<std::string> names;
  std::vector<bool> has_record;
  std::vector<std::vector<std::string>> columns;  // [field][object]
};

// Hits of LookupAll in compressed rows: the hits of point i are
// ordinals[offsets[i] .. offsets[i + 1]), in the search's order, each with
// its containing-search result (1 inside, 2 near, 3 both).
struct Hits {
  std::vector<std::int64_t> offsets;
  std::vector<std::int32_t> ordinals;
  std::vector<std::uint8_t> results;
};

// Whether Nearest is exact: the library exports pipObjectFindFirstNearestExact
// (otherwise the classic search, which may miss nearer points beyond the
// sides of the first square ring holding k points).
bool ExactNearestAvailable();

class ObjectFile {
 public:
  // Opens `path` with the C interface's open `mode`; throws LibraryError.
  ObjectFile(std::string path, int mode);

  // Closes every handle; later calls throw std::invalid_argument.  Idempotent.
  void Close();
  bool closed();
  const std::string& path() const { return path_; }
  bool geographic() const { return geographic_; }

  FileInfo Info();
  std::vector<AttributeField> Fields();
  // Positions (object handles) of every object, in file order.
  std::vector<std::uint64_t> Positions();
  // The object at `position` with its coordinates and attribute values.
  ObjectData ObjectAt(std::uint64_t position, bool coordinates);
  AttributeTable Attributes();
  // Sets the search distance (feet; the nearest search's reach) on every
  // handle.  Returns the distance stored (the library clamps it).
  int SetSearchDistance(int feet);

  // The first object containing each point (with a radius: or within
  // `radius` of its border), -1 where none.
  void Lookup(const PointBatch& points, int radius, int threads, std::int32_t* ordinals);
  // Every object containing (or near) each point.
  Hits LookupAll(const PointBatch& points, int radius, int threads);
  // The k nearest point objects of each point (see ExactNearestAvailable), nearest first:
  // ordinals[i*k + j] and distances (feet, or units in non-geographic files); -1 and NaN past the
  // last found.
  void Nearest(const PointBatch& points, int k, int threads, std::int32_t* ordinals,
               double* distances);
  // The border nearest to each point, of the object containing it or else of
  // the nearest object within max_distance (feet or units): distance, that
  // object's ordinal and whether the point is inside it; NaN, -1 and false
  // where no border is that near.
  void BorderDistance(const PointBatch& points, int max_distance, int threads, double* distances,
                      std::int32_t* ordinals, std::uint8_t* inside);

 private:
  // The first `threads` handles of the pool, opening more as needed.
  // REQUIRES: mutex_ held and the file open.
  std::vector<ObjectHandle*> Handles(int threads);
  ObjectHandle& Primary();
  void ReadAttributes(ObjectHandle& handle, std::size_t fields, ObjectData* data);

  std::string path_;
  int mode_;
  bool geographic_ = false;
  int search_distance_ = PIP_DEFAULT_SEARCH_DISTANCE;
  std::mutex mutex_;
  std::vector<std::unique_ptr<ObjectHandle>> pool_;  // empty once closed
};

}  // namespace lumetra_py

#endif  // LUMETRA_PYTHON_OBJECT_FILE_H
