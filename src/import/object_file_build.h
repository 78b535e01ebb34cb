// ObjectFileBuild: the one writer of object files, and the object behind an
// import handle (kind 2).
//
// A build creates its output file with a zeroed 536-byte header (and, for the
// extended import, a reserved 324-byte extension block), then takes records
// one at a time at the end of the file -- written by the QPolygonObject
// family -- while it keeps the header's maxima, counts and box, feeds the
// name-index tree builder (key: the first 8 bytes of the record's names
// block, value: the record's u64 offset) and the R-tree builder (record
// rectangle, offset).  Finish writes both indexes behind the records and
// rewrites the header and the extension block.  A build destroyed before a
// successful Finish closes and deletes its file.
//
// Scratch arrays shared by all objects of the build are sized once, from the
// import limits at creation (under the limits' locks): points, part counts
// and, when the file carries segment records, segment records.  The arrays
// are reserved, not written, so an import with large limits costs address
// space rather than memory until its objects need it.  Objects never
// take more than these arrays hold, whatever the process-wide limits become.
//
// The build also holds the import handle's current format reader; installing
// a new reader destroys the old one first (its pending object is lost).
//
// Ownership: the build does not own its error record (the library handle's
// record), which must outlive it; it owns its file, its index builders, its
// scratch arrays and its reader.  Thread rule: one thread at a time.
//
// Usage:
//   auto build = std::make_unique<ObjectFileBuild>(err, "out.obj", info);
//   if (!build->success()) return -1;  // reported
//   QPolygonRegion region(*build, "A", "", 0); ... region.Write();
//   if (!build->Finish()) return -1;   // the file is deleted with the build
#ifndef LUMETRA_IMPORT_OBJECT_FILE_BUILD_H
#define LUMETRA_IMPORT_OBJECT_FILE_BUILD_H

#include <lumetra/pip.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "import/import_options.h"
#include "objfile/extension_block.h"
#include "objfile/object_header.h"
#include "objfile/object_record.h"
#include "storage/qio.h"

class pipError;
class ImportRead;
class QTreeBuilder;
namespace lumetra {
class RtreeBuilder;
}

class ObjectFileBuild {
 public:
  // Longest output file name kept.
  static constexpr std::size_t kMaxFileName = 259;
  // Largest column compressor capacity, in bytes.
  static constexpr std::uint32_t kMaxCompressorBytes = 65530;
  // Page size of the R-tree of object files.
  static constexpr std::uint32_t kRtreePageSize = 32768;

  // Creates the build: header (default signature, magic, flags =
  // info.flags | 8, coordinate type, empty box), output file with the
  // header's 536 bytes reserved, scratch arrays sized from the current
  // import limits, index builders and, with flag bit 1, the column
  // compressors' capacity.  Failures are reported to err and leave
  // success() false (and no file behind, unless one existed that could
  // not be opened).  The caller has checked and set the limits.
  ObjectFileBuild(pipError& err, const char* file_name, const pipObjectFileInfoStruct& info);
  // Destroys the reader first, then closes the file and deletes it unless
  // the build was finished.
  ~ObjectFileBuild();
  ObjectFileBuild(const ObjectFileBuild&) = delete;
  ObjectFileBuild& operator=(const ObjectFileBuild&) = delete;

  bool success() const { return success_; }
  bool finished() const { return finished_; }
  pipError& error() const { return err_; }
  const std::string& file_name() const { return file_name_; }

  // --- header ---
  const lumetra::ObjectHeader& header() const { return header_; }
  // Replaces the signature text with the first 255 characters of text.
  void SetHeaderText(const char* text);
  // Fills the extension block (texts cut at 256 and 32 characters, the
  // ctime() text of `now` without its newline, version 12, code), sets the
  // header's extension flag and reserves the block's 324 bytes directly
  // behind the header.  False (reported) when the reservation fails or the
  // file already holds records.
  bool AddExtension(std::uint16_t code, const char* text1, const char* text2, std::time_t now);
  const lumetra::ExtensionBlock* extension() const {
    return extension_position_ >= 0 ? &extension_ : nullptr;
  }
  std::uint16_t flags() const { return header_.flags; }
  bool has_segments() const { return header_.HasSegments(); }
  bool compressed() const { return header_.IsCompressed(); }
  bool is_tax_file() const { return header_.IsTaxFile(); }
  bool geographic() const { return header_.coordinate_type == lumetra::ObjectHeader::kGeographic; }

  // --- options (pipImportSetOptions) ---
  const lumetra::ImportOptions& options() const { return options_; }
  // Takes the option flags for this build.  Refused -- code 106 for bits
  // that name no option, code 100 once a reader was installed or an object
  // inserted or written -- with false.  With the fine stamp the extension
  // block's creation time (when there is a block) is stamped anew.
  bool SetOptions(int flags);

  // --- ordinals ---
  // Increments the object counter and returns it: 1, 2, 3, ...
  std::int32_t NextOrdinal() { return ++object_count_; }
  std::int32_t object_count() const { return object_count_; }

  // --- scratch arrays of the line family ---
  // Hands the arrays to a new object and returns its claim; any older claim
  // is void from then on.
  std::uint64_t ClaimArrays();
  bool HoldsArrays(std::uint64_t claim) const { return claim != 0 && claim == array_claim_; }
  // Gives the arrays up (nothing when the claim is no longer current).
  void ReleaseArrays(std::uint64_t claim);
  // Capacity of the arrays: the most points and parts one object may have,
  // also when the process-wide limits are raised later.
  std::int32_t point_capacity() const { return point_capacity_; }
  std::int32_t part_capacity() const { return part_capacity_; }
  // The limits that apply to an object now: the current import limits, but
  // never more than the arrays hold.
  std::int32_t PointLimit() const;
  std::int32_t PolygonLimit() const;
  // The region or line record being filled.  Its point array is reserved
  // for point_capacity() points, its ring counts for part_capacity() parts
  // and, when the file carries segment records, its segment array for
  // point_capacity() records, so filling within the capacities never
  // reallocates.  ClaimArrays empties it.
  lumetra::PolyRecord& record() { return record_; }
  // The largest compressed column a record may hold: the column
  // compressors' capacity, 4 x point capacity but at most 65530 bytes, and
  // never beyond the format's 65525 bytes per column.
  std::size_t column_max_bytes() const { return column_max_bytes_; }

  // --- records ---
  // Appends a record at the end of the file: accounts for it in the header
  // (maxima, count, box widened by its rectangle), zero-fills its space,
  // adds its name key (the first 8 bytes of its names block) and its
  // rectangle with its offset to the index builders, then writes its bytes.
  // A region or line record is written compressed when its flags ask for it
  // and every column fits column_max_bytes(); otherwise uncompressed with
  // the record's compression flag cleared.  False after a reported failure.
  bool AppendRecord(const lumetra::PolyRecord& record);
  bool AppendRecord(const lumetra::PointRecord& record);
  // Records appended so far.
  std::int64_t records_written() const { return records_written_; }

  // --- the insert path (pipImportInsert, market-area output) ---
  // Inserts one object described by info: type 0 region or 1 line from
  // num_parts parts (part i holds part_counts[i] points, taken one after
  // another from the x, y pairs of points), type 2 point at info's
  // position.  In a tax-boundary file every coordinate is rounded to a
  // multiple of 100 (a point's position in info itself).  The object
  // counter is incremented first and its value written into info.penColor,
  // the colour stored for the object, whether or not the object is then
  // accepted.  An unknown type reports code 100 "Invalid object type.".
  // False after a reported failure; the object is then not written and the
  // build goes on.
  bool Insert(pipObjectInfoStruct& info, const std::int32_t* points,
              const std::int32_t* part_counts, std::int32_t num_parts);

  // --- finishing ---
  // Builds the name index and the R-tree at the end of the file, stores
  // their roots (u64 fields and the large-file flag when the name index
  // lies at or beyond 2 GiB), rewrites the header and the extension block
  // and closes the file.  False after a reported failure; the build stays
  // unfinished and its file is deleted when the build is destroyed.
  bool Finish();

  // --- the import handle's reader ---
  // Installs reader (destroying the current one first).  Null only removes
  // the current one.
  void SetReader(std::unique_ptr<ImportRead> reader);
  // Destroys the current reader, if any; its pending object is lost.
  void CloseReader();
  ImportRead* reader() const { return reader_.get(); }

 private:
  bool CreateFile();
  bool AllocateScratch();
  bool CanWrite();
  bool WriteAt(std::int64_t offset, const void* data, std::size_t size);
  std::int64_t AppendBytes(lumetra::ObjectKind kind, const lumetra::NamesBlock::Key& key,
                           const lumetra::Rect& rect, std::uint32_t point_count,
                           std::uint32_t part_count);
  bool FinishIndexes(std::uint64_t* name_root, std::uint64_t* spatial_root);
  bool RewriteHeader();
  void Discard();

  pipError& err_;
  bool success_ = false;
  bool finished_ = false;
  std::string file_name_;
  UniqueFd fd_;
  bool created_ = false;  // the file exists because this build created it
  lumetra::ObjectHeader header_;
  lumetra::ExtensionBlock extension_;
  std::int64_t extension_position_ = -1;
  std::int32_t object_count_ = 0;
  lumetra::ImportOptions options_;
  std::uint64_t array_claim_ = 0;
  std::int32_t point_capacity_ = 0;
  std::int32_t part_capacity_ = 0;
  lumetra::PolyRecord record_;
  std::size_t column_max_bytes_ = 0;
  std::vector<std::uint8_t> record_bytes_;  // encoding buffer, reused
  std::unique_ptr<QTreeBuilder> name_index_;
  std::unique_ptr<lumetra::RtreeBuilder> rtree_;
  std::int64_t records_written_ = 0;
  std::unique_ptr<ImportRead> reader_;
};

#endif  // LUMETRA_IMPORT_OBJECT_FILE_BUILD_H
