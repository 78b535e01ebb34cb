#include "shapefile/dbf_layout.h"

#include <cstring>

#include "shapefile/byte_order.h"

namespace lumetra {
namespace shapefile {

void DbfHeader::EncodeTo(std::uint8_t* dst) const {
  std::memset(dst, 0, kEncodedSize);
  dst[0] = version;
  dst[1] = date[0];
  dst[2] = date[1];
  dst[3] = date[2];
  PutLe32(dst + 4, num_records);
  PutLe16(dst + 8, header_length);
  PutLe16(dst + 10, record_length);
}

DbfHeader DbfHeader::DecodeFrom(const std::uint8_t* src) {
  DbfHeader header;
  header.version = src[0];
  header.date[0] = src[1];
  header.date[1] = src[2];
  header.date[2] = src[3];
  header.num_records = GetLe32(src + 4);
  header.header_length = GetLe16(src + 8);
  header.record_length = GetLe16(src + 10);
  return header;
}

void DbfFieldDescriptor::EncodeTo(std::uint8_t* dst) const {
  std::memset(dst, 0, kEncodedSize);
  std::memcpy(dst, name, strnlen(name, kDbfNameLength));
  dst[11] = static_cast<std::uint8_t>(type);
  PutLe32(dst + 12, data_address);
  dst[16] = length;
  dst[17] = decimals;
}

DbfFieldDescriptor DbfFieldDescriptor::DecodeFrom(const std::uint8_t* src) {
  DbfFieldDescriptor field;
  // Names are NUL padded; a name using all 11 bytes has no NUL of its own.
  std::memcpy(field.name, src, kDbfNameLength);
  field.name[kDbfNameLength] = '\0';
  field.type = static_cast<char>(src[11]);
  field.data_address = GetLe32(src + 12);
  field.length = src[16];
  field.decimals = src[17];
  return field;
}

}  // namespace shapefile
}  // namespace lumetra
