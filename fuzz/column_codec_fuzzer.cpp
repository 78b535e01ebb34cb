// The compressed coordinate column.  Mode 0 (first byte even): the input is
// a value count and a stream; reading it never leaves the stream, and
// sequential, random-order and whole-column decoding agree.  Mode 1: the
// input is a list of i32 values; whatever the writer accepts reads back
// unchanged, by index and whole.
#include <cstdint>
#include <vector>

#include "frame/byte_order.h"
#include "fuzz_support.h"
#include "objfile/column_codec.h"

using namespace lumetra;

namespace {

// Checks every access path of one stream against a whole-column decode.
void CheckStream(const std::uint8_t* stream, std::size_t size, std::uint32_t count,
                 const std::vector<std::int32_t>* expected, std::uint32_t seed) {
  ColumnReader reader;
  if (!reader.Open(stream, size, count)) {
    FUZZ_CHECK(expected == nullptr);
    return;
  }
  std::vector<std::int32_t> all(count == 0 ? 1 : count);
  const bool whole = reader.DecodeAll(all.data(), 1);
  if (expected != nullptr) FUZZ_CHECK(whole);
  if (!whole) return;
  all.resize(count);
  if (expected != nullptr) FUZZ_CHECK(all == *expected);
  ColumnReader by_index;
  FUZZ_CHECK(by_index.Open(stream, size, count));
  for (std::uint32_t i = 0; i < count; ++i) {
    std::int32_t v = 0;
    FUZZ_CHECK(by_index.Get(i, &v) && v == all[i]);
  }
  // Jumps forwards and backwards (a fixed pseudo-random walk per input).
  std::uint32_t state = seed | 1;
  for (int k = 0; k < 64 && count > 0; ++k) {
    state = state * 1103515245u + 12345u;
    const std::uint32_t i = (state >> 8) % count;
    std::int32_t v = 0;
    FUZZ_CHECK(by_index.Get(i, &v) && v == all[i]);
  }
  std::int32_t v = 0;
  FUZZ_CHECK(!by_index.Get(count, &v));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  lumetra_fuzz::Choices in(data, size);
  const std::uint8_t mode = in.Byte();
  const std::uint32_t seed = in.U32();
  if ((mode & 1) == 0) {
    const std::uint32_t count = in.U16() % (kColumnMaxValues + 1);
    CheckStream(in.rest(), in.rest_size(), count, nullptr, seed);
    return 0;
  }
  // Values: small deltas from the input's bytes make runs and checkpoints
  // likely; mode bit 1 takes whole i32 values instead.
  std::vector<std::int32_t> values;
  std::int32_t current = static_cast<std::int32_t>(seed);
  while (in.rest_size() > 0 && values.size() < kColumnMaxValues) {
    if ((mode & 2) != 0) {
      current = in.I32();
    } else {
      current = static_cast<std::int32_t>(
          static_cast<std::uint32_t>(current) +
          static_cast<std::uint32_t>(static_cast<std::int8_t>(in.Byte())));
    }
    values.push_back(current);
  }
  ColumnWriter writer;
  for (std::int32_t v : values) writer.Add(v);
  std::vector<std::uint8_t> stream;
  if (writer.Finish(&stream) != ColumnStatus::kOk) {
    FUZZ_CHECK(stream.empty());
    return 0;
  }
  FUZZ_CHECK(stream.size() <= kColumnMaxBytes);
  CheckStream(stream.data(), stream.size(), static_cast<std::uint32_t>(values.size()), &values,
              seed);
  return 0;
}
