// SpatialIndex / SpatialIndexEnum: the one interface behind which an object
// file's spatial index answers "which records have a bounding rectangle that
// meets this rectangle?".
//
// Two implementations exist: rtSpatialIndex (the paged R-tree of files this
// library writes, rt_spatial_index.h) and QxySpatialIndex (the grid-cell
// index of old files, qxy_spatial_index.h).  An enumerator hands out
// candidate record offsets one at a time; the caller tests every candidate
// exactly, because an index may return records that do not meet the query
// (the grid index works in whole cells) but never omits one that does.
//
// Thread rule: an index and its enumerators belong to the thread that uses
// the object file.
//
// Usage:
//   std::unique_ptr<SpatialIndexEnum> it = index.CreateEnum();
//   std::uint64_t offset;
//   for (bool more = it->First(query, &offset); more; more = it->Next(&offset)) {
//     ... load the record at `offset` and test it ...
//   }
#ifndef LUMETRA_STORAGE_SPATIAL_INDEX_H
#define LUMETRA_STORAGE_SPATIAL_INDEX_H

#include <cstdint>
#include <memory>

class QError;

namespace lumetra {

// A rectangle in file coordinates (millionths of a degree in geographic
// files), in the order minimum x, minimum y, maximum x, maximum y.  Edges
// belong to the rectangle.
struct Rect {
  std::int32_t minx = 0;
  std::int32_t miny = 0;
  std::int32_t maxx = 0;
  std::int32_t maxy = 0;

  // True when the two rectangles share at least one point (touching edges
  // and corners included): each one's minimum is at most the other's
  // maximum on both axes.
  bool Meets(const Rect& other) const {
    return minx <= other.maxx && other.minx <= maxx && miny <= other.maxy && other.miny <= maxy;
  }

  // True when a minimum lies above its maximum: such a rectangle still meets
  // some others (Meets compares across), but covers no point itself.
  bool Inverted() const { return minx > maxx || miny > maxy; }

  // Grows this rectangle to cover `other` as well.
  void Include(const Rect& other) {
    if (other.minx < minx) minx = other.minx;
    if (other.miny < miny) miny = other.miny;
    if (other.maxx > maxx) maxx = other.maxx;
    if (other.maxy > maxy) maxy = other.maxy;
  }

  bool operator==(const Rect& o) const {
    return minx == o.minx && miny == o.miny && maxx == o.maxx && maxy == o.maxy;
  }
  bool operator!=(const Rect& o) const { return !(*this == o); }
};

}  // namespace lumetra

// Enumerates the candidate records of one query.  First (re)starts the
// enumeration for a query rectangle; Next continues it.  Both return false
// when no candidate is left, and keep returning false until First is called
// again.  `offset` receives the candidate's record file offset; it must not
// be null.
class SpatialIndexEnum {
 public:
  SpatialIndexEnum() = default;
  SpatialIndexEnum(const SpatialIndexEnum&) = delete;
  SpatialIndexEnum& operator=(const SpatialIndexEnum&) = delete;
  virtual ~SpatialIndexEnum() = default;

  virtual bool First(const lumetra::Rect& query, std::uint64_t* offset) = 0;
  virtual bool Next(std::uint64_t* offset) = 0;
};

// A spatial index over the records of one object file.  Failures are
// reported to the error sink given at construction, which the index does not
// own and which must outlive it.  An index that is not ready must not be
// asked for enumerators (CreateEnum then returns null).
class SpatialIndex {
 public:
  explicit SpatialIndex(QError& error) : error_(error) {}
  SpatialIndex(const SpatialIndex&) = delete;
  SpatialIndex& operator=(const SpatialIndex&) = delete;
  virtual ~SpatialIndex() = default;

  virtual bool IsReady() const = 0;
  // A new enumerator owned by the caller; it reads through this index,
  // which must outlive it.  Null when the index is not ready.  All memory an
  // enumeration needs is taken here, none while enumerating.
  virtual std::unique_ptr<SpatialIndexEnum> CreateEnum() = 0;

 protected:
  QError& error() const { return error_; }

 private:
  QError& error_;
};

#endif  // LUMETRA_STORAGE_SPATIAL_INDEX_H
