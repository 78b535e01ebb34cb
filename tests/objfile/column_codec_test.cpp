#include "objfile/column_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/core_bytes.h"

namespace lumetra {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Values = std::vector<std::int32_t>;

using lumetra_test::Hex;

ColumnStatus Encode(const Values& values, Bytes* out, std::size_t max_bytes = kColumnMaxBytes) {
  ColumnWriter w(max_bytes);
  for (std::int32_t v : values) w.Add(v);
  return w.Finish(out);
}

Bytes EncodeOk(const Values& values) {
  Bytes out;
  const ColumnStatus status = Encode(values, &out);
  EXPECT_EQ(status, ColumnStatus::kOk) << ColumnStatusText(status);
  return out;
}

// Decodes every value sequentially through Get(0), Get(1), ...
bool DecodeSequential(const Bytes& stream, std::size_t count, Values* out) {
  ColumnReader r;
  if (!r.Open(stream.data(), stream.size(), static_cast<std::uint32_t>(count))) return false;
  out->assign(count, 0);
  for (std::size_t i = 0; i < count; ++i) {
    if (!r.Get(static_cast<std::uint32_t>(i), &(*out)[i])) return false;
  }
  return true;
}

// The stream copied into a heap block of exactly its size, so that the
// sanitizer catches any read past its end.
class ExactBuffer {
 public:
  explicit ExactBuffer(const std::uint8_t* data, std::size_t size)
      : size_(size), data_(std::make_unique<std::uint8_t[]>(size == 0 ? 1 : size)) {
    std::copy(data, data + size, data_.get());
  }
  const std::uint8_t* data() const { return size_ == 0 ? nullptr : data_.get(); }
  std::size_t size() const { return size_; }

 private:
  std::size_t size_;
  std::unique_ptr<std::uint8_t[]> data_;
};

// ------------------------------------------------------------------ pinned streams

struct PinnedCase {
  const char* what;
  Values values;
  Bytes stream;
};

// Streams worked out by hand from the code table and the checkpoint rule.
std::vector<PinnedCase> PinnedCases() {
  std::vector<PinnedCase> cases;
  // 5: code 5 (n = 2); 6: code 1; 7: run once (15); 7: delta 0 (code 0);
  // 7: run once.  No checkpoint: the control part is the distance byte.
  cases.push_back({"small deltas and runs", {5, 6, 7, 7, 7}, {0x01, 0x52, 0x1F, 0x0F}});
  // 40,000,000 is beyond code 11's range: code 12 and eight nibbles.
  cases.push_back({"first value 40,000,000", {40000000}, {0x01, 0xC0, 0x26, 0x25, 0xA0, 0x00}});
  cases.push_back({"negative absolute", {-40000000}, {0x01, 0xCF, 0xD9, 0xDA, 0x60, 0x00}});
  // Each code's smallest and largest delta.
  cases.push_back({"code 5 and 6 limits", {3, 21, 3, 0}, {0x01, 0x50, 0x5F, 0x60, 0x6F}});
  cases.push_back(
      {"code 7 and 8 limits", {19, 293, 19, 0}, {0x01, 0x70, 0x07, 0xFF, 0x80, 0x08, 0xFF}});
  cases.push_back(
      {"code 9 limits", {-2048, -1, -2049}, {0x01, 0x90, 0x00, 0x9F, 0xFF, 0x90, 0x00}});
  cases.push_back(
      {"code 10 and 11", {32767, 32767 + 8388607}, {0x01, 0xAF, 0xFF, 0xFB, 0xFF, 0xFF, 0xFF}});
  // 272 zeros: one full run of 271 (code 14, 255) -- carried over the
  // boundaries at 127 and 255 by zero checkpoints -- then a new run of 1.
  cases.push_back({"272 zeros", Values(272, 0), {0x02, 0x00, 0xEF, 0xFF}});
  cases.push_back({"271 zeros", Values(271, 0), {0x02, 0x00, 0xEF, 0xF0}});
  {
    // 0..299: run once, code 1, a run of 271 (1 each), a run of 27.
    Values v(300);
    for (int i = 0; i < 300; ++i) v[i] = i;
    cases.push_back({"counting 0..299", v, {0x02, 0x00, 0xF1, 0xEF, 0xFE, 0x0B}});
  }
  {
    // v0 = 0, v1..v126 step 10 (code 5 n=7, run of 125 = code 14 b=109),
    // v127 = 3 coded from the anchor v0 at data nibble 6: checkpoint 4 6,
    // code 5 n=0.  v128 = 4 (code 1), v129..v254 step 1 (run of 126 =
    // code 14 b=110), v255 = 20 coded from the anchor 3 with the anchor's
    // delta 3 (code 5 n=14) at nibble 12: checkpoint distance 6 again, 4 0.
    Values v(256);
    for (int i = 0; i < 127; ++i) v[i] = 10 * i;
    v[127] = 3;
    for (int i = 128; i < 255; ++i) v[i] = 4 + (i - 128);
    v[255] = 20;
    cases.push_back({"values behind checkpoints",
                     v,
                     {0x03, 0x46, 0x40, 0xF5, 0x7E, 0x6D, 0x50, 0x1E, 0x6E, 0x5E}});
  }
  cases.push_back({"empty column", {}, {0x01}});
  return cases;
}

TEST(ColumnCodec, HandWorkedStreamsAreWrittenAndRead) {
  for (const PinnedCase& c : PinnedCases()) {
    SCOPED_TRACE(c.what);
    Bytes out;
    ASSERT_EQ(Encode(c.values, &out), ColumnStatus::kOk);
    EXPECT_EQ(Hex(out), Hex(c.stream));
    Values decoded;
    ASSERT_TRUE(DecodeSequential(c.stream, c.values.size(), &decoded));
    EXPECT_EQ(decoded, c.values);
  }
}

TEST(ColumnCodec, BoundaryValueIsDecodedFromTheAnchorNotThePreviousValue) {
  const Bytes stream = {0x03, 0x46, 0x40, 0xF5, 0x7E, 0x6D, 0x50, 0x1E, 0x6E, 0x5E};
  ColumnReader r;
  ASSERT_TRUE(r.Open(stream.data(), stream.size(), 256));
  std::int32_t v = 0;
  // Straight to the boundary values through the checkpoints.
  ASSERT_TRUE(r.Get(127, &v));
  EXPECT_EQ(v, 3);  // 0 + 3; from value 126 it would be 1263
  ASSERT_TRUE(r.Get(255, &v));
  EXPECT_EQ(v, 20);             // 3 + 17; from value 254 it would be 147
  ASSERT_TRUE(r.Get(126, &v));  // earlier: restart
  EXPECT_EQ(v, 1260);
  ASSERT_TRUE(r.Get(254, &v));
  EXPECT_EQ(v, 130);
  ASSERT_TRUE(r.Get(254, &v));  // the last value again
  EXPECT_EQ(v, 130);
}

TEST(ColumnCodec, HandBuiltCheckpointFormsAreRead) {
  // Data: v0 = 0 (run once, F), v1 = 1 (code 1), v2..v126 a run of 125
  // (14 6 D), value 127 = anchor 0 + 5 (5 2).  The checkpoint before value
  // 127 is written by hand in each form, all meaning distance 5 (the data
  // nibbles before value 127's code).
  const Bytes data = {0xF1, 0xE6, 0xD5, 0x20};
  struct Form {
    const char* what;
    Bytes control;  // after the distance byte, padded
  };
  const Form forms[] = {
      {"grow from 0", {0x45}},                // 4, 5: 0 + 0 * 16 + 5
      {"absolute below 1024", {0xC0, 0x50}},  // 12, 0 5: 0 * 256 + 5
      {"absolute 12-bit", {0x10, 0x05}},      // 1, 0 0 5
  };
  for (const Form& f : forms) {
    Bytes stream;
    stream.push_back(static_cast<std::uint8_t>(1 + f.control.size()));
    stream.insert(stream.end(), f.control.begin(), f.control.end());
    stream.insert(stream.end(), data.begin(), data.end());
    Values decoded;
    ASSERT_TRUE(DecodeSequential(stream, 128, &decoded)) << f.what;
    EXPECT_EQ(decoded[126], 126) << f.what;
    EXPECT_EQ(decoded[127], 5) << f.what;
  }
}

// ------------------------------------------------------------------ round trips

Values ExtremeAlternating(int count) {
  const std::int32_t cycle[] = {std::numeric_limits<std::int32_t>::max(),
                                std::numeric_limits<std::int32_t>::min(), 8388607, -8388608};
  Values v(count);
  for (int i = 0; i < count; ++i) v[i] = cycle[i % 4];
  return v;
}

// A column mixing the shapes coordinates take: runs of equal steps, small
// wiggles, jumps that fit each code, and absolute values.
Values RandomColumn(std::mt19937& rng, int count) {
  auto uniform = [&rng](std::int64_t lo, std::int64_t hi) {
    return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
  };
  // Kinds 0..4: equal steps, and random jumps of growing size; 5: absolute.
  const std::int64_t jump[] = {0, 3, 300, 40000, 9000000};
  Values v;
  std::int64_t cur = uniform(-180000000, 180000000);
  while (static_cast<int>(v.size()) < count) {
    const int kind = static_cast<int>(uniform(0, 5));
    const std::int64_t n = kind == 0 ? uniform(1, 400) : uniform(1, 40);
    const std::int64_t step = uniform(-20, 20);
    for (std::int64_t i = 0; i < n && static_cast<int>(v.size()) < count; ++i) {
      if (kind == 5) {
        cur = uniform(std::numeric_limits<std::int32_t>::min(),
                      std::numeric_limits<std::int32_t>::max());
      } else {
        cur += kind == 0 ? step : uniform(-jump[kind], jump[kind]);
      }
      cur = std::max<std::int64_t>(std::min<std::int64_t>(cur, 2147483647), -2147483647 - 1);
      v.push_back(static_cast<std::int32_t>(cur));
    }
  }
  return v;
}

// Values f(0), f(1), ..., f(count - 1).
template <typename F>
Values Make(int count, F f) {
  Values v(count);
  for (int i = 0; i < count; ++i) v[i] = f(i);
  return v;
}

TEST(ColumnCodec, RandomColumnsRoundTripWithRandomAccess) {
  const unsigned seed = 20240611u;
  std::printf("ColumnCodec random seed %u\n", seed);
  std::mt19937 rng(seed);
  for (int round = 0; round < 60; ++round) {
    const int count = std::uniform_int_distribution<int>(0, 3000)(rng);
    const Values v = RandomColumn(rng, count);
    Bytes stream;
    const ColumnStatus status = Encode(v, &stream);
    if (status != ColumnStatus::kOk) continue;  // too large: stored uncompressed
    Values decoded;
    ASSERT_TRUE(DecodeSequential(stream, v.size(), &decoded)) << "round " << round;
    ASSERT_EQ(decoded, v) << "round " << round;

    // DecodeAll with a stride, as record readers use it.
    Values strided(2 * v.size() + 1, 77);
    ColumnReader all;
    ASSERT_TRUE(all.Open(stream.data(), stream.size(), static_cast<std::uint32_t>(v.size())));
    if (!v.empty()) {
      ASSERT_TRUE(all.DecodeAll(strided.data() + 1, 2));
      for (std::size_t i = 0; i < v.size(); ++i) ASSERT_EQ(strided[1 + 2 * i], v[i]);
    }

    // Random access: forward jumps and restarts, in random order.
    ColumnReader r;
    ASSERT_TRUE(r.Open(stream.data(), stream.size(), static_cast<std::uint32_t>(v.size())));
    for (int q = 0; q < 200 && !v.empty(); ++q) {
      const std::uint32_t i = std::uniform_int_distribution<std::uint32_t>(
          0, static_cast<std::uint32_t>(v.size() - 1))(rng);
      std::int32_t got = 0;
      ASSERT_TRUE(r.Get(i, &got)) << "round " << round << " index " << i << ": " << r.error();
      ASSERT_EQ(got, v[i]) << "round " << round << " index " << i;
    }
    // Every boundary value straight after opening.
    for (std::uint32_t b = 127; b < v.size(); b += 128) {
      ColumnReader fresh;
      ASSERT_TRUE(fresh.Open(stream.data(), stream.size(), static_cast<std::uint32_t>(v.size())));
      std::int32_t got = 0;
      ASSERT_TRUE(fresh.Get(b, &got));
      ASSERT_EQ(got, v[b]) << "round " << round << " boundary " << b;
    }
  }
}

TEST(ColumnCodec, RandomAccessSkipsWholeBlocksAndZeroCheckpoints) {
  // 20000 values in blocks of distinct steps: every checkpoint is nonzero,
  // so reaching the last value decodes about one code a block.
  Values v(20000);
  for (int i = 0; i < 20000; ++i) v[i] = i * (1 + (i / 128) % 5) + ((i % 3) ? 1000 : 0);
  Bytes stream = EncodeOk(v);
  ColumnReader r;
  ASSERT_TRUE(r.Open(stream.data(), stream.size(), 20000));
  std::int32_t got = 0;
  ASSERT_TRUE(r.Get(19999, &got));
  EXPECT_EQ(got, v[19999]);
  EXPECT_LT(r.CodesDecodedForTest(), 20000u / 128 + 200);
  // Going back restarts; the answers stay exact.
  ASSERT_TRUE(r.Get(128, &got));
  EXPECT_EQ(got, v[128]);
  // A long counting run carried over the boundaries at 127 and 255 (zero
  // checkpoints), then mixed values with nonzero checkpoints.
  Values w(1000);
  for (int i = 0; i < 1000; ++i) w[i] = i < 300 ? i : (i * 7919) % 5003;
  stream = EncodeOk(w);
  ColumnReader s;
  ASSERT_TRUE(s.Open(stream.data(), stream.size(), 1000));
  ASSERT_TRUE(s.Get(900, &got));
  EXPECT_EQ(got, w[900]);
  EXPECT_LT(s.CodesDecodedForTest(), 200u);
}

// ------------------------------------------------------------------ limits

TEST(ColumnCodec, ByteLimitIsInclusiveAndALargerStreamIsNotWritten) {
  std::mt19937 rng(11);
  Values v(300);
  for (auto& x : v) x = static_cast<std::int32_t>(rng());
  Bytes out;
  ASSERT_EQ(Encode(v, &out, std::numeric_limits<std::size_t>::max()), ColumnStatus::kOk);
  const std::size_t size = out.size();
  Bytes exact;
  EXPECT_EQ(Encode(v, &exact, size), ColumnStatus::kOk);
  EXPECT_EQ(exact, out);
  Bytes below;
  EXPECT_EQ(Encode(v, &below, size - 1), ColumnStatus::kTooLarge);
  EXPECT_TRUE(below.empty());
}

TEST(ColumnCodec, ControlPartAbove255BytesIsRefused) {
  // Alternating +1/-1 steps: one nibble a value, no runs, so 40000 values
  // take 20 KB of data but 312 two-nibble checkpoints.
  Values v(40000);
  for (int i = 0; i < 40000; ++i) v[i] = i % 2;
  Bytes out;
  EXPECT_EQ(Encode(v, &out), ColumnStatus::kControlTooLarge);
  // The first checkpoint takes 3 nibbles (distance 127), the others 2
  // (distance 128, then unchanged): 253 checkpoints and the distance byte
  // make 509 nibbles, 255 bytes; 254 checkpoints do not fit.
  Values fits(v.begin(), v.begin() + 253 * 128 + 127);
  Bytes ok;
  ASSERT_EQ(Encode(fits, &ok), ColumnStatus::kOk);
  EXPECT_EQ(ok[0], 255);
  Values decoded;
  ASSERT_TRUE(DecodeSequential(ok, fits.size(), &decoded));
  EXPECT_EQ(decoded, fits);
  Values one_more(v.begin(), v.begin() + 254 * 128);
  Bytes refused;
  EXPECT_EQ(Encode(one_more, &refused), ColumnStatus::kControlTooLarge);
}

TEST(ColumnCodec, CheckpointDistanceBeyondEveryFormIsRefused) {
  // Blocks of 90 absolute values followed by a run carried over each
  // boundary: no nonzero checkpoint for 6 blocks, so the next one would
  // have to express a distance of about 5000 nibbles.
  std::mt19937 rng(5);
  Values v;
  for (int block = 0; block < 6; ++block) {
    for (int i = 0; i < 90; ++i)
      v.push_back(static_cast<std::int32_t>(rng() % 0x30000000u + 0x40000000u));
    for (int i = 0; i < 38; ++i) v.push_back(v.back() + 1);
  }
  Values until_carried(v);
  Bytes ok;
  ASSERT_EQ(Encode(until_carried, &ok), ColumnStatus::kOk);  // only zero checkpoints so far
  for (int i = 0; i < 200; ++i)
    v.push_back(static_cast<std::int32_t>(rng() % 0x30000000u + 0x40000000u));
  Bytes out;
  EXPECT_EQ(Encode(v, &out), ColumnStatus::kCheckpointTooFar);
}

// ------------------------------------------------------------------ corrupt input

// Decodes all values and a few random indices of a stream; never crashes.
bool TryDecode(const ExactBuffer& buf, std::uint32_t count, std::mt19937& rng) {
  ColumnReader r;
  if (!r.Open(buf.data(), buf.size(), count)) return false;
  std::vector<std::int32_t> out(count == 0 ? 1 : count);
  const bool all = r.DecodeAll(out.data(), 1);
  ColumnReader random_access;
  if (random_access.Open(buf.data(), buf.size(), count) && count > 0) {
    for (int q = 0; q < 8; ++q) {
      std::int32_t v = 0;
      random_access.Get(std::uniform_int_distribution<std::uint32_t>(0, count - 1)(rng), &v);
    }
  }
  return all;
}

std::vector<Values> CorruptionSamples() {
  std::mt19937 rng(99);
  std::vector<Values> samples;
  for (const PinnedCase& c : PinnedCases()) {
    if (!c.values.empty()) samples.push_back(c.values);
  }
  samples.push_back(RandomColumn(rng, 300));
  samples.push_back(ExtremeAlternating(140));
  return samples;
}

TEST(ColumnCodec, TruncatedStreamsFailWithoutReadingPastTheEnd) {
  std::mt19937 rng(1);
  for (const Values& v : CorruptionSamples()) {
    const Bytes stream = EncodeOk(v);
    for (std::size_t len = 0; len < stream.size(); ++len) {
      const ExactBuffer buf(stream.data(), len);
      EXPECT_FALSE(TryDecode(buf, static_cast<std::uint32_t>(v.size()), rng))
          << "cut at " << len << " of " << stream.size();
    }
  }
}

TEST(ColumnCodec, CheckpointPointingPastTheDataIsRefused) {
  // As "values behind checkpoints" but the first checkpoint says distance
  // 4 + 3 * 16 + 15 = 63 nibbles, beyond the data part.
  const Bytes stream = {0x03, 0x7F, 0x40, 0xF5, 0x7E, 0x6D, 0x50, 0x1E, 0x6E, 0x5E};
  ColumnReader r;
  ASSERT_TRUE(r.Open(stream.data(), stream.size(), 256));
  std::int32_t v = 0;
  EXPECT_FALSE(r.Get(127, &v));
  EXPECT_STREQ(r.error(), "column checkpoint points past the data");
  // A shrinking checkpoint below zero.
  const Bytes negative = {0x03, 0x8F, 0x40, 0xF5, 0x7E, 0x6D, 0x50, 0x1E, 0x6E, 0x5E};
  ASSERT_TRUE(r.Open(negative.data(), negative.size(), 256));
  EXPECT_FALSE(r.Get(200, &v));
  EXPECT_STREQ(r.error(), "column checkpoint distance is negative");
}

}  // namespace
}  // namespace lumetra
