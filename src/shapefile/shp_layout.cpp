#include "shapefile/shp_layout.h"

#include <cstring>

#include "shapefile/byte_order.h"

namespace lumetra {
namespace shapefile {

void ShpMainHeader::EncodeTo(std::uint8_t* dst) const {
  std::memset(dst, 0, kEncodedSize);
  PutBe32(dst + 0, static_cast<std::uint32_t>(file_code));
  PutBe32(dst + 24, static_cast<std::uint32_t>(file_length_words));
  PutLe32(dst + 28, static_cast<std::uint32_t>(version));
  PutLe32(dst + 32, static_cast<std::uint32_t>(shape_type));
  for (int i = 0; i < 4; ++i) PutLeDouble(dst + 36 + 8 * i, box[i]);
}

ShpMainHeader ShpMainHeader::DecodeFrom(const std::uint8_t* src) {
  ShpMainHeader header;
  header.file_code = GetBeInt32(src + 0);
  header.file_length_words = GetBeInt32(src + 24);
  header.version = GetLeInt32(src + 28);
  header.shape_type = GetLeInt32(src + 32);
  for (int i = 0; i < 4; ++i) header.box[i] = GetLeDouble(src + 36 + 8 * i);
  return header;
}

void ShpRecordHeader::EncodeTo(std::uint8_t* dst) const {
  PutBe32(dst + 0, static_cast<std::uint32_t>(record_number));
  PutBe32(dst + 4, static_cast<std::uint32_t>(content_length_words));
}

ShpRecordHeader ShpRecordHeader::DecodeFrom(const std::uint8_t* src) {
  ShpRecordHeader header;
  header.record_number = GetBeInt32(src + 0);
  header.content_length_words = GetBeInt32(src + 4);
  return header;
}

void ShxEntry::EncodeTo(std::uint8_t* dst) const {
  PutBe32(dst + 0, static_cast<std::uint32_t>(offset_words));
  PutBe32(dst + 4, static_cast<std::uint32_t>(content_length_words));
}

ShxEntry ShxEntry::DecodeFrom(const std::uint8_t* src) {
  ShxEntry entry;
  entry.offset_words = GetBeInt32(src + 0);
  entry.content_length_words = GetBeInt32(src + 4);
  return entry;
}

}  // namespace shapefile
}  // namespace lumetra
