#include "tab/map_header.h"

#include <cmath>
#include <cstring>

#include "frame/byte_order.h"
#include "tab/tab_error.h"

namespace lumetra::tab {
namespace {

// The sizes of the object headers by type code, as the format's writers
// store them (a set high bit marks a type whose coordinates live in
// coordinate blocks).
constexpr std::uint8_t kObjectSizes[] = {
    0x00, 0x0a, 0x0e, 0x15, 0x0e, 0x16, 0x1b, 0xa2, 0xa6, 0xab, 0x1a, 0x2a, 0x2f, 0xa5, 0xa9,
    0xb5, 0xa7, 0xb5, 0xd9, 0x0f, 0x17, 0x23, 0x13, 0x1f, 0x2b, 0x0f, 0x17, 0x23, 0x4f, 0x57,
    0x63, 0x9c, 0xa4, 0xa9, 0xa0, 0xa8, 0xad, 0xa4, 0xa8, 0xad, 0x16, 0x1a, 0x39, 0x0d, 0x11,
    0x37, 0xa5, 0xa9, 0xb5, 0xa4, 0xa8, 0xad, 0xb2, 0xb6, 0xdc, 0xbd, 0xbd, 0xf4, 0x2b, 0x2f,
    0x55, 0xc8, 0xcc, 0xd8, 0xc7, 0xcb, 0xd0, 0xd3, 0xd7, 0xfd, 0xc2, 0xc2, 0xf9};

void PutDouble(std::uint8_t* p, double v) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof v);
  PutU64(p, bits);
}

double GetDouble(const std::uint8_t* p) {
  const std::uint64_t bits = GetU64(p);
  double v = 0;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

bool Usable(double scale) { return std::isfinite(scale) && scale != 0; }

}  // namespace

std::vector<std::uint8_t> MapHeader::Encode() const {
  std::vector<std::uint8_t> b(kEncodedSize, 0);
  std::memcpy(b.data(), kObjectSizes, sizeof kObjectSizes);
  std::uint8_t* h = b.data();
  PutU32(h + 0x100, kMapMagic);
  PutU16(h + 0x104, static_cast<std::uint16_t>(version));
  PutU16(h + 0x106, static_cast<std::uint16_t>(block_size));
  PutDouble(h + 0x108, coordsys_to_distance);
  const std::int32_t ints[] = {
      min_x,     min_y,       max_x,      max_y,           0,          0,
      0,         0,           root_index, first_garbage,   first_tool, num_points,
      num_lines, num_regions, num_texts,  max_coord_buffer};
  for (std::size_t i = 0; i < 16; ++i) PutI32(h + 0x110 + 4 * i, ints[i]);
  const std::uint8_t bytes[] = {
      distance_units,          index_depth, coord_precision, quadrant, reflect_x,
      sizeof kObjectSizes - 1, pens,        brushes,         symbols,  fonts};
  std::memcpy(h + 0x15E, bytes, sizeof bytes);
  PutU16(h + 0x168, static_cast<std::uint16_t>(tool_blocks));
  PutU16(h + 0x16A, static_cast<std::uint16_t>(coordsys.datum));
  h[0x16D] = coordsys.projection;
  h[0x16E] = coordsys.ellipsoid;
  h[0x16F] = coordsys.units;
  const double doubles[] = {x_scale, y_scale, x_displacement, y_displacement};
  for (std::size_t i = 0; i < 4; ++i) PutDouble(h + 0x170 + 8 * i, doubles[i]);
  for (std::size_t i = 0; i < 6; ++i) PutDouble(h + 0x190 + 8 * i, coordsys.params[i]);
  for (std::size_t i = 0; i < 3; ++i) PutDouble(h + 0x1C0 + 8 * i, coordsys.datum_shift[i]);
  for (std::size_t i = 0; i < 5; ++i) PutDouble(h + 0x1D8 + 8 * i, coordsys.datum_params[i]);
  return b;
}

MapHeader MapHeader::DecodeFrom(const std::uint8_t* h, std::size_t size, const std::string& path) {
  if (size < 0x200) {
    ThrowTabError(kTXErrFormat, "%s: %zu bytes cannot hold the object file header", path.c_str(),
                  size);
  }
  MapHeader m;
  const std::uint32_t magic = GetU32(h + 0x100);
  if (magic != kMapMagic) {
    ThrowTabError(kTXErrFormat, "%s: magic number %u is not %u: not a MapInfo object file",
                  path.c_str(), magic, kMapMagic);
  }
  m.version = GetU16(h + 0x104);
  m.block_size = GetU16(h + 0x106);
  if (m.version < 100 || m.version > 2000) {
    ThrowTabError(kTXErrFormat, "%s: unknown object file version %d", path.c_str(), m.version);
  }
  if (m.block_size < 512 || m.block_size % 512 != 0) {
    ThrowTabError(kTXErrFormat, "%s: block size %u is not a multiple of 512", path.c_str(),
                  m.block_size);
  }
  m.coordsys_to_distance = GetDouble(h + 0x108);
  m.min_x = GetI32(h + 0x110);
  m.min_y = GetI32(h + 0x114);
  m.max_x = GetI32(h + 0x118);
  m.max_y = GetI32(h + 0x11C);
  m.root_index = GetI32(h + 0x130);
  m.first_garbage = GetI32(h + 0x134);
  m.first_tool = GetI32(h + 0x138);
  m.num_points = GetI32(h + 0x13C);
  m.num_lines = GetI32(h + 0x140);
  m.num_regions = GetI32(h + 0x144);
  m.num_texts = GetI32(h + 0x148);
  m.max_coord_buffer = GetI32(h + 0x14C);
  m.distance_units = h[0x15E];
  m.index_depth = h[0x15F];
  m.coord_precision = h[0x160];
  m.quadrant = h[0x161];
  m.reflect_x = h[0x162];
  m.pens = h[0x164];
  m.brushes = h[0x165];
  m.symbols = h[0x166];
  m.fonts = h[0x167];
  m.tool_blocks = static_cast<std::int16_t>(GetU16(h + 0x168));
  m.coordsys.datum = static_cast<std::int16_t>(GetU16(h + 0x16A));
  m.coordsys.projection = h[0x16D];
  m.coordsys.ellipsoid = h[0x16E];
  m.coordsys.units = h[0x16F];
  m.x_scale = GetDouble(h + 0x170);
  m.y_scale = GetDouble(h + 0x178);
  m.x_displacement = GetDouble(h + 0x180);
  m.y_displacement = GetDouble(h + 0x188);
  for (std::size_t i = 0; i < 6; ++i) m.coordsys.params[i] = GetDouble(h + 0x190 + 8 * i);
  for (std::size_t i = 0; i < 3; ++i) m.coordsys.datum_shift[i] = GetDouble(h + 0x1C0 + 8 * i);
  for (std::size_t i = 0; i < 5; ++i) m.coordsys.datum_params[i] = GetDouble(h + 0x1D8 + 8 * i);
  if (!Usable(m.x_scale) || !Usable(m.y_scale) || !std::isfinite(m.x_displacement) ||
      !std::isfinite(m.y_displacement)) {
    ThrowTabError(kTXErrFormat, "%s: coordinate scale %g, %g or displacement %g, %g is not usable",
                  path.c_str(), m.x_scale, m.y_scale, m.x_displacement, m.y_displacement);
  }
  return m;
}

namespace {

// The decimal precision a grid scale stands for (a scale of 100 keeps
// hundredths): coordinates read are rounded to it, so that values written
// on a coarse grid come back as the decimals they were, not as the binary
// fractions of the grid.
double Rounded(double value, double scale) {
  const double precision = std::pow(10.0, std::round(std::log10(std::fabs(scale))));
  if (!(precision > 0) || !std::isfinite(precision)) return value;
  return std::round(value * precision) / precision;
}

}  // namespace

double MapHeader::ToX(std::int32_t ix) const {
  const bool negated = quadrant == 0 || quadrant == 2 || quadrant == 3;
  return Rounded(negated ? -(ix + x_displacement) / x_scale : (ix - x_displacement) / x_scale,
                 x_scale);
}

double MapHeader::ToY(std::int32_t iy) const {
  const bool negated = quadrant == 0 || quadrant == 3 || quadrant == 4;
  return Rounded(negated ? -(iy + y_displacement) / y_scale : (iy - y_displacement) / y_scale,
                 y_scale);
}

bool MapHeader::ToInt(double x, double y, std::int32_t* ix, std::int32_t* iy) const {
  const double rx = std::round(x * x_scale + x_displacement);
  const double ry = std::round(y * y_scale + y_displacement);
  constexpr double kLow = -2147483648.0;
  constexpr double kHigh = 2147483647.0;
  if (!(rx >= kLow && rx <= kHigh && ry >= kLow && ry <= kHigh)) return false;
  *ix = static_cast<std::int32_t>(rx);
  *iy = static_cast<std::int32_t>(ry);
  return true;
}

}  // namespace lumetra::tab
