#include "zip4/z9_reader.h"

#include <lumetra/pip.h>

#include <algorithm>

#include "frame/error.h"
#include "storage/qio.h"

using lumetra::kZ9BlockSize;

namespace {

// The index of the last key below `key`, or 0 when there is none: the entry
// whose subtree holds the first record at or after `key` (or, when that
// record opens the next subtree, the entry just before it).
std::uint32_t LastBelow(const std::vector<std::uint32_t>& keys, std::uint32_t key) {
  const auto it = std::lower_bound(keys.begin(), keys.end(), key);
  const auto n = static_cast<std::uint32_t>(it - keys.begin());
  return n == 0 ? 0 : n - 1;
}

}  // namespace

Z9Reader::Z9Reader(QError& err, const char* file_name)
    : err_(err), file_(err), block_(kZ9BlockSize) {
  ready_ = Open(file_name);
}

bool Z9Reader::Open(const char* file_name) {
  if (!file_.Open(file_name, Qfile::kModeMapped)) return false;
  if (!ReadBlock(0, block_.data()) || !header_.DecodeFrom(block_.data(), file_.name(), &err_)) {
    return false;
  }
  columns_.Reserve(header_.max_block_records);
  // The top key level is read now, so a file cut anywhere before its area
  // index fails here rather than in the middle of a search.
  return LevelBlock(levels_[0], header_.level1, 0, header_.Level2Blocks()) != nullptr;
}

bool Z9Reader::ReadBlock(std::uint32_t block, std::uint8_t* out) {
  if (!file_.ReadAt("Z9Reader", std::int64_t{block} * static_cast<std::int64_t>(kZ9BlockSize), out,
                    kZ9BlockSize)) {
    const int code = err_.code() >= 0 && err_.code() < 100 ? err_.code() : PIP_ERR_SHORT_READ;
    err_.Set(code, kSeekDetail, QERR_HERE);
    return false;
  }
  // Block 0 is checked by its decoder, after its signature.
  if (block != 0 && !PageChecksumValid(out, kZ9BlockSize)) {
    err_.SetF(PIP_ERR_CHECKSUM, QERR_HERE, "ZIP+4 centroid file %s: block %u fails its checksum.",
              file_.name(), block);
    return false;
  }
  return true;
}

void Z9Reader::Damaged(const char* what, std::uint32_t block, const std::string& why) {
  err_.SetF(PIP_ERR_GENERAL, QERR_HERE, "ZIP+4 centroid file %s: %s %u %s.", file_.name(), what,
            block, why.c_str());
}

const std::vector<std::uint32_t>* Z9Reader::LevelBlock(LevelCache& cache, std::uint32_t first,
                                                       std::uint32_t index,
                                                       std::uint64_t children) {
  const std::uint32_t block = first + index;
  if (cache.block == block) return &cache.keys;
  cache.block = 0;
  const std::uint64_t below = std::uint64_t{index} * header_.fanout;
  const auto expected = static_cast<std::uint32_t>(
      children > below ? std::min<std::uint64_t>(header_.fanout, children - below) : 0);
  std::string why;
  if (!ReadBlock(block, block_.data())) return nullptr;
  if (!lumetra::DecodeIndexBlock(block_.data(), expected, &cache.keys, &why)) {
    Damaged("key-level block", block, why);
    return nullptr;
  }
  cache.block = block;
  return &cache.keys;
}

bool Z9Reader::FindDataBlock(std::uint32_t key, std::uint32_t* data_index,
                             std::uint32_t* first_key) {
  const std::uint32_t fanout = header_.fanout;
  const std::vector<std::uint32_t>* top =
      LevelBlock(levels_[0], header_.level1, 0, header_.Level2Blocks());
  if (top == nullptr) return false;
  const std::uint32_t e1 = LastBelow(*top, key);
  const std::uint32_t parent1 = (*top)[e1];
  const std::vector<std::uint32_t>* mid =
      LevelBlock(levels_[1], header_.level2, e1, header_.Level3Blocks());
  if (mid == nullptr) return false;
  if ((*mid)[0] != parent1) {
    Damaged("key-level block", header_.level2 + e1, "does not begin with its index key");
    return false;
  }
  const std::uint32_t i3 = e1 * fanout + LastBelow(*mid, key);
  const std::uint32_t parent2 = (*mid)[i3 - e1 * fanout];
  const std::vector<std::uint32_t>* low =
      LevelBlock(levels_[2], header_.level3, i3, header_.data_blocks);
  if (low == nullptr) return false;
  if ((*low)[0] != parent2) {
    Damaged("key-level block", header_.level3 + i3, "does not begin with its index key");
    return false;
  }
  const std::uint32_t e3 = LastBelow(*low, key);
  *data_index = i3 * fanout + e3;
  *first_key = (*low)[e3];
  return true;
}

bool Z9Reader::LoadData(std::uint32_t data_index, bool check_first, std::uint32_t first_key) {
  if (loaded_ == data_index) return true;
  loaded_ = -1;
  const std::uint32_t block = 1 + data_index;
  if (!ReadBlock(block, block_.data())) return false;
  std::string why;
  if (!lumetra::DecodeDataBlock(block_.data(), header_.version, header_.max_block_records,
                                &columns_, &why)) {
    Damaged("data block", block, why);
    return false;
  }
  if (check_first ? columns_.KeyAt(0) != first_key : columns_.KeyAt(0) < first_key) {
    Damaged("data block", block, "does not continue the key order of its index");
    return false;
  }
  loaded_ = data_index;
  ++data_loads_;
  return true;
}

Z9Reader::Step Z9Reader::StandOn(std::uint32_t i) {
  position_ = i;
  record_ = columns_.RecordAt(i);
  on_record_ = true;
  return Step::kRecord;
}

Z9Reader::Step Z9Reader::Failed() {
  on_record_ = false;
  return Step::kFailed;
}

Z9Reader::Step Z9Reader::Seek(std::uint32_t nine_digit_key) {
  if (!ready_) {
    err_.Set(PIP_ERR_GENERAL, kNotInitialized, QERR_HERE);
    return Failed();
  }
  on_record_ = false;
  const std::uint32_t zip = nine_digit_key / 10000;
  if (zip > static_cast<std::uint32_t>(lumetra::kZ9MaxZip) || header_.data_blocks == 0) {
    return Step::kEnd;
  }
  const std::uint32_t key =
      lumetra::Z9Record::Z9Key(static_cast<std::int32_t>(zip), nine_digit_key % 10000);
  std::uint32_t data_index = 0;
  std::uint32_t first_key = 0;
  if (!FindDataBlock(key, &data_index, &first_key) || !LoadData(data_index, true, first_key)) {
    return Failed();
  }
  std::uint32_t lo = 0;
  std::uint32_t hi = columns_.count;
  while (lo < hi) {  // binary search for the first key >= key
    const std::uint32_t mid = lo + (hi - lo) / 2;
    if (columns_.KeyAt(mid) < key) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo < columns_.count) return StandOn(lo);
  position_ = columns_.count - 1;
  on_record_ = true;  // on the block's last record, so Next crosses over
  return Next();
}

Z9Reader::Step Z9Reader::Next() {
  if (!ready_) {
    err_.Set(PIP_ERR_GENERAL, kNotInitialized, QERR_HERE);
    return Failed();
  }
  if (!on_record_ || loaded_ < 0) return Step::kEnd;
  if (position_ + 1 < columns_.count) return StandOn(position_ + 1);
  const auto next = static_cast<std::uint32_t>(loaded_ + 1);
  if (next >= header_.data_blocks) {
    on_record_ = false;
    return Step::kEnd;
  }
  if (!LoadData(next, false, columns_.KeyAt(columns_.count - 1))) return Failed();
  return StandOn(0);
}
