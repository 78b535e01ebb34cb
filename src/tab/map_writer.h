// MapWriter: writes the .map file of a table being created, object by
// object, and at the end its spatial index, tool block and header.
//
// Layout written (docs/formats/tab.md): the 1,024-byte header, then blocks
// of 512 bytes.  Objects are written uncompressed, in row order, into
// object blocks; each object block is followed by the coordinate blocks of
// its lines and regions, chained.  Finish adds the R-tree of index blocks
// (type 1: u16 entry count at 2, then entries of four i32 bounds and the
// i32 position of a child block; at most 25 per block) over the object
// blocks, one tool block with the single pen, brush and symbol every object
// refers to, and the header.  Points, lines, polylines and regions of up
// to 32,767 sections; sections of more than 32,767 points switch the object
// to the 4.5 region or multi-polyline layout.
//
// Ownership: owns the file.  Thread rule: one thread at a time.
#ifndef LUMETRA_TAB_MAP_WRITER_H
#define LUMETRA_TAB_MAP_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

#include "tab/map_header.h"
#include "tab/map_object.h"
#include "tab/tab_file.h"

namespace lumetra::tab {

class MapWriter {
 public:
  // Creates `path` for a table with the coordinate system and bounds of
  // `info` (the bounds fix the integer grid).  Throws TabError.
  void Create(const std::string& path, const TXTableInfo& info);
  // Writes the object of row `row`; returns the position of its header for
  // the .id file.  Throws TabError (kTXErrCoordinate, kTXErrObject) before
  // anything of the object is written.
  std::uint32_t Write(const MapObject& object, std::int32_t row);
  // Writes the remaining blocks, the index, the tool block and the header,
  // and closes the file.
  void Finish();
  // Closes without finishing.
  void Abandon();

  const MapHeader& header() const { return header_; }

 private:
  struct Box {
    std::int32_t min_x = INT32_MAX, min_y = INT32_MAX, max_x = INT32_MIN, max_y = INT32_MIN;
    void Add(std::int32_t x, std::int32_t y);
    void Add(const Box& b);
    bool empty() const { return min_x > max_x; }
  };
  struct IndexEntry {
    Box box;
    std::uint32_t block;
  };
  struct Encoded {
    std::vector<std::uint8_t> head;  // object header, coordinate position at 5 when coords
    std::vector<std::uint8_t> coords;
    Box box;
  };

  void ToGrid(const MapObject& object, std::int32_t row, std::vector<std::int32_t>* ixy) const;
  Encoded Encode(const MapObject& object, std::int32_t row) const;
  void EncodeSections(const MapObject& object, const std::vector<std::int32_t>& ixy,
                      Encoded* out) const;
  std::uint32_t AllocateBlock();
  void PlaceHeader(std::size_t size);
  std::uint32_t AppendCoordinates(const std::vector<std::uint8_t>& data);
  void FlushObjectBlock();
  void FlushCoordBlock();
  void WriteIndex();
  void WriteToolBlock();

  TabFile file_;
  MapHeader header_;
  std::uint32_t next_block_ = kMapHeaderSize;
  // The object block being filled (position 0: none).
  std::uint32_t object_block_ = 0;
  std::vector<std::uint8_t> object_bytes_;
  Box object_box_;
  std::uint32_t first_coord_block_ = 0, last_coord_block_ = 0;
  // The coordinate block being filled (position 0: none).
  std::uint32_t coord_block_ = 0;
  std::vector<std::uint8_t> coord_bytes_;
  std::vector<IndexEntry> leaves_;
  Box file_box_;
  std::int32_t pen_users_ = 0, brush_users_ = 0, symbol_users_ = 0;
};

}  // namespace lumetra::tab

#endif  // LUMETRA_TAB_MAP_WRITER_H
