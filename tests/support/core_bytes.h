// Byte helpers shared by the storage, objfile and datalib tests: hand-placed
// little-endian values, the page checksum as a plain sum, hex dumps.  They are
// written apart from the library's own helpers so that the tests check those
// rather than reuse them.
#ifndef LUMETRA_TESTS_SUPPORT_CORE_BYTES_H
#define LUMETRA_TESTS_SUPPORT_CORE_BYTES_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace lumetra_test {

using Bytes = std::vector<std::uint8_t>;

// Stores the low `width` bytes of `v` at b[at], least significant first.
inline void PutLE(Bytes& b, std::size_t at, std::uint64_t v, int width) {
  for (int i = 0; i < width; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void Put16(Bytes& b, std::size_t at, std::uint64_t v) { PutLE(b, at, v, 2); }
inline void Put32(Bytes& b, std::size_t at, std::uint64_t v) { PutLE(b, at, v, 4); }
inline void Put64(Bytes& b, std::size_t at, std::uint64_t v) { PutLE(b, at, v, 8); }
inline void PutText(Bytes& b, std::size_t at, const char* text) {
  std::memcpy(b.data() + at, text, std::strlen(text));
}

inline std::uint64_t GetLE(const std::uint8_t* p, int width) {
  std::uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
inline std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(GetLE(p, 2)); }
inline std::uint32_t Get32(const std::uint8_t* p) { return static_cast<std::uint32_t>(GetLE(p, 4)); }
inline std::uint64_t Get64(const std::uint8_t* p) { return GetLE(p, 8); }

// The page checksum: the sum of every byte but the last two, each shifted
// left by its position modulo 8, kept to 16 bits.
inline std::uint16_t ReferenceChecksum(const std::uint8_t* page, std::size_t n) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i + 2 < n; ++i) sum += std::uint64_t{page[i]} << (i % 8);
  return static_cast<std::uint16_t>(sum);
}

// "01 AB " for {0x01, 0xAB}: byte strings that print readably on failure.
inline std::string Hex(const Bytes& b) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  for (std::uint8_t v : b) s += std::string{kDigits[v >> 4], kDigits[v & 15], ' '};
  return s;
}

}  // namespace lumetra_test

#endif  // LUMETRA_TESTS_SUPPORT_CORE_BYTES_H
