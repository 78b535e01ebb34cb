// MapReader: reads the objects of a .map file, one at a time, by the
// position of the object's header (from the .id file).
//
// Objects live in object blocks (type 2: u16 bytes used at 2, i32 centre
// x, y at 4 and 8 -- the origin of compressed points and lines -- and the
// object headers from byte 20).  Lines and regions keep their coordinates
// in chains of coordinate blocks (type 3: u16 bytes used at 2, i32 next
// block at 4, data from byte 8); an object header gives the position of its
// first coordinate byte and the length of its data, which may run on into
// the following blocks of the chain.  Every position, length and count is
// checked against the file before it is followed; failures throw TabError
// (kTXErrFormat) naming the file, the row and the bad value.
//
// Ownership: owns the open file.  Thread rule: one thread at a time.
#ifndef LUMETRA_TAB_MAP_READER_H
#define LUMETRA_TAB_MAP_READER_H

#include <cstdint>
#include <string>
#include <vector>

#include "tab/map_header.h"
#include "tab/map_object.h"
#include "tab/tab_file.h"

namespace lumetra::tab {

class MapReader {
 public:
  // Opens `path` and reads and checks its header.
  void Open(const std::string& path);
  const MapHeader& header() const { return header_; }

  // Reads the object whose header starts at `offset` and belongs to `row`
  // into *object (type kTXNoObject for offset 0).  Kinds without
  // coordinates for the caller (arcs, texts ...) come with their type code
  // and no points.
  void ReadObject(std::uint32_t offset, std::int32_t row, MapObject* object);

 private:
  struct Cursor;
  void ReadCoordinates(std::int32_t row, std::uint32_t start, std::uint32_t size);
  void ReadPoint(const Cursor& c, int at, MapObject* object);
  void ReadPolyline(const Cursor& c, MapObject* object);
  void ReadSections(const Cursor& c, bool region, MapObject* object);
  void DecodeSections(const Cursor& c, std::int32_t sections, std::int64_t origin_x,
                      std::int64_t origin_y, MapObject* object);
  void AddPoint(std::int64_t ix, std::int64_t iy, MapObject* object) const;
  [[noreturn]] void Damaged(std::int32_t row, std::uint32_t offset, const char* what,
                            long long value) const;

  TabFile file_;
  MapHeader header_;
  std::vector<std::uint8_t> coords_;  // the current object's coordinate data
};

}  // namespace lumetra::tab

#endif  // LUMETRA_TAB_MAP_READER_H
