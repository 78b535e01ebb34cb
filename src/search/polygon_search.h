// PolygonSearch: the reader of one open object file -- its header and
// extension block, spatial index, name index, polygon cache and search
// distance.  Every search of an object-file handle reads through it.
//
// Opening (the constructor) reads and checks the 536-byte header (and the
// 324-byte extension block when the header announces one), builds the
// spatial index (the R-tree of current and large files, the grid index of
// old ones), the name index (a QTree keyed by the first 8 bytes of each
// record's names block) and the polygon cache, a list "polyList" of
// PolygonObject buffers kept most recently used first.  A step that fails
// has recorded its reason in the error record; ready() is then false.
//
// Open mode.  mode & 3 selects the cache budget (below); mode &
// PIP_OPEN_MAPPED (4) reads the file through the process's shared read-only
// mapping of it (falling back to ordinary reads when it cannot be mapped),
// so that uncompressed records are used in place, never copied.
//
// Cache sizing.  The record budget S is the header's largest record, plus 8
// bytes per point of the most points when coordinates are compressed, plus
// 28 more per point when segment records are also present; S is 0 for a
// file without regions whose most-parts field is 0.  Open mode & 3 = 0 gives
// one buffer; 1, 2 and 3 give a memory budget M of 5, 20 and 100 MiB and
// N = M / S buffers (at least 2; 2 when S is 0).  Beyond that, the reader
// never makes more buffers than the header says the file has records (but
// at least 2 for modes 1-3), nor more than M / kBufferBookkeeping, nor more
// than fit twice the budget with each buffer's full decoded size (but at
// least 2): extra buffers could never hold a record, tiny records must not
// turn the budget into bookkeeping, and a header whose maxima disagree with
// each other must not multiply the budget.  The caps change no answer.
//
// Hostile files.  The header's maxima size the buffers, so they are bounded
// before use (BoundedLimits): the largest record by the file's size, the
// most rings by what such a record can hold, and the most points by what
// the record can hold plainly (or, for compressed files, what compressed
// columns can hold).  Records beyond these limits are refused when loaded.
//
// Ownership: the reader owns its file, indexes and buffers; the error
// record is not owned and must outlive it.  Thread rule: one thread at a
// time (the cache order and the file position are shared state).
//
// Usage:
//   PolygonSearch reader(err, "regions.obj", PIP_OPEN_CACHE_5MB);
//   if (!reader.ready()) return -1;                  // reason recorded
//   PolygonObject* object = reader.FindObject(offset);  // null: recorded
#ifndef LUMETRA_SEARCH_POLYGON_SEARCH_H
#define LUMETRA_SEARCH_POLYGON_SEARCH_H

#include <lumetra/pip.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "objfile/extension_block.h"
#include "objfile/object_header.h"
#include "objfile/object_record.h"
#include "search/polygon_object.h"
#include "search/record_store.h"
#include "storage/dlist.h"
#include "storage/qfile.h"

class QError;
class QTree;
class SpatialIndex;
class SpatialIndexEnum;

namespace lumetra {

// Fills `info` from an object file's header: signature text, maxima,
// bounding box (current files: the 32-bit box; old files: the coarse
// bounds), coordinate type, flags with bits 3, 4 and 5 cleared, counts.
void FillObjectFileInfo(const ObjectHeader& header, pipObjectFileInfoStruct* info);

}  // namespace lumetra

class PolygonSearch {
 public:
  static constexpr std::int32_t kDefaultSearchDistance = PIP_DEFAULT_SEARCH_DISTANCE;
  static constexpr std::int32_t kMinSearchDistance = PIP_MIN_SEARCH_DISTANCE;
  static constexpr std::int32_t kMaxSearchDistance = PIP_MAX_SEARCH_DISTANCE;
  static constexpr const char* kNameIndexLabel = "PolygonSearch::PolygonSearch";
  static constexpr const char* kCacheLabel = "polyList";
  // Bytes of bookkeeping counted per buffer when capping the buffer count.
  static constexpr std::uint64_t kBufferBookkeeping = 1024;

  // Opens `file_name` with open mode `mode` (mode & 3 selects the cache
  // budget).  Test ready() for the outcome.
  PolygonSearch(QError& err, const char* file_name, int mode);
  ~PolygonSearch();
  PolygonSearch(const PolygonSearch&) = delete;
  PolygonSearch& operator=(const PolygonSearch&) = delete;

  bool ready() const { return ready_; }

  // The buffer holding the record at `position`: a cached one, else the
  // least recently used buffer loaded with it.  The buffer moves to the
  // front.  Null when the record cannot be loaded (recorded).
  // REQUIRES: ready().
  PolygonObject* FindObject(std::uint64_t position);

  // The kind of the record at `position` and its point (a point object's
  // position, else the label point), without making a buffer hold it: the
  // record is read and decoded into the store when it is not there yet.
  // False when it cannot be read (recorded).  REQUIRES: ready().
  bool PeekRecord(std::uint64_t position, lumetra::ObjectKind* kind, lumetra::RecordPoint* at) {
    return store_->Peek(position, kind, at);
  }

  const lumetra::ObjectHeader& header() const { return header_; }
  bool has_extension() const { return has_extension_; }
  const lumetra::ExtensionBlock& extension() const { return extension_; }
  bool geographic() const { return header_.coordinate_type == lumetra::ObjectHeader::kGeographic; }
  std::uint16_t coordinate_type() const { return header_.coordinate_type; }
  const char* file_name() const { return file_.name(); }
  Qfile& file() { return file_; }
  QError& error() const { return err_; }
  // The indexes; null until opened (never null when ready()).
  SpatialIndex* spatial_index() const { return spatial_index_.get(); }
  QTree* name_index() const { return name_index_.get(); }

  // An enumerator of the spatial index for a search: the one a finished
  // search handed back, else a new one (null when the index cannot give
  // one).  Searches hand theirs back when they end, so that starting a
  // search allocates nothing.
  std::unique_ptr<SpatialIndexEnum> TakeEnumerator();
  void ReturnEnumerator(std::unique_ptr<SpatialIndexEnum> enumerator);

  // --- name lookups ---
  // Name lookups compare at most this many leading characters of a key.
  static constexpr std::size_t kNameCompareLength = 8;
  // Positions the name index on the first entry whose key equals `key` over
  // its first min(`compare_length`, 8, tree key length) characters (ASCII
  // case ignored, a NUL ending both keys making them equal); *position
  // receives the record position the entry names.  Only the first
  // `key_size` bytes of `key` are used.  False when no entry matches or the
  // index is damaged (recorded).  One lookup at a time per reader: each
  // call restarts the index's cursor.
  bool FindNameEntry(const char* key, std::size_t key_size, std::size_t compare_length,
                     std::uint64_t* position);
  // The entry after the cursor when its key equals the last looked-up key
  // under the same comparison; false at the end (or before a lookup).
  bool NextNameEntry(std::uint64_t* position);

  // Search distance in feet (nearest search): 366000 at open.
  std::int32_t search_distance() const { return search_distance_; }
  // Stores `feet` clamped into [2738, 36521358]; false when it was clamped.
  bool SetSearchDistance(std::int32_t feet);

  // The bounded maxima the buffers were sized for.
  const lumetra::RecordLimits& limits() const { return limits_; }
  std::size_t buffer_count() const { return buffers_.size(); }
  // Records loaded into buffers so far (buffer misses, whether the store
  // still held the record or it was read again).
  std::uint64_t load_count() const { return load_count_; }
  // True when the buffers can hold every record (no relinking).
  bool all_held() const { return all_held_; }
  const lumetra::RecordStore& store() const { return *store_; }
  lumetra::RecordStore& store() { return *store_; }
  // The cached positions, most recently used first (0 for an empty buffer);
  // in buffer order when all_held().
  std::vector<std::uint64_t> CachedPositionsForTest() const;

  // The record budget S of one buffer (see the file comment).
  static std::uint64_t CacheRecordBudget(const lumetra::ObjectHeader& header);
  // The buffer count N for `mode` (see the file comment), before the caps
  // by record count and bookkeeping.
  static std::size_t CacheBufferCount(const lumetra::ObjectHeader& header, int mode);
  // N with the caps applied, for buffers sized by `limits`: what the reader
  // creates.
  static std::size_t CappedBufferCount(const lumetra::ObjectHeader& header,
                                       const lumetra::RecordLimits& limits, int mode);
  // The bytes one buffer takes for records within `limits`.
  static std::uint64_t BufferFootprint(const lumetra::ObjectHeader& header,
                                       const lumetra::RecordLimits& limits);
  // The store's budget for `buffers` buffers in `mode`.
  static std::uint64_t StoreBudget(const lumetra::ObjectHeader& header, std::size_t buffers,
                                   int mode);
  // The header's maxima bounded by a file of `file_size` bytes.
  static lumetra::RecordLimits BoundedLimits(const lumetra::ObjectHeader& header,
                                             std::int64_t file_size);

 private:
  bool Open(const char* file_name, int mode);
  bool ReadHeader(const char* file_name);
  bool OpenSpatialIndex();
  bool OpenNameIndex();
  bool CreateBuffers(int mode);
  // The record position held by a name-index value; false (recorded) when
  // the index's values cannot hold one.
  bool DecodeNameValue(std::uint64_t* position);

  QError& err_;
  Qfile file_;
  lumetra::ObjectHeader header_;
  lumetra::ExtensionBlock extension_;
  bool has_extension_ = false;
  lumetra::RecordLimits limits_;
  // Destroyed in reverse order: cache, spatial index, name index, file.
  std::unique_ptr<QTree> name_index_;
  std::unique_ptr<SpatialIndex> spatial_index_;
  std::unique_ptr<SpatialIndexEnum> spare_enumerator_;  // destroyed before the index
  QDlist poly_list_;                                    // most recently used first
  // Declared before the buffers, which release their records into it.
  std::unique_ptr<lumetra::RecordStore> store_;
  // Declared after the list: buffers unlink themselves while it still lives.
  std::vector<std::unique_ptr<PolygonObject>> buffers_;
  bool all_held_ = false;
  std::size_t next_empty_ = 0;  // all_held_: buffers_[next_empty_ ..] hold nothing
  std::int32_t search_distance_ = kDefaultSearchDistance;
  std::uint64_t load_count_ = 0;
  // Characters the name index's comparison reads: the tree's key length,
  // narrowed by FindNameEntry for the lookup under way.
  std::size_t name_compare_length_ = 0;
  std::vector<std::uint8_t> name_value_;  // one leaf value of the name index
  bool ready_ = false;
};

#endif  // LUMETRA_SEARCH_POLYGON_SEARCH_H
