// Object records of every layout: the prefix, point records, region and
// line records (current and old fixed parts, plain or compressed coordinate
// areas, with or without segment records) and the names block.  The first
// input byte picks the decoder, the layout and the limits; the rest is the
// record.  Whatever decodes re-encodes to a record that decodes to the same
// values, and decoding the same bytes twice gives the same record.
#include <cstdint>
#include <vector>

#include "frame/error.h"
#include "fuzz_support.h"
#include "objfile/object_record.h"

using namespace lumetra;

namespace {

RecordContext ContextFor(std::uint8_t choice, lumetra_fuzz::Choices& in) {
  RecordContext ctx;
  ctx.layout = (choice & 1) != 0 ? RecordLayout::kOld : RecordLayout::kCurrent;
  ctx.file_name = "fuzz";
  if ((choice & 8) != 0) {  // the header maxima of a small file
    ctx.limits.max_record_size = in.U16() * 16u;
    ctx.limits.max_point_count = in.U16();
    ctx.limits.max_ring_count = in.Byte();
  } else {  // what a reader of a big file admits
    ctx.limits.max_record_size = 1u << 24;
    ctx.limits.max_point_count = 1u << 20;
    ctx.limits.max_ring_count = 16383;
  }
  return ctx;
}

void CheckPoly(const std::uint8_t* data, std::size_t size, const RecordContext& ctx) {
  QError err;
  PolyRecord record;
  if (!record.DecodeFrom(data, size, ctx, &err)) {
    FUZZ_CHECK(err.code() == 100);
    return;
  }
  std::uint64_t total = 0;
  for (std::uint32_t c : record.ring_counts) total += c;
  FUZZ_CHECK(total == record.points.size());
  PolyRecord twice;
  FUZZ_CHECK(twice.DecodeFrom(data, size, ctx, nullptr) && twice == record);
  if (record.name.size() > NamesBlock::kMaxNameLength ||
      record.second_name.size() > NamesBlock::kMaxNameLength) {
    return;  // encoding cuts long names
  }
  std::vector<std::uint8_t> bytes;
  const PolyEncodeResult written = record.EncodeTo(&bytes);
  FUZZ_CHECK(written.ok && written.length == bytes.size());
  RecordContext open = ctx;
  open.limits = RecordLimits();
  PolyRecord again;
  FUZZ_CHECK(again.DecodeFrom(bytes.data(), bytes.size(), open, &err));
  FUZZ_CHECK(again.record_flags == written.record_flags);
  again.record_flags = record.record_flags;  // compression may fall back
  if ((record.record_flags & kRecordFlagSegments) == 0) again.segments.clear();
  FUZZ_CHECK(again == record);
}

void CheckPoint(const std::uint8_t* data, std::size_t size, const RecordContext& ctx) {
  QError err;
  PointRecord record;
  if (!record.DecodeFrom(data, size, ctx, &err)) {
    FUZZ_CHECK(err.code() == 100);
    return;
  }
  if (record.name.size() > NamesBlock::kMaxNameLength ||
      record.second_name.size() > NamesBlock::kMaxNameLength) {
    return;
  }
  std::vector<std::uint8_t> bytes;
  record.EncodeTo(&bytes);
  FUZZ_CHECK(bytes.size() == record.EncodedSize());
  PointRecord again;
  RecordContext open = ctx;
  open.limits = RecordLimits();
  FUZZ_CHECK(again.DecodeFrom(bytes.data(), bytes.size(), open, nullptr) && again == record);
}

void CheckNames(const std::uint8_t* data, std::size_t size) {
  std::string name, second;
  if (!NamesBlock::DecodeFrom(data, size, &name, &second)) return;
  FUZZ_CHECK(name.size() + second.size() + 2 <= size);
  if (name.size() > NamesBlock::kMaxNameLength || second.size() > NamesBlock::kMaxNameLength) {
    return;
  }
  std::vector<std::uint8_t> block;
  NamesBlock::EncodeTo(name, second, &block);
  FUZZ_CHECK(block.size() == NamesBlock::EncodedSize(name, second) && block.size() % 4 == 0);
  std::string name2, second2;
  FUZZ_CHECK(NamesBlock::DecodeFrom(block.data(), block.size(), &name2, &second2));
  FUZZ_CHECK(name2 == name && second2 == second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lumetra_fuzz::Choices in(data, size);
  const std::uint8_t choice = in.Byte();
  const RecordContext ctx = ContextFor(choice, in);
  switch ((choice >> 1) & 3) {
    case 0: {
      RecordPrefix prefix;
      if (prefix.DecodeFrom(in.rest(), in.rest_size(), ctx, nullptr)) {
        FUZZ_CHECK(prefix.length <= ctx.limits.max_record_size);
      }
      CheckPoly(in.rest(), in.rest_size(), ctx);
      break;
    }
    case 1:
      CheckPoint(in.rest(), in.rest_size(), ctx);
      break;
    case 2:
      CheckPoly(in.rest(), in.rest_size(), ctx);
      break;
    default:
      CheckNames(in.rest(), in.rest_size());
      break;
  }
  return 0;
}
