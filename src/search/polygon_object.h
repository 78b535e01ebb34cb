// PolygonObject: one reusable record buffer of an open object file's
// polygon cache ("polyList", owned by PolygonSearch).
//
// A buffer is sized once, when the file is opened, from the file's maxima
// (largest record, most points, most rings; see PolygonSearch for how the
// maxima are bounded by the file's size): the raw record bytes, the decoded
// coordinates, the segment records and the part list all have their full
// capacity from the start, so Load never allocates for a record that fits
// the maxima.  A record that does not fit them is refused, never read past.
//
// Load reads a record (region, line or point) at a file position and
// decodes it with the object file's record decoder (objfile/object_record.h,
// which also decodes the compressed coordinate columns); it distrusts every
// length, count and offset it finds.  After a successful Load the buffer
// holds that record until the next Load; after a failed one it is empty.
//
// Coordinates are i32 file units (millionths of a degree in geographic
// files, coordinate type 1); segment records are relative to the record's
// origin, in feet for geographic files.
//
// Ownership: the header and the error record are not owned and must outlive
// the buffer.  Thread rule: one thread at a time (the reader's).
#ifndef LUMETRA_SEARCH_POLYGON_OBJECT_H
#define LUMETRA_SEARCH_POLYGON_OBJECT_H

#include <lumetra/pip.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "objfile/object_header.h"
#include "objfile/object_record.h"
#include "search/point_in_object.h"
#include "storage/dlist.h"

class QError;
class Qfile;

class PolygonObject : public QLRUObject {
 public:
  // A buffer for records of the file with `header` whose sizes stay within
  // `limits` (the reader's bounded maxima; see PolygonSearch).  ready()
  // tells whether every buffer could be allocated (std::bad_alloc is caught
  // here).  `file_name` names the file in error details and must outlive
  // the buffer.
  PolygonObject(const lumetra::ObjectHeader& header, const lumetra::RecordLimits& limits,
                QError& err, const char* file_name);
  ~PolygonObject() override;

  // True when the buffer holds the record at file position `position`.
  virtual bool IsHolding(std::uint64_t position) const;
  // True when the buffer holds any record.
  virtual bool HoldsRecord() const;
  // List hook: `key` points at a u64 file position (QDlist::Find).
  bool Matches(const void* key) const override;
  // A list walk stops at the first empty buffer.
  bool KeepSearching() const override { return HoldsRecord(); }

  // Reads and decodes the record at `position` of `file`.  False, with the
  // buffer left empty, when the record cannot be read or does not decode
  // (the file layer or the decoder recorded why).
  bool Load(Qfile& file, std::uint64_t position);
  // Forgets the record held.
  void Clear();

  bool ready() const { return ready_; }
  std::uint64_t position() const { return position_; }

  // --- the record held (valid while HoldsRecord()) ---
  lumetra::ObjectKind kind() const { return kind_; }
  // 0 region, 1 line, 2 point.
  int type() const { return static_cast<int>(kind_); }
  bool is_point() const { return kind_ == lumetra::ObjectKind::kPoint; }
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
  const lumetra::PolygonPart* parts() const { return parts_.data(); }
  std::size_t part_count() const { return parts_.size(); }
  // The coordinates of all parts of a region or line, one after another
  // (none for a point: see Label()).
  const lumetra::RecordPoint* points() const { return poly_.points.data(); }
  std::size_t point_count() const;
  // Segment records of a region or line whose record carries them.
  bool has_segments() const;
  const lumetra::SegmentRecord* segments() const { return poly_.segments.data(); }
  std::size_t segment_count() const { return has_segments() ? poly_.segments.size() : 0; }

  // The decoded record: poly() for regions and lines, point() for points.
  const lumetra::PolyRecord& poly() const { return poly_; }
  const lumetra::PointRecord& point() const { return point_; }

  std::uint16_t coordinate_type() const { return header_.coordinate_type; }
  bool geographic() const { return header_.coordinate_type == lumetra::ObjectHeader::kGeographic; }
  const lumetra::ObjectHeader& header() const { return header_; }

  // Capacities taken at construction (for the tests of the no-allocation
  // guarantee).
  std::size_t record_capacity() const { return record_.size(); }
  std::size_t point_capacity() const { return poly_.points.capacity(); }

 private:
  bool Decode(std::uint32_t length);
  void BuildParts();

  const lumetra::ObjectHeader& header_;
  lumetra::RecordContext context_;
  QError& err_;
  std::vector<std::uint8_t> record_;  // the raw record, max record size bytes
  lumetra::PolyRecord poly_;          // decoded region or line
  lumetra::PointRecord point_;        // decoded point
  std::vector<lumetra::PolygonPart> parts_;
  lumetra::ObjectKind kind_ = lumetra::ObjectKind::kRegion;
  std::uint64_t position_ = 0;  // 0: empty
  bool ready_ = false;
};

namespace lumetra {

// Describes the record held by `object` (REQUIRES: HoldsRecord()) in the
// public object structure: names cut at 127 characters, type, id, label
// point or position, rectangle, pen or symbol, and the brush of regions
// (zero for lines and points).
void FillObjectInfo(const PolygonObject& object, pipObjectInfoStruct* info);

}  // namespace lumetra

#endif  // LUMETRA_SEARCH_POLYGON_OBJECT_H
