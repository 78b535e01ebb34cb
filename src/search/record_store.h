// RecordStore: the decoded records of one open object file, each read and
// decoded once and kept while the memory budget allows, and DecodedRecord,
// one such record.
//
// The polygon cache (PolygonSearch's "polyList" of PolygonObject buffers)
// decides which records the searches stand on; each buffer holds its record
// through the store, which pins it.  Loading a record into a buffer asks the
// store first, so a record that a buffer gave up is taken back without
// reading or decoding it again, and its edge index (edge_index.h) with it.
//
// What a record costs.  Coordinates are decoded into the record's own array
// -- or, when the file is read through a shared mapping and the record is
// stored uncompressed, used in place in the mapping (the host being little
// endian and the record aligned, both checked), so that nothing is copied.
// Segment records are decoded only when a search asks for them
// (LoadSegments): a lookup without a radius never pays for them.  The edge
// index of a region is built the first time a point is tested against it
// (Edges), when the region has enough points: as dense as the free part of
// the budget allows, but at least a sparse one of about 6 bytes a point.
//
// Budget.  Every record counts the bytes it holds (arrays, names, part
// list, edge index; nothing for arrays used in place).  When the total
// passes the budget, records no buffer pins are dropped, least recently
// released first; pinned records are never dropped, so the total can pass
// the budget by at most what the buffers pin.  A dropped record's storage is
// reused by the next record read, so a small cache that reloads records over
// and over does not allocate for each load.
//
// Ownership: the file, header and error record are not owned and must
// outlive the store.  Thread rule: one thread at a time (the reader's).
#ifndef LUMETRA_SEARCH_RECORD_STORE_H
#define LUMETRA_SEARCH_RECORD_STORE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "objfile/object_header.h"
#include "objfile/object_record.h"
#include "search/edge_index.h"
#include "search/point_in_object.h"
#include "search/position_index.h"

class PolygonObject;
class QError;
class Qfile;

namespace lumetra {

class DecodedRecord {
 public:
  std::uint64_t position() const { return position_; }
  ObjectKind kind() const { return kind_; }
  bool is_point() const { return kind_ == ObjectKind::kPoint; }
  // Fixed fields and names of a region or line (its arrays may be empty:
  // see points()), or of a point.
  const PolyRecord& poly() const { return poly_; }
  const PointRecord& point() const { return point_; }

  const PolygonPart* parts() const { return parts_.data(); }
  std::size_t part_count() const { return parts_.size(); }
  const RecordPoint* points() const { return points_; }
  std::size_t point_count() const { return point_count_; }
  // The record's segment records, valid after RecordStore::LoadSegments.
  bool segments_loaded() const { return segments_loaded_; }
  const SegmentRecord* segments() const { return segments_; }
  std::size_t segment_count() const { return segments_loaded_ ? poly_.area.segment_count : 0; }
  // The edge index, when one was built (RecordStore::Edges builds it).
  const EdgeIndex* edges() const { return edges_.get(); }
  // Bytes the record holds (see the budget in the file comment).
  std::size_t bytes() const { return bytes_; }

  // The buffer that holds this record, or null.
  PolygonObject* holder() const { return holder_; }
  void set_holder(PolygonObject* holder) { holder_ = holder; }

 private:
  friend class RecordStore;

  void Clear();
  void BuildParts();
  std::size_t CountBytes() const;

  std::uint64_t position_ = 0;
  ObjectKind kind_ = ObjectKind::kRegion;
  PolyRecord poly_;
  PointRecord point_;
  const RecordPoint* points_ = nullptr;
  std::size_t point_count_ = 0;
  const SegmentRecord* segments_ = nullptr;
  bool segments_loaded_ = false;
  bool edges_tried_ = false;
  std::vector<PolygonPart> parts_;
  std::unique_ptr<EdgeIndex> edges_;
  std::size_t bytes_ = 0;
  int pins_ = 0;
  PolygonObject* holder_ = nullptr;
  // Least recently released first; only unpinned records are listed.
  DecodedRecord* older_ = nullptr;
  DecodedRecord* newer_ = nullptr;
  bool listed_ = false;
  std::size_t slot_ = 0;  // place in RecordStore::records_
};

class RecordStore {
 public:
  // A store for the records of `file` (with `header`), each within
  // `limits`, holding up to `budget` bytes.  ready() is false when the read
  // buffer could not be allocated.
  RecordStore(QError& err, Qfile& file, const ObjectHeader& header, const RecordLimits& limits,
              std::uint64_t budget);
  ~RecordStore();
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;

  bool ready() const { return ready_; }

  // The record at `position` when the store holds it, else null; reads
  // nothing.
  DecodedRecord* Find(std::uint64_t position) const { return held_.Find(position); }
  // The record at `position`, pinned: taken from the store, or read and
  // decoded.  Null when it cannot be read or does not decode (the file
  // layer or the decoder recorded why).
  DecodedRecord* Acquire(std::uint64_t position);
  // Unpins a record from Acquire.
  void Release(DecodedRecord* record);
  // The kind of the record at `position` and, for a point, its position
  // (the label point of a region or line), as Acquire would give them but
  // without pinning or reordering a held record.  False when the record
  // cannot be read (recorded).
  bool Peek(std::uint64_t position, ObjectKind* kind, RecordPoint* at);

  // Makes the record's segment records available; false when they cannot be
  // read (recorded).  True at once for a record without them.
  bool LoadSegments(DecodedRecord* record);
  // The region's edge index: built at the first call when the region has
  // enough points and the index fits the budget; null otherwise.
  const EdgeIndex* Edges(DecodedRecord* record);

  std::uint64_t budget() const { return budget_; }
  std::uint64_t bytes_in_use() const { return bytes_in_use_; }
  std::size_t held() const { return held_.size(); }
  // Records read and decoded so far.
  std::uint64_t read_count() const { return read_count_; }
  // True when uncompressed records are used in place in the mapping.
  bool in_place() const { return in_place_; }

 private:
  // Decodes the record whose `size` bytes (its length at least) are at
  // `data` into `record`.
  bool Load(std::uint64_t position, const std::uint8_t* data, std::size_t size,
            DecodedRecord* record);
  bool LoadPoly(const std::uint8_t* data, std::size_t size, DecodedRecord* record);
  // The bytes of the record at `position`, its prefix checked: in the
  // mapping, or read into the read buffer.  Null on failure (recorded);
  // *size is the bytes available there, the record's length at least.
  const std::uint8_t* RecordBytes(std::uint64_t position, std::size_t* size);
  // A record to load a record of `length` bytes into: the least recently
  // released one when the store would pass its budget, else a new one.
  DecodedRecord* Slot(std::uint32_t length);
  void Account(DecodedRecord* record);
  void Drop(DecodedRecord* record);
  void EvictOverBudget();
  void List(DecodedRecord* record);
  void Unlist(DecodedRecord* record);

  QError& err_;
  Qfile& file_;
  const ObjectHeader& header_;
  RecordContext context_;
  std::uint64_t budget_;
  std::uint64_t bytes_in_use_ = 0;
  std::uint64_t read_count_ = 0;
  bool in_place_ = false;
  bool ready_ = false;
  std::vector<std::uint8_t> read_buffer_;  // descriptor access: one record
  PositionIndex<DecodedRecord> held_;
  std::vector<std::unique_ptr<DecodedRecord>> records_;  // every record held
  DecodedRecord* oldest_ = nullptr;                      // the unpinned list
  DecodedRecord* newest_ = nullptr;
};

}  // namespace lumetra

#endif  // LUMETRA_SEARCH_RECORD_STORE_H
