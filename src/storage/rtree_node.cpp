#include "storage/rtree_node.h"

#include <cstring>

#include "frame/byte_order.h"

namespace lumetra {
namespace {

std::uint8_t* EntryAt(std::uint8_t* page, std::uint32_t index) {
  return page + kRtreeHeaderSize + static_cast<std::size_t>(index) * kRtreeEntrySize;
}

const std::uint8_t* EntryAt(const std::uint8_t* page, std::uint32_t index) {
  return page + kRtreeHeaderSize + static_cast<std::size_t>(index) * kRtreeEntrySize;
}

}  // namespace

void EncodeRect(const Rect& rect, std::uint8_t* dst) {
  PutI32(dst, rect.minx);
  PutI32(dst + 4, rect.miny);
  PutI32(dst + 8, rect.maxx);
  PutI32(dst + 12, rect.maxy);
}

Rect DecodeRect(const std::uint8_t* src) {
  Rect r;
  r.minx = GetI32(src);
  r.miny = GetI32(src + 4);
  r.maxx = GetI32(src + 8);
  r.maxy = GetI32(src + 12);
  return r;
}

void RtreeNodeHeader::EncodeTo(std::uint8_t* dst) const {
  PutU16(dst, count);
  PutU16(dst + 2, flags);
  PutU16(dst + 4, page_size);
  PutU16(dst + 6, level);
  EncodeRect(rect, dst + 8);
}

bool RtreeNodeHeader::DecodeFrom(const std::uint8_t* page, std::uint32_t page_size,
                                 RtreeNodeHeader* header) {
  if (page == nullptr || header == nullptr || !RtreePageSizeValid(page_size)) return false;
  RtreeNodeHeader h;
  h.count = GetU16(page);
  h.flags = GetU16(page + 2);
  h.page_size = GetU16(page + 4);
  h.level = GetU16(page + 6);
  h.rect = DecodeRect(page + 8);
  if (h.page_size != page_size || h.count > RtreeNodeCapacity(page_size)) return false;
  *header = h;
  return true;
}

void EncodeRtreeEntry(const RtreeEntry& entry, std::uint8_t* page, std::uint32_t index) {
  std::uint8_t* p = EntryAt(page, index);
  EncodeRect(entry.rect, p);
  PutU64(p + kRtreeRectSize, entry.value);
}

RtreeEntry DecodeRtreeEntry(const std::uint8_t* page, std::uint32_t index) {
  const std::uint8_t* p = EntryAt(page, index);
  RtreeEntry e;
  e.rect = DecodeRect(p);
  e.value = GetU64(p + kRtreeRectSize);
  return e;
}

Rect RtreeUnion(const RtreeEntry* entries, std::size_t count) {
  Rect r;
  if (entries == nullptr || count == 0) return r;
  r = entries[0].rect;
  for (std::size_t i = 1; i < count; ++i) r.Include(entries[i].rect);
  return r;
}

bool EncodeRtreeNode(std::uint16_t flags, std::uint16_t level, const RtreeEntry* entries,
                     std::size_t count, std::uint8_t* page, std::uint32_t page_size) {
  if (page == nullptr || !RtreePageSizeValid(page_size)) return false;
  if (count > RtreeNodeCapacity(page_size) || (count > 0 && entries == nullptr)) return false;
  RtreeNodeHeader h;
  h.count = static_cast<std::uint16_t>(count);
  h.flags = flags;
  h.page_size = static_cast<std::uint16_t>(page_size);
  h.level = level;
  h.rect = RtreeUnion(entries, count);
  std::memset(page, 0, page_size);
  h.EncodeTo(page);
  for (std::size_t i = 0; i < count; ++i) {
    EncodeRtreeEntry(entries[i], page, static_cast<std::uint32_t>(i));
  }
  return true;
}

}  // namespace lumetra
