// Byte-order helpers for the shapefile and dBase formats.
//
// Shapefiles mix little-endian fields (shape types, counts, coordinates) with
// big-endian ones (file code, lengths, record headers); dBase headers are
// little-endian.  Every multi-byte value in these files is encoded and
// decoded here, byte by byte, so the host's byte order and alignment never
// matter.  ByteCursor reads from a bounded buffer and refuses to step past
// its end.
#ifndef LUMETRA_SHAPEFILE_BYTE_ORDER_H
#define LUMETRA_SHAPEFILE_BYTE_ORDER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lumetra {
namespace shapefile {

inline void PutLe16(std::uint8_t* dst, std::uint16_t value) {
  dst[0] = static_cast<std::uint8_t>(value);
  dst[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutLe32(std::uint8_t* dst, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) dst[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void PutBe32(std::uint8_t* dst, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) dst[i] = static_cast<std::uint8_t>(value >> (8 * (3 - i)));
}

inline void PutLe64(std::uint8_t* dst, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) dst[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void PutLeDouble(std::uint8_t* dst, double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  PutLe64(dst, bits);
}

inline std::uint16_t GetLe16(const std::uint8_t* src) {
  return static_cast<std::uint16_t>(src[0] | (src[1] << 8));
}

inline std::uint32_t GetLe32(const std::uint8_t* src) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | src[i];
  return value;
}

inline std::uint32_t GetBe32(const std::uint8_t* src) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = (value << 8) | src[i];
  return value;
}

inline std::uint64_t GetLe64(const std::uint8_t* src) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | src[i];
  return value;
}

inline double GetLeDouble(const std::uint8_t* src) {
  const std::uint64_t bits = GetLe64(src);
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Signed views of the 32-bit fields (two's complement).
inline std::int32_t GetLeInt32(const std::uint8_t* src) {
  return static_cast<std::int32_t>(GetLe32(src));
}
inline std::int32_t GetBeInt32(const std::uint8_t* src) {
  return static_cast<std::int32_t>(GetBe32(src));
}

// Reads fields from [data, data + size) at absolute offsets.  Every getter
// first checks that the field lies wholly inside the buffer; on a miss it
// returns false and leaves the output untouched.
class ByteCursor {
 public:
  ByteCursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::size_t size() const { return size_; }
  bool Holds(std::size_t offset, std::size_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  bool LeInt32At(std::size_t offset, std::int32_t* out) const {
    if (!Holds(offset, 4)) return false;
    *out = GetLeInt32(data_ + offset);
    return true;
  }
  bool LeDoubleAt(std::size_t offset, double* out) const {
    if (!Holds(offset, 8)) return false;
    *out = GetLeDouble(data_ + offset);
    return true;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace shapefile
}  // namespace lumetra

#endif  // LUMETRA_SHAPEFILE_BYTE_ORDER_H
