#include "objfile/extension_block.h"

#include <cstring>

#include "frame/byte_order.h"
#include "frame/error.h"
#include "frame/text_copy.h"

namespace lumetra {

ExtensionBlock ExtensionBlock::ForNewFile(std::uint16_t code, const char* first_text,
                                          const char* second_text, std::time_t now) {
  ExtensionBlock b;
  b.first_text = CutText(first_text, kFirstTextSize);
  b.second_text = CutText(second_text, kSecondTextSize);
  b.creation_time = TimeText(now);
  b.version = kCurrentVersion;
  b.code = code;
  return b;
}

std::string ExtensionBlock::TimeText(std::time_t t) {
  // ctime_r needs 26 bytes; years beyond 9999 make it fail rather than
  // overflow, which leaves the text empty.
  char buffer[64] = {};
  if (ctime_r(&t, buffer) == nullptr) return std::string();
  std::size_t n = std::strlen(buffer);
  if (n > 0 && buffer[n - 1] == '\n') --n;
  return std::string(buffer, n < kTimeTextSize ? n : kTimeTextSize);
}

void ExtensionBlock::EncodeTo(std::vector<std::uint8_t>* dst) const {
  ByteWriter w(dst);
  w.PutFixedText(first_text, kFirstTextSize);
  w.PutFixedText(second_text, kSecondTextSize);
  w.PutFixedText(creation_time, kTimeTextSize);
  w.PutU16(version);
  w.PutU16(code);
}

bool ExtensionBlock::DecodeFrom(const std::uint8_t* data, std::size_t size, const char* file_name,
                                QError* err) {
  if (data == nullptr || size < kEncodedSize) {
    if (err != nullptr) {
      err->SetF(111, QERR_HERE, "Object file %s: header extension is %zu bytes, expected %zu",
                file_name != nullptr ? file_name : "", data == nullptr ? std::size_t{0} : size,
                kEncodedSize);
    }
    return false;
  }
  ByteReader r(data, kEncodedSize);
  r.ReadFixedText(kFirstTextSize, &first_text);
  r.ReadFixedText(kSecondTextSize, &second_text);
  r.ReadFixedText(kTimeTextSize, &creation_time);
  r.ReadU16(&version);
  r.ReadU16(&code);
  return r.ok();
}

}  // namespace lumetra
