#include "zip4/z9_area_index.h"

#include <lumetra/pip.h>

#include <algorithm>

#include "frame/byte_order.h"
#include "frame/error.h"

using lumetra::kZ9AreaEntrySize;
using lumetra::kZ9AreaHeadSize;

namespace {

constexpr std::size_t kAreaFieldOffset = 260;

}  // namespace

Z9AreaIndex::Z9AreaIndex(QError& err, const char* file_name)
    : err_(err), file_(err), chunk_(kChunkEntries * kZ9AreaEntrySize) {
  ready_ = Open(file_name);
}

bool Z9AreaIndex::Open(const char* file_name) {
  if (!file_.Open(file_name, Qfile::kModeMapped)) return false;
  std::uint8_t bytes[kAreaFieldOffset + 4];
  if (!file_.ReadAt("Z9AreaIndex", 0, bytes, sizeof bytes)) return ShortRead(0);
  lumetra::Z9Header header;
  header.area_index_field = lumetra::GetU32(bytes + kAreaFieldOffset);
  if (!header.HasAreaIndex()) {
    err_.Set(PIP_ERR_GENERAL, kMissing, QERR_HERE);
    return false;
  }
  const std::uint64_t offset = header.AreaIndexOffset();
  std::uint8_t head[kZ9AreaHeadSize];
  const std::int64_t size = file_.Size();
  if (size < 0 || offset + kZ9AreaHeadSize > static_cast<std::uint64_t>(size) ||
      !file_.ReadAt("Z9AreaIndex", static_cast<std::int64_t>(offset), head, sizeof head) ||
      lumetra::GetU32(head) != lumetra::kZ9AreaMagic) {
    err_.Set(PIP_ERR_GENERAL, kInvalid, QERR_HERE);
    return false;
  }
  count_ = lumetra::GetU32(head + 8);
  entries_offset_ = offset + kZ9AreaHeadSize;
  return true;
}

bool Z9AreaIndex::ShortRead(std::uint64_t offset) {
  // The file layer says why the bytes cannot be read (a short read, or the
  // system's error); the detail names the file.
  std::uint8_t entry[kZ9AreaEntrySize];
  int code = PIP_ERR_SHORT_READ;
  if (!file_.ReadAt("Z9AreaIndex", static_cast<std::int64_t>(offset), entry, sizeof entry) &&
      err_.code() >= 0 && err_.code() < 100) {
    code = err_.code();
  }
  err_.Set(code, file_.name(), QERR_HERE);
  return false;
}

bool Z9AreaIndex::ReadChunk() {
  const std::uint64_t offset = entries_offset_ + std::uint64_t{next_} * kZ9AreaEntrySize;
  const std::int64_t size = file_.Size();
  const std::uint64_t held = size > 0 && static_cast<std::uint64_t>(size) > offset
                                 ? (static_cast<std::uint64_t>(size) - offset) / kZ9AreaEntrySize
                                 : 0;
  const std::uint64_t n = std::min<std::uint64_t>({kChunkEntries, count_ - next_, held});
  // No whole entry left where the count promises one: the read is short.
  if (n == 0 || !file_.ReadAt("Z9AreaIndex", static_cast<std::int64_t>(offset), chunk_.data(),
                              static_cast<std::uint32_t>(n * kZ9AreaEntrySize))) {
    chunk_count_ = 0;
    return ShortRead(offset);
  }
  chunk_first_ = next_;
  chunk_count_ = static_cast<std::uint32_t>(n);
  return true;
}

Z9AreaIndex::Step Z9AreaIndex::Next(lumetra::Z9AreaEntry* entry) {
  if (!ready_) return Step::kFailed;
  if (next_ >= count_) return Step::kEnd;
  if ((next_ < chunk_first_ || next_ >= chunk_first_ + chunk_count_) && !ReadChunk()) {
    return Step::kFailed;
  }
  *entry = lumetra::Z9AreaEntry::DecodeFrom(chunk_.data() +
                                            std::size_t{next_ - chunk_first_} * kZ9AreaEntrySize);
  ++next_;
  return Step::kEntry;
}
