// The object file header (536 bytes) and its extension block (324 bytes
// behind it): whatever the bytes, decoding stays inside them, and what
// decodes encodes to bytes that decode to the same values.
#include <cstdint>
#include <vector>

#include "frame/error.h"
#include "fuzz_support.h"
#include "objfile/extension_block.h"
#include "objfile/object_header.h"
#include "objfile/object_record.h"

using lumetra::ExtensionBlock;
using lumetra::ObjectHeader;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  QError err;
  ObjectHeader header;
  if (header.DecodeFrom(data, size, "fuzz", &err)) {
    std::vector<std::uint8_t> bytes;
    header.EncodeTo(&bytes);
    FUZZ_CHECK(bytes.size() == ObjectHeader::kEncodedSize);
    ObjectHeader again;
    FUZZ_CHECK(again.DecodeFrom(bytes.data(), bytes.size(), "fuzz", nullptr));
    FUZZ_CHECK(again == header);
    const lumetra::Rect box = header.BoundingBox();
    FUZZ_CHECK(box == again.BoundingBox());
    const lumetra::RecordContext ctx = lumetra::RecordContext::ForFile(header, "fuzz");
    FUZZ_CHECK((ctx.layout == lumetra::RecordLayout::kCurrent) == header.IsCurrentLayout());
    (void)header.NameIndexRoot();
    (void)header.SpatialIndexRoot();
  } else {
    FUZZ_CHECK(err.code() != -1);
  }
  if (size < ObjectHeader::kEncodedSize) return 0;
  ExtensionBlock block;
  const std::uint8_t* rest = data + ObjectHeader::kEncodedSize;
  const std::size_t rest_size = size - ObjectHeader::kEncodedSize;
  if (block.DecodeFrom(rest, rest_size, "fuzz", nullptr)) {
    FUZZ_CHECK(block.first_text.size() <= ExtensionBlock::kFirstTextSize);
    FUZZ_CHECK(block.second_text.size() <= ExtensionBlock::kSecondTextSize);
    std::vector<std::uint8_t> bytes;
    block.EncodeTo(&bytes);
    FUZZ_CHECK(bytes.size() == ExtensionBlock::kEncodedSize);
    ExtensionBlock again;
    FUZZ_CHECK(again.DecodeFrom(bytes.data(), bytes.size(), "fuzz", nullptr));
    FUZZ_CHECK(again == block);
  } else {
    FUZZ_CHECK(rest_size < ExtensionBlock::kEncodedSize);
  }
  return 0;
}
