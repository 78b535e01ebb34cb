#include "storage/tree_page.h"

#include <algorithm>
#include <cstring>

#include "frame/ascii_case.h"
#include "frame/byte_order.h"

namespace lumetra {

int CompareNameKeys(const void* a, const void* b, std::size_t key_length) {
  const auto* pa = static_cast<const unsigned char*>(a);
  const auto* pb = static_cast<const unsigned char*>(b);
  for (std::size_t i = 0; i < key_length; ++i) {
    const unsigned char ca = AsciiLower(pa[i]);
    const unsigned char cb = AsciiLower(pb[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
  return 0;
}

QKeyCompare NameKeyCompare(std::size_t key_length) {
  return [key_length](const void* a, const void* b) { return CompareNameKeys(a, b, key_length); };
}

void TreePageHeader::EncodeTo(std::uint8_t* page) const {
  PutU16(page + 0, count);
  PutU16(page + 2, page_size);
  PutU16(page + 4, level);
  page[6] = flags;
  page[7] = 0;
  page[8] = key_length;
  page[9] = value_length;
  page[10] = 0;
  page[11] = 0;
}

TreePageHeader TreePageHeader::DecodeFrom(const std::uint8_t* page) {
  TreePageHeader h;
  h.count = GetU16(page + 0);
  h.page_size = GetU16(page + 2);
  h.level = GetU16(page + 4);
  h.flags = page[6];
  h.key_length = page[8];
  h.value_length = page[9];
  return h;
}

bool TreePageIsFull(std::size_t page_size, std::size_t entry_size, std::size_t count) {
  if (page_size < kTreePageReserve) return true;
  return entry_size * (count + 1) > page_size - kTreePageReserve;
}

std::size_t TreePageCapacity(std::size_t page_size, std::size_t entry_size) {
  if (entry_size == 0 || page_size < kTreePageReserve) return 0;
  return (page_size - kTreePageReserve) / entry_size;
}

const char* CheckTreePageHeader(const TreePageHeader& header, std::size_t page_size) {
  if (header.page_size != page_size) return "page size field differs from the tree's page size";
  if (header.key_length == 0) return "key length is zero";
  const bool leaf = (header.flags & kTreePageLeaf) != 0;
  const bool interior = (header.flags & kTreePageInterior) != 0;
  if (leaf == interior) return "page is not exactly one of leaf and interior";
  if (leaf != (header.level == 0)) return "leaf flag disagrees with the level";
  if (interior && header.value_length != kTreeInteriorValueLength) {
    return "interior page without 8-byte values";
  }
  // Entries may use every byte between the header and the checksum.
  const std::size_t room = page_size - TreePageHeader::kEncodedSize - 2;
  if (std::size_t{header.count} * header.entry_size() > room) {
    return "entry count exceeds the page";
  }
  return nullptr;
}

TreePageWriter::TreePageWriter(std::size_t page_size, std::size_t key_length,
                               std::size_t value_length)
    : page_(page_size, 0) {
  header_.page_size = static_cast<std::uint16_t>(page_size);
  header_.key_length = static_cast<std::uint8_t>(key_length);
  header_.value_length = static_cast<std::uint8_t>(value_length);
}

void TreePageWriter::Start(std::uint16_t level, std::uint8_t flags) {
  std::fill(page_.begin(), page_.end(), 0);
  header_.count = 0;
  header_.level = level;
  header_.flags = flags;
  header_.EncodeTo(page_.data());
}

bool TreePageWriter::full() const {
  return TreePageIsFull(page_.size(), header_.entry_size(), header_.count);
}

void TreePageWriter::Append(const void* key, const void* value) {
  std::uint8_t* entry = page_.data() + TreeEntryOffset(header_.entry_size(), header_.count);
  std::memcpy(entry, key, header_.key_length);
  std::memcpy(entry + header_.key_length, value, header_.value_length);
  ++header_.count;
  PutU16(page_.data(), header_.count);
}

void TreePageWriter::AddFlags(std::uint8_t flags) {
  header_.flags = static_cast<std::uint8_t>(header_.flags | flags);
  page_[6] = header_.flags;
}

}  // namespace lumetra
