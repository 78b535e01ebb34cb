#include "objfile/object_header.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "frame/error.h"
#include "objfile/byte_order.h"
#include "objfile/extension_block.h"
#include "support/core_bytes.h"

namespace lumetra {
namespace {

using lumetra_test::Bytes;
using lumetra_test::Put16;
using lumetra_test::Put32;
using lumetra_test::Put64;
using lumetra_test::PutText;

ObjectHeader SampleHeader() {
  ObjectHeader h;
  h.signature = "Korvalune\r\nGeographic object file.\r\n\x1A";
  h.magic = ObjectHeader::kMagicCurrent;
  h.name_index_root32 = 0x00012000;
  h.spatial_index_root32 = 0x00018000;
  h.max_record_size = 1234;
  h.max_point_count = 567;
  h.old_bounds = {0, 0, 0, 0};
  h.coordinate_type = 1;
  h.flags = 0x000B;
  h.max_ring_count = 9;
  h.point_records = 3;
  h.line_records = 4;
  h.region_records = 5;
  h.bounds = Rect{-122500000, 37000000, -121000000, 38250000};
  h.extension_flag = 1;
  h.large_file_flag = 0;
  return h;
}

Bytes SampleHeaderBytes() {
  Bytes b(536, 0);
  PutText(b, 0, "Korvalune\r\nGeographic object file.\r\n\x1A");
  Put32(b, 256, 0x7755CDCB);
  Put32(b, 260, 0x00012000);
  Put32(b, 264, 0x00018000);
  Put32(b, 268, 1234);
  Put32(b, 272, 567);
  Put16(b, 284, 1);
  Put16(b, 286, 0x000B);
  Put32(b, 288, 9);
  Put32(b, 292, 3);
  Put32(b, 296, 4);
  Put32(b, 300, 5);
  Put32(b, 304, static_cast<std::uint32_t>(-122500000));
  Put32(b, 308, 37000000);
  Put32(b, 312, static_cast<std::uint32_t>(-121000000));
  Put32(b, 316, 38250000);
  Put16(b, 320, 1);
  return b;
}

TEST(ObjectHeader, EveryFieldIsEncodedAndDecodedAtItsOffset) {
  Bytes out;
  SampleHeader().EncodeTo(&out);
  ASSERT_EQ(out.size(), ObjectHeader::kEncodedSize);
  EXPECT_EQ(out, SampleHeaderBytes());
  ObjectHeader h;
  QError err;
  const Bytes bytes = SampleHeaderBytes();
  ASSERT_TRUE(h.DecodeFrom(bytes.data(), bytes.size(), "a.obj", &err));
  EXPECT_EQ(h, SampleHeader());
  EXPECT_EQ(err.code(), -1);
}

TEST(ObjectHeader, EncodesOldBoundsAndLargeFileRoots) {
  ObjectHeader h = SampleHeader();
  h.old_bounds = {0x0102, 0x0304, 0x0506, 0x0708};
  h.SetIndexRoots(0x123456789ull, 0x200000000ull);
  Bytes expected = SampleHeaderBytes();
  Put32(expected, 260, 0);
  Put32(expected, 264, 0);
  Put16(expected, 276, 0x0102);
  Put16(expected, 278, 0x0304);
  Put16(expected, 280, 0x0506);
  Put16(expected, 282, 0x0708);
  Put16(expected, 322, 1);
  Put64(expected, 328, 0x123456789ull);
  Put64(expected, 336, 0x200000000ull);
  Bytes out;
  h.EncodeTo(&out);
  EXPECT_EQ(out, expected);
}

TEST(ObjectHeader, RoundTripsEveryField) {
  ObjectHeader h = SampleHeader();
  h.signature = std::string(256, 'S');  // a full field keeps no terminator
  h.magic = ObjectHeader::kMagicOld;
  h.old_bounds = {1, 65535, 300, 40000};
  h.flags = 0x0013;
  h.large_file_flag = 1;
  h.name_index_root64 = 0xFFFFFFFFFFull;
  h.spatial_index_root64 = 0x1234567890ull;
  Bytes out;
  h.EncodeTo(&out);
  ObjectHeader back;
  ASSERT_TRUE(back.DecodeFrom(out.data(), out.size(), nullptr, nullptr));
  EXPECT_EQ(back, h);
}

TEST(ObjectHeader, ShortBufferIsRefusedWithItsSize) {
  const Bytes bytes = SampleHeaderBytes();
  ObjectHeader h;
  QError err;
  EXPECT_FALSE(h.DecodeFrom(bytes.data(), 535, "short.obj", &err));
  EXPECT_EQ(err.code(), 111);
  EXPECT_NE(std::string(err.detail()).find("short.obj"), std::string::npos);
  EXPECT_NE(std::string(err.detail()).find("535"), std::string::npos);
  EXPECT_FALSE(h.DecodeFrom(nullptr, 536, "null.obj", &err));
  EXPECT_EQ(err.code(), 111);
}

TEST(ObjectHeader, OnlyTheThreeKnownMagicsAreAcceptedOthersAreCode102) {
  const struct {
    std::uint32_t magic;
    bool known;
  } rows[] = {{0x7755CDCB, true},  {0x8755CDCB, true},  {0x7755CDC9, true}, {0, false},
              {0x7755CDCA, false}, {0x8755CDC9, false}, {0xCBCD5577, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << row.magic);
    Bytes bytes = SampleHeaderBytes();
    Put32(bytes, 256, row.magic);
    ObjectHeader h;
    QError err;
    EXPECT_EQ(h.DecodeFrom(bytes.data(), bytes.size(), "/data/bad.obj", &err), row.known);
    EXPECT_EQ(h.magic, row.magic);  // a bad value stays readable
    if (!row.known) {
      EXPECT_EQ(err.code(), 102);
      EXPECT_STREQ(err.message(), "Invalid file signature.");
      EXPECT_STREQ(err.detail(), "/data/bad.obj");
    }
  }
}

TEST(ObjectHeader, LayoutNeedsTheFlagAndACurrentMagic) {
  struct Row {
    std::uint32_t magic;
    std::uint16_t flags;
    bool current;
  };
  const Row rows[] = {
      {ObjectHeader::kMagicCurrent, 0x0008, true}, {ObjectHeader::kMagicTax, 0x0018, true},
      {ObjectHeader::kMagicOld, 0x0008, false},    {ObjectHeader::kMagicCurrent, 0x0003, false},
      {ObjectHeader::kMagicTax, 0x0010, false},
  };
  for (const Row& row : rows) {
    ObjectHeader h;
    h.magic = row.magic;
    h.flags = row.flags;
    EXPECT_EQ(h.IsCurrentLayout(), row.current) << std::hex << row.magic << " " << row.flags;
    EXPECT_EQ(h.UsesRtree(), row.current);
  }
}

TEST(ObjectHeader, IndexRootsComeFromTheLargeFieldsOnlyWithTheFlag) {
  ObjectHeader h = SampleHeader();
  h.name_index_root64 = 0x180000000ull;
  h.spatial_index_root64 = 0x190000000ull;
  EXPECT_EQ(h.NameIndexRoot(), 0x00012000u);
  EXPECT_EQ(h.SpatialIndexRoot(), 0x00018000u);
  h.large_file_flag = 1;
  EXPECT_EQ(h.NameIndexRoot(), 0x180000000ull);
  EXPECT_EQ(h.SpatialIndexRoot(), 0x190000000ull);
  // A large old file still reads its spatial root as an R-tree.
  h.magic = ObjectHeader::kMagicOld;
  EXPECT_TRUE(h.UsesRtree());
}

TEST(ObjectHeader, SetIndexRootsChoosesTheFieldWidth) {
  struct Row {
    std::uint64_t name_root;
    std::uint64_t spatial_root;
    bool large;
  };
  const Row rows[] = {
      {0x7FFFFFFFu, 0x7FFF8000u, false},
      {0x80000000u, 0x80008000u, true},
      {0x7FFF0000u, 0x80000000u, true},  // only the R-tree crosses 2^31
  };
  for (const Row& row : rows) {
    ObjectHeader h;
    h.SetIndexRoots(row.name_root, row.spatial_root);
    EXPECT_EQ(h.IsLargeFile(), row.large) << std::hex << row.name_root;
    EXPECT_EQ(h.NameIndexRoot(), row.name_root);
    EXPECT_EQ(h.SpatialIndexRoot(), row.spatial_root);
    if (row.large) {
      EXPECT_EQ(h.name_index_root32, 0u);
      EXPECT_EQ(h.spatial_index_root32, 0u);
    } else {
      EXPECT_EQ(h.name_index_root64, 0u);
    }
  }
}

TEST(ObjectHeader, OldBoundingBoxComesFromTheCoarseBounds) {
  struct Row {
    CoarseBounds coarse;
    Rect expected;
  };
  const Row rows[] = {
      // a = 14000, b = 15000, c = 15000, d = 20000
      {{14000, 15000, 15000, 20000}, Rect{-90002000, 29998000, -87998000, 40002000}},
      // 16-bit wrap: b + 1 = 0, c - 1 = 65535, a - 1 = 65535, d + 1 = 0
      {{0, 65535, 0, 65535}, Rect{-60000000, 131070000, -191070000, 0}},
  };
  for (const Row& row : rows) {
    ObjectHeader h;
    h.magic = ObjectHeader::kMagicOld;
    h.old_bounds = row.coarse;
    h.bounds = Rect{1, 2, 3, 4};
    EXPECT_EQ(h.BoundingBox(), row.expected);
  }
  ObjectHeader current = SampleHeader();
  EXPECT_EQ(current.BoundingBox(), current.bounds);
  // A record's coarse bounds: p = 14000, q = 15000, r = 16000, s = 17000.
  EXPECT_EQ(OldRecordBounds({14000, 15000, 16000, 17000}),
            (Rect{-90000000, 32000000, -88000000, 34000000}));
}

TEST(ObjectHeader, NewFileHeaderBytesAndTheTaxMagic) {
  const ObjectHeader h = ObjectHeader::ForNewFile(0x0003, 1);
  Bytes expected(536, 0);
  PutText(expected, 0, "Korvalune\r\nGeographic object file.\r\n");
  expected[36] = 0x1A;
  Put32(expected, 256, 0x7755CDCB);
  Put16(expected, 284, 1);
  Put16(expected, 286, 0x000B);
  Put32(expected, 304, 0x7FFFFFFF);
  Put32(expected, 308, 0x7FFFFFFF);
  Put32(expected, 312, 0x80000000);
  Put32(expected, 316, 0x80000000);
  Bytes out;
  h.EncodeTo(&out);
  EXPECT_EQ(out, expected);
  EXPECT_EQ(h.RecordCount(), 0u);
  // A tax build gets the tax magic.
  const ObjectHeader tax = ObjectHeader::ForNewFile(0x0010, 0);
  EXPECT_EQ(tax.magic, 0x8755CDCBu);
  EXPECT_EQ(tax.flags, 0x0018);
  EXPECT_TRUE(tax.IsTaxFile());
  EXPECT_TRUE(tax.IsCurrentLayout());
}

TEST(ObjectHeader, AddRecordRaisesMaximaCountsAndBox) {
  ObjectHeader h = ObjectHeader::ForNewFile(0, 1);
  h.AddRecord(ObjectKind::kRegion, 200, 10, 2, Rect{-5, -6, 7, 8});
  h.AddRecord(ObjectKind::kLine, 100, 30, 1, Rect{0, 0, 1, 1});
  h.AddRecord(ObjectKind::kPoint, 32, 0, 0, Rect{20, -9, 20, -9});
  EXPECT_EQ(h.max_record_size, 200u);
  EXPECT_EQ(h.max_point_count, 30u);
  EXPECT_EQ(h.max_ring_count, 2u);
  EXPECT_EQ(h.region_records, 1u);
  EXPECT_EQ(h.line_records, 1u);
  EXPECT_EQ(h.point_records, 1u);
  EXPECT_EQ(h.RecordCount(), 3u);
  EXPECT_EQ(h.bounds, (Rect{-5, -9, 20, 8}));
}

// ------------------------------------------------------------------ byte order

TEST(ByteOrder, ValuesAreLittleEndian) {
  std::uint8_t b[8] = {};
  PutI32(b, -2);
  EXPECT_EQ(Bytes(b, b + 4), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(GetI32(b), -2);
  PutU64(b, 0x0102030405060708ull);
  EXPECT_EQ(Bytes(b, b + 8), (Bytes{8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(GetU16(b), 0x0708);
  EXPECT_EQ(I32FromBits(0x80000000u), -2147483647 - 1);
}

TEST(ByteOrder, ReaderRefusesReadsPastTheEndAndKeepsItsPlace) {
  const std::uint8_t b[6] = {1, 0, 0, 0, 2, 0};
  ByteReader r(b, sizeof b);
  std::uint32_t v32 = 0;
  ASSERT_TRUE(r.ReadU32(&v32));
  EXPECT_EQ(v32, 1u);
  EXPECT_FALSE(r.ReadU32(&v32));  // only 2 bytes left
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.position(), 4u);
  std::uint16_t v16 = 0;
  EXPECT_TRUE(r.ReadU16(&v16));
  EXPECT_EQ(v16, 2);
  EXPECT_FALSE(r.Seek(7));
  EXPECT_EQ(r.remaining(), 0u);
}

// ------------------------------------------------------------------ extension block

TEST(ExtensionBlock, EncodesEveryFieldAtItsOffsetAndRefusesAShortBuffer) {
  ExtensionBlock b;
  b.first_text = "County boundaries";
  b.second_text = "v2";
  b.creation_time = "Wed Jun 30 21:49:08 1993";
  b.version = 12;
  b.code = 0xBEEF;
  Bytes expected(324, 0);  // offsets relative to the block (file offset 536)
  PutText(expected, 0, "County boundaries");
  PutText(expected, 256, "v2");
  PutText(expected, 288, "Wed Jun 30 21:49:08 1993");
  Put16(expected, 320, 12);
  Put16(expected, 322, 0xBEEF);
  Bytes out;
  b.EncodeTo(&out);
  EXPECT_EQ(out, expected);
  ExtensionBlock back;
  ASSERT_TRUE(back.DecodeFrom(out.data(), out.size(), "x", nullptr));
  EXPECT_EQ(back, b);
  QError err;
  EXPECT_FALSE(back.DecodeFrom(out.data(), 323, "e.obj", &err));
  EXPECT_EQ(err.code(), 111);
  EXPECT_NE(std::string(err.detail()).find("323"), std::string::npos);
}

TEST(ExtensionBlock, FullTextsRoundTripWithoutTerminators) {
  const std::string first(300, 'a');
  const std::string second(40, 'b');
  const ExtensionBlock b = ExtensionBlock::ForNewFile(7, first.c_str(), second.c_str(), 0);
  EXPECT_EQ(b.first_text, std::string(256, 'a'));
  EXPECT_EQ(b.second_text, std::string(32, 'b'));
  EXPECT_EQ(b.version, 12);
  EXPECT_EQ(b.code, 7);
  Bytes out;
  b.EncodeTo(&out);
  ASSERT_EQ(out.size(), ExtensionBlock::kEncodedSize);
  EXPECT_EQ(out[255], 'a');
  EXPECT_EQ(out[287], 'b');
  ExtensionBlock back;
  ASSERT_TRUE(back.DecodeFrom(out.data(), out.size(), "x", nullptr));
  EXPECT_EQ(back, b);
}

TEST(ExtensionBlock, CreationTimeIsTheCtimeForm) {
  const std::string text = ExtensionBlock::TimeText(1700000000);
  ASSERT_EQ(text.size(), 24u) << text;
  // "Www Mmm dd hh:mm:ss yyyy"
  EXPECT_EQ(text[3], ' ');
  EXPECT_EQ(text[7], ' ');
  EXPECT_EQ(text[13], ':');
  EXPECT_EQ(text[16], ':');
  EXPECT_EQ(text.substr(20), "2023");
  EXPECT_EQ(text.find('\n'), std::string::npos);
}

}  // namespace
}  // namespace lumetra
