// The header of a .map file: the first 1,024 bytes.  Bytes 0..72 hold the
// table of object header sizes by object type code; the fields start at
// 0x100 (offsets below are from the file's start):
//
//   0x100 u32  magic 42424242          0x104 i16 version (300, 450, 500 ...)
//   0x106 u16  block size (512)        0x108 f64 coordsys to distance units
//   0x110 4 x i32 bounding rectangle of all objects (integer units)
//   0x120 16 bytes default view (zero)
//   0x130 i32  root index block        0x134 i32 first garbage block
//   0x138 i32  first tool block        0x13C 4 x i32 points, lines, regions, texts
//   0x14C i32  largest coordinate block data of one object
//   0x15E u8   distance units          0x15F u8 spatial index depth
//   0x160 u8   coordinate precision    0x161 u8 coordinate origin quadrant
//   0x162 u8   reflect x axis          0x163 u8 last index of the size table
//   0x164 4 x u8 pens, brushes, symbols, fonts in the tool blocks
//   0x168 i16  tool blocks             0x16A i16 datum
//   0x16D u8 projection, 0x16E u8 ellipsoid, 0x16F u8 coordinate units
//   0x170 4 x f64 x scale, y scale, x displacement, y displacement
//   0x190 6 x f64 projection parameters
//   0x1C0 3 x f64 datum shift          0x1D8 5 x f64 datum parameters
//
// Integer coordinates map to the table's coordinates as
// x = (ix - x displacement) / x scale in origin quadrant 1; quadrants 2 and
// 3 negate x (x = -(ix + x displacement) / x scale), quadrants 3 and 4 (and
// 0, taken as 3) negate y the same way; the result is rounded to the
// decimal precision of the scale (10 ^ round(log10(scale)): hundredths for a
// scale of 33.3, millionths for 1,000,000).
#ifndef LUMETRA_TAB_MAP_HEADER_H
#define LUMETRA_TAB_MAP_HEADER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tab/tab_library.h"

namespace lumetra::tab {

constexpr std::uint32_t kMapMagic = 42424242;
constexpr std::size_t kMapHeaderSize = 1024;
constexpr std::uint32_t kMapBlockSize = 512;

struct MapHeader {
  static constexpr std::size_t kEncodedSize = kMapHeaderSize;

  int version = 300;
  std::uint32_t block_size = kMapBlockSize;
  double coordsys_to_distance = 1.0;
  std::int32_t min_x = 0, min_y = 0, max_x = 0, max_y = 0;
  std::int32_t root_index = 0;
  std::int32_t first_garbage = 0;
  std::int32_t first_tool = 0;
  std::int32_t num_points = 0, num_lines = 0, num_regions = 0, num_texts = 0;
  std::int32_t max_coord_buffer = 0;
  std::uint8_t distance_units = 7;
  std::uint8_t index_depth = 0;
  std::uint8_t coord_precision = 3;
  std::uint8_t quadrant = 1;
  std::uint8_t reflect_x = 0;
  std::uint8_t pens = 0, brushes = 0, symbols = 0, fonts = 0;
  std::int16_t tool_blocks = 0;
  TXCoordSys coordsys{};
  double x_scale = 1e6, y_scale = 1e6;
  double x_displacement = 0, y_displacement = 0;

  // The 1,024 header bytes.
  std::vector<std::uint8_t> Encode() const;
  // Decodes and checks (magic, version, block size, scales) the first
  // bytes of `path`; throws TabError (kTXErrFormat) naming the bad value.
  static MapHeader DecodeFrom(const std::uint8_t* bytes, std::size_t size, const std::string& path);

  // Integer units to the table's coordinates.
  double ToX(std::int32_t ix) const;
  double ToY(std::int32_t iy) const;
  // The table's coordinates to the nearest integer units (quadrant 1);
  // false when the result is outside the i32 range.
  bool ToInt(double x, double y, std::int32_t* ix, std::int32_t* iy) const;
};

}  // namespace lumetra::tab

#endif  // LUMETRA_TAB_MAP_HEADER_H
