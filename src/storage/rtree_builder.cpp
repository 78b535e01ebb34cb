#include "storage/rtree_builder.h"

#include <algorithm>
#include <cmath>

#include "frame/byte_order.h"
#include "frame/error.h"
#include "storage/qio.h"

namespace lumetra {
namespace {

constexpr std::uint32_t kKeyLength = 4;
constexpr std::uint32_t kValueLength = kRtreeRectSize + 8;
constexpr std::uint32_t kSlotSize = 32;
// Page numbers are stored as u32; 0xFFFFFFFF means "no page" to the cache.
constexpr std::uint64_t kMaxPageNumber = 0xFFFFFFFEu;

std::int32_t CentreY(const RtreeEntry& e) { return RtreeCentre(e.rect.miny, e.rect.maxy); }

}  // namespace

std::int32_t RtreeCentre(std::int32_t lo, std::int32_t hi) {
  return static_cast<std::int32_t>((static_cast<std::int64_t>(lo) + hi) / 2);
}

void EncodeCentreKey(std::int32_t centre, std::uint8_t key[4]) {
  const std::uint32_t v = static_cast<std::uint32_t>(centre) ^ 0x80000000u;
  key[0] = static_cast<std::uint8_t>(v >> 24);
  key[1] = static_cast<std::uint8_t>(v >> 16);
  key[2] = static_cast<std::uint8_t>(v >> 8);
  key[3] = static_cast<std::uint8_t>(v);
}

std::int32_t DecodeCentreKey(const std::uint8_t key[4]) {
  const std::uint32_t v =
      ((static_cast<std::uint32_t>(key[0]) << 24) | (static_cast<std::uint32_t>(key[1]) << 16) |
       (static_cast<std::uint32_t>(key[2]) << 8) | key[3]) ^
      0x80000000u;
  return I32FromBits(v);
}

std::uint64_t StrSliceCount(std::uint64_t n, std::uint32_t fanout) {
  if (fanout == 0 || n <= fanout) return 1;
  const std::uint64_t q = n / fanout;
  auto s = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(q)));
  // Correct the floating-point estimate to the exact integer square root.
  while (s > 0 && s * s > q) --s;
  while ((s + 1) * (s + 1) <= q) ++s;
  return s;
}

std::uint64_t StrSliceSize(std::uint64_t n, std::uint64_t slices, std::uint64_t index) {
  if (slices == 0 || index >= slices) return 0;
  const std::uint64_t size = n / slices;
  return index + 1 == slices ? n - size * (slices - 1) : size;
}

RtreeBuilder::RtreeBuilder(QError& err, std::uint32_t page_size, const char* sort_directory,
                           std::size_t sort_buffer_bytes)
    : err_(err),
      page_size_(page_size),
      fanout_(RtreeNodeCapacity(page_size)),
      sort_directory_(sort_directory != nullptr ? sort_directory : ""),
      sort_buffer_bytes_(sort_buffer_bytes) {
  if (!RtreePageSizeValid(page_size)) {
    err_.SetF(100, QERR_HERE, "R-tree page size %u outside %u..%u", page_size, kRtreeMinPageSize,
              kRtreeMaxPageSize);
    return;
  }
  input_ = MakeSort();
  if (!input_->ready()) return;
  page_.resize(page_size_);
  ready_ = true;
}

RtreeBuilder::~RtreeBuilder() = default;

std::unique_ptr<QSort> RtreeBuilder::MakeSort() {
  const QSortLayout layout{kKeyLength, kValueLength, kSlotSize};
  return std::make_unique<QSort>(err_, layout, sort_directory_.c_str(), sort_buffer_bytes_);
}

bool RtreeBuilder::AddToSort(QSort& sort, const Rect& rect, std::uint64_t value) {
  std::uint8_t key[kKeyLength];
  std::uint8_t bytes[kValueLength];
  EncodeCentreKey(RtreeCentre(rect.minx, rect.maxx), key);
  EncodeRect(rect, bytes);
  PutU64(bytes + kRtreeRectSize, value);
  return sort.Add(key, bytes);
}

bool RtreeBuilder::Add(const Rect& rect, std::uint64_t record_offset) {
  if (!ready_ || built_) return false;
  if (!AddToSort(*input_, rect, record_offset)) return false;
  ++entry_count_;
  return true;
}

bool RtreeBuilder::ReadEntries(QSort& sort, std::uint64_t count) {
  slice_.clear();
  slice_.reserve(count);
  std::uint8_t bytes[kValueLength];
  for (std::uint64_t i = 0; i < count; ++i) {
    if (!sort.ReadNext(nullptr, bytes)) {
      if (err_.code() == -1) {
        err_.SetF(100, QERR_HERE, "R-tree build: sort returned %llu of %llu entries",
                  static_cast<unsigned long long>(i), static_cast<unsigned long long>(count));
      }
      return false;
    }
    RtreeEntry e;
    e.rect = DecodeRect(bytes);
    e.value = GetU64(bytes + kRtreeRectSize);
    slice_.push_back(e);
  }
  return true;
}

bool RtreeBuilder::WriteNode(std::uint16_t flags, std::uint16_t level, const RtreeEntry* entries,
                             std::size_t count, std::uint32_t* page_number) {
  const std::uint64_t page = static_cast<std::uint64_t>(next_offset_) / page_size_;
  if (page > kMaxPageNumber) {
    err_.SetF(100, QERR_HERE, "R-tree page %llu is beyond 32-bit page numbers",
              static_cast<unsigned long long>(page));
    return false;
  }
  if (!EncodeRtreeNode(flags, level, entries, count, page_.data(), page_size_)) {
    err_.SetF(100, QERR_HERE, "R-tree node of %zu entries does not fit a %u-byte page", count,
              page_size_);
    return false;
  }
  if (!QioWritePage(fd_, err_, next_offset_, page_.data(), page_size_)) return false;
  next_offset_ += page_size_;
  ++pages_written_;
  *page_number = static_cast<std::uint32_t>(page);
  return true;
}

bool RtreeBuilder::WriteLevel(QSort& input, std::uint64_t n, std::uint16_t level, QSort& next,
                              std::uint64_t* nodes) {
  const std::uint16_t flags = level == 0 ? kRtreeLeaf : kRtreeInterior;
  const std::uint64_t slices = StrSliceCount(n, fanout_);
  *nodes = 0;
  for (std::uint64_t i = 0; i < slices; ++i) {
    if (!ReadEntries(input, StrSliceSize(n, slices, i))) return false;
    // Stable, so entries of equal y centre keep their x-centre order.
    std::stable_sort(slice_.begin(), slice_.end(), [](const RtreeEntry& a, const RtreeEntry& b) {
      return CentreY(a) < CentreY(b);
    });
    for (std::size_t j = 0; j < slice_.size(); j += fanout_) {
      const std::size_t count = std::min<std::size_t>(fanout_, slice_.size() - j);
      std::uint32_t page = 0;
      if (!WriteNode(flags, level, slice_.data() + j, count, &page)) return false;
      if (!AddToSort(next, RtreeUnion(slice_.data() + j, count), page)) return false;
      ++*nodes;
    }
  }
  return true;
}

std::int64_t RtreeBuilder::Build(int fd) {
  if (!ready_ || built_) {
    err_.Set(100, built_ ? "R-tree already built" : "R-tree builder not ready", QERR_HERE);
    return kBuildFailed;
  }
  built_ = true;
  fd_ = fd;
  if (!input_->Finish() || !QioAlignEnd(fd, err_, page_size_)) return kBuildFailed;
  next_offset_ = QioAppendZeros(fd, err_, 0);
  if (next_offset_ < 0) return kBuildFailed;

  std::unique_ptr<QSort> level_input = std::move(input_);
  std::uint64_t n = entry_count_;
  std::uint32_t level = 0;
  while (n > fanout_) {
    if (level >= 0xFFFF) {
      err_.Set(100, "R-tree deeper than the level field allows", QERR_HERE);
      return kBuildFailed;
    }
    std::unique_ptr<QSort> next = MakeSort();
    std::uint64_t nodes = 0;
    if (!next->ready() ||
        !WriteLevel(*level_input, n, static_cast<std::uint16_t>(level), *next, &nodes) ||
        !next->Finish()) {
      return kBuildFailed;
    }
    level_input = std::move(next);
    n = nodes;
    ++level;
  }
  if (!ReadEntries(*level_input, n)) return kBuildFailed;
  const std::uint16_t flags = (level == 0 ? kRtreeLeaf : kRtreeInterior) | kRtreeRoot;
  std::uint32_t root = 0;
  if (!WriteNode(flags, static_cast<std::uint16_t>(level), slice_.data(), slice_.size(), &root)) {
    return kBuildFailed;
  }
  height_ = level;
  return root;
}

}  // namespace lumetra
