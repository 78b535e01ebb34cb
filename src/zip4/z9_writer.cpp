#include "zip4/z9_writer.h"

#include <lumetra/pip.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "frame/byte_order.h"
#include "frame/error.h"
#include "objfile/object_header.h"  // EmptyBounds

using lumetra::kZ9BlockSize;
using lumetra::Z9Record;

Z9Writer::Z9Writer(QError& err, const char* file_name, const Z9WriterOptions& options)
    : err_(err), options_(options), area_points_(lumetra::EmptyBounds()) {
  if (file_name == nullptr || *file_name == '\0') {
    Refuse(PIP_ERR_GENERAL, "NULL file name on create");
    return;
  }
  if (options.version < lumetra::kZ9MinVersion || options.version > lumetra::kZ9Version ||
      options.fanout < lumetra::kZ9MinFanout || options.fanout > lumetra::kZ9MaxFanout ||
      options.max_block_records < 1 || options.max_block_records > lumetra::kZ9MaxBlockRecords) {
    Refuse(PIP_ERR_INVALID_DATA, "Z9Writer: options out of range");
    return;
  }
  final_name_ = file_name;
  partial_name_ = final_name_ + ".partial";
  fd_.Reset(QioCreate(err_, partial_name_.c_str()));
  if (!fd_.valid()) failed_ = true;
}

Z9Writer::~Z9Writer() { Discard(); }

void Z9Writer::Discard() {
  if (fd_.valid()) {
    fd_.Reset();
    QioDeleteFile(partial_name_.c_str());
  }
}

bool Z9Writer::Refuse(int code, const std::string& detail) {
  err_.Set(code, detail.c_str(), QERR_HERE);
  failed_ = true;
  Discard();
  return false;
}

bool Z9Writer::Add(const Z9Record& record) {
  if (!ready()) return false;
  const std::string problem = lumetra::Z9RecordProblem(record);
  char where[64];
  std::snprintf(where, sizeof where,
                "ZIP+4 record %llu (%05d-%04d): ", static_cast<unsigned long long>(records_ + 1),
                record.zip, record.add_on);
  if (!problem.empty()) return Refuse(PIP_ERR_INVALID_DATA, where + problem + ".");
  if (records_ > 0 && record.Key() < last_key_) {
    return Refuse(PIP_ERR_INVALID_DATA,
                  where + std::string("keys must rise, but the previous record's is higher."));
  }
  if (records_ == 0xFFFFFFFFu) {
    return Refuse(PIP_ERR_TABLE_OVERFLOW, "Too many records for one ZIP+4 centroid file.");
  }
  if (record.zip != area_zip_) CloseArea();
  area_zip_ = record.zip;
  area_points_.Include(lumetra::Rect{record.X(), record.Y(), record.X(), record.Y()});
  last_key_ = record.Key();
  ++records_;
  pending_.push_back(record);
  return Pack(false);
}

void Z9Writer::CloseArea() {
  if (area_zip_ == 0) return;
  areas_.push_back(
      lumetra::Z9AreaEntry::Covering(static_cast<std::uint32_t>(area_zip_), area_points_));
  area_zip_ = 0;
  area_points_ = lumetra::EmptyBounds();
}

bool Z9Writer::Fits(std::size_t n) const {
  if (n > options_.max_block_records) return false;
  const std::size_t size = lumetra::Z9DataSize(pending_.data(), n, options_.version);
  return size != 0 && size <= lumetra::kZ9DataCapacity;
}

bool Z9Writer::Pack(bool final) {
  while (!pending_.empty()) {
    const std::size_t all = pending_.size();
    if (!final && all < probe_) return true;
    if (Fits(all)) {
      fit_ = all;
      if (final) return WriteDataBlock(all);
      probe_ = all + std::max<std::size_t>(1, all / 8);
      return true;
    }
    // The longest fitting prefix, between the longest known to fit (one
    // record always fits) and all but one; encoded sizes only grow with n.
    std::size_t lo = std::max<std::size_t>(fit_, 1);
    std::size_t hi = all - 1;
    while (lo < hi) {
      const std::size_t mid = lo + (hi - lo + 1) / 2;
      if (Fits(mid)) {
        lo = mid;
      } else {
        hi = mid - 1;
      }
    }
    if (!WriteDataBlock(lo)) return false;
    probe_ = lo;  // the next block probably holds about as many
  }
  return true;
}

bool Z9Writer::WriteDataBlock(std::size_t n) {
  std::uint8_t block[kZ9BlockSize];
  if (!lumetra::EncodeDataBlock(pending_.data(), n, options_.version, block)) {
    return Refuse(PIP_ERR_GENERAL, "Z9Writer: a data block could not be encoded.");
  }
  const std::uint64_t number = 1 + first_keys_.size();
  if (number >= lumetra::kZ9MaxBlocksBeforeAreas) {
    return Refuse(PIP_ERR_TABLE_OVERFLOW, "Too many records for one ZIP+4 centroid file.");
  }
  if (!WriteBlock(static_cast<std::uint32_t>(number), block, sizeof block)) return false;
  first_keys_.push_back(pending_.front().Key());
  max_block_records_ = std::max(max_block_records_, static_cast<std::uint32_t>(n));
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
  fit_ = 0;
  return true;
}

bool Z9Writer::WriteBlock(std::uint32_t block, const std::uint8_t* bytes, std::size_t size) {
  if (!QioWriteAt(fd_.get(), err_, std::int64_t{block} * static_cast<std::int64_t>(kZ9BlockSize),
                  bytes, static_cast<std::uint32_t>(size))) {
    failed_ = true;
    Discard();
    return false;
  }
  return true;
}

bool Z9Writer::WriteLevel(const std::vector<std::uint32_t>& child_keys, std::uint32_t first,
                          std::vector<std::uint32_t>* keys) {
  keys->clear();
  const std::size_t fanout = options_.fanout;
  // At least one block: the top level of a file without records is empty.
  const std::size_t blocks = std::max<std::size_t>(1, (child_keys.size() + fanout - 1) / fanout);
  std::uint8_t block[kZ9BlockSize];
  for (std::size_t b = 0; b < blocks; ++b) {
    const std::size_t at = b * fanout;
    const std::size_t n = std::min(fanout, child_keys.size() - at);
    lumetra::EncodeIndexBlock(child_keys.data() + at, n, block);
    if (!WriteBlock(static_cast<std::uint32_t>(first + b), block, sizeof block)) return false;
    if (n > 0) keys->push_back(child_keys[at]);
  }
  return true;
}

bool Z9Writer::WriteAreaIndex(std::uint32_t block) {
  std::vector<std::uint8_t> bytes(lumetra::kZ9AreaHeadSize +
                                  areas_.size() * lumetra::kZ9AreaEntrySize);
  lumetra::PutU32(bytes.data(), lumetra::kZ9AreaMagic);
  lumetra::PutU32(bytes.data() + 8, static_cast<std::uint32_t>(areas_.size()));
  for (std::size_t i = 0; i < areas_.size(); ++i) {
    areas_[i].EncodeTo(bytes.data() + lumetra::kZ9AreaHeadSize + i * lumetra::kZ9AreaEntrySize);
  }
  return WriteBlock(block, bytes.data(), bytes.size());
}

bool Z9Writer::Finish() {
  if (!ready() || !Pack(true)) return false;
  CloseArea();
  lumetra::Z9Header header;
  header.version = options_.version;
  header.fanout = options_.fanout;
  header.record_count = static_cast<std::uint32_t>(records_);
  header.max_block_records = static_cast<std::uint16_t>(max_block_records_);
  if (!header.Layout(static_cast<std::uint32_t>(first_keys_.size()))) {
    return Refuse(PIP_ERR_TABLE_OVERFLOW, "Too many records for one ZIP+4 centroid file.");
  }
  std::vector<std::uint32_t> level3_keys;
  std::vector<std::uint32_t> level2_keys;
  std::vector<std::uint32_t> top_keys;
  // Levels 3 and 2 have no blocks in a file without records; level 1 is
  // always one block.
  if (!first_keys_.empty() && (!WriteLevel(first_keys_, header.level3, &level3_keys) ||
                               !WriteLevel(level3_keys, header.level2, &level2_keys))) {
    return false;
  }
  if (!WriteLevel(level2_keys, header.level1, &top_keys)) return false;
  header.area_index_field = lumetra::kZ9AreaIndexPresent | header.EndOfLevels();
  std::uint8_t block0[kZ9BlockSize];
  header.EncodeTo(block0);
  if (!WriteAreaIndex(header.EndOfLevels()) || !WriteBlock(0, block0, sizeof block0)) return false;
  if (::fsync(fd_.get()) != 0 || ::close(fd_.Release()) != 0) {
    QioReportErrno(err_, QERR_HERE, partial_name_.c_str());
    failed_ = true;
    QioDeleteFile(partial_name_.c_str());
    return false;
  }
  if (std::rename(partial_name_.c_str(), final_name_.c_str()) != 0) {
    QioReportErrno(err_, QERR_HERE, final_name_.c_str());
    failed_ = true;
    QioDeleteFile(partial_name_.c_str());
    return false;
  }
  return true;
}
