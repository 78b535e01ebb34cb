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

}  // namespace
}  // namespace lumetra
