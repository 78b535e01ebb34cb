// ShapeOpen and ShapeRead: shapefiles read record by record.  See
// <lumetra/shapefile.h> for the caller's contract and
// docs/formats/shapefile.md for the bytes.
//
// The reader distrusts its input: both main headers must carry the file code
// and declare lengths the files really hold; a record's content length is
// compared with the bytes left in the file before the record buffer grows;
// part and point counts are compared with the content length before the
// point array or part list grows, and part starts must rise within the
// point count.  So no buffer is ever sized from a count the file cannot back
// up, and no byte outside the record is read.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "lumetra/shapefile.h"
#include "shapefile/byte_order.h"
#include "shapefile/shape_buffers.h"
#include "shapefile/shp_layout.h"
#include "shapefile/stdio_support.h"

namespace lumetra {
namespace shapefile {
namespace {

// Reads and checks the main header of an opened .shp or .shx.  `prefix` is
// "shpOpen" or "shxOpen".
int ReadMainHeader(std::FILE* stream, const std::string& path, const char* prefix,
                   ShpMainHeader* header) {
  std::uint8_t bytes[ShpMainHeader::kEncodedSize];
  const std::string fread_text = std::string(prefix) + "::fread";
  if (ReadUpTo(stream, bytes, sizeof bytes) != sizeof bytes) {
    return ReportStreamFailure(fread_text.c_str(), stream);
  }
  *header = ShpMainHeader::DecodeFrom(bytes);
  if (header->file_code != kShpFileCode) {
    return ReportCorruption(prefix, "%s: file code %d is not %d", path.c_str(), header->file_code,
                            kShpFileCode);
  }
  const std::int64_t declared = static_cast<std::int64_t>(header->file_length_words) * 2;
  const std::int64_t actual = StreamFileSize(stream);
  if (header->file_length_words < kShpHeaderWords || (actual >= 0 && actual < declared)) {
    return ReportCorruption(prefix, "%s: declared length %d words, the file holds %lld bytes",
                            path.c_str(), header->file_length_words,
                            static_cast<long long>(actual));
  }
  return 0;
}

int OpenMain(shpFile* shape, const std::string& base) {
  const std::string path = base + ".shp";
  UniqueStream stream = OpenBufferedStream(path.c_str(), "rb", "shpOpen::setvbuf");
  if (!stream) return -1;
  shape->shp = stream.release();
  if (ReserveRecordBytes(shape, kReadRecordCapacity, "shpOpen::_MALLOC") != 0 ||
      ReservePartStarts(shape, kReadPartStartCapacity, "shpOpen::_MALLOC") != 0) {
    return -1;
  }
  ShpMainHeader header;
  if (ReadMainHeader(shape->shp, path, "shpOpen", &header) != 0) return -1;
  shape->shapeType = header.shape_type;
  std::memcpy(shape->fileBox, header.box, sizeof shape->fileBox);
  std::memcpy(shape->box, header.box, sizeof shape->box);
  shape->shpLength = header.file_length_words;
  return ReservePoints(shape, kInitialPointCapacity, "shpOpen::_MALLOC");
}

int OpenIndex(shpFile* shape, const std::string& base) {
  const std::string path = base + ".shx";
  UniqueStream stream = OpenBufferedStream(path.c_str(), "rb", "shxOpen::setvbuf");
  if (!stream) return -1;
  shape->shx = stream.release();
  ShpMainHeader header;
  if (ReadMainHeader(shape->shx, path, "shxOpen", &header) != 0) return -1;
  shape->shxLength = header.file_length_words;
  shape->numRecords = (header.file_length_words - kShpHeaderWords) / kShxEntryWords;
  return 0;
}

// Decodes `count` x, y pairs from `cursor` at `offset` into the point array,
// which holds at least `count` points.
void DecodePoints(const ByteCursor& cursor, std::size_t offset, std::size_t count, double* points) {
  for (std::size_t i = 0; i < 2 * count; ++i) cursor.LeDoubleAt(offset + 8 * i, &points[i]);
}

// The record box at content offset 4.  Copied into the packed structure
// with memcpy, which makes no assumption about its alignment.
void DecodeBox(const ByteCursor& cursor, shpFile* shape) {
  double box[4] = {0, 0, 0, 0};
  for (int i = 0; i < 4; ++i) cursor.LeDoubleAt(4 + 8 * static_cast<std::size_t>(i), &box[i]);
  std::memcpy(shape->box, box, sizeof box);
}

int ReadPoint(shpFile* shape, const ByteCursor& cursor, std::int32_t record_number) {
  if (!cursor.Holds(0, kPointContentSize)) {
    return ReportCorruption("ShapeRead",
                            "record %d: point content of %zu bytes is shorter than %zu",
                            record_number, cursor.size(), kPointContentSize);
  }
  if (ReservePoints(shape, 1, "PointSet") != 0) return -1;
  double x = 0;
  double y = 0;
  cursor.LeDoubleAt(4, &x);
  cursor.LeDoubleAt(12, &y);
  shape->points[0] = x;
  shape->points[1] = y;
  const double box[4] = {x, y, x, y};
  std::memcpy(shape->box, box, sizeof box);
  return 0;
}

// Reads parts + 1 part starts (the last one the point count) after checking
// that they rise within [0, points].
int ReadPartStarts(shpFile* shape, const ByteCursor& cursor, std::int32_t parts,
                   std::int32_t points, std::int32_t record_number) {
  if (ReservePartStarts(shape, static_cast<std::size_t>(parts) + 1, "PartMalloc") != 0) return -1;
  std::int32_t previous = 0;
  for (std::int32_t i = 0; i < parts; ++i) {
    std::int32_t start = 0;
    cursor.LeInt32At(kPolyFixedContentSize + 4 * static_cast<std::size_t>(i), &start);
    if (start < previous || start > points) {
      return ReportCorruption("ShapeRead",
                              "record %d: part %d starts at point %d (previous %d, %d points)",
                              record_number, i, start, previous, points);
    }
    shape->partStarts[i] = start;
    previous = start;
  }
  shape->partStarts[parts] = points;
  shape->partStartCount = parts + 1;
  return 0;
}

int ReadPoly(shpFile* shape, const ByteCursor& cursor, std::int32_t record_number) {
  std::int32_t parts = 0;
  std::int32_t points = 0;
  if (!cursor.LeInt32At(36, &parts) || !cursor.LeInt32At(40, &points)) {
    return ReportCorruption("ShapeRead", "record %d: poly content of %zu bytes is shorter than %zu",
                            record_number, cursor.size(), kPolyFixedContentSize);
  }
  const std::int64_t needed = static_cast<std::int64_t>(kPolyFixedContentSize) +
                              4 * static_cast<std::int64_t>(parts) +
                              16 * static_cast<std::int64_t>(points);
  if (parts < 0 || points < 0 || needed > static_cast<std::int64_t>(cursor.size())) {
    return ReportCorruption(
        "ShapeRead", "record %d: %d parts and %d points need %lld bytes, the record holds %zu",
        record_number, parts, points, static_cast<long long>(needed), cursor.size());
  }
  if (ReservePoints(shape, static_cast<std::size_t>(points), "PointSet") != 0) return -1;
  if (ReadPartStarts(shape, cursor, parts, points, record_number) != 0) return -1;
  if (ReservePartList(shape, static_cast<std::size_t>(parts), "ProcPoly") != 0) return -1;
  DecodeBox(cursor, shape);
  DecodePoints(cursor, kPolyFixedContentSize + 4 * static_cast<std::size_t>(parts),
               static_cast<std::size_t>(points), shape->points);
  for (std::int32_t i = 0; i < parts; ++i) {
    shape->parts[i].numPoints = shape->partStarts[i + 1] - shape->partStarts[i];
    shape->parts[i].points = shape->points + 2 * static_cast<std::size_t>(shape->partStarts[i]);
  }
  shape->numParts = parts;
  return 0;
}

int ReadMultiPoint(shpFile* shape, const ByteCursor& cursor, std::int32_t record_number) {
  std::int32_t points = 0;
  if (!cursor.Holds(0, kMultiPointFixedContentSize)) {
    return ReportCorruption("ShapeRead",
                            "record %d: multipoint content of %zu bytes is shorter than %zu",
                            record_number, cursor.size(), kMultiPointFixedContentSize);
  }
  cursor.LeInt32At(36, &points);
  const std::int64_t needed = static_cast<std::int64_t>(kMultiPointFixedContentSize) +
                              16 * static_cast<std::int64_t>(points);
  if (points < 0 || needed > static_cast<std::int64_t>(cursor.size())) {
    return ReportCorruption("ShapeRead",
                            "record %d: %d points need %lld bytes, the record holds %zu",
                            record_number, points, static_cast<long long>(needed), cursor.size());
  }
  if (ReservePoints(shape, static_cast<std::size_t>(points), "PointSet") != 0) return -1;
  DecodeBox(cursor, shape);
  DecodePoints(cursor, kMultiPointFixedContentSize, static_cast<std::size_t>(points),
               shape->points);
  shape->numMultiPoints = points;
  shape->multiPoints = shape->points;
  return 0;
}

// Reads the content of a record whose header has just been read, after
// checking its length against the bytes left in the file.
int ReadContent(shpFile* shape, const ShpRecordHeader& header) {
  const std::int64_t length = static_cast<std::int64_t>(header.content_length_words) * 2;
  const std::int64_t position = StreamPosition(shape->shp);
  const std::int64_t size = StreamFileSize(shape->shp);
  if (header.content_length_words < 2 || position < 0 || size < 0 || length > size - position) {
    return ReportCorruption(
        "ShapeRead", "record %d: content of %d words, %lld bytes left in the file",
        header.record_number, header.content_length_words, static_cast<long long>(size - position));
  }
  if (ReserveRecordBytes(shape, static_cast<std::size_t>(length), "BlobMalloc") != 0) return -1;
  if (ReadUpTo(shape->shp, shape->recordData, static_cast<std::size_t>(length)) !=
      static_cast<std::size_t>(length)) {
    return ReportStreamFailure("ShapeRead", shape->shp);
  }
  shape->recordSize = static_cast<unsigned long long>(length);
  return 0;
}

int ReadRecord(shpFile* shape) {
  std::uint8_t bytes[ShpRecordHeader::kEncodedSize];
  const std::size_t got = ReadUpTo(shape->shp, bytes, sizeof bytes);
  if (got == 0 && !std::ferror(shape->shp)) return 1;
  if (got != sizeof bytes) return ReportStreamFailure("ShapeRead", shape->shp);
  const ShpRecordHeader header = ShpRecordHeader::DecodeFrom(bytes);
  if (ReadContent(shape, header) != 0) return -1;

  const ByteCursor cursor(shape->recordData, static_cast<std::size_t>(shape->recordSize));
  std::int32_t shape_type = 0;
  cursor.LeInt32At(0, &shape_type);
  shape->shapeType = shape_type;
  switch (shape->shapeType) {
    case SHP_POINT:
      return ReadPoint(shape, cursor, header.record_number);
    case SHP_POLYLINE:
    case SHP_POLYGON:
      return ReadPoly(shape, cursor, header.record_number);
    case SHP_MULTIPOINT:
      return ReadMultiPoint(shape, cursor, header.record_number);
    default:
      return 0;
  }
}

}  // namespace
}  // namespace shapefile
}  // namespace lumetra

using namespace lumetra::shapefile;

int ShapeOpen(shpFile* shape, const char* baseName) {
  if (shape == nullptr || baseName == nullptr) return ReportFailure("shpOpen", EINVAL);
  std::memset(shape, 0, sizeof *shape);
  ShapeFileGuard guard(shape);
  shape->mode = 0;
  if (OpenMain(shape, baseName) != 0 || OpenIndex(shape, baseName) != 0) return -1;
  guard.Keep();
  return 0;
}

int ShapeRead(shpFile* shape) {
  if (shape == nullptr) return ReportFailure("ShapeRead", EINVAL);
  if (shape->shp == nullptr || shape->mode != 0 || shape->recordData == nullptr ||
      shape->points == nullptr) {
    return ReportFailure("ShapeRead", EBADF);
  }
  return ReadRecord(shape);
}
