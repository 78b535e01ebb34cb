// PolygonObject: one buffer of an open object file's polygon cache
// ("polyList", owned by PolygonSearch): the record a search stands on.
//
// A buffer holds at most one record at a time.  The record itself -- its
// decoded fields, names, coordinates, segment records and edge index -- lives
// in the reader's RecordStore (record_store.h), which reads and decodes each
// record once and keeps it while its budget allows; the buffer pins the
// record it holds.  Load makes the buffer hold another record (taken from the
// store, or read and decoded there); after a failed Load the buffer is empty.
//
// Coordinates are i32 file units (millionths of a degree in geographic
// files, coordinate type 1); segment records are relative to the record's
// origin, in feet for geographic files.
//
// Ownership: the store and the header are not owned and must outlive the
// buffer.  Thread rule: one thread at a time (the reader's).
#ifndef LUMETRA_SEARCH_POLYGON_OBJECT_H
#define LUMETRA_SEARCH_POLYGON_OBJECT_H

#include <lumetra/pip.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "objfile/object_header.h"
#include "objfile/object_record.h"
#include "search/point_in_object.h"
#include "search/record_store.h"
#include "storage/dlist.h"

class PolygonObject : public QLRUObject {
 public:
  // An empty buffer over the records of `store` (a file with `header`).
  PolygonObject(lumetra::RecordStore& store, const lumetra::ObjectHeader& header);
  ~PolygonObject() override;

  // True when the buffer holds the record at file position `position`.
  virtual bool IsHolding(std::uint64_t position) const;
  // True when the buffer holds any record.
  virtual bool HoldsRecord() const;
  // List hook: `key` points at a u64 file position (QDlist::Find).
  bool Matches(const void* key) const override;
  // A list walk stops at the first empty buffer.
  bool KeepSearching() const override { return HoldsRecord(); }

  // Makes the buffer hold the record at `position`.  False, with the buffer
  // left empty, when the record cannot be read or does not decode (the file
  // layer or the decoder recorded why).
  bool Load(std::uint64_t position);
  // Forgets the record held.
  void Clear();

  bool ready() const { return true; }
  std::uint64_t position() const { return position_; }
  // The decoded record held (null when empty).
  const lumetra::DecodedRecord* record() const { return record_; }

  // --- the record held (valid while HoldsRecord()) ---
  lumetra::ObjectKind kind() const { return record_->kind(); }
  // 0 region, 1 line, 2 point.
  int type() const { return static_cast<int>(kind()); }
  bool is_point() const { return record_->is_point(); }
  std::uint8_t id() const;
  const std::string& name() const;
  const std::string& second_name() const;
  // The object's attribute key: the ordinal stored in its record (pen
  // colour of regions and lines, symbol colour of points).
  std::uint32_t AttributeKey() const;
  // Label point of a region or line; the position of a point.
  lumetra::RecordPoint Label() const;
  // The record's rectangle: a point's own position; for regions and lines
  // the 32-bit rectangle of current records, else the one of the coarse
  // 16-bit bounds.
  lumetra::Rect Bounds() const;
  // The origin of the segment records: the rectangle's minimum corner.
  lumetra::RecordPoint Origin() const;

  // Parts (rings) of a region or line; none for a point.
  const lumetra::PolygonPart* parts() const { return record_->parts(); }
  std::size_t part_count() const { return record_->part_count(); }
  // The coordinates of all parts of a region or line, one after another
  // (none for a point: see Label()).
  const lumetra::RecordPoint* points() const { return record_->points(); }
  std::size_t point_count() const { return is_point() ? 0 : record_->point_count(); }

  // PointInObject for this object (a region's parts), answered through the
  // region's edge index when it has one: 1 on the boundary, else the
  // crossings left of the point.
  int PointIn(std::int32_t x, std::int32_t y);

  // Segment records of a region or line whose record carries them: the
  // record flag says so (has_segments); LoadSegments makes them available
  // (false when they cannot be read, recorded), after which segments() and
  // segment_count() give them.  segment_count() is 0 before.
  bool has_segments() const;
  bool LoadSegments();
  const lumetra::SegmentRecord* segments() const { return record_->segments(); }
  std::size_t segment_count() const { return has_segments() ? record_->segment_count() : 0; }

  // The decoded record: poly() for regions and lines (fixed fields and
  // names; see points() for the coordinates), point() for points.
  const lumetra::PolyRecord& poly() const { return record_->poly(); }
  const lumetra::PointRecord& point() const { return record_->point(); }

  std::uint16_t coordinate_type() const { return header_.coordinate_type; }
  bool geographic() const { return header_.coordinate_type == lumetra::ObjectHeader::kGeographic; }
  const lumetra::ObjectHeader& header() const { return header_; }

 private:
  lumetra::RecordStore& store_;
  const lumetra::ObjectHeader& header_;
  lumetra::DecodedRecord* record_ = nullptr;  // pinned in the store while held
  std::uint64_t position_ = 0;                // 0: empty
};

namespace lumetra {

// Describes the record held by `object` (REQUIRES: HoldsRecord()) in the
// public object structure: names cut at 127 characters, type, id, label
// point or position, rectangle, pen or symbol, and the brush of regions
// (zero for lines and points).
void FillObjectInfo(const PolygonObject& object, pipObjectInfoStruct* info);

}  // namespace lumetra

#endif  // LUMETRA_SEARCH_POLYGON_OBJECT_H
