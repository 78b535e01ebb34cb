// ShapeCreate, ShapeWritePoint, ShapeWritePoly and ShapeClose: shapefiles
// written record by record.  See <lumetra/shapefile.h> for the caller's
// contract and docs/formats/shapefile.md for the bytes.
//
// While a file is being written, shpLength and shxLength are the lengths in
// 16-bit words of what has been written to each file, box is the running box
// of all records, and shapeType the type of the last record.  Both main
// headers are provisional (type 0, length 50) until ShapeClose rewrites them
// from those fields.
#include <algorithm>
#include <cerrno>
#include <climits>
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

ShpMainHeader MainHeaderOf(const shpFile& shape, std::int32_t length_words) {
  ShpMainHeader header;
  header.file_length_words = length_words;
  header.shape_type = shape.shapeType;
  std::memcpy(header.box, shape.box, sizeof header.box);
  return header;
}

int WriteMainHeader(std::FILE* stream, const ShpMainHeader& header, const char* text) {
  std::uint8_t bytes[ShpMainHeader::kEncodedSize];
  header.EncodeTo(bytes);
  if (!WriteAll(stream, bytes, sizeof bytes)) return ReportWriteFailure(text);
  return 0;
}

UniqueStream CreateStream(const std::string& path) {
  return OpenBufferedStream(path.c_str(), "wb", "ShapeCreate::setvbuf");
}

void WidenBox(double* box, const double* other) {
  box[0] = std::min(box[0], other[0]);
  box[1] = std::min(box[1], other[1]);
  box[2] = std::max(box[2], other[2]);
  box[3] = std::max(box[3], other[3]);
}

// Widens the running box of the packed structure through a local copy, so
// no pointer to its (possibly misaligned) doubles is ever formed.
void WidenRunningBox(shpFile* shape, const double* other) {
  double box[4];
  std::memcpy(box, shape->box, sizeof box);
  WidenBox(box, other);
  std::memcpy(shape->box, box, sizeof box);
}

int CheckWritable(const shpFile* shape, const void* argument, const char* name) {
  if (shape == nullptr || argument == nullptr) return ReportFailure(name, EINVAL);
  if (shape->mode != 1 || shape->shp == nullptr || shape->shx == nullptr ||
      shape->recordData == nullptr) {
    return ReportFailure(name, EBADF);
  }
  return 0;
}

// Writes the index entry and the record header of a record whose content
// has `content_bytes` bytes (an even number).
int StartRecord(shpFile* shape, std::size_t content_bytes) {
  const std::int64_t words = static_cast<std::int64_t>(content_bytes / 2);
  if (shape->shpLength > INT_MAX - kShpRecordHeaderWords - words ||
      shape->shxLength > INT_MAX - kShxEntryWords || shape->nextRecord == INT_MAX) {
    return ReportFailure("ShapeWriteBlob", EFBIG);
  }
  std::uint8_t bytes[ShxEntry::kEncodedSize];
  ShxEntry entry;
  entry.offset_words = shape->shpLength;
  entry.content_length_words = static_cast<std::int32_t>(words);
  entry.EncodeTo(bytes);
  if (!WriteAll(shape->shx, bytes, sizeof bytes)) return ReportWriteFailure("IndexWriteBlob");
  shape->shxLength += kShxEntryWords;

  ShpRecordHeader header;
  header.record_number = shape->nextRecord;
  header.content_length_words = static_cast<std::int32_t>(words);
  header.EncodeTo(bytes);
  if (!WriteAll(shape->shp, bytes, sizeof bytes)) return ReportWriteFailure("ShapeWriteBlob");
  ++shape->nextRecord;
  shape->shpLength += kShpRecordHeaderWords;
  return 0;
}

int WriteContent(shpFile* shape, std::size_t content_bytes) {
  if (!WriteAll(shape->shp, shape->recordData, content_bytes)) {
    return ReportWriteFailure("ShapeWriteBlob");
  }
  shape->shpLength += static_cast<int>(content_bytes / 2);
  return 0;
}

// Checks the caller's part list and returns the total point count, or -1.
std::int64_t CountPolyPoints(const shpPartList& poly) {
  if (poly.numParts < 0 || (poly.numParts > 0 && poly.parts == nullptr)) {
    return ReportCorruption("ShapeWritePoly", "%d parts at %p", poly.numParts,
                            static_cast<void*>(poly.parts));
  }
  std::int64_t total = 0;
  for (int i = 0; i < poly.numParts; ++i) {
    const shpPart& part = poly.parts[i];
    if (part.numPoints < 0 || (part.numPoints > 0 && part.points == nullptr)) {
      return ReportCorruption("ShapeWritePoly", "part %d: %d points at %p", i, part.numPoints,
                              static_cast<void*>(part.points));
    }
    total += part.numPoints;
  }
  return total;
}

// The box of all points of all parts; the empty box when there are none.
void PolyBox(const shpPartList& poly, double* box) {
  box[0] = box[1] = kEmptyBoxMin;
  box[2] = box[3] = kEmptyBoxMax;
  for (int i = 0; i < poly.numParts; ++i) {
    const shpPart& part = poly.parts[i];
    for (int j = 0; j < part.numPoints; ++j) {
      const double point_box[4] = {part.points[2 * j], part.points[2 * j + 1], part.points[2 * j],
                                   part.points[2 * j + 1]};
      WidenBox(box, point_box);
    }
  }
}

// Encodes the poly-line/polygon content into the record buffer, which holds
// `content_bytes` bytes.
void EncodePoly(shpFile* shape, const shpPartList& poly, int shape_type, std::int32_t num_points,
                const double* box) {
  std::uint8_t* dst = shape->recordData;
  PutLe32(dst, static_cast<std::uint32_t>(shape_type));
  for (int i = 0; i < 4; ++i) PutLeDouble(dst + 4 + 8 * i, box[i]);
  PutLe32(dst + 36, static_cast<std::uint32_t>(poly.numParts));
  PutLe32(dst + 40, static_cast<std::uint32_t>(num_points));
  std::int32_t start = 0;
  std::size_t offset = kPolyFixedContentSize;
  for (int i = 0; i < poly.numParts; ++i) {
    shape->partStarts[i] = start;
    PutLe32(dst + offset, static_cast<std::uint32_t>(start));
    offset += 4;
    start += poly.parts[i].numPoints;
  }
  shape->partStartCount = poly.numParts;
  for (int i = 0; i < poly.numParts; ++i) {
    const shpPart& part = poly.parts[i];
    for (int j = 0; j < 2 * part.numPoints; ++j) {
      PutLeDouble(dst + offset, part.points[j]);
      offset += 8;
    }
  }
}

int CloseCreated(shpFile* shape) {
  int result = 0;
  ShpMainHeader header = MainHeaderOf(*shape, shape->shpLength);
  errno = 0;
  if (std::fseek(shape->shp, 0, SEEK_SET) != 0 ||
      WriteMainHeader(shape->shp, header, "Reset Shape Main Hdr") != 0) {
    result = -1;
  }
  header.file_length_words = shape->shxLength;
  errno = 0;
  if (std::fseek(shape->shx, 0, SEEK_SET) != 0 ||
      WriteMainHeader(shape->shx, header, "Reset Indx Main Hdr") != 0) {
    result = -1;
  }
  // Closing flushes the buffered tail; a failure there loses data too.
  const bool shp_closed = std::fclose(shape->shp) == 0;
  shape->shp = nullptr;
  if (!shp_closed && result == 0) result = ReportFailure("Reset Shape Main Hdr", errno);
  const bool shx_closed = std::fclose(shape->shx) == 0;
  shape->shx = nullptr;
  if (!shx_closed && result == 0) result = ReportFailure("Reset Indx Main Hdr", errno);
  return result;
}

}  // namespace
}  // namespace shapefile
}  // namespace lumetra

using namespace lumetra::shapefile;

int ShapeCreate(shpFile* shape, const char* baseName) {
  if (shape == nullptr || baseName == nullptr) return ReportFailure("ShapeCreate", EINVAL);
  std::memset(shape, 0, sizeof *shape);
  ShapeFileGuard guard(shape);
  const std::string base = baseName;
  UniqueStream shp = CreateStream(base + ".shp");
  if (!shp) return -1;
  shape->shp = shp.release();
  UniqueStream shx = CreateStream(base + ".shx");
  if (!shx) return -1;
  shape->shx = shx.release();
  if (ReserveRecordBytes(shape, kWriteRecordCapacity, "BlobMalloc") != 0 ||
      ReservePartStarts(shape, kWritePartStartCapacity, "PartMalloc") != 0) {
    return -1;
  }
  shape->shpLength = shape->shxLength = kShpHeaderWords;
  shape->nextRecord = 1;
  shape->mode = 1;
  const double empty_box[4] = {kEmptyBoxMin, kEmptyBoxMin, kEmptyBoxMax, kEmptyBoxMax};
  std::memcpy(shape->box, empty_box, sizeof empty_box);
  const ShpMainHeader header = MainHeaderOf(*shape, kShpHeaderWords);
  if (WriteMainHeader(shape->shp, header, "ShapeCreate::fwrite (shp)") != 0 ||
      WriteMainHeader(shape->shx, header, "ShapeCreate::fwrite (shx)") != 0) {
    return -1;
  }
  guard.Keep();
  return 0;
}

int ShapeWritePoint(shpFile* shape, const double* xy) {
  if (CheckWritable(shape, xy, "ShapeWritePoint") != 0) return -1;
  if (ReserveRecordBytes(shape, kPointContentSize, "BlobMalloc") != 0) return -1;
  std::uint8_t* dst = shape->recordData;
  PutLe32(dst, SHP_POINT);
  PutLeDouble(dst + 4, xy[0]);
  PutLeDouble(dst + 12, xy[1]);
  shape->recordSize = kPointContentSize;
  const double point_box[4] = {xy[0], xy[1], xy[0], xy[1]};
  WidenRunningBox(shape, point_box);
  if (StartRecord(shape, kPointContentSize) != 0 || WriteContent(shape, kPointContentSize) != 0)
    return -1;
  shape->shapeType = SHP_POINT;
  return 0;
}

int ShapeWritePoly(shpFile* shape, const shpPartList* poly, int shapeType) {
  if (CheckWritable(shape, poly, "ShapeWritePoly") != 0) return -1;
  const std::int64_t num_points = CountPolyPoints(*poly);
  if (num_points < 0) return -1;
  const std::int64_t content = static_cast<std::int64_t>(kPolyFixedContentSize) +
                               4 * static_cast<std::int64_t>(poly->numParts) + 16 * num_points;
  if (num_points > INT_MAX || content / 2 > INT_MAX) return ReportFailure("ShapeWriteBlob", EFBIG);
  const std::size_t content_bytes = static_cast<std::size_t>(content);
  if (ReserveRecordBytes(shape, content_bytes, "BlobMalloc") != 0 ||
      ReservePartStarts(shape, static_cast<std::size_t>(poly->numParts), "PartMalloc") != 0) {
    return -1;
  }
  double box[4];
  PolyBox(*poly, box);
  EncodePoly(shape, *poly, shapeType, static_cast<std::int32_t>(num_points), box);
  shape->recordSize = content_bytes;
  WidenRunningBox(shape, box);
  if (StartRecord(shape, content_bytes) != 0 || WriteContent(shape, content_bytes) != 0) return -1;
  shape->shapeType = shapeType;
  return 0;
}

int ShapeClose(shpFile* shape) {
  if (shape == nullptr) return ReportFailure("ShapeClose", EINVAL);
  int result = 0;
  if (shape->mode == 1 && shape->shp != nullptr && shape->shx != nullptr)
    result = CloseCreated(shape);
  ReleaseShapeFile(shape);
  return result;
}
