// pipZip4FileObject: the object behind a ZIP+4 handle (kind 4) -- an open
// ZIP+4 centroid file and the search of its centroids against the regions
// of an object file.
//
// The search answers, record by record in key order, which ZIP+4 codes have
// their centroid inside (or, with a distance, within that many feet of) an
// object of the object file, and the first such object's name.  It walks
// the ZIP Code area index in file order (NextArea): an area whose rectangle
// -- grown by the distance, dy = trunc(feet x 2.7448397013614403) and
// dx = trunc(dy / cos(minimum y)) -- meets no rectangle of the object
// file's spatial index is skipped without reading its records.  For an
// area that meets one, the records of its ZIP Code (keys ZIP x 10000 + 0000
// to ZIP x 10000 + 9999) are read, and each centroid is tested with the
// object file's containing search (search/point_in_polygon_search.h: the
// boundary counts as inside; with a distance, objects within it count too)
// taking the search's first answer.  Consecutive records with the same
// centroid reuse the last answer and name (the centroid memo).
//
// The object file.  FindFirst takes the object file's handle; FindNext
// looks that handle up again and refuses to go on (code 106) when it no
// longer names the same object, so a caller that closes the object file in
// the middle of a search gets an error, never a dangling reader.  The
// search reads through the object file's reader (its polygon cache and
// spatial index) and leaves that handle's own current search alone.
//
// State: the current ZIP Code is 0 before the first search and once the
// areas are exhausted (the find calls then answer 0) and -1 after a
// failure (they answer -1 until the next FindFirst).
//
// Ownership: the library's error record is not owned and must outlive the
// object.  Thread rule: one thread at a time per ZIP+4 handle, and the
// object file's handle is used by the same thread during the search.
//
// Usage (see zip4_api.cpp):
//   auto z = std::make_unique<pipZip4FileObject>(library.error(), "centroids.z9");
//   if (!z->ready()) return -1;                                  // recorded
//   Zip4Outputs out{zip4, type, name, sizeof name};
//   for (int r = z->FindFirst(objects, handle, 0, out); r == 1; r = z->FindNext(out)) ...
#ifndef LUMETRA_ZIP4_ZIP4_FILE_OBJECT_H
#define LUMETRA_ZIP4_ZIP4_FILE_OBJECT_H

#include <cstdint>
#include <memory>

#include "zip4/z9_area_index.h"
#include "zip4/z9_reader.h"

class PolySearchPointInPolygon;
class PolygonSearch;
class SpatialIndexEnum;
class pipError;
class pipObjectFileObject;

// The caller's output buffers of a find call: the nine-digit ZIP+4 text
// (at least 10 bytes), the record-type text (at least 2 bytes) and the name
// buffer of name_length bytes.
struct Zip4Outputs {
  char* zip4;
  char* record_type;
  char* name;
  int name_length;
};

// What a search did, for benchmarks and tests.
struct Zip4SearchStats {
  std::uint64_t areas_read = 0;         // area entries examined
  std::uint64_t areas_searched = 0;     // areas meeting an object rectangle
  std::uint64_t records_read = 0;       // centroid records visited
  std::uint64_t containment_tests = 0;  // containing searches run
};

class pipZip4FileObject {
 public:
  static constexpr char kObjectFileGone[] =
      "pipZip4FindNext: the object file of pipZip4FindFirst is no longer open.";
  // Longest object name the memo keeps.
  static constexpr int kNameSize = 256;

  // Opens the centroid file and its area index; failures are recorded in
  // `err` and leave ready() false.
  pipZip4FileObject(pipError& err, const char* file_name);
  ~pipZip4FileObject();
  pipZip4FileObject(const pipZip4FileObject&) = delete;
  pipZip4FileObject& operator=(const pipZip4FileObject&) = delete;

  bool ready() const;

  // Starts a search of the centroids against the object file behind
  // `object_handle` (`objects`), within `distance` feet; the first hit is
  // written to `out`.  1 found; 0 none; -1 failure (recorded).
  int FindFirst(pipObjectFileObject& objects, int object_handle, std::int32_t distance,
                const Zip4Outputs& out);
  // The next hit of the search: 1; 0 no more; -1 failure.
  int FindNext(const Zip4Outputs& out);

  const Zip4SearchStats& stats() const { return stats_; }
  const Z9Reader& z9() const { return *z9_; }

 private:
  // The search itself, once the object file's reader is known to be valid.
  int Continue(const Zip4Outputs& out);
  // Moves to the next area that meets an object rectangle: 1 with zip_ set,
  // 0 with zip_ = 0 when none is left, -1 with zip_ = -1 on a read failure.
  int NextArea();
  // 1 when the current record's centroid is contained (the memo's name is
  // then its object's), 0 when not, -1 on failure.
  int TestCentroid(std::int32_t x, std::int32_t y);
  int Fail();
  // Ends the probes of the last search (its object file may be closed).
  void DropProbes();

  pipError& err_;
  std::unique_ptr<Z9Reader> z9_;
  std::unique_ptr<Z9AreaIndex> areas_;
  // The search's object file: its handle and object (checked again by every
  // FindNext) and the reader with its area-probe enumerator.
  int object_handle_ = 0;
  pipObjectFileObject* objects_ = nullptr;
  PolygonSearch* reader_ = nullptr;
  std::unique_ptr<SpatialIndexEnum> area_probe_;
  // The containing search, moved from centroid to centroid.
  std::unique_ptr<PolySearchPointInPolygon> centroid_probe_;
  std::int32_t distance_ = 0;
  std::int32_t zip_ = 0;
  bool new_area_ = false;
  // The centroid memo.
  bool memo_valid_ = false;
  std::int32_t memo_x_ = 0;
  std::int32_t memo_y_ = 0;
  bool memo_contained_ = false;
  char memo_name_[kNameSize] = {0};
  Zip4SearchStats stats_;
};

#endif  // LUMETRA_ZIP4_ZIP4_FILE_OBJECT_H
