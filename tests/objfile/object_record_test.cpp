#include "objfile/object_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "frame/error.h"
#include "support/core_bytes.h"

namespace lumetra {
namespace {

using lumetra_test::Bytes;
using lumetra_test::Put16;
using lumetra_test::Put32;
using lumetra_test::PutText;

void Put8(Bytes& b, std::size_t at, std::uint8_t v) { b[at] = v; }
void PutI32(Bytes& b, std::size_t at, std::int32_t v) {
  Put32(b, at, static_cast<std::uint32_t>(v));
}
// Consecutive little-endian i32 values from `at` on.
void PutI32s(Bytes& b, std::size_t at, std::initializer_list<std::int32_t> values) {
  for (std::int32_t v : values) PutI32(b, (at += 4) - 4, v);
}

RecordContext Context(RecordLayout layout = RecordLayout::kCurrent) {
  RecordContext ctx;
  ctx.layout = layout;
  ctx.file_name = "test.obj";
  ctx.offset = 4096;
  return ctx;
}

// ------------------------------------------------------------------ names

TEST(NamesBlock, PadsToAMultipleOfFourWithOneToFourZeros) {
  struct Row {
    const char* name;
    const char* second;
    Bytes expected;
  };
  const Row rows[] = {
      {"AB", "C", {'A', 'B', 0, 'C', 0, 0, 0, 0}},
      {"AB", "", {'A', 'B', 0, 0, 0, 0, 0, 0}},
      {"A", "", {'A', 0, 0, 0}},
      {"", "", {0, 0, 0, 0}},
      {"A", "B", {'A', 0, 'B', 0, 0, 0, 0, 0}},
      {"ABC", "DEF", {'A', 'B', 'C', 0, 'D', 'E', 'F', 0, 0, 0, 0, 0}},
  };
  for (const Row& row : rows) {
    Bytes out;
    NamesBlock::EncodeTo(row.name, row.second, &out);
    EXPECT_EQ(out, row.expected) << row.name << "/" << row.second;
    EXPECT_EQ(NamesBlock::EncodedSize(row.name, row.second), row.expected.size());
    std::string name, second;
    ASSERT_TRUE(NamesBlock::DecodeFrom(out.data(), out.size(), &name, &second));
    EXPECT_EQ(name, row.name);
    EXPECT_EQ(second, row.second);
  }
}

TEST(NamesBlock, NamesAreCutAt127CharactersAndNeedTheirTerminators) {
  Bytes out;
  NamesBlock::EncodeTo(std::string(200, 'n'), std::string(130, 's'), &out);
  std::string name, second;
  ASSERT_TRUE(NamesBlock::DecodeFrom(out.data(), out.size(), &name, &second));
  EXPECT_EQ(name, std::string(127, 'n'));
  EXPECT_EQ(second, std::string(127, 's'));
  EXPECT_EQ(out.size(), 260u);  // 127 + 1 + 127 + 1 = 256, a multiple of 4, gains 4 zeros
  for (const Bytes& bad : {Bytes{'A', 'B', 'C'}, Bytes{'A', 0, 'B', 'C'}}) {
    EXPECT_FALSE(NamesBlock::DecodeFrom(bad.data(), bad.size(), &name, &second)) << bad.size();
  }
}

// ------------------------------------------------------------------ prefix and points

TEST(RecordPrefix, EncodesKindIdAndLength) {
  RecordPrefix p;
  p.kind = ObjectKind::kLine;
  p.id = 0xAB;
  p.length = 0x01020304;
  std::uint8_t raw[8];
  p.EncodeTo(raw);
  EXPECT_EQ(Bytes(raw, raw + 8), (Bytes{1, 0xAB, 0, 0, 4, 3, 2, 1}));
}

PointRecord SamplePoint() {
  PointRecord p;
  p.id = 7;
  p.x = -122419000;
  p.y = 37774900;
  p.symbol_colour = 3;
  p.symbol_size = 12;
  p.symbol_shape = 34;
  p.name = "AB";
  p.second_name = "C";
  return p;
}

Bytes SamplePointBytes() {
  Bytes b(32, 0);
  Put8(b, 0, 2);
  Put8(b, 1, 7);
  Put32(b, 4, 32);
  PutI32(b, 8, -122419000);
  PutI32(b, 12, 37774900);
  Put32(b, 16, 3);
  Put8(b, 20, 12);
  Put8(b, 21, 34);
  PutText(b, 24, "AB");
  PutText(b, 27, "C");
  return b;
}

TEST(PointRecord, EveryFieldIsEncodedAndDecodedAtItsOffsetWhateverTheIdByte) {
  Bytes out;
  SamplePoint().EncodeTo(&out);
  EXPECT_EQ(out, SamplePointBytes());
  EXPECT_EQ(SamplePoint().EncodedSize(), 32u);
  PointRecord p;
  QError err;
  ASSERT_TRUE(p.DecodeFrom(out.data(), out.size(), Context(), &err)) << err.detail();
  EXPECT_EQ(p, SamplePoint());
  EXPECT_EQ(p.Bounds(), (Rect{-122419000, 37774900, -122419000, 37774900}));
  for (std::uint8_t id : {0, 1, 255}) {
    PointRecord other = SamplePoint();
    other.id = id;
    Bytes bytes;
    other.EncodeTo(&bytes);
    PointRecord back;
    ASSERT_TRUE(back.DecodeFrom(bytes.data(), bytes.size(), Context(), nullptr)) << int{id};
    EXPECT_EQ(back, other);
  }
}

// ------------------------------------------------------------------ regions and lines

PolyRecord SampleRegion() {
  PolyRecord r;
  r.kind = ObjectKind::kRegion;
  r.id = 9;
  r.record_flags = kRecordFlagCurrent;
  r.pen_width = 2;
  r.pen_pattern = 3;
  r.label_x = 6;
  r.label_y = 10;
  r.pen_colour = 1;
  r.brush_foreground = 0x00FF00;
  r.brush_background = 0xFFFFFF;
  r.brush_pattern = 5;
  r.bounds = Rect{4, 9, 8, 12};
  r.name = "R";
  r.ring_counts = {3};
  r.points = {{5, 10}, {6, 10}, {7, 11}};
  return r;
}

// The fixed part of SampleRegion in the current layout, names "R" at 80.
Bytes SampleRegionFixed(std::uint32_t length, std::uint8_t flags, std::uint32_t segments) {
  Bytes b(length, 0);
  Put8(b, 0, 0);
  Put8(b, 1, 9);
  Put32(b, 4, length);
  Put32(b, 8, 1);
  Put32(b, 12, 3);
  Put32(b, 16, segments);
  Put32(b, 20, 84);
  Put32(b, 24, 88);
  Put8(b, 36, 2);
  Put8(b, 37, 3);
  Put8(b, 38, flags);
  PutI32(b, 40, 6);
  PutI32(b, 44, 10);
  Put32(b, 48, 1);
  Put32(b, 52, 0x00FF00);
  Put32(b, 56, 0xFFFFFF);
  Put32(b, 60, 5);
  PutI32(b, 64, 4);
  PutI32(b, 68, 9);
  PutI32(b, 72, 8);
  PutI32(b, 76, 12);
  PutText(b, 80, "R");
  Put32(b, 84, 3);
  return b;
}

TEST(PolyRecord, EncodesAnUncompressedRegionAtItsOffsetsWithItsBoundsInEffect) {
  Bytes expected = SampleRegionFixed(112, 0x08, 0);
  PutI32s(expected, 88, {5, 10, 6, 10, 7, 11});
  Bytes out;
  PolyRecord r = SampleRegion();
  const PolyEncodeResult res = r.EncodeTo(&out);
  ASSERT_TRUE(res.ok);
  EXPECT_EQ(res.length, 112u);
  EXPECT_EQ(res.record_flags, 0x08);
  EXPECT_EQ(out, expected);
  // The current bounds count while the record flag says so, else the old ones.
  r.old_bounds = {14000, 15000, 16000, 17000};
  EXPECT_EQ(r.EffectiveBounds(), (Rect{4, 9, 8, 12}));
  r.record_flags = 0;
  EXPECT_EQ(r.EffectiveBounds(), (Rect{-90000000, 32000000, -88000000, 34000000}));
}

TEST(PolyRecord, EncodesACompressedRegionAsSizeTableAndColumns) {
  PolyRecord r = SampleRegion();
  r.record_flags = kRecordFlagCurrent | kRecordFlagCompressed;
  // x 5, 6, 7: code 5 (n 2), code 1, run once  -> 01 52 1F
  // y 10, 10, 11: code 5 (n 7), code 0, code 1 -> 01 57 01
  Bytes expected = SampleRegionFixed(102, 0x0A, 0);
  Put32(expected, 88, 3);
  Put32(expected, 92, 3);
  const std::uint8_t columns[] = {0x01, 0x52, 0x1F, 0x01, 0x57, 0x01};
  std::copy(columns, columns + 6, expected.begin() + 96);
  Bytes out;
  const PolyEncodeResult res = r.EncodeTo(&out);
  ASSERT_TRUE(res.ok);
  EXPECT_EQ(res.record_flags, 0x0A);
  EXPECT_EQ(out, expected);
}

PolyRecord SampleOldLine() {
  PolyRecord r;
  r.kind = ObjectKind::kLine;
  r.id = 4;
  r.layout = RecordLayout::kOld;
  r.record_flags = 0;
  r.pen_width = 1;
  r.pen_pattern = 2;
  r.label_x = -1;
  r.label_y = -2;
  r.pen_colour = 77;
  r.old_bounds = {14000, 15000, 16000, 17000};
  r.name = "L";
  r.ring_counts = {2};
  r.points = {{-90000000, 32000000}, {-88000000, 34000000}};
  return r;
}

TEST(PolyRecord, EncodesAnOldLineWithNamesAt52) {
  Bytes expected(76, 0);
  Put8(expected, 0, 1);
  Put8(expected, 1, 4);
  Put32(expected, 4, 76);
  Put32(expected, 8, 1);
  Put32(expected, 12, 2);
  Put32(expected, 20, 56);
  Put32(expected, 24, 60);
  for (int i = 0; i < 4; ++i) Put16(expected, 28 + 2 * i, 14000 + 1000 * i);
  Put8(expected, 36, 1);
  Put8(expected, 37, 2);
  PutI32s(expected, 40, {-1, -2, 77});
  PutText(expected, 52, "L");
  PutI32s(expected, 56, {2, -90000000, 32000000, -88000000, 34000000});
  Bytes out;
  ASSERT_TRUE(SampleOldLine().EncodeTo(&out).ok);
  EXPECT_EQ(out, expected);

  PolyRecord back;
  ASSERT_TRUE(
      back.DecodeFrom(expected.data(), expected.size(), Context(RecordLayout::kOld), nullptr));
  EXPECT_EQ(back, SampleOldLine());
  EXPECT_EQ(back.EffectiveBounds(), (Rect{-90000000, 32000000, -88000000, 34000000}));
  EXPECT_EQ(back.Origin(), (RecordPoint{-90000000, 32000000}));
}

// A record with random geometry for round trips.
PolyRecord RandomPoly(std::mt19937& rng, ObjectKind kind, RecordLayout layout, std::uint8_t flags) {
  PolyRecord r;
  r.kind = kind;
  r.layout = layout;
  r.record_flags = flags;
  r.id = static_cast<std::uint8_t>(rng());
  r.pen_width = static_cast<std::uint8_t>(rng());
  r.pen_pattern = static_cast<std::uint8_t>(rng());
  r.label_x = static_cast<std::int32_t>(rng());
  r.label_y = static_cast<std::int32_t>(rng());
  r.pen_colour = rng();
  const bool brush = kind == ObjectKind::kRegion || layout == RecordLayout::kCurrent;
  if (brush) {
    r.brush_foreground = rng();
    r.brush_background = rng();
    r.brush_pattern = rng();
  }
  if (layout == RecordLayout::kCurrent) {
    r.bounds = Rect{static_cast<std::int32_t>(rng()), -5, 7, static_cast<std::int32_t>(rng())};
  } else {
    r.old_bounds = {static_cast<std::uint16_t>(rng()), 2, 3, static_cast<std::uint16_t>(rng())};
  }
  r.name = std::string(rng() % 128, 'x');
  r.second_name = std::string(rng() % 20, 'y');
  const int rings = static_cast<int>(rng() % 5);
  std::int32_t x = static_cast<std::int32_t>(rng() % 360000000) - 180000000;
  std::int32_t y = static_cast<std::int32_t>(rng() % 180000000) - 90000000;
  for (int i = 0; i < rings; ++i) {
    const std::uint32_t n = rng() % 400;
    r.ring_counts.push_back(n);
    for (std::uint32_t k = 0; k < n; ++k) {
      x += static_cast<std::int32_t>(rng() % 2001) - 1000;
      y += (k % 50 < 25) ? 3 : static_cast<std::int32_t>(rng() % 41) - 20;
      r.points.push_back({x, y});
    }
  }
  if ((flags & kRecordFlagSegments) != 0) {
    r.segments.resize(r.points.size());
    for (SegmentRecord& s : r.segments) {
      for (int f = 0; f < SegmentRecord::kFieldCount; ++f) {
        s.SetField(f, static_cast<std::int32_t>(rng() % 100000));
      }
    }
  }
  return r;
}

// ------------------------------------------------------------------ corrupt records

struct Corruption {
  const char* what;
  void (*apply)(Bytes&);
  RecordLimits limits;
  const char* reason;  // part of the expected detail
};

// A compressed region with segments: every count and offset is in play.
Bytes CorruptionBase() {
  PolyRecord r = SampleRegion();
  r.record_flags = kRecordFlagCurrent | kRecordFlagCompressed | kRecordFlagSegments;
  r.segments.resize(3);
  r.segments[1].length = 99;
  Bytes out;
  EXPECT_TRUE(r.EncodeTo(&out).ok);
  return out;
}

RecordLimits Limits(std::uint32_t record, std::uint32_t points, std::uint32_t rings) {
  RecordLimits l;
  l.max_record_size = record;
  l.max_point_count = points;
  l.max_ring_count = rings;
  return l;
}

TEST(PolyRecord, CorruptRecordsAreRefusedWithCode100) {
  const RecordLimits wide = Limits(1000, 10, 4);
  const Corruption rows[] = {
      {"unknown kind", [](Bytes& b) { b[0] = 3; }, wide, "unknown record kind"},
      {"point kind", [](Bytes& b) { b[0] = 2; }, wide, "not a region or line record"},
      {"length beyond the bytes", [](Bytes& b) { Put32(b, 4, 500); }, wide,
       "record longer than the bytes read"},
      {"length below the fixed part", [](Bytes& b) { Put32(b, 4, 83); }, wide,
       "record length below its fixed part"},
      {"length above the largest record", [](Bytes&) {}, Limits(100, 10, 4),
       "above the file's largest record"},
      {"ring count above the maximum", [](Bytes&) {}, Limits(1000, 10, 0), "ring count above"},
      {"point count above the maximum", [](Bytes&) {}, Limits(1000, 2, 4), "point count above"},
      {"ring counts beyond the record", [](Bytes& b) { Put32(b, 8, 1000000); },
       Limits(1000, 10, 0xFFFFFFFF), "ring counts beyond the record"},
      {"ring offset beyond the record", [](Bytes& b) { Put32(b, 20, 0xFFFFFFF0u); }, wide,
       "ring counts beyond the record"},
      {"coordinate offset beyond the record", [](Bytes& b) { Put32(b, 24, 4000); }, wide,
       "coordinate area beyond the record"},
      {"ring sum differs from points", [](Bytes& b) { Put32(b, 84, 2); }, wide, "do not add up"},
      {"segment count above the maximum", [](Bytes& b) { Put32(b, 16, 11); }, wide,
       "segment count above"},
      {"column size beyond the record", [](Bytes& b) { Put32(b, 88, 1000); }, wide,
       "column size beyond the record"},
      {"column with a bad distance byte", [](Bytes& b) { b[88 + 36] = 0; }, wide,
       "column control length does not fit"},
      {"names without terminators",
       [](Bytes& b) {
         for (std::size_t i = 80; i < b.size(); ++i) b[i] = 'z';
       },
       wide, "names block without its terminators"},
      {"huge point count in a compressed record",
       [](Bytes& b) {
         Put32(b, 12, 0x7FFFFFFF);
         Put32(b, 84, 0x7FFFFFFF);
       },
       Limits(1000, 0xFFFFFFFF, 4), "more values than a compressed column can hold"},
  };
  for (const Corruption& row : rows) {
    Bytes b = CorruptionBase();
    row.apply(b);
    RecordContext ctx = Context();
    ctx.limits = row.limits;
    PolyRecord r;
    QError err;
    EXPECT_FALSE(r.DecodeFrom(b.data(), b.size(), ctx, &err)) << row.what;
    EXPECT_EQ(err.code(), 100) << row.what;
    EXPECT_NE(std::string(err.detail()).find("test.obj"), std::string::npos) << row.what;
    EXPECT_NE(std::string(err.detail()).find("4096"), std::string::npos) << row.what;
    EXPECT_NE(std::string(err.detail()).find(row.reason), std::string::npos)
        << row.what << ": " << err.detail();
  }
  // The untouched base decodes under the wide limits.
  const Bytes base = CorruptionBase();
  RecordContext ctx = Context();
  ctx.limits = wide;
  PolyRecord r;
  EXPECT_TRUE(r.DecodeFrom(base.data(), base.size(), ctx, nullptr));
}

TEST(PolyRecord, UncompressedCoordinatesBeyondTheRecordAreRefused) {
  Bytes out;
  ASSERT_TRUE(SampleRegion().EncodeTo(&out).ok);
  Put32(out, 12, 4);  // 4 points claimed, 3 stored
  Put32(out, 84, 4);
  PolyRecord r;
  QError err;
  EXPECT_FALSE(r.DecodeFrom(out.data(), out.size(), Context(), &err));
  EXPECT_EQ(err.code(), 100);
}

// Copies into a heap block of exactly `size` bytes so the sanitizer sees
// any read past the end.
bool DecodeExact(const std::uint8_t* data, std::size_t size, RecordLayout layout) {
  auto copy = std::make_unique<std::uint8_t[]>(size == 0 ? 1 : size);
  std::copy(data, data + size, copy.get());
  RecordPrefix prefix;
  RecordContext ctx = Context(layout);
  ctx.limits = Limits(100000, 5000, 100);
  if (!prefix.DecodeFrom(size == 0 ? nullptr : copy.get(), size, ctx, nullptr)) return false;
  if (prefix.kind == ObjectKind::kPoint) {
    PointRecord p;
    return p.DecodeFrom(copy.get(), size, ctx, nullptr);
  }
  PolyRecord r;
  return r.DecodeFrom(copy.get(), size, ctx, nullptr);
}

std::vector<std::pair<Bytes, RecordLayout>> EncodedSamples() {
  std::mt19937 rng(31);
  std::vector<std::pair<Bytes, RecordLayout>> out;
  for (RecordLayout layout : {RecordLayout::kCurrent, RecordLayout::kOld}) {
    for (std::uint8_t bits : {0, 1, 2, 3}) {
      PolyRecord r =
          RandomPoly(rng, bits % 2 ? ObjectKind::kLine : ObjectKind::kRegion, layout,
                     static_cast<std::uint8_t>(bits | (layout == RecordLayout::kCurrent ? 8 : 0)));
      r.ring_counts.resize(std::min<std::size_t>(r.ring_counts.size(), 1));
      r.points.resize(r.ring_counts.empty() ? 0 : r.ring_counts[0]);
      if (!r.segments.empty()) r.segments.resize(r.points.size());
      // Small records keep the bit-flip test fast under the sanitizers.
      r.name.resize(std::min<std::size_t>(r.name.size(), 6));
      if (r.points.size() > 20) {
        r.points.resize(20);
        r.ring_counts[0] = 20;
        if (!r.segments.empty()) r.segments.resize(20);
      }
      Bytes b;
      EXPECT_TRUE(r.EncodeTo(&b).ok);
      out.emplace_back(b, layout);
    }
  }
  Bytes point;
  SamplePoint().EncodeTo(&point);
  out.emplace_back(point, RecordLayout::kCurrent);
  return out;
}

TEST(ObjectRecord, TruncatedRecordsAreRefused) {
  for (const auto& [bytes, layout] : EncodedSamples()) {
    ASSERT_TRUE(DecodeExact(bytes.data(), bytes.size(), layout));
    for (std::size_t len = 0; len < bytes.size(); ++len) {
      EXPECT_FALSE(DecodeExact(bytes.data(), len, layout)) << "cut at " << len;
    }
  }
}

}  // namespace
}  // namespace lumetra
