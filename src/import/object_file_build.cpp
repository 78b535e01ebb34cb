#include "import/object_file_build.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "frame/byte_order.h"
#include "frame/error.h"
#include "frame/text_copy.h"
#include "import/import_limits.h"
#include "import/import_read.h"
#include "import/polygon_object.h"
#include "storage/rtree_builder.h"
#include "storage/tree_builder.h"

namespace {

constexpr std::uint16_t kBuildFlagsMask = 0xFFFF;

std::uint8_t LowByte(std::int32_t v) { return static_cast<std::uint8_t>(v & 0xFF); }

// A record name field of 128 bytes need not be terminated: at most 127
// characters are taken.
std::string NameField(const char (&field)[PIP_NAME_SIZE]) {
  return lumetra::CutText(field, PIP_NAME_SIZE - 1);
}

// Fills and writes a region or line from the insert record.
bool InsertLine(QPolygonLine& line, const pipObjectInfoStruct& info, const std::int32_t* points,
                const std::int32_t* part_counts, std::int32_t num_parts, bool tax) {
  if (!line.AddParts(points, part_counts, num_parts, tax)) return false;
  line.TrimName2();
  line.set_label(info.x, info.y);
  line.set_pen(LowByte(info.penWidth), LowByte(info.penPattern), info.penColor);
  line.set_brush(info.brushPattern, info.brushForeground, info.brushBackground);
  return line.Write();
}

}  // namespace

ObjectFileBuild::ObjectFileBuild(pipError& err, const char* file_name,
                                 const pipObjectFileInfoStruct& info)
    : err_(err), file_name_(lumetra::CutText(file_name, kMaxFileName)) {
  const auto build_flags = static_cast<std::uint16_t>(info.flags & kBuildFlagsMask);
  const auto coordinate_type = static_cast<std::uint16_t>(info.coordType & 0xFFFF);
  header_ = lumetra::ObjectHeader::ForNewFile(build_flags, coordinate_type);
  if (!CreateFile()) return;
  if (!AllocateScratch()) return;
  success_ = true;
}

ObjectFileBuild::~ObjectFileBuild() {
  // The reader's pending object refers to this build's arrays: it goes first.
  reader_.reset();
  if (!finished_) Discard();
}

bool ObjectFileBuild::CreateFile() {
  const int fd = QioCreate(err_, file_name_.c_str());
  if (fd < 0) return false;
  fd_.Reset(fd);
  created_ = true;
  // The header's bytes are reserved now and written by Finish.
  const std::int64_t header_at =
      QioAppendZeros(fd_.get(), err_, lumetra::ObjectHeader::kEncodedSize);
  if (header_at != 0) {
    if (header_at > 0) {
      err_.Set(100, "Object file header could not be reserved at the start of the file", QERR_HERE);
    }
    return false;
  }
  return true;
}

bool ObjectFileBuild::AllocateScratch() {
  try {
    {
      // Every allocation sized by a limit holds that limit's lock.
      SyncLock lock(lumetra::ImportLimits::PointLock());
      point_capacity_ = lumetra::ImportLimits::PointLimit();
      const auto points = static_cast<std::size_t>(point_capacity_);
      record_.points.reserve(points);
      if (has_segments()) record_.segments.reserve(points);
    }
    {
      SyncLock lock(lumetra::ImportLimits::PolygonLock());
      part_capacity_ = lumetra::ImportLimits::PolygonLimit();
      record_.ring_counts.reserve(static_cast<std::size_t>(part_capacity_));
    }
    column_max_bytes_ = static_cast<std::size_t>(
        std::min<std::uint64_t>({4ull * static_cast<std::uint64_t>(point_capacity_),
                                 kMaxCompressorBytes, lumetra::kColumnMaxBytes}));
    name_index_ = std::make_unique<QTreeBuilder>(err_);
    rtree_ = std::make_unique<lumetra::RtreeBuilder>(err_, kRtreePageSize);
  } catch (const std::bad_alloc&) {
    err_.Report(104, "Unable to allocate memory for the object buffers.", QERR_HERE);
    return false;
  }
  // The index builders have reported their own failures.
  return name_index_->ready() && rtree_->ready();
}

void ObjectFileBuild::SetHeaderText(const char* text) {
  header_.signature = lumetra::CutText(text, lumetra::ObjectHeader::kSignatureSize - 1);
}

bool ObjectFileBuild::AddExtension(std::uint16_t code, const char* text1, const char* text2,
                                   std::time_t now) {
  if (!success_ || extension_position_ >= 0 || records_written_ > 0) {
    err_.Set(100, "The extension block must follow the header directly", QERR_HERE);
    return false;
  }
  const std::int64_t at = QioAppendZeros(fd_.get(), err_, lumetra::ExtensionBlock::kEncodedSize);
  if (at < 0) return false;
  if (static_cast<std::uint64_t>(at) != lumetra::ExtensionBlock::kFileOffset) {
    err_.Set(100, "The extension block could not be reserved behind the header", QERR_HERE);
    return false;
  }
  extension_ = lumetra::ExtensionBlock::ForNewFile(code, text1, text2, now);
  extension_position_ = at;
  header_.extension_flag = 1;
  return true;
}

bool ObjectFileBuild::SetOptions(int flags) {
  if (!lumetra::ImportOptions::Known(flags)) {
    err_.ReportF(PIP_ERR_INVALID_DATA, QERR_HERE, "Unknown import option bits 0x%x.",
                 static_cast<unsigned>(flags & ~PIP_IMPORT_OPT_ALL));
    return false;
  }
  if (reader_ != nullptr || object_count_ > 0 || records_written_ > 0) {
    err_.Report(PIP_ERR_GENERAL,
                "Import options must be set before a reader is opened or an object inserted.",
                QERR_HERE);
    return false;
  }
  options_ = lumetra::ImportOptions(flags);
  if (options_.fine_stamp() && extension_position_ >= 0) {
    extension_.creation_time = lumetra::ImportOptions::FineStampNow();
  }
  return true;
}

std::uint64_t ObjectFileBuild::ClaimArrays() {
  record_.points.clear();
  record_.ring_counts.clear();
  record_.segments.clear();
  return ++array_claim_;
}

void ObjectFileBuild::ReleaseArrays(std::uint64_t claim) {
  if (!HoldsArrays(claim)) return;
  record_.points.clear();
  record_.ring_counts.clear();
  record_.segments.clear();
  array_claim_ = 0;
}

std::int32_t ObjectFileBuild::PointLimit() const {
  return lumetra::ImportLimits::EffectivePointLimit(point_capacity_);
}

std::int32_t ObjectFileBuild::PolygonLimit() const {
  return lumetra::ImportLimits::EffectivePolygonLimit(part_capacity_);
}

bool ObjectFileBuild::AppendRecord(const lumetra::PolyRecord& record) {
  if (!CanWrite()) return false;
  record_bytes_.clear();
  const lumetra::PolyEncodeResult encoded = record.EncodeTo(&record_bytes_, column_max_bytes_);
  if (!encoded.ok) {
    err_.SetF(100, QERR_HERE, "Object %s cannot be stored: its record is inconsistent",
              record.name.c_str());
    return false;
  }
  const auto kind = record.kind;
  return AppendBytes(kind, lumetra::NamesBlock::KeyOf(record.name, record.second_name),
                     record.bounds, static_cast<std::uint32_t>(record.points.size()),
                     static_cast<std::uint32_t>(record.ring_counts.size())) >= 0;
}

bool ObjectFileBuild::AppendRecord(const lumetra::PointRecord& record) {
  if (!CanWrite()) return false;
  record_bytes_.clear();
  record.EncodeTo(&record_bytes_);
  // A point raises only the largest record size: it has no points or parts
  // in the header's sense.
  return AppendBytes(lumetra::ObjectKind::kPoint,
                     lumetra::NamesBlock::KeyOf(record.name, record.second_name), record.Bounds(),
                     0, 0) >= 0;
}

bool ObjectFileBuild::CanWrite() {
  if (success_ && !finished_ && fd_.valid()) return true;
  err_.Set(100, "Object file is not open for writing", QERR_HERE);
  return false;
}

std::int64_t ObjectFileBuild::AppendBytes(lumetra::ObjectKind kind,
                                          const lumetra::NamesBlock::Key& key,
                                          const lumetra::Rect& rect, std::uint32_t point_count,
                                          std::uint32_t part_count) {
  const auto size = static_cast<std::uint32_t>(record_bytes_.size());
  header_.AddRecord(kind, size, point_count, part_count, rect);
  const std::int64_t offset = QioAppendZeros(fd_.get(), err_, size);
  if (offset < 0) return -1;
  std::uint8_t value[8];
  lumetra::PutU64(value, static_cast<std::uint64_t>(offset));
  if (!name_index_->Add(key.data(), value)) return -1;
  if (!rtree_->Add(rect, static_cast<std::uint64_t>(offset))) return -1;
  if (!WriteAt(offset, record_bytes_.data(), record_bytes_.size())) return -1;
  ++records_written_;
  return offset;
}

bool ObjectFileBuild::WriteAt(std::int64_t offset, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  constexpr std::size_t kChunk = 1u << 30;
  while (size > 0) {
    const std::size_t n = std::min(size, kChunk);
    if (!QioWriteAt(fd_.get(), err_, offset, bytes, static_cast<std::uint32_t>(n))) return false;
    offset += static_cast<std::int64_t>(n);
    bytes += n;
    size -= n;
  }
  return true;
}

bool ObjectFileBuild::Insert(pipObjectInfoStruct& info, const std::int32_t* points,
                             const std::int32_t* part_counts, std::int32_t num_parts) {
  const bool tax = is_tax_file();
  if (tax && info.type == PIP_OBJECT_POINT) {
    info.x = RoundToHundred(info.x);
    info.y = RoundToHundred(info.y);
  }
  info.penColor = NextOrdinal();
  const std::string name = NameField(info.name);
  const std::string name2 = NameField(info.name2);
  const std::uint8_t id = LowByte(info.id);
  switch (info.type) {
    case PIP_OBJECT_REGION: {
      QPolygonRegion region(*this, name.c_str(), name2.c_str(), id);
      return InsertLine(region, info, points, part_counts, num_parts, tax);
    }
    case PIP_OBJECT_LINE: {
      QPolygonLine line(*this, name.c_str(), name2.c_str(), id);
      return InsertLine(line, info, points, part_counts, num_parts, tax);
    }
    case PIP_OBJECT_POINT: {
      QPolygonPoint point(*this, name.c_str(), name2.c_str(), id, info.x, info.y);
      point.TrimName2();
      point.set_symbol(LowByte(info.penPattern), LowByte(info.penWidth), info.penColor);
      return point.Write();
    }
    default:
      err_.Report(100, "Invalid object type.", QERR_HERE);
      return false;
  }
}

bool ObjectFileBuild::Finish() {
  if (!success_ || finished_ || !fd_.valid()) {
    err_.Set(100, "Object file build cannot be finished", QERR_HERE);
    return false;
  }
  std::uint64_t name_root = 0;
  std::uint64_t spatial_root = 0;
  if (!FinishIndexes(&name_root, &spatial_root)) return false;
  // Roots at or beyond 2 GiB -- the name index's or the R-tree's -- put
  // both roots in the u64 fields and set the large-file flag, so a reader
  // never finds one root in each kind of field.
  header_.SetIndexRoots(name_root, spatial_root);
  if (!RewriteHeader()) return false;
  if (!QioClose(fd_.Release(), err_)) return false;
  finished_ = true;
  return true;
}

bool ObjectFileBuild::FinishIndexes(std::uint64_t* name_root, std::uint64_t* spatial_root) {
  const std::uint64_t tree_root = name_index_->Build(fd_.get());
  if (tree_root == QTreeBuilder::kBuildFailed) return false;
  const std::int64_t root_page = rtree_->Build(fd_.get());
  if (root_page == lumetra::RtreeBuilder::kBuildFailed) return false;
  *name_root = tree_root;
  *spatial_root = static_cast<std::uint64_t>(root_page) * kRtreePageSize;
  return true;
}

bool ObjectFileBuild::RewriteHeader() {
  std::vector<std::uint8_t> bytes;
  header_.EncodeTo(&bytes);
  if (!WriteAt(0, bytes.data(), bytes.size())) return false;
  if (extension_position_ < 0) return true;
  bytes.clear();
  extension_.EncodeTo(&bytes);
  return WriteAt(extension_position_, bytes.data(), bytes.size());
}

void ObjectFileBuild::Discard() {
  fd_.Reset();
  if (created_) QioDeleteFile(file_name_.c_str());
  created_ = false;
}

void ObjectFileBuild::SetReader(std::unique_ptr<ImportRead> reader) {
  // The old reader (and its pending object) goes before the new one starts.
  reader_.reset();
  reader_ = std::move(reader);
}

void ObjectFileBuild::CloseReader() { reader_.reset(); }
