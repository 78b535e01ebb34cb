// Little-endian byte helpers for the library's on-disk structures (object
// files, their indexes and pages, data library files).
//
// Every multi-byte integer of these files is stored little-endian.  The
// Put/Get functions convert with byte-wise shifts, so the host's byte order
// and alignment never matter and file bytes are never cast to structs.
//
// ByteWriter appends to a caller-owned std::vector<uint8_t>.  ByteReader is a
// cursor over a caller-owned buffer that checks the bytes remaining before
// every read: a read that does not fit returns false, leaves the cursor where
// it was and marks the reader failed, so a decoder may run a sequence of
// reads and test ok() once at the end.
//
// The shapefile module keeps its own helpers (shapefile/byte_order.h): it
// depends on no other module, and its formats also hold big-endian fields.
//
// Thread rule: plain values; one thread at a time per object.
#ifndef LUMETRA_FRAME_BYTE_ORDER_H
#define LUMETRA_FRAME_BYTE_ORDER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lumetra {

inline void PutU8(std::uint8_t* dst, std::uint8_t v) { dst[0] = v; }

inline void PutU16(std::uint8_t* dst, std::uint16_t v) {
  dst[0] = static_cast<std::uint8_t>(v);
  dst[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void PutU32(std::uint8_t* dst, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) dst[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline void PutU64(std::uint8_t* dst, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) dst[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Two's complement bit pattern of v, little-endian.
inline void PutI32(std::uint8_t* dst, std::int32_t v) {
  PutU32(dst, static_cast<std::uint32_t>(v));
}

inline std::uint8_t GetU8(const std::uint8_t* src) { return src[0]; }

inline std::uint16_t GetU16(const std::uint8_t* src) {
  return static_cast<std::uint16_t>(src[0] | (src[1] << 8));
}

inline std::uint32_t GetU32(const std::uint8_t* src) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | src[i];
  return v;
}

inline std::uint64_t GetU64(const std::uint8_t* src) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | src[i];
  return v;
}

// The signed value of a two's complement u32 bit pattern, without relying on
// implementation-defined narrowing.
inline std::int32_t I32FromBits(std::uint32_t bits) {
  return bits <= 0x7FFFFFFFu ? static_cast<std::int32_t>(bits)
                             : -static_cast<std::int32_t>(~bits) - 1;
}

inline std::int32_t GetI32(const std::uint8_t* src) { return I32FromBits(GetU32(src)); }

// Appends little-endian values to a vector it does not own.
// REQUIRES: the vector outlives the writer.
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<std::uint8_t>* out) : out_(out) {}

  void PutU8(std::uint8_t v) { out_->push_back(v); }
  void PutU16(std::uint16_t v) { lumetra::PutU16(Grow(2), v); }
  void PutU32(std::uint32_t v) { lumetra::PutU32(Grow(4), v); }
  void PutU64(std::uint64_t v) { lumetra::PutU64(Grow(8), v); }
  void PutI32(std::int32_t v) { lumetra::PutI32(Grow(4), v); }
  void PutBytes(const std::uint8_t* data, std::size_t size) {
    out_->insert(out_->end(), data, data + size);
  }
  void PutZeros(std::size_t count) { out_->insert(out_->end(), count, 0); }
  // Writes the first `width` bytes of text, NUL-padded to exactly `width`
  // bytes; text longer than `width` is cut (and then has no terminator).
  void PutFixedText(const std::string& text, std::size_t width) {
    const std::size_t n = text.size() < width ? text.size() : width;
    PutBytes(reinterpret_cast<const std::uint8_t*>(text.data()), n);
    PutZeros(width - n);
  }

  // Bytes in the vector (including those present before the writer).
  std::size_t size() const { return out_->size(); }

 private:
  std::uint8_t* Grow(std::size_t n) {
    out_->resize(out_->size() + n);
    return out_->data() + out_->size() - n;
  }

  std::vector<std::uint8_t>* out_;
};

// A bounds-checked read cursor over size bytes at data.
// REQUIRES: the buffer outlives the reader.
class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool ReadU8(std::uint8_t* v) {
    return Read(1, [&](const std::uint8_t* p) { *v = p[0]; });
  }
  bool ReadU16(std::uint16_t* v) {
    return Read(2, [&](const std::uint8_t* p) { *v = GetU16(p); });
  }
  bool ReadU32(std::uint32_t* v) {
    return Read(4, [&](const std::uint8_t* p) { *v = GetU32(p); });
  }
  bool ReadU64(std::uint64_t* v) {
    return Read(8, [&](const std::uint8_t* p) { *v = GetU64(p); });
  }
  bool ReadI32(std::int32_t* v) {
    return Read(4, [&](const std::uint8_t* p) { *v = GetI32(p); });
  }
  // Reads a NUL-padded text field of exactly `width` bytes; the text ends at
  // the first NUL or after `width` bytes.
  bool ReadFixedText(std::size_t width, std::string* text) {
    return Read(width, [&](const std::uint8_t* p) {
      std::size_t n = 0;
      while (n < width && p[n] != 0) ++n;
      text->assign(reinterpret_cast<const char*>(p), n);
    });
  }
  // Points *view at the next n bytes (inside the reader's buffer) and
  // advances past them.
  bool ReadView(std::size_t n, const std::uint8_t** view) {
    return Read(n, [&](const std::uint8_t* p) { *view = p; });
  }
  bool Skip(std::size_t n) {
    return Read(n, [](const std::uint8_t*) {});
  }
  // Moves the cursor to an absolute position; positions past the end fail.
  bool Seek(std::size_t position) {
    if (position > size_) return Fail();
    pos_ = position;
    return true;
  }

  std::size_t position() const { return pos_; }
  std::size_t remaining() const { return size_ - pos_; }
  // False once any read or seek did not fit.
  bool ok() const { return ok_; }

 private:
  template <typename Fn>
  bool Read(std::size_t n, Fn&& take) {
    if (n > size_ - pos_) return Fail();
    take(data_ + pos_);
    pos_ += n;
    return true;
  }
  bool Fail() {
    ok_ = false;
    return false;
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace lumetra

#endif  // LUMETRA_FRAME_BYTE_ORDER_H
